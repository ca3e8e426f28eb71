// The wide formatter. char16_t has no standard formatter on POSIX, and msvcrt's _snwprintf does
// not terminate a cut text, so both builds use this one: each conversion is formatted by the
// narrow C99 formatter (numbers) or copied here (texts), then widened.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "platform/errors/errno_util.h"
#include "pki/text/strings.h"

namespace {

struct Sink {
  char16_t *buf;
  size_t capacity;
  size_t length = 0;  // the whole text's length, written or not
  void put(char16_t c) {
    if (buf != nullptr && length + 1 < capacity) buf[length] = c;
    length++;
  }
  void pad(size_t n, char16_t c) {
    for (size_t i = 0; i < n; i++) put(c);
  }
};

// A text conversion: precision cuts, width pads.
template <typename Char>
void put_text(Sink &out, const Char *s, bool left, size_t width, long precision) {
  if (s == nullptr)
    s = reinterpret_cast<const Char *>(sizeof(Char) == 1 ? static_cast<const void *>("(null)")
                                                         : static_cast<const void *>(u"(null)"));
  size_t n = 0;
  while (s[n] != 0 && (precision < 0 || n < size_t(precision))) n++;
  if (!left && width > n) out.pad(width - n, u' ');
  for (size_t i = 0; i < n; i++)
    out.put(char16_t(static_cast<typename std::make_unsigned<Char>::type>(s[i])));
  if (left && width > n) out.pad(width - n, u' ');
}

size_t read_number(const char16_t *&f) {
  size_t n = 0;
  while (*f >= u'0' && *f <= u'9' && n < 100000) n = n * 10 + size_t(*f++ - u'0');
  return n;
}

}  // namespace

int safe_vswprintf(char16_t *buf, size_t capacity, const char16_t *format, va_list args) {
  if (format == nullptr || (buf == nullptr && capacity != 0) || capacity > 0x7FFFFFFF) {
    return v7::with_errno(v7::kErrnoInvalid, -1);
  }
  Sink out{buf, capacity};
  va_list ap;
  va_copy(ap, args);
  bool ok = true;
  for (const char16_t *f = format; ok && *f != 0; f++) {
    if (*f != u'%') {
      out.put(*f);
      continue;
    }
    f++;
    std::string spec = "%";
    bool left = false;
    while (*f == u'-' || *f == u'+' || *f == u' ' || *f == u'#' || *f == u'0') {
      left |= *f == u'-';
      spec += char(*f++);
    }
    size_t width = 0;
    if (*f == u'*') {
      int w = va_arg(ap, int);
      f++;
      left |= w < 0;
      if (w < 0) spec += '-';
      width = size_t(w < 0 ? -(long)w : w);
    } else {
      width = read_number(f);
    }
    long precision = -1;
    if (*f == u'.') {
      f++;
      if (*f == u'*') {
        int p = va_arg(ap, int);
        f++;
        precision = p < 0 ? -1 : p;
      } else {
        precision = long(read_number(f));
      }
    }
    std::string length;
    while (*f == u'h' || *f == u'l' || *f == u'z' || *f == u'j' || *f == u't' || *f == u'L')
      length += char(*f++);
    char conv = *f < 0x80 ? char(*f) : 0;
    char num[512];
    std::string full = spec + std::to_string(width) + (precision >= 0 ? "." + std::to_string(precision) : "");
    switch (conv) {
      case '%':
        out.put(u'%');
        break;
      case 's':
        if (length == "h") {
          put_text(out, va_arg(ap, const char *), left, width, precision);
        } else {
          put_text(out, va_arg(ap, const char16_t *), left, width, precision);
        }
        break;
      case 'c': {
        char16_t c[2] = {char16_t(length == "h" ? uint8_t(va_arg(ap, int)) : va_arg(ap, int)), 0};
        put_text(out, c, left, width, -1);
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        // Every length the toolkit uses, read with its own type so the argument list stays aligned.
        std::string s = full +
                        (length == "ll"  ? "ll"
                         : length == "l" ? "l"
                         : length == "z" ? "z"
                                         : "") +
                        conv;
        int n;
        bool is_signed = conv == 'd' || conv == 'i';
        if (length == "ll") {
          n = is_signed ? snprintf(num, sizeof(num), s.c_str(), va_arg(ap, long long))
                        : snprintf(num, sizeof(num), s.c_str(), va_arg(ap, unsigned long long));
        } else if (length == "l") {
          n = is_signed ? snprintf(num, sizeof(num), s.c_str(), va_arg(ap, long))
                        : snprintf(num, sizeof(num), s.c_str(), va_arg(ap, unsigned long));
        } else if (length == "z") {
          n = snprintf(num, sizeof(num), s.c_str(), va_arg(ap, size_t));
        } else {
          n = is_signed ? snprintf(num, sizeof(num), s.c_str(), va_arg(ap, int))
                        : snprintf(num, sizeof(num), s.c_str(), va_arg(ap, unsigned));
        }
        ok = n >= 0 && size_t(n) < sizeof(num);
        put_text(out, num, false, 0, -1);
        break;
      }
      case 'p': {
        int n = snprintf(num, sizeof(num), "%p", va_arg(ap, void *));
        ok = n >= 0 && size_t(n) < sizeof(num);
        put_text(out, num, left, width, -1);
        break;
      }
      default:
        ok = false;  // a conversion this formatter does not know: refuse rather than misread the list
    }
  }
  va_end(ap);
  if (buf != nullptr && capacity != 0) buf[out.length < capacity ? out.length : capacity - 1] = 0;
  if (!ok) {
    if (buf != nullptr && capacity != 0) buf[0] = 0;
    return v7::with_errno(v7::kErrnoInvalid, -1);
  }
  return int(out.length);
}

int safe_swprintf(char16_t *buf, size_t capacity, const char16_t *format, ...) {
  va_list args;
  va_start(args, format);
  int n = safe_vswprintf(buf, capacity, format, args);
  va_end(args);
  return n;
}
