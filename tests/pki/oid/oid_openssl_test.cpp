// Dotted text of identifiers the table does not know, against OpenSSL's rendering.
#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <string>

#include "pki/oid/oid.h"
#include "tests/harness/vectors.h"
#include "tests/pki/oid/openssl_oid_oracle.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

// The toolkit's display text, or false with the code in *code.
bool toolkit_text(Bytes contents, std::string *text, int *code) {
  ASN1_BYTES oid{contents.data(), uint32_t(contents.size()), 0};
  char out[512];
  errno = 0;
  int n = oid_name_to_buf(sizeof out, &oid, out);
  *code = errno;
  if (n <= 0) return false;
  text->assign(out, size_t(n));
  return true;
}

// Random identifiers in every first arc, with arcs of one to four base-128 groups (the decoder's
// limit) and second arcs under 2 large enough to need a multi-byte first subidentifier.
TEST(OidOpenssl, RandomIdentifiersRenderAsOpensslRendersThem) {
  std::mt19937 rng(20261210);
  const uint32_t group_limits[] = {1u << 7, 1u << 14, 1u << 21, 1u << 28};
  for (int round = 0; round < 3000; round++) {
    uint32_t first = rng() % 3;
    uint32_t second = first < 2 ? rng() % 40 : rng() % (group_limits[rng() % 4] - 80);
    std::string dotted = std::to_string(first) + "." + std::to_string(second);
    for (uint32_t n = rng() % 8; n > 0; n--) dotted += "." + std::to_string(rng() % group_limits[rng() % 4]);
    SCOPED_TRACE(dotted);
    Bytes contents = openssl_oid_contents(dotted);
    ASSERT_FALSE(contents.empty());
    std::string ours;
    int code = 0;
    ASSERT_TRUE(toolkit_text(contents, &ours, &code)) << "code " << code;
    ASN1_BYTES oid{contents.data(), uint32_t(contents.size()), 0};
    if (oid_id_name(oid_to_id(&oid)) == nullptr) {
      EXPECT_EQ(dotted, ours);
    }
  }
}

// Random contents, well formed or not: whatever the toolkit renders, OpenSSL renders the same,
// and what OpenSSL refuses the toolkit refuses with the malformed-contents code.
TEST(OidOpenssl, RandomContentsNeverRenderDifferently) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20000; round++) {
    Bytes contents(1 + rng() % 12);
    for (auto &b : contents) b = uint8_t(rng() % 4 == 0 ? 0x80 | rng() : rng());
    SCOPED_TRACE(to_hex(contents));
    ASN1_BYTES oid{contents.data(), uint32_t(contents.size()), 0};
    if (oid_to_id(&oid) != 0) continue;  // a known identifier shows its name
    std::string ours, theirs;
    int code = 0;
    bool ok = toolkit_text(contents, &ours, &code);
    bool openssl_ok = openssl_oid_text(contents, &theirs);
    if (ok) {
      EXPECT_TRUE(openssl_ok);
      EXPECT_EQ(theirs, ours);
    } else {
      EXPECT_EQ(1100, code);
      if (!openssl_ok) continue;
      // OpenSSL takes arcs of any size; the toolkit refuses subidentifiers past its limit.
      bool long_group = false;
      for (size_t i = 0, run = 0; i < contents.size(); i++) {
        run = contents[i] & 0x80 ? run + 1 : 0;
        if (run >= 4) long_group = true;
      }
      EXPECT_TRUE(long_group) << "refused, but OpenSSL reads it as " << theirs;
    }
  }
}

}  // namespace
