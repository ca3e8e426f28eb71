#include "wizard/dialogs/input_pin_dlg.h"

#include "media/smartcard/smartcard.h"
#include "platform/errors/error_codes.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace dialogs {
namespace {

// One pair both labels the English prompt (its English half) and asks for an empty PIN.
const SecretPromptLayout kLayout = {IDD_INPUT_PIN,     IDC_PIN_EDIT, IDC_PIN_LABEL, IDS_ENTER_PIN + 1,
                                    L"PIN number", IDS_ENTER_PIN};

}  // namespace

CInputPINDlg::CInputPINDlg() : CSecretPromptDlg(kLayout) {}

int AskPin(char *out) {
  if (out == nullptr) return kErrInvalidParameter;
  CInputPINDlg dialog;
  const int modal_result = int(dialog.DoModal());
  const int rc = pin_result(dialog.Entry(modal_result), out, kPinOutCapacity);
  dialog.Wipe();
  // A PIN typed anew goes to the card again, even one it refused before: a wrong one then shows
  // the wrong-PIN box with the tries left instead of failing unseen.
  if (rc == 0) sc_forget_refused_pin();
  return rc;
}

}  // namespace dialogs
}  // namespace v7
