// The sender pages' decisions from tables: page sets of the send kinds, the grade area and the
// buttons of the new password, Next on the password page, the code's groups, buttons, hints,
// focus, entry type and the joined code.

#include "wizard/pages/sender_logic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pki/password/password.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "wizard/res/sender_pages_ids.h"
#include "wizard/res/string_ids.h"

using namespace v7::pages;

namespace {

TEST(SenderLogic, PageSetsOfTheSendKinds) {
  const struct {
    uint32_t mode;
    bool ok;
    bool change_password;
    CodePage page;
  } cases[] = {
      {0x80000001u, true, true, CodePage::kInputAN},    // kind 1
      {0x84000002u, true, true, CodePage::kInputAN2},   // kind 2
      {0x80000002u, true, true, CodePage::kInputAN3},   // kind 3
      {0x84000003u, true, false, CodePage::kInputAN2},  // kind 4
      {0x80000003u, true, false, CodePage::kInputAN3},  // kind 5
      {0x84000001u, false, false, CodePage::kInputAN},
      {0x88000001u, false, false, CodePage::kInputAN},  // receiving side
      {0x00000001u, false, false, CodePage::kInputAN},
      {0x80000004u, false, false, CodePage::kInputAN},
      {0x80000000u, false, false, CodePage::kInputAN},
      {0x80100001u, false, false, CodePage::kInputAN},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.mode);
    SenderPageSet set{false, CodePage::kInputAN};
    ASSERT_EQ(sender_page_set(c.mode, &set), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(set.change_password, c.change_password);
    EXPECT_EQ(set.code_page, c.page);
  }
}

TEST(SenderLogic, GradeArea) {
  const struct {
    int grade;
    bool keep, rule_shown, label_enabled;
    unsigned grade_text;
    int image;
  } cases[] = {
      {0, true, false, false, 0, 0},
      {PASSWORD_TOO_SHORT, false, true, false, 0, 0},
      {PASSWORD_CONSECUTIVE, false, true, false, 0, 0},
      {PASSWORD_REPEATED, false, true, false, 0, 0},
      {PASSWORD_ONE_KIND, false, true, false, 0, 0},
      {kGradeTooLong, false, true, false, 0, 0},
      {kGradeNotNarrow, false, true, false, 0, 0},
      {PASSWORD_WEAK, false, false, true, IDS_GRADE_WEAK, IDC_PW_IMAGE_WEAK},
      {PASSWORD_MEDIUM, false, false, true, IDS_GRADE_GOOD, IDC_PW_IMAGE_GOOD},
      {PASSWORD_STRONG, false, false, true, IDS_GRADE_STRONG, IDC_PW_IMAGE_STRONG},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.grade);
    const GradeView view = grade_view(c.grade);
    EXPECT_EQ(view.keep, c.keep);
    EXPECT_EQ(view.rule_shown, c.rule_shown);
    EXPECT_EQ(view.rule_code, c.rule_shown ? c.grade : 0);
    EXPECT_EQ(view.label_enabled, c.label_enabled);
    EXPECT_EQ(view.grade_text, c.grade_text);
    EXPECT_EQ(view.image, c.image);
  }
  const GradeView hidden = hidden_grade_view();
  EXPECT_FALSE(hidden.keep || hidden.rule_shown || hidden.label_enabled);
  EXPECT_EQ(hidden.grade_text, 0u);
  EXPECT_EQ(hidden.image, 0);

  EXPECT_EQ(refused_entry_text(kGradeTooLong), unsigned(IDS_PASSWORD_TOO_LONG));
  EXPECT_EQ(refused_entry_text(kGradeNotNarrow), unsigned(IDS_PASSWORD_NOT_NARROW));
  EXPECT_EQ(refused_entry_text(PASSWORD_TOO_SHORT), 0u);
  EXPECT_EQ(refused_entry_grade(EntryRead::kOk, EntryRead::kOk), 0);
  EXPECT_EQ(refused_entry_grade(EntryRead::kTooLong, EntryRead::kNotNarrow), kGradeTooLong);
  EXPECT_EQ(refused_entry_grade(EntryRead::kOk, EntryRead::kNotNarrow), kGradeNotNarrow);
  EXPECT_EQ(refused_entry_grade(EntryRead::kNotNarrow, EntryRead::kTooLong), kGradeNotNarrow);
  EXPECT_EQ(rule_text_language(kLanguageKorean), PASSWORD_TEXT_KOREAN);
  EXPECT_EQ(rule_text_language(kLanguageEnglish), 2);
  EXPECT_EQ(rule_text_language(0), 2);
}

TEST(SenderLogic, EntryReads) {
  EXPECT_EQ(entry_read_from_code(0), EntryRead::kOk);
  EXPECT_EQ(entry_read_from_code(v7::kErrInsufficientBuffer), EntryRead::kTooLong);
  EXPECT_EQ(entry_read_from_code(v7::kErrWideToEuckr), EntryRead::kNotNarrow);
  EXPECT_EQ(entry_read_from_code(v7::kErrWideToUtf8), EntryRead::kNotNarrow);
}

// The password matrix: check box x new password (empty, breaking a rule, graded, unreadable) x
// confirmation (empty or not, unreadable) -> grade, area and buttons.
TEST(SenderLogic, PasswordMatrix) {
  const EntryRead ok = EntryRead::kOk;
  const EntryRead too_long = EntryRead::kTooLong;
  const EntryRead not_narrow = EntryRead::kNotNarrow;
  const char *weak = "a1b3c5d7";  // grade 1 or 2, positive anyway
  const int weak_grade = password_strength(weak);
  ASSERT_GT(weak_grade, 0);
  const char *strong = "Zk8#pQ2!vR7$";
  ASSERT_EQ(password_strength(strong), PASSWORD_STRONG);
  const struct {
    const char *what;
    bool change;
    EntryRead new_read;
    const char *new_pw;
    EntryRead confirm_read;
    bool confirm_empty;
    int last_grade;
    int grade;
    bool shown;
    int buttons;
  } cases[] = {
      {"unchecked, nothing typed", false, ok, "", ok, true, 0, 0, false, kButtonsNext},
      {"unchecked, a broken rule typed", false, ok, "abc", ok, false, -1, -1, false, kButtonsNext},
      {"unchecked, even an unreadable entry", false, too_long, "", ok, false, 3, 3, false, kButtonsNext},
      {"checked, nothing typed", true, ok, "", ok, true, 0, 0, false, kButtonsNone},
      {"checked, new emptied after a good grade", true, ok, "", ok, false, 3, 0, false, kButtonsNone},
      {"checked, too short", true, ok, "a1", ok, false, 0, PASSWORD_TOO_SHORT, true, kButtonsNone},
      {"checked, consecutive", true, ok, "xabc1234", ok, false, 0, PASSWORD_CONSECUTIVE, true, kButtonsNone},
      {"checked, repeated", true, ok, "x1aaa#zq", ok, false, 0, PASSWORD_REPEATED, true, kButtonsNone},
      {"checked, one kind", true, ok, "qpzmwoxn", ok, false, 0, PASSWORD_ONE_KIND, true, kButtonsNone},
      {"checked, graded, no confirmation", true, ok, strong, ok, true, 0, PASSWORD_STRONG, true,
       kButtonsNone},
      {"checked, graded, confirmation", true, ok, strong, ok, false, 0, PASSWORD_STRONG, true, kButtonsNext},
      {"checked, weak, confirmation", true, ok, weak, ok, false, 0, weak_grade, true, kButtonsNext},
      {"checked, new too long", true, too_long, "", ok, false, 3, kGradeTooLong, true, kButtonsNone},
      {"checked, confirmation too long", true, ok, strong, too_long, false, 3, kGradeTooLong, true,
       kButtonsNone},
      {"checked, new not narrow", true, not_narrow, "", ok, false, 3, kGradeNotNarrow, true, kButtonsNone},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    PasswordInput input{c.change, c.new_read, c.new_pw, c.confirm_read, c.confirm_empty, c.last_grade};
    const PasswordState state = password_state(input);
    EXPECT_EQ(state.grade, c.grade);
    EXPECT_EQ(state.grade_shown, c.shown);
    EXPECT_EQ(state.buttons, c.buttons);
    if (c.shown) {
      EXPECT_EQ(state.view.rule_shown, c.grade < 0);
    }
  }
}

TEST(SenderLogic, PasswordNext) {
  const EntryRead ok = EntryRead::kOk;
  const std::string good = "Zk8#pQ2!vR7$";
  const std::string other = "Zk8#pQ2!vR7%";
  const std::string longer = good + "x";
  const struct {
    const char *what;
    bool change;
    EntryRead new_read;
    std::string new_pw;
    EntryRead confirm_read;
    std::string confirm;
    PasswordNext result;
  } cases[] = {
      {"unchecked", false, ok, "", ok, "zzz", PasswordNext::kGo},
      {"matching", true, ok, good, ok, good, PasswordNext::kGo},
      {"one byte differs", true, ok, good, ok, other, PasswordNext::kMismatch},
      {"confirmation longer", true, ok, good, ok, longer, PasswordNext::kMismatch},
      {"confirmation empty", true, ok, good, ok, "", PasswordNext::kMismatch},
      {"new empty", true, ok, "", ok, "Zk8#pQ2!", PasswordNext::kWeak},
      {"breaks a rule though Next was pressed", true, ok, "abcdefgh", ok, "abcdefgh", PasswordNext::kWeak},
      {"new too long", true, EntryRead::kTooLong, "", ok, good, PasswordNext::kRefused},
      {"confirmation not narrow", true, ok, good, EntryRead::kNotNarrow, "", PasswordNext::kRefused},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(password_next(c.change, c.new_read, c.new_pw.c_str(), c.new_pw.size(), c.confirm_read,
                            c.confirm.c_str(), c.confirm.size()),
              c.result);
  }
}

TEST(SenderLogic, GroupStates) {
  const struct {
    std::u16string text;
    GroupState state;
  } cases[] = {
      {u"", GroupState::kEmpty},
      {u"   ", GroupState::kEmpty},
      {u"1", GroupState::kPartial},
      {u"123", GroupState::kPartial},
      {u"1234", GroupState::kComplete},
      {u"AB9z", GroupState::kComplete},
      {u" 1234 ", GroupState::kComplete},  // blanks at either end do not count
      {u"\t1234\r\n", GroupState::kComplete},
      {u" 123", GroupState::kPartial},
      {u"1 34", GroupState::kComplete},  // a blank inside stays in the code
      {u"12345", GroupState::kTooLong},
      {u"123456789", GroupState::kTooLong},
      {u"\uFF11\uFF12\uFF13\uFF14", GroupState::kBadChar},  // full-width digits are no ASCII digits
      {u"12\u00B34", GroupState::kBadChar},
      {u"\uD55C", GroupState::kBadChar},
      {u"12\t4", GroupState::kBadChar},
      {std::u16string(u"12\0"
                      u"4",
                      4),
       GroupState::kBadChar},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(group_state(c.text.data(), c.text.size()), c.state);
  }
  EXPECT_EQ(group_state(nullptr, 0), GroupState::kEmpty);
}

TEST(SenderLogic, CodeButtons) {
  const GroupState C = GroupState::kComplete;
  const GroupState P = GroupState::kPartial;
  const GroupState E = GroupState::kEmpty;
  const GroupState L = GroupState::kTooLong;
  const GroupState B = GroupState::kBadChar;
  const uint32_t kind1 = 0x80000001u, kind2 = 0x84000002u, kind3 = 0x80000002u, kind4 = 0x84000003u,
                 kind5 = 0x80000003u;
  struct Case {
    CodePage page;
    uint32_t mode;
    int type;
    GroupState g[3];
    bool has_previous;
    int buttons;
  };
  const Case cases[] = {
      // Two groups, kind 1 only.
      {CodePage::kInputAN, kind1, 0, {C, C, E}, true, kButtonsBackNext},
      {CodePage::kInputAN, kind1, 0, {C, P, E}, true, kButtonsBack},
      {CodePage::kInputAN, kind1, 0, {E, C, E}, true, kButtonsBack},
      {CodePage::kInputAN, kind1, 0, {C, L, E}, true, kButtonsBack},
      {CodePage::kInputAN, kind1, 0, {B, C, E}, true, kButtonsBack},
      {CodePage::kInputAN, kind2, 0, {C, C, E}, true, kButtonsNone},
      {CodePage::kInputAN, kind5, 0, {C, C, E}, true, kButtonsNone},
      // The choosing page: the groups of the current type decide.
      {CodePage::kInputAN2, kind2, kCodeType12, {C, C, C}, true, kButtonsBackNext},
      {CodePage::kInputAN2, kind2, kCodeType12, {C, C, P}, true, kButtonsBack},
      {CodePage::kInputAN2, kind2, kCodeType12, {C, C, L}, true, kButtonsBack},
      {CodePage::kInputAN2, kind2, kCodeType8, {C, C, E}, true, kButtonsBackNext},
      {CodePage::kInputAN2, kind2, kCodeType8, {C, P, C}, true, kButtonsBack},
      // Kind 4 starts on the choosing page: nothing to go back to.
      {CodePage::kInputAN2, kind4, kCodeType12, {C, C, C}, false, kButtonsNext},
      {CodePage::kInputAN2, kind4, kCodeType12, {C, E, C}, false, kButtonsNone},
      {CodePage::kInputAN2, kind4, kCodeType8, {C, C, E}, false, kButtonsNext},
      // Three groups, variant bit clear only.
      {CodePage::kInputAN3, kind3, 0, {C, C, C}, true, kButtonsBackNext},
      {CodePage::kInputAN3, kind3, 0, {C, C, P}, true, kButtonsBack},
      {CodePage::kInputAN3, kind5, 0, {C, C, C}, false, kButtonsNext},
      {CodePage::kInputAN3, kind5, 0, {P, C, C}, false, kButtonsNone},
      {CodePage::kInputAN3, kind2, 0, {C, C, C}, true, kButtonsNone},
      {CodePage::kInputAN3, kind4, 0, {C, C, C}, false, kButtonsNone},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.page) << " mode " << std::hex << c.mode << " type " << c.type);
    EXPECT_EQ(code_buttons(c.page, c.mode, c.type, c.g, 3, c.has_previous), c.buttons);
  }
  // Too few states never complete a code.
  const GroupState two[] = {C, C};
  EXPECT_EQ(code_buttons(CodePage::kInputAN3, kind3, 0, two, 2, true), kButtonsBack);
  EXPECT_EQ(code_buttons(CodePage::kInputAN3, kind3, 0, nullptr, 0, true), kButtonsBack);
}

TEST(SenderLogic, CodeStartsAndFirstButtons) {
  const struct {
    CodePage page;
    uint32_t mode;
    bool has_previous;
    bool starts;
    int initial;
  } cases[] = {
      {CodePage::kInputAN, 0x80000001u, true, true, kButtonsBack},
      {CodePage::kInputAN, 0x80000002u, true, false, kButtonsNone},
      {CodePage::kInputAN2, 0x84000002u, true, true, -1},
      {CodePage::kInputAN2, 0x84000003u, false, true, -1},
      {CodePage::kInputAN3, 0x80000002u, true, true, kButtonsBack},
      {CodePage::kInputAN3, 0x80000003u, false, true, kButtonsNone},
      {CodePage::kInputAN3, 0x84000003u, false, false, kButtonsNone},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(code_page_starts(c.page, c.mode), c.starts);
    EXPECT_EQ(code_initial_buttons(c.page, c.mode, c.has_previous), c.initial);
  }
  EXPECT_EQ(code_group_count(CodePage::kInputAN, kCodeType12), 2u);
  EXPECT_EQ(code_group_count(CodePage::kInputAN2, kCodeType8), 2u);
  EXPECT_EQ(code_group_count(CodePage::kInputAN2, kCodeType12), 3u);
  EXPECT_EQ(code_group_count(CodePage::kInputAN3, kCodeType8), 3u);
}

TEST(SenderLogic, CodeHints) {
  const GroupState C = GroupState::kComplete;
  const GroupState L = GroupState::kTooLong;
  const GroupState B = GroupState::kBadChar;
  const GroupState P = GroupState::kPartial;
  const struct {
    GroupState g[3];
    unsigned hint;
  } cases[] = {
      {{C, C, C}, 0},
      {{C, P, GroupState::kEmpty}, 0},
      {{C, L, C}, IDS_CODE_GROUP_TOO_LONG},
      {{L, C, B}, IDS_CODE_BAD_CHARACTER},
      {{B, C, C}, IDS_CODE_BAD_CHARACTER},
  };
  for (const auto &c : cases) EXPECT_EQ(code_hint_text(c.g, 3), c.hint);
  EXPECT_EQ(code_hint_text(nullptr, 0), 0u);
}

TEST(SenderLogic, FocusMovesOnAFullGroup) {
  const struct {
    size_t index, count, typed;
    int next;
  } cases[] = {
      {0, 2, 4, 1}, {0, 2, 3, 0 - 1}, {1, 2, 4, -1}, {0, 3, 4, 1}, {1, 3, 4, 2}, {2, 3, 4, -1}, {1, 3, 5, -1},
  };
  for (const auto &c : cases) EXPECT_EQ(code_next_focus(c.index, c.count, c.typed), c.next);
}

TEST(SenderLogic, CodeTypeSwitching) {
  const struct {
    const char *what;
    int current;
    bool is_key, on8, on12, checked8, checked12;
    int type;
  } cases[] = {
      {"key on the radios, 8 checked", kCodeType12, true, true, false, true, false, kCodeType8},
      {"key on the radios, 12 checked", kCodeType8, true, false, true, false, true, kCodeType12},
      {"key on the 12 radio while 8 checked", kCodeType12, true, false, true, true, false, kCodeType8},
      {"key elsewhere", kCodeType12, true, false, false, true, false, kCodeType12},
      {"key, none checked", kCodeType8, true, true, false, false, false, kCodeType8},
      {"mouse up on 8", kCodeType12, false, true, false, false, true, kCodeType8},
      {"mouse up on 12", kCodeType8, false, false, true, true, false, kCodeType12},
      {"mouse up elsewhere", kCodeType8, false, false, false, false, true, kCodeType8},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(code_type_after(c.current, c.is_key, c.on8, c.on12, c.checked8, c.checked12), c.type);
  }
}

TEST(SenderLogic, JoiningTheCode) {
  const struct {
    const char *what;
    std::u16string g[3];
    size_t count;
    bool ok;
    std::u16string code;
  } cases[] = {
      {"two groups", {u"1234", u"5678", u""}, 2, true, u"12345678"},
      {"three groups", {u"1234", u"5678", u"9012"}, 3, true, u"123456789012"},
      {"blanks at the ends go", {u" 1234", u"5678 ", u"\t9012\t"}, 3, true, u"123456789012"},
      {"a blank inside stays", {u"12 4", u"5678", u""}, 2, true, u"12 45678"},
      {"a short group", {u"1234", u"567", u""}, 2, false, u""},
      {"a long group is refused, never cut", {u"1234", u"56789", u""}, 2, false, u""},
      {"a full-width digit", {u"1234", u"567\uFF18", u""}, 2, false, u""},
      {"four groups do not fit", {u"1234", u"5678", u"9012"}, 4, false, u""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const std::u16string fourth = u"3456";
    const char16_t *groups[4] = {c.g[0].c_str(), c.g[1].c_str(), c.g[2].c_str(), fourth.c_str()};
    const size_t lengths[4] = {c.g[0].size(), c.g[1].size(), c.g[2].size(), fourth.size()};
    char16_t out[kCodeCapacity];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(join_code(groups, lengths, c.count, out), c.ok);
    EXPECT_EQ(std::u16string(out), c.code);
    if (!c.ok) {
      for (char16_t ch : out) EXPECT_EQ(ch, 0);  // what was written is wiped
    }
  }
  EXPECT_FALSE(join_code(nullptr, nullptr, 2, nullptr));
}

}  // namespace
