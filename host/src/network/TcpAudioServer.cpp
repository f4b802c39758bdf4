#include "network/TcpAudioServer.h"

#include "core/LittleEndian.h"
#include "core/Logging.h"
#include "network/MediaPacketHeader.h"
#include "network/PacketSocket.h"

#include <boost/asio/post.hpp>

#include <cstring>

namespace lumivane::host {

using boost::asio::ip::tcp;

namespace {
constexpr std::size_t kHeaderSize = 4 + MediaPacketHeader::kSize + 4;
}  // namespace

TcpAudioServer::TcpAudioServer(std::uint16_t port) : port_(port), listener_(io_, TcpListener::Sockets::ContextExecutor) {
    wake_ = std::make_shared<IoWake>(io_, [this] { drain(); });
}

TcpAudioServer::~TcpAudioServer() { stop(); }

bool TcpAudioServer::start() {
    if (running_) return true;
    try {
        port_ = listener_.open(port_);
    } catch (const std::exception& e) {
        LV_ERROR("Failed to start TCP audio server: {}", e.what());
        return false;
    }
    running_ = true;
    wake_->enable();
    io_.restart();
    listener_.start([this](tcp::socket socket) { onAccept(std::move(socket)); });
    ioThread_ = std::thread([this] { io_.run(); });
    LV_INFO("TCP audio server started on port {}", port_.load());
    return true;
}

void TcpAudioServer::stop() {
    if (!running_.exchange(false)) return;
    wake_->disable();
    boost::asio::post(io_, [this] {
        listener_.close();
        closeCurrent();
    });
    if (ioThread_.joinable()) ioThread_.join();
    LV_INFO("TCP audio server stopped");
}

void TcpAudioServer::onAccept(tcp::socket socket) {
    PeerCheck check;
    {
        std::lock_guard<std::mutex> lock(checkMutex_);
        check = peerCheck_;
    }
    if (!admitConnection(socket, check, "TCP audio", refusals_)) return;
    try {
        socket.set_option(tcp::no_delay(true));
        socket.set_option(boost::asio::socket_base::linger(true, 0));
        socket.set_option(boost::asio::socket_base::reuse_address(true));
        socket.set_option(boost::asio::socket_base::send_buffer_size(65536));
        socket.set_option(boost::asio::socket_base::receive_buffer_size(65536));
    } catch (const std::exception& e) {
        LV_ERROR("Failed to configure TCP audio socket: {}", e.what());
    }
    auto link = std::make_shared<PacketSocket>(
        std::move(socket), sendTimeout_,
        PacketSocket::Events{[this](PacketSocket& l) { onWritten(l); },
                             [this](PacketSocket& l, const std::string& why) { onFailed(l, why); }});
    std::shared_ptr<PacketSocket> previous;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        previous = std::move(client_);
        client_ = link;
        count_ = 0;  // what waited was the previous client's
    }
    if (previous && previous->isOpen()) {
        LV_INFO("TCP audio: Closing previous client connection");
        previous->close();
    }
    LV_INFO("TCP audio client connected from {}", link->name());
}

void TcpAudioServer::closeCurrent() {
    std::shared_ptr<PacketSocket> client;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        client = std::move(client_);
        count_ = 0;
    }
    if (client) client->close();
}

void TcpAudioServer::sendAudioData(std::uint8_t streamId, const std::uint8_t* data, std::size_t size) {
    std::uint16_t sequence = 0;
    bool droppedOldest = false;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (!client_) return;
        if (count_ == ring_.size()) {
            head_ = (head_ + 1) % ring_.size();
            --count_;
            droppedOldest = true;
        }
        Buffer& packet = ring_[(head_ + count_++) % ring_.size()];
        packet.resize(kHeaderSize + size);  // allocates only until every slot has grown
        sequence = packetSequence_++;
        storeLe32(packet.data(), static_cast<std::uint32_t>(size + 12));
        const MediaPacketHeader media{1, MediaPacketHeader::kAudio, streamId, 0, sequence,
                                      static_cast<std::uint16_t>(size + 4)};
        media.writeTo(packet.data() + 4);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        storeLe32(packet.data() + 4 + MediaPacketHeader::kSize, static_cast<std::uint32_t>(ms));
        if (size > 0) std::memcpy(packet.data() + kHeaderSize, data, size);
    }
    wake_->notify();
    if (sequence < 3) {
        LV_INFO("TCP Audio packet #{}: length={} (headerSize={}, dataSize={}), type={}, streamId={}, payloadLength={}",
                sequence, size + 12, 12, size, 2, streamId, static_cast<std::uint16_t>(size + 4));
    }
    if (droppedOldest) {
        const std::uint64_t dropped = ++dropped_;
        if (dropWarnings_.allow()) LV_WARN("TCP audio client is falling behind: {} packets dropped so far", dropped);
    }
}

// ---- the I/O thread ----

void TcpAudioServer::drain() {
    std::shared_ptr<PacketSocket> client;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (!client_ || client_->isWriting() || count_ == 0) return;
        client = client_;
        inFlight_.swap(ring_[head_]);
        head_ = (head_ + 1) % ring_.size();
        --count_;
    }
    // inFlight_ is touched only here and in the events below, all on this thread, while
    // the ring changes under the lock on the audio thread.
    client->write(inFlight_.data(), inFlight_.size());
}

void TcpAudioServer::onWritten(PacketSocket&) { drain(); }

void TcpAudioServer::onFailed(PacketSocket& link, const std::string& why) {
    LV_ERROR("TCP audio send failed: {}", why);
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (client_.get() != &link) return;
    client_.reset();  // later packets are dropped until a client connects again
    count_ = 0;
}

void TcpAudioServer::setPeerCheck(PeerCheck check) {
    std::lock_guard<std::mutex> lock(checkMutex_);
    peerCheck_ = std::move(check);
}

}  // namespace lumivane::host
