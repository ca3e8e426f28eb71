// The certificate password prompt.
#pragma once

#include "wizard/dialogs/secret_prompt_dlg.h"
#include "wizard/res/small_dialogs_ids.h"

namespace v7 {
namespace dialogs {

class CInputPasswdDlg : public CSecretPromptDlg {
 public:
  enum { IDD = IDD_INPUT_PASSWD };
  CInputPasswdDlg();
};

// Asks for a PKCS#12 file's password into out (128 bytes): 0, 21500 cancelled (out wiped), -1
// empty, 1001 too long for out (or a null out, before any dialog).
int AskPkcs12Password(char *out);

}  // namespace dialogs
}  // namespace v7
