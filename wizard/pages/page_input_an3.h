// The sender's code page of three groups: the 12-character authorization code.
#pragma once

#include "wizard/pages/code_page.h"
#include "wizard/res/sender_pages_ids.h"

namespace v7 {
namespace pages {

class CPageInputAN3 : public CFixedCodePage {
 public:
  enum { IDD = IDD_INPUT_AN3 };
  CPageInputAN3();
};

}  // namespace pages
}  // namespace v7
