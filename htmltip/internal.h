// Lexical helpers of the HTML drawers: the character classes, case folding and number reading the
// dialect uses. Letters are ASCII letters only; no other character changes case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace v7::htmltip::internal {

inline bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
inline bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
// Where a name starts in a rule, a declaration or an attribute list.
inline bool IsNameStart(char16_t c) { return IsDigit(c) || IsLetter(c) || c == u'.'; }
inline char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }
inline char16_t UpperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

std::u16string LowerAscii(std::u16string_view text);
std::u16string_view TrimTrailingBlanks(std::u16string_view text);

// A number as the C library reads one: leading blanks, an optional sign, then digits. Values
// saturate at +-(2^40 - 1), far beyond any length or colour, so nothing later overflows.
struct ReadNumber {
  int64_t value = 0;
  bool digits = false;  // false: no digit was read and the value is 0
};
// Decimal only, as atoi.
ReadNumber ReadDecimal(std::u16string_view text);
// Automatic base, as strtol with base 0: "0x" hexadecimal, a leading "0" octal, else decimal.
ReadNumber ReadAutoBase(std::u16string_view text);

// a * b / c rounded to the nearest integer, halves away from zero, as the Windows MulDiv; a zero
// divisor gives -1 as it does there.
int MulDiv(int a, int b, int c);

// A length read from text, clipped to the range the layout works in.
int ClampLength(int64_t pixels);

// The start of the next "<table" that is not preceded by another "<", from `pos`; npos for none.
size_t FindTableStart(std::u16string_view text, size_t pos);
// Where the "</table>" balancing the table at `start` begins, counting nested tables; the end of
// the text when none balances it.
size_t FindTableEnd(std::u16string_view text, size_t start);

// The UTF-8 bytes of one code point, each written as %XX (upper-case hexadecimal).
void AppendPercentEncoded(uint32_t codePoint, std::u16string *out);

}  // namespace v7::htmltip::internal
