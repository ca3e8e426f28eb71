// SHA-224, SHA-256, SHA-384 and SHA-512 (FIPS 180-4): one compression template over 32- and
// 64-bit words, four initial values and output lengths. The 64-bit words are plain uint64_t: on
// the 32-bit target the compiler carries the arithmetic out in register pairs.
#include "crypto/hash/internal.h"

namespace v7 {
namespace {

constexpr uint32_t kRound256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr uint64_t kRound512[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

constexpr uint32_t kInit256[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr uint32_t kInit224[8] = {0xc1059ed8, 0x367cd507, 0x3070dd17, 0xf70e5939,
                                  0xffc00b31, 0x68581511, 0x64f98fa7, 0xbefa4fa4};

constexpr uint64_t kInit512[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                  0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                  0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
constexpr uint64_t kInit384[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17,
                                  0x152fecd8f70e5939, 0x67332667ffc00b31, 0x8eb44a8768581511,
                                  0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};

// What differs between the two word sizes: the round count, the constants, the rotation
// amounts of the four sigma functions and the byte order of one word.
template <typename Word>
struct Sha2Words;

template <>
struct Sha2Words<uint32_t> {
  static constexpr int kRounds = 64;
  static constexpr const uint32_t *kRound = kRound256;
  static uint32_t big_sigma0(uint32_t x) { return rotr32(x, 2) ^ rotr32(x, 13) ^ rotr32(x, 22); }
  static uint32_t big_sigma1(uint32_t x) { return rotr32(x, 6) ^ rotr32(x, 11) ^ rotr32(x, 25); }
  static uint32_t small_sigma0(uint32_t x) { return rotr32(x, 7) ^ rotr32(x, 18) ^ (x >> 3); }
  static uint32_t small_sigma1(uint32_t x) { return rotr32(x, 17) ^ rotr32(x, 19) ^ (x >> 10); }
  static uint32_t load(const uint8_t *p) { return load_be32(p); }
  static void store(uint8_t *p, uint32_t v) { store_be32(p, v); }
};

template <>
struct Sha2Words<uint64_t> {
  static constexpr int kRounds = 80;
  static constexpr const uint64_t *kRound = kRound512;
  static uint64_t big_sigma0(uint64_t x) { return rotr64(x, 28) ^ rotr64(x, 34) ^ rotr64(x, 39); }
  static uint64_t big_sigma1(uint64_t x) { return rotr64(x, 14) ^ rotr64(x, 18) ^ rotr64(x, 41); }
  static uint64_t small_sigma0(uint64_t x) { return rotr64(x, 1) ^ rotr64(x, 8) ^ (x >> 7); }
  static uint64_t small_sigma1(uint64_t x) { return rotr64(x, 19) ^ rotr64(x, 61) ^ (x >> 6); }
  static uint64_t load(const uint8_t *p) { return load_be64(p); }
  static void store(uint8_t *p, uint64_t v) { store_be64(p, v); }
};

template <typename Word>
inline Word choose(Word x, Word y, Word z) {
  return z ^ (x & (y ^ z));
}
template <typename Word>
inline Word majority(Word x, Word y, Word z) {
  return (x & y) | (z & (x | y));
}

// The schedule lives in a ring of 16 words: word i of the later rounds replaces word i - 16.
#define SCHEDULE(i)                                             \
  ((i) < 16 ? (w[(i)&15] = W::load(block + sizeof(Word) * (i))) \
            : (w[(i)&15] +=                                     \
               W::small_sigma1(w[((i)-2) & 15]) + w[((i)-7) & 15] + W::small_sigma0(w[((i)-15) & 15])))

// Instead of shifting eight variables per round, the names rotate: each round updates only d
// and h, and the next round is called with the names moved by one. Every round is written out
// with a constant index, so the ring positions and constants resolve at compile time.
#define ROUND(a, b, c, d, e, f, g, h, i)                                           \
  do {                                                                             \
    Word t1 = h + W::big_sigma1(e) + choose(e, f, g) + W::kRound[i] + SCHEDULE(i); \
    d += t1;                                                                       \
    h = t1 + W::big_sigma0(a) + majority(a, b, c);                                 \
  } while (0)

#define ROUNDS8(i)                        \
  ROUND(a, b, c, d, e, f, g, h, (i) + 0); \
  ROUND(h, a, b, c, d, e, f, g, (i) + 1); \
  ROUND(g, h, a, b, c, d, e, f, (i) + 2); \
  ROUND(f, g, h, a, b, c, d, e, (i) + 3); \
  ROUND(e, f, g, h, a, b, c, d, (i) + 4); \
  ROUND(d, e, f, g, h, a, b, c, (i) + 5); \
  ROUND(c, d, e, f, g, h, a, b, (i) + 6); \
  ROUND(b, c, d, e, f, g, h, a, (i) + 7)

template <typename Word>
void compress(Word *state, const uint8_t *block, size_t count) {
  using W = Sha2Words<Word>;
  Word w[16];
  for (; count != 0; count--, block += 16 * sizeof(Word)) {
    Word a = state[0], b = state[1], c = state[2], d = state[3];
    Word e = state[4], f = state[5], g = state[6], h = state[7];
    ROUNDS8(0);
    ROUNDS8(8);
    ROUNDS8(16);
    ROUNDS8(24);
    ROUNDS8(32);
    ROUNDS8(40);
    ROUNDS8(48);
    ROUNDS8(56);
    if constexpr (W::kRounds == 80) {
      ROUNDS8(64);
      ROUNDS8(72);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#undef ROUNDS8
#undef ROUND
#undef SCHEDULE

void compress256(uint32_t *state, const uint8_t *block, size_t count) {
  compress<uint32_t>(state, block, count);
}

void finish512(HASH_CTX *ctx, uint8_t *out, int words) {
  uint64_t *state = ctx->state.w64;
  auto blocks = [state](const uint8_t *p, size_t n) { compress<uint64_t>(state, p, n); };
  pad_to_length_field<128, 16>(ctx->buffer, size_t(ctx->count_lo & 127), blocks);
  // The 128-bit bit length: the byte count shifted left by three across both words.
  store_be64(ctx->buffer + 112, (ctx->count_hi << 3) | (ctx->count_lo >> 61));
  store_be64(ctx->buffer + 120, ctx->count_lo << 3);
  blocks(ctx->buffer, 1);
  for (int i = 0; i < words; i++) store_be64(out + 8 * i, state[i]);
}

}  // namespace

void sha256_init(HASH_CTX *ctx) { start_digest(ctx, HASH_SHA256, kInit256, sizeof kInit256); }
void sha224_init(HASH_CTX *ctx) { start_digest(ctx, HASH_SHA224, kInit224, sizeof kInit224); }
void sha512_init(HASH_CTX *ctx) { start_digest(ctx, HASH_SHA512, kInit512, sizeof kInit512); }
void sha384_init(HASH_CTX *ctx) { start_digest(ctx, HASH_SHA384, kInit384, sizeof kInit384); }

void sha256_update(HASH_CTX *ctx, const uint8_t *data, size_t len) {
  update_counting_bytes<compress256>(ctx, data, len);
}

void sha256_final(HASH_CTX *ctx, uint8_t *out) {
  finish_block64<compress256, true>(ctx, size_t(ctx->count_lo & 63), ctx->count_lo << 3, out, 8);
  sha256_init(ctx);
}

void sha224_final(HASH_CTX *ctx, uint8_t *out) {
  finish_block64<compress256, true>(ctx, size_t(ctx->count_lo & 63), ctx->count_lo << 3, out, 7);
  sha224_init(ctx);
}

void sha512_update(HASH_CTX *ctx, const uint8_t *data, size_t len) {
  size_t used = size_t(ctx->count_lo & 127);
  uint64_t before = ctx->count_lo;
  ctx->count_lo += uint64_t(len);
  if (ctx->count_lo < before) ctx->count_hi++;
  uint64_t *state = ctx->state.w64;
  feed_blocks<128>(ctx->buffer, used, data, len,
                   [state](const uint8_t *p, size_t n) { compress<uint64_t>(state, p, n); });
}

void sha512_final(HASH_CTX *ctx, uint8_t *out) {
  finish512(ctx, out, 8);
  sha512_init(ctx);
}

void sha384_final(HASH_CTX *ctx, uint8_t *out) {
  finish512(ctx, out, 6);
  sha384_init(ctx);
}

}  // namespace v7
