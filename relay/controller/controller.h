// The session controller that the transfer wizard sheet owns, and the worker thread that runs one
// transfer. On the UI thread Connect chooses the transport, probes the relay host, creates the
// session, loads the sender's pairs and opens the connection; StartWorker then runs the protocol
// steps on a thread of their own, which reports to the sheet with the messages of
// relay_messages.h and takes the user's answers as thread messages. StopWorker ends a worker.
//
// Ownership: after StartWorker only the worker touches the socket, the session and the parameter
// block. Connect and StartWorker first stop and join a worker that still runs, so a second
// transfer never frees what the first one is still using. What a message carries (a text, the
// received certificate set) is a heap copy that the message owns: a message still queued when the
// next Connect frees the session and the parameter block keeps its payload, and the sheet frees it
// once handled (relay_message_payload_free).
#pragma once

#include <winsock2.h>  // before any windows.h, which it brings in

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "relay/controller/relay_messages.h"
#include "relay/session/session.h"
#include "relay/mode_word.h"

class CCertSelect;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the error text is handed out as wide text");

// Frees a record posted with WM_RELAY_CERTDATA: the keys are wiped first. Null is ignored.
void relay_received_record_free(ReceivedCertRecord *record);
// Frees what a worker's message carries, wiped first: the text of WM_RELAY_AUTHCODE,
// WM_RELAY_CERTINFO and WM_RELAY_ERROR, the record of WM_RELAY_CERTDATA. The receiver calls it
// once it has handled the message, or drops it unhandled; other messages carry nothing.
void relay_message_payload_free(unsigned message, LPARAM payload);

// The worker's parameter block.
class CThreadParam {
 public:
  CThreadParam() = default;
  CThreadParam(const CThreadParam &) = delete;
  CThreadParam &operator=(const CThreadParam &) = delete;
  virtual ~CThreadParam();

  HWND sheet = nullptr;
  intptr_t socket = -1;
  RelaySession *session = nullptr;  // the controller's
  RelayModeWord mode = 0x80000002u;
  char *text1 = nullptr;               // sender: the typed code; recipient: the code to show (owned)
  char *text2 = nullptr;               // recipient: the typed text (owned)
  char *text3 = nullptr;               // recipient: the subject text of the arriving certificate (owned)
  const char *failure_text = nullptr;  // not owned: a fixed text or the session's (posted as a copy)
  int result = 0;
  int transport = 2;
  const char *host = nullptr;  // the controller's

  // Set by the worker once its message queue exists, so that no thread message is lost.
  HANDLE queue_ready = nullptr;
  // Set by the controller before it shuts the socket down to unblock a stuck worker: the
  // failure that follows is then a stop, not a lost connection.
  std::atomic<bool> stop_requested{false};
  // Guards the socket between the worker closing it and the controller shutting it down.
  std::mutex socket_lock;
};

class CCertRelayThread {
 public:
  CCertRelayThread();
  CCertRelayThread(const CCertRelayThread &) = delete;
  CCertRelayThread &operator=(const CCertRelayThread &) = delete;
  virtual ~CCertRelayThread();

  // 0, or -1 with the reason in ErrorText(). Sends nothing. flags: the control's transfer flags
  // (the bit of value 2 asks for HTTP); select: the sender's chosen set (null for a recipient);
  // typed: the authorization code (sender) or the registration number or placeholder
  // (recipient); new_password: the sender's new password for the copy, or null.
  int Connect(RelayModeWord mode, uint32_t flags, CCertSelect *select, const char *typed,
              const char *new_password);
  // 0 or -1.
  int StartWorker(HWND sheet);
  // Always 0.
  int StopWorker();

  const wchar_t *ErrorText() const { return reinterpret_cast<const wchar_t *>(error_text_.c_str()); }
  // Set by StartWorker until StopWorker, and only while the thread is alive: a worker that ended
  // on its own is not shown as running.
  bool Running() const {
    return running_ && thread_ != nullptr && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT;
  }
  int TransportKind() const { return transport_; }
  int Port() const { return port_; }
  DWORD WorkerThreadId() const { return thread_id_; }
  // The worker's result: valid once its WM_RELAY_STOP has arrived (it is stored before), else 0.
  int WorkerResult() const;
  // How the last StopWorker ended its worker: 1 the worker saw the stop, 2 it ended only once its
  // socket was shut down, 3 it had to be terminated; 0 when no stop has found a worker yet.
  int LastStopRounds() const { return stop_rounds_; }

 private:
  void SetError(const std::u16string &text) { error_text_ = text; }
  void CloseIdleSocket();
  // Stops a worker that still runs and releases its thread object.
  void JoinWorker();
  void ChooseTransport(uint32_t flags);
  int ProbeAndFallBack();

  RelayModeWord mode_ = 0;
  intptr_t socket_ = -1;  // until StartWorker hands it to the worker
  int transport_ = 2;
  const char *host_ = nullptr;
  int port_ = 0;
  RelaySession *session_ = nullptr;
  CThreadParam *param_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD thread_id_ = 0;
  HWND sheet_ = nullptr;
  bool running_ = false;
  bool stopping_ = false;  // StopWorker pumps messages: a handler may call it again
  int stop_rounds_ = 0;
  char typed_[64] = {};
  std::u16string error_text_;
  std::u16string msg_init_failed_, msg_sign_pair_, msg_km_pair_, msg_connect_failed_;
};

// ---- Test seams (set by test code only, never from outside input) ------------------------------

// Ports in place of the deployment's raw and HTTP ports; 0 restores a deployment port.
void relay_controller_set_ports(int raw_port, int http_port);
// Answers the probes in place of RelayProbeServer (same contract); null restores it.
typedef int (*RelayProbeHook)(int seconds, int port);
void relay_controller_set_probe_hook(RelayProbeHook hook);
// Called with every session Connect creates, before anything is loaded into it; null: none.
typedef void (*RelaySessionHook)(RelaySession *session);
void relay_controller_set_session_hook(RelaySessionHook hook);
// Called on the worker's thread when a reply has begun to arrive, just before it is read whole
// (from then on the worker does not look at its queue until the read ends); null: none.
typedef void (*RelayReplyBegunHook)();
void relay_controller_set_reply_begun_hook(RelayReplyBegunHook hook);
