#pragma once

// Payload records of the owning variable types (values/payloads.def). Each carries the 8-bit
// tag of the pool that supplied it (255: heap) and clears itself; their sizes are the element
// sizes of their pools.

#include <cstdint>
#include <string>

#include "values/var.h"

struct trvvar_object_payload {
  trvptr_strong<trvobject_base> object;
  uint8_t pool_tag = trv_heap_tag;

  // Drops what the record holds; under teardown an object or instance goes at once.
  void clear(bool teardown);
};

struct trvvar_class_payload {
  uint8_t pool_tag = trv_heap_tag;
  trvptr_strong<trv_class> instance;

  // Drops what the record holds; under teardown an object or instance goes at once.
  void clear(bool teardown);
};

struct trvvar_class_def_payload {
  uint8_t pool_tag = trv_heap_tag;
  trvptr_weak<trv_class_def> definition;

  // Drops what the record holds; under teardown an object or instance goes at once.
  void clear(bool teardown);
};

struct trvvar_function_payload {
  trvptr_weak<trv_program_block> definition;
  trvptr_weak<trv_task> scope;  // the task whose global scope the function belongs to
  trvptr_weak<trvobject_base> bound_object;
  trvptr_strong<trvvar_ptr_function_lambda> captures;
  uint8_t pool_tag = trv_heap_tag;

  // Drops what the record holds; under teardown an object or instance goes at once.
  void clear(bool teardown);
};

struct trvvar_ext_function_payload {
  trvptr_weak<trv_function_def> definition;
  trvptr_strong<trvobject_base> bound_object;  // empty for a namespace function
  uint8_t pool_tag = trv_heap_tag;

  // Drops what the record holds; under teardown an object or instance goes at once.
  void clear(bool teardown);
};

struct trvvar_member_literal_payload {
  trvptr_strong<trvobject_base> object;
  std::string name;
  uint8_t pool_tag = trv_heap_tag;

  // Drops what the record holds; under teardown an object or instance goes at once.
  void clear(bool teardown);
};

struct trvvar_member_index_payload {
  trvptr_strong<trvobject_base> object;
  int64_t index = 0;
  uint8_t direct_access = 0;  // set for a native member variable
  uint8_t pool_tag = trv_heap_tag;

  // Drops what the record holds; under teardown an object or instance goes at once.
  void clear(bool teardown);
};

struct trvvar_member_var_payload {
  trvptr_weak<trvobject_base> object;
  trvvar_shared key = trvvar_new();
  uint8_t pool_tag = trv_heap_tag;

  // Drops what the record holds; under teardown an object or instance goes at once.
  void clear(bool teardown);
};

static_assert(sizeof(trvvar_object_payload) == 16);
static_assert(sizeof(trvvar_class_payload) == 16);
static_assert(sizeof(trvvar_class_def_payload) == 16);
static_assert(sizeof(trvvar_function_payload) == 40);
static_assert(sizeof(trvvar_ext_function_payload) == 24);
static_assert(sizeof(trvvar_member_literal_payload) == 48);
static_assert(sizeof(trvvar_member_index_payload) == 24);
static_assert(sizeof(trvvar_member_var_payload) == 24);
