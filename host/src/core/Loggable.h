#pragma once
// Text that came from a peer, made safe to put in a log line: a peer must not be able to
// fill the log with one message, forge line breaks or send terminal escapes.

#include <cstddef>
#include <string>
#include <string_view>

namespace lumivane::host {

// Enough to recognise a name or a message type; the rest is noise from a misbehaving peer.
inline constexpr std::size_t kMaxLoggedPeerBytes = 80;

// Cut to at most maxBytes of the original (never inside a UTF-8 sequence), with "..."
// appended when cut; control characters, backslashes and bytes that are not valid UTF-8
// are written as \xNN (a backslash as \\).
std::string loggable(std::string_view peerText, std::size_t maxBytes = kMaxLoggedPeerBytes);

}  // namespace lumivane::host
