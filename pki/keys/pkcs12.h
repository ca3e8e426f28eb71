// PKCS#12 (PFX) import: opens a file with its password, checks its MAC, decrypts its bags and
// pairs the signing and the key-management certificate with their private keys by localKeyId.
//
// Readable files: version 3; an authSafe of type data or signedData; data, encryptedData and
// (skipped) envelopedData contents; keyBag, pkcs8ShroudedKeyBag and x509 certBag bags under the
// PKCS#12 SHA-1 schemes with triple DES or RC2. PBES2 bags (OpenSSL 3's default) fail with
// kErrUnknownOid, the two RC4 schemes with kErrUnsupportedCipher.
//
// Codes in errno: kErrInvalidParameter bad arguments, kErrOutOfMemory, kErrPkcs12Format a malformed
// file or an iteration count outside 1..10,000,000, kErrPkcs12VerifyMac MAC mismatch,
// kErrPkcs12MacLength a MAC of the wrong length, kErrUnsupportedHash an unknown MAC digest,
// kErrUnknownOid an unknown scheme, bag or certificate type, and the cipher's codes: a wrong
// password on a file without a MAC shows as kErrSymmetricDecrypt (bad padding) or kErrPkcs12Format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/key_types.h"
#include "pki/asn1/x509_types.h"

// Where pkcs12_import puts what it finds. Each slot is optional; a pair whose two slots are both
// null is not searched. Certificates are released with asn1_release(&asn1_tmpl_certificate, ...),
// keys with asn1_release(&asn1_tmpl_private_key_info, ...).
struct PKCS12_OUTPUTS {
  Certificate **sign_cert;
  PrivateKeyInfo **sign_key;
  Certificate **km_cert;
  PrivateKeyInfo **km_key;
};

// Sets every slot to null, then imports. Returns 1 when the signing pair was found, 2 when only
// the key-management pair was, 3 when both were, and 0 when neither (errno 0) or on failure
// (errno holds the code; nothing is returned then). password is narrow text in the encoding that
// CharEncodingMode names; an empty one fails with kErrInvalidParameter.
//
// The signing certificate is the one whose keyUsage is exactly digitalSignature and
// nonRepudiation; the key-management one has neither of those but keyEncipherment,
// dataEncipherment or keyAgreement. Only two certificates and two keys (bags with a localKeyId,
// in file order) are considered; further ones are dropped unread.
int pkcs12_import(const PKCS12_OUTPUTS *outputs, const char *password, const uint8_t *der, size_t length);

// PKCS#12 key derivation (RFC 7292 Appendix B): length bytes for id 1 (keys), 2 (IVs) or 3 (MAC
// keys) from the BMPString password (terminating 00 00 included; null with length 0 for no
// password) and the salt, with hash type 1..7. Returns 0 or the code (also in errno):
// kErrInvalidParameter bad arguments or zero iterations, kErrUnsupportedHash an unknown hash type,
// kErrOutOfMemory.
int pkcs12_kdf(int id, int hash_type, uint32_t iterations, const uint8_t *password, size_t password_len,
               const uint8_t *salt, size_t salt_len, uint8_t *out, size_t length);
