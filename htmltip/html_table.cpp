// Tables of the second-generation drawer: grids of rows and cells with spans, spacing, padding,
// borders and background fills, measured in the measure pass and drawn from its record; and where
// the tables of a text start and end.
#include <algorithm>
#include <functional>

#include "htmltip/html_drawer.h"
#include "htmltip/internal.h"

namespace v7::htmltip {
namespace {

constexpr auto npos = std::u16string_view::npos;

// One "<tr" or "<td" element: the tag text between "<" and ">", and what follows up to its end.
struct Element {
  std::u16string_view tag;
  std::u16string_view body;
};

// The next `needle` from `pos` that is not inside a nested table.
size_t FindOutsideTables(const HtmlTableFinder &tables, std::u16string_view text, size_t pos,
                         std::u16string_view needle) {
  while (pos < text.size()) {
    // Only the text before the next table is looked through, and the table stepped over whole:
    // what lies inside it is not looked through again at every level of the tables around it.
    const size_t table = tables.Start(text, pos);
    const size_t window = table == npos ? text.size() : std::min(text.size(), table + needle.size() - 1);
    const size_t at = text.substr(0, window).find(needle, pos);
    if (at != npos && at < table) return at;
    if (table == npos) break;
    pos = tables.End(text, table) + 1;
  }
  return npos;
}

// The next element named `open` ("<tr", "<td"). It ends at its closing tag or, when that is
// missing, at the next element of its kind, so that one unclosed row cannot swallow the rows after.
bool NextElement(const HtmlTableFinder &tables, std::u16string_view text, size_t *pos,
                 std::u16string_view open, std::u16string_view close, Element *element) {
  const size_t start = FindOutsideTables(tables, text, *pos, open);
  if (start == npos) {
    *pos = text.size();
    return false;
  }
  const size_t gt = std::min(text.find(u'>', start), text.size());
  element->tag = text.substr(start + 1, gt - start - 1);
  const size_t bodyStart = std::min(gt + 1, text.size());
  const size_t closeAt = std::min(FindOutsideTables(tables, text, bodyStart, close), text.size());
  const size_t nextAt = std::min(FindOutsideTables(tables, text, bodyStart, open), text.size());
  const size_t end = std::min(closeAt, nextAt);
  element->body = text.substr(bodyStart, end - bodyStart);
  *pos = end == closeAt && end < text.size() ? end + close.size() : end;
  return true;
}

// The background effects by name, as "bgeffect" takes them.
int EffectByName(std::u16string_view name) {
  static const std::u16string_view kNames[] = {u"solid",    u"hgradient", u"vgradient",  u"hcgradient", u"vcgradient",
                                                u"3hgradient", u"3vgradient", u"noise",   u"diagshade",  u"hshade",
                                                u"vshade",   u"hbump",     u"vbump",      u"softbump",   u"hardbump",
                                                u"metal"};
  if (name == u"transparent") return -1;
  for (size_t i = 0; i < std::size(kNames); i++) {
    if (kNames[i] == name) return int(i);
  }
  return -2;
}

// A keyword attribute read as the style-sheet property of the same meaning; a ";" would start a
// second declaration, so the value ends before one.
std::u16string Declaration(std::u16string_view property, std::u16string_view value) {
  std::u16string text(property);
  text.push_back(u':');
  text.append(value.substr(0, std::min(value.find(u';'), value.find(u'"'))));
  return text;
}

// The table's background image: "idres:n", "iddll:n" or "file:path", the first pair only.
bool BackgroundSource(std::u16string_view description, HtmlImageSource *source) {
  if (description.size() <= 5) return false;
  const size_t colon = description.find(u':');
  if (colon == npos) return false;
  const std::u16string_view name = description.substr(0, colon);
  std::u16string_view value = description.substr(colon + 1);
  value = value.substr(0, value.find(u';'));
  source->kind = HtmlImageKind::kBitmap;
  const int number = int(std::clamp<int64_t>(internal::ReadDecimal(value).value, 0, 65535));
  if (name == u"idres") {
    source->resourceId = number;
  } else if (name == u"iddll") {
    source->libraryResourceId = number;
  } else if (name == u"file") {
    source->file.assign(value);
  } else {
    return false;
  }
  return true;
}

// Adds `shortfall` to the spanned entries, equally; the remainder of the division goes to the
// last entry (columns) or the first (rows).
void Share(std::vector<int> *sizes, int first, int count, int64_t shortfall, bool remainderLast) {
  const int64_t each = shortfall / count;
  const int64_t remainder = shortfall - each * count;
  for (int i = 0; i < count; i++) (*sizes)[first + i] += int(each);
  (*sizes)[remainderLast ? first + count - 1 : first] += int(remainder);
}

int64_t Sum(const std::vector<int> &sizes, int first, int count) {
  int64_t sum = 0;
  for (int i = first; i < first + count; i++) sum += sizes[i];
  return sum;
}

// Column widths and row heights from the cells, spans of one first, so that a spanning cell
// widens only what its single cells left too narrow.
void SizeGrid(HtmlTableLayout *layout) {
  for (int n = 1; n <= layout->columns; n++) {
    for (int r = 0; r < layout->rows; r++) {
      for (int c = 0; c < layout->columns; c++) {
        const HtmlCellRecord &cell = layout->cell(r, c);
        if (cell.colspan != n) continue;
        if (cell.fixedWidth) std::fill_n(layout->fixedColumns.begin() + c, n, uint8_t(1));
        const int64_t sum = Sum(layout->columnWidths, c, n);
        // Compared with the whole cell, borders and margins included, as rows are.
        if (sum < cell.totalWidth) Share(&layout->columnWidths, c, n, cell.totalWidth - sum, true);
      }
    }
  }
  for (int n = 1; n <= layout->rows; n++) {
    for (int r = 0; r < layout->rows; r++) {
      for (int c = 0; c < layout->columns; c++) {
        const HtmlCellRecord &cell = layout->cell(r, c);
        if (cell.rowspan != n || cell.colspan < 1) continue;
        const int64_t sum = Sum(layout->rowHeights, r, n);
        if (sum < cell.totalHeight) Share(&layout->rowHeights, r, n, cell.totalHeight - sum, false);
      }
    }
  }
}

// Rows, and columns as the cells occupy them: a cell spanning rows from above pushes the cells of
// the rows below to the right, so the grid is found by placing every cell.
void CountGrid(const HtmlTableFinder &tables, std::u16string_view text, const HtmlVocabulary &vocabulary,
               const HtmlMetrics &metrics, int *rows, int *columns) {
  std::vector<Element> rowElements;
  Element element;
  size_t pos = 1;
  while (rowElements.size() < size_t(kMaxTableRows) && NextElement(tables, text, &pos, u"<tr", u"</tr>", &element))
    rowElements.push_back(element);
  *rows = int(rowElements.size());
  *columns = 0;
  std::vector<std::vector<uint8_t>> taken(rowElements.size(), std::vector<uint8_t>(kMaxTableColumns, 0));
  for (int r = 0; r < *rows; r++) {
    size_t cellPos = 0;
    int c = 0;
    while (NextElement(tables, rowElements[r].body, &cellPos, u"<td", u"</td>", &element)) {
      while (c < kMaxTableColumns && taken[r][c]) c++;
      if (c >= kMaxTableColumns) break;
      int colspan = 1, rowspan = 1;
      std::u16string_view name, value;
      size_t at = 0;
      const std::u16string_view attributes = SplitTag(element.tag).attributes;
      while (HtmlDrawer::NextAttribute(attributes, &at, &name, &value)) {
        if (name == u"colspan") colspan = vocabulary.ParseLength(metrics, 1, value, false);
        if (name == u"rowspan") rowspan = vocabulary.ParseLength(metrics, 1, value, false);
      }
      colspan = std::clamp(colspan, 1, kMaxTableColumns - c);
      rowspan = std::clamp(rowspan, 1, *rows - r);
      for (int dr = 0; dr < rowspan; dr++) std::fill_n(taken[r + dr].begin() + c, colspan, uint8_t(1));
      c += colspan;
      *columns = std::max(*columns, c);
    }
  }
}

}  // namespace

HtmlDrawer::Extent HtmlDrawer::DrawTable(std::u16string_view text, const Box &rect) {
  struct Depth {
    explicit Depth(int *d) : depth(d) { ++*depth; }
    ~Depth() { --*depth; }
    int *depth;
  } depth(&tableDepth_);
  tableIndex_++;
  if (measuring()) {
    if (tables_.size() >= kMaxHtmlTables) {
      stop_ = true;
      truncated_ = true;
      return Extent();
    }
    HtmlTableLayout fresh;
    CountGrid(tableFinder_, text, vocabulary_, *canvas_, &fresh.rows, &fresh.columns);
    fresh.cells.assign(size_t(fresh.rows) * size_t(fresh.columns), HtmlCellRecord());
    fresh.columnWidths.assign(fresh.columns, 0);
    fresh.rowHeights.assign(fresh.rows, 0);
    fresh.fixedColumns.assign(fresh.columns, 0);
    tables_.push_back(std::move(fresh));
  } else if (size_t(tableIndex_) >= tables_.size()) {
    stop_ = true;  // never replay a table the measure pass did not record
    return Extent();
  }
  // A copy: nested tables append to the list, and move the index, while this one is laid out.
  const size_t index = size_t(tableIndex_);
  HtmlTableLayout layout = tables_[index];

  const bool pushed = stack_.PushStyle(&style_, u"table");
  vocabulary_.ApplyStyleRule(*canvas_, u"table", &style_);
  Element tableTag;
  tableTag.tag = text.substr(1, std::min(text.find(u'>'), text.size()) - 1);
  Spans ignored;
  ReadTableAttributes(SplitTag(tableTag.tag).attributes, true, &ignored);
  SelectStyleFont();

  const int64_t spacing = style_.padding;
  const int64_t border = style_.borderStyle == kHtmlLineDouble ? 3 : style_.borderWidth;
  auto boxSize = [&](const std::vector<int> &sizes) {
    const int64_t n = int64_t(sizes.size());
    return Sum(sizes, 0, int(n)) + (n + 1) * spacing + std::max<int64_t>(n - 1, 0) + 2 * border;
  };

  Extent size;
  Box box = rect;
  if (!measuring()) {
    int64_t width = boxSize(layout.columnWidths);
    const int64_t height = boxSize(layout.rowHeights);
    int64_t free = std::count(layout.fixedColumns.begin(), layout.fixedColumns.end(), uint8_t(0));
    // A rectangle wider than any layout widens the columns only as far as a pass lays out.
    int64_t surplus = std::min(rect.width() - width, kMaxHtmlExtent);
    for (int c = 0; c < layout.columns && surplus > 0 && free > 0; c++) {
      if (layout.fixedColumns[c]) continue;
      const int64_t share = surplus / free--;
      layout.columnWidths[c] += int(share);
      surplus -= share;
      width += share;
    }
    if (width < rect.width()) {
      if (style_.textAlign == 1) box.left += (rect.width() - width) / 2;
      if (style_.textAlign == 2) box.left += rect.width() - width;
    }
    box.right = box.left + width;
    box.bottom = box.top + height;
    if (style_.backgroundEffect < 0 && !style_.backgroundImage.empty() && vocabulary_.colorsEnabled) {
      HtmlImageSource source;
      if (BackgroundSource(style_.backgroundImage, &source))
        canvas_->tile_image(source, HtmlRect{int(box.left), int(box.top), int(box.right), int(box.bottom)});
    }
    PaintBox(box, style_.borderColorLight, style_.borderColorDark, style_.borderWidth);
    size.cx = width;
    size.cy = height;
  }
  const Box inner{box.left + border, box.top + border, box.right - border, box.bottom - border};

  Element row;
  size_t pos = 1;
  for (int r = 0; r < layout.rows && !stop_ && NextElement(tableFinder_, text, &pos, u"<tr", u"</tr>", &row); r++)
    DrawTableRow(row.tag, row.body, inner, &layout, r);

  if (measuring()) {
    SizeGrid(&layout);
    size.cx = boxSize(layout.columnWidths);
    size.cy = boxSize(layout.rowHeights);
  }
  if (measuring() && (size.cx > kMaxHtmlExtent || size.cy > kMaxHtmlExtent)) {
    // Too large to draw: the table and the tables inside it are dropped, and both passes stop here
    // (the draw pass finds no record for it).
    tables_.resize(index);
    stop_ = true;
    truncated_ = true;
    size = Extent();
  } else {
    tables_[index] = std::move(layout);
  }
  if (pushed) stack_.PopStyle(&style_, u"table");
  SelectStyleFont();
  return size;
}

void HtmlDrawer::DrawTableRow(std::u16string_view tagText, std::u16string_view body, const Box &inner,
                              HtmlTableLayout *layout, int row) {
  const bool pushed = stack_.PushStyle(&style_, u"tr");
  vocabulary_.ApplyStyleRule(*canvas_, u"tr", &style_);
  Spans ignored;
  ReadTableAttributes(SplitTag(tagText).attributes, false, &ignored);
  const int64_t spacing = style_.padding;
  Element cellElement;
  size_t pos = 0;
  int column = 0;
  while (!stop_ && NextElement(tableFinder_, body, &pos, u"<td", u"</td>", &cellElement)) {
    while (column < layout->columns && layout->cell(row, column).colspan == -1) column++;
    if (column >= layout->columns) break;
    HtmlCellRecord *cell = &layout->cell(row, column);
    Box cellRect;
    if (!measuring()) {
      const int colspan = std::clamp(cell->colspan, 1, layout->columns - column);
      const int rowspan = std::clamp(cell->rowspan, 1, layout->rows - row);
      cellRect.left = inner.left + spacing;
      for (int c = 0; c < column; c++) cellRect.left += layout->columnWidths[c] + spacing + 1;
      cellRect.right = cellRect.left + Sum(layout->columnWidths, column, colspan) + (colspan - 1) * (spacing + 1);
      cellRect.top = inner.top + spacing;
      for (int r = 0; r < row; r++) cellRect.top += layout->rowHeights[r] + spacing + 1;
      cellRect.bottom = cellRect.top + Sum(layout->rowHeights, row, rowspan) + (rowspan - 1) * (spacing + 1);
    }
    Spans spans;
    DrawTableCell(cellElement.tag, cellElement.body, cellRect, cell, &spans);
    const int colspan = std::clamp(measuring() ? spans.colspan : cell->colspan, 1, layout->columns - column);
    if (measuring()) {
      // Spans are clipped to the grid, and the positions they cover marked.
      cell->colspan = colspan;
      cell->rowspan = std::clamp(spans.rowspan, 1, layout->rows - row);
      for (int r = row; r < row + cell->rowspan; r++) {
        for (int c = column; c < column + colspan; c++) {
          if (r != row || c != column) layout->cell(r, c).colspan = layout->cell(r, c).rowspan = -1;
        }
      }
    }
    column += colspan;
  }
  if (pushed) stack_.PopStyle(&style_, u"tr");
  SelectStyleFont();
}

void HtmlDrawer::DrawTableCell(std::u16string_view tagText, std::u16string_view body, const Box &cellRect,
                               HtmlCellRecord *cell, Spans *spans) {
  const bool pushed = stack_.PushStyle(&style_, u"td");
  vocabulary_.ApplyStyleRule(*canvas_, u"td", &style_);
  style_.width = style_.height = 0;
  ReadTableAttributes(SplitTag(tagText).attributes, false, spans);
  SelectStyleFont();
  Box content;
  if (measuring()) {
    cell->contentWidth = style_.width;
    cell->contentHeight = 0;
    cell->fixedWidth = style_.width > 0 ? 1 : 0;
  } else {
    // A cell's frame is the table's turned inside out: dark on the left and top.
    PaintBox(cellRect, style_.borderColorDark, style_.borderColorLight, style_.borderStyle != 0 ? 1 : 0);
    const int64_t inset = int64_t(style_.margin) + style_.borderWidth;
    content = Box{cellRect.left + inset, cellRect.top + inset, cellRect.right - inset, cellRect.bottom - inset};
    if (content.right < content.left) content.right = content.left;
    const int64_t height = content.bottom - content.top;
    if (style_.verticalAlign == 1) content.top += (height - cell->contentHeight) / 2;
    if (style_.verticalAlign == 2) content.top = content.bottom - cell->contentHeight;
  }
  const Extent extent = DrawContent(body, content);
  if (measuring()) {
    const int64_t edges = 2 * (int64_t(style_.borderWidth) + style_.margin);
    cell->contentWidth = int(std::min<int64_t>(std::max<int64_t>(cell->contentWidth, extent.cx), kMaxHtmlExtent));
    cell->contentHeight = int(std::min<int64_t>(extent.cy, kMaxHtmlExtent));
    cell->totalWidth = int(std::max<int64_t>(cell->contentWidth, style_.width) + edges);
    cell->totalHeight = int(std::max<int64_t>(cell->contentHeight, style_.height) + edges);
  }
  if (pushed) stack_.PopStyle(&style_, u"td");
  SelectStyleFont();
}

void HtmlDrawer::ReadTableAttributes(std::u16string_view attributes, bool table, Spans *spans) {
  const bool colors = vocabulary_.colorsEnabled;
  std::u16string_view name, value;
  size_t pos = 0;
  while (NextAttribute(attributes, &pos, &name, &value)) {
    if (table && name == u"cellpadding") {
      style_.margin = vocabulary_.ParseLength(*canvas_, style_.margin, value, false);
    } else if (table && name == u"cellspacing") {
      style_.padding = vocabulary_.ParseLength(*canvas_, style_.padding, value, false);
    } else if (table && name == u"background") {
      AssignBounded(&style_.backgroundImage, value, kMaxImageNameUnits);
    } else if (name == u"colspan") {
      spans->colspan = std::clamp(vocabulary_.ParseLength(*canvas_, 1, value, false), 1, kMaxTableColumns);
    } else if (name == u"rowspan") {
      spans->rowspan = std::clamp(vocabulary_.ParseLength(*canvas_, 1, value, false), 1, kMaxTableRows);
    } else if (name == u"border") {
      style_.borderWidth = vocabulary_.ParseLength(*canvas_, style_.borderWidth, value, false);
      if (style_.borderWidth == 0) {
        style_.borderStyle = 0;
      } else if (style_.borderStyle == 0) {
        style_.borderStyle = 1;
      }
    } else if (name == u"borderstyle") {
      vocabulary_.ParseStyleDeclarations(*canvas_, Declaration(u"border-style", value), &style_);
    } else if (name == u"bordercolor") {
      style_.borderColorLight = style_.borderColorDark = vocabulary_.ParseColor(style_.borderColorLight, value);
    } else if (name == u"bordercolorlight") {
      style_.borderColorLight = vocabulary_.ParseColor(style_.borderColorLight, value);
    } else if (name == u"bordercolordark") {
      style_.borderColorDark = vocabulary_.ParseColor(style_.borderColorDark, value);
    } else if (name == u"bgcolor" && colors) {
      style_.backgroundColor = vocabulary_.ParseColor(style_.backgroundColor, value);
      if (style_.backgroundEffect < 0) style_.backgroundEffect = 0;
    } else if (name == u"bgmidcolor" && colors) {
      style_.gradientMidColor = vocabulary_.ParseColor(style_.gradientMidColor, value);
    } else if (name == u"bgendcolor" && colors) {
      style_.gradientEndColor = vocabulary_.ParseColor(style_.gradientEndColor, value);
    } else if (name == u"bgeffect" && colors) {
      const int effect = EffectByName(value);
      // A number names an effect too; one past the last effect is the last.
      style_.backgroundEffect =
          effect >= -1 ? effect : std::min(vocabulary_.ParseLength(*canvas_, std::max(style_.backgroundEffect, 0), value, false), 15);
    } else if (name == u"align") {
      vocabulary_.ParseStyleDeclarations(*canvas_, Declaration(u"text-align", value), &style_);
    } else if (name == u"valign") {
      vocabulary_.ParseStyleDeclarations(*canvas_, Declaration(u"vertical-align", value), &style_);
    } else if (name == u"width") {
      style_.width = vocabulary_.ParseLength(*canvas_, style_.width, value, false);
    } else if (name == u"height") {
      style_.height = vocabulary_.ParseLength(*canvas_, style_.height, value, false);
    }
  }
  if (style_.borderStyle == 0 || style_.borderWidth == 0) style_.borderStyle = style_.borderWidth = 0;
  if (style_.borderStyle != 0 && style_.borderStyle != kHtmlLineSolid) style_.borderWidth = 1;
  if (!table && style_.borderWidth != 0) style_.borderWidth = 1;
}

void HtmlDrawer::PaintBox(const Box &box, HtmlColor light, HtmlColor dark, int frameWidth) {
  const HtmlRect rect{int(box.left), int(box.top), int(box.right), int(box.bottom)};
  if (style_.backgroundEffect >= 0) {
    canvas_->fill_effect(rect, style_.backgroundEffect, style_.backgroundColor, style_.gradientMidColor,
                         style_.gradientEndColor, 5, 0);
  }
  if (frameWidth >= 1 && style_.borderStyle != 0) {
    if (!vocabulary_.colorsEnabled) light = dark = vocabulary_.disabledColor;
    canvas_->draw_frame(rect, light, dark, style_.borderStyle, frameWidth);
  }
}

void HtmlTableFinder::Index(std::u16string_view text) {
  constexpr auto npos = std::u16string_view::npos;
  text_ = text;
  starts_.clear();
  ends_.clear();
  std::vector<size_t> unclosed;  // indexes into starts_, innermost last
  size_t open = internal::FindTableStart(text, 0), close = text.find(u"</table>");
  while (open != npos || close != npos) {
    if (open < close) {
      unclosed.push_back(starts_.size());
      starts_.push_back(open);
      ends_.push_back(npos);
      open = internal::FindTableStart(text, open + 1);
    } else {
      // A "</table>" closes the innermost table still open; one outside every table is no end.
      if (!unclosed.empty()) {
        ends_[unclosed.back()] = close;
        unclosed.pop_back();
      }
      close = text.find(u"</table>", close + 1);
    }
  }
}

bool HtmlTableFinder::Offset(std::u16string_view part, size_t *offset) const {
  const std::less<const char16_t *> before;
  const char16_t *begin = text_.data(), *end = text_.data() + text_.size();
  if (text_.empty() || before(part.data(), begin) || before(end, part.data() + part.size())) return false;
  *offset = size_t(part.data() - begin);
  return true;
}

size_t HtmlTableFinder::Start(std::u16string_view part, size_t pos) const {
  constexpr auto npos = std::u16string_view::npos;
  size_t offset = 0;
  if (!Offset(part, &offset)) return internal::FindTableStart(part, pos);
  if (pos >= part.size()) return npos;
  // A stretch that begins with a "<table" the whole text has after a "<" counts it as a start.
  if (pos == 0 && offset > 0 && text_[offset - 1] == u'<' && part.substr(0, 6) == u"<table") return 0;
  const auto at = std::lower_bound(starts_.begin(), starts_.end(), offset + pos);
  // A start running past the stretch's end is none of the stretch's.
  if (at == starts_.end() || *at + 6 > offset + part.size()) return npos;
  return *at - offset;
}

size_t HtmlTableFinder::End(std::u16string_view part, size_t start) const {
  size_t offset = 0;
  if (!Offset(part, &offset)) return internal::FindTableEnd(part, start);
  const auto at = std::lower_bound(starts_.begin(), starts_.end(), offset + start);
  if (at == starts_.end() || *at != offset + start) return internal::FindTableEnd(part, start);
  const size_t end = ends_[size_t(at - starts_.begin())];
  // The stretch sees the same tables up to its own end: a table balanced only past it is not
  // balanced in it.
  if (end == std::u16string_view::npos || end + 8 > offset + part.size()) return part.size();
  return end - offset;
}

}  // namespace v7::htmltip
