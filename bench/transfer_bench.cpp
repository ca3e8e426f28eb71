// The library's own time in a whole transfer, in the Windows build: a send and a receive at each
// protocol version, through the controller and its worker against the test relay server, with a
// message-only window answering the worker as the sheet's handlers do (texts and the received set
// copied, the subject confirmed at once).
//
// What is measured is this process's CPU time (user + kernel) from Connect to the worker's last
// message. The phone runs in a second process (this program started with --peer) and the relay
// server is a native program of its own, so their work, and every wait for them or for the user,
// stays out of the figure by construction. Wall time is shown beside it.
//
//   transfer_bench [--repetitions N]    (V7_RELAYD_PORTS names the relay server's ports file)
//
// Google Benchmark is only a native library here, so this program times with its own loop and
// prints its results in Google Benchmark's column layout. Wall, CPU, CPU max and Worker (the worker
// thread's share of CPU) are over the repetitions after the first. Exit 0 when every transfer
// completed (whatever the figures), 1 when one failed.
#include <winsock2.h>  // before any windows.h, which it brings in

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "tests/relay/controller/chosen_set.h"
#include "tests/relay/controller/fake_sheet.h"
#include "tests/relay/controller/relayd_seams.h"
#include "tests/relay/steps/steps_test_util.h"
#include "tools/phone/phone.h"

namespace {

using controllertest::FakeSheet;
using controllertest::port;

constexpr DWORD kTransferMs = 60000;  // a transfer that takes longer has failed

// ---- The phone's process ----

// Reads commands from stdin, one a line, and answers on stdout:
//   receive V       -> "CODE <code>" once the relay server has issued it, then "DONE <rc> <text>"
//   send V <code>   -> "DONE <rc> <text>"
int run_peer() {
  stepstest::StepsEnvironment().SetUp();
  char line[256];
  while (fgets(line, sizeof line, stdin) != nullptr) {
    char role[16] = {}, code[64] = {};
    int version = 0;
    if (sscanf(line, "%15s %d %63s", role, &version, code) < 2) break;
    const bool receive = strcmp(role, "receive") == 0;
    relaytest::SessionPtr s =
        stepstest::new_session(receive ? stepstest::recipient_mode(version) : stepstest::sender_mode(version));
    phone::Result r;
    phone::Link link;
    // Protocol 1.0 sends the holder's registration number, which the PC checks.
    if (receive && relay_session_set_id_text(version == 1 ? stepstest::kIdn : "", s.get()) != 0) {
      r = {-99, "identity", "no identity"};
    } else if (!receive && !stepstest::load_pairs(s.get(), true)) {
      r = {-99, "loading", "the test user's pairs do not load"};
    } else if (!phone::link_open(&link, kRelayTransportRaw, port("pair"), 30)) {
      r = {-98, "connecting", "no connection to the relay server"};
    } else if (receive) {
      r = phone::run_recipient(
          s.get(), &link, [](const std::string &c) { printf("CODE %s\n", c.c_str()), fflush(stdout); },
          [](const std::string &) { return true; });
    } else {
      r = phone::run_sender(s.get(), &link, code);
    }
    phone::link_close(&link);
    printf("DONE %d %s: %s\n", r.code, r.where.c_str(), r.text.c_str());
    fflush(stdout);
  }
  return 0;
}

// This program again, as the phone, over a pipe each way.
class Peer {
 public:
  bool start() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE child_in = nullptr, child_out = nullptr;
    if (!CreatePipe(&child_in, &to_, &inherit, 0) || !CreatePipe(&from_, &child_out, &inherit, 0)) return false;
    SetHandleInformation(to_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(from_, HANDLE_FLAG_INHERIT, 0);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --peer";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = child_in;
    si.hStdOutput = child_out;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    const bool ok = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != 0;
    CloseHandle(child_in);
    CloseHandle(child_out);
    if (!ok) return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    return true;
  }
  ~Peer() { stop(false); }
  // After a failed transfer the peer may still be inside it: a fresh one starts clean.
  bool restart() { return stop(true), start(); }


  void command(const std::string &line) {
    const std::string l = line + "\n";
    DWORD written = 0;
    WriteFile(to_, l.data(), DWORD(l.size()), &written, nullptr);
  }
  // The next line from the peer without its end; "" when the peer has gone.
  std::string line() {
    std::string out;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(from_, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
      if (c != '\r') out += c;
    }
    return out;
  }

 private:
  void stop(bool now) {
    if (to_ != nullptr) CloseHandle(to_);  // the peer's stdin ends, and so does the peer
    if (process_ != nullptr) {
      if (now) TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 10000);
      CloseHandle(process_);
    }
    if (from_ != nullptr) CloseHandle(from_);
    to_ = from_ = process_ = nullptr;
  }

  HANDLE to_ = nullptr, from_ = nullptr, process_ = nullptr;
};

// ---- Timing ----

double ms(const FILETIME &f) {
  return double((uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000.0;
}
double process_cpu_ms() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return ms(kernel) + ms(user);
}
double thread_cpu_ms(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (thread == nullptr || !GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
  return ms(kernel) + ms(user);
}
double wall_ms() {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return double(now.QuadPart) * 1000.0 / double(freq.QuadPart);
}

struct Sample {
  bool ok = false;
  std::string why;
  double cpu = 0, worker = 0, wall = 0;
};

// One whole transfer at the version, from Connect to the worker's last message.
Sample transfer(Peer *peer, int version, bool receive) {
  Sample out;
  std::string code;
  if (!receive) {
    // The phone shows its code first; the user types it before the transfer starts.
    peer->command("receive " + std::to_string(version));
    const std::string l = peer->line();
    if (l.rfind("CODE ", 0) != 0) return out.why = "the phone shows no code: " + l, out;
    code = l.substr(5);
  }
  auto select = controllertest::chosen_set();
  FakeSheet sheet;
  CCertRelayThread ctl;
  sheet.on_message = [&](unsigned m) {
    if (m == WM_RELAY_AUTHCODE) peer->command("send " + std::to_string(version) + " " + sheet.log.back().text);
    if (m == WM_RELAY_CERTINFO) PostThreadMessageW(ctl.WorkerThreadId(), WM_RELAY_CONFIRM, 0, 0);
    if (m == WM_RELAY_CERTDATA) PostThreadMessageW(ctl.WorkerThreadId(), WM_RELAY_CERTDATA_TAKEN, 0, 0);
  };
  const double cpu0 = process_cpu_ms(), wall0 = wall_ms();
  const RelayModeWord mode = (receive ? 0x88000000u : 0x80000000u) | uint32_t(version);
  // A 1.0 recipient types the holder's registration number; later ones only start.
  const char *typed = receive ? (version == 1 ? stepstest::kIdn : "dummy") : code.c_str();
  if (ctl.Connect(mode, 1, receive ? nullptr : select.get(), typed, "NewPass1!") != 0)
    return out.why = "Connect failed", out;
  if (ctl.StartWorker(sheet.hwnd()) != 0) return out.why = "StartWorker failed", out;
  HANDLE worker = OpenThread(THREAD_QUERY_INFORMATION, FALSE, ctl.WorkerThreadId());
  const bool stopped = sheet.pump_until_stop(kTransferMs);
  out.cpu = process_cpu_ms() - cpu0;
  out.wall = wall_ms() - wall0;
  out.worker = thread_cpu_ms(worker);
  if (worker != nullptr) CloseHandle(worker);
  const int result = ctl.WorkerResult();
  ctl.StopWorker();
  const std::string done = peer->line();
  if (!stopped) return out.why = "the worker did not end", out;
  const int expected = receive ? int(WM_RELAY_CERTDATA_TAKEN) : 0;
  if (result != expected) {
    out.why = "worker result " + std::to_string(result);
    for (const auto &p : sheet.log)
      if (p.message == WM_RELAY_ERROR) out.why += ": " + p.text;
    return out;
  }
  if (done.rfind("DONE 0 ", 0) != 0) return out.why = "the phone: " + done, out;
  if (receive && (sheet.received.size() != 1 ||
                  sheet.received[0].sign_cert != asn1test::read_fixture("pki/signCert.der")))
    return out.why = "the received set is not the one the phone sent", out;
  out.ok = true;
  return out;
}

// The system counts CPU time in scheduler ticks (10 ms under Wine on Linux), so one short
// transfer often reads 0 or one tick: the mean of the process's differences over many is what
// resolves it. A thread's time is counted from its start and rounded down, so the worker's mean
// is a lower bound (0 for a worker that takes less than a tick).
double mean(const std::vector<double> &v) {
  double sum = 0;
  for (double x : v) sum += x;
  return v.empty() ? 0 : sum / double(v.size());
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && strcmp(argv[1], "--peer") == 0) return run_peer();
  int repetitions = 20;
  if (argc >= 3 && strcmp(argv[1], "--repetitions") == 0) repetitions = std::max(1, atoi(argv[2]));
  if (port("pair") == 0) {
    fprintf(stderr, "transfer_bench: no relay server ports (V7_RELAYD_PORTS names its ports file)\n");
    return 1;
  }
  stepstest::StepsEnvironment().SetUp();
  set_language_id(9);
  v7::set_message_box_hook([](const char *, const char *, unsigned) { return 1; });
  controllertest::use_test_relayd();
  Peer peer;
  if (!peer.start()) {
    fprintf(stderr, "transfer_bench: the phone's process does not start (%lu)\n", GetLastError());
    return 1;
  }

  printf("%-28s %12s %12s %12s %12s %12s %10s\n", "Benchmark", "Wall", "CPU", "CPU max", "Worker", "Cold CPU",
         "Iterations");
  printf("%s\n", std::string(104, '-').c_str());
  int failed = 0;
  for (bool receive : {false, true}) {
    for (int version = 1; version <= 3; version++) {
      const std::string name =
          std::string(receive ? "BM_WholeReceive" : "BM_WholeSend") + "/v" + std::to_string(version) + ".0/raw";
      // The first transfer of each kind is shown on its own (Cold): it loads and builds what later
      // transfers of the process find ready, as a wizard's one transfer would.
      Sample warm = transfer(&peer, version, receive);
      std::vector<double> cpu, wall, worker;
      std::string why = warm.ok ? "" : warm.why;
      for (int i = 0; warm.ok && i < repetitions; i++) {
        Sample s = transfer(&peer, version, receive);
        if (!s.ok) {
          why = s.why;
          break;
        }
        cpu.push_back(s.cpu), wall.push_back(s.wall), worker.push_back(s.worker);
      }
      if (!why.empty()) {
        printf("%-28s FAILED: %s\n", name.c_str(), why.c_str());
        failed++;
        if (!peer.restart()) return fprintf(stderr, "transfer_bench: the phone's process does not start\n"), 1;
        continue;
      }
      const double target = version == 3 ? 1000 : 300;
      const double m = mean(cpu), most = *std::max_element(cpu.begin(), cpu.end());
      printf("%-28s %9.1f ms %9.1f ms %9.1f ms %9.1f ms %9.1f ms %10d  target<%.0fms %s\n", name.c_str(),
             mean(wall), m, most, mean(worker), warm.cpu, repetitions, target,
             m < target && warm.cpu < target ? "ok" : "OVER");
      fflush(stdout);
    }
  }
  controllertest::release_test_relayd();
  v7::set_message_box_hook(nullptr);
  return failed == 0 ? 0 : 1;
}
