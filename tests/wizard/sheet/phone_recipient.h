// The phone's side of a send, played by tools/phone's code on a thread of the test: it shows the
// code the robot types into the wizard, takes the set over and keeps it in its session.
#pragma once

#include <winsock2.h>  // before any windows.h, which it brings in

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/relay/controller/fake_sheet.h"
#include "tests/relay/steps/steps_test_util.h"
#include "tools/phone/phone.h"

namespace sheettest {

// The phone as the recipient of a protocol major version (the kind), on its own thread from
// construction. has_code_ is also set when the phone fails before showing a code, so that a
// waiting robot stops at once; result_ then says where it failed.
class PhoneRecipient {
 public:
  PhoneRecipient(int kind, int transport) {
    thread_ = std::thread([this, kind, transport] {
      session_ = stepstest::new_session(stepstest::recipient_mode(kind));
      // Protocol 1.0 sends the holder's registration number, which the PC checks.
      if (relay_session_set_id_text(kind == 1 ? stepstest::kIdn : "", session_.get()) != 0) {
        stop(-99);
        return;
      }
      phone::Link link;
      const char *listener = transport == kRelayTransportHttp ? "pair_http" : "pair";
      if (!phone::link_open(&link, transport, controllertest::port(listener), 30)) {
        stop(-98);
        return;
      }
      result_ = phone::run_recipient(
          session_.get(), &link,
          [this](const std::string &c) {
            std::lock_guard<std::mutex> hold(lock_);
            code_ = c;
            has_code_ = true;
          },
          [](const std::string &) { return true; });
      phone::link_close(&link);
    });
  }
  ~PhoneRecipient() { join(); }
  PhoneRecipient(const PhoneRecipient &) = delete;
  PhoneRecipient &operator=(const PhoneRecipient &) = delete;

  void join() {
    if (thread_.joinable()) thread_.join();
  }
  std::string code() {
    std::lock_guard<std::mutex> hold(lock_);
    return code_;
  }

  std::atomic<bool> has_code_{false};
  phone::Result result_;
  relaytest::SessionPtr session_;

 private:
  void stop(int code) {
    result_.code = code;
    has_code_ = true;
  }

  std::mutex lock_;
  std::string code_;
  std::thread thread_;
};

using stepstest::key_opens;

}  // namespace sheettest
