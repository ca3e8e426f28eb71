// Small helpers shared by the key objects' source files.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/rsa/rsa.h"

namespace v7 {
namespace keyobj {

// The operations return their code and also leave it in errno.
inline int fail(int code) { return with_errno(code, code); }
inline int done() { return with_errno(0, 0); }
// The code a failed call left in errno; fallback when it left none, so that a failure is never
// reported as success.
inline int fail_errno(int fallback) {
  int code = errno;
  return fail(code != 0 ? code : fallback);
}

inline void wipe_free(void *p, size_t len) {
  secure_wipe(p, len);
  free(p);
}

// A malloc'd copy (at least one byte, so that an empty value is still a valid pointer); null when
// memory runs out.
inline uint8_t *copy_bytes(const uint8_t *data, size_t length) {
  auto *copy = static_cast<uint8_t *>(malloc(length == 0 ? 1 : length));
  if (copy != nullptr && length != 0) memcpy(copy, data, length);
  return copy;
}

// A new RSA key decoded from PKCS#1 DER (RSA_DER_PUBLIC or RSA_DER_PRIVATE) in *out; 0 or the code.
int decode_rsa_key(const uint8_t *der, size_t length, int kind, RSA_CTX **out);

}  // namespace keyobj
}  // namespace v7
