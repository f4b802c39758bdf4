#include "fakes/FakeCaptureSource.h"

namespace lumivane::host {

FakeCaptureSource::FakeCaptureSource(Script script, std::shared_ptr<Record> record)
    : script_(std::move(script)), record_(std::move(record)) {}

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
    return true;
}

void FakeCaptureSource::recreate(std::uint32_t poolWidth, std::uint32_t poolHeight) {
    record_->recreated.emplace_back(poolWidth, poolHeight);
    pool_ = MemoryTexture(poolWidth, poolHeight);
}

void FakeCaptureSource::close() {
    ++record_->closes;
    running_ = false;
}

void FakeCaptureSource::emitFrame(std::uint32_t contentWidth, std::uint32_t contentHeight) {
    if (running_ && onFrame_) onFrame_(pool_, contentWidth, contentHeight);
}

void FakeCaptureSource::emitClosed() {
    if (running_ && onClosed_) onClosed_();
}

}  // namespace lumivane::host
