#pragma once
// Creates and initialises the best encoder the platform offers for a device.

#include "encode/EncoderPlatform.h"

#include <memory>
#include <vector>

namespace lumivane::host {

class EncoderFactory {
public:
    static std::vector<EncoderType> getAvailableEncoders(GpuDevice* device);
    // Null (after its log line) when the kind has no implementation or does not initialise.
    static std::unique_ptr<EncoderBase> createEncoder(EncoderType type, GpuDevice* device,
                                                      const EncoderConfig& config);
    static std::unique_ptr<EncoderBase> createBestEncoder(GpuDevice* device, const EncoderConfig& config);

    static std::vector<EncoderType> getAvailableEncoders(const EncoderPlatform& platform, GpuDevice* device);
    static std::unique_ptr<EncoderBase> createEncoder(const EncoderPlatform& platform, EncoderType type,
                                                      GpuDevice* device, const EncoderConfig& config);
    static std::unique_ptr<EncoderBase> createBestEncoder(const EncoderPlatform& platform, GpuDevice* device,
                                                          const EncoderConfig& config);
};

}  // namespace lumivane::host
