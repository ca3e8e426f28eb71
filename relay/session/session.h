// The relay session: what one side of a transfer keeps between the steps of the protocol (role,
// versions, key slots, transcript digest, MAC key, the transferred items, validation and error
// bookkeeping), and the operations that the steps are made of: session keys, RSA records,
// envelopes, the Items MAC, alerts and the failure text.
//
// Conventions. Every operation that can fail on input from the peer or the toolkit records one
// code in the session (relay_record_error): builders then return 0 or null, readers -1. `step` is
// the record type of the protocol step that is running (Hello 2, ServerCertificate 3, ... Items
// 10, the closing Alert 1); it picks the alert class the peer is told and the step name of the
// failure text. Codes are the relay family of platform/errors/errno_util.h. Records are as
// relay/record.h lays them out.
//
// Keys, IVs and MAC keys come from the operating system's random source (RNG_TYPE_SYSTEM): the
// clock-seeded generator such sessions traditionally used lets a relay server that sees the time
// of the Hello recompute every end-to-end key. Tests reach a seeded generator only through
// rng_set_system_source. The wire is unchanged by this.
//
// What the wire format does not protect, and peers rely on: every envelope of a session is
// enciphered with the same key and IV, and type-11 envelopes carry no MAC. Both are kept.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/random/random.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/symkey.h"
#include "pki/validation/validate.h"
#include "relay/mode_word.h"

enum : uint32_t {
  kRelayRoleSender = 0x80000002u,
  kRelayRoleRecipient = 0x88000002u,
};

constexpr size_t kRelayDigestLen = 32;  // SHA-256 of the EncryptionTarget body
constexpr size_t kRelayMacKeyLen = 32;
constexpr size_t kRelayMacLen = 32;  // HMAC-SHA256
constexpr size_t kRelayAlertRecordLen = 7;

// The four items of a received set, in this order (tags 1, 0, 2, 3). The recipient hands the
// same four pairs to the user interface.
struct ReceivedCertRecord {
  uint8_t *sign_key;  // tag 1: the encrypted private-key file
  size_t sign_key_len;
  uint8_t *sign_cert;  // tag 0
  size_t sign_cert_len;
  uint8_t *km_key;  // tag 2
  size_t km_key_len;
  uint8_t *km_cert;  // tag 3
  size_t km_cert_len;
};

// Made by relay_session_new, freed by relay_session_free; every pointer is owned.
struct RelaySession {
  uint32_t role;         // kRelayRoleSender or kRelayRoleRecipient
  uint16_t own_version;  // major << 8 | minor, as on the wire
  uint16_t cur_version;  // starts as own_version; negotiation only lowers it

  // Key slots. A sender uses sign_key, server_key, open_key, server_session and item_session
  // (received from the recipient); a recipient server_key, target_key, server_session and
  // item_session (its own). Slots of the other role stay null.
  PRIVATE_KEY_CTX *sign_key;
  PUBLIC_KEY_CTX *server_key;
  PRIVATE_KEY_CTX *open_key;  // opens RecipientKeys: the key-management key or a fresh one
  PUBLIC_KEY_CTX *target_key;
  SESSION_CTX *server_session;
  SESSION_CTX *item_session;

  char *id_text;  // recipient at version 1.0 only; "" otherwise once set

  uint8_t digest[kRelayDigestLen];
  size_t digest_len;  // 0 until the EncryptionTarget is built or read
  uint8_t mac_key[kRelayMacKeyLen];
  size_t mac_key_len;

  ReceivedCertRecord items;

  VALIDATION_CTX *validation;
  VALIDATION_SETTINGS *settings;
  ERROR_CTX *error;
  RANDOM_CTX *rng;

  int32_t last_error;
  int32_t prev_error;
  char *failure_text;
  uint16_t alert_code;  // 0: nothing pending
  uint8_t step;         // record type of the step that failed last
};

// ---- Lifecycle ---------------------------------------------------------------------------------

// Mode word (or the shorthands 0 to 4) to role and version; null with errno 256 (memory), 258
// (validation settings), 259 (error context), 260 (validation context), 276 (random generator).
RelaySession *relay_session_new(RelayModeWord mode);
// Releases everything the session owns, secrets wiped. Null is ignored.
void relay_session_free(RelaySession *session);

// Keeps a copy of text at version 1.0, the empty text at later versions. A null text at 1.0 is
// 257 and -1: the code is kept as the last error but no alert is pended, since no record has been
// exchanged yet. 0 on success; -1 with 256 when memory runs out.
int relay_session_set_id_text(const char *text, RelaySession *session);

// Keeps a copy of an item by tag (0 to 3), replacing an earlier one (wiped). 0, or -1 with 256 or
// 257 (bad tag, null data, zero length); nothing is recorded in the session.
int relay_session_keep_item(RelaySession *session, int tag, const uint8_t *data, size_t len);
// The kept item of a tag, or null (with *len 0).
const uint8_t *relay_session_item(const RelaySession *session, int tag, size_t *len);

// ---- Error bookkeeping and alerts --------------------------------------------------------------

// Records a failure: the last error moves to the previous one (when nonzero), code becomes the
// last error and step the step byte; for any code but 514 the alert class is derived and pended.
// Returns -2 when an alert is pending afterwards, -1 otherwise: a step can return it as it stands.
int relay_record_error(RelaySession *session, int code, int step);
// The two-stage derivation of the alert code a peer is sent for an internal code at a step.
uint16_t relay_alert_for(int code, int step);

// Whether rec is an alert (type 1, more than 4 bytes, length field exactly 2, both code bytes
// present). 0: not an alert; 1: a normal close (code 0); -1: a nonzero code, which becomes the
// previous error under the last error 514 (the peer sent an alert). A received alert never pends
// an alert in reply.
int relay_check_alert(RelaySession *session, const uint8_t *rec, size_t len, int step);

// The pending alert as a new 7-byte record (own version) in *out (free()): returns 7, or 0 when
// nothing is pending (or memory runs out; *out is then null).
size_t relay_alert_record(RelaySession *session, uint8_t **out);

// The failure text for the language word (18 Korean, else English), owned by the session and
// replaced by the next call. Null when memory runs out.
const char *relay_failure_text(RelaySession *session, int language);

// ---- Keys ----------------------------------------------------------------------------------------

// Draws a fresh SEED key and IV, keeps them as the session key object of the step (4 and 6: the
// server session, 9: the recipient's item session) and writes the 36-byte SessionKeyBody at
// out[0..36). Returns 36, or 0 after recording 12 (another type), 512 (out_cap below 36), 277, 274
// or 275 (and 256).
size_t relay_session_key_make(RelaySession *session, int type, uint8_t *out, size_t out_cap);
// The sender's side: builds the item session from the SessionKeyBody at in[*pos] and advances
// *pos past it. 0, or -1 after recording 512 (a zero or overrunning length) or 274.
int relay_session_key_open(RelaySession *session, const uint8_t *in, size_t in_len, size_t *pos, int step);

// The recipient's MAC key: 32 fresh random bytes kept in the session (293 on failure).
int relay_mac_key_make(RelaySession *session, int step);
// The sender's copy of the MAC key from RecipientKeys; 512 unless len is 32.
int relay_mac_key_set(RelaySession *session, const uint8_t *key, size_t len, int step);

// ---- RSA records ---------------------------------------------------------------------------------

// body RSAES-OAEP (SHA-1, MGF1-SHA-1, empty label) encrypted to the key of the step (4 and 6: the
// relay server's, 9: the target's) under a header of that type (own version for 4 and 6, current
// for 9). A new record in *out (free()); its length, or 0 after recording 12, 257 (no key) or 278.
size_t relay_rsa_seal(RelaySession *session, int type, const uint8_t *body, size_t len, uint8_t **out);
// Opens a RecipientKeys record (type 9, current version) with open_key. The plaintext in *out
// (wipe, then free()). 0, or -1 after recording 512, 16 (type or version bytes), 257 or 279.
int relay_rsa_open(RelaySession *session, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len);

// ---- Envelopes, transcript and Items -------------------------------------------------------------

// Type 11: the whole inner record under the server session, own version. Type 10: the Items
// plaintext under the item session, current version. A new record in *out (free()); its length,
// or 0 after recording 12 (another type), 257 (no session key) or 280.
size_t relay_envelope_seal(RelaySession *session, int type, const uint8_t *in, size_t len, uint8_t **out,
                           int step);
// Checks type (513), version bytes (16) and length field (512) and deciphers; the plaintext
// (at least one byte, else 281) in *out: wipe it, then free(). Any failure of the cipher, padding
// included, is the one code 281. 0 or -1.
int relay_envelope_open(RelaySession *session, int type, const uint8_t *rec, size_t len, uint8_t **out,
                        size_t *out_len, int step);

// Keeps SHA-256 of the body of an EncryptionTarget record as the transcript digest. 0, or -1
// after recording 512 (short record or length field) or 292.
int relay_transcript_digest(RelaySession *session, const uint8_t *rec, size_t len, int step);

// HMAC-SHA256 under the MAC key over the digest and then block (the items with their own 2-byte
// length). 0, or -1 after recording 257 (no digest or MAC key) or 292.
int relay_items_mac(RelaySession *session, const uint8_t *block, size_t block_len, uint8_t mac[kRelayMacLen],
                    int step);
// Builds [L][items] 00 20 [MAC] and seals it as a type-10 record: its length, or 0 (257 for more
// than 65535 bytes of items, and the codes above).
size_t relay_items_seal(RelaySession *session, const uint8_t *items, size_t items_len, uint8_t **out);
// Opens a type-10 record, checks its layout (512), its MAC (295 empty, 294 not matching, compared
// in constant time) and returns a copy of the L bytes of items in *out (wipe, then free(); never
// null on success). 0 or -1.
int relay_items_open(RelaySession *session, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len);
