// The dialect the tooltip drawers read: tags, entities, colours, lengths and style sheets, with the
// tables each drawer owns. The two drawer generations share this engine, each with its profile: the
// second generation reads the whole dialect, the first a smaller vocabulary of the same design.
//
// Nothing here fails outward on malformed markup: a tag, declaration, colour or length that does
// not parse leaves the previous value. Only the bounds of html_limits.h refuse input, with a code.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "htmltip/html_canvas.h"
#include "htmltip/html_limits.h"
#include "htmltip/html_style.h"

namespace v7::htmltip {

enum class HtmlGeneration { kFirst = 1, kSecond = 2 };

// Tag ids. Both generations use these; the first generation simply knows fewer names.
enum HtmlTagId : int {
  kTagUnknown = 0,
  kTagBold = 1,
  kTagItalic = 2,
  kTagUnderline = 3,
  kTagStrikeout = 4,
  kTagFont = 5,
  kTagHr = 6,
  kTagBr = 7,
  kTagTab = 8,
  kTagLeft = 9,
  kTagCenter = 10,
  kTagRight = 11,
  kTagJustify = 12,
  kTagBaseline = 13,
  kTagTop = 14,
  kTagVcenter = 15,
  kTagBottom = 16,
  kTagBmp = 17,
  kTagIcon = 18,
  kTagIlst = 19,
  kTagString = 20,
  kTagRule = 21,  // body, h1 to h6, code, pre, big, small, sub, sup: apply the rule of that name
  kTagSpan = 22,
  kTagLink = 23,
};

// The system colour indices the drawers read.
enum : int { kSysColorWindow = 5, kSysColorBtnShadow = 16 };

// Reads one system colour (GetSysColor on Windows); null reads black for every index.
using HtmlSystemColorFn = HtmlColor (*)(int index);

// A tag's text split at its first blank or "=": the name, and the rest from that character on
// with leading blanks removed ("br=2" gives "=2", "font color=red" gives "color=red").
struct HtmlTagParts {
  std::u16string_view name;
  std::u16string_view attributes;
};
HtmlTagParts SplitTag(std::u16string_view tagText);

class HtmlVocabulary {
 public:
  // Fills the tables in the drawers' order: tags, entities, colours (the system colours read
  // once, here), then the default style sheet; colours enabled, disabledColor the button shadow.
  HtmlVocabulary(HtmlGeneration generation, HtmlSystemColorFn systemColor);

  HtmlGeneration generation() const { return generation_; }
  // Tab width of the generation's layout, in pixels.
  int tabWidth() const { return generation_ == HtmlGeneration::kSecond ? 32 : 24; }

  // Settings of the drawer that belong to the dialect.
  bool newlineAsBreak = true;
  // The first generation has no such switch: there it is always on.
  bool colorsEnabled = true;
  HtmlColor disabledColor = 0;

  // Tags. The name is looked up exactly as written ("B" is unknown); a leading "/" marks a closing
  // tag. Returns the tag id, 0 for an unknown name; the style name is empty for object tags and
  // for unknown ones.
  int LookupTag(std::u16string_view tagText, std::u16string *styleNameOut, bool *closingOut) const;
  size_t tagCount() const { return tags_.size(); }

  // Entities (second generation). Insert or overwrite; false (errno kErrHtmlTableFull) when the
  // entity is empty, a text is longer than kMaxEntityUnits, the table is full, or this generation
  // has no entities.
  bool AddEntity(std::u16string_view entity, std::u16string_view replacement);
  size_t entityCount() const { return entities_.size(); }

  // Rewrites a text once before it is laid out: the text ends at its first NUL; every entity is
  // replaced throughout, one entity after the other in ascending order of the entity texts, so
  // "&amp;" followed by "lt;" ends as a literal "<" (the tag scanner reads the "<<" of "&lt;" as
  // one "<"); carriage returns are removed; line feeds and tabs become "<br>" and "<t>" with
  // newlineAsBreak, else are removed. Returns 0, or kErrHtmlTextTooLong with `out` empty when the
  // text or its rewrite passes the bounds.
  int PrepareText(std::u16string_view text, std::u16string *out) const;

  // Colours. Insert or overwrite; false (errno kErrHtmlTableFull) for an empty name, a name longer
  // than kMaxColorNameUnits or a full table.
  bool AddColor(std::u16string_view name, HtmlColor color);
  size_t colorCount() const { return colors_.size(); }
  // A colour name: its value, `fallback` when unknown, disabledColor while colours are disabled.
  HtmlColor GetColor(std::u16string_view name, HtmlColor fallback) const;
  // A colour value of an attribute or property: empty keeps `current`; "#rrggbb"; a number in
  // automatic base taken as a COLORREF; else a name. Anything malformed keeps `current`; while
  // colours are disabled every value that is not empty gives disabledColor.
  HtmlColor ParseColor(HtmlColor current, std::u16string_view text) const;

  // A length in pixels: empty gives `base`; "n%" of base; px, ex, em, in, cm, mm, pt, pc; else a
  // number in automatic base, with fontSizeKeywords 1 to 7 the font sizes 8 to 36. The sign is
  // dropped (there are no relative lengths) and the result clipped to 0..kMaxHtmlLength.
  int ParseLength(const HtmlMetrics &metrics, int base, std::u16string_view text, bool fontSizeKeywords) const;

  // Style sheets. A null text loads the generation's default sheet. Returns 0, or
  // kErrHtmlStyleSheetTooLarge when the text has more than kMaxStyleSheetUnits units or
  // kMaxStyleRules selectors; the sheet loaded before then stays.
  int LoadStyleSheet(std::optional<std::u16string_view> text);
  const std::u16string &styleSheetSource() const { return sheetSource_; }
  size_t styleRuleCount() const { return rules_.size(); }
  // The declaration text of a selector (looked up in lower case), or null.
  const std::u16string *FindStyleRule(std::u16string_view selector) const;
  void ParseStyleDeclarations(const HtmlMetrics &metrics, std::u16string_view text, HtmlStyleRecord2 *style) const;
  // Looks the rule up and applies it; false (style unchanged) when there is none.
  bool ApplyStyleRule(const HtmlMetrics &metrics, std::u16string_view selector, HtmlStyleRecord2 *style) const;

  // The default sheets, exactly as loaded.
  static std::u16string_view DefaultStyleSheet(HtmlGeneration generation);

 private:
  struct TagEntry {
    std::u16string styleName;
    int id;
  };
  void FillTags();
  void FillEntities();
  void FillColors(HtmlSystemColorFn systemColor);
  void ApplyProperty(const HtmlMetrics &metrics, std::u16string_view name, std::u16string_view value,
                     HtmlStyleRecord2 *style) const;

  HtmlGeneration generation_;
  std::map<std::u16string, TagEntry> tags_;
  std::map<std::u16string, std::u16string> entities_;
  std::map<std::u16string, HtmlColor> colors_;
  std::map<std::u16string, std::u16string> rules_;
  std::u16string sheetSource_;
};

}  // namespace v7::htmltip
