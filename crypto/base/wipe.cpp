#include "crypto/base/wipe.h"

#include <cstring>

namespace v7 {

void secure_wipe(void *p, size_t len) {
  if (p == nullptr || len == 0) return;
  std::memset(p, 0, len);
  // The empty asm takes the buffer as an input and clobbers memory, so the stores above are
  // observable and cannot be removed as dead, whatever the caller does with p afterwards.
  __asm__ __volatile__("" : : "r"(p) : "memory");
}

int ct_memeq(const void *a, const void *b, size_t len) {
  const volatile uint8_t *x = static_cast<const volatile uint8_t *>(a);
  const volatile uint8_t *y = static_cast<const volatile uint8_t *>(b);
  uint8_t diff = 0;
  for (size_t i = 0; i < len; i++) diff |= uint8_t(x[i] ^ y[i]);
  // Map 0 to 1 and anything else to 0 without a branch on the secret difference.
  return int((uint32_t(diff) - 1) >> 31);
}

}  // namespace v7
