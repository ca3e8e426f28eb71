// The phone's side of a receive, played by tools/phone's code on a thread of the test: it sends
// the test user's set with the code the robot read off the wizard.
#pragma once

#include <string>
#include <thread>

#include "tests/wizard/sheet/sheet_test_util.h"
#include "tools/phone/phone.h"

namespace sheettest {

// A phone session on its own thread, sending the test user's set with the code it is given.
class Phone {
 public:
  // The fixtures of the certificates the phone sends (on the test user's keys).
  explicit Phone(int kind, int transport, const char *sign_cert = "pki/signCert.der",
                 const char *km_cert = "pki/kmCert.der")
      : kind_(kind), transport_(transport), sign_cert_(sign_cert), km_cert_(km_cert) {}
  ~Phone() { join(); }
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  void send(const std::string &code) {
    thread_ = std::thread([this, code] {
      session_ = stepstest::new_session(stepstest::sender_mode(kind_));
      const Bytes cert = asn1test::read_fixture(sign_cert_), key = asn1test::read_fixture("pki/signPri.key");
      const Bytes km_cert = asn1test::read_fixture(km_cert_), km_key = asn1test::read_fixture("pki/kmPri.key");
      if (relay_load_sign_pair(stepstest::kPassword, session_.get(), cert.data(), cert.size(), key.data(), key.size(),
                               nullptr, 0, nullptr) != 0 ||
          relay_load_km_pair(stepstest::kPassword, session_.get(), km_cert.data(), km_cert.size(), km_key.data(),
                             km_key.size(), nullptr) != 0) {
        result_.code = -99;
        return;
      }
      phone::Link link;
      if (!phone::link_open(&link, transport_, port(transport_ == kRelayTransportHttp ? "pair_http" : "pair"), 30)) {
        result_.code = -98;
        return;
      }
      result_ = phone::run_sender(session_.get(), &link, code);
      phone::link_close(&link);
    });
  }
  phone::Result result_;
  relaytest::SessionPtr session_;

 private:
  int kind_, transport_;
  const char *sign_cert_, *km_cert_;
  std::thread thread_;
};
}  // namespace sheettest
