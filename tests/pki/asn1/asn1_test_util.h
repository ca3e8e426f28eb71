// Helpers of the codec tests: decoding through the public entry points and owning the result.
#pragma once

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "pki/asn1/asn1.h"
#include "tests/harness/vectors.h"

namespace asn1test {

using v7test::Bytes;

// A decoded record released with its template.
struct Record {
  const ASN1_TEMPLATE *tmpl = nullptr;
  void *record = nullptr;

  Record() = default;
  Record(const ASN1_TEMPLATE *t, void *r) : tmpl(t), record(r) {}
  Record(Record &&o) noexcept : tmpl(o.tmpl), record(o.record) { o.record = nullptr; }
  Record(const Record &) = delete;
  Record &operator=(const Record &) = delete;
  Record &operator=(Record &&o) noexcept {
    if (this != &o) {
      asn1_release(tmpl, record);
      tmpl = o.tmpl;
      record = o.record;
      o.record = nullptr;
    }
    return *this;
  }
  ~Record() { asn1_release(tmpl, record); }
  template <typename T>
  T *as() const {
    return static_cast<T *>(record);
  }
};

struct DecodeResult {
  int code = 0;
  int err = 0;  // errno right after the call
  ASN1_EXTENT extent{};
  Record value;
};

// asn1_decode of one element by an item; empty input is passed as a valid pointer with length 0.
inline DecodeResult decode_item(const ASN1_ITEM *item, int mode, const Bytes &input) {
  static const uint8_t kNothing = 0;
  DecodeResult r;
  void *record = nullptr;
  ASN1_DECODE_STATE state{item, mode, input.empty() ? &kNothing : input.data(), input.size(), &record};
  errno = 0;
  r.code = asn1_decode(&state, &r.extent);
  r.err = errno;
  r.value = Record(item->tmpl, record);
  return r;
}

// DER of a record by an item; empty on failure, with the code in *code.
inline Bytes encode_item(const ASN1_ITEM *item, const void *record, int *code = nullptr) {
  errno = 0;
  size_t size = asn1_encode(item, record, nullptr);
  if (code != nullptr) *code = size == 0 ? errno : 0;
  if (size == 0) return {};
  Bytes out(size + 1, 0xEE);  // one guard byte after the encoding
  size_t written = asn1_encode(item, record, out.data());
  if (written != size || out[size] != 0xEE) {
    if (code != nullptr) *code = -1;
    return {};
  }
  out.resize(size);
  return out;
}

inline std::string hex(const Bytes &b) { return v7test::to_hex(b); }
inline std::string hex(const ASN1_BYTES &b) { return v7test::to_hex(b.data, b.len); }

// DER built by hand: one element of the tag over the bytes (lengths up to 65535), and parts
// joined.
inline Bytes tlv(uint8_t tag, const Bytes &body) {
  Bytes out{tag};
  size_t n = body.size();
  if (n < 0x80) {
    out.push_back(uint8_t(n));
  } else if (n < 0x100) {
    out.insert(out.end(), {0x81, uint8_t(n)});
  } else {
    out.insert(out.end(), {0x82, uint8_t(n >> 8), uint8_t(n)});
  }
  out.insert(out.end(), body.begin(), body.end());
  return out;
}
inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes read_fixture(const std::string &name) {
  Bytes out;
  std::string path = v7test::fixtures_path(name);
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(uint8_t(c));
  std::fclose(f);
  return out;
}

}  // namespace asn1test
