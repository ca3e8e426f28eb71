#include "platform/classlib/window.h"

#include <commctrl.h>

#include <vector>

namespace v7 {
namespace classlib {
namespace {

// The one window-to-object link: a property, so that any window kind (dialog, page, sheet,
// subclassed control) is found the same way.
const wchar_t kObjectProperty[] = L"v7.classlib.object";
constexpr UINT_PTR kSubclassId = 0x76370001;

}  // namespace

CWnd::~CWnd() {
  if (subclassed_) UnsubclassWindow();
  if (linked_) Unlink();
}

std::wstring CWnd::GetWindowText() const {
  int length = ::GetWindowTextLengthW(m_hWnd);
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> text(size_t(length) + 1, 0);
  int got = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
  return std::wstring(text.data(), got > 0 ? size_t(got) : 0);
}

void CWnd::CenterWindow(HWND over) {
  if (over == nullptr) over = ::GetWindow(m_hWnd, GW_OWNER);
  RECT area, self;
  if (over != nullptr && ::IsWindowVisible(over) && !::IsIconic(over)) {
    ::GetWindowRect(over, &area);
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  ::GetWindowRect(m_hWnd, &self);
  int width = self.right - self.left, height = self.bottom - self.top;
  int x = area.left + ((area.right - area.left) - width) / 2;
  int y = area.top + ((area.bottom - area.top) - height) / 2;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CWnd *CWnd::FromHandlePermanent(HWND hwnd) {
  return hwnd != nullptr ? static_cast<CWnd *>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
}

void CWnd::Link(HWND hwnd) {
  m_hWnd = hwnd;
  ::SetPropW(hwnd, kObjectProperty, this);
  linked_ = true;
}

void CWnd::Unlink() {
  if (linked_ && m_hWnd != nullptr && ::GetPropW(m_hWnd, kObjectProperty) == this)
    ::RemovePropW(m_hWnd, kObjectProperty);
  linked_ = false;
}

bool CWnd::SubclassWindow(HWND hwnd) {
  if (hwnd == nullptr || linked_ || FromHandlePermanent(hwnd) != nullptr) return false;
  if (!::SetWindowSubclass(hwnd, SubclassProc, kSubclassId, DWORD_PTR(this))) return false;
  Link(hwnd);
  subclassed_ = true;
  return true;
}

HWND CWnd::UnsubclassWindow() {
  if (!subclassed_) return nullptr;
  HWND hwnd = m_hWnd;
  ::RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
  subclassed_ = false;
  Unlink();
  m_hWnd = nullptr;
  return hwnd;
}

// As in the dialog procedure: no exception unwinds through the system's frames; a handler that
// throws leaves its message to the window's own procedure.
LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                    DWORD_PTR ref) {
  try {
    return HandleSubclassedMessage(hwnd, message, wparam, lparam, reinterpret_cast<CWnd *>(ref));
  } catch (...) {
    return message == WM_NCDESTROY ? 0 : ::DefSubclassProc(hwnd, message, wparam, lparam);
  }
}

LRESULT CWnd::HandleSubclassedMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, CWnd *self) {
  LRESULT result = 0;
  if (message != WM_NCDESTROY && self->ProcessWindowMessage(hwnd, message, wparam, lparam, result)) return result;
  if (message == WM_NCDESTROY) {
    // The window is going: the object lets go of it before anything else can reach it.
    ::RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
    self->subclassed_ = false;
    self->Unlink();
    self->m_hWnd = nullptr;
    result = ::DefSubclassProc(hwnd, message, wparam, lparam);
    self->OnFinalMessage(hwnd);
    return result;
  }
  return ::DefSubclassProc(hwnd, message, wparam, lparam);
}

bool ReflectNotifications(HWND parent, UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result) {
  HWND child = nullptr;
  switch (message) {
    case WM_COMMAND:
      if (lparam != 0) child = HWND(lparam);
      break;
    case WM_NOTIFY:
      child = reinterpret_cast<NMHDR *>(lparam)->hwndFrom;
      break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      child = HWND(lparam);
      break;
    case WM_DRAWITEM:
      if (wparam != 0) child = reinterpret_cast<DRAWITEMSTRUCT *>(lparam)->hwndItem;
      break;
    default:
      return false;
  }
  if (child == nullptr || child == parent) return false;
  CWnd *object = CWnd::FromHandlePermanent(child);
  return object != nullptr && object->ProcessWindowMessage(child, OCM_BASE + message, wparam, lparam, result);
}

}  // namespace classlib
}  // namespace v7
