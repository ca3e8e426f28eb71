// ARIA: a 128-bit substitution-permutation network of 12, 14 or 16 rounds. Odd rounds substitute
// with SL1 (SB1 SB2 SB3 SB4 in each word), even rounds with SL2 (SB3 SB4 SB1 SB2); every round but
// the last then applies the involutive diffusion A. The state is four big-endian words.
//
// A splits into word operations: inside each word, every byte becomes the XOR of the other three
// (folded into the lookup tables below); then the word mix MM, a byte shuffle P of three words,
// and MM again. The decryption round keys are the encryption keys reversed with A applied to the
// inner ones, so both directions run the same rounds.
//
// Schedule layout (no alignment needed): the key size in bits as a big-endian word, then 17
// encryption and 17 decryption round keys of 16 bytes. Keys past the last round are zero.
#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/cipher/internal.h"

namespace {

constexpr size_t kMaxRoundKeys = 17;
constexpr size_t kRoundKeyBytes = 16;
constexpr size_t kEncKeysOffset = 4;
constexpr size_t kDecKeysOffset = kEncKeysOffset + kMaxRoundKeys * kRoundKeyBytes;
static_assert(kDecKeysOffset + kMaxRoundKeys * kRoundKeyBytes == kAriaScheduleSize, "schedule layout");

// SB2 of the standard (an affine image of x^247 in GF(2^8)); SB1 is the AES S-box, built below
// from its definition, and SB3 and SB4 are the inverses of SB1 and SB2.
constexpr uint8_t kSb2[256] = {
    0xe2, 0x4e, 0x54, 0xfc, 0x94, 0xc2, 0x4a, 0xcc, 0x62, 0x0d, 0x6a, 0x46, 0x3c, 0x4d, 0x8b, 0xd1,
    0x5e, 0xfa, 0x64, 0xcb, 0xb4, 0x97, 0xbe, 0x2b, 0xbc, 0x77, 0x2e, 0x03, 0xd3, 0x19, 0x59, 0xc1,
    0x1d, 0x06, 0x41, 0x6b, 0x55, 0xf0, 0x99, 0x69, 0xea, 0x9c, 0x18, 0xae, 0x63, 0xdf, 0xe7, 0xbb,
    0x00, 0x73, 0x66, 0xfb, 0x96, 0x4c, 0x85, 0xe4, 0x3a, 0x09, 0x45, 0xaa, 0x0f, 0xee, 0x10, 0xeb,
    0x2d, 0x7f, 0xf4, 0x29, 0xac, 0xcf, 0xad, 0x91, 0x8d, 0x78, 0xc8, 0x95, 0xf9, 0x2f, 0xce, 0xcd,
    0x08, 0x7a, 0x88, 0x38, 0x5c, 0x83, 0x2a, 0x28, 0x47, 0xdb, 0xb8, 0xc7, 0x93, 0xa4, 0x12, 0x53,
    0xff, 0x87, 0x0e, 0x31, 0x36, 0x21, 0x58, 0x48, 0x01, 0x8e, 0x37, 0x74, 0x32, 0xca, 0xe9, 0xb1,
    0xb7, 0xab, 0x0c, 0xd7, 0xc4, 0x56, 0x42, 0x26, 0x07, 0x98, 0x60, 0xd9, 0xb6, 0xb9, 0x11, 0x40,
    0xec, 0x20, 0x8c, 0xbd, 0xa0, 0xc9, 0x84, 0x04, 0x49, 0x23, 0xf1, 0x4f, 0x50, 0x1f, 0x13, 0xdc,
    0xd8, 0xc0, 0x9e, 0x57, 0xe3, 0xc3, 0x7b, 0x65, 0x3b, 0x02, 0x8f, 0x3e, 0xe8, 0x25, 0x92, 0xe5,
    0x15, 0xdd, 0xfd, 0x17, 0xa9, 0xbf, 0xd4, 0x9a, 0x7e, 0xc5, 0x39, 0x67, 0xfe, 0x76, 0x9d, 0x43,
    0xa7, 0xe1, 0xd0, 0xf5, 0x68, 0xf2, 0x1b, 0x34, 0x70, 0x05, 0xa3, 0x8a, 0xd5, 0x79, 0x86, 0xa8,
    0x30, 0xc6, 0x51, 0x4b, 0x1e, 0xa6, 0x27, 0xf6, 0x35, 0xd2, 0x6e, 0x24, 0x16, 0x82, 0x5f, 0xda,
    0xe6, 0x75, 0xa2, 0xef, 0x2c, 0xb2, 0x1c, 0x9f, 0x5d, 0x6f, 0x80, 0x0a, 0x72, 0x44, 0x9b, 0x6c,
    0x90, 0x0b, 0x5b, 0x33, 0x7d, 0x5a, 0x52, 0xf3, 0x61, 0xa1, 0xf7, 0xb0, 0xd6, 0x3f, 0x7c, 0x6d,
    0xed, 0x14, 0xe0, 0xa5, 0x3d, 0x22, 0xb3, 0xf8, 0x89, 0xde, 0x71, 0x1a, 0xaf, 0xba, 0xb5, 0x81,
};

constexpr uint8_t rotl8(uint8_t x, int n) { return uint8_t((x << n) | (x >> (8 - n))); }

// SB1 is the AES S-box: the inverse in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1 (0 for 0), then an
// affine map. Inverses come from powers of the generator 3, which keeps the compile-time work
// small.
struct Sb1Table {
  uint8_t s[256];
};

constexpr Sb1Table make_sb1() {
  uint8_t exp[255] = {}, log[256] = {};
  uint8_t p = 1;
  for (int i = 0; i < 255; i++) {
    exp[i] = p;
    log[p] = uint8_t(i);
    p = uint8_t(p ^ (p << 1) ^ ((p & 0x80) ? 0x1b : 0));  // p * 3
  }
  Sb1Table t{};
  for (int x = 0; x < 256; x++) {
    const uint8_t inv = x == 0 ? 0 : exp[(255 - log[x]) % 255];
    t.s[x] = uint8_t(inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^ rotl8(inv, 3) ^ rotl8(inv, 4) ^ 0x63);
  }
  return t;
}

// t[k][x] is S-box k's output for x, copied into the three bytes of a word other than the byte that
// S-box serves in SL1: SB1 serves byte 0 (the high byte), SB2 byte 1, SB3 byte 2, SB4 byte 3. A
// lookup thus does the substitution and the in-word part of A at once.
struct AriaTables {
  uint32_t t[4][256];
};

constexpr AriaTables make_aria_tables() {
  const Sb1Table sb1 = make_sb1();
  uint8_t sb[4][256] = {};
  for (int x = 0; x < 256; x++) {
    sb[0][x] = sb1.s[x];
    sb[1][x] = kSb2[x];
  }
  for (int x = 0; x < 256; x++) {
    sb[2][sb[0][x]] = uint8_t(x);
    sb[3][sb[1][x]] = uint8_t(x);
  }
  constexpr uint32_t spread[4] = {0x00010101, 0x01000101, 0x01010001, 0x01010100};
  AriaTables tables{};
  for (int k = 0; k < 4; k++)
    for (int x = 0; x < 256; x++) tables.t[k][x] = sb[k][x] * spread[k];
  return tables;
}

constexpr AriaTables kTables = make_aria_tables();
constexpr const uint32_t *kT1 = kTables.t[0];
constexpr const uint32_t *kT2 = kTables.t[1];
constexpr const uint32_t *kT3 = kTables.t[2];
constexpr const uint32_t *kT4 = kTables.t[3];

constexpr uint32_t kCk[3][4] = {
    {0x517cc1b7, 0x27220a94, 0xfe13abe8, 0xfa9a6ee0},
    {0x6db14acc, 0x9e21c820, 0xff28b1d5, 0xef5de2b0},
    {0xdb92371d, 0x2126e970, 0x03249775, 0x04e8c90e},
};

inline uint32_t rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
// The byte shuffles of P. Compilers turn the reversal into one instruction, so swapping the bytes
// within each half is cheapest as a reversal and a rotation.
inline uint32_t reverse_bytes(uint32_t x) {
  return (x >> 24) | ((x >> 8) & 0x0000ff00) | ((x << 8) & 0x00ff0000) | (x << 24);
}
inline uint32_t swap_halves(uint32_t x) { return rotl32(x, 16); }
inline uint32_t swap_in_halves(uint32_t x) { return swap_halves(reverse_bytes(x)); }

inline uint32_t byte0(uint32_t x) { return x >> 24; }
inline uint32_t byte1(uint32_t x) { return (x >> 16) & 0xff; }
inline uint32_t byte2(uint32_t x) { return (x >> 8) & 0xff; }
inline uint32_t byte3(uint32_t x) { return x & 0xff; }

// The state, a round key or a W value as four big-endian words, a the most significant. Named
// words and straight-line code keep the compiler from packing the table lookups into vector
// registers, which makes them several times slower.
struct State {
  uint32_t a, b, c, d;
};
static_assert(sizeof(State) == kRoundKeyBytes, "a round key is copied in and out as a State");

inline void add_key(State &s, const State &k) {
  s.a ^= k.a;
  s.b ^= k.b;
  s.c ^= k.c;
  s.d ^= k.d;
}

inline State load_state(const uint8_t *in) {
  return State{v7::load_be32(in), v7::load_be32(in + 4), v7::load_be32(in + 8), v7::load_be32(in + 12)};
}

// Round keys are kept in the machine's own word order: they never leave memory, and a block then
// costs no byte swaps for its keys.
inline State load_key(const uint8_t *in) {
  State k;
  std::memcpy(&k, in, sizeof k);
  return k;
}

inline void store_key(uint8_t *out, const State &k) { std::memcpy(out, &k, sizeof k); }

inline void store_state(uint8_t *out, const State &s) {
  v7::store_be32(out, s.a);
  v7::store_be32(out + 4, s.b);
  v7::store_be32(out + 8, s.c);
  v7::store_be32(out + 12, s.d);
}

inline void word_mix(State &s) {
  s.b ^= s.c;
  s.c ^= s.d;
  s.a ^= s.b;
  s.d ^= s.b;
  s.c ^= s.a;
  s.b ^= s.c;
}

// The part of A that follows the in-word step: MM, P, MM.
inline void mix_words(State &s) {
  word_mix(s);
  s.b = swap_in_halves(s.b);
  s.c = swap_halves(s.c);
  s.d = reverse_bytes(s.d);
  word_mix(s);
}

inline uint32_t sl1_word(uint32_t x) { return kT1[byte0(x)] ^ kT2[byte1(x)] ^ kT3[byte2(x)] ^ kT4[byte3(x)]; }
inline uint32_t sl2_word(uint32_t x) { return kT3[byte0(x)] ^ kT4[byte1(x)] ^ kT1[byte2(x)] ^ kT2[byte3(x)]; }
inline uint32_t sl2_plain(uint32_t x) {
  return (kT3[byte0(x)] & 0xff000000) ^ (kT4[byte1(x)] & 0x00ff0000) ^ (kT1[byte2(x)] & 0x0000ff00) ^
         (kT2[byte3(x)] & 0x000000ff);
}

// Odd round: SL1, then A.
inline void odd_round(State &s, const State &k) {
  add_key(s, k);
  s = State{sl1_word(s.a), sl1_word(s.b), sl1_word(s.c), sl1_word(s.d)};
  mix_words(s);
}

// Even round: SL2, then A. The tables spread each SL2 byte into the bytes SL1 would, which leaves
// every word with its halves swapped; the swap commutes with the word mix, so it is folded into
// this round's byte shuffle instead of being undone.
inline void even_round(State &s, const State &k) {
  add_key(s, k);
  s = State{sl2_word(s.a), sl2_word(s.b), sl2_word(s.c), sl2_word(s.d)};
  word_mix(s);
  s.a = swap_halves(s.a);
  s.b = reverse_bytes(s.b);
  s.d = swap_in_halves(s.d);
  word_mix(s);
}

// The last round: SL2 alone between two round keys. Each table word holds its plain S-box output
// in the byte that S-box serves in SL2.
inline void final_round(State &s, const uint8_t *rk) {
  add_key(s, load_key(rk));
  s = State{sl2_plain(s.a), sl2_plain(s.b), sl2_plain(s.c), sl2_plain(s.d)};
  add_key(s, load_key(rk + kRoundKeyBytes));
}

// The diffusion layer alone, for the decryption round keys.
inline uint32_t xor_of_other_bytes(uint32_t x) { return rotl32(x, 8) ^ rotl32(x, 16) ^ rotl32(x, 24); }
void diffuse(State &s) {
  s = State{xor_of_other_bytes(s.a), xor_of_other_bytes(s.b), xor_of_other_bytes(s.c),
            xor_of_other_bytes(s.d)};
  mix_words(s);
}

// x rotated right by n bits as one 128-bit number.
State rotr128(const State &x, unsigned n) {
  const uint32_t in[4] = {x.a, x.b, x.c, x.d};
  uint32_t out[4];
  const unsigned q = n / 32, r = n % 32;
  for (unsigned i = 0; i < 4; i++) {
    const uint32_t hi = in[(i - q) & 3], lo = in[(i - q - 1) & 3];
    out[i] = r == 0 ? hi : (hi >> r) | (lo << (32 - r));
  }
  return State{out[0], out[1], out[2], out[3]};
}

// The key size alone picks the rounds. A schedule that was never set gives 12 rather than an
// out-of-range count.
size_t rounds_for_bits(uint32_t bits) { return bits == 256 ? 16 : bits == 192 ? 14 : 12; }

void aria_crypt(const uint8_t *schedule, size_t keys_offset, const uint8_t *in, uint8_t *out) {
  const size_t rounds = rounds_for_bits(v7::load_be32(schedule));
  const uint8_t *rk = schedule + keys_offset;
  State s = load_state(in);
  size_t r = 0;
  for (; r + 2 < rounds; r += 2) {
    odd_round(s, load_key(rk + r * kRoundKeyBytes));
    even_round(s, load_key(rk + (r + 1) * kRoundKeyBytes));
  }
  odd_round(s, load_key(rk + r * kRoundKeyBytes));
  final_round(s, rk + (r + 1) * kRoundKeyBytes);
  store_state(out, s);
}

}  // namespace

int aria_set_key(const uint8_t *key, size_t key_len, void *schedule) {
  if (key == nullptr || schedule == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (key_len != 16 && key_len != 24 && key_len != 32) return v7::with_errno(v7::kErrIncorrectKey, 0);
  uint8_t *out = static_cast<uint8_t *>(schedule);
  std::memset(out, 0, kAriaScheduleSize);
  const size_t rounds = key_len / 4 + 8;
  const size_t first_ck = (key_len - 16) / 8;  // CK1 CK2 CK3: C1 C2 C3 rotated by the key size
  State ck[3];
  for (size_t i = 0; i < 3; i++) {
    const uint32_t *c = kCk[(first_ck + i) % 3];
    ck[i] = State{c[0], c[1], c[2], c[3]};
  }

  // W0 = KL, W1 = FO(W0, CK1) ^ KR, W2 = FE(W1, CK2) ^ W0, W3 = FO(W2, CK3) ^ W1; KR is the rest
  // of the key, zero-padded to 128 bits.
  uint8_t key_right[16] = {};
  std::memcpy(key_right, key + 16, key_len - 16);
  State w[4];
  w[0] = load_state(key);
  w[1] = w[0];
  odd_round(w[1], ck[0]);
  add_key(w[1], load_state(key_right));
  w[2] = w[1];
  even_round(w[2], ck[1]);
  add_key(w[2], w[0]);
  w[3] = w[2];
  odd_round(w[3], ck[2]);
  add_key(w[3], w[1]);

  // ek(4j + i + 1) = W(i) ^ (W(i + 1 mod 4) rotated right by kRotation[j]); the left rotations
  // by 61, 31 and 19 are right rotations by 67, 97 and 109.
  constexpr unsigned kRotation[5] = {19, 31, 67, 97, 109};
  State k;
  for (size_t i = 0; i <= rounds; i++) {
    k = rotr128(w[(i + 1) % 4], kRotation[i / 4]);
    add_key(k, w[i % 4]);
    store_key(out + kEncKeysOffset + i * kRoundKeyBytes, k);
  }
  // dk(1) = ek(n + 1), dk(i) = A(ek(n + 2 - i)) for the inner keys, dk(n + 1) = ek(1).
  for (size_t i = 0; i <= rounds; i++) {
    k = load_key(out + kEncKeysOffset + (rounds - i) * kRoundKeyBytes);
    if (i != 0 && i != rounds) diffuse(k);
    store_key(out + kDecKeysOffset + i * kRoundKeyBytes, k);
  }
  v7::store_be32(out, uint32_t(key_len * 8));

  v7::secure_wipe(key_right, sizeof key_right);
  v7::secure_wipe(w, sizeof w);
  v7::secure_wipe(&k, sizeof k);
  return 16;
}

void aria_encrypt_block(const void *schedule, const uint8_t *in, uint8_t *out) {
  aria_crypt(static_cast<const uint8_t *>(schedule), kEncKeysOffset, in, out);
}

void aria_decrypt_block(const void *schedule, const uint8_t *in, uint8_t *out) {
  aria_crypt(static_cast<const uint8_t *>(schedule), kDecKeysOffset, in, out);
}
