#include "relay/record.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/errors/errno_util.h"
#include "tests/harness/vectors.h"

using v7test::Bytes;
using v7test::from_hex;
using v7test::to_hex;

namespace {

TEST(RelayRecord, HelloAndAlertAreByteExact) {
  struct Case {
    const char *what;
    bool hello;
    uint16_t version;
    uint16_t code;
    const char *record;
  };
  const Case cases[] = {
      {"hello 1.0", true, relay_version(1, 0), 0, "0201000000"},
      {"hello 2.0", true, relay_version(2, 0), 0, "0202000000"},
      {"hello 3.0", true, relay_version(3, 0), 0, "02030000020005"},
      {"hello 3.1", true, relay_version(3, 1), 0, "02030100020005"},
      {"normal close 1.0", false, relay_version(1, 0), 0, "01010000020000"},
      {"normal close 3.0", false, relay_version(3, 0), 0, "01030000020000"},
      {"alert code big-endian", false, relay_version(2, 0), 0x0203, "01020000020203"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    uint8_t out[16];
    size_t pos = 0;
    int rc = c.hello ? relay_hello_write(out, sizeof(out), &pos, c.version)
                     : relay_alert_write(out, sizeof(out), &pos, c.version, c.code);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(to_hex(out, pos), c.record);
  }
}

TEST(RelayRecord, WritersRefuseShortBuffersAndKeepThePosition) {
  uint8_t out[8];
  size_t pos = 2;
  EXPECT_EQ(relay_hello_write(out, 6, &pos, relay_version(3, 0)), -1);
  EXPECT_EQ(errno, v7::kErrInsufficientBuffer);
  EXPECT_EQ(relay_alert_write(out, 8, &pos, relay_version(1, 0), 0), -1);
  EXPECT_EQ(pos, 2u);
  EXPECT_EQ(relay_hello_write(out, 7, &pos, relay_version(1, 0)), 0);
  EXPECT_EQ(pos, 7u);
  EXPECT_EQ(relay_record_header_write(out, 8, &(pos = 0), 3, 0x0100, 0x10000), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(RelayRecord, BodyMustFitWhatArrived) {
  const Bytes record = from_hex("0b 0300 0003 aabbcc");
  RelayRecordHeader h;
  ASSERT_EQ(relay_record_header_read(record.data(), record.size(), &h), 0);
  EXPECT_EQ(h.type, uint8_t(RelayRecordType::Envelope));
  EXPECT_EQ(h.version, relay_version(3, 0));
  EXPECT_EQ(h.body_len, 3);
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  ASSERT_EQ(relay_record_body(record.data(), record.size(), &body, &body_len), 0);
  EXPECT_EQ(to_hex(body, body_len), "aabbcc");
  // One byte short of what the length field claims, and a header cut short.
  EXPECT_EQ(relay_record_body(record.data(), record.size() - 1, &body, &body_len), -1);
  EXPECT_EQ(errno, v7::kErrRelayShortRecord);
  EXPECT_EQ(relay_record_header_read(record.data(), 4, &h), -1);
  EXPECT_EQ(errno, v7::kErrRelayShortRecord);
}

TEST(RelayRecord, SessionKeyBody) {
  Bytes key(16), iv(16);
  for (int i = 0; i < 16; i++) key[i] = uint8_t(i), iv[i] = uint8_t(0xf0 + i);
  uint8_t out[kSessionKeyBodyLen];
  size_t pos = 0;
  ASSERT_EQ(relay_session_key_body_write(out, sizeof(out), &pos, key.data(), iv.data()), 0);
  EXPECT_EQ(to_hex(out, pos),
            "0010000102030405060708090a0b0c0d0e0f"
            "0010f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");

  SessionKeyBody body;
  pos = 0;
  ASSERT_EQ(relay_session_key_body_parse(out, sizeof(out), &pos, &body), 0);
  EXPECT_EQ(pos, kSessionKeyBodyLen);
  EXPECT_EQ(to_hex(body.key, body.key_len), to_hex(key));
  EXPECT_EQ(to_hex(body.iv, body.iv_len), to_hex(iv));

  struct Case {
    const char *what;
    const char *bytes;
    int rc;
  };
  const Case cases[] = {
      {"lengths taken as they stand", "0002aabb 0001cc 99", 0},
      {"zero key length", "0000 0001cc", -1},
      {"zero iv length", "0001aa 0000", -1},
      {"key runs past the end", "0011 000102030405060708090a0b0c0d0e0f", -1},
      {"iv length cut short", "0001aa 00", -1},
      {"empty", "", -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Bytes in = from_hex(c.bytes);
    pos = 0;
    EXPECT_EQ(relay_session_key_body_parse(in.data(), in.size(), &pos, &body), c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(pos, in.size() - 1);  // the trailing byte is the caller's
    } else {
      EXPECT_EQ(pos, 0u);
      EXPECT_EQ(errno, v7::kErrRelayShortRecord);
    }
  }
}

TEST(RelayRecord, ItemsAppendAndParse) {
  const Bytes cert = from_hex("3082"), key = from_hex("aa"), km_cert = from_hex("010203");
  uint8_t out[32];
  size_t pos = 0;
  ASSERT_EQ(relay_item_append(out, sizeof(out), &pos, kRelayItemSignCert, cert.data(), cert.size()), 0);
  ASSERT_EQ(relay_item_append(out, sizeof(out), &pos, kRelayItemSignKey, key.data(), key.size()), 0);
  ASSERT_EQ(relay_item_append(out, sizeof(out), &pos, kRelayItemKmCert, km_cert.data(), km_cert.size()), 0);
  EXPECT_EQ(to_hex(out, pos),
            "0000023082"
            "010001aa"
            "03000301"
            "0203");
  EXPECT_EQ(relay_item_append(out, sizeof(out), &pos, 4, key.data(), 1), -1);
  EXPECT_EQ(relay_item_append(out, sizeof(out), &pos, kRelayItemKmKey, key.data(), 0), -1);

  RelayItems items;
  ASSERT_EQ(relay_items_parse(out, pos, &items), RelayItemError::None);
  EXPECT_EQ(to_hex(items.data[kRelayItemSignCert], items.len[kRelayItemSignCert]), "3082");
  EXPECT_EQ(to_hex(items.data[kRelayItemSignKey], items.len[kRelayItemSignKey]), "aa");
  EXPECT_EQ(items.data[kRelayItemKmKey], nullptr);
  EXPECT_EQ(to_hex(items.data[kRelayItemKmCert], items.len[kRelayItemKmCert]), "010203");
  EXPECT_EQ(relay_items_parse(out, 0, &items), RelayItemError::None);
  EXPECT_EQ(items.data[kRelayItemSignCert], nullptr);
}

TEST(RelayRecord, MalformedItems) {
  struct Case {
    const char *what;
    const char *bytes;
    RelayItemError error;
  };
  const Case cases[] = {
      {"tag 4", "00000130 040001aa", RelayItemError::UnknownTag},
      {"tag 255", "ff0001aa", RelayItemError::UnknownTag},
      {"repeated tag", "02000111 010001aa 020001bb", RelayItemError::RepeatedTag},
      {"zero length", "00000130 010000", RelayItemError::ZeroLength},
      {"runs past the list", "00000130 0100045566", RelayItemError::Overrun},
      {"length of 65535 in a short list", "00ffff00", RelayItemError::Overrun},
      {"two bytes left", "00000130 0100", RelayItemError::TruncatedHeader},
      {"one byte left", "00000130 03", RelayItemError::TruncatedHeader},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Bytes in = from_hex(c.bytes);
    RelayItems items;
    EXPECT_EQ(relay_items_parse(in.data(), in.size(), &items), c.error);
    for (int tag = 0; tag < kRelayItemTagCount; tag++) EXPECT_EQ(items.data[tag], nullptr);
  }
}

TEST(RelayRecord, LengthPrefixedFields) {
  const Bytes in = from_hex("0003 616263 0000 0005 6162");
  size_t pos = 0;
  const uint8_t *data;
  size_t len;
  ASSERT_EQ(relay_lv_read(in.data(), in.size(), &pos, &data, &len), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(data), len), "abc");
  ASSERT_EQ(relay_lv_read(in.data(), in.size(), &pos, &data, &len), 0);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(relay_lv_read(in.data(), in.size(), &pos, &data, &len), -1);
  EXPECT_EQ(pos, 7u);
}

}  // namespace
