#include "htmltip/win32/ce_xdib.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace v7::htmltip::win32 {
namespace {
constexpr size_t kHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr size_t kPaletteBytes = 256 * sizeof(RGBQUAD);
}  // namespace

uint8_t *CCeXDib::Create(int width, int height) {
  Free();
  uint64_t row = 0, image = 0;
  if (!DibRowBytes(width, 8, &row) || !DibImageBytes(width, height, 8, &image)) return nullptr;
  header_.biSize = sizeof(BITMAPINFOHEADER);
  header_.biWidth = width;
  header_.biHeight = height;
  header_.biPlanes = 1;
  header_.biBitCount = 8;
  header_.biCompression = BI_RGB;
  header_.biSizeImage = DWORD(image);
  rowBytes_ = uint32_t(row);
  try {
    buffer_.assign(kHeaderBytes + kPaletteBytes + size_t(image), 0);
  } catch (const std::bad_alloc &) {
    Free();
    return nullptr;
  }
  std::memcpy(buffer_.data(), &header_, kHeaderBytes);
  return buffer_.data();
}

uint32_t *CCeXDib::palette() {
  return buffer_.empty() ? nullptr : reinterpret_cast<uint32_t *>(buffer_.data() + kHeaderBytes);
}

uint8_t *CCeXDib::row(int r) {
  if (buffer_.empty() || r < 0 || r >= header_.biHeight) return nullptr;
  return buffer_.data() + kHeaderBytes + kPaletteBytes + size_t(r) * rowBytes_;
}

void CCeXDib::BlendPalette(HtmlColor color, int percent) {
  uint32_t *entries = palette();
  if (entries == nullptr) return;
  HtmlPalette copy;
  std::memcpy(copy.data(), entries, kPaletteBytes);
  BlendPaletteEntries(&copy, color, percent);
  std::memcpy(entries, copy.data(), kPaletteBytes);
}

void CCeXDib::Draw(HDC dc, int x, int y) {
  if (buffer_.empty() || dc == nullptr) return;
  if (section_ == nullptr) {
    section_ = ::CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO *>(buffer_.data()), DIB_RGB_COLORS,
                                  &sectionBits_, nullptr, 0);
    if (section_ == nullptr || sectionBits_ == nullptr) {
      Free();
      return;
    }
    memoryDc_ = ::CreateCompatibleDC(dc);
    oldBitmap_ = memoryDc_ != nullptr ? ::SelectObject(memoryDc_, section_) : nullptr;
    if (oldBitmap_ == nullptr || oldBitmap_ == HGDI_ERROR) {
      oldBitmap_ = nullptr;
      Free();
      return;
    }
  }
  ::GdiFlush();
  // The palette may have been blended since the section was made from it.
  ::SetDIBColorTable(memoryDc_, 0, 256, reinterpret_cast<const RGBQUAD *>(palette()));
  std::memcpy(sectionBits_, buffer_.data() + kHeaderBytes + kPaletteBytes, header_.biSizeImage);
  ::BitBlt(dc, x, y, header_.biWidth, header_.biHeight, memoryDc_, 0, 0, SRCCOPY);
}

void CCeXDib::Free() {
  if (memoryDc_ != nullptr) {
    if (oldBitmap_ != nullptr) ::SelectObject(memoryDc_, oldBitmap_);
    ::DeleteDC(memoryDc_);
  }
  if (section_ != nullptr) ::DeleteObject(section_);
  memoryDc_ = nullptr;
  oldBitmap_ = nullptr;
  section_ = nullptr;
  sectionBits_ = nullptr;
  buffer_.clear();
  buffer_.shrink_to_fit();
  header_ = BITMAPINFOHEADER{};
  rowBytes_ = 0;
}

}  // namespace v7::htmltip::win32
