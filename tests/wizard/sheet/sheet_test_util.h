// What the wizard's tests under Wine share: message boxes answered through their seam, the test
// keyboard-security module, finding the sheet and its pages through the robot, and the fixture that
// points the controller at the test relay server.
#pragma once

#include <winsock2.h>  // before any windows.h, which it brings in

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version_query.h"
#include "platform/ui/message_box.h"
#include "tests/modules/ckapp/ckapp_test_setup.h"
#include "tests/relay/controller/fake_sheet.h"
#include "tests/relay/controller/relayd_seams.h"
#include "tests/relay/steps/steps_test_util.h"
#include "tests/ui/robot.h"
#include "wizard/keycrypt/key_crypt_sub.h"
#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace sheettest {

using controllertest::Bytes;
using controllertest::port;
using v7::pages::SheetPage;
using v7::sheet::CSheetCertRelay;
using v7::sheet::MediaMask;
using v7test::RunWithRobot;
using v7test::UiRobot;

// ---- Message boxes and the test keyboard-security module ----

struct Boxes {
  std::mutex lock;
  std::vector<std::wstring> texts;
  std::atomic<int> answer{IDYES};
  std::atomic<int> count{0};
};
inline Boxes g_boxes;

inline int answer_box(const char16_t *text, const char16_t *, unsigned) {
  std::lock_guard<std::mutex> hold(g_boxes.lock);
  g_boxes.texts.push_back(text != nullptr ? reinterpret_cast<const wchar_t *>(text) : L"");
  g_boxes.count++;
  return g_boxes.answer;
}
inline int answer_narrow_box(const char *, const char *, unsigned) { return IDOK; }

inline CKAppTestState g_ckapp;

inline std::wstring pair_text(UINT id, bool korean) {
  return v7::classlib::LoadText(korean ? id : id + 1);
}

inline size_t box_count() { return size_t(g_boxes.count.load()); }
inline std::wstring last_box() {
  std::lock_guard<std::mutex> hold(g_boxes.lock);
  return g_boxes.texts.empty() ? L"" : g_boxes.texts.back();
}

// ---- Finding the sheet and its pages ----

inline HWND find_sheet(UiRobot &robot, DWORD timeout_ms = 15000) {
  return robot.WaitForWindow(
      [](HWND w) { return v7test::ClassName(w) == L"#32770" && ::GetDlgItem(w, ID_WIZNEXT) != nullptr; },
      timeout_ms);
}

inline HWND current_page(HWND sheet) {
  DWORD_PTR page = 0;
  ::SendMessageTimeoutW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_NORMAL, 5000, &page);
  return HWND(page);
}

// Waits until the page on show holds control id; null after the deadline.
inline HWND wait_page(UiRobot &robot, HWND sheet, int id, DWORD timeout_ms = 15000) {
  HWND page = nullptr;
  robot.WaitUntil(
      [&] {
        page = current_page(sheet);
        return page != nullptr && ::GetDlgItem(page, id) != nullptr && ::IsWindowVisible(page);
      },
      timeout_ms);
  return page != nullptr && ::GetDlgItem(page, id) != nullptr ? page : nullptr;
}

inline HICON shown_icon(HWND status_page) {
  DWORD_PTR icon = 0;
  ::SendMessageTimeoutW(::GetDlgItem(status_page, IDC_STATUS_ICON), STM_GETICON, 0, 0, SMTO_NORMAL, 5000, &icon);
  return HICON(icon);
}

inline bool button_enabled(HWND sheet, int id) {
  HWND b = ::GetDlgItem(sheet, id);
  return b != nullptr && ::IsWindowVisible(b) && ::IsWindowEnabled(b);
}

// The sheet once it shows its first page, and that page (which holds control id); nulls after the
// deadline.
inline HWND wait_first_page(UiRobot &robot, int id, HWND *sheet) {
  *sheet = find_sheet(robot);
  return *sheet != nullptr ? wait_page(robot, *sheet, id) : nullptr;
}

inline bool press(UiRobot &robot, HWND sheet, int id) {
  if (!robot.WaitUntil([&] { return button_enabled(sheet, id); })) return false;
  robot.Click(sheet, id);
  return true;
}

inline std::string narrow(const std::wstring &w) {
  std::string out;
  for (wchar_t c : w) out += c < 0x80 ? char(c) : '?';
  return out;
}
// ---- The fixture ----

class SheetUi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ckapptest::use_variant("complete", &g_ckapp); }
  static void TearDownTestSuite() { v7::keycrypt::KeyCryptSetModuleFolder(nullptr); }

  void SetUp() override {
    ASSERT_NE(port("pair"), 0) << "no relayd ports file (V7_RELAYD_PORTS)";
    {
      std::lock_guard<std::mutex> hold(g_boxes.lock);
      g_boxes.texts.clear();
      g_boxes.count = 0;
      g_boxes.answer = IDYES;
    }
    v7::set_message_box_hook_w(answer_box);
    v7::set_message_box_hook(answer_narrow_box);
    controllertest::use_test_relayd();
  }
  void TearDown() override {
    controllertest::release_test_relayd();
    v7::set_message_box_hook_w(nullptr);
    v7::set_message_box_hook(nullptr);
    set_language_id(kLanguageKorean);
    set_char_encoding_mode(0);
  }
};
}  // namespace sheettest
