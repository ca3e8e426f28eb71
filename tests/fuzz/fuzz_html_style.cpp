// The HTML tooltip dialect on arbitrary UTF-16 input (byte pairs, little-endian): an optional style
// sheet before the first U+FFFE, then an HTML text. The text is prepared, its tags looked up and
// its style tags driven through the style stack with the sheet's rules, the attribute texts read
// as declarations, colours and lengths. Besides memory safety: every bound holds and every style
// field stays in its range.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "htmltip/html_limits.h"
#include "htmltip/html_style.h"
#include "htmltip/html_vocabulary.h"
#include "htmltip/recording_canvas.h"
#include "platform/errors/error_codes.h"

namespace {

using namespace v7::htmltip;

void require(bool ok) {
  if (!ok) abort();
}

HtmlColor SystemColor(int index) { return HtmlColor(0x01000000 | (index * 0x010101)); }

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

void CheckStyle(const HtmlStyleRecord2 &s) {
  require(InRange(s.fontSize, 0, kMaxHtmlLength) && InRange(s.fontWeight, 100, 900));
  require(InRange(s.italic, 0, 1) && InRange(s.underline, 0, 1) && InRange(s.strikeout, 0, 1) &&
          InRange(s.overline, 0, 1));
  require(s.fontFace.size() <= kMaxFontFaceUnits && !s.fontFace.empty());
  for (HtmlColor c : {s.textColor, s.backgroundColor, s.borderColorLight, s.borderColorDark}) require(c <= kHtmlColorMask);
  require(InRange(s.backgroundMode, 1, 2) && InRange(s.textAlign, 0, 2) && InRange(s.verticalAlign, 0, 3));
  require(s.borderStyle == 0 || s.borderStyle == 1 || s.borderStyle == 2 || s.borderStyle == 3 || s.borderStyle == 6);
  require(InRange(s.borderWidth, 0, kMaxHtmlLength) && InRange(s.margin, 0, kMaxHtmlLength) &&
          InRange(s.padding, 0, kMaxHtmlLength) && InRange(s.textTransform, 0, 3));
  require(s.borderStyle == 0 || s.borderWidth != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  std::u16string units;
  for (size_t i = 1; i + 1 < size; i += 2) units.push_back(char16_t(data[i] | data[i + 1] << 8));

  HtmlVocabulary vocabulary(flags & 1 ? HtmlGeneration::kFirst : HtmlGeneration::kSecond, SystemColor);
  vocabulary.colorsEnabled = (flags & 2) == 0;
  vocabulary.newlineAsBreak = (flags & 4) == 0;
  require(vocabulary.disabledColor <= kHtmlColorMask);

  std::u16string_view html = units;
  const size_t split = html.find(u'\uFFFE');
  if (split != std::u16string_view::npos) {
    const int rc = vocabulary.LoadStyleSheet(html.substr(0, split));
    require(rc == 0 || rc == v7::kErrHtmlStyleSheetTooLarge);
    html.remove_prefix(split + 1);
  }
  require(vocabulary.styleRuleCount() <= kMaxStyleRules && vocabulary.styleSheetSource().size() <= kMaxStyleSheetUnits);

  std::u16string prepared;
  const int rc = vocabulary.PrepareText(html, &prepared);
  require(rc == 0 || (rc == v7::kErrHtmlTextTooLong && prepared.empty()));
  require(prepared.size() <= kMaxPreparedTextUnits);
  require(prepared.find(u'\r') == std::u16string::npos && prepared.find(u'\0') == std::u16string::npos);

  HtmlRecordingCanvas canvas;
  HtmlStyleStack stack;
  HtmlStyleRecord2 current;
  current.Reset();
  vocabulary.ApplyStyleRule(canvas, u"body", &current);
  CheckStyle(current);
  size_t pos = 0;
  while (pos < prepared.size()) {
    const size_t open = prepared.find(u'<', pos);
    if (open == std::u16string::npos) break;
    const size_t close = prepared.find(u'>', open + 1);
    if (close == std::u16string::npos) break;
    const std::u16string_view tag = std::u16string_view(prepared).substr(open + 1, close - open - 1);
    const std::u16string_view run = std::u16string_view(prepared).substr(pos, open - pos).substr(0, 64);
    current.textColor = vocabulary.ParseColor(current.textColor, run);
    current.margin = vocabulary.ParseLength(canvas, current.margin, run, false);
    pos = close + 1;

    std::u16string styleName;
    bool closing = false;
    const int id = vocabulary.LookupTag(tag, &styleName, &closing);
    require(InRange(id, 0, kTagLink) && (id != 0 || styleName.empty()));
    if (id == 0 || styleName.empty()) continue;
    if (closing) {
      stack.PopStyle(&current, styleName);
      require(current.name.empty());
    } else if (stack.PushStyle(&current, styleName)) {
      const std::u16string_view attributes = SplitTag(tag).attributes;
      vocabulary.ApplyStyleRule(canvas, styleName, &current);
      vocabulary.ParseStyleDeclarations(canvas, attributes, &current);
      if (id == kTagSpan) vocabulary.ApplyStyleRule(canvas, u"." + std::u16string(attributes), &current);
      if (id == kTagFont) {
        current.textColor = vocabulary.ParseColor(current.textColor, attributes);
        current.fontSize = vocabulary.ParseLength(canvas, current.fontSize, attributes, true);
      }
    }
    require(stack.depth() <= kMaxStyleDepth);
    CheckStyle(current);
  }
  return 0;
}
