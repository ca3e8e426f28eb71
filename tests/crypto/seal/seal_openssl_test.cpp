// The blob byte for byte, composed from OpenSSL's HMAC and SEED-CBC for a fixed seed.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>

#include <cstdlib>
#include <cstring>

#include "crypto/random/random.h"
#include "crypto/seal/seal.h"
#include "tests/harness/vectors.h"
#include "v7config/deployment.h"

namespace {

using v7test::Bytes;

const uint8_t kSealKey[32] = V7_SEAL_KEY_BYTES;
const uint8_t kSealMask[32] = V7_SEAL_MASK_BYTES;
uint8_t g_seed[32];

bool fixed_seed(uint8_t *out, size_t len) {
  if (len != sizeof g_seed) return false;
  std::memcpy(out, g_seed, len);
  return true;
}

Bytes hmac_sha256(const uint8_t *key, size_t key_len, const Bytes &data) {
  Bytes out(32);
  unsigned len = 0;
  HMAC(EVP_sha256(), key, int(key_len), data.data(), data.size(), out.data(), &len);
  return out;
}

Bytes derive(int rounds, const uint8_t *mask) {
  Bytes s(g_seed, g_seed + 32);
  for (int i = 0; i < rounds; i++) {
    Bytes h = hmac_sha256(kSealKey, sizeof kSealKey, s);
    if (mask) for (int j = 0; j < 32; j++) h[j] ^= mask[j];
    std::memcpy(s.data(), h.data() + 16, 16);
    std::memcpy(s.data() + 16, h.data(), 16);
  }
  return s;
}

Bytes seed_cbc(const Bytes &key_iv, const Bytes &plain) {
  OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  OSSL_PROVIDER *standard = OSSL_PROVIDER_load(nullptr, "default");
  EVP_CIPHER *seed = EVP_CIPHER_fetch(nullptr, "SEED-CBC", nullptr);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes out(plain.size() + 16);
  int n1 = 0, n2 = 0;
  EXPECT_EQ(1, EVP_EncryptInit_ex(ctx, seed, nullptr, key_iv.data(), key_iv.data() + 16));
  EXPECT_EQ(1, EVP_EncryptUpdate(ctx, out.data(), &n1, plain.data(), int(plain.size())));
  EXPECT_EQ(1, EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2));
  out.resize(size_t(n1 + n2));
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(seed);
  OSSL_PROVIDER_unload(standard);
  OSSL_PROVIDER_unload(legacy);
  return out;
}

TEST(SealAgainstOpenSsl, TheBlobIsTheComposedFormat) {
  for (int i = 0; i < 32; i++) g_seed[i] = uint8_t(0xA0 + i);
  const Bytes secret = v7test::to_bytes("C:\\Users\\test\\AppData\\LocalLow\\NPKI");
  rng_set_system_source(fixed_seed);
  uint8_t *blob = nullptr;
  size_t len = 0;
  int code = seal_secret(&blob, &len, secret.data(), secret.size());
  rng_set_system_source(nullptr);
  ASSERT_EQ(0, code);
  Bytes got(blob, blob + len);
  std::free(blob);

  Bytes key_iv = derive(64, kSealMask);  // key = bytes 0..15, IV = bytes 16..31
  Bytes mac_key = derive(16, nullptr);
  Bytes expected = {0x01, 0x01};
  expected.insert(expected.end(), g_seed, g_seed + 32);
  Bytes body = seed_cbc(key_iv, secret);
  expected.insert(expected.end(), body.begin(), body.end());
  Bytes mac = hmac_sha256(mac_key.data(), mac_key.size(), expected);
  expected.insert(expected.end(), mac.begin(), mac.end());
  EXPECT_EQ(v7test::to_hex(expected), v7test::to_hex(got));
}

}  // namespace
