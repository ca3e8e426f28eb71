// Message digests behind one interface, selected by an integer hash type.
//
// Results follow the toolkit's rule: a length (or a pointer) on success, 0 (or null) on failure
// with the code in errno: kErrOutOfMemory, kErrInvalidParameter, kErrInsufficientBuffer,
// kErrUnsupportedHash.
#pragma once

#include <cstddef>
#include <cstdint>

// The hash types. Stored files, HMAC, MGF1 and the RSA encodings all use these numbers, so they
// are not in order of size: SHA-224 comes after SHA-512 and the two little-endian digests last.
enum : int {
  HASH_SHA1 = 1,
  HASH_SHA256 = 2,
  HASH_SHA384 = 3,
  HASH_SHA512 = 4,
  HASH_SHA224 = 5,
  HASH_HAS160 = 6,
  HASH_MD5 = 7,
};

constexpr size_t HASH_MAX_DIGEST_LEN = 64;
constexpr size_t HASH_MAX_BLOCK_LEN = 128;

// One running digest. Made by hash_new or an algorithm's constructor, released by hash_free.
struct HASH_CTX {
  int type;  // always first: every dispatching operation reads it
  union {
    uint32_t w32[8];  // SHA-1 and HAS-160 use 5 words, MD5 4, SHA-224/256 8
    uint64_t w64[8];  // SHA-384/512
  } state;
  // The message length so far: a byte count, except for HAS-160, whose standard counts bits.
  // Only SHA-384/512 carry into the high word (their length field is 128 bits).
  uint64_t count_lo;
  uint64_t count_hi;
  uint8_t buffer[HASH_MAX_BLOCK_LEN];  // the partial block; 64 bytes used except by SHA-384/512
};

// A new context in its initial state; null with kErrUnsupportedHash for a type outside 1..7,
// kErrOutOfMemory without memory.
HASH_CTX *hash_new(int type);
HASH_CTX *sha1_new();
HASH_CTX *sha256_new();
HASH_CTX *sha384_new();
HASH_CTX *sha512_new();
HASH_CTX *sha224_new();
HASH_CTX *has160_new();
HASH_CTX *md5_new();

// Feeds len bytes. A null context, null data or zero length does nothing and reports nothing:
// callers that must not lose data check their own pointers (hash_digest does).
void hash_update(HASH_CTX *ctx, const void *data, size_t len);

// Writes the digest (hash_ctx_digest_len bytes; there is no capacity argument) and returns its
// length. The context is then back in its initial state and hashes a new message at once. 0 with
// kErrInvalidParameter for a null context or out, kErrUnsupportedHash for a context of an unknown
// type.
int hash_final(HASH_CTX *ctx, uint8_t *out);

// Wipes the whole record (chaining state and the buffered tail of the message), then frees it.
// A null context is ignored.
void hash_free(HASH_CTX *ctx);

// 20, 32, 48, 64, 28, 20, 16 for types 1..7; 0 with kErrUnsupportedHash otherwise.
int hash_digest_len(int type);
// 128 for SHA-384/512, 64 for the other types; 0 with kErrUnsupportedHash otherwise.
int hash_block_len(int type);
// The digest length of the context's type; 0 with kErrInvalidParameter for a null context.
int hash_ctx_digest_len(const HASH_CTX *ctx);

// One-shot digest of len bytes at data into out, which holds capacity bytes; returns the digest
// length. A null out with capacity 0 asks for the length and hashes nothing. Failures, each with
// result 0: kErrInvalidParameter when only one of out and capacity is null or zero, or when data is
// null with a nonzero length; kErrUnsupportedHash for an unknown type; kErrInsufficientBuffer when
// capacity is below the digest length; kErrOutOfMemory.
int hash_digest(size_t capacity, uint8_t *out, int type, const void *data, size_t len);

// The five chaining words of a SHA-1 context as 20 big-endian bytes, without padding and without
// touching the context: the output step of the SHA-1 random generator, which relies on updates
// compressing every full block at once. Returns 20; 0 with kErrInvalidParameter for a null argument
// or a context that is not SHA-1.
int sha1_state_to_bytes(uint8_t *out, const HASH_CTX *ctx);

// The hash type that a toolkit algorithm identifier (digest, HMAC, password-based scheme,
// signature) carries, or 0 when it carries none.
int hash_type_from_alg_id(int alg_id);
