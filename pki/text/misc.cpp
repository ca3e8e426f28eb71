#include "pki/text/misc.h"

#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/random/random.h"
#include "pki/text/strings.h"
#include "platform/fs/fs.h"
#include "platform/ui/message_box.h"

namespace {
// Made on first use and kept for the life of the process. Only the UI thread calls the fill.
RANDOM_CTX *g_rng = nullptr;
}  // namespace

int rand_u32_fill(uint8_t *out) {
  if (out == nullptr) return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  if (g_rng == nullptr) g_rng = rng_new(RNG_TYPE_SYSTEM);
  if (g_rng == nullptr) return v7::with_errno(v7::kErrRandomContextCreate, v7::kErrRandomContextCreate);
  if (rng_fill_bytes(out, g_rng, 4) != 4) {
    int code = errno != 0 ? errno : v7::kErrRandomContext;
    return v7::with_errno(code, code);
  }
  return v7::with_errno(0, 0);
}

struct tm *gmtime_copy(struct tm *dst, int64_t t) {
  if (dst == nullptr) return nullptr;
  // Years 1 to 9999: -62135596800 is 0001-01-01T00:00:00Z, 253402300799 is 9999-12-31T23:59:59Z.
  if (t < -62135596800LL || t > 253402300799LL) return dst;
  int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
  int64_t secs = t - days * 86400;
  // Civil date from days since 1970-01-01 (H. Hinnant's algorithm, eras of 400 years).
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t mday = doy - (153 * mp + 2) / 5 + 1;
  int64_t mon = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (mon <= 2);
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  struct tm r;
  memset(&r, 0, sizeof(r));
  r.tm_sec = int(secs % 60);
  r.tm_min = int(secs / 60 % 60);
  r.tm_hour = int(secs / 3600);
  r.tm_mday = int(mday);
  r.tm_mon = int(mon - 1);
  r.tm_year = int(year - 1900);
  r.tm_wday = int(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  r.tm_yday = kBefore[mon - 1] + int(mday) - 1 + (leap && mon > 2);
  *dst = r;
  return dst;
}

void win32_error_box(int32_t result, uint32_t last_error) {
  char result_msg[512], last_msg[512], first[768], second[768], text[1600];
  if (platform_system_message(uint32_t(result), result_msg, sizeof(result_msg))) {
    safe_snprintf(first, sizeof(first), "Win32 Error Code : %d,  Error Code Message : %s", int(result),
                  result_msg);
  } else {
    safe_snprintf(first, sizeof(first), "Win32 Error Code : %d", int(result));
  }
  if (platform_system_message(last_error, last_msg, sizeof(last_msg))) {
    safe_snprintf(second, sizeof(second), "Win32 Last Error Code : %d,  Last Error Code Message : %s",
                  int(last_error), last_msg);
  } else {
    safe_snprintf(second, sizeof(second), "Win32 Last Error Code : %d", int(last_error));
  }
  safe_snprintf(text, sizeof(text), "%s,  %s", first, second);
  v7::message_box(text, "CoGetObject Error", 0);
}
