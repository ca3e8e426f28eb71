#include "control/control_rules.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "pki/text/codepage.h"
#include "platform/errors/error_codes.h"
#include "wizard/dialogs/dialog_logic.h"

namespace v7 {
namespace control {
namespace {

// One text of a page as EUC-KR, cut to max_bytes on a character boundary. An embedded NUL would
// silently shorten what the library reads, so such a text is refused, not cut.
int page_text_to_euckr(const char16_t *text, size_t length, size_t max_bytes, std::string *out) {
  out->clear();
  if (text == nullptr || length == 0) return 0;
  const std::u16string whole(text, length);
  if (whole.find(u'\0') != std::u16string::npos) return kErrInvalidParameter;
  char *narrow = nullptr;
  const int rc = wide_to_euckr(whole.c_str(), &narrow);
  if (rc != 0) return rc;
  const size_t narrow_length = std::strlen(narrow);
  out->assign(narrow, euckr_cut_length(narrow, narrow_length, max_bytes));
  std::free(narrow);
  return 0;
}

}  // namespace

const char kSendBannerName[] = "BITMAP_VELMORA_RELAY";

int16_t transfer_result(int library_result) { return library_result == 0 ? 0 : -1; }

int16_t apply_transfer_mode(uint32_t *flags, int32_t mode) {
  if (flags == nullptr || (mode != kTransferModeRawTcp && mode != kTransferModeHttp)) return -1;
  *flags = (*flags & ~uint32_t(kTransferModeMask)) | uint32_t(mode);
  return 0;
}

int32_t library_language(int32_t requested, uint16_t system_primary) {
  return requested == kLanguageKorean || requested == kLanguageEnglish ? requested : int32_t(system_primary);
}

void fill_send_request(RelayRequestRecord *record, const SecureDiskConfig &config) {
  std::memset(record, 0, sizeof *record);
  static_assert(sizeof kSendBannerName <= sizeof record->banner, "the banner name fits its field");
  std::memcpy(record->banner, kSendBannerName, sizeof kSendBannerName);
  record->media_bits = kSendMediaBits;
  record->secure_disk = config;
}

void fill_receive_request(RelayRequestRecord *record, const SecureDiskConfig &config) {
  std::memset(record, 0, sizeof *record);
  record->secure_disk = config;
}

size_t euckr_cut_length(const char *text, size_t length, size_t max_bytes) {
  size_t at = 0;
  while (at < length) {
    const size_t step = static_cast<unsigned char>(text[at]) >= 0x81 && at + 1 < length ? 2 : 1;
    if (at + step > max_bytes) break;
    at += step;
  }
  return at;
}

int set_secure_disk_config(SecureDiskConfig *config, const char16_t *version, size_t version_length,
                           const char16_t *address, size_t address_length) {
  if (config == nullptr) return kErrInvalidParameter;
  std::string narrow_version, narrow_address;
  int rc = page_text_to_euckr(version, version_length, sizeof config->min_version - 1, &narrow_version);
  if (rc == 0) rc = page_text_to_euckr(address, address_length, sizeof config->install_url - 1, &narrow_address);
  if (rc != 0) return rc;
  // The library opens this address in a browser window of its own: only what it would open is
  // kept, and a cut address is checked as it will be read.
  std::u16string shown;
  if (!narrow_address.empty() && dialogs::page_address(narrow_address.c_str(), &shown) != 0) {
    return kErrInvalidParameter;
  }
  std::memset(config, 0, sizeof *config);
  std::memcpy(config->min_version, narrow_version.data(), narrow_version.size());
  std::memcpy(config->install_url, narrow_address.data(), narrow_address.size());
  return 0;
}

TransferGate &module_transfer_gate() {
  static TransferGate gate;
  return gate;
}

}  // namespace control
}  // namespace v7
