// The phone's side of a transfer, played with the library's own steps over one connection to the
// relay server: a sender that hands over a certificate set, or a recipient that shows the
// authorization code and takes a set over. The test programs that play the PC drive their
// sessions with the same loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/net/net.h"
#include "relay/record.h"
#include "relay/steps/steps.h"
#include "relay/transport.h"

namespace phone {

using Bytes = std::vector<uint8_t>;

// One connection to the relay host, raw or HTTP.
struct Link {
  v7::Socket socket = v7::kInvalidSocket;
  int transport = kRelayTransportRaw;
  int timeout_seconds = 60;  // the longest wait for one whole reply (none when <= 0)
};

// Connects to the relay host on the port within the time-out; false with the socket error in
// errno (kErrRelayNetworkTimeout when the host did not answer in time).
bool link_open(Link *link, int transport, int port, int timeout_seconds);
void link_close(Link *link);

// Sends one record and, when reply is given, waits for and receives the next one. 0; -10 when the
// connection failed or closed; -3 when the whole reply did not come within the time-out (none
// of it, or a reply that stalled part-way).
int link_exchange(Link *link, const Bytes &record, Bytes *reply);

// How a transfer ended: 0, or the failing step's result (-1, -2; -10 lost connection; -3 time-out)
// with where it failed and the session's failure text.
struct Result {
  int code = 0;
  std::string where;
  std::string text;
};

// Runs a sender session (loaded with its pairs) from Hello to the recipient's close.
Result run_sender(RelaySession *session, Link *link, const std::string &auth_code);

// Runs a recipient session. shown is called with the authorization code once it is known (before
// the VersionNotice goes out), confirm with the subject text of the arriving certificate (false
// ends the transfer). The set is in the session's items on success.
Result run_recipient(RelaySession *session, Link *link, const std::function<void(const std::string &)> &shown,
                     const std::function<bool(const std::string &)> &confirm = nullptr);

}  // namespace phone
