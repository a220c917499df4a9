// The module's namespace registrations, recorded while the library loads. They live in this
// one file because objects of one translation unit are initialised in the order they are
// defined; across files the order would be unspecified. The "std" list therefore holds its
// callbacks in the order below.

#include "glue/namespace_registrar.h"
#include "trvmodule_opencv/opencv_namespace.h"

namespace {

const trv_namespace_registrar registrations[] = {
    {"opencv", populate_opencv_namespace},
};

}  // namespace
