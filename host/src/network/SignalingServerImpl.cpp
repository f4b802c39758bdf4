#include "network/SignalingServerImpl.h"

#include "core/Logging.h"
#include "network/WebSocketSession.h"

#include <vector>

namespace lumivane::host {

namespace net = boost::asio;
using net::ip::tcp;

SignalingServerImpl::SignalingServerImpl(std::uint16_t port, const SignalingLimits& limits)
    : port_(port), limits_(limits), listener_(ioc_, TcpListener::Sockets::OwnStrand) {}

bool SignalingServerImpl::start() {
    if (running_) {
        LV_WARN("Signaling server already running on port {}", boundPort_.load());
        return false;
    }
    try {
        boundPort_ = listener_.open(port_);
    } catch (const std::exception& e) {
        LV_ERROR("Failed to start signaling server: {}", e.what());
        return false;
    }
    ioc_.restart();
    running_ = true;
    // The listener is ours and runs only while the thread does, which stop joins.
    listener_.start([this](tcp::socket socket) { onAccept(std::move(socket)); });
    thread_ = std::thread([this] { ioc_.run(); });
    LV_INFO("Signaling server listening on port {}", boundPort_.load());
    return true;
}

const char* SignalingServerImpl::refusalLocked(const net::ip::address& address) const {
    if (sessions_.size() >= limits_.maxSessions) return "too many sessions";
    std::size_t fromAddress = 0;
    for (const auto& session : sessions_) fromAddress += session->address() == address;
    if (fromAddress >= limits_.maxSessionsPerAddress) return "too many sessions from that address";
    return nullptr;
}

void SignalingServerImpl::onAccept(tcp::socket socket) {
    auto session = std::make_shared<WebSocketSession>(std::move(socket), weak_from_this(), limits_);
    {
        std::lock_guard lock(sessionsMutex_);
        if (!running_) return;  // stop has closed the sessions; this one would keep run() alive
        if (const char* why = refusalLocked(session->address())) {
            if (const auto held = refusals_.allow()) {
                LV_WARN("Refused signalling connection from {}: {}{}", session->remoteAddress(), why,
                        *held ? fmt::format(" ({} more refused since)", *held) : std::string());
            }
            return;  // the session's socket closes with it
        }
        sessions_.insert(session);
    }
    session->run();
}

void SignalingServerImpl::stop() {
    if (!running_.exchange(false)) return;
    // The listener closes on its strand, so no accept handler is running against it.
    listener_.close();
    closeAll();
    try {
        if (thread_.joinable()) thread_.join();
    } catch (const std::exception&) {
        // Joining from the I/O thread itself; nothing sensible is left to do.
    }
    LV_INFO("Signaling server stopped");
}

void SignalingServerImpl::closeAll() {
    std::set<std::shared_ptr<WebSocketSession>> sessions;
    {
        std::lock_guard lock(sessionsMutex_);
        sessions.swap(sessions_);
    }
    for (const auto& session : sessions) session->close();
}

std::size_t SignalingServerImpl::clientCount() const {
    std::lock_guard lock(sessionsMutex_);
    return sessions_.size();
}

bool SignalingServerImpl::holdsSession(const net::ip::address& address) const {
    std::lock_guard lock(sessionsMutex_);
    for (const auto& session : sessions_)
        if (session->trusted() && session->address() == address) return true;
    return false;
}

void SignalingServerImpl::addSession(std::shared_ptr<WebSocketSession> session) {
    std::lock_guard lock(sessionsMutex_);
    sessions_.insert(std::move(session));
}

void SignalingServerImpl::removeSession(WebSocketSession* session) {
    std::lock_guard lock(sessionsMutex_);
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
        if (it->get() == session) {
            sessions_.erase(it);
            return;
        }
    }
}

std::shared_ptr<WebSocketSession> SignalingServerImpl::findSession(WebSocketSession* session) const {
    std::lock_guard lock(sessionsMutex_);
    for (const auto& s : sessions_) {
        if (s.get() == session) return s;
    }
    return nullptr;
}

void SignalingServerImpl::broadcast(std::shared_ptr<const std::string> text, std::shared_ptr<WriteCompletion> done) {
    std::lock_guard lock(sessionsMutex_);
    for (const auto& session : sessions_) session->send(text, done);
}

void SignalingServerImpl::setTransportPorts(const TransportPorts& ports) {
    std::lock_guard lock(callbacksMutex_);
    ports_ = ports;
}

std::shared_ptr<DeliveryGate> SignalingServerImpl::sendStreamConfig(const protocol::StreamConfigMessage& config) {
    const nlohmann::json message = config;
    LV_INFO("Sending stream_config: streamId={}, {}x{}, codec={}, sps={}B, pps={}B", config.streamId, config.width,
            config.height, config.codec, config.sps.size(), config.pps.size());
    auto done = std::make_shared<WriteCompletion>();
    auto gate = done->gate();
    broadcast(std::make_shared<const std::string>(protocol::serialize(message)), std::move(done));
    return gate;
}

}  // namespace lumivane::host
