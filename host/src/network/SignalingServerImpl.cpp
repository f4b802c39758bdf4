#include "network/SignalingServerImpl.h"

#include "core/Logging.h"
#include "network/WebSocketSession.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/bind_handler.hpp>

#include <chrono>
#include <vector>

namespace lumivane::host {

namespace net = boost::asio;
using net::ip::tcp;

namespace {
// A failing accept (out of descriptors, say) fails again at once; pause before retrying.
constexpr auto kAcceptRetryDelay = std::chrono::milliseconds(100);
}  // namespace

SignalingServerImpl::SignalingServerImpl(std::uint16_t port)
    : port_(port), acceptor_(ioc_), retryTimer_(ioc_) {}

bool SignalingServerImpl::start() {
    if (running_) {
        LV_WARN("Signaling server already running on port {}", boundPort_.load());
        return false;
    }
    try {
        const tcp::endpoint endpoint(tcp::v4(), port_);
        acceptor_.open(endpoint.protocol());
        acceptor_.set_option(net::socket_base::reuse_address(true));
        acceptor_.bind(endpoint);
        acceptor_.listen(net::socket_base::max_listen_connections);
        boundPort_ = acceptor_.local_endpoint().port();
        ioc_.restart();
        running_ = true;
        doAccept();
        thread_ = std::thread([this] { ioc_.run(); });
    } catch (const std::exception& e) {
        LV_ERROR("Failed to start signaling server: {}", e.what());
        running_ = false;
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        return false;
    }
    LV_INFO("Signaling server listening on port {}", boundPort_.load());
    return true;
}

void SignalingServerImpl::doAccept() {
    acceptor_.async_accept(net::make_strand(ioc_),
                           boost::beast::bind_front_handler(&SignalingServerImpl::onAccept, shared_from_this()));
}

void SignalingServerImpl::onAccept(boost::system::error_code ec, tcp::socket socket) {
    if (ec) {
        if (!running_) return;
        LV_ERROR("Accept failed: {}", ec.message());
        retryAccept();
        return;
    }
    auto session = std::make_shared<WebSocketSession>(std::move(socket), weak_from_this());
    {
        std::lock_guard lock(sessionsMutex_);
        sessions_.insert(session);
    }
    session->run();
    if (running_) doAccept();
}

void SignalingServerImpl::retryAccept() {
    retryTimer_.expires_after(kAcceptRetryDelay);
    retryTimer_.async_wait([self = shared_from_this()](boost::system::error_code ec) {
        if (!ec && self->running_) self->doAccept();
    });
}

void SignalingServerImpl::stop() {
    if (!running_.exchange(false)) return;
    // The acceptor and timer are touched by handlers, so close them on the context; the
    // closes end every pending operation and run() then returns on its own.
    net::post(ioc_, [self = shared_from_this()] {
        boost::system::error_code ignored;
        self->acceptor_.close(ignored);
        self->retryTimer_.cancel();
    });
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
        if (session->address() == address) return true;
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
