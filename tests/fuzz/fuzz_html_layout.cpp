// The HTML layout on arbitrary UTF-16 input (byte pairs, little-endian): the first unit picks the
// generation and a maximum width, the rest is the HTML text. It is measured and drawn into the
// measured box. Besides memory safety: the records stay within their bounds, and without wrapping
// every draw call falls inside the measured box.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "htmltip/html_drawer.h"
#include "htmltip/recording_canvas.h"

namespace {

using namespace v7::htmltip;

void require(bool ok) {
  if (!ok) abort();
}

HtmlColor SystemColor(int index) { return HtmlColor(index * 0x010101); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const unsigned head = data[0] | data[1] << 8;
  std::u16string text;
  for (size_t i = 2; i + 1 < size; i += 2) text.push_back(char16_t(data[i] | data[i + 1] << 8));
  HtmlDrawer drawer((head & 1) ? HtmlGeneration::kFirst : HtmlGeneration::kSecond, SystemColor);
  drawer.maxWidth = (head & 2) ? int(head >> 4) : 0;
  drawer.hotLink = 0;
  HtmlRecordingCanvas canvas;
  canvas.AddImage(HtmlImageKind::kBitmap, 1, HtmlSize{16, 16});
  HtmlSize measured;
  if (drawer.MeasureHtml(canvas, text, &measured) != 0) return 0;
  require(drawer.lines().size() <= kMaxHtmlLines && drawer.tables().size() <= kMaxHtmlTables);
  require(measured.cx >= 0 && measured.cy >= 0 && measured.cx <= 4 * kMaxHtmlExtent + 1 &&
          measured.cy <= 4 * kMaxHtmlExtent + 1);
  for (const HtmlTableLayout &table : drawer.tables())
    require(table.rows <= kMaxTableRows && table.columns <= kMaxTableColumns);
  for (int paint = 0; paint < 2; paint++) {
    canvas.clear();
    drawer.DrawHtml(canvas, HtmlRect{0, 0, measured.cx, measured.cy});
    require(drawer.linkAreas().size() <= kMaxHtmlLinkAreas);
    if (measured.cx == 0) {
      require(canvas.InkBox().width() == 0 && canvas.InkBox().height() == 0);
    } else {
      // A wrapped text's width is capped at maxWidth even where one character is wider.
      const HtmlRect ink = canvas.InkBox();
      require(ink.left >= 0 && ink.top >= 0 && ink.bottom <= measured.cy);
      require(drawer.maxWidth != 0 || ink.right <= measured.cx);
    }
  }
  return 0;
}
