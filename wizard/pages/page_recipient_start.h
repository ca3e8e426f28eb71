// The first page of receive kinds 2 and 3: what to do on the phone; Next starts the session.
#pragma once

#include "wizard/pages/relay_page.h"

namespace v7 {
namespace pages {

class CPageRecipientStart : public CRelayPage {
 public:
  CPageRecipientStart();
  BOOL OnInitDialog() override;
  // Back to the start after a failed receive: Next starts again.
  BOOL OnSetActive() override;
  LRESULT OnWizardNext() override;

  BEGIN_MSG_MAP(CPageRecipientStart)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()
};

}  // namespace pages
}  // namespace v7
