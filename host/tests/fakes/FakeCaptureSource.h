#pragma once
// A scripted capture source: the test plays the platform thread with emitFrame/emitClosed,
// or, with ownThread, the source sends pool-sized frames from its own thread until closed.

#include "capture/CaptureSource.h"
#include "gpu/memory/MemoryTexture.h"

#include <atomic>
#include <thread>
#include <vector>

namespace lumivane::host {

class FakeCaptureSource final : public CaptureSource {
public:
    struct Script {
        CaptureSystemInfo info{"  X Server: Fake 1", "Fake capture", true};
        bool openSucceeds = true;
        bool startSucceeds = true;
        std::uint32_t itemWidth = 640;
        std::uint32_t itemHeight = 480;
        bool ownThread = false;
        // Own thread only: run around each frame handler.
        std::function<void()> beforeFrame;
        std::function<void()> afterFrame;
    };
    struct Record {
        int opens = 0;
        int starts = 0;
        int closes = 0;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> recreated;
    };

    // The record outlives the source, so tests can read it after the owner destroyed it.
    FakeCaptureSource(Script script, std::shared_ptr<Record> record);
    ~FakeCaptureSource() override;

    CaptureSystemInfo systemInfo() override { return script_.info; }
    bool open(WindowHandle window, std::uint32_t& width, std::uint32_t& height, std::string& error) override;
    bool start(std::uint32_t poolWidth, std::uint32_t poolHeight, FrameArrived onFrame, Closed onClosed,
               std::string& error) override;
    void recreate(std::uint32_t poolWidth, std::uint32_t poolHeight) override;
    void close() override;

    // A frame with the given content size; the pixels are the pool's.
    void emitFrame(std::uint32_t contentWidth, std::uint32_t contentHeight);
    void emitClosed();
    // The frame pixels; valid until the next recreate.
    MemoryTexture& pool() { return pool_; }

private:
    Script script_;
    std::shared_ptr<Record> record_;
    MemoryTexture pool_{1, 1};
    FrameArrived onFrame_;
    Closed onClosed_;
    std::atomic<bool> running_{false};
    std::thread thread_;

    void sendUntilClosed();
};

}  // namespace lumivane::host
