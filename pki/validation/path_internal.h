// Helpers shared by the path-validation and revocation files of this folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/x509_types.h"
#include "pki/validation/validate.h"

namespace v7 {
namespace path {

// The state of one path validation, in the order the toolkit has always kept it.
struct PathState {
  int explicit_policy;
  int policy_mapping;
  int max_path_length;
  int inhibit_any_policy;
  int reserved1;
  int reserved2;
  int reserved3;
  int policies_processed;
  int reserved4;
  int reserved5;
  char acceptable[2048];  // ";"-separated policy OIDs
};
void path_state_init(PathState *state, const char *policy);

// Pushes code (with an optional detail) and returns it.
int push(VALIDATION_CTX *ctx, int code, const char *detail = nullptr);
// Pushes code with the detail text of a helper that made one (freed here), and returns it.
int push_owned(VALIDATION_CTX *ctx, int code, char *detail);
// Adds "host:port/dn" as the detail of a directory failure when it stays under limit characters:
// a new entry when first is true, else a sub-entry of the newest one.
void push_directory_failure(VALIDATION_CTX *ctx, int code, const char *host, unsigned port, const char *dn,
                            size_t limit, bool first);

// Decodes an extension's value (strict DER) by its template; null when absent or undecodable
// (*present tells which).
void *decode_extension(const Extension *ext, const ASN1_TEMPLATE *tmpl);
void *decode_cert_extension(const Certificate *cert, int oid_id, const ASN1_TEMPLATE *tmpl, bool *present);

// The decoded subjectKeyIdentifier (asn1_tmpl_octet_string) and AuthorityKeyIdentifier
// (asn1_tmpl_authority_key_identifier) of a certificate, or null.
ASN1_BYTES *cert_ski(const Certificate *cert);
AuthorityKeyIdentifier *cert_aki(const Certificate *cert, bool *present);
// True when two INTEGER or OCTET STRING values hold the same bytes (decoded INTEGERs are minimal,
// so serials compare by value whatever leading zeros they were sent with).
bool bytes_equal(const ASN1_BYTES *a, const ASN1_BYTES *b);

// True when two AlgorithmIdentifiers encode to the same DER.
bool same_algorithm(const AlgorithmIdentifier *a, const AlgorithmIdentifier *b);
// The decoded CRL distribution points of a certificate (release with
// asn1_tmpl_crl_distribution_points) and its first point, or null.
ASN1_LIST *cert_cdp(const Certificate *cert, const DistributionPoint **first);

// A certificate's DER in a new buffer (free()); 0 on failure.
size_t cert_encode(const Certificate *cert, uint8_t **out);
// A fresh decoding of the certificate's DER, or null.
Certificate *cert_copy(const Certificate *cert);
// True when both encode to the same bytes.
bool cert_same(const Certificate *a, const Certificate *b);
bool self_issued(const Certificate *cert);
// True when the certificate's basicConstraints decode and assert cA, as the path check reads them.
bool cert_is_ca(const Certificate *cert);

// 0 when the RSA signature over the DER of value (re-encoded by tmpl) verifies under key's subject
// public key with the encoding sig_alg names (sig_padding_for_label: its hash is bound); else
// kErrUnsupportedPublicKeyAlgorithm (no RSA key or no encoding for the algorithm) or -1 (the
// signature does not verify or nothing encodes).
int verify_signed(const Certificate *key, const AlgorithmIdentifier *sig_alg, const void *value,
                  const ASN1_TEMPLATE *tmpl, const ASN1_BIT_STRING *signature);

// The first directoryName of a GeneralNames list, or null.
const Name *first_directory_name(const ASN1_LIST *general_names);
// The first uniformResourceIdentifier of the first distribution point's full name, or null.
const ASN1_BYTES *first_cdp_uri(const ASN1_LIST *cdp);

// The issuer check: 0 when issuer issued cert (names, key identifiers, validity, signature).
int issuer_check(VALIDATION_CTX *ctx, const Certificate *cert, const Certificate *issuer);
// The checks of one certificate against its issuer.
int cert_check(VALIDATION_CTX *ctx, const Certificate *cert, const Certificate *issuer, int usage,
               PathState *state);
// Builds the chain of cert (trust anchor first, cert itself not on it).
int chain_build(VALIDATION_CTX *ctx, const Certificate *cert, CERT_NODE **chain);
// Checks the chain from its anchor down to cert.
int path_check(VALIDATION_CTX *ctx, const CERT_NODE *chain, const Certificate *cert, int usage);
// The issuer of cert from the table, the extra candidates, the cache or the directory; null with
// the code in *code.
Certificate *issuer_lookup(VALIDATION_CTX *ctx, const Certificate *cert, int *code);
// Stores a fetched certificate under "<hex SKI>_<serial>" (kind 6 or 7) unless storing is FALSE.
int issuer_store(VALIDATION_CTX *ctx, const char *folder, int kind, const Certificate *cert);

// Revocation lists.
// 0 when the list is the certificate's issuer's (by key identifier) and can decide its status: a
// complete list whose scope covers it. Else the reason is pushed and returned.
int crl_match(VALIDATION_CTX *ctx, const CertificateList *crl, const Certificate *cert);
bool crl_current(const CertificateList *crl);
// A current list for cert that its issuer signed, from the cache or the directory (then cached).
CertificateList *crl_fetch(VALIDATION_CTX *ctx, const Certificate *cert, const Certificate *issuer,
                           int *code);
int crl_check_issuer(VALIDATION_CTX *ctx, const CertificateList *crl, const Certificate *cert,
                     const Certificate *issuer);
int revoked_search(VALIDATION_CTX *ctx, const CertificateList *crl, const Certificate *cert);

}  // namespace path
}  // namespace v7
