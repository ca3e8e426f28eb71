// The sender's pages on real windows under Wine, in Korean and in English, on the transfer
// wizard's sheet. No relay server answers: the probe says the host is unreachable, so a transfer
// the pages start fails at once and the status page shows why. The UI robot types, pastes,
// clicks and reads back; message boxes are answered through their seam; screenshots land in the
// build folder. Whole sends against the test relay server are the sheet's tests.

#include <winsock2.h>  // before any windows.h

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pki/password/password.h"
#include "platform/classlib/app.h"
#include "platform/classlib/property_sheet.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "tests/modules/ckapp/ckapp_test_setup.h"
#include "tests/ui/robot.h"
#include "tests/wizard/dialogs/words_scope.h"
#include "tests/wizard/pages/wizard_robot.h"
#include "wizard/keycrypt/key_crypt_sub.h"
#include "wizard/pages/page_change_passwd.h"
#include "wizard/pages/page_input_an.h"
#include "wizard/pages/page_input_an2.h"
#include "wizard/pages/page_input_an3.h"
#include "wizard/pages/sender_logic.h"
#include "wizard/res/pages_ids.h"
#include "wizard/res/sender_pages_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

using v7test::RunWithRobot;
using v7test::UiRobot;
using namespace v7::pages;
using namespace wizardrobot;

namespace {

std::wstring pair_text(UINT korean_id) { return v7::classlib::LoadPairText(korean_id); }

// ---- Message boxes, answered through the seam ----

struct Boxes {
  std::mutex lock;
  std::vector<std::wstring> texts;
  std::vector<std::wstring> captions;
  std::vector<unsigned> flags;
  std::atomic<int> count{0};
  std::atomic<int> yes_no_answer{IDNO};
};
Boxes g_boxes;

int answer_box(const char16_t *text, const char16_t *caption, unsigned flags) {
  std::lock_guard<std::mutex> hold(g_boxes.lock);
  g_boxes.texts.push_back(text != nullptr ? reinterpret_cast<const wchar_t *>(text) : L"");
  g_boxes.captions.push_back(caption != nullptr ? reinterpret_cast<const wchar_t *>(caption) : L"(none)");
  g_boxes.flags.push_back(flags);
  g_boxes.count++;
  return (flags & 0xF) == MB_YESNO ? g_boxes.yes_no_answer.load() : IDOK;
}

std::wstring last_box_text() {
  std::lock_guard<std::mutex> hold(g_boxes.lock);
  return g_boxes.texts.empty() ? L"" : g_boxes.texts.back();
}
std::wstring last_box_caption() {
  std::lock_guard<std::mutex> hold(g_boxes.lock);
  return g_boxes.captions.empty() ? L"" : g_boxes.captions.back();
}

CKAppTestState g_ckapp;

// ---- The sheet ----

// The wizard of a send kind with the sender's pages installed; the password page is kept for
// the test to look at (null for the kinds without it).
struct Wizard {
  std::unique_ptr<v7::sheet::CSheetCertRelay> sheet;
  CPageChangePasswd *passwd = nullptr;
};

Wizard make_wizard(RelayModeWord mode) {
  Wizard w;
  w.sheet.reset(new v7::sheet::CSheetCertRelay(mode, v7::sheet::ControlFlags{1}));
  SenderPageSet set{};
  EXPECT_TRUE(sender_page_set(mode, &set));
  if (set.change_password) {
    auto passwd = std::make_unique<CPageChangePasswd>();
    w.passwd = passwd.get();
    w.sheet->InstallPage(SheetPage::ChangePasswd, std::move(passwd));
  }
  switch (set.code_page) {
    case CodePage::kInputAN:
      w.sheet->InstallPage(SheetPage::InputAN, std::make_unique<CPageInputAN>());
      break;
    case CodePage::kInputAN2:
      w.sheet->InstallPage(SheetPage::InputAN2, std::make_unique<CPageInputAN2>());
      break;
    default:
      w.sheet->InstallPage(SheetPage::InputAN3, std::make_unique<CPageInputAN3>());
      break;
  }
  w.sheet->AddModePages();
  return w;
}

// ---- What the robot looks at ----

void shot(UiRobot &robot, HWND sheet, const std::string &name) { EXPECT_TRUE(robot.Screenshot(sheet, name)); }

// Runs the sheet modally while script drives it, starting on the page that holds first_control;
// returns what the run returned.
INT_PTR drive(Wizard &w, int first_control, const std::function<void(UiRobot &, HWND, HWND)> &script) {
  INT_PTR result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND wizard = wait_sheet(robot);
        ASSERT_NE(wizard, nullptr);
        HWND page = wait_page(robot, wizard, first_control);
        ASSERT_NE(page, nullptr);
        script(robot, wizard, page);
      },
      [&] { result = w.sheet->DoModal(); });
  return result;
}

class SenderPagesUi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ckapptest::use_variant("complete", &g_ckapp);
    v7::classlib::AfxInitCommonControls();
  }
  static void TearDownTestSuite() { v7::keycrypt::KeyCryptSetModuleFolder(nullptr); }
  static int unreachable(int, int) { return 0; }

  void SetUp() override {
    std::lock_guard<std::mutex> hold(g_boxes.lock);
    g_boxes.texts.clear();
    g_boxes.captions.clear();
    g_boxes.flags.clear();
    g_boxes.count = 0;
    g_boxes.yes_no_answer = IDNO;
    v7::set_message_box_hook_w(answer_box);
    relay_controller_set_probe_hook(unreachable);
  }
  void TearDown() override {
    v7::set_message_box_hook_w(nullptr);
    relay_controller_set_probe_hook(nullptr);
  }
};

const wchar_t kGoodPassword[] = L"Zk8#pQ2!vR7$";

// Kind 1: the password page grades, refuses and passes; the two-group code page moves the
// focus, refuses an overlong group with its hint, hands the joined code on; Back from the status
// page after a failed step offers the code again, and a second Next starts again.
TEST_F(SenderPagesUi, Kind1PasswordThenTwoGroups) {
  for (uint16_t language : kLanguages) {
    for (int encoding : {0, int(kCharEncodingUtf8)}) {
      WordsScope words(language, encoding);
      g_ckapp.utf8 = char_encoding_is_utf8() ? 1 : 0;
      const std::string tag = std::string(language_name(language)) + (encoding == 1 ? "_utf8" : "_euckr");
      SCOPED_TRACE(tag);
      const bool shots = encoding == 1;
      Wizard w = make_wizard(kModeSendKind1);
      const LONG reads_before = g_ckapp.event_count;
      const INT_PTR result = drive(w, IDC_PW_CHECK, [&](UiRobot &robot, HWND wizard, HWND page) {
        // Unchecked: Next whatever the edits hold; the edits are disabled.
        EXPECT_TRUE(wait_buttons(robot, wizard, false, true));
        // Cancel asks; No keeps the wizard where it was.
        g_boxes.yes_no_answer = IDNO;
        const int asked = g_boxes.count;
        press(wizard, PSBTN_CANCEL);
        EXPECT_TRUE(robot.WaitUntil([&] { return g_boxes.count > asked; }));
        EXPECT_EQ(last_box_text(), pair_text(IDS_CONFIRM_QUIT));
        EXPECT_EQ(current_page(wizard), page);
        EXPECT_FALSE(robot.Enabled(page, IDC_PW_NEW_EDIT));
        EXPECT_EQ(robot.ItemText(page, IDC_PW_CHECK), pair_text(IDS_PWCHANGE_CHECK));
        EXPECT_EQ(robot.ItemText(page, IDC_PW_RULES), pair_text(IDS_PASSWORD_RULES));
        EXPECT_EQ(robot.MissingGlyphs(wizard), "");
        if (shots) shot(robot, wizard, "sender_change_passwd_" + tag + "_start");

        robot.Click(page, IDC_PW_CHECK);
        EXPECT_TRUE(robot.WaitUntil([&] { return robot.Enabled(page, IDC_PW_NEW_EDIT); }));
        EXPECT_TRUE(wait_buttons(robot, wizard, false, false));

        // A rule broken: its text in red, the grade label disabled, Next kept disabled.
        robot.SetItemText(page, IDC_PW_NEW_EDIT, L"abcd1234");
        robot.SetItemText(page, IDC_PW_CONFIRM_EDIT, L"abcd1234");
        const std::wstring rule = reinterpret_cast<const wchar_t *>(
            password_rule_text_w(PASSWORD_CONSECUTIVE, rule_text_language(language)));
        // The whole change of the page, not its first step: the robot runs beside the page's thread.
        EXPECT_TRUE(robot.WaitUntil([&] {
          return is_visible(page, IDC_PW_RULE_TEXT) && robot.ItemText(page, IDC_PW_RULE_TEXT) == rule &&
                 !robot.Enabled(page, IDC_PW_GRADE_LABEL) && !is_visible(page, IDC_PW_GRADE_TEXT);
        }));
        EXPECT_EQ(robot.ItemText(page, IDC_PW_RULE_TEXT), rule);
        EXPECT_FALSE(robot.Enabled(page, IDC_PW_GRADE_LABEL));
        EXPECT_FALSE(is_visible(page, IDC_PW_GRADE_TEXT));
        EXPECT_TRUE(wait_buttons(robot, wizard, false, false));
        if (shots) shot(robot, wizard, "sender_change_passwd_" + tag + "_rule");

        // Pressed anyway, Next keeps the page.
        press(wizard, PSBTN_NEXT);
        EXPECT_TRUE(robot.WaitUntil([&] { return current_page(wizard) == page; }));

        // Longer than the entry buffer: refused, never cut.
        robot.SetItemText(page, IDC_PW_NEW_EDIT, std::wstring(kGoodPassword) + std::wstring(140, L'x'));
        EXPECT_TRUE(robot.WaitUntil(
            [&] { return robot.ItemText(page, IDC_PW_RULE_TEXT) == pair_text(IDS_PASSWORD_TOO_LONG); }));
        EXPECT_TRUE(wait_buttons(robot, wizard, false, false));
        if (shots) shot(robot, wizard, "sender_change_passwd_" + tag + "_too_long");
        const int boxes = g_boxes.count;
        press(wizard, PSBTN_NEXT);
        EXPECT_TRUE(robot.WaitUntil([&] { return g_boxes.count > boxes; }));
        EXPECT_EQ(last_box_text(), pair_text(IDS_PASSWORD_TOO_LONG));
        EXPECT_EQ(current_page(wizard), page);

        // Graded, no confirmation yet: Next stays disabled; with one it opens.
        robot.SetItemText(page, IDC_PW_CONFIRM_EDIT, L"");
        robot.SetItemText(page, IDC_PW_NEW_EDIT, kGoodPassword);
        EXPECT_TRUE(robot.WaitUntil([&] {
          return is_visible(page, IDC_PW_GRADE_TEXT) &&
                 robot.ItemText(page, IDC_PW_GRADE_TEXT) == pair_text(IDS_GRADE_STRONG) &&
                 is_visible(page, IDC_PW_IMAGE_STRONG) && !is_visible(page, IDC_PW_IMAGE_WEAK) &&
                 !is_visible(page, IDC_PW_IMAGE_GOOD);
        }));
        EXPECT_EQ(robot.ItemText(page, IDC_PW_GRADE_TEXT), pair_text(IDS_GRADE_STRONG));
        EXPECT_TRUE(is_visible(page, IDC_PW_IMAGE_STRONG));
        EXPECT_FALSE(is_visible(page, IDC_PW_IMAGE_WEAK) || is_visible(page, IDC_PW_IMAGE_GOOD));
        EXPECT_FALSE(is_visible(page, IDC_PW_RULE_TEXT));
        EXPECT_TRUE(robot.Enabled(page, IDC_PW_GRADE_LABEL));
        EXPECT_TRUE(wait_buttons(robot, wizard, false, false));
        robot.SetItemText(page, IDC_PW_CONFIRM_EDIT, L"Zk8#pQ2!vR7%");
        EXPECT_TRUE(wait_buttons(robot, wizard, false, true));
        if (shots) shot(robot, wizard, "sender_change_passwd_" + tag + "_strong");

        // A confirmation that differs: the Korean message whatever the language, no caption.
        const int before = g_boxes.count;
        press(wizard, PSBTN_NEXT);
        EXPECT_TRUE(robot.WaitUntil([&] { return g_boxes.count > before; }));
        EXPECT_EQ(last_box_text(), v7::classlib::LoadText(IDS_PASSWORD_MISMATCH));
        EXPECT_EQ(last_box_caption(), L"");
        EXPECT_EQ(current_page(wizard), page);

        robot.SetItemText(page, IDC_PW_CONFIRM_EDIT, kGoodPassword);
        EXPECT_TRUE(wait_buttons(robot, wizard, false, true));
        press(wizard, PSBTN_NEXT);

        // The two-group code page.
        HWND code = wait_page(robot, wizard, IDC_AN_GROUP2);
        ASSERT_NE(code, nullptr);
        EXPECT_TRUE(wait_buttons(robot, wizard, true, false));
        EXPECT_EQ(robot.ItemText(code, IDC_AN_DESCRIPTION), pair_text(IDS_CODE8_INPUT_DESCRIPTION));
        EXPECT_EQ(robot.ItemText(code, IDC_AN_LABEL), pair_text(IDS_CODE_INPUT_LABEL));
        EXPECT_EQ(robot.MissingGlyphs(wizard), "");
        robot.TypeKeys(::GetDlgItem(code, IDC_AN_GROUP1), L"1234");
        EXPECT_TRUE(robot.WaitUntil([&] {
          return focus_of(robot.ui_thread()) == ::GetDlgItem(code, IDC_AN_GROUP2);
        })) << "the fourth character moves the focus on";
        robot.TypeKeys(::GetDlgItem(code, IDC_AN_GROUP2), L"567");
        EXPECT_TRUE(robot.WaitUntil([&] { return robot.ItemText(code, IDC_AN_GROUP2) == L"567"; }));
        EXPECT_TRUE(wait_buttons(robot, wizard, true, false));
        // A paste past the edit's limit: refused with the hint, never cut.
        robot.SetItemText(code, IDC_AN_GROUP2, L"56789");
        EXPECT_TRUE(robot.WaitUntil(
            [&] { return robot.ItemText(code, IDC_AN_HINT) == pair_text(IDS_CODE_GROUP_TOO_LONG); }));
        EXPECT_TRUE(wait_buttons(robot, wizard, true, false));
        if (shots) shot(robot, wizard, "sender_input_an_" + tag + "_too_long");
        const int boxes2 = g_boxes.count;
        press(wizard, PSBTN_NEXT);
        EXPECT_TRUE(robot.WaitUntil([&] { return g_boxes.count > boxes2; }));
        EXPECT_EQ(last_box_text(), pair_text(IDS_CODE_GROUP_TOO_LONG));
        EXPECT_EQ(current_page(wizard), code) << "an overlong group never starts the transfer";
        // Blanks at the ends are not part of the code.
        robot.SetItemText(code, IDC_AN_GROUP2, L" 5678");
        EXPECT_TRUE(robot.WaitUntil([&] { return robot.ItemText(code, IDC_AN_HINT).empty(); }));
        EXPECT_TRUE(wait_buttons(robot, wizard, true, true));
        if (shots) shot(robot, wizard, "sender_input_an_" + tag + "_complete");
        press(wizard, PSBTN_NEXT);
        // The password went to the sheet; the page's copies are gone.
        EXPECT_TRUE(robot.WaitUntil([&] { return w.passwd->NewPassword()[0] == 0; }));
        // The start fails (nothing answers): Finish only, and the status page says why.
        HWND status = wait_page(robot, wizard, IDC_STATUS_HEADING);
        ASSERT_NE(status, nullptr);
        EXPECT_TRUE(wait_buttons(robot, wizard, false, false, true));
        EXPECT_EQ(robot.ItemText(status, IDC_STATUS_HEADING), pair_text(IDS_STATUS_START_FAILED));
        EXPECT_FALSE(robot.ItemText(status, IDC_STATUS_TEXT).empty());
        if (shots) shot(robot, wizard, "sender_status_start_failed_" + tag);
        press(wizard, PSBTN_FINISH);
        EXPECT_TRUE(robot.WaitGone(wizard));
      });
      EXPECT_EQ(result, ID_WIZFINISH);
      EXPECT_GT(g_ckapp.event_count, reads_before)
          << "the edits were read through the keyboard-security module";
      EXPECT_EQ(g_ckapp.subclassed, 0) << "every page gave its edits back";
      EXPECT_EQ(g_ckapp.bad_calls, 0);
      EXPECT_EQ(w.passwd->NewPassword()[0], 0) << "the page's buffers are wiped when it goes";
    }
  }
}

// Kind 4: the choosing page is first (no Back to a page that is not there); switching the form
// keeps what was typed in either; full-width digits are refused; the 8-character form starts.
TEST_F(SenderPagesUi, Kind4ChoosingPageKeepsWhatWasTyped) {
  for (uint16_t language : kLanguages) {
    WordsScope words(language, int(kCharEncodingUtf8));
    g_ckapp.utf8 = 1;
    const std::string tag = language_name(language);
    SCOPED_TRACE(tag);
    Wizard w = make_wizard(0x84000003u);
    const INT_PTR result = drive(w, IDC_AN_TYPE8, [&](UiRobot &robot, HWND wizard, HWND page) {
      EXPECT_TRUE(robot.WaitUntil(
          [&] { return focus_of(robot.ui_thread()) == ::GetDlgItem(page, IDC_AN_GROUP12_1); }));
      EXPECT_EQ(robot.ItemText(page, IDC_AN_TYPE12), pair_text(IDS_CODE_TYPE_12));
      EXPECT_EQ(robot.ItemText(page, IDC_AN_DESCRIPTION), pair_text(IDS_CODE_ANY_INPUT_DESCRIPTION));
      EXPECT_FALSE(robot.Enabled(page, IDC_AN_GROUP8_1));
      EXPECT_EQ(robot.MissingGlyphs(wizard), "");
      robot.TypeKeys(::GetDlgItem(page, IDC_AN_GROUP12_1), L"1234");
      EXPECT_TRUE(
          robot.WaitUntil([&] { return focus_of(robot.ui_thread()) == ::GetDlgItem(page, IDC_AN_GROUP2); }));
      robot.TypeKeys(::GetDlgItem(page, IDC_AN_GROUP2), L"5678");
      EXPECT_TRUE(
          robot.WaitUntil([&] { return focus_of(robot.ui_thread()) == ::GetDlgItem(page, IDC_AN_GROUP3); }));
      robot.TypeKeys(::GetDlgItem(page, IDC_AN_GROUP3), L"9012");
      EXPECT_TRUE(wait_buttons(robot, wizard, false, true)) << "the first page offers no Back";
      shot(robot, wizard, "sender_input_an2_" + tag + "_12");

      // To the 8-character form: its groups open, the others keep their text.
      robot.Click(page, IDC_AN_TYPE8);
      // The robot runs beside the page's thread: wait for the whole switch, not its first step.
      EXPECT_TRUE(robot.WaitUntil(
          [&] { return robot.Enabled(page, IDC_AN_GROUP8_1) && !robot.Enabled(page, IDC_AN_GROUP12_1); }));
      EXPECT_EQ(robot.ItemText(page, IDC_AN_GROUP12_1), L"1234");
      EXPECT_EQ(robot.ItemText(page, IDC_AN_GROUP3), L"9012");
      EXPECT_TRUE(wait_buttons(robot, wizard, false, false));
      robot.SetItemText(page, IDC_AN_GROUP8_1, L"\xFF14\xFF13\xFF12\xFF11");  // full-width digits
      robot.SetItemText(page, IDC_AN_GROUP8_2, L"8765");
      EXPECT_TRUE(robot.WaitUntil(
          [&] { return robot.ItemText(page, IDC_AN_HINT) == pair_text(IDS_CODE_BAD_CHARACTER); }));
      EXPECT_TRUE(wait_buttons(robot, wizard, false, false));
      shot(robot, wizard, "sender_input_an2_" + tag + "_bad_character");
      robot.SetItemText(page, IDC_AN_GROUP8_1, L"4321");
      EXPECT_TRUE(wait_buttons(robot, wizard, false, true));
      shot(robot, wizard, "sender_input_an2_" + tag + "_8");

      // Back to the 12-character form by the mouse: the first code is still there whole.
      RECT box;
      ::GetClientRect(::GetDlgItem(page, IDC_AN_TYPE12), &box);
      const LPARAM at = MAKELPARAM(4, (box.bottom - box.top) / 2);
      ::PostMessageW(::GetDlgItem(page, IDC_AN_TYPE12), WM_LBUTTONDOWN, MK_LBUTTON, at);
      ::PostMessageW(::GetDlgItem(page, IDC_AN_TYPE12), WM_LBUTTONUP, 0, at);
      EXPECT_TRUE(robot.WaitUntil(
          [&] { return robot.Enabled(page, IDC_AN_GROUP12_1) && !robot.Enabled(page, IDC_AN_GROUP8_1); }));
      EXPECT_TRUE(wait_buttons(robot, wizard, false, true));
      // And to 8 again by the keyboard (the arrow moves the check within the radio group), which
      // goes on.
      EXPECT_TRUE(
          robot.WaitUntil([&] { return focus_of(robot.ui_thread()) == ::GetDlgItem(page, IDC_AN_TYPE12); }));
      robot.PressKey(::GetDlgItem(page, IDC_AN_TYPE12), VK_DOWN);
      EXPECT_TRUE(robot.WaitUntil(
          [&] { return robot.Enabled(page, IDC_AN_GROUP8_1) && !robot.Enabled(page, IDC_AN_GROUP12_1); }));
      EXPECT_TRUE(wait_buttons(robot, wizard, false, true));
      press(wizard, PSBTN_NEXT);
      EXPECT_TRUE(wait_page(robot, wizard, IDC_STATUS_HEADING) != nullptr);
      EXPECT_TRUE(robot.WaitUntil([&] { return button_on(wizard, ID_WIZFINISH); }));
      press(wizard, PSBTN_FINISH);
      EXPECT_TRUE(robot.WaitGone(wizard));
    });
    EXPECT_EQ(result, ID_WIZFINISH);
  }
}

// Kind 5: three groups on the first page; a failed start leaves Finish only and still moves on;
// Cancel asks, No keeps the wizard, Yes ends it.
TEST_F(SenderPagesUi, Kind5ThreeGroupsFailedStartAndCancel) {
  for (uint16_t language : kLanguages) {
    WordsScope words(language, 0);
    g_ckapp.utf8 = 0;
    const std::string tag = language_name(language);
    SCOPED_TRACE(tag);
    for (bool cancel_first : {true, false}) {
      Wizard w = make_wizard(0x80000003u);
      const INT_PTR result = drive(w, IDC_AN_GROUP3, [&](UiRobot &robot, HWND wizard, HWND page) {
        EXPECT_TRUE(wait_buttons(robot, wizard, false, false));
        EXPECT_EQ(robot.ItemText(page, IDC_AN_DESCRIPTION), pair_text(IDS_CODE12_INPUT_DESCRIPTION));
        if (cancel_first) {
          g_boxes.yes_no_answer = IDNO;
          const int before = g_boxes.count;
          press(wizard, PSBTN_CANCEL);
          EXPECT_TRUE(robot.WaitUntil([&] { return g_boxes.count > before; }));
          EXPECT_EQ(last_box_text(), pair_text(IDS_CONFIRM_QUIT));
          EXPECT_EQ(last_box_caption(), pair_text(IDS_QUIT_CAPTION));
          EXPECT_EQ(current_page(wizard), page) << "No keeps the wizard";
          g_boxes.yes_no_answer = IDYES;
          press(wizard, PSBTN_CANCEL);
          EXPECT_TRUE(robot.WaitGone(wizard));
          return;
        }
        robot.SetItemText(page, IDC_AN_GROUP1, L"1234 ");
        robot.SetItemText(page, IDC_AN_GROUP2, L"5 78");
        robot.SetItemText(page, IDC_AN_GROUP3, L"\t9012");
        EXPECT_TRUE(wait_buttons(robot, wizard, false, true));
        shot(robot, wizard, "sender_input_an3_" + tag);
        press(wizard, PSBTN_NEXT);
        EXPECT_TRUE(wait_page(robot, wizard, IDC_STATUS_HEADING) != nullptr);
        EXPECT_TRUE(robot.WaitUntil([&] {
          return button_on(wizard, ID_WIZFINISH) && !button_on(wizard, ID_WIZBACK);
        })) << "a failed start leaves Finish only";
        press(wizard, PSBTN_FINISH);
        EXPECT_TRUE(robot.WaitGone(wizard));
      });
      EXPECT_EQ(result, cancel_first ? INT_PTR(IDCANCEL) : INT_PTR(ID_WIZFINISH));
    }
  }
}

}  // namespace
