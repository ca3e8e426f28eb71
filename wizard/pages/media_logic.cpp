#include "wizard/pages/media_logic.h"

#include <cstring>

#include "crypto/base/wipe.h"
#include "pki/password/password.h"
#include "pki/text/strings.h"
#include "platform/errors/error_codes.h"
#include "relay/session/session.h"
#include "wizard/records/request_record.h"
#include "wizard/res/media_pages_ids.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace pages {

namespace {

enum : unsigned { kDriveRemovable = 2, kDriveCdRom = 5 };

char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool is_receive_kind3(RelayModeWord mode) { return relay_mode_is_recipient(mode) && relay_mode_kind(mode) == 3; }

bool is_disk(uint32_t kind) { return kind == kStoreHardDisk || kind == kStoreRemovable; }

bool empty(const char *text) { return text == nullptr || text[0] == 0; }

}  // namespace

const int kMediaImageOrder[5] = {kIconHardDisk, kIconRemovable, kIconToken, kIconIcCard, kIconSecureDisk};
const char16_t kTokenMenuSeparator[] = u"--------------------------------------";
static_assert(sizeof kTokenMenuSeparator / sizeof(char16_t) == 39, "38 dashes");

std::vector<MediumItem> media_items(uint32_t allowed_mask) {
  static const MediumItem kAll[] = {
      {0x4, IDS_MEDIUM_HSM, kIconToken, kStoreSecurityToken},
      {0x8, IDS_MEDIUM_IC_CARD, kIconIcCard, kStoreIcCard},
      {0x200, IDS_MEDIUM_SECURE_DISK, kIconSecureDisk, kStoreSecureDisk},
      {0x2, IDS_MEDIUM_REMOVABLE, kIconRemovable, kStoreRemovable},
      {0x1, IDS_MEDIUM_HDD, kIconHardDisk, kStoreHardDisk},
  };
  std::vector<MediumItem> items;
  for (const MediumItem &item : kAll) {
    if ((allowed_mask & item.mask_bit) != 0) items.push_back(item);
  }
  return items;
}

int media_image_index(int icon) {
  for (int i = 0; i < 5; ++i) {
    if (kMediaImageOrder[i] == icon) return i;
  }
  return -1;
}

std::vector<DriveMenuEntry> drive_menu(const std::vector<DriveInfo> &drives, char system_drive,
                                       bool read_volume_info) {
  std::vector<DriveMenuEntry> menu;
  for (const DriveInfo &drive : drives) {
    const char letter = upper(drive.letter);
    if (letter < 'A' || letter > 'Z' || letter == upper(system_drive)) continue;
    DriveMenuEntry entry;
    entry.letter = letter;
    entry.command = 2746u + unsigned(letter);
    entry.text = {char16_t(letter), u':', u' '};
    const bool labelled = drive.drive_type == kDriveRemovable || drive.drive_type == kDriveCdRom;
    if (labelled && letter != 'A' && drive.label_read && read_volume_info) entry.text += drive.label;
    menu.push_back(entry);
  }
  return menu;
}

char drive_of_command(unsigned command) {
  if (command < kDriveCommandFirst || command > kDriveCommandLast) return 0;
  return char('A' + (command - kDriveCommandFirst));
}

bool read_volume_info_on(const char16_t *setting) {
  if (setting == nullptr) return true;
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
  return !(lower(setting[0]) == u'n' && lower(setting[1]) == u'o' && setting[2] == 0);
}

std::u16string removable_item_text(const std::u16string &prefix, char letter) {
  return prefix + char16_t(upper(letter)) + u":)";
}

int token_of_command(unsigned command, size_t count) {
  if (command < kTokenCommandFirst || command > kTokenCommandLast) return -1;
  const size_t index = command - kTokenCommandFirst;
  return index < count ? int(index) : -1;
}

MediumChoice ic_card_choice(int probe, int probe_code, int key_bits, bool pin_proven) {
  if (probe == 2) return MediumChoice::kAskReplace;
  if (probe == 1) {
    if (probe_code == kErrPinRequired && !pin_proven) return MediumChoice::kAskPinFirst;
    return key_bits > 1024 ? MediumChoice::kRefuseKeyLength : MediumChoice::kTake;
  }
  return pin_proven ? MediumChoice::kCannotUse : MediumChoice::kTake;
}

MediumChoice secure_disk_choice(int lookup_code, int slot) {
  if (lookup_code != 0) return MediumChoice::kCannotUse;
  return slot != 0 ? MediumChoice::kAskReplace : MediumChoice::kTake;
}

bool secure_disk_needs_install(const char *module_version, const SecureDiskConfig &config) {
  return module_version == nullptr || version_compare(module_version, request_text(config.min_version)) < 0;
}

bool media_stores_at_once(RelayModeWord mode, uint32_t kind) { return is_receive_kind3(mode) && is_disk(kind); }

std::vector<SheetPage> pages_after_media(RelayModeWord mode, uint32_t kind) {
  if (media_stores_at_once(mode, kind)) return {SheetPage::LastStatus};
  return {SheetPage::ChangePasswdR, SheetPage::LastStatus};
}

int received_set_check(const ReceivedCertRecord *r) {
  if (r == nullptr || r->sign_key == nullptr || r->sign_key_len == 0) return kErrNoSignKeyPart;
  if (r->sign_cert == nullptr || r->sign_cert_len == 0) return kErrNoSignCertPart;
  const bool km_cert = r->km_cert != nullptr && r->km_cert_len != 0;
  const bool km_key = r->km_key != nullptr && r->km_key_len != 0;
  if (km_cert != km_key) return kErrNoKmKeyPart;
  return 0;
}

PasswordLayout password_layout(uint32_t kind) {
  if (kind == kStoreSecureDisk) return {IDS_PWCHANGER_SECURE_DISK_DESCRIPTION, false, false};
  return {IDS_PWCHANGER_DESCRIPTION, true, true};
}

PasswordEnables password_enables(uint32_t, bool change) { return {true, change}; }

WizardButtonFlags password_page_buttons(uint32_t, bool change, int grade, bool confirm_empty, bool phone_empty) {
  if (phone_empty) return kButtonsBack;
  if (change) return grade > 0 && !confirm_empty ? kButtonsBackNext : kButtonsBack;
  return kButtonsBackNext;
}

RecipientNext password_page_next(bool change, const char *phone, const char *new_password, size_t new_len,
                                 const char *confirm, size_t confirm_len) {
  if (empty(phone)) return RecipientNext::kPhoneEmpty;
  if (!change) return RecipientNext::kCheckPhone;
  // Next is offered only for a graded password, but a press can come without the button (a
  // keyboard accelerator, a script): a password that breaks a rule would seal the PC copy under it.
  if (empty(new_password) || new_len == 0 || password_strength(new_password) <= 0) return RecipientNext::kWeak;
  if (confirm == nullptr || new_len != confirm_len || ct_memeq(new_password, confirm, new_len) != 1)
    return RecipientNext::kMismatch;
  return RecipientNext::kCheckPhone;
}

const char *store_password(bool change, const char *phone, const char *new_password) {
  const char *password = change ? new_password : phone;
  return password != nullptr ? password : "";
}

bool copy_store_password(const char *text, char (&out)[kStorePasswordCapacity]) {
  secure_wipe(out, sizeof out);
  const size_t len = text != nullptr ? strnlen(text, sizeof out) : 0;
  if (len >= sizeof out) return false;
  if (len > 0) memcpy(out, text, len);
  return true;
}

int recipient_grade_image(int grade) {
  switch (grade) {
    case PASSWORD_WEAK: return IDC_PWR_IMAGE_WEAK;
    case PASSWORD_MEDIUM: return IDC_PWR_IMAGE_GOOD;
    case PASSWORD_STRONG: return IDC_PWR_IMAGE_STRONG;
    default: return 0;
  }
}

}  // namespace pages
}  // namespace v7
