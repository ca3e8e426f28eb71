// Whole transfers through the controller and its worker, against the test relay server, with the
// phone's side played by tools/phone's code on a thread of the test: the exact messages the sheet
// gets, the confirmation after the subject name, and the hand-over of the received set.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "media/registry_settings.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version_query.h"
#include "platform/ui/message_box.h"
#include "tests/relay/controller/chosen_set.h"
#include "tests/relay/controller/fake_sheet.h"
#include "tests/relay/controller/relayd_seams.h"
#include "tests/relay/relayd_client.h"
#include "tests/relay/steps/steps_test_util.h"
#include "tools/phone/phone.h"
#include "media/selection_record.h"

using controllertest::Bytes;
using controllertest::chosen_set;
using controllertest::FakeSheet;
using controllertest::port;
using controllertest::Posted;

namespace {

constexpr RelayModeWord kSender3 = 0x80000003u;
constexpr RelayModeWord kRecipient3 = 0x88000003u;
constexpr char kSubject[] = "cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR";

// A phone session on its own thread, over its own connection to the pairing listener.
class Phone {
 public:
  ~Phone() { join(); }
  void join() {
    if (thread_.joinable()) thread_.join();
  }

  void receive() {
    thread_ = std::thread([this] {
      session_ = stepstest::new_session(stepstest::recipient_mode(3));
      ASSERT_EQ(relay_session_set_id_text("", session_.get()), 0);
      phone::Link link;
      ASSERT_TRUE(phone::link_open(&link, kRelayTransportRaw, port("pair"), 30));
      result_ = phone::run_recipient(
          session_.get(), &link, [this](const std::string &c) { code_ = c, has_code_ = true; },
          [](const std::string &) { return true; });
      phone::link_close(&link);
      done_ = true;
    });
  }
  void send(const std::string &code) {
    thread_ = std::thread([this, code] {
      session_ = stepstest::new_session(stepstest::sender_mode(3));
      ASSERT_TRUE(stepstest::load_pairs(session_.get(), true));
      phone::Link link;
      ASSERT_TRUE(phone::link_open(&link, kRelayTransportRaw, port("pair"), 30));
      result_ = phone::run_sender(session_.get(), &link, code);
      phone::link_close(&link);
      done_ = true;
    });
  }

  std::atomic<bool> has_code_{false}, done_{false};
  std::string code_;
  phone::Result result_;
  relaytest::SessionPtr session_;

 private:
  std::thread thread_;
};

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(port("pair"), 0) << "no relayd ports file (V7_RELAYD_PORTS)";
    set_language_id(9);
    v7::set_message_box_hook([](const char *, const char *, unsigned) { return 1; });
    controllertest::use_test_relayd();
  }
  void TearDown() override {
    controllertest::release_test_relayd();
    v7::set_message_box_hook(nullptr);
  }
};

TEST_F(TransferTest, AWholeSendPostsEachStepThenDone) {
  for (uint32_t flags : {1u, 2u}) {
    SCOPED_TRACE(flags == 2 ? "HTTP" : "raw");
    Phone phone;
    phone.receive();
    FakeSheet sheet;
    ASSERT_TRUE(sheet.pump_until([&] { return phone.has_code_.load(); }, 20000));
    auto select = chosen_set();
    CCertRelayThread ctl;
    ASSERT_EQ(ctl.Connect(kSender3, flags, select.get(), phone.code_.c_str(), "NewPass1!"), 0);
    EXPECT_EQ(ctl.TransportKind(), int(flags));
    ASSERT_EQ(ctl.StartWorker(sheet.hwnd()), 0);
    ASSERT_TRUE(sheet.pump_until_stop(30000));
    EXPECT_EQ(sheet.log, (std::vector<Posted>{{WM_RELAY_SEND_STEP1, ""},
                                              {WM_RELAY_SEND_STEP2, ""},
                                              {WM_RELAY_SEND_STEP3, ""},
                                              {WM_RELAY_SEND_DONE, ""},
                                              {WM_RELAY_STOP, ""}}));
    EXPECT_EQ(ctl.WorkerResult(), 0);
    phone.join();
    EXPECT_EQ(phone.result_.code, 0) << phone.result_.where << ": " << phone.result_.text;
    EXPECT_EQ(stepstest::kept(phone.session_.get(), kRelayItemSignCert),
              asn1test::read_fixture("pki/signCert.der"));
    EXPECT_EQ(stepstest::kept(phone.session_.get(), kRelayItemKmCert),
              asn1test::read_fixture("pki/kmCert.der"));
  }
}

std::string narrow(const wchar_t *w) {
  std::string out;
  for (; *w != 0; w++) out += *w < 0x80 ? char(*w) : '?';
  return out;
}

// The sender's pairs are read before anything is connected; each missing part has its own text.
TEST_F(TransferTest, ASenderSetThatCannotBeReadIsRefusedBeforeConnecting) {
  CCertRelayThread ctl;
  auto no_sign_key = chosen_set();
  no_sign_key->TakeBuffer(kSelectSignKey, nullptr, 0);
  EXPECT_EQ(ctl.Connect(kSender3, 1, no_sign_key.get(), "123456789012", nullptr), -1);
  EXPECT_EQ(narrow(ctl.ErrorText()), "Failed to read sign-purpose certificate and key");
  auto no_km_key = chosen_set();
  no_km_key->TakeBuffer(kSelectKmKey, nullptr, 0);
  EXPECT_EQ(ctl.Connect(kSender3, 1, no_km_key.get(), "123456789012", nullptr), -1);
  EXPECT_EQ(narrow(ctl.ErrorText()), "Failed to read encryption-purpose certificate and key");
  auto wrong_password = chosen_set();
  ASSERT_EQ(CertListSetPassword(wrong_password->record, "Wrong1!"), 0);
  EXPECT_EQ(ctl.Connect(kSender3, 1, wrong_password.get(), "123456789012", nullptr), -1);
  EXPECT_NE(narrow(ctl.ErrorText()).find("Failed to transfer the certificate."), std::string::npos)
      << narrow(ctl.ErrorText());
  FakeSheet sheet;
  EXPECT_EQ(ctl.StartWorker(sheet.hwnd()), -1);
}

TEST_F(TransferTest, ASendWithAWrongCodeReportsTheRelayServersAlert) {
  FakeSheet sheet;
  auto select = chosen_set();
  CCertRelayThread ctl;
  ASSERT_EQ(ctl.Connect(kSender3, 1, select.get(), "000000000000", nullptr), 0);
  ASSERT_EQ(ctl.StartWorker(sheet.hwnd()), 0);
  ASSERT_TRUE(sheet.pump_until_stop(30000));
  ASSERT_EQ(sheet.log.size(), 3u);
  EXPECT_EQ(sheet.log[0], (Posted{WM_RELAY_SEND_STEP1, ""}));
  EXPECT_EQ(sheet.log[1].message, unsigned(WM_RELAY_ERROR));
  EXPECT_NE(sheet.log[1].text.find("Authorization code is not correct."), std::string::npos)
      << sheet.log[1].text;
  EXPECT_EQ(sheet.log[2], (Posted{WM_RELAY_STOP, ""}));
}

// How the sheet answers the subject-name page and the arriving record.
enum class Answer { Confirm, StopAtSubject, LateConfirm, StopAfterData };

struct Receive {
  std::vector<Posted> log;
  std::vector<controllertest::Received> received;
  bool target_waited = false;  // nothing came while the subject name was waiting for the user
  int result = 0;
  phone::Result phone;
};

Receive receive(Answer answer, uint32_t flags = 1) {
  Receive out;
  Phone phone;
  FakeSheet sheet;
  CCertRelayThread ctl;
  EXPECT_EQ(ctl.Connect(kRecipient3, flags, nullptr, "dummy", nullptr), 0);
  bool pausing = false;
  sheet.on_message = [&](unsigned m) {
    if (pausing) return;
    if (m == WM_RELAY_AUTHCODE) phone.send(sheet.log.back().text);
    if (m == WM_RELAY_CERTINFO && answer == Answer::StopAtSubject) ctl.StopWorker();
    if (m == WM_RELAY_CERTINFO && answer != Answer::StopAtSubject) {
      // The worker must wait for the user: a second's pause brings no further message.
      const size_t before = sheet.log.size();
      pausing = true;
      sheet.pump_until([] { return false; }, 1000);
      pausing = false;
      out.target_waited = sheet.log.size() == before;
      PostThreadMessageW(ctl.WorkerThreadId(), WM_RELAY_CONFIRM, 0, 0);
    }
    if (m == WM_RELAY_CERTDATA && answer == Answer::StopAfterData) ctl.StopWorker();
    if (m == WM_RELAY_CERTDATA && answer != Answer::StopAfterData) {
      if (answer == Answer::LateConfirm) PostThreadMessageW(ctl.WorkerThreadId(), WM_RELAY_CONFIRM, 0, 0);
      PostThreadMessageW(ctl.WorkerThreadId(), WM_RELAY_CERTDATA_TAKEN, 0, 0);
    }
  };
  EXPECT_EQ(ctl.StartWorker(sheet.hwnd()), 0);
  EXPECT_TRUE(sheet.pump_until_stop(30000));
  out.result = ctl.WorkerResult();
  ctl.StopWorker();
  out.log = sheet.log;
  out.received = sheet.received;
  phone.join();
  out.phone = phone.result_;
  return out;
}

TEST_F(TransferTest, AWholeReceiveWaitsForTheConfirmationAndHandsTheSetOver) {
  const std::pair<Answer, uint32_t> cases[] = {
      {Answer::Confirm, 1}, {Answer::Confirm, 2}, {Answer::LateConfirm, 1}};
  for (auto c : cases) {
    const Answer answer = c.first;
    SCOPED_TRACE(std::string(answer == Answer::Confirm ? "confirm" : "late confirm") +
                 (c.second == 2 ? ", HTTP" : ", raw"));
    Receive r = receive(answer, c.second);
    ASSERT_EQ(r.log.size(), 6u);
    EXPECT_EQ(r.log[0], (Posted{WM_RELAY_RECV_CODEWAIT, ""}));
    EXPECT_EQ(r.log[1].message, unsigned(WM_RELAY_AUTHCODE));
    EXPECT_EQ(r.log[1].text.size(), 12u);
    EXPECT_EQ(r.log[2], (Posted{WM_RELAY_CERTINFO, kSubject}));
    EXPECT_EQ(r.log[3], (Posted{WM_RELAY_RECV_CERTWAIT, ""}));
    EXPECT_EQ(r.log[4], (Posted{WM_RELAY_CERTDATA, ""}));
    EXPECT_EQ(r.log[5], (Posted{WM_RELAY_STOP, ""}));
    EXPECT_TRUE(r.target_waited);
    EXPECT_EQ(r.result, int(WM_RELAY_CERTDATA_TAKEN));
    EXPECT_EQ(r.phone.code, 0) << r.phone.where << ": " << r.phone.text;
    ASSERT_EQ(r.received.size(), 1u);
    EXPECT_EQ(r.received[0].sign_cert, asn1test::read_fixture("pki/signCert.der"));
    EXPECT_EQ(r.received[0].km_cert, asn1test::read_fixture("pki/kmCert.der"));
    EXPECT_FALSE(r.received[0].sign_key.empty());
    EXPECT_FALSE(r.received[0].km_key.empty());
  }
}

TEST_F(TransferTest, AStopAtTheSubjectNameEndsTheReceiveWithoutAFailureText) {
  Receive r = receive(Answer::StopAtSubject);
  ASSERT_EQ(r.log.size(), 4u);
  EXPECT_EQ(r.log[2], (Posted{WM_RELAY_CERTINFO, kSubject}));
  EXPECT_EQ(r.log[3], (Posted{WM_RELAY_STOP, ""}));
  EXPECT_EQ(r.result, int(WM_RELAY_STOP));
  EXPECT_TRUE(r.received.empty());
  EXPECT_NE(r.phone.code, 0);  // the phone's peer went away
}

// The worker has handed the set over and waits for the sheet: a stop then ends it as a stopped
// worker, and the record the sheet took stays valid.
TEST_F(TransferTest, AStopAfterTheHandOverEndsTheReceiveQuietly) {
  Receive r = receive(Answer::StopAfterData);
  ASSERT_EQ(r.log.size(), 6u);
  EXPECT_EQ(r.log[4], (Posted{WM_RELAY_CERTDATA, ""}));
  EXPECT_EQ(r.log[5], (Posted{WM_RELAY_STOP, ""}));
  EXPECT_EQ(r.result, int(WM_RELAY_STOP));
  ASSERT_EQ(r.received.size(), 1u);
  EXPECT_EQ(r.received[0].sign_cert, asn1test::read_fixture("pki/signCert.der"));
}

}  // namespace
