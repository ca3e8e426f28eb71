#include "wizard/dialogs/status_dlg.h"

#include "platform/classlib/app.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace dialogs {
namespace {

const COLORREF kBackground = RGB(0xC0, 0xC0, 0xC0);
}  // namespace

CStatusDlg::CStatusDlg(UINT template_id, int text_id)
    : CDialog(template_id), text_id_(text_id), brush_(::CreateSolidBrush(kBackground)) {}

CStatusDlg::~CStatusDlg() {
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) DestroyWindow();
  if (brush_ != nullptr) ::DeleteObject(brush_);
}

bool CStatusDlg::Show(HWND parent) {
  if (!Create(parent)) return false;
  ShowWindow(SW_SHOW);
  // The caller's work holds the message loop until it ends: paint now or never.
  UpdateWindow();
  return true;
}

BOOL CStatusDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(text_id_, text_.c_str());
  CenterWindow();
  return TRUE;
}

HBRUSH CStatusDlg::OnCtlColorEdit(HDC dc, HWND) {
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::SetBkColor(dc, RGB(0xFF, 0xFF, 0xFF));
  return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}

HBRUSH CStatusDlg::OnCtlColorStatic(HDC dc, HWND) {
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::SetBkColor(dc, kBackground);
  return brush_;
}

HBRUSH CStatusDlg::OnCtlColorDlg(HDC, HWND) { return brush_; }

CStatus2Dlg::CStatus2Dlg() : CStatusDlg(IDD, IDC_STATUS2_TEXT) { SetStatusText(classlib::LoadPairText(IDS_STORING_CERTIFICATE)); }

}  // namespace dialogs
}  // namespace v7
