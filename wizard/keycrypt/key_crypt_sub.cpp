#include "wizard/keycrypt/key_crypt_sub.h"

#include "crypto/base/wipe.h"
#include "pki/text/codepage.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "wizard/keycrypt/keycrypt_rules.h"

namespace v7 {
namespace keycrypt {
namespace {

// Wipes the string's whole buffer, not only its current length: a shorter later text must not
// leave the tail of an earlier one behind.
void wipe_string(std::wstring &text) {
  text.resize(text.capacity());
  secure_wipe(&text[0], text.size() * sizeof(wchar_t));
  text.clear();
}

}  // namespace

CKeyCryptSub::CKeyCryptSub() { last_text_.reserve(kKeyCryptTextCapacity); }

CKeyCryptSub::~CKeyCryptSub() { wipe_string(last_text_); }

int CKeyCryptSub::GetTextW(HWND window, wchar_t *buffer, int count) {
  int code = 0;
  return ReadTextW(window, buffer, count, &code);
}

int CKeyCryptSub::ReadInto(HWND window, wchar_t *buffer, int count) {
  int code = 0;
  ReadTextW(window, buffer, count, &code);
  return code;
}

std::wstring CKeyCryptSub::GetText(HWND window) {
  wchar_t local[kKeyCryptTextCapacity] = {};
  int code = 0;
  ReadTextW(window, local, int(kKeyCryptTextCapacity), &code);
  wipe_string(last_text_);
  last_text_.assign(local);
  secure_wipe(local, sizeof local);
  return last_text_;
}

int CKeyCryptSub::GetTextA(HWND window, char *buffer, size_t size) {
  if (buffer == nullptr || size == 0) return kErrInvalidParameter;
  wchar_t local[kKeyCryptTextCapacity] = {};
  int code = 0;
  ReadTextW(window, local, int(kKeyCryptTextCapacity), &code);
  if (code == 0) {
    const char16_t *wide = reinterpret_cast<const char16_t *>(local);
    code = char_encoding_is_utf8() ? wide_to_utf8_buf(wide, buffer, size) : wide_to_euckr_buf(wide, buffer, size);
  }
  if (code != 0) secure_wipe(buffer, size);
  secure_wipe(local, sizeof local);
  return code;
}

int CKeyCryptSub_NONE::ReadTextW(HWND window, wchar_t *buffer, int count, int *code) {
  *code = 0;
  if (count <= 0 || buffer == nullptr) return 0;
  buffer[0] = 0;
  // GetWindowTextW cuts a long text to the buffer; a cut text is refused instead.
  int length = ::GetWindowTextLengthW(window);
  if (!wide_text_fits(size_t(length < 0 ? 0 : length), size_t(count))) {
    *code = kErrInsufficientBuffer;
    return 0;
  }
  int read = ::GetWindowTextW(window, buffer, count);
  if (read >= count - 1 && read != length) {
    secure_wipe(buffer, size_t(count) * sizeof(wchar_t));
    *code = kErrInsufficientBuffer;
    return 0;
  }
  return read;
}

}  // namespace keycrypt
}  // namespace v7
