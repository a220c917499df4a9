#include "host/module_loader.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "host/thread_state.h"
#include "values/payloads.h"
#include "vm/call.h"

namespace trvhost {

namespace {

using check_function = trv_glue_descriptor* (*)();
using entry_function = trv_global_instance* (*)();

// The tag's text ends at its first zero byte, or at the end of the array when it has none.
std::string_view tag_text(const trv_glue_descriptor& descriptor) {
  const char* begin = descriptor.module_tag;
  const char* end = begin + sizeof descriptor.module_tag;
  return std::string_view(begin, std::find(begin, end, '\0') - begin);
}

// Bytes outside printable ASCII are written as \xNN, so a broken tag cannot break the line.
std::string printable(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out.append(escaped);
    }
  }
  return out;
}

template <class Function>
Function required_symbol(const shared_library& library, const std::string& path, const char* name) {
  void* address = library.symbol(name);
  if (address == nullptr) {
    throw std::runtime_error("cannot use module " + path + ": it does not export " + name);
  }
  return reinterpret_cast<Function>(address);
}

trv_global_instance& checked_instance(const shared_library& library, const std::string& path) {
  auto check = required_symbol<check_function>(library, path, "tarvoglue_check");
  auto entry = required_symbol<entry_function>(library, path, "tarvoglue_entry");
  if (auto problem = descriptor_problem(*check())) {
    throw std::runtime_error("cannot use module " + path + ": " + *problem);
  }
  trv_global_instance* instance = entry();
  if (instance == nullptr) {
    throw std::runtime_error("cannot use module " + path + ": tarvoglue_entry gave no instance");
  }
  return *instance;
}

}  // namespace

std::optional<std::string> descriptor_problem(const trv_glue_descriptor& descriptor) {
  if (descriptor.glue_version != trv_glue_version) {
    return "glue version " + std::to_string(descriptor.glue_version) +
           " is not supported (expected " + std::to_string(trv_glue_version) + ")";
  }
  if (tag_text(descriptor) != trv_module_tag) {
    return "module tag \"" + printable(tag_text(descriptor)) + "\" is not supported (expected \"" +
           trv_module_tag + "\")";
  }
  return std::nullopt;
}

module_loader::module_loader(const std::string& path)
    : library_(path), instance_(&checked_instance(library_, path)) {
  // From here on the module and the host's copy of the core share one record per thread.
  provide_thread_state(*trv_get_global_instance());
  provide_thread_state(*instance_);
  for (auto& [name, callbacks] : instance_->namespace_registrations) {
    trv_namespace& ns = namespaces_.try_emplace(std::string(name)).first->second;
    for (auto& populate : callbacks) populate(ns);
  }
}

const trv_namespace* module_loader::find_namespace(std::string_view name) const {
  auto found = namespaces_.find(name);
  return found == namespaces_.end() ? nullptr : &found->second;
}

trv_function_def* native_definition(const trvvar& function) {
  if (function.type != TRVVAR_EXT_FUNCTION) return nullptr;
  return function.payload.ext_function_payload->definition.get();
}

trvvar_shared call_native_function(const trv_namespace& ns, std::string_view name,
                                   trv_vm_context& context, std::vector<trvvar_shared>& args) {
  auto found = ns.functions.find(name);
  // Held for the call, as a pending call holds its definition.
  trvptr_strong<trv_function_def> definition;
  if (found != ns.functions.end() && found->second) {
    definition = trvptr_strong<trv_function_def>::from(native_definition(*found->second));
  }
  if (!definition) throw std::runtime_error(std::string(name) + " is not a native function");
  return trv_call_native(context, *definition, nullptr, args);
}

}  // namespace trvhost
