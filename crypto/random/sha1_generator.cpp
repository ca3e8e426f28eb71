#include <cstring>

#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "crypto/random/internal.h"

namespace v7 {

bool sha1_generator_round(uint8_t *x, uint8_t *g) {
  HASH_CTX *sha1 = sha1_new();
  if (sha1 == nullptr) return false;
  // One whole block compresses at once and leaves the raw chaining state: no final padding.
  uint8_t block[64] = {};
  std::memcpy(block, x, kSha1GeneratorStateSize);
  hash_update(sha1, block, sizeof block);
  sha1_state_to_bytes(g, sha1);
  hash_free(sha1);
  secure_wipe(block, sizeof block);

  // x = x + g + 1 mod 2^160, big-endian, the carry running from the last byte to the first.
  unsigned carry = 1;
  for (size_t i = kSha1GeneratorStateSize; i-- > 0;) {
    unsigned sum = unsigned(x[i]) + g[i] + carry;
    x[i] = uint8_t(sum);
    carry = sum >> 8;
  }
  return true;
}

}  // namespace v7
