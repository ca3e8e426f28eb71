// The keyboard-security wrapper's decisions, without a window: words, initialisation steps, the
// read request's bytes, the checks on the module's output, the window lists and the texts.

#include "wizard/keycrypt/keycrypt_rules.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace v7::keycrypt;

namespace {

TEST(KeyCryptRules, WordsIgnoreAsciiCaseOnly) {
  const struct {
    const char16_t *word;
    KeyCryptPolicy policy;
    bool sofo;
  } cases[] = {
      {u"MUST_USE", KeyCryptPolicy::kMustUse, false},
      {u"must_use", KeyCryptPolicy::kMustUse, false},
      {u"Must_Not_Use", KeyCryptPolicy::kMustNotUse, false},
      {u"try_USING", KeyCryptPolicy::kTryUsing, false},
      {u"MUST_USE ", KeyCryptPolicy::kOther, false},
      {u"MUST", KeyCryptPolicy::kOther, false},
      {u"", KeyCryptPolicy::kOther, false},
      {u"SOFO_V1", KeyCryptPolicy::kOther, true},
      {u"sofo_v1", KeyCryptPolicy::kOther, true},
      {u"SOFO_V2", KeyCryptPolicy::kOther, false},
      {u"SOFO_V1\u0131", KeyCryptPolicy::kOther, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(&c - cases);
    EXPECT_EQ(parse_policy(c.word), c.policy);
    EXPECT_EQ(is_sofo_module_word(c.word), c.sofo);
  }
}

TEST(KeyCryptRules, InitialisationSteps) {
  using P = KeyCryptPolicy;
  using F = KeyCryptFirstStep;
  using A = KeyCryptAfterModule;
  const struct {
    P policy;
    bool sofo;
    F first;
    A after_success, after_failure;
  } cases[] = {
      {P::kMustNotUse, true, F::kPlainText, A::kReady, A::kFail},
      {P::kMustNotUse, false, F::kPlainText, A::kReady, A::kFail},
      {P::kMustUse, false, F::kRefuseModule, A::kReady, A::kFailWithCode},
      {P::kMustUse, true, F::kTryModule, A::kReady, A::kFailWithCode},
      {P::kTryUsing, true, F::kTryModule, A::kReady, A::kFallBackPlain},
      {P::kTryUsing, false, F::kRefuseModule, A::kReady, A::kFallBackPlain},
      {P::kOther, true, F::kTryModule, A::kReady, A::kFail},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(int(c.policy) * 10 + int(c.sofo));
    EXPECT_EQ(first_init_step(c.policy, c.sofo), c.first);
    EXPECT_EQ(after_module_step(c.policy, 0), c.after_success);
    EXPECT_EQ(after_module_step(c.policy, -1), c.after_failure);
  }
}

TEST(KeyCryptRules, ReadRequestIsTheBlockWithAddressAndCount) {
  uint8_t block[kCKAppBlockSize], request[kCKAppBlockSize];
  for (size_t i = 0; i < sizeof block; ++i) block[i] = uint8_t(i * 7 + 1);
  build_read_request(request, block, 0x12345678u, 128);
  EXPECT_EQ(0, std::memcmp(request, block, 252));
  const uint8_t tail[8] = {0x78, 0x56, 0x34, 0x12, 0x80, 0x00, 0x00, 0x00};
  EXPECT_EQ(0, std::memcmp(request + 252, tail, sizeof tail));
}

TEST(KeyCryptRules, ModuleOutputMustBeTerminatedInsideTheBuffer) {
  uint8_t output[kCKAppOutputSize];
  std::memset(output, 'a', sizeof output);
  EXPECT_EQ(module_output_length(output), -1);
  output[127] = 0;
  EXPECT_EQ(module_output_length(output), 127);
  output[0] = 0;
  EXPECT_EQ(module_output_length(output), 0);
}

TEST(KeyCryptRules, TextsThatDoNotFitAreRefused) {
  const struct {
    size_t length, count;
    bool fits;
  } cases[] = {{0, 0, false}, {0, 1, true}, {1, 1, false}, {127, 128, true}, {128, 128, false}, {5, 4, false}};
  for (const auto &c : cases) EXPECT_EQ(wide_text_fits(c.length, c.count), c.fits) << c.length << "/" << c.count;
}

TEST(KeyCryptRules, WindowListsKeepOrderAndNeverDouble) {
  int a, b, c;
  HandleList active, suspended;
  EXPECT_TRUE(add_protected_window(active, {&a, 1}));
  EXPECT_TRUE(add_protected_window(active, {&b, 2}));
  EXPECT_TRUE(add_protected_window(active, {&c, 1}));
  EXPECT_FALSE(add_protected_window(active, {&a, 1}));
  EXPECT_TRUE(add_protected_window(active, {&a, 2}));

  // Suspend of thread 1, then a resume that protects the windows again before moving them back.
  move_thread_windows(active, suspended, 1);
  EXPECT_EQ(active, (HandleList{{&b, 2}, {&a, 2}}));
  EXPECT_EQ(suspended, (HandleList{{&a, 1}, {&c, 1}}));
  add_protected_window(active, {&a, 1});
  add_protected_window(active, {&c, 1});
  move_thread_windows(suspended, active, 1);
  EXPECT_EQ(active, (HandleList{{&b, 2}, {&a, 2}, {&a, 1}, {&c, 1}}));
  EXPECT_TRUE(suspended.empty());

  remove_thread_windows(active, 2);
  EXPECT_EQ(active, (HandleList{{&a, 1}, {&c, 1}}));
}

TEST(KeyCryptRules, LoadFailureTexts) {
  EXPECT_EQ(load_failure_message(true, true),
            u"CKApp.dll을 로딩할 수 없습니다.\r\n키보드 보안 프로그램을 재설치하시기 바랍니다.\r\n"
            u"자세한 사항은 사이트 관리자에게 문의하시기 바랍니다.");
  EXPECT_EQ(load_failure_message(true, false),
            u"CKApp.dll can not be loaded.\r\nPlease reinstall keyboard security program.\r\n"
            u"If you need more information, please contact the website administrator.");
  EXPECT_EQ(load_failure_message(false, false), load_failure_text(false));
  EXPECT_EQ(load_failure_message(false, true), load_failure_text(true));
}

}  // namespace
