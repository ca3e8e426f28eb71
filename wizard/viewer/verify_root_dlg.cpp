#include "wizard/viewer/verify_root_dlg.h"

#include <commctrl.h>

#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "v7config/deployment.h"
#include "wizard/certview/viewer_tables.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace viewer {

const char kRootFingerprintPage[] = V7_ROOT_FINGERPRINT_PAGE;

namespace {

// The fingerprints are for reading and copying: every key but the dialog's own is dropped.
LRESULT CALLBACK ReadOnlyKeys(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if ((message == WM_KEYDOWN || message == WM_CHAR) && wparam != VK_TAB && wparam != VK_ESCAPE &&
      wparam != VK_RETURN) {
    return 0;
  }
  return ::DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace

CVerifyRootDlg::CVerifyRootDlg() : CDialog(IDD) {
  const std::u16string text = certview::builtin_root_fingerprint_text();
  fingerprints_.assign(text.begin(), text.end());
}

BOOL CVerifyRootDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!language_is_korean()) {
    SetWindowText(L"Trusted root certificate");
    SetDlgItemText(IDC_ROOT_INTRO, classlib::LoadText(IDS_ROOT_HASH_INTRO_EN).c_str());
    SetDlgItemText(IDC_ROOT_HOWTO, classlib::LoadText(IDS_ROOT_VERIFY_HOWTO_EN).c_str());
    SetDlgItemText(IDC_ROOT_MISMATCH, classlib::LoadText(IDS_ROOT_MISMATCH_EN).c_str());
    SetDlgItemText(IDC_ROOT_SITE, classlib::LoadText(IDS_ROOT_VISIT_SITE_EN).c_str());
  }
  SetDlgItemText(IDC_ROOT_FINGERPRINTS, fingerprints_.c_str());
  ::SetWindowSubclass(Item(IDC_ROOT_FINGERPRINTS), ReadOnlyKeys, 1, 0);
  GetDlgItem(IDOK).ShowWindow(SW_HIDE);
  GetDlgItem(IDCANCEL).ShowWindow(SW_HIDE);
  GetDlgItem(IDC_ROOT_MISMATCH).ShowWindow(SW_HIDE);
  RECT rect;
  GetWindowRect(&rect);
  SetWindowPos(nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top - 30, SWP_NOMOVE | SWP_NOZORDER);
  CenterWindow();
  // Centred over a narrower sheet it may stick out of the screen: keep it whole on the work area.
  RECT area, placed;
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  GetWindowRect(&placed);
  const int x = placed.left < area.left     ? area.left
                : placed.right > area.right ? area.right - (placed.right - placed.left)
                                            : placed.left;
  const int y = placed.top < area.top         ? area.top
                : placed.bottom > area.bottom ? area.bottom - (placed.bottom - placed.top)
                                              : placed.top;
  SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  // The focus on the site button: in the edit it would select the whole text.
  GetDlgItem(IDC_ROOT_SITE).SetFocus();
  return FALSE;
}

void CVerifyRootDlg::OnSite() { dialogs::open_link(kRootFingerprintPage); }

}  // namespace viewer
}  // namespace v7
