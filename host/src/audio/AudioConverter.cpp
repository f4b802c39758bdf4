#include "audio/AudioConverter.h"

#include "core/Logging.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace lumivane::host {

namespace {

constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 384000;
constexpr uint32_t kMaxDefaultLayout = 8;

// Speaker positions in the order their bits interleave (WAVEFORMATEXTENSIBLE's channel
// mask), with their share of the left and right side of a stereo mix.
struct Speaker {
    float left;
    float right;
};
constexpr float kSide = 0.7071f;  // -3 dB
constexpr Speaker kSpeakers[] = {
    {1, 0},         {0, 1},        {kSide, kSide}, {0, 0},        // front L, R, centre, LFE
    {kSide, 0},     {0, kSide},    {1, 0},         {0, 1},        // back L, R, front L/R of centre
    {0.5f, 0.5f},   {kSide, 0},    {0, kSide},     {0.5f, 0.5f},  // back centre, side L, R, top centre
    {kSide, 0},     {0.5f, 0.5f},  {0, kSide},                    // top front L, C, R
    {kSide, 0},     {0.5f, 0.5f},  {0, kSide},                    // top back L, C, R
};
constexpr Speaker kUnknownSpeaker{0.5f, 0.5f};

// The usual layouts when the endpoint names none: mono, stereo, 2.1... 7.1.
uint32_t defaultMask(uint32_t channels) {
    constexpr uint32_t masks[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
    return channels <= kMaxDefaultLayout ? masks[channels] : 0;
}

std::vector<Speaker> speakersOf(const AudioFormat& f) {
    uint32_t mask = f.channelMask ? f.channelMask : defaultMask(f.channels);
    std::vector<Speaker> speakers;
    for (uint32_t bit = 0; bit < 32 && speakers.size() < f.channels; ++bit) {
        if (!(mask & (1u << bit))) continue;
        speakers.push_back(bit < std::size(kSpeakers) ? kSpeakers[bit] : kUnknownSpeaker);
    }
    speakers.resize(f.channels, kUnknownSpeaker);
    return speakers;
}

// Rows of output channels; a side whose weights add up to more than one is scaled down so
// that a full-scale signal on every speaker does not clip.
std::vector<float> mixMatrix(const AudioFormat& from, uint32_t outChannels) {
    const uint32_t in = from.channels;
    std::vector<float> matrix(std::size_t{outChannels} * in, 0.0f);
    if (in == outChannels) {
        for (uint32_t c = 0; c < in; ++c) matrix[c * in + c] = 1.0f;
        return matrix;
    }
    if (in == 1) {
        std::fill(matrix.begin(), matrix.end(), 1.0f);
        return matrix;
    }
    const std::vector<Speaker> speakers = speakersOf(from);
    for (uint32_t c = 0; c < in; ++c) {
        if (outChannels == 1) {
            matrix[c] = (speakers[c].left + speakers[c].right) / 2;
        } else {
            matrix[c] = speakers[c].left;
            matrix[in + c] = speakers[c].right;
        }
    }
    for (uint32_t o = 0; o < outChannels; ++o) {
        float* row = matrix.data() + std::size_t{o} * in;
        float sum = 0;
        for (uint32_t c = 0; c < in; ++c) sum += row[c];
        if (sum > 1.0f) std::for_each(row, row + in, [sum](float& w) { w /= sum; });
    }
    return matrix;
}

bool decodable(const AudioFormat& f) {
    if (f.sampleType == SampleType::Float) return f.bitsPerSample == 32;
    return f.bitsPerSample == 16 || f.bitsPerSample == 24 || f.bitsPerSample == 32;
}

}  // namespace

std::unique_ptr<AudioConverter> AudioConverter::create(const AudioFormat& from, uint32_t rate, uint32_t channels) {
    const char* problem = nullptr;
    if (!decodable(from)) {
        problem = "sample layout";
    } else if (from.channels == 0 || (from.channels > kMaxDefaultLayout && static_cast<uint32_t>(std::popcount(from.channelMask)) < from.channels)) {
        problem = "channel layout";
    } else if (from.sampleRate < kMinRate || from.sampleRate > kMaxRate) {
        problem = "sample rate";
    } else if (channels == 0 || channels > 2 || rate < kMinRate || rate > kMaxRate) {
        problem = "target";
    }
    if (problem) {
        LV_ERROR("Audio format not supported ({}): {} Hz, {} channels, {}-bit {}; audio stays off", problem,
                 from.sampleRate, from.channels, from.bitsPerSample,
                 from.sampleType == SampleType::Float ? "float" : "integer");
        return nullptr;
    }
    return std::unique_ptr<AudioConverter>(new AudioConverter(from, rate, channels, mixMatrix(from, channels)));
}

AudioConverter::AudioConverter(const AudioFormat& from, uint32_t rate, uint32_t channels, std::vector<float> matrix)
    : from_(from),
      inChannels_(from.channels),
      outChannels_(channels),
      bytesPerSample_(from.bitsPerSample / 8),
      step_(static_cast<double>(from.sampleRate) / rate),
      matrix_(std::move(matrix)),
      previous_(channels, 0.0f),
      passThrough_(from.sampleType == SampleType::Integer && from.bitsPerSample == 16 && from.channels == channels &&
                   from.sampleRate == rate) {}

void AudioConverter::reset() {
    havePrevious_ = false;
    position_ = 0;
}

float AudioConverter::sample(const uint8_t* frame, uint32_t channel) const {
    const uint8_t* p = frame + std::size_t{channel} * bytesPerSample_;
    if (from_.sampleType == SampleType::Float) {
        float v;
        std::memcpy(&v, p, sizeof v);
        return std::isfinite(v) ? v : 0.0f;
    }
    switch (bytesPerSample_) {
    case 2: {
        int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v / 32768.0f;
    }
    case 3: {
        const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                               static_cast<uint32_t>(p[2]) << 24);
        return static_cast<float>(v / 2147483648.0);
    }
    default: {
        int32_t v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<float>(v / 2147483648.0);
    }
    }
}

void AudioConverter::mix(const uint8_t* data, uint32_t frameCount) {
    // Grows only for a packet longer than any before it.
    if (mixed_.size() < std::size_t{frameCount} * outChannels_) mixed_.resize(std::size_t{frameCount} * outChannels_);
    const std::size_t frameBytes = std::size_t{inChannels_} * bytesPerSample_;
    float* out = mixed_.data();
    for (uint32_t f = 0; f < frameCount; ++f) {
        const uint8_t* frame = data + f * frameBytes;
        for (uint32_t o = 0; o < outChannels_; ++o) {
            const float* row = matrix_.data() + std::size_t{o} * inChannels_;
            float v = 0;
            for (uint32_t c = 0; c < inChannels_; ++c) {
                if (row[c] != 0.0f) v += row[c] * sample(frame, c);
            }
            *out++ = v;
        }
    }
}

// Linear interpolation between the input frames around each output frame's time; the
// frame before this packet's first is the previous packet's last.
uint32_t AudioConverter::resample(uint32_t frameCount) {
    const std::size_t most = static_cast<std::size_t>(frameCount / step_) + 2;
    if (out_.size() < most * outChannels_) out_.resize(most * outChannels_);
    uint32_t produced = 0;
    const double last = static_cast<double>(frameCount) - 1;
    while (true) {
        const double whole = std::floor(position_);
        if (whole + 1 > last || (whole < 0 && !havePrevious_)) break;
        const auto i = static_cast<int64_t>(whole);
        const float t = static_cast<float>(position_ - whole);
        const float* a = i < 0 ? previous_.data() : mixed_.data() + static_cast<std::size_t>(i) * outChannels_;
        const float* b = mixed_.data() + static_cast<std::size_t>(i + 1) * outChannels_;
        int16_t* o = out_.data() + std::size_t{produced} * outChannels_;
        for (uint32_t c = 0; c < outChannels_; ++c) {
            o[c] = static_cast<int16_t>(std::clamp(a[c] + (b[c] - a[c]) * t, -1.0f, 1.0f) * 32767.0f);
        }
        ++produced;
        position_ += step_;
    }
    position_ -= frameCount;
    std::copy_n(mixed_.data() + std::size_t{frameCount - 1} * outChannels_, outChannels_, previous_.begin());
    havePrevious_ = true;
    return produced;
}

const int16_t* AudioConverter::convert(const uint8_t* data, uint32_t frameCount, uint32_t& framesOut) {
    framesOut = 0;
    if (frameCount == 0 || !data) return out_.data();
    if (passThrough_) {
        const std::size_t count = std::size_t{frameCount} * outChannels_;
        if (out_.size() < count) out_.resize(count);
        std::memcpy(out_.data(), data, count * sizeof(int16_t));
        framesOut = frameCount;
        return out_.data();
    }
    mix(data, frameCount);
    if (step_ != 1.0) {
        framesOut = resample(frameCount);
        return out_.data();
    }
    const std::size_t count = std::size_t{frameCount} * outChannels_;
    if (out_.size() < count) out_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        out_[i] = static_cast<int16_t>(std::clamp(mixed_[i], -1.0f, 1.0f) * 32767.0f);
    }
    framesOut = frameCount;
    return out_.data();
}

}  // namespace lumivane::host
