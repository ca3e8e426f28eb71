// Record, length-field, session key body and item parsing on arbitrary bytes. Besides memory
// safety: every view a parser returns lies inside the input, and a parsed item list, written
// out again in tag order, parses to the same items.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "relay/record.h"

namespace {

void check_inside(const uint8_t *in, size_t len, const uint8_t *p, size_t n) {
  if (n != 0 && (p < in || p + n > in + len)) abort();
}

void check_items(const uint8_t *in, size_t len) {
  RelayItems items;
  if (relay_items_parse(in, len, &items) != RelayItemError::None) return;
  std::vector<uint8_t> again(len + 1);
  size_t pos = 0;
  for (int tag = 0; tag < kRelayItemTagCount; tag++) {
    if (items.data[tag] == nullptr) continue;
    check_inside(in, len, items.data[tag], items.len[tag]);
    if (relay_item_append(again.data(), again.size(), &pos, uint8_t(tag), items.data[tag], items.len[tag]) !=
        0)
      abort();
  }
  RelayItems reparsed;
  if (pos != len || relay_items_parse(again.data(), pos, &reparsed) != RelayItemError::None) abort();
  for (int tag = 0; tag < kRelayItemTagCount; tag++) {
    if (reparsed.len[tag] != items.len[tag]) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  if (relay_record_body(data, size, &body, &body_len) == 0) {
    check_inside(data, size, body, body_len);
    check_items(body, body_len);
    size_t pos = 0;
    const uint8_t *field;
    size_t field_len;
    if (relay_lv_read(body, body_len, &pos, &field, &field_len) == 0) {
      check_inside(body, body_len, field, field_len);
      check_items(field, field_len);
    }
  }
  check_items(data, size);
  size_t pos = 0;
  SessionKeyBody keys;
  if (relay_session_key_body_parse(data, size, &pos, &keys) == 0) {
    check_inside(data, size, keys.key, keys.key_len);
    check_inside(data, size, keys.iv, keys.iv_len);
    if (keys.key_len == 0 || keys.iv_len == 0 || pos > size) abort();
  }
  return 0;
}
