#include <gtest/gtest.h>

#include "htmltip/html_vocabulary.h"
#include "tests/htmltip/html_test_support.h"
#include "tests/htmltip/html_test_text.h"

namespace {

using namespace v7::htmltip;
using v7test::HtmlText;

TEST(HtmlLengths, Vectors) {
  const HtmlRecordingCanvas canvas = v7test::MeasuredCanvas();
  ASSERT_EQ(canvas.text_metrics().height, 13);
  ASSERT_EQ(canvas.text_extent(u"x").cx, 7);
  for (HtmlGeneration generation : {HtmlGeneration::kSecond, HtmlGeneration::kFirst}) {
    const HtmlVocabulary vocabulary(generation, nullptr);
    for (const v7test::VectorCase &c : v7test::load_vectors("htmltip_lengths.txt")) {
      SCOPED_TRACE(c.where());
      EXPECT_EQ(vocabulary.ParseLength(canvas, int(c.number("base")), HtmlText(c, "value"), c.number("keywords") != 0),
                c.number("want"));
    }
  }
}

TEST(HtmlLengths, DeviceResolution) {
  const HtmlVocabulary vocabulary(HtmlGeneration::kSecond, nullptr);
  const HtmlRecordingCanvas canvas(120);
  EXPECT_EQ(vocabulary.ParseLength(canvas, 0, u"10pt", false), 16);
  EXPECT_EQ(vocabulary.ParseLength(canvas, 0, u"1in", false), 120);
  EXPECT_EQ(vocabulary.ParseLength(canvas, 0, u"1cm", false), 47);
}

}  // namespace
