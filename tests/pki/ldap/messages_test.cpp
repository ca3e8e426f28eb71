// The client's messages as bytes, built by hand from RFC 4511: the bind, search and unbind
// requests, the bind check, message framing with its length cap, the message id's shaping, and
// the reading of a search's replies from a buffer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "pki/asn1/asn1.h"
#include "pki/ldap/internal.h"
#include "pki/ldap/ldap_types.h"
#include "tests/harness/vectors.h"

using v7test::Bytes;
using v7test::from_hex;
using v7test::to_hex;

namespace {

// Serves a fixed buffer and counts what it was asked for.
class BufferSource : public v7::ldap::ByteSource {
 public:
  explicit BufferSource(Bytes data) : data_(std::move(data)) {}
  int pull(uint8_t *out, size_t n) override {
    requested += n;
    if (data_.size() - pos_ < n) return 1503;
    std::memcpy(out, data_.data() + pos_, n);
    pos_ += n;
    return 0;
  }
  size_t left() const { return data_.size() - pos_; }
  size_t requested = 0;

 private:
  Bytes data_;
  size_t pos_ = 0;
};

LDAP_URL *url_of(const char *text) { return ldap_url_parse(std::strlen(text), text); }

TEST(LdapMessages, BindRequestIsTheTemplatesEncoding) {
  const Bytes bind(v7::ldap::kBindRequest, v7::ldap::kBindRequest + sizeof(v7::ldap::kBindRequest));
  EXPECT_EQ(to_hex(bind), "300c020101600702010304008000");
  auto *m = static_cast<LDAPMessage *>(
      asn1_decode_alloc(ASN1_MODE_DER, bind.data(), &asn1_tmpl_ldap_message, bind.size()));
  ASSERT_NE(m, nullptr) << errno;
  ASSERT_NE(m->protocol_op.bind_request, nullptr);
  EXPECT_EQ(to_hex(m->protocol_op.bind_request->version.data, m->protocol_op.bind_request->version.len),
            "03");
  EXPECT_NE(m->protocol_op.bind_request->authentication.simple, nullptr);
  uint8_t *der = nullptr;
  size_t len = 0;
  ASSERT_NE(der_encode_alloc(&asn1_tmpl_ldap_message, m, &der, &len), 0u);
  EXPECT_EQ(to_hex(der, len), to_hex(bind));
  free(der);
  asn1_release(&asn1_tmpl_ldap_message, m);
}

TEST(LdapMessages, SearchAndUnbindBytes) {
  const uint8_t id[] = {0x12, 0x34};
  LDAP_URL *url = url_of("ldap://h/c=KR");
  ASSERT_NE(url, nullptr);
  Bytes out;
  ASSERT_EQ(v7::ldap::encode_search(url, id, sizeof(id), &out), 0);
  // id, [APPLICATION 3] { "c=KR", baseObject, neverDerefAliases, 0, 0, FALSE, present
  // "objectclass", attributes }
  const std::string fields = "0404633d4b52" + std::string("0a01000a0100020100020100010100") + "870b" +
                             to_hex(v7test::to_bytes("objectclass"));
  EXPECT_EQ(to_hex(out),
            "302a02021234"
            "6324" +
                fields + "3000");
  ASSERT_EQ(ldap_url_set_ca_attr(url), 1);
  ASSERT_EQ(v7::ldap::encode_search(url, id, sizeof(id), &out), 0);
  EXPECT_EQ(to_hex(out),
            "303902021234"
            "6333" +
                fields + "300f040d" + to_hex(v7test::to_bytes("cacertificate")));
  ldap_url_free(url);

  ASSERT_EQ(v7::ldap::encode_unbind(id, 1, &out), 0);
  EXPECT_EQ(to_hex(out), "30050201124200");
  const uint8_t id4[] = {0x00, 0x80, 0x00, 0x01};
  ASSERT_EQ(v7::ldap::encode_unbind(id4, 4, &out), 0);
  EXPECT_EQ(to_hex(out), "30080204008000014200");
}

TEST(LdapMessages, MessageIdShaping) {
  struct {
    const char *raw, *id;
  } cases[] = {
      {"80000001", "01"},   {"00800000", "00800000"}, {"ffffffff", "7fffffff"}, {"00000000", "00"},
      {"00007f01", "7f01"}, {"80008000", "008000"},   {"0000ff00", "00ff00"},   {"12345678", "12345678"},
  };
  for (const auto &c : cases) {
    Bytes raw = from_hex(c.raw);
    uint8_t id[4];
    size_t n = v7::ldap::shape_message_id(raw.data(), id);
    EXPECT_EQ(to_hex(id, n), c.id) << c.raw;
  }
}

TEST(LdapMessages, BindResponseCheck) {
  struct {
    const char *reply;
    int code;
  } cases[] = {
      {"300c02010161070a010004000400", 0},       // what slapd answers
      {"300c02010161070a013104000400", 1501},    // invalidCredentials (49)
      {"300c02010261070a010004000400", 1501},    // another message's id
      {"300c02010165070a010004000400", 1501},    // not a BindResponse
      {"30810c02010161070a010004000400", 1501},  // a BER-only length
      {"300d02010161080a02000004000400", 1501},  // a result code that is not one byte
  };
  for (const auto &c : cases) EXPECT_EQ(v7::ldap::check_bind_response(from_hex(c.reply)), c.code) << c.reply;
}

TEST(LdapMessages, FramingAndTheLengthCap) {
  struct {
    const char *bytes;
    int code;
    size_t requested;  // bytes pulled before the verdict
  } cases[] = {
      {"3003020101", 0, 5},
      {"308103020101", 0, 6},
      {"30800201010000", 1503, 2},         // indefinite
      {"3085000000000300", 1503, 2},       // five length bytes
      {"30847fffffff", 1503, 6},           // 2 GiB claimed: refused before anything is allocated
      {"308400400000", 1503, 6},           // the cap plus the header
      {"30833ffffb", 1503, 5 + 0x3ffffb},  // exactly the cap: accepted, then the peer runs dry
      {"3005020101", 1503, 7},             // the peer closes early
      {"30", 1503, 2},
  };
  for (const auto &c : cases) {
    BufferSource source(from_hex(c.bytes));
    Bytes message;
    EXPECT_EQ(v7::ldap::read_message(&source, &message), c.code) << c.bytes;
    EXPECT_EQ(source.requested, c.requested) << c.bytes;
    if (c.code == 0) {
      EXPECT_EQ(to_hex(message), c.bytes);
    }
  }
}

TEST(LdapMessages, RepliesWithoutAnEntryAreDrainedToTheirEnd) {
  LDAP_URL *url = url_of("ldap://h/c=KR");
  ASSERT_NE(url, nullptr);
  const uint8_t id[] = {0x07};
  const std::string reference =
      "30"
      "0b"
      "020107"
      "73"
      "06"
      "0404"
      "6c646170";
  const std::string done_hex = "300c02010765070a010004000400";
  {
    BufferSource source(from_hex(reference + reference + done_hex + "ff"));
    int code = 0;
    EXPECT_EQ(v7::ldap::read_search_replies(&source, url, LDAP_KIND_CA_CERT, id, 1, &code), nullptr);
    EXPECT_EQ(code, 1504);
    EXPECT_EQ(source.left(), 1u);  // the Done ended the reading
  }
  {
    // A server that never ends the search: reading stops after a bounded number of messages.
    std::string endless;
    for (int i = 0; i < v7::ldap::kMaxTrailingMessages + 4; ++i) endless += reference;
    BufferSource source(from_hex(endless));
    int code = 0;
    EXPECT_EQ(v7::ldap::read_search_replies(&source, url, LDAP_KIND_CA_CERT, id, 1, &code), nullptr);
    EXPECT_EQ(code, 1504);
    EXPECT_EQ(source.left(), 3u * 13u);
  }
  ldap_url_free(url);
}

}  // namespace
