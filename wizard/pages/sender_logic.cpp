#include "wizard/pages/sender_logic.h"

#include "crypto/base/wipe.h"
#include "pki/password/password.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "wizard/res/sender_pages_ids.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace pages {

bool sender_page_set(uint32_t mode, SenderPageSet *set) {
  const bool variant = (mode & kModeSenderVariant) != 0;
  // Only the sending side's words: bit 31 set, the receiving bit clear.
  if ((mode & 0x80000000u) == 0 || (mode & 0x08000000u) != 0) return false;
  if ((mode & ~(kModeSenderVariant | 0x8000000Fu)) != 0) return false;
  switch (mode & 0xF) {
    case 1:
      if (variant) return false;
      *set = {true, CodePage::kInputAN};
      return true;
    case 2:
      *set = {true, variant ? CodePage::kInputAN2 : CodePage::kInputAN3};
      return true;
    case 3:
      *set = {false, variant ? CodePage::kInputAN2 : CodePage::kInputAN3};
      return true;
    default:
      return false;
  }
}

// ---- The new password ----

EntryRead entry_read_from_code(int code) {
  if (code == 0) return EntryRead::kOk;
  return code == kErrInsufficientBuffer ? EntryRead::kTooLong : EntryRead::kNotNarrow;
}

int refused_entry_grade(EntryRead new_read, EntryRead confirm_read) {
  const EntryRead failed = new_read != EntryRead::kOk ? new_read : confirm_read;
  if (failed == EntryRead::kOk) return 0;
  return failed == EntryRead::kTooLong ? kGradeTooLong : kGradeNotNarrow;
}

GradeView grade_view(int grade) {
  GradeView view{};
  if (grade == 0) {
    view.keep = true;
    return view;
  }
  if (grade < 0) {
    view.rule_shown = true;
    view.rule_code = grade;
    return view;
  }
  view.label_enabled = true;
  switch (grade) {
    case PASSWORD_WEAK:
      view.grade_text = IDS_GRADE_WEAK;
      view.image = IDC_PW_IMAGE_WEAK;
      break;
    case PASSWORD_MEDIUM:
      view.grade_text = IDS_GRADE_GOOD;
      view.image = IDC_PW_IMAGE_GOOD;
      break;
    default:
      view.grade_text = IDS_GRADE_STRONG;
      view.image = IDC_PW_IMAGE_STRONG;
      break;
  }
  return view;
}

GradeView hidden_grade_view() { return GradeView{}; }

PasswordState password_state(const PasswordInput &input) {
  PasswordState state{};
  state.grade = input.last_grade;
  state.view = hidden_grade_view();
  if (!input.change) {
    state.buttons = kButtonsNext;
    return state;
  }
  // An entry that could not be read whole is never graded on what part of it was read.
  if (input.new_read != EntryRead::kOk || input.confirm_read != EntryRead::kOk) {
    state.grade = refused_entry_grade(input.new_read, input.confirm_read);
    state.grade_shown = true;
    state.view = grade_view(state.grade);
    state.buttons = kButtonsNone;
    return state;
  }
  const bool new_empty = input.new_password == nullptr || input.new_password[0] == 0;
  if (new_empty) {
    // The grade of an emptied entry says nothing about the password; it no longer opens Next.
    state.grade = 0;
    state.buttons = kButtonsNone;
    return state;
  }
  state.grade = password_strength(input.new_password);
  state.grade_shown = true;
  state.view = grade_view(state.grade);
  state.buttons = (state.grade > 0 && !input.confirm_empty) ? kButtonsNext : kButtonsNone;
  return state;
}

PasswordNext password_next(bool change, EntryRead new_read, const char *new_password, size_t new_len,
                           EntryRead confirm_read, const char *confirm, size_t confirm_len) {
  if (!change) return PasswordNext::kGo;
  if (new_read != EntryRead::kOk || confirm_read != EntryRead::kOk) return PasswordNext::kRefused;
  if (new_password == nullptr || new_len == 0 || password_strength(new_password) <= 0) {
    return PasswordNext::kWeak;
  }
  if (confirm == nullptr || new_len != confirm_len || ct_memeq(new_password, confirm, new_len) != 1) {
    return PasswordNext::kMismatch;
  }
  return PasswordNext::kGo;
}

int rule_text_language(uint16_t language_id) {
  return language_id == kLanguageKorean ? PASSWORD_TEXT_KOREAN : 2;
}

unsigned refused_entry_text(int grade) {
  if (grade == kGradeTooLong) return IDS_PASSWORD_TOO_LONG;
  if (grade == kGradeNotNarrow) return IDS_PASSWORD_NOT_NARROW;
  return 0;
}

// ---- The authorization code ----

// White space as the trimming of texts knows it.
static bool is_blank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

static void trimmed(const char16_t *text, size_t len, size_t *begin, size_t *end) {
  size_t b = 0;
  size_t e = text == nullptr ? 0 : len;
  while (b < e && is_blank(text[b])) ++b;
  while (e > b && is_blank(text[e - 1])) --e;
  *begin = b;
  *end = e;
}

GroupState group_state(const char16_t *text, size_t len) {
  size_t begin = 0;
  size_t end = 0;
  trimmed(text, len, &begin, &end);
  // A character the code cannot hold makes the group wrong whatever its length.
  for (size_t i = begin; i < end; ++i) {
    if (text[i] < 0x20 || text[i] > 0x7E) return GroupState::kBadChar;
  }
  const size_t n = end - begin;
  if (n == 0) return GroupState::kEmpty;
  if (n < kGroupLength) return GroupState::kPartial;
  return n == kGroupLength ? GroupState::kComplete : GroupState::kTooLong;
}

size_t code_group_count(CodePage page, int code_type) {
  switch (page) {
    case CodePage::kInputAN:
      return 2;
    case CodePage::kInputAN2:
      return code_type == kCodeType8 ? 2 : 3;
    default:
      return 3;
  }
}

bool code_page_starts(CodePage page, uint32_t mode) {
  switch (page) {
    case CodePage::kInputAN:
      return mode == kModeSendKind1;
    case CodePage::kInputAN2:
      return true;
    default:
      return (mode & kModeSenderVariant) == 0;
  }
}

static int without_back(int buttons, bool has_previous) {
  return has_previous ? buttons : (buttons & ~kButtonsBack);
}

int code_initial_buttons(CodePage page, uint32_t mode, bool has_previous) {
  // The choosing page waits for its first key before it says anything.
  if (page == CodePage::kInputAN2) return -1;
  return without_back(code_page_starts(page, mode) ? kButtonsBack : kButtonsNone, has_previous);
}

int code_buttons(CodePage page, uint32_t mode, int code_type, const GroupState *groups, size_t count,
                 bool has_previous) {
  if (!code_page_starts(page, mode)) return kButtonsNone;
  const size_t needed = code_group_count(page, code_type);
  bool complete = groups != nullptr && count >= needed;
  for (size_t i = 0; complete && i < needed; ++i) complete = groups[i] == GroupState::kComplete;
  return without_back(complete ? kButtonsBackNext : kButtonsBack, has_previous);
}

unsigned code_hint_text(const GroupState *groups, size_t count) {
  unsigned hint = 0;
  for (size_t i = 0; groups != nullptr && i < count; ++i) {
    if (groups[i] == GroupState::kBadChar) return IDS_CODE_BAD_CHARACTER;
    if (groups[i] == GroupState::kTooLong) hint = IDS_CODE_GROUP_TOO_LONG;
  }
  return hint;
}

int code_next_focus(size_t index, size_t count, size_t typed_len) {
  if (typed_len != kGroupLength || index + 1 >= count) return -1;
  return int(index + 1);
}

int code_type_after(int current, bool is_key, bool on_type8, bool on_type12, bool type8_checked,
                    bool type12_checked) {
  if (is_key) {
    if (!on_type8 && !on_type12) return current;
    if (type8_checked) return kCodeType8;
    if (type12_checked) return kCodeType12;
    return current;
  }
  if (on_type8) return kCodeType8;
  if (on_type12) return kCodeType12;
  return current;
}

bool join_code(const char16_t *const *groups, const size_t *lengths, size_t count, char16_t *out) {
  if (out == nullptr) return false;
  secure_wipe(out, kCodeCapacity * sizeof(char16_t));
  if (groups == nullptr || lengths == nullptr || count == 0 || count * kGroupLength >= kCodeCapacity) {
    return false;
  }
  size_t at = 0;
  for (size_t g = 0; g < count; ++g) {
    if (group_state(groups[g], lengths[g]) != GroupState::kComplete) {
      secure_wipe(out, kCodeCapacity * sizeof(char16_t));
      return false;
    }
    size_t begin = 0;
    size_t end = 0;
    trimmed(groups[g], lengths[g], &begin, &end);
    for (size_t i = begin; i < end; ++i) out[at++] = groups[g][i];
  }
  out[at] = 0;
  return true;
}

}  // namespace pages
}  // namespace v7
