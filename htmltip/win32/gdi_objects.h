// Owners of the GDI objects the draw manager and the canvas make for one call, so that every exit
// path deletes them, and deletes them only after the object selected before is back in its DC.
#pragma once

#include <windows.h>

#include <cstdint>

#include "htmltip/pixel_ops.h"

namespace v7::htmltip::win32 {

template <typename Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle handle) : handle_(handle) {}
  GdiObject(const GdiObject &) = delete;
  GdiObject &operator=(const GdiObject &) = delete;
  ~GdiObject() { reset(); }
  void reset(Handle handle = nullptr) {
    if (handle_ != nullptr) ::DeleteObject(handle_);
    handle_ = handle;
  }
  Handle get() const { return handle_; }
  Handle release() {
    Handle h = handle_;
    handle_ = nullptr;
    return h;
  }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  Handle handle_ = nullptr;
};

class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(::CreateCompatibleDC(like)) {}
  MemoryDc(const MemoryDc &) = delete;
  MemoryDc &operator=(const MemoryDc &) = delete;
  ~MemoryDc() {
    if (dc_ != nullptr) ::DeleteDC(dc_);
  }
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HDC dc_;
};

// Selects an object into a DC for the life of this value.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
  Selection(const Selection &) = delete;
  Selection &operator=(const Selection &) = delete;
  ~Selection() {
    if (ok()) ::SelectObject(dc_, old_);
  }
  bool ok() const { return old_ != nullptr && old_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A top-down 32-bit DIB section selected into its own memory DC: the bridge between a device context
// and the pixel arithmetic.
class Dib32 {
 public:
  // False, with nothing held, when the size is out of bounds or GDI refuses.
  bool Create(HDC like, int width, int height);
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_.get(); }
  // Hands the section over (deselected); the caller deletes it.
  HBITMAP ReleaseBitmap();
  int width() const { return width_; }
  int height() const { return height_; }
  // The pixels after GDI has drawn into the section, and back.
  void ReadPixels(PixelImage *image);
  void WritePixels(const PixelImage &image);
  Dib32() = default;
  Dib32(const Dib32 &) = delete;
  Dib32 &operator=(const Dib32 &) = delete;
  ~Dib32();

 private:
  void Deselect();
  HDC dc_ = nullptr;
  GdiObject<HBITMAP> bitmap_;
  HGDIOBJ old_ = nullptr;
  uint32_t *bits_ = nullptr;
  int width_ = 0, height_ = 0;
};

// The pixels of a bitmap at its own size as a 32-bit top-down image, alpha bytes included when the
// bitmap has them; false for a null, unreadable or oversized bitmap. `memory`, when given, is a
// memory DC to read through (several reads share one); none of them touches the screen's DC.
bool ReadBitmapPixels(HBITMAP bitmap, PixelImage *image, HDC memory = nullptr);

// An icon's colour image and its AND mask (alpha cleared), both at the icon's own size: read once
// and drawn, measured or scaled as often as needed without asking GDI for the icon again.
// An icon whose AND mask hides nothing and whose colour image has alpha gets its mask from the
// alpha bytes (MaskFromAlpha), so every draw that goes by the mask sees its transparent places.
struct IconPixels {
  PixelImage color;
  PixelImage mask;
  HtmlSize size;  // as CPPDrawManager2::GetIconSize gives it: the colour image's, or the mask's
};
// False, with `pixels` unchanged, for a null or unreadable icon.
bool ReadIconPixels(HICON icon, IconPixels *pixels);

// A new 32-bit DIB section holding the pixels (the caller deletes it), or null.
HBITMAP BitmapFromPixels(const PixelImage &pixels);

// The pen of a line style (any style GDI has no pen for draws solid); null for a width of 0 or less.
HPEN CreateStylePen(int style, int width, HtmlColor color);

inline RECT ToRect(const HtmlRect &r) { return RECT{r.left, r.top, r.right, r.bottom}; }

}  // namespace v7::htmltip::win32
