#include "pki/text/strings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TEST(LCopy, CutsTerminatesAndReportsTheWholeLength) {
  char buf[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(str_lcopy(sizeof(buf), buf, "abcdef"), 6u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(str_lcopy(sizeof(buf), buf, "ab"), 2u);
  EXPECT_STREQ(buf, "ab");
  buf[0] = 'x';
  EXPECT_EQ(str_lcopy(0, buf, "abc"), 3u);
  EXPECT_EQ(buf[0], 'x');  // capacity 0 writes nothing
  EXPECT_EQ(str_lcopy(1, buf, "abc"), 3u);
  EXPECT_STREQ(buf, "");
  char16_t w[3];
  EXPECT_EQ(wstr_lcopy(3, w, u"\uD55C\uAE00\uC790"), 3u);
  EXPECT_EQ(std::u16string(w), u"\uD55C\uAE00");
}

struct CopyCase {
  size_t capacity;
  const char *src;
  int want;
  const char *result;
};

TEST(CopyS, Table) {
  const CopyCase cases[] =
      {
          {8, "abc", 0, "abc"}, {4, "abc", 0, "abc"},
          {3, "abc", 34, ""},  // exactly the capacity: no terminator room
          {1, "", 0, ""},       {0, "abc", 22, nullptr},
          {8, nullptr, 22, ""}, {0x10000000, "abc", 22, nullptr},
      };
  for (const CopyCase &c : cases) {
    char buf[8] = "junk";
    errno = 0;
    EXPECT_EQ(str_copy_s(c.capacity, c.src, buf), c.want) << c.capacity;
    EXPECT_EQ(errno, c.want);
    EXPECT_STREQ(buf, c.result != nullptr ? c.result : "junk") << c.capacity;
  }
  EXPECT_EQ(str_copy_s(8, "abc", nullptr), 22);
  char16_t w[3] = u"xy";
  EXPECT_EQ(wstr_copy_s(3, u"abc", w), 34);
  EXPECT_EQ(w[0], 0);
}

TEST(CatS, AppendsWithinTheCapacity) {
  char buf[8] = "ab";
  EXPECT_EQ(str_cat_s("cde", sizeof(buf), buf), 0);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(str_cat_s("fg", sizeof(buf), buf), 0);
  EXPECT_STREQ(buf, "abcdefg");
  EXPECT_EQ(str_cat_s("h", sizeof(buf), buf), 34);
  EXPECT_STREQ(buf, "");
  memcpy(buf, "abcdefgh", 8);  // no terminator within the capacity
  EXPECT_EQ(str_cat_s("x", sizeof(buf), buf), 22);
  EXPECT_STREQ(buf, "");
  strcpy(buf, "ab");
  EXPECT_EQ(str_cat_s(nullptr, sizeof(buf), buf), 22);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(str_cat_s("x", 0, buf), 22);
}

TEST(AppendLowFolder, FitsUpToTheWidePathLimit) {
  const std::u16string low = u"\\AppData\\LocalLow";
  char16_t buf[kWidePathCapacity];
  std::u16string base(kWidePathCapacity - 1 - low.size(), u'a');
  wstr_copy_s(kWidePathCapacity, base.c_str(), buf);
  EXPECT_EQ(append_low_folder(buf), 0);
  EXPECT_EQ(std::u16string(buf), base + low);
  base += u'a';
  wstr_copy_s(kWidePathCapacity, base.c_str(), buf);
  EXPECT_EQ(append_low_folder(buf), 34);
  EXPECT_EQ(buf[0], 0);
}

TEST(Snprintf, TruncatesTerminatesAndReportsTheWholeLength) {
  char buf[8];
  errno = 1234;
  EXPECT_EQ(safe_snprintf(buf, sizeof(buf), "%s-%d", "abcdef", 42), 9);
  EXPECT_STREQ(buf, "abcdef-");
  EXPECT_EQ(errno, 1234);  // a cut text is not an error
  EXPECT_EQ(safe_snprintf(buf, 1, "%d", 5), 1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(safe_snprintf(nullptr, 0, "%lld|%zu", 1LL << 40, size_t(7)), 15);
  EXPECT_EQ(safe_snprintf(buf, sizeof(buf), "%lld", -5LL), 2);
  EXPECT_STREQ(buf, "-5");
  EXPECT_EQ(safe_snprintf(nullptr, 4, "x"), -1);
  EXPECT_EQ(errno, 22);
  EXPECT_EQ(safe_snprintf(buf, sizeof(buf), nullptr), -1);
  EXPECT_EQ(errno, 22);
}

TEST(Swprintf, WideTextsNumbersAndTruncation) {
  char16_t buf[32];
  EXPECT_EQ(safe_swprintf(buf, 32, u"%s:%hs:%d:%04X:%-3c|%5s|%.2s", u"\uD55C\uAE00", "ab", -7, 0xBEEFu, u'z',
                          u"x", u"abc"),
            26);
  EXPECT_EQ(std::u16string(buf), u"\uD55C\uAE00:ab:-7:BEEF:z  |    x|ab");
  EXPECT_EQ(safe_swprintf(buf, 4, u"%s", u"abcdef"), 6);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(safe_swprintf(buf, 1, u"%d", 5), 1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(safe_swprintf(buf, 32, u"%lu%%%lld", 4000000000ul, -1LL), 13);
  EXPECT_EQ(std::u16string(buf), u"4000000000%-1");
  EXPECT_EQ(safe_swprintf(buf, 32, u"%f", 1.0), -1);  // not a conversion the toolkit uses: refused
  EXPECT_EQ(errno, 22);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(safe_swprintf(nullptr, 2, u"x"), -1);
}

TEST(Trim, BlanksAndTabsAtBothEnds) {
  const char *cases[][2] = {{"  a b \t", "a b"}, {"\t\t", ""}, {"", ""}, {"x", "x"}, {" \n ", "\n"}};
  for (auto &c : cases) {
    char buf[16];
    strcpy(buf, c[0]);
    EXPECT_STREQ(str_trim(buf), c[1]);
  }
  EXPECT_EQ(str_trim(nullptr), nullptr);
}

TEST(WipeFree, AcceptsNull) {
  str_wipe_free(nullptr);
  wstr_wipe_free(nullptr);
  char *p = static_cast<char *>(malloc(8));
  strcpy(p, "secret");
  str_wipe_free(p);
}

TEST(HexEncode, Lowercase) {
  const uint8_t in[] = {0x00, 0xAB, 0x7F, 0xFF};
  char out[9];
  EXPECT_EQ(hex_encode_lower(4, nullptr, in, 0), 8);
  EXPECT_EQ(hex_encode_lower(4, out, in, 8), -1);
  EXPECT_EQ(errno, 1002);
  EXPECT_EQ(hex_encode_lower(4, out, in, 9), 8);
  EXPECT_STREQ(out, "00ab7fff");
  EXPECT_EQ(hex_encode_lower(0, out, in, 9), -1);
  EXPECT_EQ(errno, 1001);
  EXPECT_EQ(hex_encode_lower(4, out, nullptr, 9), -1);
  EXPECT_EQ(errno, 1001);
}

TEST(VersionCompare, Table) {
  struct {
    const char *a, *b;
    int want;
  } cases[] = {
      {"1.2.10", "1.2.9", 1},
      {"1.2", "1.2.0", -1},
      {"2", "2", 0},
      {"1,0,3,7", "1.0.3.7", 0},
      {"10.0", "9.9", 1},
      {"", "0", -1},
      {"", "", 0},
      {"1.2.3", "1.3", -1},
      {"99999999999999999999999.1", "18446744073709551615.2", -1},  // a saturated field equals the maximum
  };
  for (auto &c : cases) {
    EXPECT_EQ(version_compare(c.a, c.b), c.want) << c.a << " " << c.b;
    EXPECT_EQ(version_compare(c.b, c.a), -c.want) << c.b << " " << c.a;
  }
}

}  // namespace
