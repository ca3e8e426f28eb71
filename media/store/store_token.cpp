// The PKCS#11 token: both pairs as key-pair and certificate objects and the VID data object. The
// holder's old objects go only once the new set is complete; after a failure what this store made
// goes again and the old set stays as it was. A clean-up that fails is said: the token then holds
// the old set and some new objects beside it.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "media/store/internal.h"
#include "media/token/p11.h"
#include "pki/x509/cert.h"
#include "platform/errors/error_codes.h"

using namespace v7;

namespace {

struct ModuleRef {
  void operator()(P11_MODULE *m) const { p11_module_release(m); }
};
using Module = std::unique_ptr<P11_MODULE, ModuleRef>;

struct Handles {
  CK_OBJECT_HANDLE *items = nullptr;
  size_t count = 0;
  ~Handles() { free(items); }
  bool holds(CK_OBJECT_HANDLE h) const {
    for (size_t i = 0; i < count; ++i)
      if (items[i] == h) return true;
    return false;
  }
};

struct Subject {
  uint8_t *der = nullptr;
  size_t length = 0;
  ~Subject() { free(der); }
};

// The medium's open module (one more reference) or the module path loaded and opened.
int store_token_module(const StoreMedium *m, Module *out) {
  if (m->module != nullptr) {
    out->reset(p11_module_retain(m->module));
    return *out != nullptr ? 0 : kErrP11ModuleGone;
  }
  out->reset(p11_module_load(m->module_path.c_str()));
  if (*out == nullptr) return errno != 0 ? errno : kErrModuleLoad;
  return p11_module_open(out->get());
}

// Destroys what this store made: the holder's objects now that were not there before. 0, or the
// token's code when they could not all be found or destroyed (they then stay beside the old set).
int remove_new(P11_MODULE *module, const char *pin, const Subject &subject, const Handles &old) {
  const int saved = errno;
  Handles now;
  int code = p11_find_holder_objects(module, pin, subject.der, subject.length, &now.items, &now.count);
  if (code == 0) {
    std::vector<CK_OBJECT_HANDLE> made;
    for (size_t i = 0; i < now.count; ++i)
      if (!old.holds(now.items[i])) made.push_back(now.items[i]);
    code = p11_destroy_objects(module, made.data(), made.size());
  }
  errno = saved;
  return code;
}

enum class Step { kSignCert, kKmCert, kSignKey, kKmKey, kRandom };

}  // namespace

namespace v7 {
namespace store {

int token_store(const StoreMedium *m, const uint8_t *sign_cert, size_t sign_cert_len, const uint8_t *sign_key,
                size_t sign_key_len, const uint8_t *random, size_t random_len, const uint8_t *km_cert,
                size_t km_cert_len, const uint8_t *km_key, size_t km_key_len, Failure *failed) {
  *failed = Failure();
  if (m == nullptr || m->kind != kStoreSecurityToken || sign_cert == nullptr || sign_cert_len == 0 ||
      sign_key == nullptr || sign_key_len == 0 || m->pin.empty() || m->module_path.empty() ||
      (random == nullptr && random_len != 0) || (km_cert == nullptr) != (km_key == nullptr))
    return errno = kErrInvalidParameter;
  if (random_len > kStoreVidRandomMax) return errno = kErrVidRandomTooLong;
  const bool with_km = km_cert != nullptr;

  // The target is checked before the token is touched: both certificates name one holder.
  Subject subject, km_subject;
  if (cert_subject_der(sign_cert, sign_cert_len, &subject.der, &subject.length) == 0)
    return errno = errno != 0 ? errno : kErrDecodeFailed;
  if (with_km) {
    if (cert_subject_der(km_cert, km_cert_len, &km_subject.der, &km_subject.length) == 0)
      return errno = errno != 0 ? errno : kErrDecodeFailed;
    if (km_subject.length != subject.length || memcmp(km_subject.der, subject.der, subject.length) != 0)
      return errno = kErrKmSubjectMismatch;
  }

  Module module;
  int code = store_token_module(m, &module);
  const char *pin = m->pin.c_str();
  if (code == 0) code = p11_login(pin, module.get());
  Handles old;
  if (code == 0) code = p11_find_holder_objects(module.get(), pin, subject.der, subject.length, &old.items, &old.count);
  if (code != 0) return errno = code;

  // Some modules want the key-management objects first.
  const bool km_first = m->module_path.find("ASAM_FP") != std::string::npos;
  const Step normal[] = {Step::kSignCert, Step::kKmCert, Step::kSignKey, Step::kKmKey, Step::kRandom};
  const Step asam[] = {Step::kKmCert, Step::kKmKey, Step::kSignCert, Step::kSignKey, Step::kRandom};
  uint8_t *sign_id = nullptr, *km_id = nullptr;
  for (Step step : km_first ? asam : normal) {
    const bool km_step = step == Step::kKmCert || step == Step::kKmKey;
    if (km_step && !with_km) continue;
    switch (step) {
      case Step::kSignCert:
      case Step::kKmCert: {
        // A certificate written before its key takes its own key's id, which is the pair's.
        uint8_t *id = km_step ? km_id : sign_id;
        code = p11_put_cert(module.get(), pin, km_step ? km_cert : sign_cert, km_step ? km_cert_len : sign_cert_len,
                            id, id != nullptr ? P11_KEY_ID_LEN : 0);
        break;
      }
      case Step::kSignKey:
      case Step::kKmKey:
        code = p11_put_keypair(module.get(), pin, km_step ? km_key : sign_key, km_step ? km_key_len : sign_key_len,
                               km_step ? 1 : 0, subject.der, subject.length, km_step ? &km_id : &sign_id);
        break;
      case Step::kRandom:
        if (random_len != 0)
          code = p11_put_vid_object(pin, sign_id, module.get(), random, random_len, P11_KEY_ID_LEN);
        break;
    }
    if (code != 0) break;
  }
  free(sign_id);
  free(km_id);
  if (code != 0) {
    failed->cause = remove_new(module.get(), pin, subject, old);
    failed->not_restored = failed->cause != 0;
    return errno = code;
  }
  // The new set is whole: the old one goes. A leftover old object is a duplicate of the holder's,
  // not a loss, so it does not turn the store into a failure.
  p11_destroy_objects(module.get(), old.items, old.count);
  return errno = 0;
}

}  // namespace store
}  // namespace v7

int store_pair_on_token(const StoreMedium *m, const uint8_t *sign_cert, size_t sign_cert_len,
                        const uint8_t *sign_key, size_t sign_key_len, const uint8_t *random,
                        size_t random_len, const uint8_t *km_cert, size_t km_cert_len, const uint8_t *km_key,
                        size_t km_key_len) {
  v7::store::Failure failure;
  const int code = v7::store::token_store(m, sign_cert, sign_cert_len, sign_key, sign_key_len, random,
                                          random_len, km_cert, km_cert_len, km_key, km_key_len, &failure);
  return errno = code != 0 && failure.not_restored ? int(v7::kErrStoreRestore) : code;
}
