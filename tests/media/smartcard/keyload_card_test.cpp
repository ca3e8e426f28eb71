// Loading a chosen card entry into key objects against the virtual card: the user's set is
// written with the store's own writes, then loaded back by each mode, with the VID random value
// taken from the card's own record only when the card lacks the presence record.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/certlist.h"
#include "media/keyload.h"
#include "media/selection_record.h"
#include "media/smartcard/smartcard.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "tests/media/smartcard/vcard_client.h"
#include "tests/pki/keys/keyobj/keyobj_test_util.h"

namespace {

using keyobjtest::Bytes;
using keyobjtest::fixture;

const char kPin[] = "1234";

// Both files with every record file and PIN 1234; the presence record when asked.
std::string card_image(bool presence) {
  std::string image = "pin 31323334\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n";
  if (presence) image += "record F3 6 1 700401000000\n";
  return image + "df F4\nef F4 3\nef F4 4\n";
}

int quiet_box(const char16_t *, const char16_t *, unsigned) { return 1; }

// A card list with its PIN and its one entry, as the card loader leaves them.
struct CardRecord {
  CardRecord() {
    record = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
    record->list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
    record->list->media_code = kMediumSmartCard;
    record->list->medium_data = strdup(kPin);
    record->errors = &errors;
    EXPECT_EQ(0, CertListSetPassword(record, keyobjtest::kPassword));
    entry = static_cast<CERT_ENTRY *>(calloc(1, sizeof(CERT_ENTRY)));
    entry->media_code = kMediumSmartCard;
    entry->medium_data = strdup(kPin);
  }
  ~CardRecord() {
    certentry_free(entry);
    CertListFree(record);
    err_ctx_clear(&errors);
  }
  CardRecord(const CardRecord &) = delete;
  CardRecord &operator=(const CardRecord &) = delete;

  std::vector<int> newest_codes() const {
    std::vector<int> out;
    if (errors.newest != nullptr)
      for (const ERROR_SUBNODE *s = errors.newest->first; s != nullptr; s = s->next) out.push_back(s->code);
    return out;
  }

  ERROR_CTX errors{};
  CertListRecord *record = nullptr;
  CERT_ENTRY *entry = nullptr;
};

Bytes buffer_of(const PRIVATE_KEY_CTX *key) {
  const uint8_t *b = key->ops->buffer(key);
  return b != nullptr ? Bytes(b, b + key->ops->buffer_length(key)) : Bytes();
}

Bytes cert_of(const PRIVATE_KEY_CTX *key) {
  const uint8_t *b = key->ops->certificate_der(key);
  return Bytes(b, b + key->ops->certificate_der_length(key));
}

class CardKeyLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(card_.ready()) << "no virtual card: V7_CARD_DIR must name the folder of a "
                                  "running tools/vcard (ctest's card_services fixture)";
    v7::set_message_box_hook_w(quiet_box);
    set_language_id(kLanguageEnglish);
    sc_forget_refused_pin();
  }
  void TearDown() override { v7::set_message_box_hook_w(nullptr); }

  // The user's set as the store writes it; km_cert replaces the key-management certificate.
  void write_set(bool presence, const Bytes &random, const Bytes *km_cert = nullptr) {
    ASSERT_EQ(card_.load(card_image(presence)), "ok");
    const Bytes sign_cert = fixture("signCert.der"), sign_key = fixture("signPri.key");
    const Bytes km = km_cert != nullptr ? *km_cert : fixture("kmCert.der"), km_key = fixture("kmPri.key");
    ASSERT_EQ(0, sc_write_cert(kPin, kScFileSign, sign_cert.data(), sign_cert.size())) << errno;
    ASSERT_EQ(0, sc_write_key(kPin, kScFileSign, sign_key.data(), sign_key.size())) << errno;
    ASSERT_EQ(0, sc_write_cert(kPin, kScFileKm, km.data(), km.size())) << errno;
    ASSERT_EQ(0, sc_write_key(kPin, kScFileKm, km_key.data(), km_key.size())) << errno;
    if (!random.empty()) {
      ASSERT_EQ(0, sc_write_random(kPin, random.data(), random.size())) << errno;
    }
  }

  v7test::VcardClient card_;
};

TEST_F(CardKeyLoad, EachModeLoadsItsPairAndTheRandomValueByTheProbe) {
  const Bytes card_random(20, 0xc3);
  struct Case {
    bool presence;
    int mode;
    const char *cert;
    Bytes random;  // expected in the object
  } cases[] = {
      // With the presence record the key file's own value stays.
      {true, kKeyLoadSignPair, "signCert.der", keyobjtest::user_random()},
      // Without it the card's record of kind 5 gives the value.
      {false, kKeyLoadSignPair, "signCert.der", card_random},
      {false, kKeyLoadKmPair, "kmCert.der", card_random},
      {true, kKeyLoadRequestPair, "kmCert.der", {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.presence) + "/" + std::to_string(c.mode));
    write_set(c.presence, card_random);
    CardRecord r;
    errno = -1;
    keyobjtest::Key key(keyload_read_pair(r.entry, r.record, c.mode, 0));
    ASSERT_NE(nullptr, key) << errno;
    EXPECT_EQ(0, errno);
    EXPECT_EQ(fixture(c.cert), cert_of(key.get()));
    if (c.mode != kKeyLoadRequestPair) {
      EXPECT_EQ(c.random, buffer_of(key.get()));
    }
    const Bytes data = {'c', 'a', 'r', 'd'};
    keyobjtest::OpResult s = keyobjtest::sign(key.get(), data, 5377);
    ASSERT_EQ(0, s.code);
    keyobjtest::Pub pub = keyobjtest::public_key(fixture(c.cert), PUBKEY_SOURCE_CERTIFICATE);
    EXPECT_EQ(0, keyobjtest::verify(pub.get(), data, s.out, 5377));
  }
}

TEST_F(CardKeyLoad, UnreadableRecordsGiveTheLoadersCodes) {
  const Bytes not_a_cert = {0x04, 0x03, 0x01, 0x02, 0x03};
  {
    SCOPED_TRACE("key-management certificate that does not decode");
    write_set(true, {}, &not_a_cert);
    CardRecord r;
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(r.entry, r.record, kKeyLoadKmPair, 0));
    EXPECT_EQ(v7::kErrCardLoadKey, errno);
    EXPECT_EQ(v7::kErrCardLoadKey, ReadKmPairForEntry(r.record, r.entry));
    // The signing pair is still there.
    keyobjtest::Key sign(keyload_read_pair(r.entry, r.record, kKeyLoadSignPair, 0));
    EXPECT_NE(nullptr, sign);
  }
  {
    SCOPED_TRACE("no random record on a card that needs one");
    write_set(false, {});
    CardRecord r;
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(r.entry, r.record, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrCardLoadRandom, errno);
    EXPECT_EQ(v7::kErrCardLoadRandom, r.newest_codes().at(0));
  }
  {
    // The card cannot say whether it keeps the value apart: no key comes without it.
    SCOPED_TRACE("presence record refused (6F 00)");
    write_set(true, {});
    CardRecord r;
    ASSERT_EQ(card_.command("refuse F3 6 6F00"), "ok");
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(r.entry, r.record, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrCardLoadRandom, errno);
    EXPECT_EQ((std::vector<int>{v7::kErrCardLoadRandom, v7::kErrCardRead}), r.newest_codes());
    ASSERT_EQ(card_.command("refuse F3 6 -"), "ok");
  }
  {
    // The card keeps values of up to 50 bytes; the key objects, like every other store, take no
    // more than their bound, and a longer value is refused rather than cut.
    SCOPED_TRACE("random value past the key objects' bound");
    write_set(false, Bytes(KEYOBJ_MAX_RANDOM + 1, 0x11));
    CardRecord r;
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(r.entry, r.record, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrVidRandomTooLong, errno);
    EXPECT_EQ(v7::kErrVidRandomTooLong, r.newest_codes().at(0));
  }
  {
    SCOPED_TRACE("empty card");
    ASSERT_EQ(card_.load(card_image(true)), "ok");
    CardRecord r;
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(r.entry, r.record, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrCardLoadCert, errno);
    auto codes = r.newest_codes();
    ASSERT_EQ(2u, codes.size()) << "the card's own code under the loader's";
    EXPECT_EQ(v7::kErrCardLoadCert, codes[0]);
    EXPECT_EQ(v7::kErrCardLoadCert, ReadKmPairForEntry(r.record, r.entry));
  }
  {
    SCOPED_TRACE("wrong password");
    write_set(true, {});
    CardRecord r;
    ASSERT_EQ(0, CertListSetPassword(r.record, "wrong-one"));
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(r.entry, r.record, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrKeyNotOpened, errno);
    EXPECT_EQ((std::vector<int>{v7::kErrKeyNotOpened, v7::kErrSymmetricDecrypt}), r.newest_codes());
  }
  {
    SCOPED_TRACE("list without a PIN");
    CardRecord r;
    free(r.record->list->medium_data);
    r.record->list->medium_data = nullptr;
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(r.entry, r.record, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrInvalidParameter, errno);
    EXPECT_EQ(v7::kErrInvalidParameter, ReadKmPairForEntry(r.record, r.entry));
  }
}

TEST_F(CardKeyLoad, KmPairCheckReadsTheCard) {
  write_set(true, {});
  CardRecord r;
  EXPECT_EQ(0, ReadKmPairForEntry(r.record, r.entry));
  EXPECT_EQ(nullptr, r.errors.newest);
}

}  // namespace
