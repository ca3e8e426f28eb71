// Storing a received set on an IC card, against the same PC/SC stack as the card store's tests
// (pcscd with vpcd and tools/vcard natively, the test winscard.dll under Wine): the set read back
// through the card list and its part readers, sealed by the card's kind, and the card's old set
// kept whole when the PIN is wrong or a write fails.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/certlist.h"
#include "media/smartcard/smartcard.h"
#include "media/store/store.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "tests/media/smartcard/card_test_base.h"
#include "tests/media/store/store_test_util.h"

namespace {

using storetest::Bytes;
using storetest::kNewPassword;

const char kPin[] = "1234";
const Bytes kUserRandom = v7test::from_hex("5a3c1e07b2f49d68a1c0e3f5b7d9021436587a9c");
// The older KISA scheme's OID, 1.2.410.200004.1.15, as the sealed key spells it.
const Bytes kKisaSchemeOid = v7test::from_hex("06082a831a8c9a44010f");

// A card with both files and their record files, PIN 1234; with or without the presence record.
std::string card_image(bool presence, const std::string &extra = "") {
  std::string image = "pin 31323334\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n";
  if (presence) image += "record F3 6 1 700401000000\n";
  return image + "df F4\nef F4 3\nef F4 4\n" + extra;
}

int answer_box(const char16_t *, const char16_t *, unsigned) { return 1; }

bool contains(const Bytes &hay, const Bytes &needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

// The card's objects as the card store reads them (empty when an object does not read).
struct CardSet {
  Bytes sign_cert, sign_key, random, km_cert, km_key;
  bool operator==(const CardSet &o) const {
    return sign_cert == o.sign_cert && sign_key == o.sign_key && random == o.random && km_cert == o.km_cert &&
           km_key == o.km_key;
  }
};
Bytes take(int rc, uint8_t *out, size_t n) {
  Bytes b;
  if (rc == 0 && out != nullptr) b.assign(out, out + n);
  sc_free(out, n);
  return b;
}
CardSet read_card() {
  CardSet s;
  uint8_t *out = nullptr;
  size_t n = 0;
  int rc = sc_read_cert(kPin, &out, &n, kScFileSign);
  s.sign_cert = take(rc, out, n);
  rc = sc_read_key(kPin, &out, &n, kScFileSign);
  s.sign_key = take(rc, out, n);
  rc = sc_read_random(kPin, &out, &n);
  s.random = take(rc, out, n);
  rc = sc_read_cert(kPin, &out, &n, kScFileKm);
  s.km_cert = take(rc, out, n);
  rc = sc_read_key(kPin, &out, &n, kScFileKm);
  s.km_key = take(rc, out, n);
  return s;
}

// An old set of made-up bytes, written as the card store writes one.
CardSet old_set() {
  CardSet s;
  auto pattern = [](size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; i++) b[i] = uint8_t(i * 7 + seed);
    return b;
  };
  s.sign_cert = pattern(120, 1);
  s.sign_key = pattern(90, 2);
  s.km_cert = pattern(110, 3);
  s.km_key = pattern(80, 4);
  EXPECT_EQ(0, sc_write_cert(kPin, kScFileSign, s.sign_cert.data(), s.sign_cert.size()));
  EXPECT_EQ(0, sc_write_key(kPin, kScFileSign, s.sign_key.data(), s.sign_key.size()));
  EXPECT_EQ(0, sc_write_cert(kPin, kScFileKm, s.km_cert.data(), s.km_cert.size()));
  EXPECT_EQ(0, sc_write_key(kPin, kScFileKm, s.km_key.data(), s.km_key.size()));
  return s;
}

using v7test::count_prefix;

class StoreCard : public v7test::CardTestBase {
 protected:
  StoreCard() : CardTestBase(answer_box) {}
  void SetUp() override {
    CardTestBase::SetUp();
    medium_.kind = kStoreIcCard;
    medium_.SetPin(kPin);
  }

  int store(storetest::Ctx &ctx, const Bytes *km_cert = nullptr) {
    storetest::Resealed keys(set_);
    const Bytes &km = km_cert != nullptr ? *km_cert : set_.km_cert;
    return store_cert_pairs(ctx, kNewPassword, set_.sign_cert.data(), set_.sign_cert.size(), keys.sign_key.data(),
                            keys.sign_key.size(), km.data(), km.size(), keys.km_key.data(), keys.km_key.size(),
                            &medium_);
  }

  storetest::ReceivedSet set_;
  StoreMedium medium_;
};

// A card without a presence record: the keys are sealed under the older KISA scheme without
// their attributes and the VID random value goes into its own record. The card list reads the
// set back and both keys open with the new password.
TEST_F(StoreCard, ACardWithoutPresenceRecordGetsTheOlderScheme) {
  load(card_image(false));
  storetest::Ctx ctx;
  ASSERT_EQ(0, store(ctx)) << ::testing::PrintToString(storetest::codes(ctx));
  EXPECT_EQ(ctx->card_probe, 1);
  EXPECT_EQ(ctx->scheme, 1);

  CERTLIST_CTX list{};
  CERT_ENTRY *e = certlist_load(&list, kMediumSmartCard, kPin);
  ASSERT_NE(e, nullptr) << errno;
  EXPECT_EQ(storetest::part(cert_read_sign_cert, e), set_.sign_cert);
  const Bytes sign_key = storetest::part(cert_read_sign_key, e);
  EXPECT_EQ(storetest::part(cert_read_km_cert, e), set_.km_cert);
  const Bytes km_key = storetest::part(cert_read_km_key, e);
  EXPECT_EQ(storetest::part(certentry_read_card, e), kUserRandom);
  certlist_free(&list);

  Bytes random;
  EXPECT_TRUE(storetest::opens(sign_key, kNewPassword, &random));
  EXPECT_TRUE(random.empty());
  EXPECT_TRUE(contains(sign_key, kKisaSchemeOid));
  EXPECT_TRUE(storetest::opens(km_key, kNewPassword));
}

// A card that holds a set: its key-management pair is replaced, the keys keep the current scheme
// and the VID attribute, and no VID record is written. So too on a card whose presence record
// reads only with the PIN proven: asked without it, it looks empty, but the card's key loading
// asks with it and looks for the value inside the signing key.
TEST_F(StoreCard, ACardHoldingASetIsReplaced) {
  for (const char *quirk : {"", "quirk presence_pin\n"}) {
    SCOPED_TRACE(quirk);
    load(card_image(true, quirk));
    old_set();
    EXPECT_EQ(sc_probe_card(nullptr), quirk[0] == 0 ? 2 : 1);
    storetest::Ctx ctx;
    ASSERT_EQ(0, store(ctx)) << ::testing::PrintToString(storetest::codes(ctx));
    EXPECT_EQ(ctx->card_probe, 2);
    EXPECT_EQ(ctx->scheme, 0);
    const CardSet now = read_card();
    EXPECT_EQ(now.sign_cert, set_.sign_cert);
    EXPECT_EQ(now.km_cert, set_.km_cert);
    EXPECT_TRUE(now.random.empty());
    Bytes random;
    EXPECT_TRUE(storetest::opens(now.sign_key, kNewPassword, &random));
    EXPECT_EQ(random, kUserRandom);
    EXPECT_FALSE(contains(now.sign_key, kKisaSchemeOid));
    EXPECT_TRUE(storetest::opens(now.km_key, kNewPassword));
  }
}

// A wrong PIN is sent once and nothing is written, a wrong password reaches no write either; a
// write that fails (the card full: 6A 84) at the erase of the old key-management pair or at the
// signing certificate gives the old set back.
TEST_F(StoreCard, AWrongPinOrAFailedWriteLeavesTheOldSet) {
  load(card_image(true));
  const CardSet old = old_set();
  card_.clear_log();
  medium_.SetPin("9999");
  storetest::Ctx wrong;
  EXPECT_EQ(v7::kErrStorePair, store(wrong));
  EXPECT_EQ(storetest::codes(wrong), (std::vector<int>{v7::kErrStorePair, v7::kErrCardPinWrong}));
  const std::vector<std::string> commands = card_.commands();
  EXPECT_EQ(count_prefix(commands, "00200001"), 1u);
  EXPECT_EQ(count_prefix(commands, "00DC"), 0u);
  EXPECT_EQ(sc_pin_tries_left(), 2);
  medium_.SetPin(kPin);
  EXPECT_EQ(read_card(), old);

  // A wrong password: the keys do not open, so the card's old pair is never erased.
  card_.clear_log();
  storetest::Ctx bad_password;
  EXPECT_EQ(v7::kErrWrongPassword,
            store_cert_pairs(bad_password, "not-the-password", set_.sign_cert.data(), set_.sign_cert.size(),
                             set_.sign_key.data(), set_.sign_key.size(), set_.km_cert.data(), set_.km_cert.size(),
                             set_.km_key.data(), set_.km_key.size(), &medium_));
  EXPECT_EQ(count_prefix(card_.commands(), "00DC"), 0u);
  EXPECT_EQ(count_prefix(card_.commands(), "00200001"), 0u);
  EXPECT_EQ(read_card(), old);

  const struct {
    const char *capacity;
    int pair_code;
    const char *detail;
  } cases[] = {{"capacity F4 4 5\n", v7::kErrCertWrite, ""}, {"capacity F3 4 5\n", v7::kErrCertWrite, "Sign"}};
  for (const auto &c : cases) {
    load(card_image(true, c.capacity));
    const CardSet before = old_set();
    storetest::Ctx ctx;
    EXPECT_EQ(v7::kErrStorePair, store(ctx)) << c.capacity;
    EXPECT_EQ(storetest::codes(ctx), (std::vector<int>{v7::kErrStorePair, c.pair_code, v7::kErrCardNoSpace}))
        << c.capacity;
    EXPECT_EQ(storetest::first_detail(ctx), c.detail);
    EXPECT_EQ(read_card(), before) << c.capacity;
  }
}

// Only the card's own "not found" counts as nothing there to keep. An old object that the card
// refuses to read for another reason (a fault, a wrong state), or a presence record it refuses,
// stops the store before its first write, with the card's code under the store's: the old set
// stays as it was, record for record.
TEST_F(StoreCard, AnOldObjectThatDoesNotReadStopsTheStoreBeforeAnyWrite) {
  const struct {
    const char *refusal;
    std::vector<int> codes;
    const char *detail;
  } cases[] = {
      {"F3 3 6F00", {v7::kErrStorePair, v7::kErrStoreBackup, v7::kErrCardRead}, "Sign"},
      {"F4 4 6985", {v7::kErrStorePair, v7::kErrStoreBackup, v7::kErrCardRead}, ""},
      {"F3 6 6F00", {v7::kErrStorePair, v7::kErrCardRead}, "Sign"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.refusal);
    load(card_image(true));
    old_set();
    ASSERT_EQ(card_.command(std::string("refuse ") + c.refusal), "ok");
    card_.clear_log();
    const auto before = card_.records();
    storetest::Ctx ctx;
    EXPECT_EQ(v7::kErrStorePair, store(ctx));
    EXPECT_EQ(storetest::codes(ctx), c.codes);
    EXPECT_EQ(storetest::first_detail(ctx), c.detail);
    EXPECT_EQ(count_prefix(card_.commands(), "00DC"), 0u);
    EXPECT_EQ(card_.records(), before);
  }
}

// A key-management certificate that does not decode fails with its code before the card is
// touched, whatever the card holds.
TEST_F(StoreCard, AnUndecodableKeyManagementCertificateFails) {
  load(card_image(true));
  const CardSet old = old_set();
  card_.clear_log();
  Bytes broken = set_.km_cert;
  broken.resize(40);
  storetest::Ctx ctx;
  EXPECT_EQ(v7::kErrStorePair, store(ctx, &broken));
  ASSERT_EQ(storetest::codes(ctx).size(), 2u);
  EXPECT_NE(storetest::codes(ctx)[1], 0);
  EXPECT_TRUE(card_.commands().empty());
  EXPECT_EQ(read_card(), old);
}

}  // namespace
