// OpenSSL's libcrypto as the reference for dotted text. Behind plain functions: OpenSSL's headers
// declare their own ASN1_ITEM and ASN1_TEMPLATE, so they cannot meet the toolkit's in one file.
#pragma once

#include <string>

#include "tests/harness/vectors.h"

// The DER contents of a dotted identifier; empty when OpenSSL refuses the text.
v7test::Bytes openssl_oid_contents(const std::string &dotted);
// The dotted text of OID contents; false when OpenSSL refuses the contents.
bool openssl_oid_text(const v7test::Bytes &contents, std::string *text);
