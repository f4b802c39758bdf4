#pragma once
// One running stream: a window's capture and the encoder fed by it.

#include "capture/WindowCapture.h"
#include "encode/EncoderBase.h"
#include "gpu/Texture.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace lumivane::host {

struct StreamSession {
    // Declared first so that it is destroyed last: its destructor joins the frame thread.
    std::unique_ptr<WindowCapture> capture;
    std::unique_ptr<EncoderBase> encoder;  // null after a failed rebuild
    std::uint32_t windowId = 0;
    std::uint32_t paddedWidth = 0;
    std::uint32_t paddedHeight = 0;
    std::uint32_t width = 0;   // capture size the encoder was built for
    std::uint32_t height = 0;
    // Frames are padded into this when the capture size is not a multiple of 16; created
    // on first need, dropped when the encoder is rebuilt.
    std::unique_ptr<Texture> paddingTexture;
    // Tells this session's frames from those of an earlier capture under the same stream id.
    std::uint64_t serial = 0;
    // Arrival of the frame being encoded, handed on with what the encoder delivers for it.
    std::chrono::steady_clock::time_point encodingArrival;
};

// Rounds up to a multiple of 16, the granularity every encoder accepts.
constexpr std::uint32_t paddedSize(std::uint32_t size) { return (size + 15u) & ~15u; }

}  // namespace lumivane::host
