// The two password-to-key derivations of the private-key schemes.

#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/cipher/cipher.h"
#include "crypto/hash/hash.h"
#include "crypto/hash/hmac.h"
#include "pki/keys/pkcs8.h"

namespace {

constexpr size_t kSha1Len = 20;

bool bad_span(const void *p, size_t len) { return p == nullptr && len != 0; }

}  // namespace

int kisa_pbkdf1(const uint8_t *password, size_t password_len, const uint8_t *salt, size_t salt_len,
                uint32_t iterations, uint8_t key[16], uint8_t iv[16]) {
  if (bad_span(password, password_len) || bad_span(salt, salt_len) || key == nullptr || iv == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, int(v7::kErrInvalidParameter));
  HASH_CTX *sha = sha1_new();
  if (sha == nullptr) return v7::with_errno(v7::kErrOutOfMemory, int(v7::kErrOutOfMemory));
  uint8_t dk[kSha1Len];
  uint8_t iv_digest[kSha1Len];
  hash_update(sha, password, password_len);
  hash_update(sha, salt, salt_len);
  bool ok = hash_final(sha, dk) == int(kSha1Len);
  // A count of 0 is one round like 1: stored files carry both.
  for (uint32_t i = 1; ok && i < iterations; ++i) {
    hash_update(sha, dk, sizeof dk);
    ok = hash_final(sha, dk) == int(kSha1Len);
  }
  if (ok) {
    hash_update(sha, dk + 16, 4);
    ok = hash_final(sha, iv_digest) == int(kSha1Len);
  }
  int code = ok ? 0 : errno;
  if (ok) {
    std::memcpy(key, dk, 16);
    std::memcpy(iv, iv_digest, 16);
  }
  hash_free(sha);
  v7::secure_wipe(dk, sizeof dk);
  v7::secure_wipe(iv_digest, sizeof iv_digest);
  return v7::with_errno(code, code);
}

int pbkdf2_sha1(const uint8_t *password, size_t password_len, const uint8_t *salt, size_t salt_len,
                uint32_t iterations, uint8_t *out, size_t length) {
  // RFC 8018 caps the output at (2^32 - 1) blocks; the block counter is 32 bits.
  if (bad_span(password, password_len) || bad_span(salt, salt_len) || out == nullptr || length == 0 ||
      iterations == 0 || uint64_t(length) > uint64_t(0xFFFFFFFFu) * kSha1Len)
    return v7::with_errno(v7::kErrInvalidParameter, int(v7::kErrInvalidParameter));
  HMAC_CTX *mac = hmac_new(HASH_SHA1);
  if (mac == nullptr) return v7::with_errno(errno, errno);
  uint8_t u[kSha1Len];
  uint8_t block[kSha1Len];
  uint8_t counter[4];
  bool ok = true;
  size_t done = 0;
  for (uint32_t index = 1; ok && done < length; ++index) {
    v7::store_be32(counter, index);
    ok = hmac_init(mac, password, password_len) != 0;
    hmac_update(mac, salt, salt_len);
    hmac_update(mac, counter, sizeof counter);
    ok = ok && hmac_final(mac, u) == int(kSha1Len);
    std::memcpy(block, u, sizeof block);
    for (uint32_t j = 1; ok && j < iterations; ++j) {
      ok = hmac_init(mac, password, password_len) != 0;
      hmac_update(mac, u, sizeof u);
      ok = ok && hmac_final(mac, u) == int(kSha1Len);
      xor_bytes(block, sizeof block, block, u);
    }
    size_t take = length - done < kSha1Len ? length - done : kSha1Len;
    if (ok) std::memcpy(out + done, block, take);
    done += take;
  }
  int code = ok ? 0 : errno;
  hmac_free(mac);
  v7::secure_wipe(u, sizeof u);
  v7::secure_wipe(block, sizeof block);
  if (!ok) v7::secure_wipe(out, length);
  return v7::with_errno(code, code);
}
