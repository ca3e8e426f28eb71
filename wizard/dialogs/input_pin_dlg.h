// The PIN prompt of a token or a card.
#pragma once

#include "wizard/dialogs/secret_prompt_dlg.h"
#include "wizard/res/small_dialogs_ids.h"

namespace v7 {
namespace dialogs {

class CInputPINDlg : public CSecretPromptDlg {
 public:
  enum { IDD = IDD_INPUT_PIN };
  CInputPINDlg();
};

// Asks for a PIN into out (64 bytes): 0 (the PIN, or the empty text), 21500 cancelled, 1002 too
// long for out; 1001 for a null out, before any dialog.
int AskPin(char *out);

}  // namespace dialogs
}  // namespace v7
