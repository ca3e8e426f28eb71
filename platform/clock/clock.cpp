#include "platform/clock/clock.h"

#include <atomic>

#include "platform/clock/internal.h"

namespace {
std::atomic<ClockHook> g_hook{nullptr};
}  // namespace

int64_t platform_time_now() {
  if (ClockHook hook = g_hook.load()) return hook();
  return platform_os_time_now();
}

void platform_set_clock_hook(ClockHook hook) { g_hook.store(hook); }

bool platform_local_time(int64_t utc, LocalTimeFields *out) {
  // Certificates say 9999-12-31 23:59:59 at the latest; nothing past that is a date to show.
  constexpr int64_t kLastSecond = 253402300799;  // 9999-12-31 23:59:59 UTC
  if (out == nullptr || utc < 0 || utc > kLastSecond) return false;
  LocalTimeFields fields{};
  if (!platform_os_local_time(utc, &fields) || fields.year > 9999) return false;
  *out = fields;
  return true;
}
