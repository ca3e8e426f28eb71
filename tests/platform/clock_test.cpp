// The clock seam. ctest runs this with TZ=KST-9 (UTC+9, no summer time), natively and under Wine,
// so local texts are the same on both; the dates past 2038 are the ones a 32-bit time_t loses.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/clock/clock.h"

namespace {

std::string local(int64_t utc) {
  LocalTimeFields f{};
  if (!platform_local_time(utc, &f)) return "refused";
  char text[40];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
           f.second);
  return text;
}

TEST(Clock, LocalTimesUpToTheYear9999) {
  const struct {
    int64_t utc;
    const char *local;
  } cases[] = {
      {0, "1970-01-01 09:00:00"},
      {1735689600, "2025-01-01 09:00:00"},
      {2147483647, "2038-01-19 12:14:07"},   // the last second of a 32-bit time_t
      {2147483648, "2038-01-19 12:14:08"},
      {2524607999, "2050-01-01 08:59:59"},   // notAfter of the national roots' generation
      {4107542400, "2100-03-01 09:00:00"},   // 2100 is no leap year
      {253402268399, "9999-12-31 23:59:59"},
      {253402268400, "refused"},             // the year 10000 in this zone
      {253402300799, "refused"},
      {253402300800, "refused"},
      {-1, "refused"},
  };
  for (const auto &c : cases) EXPECT_EQ(local(c.utc), c.local) << c.utc;
  EXPECT_FALSE(platform_local_time(0, nullptr));
}

int64_t g_pinned = 0;
int64_t pinned() { return g_pinned; }

TEST(Clock, NowFromTheSystemOrTheHook) {
  const int64_t now = platform_time_now();
  EXPECT_GT(now, 1764547200) << "before 2025-12-01: the system clock was not read in seconds since 1970";
  EXPECT_LT(now, 4102444800) << "after 2100";
  g_pinned = 4102444800;  // 2100-01-01, past any 32-bit value
  platform_set_clock_hook(pinned);
  EXPECT_EQ(platform_time_now(), 4102444800);
  platform_set_clock_hook(nullptr);
  EXPECT_LT(platform_time_now(), 4102444800);
}

}  // namespace
