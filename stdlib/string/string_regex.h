#pragma once

// The regular-expression methods of std.string. None of them works on the calling routine:
// each converts its arguments to text, captures what its job needs and hands the job to
// trv_vm_context::return_thread, whose variable is the method's result. A job never lets a
// failure of the engine out (an invalid pattern, a complexity or memory limit): it returns the
// method's fixed fallback instead, without a message.

#include <vector>

#include "values/var.h"

class trv_std_string;
class trv_vm_context;

using trv_string_method_args = std::vector<trvvar_shared>;

trvvar_shared trv_string_regex_match(trv_std_string* self, trv_vm_context& context,
                                     trv_string_method_args& args);
trvvar_shared trv_string_regex_search(trv_std_string* self, trv_vm_context& context,
                                      trv_string_method_args& args);
trvvar_shared trv_string_regex_findall(trv_std_string* self, trv_vm_context& context,
                                       trv_string_method_args& args);
trvvar_shared trv_string_regex_replace(trv_std_string* self, trv_vm_context& context,
                                       trv_string_method_args& args);
trvvar_shared trv_string_regex_replace_inplace(trv_std_string* self, trv_vm_context& context,
                                               trv_string_method_args& args);
trvvar_shared trv_string_regex_split(trv_std_string* self, trv_vm_context& context,
                                     trv_string_method_args& args);
trvvar_shared trv_string_regex_escape(trv_std_string* self, trv_vm_context& context,
                                      trv_string_method_args& args);
