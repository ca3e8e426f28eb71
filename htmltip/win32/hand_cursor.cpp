#include "htmltip/win32/hand_cursor.h"

#include <string>

#include "htmltip/win32/internal.h"

namespace v7::htmltip::win32 {
namespace {

constexpr WORD kHelpHandCursor = 106;

}  // namespace

HtmlHandCursor::HtmlHandCursor() {
  cursor_ = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));  // IDC_HAND, shared: never destroyed
  if (cursor_ != nullptr) return;
  wchar_t folder[MAX_PATH];
  const UINT n = ::GetWindowsDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  std::wstring path(folder, n);
  path += L"\\winhlp32.exe";
  cursor_ = LoadFromModule(path.c_str());
  owned_ = cursor_ != nullptr;
}

HtmlHandCursor::~HtmlHandCursor() {
  if (owned_) ::DestroyCursor(cursor_);
}

bool HtmlHandCursor::Show() const {
  if (cursor_ == nullptr) return false;
  ::SetCursor(cursor_);
  return true;
}

HCURSOR HtmlHandCursor::LoadFromModule(const wchar_t *path) {
  // Only the resources are read: the program is never started.
  HMODULE module = internal::MapResourceModule(path);
  if (module == nullptr) return nullptr;
  // Not shared: the cursor is made from the resource's bytes and outlives the mapping.
  HANDLE cursor = ::LoadImageW(module, MAKEINTRESOURCEW(kHelpHandCursor), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE);
  ::FreeLibrary(module);
  return static_cast<HCURSOR>(cursor);
}

}  // namespace v7::htmltip::win32
