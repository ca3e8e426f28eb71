// DES (FIPS 46-3) and triple DES in encrypt-decrypt-encrypt form.
//
// The round function works on halves rotated left by one bit, so that each S-box's six input
// bits sit in one byte of either the half or the half rotated right by four. The S-boxes and the
// P permutation are folded into eight 64-entry tables at compile time, and the initial and final
// permutations are done as five bit-group swaps each.
#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/cipher/internal.h"

namespace {

constexpr uint8_t kSbox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11},
};

// The permutation P applied to the S-box outputs.
constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// Permuted choices 1 and 2 and the rotation schedule of the key halves.
constexpr uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                              35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                              46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
constexpr uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                              26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                              51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

struct SpTables {
  uint32_t t[8][64];
};

// Entry b of table n is P of S-box n's output for the six input bits b, rotated left by one bit
// like the halves it is combined with.
constexpr SpTables make_sp_tables() {
  SpTables sp{};
  for (int n = 0; n < 8; n++) {
    for (int b = 0; b < 64; b++) {
      int row = ((b >> 4) & 2) | (b & 1);
      int col = (b >> 1) & 15;
      uint32_t s = uint32_t(kSbox[n][row * 16 + col]) << (28 - 4 * n);
      uint32_t p = 0;
      for (int i = 0; i < 32; i++) p = (p << 1) | ((s >> (32 - kP[i])) & 1);
      sp.t[n][b] = (p << 1) | (p >> 31);
    }
  }
  return sp;
}
constexpr SpTables kSp = make_sp_tables();

inline uint32_t rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t rotr32(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// Bits of `in` (numbered from 1 at the most significant of in_bits) picked in table order.
uint64_t pick_bits(uint64_t in, int in_bits, const uint8_t *table, int out_bits) {
  uint64_t out = 0;
  for (int i = 0; i < out_bits; i++) out = (out << 1) | ((in >> (in_bits - table[i])) & 1);
  return out;
}

void des_schedule(const uint8_t *key, uint32_t *round_keys) {
  uint64_t cd = pick_bits(v7::load_be64(key), 64, kPc1, 56);
  uint32_t c = uint32_t(cd >> 28) & 0x0fffffff;
  uint32_t d = uint32_t(cd) & 0x0fffffff;
  for (int round = 0; round < 16; round++) {
    int s = kShifts[round];
    c = ((c << s) | (c >> (28 - s))) & 0x0fffffff;
    d = ((d << s) | (d >> (28 - s))) & 0x0fffffff;
    uint64_t k = pick_bits((uint64_t(c) << 28) | d, 56, kPc2, 48);
    uint32_t g[8];
    for (int n = 0; n < 8; n++) g[n] = uint32_t(k >> (42 - 6 * n)) & 63;
    // The even S-boxes read the half rotated right by four, the odd ones the half itself.
    round_keys[2 * round] = (g[0] << 24) | (g[2] << 16) | (g[4] << 8) | g[6];
    round_keys[2 * round + 1] = (g[1] << 24) | (g[3] << 16) | (g[5] << 8) | g[7];
  }
}

inline uint32_t feistel(uint32_t r, const uint32_t *k) {
  const auto &t = kSp.t;
  uint32_t w = rotr32(r, 4) ^ k[0];
  uint32_t f = t[6][w & 63] | t[4][(w >> 8) & 63] | t[2][(w >> 16) & 63] | t[0][(w >> 24) & 63];
  w = r ^ k[1];
  f |= t[7][w & 63] | t[5][(w >> 8) & 63] | t[3][(w >> 16) & 63] | t[1][(w >> 24) & 63];
  return f;
}

// The sixteen rounds without the final swap; decryption takes the round keys backwards.
template <bool kDecrypt>
inline void sixteen_rounds(uint32_t &l, uint32_t &r, const uint32_t *round_keys) {
  const uint32_t *k = kDecrypt ? round_keys + 30 : round_keys;
  constexpr int step = kDecrypt ? -2 : 2;
  for (int i = 0; i < 8; i++) {
    l ^= feistel(r, k);
    k += step;
    r ^= feistel(l, k);
    k += step;
  }
}

inline void swap_bits(uint32_t &a, uint32_t &b, int shift, uint32_t mask) {
  uint32_t w = ((a >> shift) ^ b) & mask;
  b ^= w;
  a ^= w << shift;
}

inline void initial_permutation(const uint8_t *in, uint32_t &l, uint32_t &r) {
  l = v7::load_be32(in);
  r = v7::load_be32(in + 4);
  swap_bits(l, r, 4, 0x0f0f0f0f);
  swap_bits(l, r, 16, 0x0000ffff);
  swap_bits(r, l, 2, 0x33333333);
  swap_bits(r, l, 8, 0x00ff00ff);
  r = rotl32(r, 1);
  uint32_t w = (l ^ r) & 0xaaaaaaaa;
  l ^= w;
  r ^= w;
  l = rotl32(l, 1);
}

// Undoes initial_permutation for the swapped halves (r, l) of the last round.
inline void final_permutation(uint32_t l, uint32_t r, uint8_t *out) {
  r = rotr32(r, 1);
  uint32_t w = (l ^ r) & 0xaaaaaaaa;
  l ^= w;
  r ^= w;
  l = rotr32(l, 1);
  swap_bits(l, r, 8, 0x00ff00ff);
  swap_bits(l, r, 2, 0x33333333);
  swap_bits(r, l, 16, 0x0000ffff);
  swap_bits(r, l, 4, 0x0f0f0f0f);
  v7::store_be32(out, r);
  v7::store_be32(out + 4, l);
}

template <bool kDecrypt>
void des_block(const void *schedule, const uint8_t *in, uint8_t *out) {
  uint32_t l, r;
  initial_permutation(in, l, r);
  sixteen_rounds<kDecrypt>(l, r, static_cast<const uint32_t *>(schedule));
  final_permutation(l, r, out);
}

// Between the three passes the final and initial permutations cancel, leaving only the swap of
// the halves.
template <bool kDecrypt>
void tdes_block(const void *schedule, const uint8_t *in, uint8_t *out) {
  const uint32_t *k = static_cast<const uint32_t *>(schedule);
  const uint32_t *first = kDecrypt ? k + 64 : k;
  const uint32_t *last = kDecrypt ? k : k + 64;
  uint32_t l, r;
  initial_permutation(in, l, r);
  sixteen_rounds<kDecrypt>(l, r, first);
  sixteen_rounds<!kDecrypt>(r, l, k + 32);
  sixteen_rounds<kDecrypt>(l, r, last);
  final_permutation(l, r, out);
}

}  // namespace

int des_set_key(const uint8_t *key, size_t key_len, void *schedule) {
  if (!key || !schedule) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (key_len != 8) return v7::with_errno(v7::kErrIncorrectKey, 0);
  des_schedule(key, static_cast<uint32_t *>(schedule));
  return 8;
}

void des_encrypt_block(const void *schedule, const uint8_t *in, uint8_t *out) {
  des_block<false>(schedule, in, out);
}

void des_decrypt_block(const void *schedule, const uint8_t *in, uint8_t *out) {
  des_block<true>(schedule, in, out);
}

int tdes_set_key(const uint8_t *key, size_t key_len, void *schedule) {
  if (!key || !schedule) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (key_len != 16 && key_len != 24) return v7::with_errno(v7::kErrIncorrectKey, 0);
  uint32_t *k = static_cast<uint32_t *>(schedule);
  des_schedule(key, k);
  des_schedule(key + 8, k + 32);
  if (key_len == 24) {
    des_schedule(key + 16, k + 64);
  } else {
    std::memcpy(k + 64, k, kDesScheduleSize);
  }
  return 8;
}

void tdes_encrypt_block(const void *schedule, const uint8_t *in, uint8_t *out) {
  tdes_block<false>(schedule, in, out);
}

void tdes_decrypt_block(const void *schedule, const uint8_t *in, uint8_t *out) {
  tdes_block<true>(schedule, in, out);
}
