// The DER helpers: the header reader and writer, INTEGER values, OID text and the two times.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace asn1test {
namespace {

TEST(Asn1Der, TagAndLengthWriterPicksTheShortestForm) {
  struct Case {
    uint32_t len;
    const char *header;
  } cases[] = {{0, "3000"},
               {127, "307f"},
               {128, "308180"},
               {255, "3081ff"},
               {256, "30820100"},
               {65535, "3082ffff"},
               {65536, "3083010000"},
               {0xFFFFFF, "3083ffffff"},
               {0x1000000, "308401000000"},
               {0xFFFFFFFF, "3084ffffffff"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.len);
    uint8_t out[8];
    std::memset(out, 0xEE, sizeof(out));
    size_t n = asn1_put_tag_len(out, c.len, 0x30);
    EXPECT_EQ(v7test::to_hex(out, n), c.header);
    EXPECT_EQ(out[n], 0xEE);
    EXPECT_EQ(asn1_put_tag_len(nullptr, c.len, 0x30), n);
  }
}

TEST(Asn1Der, HeaderReaderReportsTagsAndExtents) {
  struct Case {
    const char *input;
    int mode;
    uint32_t tag, number, header, content, eoc;
  } cases[] = {
      {"020105", ASN1_MODE_DER, 0x02, 2, 2, 1, 0},
      {"a080 020105 0000", ASN1_MODE_BER, 0xA0, 0, 2, 3, 1},
      {"5f8100 02 abcd", ASN1_MODE_DER, 0x5F, 128, 4, 2, 0},
      {"bfffffff7f 00", ASN1_MODE_DER, 0xBF, 0x0FFFFFFF, 6, 0, 0},
      {"9f1f 00", ASN1_MODE_DER, 0x9F, 31, 3, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.input);
    Bytes in = v7test::from_hex(c.input);
    ASN1_HEADER h;
    int rc = asn1_read_header(c.mode, in.data(), in.size(), &h);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(h.tag, c.tag);
    EXPECT_EQ(h.tag_number, c.number);
    EXPECT_EQ(h.header_len, c.header);
    EXPECT_EQ(h.content_len, c.content);
    EXPECT_EQ(h.eoc_count, c.eoc);
    EXPECT_EQ(h.constructed, c.tag & 0x20);
  }
  const uint8_t null_der[] = {0x05, 0x00};
  ASN1_HEADER h;
  EXPECT_EQ(asn1_read_header(2, null_der, 2, &h), v7::kErrInvalidParameter);
  EXPECT_EQ(asn1_read_header(ASN1_MODE_DER, null_der, 1, &h), v7::kErrAsn1Decode);
}

TEST(Asn1Der, IntegerToInt) {
  struct Case {
    const char *contents;
    int32_t value;
    int code;
  } cases[] = {
      {"01", 1, 0},
      {"7f", 127, 0},
      {"ff", -1, 0},
      {"80", -128, 0},
      {"0080", 128, 0},
      {"7fffffff", INT32_MAX, 0},
      {"80000000", INT32_MIN, 0},
      {"ff7f", -129, 0},
      {"0100000000", 0, v7::kErrAsn1IntegerTooLong},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.contents);
    Bytes b = v7test::from_hex(c.contents);
    ASN1_BYTES v{b.data(), uint32_t(b.size()), 0};
    errno = 12345;
    EXPECT_EQ(asn1_integer_to_int(&v), c.value);
    if (c.code != 0) {
      EXPECT_EQ(errno, c.code);
    }
  }
  uint8_t zero = 0;
  ASN1_BYTES v{&zero, 1, 0};
  errno = 12345;
  EXPECT_EQ(asn1_integer_to_int(&v), 0);
  EXPECT_EQ(errno, 0) << "a result of 0 clears errno";
  errno = 0;
  EXPECT_EQ(asn1_integer_to_int(nullptr), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(Asn1Der, Int1024) {
  uint8_t out[3] = {0xEE, 0xEE, 0xEE};
  EXPECT_EQ(der_int_1024(out), 2);
  EXPECT_EQ(v7test::to_hex(out, 3), "0400ee");
  EXPECT_EQ(der_int_1024(nullptr), 2);
}

TEST(Asn1Der, OidToText) {
  struct Case {
    const char *contents;
    const char *text;
    int code;
  } cases[] = {
      {"2a864886f70d010101", "1.2.840.113549.1.1.1", 0},
      {"550403", "2.5.4.3", 0},
      {"00", "0.0", 0},
      {"27", "0.39", 0},
      {"28", "1.0", 0},
      {"4f", "1.39", 0},
      {"50", "2.0", 0},
      {"7f", "2.47", 0},
      {"8100", "2.48", 0},
      {"8837", "2.999", 0},  // the first subidentifier spans two bytes under arc 2
      {"2a ffffff7f", "1.2.268435455", 0},
      {"2a8001", nullptr, v7::kErrAsn1OidText},
      {"2a86", nullptr, v7::kErrAsn1OidText},
      {"2a 8182838405", nullptr, v7::kErrAsn1OidText},
      {"8001", nullptr, v7::kErrAsn1OidText},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.contents);
    Bytes b = v7test::from_hex(c.contents);
    ASN1_BYTES oid{b.data(), uint32_t(b.size()), 0};
    char text[64];
    errno = 0;
    int n = oid_to_text(text, &oid, sizeof(text));
    if (c.text == nullptr) {
      EXPECT_EQ(n, 0);
      EXPECT_EQ(errno, c.code);
      continue;
    }
    ASSERT_EQ(n, int(std::strlen(c.text)));
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(oid_to_text(nullptr, &oid, 0), n);
    // The text and its terminator must fit: capacity n fails, n + 1 is enough.
    errno = 0;
    EXPECT_EQ(oid_to_text(text, &oid, size_t(n)), 0);
    EXPECT_EQ(errno, v7::kErrInsufficientBuffer);
    EXPECT_EQ(oid_to_text(text, &oid, size_t(n) + 1), n);
  }
  ASN1_BYTES empty{nullptr, 0, 0};
  char text[8];
  errno = 0;
  EXPECT_EQ(oid_to_text(text, &empty, sizeof(text)), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(Asn1Der, TimeTexts) {
  for (const v7test::VectorCase &c : v7test::load_vectors("asn1_time.txt")) {
    SCOPED_TRACE(c.where());
    Bytes text = c.bytes("text");
    std::string kind = c.text("kind");
    ASSERT_TRUE(kind == "utc" || kind == "gen");
    errno = 12345;
    int64_t t = kind == "utc"
                    ? asn1_utctime_to_time(reinterpret_cast<const char *>(text.data()), text.size())
                    : asn1_gentime_to_time(reinterpret_cast<const char *>(text.data()), text.size());
    if (c.has("code")) {
      EXPECT_EQ(t, -1);
      EXPECT_EQ(errno, int(c.number("code")));
    } else {
      EXPECT_EQ(t, c.number("time"));
      EXPECT_EQ(errno, 0);
    }
  }
  errno = 0;
  EXPECT_EQ(asn1_utctime_to_time(nullptr, 13), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  errno = 0;
  EXPECT_EQ(asn1_gentime_to_time("", 0), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

}  // namespace
}  // namespace asn1test
