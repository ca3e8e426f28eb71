#include <gtest/gtest.h>

#include "htmltip/html_vocabulary.h"
#include "tests/htmltip/html_test_support.h"
#include "tests/htmltip/html_test_text.h"

namespace {

using namespace v7::htmltip;
using v7test::HtmlText;

TEST(HtmlTags, TableOfBothGenerations) {
  const HtmlVocabulary second(HtmlGeneration::kSecond, v7test::TestSystemColor);
  const HtmlVocabulary first(HtmlGeneration::kFirst, v7test::TestSystemColor);
  EXPECT_EQ(second.tagCount(), 40u);
  EXPECT_EQ(first.tagCount(), 18u);
  for (const v7test::VectorCase &c : v7test::load_vectors("htmltip_tags.txt")) {
    SCOPED_TRACE(c.where());
    std::u16string tag = HtmlText(c, "tag");
    if (c.has("tag_repeat")) tag += HtmlText(c, "tag_repeat");
    struct Column {
      const HtmlVocabulary *vocabulary;
      const char *id;
      const char *style;
    };
    for (const Column &column : {Column{&second, "id2", "style2"}, Column{&first, "id1", "style1"}}) {
      std::u16string styleName = u"stale";
      bool closing = false;
      EXPECT_EQ(column.vocabulary->LookupTag(tag, &styleName, &closing), c.number(column.id)) << column.id;
      EXPECT_EQ(styleName, HtmlText(c, column.style)) << column.style;
      EXPECT_EQ(closing, c.number("closing") != 0);
    }
  }
}

TEST(HtmlTags, AttributeTextStartsAtTheSplit) {
  struct Case {
    std::u16string_view tag, name, attributes;
  } cases[] = {
      {u"br=2", u"br", u"=2"},
      {u"t 2", u"t", u"2"},
      {u"t   =3", u"t", u"=3"},
      {u"font color=red size=2", u"font", u"color=red size=2"},
      {u"b", u"b", u""},
      {u"", u"", u""},
      {u" b", u"", u"b"},
      {u"=", u"", u"="},
  };
  for (const Case &c : cases) {
    const HtmlTagParts parts = SplitTag(c.tag);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(parts.attributes, c.attributes);
  }
}

TEST(HtmlTags, NullOutputsAreAllowed) {
  const HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  EXPECT_EQ(vocabulary.LookupTag(u"/span", nullptr, nullptr), kTagSpan);
}

}  // namespace
