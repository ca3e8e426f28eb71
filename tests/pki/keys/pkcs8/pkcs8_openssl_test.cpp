// Sealed keys against libcrypto: PBES2 output opens with OpenSSL's own PKCS#8 decryption, and the
// KISA scheme's output with a derivation and a SEED-CBC decryption done entirely by libcrypto.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <cstring>
#include <string>

#include "tests/harness/vectors.h"
#include "tests/pki/keys/pkcs8/seal_bridge.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

constexpr char kPassword[] = "Fixture1!";
constexpr int kSchemePbes2 = 0;  // PKEY_SCHEME_PBES2_SEED
constexpr int kSchemeKisa = 1;   // PKEY_SCHEME_KISA_SEED

Bytes fixture(const std::string &name) {
  Bytes out;
  FILE *f = std::fopen(v7test::fixtures_path("pki/" + name).c_str(), "rb");
  if (f == nullptr) {
    ADD_FAILURE() << "missing fixture " << name;
    return out;
  }
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(uint8_t(c));
  std::fclose(f);
  return out;
}

// SEED lives in the legacy provider, and loading one provider hides the default one.
struct Providers {
  OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  OSSL_PROVIDER *standard = OSSL_PROVIDER_load(nullptr, "default");
  ~Providers() {
    OSSL_PROVIDER_unload(standard);
    OSSL_PROVIDER_unload(legacy);
  }
};

TEST(PkeyEncryptVsOpenssl, Pbes2OpensWithPkcs8Decrypt) {
  Providers providers;
  ASSERT_NE(nullptr, providers.legacy);
  for (const char *plain_file : {"user_sign_plain.der", "user_sign_novid_plain.der"}) {
    SCOPED_TRACE(plain_file);
    Bytes plain = fixture(plain_file);
    Bytes sealed = pkcs8test::seal_plain_der(plain, kSchemePbes2, kPassword);
    ASSERT_FALSE(sealed.empty());
    const unsigned char *p = sealed.data();
    X509_SIG *sig = d2i_X509_SIG(nullptr, &p, long(sealed.size()));
    ASSERT_NE(nullptr, sig);
    PKCS8_PRIV_KEY_INFO *p8 = PKCS8_decrypt(sig, kPassword, int(std::strlen(kPassword)));
    ASSERT_NE(nullptr, p8);
    unsigned char *der = nullptr;
    int len = i2d_PKCS8_PRIV_KEY_INFO(p8, &der);
    ASSERT_GT(len, 0);
    EXPECT_EQ(to_hex(plain), to_hex(der, size_t(len)));
    OPENSSL_free(der);
    PKCS8_PRIV_KEY_INFO_free(p8);
    X509_SIG_free(sig);
  }
}

Bytes sha1(const Bytes &in) {
  Bytes out(20);
  unsigned int n = 0;
  EXPECT_EQ(1, EVP_Digest(in.data(), in.size(), out.data(), &n, EVP_sha1(), nullptr));
  return out;
}

TEST(PkeyEncryptVsOpenssl, KisaSchemeOpensWithAnIndependentDerivation) {
  Providers providers;
  Bytes plain = fixture("user_sign_plain.der");
  Bytes sealed = pkcs8test::seal_plain_der(plain, kSchemeKisa, kPassword);
  ASSERT_FALSE(sealed.empty());

  const unsigned char *p = sealed.data();
  X509_SIG *sig = d2i_X509_SIG(nullptr, &p, long(sealed.size()));
  ASSERT_NE(nullptr, sig);
  const X509_ALGOR *alg = nullptr;
  const ASN1_OCTET_STRING *data = nullptr;
  X509_SIG_get0(sig, &alg, &data);
  const ASN1_OBJECT *obj = nullptr;
  int ptype = 0;
  const void *pval = nullptr;
  X509_ALGOR_get0(&obj, &ptype, &pval, alg);
  char text[64];
  OBJ_obj2txt(text, sizeof text, obj, 1);
  EXPECT_STREQ("1.2.410.200004.1.15", text);
  ASSERT_EQ(V_ASN1_SEQUENCE, ptype);
  // {salt, iterationCount} has the shape of PKCS#5 v1.5's PBEParameter.
  const ASN1_STRING *seq = static_cast<const ASN1_STRING *>(pval);
  const unsigned char *q = ASN1_STRING_get0_data(seq);
  PBEPARAM *pbe = d2i_PBEPARAM(nullptr, &q, ASN1_STRING_length(seq));
  ASSERT_NE(nullptr, pbe);
  Bytes salt(ASN1_STRING_get0_data(pbe->salt),
             ASN1_STRING_get0_data(pbe->salt) + ASN1_STRING_length(pbe->salt));
  EXPECT_EQ(8u, salt.size());
  EXPECT_EQ(1024, ASN1_INTEGER_get(pbe->iter));

  Bytes first = v7test::to_bytes(kPassword);
  first.insert(first.end(), salt.begin(), salt.end());
  Bytes dk = sha1(first);
  for (int i = 1; i < 1024; i++) dk = sha1(dk);
  Bytes iv = sha1(Bytes(dk.begin() + 16, dk.end()));
  EVP_CIPHER *seed = EVP_CIPHER_fetch(nullptr, "SEED-CBC", nullptr);
  ASSERT_NE(nullptr, seed);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes out(size_t(ASN1_STRING_length(data)) + 16);
  int n1 = 0, n2 = 0;
  EXPECT_EQ(1, EVP_DecryptInit_ex(ctx, seed, nullptr, dk.data(), iv.data()));
  EXPECT_EQ(1,
            EVP_DecryptUpdate(ctx, out.data(), &n1, ASN1_STRING_get0_data(data), ASN1_STRING_length(data)));
  EXPECT_EQ(1, EVP_DecryptFinal_ex(ctx, out.data() + n1, &n2));
  out.resize(size_t(n1 + n2));
  EXPECT_EQ(to_hex(plain), to_hex(out));
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(seed);
  PBEPARAM_free(pbe);
  X509_SIG_free(sig);
}

}  // namespace
