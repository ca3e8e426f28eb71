#include "wizard/dialogs/secret_prompt_dlg.h"

#include "crypto/base/wipe.h"
#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"

namespace v7 {
namespace dialogs {

static_assert(size_t(kEntryCapacity) == size_t(keycrypt::kKeyCryptNarrowSize), "the entry buffer is the wrapper's read size");

CSecretPromptDlg::CSecretPromptDlg(const SecretPromptLayout &layout) : CDialog(layout.template_id), layout_(layout) {
  Wipe();
}

CSecretPromptDlg::~CSecretPromptDlg() { Wipe(); }

void CSecretPromptDlg::Wipe() {
  secure_wipe(text_, sizeof text_);
  refused_ = false;
}

BOOL CSecretPromptDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  Wipe();
  if (!language_is_korean()) {
    SetDlgItemText(layout_.label_id, classlib::LoadText(layout_.english_label_string).c_str());
    SetDlgItemText(IDOK, reinterpret_cast<const wchar_t *>(kOkEnglish));
    SetDlgItemText(IDCANCEL, reinterpret_cast<const wchar_t *>(kCancelEnglish));
    SetWindowText(layout_.english_caption);
  }
  // The wrapper protects the edit only when its module is ready; Init's result tells nothing
  // more than the reads will.
  key_crypt_.Prepare(L"");
  key_crypt_.Init();
  key_crypt_.Protect(Item(layout_.edit_id));
  return TRUE;
}

void CSecretPromptDlg::OnOK() {
  Wipe();
  const int rc = key_crypt_.GetTextA(text_, Item(layout_.edit_id));
  if (rc != 0) {
    // Cut short it would be another secret; the caller hears that it did not fit.
    Wipe();
    refused_ = true;
    EndDialog(IDOK);
    return;
  }
  if (text_[0] != 0) {
    EndDialog(IDOK);
    return;
  }
  const std::wstring message = classlib::LoadPairText(layout_.empty_message_pair);
  message_box_w(reinterpret_cast<const char16_t *>(message.c_str()), nullptr, MB_OK);
  ::SetFocus(Item(layout_.edit_id));
}

void CSecretPromptDlg::OnDestroy() {
  key_crypt_.Term();
  SetMsgHandled(false);
}

}  // namespace dialogs
}  // namespace v7
