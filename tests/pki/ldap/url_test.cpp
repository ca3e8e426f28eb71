// Directory URLs: the parsing table and the constructor's bounds.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "pki/ldap/ldap.h"

namespace {

struct UrlCase {
  const char *text;
  int code;  // 0: parses
  const char *host;
  uint32_t port;
  const char *dn;
  const char *attribute;  // null: none
};

const UrlCase kUrlCases[] = {
    {"ldap://127.0.0.1:389/cn=dp1p1,ou=dp,ou=AccreditedCA,o=TestCA,c=KR", 0, "127.0.0.1", 389,
     "cn=dp1p1,ou=dp,ou=AccreditedCA,o=TestCA,c=KR", nullptr},
    {"LDAP://dir.example:3389/c=KR", 0, "dir.example", 3389, "c=KR", nullptr},
    {"lDaP://h/o=x", 0, "h", 389, "o=x", nullptr},
    {"HTTP://h/o=x", 0, "h", 80, "o=x", nullptr},
    {"hTtPs://h/o=x", 0, "h", 443, "o=x", nullptr},
    {"ldap://h:65535/o=x?cACertificate;binary", 0, "h", 65535, "o=x", "cACertificate;binary"},
    {"ldap://h:0/o=x", 0, "h", 0, "o=x", nullptr},
    {"ldap://h:00389/o=x", 0, "h", 389, "o=x", nullptr},
    // RFC 4516 forms: the DN percent-decoded, the attribute list ends at the next '?'.
    {"ldap://h/ou=Korea%20Certification%20Authority%20Central,o=KISA,c=KR", 0, "h", 389,
     "ou=Korea Certification Authority Central,o=KISA,c=KR", nullptr},
    {"ldap://h/o=x?certificateRevocationList;binary?base?(objectclass=*)", 0, "h", 389, "o=x",
     "certificateRevocationList;binary"},
    {"ldap://h/o=100%", 0, "h", 389, "o=100%", nullptr},
    {"ldap://h/o=%zz", 0, "h", 389, "o=%zz", nullptr},
    {"ldap://h/o=%00x", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h:65536/o=x", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h:123456/o=x", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h:/o=x", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h:38a/o=x", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h:389", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h/", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h/?cacertificate", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h/o=x?", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://h/o=x??base", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap:///o=x", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap://:389/o=x", 1505, nullptr, 0, nullptr, nullptr},
    {"ldaps://h/o=x", 1505, nullptr, 0, nullptr, nullptr},
    {"ftp://h/o=x", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap:/h/o=xx", 1505, nullptr, 0, nullptr, nullptr},
    {"ldap//h/o=xx", 1505, nullptr, 0, nullptr, nullptr},
    {"l://h/", 1505, nullptr, 0, nullptr, nullptr},  // 6 characters: too short whatever follows
    {"ldap:/", 1505, nullptr, 0, nullptr, nullptr},
};

TEST(LdapUrl, ParseTable) {
  for (const UrlCase &c : kUrlCases) {
    SCOPED_TRACE(c.text);
    errno = 0;
    LDAP_URL *url = ldap_url_parse(std::strlen(c.text), c.text);
    if (c.code != 0) {
      EXPECT_EQ(url, nullptr);
      EXPECT_EQ(errno, c.code);
      ldap_url_free(url);
      continue;
    }
    ASSERT_NE(url, nullptr) << errno;
    EXPECT_STREQ(url->host, c.host);
    EXPECT_EQ(url->port, c.port);
    EXPECT_STREQ(url->dn, c.dn);
    if (c.attribute == nullptr)
      EXPECT_EQ(url->attribute, nullptr);
    else
      EXPECT_STREQ(url->attribute, c.attribute);
    ldap_url_free(url);
  }
}

TEST(LdapUrl, LengthRule) {
  const char *text = "ldap://h/o=x?cacertificate";
  // The length bounds the text: a shorter length cuts the attribute or the DN.
  LDAP_URL *url = ldap_url_parse(std::strlen("ldap://h/o=x"), text);
  ASSERT_NE(url, nullptr);
  EXPECT_STREQ(url->dn, "o=x");
  EXPECT_EQ(url->attribute, nullptr);
  ldap_url_free(url);
  errno = 0;
  EXPECT_EQ(ldap_url_parse(std::strlen("ldap://h/o=x?"), text), nullptr);
  EXPECT_EQ(errno, 1505);
  // A zero byte ends the text before the length does.
  const char zero[] = "ldap://h/o=x\0garbage";
  url = ldap_url_parse(sizeof(zero), zero);
  ASSERT_NE(url, nullptr);
  EXPECT_STREQ(url->dn, "o=x");
  ldap_url_free(url);
  errno = 0;
  EXPECT_EQ(ldap_url_parse(0, text), nullptr);
  EXPECT_EQ(errno, 1001);
  errno = 0;
  EXPECT_EQ(ldap_url_parse(10, nullptr), nullptr);
  EXPECT_EQ(errno, 1001);
  errno = 0;
  EXPECT_EQ(ldap_url_parse(5, ""), nullptr);
  EXPECT_EQ(errno, 1001);
}

TEST(LdapUrl, NewBounds) {
  LDAP_URL *url = ldap_url_new("host-and-more", 4, 65535, "c=KR,x", 4, "cacertificate", 2);
  ASSERT_NE(url, nullptr);
  EXPECT_STREQ(url->host, "host");
  EXPECT_STREQ(url->dn, "c=KR");
  EXPECT_STREQ(url->attribute, "ca");
  EXPECT_EQ(url->port, 65535u);
  ldap_url_free(url);

  url = ldap_url_new("h", 1, 389, "c=KR", 4, nullptr, 0);
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(url->attribute, nullptr);
  ldap_url_free(url);

  struct Bad {
    const char *host;
    size_t host_len;
    uint32_t port;
    const char *dn;
    size_t dn_len;
  } bad[] = {
      {"h", 1, 65536, "c=KR", 4}, {nullptr, 1, 389, "c=KR", 4}, {"h", 0, 389, "c=KR", 4},
      {"h", 1, 389, nullptr, 4},  {"h", 1, 389, "c=KR", 0},     {"h\0x", 3, 389, "c=KR", 4},
  };
  for (const Bad &b : bad) {
    errno = 0;
    EXPECT_EQ(ldap_url_new(b.host, b.host_len, b.port, b.dn, b.dn_len, nullptr, 0), nullptr);
    EXPECT_EQ(errno, 1505);
  }
  ldap_url_free(nullptr);
}

TEST(LdapUrl, SetDnAndCaAttribute) {
  const char *text = "ldap://h:3389/o=x";
  LDAP_URL *url = ldap_url_parse(std::strlen(text), text);
  ASSERT_NE(url, nullptr);
  const std::string dn = "cn=TestCA Class 1,ou=AccreditedCA,o=TestCA,c=KR";
  const std::string longer = dn + "!";
  EXPECT_EQ(ldap_url_set_dn(longer.c_str(), url, dn.size()), 1);
  EXPECT_EQ(url->dn, dn);
  EXPECT_EQ(ldap_url_set_ca_attr(url), 1);
  EXPECT_STREQ(url->attribute, "cacertificate");
  EXPECT_EQ(url->port, 3389u);
  errno = 0;
  EXPECT_EQ(ldap_url_set_dn(nullptr, url, 3), 0);
  EXPECT_EQ(errno, 1001);
  errno = 0;
  EXPECT_EQ(ldap_url_set_dn("o=y", nullptr, 3), 0);
  EXPECT_EQ(errno, 1001);
  errno = 0;
  EXPECT_EQ(ldap_url_set_ca_attr(nullptr), 0);
  EXPECT_EQ(errno, 1001);
  ldap_url_free(url);
}

}  // namespace
