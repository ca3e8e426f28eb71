// A window object is a thin value around its HWND: the calls below map one to one onto Win32 and
// keep no state beside what Windows keeps. A window that has a message map is linked to its
// object (one window property), so that messages, reflected notifications and the
// PreTranslateMessage chain find it; copying a CWnd copies the handle only, never the link.
#pragma once

#include <windows.h>

#include <string>

namespace v7 {
namespace classlib {

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
  CWnd(const CWnd &other) : m_hWnd(other.m_hWnd) {}
  CWnd &operator=(const CWnd &other) {
    if (!linked_) m_hWnd = other.m_hWnd;
    return *this;
  }
  virtual ~CWnd();

  operator HWND() const { return m_hWnd; }

  HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
  CWnd GetDlgItem(int id) const { return CWnd(Item(id)); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  CWnd GetParent() const { return CWnd(::GetParent(m_hWnd)); }

  BOOL SetWindowText(const wchar_t *text) { return ::SetWindowTextW(m_hWnd, text); }
  std::wstring GetWindowText() const;
  BOOL SetDlgItemText(int id, const wchar_t *text) { return ::SetDlgItemTextW(m_hWnd, id, text); }
  std::wstring GetDlgItemText(int id) const { return CWnd(Item(id)).GetWindowText(); }
  BOOL CheckDlgButton(int id, UINT state) { return ::CheckDlgButton(m_hWnd, id, state); }
  UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }

  BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
  BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
  BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
  HWND SetFocus() { return ::SetFocus(m_hWnd); }
  BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
  BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
    return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
  }
  BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
  }
  BOOL GetClientRect(RECT *rect) const { return ::GetClientRect(m_hWnd, rect); }
  BOOL GetWindowRect(RECT *rect) const { return ::GetWindowRect(m_hWnd, rect); }
  // Centres the window on `over` (its owner when null, else the work area).
  void CenterWindow(HWND over = nullptr);
  void SetFont(HFONT font, BOOL redraw = TRUE) { Send(WM_SETFONT, WPARAM(font), redraw); }
  UINT_PTR SetTimer(UINT_PTR id, UINT ms) { return ::SetTimer(m_hWnd, id, ms, nullptr); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

  LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
    return ::SendMessageW(m_hWnd, message, wparam, lparam);
  }
  BOOL Post(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
    return ::PostMessageW(m_hWnd, message, wparam, lparam);
  }
  LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
    return ::SendDlgItemMessageW(m_hWnd, id, message, wparam, lparam);
  }

  // The message map (BEGIN_MSG_MAP): true when the message was handled, with its result.
  virtual bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result) {
    return false;
  }
  // Offered every message of a modal loop before the dialog manager sees it, from the target
  // window up to the loop's top window; TRUE swallows the message.
  virtual BOOL PreTranslateMessage(MSG *msg) { return FALSE; }

  // The object linked to hwnd, or null.
  static CWnd *FromHandlePermanent(HWND hwnd);

  // Routes an existing window's messages through this object's map first. False when the
  // object already has a window or the platform refuses.
  bool SubclassWindow(HWND hwnd);
  bool SubclassDlgItem(int id, HWND parent) { return SubclassWindow(::GetDlgItem(parent, id)); }
  // Gives the window back its own procedure and forgets it.
  HWND UnsubclassWindow();

  // Inside a handler of the map: false passes the message on as if the entry were not there.
  void SetMsgHandled(bool handled) { msg_handled_ = handled; }
  bool IsMsgHandled() const { return msg_handled_; }

  HWND m_hWnd = nullptr;

 protected:
  // Links or unlinks the object and its window (the window property). Dialogs link themselves.
  void Link(HWND hwnd);
  void Unlink();
  bool Linked() const { return linked_; }
  // Called after the window's last message (WM_NCDESTROY), once the link is gone.
  virtual void OnFinalMessage(HWND hwnd) {}

  // Saves and restores the handled flag around one map walk, so a nested message does not
  // change the answer of the one that is being handled.
  class HandledScope {
   public:
    explicit HandledScope(CWnd *wnd) : wnd_(wnd), saved_(wnd->msg_handled_) {}
    ~HandledScope() { wnd_->msg_handled_ = saved_; }

   private:
    CWnd *wnd_;
    bool saved_;
  };

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                       DWORD_PTR ref);
  static LRESULT HandleSubclassedMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, CWnd *self);
  bool linked_ = false;
  bool subclassed_ = false;
  bool msg_handled_ = true;
};

// Offers a notification that a parent received (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*, WM_DRAWITEM)
// to the linked object of the child it concerns, as OCM_BASE + message; true when the child
// handled it. Used by REFLECT_NOTIFICATIONS.
enum : UINT { OCM_BASE = WM_USER + 0x1C00 };
bool ReflectNotifications(HWND parent, UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result);

}  // namespace classlib
}  // namespace v7
