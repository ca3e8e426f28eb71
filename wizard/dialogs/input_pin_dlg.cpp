#include "wizard/dialogs/input_pin_dlg.h"

namespace v7 {
namespace dialogs {
namespace {

// Pair 11/12 both labels the English prompt (12) and asks for an empty PIN.
const SecretPromptLayout kLayout = {IDD_INPUT_PIN, IDC_PIN_EDIT, IDC_PIN_LABEL, 12, L"PIN number", 11};

}  // namespace

CInputPINDlg::CInputPINDlg() : CSecretPromptDlg(kLayout) {}

int AskPin(char *out) {
  CInputPINDlg dialog;
  const int modal_result = int(dialog.DoModal());
  const int rc = pin_result(dialog.Entry(modal_result), out, kPinOutCapacity);
  dialog.Wipe();
  return rc;
}

}  // namespace dialogs
}  // namespace v7
