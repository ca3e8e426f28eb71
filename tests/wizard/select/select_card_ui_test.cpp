// The selection dialog on the IC card under Wine, through the test winscard.dll and the virtual
// card: a card whose presence record reads lists at once without a PIN, OK asks the PIN, and the
// card's pair opens with the password.
#include <windows.h>

#include <gtest/gtest.h>

#include "media/certlist.h"
#include "media/smartcard/smartcard.h"
#include "tests/media/smartcard/vcard_client.h"
#include "tests/modules/ckapp/ckapp_test_setup.h"
#include "tests/wizard/select/select_robot.h"

namespace {

using namespace selectrobot;
using v7test::RunWithRobot;

CKAppTestState g_ckapp;
const char kPin[] = "1234";

TEST(SelectCardUi, CardListsWithoutAPinAndOkAsksItBeforeTheKeysLoad) {
  v7test::VcardClient card;
  ASSERT_TRUE(card.ready()) << "no virtual card (ctest's card_services fixture)";
  ASSERT_EQ(card.load("pin 31323334\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n"
                      "record F3 6 1 700401000000\ndf F4\nef F4 3\nef F4 4\n"),
            "ok");
  const v7test::Bytes sign_cert = fixture("signCert.der"), sign_key = fixture("signPri.key");
  const v7test::Bytes km_cert = fixture("kmCert.der"), km_key = fixture("kmPri.key");
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, sign_cert.data(), sign_cert.size()), 0);
  ASSERT_EQ(sc_write_key(kPin, kScFileSign, sign_key.data(), sign_key.size()), 0);
  ASSERT_EQ(sc_write_cert(kPin, kScFileKm, km_cert.data(), km_cert.size()), 0);
  ASSERT_EQ(sc_write_key(kPin, kScFileKm, km_key.data(), km_key.size()), 0);
  ckapptest::use_variant("complete", &g_ckapp);
  RelayRequestRecord request;
  begin_case(&request);
  request.media_bits = 0x8;
  for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
    const std::string lang = language == kLanguageKorean ? "ko" : "en";
    SCOPED_TRACE(lang);
    set_language_id(language);
    auto select = select_for(&request);
    std::vector<std::string> rows;
    int pins_asked = 0;
    int run = -2;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
          ASSERT_NE(dialog, nullptr);
          HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
          // A card the probe cannot read without its PIN asks it before listing; one that reads
          // lists at once and asks it at OK. Either way the PIN is asked once.
          auto pin_prompt = [&] {
            for (HWND w : v7test::ThreadWindows(robot.ui_thread()))
              if (w != dialog && ::GetDlgItem(w, IDC_PIN_EDIT) != nullptr && ::IsWindowVisible(w)) return w;
            return HWND(nullptr);
          };
          auto answer_pin = [&](HWND prompt) {
            ++pins_asked;
            robot.SetItemText(prompt, IDC_PIN_EDIT, L"1234");
            robot.Click(prompt, IDOK);
            robot.WaitGone(prompt);
          };
          ASSERT_TRUE(robot.WaitUntil([&] { return row_of(list, "Hong Gildong()0001234567890123") == 0 || pin_prompt(); }));
          if (HWND prompt = pin_prompt()) answer_pin(prompt);
          ASSERT_TRUE(robot.WaitUntil([&] { return row_of(list, "Hong Gildong()0001234567890123") == 0; }));
          rows = rows_of(list);
          EXPECT_TRUE(robot.Screenshot(dialog, "select_card_" + lang));
          robot.SetItemText(dialog, IDC_SELECT_PASSWORD, L"Fixture1!");
          robot.Click(dialog, IDOK);
          robot.WaitUntil([&] { return !::IsWindow(dialog) || pin_prompt(); }, 30000);
          if (HWND prompt = pin_prompt()) answer_pin(prompt);
          EXPECT_TRUE(robot.WaitGone(dialog, 30000));
        },
        [&] { run = select->Run(); });
    EXPECT_EQ(run, 0);
    EXPECT_EQ(pins_asked, 1);
    EXPECT_EQ(rows.size(), 1u);
    ASSERT_NE(select->entry, nullptr);
    EXPECT_EQ(select->entry->media_code, kMediumSmartCard);
    EXPECT_STREQ(CertListGetPin(select->record), kPin);
    EXPECT_NE(select->record->sign_key, nullptr);
    EXPECT_EQ(v7test::Bytes(select->Buffer(kSelectSignCert).data,
                            select->Buffer(kSelectSignCert).data + select->Buffer(kSelectSignCert).length),
              sign_cert);
    EXPECT_EQ(setting("Last Media"), "SMARTCARD");
  }
  end_case();
  v7::keycrypt::KeyCryptSetModuleFolder(nullptr);
}

// The PIN the dialog asks goes to the card with what the card answers shown once: a VERIFY the
// card refuses for another reason than the PIN (6A 80) in the text of that failure, a wrong PIN in
// the wrong-PIN box alone, and the same wrong PIN asked again in its box again, one try less.
TEST(SelectCardUi, TheCardsAnswerToThePinIsShownOnce) {
  v7test::VcardClient card;
  ASSERT_TRUE(card.ready()) << "no virtual card (ctest's card_services fixture)";
  // No presence record: the probe cannot tell, so the PIN is asked before the list is read.
  ASSERT_EQ(card.load("pin 31323334\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n"
                      "df F4\nef F4 3\nef F4 4\nrefuse verify 6A80\n"),
            "ok");
  sc_forget_refused_pin();
  ckapptest::use_variant("complete", &g_ckapp);
  RelayRequestRecord request;
  begin_case(&request);
  request.media_bits = 0x8;
  set_language_id(kLanguageEnglish);
  auto run_with_pin = [&](const wchar_t *pin) {
    auto select = select_for(&request);
    g_boxes.clear();
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND prompt = robot.WaitForDialogWithControl(IDC_PIN_EDIT);
          ASSERT_NE(prompt, nullptr);
          robot.SetItemText(prompt, IDC_PIN_EDIT, pin);
          robot.Click(prompt, IDOK);
          robot.WaitGone(prompt);
          HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
          ASSERT_NE(dialog, nullptr);
          HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
          // The empty list's three rows come with the load's outcome.
          ASSERT_TRUE(robot.WaitUntil([&] { return rows_of(list).size() == 3; }));
          robot.Click(dialog, IDCANCEL);
          EXPECT_TRUE(robot.WaitGone(dialog, 30000));
        },
        [&] { select->Run(); });
    return g_boxes;
  };
  const std::wstring wrong_pin = L"You have entered wrong PIN number.\r\nPlease enter the PIN number again.";

  std::vector<std::wstring> boxes = run_with_pin(L"1234");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find(L"The Card Refused the PIN Check"), std::wstring::npos);

  ASSERT_EQ(card.command("refuse verify -"), "ok");
  boxes = run_with_pin(L"9999");
  EXPECT_EQ(boxes, std::vector<std::wstring>{wrong_pin + L"\r\nTries left: 2"});
  boxes = run_with_pin(L"9999");
  EXPECT_EQ(boxes, std::vector<std::wstring>{wrong_pin + L"\r\nTries left: 1"});
  end_case();
  v7::keycrypt::KeyCryptSetModuleFolder(nullptr);
}

}  // namespace
