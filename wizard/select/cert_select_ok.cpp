// The selection dialog's OK: the password or PIN is taken and proven by loading the chosen
// entry's keys into the selection record; a failure says why and keeps the dialog open.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "media/certlist.h"
#include "media/keyload.h"
#include "media/registry_settings.h"
#include "media/securedisk/securedisk.h"
#include "media/selection_record.h"
#include "media/smartcard/smartcard.h"
#include "pki/asn1/asn1.h"
#include "pki/asn1/key_types.h"
#include "pki/asn1/x509_types.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/pkcs12.h"
#include "pki/keys/vid_random.h"
#include "platform/classlib/app.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "wizard/dialogs/error_exports.h"
#include "wizard/dialogs/input_pin_dlg.h"
#include "wizard/keyload/read_cert_pair.h"
#include "wizard/records/request_record.h"
#include "wizard/res/string_ids.h"
#include "wizard/select/cert_select_dlg.h"

using v7::classlib::LoadPairText;
namespace sel = v7::select;

namespace {

const char16_t *u16(const std::wstring &text) { return reinterpret_cast<const char16_t *>(text.c_str()); }

// Replaces an owned PIN text (medium data of a card list or entry) with a copy of pin.
void replace_pin_copy(void **slot, const char *pin) {
  char *old = static_cast<char *>(*slot);
  if (old != nullptr) {
    v7::secure_wipe(old, strlen(old));
    free(old);
  }
  const size_t n = strlen(pin);
  char *copy = static_cast<char *>(malloc(n + 1));
  if (copy != nullptr) memcpy(copy, pin, n + 1);
  *slot = copy;
}

// Asks the card's PIN: 0 with it in pin (64 bytes), 1 cancelled, 2 empty.
int ask_card_pin(char *pin) {
  const int rc = v7::dialogs::AskPin(pin);
  if (rc == v7::kErrUserCancelled) return 1;
  return rc == 0 && pin[0] != 0 ? 0 : 2;
}

}  // namespace

void CCertSelectDlg::OnOK() {
  if (busy_ != 0 || record_ == nullptr) return;
  BusyScope busy(this);
  const RelayRequestRecord *request = record_->request;
  const sel::OkPlan plan = sel::ok_plan(medium_, request->forced_medium, request->dialog_flags, card_probe_);
  if (plan.end_at_once) {
    EndDialog(IDOK);
    return;
  }
  err_ctx_clear(record_->errors);
  CERT_ENTRY *entry = SelectedEntry();
  if (entry == nullptr) {
    ShowNotice(IDS_SELECT_CERTIFICATE, MB_ICONEXCLAMATION);
    return;
  }
  record_->chosen = entry;
  HWND edit = Item(IDC_SELECT_PASSWORD);
  if (plan.ask_card_pin) {
    char pin[64] = {};
    const int asked = ask_card_pin(pin);
    if (asked == 1) pin_cancelled_ = true;
    if (asked == 2) ShowNotice(IDS_ENTER_PIN, MB_ICONEXCLAMATION);
    if (asked == 0) {
      replace_pin_copy(&record_->list->medium_data, pin);
      replace_pin_copy(&entry->medium_data, pin);
      CertListSetPin(record_, pin);
    }
    v7::secure_wipe(pin, sizeof pin);
    if (asked != 0) return;
  }
  char secret[kSecretTextCapacity] = {};
  if (plan.read_token_pin || plan.read_password) {
    keycrypt_.GetTextA(secret, edit);
  }
  if (plan.read_token_pin) {
    if (secret[0] == 0) {
      ShowNotice(IDS_ENTER_PIN, MB_ICONEXCLAMATION);
      return;
    }
    CertListSetPin(record_, secret);
    record_->token_approved = token_approved_;
  }
  if (plan.read_password) {
    CertListSetPassword(record_, secret);
    if (plan.password_required && secret[0] == 0) {
      v7::secure_wipe(secret, sizeof secret);
      ShowNotice(IDS_ENTER_PASSWORD, MB_ICONEXCLAMATION);
      return;
    }
  }
  v7::secure_wipe(secret, sizeof secret);

  // OK stays disabled while the keys load: the key files' work runs no loop, but the prompts and
  // boxes around it do.
  ::EnableWindow(Item(IDOK), FALSE);
  bool km_attempted = false;
  const bool loaded = LoadKeys(entry, plan, &km_attempted);
  const int error = errno;
  if (loaded && (request->forced_medium == kForcedMediumHardDisk || request->forced_medium == kForcedMediumKmCheck) &&
      entry->media_code == kMediumSmartCard && sc_probe_card(record_->pin) == 1 && entry->sig_alg == 5377) {
    const std::wstring text = LoadPairText(IDS_OLD_CARD_CERT_ASK);
    const std::wstring caption = LoadPairText(IDS_NOTICE_CAPTION);
    if (v7::message_box_w(u16(text), u16(caption), MB_YESNO | MB_ICONQUESTION) != IDYES) {
      ::EnableWindow(Item(IDOK), TRUE);
      return;
    }
  }
  if (loaded) {
    RememberMedium(entry);
    ::EnableWindow(Item(IDOK), TRUE);
    EndDialog(IDOK);
    return;
  }
  ::SetWindowTextW(edit, L"");
  ReportOkFailure(entry, error, km_attempted, record_->sign_key != nullptr);
  ::EnableWindow(Item(IDOK), TRUE);
}

bool CCertSelectDlg::LoadKeys(CERT_ENTRY *entry, const sel::OkPlan &plan, bool *km_attempted) {
  keyobj_delete(record_->sign_key);
  keyobj_delete(record_->km_key);
  record_->sign_key = record_->km_key = nullptr;
  errno = 0;
  switch (plan.load) {
    case sel::KeyLoad::kUsbKey:
      record_->sign_key = LoadSoftKeyWithPassword(record_, outside_.pair.cert, outside_.pair.cert_length,
                                                  outside_.pair.key, outside_.pair.key_length);
      break;
    case sel::KeyLoad::kPkcs12: {
      const int code = LoadPkcs12Key();
      if (code != 0) {
        v7::dialogs::ShowErrorByCode(code);
        errno = code;
      }
      break;
    }
    case sel::KeyLoad::kPair:
      record_->sign_key = ReadCertPairFromFolder(entry, record_, plan.load_mode);
      if (record_->sign_key != nullptr && plan.km != sel::KmLoad::kNo) {
        if (plan.km == sel::KmLoad::kAlways || ReadKmPairForEntry(record_, entry) == 0) {
          *km_attempted = true;
          record_->km_key = ReadCertPairFromFolder(entry, record_, kKeyLoadKmPair);
        }
      }
      break;
    case sel::KeyLoad::kNone:
      break;
  }
  return record_->sign_key != nullptr && (!*km_attempted || record_->km_key != nullptr);
}

int CCertSelectDlg::LoadPkcs12Key() {
  if (!has_pkcs12_) return v7::kErrInvalidParameter;
  char password[kSecretTextCapacity] = {};
  Certificate *cert = nullptr;
  PrivateKeyInfo *key = nullptr;
  uint8_t *cert_der = nullptr;
  size_t cert_der_len = 0;
  ASN1_BIT_STRING *random = nullptr;
  int code = sel::unseal_password(&pkcs12_.password, password, sizeof password);
  if (code == 0) {
    const PKCS12_OUTPUTS outputs = {&cert, &key, nullptr, nullptr};
    errno = 0;
    if ((pkcs12_import(&outputs, password, pkcs12_.file, pkcs12_.file_length) & 1) == 0)
      code = errno != 0 ? errno : int(v7::kErrPkcs12Format);
  }
  v7::secure_wipe(password, sizeof password);
  if (code == 0 && der_encode_alloc(&asn1_tmpl_certificate, cert, &cert_der, &cert_der_len) == 0)
    code = v7::kErrEncodeFailed;
  if (code == 0) {
    random = pkey_get_vid_random_rec(key);
    if (random == nullptr) code = v7::kErrNoVidRandomR;
    else if (random->data == nullptr || random->len == 0 || random->unused_bits != 0) code = v7::kErrVidRandomUnusable;
  }
  if (code == 0) {
    record_->sign_key = LoadSoftKeyWithRandom(record_, cert_der, cert_der_len, key->private_key.data,
                                              key->private_key.len, random->data, random->len);
    if (record_->sign_key == nullptr) code = errno != 0 ? errno : int(v7::kErrInternal);
  }
  asn1_release(&asn1_tmpl_bit_string, random);
  asn1_release(&asn1_tmpl_certificate, cert);
  asn1_release(&asn1_tmpl_private_key_info, key);
  free(cert_der);
  return code;
}

void CCertSelectDlg::ReportOkFailure(const CERT_ENTRY *entry, int error, bool km_attempted, bool sign_loaded) {
  int tries = 0;
  const bool tries_known = medium_ == kMediumSecureDisk && error == v7::kErrSdWrongPassword &&
                           sd_get_current_pin_count(record_->secure_disk, certentry_slot(entry), &tries) == 0;
  const sel::FailureSummary summary =
      sel::ok_failure_summary(medium_, error, km_attempted, sign_loaded, tries_known, tries);
  std::wstring text = LoadPairText(UINT(summary.pair));
  if (summary.tries_known) {
    const std::wstring format = LoadPairText(IDS_TRIES_LEFT);
    wchar_t line[256];
    _snwprintf(line, 255, format.c_str(), summary.tries);
    line[255] = 0;
    text += L"\n";
    text += line;
  }
  const char16_t *detail = err_ctx_text_w(record_->errors, language_is_korean() ? 0 : 0x200);
  if (detail != nullptr && detail[0] != 0) {
    show_error_dlg_w(record_->errors, text.c_str());
  } else {
    const std::wstring caption = LoadPairText(IDS_NOTICE_CAPTION);
    v7::message_box_w(u16(text), u16(caption), MB_OK | MB_ICONEXCLAMATION);
  }
}

void CCertSelectDlg::RememberMedium(const CERT_ENTRY *entry) {
  const char *subkey = request_text(record_->request->settings_subkey);
  const char *word = sel::last_media_word(medium_);
  if (word != nullptr) reg_write_value(subkey, "Last Media", word);
  if (medium_ == kMediumRemovable) {
    const char drive[] = {char('A' + drive_index_), 0};
    reg_write_value(subkey, "Last Drive", drive);
  }
  if (medium_ == kMediumToken) reg_write_value(subkey, "Last Drive", token_module_.c_str());
  if (entry->subject != nullptr && entry->subject[0] != 0) reg_set_last_access(subkey, entry->subject);
}
