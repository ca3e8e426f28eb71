// The store's few PC/SC calls. Windows' WinSCard and pcsclite share the signatures; they differ
// in the header, in the narrow names (the "A" suffix) and in what SCardStatus reports: an
// enumeration on Windows (present from SCARD_PRESENT = 2 up), a bit field in pcsclite.
#ifdef _WIN32
#include <windows.h>
#include <winscard.h>
#define V7_SCARD_LIST_READERS SCardListReadersA
#define V7_SCARD_CONNECT SCardConnectA
#define V7_SCARD_STATUS SCardStatusA
#else
#include <PCSC/winscard.h>
#define V7_SCARD_LIST_READERS SCardListReaders
#define V7_SCARD_CONNECT SCardConnect
#define V7_SCARD_STATUS SCardStatus
#endif

#include <cstring>

#include "media/smartcard/internal.h"
#include "platform/errors/error_codes.h"

namespace v7::smartcard {

namespace {

// The reader list and a reader name as the store takes them.
constexpr size_t kReaderListChars = 1024;
constexpr size_t kReaderNameMax = 99;
constexpr size_t kAtrMax = 33;
constexpr size_t kAnswerMax = 258;  // 256 data bytes and the status

struct Link {
  SCARDCONTEXT context = 0;
  bool has_context = false;
  SCARDHANDLE card = 0;
  bool connected = false;
  DWORD protocol = 0;
};

Link &link() {
  static Link l;
  return l;
}

bool present(DWORD state) {
#ifdef _WIN32
  return state >= SCARD_PRESENT;
#else
  return (state & SCARD_PRESENT) != 0;
#endif
}

}  // namespace

int link_establish() {
  Link &l = link();
  if (l.has_context) return 0;
  if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &l.context) != SCARD_S_SUCCESS)
    return kErrCardContext;
  l.has_context = true;
  return 0;
}

void link_release() {
  Link &l = link();
  link_disconnect();
  if (l.has_context) SCardReleaseContext(l.context);
  l.has_context = false;
}

void link_disconnect() {
  Link &l = link();
  if (l.connected) SCardDisconnect(l.card, SCARD_UNPOWER_CARD);
  l.connected = false;
}

int link_connect() {
  Link &l = link();
  link_disconnect();
  if (!l.has_context) return kErrCardAbsent;
  char readers[kReaderListChars];
  DWORD chars = sizeof readers;
  if (V7_SCARD_LIST_READERS(l.context, nullptr, readers, &chars) != SCARD_S_SUCCESS || chars == 0)
    return kErrCardAbsent;
  size_t total = chars < sizeof readers ? chars : sizeof readers;
  readers[total - 1] = '\0';
  // A multi-string: names one after another, each with its terminator, an empty one at the end.
  for (size_t at = 0; at < total && readers[at] != '\0';) {
    const char *name = readers + at;
    at += std::strlen(name) + 1;
    if (std::strlen(name) > kReaderNameMax) continue;
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    if (V7_SCARD_CONNECT(l.context, name, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card,
                         &protocol) == SCARD_S_SUCCESS) {
      l.card = card;
      l.protocol = protocol;
      l.connected = true;
      return 0;
    }
  }
  return kErrCardAbsent;
}

bool link_card_present(std::vector<uint8_t> *atr) {
  Link &l = link();
  if (!l.connected) return false;
  DWORD state = 0, protocol = 0;
  BYTE bytes[kAtrMax];
  DWORD atr_len = sizeof bytes;
  // No reader name wanted: a null buffer with a zero length asks for none.
  DWORD name_len = 0;
  if (V7_SCARD_STATUS(l.card, nullptr, &name_len, &state, &protocol, bytes, &atr_len) != SCARD_S_SUCCESS)
    return false;
  if (atr != nullptr) atr->assign(bytes, bytes + (atr_len <= sizeof bytes ? atr_len : 0));
  return present(state);
}

int link_transmit(const uint8_t *command, size_t len, std::vector<uint8_t> *answer) {
  Link &l = link();
  answer->clear();
  if (!l.connected) return kErrCardTransmit;
  const SCARD_IO_REQUEST *pci = l.protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
  BYTE buffer[kAnswerMax];
  DWORD got = sizeof buffer;
  if (SCardTransmit(l.card, pci, command, static_cast<DWORD>(len), nullptr, buffer, &got) !=
          SCARD_S_SUCCESS ||
      got > sizeof buffer)
    return kErrCardTransmit;
  answer->assign(buffer, buffer + got);
  secure_wipe(buffer, sizeof buffer);
  return 0;
}

}  // namespace v7::smartcard
