// Key bytes that a decode joined from BER segments are wiped before their memory goes back,
// whether the decode succeeds or a later segment makes it fail. The test links with free wrapped.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pki/asn1/asn1.h"
#include "pki/asn1/key_types.h"
#include "platform/errors/error_codes.h"
#include "tests/harness/free_watch.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes tlv(uint8_t tag, const Bytes &contents) {
  Bytes r = {tag, uint8_t(contents.size())};  // every element here is below 128 bytes
  r.insert(r.end(), contents.begin(), contents.end());
  return r;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const Bytes &p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

// A PrivateKeyInfo in BER whose key OCTET STRING is constructed from segments.
Bytes key_info(const Bytes &segments) {
  const Bytes rsa_encryption = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01};
  return tlv(0x30, cat({tlv(0x02, {0}), tlv(0x30, cat({tlv(0x06, rsa_encryption), tlv(0x05, {})})),
                        tlv(0x24, segments)}));
}

TEST(Asn1Wipe, JoinedKeySegmentsAreWipedBeforeTheyAreFreed) {
  const Bytes secret(40, 0xA7);
  const struct {
    const char *what;
    Bytes segments;
    int code;
  } cases[] = {
      {"two good segments", cat({tlv(0x04, secret), tlv(0x04, {1, 2})}), 0},
      {"a nested constructed segment after the key bytes", cat({tlv(0x04, secret), tlv(0x24, {})}),
       v7::kErrAsn1StringSegments},
      {"a segment of another type after the key bytes", cat({tlv(0x04, secret), tlv(0x05, {})}),
       v7::kErrAsn1InvalidTag},
      {"a truncated segment after the key bytes", cat({tlv(0x04, secret), Bytes{0x04, 0x05, 1}}),
       v7::kErrAsn1BadLength},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Bytes der = key_info(c.segments);
    void *record = nullptr;
    ASN1_ITEM item = {0, &asn1_tmpl_private_key_info};
    ASN1_DECODE_STATE state = {&item, ASN1_MODE_BER, der.data(), der.size(), &record};
    freewatch::arm(secret.data(), secret.size());
    int code = asn1_decode(&state, nullptr);
    asn1_release(&asn1_tmpl_private_key_info, record);
    int holding = freewatch::disarm();
    EXPECT_EQ(code, c.code);
    EXPECT_GT(freewatch::freed_blocks(), 0);
    EXPECT_EQ(holding, 0) << "a freed block still held the key bytes";
  }
}

}  // namespace
