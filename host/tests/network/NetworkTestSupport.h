#pragma once
// Loopback clients and log capture shared by the network tests.

#include "core/Logging.h"
#include "core/LittleEndian.h"
#include "fakes/ReceiveTimeout.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumivane::host::test {

constexpr auto kDeadline = std::chrono::seconds(10);

// Installs a logger whose lines the test can wait for; restores the previous one after.
class LogCapture {
public:
    LogCapture() : previous_(spdlog::default_logger()) {
        auto sink = std::make_shared<UISinkMt>();
        sink->set_pattern("%v");
        sink->setCallback([this](int, const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
            changed_.notify_all();
        });
        spdlog::set_default_logger(std::make_shared<spdlog::logger>("test", sink));
    }
    ~LogCapture() { spdlog::set_default_logger(previous_); }

    int count(const std::string& text) const {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (const auto& line : lines_) n += line.find(text) != std::string::npos;
        return n;
    }
    bool waitFor(const std::string& text, int times = 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kDeadline, [&] {
            int n = 0;
            for (const auto& line : lines_) n += line.find(text) != std::string::npos;
            return n >= times;
        });
    }

private:
    std::shared_ptr<spdlog::logger> previous_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

// Waits on a condition that other threads change without notifying; polls with a deadline.
inline bool eventually(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Blocking loopback client; reads give up after the deadline instead of hanging a test.
class TestClient {
public:
    // `from` is the local address: a foreign peer is one bound to 127.0.0.2. A small
    // receive buffer (bytes, 0 for the default) makes a client that stops reading stall soon.
    explicit TestClient(std::uint16_t port, const char* from = "127.0.0.1", int receiveBuffer = 0) : socket_(io_) {
        socket_.open(boost::asio::ip::tcp::v4());
        if (receiveBuffer > 0) socket_.set_option(boost::asio::socket_base::receive_buffer_size(receiveBuffer));
        socket_.bind({boost::asio::ip::make_address(from), 0});
        socket_.connect({boost::asio::ip::make_address("127.0.0.1"), port});
        setReceiveTimeout(static_cast<std::uintptr_t>(socket_.native_handle()), kDeadline);
    }

    std::vector<std::uint8_t> read(std::size_t n) {
        std::vector<std::uint8_t> out(n);
        boost::system::error_code ec;
        const auto got = boost::asio::read(socket_, boost::asio::buffer(out), ec);
        out.resize(got);
        return out;
    }
    bool write(const std::vector<std::uint8_t>& bytes) {
        boost::system::error_code ec;
        boost::asio::write(socket_, boost::asio::buffer(bytes), ec);
        return !ec;
    }
    // Length-prefixed message as the clients frame them.
    static std::vector<std::uint8_t> framed(const std::vector<std::uint8_t>& body, std::uint32_t length) {
        // Sized once: GCC 12 misreads an insert after a 4-byte vector as an overrun.
        std::vector<std::uint8_t> out(4 + body.size());
        storeLe32(out.data(), length);
        std::copy(body.begin(), body.end(), out.begin() + 4);
        return out;
    }
    static std::vector<std::uint8_t> framed(const std::vector<std::uint8_t>& body) {
        return framed(body, static_cast<std::uint32_t>(body.size()));
    }
    // Closing with unread data resets the connection.
    void abort() {
        socket_.set_option(boost::asio::socket_base::linger(true, 0));
        socket_.close();
    }
    boost::asio::ip::tcp::socket& socket() { return socket_; }
    // Whether the host ended the connection: a read sees end of stream or a reset (after
    // whatever was already buffered).
    bool closedByPeer() {
        std::vector<std::uint8_t> sink(65536);
        boost::system::error_code ec;
        while (!ec) socket_.read_some(boost::asio::buffer(sink), ec);
        return ec == boost::asio::error::eof || ec == boost::asio::error::connection_reset;
    }

private:
    boost::asio::io_context io_;
    boost::asio::ip::tcp::socket socket_;
};

}  // namespace lumivane::host::test
