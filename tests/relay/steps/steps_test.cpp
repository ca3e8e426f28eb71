// Whole transfers between a sender and a recipient session through a relay in the test process,
// and the failures each step names, with the alert the peer is told.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/keys/pkcs8.h"
#include "pki/keys/vid_random.h"
#include "tests/relay/steps/steps_test_util.h"

using namespace stepstest;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new StepsEnvironment);

struct Pair {
  SessionPtr sender, recipient;
  MiniRelay relay;
  Pair(int sender_major, int recipient_major, bool with_km, const char *idn = kIdn)
      : sender(new_session(sender_mode(sender_major))),
        recipient(new_session(recipient_mode(recipient_major))) {
    EXPECT_TRUE(sender && recipient);
    EXPECT_TRUE(load_pairs(sender.get(), with_km, "NewPass1!")) << sender->last_error;
    EXPECT_EQ(relay_session_set_id_text(idn, recipient.get()), 0);
  }
};

Bytes alert_record(uint16_t version, uint16_t code) {
  return {1, uint8_t(version >> 8), uint8_t(version), 0, 2, uint8_t(code >> 8), uint8_t(code)};
}

// The set a recipient took over is exactly the one the sender holds, and the key files open
// under the new password.
void expect_same_set(const RelaySession *sender, const RelaySession *recipient, bool with_km) {
  for (int tag = 0; tag < kRelayItemTagCount; tag++) {
    SCOPED_TRACE(tag);
    bool km = tag == kRelayItemKmKey || tag == kRelayItemKmCert;
    EXPECT_EQ(kept(recipient, tag), kept(sender, tag));
    EXPECT_EQ(kept(recipient, tag).empty(), km && !with_km);
  }
  for (int tag : {int(kRelayItemSignKey), int(kRelayItemKmKey)}) {
    Bytes file = kept(recipient, tag);
    if (file.empty()) continue;
    PrivateKeyInfo *info = pkey_decrypt(file.data(), file.size(), "NewPass1!");
    EXPECT_NE(info, nullptr) << tag;
    asn1_release(&asn1_tmpl_private_key_info, info);
  }
}

struct TransferCase {
  int sender, recipient;
  bool with_km;
  uint16_t agreed;
  size_t target_public_key_len;  // 0: the key-management certificate is the target
};

TEST(RelaySteps, WholeTransferForEachVersionAndSet) {
  const TransferCase cases[] = {
      {1, 1, false, ver(1), 1},
      {1, 1, true, ver(1), 0},
      {2, 2, false, ver(2), 1},
      {2, 2, true, ver(2), 0},
      {3, 3, false, ver(3), 1},
      {3, 3, true, ver(3), 1},
      // A 3.0 sender with a 2.0 recipient goes down to 2.0 and targets the key-management pair.
      {3, 2, true, ver(2), 0},
  };
  for (const TransferCase &c : cases) {
    SCOPED_TRACE(std::to_string(c.sender) + "->" + std::to_string(c.recipient) + (c.with_km ? " km" : ""));
    Pair p(c.sender, c.recipient, c.with_km);
    size_t public_key_len = 0;
    Outcome o =
        run_transfer(p.sender.get(), p.recipient.get(), &p.relay, [&](const std::string &at, Bytes *rec) {
          if (at != "target") return;
          size_t pos = kRelayHeaderLen;
          const uint8_t *field = nullptr;
          ASSERT_EQ(relay_lv_read(rec->data(), rec->size(), &pos, &field, &public_key_len), 0);
          ASSERT_EQ(relay_lv_read(rec->data(), rec->size(), &pos, &field, &public_key_len), 0);
          EXPECT_EQ((*rec)[1] << 8 | (*rec)[2], c.agreed);
        });
    ASSERT_EQ(o.failed_at, "") << relay_failure_text(p.sender.get(), 2)
                               << relay_failure_text(p.recipient.get(), 2);
    EXPECT_EQ(o.auth_code, kCode);
    EXPECT_EQ(o.subject, "cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR");
    EXPECT_EQ(p.sender->cur_version, c.agreed);
    EXPECT_EQ(p.recipient->cur_version, c.agreed);
    EXPECT_EQ(public_key_len != 0, c.target_public_key_len != 0);
    expect_same_set(p.sender.get(), p.recipient.get(), c.with_km);
  }
}

// Drops the last byte of a record's ciphertext: no block cipher output has that length.
void chop(Bytes *rec) {
  rec->pop_back();
  size_t n = rec->size() - kRelayHeaderLen;
  (*rec)[3] = uint8_t(n >> 8), (*rec)[4] = uint8_t(n);
}

struct FailureCase {
  const char *name;
  int sender, recipient;
  const char *point;  // where the relay tampers
  std::function<void(Bytes *, Pair *)> change;
  const char *failed_at;
  int code;
  int alert;          // -1: no alert pending
  int fresh_key = 0;  // 1: the sender must sign a fresh key
};

TEST(RelaySteps, EachFailureEndsItsStepWithCodeAndAlert) {
  const FailureCase cases[] = {
      {"server certificate of another type", 2, 2, "recipient server certificate",
       [](Bytes *r, Pair *) { (*r)[0] = 4; }, "recipient step1", 513, 12},
      {"server certificate too short", 2, 2, "recipient server certificate",
       [](Bytes *r, Pair *) { r->resize(6), (*r)[4] = 1; }, "recipient step1", 512, 12},
      {"server certificate of version 4.0", 2, 2, "sender server certificate",
       [](Bytes *r, Pair *) { (*r)[1] = 4; }, "sender step1", 11, 11},
      {"server certificate not the relay's", 2, 2, "sender server certificate",
       [](Bytes *r, Pair *) {
         *r = relaytest::record(3, ver(2), relaytest::lv(relaytest::read_fixture("pki/user_km.der")));
       },
       "sender step1", 15, 15},
      {"relay certificate with a changed signature", 2, 2, "recipient server certificate",
       [](Bytes *r, Pair *) { r->back() ^= 1; }, "recipient step1", 15, 15},
      {"3.0 items list with a repeated tag", 3, 3, "recipient server certificate",
       [](Bytes *r, Pair *) {
         Bytes cert = relaytest::read_fixture("pki/relay.der");
         *r = relaytest::record(3, ver(3), relaytest::lv(relaytest::cat({item(0, cert), item(0, cert)})));
       },
       "recipient step1", 12, 12},
      {"auth code length past the body", 2, 2, "auth code",
       [](Bytes *r, Pair *p) {
         *r = p->relay.seal(relaytest::record(5, ver(2), {0, 9, '1'}), false);
       },
       "recipient step2", 512, 12},
      {"auth code envelope that does not decrypt", 2, 2, "auth code", [](Bytes *r, Pair *) { chop(r); },
       "recipient step2", 281, 14},
      {"wrong authorization code", 2, 2, "notice", [](Bytes *r, Pair *) { *r = alert_record(ver(2), 1); },
       "sender step2", 514, -1},
      {"notice of another type", 2, 2, "notice",
       [](Bytes *r, Pair *p) { *r = p->relay.seal(relaytest::record(5, ver(2), {}), true); }, "sender step2",
       513, 12},
      {"notice of version 0.9", 2, 2, "notice",
       [](Bytes *r, Pair *p) { *r = p->relay.seal(relaytest::record(7, 0x0009, {}), true); }, "sender step2",
       11, 11},
      {"target signature changed", 2, 2, "target", [](Bytes *r, Pair *) { r->back() ^= 1; },
       "recipient step3", 43, 43, 1},
      {"target too short", 2, 2, "target", [](Bytes *r, Pair *) { r->resize(4); }, "recipient step3", 512,
       42},
      {"target certificate length past the record", 2, 2, "target", [](Bytes *r, Pair *) { (*r)[5] = 0xff; },
       "recipient step3", 512, 42},
      {"target of a higher version", 2, 2, "target", [](Bytes *r, Pair *) { (*r)[1] = 3; }, "recipient step3",
       11, 11},
      {"recipient keys that do not decrypt", 2, 2, "recipient keys",
       [](Bytes *r, Pair *p) {
         Bytes inner = p->relay.open(*r, true);
         inner[10] ^= 1;
         *r = p->relay.seal(inner, true);
       },
       "sender step3", 279, 45},
      {"items that do not decrypt", 2, 2, "items",
       [](Bytes *r, Pair *p) {
         Bytes inner = p->relay.open(*r, false);
         chop(&inner);
         *r = p->relay.seal(inner, false);
       },
       "recipient step4", 281, 45},
      {"recipient's own alert reaches the sender", 2, 2, "close",
       [](Bytes *r, Pair *) { *r = alert_record(ver(2), 46); }, "sender finish", 514, -1},
  };
  for (const FailureCase &c : cases) {
    SCOPED_TRACE(c.name);
    // Below 3.0 a key-management pair spares the sender a fresh key, where the case needs none.
    Pair p(c.sender, c.recipient, c.fresh_key == 0);
    Outcome o =
        run_transfer(p.sender.get(), p.recipient.get(), &p.relay, [&](const std::string &point, Bytes *r) {
          if (point == c.point) c.change(r, &p);
        });
    EXPECT_EQ(o.failed_at, c.failed_at);
    RelaySession *failed = o.failed_at.rfind("sender", 0) == 0 ? p.sender.get() : p.recipient.get();
    EXPECT_EQ(failed->last_error, c.code) << relay_failure_text(failed, 2);
    EXPECT_EQ(errno, c.code);
    if (c.alert < 0) {
      EXPECT_EQ(o.result, -1);
      EXPECT_TRUE(o.alert.empty());
    } else {
      EXPECT_EQ(o.result, -2);
      EXPECT_EQ(o.alert, alert_record(failed->own_version, uint16_t(c.alert)));
    }
  }
}

// The relay server is known by its name, not by the text of it: a certificate from the same CA
// whose one CN value "relay.test,ou=Test,o=Test" (with C=KR) renders as the relay's name text is
// another name, and is refused.
TEST(RelaySteps, ServerCertificateIsMatchedByItsDecodedName) {
  const struct {
    const char *what;
    const char *cert;
    int major;
    int code;
  } cases[] = {
      {"the relay's certificate", "pki/relay.der", 2, 0},
      {"the relay's certificate with its chain", "pki/relay.der", 3, 0},
      {"one value spelling the relay's name", "pki/relay_impostor.der", 2, v7::kErrRelayServerCert},
      {"one value spelling the relay's name, with the chain", "pki/relay_impostor.der", 3,
       v7::kErrRelayServerCert},
      {"a user's certificate", "pki/user_km.der", 2, v7::kErrRelayServerCert},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SessionPtr s = new_session(sender_mode(c.major));
    ASSERT_TRUE(s);
    Bytes cert = relaytest::read_fixture(c.cert);
    Bytes list =
        c.major < 3 ? cert : relaytest::cat({item(0, cert), item(1, relaytest::read_fixture("pki/ca.der"))});
    Bytes rec = relaytest::record(3, ver(c.major), relaytest::lv(list));
    int result = relay_read_server_certificate(s.get(), rec.data(), rec.size());
    EXPECT_EQ(result, c.code == 0 ? 0 : -2);
    EXPECT_EQ(s->last_error, c.code) << relay_failure_text(s.get(), 2);
    EXPECT_EQ(s->server_key != nullptr, c.code == 0);
  }
}

TEST(RelaySteps, WrongCodeShowsTheServersText) {
  Pair p(2, 2, false);
  // The relay shows one code and expects another.
  Outcome o =
      run_transfer(p.sender.get(), p.recipient.get(), &p.relay, [&](const std::string &point, Bytes *) {
        if (point == "auth code") p.relay.code = "999999999999";
      });
  EXPECT_EQ(o.failed_at, "sender step2");
  EXPECT_EQ(p.sender->prev_error, 1);
  std::string text = relay_failure_text(p.sender.get(), 2);
  EXPECT_EQ(text.rfind("Step2) Failed to transfer the certificate.[0x0202]", 0), 0u) << text;
  EXPECT_NE(text.find("\r\nAuthorization code is not correct."), std::string::npos) << text;
}

// Items the sender seals itself, to send what a correct sender never would.
void replace_items(Pair *p, Bytes *rec, const Bytes &block) {
  uint8_t *items = nullptr, *env = nullptr;
  size_t n = relay_items_seal(p->sender.get(), block.data(), block.size(), &items);
  ASSERT_NE(n, 0u);
  size_t m = relay_envelope_seal(p->sender.get(), 11, items, n, &env, 10);
  free(items);
  ASSERT_NE(m, 0u);
  *rec = p->relay.to_recipient(Bytes(env, env + m));
  free(env);
}

// Empties an item slot of a session, as before the items arrived.
void drop(RelaySession *s, int tag) {
  ReceivedCertRecord &r = s->items;
  uint8_t **slot = tag == kRelayItemSignKey ? &r.sign_key : tag == kRelayItemKmKey ? &r.km_key : &r.km_cert;
  size_t *len = tag == kRelayItemSignKey ? &r.sign_key_len
                : tag == kRelayItemKmKey ? &r.km_key_len
                                         : &r.km_cert_len;
  free(*slot);
  *slot = nullptr;
  *len = 0;
}

struct ItemsCase {
  const char *name;
  int version;
  std::function<Bytes(const Bytes &sign_cert, const Bytes &km_cert)> block;
  int code;  // 0: accepted
  int alert;
};

TEST(RelaySteps, RecipientHoldsTheItemRules) {
  const Bytes key = {0x30, 0x03, 0x02, 0x01, 0x00};
  const ItemsCase cases[] = {
      {"signing key alone", 2, [&](const Bytes &, const Bytes &) { return item(1, key); }, 0, 0},
      {"signing certificate repeated unchanged", 2,
       [&](const Bytes &c, const Bytes &) {
         return relaytest::cat({item(0, c), item(1, key)});
       },
       0, 0},
      {"signing certificate repeated with one byte changed", 2,
       [&](const Bytes &c, const Bytes &) {
         Bytes changed = c;
         changed[changed.size() / 2] ^= 1;
         return relaytest::cat({item(0, changed), item(1, key)});
       },
       515, 46},
      {"no signing key", 2, [&](const Bytes &c, const Bytes &) { return item(0, c); }, 515, 46},
      {"key-management key without its certificate", 2,
       [&](const Bytes &, const Bytes &) {
         return relaytest::cat({item(1, key), item(2, key)});
       },
       515, 46},
      {"key-management certificate without its key", 3,
       [&](const Bytes &, const Bytes &k) {
         return relaytest::cat({item(1, key), item(3, k)});
       },
       515, 46},
      {"both key-management items", 3,
       [&](const Bytes &, const Bytes &k) {
         return relaytest::cat({item(1, key), item(2, key), item(3, k)});
       },
       0, 0},
      {"item after the key-management certificate below 3.0", 2,
       [&](const Bytes &, const Bytes &k) {
         return relaytest::cat({item(3, k), item(1, key), item(2, key)});
       },
       515, 46},
      {"tag above 3", 2,
       [&](const Bytes &, const Bytes &) {
         return relaytest::cat({item(1, key), item(4, key)});
       },
       515, 46},
      {"empty item", 2,
       [&](const Bytes &, const Bytes &) {
         return relaytest::cat({item(1, key), item(2, {})});
       },
       515, 46},
      {"two bytes left over", 2,
       [&](const Bytes &, const Bytes &) {
         return relaytest::cat({item(1, key), {1, 0}});
       },
       512, 42},
      {"item running past the block", 2,
       [&](const Bytes &, const Bytes &) {
         return Bytes{1, 0, 9, 1, 2};
       },
       512, 42},
  };
  const Bytes sign_cert = relaytest::read_fixture("pki/signCert.der");
  const Bytes km_cert = relaytest::read_fixture("pki/kmCert.der");
  // One transfer per version; each case then hands the recipient, as it stood after the target,
  // other Items under the same keys.
  for (int version : {2, 3}) {
    Pair p(version, version, false);
    ASSERT_EQ(run_transfer(p.sender.get(), p.recipient.get(), &p.relay).failed_at, "");
    for (const ItemsCase &c : cases) {
      if (c.version != version) continue;
      SCOPED_TRACE(c.name);
      RelaySession *r = p.recipient.get();
      for (int tag : {int(kRelayItemSignKey), int(kRelayItemKmKey), int(kRelayItemKmCert)}) drop(r, tag);
      r->last_error = r->prev_error = 0;
      r->alert_code = 0;
      Bytes rec;
      replace_items(&p, &rec, c.block(sign_cert, km_cert));
      int result = relay_recipient_step4(r, rec.data(), rec.size());
      if (c.code == 0) {
        EXPECT_EQ(result, 0) << relay_failure_text(r, 2);
        EXPECT_EQ(kept(r, kRelayItemSignCert), sign_cert);
        EXPECT_EQ(kept(r, kRelayItemSignKey), key);
        continue;
      }
      EXPECT_EQ(result, -2);
      EXPECT_EQ(r->last_error, c.code);
      relaytest::Buffer alert;
      alert.n = relay_alert_record(r, &alert.p);
      EXPECT_EQ(alert.bytes(), alert_record(r->own_version, uint16_t(c.alert)));
      // A refused set is not half taken over.
      EXPECT_TRUE(kept(r, kRelayItemSignKey).empty());
    }
  }
}

TEST(RelaySteps, IdentityIsCheckedAtVersion1Only) {
  struct Case {
    int version;
    const char *idn;
    bool ok;
  } cases[] = {{1, kIdn, true}, {1, "8001011234568", false}, {2, "8001011234568", true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.version) + " " + c.idn);
    Pair p(c.version, c.version, false, c.idn);
    Outcome o = run_transfer(p.sender.get(), p.recipient.get(), &p.relay);
    if (c.ok) {
      EXPECT_EQ(o.failed_at, "") << relay_failure_text(p.sender.get(), 2);
      continue;
    }
    EXPECT_EQ(o.failed_at, "sender step3");
    EXPECT_EQ(p.sender->last_error, 44);
    EXPECT_EQ(o.alert, alert_record(ver(1), 44));
    EXPECT_NE(std::string(relay_failure_text(p.sender.get(), 2)).find("Alien/Resident ID"),
              std::string::npos);
  }
}

TEST(RelaySteps, SenderWithoutVidRandomFailsAtEveryVersion) {
  for (int version : {1, 2, 3}) {
    SCOPED_TRACE(version);
    SessionPtr sender = new_session(sender_mode(version)), recipient = new_session(recipient_mode(version));
    Bytes cert = relaytest::read_fixture("pki/signCert.der");
    Bytes key = relaytest::read_fixture("pki/user_sign_kisa_seed_novid.key");
    ASSERT_EQ(relay_load_sign_pair(kPassword, sender.get(), cert.data(), cert.size(), key.data(), key.size(),
                                   nullptr, 0, nullptr),
              0);
    ASSERT_EQ(relay_session_set_id_text(kIdn, recipient.get()), 0);
    MiniRelay relay;
    Outcome o = run_transfer(sender.get(), recipient.get(), &relay);
    EXPECT_EQ(o.failed_at, "sender step3");
    EXPECT_EQ(sender->last_error, 44);
    EXPECT_NE(std::string(err_ctx_format(sender->error, kErrFmtNumeric)).find("14090"), std::string::npos);
  }
}

// A phone module's key object returns one stored signature whatever it is asked to sign: the
// sender refuses to pass it off as a signature over its fresh key.
TEST(RelaySteps, StoredSignatureKeyCannotSignTheFreshKey) {
  Pair p(2, 2, false);
  PRIVATE_KEY_CTX *stored = keyobj_new_type3();
  Bytes cert = relaytest::read_fixture("pki/signCert.der");
  ASSERT_EQ(keyobj_set_certificate(stored, cert.data(), cert.size(), 0), 0);
  Bytes sig(256, 0x5a);
  KEYOBJ_BYTES value = {sig.data(), sig.size()};
  ASSERT_EQ(keyobj_control(stored, KEYOBJ_CTRL_SET_SIGNATURE, &value, nullptr), 0);
  keyobj_delete(p.sender->sign_key);
  p.sender->sign_key = stored;
  Outcome o = run_transfer(p.sender.get(), p.recipient.get(), &p.relay);
  EXPECT_EQ(o.failed_at, "sender step2");
  EXPECT_EQ(p.sender->last_error, 291);
  EXPECT_EQ(o.alert, alert_record(ver(2), 31));
}

TEST(RelaySteps, LoadersRefuseAndLeaveNothing) {
  SessionPtr s = new_session(sender_mode(2));
  Bytes cert = relaytest::read_fixture("pki/signCert.der"), key = relaytest::read_fixture("pki/signPri.key");
  EXPECT_EQ(relay_load_sign_pair(nullptr, s.get(), cert.data(), cert.size(), key.data(), key.size(), nullptr,
                                 0, nullptr),
            -1);
  EXPECT_EQ(s->last_error, 257);
  EXPECT_EQ(relay_load_sign_pair("wrong", s.get(), cert.data(), cert.size(), key.data(), key.size(), nullptr,
                                 0, nullptr),
            -1);
  EXPECT_EQ(s->last_error, 273);
  EXPECT_EQ(s->alert_code, 0);
  EXPECT_TRUE(kept(s.get(), kRelayItemSignKey).empty() && kept(s.get(), kRelayItemSignCert).empty());
  // A random value handed over goes into the key object and into the file that travels.
  const Bytes random(20, 0x42);
  ASSERT_EQ(relay_load_sign_pair(kPassword, s.get(), cert.data(), cert.size(), key.data(), key.size(),
                                 random.data(), random.size(), nullptr),
            0);
  EXPECT_EQ(Bytes(s->sign_key->buffer, s->sign_key->buffer + s->sign_key->buffer_len), random);
  Bytes file = kept(s.get(), kRelayItemSignKey);
  PrivateKeyInfo *info = pkey_decrypt(file.data(), file.size(), kPassword);
  ASSERT_NE(info, nullptr);
  uint8_t got[40];
  EXPECT_EQ(pkey_get_vid_random(info->attributes, got, sizeof got), 20);
  EXPECT_EQ(Bytes(got, got + 20), random);
  asn1_release(&asn1_tmpl_private_key_info, info);
}

TEST(RelaySteps, VersionNegotiation) {
  struct Case {
    uint16_t record, session;
    int accept, lower;  // results: the new session version, or -1 for 11
  } cases[] = {
      {0x0200, 0x0200, 0x0200, 0x0200}, {0x0100, 0x0300, 0x0100, 0x0100}, {0x0300, 0x0200, -1, 0x0200},
      {0x0201, 0x0300, -1, -1},         {0x0400, 0x0300, -1, 0x0300},     {0x0000, 0x0100, -1, -1},
      {0x0201, 0x0201, 0x0201, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.record);
    uint16_t a = c.session, l = c.session;
    EXPECT_EQ(relay_accept_version(c.record, &a), c.accept < 0 ? -1 : 0);
    if (c.accept >= 0) {
      EXPECT_EQ(a, c.accept);
    }
    EXPECT_EQ(relay_accept_lower_version(c.record, &l), c.lower < 0 ? -1 : 0);
    if (c.lower >= 0) {
      EXPECT_EQ(l, c.lower);
    }
  }
}

TEST(RelaySteps, HelloAndCloseRecords) {
  for (int major : {1, 2, 3}) {
    SessionPtr s = new_session(recipient_mode(major));
    relaytest::Buffer hello, close;
    ASSERT_EQ(relay_step_hello(s.get(), &hello.p, &hello.n), 0);
    ASSERT_EQ(relay_recipient_close(s.get(), &close.p, &close.n), 0);
    const Bytes expected = major < 3 ? Bytes{2, uint8_t(major), 0, 0, 0} : Bytes{2, 3, 0, 0, 2, 0, 5};
    EXPECT_EQ(hello.bytes(), expected);
    EXPECT_EQ(close.bytes(), alert_record(ver(major), 0));
  }
}

}  // namespace
