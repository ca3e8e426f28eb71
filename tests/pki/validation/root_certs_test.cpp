#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pki/validation/internal.h"
#include "pki/validation/valcfg.h"
#include "pki/x509/name.h"
#include "platform/clock/clock.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace {

using v7test::Bytes;

// The test PKI's certificates are valid from 2025-01-01 00:00:00Z to 2049-12-31 23:59:59Z.
constexpr int64_t kNotBefore = 1735689600;
constexpr int64_t kNotAfter = 2524607999;

int64_t g_now = 0;
int64_t fixed_now() { return g_now; }

struct ClockAt {
  explicit ClockAt(int64_t t) {
    g_now = t;
    platform_set_clock_hook(fixed_now);
  }
  ~ClockAt() { platform_set_clock_hook(nullptr); }
};

struct List {
  CERT_NODE *head = nullptr;
  ~List() { cert_nodes_free(head); }
  std::vector<const CERT_NODE *> nodes() const {
    std::vector<const CERT_NODE *> v;
    for (const CERT_NODE *n = head; n != nullptr; n = n->next) v.push_back(n);
    return v;
  }
};

std::string serial_hex(const CERT_NODE *n) {
  return v7test::to_hex(n->cert->tbs.serial_number.data, n->cert->tbs.serial_number.len);
}

std::string subject(const CERT_NODE *n) {
  char text[512] = {0};
  return name_to_text_comma(&n->cert->tbs.subject, text, sizeof(text)) > 0 ? text : "";
}

bool is_lower_hex(const char *s) {
  for (; *s; s++) {
    if (!((*s >= '0' && *s <= '9') || (*s >= 'a' && *s <= 'f'))) return false;
  }
  return true;
}

TEST(BuiltinCaTable, RecordsAreWellFormed) {
  size_t count = 0;
  const BuiltinCaRecord *table = builtin_ca_table(&count);
  ASSERT_EQ(table, BuiltinCaTable);
  ASSERT_EQ(count, BuiltinCaTableCount);
  ASSERT_GE(count, kBuiltinRootCount);
  for (size_t i = 0; i < count; i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(strlen(table[i].ski_hex), 40u);
    EXPECT_TRUE(is_lower_hex(table[i].ski_hex));
    EXPECT_GT(strlen(table[i].serial), 0u);
    EXPECT_EQ(strspn(table[i].serial, "0123456789"), strlen(table[i].serial));
    void *cert = asn1_decode_alloc(ASN1_MODE_DER, table[i].der, &asn1_tmpl_certificate, table[i].der_len);
    EXPECT_NE(cert, nullptr);
    asn1_release(&asn1_tmpl_certificate, cert);
  }
}

#ifdef V7_CA_TABLE_IS_TEST_PKI
// Key identifiers and serials as `openssl x509 -noout -serial -ext subjectKeyIdentifier` shows
// them, in the order of the test PKI's manifest.
TEST(BuiltinCaTable, TestPkiTableMatchesItsFiles) {
  struct Expected {
    const char *file, *ski, *serial;
  };
  const Expected expected[] = {
      {"pki/root_kisa.der", "1e8b6db4ce41baa761d20104e0bd90a78a9cbfde", "4096"},
      {"pki/root_ordinary.der", "a564535f4f472f88898692d0411a2d4c4dc3d6dc", "8192"},
      {"pki/ca.der", "e18d616c070ec25c85bf8d780e8f43655bf862f8", "4097"},
      {"pki/ca_ordinary.der", "71c03f700537aee68380b8b5200ae5db187ef667", "8193"},
  };
  size_t count = 0;
  const BuiltinCaRecord *table = builtin_ca_table(&count);
  ASSERT_EQ(count, std::size(expected));
  for (size_t i = 0; i < count; i++) {
    SCOPED_TRACE(expected[i].file);
    Bytes file = asn1test::read_fixture(expected[i].file);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(Bytes(table[i].der, table[i].der + table[i].der_len), file);
    EXPECT_STREQ(table[i].ski_hex, expected[i].ski);
    EXPECT_STREQ(table[i].serial, expected[i].serial);
  }
}

TEST(RootCertsLoad, LoadsTheTwoRootsInOrder) {
  List list;
  errno = -1;
  ASSERT_EQ(root_certs_load(&list.head, 0), 0);
  EXPECT_EQ(errno, 0);
  auto nodes = list.nodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(serial_hex(nodes[0]), "1000");
  EXPECT_NE(subject(nodes[0]).find("Test KISA RootCA"), std::string::npos) << subject(nodes[0]);
  EXPECT_EQ(serial_hex(nodes[1]), "2000");
  EXPECT_NE(subject(nodes[1]).find("Test Ordinary Root"), std::string::npos) << subject(nodes[1]);
  for (const CERT_NODE *n : nodes) EXPECT_EQ(n->flag, 0);  // owning
}
#endif

TEST(RootCertsLoad, TimeCheckDropsRootsOutsideTheirValidity) {
  struct Case {
    int64_t now;
    int no_time_check;
    size_t kept;
  };
  const Case cases[] = {
      {kNotBefore - 1, 0, 0}, {kNotBefore, 0, 2},    {kNotAfter, 0, 2},
      {kNotAfter + 1, 0, 0},  {kNotAfter + 1, 1, 2}, {kNotBefore - 1, 1, 2},
  };
  const Bytes kisa = asn1test::read_fixture("pki/root_kisa.der");
  const Bytes ordinary = asn1test::read_fixture("pki/root_ordinary.der");
  const BuiltinCaRecord table[] = {{"", "", kisa.size(), kisa.data()},
                                   {"", "", ordinary.size(), ordinary.data()}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.now) + " switch " + std::to_string(c.no_time_check));
    ClockAt clock(c.now);
    List list;
    EXPECT_EQ(v7::root_certs_load_from(table, 2, &list.head, c.no_time_check), 0);
    EXPECT_EQ(list.nodes().size(), c.kept);
  }
}

TEST(RootCertsLoad, UndecodableRecordsAreSkipped) {
  const Bytes kisa = asn1test::read_fixture("pki/root_kisa.der");
  const Bytes ordinary = asn1test::read_fixture("pki/root_ordinary.der");
  ASSERT_FALSE(kisa.empty());
  const Bytes truncated(kisa.begin(), kisa.end() - 1);
  Bytes bad_tag = kisa;
  bad_tag[0] = 0x31;
  const uint8_t junk[] = {0x30, 0x03, 0x02, 0x01};
  struct Case {
    const char *what;
    BuiltinCaRecord first;
    size_t kept;
  };
  const Case cases[] = {
      {"truncated", {"", "", truncated.size(), truncated.data()}, 1},
      {"wrong outer tag", {"", "", bad_tag.size(), bad_tag.data()}, 1},
      {"junk", {"", "", sizeof(junk), junk}, 1},
      {"no bytes", {"", "", 0, nullptr}, 1},
      {"good", {"", "", kisa.size(), kisa.data()}, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const BuiltinCaRecord table[] = {c.first, {"", "", ordinary.size(), ordinary.data()}};
    List list;
    errno = -1;
    EXPECT_EQ(v7::root_certs_load_from(table, 2, &list.head, 1), 0);
    EXPECT_EQ(errno, 0);
    auto nodes = list.nodes();
    ASSERT_EQ(nodes.size(), c.kept);
    EXPECT_EQ(serial_hex(nodes.back()), "2000");
  }
}

TEST(RootCertsLoad, OnlyTheRootRecordsAndAppends) {
  const Bytes kisa = asn1test::read_fixture("pki/root_kisa.der");
  const Bytes ca = asn1test::read_fixture("pki/ca.der");
  const BuiltinCaRecord table[] = {
      {"", "", kisa.size(), kisa.data()}, {"", "", kisa.size(), kisa.data()}, {"", "", ca.size(), ca.data()}};
  List list;
  ASSERT_EQ(v7::root_certs_load_from(table, 3, &list.head, 1), 0);
  ASSERT_EQ(v7::root_certs_load_from(table, 1, &list.head, 1), 0);
  auto nodes = list.nodes();
  ASSERT_EQ(nodes.size(), 3u);  // two roots, then one more after them; never the CA record
  for (const CERT_NODE *n : nodes) EXPECT_EQ(serial_hex(n), "1000");
  EXPECT_EQ(root_certs_load(nullptr, 0), 1001);
  EXPECT_EQ(errno, 1001);
}

}  // namespace
