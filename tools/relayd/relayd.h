// The test relay server: shared declarations of its command line and its connection handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace relayd {

enum class Mode { Raw, Http, Silent, Refused };

// Faults a listener applies to every reply it sends, so that tests can script the stream.
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
};

struct Listener {
  std::string name;
  Mode mode = Mode::Raw;
  int port = 0;  // 0: any free port
  Faults faults;
  int fd = -1;
};

// "NAME:MODE:PORT[:FAULT,FAULT...]"; false with a message on a bad spec.
bool parse_listener(const std::string &spec, Listener *out, std::string *error);

// Serves one accepted connection until the peer closes or a fault ends it; closes fd.
void serve_connection(int fd, const Listener &listener, const std::vector<uint8_t> &cert_der);

}  // namespace relayd
