// The decisions of the sender's wizard pages, apart from their windows: the new password's grade
// display and buttons, the authorization code's groups, buttons, focus, entry type and the joined
// code. Portable, so the tables of cases run natively; the pages only read their controls, ask
// here and show the answer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wizard/pages/page_logic.h"

namespace v7 {
namespace pages {

// The sending side's mode words: kind 1 speaks protocol 1.0; the variant bit picks the page that
// lets the user choose the code's form.
enum : uint32_t { kModeSendKind1 = 0x80000001u, kModeSenderVariant = 0x04000000u };

// Which code page a rule is for.
enum class CodePage { kInputAN, kInputAN2, kInputAN3 };

// The pages of the send kinds (1 to 5): whether the password page comes first, and the code page.
struct SenderPageSet {
  bool change_password;
  CodePage code_page;
};
// False for a mode word that is not a send.
bool sender_page_set(uint32_t mode, SenderPageSet *set);

// ---- The new password ----

// The page's own "grades" for an entry that could not be read whole. A password cut to fit would
// lock the phone copy under a password nobody typed, so such an entry is refused, never cut.
enum : int {
  kGradeTooLong = -100,    // longer than the 128-byte entry buffer takes
  kGradeNotNarrow = -101,  // a character that has no narrow form in the encoding setting
};

// How one read of a password edit went.
enum class EntryRead { kOk, kTooLong, kNotNarrow };
// The read's result code (0, kErrInsufficientBuffer, a conversion code) as an EntryRead.
EntryRead entry_read_from_code(int code);

// What the grade area shows.
struct GradeView {
  bool keep;            // nothing changes (grade 0)
  bool rule_shown;      // the red rule text
  int rule_code;        // what the rule text says: a rule code or a grade of the page's own
  bool label_enabled;   // the label of the grade
  unsigned grade_text;  // Korean id of the grade word's pair; 0: the word is hidden
  int image;            // the control id of the one picture shown; 0: none
};
// The area for a grade of a non-empty entry: a rule (negative), 1 to 3, or 0.
GradeView grade_view(int grade);
// The area when there is nothing to grade.
GradeView hidden_grade_view();

// The page after its check box or one of its edits changed.
struct PasswordInput {
  bool change;  // the check box
  EntryRead new_read;
  const char *new_password;  // narrow, as read (null: empty)
  EntryRead confirm_read;
  bool confirm_empty;
  int last_grade;  // the grade shown before
};
struct PasswordState {
  int grade;         // the grade kept for the next change
  bool grade_shown;  // false: the grade area is hidden
  GradeView view;    // when shown
  int buttons;       // kButtonsNext or kButtonsNone
};
PasswordState password_state(const PasswordInput &input);

// What Next does on the password page.
enum class PasswordNext {
  kGo,        // on to the code page
  kMismatch,  // the message of a confirmation that does not match, and stay
  kRefused,   // an entry could not be read whole: the page says so, and stays
  kWeak,      // the new password breaks a rule (or is empty): its text is on the page; stay
};
// new_len and confirm_len are the byte lengths of the texts read.
PasswordNext password_next(bool change, EntryRead new_read, const char *new_password, size_t new_len,
                           EntryRead confirm_read, const char *confirm, size_t confirm_len);

// The page's grade for entries of which one could not be read whole (the new password's read
// first); 0 when both were read.
int refused_entry_grade(EntryRead new_read, EntryRead confirm_read);

// The rule texts' language argument for the process language.
int rule_text_language(uint16_t language_id);

// Korean id of the pair that says why an entry was refused (kGradeTooLong, kGradeNotNarrow); 0
// for a rule code, whose text the password rules give.
unsigned refused_entry_text(int grade);

// ---- The authorization code ----

enum : int { kCodeType8 = 1, kCodeType12 = 2 };
enum : size_t {
  kGroupLength = 4,
  // The longest joined code and its terminator.
  kCodeCapacity = 3 * kGroupLength + 1,
};

enum class GroupState {
  kEmpty,
  kPartial,   // fewer than four characters
  kComplete,  // four characters the code can hold
  kTooLong,   // more than four (a paste or a programmatic text passes the edit's limit)
  kBadChar,   // a character the relay's code never holds (not printable ASCII)
};
// The group as read (len characters), its blanks at either end left out.
GroupState group_state(const char16_t *text, size_t len);

// How many groups a code page takes for its code type.
size_t code_group_count(CodePage page, int code_type);

// The buttons of a code page from the states of its current type's groups. A page with nothing
// before it (the first page of the wizard) offers no Back, which would lead nowhere.
int code_buttons(CodePage page, uint32_t mode, int code_type, const GroupState *groups, size_t count,
                 bool has_previous);
// The buttons a code page posts when its window is made (before any group is looked at).
int code_initial_buttons(CodePage page, uint32_t mode, bool has_previous);
// Whether Next hands the code on (a page in a mode it does not serve only moves on).
bool code_page_starts(CodePage page, uint32_t mode);

// Korean id of the pair that says why the groups cannot be taken; 0 when nothing is wrong.
unsigned code_hint_text(const GroupState *groups, size_t count);

// The index of the group the focus moves to after group `index` changed to `typed_len`
// characters; -1 when it stays.
int code_next_focus(size_t index, size_t count, size_t typed_len);

// The code type after a key or a mouse button on the radio buttons of the choosing page:
// is_key (WM_KEYDOWN/UP, which the state of the radios decides) or a left-button release on one
// of them (on_type8 / on_type12, which the button itself decides).
int code_type_after(int current, bool is_key, bool on_type8, bool on_type12, bool type8_checked,
                    bool type12_checked);

// The groups, each without its blanks at either end, joined in screen order into out
// (kCodeCapacity wide characters, wiped first). False (out wiped) unless every group is complete.
bool join_code(const char16_t *const *groups, const size_t *lengths, size_t count, char16_t *out);

}  // namespace pages
}  // namespace v7
