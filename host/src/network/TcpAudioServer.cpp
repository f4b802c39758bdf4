#include "network/TcpAudioServer.h"

#include "core/Logging.h"
#include "core/LittleEndian.h"
#include "network/MediaPacketHeader.h"
#include "network/TcpServerSupport.h"

#include <boost/asio/write.hpp>

#include <array>
#include <chrono>

namespace lumivane::host {

using boost::asio::ip::tcp;

TcpAudioServer::TcpAudioServer(std::uint16_t port) : port_(port), acceptor_(io_) {}

TcpAudioServer::~TcpAudioServer() { stop(); }

bool TcpAudioServer::start() {
    if (running_) return true;
    try {
        port_ = openListeningAcceptor(acceptor_, port_);
        running_ = true;
        startAccept();
        ioThread_ = std::thread([this] { runIo(); });
        LV_INFO("TCP audio server started on port {}", port_.load());
        return true;
    } catch (const std::exception& e) {
        LV_ERROR("Failed to start TCP audio server: {}", e.what());
        running_ = false;
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        return false;
    }
}

void TcpAudioServer::stop() {
    if (!running_.exchange(false)) return;
    try {
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        {
            std::lock_guard<std::mutex> lock(clientMutex_);
            if (client_) client_->close(ignored);
            client_.reset();
        }
        io_.stop();
        if (ioThread_.joinable()) ioThread_.join();
    } catch (...) {
    }
    LV_INFO("TCP audio server stopped");
}

// Short slices so the loop notices stop() within 100 ms.
void TcpAudioServer::runIo() {
    while (running_) {
        try {
            io_.run_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
            io_.restart();
        } catch (const std::exception& e) {
            LV_ERROR("TCP audio IO error: {}", e.what());
        }
    }
}

void TcpAudioServer::startAccept() {
    auto socket = std::make_shared<tcp::socket>(io_);
    acceptor_.async_accept(*socket, [this, socket](const boost::system::error_code& ec) {
        if (!ec) handleNewConnection(socket);
        if (running_) startAccept();
    });
}

void TcpAudioServer::handleNewConnection(const SocketPtr& socket) {
    std::lock_guard<std::mutex> lock(clientMutex_);
    if (client_ && client_->is_open()) {
        LV_INFO("TCP audio: Closing previous client connection");
        boost::system::error_code ignored;
        client_->close(ignored);
    }
    client_ = socket;
    try {
        socket->set_option(tcp::no_delay(true));
        socket->set_option(boost::asio::socket_base::linger(true, 0));
        socket->set_option(boost::asio::socket_base::reuse_address(true));
        socket->set_option(boost::asio::socket_base::send_buffer_size(65536));
        socket->set_option(boost::asio::socket_base::receive_buffer_size(65536));
        LV_INFO("TCP audio client connected from {}", peerText(*socket));
    } catch (const std::exception& e) {
        LV_ERROR("Failed to configure TCP audio socket: {}", e.what());
    }
}

void TcpAudioServer::sendAudioData(std::uint8_t streamId, const std::uint8_t* data, std::size_t size) {
    std::lock_guard<std::mutex> lock(clientMutex_);
    if (!client_ || !client_->is_open()) return;
    std::uint8_t header[4 + MediaPacketHeader::kSize + 4];
    storeLe32(header, static_cast<std::uint32_t>(size + 12));
    const MediaPacketHeader media{1, MediaPacketHeader::kAudio, streamId, 0, packetSequence_++,
                                  static_cast<std::uint16_t>(size + 4)};
    media.writeTo(header + 4);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count();
    storeLe32(header + 4 + MediaPacketHeader::kSize, static_cast<std::uint32_t>(ms));
    if (packetSequence_ <= 3) {
        LV_INFO("TCP Audio packet #{}: length={} (headerSize={}, dataSize={}), type={}, streamId={}, payloadLength={}",
                media.sequence, size + 12, 12, size, 2, streamId, media.payloadLength);
    }
    const std::array<boost::asio::const_buffer, 2> parts{boost::asio::buffer(header),
                                                         boost::asio::buffer(data, size)};
    boost::system::error_code ec;
    boost::asio::write(*client_, parts, ec);
    if (ec) {
        LV_ERROR("TCP audio send failed: {}", ec.message());
        boost::system::error_code ignored;
        client_->close(ignored);
        client_.reset();
    }
}

}  // namespace lumivane::host
