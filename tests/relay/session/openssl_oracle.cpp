#include "tests/relay/session/openssl_oracle.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdio>

#include "tests/harness/vectors.h"

namespace oracle {

namespace {

EVP_PKEY *private_key_pem(const std::string &fixture) {
  FILE *f = std::fopen(v7test::fixtures_path(fixture).c_str(), "rb");
  if (f == nullptr) return nullptr;
  EVP_PKEY *key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  return key;
}

EVP_PKEY *public_key_der(const std::string &fixture) {
  FILE *f = std::fopen(v7test::fixtures_path(fixture).c_str(), "rb");
  if (f == nullptr) return nullptr;
  X509 *cert = d2i_X509_fp(f, nullptr);
  std::fclose(f);
  EVP_PKEY *key = cert != nullptr ? X509_get_pubkey(cert) : nullptr;
  X509_free(cert);
  return key;
}

bool oaep_sha1(EVP_PKEY_CTX *ctx) {
  return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) > 0 &&
         EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha1()) > 0 &&
         EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha1()) > 0;
}

Bytes rsa(EVP_PKEY *key, bool encrypt, const uint8_t *in, size_t len) {
  Bytes out(1024);
  size_t n = out.size();
  EVP_PKEY_CTX *ctx = key != nullptr ? EVP_PKEY_CTX_new(key, nullptr) : nullptr;
  bool ok = ctx != nullptr && (encrypt ? EVP_PKEY_encrypt_init(ctx) > 0 && oaep_sha1(ctx) &&
                                             EVP_PKEY_encrypt(ctx, out.data(), &n, in, len) > 0
                                       : EVP_PKEY_decrypt_init(ctx) > 0 && oaep_sha1(ctx) &&
                                             EVP_PKEY_decrypt(ctx, out.data(), &n, in, len) > 0);
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(key);
  out.resize(ok ? n : 0);
  return out;
}

}  // namespace

namespace {
OSSL_PROVIDER *g_legacy = nullptr, *g_default = nullptr;
}  // namespace

void load_providers() {
  if (g_legacy == nullptr) g_legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  if (g_default == nullptr) g_default = OSSL_PROVIDER_load(nullptr, "default");
}

void unload_providers() {
  OSSL_PROVIDER_unload(g_legacy);
  OSSL_PROVIDER_unload(g_default);
  g_legacy = g_default = nullptr;
}

Bytes rsa_oaep_decrypt(const std::string &pem_fixture, const uint8_t *in, size_t len) {
  return rsa(private_key_pem(pem_fixture), false, in, len);
}

Bytes rsa_oaep_encrypt(const std::string &cert_fixture, const Bytes &in) {
  return rsa(public_key_der(cert_fixture), true, in.data(), in.size());
}

Bytes seed_cbc(bool encrypt, const Bytes &key, const Bytes &iv, const uint8_t *in, size_t len) {
  EVP_CIPHER *cipher = EVP_CIPHER_fetch(nullptr, "SEED-CBC", nullptr);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  Bytes out(len + 16);
  int n1 = 0, n2 = 0;
  bool ok = cipher != nullptr && ctx != nullptr &&
            EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv.data(), encrypt ? 1 : 0) > 0 &&
            EVP_CipherUpdate(ctx, out.data(), &n1, in, int(len)) > 0 &&
            EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) > 0;
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  out.resize(ok ? size_t(n1 + n2) : 0);
  return out;
}

Bytes sha256(const uint8_t *in, size_t len) {
  Bytes out(32);
  EVP_Digest(in, len, out.data(), nullptr, EVP_sha256(), nullptr);
  return out;
}

Bytes hmac_sha256(const Bytes &key, const Bytes &data) {
  uint8_t mac[32];
  unsigned int n = 0;
  HMAC(EVP_sha256(), key.data(), int(key.size()), data.data(), data.size(), mac, &n);
  return Bytes(mac, mac + n);
}

}  // namespace oracle
