// The IC-card store: a certificate set kept on a smart card in two dedicated files, reached
// through the platform's PC/SC interface (WinSCard; pcsclite natively).
//
// F300 holds the signing pair, the VID random value and the presence record; F400 the
// key-management pair. Inside a file each object lives in the records of one kind (3 key,
// 4 certificate, 5 VID random value, 6 presence); the first record starts with the object's
// length, 2 bytes big-endian. Every public operation opens the card (context, first reader that
// connects, F300 selected, PIN proven), works and closes it with the card powered down, so the
// card forgets the PIN after each one. One card operation at a time, on the UI thread.
//
// Results: 0 on success, -1 on failure with the reason in errno (the kErrCard... codes, and
// kErrPinRequired when the card wants the PIN proven), and kErrCardAbsent (15308) as the result
// itself when no reader with a card connects.
//
// A PIN is its bytes as sent: 4 to 8 of them, else kErrPinInvalid before anything reaches the
// card. A PIN the card refused is remembered (its bytes, wiped when forgotten): offering it
// again fails at once with kErrCardPinWrong without spending another try, until a PIN is
// accepted or sc_forget_refused_pin is called (the PIN dialog, when it asks the user anew).
#pragma once

#include <cstddef>
#include <cstdint>

enum : int {
  kScFileSign = 0xF3,  // F300: the signing pair
  kScFileKm = 0xF4,    // F400: the key-management pair
};

enum : int {
  kScKindKey = 3,
  kScKindCert = 4,
  kScKindRandom = 5,
  kScKindPresence = 6,
};

// Objects of kinds 3 and 4 are below this; a kind-5 value is at most kScRandomMax bytes.
enum : size_t { kScObjectLimit = 4096, kScRandomMax = 50 };

// The card's objects, each in a new buffer (free it with sc_free, which wipes it).
int sc_read_cert(const char *pin, uint8_t **out, size_t *out_len, int file);
int sc_read_key(const char *pin, uint8_t **out, size_t *out_len, int file);
int sc_read_random(const char *pin, uint8_t **out, size_t *out_len);
void sc_free(uint8_t *buffer, size_t len);

// Writes replace the object of that kind. Every length is checked before the first command.
int sc_write_cert(const char *pin, int file, const uint8_t *data, size_t len);
int sc_write_key(const char *pin, int file, const uint8_t *data, size_t len);
int sc_write_random(const char *pin, const uint8_t *data, size_t len);

// 0 when the card cannot be opened (or the PIN is wrong) or its presence record cannot be read
// for any reason but the two below; 1 when F300's presence record is not there (errno
// kErrCardNotFound) or reads only with the PIN proven (errno kErrPinRequired: asked without the
// PIN, a card holding a set looks like this too); 2 when it reads (errno 0).
int sc_probe_card(const char *pin);

// When the card holds a presence record: F400's certificate object overwritten with 1,998 zero
// bytes and its key object with 1,498, then each object's length set to 0. 0 when done or when
// there is no presence record; -1 on failure.
int sc_erase_km_pair(const char *pin);

// The tries the card reported left with its last refusal of a PIN (0 when blocked), or -1 when
// no refusal has been seen since the process started or the last accepted PIN.
int sc_pin_tries_left();
void sc_forget_refused_pin();
// Whether the wrong-PIN box has told the user of a failure with this code (the card refused the
// PIN, or it is blocked): callers show the text of any other code themselves. A VERIFY the card
// refused for another reason (kErrCardVerifyRefused) shows no box.
bool sc_pin_box_told(int code);

// On an open card.
int sc_open(const char *pin);
void sc_close();
int sc_select_df(int file, const char *pin);
void sc_set_kind(int kind);
int sc_read_object(uint8_t **out, size_t *out_len);
int sc_write_object(const uint8_t *data, size_t len);
int sc_presence();
