#include "wizard/pages/page_recipient_start.h"

#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {

CPageRecipientStart::CPageRecipientStart() : CRelayPage(IDD_PAGE_RECIPIENT_START) {}

BOOL CPageRecipientStart::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_START_STEPS, IDS_RECIPIENT_START_STEPS);
  SetPairText(IDC_START_NEXT, IDS_RECIPIENT_START_NEXT);
  PostButtons(kButtonsNext);
  return TRUE;
}

BOOL CPageRecipientStart::OnSetActive() {
  PostButtons(kButtonsNext);
  return CRelayPage::OnSetActive();
}

LRESULT CPageRecipientStart::OnWizardNext() {
  // The relay server pairs these kinds by the code alone: the text is a fixed placeholder.
  const int rc = Sheet()->StartTransfer(L"dummy");
  PostButtons(rc == -1 ? kButtonsFinish : kButtonsNone);
  return CRelayPage::OnWizardNext();
}

}  // namespace pages
}  // namespace v7
