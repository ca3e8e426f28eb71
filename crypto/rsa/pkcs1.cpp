// PKCS#1 v1.5 block types 1 (signatures with DigestInfo) and 2 (encryption).
#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "crypto/random/random.h"
#include "crypto/rsa/internal.h"

namespace {

// The DER of each DigestInfo up to the digest octets. HAS-160's is built from its object
// identifier 1.2.410.200004.1.2 with NULL parameters.
struct DigestInfo {
  int hash_type;
  size_t digest_len;
  size_t prefix_len;
  uint8_t prefix[19];
};

const DigestInfo kDigestInfos[] = {
    {HASH_SHA1,
     20,
     15,
     {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14}},
    {HASH_SHA256,
     32,
     19,
     {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00,
      0x04, 0x20}},
    {HASH_SHA384,
     48,
     19,
     {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00,
      0x04, 0x30}},
    {HASH_SHA512,
     64,
     19,
     {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00,
      0x04, 0x40}},
    {HASH_SHA224,
     28,
     19,
     {0x30, 0x2d, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x04, 0x05, 0x00,
      0x04, 0x1c}},
    {HASH_HAS160,
     20,
     18,
     {0x30, 0x24, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x83, 0x1a, 0x8c, 0x9a, 0x44, 0x01, 0x02, 0x05, 0x00, 0x04,
      0x14}},
};

// The entry of a hash type, or (hash_type 0) the one whose tail from the 00 separator to the end
// of a block has this length: the tail length is what names the hash in a block.
const DigestInfo *find_digest_info(int hash_type, size_t tail) {
  for (const DigestInfo &info : kDigestInfos) {
    if (hash_type != 0 ? info.hash_type == hash_type : 1 + info.prefix_len + info.digest_len == tail)
      return &info;
  }
  return nullptr;
}

constexpr size_t kMinPaddingBytes = 8;
// A source that keeps yielding zero bytes for one padding position is broken, not random.
constexpr int kMaxZeroRedraws = 1000;

// Fills out with nonzero random bytes from the OS source: zero bytes are replaced by the low
// byte of the next 32-bit value until they are nonzero. Returns the code itself.
int nonzero_random_bytes(uint8_t *out, size_t count) {
  RANDOM_CTX *rng = rng_new(RNG_TYPE_SYSTEM);
  if (rng == nullptr) return errno != 0 ? errno : v7::kErrOutOfMemory;
  int code = rng_fill_bytes(out, rng, count) == count ? 0 : errno;
  for (size_t i = 0; code == 0 && i < count; i++) {
    for (int tries = 0; code == 0 && out[i] == 0; tries++) {
      errno = 0;
      uint32_t w = rng_next_u32(rng);
      if (errno != 0) {
        code = errno;
      } else if (tries == kMaxZeroRedraws) {
        code = v7::kErrRandomContext;
      } else {
        out[i] = uint8_t(w);
      }
    }
  }
  rng_free(rng);
  return code;
}

}  // namespace

int rsa_pad_pkcs1_sign(const void *params, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                       size_t out_capacity) {
  if ((msg == nullptr && msg_len != 0) || out == nullptr || bits <= 0)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  size_t k = (size_t(bits) + 7) / 8;
  if (out_capacity < k) return v7::with_errno(v7::kErrInsufficientMemory, 0);
  int hash_type = params != nullptr ? *static_cast<const int *>(params) : HASH_SHA1;
  const DigestInfo *info = find_digest_info(hash_type, 0);
  if (info == nullptr) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  if (k < info->prefix_len + info->digest_len + 11) return v7::with_errno(v7::kErrSignatureEncode, 0);
  size_t ff = k - info->prefix_len - info->digest_len - 3;
  out[0] = 0x00;
  out[1] = 0x01;
  std::memset(out + 2, 0xFF, ff);
  out[2 + ff] = 0x00;
  std::memcpy(out + 3 + ff, info->prefix, info->prefix_len);
  uint8_t *digest = out + 3 + ff + info->prefix_len;
  if (hash_digest(info->digest_len, digest, hash_type, msg, msg_len) == 0) {
    int code = errno;
    v7::secure_wipe(out, k);
    return v7::with_errno(code, 0);
  }
  return int(k);
}

int rsa_verify_pkcs1_sign(const void *params, int bits, const uint8_t *msg, size_t msg_len,
                          const uint8_t *block, size_t block_len) {
  if ((msg == nullptr && msg_len != 0) || block == nullptr || bits <= 0)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  size_t k = (size_t(bits) + 7) / 8;
  if (block_len != k || k < 3 || block[0] != 0x00 || block[1] != 0x01) {
    return v7::with_errno(v7::kErrVerifySignature, 0);
  }
  size_t i = 2;
  while (i < k && block[i] == 0xFF) i++;
  if (i - 2 < kMinPaddingBytes || i == k || block[i] != 0x00)
    return v7::with_errno(v7::kErrVerifySignature, 0);
  const DigestInfo *info = find_digest_info(0, k - i);
  if (info == nullptr) return v7::with_errno(v7::kErrVerifySignature, 0);
  if (params != nullptr && *static_cast<const int *>(params) != info->hash_type) {
    return v7::with_errno(v7::kErrSignatureHashMismatch, 0);
  }
  const uint8_t *prefix = block + i + 1;
  if (std::memcmp(prefix, info->prefix, info->prefix_len) != 0)
    return v7::with_errno(v7::kErrVerifySignature, 0);
  uint8_t digest[HASH_MAX_DIGEST_LEN];
  if (hash_digest(sizeof digest, digest, info->hash_type, msg, msg_len) == 0) return 0;  // errno set
  bool match = v7::ct_memeq(digest, prefix + info->prefix_len, info->digest_len) == 1;
  return match ? 1 : v7::with_errno(v7::kErrVerifySignature, 0);
}

int rsa_pad_pkcs1_encrypt(const void *, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                          size_t out_capacity) {
  if ((msg == nullptr && msg_len != 0) || out == nullptr || bits <= 0)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  size_t k = (size_t(bits) + 7) / 8;
  if (k < 11 || msg_len > k - 11) return v7::with_errno(v7::kErrEncodeEme, 0);
  if (out_capacity < k) return v7::with_errno(v7::kErrInsufficientBuffer, 0);
  size_t ps = k - msg_len - 3;
  out[0] = 0x00;
  out[1] = 0x02;
  if (int code = nonzero_random_bytes(out + 2, ps)) {
    v7::secure_wipe(out, k);
    return v7::with_errno(code, 0);
  }
  out[2 + ps] = 0x00;
  if (msg_len != 0) std::memcpy(out + 3 + ps, msg, msg_len);
  return int(k);
}

int rsa_unpad_pkcs1_encrypt(const void *, int bits, const uint8_t *block, size_t block_len, uint8_t *out,
                            size_t out_capacity) {
  if (block == nullptr || out == nullptr || bits <= 0) return v7::with_errno(v7::kErrInvalidParameter, 0);
  size_t k = (size_t(bits) + 7) / 8;
  if (block_len != k || k < 11) return v7::with_errno(v7::kErrDecodeEme, 0);
  // Every byte is looked at the same way whatever the block holds: the position of the first
  // zero and whether the header matched are known only as masks until the single verdict below,
  // so that a caller cannot learn which check failed (Bleichenbacher).
  size_t good = v7::ct_mask_zero(block[0]) & v7::ct_mask_eq(block[1], 2);
  size_t looking = ~size_t(0), zero_index = 0;
  for (size_t i = 2; i < k; i++) {
    size_t is_zero = v7::ct_mask_zero(block[i]);
    zero_index = v7::ct_select(looking & is_zero, i, zero_index);
    looking &= ~is_zero;
  }
  good &= ~looking;
  good &= ~v7::ct_mask_lt(zero_index, 2 + kMinPaddingBytes);
  if (good == 0) return v7::with_errno(v7::kErrDecodeEme, 0);
  size_t msg_len = k - zero_index - 1;
  if (msg_len > out_capacity) return v7::with_errno(v7::kErrInsufficientBuffer, 0);
  std::memcpy(out, block + zero_index + 1, msg_len);
  return v7::with_errno(0, int(msg_len));
}
