// Helpers shared by the files of the protocol steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "relay/record.h"
#include "relay/session/session.h"

namespace v7 {

// Records code at step and returns what a step returns for it: -2 when an alert is pending, -1
// otherwise, with the code in errno.
int step_fail(RelaySession *session, int code, int step);
// The result of a step whose failure a session operation has already recorded.
int step_failed(const RelaySession *session);

// A received alert with a nonzero code ends the step (514): true, with *result set.
bool step_alert_received(RelaySession *session, const uint8_t *rec, size_t len, int step, int *result);

// Clears a step's outputs, so that every failure leaves them null.
inline bool step_outputs(uint8_t **out, size_t *out_len) {
  if (out != nullptr) *out = nullptr;
  if (out_len != nullptr) *out_len = 0;
  return out != nullptr && out_len != nullptr;
}

// A malloc'd buffer released on scope exit; wiped first when it may hold secrets.
struct HeapBytes {
  uint8_t *p = nullptr;
  size_t n = 0;
  bool secret = false;
  explicit HeapBytes(bool holds_secret = false) : secret(holds_secret) {}
  HeapBytes(const HeapBytes &) = delete;
  HeapBytes &operator=(const HeapBytes &) = delete;
  ~HeapBytes() { reset(); }
  void reset() {
    if (p != nullptr && secret) secure_wipe(p, n);
    free(p);
    p = nullptr;
    n = 0;
  }
  uint8_t *release() {
    uint8_t *r = p;
    p = nullptr;
    n = 0;
    return r;
  }
};

// Seals an inner record in a type-11 envelope for the server and hands it out as the step's
// record. 0 or the step's failure result.
int step_send_enveloped(RelaySession *session, const uint8_t *inner, size_t inner_len, int step,
                        uint8_t **out, size_t *out_len);
// Reads the reply of a step that expects an enveloped record of inner_type (also the step byte):
// a nonzero alert (514), then a type-11 envelope whose inner record has a header and a body (512)
// of that type (513). 0 or the step's failure result; the inner record in *inner, its header in *h.
int step_read_enveloped(RelaySession *session, const uint8_t *rec, size_t len, int inner_type,
                        HeapBytes *inner, RelayRecordHeader *h);

// A public key object from a certificate DER (null on failure, with the toolkit's code pushed).
PUBLIC_KEY_CTX *step_public_key(RelaySession *session, const uint8_t *data, size_t len, int source_kind);

}  // namespace v7
