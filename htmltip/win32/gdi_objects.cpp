#include "htmltip/win32/gdi_objects.h"

#include <cstring>

namespace v7::htmltip::win32 {

bool Dib32::Create(HDC like, int width, int height) {
  uint64_t bytes = 0;
  if (bitmap_ || !DibImageBytes(width, height, 32, &bytes)) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down, as PixelImage
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  bitmap_.reset(::CreateDIBSection(like, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_ || bits == nullptr) {
    bitmap_.reset();
    return false;
  }
  dc_ = ::CreateCompatibleDC(like);
  old_ = dc_ != nullptr ? ::SelectObject(dc_, bitmap_.get()) : nullptr;
  if (old_ == nullptr || old_ == HGDI_ERROR) {
    old_ = nullptr;
    Deselect();
    bitmap_.reset();
    return false;
  }
  bits_ = static_cast<uint32_t *>(bits);
  width_ = width;
  height_ = height;
  return true;
}

void Dib32::Deselect() {
  if (dc_ != nullptr) {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
    ::DeleteDC(dc_);
    dc_ = nullptr;
    old_ = nullptr;
  }
}

HBITMAP Dib32::ReleaseBitmap() {
  ::GdiFlush();
  Deselect();
  bits_ = nullptr;
  return bitmap_.release();
}

Dib32::~Dib32() { Deselect(); }

void Dib32::ReadPixels(PixelImage *image) {
  ::GdiFlush();  // GDI may batch what it drew into the section
  if (bits_ == nullptr || !image->Resize(width_, height_)) return;
  std::memcpy(image->pixels.data(), bits_, image->pixels.size() * 4);
}

void Dib32::WritePixels(const PixelImage &image) {
  ::GdiFlush();
  if (bits_ == nullptr || image.width != width_ || image.height != height_) return;
  std::memcpy(bits_, image.pixels.data(), image.pixels.size() * 4);
}

namespace {

bool ReadBitmapThrough(HDC dc, HBITMAP bitmap, PixelImage *image) {
  BITMAP info{};
  if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof info, &info) != int(sizeof info)) return false;
  const int height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  if (!image->Resize(info.bmWidth, height)) return false;
  BITMAPINFO header{};
  header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header.bmiHeader.biWidth = info.bmWidth;
  header.bmiHeader.biHeight = -height;
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  const int rows = ::GetDIBits(dc, bitmap, 0, UINT(height), image->pixels.data(), &header, DIB_RGB_COLORS);
  if (rows != height) {
    image->Resize(0, 0);
    return false;
  }
  // A bitmap of fewer bits has no alpha: GetDIBits leaves the top byte as it found it.
  if (info.bmBitsPixel != 32) {
    for (uint32_t &p : image->pixels) p &= 0x00FFFFFF;
  }
  return true;
}

}  // namespace

bool ReadBitmapPixels(HBITMAP bitmap, PixelImage *image, HDC memory) {
  // A 32-bit DIB read needs a DC only for a palette it does not use: a memory DC serves, where the
  // screen's DC would cost a round trip to the display for every image.
  if (memory != nullptr) return ReadBitmapThrough(memory, bitmap, image);
  MemoryDc own(nullptr);
  return own && ReadBitmapThrough(own.get(), bitmap, image);
}

bool ReadIconPixels(HICON icon, IconPixels *pixels) {
  ICONINFO info{};
  if (icon == nullptr || !::GetIconInfo(icon, &info)) return false;
  GdiObject<HBITMAP> colorBitmap(info.hbmColor), maskBitmap(info.hbmMask);
  MemoryDc memory(nullptr);
  IconPixels read;
  if (!memory || !ReadBitmapPixels(maskBitmap.get(), &read.mask, memory.get())) return false;
  if (colorBitmap) {
    if (!ReadBitmapPixels(colorBitmap.get(), &read.color, memory.get())) return false;
  } else {
    // A monochrome icon: the AND mask above the XOR image.
    const PixelImage both = std::move(read.mask);
    const int half = both.height / 2;
    if (half == 0 || !read.mask.Resize(both.width, half) || !read.color.Resize(both.width, both.height - half))
      return false;
    std::memcpy(read.mask.pixels.data(), both.pixels.data(), read.mask.pixels.size() * 4);
    std::memcpy(read.color.pixels.data(), both.pixels.data() + read.mask.pixels.size(), read.color.pixels.size() * 4);
  }
  for (uint32_t &p : read.mask.pixels) p &= 0x00FFFFFF;
  if (colorBitmap) MaskFromAlpha(&read.color, &read.mask);
  read.size = colorBitmap ? HtmlSize{read.color.width, read.color.height} : HtmlSize{read.mask.width, read.mask.height};
  *pixels = std::move(read);
  return true;
}

HBITMAP BitmapFromPixels(const PixelImage &pixels) {
  // A DIB section of RGB colours needs no device to be like.
  Dib32 dib;
  if (!dib.Create(nullptr, pixels.width, pixels.height)) return nullptr;
  dib.WritePixels(pixels);
  return dib.ReleaseBitmap();
}

HPEN CreateStylePen(int style, int width, HtmlColor color) {
  if (width <= 0) return nullptr;
  int pen = PS_SOLID;
  switch (style) {
    case kHtmlLineDash: pen = PS_DASH; break;
    case kHtmlLineDot: pen = PS_DOT; break;
    case kHtmlLineDashDot: pen = PS_DASHDOT; break;
    case kHtmlLineDashDotDot: pen = PS_DASHDOTDOT; break;
    default: break;
  }
  return ::CreatePen(pen, width, color & kHtmlColorMask);
}

}  // namespace v7::htmltip::win32
