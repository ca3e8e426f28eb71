#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "pki/validation/valcfg.h"

namespace {

std::string names(const char *policies) {
  char *out = reinterpret_cast<char *>(1);
  int rc = ca_names_list(policies, &out);
  EXPECT_EQ(rc, 0);
  if (rc != 0 || out == nullptr) return "<failed>";
  std::string text = out;
  free(out);
  return text;
}

TEST(CaNamesList, Cases) {
  struct Case {
    const char *input, *expected;
  };
  const Case cases[] = {
      {"", ""},
      {"1.2.3.4;2.5.29.32.0", ""},
      {"1.2.410.200005.1.1.1", "1;velmoraCA;1.2.410.200005.1.1.1;"},
      // Table order, not input order; within a CA, the table's OID order.
      {"1.2.410.200012.1.1.1;1.2.410.200004.5.1.1.5;1.2.410.200005.1.1.2;1.2.410.200005.1.1.4",
       "4;velmoraCA;1.2.410.200005.1.1.4;velmoraCA;1.2.410.200005.1.1.2;SignKorea CA;"
       "1.2.410.200004.5.1.1.5;TradeSignCA;1.2.410.200012.1.1.1;"},
      // Substring matching: a longer OID also reports the shorter one it starts with.
      {"1.2.410.200005.1.1.6.99", "1;velmoraCA;1.2.410.200005.1.1.6.9;"},
      {"1.2.410.200005.1.1.55", "1;velmoraCA;1.2.410.200005.1.1.5;"},
      {"1.2.410.200004.5.4.1.101",
       "2;CrossCertCA;1.2.410.200004.5.4.1.101;CrossCertCA;1.2.410.200004.5.4.1.1;"},
      {"x1.2.410.200004.5.2.1.7.1x", "1;signGATE FTCA02;1.2.410.200004.5.2.1.7.1;"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(names(c.input), c.expected);
  }
}

TEST(CaNamesList, EveryOidCounts) {
  const char *all =
      "1.2.410.200005.1.1.7.1;1.2.410.200005.1.1.6.0;1.2.410.200005.1.1.6.9;1.2.410.200005.1.1.6.8;"
      "1.2.410.200005.1.1.6.7;1.2.410.200005.1.1.6.6;1.2.410.200005.1.1.6.5;1.2.410.200005.1.1.6.4;"
      "1.2.410.200005.1.1.6.3;1.2.410.200005.1.1.6.1;1.2.410.200005.1.1.5;1.2.410.200005.1.1.4;"
      "1.2.410.200005.1.1.3;1.2.410.200005.1.1.2;1.2.410.200005.1.1.1;1.2.410.200004.5.2.1.7.1;"
      "1.2.410.200004.5.2.1.2;1.2.410.200004.5.2.1.1;1.2.410.200004.5.1.1.7;1.2.410.200004.5.1.1.5;"
      "1.2.410.200004.5.4.1.101;1.2.410.200004.5.4.1.2;1.2.410.200004.5.4.1.1;"
      "1.2.410.200012.1.1.101;1.2.410.200012.1.1.3;1.2.410.200012.1.1.1";
  std::string text = names(all);
  ASSERT_EQ(text.substr(0, 3), "26;");
  const std::string first = "velmoraCA;1.2.410.200005.1.1.7.1;";
  const std::string last = "TradeSignCA;1.2.410.200012.1.1.1;";
  EXPECT_EQ(text.substr(3, first.size()), first);
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
  EXPECT_EQ(std::count(text.begin(), text.end(), ';'), 1 + 2 * 26);
}

TEST(CaNamesList, NullArguments) {
  char *out = nullptr;
  errno = 0;
  EXPECT_EQ(ca_names_list(nullptr, &out), 1001);
  EXPECT_EQ(errno, 1001);
  EXPECT_EQ(ca_names_list("1.2.410.200005.1.1.1", nullptr), 1001);
}

}  // namespace
