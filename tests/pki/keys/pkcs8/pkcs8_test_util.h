// Helpers of the private-key tests: fixtures, owned results, a tiny DER builder for hostile blobs
// and a scripted random source.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "crypto/random/random.h"
#include "pki/asn1/key_types.h"
#include "pki/keys/pkcs8.h"
#include "tests/harness/vectors.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace pkcs8test {

using v7test::Bytes;
using v7test::from_hex;
using v7test::to_hex;

constexpr char kPassword[] = "Fixture1!";
// The VID random values of the test PKI (fixtures README).
constexpr char kUserRandom[] = "5a3c1e07b2f49d68a1c0e3f5b7d9021436587a9c";
constexpr char kUser2Random[] = "0f1e2d3c4b5a69788796a5b4c3d2e1f00112233f";

inline Bytes fixture(const std::string &name) {
  Bytes b = asn1test::read_fixture("pki/" + name);
  if (b.empty()) ADD_FAILURE() << "missing fixture " << name;
  return b;
}

struct KeyDeleter {
  void operator()(PrivateKeyInfo *k) const { asn1_release(&asn1_tmpl_private_key_info, k); }
};
using Key = std::unique_ptr<PrivateKeyInfo, KeyDeleter>;

// pkey_decrypt with errno captured right after the call.
struct Opened {
  Key key;
  int err = 0;
};
inline Opened open(const Bytes &der, const char *password = kPassword) {
  errno = 0;
  PrivateKeyInfo *k = pkey_decrypt(der.empty() ? nullptr : der.data(), der.size(), password);
  Opened o;
  o.err = errno;
  o.key.reset(k);
  return o;
}

inline Key decode_plain(const Bytes &der) {
  return Key(static_cast<PrivateKeyInfo *>(
      asn1_decode_alloc(ASN1_MODE_DER, der.data(), &asn1_tmpl_private_key_info, der.size())));
}

inline Bytes encode_key(const PrivateKeyInfo *k) {
  uint8_t *der = nullptr;
  size_t len = 0;
  if (der_encode_alloc(&asn1_tmpl_private_key_info, k, &der, &len) == 0) return {};
  Bytes out(der, der + len);
  std::free(der);
  return out;
}

// pkey_encrypt into bytes; empty on failure with the code in *err.
inline Bytes seal(const PrivateKeyInfo *k, int scheme, int *err = nullptr, const char *password = kPassword) {
  uint8_t *der = nullptr;
  errno = 0;
  size_t len = pkey_encrypt(k, password, scheme, &der);
  if (err != nullptr) *err = errno;
  if (len == 0) return {};
  Bytes out(der, der + len);
  std::free(der);
  return out;
}

// DER pieces.
using asn1test::cat;
using asn1test::tlv;
inline Bytes seq(std::initializer_list<Bytes> parts) { return tlv(0x30, cat(parts)); }
inline Bytes oid(const char *contents_hex) { return tlv(0x06, from_hex(contents_hex)); }

// Contents octets of the identifiers the tests build with.
constexpr char kOidPbes2[] = "2a864886f70d01050d";
constexpr char kOidPbkdf2[] = "2a864886f70d01050c";
constexpr char kOidSeedCbc[] = "2a831a8c9a440104";   // 1.2.410.200004.1.4
constexpr char kOidKisaSeed[] = "2a831a8c9a44010f";  // 1.2.410.200004.1.15

// A random source that hands out scripted bytes in order, then fails.
struct ScriptedRandom {
  static std::deque<uint8_t> &bytes() {
    static std::deque<uint8_t> q;
    return q;
  }
  static bool source(uint8_t *out, size_t len) {
    if (bytes().size() < len) return false;
    for (size_t i = 0; i < len; i++) {
      out[i] = bytes().front();
      bytes().pop_front();
    }
    return true;
  }
  explicit ScriptedRandom(const Bytes &script) {
    bytes().assign(script.begin(), script.end());
    rng_set_system_source(source);
  }
  ~ScriptedRandom() {
    rng_set_system_source(nullptr);
    bytes().clear();
  }
};

}  // namespace pkcs8test
