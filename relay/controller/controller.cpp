#include "relay/controller/controller.h"

#include <process.h>
#include <winsock2.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "crypto/base/wipe.h"
#include "media/registry_settings.h"
#include "pki/errors/error_tables.h"
#include "pki/text/codepage.h"
#include "platform/locale/process_words.h"
#include "platform/net/last_error.h"
#include "relay/controller/internal.h"
#include "relay/steps/steps.h"
#include "relay/transport.h"
#include "v7config/deployment.h"
#include "media/selection_record.h"

namespace {

using v7::relayctl::TextPair;

const TextPair kInitFailed = {"초기화 실패", "Failed to initialize"};
// The English texts once said "write" where both read the pair.
const TextPair kSignPair = {"인증서 및 개인키 읽기 실패 : 서명용",
                            "Failed to read sign-purpose certificate and key"};
const TextPair kKmPair = {"인증서 및 개인키 읽기 실패 : 암호화용",
                          "Failed to read encryption-purpose certificate and key"};
const TextPair kConnectFailed = {"중계서버 연결 실패", "Failed to connect relay server"};

constexpr int kProbeSeconds = 8;
constexpr int kFallbackProbeSeconds = 4;
constexpr DWORD kStopRoundMs = 3000;
constexpr DWORD kQueueReadyMs = 10000;
constexpr uint32_t kProbeTimedOut = 21621;

int g_raw_port = 0, g_http_port = 0;
RelayProbeHook g_probe_hook = nullptr;
RelaySessionHook g_session_hook = nullptr;

int raw_port() { return g_raw_port != 0 ? g_raw_port : V7_RELAY_RAW_PORT; }
int http_port() { return g_http_port != 0 ? g_http_port : V7_RELAY_HTTP_PORT; }

int probe(int seconds, int port) {
  return g_probe_hook != nullptr ? g_probe_hook(seconds, port) : RelayProbeServer(seconds, port);
}

bool equals_nocase(const char *a, const char *b) {
  for (; *a != 0 && *b != 0; a++, b++) {
    char x = *a >= 'a' && *a <= 'z' ? char(*a - 32) : *a;
    char y = *b >= 'a' && *b <= 'z' ? char(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// A relay setting as it stands, or "" when it is missing or unreadable.
std::string relay_setting(const char *name) {
  char *value = nullptr;
  std::string out;
  if (reg_read_value("velmoraRelay", name, &value) == 0 && value != nullptr) out = value;
  free(value);
  return out;
}

std::u16string number(long long n) { return v7::relayctl::ascii_wide(std::to_string(n).c_str()); }

char *copy_text(const char *text) {
  size_t n = strlen(text) + 1;
  char *out = static_cast<char *>(malloc(n));
  if (out != nullptr) memcpy(out, text, n);
  return out;
}

}  // namespace

void relay_controller_set_ports(int raw, int http) {
  g_raw_port = raw;
  g_http_port = http;
}
void relay_controller_set_probe_hook(RelayProbeHook hook) { g_probe_hook = hook; }
void relay_controller_set_session_hook(RelaySessionHook hook) { g_session_hook = hook; }

void relay_received_record_free(ReceivedCertRecord *r) {
  if (r == nullptr) return;
  v7::secure_wipe(r->sign_key, r->sign_key_len);
  v7::secure_wipe(r->km_key, r->km_key_len);
  free(r->sign_key);
  free(r->sign_cert);
  free(r->km_key);
  free(r->km_cert);
  v7::secure_wipe(r, sizeof *r);
  free(r);
}

void relay_message_payload_free(unsigned message, LPARAM payload) {
  if (payload == 0) return;
  switch (message) {
    case WM_RELAY_CERTDATA:
      relay_received_record_free(reinterpret_cast<ReceivedCertRecord *>(payload));
      break;
    case WM_RELAY_AUTHCODE:
    case WM_RELAY_CERTINFO:
    case WM_RELAY_ERROR: {
      // The code to show is a secret like the typed one.
      char *text = reinterpret_cast<char *>(payload);
      v7::secure_wipe(text, strlen(text));
      free(text);
      break;
    }
    default:
      break;
  }
}

CThreadParam::~CThreadParam() {
  // The typed code and registration number are as secret as the controller's own copy of them.
  for (char *text : {text1, text2, text3}) {
    if (text != nullptr) v7::secure_wipe(text, strlen(text));
    free(text);
  }
  if (queue_ready != nullptr) CloseHandle(queue_ready);
}

CCertRelayThread::CCertRelayThread()
    : msg_init_failed_(v7::relayctl::pick_wide(kInitFailed)),
      msg_sign_pair_(v7::relayctl::pick_wide(kSignPair)),
      msg_km_pair_(v7::relayctl::pick_wide(kKmPair)),
      msg_connect_failed_(v7::relayctl::pick_wide(kConnectFailed)) {}

CCertRelayThread::~CCertRelayThread() {
  JoinWorker();
  delete param_;
  CloseIdleSocket();
  relay_session_free(session_);
  v7::secure_wipe(typed_, sizeof typed_);
}

int CCertRelayThread::WorkerResult() const { return param_ != nullptr ? param_->result : 0; }

// A connection that no worker took over: Connect opened it and started the socket layer.
void CCertRelayThread::CloseIdleSocket() {
  if (socket_ == -1) return;
  v7::net_close(socket_);
  v7::net_cleanup();
  socket_ = -1;
}

void CCertRelayThread::ChooseTransport(uint32_t flags) {
  if ((flags & 2) != 0) {
    transport_ = kRelayTransportHttp;
    port_ = http_port();
    host_ = relay_host();
  } else {
    transport_ = kRelayTransportRaw;
    port_ = raw_port();
    host_ = nullptr;
  }
}

// 0 when the chosen transport (or, where allowed, the other one) answers; else -1 with the text.
int CCertRelayThread::ProbeAndFallBack() {
  const std::string nonblocking = relay_setting("Nonblocking");
  if (equals_nocase(nonblocking.c_str(), "NO") || equals_nocase(nonblocking.c_str(), "FALSE")) return 0;
  const std::string fixed = relay_setting("TRANSFER");
  bool fallback = false;
  if (equals_nocase(fixed.c_str(), "HTTP")) {
    ChooseTransport(2);
  } else if (equals_nocase(fixed.c_str(), "NON-HTTP")) {
    ChooseTransport(0);
  } else {
    fallback = true;
  }
  if (probe(kProbeSeconds, port_) == 1) return 0;
  if (fallback) {
    ChooseTransport(transport_ == kRelayTransportHttp ? 0 : 2);
    if (probe(kFallbackProbeSeconds, port_) == 1) return 0;
  }
  const uint32_t last = v7::thread_last_error();
  if (last == kProbeTimedOut) {
    const char *why = language_is_korean() ? err_text_ko(int(last)) : err_text_en(int(last));
    SetError(msg_connect_failed_ + u" - " +
             (language_is_korean() ? v7::relayctl::setting_wide(why) : v7::relayctl::ascii_wide(why)) +
             u" [" + number(last) + u"]");
  } else {
    SetError(msg_connect_failed_ + u" [Windows System Error Code : " + number(last) + u"]");
  }
  return -1;
}

int CCertRelayThread::Connect(RelayModeWord mode, uint32_t flags, CCertSelect *select, const char *typed,
                              const char *new_password) {
  // Called from a handler while StopWorker pumps: the worker still holds the session.
  if (typed == nullptr || stopping_) return -1;
  // The session and the socket of an earlier transfer may still be in its worker's hands.
  JoinWorker();
  delete param_;
  param_ = nullptr;
  CloseIdleSocket();
  relay_session_free(session_);
  session_ = nullptr;
  error_text_.clear();

  ChooseTransport(flags);
  if (ProbeAndFallBack() != 0) return -1;

  session_ = relay_session_new(mode);
  if (session_ == nullptr) {
    SetError(msg_init_failed_ + u"[" + number(errno) + u"]");
    return -1;
  }
  if (g_session_hook != nullptr) g_session_hook(session_);
  v7::secure_wipe(typed_, sizeof typed_);
  strncpy(typed_, typed, sizeof typed_ - 1);

  if (relay_mode_is_recipient(mode)) {
    if (relay_session_set_id_text(typed_, session_) != 0) {
      SetError(v7::relayctl::setting_wide(v7::relayctl::session_failure_text(session_)));
      return -1;
    }
  } else {
    if (select == nullptr) return -1;
    const CertSelectBytes &cert = select->Buffer(kSelectSignCert), &key = select->Buffer(kSelectSignKey);
    if (cert.length == 0 || key.length == 0) {
      SetError(msg_sign_pair_);
      return -1;
    }
    const char *password = CertListGetPassword(select->record);
    const CertSelectBytes &vid = select->Buffer(kSelectVidRandom);
    if (relay_load_sign_pair(password, session_, cert.data, cert.length, key.data, key.length,
                             vid.length != 0 ? vid.data : nullptr, vid.length, new_password) != 0) {
      SetError(v7::relayctl::setting_wide(v7::relayctl::session_failure_text(session_)));
      return -1;
    }
    const CertSelectBytes &km_cert = select->Buffer(kSelectKmCert), &km_key = select->Buffer(kSelectKmKey);
    if (km_cert.length != 0) {
      if (km_key.length == 0) {
        SetError(msg_km_pair_);
        return -1;
      }
      if (relay_load_km_pair(password, session_, km_cert.data, km_cert.length, km_key.data, km_key.length,
                             new_password) != 0) {
        SetError(v7::relayctl::setting_wide(v7::relayctl::session_failure_text(session_)));
        return -1;
      }
    }
  }

  socket_ = relay_connect(port_);
  if (socket_ == -1) {
    SetError(msg_connect_failed_);
    return -1;
  }
  mode_ = mode;
  return 0;
}

int CCertRelayThread::StartWorker(HWND sheet) {
  if (sheet == nullptr || typed_[0] == 0 || session_ == nullptr || socket_ == -1 || stopping_) return -1;
  JoinWorker();
  delete param_;
  param_ = new CThreadParam();
  param_->sheet = sheet;
  param_->socket = socket_;
  param_->session = session_;
  param_->mode = mode_;
  param_->transport = transport_;
  param_->host = host_;
  char *copy = copy_text(typed_);
  (relay_mode_is_recipient(mode_) ? param_->text2 : param_->text1) = copy;
  param_->queue_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (copy == nullptr || param_->queue_ready == nullptr) {
    delete param_;
    param_ = nullptr;
    return -1;
  }
  unsigned id = 0;
  uintptr_t handle =
      _beginthreadex(nullptr, 0, relay_mode_is_recipient(mode_) ? RelayRecvThreadProc : RelaySendThreadProc,
                     param_, CREATE_SUSPENDED, &id);
  if (handle == 0) {
    delete param_;
    param_ = nullptr;
    return -1;
  }
  socket_ = -1;  // the worker's from here on: it closes it
  thread_ = reinterpret_cast<HANDLE>(handle);
  thread_id_ = id;
  ResumeThread(thread_);
  // A thread message posted before the worker has a queue is lost; it makes one first thing.
  HANDLE wait[2] = {param_->queue_ready, thread_};
  WaitForMultipleObjects(2, wait, FALSE, kQueueReadyMs);
  sheet_ = sheet;
  running_ = true;
  return 0;
}

namespace {

// One stop round: true when the thread ended; false on a time-out or a failed wait. Input that
// arrives meanwhile is handled, one message at a time, and the round starts again.
// One stop round: the messages pumped meanwhile do not lengthen it.
bool wait_for_thread(HANDLE thread) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= kStopRoundMs) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, kStopRoundMs - spent, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

}  // namespace

int CCertRelayThread::StopWorker() {
  if (thread_ == nullptr || !running_ || stopping_) return 0;
  stopping_ = true;
  HANDLE thread = thread_;
  PostThreadMessageW(thread_id_, WM_RELAY_STOP, 0, 0);
  stop_rounds_ = 1;
  bool ended = wait_for_thread(thread);
  if (!ended && param_ != nullptr) {
    // Stuck in a send or a receive: a socket shut down under it returns at once.
    stop_rounds_ = 2;
    param_->stop_requested = true;
    v7::relayctl::shutdown_worker_socket(param_);
    ended = wait_for_thread(thread);
  }
  running_ = false;
  if (!ended) {
    stop_rounds_ = 3;
    TerminateThread(thread, 0);
  }
  CloseHandle(thread);
  thread_ = nullptr;
  thread_id_ = 0;
  stopping_ = false;
  return 0;
}

void CCertRelayThread::JoinWorker() {
  if (thread_ == nullptr || stopping_) return;
  running_ = true;  // a worker that ended on its own is joined the same way
  StopWorker();
}
