// The certificate viewer on real windows under Wine, in Korean and in English: verdicts of valid,
// revoked and expired certificates validated against the path fixtures' directory (the revocation
// lists come from slapd), the skip word, the choice of certificate, the details
// page, the policy's address through the page opener, and the root fingerprints of the built-in
// table. The UI robot presses and reads back; screenshots land in the build folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/certlist.h"
#include "pki/validation/valcfg.h"
#include "platform/osver/os_version_query.h"
#include "platform/ui/message_box.h"
#include "tests/harness/vectors.h"
#include "tests/ui/robot.h"
#include "tests/wizard/dialogs/words_scope.h"
#include "wizard/certview/viewer_tables.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/records/request_record.h"
#include "wizard/res/string_table.h"
#include "wizard/res/viewer_ids.h"
#include "wizard/viewer/cert_view_prop.h"
#include "wizard/viewer/verify_root_dlg.h"

using v7test::RunWithRobot;
using v7test::UiRobot;

namespace {

std::vector<uint8_t> fixture(const std::string &name) {
  std::ifstream in(v7test::fixtures_path("pki/" + name), std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring pair_text(unsigned id, uint16_t language) {
  return v7test::WideFromUtf8(v7::wizard::res::FindPairText(id, language == kLanguageKorean));
}

// The directory of the path fixtures (slapd on 38389), a scratch cache and the path trust list.
std::string g_scratch;
// While set, validation (on the viewer's worker thread) waits for it before it starts.
HANDLE g_hold_validation = nullptr;
void path_directory(VALIDATION_SETTINGS *settings) {
  if (g_hold_validation != nullptr) ::WaitForSingleObject(g_hold_validation, 60000);
  valcfg_set("LDAPAddr", settings, "127.0.0.1");
  valcfg_set("LDAPPort", settings, "38389");
  valcfg_set("CtlDN", settings, "cn=PATH-CTL,ou=ROOTCA,o=KISA,c=KR");
  valcfg_set("CertDir", settings, (g_scratch + "/certs").c_str());
  valcfg_set("RootCertDir", settings, (g_scratch + "/roots").c_str());
}

bool answer_xp(OsVersionRecord *out) {
  *out = OsVersionRecord{2, 5, 1};
  return true;
}

std::mutex g_lock;
std::vector<std::wstring> g_opened, g_boxes;
int record_page(const char16_t *address) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_opened.push_back(reinterpret_cast<const wchar_t *>(address));
  return 0;
}
int record_box(const char16_t *text, const char16_t *, unsigned) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_boxes.push_back(reinterpret_cast<const wchar_t *>(text));
  return IDOK;
}

class ViewerUi : public ::testing::Test {
 protected:
  void SetUp() override {
    g_scratch = std::string(V7_VIEWER_TEST_DIR) + "/" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::u8path(g_scratch), ec);
    std::filesystem::create_directories(std::filesystem::u8path(g_scratch), ec);
    v7::viewer::set_validation_settings_hook(path_directory);
    platform_set_os_version_hook(answer_xp);
    v7::dialogs::set_web_page_opener(record_page);
    v7::set_message_box_hook_w(record_box);
    std::lock_guard<std::mutex> hold(g_lock);
    g_opened.clear();
    g_boxes.clear();
    request_.reset(new RelayRequestRecord());
    memset(request_.get(), 0, sizeof *request_);
  }
  void TearDown() override {
    v7::viewer::set_validation_settings_hook(nullptr);
    platform_set_os_version_hook(nullptr);
    v7::dialogs::set_web_page_opener(nullptr);
    v7::set_message_box_hook_w(nullptr);
  }
  std::unique_ptr<RelayRequestRecord> request_;
};

HWND current_page(HWND sheet) {
  DWORD_PTR page = 0;
  ::SendMessageTimeoutW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_NORMAL, 5000, &page);
  return reinterpret_cast<HWND>(page);
}

// Waits for the general page's verdict (valid or not valid) and returns it. A text read while the
// busy text is replaced can come back cut, so only a whole verdict ends the wait.
std::wstring verdict_of(UiRobot &robot, HWND page, uint16_t language) {
  const std::wstring valid = pair_text(27, language), invalid = pair_text(29, language);
  std::wstring verdict;
  EXPECT_TRUE(robot.WaitUntil(
      [&] {
        verdict = robot.ItemText(page, IDC_CV_VERDICT);
        return verdict == valid || verdict == invalid;
      },
      60000))
      << std::string(verdict.begin(), verdict.end());
  return verdict;
}

bool visible(HWND page, int id) { return ::IsWindowVisible(::GetDlgItem(page, id)) != FALSE; }

// Turns the sheet to its details page; the page, or null when it did not come.
HWND open_details(UiRobot &robot, HWND sheet, HWND general) {
  ::PostMessageW(sheet, PSM_SETCURSEL, 1, 0);
  HWND details = nullptr;
  robot.WaitUntil([&] {
    details = current_page(sheet);
    return details != nullptr && details != general;
  });
  return details != general ? details : nullptr;
}

using Script = std::function<void(UiRobot &robot, HWND sheet, HWND page)>;

// Opens the viewer over the certificates (either may be empty), runs script on the robot thread
// with the sheet and its general page, then closes the sheet by its Close button. The viewer's
// modal result.
INT_PTR with_viewer(const RelayRequestRecord *request, const std::vector<uint8_t> &sign,
                    const std::vector<uint8_t> &km, const Script &script, const CERT_ENTRY *entry = nullptr) {
  INT_PTR result = -1;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND sheet = robot.WaitForDialogWithControl(IDW_CV_CHOICE);
        ASSERT_NE(sheet, nullptr);
        HWND page = current_page(sheet);
        ASSERT_NE(page, nullptr);
        script(robot, sheet, page);
        robot.Click(sheet, IDOK);
        EXPECT_TRUE(robot.WaitGone(sheet));
      },
      [&] {
        result = v7::viewer::ShowCertificateViewer(request, entry, sign.empty() ? nullptr : sign.data(),
                                                   sign.size(), km.empty() ? nullptr : km.data(), km.size());
      });
  return result;
}

struct Case {
  const char *name;
  const char *km;    // validated as the key-management certificate (its key usage is encipherment)
  unsigned verdict;  // Korean id of the verdict pair
};
const Case kCases[] = {
    {"valid", "path_good.der", 27},
    {"revoked", "path_revoked.der", 29},
    {"expired", "path_expired.der", 29},
};

TEST_F(ViewerUi, VerdictsOfValidRevokedAndExpiredCertificates) {
  for (uint16_t language : kLanguages) {
    for (const Case &c : kCases) {
      SCOPED_TRACE(std::string(language_name(language)) + " " + c.name);
      WordsScope words(language, kCharEncodingUtf8);
      std::vector<uint8_t> km = fixture(c.km);
      const INT_PTR result = with_viewer(request_.get(), {}, km, [&](UiRobot &robot, HWND sheet, HWND page) {
        const std::wstring verdict = verdict_of(robot, page, language);
        EXPECT_EQ(verdict, pair_text(c.verdict, language));
        EXPECT_EQ(visible(page, IDC_CV_VIEW_ERROR), c.verdict == 29);
        EXPECT_EQ(robot.Enabled(page, IDC_CV_VIEW_ERROR), c.verdict == 29);
        // One certificate: one item, and the list cannot be used.
        HWND choice = ::GetDlgItem(sheet, IDW_CV_CHOICE);
        EXPECT_EQ(::SendMessageW(choice, CB_GETCOUNT, 0, 0), 1);
        EXPECT_FALSE(::IsWindowEnabled(choice));
        EXPECT_EQ(robot.ItemText(sheet, IDOK), language == kLanguageKorean ? L"닫 기" : L"Close");
        EXPECT_EQ(robot.MissingGlyphs(page), "");
        EXPECT_TRUE(robot.WaitUntil([&] { return ::IsWindowVisible(sheet) != FALSE; }));
        EXPECT_TRUE(
            robot.Screenshot(sheet, std::string("certview_") + c.name + "_" + language_name(language)));
        if (verdict == pair_text(29, language)) {
          // The failure's trail is behind View Error, in the error dialog.
          robot.Click(page, IDC_CV_VIEW_ERROR);
          HWND error = robot.WaitForDialogWithControl(23003, sheet);
          ASSERT_NE(error, nullptr);
          EXPECT_EQ(robot.ItemText(error, 23003), pair_text(130, language));
          EXPECT_FALSE(robot.ItemText(error, 23000).empty());
          if (c.verdict != 29) {
            // An unexpected failure: its trail says why.
            const std::wstring trail = robot.ItemText(error, 23000);
            ADD_FAILURE() << std::string(trail.begin(), trail.end());
          }
          robot.Click(error, IDOK);
          EXPECT_TRUE(robot.WaitGone(error));
        }
      });
      EXPECT_EQ(result, IDOK);
    }
  }
}

// Both certificates: the list switches the pages between them; the details page lists the fields
// and the extensions and shows a row's whole text; More Info hands only the certificate's https
// policy address to the page opener.
TEST_F(ViewerUi, ChoiceDetailsAndMoreInfo) {
  for (uint16_t language : kLanguages) {
    SCOPED_TRACE(language_name(language));
    WordsScope words(language, kCharEncodingUtf8);
    std::vector<uint8_t> sign = fixture("certview_full.der");
    std::vector<uint8_t> km = fixture("path_good.der");
    with_viewer(request_.get(), sign, km, [&](UiRobot &robot, HWND sheet, HWND page) {
      HWND choice = ::GetDlgItem(sheet, IDW_CV_CHOICE);
      EXPECT_EQ(::SendMessageW(choice, CB_GETCOUNT, 0, 0), 2);
      EXPECT_TRUE(::IsWindowEnabled(choice));
      verdict_of(robot, page, language);
      // The self-signed test certificate is no national root's: not valid.
      EXPECT_EQ(robot.ItemText(page, IDC_CV_VERDICT), pair_text(29, language));
      EXPECT_EQ(robot.ItemText(page, IDC_CV_SUBJECT), L"홍길동 Viewer");
      EXPECT_EQ(robot.ItemText(page, IDC_CV_VALID_FROM), L"2049-12-31 23:59:59");
      EXPECT_EQ(robot.ItemText(page, IDC_CV_VALID_TO), L"2050-01-01 00:00:00");
      EXPECT_EQ(robot.ItemText(page, IDC_CV_NOTICE), L"이 인증서는 시험용입니다");
      EXPECT_EQ(robot.MissingGlyphs(page), "");
      EXPECT_TRUE(robot.Screenshot(sheet, std::string("certview_general_") + language_name(language)));
      robot.Click(sheet, IDW_CV_MORE_INFO);
      EXPECT_TRUE(robot.WaitUntil([] {
        std::lock_guard<std::mutex> hold(g_lock);
        return !g_opened.empty();
      }));
      {
        std::lock_guard<std::mutex> hold(g_lock);
        ASSERT_EQ(g_opened.size(), 1u);
        EXPECT_EQ(g_opened[0], L"https://www.example.test/cps.html");
      }

      // The key-management certificate.
      ::SendMessageW(choice, CB_SETCURSEL, 1, 0);
      ::PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDW_CV_CHOICE, CBN_SELCHANGE), LPARAM(choice));
      EXPECT_TRUE(robot.WaitUntil([&] { return robot.ItemText(page, IDC_CV_SUBJECT) != L"홍길동 Viewer"; }));
      EXPECT_EQ(verdict_of(robot, page, language), pair_text(27, language));
      // No policy address in this one: the "no more information" box.
      robot.Click(sheet, IDW_CV_MORE_INFO);
      EXPECT_TRUE(robot.WaitUntil([] {
        std::lock_guard<std::mutex> hold(g_lock);
        return !g_boxes.empty();
      }));
      {
        std::lock_guard<std::mutex> hold(g_lock);
        EXPECT_EQ(g_boxes[0], pair_text(132, language));
        EXPECT_EQ(g_opened.size(), 1u);
      }

      // The details page of the signing certificate.
      ::SendMessageW(choice, CB_SETCURSEL, 0, 0);
      ::PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDW_CV_CHOICE, CBN_SELCHANGE), LPARAM(choice));
      EXPECT_TRUE(robot.WaitUntil([&] { return robot.ItemText(page, IDC_CV_SUBJECT) == L"홍길동 Viewer"; }));
      verdict_of(robot, page, language);
      HWND details = open_details(robot, sheet, page);
      ASSERT_NE(details, nullptr);
      HWND list = ::GetDlgItem(details, IDC_CV_FIELDS);
      // Eight fields and the certificate's eight extensions.
      EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 16);
      LVITEMW select = {};
      select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      select.state = LVIS_SELECTED | LVIS_FOCUSED;
      ::SendMessageW(list, LVM_SETITEMSTATE, 1, LPARAM(&select));  // the serial number
      const std::wstring serial = language == kLanguageKorean ? L"16진수 : " : L"Hexa : ";
      EXPECT_TRUE(robot.WaitUntil([&] {
        return robot.ItemText(details, IDC_CV_FIELD_TEXT)
                   .find(serial + L"ffeeddccbbaa99887766554433221100ffeeddcc") != std::wstring::npos;
      })) << robot.ItemText(details, IDC_CV_FIELD_TEXT).size();
      EXPECT_TRUE(robot.Screenshot(sheet, std::string("certview_details_") + language_name(language)));
    });
    std::lock_guard<std::mutex> hold(g_lock);
    g_opened.clear();
    g_boxes.clear();
  }
}

// Validation runs beside the window, which stays responsive and says that it is busy until the
// verdict arrives.
TEST_F(ViewerUi, BusyWhileValidating) {
  WordsScope words(kLanguageEnglish, kCharEncodingUtf8);
  g_hold_validation = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<uint8_t> km = fixture("path_good.der");
  with_viewer(request_.get(), {}, km, [&](UiRobot &robot, HWND sheet, HWND page) {
    EXPECT_EQ(robot.ItemText(page, IDC_CV_VERDICT), pair_text(2100, kLanguageEnglish));
    EXPECT_FALSE(visible(page, IDC_CV_VIEW_ERROR));
    EXPECT_EQ(robot.ItemText(sheet, IDOK), L"Close");
    ::SetEvent(g_hold_validation);
    EXPECT_EQ(verdict_of(robot, page, kLanguageEnglish), pair_text(27, kLanguageEnglish));
  });
  // Closed while busy: the sheet goes (the page waits for its worker on the way), and the worker's
  // late verdict reaches no window.
  ::ResetEvent(g_hold_validation);
  const INT_PTR result = with_viewer(request_.get(), {}, km, [&](UiRobot &robot, HWND sheet, HWND page) {
    EXPECT_EQ(robot.ItemText(page, IDC_CV_VERDICT), pair_text(2100, kLanguageEnglish));
    robot.Click(sheet, IDOK);
    EXPECT_TRUE(robot.WaitUntil([&] { return !::IsWindowVisible(sheet); }));
    ::SetEvent(g_hold_validation);
  });
  EXPECT_EQ(result, IDOK);
  ::CloseHandle(g_hold_validation);
  g_hold_validation = nullptr;
}

// In the EUC-KR setting the display texts travel in code page 949 and reach the screen the same.
TEST_F(ViewerUi, EucKrSettingShowsTheSameTexts) {
  WordsScope words(kLanguageKorean, 0);
  request_->viewer_skips_validation = 1;
  std::vector<uint8_t> sign = fixture("certview_full.der");
  // A hard-disk entry; its folder is narrow text of the setting (EUC-KR "홍길동").
  char folder[] = "C:\\Program Files\\NPKI\\\xC8\xAB\xB1\xE6\xB5\xBF";
  CERT_ENTRY entry = {};
  entry.media_code = 1;
  entry.medium_data = folder;
  with_viewer(
      request_.get(), sign, {},
      [&](UiRobot &robot, HWND sheet, HWND page) {
        EXPECT_EQ(robot.ItemText(page, IDC_CV_SUBJECT), L"홍길동 Viewer");
        EXPECT_EQ(robot.ItemText(page, IDC_CV_NOTICE), L"이 인증서는 시험용입니다");
        EXPECT_EQ(robot.ItemText(page, IDC_CV_POLICY), L"1.2.410.200005.1.1.1, 1.2.410.200005.1.1.5");
        HWND choice = ::GetDlgItem(sheet, IDW_CV_CHOICE);
        EXPECT_EQ(::SendMessageW(choice, CB_GETCOUNT, 0, 0), 1);
        // The entry's folder closes the details page's rows.
        HWND details = open_details(robot, sheet, page);
        ASSERT_NE(details, nullptr);
        HWND list = ::GetDlgItem(details, IDC_CV_FIELDS);
        ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 17);
        wchar_t field[64] = L"", value[128] = L"";
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = field;
        item.cchTextMax = 64;
        ::SendMessageW(list, LVM_GETITEMTEXTW, 16, LPARAM(&item));
        item.iSubItem = 1;
        item.pszText = value;
        item.cchTextMax = 128;
        ::SendMessageW(list, LVM_GETITEMTEXTW, 16, LPARAM(&item));
        EXPECT_STREQ(field, L"경로");
        EXPECT_STREQ(value, L"C:/Program Files/NPKI/홍길동");
      },
      &entry);
}

// The root dialog shows the built-in table's own fingerprints, stays on Return and opens the
// authority's page through the opener. The request's skip word (set here) leaves no verdict and no
// View Error.
TEST_F(ViewerUi, RootDialogShowsTheTablesFingerprints) {
  const std::u16string expected16 = v7::certview::builtin_root_fingerprint_text();
  const std::wstring expected(expected16.begin(), expected16.end());
  for (uint16_t language : kLanguages) {
    SCOPED_TRACE(language_name(language));
    WordsScope words(language, kCharEncodingUtf8);
    request_->viewer_skips_validation = 1;
    std::vector<uint8_t> km = fixture("path_revoked.der");
    with_viewer(request_.get(), {}, km, [&](UiRobot &robot, HWND sheet, HWND page) {
      EXPECT_EQ(robot.ItemText(page, IDC_CV_VERDICT), L"");
      EXPECT_FALSE(visible(page, IDC_CV_VIEW_ERROR));
      EXPECT_FALSE(robot.Enabled(page, IDC_CV_VIEW_ERROR));
      robot.Click(sheet, IDW_CV_ROOT_INFO);
      HWND root = robot.WaitForDialogWithControl(IDC_ROOT_FINGERPRINTS, sheet);
      ASSERT_NE(root, nullptr);
      EXPECT_EQ(robot.ItemText(root, IDC_ROOT_FINGERPRINTS), expected);
      EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(root, IDOK)));
      EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(root, IDCANCEL)));
      EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(root, IDC_ROOT_MISMATCH)));
      EXPECT_NE(::GetWindowLongW(root, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
      if (language != kLanguageKorean) {
        EXPECT_EQ(robot.Text(root), L"Trusted root certificate");
      }
      EXPECT_EQ(robot.MissingGlyphs(root), "");
      // Painted once the dialog is the active window (it paints before the modal loop idles).
      EXPECT_TRUE(robot.WaitUntil([&] { return ::GetForegroundWindow() == root; }));
      EXPECT_TRUE(robot.Screenshot(root, std::string("certview_root_") + language_name(language)));
      // Return does not end it; the site button goes through the page opener.
      robot.PressKey(::GetDlgItem(root, IDC_ROOT_FINGERPRINTS), VK_RETURN);
      robot.Click(root, IDC_ROOT_SITE);
      EXPECT_TRUE(robot.WaitUntil([] {
        std::lock_guard<std::mutex> hold(g_lock);
        return !g_opened.empty();
      }));
      EXPECT_TRUE(::IsWindow(root));
      ::PostMessageW(root, WM_COMMAND, IDCANCEL, 0);
      EXPECT_TRUE(robot.WaitGone(root));
    });
    std::lock_guard<std::mutex> hold(g_lock);
    ASSERT_EQ(g_opened.size(), 1u);
    const std::string page = v7::viewer::kRootFingerprintPage;
    EXPECT_EQ(g_opened[0], std::wstring(page.begin(), page.end()));
    g_opened.clear();
  }
}

// A label's link opens only as http or https, through the page opener.
TEST_F(ViewerUi, LabelLinksOpenOnlyWebAddresses) {
  v7::viewer::CLabel label;
  label.SetLink("file:///C:/Windows/system32/calc.exe");
  EXPECT_NE(label.OpenLink(), 0);
  label.SetLink("C:\\Windows\\system32\\calc.exe");
  EXPECT_NE(label.OpenLink(), 0);
  label.SetLink("https://www.example.test/a b");
  EXPECT_EQ(label.OpenLink(), 0);
  std::lock_guard<std::mutex> hold(g_lock);
  ASSERT_EQ(g_opened.size(), 1u);
  EXPECT_EQ(g_opened[0], L"https://www.example.test/a%20b");
}

}  // namespace
