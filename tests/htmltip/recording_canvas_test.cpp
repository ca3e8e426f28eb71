#include <gtest/gtest.h>

#include "htmltip/recording_canvas.h"

namespace {

using namespace v7::htmltip;

TEST(HtmlRecordingCanvas, MetricsAreSimpleFormulas) {
  HtmlRecordingCanvas canvas;
  HtmlFont font;
  font.height = 13;
  canvas.select_font(font);
  EXPECT_EQ(canvas.text_metrics().ascent, 10);
  EXPECT_EQ(canvas.text_metrics().descent, 3);
  EXPECT_EQ(canvas.text_extent(u"abc").cx, 21);
  EXPECT_EQ(canvas.text_extent(u"abc").cy, 13);
  EXPECT_EQ(canvas.text_extent(u"a\U0001F600").cx, 14);  // a pair is one character
  font.weight = 700;
  canvas.select_font(font);
  EXPECT_EQ(canvas.text_extent(u"abc").cx, 24);
  // Justification spreads its pixels over the blanks it was given.
  canvas.set_text_justification(10, 2);
  EXPECT_EQ(canvas.text_extent(u"a b c").cx, 5 * 8 + 10);
  EXPECT_EQ(canvas.text_extent(u"a b").cx, 3 * 8 + 5);
  canvas.set_text_justification(0, 0);
  EXPECT_EQ(canvas.text_extent(u"a b").cx, 24);
  EXPECT_EQ(canvas.pixels_per_inch_y(), 96);
}

TEST(HtmlRecordingCanvas, TranscriptAndInkBox) {
  HtmlRecordingCanvas canvas;
  EXPECT_EQ(canvas.InkBox().width(), 0);
  canvas.save_state();
  HtmlFont font;
  font.height = 10;
  font.italic = true;
  font.face.assign(1, char16_t(0xD55C));
  canvas.select_font(font);
  canvas.set_text_color(0x0000FF);
  canvas.set_background_mode(kHtmlOpaque);
  canvas.text_out(4, 2, u"ab\"");
  canvas.draw_line(0, 20, 30, 20, 1, 0x00FF00, kHtmlLineSolid);
  canvas.fill_rect(HtmlRect{-1, 5, 3, 8}, 0xFFFFFF);
  canvas.fill_effect(HtmlRect{0, 0, 10, 10}, 2, 0x0000FF, 0x00FF00, 0xFF0000, 5, 0);
  canvas.draw_frame(HtmlRect{1, 1, 9, 9}, 0x111111, 0x222222, kHtmlLineDash, 1);
  HtmlImageSource source;
  source.resourceId = 17031;
  HtmlSize size;
  EXPECT_FALSE(canvas.image_size(source, &size));
  canvas.AddImage(HtmlImageKind::kBitmap, 17031, HtmlSize{64, 16});
  ASSERT_TRUE(canvas.image_size(source, &size));
  EXPECT_EQ(size.cx, 64);
  source.kind = HtmlImageKind::kIcon;
  EXPECT_FALSE(canvas.image_size(source, &size));
  HtmlImageLook look;
  look.effects = 0x0201;
  look.frame = 3;
  canvas.draw_image(source, HtmlRect{2, 3, 18, 19}, look);
  canvas.tile_image(source, HtmlRect{0, 0, 40, 8});
  canvas.restore_state();
  EXPECT_EQ(canvas.Transcript(),
            "save\n"
            "font \\uD55C 10 400 i--\n"
            "color 0000FF\n"
            "mode 2\n"
            "text 4,2-19,12 0000FF \"ab\"\"\n"
            "line 0,20-30,20 w1 s1 00FF00\n"
            "fill -1,5-3,8 FFFFFF\n"
            "effect 2 0,0-10,10 0000FF..FF0000 g5\n"
            "frame 1,1-9,9 w1 s2 111111/222222\n"
            "image 17031 2,3-18,19 frame 3 effects 000201\n"
            "tile 17031 0,0-40,8\n"
            "restore\n");
  const HtmlRect box = canvas.InkBox();
  EXPECT_EQ(box.left, -1);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 40);
  EXPECT_EQ(box.bottom, 20);
  // Restoring brings back what was selected before the pass.
  EXPECT_EQ(canvas.font().height, 16);
  EXPECT_EQ(canvas.textColor(), 0u);
  EXPECT_EQ(canvas.backgroundMode(), kHtmlOpaque);
}

}  // namespace
