// The generated string table: its data, and under Windows the resources compiled from the same
// file, which must give back every text byte for byte (the resource compiler has escapes and
// quoting rules of its own).

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "v7config/deployment.h"
#include "wizard/res/string_ids.h"
#include "wizard/res/string_table.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "tests/ui/robot.h"
#endif

using namespace v7::wizard::res;

namespace {

TEST(StringTable, SortedUniqueAndNeverEmpty) {
  ASSERT_GT(kStringCount, 200u);
  for (size_t i = 0; i < kStringCount; i++) {
    SCOPED_TRACE(kStrings[i].id);
    ASSERT_NE(kStrings[i].text, nullptr);
    EXPECT_GT(std::strlen(kStrings[i].text), 0u);
    if (i > 0) {
      EXPECT_LT(kStrings[i - 1].id, kStrings[i].id);
    }
  }
}

TEST(StringTable, KnownTextsAndLookups) {
  const struct {
    unsigned id;
    const char *text;
  } cases[] = {
      {IDS_STORING_CERTIFICATE, u8"인증서를 저장하고 있습니다."},
      {IDS_STORING_CERTIFICATE + 1, "The certificate is being stored."},
      {IDS_SELECT_CERTIFICATE, u8"인증서를 선택하여 주십시오. "},  // the trailing blank is part of it
      {IDS_RECIPIENT_START_NEXT + 1,
       "Please click the \"Next\" button to generate an authorization code after finishing the above instruction."},
      {IDS_RECV_CERT_WAIT, u8"공인인증서를 전송받고 있습니다.\r\n\r\n잠시만 기다려주십시오."},
      {IDS_MEDIA_HDD_NOTE + 1,
       "HDD is NOT a safe storage medium.\nWe RECOMMEND to select OTHER storage media to store the certificate."},
      {IDS_TRIES_LEFT + 1, "You have %d more chance(s)."},
      {IDS_ROOT_HASH_INTRO_EN, "The hash values of the trusted root certificate are as following."},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    const char *found = FindString(c.id);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found, c.text);
  }
  EXPECT_STREQ(FindPairText(IDS_ENTER_PIN, true), u8"접근비밀번호를 입력해주세요.");
  EXPECT_STREQ(FindPairText(IDS_ENTER_PIN, false), "Enter the PIN.");
  EXPECT_EQ(IDS_ENTER_PIN, 11);
  EXPECT_EQ(FindString(0), nullptr);
  EXPECT_EQ(FindString(IDS_PHONE_PASSWORD_WRONG + 1), nullptr) << "a single string has no second id";
  EXPECT_EQ(FindString(65535), nullptr);
}

// A text that names a deployment value carries the one the build was configured with, in both
// languages, and no placeholder is left in any text.
TEST(StringTable, DeploymentValuesStandInTheTexts) {
  for (bool korean : {true, false}) {
    SCOPED_TRACE(korean ? "ko" : "en");
    const char *asked = FindPairText(IDS_HSM_NOT_APPROVED_ASK, korean);
    ASSERT_NE(asked, nullptr);
    EXPECT_NE(std::strstr(asked, V7_TOKEN_APPROVAL_PAGE ")"), nullptr) << asked;
  }
  for (size_t i = 0; i < kStringCount; i++) {
    const char *at = std::strchr(kStrings[i].text, '@');
    EXPECT_TRUE(at == nullptr || std::strchr(at + 1, '@') == nullptr) << kStrings[i].id << ": " << kStrings[i].text;
  }
}

#ifdef _WIN32
TEST(StringResources, EveryStringLoadsAsTheTableHasIt) {
  for (size_t i = 0; i < kStringCount; i++) {
    SCOPED_TRACE(kStrings[i].id);
    EXPECT_EQ(v7::classlib::LoadText(kStrings[i].id), v7test::WideFromUtf8(kStrings[i].text));
  }
}

TEST(StringResources, PairsFollowTheLanguageWord) {
  const uint16_t saved = language_id();
  set_language_id(kLanguageKorean);
  EXPECT_EQ(v7::classlib::LoadPairText(IDS_CONFIRM_QUIT), v7test::WideFromUtf8(u8"정말 종료하시겠습니까?"));
  set_language_id(kLanguageEnglish);
  EXPECT_EQ(v7::classlib::LoadPairText(IDS_CONFIRM_QUIT), L"Do you really want to QUIT?");
  set_language_id(saved);
}
#endif

}  // namespace
