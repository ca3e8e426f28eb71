// The HTML canvas over a device context: text and fonts through GDI, fills, frames and images
// through the draw manager. The drawers and the tooltip windows paint through it into a DIB.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "htmltip/html_canvas.h"
#include "htmltip/win32/draw_manager.h"
#include "htmltip/win32/gdi_objects.h"

namespace v7::htmltip::win32 {

class HtmlGdiCanvas : public HtmlCanvas {
 public:
  // `dc` stays the caller's; `resources` is the module whose bitmap and icon resources "idres"
  // names, `library` the drawer's resource library for "iddll" without "srcdll", `imageList` the
  // drawer's image list for an "ilst" without a bitmap (any of them may be null). A library named
  // by "srcdll" is mapped as data for the one call: its code never runs.
  HtmlGdiCanvas(HDC dc, CPPDrawManager2 *manager, HMODULE resources, HMODULE library = nullptr,
                HIMAGELIST imageList = nullptr);
  HtmlGdiCanvas(const HtmlGdiCanvas &) = delete;
  HtmlGdiCanvas &operator=(const HtmlGdiCanvas &) = delete;
  ~HtmlGdiCanvas() override;

  int pixels_per_inch_y() const override;
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

 private:
  // An image loaded for this canvas, and whether this canvas must free it.
  struct LoadedImage {
    HGDIOBJ handle = nullptr;
    bool icon = false;
    bool owned = false;
    // An icon's pixels, read at its first measure or draw and kept for the next ones: reading an
    // icon asks GDI for copies of its bitmaps, which costs far more than drawing it.
    std::unique_ptr<IconPixels> pixels;
    LoadedImage() = default;
    LoadedImage(const LoadedImage &) = delete;
    LoadedImage &operator=(const LoadedImage &) = delete;
    ~LoadedImage();
  };
  // What was loaded for one source, found again by the next measure or draw of it: a text's
  // images are measured and drawn more than once a paint, and loading them anew each time made
  // the tips with icons slow.
  struct CachedImage {
    HtmlImageSource source;
    LoadedImage image;
  };
  // Cached images past this many are loaded for the one call (a text draws at most a few hundred).
  static constexpr size_t kMaxCachedImages = 64;

  // Deselects and deletes the font made in the current level, if any.
  void ReleaseFont();
  bool Load(const HtmlImageSource &source, LoadedImage *image) const;
  // The image of `source`, from the cache or loaded into it (into `uncached` when the cache is
  // full); null when it cannot be loaded.
  LoadedImage *Image(const HtmlImageSource &source, LoadedImage *uncached);
  // The pixels of a loaded icon, read on first use; null when they cannot be read.
  static const IconPixels *Pixels(LoadedImage &image);

  HDC dc_;
  CPPDrawManager2 *manager_;
  HMODULE resources_;
  HMODULE library_;
  HIMAGELIST imageList_;
  // One saved state: its SaveDC level (0 when GDI refused) and the font ownership of the level
  // around it. A font made inside a level is that level's: the DC state saved when the level
  // began may still name the font selected then, so only fonts made since are deleted.
  struct SavedState {
    int level;
    HFONT font;
    HFONT original;
  };
  HFONT font_ = nullptr;        // the font this canvas made in the current level, if any
  HFONT original_ = nullptr;    // what was selected before it
  std::vector<SavedState> saved_;
  std::vector<std::unique_ptr<CachedImage>> images_;  // freed with the canvas
};

}  // namespace v7::htmltip::win32
