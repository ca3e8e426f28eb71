// The card's record layout and command bytes, byte for byte, without a card.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "media/smartcard/internal.h"
#include "media/smartcard/smartcard.h"
#include "pki/errors/error_tables.h"
#include "platform/errors/error_codes.h"

namespace sc = v7::smartcard;

namespace {

std::vector<uint8_t> hex(const std::string &text) {
  std::string digits;
  for (char c : text)
    if (c != ' ') digits += c;
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return out;
}

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> data(n);
  for (size_t i = 0; i < n; i++) data[i] = static_cast<uint8_t>(i * 7 + 3);
  return data;
}

TEST(CardRecords, CommandBytes) {
  EXPECT_EQ(sc::apdu_select_fid(kScFileSign), hex("00A4000002F300"));
  EXPECT_EQ(sc::apdu_select_fid(kScFileKm), hex("00A4000002F400"));
  EXPECT_EQ(sc::apdu_select_aid(kScFileSign), hex("00A4040007D4106509900030"));
  EXPECT_EQ(sc::apdu_select_aid(kScFileKm), hex("00A4040007D4106509900040"));
  const struct {
    int kind;
    const char *read;
  } reads[] = {{3, "00B2011C34"}, {4, "00B2012434"}, {5, "00B2012C2A"}, {6, "00B2013406"}};
  for (const auto &r : reads) {
    auto le = static_cast<uint8_t>(sc::record_content_length(r.kind) + 2);
    EXPECT_EQ(sc::apdu_read_record(1, r.kind, le), hex(r.read)) << r.kind;
  }
  // An 8-byte PIN goes as it is; a shorter one is padded with zero bytes to 8.
  v7::SecureBytes eight = sc::apdu_verify(reinterpret_cast<const uint8_t *>("12345678"), 8, 1);
  EXPECT_EQ(eight.bytes, hex("00200001083132333435363738"));
  v7::SecureBytes four = sc::apdu_verify(reinterpret_cast<const uint8_t *>("1234"), 4, 0x81);
  EXPECT_EQ(four.bytes, hex("00200081083132333400000000"));
}

// What each object size takes: the record count and the exact record images.
TEST(CardRecords, ObjectImages) {
  const struct {
    int kind;
    size_t n;
    size_t records;
  } cases[] = {{4, 0, 1},     {4, 1, 1},     {4, 47, 1}, {4, 48, 1}, {4, 49, 2}, {4, 98, 2}, {4, 99, 3},
               {4, 1000, 21}, {3, 4095, 82}, {5, 20, 1}, {5, 38, 1}, {5, 39, 2}, {5, 50, 2}};
  for (const auto &c : cases) {
    std::vector<uint8_t> data = pattern(c.n);
    auto records = sc::object_records(c.kind, data.data(), c.n);
    ASSERT_EQ(records.size(), c.records) << c.kind << "/" << c.n;
    EXPECT_EQ(sc::records_for(c.kind, c.n), c.records);
    size_t l = sc::record_content_length(c.kind);
    std::vector<uint8_t> joined;
    for (size_t r = 0; r < records.size(); r++) {
      ASSERT_EQ(records[r].size(), l + 2);
      EXPECT_EQ(records[r][0], 0x70);
      EXPECT_EQ(records[r][1], l);
      joined.insert(joined.end(), records[r].begin() + (r == 0 ? 4 : 2), records[r].end());
    }
    EXPECT_EQ(records[0][2], c.n >> 8);
    EXPECT_EQ(records[0][3], c.n & 0xFF);
    // The object, then zero padding to the end of the last record.
    ASSERT_GE(joined.size(), c.n);
    EXPECT_EQ(std::vector<uint8_t>(joined.begin(), joined.begin() + c.n), data);
    for (size_t i = c.n; i < joined.size(); i++) ASSERT_EQ(joined[i], 0) << c.n;
  }
  // A 1,000-byte certificate: 48 bytes in record 1, 50 in each of records 2 to 21, the last
  // holding 2 bytes and 48 of padding.
  std::vector<uint8_t> cert = pattern(1000);
  auto records = sc::object_records(4, cert.data(), cert.size());
  std::vector<uint8_t> first = hex("703203E8");
  first.insert(first.end(), cert.begin(), cert.begin() + 48);
  EXPECT_EQ(records[0], first);
  std::vector<uint8_t> last = hex("7032");
  last.insert(last.end(), cert.end() - 2, cert.end());
  last.resize(52, 0);
  EXPECT_EQ(records[20], last);
  EXPECT_EQ(sc::apdu_update_record(21, 4, records[20]), [&] {
    std::vector<uint8_t> a = hex("00DC152434");
    a.insert(a.end(), last.begin(), last.end());
    return a;
  }());
}

// A record answer is used only when it is a whole record of its kind holding what is needed.
TEST(CardRecords, AnswersChecked) {
  std::vector<uint8_t> good = hex("7032");
  good.resize(52, 0xAB);
  good.push_back(0x90);
  good.push_back(0x00);
  EXPECT_NE(sc::record_answer_content(good, 4, 50), nullptr);

  std::vector<uint8_t> short_last = hex("70029999 9000");  // 2 bytes of content: enough for 2
  EXPECT_NE(sc::record_answer_content(short_last, 4, 2), nullptr);

  const struct {
    const char *name;
    std::vector<uint8_t> answer;
    size_t needed;
  } bad[] = {
      {"status only", hex("9000"), 2},
      {"wrong tag", hex("71020000 9000"), 2},
      {"length past the answer", hex("70320000 9000"), 2},
      {"content shorter than needed", short_last, 3},
      {"longer than the kind's record",
       [] {
         std::vector<uint8_t> a = hex("7033");
         a.resize(53, 0);
         a.push_back(0x90);
         a.push_back(0x00);
         return a;
       }(),
       2},
      {"bytes after the record", hex("7002000000 9000"), 2},
  };
  for (const auto &b : bad) {
    errno = 0;
    EXPECT_EQ(sc::record_answer_content(b.answer, 4, b.needed), nullptr) << b.name;
    EXPECT_EQ(errno, v7::kErrCardAnswer) << b.name;
  }
  EXPECT_EQ(sc::status_word(hex("90")), 0u);
  EXPECT_TRUE(sc::status_ok(0x9000));
  EXPECT_TRUE(sc::status_ok(0x6110));
  EXPECT_FALSE(sc::status_ok(0x6C34));
}

// Every code the store leaves in errno has its text in the error tables.
TEST(CardRecords, CodesHaveTexts) {
  const struct {
    int code;
    const char *text;
  } codes[] = {
      {v7::kErrCardContext, "SMART CARD - Failed to Establish Context"},
      {v7::kErrCardTransmit, "SMART CARD - Failed to Transmit"},
      {v7::kErrCardAnswer, "SMART CARD - Invalid Response"},
      {v7::kErrCardSelect, "SMART CARD - Failed to Select File"},
      {v7::kErrCardAbsent, "SMART CARD - Smart Card is absent"},
      {v7::kErrCardRead, "SMART CARD - Failed to Read Binary"},
      {v7::kErrCardWrite, "SMART CARD - Failed to Update Binary"},
      {v7::kErrCardPinWrong, "SMART CARD - Failed to Verify PIN"},
      {v7::kErrCardPinLocked, "SMART CARD - PIN is Locked"},
      {v7::kErrCardNoSpace, "SMART CARD - Not Enough Space"},
      {v7::kErrCardLayout, "SMART CARD - Invalid File Layout"},
      {v7::kErrCardNotFound, "SMART CARD - File or Record Not Found"},
      {v7::kErrPinInvalid, "PIN - Invalid PIN"},
      {v7::kErrPinRequired, "PIN - PIN is Required"},
  };
  for (const auto &c : codes) {
    const char *text = err_text_en(c.code);
    ASSERT_NE(text, nullptr) << c.code;
    EXPECT_STREQ(text, c.text);
  }
}

}  // namespace
