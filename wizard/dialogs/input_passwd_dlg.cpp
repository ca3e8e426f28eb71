#include "wizard/dialogs/input_passwd_dlg.h"

#include "platform/errors/error_codes.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace dialogs {
namespace {

const SecretPromptLayout kLayout = {IDD_INPUT_PASSWD,       IDC_PASSWD_EDIT,        IDC_PASSWD_LABEL,
                                    IDS_PASSWORD_PROMPT_EN, L"Certificate password", IDS_PASSWORD_EMPTY};

}  // namespace

CInputPasswdDlg::CInputPasswdDlg() : CSecretPromptDlg(kLayout) {}

int AskPkcs12Password(char *out) {
  if (out == nullptr) return kErrInvalidParameter;
  CInputPasswdDlg dialog;
  const int modal_result = int(dialog.DoModal());
  const int rc = pkcs12_password_result(dialog.Entry(modal_result), out, kPasswordOutCapacity);
  dialog.Wipe();
  return rc;
}

}  // namespace dialogs
}  // namespace v7
