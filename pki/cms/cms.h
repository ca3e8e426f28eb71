// CMS / PKCS#7 signed data verification and the identity check of the accredited-certificate
// scheme (the holder's registration number against the VID in the certificate).
//
// Every failure is pushed onto the caller's ERROR_CTX (with the detail texts the checks name) and
// returned; 0 means the check passed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/cms_types.h"
#include "pki/asn1/x509_types.h"
#include "pki/errors/error_ctx.h"
#include "pki/x509/cert.h"

struct VALIDATION_CTX;  // pki/validation/validate.h

// The caller's options and the results of cms_verify_signed, in this order.
enum : int {
  CMS_FLAG_RETURN_RANDOM = 1,       // copy the HashContent's random value
  CMS_FLAG_RETURN_SIGNER_CERT = 2,  // copy the signer certificate's DER
};
enum : int { CMS_VALIDATION_NONE = 2 };  // validation mode: no path validation of the signer

struct CMS_VERIFY_INFO {
  // Options.
  int content_info;        // nonzero: the input is a ContentInfo; 0: a bare SignedData
  int validation_mode;     // CMS_VALIDATION_NONE, or the mode used for the signer's path this call
  int flags;               // CMS_FLAG_*
  int skip_identity;       // nonzero: do not run the identity check of a HashContent attribute
  int relaxed_attributes;  // nonzero: contentType neither checked nor required, signed attrs optional
  // Results (owned by the record after the call; cms_verify_info_clear frees them).
  uint8_t *content_type;  // copy of the eContentType OID contents
  size_t content_type_len;
  int digest_alg_id;     // object id of the signer's digest algorithm
  int signature_alg_id;  // object id of the signer's signature algorithm
  uint8_t *signer_cert;  // with CMS_FLAG_RETURN_SIGNER_CERT
  size_t signer_cert_len;
  int validation_option;  // handed to the path validation
  uint8_t *random;        // with CMS_FLAG_RETURN_RANDOM
  size_t random_len;
  char *idn;  // the registration number text of the HashContent, NUL-terminated
};

// Frees the result fields (random values wiped) and zeroes them; options stay.
void cms_verify_info_clear(CMS_VERIFY_INFO *info);

// 0 when the certificate's VID equals H(H(DER of HashContent {idn, random})); else the code.
int cms_check_identity(const char *idn, const uint8_t *random, ERROR_CTX *ctx, const Certificate *cert,
                       size_t idn_len, size_t random_len);

// 0 when every check passes; with both content outputs given, the content in a new buffer
// (free()).
int cms_verify_signed(ERROR_CTX *ctx, VALIDATION_CTX *vctx, const uint8_t *der, size_t length,
                      uint8_t **out_content, size_t *out_content_len, CMS_VERIFY_INFO *info);

// The certificate the signer identifier names in a SignedData's certificates (a list of
// CertificateChoice), by issuer and serial or by subject key identifier; borrowed from the list,
// null when none.
const Certificate *cms_find_signer_cert(const SignerIdentifier *sid, const ASN1_LIST *certificates);
