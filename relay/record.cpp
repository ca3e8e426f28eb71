#include "relay/record.h"

#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"

namespace {

// Room for n more bytes at *pos; the checks avoid pos + n overflowing.
int check_room(const uint8_t *out, size_t out_cap, const size_t *pos, size_t n) {
  if (out == nullptr || pos == nullptr || *pos > out_cap) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (out_cap - *pos < n) return v7::with_errno(v7::kErrInsufficientBuffer, -1);
  return 0;
}

bool has_bytes(size_t in_len, size_t pos, size_t n) { return pos <= in_len && in_len - pos >= n; }

}  // namespace

int relay_record_header_write(uint8_t *out, size_t out_cap, size_t *pos, uint8_t type, uint16_t version,
                              size_t body_len) {
  if (body_len > kRelayMaxBody) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (check_room(out, out_cap, pos, kRelayHeaderLen) != 0) return -1;
  uint8_t *p = out + *pos;
  p[0] = type;
  v7::store_be16(p + 1, version);
  v7::store_be16(p + 3, uint16_t(body_len));
  *pos += kRelayHeaderLen;
  return 0;
}

int relay_record_header_read(const uint8_t *in, size_t in_len, RelayRecordHeader *out) {
  if ((in == nullptr && in_len != 0) || out == nullptr) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (in_len < kRelayHeaderLen) return v7::with_errno(v7::kErrRelayShortRecord, -1);
  out->type = in[0];
  out->version = v7::load_be16(in + 1);
  out->body_len = v7::load_be16(in + 3);
  return 0;
}

int relay_record_body(const uint8_t *in, size_t in_len, const uint8_t **body, size_t *body_len) {
  RelayRecordHeader header;
  if (body == nullptr || body_len == nullptr) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (relay_record_header_read(in, in_len, &header) != 0) return -1;
  if (!has_bytes(in_len, kRelayHeaderLen, header.body_len))
    return v7::with_errno(v7::kErrRelayShortRecord, -1);
  *body = in + kRelayHeaderLen;
  *body_len = header.body_len;
  return 0;
}

int relay_hello_write(uint8_t *out, size_t out_cap, size_t *pos, uint16_t version) {
  // The 3.0 body has no meaning the peers depend on beyond its exact bytes.
  static const uint8_t kHelloBody[2] = {0x00, 0x05};
  size_t body_len = version >= relay_version(3, 0) ? sizeof(kHelloBody) : 0;
  if (check_room(out, out_cap, pos, kRelayHeaderLen + body_len) != 0) return -1;
  relay_record_header_write(out, out_cap, pos, uint8_t(RelayRecordType::Hello), version, body_len);
  memcpy(out + *pos, kHelloBody, body_len);
  *pos += body_len;
  return 0;
}

int relay_alert_write(uint8_t *out, size_t out_cap, size_t *pos, uint16_t version, uint16_t code) {
  if (check_room(out, out_cap, pos, kRelayHeaderLen + 2) != 0) return -1;
  relay_record_header_write(out, out_cap, pos, uint8_t(RelayRecordType::Alert), version, 2);
  v7::store_be16(out + *pos, code);
  *pos += 2;
  return 0;
}

int relay_lv_write(uint8_t *out, size_t out_cap, size_t *pos, const uint8_t *data, size_t len) {
  if (len > 0xffff || (data == nullptr && len != 0)) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (check_room(out, out_cap, pos, 2 + len) != 0) return -1;
  v7::store_be16(out + *pos, uint16_t(len));
  if (len != 0) memcpy(out + *pos + 2, data, len);
  *pos += 2 + len;
  return 0;
}

int relay_lv_read(const uint8_t *in, size_t in_len, size_t *pos, const uint8_t **data, size_t *len) {
  if ((in == nullptr && in_len != 0) || pos == nullptr || data == nullptr || len == nullptr) {
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  }
  if (!has_bytes(in_len, *pos, 2)) return v7::with_errno(v7::kErrRelayShortRecord, -1);
  size_t n = v7::load_be16(in + *pos);
  if (!has_bytes(in_len, *pos + 2, n)) return v7::with_errno(v7::kErrRelayShortRecord, -1);
  *data = in + *pos + 2;
  *len = n;
  *pos += 2 + n;
  return 0;
}

int relay_session_key_body_write(uint8_t *out, size_t out_cap, size_t *pos, const uint8_t *key,
                                 const uint8_t *iv) {
  if (key == nullptr || iv == nullptr) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (check_room(out, out_cap, pos, kSessionKeyBodyLen) != 0) return -1;
  relay_lv_write(out, out_cap, pos, key, kSessionKeyLen);
  relay_lv_write(out, out_cap, pos, iv, kSessionKeyLen);
  return 0;
}

int relay_session_key_body_parse(const uint8_t *in, size_t in_len, size_t *pos, SessionKeyBody *out) {
  if (out == nullptr || pos == nullptr) return v7::with_errno(v7::kErrInvalidParameter, -1);
  size_t at = *pos;
  SessionKeyBody body;
  if (relay_lv_read(in, in_len, &at, &body.key, &body.key_len) != 0 ||
      relay_lv_read(in, in_len, &at, &body.iv, &body.iv_len) != 0) {
    return -1;
  }
  if (body.key_len == 0 || body.iv_len == 0) return v7::with_errno(v7::kErrRelayShortRecord, -1);
  *out = body;
  *pos = at;
  return 0;
}

int relay_item_append(uint8_t *out, size_t out_cap, size_t *pos, uint8_t tag, const uint8_t *data,
                      size_t len) {
  if (tag >= kRelayItemTagCount || len == 0) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (check_room(out, out_cap, pos, 1 + 2 + len) != 0) return -1;
  size_t at = *pos + 1;
  if (relay_lv_write(out, out_cap, &at, data, len) != 0) return -1;
  out[*pos] = tag;
  *pos = at;
  return 0;
}

RelayItemError relay_items_parse(const uint8_t *in, size_t in_len, RelayItems *out) {
  RelayItems items = {};
  RelayItemError error = in == nullptr && in_len != 0 ? RelayItemError::Overrun : RelayItemError::None;
  size_t pos = 0;
  while (error == RelayItemError::None && pos < in_len) {
    if (in_len - pos < 3) {
      error = RelayItemError::TruncatedHeader;
      break;
    }
    uint8_t tag = in[pos];
    size_t len = v7::load_be16(in + pos + 1);
    if (tag >= kRelayItemTagCount) {
      error = RelayItemError::UnknownTag;
    } else if (items.data[tag] != nullptr) {
      error = RelayItemError::RepeatedTag;
    } else if (len == 0) {
      error = RelayItemError::ZeroLength;
    } else if (!has_bytes(in_len, pos + 3, len)) {
      error = RelayItemError::Overrun;
    } else {
      items.data[tag] = in + pos + 3;
      items.len[tag] = len;
      pos += 3 + len;
    }
  }
  if (out != nullptr) *out = error == RelayItemError::None ? items : RelayItems{};
  return error;
}
