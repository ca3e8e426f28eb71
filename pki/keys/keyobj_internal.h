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
#include "pki/keys/keyobj.h"

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

// Sign (slot 13) and decrypt (slot 14) of the kinds whose key lives outside the toolkit (token,
// secure disk): the arguments are checked and the outputs cleared, sign prepares the block its
// scheme asks for (13 the data as given, 5376 / 5377 a DigestInfo with SHA-1 / SHA-256 over the
// data; other schemes kErrInvalidParameter) and decrypt refuses schemes other than PKCS#1 v1.5
// under format 1 (kErrUnsupportedPublicKeyAlgorithm); then op hands the block to the outside
// store (sign true for the signing operation, false for decrypt). An object without kind_data is
// kErrInvalidParameter.
using OutsideOp = int (*)(PRIVATE_KEY_CTX *ctx, bool sign, const uint8_t *block, size_t block_len,
                          uint8_t **out, size_t *out_len);
int outside_sign(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                 int format, const int *scheme, OutsideOp op);
int outside_decrypt(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                    int format, const int *scheme, OutsideOp op);

// The sign and decrypt entries of such a kind's method table, so that each kind writes only its
// one operation: where its store is and how it is reached.
template <OutsideOp op>
struct OutsideEntries {
  static int sign(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                  int format, const int *scheme) {
    return outside_sign(ctx, data, length, out, out_len, format, scheme, op);
  }
  static int decrypt(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                     int format, const int *scheme) {
    return outside_decrypt(ctx, data, length, out, out_len, format, scheme, op);
  }
};

// A new RSA key decoded from PKCS#1 DER (RSA_DER_PUBLIC or RSA_DER_PRIVATE) in *out; 0 or the code.
int decode_rsa_key(const uint8_t *der, size_t length, int kind, RSA_CTX **out);

}  // namespace keyobj
}  // namespace v7
