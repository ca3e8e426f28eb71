// A message-only window standing in for the transfer wizard sheet: it records every relay message
// the worker posts, with copies of the texts and the record it carries (which it then frees, as
// the sheet does), and lets a test answer them as the sheet's pages would.
#pragma once

#include <winsock2.h>  // before any windows.h, which it brings in

#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "relay/controller/controller.h"
#include "tests/relay/relayd_client.h"

namespace controllertest {

using Bytes = std::vector<uint8_t>;

// The port of a listener of the test relay server, 0 when it has none.
inline int port(const char *name) {
  static const std::map<std::string, int> ports = relaydtest::read_ports();
  auto it = ports.find(name);
  return it != ports.end() ? it->second : 0;
}

struct Posted {
  unsigned message;
  std::string text;  // the payload of WM_RELAY_AUTHCODE, WM_RELAY_CERTINFO and WM_RELAY_ERROR
  bool operator==(const Posted &o) const { return message == o.message && text == o.text; }
};

inline std::ostream &operator<<(std::ostream &os, const Posted &p) {
  return os << "{" << p.message << ", \"" << p.text << "\"}";
}

// The four buffers of a received record, in the record's order.
struct Received {
  Bytes sign_key, sign_cert, km_key, km_cert;
};

class FakeSheet {
 public:
  FakeSheet() {
    static const wchar_t kClass[] = L"v7ControllerTestSheet";
    static ATOM atom = [] {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = &FakeSheet::proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = kClass;
      return RegisterClassW(&wc);
    }();
    (void)atom;
    hwnd_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~FakeSheet() { DestroyWindow(hwnd_); }
  FakeSheet(const FakeSheet &) = delete;
  FakeSheet &operator=(const FakeSheet &) = delete;

  HWND hwnd() const { return hwnd_; }

  // Handles messages until the worker's last WM_RELAY_STOP (true) or until ms have passed.
  bool pump_until_stop(DWORD ms) {
    return pump_until([this] { return stopped_; }, ms);
  }
  bool pump_until(const std::function<bool()> &done, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!done()) {
      const DWORD spent = GetTickCount() - start;
      if (spent >= ms) return false;
      // In slices: done() may depend on another thread, which posts nothing.
      MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent < 50 ? ms - spent : 50, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    return true;
  }
  bool has(unsigned message) const {
    for (const Posted &p : log) {
      if (p.message == message) return true;
    }
    return false;
  }

  std::vector<Posted> log;
  std::vector<Received> received;
  // Called after a message is recorded, as a page's handler would be.
  std::function<void(unsigned message)> on_message;

 private:
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto *self = reinterpret_cast<FakeSheet *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr || msg < WM_RELAY_STOP || msg > WM_RELAY_CERTDATA_TAKEN)
      return DefWindowProcW(hwnd, msg, wp, lp);
    Posted p = {msg, ""};
    if ((msg == WM_RELAY_AUTHCODE || msg == WM_RELAY_CERTINFO || msg == WM_RELAY_ERROR) && lp != 0)
      p.text = reinterpret_cast<const char *>(lp);
    if (msg == WM_RELAY_CERTDATA && lp != 0) {
      auto *r = reinterpret_cast<const ReceivedCertRecord *>(lp);
      auto bytes = [](const uint8_t *d, size_t n) { return d != nullptr ? Bytes(d, d + n) : Bytes(); };
      self->received.push_back({bytes(r->sign_key, r->sign_key_len), bytes(r->sign_cert, r->sign_cert_len),
                                bytes(r->km_key, r->km_key_len), bytes(r->km_cert, r->km_cert_len)});
    }
    // The message owns what it carries: the sheet keeps copies and frees it.
    relay_message_payload_free(msg, lp);
    self->log.push_back(p);
    if (msg == WM_RELAY_STOP) self->stopped_ = true;
    if (self->on_message) self->on_message(msg);
    return 0;
  }

  HWND hwnd_ = nullptr;
  bool stopped_ = false;
};

// A FakeSheet on a thread of its own that takes nothing off its queue until the test releases it:
// what the worker posts waits there, as behind a user interface that is busy elsewhere, while the
// test's own thread goes on (a stop's pump on that thread cannot reach this queue).
class HeldSheet {
 public:
  // awaited: the message whose arrival in the queue WaitQueued reports.
  explicit HeldSheet(unsigned awaited) : awaited_(awaited) {
    thread_ = std::thread([this] { run(); });
    WaitForSingleObject(made_, 30000);
  }
  ~HeldSheet() { Release(); }
  HeldSheet(const HeldSheet &) = delete;
  HeldSheet &operator=(const HeldSheet &) = delete;

  HWND hwnd() const { return hwnd_; }
  // True once the awaited message waits in the queue, still untouched.
  bool WaitQueued(DWORD ms) { return WaitForSingleObject(queued_, ms) == WAIT_OBJECT_0; }
  // Lets the sheet handle its queue up to the worker's last WM_RELAY_STOP; what it recorded.
  std::vector<Posted> Release() {
    SetEvent(release_);
    if (thread_.joinable()) thread_.join();
    return log_;
  }

 private:
  struct Event {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Event() { CloseHandle(h); }
    operator HANDLE() const { return h; }
  };

  void run() {
    FakeSheet sheet;
    hwnd_ = sheet.hwnd();
    SetEvent(made_);
    const DWORD start = GetTickCount();
    MSG msg;
    while (WaitForSingleObject(release_, 0) == WAIT_TIMEOUT && GetTickCount() - start < 60000) {
      if (PeekMessageW(&msg, hwnd_, awaited_, awaited_, PM_NOREMOVE)) {
        SetEvent(queued_);
        break;
      }
      // Woken by the next posted message; in slices, since what is already queued is not new.
      HANDLE release = release_;
      MsgWaitForMultipleObjects(1, &release, FALSE, 100, QS_POSTMESSAGE);
    }
    WaitForSingleObject(release_, INFINITE);
    sheet.pump_until_stop(10000);
    log_ = sheet.log;
  }

  const unsigned awaited_;
  Event made_, queued_, release_;
  HWND hwnd_ = nullptr;
  std::vector<Posted> log_;
  std::thread thread_;
};

}  // namespace controllertest
