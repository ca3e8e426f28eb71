// The progress and result page; the sheet holds four (the sender's and the recipient's first,
// second and last). Its texts come from the sheet: each activation shows the sheet's state, and
// while the worker runs the sheet writes its progress into the page on show.
#pragma once

#include "wizard/pages/relay_page.h"

namespace v7 {
namespace pages {

class CPageStatus : public CRelayPage {
 public:
  CPageStatus();

  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;
  LRESULT OnWizardBack() override;

  // The sheet's state onto the page: heading, text, icon and buttons.
  void Refresh();

  BEGIN_MSG_MAP(CPageStatus)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()
};

}  // namespace pages
}  // namespace v7
