// SignalingServerImpl's handling of received messages.
#include "core/Loggable.h"
#include "core/Logging.h"
#include "network/SignalingServerImpl.h"
#include "network/WebSocketSession.h"

#include <optional>
#include <string>

namespace lumivane::host {

using nlohmann::json;
using protocol::MessageType;

namespace {

constexpr std::size_t kMaxClientNameBytes = 64;
// Room for the library's explanation before the quoted text.
constexpr std::size_t kMaxLoggedErrorBytes = 160;

// A display name only: bounded, and never cut inside a UTF-8 sequence.
std::optional<std::string> clientNameOf(const json& message) {
    const auto it = message.find("name");
    if (it == message.end() || !it->is_string()) return std::nullopt;
    std::string name = it->get<std::string>();
    if (name.size() > kMaxClientNameBytes) {
        std::size_t cut = kMaxClientNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return name;
}

}  // namespace

void SignalingServerImpl::handleMessage(WebSocketSession* session, const std::string& text) {
    // Anything a client sends, and anything a callback throws, ends here: the session stays.
    try {
        const json message = json::parse(text, nullptr, true, false);
        const auto type = protocol::parseMessageType(message);
        if (!type) {
            LV_WARN("Unknown message type: '{}'", loggable(message.value("type", "missing")));
            return;
        }
        const auto self = findSession(session);
        if (!self) return;
        switch (*type) {
            case MessageType::Hello: onHello(*self, message); break;
            case MessageType::WindowListRequest: onWindowListRequest(*self); break;
            case MessageType::StreamStart: onStreamStart(*self, message); break;
            case MessageType::StreamStop: onStreamStop(*self, message); break;
            case MessageType::RequestKeyframe: onKeyframeRequest(message); break;
            case MessageType::WindowResize: onWindowResize(*self, message); break;
            case MessageType::Ping: onPing(*self, message); break;
            default: break;
        }
    } catch (const std::exception& e) {
        // A parse error quotes the peer's text.
        LV_ERROR("Error processing message: {}", loggable(e.what(), kMaxLoggedErrorBytes));
    }
}

void SignalingServerImpl::onHello(WebSocketSession& session, const json& message) {
    LV_INFO("Received hello from client at {}", session.remoteAddress());
    if (auto hello = callback(&SignalingCallbacks::clientHello)) hello(session.remoteAddress());
    if (auto name = clientNameOf(message)) {
        if (auto named = callback(&SignalingCallbacks::clientName)) named(session.remoteAddress(), *name);
    }
    protocol::WelcomeMessage welcome;
    {
        std::lock_guard lock(callbacksMutex_);
        welcome.videoPort = ports_.video;
        welcome.audioPort = ports_.audio;
        welcome.inputPort = ports_.input;
    }
    const std::string text = protocol::serialize(json(welcome));
    LV_INFO("Sending welcome message: {}", text);
    session.send(text);
}

void SignalingServerImpl::onWindowListRequest(WebSocketSession& session) {
    if (!session.windowListWanted()) return;
    json windows = json::array();
    if (auto list = callback(&SignalingCallbacks::windowList)) {
        for (const auto& window : list()) windows.push_back(window);
    }
    session.sendWindowList(protocol::serialize(json{{"type", "window_list"}, {"windows", std::move(windows)}}));
}

void SignalingServerImpl::onStreamStart(WebSocketSession& session, const json& message) {
    // Read before an id is taken, so a malformed request consumes none.
    const std::uint32_t windowId = protocol::readUint32(message, "windowId");
    const std::uint8_t streamId = nextStreamId_.fetch_add(1);
    LV_INFO("Stream subscribe request for window {:x}", windowId);
    const auto start = callback(&SignalingCallbacks::streamStart);
    if (start && start(windowId, streamId)) {
        protocol::StreamStartedMessage started;
        started.windowId = windowId;
        started.streamId = streamId;
        session.send(protocol::serialize(json(started)));
        return;
    }
    protocol::ErrorMessage error;
    error.code = protocol::kStreamStartFailedCode;
    error.message = protocol::kStreamStartFailedText;
    session.send(protocol::serialize(json(error)));
}

void SignalingServerImpl::onStreamStop(WebSocketSession& session, const json& message) {
    const std::int32_t streamId = protocol::readInt32(message, "streamId");
    LV_INFO("Stream stop request for stream {}", streamId);
    if (auto stopStream = callback(&SignalingCallbacks::streamStop)) stopStream(static_cast<std::uint8_t>(streamId));
    session.send(protocol::serialize(json{{"type", "stream_stopped"}, {"streamId", streamId}}));
}

void SignalingServerImpl::onKeyframeRequest(const json& message) {
    const std::int32_t streamId = protocol::readInt32(message, "streamId");
    if (auto request = callback(&SignalingCallbacks::keyframeRequest)) request(static_cast<std::uint8_t>(streamId));
}

void SignalingServerImpl::onWindowResize(WebSocketSession& session, const json& message) {
    const std::int32_t streamId = protocol::readInt32(message, "streamId");
    const std::uint32_t windowId = protocol::readUint32(message, "windowId");
    const std::uint32_t width = protocol::readUint32(message, "width");
    const std::uint32_t height = protocol::readUint32(message, "height");
    LV_INFO("Window resize request: stream={}, window={:x}, size={}x{}", streamId, windowId, width, height);
    const auto resize = callback(&SignalingCallbacks::windowResize);
    const bool success = resize && resize(windowId, width, height);
    session.send(protocol::serialize(json{{"type", "window_resized"},
                                          {"streamId", streamId},
                                          {"windowId", windowId},
                                          {"width", width},
                                          {"height", height},
                                          {"success", success}}));
}

void SignalingServerImpl::onPing(WebSocketSession& session, const json& message) {
    const std::int32_t timestamp = protocol::readInt32(message, "timestamp");
    session.send(protocol::serialize(json{{"type", "pong"}, {"timestamp", timestamp}}));
}

}  // namespace lumivane::host
