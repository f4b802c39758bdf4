#pragma once
// Acceptor, I/O thread, session registry, callbacks and the stream-id counter.

#include "core/RateLimit.h"
#include "network/SignalingProtocol.h"
#include "network/SignalingServer.h"
#include "network/TcpListener.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace lumivane::host {

class WebSocketSession;
class WriteCompletion;

class SignalingServerImpl : public std::enable_shared_from_this<SignalingServerImpl> {
public:
    explicit SignalingServerImpl(std::uint16_t port, const SignalingLimits& limits = {});

    bool start();
    void stop();
    void update() { ioc_.poll(); }
    std::uint16_t port() const { return boundPort_.load(); }
    std::size_t clientCount() const;
    bool holdsSession(const boost::asio::ip::address& address) const;

    std::shared_ptr<DeliveryGate> sendStreamConfig(const protocol::StreamConfigMessage& config);

    template <typename F>
    void setCallback(F SignalingCallbacks::*member, F callback) {
        std::lock_guard lock(callbacksMutex_);
        callbacks_.*member = std::move(callback);
    }
    void setTransportPorts(const TransportPorts& ports);

    // Session strand only.
    void handleMessage(WebSocketSession* session, const std::string& text);
    void removeSession(WebSocketSession* session);
    // Registers a session that was not accepted here, so handleMessage can be driven
    // without a socket.
    void addSession(std::shared_ptr<WebSocketSession> session);

private:
    void onAccept(boost::asio::ip::tcp::socket socket);
    // Under sessionsMutex_: why a connection from this address is refused, or null.
    const char* refusalLocked(const boost::asio::ip::address& address) const;
    void broadcast(std::shared_ptr<const std::string> text, std::shared_ptr<WriteCompletion> done);
    std::shared_ptr<WebSocketSession> findSession(WebSocketSession* session) const;
    void closeAll();

    // The handlers of handleMessage, one per handled message type.
    void onHello(WebSocketSession& session, const nlohmann::json& message);
    void onWindowListRequest(WebSocketSession& session);
    void onStreamStart(WebSocketSession& session, const nlohmann::json& message);
    void onStreamStop(WebSocketSession& session, const nlohmann::json& message);
    void onKeyframeRequest(const nlohmann::json& message);
    void onWindowResize(WebSocketSession& session, const nlohmann::json& message);
    void onPing(WebSocketSession& session, const nlohmann::json& message);

    // A copy taken under the lock, so a setter never races a handler calling it.
    template <typename F>
    F callback(F SignalingCallbacks::*member) const {
        std::lock_guard lock(callbacksMutex_);
        return callbacks_.*member;
    }

    mutable std::mutex callbacksMutex_;  // guards callbacks_ and ports_; taken alone
    SignalingCallbacks callbacks_;
    TransportPorts ports_;
    // Handlers of different sessions may run on the I/O thread and in update() at once.
    std::atomic<std::uint8_t> nextStreamId_{1};
    std::uint16_t port_;
    const SignalingLimits limits_;
    std::atomic<std::uint16_t> boundPort_{0};
    // Polled from two threads (run and update), so no single-thread hint.
    boost::asio::io_context ioc_;
    TcpListener listener_;
    RateLimit refusals_{std::chrono::seconds(10)};
    // Cleared by stop before it closes the sessions; read under sessionsMutex_ when one is
    // registered, so an accept that completes during stop is never left open.
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::set<std::shared_ptr<WebSocketSession>> sessions_;
    mutable std::mutex sessionsMutex_;  // guards sessions_; taken alone
};

}  // namespace lumivane::host
