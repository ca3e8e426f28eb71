// Links against the recording canvas (13-pixel body font, 7 pixels a character): what is under the
// mouse, the hot link's notifications, and following links only through the owner's seams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html_test_support.h"
#include "htmltip/html_drawer.h"
#include "htmltip/recording_canvas.h"
#include "platform/errors/error_codes.h"

namespace {

using namespace v7::htmltip;

// "ab" is link 0 (x 0-14), "cd" link 1 (x 14-28), "ef" no link (x 28-42); one line 13 high.
struct Linked {
  HtmlDrawer drawer{HtmlGeneration::kSecond, v7test::TestSystemColor};
  HtmlRecordingCanvas canvas;
  HtmlSize size;
  std::vector<int> notified;
  explicit Linked(std::u16string_view html = u"<a href=\"https://example.com/a b\">ab</a><a msg=\"hello\">cd</a>ef") {
    drawer.redrawRequest = [this](int hot) { notified.push_back(hot); };
    EXPECT_EQ(drawer.MeasureHtml(canvas, html, &size), 0);
    Paint();
  }
  void Paint() { drawer.DrawHtml(canvas, HtmlRect{0, 0, size.cx, size.cy}); }
};

TEST(HtmlLink, HitTestingIncludesTheEdges) {
  Linked l;
  ASSERT_EQ(l.drawer.linkAreas().size(), 2u);
  const struct {
    int x, y, index;
  } cases[] = {{0, 0, 0}, {14, 13, 0}, {15, 5, 1}, {28, 0, 1}, {29, 0, -1}, {5, 14, -1}, {-1, 0, -1}};
  for (const auto &c : cases) EXPECT_EQ(l.drawer.HitTestLink(c.x, c.y), c.index) << c.x << "," << c.y;
}

TEST(HtmlLink, TheHotLinkNotifiesOncePerChange) {
  Linked l;
  struct Move {
    int x;
    bool hand;
  } const moves[] = {{30, false}, {2, true}, {9, true}, {20, true}, {35, false}, {40, false}, {21, true}};
  std::vector<bool> hands;
  for (const Move &m : moves) {
    EXPECT_EQ(l.drawer.OnMouseOverLink(m.x, 5), m.hand) << m.x;
  }
  // Into link 0, within it nothing, on to link 1, out, a second move out nothing, back into 1.
  EXPECT_EQ(l.notified, (std::vector<int>{0, 1, -2, 1}));
  EXPECT_EQ(l.drawer.hotLink, 1);
  // The next paint draws link 1 with "a:hover"; the areas are the same after any number of paints.
  for (int i = 0; i < 3; i++) l.Paint();
  EXPECT_EQ(l.drawer.linkAreas().size(), 2u);
  // A link without a text is no place for the hand.
  Linked empty(u"<a>xy</a>");
  EXPECT_FALSE(empty.drawer.OnMouseOverLink(3, 3));
  EXPECT_EQ(empty.notified, std::vector<int>{0});
}

// The owner repaints when the hot link changes, and its paint rebuilds the link areas: what was
// under the mouse before the repaint need not be there after it.
TEST(HtmlLink, TheHandIsDecidedOnTheAreasTheRepaintLeft) {
  Linked l;
  l.drawer.redrawRequest = [&l](int) {
    ASSERT_EQ(l.drawer.MeasureHtml(l.canvas, u"ef", &l.size), 0);
    l.Paint();
  };
  EXPECT_FALSE(l.drawer.OnMouseOverLink(3, 5));
  EXPECT_TRUE(l.drawer.linkAreas().empty());
  // A repaint that keeps the link keeps the hand.
  Linked kept;
  kept.drawer.redrawRequest = [&kept](int) { kept.Paint(); };
  EXPECT_TRUE(kept.drawer.OnMouseOverLink(3, 5));
}

TEST(HtmlLink, LinkAreasOfImagesAndRepeatedPaints) {
  Linked l(u"<a href=\"http://x.example/\">a<bmp idres=3>b</a>");
  HtmlRecordingCanvas canvas;
  canvas.AddImage(HtmlImageKind::kBitmap, 3, HtmlSize{20, 10});
  HtmlSize size;
  ASSERT_EQ(l.drawer.MeasureHtml(canvas, u"<a href=\"http://x.example/\">a<bmp idres=3>b</a>", &size), 0);
  for (int paint = 0; paint < 2; paint++) {
    l.drawer.DrawHtml(canvas, HtmlRect{0, 0, size.cx, size.cy});
    ASSERT_EQ(l.drawer.linkAreas().size(), 3u);  // rebuilt by each paint, never accumulated
  }
  EXPECT_EQ(l.drawer.linkAreas()[1].rect.left, 7);
  EXPECT_EQ(l.drawer.linkAreas()[1].rect.right, 27);
  EXPECT_EQ(l.drawer.HitTestLink(20, 2), 1);
}

TEST(HtmlLink, AddressesAreCheckedAndEncoded) {
  const struct {
    const char16_t *text;
    const char16_t *address;  // null: refused
  } cases[] = {
      {u"https://example.com/a b", u"https://example.com/a%20b"},
      {u"HTTP://Example.com", u"HTTP://Example.com"},
      {u"http://x/\"q\" 'r'", u"http://x/%22q%22%20%27r%27"},
      {u"http://x/a&b|c<d>", u"http://x/a&b%7Cc%3Cd%3E"},
      {u"http://x/\u00E9\uD55C", u"http://x/%C3%A9%ED%95%9C"},
      {u"http://x/\U0001F600", u"http://x/%F0%9F%98%80"},
      {u"http://x/%41", u"http://x/%41"},
      {u"https://e/x\" -new", u"https://e/x%22%20-new"},  // nothing can end the address
      {u"http://", nullptr},
      {u"https:///path", nullptr},
      {u"file:///c:/windows/notepad.exe", nullptr},
      {u"javascript:alert(1)", nullptr},
      {u"calc.exe", nullptr},
      {u"c:\\windows\\calc.exe", nullptr},
      {u"", nullptr},
      {u" http://x/", nullptr},
      {u"http://x/\r\nrest", nullptr},
  };
  for (const auto &c : cases) {
    std::u16string address = u"stale";
    const int rc = HtmlDrawer::EncodeLinkAddress(c.text, &address);
    if (c.address == nullptr) {
      EXPECT_EQ(rc, v7::kErrHtmlLinkAddress);
      EXPECT_TRUE(address.empty());
    } else {
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(address, c.address);
    }
  }
  // Half of a surrogate pair is no character.
  for (const std::u16string &tail : {std::u16string(1, char16_t(0xD800)), std::u16string{char16_t(0xD800), u'a'},
                                     std::u16string(1, char16_t(0xDC00))}) {
    std::u16string address;
    EXPECT_EQ(HtmlDrawer::EncodeLinkAddress(u"http://x/" + tail, &address), v7::kErrHtmlLinkAddress);
  }
}

TEST(HtmlLink, LinksAreFollowedOnlyThroughTheSeams) {
  Linked l(u"<a href=\"https://example.com/a b\">ab</a><a msg=\"hello\">cd</a><a href=\"file:///c:/x.exe\">ef</a>"
           u"<a href=\"\">gh</a>");
  ASSERT_EQ(l.drawer.linkAreas().size(), 4u);
  // Nobody set to take them: nothing happens.
  EXPECT_EQ(l.drawer.FollowLink(0), v7::kErrHtmlLinkNotFollowed);
  intptr_t answer = 7;
  EXPECT_EQ(l.drawer.FollowLink(1, &answer), v7::kErrHtmlLinkNotFollowed);
  EXPECT_EQ(answer, 0);
  std::vector<std::u16string> opened, messages;
  l.drawer.openLink = [&](const std::u16string &address) {
    opened.push_back(address);
    return 0;
  };
  l.drawer.linkMessage = [&](const std::u16string &text) {
    messages.push_back(text);
    return intptr_t(42);
  };
  EXPECT_EQ(l.drawer.FollowLink(0), 0);
  EXPECT_EQ(l.drawer.FollowLink(1, &answer), 0);
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(l.drawer.FollowLink(2), v7::kErrHtmlLinkAddress);  // never handed over
  EXPECT_EQ(l.drawer.FollowLink(3), v7::kErrHtmlLinkNotFollowed);  // an empty link
  EXPECT_EQ(l.drawer.FollowLink(4), v7::kErrHtmlLinkNotFollowed);
  EXPECT_EQ(l.drawer.FollowLink(-1), v7::kErrHtmlLinkNotFollowed);
  EXPECT_EQ(opened, std::vector<std::u16string>{u"https://example.com/a%20b"});
  EXPECT_EQ(messages, std::vector<std::u16string>{u"hello"});
  // The opener's code comes back.
  l.drawer.openLink = [](const std::u16string &) { return int(v7::kErrInvalidParameter); };
  EXPECT_EQ(l.drawer.FollowLink(0), v7::kErrInvalidParameter);
}

TEST(HtmlLink, ResourceTipTextIsTheSecondLine) {
  HtmlDrawer drawer(HtmlGeneration::kSecond, v7test::TestSystemColor);
  EXPECT_EQ(drawer.GetResourceTipText(1), u"");  // no strings at all
  drawer.loadString = [](int id) -> std::u16string {
    switch (id) {
      case 1: return u"title\ntip\nmore";
      case 2: return u"title\ntip";
      case 3: return u"no line feed";
      case 4: return u"\n\n";
      default: return u"";
    }
  };
  EXPECT_EQ(drawer.GetResourceTipText(1), u"tip");
  EXPECT_EQ(drawer.GetResourceTipText(2), u"tip");
  EXPECT_EQ(drawer.GetResourceTipText(3), u"");
  EXPECT_EQ(drawer.GetResourceTipText(4), u"");
  EXPECT_EQ(drawer.GetResourceTipText(5), u"");
  EXPECT_EQ(drawer.GetResourceTipText(0), u"");
}

}  // namespace
