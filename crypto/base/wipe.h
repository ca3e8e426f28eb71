// Wiping secrets and comparing them without leaking where they differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace v7 {

// Overwrites len bytes with zeros; the compiler may not drop the stores even when the memory is
// freed right after. A null pointer or zero length does nothing.
void secure_wipe(void *p, size_t len);

// 1 when the len bytes at a and b are equal, 0 otherwise; the time taken depends on len only.
int ct_memeq(const void *a, const void *b, size_t len);

// A byte buffer that wipes itself before its memory goes back to the heap.
struct SecureBytes {
  std::vector<uint8_t> bytes;

  SecureBytes() = default;
  explicit SecureBytes(size_t n) : bytes(n) {}
  SecureBytes(const uint8_t *p, size_t n) : bytes(p, p + n) {}
  SecureBytes(const SecureBytes &) = default;
  SecureBytes(SecureBytes &&) noexcept = default;
  SecureBytes &operator=(const SecureBytes &other) {
    if (this != &other) {
      clear();
      bytes = other.bytes;
    }
    return *this;
  }
  SecureBytes &operator=(SecureBytes &&other) noexcept {
    if (this != &other) {
      clear();
      bytes = std::move(other.bytes);
    }
    return *this;
  }
  ~SecureBytes() { clear(); }

  void clear() {
    secure_wipe(bytes.data(), bytes.capacity());
    bytes.clear();
  }
  uint8_t *data() { return bytes.data(); }
  const uint8_t *data() const { return bytes.data(); }
  size_t size() const { return bytes.size(); }
};

}  // namespace v7
