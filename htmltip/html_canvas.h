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

// A 32-bit DIB pixel is 0xAARRGGBB, red and blue the other way round from a COLORREF: a pixel
// and a colour are compared only after one is turned into the other.
constexpr uint32_t HtmlPixelFromColor(HtmlColor c) { return HtmlRed(c) << 16 | HtmlGreen(c) << 8 | HtmlBlue(c); }
constexpr HtmlColor HtmlColorFromPixel(uint32_t pixel) { return HtmlRgb(pixel >> 16, pixel >> 8, pixel); }

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

// Where an image comes from, as the image tags and table backgrounds name it; the first source
// given, in the order of the fields, is the one used.
enum class HtmlImageKind { kBitmap = 1, kIcon = 2, kImageList = 3 };

struct HtmlImageSource {
  HtmlImageKind kind = HtmlImageKind::kBitmap;
  int resourceId = 0;         // a resource of this library
  std::u16string file;        // a bitmap or icon file
  int libraryResourceId = 0;  // a resource of `library`, or of the drawer's resource library
  std::u16string library;
  uintptr_t handle = 0;       // a bitmap or icon its owner keeps
  int index = 0;              // of an image list
  // Icons are loaded at the size asked for: pixels, or with the percent flag percent of the
  // system icon size; 0 pixels takes the system icon size.
  int requestedWidth = 0;
  int requestedHeight = 0;
  bool requestedWidthIsPercent = false;
  bool requestedHeightIsPercent = false;
};

// How an image is drawn: the draw manager's effect flags, mask and shadow, and for an image strip
// the frame to draw (frameWidth 0: the whole image).
struct HtmlImageLook {
  int effects = 0;
  bool useMask = false;
  HtmlColor maskColor = 0xFF00FF;
  HtmlColor effectColor = 0;
  bool shadow = false;
  int shadowDx = 0;
  int shadowDy = 0;
  int blurX = 0;
  int blurY = 0;
  int frame = 0;
  int frameWidth = 0;
  int frameHeight = 0;
  // Blend by the image's own alpha bytes when it has any (the second generation); off, only the
  // mask makes it transparent.
  bool alpha = true;
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
//   canvas puts back the font, background mode and colours that were selected before the pass.
//   The pairs nest: each restore_state() puts back what its own save_state() found, at any depth;
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
  // The background fills: -1 nothing, 0 solid, 1 to 6 gradients, 7 to 15 patterns.
  virtual void fill_effect(const HtmlRect &rect, int effect, HtmlColor color, HtmlColor midColor, HtmlColor endColor,
                           int granularity, int blendPercent) = 0;
  // A frame of `width` pixels inside the rectangle, `light` on the left and top, `dark` on the
  // right and bottom, in a line style.
  virtual void draw_frame(const HtmlRect &rect, HtmlColor light, HtmlColor dark, int style, int width) = 0;

  // Images. image_size gives the size of what the source names (a strip: the whole strip), or
  // false when nothing loads; the layout then ignores the tag. Every image the canvas loads for a
  // call is released before the call returns.
  virtual bool image_size(const HtmlImageSource &source, HtmlSize *size) = 0;
  virtual void draw_image(const HtmlImageSource &source, const HtmlRect &box, const HtmlImageLook &look) = 0;
  // Repeats the image over the area, clipping the last row and column.
  virtual void tile_image(const HtmlImageSource &source, const HtmlRect &area) = 0;
};

}  // namespace v7::htmltip
