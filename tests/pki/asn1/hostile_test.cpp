// Input an attacker shapes: real files cut at every offset or with bytes changed, nesting past
// the depth limit, and memory running out at every allocation of a decode. Each is refused with
// its code and leaves nothing allocated (the sanitizer build checks the leaks).

#include <gtest/gtest.h>

#include <string>

#include "platform/errors/errno_util.h"
#include "pki/asn1/internal.h"
#include "tests/pki/asn1/asn1_test_util.h"
#include "tests/pki/asn1/test_templates.h"

namespace asn1test {
namespace {

struct Fixture {
  const char *file;
  const char *item;
  int mode;
};
const Fixture kFixtures[] = {
    {"asn1/cert.der", "certificate", ASN1_MODE_DER},
    {"asn1/crl.der", "crl", ASN1_MODE_DER},
    {"asn1/pkcs8.der", "pkcs8", ASN1_MODE_DER},
    {"asn1/rsa_private.der", "rsa_private", ASN1_MODE_DER},
    {"asn1/cms_signed.der", "content_info", ASN1_MODE_DER},
    {"asn1/cms_signed_ber.der", "content_info", ASN1_MODE_BER},
};

TEST(Asn1Hostile, EveryTruncationIsRefused) {
  for (const Fixture &f : kFixtures) {
    SCOPED_TRACE(f.file);
    Bytes whole = read_fixture(f.file);
    ASSERT_FALSE(whole.empty());
    const ASN1_ITEM *item = find_item(f.item);
    for (size_t cut = 0; cut < whole.size(); ++cut) {
      Bytes part(whole.begin(), whole.begin() + cut);
      DecodeResult r = decode_item(item, f.mode, part);
      // Cut inside a header (1112) or with a length that runs past the end (1114).
      ASSERT_TRUE(r.code == v7::kErrAsn1Decode || r.code == v7::kErrAsn1BadLength)
          << "cut at " << cut << ": " << r.code;
      ASSERT_EQ(r.err, r.code);
    }
  }
}

// A decode of changed bytes may fail with any code, but a success must re-encode: DER exactly
// to the bytes it came from, BER to an encoding that decodes again to the same encoding.
void check_mutation(const ASN1_ITEM *item, int mode, const Bytes &input) {
  DecodeResult r = decode_item(item, mode, input);
  if (r.code != 0) {
    ASSERT_EQ(r.err, r.code);
    ASSERT_GT(r.code, 1000);
    return;
  }
  int code = 0;
  Bytes again = encode_item(item, r.value.record, &code);
  ASSERT_EQ(code, 0);
  size_t used = size_t(r.extent.header_len) + r.extent.content_len + 2 * size_t(r.extent.eoc_count);
  if (mode == ASN1_MODE_DER) {
    ASSERT_EQ(hex(again), hex(Bytes(input.begin(), input.begin() + used)));
    return;
  }
  DecodeResult second = decode_item(item, mode, again);
  ASSERT_EQ(second.code, 0);
  ASSERT_EQ(hex(encode_item(item, second.value.record)), hex(again));
}

TEST(Asn1Hostile, ChangedBytesNeverBreakTheCodec) {
  for (const Fixture &f : kFixtures) {
    SCOPED_TRACE(f.file);
    Bytes whole = read_fixture(f.file);
    const ASN1_ITEM *item = find_item(f.item);
    // Every byte with a few values that move tags, lengths and contents in telling ways.
    for (size_t at = 0; at < whole.size(); ++at) {
      for (uint8_t value : {uint8_t(0x00), uint8_t(0x80), uint8_t(0xFF), uint8_t(whole[at] ^ 0x01)}) {
        if (value == whole[at]) continue;
        Bytes changed = whole;
        changed[at] = value;
        SCOPED_TRACE(at);
        check_mutation(item, f.mode, changed);
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Built from the inside out, backwards, so that deep chains cost linear time.
Bytes nested_definite(int levels) {
  Bytes reversed;
  for (int i = 0; i < levels; ++i) {
    uint8_t header[6];
    size_t n = asn1_put_tag_len(header, uint32_t(reversed.size()), 0x30);
    for (size_t k = n; k-- > 0;) reversed.push_back(header[k]);
  }
  return Bytes(reversed.rbegin(), reversed.rend());
}

Bytes nested_indefinite(int levels) {
  Bytes ber;
  for (int i = 0; i < levels; ++i) ber.insert(ber.end(), {0x30, 0x80});
  for (int i = 0; i < levels; ++i) ber.insert(ber.end(), {0x00, 0x00});
  return ber;
}

TEST(Asn1Hostile, NestingStopsAtTheDepthLimit) {
  // The top element and kAsn1MaxDepth levels below it decode; one level more does not.
  const int limit = kAsn1MaxDepth + 1;
  const ASN1_ITEM *nested = find_item("nested");
  struct Case {
    const char *what;
    Bytes input;
    int mode;
    int code;
  } cases[] = {
      {"definite at the limit", nested_definite(limit), ASN1_MODE_DER, 0},
      {"definite past the limit", nested_definite(limit + 1), ASN1_MODE_DER, v7::kErrAsn1TooDeep},
      {"indefinite at the limit", nested_indefinite(limit), ASN1_MODE_BER, 0},
      {"indefinite past the limit", nested_indefinite(limit + 1), ASN1_MODE_BER, v7::kErrAsn1TooDeep},
      {"indefinite far past the limit", nested_indefinite(100000), ASN1_MODE_BER, v7::kErrAsn1TooDeep},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    DecodeResult r = decode_item(nested, c.mode, c.input);
    EXPECT_EQ(r.code, c.code);
    if (c.code == 0) {
      EXPECT_EQ(hex(encode_item(nested, r.value.record)), hex(nested_definite(limit)));
    }
  }
  // An ANY is not descended, unless its length is indefinite: then its walk has the same limit.
  EXPECT_EQ(decode_item(find_item("any"), ASN1_MODE_DER, nested_definite(100000)).code, 0);
  EXPECT_EQ(decode_item(find_item("any"), ASN1_MODE_BER, nested_indefinite(100000)).code,
            v7::kErrAsn1TooDeep);
}

TEST(Asn1Hostile, EncoderStopsAtTheDepthLimit) {
  struct Nested {
    Nested *inner;
  };
  std::vector<Nested> chain(kAsn1MaxDepth + 2);
  for (size_t i = 0; i + 1 < chain.size(); ++i) chain[i].inner = &chain[i + 1];
  chain.back().inner = nullptr;
  const ASN1_ITEM *nested = find_item("nested");
  errno = 0;
  EXPECT_EQ(asn1_encode(nested, &chain[0], nullptr), 0u);
  EXPECT_EQ(errno, v7::kErrAsn1EncodeKind);
  EXPECT_EQ(asn1_encode(nested, &chain[1], nullptr), nested_definite(kAsn1MaxDepth + 1).size());
}

TEST(Asn1Hostile, RunningOutOfMemoryAtEveryAllocation) {
  for (const Fixture &f : kFixtures) {
    SCOPED_TRACE(f.file);
    Bytes whole = read_fixture(f.file);
    const ASN1_TEMPLATE *tmpl = find_item(f.item)->tmpl;
    for (long n = 1;; ++n) {
      v7::asn1::set_alloc_failure_countdown(n);
      errno = 0;
      void *record = asn1_decode_alloc(f.mode, whole.data(), tmpl, whole.size());
      int err = errno;
      v7::asn1::set_alloc_failure_countdown(0);
      if (record != nullptr) {
        asn1_release(tmpl, record);
        EXPECT_GT(n, 1);
        break;
      }
      // The entry point's own record is 1000; everything after it inside the decoder is 1204.
      ASSERT_EQ(err, n == 1 ? v7::kErrOutOfMemory : v7::kErrInsufficientMemory) << "allocation " << n;
    }
  }
}

}  // namespace
}  // namespace asn1test
