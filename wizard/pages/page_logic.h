// The decisions of the transfer wizard's pages and sheet, apart from their windows: which wizard
// buttons a page offers, how the registration-number groups are checked and joined, how the
// authorization code is split into the groups on screen, what a status page shows, and how the
// texts the worker posts are read. Portable, so the tables of cases run natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "relay/mode_word.h"

namespace v7 {
namespace pages {

// The lParam a page posts with PSM_SETWIZBUTTONS; the bits are PSWIZB_BACK, PSWIZB_NEXT and
// PSWIZB_FINISH.
enum WizardButtonFlags : uint32_t {
  kButtonsNone = 0,
  kButtonsBack = 1,
  kButtonsNext = 2,
  kButtonsBackNext = 3,
  kButtonsFinish = 4,
  kButtonsBackFinish = 5,
};

// ---- The sheet ----

// The fifteen page slots of the sheet, in its order.
enum class SheetPage : int {
  ChangePasswd,
  InputAN,
  SenderStatus,
  InputAN2,
  InputAN3,
  InputSSN,
  FirstStatus,
  OutputAN,
  CertDN,
  SecondStatus,
  Media,
  ChangePasswdR,
  LastStatus,
  RecipientStart,
  OutputAN2,
  kCount
};

// The pages a mode shows, in order; none for a word that is no send or receive mode.
std::vector<SheetPage> mode_pages(RelayModeWord mode);

// The title (string pair id) of a page in a mode; 0: none (the template's caption in Korean, the
// empty text in English).
unsigned page_title(RelayModeWord mode, SheetPage page);

// ---- The registration-number page ----

enum class NumberType { Resident = 1, Business = 2 };

// The groups of a number type in screen order: their edits and the digits each holds.
struct NumberGroup {
  int control;
  size_t digits;
};
std::vector<NumberGroup> number_groups(NumberType type);
// The digits of the whole number: 13 (resident) or 10 (business).
size_t number_digits(NumberType type);

// Texts typed into or shown in a page's group edits (a registration number, an authorization
// code), held in the object itself: no heap block of them is left behind by a container that grew
// or a copy that was made, and the whole object is wiped when it is cleared or goes.
class SecretGroups {
 public:
  enum : size_t { kMaxGroups = 3, kMaxLength = 127 };

  SecretGroups() = default;
  ~SecretGroups() { Clear(); }
  SecretGroups(const SecretGroups &) = delete;
  SecretGroups &operator=(const SecretGroups &) = delete;

  // Appends a group; false, with nothing added, once kMaxGroups are held or for a text longer than
  // kMaxLength (which is never cut).
  bool Add(const char16_t *text, size_t length);
  void Clear();
  size_t Count() const { return count_; }
  // The group's text, terminated, and its length.
  const char16_t *Text(size_t i) const { return text_[i]; }
  size_t Length(size_t i) const { return length_[i]; }
  std::u16string_view View(size_t i) const { return std::u16string_view(text_[i], length_[i]); }

 private:
  char16_t text_[kMaxGroups][kMaxLength + 1] = {};
  size_t length_[kMaxGroups] = {};
  size_t count_ = 0;
};

// White space (space, tab, CR, LF, vertical tab, form feed) off the left, then off the right: a
// view into the text, so a secret is never copied to be trimmed.
std::u16string_view trim_group(std::u16string_view text);

// Next once every group of the type holds at least its digits' worth of characters after
// trimming; nothing otherwise. A group typed too long or with something other than digits still
// enables Next, so that the join can say what is wrong instead of leaving a dead button.
WizardButtonFlags number_buttons(NumberType type, const SecretGroups &groups);

// Why a typed number was refused.
enum class NumberCheck { Ok, TooShort, TooLong, NotDigits };

// Trims each group and joins them without separator into out (ASCII digits). A group longer
// than its digits is refused, never cut; a character other than an ASCII digit 0-9 (a full-width
// digit from a paste, say) is refused. out is wiped and emptied on refusal.
NumberCheck join_number(NumberType type, const SecretGroups &groups, std::string *out);

// ---- The code display pages ----

// The groups of four in which a code shows: two for a mode whose kind is below 2 (an 8-character
// code), three for the others (12 characters), each byte of the code a character. A code of
// another length gives no groups (false): a code shown cut or padded could only be typed wrong on
// the phone.
bool code_groups(RelayModeWord mode, const std::string &code, SecretGroups *out);

// ---- Status pages ----

// What a status page shows on activation, from the sheet's state.
struct StatusInput {
  bool stored = false;      // the media or password page stored the received set (or tried)
  int store_result = 0;     // that store's code
  bool running = false;     // the worker thread is alive
  bool received = false;    // the sheet holds a received set
  bool has_store_page = false;  // the sheet has a page that stores the received set
  bool korean = false;
};
enum class StatusIcon { Working, Done, Failed };
enum class StatusText {
  None,          // leave the text as it is
  StoreError,    // "%s [%d]" or "[%d]" of the store's code
  StoredOnPc,    // 4473
  Received,      // the set was received and is held (no storing page yet)
  FailureText,   // the sheet's copy of the last failure, or the controller's error text
};
struct StatusView {
  int heading;  // string pair id
  StatusText text;
  StatusIcon icon;
  WizardButtonFlags buttons;
};
StatusView status_view(const StatusInput &in);

// "%s [%d]" with the code's text, or "[%d]" when the text is missing or empty.
std::u16string store_error_text(const std::u16string &code_text, int code);
// The text, then a line of the note and the folder; the text alone when there is no folder: the
// folder that keeps the old set after a failed store, or a copy of old keys that stayed.
std::u16string with_folder_line(std::u16string text, const std::u16string &note,
                                const std::u16string &folder);

// ---- The worker's texts ----

// The wide form of a narrow text the worker posted in the setting's encoding (UTF-8 when
// CharEncodingMode is 1, else EUC-KR). False when it does not convert: it is then not shown.
bool worker_text_to_wide(const char *text, bool utf8, std::u16string *out);

// Buttons after a worker failure: Back and Finish when the text names a wrong authorization code
// (in English or Korean), so the code can be typed again; Finish only otherwise.
WizardButtonFlags failure_buttons(const std::u16string &failure_text);

// The page's text as the 64-byte narrow buffer the controller takes (terminator included): UTF-8
// or EUC-KR. False, with the buffer wiped, when it does not convert or does not fit: a number
// cut to fit would be another number.
enum : size_t { kStartTextCapacity = 64 };
bool start_text_narrow(const std::u16string &text, bool utf8, char (&out)[kStartTextCapacity]);

}  // namespace pages
}  // namespace v7
