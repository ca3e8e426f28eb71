// A relay server in the test process, built from the toolkit's own key objects, that pairs one
// sender with one recipient and relays their records; sessions loaded with the test user's pairs;
// and a driver that runs a whole transfer step by step, with hooks that tamper with what passes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "pki/asn1/asn1.h"
#include "pki/keys/pkcs8.h"
#include "relay/steps/steps.h"
#include "tests/relay/session/session_test_util.h"

namespace stepstest {

using relaytest::Bytes;
using relaytest::SessionPtr;

constexpr char kPassword[] = "Fixture1!";
constexpr char kIdn[] = "8001011234567";
constexpr char kCode[] = "123456789012";
// Where the sessions of these tests find the revocation lists of the relay certificate's path:
// a folder of each test program's own, since ctest runs programs of one folder side by side and
// one must never read a list while another rewrites it.
constexpr char kCertDir[] = V7_TEST_NAME "_certdir";

inline uint16_t ver(int major) { return relay_version(major, 0); }

// The revocation lists of the relay certificate's path, as a validation cache's CRL folder holds
// them: the file's name there and the fixture it is.
struct CachedList {
  const char *file;
  const char *fixture;
};
extern const CachedList kRelayPathLists[2];
// Writes them into the CRL folder of the cache cert_dir.
void write_relay_path_lists(const std::string &cert_dir);

// Folder answers for the sessions, and a validation cache holding the lists of the test CA.
class StepsEnvironment : public relaytest::FolderEnvironment {
 public:
  void SetUp() override;
};

// A session of the mode, its validation reading the test cache.
SessionPtr new_session(uint32_t mode);
inline uint32_t sender_mode(int major) { return 0x80000000u | uint32_t(major); }
inline uint32_t recipient_mode(int major) { return 0x88000000u | uint32_t(major); }

// Loads the test user's signing pair (the VID random value comes from the key file) and, when
// asked, the key-management pair, under the new password.
bool load_pairs(RelaySession *s, bool with_km, const char *new_password = nullptr);

// The relay server's side: its RSA key, one session key per client, the code it issued.
class MiniRelay {
 public:
  MiniRelay();
  ~MiniRelay();
  MiniRelay(const MiniRelay &) = delete;
  MiniRelay &operator=(const MiniRelay &) = delete;

  // ServerCertificate of the version (the relay certificate, from 3.0 on with the CA as tag 1).
  Bytes server_certificate(uint16_t version) const;
  // Takes a RecipientServerKey: true, and the AuthCode envelope for the recipient in *reply.
  bool take_recipient_key(const Bytes &rec, Bytes *reply);
  // Takes a SenderServerKey; true when its code is the one issued.
  bool take_sender_key(const Bytes &rec);
  // Opens a client's envelope and seals its inner record for the other side.
  Bytes to_sender(const Bytes &from_recipient) const;
  Bytes to_recipient(const Bytes &from_sender) const;
  // The inner record of a client's envelope, and an envelope for a client.
  Bytes open(const Bytes &env, bool from_sender) const;
  Bytes seal(const Bytes &inner, bool to_sender) const;

  std::string code = kCode;

 private:
  PRIVATE_KEY_CTX *key_ = nullptr;
  SESSION_CTX *sender_ = nullptr, *recipient_ = nullptr;
  uint16_t sender_version_ = 0, recipient_version_ = 0;
  ERROR_CTX err_{};
};

// Where a transfer stopped, and how: the step that failed and both sessions for inspection.
struct Outcome {
  std::string failed_at;  // "" when the transfer completed
  int result = 0;         // the failing step's result (-1, -2)
  std::string auth_code, subject;
  Bytes alert;  // the alert the failing side has pending, or empty
};

// Tampering points of the driver: each gets the record about to be handed on, by name
// ("target" the sender's EncryptionTarget inner record as the relay sees it, "items" the sender's
// enveloped Items, ...), and may change it.
using Tamper = std::function<void(const std::string &point, Bytes *record)>;

Outcome run_transfer(RelaySession *sender, RelaySession *recipient, MiniRelay *relay,
                     const Tamper &tamper = nullptr);

inline Bytes item(int tag, const Bytes &data) {
  Bytes r = {uint8_t(tag), uint8_t(data.size() >> 8), uint8_t(data.size())};
  r.insert(r.end(), data.begin(), data.end());
  return r;
}
// True when a sealed key (a PKCS#8 file) opens with the password.
inline bool key_opens(const Bytes &key, const char *password) {
  PrivateKeyInfo *info = pkey_decrypt(key.data(), key.size(), password);
  if (info == nullptr) return false;
  asn1_release(&asn1_tmpl_private_key_info, info);
  return true;
}
inline Bytes kept(const RelaySession *s, int tag) {
  size_t n = 0;
  const uint8_t *p = relay_session_item(s, tag, &n);
  return p != nullptr ? Bytes(p, p + n) : Bytes();
}

}  // namespace stepstest
