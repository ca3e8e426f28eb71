// What the selection dialog's robot tests share: an NPKI store of the test PKI's holders, the
// hooks that put it in a test profile, reading the dialog's lists from the robot's thread, and the
// settings the dialog writes.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "media/registry_settings.h"
#include "media/selection_record.h"
#include "pki/errors/error_ctx.h"
#include "platform/clock/clock.h"
#include "platform/fs/fs.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "tests/harness/vectors.h"
#include "tests/media/cert_builder.h"
#include "tests/media/npki_test_hooks.h"
#include "tests/ui/robot.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/records/request_record.h"
#include "wizard/res/select_ids.h"
#include "wizard/res/small_dialogs_ids.h"
#include "wizard/select/cert_list.h"

namespace selectrobot {

namespace fs = std::filesystem;
using v7test::UiRobot;

inline constexpr char kPassword[] = "Fixture1!";
// The settings subkey of the test program: each program has its own, so that programs running at
// the same time never clear or read each other's settings.
inline constexpr char kSubkey[] = "velmoraSelectTest." V7_TEST_NAME;

inline void delete_settings() {
  const std::string key = std::string("SOFTWARE\\AppDataLow\\Software\\TAVN\\velmora7\\") + kSubkey;
  RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
}
inline const std::string kHong = "cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR";
inline const std::string kKim = "cn=Kim Cheolsu()0009876543210987,ou=Users,o=Test,c=KR";
inline const std::string kRenew = "cn=Lee Renewal()0005555,ou=personal4IB,o=velmora,c=KR";
inline const std::string kExpired = "cn=Path Expired,ou=Users,o=PathCA,c=KR";

// 2049-12-20 12:00 UTC: the velmora certificate (ending 2049-12-31) is due for renewal, the
// path fixture (2025) has expired.
inline int64_t test_now() { return 2523528000; }

inline std::vector<std::wstring> g_boxes;

inline int answer_box(const char16_t *text, const char16_t *, unsigned) {
  g_boxes.push_back(reinterpret_cast<const wchar_t *>(text));
  return IDOK;
}
inline int answer_narrow_box(const char *, const char *, unsigned) { return IDOK; }
inline int open_nothing(const char16_t *) { return 0; }

inline void put(const fs::path &file, const v7test::Bytes &data) {
  fs::create_directories(file.parent_path());
  FILE *f = _wfopen(file.wstring().c_str(), L"wb");
  ASSERT_NE(f, nullptr) << file.string();
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
}

inline v7test::Bytes fixture(const char *name) {
  FILE *f = fopen(v7test::fixtures_path(std::string("pki/") + name).c_str(), "rb");
  v7test::Bytes out;
  if (f == nullptr) return out;
  int c;
  while ((c = fgetc(f)) != EOF) out.push_back(uint8_t(c));
  fclose(f);
  return out;
}

// A certificate of the service's own CA: only such a one gets the expiry warning.
inline v7test::Bytes renewal_cert() {
  certtest::CertSpec spec;
  spec.issuer = {{"c", "KR"}, {"o", "velmora"}, {"ou", "AccreditedCA"}, {"cn", "velmora CA"}};
  spec.subject = {{"c", "KR"}, {"o", "velmora"}, {"ou", "personal4IB"}, {"cn", "Lee Renewal()0005555"}};
  return certtest::certificate(spec);
}

// The NPKI holders of a store: the signing pairs (Hong's with its key-management pair).
inline void put_store(const fs::path &npki) {
  const fs::path hong = npki / "TestCA" / "USER" / kHong;
  put(hong / "signCert.der", fixture("signCert.der"));
  put(hong / "signPri.key", fixture("signPri.key"));
  put(hong / "kmCert.der", fixture("kmCert.der"));
  put(hong / "kmPri.key", fixture("kmPri.key"));
  put(npki / "Test" / "USER" / kKim / "signCert.der", fixture("user2_sign.der"));
  put(npki / "Test" / "USER" / kKim / "signPri.key", fixture("user2_signPri.key"));
  put(npki / "velmora" / "USER" / kRenew / "signCert.der", renewal_cert());
  put(npki / "velmora" / "USER" / kRenew / "signPri.key", fixture("signPri.key"));
  put(npki / "PathCA" / "USER" / kExpired / "signCert.der", fixture("path_expired.der"));
  put(npki / "PathCA" / "USER" / kExpired / "signPri.key", fixture("signPri.key"));
}

inline std::string narrow_utf8(const std::wstring &w) {
  char out[1024] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out, sizeof out - 1, nullptr, nullptr);
  return out;
}

inline std::string narrow(const std::wstring &w) {
  std::string out;
  for (wchar_t c : w) out += c < 0x80 ? char(c) : '?';
  return out;
}

// What the list shows, row by row: "image|type|subject|expiry|issuer".
inline std::vector<std::string> rows_of(HWND list) {
  std::vector<std::string> rows;
  const int n = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < n; ++row) {
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    ::SendMessageW(list, LVM_GETITEMW, 0, LPARAM(&item));
    std::string line = std::to_string(item.iImage);
    for (int column = 0; column < 4; ++column) {
      wchar_t text[256] = {};
      LVITEMW sub = {};
      sub.iSubItem = column;
      sub.pszText = text;
      sub.cchTextMax = 256;
      ::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), LPARAM(&sub));
      line += "|" + narrow(text);
    }
    rows.push_back(line);
  }
  return rows;
}

inline std::wstring column_title(HWND list, int column) {
  wchar_t text[64] = {};
  LVCOLUMNW c = {};
  c.mask = LVCF_TEXT | LVCF_WIDTH;
  c.pszText = text;
  c.cchTextMax = 64;
  ::SendMessageW(list, LVM_GETCOLUMNW, WPARAM(column), LPARAM(&c));
  return std::wstring(text) + L"/" + std::to_wstring(c.cx);
}

inline int row_of(HWND list, const std::string &cn) {
  const std::vector<std::string> rows = rows_of(list);
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].find("|" + cn + "|") != std::string::npos) return int(i);
  return -1;
}

inline void select_row(HWND list, int row) {
  LVITEMW state = {};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), LPARAM(&state));
}

inline int visible_tips(DWORD thread) {
  int n = 0;
  for (HWND w : v7test::ThreadWindows(thread))
    if (v7test::ClassName(w) == L"CPPToolTip" && ::IsWindowVisible(w)) ++n;
  return n;
}

inline std::string setting(const char *name) {
  char *value = nullptr;
  if (reg_read_value(kSubkey, name, &value) != 0 || value == nullptr) return "(none)";
  std::string out = value;
  free(value);
  return out;
}

// Waits for the error dialog, reads its summary and closes it.
inline std::wstring close_error_dialog(UiRobot &robot, HWND over) {
  HWND error = robot.WaitForDialogWithControl(IDC_ERROR_SUMMARY, over);
  if (error == nullptr) return L"(no error dialog)";
  const std::wstring summary = robot.ItemText(error, IDC_ERROR_SUMMARY);
  robot.Click(error, IDOK);
  robot.WaitGone(error);
  return summary;
}

// What a real message box shows: its caption, its text, the ids of its buttons, how many icons
// it shows and its owner.
struct BoxSeen {
  std::wstring caption, text;
  std::vector<int> buttons;
  int icons = 0;
  HWND owner = nullptr;
};

inline BOOL CALLBACK collect_child(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND> *>(list)->push_back(child);
  return TRUE;
}

// A message box of the thread: a dialog with the box's text control, none of the selection dialog.
inline bool is_message_box(HWND window) {
  return v7test::ClassName(window) == L"#32770" && ::GetDlgItem(window, 0xFFFF) != nullptr &&
         ::GetDlgItem(window, IDC_SELECT_CERTS) == nullptr;
}

// Waits for a message box over the thread's windows, reads it and answers OK (the only button it
// should have); an empty caption and text "(no box)" when none came.
inline BoxSeen answer_message_box(UiRobot &robot) {
  BoxSeen seen;
  HWND box = robot.WaitForWindow(is_message_box);
  if (box == nullptr) {
    seen.text = L"(no box)";
    return seen;
  }
  seen.caption = robot.Text(box);
  seen.text = robot.Text(::GetDlgItem(box, 0xFFFF));
  seen.owner = ::GetWindow(box, GW_OWNER);
  std::vector<HWND> children;
  ::EnumChildWindows(box, collect_child, LPARAM(&children));
  for (HWND child : children) {
    if (!::IsWindowVisible(child)) continue;
    const std::wstring kind = v7test::ClassName(child);
    if (kind == L"Button") seen.buttons.push_back(::GetDlgCtrlID(child));
    if (kind == L"Static" && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        ::SendMessageW(child, STM_GETICON, 0, 0) != 0)
      ++seen.icons;
  }
  robot.Click(box, IDOK);
  robot.WaitGone(box);
  return seen;
}

// The NPKI hooks' folders, and a documents folder for the broker's file choice.
inline const FsFolderHooks *folder_hooks() {
  static const FsFolderHooks hooks = {
      [](char16_t *out, size_t cap) { return npkitest::answer(std::u16string(u"C:\\Windows"), out, cap); },
      [](char *out, size_t cap) { return npkitest::answer(std::string("C:\\Windows"), out, cap); },
      [](int csidl, char16_t *out, size_t cap) {
        return (csidl == kShellFolderProfile || csidl == kShellFolderDocuments) &&
               npkitest::answer(npkitest::profile().u16string(), out, cap);
      },
      [](int csidl, char *out, size_t cap) {
        return (csidl == kShellFolderProfile || csidl == kShellFolderDocuments) &&
               npkitest::answer(npkitest::profile().string(), out, cap);
      },
  };
  return &hooks;
}

// Each case answers the boxes and the page opener, fixes the clock and starts from no settings.
inline void begin_case(RelayRequestRecord *request) {
  g_boxes.clear();
  v7::set_message_box_hook_w(answer_box);
  v7::set_message_box_hook(answer_narrow_box);
  v7::dialogs::set_web_page_opener(open_nothing);
  platform_set_clock_hook(test_now);
  delete_settings();
  memset(request, 0, sizeof *request);
  request->media_bits = 0x20B;
  snprintf(request->settings_subkey, sizeof request->settings_subkey, "%s", kSubkey);
  snprintf(request->banner, sizeof request->banner, "BITMAP_VELMORA_RELAY");
}

inline void end_case() {
  v7::set_message_box_hook_w(nullptr);
  v7::set_message_box_hook(nullptr);
  v7::dialogs::set_web_page_opener(nullptr);
  platform_set_clock_hook(nullptr);
  set_language_id(kLanguageKorean);
  set_char_encoding_mode(0);
}

inline std::unique_ptr<CCertSelect> select_for(const RelayRequestRecord *request) {
  ERROR_CTX *errors = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
  return std::unique_ptr<CCertSelect>(new CCertSelect(CertListCreate(errors, request), errors));
}

}  // namespace selectrobot
