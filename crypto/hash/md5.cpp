// MD5 (RFC 1321). Kept for the old password-based schemes and signatures that name it.
#include "crypto/base/endian.h"
#include "crypto/hash/internal.h"

namespace v7 {
namespace {

constexpr uint32_t kInit[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

inline uint32_t f_round1(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t f_round2(uint32_t x, uint32_t y, uint32_t z) { return y ^ (z & (x ^ y)); }
inline uint32_t f_round3(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t f_round4(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// a = b + ((a + f(b, c, d) + X[k] + T[i]) <<< s)
#define STEP(f, a, b, c, d, k, s, t)      \
  do {                                    \
    a += f(b, c, d) + x[k] + uint32_t(t); \
    a = rotl32(a, s) + b;                 \
  } while (0)

void compress(uint32_t *state, const uint8_t *block, size_t count) {
  uint32_t x[16];
  for (; count != 0; count--, block += 64) {
    for (int i = 0; i < 16; i++) x[i] = load_le32(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    STEP(f_round1, a, b, c, d, 0, 7, 0xd76aa478);
    STEP(f_round1, d, a, b, c, 1, 12, 0xe8c7b756);
    STEP(f_round1, c, d, a, b, 2, 17, 0x242070db);
    STEP(f_round1, b, c, d, a, 3, 22, 0xc1bdceee);
    STEP(f_round1, a, b, c, d, 4, 7, 0xf57c0faf);
    STEP(f_round1, d, a, b, c, 5, 12, 0x4787c62a);
    STEP(f_round1, c, d, a, b, 6, 17, 0xa8304613);
    STEP(f_round1, b, c, d, a, 7, 22, 0xfd469501);
    STEP(f_round1, a, b, c, d, 8, 7, 0x698098d8);
    STEP(f_round1, d, a, b, c, 9, 12, 0x8b44f7af);
    STEP(f_round1, c, d, a, b, 10, 17, 0xffff5bb1);
    STEP(f_round1, b, c, d, a, 11, 22, 0x895cd7be);
    STEP(f_round1, a, b, c, d, 12, 7, 0x6b901122);
    STEP(f_round1, d, a, b, c, 13, 12, 0xfd987193);
    STEP(f_round1, c, d, a, b, 14, 17, 0xa679438e);
    STEP(f_round1, b, c, d, a, 15, 22, 0x49b40821);

    STEP(f_round2, a, b, c, d, 1, 5, 0xf61e2562);
    STEP(f_round2, d, a, b, c, 6, 9, 0xc040b340);
    STEP(f_round2, c, d, a, b, 11, 14, 0x265e5a51);
    STEP(f_round2, b, c, d, a, 0, 20, 0xe9b6c7aa);
    STEP(f_round2, a, b, c, d, 5, 5, 0xd62f105d);
    STEP(f_round2, d, a, b, c, 10, 9, 0x02441453);
    STEP(f_round2, c, d, a, b, 15, 14, 0xd8a1e681);
    STEP(f_round2, b, c, d, a, 4, 20, 0xe7d3fbc8);
    STEP(f_round2, a, b, c, d, 9, 5, 0x21e1cde6);
    STEP(f_round2, d, a, b, c, 14, 9, 0xc33707d6);
    STEP(f_round2, c, d, a, b, 3, 14, 0xf4d50d87);
    STEP(f_round2, b, c, d, a, 8, 20, 0x455a14ed);
    STEP(f_round2, a, b, c, d, 13, 5, 0xa9e3e905);
    STEP(f_round2, d, a, b, c, 2, 9, 0xfcefa3f8);
    STEP(f_round2, c, d, a, b, 7, 14, 0x676f02d9);
    STEP(f_round2, b, c, d, a, 12, 20, 0x8d2a4c8a);

    STEP(f_round3, a, b, c, d, 5, 4, 0xfffa3942);
    STEP(f_round3, d, a, b, c, 8, 11, 0x8771f681);
    STEP(f_round3, c, d, a, b, 11, 16, 0x6d9d6122);
    STEP(f_round3, b, c, d, a, 14, 23, 0xfde5380c);
    STEP(f_round3, a, b, c, d, 1, 4, 0xa4beea44);
    STEP(f_round3, d, a, b, c, 4, 11, 0x4bdecfa9);
    STEP(f_round3, c, d, a, b, 7, 16, 0xf6bb4b60);
    STEP(f_round3, b, c, d, a, 10, 23, 0xbebfbc70);
    STEP(f_round3, a, b, c, d, 13, 4, 0x289b7ec6);
    STEP(f_round3, d, a, b, c, 0, 11, 0xeaa127fa);
    STEP(f_round3, c, d, a, b, 3, 16, 0xd4ef3085);
    STEP(f_round3, b, c, d, a, 6, 23, 0x04881d05);
    STEP(f_round3, a, b, c, d, 9, 4, 0xd9d4d039);
    STEP(f_round3, d, a, b, c, 12, 11, 0xe6db99e5);
    STEP(f_round3, c, d, a, b, 15, 16, 0x1fa27cf8);
    STEP(f_round3, b, c, d, a, 2, 23, 0xc4ac5665);

    STEP(f_round4, a, b, c, d, 0, 6, 0xf4292244);
    STEP(f_round4, d, a, b, c, 7, 10, 0x432aff97);
    STEP(f_round4, c, d, a, b, 14, 15, 0xab9423a7);
    STEP(f_round4, b, c, d, a, 5, 21, 0xfc93a039);
    STEP(f_round4, a, b, c, d, 12, 6, 0x655b59c3);
    STEP(f_round4, d, a, b, c, 3, 10, 0x8f0ccc92);
    STEP(f_round4, c, d, a, b, 10, 15, 0xffeff47d);
    STEP(f_round4, b, c, d, a, 1, 21, 0x85845dd1);
    STEP(f_round4, a, b, c, d, 8, 6, 0x6fa87e4f);
    STEP(f_round4, d, a, b, c, 15, 10, 0xfe2ce6e0);
    STEP(f_round4, c, d, a, b, 6, 15, 0xa3014314);
    STEP(f_round4, b, c, d, a, 13, 21, 0x4e0811a1);
    STEP(f_round4, a, b, c, d, 4, 6, 0xf7537e82);
    STEP(f_round4, d, a, b, c, 11, 10, 0xbd3af235);
    STEP(f_round4, c, d, a, b, 2, 15, 0x2ad7d2bb);
    STEP(f_round4, b, c, d, a, 9, 21, 0xeb86d391);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
  }
}

#undef STEP

}  // namespace

void md5_init(HASH_CTX *ctx) { start_digest(ctx, HASH_MD5, kInit, sizeof kInit); }

void md5_update(HASH_CTX *ctx, const uint8_t *data, size_t len) {
  update_counting_bytes<compress>(ctx, data, len);
}

void md5_final(HASH_CTX *ctx, uint8_t *out) {
  finish_block64<compress, false>(ctx, size_t(ctx->count_lo & 63), ctx->count_lo << 3, out, 4);
  md5_init(ctx);
}

}  // namespace v7
