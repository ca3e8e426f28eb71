// The request record that the browser control fills and the library reads in place, and the
// process-wide words every layer reads during a transfer.
//
// The control and the library are separate modules built at different times, so the record's
// layout is a binary contract: every offset is checked at compile time below, and the record holds
// no pointer, so the 32-bit deliverables and a 64-bit test build agree byte for byte. Narrow texts
// are NUL-terminated EUC-KR whatever CharEncodingMode says: the control converts them before the
// call. The library never copies, writes or frees the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/locale/process_words.h"

// The secure-disk module's minimum version and install page, set through the control.
struct SecureDiskConfig {
  char min_version[64];
  char install_url[512];
};

// Bits of RelayRequestRecord::dialog_flags.
enum : uint32_t { kRequestHidePasswordEntry = 0x1000 };

// Bits of RelayRequestRecord::media_bits: the media the selection dialog offers.
enum : uint32_t {
  kRequestMediaHardDisk = 0x1,
  kRequestMediaRemovable = 0x2,
  kRequestMediaToken = 0x4,
  kRequestMediaSmartCard = 0x8,
  kRequestMediaPhone = 0x10,
  kRequestMediaPhoneAlt = 0x20,
  kRequestMediaSecureDisk = 0x200,
  kRequestMediaSearchButton = 0x400,  // keeps the Search button when no medium is forced
};

// The values of RelayRequestRecord::forced_medium. The text gives no list, only effects scattered
// over the selection dialog and the key loading; they are gathered here so that every reader
// names the same value.
enum RequestForcedMedium : uint32_t {
  kForcedMediumNone = 0,
  kForcedMediumHardDisk = 1,        // no hard-disk warning
  kForcedMediumKmCheck = 2,         // the key-management pair is checked
  kForcedMediumApproval3 = 3,       // approval text and signer check of token modules
  kForcedMediumApproval4 = 4,       // likewise
  kForcedMediumAlwaysKm = 5,        // the key-management key is always loaded
  kForcedMediumSecureDiskNoPw = 6,  // secure disk without a password
  kForcedMediumEmptyList7 = 7,      // opens with an empty list; tokens load as 8192
  kForcedMediumEmptyList8 = 8,      // likewise
  kForcedMediumKmCheck9 = 9,        // as 2
};

// The texts' capacities, terminator included.
enum : size_t {
  kRequestTitleCapacity = 512,
  kRequestSubkeyCapacity = 512,
  kRequestPolicyCapacity = 4096,
  kRequestSortPolicyCapacity = 1024,
  kRequestBannerCapacity = 1024,
  kRequestVersionCapacity = 64,
  kRequestModuleTextCapacity = 512,
  kRequestModuleUrlCapacity = 512,
  kRequestUsbKeyText2Capacity = 128,
  kRequestViewerPolicyCapacity = 4096,
  kRequestDialogPolicyCapacity = 4428,
};

struct RelayRequestRecord {
  uint32_t version;                                // above 1: the certificate viewer uses viewer_policy
  uint32_t dialog_flags;                           // kRequestHidePasswordEntry
  char title[kRequestTitleCapacity];               // caption of the selection dialog in Korean mode
  char settings_subkey[kRequestSubkeyCapacity];    // where "Last Media", "Last Drive" and "Last Access" live
  char accepted_policies[kRequestPolicyCapacity];  // ";"-list the media lists accept; empty: all
  char sort_policies[kRequestSortPolicyCapacity];  // ";"-list that orders the certificate list
  uint32_t viewer_skips_validation;                // 1: the viewer does not validate
  uint32_t restore_last_medium;                    // nonzero: start on the remembered medium
  uint8_t reserved1[4];
  char banner[kRequestBannerCapacity];  // "BITMAP_VELMORA_RELAY" and others
  uint32_t media_bits;                  // kRequestMedia*
  uint32_t forced_medium;               // RequestForcedMedium
  char phone_min_version[kRequestVersionCapacity];
  uint32_t phone_gets_policies;  // nonzero: accepted_policies go to the phone module
  char phone_text[kRequestModuleTextCapacity];
  char phone_install_url[kRequestModuleUrlCapacity];
  char usbkey_min_version[kRequestVersionCapacity];
  char usbkey_transfer_text[kRequestModuleTextCapacity];
  char usbkey_install_url[kRequestModuleUrlCapacity];
  char usbkey_text2[kRequestUsbKeyText2Capacity];
  SecureDiskConfig secure_disk;
  uint8_t reserved2[48];
  char viewer_policy[kRequestViewerPolicyCapacity];    // validation policy text of the viewer
  char dialog_policies[kRequestDialogPolicyCapacity];  // ";"-list the dialog accepts; "ALL": any
};

// The layout contract with the control.
static_assert(std::is_standard_layout<RelayRequestRecord>::value, "offsetof needs a standard layout");
static_assert(sizeof(SecureDiskConfig) == 576, "SecureDiskConfig size");
static_assert(offsetof(SecureDiskConfig, install_url) == 64, "SecureDiskConfig layout");
static_assert(offsetof(RelayRequestRecord, version) == 0, "request layout");
static_assert(offsetof(RelayRequestRecord, dialog_flags) == 4, "request layout");
static_assert(offsetof(RelayRequestRecord, title) == 8, "request layout");
static_assert(offsetof(RelayRequestRecord, settings_subkey) == 520, "request layout");
static_assert(offsetof(RelayRequestRecord, accepted_policies) == 1032, "request layout");
static_assert(offsetof(RelayRequestRecord, sort_policies) == 5128, "request layout");
static_assert(offsetof(RelayRequestRecord, viewer_skips_validation) == 6152, "request layout");
static_assert(offsetof(RelayRequestRecord, restore_last_medium) == 6156, "request layout");
static_assert(offsetof(RelayRequestRecord, reserved1) == 6160, "request layout");
static_assert(offsetof(RelayRequestRecord, banner) == 6164, "request layout");
static_assert(offsetof(RelayRequestRecord, media_bits) == 7188, "request layout");
static_assert(offsetof(RelayRequestRecord, forced_medium) == 7192, "request layout");
static_assert(offsetof(RelayRequestRecord, phone_min_version) == 7196, "request layout");
static_assert(offsetof(RelayRequestRecord, phone_gets_policies) == 7260, "request layout");
static_assert(offsetof(RelayRequestRecord, phone_text) == 7264, "request layout");
static_assert(offsetof(RelayRequestRecord, phone_install_url) == 7776, "request layout");
static_assert(offsetof(RelayRequestRecord, usbkey_min_version) == 8288, "request layout");
static_assert(offsetof(RelayRequestRecord, usbkey_transfer_text) == 8352, "request layout");
static_assert(offsetof(RelayRequestRecord, usbkey_install_url) == 8864, "request layout");
static_assert(offsetof(RelayRequestRecord, usbkey_text2) == 9376, "request layout");
static_assert(offsetof(RelayRequestRecord, secure_disk) == 9504, "request layout");
static_assert(offsetof(RelayRequestRecord, secure_disk.install_url) == 9568, "request layout");
static_assert(offsetof(RelayRequestRecord, reserved2) == 10080, "request layout");
static_assert(offsetof(RelayRequestRecord, viewer_policy) == 10128, "request layout");
static_assert(offsetof(RelayRequestRecord, dialog_policies) == 14224, "request layout");
static_assert(sizeof(RelayRequestRecord) == 18652, "request size");
static_assert(alignof(RelayRequestRecord) == 4, "the control packs nothing: 4-byte words only");

// A text field of a record that came from outside the library: a text that fills its whole field
// has no terminator, and reading it as a C string would run into the next field. This gives the
// field when its terminator lies inside it, else the empty text, so no reader leaves the field.
const char *request_field_text(const char *field, size_t capacity);
template <size_t N>
const char *request_text(const char (&field)[N]) {
  return request_field_text(field, N);
}

// The process-wide words, held by the text layer (pki/text/process_words.h) and only named here:
// LanguageId is the 16-bit primary language id (18 Korean texts, any other English), starting as
// the system default's; CharEncodingMode is the 32-bit encoding word (1 UTF-8, any other EUC-KR),
// starting as 0. language_id() / set_language_id() and char_encoding_mode() /
// set_char_encoding_mode() read and set them.
typedef uint16_t LanguageId;
typedef int32_t CharEncodingMode;
static_assert(std::is_same<decltype(language_id()), LanguageId>::value, "LanguageId is 16 bits");
static_assert(sizeof(decltype(char_encoding_mode())) == sizeof(CharEncodingMode),
              "CharEncodingMode is 32 bits");
