// Narrow program texts onto the screen in their own encoding. Every setter converts the text to
// wide by the encoding it is in and uses the wide call; a text that does not convert is read
// leniently in its own code page (what a narrow call would show on a system of that code page),
// never handed over as bytes of another encoding. Rich edits take plain text only: nothing a peer
// sent is ever read as RTF.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "wizard/dialogs/dialog_logic.h"

namespace v7 {
namespace dialogs {

// The wide form of a shown text (empty when absent).
std::wstring screen_text(const ShownText &text);
// A narrow text in the setting's encoding (CharEncodingMode), or in EUC-KR, as wide screen text.
std::wstring setting_screen_text(const char *text);
std::wstring euckr_screen_text(const char *text);

// A dialog item's text.
BOOL SetItemText(HWND dialog, int id, const ShownText &text);
BOOL SetDlgItemTextSetting(HWND dialog, int id, const char *text);
// A window's title from EUC-KR text.
BOOL SetWindowTitleEuckr(HWND window, const char *text);
// A plain box over the active window, no caption, OK only; the text in the setting's encoding or
// in EUC-KR.
int MessageBoxSetting(const char *text);
int MessageBoxEuckr(const char *text);
// Appends a menu item.
BOOL AppendMenuSetting(HMENU menu, UINT flags, UINT_PTR id, const char *text);
// A list-view item's (or sub-item's) text.
BOOL SetListViewItemTextSetting(HWND list, int item, int sub_item, const char *text);
// A whole list-view item: item's fields as given, its text from text.
BOOL SetListViewItemSetting(HWND list, LVITEMW item, const char *text);

// A rich edit's whole text, as plain UTF-16 text (streamed in as text, never as RTF).
BOOL SetRichEditPlainText(HWND rich_edit, const std::wstring &text);
BOOL SetRichEditText(HWND rich_edit, const ShownText &text);
// The certificate viewer's rich edit from a narrow text in the setting's encoding.
BOOL SetRichEditSetting(HWND rich_edit, const char *text);
// The rich edit's whole text as the user sees it.
std::wstring GetRichEditText(HWND rich_edit);

// Loads the rich-edit library (RichEdit20W) from the system folder, once per process; false
// when it is not there.
bool EnsureRichEdit();

}  // namespace dialogs
}  // namespace v7
