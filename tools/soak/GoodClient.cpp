#include "GoodClient.h"

#include "core/LittleEndian.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <vector>

namespace lumivane::soak {

namespace net = boost::asio;
using net::ip::tcp;
using nlohmann::json;

GoodClient::~GoodClient() { stop(); }

std::string GoodClient::start() {
    try {
        link_ = std::make_unique<SignalingLink>(io_, host_.signaling);
        link_->send({{"type", "hello"}, {"name", "soak-good"}});
        link_->readUntil("welcome");
        video_.connect(tcp::endpoint(net::ip::make_address_v4("127.0.0.1"), host_.video));
        link_->send({{"type", "stream_start"}, {"windowId", host_.windowId}});
        for (;;) {
            const json reply = link_->read();
            const std::string type = reply.is_object() ? reply.value("type", "") : "";
            if (type == "error") return "the host refused the good client's stream: " + reply.dump();
            if (type == "stream_started") {
                streamId_ = reply.value("streamId", -1);
                break;
            }
        }
    } catch (const std::exception& e) {
        return std::string("the good client could not start: ") + e.what();
    }
    {
        std::lock_guard lock(mutex_);
        lastPacket_ = Clock::now();
    }
    signalingReader_ = std::thread([this] { readSignaling(); });
    videoReader_ = std::thread([this] { readVideo(); });
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    // Start-up only: the first packet may take a while on a loaded machine.
    while (packets_ == 0 && Clock::now() < deadline && failure().empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!failure().empty()) return failure();
    return packets_ ? "" : "no video packet in 30 s";
}

void GoodClient::resetLongestGap() {
    std::lock_guard lock(mutex_);
    longest_ = {};
}

std::chrono::milliseconds GoodClient::longestGap() const {
    std::lock_guard lock(mutex_);
    const auto current = stopping_ ? Clock::duration{} : Clock::now() - lastPacket_;
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::max(longest_, current));
}

std::string GoodClient::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

void GoodClient::fail(const std::string& reason) {
    if (stopping_) return;
    std::lock_guard lock(mutex_);
    if (failure_.empty()) failure_ = reason;
}

void GoodClient::readSignaling() {
    try {
        for (;;) link_->read();  // configs and pongs; reading also answers the host's pings
    } catch (const std::exception& e) {
        fail(std::string("the good client's signalling connection ended: ") + e.what());
    }
}

void GoodClient::readVideo() {
    std::vector<std::uint8_t> body;
    try {
        for (;;) {
            std::uint8_t length[4];
            net::read(video_, net::buffer(length));
            body.resize(host::loadLe32(length));
            net::read(video_, net::buffer(body));
            if (body.size() < 3 || body[2] != streamId_) continue;
            const auto now = Clock::now();
            std::lock_guard lock(mutex_);
            longest_ = std::max(longest_, now - lastPacket_);
            lastPacket_ = now;
            ++packets_;
        }
    } catch (const std::exception& e) {
        fail(std::string("the good client's video connection ended: ") + e.what());
    }
}

void GoodClient::stop() {
    if (stopping_.exchange(true)) return;
    // No stream_stop: the reader may be inside the stream, and Beast allows no second
    // thread there. The host is stopped next anyway.
    if (link_) link_->shutdown();
    boost::system::error_code ignored;
    video_.shutdown(tcp::socket::shutdown_both, ignored);
    if (signalingReader_.joinable()) signalingReader_.join();
    if (videoReader_.joinable()) videoReader_.join();
}

}  // namespace lumivane::soak
