#include <gtest/gtest.h>

#include <cerrno>

#include "htmltip/html_vocabulary.h"
#include "platform/errors/error_codes.h"
#include "tests/htmltip/html_test_support.h"
#include "tests/htmltip/html_test_text.h"

namespace {

using namespace v7::htmltip;
using v7test::HtmlText;

TEST(HtmlColors, Vectors) {
  for (const v7test::VectorCase &c : v7test::load_vectors("htmltip_colors.txt")) {
    SCOPED_TRACE(c.where());
    const std::u16string value = HtmlText(c, "value");
    const bool disabled = c.has("disabled") && c.number("disabled") != 0;
    const HtmlColor current = HtmlColor(c.number("current"));
    HtmlVocabulary second(HtmlGeneration::kSecond, v7test::TestSystemColor);
    HtmlVocabulary first(HtmlGeneration::kFirst, v7test::TestSystemColor);
    second.colorsEnabled = first.colorsEnabled = !disabled;
    EXPECT_EQ(second.ParseColor(current, value), HtmlColor(c.number("want2"))) << "second generation";
    EXPECT_EQ(first.ParseColor(current, value), HtmlColor(c.number("want1"))) << "first generation";
  }
}

TEST(HtmlColors, TableSizes) {
  const HtmlVocabulary second(HtmlGeneration::kSecond, v7test::TestSystemColor);
  const HtmlVocabulary first(HtmlGeneration::kFirst, v7test::TestSystemColor);
  // 140 keywords and 28 system colours, threedface and buttonface, window and others sharing indices.
  EXPECT_EQ(second.colorCount(), 168u);
  EXPECT_EQ(first.colorCount(), 5u);
  // The one grey spelling of the table, and none of the others.
  EXPECT_EQ(second.GetColor(u"lightgrey", 1), HtmlRgb(211, 211, 211));
  for (std::u16string_view grey : {u"grey", u"darkgrey", u"dimgrey", u"slategrey", u"lightslategrey",
                                   u"darkslategrey", u"lightgray"}) {
    EXPECT_EQ(second.GetColor(grey, 1), 1u);
  }
  EXPECT_EQ(second.GetColor(u"buttonface", 1), second.GetColor(u"threedface", 2));
}

TEST(HtmlColors, AddedColours) {
  HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  ASSERT_TRUE(vocabulary.AddColor(u"brand", 0x01ABCDEF));
  EXPECT_EQ(vocabulary.ParseColor(0, u"brand"), 0xABCDEFu);  // the palette byte never survives
  ASSERT_TRUE(vocabulary.AddColor(u"red", 0x000001));          // overwrites
  EXPECT_EQ(vocabulary.ParseColor(0, u"red"), 0x000001u);
  errno = 0;
  EXPECT_FALSE(vocabulary.AddColor(u"", 1));
  EXPECT_EQ(errno, v7::kErrHtmlTableFull);
  EXPECT_FALSE(vocabulary.AddColor(std::u16string(kMaxColorNameUnits + 1, u'c'), 1));
  size_t added = 0;
  for (int i = 0; i < 1000; i++) {
    if (vocabulary.AddColor(u"c" + std::u16string(1, char16_t(0x4000 + i)), 1)) added++;
  }
  EXPECT_EQ(vocabulary.colorCount(), kMaxColors);
  EXPECT_EQ(added, kMaxColors - 169);
  EXPECT_TRUE(vocabulary.AddColor(u"brand", 2));
}

TEST(HtmlColors, DisabledColoursOverrideNames) {
  HtmlVocabulary vocabulary(HtmlGeneration::kSecond, v7test::TestSystemColor);
  vocabulary.colorsEnabled = false;
  vocabulary.disabledColor = 0x00C0C0C0;
  EXPECT_EQ(vocabulary.GetColor(u"red", 7), 0xC0C0C0u);
  EXPECT_EQ(vocabulary.GetColor(u"nosuchcolour", 7), 0xC0C0C0u);
}

// A mask colour written "#FF0000" is red; the pixel it must match in a 32-bit DIB is 0x00FF0000,
// which as a COLORREF would be blue.
TEST(HtmlColors, PixelsAndColoursConvertBothWays) {
  const HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  const HtmlColor red = vocabulary.ParseColor(0, u"#FF0000");
  EXPECT_EQ(red, 0x0000FFu);
  EXPECT_EQ(HtmlPixelFromColor(red), 0x00FF0000u);
  EXPECT_EQ(HtmlColorFromPixel(0xFF123456), 0x563412u);  // the alpha byte is no part of a colour
  EXPECT_EQ(HtmlColorFromPixel(HtmlPixelFromColor(0xABCDEF)), 0xABCDEFu);
  EXPECT_NE(HtmlPixelFromColor(red), red);
}

}  // namespace
