// The recipient's side of the transfer wizard on real windows under Wine, driven by the UI robot
// against the test relay server, with the phone's side played by tools/phone's code on a thread of
// the test: whole receives of every kind over both transports, the pages in Korean and in English
// (screenshots), each ending with the set stored on the hard disk, Cancel on each page, and the
// sheet's own refusals.
#include "tests/wizard/sheet/sheet_test_util.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "tests/wizard/sheet/phone_thread.h"
#include "tests/wizard/sheet/store_steps.h"

using namespace sheettest;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new stepstest::StepsEnvironment);
constexpr char kSubject[] = "cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR";
// ---- Whole receives ----

struct ReceiveCase {
  int kind;
  int transport;
  uint16_t language;
  int encoding;  // CharEncodingMode
};

std::string case_name(const ReceiveCase &c) {
  return "receive" + std::to_string(c.kind) + (c.transport == kRelayTransportHttp ? "_http" : "_raw") +
         (c.language == kLanguageKorean ? "_ko" : "_en");
}

struct Seen {
  std::vector<std::wstring> code_groups;
  bool code_edits_disabled = true;
  bool back_while_code_shown = true;
  std::wstring subject;
  std::wstring last_heading;
  std::wstring last_text;
  HICON last_icon = nullptr;
  std::wstring caption;                    // of the sheet on its first page
  std::vector<std::wstring> button_texts;  // Back, Next, Cancel on the first page
  std::wstring finish_text;                // on the last page
  std::string code;
  std::string missing_glyphs;
};

// A whole receive through the wizard: the robot types or starts, reads the code off the page, the
// phone sends with it, the robot confirms the subject the page shows and finishes; the sheet then
// holds the set the phone sent, byte for byte.
// Below protocol 3.0 the subject shown is the key-management certificate's.
void check_whole_receive(const ReceiveCase &c, bool hangul, const std::wstring &subject) {
  const char *sign_cert = hangul ? "pki/user_sign_hangul.der" : "pki/signCert.der";
  const char *km_cert = hangul ? "pki/user_km_hangul.der" : "pki/kmCert.der";
  const std::string name = case_name(c);
  SCOPED_TRACE(name);
  set_language_id(c.language);
  set_char_encoding_mode(c.encoding);
  const bool korean = c.language == kLanguageKorean;
  const RelayModeWord mode = relay_mode_for_recv(c.kind);
  const size_t code_length = c.kind == 1 ? 8 : 12;
  Phone phone(c.kind, c.transport, sign_cert, km_cert);
  CSheetCertRelay sheet(mode, MediaMask{0xFFFF}, v7::sheet::ControlFlags{uint32_t(c.transport)});
  sheet.AddModePages();
  Seen seen;
  StoreSeen stored;
  BrokerScope broker;
  INT_PTR result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND window = find_sheet(robot);
        ASSERT_NE(window, nullptr);
        seen.caption = robot.Text(window);
        for (int id : {ID_WIZBACK, ID_WIZNEXT, IDCANCEL}) seen.button_texts.push_back(robot.ItemText(window, id));
        if (c.kind == 1) {
          HWND page = wait_page(robot, window, IDC_SSN_RESIDENT1);
          ASSERT_NE(page, nullptr);
          // The page's buttons are posted: Next goes off once they are taken.
          EXPECT_TRUE(robot.WaitUntil([&] { return !button_enabled(window, ID_WIZNEXT); }));
          robot.SetItemText(page, IDC_SSN_RESIDENT1, L"800101");
          robot.SetItemText(page, IDC_SSN_RESIDENT2, L"1234567");
          EXPECT_TRUE(robot.Screenshot(window, "sheet_input_ssn_" + std::string(korean ? "ko" : "en")));
          seen.missing_glyphs += robot.MissingGlyphs(page);
        } else {
          HWND page = wait_page(robot, window, IDC_START_NEXT);
          ASSERT_NE(page, nullptr);
          EXPECT_EQ(robot.ItemText(page, IDC_START_NEXT), pair_text(IDS_RECIPIENT_START_NEXT, korean));
          EXPECT_TRUE(robot.Screenshot(window, "sheet_recipient_start_" + std::string(korean ? "ko" : "en")));
          seen.missing_glyphs += robot.MissingGlyphs(page);
        }
        ASSERT_TRUE(press(robot, window, ID_WIZNEXT));

        // The code, as the user reads it off the page, in its groups.
        HWND code_page = wait_page(robot, window, IDC_CODE_GROUP1);
        ASSERT_NE(code_page, nullptr);
        const int groups = c.kind == 1 ? 2 : 3;
        const int ids[] = {IDC_CODE_GROUP1, IDC_CODE_GROUP2, IDC_CODE_GROUP3};
        ASSERT_TRUE(robot.WaitUntil([&] { return robot.ItemText(code_page, ids[groups - 1]).size() == 4; }));
        std::string code;
        for (int i = 0; i < groups; ++i) {
          seen.code_groups.push_back(robot.ItemText(code_page, ids[i]));
          code += narrow(seen.code_groups.back());
          seen.code_edits_disabled = seen.code_edits_disabled && !robot.Enabled(code_page, ids[i]);
        }
        EXPECT_EQ(::GetDlgItem(code_page, IDC_CODE_GROUP3) != nullptr, c.kind != 1);
        robot.WaitUntil([&] { return !button_enabled(window, ID_WIZBACK); }, 2000);
        seen.back_while_code_shown = button_enabled(window, ID_WIZBACK);
        EXPECT_TRUE(robot.Screenshot(window, std::string(c.kind == 1 ? "sheet_output_an_" : "sheet_output_an2_") +
                                                 (korean ? "ko" : "en")));
        seen.missing_glyphs += robot.MissingGlyphs(code_page);
        EXPECT_EQ(code.size(), code_length);
        seen.code = code;
        phone.send(code);

        // The arriving certificate's subject; Next lets the worker go on.
        HWND dn_page = wait_page(robot, window, IDC_CERT_DN_SUBJECT);
        ASSERT_NE(dn_page, nullptr);
        robot.WaitUntil([&] { return !robot.ItemText(dn_page, IDC_CERT_DN_SUBJECT).empty(); });
        seen.subject = robot.ItemText(dn_page, IDC_CERT_DN_SUBJECT);
        EXPECT_TRUE(robot.Screenshot(window, std::string(hangul ? "sheet_cert_dn_hangul_" : "sheet_cert_dn_") + (korean ? "ko" : "en")));
        seen.missing_glyphs += robot.MissingGlyphs(dn_page);
        ASSERT_TRUE(press(robot, window, ID_WIZNEXT));

        // The set arrives: the media page; the hard disk, and for kinds 1 and 2 the password page
        // with the password unchanged; the wizard ends on the last status page with Finish.
        StoreStep step;
        step.screenshots = korean ? "ko" : "en";
        store_through_pages(robot, window, step, korean, &stored);
        HWND status = current_page(window);
        seen.last_heading = robot.ItemText(status, IDC_STATUS_HEADING);
        seen.last_text = robot.ItemText(status, IDC_STATUS_TEXT);
        seen.last_icon = shown_icon(status);
        EXPECT_TRUE(robot.Screenshot(window, "sheet_status_stored_" + std::string(korean ? "ko" : "en")));
        seen.missing_glyphs += robot.MissingGlyphs(status);
        seen.finish_text = robot.ItemText(window, ID_WIZFINISH);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      [&] { result = sheet.DoModal(); });
  phone.join();
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_EQ(phone.result_.code, 0) << phone.result_.where << ": " << phone.result_.text;
  EXPECT_EQ(seen.code_groups.size(), c.kind == 1 ? 2u : 3u);
  EXPECT_TRUE(seen.code_edits_disabled);
  EXPECT_FALSE(seen.back_while_code_shown);
  EXPECT_EQ(seen.subject, subject);
  // The sheet's own copies outlive the worker's texts.
  EXPECT_EQ(sheet.AuthCode(), seen.code);
  EXPECT_EQ(sheet.SubjectText(), std::u16string(subject.begin(), subject.end()));
  if (korean) {
    EXPECT_EQ(seen.caption, c.kind == 1 ? L"\uC8FC\uBBFC(\uC0AC\uC5C5\uC790)\uB4F1\uB85D\uBC88\uD638 \uC785\uB825"
                                        : c.kind == 2 ? L"\uC778\uC99D\uC11C \uAC00\uC838\uC624\uAE30"
                                                      : L"\uC778\uC99D\uC11C \uAC00\uC838\uC624\uAE30");
  } else {
    EXPECT_EQ(seen.caption, c.kind == 1 ? L"Alien ID/Business Registration Number Input"
                                        : c.kind == 2 ? L"Certificate Import" : L"");
    EXPECT_EQ(seen.button_texts, (std::vector<std::wstring>{L"Back", L"Next", L"Cancel"}));
    EXPECT_EQ(seen.finish_text, L"Finish");
  }
  EXPECT_EQ(seen.last_heading, pair_text(IDS_STATUS_COMPLETED, korean));
  EXPECT_EQ(seen.last_text, pair_text(IDS_STATUS_STORED_ON_PC, korean));
  EXPECT_EQ(stored.items, (std::vector<int>{998, 996, 210, 1005, 1000}));
  EXPECT_EQ(stored.select_text, pair_text(IDS_MEDIA_SELECT, korean));
  // Kind 3 writes a disk's set on the media page and skips the password page.
  EXPECT_EQ(stored.password_page, c.kind != 3);
  if (stored.password_page) {
    EXPECT_EQ(stored.password_description, pair_text(IDS_PWCHANGER_DESCRIPTION, korean));
    EXPECT_EQ(stored.check_text, pair_text(IDS_PWCHANGER_CHECK, korean));
  }
  EXPECT_EQ(stored.missing_glyphs, "");
  // The hard disk is chosen only after its warning.
  bool warned = false;
  for (const std::wstring &text : g_boxes.texts) warned = warned || text == pair_text(IDS_MEDIA_HDD_WARNING, korean);
  EXPECT_TRUE(warned);
  EXPECT_NE(seen.last_icon, nullptr);
  EXPECT_EQ(seen.last_icon, sheet.Icon(v7::pages::StatusIcon::Done));
  EXPECT_NE(sheet.Icon(v7::pages::StatusIcon::Done), sheet.Icon(v7::pages::StatusIcon::Working));
  EXPECT_EQ(seen.missing_glyphs, "");
  EXPECT_FALSE(sheet.Controller()->Running());
  ASSERT_TRUE(sheet.ReceivedFlag());
  const ReceivedCertRecord *r = sheet.Received();
  ASSERT_NE(r, nullptr);
  auto bytes = [](const uint8_t *p, size_t n) { return p != nullptr ? Bytes(p, p + n) : Bytes(); };
  EXPECT_EQ(bytes(r->sign_cert, r->sign_cert_len), asn1test::read_fixture(sign_cert));
  EXPECT_EQ(bytes(r->km_cert, r->km_cert_len), asn1test::read_fixture(km_cert));
  EXPECT_EQ(bytes(r->sign_key, r->sign_key_len), stepstest::kept(phone.session_.get(), kRelayItemSignKey));
  EXPECT_EQ(bytes(r->km_key, r->km_key_len), stepstest::kept(phone.session_.get(), kRelayItemKmKey));
  EXPECT_FALSE(bytes(r->sign_key, r->sign_key_len).empty());
  // On the hard disk as it arrived: the keys under the phone's password.
  const StoredSet back = read_back(kMediumHardDisk, nullptr, asn1test::read_fixture(sign_cert));
  EXPECT_TRUE(back.found);
  EXPECT_EQ(back.sign_cert, asn1test::read_fixture(sign_cert));
  EXPECT_EQ(back.sign_key, bytes(r->sign_key, r->sign_key_len));
  EXPECT_EQ(back.km_cert, asn1test::read_fixture(km_cert));
  EXPECT_EQ(back.km_key, bytes(r->km_key, r->km_key_len));
}

TEST_F(SheetUi, AWholeReceiveOfEachKindEndsWithTheSetThePhoneSent) {
  const ReceiveCase cases[] = {
      {1, kRelayTransportRaw, kLanguageKorean, 0},  {1, kRelayTransportHttp, kLanguageEnglish, 1},
      {2, kRelayTransportRaw, kLanguageEnglish, 0}, {2, kRelayTransportHttp, kLanguageKorean, 1},
      {3, kRelayTransportRaw, kLanguageKorean, 1},  {3, kRelayTransportHttp, kLanguageEnglish, 0},
  };
  for (const ReceiveCase &c : cases) check_whole_receive(c, false, v7test::WideFromUtf8(kSubject));
}

// The subject name in Hangul reaches the page in its own characters, from either encoding.
TEST_F(SheetUi, AHangulSubjectShowsInItsOwnCharacters) {
  const ReceiveCase cases[] = {
      {3, kRelayTransportRaw, kLanguageKorean, 0},
      {2, kRelayTransportHttp, kLanguageKorean, 1},
      {1, kRelayTransportRaw, kLanguageEnglish, 1},
  };
  for (const ReceiveCase &c : cases) {
    check_whole_receive(c, true,
                        L"cn=\uD64D\uAE38\uB3D9()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR");
  }
}
// ---- Cancel on each page ----

enum class Stage { FirstPage, FirstStatus, CodePage, CertDnPage };

const char *stage_name(Stage s) {
  switch (s) {
    case Stage::FirstPage: return "first page";
    case Stage::FirstStatus: return "first status";
    case Stage::CodePage: return "code page";
    default: return "subject page";
  }
}

// The cancel question is asked on every page; No keeps the wizard, Yes ends it and stops a worker
// that still runs.
TEST_F(SheetUi, CancelOnEachPageAsksThenStopsTheWorker) {
  const struct {
    Stage stage;
    int kind;
    uint16_t language;
  } cases[] = {
      {Stage::FirstPage, 1, kLanguageKorean},  {Stage::FirstPage, 2, kLanguageEnglish},
      {Stage::FirstStatus, 2, kLanguageKorean}, {Stage::FirstStatus, 3, kLanguageEnglish},
      {Stage::CodePage, 1, kLanguageEnglish},  {Stage::CodePage, 3, kLanguageKorean},
      {Stage::CertDnPage, 2, kLanguageEnglish}, {Stage::CertDnPage, 3, kLanguageKorean},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(stage_name(c.stage)) + ", kind " + std::to_string(c.kind));
    set_language_id(c.language);
    const bool korean = c.language == kLanguageKorean;
    // The stalling listener holds the worker on its first reply, so the first status page stays.
    relay_controller_set_ports(c.stage == Stage::FirstStatus ? port("long_stall") : port("pair"), port("pair_http"));
    {
      std::lock_guard<std::mutex> hold(g_boxes.lock);
      g_boxes.texts.clear();
      g_boxes.count = 0;
    }
    Phone phone(c.kind, kRelayTransportRaw);
    CSheetCertRelay sheet(relay_mode_for_recv(c.kind));
    sheet.AddModePages();
    INT_PTR result = 0;
    bool asked_in_language = false, kept_on_no = false;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND window = find_sheet(robot);
          ASSERT_NE(window, nullptr);
          if (c.stage != Stage::FirstPage) {
            if (c.kind == 1) {
              HWND page = wait_page(robot, window, IDC_SSN_RESIDENT1);
              ASSERT_NE(page, nullptr);
              robot.SetItemText(page, IDC_SSN_RESIDENT1, L"800101");
              robot.SetItemText(page, IDC_SSN_RESIDENT2, L"1234567");
            } else {
              ASSERT_NE(wait_page(robot, window, IDC_START_NEXT), nullptr);
            }
            ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
          } else {
            ASSERT_NE(wait_page(robot, window, c.kind == 1 ? IDC_SSN_RESIDENT1 : IDC_START_NEXT), nullptr);
          }
          if (c.stage == Stage::FirstStatus) {
            HWND status = wait_page(robot, window, IDC_STATUS_HEADING);
            ASSERT_NE(status, nullptr);
            EXPECT_TRUE(robot.WaitUntil(
                [&] { return robot.ItemText(status, IDC_STATUS_HEADING) == pair_text(IDS_STATUS_RUNNING, korean); }));
            EXPECT_TRUE(robot.WaitUntil([&] { return !button_enabled(window, ID_WIZNEXT); }));
            EXPECT_TRUE(sheet.Controller()->Running());
            EXPECT_TRUE(robot.Screenshot(window, "sheet_status_running_" + std::string(korean ? "ko" : "en")));
          }
          if (c.stage == Stage::CodePage || c.stage == Stage::CertDnPage) {
            HWND code_page = wait_page(robot, window, IDC_CODE_GROUP1);
            ASSERT_NE(code_page, nullptr);
            const int last = c.kind == 1 ? IDC_CODE_GROUP2 : IDC_CODE_GROUP3;
            ASSERT_TRUE(robot.WaitUntil([&] { return robot.ItemText(code_page, last).size() == 4; }));
            if (c.stage == Stage::CertDnPage) {
              std::string code = narrow(robot.ItemText(code_page, IDC_CODE_GROUP1)) +
                                 narrow(robot.ItemText(code_page, IDC_CODE_GROUP2)) +
                                 (c.kind == 1 ? "" : narrow(robot.ItemText(code_page, IDC_CODE_GROUP3)));
              phone.send(code);
              HWND dn = wait_page(robot, window, IDC_CERT_DN_SUBJECT);
              ASSERT_NE(dn, nullptr);
              robot.WaitUntil([&] { return !robot.ItemText(dn, IDC_CERT_DN_SUBJECT).empty(); });
            }
          }
          // No keeps the wizard where it is.
          g_boxes.answer = IDNO;
          robot.Click(window, IDCANCEL);
          ASSERT_TRUE(robot.WaitUntil([] { return box_count() == 1; }));
          asked_in_language = last_box() == pair_text(IDS_CONFIRM_QUIT, korean);
          kept_on_no = ::IsWindowVisible(window) != FALSE;
          g_boxes.answer = IDYES;
          robot.Click(window, IDCANCEL);
          EXPECT_TRUE(robot.WaitGone(window));
        },
        [&] { result = sheet.DoModal(); });
    phone.join();
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(asked_in_language);
    EXPECT_TRUE(kept_on_no);
    EXPECT_EQ(box_count(), 2u);
    EXPECT_FALSE(sheet.Controller()->Running());
    EXPECT_EQ(sheet.Controller()->WorkerThreadId(), 0u);
    EXPECT_EQ(sheet.Received(), nullptr);
  }
}

// ---- The number page's refusals ----

TEST_F(SheetUi, ANumberTooLongOrNotInAsciiDigitsIsRefusedNeverCut) {
  for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
    set_language_id(language);
    const bool korean = language == kLanguageKorean;
    {
      std::lock_guard<std::mutex> hold(g_boxes.lock);
      g_boxes.texts.clear();
      g_boxes.count = 0;
    }
    CSheetCertRelay sheet(relay_mode_for_recv(1));
    sheet.AddModePages();
    std::vector<std::wstring> refusals;
    bool stayed = false, resident_hidden = false, business_shown = false, next_off_for_business = false;
    bool next_on_for_business = false;
    std::wstring kept;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND window = nullptr;
          HWND page = wait_first_page(robot, IDC_SSN_RESIDENT1, &window);
          ASSERT_NE(page, nullptr);
          // A paste goes past the edit's limit and its number style.
          robot.SetItemText(page, IDC_SSN_RESIDENT1, L"8001011");
          robot.SetItemText(page, IDC_SSN_RESIDENT2, L"1234567");
          ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
          ASSERT_TRUE(robot.WaitUntil([] { return box_count() == 1; }));
          refusals.push_back(last_box());
          robot.SetItemText(page, IDC_SSN_RESIDENT1, L"\xFF18" L"00101");  // a full-width 8
          ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
          ASSERT_TRUE(robot.WaitUntil([] { return box_count() == 2; }));
          refusals.push_back(last_box());
          stayed = current_page(window) == page;
          // The business number: the resident groups hide and keep their text.
          robot.Click(page, IDC_SSN_RADIO_BUSINESS);
          // The robot runs beside the page's thread: wait for the whole switch, not its first step.
          const auto visible = [&](int id) { return ::IsWindowVisible(::GetDlgItem(page, id)) != FALSE; };
          robot.WaitUntil([&] {
            return visible(IDC_SSN_BUSINESS1) && visible(IDC_SSN_BUSINESS3) && !visible(IDC_SSN_RESIDENT1);
          });
          resident_hidden = !visible(IDC_SSN_RESIDENT1);
          business_shown = visible(IDC_SSN_BUSINESS3);
          next_off_for_business = robot.WaitUntil([&] { return !button_enabled(window, ID_WIZNEXT); });
          robot.SetItemText(page, IDC_SSN_BUSINESS1, L"123");
          robot.SetItemText(page, IDC_SSN_BUSINESS2, L"45");
          robot.SetItemText(page, IDC_SSN_BUSINESS3, L"67890");
          next_on_for_business = robot.WaitUntil([&] { return button_enabled(window, ID_WIZNEXT); });
          EXPECT_TRUE(robot.Screenshot(window, "sheet_input_ssn_business_" + std::string(korean ? "ko" : "en")));
          kept = robot.ItemText(page, IDC_SSN_RESIDENT1);
          robot.Click(window, IDCANCEL);
          EXPECT_TRUE(robot.WaitGone(window));
        },
        [&] { sheet.DoModal(); });
    ASSERT_EQ(refusals.size(), 2u);
    EXPECT_EQ(refusals[0], pair_text(IDS_NUMBER_TOO_LONG, korean));
    EXPECT_EQ(refusals[1], pair_text(IDS_NUMBER_DIGITS_ONLY, korean));
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(resident_hidden);
    EXPECT_TRUE(business_shown);
    EXPECT_TRUE(next_off_for_business);
    EXPECT_TRUE(next_on_for_business);
    EXPECT_EQ(kept, L"\xFF18" L"00101");
    EXPECT_EQ(sheet.Controller()->WorkerThreadId(), 0u);  // nothing was started
  }
}

// ---- Failures the sheet shows ----

// Texts the worker would post. A posted text belongs to its message, as the worker's copies do.
LPARAM posted_text(const char *text) { return LPARAM(_strdup(text)); }

const char kNotShowable[] = "cn=\xFF\xFE\xFD";
const char kShortCode[] = "1234567";
const char kWrongCode[] = "Failed to transfer the certificate. Authorization code is not correct. [1]";

TEST_F(SheetUi, WhatCannotBeShownFailsTheTransferAndBackLeadsToTheStart) {
  const struct {
    UINT message;
    const char *text;
    UINT shown;  // a pair id, or 0 for the text itself
    bool back;
    const char *shot;
  } cases[] = {
      {WM_RELAY_CERTINFO, kNotShowable, IDS_SUBJECT_NOT_SHOWN, false, "sheet_status_failed_"},
      {WM_RELAY_AUTHCODE, kShortCode, IDS_CODE_NOT_VALID, false, nullptr},
      {WM_RELAY_ERROR, kWrongCode, 0, true, "sheet_status_wrong_code_"},
  };
  for (const auto &c : cases) {
    for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
      SCOPED_TRACE(c.text);
      set_language_id(language);
      const bool korean = language == kLanguageKorean;
      CSheetCertRelay sheet(relay_mode_for_recv(3));
      sheet.AddModePages();
      std::wstring heading, text;
      bool back = false, finish = false, back_to_start = false, next_on_start = false;
      RunWithRobot(
          [&](UiRobot &robot) {
            HWND window = find_sheet(robot);
            ASSERT_NE(window, nullptr);
            ASSERT_NE(wait_page(robot, window, IDC_START_NEXT), nullptr);
            ::PostMessageW(window, c.message, 0, posted_text(c.text));
            HWND status = nullptr;
            ASSERT_TRUE(robot.WaitUntil([&] {
              status = current_page(window);
              return status != nullptr && ::GetDlgItem(status, IDC_STATUS_HEADING) != nullptr &&
                     robot.ItemText(status, IDC_STATUS_HEADING) == pair_text(IDS_STATUS_FAILED, korean) &&
                     button_enabled(window, ID_WIZFINISH);
            }));
            robot.WaitUntil([&] { return button_enabled(window, ID_WIZBACK) == c.back; }, 2000);
            heading = robot.ItemText(status, IDC_STATUS_HEADING);
            text = robot.ItemText(status, IDC_STATUS_TEXT);
            back = button_enabled(window, ID_WIZBACK);
            finish = button_enabled(window, ID_WIZFINISH);
            if (c.shot != nullptr) {
              EXPECT_TRUE(robot.Screenshot(window, c.shot + std::string(korean ? "ko" : "en")));
            }
            if (back) {
              robot.Click(window, ID_WIZBACK);
              back_to_start = wait_page(robot, window, IDC_START_NEXT) != nullptr;
              next_on_start = robot.WaitUntil([&] { return button_enabled(window, ID_WIZNEXT); });
              g_boxes.answer = IDYES;
              robot.Click(window, IDCANCEL);
            } else {
              robot.Click(window, ID_WIZFINISH);
            }
            EXPECT_TRUE(robot.WaitGone(window));
          },
          [&] { sheet.DoModal(); });
      const std::wstring expected = c.shown != 0 ? pair_text(c.shown, korean) : v7test::WideFromUtf8(c.text);
      EXPECT_EQ(text, expected);
      EXPECT_EQ(back, c.back);
      EXPECT_TRUE(finish);
      EXPECT_EQ(back_to_start, c.back);
      EXPECT_EQ(next_on_start, c.back);
    }
  }
}

// A start that cannot reach the relay server shows why on the status page, with Finish only.
TEST_F(SheetUi, AStartThatCannotConnectShowsTheReasonWithFinishOnly) {
  relay_controller_set_ports(port("refused"), port("refused"));
  for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
    set_language_id(language);
    const bool korean = language == kLanguageKorean;
    CSheetCertRelay sheet(relay_mode_for_recv(2));
    sheet.AddModePages();
    std::wstring heading, text;
    bool back = true;
    HICON icon = nullptr;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND window = find_sheet(robot);
          ASSERT_NE(window, nullptr);
          ASSERT_NE(wait_page(robot, window, IDC_START_NEXT), nullptr);
          ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
          HWND status = nullptr;
          ASSERT_TRUE(robot.WaitUntil([&] {
            status = current_page(window);
            return status != nullptr && ::GetDlgItem(status, IDC_STATUS_HEADING) != nullptr &&
                   robot.ItemText(status, IDC_STATUS_HEADING) == pair_text(IDS_STATUS_START_FAILED, korean) &&
                   button_enabled(window, ID_WIZFINISH);
          }, 60000));
          text = robot.ItemText(status, IDC_STATUS_TEXT);
          back = button_enabled(window, ID_WIZBACK);
          icon = shown_icon(status);
          EXPECT_TRUE(robot.Screenshot(window, "sheet_status_start_failed_" + std::string(korean ? "ko" : "en")));
          robot.Click(window, ID_WIZFINISH);
          EXPECT_TRUE(robot.WaitGone(window));
        },
        [&] { sheet.DoModal(); });
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, sheet.Controller()->ErrorText());
    EXPECT_FALSE(back);
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(icon, sheet.Icon(v7::pages::StatusIcon::Failed));
  }
}

// The sheet presses Next whatever the buttons say: a page on which Next is off still gets the
// press, and when it stays its buttons come back as they were.
TEST_F(SheetUi, TheSheetPressesADisabledNextAndRestoresTheButtons) {
  set_language_id(kLanguageEnglish);
  CSheetCertRelay sheet(relay_mode_for_recv(1));
  sheet.AddModePages();
  bool next_before = true, next_after = true, stayed = false;
  std::wstring refusal;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND window = nullptr;
        HWND page = wait_first_page(robot, IDC_SSN_RESIDENT1, &window);
        ASSERT_NE(page, nullptr);
        robot.WaitUntil([&] { return !button_enabled(window, ID_WIZNEXT); });
        next_before = button_enabled(window, ID_WIZNEXT);
        // A code while the number is still empty: the page's Next runs and refuses.
        ::PostMessageW(window, WM_RELAY_AUTHCODE, 0, posted_text("12345678"));
        ASSERT_TRUE(robot.WaitUntil([] { return box_count() == 1; }));
        refusal = last_box();
        // The box comes up inside the press; the buttons come back once the press returns.
        next_after = !robot.WaitUntil([&] { return !button_enabled(window, ID_WIZNEXT); });
        stayed = current_page(window) == page;
        robot.Click(window, IDCANCEL);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      [&] { sheet.DoModal(); });
  EXPECT_FALSE(next_before);
  EXPECT_EQ(refusal, pair_text(IDS_NUMBER_DIGITS_ONLY, false));
  EXPECT_TRUE(stayed);
  EXPECT_FALSE(next_after);
}

// A received set still queued for the sheet when the wizard closes is taken off the queue and
// freed, not left behind with the window.
TEST_F(SheetUi, ASetStillQueuedWhenTheWizardClosesIsFreedNotTaken) {
  set_language_id(kLanguageEnglish);
  CSheetCertRelay sheet(relay_mode_for_recv(3));
  sheet.AddModePages();
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND window = find_sheet(robot);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(wait_page(robot, window, IDC_START_NEXT), nullptr);
        auto *record = static_cast<ReceivedCertRecord *>(calloc(1, sizeof(ReceivedCertRecord)));
        record->sign_cert = static_cast<uint8_t *>(malloc(3));
        memcpy(record->sign_cert, "abc", 3);
        record->sign_cert_len = 3;
        // Cancel goes first: the run ends with the record still in the queue.
        ::PostMessageW(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        ::PostMessageW(window, WM_RELAY_CERTDATA, 0, LPARAM(record));
        EXPECT_TRUE(robot.WaitGone(window));
      },
      [&] { sheet.DoModal(); });
  EXPECT_EQ(box_count(), 1u);
  EXPECT_FALSE(sheet.ReceivedFlag());
  EXPECT_EQ(sheet.Received(), nullptr);
}

}  // namespace
