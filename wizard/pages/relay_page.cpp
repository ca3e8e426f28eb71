#include "wizard/pages/relay_page.h"

#include "platform/classlib/app.h"
#include "platform/ui/message_box.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {

using v7::classlib::LoadPairText;

bool AskCancel() {
  const std::wstring text = LoadPairText(IDS_CONFIRM_QUIT);
  const std::wstring caption = LoadPairText(IDS_QUIT_CAPTION);
  const int answer = v7::message_box_w(reinterpret_cast<const char16_t *>(text.c_str()),
                                       reinterpret_cast<const char16_t *>(caption.c_str()), MB_YESNO | MB_ICONQUESTION);
  return answer == IDYES;
}

HBRUSH RuleTextBrush(HDC dc) {
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(0xFF, 0, 0));
  return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

v7::sheet::CSheetCertRelay *CRelayPage::Sheet() const {
  return static_cast<v7::sheet::CSheetCertRelay *>(GetParentSheet());
}

BOOL CRelayPage::OnQueryCancel() { return AskCancel() ? TRUE : FALSE; }

void CRelayPage::OnReset() {
  if (Sheet() != nullptr) Sheet()->StopTransfer();
}

void CRelayPage::PostButtons(WizardButtonFlags flags) const {
  if (Sheet() != nullptr) Sheet()->PostButtons(flags);
}

void CRelayPage::SetPairText(int control, UINT korean_id) const {
  ::SetDlgItemTextW(m_hWnd, control, LoadPairText(korean_id).c_str());
}

}  // namespace pages
}  // namespace v7
