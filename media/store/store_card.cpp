// The IC card: the signing pair and the VID random value in F300, the key-management pair in F400.
#include <cerrno>
#include <vector>

#include "media/smartcard/smartcard.h"
#include "media/store/internal.h"
#include "platform/errors/error_codes.h"

namespace v7 {
namespace store {
namespace {

// One object the store replaces, with what the card held there before.
struct CardObject {
  CardObject(int file_id, int object_kind, const uint8_t *bytes, size_t size, FailedPair of, int code)
      : file(file_id), kind(object_kind), data(bytes), length(size), pair(of), fail_code(code) {}
  int file;
  int kind;
  const uint8_t *data;  // null: part of the erased key-management pair
  size_t length;
  FailedPair pair;
  int fail_code;
  bool had_old = false;
  SecureBytes old;
};

int write_object(const char *pin, int file, int kind, const uint8_t *data, size_t length) {
  if (length == 0) {
    // An empty object is its length record set to 0, which the object writers do not take.
    static const uint8_t kNothing = 0;
    int rc = sc_open(pin);
    if (rc == 0) {
      sc_set_kind(kind);
      rc = sc_select_df(file, pin) == 0 ? sc_write_object(&kNothing, 0) : -1;
      const int code = errno;
      sc_close();
      errno = code;
    }
    return rc;
  }
  switch (kind) {
    case kScKindKey:
      return sc_write_key(pin, file, data, length);
    case kScKindCert:
      return sc_write_cert(pin, file, data, length);
    default:
      return sc_write_random(pin, data, length);
  }
}

// The object's bytes now. Only the card's own "not found" (no record, or an empty object) means
// there is nothing to give back; any other failure (the card pulled out, a refusal, a broken
// answer) leaves unknown what the card holds, and is returned, so that nothing is written over it.
int read_old(const char *pin, CardObject *object) {
  uint8_t *bytes = nullptr;
  size_t n = 0;
  int rc = object->kind == kScKindKey    ? sc_read_key(pin, &bytes, &n, object->file)
           : object->kind == kScKindCert ? sc_read_cert(pin, &bytes, &n, object->file)
                                         : sc_read_random(pin, &bytes, &n);
  if (rc == 0) {
    object->had_old = true;
    object->old = SecureBytes(bytes, n);
    sc_free(bytes, n);
    return 0;
  }
  const int code = rc > 0 ? rc : errno;
  if (code == kErrCardNotFound) return 0;
  return code != 0 ? code : kErrCardRead;
}

// False when an object could not be given its old bytes back.
bool restore(const char *pin, const std::vector<CardObject> &objects, size_t touched) {
  const int saved = errno;
  bool whole = true;
  for (size_t i = touched; i-- > 0;) {
    const CardObject &o = objects[i];
    whole = write_object(pin, o.file, o.kind, o.had_old ? o.old.data() : nullptr, o.had_old ? o.old.size() : 0) == 0 &&
            whole;
  }
  errno = saved;
  return whole;
}

}  // namespace

int card_store(const StoreMedium *m, const PreparedSet &set, int probe, Failure *failed) {
  *failed = Failure();
  if (m->pin.empty()) return kErrInvalidParameter;
  const char *pin = m->pin.c_str();
  // The PIN is proven before anything is read or written; a refused PIN is remembered by the card
  // layer, so it costs one try however often it is offered.
  const int proven = sc_probe_card(pin);
  if (proven == 0) {
    failed->pair = set.sign.present() ? FailedPair::kSign : FailedPair::kKm;
    failed->cause = errno != 0 ? errno : kErrCardAbsent;
    return failed->cause;
  }

  std::vector<CardObject> objects;
  // A card that held a set has its old key-management pair erased (overwritten, then emptied),
  // so that no key of the old holder stays in F400's records; its bytes are kept for the way back.
  if (probe == 2 && set.sign.present()) {
    objects.emplace_back(kScFileKm, kScKindCert, nullptr, 0, FailedPair::kKm, kErrCertWrite);
    objects.emplace_back(kScFileKm, kScKindKey, nullptr, 0, FailedPair::kKm, kErrKeyWrite);
  }
  if (set.sign.present()) {
    objects.emplace_back(kScFileSign, kScKindKey, set.sign.key.data(), set.sign.key.size(), FailedPair::kSign,
                       kErrKeyWrite);
    objects.emplace_back(kScFileSign, kScKindCert, set.sign.cert, set.sign.cert_len, FailedPair::kSign,
                       kErrCertWrite);
    // The VID random value goes onto a card without a presence record only.
    if (proven == 1 && set.random.size() != 0)
      objects.emplace_back(kScFileSign, kScKindRandom, set.random.data(), set.random.size(), FailedPair::kSign,
                         kErrKeyWrite);
  }
  if (set.km.present()) {
    objects.emplace_back(kScFileKm, kScKindKey, set.km.key.data(), set.km.key.size(), FailedPair::kKm, kErrKeyWrite);
    objects.emplace_back(kScFileKm, kScKindCert, set.km.cert, set.km.cert_len, FailedPair::kKm, kErrCertWrite);
  }
  for (CardObject &o : objects) {
    if ((failed->cause = read_old(pin, &o)) != 0) {
      failed->pair = o.pair;
      return kErrStoreBackup;
    }
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    const CardObject &o = objects[i];
    // The erase covers both objects of F400: it runs for the first of them.
    const bool erase = o.data == nullptr;
    if (erase && i > 0 && objects[i - 1].data == nullptr) continue;
    const int rc = erase ? sc_erase_km_pair(pin) : write_object(pin, o.file, o.kind, o.data, o.length);
    if (rc == 0) continue;
    failed->pair = o.pair;
    failed->cause = rc > 0 ? rc : errno;
    // The object that failed may be half written: it goes back with the others.
    failed->not_restored = !restore(pin, objects, erase ? 2 : i + 1);
    return o.fail_code;
  }
  return 0;
}

}  // namespace store
}  // namespace v7
