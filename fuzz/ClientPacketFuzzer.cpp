// A host's packet body on the video or audio connection, or a discovery answer, read as
// the reference client reads them; the first byte picks which.
#include "DiscoveryClient.h"
#include "FuzzSupport.h"
#include "MediaPackets.h"

using namespace lumivane;
using namespace lumivane::client;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t* body = data + 1;
    const std::size_t length = size - 1;
    std::string problem;
    switch (data[0] % 3) {
        case 0:
            if (const auto video = parseVideoPacket(body, length, problem))
                fuzz::require(video->frame >= body && video->frame + video->frameSize <= body + length,
                              "a frame lies within its packet");
            break;
        case 1:
            if (const auto audio = parseAudioPacket(body, length, problem))
                fuzz::require(audio->opus >= body && audio->opus + audio->opusSize <= body + length,
                              "audio lies within its packet");
            break;
        default:
            if (const auto answer = parseDiscoveryAnswer(body, length))
                fuzz::require(answer->hostName.size() < length, "the host name lies within the answer");
            break;
    }
    return 0;
}
