#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/random/os_random.h"

namespace {

TEST(OsRandom, FillsWholeBuffersThatDiffer) {
  // 300,000 bytes cross the chunking of every back-end; two draws of 64 bytes colliding would
  // mean the source is not random at all.
  std::vector<uint8_t> big(300000, 0);
  ASSERT_TRUE(platform_random_bytes(big.data(), big.size()));
  size_t zeros = 0;
  for (uint8_t b : big) zeros += b == 0;
  EXPECT_LT(zeros, big.size() / 128);

  uint8_t a[64], b[64];
  ASSERT_TRUE(platform_random_bytes(a, sizeof a));
  ASSERT_TRUE(platform_random_bytes(b, sizeof b));
  EXPECT_NE(0, std::memcmp(a, b, sizeof a));
}

TEST(OsRandom, ZeroLengthSucceedsAndNullFails) {
  EXPECT_TRUE(platform_random_bytes(nullptr, 0));
  EXPECT_FALSE(platform_random_bytes(nullptr, 16));
}

}  // namespace
