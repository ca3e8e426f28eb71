// The browser control's decisions, apart from COM: what a page's calls put into the request
// record, which values they accept and what the page learns of a transfer. Portable, so the tables
// of cases run natively; the dispatch layer (cert_relay_ctrl.cpp) only unpacks arguments and calls
// the library.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "wizard/records/request_record.h"

namespace v7 {
namespace control {

// ControlTransferFlags: initial value and the transfer-mode bits.
enum : uint32_t { kInitialTransferFlags = 1, kTransferModeMask = 0x3F };
enum : int32_t { kTransferModeRawTcp = 1, kTransferModeHttp = 2 };

// The media the selection dialog offers a page's send: hard disk, removable disk, smart card and
// secure disk.
enum : uint32_t { kSendMediaBits = 0x20B };
extern const char kSendBannerName[];  // "BITMAP_VELMORA_RELAY"

// The transfer types behind the short forms Sender() and Recipient().
enum : int32_t { kSenderType = 5, kRecipientType = 3 };

// A page learns 0 only when the library returned 0; anything else, the user's cancel (21500)
// included, is -1.
int16_t transfer_result(int library_result);

// SetTransferMode: only 1 (raw TCP) and 2 (HTTP) are taken; they replace the mode bits of flags
// and the result is 0. Any other mode leaves flags as they are and gives -1.
int16_t apply_transfer_mode(uint32_t *flags, int32_t mode);

// SetLanguage: 18 (Korean) and 9 (English) stay, any other value becomes the system default's
// primary language id.
int32_t library_language(int32_t requested, uint16_t system_primary);

// The request record of a send and of a receive, made from zero: the send names its banner and
// the media it offers; both carry the control's secure-disk settings.
void fill_send_request(RelayRequestRecord *record, const SecureDiskConfig &config);
void fill_receive_request(RelayRequestRecord *record, const SecureDiskConfig &config);

// The length of the longest prefix of an EUC-KR text (code page 949: a byte from 0x81 leads a
// two-byte character) that fits max_bytes without splitting a character.
size_t euckr_cut_length(const char *text, size_t length, size_t max_bytes);

// SetSecureDiskConfig: both texts (UTF-16 with their lengths, as a BSTR holds them) converted to
// EUC-KR and cut on character boundaries to 63 and 511 bytes. The address must be empty (no
// install page) or an http or https address the library would open. Only when both are
// acceptable is *config replaced; otherwise it keeps what it had. 0, kErrInvalidParameter for a
// null config, a text with an embedded NUL or an unacceptable address, kErrWideToEuckr when a text
// has no EUC-KR form.
int set_secure_disk_config(SecureDiskConfig *config, const char16_t *version, size_t version_length,
                           const char16_t *address, size_t address_length);

// Refuses a transfer while another one runs on the same thread: the wizard's modal loop lets the
// page's script run, and a nested call would start a second wizard over the first one's state.
// Controls on several apartment threads of one process share the gate, so it is atomic.
class TransferGate {
 public:
  // True when no transfer runs; it then counts as running until Leave.
  bool TryEnter() {
    bool expected = false;
    return busy_.compare_exchange_strong(expected, true);
  }
  void Leave() { busy_.store(false); }
  bool Busy() const { return busy_.load(); }

 private:
  std::atomic<bool> busy_{false};
};

// The gate of the whole module: the library's process-wide words and its one wizard are shared by
// every control instance of the process.
TransferGate &module_transfer_gate();

}  // namespace control
}  // namespace v7
