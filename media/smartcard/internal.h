// Internals of the IC-card store: the link to the card (the few PC/SC calls), the record layout
// and the command bytes, and the process-wide card state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "crypto/base/wipe.h"

namespace v7::smartcard {

// --- The link: one card at a time, through the platform's WinSCard ------------------------
// Each returns 0 or a kErrCard... code.
int link_establish();  // a user-scope context, when none exists
void link_release();
// Disconnects a connected card (powering it down), then connects the first listed reader that
// takes an exclusive T=0/T=1 connection; kErrCardAbsent when none does.
int link_connect();
void link_disconnect();  // powers the card down; nothing when none is connected
// Whether the connected reader reports a card; its ATR (at most 33 bytes) into atr.
bool link_card_present(std::vector<uint8_t> *atr);
// Sends the command; *answer gets the whole response with its two status bytes.
int link_transmit(const uint8_t *command, size_t len, std::vector<uint8_t> *answer);

// --- Record layout ------------------------------------------------------------------------
// The content length L of a record of that kind (records are 70 L <L bytes>), 0 for no kind.
size_t record_content_length(int kind);
// The largest object a kind holds: below 4,096 bytes for keys and certificates, 50 for the VID
// random value (what a read takes back).
size_t object_limit(int kind);
inline bool valid_file(int file) { return file == 0xF3 || file == 0xF4; }
// How many records an object of n bytes takes.
size_t records_for(int kind, size_t n);
// The record images (70 L content) of an object: record 1 opens with the 2-byte length, the last
// one is zero-padded.
std::vector<std::vector<uint8_t>> object_records(int kind, const uint8_t *data, size_t n);

// Command APDUs.
std::vector<uint8_t> apdu_select_fid(int file);
std::vector<uint8_t> apdu_select_aid(int file);
// 00 20 00 p2 08 and the PIN's bytes padded with zero bytes to 8; wipes itself when dropped.
SecureBytes apdu_verify(const uint8_t *pin, size_t len, uint8_t p2);
std::vector<uint8_t> apdu_read_record(int record, int kind, uint8_t le);
std::vector<uint8_t> apdu_update_record(int record, int kind, const std::vector<uint8_t> &image);

// The two status bytes of an answer (0 when it has fewer than two bytes).
unsigned status_word(const std::vector<uint8_t> &answer);
// Whether the status begins with 90 or 61.
bool status_ok(unsigned sw);
// The content of a record answer: "70 L' <L' bytes> SW" with L' at most the kind's L and at
// least `needed`; null (errno kErrCardAnswer) otherwise.
const uint8_t *record_answer_content(const std::vector<uint8_t> &answer, int kind, size_t needed);

// --- The card state (process-wide; one operation at a time) ----------------------------
struct CardState {
  bool connected = false;
  int file = 0xF3;  // the current file
  bool selected = false;
  int kind = 4;                      // the current record kind
  SecureBytes refused_pin;           // the last PIN the card refused, until one is accepted
  std::vector<uint8_t> refused_atr;  // the card that refused it
  int tries_left = -1;
};
CardState &card_state();

// The wrong-PIN box, with the tries left (0: the card is locked).
void show_wrong_pin(int tries_left);

}  // namespace v7::smartcard
