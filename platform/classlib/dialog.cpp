#include "platform/classlib/dialog.h"

#include "platform/classlib/app.h"

namespace v7 {
namespace classlib {
namespace {

// Messages whose answer is the dialog procedure's own return value rather than DWLP_MSGRESULT.
bool returns_directly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
      return true;
    default:
      return false;
  }
}

}  // namespace

CDialog::~CDialog() {
  // A modeless dialog still on screen goes with its object; its procedure must not find a
  // freed object afterwards.
  if (m_hWnd != nullptr && Linked() && ::IsWindow(m_hWnd)) {
    HWND hwnd = m_hWnd;
    Unlink();
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    ::DestroyWindow(hwnd);
  }
}

BOOL CDialog::WalkPreTranslateTree(HWND top, MSG *msg) {
  for (HWND hwnd = msg->hwnd; hwnd != nullptr; hwnd = ::GetParent(hwnd)) {
    CWnd *object = FromHandlePermanent(hwnd);
    if (object != nullptr && object->PreTranslateMessage(msg)) return TRUE;
    if (hwnd == top) break;
  }
  return FALSE;
}

INT_PTR CDialog::DoModal(HWND owner) {
  if (owner == nullptr) owner = ::GetActiveWindow();
  if (owner != nullptr) owner = ::GetAncestor(owner, GA_ROOT);
  const bool disable_owner = owner != nullptr && ::IsWindowEnabled(owner);
  if (disable_owner) ::EnableWindow(owner, FALSE);

  modal_ = true;
  end_requested_ = false;
  result_ = -1;
  HWND hwnd = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), owner, DialogProc,
                                   LPARAM(this));
  if (hwnd != nullptr) {
    if (!end_requested_) ::ShowWindow(hwnd, SW_SHOWNORMAL);
    RunModalLoop(hwnd, [this] { return end_requested_; }, IsDialogMessageProc);
  }
  // The owner is enabled again before the dialog goes, so that Windows activates it and not
  // some other program's window.
  if (disable_owner) ::EnableWindow(owner, TRUE);
  if (hwnd != nullptr) {
    if (owner != nullptr && ::GetActiveWindow() == hwnd) ::SetActiveWindow(owner);
    ::DestroyWindow(hwnd);
  }
  modal_ = false;
  return result_;
}

bool CDialog::Create(HWND parent) {
  modal_ = false;
  HWND hwnd = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), parent, DialogProc,
                                   LPARAM(this));
  return hwnd != nullptr;
}

void CDialog::EndDialog(INT_PTR result) {
  if (modal_) {
    result_ = result;
    end_requested_ = true;
    // Wakes the loop if it is waiting for a message.
    if (m_hWnd != nullptr) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
  } else if (m_hWnd != nullptr) {
    ::DestroyWindow(m_hWnd);
  }
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL save) {
  CDataExchange dx(this, save);
  DoDataExchange(&dx);
  return dx.m_failed ? FALSE : TRUE;
}

bool CDialog::DefaultMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result) {
  switch (message) {
    case WM_INITDIALOG:
      result = OnInitDialog();
      return true;
    case WM_COMMAND:
      if (lparam == 0 || HIWORD(wparam) == BN_CLICKED) {
        if (LOWORD(wparam) == IDOK) {
          OnOK();
          return true;
        }
        if (LOWORD(wparam) == IDCANCEL) {
          OnCancel();
          return true;
        }
      }
      return false;
    default:
      return false;
  }
}

INT_PTR CDialog::HandleDialogMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  CDialog *self = reinterpret_cast<CDialog *>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog *>(lparam);
    if (self == nullptr) return FALSE;
    self->Attach(hwnd);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, LONG_PTR(self));
  }
  if (self == nullptr) return FALSE;

  LRESULT result = 0;
  bool handled = false;
  if (message == WM_NCDESTROY) {
    self->Unlink();
    self->m_hWnd = nullptr;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->OnFinalMessage(hwnd);
    return FALSE;
  }
  // WM_INITDIALOG always reaches OnInitDialog; the map sees everything else first.
  if (message != WM_INITDIALOG) handled = self->ProcessWindowMessage(hwnd, message, wparam, lparam, result);
  if (!handled) handled = self->DefaultMessage(message, wparam, lparam, result);
  if (!handled) return FALSE;
  if (returns_directly(message)) return INT_PTR(result);
  ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, LONG_PTR(result));
  return TRUE;
}

// An exception must not unwind through the system's frames (user32 has no idea of C++ unwinding):
// a handler that throws leaves its message unhandled, and the dialog goes on.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  try {
    return HandleDialogMessage(hwnd, message, wparam, lparam);
  } catch (...) {
    return FALSE;
  }
}

}  // namespace classlib
}  // namespace v7
