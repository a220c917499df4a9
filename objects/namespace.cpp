#include "objects/namespace.h"

#include <memory>

trv_namespace::~trv_namespace() {
  functions.clear();
  for (trv_function_def* def : function_definitions) {
    trv_unpin(*def);
    delete def;
  }
}

trv_function_def* add_function(trv_namespace& ns, std::string_view name,
                               trv_native_callback callback, uint32_t /*unused_count*/,
                               uint32_t max_params, std::string_view documentation) {
  auto def = std::make_unique<trv_function_def>();
  def->native_callback = std::move(callback);
  def->min_params = 0;
  def->max_params = max_params;
  def->name = name;
  def->documentation = documentation;
  def->native_marker = TRV_NATIVE_DEREF_ARGUMENTS;

  trvvar_shared function = trvvar_new();
  trvvar_set_ext_function(*function, trvptr_weak<trv_function_def>::from(def.get()), {});
  ns.function_definitions.reserve(ns.function_definitions.size() + 1);
  ns.functions[name] = std::move(function);
  ns.function_definitions.push_back(def.get());
  trv_pin(*def);  // the namespace, not the pointers to it, decides when it goes
  return def.release();
}
