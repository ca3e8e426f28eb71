#include "media/certlist.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "media/securedisk/securedisk.h"
#include "pki/oid/oid.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/media/cert_builder.h"

using certtest::Bytes;
using certtest::CertSpec;

namespace {

CERT_ENTRY *entry_of(const CertSpec &spec) {
  Bytes der = certtest::certificate(spec);
  CERT_ENTRY *e = nullptr;
  EXPECT_EQ(certentry_from_der(der.data(), der.size(), &e), 1) << errno;
  return e;
}

std::string order(const CERTLIST_CTX &list) {
  std::string out;
  for (const CERT_ENTRY *e = list.first; e != nullptr; e = e->next)
    out += (out.empty() ? "" : " ") + std::string(e->subject_cn);
  return out;
}

TEST(CertEntry, FieldsOfABuiltCertificate) {
  set_char_encoding_mode(kCharEncodingUtf8);
  CERT_ENTRY *e = entry_of(CertSpec{});
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->subject, "cn=Hong Gildong()0001,ou=personal4IB,o=TestCA,c=KR");
  EXPECT_STREQ(e->subject_cn, "Hong Gildong()0001");
  EXPECT_STREQ(e->issuer, "cn=TestCA Class 1,ou=AccreditedCA,o=TestCA,c=KR");
  EXPECT_STREQ(e->issuer_org, "TestCA");
  EXPECT_STREQ(e->policy, "1.2.410.200005.1.1.1");
  EXPECT_STREQ(e->not_before_text, "2025-01-01");
  EXPECT_STREQ(e->not_after_text, "2049-12-31");
  EXPECT_EQ(e->not_before, 1735689600);
  EXPECT_STREQ(e->serial, "9");
  EXPECT_STREQ(e->subject_dn, e->subject);
  EXPECT_STREQ(e->subject_dn_cn, "Hong Gildong()0001");
  EXPECT_EQ(e->sig_alg, OID_SHA256_WITH_RSA);
  certentry_free(e);
  set_char_encoding_mode(0);
}

TEST(CertEntry, SerialTexts) {
  struct Case {
    Bytes serial;
    const char *text;
  } cases[] = {{{0x0A}, "10"},
               {{0x10, 0x01, 0x01}, "1048833"},
               {{0x7F, 0xFF, 0xFF, 0xFF}, "2147483647"},
               {{0x00, 0x80, 0x00, 0x00, 0x00}, "0"},
               {{0x01, 0x02, 0x03, 0x04, 0x05}, "0"}};
  for (const Case &c : cases) {
    CertSpec spec;
    spec.serial = c.serial;
    CERT_ENTRY *e = entry_of(spec);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->serial, c.text);
    certentry_free(e);
  }
}

TEST(CertEntry, RefusedCertificates) {
  struct Case {
    const char *what;
    CertSpec spec;
    int code;
  };
  std::vector<Case> cases(6);
  cases[0] = {"no policies", {}, v7::kErrNoPoliciesExtension};
  cases[0].spec.policy = "";
  cases[1] = {"empty policies", {}, v7::kErrNoCertPolicies};
  cases[1].spec.policy = "-";
  cases[2] = {"issuer ends in o=", {}, v7::kErrInvalidDnFormat};
  cases[2].spec.issuer = {{"o", "TestCA"}, {"c", "KR"}, {"cn", "CA"}};
  cases[3] = {"subject of one value", {}, v7::kErrInvalidDnFormat};
  cases[3].spec.subject = {{"cn", "Alone"}};
  cases[4] = {"subject comma before the value", {}, v7::kErrInvalidDnFormat};
  cases[4].spec.subject = {{"o", "x"}, {"c", ""}};
  cases[5] = {"unknown signature algorithm", {}, 0};
  cases[5].spec.sig_alg = "1.2.3.4";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Bytes der = certtest::certificate(c.spec);
    CERT_ENTRY *e = reinterpret_cast<CERT_ENTRY *>(1);
    EXPECT_EQ(certentry_from_der(der.data(), der.size(), &e), 0);
    EXPECT_EQ(errno, c.code);
    EXPECT_EQ(e, nullptr);
  }
}

TEST(CertEntry, TruncatedDerAtEveryLength) {
  Bytes der = certtest::certificate(CertSpec{});
  for (size_t n = 1; n < der.size(); n++) {
    CERT_ENTRY *e = nullptr;
    ASSERT_EQ(certentry_from_der(der.data(), n, &e), 0) << n;
    EXPECT_EQ(errno, v7::kErrAsn1Decode) << n;
  }
}

TEST(PolicyFilter, Table) {
  StrListNode *filter = strlist_split("1.2.410.200005.1.1.1;;1.2.410.200005.1.1.5");
  struct Case {
    const StrListNode *filter;
    const char *policy;
    int accepted;
  } cases[] = {{nullptr, "1.2.410.200005.1.1.1", 1},
               {nullptr, "1.2.410.200005.1.1.3", 0},
               {nullptr, "1.2.410.200005.1.3.2", 0},
               {filter, "1.2.410.200005.1.1.5", 1},
               {filter, "1.2.410.200005.1.1.3", 0},
               {filter, "1.2.410.200005.1.1.55", 0},
               {filter, "1.2.410.200005.1.1", 0},
               {filter, "", 1},
               {nullptr, nullptr, 0}};
  for (const Case &c : cases)
    EXPECT_EQ(cert_policy_accepted(c.filter, c.policy), c.accepted) << (c.policy ? c.policy : "null");
  strlist_free(filter);
  EXPECT_EQ(strlist_split(""), nullptr);
  StrListNode *one = strlist_split(";");
  ASSERT_NE(one, nullptr);
  EXPECT_STREQ(one->text, "");
  ASSERT_NE(one->next, nullptr);
  EXPECT_STREQ(one->next->text, "");
  strlist_free(one);
}

// Same subject, one found after the other: which one stays, and where.
TEST(AddUnique, DuplicateRule) {
  struct Case {
    Bytes first_serial, second_serial;
    const char *second_alg;
    bool second_stays;
  } cases[] = {
      {{0x09}, {0x0A}, certtest::kSha256Rsa, true},
      {{0x0A}, {0x09}, certtest::kSha256Rsa, false},
      {{0x09}, {0x09}, certtest::kSha256Rsa, true},
      {{0x09}, {0x09}, certtest::kSha1Rsa, false},
      {{0x0A}, {0x09}, certtest::kSha1Rsa, false},
      {{0x09}, {0x0A}, certtest::kSha1Rsa, true},
      // Both serials read "0" as text, but the whole numbers differ: the greater one stays.
      {{0x01, 0x00, 0x00, 0x00, 0x02}, {0x01, 0x00, 0x00, 0x00, 0x01}, certtest::kSha256Rsa, false},
      {{0x01, 0x00, 0x00, 0x00, 0x01}, {0x01, 0x00, 0x00, 0x00, 0x02}, certtest::kSha1Rsa, true},
      {{0x00, 0xFF, 0x00, 0x00, 0x00}, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, certtest::kSha256Rsa, true},
  };
  for (const Case &c : cases) {
    CERTLIST_CTX list{};
    CertSpec before, dup, after;
    before.subject.back().value = "Before";
    after.subject.back().value = "After";
    dup.serial = c.first_serial;
    certlist_add_unique(&list, entry_of(before));
    certlist_add_unique(&list, entry_of(dup));
    certlist_add_unique(&list, entry_of(after));
    dup.serial = c.second_serial;
    dup.sig_alg = c.second_alg;
    CERT_ENTRY *second = entry_of(dup);
    certlist_add_unique(&list, second);
    EXPECT_EQ(order(list), "Before Hong Gildong()0001 After");
    CERT_ENTRY *kept = list.first->next;
    EXPECT_EQ(kept->sig_alg, c.second_stays && strcmp(c.second_alg, certtest::kSha1Rsa) == 0
                                 ? OID_SHA1_WITH_RSA
                                 : OID_SHA256_WITH_RSA);
    if (c.first_serial != c.second_serial) {
      EXPECT_EQ(Bytes(kept->serial_bytes, kept->serial_bytes + kept->serial_length) ==
                    Bytes(c.second_serial.begin() + (c.second_serial[0] == 0 ? 1 : 0), c.second_serial.end()),
                c.second_stays);
    }
    certlist_free(&list);
  }
}

TEST(AddUnique, EntryWithoutSubjectIsDropped) {
  CERTLIST_CTX list{};
  CERT_ENTRY *e = entry_of(CertSpec{});
  free(e->subject_dn);
  e->subject_dn = nullptr;
  certlist_add_unique(&list, e);
  EXPECT_EQ(list.first, nullptr);
}

TEST(AddUnique, IdsAreUniqueWhenAsked) {
  CERTLIST_CTX list{};
  list.id_flag = 1;
  for (int i = 0; i < 50; i++) {
    CertSpec spec;
    spec.subject.back().value = "Holder " + std::to_string(i);
    certlist_add_unique(&list, entry_of(spec));
  }
  std::set<std::string> ids;
  for (const CERT_ENTRY *e = list.first; e != nullptr; e = e->next) {
    ASSERT_NE(e->id, nullptr);
    ids.insert(e->id);
  }
  EXPECT_EQ(ids.size(), 50u);
  certlist_free(&list);
}

TEST(Sort, PreferredSubjectAndPolicies) {
  struct Case {
    const char *subject;
    const char *policies;
    const char *order;
  } cases[] = {
      {nullptr, nullptr, "a1 b1 x1 a2 b2"},
      {"cn=b2,o=T,c=KR", nullptr, "b2 a1 b1 x1 a2"},
      {nullptr, "A;B", "a1 a2 b1 b2 x1"},
      {nullptr, ";B;;", "b1 b2 a1 x1 a2"},
      {"cn=b2,o=T,c=KR", "A;B", "a1 a2 b2 b1 x1"},
      {"cn=a2,o=T,c=KR", "A;B", "a2 a1 b1 b2 x1"},
      {nullptr, "Z", "a1 b1 x1 a2 b2"},
  };
  // Policies stand in as plain texts: the sort compares them as they are.
  const char *names[] = {"a1", "b1", "x1", "a2", "b2"};
  const char *policies[] = {"A", "B", "X", "A", "B"};
  for (const Case &c : cases) {
    CERTLIST_CTX list{};
    CERT_ENTRY **tail = &list.first;
    for (int i = 0; i < 5; i++) {
      CertSpec spec;
      spec.subject = {{"c", "KR"}, {"o", "T"}, {"cn", names[i]}};
      CERT_ENTRY *e = entry_of(spec);
      free(e->policy);
      e->policy = strdup(policies[i]);
      *tail = e;
      tail = &e->next;
    }
    CERT_ENTRY *first = certlist_sort(c.subject, &list, c.policies);
    EXPECT_EQ(first, list.first);
    EXPECT_EQ(order(list), c.order) << (c.subject ? c.subject : "-") << " / "
                                    << (c.policies ? c.policies : "-");
    certlist_free(&list);
  }
  CERTLIST_CTX empty{};
  EXPECT_EQ(certlist_sort("x", &empty, "A"), nullptr);
  EXPECT_EQ(certlist_sort("x", nullptr, "A"), nullptr);
}

TEST(CertList, MemoryListAndItsParts) {
  Bytes sign = certtest::certificate(CertSpec{});
  CertSpec km_spec;
  km_spec.serial = {0x0B};
  Bytes km = certtest::certificate(km_spec);
  MemoryCertPair pair{sign.data(), sign.size(), km.data(), km.size()};
  CERTLIST_CTX list{};
  CERT_ENTRY *e = certlist_load(&list, kMediumMemory, &pair);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(list.media_code, kMediumMemory);
  EXPECT_EQ(e->parts, kPartSignCert | kPartKmCert);
  uint8_t *out = nullptr;
  EXPECT_EQ(cert_read_sign_cert(e, &out), sign.size());
  EXPECT_EQ(Bytes(out, out + sign.size()), sign);
  free(out);
  EXPECT_EQ(cert_read_km_cert(e, &out), km.size());
  free(out);
  EXPECT_EQ(cert_read_sign_key(e, &out), 0u);
  EXPECT_EQ(errno, v7::kErrNoSignKeyPart);
  EXPECT_EQ(cert_read_km_key(e, &out), 0u);
  EXPECT_EQ(errno, v7::kErrNoKmKeyPart);
  // A certificate that does not decode leaves the list as it was.
  MemoryCertPair bad{sign.data(), 10, nullptr, 0};
  EXPECT_EQ(certlist_load(&list, kMediumMemory, &bad), nullptr);
  EXPECT_EQ(list.first, e);
  certlist_free(&list);
  EXPECT_EQ(list.media_code, 0u);
}

TEST(CertList, UnknownCodesAndStubs) {
  CERTLIST_CTX list{};
  for (uint32_t code : {0u, 3u, 16u, 32u, 8192u}) {
    EXPECT_EQ(certlist_load(&list, code, nullptr), nullptr);
    EXPECT_EQ(errno, v7::kErrInvalidParameter) << code;
  }
  // A secure-disk list needs a module handle.
  SecureDiskHandle handle{};
  EXPECT_EQ(certlist_load(&list, kMediumSecureDisk, &handle), nullptr);
  EXPECT_EQ(errno, v7::kErrSdNotHandle);
  EXPECT_EQ(certlist_load(&list, kMediumSecureDisk, nullptr), nullptr);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(certlist_get_pin(&list), nullptr);
  uint8_t id_bytes[] = {1, 2, 3};
  TokenEntryId id{id_bytes, 3};
  uint8_t buf[3];
  EXPECT_EQ(certentry_copy_id(nullptr, &id, 0), 3u);
  EXPECT_EQ(certentry_copy_id(buf, &id, 2), 0u);
  EXPECT_EQ(errno, v7::kErrInsufficientBuffer);
  EXPECT_EQ(certentry_copy_id(buf, &id, 3), 3u);
  CERT_ENTRY other{};
  other.media_code = 16;
  other.parts = 15;
  uint8_t *out = nullptr;
  EXPECT_EQ(cert_read_sign_cert(&other, &out), 0u);
  EXPECT_EQ(errno, v7::kErrNoPartReader);
  EXPECT_EQ(cert_read_sign_cert(nullptr, &out), 0u);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

}  // namespace
