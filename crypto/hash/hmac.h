// HMAC (RFC 2104) over any hash type of crypto/hash/hash.h.
//
// Codes in errno on failure: kErrOutOfMemory, kErrInvalidParameter, kErrInsufficientBuffer,
// kErrUnsupportedHash, kErrNoHmacKey (no hash context, or not keyed).
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/hash/hash.h"

// Holds key material: release it with hmac_free, which wipes the pad block too. (Freeing the
// hash context with hash_free and then the record with free() also releases it, but leaves the
// outer pad, key XOR 0x5c, in freed memory.)
struct HMAC_CTX {
  HASH_CTX *hash;  // owned; runs the inner hash between hmac_init and hmac_final
  // The outer pad after keying: key XOR 0x5c, padded with 0x5c to the block length. The inner
  // pad is fed to the hash at keying time and not kept.
  uint8_t pad[HASH_MAX_BLOCK_LEN];
  int keyed;  // 1 from hmac_init to hmac_final
};

// A new, unkeyed context for hash type 1..7; null with kErrUnsupportedHash for another type,
// kErrOutOfMemory without memory.
HMAC_CTX *hmac_new(int type);

// Keys the context and starts a message; a key longer than the hash block is hashed first, and a
// null key of length 0 is the empty key. Calling it again (even mid-message) starts over with the
// new key. Returns the digest length; 0 with kErrInvalidParameter for a null context or a null key
// with a nonzero length, kErrNoHmacKey for a context without its hash context.
int hmac_init(HMAC_CTX *ctx, const void *key, size_t key_len);

// Feeds message bytes. Does nothing for a null context or data, a zero length, or a context that
// is not keyed (hmac_final then fails, so no input is lost silently).
void hmac_update(HMAC_CTX *ctx, const void *data, size_t len);

// Writes the MAC (digest length bytes) and returns its length. The context is then unkeyed: the
// next message starts with hmac_init. 0 with kErrInvalidParameter for a null context or out,
// kErrNoHmacKey for a context without its hash context or one not keyed since its last final.
int hmac_final(HMAC_CTX *ctx, uint8_t *out);

// Wipes the pad block, the hash state and the record, then frees them. Null is ignored.
void hmac_free(HMAC_CTX *ctx);

// One-shot MAC of data under key into out, which holds capacity bytes; returns the MAC length.
// Failures, each with result 0: kErrInvalidParameter when key, data or out is null (even with a
// zero length); kErrUnsupportedHash for an unknown type; kErrInsufficientBuffer when capacity is
// below the digest length (nothing written); kErrOutOfMemory without memory.
int hmac_oneshot(int type, const void *key, uint8_t *out, size_t key_len, const void *data, size_t data_len,
                 size_t capacity);
