// The code display page of receive kind 1: the 8-character code the relay server sent, in groups
// of four that the sheet fills when the worker posts it.
#pragma once

#include "wizard/pages/relay_page.h"

namespace v7 {
namespace pages {

class CPageOutputAN : public CRelayPage {
 public:
  CPageOutputAN();
  BOOL OnInitDialog() override;

  BEGIN_MSG_MAP(CPageOutputAN)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()
};

}  // namespace pages
}  // namespace v7
