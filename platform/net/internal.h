// Shared by the two sides of the socket seam and the waits built on top of them.
#pragma once

namespace v7 {

// Sets the calling thread's last socket error (WSASetLastError) to a Windows number.
void net_set_last_error(int error);

}  // namespace v7
