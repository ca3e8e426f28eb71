// What the measure pass of an HTML drawer records and the draw pass replays: one record per laid-out
// line, one layout per table, the areas links cover, and where the tables of the text lie. Also the
// bounds that keep a hostile text from making the records, the coordinates or the recursion grow
// without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "htmltip/html_canvas.h"

namespace v7::htmltip {

// Lines one pass lays out. The measure pass stops laying out at this many; every later line end
// of the text is dropped with what follows it, and the draw pass stops at the same place.
constexpr size_t kMaxHtmlLines = 4096;
// The count of a "br=n" or "t=n" tag is cut to this, so that one tag cannot move far.
constexpr int kMaxHtmlRepeat = 64;
// The farthest a pass lays out, right of its left edge or below its top, in pixels. Positions are
// summed in 64 bits and the pass stops laying out when one passes this, so sums of widths and
// heights stay far inside 32 bits when they reach the canvas.
constexpr int64_t kMaxHtmlExtent = int64_t(1) << 20;
// Tables nested inside cells: a deeper "<table" is laid out as the text of its cell would be, as
// nothing (its tags are unknown ones).
constexpr int kMaxTableDepth = 8;
// Tables of one text, and the grid of one table; rows and columns past these are dropped.
constexpr size_t kMaxHtmlTables = 256;
constexpr int kMaxTableRows = 256;
constexpr int kMaxTableColumns = 64;
// Link areas of one draw pass.
constexpr size_t kMaxHtmlLinkAreas = 1024;
// Images of one pass, and the pixels their boxes cover together. An image tag past either is
// laid out as nothing, in both passes alike; a box is at most kMaxHtmlImageSide a side.
constexpr int kMaxHtmlImages = 256;
constexpr int64_t kMaxHtmlImagePixels = int64_t(1) << 22;
constexpr int kMaxHtmlImageSide = 8192;
// Animated image strips of one text.
constexpr size_t kMaxHtmlAnimations = 64;

struct HtmlLineRecord {
  int width = 0;         // of the line's content
  int height = 0;        // tallest ascent or object plus the deepest descent
  int descent = 0;       // deepest text descent
  int percentWidth = 0;  // sum of the percentages of the "hr" widths given in percent
  int align = 0;         // textAlign when the line started
  int spaceCount = 0;    // blanks drawn on the line
  int wrapped = 0;       // 1: ended because the next content did not fit
  int top = 0;           // below the top of the text
};

struct HtmlCellRecord {
  int colspan = 0;  // 1 or more; -1 marks a position covered by a span from the left or above
  int rowspan = 0;
  int contentWidth = 0;
  int contentHeight = 0;
  int totalWidth = 0;
  int totalHeight = 0;
  int fixedWidth = 0;
};

struct HtmlTableLayout {
  int rows = 0;
  int columns = 0;
  std::vector<HtmlCellRecord> cells;  // rows x columns, row by row
  std::vector<int> columnWidths;
  std::vector<int> rowHeights;
  std::vector<uint8_t> fixedColumns;

  HtmlCellRecord &cell(int row, int column) { return cells[size_t(row) * size_t(columns) + size_t(column)]; }
  const HtmlCellRecord &cell(int row, int column) const {
    return cells[size_t(row) * size_t(columns) + size_t(column)];
  }
};

struct HtmlLinkRecord {
  HtmlRect rect;  // edges included
  int kind = 0;    // 1 hyperlink, 2 message
  int number = 0;  // the link counter when its "a" tag opened
  std::u16string text;
};

// One animated image strip: the frame drawn, the frames it has, and the owner's timer ticks
// counted towards the next frame.
struct HtmlAnimationRecord {
  int frame = 0;
  int frameCount = 0;
  int ticks = 0;
  int speed = 0;  // ticks per frame
};

// Where every table of one text starts and ends, found in one scan. A pass asks for the end of a
// table nested n deep at each of the n levels around it, and for every row and cell on the way;
// scanning for it each time made deep nesting cost the square of the text's length, per level.
class HtmlTableFinder {
 public:
  // Scans `text`, which must stay as it is while the finder answers for it.
  void Index(std::u16string_view text);
  // Whether `text` is where the text indexed last lay, at its length; whoever changes that text in
  // place indexes it again.
  bool Indexed(std::u16string_view text) const { return text.data() == text_.data() && text.size() == text_.size(); }
  // The next table start from `pos` in `part`, a stretch of the indexed text: the next "<table"
  // not preceded by another "<" (npos for none); and where the "</table>" balancing the table at
  // `start` begins, counting nested tables (the end of `part` when none balances it). Each as a
  // scan of `part` alone answers; a text that is not part of the indexed one is scanned.
  size_t Start(std::u16string_view part, size_t pos) const;
  size_t End(std::u16string_view part, size_t start) const;

 private:
  // Where `part` begins in the indexed text; false when it does not lie inside it.
  bool Offset(std::u16string_view part, size_t *offset) const;

  std::u16string_view text_;
  std::vector<size_t> starts_;  // ascending
  std::vector<size_t> ends_;    // of the table at the same index: its "</table>", npos when unbalanced
};

}  // namespace v7::htmltip
