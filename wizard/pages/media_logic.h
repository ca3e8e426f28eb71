// The decisions of the recipient's media page and password page, apart from their windows: which
// media the list offers, the drive and token menus, when a card cannot take the set and when a
// set on the medium is asked about, what Next of
// the media page does to the pages after it, how the password page lays itself out and which
// buttons it offers, what its Next says, and which password the store is handed. Portable, so the
// tables of cases run natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/store/store.h"
#include "relay/mode_word.h"
#include "wizard/pages/page_logic.h"

struct ReceivedCertRecord;
struct SecureDiskConfig;

namespace v7 {
namespace pages {

// ---- The media list ----


// The icons of the media, which also name a list item's medium.
enum : int {
  kIconHardDisk = 1000,
  kIconRemovable = 1005,
  kIconToken = 998,
  kIconIcCard = 996,
  kIconSecureDisk = 210,
};

struct MediumItem {
  uint32_t mask_bit;  // the bit of the allowed-media word that offers it
  unsigned text_id;   // Korean id of the item's text pair
  int icon;
  uint32_t kind;
};
// The items the allowed-media word offers, in list order (token, card, secure disk, removable,
// hard disk); at most five.
std::vector<MediumItem> media_items(uint32_t allowed_mask);
// The icons in the image list's order, and an icon's place in it (-1: none of them).
extern const int kMediaImageOrder[5];
int media_image_index(int icon);

// ---- The removable-drive menu ----

// What the platform says of one logical drive.
struct DriveInfo {
  char letter;          // 'A' to 'Z' (or lower case)
  unsigned drive_type;  // GetDriveType's answer: 2 removable, 5 CD-ROM, ...
  bool label_read;      // the volume label could be read
  std::u16string label;
};
struct DriveMenuEntry {
  unsigned command;  // 2746 + the letter's code
  char letter;       // upper case
  std::u16string text;
};
enum : unsigned { kDriveCommandFirst = 2811, kDriveCommandLast = 2836 };
// Every drive but the system drive, as "%c: " with the letter upper-cased, followed by the label
// for a removable or CD-ROM drive other than A whose label was read, unless labels are off.
std::vector<DriveMenuEntry> drive_menu(const std::vector<DriveInfo> &drives, char system_drive,
                                       bool read_volume_info);
// The drive a menu command names ('A' to 'Z'); 0 for any other command.
char drive_of_command(unsigned command);
// Labels are read unless the setting says "NO" in any letter case (a missing setting reads them).
bool read_volume_info_on(const char16_t *setting);
// The removable item's text once a drive is chosen: the prefix, the letter and ":)".
std::u16string removable_item_text(const std::u16string &prefix, char letter);

// ---- The token menu ----

enum : unsigned {
  kTokenCommandFirst = 2840,
  kTokenCommandLast = 2889,
  kTokenInstallCommand = 2890,
};
// At most this many tokens fit the commands before the install entry's.
enum : size_t { kTokenMenuCapacity = kTokenCommandLast - kTokenCommandFirst + 1 };
// The separator above the install entry: 38 dashes.
extern const char16_t kTokenMenuSeparator[];
// The index of the token a command names among count tokens; -1 for any other command.
int token_of_command(unsigned command, size_t count);

// ---- A medium that may hold a set already ----

// What choosing a card or the secure disk does next. A set on the medium is never replaced
// unasked: where the page cannot tell whether one is there, the medium is not chosen.
enum class MediumChoice {
  kTake,             // nothing to replace: ask the PIN where one is still wanted, then choose
  kAskReplace,       // a set is there: ask (4731) before it goes; No chooses nothing
  kAskPinFirst,      // the card shows what it holds only to the PIN: ask it, then probe with it
  kRefuseKeyLength,  // the card holds no set and takes only 1024-bit keys: warning 4623
  kCannotUse,        // the medium could not be asked what it holds: nothing chosen
};

// The IC card, from its probe (the state and errno of sc_probe_card) and the received signing
// key's length in bits. A card holding a set takes it whatever the key's length; an empty one only
// up to 1024 bits. A probe without the PIN that found the presence record behind the PIN tells
// nothing yet; one with the PIN that could not open the card (a wrong PIN, the card pulled out)
// chooses nothing, while one without the PIN that could not open it leaves the store to say why.
MediumChoice ic_card_choice(int probe, int probe_code, int key_bits, bool pin_proven);

// The secure disk, from sd_find_cert_slot's result for the received signing certificate: the
// slot that holds its holder's set, which the store replaces (0: none).
MediumChoice secure_disk_choice(int lookup_code, int slot);

// Whether the secure-disk module must be installed (again) before it is used: its version could
// not be read (null), or it is older than the request's minimum. The minimum is read within its
// field: a field filled to its end has no terminator and asks for no minimum.
bool secure_disk_needs_install(const char *module_version, const SecureDiskConfig &config);

// ---- Next of the media page ----

// Receive kind 3 with a disk stores at once on the media page; the others go on to the password
// page.
bool media_stores_at_once(RelayModeWord mode, uint32_t kind);
// The pages that follow the media page for the chosen kind. Receive kinds 1 and 2 always go on to
// the password page; kind 3 skips it for a disk, whose set is stored at once, and keeps it for
// every other medium (the secure disk included: without the password page nothing would store
// it). The sheet makes its pages match this after the media page, whatever came before.
std::vector<SheetPage> pages_after_media(RelayModeWord mode, uint32_t kind);

// The parts of a received set fit together: 0, or kErrNoSignKeyPart (no signing key),
// kErrNoSignCertPart (no signing certificate), kErrNoKmKeyPart (a key-management key without its
// certificate or the reverse). Null record: kErrNoSignKeyPart.
int received_set_check(const ReceivedCertRecord *record);

// ---- The password page ----

// The page's layout for a medium kind.
struct PasswordLayout {
  unsigned description;   // Korean id of the description pair
  bool check_shown;       // the check box (a secure disk has none)
  bool new_controls_shown;  // the new password, its confirmation, the grade and the rules
};
PasswordLayout password_layout(uint32_t kind);

// Which controls the check box's state enables. The phone password is asked for on every medium:
// the store opens every key with the password it is handed before it writes anything, so a disk
// needs it as much as a card or a token does. The check box enables the new password on every
// medium that shows it (a token's included, which could otherwise never be given one).
struct PasswordEnables {
  bool phone;          // the phone password and its label
  bool new_controls;   // the new password, its confirmation, their labels and the rules
};
PasswordEnables password_enables(uint32_t kind, bool change);

// Buttons of the password page: Back and Next once the phone password is not empty and, with the
// change flag, the new password has a positive grade and the confirmation is not empty. Back
// alone otherwise.
WizardButtonFlags password_page_buttons(uint32_t kind, bool change, int grade, bool confirm_empty,
                                        bool phone_empty);

// What Next of the password page says before anything is stored.
enum class RecipientNext {
  kCheckPhone,    // the phone password is to be proven on the received key
  kPhoneEmpty,    // message 4513, stay
  kMismatch,      // message 4483, stay
  kWeak,          // the new password breaks a rule (its text is on the page), stay
};
RecipientNext password_page_next(bool change, const char *phone, const char *new_password, size_t new_len,
                                 const char *confirm, size_t confirm_len);

// The password the store is handed: the one the keys are sealed under when they reach it. With
// the change flag the keys were re-sealed under the new password (a token too: the store opens
// the keys with what it is given); without it they are as the phone sent them, under the phone
// password.
const char *store_password(bool change, const char *phone, const char *new_password);

// The store's 128-byte password buffer: the text copied with its terminator. A text that does
// not fit is refused (false, out wiped), never cut: a cut password seals nothing anyone typed.
enum : size_t { kStorePasswordCapacity = 128 };
bool copy_store_password(const char *text, char (&out)[kStorePasswordCapacity]);

// The grade picture of the password page shown for a positive grade (63072, 63073, 63071 for
// grades 1, 2, 3); 0 for any other grade.
int recipient_grade_image(int grade);

}  // namespace pages
}  // namespace v7
