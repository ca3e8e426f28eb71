#include "wizard/pages/code_page.h"

#include <string>

#include "crypto/base/wipe.h"
#include "platform/classlib/app.h"
#include "platform/classlib/ddx.h"
#include "platform/ui/message_box.h"
#include "wizard/res/sender_pages_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {
namespace {

enum : size_t { kMaxGroups = 3 };

// A group read through the wrapper: a text it cannot read whole is longer than any group.
GroupState read_state(keycrypt::CKeyCrypt &key_crypt, HWND edit) {
  classlib::CSecretText text;
  if (key_crypt.GetText(edit, text) != 0) return GroupState::kTooLong;
  return group_state(reinterpret_cast<const char16_t *>(text.c_str()), text.length());
}

// Back leads somewhere only when a page comes before this one (the password page).
bool has_previous_page(const classlib::CPropertyPage &page) {
  const classlib::CPropertySheet *sheet = page.GetParentSheet();
  return sheet != nullptr && sheet->GetPageIndex(&page) > 0;
}

}  // namespace

CCodePage::CCodePage(UINT template_id, CodePage kind)
    : CRelayPage(template_id), m_codeType(kCodeType12), m_kind(kind) {}

uint32_t CCodePage::Mode() const { return Sheet() != nullptr ? Sheet()->Mode() : 0; }

BOOL CCodePage::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_AN_DESCRIPTION, DescriptionText());
  SetPairText(IDC_AN_LABEL, IDS_CODE_INPUT_LABEL);
  SetDlgItemText(IDC_AN_HINT, L"");
  const GroupRow all = AllGroups();
  // The edits take a group each; a paste or a program can still put more there, which the
  // button rule and Next refuse.
  for (size_t i = 0; i < all.count; ++i) SendDlgItemMessage(all.ids[i], EM_LIMITTEXT, kGroupLength);
  const int first = code_initial_buttons(m_kind, Mode(), has_previous_page(*this));
  if (first >= 0) PostButtons(WizardButtonFlags(first));
  m_keyCrypt.Prepare(L"");
  m_keyCrypt.Init();
  for (size_t i = 0; i < all.count; ++i) m_keyCrypt.Protect(Item(all.ids[i]));
  return TRUE;
}

BOOL CCodePage::OnSetActive() {
  UpdateButtons();
  // The sheet puts the focus on a control of its own once the page shows; the code's first group
  // is where the user types, so it gets the focus after that.
  const GroupRow row = CurrentRow();
  HWND sheet = ::GetParent(m_hWnd);
  if (row.count > 0 && sheet != nullptr) ::PostMessageW(sheet, WM_NEXTDLGCTL, WPARAM(Item(row.ids[0])), TRUE);
  return CRelayPage::OnSetActive();
}

void CCodePage::ReadStates(const GroupRow &row, GroupState *states) {
  for (size_t i = 0; i < row.count && i < kMaxGroups; ++i)
    states[i] = read_state(m_keyCrypt, Item(row.ids[i]));
}

void CCodePage::UpdateButtons() {
  const GroupRow row = CurrentRow();
  GroupState states[kMaxGroups] = {GroupState::kEmpty, GroupState::kEmpty, GroupState::kEmpty};
  ReadStates(row, states);
  const unsigned hint = code_hint_text(states, row.count);
  SetDlgItemText(IDC_AN_HINT, hint != 0 ? classlib::LoadPairText(hint).c_str() : L"");
  const int buttons = code_buttons(m_kind, Mode(), m_codeType, states, row.count, has_previous_page(*this));
  PostButtons(WizardButtonFlags(buttons));
}

LRESULT CCodePage::OnCommand(WPARAM wparam, LPARAM lparam) {
  const int id = LOWORD(wparam);
  const GroupRow row = RowOf(id);
  if (HIWORD(wparam) != EN_CHANGE || row.count == 0) {
    SetMsgHandled(false);
    return 0;
  }
  UpdateButtons();
  for (size_t i = 0; i < row.count; ++i) {
    if (row.ids[i] != id) continue;
    classlib::CSecretText text;
    const size_t typed = m_keyCrypt.GetText(Item(id), text) == 0 ? text.length() : 0;
    const int next = code_next_focus(i, row.count, typed);
    if (next >= 0) ::SetFocus(Item(row.ids[next]));
    break;
  }
  return 0;
}

LRESULT CCodePage::OnWizardNext() {
  if (!code_page_starts(m_kind, Mode())) return 0;
  if (!UpdateData(TRUE)) return -1;
  const GroupRow row = CurrentRow();
  classlib::CSecretText texts[kMaxGroups];
  const char16_t *groups[kMaxGroups] = {};
  size_t lengths[kMaxGroups] = {};
  GroupState states[kMaxGroups] = {GroupState::kEmpty, GroupState::kEmpty, GroupState::kEmpty};
  bool read = row.count <= kMaxGroups;
  for (size_t i = 0; read && i < row.count; ++i) {
    if (m_keyCrypt.GetText(Item(row.ids[i]), texts[i]) != 0) {
      states[i] = GroupState::kTooLong;
      read = false;
      break;
    }
    groups[i] = reinterpret_cast<const char16_t *>(texts[i].c_str());
    lengths[i] = texts[i].length();
    states[i] = group_state(groups[i], lengths[i]);
  }
  char16_t code[kCodeCapacity];
  if (!read || !join_code(groups, lengths, row.count, code)) {
    // Reached only when Next was pressed for the page (the buttons keep it disabled otherwise):
    // an incomplete or overlong code is refused, never cut to fit.
    const unsigned hint = code_hint_text(states, row.count);
    const std::wstring text = classlib::LoadPairText(hint != 0 ? hint : unsigned(IDS_CODE_GROUP_TOO_LONG));
    message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), u"", MB_OK);
    UpdateButtons();
    return -1;
  }
  std::wstring joined(reinterpret_cast<const wchar_t *>(code));
  secure_wipe(code, sizeof code);
  const int rc = Sheet() != nullptr ? Sheet()->StartTransfer(joined) : -1;
  secure_wipe(&joined[0], joined.size() * sizeof(wchar_t));
  // Either way on to the status page: it shows the transfer, or why it could not start.
  PostButtons(rc == -1 ? kButtonsFinish : kButtonsNone);
  return 0;
}

HBRUSH CCodePage::OnCtlColorStatic(HDC dc, HWND control) {
  if (::GetDlgCtrlID(control) != IDC_AN_HINT) {
    SetMsgHandled(false);
    return nullptr;
  }
  ::SetTextColor(dc, RGB(0xFF, 0, 0));
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  return ::GetSysColorBrush(COLOR_BTNFACE);
}

void CCodePage::OnDestroy() {
  m_keyCrypt.Term();
  SetMsgHandled(false);
}

CFixedCodePage::CFixedCodePage(UINT template_id, CodePage kind, GroupRow row, UINT description)
    : CCodePage(template_id, kind), m_row(row), m_description(description) {}

GroupRow CFixedCodePage::RowOf(int id) const {
  for (size_t i = 0; i < m_row.count; ++i) {
    if (m_row.ids[i] == id) return m_row;
  }
  return GroupRow{nullptr, 0};
}

}  // namespace pages
}  // namespace v7
