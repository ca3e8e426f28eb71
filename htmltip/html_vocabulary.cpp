// The drawer's tables as its constructor fills them, and the rewrite of a text before layout.
#include "htmltip/html_vocabulary.h"

#include <iterator>

#include "platform/errors/errno_util.h"

namespace v7::htmltip {
namespace {

struct Entity {
  const char16_t *entity;
  const char16_t *replacement;
};

// "&lt;" becomes a doubled "<", which the tag scanner reads as one literal "<".
const Entity kEntities[] = {
    {u"&amp;", u"&"},       {u"&gt;", u">"},         {u"&lt;", u"<<"},        {u"&nbsp;", u" "},
    {u"&quot;", u"\""},     {u"&bull;", u"\u2022"},  {u"&copy;", u"\u00A9"},  {u"&euro;", u"\u20AC"},
    {u"&iquest;", u"\u00BF"}, {u"&para;", u"\u00B6"}, {u"&pound;", u"\u00A3"}, {u"&reg;", u"\u00AE"},
    {u"&trade;", u"\u2122"},
};

// Replaces every occurrence from left to right, as one pass; false when the result would pass
// kMaxPreparedTextUnits.
bool ReplaceAll(std::u16string *text, std::u16string_view from, std::u16string_view to) {
  size_t at = text->find(from);
  if (at == std::u16string::npos) return true;
  std::u16string out;
  size_t start = 0;
  for (; at != std::u16string::npos; at = text->find(from, start)) {
    out.append(*text, start, at - start);
    out.append(to);
    start = at + from.size();
    if (out.size() > kMaxPreparedTextUnits) return false;
  }
  out.append(*text, start, std::u16string::npos);
  if (out.size() > kMaxPreparedTextUnits) return false;
  text->swap(out);
  return true;
}

}  // namespace

HtmlVocabulary::HtmlVocabulary(HtmlGeneration generation, HtmlSystemColorFn systemColor)
    : generation_(generation) {
  FillTags();
  FillEntities();
  FillColors(systemColor);
  LoadStyleSheet(std::nullopt);
  colorsEnabled = true;
  disabledColor = systemColor != nullptr ? systemColor(kSysColorBtnShadow) & kHtmlColorMask : 0;
}

void HtmlVocabulary::FillEntities() {
  if (generation_ != HtmlGeneration::kSecond) return;
  for (const Entity &entity : kEntities) entities_[entity.entity] = entity.replacement;
}

bool HtmlVocabulary::AddEntity(std::u16string_view entity, std::u16string_view replacement) {
  // An empty entity would match between every two characters of every text.
  const bool fits = generation_ == HtmlGeneration::kSecond && !entity.empty() && entity.size() <= kMaxEntityUnits &&
                    replacement.size() <= kMaxEntityUnits;
  const std::u16string key(entity);
  if (!fits || (entities_.count(key) == 0 && entities_.size() >= kMaxEntities + std::size(kEntities)))
    return with_errno(kErrHtmlTableFull, false);
  entities_[key] = std::u16string(replacement);
  return true;
}

int HtmlVocabulary::PrepareText(std::u16string_view text, std::u16string *out) const {
  out->clear();
  // Callers hand over terminated texts; what follows a NUL was never part of the text.
  text = text.substr(0, text.find(u'\0'));
  if (text.size() > kMaxHtmlTextUnits) return kErrHtmlTextTooLong;
  std::u16string prepared(text);
  // Entity by entity, in the table's order: "&amp;lt;" becomes "&lt;" and then "<<", and so a
  // literal "<". Single-pass decoding would be usual HTML, but every text is our own resource and
  // some may rely on this order.
  for (const auto &entity : entities_) {
    if (!ReplaceAll(&prepared, entity.first, entity.second)) return kErrHtmlTextTooLong;
  }
  std::u16string rewritten;
  rewritten.reserve(prepared.size());
  for (char16_t c : prepared) {
    if (c == u'\r') continue;
    if (c == u'\n' || c == u'\t') {
      if (newlineAsBreak) rewritten.append(c == u'\n' ? u"<br>" : u"<t>");
      continue;
    }
    rewritten.push_back(c);
  }
  if (rewritten.size() > kMaxPreparedTextUnits) return kErrHtmlTextTooLong;
  out->swap(rewritten);
  return 0;
}

}  // namespace v7::htmltip
