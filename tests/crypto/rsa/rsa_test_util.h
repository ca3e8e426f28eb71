// Shared pieces of the RSA tests: owned contexts, the fixture keys of tests/vectors/rsa_keys.txt,
// the fixed records by number, and a failing random source.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "crypto/rsa/rsa.h"
#include "tests/harness/vectors.h"

namespace rsatest {

using v7test::Bytes;

struct RsaDeleter {
  void operator()(RSA_CTX *ctx) const { rsa_free(ctx); }
};
using Rsa = std::unique_ptr<RSA_CTX, RsaDeleter>;

struct FixtureKey {
  int bits = 0;
  Bytes n, e, d, p, q, dp, dq, qinv;
};

inline const std::map<std::string, FixtureKey> &fixture_keys() {
  static const std::map<std::string, FixtureKey> keys = [] {
    std::map<std::string, FixtureKey> out;
    for (const auto &c : v7test::load_vectors("rsa_keys.txt")) {
      FixtureKey k;
      k.bits = int(c.number("bits"));
      k.n = c.bytes("n");
      k.e = c.bytes("e");
      k.d = c.bytes("d");
      k.p = c.bytes("p");
      k.q = c.bytes("q");
      k.dp = c.bytes("dp");
      k.dq = c.bytes("dq");
      k.qinv = c.bytes("qinv");
      out[c.text("key")] = k;
    }
    return out;
  }();
  return keys;
}

inline const FixtureKey &fixture(const std::string &name) {
  auto it = fixture_keys().find(name);
  EXPECT_NE(it, fixture_keys().end()) << "no fixture key " << name;
  static const FixtureKey none;
  return it == fixture_keys().end() ? none : it->second;
}

inline Rsa private_key(const FixtureKey &k) {
  Rsa ctx(rsa_new());
  int bits = rsa_set_private_key(ctx.get(), k.n.data(), k.n.size(), k.e.data(), k.e.size(), k.d.data(),
                                 k.d.size(), k.p.data(), k.p.size(), k.q.data(), k.q.size(), k.dp.data(),
                                 k.dp.size(), k.dq.data(), k.dq.size(), k.qinv.data(), k.qinv.size());
  EXPECT_EQ(k.bits, bits);
  return ctx;
}
inline Rsa private_key(const std::string &name) { return private_key(fixture(name)); }

inline Rsa public_key(const FixtureKey &k) {
  Rsa ctx(rsa_new());
  EXPECT_EQ(k.bits, rsa_set_public_key(ctx.get(), k.n.data(), k.n.size(), k.e.data(), k.e.size()));
  return ctx;
}
inline Rsa public_key(const std::string &name) { return public_key(fixture(name)); }

// The record numbers the vector files use.
inline const RSA_PADDING *pss_record(long long i) {
  static const RSA_PADDING *const records[] = {&RSA_PAD_PSS, &RSA_PAD_PSS_SHA256_MGF1_SHA1,
                                               &RSA_PAD_PSS_SHA256};
  return records[i];
}
inline const RSA_PADDING *oaep_record(long long i) {
  static const RSA_PADDING *const records[] = {&RSA_PAD_OAEP, &RSA_PAD_OAEP_MGF1_SHA256,
                                               &RSA_PAD_OAEP_SHA256_MGF1_SHA1, &RSA_PAD_OAEP_SHA256};
  return records[i];
}

// A random source that always fails, installed for the lifetime of the object.
inline bool failing_source(uint8_t *, size_t) { return false; }
struct FailingRandom {
  FailingRandom() { rng_set_system_source(failing_source); }
  ~FailingRandom() { rng_set_system_source(nullptr); }
};

// 0 on success, else the errno of the failure, for EXPECT_EQ over a table of codes.
template <typename F>
int code_of(F &&call) {
  errno = 0;
  int r = call();
  return r > 0 ? 0 : errno;
}

}  // namespace rsatest
