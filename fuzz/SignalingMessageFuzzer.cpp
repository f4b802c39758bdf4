// One signalling message from a client, handled with every callback set, the resize one
// reaching the injector as the application wires it.
#include "FuzzSupport.h"
#include "fakes/FakeInputSink.h"
#include "input/InputInjector.h"
#include "network/SignalingServerImpl.h"
#include "network/WebSocketSession.h"

#include <boost/asio/io_context.hpp>

#include <algorithm>
#include <limits>
#include <stdexcept>

using namespace lumivane;
using namespace lumivane::host;

namespace {

struct Harness {
    boost::asio::io_context ioc;
    std::shared_ptr<SignalingServerImpl> server = std::make_shared<SignalingServerImpl>(0);
    FakeInputSink* sink = new FakeInputSink;
    InputInjector injector{std::unique_ptr<InputSink>(sink)};

    Harness() {
        fuzz::quietLogging();
        injector.initialize({});
        server->setCallback(&SignalingCallbacks::windowList, std::function<std::vector<protocol::WindowInfo>()>([] {
            protocol::WindowInfo plain;
            plain.id = 0x1234;
            plain.title = "Terminal";
            protocol::WindowInfo odd;
            odd.id = 0xffffffff;
            odd.title = "bad \xff\xfe utf-8";
            odd.iconBase64 = "iVBORw0KGgo=";
            return std::vector<protocol::WindowInfo>{plain, odd};
        }));
        server->setCallback(&SignalingCallbacks::streamStart,
                            std::function<bool(std::uint32_t, std::uint8_t)>([](std::uint32_t windowId, std::uint8_t) {
                                if (windowId == 0xbad) throw std::runtime_error("capture failed");
                                return windowId % 2 == 0;
                            }));
        server->setCallback(&SignalingCallbacks::streamStop, std::function<void(std::uint8_t)>([](std::uint8_t) {}));
        server->setCallback(&SignalingCallbacks::keyframeRequest, std::function<void(std::uint8_t)>([](std::uint8_t) {}));
        server->setCallback(&SignalingCallbacks::clientHello, std::function<void(const std::string&)>([](const std::string&) {}));
        server->setCallback(&SignalingCallbacks::clientName,
                            std::function<void(const std::string&, const std::string&)>(
                                [](const std::string&, const std::string& name) {
                                    fuzz::require(name.size() <= 64, "a client name is cut to 64 bytes");
                                }));
        server->setCallback(&SignalingCallbacks::windowResize,
                            std::function<bool(std::uint32_t, std::uint32_t, std::uint32_t)>(
                                [this](std::uint32_t windowId, std::uint32_t width, std::uint32_t height) {
                                    constexpr std::uint32_t kMaxSide = std::numeric_limits<std::int32_t>::max();
                                    return injector.resizeWindow(windowId, static_cast<std::int32_t>(std::min(width, kMaxSide)),
                                                                 static_cast<std::int32_t>(std::min(height, kMaxSide)), true);
                                }));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness h;
    // A fresh session each time: its reply queue (never written without a peer) goes with it.
    auto session = std::make_shared<WebSocketSession>(boost::asio::ip::tcp::socket(h.ioc), h.server);
    h.server->addSession(session);
    h.server->handleMessage(session.get(), std::string(reinterpret_cast<const char*>(data), size));
    h.ioc.poll();
    h.ioc.restart();
    h.server->removeSession(session.get());
    h.sink->placements.clear();
    return 0;
}
