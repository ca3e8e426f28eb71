// A test "winscard.dll" for the Windows build under Wine, whose own winscard is a stub. It
// offers two readers: "Test Reader 0" is empty, "Test Reader 1" holds the virtual card of
// tools/vcard, reached over 127.0.0.1 with vcard's frames (2-byte big-endian length, payload;
// one-byte payloads 0 power off, 1 power on, 4 ATR). Its port is the "card" line of
// %V7_CARD_DIR%\vcard.ports.
//
// It holds the caller to the WinSCard contract the store relies on and logs every call into
// %V7_CARD_DIR%\winscard.log, one line each, so a test can check the calls the Windows build
// makes: the share mode, the protocols, the PCI header the transmit passes (its length is 8 on
// Windows, 32- and 64-bit alike), the disposition of the disconnect.
#define WINSCARDAPI __declspec(dllexport)
#define WINSCARDDATA __declspec(dllexport)
// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>
#include <winscard.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
const SCARD_IO_REQUEST g_rgSCardT0Pci = {SCARD_PROTOCOL_T0, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardT1Pci = {SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardRawPci = {SCARD_PROTOCOL_RAW, sizeof(SCARD_IO_REQUEST)};
}

namespace {

const char kReaders[] = "Test Reader 0\0Test Reader 1\0";  // and the final terminator
const char kCardReader[] = "Test Reader 1";
constexpr SCARDCONTEXT kContext = 0x5C01;
constexpr SCARDHANDLE kCard = 0x5C02;

struct State {
  bool context = false;
  bool connected = false;
  SOCKET sock = INVALID_SOCKET;
  std::vector<BYTE> atr;
};

State &state() {
  static State s;
  return s;
}

std::string card_dir() {
  const char *dir = std::getenv("V7_CARD_DIR");
  return dir != nullptr ? dir : ".";
}

void note(const char *format, ...) {
  FILE *f = std::fopen((card_dir() + "\\winscard.log").c_str(), "a");
  if (f == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(f, format, args);
  va_end(args);
  std::fputc('\n', f);
  std::fclose(f);
}

int card_port() {
  FILE *f = std::fopen((card_dir() + "\\vcard.ports").c_str(), "r");
  if (f == nullptr) return 0;
  char name[32];
  int port = 0, found = 0;
  while (std::fscanf(f, "%31s %d", name, &port) == 2)
    if (std::strcmp(name, "card") == 0) found = port;
  std::fclose(f);
  return found;
}

bool send_all(SOCKET s, const BYTE *p, size_t n) {
  while (n > 0) {
    int sent = send(s, reinterpret_cast<const char *>(p), static_cast<int>(n), 0);
    if (sent <= 0) return false;
    p += sent;
    n -= static_cast<size_t>(sent);
  }
  return true;
}

bool recv_all(SOCKET s, BYTE *p, size_t n) {
  while (n > 0) {
    int got = recv(s, reinterpret_cast<char *>(p), static_cast<int>(n), 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool send_frame(const BYTE *payload, size_t n) {
  if (n == 0 || n > 0xFFFF) return false;
  std::vector<BYTE> frame(2 + n);
  frame[0] = static_cast<BYTE>(n >> 8);
  frame[1] = static_cast<BYTE>(n);
  std::memcpy(frame.data() + 2, payload, n);
  return send_all(state().sock, frame.data(), frame.size());
}

bool recv_frame(std::vector<BYTE> *payload) {
  BYTE head[2];
  if (!recv_all(state().sock, head, 2)) return false;
  payload->resize(static_cast<size_t>(head[0]) << 8 | head[1]);
  return payload->empty() || recv_all(state().sock, payload->data(), payload->size());
}

bool control(BYTE code) { return send_frame(&code, 1); }

bool reach_card() {
  State &st = state();
  if (st.sock != INVALID_SOCKET) return true;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  int port = card_port();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (port == 0 || s == INVALID_SOCKET || connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return false;
  }
  BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
  st.sock = s;
  return true;
}

}  // namespace

extern "C" {

LONG WINAPI SCardEstablishContext(DWORD scope, LPCVOID, LPCVOID, LPSCARDCONTEXT context) {
  note("establish scope=%lu", static_cast<unsigned long>(scope));
  if (context == nullptr) return SCARD_E_INVALID_PARAMETER;
  state().context = true;
  *context = kContext;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT context) {
  note("release");
  if (context != kContext || !state().context) return SCARD_E_INVALID_HANDLE;
  state().context = false;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardListReadersA(SCARDCONTEXT context, LPCSTR groups, LPSTR readers, LPDWORD chars) {
  note("list groups=%s capacity=%lu", groups != nullptr ? groups : "(null)",
       chars != nullptr ? static_cast<unsigned long>(*chars) : 0UL);
  if (context != kContext || !state().context) return SCARD_E_INVALID_HANDLE;
  if (chars == nullptr || *chars == SCARD_AUTOALLOCATE) return SCARD_E_INVALID_PARAMETER;
  DWORD need = sizeof kReaders;
  if (readers == nullptr) {
    *chars = need;
    return SCARD_S_SUCCESS;
  }
  if (*chars < need) {
    *chars = need;
    return SCARD_E_INSUFFICIENT_BUFFER;
  }
  std::memcpy(readers, kReaders, need);
  *chars = need;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardConnectA(SCARDCONTEXT context, LPCSTR reader, DWORD share, DWORD protocols,
                          LPSCARDHANDLE card, LPDWORD active) {
  note("connect reader=%s share=%lu protocols=%lu", reader != nullptr ? reader : "(null)",
       static_cast<unsigned long>(share), static_cast<unsigned long>(protocols));
  State &st = state();
  if (context != kContext || !st.context) return SCARD_E_INVALID_HANDLE;
  if (reader == nullptr || card == nullptr || active == nullptr) return SCARD_E_INVALID_PARAMETER;
  if (std::strcmp(reader, "Test Reader 0") == 0) return SCARD_E_NO_SMARTCARD;
  if (std::strcmp(reader, kCardReader) != 0) return SCARD_E_UNKNOWN_READER;
  if (st.connected) return SCARD_E_SHARING_VIOLATION;
  if ((protocols & (SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1)) == 0) return SCARD_E_PROTO_MISMATCH;
  std::vector<BYTE> atr;
  if (!reach_card() || !control(1) || !control(4) || !recv_frame(&atr) || atr.empty())
    return SCARD_E_NO_SMARTCARD;
  st.atr = atr;
  st.connected = true;
  *card = kCard;
  *active = (protocols & SCARD_PROTOCOL_T1) != 0 ? SCARD_PROTOCOL_T1 : SCARD_PROTOCOL_T0;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardDisconnect(SCARDHANDLE card, DWORD disposition) {
  note("disconnect disposition=%lu", static_cast<unsigned long>(disposition));
  State &st = state();
  if (card != kCard || !st.connected) return SCARD_E_INVALID_HANDLE;
  st.connected = false;
  if (disposition == SCARD_UNPOWER_CARD) control(0);
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardStatusA(SCARDHANDLE card, LPSTR name, LPDWORD name_len, LPDWORD status, LPDWORD protocol,
                         LPBYTE atr, LPDWORD atr_len) {
  note("status");
  State &st = state();
  if (card != kCard || !st.connected) return SCARD_E_INVALID_HANDLE;
  if (name_len != nullptr) {
    DWORD need = sizeof kCardReader + 1;
    if (name != nullptr) {
      if (*name_len < need) return SCARD_E_INSUFFICIENT_BUFFER;
      std::memcpy(name, kCardReader, sizeof kCardReader);
      name[sizeof kCardReader] = '\0';
    }
    *name_len = need;
  }
  if (status != nullptr) *status = SCARD_SPECIFIC;
  if (protocol != nullptr) *protocol = SCARD_PROTOCOL_T1;
  if (atr_len != nullptr) {
    if (atr != nullptr) {
      if (*atr_len < st.atr.size()) return SCARD_E_INSUFFICIENT_BUFFER;
      std::memcpy(atr, st.atr.data(), st.atr.size());
    }
    *atr_len = static_cast<DWORD>(st.atr.size());
  }
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardTransmit(SCARDHANDLE card, LPCSCARD_IO_REQUEST send_pci, LPCBYTE command, DWORD command_len,
                          LPSCARD_IO_REQUEST, LPBYTE answer, LPDWORD answer_len) {
  note("transmit protocol=%lu pci=%lu length=%lu",
       send_pci != nullptr ? static_cast<unsigned long>(send_pci->dwProtocol) : 0UL,
       send_pci != nullptr ? static_cast<unsigned long>(send_pci->cbPciLength) : 0UL,
       static_cast<unsigned long>(command_len));
  State &st = state();
  if (card != kCard || !st.connected) return SCARD_E_INVALID_HANDLE;
  if (send_pci == nullptr || send_pci->cbPciLength != sizeof(SCARD_IO_REQUEST) ||
      send_pci->dwProtocol != SCARD_PROTOCOL_T1 || command == nullptr || command_len < 4 ||
      answer == nullptr || answer_len == nullptr)
    return SCARD_E_INVALID_PARAMETER;
  std::vector<BYTE> reply;
  if (!send_frame(command, command_len) || !recv_frame(&reply)) return SCARD_E_COMM_DATA_LOST;
  if (reply.size() > *answer_len) return SCARD_E_INSUFFICIENT_BUFFER;
  std::memcpy(answer, reply.data(), reply.size());
  *answer_len = static_cast<DWORD>(reply.size());
  return SCARD_S_SUCCESS;
}

}  // extern "C"
