#include "crypto/seal/seal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/cipher/cipher.h"
#include "crypto/hash/hash.h"
#include "crypto/hash/hmac.h"
#include "crypto/random/random.h"
#include "v7config/deployment.h"

namespace {

const uint8_t kSealKey[32] = V7_SEAL_KEY_BYTES;
const uint8_t kSealMask[32] = V7_SEAL_MASK_BYTES;
const uint8_t kFormat[2] = {0x01, 0x01};

// Room the blob needs beside the secret: header, a whole block of padding, MAC, two zero bytes.
constexpr size_t kSealOverhead = kSealHeaderSize + 16 + kSealMacSize + 2;

// S = the two halves of S swapped, after S = HMAC-SHA256(seal key, S) [XOR mask].
int derive_rounds(uint8_t *s, int rounds, const uint8_t *mask) {
  uint8_t h[32];
  int code = 0;
  for (int round = 0; round < rounds && code == 0; round++) {
    if (hmac_oneshot(HASH_SHA256, kSealKey, h, sizeof kSealKey, s, 32, sizeof h) != 32) {
      code = errno;
      break;
    }
    if (mask != nullptr) xor_bytes(h, sizeof h, h, mask);
    std::memcpy(s, h + 16, 16);
    std::memcpy(s + 16, h, 16);
  }
  v7::secure_wipe(h, sizeof h);
  return code;
}

int mac_of(uint8_t *mac_out, const uint8_t *seed, const uint8_t *data, size_t len) {
  uint8_t mac_key[32];
  int code = seal_derive_mac_key(mac_key, seed);
  if (code == 0 && hmac_oneshot(HASH_SHA256, mac_key, mac_out, sizeof mac_key, data, len, kSealMacSize) !=
                       int(kSealMacSize)) {
    code = errno;
  }
  v7::secure_wipe(mac_key, sizeof mac_key);
  return code;
}

}  // namespace

int seal_derive_key_iv(uint8_t *iv_out, uint8_t *key_out, const uint8_t *seed) {
  if (iv_out == nullptr || key_out == nullptr || seed == nullptr) return v7::kErrInvalidParameter;
  uint8_t s[32];
  std::memcpy(s, seed, sizeof s);
  int code = derive_rounds(s, 64, kSealMask);
  if (code == 0) {
    std::memcpy(key_out, s, 16);
    std::memcpy(iv_out, s + 16, 16);
  }
  v7::secure_wipe(s, sizeof s);
  return code;
}

int seal_derive_mac_key(uint8_t *mac_key_out, const uint8_t *seed) {
  if (mac_key_out == nullptr || seed == nullptr) return v7::kErrInvalidParameter;
  uint8_t s[32];
  std::memcpy(s, seed, sizeof s);
  int code = derive_rounds(s, 16, nullptr);
  if (code == 0) std::memcpy(mac_key_out, s, sizeof s);
  v7::secure_wipe(s, sizeof s);
  return code;
}

int seal_secret(uint8_t **blob_out, size_t *len_out, const uint8_t *secret, size_t secret_len) {
  // The size guard keeps secret_len + overhead from wrapping on the 32-bit target.
  if (blob_out == nullptr || len_out == nullptr || secret == nullptr || secret_len == 0 ||
      secret_len > SIZE_MAX - kSealOverhead) {
    return v7::kErrInvalidParameter;
  }
  size_t capacity = secret_len + kSealOverhead;
  uint8_t *blob = static_cast<uint8_t *>(std::calloc(1, capacity));
  if (blob == nullptr) return v7::kErrOutOfMemory;

  uint8_t *seed = blob + 2;
  uint8_t key[16], iv[16];
  std::memcpy(blob, kFormat, sizeof kFormat);
  size_t n = 0;
  int code = rand_seed32(seed);
  if (code == 0) code = seal_derive_key_iv(iv, key, seed);
  if (code == 0) {
    n = cipher_seed_cbc_encrypt(key, iv, secret, secret_len, blob + kSealHeaderSize,
                                capacity - kSealHeaderSize - kSealMacSize - 2);
    if (n == 0) code = errno;
  }
  if (code == 0) code = mac_of(blob + kSealHeaderSize + n, seed, blob, kSealHeaderSize + n);
  v7::secure_wipe(key, sizeof key);
  v7::secure_wipe(iv, sizeof iv);
  if (code != 0) {
    v7::secure_wipe(blob, capacity);
    std::free(blob);
    return code;
  }
  // The two zero bytes after the MAC are already there: the buffer came zeroed and the cipher
  // capacity kept them out of reach.
  *blob_out = blob;
  *len_out = kSealHeaderSize + n + kSealMacSize;
  return 0;
}

int seal_open(uint8_t **secret_out, size_t *secret_len, const uint8_t *blob, size_t blob_len) {
  if (secret_out == nullptr || secret_len == nullptr || blob == nullptr) return v7::kErrInvalidParameter;
  if (blob_len < kSealMinBlobSize || (blob_len - kSealHeaderSize - kSealMacSize) % 16 != 0 ||
      std::memcmp(blob, kFormat, sizeof kFormat) != 0) {
    return v7::kErrInvalidCipherText;
  }
  const uint8_t *seed = blob + 2;
  size_t n = blob_len - kSealHeaderSize - kSealMacSize;
  uint8_t mac[kSealMacSize];
  int code = mac_of(mac, seed, blob, kSealHeaderSize + n);
  // Nothing is decrypted before the MAC has been found right.
  if (code == 0 && !v7::ct_memeq(mac, blob + kSealHeaderSize + n, kSealMacSize)) code = v7::kErrSymmetricDecrypt;
  uint8_t key[16], iv[16];
  if (code == 0) code = seal_derive_key_iv(iv, key, seed);
  uint8_t *plain = nullptr;
  size_t plain_len = 0;
  if (code == 0) {
    plain = static_cast<uint8_t *>(std::malloc(n));
    if (plain == nullptr) code = v7::kErrOutOfMemory;
  }
  if (code == 0) {
    plain_len = cipher_decrypt_oneshot(kCrtCipherSeed, key, sizeof key, iv, sizeof iv, blob + kSealHeaderSize, n,
                                       plain, n);
    if (plain_len == 0) code = errno;
  }
  v7::secure_wipe(mac, sizeof mac);
  v7::secure_wipe(key, sizeof key);
  v7::secure_wipe(iv, sizeof iv);
  if (code != 0) {
    if (plain != nullptr) v7::secure_wipe(plain, n);
    std::free(plain);
    return code;
  }
  *secret_out = plain;
  *secret_len = plain_len;
  return 0;
}
