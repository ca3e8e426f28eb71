// Lengths and units.
#include "htmltip/html_vocabulary.h"
#include "htmltip/internal.h"

namespace v7::htmltip {
namespace {

// A count past this is already far past kMaxHtmlLength in every unit; cutting it here keeps the
// products below inside 64 bits.
constexpr int64_t kMaxCount = 1000000;

int64_t Magnitude(int64_t n) {
  if (n < 0) n = -n;
  return n > kMaxCount ? kMaxCount : n;
}

}  // namespace

int HtmlVocabulary::ParseLength(const HtmlMetrics &metrics, int base, std::u16string_view text,
                                bool fontSizeKeywords) const {
  using internal::ClampLength;
  if (text.empty()) return base;
  if (text.back() == u'%') {
    // The sign is dropped here too: a negative percentage would give a negative size.
    return ClampLength(internal::MulDiv(base, int(Magnitude(internal::ReadDecimal(text).value)), 100));
  }
  if (text.front() == u'+' || text.front() == u'-') text.remove_prefix(1);
  const int64_t n = Magnitude(internal::ReadDecimal(text).value);
  const std::u16string_view unit = text.size() >= 2 ? text.substr(text.size() - 2) : std::u16string_view();
  if (unit == u"px") return ClampLength(n);
  if (unit == u"ex") return ClampLength(n * metrics.text_extent(u"x").cx);
  if (unit == u"em") return ClampLength(n * metrics.text_metrics().height);
  const int64_t v = n * metrics.pixels_per_inch_y();
  if (unit == u"in") return ClampLength(v);
  if (unit == u"cm") return ClampLength(int64_t(double(v) / 2.54));
  if (unit == u"mm") return ClampLength(int64_t(double(v) / 25.4));
  if (unit == u"pt") return ClampLength(v / 72);
  if (unit == u"pc") return ClampLength(v / 6);
  int64_t whole = internal::ReadAutoBase(text).value;
  static const int kFontSizes[] = {8, 10, 12, 14, 18, 24, 36};
  if (fontSizeKeywords && whole >= 1 && whole <= 7) whole = kFontSizes[whole - 1];
  return ClampLength(whole);
}

}  // namespace v7::htmltip
