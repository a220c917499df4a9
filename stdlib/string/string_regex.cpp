#include "stdlib/string/string_regex.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "stdlib/json/json_string_list.h"
#include "stdlib/string/regex_engine.h"
#include "stdlib/string/std_string.h"
#include "stdlib/string/string_args.h"
#include "vm/vm_context.h"

namespace {

std::string text_of(const trvvar_shared& arg) { return std::string(trv_text_arg(*arg).view()); }

// The replaced text of an in-place replacement, written into the receiver when the last holder
// lets go: the job's spent callback, which the consumer of its completion drops on the
// owner's thread, where the script's own reads and edits of the receiver happen. The worker
// only ever touches its own copy of the text.
struct inplace_replacement {
  trvptr_strong<trv_std_string> receiver;
  std::optional<std::string> replaced;

  explicit inplace_replacement(trvptr_strong<trv_std_string> target)
      : receiver(std::move(target)) {}
  inplace_replacement(const inplace_replacement&) = delete;
  inplace_replacement& operator=(const inplace_replacement&) = delete;
  ~inplace_replacement() {
    if (trv_std_string* target = receiver.get(); target != nullptr && replaced) {
      target->text = std::move(*replaced);
    }
  }
};

// A list job: the list exists before the pattern is compiled, so a failure returns the pieces
// collected so far (none for an invalid pattern).
template <void (*Collect)(std::string_view, std::string_view, trv_string_parts&)>
trvvar_shared list_job(trv_std_string* self, trv_vm_context& context,
                       trv_string_method_args& args) {
  return context.return_thread([text = self->text, pattern = text_of(args[0])] {
    trv_json_string_list list;
    try {
      Collect(text, pattern, list);
    } catch (...) {
    }
    return list.take();
  });
}

}  // namespace

trvvar_shared trv_string_regex_match(trv_std_string* self, trv_vm_context& context,
                                     trv_string_method_args& args) {
  return context.return_thread([text = self->text, pattern = text_of(args[0])] {
    bool matched = false;
    try {
      matched = trv_regex_match(text, pattern);
    } catch (...) {
    }
    return trvvar_new_int(matched ? 1 : 0);
  });
}

trvvar_shared trv_string_regex_search(trv_std_string* self, trv_vm_context& context,
                                      trv_string_method_args& args) {
  return context.return_thread([text = self->text, pattern = text_of(args[0])] {
    int64_t position = -1;
    try {
      position = trv_regex_search(text, pattern);
    } catch (...) {
    }
    return trvvar_new_int(position);
  });
}

trvvar_shared trv_string_regex_findall(trv_std_string* self, trv_vm_context& context,
                                       trv_string_method_args& args) {
  return list_job<trv_regex_findall>(self, context, args);
}

trvvar_shared trv_string_regex_replace(trv_std_string* self, trv_vm_context& context,
                                       trv_string_method_args& args) {
  return context.return_thread(
      [text = self->text, pattern = text_of(args[0]), format = text_of(args[1])] {
        try {
          return trv_string_result(trv_regex_replace(text, pattern, format));
        } catch (...) {
          return trv_string_result(std::string_view(text));
        }
      });
}

trvvar_shared trv_string_regex_replace_inplace(trv_std_string* self, trv_vm_context& context,
                                               trv_string_method_args& args) {
  auto replacement =
      std::make_shared<inplace_replacement>(trvptr_strong<trv_std_string>::from(self));
  return context.return_thread(
      [replacement, text = self->text, pattern = text_of(args[0]), format = text_of(args[1])] {
        try {
          replacement->replaced = trv_regex_replace(text, pattern, format);
          return trvvar_new_int(1);
        } catch (...) {
          return trvvar_new_int(0);
        }
      });
}

trvvar_shared trv_string_regex_split(trv_std_string* self, trv_vm_context& context,
                                     trv_string_method_args& args) {
  return list_job<trv_regex_split>(self, context, args);
}

trvvar_shared trv_string_regex_escape(trv_std_string* self, trv_vm_context& context,
                                      trv_string_method_args&) {
  return context.return_thread(
      [text = self->text] { return trv_string_result(trv_regex_escape(text)); });
}
