#include "htmltip/tooltip_geometry.h"

#include <algorithm>
#include <cstdint>

#include "htmltip/html_limits.h"

namespace v7::htmltip {
namespace {

// One axis of the placement: the coordinate of the point on it and the screen's span.
struct Axis {
  int64_t point;
  int64_t nearEdge;
  int64_t farEdge;
};

// Step 2: the place along the anchor's edge, moved to a corner or the centre when the one asked
// for would put the window off the screen.
int AlongPlace(int place, const Axis &a, int64_t size, int64_t margin) {
  const bool nearFits = a.point - margin + size <= a.farEdge;  // the window starts at point - margin
  const bool farFits = a.point + margin - size >= a.nearEdge;  // the window ends at point + margin
  switch (place) {
    case kAnchorNearCorner:
      if (!nearFits) place = farFits ? kAnchorFarCorner : kAnchorCentred;
      break;
    case kAnchorFarCorner:
      if (!farFits) place = nearFits ? kAnchorNearCorner : kAnchorCentred;
      break;
    default:
      if (a.point - a.nearEdge < margin) {
        place = kAnchorNearCorner;
      } else if (a.farEdge - a.point < margin) {
        place = kAnchorFarCorner;
      }
      break;
  }
  return place;
}

// Step 4, along the edge: where the point lies inside the window.
int64_t AlongOffset(int place, const Axis &a, int64_t size, int64_t margin) {
  if (place == kAnchorNearCorner) return margin;
  if (place == kAnchorFarCorner) {
    int64_t offset = size - margin;
    if (a.point - offset + size > a.farEdge) offset = a.point + size - a.farEdge;
    return offset;
  }
  int64_t offset = size / 2;
  if (a.point - offset + size > a.farEdge) {
    const int64_t pulled = a.point + size - a.farEdge;
    if (a.point - pulled >= a.nearEdge) offset = pulled;
  } else if (a.point - offset < a.nearEdge) {
    offset = a.point - a.nearEdge;
  }
  if (a.point - offset < a.nearEdge) offset = a.point - a.nearEdge;
  return offset;
}

HtmlRect Moved(HtmlRect r, int dx, int dy) {
  r.left += dx;
  r.right += dx;
  r.top += dy;
  r.bottom += dy;
  return r;
}

int Clip(int64_t v) { return int(std::clamp<int64_t>(v, -kMaxHtmlLength * int64_t(64), kMaxHtmlLength * int64_t(64))); }

}  // namespace

int NormalAnchorStyle(int style) {
  const int place = style & kAnchorPlaceMask;
  if ((style & ~(kAnchorEdgeMask | kAnchorPlaceMask)) != 0 || place > kAnchorCentred) return kDefaultAnchorStyle;
  return style;
}

BalloonPlacement PlaceBalloon(const HtmlPoint &point, const HtmlSize &textSize, int style, const HtmlRect &screen,
                              const BalloonGeometry &g) {
  style = NormalAnchorStyle(style);
  int edge = style & kAnchorEdgeMask;
  const bool vertical = edge == kAnchorTopEdge || edge == kAnchorBottomEdge;  // the anchor points up or down

  const int64_t textW = std::clamp(textSize.cx, 0, kMaxHtmlLength * 16);
  const int64_t textH = std::clamp(textSize.cy, 0, kMaxHtmlLength * 16);
  const int64_t contentW = textW + 2 * int64_t(g.marginX);
  const int64_t contentH = textH + 2 * int64_t(g.marginY);
  const int64_t width = contentW + (vertical ? 0 : g.anchorHeight);
  const int64_t height = contentH + (vertical ? g.anchorHeight : 0);

  const Axis xAxis{point.x, screen.left, screen.right};
  const Axis yAxis{point.y, screen.top, screen.bottom};
  const Axis &along = vertical ? xAxis : yAxis;
  const int64_t alongSize = vertical ? width : height;
  const int place = AlongPlace(style & kAnchorPlaceMask, along, alongSize, g.anchorMargin);

  // Step 3: across the edge, the balloon goes to the other side of the point when its own side
  // has no room.
  switch (edge) {
    case kAnchorTopEdge:
      if (point.y + height > screen.bottom) edge = kAnchorBottomEdge;
      break;
    case kAnchorBottomEdge:
      if (point.y - height < screen.top) edge = kAnchorTopEdge;
      break;
    case kAnchorLeftEdge:
      if (point.x + width > screen.right) edge = kAnchorRightEdge;
      break;
    default:
      if (point.x - width < screen.left) edge = kAnchorLeftEdge;
      break;
  }

  const int64_t alongOffset = AlongOffset(place, along, alongSize, g.anchorMargin);
  int64_t offsetX, offsetY;
  if (vertical) {
    offsetX = alongOffset;
    offsetY = edge == kAnchorTopEdge ? 0 : height;
  } else {
    offsetY = alongOffset;
    offsetX = edge == kAnchorLeftEdge ? 0 : width;
  }

  BalloonPlacement out;
  out.style = edge | place;
  out.anchor = HtmlPoint{Clip(offsetX), Clip(offsetY)};
  const int64_t left = point.x - offsetX, top = point.y - offsetY;
  out.window = HtmlRect{Clip(left), Clip(top), Clip(left + width), Clip(top + height)};
  const int w = Clip(width), h = Clip(height), ah = g.anchorHeight;
  switch (edge) {
    case kAnchorTopEdge: out.body = HtmlRect{0, ah, w, h}; break;
    case kAnchorBottomEdge: out.body = HtmlRect{0, 0, w, h - ah}; break;
    case kAnchorLeftEdge: out.body = HtmlRect{ah, 0, w, h}; break;
    default: out.body = HtmlRect{0, 0, w - ah, h}; break;
  }
  // Step 5: a top or left anchor pushes the content away from its side.
  const int dx = edge == kAnchorLeftEdge ? ah : 0;
  const int dy = edge == kAnchorTopEdge ? ah : 0;
  out.content = Moved(HtmlRect{0, 0, Clip(contentW), Clip(contentH)}, dx, dy);
  out.text = Moved(HtmlRect{g.marginX, g.marginY, Clip(g.marginX + textW), Clip(g.marginY + textH)}, dx, dy);
  return out;
}

bool BalloonAnchorTriangle(const BalloonPlacement &p, const BalloonGeometry &g, HtmlPoint points[3]) {
  if (g.anchorWidth == 0 || g.anchorHeight == 0) return false;
  const int edge = p.style & kAnchorEdgeMask;
  const int place = p.style & kAnchorPlaceMask;
  const bool vertical = edge == kAnchorTopEdge || edge == kAnchorBottomEdge;
  const int size = vertical ? p.body.width() : p.body.height();
  const int start = vertical ? p.body.left : p.body.top;
  int from;  // where the base starts along the edge
  if (place == kAnchorNearCorner) {
    from = start + g.anchorMargin;
  } else if (place == kAnchorFarCorner) {
    from = start + size - g.anchorMargin - g.anchorWidth;
  } else {
    from = (vertical ? p.anchor.x : p.anchor.y) - g.anchorWidth / 2;
  }
  int across;  // the body's edge that carries the base
  switch (edge) {
    case kAnchorTopEdge: across = p.body.top; break;
    case kAnchorBottomEdge: across = p.body.bottom; break;
    case kAnchorLeftEdge: across = p.body.left; break;
    default: across = p.body.right; break;
  }
  if (vertical) {
    points[0] = HtmlPoint{from, across};
    points[1] = HtmlPoint{from + g.anchorWidth, across};
  } else {
    points[0] = HtmlPoint{across, from};
    points[1] = HtmlPoint{across, from + g.anchorWidth};
  }
  points[2] = p.anchor;
  return true;
}

size_t FirstTooltipLinkLine(const std::vector<HtmlLineRecord> &lines) {
  for (size_t i = lines.size(); i-- > 0;)
    if (lines[i].width > 0) return i;
  return lines.size();
}

}  // namespace v7::htmltip
