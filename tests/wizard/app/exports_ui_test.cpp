// The transfer exports on real windows under Wine, against the test relay server, with the phone
// played by tools/phone's code and the robot answering the wizard: a whole receive and a whole
// send return 0, a transfer that failed returns -1 though the wizard closed with Finish, the
// selection's cancel and failure, and a transfer call made while one runs is refused.
#include "tests/wizard/sheet/sheet_test_util.h"

#include <memory>
#include <string>
#include <thread>

#include "tests/relay/controller/chosen_set.h"
#include "tests/wizard/app/export_steps.h"
#include "tests/wizard/pages/wizard_robot.h"
#include "tests/wizard/sheet/phone_recipient.h"
#include "tests/wizard/sheet/phone_thread.h"
#include "tests/wizard/sheet/store_steps.h"
#include "wizard/app/send_selection.h"
#include "wizard/records/request_record.h"
#include "wizard/relay_exports.h"
#include "wizard/res/select_ids.h"

using namespace sheettest;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new stepstest::StepsEnvironment);

// ---- The selection before a send, through its seam ----

int g_selection_calls = 0;
int choose_test_set(const RelayRequestRecord *, std::unique_ptr<CCertSelect> *select) {
  ++g_selection_calls;
  *select = controllertest::chosen_set();
  return 0;
}
int cancel_selection(const RelayRequestRecord *, std::unique_ptr<CCertSelect> *select) {
  ++g_selection_calls;
  *select = controllertest::chosen_set();
  return kRelayExportCancelled;
}
int fail_selection(const RelayRequestRecord *, std::unique_ptr<CCertSelect> *) {
  ++g_selection_calls;
  return -1;
}
// Runs where a page's script would, inside the transfer call: both transfer exports again.
int g_nested_recv = 0, g_nested_send = 0, g_nested_encoding = 0, g_nested_language = 0;
int call_again(const RelayRequestRecord *request, std::unique_ptr<CCertSelect> *) {
  ++g_selection_calls;
  g_nested_encoding = VELMORARELAY_SetCharEncoding(1);
  g_nested_language = cr_set_lang_id(kLanguageEnglish);
  g_nested_recv = VELMORARELAY_RecvCertificate(1, 1, 0x1, const_cast<RelayRequestRecord *>(request));
  g_nested_send = VELMORARELAY_SendCertificate(1, 1, const_cast<RelayRequestRecord *>(request));
  return kRelayExportCancelled;
}

class ExportsUi : public SheetUi {
 protected:
  void SetUp() override {
    SheetUi::SetUp();
    request_.reset(new RelayRequestRecord());
    g_selection_calls = 0;
  }
  void TearDown() override {
    v7::app::SetSendSelectionRunner(nullptr);
    SheetUi::TearDown();
  }
  std::unique_ptr<RelayRequestRecord> request_;
};

// A send of kind 5 (no password page, a 12-character code) through the export; the robot types
// the code (the phone's, or a wrong one) and ends the wizard with Finish. The export's result.
int send_through_export(RelayRequestRecord *request, bool right_code, PhoneRecipient *phone,
                        std::wstring *heading) {
  int result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND wizard = wizardrobot::wait_sheet(robot);
        ASSERT_NE(wizard, nullptr);
        HWND code_page = wait_page(robot, wizard, IDC_AN_GROUP3);
        ASSERT_NE(code_page, nullptr);
        std::string code(12, '0');
        if (right_code) {
          ASSERT_TRUE(robot.WaitUntil([&] { return phone->has_code_.load(); }, 30000));
          code = phone->code();
          ASSERT_EQ(code.size(), 12u) << phone->result_.where << ": " << phone->result_.text;
        }
        type_code12(robot, code_page, code);
        ASSERT_TRUE(press(robot, wizard, ID_WIZNEXT));
        HWND status = wait_page(robot, wizard, IDC_STATUS_HEADING);
        ASSERT_NE(status, nullptr);
        const std::wstring done = v7::classlib::LoadPairText(IDS_STATUS_COMPLETED);
        const std::wstring failed = v7::classlib::LoadPairText(IDS_STATUS_FAILED);
        ASSERT_TRUE(robot.WaitUntil(
            [&] {
              const std::wstring h = robot.ItemText(status, IDC_STATUS_HEADING);
              return (h == done || h == failed) && button_enabled(wizard, ID_WIZFINISH);
            },
            30000));
        *heading = robot.ItemText(status, IDC_STATUS_HEADING);
        robot.Click(wizard, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(wizard));
      },
      [&] { result = VELMORARELAY_SendCertificate(5, 1, request); });
  return result;
}

TEST_F(ExportsUi, AWholeSendThroughTheExportReturnsZeroAndTheSetArrives) {
  v7::app::SetSendSelectionRunner(choose_test_set);
  PhoneRecipient phone(3, kRelayTransportRaw);
  std::wstring heading;
  const int result = send_through_export(request_.get(), true, &phone, &heading);
  phone.join();
  EXPECT_EQ(result, kRelayExportCompleted);
  EXPECT_EQ(heading, v7::classlib::LoadPairText(IDS_STATUS_COMPLETED));
  EXPECT_EQ(g_selection_calls, 1);
  ASSERT_EQ(phone.result_.code, 0) << phone.result_.where << ": " << phone.result_.text;
  EXPECT_EQ(stepstest::kept(phone.session_.get(), kRelayItemSignCert), asn1test::read_fixture("pki/signCert.der"));
}

// The relay server refuses a wrong code; the user ends the wizard with Finish on the failure,
// which is not a transfer: -1.
TEST_F(ExportsUi, ASendThatFailedReturnsMinusOneThoughTheWizardEndedWithFinish) {
  v7::app::SetSendSelectionRunner(choose_test_set);
  // No phone waits for this code: no code is right.
  std::wstring heading;
  const int result = send_through_export(request_.get(), false, nullptr, &heading);
  EXPECT_EQ(result, kRelayExportFailed);
  EXPECT_EQ(heading, v7::classlib::LoadPairText(IDS_STATUS_FAILED));
}

TEST_F(ExportsUi, AWholeReceiveThroughTheExportReturnsZeroOnceTheSetIsStored) {
  BrokerScope broker;
  Phone phone(1, kRelayTransportRaw);
  StoreSeen seen;
  int result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND window = nullptr;
        HWND page = wait_first_page(robot, IDC_SSN_RESIDENT1, &window);
        ASSERT_NE(page, nullptr);
        type_number(robot, page);
        ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
        HWND code_page = wait_page(robot, window, IDC_CODE_GROUP1);
        ASSERT_NE(code_page, nullptr);
        const std::string code = shown_code(robot, code_page, 15000);
        ASSERT_EQ(code.size(), 8u);
        phone.send(code);
        ASSERT_NE(wait_page(robot, window, IDC_CERT_DN_SUBJECT), nullptr);
        ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
        StoreStep step;
        store_through_pages(robot, window, step, true, &seen);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      [&] { result = VELMORARELAY_RecvCertificate(1, 1, 0xFFFF, request_.get()); });
  phone.join();
  EXPECT_EQ(result, kRelayExportCompleted);
  EXPECT_EQ(phone.result_.code, 0) << phone.result_.where << ": " << phone.result_.text;
  EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_COMPLETED, true));
  const StoredSet back = read_back(kMediumHardDisk, nullptr, asn1test::read_fixture("pki/signCert.der"));
  EXPECT_TRUE(back.found);
}

TEST_F(ExportsUi, AReceiveCancelledOnItsFirstPageReturns21500) {
  for (int type : {1, 2, 3}) {
    SCOPED_TRACE(type);
    int result = 0;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND window = find_sheet(robot);
          ASSERT_NE(window, nullptr);
          ASSERT_NE(current_page(window), nullptr);
          robot.WaitUntil([&] { return ::IsWindowVisible(current_page(window)) != FALSE; });
          robot.Click(window, IDCANCEL);
          EXPECT_TRUE(robot.WaitGone(window));
        },
        [&] { result = VELMORARELAY_RecvCertificate(type, 0, 0x1, request_.get()); });
    EXPECT_EQ(result, kRelayExportCancelled);
  }
  // The cancel query was answered Yes (the fixture's answer).
  EXPECT_EQ(box_count(), 3u);
}

TEST_F(ExportsUi, TheSelectionsCancelAndFailureEndTheSendBeforeAnyWizard) {
  v7::app::SetSendSelectionRunner(cancel_selection);
  EXPECT_EQ(VELMORARELAY_SendCertificate(1, 1, request_.get()), kRelayExportCancelled);
  v7::app::SetSendSelectionRunner(fail_selection);
  EXPECT_EQ(VELMORARELAY_SendCertificate(2, 0, request_.get()), kRelayExportFailed);
  EXPECT_EQ(g_selection_calls, 2);
}

// Without the seam the send opens the certificate selection dialog first; cancelling it ends the
// send with 21500 and no wizard.
TEST_F(ExportsUi, TheSendOpensTheSelectionDialogAndItsCancelReturns21500) {
  request_->media_bits = kRequestMediaHardDisk;
  bool wizard_seen = false;
  int result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_MEDIA);
        ASSERT_NE(dialog, nullptr);
        robot.Screenshot(dialog, "exports_send_selection");
        robot.Click(dialog, IDCANCEL);
        EXPECT_TRUE(robot.WaitGone(dialog));
        wizard_seen = robot.WaitForWindow([](HWND w) { return ::GetDlgItem(w, ID_WIZNEXT) != nullptr; }, 500) !=
                      nullptr;
      },
      [&] { result = VELMORARELAY_SendCertificate(1, 1, request_.get()); });
  EXPECT_EQ(result, kRelayExportCancelled);
  EXPECT_FALSE(wizard_seen);
}

// A page's script may run while the wizard's message loop does; a transfer call made then opens
// nothing and returns -1, and the calls after the first ended run again.
TEST_F(ExportsUi, ATransferCallMadeWhileOneRunsIsRefused) {
  v7::app::SetSendSelectionRunner(call_again);
  set_language_id(kLanguageKorean);
  EXPECT_EQ(VELMORARELAY_SetCharEncoding(0), 0);
  EXPECT_EQ(VELMORARELAY_SendCertificate(1, 1, request_.get()), kRelayExportCancelled);
  EXPECT_EQ(g_nested_recv, kRelayExportFailed);
  EXPECT_EQ(g_nested_send, kRelayExportFailed);
  EXPECT_EQ(g_selection_calls, 1) << "the nested send never reached the selection";
  EXPECT_EQ(box_count(), 0u);
  // The setters leave the words of a running transfer alone; once it ended they set them again.
  EXPECT_EQ(g_nested_encoding, 0);
  EXPECT_EQ(g_nested_language, kLanguageKorean);
  EXPECT_EQ(VELMORARELAY_SetCharEncoding(1), 1);
  EXPECT_EQ(VELMORARELAY_SetLanguage(kLanguageEnglish), kLanguageEnglish);
  v7::app::SetSendSelectionRunner(cancel_selection);
  EXPECT_EQ(VELMORARELAY_SendCertificate(1, 1, request_.get()), kRelayExportCancelled);
  EXPECT_EQ(g_selection_calls, 2);
}

TEST_F(ExportsUi, UnknownTypesReturn1001WithoutAnyWindow) {
  for (int type : {0, 6, -1, 100}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(VELMORARELAY_SendCertificate(type, 1, request_.get()), kRelayExportUnknownType);
  }
  for (int type : {0, 4, 6}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(VELMORARELAY_RecvCertificate(type, 1, 0x1, request_.get()), kRelayExportUnknownType);
  }
  EXPECT_EQ(g_selection_calls, 0);
  EXPECT_EQ(box_count(), 0u);
}

}  // namespace
