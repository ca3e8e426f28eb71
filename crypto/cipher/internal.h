// The cipher primitives behind CRT_CTX. Nothing outside crypto/cipher calls them.
//
// Key schedules take the key and a caller-owned schedule buffer of the cipher's schedule size and
// return the block length (16 or 8), or 1 for RC4; 0 with errno kErrInvalidParameter for a null key
// or schedule (and for RC4 a zero length), 0 with kErrIncorrectKey for a key length the cipher does
// not accept. Block functions en- or decrypt exactly one block; in and out may be the same block.
// They cannot fail.
#pragma once

#include <cstddef>
#include <cstdint>

// SEED (RFC 4269): 16-byte block and key; the schedule is the 32 round-key words.
constexpr size_t kSeedScheduleSize = 32 * sizeof(uint32_t);
int seed_set_key(const uint8_t *key, size_t key_len, void *schedule);
void seed_encrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);
void seed_decrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);

// ARIA (RFC 5794): 16-byte block, 16/24/32-byte keys for 12/14/16 rounds; the schedule is the
// key size in bits, then 17 encryption and 17 decryption round keys of 16 bytes.
constexpr size_t kAriaScheduleSize = sizeof(uint32_t) + 2 * 17 * 16;
int aria_set_key(const uint8_t *key, size_t key_len, void *schedule);
void aria_encrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);
void aria_decrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);

// DES (FIPS 46-3): 8-byte block and key, parity ignored, weak keys accepted; the schedule is the
// 16 round keys as 32 words.
constexpr size_t kDesScheduleSize = 32 * sizeof(uint32_t);
int des_set_key(const uint8_t *key, size_t key_len, void *schedule);
void des_encrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);
void des_decrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);

// Triple DES, encrypt-decrypt-encrypt: 24-byte keys K1 K2 K3, or 16-byte keys K1 K2 with K3 = K1;
// the schedule is three DES schedules.
constexpr size_t kTdesScheduleSize = 3 * kDesScheduleSize;
int tdes_set_key(const uint8_t *key, size_t key_len, void *schedule);
void tdes_encrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);
void tdes_decrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);

// RC2 (RFC 2268): 8-byte block, 1..128-byte keys; the effective key bits (1..1024) are a
// parameter of the expansion. The schedule is the 64 expanded 16-bit key words.
constexpr size_t kRc2ScheduleSize = 64 * sizeof(uint16_t);
int rc2_set_key(const uint8_t *key, size_t key_len, int effective_bits, void *schedule);
void rc2_encrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);
void rc2_decrypt_block(const void *schedule, const uint8_t *in, uint8_t *out);

// RC4: a stream cipher; the schedule is the 256-byte permutation and the indices i and j. Each
// call continues the stream and returns len.
constexpr size_t kRc4ScheduleSize = 256 + 2 * sizeof(uint32_t);
int rc4_set_key(const uint8_t *key, size_t key_len, void *schedule);
size_t rc4_process(void *schedule, const uint8_t *in, size_t len, uint8_t *out);
