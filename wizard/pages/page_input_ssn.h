// The first page of receive kind 1: the resident registration number (6 + 7 digits) or the
// business registration number (3 + 2 + 5) of the certificate to import, read through the
// keyboard-security wrapper; Next starts the session with the joined number.
#pragma once

#include <winsock2.h>  // before any windows.h: the sheet brings in the relay controller

#include "wizard/keycrypt/key_crypt.h"
#include "wizard/pages/relay_page.h"
#include "wizard/res/pages_ids.h"

namespace v7 {
namespace pages {

class CPageInputSSN : public CRelayPage {
 public:
  CPageInputSSN();

  BOOL OnInitDialog() override;
  // Back to the start after a failed receive: the buttons follow what is typed.
  BOOL OnSetActive() override;
  BOOL PreTranslateMessage(MSG *msg) override;
  LRESULT OnWizardNext() override;
  NumberType Type() const { return type_; }

  BEGIN_MSG_MAP(CPageInputSSN)
    COMMAND_HANDLER(IDC_SSN_RESIDENT1, EN_CHANGE, OnResident1Change)
    COMMAND_HANDLER(IDC_SSN_BUSINESS1, EN_CHANGE, OnBusiness1Change)
    COMMAND_HANDLER(IDC_SSN_BUSINESS2, EN_CHANGE, OnBusiness2Change)
    COMMAND_HANDLER(IDC_SSN_BUSINESS3, EN_CHANGE, UpdateButtons)
    COMMAND_HANDLER(IDC_SSN_RESIDENT2, EN_CHANGE, UpdateButtons)
    COMMAND_HANDLER(IDC_SSN_RADIO_RESIDENT, BN_CLICKED, OnResidentClicked)
    COMMAND_HANDLER(IDC_SSN_RADIO_BUSINESS, BN_CLICKED, OnBusinessClicked)
    MSG_WM_DESTROY(OnDestroy)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()

 private:
  void SetType(NumberType type);
  void UpdateButtons();
  // Moves the focus on once a group holds its digits.
  void FocusOnWhenFull(int from, size_t digits, int to);
  void OnResident1Change() { UpdateButtons(), FocusOnWhenFull(IDC_SSN_RESIDENT1, 6, IDC_SSN_RESIDENT2); }
  void OnBusiness1Change() { UpdateButtons(), FocusOnWhenFull(IDC_SSN_BUSINESS1, 3, IDC_SSN_BUSINESS2); }
  void OnBusiness2Change() { UpdateButtons(), FocusOnWhenFull(IDC_SSN_BUSINESS2, 2, IDC_SSN_BUSINESS3); }
  void OnResidentClicked() { SetType(NumberType::Resident); }
  void OnBusinessClicked() { SetType(NumberType::Business); }
  void OnDestroy();
  // The groups of the current type through the wrapper.
  void ReadGroups(SecretGroups *groups);

  NumberType type_ = NumberType::Resident;
  v7::keycrypt::CKeyCrypt key_crypt_;
};

}  // namespace pages
}  // namespace v7
