#include "wizard/viewer/label.h"

#include "wizard/dialogs/web_page.h"

namespace v7 {
namespace viewer {
namespace {

const UINT_PTR kBlinkTimer = 1;

}  // namespace

CLabel::CLabel() : colour_(::GetSysColor(COLOR_WINDOWTEXT)), brush_(::GetSysColorBrush(COLOR_BTNFACE)) {
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof logfont_, &logfont_);
}

CLabel::~CLabel() {
  if (font_ != nullptr) ::DeleteObject(font_);
}

void CLabel::MakeFont() {
  HFONT font = ::CreateFontIndirectW(&logfont_);
  if (font == nullptr) return;
  if (m_hWnd != nullptr) SetFont(font);
  if (font_ != nullptr) ::DeleteObject(font_);
  font_ = font;
}

void CLabel::SetTextColor(COLORREF colour) {
  colour_ = colour;
  if (m_hWnd != nullptr) Invalidate();
}

void CLabel::SetBold(bool bold) {
  logfont_.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  MakeFont();
}

void CLabel::SetBlink(BlinkKind kind, UINT interval_ms) {
  if (m_hWnd == nullptr) return;
  if (blink_ == kBlinkText && blink_state_) SetWindowText(saved_text_.c_str());
  blink_ = kind;
  blink_state_ = false;
  KillTimer(kBlinkTimer);
  if (kind != kBlinkNone) SetTimer(kBlinkTimer, interval_ms);
}

void CLabel::SetLink(const std::string &address) {
  link_ = address;
  cursor_ = link_.empty() ? nullptr : ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));  // IDC_HAND
}

int CLabel::OpenLink() {
  if (link_.empty()) return 0;
  return dialogs::open_link(link_.c_str());
}

HBRUSH CLabel::OnCtlColor(HDC dc, HWND) {
  if (font_ == nullptr) MakeFont();
  if (font_ != nullptr) ::SelectObject(dc, font_);
  ::SetTextColor(dc, colour_);
  ::SetBkMode(dc, TRANSPARENT);
  return brush_;
}

void CLabel::OnTimer(UINT_PTR id) {
  if (id != kBlinkTimer) {
    SetMsgHandled(false);
    return;
  }
  if (blink_ == kBlinkText) {
    if (!blink_state_) saved_text_ = GetWindowText();
    blink_state_ = !blink_state_;
    SetWindowText(blink_state_ ? L"" : saved_text_.c_str());
  } else {
    Invalidate();
  }
}

LRESULT CLabel::OnLButtonDown(WPARAM, LPARAM) {
  OpenLink();
  return 0;
}

LRESULT CLabel::OnSetCursor(WPARAM, LPARAM) {
  if (cursor_ == nullptr) {
    SetMsgHandled(false);
    return FALSE;
  }
  ::SetCursor(cursor_);
  return TRUE;
}

// A static control is transparent to the mouse unless it says otherwise: a link must be hit.
LRESULT CLabel::OnNcHitTest(WPARAM, LPARAM) {
  if (link_.empty()) {
    SetMsgHandled(false);
    return 0;
  }
  return HTCLIENT;
}

}  // namespace viewer
}  // namespace v7
