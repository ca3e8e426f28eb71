// The image tags of the HTML drawers: bitmaps, icons and image strips placed in the line, their
// looks while their link is hot, and the strips' animation.
#include "htmltip/html_image.h"

#include <algorithm>
#include <cstdlib>

#include "htmltip/html_drawer.h"
#include "htmltip/internal.h"
#include "htmltip/pixel_ops.h"

namespace v7::htmltip {
namespace {

static_assert(kMaxHtmlImageSide <= kMaxBitmapSide, "an image box must fit in a bitmap the draw manager makes");

int ReadNumber(std::u16string_view value, int64_t low, int64_t high) {
  return int(std::clamp<int64_t>(internal::ReadDecimal(value).value, low, high));
}

int64_t Scale(int64_t size, int64_t length, bool percent) {
  const int64_t scaled = percent ? (size * length + 50) / 100 : length;
  return std::clamp<int64_t>(scaled, 0, kMaxHtmlImageSide);
}

constexpr int kShadowFlags = kEffectShadow | kEffectSoftShadow;

}  // namespace

HtmlColor HtmlImageSettings::shadowColor() const {
  const unsigned level = unsigned(255 * std::clamp(shadowDarkness, 0, 100) / 100);
  return HtmlRgb(level, level, level);
}

int ImageStyleFlags(std::u16string_view letters, const HtmlImageSettings &settings) {
  int flags = 0;
  for (char16_t c : letters) {
    if (c == u'g') flags |= kEffectGrey;
    if (c == u'd') flags |= kEffectDarker;
    if (c == u'l') flags |= kEffectLighter;
    if (c == u's' && (settings.shadowDx != 0 || settings.shadowDy != 0))
      flags |= settings.softShadow ? kEffectSoftShadow : kEffectShadow;
  }
  return flags;
}

HtmlSize ScaledImageBox(HtmlSize size, const HtmlImageAttributes &attributes) {
  return HtmlSize{int(Scale(size.cx, attributes.width, attributes.widthIsPercent != 0)),
                  int(Scale(size.cy, attributes.height, attributes.heightIsPercent != 0))};
}

HtmlImageAttributes HtmlDrawer::ReadImageAttributes(const HtmlMetrics &metrics, std::u16string_view attributes) {
  HtmlImageAttributes image;
  std::u16string_view name, value;
  size_t pos = 0;
  while (NextAttribute(attributes, &pos, &name, &value)) {
    if (name == u"idres") {
      image.resourceId = ReadNumber(value, 0, 65535);
    } else if (name == u"mask") {
      image.useMask = 1;
      // The mask says which pixels are transparent: it is the image's own colour and does not turn
      // into the disabled colour, or a disabled image would lose its transparency.
      const bool enabled = vocabulary_.colorsEnabled;
      vocabulary_.colorsEnabled = true;
      image.maskColor = vocabulary_.ParseColor(image.maskColor, value) & kHtmlColorMask;
      vocabulary_.colorsEnabled = enabled;
    } else if (name == u"width" || name == u"height") {
      const int length = vocabulary_.ParseLength(metrics, 100, value, false);
      const int percent = value.empty() || value.back() == u'%' ? 1 : 0;
      (name == u"width" ? image.width : image.height) = length;
      (name == u"width" ? image.widthIsPercent : image.heightIsPercent) = percent;
    } else if (!second()) {
      continue;  // "cx" and "cy" are read and change nothing there, as every other name
    } else if (name == u"index") {
      image.index = ReadNumber(value, -1, INT32_MAX / 2);
    } else if (name == u"iddll") {
      image.libraryResourceId = ReadNumber(value, 0, 65535);
    } else if (name == u"handle") {
      image.handle = uintptr_t(std::clamp<int64_t>(internal::ReadAutoBase(value).value, 0, INT32_MAX));
    } else if (name == u"cx") {
      image.frameWidth = ReadNumber(value, 0, kMaxHtmlImageSide);
    } else if (name == u"cy") {
      image.frameHeight = ReadNumber(value, 0, kMaxHtmlImageSide);
    } else if (name == u"speed") {
      image.speed = ReadNumber(value, 0, kMaxHtmlLength);
    } else if (name == u"style") {
      image.style = image.hotStyle = ImageStyleFlags(value, imageSettings);
    } else if (name == u"hotstyle") {
      image.hotStyle = ImageStyleFlags(value, imageSettings);
    } else if (name == u"file") {
      AssignBounded(&image.file, value, kMaxImageNameUnits);
    } else if (name == u"srcdll") {
      AssignBounded(&image.library, value, kMaxImageNameUnits);
    }
  }
  return image;
}

bool HtmlDrawer::TakeImageBudget(HtmlSize box) {
  const int64_t pixels = int64_t(box.cx) * box.cy;
  if (imageCount_ >= kMaxHtmlImages || imagePixels_ + pixels > kMaxHtmlImagePixels) return false;
  imageCount_++;
  imagePixels_ += pixels;
  return true;
}

void HtmlDrawer::DrawImageTag(int id, std::u16string_view attributes) {
  const HtmlImageAttributes image = ReadImageAttributes(*canvas_, attributes);
  HtmlImageSource source;
  source.kind = id == kTagIcon ? HtmlImageKind::kIcon : HtmlImageKind::kBitmap;
  source.resourceId = image.resourceId;
  source.file = image.file;
  source.libraryResourceId = image.libraryResourceId;
  source.library = image.library;
  source.handle = image.handle;
  source.index = image.index;
  HtmlImageLook look;
  look.useMask = image.useMask != 0;
  look.maskColor = image.maskColor;
  if (!second()) {
    // The first generation draws every bitmap transparent where its mask colour is, and never
    // blends by alpha bytes.
    look.useMask = source.kind == HtmlImageKind::kBitmap;
    look.alpha = false;
  }
  const bool strip = id == kTagIlst && image.hasSource();
  if (id == kTagIlst && !strip) source.kind = HtmlImageKind::kImageList;
  if (source.kind == HtmlImageKind::kIcon) {
    source.requestedWidth = image.width;
    source.requestedHeight = image.height;
    source.requestedWidthIsPercent = image.widthIsPercent != 0;
    source.requestedHeightIsPercent = image.heightIsPercent != 0;
  }

  HtmlSize size;
  if (!canvas_->image_size(source, &size) || size.cx <= 0 || size.cy <= 0) return;
  HtmlSize box;
  int frameCount = 0;
  if (source.kind == HtmlImageKind::kIcon) {
    // An icon is loaded at the size asked for and takes the size it came at.
    box = HtmlSize{std::min(size.cx, kMaxHtmlImageSide), std::min(size.cy, kMaxHtmlImageSide)};
  } else if (strip) {
    int fw = image.frameWidth, fh = image.frameHeight;
    if (fw == 0) fw = fh;
    if (fh == 0) fh = fw;
    if (fw == 0) fw = fh = std::min(size.cx, size.cy);
    const int64_t count = int64_t(size.cx / fw) * (size.cy / fh);
    frameCount = int(std::min<int64_t>(count, INT32_MAX));
    look.frameWidth = fw;
    look.frameHeight = fh;
    box = ScaledImageBox(HtmlSize{fw, fh}, image);
  } else {
    box = ScaledImageBox(size, image);
  }
  const bool shadow = ((image.style | image.hotStyle) & kShadowFlags) != 0;
  const bool empty = box.cx <= 0 || box.cy <= 0;
  const int shadowDx = std::clamp(imageSettings.shadowDx, -kMaxHtmlLength, kMaxHtmlLength);
  const int shadowDy = std::clamp(imageSettings.shadowDy, -kMaxHtmlLength, kMaxHtmlLength);
  if (shadow && !empty) {
    box.cx = int(std::min<int64_t>(int64_t(box.cx) + std::abs(shadowDx), kMaxHtmlImageSide));
    box.cy = int(std::min<int64_t>(int64_t(box.cy) + std::abs(shadowDy), kMaxHtmlImageSide));
  }
  // The first generation draws its icons three pixels low; the line makes room for that, so that
  // the icon stays inside the size the text measures.
  const int drop = !second() && source.kind == HtmlImageKind::kIcon && !empty ? 3 : 0;
  const HtmlSize placed{box.cx, box.cy + drop};
  if (!TakeImageBudget(placed)) return;

  const bool wrap = WrapWidth() != 0 && lineHasContent_ && placed.cx > SpaceLeft();
  if (wrap) {
    line_.wrapped = 1;
    EndLine(1);
    if (stop_) return;
  }
  if (x_ + placed.cx - rect_.left > kMaxHtmlExtent) {
    stop_ = true;
    truncated_ |= measuring();
    return;
  }
  // Strips that move take a record in the measure pass, found again by their order in the draw pass.
  const bool animated = strip && image.speed > 0;
  if (animated && animationCounter_ < INT32_MAX) animationCounter_++;
  if (measuring()) {
    if (animated && size_t(animationCounter_) == animations_.size() && animations_.size() < kMaxHtmlAnimations)
      animations_.push_back(HtmlAnimationRecord{image.index, frameCount, 0, image.speed});
    line_.align = style_.textAlign;
    ObjectLineY(placed.cy);
    lineHasContent_ = true;
    Advance(placed.cx, placed.cx);
    return;
  }
  if (!LineAvailable()) return;
  lineHasContent_ = true;
  if (!empty) {
    // Never above its line, should the line have been laid out for less.
    const int64_t y = std::max(ObjectLineY(placed.cy), y_);
    AddLinkArea(x_, y, placed.cx, placed.cy);
    const bool hot = style_.linkKind != 0 && linkCounter_ == hotLink;
    look.effects = hot ? image.hotStyle : image.style;
    look.effectColor = imageSettings.shadowColor();
    if (second() && !vocabulary_.colorsEnabled) {
      look.effects = (look.effects & 0xFF00) | kEffectSolid;
      look.effectColor = vocabulary_.disabledColor;
    }
    look.shadow = shadow;
    look.shadowDx = shadowDx;
    look.shadowDy = shadowDy;
    look.blurX = imageSettings.blurX;
    look.blurY = imageSettings.blurY;
    int frame = strip ? image.index : 0;
    if (animated) {
      frame = size_t(animationCounter_) < animations_.size() ? animations_[size_t(animationCounter_)].frame : -1;
    }
    look.frame = frame;
    const bool drawn = !strip || (frame >= 0 && frame < frameCount);
    if (drawn) {
      const HtmlRect at{int(x_), int(y) + drop, int(x_) + box.cx, int(y) + drop + box.cy};
      canvas_->draw_image(source, at, look);
    }
  }
  Advance(placed.cx, placed.cx);
}

bool HtmlDrawer::AdvanceAnimations() {
  bool changed = false;
  for (HtmlAnimationRecord &record : animations_) {
    if (record.frameCount <= 0 || record.speed <= 0) continue;
    if (++record.ticks < record.speed) continue;
    record.ticks = 0;
    const int next = record.frame + 1 >= record.frameCount || record.frame < 0 ? 0 : record.frame + 1;
    changed |= next != record.frame;
    record.frame = next;
  }
  return changed;
}

}  // namespace v7::htmltip
