// Pieces shared by the controller and its worker procedures.
#pragma once

#include <winsock2.h>  // before any windows.h, which it brings in

#include <cstddef>
#include <cstdint>
#include <string>

#include "relay/controller/controller.h"

namespace v7 {
namespace relayctl {

// A user-visible text pair: Korean and English, both UTF-8.
struct TextPair {
  const char *korean;
  const char *english;
};

// The pair's text in the language of LanguageId, as wide text (empty when it does not convert).
std::u16string pick_wide(const TextPair &pair);
// Narrow text in the encoding of the setting, as wide text; empty when it does not convert.
std::u16string setting_wide(const char *text);
std::u16string ascii_wide(const char *text);

// The session's failure text in the language of LanguageId.
const char *session_failure_text(RelaySession *session);

// Closes the worker's socket under the block's lock and ends the socket layer once.
void close_worker_socket(CThreadParam *param);
// Shuts the worker's socket down (both ways), if it is still open, to unblock a send or receive.
void shutdown_worker_socket(CThreadParam *param);

}  // namespace relayctl
}  // namespace v7

// Sends record and, when reply is given, waits for one record. 0 with the reply (free with
// relay_free), WM_RELAY_STOP when a stop arrived while waiting, kErrRelayLostConnection when the connection failed.
int RelayExchangeMessage(const uint8_t *record, size_t length, unsigned notice, intptr_t socket,
                         uint8_t **reply, size_t *reply_length, HWND sheet, int transport, const char *host);
// Waits for WM_RELAY_STOP, WM_RELAY_PROCEED, WM_RELAY_CONFIRM or WM_RELAY_CERTDATA_TAKEN; the
// number of the one that came (others are dropped).
unsigned RelayWaitControlMessage();

unsigned __stdcall RelaySendThreadProc(void *param);
unsigned __stdcall RelayRecvThreadProc(void *param);
