// The certificate selection dialog's decisions, apart from its windows: which media buttons it
// shows and where it starts, its columns and banner, what a row and the expiry warning say, how
// rows sort, what OK asks for and loads, what a failure tells the user and what is remembered for
// next time. Portable, so every table of cases runs natively; the dialog only wires them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct P11_TOKEN_ENTRY;
struct P11_TOKEN_LIST;
struct StrListNode;

namespace v7 {
namespace select {

// One button of the media bar: the medium it selects and its picture in the 48x48 image list.
struct MediaItem {
  uint32_t medium;
  int image;
};

struct MediaBar {
  std::vector<MediaItem> items;  // in the bar's fixed order, at most six
  int spacing_x;                 // icon spacing: 88, or 76 once six buttons share the bar
  int spacing_y;
};

// The bar for the request's media bits (kRequestMedia*).
MediaBar media_bar(uint32_t media_bits);
// The position of the medium's button, or -1 when the bar has none: -1 selects nothing.
int media_index(const MediaBar &bar, uint32_t medium);

// Where the dialog starts: the medium, the removable drive (0 = A) or the token module path it
// reopens, and whether one was remembered (so the drive or token menu is skipped once).
struct StartMedium {
  uint32_t medium = 1;
  int drive_index = 0;
  std::string token_module;
  bool remembered = false;
};
// From the request's wish to restore and the stored "Last Media" and "Last Drive" values (null
// when missing). A remembered word whose medium the bar lacks falls back like a missing one.
StartMedium start_medium(uint32_t restore_last, uint32_t media_bits, const char *last_media, const char *last_drive);

// A token module path remembered in the per-user registry is honoured only when the token
// configuration lists it (as a token's library, compared exactly) and that token's approval
// check passes: the registry's low-integrity area is writable by any web page's code. The entry
// that vouches for it, or null (then the token menu is shown instead).
using TokenApprovalCheck = int (*)(const P11_TOKEN_ENTRY *entry);
const P11_TOKEN_ENTRY *vouched_token(const P11_TOKEN_LIST *config, const char *module_path,
                                     TokenApprovalCheck approve);

// The banner picture and whether the banner is hidden (then the dialog shrinks by 80 pixels).
struct BannerChoice {
  int bitmap;
  bool hidden;
};
BannerChoice banner_for(const char *banner_name);
// Controls moved up with a hidden banner (the Search button and the red note included, so that
// neither is left below the shrunk dialog).
extern const int kBannerMovedControls[];
extern const size_t kBannerMovedControlCount;
enum : int { kBannerShrink = 80 };

// The Search (PKCS#12 file) button shows only when no medium is forced and bit 0x400 is set.
bool search_button_visible(uint32_t forced_medium, uint32_t media_bits);
// Forced kinds 7 and 8 open on an empty list.
bool opens_empty(uint32_t forced_medium);

// A certificate-list column.
struct Column {
  const char *korean;  // UTF-8
  const char *english;
  int width;
};
extern const Column kColumns[4];

// The row picture: 1 (expired) once the certificate's validity has ended, else 0. Both times are
// seconds since 1970 in UTC, so the mark does not depend on the machine's time zone.
int row_image(int64_t now_utc, int64_t not_after_utc);
// "%Y-%m-%d" of a UTC time.
std::string utc_date_text(int64_t t);

// The end of the day an expiry text ("YYYY-MM-DD", year 1900 on, month 1-12, day 1-31) names,
// 23:59:59 UTC; false for a text that is not one.
bool expiry_day_end(const char *expiry_text, int64_t *out);
// Whether the policy passes the dialog's accepted-policy list: with a list, an item "ALL" or the
// policy itself (case-blind); without one, any policy but the two that never renew here.
bool expiry_policy_passes(const StrListNode *accepted, const char *policy);
// The expiry warning: only for certificates of the service's own CA (its organisation names
// "velmora" or "VELMORA") whose policy passes, while now lies before the end of the expiry day
// and within 30 days of it.
bool expiry_tip_due(const char *issuer_org, const char *policy, const StrListNode *accepted,
                    const char *expiry_text, int64_t now_utc);
enum : int64_t { kExpiryWarningSeconds = 2592000 };

// The drive menu is the media page's (wizard/pages/media_logic.h); tokens have commands
// kTokenCommandBase + n for the n-th configured token.
enum : unsigned { kTokenCommandBase = 2839 };

// The password entry (label and edit) shows unless the request hides it, or the medium needs none:
// the secure disk under forced kind 6 and a PKCS#12 file (its password was asked already).
bool password_entry_visible(uint32_t medium, uint32_t forced_medium, uint32_t dialog_flags);

// Sorting by a column: the column's text of each row, compared byte-wise, times the direction.
struct RowKeys {
  std::string usage, subject_cn, expiry, ca_name;
};
int compare_rows(const RowKeys &a, const RowKeys &b, int column, int direction);

// What OK does for the medium of the chosen entry.
enum class KeyLoad { kNone, kUsbKey, kPkcs12, kPair };
enum class KmLoad { kNo, kIfPresent, kAlways };
struct OkPlan {
  bool end_at_once = false;    // the request hides the password: OK ends the dialog
  bool ask_card_pin = false;   // a card that needs its PIN asked in a dialog
  bool read_token_pin = false; // the edit holds a token's PIN
  bool read_password = false;  // the edit holds the certificate's password
  bool password_required = false;  // an empty password is refused before any loading
  KeyLoad load = KeyLoad::kNone;
  int load_mode = 2;           // of the signing pair: 5 for the forced kinds 7 and 8
  KmLoad km = KmLoad::kNo;
};
OkPlan ok_plan(uint32_t medium, uint32_t forced_medium, uint32_t dialog_flags, int card_probe_state);

// What a failed OK tells the user: a string pair, and the tries-left pair with its count for the
// secure disk's wrong password when the count could be read.
struct FailureSummary {
  int pair;
  bool tries_known;
  int tries;
};
FailureSummary ok_failure_summary(uint32_t medium, int error, bool km_attempted, bool sign_loaded,
                                  bool tries_known, int tries);

// The texts the dialog sets in code (UTF-8), by language.
struct DialogTexts {
  const char *hard_disk, *removable, *phone, *card, *token, *secure_disk, *removable_prefix, *phone_sign,
      *phone_usbkey, *password_label, *pin_label;
};
const DialogTexts &dialog_texts(bool korean);
// The media bar's label of a medium.
const char *medium_label(const DialogTexts &texts, uint32_t medium);

// The "Last Media" word of a medium, or null for one never remembered.
const char *last_media_word(uint32_t medium);

}  // namespace select
}  // namespace v7
