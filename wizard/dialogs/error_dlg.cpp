#include "wizard/dialogs/error_dlg.h"

#include "platform/classlib/app.h"
#include "wizard/dialogs/text_setters.h"

namespace v7 {
namespace dialogs {

CErrorDlg::~CErrorDlg() {
  if (icon_handle_ != nullptr) ::DestroyIcon(icon_handle_);
}

void CErrorDlg::SetTexts(const ShownText &summary, const ShownText &detail) {
  summary_ = summary;
  detail_ = detail;
  narrow_mode_ = ((summary.present && !summary.wide) || (detail.present && !detail.wide)) ? 1 : 0;
}

BOOL CErrorDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  icon_ = GetDlgItem(IDC_ERROR_ICON);
  icon_handle_ = static_cast<HICON>(
      ::LoadImageW(classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_ERROR_DLG), IMAGE_ICON, 16, 16, 0));
  if (icon_handle_ != nullptr) icon_.Send(STM_SETICON, WPARAM(icon_handle_));

  const ErrorDlgTexts texts = error_dialog_texts(summary_, detail_);
  if (texts.summary.present && !texts.summary.empty()) SetItemText(m_hWnd, IDC_ERROR_SUMMARY, texts.summary);
  if (texts.detail.present) SetRichEditText(Item(IDC_ERROR_DETAIL), texts.detail);
  if (texts.english) {
    SetDlgItemText(IDOK, reinterpret_cast<const wchar_t *>(kOkEnglish));
    SetWindowText(reinterpret_cast<const wchar_t *>(kErrorCaptionEnglish));
  }
  // The focus goes to OK, so the detail is not shown selected.
  ::SetFocus(Item(IDOK));
  return FALSE;
}

int RunErrorDialog(const ShownText &summary, const ShownText &detail) {
  EnsureRichEdit();
  CErrorDlg dialog;
  dialog.SetTexts(summary, detail);
  return int(dialog.DoModal());
}

}  // namespace dialogs
}  // namespace v7
