// The main job end to end, as scripts/demo runs it: a whole receive from a phone, stored on the
// hard disk, then a whole send of that stored set to a second phone, both through the library's
// transfer exports against the test relay server, the phones played by tools/phone's code. By
// default the robot answers the wizard and saves a screenshot of every page; with
// V7_DEMO_INTERACTIVE=1 a person clicks through and the program only hands the codes between
// the wizard and the phones (it prints the code the phone shows for the person to type).
//
// The exports are linked in, so the controller is pointed at the test relay server through its
// test seams; the send's certificate comes from the selection dialog, which lists the set the
// receive stored.
#include "tests/wizard/sheet/sheet_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/wizard/app/export_steps.h"
#include "tests/wizard/app/receiving_phone.h"
#include "tests/wizard/pages/wizard_robot.h"
#include "tests/wizard/sheet/phone_thread.h"
#include "tests/wizard/sheet/store_steps.h"
#include "wizard/records/request_record.h"
#include "wizard/relay_exports.h"
#include "wizard/res/select_ids.h"

using namespace sheettest;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new stepstest::StepsEnvironment);

constexpr DWORD kPersonMs = 600000;  // how long a person may take over one step

bool interactive() {
  const char *v = std::getenv("V7_DEMO_INTERACTIVE");
  return v != nullptr && std::string(v) == "1";
}

void say(const std::string &line) {
  std::printf("demo: %s\n", line.c_str());
  std::fflush(stdout);
}

std::string result_text(int result) {
  switch (result) {
    case kRelayExportCompleted:
      return "completed (0)";
    case kRelayExportCancelled:
      return "cancelled by the user (21500)";
    case kRelayExportUnknownType:
      return "unknown type (1001)";
    default:
      return "failed (" + std::to_string(result) + ")";
  }
}

// Saves the page on show once it holds control id; the page, or null.
HWND shot(UiRobot &robot, HWND sheet, int id, const std::string &name) {
  HWND page = wait_page(robot, sheet, id);
  if (page != nullptr && !interactive()) robot.Screenshot(sheet, name);
  return page;
}

class MainJob : public SheetUi {
 protected:
  void TearDown() override { SheetUi::TearDown(); }
};

TEST_F(MainJob, AReceiveFromAPhoneThenASendOfThatSetToAnother) {
  const bool person = interactive();
  set_language_id(kLanguageEnglish);
  BrokerScope broker;
  auto request = std::make_unique<RelayRequestRecord>();
  snprintf(request->banner, sizeof request->banner, "%s", "BITMAP_VELMORA_RELAY");

  // ---- Receive (kind 1: registration number, 8-digit code) ----
  say("receive: the wizard opens; the phone sends the test user's certificate set");
  Phone sender(1, kRelayTransportRaw);
  StoreSeen seen;
  int received = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND window = find_sheet(robot);
        ASSERT_NE(window, nullptr);
        HWND page = shot(robot, window, IDC_SSN_RESIDENT1, "demo_receive_1_number");
        ASSERT_NE(page, nullptr);
        if (!person) {
          type_number(robot, page);
          robot.Screenshot(window, "demo_receive_1_number_typed");
          ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
        } else {
          say("receive: type the number 800101-1234567 and press Next");
        }
        HWND code_page = wait_page(robot, window, IDC_CODE_GROUP1);
        ASSERT_NE(code_page, nullptr);
        const std::string code = shown_code(robot, code_page, person ? kPersonMs : 30000);
        ASSERT_EQ(code.size(), 8u);
        if (!person) robot.Screenshot(window, "demo_receive_2_code");
        say("receive: the wizard shows the code " + code + ", which the phone types");
        sender.send(code);
        ASSERT_NE(shot(robot, window, IDC_CERT_DN_SUBJECT, "demo_receive_3_subject"), nullptr);
        if (person) {
          say("receive: check the subject name, choose the hard disk, give the phone's password " +
              std::string(stepstest::kPassword) + " and finish");
          robot.WaitGone(window, kPersonMs);
          return;
        }
        ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
        StoreStep step;
        step.screenshots = "demo";
        store_through_pages(robot, window, step, false, &seen);
        robot.Screenshot(window, "demo_receive_6_done");
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      [&] { received = VELMORARELAY_RecvCertificate(1, 1, 0x1, request.get()); });
  sender.join();
  say("receive: " + result_text(received));
  ASSERT_EQ(received, kRelayExportCompleted);

  // ---- Send (kind 5: 12-digit code typed from the phone) ----
  say("send: the selection dialog lists the hard disk, where the set was just stored");
  request->media_bits = kRequestMediaHardDisk;
  ReceivingPhone recipient(3);
  recipient.receive();
  int sent = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_MEDIA, nullptr, person ? kPersonMs : 15000);
        ASSERT_NE(dialog, nullptr);
        HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
        ASSERT_TRUE(robot.WaitUntil([&] { return ::SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1; },
                                    person ? kPersonMs : 15000));
        if (person) {
          say("send: choose the certificate, type its password " + std::string(stepstest::kPassword) +
              " and press OK");
        } else {
          robot.Screenshot(dialog, "demo_send_0_selection");
          const std::string pw = stepstest::kPassword;
          robot.SetItemText(dialog, IDC_SELECT_PASSWORD, std::wstring(pw.begin(), pw.end()));
          robot.Screenshot(dialog, "demo_send_0_selection_password");
          robot.Click(dialog, IDOK);
        }
        HWND wizard = robot.WaitForWindow(
            [](HWND w) { return ::GetDlgItem(w, ID_WIZNEXT) != nullptr && ::IsWindowVisible(w); },
            person ? kPersonMs : 15000);
        ASSERT_NE(wizard, nullptr);
        HWND code_page = shot(robot, wizard, IDC_AN_GROUP3, "demo_send_1_code");
        ASSERT_NE(code_page, nullptr);
        ASSERT_TRUE(robot.WaitUntil([&] { return recipient.code().size() == 12; }, 30000));
        const std::string code = recipient.code();
        say("send: the phone shows the code " + code + (person ? "; type it and press Next" : ""));
        if (person) {
          robot.WaitGone(wizard, kPersonMs);
          return;
        }
        type_code12(robot, code_page, code);
        robot.Screenshot(wizard, "demo_send_1_code_typed");
        ASSERT_TRUE(press(robot, wizard, ID_WIZNEXT));
        HWND status = wait_page(robot, wizard, IDC_STATUS_HEADING);
        ASSERT_NE(status, nullptr);
        ASSERT_TRUE(robot.WaitUntil([&] { return button_enabled(wizard, ID_WIZFINISH); }, 30000));
        robot.Screenshot(wizard, "demo_send_2_done");
        robot.Click(wizard, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(wizard));
      },
      [&] { sent = VELMORARELAY_SendCertificate(5, 1, request.get()); });
  recipient.join();
  say("send: " + result_text(sent));
  EXPECT_EQ(sent, kRelayExportCompleted);
  EXPECT_EQ(recipient.result_.code, 0) << recipient.result_.where << ": " << recipient.result_.text;
  EXPECT_EQ(stepstest::kept(recipient.session_.get(), kRelayItemSignCert),
            asn1test::read_fixture("pki/signCert.der"));
}

}  // namespace
