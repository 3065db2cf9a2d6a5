// The parts of the client's one exchange that are worth testing apart from main: the request
// datagram, the reply as shown on the terminal, and the line that reports a failed call.
#pragma once

#include <cstddef>
#include <cstdio>

namespace client {

constexpr unsigned short kServerPort = 5035;
// Every request datagram has exactly this length, whatever its text.
constexpr std::size_t kMessageSize = 1024;
// One byte short of the buffer, so the received text can always be terminated.
constexpr std::size_t kReplyLimit = kMessageSize - 1;
// Room for the longest reply shown with every byte escaped as \xNN, and the NUL.
constexpr std::size_t kShownSize = 4 * kReplyLimit + 1;

// Overwrites the whole buffer with the request: the text "2.300000 1.560000", then zeros, so
// nothing that was in the buffer before (the typed word) leaves in the datagram.
void build_request(char (&msg)[kMessageSize]);

// Writes into out what the reply line shows of a reply of len bytes: its text up to the first NUL,
// printable ASCII as it is, a backslash as \\ and any other byte as \xNN. The result is always
// NUL-terminated and never cut inside an escape; returns its length.
std::size_t render_reply(const char* reply, std::size_t len, char* out, std::size_t cap);

// Prints "client: <what>: <reason>" for the error number err.
void report_failure(std::FILE* to, const char* what, int err);

}  // namespace client
