#include "wizard/pages/page_change_passwd.h"

#include <cstring>
#include <string>

#include "crypto/base/wipe.h"
#include "pki/password/password.h"
#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "wizard/pages/sender_logic.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {
namespace {

// The controls that only mean something while the check box is checked.
const int kChangeControls[] = {IDC_PW_NEW_EDIT,      IDC_PW_CONFIRM_EDIT, IDC_PW_NEW_LABEL,
                               IDC_PW_CONFIRM_LABEL, IDC_PW_RULES_GROUP,  IDC_PW_RULES};
const int kImages[] = {IDC_PW_IMAGE_WEAK, IDC_PW_IMAGE_GOOD, IDC_PW_IMAGE_STRONG};

std::wstring rule_text(int code) {
  const unsigned refused = refused_entry_text(code);
  if (refused != 0) return classlib::LoadPairText(refused);
  const char16_t *text = password_rule_text_w(code, rule_text_language(language_id()));
  return reinterpret_cast<const wchar_t *>(text);
}

}  // namespace

CPageChangePasswd::CPageChangePasswd() : CRelayPage(IDD) { WipeBuffers(); }

CPageChangePasswd::~CPageChangePasswd() { WipeBuffers(); }

void CPageChangePasswd::WipeBuffers() {
  secure_wipe(m_newPassword, sizeof m_newPassword);
  secure_wipe(m_confirm, sizeof m_confirm);
  m_newRead = 0;
  m_confirmRead = 0;
}

BOOL CPageChangePasswd::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_PW_DESCRIPTION, IDS_PWCHANGE_DESCRIPTION);
  SetPairText(IDC_PW_CHECK, IDS_PWCHANGE_CHECK);
  SetPairText(IDC_PW_NEW_LABEL, IDS_PWCHANGE_NEW_LABEL);
  SetPairText(IDC_PW_CONFIRM_LABEL, IDS_PWCHANGE_CONFIRM_LABEL);
  SetPairText(IDC_PW_GRADE_LABEL, IDS_PWCHANGE_GRADE_LABEL);
  SetPairText(IDC_PW_RULES_GROUP, IDS_PASSWORD_RULES_GROUP);
  SetPairText(IDC_PW_RULES, IDS_PASSWORD_RULES);
  CheckDlgButton(IDC_PW_CHECK, BST_UNCHECKED);
  m_change = 0;
  PostButtons(kButtonsNext);
  m_keyCrypt.Prepare(L"");
  m_keyCrypt.Init();
  m_keyCrypt.Protect(Item(IDC_PW_NEW_EDIT));
  m_keyCrypt.Protect(Item(IDC_PW_CONFIRM_EDIT));
  return TRUE;
}

BOOL CPageChangePasswd::OnSetActive() {
  Refresh(true);
  return CRelayPage::OnSetActive();
}

void CPageChangePasswd::OnCheck() { Refresh(true); }

void CPageChangePasswd::OnEditChange() { Refresh(false); }

void CPageChangePasswd::Refresh(bool reread_check) {
  if (reread_check) {
    m_change = IsDlgButtonChecked(IDC_PW_CHECK) == BST_CHECKED ? 1 : 0;
    for (int id : kChangeControls) ::EnableWindow(Item(id), m_change != 0);
  }
  WipeBuffers();
  if (m_change != 0) {
    m_newRead = m_keyCrypt.GetTextA(m_newPassword, Item(IDC_PW_NEW_EDIT));
    m_confirmRead = m_keyCrypt.GetTextA(m_confirm, Item(IDC_PW_CONFIRM_EDIT));
  }
  PasswordInput input{m_change != 0,     entry_read_from_code(m_newRead),
                      m_newPassword,     entry_read_from_code(m_confirmRead),
                      m_confirm[0] == 0, m_grade};
  const PasswordState state = password_state(input);
  m_grade = state.grade;
  ShowState(state.grade_shown, state.grade);
  PostButtons(WizardButtonFlags(state.buttons));
}

void CPageChangePasswd::ShowState(bool grade_shown, int grade) {
  if (!grade_shown) {
    ::EnableWindow(Item(IDC_PW_GRADE_LABEL), FALSE);
    ::ShowWindow(Item(IDC_PW_GRADE_TEXT), SW_HIDE);
    for (int id : kImages) ::ShowWindow(Item(id), SW_HIDE);
    ::ShowWindow(Item(IDC_PW_RULE_TEXT), SW_HIDE);
    return;
  }
  const GradeView view = grade_view(grade);
  if (view.keep) return;
  if (view.rule_shown) {
    // The rule text draws on a transparent background: the old text must be erased first.
    HWND rule = Item(IDC_PW_RULE_TEXT);
    RECT area;
    ::GetWindowRect(rule, &area);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT *>(&area), 2);
    ::InvalidateRect(m_hWnd, &area, TRUE);
    ::SetWindowTextW(rule, rule_text(view.rule_code).c_str());
    ::ShowWindow(rule, SW_SHOW);
    ::EnableWindow(Item(IDC_PW_GRADE_LABEL), FALSE);
    ::ShowWindow(Item(IDC_PW_GRADE_TEXT), SW_HIDE);
    for (int id : kImages) ::ShowWindow(Item(id), SW_HIDE);
    return;
  }
  ::ShowWindow(Item(IDC_PW_RULE_TEXT), SW_HIDE);
  ::EnableWindow(Item(IDC_PW_GRADE_LABEL), view.label_enabled);
  SetPairText(IDC_PW_GRADE_TEXT, view.grade_text);
  ::ShowWindow(Item(IDC_PW_GRADE_TEXT), SW_SHOW);
  for (int id : kImages) ::ShowWindow(Item(id), id == view.image ? SW_SHOW : SW_HIDE);
}

LRESULT CPageChangePasswd::OnWizardNext() {
  if (!UpdateData(TRUE)) return -1;
  if (m_change == 0) {
    if (Sheet() != nullptr) Sheet()->SetNewPassword(false, nullptr);
    return 0;
  }
  WipeBuffers();
  m_newRead = m_keyCrypt.GetTextA(m_newPassword, Item(IDC_PW_NEW_EDIT));
  m_confirmRead = m_keyCrypt.GetTextA(m_confirm, Item(IDC_PW_CONFIRM_EDIT));
  const EntryRead new_read = entry_read_from_code(m_newRead);
  const EntryRead confirm_read = entry_read_from_code(m_confirmRead);
  const PasswordNext next = password_next(true, new_read, m_newPassword, std::strlen(m_newPassword),
                                          confirm_read, m_confirm, std::strlen(m_confirm));
  switch (next) {
    case PasswordNext::kGo: {
      // The sheet keeps its own wiped copy for the transfer; the page's copies go.
      const bool taken = Sheet() != nullptr && Sheet()->SetNewPassword(true, m_newPassword);
      WipeBuffers();
      return taken ? 0 : -1;
    }
    case PasswordNext::kMismatch: {
      // This message loads its Korean text whatever the language.
      const std::wstring text = classlib::LoadText(IDS_PASSWORD_MISMATCH);
      message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), u"", MB_OK);
      WipeBuffers();
      return -1;
    }
    case PasswordNext::kRefused: {
      const int grade = refused_entry_grade(new_read, confirm_read);
      const std::wstring text = classlib::LoadPairText(refused_entry_text(grade));
      message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), u"", MB_OK);
      Refresh(false);
      return -1;
    }
    case PasswordNext::kWeak:
    default:
      // The rule text is on the page already; the page stays until the password keeps the rules.
      Refresh(false);
      return -1;
  }
}

HBRUSH CPageChangePasswd::OnCtlColorStatic(HDC dc, HWND control) {
  if (::GetDlgCtrlID(control) != IDC_PW_RULE_TEXT) {
    SetMsgHandled(false);
    return nullptr;
  }
  return RuleTextBrush(dc);
}

void CPageChangePasswd::OnDestroy() {
  m_keyCrypt.Term();
  WipeBuffers();
  SetMsgHandled(false);
}

}  // namespace pages
}  // namespace v7
