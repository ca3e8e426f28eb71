// Relay records, the unit of everything the two sides and the relay server exchange:
//
//   [type: 1][version: major 1, minor 1][body length: 2, big-endian][body]
//
// and the pieces that bodies are made of: length-prefixed fields ([2-byte length][data]), the
// session key body and tagged items. Writers append at *pos within a caller's buffer of out_cap
// bytes and return 0, or -1 with errno kErrInvalidParameter (bad argument) or
// kErrInsufficientBuffer (buffer too small) and *pos unchanged. Readers never look past in_len,
// whatever a length field claims.
#pragma once

#include <cstddef>
#include <cstdint>

enum class RelayRecordType : uint8_t {
  Alert = 1,
  Hello = 2,
  ServerCertificate = 3,
  RecipientServerKey = 4,
  AuthCode = 5,
  SenderServerKey = 6,
  VersionNotice = 7,
  EncryptionTarget = 8,
  RecipientKeys = 9,
  Items = 10,
  Envelope = 11,
};

// A protocol version as it stands on the wire: major in the high byte (1.0 = 0x0100).
constexpr uint16_t relay_version(int major, int minor) { return uint16_t((major << 8) | minor); }

constexpr size_t kRelayHeaderLen = 5;
constexpr size_t kRelayMaxBody = 0xffff;
constexpr size_t kRelayMaxRecord = kRelayHeaderLen + kRelayMaxBody;

struct RelayRecordHeader {
  uint8_t type;
  uint16_t version;
  uint16_t body_len;
};

int relay_record_header_write(uint8_t *out, size_t out_cap, size_t *pos, uint8_t type, uint16_t version,
                              size_t body_len);

// 0, or -1 with errno 512 when fewer than 5 bytes are given.
int relay_record_header_read(const uint8_t *in, size_t in_len, RelayRecordHeader *out);

// The body of the record at `in`: 0 when its length field fits in in_len, else -1 with errno 512.
int relay_record_body(const uint8_t *in, size_t in_len, const uint8_t **body, size_t *body_len);

// Hello: no body below version 3.0; from 3.0 on the body 00 05.
int relay_hello_write(uint8_t *out, size_t out_cap, size_t *pos, uint16_t version);

// Alert: a 2-byte big-endian code (0 = normal close).
int relay_alert_write(uint8_t *out, size_t out_cap, size_t *pos, uint16_t version, uint16_t code);

// [2-byte length][data]; a length above 65535 is refused.
int relay_lv_write(uint8_t *out, size_t out_cap, size_t *pos, const uint8_t *data, size_t len);
// Reads the field at *pos and advances past it; data points into `in`. -1 with errno 512 when
// the length bytes or the data run past in_len.
int relay_lv_read(const uint8_t *in, size_t in_len, size_t *pos, const uint8_t **data, size_t *len);

// SessionKeyBody: 00 10 [16-byte key] 00 10 [16-byte initialisation vector]. A reader takes
// the two lengths as they stand but refuses a zero one.
constexpr size_t kSessionKeyLen = 16;
constexpr size_t kSessionKeyBodyLen = 2 + kSessionKeyLen + 2 + kSessionKeyLen;

struct SessionKeyBody {
  const uint8_t *key;  // into the parsed bytes
  size_t key_len;
  const uint8_t *iv;
  size_t iv_len;
};

int relay_session_key_body_write(uint8_t *out, size_t out_cap, size_t *pos, const uint8_t *key,
                                 const uint8_t *iv);
// Reads at *pos and advances past the body; -1 with errno 512 for a zero or overrunning length.
int relay_session_key_body_parse(const uint8_t *in, size_t in_len, size_t *pos, SessionKeyBody *out);

// Tagged items: [tag: 1][length: 2][data]. Each tag at most once, each length nonzero.
enum RelayItemTag : uint8_t {
  kRelayItemSignCert = 0,
  kRelayItemSignKey = 1,  // the encrypted private-key file
  kRelayItemKmKey = 2,
  kRelayItemKmCert = 3,
};
constexpr int kRelayItemTagCount = 4;

struct RelayItems {
  const uint8_t *data[kRelayItemTagCount];  // null when the tag is absent; into the parsed bytes
  size_t len[kRelayItemTagCount];
};

// Why an item list is malformed. Each caller maps the reason to its own code: one list is a
// relay certificate, another the transferred certificate set.
enum class RelayItemError {
  None = 0,
  UnknownTag,  // a tag above 3
  RepeatedTag,
  ZeroLength,
  Overrun,          // an item's data runs past the list
  TruncatedHeader,  // fewer than 3 bytes left for an item's tag and length
};

int relay_item_append(uint8_t *out, size_t out_cap, size_t *pos, uint8_t tag, const uint8_t *data,
                      size_t len);

// Parses the whole list of in_len bytes; an empty list parses to no items. On failure `out`
// holds no items.
RelayItemError relay_items_parse(const uint8_t *in, size_t in_len, RelayItems *out);
