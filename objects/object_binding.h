#pragma once

// Binding a native class to its script class name.
//
// A class T derives from trvobject<T, "dotted.name"> (and from trvptr_type_tag<T>). The
// template keeps the class's member table, answers member lookups from it, and registers the
// class once per process: its factory and metadata in the global instance and its constructor
// function in a namespace. A class's script_register() adds its methods and members and ends
// with script_register_internal().

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "glue/global_instance.h"
#include "glue/log.h"
#include "objects/function_def.h"
#include "objects/member_def.h"
#include "objects/namespace.h"
#include "objects/object_metadata.h"
#include "values/assign.h"
#include "values/object.h"
#include "values/payloads.h"
#include "values/report.h"

// A script class name as a template argument.
template <size_t N>
struct CLASS_STRING {
  char text[N];
  constexpr CLASS_STRING(const char (&s)[N]) { std::copy_n(s, N, text); }
  constexpr std::string_view view() const { return {text, N - 1}; }
};

// The part of a class name after its last ".", or the whole name without one.
constexpr std::string_view trv_short_class_name(std::string_view full) {
  size_t dot = full.rfind('.');
  return dot == std::string_view::npos ? full : full.substr(dot + 1);
}

template <class T, CLASS_STRING Name>
class trvobject : public trvobject_base {
 public:
  static constexpr std::string_view script_name = Name.view();

  using getter = std::function<trvvar_shared(T*)>;
  using setter = std::function<void(T*, trvvar_shared&)>;

  class trvobject_member_def : public trvobject_member_def_base {
   public:
    int64_t member_index = 0;
  };

  // A native method: a bound-method variable refers to its embedded definition weakly and to
  // the object strongly.
  class trvobject_function_def : public trvobject_member_def {
   public:
    trv_function_def definition;

    trvobject_function_def() { trv_pin(definition); }
    ~trvobject_function_def() override { trv_unpin(definition); }

    void reference(trvvar_shared& result, trvobject_base* object) override {
      result = trvvar_new();
      trvvar_set_ext_function(*result, trvptr_weak<trv_function_def>::from(&definition),
                              trvptr_strong<trvobject_base>::from(object));
    }
    trv_function_def* function_def() override { return &definition; }
  };

  // A native member variable, read and written through its getter and setter.
  class trvobject_variable_def : public trvobject_member_def {
   public:
    getter get = [](T*) { return trv_runtime_error("get called on write-only member variable."); };
    setter set = [](T*, trvvar_shared& value) {
      value.reset();
      trv_runtime_error("set called on read-only member variable.");
    };

    void reference(trvvar_shared& result, trvobject_base* object) override {
      result = trvvar_new();
      trvvar_set_type(*result, TRVVAR_OBJECT_MEMBER_INDEX);
      trvvar_member_index_payload* p = result->payload.member_index_payload;
      p->object = trvptr_strong<trvobject_base>::from(object);
      p->index = this->member_index;
      p->direct_access = 1;
    }
    void set_value(trvobject_base* object, trvvar_shared& value) override {
      set(static_cast<T*>(object), value);
    }
    void get_value(trvvar_shared& result, trvobject_base* object) override {
      result = get(static_cast<T*>(object));
    }
  };

  // Per-class registry.
  static inline bool registered = false;
  static inline trv_name_map<int64_t> member_table = trv_make_table<trv_name_map<int64_t>>();
  static inline std::vector<trvptr_strong<trvobject_member_def_base>> member_list;
  static inline std::function<trvptr_strong<T>()> create_new;
  static inline std::vector<std::function<void()>> deferred_callbacks;

  trvobject() { class_type_tag = trv_type_tag<T>(); }
  trvobject(const trvobject& other) : trvobject_base(other) { class_type_tag = trv_type_tag<T>(); }

  const char* class_name() override { return class_name_text; }

  trvvar_shared get_named_member(std::string_view name) override {
    const int64_t index = member_index(name);
    if (index >= 0) {
      trvvar_shared result;
      member_reference(result, index);
      return result;
    }
    trvvar_shared none =
        trv_runtime_error("type '", script_name, "' does not have member '", name, "'");
    for (const auto& entry : member_table) trv_log(TRV_LOG_DEBUG, " - ", entry.first);
    return none;
  }

  int64_t member_index(std::string_view name) override {
    auto found = member_table.find(name);
    return found == member_table.end() ? -1 : found->second;
  }

  void member_reference(trvvar_shared& result, int64_t index) override {
    member_at(index).reference(result, this);
  }

  void set_member_value(int64_t index, trvvar_shared& value) override {
    member_at(index).set_value(this, value);
  }

  void get_member_value(trvvar_shared& result, int64_t index) override {
    member_at(index).get_value(result, this);
  }

  // The callback is kept as given (a plain function stays a function pointer), so that a call
  // goes through one std::function, the definition's.
  template <class Callback>
  static void add_function(std::string_view name, Callback callback, uint32_t min_params,
                           uint32_t max_params, std::string_view documentation) {
    static_assert(std::is_invocable_r_v<trvvar_shared, Callback&, T*, trv_vm_context&,
                                        std::vector<trvvar_shared>&>);
    auto* member = new trvobject_function_def();
    trvptr_strong<trvobject_member_def_base> held =
        trvptr_strong<trvobject_member_def_base>::from(member);
    trv_function_def& def = member->definition;
    def.native_callback = [cb = std::move(callback)](trv_vm_context& context,
                                                     std::vector<trvvar_shared>& args) {
      // A method value can outlive its object (an assignment copies only the definition).
      T* object = static_cast<T*>(trv_context_native_object(context));
      if (object == nullptr) return trv_runtime_error("invalid object pointer!");
      return cb(object, context, args);
    };
    def.min_params = min_params;
    def.max_params = std::max(max_params, min_params);
    def.name = name;
    def.documentation = documentation;
    def.native_marker = TRV_NATIVE_DEREF_ARGUMENTS;
    append_member(name, std::move(held), member);
  }

  // Appends parameter documentation ("name:type - description") to the method added last.
  static void add_parameter_docs(std::initializer_list<std::string_view> docs) {
    trv_function_def* def = member_list.back()->function_def();
    def->parameter_documentation.insert(def->parameter_documentation.end(), docs);
  }

  // Sets the native marker of the method added last (TRV_NATIVE_DEREF_ARGUMENTS by default).
  static void set_native_marker(uint32_t marker) {
    member_list.back()->function_def()->native_marker = marker;
  }

  static void add_getter(std::string_view name, getter get) {
    variable_def(name).get = std::move(get);
  }
  static void add_setter(std::string_view name, setter set) {
    variable_def(name).set = std::move(set);
  }

  // A member variable backed by a trvvar_static field of T. The documentation is not kept.
  template <trvvar_static T::*Field>
  static void add_member(std::string_view name, const char* /*documentation*/) {
    add_getter(name, [](T* object) {
      trvvar_shared copy = trvvar_new();
      trvvar_borrowed field(object->*Field);
      trvvar_set(*copy, field.handle());
      return copy;
    });
    add_setter(name, [](T* object, trvvar_shared& value) {
      trvvar_set(object->*Field, value);
      value.reset();
    });
  }

  // Completes the registration: the default creator, the factory, the metadata, and the
  // deferred callbacks.
  static void script_register_internal() {
    if (!create_new) {
      trv_log(TRV_LOG_CATEGORY_16, "internal type '", script_name,
              "' does not implement a 'create_new' function.\n");
      create_new = [] { return trvptr_strong<T>::from_new(new T()); };
    }
    trv_global_instance* instance = trv_get_global_instance();
    instance->object_factories->try_emplace(script_name, []() -> trvptr_strong<trvobject_base> {
      if (create_new) return create_new();
      return trvptr_strong<T>::from_new(new T());
    });
    auto metadata = std::make_shared<trvobject_metadata>();
    // Variable names go in member-list order; a definition whose name was registered again
    // later has none.
    std::vector<std::string_view> names(member_list.size());
    for (const auto& [member_name, index] : member_table) {
      names[static_cast<size_t>(index)] = member_name;
    }
    for (size_t index = 0; index < names.size(); ++index) {
      if (names[index].empty()) continue;
      if (trv_function_def* def = member_list[index]->function_def()) {
        metadata->methods[names[index]] = def;
      } else {
        metadata->variable_names.push_back(names[index]);
      }
    }
    (*instance->object_metadata)[script_name] = std::move(metadata);
    for (auto& callback : deferred_callbacks) callback();
    deferred_callbacks.clear();
  }

  // Registers the class (once) and adds its constructor function under the short name, unless
  // the namespace already has that name. T supplies constructor_max_params and
  // constructor_parameter_docs.
  static void add_class_constructor(trv_namespace& ns, trv_native_callback callback,
                                    uint32_t /*unused_a*/, uint32_t /*unused_b*/,
                                    std::string_view documentation) {
    T::script_register();
    trv_log(TRV_LOG_DEBUG, "class: ", script_name);
    constexpr std::string_view short_name = trv_short_class_name(script_name);
    if (ns.functions.contains(short_name)) return;
    trv_function_def* def = ::add_function(ns, short_name, std::move(callback), 0,
                                           T::constructor_max_params, documentation);
    for (std::string_view doc : T::constructor_parameter_docs)
      def->parameter_documentation.push_back(doc);
    def->class_name = script_name;
  }

 private:
  static constexpr auto class_name_storage = Name;
  static constexpr const char* class_name_text = class_name_storage.text;

  static trvobject_member_def_base& member_at(int64_t index) {
    if (index < 0 || static_cast<size_t>(index) >= member_list.size()) {
      throw std::out_of_range("member index out of range");
    }
    return *member_list[static_cast<size_t>(index)];
  }

  static void append_member(std::string_view name, trvptr_strong<trvobject_member_def_base> held,
                            trvobject_member_def* member) {
    member->member_index = static_cast<int64_t>(member_list.size());
    member_list.push_back(std::move(held));
    member_table[name] = member->member_index;
  }

  static trvobject_variable_def& variable_def(std::string_view name) {
    auto found = member_table.find(name);
    if (found != member_table.end()) {
      if (auto* existing = dynamic_cast<trvobject_variable_def*>(
              member_list[static_cast<size_t>(found->second)].get())) {
        return *existing;
      }
    }
    auto* member = new trvobject_variable_def();
    append_member(name, trvptr_strong<trvobject_member_def_base>::from(member), member);
    return *member;
  }
};
