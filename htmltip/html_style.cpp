#include "htmltip/html_style.h"

namespace v7::htmltip {

void HtmlStyleRecord2::Reset() {
  const int keptWidth = width;
  const int keptHeight = height;
  *this = HtmlStyleRecord2();
  width = keptWidth;
  height = keptHeight;
}

HtmlFont HtmlStyleRecord2::Font() const {
  HtmlFont font;
  font.height = fontSize;
  font.weight = fontWeight;
  font.italic = italic != 0;
  font.underline = underline != 0;
  font.strikeout = strikeout != 0;
  font.face = fontFace;
  return font;
}

void AssignBounded(std::u16string *field, std::u16string_view value, size_t max_units) {
  if (value.size() > max_units) {
    size_t cut = max_units;
    // Keep a surrogate pair whole: cutting between its halves would leave a lone high surrogate.
    if (cut > 0 && value[cut - 1] >= 0xD800 && value[cut - 1] <= 0xDBFF) cut--;
    value = value.substr(0, cut);
  }
  field->assign(value);
}

bool HtmlStyleStack::PushStyle(HtmlStyleRecord2 *current, std::u16string_view styleName) {
  if (saved_.size() >= kMaxStyleDepth) return false;
  current->name.assign(styleName);
  saved_.push_back(*current);
  return true;
}

void HtmlStyleStack::PopStyle(HtmlStyleRecord2 *current, std::u16string_view styleName) {
  current->name.assign(styleName);
  if (!saved_.empty() && saved_.back().name == current->name) {
    *current = std::move(saved_.back());
    saved_.pop_back();
  }
  current->name.clear();
}

}  // namespace v7::htmltip
