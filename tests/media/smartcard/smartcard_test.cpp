// The IC-card store against a real PC/SC stack: pcscd, the vpcd driver and tools/vcard, whose
// first reader slot is empty (the store must pass over it) and whose second holds the card.
// Each test loads a card image, runs the store, and checks what it got back, the commands the
// card saw (its APDU log) and the card's records afterwards.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <PCSC/winscard.h>
#endif

#include "media/certlist.h"
#include "media/smartcard/internal.h"
#include "media/smartcard/smartcard.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "tests/media/cert_builder.h"
#include "tests/media/smartcard/card_test_base.h"
#include "tests/media/smartcard/vcard_client.h"

namespace {

const char kPin[] = "1234";

// A card with both files, their record files, the presence record and PIN 1234 (3 tries).
std::string blank_card(const std::string &extra = "", bool presence = true,
                       const std::string &pin_hex = "31323334") {
  std::string image = "pin " + pin_hex + "\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n";
  if (presence) image += "record F3 6 1 700401000000\n";
  image += "df F4\nef F4 3\nef F4 4\n";
  return image + extra;
}

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> data(n);
  for (size_t i = 0; i < n; i++) data[i] = static_cast<uint8_t>(i * 13 + seed);
  return data;
}

std::string hex(const uint8_t *p, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; i++) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

std::vector<std::u16string> &boxes() {
  static std::vector<std::u16string> texts;
  return texts;
}

int answer_box(const char16_t *text, const char16_t *, unsigned) {
  boxes().push_back(text);
  return 1;  // IDOK
}

using v7test::count_prefix;

// The object of a kind read back, or the errno of the failure.
struct Read {
  int rc = 0;
  int code = 0;
  std::vector<uint8_t> data;
};

Read read_cert(const char *pin, int file) {
  Read r;
  uint8_t *out = nullptr;
  size_t len = 0;
  errno = 0;
  r.rc = sc_read_cert(pin, &out, &len, file);
  r.code = errno;
  if (out != nullptr) r.data.assign(out, out + len);
  sc_free(out, len);
  return r;
}

Read read_key(const char *pin, int file) {
  Read r;
  uint8_t *out = nullptr;
  size_t len = 0;
  errno = 0;
  r.rc = sc_read_key(pin, &out, &len, file);
  r.code = errno;
  if (out != nullptr) r.data.assign(out, out + len);
  sc_free(out, len);
  return r;
}

Read read_random(const char *pin) {
  Read r;
  uint8_t *out = nullptr;
  size_t len = 0;
  errno = 0;
  r.rc = sc_read_random(pin, &out, &len);
  r.code = errno;
  if (out != nullptr) r.data.assign(out, out + len);
  sc_free(out, len);
  return r;
}

class SmartCard : public v7test::CardTestBase {
 protected:
  SmartCard() : CardTestBase(answer_box) {}
  void SetUp() override {
    CardTestBase::SetUp();
    boxes().clear();
  }
};

// A whole set written and read back: a 1,000-byte certificate takes records 1 to 21 of kind 4
// (48 bytes in the first, 50 in each further one, the last padded).
TEST_F(SmartCard, SetWrittenReadsBackEqual) {
  load(blank_card());
  std::vector<uint8_t> cert = pattern(1000, 1), key = pattern(1234, 2), km_cert = pattern(900, 3),
                       km_key = pattern(700, 4), random = pattern(20, 5);
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, cert.data(), cert.size()), 0) << errno;
  ASSERT_EQ(sc_write_key(kPin, kScFileSign, key.data(), key.size()), 0) << errno;
  ASSERT_EQ(sc_write_cert(kPin, kScFileKm, km_cert.data(), km_cert.size()), 0) << errno;
  ASSERT_EQ(sc_write_key(kPin, kScFileKm, km_key.data(), km_key.size()), 0) << errno;
  ASSERT_EQ(sc_write_random(kPin, random.data(), random.size()), 0) << errno;

  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, cert);
  EXPECT_EQ(read_key(kPin, kScFileSign).data, key);
  EXPECT_EQ(read_cert(kPin, kScFileKm).data, km_cert);
  EXPECT_EQ(read_key(kPin, kScFileKm).data, km_key);
  EXPECT_EQ(read_random(kPin).data, random);

  auto records = card_.records();
  size_t cert_records = 0;
  for (const auto &r : records) cert_records += std::get<0>(r.first) == "F3" && std::get<1>(r.first) == 4;
  EXPECT_EQ(cert_records, 21u);
  EXPECT_EQ((records[{"F3", 4, 1}]), "703203E8" + hex(cert.data(), 48));
  EXPECT_EQ((records[{"F3", 4, 2}]), "7032" + hex(cert.data() + 48, 50));
  EXPECT_EQ((records[{"F3", 4, 21}]), "7032" + hex(cert.data() + 998, 2) + std::string(96, '0'));
  EXPECT_EQ((records[{"F3", 5, 1}]), "70280014" + hex(random.data(), 20) + std::string(36, '0'));
  EXPECT_TRUE(boxes().empty());
}

// The commands of one write, in order: open (SELECT F300, VERIFY), record 1 cleared to length 0,
// records 2 to n, then record 1 with the length.
TEST_F(SmartCard, WriteCommandSequence) {
  load(blank_card());
  std::vector<uint8_t> cert = pattern(120, 9);
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, cert.data(), cert.size()), 0) << errno;
  auto records = v7::smartcard::object_records(kScKindCert, cert.data(), cert.size());
  std::vector<std::string> expected = {"00A4000002F300", "00200001083132333400000000",
                                       "00DC0124347032" + std::string(100, '0')};
  for (int r : {2, 3})
    expected.push_back("00DC0" + std::to_string(r) + "2434" + hex(records[r - 1].data(), 52));
  expected.push_back("00DC012434" + hex(records[0].data(), 52));
  EXPECT_EQ(card_.commands(), expected);
}

// Sizes at the record edges write and read back; 0 and 4,096 bytes are refused before anything
// is sent, and so is a VID value the reader could not take back.
TEST_F(SmartCard, ObjectSizes) {
  for (size_t n : {1u, 47u, 48u, 49u, 98u, 99u, 4095u}) {
    load(blank_card());
    std::vector<uint8_t> data = pattern(n, static_cast<uint8_t>(n));
    ASSERT_EQ(sc_write_key(kPin, kScFileKm, data.data(), n), 0) << n << " " << errno;
    EXPECT_EQ(read_key(kPin, kScFileKm).data, data) << n;
  }
  for (size_t n : {45u, 50u}) {  // a VID value past the first record
    load(blank_card());
    std::vector<uint8_t> data = pattern(n, 7);
    ASSERT_EQ(sc_write_random(kPin, data.data(), n), 0) << n;
    EXPECT_EQ(read_random(kPin).data, data) << n;
  }
  load(blank_card());
  std::vector<uint8_t> big = pattern(4096, 1);
  errno = 0;
  EXPECT_EQ(sc_write_cert(kPin, kScFileSign, big.data(), 4096), -1);
  EXPECT_EQ(errno, v7::kErrCardNoSpace);
  errno = 0;
  EXPECT_EQ(sc_write_random(kPin, big.data(), 51), -1);
  EXPECT_EQ(errno, v7::kErrCardNoSpace);
  errno = 0;
  EXPECT_EQ(sc_write_cert(kPin, kScFileSign, big.data(), 0), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_TRUE(card_.log().empty());
}

// A card that refuses SELECT by file id is reached by application id, with the same result.
TEST_F(SmartCard, ApplicationIdFallback) {
  std::vector<uint8_t> cert = pattern(300, 4);
  load(blank_card("quirk no_fid\n"));
  ASSERT_EQ(sc_write_cert(kPin, kScFileKm, cert.data(), cert.size()), 0) << errno;
  EXPECT_EQ(read_cert(nullptr, kScFileKm).data, cert);
  auto log = card_.log();
  std::vector<std::string> selects;
  for (size_t i = 0; i + 1 < log.size(); i++)
    if (log[i].rfind("> 00A4", 0) == 0) selects.push_back(log[i].substr(2) + " " + log[i + 1].substr(2));
  ASSERT_GE(selects.size(), 4u);
  EXPECT_EQ(selects[0], "00A4000002F300 6A82");
  EXPECT_EQ(selects[1], "00A4040007D4106509900030 9000");
  EXPECT_EQ(selects[2], "00A4000002F400 6A82");
  EXPECT_EQ(selects[3], "00A4040007D4106509900040 9000");
}

// A card that keeps the PIN under reference 81 answers 6A 88 to 01: VERIFY goes again with 81.
TEST_F(SmartCard, PinReference81) {
  load(blank_card("quirk pin_ref_81\n"));
  std::vector<uint8_t> key = pattern(200, 8);
  ASSERT_EQ(sc_write_key(kPin, kScFileSign, key.data(), key.size()), 0) << errno;
  card_.clear_log();
  EXPECT_EQ(read_key(kPin, kScFileSign).data, key);
  auto log = card_.events();
  std::vector<std::string> expected = {"power on", "> 00A4000002F300",
                                       "< 9000",   "> 00200001083132333400000000",
                                       "< 6A88",   "> 00200081083132333400000000",
                                       "< 9000"};
  ASSERT_GE(log.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + expected.size()), expected);
}

// PINs are counted in bytes as sent: 3 or 9 bytes never reach the card; 8 go unpadded.
TEST_F(SmartCard, PinLengths) {
  load(blank_card("", true, "3132333435363738"));
  for (const char *pin : {"123", "123456789", ""}) {
    uint8_t *out = nullptr;
    size_t len = 0;
    errno = 0;
    EXPECT_EQ(sc_read_key(pin, &out, &len, kScFileSign), -1) << pin;
    EXPECT_EQ(errno, v7::kErrPinInvalid) << pin;
    EXPECT_EQ(sc_probe_card(pin), 0);
  }
  EXPECT_TRUE(card_.log().empty()) << "a command reached the card";
  EXPECT_EQ(sc_probe_card("12345678"), 2);
  auto commands = card_.commands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[1], "00200001083132333435363738");

  // On an open card too: a PIN that does not fit is not cut to fit; a file the card layout
  // does not have is refused.
  ASSERT_EQ(sc_open(nullptr), 0);
  card_.clear_log();
  errno = 0;
  EXPECT_EQ(sc_select_df(kScFileKm, "123456789"), -1);
  EXPECT_EQ(errno, v7::kErrPinInvalid);
  EXPECT_EQ(count_prefix(card_.commands(), "0020"), 0u);
  EXPECT_EQ(sc_select_df(0xF5, nullptr), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  sc_close();
}

// A wrong PIN spends one try and stops the operation; the user is told the tries left; offering
// the same PIN again spends none; the card's objects stay as they were. Three refusals lock it.
TEST_F(SmartCard, WrongPin) {
  load(blank_card());
  std::vector<uint8_t> cert = pattern(500, 6);
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, cert.data(), cert.size()), 0);
  std::string before_rest;
  auto before = card_.records(&before_rest);
  card_.clear_log();

  std::vector<uint8_t> other = pattern(300, 1);
  errno = 0;
  EXPECT_EQ(sc_write_cert("9999", kScFileSign, other.data(), other.size()), -1);
  EXPECT_EQ(errno, v7::kErrCardPinWrong);
  EXPECT_EQ(sc_pin_tries_left(), 2);
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0],
            u"You have entered wrong PIN number.\r\nPlease enter the PIN number again.\r\n"
            u"Tries left: 2");
  auto commands = card_.commands();
  ASSERT_EQ(commands.size(), 2u);  // SELECT and one VERIFY: no UPDATE
  EXPECT_EQ(commands[1], "00200001083939393900000000");
  EXPECT_EQ(card_.records(), before);

  // The same PIN again, in the several reads of one listing: no try spent, no box.
  card_.clear_log();
  EXPECT_EQ(read_key("9999", kScFileSign).code, v7::kErrCardPinWrong);
  EXPECT_EQ(read_key("9999", kScFileKm).code, v7::kErrCardPinWrong);
  EXPECT_EQ(count_prefix(card_.commands(), "0020"), 0u);
  EXPECT_EQ(boxes().size(), 1u);

  // Asked anew, the user tries twice more: 63 C1, then 69 83 and a locked card.
  set_language_id(kLanguageKorean);
  sc_forget_refused_pin();
  EXPECT_EQ(read_key("9999", kScFileSign).code, v7::kErrCardPinWrong);
  EXPECT_EQ(sc_pin_tries_left(), 1);
  EXPECT_EQ(boxes().back(),
            u"스마트카드 접근비밀번호가 맞지 않습니다.\r\n다시 입력해주십시오.\r\n남은 입력 횟수: 1");
  sc_forget_refused_pin();
  EXPECT_EQ(read_key("8888", kScFileSign).code, v7::kErrCardPinLocked);
  EXPECT_EQ(sc_pin_tries_left(), 0);
  EXPECT_EQ(boxes().back(),
            u"스마트카드 접근비밀번호가 맞지 않습니다.\r\n다시 입력해주십시오.\r\n카드가 잠겼습니다.");
  // Blocked: even the right PIN is refused (69 83) and nothing is written.
  EXPECT_EQ(sc_write_cert(kPin, kScFileSign, other.data(), other.size()), -1);
  EXPECT_EQ(errno, v7::kErrCardPinLocked);
  EXPECT_EQ(card_.records(), before);
  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, cert);
}

// A VERIFY the card refuses for another reason than the PIN is no wrong PIN: no box claims one,
// no try is counted, the PIN is not remembered as refused, and the code says what the card did,
// so that the caller shows it. A wrong PIN afterwards still has its box.
TEST_F(SmartCard, VerifyRefusedForAnotherReason) {
  struct Case {
    const char *what;
    const char *sw;
    size_t verifies;  // 6A 88 goes again under reference 81
  } cases[] = {{"wrong data (6A 80)", "6A80", 1},
               {"no PIN under 01 or 81 (6A 88)", "6A88", 2},
               {"wrong P1 P2 (6A 86)", "6A86", 1},
               {"conditions of use (69 85)", "6985", 1},
               {"instruction not supported (6D 00)", "6D00", 1},
               {"a fault (6F 00)", "6F00", 1}};
  const int tries_told = sc_pin_tries_left();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    load(blank_card(std::string("refuse verify ") + c.sw + "\n"));
    Read r = read_key(kPin, kScFileSign);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.code, v7::kErrCardVerifyRefused);
    EXPECT_EQ(count_prefix(card_.commands(), "0020"), c.verifies);
    EXPECT_EQ(count_prefix(card_.commands(), "00B2"), 0u);
    errno = 0;
    EXPECT_EQ(sc_probe_card(kPin), 0);
    EXPECT_EQ(errno, v7::kErrCardVerifyRefused);
    EXPECT_FALSE(sc_pin_box_told(errno));
    EXPECT_EQ(count_prefix(card_.commands(), "0020"), 2 * c.verifies) << "not remembered as a refused PIN";
    EXPECT_EQ(sc_pin_tries_left(), tries_told);
    EXPECT_TRUE(boxes().empty());
  }
  std::string rest;
  card_.records(&rest);
  EXPECT_NE(rest.find("tries 3 3"), std::string::npos) << rest;

  ASSERT_EQ(card_.command("refuse verify -"), "ok");
  EXPECT_EQ(read_key("9999", kScFileSign).code, v7::kErrCardPinWrong);
  EXPECT_TRUE(sc_pin_box_told(v7::kErrCardPinWrong));
  EXPECT_TRUE(sc_pin_box_told(v7::kErrCardPinLocked));
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0],
            u"You have entered wrong PIN number.\r\nPlease enter the PIN number again.\r\nTries left: 2");
  EXPECT_EQ(read_key(kPin, kScFileSign).code, v7::kErrCardNotFound) << "the right PIN is taken";
}

// The card forgets the PIN when it is powered down after each operation: a key read without a
// PIN is refused (69 82). Switching from F300 to F400 powers it down and up and proves the PIN
// again.
TEST_F(SmartCard, PinForgottenAtPowerOff) {
  load(blank_card());
  std::vector<uint8_t> key = pattern(100, 3);
  ASSERT_EQ(sc_write_key(kPin, kScFileKm, key.data(), key.size()), 0);
  card_.clear_log();
  EXPECT_EQ(read_key(kPin, kScFileKm).data, key);
  auto log = card_.events();
  EXPECT_EQ(count_prefix(log, "> 0020"), 2u);
  std::vector<std::string> expected_start = {
      "power on", "> 00A4000002F300", "< 9000", "> 00200001083132333400000000", "< 9000",
      "power on", "> 00A4000002F400", "< 9000", "> 00200001083132333400000000", "< 9000"};
  ASSERT_GE(log.size(), expected_start.size());
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + expected_start.size()), expected_start);

  card_.clear_log();
  Read r = read_key(nullptr, kScFileKm);
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(r.code, v7::kErrPinRequired);
  log = card_.events();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "power on");
  EXPECT_EQ(log.back(), "< 6982");
}

// Absent files and records, and a card asking for another Le (6C XX) from record 2 on.
TEST_F(SmartCard, StatusWords) {
  load("pin 31323334\ntries 3 3\ndf F3\nef F3 4\nef F3 6\n");
  EXPECT_EQ(read_cert(nullptr, kScFileKm).code, v7::kErrCardSelect);      // no F400: 6A 82
  EXPECT_EQ(read_cert(nullptr, kScFileSign).code, v7::kErrCardNotFound);  // no record: 6A 83
  EXPECT_EQ(read_key(kPin, kScFileSign).code, v7::kErrCardNotFound);      // no key file: 6A 82

  load(blank_card("quirk resend_6c\n"));
  std::vector<uint8_t> cert = pattern(1000, 2);
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, cert.data(), cert.size()), 0);
  card_.clear_log();
  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, cert);
  auto log = card_.log();
  EXPECT_EQ(count_prefix(log, "< 6C34"), 20u);
  EXPECT_EQ(count_prefix(log, "> 00B2022434"), 2u);

  // A card that asks for each UPDATE twice (65 81, then 90 00).
  load(blank_card("quirk update_retry\n"));
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, cert.data(), cert.size()), 0) << errno;
  EXPECT_EQ(count_prefix(card_.log(), "< 6581"), 22u);
  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, cert);
}

// A write the card cannot finish (its record file is full at record 11: 6A 84, twice) fails,
// and leaves an object that reads as empty, never the head of the new one over the old tail.
TEST_F(SmartCard, InterruptedWriteReadsEmpty) {
  load(blank_card("capacity F3 4 10\n"));
  std::vector<uint8_t> old_cert = pattern(480, 1), new_cert = pattern(1000, 2);
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, old_cert.data(), old_cert.size()), 0);
  errno = 0;
  EXPECT_EQ(sc_write_cert(kPin, kScFileSign, new_cert.data(), new_cert.size()), -1);
  EXPECT_EQ(errno, v7::kErrCardNoSpace);
  EXPECT_EQ(count_prefix(card_.log(), "< 6A84"), 2u);
  EXPECT_EQ(read_cert(nullptr, kScFileSign).code, v7::kErrCardNotFound);
}

// The probe says "no set" only when the card says its presence record is not there (or wants
// the PIN first, which errno tells apart); a presence record the card refuses for another reason
// tells nothing, and reads as a card that cannot be used.
TEST_F(SmartCard, Probe) {
  const struct {
    const char *name;
    std::string image;
    const char *pin;
    int state;
    int code;
  } cases[] = {
      {"a set", blank_card(), nullptr, 2, 0},
      {"a set, PIN proven", blank_card(), kPin, 2, 0},
      {"no presence record", blank_card("", false), kPin, 1, v7::kErrCardNotFound},
      {"no presence record file", "pin 31323334\ntries 3 3\ndf F3\nef F3 4\n", nullptr, 1, v7::kErrCardNotFound},
      {"presence behind the PIN", blank_card("quirk presence_pin\n"), nullptr, 1, v7::kErrPinRequired},
      {"presence behind the PIN, proven", blank_card("quirk presence_pin\n"), kPin, 2, 0},
      {"a wrong PIN", blank_card(), "0000", 0, v7::kErrCardPinWrong},
      {"a fault (6F 00)", blank_card("refuse F3 6 6F00\n"), nullptr, 0, v7::kErrCardRead},
      {"a wrong state (69 85)", blank_card("refuse F3 6 6985\n"), kPin, 0, v7::kErrCardRead},
  };
  for (const auto &c : cases) {
    load(c.image);
    sc_forget_refused_pin();
    errno = -1;
    EXPECT_EQ(sc_probe_card(c.pin), c.state) << c.name;
    EXPECT_EQ(errno, c.code) << c.name;
  }
}

// Erasing the key-management pair leaves F400's objects at length 0 (they no longer read) and
// their first 40 and 30 records zero; F300 stays as it was.
TEST_F(SmartCard, EraseKmPair) {
  load(blank_card());
  std::vector<uint8_t> cert = pattern(1000, 1), key = pattern(800, 2);
  ASSERT_EQ(sc_write_cert(kPin, kScFileKm, cert.data(), cert.size()), 0);
  ASSERT_EQ(sc_write_key(kPin, kScFileKm, key.data(), key.size()), 0);
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, cert.data(), cert.size()), 0);
  ASSERT_EQ(sc_erase_km_pair(kPin), 0) << errno;
  EXPECT_EQ(read_cert(nullptr, kScFileKm).code, v7::kErrCardNotFound);
  EXPECT_EQ(read_key(kPin, kScFileKm).code, v7::kErrCardNotFound);
  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, cert);
  auto records = card_.records();
  EXPECT_EQ((records[{"F4", 4, 1}]), "7032" + std::string(100, '0'));
  EXPECT_EQ((records[{"F4", 4, 40}]), "7032" + std::string(100, '0'));
  EXPECT_EQ((records[{"F4", 3, 30}]), "7032" + std::string(100, '0'));
  EXPECT_EQ((records[{"F4", 4, 21}]), "7032" + std::string(100, '0'));

  load(blank_card("record F4 4 1 70320010" + std::string(96, 'A') + "\n", false));
  EXPECT_EQ(sc_erase_km_pair(kPin), 0);  // no presence record: nothing to erase
  EXPECT_EQ(count_prefix(card_.commands(), "00DC"), 0u);
}

// Answers a hostile card gives (it returns each record as stored, whatever Le asked): nothing
// past a record is read, and each is refused with its code.
TEST_F(SmartCard, HostileAnswers) {
  const struct {
    const char *name;
    std::string records;
    int kind;
    int code;
  } cases[] = {
      {"record cut short", "record F3 4 1 703203E80102\n", 4, v7::kErrCardAnswer},
      {"status only", "record F3 4 1 \n", 4, v7::kErrCardAnswer},
      {"not a record tag", "record F3 4 1 7132" + std::string(100, '0') + "\n", 4, v7::kErrCardAnswer},
      {"content longer than a record", "record F3 4 1 7040" + std::string(128, '0') + "\n", 4,
       v7::kErrCardAnswer},
      {"length 65,535", "record F3 4 1 7032FFFF" + std::string(96, '0') + "\n", 4, v7::kErrCardLayout},
      {"length 4,096", "record F3 4 1 70321000" + std::string(96, '0') + "\n", 4, v7::kErrCardLayout},
      {"erased (length 0)", "record F3 4 1 70320000" + std::string(96, '0') + "\n", 4, v7::kErrCardNotFound},
      {"a further record missing", "record F3 4 1 70320064" + std::string(96, '0') + "\n", 4,
       v7::kErrCardLayout},
      {"a further record too short",
       "record F3 4 1 70320064" + std::string(96, '0') + "\nrecord F3 4 2 7010" + std::string(32, '0') + "\n",
       4, v7::kErrCardAnswer},
      {"a small object in a short record", "record F3 4 1 7004000A0102\n", 4, v7::kErrCardAnswer},
      {"VID length 51", "record F3 5 1 70280033" + std::string(76, '0') + "\n", 5, v7::kErrCardLayout},
  };
  for (const auto &c : cases) {
    load(blank_card("quirk ignore_le\n" + c.records));
    Read r = c.kind == 4 ? read_cert(kPin, kScFileSign) : read_random(kPin);
    EXPECT_EQ(r.rc, -1) << c.name;
    EXPECT_EQ(r.code, c.code) << c.name;
    EXPECT_TRUE(r.data.empty()) << c.name;
  }
  // Short but whole: a 2-byte object in a record that holds just it, and a last record that
  // carries only what is missing, are read.
  load(blank_card("quirk ignore_le\nrecord F3 4 1 700400020102\n"));
  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, (std::vector<uint8_t>{1, 2}));
  load(blank_card("quirk ignore_le\nrecord F3 4 1 70320032" + std::string(96, '0') +
                  "\nrecord F3 4 2 70020A0B\n"));
  std::vector<uint8_t> expected(48, 0);
  expected.push_back(0x0A);
  expected.push_back(0x0B);
  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, expected);
}

#ifndef _WIN32
// Waits, through PC/SC's own change notification, until the card's reader has (or has not) a
// card: pcscd sees a card come and go on its own polling thread.
bool wait_card(bool present) {
  SCARDCONTEXT ctx = 0;
  if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &ctx) != SCARD_S_SUCCESS) return false;
  SCARD_READERSTATE state = {};
  state.szReader = "Virtual PCD 00 01";
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  bool reached = false;
  for (int changes = 0; changes < 20 && !reached; changes++) {
    if (SCardGetStatusChange(ctx, 10000, &state, 1) != SCARD_S_SUCCESS) break;
    reached = ((state.dwEventState & SCARD_STATE_PRESENT) != 0) == present;
    state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
  }
  SCardReleaseContext(ctx);
  return reached;
}

// No reader with a card: 15308 as the result, and a probe answers 0.
TEST_F(SmartCard, NoCard) {
  load(blank_card("record F3 4 1 70320003010203" + std::string(90, '0') + "\n"));
  ASSERT_EQ(card_.command("eject"), "ok");
  ASSERT_TRUE(wait_card(false));
  uint8_t *out = nullptr;
  size_t len = 0;
  errno = 0;
  EXPECT_EQ(sc_read_cert(nullptr, &out, &len, kScFileSign), v7::kErrCardAbsent);
  EXPECT_EQ(errno, v7::kErrCardAbsent);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(sc_probe_card(nullptr), 0);
  ASSERT_EQ(card_.command("insert"), "ok");
  ASSERT_TRUE(wait_card(true));
  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, (std::vector<uint8_t>{1, 2, 3}));
}
#endif

// The card as a certificate list: with a PIN the parts that read, and copies of the PIN; without
// one the key parts are taken on trust. A refused policy lists nothing.
TEST_F(SmartCard, CertificateList) {
  load(blank_card());
  certtest::CertSpec km_spec;
  km_spec.serial = {0x0B};
  const std::vector<uint8_t> cert = certtest::certificate(certtest::CertSpec{}),
                             km_cert = certtest::certificate(km_spec), key = pattern(600, 2),
                             random = pattern(20, 5);
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, cert.data(), cert.size()), 0) << errno;
  ASSERT_EQ(sc_write_key(kPin, kScFileSign, key.data(), key.size()), 0) << errno;
  ASSERT_EQ(sc_write_random(kPin, random.data(), random.size()), 0) << errno;
  struct Case {
    const char *pin;
    bool km;
    uint32_t parts;
  } cases[] = {{kPin, false, kPartSignCert | kPartSignKey}, {nullptr, false, kPartSignCert | kPartSignKey},
               {kPin, true, 15}, {nullptr, true, 15}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.pin != nullptr ? "PIN" : "no PIN") + (c.km ? ", key-management pair" : ""));
    if (c.km) {
      ASSERT_EQ(sc_write_cert(kPin, kScFileKm, km_cert.data(), km_cert.size()), 0) << errno;
      ASSERT_EQ(sc_write_key(kPin, kScFileKm, key.data(), key.size()), 0) << errno;
    }
    CERTLIST_CTX list{};
    CERT_ENTRY *e = certlist_load(&list, kMediumSmartCard, c.pin);
    ASSERT_NE(e, nullptr) << errno;
    EXPECT_EQ(list.media_code, kMediumSmartCard);
    EXPECT_EQ(e->media_code, kMediumSmartCard);
    EXPECT_EQ(e->parts, c.parts);
    EXPECT_EQ(certlist_get_pin(&list) != nullptr, c.pin != nullptr);
    uint8_t *out = nullptr;
    size_t n = cert_read_sign_cert(e, &out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + n), cert);
    free(out);
    if (c.pin != nullptr) {
      n = cert_read_sign_key(e, &out);
      EXPECT_EQ(std::vector<uint8_t>(out, out + n), key);
      free(out);
      n = certentry_read_card(e, &out);
      EXPECT_EQ(std::vector<uint8_t>(out, out + n), random);
      free(out);
    }
    if (c.km) {
      n = cert_read_km_cert(e, &out);
      EXPECT_EQ(std::vector<uint8_t>(out, out + n), km_cert);
      free(out);
    }
    certlist_free(&list);
  }
  CERTLIST_CTX filtered{};
  filtered.policy_filter = strlist_split("1.2.410.200005.1.1.5");
  EXPECT_EQ(certlist_load(&filtered, kMediumSmartCard, kPin), nullptr);
  EXPECT_EQ(filtered.media_code, 0u);
  strlist_free(filtered.policy_filter);
}

#ifdef _WIN32
// What the Windows build asks of WinSCard, as the test winscard.dll logged it: a user-scope
// context, the 1,024-character reader list, an exclusive T=0/T=1 connect of each reader in
// turn, the PCI header of the protocol in use (8 bytes on Windows), the card powered down.
TEST_F(SmartCard, WindowsCalls) {
  load(blank_card("record F3 4 1 70320003010203" + std::string(90, '0') + "\n"));
  std::string path = card_.dir() + "/winscard.log";
  std::remove(path.c_str());
  EXPECT_EQ(read_cert(nullptr, kScFileSign).data, (std::vector<uint8_t>{1, 2, 3}));
  std::ifstream in(path);
  std::vector<std::string> calls;
  std::string line;
  while (std::getline(in, line)) calls.push_back(line);
  EXPECT_EQ(calls, (std::vector<std::string>{"establish scope=0", "list groups=(null) capacity=1024",
                                             "connect reader=Test Reader 0 share=1 protocols=3",
                                             "connect reader=Test Reader 1 share=1 protocols=3", "status",
                                             "transmit protocol=2 pci=8 length=7",
                                             "transmit protocol=2 pci=8 length=5", "disconnect disposition=2",
                                             "release"}));
}
#endif

}  // namespace
