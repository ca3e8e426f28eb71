// libcrypto's side of the target checks (see steps_openssl_test.cpp).
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>

namespace stepsoracle {

int rsa_public_key_bits(const uint8_t *der, size_t len) {
  const unsigned char *p = der;
  EVP_PKEY *key = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, long(len));
  int bits = key != nullptr && p == der + len ? EVP_PKEY_get_bits(key) : 0;
  EVP_PKEY_free(key);
  return bits;
}

bool verify_sha256(const uint8_t *cert, size_t cert_len, const uint8_t *data, size_t len, const uint8_t *sig,
                   size_t sig_len) {
  const unsigned char *c = cert;
  X509 *x = d2i_X509(nullptr, &c, long(cert_len));
  EVP_PKEY *key = x != nullptr ? X509_get_pubkey(x) : nullptr;
  EVP_MD_CTX *md = EVP_MD_CTX_new();
  bool ok = key != nullptr && md != nullptr &&
            EVP_DigestVerifyInit(md, nullptr, EVP_sha256(), nullptr, key) == 1 &&
            EVP_DigestVerify(md, sig, sig_len, data, len) == 1;
  EVP_MD_CTX_free(md);
  EVP_PKEY_free(key);
  X509_free(x);
  return ok;
}

}  // namespace stepsoracle
