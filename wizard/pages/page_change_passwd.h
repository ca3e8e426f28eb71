// The sender's password page: optionally a new password for the copy of the certificate that goes
// to the phone, graded as it is typed. The sheet reads the change flag and the new password when
// it starts the transfer.
#pragma once

#include <winsock2.h>  // before any windows.h: the sheet brings in the relay controller

#include <windows.h>

#include <cstdint>

#include "platform/classlib/message_map.h"
#include "wizard/keycrypt/key_crypt.h"
#include "wizard/pages/relay_page.h"
#include "wizard/res/sender_pages_ids.h"

namespace v7 {
namespace pages {

class CPageChangePasswd : public CRelayPage {
 public:
  enum { IDD = IDD_CHANGE_PASSWD };
  enum : size_t { kBufferSize = 128 };

  CPageChangePasswd();
  ~CPageChangePasswd() override;

  // 1 when the check box is checked; what the sheet looks at, also for a send without this page.
  int32_t ChangeFlag() const { return m_change; }
  // The narrow new password in the encoding setting, as last read (empty unless checked, and
  // wiped once it went to the sheet).
  const char *NewPassword() const { return m_newPassword; }
  int32_t Grade() const { return m_grade; }
  // Wipes both buffers.
  void WipeBuffers();

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  BEGIN_MSG_MAP(CPageChangePasswd)
  COMMAND_HANDLER(IDC_PW_CHECK, BN_CLICKED, OnCheck)
  COMMAND_HANDLER(IDC_PW_NEW_EDIT, EN_CHANGE, OnEditChange)
  COMMAND_HANDLER(IDC_PW_CONFIRM_EDIT, EN_CHANGE, OnEditChange)
  MSG_WM_CTLCOLORSTATIC(OnCtlColorStatic)
  MSG_WM_DESTROY(OnDestroy)
  END_MSG_MAP()

 private:
  void OnCheck();
  void OnEditChange();
  HBRUSH OnCtlColorStatic(HDC dc, HWND control);
  void OnDestroy();

  // Reads both edits into the wiped buffers and shows what the grade rules make of them.
  void Refresh(bool reread_check);
  void ShowState(bool grade_shown, int grade);

  char m_newPassword[kBufferSize];
  char m_confirm[kBufferSize];
  int m_newRead = 0;
  int m_confirmRead = 0;
  int32_t m_change = 0;
  int32_t m_grade = 0;
  keycrypt::CKeyCrypt m_keyCrypt;
};

}  // namespace pages
}  // namespace v7
