// The recipient's password page: the certificate password used on the phone and, optionally, a
// new password for the PC copy, graded as it is typed. Next proves the phone password on the
// received signing key, seals the keys again under the new password when one is set, stores the
// set on the chosen medium and hands the result to the sheet for the last status page.
#pragma once

#include <winsock2.h>  // before any windows.h: the sheet brings in the relay controller

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/classlib/message_map.h"
#include "wizard/keycrypt/key_crypt.h"
#include "wizard/pages/media_logic.h"
#include "wizard/pages/relay_page.h"
#include "wizard/res/media_pages_ids.h"

namespace v7 {
namespace pages {

class CPageChangePasswdR : public CRelayPage {
 public:
  enum { IDD = IDD_PAGE_CHANGE_PASSWD_R };
  enum : size_t { kBufferSize = 128 };

  CPageChangePasswdR();
  ~CPageChangePasswdR() override;

  int32_t ChangeFlag() const { return change_; }
  int32_t Grade() const { return grade_; }
  uint32_t LaidOutFor() const { return last_kind_; }

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  BEGIN_MSG_MAP(CPageChangePasswdR)
    COMMAND_HANDLER(IDC_PWR_CHECK, BN_CLICKED, OnCheck)
    COMMAND_HANDLER(IDC_PWR_NEW_EDIT, EN_CHANGE, OnNewChange)
    COMMAND_HANDLER(IDC_PWR_CONFIRM_EDIT, EN_CHANGE, UpdateButtons)
    COMMAND_HANDLER(IDC_PWR_PHONE_EDIT, EN_CHANGE, UpdateButtons)
    MSG_WM_CTLCOLORSTATIC(OnCtlColorStatic)
    MSG_WM_DESTROY(OnDestroy)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()

 private:
  void OnCheck();
  void OnNewChange();
  void UpdateButtons();
  HBRUSH OnCtlColorStatic(HDC dc, HWND control);
  void OnDestroy();

  uint32_t MediumKind() const;
  void LayOut(uint32_t kind);
  void ApplyCheck();
  // Reads the three edits into the wiped buffers; false when one could not be read whole.
  bool ReadEdits();
  void ShowGrade(bool shown);
  void WipeBuffers();
  // Seals and stores; the store's code (0 on success). After a failure, *kept_backup is the
  // folder that holds the old set, if one does; *left_copy the folder of a copy of old keys that
  // could not be removed, whatever the result.
  int Store(std::string *kept_backup, std::string *left_copy);
  LRESULT Stay(UINT korean_text_id);

  char phone_[kBufferSize];
  char new_[kBufferSize];
  char confirm_[kBufferSize];
  int32_t change_ = 0;
  int32_t grade_ = -1;
  uint32_t last_kind_ = 0;
  keycrypt::CKeyCrypt key_crypt_;
};

}  // namespace pages
}  // namespace v7
