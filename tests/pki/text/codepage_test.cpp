#include "pki/text/codepage.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pki/text/internal.h"
#include "platform/locale/process_words.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

// Every double-byte code of the table's range, with its lead and trail bytes.
template <typename F>
void for_each_double_byte(F f) {
  for (unsigned lead = v7::kCp949LeadFirst; lead <= v7::kCp949LeadLast; lead++) {
    for (unsigned trail = 0x40; trail <= 0xFF; trail++) f(uint8_t(lead), uint8_t(trail));
  }
}

// Our decoding of one two-byte code: the UTF-16 unit, or 0 when refused.
char16_t ours(uint8_t lead, uint8_t trail) {
  char in[3] = {char(lead), char(trail), 0};
  char16_t *w = nullptr;
  if (euckr_to_wide(in, &w) != 0) return 0;
  char16_t u = (w[0] != 0 && w[1] == 0) ? w[0] : 0;
  free(w);
  return u;
}

std::string u16_to_utf8(const std::u16string &s) {
  char *out = nullptr;
  EXPECT_EQ(wide_to_utf8(s.c_str(), &out), 0);
  std::string r = out ? out : "";
  free(out);
  return r;
}

class SettingGuard : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = char_encoding_mode(); }
  void TearDown() override { set_char_encoding_mode(saved_); }
  int saved_ = 0;
};

#if !defined(_WIN32)
// glibc's CP949 decoding of one code: the unit, or 0 when refused.
char16_t oracle_decode(iconv_t cd, const char *in, size_t len) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char16_t out[4] = {};
  char *ip = const_cast<char *>(in), *op = reinterpret_cast<char *>(out);
  size_t il = len, ol = sizeof(out);
  if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1) || il != 0 || ol != sizeof(out) - 2) return 0;
  return out[0];
}

TEST(Cp949Oracle, EveryDoubleByteCodeDecodesAsGlibcIconv) {
  iconv_t cd = iconv_open("UTF-16LE", "CP949");
  ASSERT_NE(cd, iconv_t(-1)) << "glibc iconv has no CP949";
  int mapped = 0;
  for_each_double_byte([&](uint8_t lead, uint8_t trail) {
    char in[2] = {char(lead), char(trail)};
    char16_t want = oracle_decode(cd, in, 2);
    ASSERT_EQ(ours(lead, trail), want) << std::hex << unsigned(lead) << " " << unsigned(trail);
    mapped += want != 0;
  });
  iconv_close(cd);
  EXPECT_EQ(mapped, 17048);
}

TEST(Cp949Oracle, EveryBmpCharacterEncodesAsGlibcIconv) {
  iconv_t cd = iconv_open("CP949", "UTF-16LE");
  ASSERT_NE(cd, iconv_t(-1));
  for (uint32_t c = 1; c <= 0xFFFF; c++) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    char16_t in[2] = {char16_t(c), 0};
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char want[8] = {};
    char *ip = reinterpret_cast<char *>(in), *op = want;
    size_t il = 2, ol = sizeof(want);
    bool ok = iconv(cd, &ip, &il, &op, &ol) != size_t(-1) && il == 0;
    char got[4] = {};
    int rc = wide_to_euckr_buf(in, got, sizeof(got));
    if (!ok) {
      ASSERT_EQ(rc, 33003) << std::hex << c;
    } else {
      ASSERT_EQ(rc, 0) << std::hex << c;
      ASSERT_EQ(std::string(got), std::string(want, sizeof(want) - ol)) << std::hex << c;
    }
  }
  iconv_close(cd);
}
#else
// The platform's own 949 against the built-in table, code by code. Windows (and Wine) also map
// the user-defined area (lead bytes C9 and FE) to private-use characters; glibc refuses those
// codes and so does the table, which is the only difference allowed.
TEST(Cp949Oracle, EveryDoubleByteCodeDecodesAsTheWindowsConverter) {
  int mapped = 0, user_defined = 0;
  for_each_double_byte([&](uint8_t lead, uint8_t trail) {
    char in[2] = {char(lead), char(trail)};
    wchar_t out[4] = {};
    int n = MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, in, 2, out, 4);
    char16_t want = n == 1 ? char16_t(out[0]) : 0;
    char16_t got = ours(lead, trail);
    if (got == 0 && want >= 0xE000 && want <= 0xF8FF && (lead == 0xC9 || lead == 0xFE)) {
      user_defined++;
      return;
    }
    ASSERT_EQ(got, want) << std::hex << unsigned(lead) << " " << unsigned(trail);
    mapped += want != 0;
  });
  EXPECT_EQ(mapped, 17048);
  EXPECT_EQ(user_defined, 188);  // C9A1-C9FE and FEA1-FEFE
}

TEST(Cp949Oracle, EveryMappedCodeEncodesAsTheWindowsConverter) {
  for_each_double_byte([&](uint8_t lead, uint8_t trail) {
    char16_t u = ours(lead, trail);
    if (u == 0) return;
    wchar_t in[1] = {wchar_t(u)};
    char out[4] = {};
    BOOL used_default = FALSE;
    int n = WideCharToMultiByte(949, WC_NO_BEST_FIT_CHARS, in, 1, out, 4, nullptr, &used_default);
    ASSERT_EQ(n, 2) << std::hex << unsigned(u);
    ASSERT_FALSE(used_default);
    ASSERT_EQ(uint8_t(out[0]), lead);
    ASSERT_EQ(uint8_t(out[1]), trail);
  });
}
#endif

TEST(Cp949, EveryMappedCodeRoundTrips) {
  for_each_double_byte([&](uint8_t lead, uint8_t trail) {
    char16_t u = ours(lead, trail);
    if (u == 0) return;
    char16_t in[2] = {u, 0};
    char out[3] = {};
    ASSERT_EQ(wide_to_euckr_buf(in, out, sizeof(out)), 0);
    ASSERT_EQ(uint8_t(out[0]), lead);
    ASSERT_EQ(uint8_t(out[1]), trail);
  });
}

TEST(Cp949, KnownCodes) {
  EXPECT_EQ(ours(0xB0, 0xA1), u'\uAC00');  // 가, KS X 1001
  EXPECT_EQ(ours(0x8C, 0x63), u'\uB620');  // 똠, the UHC extension
  EXPECT_EQ(ours(0xC6, 0x52), u'\uD7A3');  // the last syllable
  EXPECT_EQ(ours(0xA1, 0xA1), u'\u3000');
}

// Malformed EUC-KR: a lone lead byte, a lead before a byte that is no trail, bytes that start no
// code, and the user-defined area.
TEST(Cp949, MalformedInputFails) {
  const char *cases[] = {"\xB0",     "a\xB0",    "\xB0\x20", "\x80",    "\xFF",
                         "\xB0\x7F", "\xC9\xA1", "\xFE\xA1", "\xA2\xE8"};
  for (const char *c : cases) {
    char16_t *w = reinterpret_cast<char16_t *>(1);
    errno = 0;
    EXPECT_EQ(euckr_to_wide(c, &w), 33002) << c;
    EXPECT_EQ(errno, 33002);
    EXPECT_EQ(w, nullptr);
    char *u = nullptr;
    EXPECT_EQ(euckr_to_utf8(c, &u), 0u);
    EXPECT_EQ(errno, 1302);
    EXPECT_EQ(u, nullptr);
  }
}

TEST(Cp949, UnmappableWideTextFails) {
  const char16_t *cases[] = {u"\u00E9", u"a\u20A9", u"\U0001F600", u"\uE000", u"\xD800x"};
  for (const char16_t *c : cases) {
    char *out = reinterpret_cast<char *>(1);
    EXPECT_EQ(wide_to_euckr(c, &out), 33003);
    EXPECT_EQ(out, nullptr);
    char buf[16] = "junk";
    EXPECT_EQ(wide_to_euckr_buf(c, buf, sizeof(buf)), 33003);
    EXPECT_STREQ(buf, "");
  }
}

// RFC 3629: overlong forms, surrogates, code points above U+10FFFF, truncated and stray bytes.
TEST(Utf8, MalformedInputFails) {
  const char *cases[] = {"\xC0\xAF",
                         "\xC1\xBF",
                         "\xE0\x80\xAF",
                         "\xF0\x80\x80\xAF",
                         "\xED\xA0\x80",
                         "\xED\xBF\xBF",
                         "\xF4\x90\x80\x80",
                         "\xF5\x80\x80\x80",
                         "\xE2\x82",
                         "\x80",
                         "a\xBF",
                         "\xFE",
                         "\xFF",
                         "\xEA\xB0"};
  for (const char *c : cases) {
    char16_t *w = nullptr;
    errno = 0;
    EXPECT_EQ(utf8_to_wide(c, &w), 33004) << c;
    EXPECT_EQ(errno, 33004);
    EXPECT_EQ(w, nullptr);
    char *e = nullptr;
    EXPECT_EQ(utf8_to_euckr(c, &e), 0u);
    EXPECT_EQ(errno, 1302);
  }
}

TEST(Utf8, LoneSurrogatesInWideTextFail) {
  const char16_t *cases[] = {u"\xD800", u"a\xDC00", u"\xDBFF\x0041", u"\xDFFF\xD800"};
  for (const char16_t *c : cases) {
    char *out = nullptr;
    EXPECT_EQ(wide_to_utf8(c, &out), 33005);
    EXPECT_EQ(out, nullptr);
  }
}

TEST(Utf8, FourByteFormsAreSurrogatePairs) {
  char16_t *w = nullptr;
  ASSERT_EQ(utf8_to_wide("\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", &w), 0);
  EXPECT_EQ(std::u16string(w), u"\U0001F600\U0010FFFF");
  free(w);
  EXPECT_EQ(u16_to_utf8(u"\U0001F600\u07FF\u0800\uFFFF"), "\xF0\x9F\x98\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
}

// Hangul, Latin and mixed texts go round every pair of encodings unchanged.
TEST(RoundTrip, HangulLatinAndMixedTexts) {
  const char16_t *texts[] = {u"", u"Hello, world! 0123 ~", u"\uD64D\uAE38\uB3D9",  // 홍길동
                             u"\uAC00\uB620\uD7A3 abc \u3000\u4E00 NPKI/USER",     // 가똠힣, Hanja
                             u"C:\\Program Files\\NPKI\\\uD55C\uAD6D\uC804\uC790\uC778\uC99D"};
  for (const char16_t *t : texts) {
    char *e = nullptr, *u = nullptr;
    ASSERT_EQ(wide_to_euckr(t, &e), 0);
    ASSERT_EQ(wide_to_utf8(t, &u), 0);
    char16_t *back_e = nullptr, *back_u = nullptr;
    ASSERT_EQ(euckr_to_wide(e, &back_e), 0);
    ASSERT_EQ(utf8_to_wide(u, &back_u), 0);
    EXPECT_EQ(std::u16string(back_e), t);
    EXPECT_EQ(std::u16string(back_u), t);
    if (t[0] != 0) {
      char *e2 = nullptr, *u2 = nullptr;
      EXPECT_EQ(utf8_to_euckr(u, &e2), strlen(e));
      EXPECT_STREQ(e2, e);
      EXPECT_EQ(euckr_to_utf8(e2, &u2), strlen(u));
      EXPECT_STREQ(u2, u);
      free(e2);
      free(u2);
    }
    free(e), free(u), free(back_e), free(back_u);
  }
}

TEST(Buffers, CapacityMustHoldTheTerminator) {
  // "가a" is 4 bytes in UTF-8 and 3 in EUC-KR.
  const char16_t *t = u"\uAC00a";
  char buf[8];
  EXPECT_EQ(wide_to_utf8_buf(t, buf, 4), 1002);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(wide_to_utf8_buf(t, buf, 5), 0);
  EXPECT_STREQ(buf,
               "\xEA\xB0\x80"
               "a");
  EXPECT_EQ(wide_to_euckr_buf(t, buf, 3), 1002);
  EXPECT_EQ(wide_to_euckr_buf(t, buf, 4), 0);
  EXPECT_STREQ(buf,
               "\xB0\xA1"
               "a");
  EXPECT_EQ(wide_to_utf8_buf(t, buf, 0), 1001);
  EXPECT_EQ(wide_to_utf8_buf(nullptr, buf, 8), 1001);
}

TEST(Buffers, NarrowPairSizeQueryAndShortBuffers) {
  const char *utf8 = "\xEA\xB0\x80\xEB\x98\xA0";  // 가똠
  EXPECT_EQ(utf8_to_euckr_buf(utf8, 6, nullptr, 0), 4u);
  char out[8] = {};
  errno = 0;
  EXPECT_EQ(utf8_to_euckr_buf(utf8, 6, out, 3), 0u);
  EXPECT_EQ(errno, 1002);
  EXPECT_EQ(utf8_to_euckr_buf(utf8, 6, out, 4), 4u);
  EXPECT_EQ(std::string(out, 4), "\xB0\xA1\x8C\x63");
  EXPECT_EQ(euckr_to_utf8_buf(out, 4, nullptr, 0), 6u);
  char back[8] = {};
  EXPECT_EQ(euckr_to_utf8_buf(out, 4, back, 5), 0u);
  EXPECT_EQ(errno, 1204);
  EXPECT_EQ(euckr_to_utf8_buf(out, 4, back, 6), 6u);
  EXPECT_EQ(std::string(back, 6), utf8);
  // A length that cuts a character in two is malformed input, not a shorter text.
  EXPECT_EQ(utf8_to_euckr_buf(utf8, 5, nullptr, 0), 0u);
  EXPECT_EQ(errno, 1302);
  EXPECT_EQ(utf8_to_euckr_buf(nullptr, 3, nullptr, 0), 0u);
  EXPECT_EQ(errno, 1001);
  EXPECT_EQ(utf8_to_euckr_buf(utf8, 6, nullptr, 4), 0u);
  EXPECT_EQ(errno, 1001);
  char *p = nullptr;
  EXPECT_EQ(utf8_to_euckr("", &p), 0u);
  EXPECT_EQ(errno, 1001);
}

TEST_F(SettingGuard, SettingChoosesTheNarrowEncoding) {
  const char16_t *t = u"\uD55C\uAE00";  // 한글
  char *n = nullptr;
  set_char_encoding_mode(1);
  ASSERT_EQ(wide_to_setting(t, &n), 0);
  EXPECT_STREQ(n, "\xED\x95\x9C\xEA\xB8\x80");
  char16_t *w = nullptr;
  ASSERT_EQ(setting_to_wide(n, &w), 0);
  EXPECT_EQ(std::u16string(w), t);
  free(w);
  EXPECT_EQ(setting_to_wide("\xC7\xD1", &w), 33004);
  free(n);
  set_char_encoding_mode(0);
  ASSERT_EQ(wide_to_setting(t, &n), 0);
  EXPECT_STREQ(n, "\xC7\xD1\xB1\xDB");
  free(n);
  EXPECT_EQ(wide_to_setting(u"\u00E9", &n), 33003);
}

TEST_F(SettingGuard, ToEuckrCopyAndDup) {
  const char *utf8 = "\xED\x95\x9C";  // 한
  const char *bad = "\xC7\xD1";       // 한 in EUC-KR: malformed as UTF-8
  char *out = nullptr;
  set_char_encoding_mode(1);
  EXPECT_EQ(to_euckr_copy(utf8, &out), 0);
  EXPECT_STREQ(out, "\xC7\xD1");
  free(out);
  EXPECT_EQ(to_euckr_copy(bad, &out), 1302);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(to_euckr_dup(bad, &out), 0);
  EXPECT_STREQ(out, bad);
  free(out);
  set_char_encoding_mode(0);
  EXPECT_EQ(to_euckr_copy(utf8, &out), 0);
  EXPECT_STREQ(out, utf8);
  free(out);
  EXPECT_EQ(to_euckr_copy(nullptr, &out), 1001);
}

TEST_F(SettingGuard, BmpStringToText) {
  set_char_encoding_mode(1);
  const uint8_t hangul[] = {0xD5, 0x5C, 0xAE, 0x00, 0x00, 'A', 0x7F};  // 한글A and an odd byte
  char out[16] = "junk";
  EXPECT_EQ(bmpstring_to_text(hangul, sizeof(hangul), out, sizeof(out)), 7u);
  EXPECT_STREQ(out,
               "\xED\x95\x9C\xEA\xB8\x80"
               "A");
  // Whole characters only, and room left for the terminator.
  EXPECT_EQ(bmpstring_to_text(hangul, 6, out, 6), 3u);
  EXPECT_STREQ(out, "\xED\x95\x9C");
  EXPECT_EQ(bmpstring_to_text(hangul, 6, out, 7), 6u);
  strcpy(out, "junk");
  EXPECT_EQ(bmpstring_to_text(hangul, 1, out, sizeof(out)), 0u);
  EXPECT_STREQ(out, "");
  strcpy(out, "junk");
  EXPECT_EQ(bmpstring_to_text(nullptr, 4, out, sizeof(out)), 0u);
  EXPECT_STREQ(out, "");
  set_char_encoding_mode(0);
  EXPECT_EQ(bmpstring_to_text(hangul, 6, out, sizeof(out)), 5u);
  EXPECT_STREQ(out,
               "\xC7\xD1\xB1\xDB"
               "A");
  const uint8_t accent[] = {0x00, 0xE9};
  errno = 0;
  EXPECT_EQ(bmpstring_to_text(accent, 2, out, sizeof(out)), 0u);
  EXPECT_EQ(errno, 33003);
  EXPECT_STREQ(out, "");
  const uint8_t lone[] = {0xD8, 0x00};
  set_char_encoding_mode(1);
  EXPECT_EQ(bmpstring_to_text(lone, 2, out, sizeof(out)), 0u);
  EXPECT_EQ(errno, 33005);
}

}  // namespace
