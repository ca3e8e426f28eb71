#include "wizard/pages/page_media.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "media/certlist.h"
#include "media/registry_settings.h"
#include "media/securedisk/securedisk.h"
#include "media/smartcard/smartcard.h"
#include "media/store/store.h"
#include "media/token/p11_conf.h"
#include "pki/errors/error_ctx.h"
#include "pki/text/strings.h"
#include "pki/x509/cert.h"
#include "platform/classlib/app.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/fs.h"
#include "platform/ui/message_box.h"
#include "relay/session/session.h"
#include "v7config/deployment.h"
#include "wizard/dialogs/error_exports.h"
#include "wizard/dialogs/input_pin_dlg.h"
#include "wizard/dialogs/text_setters.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/records/request_record.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {

using v7::classlib::LoadPairText;
using v7::classlib::LoadText;

namespace {

std::atomic<PopupMenuChooser> g_chooser{nullptr};

int box(UINT text_id, UINT caption_id, unsigned flags) {
  const std::wstring text = LoadPairText(text_id);
  const std::wstring caption = caption_id != 0 ? LoadPairText(caption_id) : std::wstring();
  return message_box_w(reinterpret_cast<const char16_t *>(text.c_str()),
                       reinterpret_cast<const char16_t *>(caption.c_str()), flags);
}

// Whether the medium already holds a certificate of the received certificate's holder.
bool holds_holder(uint32_t media_code, const void *medium, const ReceivedCertRecord *received) {
  if (received == nullptr || received->sign_cert == nullptr) return false;
  CERT_ENTRY *arriving = nullptr;
  if (certentry_from_der(received->sign_cert, received->sign_cert_len, &arriving) != 1 || arriving == nullptr)
    return false;
  auto *list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
  bool found = false;
  if (list != nullptr) {
    for (CERT_ENTRY *e = certlist_load(list, media_code, medium); e != nullptr; e = e->next) {
      if (e->subject_dn != nullptr && arriving->subject_dn != nullptr && strcmp(e->subject_dn, arriving->subject_dn) == 0)
        found = true;
    }
    certlist_free(list);
    free(list);
  }
  certentry_free(arriving);
  return found;
}

}  // namespace

void set_popup_menu_chooser(PopupMenuChooser chooser) { g_chooser.store(chooser); }

CPageMedia::CPageMedia() : CRelayPage(IDD) {
  if (::GetWindowsDirectoryW(windows_folder_, 260) == 0) windows_folder_[0] = 0;
}

CPageMedia::~CPageMedia() {
  FreePin();
  p11_conf_free(tokens_);
  ReleaseSecureDisk();
}

void CPageMedia::FreePin() {
  secure_wipe(pin_, sizeof pin_);
  if (!library_.empty()) secure_wipe(&library_[0], library_.size());
  library_.clear();
}

void CPageMedia::ReleaseSecureDisk() {
  sd_handle_release(secure_disk_);
  secure_disk_ = nullptr;
}

BOOL CPageMedia::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_MEDIA_SELECT, IDS_MEDIA_SELECT);
  SetPairText(IDC_MEDIA_NAMES, IDS_MEDIA_LIST);
  SetPairText(IDC_MEDIA_HDD_NOTE, IDS_MEDIA_HDD_NOTE);
  removable_text_ = LoadPairText(IDS_MEDIUM_REMOVABLE);
  removable_prefix_ = LoadPairText(IDS_MEDIUM_REMOVABLE_PREFIX);

  HWND list = Item(IDC_MEDIA_LIST);
  // The list view owns the image list and destroys it with itself.
  images_ = ::ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 5, 0);
  const HINSTANCE res = v7::classlib::AfxGetResourceHandle();
  for (int icon_id : kMediaImageOrder) {
    HICON icon = HICON(::LoadImageW(res, MAKEINTRESOURCEW(icon_id), IMAGE_ICON, 32, 32, 0));
    ::ImageList_AddIcon(images_, icon);
    if (icon != nullptr) ::DestroyIcon(icon);
  }
  ListView_SetImageList(list, images_, LVSIL_NORMAL);
  ListView_SetExtendedListViewStyle(list, 2);

  item_icons_.clear();
  const uint32_t allowed = Sheet() != nullptr ? Sheet()->AllowedMedia() : 0;
  for (const MediumItem &medium : media_items(allowed)) {
    std::wstring text = LoadPairText(medium.text_id);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = int(item_icons_.size());
    item.pszText = &text[0];
    item.iImage = media_image_index(medium.icon);
    item.lParam = medium.icon;
    ::SendMessageW(list, LVM_INSERTITEMW, 0, LPARAM(&item));
    item_icons_.push_back(medium.icon);
  }
  ::SetFocus(list);
  return FALSE;
}

BOOL CPageMedia::OnSetActive() {
  UpdateButtons();
  return CRelayPage::OnSetActive();
}

void CPageMedia::UpdateButtons() { PostButtons(ready_ != 0 ? kButtonsNext : kButtonsNone); }

void CPageMedia::ResetRemovableText() {
  const int item = ItemOf(kStoreRemovable);
  if (item < 0) return;
  LVITEMW text = {};
  text.iSubItem = 0;
  text.pszText = &removable_text_[0];
  ::SendMessageW(Item(IDC_MEDIA_LIST), LVM_SETITEMTEXTW, WPARAM(item), LPARAM(&text));
}

int CPageMedia::ItemOf(uint32_t kind) const {
  for (size_t i = 0; i < item_icons_.size(); ++i) {
    for (const MediumItem &m : media_items(0xFFFFFFFFu)) {
      if (m.icon == item_icons_[i] && m.kind == kind) return int(i);
    }
  }
  return -1;
}

void CPageMedia::SelectItem(int item) {
  ResetRemovableText();
  ready_ = 0;
  UpdateButtons();
  current_ = item;
}

LRESULT CPageMedia::OnListClick(NMHDR *header) {
  const int item = reinterpret_cast<NMITEMACTIVATE *>(header)->iItem;
  if (item < 0 || item >= int(item_icons_.size())) {
    // A click beside the items keeps the medium chosen so far selected.
    const int keep = ItemOf(kind_);
    if (keep >= 0) ListView_SetItemState(Item(IDC_MEDIA_LIST), keep, LVIS_SELECTED | LVIS_FOCUSED,
                                         LVIS_SELECTED | LVIS_FOCUSED);
    return 0;
  }
  // A click on the item already current acts again only while nothing is chosen (after a
  // cancelled menu or PIN, say), so a chosen medium is not asked for twice.
  if (item != current_) {
    SelectItem(item);
    MediumAction(item);
  } else if (ready_ == 0) {
    MediumAction(item);
  }
  return 0;
}

LRESULT CPageMedia::OnListKeyDown(NMHDR *header) {
  const WORD key = reinterpret_cast<NMLVKEYDOWN *>(header)->wVKey;
  HWND list = Item(IDC_MEDIA_LIST);
  if (key == VK_LEFT || key == VK_RIGHT) {
    // The list moves its focus after this notification: look once it has.
    ::PostMessageW(m_hWnd, kFocusMoved, 0, 0);
  } else if (key == VK_SPACE) {
    const int item = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (item >= 0) {
      if (item != current_) SelectItem(item);
      MediumAction(item);
    }
  }
  return 0;
}

LRESULT CPageMedia::OnFocusMoved(WPARAM, LPARAM) {
  const int item = ListView_GetNextItem(Item(IDC_MEDIA_LIST), -1, LVNI_FOCUSED);
  if (item >= 0 && item != current_) SelectItem(item);
  return 0;
}

void CPageMedia::MediumAction(int item) {
  ready_ = 0;
  UpdateButtons();
  if (item < 0 || item >= int(item_icons_.size())) return;
  switch (item_icons_[size_t(item)]) {
    case kIconHardDisk: ChooseHardDisk(); break;
    case kIconRemovable: ShowDriveMenu(item); break;
    case kIconToken: ShowTokenMenu(item); break;
    case kIconIcCard: ChooseIcCard(); break;
    case kIconSecureDisk: ChooseSecureDisk(); break;
    default: break;
  }
}

bool CPageMedia::MayReplace(uint32_t kind, const void *medium) {
  const ReceivedCertRecord *received = Sheet() != nullptr ? Sheet()->Received() : nullptr;
  uint32_t code = 0;
  if (kind == kStoreHardDisk) code = kMediumHardDisk;
  if (kind == kStoreRemovable) code = kMediumRemovable;
  if (kind == kStoreSecurityToken) code = kMediumToken;
  return !(code != 0 && holds_holder(code, medium, received)) || AskReplace();
}

bool CPageMedia::AskReplace() {
  return box(IDS_MEDIUM_HOLDS_SET_ASK, IDS_NOTICE_CAPTION, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CPageMedia::ChooseHardDisk() {
  box(IDS_MEDIA_HDD_WARNING, IDS_CAUTION_CAPTION, MB_OK | MB_ICONEXCLAMATION);
  if (!MayReplace(kStoreHardDisk, nullptr)) return;
  kind_ = kStoreHardDisk;
  ready_ = 1;
  UpdateButtons();
}

unsigned CPageMedia::TrackMenu(HMENU menu, int item) {
  RECT area = {};
  ListView_GetItemRect(Item(IDC_MEDIA_LIST), item, &area, LVIR_BOUNDS);
  POINT at = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
  ::ClientToScreen(Item(IDC_MEDIA_LIST), &at);
  PopupMenuChooser chooser = g_chooser.load();
  if (chooser != nullptr) return chooser(menu, m_hWnd, at);
  return unsigned(::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, m_hWnd, nullptr));
}

void CPageMedia::ShowDriveMenu(int item) {
  wchar_t roots[512] = {};
  const DWORD length = ::GetLogicalDriveStringsW(DWORD(sizeof roots / sizeof roots[0] - 1), roots);
  if (length == 0 || length >= sizeof roots / sizeof roots[0]) return;
  char16_t *setting = nullptr;
  const bool labels = reg_read_value_w(nullptr, u"readVolumeInfo", &setting) != 0 || read_volume_info_on(setting);
  free(setting);
  std::vector<DriveInfo> drives;
  for (const wchar_t *root = roots; *root != 0; root += wcslen(root) + 1) {
    if (root[0] > 0x7F) continue;
    DriveInfo drive{char(root[0]), ::GetDriveTypeW(root), false, {}};
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
  if (menu == nullptr) return;
  for (const DriveMenuEntry &entry : drive_menu(drives, char(windows_folder_[0]), labels)) {
    const std::wstring text(entry.text.begin(), entry.text.end());
    ::AppendMenuW(menu, MF_STRING, entry.command, text.c_str());
  }
  const unsigned command = TrackMenu(menu, item);
  ::DestroyMenu(menu);
  if (command != 0) ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void CPageMedia::OnDriveChosen(UINT command) {
  const char letter = drive_of_command(command);
  if (letter == 0) return;
  const char drive[3] = {letter, ':', 0};
  if (!MayReplace(kStoreRemovable, drive)) return;
  kind_ = kStoreRemovable;
  drive_ = letter;
  const int item = ItemOf(kStoreRemovable);
  if (item >= 0) {
    const std::u16string prefix(removable_prefix_.begin(), removable_prefix_.end());
    const std::u16string shown = removable_item_text(prefix, letter);
    std::wstring text(shown.begin(), shown.end());
    LVITEMW set = {};
    set.pszText = &text[0];
    ::SendMessageW(Item(IDC_MEDIA_LIST), LVM_SETITEMTEXTW, WPARAM(item), LPARAM(&set));
  }
  ready_ = 1;
  UpdateButtons();
}

void CPageMedia::ShowTokenMenu(int item) {
  p11_conf_free(tokens_);
  tokens_ = nullptr;
  menu_tokens_.clear();
  if (p11_conf_load("SDisk", &tokens_) != 0 || tokens_ == nullptr) return;
  HMENU menu = ::CreatePopupMenu();
  if (menu == nullptr) return;
  for (const P11_TOKEN_ENTRY *e = tokens_->first; e != nullptr && menu_tokens_.size() < kTokenMenuCapacity; e = e->next) {
    const unsigned command = unsigned(kTokenCommandFirst + menu_tokens_.size());
    ::AppendMenuW(menu, MF_STRING, command, v7::dialogs::setting_screen_text(e->info != nullptr ? e->info : "").c_str());
    menu_tokens_.push_back(e);
  }
  ::AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, reinterpret_cast<const wchar_t *>(kTokenMenuSeparator));
  ::AppendMenuW(menu, MF_STRING, kTokenInstallCommand, LoadPairText(IDS_MEDIA_HSM_PROGRAM_INSTALL).c_str());
  const unsigned command = TrackMenu(menu, item);
  ::DestroyMenu(menu);
  if (command != 0) ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void CPageMedia::OnTokenChosen(UINT command) {
  const int index = token_of_command(command, menu_tokens_.size());
  if (index < 0) return;
  const P11_TOKEN_ENTRY *entry = menu_tokens_[size_t(index)];
  if (entry->name == nullptr || entry->name[0] == 0) return;
  approved_ = p11_module_verify_approval(entry) == 0 ? 1 : 0;
  if (approved_ == 0 && box(IDS_HSM_NOT_APPROVED_ASK, IDS_NOTICE_CAPTION, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
    return;
  FreePin();
  library_ = entry->name;
  if (v7::dialogs::AskPin(pin_) != 0) {
    FreePin();
    return;
  }
  if (!MayReplace(kStoreSecurityToken, library_.c_str())) {
    FreePin();
    return;
  }
  kind_ = kStoreSecurityToken;
  ready_ = 1;
  UpdateButtons();
}

void CPageMedia::OnTokenInstall() { v7::dialogs::open_page_address(V7_TOKEN_APPROVAL_PAGE); }

void CPageMedia::ChooseIcCard() {
  const ReceivedCertRecord *received = Sheet() != nullptr ? Sheet()->Received() : nullptr;
  const int bits = received != nullptr ? cert_key_bits(received->sign_cert, received->sign_cert_len) : 0;
  FreePin();
  errno = 0;
  int probe = sc_probe_card(nullptr);
  MediumChoice choice = ic_card_choice(probe, errno, bits, false);
  bool pin_asked = false;
  if (choice == MediumChoice::kAskPinFirst) {
    // Without the PIN this card shows nothing of what it holds: a set there would be replaced
    // unasked, and an empty card's key-length limit applied to one that holds a set.
    if (v7::dialogs::AskPin(pin_) != 0) {
      FreePin();
      return;
    }
    pin_asked = true;
    errno = 0;
    probe = sc_probe_card(pin_);
    choice = ic_card_choice(probe, errno, bits, true);
  }
  const int probe_code = errno;
  switch (choice) {
    case MediumChoice::kRefuseKeyLength:
      box(IDS_IC_CARD_KEY_TOO_LONG, IDS_QUIT_CAPTION, MB_OK | MB_ICONEXCLAMATION);
      FreePin();
      return;
    case MediumChoice::kCannotUse:
      // A refused PIN has had the card's own box already; any other failure is told here.
      if (!sc_pin_box_told(probe_code)) v7::dialogs::ShowErrorByCode(probe_code != 0 ? probe_code : kErrCardAbsent);
      FreePin();
      return;
    case MediumChoice::kAskReplace:
      if (!AskReplace()) {
        FreePin();
        return;
      }
      break;
    default:
      break;
  }
  if (!pin_asked && v7::dialogs::AskPin(pin_) != 0) {
    FreePin();
    return;
  }
  kind_ = kStoreIcCard;
  ready_ = 1;
  UpdateButtons();
}

void CPageMedia::ChooseSecureDisk() {
  ReleaseSecureDisk();
  ERROR_CTX errors = {};
  ERROR_CTX *ctx = &errors;
  const RelayRequestRecord *request = Sheet() != nullptr ? Sheet()->Request() : nullptr;
  int rc = 0;
  bool install = false;
  char folder[kSdPathCapacity] = {};
  if (request == nullptr) {
    rc = kErrNoRequestRecord;
    err_push(ctx, rc, nullptr);
  } else if (!platform_fs_system_folder_a(folder, sizeof folder)) {
    rc = kErrSdSystemFolder;
    err_push(ctx, rc, nullptr);
  } else {
    // The module's signature is checked before it is loaded: a refused module never runs.
    rc = sd_module_load_verified(ctx, folder, 1, &secure_disk_);
    if (rc == kErrModuleLoad || rc == kErrModuleNoSymbol) {
      install = true;
      rc = 0;
    } else if (rc != 0 && ctx->newest == nullptr) {
      // The signature check pushes its own failures; a load that failed before it did not.
      err_push(ctx, rc, nullptr);
    }
  }
  if (rc == 0 && !install) {
    rc = sd_open(secure_disk_);
    if (rc != 0) err_push(ctx, rc, sd_last_error_text(secure_disk_));
  }
  if (rc == 0 && !install) {
    char *version = nullptr;
    const bool read = sd_get_version_text(secure_disk_, &version) == 0;
    install = secure_disk_needs_install(read ? version : nullptr, request->secure_disk);
    free(version);
  }
  MediumChoice choice = MediumChoice::kTake;
  if (rc == 0 && !install) {
    // The store replaces the slot that holds the holder's set: that is asked about first.
    const ReceivedCertRecord *received = Sheet()->Received();
    int slot = 0;
    const int lookup = received != nullptr
                           ? sd_find_cert_slot(secure_disk_, received->sign_cert, received->sign_cert_len, &slot)
                           : kErrNoSignCertPart;
    choice = secure_disk_choice(lookup, slot);
    if (choice == MediumChoice::kCannotUse) {
      rc = lookup;
      err_push(ctx, rc, sd_last_error_text(secure_disk_));
    }
  }
  if (install) {
    v7::dialogs::open_web_page(request, v7::dialogs::kInstallPageSecureDisk);
    ReleaseSecureDisk();
  } else if (rc != 0) {
    v7::dialogs::ShowSecureDiskError(ctx);
    ReleaseSecureDisk();
  } else if (choice == MediumChoice::kAskReplace && !AskReplace()) {
    ReleaseSecureDisk();
  } else {
    kind_ = kStoreSecureDisk;
    ready_ = 1;
    UpdateButtons();
  }
  err_ctx_clear(ctx);
}

LRESULT CPageMedia::OnWizardNext() {
  v7::sheet::CSheetCertRelay *sheet = Sheet();
  if (sheet == nullptr || ready_ == 0) return -1;
  const RelayModeWord mode = sheet->Mode();
  int rc = 0;
  switch (kind_) {
    case kStoreHardDisk:
      rc = sheet->SetTargetHardDisk();
      break;
    case kStoreRemovable: {
      // Every receive kind waits for the medium: kind 3 writes on it at once. Korean whatever the
      // language.
      const wchar_t root[4] = {wchar_t(drive_), L':', L'\\', 0};
      const std::wstring text = LoadText(IDS_INSERT_REMOVABLE);
      while (::GetFileAttributesW(root) == INVALID_FILE_ATTRIBUTES) {
        if (message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), u"", MB_OKCANCEL) != IDOK) return -1;
      }
      rc = sheet->SetTargetRemovable(drive_);
      break;
    }
    case kStoreSecurityToken:
      rc = sheet->SetTargetToken(library_.c_str(), pin_);
      break;
    case kStoreIcCard:
      rc = sheet->SetTargetIcCard(pin_);
      break;
    case kStoreSecureDisk:
      rc = sheet->SetTargetSecureDisk(secure_disk_);
      break;
    default:
      return -1;
  }
  if (rc != 0) {
    v7::dialogs::ShowErrorByCode(rc);
    return -1;
  }
  // A new medium: what a store on the one before said is no longer the result.
  sheet->ClearStoreResult();
  if (media_stores_at_once(mode, kind_)) StoreAtOnce();
  sheet->SetPagesAfterMedia(pages_after_media(mode, kind_));
  last_kind_ = kind_;
  return CRelayPage::OnWizardNext();
}

void CPageMedia::StoreAtOnce() {
  v7::sheet::CSheetCertRelay *sheet = Sheet();
  const ReceivedCertRecord *r = sheet->Received();
  int rc = received_set_check(r);
  char *kept_backup = nullptr, *left_copy = nullptr;
  if (rc == 0) {
    // The keys go as the phone sent them, under the phone password; both pairs in one store, so
    // that a failure at the second gives the disk its old first pair back too.
    const bool km = r->km_cert != nullptr && r->km_cert_len != 0;
    rc = store_set_on_medium(sheet->Target(), r->sign_cert, r->sign_cert_len, r->sign_key, r->sign_key_len,
                             km ? r->km_cert : nullptr, km ? r->km_cert_len : 0, km ? r->km_key : nullptr,
                             km ? r->km_key_len : 0, &kept_backup, &left_copy);
  }
  sheet->SetStoreResult(rc, kept_backup, left_copy);
  free(kept_backup);
  free(left_copy);
}

void CPageMedia::OnDestroy() {
  FreePin();
  SetMsgHandled(false);
}

}  // namespace pages
}  // namespace v7
