// Display text of identifiers without a name: the dotted form, and refusal of malformed contents.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "pki/oid/oid.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;

TEST(OidText, UnnamedIdentifiersShowTheirDottedForm) {
  for (const auto &c : v7test::load_vectors("oid_text.txt")) {
    SCOPED_TRACE(c.where());
    Bytes contents = c.bytes("contents");
    ASN1_BYTES oid{contents.data(), uint32_t(contents.size()), 0};
    std::string out(64, '\x7f');
    errno = 0;
    int n = oid_name_to_buf(out.size(), &oid, &out[0]);
    int code = errno;
    if (c.has("error")) {
      EXPECT_EQ(0, n);
      EXPECT_EQ(int(c.number("error")), code);
      errno = 0;
      EXPECT_EQ(0, oid_name_to_buf(0, &oid, nullptr)) << "the length query refuses it too";
      EXPECT_EQ(int(c.number("error")), errno);
      continue;
    }
    Bytes text = c.bytes("text");
    std::string want(text.begin(), text.end());
    ASSERT_EQ(int(want.size()), n) << "code " << code;
    EXPECT_EQ(want, out.substr(0, size_t(n)));
    EXPECT_EQ('\0', out[size_t(n)]);
    EXPECT_EQ(n, oid_name_to_buf(0, &oid, nullptr));
  }
}

TEST(OidText, EmptyContentsAreRefused) {
  uint8_t byte = 0x2a;
  ASN1_BYTES empty{&byte, 0, 0};
  char out[16];
  errno = 0;
  EXPECT_EQ(0, oid_name_to_buf(sizeof out, &empty, out));
  EXPECT_EQ(1001, errno);
}

// A long identifier is measured exactly and written only into room for it and its terminator.
TEST(OidText, LongTextFitsOnlyWithRoomForTheTerminator) {
  Bytes contents{0x2a};
  std::string want = "1.2";
  for (int i = 0; i < 200; i++) {
    contents.insert(contents.end(), {0x8f, 0xff, 0xff, 0x7f});  // 33554431
    want += ".33554431";
  }
  ASN1_BYTES oid{contents.data(), uint32_t(contents.size()), 0};
  ASSERT_EQ(int(want.size()), oid_name_to_buf(0, &oid, nullptr));

  std::string out(want.size() + 8, '\x7f');
  errno = 0;
  EXPECT_EQ(0, oid_name_to_buf(want.size(), &oid, &out[0]));
  EXPECT_EQ(1002, errno);
  EXPECT_EQ(std::string(out.size(), '\x7f'), out) << "a refused text leaves the buffer alone";

  EXPECT_EQ(int(want.size()), oid_name_to_buf(want.size() + 1, &oid, &out[0]));
  EXPECT_EQ(want, out.substr(0, want.size()));
  EXPECT_EQ('\0', out[want.size()]);
  EXPECT_EQ('\x7f', out[want.size() + 1]);
}

}  // namespace
