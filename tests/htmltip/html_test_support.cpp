#include "tests/htmltip/html_test_support.h"

#include <cstdio>

#include "tests/htmltip/html_test_text.h"

namespace v7test {

using namespace v7::htmltip;

HtmlColor TestSystemColor(int index) { return HtmlColor(0x100000 + index); }

HtmlRecordingCanvas MeasuredCanvas() {
  HtmlRecordingCanvas canvas;
  HtmlFont font;
  font.height = 13;
  canvas.select_font(font);
  canvas.clear();
  return canvas;
}

std::string DescribeStyle(const HtmlStyleRecord2 &style) {
  const HtmlStyleRecord2 reset;
  std::string out;
  auto add = [&out](const char *name, const std::string &value) {
    if (!out.empty()) out += " ";
    out += std::string(name) + "=" + value;
  };
  auto number = [&](const char *name, int got, int want) {
    if (got != want) add(name, std::to_string(got));
  };
  auto color = [&](const char *name, HtmlColor got, HtmlColor want) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06X", unsigned(got));
    if (got != want) add(name, hex);
  };
  auto text = [&](const char *name, const std::u16string &got, const std::u16string &want) {
    if (got != want) add(name, EncodeHtmlVectorText(got));
  };
  text("name", style.name, reset.name);
  number("fontSize", style.fontSize, reset.fontSize);
  number("fontWeight", style.fontWeight, reset.fontWeight);
  number("italic", style.italic, reset.italic);
  number("underline", style.underline, reset.underline);
  number("strikeout", style.strikeout, reset.strikeout);
  number("overline", style.overline, reset.overline);
  text("fontFace", style.fontFace, reset.fontFace);
  color("textColor", style.textColor, reset.textColor);
  color("backgroundColor", style.backgroundColor, reset.backgroundColor);
  color("borderColorLight", style.borderColorLight, reset.borderColorLight);
  color("borderColorDark", style.borderColorDark, reset.borderColorDark);
  color("gradientMidColor", style.gradientMidColor, reset.gradientMidColor);
  color("gradientEndColor", style.gradientEndColor, reset.gradientEndColor);
  number("backgroundMode", style.backgroundMode, reset.backgroundMode);
  number("backgroundEffect", style.backgroundEffect, reset.backgroundEffect);
  text("backgroundImage", style.backgroundImage, reset.backgroundImage);
  number("textAlign", style.textAlign, reset.textAlign);
  number("verticalAlign", style.verticalAlign, reset.verticalAlign);
  number("borderStyle", style.borderStyle, reset.borderStyle);
  number("borderWidth", style.borderWidth, reset.borderWidth);
  number("width", style.width, reset.width);
  number("height", style.height, reset.height);
  number("textTransform", style.textTransform, reset.textTransform);
  number("margin", style.margin, reset.margin);
  number("padding", style.padding, reset.padding);
  number("linkKind", style.linkKind, reset.linkKind);
  text("linkText", style.linkText, reset.linkText);
  return out;
}

}  // namespace v7test
