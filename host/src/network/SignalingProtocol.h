#pragma once
// Messages of the signalling channel: one JSON object per WebSocket text message.

#include "core/WindowInfo.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::protocol {

enum class MessageType {
    Hello,
    Welcome,
    WindowListRequest,
    WindowList,
    StreamStart,
    StreamStarted,
    StreamStop,
    RequestKeyframe,
    WindowResize,
    WindowResized,
    Error,
    Ping,
    Pong,
};

inline constexpr std::uint32_t kDefaultVideoPort = 9944;
inline constexpr std::uint32_t kDefaultAudioPort = 9945;
inline constexpr std::uint32_t kDefaultInputPort = 9946;

struct WelcomeMessage {
    std::string type = "welcome";
    std::string hostName = "Lumivane Host";
    std::string hostVersion = "1.0.5";
    std::uint32_t videoPort = kDefaultVideoPort;
    std::uint32_t audioPort = kDefaultAudioPort;
    std::uint32_t inputPort = kDefaultInputPort;
    std::string protocol = "tcp";
    std::vector<std::string> supportedCodecs{"h264"};
    bool requiresAuth = false;
};

struct StreamStartedMessage {
    std::string type = "stream_started";
    std::uint32_t windowId = 0;
    std::uint8_t streamId = 0;
    // The picture size is unknown when a subscription is accepted; clients take it from
    // "stream_config", so these stay 0.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::string codec = "h264";
};

struct ErrorMessage {
    std::string type = "error";
    std::uint32_t code = 0;
    std::string message;
};

struct StreamConfigMessage {
    std::string type = "stream_config";
    std::uint32_t windowId = 0;
    std::uint8_t streamId = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::string codec;
    std::string sps;  // base64 of the NAL unit without start code; may be empty
    std::string pps;
    std::uint32_t targetBitrate = 0;  // kbit/s
    std::uint32_t targetFps = 0;
};

inline constexpr std::uint32_t kStreamStartFailedCode = 1001;
inline constexpr const char* kStreamStartFailedText = "Failed to start stream";

void to_json(nlohmann::json& j, const WelcomeMessage& m);
void to_json(nlohmann::json& j, const StreamStartedMessage& m);
void to_json(nlohmann::json& j, const ErrorMessage& m);
void to_json(nlohmann::json& j, const StreamConfigMessage& m);
void to_json(nlohmann::json& j, const WindowInfo& w);

// Empty when `message` is not an object, has no "type" or names no known type.
// Throws nlohmann::json::type_error when "type" is present but not a string.
std::optional<MessageType> parseMessageType(const nlohmann::json& message);

// Compact text with keys in byte order and raw UTF-8. Invalid UTF-8 in any string is
// replaced by U+FFFD, so one bad window title cannot fail a whole window list.
std::string serialize(const nlohmann::json& message);

// Reads an integer field with a default when absent. Booleans read as 0/1, floats are
// truncated; strings, null, arrays and objects throw nlohmann::json::type_error, and a
// float outside the 64-bit range throws std::out_of_range.
std::int32_t readInt32(const nlohmann::json& message, const char* key);
std::uint32_t readUint32(const nlohmann::json& message, const char* key);

}  // namespace lumivane::protocol
