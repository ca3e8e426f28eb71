#include "htmltip/win32/draw_manager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "htmltip/win32/gdi_objects.h"

namespace v7::htmltip::win32 {
namespace {

constexpr HtmlColor kWhite = 0xFFFFFF;
constexpr int kSilhouette = kEffectInvert | kEffectSolid;

// An area of a DC read into pixels and written back through one DIB section: a change of the
// pixels costs one section and one memory DC, not one for each way.
class AreaCopy {
 public:
  AreaCopy(HDC dc, const HtmlRect &area) : dc_(dc), area_(area) {}
  bool Read(PixelImage *image) {
    if (dc_ == nullptr || !copy_.Create(dc_, area_.width(), area_.height())) return false;
    if (!::BitBlt(copy_.dc(), 0, 0, area_.width(), area_.height(), dc_, area_.left, area_.top, SRCCOPY)) return false;
    copy_.ReadPixels(image);
    return image->width == area_.width();
  }
  // After a Read that succeeded, with an image of the same size.
  void Write(const PixelImage &image) {
    if (copy_.dc() == nullptr) return;
    copy_.WritePixels(image);
    ::BitBlt(dc_, area_.left, area_.top, image.width, image.height, copy_.dc(), 0, 0, SRCCOPY);
  }

 private:
  HDC dc_;
  HtmlRect area_;
  Dib32 copy_;
};

bool ReadArea(HDC dc, const HtmlRect &area, PixelImage *image) { return AreaCopy(dc, area).Read(image); }

// The image's pixels at width x height: resized when its own size differs.
bool Fit(PixelImage source, int width, int height, PixelImage *out) {
  if (source.width == width && source.height == height) {
    *out = std::move(source);
    return true;
  }
  return ScaleNearest(source, width, height, out);
}

// The top-left width x height of an image, zero beyond its edges.
bool Crop(const PixelImage &source, const HtmlRect &part, PixelImage *out) {
  if (!out->Resize(part.width(), part.height())) return false;
  for (int y = 0; y < out->height; ++y)
    for (int x = 0; x < out->width; ++x) {
      const int sx = part.left + x, sy = part.top + y;
      if (sx >= 0 && sy >= 0 && sx < source.width && sy < source.height) out->at(x, y) = source.at(sx, sy);
    }
  return true;
}

HtmlRect Union(const HtmlRect &a, const HtmlRect &b) {
  return HtmlRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                  std::max(a.bottom, b.bottom)};
}

void FillSolid(HDC dc, const HtmlRect &rect, HtmlColor color) {
  GdiObject<HBRUSH> brush(::CreateSolidBrush(color & kHtmlColorMask));
  if (!brush || IsEmptyRect(rect)) return;
  const RECT r = ToRect(rect);
  ::FillRect(dc, &r, brush.get());
}

int RuntimeRandom() { return std::rand(); }

}  // namespace

CPPDrawManager2::CPPDrawManager2(HtmlRandom random) : random_(random ? std::move(random) : HtmlRandom(RuntimeRandom)) {}

bool CPPDrawManager2::GetIconSize(HICON icon, SIZE *size) {
  ICONINFO info{};
  if (icon == nullptr || !::GetIconInfo(icon, &info)) return false;
  // The bitmaps' size, not twice the hot spot: the two agree only for a centred hot spot.
  SIZE mask{};
  const bool ok = GetBitmapSize(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, &mask);
  if (info.hbmColor == nullptr) mask.cy /= 2;  // a monochrome icon stacks its AND and XOR halves
  if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
  if (ok) *size = mask;
  return ok;
}

bool CPPDrawManager2::GetBitmapSize(HBITMAP bitmap, SIZE *size) {
  BITMAP info{};
  if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof info, &info) != int(sizeof info)) return false;
  size->cx = info.bmWidth;
  size->cy = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  return true;
}

void CPPDrawManager2::AlphaBlend(HDC source, HDC destination, int x, int y, int width, int height, int percent) {
  if (source == nullptr || destination == nullptr || percent <= 0 || width <= 0 || height <= 0) return;
  if (percent >= 100) {
    ::BitBlt(destination, x, y, width, height, source, x, y, SRCCOPY);
    return;
  }
  const HtmlRect area{x, y, x + width, y + height};
  PixelImage top, bottom;
  AreaCopy under(destination, area);
  if (!ReadArea(source, area, &top) || !under.Read(&bottom)) return;
  for (size_t i = 0; i < bottom.pixels.size(); ++i) bottom.pixels[i] = BlendPercent(top.pixels[i], bottom.pixels[i], percent);
  under.Write(bottom);
}

void CPPDrawManager2::AlphaBlendPixels(HDC source, HDC destination, int x, int y, int width, int height) {
  const HtmlRect area{x, y, x + width, y + height};
  PixelImage top, bottom;
  AreaCopy under(destination, area);
  if (!ReadArea(source, area, &top) || !under.Read(&bottom)) return;
  CombineSourceAlpha(&bottom, 0, 0, top);
  under.Write(bottom);
}

HBITMAP CPPDrawManager2::ApplyEffect(HBITMAP bitmap, int width, int height, int effects, bool useMask,
                                     HtmlColor maskColor, HtmlColor effectColor) {
  PixelImage source, image;
  if (!ReadBitmapPixels(bitmap, &source) || !Crop(source, HtmlRect{0, 0, width, height}, &image)) return nullptr;
  hasAlpha_ = ApplyEffectPixels(&image, effects, useMask, maskColor, effectColor);
  return BitmapFromPixels(image);
}

HICON CPPDrawManager2::StretchIcon(HICON icon, int width, int height) {
  SIZE size{};
  uint64_t bytes = 0;
  if (!GetIconSize(icon, &size) || !DibImageBytes(width, height, 32, &bytes)) return nullptr;
  ICONINFO info{};
  if (!::GetIconInfo(icon, &info)) return nullptr;
  GdiObject<HBITMAP> color(info.hbmColor), mask(info.hbmMask);
  HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return nullptr;
  GdiObject<HBITMAP> newColor(color ? ::CreateCompatibleBitmap(screen, width, height) : nullptr);
  GdiObject<HBITMAP> newMask(::CreateBitmap(width, height * (color ? 1 : 2), 1, 1, nullptr));
  MemoryDc from(screen), to(screen);
  ::ReleaseDC(nullptr, screen);
  if (!from || !to || !newMask || (color && !newColor)) return nullptr;
  const int sourceHeight = color ? size.cy : 2 * size.cy;
  {
    Selection a(from.get(), mask.get()), b(to.get(), newMask.get());
    if (!a.ok() || !b.ok()) return nullptr;
    ::SetStretchBltMode(to.get(), COLORONCOLOR);
    ::StretchBlt(to.get(), 0, 0, width, height * (color ? 1 : 2), from.get(), 0, 0, size.cx, sourceHeight, SRCCOPY);
  }
  if (color) {
    Selection a(from.get(), color.get()), b(to.get(), newColor.get());
    if (!a.ok() || !b.ok()) return nullptr;
    ::SetStretchBltMode(to.get(), COLORONCOLOR);
    ::StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, size.cx, size.cy, SRCCOPY);
  }
  ICONINFO made{TRUE, 0, 0, newMask.get(), newColor.get()};
  return ::CreateIconIndirect(&made);  // copies the bitmaps; ours are deleted here
}

void CPPDrawManager2::FillGradient(HDC dc, const HtmlRect &rect, HtmlColor start, HtmlColor end, bool horizontal) {
  if (dc == nullptr) return;
  ForEachGradientBand(GradientPart{rect, start, end, horizontal},
                      [dc](const HtmlRect &band, HtmlColor color) { FillSolid(dc, band, color); });
}

void CPPDrawManager2::FillEffect(HDC dc, const HtmlRect &rect, int effect, HtmlColor color, HtmlColor midColor,
                                 HtmlColor endColor, int granularity, int blendPercent) {
  if (dc == nullptr || IsEmptyRect(rect)) return;
  if (effect >= kFillHGradient && effect <= kFill3VGradient) {
    for (const GradientPart &part : EffectGradientParts(effect, rect, color, midColor, endColor))
      FillGradient(dc, part.rect, part.from, part.to, part.horizontal);
    return;
  }
  if (IsPatternEffect(effect)) {
    const std::vector<uint8_t> indices =
        EffectPatternIndices(effect, rect.width(), rect.height(), granularity, random_);
    if (!indices.empty() && dib_.Create(rect.width(), rect.height()) != nullptr) {
      const HtmlPalette palette = EffectPalette(color, midColor, endColor, 0);
      std::memcpy(dib_.palette(), palette.data(), sizeof palette);
      dib_.BlendPalette(color, blendPercent);
      for (int r = 0; r < rect.height(); ++r)
        std::memcpy(dib_.row(r), indices.data() + size_t(r) * size_t(rect.width()), size_t(rect.width()));
      dib_.Draw(dc, rect.left, rect.top);
      dib_.Free();
      return;
    }
    // A rectangle too large for a pattern bitmap is filled plainly rather than not at all.
  }
  FillSolid(dc, rect, color);
}

void CPPDrawManager2::Tile(HDC dc, const HtmlRect &area, HDC source, int sourceX, int sourceY, int tileWidth,
                           int tileHeight) {
  if (dc == nullptr || source == nullptr) return;
  ForEachTile(area, tileWidth, tileHeight, [&](const HtmlRect &r) {
    ::BitBlt(dc, r.left, r.top, r.width(), r.height(), source, sourceX, sourceY, SRCCOPY);
  });
}

void CPPDrawManager2::Compose(HDC dc, int x, int y, const PixelImage &image, const PixelImage &mask,
                              const PixelImage *silhouette, const ImageLook &look) {
  const HtmlRect place{x, y, x + image.width, y + image.height};
  HtmlRect imageAt = place, shadowAt = place;
  const int shadowKind = look.effects & (kEffectShadow | kEffectSoftShadow);
  if (look.shadow) {
    shadowAt = HtmlRect{x + look.shadowDx, y + look.shadowDy, place.right + look.shadowDx, place.bottom + look.shadowDy};
    if (shadowKind == 0) imageAt = shadowAt;
  }
  const HtmlRect area = look.shadow && shadowKind != 0 ? Union(place, shadowAt) : imageAt;
  PixelImage under;
  AreaCopy copy(dc, area);
  if (!copy.Read(&under)) return;
  if (look.shadow && shadowKind != 0 && silhouette != nullptr) {
    const std::vector<uint8_t> levels = ShadowLevels(*silhouette, image.width, image.height,
                                                     (shadowKind & kEffectSoftShadow) != 0, look.blurX, look.blurY);
    DarkenUnder(&under, shadowAt.left - area.left, shadowAt.top - area.top, image.width, image.height, levels);
  }
  if (hasAlpha_) {
    CombineSourceAlpha(&under, imageAt.left - area.left, imageAt.top - area.top, image);
  } else {
    CombineMaskPaint(&under, imageAt.left - area.left, imageAt.top - area.top, mask, image);
  }
  copy.Write(under);
}

void CPPDrawManager2::DrawPixels(HDC dc, int x, int y, int width, int height, PixelImage source, const ImageLook &look) {
  PixelImage fitted;
  if (dc == nullptr || !Fit(std::move(source), width, height, &fitted)) return;
  PixelImage mask = fitted, image = fitted, silhouette = fitted;
  ApplyEffectPixels(&mask, kSilhouette, look.useMask, look.maskColor, kWhite);
  hasAlpha_ = ApplyEffectPixels(&image, look.effects, look.useMask, look.maskColor, look.effectColor) && look.alpha;
  // An inverting effect would turn the transparent places white and paint them over the
  // destination: what the mask lets through stays the destination's, whatever the effect.
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    if ((mask.pixels[i] & 0x00FFFFFF) == 0x00FFFFFF) image.pixels[i] &= 0xFF000000;
  }
  ApplyEffectPixels(&silhouette, kSilhouette, look.useMask, look.maskColor, ~look.effectColor & kHtmlColorMask);
  Compose(dc, x, y, image, mask, &silhouette, look);
}

void CPPDrawManager2::DrawBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, const ImageLook &look) {
  // Each image decides for itself whether it is blended: one with alpha must not make every later
  // opaque image (alpha 0 everywhere) vanish.
  hasAlpha_ = false;
  PixelImage source;
  if (ReadBitmapPixels(bitmap, &source)) DrawPixels(dc, x, y, width, height, std::move(source), look);
}

void CPPDrawManager2::DrawImageStrip(HDC dc, int x, int y, int width, int height, HBITMAP strip, int frame,
                                     int frameWidth, int frameHeight, const ImageLook &look) {
  hasAlpha_ = false;
  PixelImage source, part;
  HtmlRect place;
  if (!ReadBitmapPixels(strip, &source) ||
      !StripFrameRect(source.width, source.height, frameWidth, frameHeight, frame, &place) ||
      !Crop(source, place, &part))
    return;
  DrawPixels(dc, x, y, width, height, std::move(part), look);
}

void CPPDrawManager2::DrawIcon(HDC dc, int x, int y, int width, int height, HICON icon, const ImageLook &look) {
  hasAlpha_ = false;
  IconPixels pixels;
  if (dc != nullptr && ReadIconPixels(icon, &pixels)) DrawIconPixels(dc, x, y, width, height, pixels, look);
}

void CPPDrawManager2::DrawIconPixels(HDC dc, int x, int y, int width, int height, const IconPixels &icon,
                                     const ImageLook &look) {
  hasAlpha_ = false;
  PixelImage fittedColor, fittedMask;
  if (dc == nullptr || !Fit(icon.color, width, height, &fittedColor) || !Fit(icon.mask, width, height, &fittedMask))
    return;
  PixelImage image, silhouette = fittedMask;
  if (look.effects & kEffectSolid) {
    // Solid: the icon's shape in the effect colour, read from its mask (white is transparent).
    image = fittedMask;
    hasAlpha_ = false;
    ApplyEffectPixels(&image, look.effects, true, kWhite, look.effectColor);
  } else {
    image = fittedColor;
    hasAlpha_ = ApplyEffectPixels(&image, look.effects, false, 0, look.effectColor) && look.alpha;
  }
  ApplyEffectPixels(&silhouette, kSilhouette, true, kWhite, ~look.effectColor & kHtmlColorMask);
  Compose(dc, x, y, image, fittedMask, &silhouette, look);
}

void CPPDrawManager2::DrawShadow(HDC dc, int x, int y, int width, int height, HBITMAP silhouette, bool soft, int blurX,
                                 int blurY) {
  PixelImage shape, under;
  const HtmlRect area{x, y, x + width, y + height};
  AreaCopy copy(dc, area);
  if (!ReadBitmapPixels(silhouette, &shape) || !copy.Read(&under)) return;
  const std::vector<uint8_t> levels = ShadowLevels(shape, width, height, soft, blurX, blurY);
  DarkenUnder(&under, 0, 0, width, height, levels);
  copy.Write(under);
}

void CPPDrawManager2::DrawFrame(HDC dc, const HtmlRect &rect, HtmlColor color, HtmlColor secondColor, int style,
                                int width) {
  if (dc == nullptr || width <= 0 || IsEmptyRect(rect)) return;
  if (style < kHtmlLineDash || style > kHtmlLineDashDotDot) {
    GdiObject<HBRUSH> first(::CreateSolidBrush(color & kHtmlColorMask));
    GdiObject<HBRUSH> second(color == secondColor ? nullptr : ::CreateSolidBrush(secondColor & kHtmlColorMask));
    if (!first || (color != secondColor && !second)) return;
    for (const FrameBand &band : FrameBands(rect, width, style)) {
      const RECT r = ToRect(band.rect);
      ::FillRect(dc, &r, band.dark && second ? second.get() : first.get());
    }
    return;
  }
  GdiObject<HPEN> first(CreateStylePen(style, width, color));
  GdiObject<HPEN> second(color == secondColor ? nullptr : CreateStylePen(style, width, secondColor));
  if (!first || (color != secondColor && !second)) return;
  const int inset = width / 2;
  const int left = rect.left + inset, top = rect.top + inset, right = rect.right - 1 - inset,
            bottom = rect.bottom - 1 - inset;
  Selection pen(dc, first.get());
  if (!pen.ok()) return;
  ::MoveToEx(dc, left, bottom, nullptr);
  ::LineTo(dc, left, top);
  ::LineTo(dc, right, top);
  if (second) ::SelectObject(dc, second.get());
  ::LineTo(dc, right, bottom);
  ::LineTo(dc, left, bottom);
  if (second) ::SelectObject(dc, first.get());  // the selection puts back what was there before
}

void CPPDrawManager2::DrawLine(HDC dc, int x1, int y1, int x2, int y2, HtmlColor color, int style, int width) {
  if (dc == nullptr || width <= 0) return;
  const bool straight = x1 == x2 || y1 == y2;
  if (straight && (style < kHtmlLineDash || style > kHtmlLineDashDotDot)) {
    for (const HtmlRect &band : StraightLineBands(x1, y1, x2, y2, width, style)) FillSolid(dc, band, color);
    return;
  }
  GdiObject<HPEN> pen(CreateStylePen(style, width, color));
  Selection selected(dc, pen.get());
  if (!selected.ok()) return;
  ::MoveToEx(dc, x1, y1, nullptr);
  ::LineTo(dc, x2, y2);
  if (style == kHtmlLineDouble) {
    const int dx = x1 == x2 ? 2 * width : 0, dy = x1 == x2 ? 0 : 2 * width;
    ::MoveToEx(dc, x1 + dx, y1 + dy, nullptr);
    ::LineTo(dc, x2 + dx, y2 + dy);
  }
}

HBITMAP CPPDrawManager::CopyToDib(HBITMAP bitmap, int width, int height, bool useMask, HtmlColor maskColor) {
  PixelImage source, image;
  if (!ReadBitmapPixels(bitmap, &source) || !Fit(std::move(source), width, height, &image)) return nullptr;
  if (useMask) {
    const uint32_t mask = HtmlPixelFromColor(maskColor);
    for (uint32_t &p : image.pixels)
      if ((p & 0x00FFFFFF) == mask) p &= 0xFF000000;
  }
  return BitmapFromPixels(image);
}

void CPPDrawManager::DrawBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, HtmlColor maskColor) {
  CPPDrawManager2::ImageLook look;
  look.useMask = true;
  look.maskColor = maskColor;
  look.alpha = false;
  second_.DrawBitmap(dc, x, y, width, height, bitmap, look);
}

void CPPDrawManager::DrawIcon(HDC dc, int x, int y, int width, int height, HICON icon) {
  CPPDrawManager2::ImageLook look;
  look.alpha = false;
  second_.DrawIcon(dc, x, y + 3, width, height, icon, look);
}

void CPPDrawManager::DrawLine(HDC dc, int x1, int y1, int x2, int y2, HtmlColor color, int width) {
  second_.DrawLine(dc, x1, y1, x2, y2, color, kHtmlLineSolid, width);
}

}  // namespace v7::htmltip::win32
