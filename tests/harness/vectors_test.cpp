#include <gtest/gtest.h>

#include <string>

#include "tests/harness/vectors.h"

namespace {

bool reported(const std::string &key) {
  for (const std::string &unread : v7test::unread_vector_keys()) {
    if (unread == "harness_keys.txt:2: no test reads the key '" + key + "'") return true;
  }
  return false;
}

TEST(VectorHarness, ReportsAKeyNoTestReads) {
  auto cases = v7test::load_vectors("harness_keys.txt");
  ASSERT_EQ(cases.size(), 1u);
  EXPECT_EQ(cases[0].bytes("read"), v7test::Bytes{1});
  EXPECT_FALSE(reported("read"));
  EXPECT_TRUE(reported("spare")) << "a misspelt optional key would pass unseen";
  // Asking whether a key is there counts as looking at it.
  EXPECT_TRUE(cases[0].has("spare"));
  EXPECT_FALSE(reported("spare"));
}

}  // namespace
