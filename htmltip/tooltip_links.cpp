#include "htmltip/tooltip_links.h"

#include <cstdint>

#include "htmltip/internal.h"

namespace v7::htmltip {
namespace {

bool Unreserved(uint32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

}  // namespace

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
    } else {
      internal::AppendPercentEncoded(c, &out);
    }
  }
  return out;
}

}  // namespace v7::htmltip
