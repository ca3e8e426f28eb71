// Fixtures and small helpers of the signed-data and identity tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "pki/asn1/asn1_owned.h"
#include "pki/errors/error_ctx.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace cmstest {

using asn1test::Bytes;

// The test PKI's user (tests/fixtures/pki/README.md).
constexpr const char *kUserIdn = "8001011234567";
constexpr const char *kUserRandomHex = "5a3c1e07b2f49d68a1c0e3f5b7d9021436587a9c";

inline Bytes pki_file(const std::string &name) { return asn1test::read_fixture("pki/" + name); }

// An error context that clears itself, with the newest entry's code and detail.
struct ErrorContext {
  ERROR_CTX ctx{};
  ~ErrorContext() { err_ctx_clear(&ctx); }
  int newest_code() const { return ctx.newest && ctx.newest->first ? ctx.newest->first->code : 0; }
  std::string newest_detail() const {
    const char *d = ctx.newest && ctx.newest->first ? ctx.newest->first->detail : nullptr;
    return d ? d : "";
  }
};

}  // namespace cmstest
