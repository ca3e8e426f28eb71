// The tooltip windows of both generations as real windows (under Wine, in an X display): shown over
// their owner, placed by the anchor and flipped at the screen's edges, fading and hiding on their
// timers, hidden by keys, the wheel and deactivation, opening only what they should, and leaving
// no GDI object behind after many cycles. Waits pump the thread's messages until a condition
// holds, with a deadline; nothing sleeps.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "gdi_count_win32.h"
#include "htmltip/pixel_ops.h"
#include "htmltip/win32/gdi_objects.h"
#include "htmltip/win32/pptooltip.h"
#include "htmltip/win32/pptooltip2.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/ui/web_page.h"
#include "tooltip_strings.h"
#include "tooltip_texts.h"

namespace {

using namespace v7::htmltip;
using namespace v7::htmltip::win32;

const char16_t kCapsLockTip[] = u"<font color=#FF0000 ><b>&lt;Caps Lock&gt;</b></font>\uC774 \uCF1C\uC838 \uC788\uC2B5\uB2C8\uB2E4.";

// Runs the thread's messages until `done` holds; false when the deadline passes first.
bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs = 10000) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (done()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(deadline - now), QS_ALLINPUT);
  }
}

void Flush() {
  PumpUntil([] { return true; }, 0);
}

class Owner {
 public:
  Owner() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"v7TooltipOwner";
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    ::RegisterClassW(&wc);
    hwnd = ::CreateWindowExW(0, L"v7TooltipOwner", L"owner", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr,
                             nullptr, wc.hInstance, nullptr);
    Flush();
  }
  ~Owner() { ::DestroyWindow(hwnd); }
  HWND hwnd = nullptr;
};

// The page-opening seam answered by the test for its lifetime: every address that reaches it is
// recorded, none opens.
class PageSeam {
 public:
  PageSeam() {
    pages_ = &opened;
    v7::set_web_page_opener(Record);
  }
  ~PageSeam() {
    v7::set_web_page_opener(nullptr);
    pages_ = nullptr;
  }
  PageSeam(const PageSeam &) = delete;
  PageSeam &operator=(const PageSeam &) = delete;
  std::vector<std::u16string> opened;

 private:
  static int Record(const char16_t *address) {
    if (pages_ != nullptr) pages_->push_back(address);
    return 0;
  }
  static std::vector<std::u16string> *pages_;
};
std::vector<std::u16string> *PageSeam::pages_ = nullptr;

// The process language for a scope.
class Language {
 public:
  explicit Language(uint16_t id) : saved_(language_id()) { set_language_id(id); }
  ~Language() { set_language_id(saved_); }
  Language(const Language &) = delete;
  Language &operator=(const Language &) = delete;

 private:
  uint16_t saved_;
};

// What a first-generation tip paints, at its window's size.
bool PaintedPixels(CPPToolTip &tip, PixelImage *pixels) {
  RECT r{};
  Dib32 surface;
  if (!tip.GetWindowRect(&r) || !surface.Create(nullptr, r.right - r.left, r.bottom - r.top) ||
      !tip.PaintTo(surface.dc()))
    return false;
  surface.ReadPixels(pixels);
  return true;
}

bool InWindowRegion(HWND hwnd, int x, int y) {
  HRGN region = ::CreateRectRgn(0, 0, 0, 0);
  const bool inside = ::GetWindowRgn(hwnd, region) != ERROR && ::PtInRegion(region, x, y);
  ::DeleteObject(region);
  return inside;
}

TEST(CPPToolTip2, ShowsOverItsOwnerAtTheAnchor) {
  Owner owner;
  CPPToolTip2 tip;
  ASSERT_TRUE(tip.Create(owner.hwnd));
  EXPECT_EQ(::GetWindow(tip, GW_OWNER), owner.hwnd);
  wchar_t name[32] = {};
  ::GetClassNameW(tip, name, 32);
  EXPECT_STREQ(name, L"CPPToolTip");
  EXPECT_EQ(::GetWindowLongW(tip, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);

  tip.ShowHelpTip(POINT{300, 400}, kCapsLockTip);
  ASSERT_TRUE(tip.IsWindowVisible());
  EXPECT_EQ(tip.state(), TooltipState::kShown);
  const BalloonPlacement &p = tip.placement();
  EXPECT_EQ(p.style, 16);
  RECT r{};
  tip.GetWindowRect(&r);
  EXPECT_EQ(r.left, 300 - 16);
  EXPECT_EQ(r.bottom, 400);
  EXPECT_EQ(r.right - r.left, p.window.width());
  // The shape: the anchor reaches down to the point, the body's corners are cut round.
  EXPECT_TRUE(InWindowRegion(tip, p.anchor.x + 1, p.anchor.y - 3));
  EXPECT_FALSE(InWindowRegion(tip, 0, 0));
  EXPECT_FALSE(InWindowRegion(tip, p.window.width() - 1, p.anchor.y - 1));
  EXPECT_TRUE(InWindowRegion(tip, p.window.width() / 2, p.body.bottom / 2));
  Flush();
  HWND hwnd = tip;
  EXPECT_TRUE(tip.DestroyWindow());
  EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(CPPToolTip2, FlipsAtTheScreenEdges) {
  Owner owner;
  CPPToolTip2 tip;
  ASSERT_TRUE(tip.Create(owner.hwnd));
  const HtmlRect screen = TooltipScreenArea(POINT{400, 400});
  ASSERT_GT(screen.width(), 500);
  ASSERT_GT(screen.height(), 400);
  struct Case {
    POINT point;
    int style;
  } cases[] = {
      {{screen.right - 10, 400}, 17},  // right edge: the anchor to the far corner
      {{500, screen.top + 5}, 0},      // top edge: below the point
      {{screen.right - 10, screen.top + 5}, 1},
      {{400, 400}, 16},
  };
  for (const Case &c : cases) {
    tip.ShowHelpTip(c.point, kCapsLockTip);
    RECT r{};
    tip.GetWindowRect(&r);
    EXPECT_EQ(tip.placement().style, c.style) << c.point.x << "," << c.point.y;
    EXPECT_EQ(r.left + tip.placement().anchor.x, c.point.x);
    EXPECT_EQ(r.top + tip.placement().anchor.y, c.point.y);
    EXPECT_LE(r.right, screen.right);
    EXPECT_GE(r.top, screen.top);
    Flush();
  }
}

TEST(CPPToolTip2, FadesInAndOutOnItsTimers) {
  Owner owner;
  CPPToolTip2 tip;
  ASSERT_TRUE(tip.Create(owner.hwnd));
  tip.timings().fadeInStepMs = 10;
  tip.timings().fadeOutStepMs = 10;
  tip.ShowHelpTip(POINT{300, 300}, kCapsLockTip);
  EXPECT_EQ(tip.state(), TooltipState::kAppearing);
  EXPECT_EQ(tip.transparency(), 100);
  EXPECT_TRUE(tip.IsWindowVisible());
  ASSERT_TRUE(PumpUntil([&] { return tip.state() == TooltipState::kShown; }));
  EXPECT_EQ(tip.transparency(), 0);
  // The owner's hide step, then the fade-out timer's steps until the window goes.
  tip.OnTimer(kTooltipTimerHide);
  EXPECT_EQ(tip.state(), TooltipState::kDisappearing);
  EXPECT_TRUE(tip.IsWindowVisible());
  ASSERT_TRUE(PumpUntil([&] { return tip.state() == TooltipState::kHidden; }));
  EXPECT_FALSE(tip.IsWindowVisible());
  EXPECT_EQ(tip.transparency(), 100);
}

TEST(CPPToolTip2, KeysTheWheelAndDeactivationHideIt) {
  Owner owner;
  CPPToolTip2 tip;
  ASSERT_TRUE(tip.Create(owner.hwnd));
  const UINT hiders[] = {WM_KEYDOWN, WM_SYSKEYDOWN, WM_MOUSEWHEEL, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_NCLBUTTONDOWN};
  for (UINT message : hiders) {
    tip.ShowHelpTip(POINT{300, 300}, kCapsLockTip);
    ASSERT_TRUE(tip.IsWindowVisible());
    ::SendMessageW(tip, message, 0, 0);
    EXPECT_FALSE(tip.IsWindowVisible()) << message;
    EXPECT_EQ(tip.state(), TooltipState::kHidden);
  }
  tip.ShowHelpTip(POINT{300, 300}, kCapsLockTip);
  ::SendMessageW(tip, WM_ACTIVATEAPP, FALSE, 0);
  EXPECT_FALSE(tip.IsWindowVisible());
  // Button-up messages leave it.
  tip.ShowHelpTip(POINT{300, 300}, kCapsLockTip);
  ::SendMessageW(tip, WM_LBUTTONUP, 0, 0);
  EXPECT_TRUE(tip.IsWindowVisible());
}

TEST(CPPToolTip2, AThrowingLinkHandlerStaysInsideTheWindowProcedure) {
  Owner owner;
  CPPToolTip2 tip;
  ASSERT_TRUE(tip.Create(owner.hwnd));
  int calls = 0;
  tip.drawer().linkMessage = [&](const std::u16string &text) -> intptr_t {
    ++calls;
    EXPECT_EQ(text, u"go");
    throw std::runtime_error("handler failed");
  };
  tip.ShowHelpTip(POINT{300, 300}, u"<a msg=go>a message link</a>");
  ::UpdateWindow(tip);  // the draw pass records the link's area
  ASSERT_EQ(tip.drawer().linkAreas().size(), 1u);
  // Every paint rebuilds the areas instead of adding to them.
  for (int i = 0; i < 10; ++i) ::SendMessageW(tip, kTooltipRedrawMessage, 0, 0);
  ::InvalidateRect(tip, nullptr, FALSE);
  ::UpdateWindow(tip);
  ASSERT_EQ(tip.drawer().linkAreas().size(), 1u);
  const HtmlRect area = tip.drawer().linkAreas()[0].rect;
  POINT inside{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
  ::ClientToScreen(tip, &inside);
  ::SetCursorPos(inside.x, inside.y);
  ASSERT_EQ(::WindowFromPoint(inside), tip.m_hWnd);
  // The hand over the link, the arrow beside it.
  EXPECT_EQ(::SendMessageW(tip, WM_SETCURSOR, WPARAM(tip.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
  EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_HAND));
  POINT beside{area.right + 3, (area.top + area.bottom) / 2};
  ::ClientToScreen(tip, &beside);
  ::SetCursorPos(beside.x, beside.y);
  ::SendMessageW(tip, WM_SETCURSOR, WPARAM(tip.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_ARROW));
  ::SetCursorPos(inside.x, inside.y);
  EXPECT_EQ(::SendMessageW(tip, WM_LBUTTONDOWN, MK_LBUTTON, 0), 0);
  EXPECT_EQ(calls, 1);
  // The window goes on answering.
  ::SendMessageW(tip, WM_KEYDOWN, 0, 0);
  EXPECT_FALSE(tip.IsWindowVisible());
  ::SetCursorPos(0, 0);
}

// A click on a web link: the page-opening seam gets it, only as a checked, encoded http or https
// address; anything else never reaches the seam.
TEST(CPPToolTip2, AWebLinkOpensThroughThePageSeamOnly) {
  Owner owner;
  CPPToolTip2 tip;
  ASSERT_TRUE(tip.Create(owner.hwnd));
  PageSeam pages;
  struct LinkCase {
    const char16_t *html;
    const char16_t *opened;
  } links[] = {
      {u"<a href=\"https://e.test/ok?a=1\">web</a>", u"https://e.test/ok?a=1"},
      {u"<a href=\"HTTP://e.test/x y\">blank</a>", u"HTTP://e.test/x%20y"},
      {u"<a href=\"https://e.test/\uD55C\">hangul</a>", u"https://e.test/%ED%95%9C"},
      {u"<a href=\"file:///c:/x\">file</a>", nullptr},
      {u"<a href=\"calc.exe\">program</a>", nullptr},
      {u"<a href=\"javascript:alert(1)\">script</a>", nullptr},
  };
  for (const LinkCase &c : links) {
    pages.opened.clear();
    tip.ShowHelpTip(POINT{300, 300}, c.html);
    ::UpdateWindow(tip);
    ASSERT_EQ(tip.drawer().linkAreas().size(), 1u);
    const HtmlRect a = tip.drawer().linkAreas()[0].rect;
    POINT at{(a.left + a.right) / 2, (a.top + a.bottom) / 2};
    ::ClientToScreen(tip, &at);
    ::SetCursorPos(at.x, at.y);
    ::SendMessageW(tip, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_FALSE(tip.IsWindowVisible());
    if (c.opened != nullptr) {
      ASSERT_EQ(pages.opened.size(), 1u);
      EXPECT_EQ(pages.opened[0], c.opened);
    } else {
      EXPECT_TRUE(pages.opened.empty());
    }
  }
  // The seam itself lets nothing but a web address through, whoever calls it.
  pages.opened.clear();
  for (const char16_t *text : {u"file:///c:/x", u"https://", u"https://e/a b", u"https://e/\"x", u"https://e/\uD55C", u""})
    EXPECT_EQ(v7::open_web_page_address(text), v7::kErrInvalidParameter);
  EXPECT_EQ(v7::open_web_page_address(nullptr), v7::kErrInvalidParameter);
  EXPECT_TRUE(pages.opened.empty());
  ::SetCursorPos(0, 0);
}

TEST(CPPToolTip2, AToolShowsWhereTheMouseRestsAndGoesOnItsTimers) {
  Owner owner;
  HWND tool = ::CreateWindowExW(0, L"v7TooltipOwner", L"", WS_CHILD | WS_VISIBLE, 10, 10, 120, 60, owner.hwnd,
                                nullptr, ::GetModuleHandleW(nullptr), nullptr);
  HWND plain = ::CreateWindowExW(0, L"v7TooltipOwner", L"", WS_CHILD | WS_VISIBLE, 200, 10, 120, 60, owner.hwnd,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr);
  CPPToolTip2 tip;
  ASSERT_TRUE(tip.Create(owner.hwnd));
  tip.timings().initialDelayMs = 20;
  tip.timings().autopopMs = 50;
  TooltipToolRecord record;
  record.target = tool;
  record.html = u"<b>a tool</b>";
  ASSERT_TRUE(tip.AddTool(record));
  EXPECT_FALSE(tip.AddTool(TooltipToolRecord{}));  // no target
  auto moveTo = [&](HWND window, int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(window, &p);
    ::SetCursorPos(p.x, p.y);
    MSG msg{};
    msg.hwnd = window;
    msg.message = WM_MOUSEMOVE;
    msg.lParam = MAKELPARAM(x, y);
    EXPECT_FALSE(tip.PreTranslateMessage(&msg));  // never swallowed
    return p;
  };
  Flush();
  const POINT at = moveTo(tool, 40, 30);
  EXPECT_FALSE(tip.IsWindowVisible());  // the initial delay first
  ASSERT_TRUE(PumpUntil([&] { return tip.state() == TooltipState::kShown; }));
  RECT r{};
  tip.GetWindowRect(&r);
  EXPECT_EQ(r.left + tip.placement().anchor.x, at.x);
  EXPECT_EQ(r.top + tip.placement().anchor.y, at.y);
  // The autopop timer hides it; the same target does not show it again.
  ASSERT_TRUE(PumpUntil([&] { return tip.state() == TooltipState::kHidden; }));
  EXPECT_FALSE(tip.IsWindowVisible());
  moveTo(tool, 45, 30);
  EXPECT_EQ(tip.state(), TooltipState::kHidden);
  // A window without a tip, then the tool again: it shows anew.
  moveTo(plain, 40, 30);
  moveTo(tool, 50, 30);
  ASSERT_TRUE(PumpUntil([&] { return tip.state() == TooltipState::kShown; }));
  // Leaving for a window without a tip hides it at once.
  tip.timings().autopopMs = 0;
  moveTo(plain, 41, 30);
  EXPECT_EQ(tip.state(), TooltipState::kHidden);
  EXPECT_FALSE(tip.IsWindowVisible());
  tip.RemoveTools(tool);
  moveTo(tool, 60, 30);
  EXPECT_EQ(tip.state(), TooltipState::kHidden);
  ::SetCursorPos(0, 0);
}

// The paint into a DIB holding a white backdrop: the fill, the blend at a transparency and the
// shadow beside the balloon, by the formulas of the pixel arithmetic.
TEST(CPPToolTip2, PaintBlendsOntoTheBackdropAndCastsItsShadow) {
  Owner owner;
  CPPToolTip2 tip;
  ASSERT_TRUE(tip.Create(owner.hwnd));
  auto paint = [&](int transparency, PixelImage *image) {
    RECT r{};
    tip.GetWindowRect(&r);
    Dib32 dib;
    ASSERT_TRUE(dib.Create(nullptr, r.right - r.left, r.bottom - r.top));
    PixelImage white;
    white.Resize(dib.width(), dib.height(), 0xFFFFFF);
    dib.WritePixels(white);
    ASSERT_TRUE(tip.PaintTo(dib.dc(), transparency));
    dib.ReadPixels(image);
  };
  const uint32_t infoBk = HtmlPixelFromColor(::GetSysColor(COLOR_INFOBK) & 0xFFFFFF);
  const uint32_t infoText = HtmlPixelFromColor(::GetSysColor(COLOR_INFOTEXT) & 0xFFFFFF);
  tip.ShowHelpTip(POINT{400, 400}, u"blend");
  const int mid = (tip.placement().body.top + tip.placement().body.bottom) / 2;
  PixelImage opaque, half, clear;
  paint(0, &opaque);
  paint(50, &half);
  paint(100, &clear);
  EXPECT_EQ(opaque.at(4, mid) & 0xFFFFFF, infoBk);
  EXPECT_EQ(opaque.at(0, mid) & 0xFFFFFF, infoText);  // the frame
  EXPECT_EQ(half.at(4, mid) & 0xFFFFFF, BlendPercent(infoBk, 0xFFFFFF, 50) & 0xFFFFFF);
  EXPECT_EQ(half.at(0, mid) & 0xFFFFFF, BlendPercent(infoText, 0xFFFFFF, 50) & 0xFFFFFF);
  EXPECT_EQ(clear.at(4, mid) & 0xFFFFFF, 0xFFFFFFu);

  tip.shadowOffsetX = 4;
  tip.shadowOffsetY = 4;
  tip.ShowHelpTip(POINT{400, 400}, u"shadow");
  const BalloonPlacement &p = tip.placement();
  RECT r{};
  tip.GetWindowRect(&r);
  EXPECT_EQ(r.right - r.left, p.window.width() + 4);  // the shadow widens the window
  EXPECT_EQ(r.bottom - r.top, p.window.height() + 4);
  paint(0, &opaque);
  paint(50, &half);
  paint(100, &clear);
  // Beside the body, inside its moved copy: darkened, less so as the tip fades, not at all when
  // it is gone.
  const int sx = p.body.right + 2;
  const unsigned dark = opaque.at(sx, mid) & 0xFF, lighter = half.at(sx, mid) & 0xFF;
  EXPECT_LT(dark, 0xF0u);
  EXPECT_GT(dark, 0x40u);
  EXPECT_GT(lighter, dark);
  EXPECT_EQ(clear.at(sx, mid) & 0xFFFFFF, 0xFFFFFFu);
  // Far from the balloon the backdrop is untouched.
  EXPECT_EQ(opaque.at(r.right - r.left - 1, 0) & 0xFFFFFF, 0xFFFFFFu);
}

// Styles: the second generation's background effect and colours from its defaults (every
// pattern too, with the default granularity 0), the first generation's two window styles.
TEST(TooltipWindows, BackgroundStyles) {
  Owner owner;
  CPPToolTip2 second;
  ASSERT_TRUE(second.Create(owner.hwnd));
  second.defaults.effect = kFillHGradient;
  second.defaults.beginColor = RGB(255, 0, 0);
  second.defaults.endColor = RGB(0, 0, 255);
  second.ShowHelpTip(POINT{400, 400}, u"gradient");
  const BalloonPlacement &p = second.placement();
  Dib32 dib;
  ASSERT_TRUE(dib.Create(nullptr, p.window.width(), p.window.height()));
  ASSERT_TRUE(second.PaintTo(dib.dc(), 0));
  PixelImage image;
  dib.ReadPixels(&image);
  const int mid = (p.body.top + p.body.bottom) / 2;
  const uint32_t left = image.at(3, mid), right = image.at(p.body.right - 4, mid);
  EXPECT_GT(left >> 16 & 0xFF, 0xC0u) << std::hex << left;  // red at the start
  EXPECT_LT(left & 0xFF, 0x40u) << std::hex << left;
  EXPECT_GT(right & 0xFF, 0xC0u) << std::hex << right;  // blue at the end
  EXPECT_LT(right >> 16 & 0xFF, 0x40u) << std::hex << right;
  for (int effect = kFillNoise; effect <= kFillMetal; ++effect) {
    second.defaults.effect = effect;
    second.ShowHelpTip(POINT{400, 400}, u"pattern");
    EXPECT_TRUE(second.IsWindowVisible()) << effect;
    ::UpdateWindow(second);
  }

  for (BOOL windowStyle : {FALSE, TRUE}) {
    CPPToolTip first;
    ASSERT_TRUE(first.Create(owner.hwnd, windowStyle));
    first.ShowTip(nullptr, POINT{100, 100}, u"style");
    EXPECT_EQ(first.marginLeft(), windowStyle ? 7 : 10);
    PixelImage pixels;
    ASSERT_TRUE(PaintedPixels(first, &pixels));
    const uint32_t want = windowStyle ? HtmlPixelFromColor(::GetSysColor(COLOR_WINDOW) & 0xFFFFFF) : 0xFFFFFFu;
    EXPECT_EQ(pixels.at(3, pixels.height / 2) & 0xFFFFFF, want) << windowStyle;
    // Square corners frame the very corner; round ones leave it outside the shape.
    EXPECT_EQ(InWindowRegion(first, 0, 0), !windowStyle) << windowStyle;
  }
}

TEST(CPPToolTip2, CreationFailsCleanly) {
  CPPToolTip2 tip;
  // A destroyed owner: the window cannot be made.
  HWND gone;
  {
    Owner owner;
    gone = owner.hwnd;
  }
  EXPECT_FALSE(tip.Create(gone));
  EXPECT_EQ(tip.m_hWnd, nullptr);
  // Nothing laid out: the paint draws nothing and says so.
  Dib32 dib;
  ASSERT_TRUE(dib.Create(nullptr, 8, 8));
  EXPECT_FALSE(tip.PaintTo(dib.dc(), 0));
  EXPECT_FALSE(tip.PaintTo(nullptr, 0));
  tip.ShowHelpTip(POINT{10, 10}, kCapsLockTip);
  tip.OnTimer(kTooltipTimerHide);
  tip.Hide();
  EXPECT_FALSE(tip.DestroyWindow());
  CPPToolTip first;
  EXPECT_FALSE(first.Create(gone, TRUE));
  first.ShowTip(L"q", POINT{1, 1}, u"x");
  first.Hide();
}

TEST(CPPToolTip, ShowsAtTheAnchorAndStaysOnDeactivation) {
  Owner owner;
  CPPToolTip tip;
  ASSERT_TRUE(tip.Create(owner.hwnd, FALSE));
  tip.ShowTip(nullptr, POINT{120, 130}, u"<b>HDD</b> is not safe.");
  ASSERT_TRUE(tip.IsWindowVisible());
  RECT r{};
  tip.GetWindowRect(&r);
  EXPECT_EQ(r.left, 120);
  EXPECT_EQ(r.top, 130);
  EXPECT_EQ(tip.state(), 1);
  EXPECT_EQ(tip.linkMode(), 0);  // no query: no link
  ::SendMessageW(tip, WM_ACTIVATEAPP, FALSE, 0);
  EXPECT_TRUE(tip.IsWindowVisible());
  ::SendMessageW(tip, WM_KEYDOWN, 0, 0);
  EXPECT_TRUE(tip.IsWindowVisible());
  tip.Hide();
  EXPECT_FALSE(tip.IsWindowVisible());
  // An empty text shows nothing.
  tip.ShowTip(nullptr, POINT{120, 130}, u"");
  EXPECT_FALSE(tip.IsWindowVisible());
}

// The expiry tips as the dialog shows them: the area that answers the mouse is where the link is
// painted (its blue text inside, the lines above it outside), in both languages.
TEST(CPPToolTip, TheHotRectangleIsTheDrawnLinkAndOpensTheRenewalPage) {
  Owner owner;
  CPPToolTip tip;
  tip.SetResourceModule(::GetModuleHandleW(nullptr));
  ASSERT_TRUE(tip.Create(owner.hwnd, FALSE));
  tip.renewalPage = u"https://renew.test/list?subject=";
  PageSeam pages;
  std::vector<std::u16string> &launched = pages.opened;
  int checked = 0;
  std::u16string linkHtml;
  for (const v7test::SelectionDialogTip &t : v7test::SelectionDialogTips()) {
    if (!t.linkTip) continue;
    SCOPED_TRACE(t.name);
    ++checked;
    linkHtml = t.html;
    launched.clear();
    tip.ShowTip(L"cn=\uD64D\uAE38\uB3D9 \"x\",o=T", POINT{50, 50}, t.html);
    ASSERT_TRUE(tip.IsWindowVisible());
    const HtmlRect hot = tip.HotRect();
    ASSERT_FALSE(IsEmptyRect(hot));
    // Where the link's blue text landed, read from the tip's own paint.
    PixelImage image;
    ASSERT_TRUE(PaintedPixels(tip, &image));
    HtmlRect link{image.width, image.height, 0, 0};
    int outside = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const uint32_t p = image.at(x, y);
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        const bool blue = b > r + 64 && b > g + 64;
        const bool inked = (p & 0xFFFFFF) != 0xFFFFFF;
        if (blue) link = HtmlRect{std::min(link.left, x), std::min(link.top, y), std::max(link.right, x + 1),
                                  std::max(link.bottom, y + 1)};
        if (inked && !blue && y < hot.top) ++outside;  // the lines above the link
      }
    }
    ASSERT_FALSE(IsEmptyRect(link)) << "no link drawn";
    EXPECT_GT(outside, 0);
    EXPECT_TRUE(link.left >= hot.left && link.right <= hot.right && link.top >= hot.top && link.bottom <= hot.bottom)
        << "link drawn at " << link.left << "," << link.top << "-" << link.right << "," << link.bottom << ", hot "
        << hot.left << "," << hot.top << "-" << hot.right << "," << hot.bottom;
    // The area is the link line, no taller than a line of it: the date above answers nothing.
    EXPECT_LT(hot.bottom - hot.top, 2 * (link.bottom - link.top) + 8);
    const int middleY = (link.top + link.bottom) / 2, middleX = (link.left + link.right) / 2;
    ::SendMessageW(tip, WM_MOUSEMOVE, 0, MAKELPARAM(middleX, middleY));
    EXPECT_TRUE(tip.hot());
    ::SendMessageW(tip, WM_MOUSEMOVE, 0, MAKELPARAM(middleX, hot.top - 1));
    EXPECT_FALSE(tip.hot());
    ::SendMessageW(tip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hot.right, middleY));
    EXPECT_TRUE(launched.empty());
    ::SendMessageW(tip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(link.left, middleY));
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0], u"https://renew.test/list?subject=cn%3D%ED%99%8D%EA%B8%B8%EB%8F%99%20%22x%22%2Co%3DT");
  }
  EXPECT_EQ(checked, 2);
  // A tip without a query has no hot area and opens nothing anywhere.
  launched.clear();
  tip.ShowTip(L"", POINT{50, 50}, u"text<br>text");
  EXPECT_TRUE(IsEmptyRect(tip.HotRect()));
  for (int y = 0; y < 40; y += 3) ::SendMessageW(tip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, y));
  EXPECT_TRUE(launched.empty());
  // A page that is not a web address is refused on the click and never reaches the seam.
  for (const char16_t *page : {u"file:///c:/windows/calc.exe?q=", u"calc.exe ", u"javascript:alert(1)//"}) {
    tip.renewalPage = page;
    tip.ShowTip(L"q", POINT{50, 50}, linkHtml);
    const HtmlRect hot = tip.HotRect();
    ASSERT_FALSE(IsEmptyRect(hot));
    ::SendMessageW(tip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM((hot.left + hot.right) / 2, (hot.top + hot.bottom) / 2));
    EXPECT_TRUE(launched.empty()) << int(page[0]);
  }
}

// The phone menu: a real popup menu is open (its "#32768" window), the owner forwards each
// WM_MENUSELECT, and the tip goes beside the highlighted item. A timer on the menu's own loop
// checks each step and closes the menu.
struct MenuRun {
  CPPToolTip *tip = nullptr;
  HMENU menu = nullptr;
  HWND owner = nullptr;
  int step = 0;
  RECT firstItem{};
  RECT signRect{}, usbRect{};
  bool signShown = false, usbShown = false, disabledHidden = false, closedOverTip = false;
  RECT menuWindow{};
};
MenuRun *g_menuRun = nullptr;

void CALLBACK MenuStep(HWND, UINT, UINT_PTR, DWORD) {
  MenuRun &run = *g_menuRun;
  HWND menuWindow = ::FindWindowW(L"#32768", nullptr);
  if (menuWindow == nullptr || !::IsWindowVisible(menuWindow)) {
    if (++run.step > 200) ::EndMenu();  // the menu never came: give up, the checks fail below
    return;
  }
  ::GetWindowRect(menuWindow, &run.menuWindow);
  ::GetMenuItemRect(nullptr, run.menu, 0, &run.firstItem);
  run.tip->ShowMenuItemTips(run.menu, kPhoneSignMenuItem, MF_HILITE);
  run.signShown = run.tip->IsWindowVisible() && run.tip->linkMode() == 2;
  run.tip->GetWindowRect(&run.signRect);
  run.tip->ShowMenuItemTips(run.menu, kPhoneUsbKeyMenuItem, MF_HILITE);
  run.usbShown = run.tip->IsWindowVisible();
  run.tip->GetWindowRect(&run.usbRect);
  run.tip->ShowMenuItemTips(run.menu, 2872, MF_HILITE | MF_DISABLED | MF_GRAYED);
  run.disabledHidden = !run.tip->IsWindowVisible();
  // The menu closes while the cursor is over the tip: the service it describes opens.
  run.tip->ShowMenuItemTips(run.menu, kPhoneUsbKeyMenuItem, MF_HILITE);
  ::SetCursorPos((run.usbRect.left + run.usbRect.right) / 2, (run.usbRect.top + run.usbRect.bottom) / 2);
  run.tip->ShowMenuItemTips(nullptr, 0, 0xFFFF);
  run.closedOverTip = !run.tip->IsWindowVisible();
  ::SetCursorPos(0, 0);
  ::KillTimer(run.owner, 77);
  ::EndMenu();
}

TEST(CPPToolTip, TipsBesideTheItemsOfAnOpenMenu) {
  Owner owner;
  CPPToolTip tip;
  ASSERT_TRUE(tip.Create(owner.hwnd, TRUE));
  tip.loadPairText = [](UINT id) {
    return std::u16string(id == 13 ? u"sign tip" : id == 17 ? u"usb key tip" : u"");
  };
  PageSeam pages;
  std::vector<std::u16string> &launched = pages.opened;
  tip.phoneSignSite = u"https://sign.test/start";
  tip.phoneUsbKeySite = u"https://usbkey.test/start";
  HMENU menu = ::CreatePopupMenu();
  ::AppendMenuW(menu, MF_STRING, kPhoneSignMenuItem, L"Phone certificate");
  ::AppendMenuW(menu, MF_STRING, kPhoneUsbKeyMenuItem, L"USB key");
  ::AppendMenuW(menu, MF_STRING | MF_GRAYED, 2872, L"Disabled");
  MenuRun run;
  run.tip = &tip;
  run.menu = menu;
  run.owner = owner.hwnd;
  g_menuRun = &run;
  ::SetForegroundWindow(owner.hwnd);
  ::SetTimer(owner.hwnd, 77, 30, MenuStep);
  ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, 150, 150, 0, owner.hwnd, nullptr);
  ::KillTimer(owner.hwnd, 77);
  g_menuRun = nullptr;

  ASSERT_TRUE(run.signShown);
  // Beside the item: the menu's left plus the item's width plus 10; the walk starts below the
  // menu's edge and adds the heights of the items above.
  const int top = run.menuWindow.top + ::GetSystemMetrics(SM_CYEDGE) + 1;
  const int itemWidth = run.firstItem.right - run.firstItem.left;
  const int itemHeight = run.firstItem.bottom - run.firstItem.top;
  ASSERT_GT(itemHeight, 0);
  EXPECT_EQ(run.signRect.top, top);
  EXPECT_EQ(run.signRect.left, run.menuWindow.left + itemWidth + 10);
  EXPECT_TRUE(run.usbShown);
  EXPECT_EQ(run.usbRect.top, top + itemHeight);
  EXPECT_EQ(run.usbRect.left, run.signRect.left);
  EXPECT_TRUE(run.disabledHidden);
  EXPECT_TRUE(run.closedOverTip);
  ASSERT_EQ(launched.size(), 1u);
  EXPECT_EQ(launched[0], u"https://usbkey.test/start");
  // Closed with the cursor elsewhere: nothing more opens.
  tip.ShowMenuItemTips(nullptr, 0, 0xFFFF);
  EXPECT_FALSE(tip.IsWindowVisible());
  EXPECT_EQ(launched.size(), 1u);
  ::DestroyMenu(menu);
}

std::u16string Number(int n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// Pixels that are not the background colour.
int InkedPixels(const PixelImage &image, uint32_t background) {
  int inked = 0;
  for (uint32_t p : image.pixels) inked += (p & 0xFFFFFF) != background;
  return inked;
}

// The string tag draws the string of the tip's resource module in the process language, Korean at
// id N, English at N + 1: exactly what the same text written out draws.
TEST(TooltipWindows, TheStringTagDrawsTheModuleStringInTheProcessLanguage) {
  Owner owner;
  CPPToolTip2 second;
  second.SetResourceModule(::GetModuleHandleW(nullptr));
  ASSERT_TRUE(second.Create(owner.hwnd));
  auto paint = [&](const std::u16string &html, PixelImage *image) {
    second.ShowHelpTip(POINT{400, 400}, html);
    const BalloonPlacement &p = second.placement();
    Dib32 dib;
    ASSERT_TRUE(dib.Create(nullptr, p.window.width(), p.window.height()));
    ASSERT_TRUE(second.PaintTo(dib.dc(), 0));
    dib.ReadPixels(image);
  };
  struct Case {
    uint16_t language;
    const char16_t *text;
  } cases[] = {
      {kLanguageKorean, u"\uC548\uB155\uD558\uC138\uC694 \uC778\uC99D\uC11C"},
      {kLanguageEnglish, u"Hello certificate"},
  };
  const std::u16string tag = u"<string idres=" + Number(TIP_STRING_GREETING) + u">";
  std::vector<uint32_t> drawn[2];
  for (int i = 0; i < 2; ++i) {
    const Case &c = cases[i];
    SCOPED_TRACE(c.language);
    Language language(c.language);
    PixelImage fromTag, written;
    paint(u"[" + tag + u"]", &fromTag);
    paint(u"[" + std::u16string(c.text) + u"]", &written);
    ASSERT_EQ(fromTag.width, written.width);
    ASSERT_EQ(fromTag.height, written.height);
    EXPECT_TRUE(fromTag.pixels == written.pixels);
    // The other id of the pair draws too ("iddll" names the same strings).
    PixelImage fromLibraryId;
    paint(u"[<string iddll=" + Number(TIP_STRING_GREETING) + u">]", &fromLibraryId);
    EXPECT_TRUE(fromLibraryId.pixels == written.pixels);
    drawn[i] = fromTag.pixels;
    // Ids with no string, and 0, draw nothing: only the brackets remain.
    PixelImage missing, zero, brackets;
    paint(u"[<string idres=30199>]", &missing);
    paint(u"[<string idres=0>]", &zero);
    paint(u"[]", &brackets);
    EXPECT_TRUE(missing.pixels == brackets.pixels);
    EXPECT_TRUE(zero.pixels == brackets.pixels);
    EXPECT_LT(InkedPixels(brackets, HtmlPixelFromColor(::GetSysColor(COLOR_INFOBK) & 0xFFFFFF)),
              InkedPixels(written, HtmlPixelFromColor(::GetSysColor(COLOR_INFOBK) & 0xFFFFFF)));
  }
  EXPECT_FALSE(drawn[0] == drawn[1]);

  // The first generation's dialect has no string tag: the tag draws nothing there.
  CPPToolTip first;
  first.SetResourceModule(::GetModuleHandleW(nullptr));
  ASSERT_TRUE(first.Create(owner.hwnd, FALSE));
  PixelImage withTag, without;
  first.ShowTip(nullptr, POINT{100, 100}, u"[" + tag + u"]");
  ASSERT_TRUE(PaintedPixels(first, &withTag));
  first.ShowTip(nullptr, POINT{100, 100}, u"[]");
  ASSERT_TRUE(PaintedPixels(first, &without));
  EXPECT_TRUE(withTag.pixels == without.pixels);
  // Its drawer reads the same strings for tip lines.
  Language english(kLanguageEnglish);
  EXPECT_EQ(first.drawer().GetResourceTipText(TIP_STRING_BUTTON), u"Open a file");
  EXPECT_EQ(second.drawer().GetResourceTipText(TIP_STRING_PROMPT_ONLY), u"");
  EXPECT_EQ(second.drawer().GetResourceTipText(0x7FFFFFFF), u"");  // no string id: no pair either
}

// A tool-bar window of the owner's, listed with the tooltip: the mouse resting on a button shows
// the tip line of the string of the button's command, in the process language; a separator, a
// button whose string has no tip line, or a tool-bar no longer listed shows nothing.
TEST(CPPToolTip2, AListedToolBarShowsTheTipsOfItsButtons) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
  ASSERT_TRUE(::InitCommonControlsEx(&icc));
  Owner owner;
  HWND bar = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NODIVIDER, 0, 0,
                               380, 40, owner.hwnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(bar, nullptr);
  ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  TBBUTTON buttons[3] = {};
  buttons[0].iBitmap = I_IMAGENONE;
  buttons[0].idCommand = TIP_STRING_BUTTON;
  buttons[0].fsState = TBSTATE_ENABLED;
  buttons[0].fsStyle = BTNS_BUTTON;
  buttons[1].iBitmap = 8;
  buttons[1].fsStyle = BTNS_SEP;
  buttons[2] = buttons[0];
  buttons[2].idCommand = TIP_STRING_PROMPT_ONLY;
  ASSERT_TRUE(::SendMessageW(bar, TB_ADDBUTTONSW, 3, reinterpret_cast<LPARAM>(buttons)));
  RECT rects[3] = {};
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(::SendMessageW(bar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&rects[i])));
  ASSERT_GT(rects[0].right - rects[0].left, 4);

  CPPToolTip2 tip;
  tip.SetResourceModule(::GetModuleHandleW(nullptr));
  ASSERT_TRUE(tip.Create(owner.hwnd));
  tip.timings().initialDelayMs = 20;
  EXPECT_FALSE(tip.AddToolBar(nullptr));
  ASSERT_TRUE(tip.AddToolBar(bar));
  ASSERT_TRUE(tip.AddToolBar(bar));  // once is enough
  int moves = 0;
  auto restOn = [&](const RECT &r) {
    POINT p{(r.left + r.right) / 2 + (++moves % 2), (r.top + r.bottom) / 2};
    ::ClientToScreen(bar, &p);
    ::SetCursorPos(p.x, p.y);
    MSG msg{};
    msg.hwnd = bar;
    msg.message = WM_MOUSEMOVE;
    EXPECT_FALSE(tip.PreTranslateMessage(&msg));
  };
  Flush();
  struct Case {
    uint16_t language;
    const char16_t *tip;
  } cases[] = {
      {kLanguageKorean, u"\uD30C\uC77C \uC5F4\uAE30"},
      {kLanguageEnglish, u"Open a file"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.language);
    Language language(c.language);
    restOn(rects[0]);
    ASSERT_TRUE(PumpUntil([&] { return tip.state() == TooltipState::kShown; }));
    EXPECT_EQ(tip.shownTool().html, c.tip);
    EXPECT_EQ(tip.shownTool().target, bar);
    EXPECT_TRUE(::EqualRect(&tip.shownTool().hotRect, &rects[0]));
    // Nothing to show over the separator or the button without a tip line: the tip goes.
    restOn(rects[1]);
    EXPECT_EQ(tip.state(), TooltipState::kHidden);
    restOn(rects[2]);
    EXPECT_EQ(tip.state(), TooltipState::kHidden);
    Flush();
    EXPECT_EQ(tip.state(), TooltipState::kHidden);
  }
  // No longer listed: its buttons show nothing.
  tip.RemoveToolBar(bar);
  restOn(rects[0]);
  Flush();
  EXPECT_EQ(tip.state(), TooltipState::kHidden);
  ::SetCursorPos(0, 0);
  tip.DestroyWindow();
  ::DestroyWindow(bar);
}

TEST(TooltipWindows, AThousandShowHideCyclesLeaveNoGdiObject) {
  Owner owner;
  CPPToolTip2 second;
  CPPToolTip first;
  ASSERT_TRUE(second.Create(owner.hwnd));
  ASSERT_TRUE(first.Create(owner.hwnd, TRUE));
  second.shadowOffsetX = 4;  // the shadow's masks and regions too
  second.shadowOffsetY = 4;
  auto cycle = [&](int i) {
    second.ShowHelpTip(POINT{200 + i % 7, 300}, kCapsLockTip);
    ::UpdateWindow(second);
    second.OnTimer(kTooltipTimerHide);
    first.ShowTip(L"q", POINT{100, 100 + i % 5}, u"<font color=red>2026-12-31</font> <b>expires</b>");
    ::UpdateWindow(first);
    first.Hide();
  };
  cycle(0);  // the first cycle may make objects GDI keeps for good (fonts, caches)
  Flush();
  const unsigned before = v7test::CountGdiObjects();
  ASSERT_GT(before, 0u);
  for (int i = 1; i <= 1000; ++i) {
    cycle(i);
    if (i % 100 == 0) Flush();
  }
  Flush();
  EXPECT_EQ(v7test::CountGdiObjects(), before);
}

}  // namespace
