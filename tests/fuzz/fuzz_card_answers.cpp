// The IC-card store against a card whose every answer comes from the input. This program's own
// PC/SC functions stand in for pcsclite's (an executable's definitions come before a shared
// library's): one reader, a card that connects and reports itself present, and a SCardTransmit
// that hands out the input's answers in turn. The first byte chooses the operation (read, probe,
// write or erase); the rest is a stream of answers, each a length byte and that many bytes, until
// the input ends, after which the card is gone. Besides memory safety: a read that succeeds gives
// a buffer within the store's limits, a failure gives none, and results stay in their ranges.
#include <PCSC/winscard.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "media/smartcard/smartcard.h"
#include "platform/errors/error_codes.h"
#include "platform/ui/message_box.h"

namespace {

struct Answers {
  const uint8_t *at = nullptr;
  size_t left = 0;
} g_answers;

const char kReaders[] = "Fuzz Reader 0\0";  // a multi-string: one name, then the empty one
const char kPin[] = "1234";

// The store tells the user of a refused PIN in a message box: answered here without a word.
int answer_ok(const char16_t *, const char16_t *, unsigned) { return 1; }

}  // namespace

extern "C" {

LONG SCardEstablishContext(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT context) {
  *context = 1;
  return SCARD_S_SUCCESS;
}

LONG SCardReleaseContext(SCARDCONTEXT) { return SCARD_S_SUCCESS; }

LONG SCardListReaders(SCARDCONTEXT, LPCSTR, LPSTR readers, LPDWORD chars) {
  if (readers == nullptr || *chars < sizeof kReaders) {
    *chars = sizeof kReaders;
    return readers == nullptr ? SCARD_S_SUCCESS : SCARD_E_INSUFFICIENT_BUFFER;
  }
  std::memcpy(readers, kReaders, sizeof kReaders);
  *chars = sizeof kReaders;
  return SCARD_S_SUCCESS;
}

LONG SCardConnect(SCARDCONTEXT, LPCSTR, DWORD, DWORD, LPSCARDHANDLE card, LPDWORD protocol) {
  *card = 1;
  *protocol = SCARD_PROTOCOL_T1;
  return SCARD_S_SUCCESS;
}

LONG SCardDisconnect(SCARDHANDLE, DWORD) { return SCARD_S_SUCCESS; }

LONG SCardStatus(SCARDHANDLE, LPSTR, LPDWORD name_len, LPDWORD state, LPDWORD protocol, LPBYTE atr,
                 LPDWORD atr_len) {
  static const uint8_t kAtr[] = {0x3B, 0x80, 0x80, 0x01, 0x01};
  if (name_len != nullptr) *name_len = 0;
  *state = SCARD_PRESENT | SCARD_POWERED;
  *protocol = SCARD_PROTOCOL_T1;
  if (atr != nullptr && *atr_len >= sizeof kAtr) std::memcpy(atr, kAtr, sizeof kAtr);
  *atr_len = sizeof kAtr;
  return SCARD_S_SUCCESS;
}

LONG SCardTransmit(SCARDHANDLE, const SCARD_IO_REQUEST *, LPCBYTE, DWORD, SCARD_IO_REQUEST *, LPBYTE answer,
                   LPDWORD answer_len) {
  if (g_answers.left == 0) return SCARD_W_REMOVED_CARD;
  size_t length = g_answers.at[0];
  ++g_answers.at;
  --g_answers.left;
  if (length > g_answers.left) length = g_answers.left;
  if (length > *answer_len) return SCARD_E_INSUFFICIENT_BUFFER;
  std::memcpy(answer, g_answers.at, length);
  *answer_len = DWORD(length);
  g_answers.at += length;
  g_answers.left -= length;
  return SCARD_S_SUCCESS;
}

}  // extern "C"

namespace {

void check_read(int rc, uint8_t *out, size_t out_len, size_t limit) {
  if (rc == 0) {
    if (out == nullptr || out_len == 0 || out_len > limit) abort();
  } else if (out != nullptr) {
    abort();
  }
  sc_free(out, out_len);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  g_answers = {data + 1, size - 1};
  // Every input starts from a card the store has not refused a PIN of.
  sc_forget_refused_pin();
  v7::set_message_box_hook_w(&answer_ok);
  v7::set_message_box_hook([](const char *, const char *, unsigned) { return 1; });
  uint8_t *out = nullptr;
  size_t out_len = 0;
  static const uint8_t kObject[300] = {0x30, 0x82, 0x01, 0x28};
  const int file = (data[0] & 0x10) != 0 ? kScFileKm : kScFileSign;
  int rc = 0;
  switch (data[0] % 8) {
    case 0:
      check_read(sc_read_cert(kPin, &out, &out_len, file), out, out_len, kScObjectLimit);
      break;
    case 1:
      check_read(sc_read_key(kPin, &out, &out_len, file), out, out_len, kScObjectLimit);
      break;
    case 2:
      check_read(sc_read_random(kPin, &out, &out_len), out, out_len, kScRandomMax);
      break;
    case 3:
      rc = sc_probe_card((data[0] & 0x20) != 0 ? kPin : nullptr);
      if (rc < 0 || rc > 2) abort();
      break;
    case 4:
      rc = sc_write_cert(kPin, file, kObject, sizeof kObject);
      break;
    case 5:
      rc = sc_write_key(kPin, file, kObject, sizeof kObject);
      break;
    case 6:
      rc = sc_write_random(kPin, kObject, 20);
      break;
    case 7:
      rc = sc_erase_km_pair(kPin);
      break;
  }
  if (rc != 0 && rc != -1 && (data[0] % 8) != 3 && rc != v7::kErrCardAbsent) abort();
  return 0;
}
