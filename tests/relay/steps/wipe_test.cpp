// The authorization code a recipient receives is wiped from every buffer it passed through before
// that buffer is freed, whether the step takes the code or refuses the record. The test links
// with free wrapped.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/harness/free_watch.h"
#include "tests/relay/steps/steps_test_util.h"

using namespace stepstest;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new StepsEnvironment);

Bytes take(uint8_t *p, size_t n) {
  Bytes b(p, p + n);
  free(p);
  return b;
}

TEST(RelayStepsWipe, AuthCodeRecordIsWipedBeforeItIsFreed) {
  const Bytes code(kCode, kCode + strlen(kCode));
  Bytes whole = relaytest::lv(code), overlong = whole;
  overlong[1]++;  // the code's length runs one byte past the record
  const struct {
    const char *what;
    Bytes body;
    int result;
  } cases[] = {
      {"a code the step takes", whole, 0},
      {"a code length past the record", overlong, -2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SessionPtr recipient = new_session(recipient_mode(2));
    ASSERT_TRUE(recipient);
    ASSERT_EQ(relay_session_set_id_text(kIdn, recipient.get()), 0);
    MiniRelay relay;
    uint8_t *out = nullptr;
    size_t n = 0;
    ASSERT_EQ(relay_step_hello(recipient.get(), &out, &n), 0);
    take(out, n);
    Bytes cert = relay.server_certificate(ver(2)), auth;
    ASSERT_EQ(relay_recipient_step1(recipient.get(), cert.data(), cert.size(), &out, &n), 0);
    ASSERT_TRUE(relay.take_recipient_key(take(out, n), &auth));
    auth = relay.seal(relaytest::record(5, ver(2), c.body), false);

    char *received = nullptr;
    freewatch::arm(code.data(), code.size());
    int result = relay_recipient_step2(recipient.get(), auth.data(), auth.size(), &received, &out, &n);
    int holding = freewatch::disarm();
    EXPECT_EQ(result, c.result);
    EXPECT_GT(freewatch::freed_blocks(), 0);
    EXPECT_EQ(holding, 0) << "a freed block still held the code";
    if (received != nullptr) {
      EXPECT_STREQ(received, kCode);
      memset(received, 0, code.size());
    }
    free(received);
    free(out);
  }
}

}  // namespace
