// The HTML layout on arbitrary UTF-16 input (byte pairs, little-endian): the first unit picks the
// generation, a maximum width and the hot link, the rest is the HTML text. It is measured and drawn
// into the measured box, twice, then again after animation ticks; the mouse is moved over it and
// every link followed. Besides memory safety: the records stay within their bounds, the link areas
// of every paint are as many as of the first, the images within their count and area, without
// wrapping every draw call falls inside the measured box, and only checked http and https
// addresses reach the link opener.
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
  drawer.maxWidth = (head & 2) ? int(head >> 6) : 0;
  drawer.hotLink = int(head >> 2 & 3) - 1;
  drawer.vocabulary().colorsEnabled = (head & 0x8000) == 0;
  int redraws = 0;
  drawer.redrawRequest = [&redraws](int) { redraws++; };
  drawer.openLink = [](const std::u16string &address) {
    // Checked and encoded: a scheme the opener takes, and nothing a command line would split or run.
    std::u16string scheme = address.substr(0, 8);
    for (char16_t &c : scheme) c = c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    require(scheme.rfind(u"http://", 0) == 0 || scheme == u"https://");
    for (char16_t c : address) require(c > 0x20 && c < 0x7F && c != u'"' && c != u'\'' && c != u'\\');
    return 0;
  };
  drawer.linkMessage = [](const std::u16string &text) { return intptr_t(text.size()); };
  HtmlRecordingCanvas canvas;
  canvas.AddImage(HtmlImageKind::kBitmap, 1, HtmlSize{16, 16});
  canvas.AddImage(HtmlImageKind::kBitmap, 2, HtmlSize{64, 16});
  canvas.AddImage(HtmlImageKind::kBitmap, 3, HtmlSize{8192, 3});
  canvas.AddImage(HtmlImageKind::kIcon, 1, HtmlSize{32, 32});
  canvas.SetImageList(4, HtmlSize{16, 16});
  HtmlSize measured;
  if (drawer.MeasureHtml(canvas, text, &measured) != 0) return 0;
  require(drawer.lines().size() <= kMaxHtmlLines && drawer.tables().size() <= kMaxHtmlTables);
  require(measured.cx >= 0 && measured.cy >= 0 && measured.cx <= 4 * kMaxHtmlExtent + 1 &&
          measured.cy <= 4 * kMaxHtmlExtent + 1);
  for (const HtmlTableLayout &table : drawer.tables())
    require(table.rows <= kMaxTableRows && table.columns <= kMaxTableColumns);
  require(drawer.animations().size() <= kMaxHtmlAnimations);
  size_t areas = 0;
  for (int paint = 0; paint < 3; paint++) {
    if (paint == 2) {
      for (int tick = 0; tick < 5; tick++) drawer.AdvanceAnimations();
    }
    canvas.clear();
    drawer.DrawHtml(canvas, HtmlRect{0, 0, measured.cx, measured.cy});
    require(drawer.linkAreas().size() <= kMaxHtmlLinkAreas);
    // Rebuilt by every paint, never accumulated.
    if (paint == 0) areas = drawer.linkAreas().size();
    require(drawer.linkAreas().size() == areas);
    int images = 0;
    int64_t pixels = 0;
    for (const auto &call : canvas.calls()) {
      if (call.op != HtmlRecordingCanvas::Op::kImage) continue;
      images++;
      require(call.x2 > call.x1 && call.y2 > call.y1);
      require(call.x2 - call.x1 <= kMaxHtmlImageSide && call.y2 - call.y1 <= kMaxHtmlImageSide);
      pixels += int64_t(call.x2 - call.x1) * (call.y2 - call.y1);
    }
    require(images <= kMaxHtmlImages && pixels <= kMaxHtmlImagePixels);
    if (measured.cx == 0) {
      require(canvas.InkBox().width() == 0 && canvas.InkBox().height() == 0);
    } else {
      // A wrapped text's width is capped at maxWidth even where one character is wider.
      const HtmlRect ink = canvas.InkBox();
      require(ink.left >= 0 && ink.top >= 0 && ink.bottom <= measured.cy);
      require(drawer.maxWidth != 0 || ink.right <= measured.cx);
    }
  }
  // The mouse over every link area and beside it, then each link followed.
  for (size_t i = 0; i < drawer.linkAreas().size() && i < 64; i++) {
    const HtmlRect r = drawer.linkAreas()[i].rect;
    require(drawer.HitTestLink(r.left, r.top) >= 0 && drawer.HitTestLink(r.left, r.top) <= int(i));
    drawer.OnMouseOverLink(r.left, r.top);
    drawer.OnMouseOverLink(r.right + 1, r.bottom + 1);
    drawer.FollowLink(int(i));
  }
  require(redraws <= 2 * 64 + 1);
  return 0;
}
