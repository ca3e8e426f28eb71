// The selection record's driver functions and the sealed PKCS#12 password: a record is made only
// whole, the pairs of a chosen folder entry are read byte for byte and a missing required part
// leaves no buffer, and the sealed password is never its own bytes and never keyed the same way
// twice.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/certlist.h"
#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"
#include "tests/harness/vectors.h"
#include "wizard/records/request_record.h"
#include "wizard/select/cert_list.h"
#include "wizard/select/sealed_password.h"

namespace fs = std::filesystem;

namespace {

using v7test::Bytes;

Bytes read_all(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::unique_ptr<RelayRequestRecord> request_with(const char *accepted) {
  std::unique_ptr<RelayRequestRecord> r(new RelayRequestRecord());
  memset(r.get(), 0, sizeof *r);
  snprintf(r->accepted_policies, sizeof r->accepted_policies, "%s", accepted);
  return r;
}

TEST(CertListDriver, CreateSetAndReset) {
  ERROR_CTX *errors = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
  auto request = request_with("1.2.410.200005.1.1.1;1.2.410.200005.1.1.5");
  EXPECT_EQ(CertListCreate(nullptr, request.get()), nullptr);
  EXPECT_EQ(CertListCreate(errors, nullptr), nullptr);
  CertListRecord *record = CertListCreate(errors, request.get());
  ASSERT_NE(record, nullptr);
  ASSERT_NE(record->list, nullptr);
  ASSERT_NE(record->list->policy_filter, nullptr);
  EXPECT_STREQ(record->list->policy_filter->text, "1.2.410.200005.1.1.1");
  ASSERT_NE(record->list->policy_filter->next, nullptr);
  EXPECT_STREQ(record->list->policy_filter->next->text, "1.2.410.200005.1.1.5");
  EXPECT_EQ(record->errors, errors);
  EXPECT_EQ(record->request, request.get());

  CERT_ENTRY entry = {};
  EXPECT_EQ(CertListSetEntries(nullptr, record), -1);
  EXPECT_EQ(CertListSetEntries(&entry, nullptr), -1);
  EXPECT_EQ(CertListSetEntries(&entry, record), 0);
  EXPECT_EQ(record->current, &entry);
  record->current = nullptr;
  CertListReset(record);  // nothing on show: nothing freed
  CertListReset(nullptr);
  CertListFree(record);
  free(errors);

  // An empty accepted list: no filter at all.
  ERROR_CTX other = {};
  auto open = request_with("");
  CertListRecord *unfiltered = CertListCreate(&other, open.get());
  ASSERT_NE(unfiltered, nullptr);
  EXPECT_EQ(unfiltered->list->policy_filter, nullptr);
  CertListFree(unfiltered);
}

class ReadPairs : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / (std::string("v7_select_pairs_") + V7_TEST_NAME + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    for (const char *name : {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"})
      fs::copy_file(v7test::fixtures_path(std::string("pki/") + name), folder_ / name,
                    fs::copy_options::overwrite_existing);
    errors_ = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
    request_ = request_with("");
    select_.reset(new CCertSelect(CertListCreate(errors_, request_.get()), errors_));
    ASSERT_NE(select_->record, nullptr);
    path_ = folder_.string();
    entry_.media_code = kMediumHardDisk;
    entry_.medium_data = const_cast<char *>(path_.c_str());
    select_->entry = &entry_;
  }
  void TearDown() override {
    select_.reset();
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  Bytes part(int which) const {
    const CertSelectBytes &b = select_->Buffer(which);
    return Bytes(b.data, b.data + b.length);
  }
  fs::path folder_;
  std::string path_;
  ERROR_CTX *errors_ = nullptr;
  std::unique_ptr<RelayRequestRecord> request_;
  std::unique_ptr<CCertSelect> select_;
  CERT_ENTRY entry_ = {};
};

TEST_F(ReadPairs, SigningPairAlone) {
  entry_.parts = kPartSignCert | kPartSignKey | kPartKmCert;  // no key-management key: no pair
  ASSERT_EQ(v7::select::read_selected_pairs(select_.get()), 0);
  EXPECT_EQ(part(kSelectSignCert), read_all(folder_ / "signCert.der"));
  EXPECT_EQ(part(kSelectSignKey), read_all(folder_ / "signPri.key"));
  EXPECT_TRUE(part(kSelectKmCert).empty());
  EXPECT_TRUE(part(kSelectKmKey).empty());
  EXPECT_TRUE(part(kSelectVidRandom).empty());
}

TEST_F(ReadPairs, BothPairs) {
  entry_.parts = kPartSignCert | kPartSignKey | kPartKmCert | kPartKmKey;
  ASSERT_EQ(v7::select::read_selected_pairs(select_.get()), 0);
  EXPECT_EQ(part(kSelectKmCert), read_all(folder_ / "kmCert.der"));
  EXPECT_EQ(part(kSelectKmKey), read_all(folder_ / "kmPri.key"));
}

TEST_F(ReadPairs, MissingRequiredPartLeavesNothing) {
  entry_.parts = kPartSignCert | kPartSignKey | kPartKmCert | kPartKmKey;
  fs::remove(folder_ / "kmPri.key");
  EXPECT_EQ(v7::select::read_selected_pairs(select_.get()), -1);
  for (int i = 0; i < kSelectBufferCount; ++i) EXPECT_TRUE(part(i).empty()) << i;
  // A second run after a good one empties what the first filled.
  entry_.parts = kPartSignCert | kPartSignKey;
  ASSERT_EQ(v7::select::read_selected_pairs(select_.get()), 0);
  fs::remove(folder_ / "signPri.key");
  EXPECT_EQ(v7::select::read_selected_pairs(select_.get()), -1);
  EXPECT_TRUE(part(kSelectSignCert).empty());
  EXPECT_EQ(v7::select::read_selected_pairs(nullptr), -1);
}

TEST(SealedPassword, RoundTripFreshKeysAndRefusals) {
  using namespace v7::select;
  const char text[] = "Fixture1!";
  SealedPassword a = {}, b = {};
  ASSERT_EQ(seal_password(text, &a), 0);
  ASSERT_EQ(seal_password(text, &b), 0);
  EXPECT_EQ(a.sealed_length, 16u);
  // Keys and IVs come fresh from the OS source: two seals of one text differ everywhere.
  EXPECT_NE(memcmp(a.key, b.key, 16), 0);
  EXPECT_NE(memcmp(a.iv, b.iv, 16), 0);
  EXPECT_NE(memcmp(a.sealed, b.sealed, a.sealed_length), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(a.sealed), a.sealed_length).find("Fixture"), std::string::npos);
  char out[128];
  ASSERT_EQ(unseal_password(&a, out, sizeof out), 0);
  EXPECT_STREQ(out, text);
  char tiny[4];
  EXPECT_EQ(unseal_password(&a, tiny, sizeof tiny), v7::kErrInsufficientBuffer);
  EXPECT_EQ(tiny[0], 0);
  // A tampered seal does not unseal into some other text silently.
  a.sealed[a.sealed_length - 1] ^= 0x55;
  EXPECT_NE(unseal_password(&a, out, sizeof out), 0);
  wipe_sealed_password(&a);
  EXPECT_EQ(a.sealed, nullptr);
  for (uint8_t k : a.key) EXPECT_EQ(k, 0);
  wipe_sealed_password(&b);
  wipe_sealed_password(nullptr);

  SealedPassword c = {};
  EXPECT_EQ(seal_password("", &c), v7::kErrInvalidParameter);
  EXPECT_EQ(seal_password(nullptr, &c), v7::kErrInvalidParameter);
  EXPECT_EQ(seal_password(std::string(128, 'x').c_str(), &c), v7::kErrInvalidParameter);
  EXPECT_EQ(c.sealed, nullptr);
  ASSERT_EQ(seal_password(std::string(127, 'x').c_str(), &c), 0);
  EXPECT_EQ(c.sealed_length, 128u);
  ASSERT_EQ(unseal_password(&c, out, sizeof out), 0);
  EXPECT_EQ(std::string(out), std::string(127, 'x'));
  wipe_sealed_password(&c);
  EXPECT_EQ(unseal_password(&c, out, sizeof out), v7::kErrInvalidParameter);
}

}  // namespace
