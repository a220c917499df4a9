// Calls the native classes' methods with arguments of every kind: the input is read as a list
// of calls, written out as assembler text and run as a program (see fuzz_host.h). Six locals
// hold objects of the classes with methods (two strings, two containers, a buffer, a thread) and
// are called with their class's methods; six more start as other values and take the results,
// so that later calls work on what earlier ones made, and are called with any class's methods.
// Arguments are locals, functions, numbers, texts and none. Six functions are fixed (one of each
// parameter count, one changing its parameter through a reference, one raising an error); two
// more are calls read from the input too, made on the global block's locals while a walk or a
// thread run calls them: on the container being walked, on the thread running them. The blocks
// ignore runtime errors, so that every call is made; at the end every local is printed.
//
// The input: one byte giving the two callbacks' call counts, their calls, then the global
// block's calls.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_host.h"

namespace {

constexpr int object_count = 6;
constexpr int local_count = 12;
constexpr size_t most_calls = 32;
constexpr size_t most_callback_calls = 3;
constexpr size_t most_arguments = 4;

// The objects' classes and start values.
struct start_value {
  std::string_view class_name;
  std::string_view code;
};
constexpr start_value objects[object_count] = {
    {"std.string",
     "native std.string\n  call_prepare 1\n  push_none\n  string \"a,b c\"\n  call_arg 0\n"
     "  pop\n  call\n"},
    {"std.json",
     "native std.json\n  call_prepare 1\n  push_none\n"
     "  string \"{\\\"a\\\":1,\\\"b\\\":[1,2,{\\\"c\\\":null}],\\\"d\\\":\\\"x\\\"}\"\n"
     "  call_arg 0\n  pop\n  call\n"},
    {"std.json",
     "native std.json\n  call_prepare 1\n  push_none\n  string \"[3,1,2,true]\"\n  call_arg 0\n"
     "  pop\n  call\n"},
    {"std.buffer", "native std.buffer\n  call_prepare 0\n  call\n"},
    {"std.string",
     "native std.string\n  call_prepare 1\n  push_none\n  string \"  x\\ty  \"\n  call_arg 0\n"
     "  pop\n  call\n"},
    {"std.thread", "native std.thread\n  call_prepare 0\n  call\n"},
};

// The results' start values.
constexpr std::string_view results[local_count - object_count] = {
    "int 7\n",
    "float 2.5\n",
    "string \"x,y\"\n",
    "native std.json\n  call_prepare 1\n  push_none\n  string \"[1,[2],{}]\"\n  call_arg 0\n"
    "  pop\n  call\n",
    "none\n",
    "native json.bool\n  call_prepare 1\n  push_none\n  int 1\n  call_arg 0\n  pop\n  call\n",
};

// Texts an argument may be: empty, separators, JSON, patterns and replacement forms.
constexpr std::string_view texts[] = {
    "",           "a",      ",",
    " ",          "[1,2]",  "{\\\"k\\\":[true,null]}",
    "\\\\d+",     "(a|b)*", "$1$&",
    "\\xff\\x00", "0",      "-1.5e3",
    "a,b,,c",     "true",   "(?<n>x)\\\\k<n>",
};

// Small integers, the edges of the integer range and floats.
constexpr std::string_view numbers[] = {
    "int 0",          "int 1",
    "int -1",         "int 2",
    "int 3",          "int -7",
    "int 100",        "int -2147483648",
    "int 255",        "int -9223372036854775807",
    "float 0.5",      "float -0",
    "float nan",      "float inf",
    "int 100000",     "int 9223372036854775807",
    "int 2147483647",
};

// The fixed callbacks, children f0 .. f5 of every block that names functions.
constexpr int fixed_function_count = 6;
constexpr std::string_view fixed_functions =
    ".block f0 function\n  push_none\n  int 1\n  return\n"
    ".block f1 function\n.param v\n  load_local v\n  return\n"
    ".block f2 function\n.param k\n.param v\n  load_local v\n  return\n"
    ".block f3 function\n.param a\n.param k\n.param v\n  load_local a\n  push_none\n"
    "  load_local v\n  add\n  return\n"
    ".block f4 function\n.param k\n.param v byref\n  load_local v\n  push_none\n  string \"x\"\n"
    "  assign\n  pop\n"
    ".block f5 function\n.param k\n.param v\n  load_local v\n  get_member \"no_such_method\"\n"
    "  call_prepare 0\n  call\n  return\n";

// The callbacks read from the input, f6 and f7, take a key and a value, as a walk gives them. A
// block names the functions before it: the global block all eight, f7 f0 .. f6, f6 the fixed
// ones.
constexpr int function_count = fixed_function_count + 2;

class input {
 public:
  input(const uint8_t* bytes, size_t size) : at_(bytes), end_(bytes + size) {}
  bool empty() const { return at_ == end_; }
  uint8_t byte() { return at_ < end_ ? *at_++ : 0; }

 private:
  const uint8_t* at_;
  const uint8_t* end_;
};

std::string local(int index) { return "v" + std::to_string(index); }

// Where calls are written: the global block reaches its locals directly; a callback reaches them
// as globals, and may also call and replace its value parameter.
struct block_site {
  bool callback = false;
  int functions = function_count;  // the functions it names: f0 .. f(functions - 1)
};

// The instruction that loads value `index`: a global block local, or (past them, in a
// callback) the value parameter.
std::string load(const block_site& site, int index) {
  if (!site.callback) return "  load_local " + local(index % local_count) + "\n";
  index %= local_count + 1;
  return index == local_count ? "  load_local v\n" : "  load_global " + local(index) + "\n";
}

// Writes the instruction that puts an argument into the top slot.
void write_argument(input& in, std::string& text, const block_site& site) {
  const uint8_t kind = in.byte();
  const uint8_t pick = in.byte();
  switch (kind % 6) {
    case 0:
    case 1:
      text += load(site, pick);
      break;
    case 2:
      text += "  function f" + std::to_string(pick % site.functions) + "\n";
      break;
    case 3:
      text += "  " + std::string(numbers[pick % std::size(numbers)]) + "\n";
      break;
    case 4:
      text += "  string \"" + std::string(texts[pick % std::size(texts)]) + "\"\n";
      break;
    default:
      text += "  none\n";
      break;
  }
}

// result = receiver.method(arguments...). Mostly an object is called, with its class's
// methods; else a result (or a callback's parameter), with any class's. The argument count
// mostly lies in the method's range.
void write_call(input& in, std::string& text, const block_site& site) {
  const uint8_t pick = in.byte();
  const int others = local_count - object_count + (site.callback ? 1 : 0);
  const int receiver = pick % 4 != 0 ? pick / 4 % object_count : object_count + pick / 4 % others;
  const int result = object_count + in.byte() % others;
  const auto& methods =
      fuzz_host::methods_by_class().at(receiver < object_count ? objects[receiver].class_name : "");
  const fuzz_host::method& method = methods[(in.byte() | in.byte() << 8) % methods.size()];
  const uint8_t count_pick = in.byte();
  const uint32_t most = std::min<uint32_t>(method.max_params, most_arguments);
  const uint32_t count = count_pick % 4 != 0 && method.min_params <= most
                             ? method.min_params + count_pick / 4 % (most - method.min_params + 1)
                             : count_pick / 4 % (most_arguments + 1);
  text += "  push_none\n" + load(site, result) + "  push_none\n" + load(site, receiver) +
          "  get_member \"" + std::string(method.name) + "\"\n  call_prepare " +
          std::to_string(count) + "\n";
  if (count > 0) {
    text += "  push_none\n";
    for (uint32_t i = 0; i < count; ++i) {
      write_argument(in, text, site);
      text += "  call_arg " + std::to_string(i) + "\n";
    }
    text += "  pop\n";
  }
  text += "  call\n  assign\n  pop\n";
}

// A block's header: its kind, the functions it names, and `extra` directives.
std::string block_head(std::string_view name, std::string_view kind, int functions,
                       std::string_view extra) {
  std::string text = ".block " + std::string(name) + " " + std::string(kind) + "\n" +
                     std::string(extra) + ".no_except\n";
  for (int i = 0; i < functions; ++i) text += ".child f" + std::to_string(i) + "\n";
  return text;
}

// A callback from the input: `calls` calls, then it returns its value parameter.
std::string callback_of(input& in, size_t calls, int index) {
  const block_site site{true, index};
  std::string text =
      block_head("f" + std::to_string(index), "function", index, ".param k\n.param v\n");
  for (size_t i = 0; i < calls; ++i) write_call(in, text, site);
  return text + "  load_local v\n  return\n";
}

std::string program_of(input& in) {
  const uint8_t counts = in.byte();
  const std::string callbacks =
      callback_of(in, counts % (most_callback_calls + 1), fixed_function_count) +
      callback_of(in, counts / 4 % (most_callback_calls + 1), fixed_function_count + 1);
  std::string text = block_head("main", "global", function_count, ".root\n");
  for (int i = 0; i < local_count; ++i) text += ".local " + local(i) + "\n";
  for (int i = 0; i < local_count; ++i) {
    const std::string_view code = i < object_count ? objects[i].code : results[i - object_count];
    text += "  push_none\n  load_local " + local(i) + "\n  push_none\n  " + std::string(code) +
            "  assign\n  pop\n";
  }
  for (size_t calls = 0; calls < most_calls && !in.empty(); ++calls) write_call(in, text, {});
  text += "  push_none\n  native host.print\n  call_prepare " + std::to_string(local_count) +
          "\n  push_none\n";
  for (int i = 0; i < local_count; ++i) {
    text += "  load_local " + local(i) + "\n  call_arg " + std::to_string(i) + "\n";
  }
  text += "  pop\n  call\n  pop\n";
  return text + callbacks + std::string(fixed_functions);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_host::initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  input in(bytes, size);
  const std::string text = program_of(in);
  if (std::getenv("METHOD_FUZZ_PRINT") != nullptr) std::fputs(text.c_str(), stderr);
  if (!fuzz_host::run_program(text)) __builtin_trap();  // every program written must assemble
  return 0;
}
