// The error dialog: a summary line over a detail box, in Korean or English.
#pragma once

#include "platform/classlib/dialog.h"
#include "wizard/dialogs/dialog_logic.h"
#include "wizard/res/small_dialogs_ids.h"

namespace v7 {
namespace dialogs {

class CErrorDlg : public classlib::CDialog {
 public:
  enum { IDD = IDD_ERROR_DLG };
  CErrorDlg() : CDialog(IDD) {}
  ~CErrorDlg() override;

  // The texts to show; a summary that is absent or empty keeps the template's text, an absent
  // detail leaves the box empty.
  void SetTexts(const ShownText &summary, const ShownText &detail);
  // 1 when a text had to be shown from bytes that did not convert.
  int NarrowMode() const { return narrow_mode_; }

  BOOL OnInitDialog() override;

 private:
  classlib::CWnd icon_;
  ShownText summary_;
  ShownText detail_;
  int narrow_mode_ = 0;
  HICON icon_handle_ = nullptr;
};

// Runs the error dialog over the active window with the texts the exports chose; the modal
// result.
int RunErrorDialog(const ShownText &summary, const ShownText &detail);

}  // namespace dialogs
}  // namespace v7
