// The sender's code page of two groups: the 8-character authorization code of a kind-1 send.
#pragma once

#include "wizard/pages/code_page.h"
#include "wizard/res/sender_pages_ids.h"

namespace v7 {
namespace pages {

class CPageInputAN : public CFixedCodePage {
 public:
  enum { IDD = IDD_INPUT_AN };
  CPageInputAN();
};

}  // namespace pages
}  // namespace v7
