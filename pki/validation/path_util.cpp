// Small helpers of path validation: error pushes, extension decoding, certificate copies and the
// RSA signature check over a re-encoded value.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/rsa/rsa.h"
#include "pki/asn1/asn1.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"
#include "pki/x509/algorithms.h"
#include "pki/x509/name.h"

namespace v7 {
namespace path {

void path_state_init(PathState *state, const char *policy) {
  memset(state, 0, sizeof(*state));
  state->policy_mapping = 1024;
  state->max_path_length = 1024;
  state->inhibit_any_policy = 1024;
  state->reserved3 = 1;
  state->reserved4 = 1;
  snprintf(state->acceptable, sizeof(state->acceptable), "%s", policy);
}

int push(VALIDATION_CTX *ctx, int code, const char *detail) {
  if (ctx != nullptr) err_push(ctx->err, code, detail);
  return code;
}

int push_owned(VALIDATION_CTX *ctx, int code, char *detail) {
  push(ctx, code, detail);
  free(detail);
  return code;
}

void push_directory_failure(VALIDATION_CTX *ctx, int code, const char *host, unsigned port, const char *dn,
                            size_t limit, bool first) {
  char text[512];
  int n = snprintf(text, sizeof(text), "%s:%u/%s", host, port, dn);
  const char *detail = n > 0 && size_t(n) < limit && size_t(n) < sizeof(text) ? text : nullptr;
  if (first || err_add_detail(ctx->err, code, detail) != 0) err_push(ctx->err, code, detail);
}

void *decode_extension(const Extension *ext, const ASN1_TEMPLATE *tmpl) {
  if (ext == nullptr || ext->extn_value.data == nullptr) return nullptr;
  return asn1_decode_alloc(ASN1_MODE_DER, ext->extn_value.data, tmpl, ext->extn_value.len);
}

void *decode_cert_extension(const Certificate *cert, int oid_id, const ASN1_TEMPLATE *tmpl, bool *present) {
  const Extension *ext = cert_find_extension(cert, oid_id);
  if (present != nullptr) *present = ext != nullptr;
  return decode_extension(ext, tmpl);
}

ASN1_BYTES *cert_ski(const Certificate *cert) {
  return static_cast<ASN1_BYTES *>(
      decode_cert_extension(cert, OID_EXT_SUBJECT_KEY_ID, &asn1_tmpl_octet_string, nullptr));
}

AuthorityKeyIdentifier *cert_aki(const Certificate *cert, bool *present) {
  return static_cast<AuthorityKeyIdentifier *>(
      decode_cert_extension(cert, OID_EXT_AUTHORITY_KEY_ID, &asn1_tmpl_authority_key_identifier, present));
}

bool bytes_equal(const ASN1_BYTES *a, const ASN1_BYTES *b) {
  if (a == nullptr || b == nullptr || a->len != b->len) return false;
  return a->len == 0 || (a->data != nullptr && b->data != nullptr && memcmp(a->data, b->data, a->len) == 0);
}

bool same_algorithm(const AlgorithmIdentifier *a, const AlgorithmIdentifier *b) {
  uint8_t *da = nullptr, *db = nullptr;
  size_t la = 0, lb = 0;
  der_encode_alloc(&asn1_tmpl_algorithm_identifier, a, &da, &la);
  der_encode_alloc(&asn1_tmpl_algorithm_identifier, b, &db, &lb);
  bool same = la != 0 && la == lb && memcmp(da, db, la) == 0;
  free(da);
  free(db);
  return same;
}

ASN1_LIST *cert_cdp(const Certificate *cert, const DistributionPoint **first) {
  auto *cdp = static_cast<ASN1_LIST *>(
      decode_cert_extension(cert, OID_EXT_CRL_DIST_POINTS, &asn1_tmpl_crl_distribution_points, nullptr));
  *first = cdp == nullptr ? nullptr : static_cast<const DistributionPoint *>(cdp->element);
  return cdp;
}

size_t cert_encode(const Certificate *cert, uint8_t **out) {
  size_t len = 0;
  *out = nullptr;
  if (der_encode_alloc(&asn1_tmpl_certificate, cert, out, &len) == 0) return 0;
  return len;
}

Certificate *cert_copy(const Certificate *cert) {
  uint8_t *der = nullptr;
  size_t len = cert_encode(cert, &der);
  if (len == 0) return nullptr;
  auto *copy = static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, len));
  free(der);
  return copy;
}

bool cert_same(const Certificate *a, const Certificate *b) {
  uint8_t *da = nullptr, *db = nullptr;
  size_t la = cert_encode(a, &da), lb = cert_encode(b, &db);
  bool same = la != 0 && la == lb && memcmp(da, db, la) == 0;
  free(da);
  free(db);
  return same;
}

bool self_issued(const Certificate *cert) { return name_compare(&cert->tbs.issuer, &cert->tbs.subject) == 0; }

bool cert_is_ca(const Certificate *cert) {
  auto *bc = static_cast<BasicConstraints *>(
      decode_cert_extension(cert, OID_EXT_BASIC_CONSTRAINTS, &asn1_tmpl_basic_constraints, nullptr));
  const bool ca = bc != nullptr && bc->ca != nullptr && *bc->ca != 0;
  asn1_release(&asn1_tmpl_basic_constraints, bc);
  return ca;
}

int verify_signed(const Certificate *key, const AlgorithmIdentifier *sig_alg, const void *value,
                  const ASN1_TEMPLATE *tmpl, const ASN1_BIT_STRING *signature) {
  const SubjectPublicKeyInfo &spki = key->tbs.subject_public_key_info;
  if (oid_to_id(&spki.algorithm.algorithm) != OID_RSA_ENCRYPTION) return kErrUnsupportedPublicKeyAlgorithm;
  const RSA_PADDING *encoding = sig_padding_for_label(oid_to_id(&sig_alg->algorithm));
  if (encoding == nullptr) return kErrUnsupportedPublicKeyAlgorithm;
  if (signature->data == nullptr || signature->len == 0 || signature->unused_bits != 0) return -1;
  RSA_CTX *rsa = rsa_new();
  if (rsa == nullptr) return -1;
  int code = -1;
  uint8_t *der = nullptr;
  size_t len = 0;
  if (spki.subject_public_key.data != nullptr &&
      rsa_key_decode(spki.subject_public_key.data, spki.subject_public_key.len, RSA_DER_PUBLIC, rsa) != 0 &&
      der_encode_alloc(tmpl, value, &der, &len) != 0 &&
      rsa_public_decrypt(rsa, der, len, encoding, signature->data, signature->len) == 1)
    code = 0;
  free(der);
  rsa_free(rsa);
  return code;
}

const Name *first_directory_name(const ASN1_LIST *general_names) {
  for (const ASN1_LIST *node = general_names; node != nullptr; node = node->next) {
    const auto *name = static_cast<const GeneralName *>(node->element);
    if (name != nullptr && name->directory_name != nullptr) return name->directory_name;
  }
  return nullptr;
}

const ASN1_BYTES *first_cdp_uri(const ASN1_LIST *cdp) {
  const auto *point = cdp == nullptr ? nullptr : static_cast<const DistributionPoint *>(cdp->element);
  if (point == nullptr || point->distribution_point == nullptr) return nullptr;
  for (const ASN1_LIST *node = point->distribution_point->full_name; node != nullptr; node = node->next) {
    const auto *name = static_cast<const GeneralName *>(node->element);
    if (name != nullptr && name->uniform_resource_identifier != nullptr &&
        name->uniform_resource_identifier->data != nullptr)
      return name->uniform_resource_identifier;
  }
  return nullptr;
}

}  // namespace path
}  // namespace v7
