// The main job as a person at the browser does it: the robot opens the site's page (main_job.js,
// run by cscript as a browser runs a page's script), which asks the registered control for a
// whole receive from a phone and then a whole send of the stored set to another phone; the robot
// answers the wizard and the selection dialog the real library opens in the page's process, the
// phones played by tools/phone's code against the test relay server on the deployment's port.
// By default a screenshot of every page is saved; with V7_DEMO_INTERACTIVE=1 a person clicks
// through and the robot only hands the codes between the wizard and the phones.
//
// The windows live in another process, so everything the robot does crosses processes: texts and
// clicks through messages the system carries across, list views through RemoteListView.
//
// The prefix is made ready as an installation and an earlier use would leave it (the
// keyboard-security module in the system folder, the revocation lists of the relay
// certificate's path in the library's cache), and afterwards only what this run added is removed.
//
// Set by the driver (tests/demo/page_job.py): V7_PAGE_SCRIPT (the page), V7_PAGE_LANGUAGE (ko or
// en), V7_CKAPP_DIR (the test keyboard-security modules), V7_RELAYD_PORTS, V7_SCREENSHOT_DIR.
#include "tests/wizard/sheet/sheet_test_util.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/library_folders.h"
#include "tests/ui/remote_list_view.h"
#include "tests/wizard/app/export_steps.h"
#include "tests/wizard/sheet/phone_recipient.h"
#include "tests/wizard/sheet/phone_thread.h"
#include "wizard/pages/media_logic.h"
#include "wizard/res/media_pages_ids.h"
#include "wizard/res/select_ids.h"

using namespace sheettest;
using v7test::ClassName;
using v7test::ThreadWindows;
namespace fs = std::filesystem;

namespace {

constexpr DWORD kPersonMs = 600000;  // how long a person may take over one step
constexpr DWORD kFirstWindowMs = 120000;  // cscript, the control and the library start first

std::string env(const char *name) {
  const char *v = std::getenv(name);
  return v != nullptr ? v : "";
}

bool interactive() { return env("V7_DEMO_INTERACTIVE") == "1"; }
bool korean() { return env("V7_PAGE_LANGUAGE") == "ko"; }

void say(const std::string &line) {
  std::printf("demo: %s\n", line.c_str());
  std::fflush(stdout);
}

// The text on one line, for the console.
std::string console_text(std::wstring text) {
  for (wchar_t &c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  return v7test::Utf8FromWide(text);
}

std::string shot_name(const std::string &what) { return std::string("page_") + (korean() ? "ko_" : "en_") + what; }

// Saves the page once it holds control id; the page, or null.
HWND shot(UiRobot &robot, HWND sheet, int id, const std::string &name, DWORD timeout_ms = 15000) {
  HWND page = wait_page(robot, sheet, id, timeout_ms);
  if (page != nullptr && !interactive()) robot.Screenshot(sheet, shot_name(name));
  return page;
}

bool is_message_box(HWND window) {
  return ClassName(window) == L"#32770" && ::GetDlgItem(window, 0xFFFF) != nullptr &&
         ::GetDlgItem(window, ID_WIZNEXT) == nullptr && ::GetDlgItem(window, IDC_SELECT_CERTS) == nullptr &&
         (::GetDlgItem(window, IDOK) != nullptr || ::GetDlgItem(window, IDYES) != nullptr);
}

// Every file and folder under the roots, so that only what a run adds is removed afterwards; false
// when a folder could not be read to its end (a partial list would make old files look new).
bool tree(const std::vector<fs::path> &roots, std::set<fs::path> *all) {
  all->clear();
  for (const fs::path &root : roots) {
    std::error_code ec;
    if (!fs::exists(root, ec)) {
      if (ec) return false;
      continue;
    }
    all->insert(root);
    fs::recursive_directory_iterator it(root, ec), end;
    for (; !ec && it != end; it.increment(ec)) all->insert(it->path());
    if (ec) return false;
  }
  return true;
}

// The file's bytes; empty when it cannot be read.
Bytes file_bytes(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return in.eof() || in ? bytes : Bytes();
}

bool same_bytes(const fs::path &a, const Bytes &b) { return !b.empty() && file_bytes(a) == b; }

// The page's process: cscript running the page, its output read on a thread of its own.
class Page {
 public:
  bool Start(const std::wstring &script, const std::wstring &language) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE write_end = nullptr;
    if (!::CreatePipe(&read_end_, &write_end, &inherit, 0)) return false;
    ::SetHandleInformation(read_end_, HANDLE_FLAG_INHERIT, 0);
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(system, n) + L"\\cscript.exe\" //nologo \"" + script + L"\" " + language;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    const BOOL started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process_);
    ::CloseHandle(write_end);
    if (!started) return false;
    reader_ = std::thread([this] {
      char buffer[512];
      DWORD got = 0;
      while (::ReadFile(read_end_, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        std::lock_guard<std::mutex> hold(lock_);
        output_.append(buffer, got);
      }
    });
    return true;
  }
  ~Page() {
    if (process_.hProcess != nullptr) {
      if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.hProcess, 99);
      ::WaitForSingleObject(process_.hProcess, INFINITE);
      ::CloseHandle(process_.hProcess);
      ::CloseHandle(process_.hThread);
    }
    if (reader_.joinable()) reader_.join();
    if (read_end_ != nullptr) ::CloseHandle(read_end_);
  }
  DWORD ui_thread() const { return process_.dwThreadId; }
  // The exit code once the page has ended, or STILL_ACTIVE after the deadline.
  DWORD Wait(DWORD timeout_ms) {
    DWORD code = STILL_ACTIVE;
    if (::WaitForSingleObject(process_.hProcess, timeout_ms) == WAIT_OBJECT_0) {
      ::GetExitCodeProcess(process_.hProcess, &code);
      if (reader_.joinable()) reader_.join();
    }
    return code;
  }
  std::string Output() {
    std::lock_guard<std::mutex> hold(lock_);
    std::string text;
    for (char c : output_) {
      if (c != '\r') text += c;
    }
    return text;
  }

 private:
  PROCESS_INFORMATION process_{};
  HANDLE read_end_ = nullptr;
  std::thread reader_;
  std::mutex lock_;
  std::string output_;
};

// Answers the message boxes the page's windows open while the robot goes on, and remembers them.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(UiRobot &robot) : robot_(robot) {
    thread_ = std::thread([this] {
      while (!stop_) {
        for (HWND window : ThreadWindows(robot_.ui_thread())) {
          if (!::IsWindowVisible(window) || !is_message_box(window) || answered_.count(window) != 0) continue;
          answered_.insert(window);
          const std::wstring text = robot_.ItemText(window, 0xFFFF);
          {
            std::lock_guard<std::mutex> hold(lock_);
            texts_.push_back(text);
          }
          say("message box: " + console_text(text));
          if (!interactive()) {
            robot_.Screenshot(window, shot_name("box_" + std::to_string(answered_.size())));
            robot_.Click(window, ::GetDlgItem(window, IDOK) != nullptr ? IDOK : IDYES);
          }
        }
        ::Sleep(20);  // polling the window tree, as the robot's own waits do
      }
    });
  }
  ~BoxAnswerer() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::wstring> texts() {
    std::lock_guard<std::mutex> hold(lock_);
    return texts_;
  }

 private:
  UiRobot &robot_;
  std::atomic<bool> stop_{false};
  std::set<HWND> answered_;
  std::mutex lock_;
  std::vector<std::wstring> texts_;
  std::thread thread_;
};

class PageMainJob : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(port("pair"), 0) << "no relayd ports file (V7_RELAYD_PORTS)";
    ASSERT_FALSE(env("V7_PAGE_SCRIPT").empty()) << "V7_PAGE_SCRIPT names the page";
    // The phones' own validation cache.
    stepstest::write_relay_path_lists(stepstest::kCertDir);
    // The library's own folders, as the library in the page's process works them out.
    const char *data = lib_data_folder(), *base = user_base_folder(), *program_files = program_files_npki_folder();
    ASSERT_TRUE(data[0] != 0 && base[0] != 0 && program_files[0] != 0);
    roots_ = {fs::path(data), fs::path(base) / "NPKI", fs::path(program_files)};
    ASSERT_TRUE(tree(roots_, &before_)) << "the library's folders cannot be listed; nothing is touched";
    listed_ = true;

    // The revocation lists of the relay certificate's path, as an earlier validation cached them
    // (the directory server of the deployment is not reached from here).
    for (const stepstest::CachedList &list : stepstest::kRelayPathLists) {
      const fs::path file = fs::path(data) / "CRL" / list.file;
      const Bytes bytes = asn1test::read_fixture(list.fixture);
      std::error_code ec;
      if (fs::exists(file, ec)) {
        ASSERT_TRUE(same_bytes(file, bytes)) << file.string() << " holds another list; not replaced";
        continue;
      }
      fs::create_directories(file.parent_path(), ec);
      std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                 std::streamsize(bytes.size()));
      ASSERT_TRUE(same_bytes(file, bytes)) << "cannot write " << file.string();
    }

    // The keyboard-security module where an installation puts it.
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    ckapp_ = fs::path(std::wstring(system, n)) / L"CKApp.dll";
    const fs::path module = fs::path(env("V7_CKAPP_DIR")) / "complete" / "CKApp.dll";
    std::error_code ec;
    ASSERT_TRUE(fs::exists(module, ec)) << module.string();
    const Bytes ours = file_bytes(module);
    ASSERT_FALSE(ours.empty()) << module.string();
    if (!fs::exists(ckapp_, ec)) {
      ASSERT_TRUE(fs::copy_file(module, ckapp_, ec)) << ckapp_.string() << ": " << ec.message();
      placed_ckapp_ = true;
    } else {
      // One an interrupted run left is ours to remove; an installed one stays.
      placed_ckapp_ = same_bytes(ckapp_, ours);
    }
  }

  void TearDown() override {
    std::error_code ec;
    if (placed_ckapp_) fs::remove(ckapp_, ec);
    // What the run added, deepest first: the stored set, its folders, the lists cached above.
    std::set<fs::path> after;
    if (!listed_ || !tree(roots_, &after)) return;
    for (auto it = after.rbegin(); it != after.rend(); ++it) {
      if (before_.count(*it) == 0) fs::remove(*it, ec);
    }
  }

  // The files the run added whose name is name.
  std::vector<fs::path> added(const std::string &name) const {
    std::vector<fs::path> found;
    std::set<fs::path> now;
    tree(roots_, &now);
    for (const fs::path &p : now) {
      if (before_.count(p) == 0 && p.filename() == name) found.push_back(p);
    }
    return found;
  }

  std::vector<fs::path> roots_;
  std::set<fs::path> before_;
  bool listed_ = false;
  fs::path ckapp_;
  bool placed_ckapp_ = false;
};

// From the media page to the last status page, storing on the hard disk under the phone's password.
void store_on_hard_disk(UiRobot &robot, HWND sheet) {
  HWND media = shot(robot, sheet, IDC_MEDIA_LIST, "receive_4_media");
  ASSERT_NE(media, nullptr);
  HWND list = ::GetDlgItem(media, IDC_MEDIA_LIST);
  v7test::RemoteListView items(list);
  ASSERT_TRUE(items.ok());
  int hard_disk = -1;
  ASSERT_TRUE(robot.WaitUntil([&] {
    hard_disk = items.Find([&](int i) { return items.Param(i) == v7::pages::kIconHardDisk; });
    return hard_disk >= 0;
  }));
  ASSERT_TRUE(items.Select(hard_disk));
  robot.PressKey(list, VK_SPACE);
  ASSERT_TRUE(robot.WaitUntil([&] { return button_enabled(sheet, ID_WIZNEXT); }));
  robot.Screenshot(sheet, shot_name("receive_4_media_chosen"));
  robot.Click(sheet, ID_WIZNEXT);

  HWND password = shot(robot, sheet, IDC_PWR_PHONE_EDIT, "receive_5_password");
  ASSERT_NE(password, nullptr);
  const std::string pw = stepstest::kPassword;
  robot.SetItemText(password, IDC_PWR_PHONE_EDIT, std::wstring(pw.begin(), pw.end()));
  ASSERT_TRUE(robot.WaitUntil([&] { return button_enabled(sheet, ID_WIZNEXT); }));
  robot.Screenshot(sheet, shot_name("receive_5_password_typed"));
  robot.Click(sheet, ID_WIZNEXT);

  ASSERT_NE(shot(robot, sheet, IDC_STATUS_HEADING, "receive_6_storing"), nullptr);
  ASSERT_TRUE(robot.WaitUntil([&] { return button_enabled(sheet, ID_WIZFINISH); }, 60000));
}

TEST_F(PageMainJob, AReceiveFromAPhoneThenASendOfThatSetToAnother) {
  const bool person = interactive();
  const std::string script = env("V7_PAGE_SCRIPT");
  Page page;
  say(std::string("the page opens (") + (korean() ? "Korean" : "English") + "): " + script);
  ASSERT_TRUE(page.Start(std::wstring(script.begin(), script.end()), korean() ? L"ko" : L"en"));
  UiRobot robot(page.ui_thread());
  BoxAnswerer boxes(robot);
  const DWORD step_ms = person ? kPersonMs : 30000;

  // ---- Receive (kind 1: registration number, 8-digit code) ----
  Phone sender(1, kRelayTransportRaw);
  HWND sheet = find_sheet(robot, person ? kPersonMs : kFirstWindowMs);
  ASSERT_NE(sheet, nullptr) << "no wizard; the page said:\n" << page.Output();
  say("receive: the wizard opens; the phone sends the test user's certificate set");
  HWND number = shot(robot, sheet, IDC_SSN_RESIDENT1, "receive_1_number");
  ASSERT_NE(number, nullptr);
  if (person) {
    say("receive: type the number 800101-1234567 and press Next");
  } else {
    type_number(robot, number);
    robot.Screenshot(sheet, shot_name("receive_1_number_typed"));
    ASSERT_TRUE(press(robot, sheet, ID_WIZNEXT));
  }
  HWND code_page = shot(robot, sheet, IDC_CODE_GROUP1, "receive_2_code_waiting", step_ms);
  ASSERT_NE(code_page, nullptr);
  const std::string code = shown_code(robot, code_page, step_ms);
  ASSERT_EQ(code.size(), 8u);
  if (!person) robot.Screenshot(sheet, shot_name("receive_2_code"));
  say("receive: the wizard shows the code " + code + ", which the phone types");
  sender.send(code);
  ASSERT_NE(shot(robot, sheet, IDC_CERT_DN_SUBJECT, "receive_3_subject", 60000), nullptr);
  if (person) {
    say("receive: check the subject name, choose the hard disk, give the phone's password " +
        std::string(stepstest::kPassword) + " and finish");
  } else {
    ASSERT_TRUE(press(robot, sheet, ID_WIZNEXT));
    store_on_hard_disk(robot, sheet);
    robot.Screenshot(sheet, shot_name("receive_7_done"));
    robot.Click(sheet, ID_WIZFINISH);
  }
  ASSERT_TRUE(robot.WaitGone(sheet, step_ms));
  sender.join();
  EXPECT_EQ(sender.result_.code, 0) << sender.result_.where << ": " << sender.result_.text;
  const std::vector<fs::path> stored = added("signCert.der");
  ASSERT_EQ(stored.size(), 1u) << "the receive stored no set, or more than one";
  EXPECT_TRUE(same_bytes(stored[0], asn1test::read_fixture("pki/signCert.der"))) << stored[0].string();
  say("receive: the set is stored in " + stored[0].parent_path().string());

  // ---- Send (kind 5: 12-digit code typed from the phone) ----
  PhoneRecipient recipient(3, kRelayTransportRaw);
  HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS, nullptr, step_ms);
  ASSERT_NE(dialog, nullptr) << "no selection dialog; the page said:\n" << page.Output();
  say("send: the selection dialog lists the hard disk, where the set was just stored");
  HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
  v7test::RemoteListView certs(list);
  ASSERT_TRUE(certs.ok());
  int ours = -1;
  ASSERT_TRUE(robot.WaitUntil([&] {
    ours = certs.Find([&](int i) {
      for (int column = 0; column < 4; ++column) {
        if (certs.Text(i, column).find(L"Hong Gildong") != std::wstring::npos) return true;
      }
      return false;
    });
    return ours >= 0;
  }, step_ms)) << "the stored certificate is not listed";
  if (person) {
    say("send: choose the certificate of Hong Gildong, type its password " + std::string(stepstest::kPassword) +
        " and press OK");
  } else {
    ASSERT_TRUE(certs.Select(ours));
    ASSERT_TRUE(robot.WaitUntil([&] { return ::SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }));
    robot.Screenshot(dialog, shot_name("send_0_selection"));
    const std::string pw = stepstest::kPassword;
    robot.SetItemText(dialog, IDC_SELECT_PASSWORD, std::wstring(pw.begin(), pw.end()));
    robot.Screenshot(dialog, shot_name("send_0_selection_password"));
    robot.Click(dialog, IDOK);
  }
  sheet = find_sheet(robot, step_ms);
  ASSERT_NE(sheet, nullptr) << "no wizard after the selection; the page said:\n" << page.Output();
  HWND send_code = shot(robot, sheet, IDC_AN_GROUP3, "send_1_code");
  ASSERT_NE(send_code, nullptr);
  ASSERT_TRUE(robot.WaitUntil([&] { return recipient.has_code_.load(); }, 30000));
  const std::string code12 = recipient.code();
  ASSERT_EQ(code12.size(), 12u) << recipient.result_.where << ": " << recipient.result_.text;
  say("send: the phone shows the code " + code12 + (person ? "; type it and press Next" : ""));
  if (!person) {
    type_code12(robot, send_code, code12);
    robot.Screenshot(sheet, shot_name("send_1_code_typed"));
    ASSERT_TRUE(press(robot, sheet, ID_WIZNEXT));
    ASSERT_NE(shot(robot, sheet, IDC_STATUS_HEADING, "send_2_sending"), nullptr);
    ASSERT_TRUE(robot.WaitUntil([&] { return button_enabled(sheet, ID_WIZFINISH); }, 60000));
    robot.Screenshot(sheet, shot_name("send_3_done"));
    robot.Click(sheet, ID_WIZFINISH);
  }
  ASSERT_TRUE(robot.WaitGone(sheet, step_ms));
  recipient.join();

  // ---- What the page learnt, and what the phone got ----
  const DWORD exit_code = page.Wait(60000);
  const std::string said = page.Output();
  std::printf("%s", said.c_str());
  EXPECT_EQ(said, "receive: 0\nsend: 0\n");
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(recipient.result_.code, 0) << recipient.result_.where << ": " << recipient.result_.text;
  EXPECT_EQ(stepstest::kept(recipient.session_.get(), kRelayItemSignCert),
            asn1test::read_fixture("pki/signCert.der"));
  // Choosing the hard disk warns once that it is not a safe medium; nothing else asks or fails.
  EXPECT_EQ(boxes.texts().size(), 1u) << "message boxes opened during the job";
}

// The person closes the wizard on its first page: the library answers 21500, which the page must
// learn as a failure like any other (-1), and nothing is stored.
TEST_F(PageMainJob, AReceiveCancelledOnItsFirstPageReachesThePageAsAFailure) {
  const std::string script = env("V7_PAGE_SCRIPT");
  Page page;
  ASSERT_TRUE(page.Start(std::wstring(script.begin(), script.end()), korean() ? L"ko" : L"en"));
  UiRobot robot(page.ui_thread());
  BoxAnswerer boxes(robot);
  HWND sheet = find_sheet(robot, kFirstWindowMs);
  ASSERT_NE(sheet, nullptr) << "no wizard; the page said:\n" << page.Output();
  ASSERT_NE(shot(robot, sheet, IDC_SSN_RESIDENT1, "cancel_1_number"), nullptr);
  robot.Click(sheet, IDCANCEL);
  ASSERT_TRUE(robot.WaitGone(sheet, 30000));
  EXPECT_EQ(page.Wait(60000), 1u);
  EXPECT_EQ(page.Output(), "receive: -1\nsend: -1\n");
  EXPECT_TRUE(added("signCert.der").empty());
}

}  // namespace
