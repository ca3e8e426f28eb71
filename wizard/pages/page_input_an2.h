// The sender's code page that takes either form of the authorization code, chosen by two radio
// buttons: 12 characters in three groups (the start) or 8 in two. Switching the form swaps the
// enabled groups and keeps what was typed in either.
#pragma once

#include "wizard/pages/code_page.h"
#include "wizard/res/sender_pages_ids.h"

namespace v7 {
namespace pages {

class CPageInputAN2 : public CCodePage {
 public:
  enum { IDD = IDD_INPUT_AN2 };
  CPageInputAN2();

  BOOL OnInitDialog() override;
  BOOL PreTranslateMessage(MSG *msg) override;

  BEGIN_MSG_MAP(CPageInputAN2)
  COMMAND_HANDLER(IDC_AN_TYPE8, BN_CLICKED, OnTypeClicked)
  COMMAND_HANDLER(IDC_AN_TYPE12, BN_CLICKED, OnTypeClicked)
  CHAIN_MSG_MAP(CCodePage)
  END_MSG_MAP()

 protected:
  GroupRow CurrentRow() const override;
  GroupRow AllGroups() const override;
  GroupRow RowOf(int id) const override;
  UINT DescriptionText() const override;

 private:
  // A click that did not come from the mouse (the keyboard's space, an accessibility tool, a
  // BM_CLICK) switches the form as well.
  void OnTypeClicked();
  void SetCodeType(int type);
};

}  // namespace pages
}  // namespace v7
