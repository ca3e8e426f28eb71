#include "wizard/pages/page_input_ssn.h"

#include "crypto/base/wipe.h"
#include "platform/classlib/app.h"
#include "platform/ui/message_box.h"
#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "edit texts are read as UTF-16");

CPageInputSSN::CPageInputSSN() : CRelayPage(IDD_PAGE_INPUT_SSN) {}

BOOL CPageInputSSN::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_SSN_DESCRIPTION, IDS_SSN_DESCRIPTION);
  SetPairText(IDC_SSN_RADIO_RESIDENT, IDS_SSN_RESIDENT);
  SetPairText(IDC_SSN_RADIO_BUSINESS, IDS_SSN_BUSINESS);
  PostButtons(kButtonsNone);
  ::CheckDlgButton(m_hWnd, IDC_SSN_RADIO_RESIDENT, BST_CHECKED);
  for (NumberType type : {NumberType::Resident, NumberType::Business}) {
    for (const NumberGroup &g : number_groups(type)) SendDlgItemMessage(g.control, EM_LIMITTEXT, g.digits, 0);
  }
  key_crypt_.Prepare(L"");
  key_crypt_.Init();
  for (int id : {IDC_SSN_RESIDENT1, IDC_SSN_RESIDENT2, IDC_SSN_BUSINESS1, IDC_SSN_BUSINESS2, IDC_SSN_BUSINESS3})
    key_crypt_.Protect(Item(id));
  SetType(NumberType::Resident);
  ::SetFocus(Item(IDC_SSN_RESIDENT1));
  return FALSE;
}

BOOL CPageInputSSN::OnSetActive() {
  const BOOL shown = CRelayPage::OnSetActive();
  UpdateButtons();
  return shown;
}

BOOL CPageInputSSN::PreTranslateMessage(MSG *msg) {
  const HWND resident = Item(IDC_SSN_RADIO_RESIDENT), business = Item(IDC_SSN_RADIO_BUSINESS);
  if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && (msg->hwnd == resident || msg->hwnd == business)) {
    if (::IsDlgButtonChecked(m_hWnd, IDC_SSN_RADIO_RESIDENT) == BST_CHECKED)
      SetType(NumberType::Resident);
    else if (::IsDlgButtonChecked(m_hWnd, IDC_SSN_RADIO_BUSINESS) == BST_CHECKED)
      SetType(NumberType::Business);
  } else if (msg->message == WM_LBUTTONUP && msg->hwnd == resident) {
    SetType(NumberType::Resident);
  } else if (msg->message == WM_LBUTTONUP && msg->hwnd == business) {
    SetType(NumberType::Business);
  }
  return CRelayPage::PreTranslateMessage(msg);
}

void CPageInputSSN::SetType(NumberType type) {
  type_ = type;
  const bool resident = type == NumberType::Resident;
  for (int id : {IDC_SSN_RESIDENT1, IDC_SSN_RESIDENT2, IDC_SSN_RESIDENT_DASH})
    ::ShowWindow(Item(id), resident ? SW_SHOW : SW_HIDE);
  for (int id : {IDC_SSN_BUSINESS1, IDC_SSN_BUSINESS2, IDC_SSN_BUSINESS3, IDC_SSN_BUSINESS_DASH1, IDC_SSN_BUSINESS_DASH2})
    ::ShowWindow(Item(id), resident ? SW_HIDE : SW_SHOW);
  UpdateButtons();
}

void CPageInputSSN::ReadGroups(SecretGroups *groups) {
  groups->Clear();
  for (const NumberGroup &g : number_groups(type_)) {
    v7::classlib::CSecretText secret;
    key_crypt_.GetText(Item(g.control), secret);
    groups->Add(reinterpret_cast<const char16_t *>(secret.c_str()), secret.length());
  }
}

void CPageInputSSN::UpdateButtons() {
  SecretGroups groups;
  ReadGroups(&groups);
  PostButtons(number_buttons(type_, groups));
}

void CPageInputSSN::FocusOnWhenFull(int from, size_t digits, int to) {
  if (size_t(::GetWindowTextLengthW(Item(from))) == digits) ::SetFocus(Item(to));
}

LRESULT CPageInputSSN::OnWizardNext() {
  UpdateData(TRUE);
  SecretGroups groups;
  ReadGroups(&groups);
  std::string joined;
  const NumberCheck check = join_number(type_, groups, &joined);
  groups.Clear();
  if (check != NumberCheck::Ok) {
    // Refused, never cut: a number cut to fit would be someone else's.
    const std::wstring text = v7::classlib::LoadPairText(check == NumberCheck::TooLong ? IDS_NUMBER_TOO_LONG
                                                                                          : IDS_NUMBER_DIGITS_ONLY);
    v7::message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), nullptr, MB_OK | MB_ICONWARNING);
    return -1;
  }
  std::wstring wide(joined.begin(), joined.end());
  v7::secure_wipe(&joined[0], joined.size());
  const int rc = Sheet()->StartTransfer(wide);
  v7::secure_wipe(&wide[0], wide.size() * sizeof(wchar_t));
  PostButtons(rc == -1 ? kButtonsFinish : kButtonsNone);
  return CRelayPage::OnWizardNext();
}

void CPageInputSSN::OnDestroy() {
  key_crypt_.Term();
  SetMsgHandled(false);
}

}  // namespace pages
}  // namespace v7
