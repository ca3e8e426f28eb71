// UTCTime and GeneralizedTime texts to seconds since 1970 UTC. The calendar arithmetic is our own
// (days from the civil date), not the C library's: mktime works in local time, and the Windows
// runtime lacks the UTC variants on older systems.

#include <cerrno>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"

namespace {

bool is_leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int64_t y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool all_digits(const char *p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

int two(const char *p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// MMDDhhmmss after the year, every character a digit (checked by the caller). The day must exist
// in its month: a 31 February is refused rather than carried into March.
bool fields_to_time(int64_t year, const char *p, int64_t *out) {
  int month = two(p), day = two(p + 2), hour = two(p + 4), minute = two(p + 6), second = two(p + 8);
  if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 || minute > 59 ||
      second > 59)
    return false;
  *out = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

}  // namespace

int64_t asn1_utctime_to_time(const char *text, size_t length) {
  if (text == nullptr || length == 0) return v7::with_errno(v7::kErrInvalidParameter, int64_t(-1));
  int64_t t;
  if (length != 13 || !all_digits(text, 12) || text[12] != 'Z')
    return v7::with_errno(v7::kErrAsn1UtcTime, int64_t(-1));
  int yy = two(text);
  if (!fields_to_time(yy < 70 ? 2000 + yy : 1900 + yy, text + 2, &t))
    return v7::with_errno(v7::kErrAsn1UtcTime, int64_t(-1));
  errno = 0;
  return t;
}

int64_t asn1_gentime_to_time(const char *text, size_t length) {
  if (text == nullptr || length == 0) return v7::with_errno(v7::kErrInvalidParameter, int64_t(-1));
  int64_t t;
  // YYYYMMDDhhmmssZ, or YYYYMMDDhhmmss.f...Z with a fraction that does not end in 0 (DER's rule);
  // offsets such as +0900 before the Z and every other shape are refused.
  bool shape = length > 14 && all_digits(text, 14) && text[length - 1] == 'Z';
  if (shape && length > 15) {
    size_t digits = length - 16;
    shape = text[14] == '.' && digits >= 1 && all_digits(text + 15, digits) && text[length - 2] != '0';
  }
  if (!shape || !fields_to_time(int64_t(two(text)) * 100 + two(text + 2), text + 4, &t))
    return v7::with_errno(v7::kErrAsn1GeneralizedTime, int64_t(-1));
  errno = 0;
  return t;
}
