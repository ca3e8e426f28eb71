// A decoded record that releases itself: the toolkit's functions decode into one of these so
// that every return path frees (and wipes) what it decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/asn1.h"

namespace v7 {

template <typename T>
class Asn1Owned {
 public:
  explicit Asn1Owned(const ASN1_TEMPLATE *tmpl, T *record = nullptr) : tmpl_(tmpl), record_(record) {}
  Asn1Owned(const Asn1Owned &) = delete;
  Asn1Owned &operator=(const Asn1Owned &) = delete;
  ~Asn1Owned() { asn1_release(tmpl_, record_); }

  // Decodes a whole buffer (bytes after the element are accepted, as asn1_decode_alloc does).
  // False with errno set when it does not decode; an earlier record is released first.
  bool decode(int mode, const uint8_t *data, size_t length) {
    reset();
    record_ = static_cast<T *>(asn1_decode_alloc(mode, data, tmpl_, length));
    return record_ != nullptr;
  }
  bool decode(int mode, const ASN1_BYTES &bytes) { return decode(mode, bytes.data, bytes.len); }

  // Releases the record held and takes another (or none).
  void reset(T *record = nullptr) {
    asn1_release(tmpl_, record_);
    record_ = record;
  }
  T *release() {
    T *r = record_;
    record_ = nullptr;
    return r;
  }
  T *get() const { return record_; }
  T *operator->() const { return record_; }
  T &operator*() const { return *record_; }
  explicit operator bool() const { return record_ != nullptr; }

 private:
  const ASN1_TEMPLATE *tmpl_;
  T *record_;
};

}  // namespace v7
