#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>

#include "crypto/random/random.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::from_hex;
using v7test::to_hex;

struct RngDeleter {
  void operator()(RANDOM_CTX *ctx) const { rng_free(ctx); }
};
using Rng = std::unique_ptr<RANDOM_CTX, RngDeleter>;

Rng seeded(int type, const Bytes &seed) { return Rng(rng_new_seeded(type, seed.data(), seed.size())); }

Bytes draw(RANDOM_CTX *ctx, size_t n) {
  Bytes out(n);
  EXPECT_EQ(n, rng_fill_bytes(out.data(), ctx, n));
  return out;
}

TEST(Mt19937, ReproducesTheReferenceSequence) {
  Rng rng = seeded(RNG_TYPE_MT19937, from_hex("00001571"));  // 5489
  ASSERT_TRUE(rng);
  EXPECT_EQ(3499211612u, rng_next_u32(rng.get()));
  EXPECT_EQ(581869302u, rng_next_u32(rng.get()));
  EXPECT_EQ(3890346734u, rng_next_u32(rng.get()));
  for (int i = 4; i < 10000; i++) rng_next_u32(rng.get());
  EXPECT_EQ(4123659995u, rng_next_u32(rng.get()));  // the 10000th output
}

TEST(Mt19937, BytesAreWholeWordsThenTheLowBytesOfOneMore) {
  std::mt19937 oracle(123456789u);
  uint32_t w0 = oracle(), w1 = oracle();
  Rng rng = seeded(RNG_TYPE_MT19937, from_hex("075bcd15"));
  ASSERT_TRUE(rng);
  const uint8_t expected[6] = {uint8_t(w0 >> 24), uint8_t(w0 >> 16), uint8_t(w0 >> 8), uint8_t(w0),
                               uint8_t(w1 >> 8), uint8_t(w1)};
  EXPECT_EQ(to_hex(expected, 6), to_hex(draw(rng.get(), 6)));
}

TEST(Lcg, YieldsTheLowWordOfEachStepWithTheLeftoverFirst) {
  // glibc's jrand48 takes the state 0xABCD1234330E to 0x7056DB005101, then to 0x9D4C12D56378.
  const Bytes state = from_hex("abcd1234330e");
  Rng four = seeded(RNG_TYPE_LCG, state);
  ASSERT_TRUE(four);
  EXPECT_EQ("db005101", to_hex(draw(four.get(), 4)));
  EXPECT_EQ("12d56378", to_hex(draw(four.get(), 4)));
  // 5 bytes: the lowest byte of the first step's word, then the whole second word.
  Rng five = seeded(RNG_TYPE_LCG, state);
  EXPECT_EQ("0112d56378", to_hex(draw(five.get(), 5)));
}

TEST(Sha1Generator, ReproducesTheFips186Example) {
  const Bytes xkey = from_hex("bd029bbe7f51960bcf9edb2b61f06f0feb5a38b6");
  const std::string w0 = "2070b3223dba372fde1c0ffc7b2e3b498b260614";
  const std::string w1 = "3c6c18bacb0f6c55babb13788e20d737a3275116";
  Rng forty = seeded(RNG_TYPE_SHA1, xkey);
  ASSERT_TRUE(forty);
  EXPECT_EQ(w0 + w1, to_hex(draw(forty.get(), 40)));
  // 21 bytes: the last byte of one round, then the whole next round.
  Rng twenty_one = seeded(RNG_TYPE_SHA1, xkey);
  EXPECT_EQ(w0.substr(38) + w1, to_hex(draw(twenty_one.get(), 21)));
}

TEST(RandomBits, SetsThePatternsAndClearsTheBitsAbove) {
  Rng rng(rng_new(RNG_TYPE_SYSTEM));
  ASSERT_TRUE(rng);
  uint32_t n[32];
  ASSERT_EQ(0, bn_random_bits(3, n, 1024, rng.get(), 1));
  EXPECT_EQ(0xC0000000u, n[31] & 0xC0000000u);
  EXPECT_EQ(1u, n[0] & 1);

  uint32_t m[2];
  ASSERT_EQ(0, bn_random_bits(3, m, 40, rng.get(), 0));
  EXPECT_EQ(0xC0u, m[1] & 0xFFFFFFC0u);

  uint32_t one;
  EXPECT_EQ(1001, bn_random_bits(1, &one, 1, rng.get(), 1));
  EXPECT_EQ(1001, bn_random_bits(1, &one, 8, nullptr, 1));
}

TEST(RandomContext, RefusesBadArguments) {
  errno = 0;
  EXPECT_EQ(nullptr, rng_new(4));
  EXPECT_EQ(1001, errno);
  Rng rng(rng_new(RNG_TYPE_LCG));
  ASSERT_TRUE(rng);
  uint8_t b[1];
  EXPECT_EQ(0u, rng_fill_bytes(b, rng.get(), 0));
  EXPECT_EQ(1001, errno);
  EXPECT_EQ(nullptr, rng_new_seeded(RNG_TYPE_SHA1, b, 1));
  rng_free(nullptr);
}

bool no_entropy(uint8_t *, size_t) { return false; }

TEST(RandomContext, FailsClosedWithoutEntropy) {
  rng_set_system_source(no_entropy);
  uint8_t out[32];
  std::memset(out, 0xAA, sizeof out);
  RANDOM_CTX system = {RNG_TYPE_SYSTEM, 0, nullptr};
  errno = 0;
  EXPECT_EQ(0u, rng_fill_bytes(out, &system, sizeof out));
  EXPECT_EQ(1265, errno);
  for (uint8_t b : out) EXPECT_EQ(0, b);
  for (int type : {RNG_TYPE_LCG, RNG_TYPE_MT19937, RNG_TYPE_SHA1}) {
    EXPECT_EQ(nullptr, rng_new(type)) << type;
    EXPECT_EQ(1265, errno);
  }
  EXPECT_EQ(1265, rand_seed32(out));
  rng_set_system_source(nullptr);
  EXPECT_EQ(0, rand_seed32(out));
}

TEST(RandomContext, GeneratorsMadeByRngNewDiffer) {
  // Seeded from the OS, two generators made in the same millisecond must not agree.
  for (int type : {RNG_TYPE_LCG, RNG_TYPE_MT19937, RNG_TYPE_SHA1, RNG_TYPE_SYSTEM}) {
    Rng a(rng_new(type)), b(rng_new(type));
    ASSERT_TRUE(a && b);
    EXPECT_NE(to_hex(draw(a.get(), 16)), to_hex(draw(b.get(), 16))) << type;
  }
}

}  // namespace
