#include "platform/clock/clock.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<ClockHook> g_hook{nullptr};
}  // namespace

int64_t platform_time_now() {
  if (ClockHook hook = g_hook.load()) return hook();
  return int64_t(std::time(nullptr));
}

void platform_set_clock_hook(ClockHook hook) { g_hook.store(hook); }

bool platform_local_time(int64_t utc, LocalTimeFields *out) {
  if (out == nullptr) return false;
  const std::time_t t = std::time_t(utc);
  if (int64_t(t) != utc) return false;  // a 32-bit time_t cannot hold it
  std::tm fields{};
#if defined(_WIN32)
  if (localtime_s(&fields, &t) != 0) return false;
#else
  if (localtime_r(&t, &fields) == nullptr) return false;
#endif
  out->year = fields.tm_year + 1900;
  out->month = fields.tm_mon + 1;
  out->day = fields.tm_mday;
  out->hour = fields.tm_hour;
  out->minute = fields.tm_min;
  out->second = fields.tm_sec;
  return true;
}
