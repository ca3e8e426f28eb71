// Helpers shared by the files of the relay session.
#pragma once

#include <cstddef>
#include <cstdint>

#include "relay/session/session.h"

namespace v7 {

// Records code at step and returns -1, for readers.
int relay_fail(RelaySession *session, int code, int step);
// Records code at step and returns 0, for builders that return a length.
size_t relay_fail0(RelaySession *session, int code, int step);

// A toolkit call failed with its own code: the code goes to the session's error context (except
// the relay's memory and length codes, which say nothing a user could act on).
void relay_push_toolkit(RelaySession *session, int toolkit_code);

// Frees a buffer that may hold secrets.
void wipe_free(void *p, size_t len);

// A new record of type and version around body (len at most 65535): its length, or 0 with
// *out null when memory runs out.
size_t relay_wrap(uint8_t type, uint16_t version, const uint8_t *body, size_t len, uint8_t **out);

}  // namespace v7
