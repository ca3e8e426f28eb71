// The sender's chosen set as the selection dialog leaves it, for the tests that send: the test
// user's four parts and password in a selection record.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "media/selection_record.h"
#include "tests/relay/steps/steps_test_util.h"

namespace controllertest {

inline uint8_t *heap_copy(const std::vector<uint8_t> &b) {
  auto *p = static_cast<uint8_t *>(malloc(b.size()));
  memcpy(p, b.data(), b.size());
  return p;
}

inline std::unique_ptr<CCertSelect> chosen_set() {
  auto *record = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
  auto *errors = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
  std::unique_ptr<CCertSelect> select(new CCertSelect(record, errors));
  EXPECT_EQ(CertListSetPassword(record, stepstest::kPassword), 0);
  const std::pair<int, const char *> parts[] = {{kSelectSignCert, "pki/signCert.der"},
                                                {kSelectSignKey, "pki/signPri.key"},
                                                {kSelectKmCert, "pki/kmCert.der"},
                                                {kSelectKmKey, "pki/kmPri.key"}};
  for (auto part : parts) {
    std::vector<uint8_t> b = asn1test::read_fixture(part.second);
    EXPECT_EQ(select->TakeBuffer(part.first, heap_copy(b), b.size()), 0);
  }
  return select;
}

}  // namespace controllertest
