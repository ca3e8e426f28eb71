// Loading a chosen folder entry and soft keys into key objects: the files each load mode reads,
// the wrong-password text in each language and encoding, the codes of missing parts and media,
// and the key-management check. The objects are proven by signing with them and verifying
// against the certificate they carry.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/certlist.h"
#include "media/keyload.h"
#include "media/selection_record.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "pki/text/codepage.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/media/token/token_test_util.h"
#include "tests/pki/keys/keyobj/keyobj_test_util.h"

namespace {

using keyobjtest::Bytes;
using keyobjtest::fixture;

constexpr int kSha256WithRsa = 5377;

// A record as the selection dialog holds it, with its own error context.
struct Record {
  Record() {
    record = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
    record->list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
    record->errors = &errors;
    EXPECT_EQ(0, CertListSetPassword(record, keyobjtest::kPassword));
  }
  ~Record() {
    CertListFree(record);
    err_ctx_clear(&errors);
  }
  Record(const Record &) = delete;
  Record &operator=(const Record &) = delete;

  // The codes and details of the newest error node, in order.
  std::vector<std::pair<int, std::string>> newest() const {
    std::vector<std::pair<int, std::string>> out;
    if (errors.newest == nullptr) return out;
    for (const ERROR_SUBNODE *s = errors.newest->first; s != nullptr; s = s->next)
      out.emplace_back(s->code, s->detail != nullptr ? s->detail : "");
    return out;
  }

  ERROR_CTX errors{};
  CertListRecord *record = nullptr;
};

struct EntryDeleter {
  void operator()(CERT_ENTRY *e) const { certentry_free(e); }
};
using Entry = std::unique_ptr<CERT_ENTRY, EntryDeleter>;

Entry folder_entry(uint32_t media_code, const std::string &folder) {
  auto *e = static_cast<CERT_ENTRY *>(calloc(1, sizeof(CERT_ENTRY)));
  e->media_code = media_code;
  e->medium_data = folder.empty() ? nullptr : strdup(folder.c_str());
  return Entry(e);
}

// A holder folder with the user's four files (any of them left out by name).
struct Holder {
  explicit Holder(const std::vector<std::string> &leave_out = {}) {
    const std::pair<const char *, const char *> files[] = {
        {"signCert.der", "signCert.der"}, {"signPri.key", "signPri.key"},
        {"kmCert.der", "kmCert.der"},     {"kmPri.key", "kmPri.key"}};
    for (const auto &f : files) {
      if (std::find(leave_out.begin(), leave_out.end(), f.first) != leave_out.end()) continue;
      const Bytes b = fixture(f.second);
      tokentest::write_file(dir.file(f.first), std::string(b.begin(), b.end()));
    }
  }
  std::string path() const { return dir.path().string(); }
  tokentest::TempDir dir{"keyload"};
};

// The object signs, and the signature verifies under the certificate it carries.
void expect_proves_pair(PRIVATE_KEY_CTX *key, const Bytes &cert) {
  ASSERT_NE(nullptr, key);
  ASSERT_EQ(cert.size(), key->ops->certificate_der_length(key));
  EXPECT_EQ(cert, Bytes(key->ops->certificate_der(key), key->ops->certificate_der(key) + cert.size()));
  const Bytes data = {'l', 'o', 'a', 'd'};
  keyobjtest::OpResult signed_ = keyobjtest::sign(key, data, kSha256WithRsa);
  ASSERT_EQ(0, signed_.code);
  keyobjtest::Pub pub = keyobjtest::public_key(cert, PUBKEY_SOURCE_CERTIFICATE);
  EXPECT_EQ(0, keyobjtest::verify(pub.get(), data, signed_.out, kSha256WithRsa));
}

Bytes buffer_of(const PRIVATE_KEY_CTX *key) {
  const uint8_t *b = key->ops->buffer(key);
  return b != nullptr ? Bytes(b, b + key->ops->buffer_length(key)) : Bytes();
}

TEST(KeyLoad, FolderEntryLoadsThePairOfEachMode) {
  Holder holder;
  struct Case {
    uint32_t media;
    int mode;
    const char *cert;
  } cases[] = {
      {kMediumHardDisk, kKeyLoadSignPair, "signCert.der"},
      {kMediumHardDisk, kKeyLoadKmPair, "kmCert.der"},
      // A request's own pair on a folder is its key-management pair.
      {kMediumHardDisk, kKeyLoadRequestPair, "kmCert.der"},
      {kMediumRemovable, kKeyLoadSignPair, "signCert.der"},
      {kMediumRemovable, kKeyLoadRequestPair, "kmCert.der"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.media) + "/" + std::to_string(c.mode));
    Record r;
    Entry e = folder_entry(c.media, holder.path());
    errno = -1;
    keyobjtest::Key key(keyload_read_pair(e.get(), r.record, c.mode, 0));
    EXPECT_EQ(0, errno);
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(KEYOBJ_KIND_FILE, key->kind);
    expect_proves_pair(key.get(), fixture(c.cert));
    EXPECT_EQ(nullptr, r.errors.newest) << "nothing pushed on success";
  }
}

TEST(KeyLoad, WrongPasswordGivesTheTextOfTheLanguageAndEncoding) {
  Holder holder;
  const uint16_t old_language = language_id();
  const int old_mode = char_encoding_mode();
  struct Case {
    uint16_t language;
    int encoding;
    std::string expected_utf8;  // the text as UTF-8; EUC-KR results are converted back first
  } cases[] = {
      {kLanguageEnglish, 0,
       "The certificate password is not correct.\r\n[ The certificate password is distinguished between "
       "lowercase and uppercase letters.]"},
      {kLanguageKorean, kCharEncodingUtf8, "인증서 암호가 맞지 않음\r\n[ 인증서 암호는 대소문자를 구별합니다.]"},
      // The EUC-KR form lacks the space after the bracket.
      {kLanguageKorean, 0, "인증서 암호가 맞지 않음\r\n[인증서 암호는 대소문자를 구별합니다.]"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.expected_utf8);
    set_language_id(c.language);
    set_char_encoding_mode(c.encoding);
    Record r;
    ASSERT_EQ(0, CertListSetPassword(r.record, "fixture1!"));  // the case differs
    Entry e = folder_entry(kMediumHardDisk, holder.path());
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(e.get(), r.record, kKeyLoadSignPair, 0));
    EXPECT_EQ(v7::kErrKeyNotOpened, errno);
    auto newest = r.newest();
    ASSERT_EQ(2u, newest.size());
    EXPECT_EQ(v7::kErrKeyNotOpened, newest[0].first);
    EXPECT_EQ(v7::kErrSymmetricDecrypt, newest[1].first);
    std::string text = newest[1].second;
    if (c.language == kLanguageKorean && c.encoding != kCharEncodingUtf8) {
      char *utf8 = nullptr;
      ASSERT_NE(0u, euckr_to_utf8(text.c_str(), &utf8));
      text = utf8;
      free(utf8);
    }
    EXPECT_EQ(c.expected_utf8, text);
  }
  set_language_id(old_language);
  set_char_encoding_mode(old_mode);
}

TEST(KeyLoad, RefusalsPushTheirCodes) {
  Holder holder({"kmPri.key"});
  struct Case {
    const char *name;
    uint32_t media;
    std::string folder;
    int mode;
    int code;
    std::string detail_suffix;  // of the pushed entry's detail
  } cases[] = {
      {"no folder text", kMediumHardDisk, "", kKeyLoadSignPair, v7::kErrInvalidParameter, ""},
      {"missing key file", kMediumHardDisk, holder.path(), kKeyLoadKmPair, v7::kErrFileNotFound, "\\kmPri.key"},
      {"folder gone", kMediumRemovable, holder.path() + "/gone", kKeyLoadSignPair, v7::kErrFileNotFound,
       "\\signPri.key"},
      {"unknown mode", kMediumHardDisk, holder.path(), 4, v7::kErrInvalidParameter, ""},
      {"phone medium", kMediumPhone, "", kKeyLoadSignPair, v7::kErrNoPartReader, ""},
      {"memory medium", kMediumMemory, "", kKeyLoadSignPair, v7::kErrNoPartReader, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Record r;
    Entry e = folder_entry(c.media, c.folder);
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(e.get(), r.record, c.mode, 0));
    EXPECT_EQ(c.code, errno);
    auto newest = r.newest();
    ASSERT_FALSE(newest.empty());
    EXPECT_EQ(c.code, newest[0].first);
    const std::string &detail = newest[0].second;
    EXPECT_TRUE(detail.size() >= c.detail_suffix.size() &&
                detail.compare(detail.size() - c.detail_suffix.size(), std::string::npos, c.detail_suffix) == 0)
        << detail;
  }
  errno = 0;
  EXPECT_EQ(nullptr, keyload_read_pair(nullptr, nullptr, kKeyLoadSignPair, 0));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  Record r;
  EXPECT_EQ(nullptr, keyload_read_pair(nullptr, r.record, kKeyLoadSignPair, 0));
  EXPECT_EQ(v7::kErrInvalidParameter, r.newest().at(0).first);
}

TEST(KeyLoad, SoftKeyWithPasswordAndWithRandom) {
  Record r;
  const Bytes cert = fixture("signCert.der"), key = fixture("signPri.key");
  keyobjtest::Key opened(LoadSoftKeyWithPassword(r.record, cert.data(), cert.size(), key.data(), key.size()));
  expect_proves_pair(opened.get(), cert);
  EXPECT_EQ(keyobjtest::user_random(), buffer_of(opened.get())) << "the key file's own VID random value";

  const Bytes rsa = keyobjtest::rsa_private_der("user_sign_plain.der");
  const Bytes random(20, 0x5a);
  keyobjtest::Key plain(
      LoadSoftKeyWithRandom(r.record, cert.data(), cert.size(), rsa.data(), rsa.size(), random.data(), random.size()));
  expect_proves_pair(plain.get(), cert);
  EXPECT_EQ(random, buffer_of(plain.get()));

  // A value past the key objects' bound is refused, never cut.
  const Bytes too_long(KEYOBJ_MAX_RANDOM + 1, 1);
  errno = 0;
  EXPECT_EQ(nullptr, LoadSoftKeyWithRandom(r.record, cert.data(), cert.size(), rsa.data(), rsa.size(),
                                           too_long.data(), too_long.size()));
  EXPECT_EQ(v7::kErrVidRandomTooLong, errno);
  EXPECT_EQ(v7::kErrVidRandomTooLong, r.newest().at(0).first);

  // A certificate that does not decode: the key opened, yet nothing is handed back.
  const Bytes garbage = {0x30, 0x03, 0x02, 0x01};
  errno = 0;
  EXPECT_EQ(nullptr, LoadSoftKeyWithPassword(r.record, garbage.data(), garbage.size(), key.data(), key.size()));
  EXPECT_NE(0, errno);
  errno = 0;
  EXPECT_EQ(nullptr, LoadSoftKeyWithPassword(nullptr, cert.data(), cert.size(), key.data(), key.size()));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
}

TEST(KeyLoad, KmPairCheckOfFolderEntries) {
  Holder complete, without_km({"kmCert.der"});
  Record r;
  Entry ok = folder_entry(kMediumHardDisk, complete.path());
  EXPECT_EQ(0, ReadKmPairForEntry(r.record, ok.get()));
  EXPECT_EQ(nullptr, r.errors.newest);

  Entry missing = folder_entry(kMediumRemovable, without_km.path());
  errno = 0;
  EXPECT_EQ(v7::kErrFileNotFound, ReadKmPairForEntry(r.record, missing.get()));
  EXPECT_EQ(v7::kErrFileNotFound, errno);
  ASSERT_EQ(1u, r.newest().size());
  EXPECT_EQ(without_km.path() + "/kmCert.der", r.newest()[0].second);

  Entry token = folder_entry(kMediumToken, "");
  EXPECT_EQ(v7::kErrNoPartReader, ReadKmPairForEntry(r.record, token.get()));
  EXPECT_EQ(v7::kErrInvalidParameter, ReadKmPairForEntry(r.record, nullptr));
}

}  // namespace
