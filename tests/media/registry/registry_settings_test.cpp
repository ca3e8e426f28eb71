#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "media/registry_settings.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version_query.h"

#ifdef _WIN32
#include <shlwapi.h>
#include <windows.h>
#endif

namespace {

#ifndef _WIN32

TEST(RegistrySettings, WithoutARegistryEveryCallFailsClearly) {
  char *out = reinterpret_cast<char *>(1);
  EXPECT_EQ(reg_read_value("velmoraRelay", "TRANSFER", &out), 50);
  EXPECT_EQ(out, nullptr);
  char16_t *wout = reinterpret_cast<char16_t *>(1);
  EXPECT_EQ(reg_read_value_w(u"velmoraRelay", u"TRANSFER", &wout), 50);
  EXPECT_EQ(wout, nullptr);
  EXPECT_EQ(reg_write_value(nullptr, "Last Media", "HARDDISK"), 50);
  EXPECT_EQ(reg_write_value_w(nullptr, u"Last Media", u"HARDDISK"), 50);
  char sentinel = 0, *text = &sentinel;
  EXPECT_EQ(reg_get_last_access("sub", &text), 0);
  EXPECT_EQ(text, &sentinel);
  EXPECT_EQ(reg_set_last_access("sub", "cn=x"), 0);
}

#else

const wchar_t kXpKey[] = L"SOFTWARE\\TAVN\\velmora7";
const wchar_t kVistaKey[] = L"SOFTWARE\\AppDataLow\\Software\\TAVN\\velmora7";
// Keys a fresh profile may lack; whichever of them the tests create is removed again.
const wchar_t *const kMaybeCreated[] = {L"SOFTWARE\\AppDataLow", L"SOFTWARE\\AppDataLow\\Software",
                                        L"SOFTWARE\\AppDataLow\\Software\\TAVN", L"SOFTWARE\\TAVN"};
const char kSub[] = "v7-registry-test";
const wchar_t kSubW[] = L"v7-registry-test";
const char kOwnValue[] = "v7-registry-test-value";  // a value of the settings key itself

OsVersionRecord g_os;
bool answer_os(OsVersionRecord *out) {
  *out = g_os;
  return true;
}
const OsVersionRecord kXp = {2, 5, 1}, kVista = {2, 6, 0};

bool key_exists(const std::wstring &path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The value as the platform holds it: its type and its bytes.
bool raw_value(const std::wstring &path, const wchar_t *name, DWORD *type, std::wstring *text) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  wchar_t buf[4096] = {};
  DWORD len = sizeof buf - sizeof(wchar_t);
  LONG rc = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE *>(buf), &len);
  RegCloseKey(key);
  *text = buf;
  return rc == ERROR_SUCCESS;
}

void put_raw(const std::wstring &path, const wchar_t *name, DWORD type, const void *data, DWORD len) {
  HKEY key;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), len), ERROR_SUCCESS);
  RegCloseKey(key);
}

std::wstring sub_path(const wchar_t *base) { return std::wstring(base) + L"\\" + kSubW; }

class RegistrySettings : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < sizeof kMaybeCreated / sizeof kMaybeCreated[0]; i++)
      existed_[i] = key_exists(kMaybeCreated[i]);
    g_os = kVista;
    platform_set_os_version_hook(answer_os);
  }
  void TearDown() override {
    platform_set_os_version_hook(nullptr);
    set_char_encoding_mode(0);
    for (const wchar_t *base : {kXpKey, kVistaKey}) {
      SHDeleteKeyW(HKEY_CURRENT_USER, sub_path(base).c_str());
      SHDeleteValueW(HKEY_CURRENT_USER, base, L"v7-registry-test-value");
    }
    // Outermost first, so a key made by the test goes with everything under it.
    for (size_t i = 0; i < sizeof kMaybeCreated / sizeof kMaybeCreated[0]; i++)
      if (!existed_[i]) SHDeleteKeyW(HKEY_CURRENT_USER, kMaybeCreated[i]);
  }
  bool existed_[sizeof kMaybeCreated / sizeof kMaybeCreated[0]];
};

TEST_F(RegistrySettings, EachGenerationKeepsItsOwnKey) {
  const struct {
    OsVersionRecord os;
    const wchar_t *key;
    const wchar_t *other;
  } cases[] = {
      {{1, 4, 10}, kXpKey, kVistaKey},  // Windows 98
      {{2, 5, 0}, kXpKey, kVistaKey},   // 2000
      {kXp, kXpKey, kVistaKey},        {kVista, kVistaKey, kXpKey}, {{2, 6, 1}, kVistaKey, kXpKey},  // 7
      {{2, 10, 0}, kVistaKey, kXpKey},                                                               // 10
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.os.major) + "." + std::to_string(c.os.minor));
    SHDeleteKeyW(HKEY_CURRENT_USER, sub_path(kXpKey).c_str());
    SHDeleteKeyW(HKEY_CURRENT_USER, sub_path(kVistaKey).c_str());
    g_os = c.os;
    ASSERT_EQ(reg_write_value(kSub, "Last Media", "REMOVABLE"), 0);
    DWORD type = 0;
    std::wstring text;
    ASSERT_TRUE(raw_value(sub_path(c.key), L"Last Media", &type, &text));
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(text, L"REMOVABLE");
    EXPECT_FALSE(key_exists(sub_path(c.other)));
    char *out = nullptr;
    ASSERT_EQ(reg_read_value(kSub, "Last Media", &out), 0);
    EXPECT_STREQ(out, "REMOVABLE");
    free(out);

    // What one generation wrote is not seen by the other.
    g_os = c.key == kXpKey ? kVista : kXp;
    out = reinterpret_cast<char *>(1);
    EXPECT_EQ(reg_read_value(kSub, "Last Media", &out), 2);
    EXPECT_EQ(out, nullptr);
  }
}

TEST_F(RegistrySettings, NullOrEmptySubkeyIsTheSettingsKeyItself) {
  ASSERT_EQ(reg_write_value(nullptr, kOwnValue, "NO"), 0);
  DWORD type;
  std::wstring text;
  ASSERT_TRUE(raw_value(kVistaKey, L"v7-registry-test-value", &type, &text));
  EXPECT_EQ(text, L"NO");
  char16_t *wout = nullptr;
  ASSERT_EQ(reg_read_value_w(u"", u"v7-registry-test-value", &wout), 0);
  EXPECT_EQ(std::u16string(wout), u"NO");
  free(wout);
}

TEST_F(RegistrySettings, MissingKeyOrValueGivesNotFoundAndCreatesNothing) {
  char *out = reinterpret_cast<char *>(1);
  EXPECT_EQ(reg_read_value(kSub, "TRANSFER", &out), 2);
  EXPECT_EQ(out, nullptr);
  char16_t *wout = reinterpret_cast<char16_t *>(1);
  EXPECT_EQ(reg_read_value_w(u"v7-registry-test", u"readVolumeInfo", &wout), 2);
  EXPECT_EQ(wout, nullptr);
  char sentinel = 0, *text = &sentinel;
  EXPECT_EQ(reg_get_last_access(kSub, &text), 0);
  EXPECT_EQ(text, &sentinel);
  EXPECT_FALSE(key_exists(sub_path(kVistaKey)));

  ASSERT_EQ(reg_write_value(kSub, "Nonblocking", "NO"), 0);
  EXPECT_EQ(reg_read_value(kSub, "TRANSFER", &out), 2);
  EXPECT_EQ(out, nullptr);
}

TEST_F(RegistrySettings, NonStringValuesAreRefused) {
  const DWORD number = 1;
  const uint8_t bytes[] = {'H', 'T', 'T', 'P'};  // no terminator, and not a string
  const wchar_t expand[] = L"%TEMP%";
  put_raw(sub_path(kVistaKey), L"dword", REG_DWORD, &number, sizeof number);
  put_raw(sub_path(kVistaKey), L"binary", REG_BINARY, bytes, sizeof bytes);
  put_raw(sub_path(kVistaKey), L"expand", REG_EXPAND_SZ, expand, sizeof expand);
  for (const char *name : {"dword", "binary", "expand"}) {
    SCOPED_TRACE(name);
    char *out = reinterpret_cast<char *>(1);
    EXPECT_EQ(reg_read_value(kSub, name, &out), 1629);
    EXPECT_EQ(out, nullptr);
  }
  char16_t *wout = reinterpret_cast<char16_t *>(1);
  EXPECT_EQ(reg_read_value_w(u"v7-registry-test", u"binary", &wout), 1629);
  EXPECT_EQ(wout, nullptr);
}

TEST_F(RegistrySettings, ValuesBeyondTheReadBufferAreNotRead) {
  const struct {
    size_t chars;
    int narrow_rc, wide_rc;
  } cases[] = {{1023, 0, 0}, {1024, 234, 234}, {1500, 234, 234}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.chars);
    std::wstring value(c.chars, L'x');
    put_raw(sub_path(kVistaKey), L"long", REG_SZ, value.c_str(), DWORD((value.size() + 1) * sizeof(wchar_t)));
    char *out = nullptr;
    EXPECT_EQ(reg_read_value(kSub, "long", &out), c.narrow_rc);
    if (c.narrow_rc == 0) {
      EXPECT_EQ(strlen(out), c.chars);
    } else {
      EXPECT_EQ(out, nullptr);
    }
    free(out);
    // The wide read has 2,048 bytes: the same count of characters with their wide terminator.
    char16_t *wout = nullptr;
    EXPECT_EQ(reg_read_value_w(u"v7-registry-test", u"long", &wout), c.wide_rc);
    if (c.wide_rc == 0) {
      EXPECT_EQ(std::char_traits<char16_t>::length(wout), c.chars);
    }
    free(wout);
  }
  // A text no read could take back is not written.
  std::string too_long(1024, 'z');
  EXPECT_EQ(reg_write_value(kSub, "toolong", too_long.c_str()), 87);
  EXPECT_EQ(reg_write_value(kSub, "fits", too_long.substr(1).c_str()), 0);
  std::u16string wide_long(1024, u'z');
  EXPECT_EQ(reg_write_value_w(u"v7-registry-test", u"toolongw", wide_long.c_str()), 87);
  DWORD type;
  std::wstring text;
  EXPECT_FALSE(raw_value(sub_path(kVistaKey), L"toolong", &type, &text));
  EXPECT_FALSE(raw_value(sub_path(kVistaKey), L"toolongw", &type, &text));
}

TEST_F(RegistrySettings, UnterminatedStringComesBackTerminated) {
  const wchar_t word[] = {L'H', L'T', L'T', L'P'};
  put_raw(sub_path(kVistaKey), L"TRANSFER", REG_SZ, word, sizeof word);
  char16_t *wout = nullptr;
  ASSERT_EQ(reg_read_value_w(u"v7-registry-test", u"TRANSFER", &wout), 0);
  EXPECT_EQ(std::u16string(wout), u"HTTP");
  free(wout);
}

TEST_F(RegistrySettings, BadArgumentsAreRefused) {
  char *out = reinterpret_cast<char *>(1);
  EXPECT_EQ(reg_read_value(kSub, nullptr, &out), 87);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(reg_read_value(kSub, "x", nullptr), 87);
  EXPECT_EQ(reg_write_value(kSub, nullptr, "x"), 87);
  EXPECT_EQ(reg_write_value(kSub, "x", nullptr), 87);
  EXPECT_EQ(reg_write_value_w(u"v7-registry-test", u"x", nullptr), 87);
  EXPECT_EQ(reg_get_last_access(kSub, nullptr), 0);
  EXPECT_EQ(reg_set_last_access(kSub, nullptr), 0);
  EXPECT_FALSE(key_exists(sub_path(kVistaKey)));
}

// "cn=홍길동" in UTF-8, EUC-KR and UTF-16.
const char kHongUtf8[] = "cn=\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99";
const char kHongEuckr[] = "cn=\xC8\xAB\xB1\xE6\xB5\xBF";
const wchar_t kHongW[] = L"cn=\uD64D\uAE38\uB3D9";

TEST_F(RegistrySettings, KoreanLastAccessIsStoredWideUnderEitherSetting) {
  const struct {
    int mode;
    const char *text;
  } cases[] = {{1, kHongUtf8}, {0, kHongEuckr}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.mode);
    SHDeleteKeyW(HKEY_CURRENT_USER, sub_path(kVistaKey).c_str());
    set_char_encoding_mode(c.mode);
    EXPECT_EQ(reg_set_last_access(kSub, c.text), 0);
    DWORD type;
    std::wstring stored;
    ASSERT_TRUE(raw_value(sub_path(kVistaKey), L"Last Access", &type, &stored));
    EXPECT_EQ(stored, kHongW);
    char *out = nullptr;
    EXPECT_EQ(reg_get_last_access(kSub, &out), 0);
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out, c.text);
    free(out);
  }
  // Written under one setting, read under the other: the same name in the reader's encoding.
  set_char_encoding_mode(1);
  char *out = nullptr;
  EXPECT_EQ(reg_get_last_access(kSub, &out), 0);
  ASSERT_NE(out, nullptr);
  EXPECT_STREQ(out, kHongUtf8);
  free(out);
}

#endif

}  // namespace
