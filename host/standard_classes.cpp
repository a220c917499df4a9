#include "host/standard_classes.h"

#include "stdlib/buffer/std_buffer.h"
#include "stdlib/json/json_bool.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"

namespace trvhost {

void register_standard_classes() {
  trv_std_buffer::script_register();
  trv_std_json_bool::script_register();
  trv_std_json::script_register();
  trv_std_string::script_register();
}

}  // namespace trvhost
