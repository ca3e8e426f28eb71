#include "wizard/pages/page_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"

using namespace v7::pages;

namespace {

using P = SheetPage;

// The table's texts as a page holds them.
void fill(const std::vector<std::u16string> &texts, SecretGroups *groups) {
  for (const std::u16string &text : texts) ASSERT_TRUE(groups->Add(text.data(), text.size()));
}

std::vector<std::u16string> texts_of(const SecretGroups &groups) {
  std::vector<std::u16string> texts;
  for (size_t i = 0; i < groups.Count(); ++i) texts.emplace_back(groups.View(i));
  return texts;
}

TEST(ModePages, EachModeShowsItsPagesInOrder) {
  const struct {
    RelayModeWord mode;
    std::vector<SheetPage> pages;
  } cases[] = {
      {0x80000001u, {P::ChangePasswd, P::InputAN, P::SenderStatus}},
      {0x84000002u, {P::ChangePasswd, P::InputAN2, P::SenderStatus}},
      {0x80000002u, {P::ChangePasswd, P::InputAN3, P::SenderStatus}},
      {0x84000003u, {P::InputAN2, P::SenderStatus}},
      {0x80000003u, {P::InputAN3, P::SenderStatus}},
      {0x88000001u,
       {P::InputSSN, P::FirstStatus, P::OutputAN, P::CertDN, P::SecondStatus, P::Media, P::ChangePasswdR, P::LastStatus}},
      {0x88000002u,
       {P::RecipientStart, P::FirstStatus, P::OutputAN2, P::CertDN, P::SecondStatus, P::Media, P::ChangePasswdR,
        P::LastStatus}},
      {0x88000003u,
       {P::RecipientStart, P::FirstStatus, P::OutputAN2, P::CertDN, P::SecondStatus, P::Media, P::ChangePasswdR,
        P::LastStatus}},
      {0u, {}},
      {0x88000004u, {}},
      {0x08000001u, {}},
  };
  for (const auto &c : cases) EXPECT_EQ(mode_pages(c.mode), c.pages) << std::hex << c.mode;
}

TEST(ModePages, TitlesFollowTheModeAndTheFirstPageOfKindThreeHasNone) {
  const struct {
    RelayModeWord mode;
    SheetPage page;
    unsigned title;
  } cases[] = {
      {0x88000001u, P::InputSSN, IDS_TITLE_SSN_INPUT},
      {0x88000002u, P::RecipientStart, IDS_TITLE_CERT_IMPORT},
      {0x88000003u, P::RecipientStart, 0},
      {0x88000003u, P::FirstStatus, IDS_TITLE_CODE_INPUT},
      {0x88000003u, P::OutputAN2, IDS_TITLE_CODE_DISPLAY},
      {0x88000001u, P::CertDN, IDS_TITLE_CERT_CONFIRM},
      {0x88000001u, P::SecondStatus, IDS_TITLE_TRANSFER},
      {0x88000001u, P::Media, IDS_TITLE_MEDIA},
      {0x88000001u, P::ChangePasswdR, IDS_TITLE_RECIPIENT_PASSWORD},
      {0x88000001u, P::LastStatus, IDS_TITLE_TRANSFER},
      {0x80000001u, P::ChangePasswd, IDS_TITLE_PASSWORD_CHANGE},
      {0x80000003u, P::InputAN3, IDS_TITLE_CODE_INPUT},
      {0x80000003u, P::SenderStatus, IDS_TITLE_TRANSFER},
  };
  for (const auto &c : cases) EXPECT_EQ(page_title(c.mode, c.page), c.title) << std::hex << c.mode << " " << int(c.page);
}

TEST(NumberPage, GroupsOfEachType) {
  const std::vector<NumberGroup> resident = number_groups(NumberType::Resident);
  ASSERT_EQ(resident.size(), 2u);
  EXPECT_EQ(resident[0].control, IDC_SSN_RESIDENT1);
  EXPECT_EQ(resident[0].digits, 6u);
  EXPECT_EQ(resident[1].control, IDC_SSN_RESIDENT2);
  EXPECT_EQ(resident[1].digits, 7u);
  const std::vector<NumberGroup> business = number_groups(NumberType::Business);
  ASSERT_EQ(business.size(), 3u);
  EXPECT_EQ(business[0].control, IDC_SSN_BUSINESS1);
  EXPECT_EQ(business[1].control, IDC_SSN_BUSINESS2);
  EXPECT_EQ(business[2].control, IDC_SSN_BUSINESS3);
  EXPECT_EQ(business[0].digits + business[1].digits + business[2].digits, number_digits(NumberType::Business));
  EXPECT_EQ(number_digits(NumberType::Resident), 13u);
}

TEST(NumberPage, TrimTakesWhiteSpaceOffBothEndsOnly) {
  const struct {
    std::u16string in, out;
  } cases[] = {
      {u"", u""},         {u"   ", u""},         {u" 123 ", u"123"},   {u"\t\r\n12 34\v\f", u"12 34"},
      {u"123456", u"123456"}, {u"\u3000" u"12", u"\u3000" u"12"},  // an ideographic space is no white space here
  };
  for (const auto &c : cases) EXPECT_EQ(std::u16string(trim_group(c.in)), c.out);
}

TEST(NumberPage, NextWaitsForEveryGroupOfTheCurrentType) {
  const struct {
    NumberType type;
    std::vector<std::u16string> groups;
    WizardButtonFlags buttons;
  } cases[] = {
      {NumberType::Resident, {u"", u""}, kButtonsNone},
      {NumberType::Resident, {u"12345", u"1234567"}, kButtonsNone},
      {NumberType::Resident, {u"123456", u"123456"}, kButtonsNone},
      {NumberType::Resident, {u"123456", u"1234567"}, kButtonsNext},
      {NumberType::Resident, {u" 12345", u"1234567"}, kButtonsNone},  // white space is no digit
      // Too long or not digits still enables Next, which then says what is wrong.
      {NumberType::Resident, {u"1234567", u"1234567"}, kButtonsNext},
      {NumberType::Resident, {u"12345a", u"1234567"}, kButtonsNext},
      {NumberType::Business, {u"123", u"45", u"67890"}, kButtonsNext},
      {NumberType::Business, {u"123", u"4", u"67890"}, kButtonsNone},
      {NumberType::Business, {u"123", u"45", u"6789"}, kButtonsNone},
      {NumberType::Business, {u"123456", u"1234567"}, kButtonsNone},  // the other type's groups
  };
  for (const auto &c : cases) {
    SecretGroups groups;
    fill(c.groups, &groups);
    EXPECT_EQ(number_buttons(c.type, groups), c.buttons);
  }
}

TEST(NumberPage, JoinRefusesWhatItWouldHaveToCutOrGuess) {
  const struct {
    NumberType type;
    std::vector<std::u16string> groups;
    NumberCheck check;
    std::string joined;
  } cases[] = {
      {NumberType::Resident, {u"800101", u"1234567"}, NumberCheck::Ok, "8001011234567"},
      {NumberType::Resident, {u" 800101 ", u"\t1234567\r\n"}, NumberCheck::Ok, "8001011234567"},
      {NumberType::Business, {u"123", u"45", u"67890"}, NumberCheck::Ok, "1234567890"},
      {NumberType::Resident, {u"8001011", u"1234567"}, NumberCheck::TooLong, ""},
      {NumberType::Resident, {u"800101", u"12345678"}, NumberCheck::TooLong, ""},
      {NumberType::Business, {u"123", u"45", u"678901"}, NumberCheck::TooLong, ""},
      {NumberType::Resident, {u"80010", u"1234567"}, NumberCheck::TooShort, ""},
      {NumberType::Resident, {u"80 101", u"1234567"}, NumberCheck::NotDigits, ""},
      // Full-width and Arabic-Indic digits from a paste are no ASCII digits.
      {NumberType::Resident, {u"\uFF18" u"00101", u"1234567"}, NumberCheck::NotDigits, ""},
      {NumberType::Resident, {u"800101", u"123456\u0667"}, NumberCheck::NotDigits, ""},
      {NumberType::Resident, {u"800101"}, NumberCheck::TooShort, ""},
  };
  for (const auto &c : cases) {
    SecretGroups groups;
    fill(c.groups, &groups);
    std::string joined = "left over";
    EXPECT_EQ(join_number(c.type, groups, &joined), c.check);
    EXPECT_EQ(joined, c.joined);
  }
}

TEST(CodePages, CodesShowInGroupsOfFourOnlyAtTheirLength) {
  const struct {
    RelayModeWord mode;
    std::string code;
    std::vector<std::u16string> groups;
  } cases[] = {
      {0x88000001u, "12345678", {u"1234", u"5678"}},
      {0x88000001u, "123456789012", {}},
      {0x88000001u, "1234567", {}},
      {0x88000001u, "123456789", {}},
      {0x88000002u, "123456789012", {u"1234", u"5678", u"9012"}},
      {0x88000003u, "ABCD5678WXYZ", {u"ABCD", u"5678", u"WXYZ"}},
      {0x88000003u, "12345678", {}},
      {0x88000003u, "1234567890123", {}},
      {0x88000003u, "", {}},
  };
  for (const auto &c : cases) {
    SecretGroups groups;
    fill({u"left", u"over"}, &groups);
    EXPECT_EQ(code_groups(c.mode, c.code, &groups), !c.groups.empty()) << c.code;
    EXPECT_EQ(texts_of(groups), c.groups) << c.code;
  }
}

// The groups live inside the object, which leaves nothing of them once it is gone: no block of a
// container that grew, no copy on the heap.
TEST(SecretGroups, TheTextsLieInTheObjectAndAreWipedWithIt) {
  alignas(SecretGroups) unsigned char storage[sizeof(SecretGroups)];
  auto *groups = new (storage) SecretGroups();
  ASSERT_TRUE(code_groups(0x88000002u, "123456789012", groups));
  ASSERT_EQ(groups->Count(), 3u);
  for (size_t i = 0; i < groups->Count(); ++i) {
    const auto *text = reinterpret_cast<const unsigned char *>(groups->Text(i));
    EXPECT_TRUE(text >= storage && text + 5 * sizeof(char16_t) <= storage + sizeof storage) << i;
  }
  groups->~SecretGroups();
  EXPECT_EQ(size_t(std::count(storage, storage + sizeof storage, 0)), sizeof storage);

  groups = new (storage) SecretGroups();
  fill({u"800101", u"1234567"}, groups);
  groups->Clear();
  EXPECT_EQ(groups->Count(), 0u);
  EXPECT_EQ(size_t(std::count(storage, storage + sizeof storage, 0)), sizeof storage);
  groups->~SecretGroups();
}

// What does not fit is refused whole, never cut.
TEST(SecretGroups, AGroupTooLongOrOneTooManyIsRefused) {
  SecretGroups groups;
  const std::u16string longest(SecretGroups::kMaxLength, u'7');
  const std::u16string too_long(SecretGroups::kMaxLength + 1, u'7');
  EXPECT_FALSE(groups.Add(too_long.data(), too_long.size()));
  EXPECT_EQ(groups.Count(), 0u);
  EXPECT_TRUE(groups.Add(longest.data(), longest.size()));
  EXPECT_EQ(std::u16string(groups.Text(0)), longest);
  EXPECT_TRUE(groups.Add(u"45", 2));
  EXPECT_TRUE(groups.Add(u"67890", 5));
  EXPECT_FALSE(groups.Add(u"1", 1));
  EXPECT_EQ(texts_of(groups), (std::vector<std::u16string>{longest, u"45", u"67890"}));
  // An overlong group still enables Next, so the join can say what is wrong.
  EXPECT_EQ(number_buttons(NumberType::Business, groups), kButtonsNext);
  std::string joined;
  EXPECT_EQ(join_number(NumberType::Business, groups, &joined), NumberCheck::TooLong);
  EXPECT_EQ(joined, "");
}

TEST(StatusPage, EachStateShowsItsHeadingTextIconAndButtons) {
  const struct {
    StatusInput in;
    StatusView view;
  } cases[] = {
      // stored, result, running, received, store page
      {{true, 0, false, true, true}, {IDS_STATUS_COMPLETED, StatusText::StoredOnPc, StatusIcon::Done, kButtonsFinish}},
      {{true, 517, false, true, true}, {IDS_STATUS_FAILED, StatusText::StoreError, StatusIcon::Failed, kButtonsBackFinish}},
      {{true, 517, true, true, true}, {IDS_STATUS_FAILED, StatusText::StoreError, StatusIcon::Failed, kButtonsBackFinish}},
      {{false, 0, true, false, false}, {IDS_STATUS_RUNNING, StatusText::None, StatusIcon::Working, kButtonsNone}},
      {{false, 0, false, false, false}, {IDS_STATUS_START_FAILED, StatusText::FailureText, StatusIcon::Failed, kButtonsFinish}},
      {{false, 0, false, false, true}, {IDS_STATUS_START_FAILED, StatusText::FailureText, StatusIcon::Failed, kButtonsFinish}},
      // The set is held and nothing stores it yet: done, whether the worker has ended or not.
      {{false, 0, true, true, false}, {IDS_STATUS_COMPLETED, StatusText::Received, StatusIcon::Done, kButtonsFinish}},
      {{false, 0, false, true, false}, {IDS_STATUS_COMPLETED, StatusText::Received, StatusIcon::Done, kButtonsFinish}},
      // With a storing page the set is not yet stored.
      {{false, 0, false, true, true}, {IDS_STATUS_START_FAILED, StatusText::FailureText, StatusIcon::Failed, kButtonsFinish}},
  };
  for (const auto &c : cases) {
    for (bool korean : {false, true}) {
      StatusInput in = c.in;
      in.korean = korean;
      const StatusView v = status_view(in);
      EXPECT_EQ(v.heading, c.view.heading);
      EXPECT_EQ(v.text, c.view.text);
      EXPECT_EQ(v.icon, c.view.icon);
      EXPECT_EQ(v.buttons, c.view.buttons);
    }
  }
}

TEST(StatusPage, StoreErrorTextNamesTheCode) {
  EXPECT_EQ(store_error_text(u"Certificate storage location is not correct.", 517),
            u"Certificate storage location is not correct. [517]");
  EXPECT_EQ(store_error_text(u"", 70001), u"[70001]");
  EXPECT_EQ(store_error_text(u"", -1), u"[-1]");
}

// "인증번호가 맞지 않습니다." in UTF-8 and in EUC-KR.
const char kWrongCodeUtf8[] = "\xEC\x9D\xB8\xEC\xA6\x9D\xEB\xB2\x88\xED\x98\xB8\xEA\xB0\x80 \xEB\xA7\x9E\xEC\xA7\x80 "
                              "\xEC\x95\x8A\xEC\x8A\xB5\xEB\x8B\x88\xEB\x8B\xA4.";
const char kWrongCodeEuckr[] = "\xC0\xCE\xC1\xF5\xB9\xF8\xC8\xA3\xB0\xA1 \xB8\xC2\xC1\xF6 \xBE\xCA\xBD\xC0\xB4\xCF\xB4\xD9.";

TEST(WorkerTexts, FailureTextsConvertByTheSettingAndAWrongCodeOffersBack) {
  const struct {
    const char *text;
    bool utf8;
    bool converts;
    WizardButtonFlags buttons;
  } cases[] = {
      {"Authorization code is not correct.", true, true, kButtonsBackFinish},
      {"Failed [1]: Authorization code is not correct. (relay)", false, true, kButtonsBackFinish},
      {kWrongCodeUtf8, true, true, kButtonsBackFinish},
      {kWrongCodeEuckr, false, true, kButtonsBackFinish},
      {"Authorization code is not correct", true, true, kButtonsFinish},  // no full stop: another text
      {"Certificate storage location is not correct.", true, true, kButtonsFinish},
      {kWrongCodeEuckr, true, false, kButtonsFinish},  // EUC-KR bytes claimed as UTF-8
      {"\xFF\xFE", false, false, kButtonsFinish},
  };
  for (const auto &c : cases) {
    std::u16string wide;
    EXPECT_EQ(worker_text_to_wide(c.text, c.utf8, &wide), c.converts) << c.text;
    EXPECT_EQ(failure_buttons(wide), c.buttons) << c.text;
  }
  std::u16string wide = u"x";
  EXPECT_FALSE(worker_text_to_wide(nullptr, true, &wide));
  EXPECT_TRUE(wide.empty());
}

TEST(WorkerTexts, HangulSubjectConvertsInEitherEncoding) {
  // "cn=홍길동" in UTF-8 and EUC-KR.
  std::u16string utf8, euckr;
  ASSERT_TRUE(worker_text_to_wide("cn=\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99", true, &utf8));
  ASSERT_TRUE(worker_text_to_wide("cn=\xC8\xAB\xB1\xE6\xB5\xBF", false, &euckr));
  EXPECT_EQ(utf8, u"cn=\uD64D\uAE38\uB3D9");
  EXPECT_EQ(euckr, utf8);
}

TEST(StartText, FitsTheControllersBufferOrIsRefused) {
  char out[kStartTextCapacity];
  ASSERT_TRUE(start_text_narrow(u"dummy", true, out));
  EXPECT_STREQ(out, "dummy");
  ASSERT_TRUE(start_text_narrow(u"8001011234567", false, out));
  EXPECT_STREQ(out, "8001011234567");
  ASSERT_TRUE(start_text_narrow(std::u16string(63, u'1'), true, out));
  EXPECT_EQ(std::string(out), std::string(63, '1'));
  // One more does not fit with its terminator: refused, never cut.
  EXPECT_FALSE(start_text_narrow(std::u16string(64, u'1'), true, out));
  EXPECT_EQ(out[0], 0);
  // Two bytes a Hangul syllable in EUC-KR, three in UTF-8.
  EXPECT_TRUE(start_text_narrow(std::u16string(31, u'\uD64D'), false, out));
  EXPECT_FALSE(start_text_narrow(std::u16string(32, u'\uD64D'), false, out));
  EXPECT_TRUE(start_text_narrow(std::u16string(21, u'\uD64D'), true, out));
  EXPECT_FALSE(start_text_narrow(std::u16string(22, u'\uD64D'), true, out));
  // A lone surrogate has no narrow form.
  EXPECT_FALSE(start_text_narrow(u"12\xD800", true, out));
  EXPECT_EQ(out[0], 0);
}

}  // namespace
