#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "tests/relay/session/session_test_util.h"

using namespace relaytest;

namespace {

::testing::Environment *const g_folders = ::testing::AddGlobalTestEnvironment(new FolderEnvironment);

struct ModeCase {
  uint32_t mode;
  uint32_t role;
  uint16_t version;
};

TEST(RelaySession, ModeWordsGiveRoleAndVersion) {
  const ModeCase cases[] = {
      {0, kRelayRoleSender, 0x0200},           {1, kRelayRoleRecipient, 0x0200},
      {2, kRelayRoleSender, 0x0100},           {3, kRelayRoleRecipient, 0x0100},
      {4, kRelayRoleSender, 0x0200},           {0x88000003u, kRelayRoleRecipient, 0x0300},
      {0x84000003u, kRelayRoleSender, 0x0300}, {0x80000007u, kRelayRoleSender, 0x0100},
  };
  for (const ModeCase &c : cases) {
    SCOPED_TRACE(c.mode);
    SessionPtr s(relay_session_new(c.mode));
    ASSERT_TRUE(s) << errno;
    EXPECT_EQ(s->role, c.role);
    EXPECT_EQ(s->own_version, c.version);
    EXPECT_EQ(s->cur_version, c.version);
    // Key material never comes from a clock-seeded generator.
    ASSERT_NE(s->rng, nullptr);
    EXPECT_EQ(s->rng->type, RNG_TYPE_SYSTEM);
  }
}

TEST(RelaySession, ValidationSettingsOfASession) {
  SessionPtr s(relay_session_new(kRecipient20));
  ASSERT_TRUE(s);
  const VALIDATION_SETTINGS *v = s->settings;
  EXPECT_EQ(v->mode, VALCFG_MODE_CRL);
  EXPECT_EQ(v->store_certs, VALCFG_STORE_TRY);
  EXPECT_EQ(strlen(v->policy), 1120u);
  EXPECT_EQ(std::string(v->policy).rfind("1.2.410.200005.1.1.5;1.2.410.200005.1.1.55;", 0), 0u);
  EXPECT_NE(std::string(v->cert_dir).find("\\velmora"), std::string::npos) << v->cert_dir;
  EXPECT_NE(s->validation, nullptr);
  EXPECT_NE(s->error, nullptr);
}

TEST(RelaySession, IdentityTextOnlyAtVersion1) {
  SessionPtr v1(relay_session_new(kRecipient10)), v2(relay_session_new(kRecipient20));
  ASSERT_TRUE(v1 && v2);
  EXPECT_EQ(relay_session_set_id_text("8001011234567", v1.get()), 0);
  EXPECT_STREQ(v1->id_text, "8001011234567");
  EXPECT_EQ(relay_session_set_id_text("8001011234567", v2.get()), 0);
  EXPECT_STREQ(v2->id_text, "");
  EXPECT_EQ(relay_session_set_id_text(nullptr, v2.get()), 0);

  SessionPtr missing(relay_session_new(kRecipient10));
  EXPECT_EQ(relay_session_set_id_text(nullptr, missing.get()), -1);
  EXPECT_EQ(errno, 257);
  EXPECT_EQ(missing->last_error, 257);
  EXPECT_EQ(missing->alert_code, 0);  // nothing was exchanged: nothing to tell a peer
}

TEST(RelaySession, ItemsKeptByTagInReceivedOrder) {
  SessionPtr s(relay_session_new(kRecipient20));
  const uint8_t a[] = {1, 2, 3}, b[] = {9};
  EXPECT_EQ(relay_session_keep_item(s.get(), kRelayItemSignKey, a, sizeof a), 0);
  EXPECT_EQ(relay_session_keep_item(s.get(), kRelayItemKmCert, b, sizeof b), 0);
  EXPECT_EQ(relay_session_keep_item(s.get(), kRelayItemKmCert, a, sizeof a), 0);  // replaces
  EXPECT_EQ(relay_session_keep_item(s.get(), 4, a, sizeof a), -1);
  EXPECT_EQ(relay_session_keep_item(s.get(), 0, a, 0), -1);
  ASSERT_EQ(s->items.sign_key_len, 3u);
  EXPECT_EQ(memcmp(s->items.sign_key, a, 3), 0);
  EXPECT_EQ(s->items.km_cert_len, 3u);
  size_t len = 1;
  EXPECT_EQ(relay_session_item(s.get(), kRelayItemSignCert, &len), nullptr);
  EXPECT_EQ(len, 0u);
}

// Records with the relay server carry the session's own version, end-to-end records the
// current one, which negotiation may have lowered.
TEST(RelaySession, HeadersCarryOwnOrCurrentVersion) {
  SessionPtr s = make_session(0x88000003u);
  ASSERT_TRUE(s && s->server_key && s->target_key);
  s->cur_version = 0x0200;
  uint8_t body[kSessionKeyBodyLen];
  Buffer server_key, target_key, env, items, alert;
  ASSERT_NE(relay_session_key_make(s.get(), 4, body, sizeof body), 0u);
  server_key.n = relay_rsa_seal(s.get(), 4, body, sizeof body, &server_key.p);
  ASSERT_NE(relay_session_key_make(s.get(), 9, body, sizeof body), 0u);
  target_key.n = relay_rsa_seal(s.get(), 9, body, sizeof body, &target_key.p);
  env.n = relay_envelope_seal(s.get(), 11, body, sizeof body, &env.p, 7);
  items.n = relay_envelope_seal(s.get(), 10, body, sizeof body, &items.p, 10);
  ASSERT_TRUE(server_key.p && target_key.p && env.p && items.p);
  EXPECT_EQ(v7test::to_hex(server_key.p, 3), "040300");
  EXPECT_EQ(v7test::to_hex(target_key.p, 3), "090200");
  EXPECT_EQ(v7test::to_hex(env.p, 3), "0b0300");
  EXPECT_EQ(v7test::to_hex(items.p, 3), "0a0200");
  relay_record_error(s.get(), 11, 8);
  alert.n = relay_alert_record(s.get(), &alert.p);
  EXPECT_EQ(v7test::to_hex(alert.bytes()), "0103000002000b");

  Buffer out;
  env.p[1] = 2;  // an envelope at the current version is not one of this session's
  EXPECT_EQ(relay_envelope_open(s.get(), 11, env.p, env.n, &out.p, &out.n, 7), -1);
  EXPECT_EQ(s->last_error, 16);
  items.p[1] = 3;  // nor Items at the own version
  EXPECT_EQ(relay_envelope_open(s.get(), 10, items.p, items.n, &out.p, &out.n, 10), -1);
  EXPECT_EQ(s->last_error, 16);
}

// The golden records were computed without the library (make_golden.py): they pin the draw order,
// the session key body, OAEP-SHA1 to the relay key, SEED-CBC of a whole record and the MAC input.
TEST(RelaySessionGolden, RecordsOfASeededSession) {
  auto cases = v7test::load_vectors("relay_session.txt");
  ASSERT_EQ(cases.size(), 1u);
  const v7test::VectorCase &v = cases[0];
  SeededSource source(v7::load_be32(v.bytes("mt_seed").data()));
  SessionPtr s = make_session(kRecipient20);
  ASSERT_TRUE(s && s->server_key);

  uint8_t body[kSessionKeyBodyLen];
  ASSERT_EQ(relay_session_key_make(s.get(), 4, body, sizeof body), kSessionKeyBodyLen);
  EXPECT_EQ(v7test::to_hex(body, sizeof body), v7test::to_hex(v.bytes("session_key_body")));
  Buffer rsa;
  rsa.n = relay_rsa_seal(s.get(), 4, body, sizeof body, &rsa.p);
  EXPECT_EQ(v7test::to_hex(rsa.bytes()), v7test::to_hex(v.bytes("rsa_record")));

  Bytes inner = v.bytes("inner");
  Buffer env;
  env.n = relay_envelope_seal(s.get(), 11, inner.data(), inner.size(), &env.p, 5);
  EXPECT_EQ(v7test::to_hex(env.bytes()), v7test::to_hex(v.bytes("envelope")));

  Bytes target = v.bytes("target");
  ASSERT_EQ(relay_transcript_digest(s.get(), target.data(), target.size(), 8), 0);
  EXPECT_EQ(v7test::to_hex(s->digest, s->digest_len), v7test::to_hex(v.bytes("digest")));
  ASSERT_EQ(relay_mac_key_make(s.get(), 9), 0);
  EXPECT_EQ(v7test::to_hex(s->mac_key, s->mac_key_len), v7test::to_hex(v.bytes("mac_key")));
  Bytes block = v.bytes("items_block");
  uint8_t mac[kRelayMacLen];
  ASSERT_EQ(relay_items_mac(s.get(), block.data(), block.size(), mac, 10), 0);
  EXPECT_EQ(v7test::to_hex(mac, sizeof mac), v7test::to_hex(v.bytes("items_mac")));
  EXPECT_EQ(s->last_error, 0);

  // The draws, in the order the session takes them from the source, and the body built of them.
  RANDOM_CTX *mt = rng_new_seeded(RNG_TYPE_MT19937, v.bytes("mt_seed").data(), 4);
  ASSERT_NE(mt, nullptr);
  Bytes draws(16 + 16 + 20 + 32);
  ASSERT_EQ(rng_fill_bytes(draws.data(), mt, draws.size()), draws.size());
  rng_free(mt);
  EXPECT_EQ(v7test::to_hex(draws), v7test::to_hex(v.bytes("key")) + v7test::to_hex(v.bytes("iv")) +
                                       v7test::to_hex(v.bytes("oaep_seed")) + v7test::to_hex(v.bytes("mac_key")));
  EXPECT_EQ(v7test::to_hex(v.bytes("session_key_body")),
            "0010" + v7test::to_hex(v.bytes("key")) + "0010" + v7test::to_hex(v.bytes("iv")));
}

// Both roles built from the library: the recipient's keys and the sender's items travel and open.
TEST(RelaySessionPair, RecipientKeysAndItemsRoundTrip) {
  SessionPtr recipient = make_session(kRecipient20), sender = make_session(kSender20);
  ASSERT_TRUE(recipient && sender && recipient->target_key && sender->open_key);

  Bytes target = record(8, 0x0200, cat({lv(read_fixture("pki/user_km.der")), lv({}), lv({})}));
  ASSERT_EQ(relay_transcript_digest(sender.get(), target.data(), target.size(), 8), 0);
  ASSERT_EQ(relay_transcript_digest(recipient.get(), target.data(), target.size(), 8), 0);

  // RecipientKeys: session key body, empty identity text, 00 20 and the MAC key.
  Bytes keys(kSessionKeyBodyLen);
  ASSERT_EQ(relay_session_key_make(recipient.get(), 9, keys.data(), keys.size()), kSessionKeyBodyLen);
  ASSERT_EQ(relay_mac_key_make(recipient.get(), 9), 0);
  keys = cat({keys, lv({}), lv(Bytes(recipient->mac_key, recipient->mac_key + 32))});
  Buffer rk;
  rk.n = relay_rsa_seal(recipient.get(), 9, keys.data(), keys.size(), &rk.p);
  ASSERT_EQ(rk.n, 5u + 256u);

  Buffer plain;
  ASSERT_EQ(relay_rsa_open(sender.get(), rk.p, rk.n, &plain.p, &plain.n), 0) << sender->last_error;
  ASSERT_EQ(plain.bytes(), keys);
  size_t pos = 0;
  ASSERT_EQ(relay_session_key_open(sender.get(), plain.p, plain.n, &pos, 9), 0);
  ASSERT_EQ(relay_mac_key_set(sender.get(), plain.p + pos + 4, 32, 9), 0);

  const Bytes items = cat({{0}, lv({'c', 'e', 'r', 't'}), {1}, lv({'k', 'e', 'y'})});
  Buffer sealed;
  sealed.n = relay_items_seal(sender.get(), items.data(), items.size(), &sealed.p);
  ASSERT_NE(sealed.n, 0u) << sender->last_error;
  EXPECT_EQ(sealed.p[0], 10);
  Buffer opened;
  ASSERT_EQ(relay_items_open(recipient.get(), sealed.p, sealed.n, &opened.p, &opened.n), 0)
      << recipient->last_error;
  EXPECT_EQ(opened.bytes(), items);
  EXPECT_EQ(sender->last_error, 0);
  EXPECT_EQ(recipient->last_error, 0);
}

}  // namespace
