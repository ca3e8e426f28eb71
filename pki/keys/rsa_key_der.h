// RSA keys as PKCS#1 DER without the template codec: the fresh public key the relay protocol
// sends, and the numbers a token binding needs out of a key it finds in DER.
//
//   RSAPublicKey  ::= SEQUENCE { modulus INTEGER, publicExponent INTEGER }
//   RSAPrivateKey ::= SEQUENCE { version INTEGER (0), n, e, d, p, q, dP, dQ, qInv }
//
// Headers are read by the toolkit's one header reader (pki/asn1/asn1.h), so lengths, and the
// bytes of an INTEGER, come out as the codec reads them everywhere else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/rsa/rsa.h"

// Entries of rsa_key_from_der's arrays.
enum : int {
  RSA_DER_N = 0,
  RSA_DER_E = 1,
  RSA_DER_D = 2,
  RSA_DER_P = 3,
  RSA_DER_Q = 4,
  RSA_DER_DP = 5,
  RSA_DER_DQ = 6,
  RSA_DER_QINV = 7,
  RSA_DER_COUNT = 8,
};

// Writes the key as RSAPublicKey (kind 1) or RSAPrivateKey (kind 2). With capacity 0 (output may be
// null) returns the size the encoding needs; otherwise writes it and returns its size. 0 on
// failure: kErrInvalidParameter (null key, kind not 1 or 2, null output with a capacity),
// rsa_key_kind's code for a key that holds nothing, kErrRsaNoKey for a private encoding of a public
// key, kErrInsufficientMemory for a capacity below the size.
size_t rsa_key_to_der(const RSA_CTX *key, int kind, uint8_t *output, size_t capacity);

// Splits PKCS#1 DER into its numbers without copying: pointers into der at each number's first
// significant byte, in the order n, e, d, p, q, dP, dQ, qInv (a public key sets the first two),
// and their lengths. 1 for a public key, 2 for a private key, 0 for anything else (errno is not
// set). The DER must be exactly one SEQUENCE of non-negative INTEGERs, a modulus of at least 512
// bits, an exponent no longer than half the modulus, and no other-prime information.
int rsa_key_from_der(size_t length, const uint8_t *der, const uint8_t *pointers[RSA_DER_COUNT],
                     size_t lengths[RSA_DER_COUNT]);

// The size of an element's header (0 on any failure) and its contents length in *length, for
// callers that walk DER by hand. The element must carry the expected one-byte tag, a definite
// DER length, and lie within the available bytes, of which there must be at least 3. For an
// INTEGER the header also covers the redundant leading zero bytes the codec drops, so that the
// contents are exactly the bytes the codec stores (a zero before a byte with its top bit set
// stays: it is the sign); an empty or non-minimal negative INTEGER fails.
size_t der_read_header(const uint8_t *input, size_t available, uint8_t expected_tag, size_t *length);

// Writes a tag byte and a DER length and returns the header size (2 to 6); a null output only
// counts.
size_t rsa_der_put_tag_len(uint8_t *output, size_t length, uint8_t tag);
