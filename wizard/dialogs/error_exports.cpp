#include "wizard/dialogs/error_exports.h"

#include "pki/errors/error_ctx.h"
#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "wizard/dialogs/dialog_logic.h"
#include "wizard/dialogs/error_dlg.h"

using v7::dialogs::RunErrorDialog;
using v7::dialogs::ShownText;

namespace {

ShownText wide_text(const wchar_t *text) { return v7::dialogs::shown_wide(reinterpret_cast<const char16_t *>(text)); }
ShownText euckr_text(const char *text) { return v7::dialogs::shown_narrow(text, false); }

}  // namespace

int __stdcall show_error_dlg(ERROR_CTX *ctx, const char *summary) {
  AFX_MANAGE_STATE_FOR_MODULE();
  return RunErrorDialog(euckr_text(summary), v7::dialogs::context_detail(ctx));
}

int __stdcall show_error_dlg_w(ERROR_CTX *ctx, const wchar_t *summary) {
  AFX_MANAGE_STATE_FOR_MODULE();
  return RunErrorDialog(wide_text(summary), v7::dialogs::context_detail(ctx));
}

int __stdcall show_error_dlg_with_msg(const char *detail, const char *summary) {
  AFX_MANAGE_STATE_FOR_MODULE();
  return RunErrorDialog(euckr_text(summary), v7::dialogs::shown_setting(detail));
}

int __stdcall show_error_dlg_with_msg_w(const wchar_t *detail, const wchar_t *summary) {
  AFX_MANAGE_STATE_FOR_MODULE();
  return RunErrorDialog(wide_text(summary), wide_text(detail));
}

int __stdcall show_error_dlg_with_rc(int code, const char *summary) {
  AFX_MANAGE_STATE_FOR_MODULE();
  return RunErrorDialog(euckr_text(summary), v7::dialogs::code_detail(code));
}

int __stdcall show_error_dlg_with_rc_w(int code, const wchar_t *summary) {
  AFX_MANAGE_STATE_FOR_MODULE();
  return RunErrorDialog(wide_text(summary), v7::dialogs::code_detail(code));
}

namespace v7 {
namespace dialogs {

void ShowErrorByCode(int code) {
  ERROR_CTX ctx{};
  if (err_push(&ctx, code, nullptr) == 0) {
    const char16_t *text = err_ctx_text_w(&ctx, display_error_flags());
    message_box_w(text != nullptr ? text : u"", nullptr, MB_OK);
  }
  err_ctx_clear(&ctx);
}

int ShowSecureDiskError(ERROR_CTX *ctx) {
  return show_error_dlg_w(ctx, language_is_korean() ? L"안전디스크 오류" : L"Secure Disk Error");
}

}  // namespace dialogs
}  // namespace v7
