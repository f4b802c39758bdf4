#include "TcpChannel.h"

#include "core/LittleEndian.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace lumivane::client {

namespace net = boost::asio;
using boost::system::error_code;

TcpChannel::TcpChannel(net::io_context& io, std::string name, std::uint32_t maxMessage)
    : socket_(io), name_(std::move(name)), maxMessage_(maxMessage) {}

void TcpChannel::connect(const net::ip::tcp::endpoint& endpoint, std::function<void(const std::string&)> done) {
    socket_.async_connect(endpoint, [this, endpoint, done = std::move(done)](error_code ec) {
        if (ec) {
            return done("cannot connect the " + name_ + " connection to " + endpoint.address().to_string() + ":" +
                        std::to_string(endpoint.port()) + ": " + ec.message());
        }
        open_ = true;
        error_code ignored;
        socket_.set_option(net::ip::tcp::no_delay(true), ignored);
        const auto local = socket_.local_endpoint(ignored).address();
        peerIsLocal_ = endpoint.address().is_loopback() || endpoint.address() == local;
        done("");
    });
}

void TcpChannel::startReading(MessageHandler message, ClosedHandler closed) {
    onMessage_ = std::move(message);
    onClosed_ = std::move(closed);
    readHeader();
}

void TcpChannel::readHeader() {
    net::async_read(socket_, net::buffer(lengthBytes_), [this](error_code ec, std::size_t) { onHeader(ec); });
}

void TcpChannel::onHeader(const error_code& ec) {
    if (ec) return fail(ec == net::error::eof ? "the host closed the " + name_ + " connection"
                                              : name_ + " connection lost: " + ec.message());
    const std::uint32_t length = host::loadLe32(lengthBytes_);
    if (length > maxMessage_) {
        return fail(name_ + " message of " + std::to_string(length) + " bytes exceeds the " +
                    std::to_string(maxMessage_) + "-byte limit; the connection cannot be read further");
    }
    body_.resize(length);
    net::async_read(socket_, net::buffer(body_), [this](error_code ec, std::size_t) { onBody(ec); });
}

void TcpChannel::onBody(const error_code& ec) {
    if (ec) return fail(name_ + " connection lost inside a message: " + ec.message());
    if (onMessage_) onMessage_(body_.data(), body_.size());
    if (open_) readHeader();
}

void TcpChannel::write(std::vector<std::uint8_t> bytes) {
    if (!open_) return;
    writeQueue_.push_back(std::move(bytes));
    if (writeQueue_.size() == 1) doWrite();
}

void TcpChannel::doWrite() {
    net::async_write(socket_, net::buffer(writeQueue_.front()), [this](error_code ec, std::size_t) {
        if (ec) return fail("cannot write to the " + name_ + " connection: " + ec.message());
        writeQueue_.pop_front();
        if (!writeQueue_.empty()) doWrite();
    });
}

void TcpChannel::fail(const std::string& reason) {
    if (!open_) return;
    open_ = false;
    error_code ignored;
    socket_.close(ignored);
    if (onClosed_) onClosed_(reason);
}

void TcpChannel::close() {
    open_ = false;
    error_code ignored;
    socket_.close(ignored);
}

}  // namespace lumivane::client
