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
  canvas.restore_state();
  EXPECT_EQ(canvas.Transcript(),
            "save\n"
            "font \\uD55C 10 400 i--\n"
            "color 0000FF\n"
            "mode 2\n"
            "text 4,2-19,12 0000FF \"ab\"\"\n"
            "line 0,20-30,20 w1 s1 00FF00\n"
            "fill -1,5-3,8 FFFFFF\n"
            "restore\n");
  const HtmlRect box = canvas.InkBox();
  EXPECT_EQ(box.left, -1);
  EXPECT_EQ(box.top, 2);
  EXPECT_EQ(box.right, 30);
  EXPECT_EQ(box.bottom, 20);
  // Restoring brings back what was selected before the pass.
  EXPECT_EQ(canvas.font().height, 16);
  EXPECT_EQ(canvas.textColor(), 0u);
  EXPECT_EQ(canvas.backgroundMode(), kHtmlOpaque);
}

}  // namespace
