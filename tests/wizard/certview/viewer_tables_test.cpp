#include "wizard/certview/viewer_tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "crypto/hash/hash.h"
#include "pki/text/codepage.h"
#include "pki/validation/valcfg.h"
#include "pki/x509/cert.h"
#include "platform/locale/process_words.h"
#include "tests/wizard/dialogs/words_scope.h"
#include "wizard/records/request_record.h"

namespace {

using v7::certview::root_fingerprint_text;

std::string euckr(const char *utf8) {
  if (utf8[0] == '\0') return "";
  char *converted = nullptr;
  EXPECT_NE(utf8_to_euckr(utf8, &converted), 0u) << utf8;
  std::string s = converted != nullptr ? converted : "";
  free(converted);
  return s;
}

std::u16string wide(const char *utf8) {
  char16_t *w = nullptr;
  EXPECT_EQ(utf8_to_wide(utf8, &w), 0) << utf8;
  std::u16string s = w != nullptr ? w : u"";
  free(w);
  return s;
}

using ViewerTablesTest = WordsTest;

TEST_F(ViewerTablesTest, UsageTable) {
  struct Case {
    const char *policy;
    const char *korean;
    const char *english;
  };
  const Case cases[] = {
      // The first identifier of each row, and a later one of a row.
      {"1.2.410.200005.1.1.1", "범용개인", "General"},
      {"1.2.410.200012.1.1.1", "범용개인", "General"},
      {"1.2.410.200005.1.1.5", "범용법인", "General"},
      {"1.2.410.200005.1.1.4", "은행개인", "Banking"},
      {"1.2.410.200004.5.4.1.101", "은행개인", "Banking"},
      {"1.2.410.200005.1.1.2", "은행법인", "Banking"},
      {"1.2.410.200005.1.1.3", "서버용", "Sever"},
      {"1.2.410.200005.1.1.6.3", "원클릭", "one-click"},
      {"1.2.410.200005.1.1.6.1", "기업뱅킹", "CORP4IB"},
      {"1.2.410.200005.1.1.6.4", "퇴직연금", "RK"},
      {"1.2.410.200005.1.1.6.5", "CTR 기업", "CTR"},
      {"1.2.410.200005.1.1.7.1", "수입인지", "ERS"},
      {"1.2.410.200005.1.1.6.8", "전자세금", "E-TAX"},
      {"1.2.410.200004.5.2.1.6.248", "전자세금", "E-TAX"},
      {"1.2.410.200005.1.1.6.9", "보안업무개인", "Security"},
      {"1.2.410.200005.1.1.6.0", "보안업무법인", "Security"},
      {"1.2.410.200004.5.1.1.9", "금융투자개인", "Investment"},
      {"1.2.410.200004.5.1.1.10", "금융투자법인", "Investment"},
      // The security-medium rows come after the rows whose text holds them: "….1.1.1.1" is found
      // in row 1 only if that row lists it, which it does not, so the first match is its own row.
      {"1.2.410.200005.1.1.1.1", "범용개인(보안매체)", "General"},
      {"1.2.410.200005.1.1.2.1", "은행법인(보안매체)", "Banking"},
      // A prefix of a listed identifier matches the first row that holds it.
      {"1.2.410.200005.1.1", "범용개인", "General"},
      {"1.2.410.200004.5.1.1.1", "전자세금", "E-TAX"},
      // Unlisted, empty and no policy.
      {"1.2.3.4", "용도제한", "Limited"},
      {"", "용도제한", "Limited"},
      {nullptr, "용도제한", "Limited"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.policy != nullptr ? c.policy : "(null)");
    use(kLanguageKorean, kCharEncodingUtf8);
    EXPECT_EQ(UsageText(c.policy), c.korean);
    EXPECT_EQ(UsageTextW(c.policy), wide(c.korean));
    use(kLanguageKorean, 0);
    EXPECT_EQ(UsageText(c.policy), euckr(c.korean));
    use(kLanguageEnglish, 0);
    EXPECT_EQ(UsageText(c.policy), c.english);
    EXPECT_EQ(UsageTextW(c.policy), wide(c.english));
  }
}

TEST_F(ViewerTablesTest, CaDisplayNames) {
  struct Case {
    const char *organisation;
    const char *korean;
    const char *english;
  };
  const Case cases[] = {
      {"velmora", "타브넷원", "TAVN"},
      {"SignKorea", "코스콤", "SignKorea"},
      {"KICA", "한국정보인증", "KICA"},
      {"TradeSign", "한국무역정보통신", "TradeSign"},
      {"CrossCert", "한국전자인증", "CrossCert"},
      {"Velmora", "Velmora", "Velmora"},
      {"TestCA", "TestCA", "TestCA"},
      {"", "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.organisation);
    use(kLanguageKorean, kCharEncodingUtf8);
    EXPECT_EQ(CaDisplayName(c.organisation), c.korean);
    use(kLanguageKorean, 0);
    EXPECT_EQ(CaDisplayName(c.organisation), euckr(c.korean));
    use(kLanguageEnglish, kCharEncodingUtf8);
    EXPECT_EQ(CaDisplayName(c.organisation), c.english);
  }
  EXPECT_EQ(CaDisplayName(nullptr), "");
}

TEST_F(ViewerTablesTest, ShortNamesNeverReadPastTheName) {
  struct Case {
    const char *name;
    const char *expected;
  };
  const Case cases[] = {
      {"cn=Hong Gildong()0001234567890123,ou=TestBank,o=TestCA,c=KR", "Hong Gildong()0001234567890123"},
      {"cn=TestCA Class 1", "TestCA Class 1"},
      {"cn=", ""},
      {"cn", ""},
      {"", ""},
      {"o=TestCA,c=KR", "TestCA"},
      {"serialNumber=12,cn=x", "12"},
      {nullptr, ""},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(v7::certview::short_name(c.name), c.expected) << (c.name != nullptr ? c.name : "(null)");
  }
}

TEST_F(ViewerTablesTest, ChoiceOfTheTwoCertificates) {
  auto both = v7::certview::viewer_choice(true, true);
  EXPECT_EQ(both.count, 2);
  EXPECT_EQ(both.items[0], 0);
  EXPECT_EQ(both.items[1], 1);
  EXPECT_TRUE(both.enabled);
  auto sign = v7::certview::viewer_choice(true, false);
  EXPECT_EQ(sign.count, 1);
  EXPECT_EQ(sign.items[0], 0);
  EXPECT_FALSE(sign.enabled);
  auto km = v7::certview::viewer_choice(false, true);
  EXPECT_EQ(km.count, 1);
  EXPECT_EQ(km.items[0], 1);
  EXPECT_FALSE(km.enabled);
  EXPECT_EQ(v7::certview::viewer_choice(false, false).count, 0);
  EXPECT_STREQ(v7::certview::viewer_choice_text(0, true), "전자서명용 인증서");
  EXPECT_STREQ(v7::certview::viewer_choice_text(1, false), "Key Encipherment");
  EXPECT_EQ(v7::certview::viewer_usage_code(0), KU_CHECK_SIGNING);
  EXPECT_EQ(v7::certview::viewer_usage_code(1), KU_CHECK_KEY_ENCIPHERMENT);
}

TEST_F(ViewerTablesTest, ValidationPolicyAndVerdict) {
  auto request = std::make_unique<RelayRequestRecord>();
  memset(request.get(), 0, sizeof *request);
  EXPECT_EQ(v7::certview::viewer_validation_policy(nullptr), "2.5.29.32.0");
  EXPECT_EQ(v7::certview::viewer_validation_policy(request.get()), "2.5.29.32.0");
  strcpy(request->viewer_policy, "1.2.410.200005.1.1.1;1.2.410.200005.1.1.5");
  request->version = 1;
  EXPECT_EQ(v7::certview::viewer_validation_policy(request.get()), "2.5.29.32.0");
  request->version = 2;
  EXPECT_EQ(v7::certview::viewer_validation_policy(request.get()),
            "1.2.410.200005.1.1.1;1.2.410.200005.1.1.5");
  // A policy text that fills its field without a terminator is read within the field.
  memset(request->viewer_policy, '1', sizeof request->viewer_policy);
  EXPECT_EQ(v7::certview::viewer_validation_policy(request.get()).size(), sizeof request->viewer_policy);

  auto skipped = v7::certview::viewer_verdict(true, 10550);
  EXPECT_EQ(skipped.icon, 2019);
  EXPECT_EQ(skipped.text_id, 0);
  EXPECT_FALSE(skipped.view_error);
  auto valid = v7::certview::viewer_verdict(false, 0);
  EXPECT_EQ(valid.icon, 2019);
  EXPECT_EQ(valid.text_id, 27);
  EXPECT_FALSE(valid.view_error);
  auto invalid = v7::certview::viewer_verdict(false, 10550);
  EXPECT_EQ(invalid.icon, 17011);
  EXPECT_EQ(invalid.text_id, 29);
  EXPECT_TRUE(invalid.view_error);
}

TEST_F(ViewerTablesTest, PathRow) {
  using v7::certview::viewer_path_text;
  use(kLanguageKorean, kCharEncodingUtf8);
  EXPECT_EQ(viewer_path_text(1, "C:\\Program Files\\NPKI\\TestCA\\USER\\x", true),
            "C:/Program Files/NPKI/TestCA/USER/x");
  EXPECT_EQ(viewer_path_text(2, "E:\\NPKI\\TestCA\\USER\\x", false), "E:/NPKI/TestCA/USER/x");
  EXPECT_EQ(viewer_path_text(1, nullptr, false), "");
  EXPECT_EQ(viewer_path_text(4, nullptr, true), "보안토큰");
  EXPECT_EQ(viewer_path_text(4, nullptr, false), "HSM");
  EXPECT_EQ(viewer_path_text(8, nullptr, true), "저장토큰");
  EXPECT_EQ(viewer_path_text(8, nullptr, false), "IC CARD");
  EXPECT_EQ(viewer_path_text(512, "x", false), "");
  EXPECT_EQ(viewer_path_text(1024, "x", false), "");
  use(kLanguageKorean, 0);
  EXPECT_EQ(viewer_path_text(4, nullptr, true), euckr("보안토큰"));
  EXPECT_EQ(viewer_path_text(8, nullptr, true), euckr("저장토큰"));
  EXPECT_EQ(viewer_path_text(2, "E:\\\xC0\xCE", false), "E:/\xC0\xCE");
}

uint8_t hex_digit(char c) { return uint8_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10); }

void from_hex(const char *hex, uint8_t out[32]) {
  for (int i = 0; i < 32; ++i) out[i] = uint8_t(hex_digit(hex[2 * i]) << 4 | hex_digit(hex[2 * i + 1]));
}

TEST_F(ViewerTablesTest, FingerprintTextOfTheNationalRoots) {
  // The published fingerprints: the deployment's first record is RootCA 4, the second RootCA 1.
  uint8_t root4[32], root1[32];
  from_hex("a002ff556c601863b08b9aa33a8e6666e97e72bbe552f66eb9f2395c68c7bc98", root4);
  from_hex("6fdb3f76c8b801a75338d8a50a7c02879f6198b57e594d318d3832900fedcd79", root1);
  EXPECT_EQ(
      root_fingerprint_text(root4, root1),
      u"\r\nRootCA 1 : 6FDB 3F76 C8B8 01A7 5338 D8A5 0A7C 0287 9F61 98B5 7E59 4D31 8D38 3290 0FED CD79"
      u"\r\nRootCA 4 : A002 FF55 6C60 1863 B08B 9AA3 3A8E 6666 E97E 72BB E552 F66E B9F2 395C 68C7 BC98");
}

// The built-in table's fingerprints are the SHA-256 of the records' own bytes, whatever folder
// the table was generated from.
TEST_F(ViewerTablesTest, BuiltinFingerprintsAreTheRecordsOwnDigests) {
  uint8_t digest[kBuiltinRootCount][32];
  for (size_t i = 0; i < kBuiltinRootCount; ++i) {
    HASH_CTX *ctx = sha256_new();
    ASSERT_NE(ctx, nullptr);
    hash_update(ctx, BuiltinCaTable[i].der, BuiltinCaTable[i].der_len);
    ASSERT_EQ(hash_final(ctx, digest[i]), 32);
    hash_free(ctx);
    EXPECT_EQ(memcmp(digest[i], BuiltinRootSha256[i], 32), 0) << i;
  }
  EXPECT_EQ(v7::certview::builtin_root_fingerprint_text(), root_fingerprint_text(digest[0], digest[1]));
}

}  // namespace
