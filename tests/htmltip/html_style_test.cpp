#include <gtest/gtest.h>

#include "htmltip/html_style.h"
#include "htmltip/html_vocabulary.h"
#include "tests/htmltip/html_test_support.h"

namespace {

using namespace v7::htmltip;
using v7test::DescribeStyle;

TEST(HtmlStyleRecord, ResetKeepsTheCellSize) {
  HtmlStyleRecord2 style;
  style.fontSize = 30;
  style.linkText = u"https://example.test/";
  style.width = 120;
  style.height = 40;
  style.Reset();
  EXPECT_EQ(DescribeStyle(style), "width=120 height=40");
  const HtmlFont font = style.Font();
  EXPECT_EQ(font.height, 16);
  EXPECT_EQ(font.weight, 400);
  EXPECT_EQ(font.face, u"Verdana");
}

TEST(HtmlStyleRecord, BoundedTextKeepsSurrogatePairsWhole) {
  std::u16string field;
  AssignBounded(&field, u"abc", 5);
  EXPECT_EQ(field, u"abc");
  AssignBounded(&field, u"abcdef", 3);
  EXPECT_EQ(field, u"abc");
  AssignBounded(&field, u"ab\U0001F600", 3);
  EXPECT_EQ(field, u"ab");
  AssignBounded(&field, u"ab\U0001F600", 4);
  EXPECT_EQ(field, u"ab\U0001F600");
}

// Opening and closing tags as the layout drives the stack: push, change, and on closing pop.
struct Driver {
  HtmlStyleStack stack;
  HtmlStyleRecord2 current;
  void Open(std::u16string_view name, void (*change)(HtmlStyleRecord2 *)) {
    if (stack.PushStyle(&current, name)) change(&current);
  }
  void Close(std::u16string_view name) { stack.PopStyle(&current, name); }
};

void Bold(HtmlStyleRecord2 *s) { s->fontWeight = s->fontWeight * 2 > 900 ? 900 : s->fontWeight * 2; }
void Italic(HtmlStyleRecord2 *s) { s->italic = s->italic == 0 ? 1 : 0; }
void Middle(HtmlStyleRecord2 *s) { s->verticalAlign = 1; }

TEST(HtmlStyleStack, ClosingTagsUndoOnlyTheirOwnStyle) {
  Driver d;
  d.Open(u"bold", Bold);
  EXPECT_EQ(d.current.fontWeight, 800);
  d.Open(u"bold", Bold);
  EXPECT_EQ(d.current.fontWeight, 900);
  d.Close(u"bold");
  EXPECT_EQ(d.current.fontWeight, 800);
  d.Close(u"bold");
  EXPECT_EQ(DescribeStyle(d.current), "");
  EXPECT_EQ(d.stack.depth(), 0u);

  // A stray closing tag changes nothing; italics closed by "bold" stay on.
  d.Close(u"italic");
  EXPECT_EQ(DescribeStyle(d.current), "");
  d.Open(u"italic", Italic);
  d.Close(u"bold");
  EXPECT_EQ(DescribeStyle(d.current), "italic=1");
  EXPECT_EQ(d.stack.depth(), 1u);
  d.Close(u"italic");
  EXPECT_EQ(DescribeStyle(d.current), "");

  // "bottom" and "middle" share the style name "vcenter", so either closes the other.
  d.Open(u"vcenter", Middle);
  d.Close(u"vcenter");
  EXPECT_EQ(DescribeStyle(d.current), "");
}

TEST(HtmlStyleStack, NestingIsBounded) {
  Driver d;
  for (int i = 0; i < 100000; i++) d.Open(u"italic", Italic);
  EXPECT_EQ(d.stack.depth(), kMaxStyleDepth);
  // kMaxStyleDepth toggles took effect (an even number: upright again); the rest were ignored.
  EXPECT_EQ(d.current.italic, int(kMaxStyleDepth % 2));
  EXPECT_EQ(d.current.name, u"italic");
  for (int i = 0; i < 100000; i++) d.Close(u"italic");
  EXPECT_EQ(d.stack.depth(), 0u);
  EXPECT_EQ(DescribeStyle(d.current), "");
  d.Open(u"bold", Bold);
  d.stack.Clear();
  EXPECT_EQ(d.stack.depth(), 0u);
}

// The dialect end to end, as a layout would resolve a text's style tags: a tag's style name picks
// the rule, and closing tags bring back what the rule changed.
TEST(HtmlStyleStack, RulesOfNestedTags) {
  const HtmlRecordingCanvas canvas = v7test::MeasuredCanvas();
  const HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  HtmlStyleStack stack;
  HtmlStyleRecord2 current;
  current.Reset();
  vocabulary.ApplyStyleRule(canvas, u"body", &current);
  const std::string body = DescribeStyle(current);
  std::u16string styleName;
  bool closing = false;
  for (std::u16string_view tag : {u"h2", u"sub", u"code"}) {
    ASSERT_EQ(vocabulary.LookupTag(tag, &styleName, &closing), kTagRule);
    ASSERT_TRUE(stack.PushStyle(&current, styleName));
    vocabulary.ApplyStyleRule(canvas, styleName, &current);
  }
  current.name.clear();
  EXPECT_EQ(DescribeStyle(current), "fontSize=11 fontWeight=700 fontFace=arial textColor=000099 verticalAlign=2");
  for (std::u16string_view tag : {u"/code", u"/sub", u"/h2"}) {
    ASSERT_EQ(vocabulary.LookupTag(tag, &styleName, &closing), kTagRule);
    ASSERT_TRUE(closing);
    stack.PopStyle(&current, styleName);
  }
  EXPECT_EQ(DescribeStyle(current), body);
}

}  // namespace
