// Moving a certificate set into the secure disk and its keys out of it.
#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "media/securedisk/internal.h"
#include "pki/x509/cert.h"

using namespace sdi;

namespace {

struct Buffer {
  uint8_t **out;
  size_t *len;
  int size = 0;
  uint8_t *data = nullptr;
};

void drop_buffers(Buffer *buffers, int n) {
  for (int i = 0; i < n; ++i) {
    if (buffers[i].data != nullptr) {
      v7::secure_wipe(buffers[i].data, size_t(buffers[i].size));
      free(buffers[i].data);
      buffers[i].data = nullptr;
    }
  }
}

struct Pair {
  const uint8_t *cert;
  size_t cert_len;
  const uint8_t *key;
  size_t key_len;
  bool given() const { return cert != nullptr || cert_len != 0 || key != nullptr || key_len != 0; }
  bool whole() const {
    return cert != nullptr && cert_len != 0 && key != nullptr && key_len != 0 &&
           cert_len <= size_t(kMaxModuleLength) && key_len <= size_t(kMaxModuleLength);
  }
};

struct OwnedBytes {
  uint8_t *data = nullptr;
  size_t len = 0;
  ~OwnedBytes() { free(data); }
};

int subject_of(const Pair &pair, OwnedBytes *subject) {
  if (cert_subject_der(pair.cert, pair.cert_len, &subject->data, &subject->len) == 0 || subject->len == 0) {
    int code = errno != 0 ? errno : v7::kErrDecodeFailed;
    return fail(code);
  }
  return done();
}

int find_slot(SecureDiskHandle *h, const OwnedBytes &subject, int *slot) {
  *slot = 0;
  int rv = h->functions->SD_FindSlot(subject.data, int(subject.len), slot);
  if (rv != 0) return module_fail(h, rv);
  return done();
}

}  // namespace

int sd_export_pkcs8(SecureDiskHandle *h, const char *password, uint8_t **sign_cert, size_t *sign_cert_len,
                    uint8_t **sign_key, size_t *sign_key_len, uint8_t **km_cert, size_t *km_cert_len,
                    uint8_t **km_key, size_t *km_key_len) {
  if (check(h) != 0) return errno;
  Buffer buffers[4] = {{sign_cert, sign_cert_len}, {sign_key, sign_key_len}, {km_cert, km_cert_len}, {km_key, km_key_len}};
  for (Buffer &b : buffers) {
    if ((b.out == nullptr) != (b.len == nullptr)) return fail(v7::kErrInvalidParameter);
    if (b.out != nullptr) {
      *b.out = nullptr;
      *b.len = 0;
    }
  }
  if (password == nullptr || password[0] == '\0') return fail(v7::kErrInvalidParameter);
  if (sd_require_login(h) != 0) return errno;
  int password_len = int(strlen(password));
  int rv = h->functions->SD_ExportToPKCS8(h->session, password, password_len, nullptr, &buffers[0].size, nullptr,
                                          &buffers[1].size, nullptr, &buffers[2].size, nullptr, &buffers[3].size);
  if (rv != 0) return module_fail(h, rv);
  int filled[4];
  for (int i = 0; i < 4; ++i) {
    if (buffers[i].size < 0 || buffers[i].size > kMaxModuleLength) return fail(v7::kErrInvalidMemoryAccess);
    if (buffers[i].size > 0) {
      buffers[i].data = static_cast<uint8_t *>(malloc(size_t(buffers[i].size)));
      if (buffers[i].data == nullptr) {
        drop_buffers(buffers, 4);
        return fail(v7::kErrOutOfMemory);
      }
    }
    filled[i] = buffers[i].size;
  }
  rv = h->functions->SD_ExportToPKCS8(h->session, password, password_len, buffers[0].data, &filled[0],
                                      buffers[1].data, &filled[1], buffers[2].data, &filled[2], buffers[3].data,
                                      &filled[3]);
  if (rv != 0) {
    drop_buffers(buffers, 4);
    return module_fail(h, rv);
  }
  for (int i = 0; i < 4; ++i) {
    if (filled[i] < 0 || filled[i] > buffers[i].size) {
      drop_buffers(buffers, 4);
      return fail(v7::kErrInvalidMemoryAccess);
    }
  }
  for (int i = 0; i < 4; ++i) {
    if (buffers[i].out != nullptr && filled[i] > 0) {
      *buffers[i].out = buffers[i].data;
      *buffers[i].len = size_t(filled[i]);
      buffers[i].data = nullptr;
    }
  }
  drop_buffers(buffers, 4);
  return done();
}

int sd_find_cert_slot(SecureDiskHandle *h, const uint8_t *cert, size_t cert_len, int *out_slot) {
  if (out_slot != nullptr) *out_slot = 0;
  if (check(h) != 0) return errno;
  if (out_slot == nullptr || cert == nullptr || cert_len == 0 || cert_len > size_t(kMaxModuleLength))
    return fail(v7::kErrInvalidParameter);
  const Pair pair{cert, cert_len, nullptr, 0};
  OwnedBytes subject;
  if (subject_of(pair, &subject) != 0) return errno;
  return find_slot(h, subject, out_slot);
}

// The old slot of the same subject is removed only once the set sits whole in its new slot, so a
// failed import never loses what the secure disk held; a new slot that did not take the set is
// removed again. Every login is followed by a logout. Once the new slot holds the set, the import
// has succeeded whatever happens to the old slot.
int sd_import_pair(SecureDiskHandle *h, const uint8_t *sign_cert, size_t sign_cert_len,
                   const uint8_t *sign_key, size_t sign_key_len, const uint8_t *km_cert, size_t km_cert_len,
                   const uint8_t *km_key, size_t km_key_len, const char *password, SdImportNotice *notice) {
  if (notice != nullptr) *notice = SdImportNotice();
  if (check(h) != 0) return errno;
  Pair sign{sign_cert, sign_cert_len, sign_key, sign_key_len};
  Pair km{km_cert, km_cert_len, km_key, km_key_len};
  if (sign.given() && !sign.whole()) return fail(v7::kErrInvalidParameter);
  if (km.given() && !km.whole()) return fail(v7::kErrInvalidParameter);
  if (!sign.given() && !km.given()) return fail(v7::kErrInvalidParameter);
  if (password == nullptr || password[0] == '\0') return fail(v7::kErrInvalidParameter);
  int password_len = int(strlen(password));

  OwnedBytes sign_subject, km_subject;
  if (sign.given() && subject_of(sign, &sign_subject) != 0) return errno;
  if (km.given() && subject_of(km, &km_subject) != 0) return errno;
  if (sign.given() && km.given() &&
      (sign_subject.len != km_subject.len || std::memcmp(sign_subject.data, km_subject.data, sign_subject.len) != 0))
    return fail(v7::kErrSdSubjectMismatch);

  int slot = 0;
  int old_slot = 0;
  bool made = false;
  if (!sign.given()) {
    if (find_slot(h, km_subject, &slot) != 0) return errno;
    if (slot == 0) return fail(v7::kErrSdNoSlot);
  } else {
    if (find_slot(h, sign_subject, &old_slot) != 0) return errno;
    int rv = h->functions->SD_MakeSlot(h->drive, int(strlen(h->drive)), password, password_len, &slot);
    if (rv != 0) return module_fail(h, rv);
    made = true;
  }

  int session = 0;
  int rv = h->functions->SD_Login(slot, password, password_len, &session);
  if (rv == 0) {
    rv = h->functions->SD_Import(session, password, password_len, sign.cert, int(sign.cert_len), sign.key,
                                 int(sign.key_len), km.cert, int(km.cert_len), km.key, int(km.key_len));
    int logout_rv = h->functions->SD_Logout(session);
    (void)logout_rv;  // the import's own answer decides
  }
  if (rv != 0) {
    int code = module_fail(h, rv);
    if (made) h->functions->SD_RemoveSlot(slot);
    return v7::with_errno(code, code);
  }
  if (old_slot != 0 && old_slot != slot) {
    rv = h->functions->SD_RemoveSlot(old_slot);
    if (rv != 0) {
      // The holder now has two slots, the new set in one: a duplicate the user can remove, not a
      // failed store. The module's message stays cached for the caller's notice.
      const int code = module_fail(h, rv);
      if (notice != nullptr) {
        notice->old_slot = old_slot;
        notice->code = code;
      }
    }
  }
  return done();
}
