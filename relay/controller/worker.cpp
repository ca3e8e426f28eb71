// The worker's side of a transfer: the exchanges with the relay server, the waits for the user's
// answers and the two thread procedures.
#include <winsock2.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "pki/text/codepage.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "relay/controller/internal.h"
#include "relay/record.h"
#include "relay/steps/steps.h"
#include "relay/transport.h"

namespace v7 {
namespace relayctl {

std::u16string pick_wide(const TextPair &pair) {
  char16_t *wide = nullptr;
  std::u16string out;
  if (utf8_to_wide(language_is_korean() ? pair.korean : pair.english, &wide) == 0) out = wide;
  free(wide);
  return out;
}

std::u16string setting_wide(const char *text) {
  char16_t *wide = nullptr;
  std::u16string out;
  if (text != nullptr && setting_to_wide(text, &wide) == 0) out = wide;
  free(wide);
  return out;
}

std::u16string ascii_wide(const char *text) {
  std::u16string out;
  for (; text != nullptr && *text != 0; text++) out += char16_t(uint8_t(*text));
  return out;
}

const char *session_failure_text(RelaySession *session) {
  const char *text = relay_failure_text(session, language_id());
  return text != nullptr ? text : "";
}

void close_worker_socket(CThreadParam *param) {
  std::lock_guard<std::mutex> hold(param->socket_lock);
  if (param->socket == -1) return;
  v7::net_close(param->socket);
  v7::net_cleanup();  // the reference relay_connect took
  param->socket = -1;
}

void shutdown_worker_socket(CThreadParam *param) {
  std::lock_guard<std::mutex> hold(param->socket_lock);
  if (param->socket == -1) return;
  // A shutdown wakes a blocked receive on Windows; Wine needs the close as well. The worker's
  // next call on the closed socket fails, and it ends as a stopped worker.
  shutdown(SOCKET(param->socket), SD_BOTH);
  v7::net_close(param->socket);
  v7::net_cleanup();
  param->socket = -1;
}

}  // namespace relayctl
}  // namespace v7

namespace {

const char kDisconnectedEnglish[] = "Failed to transfer the certificate.\r\nDisconnected from relay server.";
const char kDisconnectedKorean[] = "인증서 이동에 실패하였습니다.\r\n중계서버와 연결이 중단되었습니다.";

const char *disconnected_text() {
  if (!language_is_korean()) return kDisconnectedEnglish;
  if (char_encoding_is_utf8()) return kDisconnectedKorean;
  static const std::string euckr = [] {
    char *text = nullptr;
    std::string out;
    if (utf8_to_euckr(kDisconnectedKorean, &text) != 0 && text != nullptr) out = text;
    free(text);
    return out;
  }();
  return euckr.c_str();
}

int send_record(const uint8_t *record, size_t length, intptr_t socket, int transport, const char *host) {
  return transport == kRelayTransportHttp ? relay_send_post(record, host, socket, int(length))
                                          : relay_send_all(int(length), socket, record);
}

// What one transfer holds while it runs: the record to send next and the reply to the last one.
struct Run {
  CThreadParam *param;
  RelaySession *session;
  uint8_t *out = nullptr;
  size_t out_len = 0;
  uint8_t *reply = nullptr;
  size_t reply_len = 0;

  explicit Run(CThreadParam *p) : param(p), session(p->session) {}
  ~Run() {
    free(out);
    relay_free(reply);
  }

  // The controller may shut the socket down at any moment, under the block's lock.
  intptr_t socket() const {
    std::lock_guard<std::mutex> hold(param->socket_lock);
    return param->socket;
  }

  // Sends the record built last; with a reply wanted, waits for it.
  int exchange(unsigned notice, bool want_reply = true) {
    relay_free(reply);
    reply = nullptr;
    reply_len = 0;
    int rc = RelayExchangeMessage(out, out_len, notice, socket(), want_reply ? &reply : nullptr, &reply_len,
                                  param->sheet, param->transport, param->host);
    free(out);
    out = nullptr;
    out_len = 0;
    return rc;
  }

  // A failed step: a pending alert is sent at once, without waiting for an answer.
  int failed(int rc) {
    if (rc != -2) return -1;
    uint8_t *alert = nullptr;
    size_t n = relay_alert_record(session, &alert);
    intptr_t sock = socket();
    if (n != 0 && sock != -1) send_record(alert, n, sock, param->transport, param->host);
    free(alert);
    return -2;
  }

  void post(unsigned message) { PostMessageW(param->sheet, message, 0, 0); }
};

// Posts a copy of text that the message owns: the sheet may take the message off its queue after
// the next Connect has freed the parameter block and the session the text came from. When no copy
// can be made the message goes without one, as a text the sheet cannot show.
void post_text(HWND sheet, unsigned message, const char *text) {
  char *copy = text != nullptr ? strdup(text) : nullptr;
  if (!PostMessageW(sheet, message, 0, reinterpret_cast<LPARAM>(copy)))
    relay_message_payload_free(message, reinterpret_cast<LPARAM>(copy));
}

// The worker's thread queue exists from its first message call on; the controller waits for it.
void make_queue(CThreadParam *param) {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  SetEvent(param->queue_ready);
}

// A heap copy of the session's four items, or null.
ReceivedCertRecord *copy_items(const RelaySession *session) {
  auto *r = static_cast<ReceivedCertRecord *>(calloc(1, sizeof(ReceivedCertRecord)));
  if (r == nullptr) return nullptr;
  uint8_t **data[] = {&r->sign_cert, &r->sign_key, &r->km_key, &r->km_cert};
  size_t *len[] = {&r->sign_cert_len, &r->sign_key_len, &r->km_key_len, &r->km_cert_len};
  for (int tag = 0; tag < kRelayItemTagCount; tag++) {
    size_t n = 0;
    const uint8_t *item = relay_session_item(session, tag, &n);
    if (item == nullptr || n == 0) continue;
    *data[tag] = static_cast<uint8_t *>(malloc(n));
    if (*data[tag] == nullptr) {
      relay_received_record_free(r);
      return nullptr;
    }
    memcpy(*data[tag], item, n);
    *len[tag] = n;
  }
  return r;
}

int run_sender(Run *run) {
  RelaySession *s = run->session;
  int rc = relay_step_hello(s, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  if ((rc = run->exchange(0)) != 0) return rc;
  rc = relay_sender_step1(s, run->reply, run->reply_len, run->param->text1, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  if ((rc = run->exchange(WM_RELAY_SEND_STEP1)) != 0) return rc;
  rc = relay_sender_step2(s, run->reply, run->reply_len, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  if ((rc = run->exchange(WM_RELAY_SEND_STEP2)) != 0) return rc;
  rc = relay_sender_step3(s, run->reply, run->reply_len, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  if ((rc = run->exchange(WM_RELAY_SEND_STEP3)) != 0) return rc;
  rc = relay_sender_finish(s, run->reply, run->reply_len);
  if (rc != 0) return run->failed(rc);
  run->post(WM_RELAY_SEND_DONE);
  return 0;
}

int run_recipient(Run *run) {
  RelaySession *s = run->session;
  CThreadParam *p = run->param;
  int rc = relay_step_hello(s, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  if ((rc = run->exchange(0)) != 0) return rc;
  rc = relay_recipient_step1(s, run->reply, run->reply_len, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  if ((rc = run->exchange(WM_RELAY_RECV_CODEWAIT)) != 0) return rc;
  rc = relay_recipient_step2(s, run->reply, run->reply_len, &p->text1, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  post_text(p->sheet, WM_RELAY_AUTHCODE, p->text1);
  if ((rc = run->exchange(0)) != 0) return rc;
  rc = relay_recipient_step3(s, run->reply, run->reply_len, &p->text3, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  post_text(p->sheet, WM_RELAY_CERTINFO, p->text3);
  if (RelayWaitControlMessage() == WM_RELAY_STOP) return WM_RELAY_STOP;
  if ((rc = run->exchange(WM_RELAY_RECV_CERTWAIT)) != 0) return rc;
  rc = relay_recipient_step4(s, run->reply, run->reply_len);
  if (rc != 0) return run->failed(rc);
  rc = relay_recipient_close(s, &run->out, &run->out_len);
  if (rc != 0) return run->failed(rc);
  if ((rc = run->exchange(0, false)) != 0) return rc;

  // The message owns the record once it is posted; one that cannot be posted stays ours.
  ReceivedCertRecord *record = copy_items(s);
  if (record == nullptr) return -1;
  if (!PostMessageW(p->sheet, WM_RELAY_CERTDATA, 0, reinterpret_cast<LPARAM>(record))) {
    relay_message_payload_free(WM_RELAY_CERTDATA, reinterpret_cast<LPARAM>(record));
    return -1;
  }
  // The transfer is complete: a late confirmation must not turn it into a failure.
  for (;;) {
    unsigned m = RelayWaitControlMessage();
    if (m == WM_RELAY_STOP || m == WM_RELAY_CERTDATA_TAKEN) return int(m);
  }
}

unsigned run_worker(CThreadParam *p, int (*procedure)(Run *)) {
  make_queue(p);
  int result;
  {
    Run run(p);
    result = procedure(&run);
  }
  v7::relayctl::close_worker_socket(p);
  // A connection that failed because the controller shut it down was a stop.
  if (result != 0 && p->stop_requested) result = WM_RELAY_STOP;
  p->result = result;
  const bool recipient = relay_mode_is_recipient(p->mode);
  const bool success = result == 0 || (recipient && result == int(WM_RELAY_CERTDATA_TAKEN));
  if (result == v7::kErrRelayLostConnection) {
    p->failure_text = disconnected_text();
  } else if (!success && result != int(WM_RELAY_STOP)) {
    p->failure_text = v7::relayctl::session_failure_text(p->session);
  }
  if (p->failure_text != nullptr) post_text(p->sheet, WM_RELAY_ERROR, p->failure_text);
  PostMessageW(p->sheet, WM_RELAY_STOP, 0, 0);
  return unsigned(result);
}

}  // namespace

namespace {
std::atomic<RelayReplyBegunHook> g_reply_begun_hook{nullptr};
}  // namespace

void relay_controller_set_reply_begun_hook(RelayReplyBegunHook hook) { g_reply_begun_hook = hook; }

int RelayExchangeMessage(const uint8_t *record, size_t length, unsigned notice, intptr_t socket,
                         uint8_t **reply, size_t *reply_length, HWND sheet, int transport, const char *host) {
  if (socket == -1) return v7::kErrRelayLostConnection;
  if (send_record(record, length, socket, transport, host) != 0) return v7::kErrRelayLostConnection;
  if (notice != 0) PostMessageW(sheet, notice, 0, 0);
  if (reply == nullptr) return 0;
  for (;;) {
    // Only the stop is taken here: a proceed or confirm the sheet posts early stays queued for
    // the wait that expects it.
    MSG msg;
    if (PeekMessageW(&msg, nullptr, WM_RELAY_STOP, WM_RELAY_STOP, PM_REMOVE)) return WM_RELAY_STOP;
    unsigned ready = 0;
    int n = v7::net_select(socket, v7::kNetReadable, 1, &ready);
    if (n < 0) return v7::kErrRelayLostConnection;
    if (n > 0) break;
  }
  if (RelayReplyBegunHook hook = g_reply_begun_hook) hook();
  int got = 0;
  int rc = transport == kRelayTransportHttp ? relay_recv_response(&got, socket, reply)
                                            : relay_recv_record(&got, socket, reply);
  if (rc != 0) return v7::kErrRelayLostConnection;
  *reply_length = size_t(got);
  return 0;
}

unsigned RelayWaitControlMessage() {
  MSG msg;
  for (;;) {
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return WM_RELAY_STOP;
    switch (msg.message) {
      case WM_RELAY_STOP:
      case WM_RELAY_PROCEED:
      case WM_RELAY_CONFIRM:
      case WM_RELAY_CERTDATA_TAKEN:
        return msg.message;
      default:
        break;
    }
  }
}

unsigned __stdcall RelaySendThreadProc(void *param) {
  return run_worker(static_cast<CThreadParam *>(param), run_sender);
}

unsigned __stdcall RelayRecvThreadProc(void *param) {
  return run_worker(static_cast<CThreadParam *>(param), run_recipient);
}
