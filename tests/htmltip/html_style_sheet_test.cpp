#include <gtest/gtest.h>

#include "htmltip/html_vocabulary.h"
#include "platform/errors/error_codes.h"
#include "tests/htmltip/html_test_support.h"
#include "tests/htmltip/html_test_text.h"

namespace {

using namespace v7::htmltip;
using v7test::DescribeStyle;
using v7test::HtmlText;

TEST(HtmlStyleSheets, Vectors) {
  for (const v7test::VectorCase &c : v7test::load_vectors("htmltip_style_sheets.txt")) {
    SCOPED_TRACE(c.where());
    HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
    const int rc = vocabulary.LoadStyleSheet(HtmlText(c, "sheet"));
    if (c.has("error")) {
      EXPECT_EQ(rc, v7::kErrHtmlStyleSheetTooLarge);
      // A refused sheet leaves the one before it.
      EXPECT_EQ(vocabulary.styleSheetSource(), HtmlVocabulary::DefaultStyleSheet(HtmlGeneration::kSecond));
      continue;
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(vocabulary.styleRuleCount(), size_t(c.number("rules")));
    const std::u16string *rule = vocabulary.FindStyleRule(HtmlText(c, "selector"));
    if (c.has("absent")) {
      EXPECT_EQ(rule, nullptr);
    } else {
      ASSERT_NE(rule, nullptr);
      EXPECT_EQ(v7test::EncodeHtmlVectorText(*rule), v7test::EncodeHtmlVectorText(HtmlText(c, "rule")));
    }
  }
}

TEST(HtmlStyleSheets, TooManyRulesKeepTheSheetBefore) {
  HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  std::u16string sheet;
  for (size_t i = 0; i < kMaxStyleRules; i++) sheet += u"r" + std::u16string(1, char16_t(0x4000 + i)) + u" {m:1}";
  ASSERT_EQ(vocabulary.LoadStyleSheet(sheet), 0);
  EXPECT_EQ(vocabulary.styleRuleCount(), kMaxStyleRules);
  // One more distinct selector is refused; a repeated one is not another rule.
  EXPECT_EQ(vocabulary.LoadStyleSheet(sheet + u"one {m:2}"), v7::kErrHtmlStyleSheetTooLarge);
  EXPECT_EQ(vocabulary.styleSheetSource(), sheet);
  EXPECT_EQ(vocabulary.LoadStyleSheet(sheet + sheet), 0);
  EXPECT_EQ(vocabulary.styleRuleCount(), kMaxStyleRules);
}

TEST(HtmlStyleSheets, NullLoadsTheDefaultSheet) {
  HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  ASSERT_EQ(vocabulary.LoadStyleSheet(u"x {}"), 0);
  EXPECT_EQ(vocabulary.FindStyleRule(u"body"), nullptr);
  ASSERT_EQ(vocabulary.LoadStyleSheet(std::nullopt), 0);
  EXPECT_EQ(vocabulary.styleRuleCount(), 17u);
  EXPECT_EQ(vocabulary.FindStyleRule(u"x"), nullptr);
  // A rule "p" is there, though no tag asks for it.
  EXPECT_NE(vocabulary.FindStyleRule(u"p"), nullptr);
  EXPECT_EQ(vocabulary.LookupTag(u"p", nullptr, nullptr), kTagUnknown);
  const HtmlVocabulary first(HtmlGeneration::kFirst, nullptr);
  EXPECT_EQ(first.styleRuleCount(), 2u);
}

TEST(HtmlStyleSheets, DefaultRulesResolve) {
  const HtmlRecordingCanvas canvas = v7test::MeasuredCanvas();
  struct Case {
    HtmlGeneration generation;
    std::u16string_view selector;
    const char *want;
  } cases[] = {
      {HtmlGeneration::kSecond, u"body", "fontSize=13 fontFace=verdana"},
      {HtmlGeneration::kSecond, u"BODY", "fontSize=13 fontFace=verdana"},
      {HtmlGeneration::kSecond, u"p", "fontSize=13 fontWeight=700 fontFace=verdana"},
      {HtmlGeneration::kSecond, u"h1", "fontSize=18 fontWeight=700 fontFace=verdana"},
      {HtmlGeneration::kSecond, u"h2", "fontSize=17 fontWeight=700 fontFace=verdana textColor=0099FF"},
      {HtmlGeneration::kSecond, u"h3", "fontWeight=700 fontFace=arial textColor=0099FF"},
      {HtmlGeneration::kSecond, u"h5", "fontSize=12 fontWeight=700 fontFace=verdana textColor=0099FF"},
      {HtmlGeneration::kSecond, u"h6", "fontSize=10 fontFace=verdana textColor=626262"},
      {HtmlGeneration::kSecond, u"pre", "fontSize=12 fontFace=courier backgroundColor=BBEDFB backgroundMode=2"},
      {HtmlGeneration::kSecond, u"code", "fontFace=arial textColor=000099"},
      {HtmlGeneration::kSecond, u"a:link", "textColor=FF0000"},
      {HtmlGeneration::kSecond, u"a:hover", "underline=1 textColor=FF0000"},
      {HtmlGeneration::kSecond, u"sub", "fontSize=10 verticalAlign=2"},
      {HtmlGeneration::kSecond, u"sup", "fontSize=10 verticalAlign=0"},
      {HtmlGeneration::kSecond, u"big", "fontSize=20"},
      {HtmlGeneration::kSecond, u"small", "fontSize=12"},
      {HtmlGeneration::kSecond, u".cpp-comment", "italic=1 textColor=008000"},
      {HtmlGeneration::kSecond, u"hr", ""},
      {HtmlGeneration::kFirst, u"body", "fontSize=13 fontFace=verdana"},
      {HtmlGeneration::kFirst, u"h3", "fontWeight=700 fontFace=verdana textColor=701919"},
      {HtmlGeneration::kFirst, u"h1", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.selector.begin(), c.selector.end()));
    const HtmlVocabulary vocabulary(c.generation, nullptr);
    HtmlStyleRecord2 style;
    EXPECT_EQ(vocabulary.ApplyStyleRule(canvas, c.selector, &style), c.want[0] != 0);
    EXPECT_EQ(DescribeStyle(style), c.want);
  }
}

TEST(HtmlStyleDeclarations, Vectors) {
  const HtmlRecordingCanvas canvas = v7test::MeasuredCanvas();
  const HtmlVocabulary second(HtmlGeneration::kSecond, nullptr);
  const HtmlVocabulary first(HtmlGeneration::kFirst, nullptr);
  for (const v7test::VectorCase &c : v7test::load_vectors("htmltip_declarations.txt")) {
    SCOPED_TRACE(c.where());
    std::u16string declarations = HtmlText(c, "declarations");
    if (c.has("tail")) declarations += HtmlText(c, "tail");
    HtmlStyleRecord2 style2, style1;
    second.ParseStyleDeclarations(canvas, declarations, &style2);
    first.ParseStyleDeclarations(canvas, declarations, &style1);
    EXPECT_EQ(DescribeStyle(style2), c.text("want2").substr(1, c.text("want2").size() - 2)) << "second generation";
    EXPECT_EQ(DescribeStyle(style1), c.text("want1").substr(1, c.text("want1").size() - 2)) << "first generation";
  }
}

TEST(HtmlStyleDeclarations, DisabledColoursMakeBackgroundsTransparent) {
  const HtmlRecordingCanvas canvas = v7test::MeasuredCanvas();
  HtmlVocabulary vocabulary(HtmlGeneration::kSecond, v7test::TestSystemColor);
  vocabulary.colorsEnabled = false;
  HtmlStyleRecord2 style;
  style.backgroundMode = kHtmlOpaque;
  vocabulary.ParseStyleDeclarations(canvas, u"background-color:red; color:#00ff00; border-color:blue", &style);
  EXPECT_EQ(DescribeStyle(style), "textColor=100010 borderColorLight=100010 borderColorDark=100010");
}

}  // namespace
