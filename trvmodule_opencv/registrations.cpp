// The module's namespace registrations, recorded while the library loads. They live in this
// one file because objects of one translation unit are initialised in the order they are
// defined; across files the order would be unspecified. The "std" list therefore holds its
// callbacks in the order below.

#include "glue/namespace_registrar.h"
#include "stdlib/buffer/std_buffer.h"
#include "stdlib/json/json_bool.h"
#include "stdlib/json/json_methods.h"
#include "stdlib/string/std_string.h"
#include "stdlib/thread/std_thread.h"
#include "trvmodule_opencv/opencv_namespace.h"

namespace {

// clang-format off
const trv_namespace_registrar registrations[] = {
    {"std", trv_std_buffer::populate_namespace},
    {"json", populate_json_bool_namespace},
    {"std", populate_std_json_namespace},
    {"std", trv_std_string::populate_namespace},
    {"std", trv_std_thread::populate_namespace},
    {"opencv", populate_opencv_namespace},
};
// clang-format on

}  // namespace
