#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/x509/cert.h"
#include "pki/x509/internal.h"
#include "pki/x509/name.h"
#include "platform/clock/clock.h"

namespace v7 {
namespace x509 {

bool time_value(const Time &time, int64_t *out) {
  const ASN1_BYTES *text = time.generalized_time != nullptr ? time.generalized_time : time.utc_time;
  if (text == nullptr || text->data == nullptr) return false;
  const char *chars = reinterpret_cast<const char *>(text->data);
  int64_t t = time.generalized_time != nullptr ? asn1_gentime_to_time(chars, text->len)
                                               : asn1_utctime_to_time(chars, text->len);
  // -1 is also a valid time (one second before 1970): errno tells the two apart.
  if (errno != 0) return false;
  *out = t;
  return true;
}

}  // namespace x509
}  // namespace v7

using v7::with_errno;
using v7::x509::time_value;

namespace {

int64_t cert_time(const Certificate *cert, bool after) {
  if (cert == nullptr) return with_errno(v7::kErrInvalidParameter, int64_t(-1));
  const Validity &v = cert->tbs.validity;
  int64_t t;
  if (!time_value(after ? v.not_after : v.not_before, &t))
    return with_errno(v7::kErrInvalidCertFormat, int64_t(-1));
  return with_errno(0, t);
}

// -1 before the start, 1 past the end, 0 inside; both ends belong to the period.
int period_state(int64_t now, int64_t not_before, int64_t not_after) {
  if (now < not_before) return -1;
  if (now > not_after) return 1;
  return 0;
}

int times_state(const Time &start, const Time &end, int missing_code) {
  int64_t from, to;
  if (!time_value(start, &from) || !time_value(end, &to)) return with_errno(missing_code, -2);
  return with_errno(0, period_state(platform_time_now(), from, to));
}

void format_local(int64_t t, char *out, size_t capacity) {
  LocalTimeFields f;
  if (platform_local_time(t, &f)) {
    snprintf(out, capacity, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
             f.second);
  } else {
    // A time the host cannot break down is still shown, as seconds since 1970.
    snprintf(out, capacity, "%" PRId64, t);
  }
}

// The validity text of a period, with an optional DN appended; the state as validity_text.
int period_text(const Time &start, const Time &end, int missing_code, const Name *subject, char **out_text) {
  if (out_text == nullptr) return with_errno(v7::kErrInvalidParameter, -2);
  *out_text = nullptr;
  int64_t from, to;
  if (!time_value(start, &from) || !time_value(end, &to)) return with_errno(missing_code, -2);
  char *text = nullptr;
  int state = validity_text(from, to, &text);
  if (state == -2) return -2;
  if (state == 0 || subject == nullptr) {
    *out_text = text;
    return with_errno(0, state);
  }
  char *dn = nullptr;
  // The DN is a help to the reader: a name that cannot be written leaves it empty.
  if (cert_name_to_text(subject, &dn) < 0) dn = nullptr;
  const char *dn_text = dn != nullptr ? dn : "";
  size_t size = strlen(text) + strlen(", DN : ") + strlen(dn_text) + 1;
  char *joined = static_cast<char *>(malloc(size));
  if (joined != nullptr) snprintf(joined, size, "%s, DN : %s", text, dn_text);
  free(dn);
  free(text);
  if (joined == nullptr) return with_errno(v7::kErrOutOfMemory, -2);
  *out_text = joined;
  return with_errno(0, state);
}

}  // namespace

int64_t cert_not_before(const Certificate *cert) { return cert_time(cert, false); }
int64_t cert_not_after(const Certificate *cert) { return cert_time(cert, true); }

int cert_validity_state(const Certificate *cert) {
  if (cert == nullptr) return with_errno(v7::kErrInvalidParameter, -2);
  return times_state(cert->tbs.validity.not_before, cert->tbs.validity.not_after, v7::kErrInvalidCertFormat);
}

int crl_validity_state(const TBSCertList *crl) {
  if (crl == nullptr) return with_errno(v7::kErrInvalidParameter, -2);
  return times_state(crl->this_update, crl->next_update, v7::kErrInvalidCrlFormat);
}

int validity_text(int64_t not_before, int64_t not_after, char **out_text) {
  if (out_text == nullptr) return with_errno(v7::kErrInvalidParameter, -2);
  *out_text = nullptr;
  int64_t now = platform_time_now();
  int state = period_state(now, not_before, not_after);
  if (state == 0) return with_errno(0, 0);
  char from[32], to[32], current[32];
  format_local(not_before, from, sizeof from);
  format_local(not_after, to, sizeof to);
  format_local(now, current, sizeof current);
  static const char kFormat[] = "valid period(%s ~ %s), current date(%s)";
  size_t size = sizeof kFormat + strlen(from) + strlen(to) + strlen(current);
  char *text = static_cast<char *>(malloc(size));
  if (text == nullptr) return with_errno(v7::kErrOutOfMemory, -2);
  snprintf(text, size, kFormat, from, to, current);
  *out_text = text;
  return with_errno(0, state);
}

int cert_validity_text(const Certificate *cert, char **out_text) {
  if (cert == nullptr) return with_errno(v7::kErrInvalidParameter, -2);
  return period_text(cert->tbs.validity.not_before, cert->tbs.validity.not_after, v7::kErrInvalidCertFormat,
                     &cert->tbs.subject, out_text);
}

int crl_validity_text(const TBSCertList *crl, char **out_text) {
  if (crl == nullptr) return with_errno(v7::kErrInvalidParameter, -2);
  return period_text(crl->this_update, crl->next_update, v7::kErrInvalidCrlFormat, nullptr, out_text);
}

int ctl_validity_text(const CertificateTrustList *ctl, char **out_text) {
  if (ctl == nullptr) return with_errno(v7::kErrInvalidParameter, -2);
  return period_text(ctl->this_update, ctl->next_update, v7::kErrInvalidCrlFormat, nullptr, out_text);
}
