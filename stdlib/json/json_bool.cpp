#include "stdlib/json/json_bool.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "values/binary_form.h"
#include "values/convert.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"

namespace {

// The object of an object variable when it is a json.bool, else null.
trv_std_json_bool* as_json_bool(const trvvar& v) {
  if (v.type != TRVVAR_OBJECT) return nullptr;
  return trv_object_cast<trv_std_json_bool>(v.payload.object_payload->object.get());
}

trvvar_shared construct(trv_vm_context& /*context*/, std::vector<trvvar_shared>& args) {
  trvptr_strong<trv_std_json_bool> created =
      trvptr_strong<trv_std_json_bool>::from_new(new trv_std_json_bool());
  if (!args.empty()) created->assign(args[0]);
  return trvvar_new_object(std::move(created));
}

// Takes the json.bool that `value` wraps out of it when `value` holds the last pointer to it,
// leaving `value` none; else an empty pointer, and `value` as it was.
trvptr_strong<trvobject_base> take_last_wrapped(trvvar& value) {
  if ((value.flags & TRVVAR_FLAG_TEARDOWN) != 0 || as_json_bool(value) == nullptr) return {};
  trvptr_strong<trvobject_base>& held = value.payload.object_payload->object;
  if (held.control_block()->strong_count != 1) return {};
  trvptr_strong<trvobject_base> taken = std::move(held);
  trvvar_set_type(value, TRVVAR_NONE);
  return taken;
}

}  // namespace

// A json.bool can wrap another one itself rather than a copy (assigned from a value that shares
// on assignment), and that one a third: destroying each would destroy the next inside it, one
// level of stack per link. The links go here one after the other instead.
trv_std_json_bool::~trv_std_json_bool() {
  trvptr_strong<trvobject_base> next = take_last_wrapped(value);
  while (next) {
    trvptr_strong<trvobject_base> after =
        take_last_wrapped(static_cast<trv_std_json_bool&>(*next).value);
    next = std::move(after);
  }
}

void trv_std_json_bool::script_register() {
  if (registered) return;
  registered = true;
  add_member<&trv_std_json_bool::value>("value", "The wrapped value.");
  // Written through assign, which keeps json.bools from wrapping one another in a ring.
  add_setter("value", [](trv_std_json_bool* self, trvvar_shared& source) {
    self->assign(source);
    source.reset();
  });
  script_register_internal();
}

void trv_std_json_bool::assign(trvvar_shared& source) {
  if (source && trvvar_is_member(source->type)) source = trvvar_deref(source.get());
  if (!source) return;
  trv_std_json_bool* next =
      (source->flags & TRVVAR_FLAG_SHARE_ON_ASSIGN) != 0 ? as_json_bool(*source) : nullptr;
  if (next != nullptr && closes_ring(next)) {
    // Assigned from a handle that does not share, it is copied as any assignment copies it.
    trvvar_shared unshared = trvvar_new_object(trvptr_strong<trvobject_base>::from(next));
    trvvar_set(value, unshared);
    return;
  }
  if (next != nullptr) next->wrapped_ = true;
  trvvar_set(value, source);
}

bool trv_std_json_bool::closes_ring(const trv_std_json_bool* next) const {
  if (next == this) return true;
  if (!wrapped_) return false;
  for (const trv_std_json_bool* link = next; link != nullptr; link = as_json_bool(link->value)) {
    if (link == this) return true;
  }
  return false;
}

void populate_json_bool_namespace(trv_namespace& ns) {
  trv_std_json_bool::add_class_constructor(
      ns, construct, 0, 0,
      "Create a JSON boolean. The wrapped value is written as true/false "
      "instead of 1/0 when the JSON is converted to a string.");
}

void trv_std_json_bool::write_json(nlohmann::json& out) const { out = get(); }

trvptr_strong<trvobject_base> trv_std_json_bool::self_pointer() {
  trvptr_strong<trv_std_json_bool> copy =
      trvptr_strong<trv_std_json_bool>::from_new(new trv_std_json_bool());
  if (as_json_bool(value) != nullptr) {
    // A wrapped json.bool is copied as the boolean it gives this one, false (an object value
    // has no truth of its own), all the copy prints as: wrapping a json.bool copies it, so
    // copying whole chains recursed once per level, and so did their release.
    trvvar_set_int(copy->value, 0);
  } else {
    trvvar_borrowed source(value);
    trvvar_set(copy->value, source.handle());
  }
  return copy;
}

bool trv_std_json_bool::to_binary(std::vector<uint8_t>& writer) {
  trv_binary_writer out(writer);
  out.advance(trv_json_bool_put_record(out.room(8), get()));
  return true;
}

bool trv_std_json_bool::from_binary(trv_binary_reader& reader) {
  if (!check_section(reader, trv_json_bool_section)) {
    trv_runtime_error("invalid section.");
    return false;
  }
  trvvar_set_int(value, trv_read_varint(reader) != 0 ? 1 : 0);
  return true;
}

void trv_json_bool_store(trvvar& target, bool value) {
  trvptr_strong<trv_std_json_bool> created =
      trvptr_strong<trv_std_json_bool>::from_new(new trv_std_json_bool());
  trvvar_set_int(created->value, value ? 1 : 0);
  trvvar_set_type(target, TRVVAR_OBJECT);
  target.payload.object_payload->object = std::move(created);
}

// Arithmetic with a float gives a float, with an integer an integer (wrapping like the
// runtime's integers rather than overflowing); other operands are not handled.
namespace {

enum class arithmetic { add, sub, mul, div };

template <class Number>
Number apply(arithmetic op, Number left, Number right) {
  switch (op) {
    case arithmetic::add:
      return left + right;
    case arithmetic::sub:
      return left - right;
    case arithmetic::mul:
      return left * right;
    case arithmetic::div:
      return left / right;
  }
  return left;
}

// The boolean's 1 or 0 and a number, the boolean on the left, or on the right for a reflected
// operator (the number's side has no operator of its own: `7 - b`). Integers wrap; an integer
// division by zero is left unhandled, and so is any other operand.
bool combine(bool value, arithmetic op, bool reflected, const trvvar& other,
             trvvar_shared& result) {
  if (other.type == TRVVAR_FLOAT) {
    const double b = value ? 1.0 : 0.0;
    const double n = other.payload.float_value;
    trvvar_store_float(result, reflected ? apply(op, n, b) : apply(op, b, n));
    return true;
  }
  if (other.type != TRVVAR_INT) return false;
  const uint64_t b = value ? 1 : 0;
  const auto n = static_cast<uint64_t>(other.payload.int_value);
  const uint64_t left = reflected ? n : b;
  const uint64_t right = reflected ? b : n;
  if (op == arithmetic::div) {
    // Signed: the boolean side is 0 or 1, so the quotient cannot overflow.
    if (right == 0) return false;
    trvvar_store_int(result, static_cast<int64_t>(left) / static_cast<int64_t>(right));
    return true;
  }
  trvvar_store_int(result, static_cast<int64_t>(apply(op, left, right)));
  return true;
}

}  // namespace

bool trv_std_json_bool::op_add(trvvar& other, trvvar_shared& result) {
  return combine(get(), arithmetic::add, false, other, result);
}
bool trv_std_json_bool::op_radd(trvvar& other, trvvar_shared& result) {
  return combine(get(), arithmetic::add, true, other, result);
}
bool trv_std_json_bool::op_sub(trvvar& other, trvvar_shared& result) {
  return combine(get(), arithmetic::sub, false, other, result);
}
bool trv_std_json_bool::op_rsub(trvvar& other, trvvar_shared& result) {
  return combine(get(), arithmetic::sub, true, other, result);
}
bool trv_std_json_bool::op_mul(trvvar& other, trvvar_shared& result) {
  return combine(get(), arithmetic::mul, false, other, result);
}
bool trv_std_json_bool::op_rmul(trvvar& other, trvvar_shared& result) {
  return combine(get(), arithmetic::mul, true, other, result);
}
bool trv_std_json_bool::op_div(trvvar& other, trvvar_shared& result) {
  return combine(get(), arithmetic::div, false, other, result);
}
bool trv_std_json_bool::op_rdiv(trvvar& other, trvvar_shared& result) {
  return combine(get(), arithmetic::div, true, other, result);
}

bool trv_std_json_bool::op_equal(trvvar& other) {
  if (other.type == TRVVAR_INT) return (other.payload.int_value != 0) == get();
  if (other.type != TRVVAR_OBJECT) return false;
  if (!other.payload.object_payload->object) {
    trvvar_set_type(other, TRVVAR_NONE);
    return false;
  }
  const trv_std_json_bool* that = as_json_bool(other);
  return that != nullptr && that->get() == get();
}

namespace {

// The other operand as a number for the ordering hooks; false for other types.
bool ordering_operand(const trvvar& other, double& number) {
  if (other.type == TRVVAR_FLOAT) {
    number = other.payload.float_value;
  } else if (other.type == TRVVAR_INT) {
    number = static_cast<double>(other.payload.int_value);
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool trv_std_json_bool::op_less(trvvar& other, bool or_equal) {
  double number = 0;
  if (!ordering_operand(other, number)) return false;
  const double b = get() ? 1.0 : 0.0;
  return b < number || (or_equal && b == number);
}

bool trv_std_json_bool::op_greater(trvvar& other, bool or_equal) {
  double number = 0;
  if (!ordering_operand(other, number)) return false;
  const double b = get() ? 1.0 : 0.0;
  return b > number || (or_equal && b == number);
}
