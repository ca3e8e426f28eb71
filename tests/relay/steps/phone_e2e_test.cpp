// Whole transfers between this library's steps (the PC) and tools/phone, a separate process,
// through tools/relayd, raw and HTTP, at each protocol version, with and without the
// key-management pair: the set that arrives is, byte for byte, the set that was sent.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/relay/steps/steps_test_util.h"
#include "tools/phone/phone.h"

using namespace stepstest;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new StepsEnvironment);

namespace fs = std::filesystem;

const char *const kNames[kRelayItemTagCount] = {"signCert.der", "signPri.key", "kmPri.key", "kmCert.der"};

int port_of(const std::string &listener) {
  const char *file = getenv("V7_PHONE_RELAYD_PORTS");
  std::ifstream in(file != nullptr ? file : "");
  std::string name;
  int port = 0;
  while (in >> name >> port)
    if (name == listener) return port;
  return 0;
}

Bytes read_file(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string fixture(const std::string &name) {
  return fs::absolute(v7test::fixtures_path("pki/" + name)).string();
}

// The phone, started with its arguments; its output is read when it is waited for.
class Phone {
 public:
  explicit Phone(const std::string &args) {
    const char *exe = getenv("V7_PHONE");
    std::string cmd = std::string(exe != nullptr ? exe : "phone") + " " + args + " 2>&1";
    pipe_ = popen(cmd.c_str(), "r");
  }
  // The next line it prints, also kept for wait's output; false once it has ended.
  bool next_line(std::string *line) {
    char buf[512];
    if (pipe_ == nullptr || fgets(buf, sizeof buf, pipe_) == nullptr) return false;
    *line = buf;
    seen_ += buf;
    return true;
  }
  // The exit status, with everything it printed in *output.
  int wait(std::string *output) {
    if (pipe_ == nullptr) return -1;
    *output += seen_;
    char buf[512];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe_)) != 0) output->append(buf, n);
    int status = pclose(pipe_);
    pipe_ = nullptr;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ~Phone() {
    std::string ignored;
    wait(&ignored);
  }

 private:
  FILE *pipe_ = nullptr;
  std::string seen_;
};

struct Case {
  bool http;
  int version;
  bool with_km;
  std::string name() const {
    return std::string(http ? "http" : "raw") + " " + std::to_string(version) + ".0" + (with_km ? " km" : "");
  }
  std::string args(const fs::path &dir) const {
    std::ostringstream a;
    a << "--port " << port_of(http ? "http" : "raw") << (http ? " --http" : "") << " --version " << version
      << " --timeout 60 --cert-dir '" << fs::absolute(kCertDir).string() << "'";
    return a.str();
  }
};

class PhoneTransfer : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    ASSERT_NE(port_of("raw"), 0) << "no test relay server";
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    for (char &c : name)
      if (c == '/') c = '_';
    dir_ = fs::absolute("phone_e2e") / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  fs::path dir_;
};

// The PC sends; the phone receives and writes the set it took over.
TEST_P(PhoneTransfer, PcSendsPhoneReceives) {
  const Case &c = GetParam();
  SessionPtr pc = new_session(sender_mode(c.version));
  ASSERT_TRUE(pc && load_pairs(pc.get(), c.with_km, "Phone1234!"));
  Phone receiver("receive " + c.args(dir_) + " --id " + kIdn + " --out '" + dir_.string() + "'");
  // The phone prints the code once the relay server has issued it.
  std::string code, line;
  while (code.empty() && receiver.next_line(&line)) {
    if (line.rfind("CODE ", 0) == 0) code = line.substr(5, line.find_first_of("\r\n") - 5);
  }
  if (code.empty()) {
    std::string output;
    receiver.wait(&output);
    FAIL() << "the phone showed no code:\n" << output;
  }

  phone::Link link;
  ASSERT_TRUE(phone::link_open(&link, c.http ? kRelayTransportHttp : kRelayTransportRaw,
                               port_of(c.http ? "http" : "raw"), 60));
  phone::Result r = phone::run_sender(pc.get(), &link, code);
  phone::link_close(&link);
  std::string output;
  EXPECT_EQ(receiver.wait(&output), 0) << output;
  ASSERT_EQ(r.code, 0) << r.where << ": " << r.text;
  for (int tag = 0; tag < kRelayItemTagCount; tag++) {
    SCOPED_TRACE(kNames[tag]);
    EXPECT_EQ(read_file(dir_ / kNames[tag]), kept(pc.get(), tag));
  }
  EXPECT_NE(output.find("SUBJECT cn=Hong Gildong"), std::string::npos) << output;
}

// The phone sends; the PC receives and holds what the phone says it sent.
TEST_P(PhoneTransfer, PhoneSendsPcReceives) {
  const Case &c = GetParam();
  SessionPtr pc = new_session(recipient_mode(c.version));
  ASSERT_TRUE(pc);
  ASSERT_EQ(relay_session_set_id_text(kIdn, pc.get()), 0);
  phone::Link link;
  ASSERT_TRUE(phone::link_open(&link, c.http ? kRelayTransportHttp : kRelayTransportRaw,
                               port_of(c.http ? "http" : "raw"), 60));
  std::unique_ptr<Phone> sender;
  std::string pairs =
      " --sign-cert '" + fixture("signCert.der") + "' --sign-key '" + fixture("signPri.key") + "'";
  if (c.with_km)
    pairs += " --km-cert '" + fixture("kmCert.der") + "' --km-key '" + fixture("kmPri.key") + "'";
  phone::Result r = phone::run_recipient(pc.get(), &link, [&](const std::string &code) {
    sender.reset(new Phone("send " + c.args(dir_) + " --code " + code + pairs + " --password '" + kPassword +
                           "' --sent '" + dir_.string() + "'"));
  });
  phone::link_close(&link);
  ASSERT_TRUE(sender);
  std::string output;
  EXPECT_EQ(sender->wait(&output), 0) << output;
  ASSERT_EQ(r.code, 0) << r.where << ": " << r.text;
  for (int tag = 0; tag < kRelayItemTagCount; tag++) {
    SCOPED_TRACE(kNames[tag]);
    bool km = tag == kRelayItemKmKey || tag == kRelayItemKmCert;
    EXPECT_EQ(kept(pc.get(), tag), read_file(dir_ / kNames[tag]));
    EXPECT_EQ(kept(pc.get(), tag).empty(), km && !c.with_km);
  }
}

// The phone's time-out bounds each whole reply, not only the wait for its first byte: a Hello
// answered with a record that stalls half-way, or with a response shorter than its
// Content-Length, ends the phone with the time-out instead of holding it for ever.
TEST(PhoneTimeout, BoundsTheWholeReply) {
  ASSERT_NE(port_of("raw_stall"), 0) << "no test relay server";
  for (const char *listener : {"raw_stall", "http_long"}) {
    SCOPED_TRACE(listener);
    const bool http = std::string(listener) == "http_long";
    std::ostringstream args;
    args << "receive --port " << port_of(listener) << (http ? " --http" : "") << " --timeout 1 --out '"
         << fs::absolute("phone_e2e/timeout").string() << "'";
    Phone phone(args.str());
    std::string output;
    EXPECT_EQ(phone.wait(&output), 2) << output;
    EXPECT_NE(output.find("failed at Hello (-3)"), std::string::npos) << output;
  }
}

INSTANTIATE_TEST_SUITE_P(AllTransports, PhoneTransfer,
                         ::testing::Values(Case{false, 1, false}, Case{false, 1, true}, Case{false, 2, false},
                                           Case{false, 2, true}, Case{false, 3, false}, Case{false, 3, true},
                                           Case{true, 1, false}, Case{true, 1, true}, Case{true, 2, false},
                                           Case{true, 2, true}, Case{true, 3, false}, Case{true, 3, true}),
                         [](const ::testing::TestParamInfo<Case> &info) {
                           std::string n = info.param.name();
                           for (char &ch : n)
                             if (ch == ' ' || ch == '.') ch = '_';
                           return n;
                         });

}  // namespace
