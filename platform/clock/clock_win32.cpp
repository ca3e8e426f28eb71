// The 32-bit C runtime's time_t ends in January 2038, before most of the national roots do, so
// nothing here goes through it: times travel as FILETIME (100 ns ticks since 1601) and the zone is
// applied by SystemTimeToTzSpecificLocalTime, which covers every year a certificate can name.
#include <windows.h>

#include "platform/clock/internal.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpochInTicks = 116444736000000000;  // 1970-01-01 in FILETIME ticks

}  // namespace

int64_t platform_os_time_now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const int64_t ticks = int64_t((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  return (ticks - kUnixEpochInTicks) / kTicksPerSecond;
}

bool platform_os_local_time(int64_t utc, LocalTimeFields *out) {
  const uint64_t ticks = uint64_t(utc * kTicksPerSecond + kUnixEpochInTicks);
  FILETIME ft;
  ft.dwLowDateTime = DWORD(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = DWORD(ticks >> 32);
  SYSTEMTIME universal, local;
  if (!FileTimeToSystemTime(&ft, &universal) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
    return false;
  out->year = local.wYear;
  out->month = local.wMonth;
  out->day = local.wDay;
  out->hour = local.wHour;
  out->minute = local.wMinute;
  out->second = local.wSecond;
  return true;
}
