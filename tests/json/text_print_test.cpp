// Printing against nlohmann's dump of the document a container maps to: the text writer does
// its own escaping and number formatting, so every byte of it is checked against the library
// here, compact and indented.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "stdlib/json/json_bool.h"
#include "tests/json/json_test_support.h"

namespace {

using json = nlohmann::json;

void expect_prints_as(trv_std_json& container, const json& doc, const std::string& what) {
  for (bool compact : {true, false}) {
    EXPECT_EQ(trv_json_to_text(container, compact),
              doc.dump(compact ? -1 : 4, ' ', false, json::error_handler_t::replace))
        << what;
  }
}

// The strings as list values, and as keys of an object mapping each to itself.
void expect_strings_print(const std::vector<std::string>& strings, const std::string& what) {
  json_value list;
  json_value object;
  json doc = json::object();
  for (const std::string& s : strings) {
    trvvar_set_string(*list->add_keyless(), s);
    trvvar_set_string(*object->add_keyed(s), s);
    doc[s] = s;
  }
  expect_prints_as(*list.c, json(strings), what);
  expect_prints_as(*object.c, doc, what);
}

std::string all_bytes(int from, int to) {
  std::string s;
  for (int c = from; c <= to; ++c) s.push_back(static_cast<char>(c));
  return s;
}

// Longer than the exhaustive comparison below reaches: four-byte forms, runs, long text.
const std::vector<std::string>& tricky_strings() {
  static const std::vector<std::string> strings = {
      "plain text",
      all_bytes(0x00, 0x1F) + "\x7F\"\\/",
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xF4\x8F\xBF\xBF \xEF\xBF\xBF \xEF\xBF\xBD",
      "\xC0\x80 \xC1\xBF \xE0\x80\xAF \xE0\x9F\xBF \xF0\x8F\xBF\xBF",  // overlong forms
      "\xED\xA0\x80 \xED\xBF\xBF",                                     // surrogates
      "\xF4\x90\x80\x80 \xF5\x80\x80\x80",                             // beyond U+10FFFF
      "ok\xF0\x9D\x84",                                                // cut short at the end
      "\xE2\x28\xA1 \xE2\x82\x28 \xF0\x9D\x28\x9E",  // a bad byte inside a sequence
      "\xC3\xA9\xC3",
      std::string(300, 'x') + "\xFF" + std::string(300, 'y') + "\n\x01",
      std::string("nul\0inside", 10),
  };
  return strings;
}

TEST(JsonTextPrint, StringsAndKeysEscapeAndReplaceAsTheLibraryDoes) {
  std::vector<std::string> strings;
  for (const std::string& s : tricky_strings()) {
    strings.push_back(s);
    strings.push_back(s + s);
  }
  expect_strings_print(strings, "tricky strings");
}

// Every string of one or two bytes, and of three bytes drawn from the bytes where UTF-8
// decoding changes its mind.
TEST(JsonTextPrint, ShortByteStringsMatchExhaustively) {
  const std::string edges = all_bytes(0x00, 0x01) + "\x1F\x20\"\\\x7F\x80\x8F\x90\x9F\xA0\xBF" +
                            "\xC0\xC1\xC2\xDF\xE0\xE1\xEC\xED\xEE\xEF\xF0\xF1\xF3\xF4\xF5\xFF";
  for (int first = 0; first < 256; ++first) {
    std::vector<std::string> strings{std::string(1, static_cast<char>(first))};
    for (int second = 0; second < 256; ++second) {
      strings.push_back({static_cast<char>(first), static_cast<char>(second)});
    }
    expect_strings_print(strings, "first byte " + std::to_string(first));
  }
  for (char first : edges) {
    std::vector<std::string> strings;
    for (char second : edges) {
      for (char third : edges) strings.push_back({first, second, third});
    }
    expect_strings_print(strings, "edge byte " + std::to_string(static_cast<uint8_t>(first)));
  }
}

TEST(JsonTextPrint, NumbersFormatAsTheLibraryDoes) {
  using limits = std::numeric_limits<double>;
  json_value list;
  json doc = json::array();
  for (int64_t i : {int64_t{0}, int64_t{-1}, int64_t{42}, int64_t{1000000000000000000},
                    std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
    trvvar_set_int(*list->add_keyless(), i);
    doc.push_back(i);
  }
  for (double f : {0.0, -0.0, 0.1, -0.1, 0.3333333333333333, 123456789.125, 1.0, -3.0, 100.0, 1e15,
                   1e16, 1e17, 9007199254740993.0, 1e21, 1e22, 1e300, -1e300, 1e-4, 1e-5}) {
    trvvar_set_float(*list->add_keyless(), f);
    doc.push_back(f);
  }
  for (double f : {1e-7, 5e-324, limits::max(), limits::min(), limits::quiet_NaN(),
                   limits::infinity(), -limits::infinity()}) {
    trvvar_set_float(*list->add_keyless(), f);
    doc.push_back(f);
  }
  expect_prints_as(*list.c, doc, "numbers");
}

// Random trees of containers: keys from a small set (so members repeat, come unsorted and
// mix with keyless entries), scalars from the tables above, containers shared between places.
// The document is built by the mapping rules: an empty container is {}, one without keys a
// list, any other an object whose members later entries overwrite.
class tree_maker {
 public:
  explicit tree_maker(uint32_t seed) : random_(seed) {}

  std::pair<trvvar_shared, json> container(int depth) {
    trv_std_json* c = nullptr;
    trvvar_shared var = trv_new_json_var(&c);
    std::vector<std::pair<std::string, json>> members;
    // At the top now and then enough entries that sorting them is more than an insertion sort.
    const size_t count = depth > 0 || random_() % 4 ? random_() % 7 : 20 + random_() % 40;
    for (size_t i = 0; i < count; ++i) {
      const std::string key = random_() % 2 ? keys[random_() % std::size(keys)] : "";
      auto [value, doc] = this->value(depth);
      c->add_value(value, key);
      members.emplace_back(key, std::move(doc));
    }
    const bool keyed =
        std::any_of(members.begin(), members.end(), [](const auto& m) { return !m.first.empty(); });
    json doc = keyed || members.empty() ? json::object() : json::array();
    for (auto& [key, value] : members) {
      if (keyed) {
        doc[key] = std::move(value);
      } else {
        doc.push_back(std::move(value));
      }
    }
    if (!members.empty()) made_.emplace_back(var, doc);
    return {var, doc};
  }

 private:
  static constexpr const char* keys[] = {"a", "b", "ab", "\xC3\xA9", "\x01", "\xFF", "z\xE2\x82"};

  std::pair<trvvar_shared, json> value(int depth) {
    const auto& strings = tricky_strings();
    switch (random_() % 9) {
      case 0:
      case 1: {
        const std::string& s = strings[random_() % strings.size()];
        return {string_of(s), s};
      }
      case 2: {
        const int64_t i = static_cast<int64_t>(random_()) - (int64_t{1} << 31);
        return {int_of(i), i};
      }
      case 3: {
        const double magnitude = static_cast<double>(random_());
        const double f = std::ldexp(random_() % 2 ? magnitude : -magnitude,
                                    static_cast<int>(random_() % 200) - 100);
        return {float_of(f), f};
      }
      case 4:
        return {trvvar_new(), nullptr};
      case 5: {
        const bool b = random_() % 2;
        trvvar_shared v = trvvar_new();
        trv_json_bool_store(*v, b);
        return {v, b};
      }
      case 6:
        if (!made_.empty()) return made_[random_() % made_.size()];
        [[fallthrough]];
      default:
        if (depth < 4) return container(depth + 1);
        return {int_of(depth), depth};
    }
  }

  std::mt19937 random_;
  std::vector<std::pair<trvvar_shared, json>> made_;
};

TEST(JsonTextPrint, MixedNestedContainersMatchTheirDocuments) {
  for (uint32_t seed = 1; seed <= 1000; ++seed) {
    auto [var, doc] = tree_maker(seed).container(0);
    expect_prints_as(*trv_json_of(*var), doc, "seed " + std::to_string(seed));
  }
}

// The debug view hands its records to the library's serializer between the writer's own
// text; a container large enough to grow the output many times shows whether the two keep
// their places.
TEST(JsonTextPrint, DebugRecordsInterleaveWithTheWritersText) {
  json_value list;
  for (int i = 0; i < 3000; ++i) {
    if (i % 3 == 0) {
      list->add_value(json_of(2), "");
    } else {
      trvvar_set_string(*list->add_keyless(), std::string(static_cast<size_t>(i % 50), 'x'));
    }
  }
  auto record = [](const char* type) {
    return json{{"is_ref", false}, {"refcount", 1}, {"type", type}};
  };
  for (bool compact : {true, false}) {
    const json shown = json::parse(trv_json_debug_text(*list.c, compact));
    ASSERT_EQ(shown.size(), 3000u);
    for (size_t i = 0; i < shown.size(); ++i) {
      ASSERT_EQ(shown[i], i % 3 ? record("string") : json::array({record("int"), record("int")}))
          << i;
    }
  }
}

// A record 300 levels down starts 1200 columns in, beyond the serializer's own indent text.
TEST(JsonTextPrint, DebugRecordsIndentAtAnyDepth) {
  constexpr size_t depth = 300;
  const json_value root = parsed(std::string(depth, '[') + "7" + std::string(depth, ']'));
  const std::string text = trv_json_debug_text(*root.c, false);
  json expected = {{"is_ref", false}, {"refcount", 1}, {"type", "int"}};
  for (size_t i = 0; i < depth; ++i) expected = json::array({expected});
  EXPECT_EQ(json::parse(text), expected);
  // The record's members sit one step in from its braces.
  EXPECT_NE(text.find("\n" + std::string(4 * (depth + 1), ' ') + "\"is_ref\": false,\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n" + std::string(4 * depth, ' ') + "}\n"), std::string::npos);
}

}  // namespace
