#include "htmltip/pixel_ops.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace v7::htmltip {
namespace {

unsigned Byte(uint32_t value, int shift) { return value >> shift & 0xFF; }

uint32_t Pack(unsigned a, unsigned r, unsigned g, unsigned b) {
  return uint32_t(a & 0xFF) << 24 | uint32_t(r & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 | uint32_t(b & 0xFF);
}

// (x * m + y * (d - m)) / d for one channel of two colours, for the palette and band ramps.
unsigned Mix(unsigned x, unsigned y, int m, int d) { return (x * unsigned(m) + y * unsigned(d - m)) / unsigned(d); }

uint32_t MixColorToPixel(HtmlColor x, HtmlColor y, int m, int d) {
  return Pack(0, Mix(HtmlRed(x), HtmlRed(y), m, d), Mix(HtmlGreen(x), HtmlGreen(y), m, d),
              Mix(HtmlBlue(x), HtmlBlue(y), m, d));
}

}  // namespace

bool DibRowBytes(int width, int bitsPerPixel, uint64_t *rowBytes) {
  if (width <= 0 || width > kMaxBitmapSide || bitsPerPixel <= 0 || bitsPerPixel > 32) return false;
  *rowBytes = (uint64_t(width) * uint64_t(bitsPerPixel) + 31) / 32 * 4;
  return true;
}

bool DibImageBytes(int width, int height, int bitsPerPixel, uint64_t *bytes) {
  uint64_t row = 0;
  if (!DibRowBytes(width, bitsPerPixel, &row) || height <= 0 || height > kMaxBitmapSide) return false;
  if (row * uint64_t(height) > kMaxBitmapBytes) return false;
  *bytes = row * uint64_t(height);
  return true;
}

bool PixelImage::Resize(int w, int h, uint32_t fill) {
  uint64_t bytes = 0;
  if (!DibImageBytes(w, h, 32, &bytes)) {
    width = height = 0;
    pixels.clear();
    return false;
  }
  width = w;
  height = h;
  pixels.assign(size_t(bytes / 4), fill);
  return true;
}

void PixelImage::FillRect(const HtmlRect &rect, uint32_t pixel) {
  const HtmlRect r = IntersectRect(rect, HtmlRect{0, 0, width, height});
  for (int y = r.top; y < r.bottom; ++y) std::fill(&at(r.left, y), &at(r.left, y) + r.width(), pixel);
}

HtmlRect IntersectRect(const HtmlRect &a, const HtmlRect &b) {
  HtmlRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  return IsEmptyRect(r) ? HtmlRect{} : r;
}

uint32_t BlendPercent(uint32_t source, uint32_t destination, int percent) {
  if (percent >= 100) return source;
  if (percent <= 0) return destination;
  unsigned out[4];
  for (int i = 0; i < 4; ++i)
    out[i] = (Byte(source, 8 * i) * unsigned(percent) + Byte(destination, 8 * i) * unsigned(100 - percent)) / 100;
  return Pack(out[3], out[2], out[1], out[0]);
}

uint32_t BlendSourceAlpha(uint32_t source, uint32_t destination) {
  const unsigned a = Byte(source, 24);
  unsigned out[3];
  for (int i = 0; i < 3; ++i) out[i] = (Byte(source, 8 * i) * a + Byte(destination, 8 * i) * (255 - a)) / 255;
  return Pack(Byte(destination, 24), out[2], out[1], out[0]);
}

uint32_t ApplyEffectPixel(uint32_t pixel, int effects, bool useMask, HtmlColor maskColor, HtmlColor effectColor) {
  uint32_t rgb = 0;
  if (!(useMask && pixel == HtmlPixelFromColor(maskColor))) {
    unsigned r = Byte(pixel, 16), g = Byte(pixel, 8), b = Byte(pixel, 0);
    if (effects & kEffectGrey) {
      // The weights 0.299, 0.587 and 0.114 in exact integers: a floating sum of a grey pixel can land
      // just below its value and truncate one step darker.
      r = g = b = (299 * r + 587 * g + 114 * b) / 1000 & 0xFF;
    }
    if (effects & kEffectDarker) r = r * 3 / 4, g = g * 3 / 4, b = b * 3 / 4;
    if (effects & kEffectLighter) {
      r = std::min(255u, r * 5 / 4), g = std::min(255u, g * 5 / 4), b = std::min(255u, b * 5 / 4);
    }
    rgb = effects & kEffectSolid ? HtmlPixelFromColor(effectColor) : Pack(0, r, g, b);
  }
  if (effects & kEffectInvert) rgb ^= 0x00FFFFFF;
  return (pixel & 0xFF000000) | rgb;
}

bool ApplyEffectPixels(PixelImage *image, int effects, bool useMask, HtmlColor maskColor, HtmlColor effectColor) {
  bool hasAlpha = false;
  for (uint32_t &pixel : image->pixels) {
    hasAlpha |= (pixel & 0xFF000000) != 0;
    pixel = ApplyEffectPixel(pixel, effects, useMask, maskColor, effectColor);
  }
  return hasAlpha;
}

int GradientBandStart(int band, int length) {
  if (length <= 0 || band <= 0) return 0;
  return int(int64_t(std::min(band, kGradientBands)) * length / kGradientBands);
}

HtmlColor GradientBandColor(int band, HtmlColor start, HtmlColor end) {
  return HtmlColorFromPixel(MixColorToPixel(end, start, band, kGradientBands));
}

std::vector<GradientPart> EffectGradientParts(int effect, const HtmlRect &rect, HtmlColor color, HtmlColor midColor,
                                              HtmlColor endColor) {
  std::vector<GradientPart> parts;
  if (IsEmptyRect(rect) || effect < kFillHGradient || effect > kFill3VGradient) return parts;
  const bool horizontal = effect % 2 == 1;
  if (effect <= kFillVGradient) {
    parts.push_back({rect, color, endColor, horizontal});
    return parts;
  }
  HtmlRect first = rect, second = rect;
  if (horizontal) {
    first.right = second.left = rect.left + rect.width() / 2;
  } else {
    first.bottom = second.top = rect.top + rect.height() / 2;
  }
  const bool centred = effect <= kFillVCGradient;
  parts.push_back({first, color, centred ? endColor : midColor, horizontal});
  parts.push_back({second, centred ? endColor : midColor, centred ? color : endColor, horizontal});
  return parts;
}

void ForEachGradientBand(const GradientPart &part, const std::function<void(const HtmlRect &, HtmlColor)> &fill) {
  const int length = part.horizontal ? part.rect.width() : part.rect.height();
  for (int i = 0; i < kGradientBands; ++i) {
    const int from = GradientBandStart(i, length), to = GradientBandStart(i + 1, length);
    if (to <= from) continue;
    HtmlRect band = part.rect;
    if (part.horizontal) {
      band.left = part.rect.left + from;
      band.right = part.rect.left + to;
    } else {
      band.top = part.rect.top + from;
      band.bottom = part.rect.top + to;
    }
    fill(band, GradientBandColor(i, part.from, part.to));
  }
}

void FillGradientPixels(PixelImage *image, const GradientPart &part) {
  ForEachGradientBand(part, [image](const HtmlRect &band, HtmlColor color) {
    image->FillRect(band, HtmlPixelFromColor(color));
  });
}

bool ScaleNearest(const PixelImage &source, int width, int height, PixelImage *out) {
  if (source.width <= 0 || source.height <= 0 || !out->Resize(width, height)) return false;
  for (int y = 0; y < height; ++y) {
    const int sy = int(int64_t(y) * source.height / height);
    for (int x = 0; x < width; ++x) out->at(x, y) = source.at(int(int64_t(x) * source.width / width), sy);
  }
  return true;
}

namespace {

// Calls `combine` for each place of a w x h image at (x, y) that falls inside the destination.
template <typename F>
void ForEachPlaced(PixelImage *destination, int x, int y, int w, int h, F combine) {
  const HtmlRect inside = IntersectRect(HtmlRect{x, y, int(std::min<int64_t>(int64_t(x) + w, INT32_MAX)),
                                                 int(std::min<int64_t>(int64_t(y) + h, INT32_MAX))},
                                        HtmlRect{0, 0, destination->width, destination->height});
  for (int dy = inside.top; dy < inside.bottom; ++dy)
    for (int dx = inside.left; dx < inside.right; ++dx) combine(&destination->at(dx, dy), dx - x, dy - y);
}

}  // namespace

void CombineMaskPaint(PixelImage *destination, int x, int y, const PixelImage &mask, const PixelImage &image) {
  if (mask.width != image.width || mask.height != image.height) return;
  ForEachPlaced(destination, x, y, image.width, image.height,
                [&](uint32_t *pixel, int ix, int iy) { *pixel = (*pixel & mask.at(ix, iy)) | image.at(ix, iy); });
}

void CombineSourceAlpha(PixelImage *destination, int x, int y, const PixelImage &image) {
  ForEachPlaced(destination, x, y, image.width, image.height,
                [&](uint32_t *pixel, int ix, int iy) { *pixel = BlendSourceAlpha(image.at(ix, iy), *pixel); });
}

bool MaskFromAlpha(PixelImage *color, PixelImage *mask) {
  if (color->width != mask->width || color->height != mask->height) return false;
  const auto hasAlpha = [](uint32_t p) { return (p & 0xFF000000) != 0; };
  const auto hides = [](uint32_t p) { return (p & 0x00FFFFFF) != 0; };
  if (std::none_of(color->pixels.begin(), color->pixels.end(), hasAlpha) ||
      std::any_of(mask->pixels.begin(), mask->pixels.end(), hides))
    return false;
  for (size_t i = 0; i < color->pixels.size(); ++i) {
    if (hasAlpha(color->pixels[i])) continue;
    mask->pixels[i] = 0x00FFFFFF;
    color->pixels[i] = 0;
  }
  return true;
}

HtmlPalette EffectPalette(HtmlColor color, HtmlColor midColor, HtmlColor endColor, int blendPercent) {
  HtmlPalette palette{};
  for (int k = 0; k <= 128; ++k) palette[size_t(k)] = MixColorToPixel(midColor, endColor, k, 128);
  for (int f = 1; f < 128; ++f) palette[size_t(128 + f)] = MixColorToPixel(color, midColor, f, 128);
  palette[255] = HtmlPixelFromColor(color);
  BlendPaletteEntries(&palette, color, blendPercent);
  return palette;
}

void BlendPaletteEntries(HtmlPalette *palette, HtmlColor color, int percent) {
  percent = std::clamp(percent, 0, 100);
  for (uint32_t &entry : *palette) entry = MixColorToPixel(color, HtmlColorFromPixel(entry), percent, 100);
}

namespace {

// The patterns' formulas, kept in the integer arithmetic they are given in: every quotient truncates
// toward zero, every sum wraps to a palette index at the end.
class PatternPainter {
 public:
  PatternPainter(int width, int height, int granularity, const HtmlRandom &random)
      : w_(width), h_(height), a_(std::clamp(granularity, 0, 127)), t_(255 - 2 * a_), random_(random),
        pixels_(size_t(width) * size_t(height)) {}

  std::vector<uint8_t> Paint(int effect) {
    switch (effect) {
      case kFillNoise: Each([&](int, int) { return 128 + Noise() - a_; }); break;
      case kFillDiagShade:
        Each([&](int r, int c) { return a_ + r * (t_ / 2) / h_ + (w_ - c) * (t_ / 2) / w_ + Noise() - a_; });
        break;
      case kFillHShade: Each([&](int r, int) { return a_ + r * t_ / h_ + Noise() - a_; }); break;
      case kFillVShade: Each([&](int, int c) { return a_ + t_ * (w_ - c) / w_ + Noise() - a_; }); break;
      case kFillHBump: Each([&](int r, int) { return Bump(r * 255 / h_) + Noise() - a_; }); break;
      case kFillVBump: Each([&](int, int c) { return Bump((w_ - c) * 255 / w_) + Noise() - a_; }); break;
      case kFillSoftBump: Each([&](int r, int c) { return SoftBump(r, c) + Noise() - a_; }); break;
      case kFillHardBump: HardBump(); break;
      case kFillMetal: Metal(); break;
      default: return {};
    }
    return std::move(pixels_);
  }

 private:
  template <typename F>
  void Each(F value) {
    for (int r = 0; r < h_; ++r)
      for (int c = 0; c < w_; ++c) Set(r, c, value(r, c));
  }
  void Set(int r, int c, int value) { pixels_[size_t(r) * size_t(w_) + size_t(c)] = uint8_t(value); }
  int Get(int r, int c) const { return pixels_[size_t(r) * size_t(w_) + size_t(c)]; }

  // 0 to 2a inclusive; with granularity 0 there is no noise and nothing to divide by.
  int Noise() {
    if (a_ == 0) return 0;
    const int64_t draw = std::clamp(random_(), 0, 32767);
    return int(draw * (2 * a_) / 32767);
  }
  int Random(int below) { return below <= 0 ? 0 : std::clamp(random_(), 0, 32767) % below; }
  static int Cube(int v) { return v * v * v; }
  int Bump(int v) const { return 128 + (Cube(v - 127) / 16384 * (128 - a_)) / 128; }
  int SoftBump(int r, int c) const {
    const int y = Cube(r * 255 / h_ - 127) / 16384;
    const int x = Cube((w_ - c) * 255 / w_ - 127) / 16384;
    return std::clamp(128 + ((x + y) * (128 - a_)) / 128, a_, 255 - a_);
  }

  void HardBump() {
    Each([&](int r, int) { return 128 + Cube(r * 255 / h_ - 127) / 16384 * (64 - a_) * 2 / 128 + Noise() - a_; });
    const int w = std::min(w_ / 6, 16);
    const int64_t quarter = int64_t(h_) * h_ / 4;
    if (w == 0 || quarter == 0) return;  // too small for the rounded edges: the bump alone
    for (int r = 0; r < h_; ++r) {
      const int64_t k = r - h_ / 2;
      const int64_t e = (w * k) * k / quarter + w_ / 2 - w;
      for (int c = 0; c < w_; ++c) {
        int value = Get(r, c);
        if (e < c - w_ / 2) value = a_ + (w_ - c) * 128 / w;
        if (e + c - w_ / 2 < 0) value = 255 - a_ - c * 128 / w;
        Set(r, c, value + Noise() - a_);
      }
    }
  }

  void Metal() {
    const int longest = std::min(w_, h_);
    for (int n = 0; n < 200; ++n) {
      const int x = Random(w_), y = Random(h_), length = Random(longest), value = Random(41);
      for (int i = 0; i < length / 2; ++i) {
        if (y + i >= h_) break;
        if (x + i < w_) Set(y + i, x + i, value);
        if (w_ - 1 - x - i >= 0) Set(y + i, w_ - 1 - x - i, value);
      }
    }
    const int v = (t_ - 40) / 2;
    for (int r = 0; r < h_; ++r)
      for (int c = 0; c < w_; ++c) Set(r, c, Get(r, c) + r * v / h_ + (w_ - c) * v / w_ + Noise());
  }

  int w_, h_, a_, t_;
  const HtmlRandom &random_;
  std::vector<uint8_t> pixels_;
};

}  // namespace

std::vector<uint8_t> EffectPatternIndices(int effect, int width, int height, int granularity, const HtmlRandom &random) {
  uint64_t bytes = 0;
  if (!IsPatternEffect(effect) || !DibImageBytes(width, height, 8, &bytes) || !random) return {};
  return PatternPainter(width, height, granularity, random).Paint(effect);
}

int OddBlurSize(int blur) {
  if (blur < 1) return 1;
  blur = std::min(blur, 2 * kMaxBitmapSide + 1);
  return blur % 2 == 0 ? blur + 1 : blur;
}

std::vector<uint8_t> BoxFilter(const std::vector<uint8_t> &levels, int width, int height, int blurX, int blurY) {
  if (width <= 0 || height <= 0 || levels.size() != size_t(width) * size_t(height)) return {};
  const int bx = OddBlurSize(blurX), by = OddBlurSize(blurY);
  const int hx = bx / 2, hy = by / 2;
  // Row pass: sums of bx values around each place, outside values 255.
  std::vector<int64_t> rows(levels.size());
  std::vector<int64_t> prefix(size_t(std::max(width, height)) + 1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) prefix[size_t(x) + 1] = prefix[size_t(x)] + levels[size_t(y) * width + x];
    for (int x = 0; x < width; ++x) {
      const int lo = std::max(0, x - hx), hi = std::min(width - 1, x + hx);
      rows[size_t(y) * width + x] = prefix[size_t(hi) + 1] - prefix[size_t(lo)] + int64_t(255) * (bx - (hi - lo + 1));
    }
  }
  // Column pass over the row sums; a row outside the area adds bx values of 255.
  std::vector<uint8_t> out(levels.size());
  const int64_t box = int64_t(bx) * by;
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) prefix[size_t(y) + 1] = prefix[size_t(y)] + rows[size_t(y) * width + x];
    for (int y = 0; y < height; ++y) {
      const int lo = std::max(0, y - hy), hi = std::min(height - 1, y + hy);
      const int64_t sum = prefix[size_t(hi) + 1] - prefix[size_t(lo)] + int64_t(255) * bx * (by - (hi - lo + 1));
      out[size_t(y) * width + x] = uint8_t(sum / box);
    }
  }
  return out;
}

std::vector<uint8_t> ShadowLevels(const PixelImage &silhouette, int width, int height, bool soft, int blurX, int blurY) {
  PixelImage area;
  if (silhouette.width <= 0 || !area.Resize(width, height, 0x00FFFFFF)) return {};
  if (!soft) {
    PixelImage placed;
    if (!ScaleNearest(silhouette, width, height, &placed)) return {};
    area = std::move(placed);
  } else {
    const int bx = OddBlurSize(blurX), by = OddBlurSize(blurY);
    const int innerWidth = width - 2 * (bx / 2), innerHeight = height - 2 * (by / 2);
    PixelImage inner;
    // An area too small for its blur is white all over: no shadow, and nothing divides by its size.
    if (innerWidth > 0 && innerHeight > 0 && ScaleNearest(silhouette, innerWidth, innerHeight, &inner)) {
      for (int y = 0; y < innerHeight; ++y)
        for (int x = 0; x < innerWidth; ++x) area.at(x + bx / 2, y + by / 2) = inner.at(x, y);
    }
  }
  std::vector<uint8_t> levels(area.pixels.size());
  for (size_t i = 0; i < levels.size(); ++i) levels[i] = uint8_t(area.pixels[i] & 0xFF);
  return soft ? BoxFilter(levels, width, height, blurX, blurY) : levels;
}

void DarkenUnder(PixelImage *destination, int x, int y, int width, int height, const std::vector<uint8_t> &levels) {
  if (width <= 0 || height <= 0 || levels.size() != size_t(width) * size_t(height)) return;
  ForEachPlaced(destination, x, y, width, height,
                [&](uint32_t *pixel, int ix, int iy) { *pixel = DarkenPixel(*pixel, levels[size_t(iy) * width + ix]); });
}

uint32_t DarkenPixel(uint32_t pixel, int level) {
  if (level >= 255) return pixel;
  const unsigned l = unsigned(std::max(level, 0));
  return Pack(Byte(pixel, 24), Byte(pixel, 16) * l / 255, Byte(pixel, 8) * l / 255, Byte(pixel, 0) * l / 255);
}

void ForEachTile(const HtmlRect &area, int tileWidth, int tileHeight, const std::function<void(const HtmlRect &)> &place) {
  if (tileWidth <= 0 || tileHeight <= 0 || IsEmptyRect(area)) return;
  for (int64_t y = area.top; y < area.bottom; y += tileHeight) {
    for (int64_t x = area.left; x < area.right; x += tileWidth) {
      place(HtmlRect{int(x), int(y), int(std::min<int64_t>(x + tileWidth, area.right)),
                     int(std::min<int64_t>(y + tileHeight, area.bottom))});
    }
  }
}

bool StripFrameRect(int stripWidth, int stripHeight, int frameWidth, int frameHeight, int index, HtmlRect *frame) {
  if (frameWidth <= 0 || frameHeight <= 0 || stripWidth <= 0 || stripHeight <= 0 || index < 0) return false;
  const int perRow = stripWidth / frameWidth, rows = stripHeight / frameHeight;
  if (perRow == 0 || rows == 0 || int64_t(index) >= int64_t(perRow) * rows) return false;
  const int left = index % perRow * frameWidth, top = index / perRow * frameHeight;
  *frame = HtmlRect{left, top, left + frameWidth, top + frameHeight};
  return true;
}

std::vector<FrameBand> FrameBands(const HtmlRect &rect, int width, int style) {
  std::vector<FrameBand> bands;
  if (width <= 0 || IsEmptyRect(rect)) return bands;
  const int w = std::min(width, kMaxHtmlLength);
  auto frame = [&](const HtmlRect &r) {
    const HtmlRect edges[4] = {{r.left, r.top, r.left + w, r.bottom},
                               {r.left, r.top, r.right, r.top + w},
                               {r.right - w, r.top, r.right, r.bottom},
                               {r.left, r.bottom - w, r.right, r.bottom}};
    for (int i = 0; i < 4; ++i) {
      const HtmlRect clipped = IntersectRect(edges[i], r);
      if (!IsEmptyRect(clipped)) bands.push_back({clipped, i >= 2});
    }
  };
  frame(rect);
  const HtmlRect inner{rect.left + 2 * w, rect.top + 2 * w, rect.right - 2 * w, rect.bottom - 2 * w};
  if (style == kHtmlLineDouble && !IsEmptyRect(inner)) frame(inner);
  return bands;
}

std::vector<HtmlRect> StraightLineBands(int x1, int y1, int x2, int y2, int width, int style) {
  std::vector<HtmlRect> bands;
  if (width <= 0 || (x1 != x2 && y1 != y2) || (x1 == x2 && y1 == y2)) return bands;
  const int w = std::min(width, kMaxHtmlLength);
  HtmlRect band;
  if (y1 == y2) {
    // The end point is not drawn, whichever way the line runs.
    band.left = x1 < x2 ? x1 : x2 + 1;
    band.right = x1 < x2 ? x2 : x1 + 1;
    band.top = y1 - w / 2;
    band.bottom = band.top + w;
  } else {
    band.top = y1 < y2 ? y1 : y2 + 1;
    band.bottom = y1 < y2 ? y2 : y1 + 1;
    band.left = x1 - w / 2;
    band.right = band.left + w;
  }
  bands.push_back(band);
  if (style == kHtmlLineDouble) {
    HtmlRect second = band;
    if (y1 == y2) {
      second.top += 2 * w, second.bottom += 2 * w;
    } else {
      second.left += 2 * w, second.right += 2 * w;
    }
    bands.push_back(second);
  }
  return bands;
}

}  // namespace v7::htmltip
