// SEED and ARIA single blocks against OpenSSL's ECB, over seeded random keys and blocks.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <ostream>
#include <random>
#include <vector>

#include "crypto/cipher/internal.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

struct Case {
  const char *openssl_name;
  size_t key_len;
  int (*set_key)(const uint8_t *, size_t, void *);
  void (*encrypt)(const void *, const uint8_t *, uint8_t *);
  void (*decrypt)(const void *, const uint8_t *, uint8_t *);
  size_t schedule_size;
};

const Case kCases[] = {
    {"SEED-ECB", 16, seed_set_key, seed_encrypt_block, seed_decrypt_block, kSeedScheduleSize},
    {"ARIA-128-ECB", 16, aria_set_key, aria_encrypt_block, aria_decrypt_block, kAriaScheduleSize},
    {"ARIA-192-ECB", 24, aria_set_key, aria_encrypt_block, aria_decrypt_block, kAriaScheduleSize},
    {"ARIA-256-ECB", 32, aria_set_key, aria_encrypt_block, aria_decrypt_block, kAriaScheduleSize},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.openssl_name; }

// One block through OpenSSL, in either direction.
Bytes openssl_block(const EVP_CIPHER *cipher, const Bytes &key, const Bytes &in, bool encrypt) {
  Bytes out(32);
  int len = 0;
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  bool ok = ctx != nullptr && EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), nullptr, encrypt ? 1 : 0) &&
            EVP_CIPHER_CTX_set_padding(ctx, 0) &&
            EVP_CipherUpdate(ctx, out.data(), &len, in.data(), int(in.size())) && len == 16;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) ADD_FAILURE() << "OpenSSL failed";
  out.resize(16);
  return out;
}

class SeedAriaVsOpenssl : public ::testing::TestWithParam<Case> {};

TEST_P(SeedAriaVsOpenssl, RandomKeysAndBlocks) {
  const Case &c = GetParam();
  // SEED is only in the legacy provider, and loading one provider hides the default one.
  OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  OSSL_PROVIDER *fallback = OSSL_PROVIDER_load(nullptr, "default");
  EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, c.openssl_name, nullptr);
  ASSERT_NE(nullptr, cipher) << c.openssl_name;

  std::mt19937 rng(0x5eeda61a);
  std::vector<uint8_t> schedule(c.schedule_size);
  for (int k = 0; k < 200; k++) {
    Bytes key(c.key_len);
    for (auto &b : key) b = uint8_t(rng());
    ASSERT_EQ(16, c.set_key(key.data(), key.size(), schedule.data()));
    for (int n = 0; n < 5; n++) {
      Bytes block(16), ours(16), back(16);
      for (auto &b : block) b = uint8_t(rng());
      SCOPED_TRACE("key " + to_hex(key) + " block " + to_hex(block));
      c.encrypt(schedule.data(), block.data(), ours.data());
      EXPECT_EQ(to_hex(openssl_block(cipher, key, block, true)), to_hex(ours));
      c.decrypt(schedule.data(), block.data(), back.data());
      EXPECT_EQ(to_hex(openssl_block(cipher, key, block, false)), to_hex(back));
    }
  }
  EVP_CIPHER_free(cipher);
  OSSL_PROVIDER_unload(fallback);
  OSSL_PROVIDER_unload(legacy);
}

INSTANTIATE_TEST_SUITE_P(All, SeedAriaVsOpenssl, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) {
                           std::string name = info.param.openssl_name;
                           for (char &ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

}  // namespace
