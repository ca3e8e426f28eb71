// HAS-160 (TTAS.KO-12.0011), the digest of the Korean signature standards.
//
// It differs from SHA-1 in its message expansion: each of the four rounds appends four words
// X16..X19, each the XOR of four block words, and visits the twenty words in its own order; the
// rotation of A varies per step and that of B per round. Words and the length are little-endian,
// and the length is a bit count.
#include "crypto/base/endian.h"
#include "crypto/hash/internal.h"

namespace v7 {
namespace {

constexpr uint32_t kInit[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};

inline uint32_t f_round1(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t f_round2(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t f_round3(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// T = (A <<< s1) + f(B, C, D) + E + X[l] + K; then E D C B A = D C (B <<< s2) A T. With the
// names rotating, a step updates e and b only and five steps bring the names back.
#define STEP(f, k, s2, a, b, c, d, e, l, s1)      \
  do {                                            \
    e += rotl32(a, s1) + f(b, c, d) + x[l] + (k); \
    b = rotl32(b, s2);                            \
  } while (0)

// One group of five steps; the rotations s1 of step j mod 20 are
// 5 11 7 15 6 | 13 8 14 7 12 | 9 11 8 15 6 | 12 9 14 5 13.
#define STEPS5(f, k, s2, l0, l1, l2, l3, l4, r0, r1, r2, r3, r4) \
  STEP(f, k, s2, a, b, c, d, e, l0, r0);                         \
  STEP(f, k, s2, e, a, b, c, d, l1, r1);                         \
  STEP(f, k, s2, d, e, a, b, c, l2, r2);                         \
  STEP(f, k, s2, c, d, e, a, b, l3, r3);                         \
  STEP(f, k, s2, b, c, d, e, a, l4, r4)

#define G1(f, k, s2, l0, l1, l2, l3, l4) STEPS5(f, k, s2, l0, l1, l2, l3, l4, 5, 11, 7, 15, 6)
#define G2(f, k, s2, l0, l1, l2, l3, l4) STEPS5(f, k, s2, l0, l1, l2, l3, l4, 13, 8, 14, 7, 12)
#define G3(f, k, s2, l0, l1, l2, l3, l4) STEPS5(f, k, s2, l0, l1, l2, l3, l4, 9, 11, 8, 15, 6)
#define G4(f, k, s2, l0, l1, l2, l3, l4) STEPS5(f, k, s2, l0, l1, l2, l3, l4, 12, 9, 14, 5, 13)

void compress(uint32_t *state, const uint8_t *block, size_t count) {
  uint32_t x[20];
  for (; count != 0; count--, block += 64) {
    for (int i = 0; i < 16; i++) x[i] = load_le32(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];

    x[16] = x[0] ^ x[1] ^ x[2] ^ x[3];
    x[17] = x[4] ^ x[5] ^ x[6] ^ x[7];
    x[18] = x[8] ^ x[9] ^ x[10] ^ x[11];
    x[19] = x[12] ^ x[13] ^ x[14] ^ x[15];
    G1(f_round1, 0x00000000, 10, 18, 0, 1, 2, 3);
    G2(f_round1, 0x00000000, 10, 19, 4, 5, 6, 7);
    G3(f_round1, 0x00000000, 10, 16, 8, 9, 10, 11);
    G4(f_round1, 0x00000000, 10, 17, 12, 13, 14, 15);

    x[16] = x[3] ^ x[6] ^ x[9] ^ x[12];
    x[17] = x[15] ^ x[2] ^ x[5] ^ x[8];
    x[18] = x[11] ^ x[14] ^ x[1] ^ x[4];
    x[19] = x[7] ^ x[10] ^ x[13] ^ x[0];
    G1(f_round2, 0x5a827999, 17, 18, 3, 6, 9, 12);
    G2(f_round2, 0x5a827999, 17, 19, 15, 2, 5, 8);
    G3(f_round2, 0x5a827999, 17, 16, 11, 14, 1, 4);
    G4(f_round2, 0x5a827999, 17, 17, 7, 10, 13, 0);

    x[16] = x[12] ^ x[5] ^ x[14] ^ x[7];
    x[17] = x[0] ^ x[9] ^ x[2] ^ x[11];
    x[18] = x[4] ^ x[13] ^ x[6] ^ x[15];
    x[19] = x[8] ^ x[1] ^ x[10] ^ x[3];
    G1(f_round3, 0x6ed9eba1, 25, 18, 12, 5, 14, 7);
    G2(f_round3, 0x6ed9eba1, 25, 19, 0, 9, 2, 11);
    G3(f_round3, 0x6ed9eba1, 25, 16, 4, 13, 6, 15);
    G4(f_round3, 0x6ed9eba1, 25, 17, 8, 1, 10, 3);

    x[16] = x[7] ^ x[2] ^ x[13] ^ x[8];
    x[17] = x[3] ^ x[14] ^ x[9] ^ x[4];
    x[18] = x[15] ^ x[10] ^ x[5] ^ x[0];
    x[19] = x[11] ^ x[6] ^ x[1] ^ x[12];
    G1(f_round2, 0x8f1bbcdc, 30, 18, 7, 2, 13, 8);
    G2(f_round2, 0x8f1bbcdc, 30, 19, 3, 14, 9, 4);
    G3(f_round2, 0x8f1bbcdc, 30, 16, 15, 10, 5, 0);
    G4(f_round2, 0x8f1bbcdc, 30, 17, 11, 6, 1, 12);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

#undef G4
#undef G3
#undef G2
#undef G1
#undef STEPS5
#undef STEP

}  // namespace

void has160_init(HASH_CTX *ctx) { start_digest(ctx, HASH_HAS160, kInit, sizeof kInit); }

void has160_update(HASH_CTX *ctx, const uint8_t *data, size_t len) {
  size_t used = size_t((ctx->count_lo >> 3) & 63);
  // A bit count modulo 2^64, as the standard's length field holds it.
  ctx->count_lo += uint64_t(len) << 3;
  uint32_t *state = ctx->state.w32;
  feed_blocks<64>(ctx->buffer, used, data, len,
                  [state](const uint8_t *p, size_t n) { compress(state, p, n); });
}

void has160_final(HASH_CTX *ctx, uint8_t *out) {
  finish_block64<compress, false>(ctx, size_t((ctx->count_lo >> 3) & 63), ctx->count_lo, out, 5);
  has160_init(ctx);
}

}  // namespace v7
