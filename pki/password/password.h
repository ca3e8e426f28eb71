// The rules a new certificate password must meet, its strength grade and the texts of the rules.
//
// The wizard pages call password_strength on every change of a new-password edit and show the
// broken rule's text or the grade. The rules work on the narrow text as typed, byte by byte, and
// every class is ASCII: the bytes of a Korean password count toward the length and the kinds of
// password_check ("other"), but toward no class of the grade. Texts are terminated; a text stops
// at its first zero byte. None of these functions sets errno: every result is an answer.
#pragma once

// Results of password_check, also returned by password_strength.
enum : int {
  PASSWORD_OK = 0,
  PASSWORD_TOO_SHORT = -1,       // fewer than 8 bytes, or no text
  PASSWORD_CONSECUTIVE = -2,     // three consecutive characters, rising or falling
  PASSWORD_REPEATED = -3,        // the same character three times in a row
  PASSWORD_ONE_KIND = -4,        // fewer than two kinds among letter, digit and other
};

// Grades of password_strength.
enum : int {
  PASSWORD_WEAK = 1,
  PASSWORD_MEDIUM = 2,
  PASSWORD_STRONG = 3,
};

// The language argument of the rule texts that selects Korean; any other value gives English.
// This is not the LanguageId (whose Korean is 18): callers map it.
enum : int { PASSWORD_TEXT_KOREAN = 1 };

// The first rule the text breaks, or PASSWORD_OK. Null counts as too short.
int password_check(const char *text);

// The rule code when password_check fails, else the grade of the first 255 bytes.
int password_strength(const char *text);

// The constant text of a rule code; "Error" (Korean "오류") for any other value, grades included.
// The Korean text is EUC-KR whatever CharEncodingMode says, so a caller that shows it converts it
// from EUC-KR explicitly (euckr_to_wide), never by the setting: under the control's UTF-8 setting
// that would garble it. Never null, never freed.
const char *password_rule_text(int code, int language);

// The same text as UTF-16, for pages that show it in a wide control without any conversion.
const char16_t *password_rule_text_w(int code, int language);
