// A static control that paints itself in its own colour and font on a transparent background, and
// may blink or act as a link. Its link opens only through the page opener, and only when it is an
// http or https address.
#pragma once

#include <windows.h>

#include <string>

#include "platform/classlib/message_map.h"
#include "platform/classlib/window.h"

namespace v7 {
namespace viewer {

class CLabel : public classlib::CWnd {
 public:
  enum BlinkKind { kBlinkNone = 0, kBlinkText = 1, kBlinkColour = 2 };

  CLabel();
  ~CLabel() override;

  void SetTextColor(COLORREF colour);
  void SetBold(bool bold);
  // kBlinkText alternates the text with the empty text; kBlinkColour repaints every tick.
  void SetBlink(BlinkKind kind, UINT interval_ms = 500);
  // A link text (in the setting's encoding) that a click opens; empty: no link.
  void SetLink(const std::string &address);
  const std::string &Link() const { return link_; }
  // What a click does (public so that a test can click without a mouse): 0 when the link was
  // handed to the page opener, else the refusal's code.
  int OpenLink();

  BEGIN_MSG_MAP(CLabel)
  MSG_OCM_CTLCOLORSTATIC(OnCtlColor)
  MSG_WM_TIMER(OnTimer)
  MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
  MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
  MESSAGE_HANDLER(WM_NCHITTEST, OnNcHitTest)
  END_MSG_MAP()

 private:
  HBRUSH OnCtlColor(HDC dc, HWND control);
  void OnTimer(UINT_PTR id);
  LRESULT OnLButtonDown(WPARAM, LPARAM);
  LRESULT OnSetCursor(WPARAM, LPARAM);
  LRESULT OnNcHitTest(WPARAM, LPARAM);
  void MakeFont();

  COLORREF colour_;
  HBRUSH brush_;
  HFONT font_ = nullptr;
  LOGFONTW logfont_{};
  BlinkKind blink_ = kBlinkNone;
  bool blink_state_ = false;
  std::wstring saved_text_;
  std::string link_;
  HCURSOR cursor_ = nullptr;
};

}  // namespace viewer
}  // namespace v7
