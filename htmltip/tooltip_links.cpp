#include "htmltip/tooltip_links.h"

#include <cstdint>

#include "htmltip/internal.h"

namespace v7::htmltip {
namespace {

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (internal::LowerAscii(text[i]) != prefix[i]) return false;
  return true;
}

bool Unreserved(uint32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

void AppendByte(std::u16string *out, uint32_t byte) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  out->push_back(u'%');
  out->push_back(kHex[byte >> 4 & 0xF]);
  out->push_back(kHex[byte & 0xF]);
}

}  // namespace

bool IsWebAddress(std::u16string_view address) {
  if (!StartsWithFolded(address, u"http://") && !StartsWithFolded(address, u"https://")) return false;
  for (char16_t c : address)
    if (c <= 0x20 || c == 0x7F || c == u'"') return false;
  return true;
}

std::u16string AppendQuery(std::u16string_view page, std::u16string_view query) {
  std::u16string out(page);
  for (size_t i = 0; i < query.size(); ++i) {
    uint32_t c = query[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < query.size() && query[i + 1] >= 0xDC00 && query[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (query[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (Unreserved(c)) {
      out.push_back(char16_t(c));
    } else if (c < 0x80) {
      AppendByte(&out, c);
    } else if (c < 0x800) {
      AppendByte(&out, 0xC0 | c >> 6);
      AppendByte(&out, 0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      AppendByte(&out, 0xE0 | c >> 12);
      AppendByte(&out, 0x80 | (c >> 6 & 0x3F));
      AppendByte(&out, 0x80 | (c & 0x3F));
    } else {
      AppendByte(&out, 0xF0 | c >> 18);
      AppendByte(&out, 0x80 | (c >> 12 & 0x3F));
      AppendByte(&out, 0x80 | (c >> 6 & 0x3F));
      AppendByte(&out, 0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string QuotedWebArgument(std::u16string_view address) {
  if (!IsWebAddress(address)) return std::u16string();
  std::u16string out;
  out.reserve(address.size() + 2);
  out.push_back(u'"');
  out.append(address);
  out.push_back(u'"');
  return out;
}

}  // namespace v7::htmltip
