// The cipher context against OpenSSL's EVP ciphers over seeded random keys, IVs and messages.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/cipher/cipher.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

// Single DES, RC2, RC4 and SEED live in the legacy provider; loading it hides the default one
// unless that is loaded too. Both are unloaded again so that nothing is left behind.
class Providers {
 public:
  Providers()
      : legacy_(OSSL_PROVIDER_load(nullptr, "legacy")), fallback_(OSSL_PROVIDER_load(nullptr, "default")) {}
  ~Providers() {
    if (fallback_) OSSL_PROVIDER_unload(fallback_);
    if (legacy_) OSSL_PROVIDER_unload(legacy_);
  }
  bool loaded() const { return legacy_ && fallback_; }

 private:
  OSSL_PROVIDER *legacy_;
  OSSL_PROVIDER *fallback_;
};

struct Oracle {
  int32_t id;
  int mode;
  const char *name;  // for CTR where OpenSSL has none: the ECB cipher over counter blocks
  size_t min_key, max_key;
  int rc2_bits;  // 0 unless RC2
};

const Oracle kOracles[] = {
    {kCrtCipherDes, kCrtModeEcb, "DES-ECB", 8, 8, 0},
    {kCrtCipherDes, kCrtModeCbc, "DES-CBC", 8, 8, 0},
    {kCrtCipherDes, kCrtModeCfb, "DES-CFB", 8, 8, 0},
    {kCrtCipherDes, kCrtModeOfb, "DES-OFB", 8, 8, 0},
    {kCrtCipherDes, kCrtModeCtr, "DES-ECB", 8, 8, 0},
    {kCrtCipherTripleDes, kCrtModeEcb, "DES-EDE-ECB", 16, 16, 0},
    {kCrtCipherTripleDes, kCrtModeCbc, "DES-EDE-CBC", 16, 16, 0},
    {kCrtCipherTripleDes, kCrtModeCfb, "DES-EDE-CFB", 16, 16, 0},
    {kCrtCipherTripleDes, kCrtModeOfb, "DES-EDE-OFB", 16, 16, 0},
    {kCrtCipherTripleDesAlt, kCrtModeCtr, "DES-EDE-ECB", 16, 16, 0},
    {kCrtCipherTripleDesAlt, kCrtModeEcb, "DES-EDE3-ECB", 24, 24, 0},
    {kCrtCipherTripleDesAlt, kCrtModeCbc, "DES-EDE3-CBC", 24, 24, 0},
    {kCrtCipherTripleDesAlt, kCrtModeCfb, "DES-EDE3-CFB", 24, 24, 0},
    {kCrtCipherTripleDesAlt, kCrtModeOfb, "DES-EDE3-OFB", 24, 24, 0},
    {kCrtCipherTripleDes, kCrtModeCtr, "DES-EDE3-ECB", 24, 24, 0},
    {kCrtCipherRc2, kCrtModeEcb, "RC2-ECB", 1, 128, 128},
    {kCrtCipherRc2, kCrtModeCbc, "RC2-CBC", 1, 128, 128},
    {kCrtCipherRc2, kCrtModeCfb, "RC2-CFB", 1, 128, 128},
    {kCrtCipherRc2, kCrtModeOfb, "RC2-OFB", 1, 128, 128},
    {kCrtCipherRc2, kCrtModeCtr, "RC2-ECB", 1, 128, 128},
    {kCrtCipherRc2Bits40, kCrtModeEcb, "RC2-ECB", 1, 128, 40},
    {kCrtCipherRc2Bits40, kCrtModeCbc, "RC2-CBC", 1, 128, 40},
    {kCrtCipherRc2Bits40, kCrtModeCfb, "RC2-CFB", 1, 128, 40},
    {kCrtCipherRc2Bits40, kCrtModeOfb, "RC2-OFB", 1, 128, 40},
    {kCrtCipherRc4, kCrtModeEcb, "RC4", 1, 64, 0},
    {kCrtCipherSeed, kCrtModeEcb, "SEED-ECB", 16, 16, 0},
    {kCrtCipherSeed, kCrtModeCbc, "SEED-CBC", 16, 16, 0},
    {kCrtCipherSeed, kCrtModeCfb, "SEED-CFB", 16, 16, 0},
    {kCrtCipherSeed, kCrtModeOfb, "SEED-OFB", 16, 16, 0},
    {kCrtCipherSeed, kCrtModeCtr, "SEED-ECB", 16, 16, 0},
    {kCrtCipherAria, kCrtModeEcb, "ARIA-128-ECB", 16, 16, 0},
    {kCrtCipherAria, kCrtModeCbc, "ARIA-192-CBC", 24, 24, 0},
    {kCrtCipherAria, kCrtModeCbc, "ARIA-256-CBC", 32, 32, 0},
    {kCrtCipherAria, kCrtModeCbc, "ARIA-128-CBC", 16, 16, 0},
    {kCrtCipherAria, kCrtModeCfb, "ARIA-192-CFB", 24, 24, 0},
    {kCrtCipherAria, kCrtModeOfb, "ARIA-256-OFB", 32, 32, 0},
    {kCrtCipherAria, kCrtModeCtr, "ARIA-128-CTR", 16, 16, 0},
    {kCrtCipherAria, kCrtModeCtr, "ARIA-256-CTR", 32, 32, 0},
    {kCrtCipherAria, kCrtModeEcb, "ARIA-256-ECB", 32, 32, 0},
};

bool emulated_ctr(const Oracle &o) {
  return o.mode == kCrtModeCtr && std::string(o.name).find("CTR") == std::string::npos;
}

// One OpenSSL pass; pad selects OpenSSL's own PKCS#7 padding.
Bytes openssl_crypt(const Oracle &o, bool encrypt, const Bytes &key, const Bytes &iv, const Bytes &in,
                    bool pad) {
  std::unique_ptr<EVP_CIPHER, void (*)(EVP_CIPHER *)> cipher(EVP_CIPHER_fetch(nullptr, o.name, nullptr),
                                                             EVP_CIPHER_free);
  std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX *)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  int e = encrypt ? 1 : 0;
  bool ok =
      cipher && ctx && EVP_CipherInit_ex(ctx.get(), cipher.get(), nullptr, nullptr, nullptr, e) &&
      EVP_CIPHER_CTX_set_key_length(ctx.get(), int(key.size())) &&
      (o.rc2_bits == 0 || EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_SET_RC2_KEY_BITS, o.rc2_bits, nullptr)) &&
      EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key.data(), iv.empty() ? nullptr : iv.data(), e) &&
      EVP_CIPHER_CTX_set_padding(ctx.get(), pad ? 1 : 0);
  Bytes out(in.size() + 32);
  int n = 0, m = 0;
  ok = ok && EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), int(in.size())) &&
       EVP_CipherFinal_ex(ctx.get(), out.data() + n, &m);
  EXPECT_TRUE(ok) << o.name;
  out.resize(ok ? size_t(n + m) : 0);
  return out;
}

// CTR where OpenSSL lacks it: the ECB encryption of the counter blocks, XORed in.
Bytes openssl_ctr(const Oracle &o, const Bytes &key, const Bytes &iv, const Bytes &in) {
  const size_t b = iv.size();
  Bytes counters(in.size()), counter = iv;
  for (size_t off = 0; off < in.size(); off += b) {
    std::copy(counter.begin(), counter.end(), counters.begin() + off);
    for (size_t i = b; i-- > 0 && ++counter[i] == 0;) {
    }
  }
  Bytes out = openssl_crypt(o, true, key, {}, counters, false);
  for (size_t i = 0; i < out.size(); i++) out[i] ^= in[i];
  return out;
}

Bytes pkcs7(Bytes m, size_t b) {
  size_t n = b - m.size() % b;
  m.insert(m.end(), n, uint8_t(n));
  return m;
}

Bytes random_bytes(std::mt19937 &rng, size_t n) {
  Bytes b(n);
  for (auto &x : b) x = uint8_t(rng());
  return b;
}

TEST(CipherAgainstOpenSsl, EveryCipherModeAndPadding) {
  Providers providers;
  ASSERT_TRUE(providers.loaded());
  std::mt19937 rng(0x7e1a7);
  for (const Oracle &o : kOracles) {
    const size_t b = size_t(cipher_block_len(o.id));
    const bool stream = b == 1;
    for (int padding : {kCrtPaddingPkcs7, kCrtPaddingNone}) {
      if (stream && padding == kCrtPaddingPkcs7) continue;
      for (int round = 0; round < 12; round++) {
        size_t key_len = o.min_key + rng() % (o.max_key - o.min_key + 1);
        Bytes key = random_bytes(rng, key_len);
        Bytes iv = o.mode == kCrtModeEcb ? Bytes() : random_bytes(rng, b);
        size_t len = padding == kCrtPaddingNone ? b * (1 + rng() % 8) : 1 + rng() % 100;
        Bytes msg = random_bytes(rng, len);
        SCOPED_TRACE(testing::Message() << o.name << " id " << o.id << " padding " << padding << " key "
                                        << to_hex(key) << " iv " << to_hex(iv) << " message " << to_hex(msg));

        // OpenSSL pads only in ECB and CBC; elsewhere the test adds the PKCS#7 bytes itself.
        const bool openssl_pads =
            padding == kCrtPaddingPkcs7 && (o.mode == kCrtModeEcb || o.mode == kCrtModeCbc);
        Bytes plain = (padding == kCrtPaddingPkcs7 && !openssl_pads) ? pkcs7(msg, b) : msg;
        Bytes expected = emulated_ctr(o) ? openssl_ctr(o, key, iv, plain)
                                         : openssl_crypt(o, true, key, iv, plain, openssl_pads);

        std::unique_ptr<CRT_CTX, void (*)(CRT_CTX *)> ctx(cipher_new(o.id), cipher_free);
        ASSERT_NE(0, cipher_set_key(ctx.get(), key.data(), key.size())) << errno;
        ASSERT_NE(0, cipher_set_mode(padding, ctx.get(), o.mode, iv.data(), iv.size())) << errno;
        Bytes ct(len + 16);
        ct.resize(cipher_encrypt(ctx.get(), msg.data(), msg.size(), ct.data(), ct.size()));
        ASSERT_EQ(to_hex(expected), to_hex(ct));

        // RC4 decrypts with a fresh stream.
        if (stream) {
          ASSERT_NE(0, cipher_set_key(ctx.get(), key.data(), key.size()));
        }
        Bytes back(expected.size());
        back.resize(cipher_decrypt(ctx.get(), expected.data(), expected.size(), back.data(), back.size()));
        EXPECT_EQ(to_hex(msg), to_hex(back));
        if (!emulated_ctr(o)) {
          EXPECT_EQ(to_hex(plain), to_hex(openssl_crypt(o, false, key, iv, ct, openssl_pads)));
        }
      }
    }
  }
}

}  // namespace
