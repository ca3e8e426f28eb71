// What the UI robot looks at on the transfer wizard: the sheet, the page on show, the wizard's
// buttons, the focus; and the sheet's buttons pressed as the user would.
#pragma once

#include <winsock2.h>  // before any windows.h

#include <windows.h>

#include <commctrl.h>

#include "platform/classlib/property_sheet.h"
#include "tests/ui/robot.h"

namespace wizardrobot {

inline HWND wait_sheet(v7test::UiRobot &robot) {
  return robot.WaitForWindow([](HWND window) {
    return v7test::ClassName(window) == L"#32770" && ::GetDlgItem(window, ID_WIZNEXT) != nullptr;
  });
}

inline HWND current_page(HWND sheet) {
  DWORD_PTR page = 0;
  ::SendMessageTimeoutW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_NORMAL, 5000, &page);
  return HWND(page);
}

// The page on show once it holds control; null after the robot's deadline.
inline HWND wait_page(v7test::UiRobot &robot, HWND sheet, int control) {
  HWND found = nullptr;
  robot.WaitUntil([&] {
    HWND page = current_page(sheet);
    if (page != nullptr && ::GetDlgItem(page, control) != nullptr && ::IsWindowVisible(page)) found = page;
    return found != nullptr;
  });
  return found;
}

inline bool button_on(HWND sheet, int id) {
  HWND button = ::GetDlgItem(sheet, id);
  return button != nullptr && ::IsWindowVisible(button) && ::IsWindowEnabled(button);
}

// Waits until Back and Next are as expected (and Finish is on, when asked).
inline bool wait_buttons(v7test::UiRobot &robot, HWND sheet, bool back, bool next, bool finish = false) {
  return robot.WaitUntil([&] {
    return button_on(sheet, ID_WIZBACK) == back && button_on(sheet, ID_WIZNEXT) == next &&
           (!finish || button_on(sheet, ID_WIZFINISH));
  });
}

inline bool is_visible(HWND page, int id) { return ::IsWindowVisible(::GetDlgItem(page, id)) != FALSE; }

inline HWND focus_of(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// A sheet button (PSBTN_NEXT, ...) pressed as the user would; on a disabled Next only the page's
// own refusal is left to stop it.
inline void press(HWND sheet, int button) { ::PostMessageW(sheet, PSM_PRESSBUTTON, WPARAM(button), 0); }

}  // namespace wizardrobot
