#pragma once
// Turns packets in an endpoint's mix format into interleaved int16 at the rate and channel
// count the encoder takes: samples decoded (float32, int16, int24, int32), channels mixed
// down (or a mono channel copied to both sides), the rate changed by linear interpolation
// that carries its phase from one packet to the next. Belongs to one thread.

#include "audio/AudioSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumivane::host {

class AudioConverter {
public:
    // Null, with one log line, when `from` cannot be converted (unknown sample layout,
    // no channels, more than eight without a layout naming each, a rate out of range).
    static std::unique_ptr<AudioConverter> create(const AudioFormat& from, uint32_t rate, uint32_t channels);

    // Converts `frameCount` frames of `data`; the result stays valid until the next call.
    // A packet may yield no frames (the rate conversion waits for the next sample).
    const int16_t* convert(const uint8_t* data, uint32_t frameCount, uint32_t& framesOut);

    // Forgets the previous packet, for a new start of the endpoint.
    void reset();

    // Weight of input channel `in` in output channel `out`.
    float weight(uint32_t out, uint32_t in) const { return matrix_[out * inChannels_ + in]; }

private:
    AudioConverter(const AudioFormat& from, uint32_t rate, uint32_t channels, std::vector<float> matrix);
    float sample(const uint8_t* frame, uint32_t channel) const;
    void mix(const uint8_t* data, uint32_t frameCount);
    uint32_t resample(uint32_t frameCount);

    const AudioFormat from_;
    const uint32_t inChannels_;
    const uint32_t outChannels_;
    const uint32_t bytesPerSample_;
    const double step_;  // input frames per output frame
    const std::vector<float> matrix_;  // outChannels_ x inChannels_
    std::vector<float> mixed_;  // the packet at the input rate, output channels
    std::vector<float> previous_;  // last mixed frame of the packet before
    const bool passThrough_;  // int16 already in the target format: copied as it is
    bool havePrevious_ = false;
    double position_ = 0;  // of the next output frame, in input frames after previous_
    std::vector<int16_t> out_;
};

}  // namespace lumivane::host
