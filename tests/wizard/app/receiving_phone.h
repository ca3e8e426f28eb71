// The phone's side of a send, played by tools/phone's code on a thread of the test: it receives
// over the raw transport and keeps the code it shows, for the robot to type into the wizard.
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "tests/wizard/sheet/sheet_test_util.h"
#include "tools/phone/phone.h"

namespace sheettest {

class ReceivingPhone {
 public:
  explicit ReceivingPhone(int major) : major_(major) {}
  ~ReceivingPhone() { join(); }
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  void receive() {
    thread_ = std::thread([this] {
      session_ = stepstest::new_session(stepstest::recipient_mode(major_));
      phone::Link link;
      if (!phone::link_open(&link, kRelayTransportRaw, port("pair"), 30)) {
        result_.code = -98;
        return;
      }
      result_ = phone::run_recipient(session_.get(), &link, [this](const std::string &c) {
        std::lock_guard<std::mutex> hold(lock_);
        code_ = c;
      });
      phone::link_close(&link);
    });
  }
  std::string code() {
    std::lock_guard<std::mutex> hold(lock_);
    return code_;
  }
  phone::Result result_;
  relaytest::SessionPtr session_;

 private:
  int major_;
  std::mutex lock_;
  std::string code_;
  std::thread thread_;
};

}  // namespace sheettest
