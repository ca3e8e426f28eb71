#include "wizard/pages/page_output_an.h"

#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace pages {

CPageOutputAN::CPageOutputAN() : CRelayPage(IDD_PAGE_OUTPUT_AN) {}

BOOL CPageOutputAN::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_CODE_DESCRIPTION, IDS_CODE8_DISPLAY_DESCRIPTION);
  SetPairText(IDC_CODE_LABEL, IDS_CODE_DISPLAY_LABEL);
  PostButtons(kButtonsBack);
  return TRUE;
}

}  // namespace pages
}  // namespace v7
