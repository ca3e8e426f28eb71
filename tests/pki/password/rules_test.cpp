// The rules of a new password and their texts.
#include "pki/password/password.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "pki/text/codepage.h"
#include "tests/harness/vectors.h"
#include "tests/pki/password/password_cases.h"

namespace {

TEST(PasswordRules, TableOfCases) {
  for (const auto &c : v7test::load_vectors("password_rules.txt")) {
    SCOPED_TRACE(c.where());
    const std::string password = pwtest::password_of(c);
    errno = 4242;
    EXPECT_EQ(int(c.number("check")), password_check(password.c_str()));
    EXPECT_EQ(4242, errno) << "an answer, not a failure";
  }
}

TEST(PasswordRules, NoTextIsTooShort) {
  EXPECT_EQ(PASSWORD_TOO_SHORT, password_check(nullptr));
  EXPECT_EQ(PASSWORD_TOO_SHORT, password_strength(nullptr));
}

// The text is only read: a password in read-only memory and one just past the minimum both work.
TEST(PasswordRules, ExactlyTheMinimumIsEnough) {
  static const char kEight[] = "k9z7m2qx";
  EXPECT_EQ(PASSWORD_OK, password_check(kEight));
  EXPECT_EQ(PASSWORD_TOO_SHORT, password_check(kEight + 1));
}

struct TextRow {
  int code;
  const char *english;
  const char *korean_utf8;
};

const TextRow kTexts[] = {
    {-1, "More than 7 characters", "8자 이상이어야 함"},
    {-2, "No three consecutive characters", "연속된 3개의 문자 사용 금지"},
    {-3, "No three times repeated characters", "동일 문자 3번 이상 반복 금지"},
    {-4, "At least two types of characters", "여러 문자 타입의 혼용이 필요함"},
    {0, "Error", "오류"},
    {1, "Error", "오류"},
    {3, "Error", "오류"},
    {-5, "Error", "오류"},
    {INT_MIN, "Error", "오류"},
    {INT_MAX, "Error", "오류"},
};

// A wide text converted by one of the toolkit's converters (UTF-8 or EUC-KR).
std::string narrow_of(int (*convert)(const char16_t *, char **), const char16_t *wide) {
  char *narrow = nullptr;
  EXPECT_EQ(0, convert(wide, &narrow));
  std::string out = narrow != nullptr ? narrow : "";
  std::free(narrow);
  return out;
}

std::string utf8_of(const char16_t *wide) { return narrow_of(wide_to_utf8, wide); }

// Korean is EUC-KR whatever the encoding setting says; its wide twin holds the same words.
TEST(PasswordRules, TextsInBothLanguages) {
  for (const TextRow &row : kTexts) {
    SCOPED_TRACE(row.code);
    EXPECT_STREQ(row.english, password_rule_text(row.code, PASSWORD_TEXT_KOREAN + 1));
    EXPECT_EQ(row.english, utf8_of(password_rule_text_w(row.code, 0)));
    EXPECT_EQ(row.korean_utf8, utf8_of(password_rule_text_w(row.code, PASSWORD_TEXT_KOREAN)));
    const std::string euckr = narrow_of(wide_to_euckr, password_rule_text_w(row.code, PASSWORD_TEXT_KOREAN));
    EXPECT_FALSE(euckr.empty());
    EXPECT_EQ(euckr, password_rule_text(row.code, PASSWORD_TEXT_KOREAN));
  }
}

// Only 1 selects Korean; the LanguageId value of Korean (18) is not it.
TEST(PasswordRules, EveryOtherLanguageIsEnglish) {
  for (int language : {0, 2, 9, 18, -1, INT_MAX}) {
    SCOPED_TRACE(language);
    EXPECT_STREQ("More than 7 characters", password_rule_text(-1, language));
    EXPECT_EQ(std::u16string(u"More than 7 characters"), password_rule_text_w(-1, language));
  }
}

}  // namespace
