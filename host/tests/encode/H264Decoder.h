#pragma once
// Decodes access units with libavcodec and measures them against an I420 reference.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace lumivane::host::testing {

struct I420 {
    int width = 0, height = 0;
    std::vector<std::uint8_t> y, u, v;
};

class H264Decoder {
public:
    H264Decoder() {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        context_ = avcodec_alloc_context3(codec);
        context_->thread_count = 1;
        context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
        avcodec_open2(context_, codec, nullptr);
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
    }
    ~H264Decoder() {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&context_);
    }
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // The picture of one access unit, or false when the decoder rejects it or holds it back.
    bool decode(const std::uint8_t* data, std::size_t size, I420& out) {
        std::vector<std::uint8_t> padded(data, data + size);
        padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        packet_->data = padded.data();
        packet_->size = static_cast<int>(size);
        if (avcodec_send_packet(context_, packet_) < 0) return false;
        if (avcodec_receive_frame(context_, frame_) < 0) return false;
        copyOut(out);
        av_frame_unref(frame_);
        return true;
    }

private:
    static void copyPlane(const AVFrame* f, int plane, int w, int h, std::vector<std::uint8_t>& dst) {
        dst.resize(static_cast<std::size_t>(w) * h);
        for (int r = 0; r < h; ++r) {
            const std::uint8_t* src = f->data[plane] + static_cast<std::ptrdiff_t>(r) * f->linesize[plane];
            std::copy(src, src + w, dst.begin() + static_cast<std::ptrdiff_t>(r) * w);
        }
    }
    void copyOut(I420& out) const {
        out.width = frame_->width;
        out.height = frame_->height;
        copyPlane(frame_, 0, out.width, out.height, out.y);
        copyPlane(frame_, 1, out.width / 2, out.height / 2, out.u);
        copyPlane(frame_, 2, out.width / 2, out.height / 2, out.v);
    }

    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
};

// PSNR over all three planes together, in dB.
inline double psnr(const I420& a, const I420& b) {
    double sum = 0;
    std::size_t count = 0;
    auto add = [&](const std::vector<std::uint8_t>& p, const std::vector<std::uint8_t>& q) {
        for (std::size_t i = 0; i < p.size() && i < q.size(); ++i) {
            double d = double(p[i]) - double(q[i]);
            sum += d * d;
        }
        count += p.size();
    };
    add(a.y, b.y);
    add(a.u, b.u);
    add(a.v, b.v);
    double mse = sum / double(count);
    return mse == 0 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace lumivane::host::testing
