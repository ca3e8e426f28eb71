// The error dialog's entry points, exported by the library (ordinals 100 to 105, stdcall) and
// used inside it, and the two error reports built on them. Each export returns the dialog's
// modal result. Narrow summaries are EUC-KR; the texts of a context or a code come in the
// user's language (Korean when LanguageId is 18, else English).
#pragma once

#include <windows.h>

struct ERROR_CTX;

extern "C" {
// Detail: the context's text; none for a null context.
int __stdcall show_error_dlg(ERROR_CTX *ctx, const char *summary);
int __stdcall show_error_dlg_w(ERROR_CTX *ctx, const wchar_t *summary);
// Detail: narrow text in the encoding CharEncodingMode names.
int __stdcall show_error_dlg_with_msg(const char *detail, const char *summary);
int __stdcall show_error_dlg_with_msg_w(const wchar_t *detail, const wchar_t *summary);
// Detail: the code's message (the empty text for a code without one).
int __stdcall show_error_dlg_with_rc(int code, const char *summary);
int __stdcall show_error_dlg_with_rc_w(int code, const wchar_t *summary);
}

namespace v7 {
namespace dialogs {

// The code's text in a plain box over the active window: no caption, OK.
void ShowErrorByCode(int code);
// The error dialog for a failure of the secure disk.
int ShowSecureDiskError(ERROR_CTX *ctx);

}  // namespace dialogs
}  // namespace v7
