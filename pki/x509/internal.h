// Helpers shared by the certificate and name functions of this folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/x509_types.h"

namespace v7 {
namespace x509 {

// A certificate decoded strictly from DER, released with its template when the holder goes.
class DecodedCert {
 public:
  DecodedCert(const uint8_t *der, size_t length);
  ~DecodedCert();
  DecodedCert(const DecodedCert &) = delete;
  DecodedCert &operator=(const DecodedCert &) = delete;
  const Certificate *get() const { return cert_; }
  int error() const { return error_; }  // the codec's code when get() is null

 private:
  Certificate *cert_;
  int error_;
};

// The seconds of a Time (GeneralizedTime before UTCTime); false when it holds neither or its
// text does not read.
bool time_value(const Time &time, int64_t *out);

// The contents of a value kept as a whole TLV: false unless the bytes are exactly one DER element.
bool tlv_contents(const ASN1_BYTES &tlv, uint8_t *tag, const uint8_t **contents, size_t *length);

}  // namespace x509
}  // namespace v7
