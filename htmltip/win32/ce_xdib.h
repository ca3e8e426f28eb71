// CCeXDib: a 256-colour bottom-up DIB held in one buffer (header, palette, rows), the surface the
// patterned background fills are computed in before they are copied onto a device context.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "htmltip/pixel_ops.h"

namespace v7::htmltip::win32 {

class CCeXDib {
 public:
  CCeXDib() = default;
  CCeXDib(const CCeXDib &) = delete;
  CCeXDib &operator=(const CCeXDib &) = delete;
  virtual ~CCeXDib() { Free(); }

  // Frees what was held and makes a width x height bitmap; returns the buffer, or null when the size
  // is empty or beyond the bitmap bounds (nothing is then held).
  uint8_t *Create(int width, int height);
  // percent is capped at 100 (and raised to 0).
  void BlendPalette(HtmlColor color, int percent);
  // Copies the bitmap to (x, y) of `dc`; draws nothing when the section cannot be made.
  void Draw(HDC dc, int x, int y);
  void Free();

  int width() const { return header_.biWidth; }
  int height() const { return header_.biHeight; }
  uint32_t rowBytes() const { return rowBytes_; }
  // The palette as RGBQUADs read as 32-bit values (0x00RRGGBB) and the rows, row 0 at the bottom.
  uint32_t *palette();
  uint8_t *row(int r);

 private:
  std::vector<uint8_t> buffer_;
  BITMAPINFOHEADER header_{};
  uint32_t paletteSize_ = 256;
  uint32_t rowBytes_ = 0;
  HBITMAP section_ = nullptr;
  HDC memoryDc_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  void *sectionBits_ = nullptr;
};

}  // namespace v7::htmltip::win32
