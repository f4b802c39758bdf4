#include "network/PacketSocket.h"

#include "network/TcpServerSupport.h"

namespace lumivane::host {

PacketSocket::PacketSocket(boost::asio::ip::tcp::socket socket, std::chrono::milliseconds sendTimeout, Events events)
    : socket_(std::move(socket)), watchdog_(socket_.get_executor()), sendTimeout_(sendTimeout),
      events_(std::move(events)), name_(peerText(socket_)) {}

void PacketSocket::write(const std::uint8_t* data, std::size_t size) {
    data_ = data;
    size_ = size;
    done_ = 0;
    lastProgress_ = Clock::now();
    armWatchdog();
    writeSome();
}

void PacketSocket::writeSome() {
    socket_.async_write_some(boost::asio::buffer(data_ + done_, size_ - done_),
                             [self = shared_from_this()](const boost::system::error_code& ec, std::size_t bytes) {
                                 self->onWrite(ec, bytes);
                             });
}

void PacketSocket::onWrite(const boost::system::error_code& ec, std::size_t bytes) {
    if (closed_) return;
    if (ec) {
        fail(ec.message());
        return;
    }
    done_ += bytes;
    lastProgress_ = Clock::now();
    if (done_ < size_) {
        writeSome();
        return;
    }
    data_ = nullptr;
    events_.written(*this);
}

// Armed while a packet is being written; wakes at the last progress plus the time-out.
void PacketSocket::armWatchdog() {
    if (watchdogArmed_ || closed_) return;
    watchdogArmed_ = true;
    watchdog_.expires_at(lastProgress_ + sendTimeout_);
    watchdog_.async_wait([self = shared_from_this()](const boost::system::error_code& ec) {
        self->watchdogArmed_ = false;
        if (ec || self->closed_ || !self->isWriting()) return;  // idle: the next write re-arms it
        if (Clock::now() - self->lastProgress_ < self->sendTimeout_) {
            self->armWatchdog();
            return;
        }
        self->fail("the client took no data for " + std::to_string(self->sendTimeout_.count()) + " ms");
    });
}

void PacketSocket::fail(const std::string& why) {
    close();
    events_.failed(*this, why);
}

void PacketSocket::close() {
    if (closed_) return;
    closed_ = true;
    data_ = nullptr;
    boost::system::error_code ignored;
    watchdog_.cancel();
    socket_.set_option(boost::asio::socket_base::linger(true, 0), ignored);
    socket_.close(ignored);
}

}  // namespace lumivane::host
