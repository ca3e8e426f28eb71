// The selection dialog's media: loading each medium's list, the drive, token and phone menus,
// viewing a certificate and searching a PKCS#12 file.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "crypto/base/wipe.h"
#include "media/certlist.h"
#include "media/registry_settings.h"
#include "media/securedisk/securedisk.h"
#include "media/selection_record.h"
#include "media/smartcard/smartcard.h"
#include "media/token/p11.h"
#include "media/token/p11_conf.h"
#include "pki/asn1/asn1.h"
#include "pki/asn1/key_types.h"
#include "pki/asn1/x509_types.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/pkcs12.h"
#include "pki/text/strings.h"
#include "platform/classlib/app.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/fs.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "v7config/deployment.h"
#include "wizard/dialogs/error_exports.h"
#include "wizard/dialogs/input_passwd_dlg.h"
#include "wizard/dialogs/input_pin_dlg.h"
#include "wizard/dialogs/open_file_dlg.h"
#include "wizard/dialogs/status_dlg.h"
#include "wizard/dialogs/text_setters.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/pages/media_logic.h"
#include "wizard/records/request_record.h"
#include "wizard/res/string_ids.h"
#include "wizard/select/cert_list.h"
#include "wizard/select/cert_select_dlg.h"
#include "wizard/viewer/cert_view_prop.h"

using v7::classlib::LoadPairText;
namespace sel = v7::select;

namespace {

const char16_t *u16(const std::wstring &text) { return reinterpret_cast<const char16_t *>(text.c_str()); }

uint32_t forced_of(const CertListRecord *record) {
  return record != nullptr && record->request != nullptr ? record->request->forced_medium : 0;
}

// Every medium change starts from an empty list, whatever the last load left in it.
void reset_list(CertListRecord *record) {
  CertListReset(record);
  certlist_free(record->list);
}

// Loads the medium into the record's list and makes it the list on show; the load's code.
int load_list(CertListRecord *record, uint32_t medium, const void *source) {
  reset_list(record);
  errno = 0;
  CERT_ENTRY *first = certlist_load(record->list, medium, source);
  const int code = first == nullptr ? errno : 0;
  CertListSetEntries(first, record);
  return code;
}

// A modeless status window for the length of a load.
class StatusWindow {
 public:
  StatusWindow(HWND owner, UINT pair) {
    dialog_.SetStatusText(LoadPairText(pair));
    shown_ = dialog_.Show(owner);
  }
  ~StatusWindow() {
    if (shown_) dialog_.DestroyWindow();
  }

 private:
  v7::dialogs::CStatus3Dlg dialog_;
  bool shown_ = false;
};

// Runs a popup menu at a screen point and gives the chosen command (0 for none).
UINT track_menu(HMENU menu, HWND owner, POINT at) {
  return UINT(::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0,
                               owner, nullptr));
}

}  // namespace

void CCertSelectDlg::LoadHardDisk() {
  if (forced_of(record_) != kForcedMediumHardDisk) ShowHardDiskTip();
  load_error_ = load_list(record_, kMediumHardDisk, nullptr);
  FillList();
}

void CCertSelectDlg::ShowDriveMenu() {
  wchar_t roots[512] = {};
  const DWORD length = ::GetLogicalDriveStringsW(DWORD(sizeof roots / sizeof roots[0] - 1), roots);
  if (length == 0 || length >= sizeof roots / sizeof roots[0]) return;
  // The setting lives in the settings key itself, as the media page reads it.
  char16_t *setting = nullptr;
  const bool labels =
      reg_read_value_w(nullptr, u"readVolumeInfo", &setting) != 0 || v7::pages::read_volume_info_on(setting);
  free(setting);
  std::vector<v7::pages::DriveInfo> drives;
  for (const wchar_t *root = roots; *root != 0; root += wcslen(root) + 1) {
    if (root[0] > 0x7F) continue;
    v7::pages::DriveInfo drive{char(root[0]), ::GetDriveTypeW(root), false, {}};
    const char upper = drive.letter >= 'a' ? char(drive.letter - 'a' + 'A') : drive.letter;
    // A label is read only where it is shown: asking a floppy or a network drive can take long.
    if (labels && upper != 'A' && (drive.drive_type == DRIVE_REMOVABLE || drive.drive_type == DRIVE_CDROM)) {
      wchar_t label[MAX_PATH + 1] = {};
      drive.label_read = ::GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) != 0;
      drive.label.assign(label, label + wcslen(label));
    }
    drives.push_back(drive);
  }
  HMENU menu = ::CreatePopupMenu();
  for (const v7::pages::DriveMenuEntry &entry : v7::pages::drive_menu(drives, windows_drive_, labels)) {
    const std::wstring text(entry.text.begin(), entry.text.end());
    ::AppendMenuW(menu, MF_STRING, entry.command, text.c_str());
  }
  POINT at;
  UINT command = 0;
  if (SelectedItemCenter(kMediumRemovable, &at)) command = track_menu(menu, m_hWnd, at);
  ::DestroyMenu(menu);
  const char letter = v7::pages::drive_of_command(command);
  if (letter != 0) LoadDrive(letter);
}

void CCertSelectDlg::OnDriveCommand(UINT id) {
  if (busy_ != 0) return;
  BusyScope busy(this);
  const char letter = v7::pages::drive_of_command(id);
  if (letter != 0) LoadDrive(letter);
}

void CCertSelectDlg::LoadDrive(char letter) {
  drive_index_ = letter - 'A';
  const std::wstring prefix = Text(&sel::DialogTexts::removable_prefix);
  const std::u16string shown = v7::pages::removable_item_text(std::u16string(prefix.begin(), prefix.end()), letter);
  SetItemLabel(kMediumRemovable, std::wstring(shown.begin(), shown.end()));
  const char drive[] = {letter, ':', 0};
  load_error_ = load_list(record_, kMediumRemovable, drive);
  FillList();
}

void CCertSelectDlg::ShowTokenMenu() {
  remembered_ = false;
  token_module_.clear();
  token_name_.clear();
  p11_conf_free(tokens_);
  tokens_ = nullptr;
  p11_conf_load(forced_of(record_) != kForcedMediumNone ? "SDisk" : nullptr, &tokens_);
  HMENU menu = ::CreatePopupMenu();
  unsigned n = 0;
  for (const P11_TOKEN_ENTRY *e = tokens_ != nullptr ? tokens_->first : nullptr; e != nullptr; e = e->next) {
    ++n;
    // Only ten tokens have commands; a further one would do nothing when chosen, so it is not shown.
    if (sel::kTokenCommandBase + n > IDM_SELECT_TOKEN_LAST) break;
    v7::dialogs::AppendMenuSetting(menu, MF_STRING, sel::kTokenCommandBase + n, e->info != nullptr ? e->info : "");
  }
  ::AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"--------------------------------------");
  ::AppendMenuW(menu, MF_STRING, IDM_SELECT_TOKEN_INSTALL, LoadPairText(IDS_HSM_PROGRAM_INSTALL).c_str());
  POINT at;
  UINT command = 0;
  if (SelectedItemCenter(kMediumToken, &at)) command = track_menu(menu, m_hWnd, at);
  ::DestroyMenu(menu);
  if (command >= IDM_SELECT_TOKEN_FIRST && command <= IDM_SELECT_TOKEN_LAST) ChooseToken(command);
  if (command == IDM_SELECT_TOKEN_INSTALL) v7::dialogs::open_link(V7_TOKEN_APPROVAL_PAGE);
}

void CCertSelectDlg::OnTokenCommand(UINT id) {
  if (busy_ != 0) return;
  BusyScope busy(this);
  ChooseToken(id);
}

void CCertSelectDlg::ChooseToken(UINT id) {
  const unsigned wanted = id - sel::kTokenCommandBase;
  const P11_TOKEN_ENTRY *e = tokens_ != nullptr ? tokens_->first : nullptr;
  for (unsigned n = 1; e != nullptr && n < wanted; ++n) e = e->next;
  if (e == nullptr || e->name == nullptr) return;
  token_approved_ = p11_module_verify_approval(e) == 0 ? 1 : 0;
  if (token_approved_ == 0) {
    const uint32_t forced = forced_of(record_);
    const UINT pair = forced == kForcedMediumApproval3 || forced == kForcedMediumApproval4
                          ? IDS_HSM_UNVERIFIED_RENEW_ASK
                          : IDS_HSM_NOT_APPROVED_ASK;
    const std::wstring text = LoadPairText(pair);
    if (v7::message_box_w(u16(text), nullptr, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) return;
  }
  token_name_ = v7::dialogs::setting_screen_text(e->section);
  token_module_.assign(e->name, strnlen(e->name, 2047));
  OpenToken(token_module_);
}

void CCertSelectDlg::OnTokenInstall() { v7::dialogs::open_link(V7_TOKEN_APPROVAL_PAGE); }

void CCertSelectDlg::OpenToken(const std::string &module_path) {
  int code = 0;
  {
    StatusWindow status(m_hWnd, IDS_FINDING_CERTIFICATES);
    p11_module_release(record_->token_module);
    record_->token_module = nullptr;
    P11_MODULE *module = p11_module_load(module_path.c_str());
    code = module == nullptr ? errno : p11_module_open(module);
    if (code == 0) {
      record_->token_module = module;
      const uint32_t medium = sel::opens_empty(forced_of(record_)) ? kMediumTokenVariant : kMediumTokenModule;
      load_error_ = load_list(record_, medium, module);
    } else {
      p11_module_free(module);
    }
  }
  if (code != 0) {
    v7::dialogs::ShowErrorByCode(code);
    return;
  }
  FillList();
}

void CCertSelectDlg::LoadSmartCard() {
  if (record_->pin != nullptr) {
    v7::secure_wipe(record_->pin, kSecretTextCapacity);
    free(record_->pin);
    record_->pin = nullptr;
  }
  errno = 0;
  card_probe_ = sc_probe_card(nullptr);
  if (card_probe_ == 0 && errno == v7::kErrCardAbsent) {
    reset_list(record_);
    load_error_ = v7::kErrCardAbsent;
    FillList();
    return;
  }
  if (card_probe_ != 2) {
    char pin[64] = {};
    const int rc = v7::dialogs::AskPin(pin);
    if (rc == v7::kErrUserCancelled) {
      pin_cancelled_ = true;
      return;
    }
    if (rc == 0 && pin[0] != 0) CertListSetPin(record_, pin);
    v7::secure_wipe(pin, sizeof pin);
  }
  {
    StatusWindow status(m_hWnd, IDS_READING_CERTIFICATE);
    load_error_ = load_list(record_, kMediumSmartCard, record_->pin);
  }
  FillList();
}

void CCertSelectDlg::LoadSecureDisk() {
  const RelayRequestRecord *request = record_->request;
  const uint32_t forced = forced_of(record_);
  if (forced == kForcedMediumSecureDiskNoPw) {
    ::ShowWindow(Item(IDC_SELECT_PW_LABEL), SW_HIDE);
    ::ShowWindow(Item(IDC_SELECT_PASSWORD), SW_HIDE);
  }
  sd_handle_release(record_->secure_disk);
  record_->secure_disk = nullptr;
  err_ctx_clear(record_->errors);
  // The module's signature is checked before it is loaded: a refused file never runs.
  SecureDiskHandle *handle = nullptr;
  const int check_signer = forced == kForcedMediumApproval3 || forced == kForcedMediumApproval4 ? 1 : 0;
  int rc = sd_module_load_checked(record_->errors, check_signer, &handle);
  if (rc == v7::kErrModuleLoad || rc == v7::kErrModuleNoSymbol) {
    v7::dialogs::open_web_page(request, v7::dialogs::kInstallPageSecureDisk);
    return;
  }
  if (rc == 0) {
    rc = sd_open(handle);
    if (rc != 0) err_push(record_->errors, rc, sd_last_error_text(handle));
  }
  if (rc == 0) {
    char *version = nullptr;
    const bool readable = sd_get_version_text(handle, &version) == 0 && version != nullptr;
    const bool old = !readable || version_compare(version, request_text(request->secure_disk.min_version)) < 0;
    free(version);
    if (old) {
      sd_handle_release(handle);
      v7::dialogs::open_web_page(request, v7::dialogs::kInstallPageSecureDisk);
      return;
    }
    record_->secure_disk = handle;
    load_error_ = load_list(record_, kMediumSecureDisk, handle);
    FillList();
    return;
  }
  if (err_ctx_text_w(record_->errors, 0) == nullptr) err_push(record_->errors, rc, nullptr);
  v7::dialogs::ShowSecureDiskError(record_->errors);
  sd_handle_release(handle);
}

void CCertSelectDlg::StartPhone() {
  const uint32_t bits = record_->request->media_bits;
  if ((bits & kRequestMediaPhone) != 0 && (bits & kRequestMediaPhoneAlt) != 0) {
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING, IDM_SELECT_PHONE_SIGN, Text(&sel::DialogTexts::phone_sign).c_str());
    ::AppendMenuW(menu, MF_STRING, IDM_SELECT_PHONE_USBKEY, Text(&sel::DialogTexts::phone_usbkey).c_str());
    POINT at;
    UINT command = 0;
    if (SelectedItemCenter(kMediumPhone, &at)) command = track_menu(menu, m_hWnd, at);
    ::DestroyMenu(menu);
    if (command == IDM_SELECT_PHONE_SIGN) v7::keyload::LoadPhoneCertificate(this, record_, &outside_);
    if (command == IDM_SELECT_PHONE_USBKEY) StartUsbKey();
    return;
  }
  if ((bits & kRequestMediaPhone) != 0) {
    RECT dialog;
    GetWindowRect(&dialog);
    phone_tip_.ShowTip(nullptr, POINT{dialog.right - 10, dialog.bottom - 250},
                       std::u16string(u16(LoadPairText(IDS_PHONE_SIGN_TIP))));
    v7::keyload::LoadPhoneCertificate(this, record_, &outside_);
  }
  // The second phone service alone starts nothing.
}

void CCertSelectDlg::StartUsbKey() {
  medium_ = kMediumUsbKey;
  reset_list(record_);
  v7::keyload::LoadUbiKeyCertificate(this, record_, &outside_);
}

void CCertSelectDlg::OnPhoneSign() {
  if (busy_ != 0) return;
  BusyScope busy(this);
  v7::keyload::LoadPhoneCertificate(this, record_, &outside_);
}

void CCertSelectDlg::OnPhoneUsbKey() {
  if (busy_ != 0) return;
  BusyScope busy(this);
  StartUsbKey();
}

void CCertSelectDlg::OnView() {
  if (busy_ != 0) return;
  BusyScope busy(this);
  ::EnableWindow(Item(IDC_SELECT_VIEW), FALSE);
  const CERT_ENTRY *entry = SelectedEntry();
  if (entry == nullptr) {
    ShowNotice(IDS_SELECT_CERTIFICATE, MB_ICONEXCLAMATION);
    ::EnableWindow(Item(IDC_SELECT_VIEW), TRUE);
    return;
  }
  uint8_t *sign = nullptr, *km = nullptr;
  size_t sign_len = 0, km_len = 0;
  int code = 0;
  if (entry->media_code == kMediumToken) {
    const TokenEntryId *id = static_cast<const TokenEntryId *>(entry->medium_data);
    code = record_->token_module == nullptr || id == nullptr
               ? int(v7::kErrP11NoModulePath)
               : p11_read_cert_and_id(record_->token_module, id->id, id->length, &sign, &sign_len, &km, &km_len);
  } else if (entry->media_code == kMediumSecureDisk) {
    code = sd_get_cert(record_->secure_disk, certentry_slot(entry), 2, &sign, &sign_len);
    sd_get_cert(record_->secure_disk, certentry_slot(entry), 3, &km, &km_len);
  } else {
    sign_len = cert_read_sign_cert(entry, &sign);
    if (sign_len == 0) code = errno;
    km_len = (entry->parts & kPartKmCert) != 0 ? cert_read_km_cert(entry, &km) : 0;
  }
  if (sign_len == 0 && km_len == 0) {
    if (code != 0) {
      v7::dialogs::ShowErrorByCode(code);
    } else {
      ShowNotice(IDS_READING_CERTIFICATE, MB_ICONEXCLAMATION);
    }
  } else if (v7::viewer::ShowCertificateViewer(record_->request, entry, sign, sign_len, km, km_len) == -1) {
    // Bytes that are no certificate open no viewer: the user is told why instead.
    v7::dialogs::ShowErrorByCode(errno != 0 ? errno : int(v7::kErrAsn1Decode));
  }
  free(sign);
  free(km);
  ::EnableWindow(Item(IDC_SELECT_VIEW), TRUE);
}

void CCertSelectDlg::OnSearch() {
  if (busy_ != 0) return;
  BusyScope busy(this);
  char path[v7::dialogs::kPathOutCapacity] = {};
  char password[v7::dialogs::kPasswordOutCapacity] = {};
  uint8_t *file = nullptr;
  size_t file_len = 0;
  uint8_t *sign_der = nullptr, *km_der = nullptr;
  size_t sign_der_len = 0, km_der_len = 0;
  Certificate *sign_cert = nullptr, *km_cert = nullptr;
  PrivateKeyInfo *sign_key = nullptr, *km_key = nullptr;
  sel::Pkcs12ImportRecord imported{};
  int code = v7::dialogs::ChoosePkcs12File(path);
  if (code == 0 && platform_fs_read_all(path, &file, &file_len) != 0) code = v7::kErrFileRead;
  if (code == 0) code = v7::dialogs::AskPkcs12Password(password);
  if (code == -1) code = v7::kErrInvalidParameter;
  bool silent = code == v7::kErrUserCancelled;
  if (code == 0) {
    const PKCS12_OUTPUTS outputs = {&sign_cert, &sign_key, &km_cert, &km_key};
    errno = 0;
    if ((pkcs12_import(&outputs, password, file, file_len) & 1) == 0) {
      code = errno == v7::kErrSymmetricDecrypt || errno == v7::kErrPkcs12VerifyMac ? int(v7::kErrPkcs12Password) : errno;
      // A file that opened but holds no signing pair ends without a word.
      silent = code == 0;
      if (silent) code = -1;
    }
  }
  if (code == 0) code = sel::seal_password(password, &imported.password);
  v7::secure_wipe(password, sizeof password);
  if (code == 0 && (der_encode_alloc(&asn1_tmpl_certificate, sign_cert, &sign_der, &sign_der_len) == 0 ||
                    (km_cert != nullptr &&
                     der_encode_alloc(&asn1_tmpl_certificate, km_cert, &km_der, &km_der_len) == 0)))
    code = v7::kErrEncodeFailed;
  if (code == 0) {
    const MemoryCertPair pair = {sign_der, sign_der_len, km_der, km_der_len};
    code = load_list(record_, kMediumMemory, &pair);
  }
  asn1_release(&asn1_tmpl_certificate, sign_cert);
  asn1_release(&asn1_tmpl_certificate, km_cert);
  asn1_release(&asn1_tmpl_private_key_info, sign_key);
  asn1_release(&asn1_tmpl_private_key_info, km_key);
  free(sign_der);
  free(km_der);
  if (code != 0) {
    sel::free_pkcs12_import(&imported);
    free(file);
    if (!silent) ShowSearchFailure(code);
    return;
  }
  medium_ = kMediumMemory;
  hdd_tip_.Hide();
  hdd_tip_shown_ = false;
  SetItemLabel(kMediumRemovable, Text(&sel::DialogTexts::removable));
  ListView_DeleteAllItems(Item(IDC_SELECT_CERTS));
  FillList();
  sel::free_pkcs12_import(&pkcs12_);
  imported.file = file;
  imported.file_length = file_len;
  pkcs12_ = imported;
  has_pkcs12_ = true;
}
