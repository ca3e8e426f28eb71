// The clock, behind a seam that tests can set: validity checks of certificates, CRLs and trust
// lists ask it for "now".
#pragma once

#include <cstdint>

// Seconds since 1970-01-01 00:00:00 UTC.
int64_t platform_time_now();

// Broken-down local time of a UTC time value, as the host's time zone gives it. False when the
// value cannot be converted (out of the host's range).
struct LocalTimeFields {
  int year;    // e.g. 2026
  int month;   // 1..12
  int day;     // 1..31
  int hour;    // 0..23
  int minute;  // 0..59
  int second;  // 0..60
};
bool platform_local_time(int64_t utc, LocalTimeFields *out);

// Test seam: while a hook is set, it answers platform_time_now. Null restores the real clock.
typedef int64_t (*ClockHook)();
void platform_set_clock_hook(ClockHook hook);
