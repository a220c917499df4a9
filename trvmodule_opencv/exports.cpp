// The library's whole outward surface: two functions with C linkage.

#include "glue/global_instance.h"
#include "glue/glue_descriptor.h"
#include "glue/platform/export.h"

namespace {

trv_glue_descriptor descriptor = {trv_glue_version, 1, 1, "MODULE_INTERNAL"};

}  // namespace

// The host's compatibility check; does not build the global instance.
TRV_EXPORT trv_glue_descriptor* tarvoglue_check() { return &descriptor; }

// The module's one global instance, built on first use.
TRV_EXPORT trv_global_instance* tarvoglue_entry() { return trv_get_global_instance(); }
