// The exports' decisions from tables: each caller type's mode word and the pages it shows, the
// language the setters store, and what a finished call returns.
#include "wizard/app/export_rules.h"

#include <gtest/gtest.h>

#include <vector>

#include "relay/mode_word.h"
#include "wizard/pages/page_logic.h"
#include "wizard/relay_results.h"

namespace {

using v7::pages::SheetPage;

struct TypeCase {
  bool send;
  int type;
  RelayModeWord mode;  // 0: the type is refused with 1001
  std::vector<SheetPage> pages;
};

TEST(ExportRules, EachTypeGivesItsModeWordAndItsPagesInOrder) {
  const std::vector<SheetPage> recv1 = {SheetPage::InputSSN,     SheetPage::FirstStatus, SheetPage::OutputAN,
                                        SheetPage::CertDN,       SheetPage::SecondStatus, SheetPage::Media,
                                        SheetPage::ChangePasswdR, SheetPage::LastStatus};
  const std::vector<SheetPage> recv2 = {SheetPage::RecipientStart, SheetPage::FirstStatus, SheetPage::OutputAN2,
                                        SheetPage::CertDN,         SheetPage::SecondStatus, SheetPage::Media,
                                        SheetPage::ChangePasswdR,  SheetPage::LastStatus};
  const TypeCase cases[] = {
      {true, 1, 0x80000001u, {SheetPage::ChangePasswd, SheetPage::InputAN, SheetPage::SenderStatus}},
      {true, 2, 0x84000002u, {SheetPage::ChangePasswd, SheetPage::InputAN2, SheetPage::SenderStatus}},
      {true, 3, 0x80000002u, {SheetPage::ChangePasswd, SheetPage::InputAN3, SheetPage::SenderStatus}},
      {true, 4, 0x84000003u, {SheetPage::InputAN2, SheetPage::SenderStatus}},
      {true, 5, 0x80000003u, {SheetPage::InputAN3, SheetPage::SenderStatus}},
      {true, 0, 0, {}},
      {true, 6, 0, {}},
      {true, -1, 0, {}},
      {true, int(0x80000001u), 0, {}},  // a mode word is no type
      {false, 1, 0x88000001u, recv1},
      {false, 2, 0x88000002u, recv2},
      {false, 3, 0x88000003u, recv2},
      {false, 0, 0, {}},
      {false, 4, 0, {}},
      {false, 6, 0, {}},
      {false, -3, 0, {}},
  };
  for (const TypeCase &c : cases) {
    SCOPED_TRACE(std::string(c.send ? "send " : "receive ") + std::to_string(c.type));
    const RelayModeWord mode = c.send ? relay_mode_for_send(c.type) : relay_mode_for_recv(c.type);
    EXPECT_EQ(mode, c.mode);
    if (mode == 0) continue;
    EXPECT_EQ(v7::pages::mode_pages(mode), c.pages);
    EXPECT_EQ(relay_mode_is_recipient(mode), !c.send);
  }
}

TEST(ExportRules, TheSettersKeepKoreanAndEnglishAndTakeTheSystemDefaultForAnyOtherValue) {
  const struct {
    int requested;
    uint16_t system_default;
    uint16_t stored;
  } cases[] = {
      {18, 9, 18}, {9, 18, 9},        {18, 18, 18},  {1033, 9, 9},   {1033, 18, 18}, {1042, 9, 9},
      {0, 18, 18}, {-1, 9, 9},        {0x12, 7, 18}, {0x10012, 9, 9}, {7, 7, 7},      {27, 18, 18},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.requested);
    EXPECT_EQ(v7::app::stored_language(c.requested, c.system_default), c.stored);
  }
}

TEST(ExportRules, OnlyACompletedTransferIsSuccessAndCancelWinsOverEverything) {
  const struct {
    bool cancelled, completed;
    int result;
  } cases[] = {
      {false, true, kRelayExportCompleted},
      {false, false, kRelayExportFailed},  // Finish on a failed status page
      {true, false, kRelayExportCancelled},
      {true, true, kRelayExportCancelled},  // cancelled after the store: the user said cancel
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.cancelled) + std::to_string(c.completed));
    EXPECT_EQ(v7::app::wizard_result(c.cancelled, c.completed), c.result);
  }
  EXPECT_EQ(kRelayExportCancelled, 21500);
  EXPECT_EQ(kRelayExportUnknownType, 1001);
}

TEST(ExportRules, TheSelectionEndsChosenOnlyOnZeroAndCancelledOnlyOn21500) {
  using v7::app::SelectionOutcome;
  EXPECT_EQ(v7::app::selection_outcome(0), SelectionOutcome::kChosen);
  EXPECT_EQ(v7::app::selection_outcome(21500), SelectionOutcome::kCancelled);
  for (int r : {-1, 1, 2, 3, 1001, 21501}) {
    SCOPED_TRACE(r);
    EXPECT_EQ(v7::app::selection_outcome(r), SelectionOutcome::kFailed);
  }
}

}  // namespace
