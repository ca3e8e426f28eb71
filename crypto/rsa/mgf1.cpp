// MGF1 mask generation (RFC 8017 B.2.1).
#include <cstdlib>
#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/cipher/cipher.h"
#include "crypto/hash/hash.h"
#include "crypto/rsa/internal.h"

int rsa_mgf1(const int *hash_type, const uint8_t *seed, size_t seed_len, uint8_t *out, size_t length) {
  int type = hash_type != nullptr ? *hash_type : HASH_SHA1;
  size_t h_len = v7::rsa_hash_len(type);
  if (h_len == 0) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  if ((out == nullptr && length != 0) || (seed == nullptr && seed_len != 0)) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  if (length == 0) return 1;
  HASH_CTX *hash = hash_new(type);
  if (hash == nullptr) return 0;  // errno set by hash_new
  uint8_t block[HASH_MAX_DIGEST_LEN];
  uint8_t counter[4];
  uint32_t c = 0;
  for (size_t done = 0; done < length; c++) {
    v7::store_be32(counter, c);
    hash_update(hash, seed, seed_len);
    hash_update(hash, counter, sizeof counter);
    hash_final(hash, block);
    size_t n = length - done < h_len ? length - done : h_len;
    std::memcpy(out + done, block, n);
    done += n;
  }
  v7::secure_wipe(block, sizeof block);
  hash_free(hash);
  return 1;
}

int rsa_mgf_xor(const RSA_MGF *mask, size_t length, const uint8_t *seed, size_t seed_len,
                const uint8_t *input, uint8_t *output) {
  const RSA_MGF *m = mask != nullptr ? mask : &MGF1_SHA1;
  if (m->function == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (length == 0) return 1;
  if (input == nullptr || output == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  // The mask goes to a buffer of its own, so that output may be input.
  uint8_t *bytes = static_cast<uint8_t *>(std::malloc(length));
  if (bytes == nullptr) return v7::with_errno(v7::kErrOutOfMemory, 0);
  int ok = m->function(m->hash_type, seed, seed_len, bytes, length);
  int code = errno;
  if (ok) xor_bytes(output, length, input, bytes);
  v7::secure_wipe(bytes, length);
  std::free(bytes);
  return ok ? 1 : v7::with_errno(code, 0);
}
