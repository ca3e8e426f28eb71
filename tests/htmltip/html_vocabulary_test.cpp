#include <gtest/gtest.h>

#include <cerrno>

#include "htmltip/html_vocabulary.h"
#include "platform/errors/error_codes.h"
#include "tests/htmltip/html_test_support.h"
#include "tests/htmltip/html_test_text.h"

namespace {

using namespace v7::htmltip;
using v7test::HtmlText;

TEST(HtmlTextPreparation, Vectors) {
  for (const v7test::VectorCase &c : v7test::load_vectors("htmltip_text_preparation.txt")) {
    SCOPED_TRACE(c.where());
    const std::u16string text = HtmlText(c, "text");
    for (HtmlGeneration generation : {HtmlGeneration::kSecond, HtmlGeneration::kFirst}) {
      HtmlVocabulary vocabulary(generation, v7test::TestSystemColor);
      if (c.has("newline_as_break")) vocabulary.newlineAsBreak = c.number("newline_as_break") != 0;
      std::u16string prepared = u"stale";
      const int rc = vocabulary.PrepareText(text, &prepared);
      if (c.has("error")) {
        EXPECT_EQ(rc, v7::kErrHtmlTextTooLong);
        EXPECT_TRUE(prepared.empty());
        continue;
      }
      ASSERT_EQ(rc, 0);
      const bool second = generation == HtmlGeneration::kSecond;
      const char *units = c.has("prepared_units") ? "prepared_units" : second ? "prepared_units2" : "prepared_units1";
      if (c.has(units)) {
        EXPECT_EQ(prepared.size(), size_t(c.number(units)));
        continue;
      }
      const char *key = second ? "prepared2" : "prepared1";
      EXPECT_EQ(v7test::EncodeHtmlVectorText(prepared), v7test::EncodeHtmlVectorText(HtmlText(c, key))) << key;
    }
  }
}

TEST(HtmlTextPreparation, EntitiesAddedByTheCaller) {
  HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  EXPECT_EQ(vocabulary.entityCount(), 13u);
  ASSERT_TRUE(vocabulary.AddEntity(u"&hearts;", u"\u2665"));
  ASSERT_TRUE(vocabulary.AddEntity(u"&amp;", u"and"));  // overwrites
  EXPECT_EQ(vocabulary.entityCount(), 14u);
  std::u16string prepared;
  ASSERT_EQ(vocabulary.PrepareText(u"&hearts; &amp; &lt;", &prepared), 0);
  EXPECT_EQ(prepared, u"\u2665 and <<");

  struct Refused {
    std::u16string_view entity, replacement;
  } refused[] = {{u"", u"x"}, {u"&seventeen_units;", u"x"}, {u"&x;", u"seventeen units x"}};
  for (const Refused &r : refused) {
    errno = 0;
    EXPECT_FALSE(vocabulary.AddEntity(r.entity, r.replacement));
    EXPECT_EQ(errno, v7::kErrHtmlTableFull);
  }
  // The table takes a bounded number of additions; overwriting still works when it is full.
  size_t added = 0;
  for (int i = 0; i < 200; i++) {
    if (vocabulary.AddEntity(u"&e" + std::u16string(1, char16_t(u'A' + i)) + u";", u"y")) added++;
  }
  EXPECT_EQ(added + 1, kMaxEntities);
  EXPECT_TRUE(vocabulary.AddEntity(u"&hearts;", u"h"));

  HtmlVocabulary first(HtmlGeneration::kFirst, nullptr);
  EXPECT_EQ(first.entityCount(), 0u);
  EXPECT_FALSE(first.AddEntity(u"&amp;", u"&"));
}

// Entities whose replacements hold other entities cannot grow a text without bound.
TEST(HtmlTextPreparation, GrowthThroughEntitiesIsBounded) {
  HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  ASSERT_TRUE(vocabulary.AddEntity(u"&a;", u"&b;&b;&b;&b;&b;"));
  ASSERT_TRUE(vocabulary.AddEntity(u"&b;", u"&c;&c;&c;&c;&c;"));
  ASSERT_TRUE(vocabulary.AddEntity(u"&c;", u"0123456789abcdef"));
  std::u16string prepared;
  std::u16string text;
  for (int i = 0; i < 400; i++) text += u"&a;";
  EXPECT_EQ(vocabulary.PrepareText(text, &prepared), v7::kErrHtmlTextTooLong);
  EXPECT_TRUE(prepared.empty());
  EXPECT_EQ(vocabulary.PrepareText(u"&a;", &prepared), 0);
  EXPECT_EQ(prepared.size(), 25u * 16u);
}

TEST(HtmlVocabulary, ConstructorSettings) {
  const HtmlVocabulary second(HtmlGeneration::kSecond, v7test::TestSystemColor);
  EXPECT_TRUE(second.newlineAsBreak);
  EXPECT_TRUE(second.colorsEnabled);
  EXPECT_EQ(second.disabledColor, v7test::TestSystemColor(kSysColorBtnShadow));
  EXPECT_EQ(second.tabWidth(), 32);
  EXPECT_EQ(second.styleSheetSource(), HtmlVocabulary::DefaultStyleSheet(HtmlGeneration::kSecond));
  const HtmlVocabulary first(HtmlGeneration::kFirst, v7test::TestSystemColor);
  EXPECT_EQ(first.tabWidth(), 24);
  EXPECT_EQ(first.styleSheetSource(), HtmlVocabulary::DefaultStyleSheet(HtmlGeneration::kFirst));
}

}  // namespace
