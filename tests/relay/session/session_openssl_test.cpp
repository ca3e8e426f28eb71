// The wire of the session checked against libcrypto, which shares none of our code: records the
// session makes are opened with OpenSSL from the record layouts alone, and records OpenSSL makes
// open in the session.
#include <gtest/gtest.h>

#include "tests/relay/session/openssl_oracle.h"
#include "tests/relay/session/session_test_util.h"

using namespace relaytest;
using oracle::hmac_sha256;
using oracle::seed_cbc;

namespace {

::testing::Environment *const g_folders = ::testing::AddGlobalTestEnvironment(new FolderEnvironment);

class Providers : public ::testing::Environment {
 public:
  void SetUp() override { oracle::load_providers(); }
  void TearDown() override { oracle::unload_providers(); }
};
::testing::Environment *const g_providers = ::testing::AddGlobalTestEnvironment(new Providers);

// The relay server's view of a sender: it decrypts SenderServerKey with its private key, learns
// the session key, and with it opens the sender's envelopes.
TEST(RelaySessionOpenssl, ServerOpensWhatTheSenderSends) {
  SessionPtr s = make_session(kSender20);
  ASSERT_TRUE(s && s->server_key);

  uint8_t key_body[kSessionKeyBodyLen];
  ASSERT_EQ(relay_session_key_make(s.get(), 6, key_body, sizeof key_body), kSessionKeyBodyLen);
  const Bytes code = {'4', '8', '1', '5', '2', '6'};
  Bytes body = cat({Bytes(key_body, key_body + sizeof key_body), lv(code)});
  Buffer rec;
  rec.n = relay_rsa_seal(s.get(), 6, body.data(), body.size(), &rec.p);
  ASSERT_EQ(rec.n, 5u + 256u);
  EXPECT_EQ(v7test::to_hex(rec.p, 5), "0602000100");

  Bytes plain = oracle::rsa_oaep_decrypt("pki/keys/relay.pem", rec.p + 5, rec.n - 5);
  ASSERT_EQ(plain.size(), 36u + 2u + code.size());
  EXPECT_EQ(plain, body);
  EXPECT_EQ(plain[0], 0x00);
  EXPECT_EQ(plain[1], 0x10);
  EXPECT_EQ(plain[18], 0x00);
  EXPECT_EQ(plain[19], 0x10);
  const Bytes k(plain.begin() + 2, plain.begin() + 18), iv(plain.begin() + 20, plain.begin() + 36);

  // Every envelope of the session uses that key and IV; an inner record of 33 bytes pads to 48.
  for (size_t inner_len : {5u, 16u, 33u}) {
    Bytes inner = record(8, 0x0200, Bytes(inner_len - 5, 0x5a));
    Buffer env;
    env.n = relay_envelope_seal(s.get(), 11, inner.data(), inner.size(), &env.p, 8);
    ASSERT_EQ(env.n, 5 + (inner_len / 16 + 1) * 16);
    EXPECT_EQ(env.p[0], 11);
    EXPECT_EQ(v7::load_be16(env.p + 1), 0x0200);
    EXPECT_EQ(v7::load_be16(env.p + 3), env.n - 5);
    EXPECT_EQ(seed_cbc(false, k, iv, env.p + 5, env.n - 5), inner);
  }

  // And the server's reply, made by OpenSSL, opens in the session.
  Bytes notice = record(7, 0x0100, {});
  Bytes reply = record(11, 0x0200, seed_cbc(true, k, iv, notice.data(), notice.size()));
  Buffer opened;
  ASSERT_EQ(relay_envelope_open(s.get(), 11, reply.data(), reply.size(), &opened.p, &opened.n, 7), 0);
  EXPECT_EQ(opened.bytes(), notice);
}

// The end-to-end records: RecipientKeys made by OpenSSL for the sender's key-management key, and
// the sender's Items checked with OpenSSL's SEED and HMAC; then the reverse for a recipient.
TEST(RelaySessionOpenssl, EndToEndRecordsBothWays) {
  SessionPtr sender = make_session(kSender20), recipient = make_session(kRecipient20);
  ASSERT_TRUE(sender && sender->open_key && recipient && recipient->target_key);

  Bytes target = record(8, 0x0200, cat({lv(read_fixture("pki/user_km.der")), lv({}), lv({})}));
  ASSERT_EQ(relay_transcript_digest(sender.get(), target.data(), target.size(), 8), 0);
  const Bytes sha = oracle::sha256(target.data() + 5, target.size() - 5);
  ASSERT_EQ(Bytes(sender->digest, sender->digest + 32), sha);

  const Bytes k = v7test::from_hex("000102030405060708090a0b0c0d0e0f");
  const Bytes iv = v7test::from_hex("f0e0d0c0b0a090807060504030201000");
  const Bytes mac_key(32, 0xa5);
  Bytes keys_body = cat({lv(k), lv(iv), lv({}), lv(mac_key)});
  Bytes rk = record(9, 0x0200, oracle::rsa_oaep_encrypt("pki/user_km.der", keys_body));
  Buffer plain;
  ASSERT_EQ(relay_rsa_open(sender.get(), rk.data(), rk.size(), &plain.p, &plain.n), 0) << sender->last_error;
  ASSERT_EQ(plain.bytes(), keys_body);
  size_t pos = 0;
  ASSERT_EQ(relay_session_key_open(sender.get(), plain.p, plain.n, &pos, 9), 0);
  ASSERT_EQ(relay_mac_key_set(sender.get(), plain.p + pos + 4, 32, 9), 0);

  const Bytes items = cat({{1}, lv(Bytes(300, 0x11)), {2}, lv(Bytes(40, 0x22)), {3}, lv({0x30})});
  Buffer sealed;
  sealed.n = relay_items_seal(sender.get(), items.data(), items.size(), &sealed.p);
  ASSERT_NE(sealed.n, 0u);
  EXPECT_EQ(v7test::to_hex(sealed.p, 3), "0a0200");
  Bytes items_plain = seed_cbc(false, k, iv, sealed.p + 5, sealed.n - 5);
  Bytes block = lv(items);
  ASSERT_EQ(items_plain.size(), block.size() + 2 + 32);
  EXPECT_EQ(Bytes(items_plain.begin(), items_plain.begin() + block.size()), block);
  EXPECT_EQ(v7test::to_hex(items_plain.data() + block.size(), 2), "0020");
  EXPECT_EQ(Bytes(items_plain.end() - 32, items_plain.end()), hmac_sha256(mac_key, cat({sha, block})));

  // The recipient: its RecipientKeys opens with the key-management key in OpenSSL, and Items made
  // by OpenSSL under the key it sent open in the session.
  ASSERT_EQ(relay_transcript_digest(recipient.get(), target.data(), target.size(), 8), 0);
  uint8_t own[kSessionKeyBodyLen];
  ASSERT_EQ(relay_session_key_make(recipient.get(), 9, own, sizeof own), kSessionKeyBodyLen);
  ASSERT_EQ(relay_mac_key_make(recipient.get(), 9), 0);
  Bytes own_body =
      cat({Bytes(own, own + sizeof own), lv({}), lv(Bytes(recipient->mac_key, recipient->mac_key + 32))});
  Buffer sent;
  sent.n = relay_rsa_seal(recipient.get(), 9, own_body.data(), own_body.size(), &sent.p);
  ASSERT_EQ(sent.n, 5u + 256u);
  EXPECT_EQ(oracle::rsa_oaep_decrypt("pki/keys/user_km.pem", sent.p + 5, sent.n - 5), own_body);

  const Bytes rk2(own + 2, own + 18), riv(own + 20, own + 36);
  Bytes mac = hmac_sha256(Bytes(recipient->mac_key, recipient->mac_key + 32), cat({sha, block}));
  Bytes p2 = cat({block, lv(mac)});
  Bytes items_rec = record(10, 0x0200, seed_cbc(true, rk2, riv, p2.data(), p2.size()));
  Buffer got;
  ASSERT_EQ(relay_items_open(recipient.get(), items_rec.data(), items_rec.size(), &got.p, &got.n), 0)
      << recipient->last_error;
  EXPECT_EQ(got.bytes(), items);
}

}  // namespace
