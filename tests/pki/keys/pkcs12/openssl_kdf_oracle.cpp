#include "tests/pki/keys/pkcs12/openssl_kdf_oracle.h"

#include <openssl/pkcs12.h>

#include "tests/harness/openssl_md.h"

int openssl_pkcs12_kdf(int id, int hash_type, uint32_t iterations, const uint8_t *password,
                       size_t password_len, const uint8_t *salt, size_t salt_len, uint8_t *out,
                       size_t length) {
  // OpenSSL takes the buffers as writable although it only reads them.
  return PKCS12_key_gen_uni(const_cast<uint8_t *>(password), int(password_len), const_cast<uint8_t *>(salt),
                            int(salt_len), id, int(iterations), int(length), out, openssl_md(hash_type));
}
