// The balloon's placement and flips against a 1024 x 768 screen, its anchor triangle, and the first
// generation's hot rectangle, from tables worked out by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "htmltip/tooltip_geometry.h"

namespace {

using namespace v7::htmltip;

std::string Describe(const HtmlRect &r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

struct PlacementCase {
  const char *what;
  HtmlPoint point;
  HtmlSize text;
  int style;
  HtmlRect screen;
  int wantStyle;
  HtmlPoint wantAnchor;
  const char *wantWindow;
  const char *wantBody;
  const char *wantText;
};

const HtmlRect kScreen{0, 0, 1024, 768};

// A 100 x 20 text gives a 124 x 44 content box: 124 x 60 with an anchor above or below, 140 x 44
// with one at the side.
const PlacementCase kPlacements[] = {
    {"room everywhere", {500, 400}, {100, 20}, 16, kScreen, 16, {16, 60}, "484,340-608,400", "0,0-124,44",
     "12,12-112,32"},
    {"right edge: the anchor goes to the far corner", {1000, 400}, {100, 20}, 16, kScreen, 17, {108, 60},
     "892,340-1016,400", "0,0-124,44", "12,12-112,32"},
    {"neither corner fits: centred", {100, 400}, {150, 20}, 16, {0, 0, 200, 768}, 18, {87, 60},
     "13,340-187,400", "0,0-174,44", "12,12-162,32"},
    {"top edge: the balloon goes below the point", {500, 30}, {100, 20}, 16, kScreen, 0, {16, 0},
     "484,30-608,90", "0,16-124,60", "12,28-112,48"},
    {"top edge and right edge together", {1000, 30}, {100, 20}, 16, kScreen, 1, {108, 0}, "892,30-1016,90",
     "0,16-124,60", "12,28-112,48"},
    {"bottom edge: a top anchor flips up", {500, 740}, {100, 20}, 0, kScreen, 16, {16, 60}, "484,680-608,740",
     "0,0-124,44", "12,12-112,32"},
    {"left anchor at the right edge flips to the right", {950, 300}, {100, 20}, 32, kScreen, 48, {140, 16},
     "810,284-950,328", "0,0-124,44", "12,12-112,32"},
    {"right anchor at the left edge flips to the left", {50, 300}, {100, 20}, 48, kScreen, 32, {0, 16},
     "50,284-190,328", "16,0-140,44", "28,12-128,32"},
    {"far corner at the left edge goes to the near corner", {10, 400}, {100, 20}, 17, kScreen, 16, {16, 60},
     "-6,340-118,400", "0,0-124,44", "12,12-112,32"},
    {"centred, pulled in from the right", {980, 400}, {100, 20}, 18, kScreen, 18, {80, 60}, "900,340-1024,400",
     "0,0-124,44", "12,12-112,32"},
    {"centred, pulled in from the left", {60, 400}, {100, 20}, 18, kScreen, 18, {60, 60}, "0,340-124,400",
     "0,0-124,44", "12,12-112,32"},
    {"centred within 16 of the right edge takes the far corner, kept on screen", {1020, 400}, {100, 20}, 18,
     kScreen, 17, {120, 60}, "900,340-1024,400", "0,0-124,44", "12,12-112,32"},
    {"centred within 16 of the left edge takes the near corner", {5, 400}, {100, 20}, 18, kScreen, 16, {16, 60},
     "-11,340-113,400", "0,0-124,44", "12,12-112,32"},
    {"a side anchor at the bottom takes the far corner, kept on screen", {500, 760}, {100, 20}, 32, kScreen, 33,
     {0, 36}, "500,724-640,768", "16,0-140,44", "28,12-128,32"},
    {"an invalid style is the default", {500, 400}, {100, 20}, 7, kScreen, 16, {16, 60}, "484,340-608,400",
     "0,0-124,44", "12,12-112,32"},
    {"an empty text still has its margins", {500, 400}, {0, 0}, 16, kScreen, 16, {16, 40}, "484,360-508,400",
     "0,0-24,24", "12,12-12,12"},
};

TEST(TooltipGeometry, PlacementTable) {
  for (const PlacementCase &c : kPlacements) {
    SCOPED_TRACE(c.what);
    const BalloonPlacement p = PlaceBalloon(c.point, c.text, c.style, c.screen, BalloonGeometry{});
    EXPECT_EQ(p.style, c.wantStyle);
    EXPECT_EQ(p.anchor.x, c.wantAnchor.x);
    EXPECT_EQ(p.anchor.y, c.wantAnchor.y);
    EXPECT_EQ(Describe(p.window), c.wantWindow);
    EXPECT_EQ(Describe(p.body), c.wantBody);
    EXPECT_EQ(Describe(p.text), c.wantText);
    // The target point is where the anchor's tip lands.
    EXPECT_EQ(p.window.left + p.anchor.x, c.point.x);
    EXPECT_EQ(p.window.top + p.anchor.y, c.point.y);
  }
}

// Whatever the point, the text and the style: the tip of the anchor lands on the point, the
// window is the content plus the anchor on its side, and the body and the text lie inside it.
TEST(TooltipGeometry, PlacementInvariantsOverRandomCases) {
  uint32_t seed = 12345;
  auto next = [&seed](int range) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(range));
  };
  const int styles[] = {0, 1, 2, 16, 17, 18, 32, 33, 34, 48, 49, 50, 3, 99};
  for (int i = 0; i < 20000; ++i) {
    const HtmlRect screen{next(200) - 100, next(200) - 100, 300 + next(3000), 200 + next(2000)};
    const HtmlPoint point{next(4000) - 500, next(3000) - 500};
    const HtmlSize text{next(1200), next(600)};
    const int style = styles[next(14)];
    const BalloonPlacement p = PlaceBalloon(point, text, style, screen, BalloonGeometry{});
    ASSERT_EQ(NormalAnchorStyle(p.style), p.style);
    ASSERT_EQ(p.window.left + p.anchor.x, point.x);
    ASSERT_EQ(p.window.top + p.anchor.y, point.y);
    const bool vertical = (p.style & kAnchorEdgeMask) <= kAnchorBottomEdge;
    ASSERT_EQ(p.window.width(), text.cx + 24 + (vertical ? 0 : 16));
    ASSERT_EQ(p.window.height(), text.cy + 24 + (vertical ? 16 : 0));
    ASSERT_GE(p.body.left, 0);
    ASSERT_GE(p.body.top, 0);
    ASSERT_LE(p.body.right, p.window.width());
    ASSERT_LE(p.body.bottom, p.window.height());
    ASSERT_GE(p.text.left, p.body.left);
    ASSERT_GE(p.text.top, p.body.top);
    ASSERT_LE(p.text.right, p.body.right);
    ASSERT_LE(p.text.bottom, p.body.bottom);
    // The edge across flips only when the side asked for has no room.
    const int asked = NormalAnchorStyle(style) & kAnchorEdgeMask;
    if (asked == kAnchorBottomEdge && point.y - p.window.height() >= screen.top) {
      ASSERT_EQ(p.style & kAnchorEdgeMask, kAnchorBottomEdge);
    }
    if (asked == kAnchorTopEdge && point.y + p.window.height() <= screen.bottom) {
      ASSERT_EQ(p.style & kAnchorEdgeMask, kAnchorTopEdge);
    }
  }
}

TEST(TooltipGeometry, AnchorTriangles) {
  struct Case {
    HtmlPoint point;
    int style;
    const char *want;
  } cases[] = {
      {{500, 400}, 16, "16,44 28,44 16,60"},   // near corner, below the body
      {{1000, 400}, 16, "96,44 108,44 108,60"},  // flipped to the far corner
      {{60, 400}, 18, "54,44 66,44 60,60"},    // centred on the pulled offset
      {{500, 30}, 16, "16,16 28,16 16,0"},     // flipped below the point: the base on the body's top
      {{50, 300}, 48, "16,16 16,28 0,16"},     // flipped to a left anchor
  };
  for (const Case &c : cases) {
    const BalloonPlacement p = PlaceBalloon(c.point, HtmlSize{100, 20}, c.style, kScreen, BalloonGeometry{});
    HtmlPoint points[3];
    ASSERT_TRUE(BalloonAnchorTriangle(p, BalloonGeometry{}, points));
    std::string got;
    for (const HtmlPoint &q : points) got += (got.empty() ? "" : " ") + std::to_string(q.x) + "," + std::to_string(q.y);
    EXPECT_EQ(got, c.want) << "style " << c.style;
  }
  BalloonGeometry flat;
  flat.anchorWidth = 0;
  HtmlPoint points[3];
  EXPECT_FALSE(BalloonAnchorTriangle(PlaceBalloon({500, 400}, {10, 10}, 16, kScreen, flat), flat, points));
}

TEST(TooltipGeometry, NormalAnchorStyles) {
  for (int style : {0, 1, 2, 16, 17, 18, 32, 33, 34, 48, 49, 50}) EXPECT_EQ(NormalAnchorStyle(style), style);
  for (int style : {3, 15, 19, 64, -1, 0x112}) EXPECT_EQ(NormalAnchorStyle(style), kDefaultAnchorStyle) << style;
}

TEST(TooltipGeometry, TheLinkIsTheLastLineWithContent) {
  auto lines = [](std::initializer_list<int> widths) {
    std::vector<HtmlLineRecord> out;
    for (int w : widths) out.emplace_back().width = w;
    return out;
  };
  EXPECT_EQ(FirstTooltipLinkLine(lines({})), 0u);
  EXPECT_EQ(FirstTooltipLinkLine(lines({0, 0})), 2u);  // none: no link
  EXPECT_EQ(FirstTooltipLinkLine(lines({30})), 0u);
  EXPECT_EQ(FirstTooltipLinkLine(lines({30, 12, 0, 40})), 3u);
  EXPECT_EQ(FirstTooltipLinkLine(lines({30, 40, 0, 0})), 1u);  // blank lines after it
  // Every pixel of the area counts, and none beside it.
  const HtmlRect r{10, 20, 30, 35};
  EXPECT_TRUE(PixelInside(r, {10, 20}));
  EXPECT_TRUE(PixelInside(r, {29, 34}));
  EXPECT_FALSE(PixelInside(r, {30, 25}));
  EXPECT_FALSE(PixelInside(r, {15, 35}));
  EXPECT_FALSE(PixelInside(r, {9, 25}));
  EXPECT_FALSE(PixelInside(HtmlRect{}, {0, 0}));
}

}  // namespace
