// The card's record layout and the ISO 7816-4 commands the store sends.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "media/smartcard/internal.h"
#include "media/smartcard/smartcard.h"
#include "platform/errors/errno_util.h"

namespace v7::smartcard {

namespace {

constexpr uint8_t kRecordTag = 0x70;

// The short file identifier of a kind's records goes into P2 as SFI << 3 | 100b: "record number
// in P1".
uint8_t record_p2(int kind) { return static_cast<uint8_t>(kind * 8 + 4); }

}  // namespace

size_t record_content_length(int kind) {
  switch (kind) {
    case kScKindKey:
    case kScKindCert:
      return 50;
    case kScKindRandom:
      return 40;
    case kScKindPresence:
      return 4;
    default:
      return 0;
  }
}

size_t object_limit(int kind) { return kind == kScKindRandom ? kScRandomMax : kScObjectLimit - 1; }

size_t records_for(int kind, size_t n) {
  size_t l = record_content_length(kind);
  if (l < 2) return 0;
  size_t first = l - 2;
  if (n <= first) return 1;
  return 1 + (n - first + l - 1) / l;
}

std::vector<std::vector<uint8_t>> object_records(int kind, const uint8_t *data, size_t n) {
  size_t l = record_content_length(kind);
  std::vector<std::vector<uint8_t>> records;
  size_t count = records_for(kind, n);
  size_t at = 0;
  for (size_t r = 0; r < count; r++) {
    std::vector<uint8_t> image(2 + l, 0);
    image[0] = kRecordTag;
    image[1] = static_cast<uint8_t>(l);
    size_t pos = 2;
    if (r == 0) {
      image[2] = static_cast<uint8_t>(n >> 8);
      image[3] = static_cast<uint8_t>(n);
      pos = 4;
    }
    size_t take = std::min(image.size() - pos, n - at);
    if (take > 0) std::memcpy(image.data() + pos, data + at, take);
    at += take;
    records.push_back(std::move(image));
  }
  return records;
}

std::vector<uint8_t> apdu_select_fid(int file) {
  return {0x00, 0xA4, 0x00, 0x00, 0x02, static_cast<uint8_t>(file), 0x00};
}

std::vector<uint8_t> apdu_select_aid(int file) {
  return {0x00, 0xA4, 0x04, 0x00, 0x07, 0xD4,
          0x10, 0x65, 0x09, 0x90, 0x00, static_cast<uint8_t>(file == kScFileKm ? 0x40 : 0x30)};
}

SecureBytes apdu_verify(const uint8_t *pin, size_t len, uint8_t p2) {
  SecureBytes apdu(13);
  const uint8_t head[5] = {0x00, 0x20, 0x00, p2, 0x08};
  std::memcpy(apdu.data(), head, sizeof head);
  std::memcpy(apdu.data() + 5, pin, std::min<size_t>(len, 8));
  return apdu;
}

std::vector<uint8_t> apdu_read_record(int record, int kind, uint8_t le) {
  return {0x00, 0xB2, static_cast<uint8_t>(record), record_p2(kind), le};
}

std::vector<uint8_t> apdu_update_record(int record, int kind, const std::vector<uint8_t> &image) {
  std::vector<uint8_t> apdu(5 + image.size());
  apdu[0] = 0x00;
  apdu[1] = 0xDC;
  apdu[2] = static_cast<uint8_t>(record);
  apdu[3] = record_p2(kind);
  apdu[4] = static_cast<uint8_t>(image.size());
  if (!image.empty()) std::memcpy(apdu.data() + 5, image.data(), image.size());
  return apdu;
}

unsigned status_word(const std::vector<uint8_t> &answer) {
  if (answer.size() < 2) return 0;
  return static_cast<unsigned>(answer[answer.size() - 2]) << 8 | answer[answer.size() - 1];
}

bool status_ok(unsigned sw) { return (sw >> 8) == 0x90 || (sw >> 8) == 0x61; }

const uint8_t *record_answer_content(const std::vector<uint8_t> &answer, int kind, size_t needed) {
  // A card decides what it answers: the record must be a whole TLV that fits its kind and holds
  // what the object still needs, or nothing of it is used.
  size_t l = record_content_length(kind);
  if (answer.size() < 4 || answer[0] != kRecordTag) return with_errno(kErrCardAnswer, nullptr);
  size_t content = answer[1];
  if (content + 4 != answer.size() || content > l || content < needed)
    return with_errno(kErrCardAnswer, nullptr);
  return answer.data() + 2;
}

}  // namespace v7::smartcard
