#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/errors/errno_util.h"
#include "crypto/cipher/cipher.h"
#include "crypto/cipher/internal.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

TEST(Rc2, Rfc2268Vectors) {
  for (const auto &v : v7test::load_vectors("rc2.txt")) {
    SCOPED_TRACE(v.where());
    Bytes key = v.bytes("key"), pt = v.bytes("plaintext"), ct = v.bytes("ciphertext");
    uint16_t schedule[64];
    ASSERT_EQ(8, rc2_set_key(key.data(), key.size(), int(v.number("bits")), schedule));
    uint8_t out[8];
    rc2_encrypt_block(schedule, pt.data(), out);
    EXPECT_EQ(to_hex(ct), to_hex(out, 8));
    rc2_decrypt_block(schedule, out, out);
    EXPECT_EQ(to_hex(pt), to_hex(out, 8));
  }
}

TEST(Rc2, RefusesBadKeysAndBits) {
  uint8_t key[129] = {0x88};
  uint16_t schedule[64];
  struct Case {
    size_t len;
    int bits;
    int code;
  } cases[] = {{129, 128, v7::kErrIncorrectKey},
               {0, 128, v7::kErrIncorrectKey},
               {16, 0, v7::kErrInvalidParameter},
               {16, 1025, v7::kErrInvalidParameter}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.len);
    errno = 0;
    EXPECT_EQ(0, rc2_set_key(key, c.len, c.bits, schedule));
    EXPECT_EQ(c.code, errno);
  }
  EXPECT_EQ(8, rc2_set_key(key, 128, 1024, schedule));
  EXPECT_EQ(8, rc2_set_key(key, 1, 1, schedule));
}

// The cipher ids fix the effective bits: id 9 is 128 bits, id 10 is 40 bits.
TEST(Rc2, CipherIdsSelectTheEffectiveBits) {
  const Bytes key = v7test::from_hex("88bca90e90875a7f0f79c384627bafb2");
  const uint8_t zero[8] = {0};
  for (int32_t id : {kCrtCipherRc2, kCrtCipherRc2Bits40}) {
    SCOPED_TRACE(id);
    uint16_t schedule[64];
    ASSERT_EQ(8, rc2_set_key(key.data(), key.size(), id == kCrtCipherRc2 ? 128 : 40, schedule));
    uint8_t expected[8];
    rc2_encrypt_block(schedule, zero, expected);
    std::unique_ptr<CRT_CTX, void (*)(CRT_CTX *)> ctx(cipher_new(id), cipher_free);
    ASSERT_EQ(8, cipher_set_key(ctx.get(), key.data(), key.size()));
    uint8_t out[8];
    ASSERT_EQ(8u, cipher_encrypt(ctx.get(), zero, 8, out, sizeof out));
    EXPECT_EQ(to_hex(expected, 8), to_hex(out, 8));
    if (id == kCrtCipherRc2) {
      EXPECT_EQ("2269552ab0f85ca6", to_hex(out, 8));
    }
  }
}

TEST(Rc4, Rfc6229Keystreams) {
  for (const auto &v : v7test::load_vectors("rc4.txt")) {
    SCOPED_TRACE(v.where());
    Bytes key = v.bytes("key");
    size_t offset = size_t(v.number("offset"));
    uint8_t schedule[kRc4ScheduleSize];
    ASSERT_EQ(1, rc4_set_key(key.data(), key.size(), schedule));
    Bytes zeros(offset + 16), stream(offset + 16);
    // In uneven pieces, so that the stored indices carry the stream across calls.
    size_t done = 0;
    for (size_t piece = 1; done < zeros.size(); piece = piece * 3 + 1) {
      size_t n = std::min(piece, zeros.size() - done);
      EXPECT_EQ(n, rc4_process(schedule, zeros.data() + done, n, stream.data() + done));
      done += n;
    }
    EXPECT_EQ(to_hex(v.bytes("keystream")), to_hex(stream.data() + offset, 16));
  }
}

TEST(Rc4, RefusesAnEmptyKey) {
  uint8_t key[1] = {1}, schedule[kRc4ScheduleSize];
  errno = 0;
  EXPECT_EQ(0, rc4_set_key(key, 0, schedule));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  EXPECT_EQ(0, rc4_set_key(nullptr, 1, schedule));
  EXPECT_EQ(1, rc4_set_key(key, 1, schedule));
}

}  // namespace
