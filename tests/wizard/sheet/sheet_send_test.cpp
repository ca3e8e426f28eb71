// The sender's side of the transfer wizard sheet under Wine: a stand-in code page hands the code
// the phone shows to the sheet, which runs the worker and shows its progress to the end.
#include "tests/wizard/sheet/sheet_test_util.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "media/selection_record.h"
#include "tests/relay/controller/chosen_set.h"
#include "tests/wizard/sheet/phone_recipient.h"
#include "wizard/pages/relay_page.h"

using namespace sheettest;
using controllertest::chosen_set;

namespace {

// Stands in for the sender's code page: Next hands the code the phone shows to the sheet.
class CodePageStandIn : public v7::pages::CRelayPage {
 public:
  explicit CodePageStandIn(const std::string *code) : CRelayPage(IDD_PAGE_RECIPIENT_START), code_(code) {}
  BOOL OnInitDialog() override {
    CRelayPage::OnInitDialog();
    PostButtons(v7::pages::kButtonsNext);
    return TRUE;
  }
  LRESULT OnWizardNext() override {
    const int rc = Sheet()->StartTransfer(std::wstring(code_->begin(), code_->end()));
    PostButtons(rc == -1 ? v7::pages::kButtonsFinish : v7::pages::kButtonsNone);
    return 0;
  }
  BEGIN_MSG_MAP(CodePageStandIn)
    CHAIN_MSG_MAP(CRelayPage)
  END_MSG_MAP()

 private:
  const std::string *code_;
};

// A send through the sheet: the code page hands the phone's code over, the status page follows
// the worker to the end, and the phone holds the set, its key under the new password when one
// was set.
TEST_F(SheetUi, AWholeSendThroughTheSheetEndsOnTheStatusPage) {
  const struct {
    RelayModeWord mode;
    SheetPage code_slot;
    int transport;
    uint16_t language;
    const char *new_password;
  } cases[] = {
      {0x80000003u, SheetPage::InputAN3, kRelayTransportRaw, kLanguageKorean, nullptr},
      {0x84000003u, SheetPage::InputAN2, kRelayTransportHttp, kLanguageEnglish, "NewPass1!"},
      {0x80000001u, SheetPage::InputAN, kRelayTransportRaw, kLanguageEnglish, "NewPass1!"},
      {0x84000002u, SheetPage::InputAN2, kRelayTransportHttp, kLanguageKorean, nullptr},
  };
  for (const auto &c : cases) {
    const bool korean = c.language == kLanguageKorean;
    SCOPED_TRACE(std::to_string(c.mode) + (c.transport == kRelayTransportHttp ? " HTTP" : " raw"));
    set_language_id(c.language);
    PhoneRecipient phone(int(relay_mode_kind(c.mode)), c.transport);
    std::string code;
    auto select = chosen_set();
    CSheetCertRelay sheet(c.mode, v7::sheet::ControlFlags{uint32_t(c.transport)});
    sheet.InstallPage(c.code_slot, std::unique_ptr<v7::classlib::CPropertyPage>(new CodePageStandIn(&code)));
    sheet.SetSelection(select.get());
    ASSERT_TRUE(sheet.SetNewPassword(c.new_password != nullptr, c.new_password));
    sheet.AddModePages();
    ASSERT_EQ(sheet.GetPageCount(), 2);
    std::wstring heading, text;
    HICON icon = nullptr;
    bool back = true;
    INT_PTR result = 0;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND window = nullptr;
          ASSERT_NE(wait_first_page(robot, IDC_START_NEXT, &window), nullptr);
          ASSERT_TRUE(robot.WaitUntil([&] { return phone.has_code_.load(); }, 30000));
          code = phone.code();
          ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
          HWND status = nullptr;
          ASSERT_TRUE(robot.WaitUntil([&] {
            status = current_page(window);
            return status != nullptr && ::GetDlgItem(status, IDC_STATUS_HEADING) != nullptr &&
                   robot.ItemText(status, IDC_STATUS_TEXT) == pair_text(IDS_SEND_DONE, korean) &&
                   button_enabled(window, ID_WIZFINISH);
          }, 30000));
          heading = robot.ItemText(status, IDC_STATUS_HEADING);
          text = robot.ItemText(status, IDC_STATUS_TEXT);
          icon = shown_icon(status);
          robot.WaitUntil([&] { return !button_enabled(window, ID_WIZBACK); }, 2000);
          back = button_enabled(window, ID_WIZBACK);
          EXPECT_TRUE(robot.Screenshot(window, "sheet_status_sent_" + std::string(korean ? "ko" : "en")));
          robot.Click(window, ID_WIZFINISH);
          EXPECT_TRUE(robot.WaitGone(window));
        },
        [&] { result = sheet.DoModal(); });
    phone.join();
    EXPECT_EQ(result, ID_WIZFINISH);
    EXPECT_EQ(heading, pair_text(IDS_STATUS_COMPLETED, korean));
    EXPECT_EQ(icon, sheet.Icon(v7::pages::StatusIcon::Done));
    EXPECT_FALSE(back);
    ASSERT_EQ(phone.result_.code, 0) << phone.result_.where << ": " << phone.result_.text;
    EXPECT_EQ(stepstest::kept(phone.session_.get(), kRelayItemSignCert), asn1test::read_fixture("pki/signCert.der"));
    const Bytes key = stepstest::kept(phone.session_.get(), kRelayItemSignKey);
    if (c.new_password != nullptr) {
      EXPECT_TRUE(key_opens(key, c.new_password));
      EXPECT_FALSE(key_opens(key, stepstest::kPassword));
    } else {
      EXPECT_TRUE(key_opens(key, stepstest::kPassword));
    }
  }
}

// A new password that does not fit the sheet's buffer is refused, not cut.
TEST_F(SheetUi, ANewPasswordTooLongForTheBufferIsRefused) {
  CSheetCertRelay sheet(0x80000003u);
  EXPECT_TRUE(sheet.SetNewPassword(true, std::string(127, 'a').c_str()));
  EXPECT_FALSE(sheet.SetNewPassword(true, std::string(128, 'a').c_str()));
  EXPECT_TRUE(sheet.SetNewPassword(false, nullptr));
}

}  // namespace
