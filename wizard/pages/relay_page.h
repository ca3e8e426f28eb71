// What every page of the transfer wizard shares: its sheet, the buttons it posts to it, the
// cancel question and the stop of a running worker when the wizard is cancelled.
#pragma once

#include <winsock2.h>  // before any windows.h: the sheet brings in the relay controller
#include <windows.h>

#include <string>

#include "platform/classlib/message_map.h"
#include "platform/classlib/property_sheet.h"
#include "wizard/pages/page_logic.h"

namespace v7 {
namespace sheet {
class CSheetCertRelay;
}

namespace pages {

class CRelayPage : public v7::classlib::CPropertyPage {
 public:
  explicit CRelayPage(UINT template_id) : CPropertyPage(template_id) {}

  // The sheet this page is on; null before the page is added.
  v7::sheet::CSheetCertRelay *Sheet() const;

  // The same Yes/No question on every page; TRUE (close) on Yes.
  BOOL OnQueryCancel() override;
  // The wizard is closing by Cancel: a worker that still runs is stopped.
  void OnReset() override;

 protected:
  // Posted, as the sheet's own handlers post theirs, so the buttons follow in message order.
  void PostButtons(WizardButtonFlags flags) const;
  // A pair's text into a control.
  void SetPairText(int control, UINT korean_id) const;
};

// The broken password rule's text on the password pages: red on a transparent background (the
// page's own shows through). What WM_CTLCOLORSTATIC returns for it.
HBRUSH RuleTextBrush(HDC dc);

// Yes on the cancel question (text 4629/4630, caption 4625/4626); also for the sender's pages.
bool AskCancel();

}  // namespace pages
}  // namespace v7
