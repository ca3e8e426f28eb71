// The layout engine against the recording canvas: the body font is 13 pixels (ascent 10, descent 3,
// 7 pixels a character, 8 in bold), so every position below can be checked by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html_test_support.h"
#include "htmltip/html_drawer.h"
#include "htmltip/recording_canvas.h"
#include "platform/errors/error_codes.h"

namespace {

using namespace v7::htmltip;
using Op = HtmlRecordingCanvas::Op;

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? char(c) : '?');
  return out;
}

struct Laid {
  HtmlSize size;
  std::string texts;  // "x,y:text" of every text call, "|" between
  std::string lines;  // "x1,y1-x2,y2/w" of every line call
  HtmlRecordingCanvas canvas;
};

// Measures, then draws into the measured box (or `drawWidth` wide when given).
Laid Lay(HtmlDrawer &drawer, std::u16string_view html, int drawWidth = 0) {
  Laid out;
  EXPECT_EQ(drawer.MeasureHtml(out.canvas, html, &out.size), 0);
  out.canvas.clear();
  drawer.DrawHtml(out.canvas, HtmlRect{0, 0, drawWidth ? drawWidth : out.size.cx, out.size.cy});
  for (const auto &call : out.canvas.calls()) {
    if (call.op == Op::kText) {
      if (!out.texts.empty()) out.texts += "|";
      out.texts += std::to_string(call.x1) + "," + std::to_string(call.y1) + ":" + Narrow(call.text);
    } else if (call.op == Op::kLine) {
      if (!out.lines.empty()) out.lines += "|";
      out.lines += std::to_string(call.x1) + "," + std::to_string(call.y1) + "-" + std::to_string(call.x2) + "," +
                   std::to_string(call.y2) + "/" + std::to_string(call.value);
    }
  }
  return out;
}

struct Case {
  const char16_t *html;
  int maxWidth;
  int cx, cy;
  const char *texts;
};

TEST(HtmlDrawer, LayoutTable) {
  const Case cases[] = {
      {u"", 0, 0, 0, ""},
      {u"abc", 0, 22, 14, "0,0:abc"},
      {u"a<<b", 0, 22, 14, "0,0:a<b"},
      {u"a<b", 0, 15, 14, "0,0:ab"},       // a "<" without ">" is dropped
      {u"a<", 0, 15, 14, "0,0:a<"},        // a final "<" is literal
      {u"a<br=2>b", 0, 8, 40, "0,0:a|0,26:b"},
      {u"a<br>b\nc", 0, 8, 40, "0,0:a|0,13:b|0,26:c"},
      {u"aa<t>b", 0, 40, 14, "0,0:aa|32,0:b"},
      {u"a<t=2>b", 0, 72, 14, "0,0:a|64,0:b"},
      {u"a<t 2>b", 0, 40, 14, "0,0:a|32,0:b"},  // a count after a blank is lost
      {u"<t><t=0>b", 0, 72, 14, "64,0:b"},
      {u"<unknown>a</zz>", 0, 8, 14, "0,0:a"},
      // Wrapping: a long word on an empty line is cut between characters ...
      {u"abcdefghij", 30, 29, 40, "0,0:abcd|0,13:efgh|0,26:ij"},
      {u"ab abcdefgh", 30, 29, 40, "0,0:ab|0,13:abcd|0,26:efgh"},
      // ... and on a line with content moves to the next line first.
      {u"<b>x</b>abcdefgh", 30, 29, 40, "0,0:x|0,13:abcd|0,26:efgh"},
      {u"abcdefghij", 0, 71, 14, "0,0:abcdefghij"},  // no maxWidth, no wrapping
      // The draw pass wraps where the measure pass did, though the blank it leaves undrawn at the
      // line's end makes room for what follows.
      {u"ab <font size=30>xy</font><br>aaaaaaa", 50, 50, 57, "0,0:ab|0,13:xy|0,43:aaaaaaa"},
      // Alignment against the widest line, in the box one pixel wider.
      {u"abcd<br><center>ab</center><br><right>ab", 0, 29, 40, "0,0:abcd|7,13:ab|15,26:ab"},
      // Vertical alignment on a line with a 26-pixel font (ascent 20, descent 6).
      {u"<font size=26>A</font>a<top>b</top><vcenter>c</vcenter><bottom>d</bottom>", 0, 42, 27,
       "0,0:A|13,10:a|20,0:b|27,6:c|34,13:d"},
      {u"<span class=none>&lt;b&gt;</span>", 0, 22, 14, "0,0:<b>"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Narrow(c.html));
    HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
    drawer.maxWidth = c.maxWidth;
    Laid laid = Lay(drawer, c.html);
    EXPECT_EQ(laid.size.cx, c.cx);
    EXPECT_EQ(laid.size.cy, c.cy);
    EXPECT_EQ(laid.texts, c.texts);
    if (laid.size.cx > 0) {
      const HtmlRect ink = laid.canvas.InkBox();
      EXPECT_GE(ink.left, 0);
      EXPECT_GE(ink.top, 0);
      EXPECT_LE(ink.right, laid.size.cx);
      EXPECT_LE(ink.bottom, laid.size.cy);
    }
  }
}

TEST(HtmlDrawer, StyleNesting) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  Laid laid = Lay(drawer, u"<b><b>x</b>y</b>z</i>w<i>v</b>u");
  std::string weights;
  for (const auto &call : laid.canvas.calls()) {
    if (call.op == Op::kText) weights += std::to_string(call.font.weight) + (call.font.italic ? "i " : " ");
  }
  // 400 doubled to 800, then capped at 900; a stray closing i changes nothing, and a closing b
  // does not end an i.
  EXPECT_EQ(weights, "900 800 400 400 400i 400i ");
}

// Where each recorded line is drawn, against where the draw pass put its text: every text call
// lies in the box of its own line, and a line's box starts where its first text does.
TEST(HtmlDrawer, LineBoxesAreWhereTheLinesAreDrawn) {
  struct {
    HtmlGeneration generation;
    const char16_t *html;
    HtmlRect rect;  // drawn into; a right edge of 0: the measured width
    const char *boxes;
  } cases[] = {
      {HtmlGeneration::kFirst, u"ab<br>cde", {5, 7, 0, 0}, "5,7-19,20 5,20-26,33"},
      {HtmlGeneration::kFirst, u"<center>ab<br>abcd</center>", {0, 0, 0, 0}, "7,0-21,13 0,13-28,26"},
      {HtmlGeneration::kSecond, u"<right>ab</right><br><br>x", {10, 0, 50, 0}, "36,0-50,13 10,13-10,26 10,26-17,39"},
      {HtmlGeneration::kSecond, u"<h1>ab</h1>cd", {0, 3, 0, 0}, ""},  // filled from the drawn texts below
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Narrow(c.html));
    HtmlDrawer drawer(c.generation, v7test::TestSystemColor);
    HtmlRecordingCanvas canvas;
    HtmlSize size;
    ASSERT_EQ(drawer.MeasureHtml(canvas, c.html, &size), 0);
    HtmlRect rect = c.rect;
    if (rect.right == 0) rect.right = rect.left + size.cx;
    rect.bottom = rect.top + size.cy;
    canvas.clear();
    drawer.DrawHtml(canvas, rect);
    std::string boxes;
    for (size_t i = 0; i < drawer.lines().size(); ++i) {
      const HtmlRect b = drawer.LineBox(i, rect);
      if (!boxes.empty()) boxes += " ";
      boxes += std::to_string(b.left) + "," + std::to_string(b.top) + "-" + std::to_string(b.right) + "," +
               std::to_string(b.bottom);
    }
    if (*c.boxes != 0) {
      EXPECT_EQ(boxes, c.boxes);
    }
    // Each text call in its line's box: the lines are drawn in order, one box below the other.
    size_t line = 0;
    bool first = true;
    for (const auto &call : canvas.calls()) {
      if (call.op != Op::kText) continue;
      while (line < drawer.lines().size() && call.y1 >= drawer.LineBox(line, rect).bottom) {
        ++line;
        first = true;
      }
      ASSERT_LT(line, drawer.lines().size()) << Narrow(call.text);
      const HtmlRect b = drawer.LineBox(line, rect);
      EXPECT_TRUE(call.x1 >= b.left && call.x2 <= b.right && call.y1 >= b.top && call.y2 <= b.bottom)
          << Narrow(call.text) << " at " << call.x1 << "," << call.y1 << "-" << call.x2 << "," << call.y2;
      if (first) {
        EXPECT_EQ(call.x1, b.left) << Narrow(call.text);
      }
      first = false;
    }
  }
  HtmlDrawer drawer(HtmlGeneration::kFirst, v7test::TestSystemColor);
  HtmlRecordingCanvas canvas;
  HtmlSize size;
  ASSERT_EQ(drawer.MeasureHtml(canvas, u"ab", &size), 0);
  const HtmlRect past = drawer.LineBox(1, HtmlRect{0, 0, 20, 20});
  EXPECT_TRUE(past.left == 0 && past.top == 0 && past.right == 0 && past.bottom == 0);
}

TEST(HtmlDrawer, JustifiedLinesStretchWhenWrapped) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  drawer.maxWidth = 40;
  Laid laid = Lay(drawer, u"<justify>aa bb cc dd</justify>", 40);
  EXPECT_EQ(laid.texts, "0,0:aa bb|0,13:cc dd");
  ASSERT_EQ(drawer.lines().size(), 2u);
  EXPECT_EQ(drawer.lines()[0].wrapped, 1);
  EXPECT_EQ(drawer.lines()[0].spaceCount, 1);
  EXPECT_EQ(drawer.lines()[1].wrapped, 0);
  int stretched = 0, plain = 0;
  for (const auto &call : laid.canvas.calls()) {
    if (call.op == Op::kText) (call.x2 == 40 ? stretched : plain)++;
  }
  EXPECT_EQ(stretched, 1);  // the first line fills the width, the last keeps its own
  EXPECT_EQ(plain, 1);
}

TEST(HtmlDrawer, RulesAndOverline) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  // A rule of 40 pixels, 3 thick: the line is 11 high (3 + 8), the rule at its middle.
  Laid laid = Lay(drawer, u"<hr width=40 size=3>");
  EXPECT_EQ(laid.size.cx, 41);
  EXPECT_EQ(laid.size.cy, 12);
  EXPECT_EQ(laid.lines, "0,5-40,5/3");
  // In percent: one pixel in the measure, half of the line in the draw.
  laid = Lay(drawer, u"abcdefgh<br><hr width=50%>");
  EXPECT_EQ(drawer.lines()[1].percentWidth, 50);
  EXPECT_EQ(laid.lines, "0,17-29,17/1");  // 50% of 57, rounded as MulDiv
  EXPECT_LE(laid.canvas.InkBox().right, laid.size.cx);
  // A percentage rule after text never runs past the box.
  laid = Lay(drawer, u"abcd<hr width=300%>x");
  EXPECT_LE(laid.canvas.InkBox().right, laid.size.cx);
  // A tab after a rule in percent keeps the width it was measured with: from x = 36 to 64, then
  // "x" at the right edge.
  laid = Lay(drawer, u"abcd<hr width=100%>abcd<t>x");
  EXPECT_EQ(laid.size.cx, 2 * 71 + 1);
  EXPECT_EQ(laid.canvas.InkBox().right, laid.size.cx);
  drawer.vocabulary().LoadStyleSheet(u"body {font-size:13px} .o {text-decoration:overline} .cap {text-transform:capitalize}");
  laid = Lay(drawer, u"<span class=o>ab</span><b><span class=o>c</span></b>");
  EXPECT_EQ(laid.lines, "0,0-14,0/1|14,0-22,0/2");
  laid = Lay(drawer, u"<span class=cap>hELLO wORLD</span>");
  EXPECT_EQ(laid.texts, "0,0:Hello World");
}

TEST(HtmlDrawer, LinkAreasAreRebuiltOnEveryDraw) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  HtmlRecordingCanvas canvas;
  HtmlSize size;
  ASSERT_EQ(drawer.MeasureHtml(canvas, u"x<a href=\"https://example.com/\">ab</a><a msg=m>c</a>", &size), 0);
  for (int paint = 0; paint < 3; paint++) drawer.DrawHtml(canvas, HtmlRect{0, 0, size.cx, size.cy});
  ASSERT_EQ(drawer.linkAreas().size(), 2u);
  EXPECT_EQ(drawer.linkAreas()[0].kind, 1);
  EXPECT_EQ(drawer.linkAreas()[0].number, 0);
  EXPECT_EQ(drawer.linkAreas()[0].rect.left, 7);
  EXPECT_EQ(drawer.linkAreas()[0].rect.right, 21);
  EXPECT_EQ(drawer.linkAreas()[0].text, u"https://example.com/");
  EXPECT_EQ(drawer.linkAreas()[1].kind, 2);
  EXPECT_EQ(drawer.linkAreas()[1].number, 1);
}

TEST(HtmlDrawer, HostileTextsStayBounded) {
  const std::u16string manyBreaks = [] {
    std::u16string s;
    for (int i = 0; i < 4500; i++) s += u"<br=64>";
    return s + u"end";
  }();
  const std::u16string manyTabs = [] {
    std::u16string s;
    for (int i = 0; i < 3000; i++) s += u"<t=999999>";
    return s + u"end";
  }();
  // More lines than a pass lays out, each with text: the last one laid out counts in the height.
  const std::u16string manyLines = [] {
    std::u16string s;
    for (int i = 0; i < 4200; i++) s += u"x<br>";
    return s;
  }();
  const std::u16string deepStyles = [] {
    std::u16string s;
    for (int i = 0; i < 1500; i++) s += u"<b><font size=16384>";
    return s + u"x";
  }();
  for (const std::u16string &html : {manyBreaks, manyTabs, deepStyles, manyLines}) {
    for (int maxWidth : {0, 1, 50}) {
      HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
      drawer.maxWidth = maxWidth;
      Laid laid = Lay(drawer, html);
      EXPECT_LE(drawer.lines().size(), kMaxHtmlLines);
      EXPECT_LE(laid.size.cx, kMaxHtmlExtent * 4 + 1);
      EXPECT_LE(laid.size.cy, kMaxHtmlExtent * 4 + 1);
      const HtmlRect ink = laid.canvas.InkBox();
      // A wrapped text's width is capped at maxWidth even when one character is wider.
      if (maxWidth == 0) {
        EXPECT_LE(ink.right, laid.size.cx);
      }
      EXPECT_LE(ink.bottom, laid.size.cy);
    }
  }
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  Laid laid = Lay(drawer, manyBreaks);
  EXPECT_TRUE(drawer.truncated());
  EXPECT_EQ(laid.texts, "");  // "end" lies past the bound and is drawn by neither pass
  // Drawing into a narrower box than measured never replays past the recorded lines.
  drawer.maxWidth = 40;
  HtmlRecordingCanvas canvas;
  HtmlSize size;
  ASSERT_EQ(drawer.MeasureHtml(canvas, u"aaaa bbbb cccc dddd", &size), 0);
  drawer.DrawHtml(canvas, HtmlRect{0, 0, 8, size.cy});
  EXPECT_LE(canvas.InkBox().bottom, size.cy);
}

// The draw pass wraps where the measure pass did, in the box maxWidth wide, though the tooltips
// draw into the measured size, one pixel wider: every line break falls where it was measured and
// nothing is drawn below the measured height.
TEST(HtmlDrawer, DrawWrapsInTheMeasuredBox) {
  struct {
    const char16_t *html;
    int maxWidth;
  } cases[] = {
      // A blank that no longer fits after a wide character, then an icon and a double break.
      {u"\x82 ><icon idres=1>><br=2>>", 6},
      {u"ab cd<t>ef gh", 20},
      {u"<center>ab cd ef</center>", 15},
      {u"<justify>aa bb cc dd ee</justify>", 36},
      {u"xx <bmp idres=2>yy", 40},
  };
  // The draw keeps to the measured width whatever the drawer's width says by then: unset, narrower
  // or wider.
  for (const auto &c : cases) {
    for (int drawWidth : {-1, 0, 3, 1000}) {
      SCOPED_TRACE(Narrow(c.html) + " drawn at width " + std::to_string(drawWidth));
      HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
      drawer.maxWidth = c.maxWidth;
      HtmlRecordingCanvas canvas = v7test::MeasuredCanvas();
      canvas.AddImage(HtmlImageKind::kIcon, 1, HtmlSize{32, 32});
      canvas.AddImage(HtmlImageKind::kBitmap, 2, HtmlSize{16, 16});
      HtmlSize size;
      ASSERT_EQ(drawer.MeasureHtml(canvas, c.html, &size), 0);
      ASSERT_GT(size.cy, 0);
      if (drawWidth >= 0) drawer.maxWidth = drawWidth;
      canvas.clear();
      const HtmlRect rect{0, 0, size.cx, size.cy};
      drawer.DrawHtml(canvas, rect);
      EXPECT_LE(canvas.InkBox().bottom, size.cy);
      // Each text and image lies on the line recorded for it: the lines in order, one below the
      // other, none skipped and none drawn twice.
      size_t line = 0;
      std::vector<bool> used(drawer.lines().size(), false);
      for (const auto &call : canvas.calls()) {
        if (call.op != Op::kText && call.op != Op::kImage) continue;
        while (line < drawer.lines().size() && call.y1 >= drawer.LineBox(line, rect).bottom) ++line;
        ASSERT_LT(line, drawer.lines().size()) << Narrow(call.text);
        const HtmlRect box = drawer.LineBox(line, rect);
        EXPECT_TRUE(call.y1 >= box.top && call.y2 <= box.bottom)
            << Narrow(call.text) << " on line " << line << " at " << call.y1 << "-" << call.y2;
        used[line] = true;
      }
      // Every recorded line with content got some.
      for (size_t i = 0; i < drawer.lines().size(); ++i) {
        if (drawer.lines()[i].width > 0) {
          EXPECT_TRUE(used[i]) << "line " << i;
        }
      }
    }
  }
}

// Wrapping a long run measures each line about as far as it reaches, not the rest of the run nor
// every break in it for every line: the characters measured grow with the text, not its square.
TEST(HtmlDrawer, WrappingALongRunMeasuresItOnce) {
  class CountingCanvas : public HtmlRecordingCanvas {
   public:
    HtmlSize text_extent(std::u16string_view text) const override {
      measured += text.size();
      return HtmlRecordingCanvas::text_extent(text);
    }
    mutable size_t measured = 0;
  };
  std::u16string run;
  for (int i = 0; i < 4000; i++) run += u"ab ";
  for (const std::u16string &html : {run, std::u16string(12000, u'a')}) {
    HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
    drawer.maxWidth = 30;  // four characters a line
    CountingCanvas canvas;
    HtmlSize size;
    ASSERT_EQ(drawer.MeasureHtml(canvas, html, &size), 0);
    ASSERT_GT(drawer.lines().size(), 2000u);
    EXPECT_LT(canvas.measured, 40 * html.size());
    canvas.measured = 0;
    drawer.DrawHtml(canvas, HtmlRect{0, 0, size.cx, size.cy});
    EXPECT_LT(canvas.measured, 40 * html.size());
    EXPECT_LE(canvas.InkBox().bottom, size.cy);
  }
}

TEST(HtmlDrawer, FirstGenerationNeverWraps) {
  HtmlDrawer drawer(HtmlGeneration::kFirst, v7test::TestSystemColor);
  drawer.maxWidth = 20;
  Laid laid = Lay(drawer, u"abcdef<t>x");
  EXPECT_EQ(laid.texts, "0,0:abcdef|48,0:x");  // tabs of 24 pixels
  EXPECT_EQ(laid.size.cx, 21);
}

TEST(HtmlDrawer, AttributesSplit) {
  const std::u16string_view text = u" face='Ar ial' size=3 x=\"q\" bare";
  size_t pos = 0;
  std::u16string_view name, value;
  std::string seen;
  while (HtmlDrawer::NextAttribute(text, &pos, &name, &value)) seen += Narrow(name) + "[" + Narrow(value) + "]";
  EXPECT_EQ(seen, "face[Ar ial]size[3]x[q]bare[]");
}

}  // namespace

namespace {

using namespace v7::htmltip;

TEST(HtmlDrawer, StringTagsAndRefusals) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  drawer.loadString = [](int id) { return id == 7 ? std::u16string(u"seven") : std::u16string(); };
  HtmlRecordingCanvas canvas;
  HtmlSize size;
  ASSERT_EQ(drawer.MeasureHtml(canvas, u"a<string idres=7>b", &size), 0);
  EXPECT_EQ(size.cx, 7 * 7 + 1);
  // Nothing to lay out: 0 x 0, and the later draw draws nothing.
  ASSERT_EQ(drawer.MeasureHtml(canvas, u"<string iddll=8><b></b>", &size), 0);
  EXPECT_EQ(size.cx, 0);
  EXPECT_EQ(size.cy, 0);
  canvas.clear();
  drawer.DrawHtml(canvas, HtmlRect{0, 0, 50, 50});
  EXPECT_TRUE(canvas.calls().empty());
  // String ids are 16 bits: one beyond them, or below 1, asks for no string at all.
  std::vector<int> asked;
  drawer.loadString = [&asked](int id) {
    asked.push_back(id);
    return std::u16string(u"s");
  };
  for (const char16_t *html : {u"<string idres=65535>", u"<string idres=65536>", u"<string iddll=131071>",
                               u"<string idres=-1>", u"<string idres=99999999999>"})
    ASSERT_EQ(drawer.MeasureHtml(canvas, html, &size), 0) << Narrow(html);
  EXPECT_EQ(asked, (std::vector<int>{65535}));
  // A text past the bound is refused whole.
  EXPECT_EQ(drawer.MeasureHtml(canvas, std::u16string(kMaxHtmlTextUnits + 1, u'a'), &size), v7::kErrHtmlTextTooLong);
  EXPECT_EQ(size.cx, 0);
  // Toggling flags: an italic inside an italic is upright again.
  ASSERT_EQ(drawer.MeasureHtml(canvas, u"<i><i>x</i></i>", &size), 0);
  canvas.clear();
  drawer.DrawHtml(canvas, HtmlRect{0, 0, size.cx, size.cy});
  for (const auto &call : canvas.calls()) {
    if (call.op == HtmlRecordingCanvas::Op::kText) {
      EXPECT_FALSE(call.font.italic);
    }
  }
}

}  // namespace
