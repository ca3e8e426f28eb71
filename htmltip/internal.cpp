#include "htmltip/internal.h"

#include "htmltip/html_limits.h"

namespace v7::htmltip::internal {
namespace {

// All ones in the low 40 bits, so that a masked colour saturates to white as strtoul would.
constexpr int64_t kSaturation = (int64_t(1) << 40) - 1;

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 99;
}

ReadNumber Read(std::u16string_view text, bool autoBase) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) i++;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  int base = 10;
  ReadNumber out;
  if (autoBase && i < text.size() && text[i] == u'0') {
    // A lone "0", or "0x" without a hexadecimal digit after it, reads as the zero it starts with.
    out.digits = true;
    if (i + 2 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X') && DigitValue(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
      i += 1;
    }
  }
  for (; i < text.size() && DigitValue(text[i]) < base; i++) {
    out.digits = true;
    out.value = out.value * base + DigitValue(text[i]);
    if (out.value > kSaturation) out.value = kSaturation;
  }
  if (negative) out.value = -out.value;
  return out;
}

}  // namespace

std::u16string LowerAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t &c : out) c = LowerAscii(c);
  return out;
}

std::u16string_view TrimTrailingBlanks(std::u16string_view text) {
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  return text;
}

ReadNumber ReadDecimal(std::u16string_view text) { return Read(text, false); }
ReadNumber ReadAutoBase(std::u16string_view text) { return Read(text, true); }

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t product = int64_t(a) * b;
  int64_t half = (c < 0 ? -int64_t(c) : int64_t(c)) / 2;
  bool negative = (product < 0) != (c < 0);
  int64_t magnitude = (product < 0 ? -product : product) + half;
  int64_t quotient = magnitude / (c < 0 ? -int64_t(c) : int64_t(c));
  int64_t result = negative ? -quotient : quotient;
  if (result > INT32_MAX || result < INT32_MIN) return -1;
  return int(result);
}

int ClampLength(int64_t pixels) {
  if (pixels < 0) return 0;
  return pixels > kMaxHtmlLength ? kMaxHtmlLength : int(pixels);
}

namespace {

void AppendEscaped(uint8_t byte, std::u16string *out) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  out->push_back(u'%');
  out->push_back(kHex[byte >> 4]);
  out->push_back(kHex[byte & 0xF]);
}

}  // namespace

size_t FindTableStart(std::u16string_view text, size_t pos) {
  for (size_t at = text.find(u"<table", pos); at != std::u16string_view::npos; at = text.find(u"<table", at + 1)) {
    if (at == 0 || text[at - 1] != u'<') return at;
  }
  return std::u16string_view::npos;
}

size_t FindTableEnd(std::u16string_view text, size_t start) {
  constexpr auto npos = std::u16string_view::npos;
  int64_t open = 1;
  size_t pos = start + 1;
  // Each "<table" and "</table>" is looked for once: the one of the two met first is counted, and
  // only it is looked for again.
  size_t close = text.find(u"</table>", pos), nested = FindTableStart(text, pos);
  while (close != npos) {
    if (nested < close) {
      open++;
      pos = nested + 1;
      nested = FindTableStart(text, pos);
      continue;
    }
    if (--open == 0) return close;
    pos = close + 1;
    close = text.find(u"</table>", pos);
  }
  return text.size();
}

void AppendPercentEncoded(uint32_t c, std::u16string *out) {
  if (c < 0x80) {
    AppendEscaped(uint8_t(c), out);
  } else if (c < 0x800) {
    AppendEscaped(uint8_t(0xC0 | c >> 6), out);
    AppendEscaped(uint8_t(0x80 | (c & 0x3F)), out);
  } else if (c < 0x10000) {
    AppendEscaped(uint8_t(0xE0 | c >> 12), out);
    AppendEscaped(uint8_t(0x80 | (c >> 6 & 0x3F)), out);
    AppendEscaped(uint8_t(0x80 | (c & 0x3F)), out);
  } else {
    AppendEscaped(uint8_t(0xF0 | c >> 18), out);
    AppendEscaped(uint8_t(0x80 | (c >> 12 & 0x3F)), out);
    AppendEscaped(uint8_t(0x80 | (c >> 6 & 0x3F)), out);
    AppendEscaped(uint8_t(0x80 | (c & 0x3F)), out);
  }
}

}  // namespace v7::htmltip::internal
