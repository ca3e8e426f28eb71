#include "wizard/dialogs/dialog_logic.h"

#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "pki/errors/error_ctx.h"
#include "pki/text/codepage.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version.h"
#include "wizard/records/request_record.h"

namespace v7 {
namespace dialogs {
namespace {

// Takes a malloc'd wide text, or gives nothing.
ShownText take_wide(char16_t *text) {
  ShownText shown;
  if (text == nullptr) return shown;
  shown.present = true;
  shown.text = text;
  std::free(text);
  return shown;
}

ShownText raw_bytes(const char *text, unsigned code_page) {
  ShownText shown;
  shown.present = true;
  shown.wide = false;
  shown.narrow = text;
  shown.code_page = code_page;
  return shown;
}

void empty_out(char *out, size_t capacity) {
  if (out != nullptr && capacity > 0) secure_wipe(out, capacity);
}

bool is_unsafe_in_address(unsigned char c) {
  return c == ' ' || c >= 0x80 || std::strchr("\"<>\\^`{|}", c) != nullptr;
}

bool starts_with_nocase(const std::string &text, const char *prefix) {
  const size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

const char16_t kErrorCaptionEnglish[] = u"velmora API Error";
const char16_t kOkEnglish[] = u"OK";
const char16_t kCancelEnglish[] = u"Cancel";
const char16_t kPkcs12Filter[] = u"PFX(*.p12;*.pfx)\0*.p12;*.pfx\0";
const char16_t kPkcs12DefaultExtension[] = u"p12";

ShownText shown_wide(const char16_t *text) {
  ShownText shown;
  if (text == nullptr) return shown;
  shown.present = true;
  shown.text = text;
  return shown;
}

ShownText shown_narrow(const char *text, bool utf8) {
  if (text == nullptr) return ShownText();
  char16_t *wide = nullptr;
  const int rc = utf8 ? utf8_to_wide(text, &wide) : euckr_to_wide(text, &wide);
  if (rc == 0) return take_wide(wide);
  return raw_bytes(text, utf8 ? kCodePageUtf8 : kCodePageEucKr);
}

ShownText shown_setting(const char *text) { return shown_narrow(text, char_encoding_is_utf8()); }

uint16_t display_error_flags() { return language_is_korean() ? 0 : kErrFmtEnglish; }

ShownText context_detail(ERROR_CTX *ctx) {
  if (ctx == nullptr) return ShownText();
  const uint16_t flags = display_error_flags();
  if (const char16_t *wide = err_ctx_text_w(ctx, flags)) return shown_wide(wide);
  // A detail in the other encoding: the UTF-8 rendering keeps every byte, and the platform shows
  // what it can of it.
  if (const char *utf8 = err_ctx_format(ctx, flags | kErrFmtUtf8)) return raw_bytes(utf8, kCodePageUtf8);
  return ShownText();
}

ShownText code_detail(int code) { return take_wide(err_code_text_w(code, display_error_flags())); }

size_t utf16_cut(const std::u16string &text, size_t max_units) {
  if (text.size() <= max_units) return text.size();
  size_t n = max_units;
  // Never leave a high surrogate without its low half.
  if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  return n;
}

size_t narrow_cut(const std::string &text, size_t max_bytes, unsigned code_page) {
  if (text.size() <= max_bytes) return text.size();
  if (code_page == kCodePageUtf8) {
    size_t n = max_bytes;
    // Back off to the lead byte of the character that the cut falls in, and drop it too.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
  }
  // A double-byte code page: only a walk from the start tells lead bytes from trail bytes.
  size_t n = 0;
  while (n < text.size()) {
    const size_t width = static_cast<unsigned char>(text[n]) >= 0x81 ? 2 : 1;
    if (n + width > max_bytes) break;
    n += width;
  }
  return n;
}

ShownText detail_for_display(const ShownText &detail) {
  if (!detail.present) return detail;
  ShownText shown = detail;
  if (detail.wide) {
    shown.text = u"\r\n" + detail.text;
    shown.text.resize(utf16_cut(shown.text, kDetailWideCapacity - 1));
  } else {
    shown.narrow = "\r\n" + detail.narrow;
    shown.narrow.resize(narrow_cut(shown.narrow, kDetailNarrowCapacity - 1, detail.code_page));
  }
  return shown;
}

ErrorDlgTexts error_dialog_texts(const ShownText &summary, const ShownText &detail) {
  ErrorDlgTexts texts;
  texts.summary = summary;
  texts.detail = detail_for_display(detail);
  texts.english = !language_is_korean();
  return texts;
}

int pkcs12_password_result(const PromptEntry &entry, char *out, size_t out_capacity) {
  empty_out(out, out_capacity);
  if (entry.modal_result != 1) return kErrUserCancelled;
  if (entry.too_long) return kErrInvalidParameter;
  const char *text = entry.text != nullptr ? entry.text : "";
  const size_t length = std::strlen(text);
  if (length == 0) return -1;
  if (out == nullptr || length >= out_capacity) return kErrInvalidParameter;
  std::memcpy(out, text, length + 1);
  return 0;
}

int pin_result(const PromptEntry &entry, char *out, size_t out_capacity) {
  empty_out(out, out_capacity);
  if (entry.modal_result != 1) return kErrUserCancelled;
  const char *text = entry.text != nullptr ? entry.text : "";
  const size_t length = std::strlen(text);
  if (entry.too_long || out == nullptr || length >= out_capacity) return kErrInsufficientBuffer;
  std::memcpy(out, text, length + 1);
  return 0;
}

FileChooser file_chooser_for(int os_code) {
  return os_code < kOsVista ? FileChooser::kCommonDialog : FileChooser::kBroker;
}

int pkcs12_file_result(int chooser_rc, const char16_t *path, char *out, size_t out_capacity) {
  if (out == nullptr) return kErrInvalidParameter;
  empty_out(out, out_capacity);
  if (chooser_rc != 0) return chooser_rc;
  char *narrow = nullptr;
  if (path == nullptr || path[0] == 0 || wide_to_setting(path, &narrow) != 0) {
    std::free(narrow);
    return kErrWideToNarrow;
  }
  const size_t length = std::strlen(narrow);
  // A path cut short would name another file: refuse it.
  const int rc = length >= out_capacity ? int(kErrFilePathTooLong) : 0;
  if (rc == 0) std::memcpy(out, narrow, length + 1);
  std::free(narrow);
  return rc;
}

const char *install_page_for(const RelayRequestRecord *request, int kind) {
  if (request == nullptr) return nullptr;
  const char *page = nullptr;
  switch (kind) {
    case kInstallPagePhone:
      page = request_text(request->phone_install_url);
      break;
    case kInstallPageUsbKey:
      page = request_text(request->usbkey_install_url);
      break;
    case kInstallPageSecureDisk:
      page = request_text(request->secure_disk.install_url);
      break;
    default:
      return nullptr;
  }
  return page[0] != 0 ? page : nullptr;
}

namespace {

// The checks and the encoding of an address already converted to UTF-8.
int checked_address(const std::string &text, std::u16string *out) {
  const size_t scheme = starts_with_nocase(text, "https://") ? 8 : starts_with_nocase(text, "http://") ? 7 : 0;
  const size_t host_end = text.find_first_of("/?#", scheme);
  const size_t host_length = (host_end == std::string::npos ? text.size() : host_end) - scheme;
  if (scheme == 0 || host_length == 0) return kErrInvalidParameter;
  static const char kHex[] = "0123456789ABCDEF";
  std::u16string encoded;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return kErrInvalidParameter;
    if (is_unsafe_in_address(c)) {
      encoded += u'%';
      encoded += char16_t(kHex[c >> 4]);
      encoded += char16_t(kHex[c & 0xF]);
    } else {
      encoded += char16_t(c);
    }
  }
  *out = encoded;
  return 0;
}

// The address through wide text to UTF-8, from the encoding `to_wide` reads.
int converted_address(const char *address, int (*to_wide)(const char *, char16_t **), std::u16string *out) {
  if (out != nullptr) out->clear();
  if (address == nullptr || out == nullptr) return kErrInvalidParameter;
  char16_t *wide = nullptr;
  char *utf8 = nullptr;
  const bool converted = to_wide(address, &wide) == 0 && wide_to_utf8(wide, &utf8) == 0;
  std::free(wide);
  std::string text = converted ? utf8 : "";
  std::free(utf8);
  if (!converted) return kErrInvalidParameter;
  return checked_address(text, out);
}

}  // namespace

int page_address(const char *address, std::u16string *out) { return converted_address(address, euckr_to_wide, out); }

int link_address(const char *address, std::u16string *out) { return converted_address(address, setting_to_wide, out); }

}  // namespace dialogs
}  // namespace v7
