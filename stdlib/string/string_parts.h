#pragma once

#include <string_view>

// Where splitting and extraction put the pieces they cut from a text, in order. The script
// methods collect them into a json list (string_list.h); tests collect them into a vector.
class trv_string_parts {
 public:
  virtual void add(std::string_view part) = 0;

 protected:
  ~trv_string_parts() = default;
};
