#include "pki/oid/oid.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

#include "crypto/hash/hash.h"
#include "pki/oid/internal.h"
#include "platform/locale/process_words.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

constexpr int kKorean = 18;
constexpr int kEnglish = 9;
constexpr int kUtf8 = 1;
constexpr int kEucKr = 0;

void set_text_settings(int language, int encoding) {
  set_language_id(uint16_t(language));
  set_char_encoding_mode(encoding);
}

ASN1_BYTES view(Bytes &b) { return ASN1_BYTES{b.empty() ? nullptr : b.data(), uint32_t(b.size()), 0}; }

std::string text_of(const Bytes &b) { return std::string(b.begin(), b.end()); }

// The display text of contents through the buffer form, or "" with the code in *code.
std::string name_to_buf(Bytes contents, size_t capacity, int *code) {
  ASN1_BYTES oid = view(contents);
  std::string out(capacity, '\x7f');
  errno = 0;
  int n = oid_name_to_buf(capacity, &oid, &out[0]);
  *code = errno;
  if (n <= 0) return "";
  EXPECT_EQ('\0', out[size_t(n)]) << "the text is terminated";
  return out.substr(0, size_t(n));
}

std::string name_of(const Bytes &contents) {
  int code = 0;
  std::string s = name_to_buf(contents, 256, &code);
  EXPECT_NE("", s) << "code " << code;
  return s;
}

class OidTest : public ::testing::Test {
 protected:
  void TearDown() override { set_text_settings(kEnglish, 0); }
};

// Every row of the table, against contents made by OpenSSL from the registered dotted form.
TEST_F(OidTest, EveryIdentifierMapsToItsIdAndBack) {
  auto cases = v7test::load_vectors("oid_table.txt");
  size_t table_count = 0;
  const v7::OidEntry *table = v7::oid_table(&table_count);
  ASSERT_EQ(table_count, cases.size()) << "the vector file lists every identifier the toolkit knows";
  std::set<long long> seen;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.where() + " " + c.text("oid"));
    int id = int(c.number("id"));
    EXPECT_TRUE(seen.insert(id).second) << "id listed twice";
    Bytes contents = c.bytes("contents");
    ASN1_BYTES oid = view(contents);
    errno = 0;
    EXPECT_EQ(id, oid_to_id(&oid));

    size_t len = 0;
    const uint8_t *back = oid_id_contents(id, &len);
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(to_hex(contents), to_hex(back, len));

    const v7::OidEntry *e = v7::oid_entry_by_id(id);
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(text_of(c.bytes("oid")), e->dotted);
  }
  for (size_t i = 0; i < table_count; i++) EXPECT_EQ(1u, seen.count(table[i].id)) << table[i].dotted;
}

// Short names are the same in both languages and both encodings; unnamed ids show dotted text.
TEST_F(OidTest, NamesAndDottedFallbackInBothLanguages) {
  for (int language : {kEnglish, kKorean}) {
    for (int encoding : {kEucKr, kUtf8}) {
      set_text_settings(language, encoding);
      SCOPED_TRACE("language " + std::to_string(language) + " encoding " + std::to_string(encoding));
      for (const auto &c : v7test::load_vectors("oid_table.txt")) {
        SCOPED_TRACE(c.where());
        int id = int(c.number("id"));
        std::string want;
        if (c.has("name")) {
          want = text_of(c.bytes("name"));
        } else if (c.has("title_en")) {
          if (language != kKorean)
            want = text_of(c.bytes("title_en"));
          else
            want = text_of(c.bytes(encoding == kUtf8 ? "title_ko" : "title_ko_euckr"));
        }
        const char *name = oid_id_name(id);
        EXPECT_EQ(want, name != nullptr ? name : "");
        EXPECT_EQ(want.empty() ? text_of(c.bytes("oid")) : want, name_of(c.bytes("contents")));
      }
    }
  }
}

// A sample of each range, spelled out, so that a slip in the vector file cannot hide one here.
TEST_F(OidTest, SampleNamesOfEachRange) {
  struct Case {
    const char *hex;
    int id;
    const char *english;
    const char *korean;  // UTF-8
  } cases[] = {
      {"2a864886f70d01050c", OID_PBKDF2, "PBKDF2", "PBKDF2"},
      {"2a864886f70d010706", OID_PKCS7_ENCRYPTED, "PKCS7_Encrypted", "PKCS7_Encrypted"},
      {"550403", OID_AT_COMMON_NAME, "cn", "cn"},
      {"550408", OID_AT_STATE, "2.5.4.8", "2.5.4.8"},
      {"2a864886f70d010901", OID_AT_EMAIL, "e", "e"},
      {"550411", OID_AT_POSTAL_CODE, "postalCode", "postalCode"},
      {"551d0f", OID_EXT_KEY_USAGE, "Key Usage", "키사용 용도"},
      {"551d20", OID_EXT_CERT_POLICIES, "Ceritificate Policies", "인증서 정책"},
      {"2b06010505070101", OID_EXT_AUTHORITY_INFO_ACCESS, "Authority Information Access", "발급자정보접근"},
      {"2b06010505070308", OID_KP_TIME_STAMPING, "Time Stamp Authority", "시점확인"},
      {"2b0601050507300102", OID_OCSP_NONCE, "OCSP Nonce", "OCSP Nonce"},
      {"2a831a8c9a440a010103", OID_KISA_RANDOM_NUM, "Virtual ID Random Value", "가상식별번호 난수"},
      {"2a864886f70d010c0a0103", OID_P12_CERT_BAG, "1.2.840.113549.1.12.10.1.3",
       "1.2.840.113549.1.12.10.1.3"},
      {"2a831a8c9a440104", OID_SEED_CBC, "1.2.410.200004.1.4", "1.2.410.200004.1.4"},
      {"2b0e03021a", OID_SHA1, "SHA1", "SHA1"},
      {"608648016503040201", OID_SHA256, "SHA256", "SHA256"},
      {"2a864886f70d010101", OID_RSA_ENCRYPTION, "rsaEncryption", "rsaEncryption"},
      {"2a864886f70d020b", OID_HMAC_SHA512, "1.2.840.113549.2.11", "1.2.840.113549.2.11"},
      {"2a831a8c9a440123", OID_PBE_SHA256_SEED_OFB, "1.2.410.200004.1.35", "1.2.410.200004.1.35"},
      {"2a864886f70d01010b", OID_SHA256_WITH_RSA, "SHA256WithRSAEncryption", "SHA256WithRSAEncryption"},
      {"2a831a8c9a440118", OID_ECDSA_WITH_HAS160, "ecdsaWithHAS160", "ecdsaWithHAS160"},
      {"2a864886f70d010c0106", OID_P12_PBE_SHA_RC2_40_CBC, "1.2.840.113549.1.12.1.6",
       "1.2.840.113549.1.12.1.6"},
      {"2a864886f70d010108", OID_MGF1, "1.2.840.113549.1.1.8", "1.2.840.113549.1.1.8"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.hex);
    Bytes contents = v7test::from_hex(c.hex);
    ASN1_BYTES oid = view(contents);
    EXPECT_EQ(c.id, oid_to_id(&oid));
    set_text_settings(kEnglish, kUtf8);
    EXPECT_EQ(c.english, name_of(contents));
    set_text_settings(kKorean, kUtf8);
    EXPECT_EQ(c.korean, name_of(contents));
  }
}

TEST_F(OidTest, EveryExtensionAndQualifierHasBothTitles) {
  std::set<int> titled;
  for (int id = OID_EXT_SUBJECT_DIR_ATTRS; id <= OID_KP_TIME_STAMPING; id++) titled.insert(id);
  for (int id = OID_KISA_IDENTIFY_DATA; id <= OID_KISA_RANDOM_NUM; id++) titled.insert(id);
  for (int id : titled) {
    SCOPED_TRACE(id);
    set_text_settings(kEnglish, kUtf8);
    const char *en = oid_id_name(id);
    set_text_settings(kKorean, kUtf8);
    const char *ko = oid_id_name(id);
    set_text_settings(kKorean, kEucKr);
    const char *euckr = oid_id_name(id);
    ASSERT_TRUE(en != nullptr && ko != nullptr && euckr != nullptr);
    EXPECT_STRNE(en, ko);
    EXPECT_STRNE(ko, euckr);
    // Korean text: every byte of the EUC-KR form is ASCII or a two-byte code of 0xA1..0xFE.
    for (size_t i = 0; euckr[i] != 0; i++) {
      uint8_t b = uint8_t(euckr[i]);
      if (b < 0x80) continue;
      ASSERT_TRUE(b >= 0xa1 && b <= 0xfe);
      ASSERT_TRUE(uint8_t(euckr[i + 1]) >= 0xa1 && uint8_t(euckr[i + 1]) <= 0xfe);
      i++;
    }
  }
  // Only those ids follow the language.
  size_t count = 0;
  const v7::OidEntry *table = v7::oid_table(&count);
  for (size_t i = 0; i < count; i++) EXPECT_EQ(titled.count(table[i].id) == 1, table[i].title_en != nullptr);
}

// Identifiers are compared whole: prefixes, extensions, neighbours and other lengths are unknown.
TEST_F(OidTest, UnknownIdentifiers) {
  const char *unknown[] = {
      "551d",                      // 2.5.29, a prefix of every extension
      "551d0f01",                  // 2.5.29.15.1 extends Key Usage
      "550401",                    // 2.5.4.1, a neighbour of the name attributes
      "2b0601040182370a01",        // 1.3.6.1.4.1.311.10.1
      "2a8648ce3d0401",            // 1.2.840.10045.4.1, 7 bytes: no known identifier has that length
      "2a864886f70d010102",        // 1.2.840.113549.1.1.2, between named signature ids
      "2a864886f70d010c0107",      // 1.2.840.113549.1.12.1.7, past the PKCS#12 schemes
      "2a831a8c9a440a010102",      // 1.2.410.200004.10.1.1.2, between the identity-data ids
      "2a831a8c9a440112",          // 1.2.410.200004.1.18
      "2a864886f70d010c0a010100",  // 12 bytes
      "00",
  };
  for (const char *hex : unknown) {
    SCOPED_TRACE(hex);
    Bytes contents = v7test::from_hex(hex);
    ASN1_BYTES oid = view(contents);
    errno = 0;
    EXPECT_EQ(0, oid_to_id(&oid));
    EXPECT_EQ(1050, errno);
  }
  // Non-null data of length 0 names nothing; it is not a parameter fault.
  uint8_t byte = 0x55;
  ASN1_BYTES empty{&byte, 0, 0};
  errno = 0;
  EXPECT_EQ(0, oid_to_id(&empty));
  EXPECT_EQ(1050, errno);
}

TEST_F(OidTest, AbsentValuesAndUnknownIds) {
  ASN1_BYTES no_data{nullptr, 3, 0};
  errno = 0;
  EXPECT_EQ(0, oid_to_id(nullptr));
  EXPECT_EQ(1001, errno);
  errno = 0;
  EXPECT_EQ(0, oid_to_id(&no_data));
  EXPECT_EQ(1001, errno);

  char out[32];
  errno = 0;
  EXPECT_EQ(0, oid_name_to_buf(sizeof out, nullptr, out));
  EXPECT_EQ(1001, errno);
  errno = 0;
  EXPECT_EQ(0, oid_name_to_buf(sizeof out, &no_data, out));
  EXPECT_EQ(1001, errno);

  const int no_ids[] = {OID_UNKNOWN, -1, 10, 4357, 5380, 5634, 0x7fffffff};
  for (int id : no_ids) {
    SCOPED_TRACE(id);
    errno = 0;
    EXPECT_EQ(nullptr, oid_id_name(id));
    size_t len = 99;
    EXPECT_EQ(nullptr, oid_id_contents(id, &len));
    EXPECT_EQ(1050, errno);
    EXPECT_EQ(99u, len);
  }
  errno = 0;
  EXPECT_EQ(nullptr, oid_id_contents(OID_SHA1, nullptr));
  EXPECT_EQ(1001, errno);
}

TEST_F(OidTest, NameBufferBoundaries) {
  Bytes sha1 = v7test::from_hex("2b0e03021a");
  ASN1_BYTES oid = view(sha1);
  EXPECT_EQ(4, oid_name_to_buf(0, &oid, nullptr)) << "a null output asks for the length";
  int code = 0;
  EXPECT_EQ("", name_to_buf(sha1, 4, &code)) << "no room for the terminator";
  EXPECT_EQ(1002, code);
  EXPECT_EQ("", name_to_buf(sha1, 0, &code));
  EXPECT_EQ(1002, code);
  EXPECT_EQ("SHA1", name_to_buf(sha1, 5, &code));

  // The Korean title is measured in bytes of its encoding: 11 in EUC-KR, 16 in UTF-8.
  Bytes key_usage = v7test::from_hex("551d0f");
  ASN1_BYTES ku = view(key_usage);
  set_text_settings(kKorean, kEucKr);
  EXPECT_EQ(11, oid_name_to_buf(0, &ku, nullptr));
  EXPECT_EQ("", name_to_buf(key_usage, 11, &code));
  EXPECT_EQ(1002, code);
  EXPECT_EQ(11u, name_to_buf(key_usage, 12, &code).size());
  set_text_settings(kKorean, kUtf8);
  EXPECT_EQ(16, oid_name_to_buf(0, &ku, nullptr));
  EXPECT_EQ("키사용 용도", name_to_buf(key_usage, 17, &code));

  // The dotted form has the same rule.
  Bytes state = v7test::from_hex("550408");
  ASN1_BYTES st = view(state);
  EXPECT_EQ(7, oid_name_to_buf(0, &st, nullptr));
  EXPECT_EQ("", name_to_buf(state, 7, &code));
  EXPECT_EQ(1002, code);
  EXPECT_EQ("2.5.4.8", name_to_buf(state, 8, &code));
}

// The algorithm ids and the digest table of the hash interface describe the same algorithms:
// each row's digest is the one its registered algorithm uses, and nothing outside the table
// carries one.
TEST_F(OidTest, AlgorithmIdsAgreeWithTheDigestTable) {
  std::set<int> known;
  for (const auto &c : v7test::load_vectors("oid_table.txt")) {
    SCOPED_TRACE(c.where() + " " + c.text("oid"));
    int id = int(c.number("id"));
    known.insert(id);
    EXPECT_EQ(int(c.number("hash")), hash_type_from_alg_id(id));
  }
  for (int id = -1; id < 0x10000; id++) {
    if (known.count(id) != 0) continue;
    EXPECT_EQ(0, hash_type_from_alg_id(id)) << "id " << id << " is no object id";
  }
}

}  // namespace
