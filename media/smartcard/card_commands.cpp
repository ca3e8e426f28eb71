// The commands on an open card: selecting a file, proving the PIN, and reading and writing the
// object of the current kind across its records.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "media/smartcard/internal.h"
#include "media/smartcard/smartcard.h"
#include "platform/errors/errno_util.h"

namespace v7::smartcard {

namespace {

// What a refusal of a command means to the caller; `otherwise` names the command that failed.
int refusal_code(unsigned sw, int otherwise) {
  if (sw == 0x6982) return kErrPinRequired;
  if (sw == 0x6983) return kErrCardPinLocked;
  if (sw == 0x6A84) return kErrCardNoSpace;
  return otherwise;
}

// One command and its answer; 0 or the link's code.
int send(const uint8_t *apdu, size_t len, std::vector<uint8_t> *answer) {
  return link_transmit(apdu, len, answer);
}

int send(const std::vector<uint8_t> &apdu, std::vector<uint8_t> *answer) {
  return send(apdu.data(), apdu.size(), answer);
}

// The card must be the one that refused the PIN, too: another card may well take it.
bool refused_before(const uint8_t *pin, size_t len, const std::vector<uint8_t> &atr) {
  const CardState &st = card_state();
  return st.refused_pin.size() == len && len > 0 && st.refused_atr == atr &&
         ct_memeq(st.refused_pin.data(), pin, len) == 1;
}

int verify_pin(const char *pin) {
  CardState &st = card_state();
  const auto *bytes = reinterpret_cast<const uint8_t *>(pin);
  size_t len = std::strlen(pin);
  // The PIN field holds 8 bytes: a longer PIN would be sent cut, a shorter one than 4 is none.
  if (len < 4 || len > 8) return with_errno(kErrPinInvalid, -1);
  std::vector<uint8_t> atr;
  link_card_present(&atr);
  if (refused_before(bytes, len, atr))
    return with_errno(st.tries_left == 0 ? kErrCardPinLocked : kErrCardPinWrong, -1);

  std::vector<uint8_t> answer;
  SecureBytes apdu = apdu_verify(bytes, len, 0x01);
  int rc = send(apdu.data(), apdu.size(), &answer);
  if (rc == 0 && status_word(answer) == 0x6A88) {
    // Cards that keep the PIN under the specific reference 81.
    apdu = apdu_verify(bytes, len, 0x81);
    rc = send(apdu.data(), apdu.size(), &answer);
  }
  if (rc != 0) return with_errno(rc, -1);
  unsigned sw = status_word(answer);
  if ((sw >> 8) == 0x90) {
    st.refused_pin.clear();
    st.refused_atr.clear();
    st.tries_left = -1;
    return 0;
  }
  bool blocked = sw == 0x6983;
  // Any other answer is no verdict on the PIN (no PIN under either reference, a PIN field the card
  // does not take, a fault): the user is told what the card said, not that the PIN is wrong.
  if ((sw >> 8) != 0x63 && !blocked) return with_errno(kErrCardVerifyRefused, -1);
  // A refusal: one try spent. It is remembered so that the same PIN does not spend more.
  st.tries_left = blocked ? 0 : (sw & 0xFFF0) == 0x63C0 ? static_cast<int>(sw & 0x0F) : -1;
  st.refused_pin = SecureBytes(bytes, len);
  st.refused_atr = atr;
  show_wrong_pin(st.tries_left);
  return with_errno(blocked ? kErrCardPinLocked : kErrCardPinWrong, -1);
}

// UPDATE RECORD with the answer rules of writes: a 69.. refusal fails at once; another answer
// that is not 90.. gets the command sent once more, which must then succeed.
int update(int record, int kind, const std::vector<uint8_t> &image) {
  std::vector<uint8_t> apdu = apdu_update_record(record, kind, image);
  std::vector<uint8_t> answer;
  int rc = send(apdu, &answer);
  if (rc != 0) return with_errno(rc, -1);
  unsigned sw = status_word(answer);
  if ((sw >> 8) == 0x69) return with_errno(refusal_code(sw, kErrCardWrite), -1);
  if ((sw >> 8) != 0x90) {
    rc = send(apdu, &answer);
    if (rc != 0) return with_errno(rc, -1);
    sw = status_word(answer);
    if (!status_ok(sw)) return with_errno(refusal_code(sw, kErrCardWrite), -1);
  }
  return 0;
}

// A card's "no such record file" (6A 82) or "no such record" (6A 83) at an object's first record
// says that nothing is stored there. Past the first record it says that an object the first one
// announced has lost its tail: a broken object, not an absent one.
bool not_found(unsigned sw) { return sw == 0x6A82 || sw == 0x6A83; }

// READ RECORD of one record; a card that asks for another Le (6C XX) gets the command again
// with it when `allow_resend`.
int read_record(int record, int kind, bool allow_resend, std::vector<uint8_t> *answer) {
  auto le = static_cast<uint8_t>(record_content_length(kind) + 2);
  int rc = send(apdu_read_record(record, kind, le), answer);
  if (rc != 0) return with_errno(rc, -1);
  unsigned sw = status_word(*answer);
  if (allow_resend && (sw >> 8) == 0x6C) {
    rc = send(apdu_read_record(record, kind, static_cast<uint8_t>(sw & 0xFF)), answer);
    if (rc != 0) return with_errno(rc, -1);
    sw = status_word(*answer);
  }
  if (not_found(sw)) return with_errno(record == 1 ? kErrCardNotFound : kErrCardLayout, -1);
  if (!status_ok(sw)) return with_errno(refusal_code(sw, kErrCardRead), -1);
  return 0;
}

// Record 1 carries the length. It is first cleared to length 0 and written last, so that an
// interrupted write leaves an object that reads as empty rather than a mix of two.
int write_records(int kind, const std::vector<std::vector<uint8_t>> &records) {
  if (records.size() > 1 && update(1, kind, object_records(kind, nullptr, 0)[0]) != 0) return -1;
  for (size_t r = 1; r < records.size(); r++)
    if (update(static_cast<int>(r + 1), kind, records[r]) != 0) return -1;
  return update(1, kind, records[0]);
}

}  // namespace

}  // namespace v7::smartcard

using namespace v7;
using namespace v7::smartcard;

int sc_select_df(int file, const char *pin) {
  CardState &st = card_state();
  if (!valid_file(file)) return with_errno(kErrInvalidParameter, -1);
  if (!st.connected) return with_errno(kErrCardAbsent, -1);
  if (file == st.file && st.selected) return 0;
  if (file != st.file) {
    // Another file: the card is powered down and up again, so the PIN must be proven anew.
    st.selected = false;
    int rc = link_connect();
    if (rc != 0) {
      st.connected = false;
      return with_errno(rc, -1);
    }
    st.file = file;
  }
  std::vector<uint8_t> answer;
  int rc = send(apdu_select_fid(file), &answer);
  if (rc != 0) return with_errno(rc, -1);
  if (!status_ok(status_word(answer))) {
    rc = send(apdu_select_aid(file), &answer);
    if (rc != 0) return with_errno(rc, -1);
    if (!status_ok(status_word(answer)))
      return with_errno(refusal_code(status_word(answer), kErrCardSelect), -1);
  }
  st.selected = true;
  if (pin != nullptr && verify_pin(pin) != 0) return -1;
  return 0;
}

void sc_set_kind(int kind) { card_state().kind = kind; }

int sc_read_object(uint8_t **out, size_t *out_len) {
  CardState &st = card_state();
  if (out == nullptr || out_len == nullptr) return with_errno(kErrInvalidParameter, -1);
  *out = nullptr;
  *out_len = 0;
  int kind = st.kind;
  size_t l = record_content_length(kind);
  if (l == 0 || (kind != kScKindKey && kind != kScKindCert && st.file != kScFileSign))
    return with_errno(kErrInvalidParameter, -1);
  std::vector<uint8_t> answer;
  if (read_record(1, kind, false, &answer) != 0) return -1;
  if (kind == kScKindPresence) return 0;

  const uint8_t *content = record_answer_content(answer, kind, 2);
  if (content == nullptr) return -1;
  size_t n = static_cast<size_t>(content[0]) << 8 | content[1];
  // Length 0 is what an erase or an interrupted write leaves: no object.
  if (n == 0) return with_errno(kErrCardNotFound, -1);
  if (n > object_limit(kind)) return with_errno(kErrCardLayout, -1);
  size_t first = std::min(n, l - 2);
  if (record_answer_content(answer, kind, 2 + first) == nullptr) return -1;

  auto *buffer = static_cast<uint8_t *>(std::malloc(n));
  if (buffer == nullptr) return with_errno(kErrOutOfMemory, -1);
  std::memcpy(buffer, content + 2, first);
  size_t got = first;
  for (int record = 2; got < n; record++) {
    size_t need = std::min(l, n - got);
    const uint8_t *part = nullptr;
    if (read_record(record, kind, true, &answer) == 0) part = record_answer_content(answer, kind, need);
    if (part == nullptr) {
      int code = errno;
      sc_free(buffer, n);
      secure_wipe(answer.data(), answer.size());
      return with_errno(code, -1);
    }
    std::memcpy(buffer + got, part, need);
    got += need;
  }
  secure_wipe(answer.data(), answer.size());
  *out = buffer;
  *out_len = n;
  return 0;
}

int sc_write_object(const uint8_t *data, size_t len) {
  CardState &st = card_state();
  int kind = st.kind;
  if (kind != kScKindKey && kind != kScKindCert && kind != kScKindRandom)
    return with_errno(kErrInvalidParameter, -1);
  if (kind == kScKindRandom && st.file != kScFileSign) return with_errno(kErrInvalidParameter, -1);
  if (data == nullptr && len > 0) return with_errno(kErrInvalidParameter, -1);
  // Everything is checked before the first command: a refused object changes nothing.
  if (len > object_limit(kind)) return with_errno(kErrCardNoSpace, -1);
  std::vector<std::vector<uint8_t>> records = object_records(kind, data, len);
  int rc = write_records(kind, records);
  for (auto &image : records) secure_wipe(image.data(), image.size());
  return rc;
}

int sc_presence() {
  sc_set_kind(kScKindPresence);
  uint8_t *none = nullptr;
  size_t len = 0;
  return sc_read_object(&none, &len);
}
