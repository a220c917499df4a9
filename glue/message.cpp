#include "glue/message.h"

namespace trv_message_detail {

void append_pointer(std::string& out, const void* p) {
  static constexpr char digits[] = "0123456789ABCDEF";
  auto bits = reinterpret_cast<uintptr_t>(p);
  char buf[16];
  for (int i = 15; i >= 0; --i) {
    buf[i] = digits[bits & 0xF];
    bits >>= 4;
  }
  out.append(buf, 16);
}

}  // namespace trv_message_detail
