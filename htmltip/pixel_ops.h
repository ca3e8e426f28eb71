// The pixel arithmetic of the draw manager, over plain 32-bit pixel buffers: blending, image
// effects, gradient bands, the patterned fills, the soft-shadow filter, tiles and frames. The Windows
// draw manager does its GDI work around these functions, and the tests check both against them.
//
// Pixels are 0xAARRGGBB as a 32-bit DIB section holds them; colours are COLORREF (0x00BBGGRR).
// Every function that takes both converts explicitly (html_canvas.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "htmltip/html_canvas.h"
#include "htmltip/html_limits.h"

namespace v7::htmltip {

// Bitmaps the draw manager creates are at most this many pixels a side and this many bytes, so that
// no size read from a text or an image file makes an allocation the process cannot survive.
constexpr int kMaxBitmapSide = 8192;
constexpr uint64_t kMaxBitmapBytes = uint64_t(64) << 20;

// The bytes of a bottom-up DIB of `bitsPerPixel` with rows padded to 4 bytes, computed in 64 bits;
// false for an empty, negative or oversized bitmap.
bool DibRowBytes(int width, int bitsPerPixel, uint64_t *rowBytes);
bool DibImageBytes(int width, int height, int bitsPerPixel, uint64_t *bytes);

// A top-down image of 32-bit pixels, row y at pixels[y * width].
struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  // False, leaving the image empty, when the size is empty or beyond the bounds above.
  bool Resize(int w, int h, uint32_t fill = 0);
  uint32_t &at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  // Fills the part of the rectangle inside the image.
  void FillRect(const HtmlRect &rect, uint32_t pixel);
};

// The intersection of two rectangles; empty (all zero) when they do not overlap.
HtmlRect IntersectRect(const HtmlRect &a, const HtmlRect &b);
inline bool IsEmptyRect(const HtmlRect &r) { return r.right <= r.left || r.bottom <= r.top; }

// ---- Blending ----

// Every byte, alpha included, becomes (source x percent + destination x (100 - percent)) / 100;
// percent 100 or more is the source, 0 or less the destination.
uint32_t BlendPercent(uint32_t source, uint32_t destination, int percent);
// The source's alpha byte a weighs the colour: (source x a + destination x (255 - a)) / 255 per
// colour channel; the destination's alpha byte stays.
uint32_t BlendSourceAlpha(uint32_t source, uint32_t destination);

// ---- Image effects ----

enum : int {
  kEffectGrey = 0x0001,
  kEffectDarker = 0x0002,
  kEffectLighter = 0x0004,
  kEffectSolid = 0x0008,
  kEffectShadow = 0x0100,
  kEffectSoftShadow = 0x0200,
  kEffectInvert = 0x8000,
};

// One pixel through the effect word. The colour effects apply in the order grey, darker, lighter,
// solid, each to the result of the one before; invert comes last and applies to masked pixels too,
// which is what makes (invert | solid white) a white silhouette of the mask colour on black. The mask
// colour and the effect colour are COLORREFs and are turned into pixels before they are compared
// or written; a pixel matches the mask only with alpha 0. The alpha byte is kept.
uint32_t ApplyEffectPixel(uint32_t pixel, int effects, bool useMask, HtmlColor maskColor, HtmlColor effectColor);
// The whole image; returns whether any pixel had a nonzero alpha byte before the effect.
bool ApplyEffectPixels(PixelImage *image, int effects, bool useMask, HtmlColor maskColor, HtmlColor effectColor);

// ---- Gradients ----

constexpr int kGradientBands = 64;
// Band i of a length runs from offset BandStart(i) to BandStart(i + 1) (64-bit products, so no
// length overflows); an empty band is not filled.
int GradientBandStart(int band, int length);
// Each channel (band x end + (64 - band) x start) / 64: the last band stops one step short of `end`.
HtmlColor GradientBandColor(int band, HtmlColor start, HtmlColor end);

struct GradientPart {
  HtmlRect rect;
  HtmlColor from = 0;
  HtmlColor to = 0;
  bool horizontal = true;
};
// The gradients a background effect of 1 to 6 is made of (the two halves of the centred and
// three-colour ones); empty for other effects or an empty rectangle.
std::vector<GradientPart> EffectGradientParts(int effect, const HtmlRect &rect, HtmlColor color, HtmlColor midColor,
                                              HtmlColor endColor);
// Calls `fill` with each non-empty band of a gradient and its colour, first band first.
void ForEachGradientBand(const GradientPart &part, const std::function<void(const HtmlRect &, HtmlColor)> &fill);
// The bands of one gradient, drawn into an image, the way the draw manager fills them.
void FillGradientPixels(PixelImage *image, const GradientPart &part);

// ---- Patterned fills (effects 7 to 15) ----

enum : int {
  kFillSolid = 0,
  kFillHGradient = 1,
  kFillVGradient = 2,
  kFillHCGradient = 3,
  kFillVCGradient = 4,
  kFill3HGradient = 5,
  kFill3VGradient = 6,
  kFillNoise = 7,
  kFillDiagShade = 8,
  kFillHShade = 9,
  kFillVShade = 10,
  kFillHBump = 11,
  kFillVBump = 12,
  kFillSoftBump = 13,
  kFillHardBump = 14,
  kFillMetal = 15,
};
inline bool IsPatternEffect(int effect) { return effect >= kFillNoise && effect <= kFillMetal; }

// A source of numbers from 0 to 32767, as the C library's rand() gives them; the patterns draw
// their noise from it so that a seeded source repeats a fill exactly.
using HtmlRandom = std::function<int()>;
// The C library's generator as Windows has it (seed * 214013 + 2531011, bits 16 to 30), for tests
// and for fills that must repeat.
class HtmlLcgRandom {
 public:
  explicit HtmlLcgRandom(uint32_t seed) : state_(seed) {}
  int operator()() {
    state_ = state_ * 214013u + 2531011u;
    return int(state_ >> 16 & 0x7FFF);
  }

 private:
  uint32_t state_;
};

// The 256 palette entries of a pattern as RGBQUADs read as 32-bit values (0x00RRGGBB, the pixel
// form): end colour to mid colour over 0..128, mid colour to colour over 128..255, then blended
// towards the colour by `blendPercent`.
using HtmlPalette = std::array<uint32_t, 256>;
HtmlPalette EffectPalette(HtmlColor color, HtmlColor midColor, HtmlColor endColor, int blendPercent);
// Each entry's channels become (colour x percent + entry x (100 - percent)) / 100, percent
// clipped to 0..100.
void BlendPaletteEntries(HtmlPalette *palette, HtmlColor color, int percent);

// The palette indices of a pattern, width x height, index [r * width + c] with r = 0 the bottom row.
// Granularity is clipped to 0..127 (no noise at 0, so nothing divides by it); a size the
// formulas would divide by zero with draws no pattern (an empty result), and the hard bump keeps
// its first pass on rectangles too small for its edges. Metal streaks are clipped to the bitmap.
std::vector<uint8_t> EffectPatternIndices(int effect, int width, int height, int granularity, const HtmlRandom &random);

// ---- Composing images ----

// The image resized to width x height by picking, for each place, the source pixel at
// (x x source width / width, y x source height / height); false when either size is empty or
// beyond the bounds.
bool ScaleNearest(const PixelImage &source, int width, int height, PixelImage *out);
// The transparent draw of a masked image: each destination pixel becomes (destination AND mask) OR
// image, as the raster operations SRCAND and then SRCPAINT combine them, over the part of the
// images placed at (x, y) that lies inside the destination.
void CombineMaskPaint(PixelImage *destination, int x, int y, const PixelImage &mask, const PixelImage &image);
// The image blended onto the destination at (x, y) by each source pixel's alpha byte.
void CombineSourceAlpha(PixelImage *destination, int x, int y, const PixelImage &image);
// An icon whose transparency lives only in the alpha bytes of its colour image comes with an AND
// mask that hides nothing, and drawn by that mask its transparent places would cover what is under
// them. When the mask (alpha cleared) is black everywhere and some colour pixel has a nonzero alpha
// byte, the mask becomes white where alpha is 0 and the colour of those places is cleared, so that
// the mask-and-paint draw leaves the destination there. A mask has no partial transparency: any
// other alpha is opaque, as a pixel not of the mask colour is in a masked bitmap. Returns whether
// the mask was made; a real mask, an image without alpha or images of different sizes stay as
// they are.
bool MaskFromAlpha(PixelImage *color, PixelImage *mask);

// ---- Shadows ----

// Each blur size made odd (an even one grows by 1; less than 1 becomes 1).
int OddBlurSize(int blur);
// The mean of each blurX x blurY box around each value, values outside the area counting as 255,
// by running sums (a row pass and a column pass): the cost does not grow with the blur sizes.
std::vector<uint8_t> BoxFilter(const std::vector<uint8_t> &levels, int width, int height, int blurX, int blurY);
// The shadow level of each place of a width x height area under a silhouette (its low byte, 255
// where it lets the light through). A soft shadow puts the silhouette, resized, into the area inset
// by half the blur sizes on white and smooths it with the box filter. Empty when the area is empty.
std::vector<uint8_t> ShadowLevels(const PixelImage &silhouette, int width, int height, bool soft, int blurX, int blurY);
// Darkens the destination under the levels of a width x height area placed at (x, y).
void DarkenUnder(PixelImage *destination, int x, int y, int width, int height, const std::vector<uint8_t> &levels);
// A destination pixel under a shadow level 0..255: each colour channel x level / 255 when the level
// is below 255, unchanged otherwise.
uint32_t DarkenPixel(uint32_t pixel, int level);

// ---- Tiles, strips, frames ----

// Calls `place` with each destination rectangle of a tile of tileWidth x tileHeight repeated over
// the area, the last row and column clipped; nothing for an empty tile or area.
void ForEachTile(const HtmlRect &area, int tileWidth, int tileHeight, const std::function<void(const HtmlRect &)> &place);
// The frame `index` of a strip in the strip's coordinates; false when the strip holds no whole frame
// or the index is outside it.
bool StripFrameRect(int stripWidth, int stripHeight, int frameWidth, int frameHeight, int index, HtmlRect *frame);

// One band of a solid or double frame; `dark` picks the second colour.
struct FrameBand {
  HtmlRect rect;
  bool dark = false;
};
// The bands of a frame `width` pixels thick inside the rectangle, in drawing order: the left and top
// edges in the first colour, then the right and bottom edges in the second (so the second colour
// wins the top-right and bottom-left corners); a double frame repeats it inset by 2 x width. Nothing
// for a width of 0 or less.
std::vector<FrameBand> FrameBands(const HtmlRect &rect, int width, int style);
// The bands of a straight solid or double line of `width` pixels from (x1, y1) up to (x2, y2): a
// horizontal line covers rows y1 - width / 2 onwards, a vertical one the columns likewise; the double
// style adds a second line 2 x width below or to the right. Empty for a slanted line (drawn with a pen)
// or a width of 0 or less.
std::vector<HtmlRect> StraightLineBands(int x1, int y1, int x2, int y2, int width, int style);

}  // namespace v7::htmltip
