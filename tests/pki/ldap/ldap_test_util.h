// Helpers of the directory client's tests: files, scratch folders, re-encoding a decoded value.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "pki/asn1/asn1.h"
#include "platform/osver/os_version_query.h"
#include "tests/harness/vectors.h"

namespace ldaptest {

using v7test::Bytes;

inline Bytes read_file(const std::string &path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The DER of a decoded record; empty when it does not encode.
inline Bytes encode(const ASN1_TEMPLATE *tmpl, const void *record) {
  uint8_t *der = nullptr;
  size_t len = 0;
  if (der_encode_alloc(tmpl, record, &der, &len) == 0) return Bytes();
  Bytes out(der, der + len);
  std::free(der);
  return out;
}

// A fresh folder under the build's scratch folder, named for the running test.
inline std::string scratch_folder(const std::string &tag) {
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string folder = std::string(V7_LDAP_TEST_DIR) + "/" + tag + "-" +
                       std::to_string(std::rand() % 100000) + "-" + info->name();
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::u8path(folder), ec);
  std::filesystem::create_directories(std::filesystem::u8path(folder), ec);
  return folder;
}

inline void remove_folder(const std::string &folder) {
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::u8path(folder), ec);
}

inline bool answer_xp(OsVersionRecord *out) {
  *out = OsVersionRecord{2, 5, 1};
  return true;
}

}  // namespace ldaptest
