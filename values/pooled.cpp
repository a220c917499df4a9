#include "values/pooled.h"

#include "glue/log.h"

namespace trv_pooled_detail {

void report_without_runtime() {
  trv_log(TRV_LOG_ERROR,
          "A pooled element was released on a thread without a runtime; it stays unreturned.");
}

}  // namespace trv_pooled_detail
