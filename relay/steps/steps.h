// The steps of one transfer, for each role, in the order the relay protocol runs them. A step takes
// the session and the record just received (the record of the previous exchange), checks it, and
// builds the record to send next.
//
// Results: 0 with a new record in *out (free()) of *out_len bytes; -2 when the step failed and an
// alert is pending (relay_alert_record gives it: send it and end the transfer); -1 when it failed
// without one. The failure is recorded in the session (relay/session/session.h), so
// relay_failure_text tells the user what went wrong; errno holds the session's last code.
//
// Sender:    hello, step1 (ServerCertificate -> SenderServerKey),
//            step2 (Envelope{VersionNotice} -> Envelope{EncryptionTarget}),
//            step3 (Envelope{RecipientKeys} -> Envelope{Items}), finish (the recipient's close).
// Recipient: hello, step1 (ServerCertificate -> RecipientServerKey),
//            step2 (Envelope{AuthCode} -> Envelope{VersionNotice}),
//            step3 (Envelope{EncryptionTarget} -> Envelope{RecipientKeys}),
//            step4 (Envelope{Items}), close (the closing Alert).
#pragma once

#include <cstddef>
#include <cstdint>

#include "relay/session/session.h"

// The longest authorization code a sender sends; a longer typed text is cut here, as the text
// field it is typed into holds no more.
constexpr size_t kRelayMaxAuthCode = 63;

// ---- Loading the sender's pairs ----------------------------------------------------------------

// Opens the signing key file with the password into the session's signing key object (with the
// certificate; 273), decrypts it (289), attaches the VID random value when one is given (to the
// key and to the object), and re-encrypts it under new_password, or under password when
// new_password is null or empty (290). Keeps the re-encrypted file as item 1 and a copy of the
// certificate as item 0. A missing password, certificate or key is 257. 0, or -1 with the code as
// the session's last error (no alert is pended: nothing has been exchanged) and both items empty.
int relay_load_sign_pair(const char *password, RelaySession *session, const uint8_t *cert, size_t cert_len,
                         const uint8_t *key, size_t key_len, const uint8_t *vid_random, size_t vid_random_len,
                         const char *new_password);
// The same for the key-management pair, without a random value: the private key object that
// will open RecipientKeys, item 2 (the re-encrypted key) and item 3 (the certificate).
int relay_load_km_pair(const char *password, RelaySession *session, const uint8_t *cert, size_t cert_len,
                       const uint8_t *key, size_t key_len, const char *new_password);

// ---- Version negotiation -------------------------------------------------------------------------

// Whether a version is one a session can be lowered to: 1.0, 2.0 or 3.0.
bool relay_version_known(uint16_t version);
// Accepting the version of a record: equal to *version, or lower and known (then *version becomes
// it). 0, or -1 with errno 11.
int relay_accept_version(uint16_t record_version, uint16_t *version);
// The sender's reading of VersionNotice: *version becomes the lower of the two when that is known.
int relay_accept_lower_version(uint16_t record_version, uint16_t *version);

// ---- Both roles ----------------------------------------------------------------------------------

// The Hello of the session's own version. 0, or -1 (-2 when an alert is pending) when memory runs
// out.
int relay_step_hello(RelaySession *session, uint8_t **out, size_t *out_len);

// Reads a ServerCertificate (step byte 3): alert 514, type 513, lengths 512, version 11 (it may
// lower the session's versions), items 12 (from 3.0 on), validation or subject name 15, public key
// 272, certificate 515, subject text 516. The relay server's key is kept. 0 or -1/-2.
int relay_read_server_certificate(RelaySession *session, const uint8_t *rec, size_t len);

// ---- Sender --------------------------------------------------------------------------------------

// auth_code: the code the user typed (at most kRelayMaxAuthCode bytes are sent).
int relay_sender_step1(RelaySession *session, const uint8_t *rec, size_t len, const char *auth_code,
                       uint8_t **out, size_t *out_len);
int relay_sender_step2(RelaySession *session, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len);
int relay_sender_step3(RelaySession *session, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len);
// 0 for any reply but an alert with a nonzero code, which fails with 514 (-1: nothing is sent
// back).
int relay_sender_finish(RelaySession *session, const uint8_t *rec, size_t len);

// ---- Recipient -----------------------------------------------------------------------------------

int relay_recipient_step1(RelaySession *session, const uint8_t *rec, size_t len, uint8_t **out,
                          size_t *out_len);
// The authorization code to show, NUL-terminated, in *auth_code (a secret: wipe it, then free()).
int relay_recipient_step2(RelaySession *session, const uint8_t *rec, size_t len, char **auth_code,
                          uint8_t **out, size_t *out_len);
// The subject text of the arriving certificate, for the user to confirm, in *subject (free()).
int relay_recipient_step3(RelaySession *session, const uint8_t *rec, size_t len, char **subject,
                          uint8_t **out, size_t *out_len);
// Opens the Items and keeps the certificate set in the session (relay_session_item): 0 or -1/-2.
int relay_recipient_step4(RelaySession *session, const uint8_t *rec, size_t len);
// The closing Alert (code 0, own version).
int relay_recipient_close(RelaySession *session, uint8_t **out, size_t *out_len);
