#include "trvmodule_opencv/opencv_namespace.h"

#include "glue/log.h"
#include "objects/namespace.h"
#include "stdlib/string/std_string.h"

namespace {

trvvar_shared testfn(trv_vm_context& /*context*/, std::vector<trvvar_shared>& /*args*/) {
  trv_log(TRV_LOG_INFO, "testfn called!");
  trvvar_shared result = trvvar_new();
  trvvar_set_string(*result, "TEST PASSED");
  return result;
}

}  // namespace

void populate_opencv_namespace(trv_namespace& ns) { add_function(ns, "testfn", testfn, 0, 0, ""); }
