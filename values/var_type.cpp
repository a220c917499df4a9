#include "values/var_type.h"

namespace {

constexpr std::string_view type_names[trvvar_type_count] = {"error",
                                                            "none",
                                                            "int",
                                                            "float",
                                                            "primitive_end",
                                                            "string",
                                                            "binary",
                                                            "json",
                                                            "object",
                                                            "objects_end",
                                                            "class",
                                                            "class_def",
                                                            "function",
                                                            "ext_function",
                                                            "object_member_literal",
                                                            "object_member_index",
                                                            "object_member_var",
                                                            "ref"};

}  // namespace

std::string_view trvvar_type_name(uint8_t t) {
  return t < trvvar_type_count ? type_names[t] : std::string_view();
}
