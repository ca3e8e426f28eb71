// Sessions with the test PKI's keys, a seeded random stream through the system-source seam, and
// folder answers that give the session's validation settings a data folder on every platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "crypto/base/endian.h"
#include "platform/fs/fs.h"
#include "relay/record.h"
#include "relay/session/session.h"
#include "tests/harness/vectors.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace relaytest {

using v7test::Bytes;

using asn1test::cat;
using asn1test::read_fixture;

template <typename Char>
bool answer(const char *text, Char *out, size_t cap) {
  size_t n = 0;
  for (; text[n] != 0; n++) {
    if (n + 1 >= cap) return false;
    out[n] = Char(text[n]);
  }
  out[n] = 0;
  return true;
}

// The profile the write-permission check compares paths with: the folder texts' own, so that the
// user's low-integrity folder (the hard disk's store, the library's data folder with an old set's
// backup) is written, wiped and removed by the process itself, as on a machine; or, elsewhere,
// another one, so that those folders lie where only the broker may write.
inline void set_profile_for_writes(bool elsewhere) {
  static const FsQueryHooks same = {
      nullptr, [](char16_t *out, size_t cap) { return answer("C:\\users\\test", out, cap); }};
  static const FsQueryHooks other = {
      nullptr, [](char16_t *out, size_t cap) { return answer("C:\\users\\elsewhere", out, cap); }};
  platform_fs_set_query_hooks(elsewhere ? &other : &same);
}

// The folder texts are built once per process, so the answers are in place before any session.
class FolderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static const FsFolderHooks hooks = {
        [](char16_t *out, size_t cap) { return answer("C:\\WINDOWS", out, cap); },
        [](char *out, size_t cap) { return answer("C:\\WINDOWS", out, cap); },
        [](int csidl, char16_t *out, size_t cap) {
          return csidl == kShellFolderProfile && answer("C:\\users\\test", out, cap);
        },
        [](int csidl, char *out, size_t cap) {
          return csidl == kShellFolderProfile && answer("C:\\users\\test", out, cap);
        },
    };
    platform_fs_set_folder_hooks(&hooks);
    set_profile_for_writes(false);
  }
};

// While alive, every system-source draw comes from MT19937 seeded with `seed`.
class SeededSource {
 public:
  explicit SeededSource(uint32_t seed) {
    uint8_t be[4];
    v7::store_be32(be, seed);
    mt() = rng_new_seeded(RNG_TYPE_MT19937, be, sizeof be);
    rng_set_system_source([](uint8_t *out, size_t len) { return rng_fill_bytes(out, mt(), len) == len; });
  }
  ~SeededSource() {
    rng_set_system_source(nullptr);
    rng_free(mt());
    mt() = nullptr;
  }

 private:
  static RANDOM_CTX *&mt() {
    static RANDOM_CTX *ctx = nullptr;
    return ctx;
  }
};

struct SessionDeleter {
  void operator()(RelaySession *s) const { relay_session_free(s); }
};
using SessionPtr = std::unique_ptr<RelaySession, SessionDeleter>;

// Mode shorthands of relay_session_new.
enum : uint32_t { kSender20 = 0, kRecipient20 = 1, kSender10 = 2, kRecipient10 = 3 };

inline PUBLIC_KEY_CTX *public_key_of(const std::string &cert_fixture) {
  Bytes der = read_fixture(cert_fixture);
  PUBLIC_KEY_CTX *key = pubkey_new();
  const PUBLIC_KEY_SOURCE source = {PUBKEY_SOURCE_CERTIFICATE, 1};
  if (key != nullptr && pubkey_set_key(key, der.data(), der.size(), KEYOBJ_FORMAT_DEFAULT, &source) != 0) {
    pubkey_delete(key);
    key = nullptr;
  }
  return key;
}

// The key-management key file of the test user, opened with its password.
inline PRIVATE_KEY_CTX *km_private_key() {
  Bytes file = read_fixture("pki/kmPri.key");
  PRIVATE_KEY_CTX *key = keyobj_new_type1();
  const KEY_CREDENTIAL password = {KEY_CREDENTIAL_PASSWORD, KEY_CREDENTIAL_PASSWORD, "Fixture1!"};
  if (key != nullptr &&
      keyobj_set_key(key, file.data(), file.size(), KEYOBJ_FORMAT_DEFAULT, &password) != 0) {
    keyobj_delete(key);
    key = nullptr;
  }
  return key;
}

// A session with the relay server's key in its slot, and for a recipient the test user's
// key-management certificate as the target, for a sender the matching private key.
inline SessionPtr make_session(uint32_t mode) {
  SessionPtr s(relay_session_new(mode));
  if (!s) return s;
  s->server_key = public_key_of("pki/relay.der");
  if (s->role == kRelayRoleRecipient)
    s->target_key = public_key_of("pki/user_km.der");
  else
    s->open_key = km_private_key();
  return s;
}

struct Buffer {
  uint8_t *p = nullptr;
  size_t n = 0;
  ~Buffer() { std::free(p); }
  Bytes bytes() const { return Bytes(p, p + n); }
};

inline Bytes record(uint8_t type, uint16_t version, const Bytes &body) {
  Bytes r = {type, uint8_t(version >> 8), uint8_t(version), uint8_t(body.size() >> 8), uint8_t(body.size())};
  r.insert(r.end(), body.begin(), body.end());
  return r;
}

inline Bytes lv(const Bytes &data) {
  Bytes r = {uint8_t(data.size() >> 8), uint8_t(data.size())};
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

}  // namespace relaytest
