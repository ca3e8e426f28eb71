// A canvas that draws nothing and remembers every call, with metrics simple enough to compute by
// hand: a font of height h has descent h / 4 and ascent h - descent; every character advances
// (h + 1) / 2 pixels, one more at weights of 700 and above. Used by the native tests, the fuzz
// targets and the benchmarks of the HTML drawers.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "htmltip/html_canvas.h"

namespace v7::htmltip {

class HtmlRecordingCanvas : public HtmlCanvas {
 public:
  enum class Op {
    kSave, kRestore, kFont, kBackgroundMode, kTextColor, kBackgroundColor, kJustify,
    kText, kLine, kFill, kFillEffect, kFrame, kImage, kTile,
  };

  struct Call {
    explicit Call(Op kind) : op(kind) {}
    Op op;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // text, image: its box; line: its ends; fills: the area
    int value = 0;                       // mode, line or frame width, justification extra, effect, image resource
    int value2 = 0;                      // line or frame style, justification breaks, granularity, image frame
    int value3 = 0;                      // image effect flags
    HtmlImageLook look;                  // image: how it is drawn
    HtmlColor color = 0;                 // frame: the light colour
    HtmlColor color2 = 0;                // frame: the dark colour; effect fill: the end colour
    std::u16string text;
    HtmlFont font;
  };

  explicit HtmlRecordingCanvas(int pixelsPerInchY = 96) : dpi_(pixelsPerInchY) {}

  int pixels_per_inch_y() const override { return dpi_; }
  HtmlTextMetrics text_metrics() const override;
  HtmlSize text_extent(std::u16string_view text) const override;

  void save_state() override;
  void restore_state() override;
  bool select_font(const HtmlFont &font) override;
  void set_background_mode(int mode) override;
  void set_text_color(HtmlColor color) override;
  void set_background_color(HtmlColor color) override;
  void set_text_justification(int extra, int breaks) override;
  void text_out(int x, int y, std::u16string_view text) override;
  void draw_line(int x1, int y1, int x2, int y2, int width, HtmlColor color, int style) override;
  void fill_rect(const HtmlRect &rect, HtmlColor color) override;
  void fill_effect(const HtmlRect &rect, int effect, HtmlColor color, HtmlColor midColor, HtmlColor endColor,
                   int granularity, int blendPercent) override;
  void draw_frame(const HtmlRect &rect, HtmlColor light, HtmlColor dark, int style, int width) override;
  bool image_size(const HtmlImageSource &source, HtmlSize *size) override;
  void draw_image(const HtmlImageSource &source, const HtmlRect &box, const HtmlImageLook &look) override;
  void tile_image(const HtmlImageSource &source, const HtmlRect &area) override;

  // The images this canvas "loads": a bitmap or icon resource id of this library with its size.
  // An icon comes at the size asked for (percentages of a system icon size of 32), else at this.
  void AddImage(HtmlImageKind kind, int resourceId, HtmlSize size);
  // The drawer's image list: `count` icons of one size.
  void SetImageList(int count, HtmlSize iconSize);

  const std::vector<Call> &calls() const { return calls_; }
  void clear() { calls_.clear(); }
  // One line per call, e.g. `text 0,0-14,16 "ab"` or `font Verdana 13 700 iu-`, for exact
  // comparison with an expected transcript.
  std::string Transcript() const;
  // The smallest rectangle holding every text, line, fill, frame and image drawn so far (empty when
  // none).
  HtmlRect InkBox() const;

  const HtmlFont &font() const { return font_; }
  int backgroundMode() const { return mode_; }
  HtmlColor textColor() const { return textColor_; }
  HtmlColor backgroundColor() const { return backgroundColor_; }

 private:
  struct State {
    HtmlFont font;
    int mode;
    HtmlColor textColor, backgroundColor;
  };
  int dpi_;
  HtmlFont font_;
  int mode_ = kHtmlOpaque;
  HtmlColor textColor_ = 0x000000;
  HtmlColor backgroundColor_ = 0xFFFFFF;
  int justifyExtra_ = 0;
  int justifyBreaks_ = 0;
  std::vector<State> saved_;
  std::map<std::pair<int, int>, HtmlSize> images_;  // (kind, resource id) -> size
  int listCount_ = 0;
  HtmlSize listIconSize_;
  std::vector<Call> calls_;
};

}  // namespace v7::htmltip
