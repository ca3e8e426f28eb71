#include "crypto/cipher/cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <random>

#include "platform/errors/errno_util.h"
#include "crypto/cipher/internal.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::from_hex;
using v7test::to_hex;

using CtxPtr = std::unique_ptr<CRT_CTX, void (*)(CRT_CTX *)>;

size_t key_len_of(int32_t id) {
  switch (id) {
    case kCrtCipherTripleDes:
    case kCrtCipherTripleDesAlt:
      return 24;
    case kCrtCipherDes:
      return 8;
    case kCrtCipherRc4:
      return 13;
    default:
      return 16;
  }
}

Bytes pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = uint8_t(seed + 31 * i);
  return b;
}

// A keyed context for the cipher with the given mode and padding; the IV is a block of 0xA5
// unless given. Fails the test when any step fails.
CtxPtr make_ctx(int32_t id, int mode, int padding, Bytes iv = {}, Bytes key = {}) {
  CtxPtr ctx(cipher_new(id), cipher_free);
  EXPECT_NE(nullptr, ctx.get());
  if (!ctx) return ctx;
  if (key.empty()) key = pattern(key_len_of(id), 7);
  EXPECT_NE(0, cipher_set_key(ctx.get(), key.data(), key.size())) << "errno " << errno;
  size_t block = size_t(cipher_block_len(id));
  if (iv.empty()) iv.assign(block, 0xA5);
  EXPECT_EQ(int(block), cipher_set_mode(padding, ctx.get(), mode, iv.data(), iv.size())) << "errno " << errno;
  return ctx;
}

Bytes encrypt(CRT_CTX *ctx, const Bytes &msg) {
  Bytes out(msg.size() + 16);
  size_t n = cipher_encrypt(ctx, msg.data(), msg.size(), out.data(), out.size());
  out.resize(n);
  return out;
}

// errno of a decryption is checked by the caller.
Bytes decrypt(CRT_CTX *ctx, const Bytes &ct) {
  Bytes out(ct.size());
  errno = 0;
  size_t n = cipher_decrypt(ctx, ct.data(), ct.size(), out.data(), out.size());
  out.resize(n);
  return out;
}

// Both directions refuse the call with the code; out has room for 64 bytes.
void expect_refused(CRT_CTX *ctx, const uint8_t *in, size_t in_len, uint8_t *out, int code) {
  errno = 0;
  EXPECT_EQ(0u, cipher_encrypt(ctx, in, in_len, out, 64));
  EXPECT_EQ(code, errno);
  errno = 0;
  EXPECT_EQ(0u, cipher_decrypt(ctx, in, in_len, out, 64));
  EXPECT_EQ(code, errno);
}

TEST(CipherContext, ModeKnownAnswers) {
  for (const auto &v : v7test::load_vectors("cipher_modes.txt")) {
    SCOPED_TRACE(v.where());
    Bytes iv = v.has("iv") ? v.bytes("iv") : Bytes();
    CtxPtr ctx =
        make_ctx(int32_t(v.number("cipher")), int(v.number("mode")), kCrtPaddingNone, iv, v.bytes("key"));
    Bytes pt = v.bytes("plaintext"), ct = v.bytes("ciphertext");
    EXPECT_EQ(to_hex(ct), to_hex(encrypt(ctx.get(), pt)));
    // The IV is not advanced: the same message gives the same ciphertext again.
    EXPECT_EQ(to_hex(ct), to_hex(encrypt(ctx.get(), pt)));
    EXPECT_EQ(to_hex(pt), to_hex(decrypt(ctx.get(), ct)));
    // Decryption in place.
    Bytes buf = ct;
    ASSERT_EQ(pt.size(), cipher_decrypt(ctx.get(), buf.data(), buf.size(), buf.data(), buf.size()));
    EXPECT_EQ(to_hex(pt), to_hex(buf));
  }
}

struct RoundTrip {
  int32_t id;
  int mode;
  int padding;
};

std::vector<RoundTrip> all_combinations() {
  std::vector<RoundTrip> r;
  for (int32_t id : {kCrtCipherSeed, kCrtCipherAria, kCrtCipherTripleDes, kCrtCipherTripleDesAlt,
                     kCrtCipherDes, kCrtCipherRc2, kCrtCipherRc2Bits40}) {
    for (int mode = kCrtModeEcb; mode <= kCrtModeCtr; mode++) {
      for (int padding : {kCrtPaddingPkcs7, kCrtPaddingNone, kCrtPaddingZero, kCrtPaddingNMinus1}) {
        if (padding != kCrtPaddingNMinus1 || mode == kCrtModeCbc) r.push_back({id, mode, padding});
      }
    }
  }
  return r;
}

// Every cipher, mode and padding decrypts what it encrypted, also in place, for lengths around
// the block boundaries; messages end in a nonzero byte so that zero padding gives them back.
TEST(CipherContext, RoundTripsEveryCombination) {
  for (const RoundTrip &c : all_combinations()) {
    SCOPED_TRACE(testing::Message() << "cipher " << c.id << " mode " << c.mode << " padding " << c.padding);
    CtxPtr ctx = make_ctx(c.id, c.mode, c.padding);
    size_t b = size_t(cipher_block_len(c.id));
    for (size_t len : {size_t(1), b - 1, b, b + 1, 3 * b, 3 * b + 5}) {
      SCOPED_TRACE(len);
      Bytes msg = pattern(len, uint8_t(len));
      msg.back() = 0x5A;
      Bytes ct = encrypt(ctx.get(), msg);
      size_t expected_len = (c.padding == kCrtPaddingNone && len % b == 0) ? len : (len / b + 1) * b;
      ASSERT_EQ(expected_len, ct.size());
      Bytes pt = decrypt(ctx.get(), ct);
      if (c.padding == kCrtPaddingNone) {
        Bytes padded = msg;
        padded.resize(ct.size(), 0);
        EXPECT_EQ(to_hex(padded), to_hex(pt));
      } else {
        EXPECT_EQ(to_hex(msg), to_hex(pt));
      }
      ASSERT_EQ(pt.size(), cipher_decrypt(ctx.get(), ct.data(), ct.size(), ct.data(), ct.size()));
      ct.resize(pt.size());
      EXPECT_EQ(to_hex(pt), to_hex(ct));
    }
  }
}

TEST(CipherContext, SeedCbcPkcs7OfOneBlockIsTwoBlocks) {
  // RFC 4269's first vector as the first block: key 0, plaintext 00 01 .. 0f, IV 0.
  const Bytes key(16, 0), iv(16, 0), msg = from_hex("000102030405060708090a0b0c0d0e0f");
  uint8_t out[48];
  ASSERT_EQ(32u, cipher_seed_cbc_encrypt(key.data(), iv.data(), msg.data(), 16, out, sizeof out)) << errno;
  EXPECT_EQ("5ebac6e0054e166819aff1cc6d346cdb", to_hex(out, 16));
  // The second block is sixteen 0x10 bytes chained from the first.
  uint8_t schedule[kSeedScheduleSize], block[16];
  ASSERT_EQ(16, seed_set_key(key.data(), 16, schedule));
  for (int i = 0; i < 16; i++) block[i] = uint8_t(out[i] ^ 0x10);
  seed_encrypt_block(schedule, block, block);
  EXPECT_EQ(to_hex(block, 16), to_hex(out + 16, 16));
  uint8_t back[32];
  EXPECT_EQ(16u, cipher_decrypt_oneshot(kCrtCipherSeed, key.data(), 16, iv.data(), 16, out, 32, back, 32));
  EXPECT_EQ(to_hex(msg), to_hex(back, 16));
}

TEST(CipherContext, EmptyMessageIsRefused) {
  CtxPtr ctx = make_ctx(kCrtCipherDes, kCrtModeCbc, kCrtPaddingPkcs7);
  uint8_t in[8] = {0}, out[64];
  expect_refused(ctx.get(), in, 0, out, v7::kErrInvalidParameter);
  expect_refused(ctx.get(), nullptr, 8, out, v7::kErrInvalidParameter);
  expect_refused(ctx.get(), in, 8, nullptr, v7::kErrInvalidParameter);
  expect_refused(nullptr, in, 8, out, v7::kErrInvalidParameter);
}

TEST(CipherContext, PaddingNoneZeroFillsAndStripsNothing) {
  for (int32_t id : {kCrtCipherDes, kCrtCipherSeed}) {
    SCOPED_TRACE(id);
    CtxPtr ctx = make_ctx(id, kCrtModeCbc, kCrtPaddingNone);
    Bytes msg = pattern(20, 3);
    Bytes ct = encrypt(ctx.get(), msg);
    size_t b = size_t(cipher_block_len(id));
    ASSERT_EQ(id == kCrtCipherDes ? 24u : 32u, ct.size());
    Bytes pt = decrypt(ctx.get(), ct);
    ASSERT_EQ(ct.size(), pt.size());
    EXPECT_EQ(to_hex(msg), to_hex(pt.data(), 20));
    EXPECT_EQ(std::string(2 * (pt.size() - 20), '0'), to_hex(pt.data() + 20, pt.size() - 20)) << b;
  }
}

// The last block of the plaintext is given; the message is two blocks, so that a failed check
// must wipe the first block too.
struct PadCase {
  int32_t id;
  int padding;
  const char *last_block;
  long expect;  // plain length, or -1 for 1246
};

TEST(CipherContext, PaddingChecksOnDecryption) {
  const PadCase cases[] = {
      {kCrtCipherSeed, kCrtPaddingPkcs7, "0102030405060708090a0b0c0d0e0f00", -1},
      {kCrtCipherSeed, kCrtPaddingPkcs7, "0102030405060708090a0b0c0d0e0f11", -1},
      {kCrtCipherSeed, kCrtPaddingPkcs7, "0102030405060708090a0b0c0d030203", -1},
      {kCrtCipherSeed, kCrtPaddingPkcs7, "0102030405060708090a0b0c0d030303", 29},
      {kCrtCipherSeed, kCrtPaddingPkcs7, "10101010101010101010101010101010", 16},
      {kCrtCipherSeed, kCrtPaddingPkcs7, "11101010101010101010101010101010", -1},
      {kCrtCipherDes, kCrtPaddingPkcs7, "0102030405060700", -1},
      {kCrtCipherDes, kCrtPaddingPkcs7, "0909090909090909", -1},
      {kCrtCipherDes, kCrtPaddingPkcs7, "0808080808080808", 8},
      {kCrtCipherDes, kCrtPaddingPkcs7, "0102030405060701", 15},
      {kCrtCipherDes, kCrtPaddingPkcs7, "0102030404040403", -1},
      {kCrtCipherDes, kCrtPaddingNMinus1, "0102030405060700", 15},
      {kCrtCipherDes, kCrtPaddingNMinus1, "0102030405020202", 13},
      {kCrtCipherDes, kCrtPaddingNMinus1, "0707070707070707", 8},
      {kCrtCipherDes, kCrtPaddingNMinus1, "0808080808080808", -1},
      {kCrtCipherDes, kCrtPaddingNMinus1, "0102030405060201", -1},
      {kCrtCipherDes, kCrtPaddingZero, "0102030405000000", 13},
      {kCrtCipherDes, kCrtPaddingZero, "0000000000000000", 8},
      {kCrtCipherDes, kCrtPaddingZero, "0000000000000001", -1},
      {kCrtCipherDes, kCrtPaddingNone, "0000000000000000", 16},
  };
  for (const PadCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "padding " << c.padding << " last block " << c.last_block);
    Bytes last = from_hex(c.last_block);
    Bytes plain(last.size(), 0x77);  // the first block
    plain.insert(plain.end(), last.begin(), last.end());
    CtxPtr raw = make_ctx(c.id, kCrtModeCbc, kCrtPaddingNone);
    Bytes ct = encrypt(raw.get(), plain);
    ASSERT_EQ(plain.size(), ct.size());
    CtxPtr ctx = make_ctx(c.id, kCrtModeCbc, c.padding);
    Bytes out(ct.size(), 0xEE);
    errno = 0;
    size_t n = cipher_decrypt(ctx.get(), ct.data(), ct.size(), out.data(), out.size());
    if (c.expect < 0) {
      EXPECT_EQ(0u, n);
      EXPECT_EQ(v7::kErrSymmetricDecrypt, errno);
      EXPECT_EQ(std::string(2 * out.size(), '0'), to_hex(out)) << "the whole output is wiped";
    } else {
      EXPECT_EQ(size_t(c.expect), n);
      EXPECT_EQ(to_hex(plain.data(), n), to_hex(out.data(), n));
      if (c.padding != kCrtPaddingNone && c.padding != kCrtPaddingZero) {
        EXPECT_EQ(std::string(2 * (out.size() - n), '0'), to_hex(out.data() + n, out.size() - n))
            << "pad bytes are zeroed";
      }
    }
  }
}

TEST(CipherContext, ZeroPaddingStripsTheMessagesOwnTrailingZeros) {
  CtxPtr ctx = make_ctx(kCrtCipherDes, kCrtModeCbc, kCrtPaddingZero);
  Bytes msg = from_hex("ab0000");
  Bytes ct = encrypt(ctx.get(), msg);
  ASSERT_EQ(8u, ct.size());
  EXPECT_EQ("ab", to_hex(decrypt(ctx.get(), ct)));
  // An all-zero block message gets a whole block of padding; only that block is stripped.
  Bytes zeros(8, 0);
  ct = encrypt(ctx.get(), zeros);
  ASSERT_EQ(16u, ct.size());
  EXPECT_EQ(to_hex(zeros), to_hex(decrypt(ctx.get(), ct)));
}

TEST(CipherContext, MessageOfOnlyPaddingDecryptsToNothing) {
  CtxPtr raw = make_ctx(kCrtCipherDes, kCrtModeCbc, kCrtPaddingNone);
  Bytes ct = encrypt(raw.get(), Bytes(8, 8));
  CtxPtr ctx = make_ctx(kCrtCipherDes, kCrtModeCbc, kCrtPaddingPkcs7);
  uint8_t out[8];
  errno = 1;
  EXPECT_EQ(0u, cipher_decrypt(ctx.get(), ct.data(), 8, out, 8));
  EXPECT_EQ(0, errno);
  errno = 1;
  EXPECT_EQ(0u, cipher_decrypt_oneshot(kCrtCipherDes, pattern(8, 7).data(), 8, Bytes(8, 0xA5).data(), 8,
                                       ct.data(), 8, out, 8));
  EXPECT_EQ(0, errno);
}

struct SetModeCase {
  int padding;
  int mode;
  size_t iv_len;  // 99: null IV
  int expect;     // block length, or an error code when above 16
};

TEST(CipherContext, SetModeChecksInOrder) {
  const SetModeCase cases[] = {
      {kCrtPaddingNMinus1, kCrtModeCfb, 16, v7::kErrUnsupportedCipherMode},
      {kCrtPaddingNMinus1, kCrtModeEcb, 16, v7::kErrUnsupportedCipherMode},
      {5, kCrtModeCbc, 16, v7::kErrUnsupportedPadding},
      {0, 9, 15, v7::kErrUnsupportedPadding},
      {kCrtPaddingPkcs7, 0, 16, v7::kErrUnsupportedCipherMode},
      {kCrtPaddingPkcs7, 6, 15, v7::kErrUnsupportedCipherMode},
      {kCrtPaddingPkcs7, kCrtModeCbc, 15, v7::kErrInvalidIv},
      {kCrtPaddingPkcs7, kCrtModeCtr, 17, v7::kErrInvalidIv},
      {kCrtPaddingPkcs7, kCrtModeOfb, 99, v7::kErrInvalidParameter},
      {kCrtPaddingPkcs7, kCrtModeEcb, 99, 16},
      {kCrtPaddingNMinus1, kCrtModeCbc, 16, 16},
  };
  uint8_t iv[17] = {0};
  for (const SetModeCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "padding " << c.padding << " mode " << c.mode << " iv " << c.iv_len);
    CtxPtr ctx(cipher_new(kCrtCipherSeed), cipher_free);
    errno = 0;
    int r = cipher_set_mode(c.padding, ctx.get(), c.mode, c.iv_len == 99 ? nullptr : iv, c.iv_len);
    if (c.expect > 16) {
      EXPECT_EQ(0, r);
      EXPECT_EQ(c.expect, errno);
    } else {
      EXPECT_EQ(c.expect, r);
    }
  }
  errno = 0;
  EXPECT_EQ(0, cipher_set_mode(5, nullptr, 9, nullptr, 0));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
}

TEST(CipherContext, FailedSetModeKeepsTheOldSettings) {
  CtxPtr ctx = make_ctx(kCrtCipherDes, kCrtModeCbc, kCrtPaddingPkcs7);
  CtxPtr reference = make_ctx(kCrtCipherDes, kCrtModeCbc, kCrtPaddingPkcs7);
  uint8_t iv[8] = {0};
  EXPECT_EQ(0, cipher_set_mode(kCrtPaddingZero, ctx.get(), kCrtModeOfb, iv, 7));
  EXPECT_EQ(0, cipher_set_mode(kCrtPaddingNMinus1, ctx.get(), kCrtModeCtr, iv, 8));
  Bytes msg = pattern(13, 1);
  EXPECT_EQ(to_hex(encrypt(reference.get(), msg)), to_hex(encrypt(ctx.get(), msg)));
}

TEST(CipherContext, CtrCounterWrapsOverTheWholeBlock) {
  for (int32_t id : {kCrtCipherDes, kCrtCipherSeed}) {
    SCOPED_TRACE(id);
    size_t b = size_t(cipher_block_len(id));
    CtxPtr ctr = make_ctx(id, kCrtModeCtr, kCrtPaddingNone, Bytes(b, 0xFF));
    CtxPtr ecb = make_ctx(id, kCrtModeEcb, kCrtPaddingNone);
    // Counter blocks all-FF, then zero, then one.
    Bytes counters(3 * b, 0);
    std::fill(counters.begin(), counters.begin() + b, 0xFF);
    counters[counters.size() - 1] = 1;
    Bytes keystream = encrypt(ctr.get(), Bytes(3 * b, 0));
    EXPECT_EQ(to_hex(encrypt(ecb.get(), counters)), to_hex(keystream));
  }
}

TEST(CipherContext, Rc4ContinuesItsStreamAcrossCalls) {
  const Bytes key = v7test::to_bytes("Key");
  CtxPtr whole = make_ctx(kCrtCipherRc4, kCrtModeEcb, kCrtPaddingNone, {}, key);
  CtxPtr split = make_ctx(kCrtCipherRc4, kCrtModeCbc, kCrtPaddingPkcs7, {}, key);
  Bytes one = encrypt(whole.get(), v7test::to_bytes("abc"));
  Bytes three;
  for (char ch : std::string("abc")) {
    Bytes part = encrypt(split.get(), Bytes(1, uint8_t(ch)));
    three.insert(three.end(), part.begin(), part.end());
  }
  EXPECT_EQ(to_hex(one), to_hex(three));
  // The widely published example: key "Key", message "Plaintext".
  CtxPtr fresh = make_ctx(kCrtCipherRc4, kCrtModeEcb, kCrtPaddingNone, {}, key);
  EXPECT_EQ("bbf316e8d940af0ad3", to_hex(encrypt(fresh.get(), v7test::to_bytes("Plaintext"))));
  // Decryption is the same operation and also continues the stream.
  CtxPtr dec = make_ctx(kCrtCipherRc4, kCrtModeEcb, kCrtPaddingNone, {}, key);
  EXPECT_EQ("Plaintext", [&] {
    Bytes p = decrypt(dec.get(), from_hex("bbf316e8d940af0ad3"));
    return std::string(p.begin(), p.end());
  }());
}

TEST(CipherContext, LengthAndCapacityErrors) {
  CtxPtr seed = make_ctx(kCrtCipherSeed, kCrtModeCbc, kCrtPaddingPkcs7);
  CtxPtr des = make_ctx(kCrtCipherDes, kCrtModeCbc, kCrtPaddingPkcs7);
  CtxPtr rc4 = make_ctx(kCrtCipherRc4, kCrtModeEcb, kCrtPaddingNone);
  uint8_t in[32] = {0}, out[32];
  struct Case {
    CRT_CTX *ctx;
    bool encrypt;
    size_t len, capacity;
    int code;
  } cases[] = {
      {seed.get(), false, 15, 32, v7::kErrInvalidCipherText},
      {des.get(), false, 7, 32, v7::kErrInvalidCipherText},
      {des.get(), false, 16, 15, v7::kErrInsufficientBuffer},
      {des.get(), true, 8, 15, v7::kErrInsufficientBuffer},
      {des.get(), true, 7, 7, v7::kErrInsufficientBuffer},
      {rc4.get(), true, 5, 4, v7::kErrInsufficientBuffer},
      {rc4.get(), false, 5, 4, v7::kErrInsufficientBuffer},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << (c.encrypt ? "encrypt " : "decrypt ") << c.len << " into "
                                    << c.capacity);
    errno = 0;
    size_t n = c.encrypt ? cipher_encrypt(c.ctx, in, c.len, out, c.capacity)
                         : cipher_decrypt(c.ctx, in, c.len, out, c.capacity);
    EXPECT_EQ(0u, n);
    EXPECT_EQ(c.code, errno);
  }
  EXPECT_EQ(16u, cipher_encrypt(des.get(), in, 8, out, 16));
  EXPECT_EQ(5u, cipher_encrypt(rc4.get(), in, 5, out, 5));
}

TEST(CipherContext, UnkeyedContextIsRefused) {
  uint8_t in[16] = {0}, out[64];
  CtxPtr never(cipher_new(kCrtCipherDes), cipher_free);
  expect_refused(never.get(), in, 8, out, v7::kErrCrtContext);

  // A set-key that fails takes the old key away as well.
  for (int32_t id : {kCrtCipherTripleDes, kCrtCipherRc4}) {
    SCOPED_TRACE(id);
    CtxPtr ctx = make_ctx(id, kCrtModeEcb, kCrtPaddingNone);
    ASSERT_EQ(8u, cipher_encrypt(ctx.get(), in, 8, out, sizeof out));
    uint8_t bad_key[8] = {1};
    errno = 0;
    EXPECT_EQ(0, cipher_set_key(ctx.get(), bad_key, id == kCrtCipherRc4 ? 0 : 8));
    EXPECT_NE(0, errno);
    expect_refused(ctx.get(), in, 8, out, v7::kErrCrtContext);
  }
}

TEST(CipherContext, SetKeyErrors) {
  CtxPtr ctx(cipher_new(kCrtCipherDes), cipher_free);
  uint8_t key[16] = {1};
  struct Case {
    CRT_CTX *ctx;
    const uint8_t *key;
    size_t len;
    int code;
  } cases[] = {{nullptr, key, 8, v7::kErrInvalidParameter},
               {ctx.get(), nullptr, 8, v7::kErrInvalidParameter},
               {ctx.get(), key, 0, v7::kErrInvalidParameter},
               {ctx.get(), key, 16, v7::kErrIncorrectKey}};
  for (const Case &c : cases) {
    errno = 0;
    EXPECT_EQ(0, cipher_set_key(c.ctx, c.key, c.len));
    EXPECT_EQ(c.code, errno);
  }
  EXPECT_EQ(8, cipher_set_key(ctx.get(), key, 8));
}

TEST(CipherContext, CipherIdsAndBlockLengths) {
  const struct {
    int32_t id;
    int block;
  } known[] = {{1, 16}, {2, 16}, {5, 8}, {6, 8}, {7, 8}, {9, 8}, {10, 8}, {11, 1}};
  for (const auto &k : known) {
    EXPECT_EQ(k.block, cipher_block_len(k.id)) << k.id;
    CtxPtr ctx(cipher_new(k.id), cipher_free);
    EXPECT_NE(nullptr, ctx.get()) << k.id;
  }
  for (int32_t id : {0, 3, 4, 8, 12, 13, -1, 4097}) {
    errno = 0;
    EXPECT_EQ(0, cipher_block_len(id)) << id;
    EXPECT_EQ(v7::kErrUnsupportedCipher, errno);
    errno = 0;
    EXPECT_EQ(nullptr, cipher_new(id)) << id;
    EXPECT_EQ(v7::kErrUnsupportedCipher, errno);
  }
  cipher_free(nullptr);
}

TEST(CipherContext, OneShotsReportTheFailingStep) {
  uint8_t key[24] = {1}, iv[16] = {2}, in[32] = {0}, out[48];
  struct Case {
    int32_t id;
    size_t key_len, iv_len, in_len;
    int code;
  } cases[] = {{3, 16, 16, 16, v7::kErrUnsupportedCipher},
               {kCrtCipherDes, 16, 8, 16, v7::kErrIncorrectKey},
               {kCrtCipherDes, 8, 16, 16, v7::kErrInvalidIv},
               {kCrtCipherDes, 8, 8, 12, v7::kErrInvalidCipherText},
               {kCrtCipherDes, 8, 8, 16, v7::kErrSymmetricDecrypt}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code);
    errno = 0;
    EXPECT_EQ(0u, cipher_decrypt_oneshot(c.id, key, c.key_len, iv, c.iv_len, in, c.in_len, out, sizeof out));
    EXPECT_EQ(c.code, errno);
  }
  errno = 0;
  EXPECT_EQ(0u, cipher_seed_cbc_encrypt(nullptr, iv, in, 16, out, sizeof out));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  errno = 0;
  EXPECT_EQ(0u, cipher_seed_cbc_encrypt(key, nullptr, in, 16, out, sizeof out));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
}

TEST(CipherContext, OneShotDecryptsCbcPkcs7OfEveryBlockCipher) {
  std::mt19937 rng(20261210);
  for (int32_t id :
       {kCrtCipherSeed, kCrtCipherAria, kCrtCipherTripleDes, kCrtCipherDes, kCrtCipherRc2Bits40}) {
    SCOPED_TRACE(id);
    Bytes key(key_len_of(id)), iv(size_t(cipher_block_len(id))), msg(37);
    for (Bytes *b : {&key, &iv, &msg})
      for (auto &x : *b) x = uint8_t(rng());
    CtxPtr ctx = make_ctx(id, kCrtModeCbc, kCrtPaddingPkcs7, iv, key);
    Bytes ct = encrypt(ctx.get(), msg);
    Bytes out(ct.size());
    ASSERT_EQ(msg.size(), cipher_decrypt_oneshot(id, key.data(), key.size(), iv.data(), iv.size(), ct.data(),
                                                 ct.size(), out.data(), out.size()));
    out.resize(msg.size());
    EXPECT_EQ(to_hex(msg), to_hex(out));
  }
}

TEST(XorBytes, MayWriteOverEitherInput) {
  Bytes a = pattern(19, 1), b = pattern(19, 200), expected(19);
  for (size_t i = 0; i < 19; i++) expected[i] = uint8_t(a[i] ^ b[i]);
  Bytes x = a;
  xor_bytes(x.data(), x.size(), x.data(), b.data());
  EXPECT_EQ(to_hex(expected), to_hex(x));
  Bytes y = b;
  xor_bytes(y.data(), y.size(), a.data(), y.data());
  EXPECT_EQ(to_hex(expected), to_hex(y));
  errno = 0;
  xor_bytes(nullptr, 3, a.data(), b.data());
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  xor_bytes(nullptr, 0, nullptr, nullptr);
}

}  // namespace
