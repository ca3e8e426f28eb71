#include "wizard/pages/page_common.h"

#include "platform/classlib/app.h"
#include "platform/ui/message_box.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace pages {

void PostWizardButtons(const classlib::CPropertyPage &page, int flags) {
  if (flags < 0) return;
  HWND sheet = ::GetParent(page.m_hWnd);
  if (sheet != nullptr) ::PostMessageW(sheet, PSM_SETWIZBUTTONS, 0, LPARAM(flags));
}

BOOL ConfirmQuit() {
  const std::wstring text = classlib::LoadPairText(IDS_CONFIRM_QUIT);
  const std::wstring caption = classlib::LoadPairText(IDS_QUIT_CAPTION);
  const int answer = message_box_w(reinterpret_cast<const char16_t *>(text.c_str()),
                                   reinterpret_cast<const char16_t *>(caption.c_str()), MB_YESNO);
  return answer == IDYES ? TRUE : FALSE;
}

void SetPairText(HWND dialog, int id, UINT korean_id) {
  ::SetDlgItemTextW(dialog, id, classlib::LoadPairText(korean_id).c_str());
}

bool HasPreviousPage(const classlib::CPropertyPage &page) {
  const classlib::CPropertySheet *sheet = page.GetParentSheet();
  return sheet != nullptr && sheet->GetPageIndex(&page) > 0;
}

}  // namespace pages
}  // namespace v7
