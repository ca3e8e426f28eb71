#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "pki/x509/algorithms.h"

using v7::with_errno;

namespace {

// The DER of DigestInfo up to the digest (RFC 8017, section 9.2, note 1).
const uint8_t kSha1Prefix[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                               0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
const uint8_t kSha256Prefix[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

}  // namespace

int digest_info_encode(int hash_type, uint8_t *out, size_t capacity, const uint8_t *data, size_t length) {
  const uint8_t *prefix;
  size_t prefix_len;
  if (hash_type == HASH_SHA1) {
    prefix = kSha1Prefix;
    prefix_len = sizeof kSha1Prefix;
  } else if (hash_type == HASH_SHA256) {
    prefix = kSha256Prefix;
    prefix_len = sizeof kSha256Prefix;
  } else {
    return with_errno(v7::kErrUnsupportedHash, 0);
  }
  if (data == nullptr && length != 0) return with_errno(v7::kErrInvalidParameter, 0);
  const size_t digest_len = size_t(hash_digest_len(hash_type));
  const size_t total = prefix_len + digest_len;
  if (out == nullptr) return with_errno(0, int(total));
  if (capacity < total) return with_errno(v7::kErrInsufficientBuffer, 0);
  static const uint8_t kNothing = 0;
  if (hash_digest(capacity - prefix_len, out + prefix_len, hash_type, data != nullptr ? data : &kNothing,
                  length) == 0)
    return 0;
  memcpy(out, prefix, prefix_len);
  return with_errno(0, int(total));
}

uint8_t *digest_info_new(int hash_type, const uint8_t *data, size_t length, size_t *out_len) {
  if (out_len == nullptr) return with_errno(v7::kErrInvalidParameter, nullptr);
  *out_len = 0;
  int size = digest_info_encode(hash_type, nullptr, 0, data, length);
  if (size == 0) return nullptr;
  uint8_t *out = static_cast<uint8_t *>(malloc(size_t(size)));
  if (out == nullptr) return with_errno(v7::kErrOutOfMemory, nullptr);
  if (digest_info_encode(hash_type, out, size_t(size), data, length) != size) {
    int code = errno;
    free(out);
    return with_errno(code, nullptr);
  }
  *out_len = size_t(size);
  return with_errno(0, out);
}

size_t asn1_encode_new(const void *value, const ASN1_TEMPLATE *tmpl, uint8_t **out, size_t *out_len) {
  if (value == nullptr || tmpl == nullptr || out == nullptr || out_len == nullptr)
    return with_errno(v7::kErrInvalidParameter, size_t(0));
  *out = nullptr;
  *out_len = 0;
  return der_encode_alloc(tmpl, value, out, out_len);
}

int asn1_bytes_compare(const ASN1_BYTES *a, const ASN1_BYTES *b) {
  if (a == nullptr || b == nullptr) return with_errno(v7::kErrInvalidParameter, 1);
  if (a->len != b->len) return 1;
  if (a->len == 0) return 0;
  if (a->data == nullptr || b->data == nullptr) return a->data == b->data ? 0 : 1;
  return memcmp(a->data, b->data, a->len) == 0 ? 0 : 1;
}
