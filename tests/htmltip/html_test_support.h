// What the HTML dialect tests share: a system-colour source with recognisable values, a measured
// font, and a compact description of a style.
#pragma once

#include <string>

#include "htmltip/html_style.h"
#include "htmltip/html_vocabulary.h"
#include "htmltip/recording_canvas.h"

namespace v7test {

// System colour i is 0x100000 + i, so every lookup shows which index it read.
v7::htmltip::HtmlColor TestSystemColor(int index);

// A recording canvas with a 13-pixel font selected: text height 13, "x" 7 pixels wide, 96 dpi.
v7::htmltip::HtmlRecordingCanvas MeasuredCanvas();

// Every field that differs from a reset style, as "fontSize=13 textColor=0000FF" (colours as
// hexadecimal COLORREFs), in the record's order; "" for a reset style.
std::string DescribeStyle(const v7::htmltip::HtmlStyleRecord2 &style);

}  // namespace v7test
