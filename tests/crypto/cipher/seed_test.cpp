#include <gtest/gtest.h>

#include "crypto/cipher/internal.h"
#include "tests/crypto/cipher/block16_test_util.h"

namespace {

const v7test::Block16Cipher kSeed = {seed_set_key, seed_encrypt_block, seed_decrypt_block, kSeedScheduleSize};

TEST(Seed, KnownAnswers) { v7test::expect_known_answers(kSeed, "seed.txt"); }

TEST(Seed, RefusesKeysOtherThan16Bytes) { v7test::expect_refusals(kSeed, {15, 0, 17, 24, 32}); }

TEST(Seed, ScheduleDependsOnTheKeyAlone) { v7test::expect_schedule_written_completely(kSeed, 16); }

}  // namespace
