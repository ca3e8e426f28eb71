#include "pki/errors/error_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "pki/errors/internal.h"
#include "pki/text/codepage.h"
#include "platform/locale/process_words.h"
#include "tests/harness/vectors.h"

namespace {

// The codes that have a text in both tables and those with a Korean text only, as the library
// has always listed them, and the codes added since (14094, 16402, 15324-15325 of the IC card,
// and 16325 of the store).
const char kBothCodes[] =
    // decimal
    "1000-1019, 1050, 1100-1107, 1110-1163, 1190-1194, 1200-1204, 1210-1228, 1230-1232, "
    "1240-1241, 1244-1250, 1260, 1265, 1300-1306, 1310-1313, 1400-1401, 1410-1412, 1450-1453, "
    "1460-1461, 1463-1464, 1500-1506, 10001-10005, 10010-10013, 10050-10055, 10070-10074, "
    "10090-10091, 10110-10114, 10120-10125, 10130, 10150-10156, 10161, 10300-10302, 10304-10305, "
    "10310-10311, 10313-10314, 10316-10318, 10320-10324, 10326-10327, 10330-10353, 10360-10365, "
    "10400-10404, 10500-10513, 10515-10525, 10540-10541, 10550-10555, 10560-10566, 10570-10571, "
    "10580-10582, 10600-10610, 10699-10703, 10710-10712, 10720-10721, 10730-10737, 10800, 10810, "
    "10900-10902, 10910-10919, 10950-10960, 11050-11064, 11070-11073, 11080, 11100-11107, "
    "11110-11112, 11120-11125, 11300-11311, 11320, 11930-11934, 12900, 12904-12908, 12911-12912, "
    "12922, 12950, 13220-13223, 13230, 13240-13242, 13300-13301, 14000-14002, 14004-14005, "
    "14010-14011, 14020-14022, 14024-14030, 14040-14042, 14050-14051, 14055-14065, 14069-14072, "
    "14074-14082, 14085, 14090-14094, 14100-14102, 15000-15002, 15050-15051, 15100, 15150, "
    "15200-15206, 15220-15224, 15230-15249, 15300-15325, 15350-15352, 15360-15363, 16000-16004, "
    "16010-16016, 16020-16021, 16210-16218, 16300-16306, 16310, 16315, 16320-16325, 16330-16332, "
    "16400-16402, 16410-16412, 16500-16502, 17000-17002, 17020-17033, 17100-17102, 17110, "
    "20000-20001, 20010-20015, 20100-20101, 20104-20112, 20150-20154, 20200-20205, 20210-20212, "
    "20902-20903, 20931-20932, 21000, 21010-21012, 21020, 21022, 21050-21056, 21080-21086, "
    "21100-21102, 21104, 21110-21112, 21120-21121, 21130, 21140, 21500, 21502-21503, 21600, "
    "21611-21621, 21640-21645, 21650, 31010, 31050-31051, 32800-32811, 32901, 32950-32951, "
    "32960-32961, 32970-32971, 33000-33005, 33010-33011, 33020, 33030-33033, 33371-33373, "
    "33750-33752, 33760-33770, 34100-34101, 34150-34152, 34160-34163, 34170-34173, 34180-34183, "
    "34190-34193, 34200-34201, 34210-34212, 34230-34231, 34240-34245, 34250-34255, 34260-34261, "
    "34266, 34270-34271, 34290-34296, 34310-34313, 34330-34334, 34350-34351, 34400-34406, "
    "34600-34603, 34610, 34701-34712, 40010-40011, "
    // secure-disk module
    "0x20001-0x20003, 0x20005-0x2000A, 0x20010-0x20013, 0x20020-0x20021, 0x20030-0x20032, "
    "0x20040-0x20041, 0x20050-0x20051, 0x20054, 0x20060, 0x20062-0x2006A, 0x20070-0x20071, "
    "0x20082, 0x20090-0x20091, 0x200A0-0x200A4, 0x200B0-0x200B1, 0x200B3-0x200B8, "
    "0x200C0-0x200C1, 0x200D0-0x200D1, 0x200E0-0x200E2, 0x200F0-0x200F2, 0x20100-0x20105, "
    "0x20110, 0x20112-0x20115, 0x20120-0x20121, 0x20130, 0x20150, 0x20160, 0x20170, 0x20180, "
    "0x20190-0x20191, 0x201A0-0x201A1, 0x201B0-0x201B1, 0x20200, 0x21000-0x2100B, "
    "0x21B5A-0x21B5B, 0x22000-0x22001, 0x22011-0x22013, 0x23000-0x23004, 0x23011-0x23013, "
    "0x23100-0x23101, 0x24000, 0x24003-0x2400C, "
    // XML
    "0xB0000, 0xB0010-0xB0014, 0xB0016-0xB0019, 0xB0030-0xB0031, "
    // PKCS#11
    "0x100001-0x100003, 0x100005-0x10000A, 0x100010-0x100013, 0x100020-0x100021, "
    "0x100030-0x100032, 0x100040-0x100041, 0x100050-0x100051, 0x100054, 0x100060, "
    "0x100062-0x10006A, 0x100070-0x100071, 0x100082, 0x100090-0x100091, 0x1000A0-0x1000A4, "
    "0x1000B0-0x1000B1, 0x1000B3-0x1000B8, 0x1000C0-0x1000C1, 0x1000D0-0x1000D1, "
    "0x1000E0-0x1000E2, 0x1000F0-0x1000F2, 0x100100-0x100105, 0x100110, 0x100112-0x100115, "
    "0x100120-0x100121, 0x100150, 0x100160, 0x100170, 0x100180, 0x100190-0x100191, "
    "0x1001A0-0x1001A1, "
    // vendor-defined
    "0x80100000, 0x89100001-0x89100008";

const char kKoreanOnlyCodes[] =
    "10312, 10315, 10325, 10514, 14003, 20901, 21103, 21501, 30000-30001, 30011-30012, "
    "30020-30023, 30030-30033, 30040-30042, 30050-30051, 30060-30061, 30071, 30136-30144, "
    "30146-30148, 30160-30163, 30170-30173, 30180-30182, 30190-30191, 30200-30201, 30300-30305, "
    "30310-30311, 30320-30321, 30330, 31510-31514, 31550-31551, 31590, 32600-32605, 32607-32609, "
    "33800-33806, 34050-34052, 34055, 34070, 720917";

std::vector<uint32_t> parse_codes(const char *list) {
  std::vector<uint32_t> codes;
  const char *p = list;
  while (*p) {
    char *end = nullptr;
    const unsigned long lo = std::strtoul(p, &end, 0);
    unsigned long hi = lo;
    if (*end == '-') hi = std::strtoul(end + 1, &end, 0);
    for (unsigned long c = lo; c <= hi; ++c) codes.push_back(static_cast<uint32_t>(c));
    while (*end == ',' || *end == ' ') ++end;
    EXPECT_NE(end, p) << "unparsable code list at: " << p;
    if (end == p) break;
    p = end;
  }
  return codes;
}

class ErrorTablesTest : public ::testing::Test {
 protected:
  void TearDown() override { set_char_encoding_mode(0); }
};

TEST_F(ErrorTablesTest, ListsHaveTheirDocumentedSizes) {
  EXPECT_EQ(parse_codes(kBothCodes).size(), 1086u);
  EXPECT_EQ(parse_codes(kKoreanOnlyCodes).size(), 96u);
}

// Every listed code has its texts in both encodings, and the tables hold no code beyond the lists.
TEST_F(ErrorTablesTest, EveryListedCodeHasItsTexts) {
  const std::vector<uint32_t> both = parse_codes(kBothCodes);
  const std::vector<uint32_t> korean_only = parse_codes(kKoreanOnlyCodes);
  for (int mode : {0, 1}) {
    set_char_encoding_mode(mode);
    for (uint32_t c : both) {
      const int code = static_cast<int>(c);
      EXPECT_STRNE(err_text_en(code), "") << "code " << c << " mode " << mode;
      EXPECT_STRNE(err_text_ko(code), "") << "code " << c << " mode " << mode;
    }
    for (uint32_t c : korean_only) {
      const int code = static_cast<int>(c);
      EXPECT_STREQ(err_text_en(code), "") << "code " << c;
      EXPECT_STRNE(err_text_ko(code), "") << "code " << c << " mode " << mode;
    }
  }
  std::set<uint32_t> listed(both.begin(), both.end());
  listed.insert(korean_only.begin(), korean_only.end());
  EXPECT_EQ(listed.size(), 1182u);
  ASSERT_EQ(v7::kErrTextRowCount, listed.size());
  for (size_t i = 0; i < v7::kErrTextRowCount; ++i) {
    EXPECT_EQ(listed.count(v7::kErrTextRows[i].code), 1u) << "unlisted code " << v7::kErrTextRows[i].code;
  }
}

TEST_F(ErrorTablesTest, UnknownCodesGiveTheEmptyText) {
  // Holes next to listed codes and ranges, the vendor band's edges, and the no-code values.
  const uint32_t unknown[] = {999,     1020,       1108,       1109,       0x20004, 0x100004,  0x1001A2,
                              0xB0001, 0x80100001, 0x89100000, 0x89100009, 0,       0xFFFFFFFF};
  for (int mode : {0, 1}) {
    set_char_encoding_mode(mode);
    for (uint32_t c : unknown) {
      const char *en = err_text_en(static_cast<int>(c));
      const char *ko = err_text_ko(static_cast<int>(c));
      ASSERT_NE(en, nullptr);
      ASSERT_NE(ko, nullptr);
      EXPECT_STREQ(en, "") << "code " << c;
      EXPECT_STREQ(ko, "") << "code " << c;
    }
  }
}

// The texts the library has always shown, byte for byte in English, UTF-8 and EUC-KR.
TEST_F(ErrorTablesTest, QuotedTextsMatchByteForByte) {
  const auto cases = v7test::load_vectors("error_texts.txt");
  EXPECT_EQ(cases.size(), 295u);
  for (const auto &t : cases) {
    SCOPED_TRACE(t.where());
    const int code = static_cast<int>(t.number("code"));
    set_char_encoding_mode(0);
    EXPECT_EQ(v7test::to_bytes(err_text_en(code)), t.bytes("en"));
    EXPECT_EQ(v7test::to_hex(v7test::to_bytes(err_text_ko(code))), v7test::to_hex(t.bytes("ko_euckr")));
    set_char_encoding_mode(kCharEncodingUtf8);
    EXPECT_EQ(v7test::to_bytes(err_text_ko(code)), t.bytes("ko"));
    EXPECT_EQ(v7test::to_bytes(err_text_en(code)), t.bytes("en"));
  }
}

// The EUC-KR twin is generated; this fails when someone edits one table and not the other.
TEST_F(ErrorTablesTest, EuckrTwinIsTheConvertedUtf8Table) {
  ASSERT_EQ(v7::kErrKoEuckrRowCount, v7::kErrTextRowCount);
  for (size_t i = 0; i < v7::kErrTextRowCount; ++i) {
    const v7::ErrTextRow &row = v7::kErrTextRows[i];
    ASSERT_EQ(v7::kErrKoEuckrRows[i].code, row.code);
    char *converted = nullptr;
    ASSERT_NE(utf8_to_euckr(row.ko, &converted), 0u) << "code " << row.code;
    EXPECT_STREQ(converted, v7::kErrKoEuckrRows[i].ko) << "code " << row.code;
    std::free(converted);
  }
}

}  // namespace
