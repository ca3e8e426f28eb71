#include "wizard/pages/page_cert_dn.h"

#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {

CPageCertDN::CPageCertDN() : CRelayPage(IDD_PAGE_CERT_DN) {}

BOOL CPageCertDN::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_CERT_DN_DESCRIPTION, IDS_CERT_DN_DESCRIPTION);
  PostButtons(kButtonsNext);
  return TRUE;
}

LRESULT CPageCertDN::OnWizardNext() {
  const DWORD worker = Sheet()->Controller()->WorkerThreadId();
  if (worker != 0) ::PostThreadMessageW(worker, WM_RELAY_CONFIRM, 0, 0);
  return CRelayPage::OnWizardNext();
}

}  // namespace pages
}  // namespace v7
