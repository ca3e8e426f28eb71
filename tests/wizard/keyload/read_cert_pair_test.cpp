// What the request's forced medium asks of the key loading, and the selection dialog's call that
// reads it from the record.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "media/certlist.h"
#include "media/selection_record.h"
#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"
#include "wizard/keyload/read_cert_pair.h"
#include "wizard/records/request_record.h"

namespace {

TEST(ReadCertPair, ForcedMediumGivesTheFlags) {
  struct Case {
    uint32_t forced;
    unsigned flags;
  } cases[] = {
      {kForcedMediumNone, 0},
      {kForcedMediumHardDisk, 0},
      {kForcedMediumSecureDiskNoPw, kKeyLoadNoPassword | kKeyLoadBindOnly},
      {kForcedMediumEmptyList7, 0},
      {kForcedMediumEmptyList8, kKeyLoadBindOnly},
      {kForcedMediumKmCheck9, 0},
  };
  RelayRequestRecord *request = static_cast<RelayRequestRecord *>(calloc(1, sizeof(RelayRequestRecord)));
  for (const Case &c : cases) {
    request->forced_medium = c.forced;
    EXPECT_EQ(c.flags, keyload_flags_of(request)) << c.forced;
  }
  EXPECT_EQ(0u, keyload_flags_of(nullptr));
  free(request);
}

TEST(ReadCertPair, RefusalsComeFromTheLoading) {
  errno = 0;
  EXPECT_EQ(nullptr, ReadCertPairFromFolder(nullptr, nullptr, kKeyLoadSignPair));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);

  ERROR_CTX errors{};
  CertListRecord *record = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
  record->list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
  record->errors = &errors;
  CERT_ENTRY entry{};
  entry.media_code = kMediumPhone;
  errno = 0;
  EXPECT_EQ(nullptr, ReadCertPairFromFolder(&entry, record, kKeyLoadSignPair));
  EXPECT_EQ(v7::kErrNoPartReader, errno);
  ASSERT_NE(nullptr, errors.newest);
  EXPECT_EQ(v7::kErrNoPartReader, errors.newest->first->code);
  CertListFree(record);
  err_ctx_clear(&errors);
}

}  // namespace
