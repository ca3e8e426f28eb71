// Tables against the recording canvas: a 13-pixel body font (7 pixels a character), cells with the
// default padding of 2, so every column, row and frame below can be checked by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html_test_support.h"
#include "htmltip/html_drawer.h"
#include "htmltip/html_limits.h"
#include "htmltip/internal.h"
#include "htmltip/recording_canvas.h"

namespace {

using namespace v7::htmltip;
using Op = HtmlRecordingCanvas::Op;

std::string Calls(const HtmlRecordingCanvas &canvas, Op op) {
  std::string out;
  for (const auto &call : canvas.calls()) {
    if (call.op != op) continue;
    if (!out.empty()) out += "|";
    out += std::to_string(call.x1) + "," + std::to_string(call.y1) + "-" + std::to_string(call.x2) + "," +
           std::to_string(call.y2);
    if (op == Op::kFrame) out += "/w" + std::to_string(call.value) + "s" + std::to_string(call.value2);
    if (op == Op::kText) out += ":" + std::string(call.text.begin(), call.text.end());
  }
  return out;
}

struct Table {
  HtmlSize size;
  HtmlRecordingCanvas canvas;
};

Table LayTable(HtmlDrawer &drawer, std::u16string_view html, int drawWidth = 0) {
  Table out;
  EXPECT_EQ(drawer.MeasureHtml(out.canvas, html, &out.size), 0);
  out.canvas.clear();
  drawer.DrawHtml(out.canvas, HtmlRect{0, 0, drawWidth ? drawWidth : out.size.cx, out.size.cy});
  const HtmlRect ink = out.canvas.InkBox();
  EXPECT_LE(ink.right, drawWidth ? drawWidth : out.size.cx);
  EXPECT_LE(ink.bottom, out.size.cy);
  return out;
}

TEST(HtmlTable, CellsSpansAndWidths) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  // Two cells of 7 and 14 pixels, no spacing, padding 2 (the default margin): columns 11 and 18,
  // rows 17; the table 11 + 18 + 1 wide.
  Table t = LayTable(drawer, u"<table><tr><td>a</td><td>bb</td></tr></table>");
  ASSERT_EQ(drawer.tables().size(), 1u);
  EXPECT_EQ(drawer.tables()[0].columnWidths, (std::vector<int>{11, 19}));
  EXPECT_EQ(drawer.tables()[0].rowHeights, (std::vector<int>{17}));
  EXPECT_EQ(t.size.cx, 31);
  EXPECT_EQ(t.size.cy, 18);
  // Drawn one pixel wider than measured: the surplus goes to the last free column.
  EXPECT_EQ(Calls(t.canvas, Op::kText), "2,2-9,15:a|14,2-28,15:bb");
  // A cell of colspan 2 wider than its columns widens both; the odd pixel goes to the second.
  ASSERT_EQ(drawer.MeasureHtml(t.canvas, u"<table><tr><td>a<td>a</tr><tr><td colspan=2>abcdefg</tr></table>", &t.size), 0);
  EXPECT_EQ(drawer.tables()[0].columnWidths, (std::vector<int>{26, 27}));
  // Rowspan 2: the next cell of the lower row goes to the following column.
  t = LayTable(drawer, u"<table><tr><td rowspan=2>A<td>B</tr><tr><td>C</tr></table>");
  EXPECT_EQ(drawer.tables()[0].columns, 2);
  EXPECT_EQ(drawer.tables()[0].cell(1, 0).colspan, -1);
  EXPECT_EQ(drawer.tables()[0].cell(1, 1).colspan, 1);
  EXPECT_EQ(Calls(t.canvas, Op::kText), "2,2-9,15:A|14,2-21,15:B|14,20-21,33:C");
  // A table under a wider text is widened to the full width among the columns without a width.
  t = LayTable(drawer, u"abcdefghijklmnop<table><tr><td width=20>a<td>b<td>c</tr></table>");
  EXPECT_EQ(drawer.tables()[0].columnWidths, (std::vector<int>{24, 43, 44}));
  EXPECT_EQ(Calls(t.canvas, Op::kText), "0,0-112,13:abcdefghijklmnop|2,15-9,28:a|27,15-34,28:b|71,15-78,28:c");
}

TEST(HtmlTable, BordersFillsAndNesting) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  // Border 3 dashed becomes a one-pixel dashed frame.
  Table t = LayTable(drawer, u"<table border=3 borderstyle=dashed bgcolor=red><tr><td>a</tr></table>");
  EXPECT_EQ(Calls(t.canvas, Op::kFrame), "0,0-16,21/w1s2|1,1-15,20/w1s2");
  EXPECT_NE(Calls(t.canvas, Op::kFillEffect), "");
  // An empty table measures as its border and spacing only.
  drawer.MeasureHtml(t.canvas, u"<table border=2 cellspacing=3></table>", &t.size);
  EXPECT_EQ(t.size.cx, 3 + 4 + 1);
  // A nested table stays inside its cell's content box.
  t = LayTable(drawer, u"<table><tr><td>x<table border=1><tr><td>ab</tr></table></tr></table>");
  ASSERT_EQ(drawer.tables().size(), 2u);
  const std::string frames = Calls(t.canvas, Op::kFrame);
  EXPECT_EQ(frames, "2,15-25,36/w1s1|3,16-24,35/w1s1");
}

TEST(HtmlTable, HostileTablesStayBounded) {
  std::u16string deep;
  for (int i = 0; i < 1500; i++) deep += u"<table><tr><td>";
  std::u16string wide = u"<table><tr>";
  for (int i = 0; i < 500; i++) wide += u"<td colspan=99999 rowspan=99999 width=16384>x";
  wide += u"</table>";
  std::u16string rows = u"<table>";
  for (int i = 0; i < 1000; i++) rows += u"<tr><td rowspan=0 colspan=0>";
  std::u16string tall = u"<table>";
  for (int i = 0; i < 100; i++) tall += u"<tr><td height=16384>x";
  // Nested as deep as the longest text allows, each table closed: laid out to the nesting bound,
  // the rest of the nest stepped over whole.
  std::u16string closed;
  for (int i = 0; i < 990; i++) closed += u"<table><tr><td>";
  closed += u"x";
  for (int i = 0; i < 990; i++) closed += u"</td></tr></table>";
  ASSERT_LE(closed.size(), kMaxHtmlTextUnits);
  {
    HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
    LayTable(drawer, closed);
    EXPECT_EQ(drawer.tables().size(), size_t(kMaxTableDepth));
  }
  {
    // Taller than a pass lays out: the table is dropped by both passes.
    HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
    Table t = LayTable(drawer, u"a<br>" + tall + u"</table>b");
    EXPECT_TRUE(drawer.truncated());
    EXPECT_TRUE(drawer.tables().empty());
    EXPECT_EQ(Calls(t.canvas, Op::kText), "0,0-7,13:a");
  }
  for (const std::u16string &html : {deep, wide, rows, tall, closed}) {
    HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
    Table t = LayTable(drawer, html);
    EXPECT_LE(drawer.tables().size(), kMaxHtmlTables);
    for (const HtmlTableLayout &layout : drawer.tables()) {
      EXPECT_LE(layout.rows, kMaxTableRows);
      EXPECT_LE(layout.columns, kMaxTableColumns);
    }
  }
}

// The table starts and ends as a character-by-character scan finds them: a "<table" not after
// another "<" opens a table, the "</table>" that brings the count back to nothing ends it.
size_t NaiveTableStart(std::u16string_view text, size_t pos) {
  for (size_t i = pos; i < text.size(); i++) {
    if (text.substr(i, 6) == u"<table" && (i == 0 || text[i - 1] != u'<')) return i;
  }
  return std::u16string_view::npos;
}

size_t NaiveTableEnd(std::u16string_view text, size_t start) {
  int open = 1;
  for (size_t i = start + 1; i < text.size(); i++) {
    if (text.substr(i, 8) == u"</table>") {
      if (--open == 0) return i;
    } else if (text.substr(i, 6) == u"<table" && text[i - 1] != u'<') {
      open++;
    }
  }
  return text.size();
}

// The finder indexes the whole text once and answers for every stretch of it (a row, a cell, a
// nested table) as a scan of that stretch alone would: over every stretch of texts with nested,
// unbalanced, stray and doubled tags.
TEST(HtmlTable, TableFinderAnswersAsAScanOfEachStretch) {
  const std::u16string texts[] = {
      u"<table>a<table>b</table>c</table>d",
      u"<<table>x</table><table><tr><td><table></table></td></tr></table>",
      u"<table><table></table>",
      u"</table><table>x</table></table><table",
      u"<table<table></table></table><<<table></table>",
      u"x<table><td><table><table></table></table></td></table></table>",
  };
  for (const std::u16string &text : texts) {
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    HtmlTableFinder finder;
    finder.Index(text);
    const std::u16string copy = text;  // the same characters elsewhere: scanned, same answers
    for (const std::u16string *whole : {&text, &copy}) {
      const std::u16string_view view(*whole);
      for (size_t b = 0; b <= view.size(); b++) {
        for (size_t e = b; e <= view.size(); e++) {
          const std::u16string_view part = view.substr(b, e - b);
          for (size_t pos = 0; pos <= part.size(); pos++) {
            const size_t start = NaiveTableStart(part, pos);
            ASSERT_EQ(finder.Start(part, pos), start) << b << "-" << e << " from " << pos;
            ASSERT_EQ(internal::FindTableStart(part, pos), start);
            if (start != pos) continue;
            const size_t end = NaiveTableEnd(part, start);
            ASSERT_EQ(finder.End(part, start), end) << b << "-" << e << " at " << start;
            ASSERT_EQ(internal::FindTableEnd(part, start), end);
          }
        }
      }
    }
  }
}

TEST(HtmlTable, RowSpanRemainderAndVerticalAlign) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  HtmlRecordingCanvas canvas;
  HtmlSize size;
  // The spanning cell is 45 high over rows of 17: the 11 pixels short go 5 and 5, the odd one to
  // the first row.
  ASSERT_EQ(drawer.MeasureHtml(
                canvas, u"<table><tr><td rowspan=2><font size=41>A</font><td>b</tr><tr><td valign=bottom>c</tr></table>",
                &size),
            0);
  EXPECT_EQ(drawer.tables()[0].rowHeights, (std::vector<int>{23, 22}));
  canvas.clear();
  drawer.DrawHtml(canvas, HtmlRect{0, 0, size.cx, size.cy});
  std::string c;
  for (const auto &call : canvas.calls()) {
    if (call.op == HtmlRecordingCanvas::Op::kText && call.text == u"c") c = std::to_string(call.x1) + "," + std::to_string(call.y1);
  }
  EXPECT_EQ(c, "28,31");  // at the bottom of its content box
  EXPECT_LE(canvas.InkBox().bottom, size.cy);
}

}  // namespace
