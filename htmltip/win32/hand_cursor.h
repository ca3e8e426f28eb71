// The cursor the HTML drawers show over links: the system hand, or on a system without one the
// hand of the Windows help program, read from that program as data.
#pragma once

#include <windows.h>

namespace v7::htmltip::win32 {

class HtmlHandCursor {
 public:
  // Loads the cursor; without any, get() is null and Show() does nothing.
  HtmlHandCursor();
  HtmlHandCursor(const HtmlHandCursor &) = delete;
  HtmlHandCursor &operator=(const HtmlHandCursor &) = delete;
  ~HtmlHandCursor();

  HCURSOR get() const { return cursor_; }
  // Makes it the cursor (what OnMouseOverLink asks for on WM_SETCURSOR); false when there is none.
  bool Show() const;

  // Cursor 106 of the program or library at `path`, mapped as data and freed again; the caller
  // destroys the cursor. Null when there is none.
  static HCURSOR LoadFromModule(const wchar_t *path);

 private:
  HCURSOR cursor_ = nullptr;
  bool owned_ = false;  // the help program's copy is ours to destroy; the system's is shared
};

}  // namespace v7::htmltip::win32
