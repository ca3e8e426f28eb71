#include "control/control_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/errors/error_codes.h"

namespace v7 {
namespace control {
namespace {

TEST(ControlRules, OnlyZeroFromTheLibraryIsSuccess) {
  const struct {
    int library;
    int16_t page;
  } cases[] = {{0, 0}, {21500, -1}, {1001, -1}, {-1, -1}, {1, -1}, {0x7FFFFFFF, -1}, {-32768, -1}};
  for (const auto &c : cases) EXPECT_EQ(transfer_result(c.library), c.page) << c.library;
}

TEST(ControlRules, TransferModeTakesOnlyRawAndHttp) {
  const struct {
    uint32_t flags;
    int32_t mode;
    int16_t result;
    uint32_t after;
  } cases[] = {
      {1, 2, 0, 2},                     // the initial value switched to HTTP
      {2, 1, 0, 1},
      {1, 3, -1, 1},                    // refused, unchanged
      {1, 0, -1, 1},
      {1, -1, -1, 1},
      {1, 0x41, -1, 1},                 // high bits of a mode are not a mode
      {0xFFFFFFC1u, 2, 0, 0xFFFFFFC2u},  // bits above the mode stay
      {0x40u, 1, 0, 0x41u},
  };
  for (const auto &c : cases) {
    uint32_t flags = c.flags;
    EXPECT_EQ(apply_transfer_mode(&flags, c.mode), c.result) << c.mode;
    EXPECT_EQ(flags, c.after) << c.mode;
  }
  EXPECT_EQ(apply_transfer_mode(nullptr, 1), -1);
}

TEST(ControlRules, LanguageKeepsKoreanAndEnglishOnly) {
  const struct {
    int32_t requested;
    uint16_t system;
    int32_t passed;
  } cases[] = {{18, 9, 18}, {9, 18, 9}, {1033, 18, 18}, {1033, 9, 9}, {0, 18, 18}, {-1, 9, 9}, {0x412, 7, 7}};
  for (const auto &c : cases) EXPECT_EQ(library_language(c.requested, c.system), c.passed) << c.requested;
}

// The record's runs of nonzero bytes, as "offset:hex", the way the tests of the module read it.
std::string nonzero_runs(const RelayRequestRecord &record) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(&record);
  std::string text;
  char part[16];
  for (size_t at = 0; at < sizeof record;) {
    if (bytes[at] == 0) {
      ++at;
      continue;
    }
    std::snprintf(part, sizeof part, "%s%zu:", text.empty() ? "" : " ", at);
    text += part;
    for (; at < sizeof record && bytes[at] != 0; ++at) {
      std::snprintf(part, sizeof part, "%02X", bytes[at]);
      text += part;
    }
  }
  return text;
}

TEST(ControlRules, SendRecordNamesBannerMediaAndSecureDisk) {
  SecureDiskConfig config{};
  std::memcpy(config.min_version, "1.2", 3);
  std::memcpy(config.install_url, "http://d/", 9);
  RelayRequestRecord record;
  std::memset(&record, 0xA5, sizeof record);  // whatever the stack held
  fill_send_request(&record, config);
  EXPECT_EQ(nonzero_runs(record),
            "6164:4249544D41505F56454C4D4F52415F52454C4159 7188:0B02 9504:312E32 9568:687474703A2F2F642F");
  fill_receive_request(&record, config);
  EXPECT_EQ(nonzero_runs(record), "9504:312E32 9568:687474703A2F2F642F");
  fill_receive_request(&record, SecureDiskConfig{});
  EXPECT_EQ(nonzero_runs(record), "");
}

TEST(ControlRules, EucKrCutKeepsWholeCharacters) {
  const struct {
    const char *text;
    size_t max;
    size_t cut;
  } cases[] = {
      {"abc", 2, 2},
      {"abc", 5, 3},
      {"\xC7\xD1\xB1\xDB", 3, 2},    // a two-byte character is never split
      {"\xC7\xD1\xB1\xDB", 4, 4},
      {"a\xC7\xD1", 2, 1},
      {"\x81\x41x", 2, 2},           // a code page 949 extension character
      {"\xC7", 5, 1},                // a lone lead byte at the end counts as one
      {"", 3, 0},
  };
  for (const auto &c : cases) EXPECT_EQ(euckr_cut_length(c.text, std::strlen(c.text), c.max), c.cut) << c.text;
}

struct ConfigCase {
  std::u16string version;
  std::u16string address;
  int rc;
  std::string stored_version;  // what the config holds afterwards
  std::string stored_address;
};

TEST(ControlRules, SecureDiskConfigConvertsChecksAndCuts) {
  const std::u16string seventy(70, u'7');
  std::u16string hangul_version;  // 32 syllables: 64 EUC-KR bytes, cut to 31 whole ones
  for (int i = 0; i < 32; ++i) hangul_version += u'\uD55C';
  std::string hangul_cut;
  for (int i = 0; i < 31; ++i) hangul_cut += "\xC7\xD1";
  const std::u16string long_address = u"https://d.example/" + std::u16string(600, u'a');
  const std::string long_cut = "https://d.example/" + std::string(511 - 18, 'a');
  const std::vector<ConfigCase> cases = {
      {u"1.0.2", u"http://disk.example/setup", 0, "1.0.2", "http://disk.example/setup"},
      {u"1.0", u"HTTPS://disk.example/", 0, "1.0", "HTTPS://disk.example/"},
      {u"1.0", u"", 0, "1.0", ""},  // no install page
      {seventy, u"", 0, std::string(63, '7'), ""},
      {hangul_version, u"", 0, hangul_cut, ""},
      {u"\uD55C", u"http://d/\uAE00", 0, "\xC7\xD1", "http://d/\xB1\xDB"},
      {u"9.9", long_address, 0, "9.9", long_cut},
      // Refused: the earlier settings stay.
      {u"2.0", u"file:///c:/setup.exe", kErrInvalidParameter, "old", "http://old/"},
      {u"2.0", u"javascript:alert(1)", kErrInvalidParameter, "old", "http://old/"},
      {u"2.0", u"http://", kErrInvalidParameter, "old", "http://old/"},
      {u"2.0", u"http://d/\r\nx", kErrInvalidParameter, "old", "http://old/"},
      {u"2.0", u"\\\\host\\share\\x.exe", kErrInvalidParameter, "old", "http://old/"},
      {u"2.0", std::u16string(u"http://d/\0x", 11), kErrInvalidParameter, "old", "http://old/"},
      {std::u16string(u"2\0.0", 4), u"", kErrInvalidParameter, "old", "http://old/"},
      {u"\U0001F600", u"", kErrWideToEuckr, "old", "http://old/"},  // no EUC-KR form
      {u"2.0", u"http://d/\u00E9", kErrWideToEuckr, "old", "http://old/"},
      {u"\xD800", u"", kErrWideToEuckr, "old", "http://old/"},      // a lone surrogate
  };
  for (const ConfigCase &c : cases) {
    SecureDiskConfig config{};
    std::memcpy(config.min_version, "old", 3);
    std::memcpy(config.install_url, "http://old/", 11);
    EXPECT_EQ(set_secure_disk_config(&config, c.version.data(), c.version.size(), c.address.data(), c.address.size()),
              c.rc);
    EXPECT_EQ(std::string(config.min_version, strnlen(config.min_version, sizeof config.min_version)),
              c.stored_version);
    EXPECT_EQ(std::string(config.install_url, strnlen(config.install_url, sizeof config.install_url)),
              c.stored_address);
    // Whatever was stored, both fields stay terminated.
    EXPECT_EQ(config.min_version[sizeof config.min_version - 1], '\0');
    EXPECT_EQ(config.install_url[sizeof config.install_url - 1], '\0');
  }
  EXPECT_EQ(set_secure_disk_config(nullptr, u"1", 1, u"", 0), kErrInvalidParameter);
  SecureDiskConfig config{};
  EXPECT_EQ(set_secure_disk_config(&config, nullptr, 0, nullptr, 0), 0);  // null BSTRs are empty texts
}

TEST(ControlRules, GateRefusesANestedTransfer) {
  TransferGate gate;
  EXPECT_TRUE(gate.TryEnter());
  EXPECT_TRUE(gate.Busy());
  EXPECT_FALSE(gate.TryEnter());
  gate.Leave();
  EXPECT_FALSE(gate.Busy());
  EXPECT_TRUE(gate.TryEnter());
  gate.Leave();
}

}  // namespace
}  // namespace control
}  // namespace v7
