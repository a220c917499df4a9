#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>

#include "stdlib/json/json_bool.h"
#include "stdlib/json/json_parse.h"
#include "stdlib/json/json_print.h"
#include "stdlib/json/json_salvage.h"
#include "tests/json/json_test_support.h"
#include "tests/support/capturing_logger.h"
#include "values/reference.h"

namespace {

const std::string cycle_warning =
    "JSON contains a reference to itself, printing \"<cycle>\" instead of recursing forever.";
const std::string deep_warning =
    "JSON nesting exceeds the maximum depth of 1024, printing \"<nested too deeply>\" for the "
    "rest.";

TEST(JsonText, PrintsTheDocumentTheEntriesMapTo) {
  struct row {
    const char* source;
    const char* compact;
  };
  const row rows[] = {
      {R"({"b":1,"a":[]})", R"({"a":{},"b":1})"},  // an empty container prints {}
      {R"(["x\"y",2.5,null,true,false])", R"(["x\"y",2.5,null,true,false])"},
      {R"(["é"])", R"(["é"])"},  // UTF-8 is kept, not escaped
      {R"({"k":{"n":[1,{"m":2}]}})", R"({"k":{"n":[1,{"m":2}]}})"},
  };
  for (const row& r : rows) EXPECT_EQ(parsed(r.source).text(), r.compact) << r.source;
}

TEST(JsonText, PrettyFormIndentsByFour) {
  json_value j = parsed(R"({"b":[1,{}],"a":"x"})");
  EXPECT_EQ(trv_json_to_text(*j.c, false),
            "{\n    \"a\": \"x\",\n    \"b\": [\n        1,\n        {}\n    ]\n}");
  trvvar_shared compact = j.call("string", {int_of(1)});
  EXPECT_EQ(compact->type, TRVVAR_STRING);
  EXPECT_EQ(trvvar_string_value(*compact), j.text());
  EXPECT_EQ(trvvar_string_value(*j.call("string", {int_of(0)})), j->to_string());
  EXPECT_EQ(trvvar_string_value(*j.call("string")), j->to_string());
}

// A reference entry prints as its target's text, which converts that container inside the
// conversion of the one holding the reference.
TEST(JsonText, ContainersReachedThroughReferencesAreBoundedLikeNesting) {
  log_capture capture;
  json_value j;
  trvvar_make_ref(*j->add_keyless(), j.var.get());
  EXPECT_EQ(j.text(), R"(["\"<cycle>\""])");
  EXPECT_EQ(capture.warnings(), std::vector<std::string>{cycle_warning});
  j->clear_and_free();

  // Each level escapes the text below it once more, so the chain stops at 8 conversions.
  capture.logger().clear();
  std::vector<json_value> chain(1000);
  for (size_t i = 0; i + 1 < chain.size(); ++i) {
    trvvar_make_ref(*chain[i]->add_keyless(), chain[i + 1].var.get());
  }
  const std::string text = chain[0].text();
  EXPECT_NE(text.find("<nested too deeply>"), std::string::npos);
  EXPECT_LT(text.size(), 4096u);
  EXPECT_EQ(capture.warnings(),
            std::vector<std::string>{"JSON nesting exceeds the maximum depth of 8, printing "
                                     "\"<nested too deeply>\" for the rest."});
}

// A conversion inside another (a reference entry's target) takes stack on top of the one
// holding it: the containers open in both count against one limit of 1024.
TEST(JsonText, ConversionsInsideOneAnotherShareTheDepthLimit) {
  log_capture capture;
  json_value outer = nested(600);
  json_value inner = nested(600);
  trv_std_json* innermost = outer.c;
  while (!innermost->entries.empty()) innermost = trv_json_of(*innermost->entries[0].value);
  trvvar_make_ref(*innermost->add_keyless(), inner.var.get());
  const std::string text = outer.text();
  EXPECT_NE(text.find("<nested too deeply>"), std::string::npos);
  EXPECT_EQ(capture.warnings(), std::vector<std::string>{deep_warning});
}

TEST(JsonText, CyclesAndDepthPrintMarkersWithOneWarning) {
  log_capture capture;
  json_value j;
  trvvar_set(*j->add_keyless(), j.var);
  trvvar_set(*j->add_keyless(), j.var);
  EXPECT_EQ(j.text(), R"(["<cycle>","<cycle>"])");
  EXPECT_EQ(capture.warnings(), std::vector<std::string>{cycle_warning});
  j->clear_and_free();

  capture.logger().clear();
  EXPECT_EQ(nested(1025).text(),
            std::string(1024, '[') + "\"<nested too deeply>\"" + std::string(1024, ']'));
  EXPECT_EQ(capture.warnings(), std::vector<std::string>{deep_warning});
}

// The document is built in entry order, so of several refusals the last in entry order picks
// the warning, whatever order the members print in; an overwritten member's value is still
// converted, and its refusal counts.
TEST(JsonText, TheLastRefusalInEntryOrderPicksTheWarning) {
  enum kind { self, chain, one };
  struct row {
    std::vector<std::pair<const char*, kind>> entries;
    const std::string& warning;
    const char* text = nullptr;  // at the top, when the markers are short enough to compare
  };
  const row rows[] = {
      {{{"b", self}, {"a", chain}}, deep_warning},
      {{{"b", chain}, {"a", self}}, cycle_warning},
      {{{"b", self}, {"a", chain}, {"a", one}}, deep_warning, R"({"a":1,"b":"<cycle>"})"},
      {{{"c", self}, {"b", one}, {"b", chain}}, deep_warning},
  };
  // Freeing a container with a cycle empties the containers nested in it: a chain per case.
  for (const row& r : rows) {
    for (bool wrapped : {false, true}) {  // at the top, and as the member of another container
      json_value deep = nested(1024);
      json_value j;
      for (const auto& [key, what] : r.entries) {
        trvvar_shared slot = j->add_keyed(key);
        if (what == self) trvvar_set(*slot, j.var);
        if (what == chain) trvvar_set(*slot, deep.var);
        if (what == one) trvvar_set_int(*slot, 1);
      }
      json_value printed = j;
      if (wrapped) {
        printed = json_value();
        printed->add_value(j.var, "x");
      }
      log_capture capture;
      const std::string text = printed.text();
      EXPECT_EQ(capture.warnings(), std::vector<std::string>{r.warning}) << text.substr(0, 20);
      EXPECT_EQ(text, r.text && !wrapped ? r.text : text);
      printed->clear_and_free();
    }
  }
}

TEST(JsonText, DebugViewShowsReferenceCountAndType) {
  json_value j = parsed(R"({"a":1,"b":[null]})");
  EXPECT_EQ(trv_json_debug_text(*j.c, true),
            R"({"a":{"is_ref":false,"refcount":1,"type":"int"},)"
            R"("b":[{"is_ref":false,"refcount":1,"type":"none"}]})");
  log_capture capture;
  trvvar_set(*j->add_keyed("c"), j.var);
  trv_json_debug_text(*j.c, true);
  EXPECT_EQ(capture.warnings(),
            (std::vector<std::string>{"JSON contains a reference to itself, debug_refs shows "
                                      "\"<cycle>\" instead of recursing forever."}));
  j->clear_and_free();
}

TEST(JsonText, ParsingMapsValuesToVariables) {
  json_value j = parsed(R"({"b":true,"a":18446744073709551615,"c":1e2, /* note */ "d":"s"})");
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(trvvar_int_value(*j->value_at(0)), -1);
  trvvar& b = *j->value_at(1);
  ASSERT_EQ(b.type, TRVVAR_OBJECT);
  EXPECT_NE(trv_object_cast<trv_std_json_bool>(b.payload.object_payload->object.get()), nullptr);
  EXPECT_EQ(j->value_at(2)->type, TRVVAR_FLOAT);
  EXPECT_EQ(j->value_at(3)->type, TRVVAR_STRING);
  EXPECT_EQ(parsed(R"("just text")").text(), R"(["just text"])");
}

// Entries come in the document's member order (sorted keys, the last of equal keys kept), for
// objects small enough for the insertion sort and larger ones alike, at any depth.
TEST(JsonText, ParsedMembersFollowTheDocumentsOrder) {
  std::mt19937 random(7);
  for (int members : {2, 7, 32, 33, 90}) {
    std::string text = "{";
    for (int i = 0; i < members; ++i) {
      if (i > 0) text += ',';
      text += "\"k" + std::to_string(random() % 24) + "\":" + std::to_string(i);
    }
    text += "}";
    const std::string wrapped = R"({"z":[)" + text + R"(],"a":0})";
    json_value j = parsed(wrapped);
    trv_std_json& inner = *trv_json_of(*trv_json_of(*j->value_at(1))->value_at(0));
    const nlohmann::json expected = nlohmann::json::parse(text);
    ASSERT_EQ(inner.size(), expected.size());
    size_t i = 0;
    for (const auto& [key, value] : expected.items()) {
      EXPECT_EQ(*inner.entries[i].key, key);
      EXPECT_EQ(trvvar_int_value(*inner.entries[i].value), value.get<int64_t>());
      ++i;
    }
    inner.assert_invariant();
  }
}

struct from_string_row {
  const char* text;
  bool result;
  const char* compact;  // the container afterwards
  const char* log;      // the error logged, or null
};

TEST(JsonText, FromStringTrimsParsesAndSalvages) {
  const from_string_row rows[] = {
      {"", false, "{}", nullptr},
      {"abc", false, "{}", "abc\n\ninvalid json: abc"},
      {"xx{\"a\":1}yy", true, R"({"a":1})", nullptr},
      {"{\"a\":1,\"b\":[1,2", true, R"({"a":1})",
       "{\"a\":1,\"b\"\n\nJSON parse error: salvaged prefix length 6"},
      {"[1,2,x", true, "[1,2]", "[1,2,x\n\nJSON parse error: salvaged prefix length 4"},
      {"[1,2,]", true, "[1,2]", "[1,2,]\n\nJSON parse error: salvaged prefix length 4"},
      {"\"abc", false, "{}", "\"\n\nJSON parse error: could not salvage any root value."},
      {"[1,2] [\"x\"", true, "[1,2]", "[1,2] [\"x\"\n\nJSON parse error: salvaged prefix length 6"},
  };
  for (const from_string_row& r : rows) {
    log_capture capture;
    json_value j = parsed("[9]");
    EXPECT_EQ(trv_json_from_string(*j.c, r.text, false), r.result) << r.text;
    EXPECT_EQ(j.text(), r.compact) << r.text;
    EXPECT_EQ(capture.errors(),
              r.log ? std::vector<std::string>{r.log} : std::vector<std::string>{})
        << r.text;
    capture.logger().clear();
    trv_json_from_string(*j.c, r.text, true);
    EXPECT_TRUE(capture.errors().empty());
  }
}

TEST(JsonText, AMillionNestedArraysParseAndReleaseWithoutRecursion) {
  EXPECT_EQ(nested_depth(nested(1000000).c), 1000000u);
}

// ---- salvage against the literal procedure ----

// Every prefix, longest success wins: the procedure as written, for comparison.
std::optional<trv_json_salvage> literal_salvage(std::string_view s) {
  std::optional<trv_json_salvage> found;
  const char closing = s[0] == '{' ? '}' : s[0] == '[' ? ']' : 0;
  for (size_t length = 1; length <= s.size(); ++length) {
    std::string prefix(s.substr(0, length));
    if (nlohmann::json::accept(prefix, true)) {
      found = trv_json_salvage{length, 0};
    } else if (closing != 0 && nlohmann::json::accept(prefix + closing, true)) {
      found = trv_json_salvage{length, closing};
    }
  }
  return found;
}

size_t error_position_of(std::string_view s) {
  struct sax : nlohmann::detail::json_sax_acceptor<nlohmann::json> {
    size_t position = 0;
    bool parse_error(size_t p, const std::string&, const nlohmann::detail::exception&) {
      position = p;
      return false;
    }
  } handler;
  nlohmann::json::sax_parse(s, &handler, nlohmann::json::input_format_t::json, true, true);
  return handler.position;
}

void expect_same_salvage(std::string_view s) {
  if (nlohmann::json::accept(s, true)) return;
  const auto expected = literal_salvage(s);
  const auto actual = trv_json_find_salvage(s, error_position_of(s));
  ASSERT_EQ(expected.has_value(), actual.has_value()) << s;
  if (!expected) return;
  EXPECT_EQ(expected->length, actual->length) << s;
  EXPECT_EQ(expected->closing, actual->closing) << s;
}

TEST(JsonSalvage, MatchesTheLiteralProcedureOnTruncationsAndEdits) {
  const std::string documents[] = {
      R"({"a": 1, "b": [1, 2, {"c": "x\"}y"}], "d": -12.5e3, "e": true, "f": null})",
      R"([1, "two", [3, [4, {}]], {"k": [] }, tru, 5])",
      R"({"a":{"b":{"c":[1,2,3]}},"d":"//not a comment"} // trailing)",
      R"([ /* c1 */ 1 /* c2 */ , 2 // c3
, {"x" : "y"} ] /* tail */)",
      R"("string root \u00e9 \\" )",
      R"({"k":"v"} {"k2":"v2"})",
      R"([[1,2],[3,4]] ])",
      R"({"a":1,,"b":2})",
  };
  std::mt19937 random(7);
  const std::string inserts = "{}[]\",:/* \n1ae-";
  for (const std::string& doc : documents) {
    for (size_t cut = 1; cut <= doc.size(); ++cut) expect_same_salvage(doc.substr(0, cut));
    for (int round = 0; round < 200; ++round) {
      std::string edited = doc;
      edited[random() % edited.size()] = inserts[random() % inserts.size()];
      if (edited[0] != '{' && edited[0] != '[' && edited[0] != '"') continue;
      expect_same_salvage(edited);
    }
  }
}

// JSONTestSuite's parser cases, when present: parsing any of them is safe, and the salvage
// agrees with the literal procedure.
// A number too large for a double fails at every digit from its 310th on, each a possible cut:
// the longest cut that parses is found in a few parses, where trying each was quadratic.
TEST(JsonSalvage, CutsAnOverlongNumberWhereItStillFitsADouble) {
  const std::string text = "[" + std::string(200000, '9');
  const auto open = trv_json_find_salvage(text, error_position_of(text));
  ASSERT_TRUE(open.has_value());
  EXPECT_EQ(open->length, 1u + 308u);
  EXPECT_EQ(open->closing, ']');
  const std::string closed = "[1, " + std::string(200000, '9') + "]";
  const auto inner = trv_json_find_salvage(closed, error_position_of(closed));
  ASSERT_TRUE(inner.has_value());
  EXPECT_EQ(inner->length, 4u + 308u);
  for (const char* tail : {"", ".5", "e3", ".5e-7", "e+400", ".2.3", "e5e5", "1.e"}) {
    expect_same_salvage(std::string("[1, 2") + tail + "]");
    expect_same_salvage(std::string("[1, 2") + tail);
    expect_same_salvage(std::string("{\"a\": -0") + tail);
  }
  expect_same_salvage("[1, " + std::string(400, '9') + "]");
  expect_same_salvage("[1, " + std::string(2000, '9') + "]");  // more than the search once tried
}

// A NUL byte ends a line comment for the parser. Read as part of the comment, the text after it
// was marked as cuts that parse: values there were lost, and when none of those cuts parsed,
// each was parsed in turn, quadratic in the text.
TEST(JsonSalvage, ANulByteEndsALineComment) {
  using namespace std::string_literals;
  expect_same_salvage("[1 //c\0 ,2,3,4 x"s);
  expect_same_salvage("{\"a\": 1 //c\0 ,\"b\":2 x"s);
  const std::string text = "\"a\" //\0\""s + std::string(100000, '[') + "\"";
  const auto found = trv_json_find_salvage(text, error_position_of(text));
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->length, 7u);
  EXPECT_EQ(found->closing, 0);
}

TEST(JsonSalvage, AgreesOnTheParserTestSuite) {
  const std::filesystem::path corpus = "/work/shared/corpus";
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus";
  size_t checked = 0;
  for (const auto& file : std::filesystem::recursive_directory_iterator(corpus)) {
    if (!file.is_regular_file() || file.file_size() > 4096) continue;
    std::ifstream in(file.path(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    json_value j;
    trv_json_from_string(*j.c, text, true);
    const size_t first = text.find_first_of("{[\"");
    if (first == std::string::npos) continue;
    const size_t last = text.find_last_of("}]\"");  // npos or before `first`: to the end
    expect_same_salvage(std::string_view(text).substr(
        first, last == std::string::npos || last < first ? std::string::npos : last - first + 1));
    ++checked;
  }
  EXPECT_GT(checked, 100u);
}

}  // namespace
