// The confirmation page: the subject name of the certificate on its way, which the sheet writes
// when the worker posts it; Next lets the worker go on.
#pragma once

#include "wizard/pages/relay_page.h"

namespace v7 {
namespace pages {

class CPageCertDN : public CRelayPage {
 public:
  CPageCertDN();
  BOOL OnInitDialog() override;
  LRESULT OnWizardNext() override;

  BEGIN_MSG_MAP(CPageCertDN)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()
};

}  // namespace pages
}  // namespace v7
