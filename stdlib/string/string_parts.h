#pragma once

#include <cstddef>
#include <string_view>

// Where splitting and extraction put the pieces they cut from a text, in order. The script
// methods collect them into a json list (stdlib/json/json_string_list.h); tests collect them into a
// vector.
class trv_string_parts {
 public:
  virtual void add(std::string_view part) = 0;
  // A hint that `count` more parts follow, so a collector can make room once.
  virtual void expect(size_t /*count*/) {}

 protected:
  ~trv_string_parts() = default;
};
