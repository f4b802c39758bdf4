#include "network/SignalingServer.h"

#include "network/SignalingServerImpl.h"

namespace lumivane::host {

SignalingServer::SignalingServer(std::uint16_t port, SignalingLimits limits)
    : impl_(std::make_shared<SignalingServerImpl>(port, limits)) {}

SignalingServer::~SignalingServer() { stop(); }

bool SignalingServer::start() { return impl_->start(); }
void SignalingServer::stop() { impl_->stop(); }
void SignalingServer::update() { impl_->update(); }
std::uint16_t SignalingServer::port() const { return impl_->port(); }
std::size_t SignalingServer::getClientCount() const { return impl_->clientCount(); }
bool SignalingServer::holdsSession(const boost::asio::ip::address& address) const {
    return impl_->holdsSession(address);
}

std::shared_ptr<DeliveryGate> SignalingServer::sendStreamConfig(const protocol::StreamConfigMessage& config) {
    return impl_->sendStreamConfig(config);
}

void SignalingServer::setWindowListCallback(std::function<std::vector<protocol::WindowInfo>()> callback) {
    impl_->setCallback(&SignalingCallbacks::windowList, std::move(callback));
}
void SignalingServer::setStreamStartCallback(std::function<bool(std::uint32_t, std::uint8_t)> callback) {
    impl_->setCallback(&SignalingCallbacks::streamStart, std::move(callback));
}
void SignalingServer::setStreamStopCallback(std::function<void(std::uint8_t)> callback) {
    impl_->setCallback(&SignalingCallbacks::streamStop, std::move(callback));
}
void SignalingServer::setWindowResizeCallback(
    std::function<bool(std::uint32_t, std::uint32_t, std::uint32_t)> callback) {
    impl_->setCallback(&SignalingCallbacks::windowResize, std::move(callback));
}
void SignalingServer::setKeyframeRequestCallback(std::function<void(std::uint8_t)> callback) {
    impl_->setCallback(&SignalingCallbacks::keyframeRequest, std::move(callback));
}
void SignalingServer::setClientHelloCallback(std::function<void(const std::string&)> callback) {
    impl_->setCallback(&SignalingCallbacks::clientHello, std::move(callback));
}
void SignalingServer::setClientNameCallback(
    std::function<void(const std::string&, const std::string&)> callback) {
    impl_->setCallback(&SignalingCallbacks::clientName, std::move(callback));
}
void SignalingServer::setTransportPorts(const TransportPorts& ports) { impl_->setTransportPorts(ports); }

}  // namespace lumivane::host
