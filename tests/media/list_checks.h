// Checks the end-to-end list tests share: an entry chain as text, and a key file that opens.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include "media/certlist.h"
#include "pki/asn1/asn1.h"
#include "pki/keys/pkcs8.h"

namespace listtest {

// The first value of every entry's subject, in list order, joined with " | ".
inline std::string names(const CERTLIST_CTX &list) {
  std::string out;
  for (const CERT_ENTRY *e = list.first; e != nullptr; e = e->next)
    out += (out.empty() ? "" : " | ") + std::string(e->subject_dn_cn);
  return out;
}

// The key file opens with the password and with no other.
inline void expect_key_file_opens(const uint8_t *key, size_t n, const char *password) {
  PrivateKeyInfo *opened = pkey_decrypt(key, n, password);
  EXPECT_NE(opened, nullptr) << "errno " << errno;
  if (opened != nullptr) asn1_release(&asn1_tmpl_private_key_info, opened);
  EXPECT_EQ(pkey_decrypt(key, n, "not the password"), nullptr);
}

}  // namespace listtest
