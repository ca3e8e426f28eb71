// Certificate path validation: the validation context, chain building up to a trust anchor, the
// checks on every certificate of the chain, and issuer lookup (built-in table, cache folder,
// directory server).
//
// Every failure is pushed onto the context's ERROR_CTX (with its detail text) and returned; the
// code is also left in errno. 0 means valid.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/x509_types.h"
#include "pki/errors/error_ctx.h"
#include "pki/validation/valcfg.h"
#include "pki/x509/cert.h"

// The caller's revocation lists for one call of cert_validate_der_with_crls (borrowed bytes).
struct VALIDATION_CRLS {
  const uint8_t *arl;  // serves CA certificates
  size_t arl_len;
  const uint8_t *crl;  // serves end certificates
  size_t crl_len;
};

enum : size_t {
  kValctxPolicyCapacity = 4096,
  kValctxSecondDirCapacity = 1024,
  kValctxDirCapacity = 261,  // at most 260 characters
  kValctxLdapAddrCapacity = 64,
  kValctxCtlDnCapacity = 128,
};

// Chain building gives up beyond this many certificates above the one validated.
constexpr int kValidateMaxDepth = 10;

// Zero-allocated by valctx_create; the texts are terminated within their fields.
struct VALIDATION_CTX {
  int mode;                            // VALCFG_MODE_*
  char policy[kValctxPolicyCapacity];  // ";"-separated accepted policy OIDs
  CERT_NODE *roots;                    // the trust anchors: borrowed from the settings
  VALIDATION_CRLS *crls;               // null, or the lists of one call
  char second_dir[kValctxSecondDirCapacity];
  char cert_dir[kValctxDirCapacity];
  char root_cert_dir[kValctxDirCapacity];
  char ldap_addr[kValctxLdapAddrCapacity];
  int ldap_port;
  char ctl_dn[kValctxCtlDnCapacity];
  ERROR_CTX *err;   // the caller's; every failure is pushed there
  int store_certs;  // VALCFG_STORE_*
  int no_time_check;
  // Extra candidate issuers for one call (borrowed; cert_validate_der_with_issuers sets them):
  // the chain certificates a peer sent along with its own. They are searched after the built-in
  // table and before the cache, and pass the same issuer check as any other candidate.
  CERT_NODE *extra_issuers;
  // Trust-list roots appended while the settings held no root at all (owned, freed with the
  // context); otherwise they are appended to the settings' list, which then owns them.
  CERT_NODE *own_roots;
};

// A context from finished settings (valcfg_finish) and the caller's error context, which it
// borrows, as it borrows the settings' roots: both must outlive it. Null with kErrInvalidParameter
// when either is missing, kErrOutOfMemory for memory, kErrConfigInvalidValue when CertDir or
// RootCertDir is longer than 260 characters (a shortened folder would name another folder, so it is
// refused rather than cut).
VALIDATION_CTX *valctx_create(const VALIDATION_SETTINGS *settings, ERROR_CTX *err);
// Frees the context; the trust-list roots it appended to the anchor list stay there (the
// settings' list owns them). Null is accepted.
void valctx_free(VALIDATION_CTX *ctx);

// 0 when the certificate is valid for the usage code (KU_CHECK_* of pki/x509/cert.h; the CA
// certificates of the path are checked with KU_CHECK_CERT_SIGN). kErrNoValidationCtx without a
// context, kErrNoErrorContext without an error context, kErrProfileDir when the second directory
// text is "NOT_AVAILABLE"; else the code of the first failing step.
int cert_validate(const Certificate *cert, VALIDATION_CTX *ctx, int usage);
// Decodes (strict DER) and validates with usage KU_CHECK_KEY_ENCIPHERMENT.
int cert_validate_der(const uint8_t *der, size_t length, VALIDATION_CTX *ctx);
// As cert_validate_der, with the caller's ARL and CRL (DER, either may be null) in place of the
// cache and the directory for this call; kErrOutOfMemory when the record cannot be made.
int cert_validate_der_with_crls(size_t length, const uint8_t *der, VALIDATION_CTX *ctx, const uint8_t *arl,
                                size_t arl_len, const uint8_t *crl, size_t crl_len);
// As cert_validate_der, with extra candidate issuers for this call (DER certificates, e.g. the
// chain a server sent): count entries of ders / lens. One that does not decode is skipped.
int cert_validate_der_with_issuers(const uint8_t *der, size_t length, VALIDATION_CTX *ctx,
                                   const uint8_t *const *issuer_ders, const size_t *issuer_lens,
                                   size_t count);

// Issuer lookup by the AuthorityKeyIdentifier of cert. mode 1: the cache file "<hex
// keyid>_<serial>" (kind 6) under directory; mode 2: the built-in CA table, records 2 on (directory
// is not used). A new certificate (release with asn1_release and asn1_tmpl_certificate) that passed
// the issuer check, or null with errno: kErrNoAki no AKI, kErrInvalidAki an AKI without
// keyIdentifier (or one above 20 bytes) or serial, the cache's or the issuer check's code, 0 when
// nothing matched.
enum : int { ISSUER_BY_AKI_CACHE = 1, ISSUER_BY_AKI_BUILTIN = 2 };
Certificate *issuer_cert_by_aki(VALIDATION_CTX *ctx, const char *directory, const Certificate *cert,
                                int mode);
