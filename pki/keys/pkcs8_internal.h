// Pieces the opening and the sealing of password-protected private keys share.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "pki/asn1/asn1.h"

namespace v7 {
namespace pkcs8 {

constexpr uint32_t kSealIterations = 1024;
constexpr size_t kSaltLen = 8;
constexpr size_t kBlockLen = 16;
// Stored files use 1024 rounds; a count beyond this bound is refused so that a hostile file
// cannot keep the caller hashing for hours.
constexpr int32_t kMaxIterations = 10000000;
// The IV of the top-level 1.2.410.200004.1.4 form: these 16 ASCII digits, not a derived value.
constexpr char kFixedIv[] = "5093172846601938";

// Senders of the KISA schemes may pad the key themselves before the cipher pads it again: when
// the plaintext is a SEQUENCE with a two-byte length followed by n bytes, the first of which is
// n, the length without the n bytes; otherwise len. Reads only the len bytes at plain.
size_t kisa_trim(const uint8_t *plain, size_t len);

// A heap buffer that may hold key material: wiped before it is freed.
struct WipedBuffer {
  uint8_t *data = nullptr;
  size_t len = 0;
  WipedBuffer() = default;
  WipedBuffer(const WipedBuffer &) = delete;
  WipedBuffer &operator=(const WipedBuffer &) = delete;
  ~WipedBuffer() {
    secure_wipe(data, len);
    std::free(data);
  }
};

// Decodes an ANY value (one whole element) by the template; null with the codec's code in errno
// when it is absent (1001) or does not decode.
template <typename T>
T *decode_any(const ASN1_BYTES *any, const ASN1_TEMPLATE *tmpl) {
  if (any == nullptr || any->data == nullptr) {
    errno = kErrInvalidParameter;
    return nullptr;
  }
  return static_cast<T *>(asn1_decode_alloc(ASN1_MODE_DER, any->data, tmpl, any->len));
}

}  // namespace pkcs8
}  // namespace v7
