// Dialogs from templates in the module's resources. A modal run is the class layer's own loop,
// not DialogBox: every message is first offered to PreTranslateMessage from its target window up
// to the dialog, then to the dialog manager (IsDialogMessage), then dispatched, so that pages and
// dialogs can filter keys before the dialog manager acts on them. A dialog created modeless
// (Create) lives until DestroyWindow.
#pragma once

#include <windows.h>

#include "platform/classlib/ddx.h"
#include "platform/classlib/window.h"

namespace v7 {
namespace classlib {

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT template_id) : m_nIDTemplate(template_id) {}
  ~CDialog() override;

  // Runs the dialog modally over owner (the active window when null, disabled for the run) and
  // returns what EndDialog was given, or -1 when the dialog could not be created.
  virtual INT_PTR DoModal(HWND owner = nullptr);
  // Creates the dialog modeless; false when it could not be created.
  bool Create(HWND parent = nullptr);
  // Ends a modal run with result (the window is destroyed when the loop returns); a modeless
  // dialog is destroyed at once.
  void EndDialog(INT_PTR result);
  bool InModalLoop() const { return modal_; }

  // TRUE: the focus goes to the first control; FALSE: the handler has set it. The base runs
  // UpdateData(FALSE).
  virtual BOOL OnInitDialog();
  // IDOK: UpdateData(TRUE), then EndDialog(IDOK). IDCANCEL: EndDialog(IDCANCEL).
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange *dx) {}
  BOOL UpdateData(BOOL save = TRUE);

  UINT m_nIDTemplate;

 protected:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static INT_PTR HandleDialogMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  // What the class layer does when the map has not handled a message; true when handled.
  virtual bool DefaultMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result);
  // The object a dialog procedure serves, from WM_INITDIALOG's argument; pages override it.
  virtual void Attach(HWND hwnd) { Link(hwnd); }
  // Runs GetMessage/PreTranslate/IsDialogMessage/Dispatch until done() is true. False when
  // WM_QUIT arrived (it is posted again for the outer loop).
  template <typename Done>
  static bool RunModalLoop(HWND top, Done done, BOOL (*dialog_message)(HWND, MSG *));
  // Offers msg to PreTranslateMessage of each linked window from its target up to top.
  static BOOL WalkPreTranslateTree(HWND top, MSG *msg);

  friend class CPropertySheet;

 private:
  static BOOL IsDialogMessageProc(HWND hwnd, MSG *msg) { return ::IsDialogMessageW(hwnd, msg); }
  bool modal_ = false;
  bool end_requested_ = false;
  INT_PTR result_ = -1;
};

template <typename Done>
bool CDialog::RunModalLoop(HWND top, Done done, BOOL (*dialog_message)(HWND, MSG *)) {
  MSG msg;
  while (!done()) {
    BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      ::PostQuitMessage(int(msg.wParam));
      return false;
    }
    if (got == -1) return false;
    if (WalkPreTranslateTree(top, &msg)) continue;
    if (::IsWindow(top) && dialog_message(top, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return true;
}

}  // namespace classlib
}  // namespace v7
