// The bounded writer of the display texts, their labels and number forms.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pki/oid/oid.h"
#include "pki/text/codepage.h"
#include "pki/x509/name.h"
#include "platform/errors/errno_util.h"
#include "platform/locale/process_words.h"
#include "wizard/certview/internal.h"
#include "wizard/res/string_table.h"

namespace v7::certview {

size_t char_length(const char *text, size_t available) {
  auto lead = static_cast<uint8_t>(text[0]);
  size_t n = 1;
  if (char_encoding_is_utf8()) {
    if (lead >= 0xF0 && lead <= 0xF7) n = 4;
    else if (lead >= 0xE0) n = lead <= 0xEF ? 3 : 1;
    else if (lead >= 0xC0) n = 2;
  } else if (lead >= 0x81 && lead != 0xFF) {
    n = 2;  // an EUC-KR (code page 949) lead byte is always followed by its trail byte
  }
  return n < available ? n : available;
}

TextOut::TextOut(char *buf, size_t capacity) : buf_(buf), capacity_(buf == nullptr ? 0 : capacity) {
  if (capacity_ > 0) buf_[0] = '\0';
}

void TextOut::put(const char *text) {
  if (text != nullptr) put(text, strlen(text));
}

void TextOut::put(const char *text, size_t length) {
  if (cut_ || text == nullptr) return;
  if (buf_ == nullptr) {
    length_ += length;
    return;
  }
  size_t used = 0;
  while (used < length) {
    size_t n = char_length(text + used, length - used);
    if (length_ + n + 1 > capacity_) {
      cut_ = true;
      break;
    }
    memcpy(buf_ + length_, text + used, n);
    length_ += n;
    used += n;
  }
  buf_[length_] = '\0';
}

void TextOut::put_number(unsigned long long value) {
  char digits[24];
  size_t n = 0;
  do {
    digits[sizeof digits - 1 - n++] = char('0' + value % 10);
    value /= 10;
  } while (value != 0);
  put(digits + sizeof digits - n, n);
}

void TextOut::label(unsigned id) {
  bool korean = language_is_korean();
  const char *text = v7::wizard::res::FindPairText(id, korean);
  if (text == nullptr) return;
  if (!korean || char_encoding_is_utf8()) {
    put(text);
    return;
  }
  // The Korean labels are kept as UTF-8; every text of this setting is EUC-KR.
  char converted[256];
  size_t n = utf8_to_euckr_buf(text, strlen(text), converted, sizeof converted);
  put(converted, n);
}

bool TextOut::put_utf8(const uint8_t *text, size_t length) {
  if (text == nullptr || length == 0) return true;
  const char *narrow = reinterpret_cast<const char *>(text);
  if (char_encoding_is_utf8()) {
    put(narrow, length);
    return true;
  }
  size_t size = utf8_to_euckr_buf(narrow, length, nullptr, 0);
  if (size == 0) return false;
  std::vector<char> converted(size);
  size = utf8_to_euckr_buf(narrow, length, converted.data(), converted.size());
  if (size == 0) return false;
  put(converted.data(), size);
  return true;
}

namespace {
const char kDigits[] = "0123456789abcdef";
}  // namespace

void TextOut::hex(const uint8_t *bytes, size_t length) {
  for (size_t i = 0; i < length && !cut_; ++i) {
    char pair[2] = {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
    put(pair, 2);
  }
}

bool TextOut::oid(const ASN1_BYTES &value) {
  int needed = oid_name_to_buf(0, &value, nullptr);
  if (needed <= 0) return false;
  std::vector<char> text(size_t(needed) + 1);
  if (oid_name_to_buf(text.size(), &value, text.data()) <= 0) return false;
  put(text.data());
  return true;
}

void TextOut::hex_form(const uint8_t *bytes, size_t length) {
  for (size_t i = 0; i < length && !cut_; i += 2) {
    char group[5];
    size_t n = 0;
    if (i > 0) put(":", 1);
    for (size_t j = i; j < length && j < i + 2; ++j) {
      group[n++] = kDigits[bytes[j] >> 4];
      group[n++] = kDigits[bytes[j] & 15];
    }
    put(group, n);
  }
}

bool TextOut::name(const Name *value) {
  char *text = nullptr;
  if (cert_name_to_text(value, &text) < 0) return false;
  put(text);
  free(text);
  return true;
}

size_t TextOut::finish() const {
  errno = cut_ ? int(kErrInsufficientBuffer) : 0;
  return length_;
}

size_t unsigned_decimal(const uint8_t *bytes, size_t length, char *out) {
  std::vector<uint8_t> work(bytes, bytes + length);
  size_t start = 0;
  size_t digits = 0;
  // Divides by 10,000 per pass: r * 256 + byte stays below 2^32.
  while (start < work.size()) {
    uint32_t remainder = 0;
    for (size_t i = start; i < work.size(); ++i) {
      uint32_t value = remainder * 256 + work[i];
      work[i] = uint8_t(value / 10000);
      remainder = value % 10000;
    }
    while (start < work.size() && work[start] == 0) ++start;
    for (int k = 0; k < 4; ++k) {
      out[digits++] = char('0' + remainder % 10);
      remainder /= 10;
      if (start == work.size() && remainder == 0) break;
    }
  }
  if (digits == 0) out[digits++] = '0';
  for (size_t i = 0; i < digits / 2; ++i) {
    char c = out[i];
    out[i] = out[digits - 1 - i];
    out[digits - 1 - i] = c;
  }
  out[digits] = '\0';
  return digits;
}

void integer_magnitude(const ASN1_BYTES &value, const uint8_t **bytes, size_t *length) {
  const uint8_t *p = value.data;
  size_t n = p == nullptr ? 0 : value.len;
  while (n > 1 && p[0] == 0) {
    ++p;
    --n;
  }
  *bytes = p;
  *length = n;
}

}  // namespace v7::certview
