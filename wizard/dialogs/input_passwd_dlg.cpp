#include "wizard/dialogs/input_passwd_dlg.h"

namespace v7 {
namespace dialogs {
namespace {

// 34469 is the English label; 34594/34595 the pair shown for an empty password.
const SecretPromptLayout kLayout = {IDD_INPUT_PASSWD, IDC_PASSWD_EDIT, IDC_PASSWD_LABEL, 34469,
                                    L"Certificate password", 34594};

}  // namespace

CInputPasswdDlg::CInputPasswdDlg() : CSecretPromptDlg(kLayout) {}

int AskPkcs12Password(char *out) {
  CInputPasswdDlg dialog;
  const int modal_result = int(dialog.DoModal());
  const int rc = pkcs12_password_result(dialog.Entry(modal_result), out, kPasswordOutCapacity);
  dialog.Wipe();
  return rc;
}

}  // namespace dialogs
}  // namespace v7
