// The links of the HTML drawers: what lies under the mouse, the hot link, and following a link
// through the owner. A hyperlink leaves the drawer only as a checked, encoded http or https
// address: the text of a tooltip never reaches a shell, a registry command or a command line.
#include <algorithm>
#include <string>

#include "htmltip/html_drawer.h"
#include "htmltip/internal.h"
#include "platform/errors/error_codes.h"

namespace v7::htmltip {
namespace {

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); i++) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

bool IsUnsafeInAddress(uint32_t c) {
  return c == u' ' || c == u'"' || c == u'\'' || c >= 0x80 || std::u16string_view(u"<>\\^`{|}").find(char16_t(c)) !=
                                                                   std::u16string_view::npos;
}

}  // namespace

int HtmlDrawer::EncodeLinkAddress(std::u16string_view text, std::u16string *address) {
  address->clear();
  const size_t scheme = StartsWithNoCase(text, u"https://") ? 8 : StartsWithNoCase(text, u"http://") ? 7 : 0;
  const size_t hostEnd = std::min(text.find_first_of(u"/?#", scheme), text.size());
  if (scheme == 0 || hostEnd == scheme) return v7::kErrHtmlLinkAddress;
  std::u16string out;
  for (size_t i = 0; i < text.size(); i++) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return v7::kErrHtmlLinkAddress;
    }
    if (c < 0x20 || c == 0x7F) return v7::kErrHtmlLinkAddress;
    if (IsUnsafeInAddress(c)) {
      internal::AppendPercentEncoded(c, &out);
    } else {
      out.push_back(char16_t(c));
    }
  }
  *address = std::move(out);
  return 0;
}

int HtmlDrawer::HitTestLink(int x, int y) const {
  for (size_t i = 0; i < links_.size(); i++) {
    const HtmlRect &r = links_[i].rect;
    if (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) return int(i);
  }
  return -1;
}

bool HtmlDrawer::OnMouseOverLink(int x, int y) {
  const int index = HitTestLink(x, y);
  if (index < 0) {
    if (hotLink != -2) {
      hotLink = -2;
      if (redrawRequest) redrawRequest(hotLink);
    }
    return false;
  }
  const int number = links_[size_t(index)].number;
  if (number != hotLink) {
    hotLink = number;
    // The owner repaints, and the paint rebuilds the link areas: what lies under the mouse is
    // asked again of the areas it left.
    if (redrawRequest) {
      redrawRequest(hotLink);
      const int now = HitTestLink(x, y);
      return now >= 0 && !links_[size_t(now)].text.empty();
    }
  }
  // Every time the mouse is over the link, not only when it enters it: the owner sets the cursor
  // on each WM_SETCURSOR, and would otherwise flicker back to the arrow.
  return !links_[size_t(index)].text.empty();
}

int HtmlDrawer::FollowLink(int index, intptr_t *answer) {
  if (answer != nullptr) *answer = 0;
  if (index < 0 || size_t(index) >= links_.size() || links_[size_t(index)].text.empty())
    return v7::kErrHtmlLinkNotFollowed;
  // A copy: the owner may repaint (and rebuild the link areas) before it returns.
  const HtmlLinkRecord link = links_[size_t(index)];
  if (link.kind == 1) {
    std::u16string address;
    const int rc = EncodeLinkAddress(link.text, &address);
    if (rc != 0) return rc;
    if (!openLink) return v7::kErrHtmlLinkNotFollowed;
    return openLink(address);
  }
  if (link.kind != 2 || !linkMessage) return v7::kErrHtmlLinkNotFollowed;
  const intptr_t result = linkMessage(link.text);
  if (answer != nullptr) *answer = result;
  return 0;
}

std::u16string HtmlDrawer::GetResourceTipText(int id) const {
  if (id == 0 || !loadString) return std::u16string();
  const std::u16string text = loadString(id);
  const size_t first = text.find(u'\n');
  if (first == std::u16string::npos) return std::u16string();
  const size_t end = std::min(text.find(u'\n', first + 1), text.size());
  return text.substr(first + 1, end - first - 1);
}

}  // namespace v7::htmltip
