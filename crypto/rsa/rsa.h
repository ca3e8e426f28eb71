// RSA_CTX: one RSA key, public or private, in the word form of crypto/bignum/bignum.h with the
// Montgomery values of its modulus and primes computed once at load time; the four raw operations
// combined with a block encoding (crypto/rsa/rsa_padding.h); fresh 2048-bit key pairs; and the
// probable-prime generator behind them.
//
// Results follow the toolkit's rule (a length, 1 or a bit count on success; 0 with the code in
// errno on failure) except bn_gen_prime and bn_prime_candidate, which return the code itself.
// Codes: kErrOutOfMemory, kErrInvalidParameter, kErrInsufficientBuffer output too small,
// kErrRsaContext context damaged, kErrRsaNoKey no key, kErrRsaIncorrectKey incorrect key,
// kErrRsaTooLongData input too large for the modulus, kErrRsaSignNoPrivateKey signing without a
// private key, kErrRsaDecryptNoPrivateKey decrypting without a private key, and the encodings'
// codes.
//
// Limits: moduli above RSA_MAX_MODULUS_BITS are refused with kErrRsaIncorrectKey (keys arrive in
// certificates from outside, and the scratch of every operation grows with them), and so are public
// exponents of 1 or at least the modulus.
//
// Randomness: every prime candidate and Miller-Rabin base comes from the operating system's
// random source (a RNG_TYPE_SYSTEM generator); key generation fails rather than use anything
// weaker.
//
// Private operations use the CRT halves and check their result with the public exponent before
// releasing it, so a damaged key fails with kErrRsaIncorrectKey instead of leaking a factor through
// a wrong signature. They are blinded: each works on c r^e for a fresh r from the operating system's
// random source and multiplies the result by r^-1, so a failing source fails them with
// kErrRandomContext. The exponentiation itself is not constant-time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/random/random.h"
#include "crypto/rsa/rsa_padding.h"

enum : int32_t {
  RSA_KIND_EMPTY = 0,
  RSA_KIND_PUBLIC = 1,
  RSA_KIND_PRIVATE = 2,
};

constexpr int RSA_MAX_MODULUS_BITS = 4096;
// What rsa_generate_key returns: the bit length of each prime of the 2048-bit modulus.
constexpr int RSA_GENERATED_PRIME_BITS = 1024;
constexpr uint32_t RSA_GENERATED_EXPONENT = 65535;
// A generated prime with its Montgomery values: 32 words, R^2 mod p (32 words) and p'.
constexpr size_t RSA_PRIME_WORDS = 32;
constexpr size_t RSA_PRIME_BUFFER_WORDS = 2 * RSA_PRIME_WORDS + 1;
// Miller-Rabin rounds per generated prime (the error bound for random 1024-bit candidates is
// below 2^-80 at this count).
constexpr int RSA_PRIME_MR_ROUNDS = 3;

// The word counts are 32-bit counts of 32-bit words; those a kind does not use are 0. `words`
// holds the numbers least significant word first, in this order:
//   kind 1: n, R^2 mod n, n', e
//   kind 2: n, R^2 mod n, n', e, p, R^2 mod p, p', q, R^2 mod q, q', dP, dQ, qInv, d
// (each Montgomery modulus takes 2 * count + 1 words). rsa_key_number reads them out.
struct RSA_CTX {
  int32_t kind;
  uint32_t n_words;
  uint32_t e_words;
  uint32_t p_words;
  uint32_t q_words;
  uint32_t dp_words;
  uint32_t dq_words;
  uint32_t qinv_words;
  uint32_t d_words;
  uint32_t *words;
};

// An empty context (kind 0); null with kErrOutOfMemory.
RSA_CTX *rsa_new();
// Wipes and releases the word array and zeroes the record (kind 0). Null is ignored.
void rsa_clear(RSA_CTX *ctx);
// rsa_clear, then releases the record. Null is ignored.
void rsa_free(RSA_CTX *ctx);

// 1 or 2; 0 with kErrInvalidParameter (null), kErrRsaNoKey (empty) or kErrRsaContext (any other
// kind).
int rsa_key_kind(const RSA_CTX *ctx);

// Loads n and e (big-endian, leading zero bytes skipped) as a public key and returns the bit length
// of n. 0 with kErrInvalidParameter (null context, n or e), kErrRsaIncorrectKey (n or e zero or
// even, n above the size limit, e = 1 or e >= n) or kErrOutOfMemory. A failure leaves the context
// empty.
int rsa_set_public_key(RSA_CTX *ctx, const uint8_t *n, size_t n_len, const uint8_t *e, size_t e_len);

// Loads a private key from its eight big-endian numbers and returns the bit length of n. 0 with
// kErrInvalidParameter when a component is missing or zero, or n, e, p or q is even;
// kErrRsaIncorrectKey when n is above the size limit, e = 1 or e >= n, or a component is longer
// than the number it belongs to (p or q or d longer than n, dP or qInv longer than p, dQ longer
// than q); kErrOutOfMemory. A failure leaves the context empty.
int rsa_set_private_key(RSA_CTX *ctx, const uint8_t *n, size_t n_len, const uint8_t *e, size_t e_len,
                        const uint8_t *d, size_t d_len, const uint8_t *p, size_t p_len, const uint8_t *q,
                        size_t q_len, const uint8_t *dp, size_t dp_len, const uint8_t *dq, size_t dq_len,
                        const uint8_t *qinv, size_t qinv_len);

// Replaces the key with a fresh 2048-bit private key, e = 65535, p and q of 1024 bits with their
// two top bits set. Returns RSA_GENERATED_PRIME_BITS (1024); 0 with kErrInvalidParameter (null),
// kErrOutOfMemory, or the prime generator's code (1265 when the OS random source fails). A failure
// leaves it empty.
int rsa_generate_key(RSA_CTX *ctx);

// Signs: the encoding (null: PKCS#1 v1.5 type 1 with SHA-1) writes its block into out, and the
// k-byte private-key result (k = (bits + 7) / 8) replaces it. Returns k. 0 with
// kErrInvalidParameter (null context or output, an encoding without an encoder),
// kErrRsaSignNoPrivateKey (not a private key), kErrRsaContext (no word array),
// kErrInsufficientBuffer (capacity below k), kErrRsaIncorrectKey (the key is inconsistent),
// kErrRandomContext (no blinding factor from the random source), kErrOutOfMemory, or the
// encoding's code.
int rsa_private_encrypt(size_t out_capacity, const RSA_CTX *ctx, const uint8_t *msg, size_t msg_len,
                        const RSA_PADDING *encoding, uint8_t *out);

// Verifies a signature read as a big-endian number below n, in at most k bytes (a signature whose
// leading zero bytes were dropped is the same number); the recovered k-byte block goes to the
// encoding's verifier (null: PKCS#1 v1.5 type 1, any hash). Returns 1 for a valid signature;
// 0 with kErrInvalidParameter (null context or signature, an encoding without a verifier),
// kErrRsaNoKey (no key), kErrVerifySignature (longer than k, or not below n), kErrOutOfMemory, or
// the verifier's code. Public or private key.
int rsa_public_decrypt(const RSA_CTX *ctx, const uint8_t *msg, size_t msg_len, const RSA_PADDING *encoding,
                       const uint8_t *sig, size_t sig_len);

// Encrypts: the encoding (null: PKCS#1 v1.5 type 2) writes a k-byte block into out and the public
// operation is applied in place. Returns k. 0 with kErrInvalidParameter, kErrRsaNoKey (no key),
// kErrInsufficientBuffer (capacity below k), kErrRsaTooLongData (an encoded block not below n),
// kErrOutOfMemory or the encoding's code. Public or private.
int rsa_public_encrypt(const RSA_CTX *ctx, size_t out_capacity, const uint8_t *msg, size_t msg_len,
                       const RSA_PADDING *encoding, uint8_t *out);

// Decrypts: the private operation on the input (at most k bytes, below n), rendered as k bytes,
// then the encoding's decoder (null: PKCS#1 v1.5 type 2) writes the message. Returns its length. 0
// with kErrInvalidParameter (null context, input or output, length 0, an encoding without a
// decoder), kErrRsaDecryptNoPrivateKey (not a private key), kErrRsaTooLongData (input longer than k
// or not below n), kErrInsufficientBuffer (capacity below k), kErrRsaContext, kErrRsaIncorrectKey,
// kErrRandomContext (no blinding factor), kErrOutOfMemory, or the decoder's code. The recovered
// block is wiped before returning.
int rsa_private_decrypt(const RSA_CTX *ctx, const uint8_t *in, size_t in_len, const RSA_PADDING *encoding,
                        uint8_t *out, size_t out_capacity);

// The numbers of a loaded key, for the key codec. Returns a pointer to the number's words (least
// significant first) and its word count in *words (the modulus and primes without their Montgomery
// values). Null with kErrInvalidParameter (null argument, unknown number), kErrRsaNoKey (empty
// context, or a private number of a public key).
enum RsaNumber : int {
  RSA_NUMBER_N = 0,
  RSA_NUMBER_E = 1,
  RSA_NUMBER_D = 2,
  RSA_NUMBER_P = 3,
  RSA_NUMBER_Q = 4,
  RSA_NUMBER_DP = 5,
  RSA_NUMBER_DQ = 6,
  RSA_NUMBER_QINV = 7,
};
const uint32_t *rsa_key_number(const RSA_CTX *ctx, int which, size_t *words);

// ---- Prime generation -------------------------------------------------------------------------

// A new 1024-bit probable prime in a RSA_PRIME_BUFFER_WORDS-word buffer, with its Montgomery
// values. scratch: bn_gen_prime_scratch_words() words. Returns the code itself: 0,
// kErrInvalidParameter (null argument), the OS generator's code when it cannot be made (1000), or
// the candidate step's code (1265 when a draw fails). The scratch holds prime material afterwards:
// wipe it.
int bn_gen_prime(uint32_t *prime, uint32_t *scratch);
size_t bn_gen_prime_scratch_words();

// Draws a random 1024-bit number with its two top bits and bit 0 set and moves it up by the
// smallest even offset s for which no odd prime among the first 2048 primes divides the number
// or the number minus one (so p - 1 shares no factor with 65535); redraws when s would pass
// 2^32 - 2 or the sum would leave 1024 bits. Writes the 32 number words of the prime buffer.
// Returns the code itself: 0, kErrInvalidParameter (null argument), or the draw's code.
int bn_prime_candidate(RANDOM_CTX *ctx, uint32_t *prime);

// Miller-Rabin on a 32-word candidate set up as a Montgomery modulus (RSA_PRIME_BUFFER_WORDS
// words), with `rounds` random bases in [2, n - 2]. Returns 1 for a probable prime, 0 for a
// composite, -1 on failure with errno (1001 bad argument, or the draw's code).
// scratch: bn_miller_rabin_scratch_words() words.
int bn_miller_rabin(RANDOM_CTX *ctx, const uint32_t *candidate, int rounds, uint32_t *scratch);
size_t bn_miller_rabin_scratch_words();

// One Miller-Rabin round for any size: candidate is an n-word odd Montgomery modulus (2n + 1
// words), candidate - 1 = 2^s * odd with odd given in odd_words words, base an n-word number in [2,
// n - 2]. Returns 1 when the round passes, 0 when it proves the candidate composite, -1 with errno
// kErrInvalidParameter on a bad argument. scratch: bn_mr_round_scratch_words(n) words.
int bn_mr_round(size_t n, const uint32_t *candidate, const uint32_t *base, const uint32_t *odd,
                size_t odd_words, size_t s, uint32_t *scratch);
size_t bn_mr_round_scratch_words(size_t n);
