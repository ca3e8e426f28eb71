// The tag tables of both generations.
#include <iterator>

#include "htmltip/html_vocabulary.h"

namespace v7::htmltip {
namespace {

struct TagName {
  const char16_t *name;
  const char16_t *styleName;  // empty: an object tag, drawn in place, never on the style stack
  int id;
  bool firstGeneration;      // also known to the first generation
};

// "bottom" shares the style name of "vcenter": closing either undoes the other.
const TagName kTags[] = {
    {u"b", u"bold", kTagBold, true},
    {u"i", u"italic", kTagItalic, false},
    {u"em", u"italic", kTagItalic, false},
    {u"u", u"underline", kTagUnderline, false},
    {u"s", u"strikeout", kTagStrikeout, false},
    {u"strike", u"strikeout", kTagStrikeout, false},
    {u"font", u"font", kTagFont, true},
    {u"hr", u"", kTagHr, true},
    {u"br", u"", kTagBr, true},
    {u"\n", u"", kTagBr, true},
    {u"t", u"", kTagTab, true},
    {u"\t", u"", kTagTab, true},
    {u"left", u"left", kTagLeft, true},
    {u"center", u"center", kTagCenter, true},
    {u"right", u"right", kTagRight, true},
    {u"justify", u"justify", kTagJustify, false},
    {u"baseline", u"baseline", kTagBaseline, false},
    {u"top", u"top", kTagTop, true},
    {u"vcenter", u"vcenter", kTagVcenter, true},
    {u"middle", u"vcenter", kTagVcenter, true},
    {u"bottom", u"vcenter", kTagBottom, true},
    {u"bmp", u"", kTagBmp, true},
    {u"icon", u"", kTagIcon, true},
    {u"ilst", u"", kTagIlst, false},
    {u"string", u"", kTagString, false},
    {u"body", u"body", kTagRule, true},
    {u"h1", u"h1", kTagRule, false},
    {u"h2", u"h2", kTagRule, false},
    {u"h3", u"h3", kTagRule, true},
    {u"h4", u"h4", kTagRule, false},
    {u"h5", u"h5", kTagRule, false},
    {u"h6", u"h6", kTagRule, false},
    {u"code", u"code", kTagRule, false},
    {u"pre", u"pre", kTagRule, false},
    {u"big", u"big", kTagRule, false},
    {u"small", u"small", kTagRule, false},
    {u"sub", u"sub", kTagRule, false},
    {u"sup", u"sup", kTagRule, false},
    {u"span", u"span", kTagSpan, false},
    {u"a", u"link", kTagLink, false},
};
static_assert(std::size(kTags) == 40, "the second generation knows 40 tag names");

}  // namespace

HtmlTagParts SplitTag(std::u16string_view tagText) {
  HtmlTagParts parts;
  const size_t split = tagText.find_first_of(u" =");
  parts.name = tagText.substr(0, split);
  if (split != std::u16string_view::npos) {
    std::u16string_view rest = tagText.substr(split);
    while (!rest.empty() && rest.front() == u' ') rest.remove_prefix(1);
    parts.attributes = rest;
  }
  return parts;
}

void HtmlVocabulary::FillTags() {
  for (const TagName &tag : kTags) {
    if (generation_ == HtmlGeneration::kFirst && !tag.firstGeneration) continue;
    tags_[tag.name] = TagEntry{tag.styleName, tag.id};
  }
}

int HtmlVocabulary::LookupTag(std::u16string_view tagText, std::u16string *styleNameOut, bool *closingOut) const {
  std::u16string_view name = SplitTag(tagText).name;
  const bool closing = !name.empty() && name.front() == u'/';
  if (closing) name.remove_prefix(1);
  if (closingOut != nullptr) *closingOut = closing;
  auto it = tags_.find(std::u16string(name));
  if (styleNameOut != nullptr) {
    if (it == tags_.end()) {
      styleNameOut->clear();
    } else {
      *styleNameOut = it->second.styleName;
    }
  }
  return it == tags_.end() ? kTagUnknown : it->second.id;
}

}  // namespace v7::htmltip
