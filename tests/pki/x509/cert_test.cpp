// Certificate accessors over the test PKI: times and validity against a pinned clock, extensions,
// key usage, signature algorithm, key size, the subject's DER, certificate lists, hostile DER.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/errors/errno_util.h"
#include "pki/oid/oid.h"
#include "pki/x509/cert.h"
#include "platform/clock/clock.h"
#include "tests/pki/x509/x509_test_util.h"

namespace x509test {
namespace {

constexpr int64_t kFrom = 1735689600;  // 2025-01-01 00:00:00Z, notBefore of the test PKI
constexpr int64_t kTo = 2524607999;    // 2049-12-31 23:59:59Z, notAfter

int64_t g_now = 0;
int64_t pinned_now() { return g_now; }

class Clock : public ::testing::Test {
 protected:
  void SetUp() override { platform_set_clock_hook(pinned_now); }
  void TearDown() override { platform_set_clock_hook(nullptr); }
};

TEST_F(Clock, TimesAndValidityStates) {
  Record user = pki_cert("user_sign.der");
  Record multi = pki_cert("names_multi_rdn.der");
  ASSERT_TRUE(user.record && multi.record);
  const Certificate *cert = user.as<Certificate>();
  EXPECT_EQ(cert_not_before(cert), kFrom);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(cert_not_after(cert), kTo);
  EXPECT_EQ(cert_not_after(multi.as<Certificate>()), kTo + 1) << "GeneralizedTime 20500101000000Z";

  const struct {
    int64_t now;
    int state;
  } cases[] = {{kFrom - 1, -1}, {kFrom, 0}, {kFrom + 1, 0}, {kTo - 1, 0}, {kTo, 0}, {kTo + 1, 1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.now);
    g_now = c.now;
    EXPECT_EQ(cert_validity_state(cert), c.state);
  }

  // CRL currency: thisUpdate 2025-01-01, nextUpdate 2049-12-31 or, for the stale list, 2025-02-01.
  Record good = decode(pki_file("crl_good.der"), &asn1_tmpl_certificate_list);
  Record stale = decode(pki_file("crl_expired.der"), &asn1_tmpl_certificate_list);
  ASSERT_TRUE(good.record && stale.record);
  g_now = 1765324800;  // 2025-12-10
  EXPECT_EQ(crl_validity_state(&good.as<CertificateList>()->tbs), 0);
  EXPECT_EQ(crl_validity_state(&stale.as<CertificateList>()->tbs), 1);
  g_now = 1738368000;  // exactly the stale list's nextUpdate
  EXPECT_EQ(crl_validity_state(&stale.as<CertificateList>()->tbs), 0);

  // Missing times.
  Certificate empty{};
  TBSCertList empty_crl{};
  errno = 0;
  EXPECT_EQ(cert_not_before(&empty), -1);
  EXPECT_EQ(errno, v7::kErrInvalidCertFormat);
  EXPECT_EQ(cert_validity_state(&empty), -2);
  EXPECT_EQ(errno, v7::kErrInvalidCertFormat);
  EXPECT_EQ(crl_validity_state(&empty_crl), -2);
  EXPECT_EQ(errno, v7::kErrInvalidCrlFormat);
  // An unreadable time is a missing one.
  ASN1_BYTES bad_time{reinterpret_cast<uint8_t *>(const_cast<char *>("2501010000Z")), 11, 0};
  Certificate broken = *cert;
  broken.tbs.validity.not_before.utc_time = &bad_time;
  EXPECT_EQ(cert_validity_state(&broken), -2);
  EXPECT_EQ(errno, v7::kErrInvalidCertFormat);
  EXPECT_EQ(cert_validity_state(nullptr), -2);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

// The local rendering of a time in the zone ctest gives this executable (TZ=KST-9, natively and
// under Wine): the same texts on every build, including the 32-bit one, whose C runtime cannot
// hold 2049 in a time_t.
std::string local_text(int64_t t) {
  if (t == kFrom) return "2025-01-01 09:00:00";
  if (t == kTo) return "2050-01-01 08:59:59";
  if (t == kTo + 1) return "2050-01-01 09:00:00";
  if (t == kFrom - 1) return "2025-01-01 08:59:59";
  return "?";
}

using LocalTime = Clock;

TEST_F(LocalTime, ValidityTexts) {
  char *text = reinterpret_cast<char *>(1);
  g_now = kFrom;
  EXPECT_EQ(validity_text(kFrom, kTo, &text), 0);
  EXPECT_EQ(text, nullptr) << "no text inside the period";

  g_now = kTo + 1;
  ASSERT_EQ(validity_text(kFrom, kTo, &text), 1);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), "valid period(" + local_text(kFrom) + " ~ " + local_text(kTo) +
                                   "), current date(" + local_text(kTo + 1) + ")");
  free(text);

  Record user = pki_cert("relay.der");
  ASSERT_NE(user.record, nullptr);
  g_now = kFrom - 1;
  ASSERT_EQ(cert_validity_text(user.as<Certificate>(), &text), -1);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), "valid period(" + local_text(kFrom) + " ~ " + local_text(kTo) +
                                   "), current date(" + local_text(kFrom - 1) +
                                   "), DN : cn=relay.test,ou=Test,o=Test,c=KR");
  free(text);

  Record stale = decode(pki_file("crl_expired.der"), &asn1_tmpl_certificate_list);
  g_now = kTo;
  ASSERT_EQ(crl_validity_text(&stale.as<CertificateList>()->tbs, &text), 1);
  EXPECT_EQ(std::string(text).find("valid period(" + local_text(kFrom) + " ~ "), 0u) << text;
  free(text);

  CertificateTrustList ctl{};
  text = nullptr;
  EXPECT_EQ(ctl_validity_text(&ctl, &text), -2);
  EXPECT_EQ(errno, v7::kErrInvalidCrlFormat);
  EXPECT_EQ(text, nullptr);
  ctl.this_update = stale.as<CertificateList>()->tbs.this_update;
  ctl.next_update = stale.as<CertificateList>()->tbs.next_update;
  EXPECT_EQ(ctl_validity_text(&ctl, &text), 1);
  free(text);
}

TEST(CertExtensions, FindCriticalAndKeyUsage) {
  Record user = pki_cert("user_sign.der");
  ASSERT_NE(user.record, nullptr);
  const Certificate *cert = user.as<Certificate>();
  const Extension *ku = cert_find_extension(cert, OID_EXT_KEY_USAGE);
  ASSERT_NE(ku, nullptr);
  EXPECT_EQ(ext_is_critical(ku), 1);
  EXPECT_EQ(hex(ku->extn_value), "030206c0");
  const Extension *aki = cert_find_extension(cert, OID_EXT_AUTHORITY_KEY_ID);
  ASSERT_NE(aki, nullptr);
  EXPECT_EQ(ext_is_critical(aki), 0);
  errno = 0;
  EXPECT_EQ(cert_find_extension(cert, OID_EXT_NAME_CONSTRAINTS), nullptr);
  EXPECT_EQ(errno, 0) << "not found is not a failure";

  // The same walk over CRL extensions and over attributes.
  Record crl = decode(pki_file("crl_good.der"), &asn1_tmpl_certificate_list);
  const Extension *idp = static_cast<const Extension *>(
      ext_list_find(crl.as<CertificateList>()->tbs.crl_extensions, OID_EXT_ISSUING_DIST_POINT));
  ASSERT_NE(idp, nullptr);
  EXPECT_EQ(ext_is_critical(idp), 1);
  Record root = pki_cert("root_kisa.der");
  const ASN1_LIST *rdns = root.as<Certificate>()->tbs.subject.rdn_sequence;
  const void *o = ext_list_find(static_cast<const ASN1_LIST *>(rdns->next->element), OID_AT_ORGANIZATION);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(hex(static_cast<const AttributeTypeAndValue *>(o)->value), hex(text("\x0c\x04KISA")));
  EXPECT_EQ(ext_list_find(nullptr, OID_AT_ORGANIZATION), nullptr);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(CertExtensions, KeyUsageTable) {
  // ds 0x80, nr 0x40, ke 0x20, keyCertSign 0x04, cRLSign 0x02.
  const int codes[] = {KU_CHECK_SIGNING,   KU_CHECK_SIGNING_2,
                       KU_CHECK_SIGNING_3, KU_CHECK_KEY_ENCIPHERMENT,
                       KU_CHECK_CERT_SIGN, KU_CHECK_CRL_SIGN,
                       KU_CHECK_ANY,       KU_CHECK_ANY_2,
                       0x800000,           1};
  const struct {
    uint8_t byte;
    int allowed[10];
  } rows[] = {
      {0xC0, {1, 1, 1, 0, 0, 0, 1, 1, 0, 0}}, {0x80, {0, 0, 0, 0, 0, 0, 1, 1, 0, 0}},
      {0x40, {0, 0, 0, 0, 0, 0, 1, 1, 0, 0}}, {0x20, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0}},
      {0x06, {0, 0, 0, 0, 1, 1, 1, 1, 0, 0}}, {0x04, {0, 0, 0, 0, 1, 0, 1, 1, 0, 0}},
      {0xFF, {1, 1, 1, 1, 1, 1, 1, 1, 0, 0}}, {0x00, {0, 0, 0, 0, 0, 0, 1, 1, 0, 0}},
  };
  for (const auto &r : rows) {
    uint8_t byte = r.byte;
    ASN1_BIT_STRING ku{&byte, 1, 0};
    for (size_t i = 0; i < 10; ++i) {
      SCOPED_TRACE(testing::Message() << "byte " << int(r.byte) << " code " << codes[i]);
      EXPECT_EQ(cert_key_usage_ok(codes[i], &ku), r.allowed[i]);
    }
  }
  ASN1_BIT_STRING empty{nullptr, 0, 0};
  EXPECT_EQ(cert_key_usage_ok(KU_CHECK_SIGNING, &empty), 0);
  EXPECT_EQ(cert_key_usage_ok(KU_CHECK_ANY, nullptr), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(CertFields, AlgorithmKeySizeAndSubject) {
  for (const std::string &file : pki_certificates()) {
    SCOPED_TRACE(file);
    Bytes der = pki_file(file);
    ASSERT_FALSE(der.empty());
    int expected = file == "names_utf8_upper.der" ? 5376 : file == "names_printable_upper.der" ? 0 : 5377;
    errno = 1;
    EXPECT_EQ(cert_hash_alg(der.data(), der.size()), expected);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(cert_key_bits(der.data(), der.size()), file == "names_bmp.der" ? 1024 : 2048);
    uint8_t *subject = nullptr;
    size_t length = 0;
    ASSERT_GT(cert_subject_der(der.data(), der.size(), &subject, &length), 0u);
    // The subject is the sixth field of the TBSCertificate: find it in the file and compare.
    Record cert = decode(der, &asn1_tmpl_certificate);
    const Certificate *c = cert.as<Certificate>();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(cert_rsa_key_bits(c), file == "names_bmp.der" ? 1024 : 2048);
    std::string whole = hex(der), sub = hex(Bytes(subject, subject + length));
    EXPECT_NE(whole.find(sub), std::string::npos);
    EXPECT_EQ(sub.substr(0, 2), "30");
    free(subject);
  }
}

TEST(CertFields, HostileDer) {
  const Bytes der = pki_file("user_sign.der");
  ASSERT_FALSE(der.empty());
  Bytes truncated(der.begin(), der.end() - 1);
  Bytes long_inner = der;
  long_inner[5] ^= 0x01;  // the TBSCertificate's length, now off by one
  Bytes not_a_sequence = der;
  not_a_sequence[0] = 0x31;
  // An unknown signature algorithm is an answer, a malformed OID a decoding failure.
  Bytes other_oid = der, bad_oid = der;
  const std::string sha256_rsa = "2a864886f70d01010b";
  size_t at = hex(der).rfind(sha256_rsa) / 2;
  other_oid[at + 8] = 0x0d;  // sha512WithRSAEncryption
  bad_oid[at] = 0x80;        // a leading 0x80 arc byte
  const struct {
    const char *what;
    Bytes der;
    int result;
    int code;
  } cases[] = {
      {"truncated", truncated, 0, v7::kErrAsn1BadLength},
      {"inner length", long_inner, 0, v7::kErrAsn1BadLength},
      {"SET for SEQUENCE", not_a_sequence, 0, v7::kErrAsn1InvalidTag},
      {"other algorithm", other_oid, 0, 0},
      {"malformed OID", bad_oid, 0, v7::kErrAsn1Oid},
      {"empty", Bytes{0x30, 0x00}, 0, v7::kErrAsn1Decode},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    errno = 0;
    EXPECT_EQ(cert_hash_alg(c.der.data(), c.der.size()), c.result);
    EXPECT_EQ(errno, c.code);
    if (c.code == 0) continue;
    uint8_t *out = nullptr;
    size_t len = 7;
    EXPECT_EQ(cert_subject_der(c.der.data(), c.der.size(), &out, &len), 0u);
    EXPECT_EQ(errno, c.code);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(cert_key_bits(c.der.data(), c.der.size()), 0);
    EXPECT_EQ(errno, c.code);
  }
  EXPECT_EQ(cert_hash_alg(nullptr, 10), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(CertFields, NodesFreeOwnedCertificatesOnly) {
  Record borrowed = pki_cert("ca.der");
  ASSERT_NE(borrowed.record, nullptr);
  CERT_NODE *list = nullptr;
  for (const char *file : {"user_sign.der", "user_km.der"}) {
    Bytes der = pki_file(file);
    CERT_NODE *node = static_cast<CERT_NODE *>(calloc(1, sizeof(CERT_NODE)));
    node->cert = static_cast<Certificate *>(
        asn1_decode_alloc(ASN1_MODE_DER, der.data(), &asn1_tmpl_certificate, der.size()));
    node->next = list;
    list = node;
  }
  CERT_NODE *node = static_cast<CERT_NODE *>(calloc(1, sizeof(CERT_NODE)));
  node->flag = 1;
  node->cert = borrowed.as<Certificate>();
  node->next = list;
  cert_nodes_free(node);  // the sanitizers see a leak or a double release
  cert_nodes_free(nullptr);
  EXPECT_EQ(cert_rsa_key_bits(borrowed.as<Certificate>()), 2048) << "the borrowed certificate lives on";
}

}  // namespace
}  // namespace x509test
