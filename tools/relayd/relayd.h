// The test relay server: shared declarations of its command line, its connections and its
// session engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PRIVATE_KEY_CTX;

namespace relayd {

enum class Mode { Raw, Http, Silent, Refused };

// What the server does in place of one of its replies. A reply is named by the side it goes to
// and the type of the record that side reads in it: 3 (ServerCertificate, either side), s7 s9 s1
// (sender: VersionNotice, RecipientKeys, the alert the recipient sent), r5 r8 r10 r1 (recipient:
// AuthCode, EncryptionTarget, Items, an alert the sender sent).
enum class Tamper {
  BadVersion,       // the record the client reads first (the envelope, or ServerCertificate)
                    // carries a version one minor step above the right one
  BadInnerVersion,  // the enveloped record carries version 0.1
  BadType,          // the record the client opens has type 12
  BadPadding,       // the envelope deciphers to a plaintext whose padding is invalid
  BadMac,           // a byte of the Items MAC is flipped (r10 only; see README)
  Alert,            // an alert with `value` is sent instead (raw, at the client's version)
  Close,            // the connection is closed instead
};

struct PointFault {
  Tamper tamper;
  char side;     // 's', 'r', or 0 for either
  uint8_t type;  // record type the client reads at that point
  uint16_t value;
};

// Faults a listener applies to every reply it sends, so that tests can script the stream, and
// the protocol faults at named replies.
struct Faults {
  std::vector<size_t> split;  // send the reply in pieces cut at these offsets
  int pause_ms = 20;          // between pieces
  long stall_at = -1;         // one long pause before this offset of the reply
  int stall_ms = 0;
  long close_after = -1;        // send only this many bytes of the reply, then close
  bool zero_record = false;     // raw: a record with a zero length field instead of the reply
  bool head_oversize = false;   // HTTP: a response head past 4096 bytes
  bool head_malformed = false;  // HTTP: a status line that is not "HTTP/..."
  bool no_content_length = false;
  std::string content_length;  // HTTP: this value in place of the true one
  uint16_t hello_version = 0;  // answer Hello with at most this version (0: the client's)
  long code_ms = -1;           // lifetime of the codes issued here (-1: the server's default)
  std::vector<PointFault> points;
};

struct Listener {
  std::string name;
  Mode mode = Mode::Raw;
  int port = 0;  // 0: any free port
  Faults faults;
  int fd = -1;
};

// What every connection shares: the relay certificate, the chain sent beside it from 3.0 on
// (tags 1 and 3), the private key, and the default lifetime of an authorization code.
struct ServerConfig {
  std::vector<uint8_t> cert_der;
  std::vector<std::vector<uint8_t>> chain;
  PRIVATE_KEY_CTX *key = nullptr;
  long code_ms = 300000;
};

// "NAME:MODE:PORT[:FAULT,FAULT...]"; false with a message on a bad spec.
bool parse_listener(const std::string &spec, Listener *out, std::string *error);

// Serves one accepted connection until the peer closes or a fault ends it; closes fd.
void serve_connection(int fd, const Listener &listener, const ServerConfig &config);

// ---- The session engine of one connection (engine.cpp) ------------------------------------------

class Link;  // the transport of one connection, as the engine sees it

// What the connection does after a client's record.
struct Outcome {
  enum Kind {
    Reply,
    LastReply,  // the record, then the connection is closed
    NoReply,
    Close,
  } kind = NoReply;
  std::vector<uint8_t> record;  // for Reply and LastReply
};

class Engine {
 public:
  Engine(const ServerConfig &config, const Faults &faults);
  ~Engine();
  Engine(const Engine &) = delete;
  Engine &operator=(const Engine &) = delete;

  // Handles one record from the client; for records whose answer comes from the peer it waits,
  // watching `link` for the client going away.
  Outcome handle(const std::vector<uint8_t> &record, Link *link);

 private:
  struct State;
  State *st_;
};

// What the engine needs of a connection while it waits for the peer.
class Link {
 public:
  virtual ~Link() = default;
  // Whether the client has sent something or closed: the wait for the peer then ends.
  virtual bool client_stirred() = 0;
};

// Loads a DER RSAPrivateKey into a key object; null with a message.
PRIVATE_KEY_CTX *load_private_key(const std::vector<uint8_t> &der, std::string *error);

// "1.0" style (or 0x0100) to a wire version; false when unreadable.
bool parse_version(const std::string &text, uint16_t *out);

}  // namespace relayd
