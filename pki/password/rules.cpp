// The rules a new password must meet and their texts.
#include "pki/password/internal.h"
#include "pki/password/password.h"

namespace {

using v7::password::is_digit;
using v7::password::is_letter;

constexpr size_t kMinimumBytes = 8;

struct RuleText {
  int code;
  const char *english;
  const char *korean_euckr;
  const char16_t *english_wide;
  const char16_t *korean_wide;
};

// The Korean texts are kept twice: readable as UTF-16 literals, and in EUC-KR as the narrow form
// promises callers. The tests hold each EUC-KR text against the conversion of its wide twin.
constexpr RuleText kRuleTexts[] = {
    {PASSWORD_TOO_SHORT, "More than 7 characters",
     "8\xC0\xDA \xC0\xCC\xBB\xF3\xC0\xCC\xBE\xEE\xBE\xDF \xC7\xD4",
     u"More than 7 characters", u"8자 이상이어야 함"},
    {PASSWORD_CONSECUTIVE, "No three consecutive characters",
     "\xBF\xAC\xBC\xD3\xB5\xC8 3\xB0\xB3\xC0\xC7 \xB9\xAE\xC0\xDA \xBB\xE7\xBF\xEB \xB1\xDD\xC1\xF6",
     u"No three consecutive characters", u"연속된 3개의 문자 사용 금지"},
    {PASSWORD_REPEATED, "No three times repeated characters",
     "\xB5\xBF\xC0\xCF \xB9\xAE\xC0\xDA 3\xB9\xF8 \xC0\xCC\xBB\xF3 \xB9\xDD\xBA\xB9 \xB1\xDD\xC1\xF6",
     u"No three times repeated characters", u"동일 문자 3번 이상 반복 금지"},
    {PASSWORD_ONE_KIND, "At least two types of characters",
     "\xBF\xA9\xB7\xAF \xB9\xAE\xC0\xDA \xC5\xB8\xC0\xD4\xC0\xC7 \xC8\xA5\xBF\xEB\xC0\xCC \xC7\xCA\xBF\xE4\xC7\xD4",
     u"At least two types of characters", u"여러 문자 타입의 혼용이 필요함"},
};

constexpr RuleText kOtherText = {0, "Error", "\xBF\xC0\xB7\xF9", u"Error", u"오류"};

const RuleText &rule_text_row(int code) {
  for (const RuleText &row : kRuleTexts) {
    if (row.code == code) return row;
  }
  return kOtherText;
}

enum Kind : unsigned { kLetter = 1, kDigit = 2, kOther = 4 };

}  // namespace

int password_check(const char *text) {
  if (text == nullptr) return PASSWORD_TOO_SHORT;
  const auto *p = reinterpret_cast<const uint8_t *>(text);
  size_t n = 0;
  while (p[n] != 0 && n < kMinimumBytes) ++n;
  if (n < kMinimumBytes) return PASSWORD_TOO_SHORT;

  // The previous character may be of any kind: "/01" is a rising run, since / comes right before 0.
  bool have_previous = false;
  uint8_t previous = 0;
  int rising = 0, falling = 0, repeats = 0;
  unsigned kinds = 0;
  for (; *p != 0; ++p) {
    const uint8_t c = *p;
    const bool alnum = is_letter(c) || is_digit(c);
    if (have_previous && alnum && c + 1 == previous) {
      if (++falling == 2) return PASSWORD_CONSECUTIVE;
      rising = 0;
    } else if (have_previous && alnum && c == previous + 1) {
      if (++rising == 2) return PASSWORD_CONSECUTIVE;
      falling = 0;
    } else {
      rising = falling = 0;
    }
    if (have_previous && c == previous) {
      if (++repeats == 2) return PASSWORD_REPEATED;
    } else {
      repeats = 0;
    }
    kinds |= is_letter(c) ? kLetter : is_digit(c) ? kDigit : kOther;
    previous = c;
    have_previous = true;
  }
  const bool one_kind = kinds == kLetter || kinds == kDigit || kinds == kOther;
  return one_kind ? PASSWORD_ONE_KIND : PASSWORD_OK;
}

const char *password_rule_text(int code, int language) {
  const RuleText &row = rule_text_row(code);
  return language == PASSWORD_TEXT_KOREAN ? row.korean_euckr : row.english;
}

const char16_t *password_rule_text_w(int code, int language) {
  const RuleText &row = rule_text_row(code);
  return language == PASSWORD_TEXT_KOREAN ? row.korean_wide : row.english_wide;
}
