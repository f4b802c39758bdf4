#pragma once
// Loopback WebSocket client and log capture for the signalling tests.

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lumivane::host::sigtest {

inline constexpr auto kDeadline = std::chrono::seconds(10);

// Replaces the default logger for the fixture's life and keeps every message text.
class LogCapture {
public:
    LogCapture() : sink_(std::make_shared<Sink>()), previous_(spdlog::default_logger()) {
        auto logger = std::make_shared<spdlog::logger>("test", sink_);
        logger->set_level(spdlog::level::trace);
        spdlog::set_default_logger(logger);
    }
    ~LogCapture() { spdlog::set_default_logger(previous_); }

    bool waitFor(const std::string& part) const {
        std::unique_lock lock(sink_->linesMutex);
        return sink_->changed.wait_for(lock, kDeadline, [&] { return countLocked(part) > 0; });
    }
    std::size_t count(const std::string& part) const {
        std::lock_guard lock(sink_->linesMutex);
        return countLocked(part);
    }

private:
    struct Sink : spdlog::sinks::base_sink<std::mutex> {
        std::mutex linesMutex;  // taken inside the base sink's mutex
        std::condition_variable changed;
        std::vector<std::string> lines;
        void sink_it_(const spdlog::details::log_msg& msg) override {
            {
                std::lock_guard lock(linesMutex);
                lines.emplace_back(msg.payload.data(), msg.payload.size());
            }
            changed.notify_all();
        }
        void flush_() override {}
    };
    std::size_t countLocked(const std::string& part) const {
        std::size_t n = 0;
        for (const auto& line : sink_->lines) n += line.find(part) != std::string::npos;
        return n;
    }
    std::shared_ptr<Sink> sink_;
    std::shared_ptr<spdlog::logger> previous_;
};

// Waits on a condition the code under test gives no notification for.
inline bool waitUntil(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

class WsClient {
public:
    explicit WsClient(std::uint16_t port) : ws_(ioc_) {
        connectTcp(port);
        handshake();
    }
    // From a local address of its own (127.0.0.2 is a foreign peer), with a small receive
    // buffer when given, so that a client that does not read is found out soon.
    WsClient(std::uint16_t port, const std::string& from, int receiveBuffer = 0) : ws_(ioc_) {
        auto& socket = ws_.next_layer();
        socket.open(boost::asio::ip::tcp::v4());
        if (receiveBuffer > 0) socket.set_option(boost::asio::socket_base::receive_buffer_size(receiveBuffer));
        socket.bind({boost::asio::ip::make_address(from), 0});
        connectTcp(port);
        handshake();
    }
    // Opens every descriptor the client needs, connects later.
    struct Deferred {};
    explicit WsClient(Deferred) : ws_(ioc_) { ws_.next_layer().open(boost::asio::ip::tcp::v4()); }

    void connectTcp(std::uint16_t port) {
        ws_.next_layer().connect({boost::asio::ip::make_address("127.0.0.1"), port});
        ws_.next_layer().set_option(boost::asio::ip::tcp::no_delay(true));
    }
    void handshake() { ws_.handshake("127.0.0.1", "/"); }

    void send(const std::string& text) { ws_.write(boost::asio::buffer(text)); }

    // The next message, or "<timeout>" when none arrives within the deadline.
    std::string read() {
        boost::beast::flat_buffer buffer;
        std::optional<boost::system::error_code> result;
        ws_.async_read(buffer, [&](boost::system::error_code ec, std::size_t) { result = ec; });
        ioc_.restart();
        ioc_.run_for(kDeadline);
        if (!result) {
            ws_.next_layer().cancel();
            ioc_.restart();
            ioc_.run();
            return "<timeout>";
        }
        if (*result) return "<error: " + result->message() + ">";
        return boost::beast::buffers_to_string(buffer.data());
    }

    std::string request(const std::string& text) {
        send(text);
        return read();
    }

    // Bytes the kernel holds for this client that no read has taken yet.
    std::size_t bytesWaiting() { return ws_.next_layer().available(); }

    void close() { ws_.close(boost::beast::websocket::close_code::normal); }
    void breakConnection() { ws_.next_layer().close(); }

private:
    boost::asio::io_context ioc_;
    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws_;
};

}  // namespace lumivane::host::sigtest
