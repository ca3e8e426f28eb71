// The issuer check: does candidate I carry the names, key identifiers, validity and key under
// which certificate S was issued.
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/validation/path_internal.h"
#include "pki/x509/name.h"

namespace v7 {
namespace path {
namespace {

int names_and_keys(VALIDATION_CTX *ctx, const Certificate *cert, const Certificate *issuer) {
  if (name_compare(&cert->tbs.issuer, &issuer->tbs.subject) != 0) return push(ctx, kErrIssuerNameMismatch);
  AuthorityKeyIdentifier *aki = cert_aki(cert, nullptr);
  if (aki == nullptr || aki->key_identifier == nullptr || aki->authority_cert_issuer == nullptr ||
      aki->authority_cert_serial_number == nullptr) {
    asn1_release(&asn1_tmpl_authority_key_identifier, aki);
    return push(ctx, kErrInvalidAki);
  }
  ASN1_BYTES *ski = cert_ski(issuer);
  int code = 0;
  if (ski == nullptr) {
    code = push(ctx, kErrInvalidSki);
  } else {
    const Name *aki_issuer = first_directory_name(aki->authority_cert_issuer);
    if (!bytes_equal(aki->key_identifier, ski) || aki_issuer == nullptr ||
        name_compare(aki_issuer, &issuer->tbs.issuer) != 0 ||
        !bytes_equal(aki->authority_cert_serial_number, &issuer->tbs.serial_number))
      code = push(ctx, kErrIssuerKeyIdMismatch);
  }
  asn1_release(&asn1_tmpl_octet_string, ski);
  asn1_release(&asn1_tmpl_authority_key_identifier, aki);
  return code;
}

}  // namespace

int issuer_check(VALIDATION_CTX *ctx, const Certificate *cert, const Certificate *issuer) {
  if (!same_algorithm(&cert->signature_algorithm, &cert->tbs.signature)) {
    push(ctx, kErrSignatureAlgMismatch);
    return push(ctx, kErrIssuerCheck);
  }
  int code = names_and_keys(ctx, cert, issuer);
  if (code != 0) return code;
  if (ctx->no_time_check != 1) {
    char *text = nullptr;
    int state = cert_validity_text(issuer, &text);
    if (state < 0 || state == 1) {
      int failure = state == 1 ? kErrCertExpired : state == -1 ? kErrCertNotYetValid : kErrInvalidCertFormat;
      return push_owned(ctx, failure, text);
    }
    free(text);
  }
  code = verify_signed(issuer, &cert->signature_algorithm, &cert->tbs, &asn1_tmpl_tbs_certificate,
                       &cert->signature_value);
  if (code == kErrUnsupportedPublicKeyAlgorithm) return push(ctx, code);
  if (code != 0) {
    push(ctx, kErrCertSignature);
    push(ctx, kErrIssuerCheck);
    return kErrCertSignature;
  }
  return 0;
}

}  // namespace path
}  // namespace v7
