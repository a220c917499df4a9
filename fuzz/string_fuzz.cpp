// Drives the searching, splitting, replacing and extraction methods of std.string through
// their registered definitions with fuzzed receivers, texts, positions and counts. ASan and
// UBSan catch any access outside the text; the checks below catch lost or invented bytes.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "values/convert.h"
#include "values/payload_objects.h"
#include "vm/call.h"
#include "vm/vm_context.h"

namespace {

// The methods driven and their arguments: t a text, n a position or count, b a truth value.
struct driven {
  const char* name;
  const char* args;
};

const driven methods[] = {
    {"split", "tnb"},
    {"smart_split", "tnb"},
    {"replace", "tt"},
    {"replace_inplace", "tt"},
    {"replace_first", "tt"},
    {"replace_ignoring_whitespace", "tt"},
    {"extract_all", "tt"},
    {"extract", "tt"},
    {"extract_quotes", ""},
    {"find", "tn"},
    {"rfind", "tn"},
    {"find_first_of", "tn"},
    {"find_last_of", "tn"},
    {"find_first_not_of", "tn"},
    {"find_last_not_of", "tn"},
    {"count", "t"},
    {"contains", "t"},
    {"contains_ignoring_whitespaces", "t"},
    {"substr", "nn"},
};

trvvar_shared text_var(std::string_view text) {
  trvvar_shared v = trvvar_new();
  trvvar_set_string(*v, text);
  return v;
}

// Positions and counts near the text's bounds are the interesting ones; the extremes too.
int64_t position(FuzzedDataProvider& data) {
  switch (data.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return data.ConsumeIntegralInRange<int64_t>(-40, 40);
    case 1:
      return data.ConsumeBool() ? INT64_MIN : INT64_MAX;
    default:
      return data.ConsumeIntegral<int64_t>();
  }
}

trvvar_shared argument(char kind, FuzzedDataProvider& data) {
  switch (kind) {
    case 't':
      return text_var(data.ConsumeRandomLengthString(64));
    case 'n':
      return trvvar_new_int(position(data));
    default:
      return trvvar_new_int(data.ConsumeBool() ? 1 : 0);
  }
}

// Without stripping and without a cap, the parts joined by the delimiter are the text again.
void check_rejoins(std::string_view text, const std::vector<trvvar_shared>& args,
                   const trvvar& list) {
  const std::string delim = trvvar_string_value(*args[0]);
  const bool capped = args.size() > 1 && trvvar_int_value(*args[1]) >= 0;
  const bool strip = args.size() > 2 && trvvar_get_bool(*args[2]);
  if (delim.empty() || capped || strip) return;
  std::string joined;
  const auto& entries = trv_object_cast<trv_std_json>(trvvar_payload_object(list))->entries;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) joined.append(delim);
    joined.append(trvvar_string_value(*entries[i].value));
  }
  if (joined != text) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  trv_std_string::script_register();
  const driven& method = data.PickValueInArray(methods);
  const trv_function_def& def =
      *trv_std_string::member_list[static_cast<size_t>(
                                       trv_std_string::member_table.at(method.name))]
           ->function_def();
  std::vector<trvvar_shared> args;
  for (const char* kind = method.args; *kind != '\0'; ++kind) {
    // Optional arguments are left out now and then.
    if (args.size() >= def.min_params && data.ConsumeBool()) break;
    args.push_back(argument(*kind, data));
  }
  auto receiver = trvptr_strong<trv_std_string>::adopt(trv_new_string_object().take_block());
  receiver->text = data.ConsumeRemainingBytesAsString();
  const std::string original = receiver->text;

  trv_vm_context context;
  context.native_object = receiver.get();
  trvvar_shared result = trv_call_native(context, def, context.native_object, args);
  if (std::string_view(method.args) == "tnb") {
    check_rejoins(original, args, *result);
  }
  return 0;
}
