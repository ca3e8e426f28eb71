// The robot's steps on the pages of a kind-1 receive and a kind-5 send, shared by the exports'
// tests and the demo of the main job.
#pragma once

#include <string>

#include "tests/wizard/sheet/sheet_test_util.h"
#include "wizard/res/sender_pages_ids.h"

namespace sheettest {

// Types the test user's registration number (the holder of the phone's set) on the first page.
inline void type_number(UiRobot &robot, HWND page) {
  robot.SetItemText(page, IDC_SSN_RESIDENT1, L"800101");
  robot.SetItemText(page, IDC_SSN_RESIDENT2, L"1234567");
}

// The 8-character code of the code display page once both groups show; empty after the deadline.
inline std::string shown_code(UiRobot &robot, HWND code_page, DWORD timeout_ms) {
  if (!robot.WaitUntil([&] { return robot.ItemText(code_page, IDC_CODE_GROUP2).size() == 4; }, timeout_ms)) return "";
  return narrow(robot.ItemText(code_page, IDC_CODE_GROUP1) + robot.ItemText(code_page, IDC_CODE_GROUP2));
}

// Types a 12-character code into the three groups of the sender's code page.
inline void type_code12(UiRobot &robot, HWND page, const std::string &code) {
  const int ids[] = {IDC_AN_GROUP1, IDC_AN_GROUP2, IDC_AN_GROUP3};
  for (int i = 0; i < 3; ++i) {
    const std::string group = code.substr(size_t(i) * 4, 4);
    robot.SetItemText(page, ids[i], std::wstring(group.begin(), group.end()));
  }
}

}  // namespace sheettest
