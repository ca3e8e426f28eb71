// SHA-1 (FIPS 180-4).
#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/hash/internal.h"

namespace v7 {
namespace {

constexpr uint32_t kInit[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};

inline uint32_t choose(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t parity(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t majority(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (z & (x | y)); }

// Ring schedule of 16 words, as in SHA-256.
#define SCHEDULE(i)                                    \
  ((i) < 16 ? (w[(i)&15] = load_be32(block + 4 * (i))) \
            : (w[(i)&15] = rotl32(w[((i)-3) & 15] ^ w[((i)-8) & 15] ^ w[((i)-14) & 15] ^ w[(i)&15], 1)))

// Rotating names: each step updates e and b only; five steps bring the names back.
#define STEP(f, k, a, b, c, d, e, i)                    \
  do {                                                  \
    e += rotl32(a, 5) + f(b, c, d) + (k) + SCHEDULE(i); \
    b = rotl32(b, 30);                                  \
  } while (0)

#define STEPS5(f, k, i)               \
  STEP(f, k, a, b, c, d, e, (i) + 0); \
  STEP(f, k, e, a, b, c, d, (i) + 1); \
  STEP(f, k, d, e, a, b, c, (i) + 2); \
  STEP(f, k, c, d, e, a, b, (i) + 3); \
  STEP(f, k, b, c, d, e, a, (i) + 4)

#define STEPS20(f, k, i)  \
  STEPS5(f, k, (i) + 0);  \
  STEPS5(f, k, (i) + 5);  \
  STEPS5(f, k, (i) + 10); \
  STEPS5(f, k, (i) + 15)

void compress(uint32_t *state, const uint8_t *block, size_t count) {
  uint32_t w[16];
  for (; count != 0; count--, block += 64) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    STEPS20(choose, 0x5a827999, 0);
    STEPS20(parity, 0x6ed9eba1, 20);
    STEPS20(majority, 0x8f1bbcdc, 40);
    STEPS20(parity, 0xca62c1d6, 60);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

#undef STEPS20
#undef STEPS5
#undef STEP
#undef SCHEDULE

}  // namespace

void sha1_init(HASH_CTX *ctx) { start_digest(ctx, HASH_SHA1, kInit, sizeof kInit); }

// Every full block is compressed inside the update, never held back for final: the SHA-1
// generator reads the chaining state right after an update through sha1_state_to_bytes.
void sha1_update(HASH_CTX *ctx, const uint8_t *data, size_t len) {
  update_counting_bytes<compress>(ctx, data, len);
}

void sha1_final(HASH_CTX *ctx, uint8_t *out) {
  finish_block64<compress, true>(ctx, size_t(ctx->count_lo & 63), ctx->count_lo << 3, out, 5);
  sha1_init(ctx);
}

}  // namespace v7

int sha1_state_to_bytes(uint8_t *out, const HASH_CTX *ctx) {
  if (out == nullptr || ctx == nullptr || ctx->type != HASH_SHA1)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  for (int i = 0; i < 5; i++) v7::store_be32(out + 4 * i, ctx->state.w32[i]);
  return 20;
}
