#include "uninstall/uninstall_dlg.h"

#include <shellapi.h>

#include "platform/classlib/app.h"
#include "platform/osver/os_version_query.h"
#include "uninstall/about_dlg.h"
#include "uninstall/res/string_ids.h"
#include "v7config/deployment.h"

namespace v7 {
namespace uninstall {

namespace {

const wchar_t *W(const std::u16string &text) { return reinterpret_cast<const wchar_t *>(text.c_str()); }

const int kStepIcons[] = {IDC_STEP_CACHE_ICON, IDC_STEP_MODULES_ICON, IDC_STEP_ACTIVEX_ICON,
                          IDC_STEP_OTHER_ICON};

void OpenHomePage(HWND owner) {
  // The address is a build value (checked to be http or https when the build is configured).
  ::ShellExecuteW(owner, L"Open", L"iexplore.exe", L"" V7_MAKER_HOME_PAGE, nullptr, SW_SHOWNORMAL);
}

}  // namespace

HICON CUninstallDlg::Icon(UINT id, int size) const {
  return HICON(::LoadImageW(classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size,
                            LR_SHARED));
}

BOOL CUninstallDlg::OnInitDialog() {
  // The base initialisation shows the status field's text: the opening line, not an empty one,
  // stands over the questions that come first.
  status_ = classlib::LoadText(IDS_STATUS_START);
  CDialog::OnInitDialog();
  std::wstring about = classlib::LoadText(IDS_ABOUTBOX);
  HMENU system_menu = ::GetSystemMenu(m_hWnd, FALSE);
  if (system_menu != nullptr && !about.empty()) {
    ::AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(system_menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
  }
  app_icon_ = Icon(IDR_MAINFRAME, 32);
  Send(WM_SETICON, ICON_BIG, LPARAM(app_icon_));
  Send(WM_SETICON, ICON_SMALL, LPARAM(Icon(IDR_MAINFRAME, 16)));

  HBITMAP banner = HBITMAP(::LoadImageW(classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(IDB_BANNER),
                                        IMAGE_BITMAP, 0, 0, LR_SHARED));
  if (banner != nullptr) {
    SendDlgItemMessage(IDC_BANNER, BM_SETIMAGE, IMAGE_BITMAP, LPARAM(banner));
    BITMAP size{};
    ::GetObjectW(banner, sizeof size, &size);
    ::SetWindowPos(Item(IDC_BANNER), nullptr, 0, 0, size.bmWidth, size.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
  }
  for (int id : kStepIcons) ::ShowWindow(Item(id), SW_HIDE);
  SetWindowText(classlib::LoadText(IDS_DIALOG_CAPTION).c_str());

  OsVersionRecord version{};
  if (!platform_query_os_version(&version)) {
    status_ = classlib::LoadText(IDS_VERSION_FAILED);
    UpdateData(FALSE);
    // Nothing is removed; the user can still close the window.
    ::EnableWindow(Item(IDOK), TRUE);
    return TRUE;
  }
  lists_ = BuildFileLists(version.platform_id);
  CenterWindow();
  ShowWindow(SW_SHOW);
  Post(kRunRemoval);
  return TRUE;
}

void CUninstallDlg::DoDataExchange(classlib::CDataExchange *dx) {
  classlib::DDX_Text(dx, IDC_STATUS, status_);
}

LRESULT CUninstallDlg::OnRunRemoval(WPARAM, LPARAM) {
  RemovalEngine engine(*this, lists_);
  outcome_ = engine.Run();
  if (outcome_ == RemovalOutcome::kDeclined) {
    EndDialog(IDCANCEL);
    return 0;
  }
  ::EnableWindow(Item(IDOK), TRUE);
  if (outcome_ == RemovalOutcome::kCompleted) ::EnableWindow(Item(IDC_SHORTCUT), TRUE);
  return 0;
}

void CUninstallDlg::Inform(const std::u16string &text) {
  ::MessageBoxW(m_hWnd, W(text), classlib::LoadText(IDS_MESSAGE_CAPTION).c_str(), MB_OK);
}

bool CUninstallDlg::AskYesNo(const std::u16string &text) {
  return ::MessageBoxW(m_hWnd, W(text), classlib::LoadText(IDS_MESSAGE_CAPTION).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CUninstallDlg::ShowStatus(const std::u16string &status) {
  status_.assign(W(status));
  UpdateData(FALSE);
  ::UpdateWindow(Item(IDC_STATUS));
}

void CUninstallDlg::ShowStep(int step, bool done) {
  if (step < 1 || step > 4) return;
  HWND icon = Item(kStepIcons[step - 1]);
  ::SendMessageW(icon, STM_SETICON, WPARAM(Icon(done ? IDI_STEP_DONE : IDI_STEP_FAILED, 16)), 0);
  ::ShowWindow(icon, SW_SHOW);
  ::UpdateWindow(icon);
  if (step == 4) other_step_done_ = done;
}

void CUninstallDlg::SetBusy(bool busy) {
  busy_ = busy;
  ::SetCursor(::LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

LRESULT CUninstallDlg::OnSysCommand(WPARAM command, LPARAM) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal(m_hWnd);
    return 0;
  }
  SetMsgHandled(false);
  return 0;
}

LRESULT CUninstallDlg::OnPaint(WPARAM, LPARAM) {
  if (!::IsIconic(m_hWnd)) {
    SetMsgHandled(false);
    return 0;
  }
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  RECT client;
  GetClientRect(&client);
  int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, app_icon_);
  ::EndPaint(m_hWnd, &paint);
  return 0;
}

LRESULT CUninstallDlg::OnQueryDragIcon(WPARAM, LPARAM) { return LRESULT(app_icon_); }

LRESULT CUninstallDlg::OnSetCursor(WPARAM window, LPARAM) {
  HCURSOR cursor = nullptr;
  if (busy_) {
    cursor = ::LoadCursorA(nullptr, IDC_WAIT);
  } else if (HWND(window) == Item(IDC_BANNER)) {
    cursor = HCURSOR(::LoadImageW(classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_HAND_CURSOR),
                                  IMAGE_CURSOR, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
  }
  if (cursor == nullptr) {
    SetMsgHandled(false);
    return 0;
  }
  ::SetCursor(cursor);
  return TRUE;
}

void CUninstallDlg::OnBanner() { OpenHomePage(m_hWnd); }

void CUninstallDlg::OnShortcut() {
  if (!other_step_done_) return;
  OpenHomePage(m_hWnd);
  EndDialog(IDOK);
}

}  // namespace uninstall
}  // namespace v7
