#include "VideoDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace lumivane::client {

namespace {

std::string averror(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

VideoDecoder::~VideoDecoder() {
    sws_freeContext(scaler_);
    av_frame_free(&received_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
}

bool VideoDecoder::open(std::string& error) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        error = "this libavcodec has no H.264 decoder";
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    received_ = av_frame_alloc();
    if (!context_ || !packet_ || !frame_ || !received_) {
        error = "out of memory for the H.264 decoder";
        return false;
    }
    // Failures come back as return codes and are reported once; the library's own lines
    // (such as "no frame!" for a unit of parameter sets alone) would only add noise.
    av_log_set_level(AV_LOG_FATAL);
    // One thread and low delay: each access unit yields its picture at once.
    context_->thread_count = 1;
    context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    const int rc = avcodec_open2(context_, codec, nullptr);
    if (rc < 0) {
        error = "cannot open the H.264 decoder: " + averror(rc);
        return false;
    }
    return true;
}

bool VideoDecoder::send(const std::uint8_t* data, std::size_t size, std::string& error) {
    padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(padded_.data(), data, size);
    std::memset(padded_.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->data = padded_.data();
    packet_->size = static_cast<int>(size);
    const int rc = avcodec_send_packet(context_, packet_);
    if (rc < 0) {
        error = "decoder rejected the access unit: " + averror(rc);
        return false;
    }
    return true;
}

void VideoDecoder::setParameterSets(const std::vector<std::uint8_t>& sps, const std::vector<std::uint8_t>& pps) {
    if (!context_ || (sps.empty() && pps.empty())) return;
    std::vector<std::uint8_t> annexB;
    for (const auto* nal : {&sps, &pps}) {
        if (nal->empty()) continue;
        annexB.insert(annexB.end(), {0, 0, 0, 1});
        annexB.insert(annexB.end(), nal->begin(), nal->end());
    }
    std::string ignored;
    bool got = false;
    if (send(annexB.data(), annexB.size(), ignored)) receive(got);
}

int VideoDecoder::receive(bool& got) {
    int rc = 0;
    while ((rc = avcodec_receive_frame(context_, received_)) == 0) {
        av_frame_unref(frame_);
        av_frame_move_ref(frame_, received_);
        got = true;
        havePicture_ = true;
    }
    return rc;
}

bool VideoDecoder::decode(const std::uint8_t* data, std::size_t size, std::string& error) {
    if (!context_) {
        error = "decoder not open";
        return false;
    }
    if (!send(data, size, error)) return false;
    bool got = false;
    const int rc = receive(got);
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
        error = "decoding failed: " + averror(rc);
        return false;
    }
    return got;
}

int VideoDecoder::width() const { return havePicture_ ? frame_->width : 0; }
int VideoDecoder::height() const { return havePicture_ ? frame_->height : 0; }

VideoDecoder::Luma VideoDecoder::luma() const {
    if (!havePicture_) return {};
    return {frame_->data[0], frame_->linesize[0], frame_->width, frame_->height};
}

bool VideoDecoder::pictureBgra(std::vector<std::uint8_t>& out) {
    if (!havePicture_) return false;
    const int w = frame_->width, h = frame_->height;
    scaler_ = sws_getCachedContext(scaler_, w, h, static_cast<AVPixelFormat>(frame_->format), w, h, AV_PIX_FMT_BGRA,
                                   SWS_POINT, nullptr, nullptr, nullptr);
    if (!scaler_) return false;
    out.resize(static_cast<std::size_t>(w) * h * 4);
    std::uint8_t* planes[4] = {out.data(), nullptr, nullptr, nullptr};
    int strides[4] = {w * 4, 0, 0, 0};
    return sws_scale(scaler_, frame_->data, frame_->linesize, 0, h, planes, strides) == h;
}

}  // namespace lumivane::client
