// How a prompt reads its keyboard-protected edit: one narrow interface over the keyboard-security
// wrapper, so the password and PIN prompts do not depend on how the wrapper is built. The
// prompts call Protect in OnInitDialog, Read on OK and Release on WM_DESTROY.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

namespace v7 {
namespace dialogs {

class ProtectedEdit {
 public:
  virtual ~ProtectedEdit() = default;
  // Prepares protection for this thread and registers the edit.
  virtual void Protect(HWND edit) = 0;
  // Reads the edit into buf (capacity bytes, terminator included) in the setting's encoding:
  // 0, or kErrInsufficientBuffer when the text does not fit (buf is then empty, never cut). When
  // the protection has failed the text is empty.
  virtual int Read(HWND edit, char *buf, size_t capacity) = 0;
  // Ends protection of the edit.
  virtual void Release() = 0;
};

// The reader the prompts use; test code may swap the factory (null restores the built-in one,
// which reads the window's own text).
using ProtectedEditFactory = std::unique_ptr<ProtectedEdit> (*)();
std::unique_ptr<ProtectedEdit> make_protected_edit();
void set_protected_edit_factory(ProtectedEditFactory factory);

// The window's own text in the setting's encoding into buf, with Read's results.
int read_window_text(HWND edit, char *buf, size_t capacity);

}  // namespace dialogs
}  // namespace v7
