#include <cerrno>

#include "platform/errors/errno_util.h"
#include "tests/crypto/bignum/bn_test_util.h"
#include "tests/harness/vectors.h"

using bntest::Guarded;
using bntest::Num;

namespace {

struct FromBytesCase {
  const char *hex;
  size_t words;
  Num want;
};

TEST(BignumWords, FromBytesKeepsTheLastBytesAndZeroExtends) {
  const FromBytesCase cases[] = {
      {"0102030405", 1, {0x02030405}},  // longer input: the last 4n bytes
      {"010203", 2, {0x00010203, 0}},   // shorter input: zero top word
      {"", 2, {0, 0}},                  // empty input
      {"ff", 1, {0xff}},
      {"0102030405060708", 2, {0x05060708, 0x01020304}},
  };
  for (const auto &c : cases) {
    v7test::Bytes bytes = v7test::from_hex(c.hex);
    Guarded a(c.words);
    mp_from_bytes(c.words, a.data(), bytes.data(), bytes.size());
    EXPECT_EQ(a.value(), c.want) << c.hex;
    EXPECT_TRUE(a.intact());
  }
  // Ten bytes into two words: bytes 3..10.
  v7test::Bytes ten = v7test::from_hex("aabbccddeeff00112233");
  Num two(2);
  mp_from_bytes(2, two.data(), ten.data(), ten.size());
  EXPECT_EQ(two, (Num{0x00112233, 0xccddeeff}));
  // A null pointer with no bytes is an empty input.
  mp_from_bytes(2, two.data(), nullptr, 0);
  EXPECT_EQ(two, (Num{0, 0}));
}

struct ToBytesCase {
  Num a;
  size_t length;
  int overflow;
  const char *want;
};

TEST(BignumWords, ToBytesPadsOrReportsTruncation) {
  const ToBytesCase cases[] = {
      {{0, 0}, 5, 0, "0000000000"},  // zero writes only zero bytes
      {{0x00ABCDEF}, 2, 1, "cdef"},  // a 3-byte number into 2 bytes: low bytes, returns 1
      {{0x00ABCDEF}, 3, 0, "abcdef"},
      {{0x00ABCDEF, 0}, 6, 0, "000000abcdef"},
      {{0x05060708, 0x01020304}, 8, 0, "0102030405060708"},
      {{0x05060708, 0x01020304}, 7, 1, "02030405060708"},
      {{0x1}, 0, 1, ""},
      {{0}, 0, 0, ""},
  };
  for (const auto &c : cases) {
    std::vector<uint8_t> out(c.length + 1, 0xEE);
    EXPECT_EQ(mp_to_bytes(c.a.data(), c.length, c.a.size(), out.data()), c.overflow) << c.want;
    EXPECT_EQ(v7test::to_hex(out.data(), c.length), c.want);
    EXPECT_EQ(out[c.length], 0xEE);
  }
}

TEST(BignumWords, CountsAndBitLengths) {
  EXPECT_EQ(mp_word_bits(0), 0);
  for (int b = 0; b < 32; b++) {
    EXPECT_EQ(mp_word_bits(1u << b), b + 1);
    EXPECT_EQ(mp_word_bits((2u << b) - 1), b + 1);
  }
  const Num a = {5, 0, 0x80000000u, 0, 0};
  EXPECT_EQ(mp_word_count(5, a.data()), 3u);
  EXPECT_EQ(mp_bit_length(5, a.data()), 96u);
  EXPECT_EQ(mp_bit_length(2, a.data()), 3u);
  EXPECT_EQ(mp_word_count(0, a.data()), 0u);
  EXPECT_EQ(mp_bit_length(1, Num{0}.data()), 0u);

  const Num zero = {0, 0}, one = {1, 0}, big_one = {1, 1};
  EXPECT_EQ(mp_is_zero(zero.data(), 2), 1);
  EXPECT_EQ(mp_is_zero(one.data(), 2), 0);
  EXPECT_EQ(mp_is_one(one.data(), 2), 1);
  EXPECT_EQ(mp_is_one(big_one.data(), 2), 0);
  EXPECT_EQ(mp_is_one(zero.data(), 2), 0);
  EXPECT_EQ(mp_is_zero(nullptr, 0), 1);
  EXPECT_EQ(mp_is_one(nullptr, 0), 0);

  EXPECT_EQ(mp_cmp(Num{0, 2}.data(), Num{0xFFFFFFFF, 1}.data(), 2), 1);
  EXPECT_EQ(mp_cmp(Num{7, 2}.data(), Num{7, 2}.data(), 2), 0);
  EXPECT_EQ(mp_cmp(Num{6, 2}.data(), Num{7, 2}.data(), 2), -1);
}

TEST(BignumWords, AddAndSubtractCarryAndBorrow) {
  Num a = {0xFFFFFFFF, 0xFFFFFFFF, 0}, b = {1, 0, 0}, out(3);
  EXPECT_EQ(mp_add(a.data(), out.data(), b.data(), 2), 1u);  // carry out of the top
  EXPECT_EQ(out, (Num{0, 0, 0}));
  EXPECT_EQ(mp_add(a.data(), out.data(), b.data(), 3), 0u);
  EXPECT_EQ(out, (Num{0, 0, 1}));
  // mp_sub (b, out, a, n) is a - b.
  EXPECT_EQ(mp_sub(b.data(), out.data(), Num{0, 0, 1}.data(), 3), 0u);
  EXPECT_EQ(out, (Num{0xFFFFFFFF, 0xFFFFFFFF, 0}));
  EXPECT_EQ(mp_sub(Num{0, 0, 1}.data(), out.data(), b.data(), 3), 1u);  // 1 - 2^64 borrows
  EXPECT_EQ(out, (Num{1, 0, 0xFFFFFFFF}));
  // In place.
  Num x = {0xFFFFFFFF, 5};
  mp_add(x.data(), x.data(), x.data(), 2);
  EXPECT_EQ(x, (Num{0xFFFFFFFE, 11}));
  mp_sub(x.data(), x.data(), x.data(), 2);
  EXPECT_EQ(x, (Num{0, 0}));
}

TEST(BignumWords, WordProductsAndTheSetCarryWord) {
  std::mt19937 rng(104);
  for (size_t n = 0; n <= 12; n++) {
    Num a = bntest::random_num(rng, n);
    uint32_t w = n % 3 ? rng() : 0xFFFFFFFFu;
    Guarded out(n + 1);
    mp_mul_word(a.data(), out.data(), w, n);
    EXPECT_EQ(out.value(), bntest::ref_mul(a, Num{w})) << n;
    EXPECT_TRUE(out.intact());

    // acc word n is set to the carry word: whatever it held before is gone.
    Num acc = bntest::random_num(rng, n);
    Num expect = acc;
    expect.push_back(0);
    Num prod = bntest::ref_mul(a, Num{w});
    uint64_t carry = 0;
    for (size_t i = 0; i <= n; i++) {
      carry += (uint64_t)expect[i] + prod[i];
      expect[i] = (uint32_t)carry;
      carry >>= 32;
    }
    acc.push_back(0x12345678u);
    uint32_t top = mp_mul_word_add(n, acc.data(), a.data(), w);
    EXPECT_EQ(acc, expect) << n;
    EXPECT_EQ(top, acc[n]);
  }
}

TEST(BignumWords, ShiftsTruncateAndZeroExtend) {
  std::mt19937 rng(7);
  const size_t shifts[] = {0, 1, 31, 32, 33, 63, 64, 95, 200};
  for (size_t bits : shifts) {
    for (size_t n : {1u, 3u, 4u}) {
      Num a = bntest::random_num(rng, n);
      a[0] |= 1;
      // Left: compare with a * 2^bits, truncated to 3 words.
      Num pow2(bits / 32 + 1, 0);
      pow2[bits / 32] = 1u << (bits % 32);
      Num want = bntest::ref_mul(a, pow2);
      want.resize(3);
      Guarded out(3);
      bn_shift_left(out.data(), 3, bits, a.data(), n);
      EXPECT_EQ(out.value(), want) << bits << " " << n;
      EXPECT_TRUE(out.intact());
      // Right: compare with a / 2^bits, zero-extended to 5 words.
      Num q;
      bntest::ref_divmod(a, pow2, &q, nullptr);
      q.resize(5);
      Guarded rout(5);
      bn_shift_right(bits, n, rout.data(), 5, a.data());
      EXPECT_EQ(rout.value(), q) << bits << " " << n;
      EXPECT_TRUE(rout.intact());
      // In place, both ways.
      Num in_place = a;
      in_place.resize(6);
      bn_shift_left(in_place.data(), 6, bits % 64, in_place.data(), 6);
      bn_shift_right(bits % 64, 6, in_place.data(), 6, in_place.data());
      Num a6 = a;
      a6.resize(6);
      EXPECT_EQ(in_place, a6) << bits;
    }
  }
}

TEST(BignumWords, ModWord1024) {
  std::mt19937 rng(1024);
  for (int i = 0; i < 20; i++) {
    Num a = bntest::random_num(rng, 32);
    uint32_t w = i == 0 ? 1 : i == 1 ? 0xFFFFFFFFu : i == 2 ? 3 : rng() | 1;
    EXPECT_EQ(Num{bn_mod_word_1024(a.data(), w)}, bntest::ref_mod(a, Num{w})) << w;
  }
  errno = 0;
  EXPECT_EQ(bn_mod_word_1024(Num(32, 1).data(), 0), 0u);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

}  // namespace
