#include "wizard/select/cert_list.h"

#include <cerrno>
#include <cstdlib>

#include "crypto/base/wipe.h"
#include "media/certlist.h"
#include "media/securedisk/securedisk.h"
#include "media/smartcard/smartcard.h"
#include "platform/errors/errno_util.h"
#include "platform/errors/error_codes.h"
#include "wizard/records/request_record.h"

CertListRecord *CertListCreate(ERROR_CTX *errors, const RelayRequestRecord *request) {
  if (errors == nullptr || request == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<CertListRecord *>(nullptr));
  CertListRecord *record = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
  CERTLIST_CTX *list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
  const char *policies = request_text(request->accepted_policies);
  StrListNode *filter = policies[0] != 0 ? strlist_split(policies) : nullptr;
  if (record == nullptr || list == nullptr || (policies[0] != 0 && filter == nullptr)) {
    strlist_free(filter);
    free(list);
    free(record);
    return v7::with_errno(v7::kErrOutOfMemory, static_cast<CertListRecord *>(nullptr));
  }
  list->policy_filter = filter;
  record->list = list;
  record->errors = errors;
  record->request = request;
  return record;
}

int CertListSetEntries(CERT_ENTRY *first, CertListRecord *record) {
  if (record == nullptr || record->request == nullptr || first == nullptr) return -1;
  record->current = first;
  return 0;
}

void CertListReset(CertListRecord *record) {
  if (record == nullptr || record->current == nullptr) return;
  certlist_free(record->list);
  record->current = nullptr;
  record->chosen = nullptr;
}

namespace v7 {
namespace select {
namespace {

// Parts that are not kept are wiped: two of them are key files.
void discard(uint8_t *bytes, size_t n) {
  if (bytes == nullptr) return;
  secure_wipe(bytes, n);
  free(bytes);
}

// Reads one part through reader into the driver's buffer; false when it gave no bytes.
bool take_part(CCertSelect *select, int which, size_t (*reader)(const CERT_ENTRY *, uint8_t **)) {
  uint8_t *bytes = nullptr;
  const size_t n = reader(select->entry, &bytes);
  if (n == 0 || bytes == nullptr || select->TakeBuffer(which, bytes, n) != 0) {
    discard(bytes, n);
    return false;
  }
  return true;
}

bool read_secure_disk(CCertSelect *select) {
  SecureDiskHandle *handle = select->record->secure_disk;
  const char *password = select->record->password;
  uint8_t *parts[4] = {};
  size_t lengths[4] = {};
  bool ok = handle != nullptr && sd_login(handle, certentry_slot(select->entry), password) == 0 &&
            sd_export_pkcs8(handle, password, &parts[0], &lengths[0], &parts[1], &lengths[1], &parts[2],
                            &lengths[2], &parts[3], &lengths[3]) == 0;
  for (int i = 0; i < 4; ++i) {
    if (ok && parts[i] != nullptr) {
      if (select->TakeBuffer(kSelectSignCert + i, parts[i], lengths[i]) == 0) continue;
      ok = false;
    }
    discard(parts[i], lengths[i]);
  }
  return ok && select->Buffer(kSelectSignCert).length != 0 && select->Buffer(kSelectSignKey).length != 0;
}

}  // namespace

int read_selected_pairs(CCertSelect *select) {
  if (select == nullptr || select->record == nullptr || select->entry == nullptr)
    return with_errno(kErrInvalidParameter, -1);
  select->FreeBuffers();
  const CERT_ENTRY *entry = select->entry;
  bool ok;
  if (entry->media_code == kMediumSecureDisk) {
    ok = read_secure_disk(select);
  } else {
    ok = take_part(select, kSelectSignCert, cert_read_sign_cert) && take_part(select, kSelectSignKey, cert_read_sign_key);
    if (ok && entry->media_code == kMediumSmartCard &&
        sc_probe_card(static_cast<const char *>(entry->medium_data)) == 1) {
      uint8_t *random = nullptr;
      const size_t n = certentry_read_card(entry, &random);
      // The card's random value is welcome, not required.
      if (n == 0 || select->TakeBuffer(kSelectVidRandom, random, n) != 0) discard(random, n);
    }
    if (ok && (entry->parts & kPartKmKey) != 0)
      ok = take_part(select, kSelectKmCert, cert_read_km_cert) && take_part(select, kSelectKmKey, cert_read_km_key);
  }
  if (!ok) {
    const int code = errno;
    select->FreeBuffers();
    return with_errno(code, -1);
  }
  return 0;
}

}  // namespace select
}  // namespace v7
