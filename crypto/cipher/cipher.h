// The toolkit's symmetric-encryption object: one cipher bound to a key schedule, a mode of
// operation, a padding rule and an IV. Each encrypt or decrypt call handles one whole message.
//
// Functions return 0 (or null) on failure with the code in errno (platform/errors/errno_util.h).
// Usual order: cipher_new, cipher_set_key, cipher_set_mode, any number of cipher_encrypt and
// cipher_decrypt calls, cipher_free.
#pragma once

#include <cstddef>
#include <cstdint>

// Cipher ids.
enum : int32_t {
  kCrtCipherSeed = 1,
  kCrtCipherAria = 2,          // 16-, 24- or 32-byte keys
  kCrtCipherTripleDes = 5,     // 16-byte keys K1 K2 (K3 = K1) or 24-byte keys K1 K2 K3
  kCrtCipherTripleDesAlt = 6,  // the same cipher as 5 under a second id
  kCrtCipherDes = 7,
  kCrtCipherRc2 = 9,         // 128 effective key bits, 1..128-byte keys
  kCrtCipherRc2Bits40 = 10,  // 40 effective key bits, 1..128-byte keys
  kCrtCipherRc4 = 11,
};

// Modes of operation.
enum : int {
  kCrtModeEcb = 1,
  kCrtModeCbc = 2,
  kCrtModeCfb = 3,  // feedback of one whole block
  kCrtModeOfb = 4,
  kCrtModeCtr = 5,  // the IV is the first counter block, counted big-endian over the whole block
};

// Paddings; n is the number of bytes added, 1 <= n <= block length.
enum : int {
  kCrtPaddingPkcs7 = 1,    // n bytes of value n
  kCrtPaddingNone = 2,     // a partial last block is filled with zeros; nothing is stripped
  kCrtPaddingZero = 3,     // n zero bytes; decryption strips every trailing zero of the last block
  kCrtPaddingNMinus1 = 4,  // n bytes of value n - 1; CBC only
};

struct CRT_CTX;

// A context for the cipher id, in ECB mode with padding "none". Null with kErrUnsupportedCipher for
// an unknown id.
CRT_CTX *cipher_new(int32_t cipher_id);

// Wipes the key schedule and the IV and releases the context; null is ignored.
void cipher_free(CRT_CTX *ctx);

// Builds the key schedule. Returns the block length (1 for RC4), or 0 with kErrInvalidParameter,
// kErrCrtContext, kErrIncorrectKey or kErrUnsupportedCipher. A context whose set-key failed refuses
// to encrypt and decrypt until a key is set.
int cipher_set_key(CRT_CTX *ctx, const uint8_t *key, size_t key_len);

// Note the order: padding first. ECB drops any IV; the other modes need an IV of exactly one block.
// Returns the block length, or 0 with kErrInvalidParameter, kErrUnsupportedPadding,
// kErrUnsupportedCipherMode, kErrInvalidIv or kErrOutOfMemory; on failure padding and mode stay as
// they were. RC4 ignores mode, padding and IV, so for it the IV is not checked.
int cipher_set_mode(int padding, CRT_CTX *ctx, int mode, const uint8_t *iv, size_t iv_len);

// 16, 8 or 1, or 0 with kErrUnsupportedCipher for an unknown id.
int cipher_block_len(int32_t cipher_id);

// Pads and encrypts one whole message; returns the output length, or 0 with kErrInvalidParameter
// (null or empty input), kErrCrtContext (no key set) or kErrInsufficientBuffer (capacity below the
// padded length). The IV held in the context is not advanced, except that RC4 continues its stream.
// in may equal out when the buffer holds the padded length.
size_t cipher_encrypt(CRT_CTX *ctx, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_capacity);

// Decrypts one whole message and strips the padding; returns the plain length, or 0 with
// kErrInvalidParameter, kErrCrtContext, kErrInvalidCipherText (not a whole number of blocks),
// kErrInsufficientBuffer (capacity below in_len) or kErrSymmetricDecrypt (bad padding; the output
// written by the call is wiped). A message that was nothing but padding gives 0 with errno 0. in
// may equal out.
size_t cipher_decrypt(CRT_CTX *ctx, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_capacity);

// SEED-CBC with PKCS#7 under a 16-byte key and a 16-byte IV: in_len rounded up to a multiple of
// 16 (plus 16 when it already is one) bytes of ciphertext, or 0 with the failing step's code.
size_t cipher_seed_cbc_encrypt(const uint8_t *key, const uint8_t *iv, const uint8_t *in, size_t in_len,
                               uint8_t *out, size_t out_capacity);

// CBC decryption with PKCS#7 for any cipher id; the plain length, or 0 with the failing step's
// code.
size_t cipher_decrypt_oneshot(int32_t cipher_id, const uint8_t *key, size_t key_len, const uint8_t *iv,
                              size_t iv_len, const uint8_t *in, size_t in_len, uint8_t *out,
                              size_t out_capacity);

// out[i] = a[i] ^ b[i] for i < len; out may be a or b. Null pointers with a nonzero length set
// errno to kErrInvalidParameter and write nothing.
void xor_bytes(uint8_t *out, size_t len, const uint8_t *a, const uint8_t *b);
