// The search of a revocation list's entries for a certificate. The entries are walked in the
// list's raw DER, so that a long list is searched without decoding every entry; only the match
// is decoded.
#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"
#include "pki/x509/name.h"

namespace v7 {
namespace path {
namespace {

constexpr int32_t kReasonCertificateHold = 6;

enum class Serial { kOther, kSame, kMalformed };

// The serial that opens an entry's contents, compared by value (leading zero bytes do not count).
// An entry that does not open with an INTEGER (DER has no empty one) makes the whole list
// malformed: skipping it could pass over the certificate's own entry.
Serial compare_serial(const uint8_t *contents, size_t len, const ASN1_BYTES *serial) {
  ASN1_HEADER h;
  if (asn1_read_header(ASN1_MODE_DER, contents, len, &h) != 0 || h.tag != 0x02 || h.content_len == 0)
    return Serial::kMalformed;
  const uint8_t *value = contents + h.header_len;
  size_t n = h.content_len;
  asn1_integer_skip_zeros(&value, &n);
  return n == serial->len && (n == 0 || memcmp(value, serial->data, n) == 0) ? Serial::kSame : Serial::kOther;
}

int judge_entry(VALIDATION_CTX *ctx, const RevokedCertificate *entry, const Certificate *cert) {
  const DistributionPoint *point = nullptr;
  ASN1_LIST *cdp = cert_cdp(cert, &point);
  if (point == nullptr) {
    asn1_release(&asn1_tmpl_crl_distribution_points, cdp);
    return push(ctx, kErrInvalidCdp);
  }
  const bool indirect = point->crl_issuer != nullptr;
  asn1_release(&asn1_tmpl_crl_distribution_points, cdp);
  const ASN1_LIST *exts = entry->crl_entry_extensions;
  if (indirect) {
    const auto *ext = static_cast<const Extension *>(ext_list_find(exts, OID_EXT_CERT_ISSUER));
    auto *names = static_cast<ASN1_LIST *>(decode_extension(ext, &asn1_tmpl_general_names));
    const Name *name = first_directory_name(names);
    bool same = name != nullptr && name_compare(name, &cert->tbs.issuer) == 0;
    asn1_release(&asn1_tmpl_general_names, names);
    if (!same) return push(ctx, kErrInvalidCrlIssuerEntry);
  }
  const auto *reason_ext = static_cast<const Extension *>(ext_list_find(exts, OID_EXT_CRL_REASON));
  // An entry without a reason is revoked for an unspecified reason, never "not revoked".
  if (reason_ext == nullptr) return push(ctx, kErrCertRevoked);
  auto *reason = static_cast<ASN1_BYTES *>(decode_extension(reason_ext, &asn1_tmpl_enumerated));
  if (reason == nullptr) return push(ctx, kErrInvalidCrlReason);
  errno = 0;
  int32_t value = asn1_integer_to_int(reason);
  bool readable = !(value == 0 && errno != 0);
  asn1_release(&asn1_tmpl_enumerated, reason);
  if (!readable) return push(ctx, kErrInvalidCrlReason);
  return push(ctx, value == kReasonCertificateHold ? kErrCertHeld : kErrCertRevoked);
}

}  // namespace

int revoked_search(VALIDATION_CTX *ctx, const CertificateList *crl, const Certificate *cert) {
  const ASN1_BYTES *raw = crl->tbs.revoked_certificates;
  if (raw == nullptr || raw->data == nullptr) return 0;
  ASN1_HEADER outer;
  if (asn1_read_header(ASN1_MODE_DER, raw->data, raw->len, &outer) != 0 || outer.tag != 0x30)
    return push(ctx, kErrDecodeFailed, "CertificateList");
  const uint8_t *p = raw->data + outer.header_len;
  size_t left = outer.content_len;
  while (left > 0) {
    ASN1_HEADER h;
    if (asn1_read_header(ASN1_MODE_DER, p, left, &h) != 0 || h.tag != 0x30)
      return push(ctx, kErrDecodeFailed, "CertificateList");
    const size_t whole = size_t(h.header_len) + h.content_len;
    const Serial serial = compare_serial(p + h.header_len, h.content_len, &cert->tbs.serial_number);
    if (serial == Serial::kMalformed) return push(ctx, kErrDecodeFailed, "CertificateList");
    if (serial == Serial::kSame) {
      auto *entry = static_cast<RevokedCertificate *>(
          asn1_decode_alloc(ASN1_MODE_DER, p, &asn1_tmpl_revoked_certificate, whole));
      if (entry == nullptr) return push(ctx, kErrDecodeFailed, "CertificateList");
      int code = judge_entry(ctx, entry, cert);
      asn1_release(&asn1_tmpl_revoked_certificate, entry);
      return code;
    }
    p += whole;
    left -= whole;
  }
  return 0;
}

}  // namespace path
}  // namespace v7
