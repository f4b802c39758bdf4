// A client's byte stream on the video connection: framing, the control messages, and what
// the application does with them (input to the injector, feedback to the bitrate).
#include "FuzzSupport.h"
#include "app/AdaptiveBitrate.h"
#include "fakes/FakeInputSink.h"
#include "input/InputInjector.h"
#include "network/ControlMessage.h"
#include "network/FramedMessageReader.h"
#include "network/TcpTransportServer.h"

using namespace lumivane;
using namespace lumivane::host;

namespace {

struct Harness {
    FakeInputSink* sink = new FakeInputSink;
    InputInjector injector{std::unique_ptr<InputSink>(sink)};
    Harness() {
        fuzz::quietLogging();
        injector.initialize({});
        injector.setTargetWindow(0x1234);
        sink->rect = {100, 100, 900, 700};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness h;
    FramedMessageReader reader(TcpTransportServer::kMaxMessageLength);
    AdaptiveBitrate bitrate;
    auto now = AdaptiveBitrate::Clock::time_point{} + std::chrono::hours(1);
    fuzz::inPieces(data, size, [&](const std::uint8_t* piece, std::size_t length) {
        reader.feed(piece, length, [&](const FramedMessageReader::Message& message) {
            fuzz::require(message.kept == std::min<std::size_t>(message.length, FramedMessageReader::kKeptBytes),
                          "a message keeps its first bytes");
            const ControlMessage control = parseControlMessage(message.head, message.kept);
            switch (control.kind) {
                case ControlMessage::Kind::Input: {
                    const ClientInput& in = control.input;
                    h.injector.processEvent(InjectorEvent{in.type, in.action, in.x, in.y, in.code, in.modifiers, in.wheelDelta});
                    break;
                }
                case ControlMessage::Kind::Feedback: {
                    now += std::chrono::milliseconds(700);
                    const auto change = bitrate.onFeedback(control.feedback.decodeMs, control.feedback.rttMs, 20000, now);
                    if (change) fuzz::require(change->toKbps >= AdaptiveBitrate::kFloorKbps || change->toKbps >= change->fromKbps,
                                              "congestion never takes the bitrate below the floor");
                    AdaptiveBitrate::maxFor(bitrate.currentKbps());
                    break;
                }
                case ControlMessage::Kind::KeyframeRequest:
                case ControlMessage::Kind::Ignored: break;
            }
        });
    });
    h.sink->records.clear();
    h.sink->broughtToFront.clear();
    return 0;
}
