// The text style every tag, attribute and style-sheet property writes into, and the stack of saved
// styles that closing tags restore.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "htmltip/html_canvas.h"
#include "htmltip/html_limits.h"

namespace v7::htmltip {

// One record serves both drawer generations: the first generation's style is the same list with
// fewer fields in use, and the fields it has start from the same values.
struct HtmlStyleRecord2 {
  std::u16string name;  // style name of the tag that pushed the record, to match its closing tag
  int fontSize = 16;
  int fontWeight = 400;
  int italic = 0;
  int underline = 0;
  int strikeout = 0;
  int overline = 0;
  std::u16string fontFace = u"Verdana";
  HtmlColor textColor = 0x000000;
  HtmlColor backgroundColor = 0xFFFFFF;
  HtmlColor borderColorLight = 0x000000;
  HtmlColor borderColorDark = 0x000000;
  HtmlColor gradientMidColor = 0xFFFFFF;
  HtmlColor gradientEndColor = 0xFFFFFF;
  int backgroundMode = kHtmlTransparent;
  int backgroundEffect = -1;  // -1 none, 0 solid, 1 to 15 the fill effects
  std::u16string backgroundImage;
  int textAlign = 0;      // 0 left, 1 center, 2 right, 3 justify
  int verticalAlign = 3;  // 0 top, 1 middle, 2 bottom, 3 baseline
  int borderStyle = 0;    // 0 none, 1 solid, 2 dashed, 3 dotted, 6 double
  int borderWidth = 0;
  int width = 0;   // of a table or cell; cleared per cell, kept by a reset
  int height = 0;  // likewise
  int textTransform = 0;  // 0 none, 1 uppercase, 2 lowercase, 3 capitalize
  int margin = 2;         // a table's cellpadding
  int padding = 0;        // a table's cellspacing
  int linkKind = 0;       // 0 none, 1 hyperlink (href), 2 message (msg)
  std::u16string linkText;

  // The values every measure or draw pass starts from; width and height keep theirs.
  void Reset();
  // The font a drawer creates for this style.
  HtmlFont Font() const;
};

using HtmlStyleRecord = HtmlStyleRecord2;

// Copies `value` into a text field of a style, cut to `max_units` UTF-16 units (never inside a
// surrogate pair), so that no attribute can make the saved styles grow without bound.
void AssignBounded(std::u16string *field, std::u16string_view value, size_t max_units);

// Saved styles. An opening style tag calls PushStyle before it changes the current style; its
// closing tag calls PopStyle, which restores only a style pushed under the same name.
class HtmlStyleStack {
 public:
  // Names the current style and saves a copy of it. At kMaxStyleDepth the stack is full: nothing
  // is saved or renamed and false tells the caller to ignore the tag, so that its closing tag
  // cannot undo an earlier one.
  bool PushStyle(HtmlStyleRecord2 *current, std::u16string_view styleName);
  // Restores the saved style when the top was pushed under `styleName`; a stray closing tag
  // changes nothing. Either way the current style's name is emptied.
  void PopStyle(HtmlStyleRecord2 *current, std::u16string_view styleName);
  void Clear() { saved_.clear(); }
  size_t depth() const { return saved_.size(); }

 private:
  std::vector<HtmlStyleRecord2> saved_;
};

}  // namespace v7::htmltip
