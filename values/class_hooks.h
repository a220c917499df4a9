#pragma once

// Script class instances (TRVVAR_CLASS) belong to the class layer, which sits above the values
// and comes with the interpreter. The value operations reach an instance's class only through
// these hooks, which that layer installs when it starts. Until then no instance can have a
// class to ask, so an unset hook answers as for an instance whose class is gone.

#include <cstdint>
#include <string>
#include <string_view>

#include "values/payloads.h"
#include "values/var.h"

// How an operator method's result reaches the operand-stack top when the calling frame
// resumes: the result itself, integer 1 when it is not zero, integer 1 when it is zero.
enum trv_operator_mode : uint8_t {
  TRV_OPERATOR_RESULT = 1,
  TRV_OPERATOR_TRUE_WHEN_NONZERO = 2,
  TRV_OPERATOR_TRUE_WHEN_ZERO = 3,
};

struct trv_class_hooks {
  // The name of a live instance's class; "" when the class is gone.
  std::string (*class_name)(trvvar& instance) = nullptr;
  // A live instance's member by name.
  trvvar_shared (*named_member)(trvvar& instance, std::string_view name) = nullptr;
  // When `operand` is a live instance whose class defines operator method `index` (a row of
  // trv_operator_names), starts the call with `argument` (null: none) and answers true; the
  // result arrives when the method returns. False when there is no such method.
  bool (*call_operator)(trvvar& operand, int index, trvvar* argument,
                        trv_operator_mode mode) = nullptr;
};

inline trv_class_hooks trv_class_hooks_installed;

// True for a TRVVAR_CLASS whose instance still exists.
inline bool trvvar_class_live(const trvvar& v) {
  return v.type == TRVVAR_CLASS && v.payload.class_payload->instance.control_block()->object;
}

inline bool trv_class_call_operator(trvvar& operand, int index, trvvar* argument,
                                    trv_operator_mode mode) {
  auto call = trv_class_hooks_installed.call_operator;
  return call != nullptr && trvvar_class_live(operand) && call(operand, index, argument, mode);
}
