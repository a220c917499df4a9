// The script methods of std.string: adapters from the native call (receiver, context,
// arguments) to the text functions, and at the end the method table.
//
// The runtime has checked the argument count against the table before a method runs, so a
// method reads its required arguments without checking. Methods that edit the receiver view
// their text arguments through trv_text_arg with the receiver, which copies an argument that
// is the receiver itself.

#include <algorithm>

#include "stdlib/json/json_string_list.h"
#include "stdlib/string/smart_split.h"
#include "stdlib/string/std_string.h"
#include "stdlib/string/string_args.h"
#include "stdlib/string/string_edit.h"
#include "stdlib/string/string_extract.h"
#include "stdlib/string/string_regex.h"
#include "stdlib/string/string_replace.h"
#include "stdlib/string/string_search.h"
#include "stdlib/string/string_split.h"
#include "values/convert.h"
#include "values/payload_objects.h"
#include "values/payloads.h"

namespace {

using args_t = std::vector<trvvar_shared>;
using std_string = trv_std_string;

void reverse(std::string& text) { std::reverse(text.begin(), text.end()); }

// A method that returns an edited copy, and its "_inplace" twin.
template <void (*Edit)(std::string&)>
trvvar_shared edited_copy(std_string* self, trv_vm_context&, args_t&) {
  std::string copy = self->text;
  Edit(copy);
  return trv_string_result(std::move(copy));
}

template <void (*Edit)(std::string&)>
trvvar_shared edited_in_place(std_string* self, trv_vm_context&, args_t&) {
  Edit(self->text);
  return trvvar_new_int(1);
}

// Sizes and tests.

trvvar_shared length(std_string* self, trv_vm_context&, args_t&) {
  return trvvar_new_int(static_cast<int64_t>(self->text.size()));
}

trvvar_shared empty(std_string* self, trv_vm_context&, args_t&) {
  return trvvar_new_int(self->text.empty() ? 1 : 0);
}

trvvar_shared starts(std_string* self, trv_vm_context&, args_t& args) {
  return trvvar_new_int(self->text.starts_with(trv_text_arg(*args[0]).view()) ? 1 : 0);
}

trvvar_shared ends(std_string* self, trv_vm_context&, args_t& args) {
  return trvvar_new_int(self->text.ends_with(trv_text_arg(*args[0]).view()) ? 1 : 0);
}

// Editing.

// Returns the receiver itself, as an object value, so that calls chain. An index outside
// 0 .. length changes nothing, and the text argument is then not even converted.
trvvar_shared insert(std_string* self, trv_vm_context&, args_t& args) {
  const int64_t index = trvvar_int_value(*args[0]);
  if (index >= 0 && static_cast<uint64_t>(index) <= self->text.size()) {
    self->text.insert(static_cast<size_t>(index), trv_text_arg(*args[1], self).view());
  }
  return trvvar_new_object(trvptr_strong<trvobject_base>::from(self));
}

trvvar_shared rstrip_lines(std_string* self, trv_vm_context&, args_t&) {
  return trv_string_result(trv_rstrip_lines(self->text));
}

std::string_view sliced(std_string* self, const args_t& args) {
  return trv_substr(self->text, trvvar_int_value(*args[0]), trv_optional_int_arg(args, 1));
}

trvvar_shared substr(std_string* self, trv_vm_context&, args_t& args) {
  return trv_string_result(sliced(self, args));
}

trvvar_shared substr_inplace(std_string* self, trv_vm_context&, args_t& args) {
  self->text = std::string(sliced(self, args));
  return trvvar_new_int(1);
}

// The fill byte is the first byte of the second argument; a space without one or when it is
// empty. A negative width is a width no string can reach: std::length_error.
template <trv_justification How>
trvvar_shared justify(std_string* self, trv_vm_context&, args_t& args) {
  const uint64_t width = static_cast<uint64_t>(trvvar_int_value(*args[0]));
  char fill = ' ';
  if (args.size() > 1) {
    const trv_text_arg fill_text(*args[1]);
    if (!fill_text.view().empty()) fill = fill_text.view()[0];
  }
  return trv_string_result(trv_justify(self->text, width, fill, How));
}

trvvar_shared removeprefix(std_string* self, trv_vm_context&, args_t& args) {
  return trv_string_result(trv_removeprefix(self->text, trv_text_arg(*args[0]).view()));
}

trvvar_shared removesuffix(std_string* self, trv_vm_context&, args_t& args) {
  return trv_string_result(trv_removesuffix(self->text, trv_text_arg(*args[0]).view()));
}

template <void (*Remove)(std::string&, std::string_view)>
trvvar_shared removed(std_string* self, trv_vm_context&, args_t& args) {
  std::string copy = self->text;
  Remove(copy, trv_text_arg(*args[0]).view());
  return trv_string_result(std::move(copy));
}

// Searching.

trvvar_shared count(std_string* self, trv_vm_context&, args_t& args) {
  if (self->text.empty()) return trvvar_new_int(0);
  if (args.empty()) return trvvar_new_int(static_cast<int64_t>(self->text.size()));
  return trvvar_new_int(trv_count(self->text, trv_text_arg(*args[0]).view()));
}

trvvar_shared contains(std_string* self, trv_vm_context&, args_t& args) {
  const bool found = trv_find(self->text, trv_text_arg(*args[0]).view(), std::nullopt) >= 0;
  return trvvar_new_int(found ? 1 : 0);
}

trvvar_shared contains_ignoring_whitespaces(std_string* self, trv_vm_context&, args_t& args) {
  const bool found = trv_contains_ignoring_whitespace(self->text, trv_text_arg(*args[0]).view());
  return trvvar_new_int(found ? 1 : 0);
}

template <int64_t (*Find)(std::string_view, std::string_view, std::optional<int64_t>)>
trvvar_shared find_text(std_string* self, trv_vm_context&, args_t& args) {
  return trvvar_new_int(
      Find(self->text, trv_text_arg(*args[0]).view(), trv_optional_int_arg(args, 1)));
}

template <int64_t (*Find)(std::string_view, std::string_view, std::optional<int64_t>, bool),
          bool InSet>
trvvar_shared find_byte(std_string* self, trv_vm_context&, args_t& args) {
  return trvvar_new_int(
      Find(self->text, trv_text_arg(*args[0]).view(), trv_optional_int_arg(args, 1), InSet));
}

// Replacing.

// Applies a json map: for each keyed entry in container order, every occurrence of the key
// is replaced by the text of its value, each entry working on the result of the previous
// ones. Entries without a key are skipped; an empty key counts as none, as the container
// itself treats it.
std::string replaced_through_map(std::string text, const trv_json_entry_vector& map) {
  std::vector<std::pair<std::string, std::string>> pairs;
  trv_json_visit_entries(map, [&](const trv_json_entry& entry) {
    if (entry.key && !entry.key->empty()) {
      pairs.emplace_back(*entry.key, trvvar_string_value(*entry.value));
    }
    return true;
  });
  for (const auto& [key, replacement] : pairs) trv_replace_all(text, key, replacement);
  return text;
}

trvvar_shared replace(std_string* self, trv_vm_context&, args_t& args) {
  if (args.size() == 1) {
    const trv_json_entry_vector* map = trv_json_entries(*args[0]);
    if (map == nullptr) return trv_string_result(std::string_view(self->text));
    return trv_string_result(replaced_through_map(self->text, *map));
  }
  std::string copy = self->text;
  trv_replace_all(copy, trv_text_arg(*args[0]).view(), trv_text_arg(*args[1]).view());
  return trv_string_result(std::move(copy));
}

trvvar_shared replace_inplace(std_string* self, trv_vm_context&, args_t& args) {
  const size_t replaced =
      trv_replace_all(self->text, trv_text_arg(*args[0]).view(), trv_text_arg(*args[1]).view());
  return trvvar_new_int(replaced > 0 ? 1 : 0);
}

trvvar_shared replace_first(std_string* self, trv_vm_context&, args_t& args) {
  return trv_string_result(
      trv_replace_first(self->text, trv_text_arg(*args[0]).view(), trv_text_arg(*args[1]).view()));
}

// A single argument (a json map included) leaves the text as it is.
trvvar_shared replace_ignoring_whitespace(std_string* self, trv_vm_context&, args_t& args) {
  if (args.size() < 2) return trv_string_result(std::string_view(self->text));
  return trv_string_result(trv_replace_ignoring_whitespace(
      self->text, trv_text_arg(*args[0]).view(), trv_text_arg(*args[1]).view()));
}

// Splitting and extraction.

template <void (*Split)(std::string_view, std::string_view, int64_t, bool, trv_string_parts&)>
trvvar_shared split_by(std_string* self, trv_vm_context&, args_t& args) {
  const int64_t max_parts = trv_optional_int_arg(args, 1).value_or(-1);
  const bool strip = args.size() > 2 && trvvar_get_bool(*args[2]);
  trv_json_string_list parts;
  Split(self->text, trv_text_arg(*args[0]).view(), max_parts, strip, parts);
  return parts.take();
}

trvvar_shared split_words(std_string* self, trv_vm_context&, args_t&) {
  trv_json_string_list parts;
  trv_split_words(self->text, parts);
  return parts.take();
}

trvvar_shared extract(std_string* self, trv_vm_context&, args_t& args) {
  return trv_string_result(
      trv_extract(self->text, trv_text_arg(*args[0]).view(), trv_text_arg(*args[1]).view()));
}

trvvar_shared extract_quotes(std_string* self, trv_vm_context&, args_t&) {
  return trv_string_result(trv_extract_quotes(self->text));
}

trvvar_shared extract_all(std_string* self, trv_vm_context&, args_t& args) {
  trv_json_string_list parts;
  trv_extract_all(self->text, trv_text_arg(*args[0]).view(), trv_text_arg(*args[1]).view(), parts);
  return parts.take();
}

}  // namespace

// The method table, in registration order. Names, documentation and parameter documentation
// are the texts scripts see. The seven regular-expression methods follow "extract_all".
void trv_std_string::script_register() {
  if (registered) return;
  registered = true;
  // Strings come from the runtime's pool when the calling thread owns it.
  create_new = [] {
    return trvptr_strong<trv_std_string>::adopt(trv_new_string_object().take_block());
  };
  constexpr std::string_view search_or_map =
      "search_or_map: string|json - Substring to search for or json map of replacements";
  constexpr std::string_view search_line = "search: string - Substring to search for and replace";
  constexpr std::string_view sub_line = "sub: string - Substring to search for";
  constexpr std::string_view chars_in = "chars: string - Set of characters to search for";
  constexpr std::string_view chars_out = "chars: string - Set of characters to exclude from search";
  constexpr std::string_view left_line = "left: string - Left delimiter to search for";
  constexpr std::string_view right_line = "right: string - Right delimiter to search for";

  add_function("length", length, 0, 0, "Retrieve the length of the string");
  add_function("size", length, 0, 0, "Retrieve the size of the string");
  add_function("empty", empty, 0, 0, "Check if string is empty and return 1 if true, 0 otherwise");
  add_function("count", count, 0, 1, "Check how often a string appears in this string");
  add_parameter_docs({"str: string"});
  add_function("insert", insert, 2, 2, "Insert text into the string");
  add_parameter_docs({"index: int - Where to insert", "text: string - What to insert"});
  add_function("replace", replace, 1, 2,
               "Replace all occurrences of a substring or apply a json map of replacements");
  add_parameter_docs({search_or_map, "replace: string - Replacement string"});
  add_function("replace_ignoring_whitespace", replace_ignoring_whitespace, 1, 2,
               "Replace all occurrences of a substring");
  add_parameter_docs({search_or_map, "replace: string - Replacement string"});
  add_function("replace_inplace", replace_inplace, 2, 2,
               "Replace all occurrences of a substring within the string in-place");
  add_parameter_docs({search_line});
  add_function("replace_first", replace_first, 2, 2,
               "Replaces the first occurrence of a substring with another substring");
  add_parameter_docs({search_line});
  add_function("lowercase", edited_copy<trv_lowercase>, 0, 0, "Convert string to lowercase");
  add_function("lowercase_inplace", edited_in_place<trv_lowercase>, 0, 0,
               "Convert string to lowercase");
  add_function("uppercase", edited_copy<trv_uppercase>, 0, 0, "Convert string to uppercase");
  add_function("uppercase_inplace", edited_in_place<trv_uppercase>, 0, 0,
               "Convert string to uppercase");
  add_function("trim", edited_copy<trv_trim>, 0, 0, "Remove leading and trailing whitespace");
  add_function("trim_inplace", edited_in_place<trv_trim>, 0, 0,
               "Remove leading and trailing whitespace");
  add_function("strip", edited_copy<trv_trim>, 0, 0, "Remove leading and trailing whitespace");
  add_function("strip_inplace", edited_in_place<trv_trim>, 0, 0,
               "Remove leading and trailing whitespace");
  add_function("ltrim", edited_copy<trv_ltrim>, 0, 0, "Remove leading whitespace");
  add_function("ltrim_inplace", edited_in_place<trv_ltrim>, 0, 0, "Remove leading whitespace");
  add_function("rtrim", edited_copy<trv_rtrim>, 0, 0, "Remove trailing whitespace");
  add_function("rtrim_inplace", edited_in_place<trv_rtrim>, 0, 0, "Remove trailing whitespace");
  add_function("rstrip_lines", rstrip_lines, 0, 0,
               "Remove trailing whitespace from each line while preserving newlines");
  add_function("compress_whitespace", edited_copy<trv_compress_whitespace>, 0, 0,
               "Compress consecutive whitespace characters to a single space");
  add_function("compress_whitespace_inplace", edited_in_place<trv_compress_whitespace>, 0, 0,
               "Compress consecutive whitespace characters to a single space in-place");
  add_function("starts", starts, 1, 1, "Check if string starts with specified prefix");
  add_parameter_docs({"prefix: string - Prefix to check if the string starts with"});
  add_function("ends", ends, 1, 1, "Check if string ends with specified suffix");
  add_parameter_docs({"suffix: string - The suffix to check if the string ends with"});
  add_function(
      "substr", substr, 1, 2,
      "Extracts a substring from the original string with support for Python-style negative "
      "indices");
  add_parameter_docs({"start: int - Starting index for the substring (supports negative indices)"});
  add_function("substr_inplace", substr_inplace, 1, 2,
               "Extracts a substring from the string and modifies the original string in-place");
  add_parameter_docs(
      {"start: int - Starting index of the substring (supports negative indices "
       "for Python-style slicing)"});
  add_function("reverse", edited_copy<reverse>, 0, 0, "Return a reversed copy of the string");
  add_function("reverse_inplace", edited_in_place<reverse>, 0, 0, "Reverse the string in-place");
  add_function("contains", contains, 1, 1, "Check if string contains substring");
  add_parameter_docs({sub_line});
  add_function("contains_ignoring_whitespaces", contains_ignoring_whitespaces, 1, 1,
               "Check if string contains substring");
  add_parameter_docs({sub_line});
  add_function("split", split_by<trv_split>, 1, 3,
               "Split string into parts using specified delimiter");
  add_parameter_docs({"delim: string - Delimiter to split the string by",
                      "max_parts: int - Maximum number of resulting strings (-1 is the default, "
                      "disables this)",
                      "strip: bool - Strip individual parts."});
  add_function("split_words", split_words, 0, 0,
               "Split string into words based on whitespace, automatically handling multiple "
               "spaces");
  add_function("smart_split", split_by<trv_smart_split>, 1, 3,
               "Smart split string into parts using a delimiter while ignoring delimiters inside "
               "strings, comments, and brackets");
  add_parameter_docs({"delim: string - Delimiter to split the string by",
                      "max_parts: int - Maximum number of resulting strings (-1 is the default, "
                      "disables this)",
                      "strip: bool - Strip individual parts."});
  add_function("find", find_text<trv_find>, 1, 2,
               "Find the position of a substring within the string");
  add_parameter_docs({"substring: string - Substring to search for"});
  add_function("rfind", find_text<trv_rfind>, 1, 2,
               "Find last occurrence of substring in string, searching backwards");
  add_parameter_docs({sub_line});
  add_function("find_first_of", find_byte<trv_find_first_of, true>, 1, 2,
               "Find first occurrence of any character from the given set within the string");
  add_parameter_docs({chars_in});
  add_function("find_last_of", find_byte<trv_find_last_of, true>, 1, 2,
               "Finds the last occurrence of any character from the given set in the string");
  add_parameter_docs({chars_in});
  add_function("find_first_not_of", find_byte<trv_find_first_of, false>, 1, 2,
               "Find first character not in specified set");
  add_parameter_docs({chars_out});
  add_function(
      "find_last_not_of", find_byte<trv_find_last_of, false>, 1, 2,
      "Find the last character in the string that is not in the specified set of characters");
  add_parameter_docs({chars_out});
  add_function("ljust", justify<trv_justification::left>, 1, 2,
               "Left-justify the string by padding it with the specified fill character to reach "
               "the given width");
  add_parameter_docs({"width: int - Target width for the string"});
  add_function("rjust", justify<trv_justification::right>, 1, 2,
               "Right-justify string by padding with specified character");
  add_parameter_docs({"width: int - Target width for the right-justified string"});
  add_function("center", justify<trv_justification::center>, 1, 2,
               "Center the string within specified width using padding characters");
  add_parameter_docs({"width: int - Target width for the centered string"});
  add_function("removeprefix", removeprefix, 1, 1,
               "Remove a prefix from the string if it starts with that prefix");
  add_parameter_docs({"prefix: string - The prefix to remove from the string"});
  add_function("removesuffix", removesuffix, 1, 1,
               "Remove specified suffix from string if it exists at the end");
  add_parameter_docs({"suffix: string - Suffix to remove from the end of the string"});
  add_function("removechars", removed<trv_remove_chars>, 1, 1,
               "Remove all occurrences of specified characters from the string");
  add_parameter_docs({"chars: string - Characters to remove from the string"});
  add_function("removecharsexcept", removed<trv_keep_chars>, 1, 1,
               "Remove all characters from the string except those specified in the parameter");
  add_parameter_docs({"chars: string - Characters to keep in the string"});
  add_function("extract", extract, 2, 2,
               "Extract substring between specified left and right delimiters");
  add_parameter_docs({left_line, right_line});
  add_function("extract_quotes", extract_quotes, 0, 0,
               "Extract substring between the first pair of double quotes in the string");
  add_function("extract_all", extract_all, 2, 2,
               "Extract all substring between specified left and right delimiters");
  add_parameter_docs({left_line, right_line});
  // The regular-expression methods run as worker jobs (string_regex.h). Four of them take their
  // arguments as passed, references included; the text conversion follows a reference.
  constexpr uint32_t arguments_as_passed = 2;
  add_function("regex_match", trv_string_regex_match, 1, 1,
               "Check if the string matches a regular expression pattern");
  add_parameter_docs({"pattern: string - Regular expression pattern to match against"});
  set_native_marker(arguments_as_passed);
  add_function("regex_search", trv_string_regex_search, 1, 1,
               "Search for a regular expression pattern in the string and return the starting "
               "position of the match");
  add_parameter_docs({"pattern: string - Regular expression pattern to search for"});
  add_function("regex_findall", trv_string_regex_findall, 1, 1,
               "Find all matches of a regex pattern in the string");
  add_parameter_docs({"pattern: string - Regular expression pattern to search for"});
  add_function("regex_replace", trv_string_regex_replace, 2, 2,
               "Replace all occurrences of a regular expression pattern in the string");
  add_parameter_docs({"pat: string - Regular expression pattern to search for"});
  set_native_marker(arguments_as_passed);
  add_function("regex_replace_inplace", trv_string_regex_replace_inplace, 2, 2,
               "Replace all occurrences of a regular expression pattern in the string with a "
               "replacement text");
  add_parameter_docs({"pattern: string - Regular expression pattern to search for"});
  add_function("regex_split", trv_string_regex_split, 1, 1,
               "Split string using regular expression pattern and return results as JSON array");
  add_parameter_docs({"pattern: string - Regular expression pattern to split the string"});
  set_native_marker(arguments_as_passed);
  add_function("regex_escape", trv_string_regex_escape, 0, 0,
               "Escape regex metacharacters in string");
  set_native_marker(arguments_as_passed);

  script_register_internal();
}
