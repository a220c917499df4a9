#include "objects/script_class.h"

#include <deque>
#include <utility>

#include "glue/log.h"
#include "glue/thread_local.h"
#include "values/assign.h"
#include "values/object.h"
#include "values/payloads.h"
#include "values/report.h"
#include "values/runtime.h"

namespace {

// Instances whose release has begun and whose destructor has yet to start (or whose memory has
// yet to go). Releasing one instance can release others; they wait here instead of recursing,
// and go in the order they were released: an instance's members in member order, then the
// value its destructor returned.
thread_local std::deque<trv_class*> releasing;
thread_local bool draining = false;

class drain_guard {
 public:
  drain_guard() { draining = true; }
  ~drain_guard() { draining = false; }
  drain_guard(const drain_guard&) = delete;
  drain_guard& operator=(const drain_guard&) = delete;
};

}  // namespace

trv_class::trv_class(const trvptr_weak<trv_class_shape>& definition,
                     std::span<trvvar_shared> initial, const trvptr_weak<trv_task>& scope)
    : scope_(scope) {
  members_.reserve(initial.size());
  for (size_t i = 0; i < initial.size(); ++i) members_.push_back(trvvar_new());
  trv_class_shape* shape = definition.get();
  if (shape != nullptr) origin_ = shape->origin_object();
  trv_log(TRV_LOG_DEBUG, "trv_class created. ", static_cast<const void*>(this));
  if (shape == nullptr) {
    trv_runtime_error("Invalid class definition.");
  } else {
    definition_ = definition;
    for (size_t i = 0; i < initial.size(); ++i) members_[i].swap(initial[i]);
  }
  if (trv_runtime* rt = trv_owned_runtime(trv_get_thread_local())) {
    runtime_ = rt;
    rt->script_instances.insert(this);
  }
}

trv_class::~trv_class() {
  if (runtime_ != nullptr) runtime_->script_instances.erase(this);
  // Members go first and one at a time: releasing one can run code that reads the others.
  for (trvvar_shared& member : members_) member.reset();
  members_.clear();
  last_method_.reset();
  origin_.reset();
  scope_.reset();
  definition_.reset();
  self_hold_.reset();
}

trvptr_weak<trvobject_base> trv_class::bound_pointer() {
  return trvptr_weak<trvobject_base>::adopt(trvptr_detail::acquire_weak(get_control_block()));
}

trvvar_shared trv_class::bound_method(uint32_t index, const trvvar& entry) {
  if (last_method_ && last_method_->refcount == 1 && last_method_index_ == index &&
      binds(*last_method_, entry)) {
    return last_method_;
  }
  trvvar_shared method = trvvar_new();
  trvvar_set_type(*method, TRVVAR_FUNCTION);
  trvvar_function_payload* p = method->payload.function_payload;
  p->definition = entry.payload.function_payload->definition;
  p->scope = scope_;
  p->bound_object = bound_pointer();
  last_method_ = method;
  last_method_index_ = index;
  return method;
}

bool trv_class::binds(const trvvar& method, const trvvar& entry) {
  if (method.type != TRVVAR_FUNCTION || method.flags != 0 || method.flags2 != 0) return false;
  const trvvar_function_payload& p = *method.payload.function_payload;
  return p.definition.control_block() ==
             entry.payload.function_payload->definition.control_block() &&
         p.scope.control_block() == scope_.control_block() &&
         p.bound_object.control_block() == get_control_block() && !p.captures;
}

trvvar_shared trv_class::function_member(int64_t index) {
  trv_class_shape* shape = definition_.get();
  if (index < 0 || shape == nullptr) return out_of_range();
  std::vector<trvvar_shared>& table = shape->function_table();
  const size_t i = static_cast<size_t>(index);
  if (i >= table.size()) return out_of_range();
  trvvar_shared& entry = table[i];
  if (entry->type == TRVVAR_FUNCTION) return bound_method(static_cast<uint32_t>(i), *entry);
  trvvar_shared copy = trvvar_new();
  trvvar_set(*copy, entry);
  return copy;
}

trvvar_shared trv_class::out_of_range() { return trv_runtime_error("out of range!"); }

trvvar_shared trv_class::member_by_name(std::string_view name) {
  trv_class_shape* shape = definition_.get();
  if (shape == nullptr)
    return trv_runtime_error("invalid class def while trying to read member ", name);
  const std::optional<trv_class_member> member = shape->find_member(name);
  if (!member) {
    return trv_runtime_error("class '", shape->class_name(), "' does not have member ", name);
  }
  if (!member->is_method) {
    if (member->index < members_.size()) return members_[member->index];
  } else if (member->index < shape->function_table().size()) {
    trvvar_shared& entry = shape->function_table()[member->index];
    return entry->type == TRVVAR_FUNCTION ? bound_method(member->index, *entry) : entry;
  }
  return trv_runtime_error("out of range!");
}

void trv_class::release() {
  if (released_ != 0) return;
  released_ = 1;
  trv_log(TRV_LOG_DEBUG, "trv_class release. ", static_cast<const void*>(this));
  releasing.push_back(this);
  if (draining) return;
  drain_guard guard;
  while (!releasing.empty()) {
    trv_class* next = releasing.front();
    releasing.pop_front();
    next->finish_release();
  }
}

void trv_class::finish_release() {
  trv_class_shape* shape = definition_.get();
  if (shape == nullptr || !shape->has_destructor()) {
    destroy();
    return;
  }
  // The destructor may make and drop references to the instance; the count held here keeps
  // them from ever reaching zero until it has finished.
  self_hold_ = trvptr_strong<trv_class>::from(this);
  if (trv_class_start_destructor(*this, [this](trvvar_shared&) { destroy(); })) return;
  trv_log(TRV_LOG_ERROR,
          "Cannot create destructor task when global scope is already destroyed. Internal todo: "
          "handle releasing via signals instead of this...");
  destroy();
}

void trv_class::destroy() {
  trv_log(TRV_LOG_DEBUG, "trv_class destroyed. ", static_cast<const void*>(this));
  // Pointers held anywhere read the instance as gone before its members are released.
  detach();
  delete this;
}

trvvar_shared trv_class_new_value(trv_class* instance) {
  trvvar_shared value = trvvar_new();
  trvvar_set_type(*value, TRVVAR_CLASS);
  value->payload.class_payload->instance = trvptr_strong<trv_class>::from(instance);
  return value;
}
