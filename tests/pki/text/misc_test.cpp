#include "pki/text/misc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "crypto/random/random.h"
#include "platform/ui/message_box.h"

namespace {

TEST(RandFill, DrawsFromTheSystemSource) {
  static int calls = 0;
  rng_set_system_source([](uint8_t *out, size_t len) {
    calls++;
    memset(out, 0xA5, len);
    return true;
  });
  uint8_t out[4] = {};
  EXPECT_EQ(rand_u32_fill(out), 0);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(out[0], 0xA5);
  EXPECT_EQ(out[3], 0xA5);
  rng_set_system_source([](uint8_t *, size_t) { return false; });
  EXPECT_NE(rand_u32_fill(out), 0);  // fails closed
  rng_set_system_source(nullptr);
  EXPECT_EQ(rand_u32_fill(out), 0);
  EXPECT_EQ(rand_u32_fill(nullptr), 1001);
}

TEST(Gmtime, KnownInstants) {
  struct {
    int64_t t;
    int year, mon, mday, hour, min, sec, wday, yday;
  } cases[] = {
      {0, 70, 0, 1, 0, 0, 0, 4, 0},
      {951782400, 100, 1, 29, 0, 0, 0, 2, 59},      // 2000-02-29, a leap day
      {2147483648LL, 138, 0, 19, 3, 14, 8, 2, 18},  // one past the 32-bit limit
      {-1, 69, 11, 31, 23, 59, 59, 3, 364},
      {253402300799LL, 8099, 11, 31, 23, 59, 59, 5, 364},
      {-62135596800LL, -1899, 0, 1, 0, 0, 0, 1, 0},
  };
  for (auto &c : cases) {
    struct tm r;
    ASSERT_EQ(gmtime_copy(&r, c.t), &r);
    EXPECT_EQ(r.tm_year, c.year) << c.t;
    EXPECT_EQ(r.tm_mon, c.mon) << c.t;
    EXPECT_EQ(r.tm_mday, c.mday) << c.t;
    EXPECT_EQ(r.tm_hour, c.hour) << c.t;
    EXPECT_EQ(r.tm_min, c.min) << c.t;
    EXPECT_EQ(r.tm_sec, c.sec) << c.t;
    EXPECT_EQ(r.tm_wday, c.wday) << c.t;
    EXPECT_EQ(r.tm_yday, c.yday) << c.t;
  }
  struct tm r;
  memset(&r, 0x5A, sizeof(r));
  struct tm before = r;
  EXPECT_EQ(gmtime_copy(&r, 253402300800LL), &r);
  EXPECT_EQ(memcmp(&r, &before, sizeof(r)), 0);
  EXPECT_EQ(gmtime_copy(nullptr, 0), nullptr);
}

std::string g_text, g_caption;
int record_box(const char *text, const char *caption, unsigned flags) {
  g_text = text;
  g_caption = caption;
  return 1;
}

TEST(ErrorBox, JoinsBothParts) {
  v7::set_message_box_hook(record_box);
  win32_error_box(-2147221014, 12345678);
  v7::set_message_box_hook(nullptr);
  EXPECT_EQ(g_caption, "CoGetObject Error");
  // Natively there is no message table; under Windows the texts come from the system.
  const std::string second = "Win32 Last Error Code : 12345678";
  EXPECT_EQ(g_text.rfind("Win32 Error Code : -2147221014", 0), 0u) << g_text;
  EXPECT_NE(g_text.find(",  " + second), std::string::npos) << g_text;
}

}  // namespace
