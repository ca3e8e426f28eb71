// Style sheets: rules by plain selector keys, declarations, properties, and the default sheets.
#include <algorithm>

#include "htmltip/html_vocabulary.h"
#include "htmltip/internal.h"
#include "platform/errors/error_codes.h"

namespace v7::htmltip {
namespace {

using internal::IsNameStart;

// Each rule ends with a carriage return and a line feed, as the drawers have always loaded them.
constexpr std::u16string_view kDefaultSheet2 =
    u"body {font-size: 10pt; color:black; font-family:Verdana}\r\n"
    u"p {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    u"h1 {font-size: 14pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    u"h2 {font-size: 13pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
    u"h3 {font-size: 12pt; color:#ff9900; font-family:Arial; font-weight:bold}\r\n"
    u"h4 {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    u"h5 {font-size: 9pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
    u"h6 {font-size: 65%; color:#626262; font-family:Verdana; font-weight:normal}\r\n"
    u"pre {font-size: 9pt; font-family:\"Courier\"; background-color:#fbedbb}\r\n"
    u"code {color:#990000; font-family:Arial}\r\n"
    u"a:link {text-decoration:none; color:blue}\r\n"
    u"a:hover {text-decoration:underline; color:blue}\r\n"
    u"sub {font-size:65%; vertical-align:bottom}\r\n"
    u"sup {font-size:65%; vertical-align:top}\r\n"
    u"big {font-size:125%}\r\n"
    u"small {font-size:75%}\r\n"
    u".cpp-comment {color:green; font-style:italic}\r\n";

constexpr std::u16string_view kDefaultSheet1 =
    u"body {font-size: 10pt; color:black; font-family:Verdana}\r\n"
    u"h3 {font-size: 12pt; color:#191970; font-family:Verdana; font-weight:bold}\r\n";

size_t SkipToNameStart(std::u16string_view text, size_t pos) {
  while (pos < text.size() && !IsNameStart(text[pos])) pos++;
  return pos;
}

size_t SkipBlanks(std::u16string_view text, size_t pos) {
  while (pos < text.size() && text[pos] == u' ') pos++;
  return pos;
}

// Words of a text-decoration list, separated by blanks or commas.
template <typename Visit>
void ForEachWord(std::u16string_view list, Visit visit) {
  size_t pos = 0;
  while (pos < list.size()) {
    const size_t end = list.find_first_of(u" ,", pos);
    const std::u16string_view word = list.substr(pos, end == std::u16string_view::npos ? end : end - pos);
    if (!word.empty()) visit(word);
    if (end == std::u16string_view::npos) break;
    pos = end + 1;
  }
}

// The keyword of a property, its value, or -1 when the value is no keyword of it.
struct Keyword {
  std::u16string_view word;
  int value;
};
template <size_t N>
int Lookup(const Keyword (&keywords)[N], std::u16string_view value) {
  for (const Keyword &keyword : keywords) {
    if (keyword.word == value) return keyword.value;
  }
  return -1;
}
template <size_t N>
void SetByKeyword(const Keyword (&keywords)[N], std::u16string_view value, int *field) {
  const int found = Lookup(keywords, value);
  if (found >= 0) *field = found;
}

const Keyword kFontStyle[] = {{u"normal", 0}, {u"", 0}, {u"italic", 1}, {u"oblique", 1}};
const Keyword kFontWeight[] = {{u"normal", 400}, {u"", 400}, {u"bold", 700}, {u"bolder", 900}, {u"lighter", 100}};
const Keyword kTextAlign[] = {{u"left", 0}, {u"", 0}, {u"center", 1}, {u"right", 2}};
const Keyword kTextTransform[] = {{u"none", 0}, {u"", 0}, {u"uppercase", 1}, {u"lowercase", 2}, {u"capitalize", 3}};
const Keyword kVerticalAlign[] = {{u"baseline", 3}, {u"", 3}, {u"middle", 1}, {u"vcenter", 1}, {u"top", 0}, {u"bottom", 2}};
const Keyword kBorderStyle[] = {{u"none", 0}, {u"", 0}, {u"solid", 1}, {u"dotted", 3}, {u"dashed", 2}, {u"double", 6}};

// The properties the first generation reads; the second reads every one below.
bool FirstGenerationProperty(std::u16string_view name) {
  static const std::u16string_view kNames[] = {u"font-size", u"font-family", u"font-weight", u"text-align", u"color",
                                               u"background-color", u"vertical-align", u"margin", u"padding"};
  for (std::u16string_view known : kNames) {
    if (known == name) return true;
  }
  return false;
}

}  // namespace

std::u16string_view HtmlVocabulary::DefaultStyleSheet(HtmlGeneration generation) {
  return generation == HtmlGeneration::kSecond ? kDefaultSheet2 : kDefaultSheet1;
}

int HtmlVocabulary::LoadStyleSheet(std::optional<std::u16string_view> text) {
  std::u16string_view source = text ? *text : DefaultStyleSheet(generation_);
  source = source.substr(0, source.find(u'\0'));
  if (source.size() > kMaxStyleSheetUnits) return kErrHtmlStyleSheetTooLarge;
  std::map<std::u16string, std::u16string> rules;
  size_t pos = 0;
  while ((pos = SkipToNameStart(source, pos)) < source.size()) {
    const size_t selectorEnd = std::min(source.find_first_of(u" {", pos), source.size());
    std::u16string selector = internal::LowerAscii(source.substr(pos, selectorEnd - pos));
    const size_t open = source.find(u'{', selectorEnd);
    if (open == std::u16string_view::npos) break;  // a selector with no declarations ends the sheet
    // An unclosed rule takes the rest of the sheet.
    const size_t close = std::min(source.find(u'}', open + 1), source.size());
    if (rules.count(selector) == 0 && rules.size() >= kMaxStyleRules) return kErrHtmlStyleSheetTooLarge;
    rules[std::move(selector)] = std::u16string(source.substr(open + 1, close - open - 1));
    pos = close + 1;
  }
  rules_.swap(rules);
  sheetSource_.assign(source);
  return 0;
}

const std::u16string *HtmlVocabulary::FindStyleRule(std::u16string_view selector) const {
  auto it = rules_.find(internal::LowerAscii(selector));
  return it == rules_.end() ? nullptr : &it->second;
}

bool HtmlVocabulary::ApplyStyleRule(const HtmlMetrics &metrics, std::u16string_view selector,
                                    HtmlStyleRecord2 *style) const {
  const std::u16string *rule = FindStyleRule(selector);
  if (rule == nullptr) return false;
  ParseStyleDeclarations(metrics, *rule, style);
  return true;
}

void HtmlVocabulary::ParseStyleDeclarations(const HtmlMetrics &metrics, std::u16string_view declarations,
                                            HtmlStyleRecord2 *style) const {
  const std::u16string lowered = internal::LowerAscii(declarations);
  const std::u16string_view text = lowered;
  size_t pos = 0;
  while ((pos = SkipToNameStart(text, pos)) < text.size()) {
    const size_t nameEnd = std::min(text.find_first_of(u" :", pos), text.size());
    const std::u16string_view name = text.substr(pos, nameEnd - pos);
    pos = SkipBlanks(text, nameEnd);
    if (pos >= text.size() || text[pos] != u':') {
      // No ":" after the name: the declaration is skipped up to its ";".
      pos = std::min(text.find(u';', pos), text.size());
      continue;
    }
    pos = SkipBlanks(text, pos + 1);
    std::u16string_view value;
    if (pos < text.size() && text[pos] == u'"') {
      const size_t close = std::min(text.find(u'"', pos + 1), text.size());
      value = text.substr(pos + 1, close - pos - 1);
      pos = close + 1;
    } else {
      const size_t end = std::min(text.find(u';', pos), text.size());
      // Trailing blanks are not part of the value: "red " would name no colour.
      value = internal::TrimTrailingBlanks(text.substr(pos, end - pos));
      pos = end + 1;
    }
    ApplyProperty(metrics, name, value, style);
  }
}

void HtmlVocabulary::ApplyProperty(const HtmlMetrics &metrics, std::u16string_view name, std::u16string_view value,
                                   HtmlStyleRecord2 *style) const {
  const bool second = generation_ == HtmlGeneration::kSecond;
  if (!second && !FirstGenerationProperty(name)) return;
  if (name == u"font-size") {
    style->fontSize = ParseLength(metrics, style->fontSize, value, true);
  } else if (name == u"font-family") {
    if (!value.empty()) AssignBounded(&style->fontFace, value, kMaxFontFaceUnits);
  } else if (name == u"font-style") {
    SetByKeyword(kFontStyle, value, &style->italic);
  } else if (name == u"font-weight") {
    const int keyword = Lookup(kFontWeight, value);
    const internal::ReadNumber number = internal::ReadDecimal(value);
    // A number outside the weights fonts have is brought to the nearest one; no number, no change.
    if (keyword >= 0) {
      style->fontWeight = keyword;
    } else if (number.digits) {
      style->fontWeight = int(number.value < 100 ? 100 : number.value > 900 ? 900 : number.value);
    }
  } else if (name == u"text-align") {
    SetByKeyword(kTextAlign, value, &style->textAlign);
  } else if (name == u"text-transform") {
    SetByKeyword(kTextTransform, value, &style->textTransform);
  } else if (name == u"color") {
    style->textColor = ParseColor(style->textColor, value);
  } else if (name == u"background-color") {
    if (!second) {
      style->backgroundColor = ParseColor(style->backgroundColor, value);
    } else if (value == u"transparent" || value.empty() || !colorsEnabled) {
      style->backgroundMode = kHtmlTransparent;
    } else {
      style->backgroundMode = kHtmlOpaque;
      style->backgroundColor = ParseColor(style->backgroundColor, value);
    }
  } else if (name == u"text-decoration") {
    if (value.empty()) value = u"none";
    ForEachWord(value, [style](std::u16string_view word) {
      if (word == u"none") {
        style->underline = style->strikeout = style->overline = 0;
      } else if (word == u"underline") {
        style->underline = 1;
      } else if (word == u"line-through") {
        style->strikeout = 1;
      } else if (word == u"overline") {
        style->overline = 1;
      }
    });
  } else if (name == u"vertical-align") {
    SetByKeyword(kVerticalAlign, value, &style->verticalAlign);
  } else if (name == u"border-color") {
    style->borderColorLight = style->borderColorDark = ParseColor(style->borderColorLight, value);
  } else if (name == u"border-width" || name == u"size") {
    if (value == u"thin") {
      style->borderWidth = internal::ClampLength(internal::MulDiv(75, style->borderWidth, 100));
    } else if (value == u"thick") {
      style->borderWidth = internal::ClampLength(internal::MulDiv(125, style->borderWidth, 100));
    } else if (value != u"medium") {
      style->borderWidth = ParseLength(metrics, style->borderWidth, value, false);
    }
    if (style->borderWidth == 0) {
      style->borderStyle = 0;
    } else if (style->borderStyle == 0) {
      style->borderStyle = 1;
    }
  } else if (name == u"border-style") {
    SetByKeyword(kBorderStyle, value, &style->borderStyle);
    if (style->borderStyle != 0 && style->borderWidth == 0) style->borderWidth = 1;
  } else if (name == u"margin") {
    style->margin = ParseLength(metrics, style->margin, value, false);
  } else if (name == u"padding") {
    style->padding = ParseLength(metrics, style->padding, value, false);
  }
}

}  // namespace v7::htmltip
