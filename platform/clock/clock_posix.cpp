#include <ctime>

#include "platform/clock/internal.h"

static_assert(sizeof(std::time_t) >= 8, "the native build needs a 64-bit time_t for dates past 2038");

int64_t platform_os_time_now() { return int64_t(std::time(nullptr)); }

bool platform_os_local_time(int64_t utc, LocalTimeFields *out) {
  const std::time_t t = std::time_t(utc);
  std::tm fields{};
  if (localtime_r(&t, &fields) == nullptr) return false;
  out->year = fields.tm_year + 1900;
  out->month = fields.tm_mon + 1;
  out->day = fields.tm_mday;
  out->hour = fields.tm_hour;
  out->minute = fields.tm_min;
  out->second = fields.tm_sec;
  return true;
}
