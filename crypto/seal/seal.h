// SEALED_BLOB: how secrets and paths travel to the protected-mode broker.
//
//   01 01 | 32-byte seed | SEED-CBC-PKCS#7 ciphertext (N bytes) | HMAC-SHA256 over all before it
//
// The key, IV and MAC key derive from the seed under two 32-byte constants built into the library
// and the broker (deployment values). Anyone who can read the library can read the constants, so
// the broker must still check every path it is asked to write. Unlike the rest of the toolkit,
// these functions return the error code itself (0 on success).
#pragma once

#include <cstddef>
#include <cstdint>

enum : size_t {
  kSealHeaderSize = 2 + 32,  // format bytes and seed
  kSealMacSize = 32,
  kSealMinBlobSize = kSealHeaderSize + 16 + kSealMacSize,
};

// Makes a new blob of secret; on success *blob_out is a malloc'ed buffer that the caller frees with
// std::free, holding *len_out bytes and two zero bytes after them. kErrInvalidParameter for a
// missing argument, an empty or an oversized secret; kErrOutOfMemory; kErrRandomContextCreate or
// kErrRandomContext when no seed can be drawn; the cipher's or the MAC's code. On failure the
// outputs are left as they were.
int seal_secret(uint8_t **blob_out, size_t *len_out, const uint8_t *secret, size_t secret_len);

// The 16-byte key and 16-byte IV of a seed (64 rounds of HMAC-SHA256, mask and half swap).
int seal_derive_key_iv(uint8_t *iv_out, uint8_t *key_out, const uint8_t *seed);
// The 32-byte MAC key of a seed (16 rounds of HMAC-SHA256 and half swap).
int seal_derive_mac_key(uint8_t *mac_key_out, const uint8_t *seed);

// The broker's side, for the stand-in broker and the tests: checks the length and format bytes,
// then the MAC in constant time, and only then decrypts. On success *secret_out is a malloc'ed
// buffer of *secret_len bytes (the caller wipes and frees it). kErrInvalidParameter for a missing
// argument, kErrInvalidCipherText for a blob of impossible length or format, kErrSymmetricDecrypt
// for a MAC or padding mismatch, kErrOutOfMemory.
int seal_open(uint8_t **secret_out, size_t *secret_len, const uint8_t *blob, size_t blob_len);
