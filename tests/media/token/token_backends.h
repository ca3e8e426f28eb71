// The two tokens the token tests run against: natively SoftHSM2 (each test initialises a token of
// its own under its own configuration folder, SOFTHSM2_CONF), and everywhere the test token of
// tests/modules/pkcs11, kept loaded for the whole test (its objects live while it is mapped) and
// reset at the start. The including target defines V7_TEST_TOKEN_FILE.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/module/module.h"
#include "tests/media/token/token_test_util.h"
#include "tests/modules/pkcs11/test_token_control.h"

namespace tokentest {

constexpr const char *kPin = "1234";
constexpr const char *kSoPin = "000000";

// Where the tests find their token, and how each test gets a fresh one.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual std::string path() = 0;
  virtual void start(const tokentest::TempDir &dir) = 0;
  virtual void stop() {}
};

#ifndef _WIN32
class SoftHsmBackend : public Backend {
 public:
  std::string path() override { return softhsm_path(); }
  void start(const TempDir &dir) override {
    ASSERT_EQ(0, softhsm_start(dir, kSoPin, kPin)) << "softhsm2-util --init-token failed";
  }
  void stop() override { unsetenv("SOFTHSM2_CONF"); }
};
#endif

// The test token keeps its objects while it stays mapped: the backend holds it loaded for the
// whole test and resets it at the start.
class TestTokenBackend : public Backend {
 public:
  std::string path() override { return V7_TEST_TOKEN_FILE; }
  void start(const tokentest::TempDir &) override {
    keeper_ = v7::module_load(path().c_str());
    ASSERT_NE(nullptr, keeper_) << path();
    auto reset = reinterpret_cast<V7TestTokenResetFn>(v7::module_symbol(keeper_, "V7TestToken_Reset"));
    ASSERT_NE(nullptr, reset);
    reset(kPin);
  }
  void stop() override {
    v7::module_close(keeper_);
    keeper_ = nullptr;
  }
  v7::LoadedModule *keeper() const { return keeper_; }

 private:
  v7::LoadedModule *keeper_ = nullptr;
};

inline Backend *make_backend(const std::string &name) {
#ifndef _WIN32
  if (name == "softhsm") return new SoftHsmBackend;
#endif
  return new TestTokenBackend;
}

}  // namespace tokentest
