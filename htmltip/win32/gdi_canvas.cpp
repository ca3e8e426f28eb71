#include "htmltip/win32/gdi_canvas.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "htmltip/win32/gdi_objects.h"
#include "htmltip/win32/internal.h"

namespace v7::htmltip::win32 {
namespace {

const wchar_t *Wide(const std::u16string &text) { return reinterpret_cast<const wchar_t *>(text.c_str()); }

int Units(std::u16string_view text) { return int(std::min<size_t>(text.size(), INT_MAX)); }

// A library named by a text is mapped as data only, and resources are all that can be read from it.
HMODULE LoadResourceLibrary(const std::u16string &name) {
  return internal::IsLocalName(name) ? internal::MapResourceModule(Wide(name)) : nullptr;
}

// The size an icon is asked for: pixels, or percent of the system icon size; 0 pixels is that size.
int RequestedIconSide(int requested, bool percent, int systemMetric) {
  const int64_t system = ::GetSystemMetrics(systemMetric);
  const int64_t side = percent ? (system * requested + 50) / 100 : requested > 0 ? requested : system;
  return int(std::clamp<int64_t>(side, 0, kMaxBitmapSide));
}

// Whether two sources load the same image: every field Load reads.
bool SameSource(const HtmlImageSource &a, const HtmlImageSource &b) {
  return a.kind == b.kind && a.resourceId == b.resourceId && a.libraryResourceId == b.libraryResourceId &&
         a.handle == b.handle && a.index == b.index && a.requestedWidth == b.requestedWidth &&
         a.requestedHeight == b.requestedHeight && a.requestedWidthIsPercent == b.requestedWidthIsPercent &&
         a.requestedHeightIsPercent == b.requestedHeightIsPercent && a.file == b.file && a.library == b.library;
}

}  // namespace

HtmlGdiCanvas::HtmlGdiCanvas(HDC dc, CPPDrawManager2 *manager, HMODULE resources, HMODULE library,
                             HIMAGELIST imageList)
    : dc_(dc), manager_(manager), resources_(resources), library_(library), imageList_(imageList) {}

HtmlGdiCanvas::~HtmlGdiCanvas() {
  // A canvas dropped in the middle of a pass still gives the DC back as it found it.
  while (!saved_.empty()) restore_state();
  ReleaseFont();
}

void HtmlGdiCanvas::ReleaseFont() {
  if (font_ == nullptr) return;
  ::SelectObject(dc_, original_);
  ::DeleteObject(font_);
  font_ = nullptr;
  original_ = nullptr;
}

int HtmlGdiCanvas::pixels_per_inch_y() const { return ::GetDeviceCaps(dc_, LOGPIXELSY); }

HtmlTextMetrics HtmlGdiCanvas::text_metrics() const {
  TEXTMETRICW tm{};
  if (!::GetTextMetricsW(dc_, &tm)) return HtmlTextMetrics{};
  return HtmlTextMetrics{tm.tmHeight, tm.tmAscent, tm.tmDescent};
}

HtmlSize HtmlGdiCanvas::text_extent(std::u16string_view text) const {
  SIZE size{};
  if (text.empty() || !::GetTextExtentPoint32W(dc_, reinterpret_cast<const wchar_t *>(text.data()), Units(text), &size)) {
    // An empty text still has the font's height, as GDI reports it for one.
    return HtmlSize{0, text_metrics().height};
  }
  return HtmlSize{size.cx, size.cy};
}

void HtmlGdiCanvas::save_state() {
  saved_.push_back(SavedState{::SaveDC(dc_), font_, original_});
  font_ = nullptr;
  original_ = nullptr;
}

void HtmlGdiCanvas::restore_state() {
  // Each restore pops exactly the level its save pushed: RestoreDC of a level drops the levels
  // saved inside it too, so an inner pair must never be restored by an outer level's number.
  if (saved_.empty()) {
    ReleaseFont();
    return;
  }
  const SavedState state = saved_.back();
  saved_.pop_back();
  if (state.level > 0) ::RestoreDC(dc_, state.level);
  // RestoreDC put back the font selected when the level began, so the one made inside it is
  // free to go (ReleaseFont selects that same font again when GDI refused the save).
  ReleaseFont();
  font_ = state.font;
  original_ = state.original;
}

bool HtmlGdiCanvas::select_font(const HtmlFont &font) {
  LOGFONTW lf{};
  lf.lfHeight = font.height;
  lf.lfWeight = font.weight;
  lf.lfItalic = font.italic;
  lf.lfUnderline = font.underline;
  lf.lfStrikeOut = font.strikeout;
  lf.lfCharSet = DEFAULT_CHARSET;
  const size_t units = std::min<size_t>(font.face.size(), LF_FACESIZE - 1);
  std::copy(font.face.begin(), font.face.begin() + units, lf.lfFaceName);
  HFONT made = ::CreateFontIndirectW(&lf);
  if (made == nullptr) return false;
  HGDIOBJ previous = ::SelectObject(dc_, made);
  if (previous == nullptr || previous == HGDI_ERROR) {
    ::DeleteObject(made);
    return false;
  }
  if (font_ != nullptr) {
    ::DeleteObject(font_);  // it was `previous`, now deselected
  } else {
    original_ = static_cast<HFONT>(previous);
  }
  font_ = made;
  return true;
}

void HtmlGdiCanvas::set_background_mode(int mode) { ::SetBkMode(dc_, mode == kHtmlOpaque ? OPAQUE : TRANSPARENT); }
void HtmlGdiCanvas::set_text_color(HtmlColor color) { ::SetTextColor(dc_, color & kHtmlColorMask); }
void HtmlGdiCanvas::set_background_color(HtmlColor color) { ::SetBkColor(dc_, color & kHtmlColorMask); }
void HtmlGdiCanvas::set_text_justification(int extra, int breaks) { ::SetTextJustification(dc_, extra, breaks); }

void HtmlGdiCanvas::text_out(int x, int y, std::u16string_view text) {
  if (!text.empty()) ::TextOutW(dc_, x, y, reinterpret_cast<const wchar_t *>(text.data()), Units(text));
}

void HtmlGdiCanvas::draw_line(int x1, int y1, int x2, int y2, int width, HtmlColor color, int style) {
  manager_->DrawLine(dc_, x1, y1, x2, y2, color, style, width);
}

void HtmlGdiCanvas::fill_rect(const HtmlRect &rect, HtmlColor color) {
  manager_->FillEffect(dc_, rect, kFillSolid, color, color, color, 0, 0);
}

void HtmlGdiCanvas::fill_effect(const HtmlRect &rect, int effect, HtmlColor color, HtmlColor midColor,
                                HtmlColor endColor, int granularity, int blendPercent) {
  if (effect < 0) return;
  manager_->FillEffect(dc_, rect, effect, color, midColor, endColor, granularity, blendPercent);
}

void HtmlGdiCanvas::draw_frame(const HtmlRect &rect, HtmlColor light, HtmlColor dark, int style, int width) {
  manager_->DrawFrame(dc_, rect, light, dark, style, width);
}

HtmlGdiCanvas::LoadedImage::~LoadedImage() {
  if (!owned || handle == nullptr) return;
  if (icon) {
    ::DestroyIcon(static_cast<HICON>(handle));
  } else {
    ::DeleteObject(handle);
  }
}

bool HtmlGdiCanvas::Load(const HtmlImageSource &source, LoadedImage *image) const {
  if (source.kind == HtmlImageKind::kImageList) {
    // The owner's list, when it gave one: the icon is a copy made for this call.
    image->icon = true;
    image->owned = true;
    if (imageList_ != nullptr && source.index >= 0 && source.index < ImageList_GetImageCount(imageList_))
      image->handle = ImageList_GetIcon(imageList_, source.index, ILD_NORMAL);
    return image->handle != nullptr;
  }
  const bool icon = source.kind == HtmlImageKind::kIcon;
  const UINT type = icon ? IMAGE_ICON : IMAGE_BITMAP;
  int cx = 0, cy = 0;
  if (icon) {
    cx = RequestedIconSide(source.requestedWidth, source.requestedWidthIsPercent, SM_CXICON);
    cy = RequestedIconSide(source.requestedHeight, source.requestedHeightIsPercent, SM_CYICON);
    // An icon asked for at no size is none: LoadImage would take 0 for the resource's own size.
    if (cx == 0 || cy == 0) return false;
  }
  image->icon = icon;
  image->owned = true;
  if (source.resourceId != 0) {
    if (resources_ != nullptr)
      image->handle = ::LoadImageW(resources_, MAKEINTRESOURCEW(source.resourceId), type, cx, cy, 0);
  } else if (!source.file.empty()) {
    if (!internal::IsLocalName(source.file)) return false;
    image->handle = ::LoadImageW(nullptr, Wide(source.file), type, cx, cy,
                                 LR_LOADFROMFILE | (icon ? 0 : LR_CREATEDIBSECTION));
  } else if (source.libraryResourceId != 0) {
    HMODULE module = source.library.empty() ? library_ : LoadResourceLibrary(source.library);
    if (module != nullptr) {
      image->handle = ::LoadImageW(module, MAKEINTRESOURCEW(source.libraryResourceId), type, cx, cy, 0);
      if (module != library_) ::FreeLibrary(module);
    }
  } else if (source.handle != 0) {
    image->handle = reinterpret_cast<HGDIOBJ>(source.handle);
    image->owned = false;
  }
  return image->handle != nullptr;
}

HtmlGdiCanvas::LoadedImage *HtmlGdiCanvas::Image(const HtmlImageSource &source, LoadedImage *uncached) {
  for (const std::unique_ptr<CachedImage> &cached : images_) {
    // A source that failed to load fails again without another try.
    if (SameSource(cached->source, source)) return cached->image.handle != nullptr ? &cached->image : nullptr;
  }
  if (images_.size() >= kMaxCachedImages) return Load(source, uncached) ? uncached : nullptr;
  auto cached = std::make_unique<CachedImage>();
  cached->source = source;
  const bool loaded = Load(source, &cached->image);
  images_.push_back(std::move(cached));
  return loaded ? &images_.back()->image : nullptr;
}

const IconPixels *HtmlGdiCanvas::Pixels(LoadedImage &image) {
  if (!image.icon || image.handle == nullptr) return nullptr;
  if (image.pixels == nullptr) {
    auto read = std::make_unique<IconPixels>();
    // One that cannot be read stays empty, and is not asked for again.
    if (!ReadIconPixels(static_cast<HICON>(image.handle), read.get())) read->size = HtmlSize{};
    image.pixels = std::move(read);
  }
  return image.pixels->size.cx > 0 ? image.pixels.get() : nullptr;
}

bool HtmlGdiCanvas::image_size(const HtmlImageSource &source, HtmlSize *size) {
  LoadedImage uncached;
  LoadedImage *found = Image(source, &uncached);
  if (found == nullptr) return false;
  LoadedImage &image = *found;
  SIZE s{};
  bool ok = false;
  if (image.icon) {
    const IconPixels *pixels = Pixels(image);
    ok = pixels != nullptr;
    if (ok) s = SIZE{pixels->size.cx, pixels->size.cy};
  } else {
    ok = CPPDrawManager2::GetBitmapSize(static_cast<HBITMAP>(image.handle), &s);
  }
  if (!ok || s.cx <= 0 || s.cy <= 0 || s.cx > kMaxBitmapSide || s.cy > kMaxBitmapSide) return false;
  *size = HtmlSize{int(s.cx), int(s.cy)};
  return true;
}

void HtmlGdiCanvas::draw_image(const HtmlImageSource &source, const HtmlRect &box, const HtmlImageLook &look) {
  LoadedImage uncached;
  LoadedImage *found = IsEmptyRect(box) ? nullptr : Image(source, &uncached);
  if (found == nullptr) return;
  LoadedImage &image = *found;
  CPPDrawManager2::ImageLook l;
  l.useMask = look.useMask;
  l.maskColor = look.maskColor;
  l.effects = look.effects;
  l.shadow = look.shadow;
  l.shadowDx = look.shadowDx;
  l.shadowDy = look.shadowDy;
  l.blurX = look.blurX;
  l.blurY = look.blurY;
  l.effectColor = look.effectColor;
  l.alpha = look.alpha;
  // The layout grew the box by the shadow offsets whenever the shadow is on (the shadow, or the
  // image moved by the offsets, lands inside it); the image is the rest of the box.
  const int dx = look.shadow ? std::clamp(look.shadowDx, -kMaxHtmlLength, kMaxHtmlLength) : 0;
  const int dy = look.shadow ? std::clamp(look.shadowDy, -kMaxHtmlLength, kMaxHtmlLength) : 0;
  const int width = box.width() - std::abs(dx), height = box.height() - std::abs(dy);
  const int x = box.left + std::max(0, -dx), y = box.top + std::max(0, -dy);
  if (width <= 0 || height <= 0) return;
  if (image.icon) {
    const IconPixels *pixels = Pixels(image);
    if (pixels != nullptr) manager_->DrawIconPixels(dc_, x, y, width, height, *pixels, l);
  } else if (look.frameWidth > 0) {
    manager_->DrawImageStrip(dc_, x, y, width, height, static_cast<HBITMAP>(image.handle), look.frame,
                             look.frameWidth, look.frameHeight, l);
  } else {
    manager_->DrawBitmap(dc_, x, y, width, height, static_cast<HBITMAP>(image.handle), l);
  }
}

void HtmlGdiCanvas::tile_image(const HtmlImageSource &source, const HtmlRect &area) {
  LoadedImage uncached;
  const LoadedImage *image =
      IsEmptyRect(area) || source.kind != HtmlImageKind::kBitmap ? nullptr : Image(source, &uncached);
  SIZE size{};
  if (image == nullptr || !CPPDrawManager2::GetBitmapSize(static_cast<HBITMAP>(image->handle), &size)) return;
  MemoryDc memory(dc_);
  if (!memory) return;
  Selection selected(memory.get(), image->handle);
  if (!selected.ok()) return;
  manager_->Tile(dc_, area, memory.get(), 0, 0, size.cx, size.cy);
}

}  // namespace v7::htmltip::win32
