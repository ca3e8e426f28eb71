#include "tests/htmltip/html_test_text.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace v7test {
namespace {

int Hex(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

unsigned ReadHex(const Bytes &in, size_t at, size_t digits) {
  unsigned value = 0;
  for (size_t i = 0; i < digits; i++) {
    const int d = at + i < in.size() ? Hex(in[at + i]) : -1;
    if (d < 0) {
      ADD_FAILURE() << "bad escape in a vector text";
      return 0;
    }
    value = value * 16 + unsigned(d);
  }
  return value;
}

}  // namespace

std::u16string DecodeHtmlVectorText(const Bytes &in) {
  std::u16string out;
  for (size_t i = 0; i < in.size();) {
    const uint8_t c = in[i];
    if (c == '\\' && i + 1 < in.size()) {
      const uint8_t e = in[i + 1];
      i += 2;
      switch (e) {
        case 'n': out.push_back(u'\n'); break;
        case 'r': out.push_back(u'\r'); break;
        case 't': out.push_back(u'\t'); break;
        case '0': out.push_back(u'\0'); break;
        case '\\': out.push_back(u'\\'); break;
        case 'x': out.push_back(char16_t(ReadHex(in, i, 2))); i += 2; break;
        case 'u': out.push_back(char16_t(ReadHex(in, i, 4))); i += 4; break;
        default: ADD_FAILURE() << "unknown escape \\" << char(e); break;
      }
      continue;
    }
    // UTF-8 of the file itself: one to four bytes to one code point, then to UTF-16.
    unsigned cp = c, extra = 0;
    if (c >= 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else if (c >= 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if (c >= 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    }
    i++;
    for (unsigned k = 0; k < extra && i < in.size(); k++, i++) cp = cp << 6 | (in[i] & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::string EncodeHtmlVectorText(const std::u16string &text) {
  std::string out;
  char unit[8];
  for (char16_t c : text) {
    if (c == u'\n') {
      out += "\\n";
    } else if (c == u'\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F && c != u'"') {
      out.push_back(char(c));
    } else {
      std::snprintf(unit, sizeof unit, "\\u%04X", unsigned(c));
      out += unit;
    }
  }
  return out;
}

}  // namespace v7test
