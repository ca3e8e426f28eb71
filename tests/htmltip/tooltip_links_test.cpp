// The addresses the first-generation tooltip opens: the query encoded whole.
#include <gtest/gtest.h>

#include "htmltip/tooltip_links.h"

namespace {

using namespace v7::htmltip;

TEST(TooltipLinks, TheQueryIsEncodedWhole) {
  EXPECT_EQ(AppendQuery(u"https://e/list?subject=", u"cn=Hong,ou=RA"), u"https://e/list?subject=cn%3DHong%2Cou%3DRA");
  EXPECT_EQ(AppendQuery(u"p?q=", u"a b\"c&d%"), u"p?q=a%20b%22c%26d%25");
  EXPECT_EQ(AppendQuery(u"p?q=", u"\uD64D"), u"p?q=%ED%99%8D");              // Hangul: three bytes
  EXPECT_EQ(AppendQuery(u"p?q=", u"\U0001F600"), u"p?q=%F0%9F%98%80");       // a surrogate pair
  EXPECT_EQ(AppendQuery(u"p?q=", std::u16string(1, char16_t(0xD800))), u"p?q=%EF%BF%BD");
  EXPECT_EQ(AppendQuery(u"p?q=", u"\u00e9-._~"), u"p?q=%C3%A9-._~");
  EXPECT_EQ(AppendQuery(u"p?q=", u""), u"p?q=");
}

}  // namespace
