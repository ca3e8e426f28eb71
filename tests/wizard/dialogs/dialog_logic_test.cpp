#include "wizard/dialogs/dialog_logic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/wizard/dialogs/words_scope.h"
#include "platform/osver/os_version.h"
#include "wizard/records/request_record.h"

using namespace v7::dialogs;

namespace {

// "에러" in EUC-KR and in UTF-8.
const char kErrorEuckr[] = "\xBF\xA1\xB7\xAF";
const char kErrorUtf8[] = "\xEC\x97\x90\xEB\x9F\xAC";
const char16_t kErrorWide[] = u"\uC5D0\uB7EC";

TEST(ShownText, NarrowTextsConvertByTheirEncodingOrKeepTheirBytes) {
  const struct {
    const char *text;
    bool utf8;
    bool present, wide;
    std::u16string converted;
    unsigned code_page;
  } cases[] = {
      {nullptr, false, false, true, u"", 0},
      {"", true, true, true, u"", 0},
      {kErrorEuckr, false, true, true, kErrorWide, 0},
      {kErrorUtf8, true, true, true, kErrorWide, 0},
      // UTF-8 bytes given as EUC-KR (and the other way round) do not convert: the bytes stay, with
      // the code page they claimed.
      {kErrorUtf8, false, true, false, u"", kCodePageEucKr},
      {kErrorEuckr, true, true, false, u"", kCodePageUtf8},
      {"{\\rtf1 plain}", true, true, true, u"{\\rtf1 plain}", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
    const ShownText shown = shown_narrow(c.text, c.utf8);
    EXPECT_EQ(shown.present, c.present);
    EXPECT_EQ(shown.wide, c.wide);
    EXPECT_EQ(shown.text, c.converted);
    if (!c.wide) {
      EXPECT_EQ(shown.narrow, c.text);
      EXPECT_EQ(shown.code_page, c.code_page);
    }
  }
  {
    WordsScope words(kLanguageKorean, kCharEncodingUtf8);
    EXPECT_EQ(shown_setting(kErrorUtf8).text, kErrorWide);
  }
  {
    WordsScope words(kLanguageKorean, 0);
    EXPECT_EQ(shown_setting(kErrorEuckr).text, kErrorWide);
    EXPECT_FALSE(shown_setting(kErrorUtf8).wide);
  }
}

TEST(ShownText, CutsFallOnCharacterBoundaries) {
  const std::u16string pair = u"ab\U0001F600c";  // a, b, high, low, c
  const struct {
    size_t max;
    size_t cut;
  } wide_cases[] = {{10, 5}, {5, 5}, {4, 4}, {3, 2}, {2, 2}, {0, 0}};
  for (const auto &c : wide_cases) EXPECT_EQ(utf16_cut(pair, c.max), c.cut) << c.max;

  const std::string utf8 = std::string("a") + kErrorUtf8;  // 1 + 3 + 3 bytes
  const std::string euckr = std::string("a") + kErrorEuckr + "b";  // 1 + 2 + 2 + 1 bytes
  const struct {
    const std::string *text;
    unsigned code_page;
    size_t max, cut;
  } narrow_cases[] = {
      {&utf8, kCodePageUtf8, 7, 7}, {&utf8, kCodePageUtf8, 6, 4}, {&utf8, kCodePageUtf8, 5, 4},
      {&utf8, kCodePageUtf8, 4, 4}, {&utf8, kCodePageUtf8, 3, 1}, {&utf8, kCodePageUtf8, 0, 0},
      {&euckr, kCodePageEucKr, 6, 6}, {&euckr, kCodePageEucKr, 5, 5}, {&euckr, kCodePageEucKr, 4, 3},
      {&euckr, kCodePageEucKr, 2, 1}, {&euckr, kCodePageEucKr, 1, 1},
  };
  for (const auto &c : narrow_cases) {
    EXPECT_EQ(narrow_cut(*c.text, c.max, c.code_page), c.cut) << c.code_page << " " << c.max;
  }
}

TEST(ErrorDialogTexts, DetailIsFramedAndBoundedWithoutSplittingACharacter) {
  WordsScope words(kLanguageEnglish, kCharEncodingUtf8);
  EXPECT_FALSE(detail_for_display(ShownText()).present) << "no detail stays no detail";
  EXPECT_EQ(detail_for_display(shown_wide(u"")).text, u"\r\n") << "an empty detail still has its line break";
  EXPECT_EQ(detail_for_display(shown_wide(u"x")).text, u"\r\nx");

  // 2,045 units, then a surrogate pair across the 2,047-unit limit.
  std::u16string wide(2045, u'w');
  wide += u"\U0001F600tail";
  const ShownText cut = detail_for_display(shown_wide(wide.c_str()));
  EXPECT_EQ(cut.text.size(), 2047u);
  EXPECT_EQ(cut.text.back(), u'w' + 0) << "the pair that did not fit whole is left out";
  wide[2045] = u'v';
  EXPECT_EQ(detail_for_display(shown_wide(wide.c_str())).text.size(), 2047u);

  // Narrow bytes that did not convert are bounded to 4,095 bytes on a UTF-8 boundary.
  std::string bytes(4092, 'n');
  bytes += "\xFF";  // makes it invalid UTF-8
  bytes += kErrorUtf8;
  const ShownText raw = detail_for_display(shown_narrow(bytes.c_str(), true));
  ASSERT_FALSE(raw.wide);
  EXPECT_EQ(raw.narrow.size(), 2u + 4092u + 1u) << "the three-byte character that did not fit is left out";

  const ErrorDlgTexts english = error_dialog_texts(shown_wide(u"s"), shown_wide(u"d"));
  EXPECT_TRUE(english.english);
  EXPECT_EQ(english.summary.text, u"s");
  EXPECT_EQ(english.detail.text, u"\r\nd");
  WordsScope korean(kLanguageKorean, 0);
  EXPECT_FALSE(error_dialog_texts(ShownText(), ShownText()).english);
}

TEST(ErrorDialogTexts, ContextAndCodeTextsFollowTheLanguage) {
  ERROR_CTX ctx{};
  ASSERT_EQ(err_push(&ctx, 1000, nullptr), 0);
  {
    WordsScope words(kLanguageEnglish, kCharEncodingUtf8);
    EXPECT_EQ(display_error_flags(), kErrFmtEnglish);
    EXPECT_EQ(context_detail(&ctx).text, u"Out of Memory [1000] ");
    EXPECT_EQ(code_detail(1000).text, u"Out of Memory");
    EXPECT_EQ(code_detail(123456789).text, u"") << "a code without a text gives the empty text";
    EXPECT_TRUE(code_detail(123456789).present);
    EXPECT_FALSE(context_detail(nullptr).present);
  }
  for (int encoding : {0, 1}) {
    WordsScope words(kLanguageKorean, encoding);
    EXPECT_EQ(display_error_flags(), 0);
    EXPECT_EQ(context_detail(&ctx).text, u"할당가능한 메모리 부족 [1000] ") << encoding;
    EXPECT_EQ(code_detail(1000).text, u"할당가능한 메모리 부족") << encoding;
  }
  err_ctx_clear(&ctx);

  // A detail pushed in the other encoding: its bytes still reach the screen, in UTF-8.
  WordsScope words(kLanguageEnglish, kCharEncodingUtf8);
  ASSERT_EQ(err_push(&ctx, 1003, nullptr), 0);
  ASSERT_EQ(err_add_detail(&ctx, -1, kErrorEuckr), 0);
  const ShownText mixed = context_detail(&ctx);
  ASSERT_TRUE(mixed.present);
  EXPECT_FALSE(mixed.wide);
  EXPECT_EQ(mixed.code_page, kCodePageUtf8);
  EXPECT_NE(mixed.narrow.find(kErrorEuckr), std::string::npos);
  err_ctx_clear(&ctx);

  ERROR_CTX empty{};
  EXPECT_TRUE(context_detail(&empty).present);
  EXPECT_EQ(context_detail(&empty).text, u"");
  err_ctx_clear(&empty);
}

TEST(PromptResults, PasswordAndPinFromTables) {
  const std::string fits127(127, 'p'), long128(128, 'p'), pin63(63, '1'), pin64(64, '1');
  const struct {
    int modal;
    const char *text;
    bool too_long;
    int password, pin;
  } cases[] = {
      {1, "secret", false, 0, 0},
      {2, "secret", false, v7::kErrUserCancelled, v7::kErrUserCancelled},
      {0, "secret", false, v7::kErrUserCancelled, v7::kErrUserCancelled},
      {1, "", false, -1, 0},
      {1, nullptr, false, -1, 0},
      {1, fits127.c_str(), false, 0, v7::kErrInsufficientBuffer},
      {1, long128.c_str(), false, v7::kErrInvalidParameter, v7::kErrInsufficientBuffer},
      {1, "", true, v7::kErrInvalidParameter, v7::kErrInsufficientBuffer},
      {1, pin63.c_str(), false, 0, 0},
      {1, pin64.c_str(), false, 0, v7::kErrInsufficientBuffer},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.modal) + " " + std::to_string(c.text ? std::strlen(c.text) : 0));
    char password[kPasswordOutCapacity], pin[kPinOutCapacity];
    std::memset(password, 'x', sizeof password);
    std::memset(pin, 'x', sizeof pin);
    const PromptEntry entry{c.modal, c.text, c.too_long};
    EXPECT_EQ(pkcs12_password_result(entry, password, sizeof password), c.password);
    EXPECT_EQ(pin_result(entry, pin, sizeof pin), c.pin);
    EXPECT_STREQ(password, c.password == 0 ? c.text : "");
    EXPECT_STREQ(pin, c.pin == 0 ? (c.text ? c.text : "") : "");
    if (c.password != 0) {
      EXPECT_EQ(std::string(password, sizeof password), std::string(sizeof password, '\0')) << "wiped whole";
    }
  }
}

TEST(FileResults, ChooserPathsFromTables) {
  EXPECT_EQ(file_chooser_for(kOsWin95), FileChooser::kCommonDialog);
  EXPECT_EQ(file_chooser_for(kOsXp), FileChooser::kCommonDialog);
  EXPECT_EQ(file_chooser_for(kOsVista), FileChooser::kBroker);
  EXPECT_EQ(file_chooser_for(kOsWin7), FileChooser::kBroker);

  const std::u16string ok260 = u"C:\\" + std::u16string(257, u'f');
  const std::u16string long261 = ok260 + u"g";
  const std::u16string hangul = u"C:\\인증서\\a.p12";
  // Two Hangul syllables: 4 bytes in EUC-KR, 6 in UTF-8, so 129 of them fit one encoding only.
  const std::u16string hangul_edge = u"C:\\" + std::u16string(128, u'가') + u"a";
  const struct {
    int chooser_rc;
    const char16_t *path;
    int encoding;
    int rc;
    std::string out;
  } cases[] = {
      {0, u"C:\\a.p12", 1, 0, "C:\\a.p12"},
      {0, ok260.c_str(), 1, 0, std::string("C:\\") + std::string(257, 'f')},
      {0, long261.c_str(), 1, v7::kErrFilePathTooLong, ""},
      {0, hangul.c_str(), 1, 0, "C:\\\xEC\x9D\xB8\xEC\xA6\x9D\xEC\x84\x9C\\a.p12"},
      {0, hangul.c_str(), 0, 0, "C:\\\xC0\xCE\xC1\xF5\xBC\xAD\\a.p12"},
      {0, hangul_edge.c_str(), 0, 0, ""},  // length checked below
      {0, hangul_edge.c_str(), 1, v7::kErrFilePathTooLong, ""},
      {0, u"C:\\\U0001F600.p12", 0, v7::kErrWideToNarrow, ""},
      {0, u"", 1, v7::kErrWideToNarrow, ""},
      {0, nullptr, 1, v7::kErrWideToNarrow, ""},
      {v7::kErrUserCancelled, u"C:\\a.p12", 1, v7::kErrUserCancelled, ""},
      {v7::kErrBrokerCreate, nullptr, 1, v7::kErrBrokerCreate, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.chooser_rc) + " enc " + std::to_string(c.encoding));
    WordsScope words(kLanguageKorean, c.encoding);
    char out[kPathOutCapacity];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(pkcs12_file_result(c.chooser_rc, c.path, out, sizeof out), c.rc);
    if (c.path == hangul_edge.c_str() && c.rc == 0) {
      EXPECT_EQ(std::strlen(out), 3u + 256u + 1u);
    } else {
      EXPECT_EQ(std::string(out), c.out);
    }
  }
  EXPECT_EQ(pkcs12_file_result(0, u"C:\\a.p12", nullptr, 261), v7::kErrInvalidParameter);
}

TEST(InstallPages, KindsChooseTheirFieldAndOnlyWebAddressesPass) {
  static RelayRequestRecord request;
  std::memset(&request, 0, sizeof request);
  std::strcpy(request.phone_install_url, "http://phone.example/install");
  std::strcpy(request.usbkey_install_url, "https://usb.example/");
  std::strcpy(request.secure_disk.install_url, "HTTPS://disk.example/a b?x=\"1\"");
  EXPECT_STREQ(install_page_for(&request, kInstallPagePhone), "http://phone.example/install");
  EXPECT_STREQ(install_page_for(&request, kInstallPageUsbKey), "https://usb.example/");
  EXPECT_STREQ(install_page_for(&request, kInstallPageSecureDisk), request.secure_disk.install_url);
  EXPECT_EQ(install_page_for(&request, 8), nullptr);
  EXPECT_EQ(install_page_for(&request, 0), nullptr);
  EXPECT_EQ(install_page_for(nullptr, kInstallPagePhone), nullptr);
  std::memset(request.phone_install_url, 'A', sizeof request.phone_install_url);  // no terminator
  EXPECT_EQ(install_page_for(&request, kInstallPagePhone), nullptr);

  const struct {
    const char *address;
    int rc;
    std::u16string out;
  } cases[] = {
      {"http://phone.example/install", 0, u"http://phone.example/install"},
      {"HTTPS://disk.example/a b?x=\"1\"", 0, u"HTTPS://disk.example/a%20b?x=%221%22"},
      {"https://x.example/\xC0\xCE", 0, u"https://x.example/%EC%9D%B8"},  // EUC-KR 인 as UTF-8
      {"https://x.example/{|}", 0, u"https://x.example/%7B%7C%7D"},
      {"file:///C:/Windows/notepad.exe", v7::kErrInvalidParameter, u""},
      {"javascript:alert(1)", v7::kErrInvalidParameter, u""},
      {"http://", v7::kErrInvalidParameter, u""},
      {"https:///path", v7::kErrInvalidParameter, u""},
      {"http://x.example/\r\nSet-Cookie", v7::kErrInvalidParameter, u""},
      {"http:x.example", v7::kErrInvalidParameter, u""},
      {"", v7::kErrInvalidParameter, u""},
      {"\xFF\xFF", v7::kErrInvalidParameter, u""},
  };
  for (const auto &c : cases) {
    std::u16string out = u"stale";
    EXPECT_EQ(page_address(c.address, &out), c.rc) << c.address;
    EXPECT_EQ(out, c.out) << c.address;
  }
  EXPECT_EQ(page_address(nullptr, nullptr), v7::kErrInvalidParameter);
}

// Links from a certificate (a policy's CPS) are in the setting's encoding and pass the same
// checks: only http and https with a host ever reach a browser.
TEST(InstallPages, LinkAddressesFromCertificatesPassTheSameChecks) {
  const struct {
    int encoding;
    const char *address;
    int rc;
    std::u16string out;
  } cases[] = {
      {kCharEncodingUtf8, "https://www.example.test/cps.html", 0, u"https://www.example.test/cps.html"},
      {kCharEncodingUtf8, "http://x.example/\xEC\x9D\xB8", 0, u"http://x.example/%EC%9D%B8"},
      {0, "http://x.example/\xC0\xCE", 0, u"http://x.example/%EC%9D%B8"},
      {kCharEncodingUtf8, "file:///C:/Windows/system32/calc.exe", v7::kErrInvalidParameter, u""},
      {kCharEncodingUtf8, "C:\\Windows\\system32\\calc.exe", v7::kErrInvalidParameter, u""},
      {kCharEncodingUtf8, "\\\\host\\share\\x.exe", v7::kErrInvalidParameter, u""},
      {kCharEncodingUtf8, "ldap://x.example/cn=a", v7::kErrInvalidParameter, u""},
      {kCharEncodingUtf8, "https://x.example/\" -x", 0, u"https://x.example/%22%20-x"},
      {kCharEncodingUtf8, "\xFF", v7::kErrInvalidParameter, u""},
      {kCharEncodingUtf8, "", v7::kErrInvalidParameter, u""},
  };
  for (const auto &c : cases) {
    WordsScope words(kLanguageKorean, c.encoding);
    std::u16string out = u"stale";
    EXPECT_EQ(link_address(c.address, &out), c.rc) << c.address;
    EXPECT_EQ(out, c.out) << c.address;
  }
  EXPECT_EQ(link_address(nullptr, nullptr), v7::kErrInvalidParameter);
}

}  // namespace
