#include "htmltip/recording_canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace v7::htmltip {
namespace {

// Printable ASCII as it stands, every other unit as \uXXXX, so a transcript is plain and exact.
std::string Narrow(std::u16string_view text) {
  std::string out;
  char unit[8];
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      out.push_back(char(c));
    } else {
      std::snprintf(unit, sizeof unit, "\\u%04X", unsigned(c));
      out += unit;
    }
  }
  return out;
}

std::string Hex(HtmlColor color) {
  char text[16];
  std::snprintf(text, sizeof text, "%06X", unsigned(color));
  return text;
}

HtmlRecordingCanvas::Call AreaCall(HtmlRecordingCanvas::Op op, const HtmlRect &area, int value = 0, int value2 = 0,
                                   HtmlColor color = 0, HtmlColor color2 = 0) {
  HtmlRecordingCanvas::Call call(op);
  call.x1 = area.left;
  call.y1 = area.top;
  call.x2 = area.right;
  call.y2 = area.bottom;
  call.value = value;
  call.value2 = value2;
  call.color = color;
  call.color2 = color2;
  return call;
}

}  // namespace

HtmlTextMetrics HtmlRecordingCanvas::text_metrics() const {
  HtmlTextMetrics metrics;
  metrics.height = font_.height;
  metrics.descent = font_.height / 4;
  metrics.ascent = font_.height - metrics.descent;
  return metrics;
}

HtmlSize HtmlRecordingCanvas::text_extent(std::u16string_view text) const {
  const int advance = (font_.height + 1) / 2 + (font_.weight >= 700 ? 1 : 0);
  int64_t width = 0;
  int blanks = 0;
  for (char16_t c : text) {
    if (c >= 0xDC00 && c <= 0xDFFF) continue;  // the second half of a pair adds nothing
    width += advance;
    if (c == u' ') blanks++;
  }
  if (justifyBreaks_ > 0) width += int64_t(justifyExtra_) * std::min(blanks, justifyBreaks_) / justifyBreaks_;
  HtmlSize size;
  size.cx = int(std::min<int64_t>(width, INT32_MAX));
  size.cy = font_.height;
  return size;
}

void HtmlRecordingCanvas::save_state() {
  saved_.push_back(State{font_, mode_, textColor_, backgroundColor_});
  calls_.emplace_back(Op::kSave);
}

void HtmlRecordingCanvas::restore_state() {
  if (!saved_.empty()) {
    font_ = saved_.back().font;
    mode_ = saved_.back().mode;
    textColor_ = saved_.back().textColor;
    backgroundColor_ = saved_.back().backgroundColor;
    saved_.pop_back();
  }
  calls_.emplace_back(Op::kRestore);
}

bool HtmlRecordingCanvas::select_font(const HtmlFont &font) {
  // As GDI, a height of 0 picks a default size; the layout never asks for a negative one.
  font_ = font;
  if (font_.height <= 0) font_.height = 16;
  Call call(Op::kFont);
  call.font = font_;
  calls_.push_back(call);
  return true;
}

void HtmlRecordingCanvas::set_background_mode(int mode) {
  mode_ = mode;
  Call call(Op::kBackgroundMode);
  call.value = mode;
  calls_.push_back(call);
}

void HtmlRecordingCanvas::set_text_color(HtmlColor color) {
  textColor_ = color;
  Call call(Op::kTextColor);
  call.color = color;
  calls_.push_back(call);
}

void HtmlRecordingCanvas::set_background_color(HtmlColor color) {
  backgroundColor_ = color;
  Call call(Op::kBackgroundColor);
  call.color = color;
  calls_.push_back(call);
}

void HtmlRecordingCanvas::set_text_justification(int extra, int breaks) {
  justifyExtra_ = breaks > 0 ? extra : 0;
  justifyBreaks_ = breaks > 0 ? breaks : 0;
  Call call(Op::kJustify);
  call.value = extra;
  call.value2 = breaks;
  calls_.push_back(call);
}

void HtmlRecordingCanvas::text_out(int x, int y, std::u16string_view text) {
  const HtmlSize size = text_extent(text);
  Call call(Op::kText);
  call.x1 = x;
  call.y1 = y;
  call.x2 = x + size.cx;
  call.y2 = y + size.cy;
  call.color = textColor_;
  call.text.assign(text);
  call.font = font_;
  calls_.push_back(call);
}

void HtmlRecordingCanvas::draw_line(int x1, int y1, int x2, int y2, int width, HtmlColor color, int style) {
  Call call(Op::kLine);
  call.x1 = x1;
  call.y1 = y1;
  call.x2 = x2;
  call.y2 = y2;
  call.value = width;
  call.value2 = style;
  call.color = color;
  calls_.push_back(call);
}

void HtmlRecordingCanvas::fill_rect(const HtmlRect &rect, HtmlColor color) {
  calls_.push_back(AreaCall(Op::kFill, rect, 0, 0, color));
}

void HtmlRecordingCanvas::fill_effect(const HtmlRect &rect, int effect, HtmlColor color, HtmlColor midColor,
                                      HtmlColor endColor, int granularity, int blendPercent) {
  calls_.push_back(AreaCall(Op::kFillEffect, rect, effect, granularity, color, endColor));
}

void HtmlRecordingCanvas::draw_frame(const HtmlRect &rect, HtmlColor light, HtmlColor dark, int style, int width) {
  calls_.push_back(AreaCall(Op::kFrame, rect, width, style, light, dark));
}

void HtmlRecordingCanvas::AddImage(HtmlImageKind kind, int resourceId, HtmlSize size) {
  images_[{int(kind), resourceId}] = size;
}

void HtmlRecordingCanvas::SetImageList(int count, HtmlSize iconSize) {
  listCount_ = count;
  listIconSize_ = iconSize;
}

bool HtmlRecordingCanvas::image_size(const HtmlImageSource &source, HtmlSize *size) {
  if (source.kind == HtmlImageKind::kImageList) {
    if (source.index < 0 || source.index >= listCount_) return false;
    *size = listIconSize_;
    return true;
  }
  auto it = images_.find({int(source.kind), source.resourceId});
  if (it == images_.end()) return false;
  *size = it->second;
  if (source.kind == HtmlImageKind::kIcon) {
    constexpr int64_t kSystemIcon = 32;
    auto requested = [](int64_t asked, bool percent, int own) {
      if (percent) return int((kSystemIcon * asked + 50) / 100);
      return asked > 0 ? int(asked) : own;
    };
    size->cx = requested(source.requestedWidth, source.requestedWidthIsPercent, size->cx);
    size->cy = requested(source.requestedHeight, source.requestedHeightIsPercent, size->cy);
  }
  return true;
}

void HtmlRecordingCanvas::draw_image(const HtmlImageSource &source, const HtmlRect &box, const HtmlImageLook &look) {
  Call call = AreaCall(Op::kImage, box, source.kind == HtmlImageKind::kImageList ? source.index : source.resourceId,
                       look.frame);
  call.value3 = look.effects;
  call.look = look;
  calls_.push_back(call);
}

void HtmlRecordingCanvas::tile_image(const HtmlImageSource &source, const HtmlRect &area) {
  calls_.push_back(AreaCall(Op::kTile, area, source.resourceId));
}

HtmlRect HtmlRecordingCanvas::InkBox() const {
  HtmlRect box;
  bool any = false;
  for (const Call &call : calls_) {
    const bool ink = call.op == Op::kText || call.op == Op::kLine || call.op == Op::kFill ||
                     call.op == Op::kFillEffect || call.op == Op::kFrame || call.op == Op::kImage || call.op == Op::kTile;
    if (!ink) continue;
    const int left = std::min(call.x1, call.x2), right = std::max(call.x1, call.x2);
    const int top = std::min(call.y1, call.y2), bottom = std::max(call.y1, call.y2);
    if (!any) {
      box = HtmlRect{left, top, right, bottom};
      any = true;
    } else {
      box.left = std::min(box.left, left);
      box.top = std::min(box.top, top);
      box.right = std::max(box.right, right);
      box.bottom = std::max(box.bottom, bottom);
    }
  }
  return box;
}

std::string HtmlRecordingCanvas::Transcript() const {
  std::string out;
  auto point = [](int x, int y) { return std::to_string(x) + "," + std::to_string(y); };
  for (const Call &call : calls_) {
    switch (call.op) {
      case Op::kSave: out += "save"; break;
      case Op::kRestore: out += "restore"; break;
      case Op::kFont:
        out += "font " + Narrow(call.font.face) + " " + std::to_string(call.font.height) + " " +
               std::to_string(call.font.weight) + " " + (call.font.italic ? "i" : "-") +
               (call.font.underline ? "u" : "-") + (call.font.strikeout ? "s" : "-");
        break;
      case Op::kBackgroundMode: out += "mode " + std::to_string(call.value); break;
      case Op::kTextColor: out += "color " + Hex(call.color); break;
      case Op::kBackgroundColor: out += "bkcolor " + Hex(call.color); break;
      case Op::kJustify: out += "justify " + std::to_string(call.value) + " " + std::to_string(call.value2); break;
      case Op::kText:
        out += "text " + point(call.x1, call.y1) + "-" + point(call.x2, call.y2) + " " + Hex(call.color) + " \"" +
               Narrow(call.text) + "\"";
        break;
      case Op::kLine:
        out += "line " + point(call.x1, call.y1) + "-" + point(call.x2, call.y2) + " w" + std::to_string(call.value) +
               " s" + std::to_string(call.value2) + " " + Hex(call.color);
        break;
      case Op::kFill: out += "fill " + point(call.x1, call.y1) + "-" + point(call.x2, call.y2) + " " + Hex(call.color); break;
      case Op::kFillEffect:
        out += "effect " + std::to_string(call.value) + " " + point(call.x1, call.y1) + "-" + point(call.x2, call.y2) +
               " " + Hex(call.color) + ".." + Hex(call.color2) + " g" + std::to_string(call.value2);
        break;
      case Op::kFrame:
        out += "frame " + point(call.x1, call.y1) + "-" + point(call.x2, call.y2) + " w" + std::to_string(call.value) +
               " s" + std::to_string(call.value2) + " " + Hex(call.color) + "/" + Hex(call.color2);
        break;
      case Op::kImage:
        out += "image " + std::to_string(call.value) + " " + point(call.x1, call.y1) + "-" + point(call.x2, call.y2) +
               " frame " + std::to_string(call.value2) + " effects " + Hex(HtmlColor(call.value3));
        break;
      case Op::kTile:
        out += "tile " + std::to_string(call.value) + " " + point(call.x1, call.y1) + "-" + point(call.x2, call.y2);
        break;
    }
    out += "\n";
  }
  return out;
}

}  // namespace v7::htmltip
