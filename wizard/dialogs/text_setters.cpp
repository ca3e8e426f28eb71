#include "wizard/dialogs/text_setters.h"

#include <richedit.h>

#include <cstring>
#include <cwchar>
#include <mutex>

#include "platform/ui/message_box.h"

namespace v7 {
namespace dialogs {
namespace {

// The bytes read in their code page without rejecting anything: the platform's own reading of a
// narrow text, which is all that can be shown of one that failed the strict conversion.
std::wstring lenient(const std::string &bytes, unsigned code_page) {
  if (bytes.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(code_page, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(size_t(n), L'\0');
  ::MultiByteToWideChar(code_page, 0, bytes.data(), int(bytes.size()), &wide[0], n);
  return wide;
}

struct StreamSource {
  const char *bytes;
  size_t left;
};

DWORD CALLBACK stream_out_of(DWORD_PTR cookie, LPBYTE buffer, LONG capacity, LONG *written) {
  auto *source = reinterpret_cast<StreamSource *>(cookie);
  const size_t n = source->left < size_t(capacity) ? source->left : size_t(capacity);
  std::memcpy(buffer, source->bytes, n);
  source->bytes += n;
  source->left -= n;
  *written = LONG(n);
  return 0;
}

}  // namespace

std::wstring screen_text(const ShownText &text) {
  if (!text.present) return std::wstring();
  if (text.wide) return std::wstring(text.text.begin(), text.text.end());
  return lenient(text.narrow, text.code_page);
}

std::wstring setting_screen_text(const char *text) { return screen_text(shown_setting(text)); }
std::wstring euckr_screen_text(const char *text) { return screen_text(shown_narrow(text, false)); }

BOOL SetItemText(HWND dialog, int id, const ShownText &text) {
  return ::SetDlgItemTextW(dialog, id, screen_text(text).c_str());
}

BOOL SetDlgItemTextSetting(HWND dialog, int id, const char *text) {
  return ::SetDlgItemTextW(dialog, id, setting_screen_text(text).c_str());
}

BOOL SetWindowTitleEuckr(HWND window, const char *text) {
  return ::SetWindowTextW(window, euckr_screen_text(text).c_str());
}

int MessageBoxSetting(const char *text) {
  const std::wstring wide = setting_screen_text(text);
  return message_box_w(reinterpret_cast<const char16_t *>(wide.c_str()), nullptr, MB_OK);
}

int MessageBoxEuckr(const char *text) {
  const std::wstring wide = euckr_screen_text(text);
  return message_box_w(reinterpret_cast<const char16_t *>(wide.c_str()), nullptr, MB_OK);
}

BOOL AppendMenuSetting(HMENU menu, UINT flags, UINT_PTR id, const char *text) {
  return ::AppendMenuW(menu, flags, id, setting_screen_text(text).c_str());
}

BOOL SetListViewItemTextSetting(HWND list, int item, int sub_item, const char *text) {
  std::wstring wide = setting_screen_text(text);
  LVITEMW lv{};
  lv.iSubItem = sub_item;
  lv.pszText = &wide[0];
  return ::SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(item), LPARAM(&lv)) != 0;
}

BOOL SetListViewItemSetting(HWND list, LVITEMW item, const char *text) {
  std::wstring wide = setting_screen_text(text);
  item.mask |= LVIF_TEXT;
  item.pszText = &wide[0];
  return ::SendMessageW(list, LVM_SETITEMW, 0, LPARAM(&item)) != 0;
}

BOOL SetRichEditPlainText(HWND rich_edit, const std::wstring &text) {
  // The text is streamed in as plain UTF-16: a rich edit reads a text set by WM_SETTEXT or
  // EM_SETTEXTEX as RTF when it begins with "{\rtf", and an error detail can hold anything a
  // peer sent.
  ::SendMessageW(rich_edit, WM_SETTEXT, 0, LPARAM(L""));
  ::SendMessageW(rich_edit, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
  StreamSource source{reinterpret_cast<const char *>(text.data()), text.size() * sizeof(wchar_t)};
  EDITSTREAM stream{};
  stream.dwCookie = DWORD_PTR(&source);
  stream.pfnCallback = stream_out_of;
  ::SendMessageW(rich_edit, EM_STREAMIN, SF_TEXT | SF_UNICODE, LPARAM(&stream));
  return stream.dwError == 0;
}

BOOL SetRichEditText(HWND rich_edit, const ShownText &text) {
  return SetRichEditPlainText(rich_edit, screen_text(text));
}

BOOL SetRichEditSetting(HWND rich_edit, const char *text) {
  return SetRichEditPlainText(rich_edit, setting_screen_text(text));
}

std::wstring GetRichEditText(HWND rich_edit) {
  GETTEXTLENGTHEX length{GTL_DEFAULT | GTL_NUMCHARS, 1200};
  const LRESULT n = ::SendMessageW(rich_edit, EM_GETTEXTLENGTHEX, WPARAM(&length), 0);
  if (n <= 0) return std::wstring();
  std::wstring text(size_t(n) + 1, L'\0');
  GETTEXTEX get{};
  get.cb = DWORD(text.size() * sizeof(wchar_t));
  get.flags = GT_DEFAULT;
  get.codepage = 1200;
  const LRESULT got = ::SendMessageW(rich_edit, EM_GETTEXTEX, WPARAM(&get), LPARAM(&text[0]));
  text.resize(got > 0 ? size_t(got) : 0);
  return text;
}

bool EnsureRichEdit() {
  static std::once_flag once;
  static HMODULE module = nullptr;
  std::call_once(once, [] {
    wchar_t path[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    static const wchar_t kName[] = L"\\RICHED20.DLL";
    if (n == 0 || n + sizeof kName / sizeof kName[0] > MAX_PATH) return;
    std::wcscpy(path + n, kName);
    module = ::LoadLibraryW(path);
  });
  return module != nullptr;
}

}  // namespace dialogs
}  // namespace v7
