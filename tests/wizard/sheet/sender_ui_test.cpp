// Whole sends through the wizard on real windows under Wine, driven by the UI robot against the
// test relay server, with the phone's side (the recipient) played by tools/phone's code on a
// thread of the test: every send kind over both transports, in Korean and in English. The robot
// sets the phone copy's new password (a broken rule first), types a wrong code, goes Back from the
// failure, types the code the phone shows, and the phone ends with a set whose keys open with
// the new password only.
#include <winsock2.h>  // before any windows.h, which it brings in

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pki/password/password.h"
#include "platform/classlib/app.h"
#include "platform/fs/library_folders.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version_query.h"
#include "platform/ui/message_box.h"
#include "tests/modules/ckapp/ckapp_test_setup.h"
#include "tests/relay/controller/chosen_set.h"
#include "tests/relay/controller/fake_sheet.h"
#include "tests/relay/steps/steps_test_util.h"
#include "tests/ui/robot.h"
#include "tests/wizard/pages/wizard_robot.h"
#include "tests/wizard/select/select_robot.h"
#include "tests/wizard/sheet/phone_recipient.h"
#include "wizard/keycrypt/key_crypt_sub.h"
#include "wizard/pages/page_change_passwd.h"
#include "wizard/pages/page_input_an.h"
#include "wizard/pages/page_input_an2.h"
#include "wizard/pages/page_input_an3.h"
#include "wizard/pages/sender_logic.h"
#include "wizard/res/pages_ids.h"
#include "wizard/res/sender_pages_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/select/cert_list.h"
#include "wizard/sheet/sheet_cert_relay.h"

using controllertest::Bytes;
using controllertest::port;
using sheettest::key_opens;
using sheettest::PhoneRecipient;
using v7::pages::SheetPage;
using v7::sheet::CSheetCertRelay;
using v7test::RunWithRobot;
using v7test::UiRobot;
using namespace wizardrobot;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new stepstest::StepsEnvironment);

constexpr char kNewPassword[] = "Zk8#pQ2!vR7$";

int answer_box(const char16_t *, const char16_t *, unsigned) { return IDOK; }
int answer_narrow_box(const char *, const char *, unsigned) { return IDOK; }

CKAppTestState g_ckapp;

std::string narrow(const std::wstring &w) {
  std::string out;
  for (wchar_t c : w) out += c < 0x80 ? char(c) : '?';
  return out;
}

// ---- The cases ----

struct SendCase {
  int kind;  // the export's send kind, 1 to 5
  RelayModeWord mode;
  int transport;
  uint16_t language;
  int encoding;
};

std::string case_name(const SendCase &c) {
  return "send" + std::to_string(c.kind) + (c.transport == kRelayTransportHttp ? "_http" : "_raw") +
         (c.language == kLanguageKorean ? "_ko" : "_en");
}

// The code page's groups of the code's length, in screen order.
std::vector<int> code_controls(v7::pages::CodePage page, size_t length) {
  if (page == v7::pages::CodePage::kInputAN2) {
    if (length == 8) return {IDC_AN_GROUP8_1, IDC_AN_GROUP8_2};
    return {IDC_AN_GROUP12_1, IDC_AN_GROUP2, IDC_AN_GROUP3};
  }
  if (length == 8) return {IDC_AN_GROUP1, IDC_AN_GROUP2};
  return {IDC_AN_GROUP1, IDC_AN_GROUP2, IDC_AN_GROUP3};
}

void type_code(UiRobot &robot, HWND page, const std::vector<int> &controls, const std::string &code) {
  for (size_t i = 0; i < controls.size(); ++i) {
    const std::string group = code.substr(i * 4, 4);
    robot.SetItemText(page, controls[i], std::wstring(group.begin(), group.end()));
  }
}

class SenderUi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ckapptest::use_variant("complete", &g_ckapp);
  }
  static void TearDownTestSuite() { v7::keycrypt::KeyCryptSetModuleFolder(nullptr); }

  void SetUp() override {
    ASSERT_NE(port("pair"), 0) << "no relayd ports file (V7_RELAYD_PORTS)";
    v7::set_message_box_hook_w(answer_box);
    v7::set_message_box_hook(answer_narrow_box);
    platform_set_os_version_hook([](OsVersionRecord *out) { return *out = {2, 6, 1}, true; });
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\AppDataLow\\Software\\TAVN\\velmora7\\velmoraRelay");
    relay_controller_set_session_hook([](RelaySession *s) {
      snprintf(s->validation->cert_dir, sizeof s->validation->cert_dir, "%s", stepstest::kCertDir);
    });
    relay_controller_set_ports(port("pair"), port("pair_http"));
  }
  void TearDown() override {
    relay_controller_set_session_hook(nullptr);
    relay_controller_set_ports(0, 0);
    v7::set_message_box_hook_w(nullptr);
    v7::set_message_box_hook(nullptr);
    platform_set_os_version_hook(nullptr);
    set_language_id(kLanguageKorean);
    set_char_encoding_mode(0);
  }
};

TEST_F(SenderUi, AWholeSendOfEachKindDeliversASetThatOpensWithTheNewPasswordOnly) {
  const SendCase cases[] = {
      {1, 0x80000001u, kRelayTransportRaw, kLanguageKorean, 0},
      {1, 0x80000001u, kRelayTransportHttp, kLanguageEnglish, 1},
      {2, 0x84000002u, kRelayTransportRaw, kLanguageEnglish, 0},
      {2, 0x84000002u, kRelayTransportHttp, kLanguageKorean, 1},
      {3, 0x80000002u, kRelayTransportRaw, kLanguageKorean, 1},
      {3, 0x80000002u, kRelayTransportHttp, kLanguageEnglish, 0},
      {4, 0x84000003u, kRelayTransportRaw, kLanguageEnglish, 1},
      {4, 0x84000003u, kRelayTransportHttp, kLanguageKorean, 0},
      {5, 0x80000003u, kRelayTransportRaw, kLanguageKorean, 0},
      {5, 0x80000003u, kRelayTransportHttp, kLanguageEnglish, 1},
  };
  for (const SendCase &c : cases) {
    const std::string name = case_name(c);
    SCOPED_TRACE(name);
    set_language_id(c.language);
    set_char_encoding_mode(c.encoding);
    g_ckapp.utf8 = c.encoding == 1 ? 1 : 0;
    const std::string lang = c.language == kLanguageKorean ? "ko" : "en";
    v7::pages::SenderPageSet set{};
    ASSERT_TRUE(v7::pages::sender_page_set(c.mode, &set));
    const int major = int(c.mode & 0xF);
    const size_t code_length = major == 1 ? 8 : 12;

    PhoneRecipient phone(major, c.transport);
    auto select = controllertest::chosen_set();
    CSheetCertRelay sheet(c.mode, v7::sheet::ControlFlags{uint32_t(c.transport)});
    if (set.change_password)
      sheet.InstallPage(SheetPage::ChangePasswd, std::make_unique<v7::pages::CPageChangePasswd>());
    SheetPage code_slot = SheetPage::InputAN3;
    if (set.code_page == v7::pages::CodePage::kInputAN) {
      code_slot = SheetPage::InputAN;
      sheet.InstallPage(code_slot, std::make_unique<v7::pages::CPageInputAN>());
    } else if (set.code_page == v7::pages::CodePage::kInputAN2) {
      code_slot = SheetPage::InputAN2;
      sheet.InstallPage(code_slot, std::make_unique<v7::pages::CPageInputAN2>());
    } else {
      sheet.InstallPage(code_slot, std::make_unique<v7::pages::CPageInputAN3>());
    }
    sheet.SetSelection(select.get());
    sheet.AddModePages();

    std::string missing_glyphs;
    std::wstring wrong_code_heading, done_text;
    bool back_after_wrong_code = false, code_kept = false;
    INT_PTR result = 0;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND wizard = wait_sheet(robot);
          ASSERT_NE(wizard, nullptr);
          if (set.change_password) {
            HWND page = wait_page(robot, wizard, IDC_PW_CHECK);
            ASSERT_NE(page, nullptr);
            robot.Click(page, IDC_PW_CHECK);
            ASSERT_TRUE(robot.WaitUntil([&] { return robot.Enabled(page, IDC_PW_NEW_EDIT); }));
            // A broken rule shows its text and keeps Next disabled.
            robot.SetItemText(page, IDC_PW_NEW_EDIT, L"abcd1234");
            robot.SetItemText(page, IDC_PW_CONFIRM_EDIT, L"abcd1234");
            EXPECT_TRUE(robot.WaitUntil([&] { return is_visible(page, IDC_PW_RULE_TEXT); }));
            EXPECT_TRUE(wait_buttons(robot, wizard, false, false));
            robot.SetItemText(page, IDC_PW_NEW_EDIT, L"Zk8#pQ2!vR7$");
            robot.SetItemText(page, IDC_PW_CONFIRM_EDIT, L"Zk8#pQ2!vR7$");
            EXPECT_TRUE(wait_buttons(robot, wizard, false, true));
            missing_glyphs += robot.MissingGlyphs(wizard);
            press(wizard, PSBTN_NEXT);
          }
          const std::vector<int> controls = code_controls(set.code_page, code_length);
          HWND code_page = wait_page(robot, wizard, controls.back());
          ASSERT_NE(code_page, nullptr);
          // A wrong code first: the relay server refuses it and the status page offers Back.
          type_code(robot, code_page, controls, std::string(code_length, '0'));
          ASSERT_TRUE(wait_buttons(robot, wizard, set.change_password, true));
          missing_glyphs += robot.MissingGlyphs(wizard);
          press(wizard, PSBTN_NEXT);
          HWND status = wait_page(robot, wizard, IDC_STATUS_HEADING);
          ASSERT_NE(status, nullptr);
          back_after_wrong_code = robot.WaitUntil(
              [&] { return button_on(wizard, ID_WIZBACK) && button_on(wizard, ID_WIZFINISH); }, 30000);
          wrong_code_heading = robot.ItemText(status, IDC_STATUS_HEADING);
          EXPECT_TRUE(robot.Screenshot(wizard, "sender_status_wrong_code_" + name));
          missing_glyphs += robot.MissingGlyphs(wizard);
          press(wizard, PSBTN_BACK);

          // Back on the code page, with what was typed; now the code the phone shows.
          ASSERT_EQ(wait_page(robot, wizard, controls.back()), code_page);
          code_kept = robot.ItemText(code_page, controls[0]) == L"0000";
          ASSERT_TRUE(robot.WaitUntil([&] { return phone.has_code_.load(); }, 30000));
          const std::string code = phone.code();
          ASSERT_EQ(code.size(), code_length) << code;
          type_code(robot, code_page, controls, code);
          ASSERT_TRUE(wait_buttons(robot, wizard, set.change_password, true));
          press(wizard, PSBTN_NEXT);

          // The set goes: the status page ends with Finish only.
          const bool done = robot.WaitUntil(
              [&] {
                return robot.ItemText(status, IDC_STATUS_HEADING) ==
                           v7::classlib::LoadPairText(IDS_STATUS_COMPLETED) &&
                       button_on(wizard, ID_WIZFINISH) && !button_on(wizard, ID_WIZBACK);
              },
              30000);
          done_text = robot.ItemText(status, IDC_STATUS_TEXT);
          ASSERT_TRUE(done) << narrow(robot.ItemText(status, IDC_STATUS_HEADING)) << " / "
                            << narrow(done_text);
          EXPECT_TRUE(robot.Screenshot(wizard, "sender_status_done_" + name));
          missing_glyphs += robot.MissingGlyphs(wizard);
          robot.Click(wizard, ID_WIZFINISH);
          EXPECT_TRUE(robot.WaitGone(wizard));
        },
        [&] { result = sheet.DoModal(); });
    phone.join();
    EXPECT_EQ(result, ID_WIZFINISH);
    EXPECT_TRUE(back_after_wrong_code) << "a wrong code leaves Back to type it again";
    EXPECT_EQ(wrong_code_heading, v7::classlib::LoadPairText(IDS_STATUS_FAILED));
    EXPECT_TRUE(code_kept) << "Back finds the groups as they were typed";
    EXPECT_EQ(done_text, v7::classlib::LoadPairText(IDS_SEND_DONE));
    EXPECT_EQ(missing_glyphs, "");
    EXPECT_FALSE(sheet.Controller()->Running());
    ASSERT_EQ(phone.result_.code, 0) << phone.result_.where << ": " << phone.result_.text;
    EXPECT_EQ(stepstest::kept(phone.session_.get(), kRelayItemSignCert),
              asn1test::read_fixture("pki/signCert.der"));
    EXPECT_EQ(stepstest::kept(phone.session_.get(), kRelayItemKmCert),
              asn1test::read_fixture("pki/kmCert.der"));
    for (int tag : {int(kRelayItemSignKey), int(kRelayItemKmKey)}) {
      SCOPED_TRACE(tag);
      const Bytes key = stepstest::kept(phone.session_.get(), tag);
      ASSERT_FALSE(key.empty());
      if (set.change_password) {
        EXPECT_TRUE(key_opens(key, kNewPassword)) << "the phone's copy opens with the new password";
        EXPECT_FALSE(key_opens(key, stepstest::kPassword)) << "and no longer with the PC's";
      } else {
        // Without the password page the copy keeps the PC's password.
        EXPECT_TRUE(key_opens(key, stepstest::kPassword));
      }
    }
  }
}

// The send as the library runs it: the selection dialog first, on the hard disk's NPKI store,
// then the wizard with the set the dialog chose, to the phone.
TEST_F(SenderUi, AWholeSendStartsFromTheRealSelectionDialog) {
  // The library's folder texts were made by the sends before, from this prefix's own profile: the
  // store goes into the user's NPKI folder they name, which must be empty of ours first.
  const std::filesystem::path npki(reinterpret_cast<const wchar_t *>(npki_folder_w()));
  ASSERT_FALSE(npki.empty());
  ASSERT_FALSE(std::filesystem::exists(npki / "TestCA")) << "an NPKI store is already there";
  // The library's own CA folder holds what the receives stored: only the holder put here goes.
  const bool own_ca_there = std::filesystem::exists(npki / "velmora");
  selectrobot::put_store(npki);
  RelayRequestRecord request;
  selectrobot::begin_case(&request);
  v7::set_message_box_hook_w(answer_box);
  set_language_id(kLanguageKorean);
  const RelayModeWord mode = 0x84000003u;  // send 4: code page 2 and the status page
  PhoneRecipient phone(3, kRelayTransportRaw);
  auto select = selectrobot::select_for(&request);
  CSheetCertRelay sheet(mode, v7::sheet::ControlFlags{uint32_t(kRelayTransportRaw)});
  sheet.InstallPage(SheetPage::InputAN2, std::make_unique<v7::pages::CPageInputAN2>());
  int selection = -2;
  INT_PTR result = 0;
  std::wstring done_text;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
        ASSERT_NE(dialog, nullptr);
        HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
        const bool listed =
            robot.WaitUntil([&] { return selectrobot::row_of(list, "Hong Gildong()0001234567890123") >= 0; });
        EXPECT_TRUE(robot.Screenshot(dialog, "sender_selection_list_ko"));
        ASSERT_TRUE(listed) << selectrobot::rows_of(list).size() << " rows, first "
                            << (selectrobot::rows_of(list).empty() ? "" : selectrobot::rows_of(list)[0]);
        selectrobot::select_row(list, selectrobot::row_of(list, "Hong Gildong()0001234567890123"));
        robot.SetItemText(dialog, IDC_SELECT_PASSWORD, L"Fixture1!");
        EXPECT_TRUE(robot.Screenshot(dialog, "sender_selection_ko"));
        robot.Click(dialog, IDOK);
        ASSERT_TRUE(robot.WaitGone(dialog));

        HWND wizard = wait_sheet(robot);
        ASSERT_NE(wizard, nullptr);
        const std::vector<int> controls = code_controls(v7::pages::CodePage::kInputAN2, 12);
        HWND code_page = wait_page(robot, wizard, controls.back());
        ASSERT_NE(code_page, nullptr);
        ASSERT_TRUE(robot.WaitUntil([&] { return phone.has_code_.load(); }, 30000));
        type_code(robot, code_page, controls, phone.code());
        ASSERT_TRUE(wait_buttons(robot, wizard, false, true));
        press(wizard, PSBTN_NEXT);
        HWND status = wait_page(robot, wizard, IDC_STATUS_HEADING);
        ASSERT_NE(status, nullptr);
        const bool done = robot.WaitUntil(
            [&] {
              return robot.ItemText(status, IDC_STATUS_HEADING) == v7::classlib::LoadPairText(IDS_STATUS_COMPLETED) &&
                     button_on(wizard, ID_WIZFINISH);
            },
            30000);
        done_text = robot.ItemText(status, IDC_STATUS_TEXT);
        ASSERT_TRUE(done) << narrow(robot.ItemText(status, IDC_STATUS_HEADING));
        EXPECT_TRUE(robot.Screenshot(wizard, "sender_status_done_from_selection_ko"));
        robot.Click(wizard, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(wizard));
      },
      [&] {
        selection = RunSendSelection(select.get());
        if (selection != 0) return;
        sheet.SetSelection(select.get());
        sheet.AddModePages();
        result = sheet.DoModal();
      });
  phone.join();
  selectrobot::end_case();
  std::error_code ec;
  for (const char *ca : {"TestCA", "Test", "PathCA"}) std::filesystem::remove_all(npki / ca, ec);
  std::filesystem::remove_all(own_ca_there ? npki / "velmora" / "USER" / selectrobot::kRenew : npki / "velmora", ec);
  ASSERT_EQ(selection, 0);
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_EQ(done_text, v7::classlib::LoadPairText(IDS_SEND_DONE));
  ASSERT_EQ(phone.result_.code, 0) << phone.result_.where << ": " << phone.result_.text;
  // The phone holds the set the dialog chose, its keys still under the PC's password.
  EXPECT_EQ(stepstest::kept(phone.session_.get(), kRelayItemSignCert), asn1test::read_fixture("pki/signCert.der"));
  EXPECT_EQ(stepstest::kept(phone.session_.get(), kRelayItemKmCert), asn1test::read_fixture("pki/kmCert.der"));
  EXPECT_TRUE(key_opens(stepstest::kept(phone.session_.get(), kRelayItemSignKey), stepstest::kPassword));
  EXPECT_TRUE(key_opens(stepstest::kept(phone.session_.get(), kRelayItemKmKey), stepstest::kPassword));
  EXPECT_EQ(selectrobot::setting("Last Media"), "HARDDISK");
}

}  // namespace
