// The RSA block encodings by scheme id, DigestInfo, hash identifiers and strengths, and small
// helpers over decoded values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/rsa/rsa.h"
#include "crypto/rsa/rsa_padding.h"
#include "pki/asn1/asn1.h"
#include "pki/errors/error_ctx.h"

// Signature schemes.
enum : int {
  SIG_SCHEME_PKCS1 = 5376,         // PKCS#1 v1.5 with DigestInfo, default hash
  SIG_SCHEME_PKCS1_SHA256 = 5377,  // PKCS#1 v1.5 with DigestInfo, SHA-256
  SIG_SCHEME_PSS = 10,             // SHA-1, MGF1-SHA-1, 20-byte salt
  SIG_SCHEME_PSS_SHA256_MGF1_SHA1 = 11,
  SIG_SCHEME_PSS_SHA256 = 12,
  SIG_SCHEME_PKCS1_RAW = 13,  // type 1 over the given bytes, no DigestInfo
};
// Encryption schemes.
enum : int {
  ENC_SCHEME_PKCS1 = 4608,
  ENC_SCHEME_OAEP = 1,  // SHA-1, MGF1-SHA-1 (the relay protocol's RSA records)
  ENC_SCHEME_OAEP_SHA256_MGF1_SHA1 = 2,
  ENC_SCHEME_OAEP_SHA256 = 3,
  ENC_SCHEME_OAEP_SHA1_MGF1_SHA256 = 4,
};

// The descriptor of a scheme id, or null for any other id.
const RSA_PADDING *sig_padding_by_id(int id);
// The encoding that verifies a signature labelled sha1WithRSAEncryption (a SHA-1 DigestInfo only)
// or sha256WithRSAEncryption (a SHA-256 one) by the signature algorithm's id; null for any other.
const RSA_PADDING *sig_padding_for_label(int id);
const RSA_PADDING *enc_padding_by_id(int id);

// Scheme 13: 00 01 FF.. 00 data in k = (bits + 7) / 8 bytes; returns k. kErrSignatureEncode when
// the data does not leave room for 11 bytes, kErrInsufficientMemory when capacity is below k.
int pkcs1_type1_raw_pad(int bits, const uint8_t *data, size_t length, uint8_t *out, size_t capacity);
// 0 when the block is exactly such an encoding of the data, else kErrVerifySignature.
int pkcs1_type1_raw_verify(int bits, const uint8_t *data, size_t length, const uint8_t *block,
                           size_t block_length);

// SHA-1 1, SHA-256 2, HAS-160 6 from a digest OID's contents; kErrUnsupportedAlgorithm otherwise.
int hash_oid_to_type(const ASN1_BYTES *oid, int *out_type);
int hash_oid_type(const ASN1_BYTES *oid);  // the type, 0 when unknown

// (bits of n + 7) / 8; 0 with kErrInvalidParameter null, kErrRsaNoKey no key, kErrRsaContext empty
// modulus.
int rsa_modulus_bytes(const RSA_CTX *ctx);

// -1 when the target hash (digest id of pki/oid) is weaker than the criterion, else 0;
// kErrUnsupportedCriteriaHash when the criterion has no strength, kErrUnsupportedTargetHash when
// the target id is 0. Strengths: SHA-1 and HAS-160 3, SHA-224 and SHA-256 4, SHA-384 and SHA-512 5;
// any other target 0 (weaker than every criterion).
int hash_strength_compare(int criterion_id, int target_id);
// Pushes kErrHashStrength onto the context when the comparison is not 0 and returns
// kErrHashStrength; kErrNoErrorContext without a context.
int hash_strength_check(ERROR_CTX *ctx, int target_id, int criterion_id);

// Encodes a value into a new buffer (free()); returns its length, 0 on failure (1001,
// kErrOutOfMemory).
size_t asn1_encode_new(const void *value, const ASN1_TEMPLATE *tmpl, uint8_t **out, size_t *out_len);

// 0 when both hold the same bytes, 1 otherwise (1 with kErrInvalidParameter when either is null).
int asn1_bytes_compare(const ASN1_BYTES *a, const ASN1_BYTES *b);

// DigestInfo of the digest of data for hash type 1 or 2 (1200 for others). A null output returns
// the size; kErrInsufficientBuffer when capacity is short. digest_info_new returns a new buffer
// (free()).
int digest_info_encode(int hash_type, uint8_t *out, size_t capacity, const uint8_t *data, size_t length);
uint8_t *digest_info_new(int hash_type, const uint8_t *data, size_t length, size_t *out_len);

// kind 1: RSAPublicKey into ctx; kind 2: RSAPrivateKey (version 0, no otherPrimeInfos). Returns the
// modulus length in bits, 0 on failure: kErrInvalidParameter for another kind, kErrAsn1Decode when
// the element is longer than the input, kErrRsaIncorrectKey for a bad key (another version, further
// primes, a negative number), the codec's codes and those of rsa_set_public_key /
// rsa_set_private_key. A failure leaves the context empty.
enum : int { RSA_DER_PUBLIC = 1, RSA_DER_PRIVATE = 2 };
int rsa_key_decode(const uint8_t *der, size_t length, int kind, RSA_CTX *ctx);
