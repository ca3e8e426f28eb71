// Distinguished names as text and name comparison, on hand-built names and on the test PKI.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "platform/locale/process_words.h"
#include "pki/x509/name.h"
#include "tests/pki/x509/x509_test_util.h"

namespace x509test {
namespace {

// name_to_text over a Name's DER; the text, or "#<code>" on failure.
std::string dn_text(const Bytes &der, const char *separator = nullptr) {
  Record n = decode(der, &asn1_tmpl_name);
  if (n.record == nullptr) return "decode " + std::to_string(errno);
  const ASN1_LIST *rdns = n.as<Name>()->rdn_sequence;
  errno = 0;
  int size = name_to_text(rdns, separator, nullptr, 0);
  if (size == 0) return "#" + std::to_string(errno);
  std::string out(size_t(size), 'X');
  int length = name_to_text(rdns, separator, &out[0], out.size());
  EXPECT_EQ(length, size - 1) << "the size asked for holds the text and its NUL";
  EXPECT_EQ(out[size_t(length)], '\0');
  out.resize(size_t(length));
  return out;
}

TEST(NameText, TableOfNames) {
  const struct {
    const char *what;
    Bytes der;
    const char *separator;
    std::string expected;
  } cases[] = {
      {"last RDN first",
       name({rdn({atv(kC, kPrintable, text("KR"))}), rdn({atv(kO, kUtf8, text("Test"))}),
             rdn({atv(kCn, kUtf8, text("Hong"))})}),
       nullptr, "cn=Hong,o=Test,c=KR"},
      {"multi-valued RDN in DER order",
       name({rdn({atv(kC, kPrintable, text("KR"))}),
             rdn({atv(kOu, kUtf8, text("Multi")), atv(kCn, kUtf8, text("Multi Value"))})}),
       nullptr, "ou=Multi+cn=Multi Value,c=KR"},
      {"every short name",
       name({rdn({atv(kSn, kUtf8, text("a"))}), rdn({atv(kL, kUtf8, text("b"))}),
             rdn({atv(kS, kUtf8, text("c"))}), rdn({atv(kEmail, kUtf8, text("d"))}),
             rdn({atv(kSerial, kPrintable, text("e"))}), rdn({atv(kStreet, kUtf8, text("f"))}),
             rdn({atv(kPostal, kUtf8, text("g"))}), rdn({atv(kOu, kUtf8, text("h"))})}),
       nullptr, "ou=h,postalCode=g,street=f,serial=e,e=d,s=c,l=b,sn=a"},
      {"own separator", name({rdn({atv(kC, kPrintable, text("KR"))}), rdn({atv(kCn, kUtf8, text("x"))})}),
       " / ", "cn=x / c=KR"},
      {"values are not escaped", name({rdn({atv(kCn, kUtf8, text("a,o=KISA+b"))})}), nullptr,
       "cn=a,o=KISA+b"},
      {"Korean UTF-8 copied as it is", name({rdn({atv(kCn, kUtf8, text("홍길동"))})}), nullptr, "cn=홍길동"},
      {"empty name", name({}), nullptr, ""},
      {"unknown attribute", name({rdn({atv(kTitle, kUtf8, text("x"))})}), nullptr, "#1411"},
      {"BMPString", name({rdn({atv(kCn, kBmp, v7test::from_hex("d64dae38"))})}), nullptr, "#1111"},
      {"T61String", name({rdn({atv(kCn, kT61, text("x"))})}), nullptr, "#1111"},
      {"IA5String e-mail", name({rdn({atv(kEmail, kIa5, text("a@b"))})}), nullptr, "#1111"},
      {"NUL inside a value", name({rdn({atv(kCn, kUtf8, Bytes{'a', 0, 'b'})})}), nullptr, "#1111"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(dn_text(c.der, c.separator), c.expected);
  }
}

TEST(NameText, FixturesAndBuffers) {
  Record multi = pki_cert("names_multi_rdn.der");
  Record bmp = pki_cert("names_bmp.der");
  Record relay = pki_cert("relay.der");
  ASSERT_TRUE(multi.record && bmp.record && relay.record);
  char buf[128];
  const Name *relay_subject = &relay.as<Certificate>()->tbs.subject;
  EXPECT_EQ(name_to_text_comma(&multi.as<Certificate>()->tbs.subject, buf, sizeof buf), 35);
  EXPECT_STREQ(buf, "ou=Multi+cn=Multi Value,o=Test,c=KR");
  EXPECT_EQ(name_to_text_comma(relay_subject, buf, sizeof buf), 33);
  EXPECT_STREQ(buf, "cn=relay.test,ou=Test,o=Test,c=KR");
  errno = 0;
  EXPECT_EQ(name_to_text_comma(&bmp.as<Certificate>()->tbs.subject, buf, sizeof buf), 0);
  EXPECT_EQ(errno, v7::kErrAsn1InvalidTag);

  // The capacity must hold the NUL too.
  EXPECT_EQ(name_to_text_comma(relay_subject, buf, 33), 0);
  EXPECT_EQ(errno, v7::kErrInsufficientBuffer);
  EXPECT_EQ(name_to_text_comma(relay_subject, buf, 34), 33);
  EXPECT_EQ(name_to_text_comma(relay_subject, nullptr, 0), 34);
  errno = 0;
  EXPECT_EQ(name_to_text_comma(nullptr, buf, sizeof buf), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(NameText, CertNameFollowsTheEncodingSetting) {
  Record cert = decode(asn1test::read_fixture("asn1/cert.der"), &asn1_tmpl_certificate);
  ASSERT_NE(cert.record, nullptr);
  const Name *subject = &cert.as<Certificate>()->tbs.subject;
  const int saved = char_encoding_mode();
  char *utf8 = nullptr, *euckr = nullptr;
  set_char_encoding_mode(kCharEncodingUtf8);
  int n = cert_name_to_text(subject, &utf8);
  set_char_encoding_mode(0);
  int m = cert_name_to_text(subject, &euckr);
  set_char_encoding_mode(saved);
  ASSERT_TRUE(utf8 != nullptr && euckr != nullptr);
  EXPECT_EQ(size_t(n), strlen(utf8));
  EXPECT_EQ(size_t(m), strlen(euckr));
  std::string u(utf8), e(euckr);
  EXPECT_EQ(u.rfind("cn=", 0), 0u) << u;
  EXPECT_NE(u.find("홍길동"), std::string::npos) << u;
  EXPECT_NE(hex(Bytes(e.begin(), e.end())).find("c8abb1e6b5bf"), std::string::npos) << "EUC-KR of the name";
  EXPECT_EQ(e.find("홍길동"), std::string::npos) << "no UTF-8 left";
  EXPECT_EQ(e.rfind("cn=", 0), 0u);
  free(utf8);
  free(euckr);

  Record bmp = pki_cert("names_bmp.der");
  char *out = reinterpret_cast<char *>(1);
  EXPECT_EQ(cert_name_to_text(&bmp.as<Certificate>()->tbs.subject, &out), -1);
  EXPECT_EQ(errno, v7::kErrAsn1InvalidTag);
  EXPECT_EQ(out, nullptr);
}

TEST(NameText, AttributeValuesAndGeneralNames) {
  const struct {
    Bytes tlv;
    size_t capacity;
    int result;
    int code;
  } values[] = {
      {tlv(kUtf8, text("abc")), 4, 3, 0},     {tlv(kPrintable, text("abc")), 4, 3, 0},
      {tlv(kUtf8, text("abc")), 3, 0, 1002},  {tlv(kIa5, text("abc")), 8, 0, 1111},
      {tlv(kBmp, Bytes{0, 'a'}), 8, 0, 1111}, {Bytes{kUtf8, 5, 'a'}, 8, 0, 1112},
      {tlv(kUtf8, Bytes{}), 1, 0, 0},
  };
  for (const auto &v : values) {
    SCOPED_TRACE(hex(v.tlv));
    ASN1_BYTES value{const_cast<uint8_t *>(v.tlv.data()), uint32_t(v.tlv.size()), 0};
    char out[8];
    errno = 0;
    EXPECT_EQ(dn_attr_value_text(&value, out, v.capacity), v.result);
    EXPECT_EQ(errno, v.code);
  }

  // A directoryName is written as its text, a URI as its bytes.
  Record relay = pki_cert("relay.der");
  ASSERT_NE(relay.record, nullptr);
  GeneralName gn{};
  gn.directory_name = &relay.as<Certificate>()->tbs.subject;
  char out[64];
  EXPECT_EQ(name_field_text(&gn, out, sizeof out), 33);
  EXPECT_STREQ(out, "cn=relay.test,ou=Test,o=Test,c=KR");
  Bytes uri = text("ldap://127.0.0.1:389/cn=dp1");
  ASN1_BYTES uri_value{uri.data(), uint32_t(uri.size()), 0};
  GeneralName by_uri{};
  by_uri.uniform_resource_identifier = &uri_value;
  EXPECT_EQ(name_field_text(&by_uri, out, sizeof out), int(uri.size()));
  EXPECT_STREQ(out, "ldap://127.0.0.1:389/cn=dp1");
  EXPECT_EQ(name_field_text(&by_uri, out, uri.size()), 0);
  EXPECT_EQ(errno, v7::kErrInsufficientBuffer);
  GeneralName dns{};
  dns.dns_name = &uri_value;
  EXPECT_EQ(name_field_text(&dns, out, sizeof out), 0);
  EXPECT_EQ(errno, v7::kErrInvalidDnFormat);
}

int compare_names(const Bytes &a, const Bytes &b) {
  Record x = decode(a, &asn1_tmpl_name), y = decode(b, &asn1_tmpl_name);
  EXPECT_TRUE(x.record != nullptr && y.record != nullptr);
  return name_compare(x.as<Name>(), y.as<Name>());
}

TEST(NameCompare, TableOfPairs) {
  const Bytes kr = atv(kC, kPrintable, text("KR"));
  const struct {
    const char *what;
    Bytes a, b;
    int expected;
  } cases[] = {
      {"same", name({rdn({kr}), rdn({atv(kCn, kUtf8, text("x"))})}),
       name({rdn({kr}), rdn({atv(kCn, kUtf8, text("x"))})}), 0},
      {"PrintableString ignores case", name({rdn({atv(kCn, kPrintable, text("Mixed Case"))})}),
       name({rdn({atv(kCn, kPrintable, text("mIXED cASE"))})}), 0},
      {"UTF8String keeps case", name({rdn({atv(kCn, kUtf8, text("Mixed Case"))})}),
       name({rdn({atv(kCn, kUtf8, text("mixed case"))})}), 1},
      {"different string tags", name({rdn({kr})}), name({rdn({atv(kC, kUtf8, text("KR"))})}), 1},
      {"different types", name({rdn({atv(kO, kUtf8, text("x"))})}), name({rdn({atv(kOu, kUtf8, text("x"))})}),
       1},
      {"attribute order inside an RDN", name({rdn({atv(kOu, kUtf8, text("a")), atv(kCn, kUtf8, text("b"))})}),
       name({rdn({atv(kCn, kUtf8, text("b")), atv(kOu, kUtf8, text("a"))})}), 0},
      {"RDN order matters", name({rdn({kr}), rdn({atv(kCn, kUtf8, text("b"))})}),
       name({rdn({atv(kCn, kUtf8, text("b"))}), rdn({kr})}), 1},
      {"one attribute more", name({rdn({kr})}), name({rdn({kr, atv(kCn, kUtf8, text("b"))})}), 1},
      {"a partner is used once", name({rdn({kr, kr})}), name({rdn({kr, atv(kC, kPrintable, text("US"))})}),
       1},
      {"one RDN more", name({rdn({kr})}), name({rdn({kr}), rdn({kr})}), 1},
      {"value length differs", name({rdn({atv(kCn, kUtf8, text("ab"))})}),
       name({rdn({atv(kCn, kUtf8, text("abc"))})}), 1},
      {"long values", name({rdn({atv(kCn, kUtf8, Bytes(300, 'a'))})}),
       name({rdn({atv(kCn, kUtf8, Bytes(300, 'a'))})}), 0},
      {"both empty", name({}), name({}), 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(compare_names(c.a, c.b), c.expected);
    EXPECT_EQ(compare_names(c.b, c.a), c.expected);
  }
  Record n = decode(name({rdn({kr})}), &asn1_tmpl_name);
  EXPECT_EQ(name_compare(nullptr, nullptr), 0);
  EXPECT_EQ(name_compare(n.as<Name>(), nullptr), 1);
  EXPECT_EQ(name_compare(nullptr, n.as<Name>()), 1);
}

TEST(NameCompare, FixturePairs) {
  const struct {
    const char *a, *b;
    int expected;
  } cases[] = {
      {"names_printable.der", "names_printable_upper.der", 0},
      {"names_utf8.der", "names_utf8_upper.der", 1},
      {"names_printable.der", "names_utf8.der", 1},
      {"ca.der", "user_sign.der", 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    Record a = pki_cert(c.a), b = pki_cert(c.b);
    ASSERT_TRUE(a.record && b.record);
    EXPECT_EQ(name_compare(&a.as<Certificate>()->tbs.subject, &b.as<Certificate>()->tbs.subject), c.expected);
  }
  // An issuer equals its CA's subject.
  Record ca = pki_cert("ca.der"), user = pki_cert("user_sign.der");
  EXPECT_EQ(name_compare(&user.as<Certificate>()->tbs.issuer, &ca.as<Certificate>()->tbs.subject), 0);
}

int compare_text(const Bytes &der, const char *text) {
  Record n = decode(der, &asn1_tmpl_name);
  EXPECT_TRUE(n.record != nullptr);
  return name_compare_text(n.as<Name>(), text);
}

// A name matches the text it renders as only when no value holds a character that the text uses
// as a separator: a name and a text agree attribute by attribute or not at all.
TEST(NameCompareText, TableOfNamesAndTexts) {
  const Bytes kr = atv(kC, kPrintable, text("KR"));
  const Bytes relay =
      name({rdn({kr}), rdn({atv(kO, kPrintable, text("Test"))}), rdn({atv(kOu, kPrintable, text("Test"))}),
            rdn({atv(kCn, kUtf8, text("relay.test"))})});
  const char *relay_text = "cn=relay.test,ou=Test,o=Test,c=KR";
  const struct {
    const char *what;
    Bytes der;
    const char *text;
    int expected;
  } cases[] = {
      {"the relay's name", relay, relay_text, 0},
      {"one value spelling the relay's name",
       name({rdn({kr}), rdn({atv(kCn, kUtf8, text("relay.test,ou=Test,o=Test"))})}), relay_text, 1},
      {"a value holding \"+\"", name({rdn({atv(kCn, kUtf8, text("a+ou=b"))})}), "cn=a+ou=b", 1},
      {"a value holding \"=\"", name({rdn({atv(kCn, kUtf8, text("a=b"))})}), "cn=a=b", 1},
      {"a multi-valued RDN in DER order",
       name({rdn({kr}), rdn({atv(kOu, kUtf8, text("Multi")), atv(kCn, kUtf8, text("Multi Value"))})}),
       "ou=Multi+cn=Multi Value,c=KR", 0},
      {"two RDNs for one multi-valued one",
       name({rdn({kr}), rdn({atv(kOu, kUtf8, text("Multi"))}), rdn({atv(kCn, kUtf8, text("Multi Value"))})}),
       "ou=Multi+cn=Multi Value,c=KR", 1},
      {"a value of other case", relay, "cn=Relay.test,ou=Test,o=Test,c=KR", 1},
      {"a type of other case", relay, "CN=relay.test,ou=Test,o=Test,c=KR", 1},
      {"a shorter value", relay, "cn=relay.tes,ou=Test,o=Test,c=KR", 1},
      {"one RDN less", relay, "cn=relay.test,ou=Test,o=Test", 1},
      {"one RDN more", relay, "cn=relay.test,ou=Test,o=Test,c=KR,c=KR", 1},
      {"a trailing separator", relay, "cn=relay.test,ou=Test,o=Test,c=KR,", 1},
      {"RDNs in DER order", relay, "c=KR,o=Test,ou=Test,cn=relay.test", 1},
      {"Korean UTF-8", name({rdn({atv(kCn, kUtf8, text("홍길동"))})}), "cn=홍길동", 0},
      {"an attribute without a short name", name({rdn({atv(kTitle, kUtf8, text("x"))})}), "title=x", 1},
      {"a value that is neither UTF8String nor PrintableString", name({rdn({atv(kCn, kBmp, {0, 'x'})})}),
       "cn=x", 1},
      {"an empty name and an empty text", name({}), "", 0},
      {"an empty name", name({}), "cn=x", 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(compare_text(c.der, c.text), c.expected);
  }
  Record n = decode(relay, &asn1_tmpl_name);
  errno = 0;
  EXPECT_EQ(name_compare_text(n.as<Name>(), nullptr), 1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(name_compare_text(nullptr, relay_text), 1);
}

TEST(NameCompareText, TestPkiRelayAndImpostor) {
  Record relay = pki_cert("relay.der"), impostor = pki_cert("relay_impostor.der");
  ASSERT_TRUE(relay.record && impostor.record);
  const Name *genuine = &relay.as<Certificate>()->tbs.subject,
             *other = &impostor.as<Certificate>()->tbs.subject;
  // Both render as the same text; only the genuine name is the one it spells.
  char a[128], b[128];
  ASSERT_GT(name_to_text_comma(genuine, a, sizeof a), 0);
  ASSERT_GT(name_to_text_comma(other, b, sizeof b), 0);
  EXPECT_STREQ(a, "cn=relay.test,ou=Test,o=Test,c=KR");
  EXPECT_STREQ(b, a);
  EXPECT_EQ(name_compare_text(genuine, a), 0);
  EXPECT_EQ(name_compare_text(other, a), 1);
}

}  // namespace
}  // namespace x509test
