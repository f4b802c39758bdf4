#include "encode/software/SoftwareEncoder.h"

#include "core/Logging.h"

#include <libyuv/convert.h>
#include <libyuv/planar_functions.h>
#include <x264.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

namespace lumivane::host {
namespace {

// Shared by every instance so the first-frame diagnostic appears once per process.
std::atomic<std::uint64_t> outputCounter{0};

void logFromX264(void*, int level, const char* format, va_list args) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    std::string text(line);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    if (level <= X264_LOG_ERROR) {
        LV_ERROR("x264: {}", text);
    } else {
        LV_WARN("x264: {}", text);
    }
}

// x264 refuses a peak below the target; the target wins so the stream keeps its rate.
std::uint32_t peakRate(std::uint32_t bitrate, std::uint32_t maxBitrate) {
    return std::max(bitrate, maxBitrate);
}

// One frame at peak rate, never an empty buffer.
std::uint32_t vbvBufferKbit(std::uint32_t peak, std::uint32_t fps) { return std::max(1u, peak / fps); }

void applyRate(x264_param_t& param, std::uint32_t bitrate, std::uint32_t maxBitrate, std::uint32_t fps) {
    std::uint32_t target = std::max(1u, bitrate);
    std::uint32_t peak = peakRate(target, maxBitrate);
    param.rc.i_rc_method = X264_RC_ABR;
    param.rc.i_bitrate = static_cast<int>(std::min<std::uint32_t>(target, INT32_MAX));
    param.rc.i_vbv_max_bitrate = static_cast<int>(std::min<std::uint32_t>(peak, INT32_MAX));
    param.rc.i_vbv_buffer_size = static_cast<int>(std::min<std::uint32_t>(vbvBufferKbit(peak, fps), INT32_MAX));
}

std::int64_t nowMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

struct SoftwareEncoder::Picture {
    x264_picture_t in{};
    Picture() = default;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    ~Picture() { x264_picture_clean(&in); }
};

void SoftwareEncoder::X264Closer::operator()(x264_t* encoder) const { x264_encoder_close(encoder); }

SoftwareEncoder::SoftwareEncoder(std::string preset) : preset_(std::move(preset)) {}

SoftwareEncoder::~SoftwareEncoder() { shutdown(); }

bool SoftwareEncoder::acceptsConfig(const EncoderConfig& config) const {
    if (isHevcCodec(config.codec)) {
        LV_ERROR("Software encoder supports H.264 only, not {}", config.codec);
        return false;
    }
    if (config.width == 0 || config.height == 0 || config.width % 2 != 0 || config.height % 2 != 0 ||
        config.width > 16384 || config.height > 16384) {
        LV_ERROR("Software encoder cannot encode {}x{}: sides must be even and 2..16384", config.width,
                 config.height);
        return false;
    }
    return true;
}

bool SoftwareEncoder::initialize(GpuDevice* device, const EncoderConfig& config) {
    if (initialized_) {
        LV_WARN("Software encoder already initialized");
        return true;
    }
    if (!acceptsConfig(config)) return false;
    device_ = device;
    config_ = config;
    config_.fps = std::max(1u, config_.fps);
    config_.gopLength = std::max(1u, config_.gopLength);
    if (!openEncoder()) return false;
    initialized_ = true;
    LV_INFO("Software encoder initialized: {}x{} @ {} kbps, {} fps, preset {}", config_.width,
            config_.height, config_.bitrate, config_.fps, preset_);
    return true;
}

bool SoftwareEncoder::openEncoder() {
    x264_param_t param;
    if (x264_param_default_preset(&param, preset_.c_str(), "zerolatency") < 0) {
        LV_ERROR("Unknown x264 preset {}", preset_);
        return false;
    }
    param.pf_log = logFromX264;
    param.i_log_level = X264_LOG_WARNING;
    param.i_csp = X264_CSP_I420;
    param.i_width = static_cast<int>(config_.width);
    param.i_height = static_cast<int>(config_.height);
    param.i_fps_num = config_.fps;
    param.i_fps_den = 1;
    param.b_vfr_input = 0;
    param.i_bframe = 0;
    param.i_frame_reference = 1;
    param.rc.i_lookahead = 0;
    param.i_sync_lookahead = 0;
    param.rc.b_mb_tree = 0;
    param.i_keyint_max = static_cast<int>(config_.gopLength);
    param.i_keyint_min = static_cast<int>(config_.gopLength);
    param.i_scenecut_threshold = 0;
    param.b_intra_refresh = 0;
    param.b_open_gop = 0;
    param.b_repeat_headers = 1;
    param.b_annexb = 1;
    param.b_aud = 0;
    param.b_sliced_threads = 1;
    // Sliced threads cut one slice per thread, so the thread count sets the slice count.
    // More threads than cores only wait on each other (and on the capture) for a core.
    const std::uint32_t cores = std::max(1u, std::thread::hardware_concurrency());
    param.i_threads = static_cast<int>(config_.sliceEncoding ? std::clamp(config_.sliceCount, 1u, std::min(cores, 64u))
                                                             : cores);
    param.i_slice_count = param.i_threads;
    applyRate(param, config_.bitrate, config_.maxBitrate, config_.fps);

    encoder_.reset(x264_encoder_open(&param));
    if (!encoder_) {
        LV_ERROR("x264_encoder_open failed for {}x{}", config_.width, config_.height);
        return false;
    }
    picture_ = std::make_unique<Picture>();
    if (x264_picture_alloc(&picture_->in, X264_CSP_I420, param.i_width, param.i_height) < 0) {
        LV_ERROR("Failed to allocate {}x{} I420 picture", config_.width, config_.height);
        picture_.reset();
        encoder_.reset();
        return false;
    }
    fillBlack();
    return true;
}

// Limited-range black, what the conversion makes of opaque black.
void SoftwareEncoder::fillBlack() {
    x264_image_t& img = picture_->in.img;
    const int width = static_cast<int>(config_.width), height = static_cast<int>(config_.height);
    libyuv::SetPlane(img.plane[0], img.i_stride[0], width, height, 16);
    libyuv::SetPlane(img.plane[1], img.i_stride[1], (width + 1) / 2, (height + 1) / 2, 128);
    libyuv::SetPlane(img.plane[2], img.i_stride[2], (width + 1) / 2, (height + 1) / 2, 128);
    contentWidth_ = contentHeight_ = 0;
}

void SoftwareEncoder::shutdown() {
    if (!initialized_) return;
    LV_INFO("Shutting down Software encoder...");
    encoder_.reset();
    picture_.reset();
    device_ = nullptr;
    initialized_ = false;
}

// Straight from the texture's memory (for a capture, what the X server wrote) into the
// top-left of the picture; the rest of the picture stays black.
bool SoftwareEncoder::convert(const Texture& texture) {
    const std::uint8_t* pixels = texture.mappedPixels();
    if (pixels == nullptr || texture.width() == 0 || texture.height() == 0 || texture.width() > config_.width ||
        texture.height() > config_.height || texture.stride() < texture.width() * 4) {
        LV_ERROR("Software encoder needs a texture in system memory of at most {}x{}, got {}x{}", config_.width,
                 config_.height, texture.width(), texture.height());
        return false;
    }
    // A smaller frame than the last leaves its old pixels in the margin.
    if (texture.width() < contentWidth_ || texture.height() < contentHeight_) fillBlack();
    contentWidth_ = texture.width();
    contentHeight_ = texture.height();
    x264_image_t& img = picture_->in.img;
    // libyuv's ARGB is B, G, R, A in memory: the texture's BGRA. Alpha is not read.
    int rc = libyuv::ARGBToI420(pixels, static_cast<int>(texture.stride()), img.plane[0], img.i_stride[0],
                                img.plane[1], img.i_stride[1], img.plane[2], img.i_stride[2],
                                static_cast<int>(contentWidth_), static_cast<int>(contentHeight_));
    if (rc != 0) {
        LV_ERROR("BGRA to I420 conversion failed: {}", rc);
        return false;
    }
    return true;
}

bool SoftwareEncoder::encodeFrame(Texture* texture) {
    if (!initialized_ || texture == nullptr) return false;
    auto start = std::chrono::steady_clock::now();
    if (!convert(*texture)) return false;

    x264_picture_t& in = picture_->in;
    in.i_type = keyframeRequested_.exchange(false) ? X264_TYPE_IDR : X264_TYPE_AUTO;
    in.i_pts = frameCounter_;
    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    x264_picture_t out;
    int size = x264_encoder_encode(encoder_.get(), &nals, &nalCount, &in, &out);
    if (size < 0) {
        LV_ERROR("x264_encoder_encode failed: {}", size);
        return false;
    }
    // x264 lays the NAL units of one picture out back to back, so they form the access unit.
    if (size > 0 && nalCount > 0) deliver(nals[0].p_payload, static_cast<std::size_t>(size), out.i_type == X264_TYPE_IDR);

    auto elapsed = std::chrono::steady_clock::now() - start;
    recordFrame(std::chrono::duration<double, std::milli>(elapsed).count());
    ++frameCounter_;
    return true;
}

void SoftwareEncoder::deliver(const std::uint8_t* data, std::size_t size, bool keyframe) {
    if (keyframe) parameterSets_.extractParameterSets(data, size, false);
    {
        std::lock_guard<std::mutex> lock(statsMutex_);
        stats_.bytesEncoded += size;
    }
    if (outputCounter.fetch_add(1) == 0) {
        LV_INFO("First encoded frame: {} bytes, keyframe={}, NAL={}", size, keyframe,
                describeNalType(data, size));
    }
    if (frameCallback_) {
        EncodedFrame frame{data, size, nowMicros(), keyframe, frameCounter_};
        frameCallback_(frame);
    }
}

void SoftwareEncoder::recordFrame(double elapsedMs) {
    std::lock_guard<std::mutex> lock(statsMutex_);
    stats_.framesEncoded += 1;
    stats_.averageEncodeTimeMs = stats_.averageEncodeTimeMs * 0.95 + elapsedMs * 0.05;
}

void SoftwareEncoder::setBitrate(std::uint32_t bitrateKbps, std::uint32_t maxBitrateKbps) {
    if (!initialized_) return;
    x264_param_t param;
    x264_encoder_parameters(encoder_.get(), &param);
    applyRate(param, bitrateKbps, maxBitrateKbps, config_.fps);
    int rc = x264_encoder_reconfig(encoder_.get(), &param);
    if (rc < 0) {
        LV_WARN("Failed to reconfigure bitrate: {}", rc);
        return;
    }
    config_.bitrate = bitrateKbps;
    config_.maxBitrate = maxBitrateKbps;
    LV_INFO("Bitrate updated to {} / {} kbps", bitrateKbps, maxBitrateKbps);
}

bool SoftwareEncoder::reconfigure(const EncoderConfig& config) {
    if (!initialized_) {
        LV_ERROR("Software encoder not initialized, cannot reconfigure");
        return false;
    }
    if (config.width != config_.width || config.height != config_.height) {
        LV_WARN("Resolution change requires re-initialization");
        return false;
    }
    setBitrate(config.bitrate, config.maxBitrate);
    return true;
}

EncoderStats SoftwareEncoder::getStats() const {
    std::lock_guard<std::mutex> lock(statsMutex_);
    return stats_;
}

CodecConfig SoftwareEncoder::getCodecConfig() const { return parameterSets_.codecConfig(); }

}  // namespace lumivane::host
