// SESSION_CTX: the symmetric key object of the relay protocol, SEED in CBC mode with PKCS#7
// padding under a 16-byte key and IV, each message enciphered on its own with that IV.
//
// Every operation returns 0 or its code and leaves the code in errno. Failures are also pushed onto
// the object's error context, with the cipher's own code as a second entry of the same node where
// the cipher failed: kErrInvalidParameter missing key, IV, data or output; kErrCrtCreate "CRT
// Context Create Error", kErrCrtSetKey "CRT Context - Failed to Set Key", kErrCrtSetMode "CRT
// Context - Failed to Set Mode", kErrNullCrtContext "NULL CRT Context" before a key is set,
// kErrCrtEncrypt "CRT Context - Failed to Encrypt", kErrCrtDecrypt "CRT Context - Failed to
// Decrypt", kErrInternal an output length that would overflow. A null object gives
// kErrNullSessionContext and an object without an error context kErrNoErrorContext; neither can be
// pushed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/cipher/cipher.h"
#include "pki/errors/error_ctx.h"

enum : int { SYMKEY_ALG_SEED_CBC = 4097 };  // the seedCBC object id

struct SESSION_CTX {
  ERROR_CTX *error;  // the caller's, not owned
  int algorithm;     // SYMKEY_ALG_SEED_CBC once keyed, else 0
  CRT_CTX *cipher;
  uint8_t *key;  // owned copies, wiped before they are freed
  size_t key_len;
  uint8_t *iv;
  size_t iv_len;
};

// A zeroed object that reports to error (which may be null: every operation then fails with
// kErrNoErrorContext); null with kErrOutOfMemory.
SESSION_CTX *symkey_new(ERROR_CTX *error);

// Copies key and IV and replaces any earlier cipher with a new SEED-CBC-PKCS#7 one keyed with
// them. A failure leaves the object without a cipher.
int symkey_set(SESSION_CTX *ctx, const uint8_t *key, size_t key_len, const uint8_t *iv, size_t iv_len);

// A new buffer (free()) in *out with the ciphertext, at most length plus one block, its length in
// *out_len.
int symkey_encrypt(SESSION_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len);
// A new buffer (wipe it, then free()) with the plaintext; a ciphertext of padding only gives an
// empty plaintext.
int symkey_decrypt(SESSION_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len);

// Wipes and frees the key and IV copies, frees the cipher and the record; null is ignored.
void symkey_free(SESSION_CTX *ctx);
