// The draw manager drawing into 32-bit DIB sections, pixel for pixel against the formulas.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "htmltip/pixel_ops.h"
#include "htmltip/win32/ce_xdib.h"
#include "htmltip/win32/draw_manager.h"
#include "htmltip/win32/gdi_objects.h"

namespace {

using namespace v7::htmltip;
using namespace v7::htmltip::win32;

constexpr uint32_t kGround = 0x00405060;  // what a surface holds before a test draws

// A DIB section and its expected twin.
struct Surface {
  Dib32 dib;
  PixelImage want;
  Surface(int width, int height) {
    HDC screen = ::GetDC(nullptr);
    EXPECT_TRUE(dib.Create(screen, width, height));
    ::ReleaseDC(nullptr, screen);
    want.Resize(width, height, kGround);
    dib.WritePixels(want);
  }
  HDC dc() const { return dib.dc(); }
  PixelImage got() {
    PixelImage image;
    dib.ReadPixels(&image);
    return image;
  }
};

// Colour bytes only: GDI leaves the alpha byte of a drawn pixel as it pleases.
::testing::AssertionResult SamePixels(const PixelImage &got, const PixelImage &want) {
  if (got.width != want.width || got.height != want.height) return ::testing::AssertionFailure() << "sizes differ";
  int wrong = 0;
  ::testing::AssertionResult result = ::testing::AssertionFailure();
  for (int y = 0; y < got.height; ++y)
    for (int x = 0; x < got.width; ++x)
      if ((got.at(x, y) & 0xFFFFFF) != (want.at(x, y) & 0xFFFFFF) && wrong++ < 5)
        result << "(" << x << "," << y << ") got " << std::hex << got.at(x, y) << " want " << want.at(x, y) << std::dec
               << "; ";
  if (wrong == 0) return ::testing::AssertionSuccess();
  return result << wrong << " pixels differ";
}

TEST(CCeXDib, HeaderRowsAndPalette) {
  CCeXDib dib;
  uint8_t *buffer = dib.Create(5, 2);
  ASSERT_NE(buffer, nullptr);
  BITMAPINFOHEADER header;
  std::memcpy(&header, buffer, sizeof header);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 5);
  EXPECT_EQ(header.biHeight, 2);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 8);
  EXPECT_EQ(header.biCompression, DWORD(BI_RGB));
  EXPECT_EQ(header.biSizeImage, 16u);  // rows of 8 bytes
  EXPECT_EQ(dib.rowBytes(), 8u);
  dib.palette()[3] = 0x00102030;
  dib.palette()[4] = 0x00FFFFFF;
  dib.BlendPalette(HtmlRgb(0, 0, 0), 250);  // capped at 100: all black
  EXPECT_EQ(dib.palette()[4], 0u);
  dib.palette()[3] = 0x00102030;
  dib.palette()[4] = 0x00FFFFFF;
  dib.row(0)[0] = 3;  // the bottom row
  dib.row(1)[4] = 4;
  Surface s(7, 4);
  dib.Draw(s.dc(), 1, 1);
  dib.BlendPalette(HtmlRgb(0, 0, 255), 50);  // a later blend shows in the next draw
  dib.Draw(s.dc(), 1, 1);
  s.want.FillRect(HtmlRect{1, 1, 6, 3}, BlendPercent(0x000000FF, 0, 50));
  s.want.at(1, 2) = BlendPercent(0x000000FF, 0x00102030, 50);
  s.want.at(5, 1) = BlendPercent(0x000000FF, 0x00FFFFFF, 50);
  EXPECT_TRUE(SamePixels(s.got(), s.want));
  EXPECT_EQ(dib.Create(0, 5), nullptr);
  EXPECT_EQ(dib.Create(5, -1), nullptr);
  EXPECT_EQ(dib.Create(9000, 9000), nullptr);
  EXPECT_EQ(dib.palette(), nullptr);
  dib.Draw(s.dc(), 0, 0);  // nothing held: nothing drawn
  dib.Free();
}

TEST(DrawManager, TheDefaultNoiseIsTheRuntimeGenerator) {
  // A fill drawn with the default source repeats one drawn with a seeded generator.
  std::srand(77);
  HtmlLcgRandom twin(77);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(std::rand(), twin());
  Surface a(16, 8), b(16, 8);
  std::srand(3);
  CPPDrawManager2 runtime;
  runtime.FillEffect(a.dc(), HtmlRect{0, 0, 16, 8}, kFillMetal, 0xFFFFFF, 0x808080, 0x202020, 5, 0);
  CPPDrawManager2 seeded{HtmlRandom(HtmlLcgRandom(3))};
  seeded.FillEffect(b.dc(), HtmlRect{0, 0, 16, 8}, kFillMetal, 0xFFFFFF, 0x808080, 0x202020, 5, 0);
  EXPECT_TRUE(SamePixels(a.got(), b.got()));
}

TEST(DrawManager, GradientFillsMatchTheirBands) {
  const HtmlColor color = HtmlRgb(250, 10, 40), mid = HtmlRgb(20, 200, 90), end = HtmlRgb(0, 30, 255);
  const HtmlRect rects[] = {{3, 2, 34, 21}, {0, 0, 37, 10}, {5, 5, 6, 23}, {1, 1, 200, 3}};
  for (int effect = kFillHGradient; effect <= kFill3VGradient; ++effect) {
    for (const HtmlRect &rect : rects) {
      Surface s(37, 23);
      CPPDrawManager2 manager;
      manager.FillEffect(s.dc(), rect, effect, color, mid, end, 5, 0);
      for (const GradientPart &part : EffectGradientParts(effect, rect, color, mid, end)) FillGradientPixels(&s.want, part);
      EXPECT_TRUE(SamePixels(s.got(), s.want)) << "effect " << effect << " rect " << rect.left << "," << rect.top;
    }
  }
  // The ten-pixel vertical gradient: only the bands at least one pixel high are drawn.
  Surface s(1, 10);
  CPPDrawManager2 manager;
  manager.FillGradient(s.dc(), HtmlRect{0, 0, 1, 10}, 0x000000, HtmlRgb(64, 128, 255), false);
  EXPECT_EQ(s.got().at(0, 0) & 0xFFFFFF, HtmlPixelFromColor(GradientBandColor(6, 0, HtmlRgb(64, 128, 255))));
  EXPECT_EQ(s.got().at(0, 9) & 0xFFFFFF, 0x003F7EFBu);
}

TEST(DrawManager, PatternFillsMatchTheirFormulas) {
  const HtmlColor color = HtmlRgb(230, 230, 255), mid = HtmlRgb(120, 140, 200), end = HtmlRgb(10, 20, 60);
  struct Case {
    HtmlRect rect;
    int granularity, blend;
  } cases[] = {{{2, 3, 35, 20}, 5, 0}, {{0, 0, 40, 24}, 5, 30}, {{4, 4, 5, 5}, 5, 0},
               {{1, 2, 6, 3}, 0, 0},   {{0, 0, 3, 24}, 9, 100}, {{10, 1, 39, 2}, 5, 50}};
  for (int effect = kFillNoise; effect <= kFillMetal; ++effect) {
    for (const Case &c : cases) {
      Surface s(40, 24);
      CPPDrawManager2 manager{HtmlRandom(HtmlLcgRandom(99))};
      manager.FillEffect(s.dc(), c.rect, effect, color, mid, end, c.granularity, c.blend);
      const HtmlPalette palette = EffectPalette(color, mid, end, c.blend);
      const std::vector<uint8_t> indices =
          EffectPatternIndices(effect, c.rect.width(), c.rect.height(), c.granularity, HtmlRandom(HtmlLcgRandom(99)));
      ASSERT_EQ(indices.size(), size_t(c.rect.width() * c.rect.height()));
      for (int r = 0; r < c.rect.height(); ++r)
        for (int col = 0; col < c.rect.width(); ++col)
          s.want.at(c.rect.left + col, c.rect.bottom - 1 - r) = palette[indices[size_t(r * c.rect.width() + col)]];
      EXPECT_TRUE(SamePixels(s.got(), s.want)) << "effect " << effect << " rect " << c.rect.width() << "x"
                                               << c.rect.height();
    }
  }
}

TEST(DrawManager, FillsOfNothingOrTooMuch) {
  for (int effect : {0, 1, 5, 7, 14, 15, 99, -4}) {
    Surface s(8, 8);
    CPPDrawManager2 manager;
    manager.FillEffect(s.dc(), HtmlRect{3, 3, 3, 8}, effect, 0xFF, 0xFF00, 0xFF0000, 0, 0);
    manager.FillEffect(s.dc(), HtmlRect{6, 6, 2, 2}, effect, 0xFF, 0xFF00, 0xFF0000, 0, 0);
    EXPECT_TRUE(SamePixels(s.got(), s.want)) << effect;
    // Too large for a pattern bitmap: solid, clipped to the surface.
    manager.FillEffect(s.dc(), HtmlRect{-20000, 2, 20000, 4}, effect, HtmlRgb(1, 2, 3), 0xFF00, 0xFF0000, 5, 0);
    PixelImage got = s.got();
    if (effect >= 1 && effect <= 6) continue;  // a gradient draws its bands
    s.want.FillRect(HtmlRect{0, 2, 8, 4}, 0x00010203);
    EXPECT_TRUE(SamePixels(got, s.want)) << effect;
  }
}

TEST(DrawManager, SolidAndDoubleFramesAreBands) {
  struct Case {
    HtmlRect rect;
    int width, style;
    HtmlColor light, dark;
  } cases[] = {{{2, 2, 20, 14}, 1, kHtmlLineSolid, 0x0000FF, 0xFF0000}, {{2, 2, 20, 14}, 3, kHtmlLineSolid, 0x00FF00, 0x00FF00},
               {{0, 0, 24, 16}, 2, kHtmlLineDouble, 0x123456, 0x654321}, {{5, 5, 7, 7}, 4, 0, 0xFFFFFF, 0}};
  for (const Case &c : cases) {
    Surface s(24, 16);
    CPPDrawManager2 manager;
    manager.DrawFrame(s.dc(), c.rect, c.light, c.dark, c.style, c.width);
    for (const FrameBand &band : FrameBands(c.rect, c.width, c.style))
      s.want.FillRect(band.rect, HtmlPixelFromColor(band.dark ? c.dark : c.light));
    EXPECT_TRUE(SamePixels(s.got(), s.want)) << c.width << " " << c.style;
  }
  Surface s(24, 16);
  CPPDrawManager2 manager;
  manager.DrawFrame(s.dc(), HtmlRect{2, 2, 20, 14}, 0xFF, 0xFF, kHtmlLineSolid, 0);
  manager.DrawFrame(s.dc(), HtmlRect{2, 2, 20, 14}, 0xFF, 0xFF, kHtmlLineDash, -1);
  EXPECT_TRUE(SamePixels(s.got(), s.want));
}

TEST(DrawManager, DashedFramesStayOnTheirEdges) {
  for (int style : {kHtmlLineDash, kHtmlLineDot, kHtmlLineDashDot, kHtmlLineDashDotDot}) {
    Surface s(40, 30);
    CPPDrawManager2 manager;
    manager.DrawFrame(s.dc(), HtmlRect{3, 4, 37, 26}, 0x0000FF, 0xFF0000, style, 1);
    const PixelImage got = s.got();
    int light = 0, dark = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const uint32_t p = got.at(x, y) & 0xFFFFFF;
        if (p == kGround) continue;
        const bool onEdge = ((x == 3 || x == 36) && y >= 4 && y <= 25) || ((y == 4 || y == 25) && x >= 3 && x <= 36);
        EXPECT_TRUE(onEdge) << x << "," << y;
        light += p == 0xFF0000 && (x == 3 || y == 4);
        dark += p == 0x0000FF && (x == 36 || y == 25);
      }
    EXPECT_GT(light, 10) << style;
    EXPECT_GT(dark, 10) << style;
  }
}

TEST(DrawManager, StraightLinesAreBands) {
  struct Case {
    int x1, y1, x2, y2, width, style;
  } cases[] = {{2, 5, 20, 5, 1, kHtmlLineSolid}, {20, 5, 2, 5, 3, kHtmlLineSolid}, {4, 1, 4, 14, 2, kHtmlLineDouble},
               {1, 3, 22, 3, 1, kHtmlLineDouble}, {5, 5, 5, 5, 3, kHtmlLineSolid}};
  for (const Case &c : cases) {
    Surface s(24, 16);
    CPPDrawManager2 manager;
    manager.DrawLine(s.dc(), c.x1, c.y1, c.x2, c.y2, 0x00AA00, c.style, c.width);
    for (const HtmlRect &band : StraightLineBands(c.x1, c.y1, c.x2, c.y2, c.width, c.style))
      s.want.FillRect(band, 0x0000AA00);
    EXPECT_TRUE(SamePixels(s.got(), s.want)) << c.x1 << "," << c.y1 << " " << c.width;
  }
}

TEST(DrawManager, AlphaBlendByPercent) {
  for (int percent : {100, 0, 50, 33, 150, -10}) {
    Surface top(6, 4), bottom(6, 4);
    PixelImage source;
    source.Resize(6, 4, 0x00FF8000);
    top.dib.WritePixels(source);
    CPPDrawManager2 manager;
    manager.AlphaBlend(top.dc(), bottom.dc(), 1, 1, 4, 2, percent);
    for (int y = 1; y < 3; ++y)
      for (int x = 1; x < 5; ++x) bottom.want.at(x, y) = BlendPercent(0x00FF8000, kGround, percent);
    EXPECT_TRUE(SamePixels(bottom.got(), bottom.want)) << percent;
  }
}

PixelImage Checker() {
  PixelImage image;
  image.Resize(4, 3);
  const uint32_t values[12] = {0x00FF00FF, 0x00102030, 0x00FF0000, 0x00FF00FF, 0x000000FF, 0x00808080,
                               0x00FF00FF, 0x00FFFFFF, 0x0000FF00, 0x00000000, 0x00FF00FF, 0x00C0A080};
  for (int i = 0; i < 12; ++i) image.pixels[size_t(i)] = values[i];
  return image;
}

TEST(DrawManager, MaskedBitmapsWithEffects) {
  const PixelImage source = Checker();
  GdiObject<HBITMAP> bitmap(BitmapFromPixels(source));
  ASSERT_TRUE(bitmap);
  for (int effects : {0, int(kEffectGrey), kEffectDarker | kEffectInvert, int(kEffectSolid)}) {
    for (SIZE size : {SIZE{4, 3}, SIZE{8, 6}, SIZE{3, 5}}) {
      Surface s(16, 12);
      CPPDrawManager2 manager;
      CPPDrawManager2::ImageLook look;
      look.useMask = true;
      look.effects = effects;
      look.effectColor = HtmlRgb(0, 0, 255);
      manager.DrawBitmap(s.dc(), 5, 4, size.cx, size.cy, bitmap.get(), look);
      PixelImage scaled;
      ASSERT_TRUE(ScaleNearest(source, size.cx, size.cy, &scaled));
      for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) {
          const uint32_t p = scaled.at(x, y);
          if (p != 0x00FF00FF) s.want.at(5 + x, 4 + y) = ApplyEffectPixel(p, effects, false, 0, look.effectColor);
        }
      EXPECT_TRUE(SamePixels(s.got(), s.want)) << effects << " " << size.cx << "x" << size.cy;
    }
  }
}

TEST(DrawManager, AnImageWithAlphaDoesNotHideTheNextOne) {
  PixelImage translucent;
  translucent.Resize(2, 2, 0x80FFFFFF);
  PixelImage opaque;
  opaque.Resize(2, 2, 0x00112233);
  GdiObject<HBITMAP> first(BitmapFromPixels(translucent)), second(BitmapFromPixels(opaque));
  Surface s(6, 2);
  CPPDrawManager2 manager;
  manager.DrawBitmap(s.dc(), 0, 0, 2, 2, first.get(), CPPDrawManager2::ImageLook{});
  EXPECT_TRUE(manager.hasAlpha());
  manager.DrawBitmap(s.dc(), 3, 0, 2, 2, second.get(), CPPDrawManager2::ImageLook{});
  EXPECT_FALSE(manager.hasAlpha());
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) s.want.at(x, y) = BlendSourceAlpha(0x80FFFFFF, kGround);
    for (int x = 3; x < 5; ++x) s.want.at(x, y) = 0x00112233;
  }
  EXPECT_TRUE(SamePixels(s.got(), s.want));
}

TEST(DrawManager, ImageStripFrames) {
  PixelImage strip;
  strip.Resize(64, 16);
  const uint32_t colours[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFF00};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) strip.at(x, y) = colours[x / 16];
  GdiObject<HBITMAP> bitmap(BitmapFromPixels(strip));
  Surface s(20, 20);
  CPPDrawManager2 manager;
  manager.DrawImageStrip(s.dc(), 2, 2, 16, 16, bitmap.get(), 2, 16, 16, CPPDrawManager2::ImageLook{});
  s.want.FillRect(HtmlRect{2, 2, 18, 18}, colours[2]);
  EXPECT_TRUE(SamePixels(s.got(), s.want));
  manager.DrawImageStrip(s.dc(), 0, 0, 16, 16, bitmap.get(), 4, 16, 16, CPPDrawManager2::ImageLook{});
  manager.DrawImageStrip(s.dc(), 0, 0, 16, 16, bitmap.get(), 0, 0, 16, CPPDrawManager2::ImageLook{});
  EXPECT_TRUE(SamePixels(s.got(), s.want));
}

TEST(DrawManager, ShadowsDarkenUnderTheSilhouette) {
  PixelImage shape;
  shape.Resize(6, 4, 0x00FFFFFF);
  shape.FillRect(HtmlRect{1, 1, 5, 3}, 0x007F7F7F);
  GdiObject<HBITMAP> silhouette(BitmapFromPixels(shape));
  for (bool soft : {false, true}) {
    Surface s(10, 8);
    CPPDrawManager2 manager;
    manager.DrawShadow(s.dc(), 2, 2, 6, 4, silhouette.get(), soft, 3, 3);
    DarkenUnder(&s.want, 2, 2, 6, 4, ShadowLevels(shape, 6, 4, soft, 3, 3));
    EXPECT_TRUE(SamePixels(s.got(), s.want)) << soft;
  }
  // A plain shadow halves what is under the grey part.
  Surface s(10, 8);
  CPPDrawManager2 manager;
  manager.DrawShadow(s.dc(), 2, 2, 6, 4, silhouette.get(), false, 0, 0);
  EXPECT_EQ(s.got().at(3, 3) & 0xFFFFFF, DarkenPixel(kGround, 127));
  EXPECT_EQ(s.got().at(2, 2) & 0xFFFFFF, kGround);
}

TEST(DrawManager, ShadowedBitmapDrawsShadowThenImage) {
  PixelImage image;
  image.Resize(3, 3, 0x00FF00FF);
  image.FillRect(HtmlRect{1, 0, 2, 3}, 0x000000FF);
  GdiObject<HBITMAP> bitmap(BitmapFromPixels(image));
  Surface s(10, 10);
  CPPDrawManager2 manager;
  CPPDrawManager2::ImageLook look;
  look.useMask = true;
  look.effects = kEffectShadow;
  look.shadow = true;
  look.shadowDx = 2;
  look.shadowDy = 1;
  look.effectColor = HtmlRgb(127, 127, 127);
  manager.DrawBitmap(s.dc(), 1, 1, 3, 3, bitmap.get(), look);
  for (int y = 0; y < 3; ++y) s.want.at(1 + 1 + 2, 1 + y + 1) = DarkenPixel(kGround, 127);  // shadow of column 1
  for (int y = 0; y < 3; ++y) s.want.at(2, 1 + y) = 0x000000FF;
  EXPECT_TRUE(SamePixels(s.got(), s.want));
}

TEST(DrawManager, TilesRepeatAndClip) {
  PixelImage tile;
  tile.Resize(3, 2);
  for (int i = 0; i < 6; ++i) tile.pixels[size_t(i)] = 0x00100000u * uint32_t(i + 1);
  Surface source(3, 2), s(12, 8);
  source.dib.WritePixels(tile);
  CPPDrawManager2 manager;
  manager.Tile(s.dc(), HtmlRect{1, 1, 11, 6}, source.dc(), 0, 0, 3, 2);
  manager.Tile(s.dc(), HtmlRect{1, 1, 11, 6}, source.dc(), 0, 0, 0, 2);  // nothing
  for (int y = 1; y < 6; ++y)
    for (int x = 1; x < 11; ++x) s.want.at(x, y) = tile.at((x - 1) % 3, (y - 1) % 2);
  EXPECT_TRUE(SamePixels(s.got(), s.want));
}

TEST(DrawManager, EffectBitmapsAndSizes) {
  GdiObject<HBITMAP> bitmap(BitmapFromPixels(Checker()));
  CPPDrawManager2 manager;
  GdiObject<HBITMAP> silhouette(manager.ApplyEffect(bitmap.get(), 4, 3, kEffectInvert | kEffectSolid, true, 0xFF00FF, 0xFFFFFF));
  PixelImage got;
  ASSERT_TRUE(ReadBitmapPixels(silhouette.get(), &got));
  for (size_t i = 0; i < got.pixels.size(); ++i)
    EXPECT_EQ(got.pixels[i] & 0xFFFFFF, Checker().pixels[i] == 0x00FF00FF ? 0x00FFFFFFu : 0u) << i;
  SIZE size{};
  EXPECT_TRUE(CPPDrawManager2::GetBitmapSize(bitmap.get(), &size));
  EXPECT_EQ(size.cx, 4);
  EXPECT_EQ(size.cy, 3);
  EXPECT_FALSE(CPPDrawManager2::GetBitmapSize(nullptr, &size));
  EXPECT_EQ(manager.ApplyEffect(nullptr, 4, 3, 0, false, 0, 0), nullptr);
  EXPECT_EQ(manager.ApplyEffect(bitmap.get(), 100000, 3, 0, false, 0, 0), nullptr);
  // Nothing draws, nothing crashes, on null handles.
  CPPDrawManager2::ImageLook look;
  manager.DrawBitmap(nullptr, 0, 0, 4, 3, bitmap.get(), look);
  manager.DrawBitmap(Surface(4, 4).dc(), 0, 0, 4, 3, nullptr, look);
  manager.DrawIcon(nullptr, 0, 0, 4, 3, nullptr, look);
  manager.FillEffect(nullptr, HtmlRect{0, 0, 4, 4}, 7, 0, 0, 0, 5, 0);
}

TEST(DrawManager, IconsKeepTheirMaskAndStretch) {
  HICON icon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32516));  // IDI_INFORMATION, a shared icon
  ASSERT_NE(icon, nullptr);
  SIZE size{};
  ASSERT_TRUE(CPPDrawManager2::GetIconSize(icon, &size));
  EXPECT_EQ(size.cx, ::GetSystemMetrics(SM_CXICON));
  CPPDrawManager2 manager;
  HICON stretched = manager.StretchIcon(icon, 16, 16);
  ASSERT_NE(stretched, nullptr);
  EXPECT_TRUE(CPPDrawManager2::GetIconSize(stretched, &size));
  EXPECT_EQ(size.cx, 16);
  EXPECT_EQ(size.cy, 16);
  ::DestroyIcon(stretched);
  // The corner of the information icon is transparent; its centre is not.
  Surface s(40, 40);
  manager.DrawIcon(s.dc(), 4, 4, 32, 32, icon, CPPDrawManager2::ImageLook{});
  EXPECT_EQ(s.got().at(4, 4) & 0xFFFFFF, kGround);
  EXPECT_NE(s.got().at(20, 20) & 0xFFFFFF, kGround);
  CPPDrawManager2::ImageLook solid;
  solid.effects = kEffectSolid;
  solid.effectColor = HtmlRgb(0, 255, 0);
  manager.DrawIcon(s.dc(), 4, 4, 32, 32, icon, solid);
  EXPECT_EQ(s.got().at(4, 4) & 0xFFFFFF, kGround);
  EXPECT_EQ(s.got().at(20, 20) & 0xFFFFFF, 0x0000FF00u);
}

// An icon made from known pixels: a 32-bit colour image (null for a monochrome icon, whose mask
// then holds the AND half above the XOR half) and a 1-bit mask, rows of up to 16 pixels.
HICON IconFrom(const PixelImage *color, int width, int maskHeight, const uint16_t *maskRows) {
  std::vector<uint8_t> bits;
  for (int y = 0; y < maskHeight; ++y) {
    bits.push_back(uint8_t(maskRows[y] >> 8));
    bits.push_back(uint8_t(maskRows[y]));
  }
  GdiObject<HBITMAP> mask(::CreateBitmap(width, maskHeight, 1, 1, bits.data()));
  GdiObject<HBITMAP> image(color != nullptr ? BitmapFromPixels(*color) : nullptr);
  ICONINFO info{TRUE, 0, 0, mask.get(), image.get()};
  return ::CreateIconIndirect(&info);
}

TEST(DrawManager, IconPixelsAreReadOnceAndDrawAsTheIcon) {
  PixelImage color;
  ASSERT_TRUE(color.Resize(5, 3));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) color.at(x, y) = 0x00102030u + uint32_t(x) * 0x00200000u + uint32_t(y) * 0x00000040u;
  const uint16_t maskRows[] = {0x8800, 0x0000, 0xF800, 0x5000, 0x0000, 0x2000};  // 1: transparent
  HICON colored = IconFrom(&color, 5, 3, maskRows);
  HICON mono = IconFrom(nullptr, 5, 6, maskRows);
  ASSERT_NE(colored, nullptr);
  ASSERT_NE(mono, nullptr);
  struct {
    HICON icon;
    bool monochrome;
  } cases[] = {{colored, false}, {mono, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.monochrome ? "monochrome" : "colour");
    IconPixels pixels;
    ASSERT_TRUE(ReadIconPixels(c.icon, &pixels));
    SIZE size{};
    ASSERT_TRUE(CPPDrawManager2::GetIconSize(c.icon, &size));
    EXPECT_EQ(pixels.size.cx, size.cx);
    EXPECT_EQ(pixels.size.cy, size.cy);
    ASSERT_EQ(pixels.mask.width, 5);
    ASSERT_EQ(pixels.mask.height, 3);
    ASSERT_EQ(pixels.color.height, 3);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        const bool transparent = (maskRows[y] >> (15 - x)) & 1;
        EXPECT_EQ(pixels.mask.at(x, y), transparent ? 0x00FFFFFFu : 0u) << x << "," << y;
        const uint32_t want = c.monochrome ? (((maskRows[3 + y] >> (15 - x)) & 1) ? 0x00FFFFFFu : 0u) : color.at(x, y);
        EXPECT_EQ(pixels.color.at(x, y) & 0x00FFFFFF, want) << x << "," << y;
      }
    }
    // Drawn from the pixels, the icon is what drawing it from its handle gives, at its own size
    // and stretched, plain and with effects.
    CPPDrawManager2 manager;
    CPPDrawManager2::ImageLook plain, solid, grey;
    plain.alpha = false;
    solid.effects = kEffectSolid;
    solid.effectColor = HtmlRgb(0, 200, 0);
    grey.effects = kEffectGrey | kEffectShadow;
    grey.shadow = true;
    grey.shadowDx = 2;
    grey.shadowDy = 1;
    for (const CPPDrawManager2::ImageLook *look : {&plain, &solid, &grey}) {
      for (int side : {5, 11}) {
        Surface handle(20, 20), read(20, 20);
        manager.DrawIcon(handle.dc(), 3, 4, side, side - 2, c.icon, *look);
        manager.DrawIconPixels(read.dc(), 3, 4, side, side - 2, pixels, *look);
        EXPECT_TRUE(SamePixels(read.got(), handle.got())) << side;
      }
    }
  }
  IconPixels none;
  EXPECT_FALSE(ReadIconPixels(nullptr, &none));
  EXPECT_EQ(none.size.cx, 0);
  ::DestroyIcon(colored);
  ::DestroyIcon(mono);
}

// Icons whose transparency lives only in their colour image's alpha bytes (their AND mask hides
// nothing) show what is under them where alpha is 0; an icon with a real AND mask keeps to it, alpha
// or not. The first generation has no partial transparency: any nonzero alpha draws the pixel.
TEST(DrawManager, IconsWithTransparencyOnlyInTheirAlpha) {
  constexpr uint32_t kOpaque = 0xFF2080C0u, kHalf = 0x80306090u;
  PixelImage color;
  ASSERT_TRUE(color.Resize(4, 3, kOpaque));
  color.at(0, 0) = 0x00000000u;  // transparent, colour already black
  color.at(3, 0) = 0x00FFFFFFu;  // transparent with a colour that would show through a plain OR
  color.at(0, 2) = 0x00102030u;
  color.at(2, 1) = kHalf;
  color.at(1, 1) = 0xFF000000u;  // opaque black: what an AND-masked icon has under its mask
  const uint16_t empty[] = {0, 0, 0};
  const uint16_t rows[] = {0x8000, 0x4000, 0x0000};  // 1: transparent, at (0, 0) and (1, 1)
  PixelImage opaqueColor = color;
  for (uint32_t &p : opaqueColor.pixels) p &= 0x00FFFFFF;
  struct {
    const char *name;
    const PixelImage *color;
    const uint16_t *mask;
    std::vector<std::pair<int, int>> transparent;
  } cases[] = {
      {"alpha only", &color, empty, {{0, 0}, {3, 0}, {0, 2}}},
      {"AND mask and alpha", &color, rows, {{0, 0}, {1, 1}}},
      {"AND mask, no alpha", &opaqueColor, rows, {{0, 0}, {1, 1}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    HICON icon = IconFrom(c.color, 4, 3, c.mask);
    ASSERT_NE(icon, nullptr);
    PixelImage want;
    ASSERT_TRUE(want.Resize(8, 8, kGround));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) want.at(2 + x, 1 + 3 + y) = c.color->at(x, y) & 0x00FFFFFF;
    for (const auto &[x, y] : c.transparent) want.at(2 + x, 1 + 3 + y) = kGround;
    CPPDrawManager first;
    Surface s(8, 8);
    first.DrawIcon(s.dc(), 2, 1, 4, 3, icon);  // three pixels low
    EXPECT_TRUE(SamePixels(s.got(), want));
    // The second generation's solid effect paints the icon's shape, read from the same mask.
    CPPDrawManager2 second;
    CPPDrawManager2::ImageLook solid;
    solid.effects = kEffectSolid;
    solid.effectColor = HtmlRgb(0, 200, 0);
    Surface t(8, 8);
    second.DrawIcon(t.dc(), 2, 4, 4, 3, icon, solid);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x)
        if (want.at(2 + x, 4 + y) != kGround) want.at(2 + x, 4 + y) = 0x0000C800u;
    EXPECT_TRUE(SamePixels(t.got(), want));
    ::DestroyIcon(icon);
  }
}

TEST(DrawManager, FirstGenerationToolkit) {
  GdiObject<HBITMAP> bitmap(BitmapFromPixels(Checker()));
  CPPDrawManager first;
  GdiObject<HBITMAP> copy(first.CopyToDib(bitmap.get(), 4, 3, true, 0xFF00FF));
  PixelImage got;
  ASSERT_TRUE(ReadBitmapPixels(copy.get(), &got));
  EXPECT_EQ(got.at(0, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(got.at(1, 0) & 0xFFFFFF, 0x00102030u);
  Surface s(8, 8);
  first.DrawBitmap(s.dc(), 0, 0, 4, 3, bitmap.get(), 0xFF00FF);
  EXPECT_EQ(s.got().at(0, 0) & 0xFFFFFF, kGround);
  EXPECT_EQ(s.got().at(1, 0) & 0xFFFFFF, 0x00102030u);
  first.DrawLine(s.dc(), 0, 7, 8, 7, 0xFF, 1);
  EXPECT_EQ(s.got().at(5, 7) & 0xFFFFFF, 0x00FF0000u);
  // A pixel with an alpha byte: blended by the second generation, drawn as it is by the first.
  PixelImage translucent;
  translucent.Resize(2, 1, 0x80FFFFFF);
  GdiObject<HBITMAP> alpha(BitmapFromPixels(translucent));
  Surface blended(2, 1), plain(2, 1);
  CPPDrawManager2().DrawBitmap(blended.dc(), 0, 0, 2, 1, alpha.get(), CPPDrawManager2::ImageLook{});
  first.DrawBitmap(plain.dc(), 0, 0, 2, 1, alpha.get(), 0xFF00FF);
  EXPECT_EQ(blended.got().at(0, 0) & 0xFFFFFF, BlendSourceAlpha(0x80FFFFFF, kGround) & 0xFFFFFF);
  EXPECT_EQ(plain.got().at(0, 0) & 0xFFFFFF, 0x00FFFFFFu);
}

}  // namespace
