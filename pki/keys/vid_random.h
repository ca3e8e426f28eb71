// The VID random value of a private key: the PKCS#8 attribute 1.2.410.200004.10.1.1.3 whose value
// is a BIT STRING without unused bits. It is the random number of the holder's identity (VID)
// hash, kept beside the key so that the identity can be checked later; tokens store it apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/key_types.h"

// Copies the value's bytes out of an attribute list (as PrivateKeyInfo.attributes holds it) and
// returns their number; a null out only returns it. 0 with kErrInvalidParameter for a null list,
// kErrNoVidRandom when no attribute of that type has a value, the codec's code when the value is no
// BIT STRING (1114 when its length overruns it), kErrInsufficientBuffer when capacity is smaller.
// An empty value returns 0 with errno 0.
int pkey_get_vid_random(const ASN1_LIST *attributes, uint8_t *out, size_t capacity);

// The value as a decoded BIT STRING that the caller releases with
// asn1_release(&asn1_tmpl_bit_string, ...); null with kErrNoVidRandomInKey when the key has none
// (1001 for a null key, the codec's code for a value that does not decode).
ASN1_BIT_STRING *pkey_get_vid_random_rec(const PrivateKeyInfo *key);

// A new attribute list (release with asn1_release(&asn1_tmpl_attributes, ...)) of the one attribute
// whose value is 03, length + 1, 00, bytes. The length has one byte, so values hold at most 126
// bytes: longer ones, or null bytes with a length, fail with kErrInvalidParameter; kErrOutOfMemory
// without memory.
ASN1_LIST *vid_random_attr_new(const uint8_t *bytes, size_t length);

// Replaces the key's whole attribute list by the VID random attribute of the bytes. 1, or 0 with
// the code in errno (the key is then unchanged).
int pkey_add_vid_random(size_t length, const uint8_t *bytes, PrivateKeyInfo *key);

// Releases the key's attribute list and leaves none; a null key is ignored.
void pkey_clear_attributes(PrivateKeyInfo *key);
