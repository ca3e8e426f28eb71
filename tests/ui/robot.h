// A robot for the real windows under Wine and Xvfb: it runs on a thread of its own, finds the
// windows of the thread under test, types, presses, reads texts back and saves what a person
// would see as PNG files. Every wait has a deadline and polls the window tree, so a test that
// finds nothing fails instead of hanging.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace v7test {

class UiRobot {
 public:
  // Acts on the windows of ui_thread (the thread that runs the dialogs).
  explicit UiRobot(DWORD ui_thread);

  // The first top-level window of the thread that match() accepts, waiting up to timeout_ms.
  HWND WaitForWindow(const std::function<bool(HWND)> &match, DWORD timeout_ms = 15000) const;
  // A dialog ("#32770") of the thread that holds control id (and is not `not_this`).
  HWND WaitForDialogWithControl(int id, HWND not_this = nullptr, DWORD timeout_ms = 15000) const;
  // Waits until condition() holds; false after timeout_ms.
  bool WaitUntil(const std::function<bool()> &condition, DWORD timeout_ms = 15000) const;
  // Waits until the window is gone.
  bool WaitGone(HWND window, DWORD timeout_ms = 15000) const;

  // Replaces an edit's text as a paste would (the control sends EN_CHANGE).
  void SetText(HWND window, const std::wstring &text) const;
  void SetItemText(HWND dialog, int id, const std::wstring &text) const { SetText(::GetDlgItem(dialog, id), text); }
  // Posts the characters as WM_CHAR messages, so they pass through the thread's message loop.
  void TypeKeys(HWND window, const std::wstring &text) const;
  // Posts a key press (WM_KEYDOWN and WM_KEYUP) to the window.
  void PressKey(HWND window, UINT virtual_key) const;
  // Clicks a button by posting BM_CLICK, so a click that opens a modal window does not block the
  // robot.
  void Click(HWND dialog, int id) const;
  // Text of a window or a control (WM_GETTEXT through the UI thread).
  std::wstring Text(HWND window) const;
  std::wstring ItemText(HWND dialog, int id) const { return Text(::GetDlgItem(dialog, id)); }
  bool Enabled(HWND dialog, int id) const { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }

  // The characters under window that its fonts cannot draw: the caption (in the caption font)
  // and the text of every visible child control (in the font the control draws with, WM_GETFONT).
  // Empty when every glyph is there; otherwise one line per control: its id, its text and the
  // missing characters as U+XXXX. Use it as EXPECT_EQ(robot.MissingGlyphs(dialog), "").
  std::string MissingGlyphs(HWND window) const;

  // Saves the window as the screen shows it, as <V7_SCREENSHOT_DIR>/<name>.png. False when it
  // could not be captured or written.
  bool Screenshot(HWND window, const std::string &name) const;

  DWORD ui_thread() const { return ui_thread_; }

 private:
  DWORD ui_thread_;
};

// Runs script on a robot thread while body() runs on the calling (UI) thread; returns once both
// are done. The script gets a robot for the calling thread.
void RunWithRobot(const std::function<void(UiRobot &)> &script, const std::function<void()> &body);

// The characters of text that font cannot draw (null font: the system font), each once, in order
// of appearance. A character counts as drawn when the font has a glyph for it or when text output
// draws it differently from a character no font has (the system then took it from a linked
// font); white space and control characters are not looked at.
std::wstring MissingGlyphsOf(HFONT font, const std::wstring &text);

// UTF-8 text (the string table's) as wide text; empty when it is not valid UTF-8.
std::wstring WideFromUtf8(const char *utf8);
// Wide text as UTF-8.
std::string Utf8FromWide(const std::wstring &text);

// The top-level windows of a thread, in z-order.
std::vector<HWND> ThreadWindows(DWORD thread);
// The window's class name.
std::wstring ClassName(HWND window);

// A PNG image (8-bit RGB, no interlace) of width x height pixels given as rows of BGRA
// bytes, top row first; written with stored deflate blocks, which every reader accepts.
std::vector<unsigned char> EncodePng(const unsigned char *bgra, int width, int height);

}  // namespace v7test
