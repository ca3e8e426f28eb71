// Checks shared by the SEED and ARIA tests: both are 16-byte block ciphers behind the same
// key-schedule and block-function shapes.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "platform/errors/errno_util.h"
#include "tests/harness/vectors.h"

namespace v7test {

struct Block16Cipher {
  int (*set_key)(const uint8_t *, size_t, void *);
  void (*encrypt)(const void *, const uint8_t *, uint8_t *);
  void (*decrypt)(const void *, const uint8_t *, uint8_t *);
  size_t schedule_size;
};

// A heap buffer of exactly the schedule size, so that AddressSanitizer catches any access past it.
inline std::vector<uint8_t> new_schedule(const Block16Cipher &c) {
  return std::vector<uint8_t>(c.schedule_size);
}

// ECB over whole blocks, out of place (in_place false) or in the same buffer.
inline Bytes ecb(void (*block)(const void *, const uint8_t *, uint8_t *),
                 const std::vector<uint8_t> &schedule, const Bytes &in, bool in_place) {
  Bytes out = in;
  for (size_t i = 0; i + 16 <= in.size(); i += 16)
    block(schedule.data(), in_place ? out.data() + i : in.data() + i, out.data() + i);
  return out;
}

// Every case of the file: encryption gives the ciphertext and decryption the plaintext, both out
// of place and in place.
inline void expect_known_answers(const Block16Cipher &c, const char *file) {
  for (const auto &v : load_vectors(file)) {
    SCOPED_TRACE(v.where());
    const Bytes key = v.bytes("key"), pt = v.bytes("plaintext"), ct = v.bytes("ciphertext");
    ASSERT_EQ(pt.size(), ct.size());
    ASSERT_EQ(0u, pt.size() % 16);
    std::vector<uint8_t> schedule = new_schedule(c);
    ASSERT_EQ(16, c.set_key(key.data(), key.size(), schedule.data()));
    for (bool in_place : {false, true}) {
      SCOPED_TRACE(in_place ? "in place" : "out of place");
      EXPECT_EQ(to_hex(ct), to_hex(ecb(c.encrypt, schedule, pt, in_place)));
      EXPECT_EQ(to_hex(pt), to_hex(ecb(c.decrypt, schedule, ct, in_place)));
    }
  }
}

// Refused key lengths give 0 with 1245, null arguments 0 with 1001 (whatever the length), and a
// refused key leaves the schedule of the previous key in force.
inline void expect_refusals(const Block16Cipher &c, std::initializer_list<size_t> bad_lengths) {
  uint8_t key[64];
  for (size_t i = 0; i < sizeof key; i++) key[i] = uint8_t(i * 7 + 1);
  std::vector<uint8_t> schedule = new_schedule(c);
  ASSERT_EQ(16, c.set_key(key, 16, schedule.data()));
  const std::vector<uint8_t> before = schedule;
  for (size_t len : bad_lengths) {
    SCOPED_TRACE(len);
    errno = 0;
    EXPECT_EQ(0, c.set_key(key, len, schedule.data()));
    EXPECT_EQ(v7::kErrIncorrectKey, errno);
  }
  EXPECT_TRUE(schedule == before);
  const struct {
    const uint8_t *key;
    size_t len;
    void *schedule;
  } nulls[] = {{nullptr, 16, schedule.data()}, {key, 16, nullptr}, {nullptr, 15, schedule.data()}};
  for (const auto &n : nulls) {
    errno = 0;
    EXPECT_EQ(0, c.set_key(n.key, n.len, n.schedule));
    EXPECT_EQ(v7::kErrInvalidParameter, errno);
  }
  EXPECT_TRUE(schedule == before);
}

// The schedule depends on the key alone: whatever the buffer held before, set_key leaves the same
// bytes in all of it.
inline void expect_schedule_written_completely(const Block16Cipher &c, size_t key_len) {
  uint8_t key[32];
  for (size_t i = 0; i < sizeof key; i++) key[i] = uint8_t(0xa5 ^ i);
  std::vector<uint8_t> zeros(c.schedule_size, 0x00), ones(c.schedule_size, 0xff);
  ASSERT_EQ(16, c.set_key(key, key_len, zeros.data()));
  ASSERT_EQ(16, c.set_key(key, key_len, ones.data()));
  EXPECT_TRUE(zeros == ones);
}

}  // namespace v7test
