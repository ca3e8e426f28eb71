// Private keys under a password: PKCS#8 EncryptedPrivateKeyInfo with PBES2 (PBKDF2-HMAC-SHA-1
// with SEED, ARIA or triple DES in CBC mode) and the two SEED schemes of the accredited-
// certificate standards (1.2.410.200004.1.15 with a derived IV, 1.2.410.200004.1.4 with a fixed
// one).
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/key_types.h"

enum : int {
  PKEY_SCHEME_PBES2_SEED = 0,  // PBES2, PBKDF2-HMAC-SHA-1, SEED-CBC
  PKEY_SCHEME_KISA_SEED = 1,   // 1.2.410.200004.1.15
};

// Opens the blob with the password; a new PrivateKeyInfo (asn1_release with
// asn1_tmpl_private_key_info), or null with the code in errno. A wrong password shows as the
// cipher's padding failure (1246) or the decoder's code, and errno still holds it on return.
PrivateKeyInfo *pkey_decrypt(const uint8_t *der, size_t length, const char *password);

// Seals the key under the password with the scheme; returns the DER length and the DER in a new
// buffer (free()), 0 on failure.
size_t pkey_encrypt(const PrivateKeyInfo *key, const char *password, int scheme, uint8_t **out_der);

// The key derivations, exposed for their known-answer tests.
// kisa_pbkdf1: 16-byte key and 16-byte IV from SHA-1 iterated over password || salt.
int kisa_pbkdf1(const uint8_t *password, size_t password_len, const uint8_t *salt, size_t salt_len,
                uint32_t iterations, uint8_t key[16], uint8_t iv[16]);
// pbkdf2_sha1: RFC 8018 PBKDF2 with HMAC-SHA-1; 0 or the code.
int pbkdf2_sha1(const uint8_t *password, size_t password_len, const uint8_t *salt, size_t salt_len,
                uint32_t iterations, uint8_t *out, size_t length);
