// The certificate selection dialog on real windows under Wine, driven by the UI robot: the hard
// disk, a removable drive, the secure disk and a PKCS#12 file, in Korean and in English. The list's
// columns and expired mark, the tips, a wrong password's message that keeps the dialog, and OK
// that fills the selection and writes the "Last ..." settings.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "media/broker_client.h"
#include "media/certlist.h"
#include "media/registry_settings.h"
#include "media/securedisk/module_signature.h"
#include "media/securedisk/securedisk.h"
#include "pki/errors/error_ctx.h"
#include "platform/classlib/app.h"
#include "platform/clock/clock.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "tests/harness/removable_drive.h"
#include "tests/harness/vectors.h"
#include "tests/media/cert_builder.h"
#include "tests/media/npki_test_hooks.h"
#include "tests/media/securedisk/sd_test_fixture.h"
#include "tests/wizard/select/select_robot.h"
#include "tests/modules/ckapp/ckapp_test_setup.h"
#include "tests/ui/robot.h"
#include "v7config/deployment.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/records/request_record.h"
#include "wizard/res/select_ids.h"
#include "wizard/res/viewer_ids.h"
#include "wizard/res/small_dialogs_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/select/cert_list.h"

namespace fs = std::filesystem;
using v7test::RunWithRobot;
using v7test::UiRobot;

namespace {

using namespace selectrobot;

CKAppTestState g_ckapp;
std::vector<std::wstring> g_opened;
int record_page(const char16_t *address) {
  g_opened.push_back(reinterpret_cast<const wchar_t *>(address));
  return 0;
}

// Sets the Caps Lock toggle as the UI thread sees it (the robot shares its input state for the
// call), presses a key in the password edit and counts the visible tips; both states.
std::string caps_lock_tip_follows(UiRobot &robot, HWND dialog) {
  std::string out;
  const DWORD me = ::GetCurrentThreadId();
  ::AttachThreadInput(me, robot.ui_thread(), TRUE);
  for (bool on : {true, false}) {
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_CAPITAL] = on ? 1 : 0;
    ::SetKeyboardState(keys);
    const int before = visible_tips(robot.ui_thread());
    ::SendMessageW(::GetDlgItem(dialog, IDC_SELECT_PASSWORD), WM_KEYDOWN, VK_SHIFT, 0);
    robot.WaitUntil([&] { return visible_tips(robot.ui_thread()) != before; }, 3000);
    out += std::string(out.empty() ? "" : " ") + (on ? "on:" : "off:") + std::to_string(visible_tips(robot.ui_thread()));
  }
  ::AttachThreadInput(me, robot.ui_thread(), FALSE);
  return out;
}

class SelectUi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ckapptest::use_variant("complete", &g_ckapp);
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    npkitest::profile() = std::string(temp) + "v7select_" + std::to_string(GetCurrentProcessId());
    npkitest::set_hooks(true);
    platform_fs_set_folder_hooks(folder_hooks());
    put_store(npkitest::profile() / "AppData" / "LocalLow" / "NPKI");
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(npkitest::profile(), ec);
    npkitest::set_hooks(false);
    v7::keycrypt::KeyCryptSetModuleFolder(nullptr);
  }
  void SetUp() override { begin_case(&request_); }
  void TearDown() override { end_case(); }
  std::unique_ptr<CCertSelect> new_select() { return select_for(&request_); }
  RelayRequestRecord request_;
};

TEST_F(SelectUi, HardDiskListsMarksWarnsRefusesAWrongPasswordAndTakesTheRightOne) {
  for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
    const std::string lang = language == kLanguageKorean ? "ko" : "en";
    SCOPED_TRACE(lang);
    set_language_id(language);
    delete_settings();
    v7::dialogs::set_web_page_opener(record_page);
    request_.viewer_skips_validation = 1;
    auto select = new_select();
    std::vector<std::string> rows;
    std::wstring titles, wrong_summary, after_wrong;
    int tips_on_focus = 0, tips_on_renewal = 0, tips_elsewhere = 0, viewer_items = 0;
    bool viewer_opened = false;
    std::string caps_tip;
    bool kept = false;
    std::string missing;
    int run = -2;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
          ASSERT_NE(dialog, nullptr);
          HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
          ASSERT_TRUE(robot.WaitUntil([&] { return rows_of(list).size() == 4; }));
          rows = rows_of(list);
          for (int c = 0; c < 4; ++c) titles += column_title(list, c) + L";";
          // The hard disk's warning shows when the password edit has the focus.
          ::PostMessageW(dialog, WM_NEXTDLGCTL, WPARAM(::GetDlgItem(dialog, IDC_SELECT_PASSWORD)), TRUE);
          robot.WaitUntil([&] { return visible_tips(robot.ui_thread()) >= 1; });
          tips_on_focus = visible_tips(robot.ui_thread());
          EXPECT_TRUE(robot.Screenshot(dialog, "select_harddisk_" + lang));
          missing += robot.MissingGlyphs(dialog);
          // Caps Lock on: a key press in the edit shows its warning; off again: it goes.
          caps_tip = caps_lock_tip_follows(robot, dialog);
          // The velmora certificate due for renewal adds the expiry warning.
          select_row(list, row_of(list, "Lee Renewal()0005555"));
          robot.WaitUntil([&] { return visible_tips(robot.ui_thread()) >= 2; });
          tips_on_renewal = visible_tips(robot.ui_thread());
          EXPECT_TRUE(robot.Screenshot(dialog, "select_expiry_tip_" + lang));
          select_row(list, row_of(list, "Kim Cheolsu()0009876543210987"));
          robot.WaitUntil([&] { return visible_tips(robot.ui_thread()) <= 1; });
          tips_elsewhere = visible_tips(robot.ui_thread());

          // A wrong password: its message, and the dialog stays with the edit emptied.
          select_row(list, row_of(list, "Hong Gildong()0001234567890123"));
          robot.SetItemText(dialog, IDC_SELECT_PASSWORD, L"wrong-password");
          robot.Click(dialog, IDOK);
          wrong_summary = close_error_dialog(robot, dialog);
          kept = robot.WaitUntil([&] { return ::IsWindow(dialog) && robot.Enabled(dialog, IDOK); });
          after_wrong = robot.ItemText(dialog, IDC_SELECT_PASSWORD);

          // View opens the viewer on the chosen row's certificates; closing it comes back here.
          robot.Click(dialog, IDC_SELECT_VIEW);
          HWND viewer = robot.WaitForDialogWithControl(IDW_CV_CHOICE, dialog);
          viewer_opened = viewer != nullptr;
          if (viewer != nullptr) {
            viewer_items = int(::SendMessageW(::GetDlgItem(viewer, IDW_CV_CHOICE), CB_GETCOUNT, 0, 0));
            robot.Click(viewer, IDOK);
            robot.WaitGone(viewer);
          }
          robot.WaitUntil([&] { return robot.Enabled(dialog, IDC_SELECT_VIEW); });
          // The registration authority's button opens its page through the page opener only.
          robot.Click(dialog, IDC_SELECT_RA_LINK);
          robot.WaitUntil([&] { return !g_opened.empty(); });
          robot.SetItemText(dialog, IDC_SELECT_PASSWORD, L"Fixture1!");
          robot.Click(dialog, IDOK);
          EXPECT_TRUE(robot.WaitGone(dialog));
        },
        [&] { run = select->Run(); });
    EXPECT_EQ(run, 0);
    EXPECT_EQ(caps_tip, "on:2 off:1");
    EXPECT_TRUE(viewer_opened);
    EXPECT_EQ(viewer_items, 2) << "Hong's signing and key-management certificates";
    ASSERT_EQ(g_opened.size(), 1u);
    EXPECT_EQ(narrow(g_opened[0]), V7_REGISTRATION_AUTHORITY_PAGE);
    g_opened.clear();
    ASSERT_EQ(rows.size(), 4u);
    // Sorted as listed; the expired fixture carries the expired picture, the others the valid one.
    for (const std::string &r : rows) {
      const bool expired = r.find("Path Expired") != std::string::npos;
      EXPECT_EQ(r.substr(0, 1), expired ? "1" : "0") << r;
      EXPECT_NE(r.find(expired ? "|2025-06-01|" : "|2049-12-31|"), std::string::npos) << r;
    }
    if (language == kLanguageEnglish) {
      EXPECT_EQ(narrow(titles), "Type/96;Subject/191;Expiration Date/72;Issuer/84;");
      bool test_org = false;
      for (const std::string &r : rows) test_org |= r.find("|Kim Cheolsu()0009876543210987|2049-12-31|Test") != std::string::npos;
      EXPECT_TRUE(test_org);
    }
    EXPECT_EQ(tips_on_focus, 1) << "the hard-disk warning";
    EXPECT_EQ(tips_on_renewal, 2) << "and the expiry warning";
    EXPECT_EQ(tips_elsewhere, 1) << "another certificate hides the expiry warning";
    EXPECT_EQ(wrong_summary, v7::classlib::LoadPairText(IDS_WRONG_PASSWORD));
    EXPECT_TRUE(kept);
    EXPECT_EQ(after_wrong, L"");
    EXPECT_EQ(missing, "");
    // The selection: Hong's entry with both pairs read, the password and the keys.
    ASSERT_NE(select->entry, nullptr);
    EXPECT_EQ(std::string(select->entry->subject_dn), kHong);
    EXPECT_STREQ(CertListGetPassword(select->record), kPassword);
    EXPECT_NE(select->record->sign_key, nullptr);
    EXPECT_EQ(v7test::Bytes(select->Buffer(kSelectSignCert).data,
                            select->Buffer(kSelectSignCert).data + select->Buffer(kSelectSignCert).length),
              fixture("signCert.der"));
    EXPECT_EQ(select->Buffer(kSelectKmKey).length, fixture("kmPri.key").size());
    EXPECT_EQ(setting("Last Media"), "HARDDISK");
    char *last_access = nullptr;
    reg_get_last_access(kSubkey, &last_access);
    ASSERT_NE(last_access, nullptr);
    EXPECT_EQ(std::string(last_access), kHong);
    free(last_access);
  }
}

TEST_F(SelectUi, RemovableDriveRememberedReopensAndIsRemembered) {
  v7test::RemovableDrive drive(0, "V7SELECT");
  if (!drive.ok()) GTEST_SKIP() << drive.error();
  put_store(fs::path(drive.root()) / "NPKI");
  request_.restore_last_medium = 1;
  const std::string letter(1, drive.letter());
  ASSERT_EQ(reg_write_value(kSubkey, "Last Media", "REMOVABLE"), 0);
  ASSERT_EQ(reg_write_value(kSubkey, "Last Drive", letter.c_str()), 0);
  set_language_id(kLanguageEnglish);
  auto select = new_select();
  std::wstring label;
  size_t count = 0;
  int run = -2;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
        ASSERT_NE(dialog, nullptr);
        HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
        ASSERT_TRUE(robot.WaitUntil([&] { return !rows_of(list).empty() && !rows_of(list)[0].empty(); }));
        count = rows_of(list).size();
        wchar_t text[64] = {};
        LVITEMW item = {};
        item.pszText = text;
        item.cchTextMax = 64;
        ::SendMessageW(::GetDlgItem(dialog, IDC_SELECT_MEDIA), LVM_GETITEMTEXTW, 2, LPARAM(&item));
        label = text;
        EXPECT_TRUE(robot.Screenshot(dialog, "select_removable_en"));
        select_row(list, row_of(list, "Kim Cheolsu()0009876543210987"));
        robot.SetItemText(dialog, IDC_SELECT_PASSWORD, L"Fixture1!");
        robot.Click(dialog, IDOK);
        EXPECT_TRUE(robot.WaitGone(dialog));
      },
      [&] { run = select->Run(); });
  EXPECT_EQ(run, 0);
  // "Last Access" was not written yet, so every certificate of the drive shows.
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(narrow(label), "Removable(" + letter + ":)");
  ASSERT_NE(select->entry, nullptr);
  EXPECT_EQ(std::string(select->entry->subject_dn), kKim);
  EXPECT_EQ(setting("Last Media"), "REMOVABLE");
  EXPECT_EQ(setting("Last Drive"), letter);
}

// The broker's file choice, answered with the fixture.
class ChosenFileBroker : public BrokerConnection {
 public:
  std::u16string path;
  int32_t make_dir(const uint8_t *, size_t) override { return kBrokerResultOk; }
  int32_t write_file(const uint8_t *, size_t, const uint8_t *, size_t, void *) override { return kBrokerResultOk; }
  int32_t browse_file(char16_t **chosen, const uint8_t *, size_t, void *) override {
    const size_t n = path.size() + 1;
    *chosen = static_cast<char16_t *>(malloc(n * sizeof(char16_t)));
    memcpy(*chosen, path.c_str(), n * sizeof(char16_t));
    return kBrokerResultOk;
  }
  void release() override {}
};
ChosenFileBroker g_broker;
int32_t make_broker(void *, BrokerConnection **out, uint32_t *) {
  *out = &g_broker;
  return 0;
}

TEST_F(SelectUi, Pkcs12FileFoundWithItsPasswordSignsWithoutAskingAgain) {
  const std::string path = v7test::fixtures_path("pki/user_three_certs.p12");
  g_broker.path.assign(path.begin(), path.end());
  broker_set_factory(make_broker);
  request_.media_bits = 0x401;
  for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
    const std::string lang = language == kLanguageKorean ? "ko" : "en";
    SCOPED_TRACE(lang);
    set_language_id(language);
    auto select = new_select();
    std::vector<std::string> rows;
    bool search_shown = false, entry_hidden = false, note_shown = false, refused_at_once = false;
    int prompts_open = -1;
    int result = 0;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
          ASSERT_NE(dialog, nullptr);
          search_shown = ::IsWindowVisible(::GetDlgItem(dialog, IDC_SELECT_SEARCH)) != FALSE;
          robot.Click(dialog, IDC_SELECT_SEARCH);
          HWND prompt = robot.WaitForDialogWithControl(IDC_PASSWD_EDIT, dialog);
          ASSERT_NE(prompt, nullptr);
          // While the prompt's loop runs, a second Search, OK or a medium is refused at once
          // (a handler that re-entered would block this call in a second prompt).
          DWORD_PTR answer = 0;
          refused_at_once =
              ::SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SELECT_SEARCH, BN_CLICKED), 0, SMTO_NORMAL,
                                    10000, &answer) != 0 &&
              ::SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0, SMTO_NORMAL, 10000,
                                    &answer) != 0;
          prompts_open = 0;
          for (HWND w : v7test::ThreadWindows(robot.ui_thread()))
            if (::GetDlgItem(w, IDC_PASSWD_EDIT) != nullptr && ::IsWindowVisible(w)) ++prompts_open;
          robot.SetItemText(prompt, IDC_PASSWD_EDIT, L"Fixture1!");
          robot.Click(prompt, IDOK);
          robot.WaitGone(prompt);
          HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
          ASSERT_TRUE(robot.WaitUntil([&] { return row_of(list, "Hong Gildong()0001234567890123") == 0; }));
          rows = rows_of(list);
          entry_hidden = !::IsWindowVisible(::GetDlgItem(dialog, IDC_SELECT_PASSWORD));
          note_shown = ::IsWindowVisible(::GetDlgItem(dialog, IDC_SELECT_OK_NOTE)) != FALSE;
          EXPECT_TRUE(robot.Screenshot(dialog, "select_pkcs12_" + lang));
          robot.Click(dialog, IDOK);
          EXPECT_TRUE(robot.WaitGone(dialog));
        },
        [&] { result = CertListShowDialog(select->record); });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(search_shown);
    EXPECT_TRUE(refused_at_once);
    EXPECT_EQ(prompts_open, 1);
    EXPECT_TRUE(entry_hidden) << "the file's password was asked already";
    EXPECT_TRUE(note_shown);
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_NE(select->record->sign_key, nullptr);
    for (const std::wstring &box : g_boxes) ADD_FAILURE() << "message box: " << narrow_utf8(box);
    EXPECT_EQ(setting("Last Media"), "PKCS12");
  }
  broker_set_factory(nullptr);
}

TEST_F(SelectUi, NoMediaSelectsNothingAndHiddenPasswordEndsAtOnce) {
  request_.media_bits = 0;
  request_.dialog_flags = kRequestHidePasswordEntry;
  request_.restore_last_medium = 1;
  set_language_id(kLanguageEnglish);
  // With its banner and with an unknown banner name: the banner goes, the dialog shrinks by 80
  // pixels and every control below it, Search and the red note included, moves up as much.
  struct Shape {
    int height = 0, ok_top = 0, search_top = 0, note_top = 0;
    bool banner_shown = false;
  } shapes[2];
  for (int i = 0; i < 2; ++i) {
    snprintf(request_.banner, sizeof request_.banner, "%s", i == 0 ? "BITMAP_VELMORA_RELAY" : "unknown.gif");
    auto select = new_select();
    int items = -1, result = 0;
    bool edit_hidden = false;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
          ASSERT_NE(dialog, nullptr);
          items = int(::SendMessageW(::GetDlgItem(dialog, IDC_SELECT_MEDIA), LVM_GETITEMCOUNT, 0, 0));
          edit_hidden = !::IsWindowVisible(::GetDlgItem(dialog, IDC_SELECT_PASSWORD));
          RECT r;
          ::GetWindowRect(dialog, &r);
          shapes[i].height = r.bottom - r.top;
          auto top = [&](int id) {
            RECT c;
            ::GetWindowRect(::GetDlgItem(dialog, id), &c);
            return c.top - r.top;
          };
          shapes[i].ok_top = top(IDOK);
          shapes[i].search_top = top(IDC_SELECT_SEARCH);
          shapes[i].note_top = top(IDC_SELECT_OK_NOTE);
          shapes[i].banner_shown = ::IsWindowVisible(::GetDlgItem(dialog, IDC_SELECT_BANNER)) != FALSE;
          if (i == 1) {
            EXPECT_TRUE(robot.Screenshot(dialog, "select_no_banner_en"));
          }
          robot.Click(dialog, IDOK);
          EXPECT_TRUE(robot.WaitGone(dialog));
        },
        [&] { result = CertListShowDialog(select->record); });
    EXPECT_EQ(items, 0);
    EXPECT_TRUE(edit_hidden);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(select->record->chosen, nullptr);
  }
  EXPECT_TRUE(shapes[0].banner_shown);
  EXPECT_FALSE(shapes[1].banner_shown);
  EXPECT_EQ(shapes[0].height - shapes[1].height, 80);
  EXPECT_EQ(shapes[0].ok_top - shapes[1].ok_top, 80);
  EXPECT_EQ(shapes[0].search_top - shapes[1].search_top, 80);
  EXPECT_EQ(shapes[0].note_top - shapes[1].note_top, 80);
  EXPECT_EQ(CertListShowDialog(nullptr), v7::kErrInvalidParameter);
}

// Two holders of the hard disk that go wrong after the list showed them: one certificate file
// turns into bytes that are no certificate, the other goes. Removed again when the case ends.
class BrokenHolders {
 public:
  BrokenHolders() {
    for (const Holder &h : holders()) {
      certtest::CertSpec spec;
      spec.subject = {{"c", "KR"}, {"o", "TestCA"}, {"ou", "Users"}, {"cn", h.cn}};
      put(folder(h) / "signCert.der", certtest::certificate(spec));
      put(folder(h) / "signPri.key", fixture("signPri.key"));
    }
  }
  ~BrokenHolders() {
    std::error_code ec;
    for (const Holder &h : holders()) fs::remove_all(folder(h), ec);
  }
  // The first holder's certificate cut in half; the second's removed.
  void Break() {
    v7test::Bytes cut = fixture("signCert.der");
    cut.resize(cut.size() / 2);
    put(folder(holders()[0]) / "signCert.der", cut);
    std::error_code ec;
    fs::remove(folder(holders()[1]) / "signCert.der", ec);
  }
  struct Holder {
    const char *cn;
    int code;  // what View must say
  };
  static const std::vector<Holder> &holders() {
    static const std::vector<Holder> all = {{"View Cut()0007777", v7::kErrAsn1Decode},
                                            {"View Gone()0008888", v7::kErrFileNotFound}};
    return all;
  }

 private:
  static fs::path folder(const Holder &h) {
    return npkitest::profile() / "AppData" / "LocalLow" / "NPKI" / "TestCA" / "USER" /
           (std::string("cn=") + h.cn + ",ou=Users,o=TestCA,c=KR");
  }
};

TEST_F(SelectUi, ViewOfASetThatCannotBeReadSaysWhyInAPlainBoxOverTheDialog) {
  // Real boxes here: the system's own, read by the robot.
  v7::set_message_box_hook_w(nullptr);
  for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
    const bool korean = language == kLanguageKorean;
    SCOPED_TRACE(korean ? "ko" : "en");
    BrokenHolders broken;
    set_language_id(language);
    auto select = new_select();
    BoxSeen reference;
    std::vector<BoxSeen> seen;
    HWND dialog_seen = nullptr;
    bool viewer_opened = false, view_back = false;
    int result = 0;
    RunWithRobot(
        [&](UiRobot &robot) {
          // A box without a caption of its own, for the caption the system gives one.
          reference = answer_message_box(robot);
          HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
          ASSERT_NE(dialog, nullptr);
          dialog_seen = dialog;
          HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
          ASSERT_TRUE(robot.WaitUntil([&] { return row_of(list, "View Gone()0008888") >= 0; }));
          broken.Break();
          for (const BrokenHolders::Holder &h : BrokenHolders::holders()) {
            select_row(list, row_of(list, h.cn));
            robot.Click(dialog, IDC_SELECT_VIEW);
            seen.push_back(answer_message_box(robot));
            view_back = robot.WaitUntil([&] { return robot.Enabled(dialog, IDC_SELECT_VIEW); });
          }
          viewer_opened = robot.WaitForDialogWithControl(IDW_CV_CHOICE, dialog, 10) != nullptr;
          robot.Click(dialog, IDCANCEL);
          EXPECT_TRUE(robot.WaitGone(dialog));
        },
        [&] {
          v7::message_box_w(u"reference", nullptr, MB_OK);
          result = CertListShowDialog(select->record);
        });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(viewer_opened);
    EXPECT_TRUE(view_back);
    ASSERT_EQ(seen.size(), BrokenHolders::holders().size());
    for (size_t i = 0; i < seen.size(); ++i) {
      const BrokenHolders::Holder &h = BrokenHolders::holders()[i];
      SCOPED_TRACE(h.cn);
      // The code's message in the dialog's language, followed by the code.
      char16_t *message = err_code_text_w(h.code, korean ? 0 : 0x200);
      ASSERT_NE(message, nullptr);
      const std::wstring text =
          reinterpret_cast<const wchar_t *>(message) + (L" [" + std::to_wstring(h.code) + L"] ");
      free(message);
      EXPECT_EQ(narrow_utf8(seen[i].text), narrow_utf8(text));
      // The error by code: the system's caption, OK alone, no icon, over the dialog.
      EXPECT_EQ(seen[i].caption, reference.caption);
      EXPECT_NE(seen[i].caption, v7::classlib::LoadPairText(IDS_NOTICE_CAPTION));
      EXPECT_EQ(seen[i].buttons, std::vector<int>{IDOK});
      EXPECT_EQ(seen[i].icons, 0);
      EXPECT_EQ(seen[i].owner, dialog_seen);
    }
  }
}

TEST_F(SelectUi, MediumKindsSevenAndEightOpenOnAnEmptyListThatSaysNothing) {
  set_language_id(kLanguageEnglish);
  for (uint32_t kind : {7u, 8u}) {
    SCOPED_TRACE(kind);
    request_.forced_medium = kind;
    auto select = new_select();
    std::vector<std::string> rows;
    int chosen_medium = -2, result = 0;
    bool list_enabled = true, ok_enabled = true;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
          ASSERT_NE(dialog, nullptr);
          HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
          robot.WaitUntil([&] { return rows_of(list).size() == 3; });
          rows = rows_of(list);
          list_enabled = robot.Enabled(dialog, IDC_SELECT_CERTS);
          ok_enabled = robot.Enabled(dialog, IDOK);
          chosen_medium = int(::SendMessageW(::GetDlgItem(dialog, IDC_SELECT_MEDIA), LVM_GETNEXTITEM, WPARAM(-1),
                                             LVNI_SELECTED));
          robot.Click(dialog, IDCANCEL);
          EXPECT_TRUE(robot.WaitGone(dialog));
        },
        [&] { result = CertListShowDialog(select->record); });
    EXPECT_EQ(result, IDCANCEL);
    // Three empty rows and not the no-certificate text: no medium was looked at yet.
    EXPECT_EQ(rows, std::vector<std::string>(3, "0||||"));
    EXPECT_FALSE(list_enabled);
    EXPECT_FALSE(ok_enabled);
    EXPECT_EQ(chosen_medium, -1) << "no medium is chosen, the remembered one neither";
    EXPECT_TRUE(g_boxes.empty());
  }
}

// The column's texts top to bottom.
std::vector<std::string> column_of(HWND list, int column) {
  std::vector<std::string> out;
  for (const std::string &row : rows_of(list)) {
    size_t at = 0;
    for (int i = 0; i <= column; ++i) at = row.find('|', at) + 1;
    out.push_back(row.substr(at, row.find('|', at) - at));
  }
  return out;
}

TEST_F(SelectUi, ColumnHeaderClicksSortTheListEachTimeTheOtherWay) {
  set_language_id(kLanguageEnglish);
  auto select = new_select();
  struct Click {
    int column;
    std::vector<std::string> values;
  };
  std::vector<Click> clicks;
  int result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
        ASSERT_NE(dialog, nullptr);
        HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
        ASSERT_TRUE(robot.WaitUntil([&] { return rows_of(list).size() == 4; }));
        HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
        for (int column : {1, 1, 2, 0}) {
          // A press and release of the left button in the middle of the column's header, sent, so
          // that the list is sorted when they return.
          RECT r = {};
          ::SendMessageW(header, HDM_GETITEMRECT, WPARAM(column), LPARAM(&r));
          const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
          ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
          ::SendMessageW(header, WM_LBUTTONUP, 0, at);
          clicks.push_back({column, column_of(list, column)});
        }
        robot.Click(dialog, IDCANCEL);
        EXPECT_TRUE(robot.WaitGone(dialog));
      },
      [&] { result = CertListShowDialog(select->record); });
  EXPECT_EQ(result, IDCANCEL);
  ASSERT_EQ(clicks.size(), 4u);
  // Every click sorts by its column, the opposite way of the click before it.
  int last_direction = 0;
  for (const Click &c : clicks) {
    SCOPED_TRACE(c.column);
    std::vector<std::string> up = c.values, down = c.values;
    std::sort(up.begin(), up.end());
    std::sort(down.rbegin(), down.rend());
    const int direction = c.values == up ? 1 : c.values == down ? -1 : 0;
    EXPECT_NE(direction, 0) << "not sorted by the clicked column";
    if (last_direction != 0) {
      EXPECT_EQ(direction, -last_direction);
    }
    last_direction = direction;
  }
  EXPECT_EQ(clicks[0].values.front(), clicks[1].values.back()) << "the second click turned the order round";
}

TEST_F(SelectUi, RegistrationAuthorityButtonIsItsPicturesSize) {
  HBITMAP picture = static_cast<HBITMAP>(
      ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SELECT_RA_BUTTON), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(picture, nullptr);
  BITMAP info = {};
  ASSERT_EQ(::GetObjectW(picture, sizeof info, &info), int(sizeof info));
  ::DeleteObject(picture);
  auto select = new_select();
  RECT client = {};
  int result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
        ASSERT_NE(dialog, nullptr);
        ::GetClientRect(::GetDlgItem(dialog, IDC_SELECT_RA_LINK), &client);
        robot.Click(dialog, IDCANCEL);
        EXPECT_TRUE(robot.WaitGone(dialog));
      },
      [&] { result = CertListShowDialog(select->record); });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(client.right - client.left, info.bmWidth);
  EXPECT_EQ(client.bottom - client.top, info.bmHeight);
}

// Runs the send's selection and presses one button of the dialog as soon as it shows.
int send_selection_pressing(CCertSelect *select, int button) {
  int rc = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
        ASSERT_NE(dialog, nullptr);
        robot.Click(dialog, button);
        EXPECT_TRUE(robot.WaitGone(dialog));
      },
      [&] { rc = RunSendSelection(select); });
  return rc;
}

TEST_F(SelectUi, SendSelectionCancelledOrUnreadable) {
  set_language_id(kLanguageEnglish);
  // Cancel: 21500 and no box.
  auto cancelled = new_select();
  EXPECT_EQ(send_selection_pressing(cancelled.get(), IDCANCEL), v7::kErrUserCancelled);
  EXPECT_TRUE(g_boxes.empty());
  // A request that hides the password ends OK without a chosen set: the user is told the set could
  // not be read, and nothing goes to the wizard.
  request_.dialog_flags = kRequestHidePasswordEntry;
  auto unreadable = new_select();
  EXPECT_EQ(send_selection_pressing(unreadable.get(), IDOK), -1);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], v7::classlib::LoadPairText(IDS_READ_SELECTED_FAILED));
  for (int i = 0; i < kSelectBufferCount; ++i) EXPECT_EQ(unreadable->Buffer(i).length, 0u);
  EXPECT_EQ(RunSendSelection(nullptr), v7::kErrInvalidParameter);
}

FileTrustAnswer trust_all(const char16_t *) { return {0, 0}; }

class SelectSecureDiskUi : public v7test::SecureDiskFixture {
 protected:
  void SetUp() override {
    SecureDiskFixture::SetUp();
    ckapptest::use_variant("complete", &g_ckapp);
    begin_case(&request_);
    request_.media_bits = 0x200;
  }
  void TearDown() override {
    end_case();
    sd_set_module_folder(nullptr);
    set_file_trust_verifier(nullptr);
    v7::keycrypt::KeyCryptSetModuleFolder(nullptr);
    SecureDiskFixture::TearDown();
  }
  RelayRequestRecord request_;
};

TEST_F(SelectSecureDiskUi, WrongPasswordNamesTheTriesLeftAndTheRightOneExportsThePairs) {
  ASSERT_NO_FATAL_FAILURE(open_with_sets(kPassword, true));
  sd_set_module_folder(v7test::variant_folder("complete").c_str());
  set_file_trust_verifier(trust_all);
  for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
    const std::string lang = language == kLanguageKorean ? "ko" : "en";
    SCOPED_TRACE(lang);
    set_language_id(language);
    auto select = select_for(&request_);
    std::wstring wrong_summary;
    size_t count = 0;
    int run = -2;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
          ASSERT_NE(dialog, nullptr);
          HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
          ASSERT_TRUE(robot.WaitUntil([&] { return row_of(list, "Hong Gildong()0001234567890123") >= 0; }));
          count = rows_of(list).size();
          select_row(list, row_of(list, "Hong Gildong()0001234567890123"));
          EXPECT_TRUE(robot.Screenshot(dialog, "select_securedisk_" + lang));
          robot.SetItemText(dialog, IDC_SELECT_PASSWORD, L"not the password");
          robot.Click(dialog, IDOK);
          wrong_summary = close_error_dialog(robot, dialog);
          robot.WaitUntil([&] { return robot.Enabled(dialog, IDOK); });
          robot.SetItemText(dialog, IDC_SELECT_PASSWORD, L"Fixture1!");
          robot.Click(dialog, IDOK);
          EXPECT_TRUE(robot.WaitGone(dialog));
        },
        [&] { run = select->Run(); });
    EXPECT_EQ(run, 0);
    EXPECT_EQ(count, 2u);
    wchar_t tries[128];
    _snwprintf(tries, 127, v7::classlib::LoadPairText(IDS_TRIES_LEFT).c_str(), kSdTestMaxPinCount - 1);
    tries[127] = 0;
    EXPECT_EQ(narrow_utf8(wrong_summary), narrow_utf8(v7::classlib::LoadPairText(IDS_WRONG_PASSWORD) + L"\n" + tries));
    ASSERT_NE(select->entry, nullptr);
    EXPECT_EQ(std::string(select->entry->subject_dn), kHong);
    EXPECT_EQ(v7test::Bytes(select->Buffer(kSelectSignCert).data,
                            select->Buffer(kSelectSignCert).data + select->Buffer(kSelectSignCert).length),
              sign_cert_);
    EXPECT_GT(select->Buffer(kSelectSignKey).length, 0u);
    EXPECT_GT(select->Buffer(kSelectKmKey).length, 0u);
    EXPECT_EQ(setting("Last Media"), "SECURE_DISK");
  }
}

}  // namespace
