#include "fakes/FakeCaptureSource.h"

namespace lumivane::host {

FakeCaptureSource::FakeCaptureSource(Script script, std::shared_ptr<Record> record)
    : script_(std::move(script)), record_(std::move(record)) {}

FakeCaptureSource::~FakeCaptureSource() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
}

bool FakeCaptureSource::open(WindowHandle, std::uint32_t& width, std::uint32_t& height, std::string& error) {
    ++record_->opens;
    if (!script_.openSucceeds) {
        error = "Failed to create capture item for window";
        return false;
    }
    width = script_.itemWidth;
    height = script_.itemHeight;
    return true;
}

bool FakeCaptureSource::start(std::uint32_t poolWidth, std::uint32_t poolHeight, FrameArrived onFrame,
                              Closed onClosed, std::string& error) {
    ++record_->starts;
    if (!script_.startSucceeds) {
        error = "scripted start failure";
        return false;
    }
    pool_ = MemoryTexture(poolWidth, poolHeight);
    onFrame_ = std::move(onFrame);
    onClosed_ = std::move(onClosed);
    running_ = true;
    if (script_.ownThread) thread_ = std::thread([this] { sendUntilClosed(); });
    return true;
}

// No pacing: the point is to keep frames in flight while the owner stops the capture.
void FakeCaptureSource::sendUntilClosed() {
    while (running_) {
        if (script_.beforeFrame) script_.beforeFrame();
        onFrame_(pool_, pool_.width(), pool_.height());
        if (script_.afterFrame) script_.afterFrame();
        std::this_thread::yield();
    }
}

void FakeCaptureSource::recreate(std::uint32_t poolWidth, std::uint32_t poolHeight) {
    record_->recreated.emplace_back(poolWidth, poolHeight);
    pool_ = MemoryTexture(poolWidth, poolHeight);
}

void FakeCaptureSource::close() {
    ++record_->closes;
    running_ = false;
    // Like a real source: from another thread, wait until no frame handler runs.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void FakeCaptureSource::emitFrame(std::uint32_t contentWidth, std::uint32_t contentHeight) {
    if (running_ && onFrame_) onFrame_(pool_, contentWidth, contentHeight);
}

void FakeCaptureSource::emitClosed() {
    if (running_ && onClosed_) onClosed_();
}

}  // namespace lumivane::host
