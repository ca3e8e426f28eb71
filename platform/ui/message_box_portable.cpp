// Without a window system the text goes to the standard error stream and the box answers OK.
#include <cstdio>
#include <cstdint>
#include <string>

#include "platform/ui/message_box.h"

namespace v7 {

int message_box(const char *text, const char *caption, unsigned flags) {
  if (MessageBoxHook hook = internal::message_box_hook()) return hook(text, caption, flags);
  std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "Error", text != nullptr ? text : "");
  return 1;
}

namespace {

// UTF-8 of a UTF-16 text for the error stream; a lone surrogate becomes '?', as this is only a
// fallback for reading.
std::string to_utf8(const char16_t *text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) {
    uint32_t c = *text;
    if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(text[1]) - 0xDC00);
      ++text;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = '?';
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

int message_box_w(const char16_t *text, const char16_t *caption, unsigned flags) {
  if (MessageBoxHookW hook = internal::message_box_hook_w()) return hook(text, caption, flags);
  return message_box(to_utf8(text).c_str(), caption != nullptr ? to_utf8(caption).c_str() : nullptr, flags);
}

}  // namespace v7
