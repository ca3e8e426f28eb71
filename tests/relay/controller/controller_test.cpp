// The session controller under Wine, with a message-only window for the sheet: the transport that
// the flags and the registry settings choose, the probes, the posted messages of failing and
// stopped transfers, and the stop rounds, against the test relay server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "media/registry_settings.h"
#include "platform/locale/process_words.h"
#include "platform/net/last_error.h"
#include "platform/osver/os_version_query.h"
#include "platform/ui/message_box.h"
#include "relay/transport.h"
#include "tests/relay/controller/chosen_set.h"
#include "tests/relay/controller/fake_sheet.h"
#include "tests/relay/relayd_client.h"
#include "tests/relay/steps/steps_test_util.h"

using controllertest::FakeSheet;
using controllertest::port;
using controllertest::Posted;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new stepstest::StepsEnvironment);

constexpr RelayModeWord kRecipient3 = 0x88000003u;
constexpr RelayModeWord kSender3 = 0x80000003u;
const char kDisconnected[] = "Failed to transfer the certificate.\r\nDisconnected from relay server.";

// The probes asked for, and the ports the fake probe calls unreachable with their last error.
std::vector<std::pair<int, int>> g_probes;
std::map<int, uint32_t> g_unreachable;

int recording_probe(int seconds, int p) {
  g_probes.push_back({seconds, p});
  auto it = g_unreachable.find(p);
  if (it == g_unreachable.end()) return RelayProbeServer(seconds, p);
  v7::set_thread_last_error(it->second);
  return 0;
}

OsVersionRecord g_os = {2, 6, 1};

// The per-user relay settings of one Windows generation, removed before and after.
class Settings {
 public:
  explicit Settings(uint32_t major, uint32_t minor) {
    g_os = {2, major, minor};
    platform_set_os_version_hook([](OsVersionRecord *out) { return *out = g_os, true; });
    clear();
  }
  ~Settings() {
    clear();
    platform_set_os_version_hook(nullptr);
  }
  void set(const char *name, const char *value) {
    ASSERT_EQ(reg_write_value("velmoraRelay", name, value), 0);
  }
  static void clear() {
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\TAVN\\velmora7\\velmoraRelay");
    RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\AppDataLow\\Software\\TAVN\\velmora7\\velmoraRelay");
  }
};

std::string narrow(const wchar_t *w) {
  std::string out;
  for (; *w != 0; w++) out += *w < 0x80 ? char(*w) : '?';
  return out;
}

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(port("raw"), 0) << "no relayd ports file (V7_RELAYD_PORTS)";
    set_language_id(9);
    v7::set_message_box_hook([](const char *, const char *, unsigned) { return 1; });
    relay_controller_set_probe_hook(recording_probe);
    relay_controller_set_session_hook([](RelaySession *s) {
      snprintf(s->validation->cert_dir, sizeof s->validation->cert_dir, "%s", stepstest::kCertDir);
    });
    relay_controller_set_ports(port("raw"), port("http"));
    g_probes.clear();
    g_unreachable.clear();
  }
  void TearDown() override {
    relay_controller_set_probe_hook(nullptr);
    relay_controller_set_session_hook(nullptr);
    relay_controller_set_ports(0, 0);
    v7::set_message_box_hook(nullptr);
  }
};

// ---- Transport choice ----------------------------------------------------------------------------

struct ChoiceCase {
  const char *name;
  uint32_t flags;
  const char *nonblocking;  // null: missing
  const char *transfer;
  bool raw_unreachable;
  bool http_unreachable;
  // The expected probes ('r' raw, 'h' HTTP, with their seconds) and outcome.
  std::vector<std::pair<int, char>> probes;
  int result;
  int kind;
};

TEST_F(ControllerTest, SettingsAndFlagsChooseTheTransportUnderEachGeneration) {
  const ChoiceCase cases[] = {
      {"raw flag", 1, nullptr, nullptr, false, false, {{8, 'r'}}, 0, 1},
      {"http flag", 2, nullptr, nullptr, false, false, {{8, 'h'}}, 0, 2},
      {"TRANSFER http wins over the flag", 1, nullptr, "http", false, false, {{8, 'h'}}, 0, 2},
      {"TRANSFER NON-HTTP wins over the flag", 2, nullptr, "NON-http", false, false, {{8, 'r'}}, 0, 1},
      {"unknown TRANSFER keeps the flag", 2, nullptr, "TCP", false, false, {{8, 'h'}}, 0, 2},
      {"Nonblocking false skips probes and TRANSFER", 1, "false", "HTTP", true, true, {}, 0, 1},
      {"Nonblocking NO skips probes", 2, "No", nullptr, true, true, {}, 0, 2},
      {"Nonblocking yes still probes", 1, "YES", nullptr, false, false, {{8, 'r'}}, 0, 1},
      {"fallback to HTTP for 4 s", 1, nullptr, nullptr, true, false, {{8, 'r'}, {4, 'h'}}, 0, 2},
      {"fallback to raw for 4 s", 2, nullptr, "other", false, true, {{8, 'h'}, {4, 'r'}}, 0, 1},
      {"fixed HTTP is probed once", 1, nullptr, "HTTP", false, true, {{8, 'h'}}, -1, 2},
      {"fixed raw is probed once", 2, nullptr, "non-http", true, false, {{8, 'r'}}, -1, 1},
      {"both unreachable", 1, nullptr, nullptr, true, true, {{8, 'r'}, {4, 'h'}}, -1, 2},
  };
  const std::pair<uint32_t, uint32_t> generations[] = {{5, 1}, {6, 1}};
  for (auto gen : generations) {
    for (const ChoiceCase &c : cases) {
      SCOPED_TRACE(std::string(c.name) + " on " + std::to_string(gen.first) + "." +
                   std::to_string(gen.second));
      Settings settings(gen.first, gen.second);
      if (c.nonblocking != nullptr) settings.set("Nonblocking", c.nonblocking);
      if (c.transfer != nullptr) settings.set("TRANSFER", c.transfer);
      g_probes.clear();
      g_unreachable.clear();
      if (c.raw_unreachable) g_unreachable[port("raw")] = 10061;
      if (c.http_unreachable) g_unreachable[port("http")] = 10061;
      CCertRelayThread ctl;
      EXPECT_EQ(ctl.Connect(kRecipient3, c.flags, nullptr, "dummy", nullptr), c.result)
          << narrow(ctl.ErrorText());
      EXPECT_EQ(ctl.TransportKind(), c.kind);
      EXPECT_EQ(ctl.Port(), port(c.kind == 2 ? "http" : "raw"));
      std::vector<std::pair<int, int>> expected;
      for (auto p : c.probes) expected.push_back({p.first, port(p.second == 'h' ? "http" : "raw")});
      EXPECT_EQ(g_probes, expected);
      if (c.result != 0) {
        EXPECT_EQ(narrow(ctl.ErrorText()),
                  "Failed to connect relay server [Windows System Error Code : 10061]");
      }
    }
  }
}

TEST_F(ControllerTest, SettingsOfAnotherGenerationAreNotRead) {
  {
    Settings xp(5, 1);
    xp.set("TRANSFER", "HTTP");
    platform_set_os_version_hook([](OsVersionRecord *out) { return *out = {2, 6, 1}, true; });
    CCertRelayThread ctl;
    EXPECT_EQ(ctl.Connect(kRecipient3, 1, nullptr, "dummy", nullptr), 0);
    EXPECT_EQ(ctl.TransportKind(), 1);
    g_os = {2, 5, 1};  // so that the scope clears the key it wrote
  }
}

// The real probe against a port nobody listens on: refused at once, never tried the other way.
TEST_F(ControllerTest, AFixedTransportIsProbedOnceWithTheRealProbe) {
  Settings settings(6, 1);
  settings.set("TRANSFER", "HTTP");
  relay_controller_set_ports(port("raw"), port("refused"));
  CCertRelayThread ctl;
  EXPECT_EQ(ctl.Connect(kRecipient3, 1, nullptr, "dummy", nullptr), -1);
  EXPECT_EQ(g_probes, (std::vector<std::pair<int, int>>{{8, port("refused")}}));
  EXPECT_EQ(narrow(ctl.ErrorText()), "Failed to connect relay server [Windows System Error Code : 10061]");
  EXPECT_FALSE(ctl.StartWorker(FakeSheet().hwnd()) == 0);
}

TEST_F(ControllerTest, AProbeTimeOutIsReportedWithItsText) {
  Settings settings(6, 1);
  g_unreachable[port("raw")] = 21621;
  g_unreachable[port("http")] = 21621;
  CCertRelayThread ctl;
  EXPECT_EQ(ctl.Connect(kRecipient3, 1, nullptr, "dummy", nullptr), -1);
  const std::string text = narrow(ctl.ErrorText());
  EXPECT_EQ(text.rfind("Failed to connect relay server - ", 0), 0u) << text;
  EXPECT_NE(text.find(" [21621]"), std::string::npos) << text;
  EXPECT_GT(text.size(), strlen("Failed to connect relay server -  [21621]")) << text;
}

TEST_F(ControllerTest, ConnectRefusesWhatItCannotUse) {
  Settings settings(6, 1);
  CCertRelayThread ctl;
  EXPECT_EQ(ctl.Connect(kRecipient3, 1, nullptr, nullptr, nullptr), -1);
  // A sender needs its chosen set.
  EXPECT_EQ(ctl.Connect(0x80000003u, 1, nullptr, "123456789012", nullptr), -1);
  EXPECT_EQ(ctl.StartWorker(nullptr), -1);
  FakeSheet sheet;
  EXPECT_EQ(ctl.StartWorker(sheet.hwnd()), -1);
  EXPECT_EQ(ctl.StopWorker(), 0);
}

// ---- Workers --------------------------------------------------------------------------------------

// Connects a recipient to the listener and starts its worker for the sheet. Whether the worker
// still runs when this returns is the worker's affair: against a listener that closes at once it
// may already have ended, however busy the machine is.
void start_recipient(CCertRelayThread *ctl, HWND sheet, const char *listener) {
  relay_controller_set_ports(port(listener), port("http"));
  ASSERT_EQ(ctl->Connect(kRecipient3, 1, nullptr, "dummy", nullptr), 0) << narrow(ctl->ErrorText());
  ASSERT_EQ(ctl->StartWorker(sheet), 0);
}
void start_recipient(CCertRelayThread *ctl, FakeSheet *sheet, const char *listener) {
  start_recipient(ctl, sheet->hwnd(), listener);
}

TEST_F(ControllerTest, AConnectionLostAtHelloPostsTheDisconnectTextAndStop) {
  Settings settings(6, 1);
  for (const char *listener : {"raw_close_head", "raw_close_body"}) {
    SCOPED_TRACE(listener);
    FakeSheet sheet;
    CCertRelayThread ctl;
    start_recipient(&ctl, &sheet, listener);
    ASSERT_TRUE(sheet.pump_until_stop(10000));
    EXPECT_EQ(sheet.log, (std::vector<Posted>{{WM_RELAY_ERROR, kDisconnected}, {WM_RELAY_STOP, ""}}));
    EXPECT_EQ(ctl.WorkerResult(), -10);
    // It ends on its own, without a stop.
    EXPECT_TRUE(sheet.pump_until([&] { return !ctl.Running(); }, 10000));
  }
}

TEST_F(ControllerTest, TheDisconnectTextFollowsLanguageAndEncoding) {
  Settings settings(6, 1);
  set_language_id(18);
  set_char_encoding_mode(1);
  FakeSheet sheet;
  CCertRelayThread ctl;
  start_recipient(&ctl, &sheet, "raw_close_head");
  ASSERT_TRUE(sheet.pump_until_stop(10000));
  ASSERT_EQ(sheet.log.size(), 2u);
  EXPECT_EQ(sheet.log[0].text, "인증서 이동에 실패하였습니다.\r\n중계서버와 연결이 중단되었습니다.");
  set_char_encoding_mode(0);
  set_language_id(9);
}

// A stop posted right after the start reaches the worker: its queue existed before StartWorker
// returned, so no stop round has to time out and nothing is terminated.
TEST_F(ControllerTest, AStopRightAfterTheStartIsSeen) {
  Settings settings(6, 1);
  FakeSheet sheet;
  CCertRelayThread ctl;
  start_recipient(&ctl, &sheet, "pair");
  EXPECT_EQ(ctl.StopWorker(), 0);
  EXPECT_EQ(ctl.LastStopRounds(), 1);
  EXPECT_FALSE(ctl.Running());
  EXPECT_EQ(ctl.WorkerResult(), int(WM_RELAY_STOP));
  sheet.pump_until_stop(2000);
  EXPECT_FALSE(sheet.has(WM_RELAY_ERROR));
  EXPECT_TRUE(sheet.has(WM_RELAY_STOP));
}

// While the recipient waits for a sender that never comes, a stop ends it within a round, without
// a failure text; a second StopWorker from a handler during the stop's pump does nothing.
TEST_F(ControllerTest, AStopWhileWaitingForTheSenderEndsTheWorkerQuietly) {
  Settings settings(6, 1);
  FakeSheet sheet;
  CCertRelayThread ctl;
  int nested = -1;
  sheet.on_message = [&](unsigned m) {
    if (m == WM_RELAY_STOP) nested = ctl.StopWorker();
  };
  start_recipient(&ctl, &sheet, "pair");
  ASSERT_TRUE(sheet.pump_until([&] { return sheet.has(WM_RELAY_AUTHCODE); }, 20000));
  EXPECT_TRUE(ctl.Running());  // it waits for a sender: only a stop ends it now
  ASSERT_EQ(sheet.log.size(), 2u);
  EXPECT_EQ(sheet.log[0], (Posted{WM_RELAY_RECV_CODEWAIT, ""}));
  EXPECT_EQ(sheet.log[1].message, unsigned(WM_RELAY_AUTHCODE));
  EXPECT_EQ(sheet.log[1].text.size(), 12u);
  EXPECT_EQ(ctl.StopWorker(), 0);
  EXPECT_EQ(ctl.LastStopRounds(), 1);
  sheet.pump_until_stop(2000);
  EXPECT_EQ(nested, 0);
  ASSERT_EQ(sheet.log.size(), 3u);
  EXPECT_EQ(sheet.log[2], (Posted{WM_RELAY_STOP, ""}));
  EXPECT_EQ(ctl.WorkerResult(), int(WM_RELAY_STOP));
}

// A worker stuck in a receive after select said readable (the reply stalls mid-record for longer
// than a stop round) does not see its queue; the stop shuts its socket down instead of
// terminating it, and the worker still ends as a stopped one: no failure text, its last STOP.
TEST_F(ControllerTest, AStopDuringAStalledReplyShutsTheSocketDown) {
  Settings settings(6, 1);
  FakeSheet sheet;
  CCertRelayThread ctl;
  static HANDLE begun;
  begun = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  relay_controller_set_reply_begun_hook([] { SetEvent(begun); });
  start_recipient(&ctl, &sheet, "long_stall");
  EXPECT_EQ(WaitForSingleObject(begun, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(ctl.StopWorker(), 0);
  relay_controller_set_reply_begun_hook(nullptr);
  CloseHandle(begun);
  EXPECT_EQ(ctl.LastStopRounds(), 2);  // the first round found it in the read; the shutdown freed it
  EXPECT_EQ(ctl.WorkerResult(), int(WM_RELAY_STOP));
  sheet.pump_until_stop(2000);
  EXPECT_EQ(sheet.log, (std::vector<Posted>{{WM_RELAY_STOP, ""}}));
}

// Connecting again while the first worker still waits stops and joins it first.
TEST_F(ControllerTest, ASecondTransferStopsAndJoinsTheFirst) {
  Settings settings(6, 1);
  FakeSheet first, second;
  CCertRelayThread ctl;
  start_recipient(&ctl, &first, "pair");
  ASSERT_TRUE(first.pump_until([&] { return first.has(WM_RELAY_AUTHCODE); }, 20000));
  const std::string code1 = first.log.back().text;
  start_recipient(&ctl, &second, "pair");
  first.pump_until_stop(2000);
  EXPECT_EQ(first.log.back(), (Posted{WM_RELAY_STOP, ""}));
  EXPECT_FALSE(first.has(WM_RELAY_ERROR));
  ASSERT_TRUE(second.pump_until([&] { return second.has(WM_RELAY_AUTHCODE); }, 20000));
  EXPECT_NE(second.log.back().text, code1);
  EXPECT_EQ(ctl.StopWorker(), 0);
}

// The worker's texts live in its parameter block and session, which the next Connect frees once it
// has joined the worker; a message carrying one may still wait in the sheet's queue then. The code
// to show (wiped when the block goes) and the session's failure text must arrive whole.
TEST_F(ControllerTest, AMessageStillQueuedWhenTheNextTransferConnectsKeepsItsText) {
  Settings settings(6, 1);
  const struct {
    const char *name;
    unsigned awaited;
    bool sender;
    std::vector<unsigned> messages;
  } cases[] = {
      {"the recipient's code", WM_RELAY_AUTHCODE, false, {WM_RELAY_RECV_CODEWAIT, WM_RELAY_AUTHCODE, WM_RELAY_STOP}},
      {"the sender's failure", WM_RELAY_ERROR, true, {WM_RELAY_SEND_STEP1, WM_RELAY_ERROR, WM_RELAY_STOP}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    CCertRelayThread ctl;
    controllertest::HeldSheet first(c.awaited);
    ASSERT_NE(first.hwnd(), nullptr);
    auto select = controllertest::chosen_set();
    if (c.sender) {
      relay_controller_set_ports(port("pair"), port("http"));
      ASSERT_EQ(ctl.Connect(kSender3, 1, select.get(), "000000000000", nullptr), 0) << narrow(ctl.ErrorText());
      ASSERT_EQ(ctl.StartWorker(first.hwnd()), 0);
    } else {
      start_recipient(&ctl, first.hwnd(), "pair");
    }
    ASSERT_TRUE(first.WaitQueued(30000));
    FakeSheet second;
    start_recipient(&ctl, &second, "pair");  // joins the first worker, frees its block and session
    const std::vector<Posted> log = first.Release();
    std::vector<unsigned> messages;
    for (const Posted &p : log) messages.push_back(p.message);
    EXPECT_EQ(messages, c.messages);
    ASSERT_EQ(log.size(), 3u);
    if (c.sender) {
      // Whole: from its step name, which a freed text loses first, to the reason.
      EXPECT_EQ(log[1].text.rfind("Step2) Failed to transfer the certificate.", 0), 0u) << log[1].text;
      EXPECT_NE(log[1].text.find("Authorization code is not correct."), std::string::npos) << log[1].text;
    } else {
      EXPECT_EQ(log[1].text.size(), 12u) << log[1].text;
      EXPECT_EQ(log[1].text.find_first_not_of("0123456789"), std::string::npos) << log[1].text;
    }
    EXPECT_EQ(ctl.StopWorker(), 0);
  }
}

}  // namespace
