// The certificate list of one storage medium: what every medium looks like to the selection
// dialog, the key loading and the sending side.
//
// Only the records are here so far; the loaders, the part readers and the sort join them.
#pragma once

#include <cstdint>

// Medium codes (bit values; a list and its entries carry the same code unless said).
enum : uint32_t {
  kMediumHardDisk = 1,
  kMediumRemovable = 2,
  kMediumToken = 4,
  kMediumSmartCard = 8,
  kMediumPhone = 16,
  kMediumUsbKey = 256,
  kMediumSecureDisk = 512,
  kMediumMemory = 1024,
  kMediumTokenModule = 4096,  // a token given as an open module; its list becomes kMediumToken
  kMediumTokenVariant = 8192,
};

// One piece of a split ";"-list.
struct StrListNode {
  char *text;  // owned
  StrListNode *next;
};

struct CERT_ENTRY;

// The list of one medium; created zeroed and freed by the selection record.
struct CERTLIST_CTX {
  uint32_t media_code;  // 0 while empty
  // Owned, by media code: the module path text of a token list, the PIN text of a smart-card list
  // (wiped before it is freed), else null.
  void *medium_data;
  CERT_ENTRY *first;
  StrListNode *policy_filter;  // null: no filter
  uint32_t id_flag;            // 1: every entry added gets a unique id text
};
