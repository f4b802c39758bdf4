#include "network/SignalingProtocol.h"

#include <array>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace lumivane::protocol {
namespace {

using nlohmann::json;

constexpr std::array<std::pair<std::string_view, MessageType>, 16> kTypeNames{{
    {"hello", MessageType::Hello},
    {"welcome", MessageType::Welcome},
    {"window_list_request", MessageType::WindowListRequest},
    {"window_list", MessageType::WindowList},
    {"stream_start", MessageType::StreamStart},
    {"stream_subscribe", MessageType::StreamStart},
    {"stream_started", MessageType::StreamStarted},
    {"stream_stop", MessageType::StreamStop},
    {"stream_unsubscribe", MessageType::StreamStop},
    {"request_keyframe", MessageType::RequestKeyframe},
    {"keyframe_request", MessageType::RequestKeyframe},
    {"window_resize", MessageType::WindowResize},
    {"window_resized", MessageType::WindowResized},
    {"error", MessageType::Error},
    {"ping", MessageType::Ping},
    {"pong", MessageType::Pong},
}};

// Integer conversion shared by every numeric field; narrower types keep the low bits.
std::int64_t readInt64(const json& message, const char* key) {
    const auto it = message.find(key);
    if (it == message.end()) return 0;
    if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
    if (it->is_number_float()) {
        const double value = it->get<double>();
        // The bounds are exactly representable; NaN fails both comparisons.
        if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
            throw std::out_of_range(std::string("number out of range for '") + key + "'");
        return static_cast<std::int64_t>(value);
    }
    return it->get<std::int64_t>();
}

}  // namespace

void to_json(json& j, const WelcomeMessage& m) {
    j = json{{"type", m.type},           {"hostName", m.hostName},
             {"hostVersion", m.hostVersion}, {"videoPort", m.videoPort},
             {"audioPort", m.audioPort}, {"inputPort", m.inputPort},
             {"protocol", m.protocol},   {"supportedCodecs", m.supportedCodecs},
             {"requiresAuth", m.requiresAuth}};
}

void to_json(json& j, const StreamStartedMessage& m) {
    j = json{{"type", m.type},   {"windowId", m.windowId}, {"streamId", m.streamId},
             {"width", m.width}, {"height", m.height},     {"codec", m.codec}};
}

void to_json(json& j, const ErrorMessage& m) {
    j = json{{"type", m.type}, {"code", m.code}, {"message", m.message}};
}

void to_json(json& j, const StreamConfigMessage& m) {
    j = json{{"type", m.type},     {"windowId", m.windowId},
             {"streamId", m.streamId}, {"width", m.width},
             {"height", m.height}, {"codec", m.codec},
             {"sps", m.sps},       {"pps", m.pps},
             {"targetBitrate", m.targetBitrate}, {"targetFps", m.targetFps}};
}

void to_json(json& j, const WindowInfo& w) {
    j = json{{"id", w.id},
             {"title", w.title},
             {"processName", w.processName},
             {"className", w.className},
             {"x", w.x},
             {"y", w.y},
             {"width", w.width},
             {"height", w.height},
             {"isMinimized", w.isMinimized},
             {"isMaximized", w.isMaximized},
             {"isVisible", w.isVisible},
             {"iconBase64", w.iconBase64}};
}

std::optional<MessageType> parseMessageType(const json& message) {
    if (!message.is_object()) return std::nullopt;
    const auto it = message.find("type");
    if (it == message.end()) return std::nullopt;
    const std::string name = it->get<std::string>();
    for (const auto& [text, type] : kTypeNames) {
        if (text == name) return type;
    }
    return std::nullopt;
}

std::string serialize(const json& message) {
    return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::int32_t readInt32(const json& message, const char* key) {
    return static_cast<std::int32_t>(readInt64(message, key));
}

std::uint32_t readUint32(const json& message, const char* key) {
    return static_cast<std::uint32_t>(readInt64(message, key));
}

}  // namespace lumivane::protocol
