#include "wizard/pages/page_input_an2.h"

#include "wizard/res/string_ids.h"

namespace v7 {
namespace pages {
namespace {

const int kGroups12[] = {IDC_AN_GROUP12_1, IDC_AN_GROUP2, IDC_AN_GROUP3};
const int kGroups8[] = {IDC_AN_GROUP8_1, IDC_AN_GROUP8_2};
const int kAllGroups[] = {IDC_AN_GROUP12_1, IDC_AN_GROUP2, IDC_AN_GROUP3, IDC_AN_GROUP8_1, IDC_AN_GROUP8_2};

bool holds(const int *ids, size_t count, int id) {
  for (size_t i = 0; i < count; ++i) {
    if (ids[i] == id) return true;
  }
  return false;
}

}  // namespace

CPageInputAN2::CPageInputAN2() : CCodePage(IDD, CodePage::kInputAN2) {}

BOOL CPageInputAN2::OnInitDialog() {
  CCodePage::OnInitDialog();
  SetPairText(IDC_AN_TYPE12, IDS_CODE_TYPE_12);
  SetPairText(IDC_AN_TYPE8, IDS_CODE_TYPE_8);
  CheckDlgButton(IDC_AN_TYPE12, BST_CHECKED);
  CheckDlgButton(IDC_AN_TYPE8, BST_UNCHECKED);
  SetCodeType(kCodeType12);
  ::SetFocus(Item(IDC_AN_GROUP12_1));
  return FALSE;
}

GroupRow CPageInputAN2::CurrentRow() const {
  return m_codeType == kCodeType8 ? GroupRow{kGroups8, 2} : GroupRow{kGroups12, 3};
}

GroupRow CPageInputAN2::AllGroups() const { return GroupRow{kAllGroups, 5}; }

GroupRow CPageInputAN2::RowOf(int id) const {
  if (holds(kGroups12, 3, id)) return GroupRow{kGroups12, 3};
  if (holds(kGroups8, 2, id)) return GroupRow{kGroups8, 2};
  return GroupRow{nullptr, 0};
}

UINT CPageInputAN2::DescriptionText() const { return IDS_CODE_ANY_INPUT_DESCRIPTION; }

void CPageInputAN2::SetCodeType(int type) {
  m_codeType = type;
  const bool eight = type == kCodeType8;
  for (int id : kGroups8) ::EnableWindow(Item(id), eight);
  for (int id : kGroups12) ::EnableWindow(Item(id), !eight);
  // The groups keep their text: only which of them count changes.
}

void CPageInputAN2::OnTypeClicked() {
  const bool checked8 = IsDlgButtonChecked(IDC_AN_TYPE8) == BST_CHECKED;
  const bool checked12 = IsDlgButtonChecked(IDC_AN_TYPE12) == BST_CHECKED;
  // As a key on the radios: their checks decide.
  const int type = code_type_after(m_codeType, true, true, false, checked8, checked12);
  if (type != m_codeType) SetCodeType(type);
  UpdateButtons();
}

BOOL CPageInputAN2::PreTranslateMessage(MSG *msg) {
  const UINT message = msg->message;
  if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_LBUTTONUP) {
    const bool on8 = msg->hwnd == Item(IDC_AN_TYPE8);
    const bool on12 = msg->hwnd == Item(IDC_AN_TYPE12);
    if (on8 || on12) {
      const int type = code_type_after(m_codeType, message != WM_LBUTTONUP, on8, on12,
                                       IsDlgButtonChecked(IDC_AN_TYPE8) == BST_CHECKED,
                                       IsDlgButtonChecked(IDC_AN_TYPE12) == BST_CHECKED);
      if (type != m_codeType) SetCodeType(type);
    }
    UpdateButtons();
  }
  return CCodePage::PreTranslateMessage(msg);
}

}  // namespace pages
}  // namespace v7
