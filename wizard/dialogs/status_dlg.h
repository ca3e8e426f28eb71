// The modeless status dialogs shown around long work on the user-interface thread (opening a
// token, reading a card, storing a certificate): a line of text on light grey, centred. The work
// blocks the thread's message loop, so Show paints the dialog at once.
#pragma once

#include <string>

#include "platform/classlib/dialog.h"
#include "platform/classlib/message_map.h"
#include "wizard/res/small_dialogs_ids.h"

namespace v7 {
namespace dialogs {

class CStatusDlg : public classlib::CDialog {
 public:
  CStatusDlg(UINT template_id, int text_id);
  ~CStatusDlg() override;

  // The text shown; set before Show.
  void SetStatusText(const std::wstring &text) { text_ = text; }
  const std::wstring &StatusText() const { return text_; }
  // Creates the dialog modeless over parent, centres and paints it; false when it could not be
  // created. DestroyWindow (or the object's end) takes it down.
  bool Show(HWND parent = nullptr);

  BOOL OnInitDialog() override;

  BEGIN_MSG_MAP(CStatusDlg)
    MSG_WM_CTLCOLOREDIT(OnCtlColorEdit)
    MSG_WM_CTLCOLORSTATIC(OnCtlColorStatic)
    MSG_WM_CTLCOLORDLG(OnCtlColorDlg)
  END_MSG_MAP()

 private:
  HBRUSH OnCtlColorEdit(HDC dc, HWND control);
  HBRUSH OnCtlColorStatic(HDC dc, HWND control);
  HBRUSH OnCtlColorDlg(HDC dc, HWND dialog);

  int text_id_;
  std::wstring text_;
  HBRUSH brush_;
};

// "The certificate is being stored."
class CStatus2Dlg : public CStatusDlg {
 public:
  enum { IDD = IDD_STATUS2 };
  CStatus2Dlg();
};

// The text its creator sets, beside a picture.
class CStatus3Dlg : public CStatusDlg {
 public:
  enum { IDD = IDD_STATUS3 };
  CStatus3Dlg() : CStatusDlg(IDD, IDC_STATUS3_TEXT) {}
};

}  // namespace dialogs
}  // namespace v7
