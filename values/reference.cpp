#include "values/reference.h"

#include "values/assign.h"
#include "values/convert.h"
#include "values/object.h"
#include "values/payloads.h"
#include "values/report.h"

void trvvar_make_ref(trvvar& destination, trvvar* source) {
  if (source == nullptr) {
    trvvar_set_type(destination, TRVVAR_NONE);
    return;
  }
  if ((source->flags2 & TRVVAR_FLAG2_VALUE_ONLY) != 0 && !trvvar_is_member(destination.type)) {
    trvvar_shared value = trvvar_deref(source);
    trvvar_set(destination, value);
    return;
  }
  ++source->refcount;  // counted before the destination's old payload is let go
  trvvar_set_type(destination, TRVVAR_REF);
  destination.payload.ref = source;
}

namespace {

trvvar* next_link(trvvar* v) { return v->payload.ref; }

// Floyd's two cursors over a chain of references: true when the chain loops.
bool chain_loops(trvvar* start) {
  trvvar* slow = start;
  trvvar* fast = start;
  while (true) {
    fast = next_link(fast);
    if (fast == nullptr || fast->type != TRVVAR_REF) return false;
    fast = next_link(fast);
    if (fast == nullptr || fast->type != TRVVAR_REF) return false;
    slow = next_link(slow);
    if (slow == fast) return true;
  }
}

// The first record of a chain known not to loop that is not a reference; null for a chain
// that ends in an empty link.
trvvar* end_of_chain(trvvar* v) {
  while (v->type == TRVVAR_REF) {
    v = next_link(v);
    if (v == nullptr) return nullptr;
  }
  return v;
}

// A member fetched through a member value may itself lead back through the same member (a
// container entry referring to a member of that container); past this many such fetches
// inside one another the chain is taken for a cycle, before it exhausts the stack.
constexpr int max_nested_fetches = 256;
thread_local int nested_fetches = 0;

trvvar_shared deref_fetched(const trvvar_shared& member) {
  if (nested_fetches >= max_nested_fetches) {
    trv_runtime_warning("Circular reference detected in deref().");
    return trvvar_new();
  }
  ++nested_fetches;
  struct leave {
    ~leave() { --nested_fetches; }
  } on_leave;
  return trvvar_deref(member.get());
}

trvvar_shared deref_member_literal(trvvar* v) {
  trvvar_member_literal_payload* p = v->payload.member_literal_payload;
  trvobject_base* object = p->object.get();
  if (object == nullptr) return trv_invalid_object_error(p->name);
  trvvar_shared member = object->get_named_member(p->name);
  return deref_fetched(member);
}

trvvar_shared deref_member_index(trvvar* v) {
  trvvar_member_index_payload* p = v->payload.member_index_payload;
  trvobject_base* object = p->object.get();
  if (object == nullptr) return trv_invalid_object_error(p->index);
  if (p->direct_access) {
    trvvar_shared result;
    object->get_member_value(result, p->index);
    return result;
  }
  trvvar_shared member = object->get_index_member(p->index);
  return deref_fetched(member);
}

trvvar_shared deref_member_var(trvvar* v) {
  trvvar_member_var_payload* p = v->payload.member_var_payload;
  trvobject_base* object = p->object.get();
  if (object == nullptr) {
    const trvvar* key = p->key.get();
    const bool named = key != nullptr && key->type != TRVVAR_NONE;
    return trv_invalid_object_error(named ? trvvar_string_value(*key) : std::string());
  }
  trvvar_shared key = p->key;
  trvvar_shared member = object->get_member(key);
  return deref_fetched(member);
}

}  // namespace

trvvar* trvvar_chain_end(trvvar* v) { return chain_loops(v) ? nullptr : end_of_chain(v); }

trvvar_shared trvvar_deref(trvvar* v) {
  if (v == nullptr) return {};
  switch (v->type) {
    case TRVVAR_REF: {
      trvvar* target = v->payload.ref;
      if (target != nullptr && target->type < TRVVAR_OBJECT_MEMBER_LITERAL) {
        return trvvar_shared::share(target);
      }
      if (chain_loops(v)) {
        trv_runtime_warning("Circular reference detected in deref().");
        return trvvar_new();
      }
      trvvar* end = end_of_chain(v);
      if (end == nullptr) return trvvar_shared::share(v);
      if (trvvar_is_member(end->type)) return trvvar_deref(end);
      return trvvar_shared::share(end);
    }
    case TRVVAR_OBJECT_MEMBER_LITERAL:
      return deref_member_literal(v);
    case TRVVAR_OBJECT_MEMBER_INDEX:
      return deref_member_index(v);
    case TRVVAR_OBJECT_MEMBER_VAR:
      return deref_member_var(v);
    default:
      return trvvar_shared::share(v);
  }
}
