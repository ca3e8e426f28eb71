// The code display page of receive kinds 2 and 3: the 12-character code the relay server sent, in groups
// of four that the sheet fills when the worker posts it.
#pragma once

#include "wizard/pages/relay_page.h"

namespace v7 {
namespace pages {

class CPageOutputAN2 : public CRelayPage {
 public:
  CPageOutputAN2();
  BOOL OnInitDialog() override;

  BEGIN_MSG_MAP(CPageOutputAN2)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()
};

}  // namespace pages
}  // namespace v7
