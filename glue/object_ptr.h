#pragma once

// Intrusive object pointers.
//
// A managed object points to a small control block holding a strong count, a weak count and
// the object's address. Strong pointers keep the object; weak pointers only observe it and
// read null once it is gone. A pointer is one word: the block's address. An empty pointer
// never holds null, it holds the static null block, whose strong count 0xFFFFFFFF marks it as
// counting nothing, so no count of it ever changes and no pointer needs a null test.
//
// Counts are plain integers: a managed object and its pointers belong to one thread at a time
// (the thread that owns the runtime, or the task that holds them).

#include <cstdint>
#include <type_traits>
#include <typeinfo>
#include <utility>

class trvptr_base_internal;

inline constexpr uint32_t trv_uncounted = 0xFFFFFFFFu;
inline constexpr uint8_t trv_heap_tag = 255;

struct trvptr_control_block {
  trvptr_base_internal* object = nullptr;
  uint32_t strong_count = 0;
  uint32_t weak_count = 0;
  uint8_t alive = 1;
  uint8_t pool_tag = trv_heap_tag;  // index in its pool chunk; 255 for a heap block
};
static_assert(sizeof(trvptr_control_block) == 24,
              "the control block layout is shared with the host");

// Never freed, never changed.
inline trvptr_control_block trv_null_control_block{nullptr, trv_uncounted, 0, 1, trv_heap_tag};

// Tags are computed once per type from the platform's type-information hash; equal types give
// equal tags within a process.
template <class T>
uint64_t trv_type_tag() {
  static const uint64_t tag = typeid(T).hash_code();
  return tag;
}

// Storage shared by every managed object, as a virtual base.
struct trvptr_storage {
  trvptr_control_block* control_block = nullptr;
  uint64_t type_tag = 0;
};

// Heap or pool: where control blocks come from and go back to.
trvptr_control_block* trv_control_block_allocate(bool pooled_allowed);
void trv_control_block_free(trvptr_control_block* block);

class trvptr_base_internal : public virtual trvptr_storage {
 public:
  trvptr_base_internal() = default;
  trvptr_base_internal(const trvptr_base_internal&) : trvptr_storage() {}
  trvptr_base_internal& operator=(const trvptr_base_internal&) { return *this; }

  // Slot order is shared with the host: destructor, release, detach, pooled-block query.
  virtual ~trvptr_base_internal() { detach_from_block(); }
  // Called when the last strong pointer goes. Pooled classes recycle instead of deleting.
  virtual void release() { delete this; }
  virtual void detach() { detach_from_block(); }
  virtual bool pooled_control_block_allowed() const { return true; }

  // The object's control block, created on first use.
  trvptr_control_block* get_control_block() {
    return control_block != nullptr ? control_block : attach_new_control_block();
  }
  // Gives an object that has no control block yet the block its maker allocated for it.
  void attach_control_block(trvptr_control_block* block) noexcept;

 private:
  trvptr_control_block* attach_new_control_block();
  void detach_from_block() noexcept;
};

template <class T>
struct trvptr_type_tag : public virtual trvptr_storage {
  trvptr_type_tag() { type_tag = trv_type_tag<T>(); }
  trvptr_type_tag(const trvptr_type_tag&) : trvptr_storage() { type_tag = trv_type_tag<T>(); }
  trvptr_type_tag& operator=(const trvptr_type_tag&) { return *this; }
};

template <class T>
class trvptr_base : public trvptr_base_internal, public trvptr_type_tag<T> {};

namespace trvptr_detail {

// Counts a new strong reference when the block has a live object.
inline trvptr_control_block* acquire_strong(trvptr_control_block* b) noexcept {
  if (b->object != nullptr && b->alive && b->strong_count < trv_uncounted) {
    ++b->strong_count;
    return b;
  }
  return &trv_null_control_block;
}

// Counts a new weak reference; the object itself need not exist any more.
inline trvptr_control_block* acquire_weak(trvptr_control_block* b) noexcept {
  if (b->alive && b->strong_count < trv_uncounted) {
    ++b->weak_count;
    return b;
  }
  return &trv_null_control_block;
}

void release_strong_slow(trvptr_control_block* b);
void release_weak_slow(trvptr_control_block* b);

inline void release_strong(trvptr_control_block* b) {
  if (b->strong_count == trv_uncounted) return;
  if (--b->strong_count > 0) return;
  release_strong_slow(b);
}

inline void release_weak(trvptr_control_block* b) {
  if (b->strong_count == trv_uncounted) return;
  // The new count is tested as computed: read back together with the strong count it would be
  // one wide load over a narrow store just made, which waits for the store to complete.
  const uint32_t weak = --b->weak_count;
  if (weak == 0 && b->strong_count == 0 && b->object == nullptr) release_weak_slow(b);
}

}  // namespace trvptr_detail

template <class T>
class trvptr_weak;

// A strong object pointer. T may be incomplete wherever the pointee is not read.
template <class T>
class trvptr_strong {
 public:
  trvptr_strong() noexcept = default;
  trvptr_strong(const trvptr_strong& other) noexcept
      : block_(trvptr_detail::acquire_strong(other.block_)) {}
  trvptr_strong(trvptr_strong&& other) noexcept
      : block_(std::exchange(other.block_, &trv_null_control_block)) {}
  template <class U>
  trvptr_strong(const trvptr_strong<U>& other) noexcept
      : block_(trvptr_detail::acquire_strong(other.control_block())) {
    static_assert(std::is_convertible_v<U*, T*>);
  }
  template <class U>
  trvptr_strong(trvptr_strong<U>&& other) noexcept : block_(other.take_block()) {
    static_assert(std::is_convertible_v<U*, T*>);
  }
  ~trvptr_strong() { trvptr_detail::release_strong(block_); }

  trvptr_strong& operator=(trvptr_strong other) noexcept {
    swap(other);
    return *this;
  }

  // A strong pointer to a managed object; empty when the object can no longer be referenced.
  static trvptr_strong from(T* object) {
    trvptr_strong p;
    if (object != nullptr) p.block_ = trvptr_detail::acquire_strong(object->get_control_block());
    return p;
  }

  // A strong pointer to an object just made with new, which nothing else holds yet: when its
  // control block cannot be made, the object is deleted before the failure goes on, where
  // `from` would leave it to no one.
  static trvptr_strong from_new(T* made) {
    try {
      return from(made);
    } catch (...) {
      delete made;
      throw;
    }
  }

  // Adopts a block whose strong count already includes this pointer.
  static trvptr_strong adopt(trvptr_control_block* block) noexcept {
    trvptr_strong p;
    p.block_ = block;
    return p;
  }

  T* get() const noexcept { return static_cast<T*>(block_->object); }
  T* operator->() const noexcept { return get(); }
  T& operator*() const noexcept { return *get(); }
  explicit operator bool() const noexcept { return block_->object != nullptr; }

  void reset() noexcept {
    trvptr_control_block* b = std::exchange(block_, &trv_null_control_block);
    trvptr_detail::release_strong(b);
  }
  void swap(trvptr_strong& other) noexcept { std::swap(block_, other.block_); }

  trvptr_control_block* control_block() const noexcept { return block_; }
  trvptr_control_block* take_block() noexcept {
    return std::exchange(block_, &trv_null_control_block);
  }

 private:
  trvptr_control_block* block_ = &trv_null_control_block;
};

// A weak object pointer: reads null once the object is gone.
template <class T>
class trvptr_weak {
 public:
  trvptr_weak() noexcept = default;
  trvptr_weak(const trvptr_weak& other) noexcept
      : block_(trvptr_detail::acquire_weak(other.block_)) {}
  trvptr_weak(trvptr_weak&& other) noexcept
      : block_(std::exchange(other.block_, &trv_null_control_block)) {}
  template <class U>
  trvptr_weak(const trvptr_strong<U>& strong) noexcept
      : block_(trvptr_detail::acquire_weak(strong.control_block())) {
    static_assert(std::is_convertible_v<U*, T*>);
  }
  ~trvptr_weak() { trvptr_detail::release_weak(block_); }

  trvptr_weak& operator=(const trvptr_weak& other) noexcept {
    // Both on one block already (a frame's bound object most often is the empty one): no
    // count to move.
    if (block_ != other.block_) {
      trvptr_weak copy(other);
      std::swap(block_, copy.block_);
    }
    return *this;
  }
  trvptr_weak& operator=(trvptr_weak&& other) noexcept {
    trvptr_weak taken(std::move(other));
    std::swap(block_, taken.block_);
    return *this;
  }

  // Adopts a block whose weak count already includes this pointer.
  static trvptr_weak adopt(trvptr_control_block* block) noexcept {
    trvptr_weak p;
    p.block_ = block;
    return p;
  }

  static trvptr_weak from(T* object) {
    trvptr_weak p;
    if (object != nullptr) p.block_ = trvptr_detail::acquire_weak(object->get_control_block());
    return p;
  }

  T* get() const noexcept { return static_cast<T*>(block_->object); }
  trvptr_strong<T> lock() const noexcept {
    return trvptr_strong<T>::adopt(trvptr_detail::acquire_strong(block_));
  }
  bool expired() const noexcept { return block_->object == nullptr; }

  void reset() noexcept {
    trvptr_control_block* b = std::exchange(block_, &trv_null_control_block);
    trvptr_detail::release_weak(b);
  }
  trvptr_control_block* control_block() const noexcept { return block_; }

 private:
  trvptr_control_block* block_ = &trv_null_control_block;
};

// An object whose life its owner controls (a definition a namespace owns, a definition
// embedded in another object) holds one strong count of its own while the owner keeps it, so
// that pointer traffic (lock a weak pointer, drop the strong one) never reaches its release.
// The owner unpins it before destroying it: the object detaches first, then the held count
// goes, which frees the block once no weak pointer counts it.
inline void trv_pin(trvptr_base_internal& object) {
  trvptr_detail::acquire_strong(object.get_control_block());
}

inline void trv_unpin(trvptr_base_internal& object) {
  trvptr_control_block* block = object.control_block;
  if (block == nullptr) return;
  object.detach();
  trvptr_detail::release_strong(block);
}
