// The draw managers: stateless drawing operations on a caller's device context (blending, image
// effects, gradient and patterned fills, tiles, images with masks and shadows, frames and lines).
// Each makes its temporary DCs, bitmaps and pens itself and deletes them before it returns; when GDI
// refuses one of them the operation draws nothing. The pixel arithmetic is pixel_ops.h.
#pragma once

#include <windows.h>

#include "htmltip/pixel_ops.h"
#include "htmltip/win32/ce_xdib.h"
#include "htmltip/win32/gdi_objects.h"

namespace v7::htmltip::win32 {

class CPPDrawManager2 {
 public:
  // The patterns draw their noise from `random`; by default the C library's rand().
  explicit CPPDrawManager2(HtmlRandom random = HtmlRandom());
  virtual ~CPPDrawManager2() = default;

  // The size of an icon's colour bitmap (of its mask's upper half for a monochrome icon).
  static bool GetIconSize(HICON icon, SIZE *size);
  static bool GetBitmapSize(HBITMAP bitmap, SIZE *size);

  // (x, y, width, height) of the source DC blended onto the same place of the destination.
  void AlphaBlend(HDC source, HDC destination, int x, int y, int width, int height, int percent);
  void AlphaBlendPixels(HDC source, HDC destination, int x, int y, int width, int height);
  // A new 32-bit DIB section of width x height from the bitmap's top left with the effects applied
  // (the caller deletes it), or null.
  HBITMAP ApplyEffect(HBITMAP bitmap, int width, int height, int effects, bool useMask, HtmlColor maskColor,
                      HtmlColor effectColor);
  // A new icon stretched to width x height (the caller destroys it), or null.
  HICON StretchIcon(HICON icon, int width, int height);

  void FillGradient(HDC dc, const HtmlRect &rect, HtmlColor start, HtmlColor end, bool horizontal);
  void FillEffect(HDC dc, const HtmlRect &rect, int effect, HtmlColor color, HtmlColor midColor, HtmlColor endColor,
                  int granularity, int blendPercent);
  void Tile(HDC dc, const HtmlRect &area, HDC source, int sourceX, int sourceY, int tileWidth, int tileHeight);

  struct ImageLook {
    bool useMask = false;
    HtmlColor maskColor = 0xFF00FF;
    int effects = 0;
    bool shadow = false;
    int shadowDx = 0;
    int shadowDy = 0;
    int blurX = 0;
    int blurY = 0;
    HtmlColor effectColor = 0;
    // Blend by the image's alpha bytes when it has any; off, the image is combined with its mask
    // alone, as the first generation draws.
    bool alpha = true;
  };
  void DrawBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, const ImageLook &look);
  void DrawIcon(HDC dc, int x, int y, int width, int height, HICON icon, const ImageLook &look);
  // The same from an icon's pixels read before (a caller that draws an icon again keeps them).
  void DrawIconPixels(HDC dc, int x, int y, int width, int height, const IconPixels &icon, const ImageLook &look);
  void DrawImageStrip(HDC dc, int x, int y, int width, int height, HBITMAP strip, int frame, int frameWidth,
                      int frameHeight, const ImageLook &look);
  // Darkens width x height of the destination at (x, y) under a silhouette (white lets the light
  // through), softened by the blur sizes when `soft`.
  void DrawShadow(HDC dc, int x, int y, int width, int height, HBITMAP silhouette, bool soft, int blurX, int blurY);

  void DrawFrame(HDC dc, const HtmlRect &rect, HtmlColor color, HtmlColor secondColor, int style, int width);
  void DrawLine(HDC dc, int x1, int y1, int x2, int y2, HtmlColor color, int style, int width);

  // Whether the last image drawn had an alpha channel.
  bool hasAlpha() const { return hasAlpha_; }

 private:
  // An image read from a bitmap, fitted to width x height and drawn with its effects.
  void DrawPixels(HDC dc, int x, int y, int width, int height, PixelImage source, const ImageLook &look);
  // The prepared image composed onto the destination: the shadow first, then the image, blended by
  // its alpha or combined with its mask.
  void Compose(HDC dc, int x, int y, const PixelImage &image, const PixelImage &mask, const PixelImage *silhouette,
               const ImageLook &look);

  CCeXDib dib_;
  bool hasAlpha_ = false;
  HtmlRandom random_;
};

// The first generation's smaller toolkit: transparent bitmaps, icons three pixels low, solid lines.
class CPPDrawManager {
 public:
  virtual ~CPPDrawManager() = default;
  // A 32-bit DIB section of width x height from the bitmap, the mask colour's pixels set to 0 when
  // `useMask`; the caller deletes it.
  HBITMAP CopyToDib(HBITMAP bitmap, int width, int height, bool useMask, HtmlColor maskColor);
  void DrawBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, HtmlColor maskColor);
  void DrawIcon(HDC dc, int x, int y, int width, int height, HICON icon);
  void DrawLine(HDC dc, int x1, int y1, int x2, int y2, HtmlColor color, int width);

 private:
  CPPDrawManager2 second_;
};

}  // namespace v7::htmltip::win32
