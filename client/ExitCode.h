#pragma once
// What the process exit status tells a script about the run.

namespace lumivane::client {

enum class ExitCode : int {
    Ok = 0,
    Failure = 1,            // a local problem: a file or decoder could not be opened
    Usage = 2,              // bad command line or input script
    Unreachable = 3,        // no discovery answer, no connection, no reply in time, connection lost
    WindowNotFound = 4,     // no window matches --window or --title
    StreamRefused = 5,      // the host answered stream_start with an error
    ProtocolViolation = 6,  // the host broke the protocol (order, packet layout)
    NoVideo = 7,            // the stream started but video stopped coming
};

}  // namespace lumivane::client
