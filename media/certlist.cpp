// The list of one medium: loading by media code, the duplicate rule of the folder media, unique
// ids, the sort the selection dialog shows, and releasing.
#include "media/certlist.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/internal.h"
#include "media/npki.h"
#include "pki/oid/oid.h"
#include "pki/text/misc.h"
#include "platform/errors/errno_util.h"
#include "platform/locale/process_words.h"

namespace {

enum : int { kIdDraws = 32 };

uint32_t g_id_counter = 0;

// -1, 0 or 1 as the first serial is smaller, equal or greater, by the whole number.
int compare_serials(const CERT_ENTRY *a, const CERT_ENTRY *b) {
  if (a->serial_length != b->serial_length) return a->serial_length < b->serial_length ? -1 : 1;
  if (a->serial_length == 0) return 0;
  int c = memcmp(a->serial_bytes, b->serial_bytes, a->serial_length);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool id_taken(const CERT_ENTRY *first, const CERT_ENTRY *entry, const char *text) {
  for (const CERT_ENTRY *e = first; e != nullptr; e = e->next) {
    if (e != entry && e->id != nullptr && strcmp(e->id, text) == 0) return true;
  }
  return false;
}

void give_id_if_asked(CERTLIST_CTX *list, CERT_ENTRY *entry) {
  if (list->id_flag == 1) certentry_assign_id(list->first, entry);
}

// A copy of the pair's buffers; null with kErrOutOfMemory.
MemoryCertPair *copy_pair(const uint8_t *first, size_t first_length, const uint8_t *second,
                          size_t second_length) {
  auto *pair = static_cast<MemoryCertPair *>(calloc(1, sizeof(MemoryCertPair)));
  if (pair == nullptr) return v7::with_errno(v7::kErrOutOfMemory, static_cast<MemoryCertPair *>(nullptr));
  pair->first = v7::certlist::copy_bytes(first, first_length);
  pair->first_length = first_length;
  if (second != nullptr) {
    pair->second = v7::certlist::copy_bytes(second, second_length);
    pair->second_length = second_length;
  }
  if (pair->first == nullptr || (second != nullptr && pair->second == nullptr)) {
    free(pair->first);
    free(pair->second);
    free(pair);
    return v7::with_errno(v7::kErrOutOfMemory, static_cast<MemoryCertPair *>(nullptr));
  }
  return pair;
}

// The one entry of a memory or USB-key list. A certificate that does not decode leaves the list
// as it was.
CERT_ENTRY *load_single(CERTLIST_CTX *list, uint32_t code, uint32_t parts, const uint8_t *cert,
                        size_t cert_length, const uint8_t *second, size_t second_length) {
  CERT_ENTRY *entry = nullptr;
  if (!certentry_from_der(cert, cert_length, &entry)) {
    return errno != 0 ? nullptr : list->first;
  }
  MemoryCertPair *pair = copy_pair(cert, cert_length, second, second_length);
  if (pair == nullptr) {
    certentry_free(entry);
    return nullptr;
  }
  entry->medium_data = pair;
  entry->parts = parts;
  for (CERT_ENTRY *e = list->first; e != nullptr;) {
    CERT_ENTRY *next = e->next;
    certentry_free(e);
    e = next;
  }
  list->first = nullptr;
  list->media_code = code;
  v7::certlist::push_front(list, entry, code);
  return v7::with_errno(0, list->first);
}

}  // namespace

namespace v7 {
namespace certlist {

void push_front(CERTLIST_CTX *list, CERT_ENTRY *entry, uint32_t media_code) {
  entry->list = list;
  entry->media_code = media_code;
  entry->next = list->first;
  list->first = entry;
  give_id_if_asked(list, entry);
}

}  // namespace certlist
}  // namespace v7

int certentry_assign_id(CERT_ENTRY *first, CERT_ENTRY *entry) {
  if (entry == nullptr) return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  char text[64];
  for (int draw = 0; draw < kIdDraws; draw++) {
    uint8_t bytes[4];
    uint32_t value;
    int saved = errno;
    if (rand_u32_fill(bytes) == 0) {
      value = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    } else {
      value = g_id_counter++;
    }
    errno = saved;
    snprintf(text, sizeof(text), "%" PRIu32, value);
    if (id_taken(first, entry, text)) continue;
    char *copy = static_cast<char *>(malloc(strlen(text) + 1));
    if (copy == nullptr) return v7::with_errno(v7::kErrOutOfMemory, v7::kErrOutOfMemory);
    strcpy(copy, text);
    free(entry->id);
    entry->id = copy;
    return 0;
  }
  return -1;
}

void certlist_add_unique(CERTLIST_CTX *list, CERT_ENTRY *entry) {
  if (entry == nullptr) return;
  if (list == nullptr || entry->subject_dn == nullptr || entry->serial == nullptr) {
    certentry_free(entry);
    return;
  }
  entry->list = list;
  CERT_ENTRY **link = &list->first;
  for (; *link != nullptr; link = &(*link)->next) {
    CERT_ENTRY *old = *link;
    if (old->subject_dn == nullptr || strcmp(old->subject_dn, entry->subject_dn) != 0) continue;
    int order = compare_serials(old, entry);
    if (order > 0 || (order == 0 && entry->sig_alg == OID_SHA1_WITH_RSA)) {
      certentry_free(entry);
      return;
    }
    entry->next = old->next;
    *link = entry;
    certentry_free(old);
    give_id_if_asked(list, entry);
    return;
  }
  entry->next = nullptr;
  *link = entry;
  give_id_if_asked(list, entry);
}

CERT_ENTRY *certlist_sort(const char *preferred_subject, CERTLIST_CTX *list, const char *preferred_policies) {
  if (list == nullptr || list->first == nullptr) return nullptr;
  if (preferred_subject != nullptr && list->first->next != nullptr) {
    CERT_ENTRY *prev = list->first;
    while (prev->next != nullptr) {
      CERT_ENTRY *e = prev->next;
      if (e->subject != nullptr && strcmp(e->subject, preferred_subject) == 0) {
        prev->next = e->next;
        e->next = list->first;
        list->first = e;
      } else {
        prev = e;
      }
    }
  }
  if (preferred_policies == nullptr || preferred_policies[0] == 0) return list->first;
  StrListNode *pieces = strlist_split(preferred_policies);
  CERT_ENTRY *front = nullptr;
  CERT_ENTRY **front_tail = &front;
  for (StrListNode *piece = pieces; piece != nullptr && list->first != nullptr; piece = piece->next) {
    if (piece->text[0] == 0) continue;
    for (CERT_ENTRY **link = &list->first; *link != nullptr;) {
      CERT_ENTRY *e = *link;
      if (e->policy != nullptr && strcmp(e->policy, piece->text) == 0) {
        *link = e->next;
        e->next = nullptr;
        *front_tail = e;
        front_tail = &e->next;
      } else {
        link = &e->next;
      }
    }
  }
  strlist_free(pieces);
  *front_tail = list->first;
  list->first = front;
  return list->first;
}

void certlist_clear_medium(CERTLIST_CTX *list) {
  if (list == nullptr || list->medium_data == nullptr) return;
  if (list->media_code == kMediumSmartCard) {
    v7::certlist::wipe_free_text(static_cast<char *>(list->medium_data));
  } else {
    free(list->medium_data);
  }
  list->medium_data = nullptr;
}

void certlist_free(CERTLIST_CTX *list) {
  if (list == nullptr) return;
  certlist_clear_medium(list);
  list->media_code = 0;
  for (CERT_ENTRY *e = list->first; e != nullptr;) {
    CERT_ENTRY *next = e->next;
    certentry_free(e);
    e = next;
  }
  list->first = nullptr;
}

const char *certlist_get_pin(const CERTLIST_CTX *list) {
  if (list == nullptr || list->media_code != kMediumSmartCard) {
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<const char *>(nullptr));
  }
  return static_cast<const char *>(list->medium_data);
}

size_t certentry_copy_id(uint8_t *buffer, const TokenEntryId *id, size_t capacity) {
  if (id == nullptr) return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  if (buffer == nullptr) return id->length;
  if (capacity < id->length) return v7::with_errno(v7::kErrInsufficientBuffer, size_t(0));
  if (id->length > 0) memcpy(buffer, id->id, id->length);
  return id->length;
}

CERT_ENTRY *certlist_load_memory(CERTLIST_CTX *list, const MemoryCertPair *pair) {
  if (list == nullptr || pair == nullptr || pair->first == nullptr) {
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  }
  uint32_t parts = kPartSignCert | (pair->second != nullptr ? uint32_t(kPartKmCert) : 0u);
  return load_single(list, kMediumMemory, parts, pair->first, pair->first_length, pair->second,
                     pair->second_length);
}

CERT_ENTRY *certlist_load_usbkey(CERTLIST_CTX *list, const UsbKeyBuffers *buffers) {
  if (list == nullptr || buffers == nullptr || buffers->cert_length > kUsbKeyAreaSize ||
      buffers->key_length > kUsbKeyAreaSize) {
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  }
  return load_single(list, kMediumUsbKey, kPartSignCert | kPartSignKey, buffers->cert, buffers->cert_length,
                     buffers->key, buffers->key_length);
}

namespace {

// Both forms differ only in how the folder media are walked.
CERT_ENTRY *load_by_code(CERTLIST_CTX *list, uint32_t media_code, const void *medium, bool wide) {
  if (list == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  switch (media_code) {
    case kMediumHardDisk:
      return wide ? certlist_load_harddisk_w(list) : certlist_load_harddisk(list);
    case kMediumRemovable: {
      const char *drive = static_cast<const char *>(medium);
      if (drive == nullptr)
        return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
      return wide ? certlist_load_removable_w(list, drive) : certlist_load_removable(drive, list);
    }
    case kMediumToken:
      return certlist_load_token(list, static_cast<const char *>(medium));
    case kMediumTokenModule:
      return certlist_load_token_module(list, static_cast<P11_MODULE *>(const_cast<void *>(medium)));
    case kMediumSmartCard:
      return certlist_load_smartcard(list, static_cast<const char *>(medium));
    case kMediumUsbKey:
      return certlist_load_usbkey(list, static_cast<const UsbKeyBuffers *>(medium));
    case kMediumSecureDisk:
      return certlist_load_securedisk(list, static_cast<SecureDiskHandle *>(const_cast<void *>(medium)));
    case kMediumMemory:
      return certlist_load_memory(list, static_cast<const MemoryCertPair *>(medium));
    default:
      return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  }
}

}  // namespace

CERT_ENTRY *certlist_load_w(CERTLIST_CTX *list, uint32_t media_code, const void *medium) {
  return load_by_code(list, media_code, medium, true);
}

CERT_ENTRY *certlist_load(CERTLIST_CTX *list, uint32_t media_code, const void *medium) {
  if (char_encoding_is_utf8()) return certlist_load_w(list, media_code, medium);
  return load_by_code(list, media_code, medium, false);
}
