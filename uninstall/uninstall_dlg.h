// The uninstaller's one window: it asks, runs the removal and shows each step's outcome. The
// removal itself is RemovalEngine's; this dialog is the user's side of the machine it runs on.
#pragma once

#include <windows.h>

#include "platform/classlib/dialog.h"
#include "platform/classlib/message_map.h"
#include "uninstall/removal_system_win32.h"
#include "uninstall/res/uninstall_ids.h"

namespace v7 {
namespace uninstall {

class CUninstallDlg : public classlib::CDialog, public Win32Machine {
 public:
  enum { IDD = IDD_UNINSTALL_DIALOG };
  CUninstallDlg() : CDialog(IDD) {}

  // How the removal ended (kDeclined also when it never ran).
  RemovalOutcome outcome() const { return outcome_; }

  BEGIN_MSG_MAP(CUninstallDlg)
  MESSAGE_HANDLER(kRunRemoval, OnRunRemoval)
  MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
  MESSAGE_HANDLER(WM_PAINT, OnPaint)
  MESSAGE_HANDLER(WM_QUERYDRAGICON, OnQueryDragIcon)
  MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
  COMMAND_ID_HANDLER(IDC_BANNER, OnBanner)
  COMMAND_ID_HANDLER(IDC_SHORTCUT, OnShortcut)
  END_MSG_MAP()

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(classlib::CDataExchange *dx) override;

  // The user's side of the removal.
  void Inform(const std::u16string &text) override;
  bool AskYesNo(const std::u16string &text) override;
  void ShowStatus(const std::u16string &status) override;
  void ShowStep(int step, bool done) override;
  void SetBusy(bool busy) override;

 private:
  // Posted at the end of the initialisation, so the removal's questions come over a window that
  // is already on screen.
  enum : UINT { kRunRemoval = WM_APP + 1 };

  LRESULT OnRunRemoval(WPARAM, LPARAM);
  LRESULT OnSysCommand(WPARAM command, LPARAM);
  LRESULT OnPaint(WPARAM, LPARAM);
  LRESULT OnQueryDragIcon(WPARAM, LPARAM);
  LRESULT OnSetCursor(WPARAM window, LPARAM hit);
  void OnBanner();
  void OnShortcut();

  HICON Icon(UINT id, int size) const;

  std::wstring status_;
  FileLists lists_;
  bool lists_ready_ = false;
  bool busy_ = false;
  bool other_step_done_ = false;
  RemovalOutcome outcome_ = RemovalOutcome::kDeclined;
  HICON app_icon_ = nullptr;
};

}  // namespace uninstall
}  // namespace v7
