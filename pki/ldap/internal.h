// Pieces of the directory client that the fetch, the cache, the tests and the fuzz target share:
// message framing over any byte source, the requests as bytes, and the reading of a search's
// replies with the picking of the wanted value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pki/ldap/ldap.h"
#include "pki/ldap/ldap_types.h"

namespace v7 {
namespace ldap {

using Bytes = std::vector<uint8_t>;

// The header at the start of an element that `have` bytes of p hold. 0 with *total the whole
// element's size; 1 with *total the size the header needs when fewer bytes are there; or
// kErrLdapRecv for an indefinite length or more than four length bytes. Lengths never wrap.
int element_frame(const uint8_t *p, size_t have, uint64_t *total);

// Where the bytes of messages come from: the socket in a fetch, a buffer in the fuzz target.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // A message begins: a source with a clock starts the deadline of the whole message here.
  virtual void message_begins() {}
  // Exactly n bytes into out: 0, or the code (kErrLdapRecv closed, failed or late,
  // kErrLdapTimeLimit the fetch's budget ran out).
  virtual int pull(uint8_t *out, size_t n) = 0;
};

// One whole message into *message: 0, or the source's code, or kErrLdapRecv for a length that is
// indefinite, too long or above kLdapMaxMessage (refused before anything is allocated for it).
int read_message(ByteSource *source, Bytes *message);

// The search id: 4 bytes with the top bit of the first cleared, leading zero bytes dropped unless
// the next byte has its top bit set. Returns the length (1 to 4) of the id in out.
size_t shape_message_id(const uint8_t raw[4], uint8_t out[4]);

// The anonymous simple bind of message id 1, version 3.
extern const uint8_t kBindRequest[14];

// DER of a SearchRequest for the URL (base object, no aliases, no limits, present "objectclass",
// the URL's attribute or all) and of the UnbindRequest, under the message id. 0, or the code.
int encode_search(const LDAP_URL *url, const uint8_t *id, size_t id_len, Bytes *out);
int encode_unbind(const uint8_t *id, size_t id_len, Bytes *out);

// 0 when the message is a BindResponse to message 1 whose result is success, else kErrLdapBind.
int check_bind_response(const Bytes &message);

// The search's replies from the source: the first must be the entry (id as given), from which the
// kind's value is picked; then messages are read up to the SearchResultDone. The value, or null
// with *code set.
void *read_search_replies(ByteSource *source, const LDAP_URL *url, int kind, const uint8_t *id, size_t id_len,
                          int *code);

// The kind's value from an entry; null with *code kErrLdapSearch (no matching attribute or usable
// value) or kErrOutOfMemory.
void *pick_value(const SearchResultEntry *entry, const LDAP_URL *url, int kind, int *code);

// The template of what a fetch of the kind returns; null for an unknown kind.
const ASN1_TEMPLATE *value_template(int kind);

// At most this many messages are read after the entry while waiting for the SearchResultDone.
constexpr int kMaxTrailingMessages = 16;

}  // namespace ldap
}  // namespace v7
