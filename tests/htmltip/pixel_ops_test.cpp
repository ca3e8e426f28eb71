#include "htmltip/pixel_ops.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace v7::htmltip;

TEST(PixelOps, BitmapSizesAreBoundedIn64Bits) {
  struct Case {
    int width, height, bits;
    bool ok;
    uint64_t bytes;
  } cases[] = {
      {1, 1, 8, true, 4},         {5, 2, 8, true, 16},          {3, 3, 32, true, 36},
      {0, 1, 8, false, 0},        {1, 0, 8, false, 0},          {-4, 4, 8, false, 0},
      {4, -4, 32, false, 0},      {8193, 1, 8, false, 0},       {4096, 4096, 32, true, uint64_t(64) << 20},
      {4096, 4097, 32, false, 0}, {8192, 8192, 32, false, 0},   {2147483647, 2147483647, 32, false, 0},
  };
  for (const Case &c : cases) {
    uint64_t bytes = 0;
    EXPECT_EQ(DibImageBytes(c.width, c.height, c.bits, &bytes), c.ok) << c.width << "x" << c.height;
    if (c.ok) {
      EXPECT_EQ(bytes, c.bytes);
    }
  }
  PixelImage image;
  EXPECT_FALSE(image.Resize(100000, 100000));
  EXPECT_TRUE(image.pixels.empty());
}

TEST(PixelOps, BlendByPercent) {
  struct Case {
    uint32_t source, destination;
    int percent;
    uint32_t result;
  } cases[] = {
      {0x11223344, 0xAABBCCDD, 100, 0x11223344}, {0x11223344, 0xAABBCCDD, 150, 0x11223344},
      {0x11223344, 0xAABBCCDD, 0, 0xAABBCCDD},   {0x11223344, 0xAABBCCDD, -7, 0xAABBCCDD},
      {0x00FF0000, 0x000000FF, 50, 0x007F007F},  {0x00C80064, 0x00000000, 25, 0x00320019},
  };
  for (const Case &c : cases) EXPECT_EQ(BlendPercent(c.source, c.destination, c.percent), c.result) << c.percent;
}

TEST(PixelOps, BlendBySourceAlpha) {
  EXPECT_EQ(BlendSourceAlpha(0xFF102030, 0x00A0B0C0), 0x00102030u);
  EXPECT_EQ(BlendSourceAlpha(0x00102030, 0x44A0B0C0), 0x44A0B0C0u);
  // a = 128: (255 x 128 + 0 x 127) / 255 = 128.
  EXPECT_EQ(BlendSourceAlpha(0x80FFFFFF, 0x00000000), 0x00808080u);
}

TEST(PixelOps, EffectsOnePixelAtATime) {
  const HtmlColor red = HtmlRgb(255, 0, 0);  // COLORREF 0x0000FF, pixel 0x00FF0000
  struct Case {
    uint32_t pixel;
    int effects;
    bool useMask;
    HtmlColor mask, effect;
    uint32_t result;
  } cases[] = {
      {0x00FF0000, kEffectGrey, false, 0, 0, 0x004C4C4C},  // 0.299 x 255 = 76.2
      {0x00646464, kEffectGrey, false, 0, 0, 0x00646464},  // a grey stays exactly itself
      {0x00FF8040, kEffectDarker, false, 0, 0, 0x00BF6030},
      {0x00C8FF10, kEffectLighter, false, 0, 0, 0x00FAFF14},
      {0x00123456, kEffectSolid, false, 0, red, 0x00FF0000},
      {0x7F123456, kEffectInvert, false, 0, 0, 0x7FEDCBA9},
      {0x00FF8040, kEffectGrey | kEffectDarker, false, 0, 0, 0x00767676},  // grey 158, then x 0.75
      // The mask colour is a COLORREF: red matches the red pixel, not the blue one.
      {0x00FF0000, 0, true, red, 0, 0x00000000},
      {0x000000FF, 0, true, red, 0, 0x000000FF},
      {0x80FF0000, 0, true, red, 0, 0x80FF0000},  // alpha set: never the mask
      // The silhouette: white where the mask colour is, black elsewhere.
      {0x00FF00FF, kEffectInvert | kEffectSolid, true, 0xFF00FF, 0xFFFFFF, 0x00FFFFFF},
      {0x00123456, kEffectInvert | kEffectSolid, true, 0xFF00FF, 0xFFFFFF, 0x00000000},
      // Shadow flags are not colour effects.
      {0x00123456, kEffectShadow | kEffectSoftShadow, false, 0, 0, 0x00123456},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(ApplyEffectPixel(c.pixel, c.effects, c.useMask, c.mask, c.effect), c.result)
        << std::hex << c.pixel << " " << c.effects;
  }
  PixelImage image;
  ASSERT_TRUE(image.Resize(2, 1));
  EXPECT_FALSE(ApplyEffectPixels(&image, kEffectInvert, false, 0, 0));
  EXPECT_EQ(image.at(1, 0), 0x00FFFFFFu);
  image.at(0, 0) = 0x01000000;
  EXPECT_TRUE(ApplyEffectPixels(&image, 0, false, 0, 0));
}

TEST(PixelOps, GradientBandsOfATenPixelRectangle) {
  // Row y of 10 belongs to band ceil(64 (y + 1) / 10) - 1; the other 54 bands are empty.
  const HtmlColor start = 0, end = HtmlRgb(64, 128, 255);
  PixelImage image;
  ASSERT_TRUE(image.Resize(1, 10, 0xDEADBEEF));
  FillGradientPixels(&image, GradientPart{HtmlRect{0, 0, 1, 10}, start, end, false});
  int filled = 0;
  for (int i = 0; i < kGradientBands; ++i) filled += GradientBandStart(i + 1, 10) > GradientBandStart(i, 10);
  EXPECT_EQ(filled, 10);
  for (int y = 0; y < 10; ++y) {
    const int band = (64 * (y + 1) + 9) / 10 - 1;
    const uint32_t expected = uint32_t(band * 64 / 64) << 16 | uint32_t(band * 128 / 64) << 8 | uint32_t(band * 255 / 64);
    EXPECT_EQ(image.at(0, y), expected) << y;
  }
  EXPECT_EQ(image.at(0, 9), 0x003F7EFBu);  // band 63 stops short of the end colour
  EXPECT_EQ(GradientBandColor(63, 0x000000, 0xFFFFFF), 0xFBFBFBu);
  EXPECT_EQ(GradientBandColor(0, 0x123456, 0xFFFFFF), 0x123456u);
  EXPECT_EQ(GradientBandStart(64, 2000000000), 2000000000);  // no overflow in the products
  EXPECT_EQ(GradientBandStart(5, -3), 0);
}

TEST(PixelOps, EffectGradientPartsSplitInHalves) {
  const HtmlRect r{2, 3, 13, 7};
  auto parts = EffectGradientParts(kFillHCGradient, r, 1, 2, 3);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].rect.right, 7);
  EXPECT_EQ(parts[1].rect.left, 7);
  EXPECT_EQ(parts[0].from, 1u);
  EXPECT_EQ(parts[0].to, 3u);
  EXPECT_EQ(parts[1].from, 3u);
  EXPECT_EQ(parts[1].to, 1u);
  parts = EffectGradientParts(kFill3VGradient, r, 1, 2, 3);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_FALSE(parts[0].horizontal);
  EXPECT_EQ(parts[0].rect.bottom, 5);
  EXPECT_EQ(parts[0].to, 2u);
  EXPECT_EQ(parts[1].from, 2u);
  EXPECT_EQ(parts[1].to, 3u);
  EXPECT_EQ(EffectGradientParts(kFillVGradient, r, 1, 2, 3).size(), 1u);
  EXPECT_TRUE(EffectGradientParts(kFillNoise, r, 1, 2, 3).empty());
  EXPECT_TRUE(EffectGradientParts(kFillHGradient, HtmlRect{5, 5, 5, 9}, 1, 2, 3).empty());
  EXPECT_TRUE(EffectGradientParts(kFillHGradient, HtmlRect{5, 5, 1, 9}, 1, 2, 3).empty());
}

TEST(PixelOps, PatternPaletteRunsThroughTheThreeColours) {
  const HtmlColor color = HtmlRgb(200, 0, 0), mid = HtmlRgb(0, 200, 0), end = HtmlRgb(0, 0, 200);
  HtmlPalette p = EffectPalette(color, mid, end, 0);
  EXPECT_EQ(p[0], HtmlPixelFromColor(end));
  EXPECT_EQ(p[64], 0x00006464u);
  EXPECT_EQ(p[128], HtmlPixelFromColor(mid));
  EXPECT_EQ(p[192], 0x00646400u);
  EXPECT_EQ(p[254], uint32_t(126 * 200 / 128) << 16 | uint32_t(2 * 200 / 128) << 8);
  EXPECT_EQ(p[255], HtmlPixelFromColor(color));
  p = EffectPalette(color, mid, end, 100);
  for (uint32_t entry : p) EXPECT_EQ(entry, HtmlPixelFromColor(color));
  EXPECT_EQ(EffectPalette(color, mid, end, 250), p);  // capped at 100
  EXPECT_EQ(EffectPalette(color, mid, end, -5), EffectPalette(color, mid, end, 0));
  HtmlPalette half{};
  BlendPaletteEntries(&half, HtmlRgb(100, 50, 20), 50);
  EXPECT_EQ(half[7], 0x0032190Au);
}

int ZeroRandom() { return 0; }
int TopRandom() { return 32767; }

TEST(PixelOps, PatternsWithoutNoiseFollowTheirFormulas) {
  const HtmlRandom zero = ZeroRandom;
  // Granularity 5, no noise: a + value - a.
  std::vector<uint8_t> p = EffectPatternIndices(kFillNoise, 3, 2, 5, zero);
  EXPECT_EQ(p, std::vector<uint8_t>(6, 123));
  p = EffectPatternIndices(kFillHShade, 1, 10, 5, zero);
  ASSERT_EQ(p.size(), 10u);
  EXPECT_EQ(p[0], 0);               // the bottom row
  EXPECT_EQ(p[9], 9 * 245 / 10);    // r x t / height
  p = EffectPatternIndices(kFillVShade, 10, 1, 5, zero);
  EXPECT_EQ(p[0], 245);             // t x (width - 0) / width
  EXPECT_EQ(p[9], 245 / 10);
  p = EffectPatternIndices(kFillDiagShade, 4, 4, 5, zero);
  EXPECT_EQ(p[0], 122);             // (4 - 0) x 122 / 4
  EXPECT_EQ(p[3 * 4 + 3], 3 * 122 / 4 + 122 / 4);
  // bump(v) = 128 + ((v - 127)^3 / 16384 x (128 - a)) / 128, a = 5: row 0 of 2 is v = 0.
  p = EffectPatternIndices(kFillHBump, 1, 2, 5, zero);
  EXPECT_EQ(p[0], uint8_t(128 + (-127 * 127 * 127 / 16384 * 123) / 128 - 5));
  EXPECT_EQ(p[1], uint8_t(128 + (0 * 123) / 128 - 5));  // v = 127
  p = EffectPatternIndices(kFillSoftBump, 1, 1, 5, zero);
  // x = (255 - 127)^3 / 16384 = 128, y = -127^3 / 16384 = -125; 128 + 3 x 123 / 128 = 130.
  EXPECT_EQ(p[0], 130 - 5);
  // Noise at its top: 2a.
  p = EffectPatternIndices(kFillNoise, 2, 1, 5, HtmlRandom(TopRandom));
  EXPECT_EQ(p, std::vector<uint8_t>(2, 133));
  // A source that steps outside 0..32767 is held inside it.
  p = EffectPatternIndices(kFillNoise, 1, 1, 5, HtmlRandom([] { return 1 << 30; }));
  EXPECT_EQ(p[0], 133);
}

TEST(PixelOps, PatternsRefuseWhatWouldDivideByZero) {
  int calls = 0;
  const HtmlRandom counting = [&calls] { return ++calls, 1234; };
  for (int effect = kFillNoise; effect <= kFillMetal; ++effect) {
    SCOPED_TRACE(effect);
    EXPECT_TRUE(EffectPatternIndices(effect, 0, 5, 5, counting).empty());
    EXPECT_TRUE(EffectPatternIndices(effect, 5, 0, 5, counting).empty());
    EXPECT_TRUE(EffectPatternIndices(effect, -3, -3, 5, counting).empty());
    EXPECT_TRUE(EffectPatternIndices(effect, 9000, 2, 5, counting).empty());
    // Tiny rectangles and granularity 0 draw, and granularity 0 needs no noise at all.
    EXPECT_EQ(EffectPatternIndices(effect, 1, 1, 5, counting).size(), 1u);
    EXPECT_EQ(EffectPatternIndices(effect, 5, 1, 5, counting).size(), 5u);
    const int before = calls;
    EXPECT_EQ(EffectPatternIndices(effect, 3, 7, 0, counting).size(), 21u);
    if (effect != kFillMetal) {
      EXPECT_EQ(calls, before);
    }
    EXPECT_EQ(EffectPatternIndices(effect, 4, 4, 100000, counting).size(), 16u);
    EXPECT_EQ(EffectPatternIndices(effect, 4, 4, -9, counting).size(), 16u);
  }
  EXPECT_TRUE(EffectPatternIndices(kFillHGradient, 4, 4, 5, counting).empty());
  EXPECT_TRUE(EffectPatternIndices(kFillNoise, 4, 4, 5, HtmlRandom()).empty());
}

TEST(PixelOps, HardBumpEdgesOnAWideRectangle) {
  // 12 x 4, a = 5, no noise: w = 2, quarter = 4. Row 0: k = -2, e = 2 x 4 / 4 + 6 - 2 = 6.
  std::vector<uint8_t> p = EffectPatternIndices(kFillHardBump, 12, 4, 5, HtmlRandom(ZeroRandom));
  ASSERT_EQ(p.size(), 48u);
  // Column 0: e + 0 - 6 = 0 is not below 0, e < -6 is false: the first pass, 128 + (-122 x 59 x 2 / 128) - 5, less a.
  const int first = 128 + (-127 * 127 * 127 / 16384) * 59 * 2 / 128 - 5;
  EXPECT_EQ(p[0], uint8_t(first - 5));
  // Row 2 (k = 0, e = 4): column 11 passes the first test (4 < 5): a + 1 x 128 / 2, less a.
  EXPECT_EQ(p[2 * 12 + 11], uint8_t(5 + 64 - 5));
  // Column 1: 4 + 1 - 6 < 0: 255 - a - 64, less a.
  EXPECT_EQ(p[2 * 12 + 1], uint8_t(255 - 5 - 64 - 5));
}

TEST(PixelOps, TheRuntimeGeneratorRepeats) {
  HtmlLcgRandom random(1);
  EXPECT_EQ(random(), 41);
  EXPECT_EQ(random(), 18467);
  EXPECT_EQ(random(), 6334);
}

std::vector<uint8_t> NaiveBoxFilter(const std::vector<uint8_t> &v, int w, int h, int bx, int by) {
  std::vector<uint8_t> out(v.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int64_t sum = 0;
      for (int dy = -by / 2; dy <= by / 2; ++dy)
        for (int dx = -bx / 2; dx <= bx / 2; ++dx) {
          const int xx = x + dx, yy = y + dy;
          sum += xx < 0 || yy < 0 || xx >= w || yy >= h ? 255 : v[size_t(yy) * w + xx];
        }
      out[size_t(y) * w + x] = uint8_t(sum / (int64_t(bx) * by));
    }
  return out;
}

TEST(PixelOps, BoxFilterByRunningSumsEqualsTheNaiveOne) {
  HtmlLcgRandom random(7);
  const int blurs[][2] = {{1, 1}, {3, 3}, {7, 7}, {4, 2}, {0, -3}, {9, 1}, {25, 13}};
  for (int size = 1; size <= 9; size += 4) {
    for (const auto &blur : blurs) {
      std::vector<uint8_t> levels(size_t(size * (size + 2)));
      for (uint8_t &l : levels) l = uint8_t(random() % 256);
      EXPECT_EQ(BoxFilter(levels, size, size + 2, blur[0], blur[1]),
                NaiveBoxFilter(levels, size, size + 2, OddBlurSize(blur[0]), OddBlurSize(blur[1])))
          << size << " " << blur[0] << "x" << blur[1];
    }
  }
  EXPECT_EQ(OddBlurSize(4), 5);
  EXPECT_EQ(OddBlurSize(7), 7);
  EXPECT_EQ(OddBlurSize(0), 1);
  EXPECT_TRUE(BoxFilter({1, 2, 3}, 2, 2, 3, 3).empty());  // the size does not match the values
}

TEST(PixelOps, DarkenUnderAShadowLevel) {
  EXPECT_EQ(DarkenPixel(0x11FF8040, 255), 0x11FF8040u);
  EXPECT_EQ(DarkenPixel(0x11FF8040, 0), 0x11000000u);
  EXPECT_EQ(DarkenPixel(0x00FF8040, 127), 0x007F3F1Fu);
}

TEST(PixelOps, ScalingPicksTheNearestSourcePixel) {
  PixelImage source, out;
  ASSERT_TRUE(source.Resize(2, 1));
  source.pixels = {1, 2};
  ASSERT_TRUE(ScaleNearest(source, 5, 2, &out));
  EXPECT_EQ(out.pixels, (std::vector<uint32_t>{1, 1, 1, 2, 2, 1, 1, 1, 2, 2}));
  ASSERT_TRUE(ScaleNearest(out, 2, 1, &source));
  EXPECT_EQ(source.pixels, (std::vector<uint32_t>{1, 1}));
  EXPECT_FALSE(ScaleNearest(out, 0, 3, &source));
  EXPECT_FALSE(ScaleNearest(out, 9000, 3, &source));
  EXPECT_FALSE(ScaleNearest(PixelImage{}, 3, 3, &source));
}

TEST(PixelOps, MaskAndPaintCombineAsTheRasterOperations) {
  PixelImage destination, mask, image;
  ASSERT_TRUE(destination.Resize(4, 2, 0x00405060));
  ASSERT_TRUE(mask.Resize(2, 2, 0x00FFFFFF));
  ASSERT_TRUE(image.Resize(2, 2, 0));
  mask.at(1, 0) = 0;
  image.at(1, 0) = 0x000000FF;
  image.at(0, 1) = 0x00010000;  // painted over the destination where the mask lets it through
  CombineMaskPaint(&destination, 3, 0, mask, image);  // half of it outside
  EXPECT_EQ(destination.at(3, 0), 0x00405060u);
  CombineMaskPaint(&destination, 0, 0, mask, image);
  EXPECT_EQ(destination.at(0, 0), 0x00405060u);
  EXPECT_EQ(destination.at(1, 0), 0x000000FFu);
  EXPECT_EQ(destination.at(0, 1), 0x00415060u);
  CombineMaskPaint(&destination, -5, -5, mask, image);  // wholly outside: nothing
  image.at(0, 0) = 0xFF00FF00;
  CombineSourceAlpha(&destination, 2, 0, image);
  EXPECT_EQ(destination.at(2, 0), 0x0000FF00u);
  EXPECT_EQ(destination.at(3, 0), 0x00405060u);  // alpha 0 there
}

TEST(PixelOps, AnEmptyIconMaskIsMadeFromTheAlpha) {
  const std::vector<uint32_t> color = {0x00000000, 0x00FFFFFF, 0x01102030, 0x80405060, 0xFF708090, 0x00102030};
  const std::vector<uint32_t> clear(6, 0), hiding = {0, 0x00FFFFFF, 0, 0, 0, 0};
  const std::vector<uint32_t> opaque = {0x00000000, 0x00FFFFFF, 0x00102030, 0x00405060, 0x00708090, 0x00102030};
  const std::vector<uint32_t> derivedMask = {0x00FFFFFF, 0x00FFFFFF, 0, 0, 0, 0x00FFFFFF};
  const std::vector<uint32_t> derivedColor = {0, 0, 0x01102030, 0x80405060, 0xFF708090, 0};
  struct {
    const char *name;
    std::vector<uint32_t> color, mask;
    int maskWidth;
    bool made;
    std::vector<uint32_t> wantColor, wantMask;
  } cases[] = {
      {"alpha only: alpha 0 is transparent, any other alpha opaque", color, clear, 3, true, derivedColor, derivedMask},
      {"a real mask is kept", color, hiding, 3, false, color, hiding},
      {"no alpha: nothing to go by", opaque, clear, 3, false, opaque, clear},
      {"sizes differ", color, clear, 2, false, color, clear},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    PixelImage image, mask;
    ASSERT_TRUE(image.Resize(3, 2));
    ASSERT_TRUE(mask.Resize(c.maskWidth, 6 / c.maskWidth));
    image.pixels = c.color;
    mask.pixels = c.mask;
    EXPECT_EQ(MaskFromAlpha(&image, &mask), c.made);
    EXPECT_EQ(image.pixels, c.wantColor);
    EXPECT_EQ(mask.pixels, c.wantMask);
  }
}

TEST(PixelOps, ShadowLevelsPlainAndSoft) {
  PixelImage shape;
  ASSERT_TRUE(shape.Resize(2, 2, 0x00FFFFFF));
  shape.at(0, 0) = 0x007F7F7F;
  std::vector<uint8_t> plain = ShadowLevels(shape, 2, 2, false, 0, 0);
  EXPECT_EQ(plain, (std::vector<uint8_t>{127, 255, 255, 255}));
  EXPECT_EQ(ShadowLevels(shape, 4, 2, false, 0, 0), (std::vector<uint8_t>{127, 127, 255, 255, 255, 255, 255, 255}));
  // Soft, blur 3 x 1 over 4 x 1: the silhouette squeezed into the middle two places, then smoothed.
  PixelImage dark;
  ASSERT_TRUE(dark.Resize(1, 1, 0));
  std::vector<uint8_t> soft = ShadowLevels(dark, 4, 1, true, 3, 1);
  EXPECT_EQ(soft, (std::vector<uint8_t>{170, 85, 85, 170}));
  // An area no larger than its blur stays white: no shadow, nothing divided by a zero size.
  EXPECT_EQ(ShadowLevels(dark, 2, 2, true, 7, 7), std::vector<uint8_t>(4, 255));
  EXPECT_TRUE(ShadowLevels(dark, 0, 2, true, 7, 7).empty());
  EXPECT_TRUE(ShadowLevels(PixelImage{}, 2, 2, false, 0, 0).empty());
  PixelImage under;
  ASSERT_TRUE(under.Resize(3, 1, 0x00FFFFFF));
  DarkenUnder(&under, 1, 0, 2, 2, plain);
  EXPECT_EQ(under.pixels, (std::vector<uint32_t>{0x00FFFFFF, 0x007F7F7F, 0x00FFFFFF}));
  DarkenUnder(&under, 0, 0, 3, 3, plain);  // levels of another size: nothing
  EXPECT_EQ(under.at(0, 0), 0x00FFFFFFu);
}

TEST(PixelOps, TilesClipTheLastRowAndColumn) {
  std::vector<HtmlRect> tiles;
  ForEachTile(HtmlRect{1, 2, 11, 9}, 4, 3, [&](const HtmlRect &r) { tiles.push_back(r); });
  ASSERT_EQ(tiles.size(), 9u);
  EXPECT_EQ(tiles[0].right, 5);
  EXPECT_EQ(tiles[2].left, 9);
  EXPECT_EQ(tiles[2].right, 11);
  EXPECT_EQ(tiles[8].top, 8);
  EXPECT_EQ(tiles[8].bottom, 9);
  tiles.clear();
  ForEachTile(HtmlRect{0, 0, 10, 10}, 0, 3, [&](const HtmlRect &r) { tiles.push_back(r); });
  ForEachTile(HtmlRect{0, 0, 10, 10}, 3, -1, [&](const HtmlRect &r) { tiles.push_back(r); });
  ForEachTile(HtmlRect{0, 0, 0, 10}, 3, 3, [&](const HtmlRect &r) { tiles.push_back(r); });
  EXPECT_TRUE(tiles.empty());
}

TEST(PixelOps, StripFrames) {
  HtmlRect frame;
  ASSERT_TRUE(StripFrameRect(64, 16, 16, 16, 3, &frame));
  EXPECT_EQ(frame.left, 48);
  EXPECT_EQ(frame.right, 64);
  EXPECT_FALSE(StripFrameRect(64, 16, 16, 16, 4, &frame));  // index = frames per row x rows
  ASSERT_TRUE(StripFrameRect(32, 32, 16, 16, 2, &frame));
  EXPECT_EQ(frame.left, 0);
  EXPECT_EQ(frame.top, 16);
  EXPECT_FALSE(StripFrameRect(64, 16, 0, 16, 0, &frame));
  EXPECT_FALSE(StripFrameRect(8, 16, 16, 16, 0, &frame));
  EXPECT_FALSE(StripFrameRect(64, 16, 16, 16, -1, &frame));
}

TEST(PixelOps, FrameBandsAndStraightLines) {
  auto bands = FrameBands(HtmlRect{0, 0, 10, 8}, 1, kHtmlLineSolid);
  ASSERT_EQ(bands.size(), 4u);
  EXPECT_FALSE(bands[0].dark);
  EXPECT_TRUE(bands[2].dark);
  EXPECT_EQ(bands[2].rect.left, 9);
  EXPECT_EQ(bands[3].rect.top, 7);
  EXPECT_TRUE(FrameBands(HtmlRect{0, 0, 10, 8}, 0, kHtmlLineSolid).empty());
  EXPECT_TRUE(FrameBands(HtmlRect{0, 0, 10, 8}, -2, kHtmlLineSolid).empty());
  EXPECT_EQ(FrameBands(HtmlRect{0, 0, 20, 20}, 2, kHtmlLineDouble).size(), 8u);
  EXPECT_EQ(FrameBands(HtmlRect{0, 0, 6, 6}, 2, kHtmlLineDouble).size(), 4u);  // no room inside
  // A band wider than the rectangle stays inside it.
  for (const FrameBand &b : FrameBands(HtmlRect{0, 0, 3, 3}, 50, kHtmlLineSolid)) EXPECT_EQ(b.rect.right, 3);

  auto line = StraightLineBands(2, 5, 9, 5, 3, kHtmlLineSolid);
  ASSERT_EQ(line.size(), 1u);
  EXPECT_EQ(line[0].left, 2);
  EXPECT_EQ(line[0].right, 9);
  EXPECT_EQ(line[0].top, 4);
  EXPECT_EQ(line[0].bottom, 7);
  line = StraightLineBands(9, 5, 2, 5, 1, kHtmlLineDouble);
  ASSERT_EQ(line.size(), 2u);
  EXPECT_EQ(line[0].left, 3);
  EXPECT_EQ(line[0].right, 10);
  EXPECT_EQ(line[1].top, 7);
  line = StraightLineBands(4, 1, 4, 6, 2, kHtmlLineDouble);
  ASSERT_EQ(line.size(), 2u);
  EXPECT_EQ(line[0].left, 3);
  EXPECT_EQ(line[1].left, 7);
  EXPECT_TRUE(StraightLineBands(0, 0, 5, 5, 1, kHtmlLineSolid).empty());
  EXPECT_TRUE(StraightLineBands(0, 0, 5, 0, 0, kHtmlLineSolid).empty());
  EXPECT_TRUE(StraightLineBands(3, 3, 3, 3, 1, kHtmlLineSolid).empty());
}

}  // namespace
