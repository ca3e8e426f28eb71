// Accessors over a decoded certificate (asn1_tmpl_certificate, pki/asn1/x509_types.h): validity,
// extensions, key usage, signature hash and key size, and certificate lists.
//
// Results follow the toolkit's rule: 0, a length or a pointer on success; on failure the code is
// left in errno (platform/errors/errno_util.h). Every function checks its pointers first (1001).
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/x509_types.h"

// A list of certificates, nodes allocated with malloc. flag 0: the node owns its certificate
// (decoded with asn1_tmpl_certificate); any other value: it borrows it.
struct CERT_NODE {
  int flag;
  Certificate *cert;
  CERT_NODE *next;
};

// Frees the nodes from the tail, and each certificate whose node owns it.
void cert_nodes_free(CERT_NODE *list);

// 5377 for sha256WithRSAEncryption, 5376 for sha1WithRSAEncryption, 0 for anything else (errno 0);
// 0 with the codec's code when the DER does not decode.
int cert_hash_alg(const uint8_t *der, size_t length);

// The RSA modulus length in bits of the certificate's key; 0 on failure.
int cert_key_bits(const uint8_t *der, size_t length);
int cert_rsa_key_bits(const Certificate *cert);

// The subject Name re-encoded into a new buffer (free()); returns its length, 0 on failure.
size_t cert_subject_der(const uint8_t *der, size_t length, uint8_t **out, size_t *out_len);

// Times as seconds since 1970 UTC; GeneralizedTime is taken before UTCTime. -1 with
// kErrInvalidCertFormat when neither is present (errno 0 on success).
int64_t cert_not_before(const Certificate *cert);
int64_t cert_not_after(const Certificate *cert);

// -1 before notBefore, 1 after notAfter, 0 inside (both ends inclusive), against the clock of
// platform/clock. cert_validity_state fails with kErrInvalidCertFormat, crl_validity_state with
// kErrInvalidCrlFormat (errno set, result -2) when a time is missing or unreadable.
int cert_validity_state(const Certificate *cert);
int crl_validity_state(const TBSCertList *crl);

// 0 when now lies inside [not_before, not_after]; 1 past the end, -1 before the start, and then
// also a new text (free()) "valid period(%s ~ %s), current date(%s)" in local time
// "%Y-%m-%d %H:%M:%S". cert_validity_text adds ", DN : <subject>"; the CRL and trust-list
// twins use thisUpdate and nextUpdate (10400 when absent).
int validity_text(int64_t not_before, int64_t not_after, char **out_text);
int cert_validity_text(const Certificate *cert, char **out_text);
int crl_validity_text(const TBSCertList *crl, char **out_text);
int ctl_validity_text(const CertificateTrustList *ctl, char **out_text);

// The first extension whose extnID maps to the object id, or null. ext_list_find walks any list
// whose elements start with an OID (extensions of CRLs and entries, attributes).
const Extension *cert_find_extension(const Certificate *cert, int oid_id);
const void *ext_list_find(const ASN1_LIST *list, int oid_id);

// 1 when the critical BOOLEAN is present and TRUE.
int ext_is_critical(const Extension *ext);

// Key-usage codes of the callers.
enum : int {
  KU_CHECK_SIGNING = 0,
  KU_CHECK_KEY_ENCIPHERMENT = 0x10000,
  KU_CHECK_SIGNING_2 = 0x20000,
  KU_CHECK_SIGNING_3 = 0x40000,
  KU_CHECK_CERT_SIGN = 0x80000,
  KU_CHECK_CRL_SIGN = 0x100000,
  KU_CHECK_ANY = 0x200000,
  KU_CHECK_ANY_2 = 0x400000,
};
// 1 when the KeyUsage bit string allows the use the code names, 0 when not (or unknown code).
int cert_key_usage_ok(int code, const ASN1_BIT_STRING *key_usage);
