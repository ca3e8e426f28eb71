// The card's public operations: each opens the card, works and closes it powered down.
#include "media/smartcard/smartcard.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/smartcard/internal.h"
#include "platform/errors/errno_util.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"

namespace v7::smartcard {

CardState &card_state() {
  static CardState state;
  return state;
}

void show_wrong_pin(int tries_left) {
  bool korean = language_is_korean();
  std::u16string text = korean ? u"스마트카드 접근비밀번호가 맞지 않습니다.\r\n다시 입력해주십시오."
                               : u"You have entered wrong PIN number.\r\nPlease enter the PIN number again.";
  // The user must know how close the card is to locking itself.
  if (tries_left == 0) {
    text += korean ? u"\r\n카드가 잠겼습니다." : u"\r\nThe card is locked.";
  } else if (tries_left > 0) {
    std::string n = std::to_string(tries_left);
    text += korean ? u"\r\n남은 입력 횟수: " : u"\r\nTries left: ";
    text += std::u16string(n.begin(), n.end());
  }
  message_box_w(text.c_str(), korean ? u"비밀번호 오류" : u"ERROR", 0 /* MB_OK */);
}

}  // namespace v7::smartcard

using namespace v7;
using namespace v7::smartcard;

namespace {

bool pin_fits(const char *pin) {
  size_t len = std::strlen(pin);
  return len >= 4 && len <= 8;
}

// Closing keeps the code of what failed before it.
int close_with(int result) {
  int code = errno;
  sc_close();
  errno = code;
  return result;
}

int read_kind(const char *pin, uint8_t **out, size_t *out_len, int file, int kind) {
  if (out == nullptr || out_len == nullptr) return with_errno(kErrInvalidParameter, -1);
  *out = nullptr;
  *out_len = 0;
  if (!valid_file(file)) return with_errno(kErrInvalidParameter, -1);
  int rc = sc_open(pin);
  if (rc != 0) return rc;
  sc_set_kind(kind);
  if (sc_select_df(file, pin) != 0) return close_with(-1);
  rc = sc_read_object(out, out_len);
  return close_with(rc);
}

int write_kind(const char *pin, int file, int kind, const uint8_t *data, size_t len) {
  if (!valid_file(file)) return with_errno(kErrInvalidParameter, -1);
  if (data == nullptr || len == 0) return with_errno(kErrInvalidParameter, -1);
  if (len > object_limit(kind)) return with_errno(kErrCardNoSpace, -1);
  // Writing needs the proven PIN: without one the card would refuse every record.
  if (pin == nullptr) return with_errno(kErrPinRequired, -1);
  int rc = sc_open(pin);
  if (rc != 0) return rc;
  sc_set_kind(kind);
  if (sc_select_df(file, pin) != 0) return close_with(-1);
  rc = sc_write_object(data, len);
  return close_with(rc);
}

}  // namespace

int sc_open(const char *pin) {
  // A PIN that cannot be sent as it is never reaches the card: nothing is sent at all.
  if (pin != nullptr && !pin_fits(pin)) return with_errno(kErrPinInvalid, -1);
  CardState &st = card_state();
  if (st.connected) sc_close();
  int rc = link_establish();
  if (rc != 0) return with_errno(rc, -1);
  rc = link_connect();
  if (rc != 0 || !link_card_present(nullptr)) {
    link_release();
    return with_errno(kErrCardAbsent, kErrCardAbsent);
  }
  st.connected = true;
  st.file = kScFileSign;
  st.selected = false;
  if (sc_select_df(kScFileSign, pin) != 0) return close_with(-1);
  errno = 0;
  return 0;
}

void sc_close() {
  CardState &st = card_state();
  link_release();
  st.connected = false;
  st.selected = false;
}

int sc_read_cert(const char *pin, uint8_t **out, size_t *out_len, int file) {
  return read_kind(pin, out, out_len, file, kScKindCert);
}

int sc_read_key(const char *pin, uint8_t **out, size_t *out_len, int file) {
  return read_kind(pin, out, out_len, file, kScKindKey);
}

int sc_read_random(const char *pin, uint8_t **out, size_t *out_len) {
  return read_kind(pin, out, out_len, kScFileSign, kScKindRandom);
}

void sc_free(uint8_t *buffer, size_t len) {
  secure_wipe(buffer, len);
  std::free(buffer);
}

int sc_write_cert(const char *pin, int file, const uint8_t *data, size_t len) {
  return write_kind(pin, file, kScKindCert, data, len);
}

int sc_write_key(const char *pin, int file, const uint8_t *data, size_t len) {
  return write_kind(pin, file, kScKindKey, data, len);
}

int sc_write_random(const char *pin, const uint8_t *data, size_t len) {
  return write_kind(pin, kScFileSign, kScKindRandom, data, len);
}

int sc_probe_card(const char *pin) {
  if (sc_open(pin) != 0) return 0;
  int code = 0;
  int state = 2;
  if (sc_presence() != 0) {
    code = errno;
    // Only a card that says the record is not there reads as holding no set, and one that wants
    // the PIN first as perhaps holding none (errno tells which). A card pulled out or answering
    // nonsense tells nothing: taken for empty, it would have a set written over its own.
    state = code == kErrCardNotFound || code == kErrPinRequired ? 1 : 0;
  }
  sc_close();
  errno = code;
  return state;
}

int sc_erase_km_pair(const char *pin) {
  if (pin == nullptr) return with_errno(kErrPinRequired, -1);
  int rc = sc_open(pin);
  if (rc != 0) return rc;
  if (sc_presence() != 0) return close_with(0);
  if (sc_select_df(kScFileKm, pin) != 0) return close_with(-1);
  std::vector<uint8_t> zeros(1998, 0);
  const struct {
    int kind;
    size_t len;
  } steps[] = {{kScKindCert, 1998}, {kScKindKey, 1498}, {kScKindCert, 0}, {kScKindKey, 0}};
  for (const auto &step : steps) {
    sc_set_kind(step.kind);
    if (sc_write_object(zeros.data(), step.len) != 0) return close_with(-1);
  }
  return close_with(0);
}

int sc_pin_tries_left() { return card_state().tries_left; }

bool sc_pin_box_told(int code) { return code == kErrCardPinWrong || code == kErrCardPinLocked; }

void sc_forget_refused_pin() {
  CardState &st = card_state();
  st.refused_pin.clear();
  st.refused_atr.clear();
}
