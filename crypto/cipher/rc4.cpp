// RC4: the permutation and the two indices live in the caller's schedule, so that each call
// continues the stream where the last one stopped.
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/cipher/internal.h"

namespace {

struct Rc4State {
  uint8_t s[256];
  uint32_t i;
  uint32_t j;
};
static_assert(sizeof(Rc4State) == kRc4ScheduleSize, "the schedule is the state");

}  // namespace

int rc4_set_key(const uint8_t *key, size_t key_len, void *schedule) {
  if (!key || !schedule || key_len == 0) return v7::with_errno(v7::kErrInvalidParameter, 0);
  Rc4State *st = static_cast<Rc4State *>(schedule);
  for (int i = 0; i < 256; i++) st->s[i] = uint8_t(i);
  uint8_t j = 0;
  for (size_t i = 0; i < 256; i++) {
    j = uint8_t(j + st->s[i] + key[i % key_len]);
    uint8_t t = st->s[i];
    st->s[i] = st->s[j];
    st->s[j] = t;
  }
  st->i = 0;
  st->j = 0;
  return 1;
}

size_t rc4_process(void *schedule, const uint8_t *in, size_t len, uint8_t *out) {
  Rc4State *st = static_cast<Rc4State *>(schedule);
  uint8_t i = uint8_t(st->i), j = uint8_t(st->j);
  uint8_t *s = st->s;
  for (size_t n = 0; n < len; n++) {
    i = uint8_t(i + 1);
    uint8_t si = s[i];
    j = uint8_t(j + si);
    uint8_t sj = s[j];
    s[i] = sj;
    s[j] = si;
    out[n] = in[n] ^ s[uint8_t(si + sj)];
  }
  st->i = i;
  st->j = j;
  return len;
}
