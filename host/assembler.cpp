#include "host/assembler.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <utility>

#include "stdlib/string/std_string.h"
#include "values/convert.h"
#include "vm/opcodes.h"

namespace trvhost {

namespace {

constexpr int64_t int32_max = std::numeric_limits<int32_t>::max();

// ---------------------------------------------------------------------------------------------
// Tokens. A line is split into words and quoted strings; ';' and '#' start a comment outside a
// string. Columns count bytes from 1.

struct location {
  uint32_t line = 0;
  uint32_t column = 0;
};

struct token {
  std::string_view text;  // as written; a string with its quotes
  std::string string;     // a string's text with its escapes decoded
  bool quoted = false;
  uint32_t column = 0;
};

class reporter {
 public:
  explicit reporter(std::string_view file) : file_(file) {}

  void set_line(uint32_t line) { line_ = line; }
  uint32_t line() const { return line_; }
  [[noreturn]] void fail(uint32_t column, std::string message) const {
    fail(location{line_, column}, std::move(message));
  }
  [[noreturn]] void fail(location where, std::string message) const {
    throw assembly_error(file_, where.line, where.column, std::move(message));
  }

 private:
  std::string file_;
  uint32_t line_ = 0;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool ends_word(char c) { return is_space(c) || c == '"' || c == ';' || c == '#'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

bool is_identifier(std::string_view text) {
  if (text.empty() || !is_name_start(text[0])) return false;
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return is_name_start(c) || is_digit(c); });
}

bool looks_numeric(std::string_view text) {
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  return !text.empty() && is_digit(text[0]);
}

int hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits only, after an optional sign and 0x: a number, whether or not it fits 64 bits.
bool is_number_text(std::string_view text) {
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return std::all_of(text.begin() + 2, text.end(), [](char c) { return hex_value(c) >= 0; });
  }
  return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

// The escape at line[at] (just after a backslash): its byte, and how many characters it took.
std::pair<char, size_t> read_escape(std::string_view line, size_t at, const reporter& report) {
  if (at == line.size()) report.fail(static_cast<uint32_t>(at), "unterminated string");
  switch (line[at]) {
    case '\\':
    case '"':
      return {line[at], 1};
    case 'n':
      return {'\n', 1};
    case 't':
      return {'\t', 1};
    case 'r':
      return {'\r', 1};
    case '0':
      return {'\0', 1};
    case 'x': {
      const int high = at + 1 < line.size() ? hex_value(line[at + 1]) : -1;
      const int low = at + 2 < line.size() ? hex_value(line[at + 2]) : -1;
      if (high < 0 || low < 0) {
        report.fail(static_cast<uint32_t>(at), "\\x needs two hexadecimal digits");
      }
      return {static_cast<char>(high * 16 + low), 3};
    }
    default:
      report.fail(static_cast<uint32_t>(at), "unknown escape \\" + std::string(1, line[at]));
  }
}

// Reads the string whose opening quote is line[start]; returns the offset after its end.
size_t read_string(std::string_view line, size_t start, std::string& out, const reporter& report) {
  size_t at = start + 1;
  while (true) {
    if (at == line.size()) report.fail(static_cast<uint32_t>(start + 1), "unterminated string");
    const char c = line[at++];
    if (c == '"') return at;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    const auto [byte, length] = read_escape(line, at, report);
    out.push_back(byte);
    at += length;
  }
}

std::vector<token> tokenize(std::string_view line, const reporter& report) {
  std::vector<token> tokens;
  size_t at = 0;
  while (true) {
    while (at < line.size() && is_space(line[at])) ++at;
    if (at == line.size() || line[at] == ';' || line[at] == '#') return tokens;
    token t;
    t.column = static_cast<uint32_t>(at + 1);
    size_t end = at;
    if (line[at] == '"') {
      end = read_string(line, at, t.string, report);
      t.quoted = true;
    } else {
      while (end < line.size() && !ends_word(line[end])) ++end;
    }
    t.text = line.substr(at, end - at);
    tokens.push_back(std::move(t));
    at = end;
  }
}

// Decimal or 0x hexadecimal, with an optional sign, inside the 64-bit signed range.
std::optional<int64_t> parse_integer(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  uint64_t magnitude = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  constexpr uint64_t largest = std::numeric_limits<int64_t>::max();
  if (!negative) {
    if (magnitude > largest) return std::nullopt;
    return static_cast<int64_t>(magnitude);
  }
  if (magnitude > largest + 1) return std::nullopt;
  return magnitude == largest + 1 ? std::numeric_limits<int64_t>::min()
                                  : -static_cast<int64_t>(magnitude);
}

// The operands of one line, read from left to right.
class cursor {
 public:
  cursor(const std::vector<token>& tokens, size_t first, uint32_t end_column,
         const reporter& report)
      : tokens_(tokens), next_(first), end_column_(end_column), report_(report) {}

  bool done() const { return next_ == tokens_.size(); }
  const token* peek() const { return done() ? nullptr : &tokens_[next_]; }
  // Where the next operand is, or would be.
  uint32_t next_column() const { return done() ? end_column_ : tokens_[next_].column; }
  const token& take(std::string_view what) {
    if (done()) report_.fail(end_column_, "expected " + std::string(what));
    return tokens_[next_++];
  }
  // Consumes the next token when it is the unquoted word `word`.
  bool take_word(std::string_view word) {
    const token* next = peek();
    if (next == nullptr || next->quoted || next->text != word) return false;
    ++next_;
    return true;
  }
  const token& word(std::string_view what) {
    const token& t = take(what);
    if (t.quoted) fail(t, "expected " + std::string(what));
    return t;
  }
  std::string_view name(std::string_view what) {
    const token& t = word(what);
    if (!is_identifier(t.text)) fail(t, "expected " + std::string(what));
    return t.text;
  }
  int64_t integer(std::string_view what, int64_t low, int64_t high) {
    return integer_of(take(what), what, low, high);
  }
  int64_t integer_of(const token& t, std::string_view what, int64_t low, int64_t high) const {
    const std::optional<int64_t> value = t.quoted ? std::nullopt : parse_integer(t.text);
    if (!value && (t.quoted || !is_number_text(t.text))) fail(t, "expected " + std::string(what));
    if (!value || *value < low || *value > high) {
      fail(t, std::string(t.text) + " is out of range: " + std::string(what) + " lies from " +
                  std::to_string(low) + " to " + std::to_string(high));
    }
    return *value;
  }
  double floating(std::string_view what) {
    const token& t = take(what);
    const std::optional<double> value = t.quoted ? std::nullopt : parse_float_text(t.text);
    if (!value) fail(t, "expected " + std::string(what));
    return *value;
  }
  const std::string& string(std::string_view what) {
    const token& t = take(what);
    if (!t.quoted) fail(t, "expected " + std::string(what));
    return t.string;
  }
  void finish() const {
    if (!done()) fail(tokens_[next_], "unexpected '" + std::string(tokens_[next_].text) + "'");
  }
  [[noreturn]] void fail(const token& t, std::string message) const {
    report_.fail(t.column, std::move(message));
  }
  uint32_t line() const { return report_.line(); }

 private:
  const std::vector<token>& tokens_;
  size_t next_;
  uint32_t end_column_;
  const reporter& report_;
};

const std::unordered_map<std::string_view, uint8_t>& mnemonics() {
  static const std::unordered_map<std::string_view, uint8_t> table = [] {
    std::unordered_map<std::string_view, uint8_t> by_name;
    for (size_t op = 0; op < trv_opcode_table.size(); ++op) {
      if (!trv_opcode_table[op].mnemonic.empty()) {
        by_name.emplace(trv_opcode_table[op].mnemonic, static_cast<uint8_t>(op));
      }
    }
    return by_name;
  }();
  return table;
}

std::optional<uint32_t> parse_block_kind(std::string_view text) {
  for (uint32_t kind : {TRV_BLOCK_LOOP, TRV_BLOCK_FUNCTION, TRV_BLOCK_GLOBAL}) {
    if (text == block_kind_text(kind)) return kind;
  }
  const std::optional<int64_t> number = parse_integer(text);
  if (number && *number >= 0 && *number <= std::numeric_limits<uint32_t>::max()) {
    return static_cast<uint32_t>(*number);
  }
  return std::nullopt;
}

bool same_token(const trv_source_token& a, const trv_source_token& b) {
  return a.unit == b.unit && a.line == b.line && a.column == b.column;
}

template <class T>
void put(std::vector<uint8_t>& code, size_t at, T value) {
  std::memcpy(code.data() + at, &value, sizeof value);
}

// ---------------------------------------------------------------------------------------------
// What the assembler keeps of a block while reading it: names, references to resolve at the
// end, and the instructions written in ordinary syntax, to validate once every table is known.

struct reference {
  std::string name;
  location where;
};

// An ordinary instruction: where its mnemonic and each operand were written.
struct site {
  uint32_t offset;
  location mnemonic;
  std::vector<uint32_t> operand_columns;
};

struct jump_fixup {
  uint32_t offset;
  reference label;
};

// A name of a global slot or variable, resolved against the root block at the end.
struct global_fixup {
  uint32_t offset;
  reference name;
  bool variable;
};

enum class slot_role { parameter, capture, local };

struct block_text {
  trvptr_strong<trv_program_block> block;
  location where;
  bool root = false;
  bool raw = false;  // written partly with .bytes: the block check is not run
  bool body_started = false;
  slot_role last_role = slot_role::parameter;
  std::set<std::string, std::less<>> seen;  // the header directives given once
  std::unordered_map<std::string, uint32_t> slot_names;
  std::unordered_map<std::string, uint32_t> variable_names;
  std::unordered_map<std::string, uint32_t> labels;
  std::vector<reference> children;
  std::unordered_map<std::string, uint32_t> child_names;  // the first index of each name
  std::optional<reference> alternative;
  std::optional<reference> exit;
  std::optional<location> minimum_at;
  uint32_t declared_cache = 0;
  uint32_t automatic_cache = 0;
  std::vector<jump_fixup> jumps;
  std::vector<global_fixup> globals;
  std::vector<site> sites;
  const trv_source_unit* unit = nullptr;  // the unit of `@LINE:COLUMN`
  std::optional<trv_source_token> position;
  std::optional<trv_source_token> recorded;  // the last position entered into the map
};

// A class as written: its blocks, members and function-table entries by name, resolved once
// every block is known. A class named before its .class line exists from that first use on.
struct class_member_line {
  std::string name;
  uint32_t index;
  bool is_private;
  location where;
};

struct class_function_line {
  std::string name;
  std::optional<reference> block;  // a method; else `value`
  trvvar_shared value;
  bool is_private;
  location where;
};

struct class_text {
  trvptr_strong<trv_class_def> definition;
  bool declared = false;
  location first_use;
  location where;
  std::optional<reference> parent;
  std::optional<reference> constructor;
  std::optional<reference> default_block;
  std::optional<reference> destructor;
  std::vector<class_member_line> members;
  std::vector<class_function_line> functions;
  std::set<std::string, std::less<>> seen;   // the directives given once
  std::set<std::string, std::less<>> names;  // of members, methods and values
};

enum class a_space { plain, local, block_variable, global_local, global_variable };

a_space space_of(uint8_t opcode) {
  switch (opcode) {
    case TRV_OP_load_local:
    case TRV_OP_load_local_flags:
      return a_space::local;
    case TRV_OP_load_block_var:
      return a_space::block_variable;
    case TRV_OP_load_global:
      return a_space::global_local;
    case TRV_OP_load_global_block_var:
      return a_space::global_variable;
    default:
      return a_space::plain;
  }
}

class assembler {
 public:
  assembler(std::string_view file_name, const native_resolver& natives)
      : report_(file_name), natives_(natives) {
    program_.unit = trvptr_strong<trv_compiled_unit>::from_new(new trv_compiled_unit());
  }

  assembled_program run(std::string_view text);

 private:
  using handler = void (assembler::*)(cursor&);
  struct directive_entry {
    std::string_view name;
    handler run;
    bool header;  // one of a block's header fields, written before its first instruction
    bool once;    // a header field given at most once per block
  };
  static const directive_entry directives[];

  void read_line(std::string_view line);
  void source_line(std::string_view text, uint32_t column);
  void directive(cursor& in, const token& name);
  void body_line(cursor& in, const token& first);
  void label(const token& t);
  block_text& current(uint32_t column, std::string_view what);

  void unit_directive(cursor& in);
  void block_directive(cursor& in);
  void root_directive(cursor& in);
  void param_directive(cursor& in) { slot(in, slot_role::parameter); }
  void capture_directive(cursor& in) { slot(in, slot_role::capture); }
  void local_directive(cursor& in) { slot(in, slot_role::local); }
  void slot(cursor& in, slot_role role);
  void min_args_directive(cursor& in);
  void exit_directive(cursor& in);
  void break_target_directive(cursor& in);
  void no_except_directive(cursor& in);
  void alternative_directive(cursor& in);
  void child_directive(cursor& in);
  void var_directive(cursor& in);
  void cache_directive(cursor& in);
  void at_directive(cursor& in);
  void bytes(cursor& in);

  void class_directive(cursor& in);
  class_text& open_class(std::string_view what);
  void class_block_directive(cursor& in, std::optional<reference> class_text::*field,
                             std::string_view what);
  void constructor_directive(cursor& in) {
    class_block_directive(in, &class_text::constructor, ".constructor");
  }
  void default_directive(cursor& in) {
    class_block_directive(in, &class_text::default_block, ".default");
  }
  void destructor_directive(cursor& in) {
    class_block_directive(in, &class_text::destructor, ".destructor");
  }
  void member_directive(cursor& in);
  void method_directive(cursor& in);
  void value_directive(cursor& in);
  bool private_flag(cursor& in);
  void add_class_name(class_text& c, const token& name);
  trv_class_def* class_named(std::string_view name, location where);
  trv_class_def* class_operand(cursor& in, block_text& b, site& s);
  trv_program_block* class_block(const reference& r, trv_class_def& definition,
                                 bool makes_instances);
  void resolve_classes();

  void position_prefix(cursor& in, const token& t);
  trv_source_token parse_position(const cursor& in, const token& t, const trv_source_unit* unit);
  void start_item(block_text& b);
  void instruction(cursor& in, uint8_t opcode, const token& mnemonic);
  void operands(cursor& in, block_text& b, site& s);
  int64_t a_operand(cursor& in, block_text& b, site& s, uint8_t opcode);
  int64_t child_operand(cursor& in, const block_text& b);
  uint32_t literal(const std::string& text);
  trv_function_def* native(cursor& in);
  trvvar_shared constant(cursor& in);
  void add_name(const token& t, std::unordered_map<std::string, uint32_t>& names, uint32_t index,
                std::string_view what);
  [[noreturn]] void fail_here(std::string message) const {
    report_.fail(directive_column_, std::move(message));
  }

  void finish_block();
  size_t root_index() const;
  void resolve_globals(const block_text& root);
  void link_blocks(size_t root);
  void validate_sites(const block_text& root);
  void check_blocks();

  reporter report_;
  const native_resolver& natives_;
  assembled_program program_;
  std::unordered_map<std::string, size_t> unit_index_;
  std::unordered_map<std::string, uint32_t> literal_index_;
  std::vector<block_text> blocks_;
  std::unordered_map<std::string, size_t> block_index_;
  std::vector<class_text> classes_;  // in order of first use
  std::unordered_map<std::string, size_t> class_index_;
  std::optional<size_t> open_class_;      // the class whose lines are being read
  std::vector<size_t> class_blocks_;      // blocks the classes name, which keep them
  trv_source_unit* open_unit_ = nullptr;  // takes source lines until the next other line
  uint32_t directive_column_ = 1;         // of the directive being read
};

const assembler::directive_entry assembler::directives[] = {
    {".unit", &assembler::unit_directive, false, false},
    {".block", &assembler::block_directive, false, false},
    {".root", &assembler::root_directive, true, true},
    {".param", &assembler::param_directive, true, false},
    {".capture", &assembler::capture_directive, true, false},
    {".local", &assembler::local_directive, true, false},
    {".min_args", &assembler::min_args_directive, true, true},
    {".exit", &assembler::exit_directive, true, true},
    {".break_target", &assembler::break_target_directive, true, true},
    {".no_except", &assembler::no_except_directive, true, true},
    {".alternative", &assembler::alternative_directive, true, true},
    {".child", &assembler::child_directive, true, false},
    {".var", &assembler::var_directive, true, false},
    {".cache", &assembler::cache_directive, true, true},
    {".at", &assembler::at_directive, false, false},
    {".class", &assembler::class_directive, false, false},
    {".constructor", &assembler::constructor_directive, false, false},
    {".default", &assembler::default_directive, false, false},
    {".destructor", &assembler::destructor_directive, false, false},
    {".member", &assembler::member_directive, false, false},
    {".method", &assembler::method_directive, false, false},
    {".value", &assembler::value_directive, false, false},
};

assembled_program assembler::run(std::string_view text) {
  uint32_t line = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    report_.set_line(++line);
    read_line(text.substr(start, end - start));
    start = end + 1;
  }
  report_.set_line(std::max(line, 1u));
  if (!blocks_.empty()) finish_block();
  const size_t root = root_index();
  resolve_globals(blocks_[root]);
  resolve_classes();
  link_blocks(root);
  validate_sites(blocks_[root]);
  check_blocks();
  program_.root = blocks_[root].block;
  for (block_text& b : blocks_) program_.blocks.push_back(std::move(b.block));
  return std::move(program_);
}

void assembler::read_line(std::string_view line) {
  size_t first = 0;
  while (first < line.size() && is_space(line[first])) ++first;
  if (first < line.size() && line[first] == '|') {
    source_line(line.substr(first + 1), static_cast<uint32_t>(first + 1));
    return;
  }
  const std::vector<token> tokens = tokenize(line, report_);
  if (tokens.empty()) return;
  open_unit_ = nullptr;
  size_t next = 0;
  const token& head = tokens[0];
  if (!head.quoted && head.text.size() > 1 && head.text.back() == ':' &&
      head.text.find(':') == head.text.size() - 1) {
    label(head);
    if (++next == tokens.size()) return;
  }
  cursor in(tokens, next, static_cast<uint32_t>(line.size() + 1), report_);
  const token& first_token = tokens[next];
  if (!first_token.quoted && first_token.text.starts_with('.') && first_token.text != ".bytes") {
    in.take("a directive");
    directive(in, first_token);
  } else {
    body_line(in, first_token);
  }
}

void assembler::source_line(std::string_view text, uint32_t column) {
  if (open_unit_ == nullptr) {
    report_.fail(column, "a source line belongs right after its .unit (or another source line)");
  }
  open_unit_->text.append(text);
  open_unit_->text.push_back('\n');
}

void assembler::directive(cursor& in, const token& name) {
  for (const directive_entry& entry : directives) {
    if (entry.name != name.text) continue;
    directive_column_ = name.column;
    if (entry.header) {
      block_text& b = current(name.column, name.text);
      if (b.body_started) {
        in.fail(name, std::string(name.text) + " belongs before the block's first instruction");
      }
      if (entry.once && !b.seen.emplace(name.text).second) {
        in.fail(name, std::string(name.text) + " is given twice");
      }
    }
    (this->*entry.run)(in);
    in.finish();
    return;
  }
  in.fail(name, "unknown directive '" + std::string(name.text) + "'");
}

block_text& assembler::current(uint32_t column, std::string_view what) {
  if (open_class_) {
    report_.fail(column, std::string(what) + " inside class '" +
                             classes_[*open_class_].definition->name +
                             "' (start a block with .block NAME)");
  }
  if (blocks_.empty()) {
    report_.fail(column, std::string(what) + " outside a block (start one with .block NAME)");
  }
  return blocks_.back();
}

void assembler::label(const token& t) {
  block_text& b = current(t.column, "a label");
  const std::string_view name = t.text.substr(0, t.text.size() - 1);
  if (!is_identifier(name))
    report_.fail(t.column, "a label name is a letter or _ then letters, digits or _");
  const uint32_t offset = static_cast<uint32_t>(b.block->code.size());
  if (!b.labels.emplace(std::string(name), offset).second) {
    report_.fail(t.column, "label '" + std::string(name) + "' is defined twice");
  }
  b.body_started = true;
}

// ---------------------------------------------------------------------------------------------
// Units and block headers.

void assembler::unit_directive(cursor& in) {
  if (!blocks_.empty()) fail_here("source units are declared before the first block");
  const std::string_view name = in.name("a unit name");
  auto unit = std::make_unique<trv_source_unit>();
  unit->file_name = name;
  bool display_given = false;
  std::set<std::string_view> given;
  while (!in.done()) {
    const token& option = in.word("file, display or parent");
    if (!given.insert(option.text).second) {
      in.fail(option, std::string(option.text) + " is given twice");
    }
    if (option.text == "file") {
      unit->file_name = in.string("a quoted file name");
    } else if (option.text == "display") {
      unit->display_name = in.string("a quoted display name");
      display_given = true;
    } else if (option.text == "parent") {
      const token& parent = in.word("the name of an earlier unit");
      auto found = unit_index_.find(std::string(parent.text));
      if (found == unit_index_.end()) {
        in.fail(parent, "parent '" + std::string(parent.text) + "' is not an earlier unit");
      }
      unit->parent = program_.unit->sources[found->second].get();
    } else {
      in.fail(option, "expected file, display or parent");
    }
  }
  if (!display_given) unit->display_name = unit->file_name;
  if (!unit_index_.emplace(std::string(name), program_.unit->sources.size()).second) {
    fail_here("unit '" + std::string(name) + "' is declared twice");
  }
  program_.unit_names.emplace_back(name);
  program_.unit->sources.push_back(std::move(unit));
  open_unit_ = program_.unit->sources.back().get();
}

void assembler::block_directive(cursor& in) {
  open_class_.reset();
  if (!blocks_.empty()) finish_block();
  const uint32_t column = in.next_column();
  const std::string_view name = in.name("a block name");
  if (!block_index_.emplace(std::string(name), blocks_.size()).second) {
    report_.fail(column, "block '" + std::string(name) + "' is defined twice");
  }
  block_text& b = blocks_.emplace_back();
  b.where = location{report_.line(), column};
  b.block = trvptr_strong<trv_program_block>::from_new(new trv_program_block());
  b.block->name = name;
  b.block->unit = program_.unit;
  if (!program_.unit->sources.empty()) b.unit = program_.unit->sources.front().get();
  if (!in.done()) {
    const token& kind = in.word("a block kind");
    const std::optional<uint32_t> value = parse_block_kind(kind.text);
    if (!value) in.fail(kind, "expected a block kind: loop, function, global or a number");
    b.block->kind = *value;
  }
}

void assembler::root_directive(cursor&) {
  block_text& b = blocks_.back();
  if (b.block->kind != TRV_BLOCK_GLOBAL) {
    fail_here("the root block '" + b.block->name + "' must be of kind global");
  }
  for (const block_text& other : blocks_) {
    if (other.root) fail_here("block '" + other.block->name + "' is the root already");
  }
  b.root = true;
}

// Parameters come first, captures next (the call copies them in after the parameters), then
// the other locals.
void assembler::slot(cursor& in, slot_role role) {
  block_text& b = blocks_.back();
  trv_program_block& block = *b.block;
  if (role < b.last_role) {
    fail_here(role == slot_role::parameter ? "parameters come before captures and locals"
                                           : "captures come before the other locals");
  }
  b.last_role = role;
  const uint32_t index = static_cast<uint32_t>(block.slot_flags.size());
  if (index == assembler_count_limit) {
    fail_here("a block has at most " + std::to_string(assembler_count_limit) + " locals");
  }
  const token* next = in.peek();
  if (next != nullptr && !next->quoted && next->text != "byref" && next->text != "flags") {
    in.name("a slot name");
    add_name(*next, b.slot_names, index, "slot");
  }
  uint8_t flags = 0;
  while (!in.done()) {
    if (in.take_word("byref")) {
      flags |= TRVVAR_FLAG_BY_REFERENCE;
    } else if (in.take_word("flags")) {
      flags |= static_cast<uint8_t>(in.integer("a flags byte", 0, 255));
    } else {
      in.fail(*in.peek(), "expected byref or flags N");
    }
  }
  block.slot_flags.push_back(flags);
  block.local_count = index + 1;
  if (role == slot_role::parameter) ++block.parameter_count;
  if (role == slot_role::capture) ++block.capture_count;
}

void assembler::add_name(const token& t, std::unordered_map<std::string, uint32_t>& names,
                         uint32_t index, std::string_view what) {
  if (!names.emplace(std::string(t.text), index).second) {
    report_.fail(t.column, std::string(what) + " name '" + std::string(t.text) + "' is used twice");
  }
}

void assembler::min_args_directive(cursor& in) {
  block_text& b = blocks_.back();
  b.minimum_at = location{report_.line(), in.next_column()};
  b.block->minimum_argument_count =
      static_cast<uint32_t>(in.integer("a minimum argument count", 0, assembler_count_limit));
}

void assembler::exit_directive(cursor& in) {
  const uint32_t column = in.next_column();
  blocks_.back().exit = reference{std::string(in.name("a label")), {report_.line(), column}};
}

void assembler::break_target_directive(cursor&) { blocks_.back().block->break_target = 1; }

void assembler::no_except_directive(cursor&) { blocks_.back().block->no_except = 1; }

void assembler::alternative_directive(cursor& in) {
  const uint32_t column = in.next_column();
  blocks_.back().alternative =
      reference{std::string(in.name("a block name")), {report_.line(), column}};
}

void assembler::child_directive(cursor& in) {
  block_text& b = blocks_.back();
  if (b.children.size() == assembler_count_limit) {
    fail_here("a block has at most " + std::to_string(assembler_count_limit) + " children");
  }
  const uint32_t column = in.next_column();
  b.children.push_back(reference{std::string(in.name("a block name")), {report_.line(), column}});
  b.child_names.emplace(b.children.back().name, static_cast<uint32_t>(b.children.size() - 1));
}

bool is_constant_kind(const token& t) {
  return !t.quoted && (t.text == "none" || t.text == "int" || t.text == "float" ||
                       t.text == "string" || t.text == "class");
}

void assembler::var_directive(cursor& in) {
  block_text& b = blocks_.back();
  std::vector<trvvar_shared>& variables = b.block->block_variables;
  if (variables.size() == assembler_count_limit) {
    fail_here("a block has at most " + std::to_string(assembler_count_limit) + " block variables");
  }
  const token* next = in.peek();
  if (next != nullptr && !is_constant_kind(*next)) {
    in.name("a variable name or a constant");
    add_name(*next, b.variable_names, static_cast<uint32_t>(variables.size()), "block variable");
  }
  variables.push_back(constant(in));
}

void assembler::cache_directive(cursor& in) {
  blocks_.back().declared_cache =
      static_cast<uint32_t>(in.integer("a cache size", 0, assembler_count_limit));
}

// ---------------------------------------------------------------------------------------------
// Source positions.

trv_source_token assembler::parse_position(const cursor& in, const token& t,
                                           const trv_source_unit* unit) {
  std::string_view text = t.text;
  if (text.starts_with('@')) text.remove_prefix(1);
  const size_t colon = text.find(':');
  const std::optional<int64_t> line =
      colon == std::string_view::npos ? std::nullopt : parse_integer(text.substr(0, colon));
  const std::optional<int64_t> column =
      colon == std::string_view::npos ? std::nullopt : parse_integer(text.substr(colon + 1));
  constexpr int64_t largest = std::numeric_limits<uint32_t>::max();
  if (t.quoted || !line || !column || *line < 1 || *line > largest || *column < 0 ||
      *column > largest) {
    in.fail(t, "expected LINE:COLUMN (a line from 1, a column from 0)");
  }
  return trv_source_token{unit, static_cast<uint32_t>(*line), static_cast<uint32_t>(*column)};
}

void assembler::at_directive(cursor& in) {
  block_text& b = current(directive_column_, ".at");
  if (in.take_word("none")) {
    b.position = trv_source_token{};
    return;
  }
  const uint32_t column = in.next_column();
  const std::string_view name = in.name("a unit name or none");
  auto found = unit_index_.find(std::string(name));
  if (found == unit_index_.end()) report_.fail(column, "unknown unit '" + std::string(name) + "'");
  b.unit = program_.unit->sources[found->second].get();
  b.position = parse_position(in, in.take("LINE:COLUMN"), b.unit);
}

void assembler::position_prefix(cursor& in, const token& t) {
  block_text& b = blocks_.back();
  if (b.unit == nullptr) in.fail(t, "@LINE:COLUMN needs a source unit (declare one with .unit)");
  b.position = parse_position(in, t, b.unit);
}

// A position enters the map where it changes, at the start of the instruction it covers. An
// item without bytes (`.bytes` alone) may have entered one at the same offset: the new one
// takes its place, and is not entered where it repeats the one before.
void assembler::start_item(block_text& b) {
  b.body_started = true;
  if (!b.position || (b.recorded && same_token(*b.recorded, *b.position))) return;
  std::map<uint32_t, trv_source_token>& positions = b.block->positions;
  const uint32_t offset = static_cast<uint32_t>(b.block->code.size());
  if (positions.erase(offset) != 0) {
    const auto after = positions.lower_bound(offset);
    if (after != positions.begin() && same_token(std::prev(after)->second, *b.position)) {
      b.recorded = std::prev(after)->second;
      return;
    }
  }
  positions[offset] = *b.position;
  b.recorded = b.position;
}

// ---------------------------------------------------------------------------------------------
// Instructions.

void assembler::body_line(cursor& in, const token& first) {
  block_text& b = current(first.column, "an instruction");
  if (looks_numeric(first.text) && !first.quoted) {
    const size_t offset = b.block->code.size();
    if (in.integer("an offset", 0, std::numeric_limits<int64_t>::max()) !=
        static_cast<int64_t>(offset)) {
      in.fail(first, "offset " + std::string(first.text) + " is written where the code is at " +
                         std::to_string(offset));
    }
  }
  const token* next = in.peek();
  if (next != nullptr && !next->quoted && next->text.starts_with('@')) {
    position_prefix(in, in.take("a position"));
  }
  const token& word = in.word("an instruction");
  if (word.text == ".bytes") {
    bytes(in);
    return;
  }
  auto found = mnemonics().find(word.text);
  if (found == mnemonics().end()) {
    in.fail(word, "unknown instruction '" + std::string(word.text) + "'");
  }
  instruction(in, found->second, word);
}

void assembler::bytes(cursor& in) {
  block_text& b = blocks_.back();
  start_item(b);
  b.raw = true;
  // Without bytes the line only makes the block raw.
  while (!in.done()) b.block->code.push_back(static_cast<uint8_t>(in.integer("a byte", 0, 255)));
}

void assembler::instruction(cursor& in, uint8_t opcode, const token& mnemonic) {
  block_text& b = blocks_.back();
  start_item(b);
  std::vector<uint8_t>& code = b.block->code;
  site s{static_cast<uint32_t>(code.size()), {report_.line(), mnemonic.column}, {}};
  code.resize(code.size() + trv_opcode_table[opcode].length);  // zero-filled
  code[s.offset] = opcode;
  operands(in, b, s);
  in.finish();
  b.sites.push_back(std::move(s));
}

// Writes the operands of the instruction at s.offset by its operand kind.
void assembler::operands(cursor& in, block_text& b, site& s) {
  std::vector<uint8_t>& code = b.block->code;
  const uint8_t opcode = code[s.offset];
  auto column = [&] { s.operand_columns.push_back(in.next_column()); };
  auto put_int32 = [&](size_t at, int64_t value) {
    put(code, s.offset + at, static_cast<int32_t>(value));
  };
  switch (trv_opcode_table[opcode].operands) {
    case TRV_OPERANDS_NONE:
      return;
    case TRV_OPERANDS_SMALL:
      column();
      code[s.offset + 1] = static_cast<uint8_t>(in.integer("a small operand", 0, 255));
      return;
    case TRV_OPERANDS_SMALL_CLASS:
      column();
      code[s.offset + 1] = static_cast<uint8_t>(in.integer("a small operand", 0, 255));
      put(code, s.offset + 8, class_operand(in, b, s));
      return;
    case TRV_OPERANDS_A:
      column();
      put_int32(4, a_operand(in, b, s, opcode));
      return;
    case TRV_OPERANDS_AB:
      column();
      put_int32(4, in.integer("a frame count", 0, int32_max));
      column();
      put_int32(8, in.integer("an index", 0, int32_max));
      return;
    case TRV_OPERANDS_A_FLAG:
      column();
      put_int32(4, in.integer("a member index", 0, int32_max));
      column();
      put(code, s.offset + 8,
          static_cast<uint32_t>(in.integer("a flag", 0, std::numeric_limits<uint32_t>::max())));
      return;
    case TRV_OPERANDS_LITERAL:
      column();
      put_int32(4, literal(in.string("a quoted string")));
      return;
    case TRV_OPERANDS_CHILD:
      column();
      put_int32(4, child_operand(in, b));
      return;
    case TRV_OPERANDS_JUMP:
      column();
      b.jumps.push_back(jump_fixup{
          s.offset,
          reference{std::string(in.name("a label")), {report_.line(), s.operand_columns.back()}}});
      return;
    case TRV_OPERANDS_INT:
      column();
      put(code, s.offset + 8,
          in.integer("an integer", std::numeric_limits<int64_t>::min(),
                     std::numeric_limits<int64_t>::max()));
      return;
    case TRV_OPERANDS_FLOAT:
      column();
      put(code, s.offset + 8, in.floating("a float"));
      return;
    case TRV_OPERANDS_NATIVE:
      column();
      put(code, s.offset + 8, native(in));
      return;
    case TRV_OPERANDS_VARIABLE:
      column();
      b.block->immediates.push_back(constant(in));
      put(code, s.offset + 8, b.block->immediates.back().get());
      return;
    case TRV_OPERANDS_MEMBER:
      column();
      put_int32(4, literal(in.string("a quoted member name")));
      column();
      if (in.done() || in.peek()->text == "class") {
        // A site without a written entry gets one of its own, after the declared ones.
        put_int32(8, b.declared_cache + b.automatic_cache++);
      } else {
        put_int32(8, in.integer("a cache entry", 0, int32_max));
      }
      put(code, s.offset + 16, class_operand(in, b, s));
      return;
  }
}

int64_t assembler::a_operand(cursor& in, block_text& b, site& s, uint8_t opcode) {
  const a_space space = space_of(opcode);
  const token& t = in.take("an index");
  if (looks_numeric(t.text) || space == a_space::plain || t.quoted) {
    return in.integer_of(t, "an index", 0, int32_max);
  }
  if (!is_identifier(t.text)) in.fail(t, "expected an index or a name");
  const std::string name(t.text);
  if (space == a_space::global_local || space == a_space::global_variable) {
    b.globals.push_back(global_fixup{s.offset, reference{name, {report_.line(), t.column}},
                                     space == a_space::global_variable});
    return 0;
  }
  const auto& names = space == a_space::local ? b.slot_names : b.variable_names;
  auto found = names.find(name);
  if (found == names.end()) {
    in.fail(t,
            std::string(space == a_space::local ? "unknown slot '" : "unknown block variable '") +
                name + "'");
  }
  return found->second;
}

int64_t assembler::child_operand(cursor& in, const block_text& b) {
  const token& t = in.take("a child block");
  if (looks_numeric(t.text)) return in.integer_of(t, "a child index", 0, int32_max);
  if (t.quoted || !is_identifier(t.text)) in.fail(t, "expected a child block");
  const auto found = b.child_names.find(std::string(t.text));
  if (found != b.child_names.end()) return found->second;
  in.fail(t, "'" + std::string(t.text) + "' is not a child of block '" + b.block->name +
                 "' (declare it with .child)");
}

// Literals are shared by the whole unit; each text is entered once.
uint32_t assembler::literal(const std::string& text) {
  std::vector<std::string>& literals = program_.unit->literals;
  const auto [found, added] = literal_index_.emplace(text, static_cast<uint32_t>(literals.size()));
  if (added) literals.push_back(text);
  return found->second;
}

trv_function_def* assembler::native(cursor& in) {
  const token& t = in.word("a native function (namespace.name)");
  const size_t dot = t.text.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == t.text.size()) {
    in.fail(t, "expected a native function (namespace.name)");
  }
  trv_function_def* definition = natives_(t.text.substr(0, dot), t.text.substr(dot + 1));
  if (definition == nullptr) {
    in.fail(t, "unresolved native '" + std::string(t.text) + "'");
  }
  program_.native_names.try_emplace(definition, t.text);
  std::vector<const trv_function_def*>& kept = blocks_.back().block->natives;
  if (std::find(kept.begin(), kept.end(), definition) == kept.end()) kept.push_back(definition);
  return definition;
}

trvvar_shared assembler::constant(cursor& in) {
  const token& kind = in.word("a constant: none, int N, float X, string \"TEXT\" or class NAME");
  trvvar_shared value = trvvar_new();
  if (kind.text == "int") {
    trvvar_set_int(*value, in.integer("an integer", std::numeric_limits<int64_t>::min(),
                                      std::numeric_limits<int64_t>::max()));
  } else if (kind.text == "float") {
    trvvar_set_float(*value, in.floating("a float"));
  } else if (kind.text == "string") {
    trvvar_set_string(*value, in.string("a quoted string"));
  } else if (kind.text == "class") {
    const location where{report_.line(), in.next_column()};
    trv_class_def* definition = class_named(in.name("a class name"), where);
    trvvar_set_type(*value, TRVVAR_CLASS_DEF);
    value->payload.class_def_payload->definition = trvptr_weak<trv_class_def>::from(definition);
  } else if (kind.text != "none") {
    in.fail(kind, "expected a constant: none, int N, float X, string \"TEXT\" or class NAME");
  }
  return value;
}

// ---------------------------------------------------------------------------------------------
// Classes.

// The accessing class of get_member and index: `class NAME`, or none (null) when not written.
trv_class_def* assembler::class_operand(cursor& in, block_text& b, site& s) {
  if (in.done()) return nullptr;
  s.operand_columns.push_back(in.next_column());
  if (!in.take_word("class")) in.fail(*in.peek(), "expected class NAME");
  const location where{report_.line(), in.next_column()};
  trv_class_def* definition = class_named(in.name("a class name"), where);
  std::vector<const trv_class_def*>& kept = b.block->classes;
  if (std::find(kept.begin(), kept.end(), definition) == kept.end()) kept.push_back(definition);
  return definition;
}

trv_class_def* assembler::class_named(std::string_view name, location where) {
  auto [found, added] = class_index_.emplace(std::string(name), classes_.size());
  if (added) {
    class_text& c = classes_.emplace_back();
    c.definition = trvptr_strong<trv_class_def>::from_new(new trv_class_def());
    c.definition->name = name;
    c.first_use = where;
  }
  return classes_[found->second].definition.get();
}

void assembler::class_directive(cursor& in) {
  const uint32_t column = in.next_column();
  const location where{report_.line(), column};
  const std::string_view name = in.name("a class name");
  class_named(name, where);
  const size_t index = class_index_.at(std::string(name));
  class_text& c = classes_[index];
  if (c.declared) report_.fail(column, "class '" + std::string(name) + "' is declared twice");
  c.declared = true;
  c.where = where;
  if (in.take_word("parent")) {
    const uint32_t parent_column = in.next_column();
    const std::string_view parent = in.name("the name of the parent class");
    classes_[index].parent = reference{std::string(parent), {report_.line(), parent_column}};
    class_named(parent, {report_.line(), parent_column});
  }
  open_class_ = index;
  program_.classes.push_back(classes_[index].definition);
}

class_text& assembler::open_class(std::string_view what) {
  if (!open_class_) {
    fail_here(std::string(what) + " outside a class (start one with .class NAME)");
  }
  return classes_[*open_class_];
}

void assembler::class_block_directive(cursor& in, std::optional<reference> class_text::*field,
                                      std::string_view what) {
  class_text& c = open_class(what);
  if (!c.seen.emplace(what).second) fail_here(std::string(what) + " is given twice");
  const uint32_t column = in.next_column();
  c.*field = reference{std::string(in.name("a block name")), {report_.line(), column}};
}

bool assembler::private_flag(cursor& in) { return in.take_word("private"); }

void assembler::add_class_name(class_text& c, const token& name) {
  if (!is_identifier(name.text)) report_.fail(name.column, "expected a member name");
  if (!c.names.emplace(name.text).second) {
    report_.fail(name.column, "member '" + std::string(name.text) + "' is declared twice");
  }
}

void assembler::member_directive(cursor& in) {
  class_text& c = open_class(".member");
  const token& name = in.word("a member name");
  add_class_name(c, name);
  const uint32_t column = in.next_column();
  const uint32_t index =
      static_cast<uint32_t>(in.integer("a member index", 0, assembler_count_limit - 1));
  c.members.push_back(
      class_member_line{std::string(name.text), index, private_flag(in), {report_.line(), column}});
}

void assembler::method_directive(cursor& in) {
  class_text& c = open_class(".method");
  if (c.functions.size() == assembler_count_limit) {
    fail_here("a class has at most " + std::to_string(assembler_count_limit) +
              " methods and values");
  }
  const token& name = in.word("a method name");
  add_class_name(c, name);
  const uint32_t column = in.next_column();
  reference block{std::string(in.name("a block name")), {report_.line(), column}};
  c.functions.push_back(class_function_line{std::string(name.text),
                                            std::move(block),
                                            {},
                                            private_flag(in),
                                            {report_.line(), name.column}});
}

void assembler::value_directive(cursor& in) {
  open_class(".value");
  const size_t index = *open_class_;
  if (classes_[index].functions.size() == assembler_count_limit) {
    fail_here("a class has at most " + std::to_string(assembler_count_limit) +
              " methods and values");
  }
  const token& name = in.word("a value name");
  add_class_name(classes_[index], name);
  trvvar_shared value = constant(in);  // may name a class first used here
  const bool is_private = private_flag(in);
  classes_[index].functions.push_back(class_function_line{std::string(name.text),
                                                          std::nullopt,
                                                          std::move(value),
                                                          is_private,
                                                          {report_.line(), name.column}});
}

// A block a class names. The blocks that make instances (constructor and default block) belong
// to that one class: new_instance makes instances of the class of its block.
trv_program_block* assembler::class_block(const reference& r, trv_class_def& definition,
                                          bool makes_instances) {
  auto found = block_index_.find(r.name);
  if (found == block_index_.end()) report_.fail(r.where, "unknown block '" + r.name + "'");
  class_blocks_.push_back(found->second);
  trv_program_block* block = blocks_[found->second].block.get();
  if (!makes_instances) return block;
  if (block->class_definition != nullptr && block->class_definition != &definition) {
    report_.fail(r.where, "block '" + r.name + "' makes instances of class '" +
                              block->class_definition->name + "' already");
  }
  block->class_definition = &definition;
  return block;
}

void assembler::resolve_classes() {
  for (class_text& c : classes_) {
    if (!c.declared) {
      report_.fail(c.first_use,
                   "unknown class '" + c.definition->name + "' (declare it with .class)");
    }
  }
  for (class_text& c : classes_) {
    trv_class_def& definition = *c.definition;
    auto strong = [&](const std::optional<reference>& r, bool makes_instances) {
      return r ? trvptr_strong<trv_program_block>::from(
                     class_block(*r, definition, makes_instances))
               : trvptr_strong<trv_program_block>();
    };
    definition.constructor = strong(c.constructor, true);
    definition.default_block = strong(c.default_block, true);
    definition.destructor = strong(c.destructor, false);
    if (c.parent) {
      trv_class_def* parent = classes_[class_index_.at(c.parent->name)].definition.get();
      for (trv_class_def* up = parent; up != nullptr; up = up->parent.get()) {
        if (up == &definition) {
          report_.fail(c.parent->where,
                       "class '" + definition.name + "' would be its own ancestor");
        }
      }
      definition.parent = trvptr_weak<trv_class_def>::from(parent);
    }
    // An instance's members are the locals of the block that creates it.
    for (const class_member_line& member : c.members) {
      for (const trv_program_block* maker :
           {definition.constructor.get(), definition.default_block.get()}) {
        if (maker != nullptr && member.index >= maker->local_count) {
          report_.fail(member.where, "member index " + std::to_string(member.index) +
                                         " is out of range: block '" + maker->name + "' has " +
                                         std::to_string(maker->local_count) + " locals");
        }
      }
      definition.add_member(member.name, trv_symbol_entry{member.is_private, member.index, 0});
    }
    for (const class_function_line& function : c.functions) {
      const uint32_t index = static_cast<uint32_t>(definition.functions.size());
      trvvar_shared entry = function.value;
      if (function.block) {
        trv_program_block* block = class_block(*function.block, definition, false);
        definition.methods.push_back(trvptr_strong<trv_program_block>::from(block));
        entry = trvvar_new();
        trvvar_set_function(*entry, trvptr_weak<trv_program_block>::from(block), {});
      }
      definition.functions.push_back(std::move(entry));
      definition.add_member(function.name, trv_symbol_entry{function.is_private, index, 1});
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The end of a block and of the program.

void assembler::finish_block() {
  block_text& b = blocks_.back();
  trv_program_block& block = *b.block;
  for (const jump_fixup& jump : b.jumps) {
    auto found = b.labels.find(jump.label.name);
    if (found == b.labels.end()) {
      report_.fail(jump.label.where, "undefined label '" + jump.label.name + "'");
    }
    put(block.code, jump.offset + 4,
        static_cast<int32_t>(static_cast<int64_t>(found->second) - jump.offset));
  }
  block.exit_position = static_cast<uint32_t>(block.code.size());
  if (b.exit) {
    auto found = b.labels.find(b.exit->name);
    if (found == b.labels.end()) {
      report_.fail(b.exit->where, "undefined label '" + b.exit->name + "'");
    }
    block.exit_position = found->second;
  }
  if (b.minimum_at && block.minimum_argument_count > block.parameter_count) {
    report_.fail(*b.minimum_at,
                 "the minimum argument count " + std::to_string(block.minimum_argument_count) +
                     " is above the parameter count " + std::to_string(block.parameter_count));
  }
  const uint64_t cache = uint64_t{b.declared_cache} + b.automatic_cache;
  if (cache > assembler_count_limit) {
    report_.fail(b.where, "block '" + block.name + "' needs " + std::to_string(cache) +
                              " cache entries; the limit is " +
                              std::to_string(assembler_count_limit));
  }
  block.member_cache.resize(cache);
}

size_t assembler::root_index() const {
  for (size_t i = 0; i < blocks_.size(); ++i) {
    if (blocks_[i].root) return i;
  }
  report_.fail(1, "no root block: mark the global block with .root");
}

void assembler::resolve_globals(const block_text& root) {
  for (block_text& b : blocks_) {
    for (const global_fixup& fixup : b.globals) {
      const auto& names = fixup.variable ? root.variable_names : root.slot_names;
      auto found = names.find(fixup.name.name);
      if (found == names.end()) {
        report_.fail(fixup.name.where,
                     std::string(fixup.variable ? "the root block has no "
                                                  "block variable '"
                                                : "the root block has no slot '") +
                         fixup.name.name + "'");
      }
      put(b.block->code, fixup.offset + 4, static_cast<int32_t>(found->second));
    }
  }
}

// Children and alternatives are strong pointers, so the graph they make must be free of
// cycles (a cycle would never be released) and shallow (releasing recurses). It is checked by
// name, iteratively, before any pointer is set; every block must hang below the root.
void assembler::link_blocks(size_t root) {
  struct edge {
    size_t to;
    location where;
  };
  std::vector<std::vector<edge>> edges(blocks_.size());
  auto target = [&](const reference& r) {
    auto found = block_index_.find(r.name);
    if (found == block_index_.end()) report_.fail(r.where, "unknown block '" + r.name + "'");
    return found->second;
  };
  for (size_t i = 0; i < blocks_.size(); ++i) {
    for (const reference& child : blocks_[i].children)
      edges[i].push_back({target(child), child.where});
    if (blocks_[i].alternative) {
      edges[i].push_back({target(*blocks_[i].alternative), blocks_[i].alternative->where});
    }
  }
  enum : uint8_t { unvisited, open, closed };
  std::vector<uint8_t> state(blocks_.size(), unvisited);
  std::vector<uint32_t> height(blocks_.size(), 0);
  std::vector<std::pair<size_t, size_t>> stack;  // block, next edge
  // The root's tree first, then the blocks classes name (classes keep them) with theirs.
  std::vector<size_t> starts{root};
  starts.insert(starts.end(), class_blocks_.begin(), class_blocks_.end());
  for (size_t start : starts) {
    if (state[start] != unvisited) continue;
    state[start] = open;
    stack.emplace_back(start, 0);
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next < edges[node].size()) {
        const edge& e = edges[node][next++];
        if (state[e.to] == open) {
          report_.fail(e.where,
                       "block '" + blocks_[e.to].block->name + "' would be its own ancestor");
        }
        if (state[e.to] == unvisited) {
          state[e.to] = open;
          stack.emplace_back(e.to, 0);
        }
        continue;
      }
      uint32_t levels = 1;
      for (const edge& e : edges[node]) levels = std::max(levels, height[e.to] + 1);
      if (levels > assembler_depth_limit) {
        report_.fail(blocks_[node].where,
                     "blocks nest more than " + std::to_string(assembler_depth_limit) +
                         " levels deep below '" + blocks_[node].block->name + "'");
      }
      height[node] = levels;
      state[node] = closed;
      stack.pop_back();
    }
  }
  for (size_t i = 0; i < blocks_.size(); ++i) {
    if (state[i] == unvisited) {
      report_.fail(blocks_[i].where, "block '" + blocks_[i].block->name +
                                         "' is not reachable from the root block '" +
                                         blocks_[root].block->name + "'");
    }
  }
  for (block_text& b : blocks_) {
    for (const reference& child : b.children) {
      b.block->children.push_back(blocks_[block_index_.at(child.name)].block);
    }
    if (b.alternative) b.block->alternative = blocks_[block_index_.at(b.alternative->name)].block;
  }
}

// A block that resumes after break at its last 8-byte instruction must end with one.
void check_break_target(const block_text& b, const reporter& report) {
  const trv_program_block& block = *b.block;
  if (!block.break_target || b.raw) return;
  if (b.sites.empty() || trv_opcode_table[block.code[b.sites.back().offset]].length != 8) {
    report.fail(b.where, "break target '" + block.name +
                             "' must end with an 8-byte instruction: break resumes there");
  }
}

void assembler::validate_sites(const block_text& root) {
  for (const block_text& b : blocks_) {
    for (const site& s : b.sites) {
      const std::optional<operand_problem> problem =
          ordinary_operand_problem(*b.block, *root.block, s.offset);
      if (!problem) continue;
      location where = s.mnemonic;
      const size_t operand = static_cast<size_t>(problem->operand);
      if (problem->operand >= 0 && operand < s.operand_columns.size()) {
        where.column = s.operand_columns[operand];
      }
      report_.fail(where, problem->message);
    }
    check_break_target(b, report_);
  }
}

void assembler::check_blocks() {
  for (const block_text& b : blocks_) {
    if (b.raw) continue;
    if (const std::optional<std::string> reason = trv_program_block_check(*b.block)) {
      report_.fail(b.where, "block '" + b.block->name + "' fails the block check: " + *reason);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// What ordinary syntax can write.

// Whether byte `at` of an instruction belongs to one of its operands.
bool operand_byte(trv_operand_kind kind, size_t at) {
  switch (kind) {
    case TRV_OPERANDS_NONE:
      return false;
    case TRV_OPERANDS_SMALL:
      return at == 1;
    case TRV_OPERANDS_SMALL_CLASS:
      return at == 1 || (at >= 8 && at < 16);
    case TRV_OPERANDS_A:
    case TRV_OPERANDS_LITERAL:
    case TRV_OPERANDS_CHILD:
    case TRV_OPERANDS_JUMP:
      return at >= 4 && at < 8;
    case TRV_OPERANDS_AB:
    case TRV_OPERANDS_A_FLAG:
      return at >= 4 && at < 12;
    case TRV_OPERANDS_MEMBER:
      return (at >= 4 && at < 12) || (at >= 16 && at < 24);
    case TRV_OPERANDS_INT:
    case TRV_OPERANDS_FLOAT:
    case TRV_OPERANDS_NATIVE:
    case TRV_OPERANDS_VARIABLE:
      return at >= 8 && at < 16;
  }
  return false;
}

// "slot 5 is out of range: the block has 2 locals"
std::optional<operand_problem> index_problem(int operand, int64_t index, size_t count,
                                             std::string_view what, std::string_view owner,
                                             std::string_view plural) {
  if (index >= 0 && static_cast<uint64_t>(index) < count) return std::nullopt;
  return operand_problem{operand, std::string(what) + " " + std::to_string(index) +
                                      " is out of range: " + std::string(owner) + " has " +
                                      std::to_string(count) + " " + std::string(plural)};
}

std::optional<operand_problem> sign_problem(int operand, int32_t value, std::string_view what) {
  if (value >= 0) return std::nullopt;
  return operand_problem{operand, std::string(what) + " " + std::to_string(value) + " is negative"};
}

std::optional<operand_problem> limit_problem(int64_t value, std::string_view what) {
  if (value >= 0 && value <= assembler_count_limit) return std::nullopt;
  return operand_problem{0, std::string(what) + " " + std::to_string(value) +
                                " is out of range: the limit is " +
                                std::to_string(assembler_count_limit)};
}

std::optional<operand_problem> a_problem(const trv_program_block& block,
                                         const trv_program_block& root, const uint8_t* ip) {
  const int64_t a = trv_operand_a(ip);
  switch (ip[0]) {
    case TRV_OP_load_local:
    case TRV_OP_load_local_flags:
      return index_problem(0, a, block.local_count, "slot", "the block", "locals");
    case TRV_OP_load_block_var:
      return index_problem(0, a, block.block_variables.size(), "block variable", "the block",
                           "block variables");
    case TRV_OP_load_global:
      return index_problem(0, a, root.local_count, "global slot", "the root block", "locals");
    case TRV_OP_load_global_block_var:
      return index_problem(0, a, root.block_variables.size(), "global block variable",
                           "the root block", "block variables");
    case TRV_OP_args_open:
      return limit_problem(a, "argument count");
    default:
      return limit_problem(a, "argument index");
  }
}

// default_arg P runs child P - minimum as the default of parameter P.
std::optional<operand_problem> default_argument_problem(const trv_program_block& block,
                                                        uint8_t parameter) {
  if (parameter >= block.parameter_count) {
    return operand_problem{0, "default_arg " + std::to_string(parameter) +
                                  " names no parameter: the block has " +
                                  std::to_string(block.parameter_count) + " parameters"};
  }
  const uint32_t minimum = block.minimum_argument_count;
  if (minimum == trv_no_minimum || parameter < minimum) {
    return operand_problem{0, "default_arg " + std::to_string(parameter) +
                                  " needs a minimum argument count (.min_args) at or below it"};
  }
  return index_problem(0, parameter - minimum, block.children.size(), "default block", "the block",
                       "children");
}

std::optional<operand_problem> pointer_problem(const uint8_t* ip, std::string_view what) {
  if (trv_operand_pointer<const void>(ip) != nullptr) return std::nullopt;
  return operand_problem{0, std::string(what) + " is null"};
}

// The accessing class of get_member and index: none, or a class the block names.
std::optional<operand_problem> class_problem(const trv_program_block& block, const uint8_t* ip,
                                             int offset, int operand) {
  const trv_class_def* accessing = trv_operand_pointer<const trv_class_def>(ip, offset);
  if (accessing == nullptr ||
      std::find(block.classes.begin(), block.classes.end(), accessing) != block.classes.end()) {
    return std::nullopt;
  }
  return operand_problem{operand, "the accessing class is not one the block names"};
}

std::optional<operand_problem> literal_problem(const trv_program_block& block, int64_t index) {
  return index_problem(0, index, block.unit ? block.unit->literals.size() : 0, "literal",
                       "the unit", "literals");
}

}  // namespace

trv_program_block* assembled_program::find_block(std::string_view name) const {
  for (const trvptr_strong<trv_program_block>& block : blocks) {
    if (block->name == name) return block.get();
  }
  return nullptr;
}

assembly_error::assembly_error(std::string file, uint32_t line, uint32_t column,
                               std::string message)
    : std::runtime_error(file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                         message),
      file_(std::move(file)),
      line_(line),
      column_(column),
      message_(std::move(message)) {}

assembled_program assemble(std::string_view text, std::string_view file_name,
                           const native_resolver& natives) {
  return assembler(file_name, natives).run(text);
}

std::optional<operand_problem> ordinary_operand_problem(const trv_program_block& block,
                                                        const trv_program_block& root,
                                                        uint32_t offset) {
  const uint8_t* ip = block.code_begin() + offset;
  const trv_opcode_info& info = trv_opcode_table[ip[0]];
  for (size_t at = 1; at < info.length; ++at) {
    if (ip[at] != 0 && !operand_byte(info.operands, at)) {
      return operand_problem{-1, "byte " + std::to_string(at) + " lies outside the operands"};
    }
  }
  switch (info.operands) {
    case TRV_OPERANDS_NONE:
      if (ip[0] == TRV_OP_enter_alt && !block.alternative) {
        return operand_problem{-1, "enter_alt needs an alternative block (.alternative)"};
      }
      return std::nullopt;
    case TRV_OPERANDS_SMALL:
      if (ip[0] == TRV_OP_default_arg) return default_argument_problem(block, ip[1]);
      return std::nullopt;
    case TRV_OPERANDS_A:
      return a_problem(block, root, ip);
    case TRV_OPERANDS_AB:
      if (auto problem = sign_problem(0, trv_operand_a(ip), "frame count")) return problem;
      return sign_problem(1, trv_operand_b(ip), "index");
    case TRV_OPERANDS_A_FLAG:
      return sign_problem(0, trv_operand_a(ip), "member index");
    case TRV_OPERANDS_LITERAL:
      return literal_problem(block, trv_operand_a(ip));
    case TRV_OPERANDS_CHILD:
      return index_problem(0, trv_operand_a(ip), block.children.size(), "child", "the block",
                           "children");
    case TRV_OPERANDS_JUMP: {
      const int64_t target = int64_t{offset} + trv_operand_a(ip);
      if (target >= 0 && target <= static_cast<int64_t>(block.code.size())) return std::nullopt;
      return operand_problem{0, "jump target " + std::to_string(target) + " lies outside the code"};
    }
    case TRV_OPERANDS_INT:
    case TRV_OPERANDS_FLOAT:
      return std::nullopt;
    case TRV_OPERANDS_SMALL_CLASS:
      return class_problem(block, ip, 8, 1);
    case TRV_OPERANDS_NATIVE:
      return pointer_problem(ip, "the native definition");
    case TRV_OPERANDS_VARIABLE:
      return pointer_problem(ip, "the variable");
    case TRV_OPERANDS_MEMBER:
      if (auto problem = literal_problem(block, trv_operand_a(ip))) return problem;
      if (auto problem = class_problem(block, ip, 16, 2)) return problem;
      return index_problem(1, trv_operand_b(ip), block.member_cache.size(), "cache entry",
                           "the block", "cache entries");
  }
  return std::nullopt;
}

std::string quoted_text(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c == '\n') {
      out.append("\\n");
    } else if (c == '\t') {
      out.append("\\t");
    } else if (c < 0x20 || c == 0x7F) {
      constexpr char digits[] = "0123456789ABCDEF";
      out.append("\\x");
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  out.push_back('"');
  return out;
}

// The shortest text that reads back as the same double.
std::string float_text(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<double> parse_float_text(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (std::isnan(value)) {
    return std::copysign(std::numeric_limits<double>::quiet_NaN(),
                         std::signbit(value) ? -1.0 : 1.0);
  }
  return value;
}

std::optional<std::string> constant_text(const trvvar& value) {
  switch (value.type) {
    case TRVVAR_NONE:
      return "none";
    case TRVVAR_INT:
      return "int " + std::to_string(value.payload.int_value);
    case TRVVAR_FLOAT: {
      const double number = value.payload.float_value;
      const std::optional<double> back = parse_float_text(float_text(number));
      if (std::bit_cast<uint64_t>(*back) != std::bit_cast<uint64_t>(number)) return std::nullopt;
      return "float " + float_text(number);
    }
    case TRVVAR_STRING:
      return "string " + quoted_text(trvvar_string_view(value));
    case TRVVAR_CLASS_DEF: {
      const trv_class_def* definition =
          static_cast<const trv_class_def*>(value.payload.class_def_payload->definition.get());
      if (definition == nullptr) return std::nullopt;
      return "class " + definition->name;
    }
    default:
      return std::nullopt;
  }
}

std::string block_kind_text(uint32_t kind) {
  switch (kind) {
    case TRV_BLOCK_LOOP:
      return "loop";
    case TRV_BLOCK_FUNCTION:
      return "function";
    case TRV_BLOCK_GLOBAL:
      return "global";
    default:
      return std::to_string(kind);
  }
}

}  // namespace trvhost
