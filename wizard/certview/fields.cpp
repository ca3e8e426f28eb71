// Display texts of a certificate's own fields.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pki/oid/oid.h"
#include "pki/x509/cert.h"
#include "platform/errors/errno_util.h"
#include "wizard/certview/certview.h"
#include "wizard/certview/internal.h"
#include "wizard/res/string_ids.h"

using v7::certview::integer_magnitude;
using v7::certview::render_new;
using v7::certview::TextOut;

namespace {

// RFC 5280 caps serials at 20 octets; the limit only keeps the quadratic decimal conversion of a
// hostile value short.
constexpr size_t kMaxDecimalSerial = 4096;

// Year, month, day of a day count since 1970-01-01 (the proleptic Gregorian calendar).
void civil_from_days(int64_t days, int64_t *year, unsigned *month, unsigned *day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  auto doe = unsigned(days - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = int64_t(yoe) + era * 400 + (*month <= 2 ? 1 : 0);
}

char *time_text(const Certificate *cert, bool not_after) {
  if (cert == nullptr) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  int64_t t = not_after ? cert_not_after(cert) : cert_not_before(cert);
  // -1 is a real time (one second before 1970) only when errno stays 0.
  if (t == -1 && errno != 0) return v7::with_errno(v7::kErrInvalidCertFormat, nullptr);
  int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
  int64_t secs = t - days * 86400;
  int64_t year;
  unsigned month, day;
  civil_from_days(days, &year, &month, &day);
  if (year < 1 || year > 9999) return v7::with_errno(v7::kErrInvalidCertFormat, nullptr);
  char *text = static_cast<char *>(malloc(20));
  if (text == nullptr) return v7::with_errno(v7::kErrOutOfMemory, nullptr);
  auto two = [&](size_t at, unsigned v) {
    text[at] = char('0' + v / 10);
    text[at + 1] = char('0' + v % 10);
  };
  two(0, unsigned(year / 100));
  two(2, unsigned(year % 100));
  text[4] = '-';
  two(5, month);
  text[7] = '-';
  two(8, day);
  text[10] = ' ';
  two(11, unsigned(secs / 3600));
  text[13] = ':';
  two(14, unsigned(secs / 60 % 60));
  text[16] = ':';
  two(17, unsigned(secs % 60));
  text[19] = '\0';
  errno = 0;
  return text;
}

// A new text or the errno a renderer left; out of memory when the renderer itself succeeded.
template <typename Render>
char *new_text(Render render) {
  errno = 0;
  char *text = render_new(render);
  if (text == nullptr) return v7::with_errno(errno != 0 ? errno : int(v7::kErrOutOfMemory), nullptr);
  errno = 0;
  return text;
}

}  // namespace

Certificate *certview_decode(const uint8_t *der, size_t length) {
  if (der == nullptr || length == 0) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  ASN1_HEADER header;
  if (asn1_read_header(ASN1_MODE_DER, der, length, &header) != 0)
    return v7::with_errno(v7::kErrAsn1Decode, nullptr);
  auto *cert = static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, length));
  if (cert == nullptr) return v7::with_errno(errno == v7::kErrOutOfMemory ? errno : int(v7::kErrAsn1Decode), nullptr);
  errno = 0;
  return cert;
}

void certview_free(Certificate *cert) { asn1_release(&asn1_tmpl_certificate, cert); }

char *certview_serial_text(const Certificate *cert, int mode) {
  if (cert == nullptr || (mode != 0 && mode != 1)) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  const uint8_t *bytes;
  size_t length;
  integer_magnitude(cert->tbs.serial_number, &bytes, &length);
  if (length == 0) return v7::with_errno(v7::kErrInvalidCertFormat, nullptr);
  std::vector<char> decimal;
  if (mode == 1) {
    if (length > kMaxDecimalSerial) return v7::with_errno(v7::kErrAsn1IntegerTooLong, nullptr);
    decimal.resize(3 * length + 2);
    v7::certview::unsigned_decimal(bytes, length, decimal.data());
  }
  return new_text([&](TextOut &out) {
    if (mode == 1) {
      out.label(IDS_LABEL_DECIMAL);
      out.put(" : ");
      out.put(decimal.data());
      out.put("\r\n");
      out.label(IDS_LABEL_HEX);
      out.put(" : ");
    }
    out.hex(bytes, length);
    return true;
  });
}

char *certview_sigalg_text(const Certificate *cert) {
  if (cert == nullptr) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  return new_text([&](TextOut &out) { return out.oid(cert->signature_algorithm.algorithm); });
}

char *certview_issuer_text(const Certificate *cert) {
  if (cert == nullptr) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  return new_text([&](TextOut &out) { return out.name(&cert->tbs.issuer); });
}

char *certview_subject_text(const Certificate *cert) {
  if (cert == nullptr) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  return new_text([&](TextOut &out) { return out.name(&cert->tbs.subject); });
}

char *certview_not_before_text(const Certificate *cert) { return time_text(cert, false); }
char *certview_not_after_text(const Certificate *cert) { return time_text(cert, true); }

char *certview_pubkey_text(const Certificate *cert) {
  if (cert == nullptr) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  const ASN1_BYTES &alg = cert->tbs.subject_public_key_info.algorithm.algorithm;
  bool rsa = oid_to_id(&alg) == OID_RSA_ENCRYPTION;
  int bits = rsa ? cert_rsa_key_bits(cert) : 0;
  return new_text([&](TextOut &out) {
    if (rsa) {
      out.put("RSA");
    } else if (!out.oid(alg)) {
      return false;
    }
    if (bits > 0) {
      out.put(" ( ");
      out.put_number(unsigned(bits));
      out.put(" Bits )");
    }
    return true;
  });
}

char *certview_pubkey_hex(const Certificate *cert) {
  if (cert == nullptr) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  const ASN1_BIT_STRING &key = cert->tbs.subject_public_key_info.subject_public_key;
  return new_text([&](TextOut &out) {
    out.hex_form(key.data, key.len);
    return true;
  });
}

size_t certview_hex_form(const uint8_t *bytes, size_t length, char *out, size_t capacity) {
  if (out == nullptr || capacity == 0 || (bytes == nullptr && length != 0))
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  TextOut text(out, capacity);
  text.hex_form(bytes, length);
  return text.finish();
}
