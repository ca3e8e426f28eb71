// Where the tooltip windows go and what shape they take: the second generation's balloon placed
// beside a point and flipped at the screen's edges, its anchor triangle, and the first
// generation's link line. Plain functions of numbers, so the windows only apply them.
#pragma once

#include <cstddef>
#include <vector>

#include "htmltip/html_canvas.h"
#include "htmltip/html_layout.h"

namespace v7::htmltip {

struct HtmlPoint {
  int x = 0;
  int y = 0;
};
inline bool operator==(const HtmlPoint &a, const HtmlPoint &b) { return a.x == b.x && a.y == b.y; }

// Anchor styles: the high nibble names the edge that carries the anchor, the low bits its place
// along that edge.
enum : int {
  kAnchorTopEdge = 0x00,     // the balloon lies below the point
  kAnchorBottomEdge = 0x10,  // above the point
  kAnchorLeftEdge = 0x20,    // right of the point
  kAnchorRightEdge = 0x30,   // left of the point
  kAnchorEdgeMask = 0x30,
  kAnchorNearCorner = 0,     // near the left or top corner
  kAnchorFarCorner = 1,      // near the right or bottom corner
  kAnchorCentred = 2,
  kAnchorPlaceMask = 0x0F,
  kDefaultAnchorStyle = kAnchorBottomEdge | kAnchorNearCorner,
};

// One of the valid styles (0-2, 16-18, 32-34, 48-50); any other value is taken as the default,
// so no caller's number can place a balloon nowhere.
int NormalAnchorStyle(int style);

struct BalloonGeometry {
  int cornerWidth = 16;
  int cornerHeight = 16;
  int marginX = 12;
  int marginY = 12;
  int anchorWidth = 12;
  int anchorHeight = 16;
  int anchorMargin = 16;  // from the corner to the anchor along the edge
};

struct BalloonPlacement {
  HtmlRect window;       // in screen coordinates
  int style = kDefaultAnchorStyle;  // after the flips
  HtmlPoint anchor;      // of the target point, inside the window
  HtmlRect body;         // the window less the anchor's side, in window coordinates
  HtmlRect content;      // the filled background, in window coordinates
  HtmlRect text;         // where the HTML is drawn, in window coordinates
};

// The balloon for HTML of `textSize` pointing at `point` (screen coordinates), in `style`, kept on
// `screen` as far as the rules allow.
BalloonPlacement PlaceBalloon(const HtmlPoint &point, const HtmlSize &textSize, int style, const HtmlRect &screen,
                              const BalloonGeometry &geometry);

// The anchor triangle of a placed balloon, in window coordinates: two base points on the body's
// edge and the tip at the target point. False when the geometry has no anchor.
bool BalloonAnchorTriangle(const BalloonPlacement &placement, const BalloonGeometry &geometry, HtmlPoint points[3]);

// The line of a first-generation link tip that holds its link: the last line with content, as
// the tip's texts end with it; lines.size() when no line has any. Its hot area is that line as
// drawn, so it follows the fonts the text is laid out with, in every language.
size_t FirstTooltipLinkLine(const std::vector<HtmlLineRecord> &lines);
// Whether a point is one of the rectangle's pixels.
inline bool PixelInside(const HtmlRect &r, const HtmlPoint &p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

}  // namespace v7::htmltip
