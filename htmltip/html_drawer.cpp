// The two passes of the HTML drawers over text: runs, tags, lines, wrapping and alignment. Tables
// are in html_table.cpp.
#include "htmltip/html_drawer.h"

#include <algorithm>

#include "htmltip/internal.h"
#include "platform/errors/error_codes.h"

namespace v7::htmltip {
namespace {

constexpr std::u16string_view kBreakCharacters = u" -.,!:;)}]?";
// A line's percentages of its width: many "hr" tags at the largest length cannot pass this.
constexpr int kMaxPercentWidth = 100000;

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// As MulDiv(value, percent, 100) for the non-negative values the layout has, in 64 bits.
int64_t PercentOf(int64_t value, int64_t percent) { return value < 0 ? 0 : (value * percent + 50) / 100; }

// What a recorded line takes of a rectangle `width` wide when it is drawn: its content and its
// rules' percentages of that width.
int64_t DrawnLineWidth(const HtmlLineRecord &line, int64_t width) {
  int64_t drawn = line.width;
  if (line.percentWidth != 0) drawn += PercentOf(width, line.percentWidth);
  return drawn;
}

// Where a recorded line of that drawn width starts in a rectangle from `left`, `width` wide; a line
// wider than the rectangle starts at its left edge rather than outside it.
int64_t DrawnLineLeft(const HtmlLineRecord &line, int64_t left, int64_t width, int64_t drawn) {
  int64_t start = left;
  if (line.align == 1) start += (width - drawn) / 2;
  if (line.align == 2) start += width - drawn;
  return std::max(start, left);
}

int CountBlanks(std::u16string_view text) { return int(std::count(text.begin(), text.end(), u' ')); }

int64_t Width(const HtmlMetrics &metrics, std::u16string_view text) {
  return text.empty() ? 0 : metrics.text_extent(text).cx;
}

// How many units from the start of `text` fit in `space` pixels (0 when none do). Widths grow with
// the prefix: the prefixes measured double in length up to the first too wide, then halve, so
// finding a line's end costs a few times the line's own length in measuring, however long the
// text after it. Measuring the whole rest of a long run, or every break in it, for each line it
// wraps into made wrapping quadratic.
size_t FittingUnits(const HtmlMetrics &metrics, std::u16string_view text, int64_t space) {
  if (text.empty()) return 0;
  const auto fits = [&](size_t units) { return Width(metrics, text.substr(0, units)) <= space; };
  size_t fit = 0, over = 0;  // prefixes of `fit` units fit, of `over` (once not 0) do not
  for (size_t probe = 1; over == 0; probe *= 2) {
    const size_t units = std::min(probe, text.size());
    if (!fits(units)) {
      over = units;
    } else if (units == text.size()) {
      return units;
    } else {
      fit = units;
    }
  }
  while (fit + 1 < over) {
    const size_t mid = fit + (over - fit) / 2;
    (fits(mid) ? fit : over) = mid;
  }
  return fit;
}

std::u16string_view TrimBlanks(std::u16string_view text, bool leading) {
  if (leading) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  } else {
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  }
  return text;
}

// The next run of text and the tag after it. A "<<" and a final "<" are literal "<"; a "<" without
// a ">" is dropped and what follows reads as text.
bool NextRun(std::u16string_view text, size_t *pos, std::u16string *run, std::u16string_view *tag) {
  run->clear();
  while (*pos < text.size()) {
    const size_t lt = text.find(u'<', *pos);
    if (lt == std::u16string_view::npos) {
      run->append(text.substr(*pos));
      *pos = text.size();
      break;
    }
    run->append(text.substr(*pos, lt - *pos));
    if (lt + 1 == text.size()) {
      run->push_back(u'<');
      *pos = text.size();
      break;
    }
    if (text[lt + 1] == u'<') {
      run->push_back(u'<');
      *pos = lt + 2;
      continue;
    }
    const size_t gt = text.find(u'>', lt + 1);
    if (gt == std::u16string_view::npos) {
      *pos = lt + 1;
      continue;
    }
    *tag = text.substr(lt + 1, gt - lt - 1);
    *pos = gt + 1;
    return true;
  }
  return false;
}

// The first character of a tag's attribute text is its separator ("=" of "br=2"); the rest is the
// count, and a count after a blank is lost with it.
std::u16string_view CountText(std::u16string_view tagText) {
  std::u16string_view rest = SplitTag(tagText).attributes;
  if (!rest.empty()) rest.remove_prefix(1);
  return rest;
}

void Transform(int mode, std::u16string *text) {
  if (mode == 1) {
    for (char16_t &c : *text) c = internal::UpperAscii(c);
  } else if (mode == 2 || mode == 3) {
    for (char16_t &c : *text) c = internal::LowerAscii(c);
    if (mode == 3) {
      for (size_t i = 0; i < text->size(); i++) {
        if (i == 0 || (*text)[i - 1] == u' ') (*text)[i] = internal::UpperAscii((*text)[i]);
      }
    }
  }
}

}  // namespace

HtmlDrawer::HtmlDrawer(HtmlGeneration generation, HtmlSystemColorFn systemColor)
    : vocabulary_(generation, systemColor) {}

bool HtmlDrawer::NextAttribute(std::u16string_view text, size_t *pos, std::u16string_view *name,
                               std::u16string_view *value) {
  size_t at = *pos;
  while (at < text.size() && !internal::IsNameStart(text[at])) at++;
  if (at >= text.size()) {
    *pos = text.size();
    return false;
  }
  const size_t nameEnd = std::min(text.find_first_of(u" =", at), text.size());
  *name = text.substr(at, nameEnd - at);
  at = nameEnd;
  while (at < text.size() && text[at] == u' ') at++;
  *value = std::u16string_view();
  if (at < text.size() && text[at] == u'=') {
    while (at < text.size() && (text[at] == u' ' || text[at] == u'=')) at++;
    if (at < text.size() && (text[at] == u'"' || text[at] == u'\'')) {
      const size_t close = std::min(text.find(text[at], at + 1), text.size());
      *value = text.substr(at + 1, close - at - 1);
      at = close + 1;
    } else {
      const size_t end = std::min(text.find(u' ', at), text.size());
      *value = text.substr(at, end - at);
      at = end + 1;
    }
  }
  *pos = std::min(at, text.size());
  return true;
}

std::u16string_view HtmlDrawer::WrapText(const HtmlMetrics &metrics, std::u16string_view text, int64_t spaceLeft,
                                         bool atLineStart, std::u16string_view *rest) {
  const size_t fit = FittingUnits(metrics, text, spaceLeft);
  // The last break whose text before it fits: widths grow with the prefix, so any break at most
  // `fit` units in (none when not even the empty text fits).
  const size_t at = spaceLeft < 0 ? std::u16string_view::npos
                                  : text.substr(0, std::min(fit + 1, text.size())).find_last_of(kBreakCharacters);
  if (at != std::u16string_view::npos) {
    *rest = TrimBlanks(text.substr(at + 1), true);
    return TrimBlanks(text.substr(0, at + 1), false);
  }
  if (!atLineStart) {
    *rest = text;
    return std::u16string_view();
  }
  // As many characters as fit, at least one, never half of a surrogate pair.
  size_t take = std::max<size_t>(fit, 1);
  if (take < text.size() && IsLowSurrogate(text[take])) take++;
  *rest = text.substr(take);
  return text.substr(0, take);
}

int HtmlDrawer::MeasureHtml(HtmlCanvas &canvas, std::u16string_view html, HtmlSize *size) {
  *size = HtmlSize();
  canvas_ = &canvas;
  canvas.set_text_justification(0, 0);
  lines_.clear();
  tables_.clear();
  links_.clear();
  animations_.clear();
  truncated_ = false;
  const int rc = vocabulary_.PrepareText(html, &text_);
  tableFinder_.Index(text_);
  if (rc != 0 || text_.empty()) return rc;
  measuring_ = true;
  wrapWidth_ = std::clamp<int64_t>(maxWidth, 0, kMaxHtmlExtent);
  Box rect;
  rect.right = wrapWidth_;
  Extent extent;
  RunPass(rect, &extent);
  if (extent.cx <= 0 && extent.cy <= 0) {
    text_.clear();
    return 0;
  }
  if (maxWidth > 0) extent.cx = std::min<int64_t>(extent.cx, maxWidth);
  size->cx = int(std::clamp<int64_t>(extent.cx, 0, kMaxHtmlExtent * 4) + 1);
  size->cy = int(std::clamp<int64_t>(extent.cy, 0, kMaxHtmlExtent * 4) + 1);
  return 0;
}

void HtmlDrawer::DrawHtml(HtmlCanvas &canvas, const HtmlRect &rect) {
  links_.clear();
  if (text_.empty()) return;
  canvas_ = &canvas;
  measuring_ = false;
  Box box{rect.left, rect.top, rect.right, rect.bottom};
  Extent extent;
  RunPass(box, &extent);
}

void HtmlDrawer::RunPass(const Box &rect, Extent *size) {
  stack_.Clear();
  links_.clear();
  lineIndex_ = 0;
  tableIndex_ = -1;
  tableDepth_ = 0;
  linkCounter_ = -1;
  animationCounter_ = -1;
  imageCount_ = 0;
  imagePixels_ = 0;
  stop_ = false;
  // A whole new style, not a reset one: a reset keeps width and height, and a table cell of the
  // last pass must not size the first table of this one.
  style_ = HtmlStyleRecord2();
  vocabulary_.ApplyStyleRule(*canvas_, u"body", &style_);
  canvas_->save_state();
  SelectStyleFont();
  // Found once for a measured text and every paint of it.
  if (!tableFinder_.Indexed(text_)) tableFinder_.Index(text_);
  *size = DrawContent(text_, rect);
  canvas_->set_text_justification(0, 0);
  canvas_->restore_state();
  stack_.Clear();
}

HtmlDrawer::Extent HtmlDrawer::DrawContent(std::u16string_view text, Box rect) {
  Extent total;
  size_t pos = 0;
  while (pos < text.size() && !stop_) {
    const size_t start = second() ? tableFinder_.Start(text, pos) : std::u16string_view::npos;
    const size_t segmentEnd = std::min(start, text.size());
    Extent item;
    if (segmentEnd > pos) {
      item = DrawSegment(text.substr(pos, segmentEnd - pos), rect);
      total.cx = std::max(total.cx, item.cx);
      total.cy += item.cy;
      rect.top += item.cy;
    }
    if (start == std::u16string_view::npos || stop_) break;
    const size_t end = tableFinder_.End(text, start);
    // A table nested too deep is left out whole, in both passes alike.
    if (tableDepth_ < kMaxTableDepth) {
      item = DrawTable(text.substr(start, end - start), rect);
      total.cx = std::max(total.cx, item.cx);
      total.cy += item.cy;
      rect.top += item.cy;
    }
    pos = end;
    if (total.cy > kMaxHtmlExtent || total.cx > kMaxHtmlExtent) {
      stop_ = true;
      truncated_ |= measuring();
    }
  }
  return total;
}

HtmlDrawer::Extent HtmlDrawer::DrawSegment(std::u16string_view text, const Box &rect) {
  rect_ = rect;
  y_ = rect.top;
  x_ = StartLine();
  const size_t firstLine = lineIndex_;
  size_t pos = 0;
  std::u16string run;
  std::u16string_view tag;
  // Every segment opens and closes a body style. The two tags are handled around the text rather
  // than written into it, so that a "<" at the segment's end stays the literal it is.
  HandleTag(u"body");
  while (pos < text.size() && !stop_) {
    const bool hasTag = NextRun(text, &pos, &run, &tag);
    if (!run.empty()) DrawTextRun(std::move(run));
    if (hasTag && !stop_) HandleTag(tag);
  }
  HandleTag(u"/body");
  if (lineHasContent_ && (measuring() || lineIndex_ < lines_.size())) {
    line_.wrapped = 0;
    EndLine(1);
  }
  canvas_->set_text_justification(0, 0);
  Extent size;
  size.cy = y_ - rect.top;
  // A line's percentages are of the widest line without them.
  const size_t lastLine = std::min(lineIndex_, lines_.size());
  int64_t widest = 0;
  for (size_t i = firstLine; i < lastLine; i++) widest = std::max<int64_t>(widest, lines_[i].width);
  size.cx = widest;
  for (size_t i = firstLine; i < lastLine; i++)
    size.cx = std::max(size.cx, lines_[i].width + widest * lines_[i].percentWidth / 100);
  return size;
}

void HtmlDrawer::DrawTextRun(std::u16string text) {
  if (second()) Transform(style_.textTransform, &text);
  std::u16string_view rest = text;
  while (!rest.empty() && !stop_) {
    canvas_->set_text_justification(0, 0);
    const int64_t spaceLeft = SpaceLeft();
    std::u16string_view part = rest, after;
    if (second() && WrapWidth() != 0 && FittingUnits(*canvas_, rest, spaceLeft) < rest.size()) {
      part = WrapText(*canvas_, rest, spaceLeft, !lineHasContent_, &after);
    }
    if (!part.empty()) DrawTextPart(part);
    rest = after;
    if (!rest.empty() && !stop_) {
      line_.wrapped = 1;
      EndLine(1);
    }
  }
}

void HtmlDrawer::DrawTextPart(std::u16string_view part) {
  int64_t width = Width(*canvas_, part);
  if (x_ + width - rect_.left > kMaxHtmlExtent) {
    stop_ = true;
    truncated_ |= measuring();
    return;
  }
  const int height = canvas_->text_extent(part).cy;
  int blanks = CountBlanks(part);
  if (measuring()) {
    line_.align = style_.textAlign;
    line_.spaceCount += blanks;
    TextLineY(height);
    lineHasContent_ = true;
    Advance(width, width);
    return;
  }
  if (!LineAvailable()) return;
  lineHasContent_ = true;
  const int64_t measured = width;
  if (width == expectedWidth_ && part.back() == u' ') {
    // The blank that ends a line is not stretched nor drawn.
    const int64_t shorter = Width(*canvas_, part.substr(0, part.size() - 1));
    expectedWidth_ -= width - shorter;
    width = shorter;
    part.remove_suffix(1);
    expectedBlanks_--;
    blanks--;
  }
  int64_t drawn = width;
  if (line_.align == 3 && line_.wrapped) {
    const int64_t extra = rect_.width() + rect_.left - x_ - expectedWidth_;
    canvas_->set_text_justification(int(std::clamp<int64_t>(extra, 0, kMaxHtmlExtent)), std::max(expectedBlanks_, 0));
    drawn = Width(*canvas_, part);
  }
  if (!part.empty()) {
    const int64_t y = TextLineY(height);
    AddLinkArea(x_, y, drawn, height);
    canvas_->text_out(int(x_), int(y), part);
    if (second() && style_.overline != 0) {
      canvas_->draw_line(int(x_), int(y), int(x_ + drawn), int(y), style_.fontWeight < 700 ? 1 : 2, style_.textColor,
                         kHtmlLineSolid);
    }
  }
  expectedBlanks_ -= blanks;
  Advance(drawn, width);
  // The blank left undrawn was laid out by the measure pass: what follows on the line is placed,
  // and wrapped, as if it were there.
  lineShift_ -= measured - width;
}

void HtmlDrawer::HandleTag(std::u16string_view tagText) {
  std::u16string styleName;
  bool closing = false;
  const int id = vocabulary_.LookupTag(tagText, &styleName, &closing);
  if (id == kTagUnknown) return;
  const HtmlTagParts parts = SplitTag(tagText);
  if (styleName.empty()) {
    switch (id) {
      case kTagHr: DrawRule(parts.attributes); break;
      case kTagBr:
        line_.wrapped = 0;
        EndLine(Repeat(tagText));
        break;
      case kTagTab: AdvanceTab(Repeat(tagText)); break;
      case kTagString: DrawStringTag(parts.attributes); break;
      case kTagBmp: case kTagIcon: case kTagIlst: DrawImageTag(id, parts.attributes); break;
      default: break;
    }
    return;
  }
  if (closing) {
    stack_.PopStyle(&style_, styleName);
    SelectStyleFont();
    return;
  }
  // A full stack ignores the tag, so that its closing tag cannot undo an outer one.
  if (!stack_.PushStyle(&style_, styleName)) return;
  std::u16string_view tagName = parts.name;
  ChangeStyle(id, tagName, parts.attributes);
  SelectStyleFont();
}

void HtmlDrawer::ChangeStyle(int id, std::u16string_view tagName, std::u16string_view attributes) {
  auto toggle = [](int *flag) { *flag = *flag == 0 ? 1 : 0; };
  std::u16string_view name, value;
  size_t pos = 0;
  switch (id) {
    case kTagBold: style_.fontWeight = std::min(style_.fontWeight * 2, 900); break;
    case kTagItalic: toggle(&style_.italic); break;
    case kTagUnderline: toggle(&style_.underline); break;
    case kTagStrikeout: toggle(&style_.strikeout); break;
    case kTagFont:
      while (NextAttribute(attributes, &pos, &name, &value)) {
        if (name == u"face") {
          if (!value.empty()) AssignBounded(&style_.fontFace, value, kMaxFontFaceUnits);
        } else if (name == u"size") {
          style_.fontSize = vocabulary_.ParseLength(*canvas_, style_.fontSize, value, true);
        } else if (name == u"color") {
          style_.textColor = vocabulary_.ParseColor(style_.textColor, value);
        } else if (name == u"weight") {
          // The keywords of the style sheets; a ";" would start another declaration.
          std::u16string declaration(u"font-weight:");
          declaration.append(value.substr(0, value.find(u';')));
          vocabulary_.ParseStyleDeclarations(*canvas_, declaration, &style_);
        } else if (name == u"bkgnd" && second()) {
          if (value.empty() || value == u"transparent" || !vocabulary_.colorsEnabled) {
            style_.backgroundMode = kHtmlTransparent;
          } else {
            style_.backgroundMode = kHtmlOpaque;
            style_.backgroundColor = vocabulary_.ParseColor(style_.backgroundColor, value);
          }
        } else if (name == u"style") {
          int flag = 1;
          for (char16_t c : value) {
            if (c == u'-' || c == u'+') {
              flag = c == u'+';
              continue;
            }
            if (c == u'b') {
              style_.fontWeight = flag ? 700 : 400;
            } else if (!second()) {
              continue;
            } else if (c == u'i') {
              style_.italic = flag;
            } else if (c == u'u') {
              style_.underline = flag;
            } else if (c == u's') {
              style_.strikeout = flag;
            } else if (c == u'o') {
              style_.overline = flag;
            } else {
              continue;
            }
            flag = 1;
          }
        }
      }
      break;
    case kTagLeft: case kTagCenter: case kTagRight: case kTagJustify: style_.textAlign = id - kTagLeft; break;
    case kTagBaseline: style_.verticalAlign = 3; break;
    case kTagTop: style_.verticalAlign = 0; break;
    case kTagVcenter: style_.verticalAlign = 1; break;
    case kTagBottom: style_.verticalAlign = 2; break;
    case kTagRule: vocabulary_.ApplyStyleRule(*canvas_, tagName, &style_); break;
    case kTagSpan:
      while (NextAttribute(attributes, &pos, &name, &value)) {
        if (name == u"class") vocabulary_.ApplyStyleRule(*canvas_, u"." + std::u16string(value), &style_);
      }
      break;
    case kTagLink:
      style_.linkKind = 2;
      style_.linkText.clear();
      while (NextAttribute(attributes, &pos, &name, &value)) {
        if (name == u"href" || name == u"msg") {
          style_.linkKind = name == u"href" ? 1 : 2;
          AssignBounded(&style_.linkText, value, kMaxLinkTextUnits);
        }
      }
      if (linkCounter_ < INT32_MAX) linkCounter_++;
      vocabulary_.ApplyStyleRule(*canvas_, linkCounter_ == hotLink ? u"a:hover" : u"a:link", &style_);
      break;
    default: break;
  }
}

void HtmlDrawer::DrawRule(std::u16string_view attributes) {
  HtmlStyleRecord2 rule = style_;
  vocabulary_.ApplyStyleRule(*canvas_, u"hr", &rule);
  int percent = 100, pixels = 0, thickness = 1;
  HtmlColor color = rule.textColor;
  std::u16string_view name, value;
  size_t pos = 0;
  while (NextAttribute(attributes, &pos, &name, &value)) {
    if (name == u"width") {
      const int length = vocabulary_.ParseLength(*canvas_, 100, value, false);
      const bool isPercent = !value.empty() && value.back() == u'%';
      percent = isPercent ? length : 0;
      pixels = isPercent ? 0 : length;
    } else if (name == u"size") {
      thickness = vocabulary_.ParseLength(*canvas_, 1, value, false);
    } else if (name == u"color") {
      color = vocabulary_.ParseColor(color, value);
    }
  }
  // In the measure pass a rule given in percent counts one pixel; the line is widened for it later.
  const int64_t measured = percent != 0 ? 1 : pixels;
  if (x_ + measured - rect_.left > kMaxHtmlExtent) {
    stop_ = true;
    truncated_ |= measuring();
    return;
  }
  if (measuring()) {
    line_.percentWidth = std::min(line_.percentWidth + percent, kMaxPercentWidth);
    line_.height = std::max(line_.height, thickness + 8);
    lineHasContent_ = true;
    Advance(measured, measured);
    return;
  }
  if (!LineAvailable()) return;
  lineHasContent_ = true;
  int64_t width = pixels, share = 0;
  if (percent != 0) {
    // A rule never reaches past the line's right edge, nor pushes what follows it there.
    share = PercentOf(rect_.width(), percent);
    // What follows on the line, as the measure pass laid it out.
    const int64_t after = std::max<int64_t>(line_.width - (x_ - lineStartX_ - lineShift_) - measured, 0);
    width = std::clamp<int64_t>(share, 0, std::max<int64_t>(rect_.left + rect_.width() - x_ - after, 0));
  }
  if (width > 0) {
    const int64_t y = y_ + line_.height / 2;
    canvas_->draw_line(int(x_), int(y), int(x_ + width), int(y), thickness, color, kHtmlLineSolid);
  }
  expectedWidth_ -= share;
  Advance(width, measured);
}

void HtmlDrawer::DrawStringTag(std::u16string_view attributes) {
  int id = 0;
  std::u16string_view name, value;
  size_t pos = 0;
  while (NextAttribute(attributes, &pos, &name, &value)) {
    if (name != u"idres" && name != u"iddll") continue;
    // String ids are 16 bits: a number beyond them names no string, as a missing one.
    const int64_t number = internal::ReadDecimal(value).value;
    id = number > 0 && number <= 0xFFFF ? int(number) : 0;
  }
  if (!loadString || id == 0) return;
  std::u16string text = loadString(id);
  if (text.size() > kMaxHtmlTextUnits) text.resize(kMaxHtmlTextUnits);
  if (text.empty()) return;
  const int64_t width = Width(*canvas_, text);
  if (x_ + width - rect_.left > kMaxHtmlExtent) {
    stop_ = true;
    truncated_ |= measuring();
    return;
  }
  const int height = canvas_->text_extent(text).cy;
  if (measuring()) {
    line_.align = style_.textAlign;
    TextLineY(height);
  } else {
    if (!LineAvailable()) return;
    const int64_t y = TextLineY(height);
    AddLinkArea(x_, y, width, height);
    canvas_->text_out(int(x_), int(y), text);
  }
  lineHasContent_ = true;
  Advance(width, width);
}

void HtmlDrawer::SelectStyleFont() {
  HtmlFont font;
  if (second()) {
    font = style_.Font();
  } else {
    font.height = style_.fontSize;
    font.weight = style_.fontWeight;
    font.face = style_.fontFace;
  }
  canvas_->select_font(font);
  metrics_ = canvas_->text_metrics();
  canvas_->set_background_mode(second() ? style_.backgroundMode : kHtmlTransparent);
  canvas_->set_text_color(style_.textColor);
  canvas_->set_background_color(style_.backgroundColor);
}

int64_t HtmlDrawer::StartLine() {
  lineHasContent_ = false;
  if (measuring()) {
    line_ = HtmlLineRecord();
    line_.align = style_.textAlign;
    line_.top = int(std::clamp<int64_t>(y_, 0, kMaxHtmlExtent));  // the pass lays out from 0, 0
    lineStartX_ = rect_.left;
    lineShift_ = 0;
    return lineStartX_;
  }
  line_ = lineIndex_ < lines_.size() ? lines_[lineIndex_] : HtmlLineRecord();
  const int64_t lineWidth = rect_.width();
  const int64_t width = DrawnLineWidth(line_, lineWidth);
  expectedWidth_ = width;
  expectedBlanks_ = line_.spaceCount;
  lineShift_ = 0;
  if (line_.align == 3 && line_.wrapped) {
    canvas_->set_text_justification(int(std::clamp<int64_t>(lineWidth - width, 0, kMaxHtmlExtent)), line_.spaceCount);
  } else {
    canvas_->set_text_justification(0, 0);
  }
  lineStartX_ = DrawnLineLeft(line_, rect_.left, lineWidth, width);
  return lineStartX_;
}

void HtmlDrawer::EndLine(int count) {
  if (measuring()) {
    if (line_.height == 0) line_.height = metrics_.height;
    line_.height += line_.descent;
    line_.width = int(x_ - rect_.left);
    if (lines_.size() <= lineIndex_) lines_.resize(lineIndex_ + 1);
    lines_[lineIndex_] = line_;
  }
  lineIndex_++;
  const int64_t advance = int64_t(std::max(count, 1)) * line_.height;
  if (y_ + advance - rect_.top > kMaxHtmlExtent || (measuring() && lineIndex_ >= kMaxHtmlLines)) {
    // No line is laid out after this one, but this one is recorded and drawn: its own height
    // counts, without the blank lines a count would add below it.
    y_ += line_.height;
    stop_ = true;
    truncated_ |= measuring();
  } else {
    y_ += advance;
  }
  x_ = StartLine();
}

HtmlRect HtmlDrawer::LineBox(size_t index, const HtmlRect &rect) const {
  if (index >= lines_.size()) return HtmlRect{};
  const HtmlLineRecord &line = lines_[index];
  const int64_t width = int64_t(rect.right) - rect.left;
  // A justified line is spread over the whole width.
  const int64_t drawn = line.align == 3 && line.wrapped ? std::max<int64_t>(width, line.width) : DrawnLineWidth(line, width);
  const int64_t left = DrawnLineLeft(line, rect.left, width, drawn), top = int64_t(rect.top) + line.top;
  return HtmlRect{int(left), int(top), int(left + drawn), int(top + line.height)};
}

int64_t HtmlDrawer::WrapWidth() const {
  // Cells are measured in a box of no width, so their text never wraps; the draw pass keeps to that.
  if (tableDepth_ > 0) return 0;
  return wrapWidth_;
}

int64_t HtmlDrawer::SpaceLeft() const {
  // In the measure pass's terms in both passes: the draw pass's rectangle (the measured size, one
  // pixel wider than the box the text was measured in), its alignment, the justification and the
  // rules in percent move what is drawn, never where a line breaks. Breaking anywhere else would
  // draw the content of one line with the record of another.
  return WrapWidth() - (x_ - lineStartX_ - lineShift_);
}

bool HtmlDrawer::LineAvailable() {
  // The draw pass lays out with its own rectangle and may end more lines than the measure pass
  // recorded; it stops there rather than draw from records that do not exist.
  if (lineIndex_ < lines_.size()) return true;
  stop_ = true;
  return false;
}

int64_t HtmlDrawer::TextLineY(int textHeight) {
  if (measuring()) {
    line_.descent = std::max(line_.descent, textHeight - metrics_.ascent);
    line_.height = std::max(line_.height, metrics_.ascent);
    return y_;
  }
  switch (style_.verticalAlign) {
    case 1: return y_ + (line_.height - metrics_.height) / 2;
    // The text's bottom on the line's: with its baseline there its descent would hang below the
    // line and outside the measured size.
    case 2: return y_ + line_.height - metrics_.height;
    case 3: return y_ + line_.height - metrics_.ascent - line_.descent;
    default: return y_;
  }
}

int64_t HtmlDrawer::ObjectLineY(int64_t objectHeight) {
  if (measuring()) {
    line_.height = int(std::max<int64_t>(line_.height, objectHeight));
    return y_;
  }
  switch (style_.verticalAlign) {
    case 1: return y_ + (line_.height - objectHeight) / 2;
    case 2: return y_ + line_.height - objectHeight;
    case 3: return y_ + line_.height - line_.descent - objectHeight;
    default: return y_;
  }
}

void HtmlDrawer::AdvanceTab(int count) {
  if (count <= 0) count = 1;
  const int64_t tab = vocabulary_.tabWidth();
  // Tab stops count from where the line starts, and in the draw pass from where the measure pass
  // had come: a centred line, a justified one or one with a rule in percent then keeps the tab
  // widths it was measured with.
  const int64_t offset = x_ - lineStartX_ - lineShift_;
  int64_t target = offset;
  if (offset % tab != 0) {
    target = (offset / tab + 1) * tab;
    count--;
  }
  target += count * tab;
  const int64_t advance = target - offset;
  if (x_ + advance - rect_.left > kMaxHtmlExtent) {
    stop_ = true;
    truncated_ |= measuring();
    return;
  }
  if (!measuring() && !LineAvailable()) return;
  lineHasContent_ = true;
  Advance(advance, advance);
}

void HtmlDrawer::Advance(int64_t drawn, int64_t measured) {
  x_ += drawn;
  if (!measuring()) {
    expectedWidth_ -= measured;
    lineShift_ += drawn - measured;
  }
}

void HtmlDrawer::AddLinkArea(int64_t x, int64_t y, int64_t width, int64_t height) {
  if (style_.linkKind == 0 || links_.size() >= kMaxHtmlLinkAreas) return;
  HtmlLinkRecord link;
  link.rect = HtmlRect{int(x), int(y), int(x + width), int(y + height)};
  link.kind = style_.linkKind;
  link.number = linkCounter_;
  link.text = style_.linkText;
  links_.push_back(std::move(link));
}

int HtmlDrawer::Repeat(std::u16string_view tagText) const {
  const int count = vocabulary_.ParseLength(*canvas_, 1, CountText(tagText), false);
  return std::min(count, kMaxHtmlRepeat);
}

}  // namespace v7::htmltip
