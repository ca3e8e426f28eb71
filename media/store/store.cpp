// The store's context, the re-encryption of a key and the dispatch of a set to its medium. Every
// key is opened (and sealed again where the medium wants it) before the first write, so that a
// wrong password or a key without what the medium needs never leaves a medium half written.
#include "media/store/store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "media/securedisk/securedisk.h"
#include "media/smartcard/smartcard.h"
#include "media/store/internal.h"
#include "media/token/p11.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/pkcs8.h"
#include "pki/keys/vid_random.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"

using namespace v7;
using v7::store::FailedPair;
using v7::store::Failure;
using v7::store::PreparedSet;

static_assert(kStoreVidRandomMax == KEYOBJ_MAX_RANDOM, "one bound for the VID random value on every medium");
static_assert(kStoreVidRandomMax <= kScRandomMax && kStoreVidRandomMax <= P11_MAX_RANDOM,
              "every medium keeps a value of the bound");

namespace {

using Key = Asn1Owned<PrivateKeyInfo>;

int push(STORE_CTX *ctx, int code, const char *detail = nullptr) {
  err_push(ctx->errors, code, detail);
  return errno = code;
}
void add_detail(STORE_CTX *ctx, int code) {
  if (code != 0) err_add_detail(ctx->errors, code, nullptr);
}

// Opens an encrypted key: kErrKeyDoesNotOpen with the key layer's code beneath it, and after it
// kErrWrongPassword when the key layer's answer means a wrong password.
int open_key(STORE_CTX *ctx, const uint8_t *der, size_t length, const char *password, Key *key) {
  errno = 0;
  key->reset(pkey_decrypt(der, length, password));
  if (key->get() != nullptr) return 0;
  const int cause = errno != 0 ? errno : kErrDecodeFailed;
  push(ctx, kErrKeyDoesNotOpen);
  add_detail(ctx, cause);
  return cause == kErrSymmetricDecrypt ? push(ctx, kErrWrongPassword) : (errno = kErrKeyDoesNotOpen);
}

// Seals the key under the password with the context's scheme into out.
int seal_key(STORE_CTX *ctx, const PrivateKeyInfo *key, const char *password, SecureBytes *out) {
  uint8_t *der = nullptr;
  errno = 0;
  const size_t n = pkey_encrypt(key, password, ctx->scheme, &der);
  if (n == 0) {
    const int cause = errno;
    push(ctx, kErrKeyReseal);
    add_detail(ctx, cause);
    return kErrKeyReseal;
  }
  *out = SecureBytes(der, n);
  secure_wipe(der, n);
  free(der);
  return 0;
}

// The key's VID random value into out (empty when it has none and none is required).
// kErrNoVidRandomR when a required value is missing, kErrVidRandomTooLong past the bound.
int vid_random_of(STORE_CTX *ctx, const PrivateKeyInfo *key, bool required, SecureBytes *out) {
  uint8_t value[kStoreVidRandomMax];
  errno = 0;
  const int n = key->attributes != nullptr ? pkey_get_vid_random(key->attributes, value, sizeof(value)) : 0;
  const int code = errno;
  int result = 0;
  if (code == kErrInsufficientBuffer) result = push(ctx, kErrVidRandomTooLong);
  else if (n <= 0 && required) result = push(ctx, kErrNoVidRandomR);
  else if (n > 0) *out = SecureBytes(value, size_t(n));
  secure_wipe(value, sizeof(value));
  return result;
}

void copy_plain(const PrivateKeyInfo *key, SecureBytes *out) {
  *out = SecureBytes(key->private_key.data, key->private_key.len);
}

// The "signing pair" word of the error context, in the user's language and the setting's encoding.
const char *sign_word() {
  if (!language_is_korean()) return "Sign";
  return char_encoding_is_utf8() ? "\xEC\x84\x9C\xEB\xAA\x85\xEC\x9A\xA9" : "\xBC\xAD\xB8\xED\xBF\xEB";
}

// Ends the newest node with the folder, an entry of its own (only such an entry's text is shown),
// so that the user can find it, and keeps it in *kept for the caller's message.
void name_folder(STORE_CTX *ctx, const std::string &folder, char **kept) {
  err_add_detail(ctx->errors, 0, folder.c_str());
  free(*kept);
  *kept = strdup(folder.c_str());
}

// A medium left without its old set after all says so over the pair's failure. The backup folder
// that holds the old set ends the message.
int pair_failure(STORE_CTX *ctx, const Failure &failure, int code) {
  push(ctx, kErrStorePair, failure.pair == FailedPair::kKm ? nullptr : sign_word());
  add_detail(ctx, code);
  if (failure.cause != code) add_detail(ctx, failure.cause);
  const char *backup = failure.backup.empty() ? nullptr : failure.backup.c_str();
  const int result = failure.not_restored ? push(ctx, kErrStoreRestore, backup) : kErrStorePair;
  if (!failure.backup.empty()) name_folder(ctx, failure.backup, &ctx->kept_backup);
  return errno = result;
}

// A copy of old keys that stayed though it was no longer needed is said after whatever the store
// ended with, so that the user can delete it: the store's result does not change.
void note_left_copy(STORE_CTX *ctx, const Failure &failure) {
  if (failure.left_copy.empty()) return;
  const int saved = errno;
  err_push(ctx->errors, kErrStoreBackupLeft, nullptr);
  name_folder(ctx, failure.left_copy, &ctx->left_copy);
  errno = saved;
}

// A new copy of the folder for a caller's out-parameter, or null.
void hand_back(const std::string &folder, char **out) {
  if (out != nullptr && !folder.empty()) *out = strdup(folder.c_str());
}

bool is_folder_kind(uint32_t kind) {
  return kind == kStoreHardDisk || kind == kStoreRemovable || kind == kStoreBrokerRelative || kind == kStoreFolder;
}

// Opens both keys with the password and makes them what the medium keeps. The card's probe
// decides the scheme and whether the VID random value goes apart from the key.
int prepare_keys(STORE_CTX *ctx, const StoreMedium *m, const char *password, const uint8_t *sign_key,
                 size_t sign_key_len, const uint8_t *km_key, size_t km_key_len, PreparedSet *set) {
  Key sign(&asn1_tmpl_private_key_info), km(&asn1_tmpl_private_key_info);
  int code = open_key(ctx, sign_key, sign_key_len, password, &sign);
  if (code == 0 && set->km.present()) code = open_key(ctx, km_key, km_key_len, password, &km);
  if (code != 0) return code;

  switch (m->kind) {
    case kStoreIcCard: {
      // Some cards show their presence record only once the PIN is proven: asked without it,
      // a card holding a set looks empty, and its signing key would be sealed without the VID
      // random value that its key loading (which asks with the PIN) expects inside it. The keys
      // opened, the answer with the PIN decides.
      if (ctx->card_probe == 1) {
        const int proven = sc_probe_card(m->pin.c_str());
        if (proven == 0) {
          Failure failure;
          failure.cause = errno != 0 ? errno : kErrCardAbsent;
          return pair_failure(ctx, failure, failure.cause);
        }
        ctx->card_probe = proven;
      }
      const bool apart = ctx->card_probe == 1;
      if (apart) ctx->scheme = PKEY_SCHEME_KISA_SEED;
      if ((code = vid_random_of(ctx, sign.get(), apart, &set->random)) != 0) return code;
      if (apart) pkey_clear_attributes(sign.get());
      code = seal_key(ctx, sign.get(), password, &set->sign.key);
      if (code == 0 && set->km.present()) code = seal_key(ctx, km.get(), password, &set->km.key);
      return code;
    }
    case kStoreSecurityToken:
      if ((code = vid_random_of(ctx, sign.get(), true, &set->random)) != 0) return code;
      pkey_clear_attributes(sign.get());
      copy_plain(sign.get(), &set->sign.key);
      if (set->km.present()) copy_plain(km.get(), &set->km.key);
      return 0;
    default:
      // Disks and the secure disk keep the keys as they came; the value is only held to the bound.
      if ((code = vid_random_of(ctx, sign.get(), false, &set->random)) != 0) return code;
      set->random.clear();
      set->sign.key = SecureBytes(sign_key, sign_key_len);
      if (set->km.present()) set->km.key = SecureBytes(km_key, km_key_len);
      return 0;
  }
}

}  // namespace

STORE_CTX *store_ctx_new() {
  STORE_CTX *ctx = static_cast<STORE_CTX *>(calloc(1, sizeof(STORE_CTX)));
  if (ctx != nullptr) ctx->errors = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
  if (ctx == nullptr || ctx->errors == nullptr) {
    free(ctx);
    errno = kErrOutOfMemory;
    return nullptr;
  }
  return ctx;
}

void store_ctx_free(STORE_CTX *ctx) {
  if (ctx == nullptr) return;
  err_ctx_clear(ctx->errors);
  free(ctx->errors);
  free(ctx->kept_backup);
  free(ctx->left_copy);
  free(ctx);
}

int store_reencrypt_key(STORE_CTX *ctx, const uint8_t *key, size_t key_len, const char *old_password,
                        const char *new_password, uint8_t **out, size_t *out_len) {
  if (out != nullptr) *out = nullptr;
  if (out_len != nullptr) *out_len = 0;
  if (ctx == nullptr || ctx->errors == nullptr || key == nullptr || key_len == 0 || old_password == nullptr ||
      new_password == nullptr || out == nullptr || out_len == nullptr)
    return errno = kErrInvalidParameter;
  Key opened(&asn1_tmpl_private_key_info);
  SecureBytes sealed;
  int code = open_key(ctx, key, key_len, old_password, &opened);
  if (code == 0) code = seal_key(ctx, opened.get(), new_password, &sealed);
  if (code != 0) return errno = code;
  *out = static_cast<uint8_t *>(malloc(sealed.size()));
  if (*out == nullptr) return push(ctx, kErrOutOfMemory);
  memcpy(*out, sealed.data(), sealed.size());
  *out_len = sealed.size();
  return errno = 0;
}

int store_cert_pairs(STORE_CTX *ctx, const char *password, const uint8_t *sign_cert, size_t sign_cert_len,
                     const uint8_t *sign_key, size_t sign_key_len, const uint8_t *km_cert, size_t km_cert_len,
                     const uint8_t *km_key, size_t km_key_len, const StoreMedium *m) {
  if (ctx == nullptr || ctx->errors == nullptr || password == nullptr || m == nullptr) return errno = kErrInvalidParameter;
  if (sign_cert == nullptr || sign_cert_len == 0 || sign_key == nullptr || sign_key_len == 0)
    return push(ctx, kErrInvalidParameter);
  ctx->scheme = PKEY_SCHEME_PBES2_SEED;
  ctx->card_probe = 0;
  PreparedSet set;
  set.sign.cert = sign_cert;
  set.sign.cert_len = sign_cert_len;
  if (km_cert != nullptr && km_cert_len != 0 && km_key != nullptr && km_key_len != 0) {
    // A key-management certificate that does not decode is refused before anything is written,
    // whatever the medium already holds.
    Asn1Owned<Certificate> decoded(&asn1_tmpl_certificate);
    if (!decoded.decode(ASN1_MODE_DER, km_cert, km_cert_len)) {
      const int cause = errno != 0 ? errno : kErrDecodeFailed;
      push(ctx, kErrStorePair);
      add_detail(ctx, cause);
      return errno = kErrStorePair;
    }
    set.km.cert = km_cert;
    set.km.cert_len = km_cert_len;
  }
  if (!is_folder_kind(m->kind) && m->kind != kStoreIcCard && m->kind != kStoreSecurityToken &&
      m->kind != kStoreSecureDisk)
    return push(ctx, kErrStoreUnsupportedMedium);
  if (m->kind == kStoreSecureDisk && m->secure_disk == nullptr) return push(ctx, kErrInvalidParameter);
  if ((m->kind == kStoreIcCard || m->kind == kStoreSecurityToken) && m->pin.empty())
    return push(ctx, kErrInvalidParameter);

  if (m->kind == kStoreIcCard) {
    // Without the PIN: whether the card holds a set decides how its keys are sealed.
    ctx->card_probe = sc_probe_card(nullptr);
    if (ctx->card_probe == 0) {
      Failure failure;
      failure.cause = errno != 0 ? errno : kErrCardAbsent;
      return pair_failure(ctx, failure, failure.cause);
    }
  }
  int code = prepare_keys(ctx, m, password, sign_key, sign_key_len, km_key, km_key_len, &set);
  if (code != 0) return errno = code;

  Failure failure;
  switch (m->kind) {
    case kStoreSecurityToken:
      code = store::token_store(m, set.sign.cert, set.sign.cert_len, set.sign.key.data(), set.sign.key.size(),
                                set.random.data(), set.random.size(), set.km.cert, set.km.cert_len,
                                set.km.present() ? set.km.key.data() : nullptr, set.km.key.size(), &failure);
      if (code == 0) return errno = 0;
      push(ctx, code);
      if (!failure.not_restored) return errno = code;
      // What the failed store made stays on the token beside the old set.
      push(ctx, kErrStoreRestore);
      add_detail(ctx, failure.cause);
      return errno = kErrStoreRestore;
    case kStoreSecureDisk: {
      SdImportNotice notice;
      code = sd_import_pair(m->secure_disk, set.sign.cert, set.sign.cert_len, set.sign.key.data(),
                            set.sign.key.size(), set.km.cert, set.km.cert_len,
                            set.km.present() ? set.km.key.data() : nullptr, set.km.key.size(), password,
                            &notice);
      if (code != 0) {
        err_push(ctx->errors, code, sd_last_error_text(m->secure_disk));
        return errno = code;
      }
      // Stored: an old slot left beside the new one is said, not failed.
      if (notice.old_slot != 0) {
        err_push(ctx->errors, kErrSdSlotNotRemoved, nullptr);
        add_detail(ctx, notice.code);
        const char *text = sd_last_error_text(m->secure_disk);
        if (text != nullptr) err_add_detail(ctx->errors, 0, text);
      }
      return errno = 0;
    }
    case kStoreIcCard:
      code = store::card_store(m, set, ctx->card_probe, &failure);
      break;
    default:
      code = store::folder_store(m, set, &failure);
      break;
  }
  const int result = code != 0 ? pair_failure(ctx, failure, code) : 0;
  note_left_copy(ctx, failure);
  return errno = result;
}

int store_pair_on_medium(const uint8_t *cert, size_t cert_len, const StoreMedium *m, const char *pair_name,
                         const uint8_t *key, size_t key_len, const uint8_t *random, size_t random_len) {
  if (m == nullptr || pair_name == nullptr || cert == nullptr || cert_len == 0 || key == nullptr || key_len == 0 ||
      (random == nullptr && random_len != 0))
    return errno = kErrInvalidParameter;
  const bool km = strcmp(pair_name, "kmCert") == 0;
  if (!km && strcmp(pair_name, "signCert") != 0) return errno = kErrInvalidParameter;
  if (m->kind == kStoreSecurityToken || m->kind == kStoreSecureDisk) return errno = kErrInvalidParameter;
  if (!is_folder_kind(m->kind) && m->kind != kStoreIcCard) return errno = kErrStoreUnsupportedMedium;
  if (random_len > kStoreVidRandomMax) return errno = kErrVidRandomTooLong;

  PreparedSet set;
  store::Pair &pair = km ? set.km : set.sign;
  pair.cert = cert;
  pair.cert_len = cert_len;
  pair.key = SecureBytes(key, key_len);
  if (!km && random_len != 0) set.random = SecureBytes(random, random_len);
  Failure failure;
  int code = 0;
  if (m->kind != kStoreIcCard) {
    code = store::folder_store(m, set, &failure);
  } else {
    const int probe = sc_probe_card(nullptr);
    if (probe == 0) return errno != 0 ? errno : (errno = kErrCardAbsent);
    code = store::card_store(m, set, probe, &failure);
  }
  return errno = code != 0 && failure.not_restored ? int(kErrStoreRestore) : code;
}

int store_set_on_medium(const StoreMedium *m, const uint8_t *sign_cert, size_t sign_cert_len, const uint8_t *sign_key,
                        size_t sign_key_len, const uint8_t *km_cert, size_t km_cert_len, const uint8_t *km_key,
                        size_t km_key_len, char **kept_backup, char **left_copy) {
  if (kept_backup != nullptr) *kept_backup = nullptr;
  if (left_copy != nullptr) *left_copy = nullptr;
  if (m == nullptr || sign_cert == nullptr || sign_cert_len == 0 || sign_key == nullptr || sign_key_len == 0 ||
      (km_cert == nullptr || km_cert_len == 0) != (km_key == nullptr || km_key_len == 0))
    return errno = kErrInvalidParameter;
  if (!is_folder_kind(m->kind)) return errno = kErrInvalidParameter;
  PreparedSet set;
  set.sign.cert = sign_cert;
  set.sign.cert_len = sign_cert_len;
  set.sign.key = SecureBytes(sign_key, sign_key_len);
  if (km_cert != nullptr && km_cert_len != 0) {
    // The pair goes into the signing holder's folder: it must at least be a certificate.
    Asn1Owned<Certificate> decoded(&asn1_tmpl_certificate);
    if (!decoded.decode(ASN1_MODE_DER, km_cert, km_cert_len)) return errno = errno != 0 ? errno : kErrDecodeFailed;
    set.km.cert = km_cert;
    set.km.cert_len = km_cert_len;
    set.km.key = SecureBytes(km_key, km_key_len);
  }
  Failure failure;
  const int code = store::folder_store(m, set, &failure);
  hand_back(failure.backup, kept_backup);
  hand_back(failure.left_copy, left_copy);
  return errno = code != 0 && failure.not_restored ? int(kErrStoreRestore) : code;
}
