#include <gtest/gtest.h>

#include "crypto/cipher/internal.h"
#include "tests/crypto/cipher/block16_test_util.h"

namespace {

const v7test::Block16Cipher kAria = {aria_set_key, aria_encrypt_block, aria_decrypt_block, kAriaScheduleSize};

TEST(Aria, KnownAnswers) { v7test::expect_known_answers(kAria, "aria.txt"); }

TEST(Aria, RefusesKeysOtherThan16_24Or32Bytes) {
  v7test::expect_refusals(kAria, {20, 0, 15, 17, 23, 25, 31, 33, 64});
}

// The 12- and 14-round schedules leave round keys unused; they must be written all the same.
TEST(Aria, ScheduleDependsOnTheKeyAlone) {
  for (size_t len : {16, 24, 32}) {
    SCOPED_TRACE(len);
    v7test::expect_schedule_written_completely(kAria, len);
  }
}

}  // namespace
