// Image tags against the recording canvas: the body font is 13 pixels (ascent 10, descent 3, 7
// pixels a character); bitmap 1 is 64 x 16, bitmap 3 is 20 x 10 and icon 2 is 24 x 24.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html_test_support.h"
#include "htmltip/html_drawer.h"
#include "htmltip/html_image.h"
#include "htmltip/pixel_ops.h"
#include "htmltip/recording_canvas.h"

namespace {

using namespace v7::htmltip;
using Op = HtmlRecordingCanvas::Op;

struct Drawn {
  HtmlSize size;
  std::vector<HtmlRecordingCanvas::Call> images;
  std::string boxes;  // "id x1,y1-x2,y2 fN eXXXX" of every image, "|" between
  HtmlRect ink;
};

void AddTestImages(HtmlRecordingCanvas *canvas) {
  canvas->AddImage(HtmlImageKind::kBitmap, 1, HtmlSize{64, 16});
  canvas->AddImage(HtmlImageKind::kBitmap, 3, HtmlSize{20, 10});
  canvas->AddImage(HtmlImageKind::kIcon, 2, HtmlSize{24, 24});
}

Drawn Draw(HtmlDrawer &drawer, std::u16string_view html, HtmlRecordingCanvas *given = nullptr) {
  HtmlRecordingCanvas own;
  HtmlRecordingCanvas &canvas = given ? *given : own;
  AddTestImages(&canvas);
  Drawn out;
  EXPECT_EQ(drawer.MeasureHtml(canvas, html, &out.size), 0);
  canvas.clear();
  drawer.DrawHtml(canvas, HtmlRect{0, 0, out.size.cx, out.size.cy});
  for (const auto &call : canvas.calls()) {
    if (call.op != Op::kImage) continue;
    out.images.push_back(call);
    char text[96];
    std::snprintf(text, sizeof text, "%d %d,%d-%d,%d f%d e%04X", call.value, call.x1, call.y1, call.x2, call.y2,
                  call.value2, unsigned(call.value3));
    if (!out.boxes.empty()) out.boxes += "|";
    out.boxes += text;
  }
  out.ink = canvas.InkBox();
  return out;
}

struct ImageCase {
  HtmlGeneration generation;
  const char16_t *html;
  int cx, cy;
  const char *boxes;
};

TEST(HtmlImage, PlacementTable) {
  constexpr auto kFirst = HtmlGeneration::kFirst;
  constexpr auto kSecond = HtmlGeneration::kSecond;
  const ImageCase cases[] = {
      // Half the bitmap's width: 32 x 16, on the baseline of a line 16 + 3 high.
      {kSecond, u"a<bmp idres=1 width=50%>b", 47, 20, "1 7,0-39,16 f0 e0000"},
      {kSecond, u"<bmp idres=1 width=10 height=200%>", 11, 33, "1 0,0-10,32 f0 e0000"},
      // Nothing loads: the tag is ignored, and a text of nothing else measures 0 x 0.
      {kSecond, u"<bmp idres=99><bmp>", 0, 0, ""},
      // A shadow grows the box by its offsets.
      {kSecond, u"<bmp idres=1 style=s>", 69, 21, "1 0,0-68,20 f0 e0200"},
      {kSecond, u"<bmp idres=1 hotstyle=gs>", 69, 21, "1 0,0-68,20 f0 e0000"},
      // A box without width draws nothing, and its height still counts.
      {kSecond, u"x<bmp idres=1 width=0 style=s>", 8, 20, ""},
      // A strip of 64 x 16 holds four 16 x 16 frames; index 4 is past them and draws nothing.
      {kSecond, u"<ilst idres=1 index=3><ilst idres=1 index=4>", 33, 17, "1 0,0-16,16 f3 e0000"},
      {kSecond, u"<ilst idres=1 cx=32 cy=16 index=1>", 33, 17, "1 0,0-32,16 f1 e0000"},
      // One frame size given is both: 32 x 32 frames do not fit a strip 16 high.
      {kSecond, u"<ilst idres=1 cx=32>", 33, 33, ""},
      // Icons come at the size asked for, by default the system size.
      {kSecond, u"<icon idres=2>", 33, 33, "2 0,0-32,32 f0 e0000"},
      {kSecond, u"<icon idres=2 width=50% height=20>", 17, 21, "2 0,0-16,20 f0 e0000"},
      // Vertical alignment of a 10-pixel bitmap on a line of a 20-pixel one.
      {kSecond, u"<bmp idres=3 height=20><top><bmp idres=3></top><vcenter><bmp idres=3></vcenter>"
                u"<bottom><bmp idres=3></bottom><bmp idres=3>",
       101, 21, "3 0,0-20,20 f0 e0000|3 20,0-40,10 f0 e0000|3 40,5-60,15 f0 e0000|3 60,10-80,20 f0 e0000|"
                "3 80,10-100,20 f0 e0000"},
      // The first generation draws an icon three pixels low, in room its line makes for that.
      {kFirst, u"<bottom><icon idres=2 width=16 height=16></bottom>x", 24, 23, "2 0,6-16,22 f0 e0000"},
      // ... and knows neither styles nor strips.
      {kFirst, u"<bmp idres=3 style=s><ilst idres=1>", 21, 11, "3 0,0-20,10 f0 e0000"},
  };
  for (const ImageCase &c : cases) {
    SCOPED_TRACE(std::string(c.html, c.html + std::char_traits<char16_t>::length(c.html)));
    HtmlDrawer drawer(c.generation, v7test::TestSystemColor);
    const Drawn drawn = Draw(drawer, c.html);
    EXPECT_EQ(drawn.size.cx, c.cx);
    EXPECT_EQ(drawn.size.cy, c.cy);
    EXPECT_EQ(drawn.boxes, c.boxes);
    if (drawn.size.cx > 0) {
      EXPECT_GE(drawn.ink.left, 0);
      EXPECT_GE(drawn.ink.top, 0);
      EXPECT_LE(drawn.ink.right, drawn.size.cx);
      EXPECT_LE(drawn.ink.bottom, drawn.size.cy);
    }
  }
}

TEST(HtmlImage, StyleLettersAndHotStyle) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  HtmlRecordingCanvas canvas;
  struct {
    const char16_t *attributes;
    int style, hotStyle;
  } const cases[] = {
      {u"style=g", kEffectGrey, kEffectGrey},  // style sets the hot style too
      {u"hotstyle=d style=g", kEffectGrey, kEffectGrey},
      {u"style=g hotstyle=dl", kEffectGrey, kEffectDarker | kEffectLighter},
      {u"style=gdlsx", kEffectGrey | kEffectDarker | kEffectLighter | kEffectSoftShadow,
       kEffectGrey | kEffectDarker | kEffectLighter | kEffectSoftShadow},
  };
  for (const auto &c : cases) {
    const HtmlImageAttributes a = drawer.ReadImageAttributes(canvas, c.attributes);
    EXPECT_EQ(a.style, c.style);
    EXPECT_EQ(a.hotStyle, c.hotStyle);
  }
  HtmlImageSettings settings;
  settings.softShadow = false;
  EXPECT_EQ(ImageStyleFlags(u"s", settings), kEffectShadow);
  settings.shadowDx = settings.shadowDy = 0;
  EXPECT_EQ(ImageStyleFlags(u"s", settings), 0);  // no offset, no shadow
  EXPECT_EQ(HtmlImageSettings().shadowColor(), HtmlRgb(127, 127, 127));

  // A bare "mask" keeps the next attribute; its colour is the image's and stays while colours are off.
  drawer.vocabulary().colorsEnabled = false;
  HtmlImageAttributes a = drawer.ReadImageAttributes(canvas, u"mask idres=5");
  EXPECT_EQ(a.useMask, 1);
  EXPECT_EQ(a.resourceId, 5);
  EXPECT_EQ(a.maskColor, 0xFF00FFu);
  a = drawer.ReadImageAttributes(canvas, u"mask=#00ff00 width=40 height=7%");
  EXPECT_EQ(a.maskColor, HtmlRgb(0, 255, 0));
  EXPECT_EQ(a.width, 40);
  EXPECT_EQ(a.widthIsPercent, 0);
  EXPECT_EQ(a.height, 7);
  EXPECT_EQ(a.heightIsPercent, 1);
  // The first generation reads idres, mask, width and height only.
  HtmlDrawer first(HtmlGeneration::kFirst, v7test::TestSystemColor);
  a = first.ReadImageAttributes(canvas, u"idres=4 iddll=5 file=x.bmp style=g cx=3 speed=2");
  EXPECT_EQ(a.resourceId, 4);
  EXPECT_EQ(a.libraryResourceId, 0);
  EXPECT_TRUE(a.file.empty());
  EXPECT_EQ(a.style, 0);
  EXPECT_EQ(a.frameWidth, 0);
  EXPECT_EQ(a.speed, 0);
}

TEST(HtmlImage, TheHotLinkDrawsTheHotStyle) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  const char16_t *html = u"<a href=\"http://a.example/\"><bmp idres=3 style=g hotstyle=d></a>"
                         u"<a msg=two><bmp idres=3 style=g hotstyle=d></a><bmp idres=3 style=g hotstyle=d>";
  Drawn drawn = Draw(drawer, html);
  EXPECT_EQ(drawn.boxes, "3 0,0-20,10 f0 e0001|3 20,0-40,10 f0 e0001|3 40,0-60,10 f0 e0001");
  ASSERT_EQ(drawer.linkAreas().size(), 2u);  // the image outside a link has none
  drawer.hotLink = 1;
  drawn = Draw(drawer, html);
  EXPECT_EQ(drawn.boxes, "3 0,0-20,10 f0 e0001|3 20,0-40,10 f0 e0002|3 40,0-60,10 f0 e0001");
  // While colours are off every image is drawn solid in the disabled colour, shadows kept.
  drawer.vocabulary().colorsEnabled = false;
  drawer.vocabulary().disabledColor = 0x123456;
  drawn = Draw(drawer, u"<bmp idres=3 style=gs>");
  ASSERT_EQ(drawn.images.size(), 1u);
  EXPECT_EQ(drawn.images[0].value3, kEffectSoftShadow | kEffectSolid);
  EXPECT_EQ(drawn.images[0].look.effectColor, 0x123456u);
  EXPECT_TRUE(drawn.images[0].look.shadow);
  EXPECT_EQ(drawn.images[0].look.shadowDx, 4);
  EXPECT_EQ(drawn.images[0].look.blurY, 7);
}

TEST(HtmlImage, FirstGenerationLooks) {
  // Bitmaps always transparent on the mask colour, never blended by alpha; the second generation
  // masks only when asked and blends images that have alpha bytes.
  HtmlDrawer first(HtmlGeneration::kFirst, v7test::TestSystemColor);
  Drawn drawn = Draw(first, u"<bmp idres=3><icon idres=2 width=16 height=16>");
  ASSERT_EQ(drawn.images.size(), 2u);
  EXPECT_TRUE(drawn.images[0].look.useMask);
  EXPECT_FALSE(drawn.images[0].look.alpha);
  EXPECT_FALSE(drawn.images[1].look.useMask);  // an icon has a mask of its own
  EXPECT_FALSE(drawn.images[1].look.alpha);
  HtmlDrawer second(HtmlGeneration::kSecond, v7test::TestSystemColor);
  drawn = Draw(second, u"<bmp idres=3><bmp idres=3 mask=#010203>");
  ASSERT_EQ(drawn.images.size(), 2u);
  EXPECT_FALSE(drawn.images[0].look.useMask);
  EXPECT_TRUE(drawn.images[0].look.alpha);
  EXPECT_TRUE(drawn.images[1].look.useMask);
  EXPECT_EQ(drawn.images[1].look.maskColor, HtmlRgb(1, 2, 3));
}

TEST(HtmlImage, StripsAnimateOnTheOwnersTicks) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  HtmlRecordingCanvas canvas;
  Drawn drawn = Draw(drawer, u"<ilst idres=1 speed=3><ilst idres=1 index=2><ilst idres=3 cy=5 index=1 speed=1>", &canvas);
  ASSERT_EQ(drawer.animations().size(), 2u);
  EXPECT_EQ(drawer.animations()[0].frameCount, 4);
  EXPECT_EQ(drawer.animations()[0].speed, 3);
  EXPECT_EQ(drawer.animations()[1].frameCount, 8);  // 20 x 10 in 5 x 5 frames
  EXPECT_EQ(drawer.animations()[1].frame, 1);
  // The first strip moves every third tick, and after its last frame comes the first.
  std::string frames;
  for (int tick = 0; tick < 12; tick++) {
    EXPECT_TRUE(drawer.AdvanceAnimations());  // the second strip changes on every tick
    frames += std::to_string(drawer.animations()[0].frame);
  }
  EXPECT_EQ(frames, "001112223330");
  EXPECT_EQ(drawer.animations()[1].frame, (1 + 12) % 8);
  drawer.AdvanceAnimations();
  canvas.clear();
  drawer.DrawHtml(canvas, HtmlRect{0, 0, drawn.size.cx, drawn.size.cy});
  std::string drawnFrames;
  for (const auto &call : canvas.calls())
    if (call.op == Op::kImage) drawnFrames += std::to_string(call.value2) + " ";
  EXPECT_EQ(drawnFrames, "0 2 6 ");
  // A still text has nothing to move.
  drawer.MeasureHtml(canvas, u"<ilst idres=1>", &drawn.size);
  EXPECT_TRUE(drawer.animations().empty());
  EXPECT_FALSE(drawer.AdvanceAnimations());
}

TEST(HtmlImage, ImageListAndWrapping) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  HtmlRecordingCanvas canvas;
  canvas.SetImageList(3, HtmlSize{16, 16});
  Drawn drawn = Draw(drawer, u"<ilst index=2 width=50% height=50%><ilst index=3>", &canvas);
  EXPECT_EQ(drawn.boxes, "2 0,0-8,8 f0 e0000");
  EXPECT_EQ(drawn.size.cx, 9);
  // An image that does not fit what is left of the line starts the next one.
  drawer.maxWidth = 30;
  drawn = Draw(drawer, u"ab<bmp idres=3>c");
  EXPECT_EQ(drawn.boxes, "3 0,13-20,23 f0 e0000");
  ASSERT_EQ(drawer.lines().size(), 2u);
  EXPECT_EQ(drawer.lines()[0].wrapped, 1);
  EXPECT_EQ(drawn.size.cy, 13 + 13 + 1);
  // Wrapped where it was measured, though the undrawn blank ending "ab " leaves room for it.
  drawer.maxWidth = 50;
  drawn = Draw(drawer, u"ab <bmp idres=3 width=32 height=32><br>aaaaaaa");
  EXPECT_EQ(drawn.boxes, "3 0,13-32,45 f0 e0000");
  EXPECT_GE(drawn.ink.top, 0);
  // Text wrapped at its leading blank after an image goes on the next line, not the one after.
  HtmlRecordingCanvas canvas2;
  drawn = Draw(drawer, u"abcd<bmp idres=3> efgh<br>aaaaaaa", &canvas2);
  std::string texts;
  for (const auto &call : canvas2.calls())
    if (call.op == Op::kText) texts += std::to_string(call.y1) + ":" + std::string(call.text.begin(), call.text.end()) + " ";
  EXPECT_EQ(texts, "0:abcd 13:efgh 26:aaaaaaa ");
}

TEST(HtmlImage, ImagesAreBoundedInCountAndArea) {
  std::u16string many;
  for (int i = 0; i < 2000; i++) many += u"<bmp idres=3>";
  std::u16string huge;
  for (int i = 0; i < 100; i++) huge += u"<bmp idres=1 width=1600% height=1600%><br>";
  for (const std::u16string &html : {many, huge, std::u16string(u"<bmp idres=1 width=16384%>")}) {
    HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
    const Drawn drawn = Draw(drawer, html);
    EXPECT_LE(drawn.images.size(), size_t(kMaxHtmlImages));
    int64_t pixels = 0;
    for (const auto &call : drawn.images) {
      EXPECT_LE(call.x2 - call.x1, kMaxHtmlImageSide);
      EXPECT_LE(call.y2 - call.y1, kMaxHtmlImageSide);
      pixels += int64_t(call.x2 - call.x1) * (call.y2 - call.y1);
    }
    EXPECT_LE(pixels, kMaxHtmlImagePixels);
    EXPECT_GT(drawn.images.size(), 0u);
    EXPECT_LE(drawn.ink.right, drawn.size.cx);
    EXPECT_LE(drawn.ink.bottom, drawn.size.cy);
  }
  EXPECT_EQ(ScaledImageBox(HtmlSize{8192, 8192}, HtmlImageAttributes{}).cx, 8192);
  HtmlImageAttributes wide;
  wide.width = 16384;
  EXPECT_EQ(ScaledImageBox(HtmlSize{8192, 1}, wide).cx, kMaxHtmlImageSide);
}

}  // namespace
