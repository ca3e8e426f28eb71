// The surface the HTML drawers lay out and paint through. The parser, the style resolution and the
// layout see only this interface, so they build and run without a window system; the Windows side
// implements it over a device context and GDI, the tests over a recording canvas.
//
// Method names are lower case on purpose: TextOut, DrawText and friends are macros in the Windows
// headers and would rename members of a class that a Windows file includes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace v7::htmltip {

// A colour as GDI's COLORREF: 0x00BBGGRR. Every colour the drawers hold is in this form; a value in
// another byte order (a DIB pixel 0xAARRGGBB, an RGBQUAD) is converted before it is compared.
using HtmlColor = uint32_t;

constexpr HtmlColor HtmlRgb(unsigned r, unsigned g, unsigned b) {
  return HtmlColor((r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16);
}
constexpr unsigned HtmlRed(HtmlColor c) { return c & 0xFF; }
constexpr unsigned HtmlGreen(HtmlColor c) { return c >> 8 & 0xFF; }
constexpr unsigned HtmlBlue(HtmlColor c) { return c >> 16 & 0xFF; }
// The top byte of a COLORREF selects palette modes in GDI; a colour read from text never sets it.
constexpr HtmlColor kHtmlColorMask = 0x00FFFFFF;

struct HtmlSize {
  int cx = 0;
  int cy = 0;
};

struct HtmlRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

// Background modes as the device context takes them.
enum : int { kHtmlTransparent = 1, kHtmlOpaque = 2 };

// Line styles shared with the draw manager; any other value draws solid.
enum : int {
  kHtmlLineSolid = 1,
  kHtmlLineDash = 2,
  kHtmlLineDot = 3,
  kHtmlLineDashDot = 4,
  kHtmlLineDashDotDot = 5,
  kHtmlLineDouble = 6,
};

// What the drawers ask of a font: the fields they fill when they create one from a style. The
// character set is always the default one, every precision, quality and pitch field 0.
struct HtmlFont {
  int height = 16;  // cell height in pixels, positive
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  std::u16string face = u"Verdana";
};

inline bool operator==(const HtmlFont &a, const HtmlFont &b) {
  return a.height == b.height && a.weight == b.weight && a.italic == b.italic && a.underline == b.underline &&
         a.strikeout == b.strikeout && a.face == b.face;
}
inline bool operator!=(const HtmlFont &a, const HtmlFont &b) { return !(a == b); }

// The text metrics the layout reads of the selected font.
struct HtmlTextMetrics {
  int height = 0;
  int ascent = 0;
  int descent = 0;
};

// Measuring only: what lengths in "em", "ex" and physical units need, and what the layout needs to
// place text. Every answer is for the font selected last.
class HtmlMetrics {
 public:
  virtual ~HtmlMetrics() = default;
  // Vertical pixels per logical inch of the device.
  virtual int pixels_per_inch_y() const = 0;
  virtual HtmlTextMetrics text_metrics() const = 0;
  // The extent of a text in the selected font, with the justification set last.
  virtual HtmlSize text_extent(std::u16string_view text) const = 0;
};

// Measuring and painting. The drawers keep to this contract:
// - save_state() is called once at the start of a pass and restore_state() once at its end; the
//   canvas puts back the font, background mode and colours that were selected before the pass;
// - select_font() replaces the selected font; a font the canvas cannot make leaves the previous one
//   selected and returns false, and the layout goes on measuring with that one;
// - set_text_justification(0, 0) turns justification off.
class HtmlCanvas : public HtmlMetrics {
 public:
  virtual void save_state() = 0;
  virtual void restore_state() = 0;
  virtual bool select_font(const HtmlFont &font) = 0;
  virtual void set_background_mode(int mode) = 0;
  virtual void set_text_color(HtmlColor color) = 0;
  virtual void set_background_color(HtmlColor color) = 0;
  // Spread `extra` pixels over the next `breaks` blank characters of text output and extents.
  virtual void set_text_justification(int extra, int breaks) = 0;
  virtual void text_out(int x, int y, std::u16string_view text) = 0;
  // A pen line from (x1, y1) up to but not including (x2, y2).
  virtual void draw_line(int x1, int y1, int x2, int y2, int width, HtmlColor color, int style) = 0;
  virtual void fill_rect(const HtmlRect &rect, HtmlColor color) = 0;
};

}  // namespace v7::htmltip
