// A client's byte stream on the input connection: framing, the records, and the injector
// they drive.
#include "FuzzSupport.h"
#include "app/InputDispatch.h"
#include "fakes/FakeInputSink.h"
#include "input/InputInjector.h"
#include "network/FramedMessageReader.h"
#include "network/InputEvent.h"
#include "network/TcpInputServer.h"

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
    FramedMessageReader reader(TcpInputServer::kMaxMessageLength);
    fuzz::inPieces(data, size, [&](const std::uint8_t* piece, std::size_t length) {
        reader.feed(piece, length, [&](const FramedMessageReader::Message& message) {
            if (message.length < InputEvent::kWireSize) return;
            fuzz::require(message.kept >= InputEvent::kWireSize, "a whole record is kept");
            dispatchInputEvent(h.injector, InputEvent::readFrom(message.head));
        });
    });
    h.sink->records.clear();
    h.sink->broughtToFront.clear();
    return 0;
}
