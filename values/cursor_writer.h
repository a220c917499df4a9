#pragma once

// Appends to a contiguous buffer (a byte vector, a string) through a raw pointer. A caller
// makes room once for everything a value can need (room(n)), stores without further checks
// and hands the new end back (advance). Behind what was written the buffer holds scratch room
// until the writer is destroyed or settle() cuts it back; settle() also lets a caller append
// to the buffer directly, after which resume() continues behind those bytes.

#include <algorithm>
#include <cstddef>
#include <new>

template <class Buffer>
class trv_cursor_writer {
 public:
  using unit = typename Buffer::value_type;

  explicit trv_cursor_writer(Buffer& out) : out_(out) { resume(); }
  ~trv_cursor_writer() { settle(); }
  trv_cursor_writer(const trv_cursor_writer&) = delete;
  trv_cursor_writer& operator=(const trv_cursor_writer&) = delete;

  // Where the next unit goes, with room for at least n behind it.
  unit* room(size_t n) {
    if (static_cast<size_t>(end_ - cursor_) < n) grow(n);
    return cursor_;
  }
  // The units up to `to` (within the room made) are written.
  void advance(unit* to) { cursor_ = to; }

  size_t size() const { return static_cast<size_t>(cursor_ - out_.data()); }
  // Drops what was written after the first `size` units.
  void cut_back(size_t size) { cursor_ = out_.data() + size; }

  // Makes the capacity hold `more` units behind those written, so that writing them moves
  // nothing. Only a hint: when that much cannot be had, the buffer grows as it goes.
  void expect(size_t more) {
    settle();
    if (more <= out_.max_size() - out_.size()) {
      try {
        out_.reserve(out_.size() + more);
      } catch (const std::bad_alloc&) {
        // the room is made step by step instead
      }
    }
    resume();
  }

  // The buffer holding exactly what was written, for appending to it directly.
  Buffer& settle() {
    out_.resize(size());
    end_ = cursor_;
    return out_;
  }
  // Continues behind whatever the buffer holds now.
  void resume() {
    resumed_at_ = out_.size();
    cursor_ = out_.data() + resumed_at_;
    end_ = cursor_;
  }

 private:
  // A resize fills the room it adds, and settle() gives up the room not yet written, so the
  // room added at a time follows what was written since the writer last resumed: little for a
  // writer that often hands the buffer to other code, up to 64 KiB for one that does not.
  // Either way the filling stays a small part of what is written, and it touches memory just
  // before it is written. The buffer's own growth keeps the appends amortised.
  void grow(size_t n) {
    const size_t written = size();
    const size_t step = std::clamp<size_t>(written - resumed_at_, 256, 64 * 1024);
    out_.resize(written + std::max(n, step));
    cursor_ = out_.data() + written;
    end_ = out_.data() + out_.size();
  }

  Buffer& out_;
  unit* cursor_ = nullptr;
  unit* end_ = nullptr;
  size_t resumed_at_ = 0;
};
