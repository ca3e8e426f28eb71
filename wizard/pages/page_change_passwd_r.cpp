#include "wizard/pages/page_change_passwd_r.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "crypto/base/wipe.h"
#include "media/store/store.h"
#include "pki/asn1/asn1.h"
#include "pki/asn1/key_types.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/pkcs8.h"
#include "pki/password/password.h"
#include "platform/classlib/app.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "relay/session/session.h"
#include "wizard/dialogs/error_exports.h"
#include "wizard/dialogs/status_dlg.h"
#include "wizard/pages/sender_logic.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {
namespace {

using v7::classlib::LoadPairText;
using v7::classlib::LoadText;

const int kNewControls[] = {IDC_PWR_RULES_GROUP, IDC_PWR_RULES,         IDC_PWR_NEW_LABEL,
                            IDC_PWR_NEW_EDIT,    IDC_PWR_CONFIRM_LABEL, IDC_PWR_CONFIRM_EDIT};
const int kGradeControls[] = {IDC_PWR_GRADE_TEXT, IDC_PWR_IMAGE_WEAK, IDC_PWR_IMAGE_GOOD, IDC_PWR_IMAGE_STRONG,
                              IDC_PWR_RULE_TEXT};
const int kImages[] = {IDC_PWR_IMAGE_WEAK, IDC_PWR_IMAGE_GOOD, IDC_PWR_IMAGE_STRONG};

void free_secret(uint8_t *buffer, size_t length) {
  if (buffer == nullptr) return;
  secure_wipe(buffer, length);
  free(buffer);
}

}  // namespace

CPageChangePasswdR::CPageChangePasswdR() : CRelayPage(IDD) { WipeBuffers(); }

CPageChangePasswdR::~CPageChangePasswdR() { WipeBuffers(); }

void CPageChangePasswdR::WipeBuffers() {
  secure_wipe(phone_, sizeof phone_);
  secure_wipe(new_, sizeof new_);
  secure_wipe(confirm_, sizeof confirm_);
}

uint32_t CPageChangePasswdR::MediumKind() const {
  const StoreMedium *medium = Sheet() != nullptr ? Sheet()->Target() : nullptr;
  return medium != nullptr ? uint32_t(medium->kind) : 0;
}

BOOL CPageChangePasswdR::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_PWR_DESCRIPTION, IDS_PWCHANGER_DESCRIPTION);
  SetPairText(IDC_PWR_CHECK, IDS_PWCHANGER_CHECK);
  SetPairText(IDC_PWR_PHONE_LABEL, IDS_PWCHANGER_PHONE_LABEL);
  SetPairText(IDC_PWR_NEW_LABEL, IDS_PWCHANGER_NEW_LABEL);
  SetPairText(IDC_PWR_CONFIRM_LABEL, IDS_PWCHANGER_CONFIRM_LABEL);
  SetPairText(IDC_PWR_GRADE_LABEL, IDS_PWCHANGER_GRADE_LABEL);
  SetPairText(IDC_PWR_RULES_GROUP, IDS_PASSWORD_RULES_GROUP);
  SetPairText(IDC_PWR_RULES, IDS_PASSWORD_RULES);
  key_crypt_.Prepare(L"");
  key_crypt_.Init();
  key_crypt_.Protect(Item(IDC_PWR_PHONE_EDIT));
  key_crypt_.Protect(Item(IDC_PWR_CONFIRM_EDIT));
  key_crypt_.Protect(Item(IDC_PWR_NEW_EDIT));
  CheckDlgButton(IDC_PWR_CHECK, BST_UNCHECKED);
  change_ = 0;
  grade_ = -1;
  last_kind_ = 0;
  WipeBuffers();
  return FALSE;
}

BOOL CPageChangePasswdR::OnSetActive() {
  const uint32_t kind = MediumKind();
  // Nothing to store onto: the wizard passes this page by.
  if (kind == 0) return FALSE;
  if (kind != last_kind_) {
    LayOut(kind);
    ::SetFocus(Item(IDC_PWR_PHONE_EDIT));
    last_kind_ = kind;
  }
  UpdateButtons();
  return CRelayPage::OnSetActive();
}

void CPageChangePasswdR::LayOut(uint32_t kind) {
  const PasswordLayout layout = password_layout(kind);
  SetPairText(IDC_PWR_DESCRIPTION, layout.description);
  change_ = 0;
  CheckDlgButton(IDC_PWR_CHECK, BST_UNCHECKED);
  ::ShowWindow(Item(IDC_PWR_CHECK), layout.check_shown ? SW_SHOW : SW_HIDE);
  ::EnableWindow(Item(IDC_PWR_PHONE_LABEL), TRUE);
  ::EnableWindow(Item(IDC_PWR_PHONE_EDIT), TRUE);
  for (int id : kNewControls) ::ShowWindow(Item(id), layout.new_controls_shown ? SW_SHOW : SW_HIDE);
  ::ShowWindow(Item(IDC_PWR_GRADE_LABEL), layout.new_controls_shown ? SW_SHOW : SW_HIDE);
  if (!layout.new_controls_shown) {
    for (int id : kGradeControls) ::ShowWindow(Item(id), SW_HIDE);
    return;
  }
  ApplyCheck();
}

void CPageChangePasswdR::OnCheck() {
  ApplyCheck();
  UpdateButtons();
}

void CPageChangePasswdR::ApplyCheck() {
  const uint32_t kind = MediumKind();
  change_ = IsDlgButtonChecked(IDC_PWR_CHECK) == BST_CHECKED ? 1 : 0;
  const PasswordEnables enables = password_enables(kind, change_ != 0);
  ::EnableWindow(Item(IDC_PWR_PHONE_LABEL), enables.phone);
  ::EnableWindow(Item(IDC_PWR_PHONE_EDIT), enables.phone);
  for (int id : kNewControls) ::EnableWindow(Item(id), enables.new_controls);
  if (enables.new_controls) {
    OnNewChange();
  } else {
    ::EnableWindow(Item(IDC_PWR_GRADE_LABEL), FALSE);
    for (int id : kGradeControls) ::ShowWindow(Item(id), SW_HIDE);
  }
}

bool CPageChangePasswdR::ReadEdits() {
  WipeBuffers();
  const int a = key_crypt_.GetTextA(phone_, Item(IDC_PWR_PHONE_EDIT));
  const int b = key_crypt_.GetTextA(new_, Item(IDC_PWR_NEW_EDIT));
  const int c = key_crypt_.GetTextA(confirm_, Item(IDC_PWR_CONFIRM_EDIT));
  return a == 0 && b == 0 && c == 0;
}

void CPageChangePasswdR::OnNewChange() {
  ReadEdits();
  if (new_[0] != 0) {
    grade_ = password_strength(new_);
    ShowGrade(true);
  } else {
    // An emptied entry has no grade: it no longer opens Next.
    grade_ = -1;
    ShowGrade(false);
  }
  WipeBuffers();
  UpdateButtons();
}

void CPageChangePasswdR::ShowGrade(bool shown) {
  if (!shown) {
    ::EnableWindow(Item(IDC_PWR_GRADE_LABEL), FALSE);
    for (int id : kGradeControls) ::ShowWindow(Item(id), SW_HIDE);
    return;
  }
  const GradeView view = grade_view(grade_);
  if (view.keep) return;
  HWND rule = Item(IDC_PWR_RULE_TEXT);
  if (view.rule_shown) {
    // The rule text draws on a transparent background: the old text must be erased first.
    RECT area;
    ::GetWindowRect(rule, &area);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT *>(&area), 2);
    ::InvalidateRect(m_hWnd, &area, TRUE);
    const char16_t *text = password_rule_text_w(view.rule_code, rule_text_language(language_id()));
    ::SetWindowTextW(rule, reinterpret_cast<const wchar_t *>(text));
    ::ShowWindow(rule, SW_SHOW);
    ::EnableWindow(Item(IDC_PWR_GRADE_LABEL), FALSE);
    ::ShowWindow(Item(IDC_PWR_GRADE_TEXT), SW_HIDE);
    for (int id : kImages) ::ShowWindow(Item(id), SW_HIDE);
    return;
  }
  ::ShowWindow(rule, SW_HIDE);
  ::EnableWindow(Item(IDC_PWR_GRADE_LABEL), TRUE);
  SetPairText(IDC_PWR_GRADE_TEXT, view.grade_text);
  ::ShowWindow(Item(IDC_PWR_GRADE_TEXT), SW_SHOW);
  const int image = recipient_grade_image(grade_);
  for (int id : kImages) ::ShowWindow(Item(id), id == image ? SW_SHOW : SW_HIDE);
}

void CPageChangePasswdR::UpdateButtons() {
  ReadEdits();
  const WizardButtonFlags buttons =
      password_page_buttons(MediumKind(), change_ != 0, grade_, confirm_[0] == 0, phone_[0] == 0);
  WipeBuffers();
  PostButtons(buttons);
}

LRESULT CPageChangePasswdR::Stay(UINT korean_text_id) {
  if (korean_text_id != 0) {
    // These messages load their Korean text whatever the language.
    const std::wstring text = LoadText(korean_text_id);
    message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), u"", MB_OK);
  }
  WipeBuffers();
  PostButtons(kButtonsBack);
  return -1;
}

LRESULT CPageChangePasswdR::OnWizardNext() {
  v7::sheet::CSheetCertRelay *sheet = Sheet();
  if (sheet == nullptr || sheet->Target() == nullptr) return -1;
  const ReceivedCertRecord *received = sheet->Received();
  // A set whose parts do not fit together cannot be stored, whatever was typed: the status page
  // says why.
  const int parts = received_set_check(received);
  if (parts != 0) {
    sheet->SetStoreResult(parts);
    return CRelayPage::OnWizardNext();
  }
  if (!ReadEdits()) {
    // An entry cut to fit would be a password nobody typed.
    const std::wstring text = LoadPairText(IDS_PASSWORD_TOO_LONG);
    message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), u"", MB_OK);
    return Stay(0);
  }
  if (change_ == 0) {
    secure_wipe(new_, sizeof new_);
    secure_wipe(confirm_, sizeof confirm_);
  }
  switch (password_page_next(change_ != 0, phone_, new_, strlen(new_), confirm_, strlen(confirm_))) {
    case RecipientNext::kPhoneEmpty: return Stay(IDS_PHONE_PASSWORD_EMPTY);
    case RecipientNext::kMismatch: return Stay(IDS_PASSWORD_MISMATCH);
    case RecipientNext::kWeak: return Stay(0);
    case RecipientNext::kCheckPhone: {
      PrivateKeyInfo *key = pkey_decrypt(received->sign_key, received->sign_key_len, phone_);
      if (key == nullptr) return Stay(IDS_PHONE_PASSWORD_WRONG);
      asn1_release(&asn1_tmpl_private_key_info, key);
      break;
    }
  }
  PostButtons(kButtonsBackNext);
  v7::dialogs::CStatus2Dlg status;
  const bool shown = status.Show(sheet->m_hWnd);
  std::string kept_backup, left_copy;
  const int rc = Store(&kept_backup, &left_copy);
  if (shown) ::DestroyWindow(status.m_hWnd);
  WipeBuffers();
  sheet->SetStoreResult(rc, kept_backup.empty() ? nullptr : kept_backup.c_str(),
                        left_copy.empty() ? nullptr : left_copy.c_str());
  return CRelayPage::OnWizardNext();
}

int CPageChangePasswdR::Store(std::string *kept_backup, std::string *left_copy) {
  v7::sheet::CSheetCertRelay *sheet = Sheet();
  const ReceivedCertRecord *r = sheet->Received();
  STORE_CTX *ctx = store_ctx_new();
  if (ctx == nullptr) return kErrOutOfMemory;
  const bool has_km = r->km_key != nullptr && r->km_key_len != 0;
  uint8_t *sign_key = nullptr, *km_key = nullptr;
  size_t sign_key_len = 0, km_key_len = 0;
  int rc = 0;
  if (change_ != 0) {
    rc = store_reencrypt_key(ctx, r->sign_key, r->sign_key_len, phone_, new_, &sign_key, &sign_key_len);
    if (rc == 0 && has_km)
      rc = store_reencrypt_key(ctx, r->km_key, r->km_key_len, phone_, new_, &km_key, &km_key_len);
  }
  char password[kStorePasswordCapacity];
  if (rc == 0 && !copy_store_password(store_password(change_ != 0, phone_, new_), password))
    rc = kErrInvalidParameter;
  if (rc == 0) {
    const uint8_t *sk = change_ != 0 ? sign_key : r->sign_key;
    const size_t sk_len = change_ != 0 ? sign_key_len : r->sign_key_len;
    const uint8_t *kk = change_ != 0 ? km_key : r->km_key;
    const size_t kk_len = change_ != 0 ? km_key_len : r->km_key_len;
    rc = store_cert_pairs(ctx, password, r->sign_cert, r->sign_cert_len, sk, sk_len, r->km_cert, r->km_cert_len,
                          has_km ? kk : nullptr, has_km ? kk_len : 0, sheet->Target());
    // Stored, with something the user must still hear of: the secure disk's old slot of the
    // holder that stayed beside the new one. A disk's copy of old keys that stayed is named on
    // the status page instead.
    if (rc == 0 && sheet->Target()->kind == kStoreSecureDisk && ctx->errors->newest != nullptr)
      v7::dialogs::ShowSecureDiskError(ctx->errors);
  }
  secure_wipe(password, sizeof password);
  free_secret(sign_key, sign_key_len);
  free_secret(km_key, km_key_len);
  if (rc != 0 && ctx->kept_backup != nullptr) *kept_backup = ctx->kept_backup;
  if (ctx->left_copy != nullptr) *left_copy = ctx->left_copy;
  store_ctx_free(ctx);
  return rc;
}

HBRUSH CPageChangePasswdR::OnCtlColorStatic(HDC dc, HWND control) {
  if (::GetDlgCtrlID(control) != IDC_PWR_RULE_TEXT) {
    SetMsgHandled(false);
    return nullptr;
  }
  return RuleTextBrush(dc);
}

void CPageChangePasswdR::OnDestroy() {
  key_crypt_.Term();
  WipeBuffers();
  // The window is made again when the page comes back to the sheet: it lays itself out anew.
  last_kind_ = 0;
  SetMsgHandled(false);
}

}  // namespace pages
}  // namespace v7
