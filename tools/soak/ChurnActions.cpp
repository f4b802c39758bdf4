#include "ChurnActions.h"

#include "SignalingLink.h"
#include "core/LittleEndian.h"

#include <boost/asio/write.hpp>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

namespace lumivane::soak {

namespace net = boost::asio;
using net::ip::tcp;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

std::string framed(const std::vector<std::uint8_t>& body) {
    std::string out(4, '\0');
    host::storeLe32(reinterpret_cast<std::uint8_t*>(out.data()), static_cast<std::uint32_t>(body.size()));
    out.append(body.begin(), body.end());
    return out;
}

// A connection from an address that holds no signalling session.
tcp::socket foreignSocket(net::io_context& io, std::uint16_t port) {
    tcp::socket socket(io);
    socket.open(tcp::v4());
    socket.bind(tcp::endpoint(net::ip::make_address_v4("127.0.0.2"), 0));
    socket.connect(tcp::endpoint(net::ip::make_address_v4("127.0.0.1"), port));
    return socket;
}

tcp::socket localSocket(net::io_context& io, std::uint16_t port) {
    tcp::socket socket(io);
    socket.connect(tcp::endpoint(net::ip::make_address_v4("127.0.0.1"), port));
    return socket;
}

// Resets the connection instead of closing it, as a vanished peer's kernel may.
void reset(tcp::socket& socket) {
    socket.set_option(net::socket_base::linger(true, 0));
    socket.close();
}

void hello(SignalingLink& link, const char* name) {
    link.send({{"type", "hello"}, {"name", name}});
    link.readUntil("welcome");
}

using Action = std::function<int(net::io_context&, const HostAddress&)>;

const std::map<std::string, Action>& actions() {
    static const std::map<std::string, Action> table{
        // A polite client: hello, the window list, a ping, a close handshake.
        {"list", [](net::io_context& io, const HostAddress& host) {
             SignalingLink link(io, host.signaling);
             hello(link, "soak-list");
             link.send({{"type", "window_list_request"}});
             link.readUntil("window_list");
             link.send({{"type", "ping"}, {"timestamp", 7}});
             link.readUntil("pong");
             link.stream().close(boost::beast::websocket::close_code::normal);
             return 0;
         }},
        // Streams the window, then waits for the kill -9 the soak sends it.
        {"stream", [](net::io_context& io, const HostAddress& host) {
             SignalingLink link(io, host.signaling);
             hello(link, "soak-stream");
             link.send({{"type", "stream_start"}, {"windowId", host.windowId}});
             for (;;) {
                 const json reply = link.read();
                 const std::string type = reply.is_object() ? reply.value("type", "") : "";
                 if (type == "error") return 1;
                 if (type == "stream_started") {
                     std::printf("stream %d\n", reply.value("streamId", -1));
                     std::fflush(stdout);
                     break;
                 }
             }
             for (;;) link.read();
         }},
        // Hello, then the connection resets.
        {"vanish", [](net::io_context& io, const HostAddress& host) {
             SignalingLink link(io, host.signaling);
             hello(link, "soak-vanish");
             reset(link.stream().next_layer());
             return 0;
         }},
        // Asks for window lists and reads none of the answers for a while.
        {"stall", [](net::io_context& io, const HostAddress& host) {
             SignalingLink link(io, host.signaling);
             link.stream().next_layer().set_option(net::socket_base::receive_buffer_size(4096));
             hello(link, "soak-stall");
             for (int i = 0; i < 2000; ++i) link.send({{"type", "window_list_request"}});
             std::this_thread::sleep_for(3s);
             reset(link.stream().next_layer());
             return 0;
         }},
        // One message far larger than any real one.
        {"oversized", [](net::io_context& io, const HostAddress& host) {
             SignalingLink link(io, host.signaling);
             link.sendText(R"({"type":"hello","name":")" + std::string(1 << 20, 'x') + "\"}");
             link.sendText(R"({"type":"dance","pad":")" + std::string(1 << 20, 'y') + "\"}");
             // Time to read them before the reset discards what is unread.
             std::this_thread::sleep_for(1s);
             reset(link.stream().next_layer());
             return 0;
         }},
        // Messages no client should send, then a ping that must still be answered.
        {"malformed", [](net::io_context& io, const HostAddress& host) {
             SignalingLink link(io, host.signaling);
             for (const char* text : {"{\"type\":", "[1,2,3]", "{\"type\":7}", "{\"type\":\"dance\"}",
                                      "{\"type\":\"stream_start\",\"windowId\":\"x\"}", "{\"type\":\"ping\",\"timestamp\":1e400}",
                                      "{\"type\":\"hello\",\"name\":\"\\u0007\\u001b[31mred\"}", "\xff\xfe"})
                 link.sendText(text);
             link.sendBinary(std::string("\x00\x01\x02", 3));
             link.send({{"type", "ping"}, {"timestamp", 9}});
             link.readUntil("pong");
             link.stream().close(boost::beast::websocket::close_code::normal);
             return 0;
         }},
        // Raw bytes where the WebSocket upgrade should be, and an upgrade never finished.
        {"garbage", [](net::io_context& io, const HostAddress& host) {
             tcp::socket raw = localSocket(io, host.signaling);
             net::write(raw, net::buffer(std::string("\x16\x03\x01\x02\x00 not http\r\n\r\n")));
             tcp::socket half = localSocket(io, host.signaling);
             net::write(half, net::buffer(std::string("GET / HTTP/1.1\r\nHost: x\r\n")));
             std::this_thread::sleep_for(2s);
             return 0;
         }},
        // Input, feedback and keyframe requests from an address without a session.
        {"foreign", [](net::io_context& io, const HostAddress& host) {
             tcp::socket input = foreignSocket(io, host.input);
             std::string records;
             for (int i = 0; i < 50; ++i)
                 records += framed({1, 1, 1, static_cast<std::uint8_t>(i), 0, 100, 0, 0, 0, 0, 0, 0});
             boost::system::error_code ec;
             net::write(input, net::buffer(records), ec);
             tcp::socket video = foreignSocket(io, host.video);
             net::write(video, net::buffer(framed({16, 1}) + framed({4, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0, 200, 3})), ec);
             tcp::socket audio = foreignSocket(io, host.audio);
             std::this_thread::sleep_for(500ms);
             return 0;
         }},
        // An audio client that reads nothing.
        {"audio-stall", [](net::io_context& io, const HostAddress& host) {
             SignalingLink link(io, host.signaling);
             hello(link, "soak-audio");
             tcp::socket audio = localSocket(io, host.audio);
             audio.set_option(net::socket_base::receive_buffer_size(4096));
             std::this_thread::sleep_for(3s);
             reset(audio);
             return 0;
         }},
    };
    return table;
}

}  // namespace

const std::vector<std::string>& churnActionNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const auto& [name, action] : actions()) out.push_back(name);
        return out;
    }();
    return names;
}

int runChurnAction(const std::string& name, const HostAddress& host) {
    const auto it = actions().find(name);
    if (it == actions().end()) return 2;
    net::io_context io;
    try {
        return it->second(io, host);
    } catch (const std::exception& e) {
        // The host may rightly drop a misbehaving client; only the soak's own checks count.
        std::printf("ended: %s\n", e.what());
        return 0;
    }
}

}  // namespace lumivane::soak
