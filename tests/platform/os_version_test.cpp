#include <gtest/gtest.h>

#include "platform/osver/os_version.h"
#include "platform/osver/os_version_query.h"

namespace {

struct VersionCase {
  uint32_t platform_id, major, minor;
  int code;
  const char *name;
};

const VersionCase kCases[] = {
    {0, 3, 10, 4, "Win32s"},
    {1, 4, 0, 1, "Windows 95"},
    {1, 4, 10, 2, "Windows 98"},
    {1, 4, 90, 2, "Windows Me"},
    {2, 3, 51, 4, "NT 3.51"},
    {2, 4, 0, 4, "NT 4"},
    {2, 5, 0, 3, "Windows 2000"},
    {2, 5, 1, 4, "Windows XP"},
    {2, 5, 2, 4, "Server 2003"},
    {2, 6, 0, 5, "Vista"},
    {2, 6, 1, 6, "Windows 7"},
    {2, 6, 2, 99, "Windows 8"},
    {2, 6, 3, 99, "Windows 8.1"},
    {2, 10, 0, 99, "Windows 10"},
    {3, 5, 1, 99, "unknown platform id"},
};

OsVersionRecord g_answer;
bool answer(OsVersionRecord *out) {
  *out = g_answer;
  return true;
}
bool refuse(OsVersionRecord *) { return false; }

struct HookGuard {
  explicit HookGuard(OsVersionHook hook) { platform_set_os_version_hook(hook); }
  ~HookGuard() { platform_set_os_version_hook(nullptr); }
};

TEST(OsVersionCode, MapsEveryGenerationOfTheTable) {
  HookGuard guard(answer);
  for (const VersionCase &c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.code, os_generation_code_from(c.platform_id, c.major, c.minor));
    g_answer = {c.platform_id, c.major, c.minor};
    EXPECT_EQ(c.code, os_version_code());
    EXPECT_EQ(c.code > 4, is_vista_or_later());
  }
}

TEST(OsVersionCode, AnUnansweredQueryCountsAsXp) {
  HookGuard guard(refuse);
  EXPECT_EQ(4, os_version_code());
  EXPECT_FALSE(is_vista_or_later());
}

#ifdef _WIN32
TEST(OsVersionCode, TheRealQueryAnswersOnWindows) {
  OsVersionRecord v;
  ASSERT_TRUE(platform_query_os_version(&v));
  EXPECT_EQ(2u, v.platform_id);
  EXPECT_GE(os_version_code(), 3);
}
#endif

}  // namespace
