#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "crypto/random/random.h"
#include "crypto/seal/seal.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;

struct Sealed {
  int code;
  Bytes blob;
  bool zero_tail;  // the two bytes after the blob
};

Sealed seal(const Bytes &secret) {
  uint8_t *blob = nullptr;
  size_t len = 0;
  Sealed s{seal_secret(&blob, &len, secret.data(), secret.size()), {}, false};
  if (s.code == 0) {
    s.blob.assign(blob, blob + len);
    s.zero_tail = blob[len] == 0 && blob[len + 1] == 0;
    std::free(blob);
  }
  return s;
}

int open(const Bytes &blob, Bytes *secret) {
  uint8_t *out = nullptr;
  size_t len = 0;
  int code = seal_open(&out, &len, blob.data(), blob.size());
  if (code == 0) {
    secret->assign(out, out + len);
    std::free(out);
  }
  return code;
}

Bytes pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = uint8_t(i * 7 + 1);
  return b;
}

TEST(Seal, BlobsHaveTheirLengthsAndOpenAgain) {
  const struct {
    size_t secret, blob;
  } cases[] = {{1, 82}, {15, 82}, {16, 98}, {17, 98}, {4096, 4096 + 16 + 66}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.secret);
    Bytes secret = pattern(c.secret);
    Sealed s = seal(secret);
    ASSERT_EQ(0, s.code);
    EXPECT_EQ(c.blob, s.blob.size());
    EXPECT_EQ(0x01, s.blob[0]);
    EXPECT_EQ(0x01, s.blob[1]);
    EXPECT_TRUE(s.zero_tail);
    Bytes opened;
    ASSERT_EQ(0, open(s.blob, &opened));
    EXPECT_EQ(secret, opened);
  }
}

TEST(Seal, TwoBlobsOfOneSecretShareNothing) {
  Bytes secret = pattern(20);
  Bytes a = seal(secret).blob, b = seal(secret).blob;
  ASSERT_EQ(a.size(), b.size());
  EXPECT_NE(Bytes(a.begin() + 2, a.begin() + 34), Bytes(b.begin() + 2, b.begin() + 34));
  EXPECT_NE(Bytes(a.begin() + 34, a.end() - 32), Bytes(b.begin() + 34, b.end() - 32));
  EXPECT_NE(Bytes(a.end() - 32, a.end()), Bytes(b.end() - 32, b.end()));
}

TEST(Seal, AnyChangedOrMissingByteIsRefused) {
  Bytes blob = seal(pattern(17)).blob;
  Bytes out;
  for (size_t i = 0; i < blob.size(); i++) {
    Bytes bad = blob;
    bad[i] ^= 0x01;
    EXPECT_NE(0, open(bad, &out)) << "byte " << i;
  }
  for (size_t len = 0; len < blob.size(); len++) {
    EXPECT_NE(0, open(Bytes(blob.begin(), blob.begin() + len), &out)) << "length " << len;
  }
  Bytes longer = blob;
  longer.push_back(0);
  EXPECT_NE(0, open(longer, &out));
}

TEST(Seal, RefusesMissingAndEmptyInput) {
  uint8_t *blob = nullptr;
  size_t len = 0;
  const uint8_t one = 1;
  EXPECT_EQ(1001, seal_secret(&blob, &len, &one, 0));
  EXPECT_EQ(1001, seal_secret(&blob, &len, nullptr, 1));
  EXPECT_EQ(1001, seal_secret(nullptr, &len, &one, 1));
  EXPECT_EQ(1001, seal_secret(&blob, &len, &one, SIZE_MAX - 10));
  EXPECT_EQ(nullptr, blob);
  EXPECT_EQ(0u, len);
}

bool no_entropy(uint8_t *, size_t) { return false; }

TEST(Seal, FailsWithoutASeedAndLeavesTheOutputs) {
  rng_set_system_source(no_entropy);
  uint8_t *blob = nullptr;
  size_t len = 7;
  const uint8_t secret[4] = {1, 2, 3, 4};
  EXPECT_EQ(1265, seal_secret(&blob, &len, secret, sizeof secret));
  rng_set_system_source(nullptr);
  EXPECT_EQ(nullptr, blob);
  EXPECT_EQ(7u, len);
}

}  // namespace
