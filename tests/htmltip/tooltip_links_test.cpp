// The addresses the first-generation tooltip opens: the query encoded whole, one quoted argument.
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

TEST(TooltipLinks, OneQuotedArgument) {
  EXPECT_EQ(QuotedWebArgument(u"https://e/x?q=a%20b"), u"\"https://e/x?q=a%20b\"");
  // The drawers' check encodes what could end the argument.
  EXPECT_EQ(QuotedWebArgument(u"https://e/x\" -new"), u"\"https://e/x%22%20-new\"");
  EXPECT_EQ(QuotedWebArgument(u"file:///c:/x"), u"");
  EXPECT_EQ(QuotedWebArgument(u""), u"");
  EXPECT_EQ(QuotedWebArgument(u"c:\\windows\\calc.exe"), u"");
}

}  // namespace
