#include "wizard/dialogs/protected_edit.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/base/wipe.h"
#include "pki/text/codepage.h"
#include "pki/text/strings.h"
#include "platform/errors/error_codes.h"

namespace v7 {
namespace dialogs {
namespace {

std::atomic<ProtectedEditFactory> g_factory{nullptr};

// Until the keyboard-security wrapper reads the edits, the prompts read the window text.
class WindowTextEdit : public ProtectedEdit {
 public:
  void Protect(HWND) override {}
  int Read(HWND edit, char *buf, size_t capacity) override { return read_window_text(edit, buf, capacity); }
  void Release() override {}
};

}  // namespace

int read_window_text(HWND edit, char *buf, size_t capacity) {
  if (buf == nullptr || capacity == 0) return kErrInvalidParameter;
  secure_wipe(buf, capacity);
  const int length = ::GetWindowTextLengthW(edit);
  if (length <= 0) return 0;
  std::vector<wchar_t> wide(size_t(length) + 1, L'\0');
  ::GetWindowTextW(edit, wide.data(), length + 1);
  char *narrow = nullptr;
  int rc = wide_to_setting(reinterpret_cast<const char16_t *>(wide.data()), &narrow);
  secure_wipe(wide.data(), wide.size() * sizeof(wchar_t));
  if (rc == 0) {
    const size_t n = std::strlen(narrow);
    if (n < capacity) {
      std::memcpy(buf, narrow, n + 1);
    } else {
      rc = kErrInsufficientBuffer;
    }
  }
  str_wipe_free(narrow);
  return rc;
}

std::unique_ptr<ProtectedEdit> make_protected_edit() {
  if (ProtectedEditFactory factory = g_factory.load()) return factory();
  return std::unique_ptr<ProtectedEdit>(new WindowTextEdit);
}

void set_protected_edit_factory(ProtectedEditFactory factory) { g_factory.store(factory); }

}  // namespace dialogs
}  // namespace v7
