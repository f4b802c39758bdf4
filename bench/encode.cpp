// Encode throughput on desktop-like frames: our conversion + encoder against libavcodec's
// libx264 with the same settings, and BGRA->I420 by libyuv against libswscale.

#include "encode/DesktopScene.h"
#include "encode/software/SoftwareEncoder.h"
#include "gpu/memory/MemoryGpuDevice.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}
#include <libyuv/convert.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace lumivane::host;

namespace {

constexpr int kFrames = 90;
constexpr int kScenes = 8;

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::vector<std::unique_ptr<Texture>> scenes(MemoryGpuDevice& device, int w, int h) {
    std::vector<std::unique_ptr<Texture>> out;
    lumivane::host::testing::DesktopScene scene(w, h);
    for (int i = 0; i < kScenes; ++i) {
        out.push_back(device.createTexture(w, h, TextureFormat::BGRA8));
        scene.render(i, out.back()->mappedPixels(), out.back()->stride());
    }
    return out;
}

double ours(MemoryGpuDevice& device, const std::vector<std::unique_ptr<Texture>>& frames, const EncoderConfig& c) {
    SoftwareEncoder encoder;
    if (!encoder.initialize(&device, c)) return -1;
    auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < kFrames; ++n) encoder.encodeFrame(frames[n % kScenes].get());
    return msSince(start) / kFrames;
}

double ffmpeg(const std::vector<std::unique_ptr<Texture>>& frames, const EncoderConfig& c) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) return -1;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = int(c.width);
    ctx->height = int(c.height);
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = {1, int(c.fps)};
    ctx->bit_rate = int64_t(c.bitrate) * 1000;
    ctx->rc_max_rate = int64_t(c.maxBitrate) * 1000;
    ctx->rc_buffer_size = int(int64_t(c.maxBitrate) * 1000 / c.fps);
    ctx->gop_size = int(c.gopLength);
    ctx->max_b_frames = 0;
    ctx->refs = 1;
    ctx->slices = int(c.sliceCount);
    ctx->thread_count = int(c.sliceCount);
    ctx->thread_type = FF_THREAD_SLICE;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    if (avcodec_open2(ctx, codec, nullptr) < 0) return -1;
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = ctx->width;
    frame->height = ctx->height;
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    SwsContext* sws = sws_getContext(ctx->width, ctx->height, AV_PIX_FMT_BGRA, ctx->width, ctx->height,
                                     AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < kFrames; ++n) {
        const uint8_t* src[1] = {frames[n % kScenes]->mappedPixels()};
        int stride[1] = {int(frames[n % kScenes]->stride())};
        av_frame_make_writable(frame);
        sws_scale(sws, src, stride, 0, ctx->height, frame->data, frame->linesize);
        frame->pts = n;
        avcodec_send_frame(ctx, frame);
        while (avcodec_receive_packet(ctx, packet) == 0) av_packet_unref(packet);
    }
    double ms = msSince(start) / kFrames;
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return ms;
}

void conversions(const std::vector<std::unique_ptr<Texture>>& frames, int w, int h, double& yuvMs, double& swsMs) {
    std::vector<uint8_t> y(size_t(w) * h), u(y.size() / 4), v(y.size() / 4);
    auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < kFrames; ++n) {
        const Texture& t = *frames[n % kScenes];
        libyuv::ARGBToI420(t.mappedPixels(), int(t.stride()), y.data(), w, u.data(), w / 2, v.data(), w / 2, w, h);
    }
    yuvMs = msSince(start) / kFrames;
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGRA, w, h, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                     nullptr, nullptr);
    uint8_t* dst[3] = {y.data(), u.data(), v.data()};
    int dstStride[3] = {w, w / 2, w / 2};
    start = std::chrono::steady_clock::now();
    for (int n = 0; n < kFrames; ++n) {
        const uint8_t* src[1] = {frames[n % kScenes]->mappedPixels()};
        int stride[1] = {int(frames[n % kScenes]->stride())};
        sws_scale(sws, src, stride, 0, h, dst, dstStride);
    }
    swsMs = msSince(start) / kFrames;
    sws_freeContext(sws);
}

}  // namespace

int main() {
    av_log_set_level(AV_LOG_ERROR);
    MemoryGpuDevice device;
    std::printf("%-10s %10s %8s %12s %8s %7s %10s %10s\n", "size", "ours ms", "fps", "ffmpeg ms", "fps",
                "ratio", "libyuv ms", "swscale ms");
    const int sizes[3][2] = {{1280, 720}, {1920, 1080}, {2560, 1440}};
    for (const auto& s : sizes) {
        EncoderConfig c;
        c.width = s[0];
        c.height = s[1];
        auto frames = scenes(device, s[0], s[1]);
        double mine = ours(device, frames, c);
        double theirs = ffmpeg(frames, c);
        double yuvMs = 0, swsMs = 0;
        conversions(frames, s[0], s[1], yuvMs, swsMs);
        std::string size = std::to_string(s[0]) + "x" + std::to_string(s[1]);
        if (theirs < 0) {
            std::printf("%-10s %10.2f %8.1f %12s %8s %7s %10.2f %10.2f\n", size.c_str(), mine, 1000 / mine,
                        "n/a", "", "", yuvMs, swsMs);
        } else {
            std::printf("%-10s %10.2f %8.1f %12.2f %8.1f %7.2f %10.2f %10.2f\n", size.c_str(), mine, 1000 / mine,
                        theirs, 1000 / theirs, theirs / mine, yuvMs, swsMs);
        }
    }
    return 0;
}
