// The block encodings around the raw RSA operations: PKCS#1 v1.5 block types 1 (signatures) and
// 2 (encryption), EMSA-PSS, EME-OAEP and the MGF1 mask generation (PKCS#1 / RFC 8017).
//
// An encoding travels as an RSA_PADDING record: rsa.h's four operations take one, and null selects
// each operation's default. The fixed records below are the only ones the key objects hand out.
//
// Results follow the toolkit's rule: an encoder returns the encoded length, a signature decoder 1
// for a match, an encryption decoder the message length (an empty message gives 0 with errno 0); 0
// on failure with the code in errno. Codes: kErrOutOfMemory; kErrInvalidParameter null block or
// output, a null message with a nonzero length, or 0 bits; kErrInsufficientBuffer output too small
// (type 2, OAEP); kErrUnsupportedHash unsupported hash; kErrInsufficientMemory output too small
// (type 1, PSS); kErrSignatureEncode signature encoding does not fit the modulus;
// kErrVerifySignature signature does not verify; kErrEncodeEme message too long for the modulus;
// kErrDecodeEme encryption block does not decode; kErrIncorrectOaepParameter OAEP label pointer and
// length disagree; kErrSignatureHashMismatch signature made with another hash than the one
// required; kErrRandomContext the OS random source failed.
//
// Randomness: type-2 padding bytes, OAEP seeds and PSS salts that the caller does not fix come
// from the operating system's random source; an encoding fails rather than use anything weaker.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Mask generation --------------------------------------------------------------------------

// (hash type pointer, seed, seed length, output, length): writes `length` mask bytes; 1 or 0.
typedef int (*RsaMgfFn)(const int *hash_type, const uint8_t *seed, size_t seed_len, uint8_t *out,
                        size_t length);

// A mask-generation record: the function and its parameter (a hash type; null means SHA-1).
struct RSA_MGF {
  RsaMgfFn function;
  const int *hash_type;
};

extern const RSA_MGF MGF1_SHA1;
extern const RSA_MGF MGF1_SHA256;

// MGF1: Hash(seed || C) for the 4-byte big-endian counter C = 0, 1, ..., cut to `length` bytes. A
// null hash type means SHA-1. 1 on success; 0 with kErrInvalidParameter (null seed or output) or
// kErrUnsupportedHash (a type outside 1..7).
int rsa_mgf1(const int *hash_type, const uint8_t *seed, size_t seed_len, uint8_t *out, size_t length);

// output = input XOR the `length`-byte mask of the record (null: MGF1 over SHA-1) over the seed.
// output may be input. 1 on success, 0 with the mask function's code or kErrOutOfMemory.
int rsa_mgf_xor(const RSA_MGF *mask, size_t length, const uint8_t *seed, size_t seed_len,
                const uint8_t *input, uint8_t *output);

// ---- Parameters -------------------------------------------------------------------------------

// EMSA-PSS. A null salt makes the encoder draw salt_len random bytes; verification reads the salt
// out of the block and only uses salt_len.
struct PSS_PARAMS {
  const RSA_MGF *mgf;  // null: MGF1 over SHA-1
  int hash_type;
  const uint8_t *salt;
  size_t salt_len;
  uint8_t trailer;
};

// EME-OAEP. label and label_len must agree: both absent (null, 0) or both present. A null seed
// makes the encoder draw a random seed of the hash's length.
struct OAEP_PARAMS {
  const RSA_MGF *mgf;  // null: MGF1 over SHA-1
  int hash_type;
  const uint8_t *label;
  size_t label_len;
  const uint8_t *seed;
};

// ---- Encoders and decoders --------------------------------------------------------------------

// (parameters, modulus bits, message, message length, output, output capacity) -> encoded length.
typedef int (*RsaEncodeFn)(const void *params, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                           size_t out_capacity);
// (parameters, modulus bits, message, message length, block, block length) -> 1 for a match.
typedef int (*RsaVerifyFn)(const void *params, int bits, const uint8_t *msg, size_t msg_len,
                           const uint8_t *block, size_t block_len);
// (parameters, modulus bits, block, block length, output, output capacity) -> message length.
typedef int (*RsaDecodeFn)(const void *params, int bits, const uint8_t *block, size_t block_len, uint8_t *out,
                           size_t out_capacity);

// A signature encoding sets encode and verify, an encryption encoding encode and decode; the slot
// an encoding lacks is null, so handing a signature encoding to a decryption (or the reverse) is
// refused with kErrInvalidParameter instead of running a decoder of the wrong shape.
struct RSA_PADDING {
  RsaEncodeFn encode;
  RsaVerifyFn verify;
  RsaDecodeFn decode;
  const void *params;  // type 1: const int * (hash type; null = default); PSS_PARAMS; OAEP_PARAMS
};

// PKCS#1 v1.5 block type 1 over the digest of the message, with its DigestInfo. params: a hash
// type (null: SHA-1 when signing; when verifying, any hash of the DigestInfo table, picked by the
// block's tail length). MD5 has no DigestInfo here.
int rsa_pad_pkcs1_sign(const void *params, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                       size_t out_capacity);
int rsa_verify_pkcs1_sign(const void *params, int bits, const uint8_t *msg, size_t msg_len,
                          const uint8_t *block, size_t block_len);

// EMSA-PSS with emLen = (bits + 6) / 8. The verifier takes a block of emLen bytes, or one more
// leading zero byte (the k-byte rendering of a modulus of 8j + 1 bits).
int rsa_pad_pss(const void *params, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                size_t out_capacity);
int rsa_verify_pss(const void *params, int bits, const uint8_t *msg, size_t msg_len, const uint8_t *block,
                   size_t block_len);

// PKCS#1 v1.5 block type 2. The decoder's checks do not branch on the block's secret contents:
// every malformed block gives the same kErrDecodeEme after the same work.
int rsa_pad_pkcs1_encrypt(const void *params, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                          size_t out_capacity);
int rsa_unpad_pkcs1_encrypt(const void *params, int bits, const uint8_t *block, size_t block_len,
                            uint8_t *out, size_t out_capacity);

// EME-OAEP; the decoder, like the type-2 one, reports every malformed block as kErrDecodeEme.
int rsa_pad_oaep(const void *params, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                 size_t out_capacity);
int rsa_unpad_oaep(const void *params, int bits, const uint8_t *block, size_t block_len, uint8_t *out,
                   size_t out_capacity);

// ---- The fixed records ------------------------------------------------------------------------

extern const RSA_PADDING RSA_PAD_PKCS1_SIGN;         // default of signing and verification
extern const RSA_PADDING RSA_PAD_PKCS1_SIGN_SHA256;  // type 1 with SHA-256
extern const RSA_PADDING RSA_PAD_PSS;                // SHA-1, MGF1-SHA-1, 20-byte salt, 0xBC
extern const RSA_PADDING RSA_PAD_PSS_SHA256_MGF1_SHA1;
extern const RSA_PADDING RSA_PAD_PSS_SHA256;        // SHA-256, MGF1-SHA-256
extern const RSA_PADDING RSA_PAD_PKCS1_ENCRYPT;     // default of encryption and decryption
extern const RSA_PADDING RSA_PAD_OAEP;              // SHA-1, MGF1-SHA-1, empty label
extern const RSA_PADDING RSA_PAD_OAEP_MGF1_SHA256;  // SHA-1, MGF1-SHA-256
extern const RSA_PADDING RSA_PAD_OAEP_SHA256_MGF1_SHA1;
extern const RSA_PADDING RSA_PAD_OAEP_SHA256;  // SHA-256, MGF1-SHA-256
