// The about box of the uninstaller, opened from the system menu.
#pragma once

#include "platform/classlib/dialog.h"
#include "uninstall/res/uninstall_ids.h"

namespace v7 {
namespace uninstall {

class CAboutDlg : public classlib::CDialog {
 public:
  enum { IDD = IDD_ABOUTBOX };
  CAboutDlg() : CDialog(IDD) {}
};

}  // namespace uninstall
}  // namespace v7
