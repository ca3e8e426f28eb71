// The certificate trust list: a self-signed certificate that is not a built-in root is trusted
// when a list signed by a trust anchor names its digest.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "pki/asn1/asn1.h"
#include "pki/asn1/cms_types.h"
#include "pki/cms/cms.h"
#include "pki/ldap/ldap.h"
#include "pki/ldap/ldap_types.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"
#include "pki/validation/revocation.h"

namespace {

using namespace v7::path;

// 1.3.6.1.4.1.311.10.1 and 1.2.410.200004.8.1.1.1 as contents octets.
const uint8_t kCtlContentType[] = {0x2b, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0a, 0x01};
const uint8_t kCtlSubjectUsage[] = {0x2a, 0x83, 0x1a, 0x8c, 0x9a, 0x44, 0x08, 0x01, 0x01, 0x01};
constexpr size_t kDetailLimit = 500;

bool is_oid(const ASN1_BYTES &value, const uint8_t *oid, size_t len) {
  return value.len == len && value.data != nullptr && memcmp(value.data, oid, len) == 0;
}

bool version_is_1(const ASN1_BYTES &version) { return version.len == 1 && version.data[0] == 1; }

bool is_anchor(VALIDATION_CTX *ctx, const Certificate *cert) {
  CERT_NODE *lists[] = {ctx->roots, ctx->own_roots};
  for (const CERT_NODE *list : lists)
    for (const CERT_NODE *node = list; node != nullptr; node = node->next)
      if (node->cert != nullptr && cert_same(node->cert, cert)) return true;
  return false;
}

// The signed data's own checks before its signature is verified.
int check_signed_data(VALIDATION_CTX *ctx, const ContentInfo *info, SignedData **out) {
  if (oid_to_id(&info->content_type) != OID_PKCS7_SIGNED) return push(ctx, v7::kErrCtlNotSignedData);
  auto *sd = static_cast<SignedData *>(
      asn1_decode_alloc(ASN1_MODE_DER, info->content.data, &asn1_tmpl_signed_data, info->content.len));
  if (sd == nullptr) return push(ctx, v7::kErrDecodeFailed, "CTL - SignedData");
  *out = sd;
  if (!version_is_1(sd->version)) return push(ctx, v7::kErrCtlVersion);
  for (const ASN1_LIST *node = &sd->signer_infos; node != nullptr; node = node->next) {
    const auto *si = static_cast<const SignerInfo *>(node->element);
    if (si == nullptr || !version_is_1(si->version)) return push(ctx, v7::kErrCtlVersion);
  }
  if (!is_oid(sd->encap_content_info.e_content_type, kCtlContentType, sizeof(kCtlContentType)))
    return push(ctx, v7::kErrCtlContentType);
  return 0;
}

int check_list(VALIDATION_CTX *ctx, const uint8_t *content, size_t len, CertificateTrustList **out) {
  auto *ctl = static_cast<CertificateTrustList *>(
      asn1_decode_alloc(ASN1_MODE_DER, content, &asn1_tmpl_certificate_trust_list, len));
  if (ctl == nullptr) return push(ctx, v7::kErrDecodeFailed, "CertificateTrustList");
  *out = ctl;
  char *text = nullptr;
  if (ctl_validity_text(ctl, &text) != 0) return push_owned(ctx, v7::kErrCtlValidity, text);
  free(text);
  for (const ASN1_LIST *node = &ctl->subject_usage; node != nullptr; node = node->next) {
    const auto *usage = static_cast<const ASN1_BYTES *>(node->element);
    if (usage != nullptr && is_oid(*usage, kCtlSubjectUsage, sizeof(kCtlSubjectUsage))) return 0;
  }
  return push(ctx, v7::kErrCtlSubjectUsage);
}

// A trust list that verifies and is signed by a trust anchor, or null.
CertificateTrustList *verify_list(VALIDATION_CTX *ctx, const ASN1_BYTES *value) {
  auto *info = static_cast<ContentInfo *>(
      asn1_decode_alloc(ASN1_MODE_DER, value->data, &asn1_tmpl_content_info, value->len));
  if (info == nullptr) {
    push(ctx, v7::kErrDecodeFailed, "PKCS7 SignedData");
    return nullptr;
  }
  SignedData *sd = nullptr;
  CertificateTrustList *ctl = nullptr;
  uint8_t *content = nullptr;
  size_t content_len = 0;
  int code = check_signed_data(ctx, info, &sd);
  if (code == 0) {
    CMS_VERIFY_INFO verify{};
    verify.content_info = 1;
    verify.validation_mode = CMS_VALIDATION_NONE;
    verify.skip_identity = 1;
    code = cms_verify_signed(ctx->err, ctx, value->data, value->len, &content, &content_len, &verify);
    cms_verify_info_clear(&verify);
    if (code != 0) code = push(ctx, v7::kErrCtlProcess);
  }
  if (code == 0) {
    const auto *si = static_cast<const SignerInfo *>(sd->signer_infos.element);
    const Certificate *signer = si == nullptr ? nullptr : cms_find_signer_cert(&si->sid, sd->certificates);
    if (signer == nullptr)
      code = push(ctx, v7::kErrNoSignerCert);
    else if (!is_anchor(ctx, signer))
      code = push(ctx, v7::kErrCtlNoTrusted);
  }
  if (code == 0) code = check_list(ctx, content, content_len, &ctl);
  free(content);
  asn1_release(&asn1_tmpl_signed_data, sd);
  asn1_release(&asn1_tmpl_content_info, info);
  if (code == 0) return ctl;
  asn1_release(&asn1_tmpl_certificate_trust_list, ctl);
  return nullptr;
}

int listed(VALIDATION_CTX *ctx, const CertificateTrustList *ctl, const Certificate *cert) {
  int type = 0;
  switch (oid_to_id(&ctl->subject_algorithm.algorithm)) {
    case OID_SHA1:
      type = HASH_SHA1;
      break;
    case OID_SHA256:
      type = HASH_SHA256;
      break;
    case OID_HAS160:
      type = HASH_HAS160;
      break;
    default:
      return push(ctx, v7::kErrUnsupportedAlgorithm);
  }
  uint8_t *der = nullptr;
  size_t len = cert_encode(cert, &der);
  uint8_t digest[HASH_MAX_DIGEST_LEN];
  int n = len == 0 ? 0 : hash_digest(sizeof(digest), digest, type, der, len);
  free(der);
  if (n <= 0) return push(ctx, v7::kErrEncodeFailed);
  for (const ASN1_LIST *node = &ctl->trusted_subjects; node != nullptr; node = node->next) {
    const auto *subject = static_cast<const TrustedSubject *>(node->element);
    if (subject != nullptr && subject->subject_identifier.len == uint32_t(n) &&
        memcmp(subject->subject_identifier.data, digest, size_t(n)) == 0)
      return 0;
  }
  return push(ctx, v7::kErrCtlNotListed);
}

int append_anchor(VALIDATION_CTX *ctx, const Certificate *cert) {
  if (is_anchor(ctx, cert)) return 0;
  Certificate *copy = cert_copy(cert);
  auto *node = static_cast<CERT_NODE *>(calloc(1, sizeof(CERT_NODE)));
  if (copy == nullptr || node == nullptr) {
    asn1_release(&asn1_tmpl_certificate, copy);
    free(node);
    return push(ctx, v7::kErrOutOfMemory);
  }
  node->cert = copy;
  CERT_NODE **tail = ctx->roots != nullptr ? &ctx->roots->next : &ctx->own_roots;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = node;
  return 0;
}

}  // namespace

int ctl_check(VALIDATION_CTX *ctx, const Certificate *cert) {
  if (ctx == nullptr || cert == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  LDAP_URL *url = ldap_url_new(ctx->ldap_addr, strlen(ctx->ldap_addr), uint32_t(ctx->ldap_port), ctx->ctl_dn,
                               strlen(ctx->ctl_dn), "certificateTrustList", strlen("certificateTrustList"));
  auto *values = url == nullptr ? nullptr : static_cast<ASN1_LIST *>(ldap_fetch(url, LDAP_KIND_TRUST_LIST));
  if (values == nullptr) {
    int failure = errno != 0 ? errno : v7::kErrLdapSearch;
    if (url != nullptr)
      push_directory_failure(ctx, failure, url->host, url->port, url->dn, kDetailLimit, true);
    ldap_url_free(url);
    int code = push(ctx, v7::kErrCtlProcess);
    return v7::with_errno(code, code);
  }
  ldap_url_free(url);
  CertificateTrustList *ctl = nullptr;
  for (const ASN1_LIST *node = values; node != nullptr && ctl == nullptr; node = node->next) {
    const auto *value = static_cast<const ASN1_BYTES *>(node->element);
    if (value == nullptr || value->data == nullptr) continue;
    // Each list is judged on its own: what an earlier one failed on is not this one's trail.
    err_ctx_clear(ctx->err);
    ctl = verify_list(ctx, value);
  }
  asn1_release(&asn1_tmpl_ldap_values, values);
  int code = ctl == nullptr ? push(ctx, v7::kErrCtlNoTrusted) : listed(ctx, ctl, cert);
  asn1_release(&asn1_tmpl_certificate_trust_list, ctl);
  if (code == 0) code = append_anchor(ctx, cert);
  if (code == 0) {
    // Stored only now that a verified list has named it.
    int stored = issuer_store(ctx, ctx->root_cert_dir, CACHE_KIND_ROOT_CERT, cert);
    if (stored != 0 && ctx->store_certs == VALCFG_STORE_TRUE) code = stored;
  }
  return v7::with_errno(code, code);
}
