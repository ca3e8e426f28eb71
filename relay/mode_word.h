// The 32-bit mode word that the transfer exports build from the caller's type. It chooses the
// wizard's pages, the worker's thread procedure and the session's protocol version.
#pragma once

#include <cstdint>

typedef uint32_t RelayModeWord;

enum : uint32_t {
  kRelayModeMarker = 0x80000000u,     // always set: a zero word is never a valid mode
  kRelayModeRecipient = 0x08000000u,  // the receiving side and its worker procedure
  kRelayModeSenderAN2 = 0x04000000u,  // the sender's code page is CPageInputAN2, else CPageInputAN3
  kRelayModeKindMask = 0x0000000Fu,   // 1 to 3, also the protocol version 1.0 to 3.0
};

inline uint32_t relay_mode_kind(RelayModeWord mode) { return mode & kRelayModeKindMask; }
inline bool relay_mode_is_recipient(RelayModeWord mode) { return (mode & kRelayModeRecipient) != 0; }
inline bool relay_mode_uses_an2(RelayModeWord mode) { return (mode & kRelayModeSenderAN2) != 0; }
// The major protocol version the session speaks (1, 2 or 3); 0 for a word without a valid kind.
inline uint32_t relay_mode_protocol_version(RelayModeWord mode) {
  uint32_t kind = relay_mode_kind(mode);
  return (mode & kRelayModeMarker) != 0 && kind >= 1 && kind <= 3 ? kind : 0;
}

// The mode word of the send export's type 1 to 5 and of the receive export's type 1 to 3. Any
// other type gives 0, which the exports answer with kErrInvalidParameter before any window opens.
inline RelayModeWord relay_mode_for_send(int type) {
  static const RelayModeWord kSend[] = {0x80000001u, 0x84000002u, 0x80000002u, 0x84000003u, 0x80000003u};
  return type >= 1 && type <= 5 ? kSend[type - 1] : 0;
}
inline RelayModeWord relay_mode_for_recv(int type) {
  return type >= 1 && type <= 3 ? kRelayModeMarker | kRelayModeRecipient | uint32_t(type) : 0;
}
