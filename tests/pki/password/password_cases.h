// The passwords of the rule table: text with its optional tail, ended by a terminator so that a
// zero byte inside ends it where a caller's buffer would.
#pragma once

#include <string>

#include "tests/harness/vectors.h"

namespace pwtest {

inline std::string password_of(const v7test::VectorCase &c) {
  v7test::Bytes bytes = c.bytes("text");
  if (c.has("more")) {
    const v7test::Bytes more = c.bytes("more");
    bytes.insert(bytes.end(), more.begin(), more.end());
  }
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace pwtest
