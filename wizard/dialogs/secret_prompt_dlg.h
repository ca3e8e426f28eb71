// What the password and PIN prompts share: a keyboard-protected edit read into a wiped 128-byte
// narrow buffer, OK refused while the edit is empty, and the English texts over the Korean
// template.
#pragma once

#include "platform/classlib/dialog.h"
#include "platform/classlib/message_map.h"
#include "wizard/dialogs/dialog_logic.h"
#include "wizard/keycrypt/key_crypt.h"
#include "wizard/keycrypt/keycrypt_rules.h"

namespace v7 {
namespace dialogs {

// One prompt's template, controls and texts.
struct SecretPromptLayout {
  UINT template_id;
  int edit_id;
  int label_id;
  UINT english_label_string;  // loaded as it stands, not as a pair
  const wchar_t *english_caption;
  UINT empty_message_pair;    // shown when OK is pressed on an empty edit
};

class CSecretPromptDlg : public classlib::CDialog {
 public:
  explicit CSecretPromptDlg(const SecretPromptLayout &layout);
  ~CSecretPromptDlg() override;

  // The typed text after OK; valid until Wipe or the object goes.
  const char *Text() const { return text_; }
  // True when the typed text did not fit the buffer or had no narrow form (Text is then empty).
  bool Refused() const { return refused_; }
  void Wipe();
  // The run's outcome for the result functions.
  PromptEntry Entry(int modal_result) const { return PromptEntry{modal_result, text_, refused_}; }

  BOOL OnInitDialog() override;
  void OnOK() override;

  BEGIN_MSG_MAP(CSecretPromptDlg)
    MSG_WM_DESTROY(OnDestroy)
  END_MSG_MAP()

 private:
  void OnDestroy();

  SecretPromptLayout layout_;
  char text_[kEntryCapacity];
  bool refused_ = false;
  keycrypt::CKeyCrypt key_crypt_;
};

}  // namespace dialogs
}  // namespace v7
