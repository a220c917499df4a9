#include "values/var.h"

#include <cstdlib>
#include <new>

#include "glue/log.h"
#include "glue/thread_local.h"
#include "values/object.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/pooled.h"
#include "values/report.h"
#include "values/runtime.h"

namespace {

// The element types of the value layer's pools, for the ring consumer and the runtime's
// teardown; the classes above register their own.
#define TRV_VALUE_POOL(NAME, ELEMENT, CHECKED) \
  const trv_pool_kind_registration<ELEMENT> NAME##_pool;
#define TRV_CLASS_POOL(NAME, ELEMENT, CHECKED)
#include "values/pools.def"
#undef TRV_CLASS_POOL
#undef TRV_VALUE_POOL

template <class P>
P* new_payload() {
  P* p = trv_pooled_new<P>();
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

template <class P>
void free_payload(P* p) {
  trv_pooled_release(p);
}

void free_record(trvvar* v) { trv_pooled_release(v); }

// Releasing a record can release others (a reference's target, a container's entries). Those
// are queued while a release is under way and handled by the outermost call, so a long chain
// costs no stack. The queue is plain data so it stays usable while thread-local objects are
// destroyed at thread exit; its buffer is freed by a guard, after which releases recurse.
struct release_queue {
  trvvar** items;
  uint32_t size;
  uint32_t capacity;
  bool draining;
  bool retired;
};
thread_local release_queue queue{};

struct release_queue_guard {
  ~release_queue_guard() {
    std::free(queue.items);
    queue = release_queue{};
    queue.retired = true;
  }
};
thread_local release_queue_guard queue_guard;

void push_pending(trvvar* v) {
  if (queue.size == queue.capacity) {
    (void)&queue_guard;  // registers the buffer's clean-up for this thread
    uint32_t capacity = queue.capacity == 0 ? 64 : queue.capacity * 2;
    void* grown = std::realloc(queue.items, capacity * sizeof(trvvar*));
    if (grown == nullptr) throw std::bad_alloc();
    queue.items = static_cast<trvvar**>(grown);
    queue.capacity = capacity;
  }
  queue.items[queue.size++] = v;
}

void release_now(trvvar* v) {
  if (v->refcount < 0) {
    trv_log(TRV_LOG_ERROR, "refcount < 0 !!!");
    return;
  }
  if (v->type >= TRVVAR_STRING) {
    trvvar_set_type(*v, TRVVAR_NONE);
  } else {
    trvvar_clear_plain(*v);
  }
  free_record(v);
}

// An object ends at once under the teardown flag unless a native call on it is still running
// on another thread; then its owner ends it later.
void teardown_object(trvptr_strong<trvobject_base>& held) {
  trvobject_base* object = held.get();
  if (object == nullptr) return;
  if (object->use_counter != 0) {
    trv_thread_local& tl = trv_get_thread_local();
    if (trv_runtime* rt = tl.runtime_state) rt->deferred_destroy.push_back(held);
    return;
  }
  trvvar_end_object(*object);
}

// Drops the payload pointers of a record; `kept` receives it when the new type reuses it.
template <class P>
void finish_payload(P* p, bool reuse, void*& kept) {
  if (reuse) {
    kept = p;
  } else {
    free_payload(p);
  }
}

// Takes the payload out of the record, leaving it a valid none, then lets the old payload go:
// whatever the release runs sees a consistent record. `kept` receives a payload record that
// the new type reuses.
void release_payload(trvvar& v, trvvar_type new_type, void*& kept) {
  const trvvar_type old_type = v.type;
  const bool teardown = (v.flags & TRVVAR_FLAG_TEARDOWN) != 0;
  const bool same = new_type == old_type;

  if (old_type == TRVVAR_STRING || old_type == TRVVAR_BINARY || old_type == TRVVAR_JSON) {
    trvptr_strong<trvobject_base> object = std::move(v.payload.object);
    v.payload.object.~trvptr_strong();
    v.payload.raw = 0;
    v.type = TRVVAR_NONE;
    if (old_type == TRVVAR_JSON && teardown && object) trv_json_teardown(*object);
    return;
  }

  trvvar_payload old;
  old.raw = v.payload.raw;
  v.payload.raw = 0;
  v.type = TRVVAR_NONE;

  switch (old_type) {
#define TRV_PAYLOAD(TYPE, FIELD, RECORD, REUSED) \
  case TYPE:                                     \
    old.FIELD->clear(teardown);                  \
    if (REUSED) {                                \
      finish_payload(old.FIELD, same, kept);     \
    } else {                                     \
      free_payload(old.FIELD);                   \
    }                                            \
    break;
#include "values/payloads.def"
#undef TRV_PAYLOAD
    case TRVVAR_REF:
      trvvar_shared::adopt(old.ref).reset();
      break;
    default:
      break;
  }
}

template <class P>
P* reuse_or_new(void* kept) {
  return kept != nullptr ? static_cast<P*>(kept) : new_payload<P>();
}

void build_payload(trvvar& v, trvvar_type type, void* kept) {
  switch (type) {
    case TRVVAR_STRING:
      new (&v.payload.object) trvptr_strong<trvobject_base>(trv_new_string_object());
      break;
    case TRVVAR_BINARY:
      new (&v.payload.object) trvptr_strong<trvobject_base>(trv_new_buffer_object());
      break;
    case TRVVAR_JSON:
      new (&v.payload.object) trvptr_strong<trvobject_base>(trv_new_json_object());
      break;
#define TRV_PAYLOAD(TYPE, FIELD, RECORD, REUSED)                                   \
  case TYPE:                                                                       \
    v.payload.FIELD = REUSED ? reuse_or_new<RECORD>(kept) : new_payload<RECORD>(); \
    break;
#include "values/payloads.def"
#undef TRV_PAYLOAD
    default:
      break;  // primitives, markers and a reference start with payload 0
  }
}

}  // namespace

void trvvar_end_object(trvobject_base& object) {
  if (trv_empty_string_object(object) || trv_empty_buffer_object(object) ||
      trv_empty_json_object(object)) {
    return;
  }
  object.detach();
  object.release();
}

// ---- each payload's clean-up ----

void trvvar_object_payload::clear(bool teardown) {
  if (teardown) teardown_object(object);
  object.reset();
}

void trvvar_class_payload::clear(bool teardown) {
  // Under teardown the instance goes at once; detaching first keeps the release of the last
  // pointer below from releasing it a second time.
  if (trvptr_base_internal* held = instance.control_block()->object; teardown && held) {
    held->detach();
    held->release();
  }
  instance.reset();
}

void trvvar_class_def_payload::clear(bool) { definition.reset(); }

void trvvar_function_payload::clear(bool) {
  definition.reset();
  scope.reset();
  bound_object.reset();
  captures.reset();
}

void trvvar_ext_function_payload::clear(bool) {
  definition.reset();
  bound_object.reset();
}

void trvvar_member_literal_payload::clear(bool) { object.reset(); }

void trvvar_member_index_payload::clear(bool) { object.reset(); }

void trvvar_member_var_payload::clear(bool) { object.reset(); }

trvvar* trvvar_allocate() { return trvvar_allocate(trv_owned_runtime(trv_get_thread_local())); }

trvvar* trvvar_allocate(trv_runtime* owned) {
  trvvar* v = trv_pooled_new<trvvar>(owned);
  if (v == nullptr) throw std::bad_alloc();
  // A recycled record is none with payload 0 but keeps the count and flags it was released with.
  v->refcount = 0;
  v->flags = 0;
  v->flags2 = 0;
  return v;
}

void trvvar_release(trvvar* v) {
  // A record without a payload of its own cannot release anything else.
  if (v->type < TRVVAR_STRING || queue.retired) {
    release_now(v);
    return;
  }
  if (queue.draining) {
    push_pending(v);
    return;
  }
  queue.draining = true;
  struct drain_end {
    ~drain_end() { queue.draining = false; }
  } end;
  release_now(v);
  while (queue.size > 0) release_now(queue.items[--queue.size]);
}

bool trvvar_release_unshared_plain(trvvar_shared& value, trv_runtime& owned) {
  trvvar* v = value.get();
  if (v == nullptr || !trvvar_unshared_plain(*v) || v->pool_tag == trv_heap_tag) {
    return false;
  }
  // What the general release leaves in a record: count 0, none, payload and flags2 0.
  v->refcount = 0;
  trvvar_clear_plain(*v);
  trv_pool_free(owned.pools[TRV_POOL_VARIABLES].pool, value.detach());
  return true;
}

trvvar_static::~trvvar_static() { trvvar_set_type(*this, TRVVAR_NONE); }

trvvar_shared trvvar_new() { return trvvar_new(trv_owned_runtime(trv_get_thread_local())); }

trvvar_shared trvvar_new(trv_runtime* owned) {
  trvvar* v = trvvar_allocate(owned);
  v->refcount = 1;
  return trvvar_shared::adopt(v);
}

trvvar_shared trvvar_new_carrying(trvvar_type type, trvptr_strong<trvobject_base>&& object,
                                  trv_runtime* owned) {
  trvvar_shared v = trvvar_new(owned);
  new (&v->payload.object) trvptr_strong<trvobject_base>(std::move(object));
  v->type = type;
  return v;
}

// A new record is a none without a payload, so a number needs no change of type first.
trvvar_shared trvvar_new_int(int64_t value) {
  trvvar_shared v = trvvar_new();
  v->type = TRVVAR_INT;
  v->payload.int_value = value;
  return v;
}

trvvar_shared trvvar_new_float(double value) {
  trvvar_shared v = trvvar_new();
  v->type = TRVVAR_FLOAT;
  v->payload.float_value = value;
  return v;
}

trvvar_shared trvvar_new_object(trvptr_strong<trvobject_base> object) {
  trvvar_shared v = trvvar_new();
  if (!object) return v;
  trvvar_set_type(*v, TRVVAR_OBJECT);
  v->payload.object_payload->object = std::move(object);
  return v;
}

void trvvar_set_type(trvvar& v, trvvar_type type) {
  void* kept = nullptr;
  if (v.type >= TRVVAR_STRING) release_payload(v, type, kept);
  // The release may have run code (a destructor) that stored a value into this very record;
  // that value goes as well instead of being overwritten with what it holds.
  while (v.type >= TRVVAR_STRING) {
    void* not_kept = nullptr;
    release_payload(v, TRVVAR_NONE, not_kept);
  }
  v.payload.raw = 0;
  v.flags2 = 0;
  build_payload(v, type, kept);
  v.type = type;
}

void trvvar_set_function(trvvar& v, const trvptr_weak<trv_program_block>& definition,
                         const trvptr_weak<trv_task>& scope) {
  trvvar_set_type(v, TRVVAR_FUNCTION);
  v.payload.function_payload->definition = definition;
  v.payload.function_payload->scope = scope;
}

void trvvar_set_ext_function(trvvar& v, const trvptr_weak<trv_function_def>& definition,
                             const trvptr_strong<trvobject_base>& bound_object) {
  trvvar_set_type(v, TRVVAR_EXT_FUNCTION);
  v.payload.ext_function_payload->definition = definition;
  v.payload.ext_function_payload->bound_object = bound_object;
}

namespace {

// The runtime a new record for a primitive result would come from; no lookup when the target's
// record is reused.
trv_runtime* runtime_for_result(const trvvar_shared& target) {
  const bool reused = target && target->refcount == 1 && trvvar_is_primitive(target->type);
  return reused ? nullptr : trv_owned_runtime(trv_get_thread_local());
}

}  // namespace

void trvvar_store_int(trvvar_shared& target, int64_t value) {
  trvvar_store_int(target, value, runtime_for_result(target));
}

void trvvar_store_float(trvvar_shared& target, double value) {
  trvvar_store_float(target, value, runtime_for_result(target));
}

trvobject_base* trvvar_payload_object(const trvvar& v) {
  if (v.type < TRVVAR_STRING || v.type > TRVVAR_JSON) return nullptr;
  return v.payload.object.get();
}
