// The end of a receive through the wizard: the robot chooses a medium on the media page, answers
// the password page and waits for the last status page; afterwards the stored set is read back
// through the media's certificate lists.
#pragma once

#include "tests/wizard/sheet/sheet_test_util.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "media/certlist.h"
#include "pki/asn1/asn1.h"
#include "pki/text/file_broker.h"
#include "tests/modules/broker/standin_broker.h"
#include "wizard/pages/media_logic.h"
#include "wizard/pages/page_media.h"
#include "wizard/res/media_pages_ids.h"

namespace sheettest {

// Writes outside the low-integrity area go through the protected-mode broker; here its stand-in,
// which makes the folders and writes the files the store asks for. Set for the test's duration.
class BrokerScope {
 public:
  BrokerScope() {
    broker_set_factory(StandinFactory::make);
    set_file_broker(broker_file_broker());
  }
  ~BrokerScope() {
    set_file_broker(nullptr);
    broker_set_factory(nullptr);
  }
};

// While alive, the hard disk's store lies where only the broker writes, so that a broker that
// refuses refuses the hard disk.
class BrokerOnlyHardDisk {
 public:
  BrokerOnlyHardDisk() { relaytest::set_profile_for_writes(true); }
  ~BrokerOnlyHardDisk() { relaytest::set_profile_for_writes(false); }
  BrokerOnlyHardDisk(const BrokerOnlyHardDisk &) = delete;
  BrokerOnlyHardDisk &operator=(const BrokerOnlyHardDisk &) = delete;
};

// What the robot does on the media and password pages.
struct StoreStep {
  int icon = v7::pages::kIconHardDisk;  // the medium chosen
  char drive = 0;                       // removable: the drive letter the menu offers
  const char *new_password = nullptr;   // set: the check box and a new password for the PC copy
  std::string screenshots;              // set: the pages are saved under this suffix
  bool by_mouse = false;                // the item is clicked, not chosen by the keyboard
  bool first_visit = true;              // the page is new: nothing is chosen on it yet
  unsigned menu_command = 0;            // set: the command a menu is answered with
  std::function<void(UiRobot &)> answer;  // set: answers what the choice asks (a PIN, say)
  // set: answers what the store behind the password page shows before the last status page (a
  // notice, say)
  std::function<void(UiRobot &)> answer_store;
};

// What the robot saw on the way.
struct StoreSeen {
  std::vector<int> items;                // the media list's icons
  std::vector<std::wstring> menu;        // the drive menu's texts
  std::wstring select_text;              // the media page's instruction
  std::wstring removable_text;           // the removable item's text once a drive was chosen
  std::wstring password_description;     // the password page's description
  std::wstring check_text;
  bool password_page = false;            // the password page was shown
  std::string missing_glyphs;
  std::wstring heading, text;            // of the last status page
};

// The drive menu answers with the command of this letter (0: nothing chosen).
inline char g_menu_drive = 0;
inline unsigned g_menu_command = 0;
inline std::vector<std::wstring> g_menu_texts;
inline unsigned choose_from_menu(HMENU menu, HWND, POINT) {
  g_menu_texts.clear();
  unsigned chosen = 0;
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    wchar_t text[128] = {};
    ::GetMenuStringW(menu, UINT(i), text, 128, MF_BYPOSITION);
    g_menu_texts.push_back(text);
    const unsigned id = ::GetMenuItemID(menu, i);
    if (g_menu_drive != 0 && text[0] == wchar_t(g_menu_drive)) chosen = id;
    if (g_menu_command != 0 && id == g_menu_command) chosen = id;
  }
  return chosen;
}

inline int item_of(const std::vector<int> &icons, int icon) {
  for (size_t i = 0; i < icons.size(); ++i) {
    if (icons[i] == icon) return int(i);
  }
  return -1;
}

// Selects the item and presses the space bar on the list, as a user choosing by keyboard.
inline void choose_item(UiRobot &robot, HWND page, int item) {
  HWND list = ::GetDlgItem(page, IDC_MEDIA_LIST);
  LVITEMW state = {};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(item), LPARAM(&state));
  robot.PressKey(list, VK_SPACE);
}

// Clicks the item's centre with the left button, as a user choosing by mouse.
inline void click_item(HWND page, int item) {
  HWND list = ::GetDlgItem(page, IDC_MEDIA_LIST);
  RECT area = {};
  area.left = LVIR_BOUNDS;
  ::SendMessageW(list, LVM_GETITEMRECT, WPARAM(item), LPARAM(&area));
  const LPARAM at = MAKELPARAM((area.left + area.right) / 2, (area.top + area.bottom) / 2);
  ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(list, WM_LBUTTONUP, 0, at);
}

inline std::vector<int> list_icons(HWND page) {
  HWND list = ::GetDlgItem(page, IDC_MEDIA_LIST);
  std::vector<int> icons;
  const int count = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = i;
    ::SendMessageW(list, LVM_GETITEMW, 0, LPARAM(&item));
    icons.push_back(int(item.lParam));
  }
  return icons;
}

inline std::wstring item_text(HWND page, int item) {
  // The text goes through a buffer of the robot's process, which is the UI thread's too.
  wchar_t text[128] = {};
  LVITEMW get = {};
  get.iSubItem = 0;
  get.pszText = text;
  get.cchTextMax = 128;
  ::SendMessageW(::GetDlgItem(page, IDC_MEDIA_LIST), LVM_GETITEMTEXTW, WPARAM(item), LPARAM(&get));
  return text;
}

// From the media page (on show or about to be) to the last status page. With the sheet, the robot
// presses Next once the page itself holds the choice, through the sheet rather than the button:
// on a second visit the button is still on from the first choice while the new one is made, and
// goes off and on again on its way.
inline void store_through_pages(UiRobot &robot, HWND window, const StoreStep &step, bool korean, StoreSeen *seen,
                                const CSheetCertRelay *sheet = nullptr) {
  HWND media = wait_page(robot, window, IDC_MEDIA_LIST);
  ASSERT_NE(media, nullptr);
  seen->items = list_icons(media);
  seen->select_text = robot.ItemText(media, IDC_MEDIA_SELECT);
  // Nothing is chosen yet: Next waits.
  if (step.first_visit) {
    EXPECT_TRUE(robot.WaitUntil([&] { return !button_enabled(window, ID_WIZNEXT); }));
  }
  if (!step.screenshots.empty()) {
    EXPECT_TRUE(robot.Screenshot(window, "sheet_media_" + step.screenshots));
    seen->missing_glyphs += robot.MissingGlyphs(media);
  }
  const int item = item_of(seen->items, step.icon);
  ASSERT_GE(item, 0);
  g_menu_drive = step.drive;
  g_menu_command = step.menu_command;
  v7::pages::set_popup_menu_chooser(choose_from_menu);
  if (step.by_mouse) {
    click_item(media, item);
  } else {
    choose_item(robot, media, item);
  }
  if (step.answer) step.answer(robot);
  if (sheet != nullptr) {
    const auto *page = static_cast<const v7::pages::CPageMedia *>(sheet->Page(SheetPage::Media));
    uint32_t kind = 0;
    for (const v7::pages::MediumItem &m : v7::pages::media_items(0xFFFFFFFFu)) {
      if (m.icon == step.icon) kind = m.kind;
    }
    ASSERT_TRUE(robot.WaitUntil([&] { return page->Ready() && page->Kind() == kind; }));
  } else {
    ASSERT_TRUE(robot.WaitUntil([&] { return button_enabled(window, ID_WIZNEXT); }));
  }
  v7::pages::set_popup_menu_chooser(nullptr);
  seen->menu = g_menu_texts;
  if (step.icon == v7::pages::kIconRemovable) seen->removable_text = item_text(media, item);
  if (!step.screenshots.empty() && step.icon == v7::pages::kIconRemovable) {
    EXPECT_TRUE(robot.Screenshot(window, "sheet_media_removable_" + step.screenshots));
  }
  if (sheet != nullptr) {
    ::PostMessageW(window, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
  } else {
    robot.Click(window, ID_WIZNEXT);
  }

  // The password page, unless the set was stored at once; then the last status page.
  HWND page = nullptr;
  ASSERT_TRUE(robot.WaitUntil([&] {
    page = current_page(window);
    return page != nullptr && page != media &&
           (::GetDlgItem(page, IDC_PWR_CHECK) != nullptr || ::GetDlgItem(page, IDC_STATUS_HEADING) != nullptr);
  }));
  if (::GetDlgItem(page, IDC_PWR_CHECK) != nullptr) {
    seen->password_page = true;
    seen->password_description = robot.ItemText(page, IDC_PWR_DESCRIPTION);
    seen->check_text = robot.ItemText(page, IDC_PWR_CHECK);
    // The phone's password is asked for on every medium; Next waits for it.
    EXPECT_TRUE(robot.WaitUntil([&] { return !button_enabled(window, ID_WIZNEXT); }));
    const std::wstring phone(stepstest::kPassword, stepstest::kPassword + strlen(stepstest::kPassword));
    robot.SetItemText(page, IDC_PWR_PHONE_EDIT, phone);
    if (step.new_password != nullptr) {
      robot.Click(page, IDC_PWR_CHECK);
      EXPECT_TRUE(robot.WaitUntil([&] { return robot.Enabled(page, IDC_PWR_NEW_EDIT); }));
      const std::wstring fresh(step.new_password, step.new_password + strlen(step.new_password));
      robot.SetItemText(page, IDC_PWR_NEW_EDIT, fresh);
      robot.SetItemText(page, IDC_PWR_CONFIRM_EDIT, fresh);
    }
    EXPECT_TRUE(robot.WaitUntil([&] { return button_enabled(window, ID_WIZNEXT); }));
    if (!step.screenshots.empty()) {
      EXPECT_TRUE(robot.Screenshot(window, "sheet_password_" + step.screenshots));
      seen->missing_glyphs += robot.MissingGlyphs(page);
    }
    robot.Click(window, ID_WIZNEXT);
    if (step.answer_store) step.answer_store(robot);
  }
  HWND status = nullptr;
  ASSERT_TRUE(robot.WaitUntil([&] {
    status = current_page(window);
    return status != nullptr && ::GetDlgItem(status, IDC_STATUS_HEADING) != nullptr &&
           robot.ItemText(status, IDC_STATUS_HEADING) != pair_text(IDS_STATUS_RUNNING, korean) &&
           button_enabled(window, ID_WIZFINISH);
  }, 30000));
  seen->heading = robot.ItemText(status, IDC_STATUS_HEADING);
  seen->text = robot.ItemText(status, IDC_STATUS_TEXT);
}

using stepstest::key_opens;

// The stored set as the medium's certificate list reads it back: the signing certificate and
// key, the key-management certificate and key of the entry whose subject the certificate names.
struct StoredSet {
  bool found = false;
  Bytes sign_cert, sign_key, km_cert, km_key;
};
inline StoredSet read_back(uint32_t media_code, const void *medium, const Bytes &sign_cert) {
  StoredSet out;
  CERT_ENTRY *wanted = nullptr;
  if (certentry_from_der(sign_cert.data(), sign_cert.size(), &wanted) != 1) return out;
  auto *list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
  for (CERT_ENTRY *e = certlist_load(list, media_code, medium); e != nullptr; e = e->next) {
    if (e->subject_dn == nullptr || strcmp(e->subject_dn, wanted->subject_dn) != 0) continue;
    out.found = true;
    auto part = [&](size_t (*reader)(const CERT_ENTRY *, uint8_t **)) {
      uint8_t *bytes = nullptr;
      const size_t n = reader(e, &bytes);
      Bytes b = bytes != nullptr ? Bytes(bytes, bytes + n) : Bytes();
      free(bytes);
      return b;
    };
    out.sign_cert = part(cert_read_sign_cert);
    out.sign_key = part(cert_read_sign_key);
    out.km_cert = part(cert_read_km_cert);
    out.km_key = part(cert_read_km_key);
    break;
  }
  certlist_free(list);
  free(list);
  certentry_free(wanted);
  return out;
}

}  // namespace sheettest
