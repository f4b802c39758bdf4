#include "encode/EncoderFactory.h"

#include "core/Logging.h"

#include <algorithm>
#include <array>

namespace lumivane::host {
namespace {

constexpr std::array<EncoderType, 4> kPreferenceOrder = {EncoderType::NVENC, EncoderType::AMF,
                                                         EncoderType::QuickSync, EncoderType::Software};

}  // namespace

std::vector<EncoderType> EncoderFactory::getAvailableEncoders(GpuDevice* device) {
    return getAvailableEncoders(EncoderPlatform::native(), device);
}

std::unique_ptr<EncoderBase> EncoderFactory::createEncoder(EncoderType type, GpuDevice* device,
                                                           const EncoderConfig& config) {
    return createEncoder(EncoderPlatform::native(), type, device, config);
}

std::unique_ptr<EncoderBase> EncoderFactory::createBestEncoder(GpuDevice* device, const EncoderConfig& config) {
    return createBestEncoder(EncoderPlatform::native(), device, config);
}

std::vector<EncoderType> EncoderFactory::getAvailableEncoders(const EncoderPlatform& platform,
                                                              GpuDevice* device) {
    std::vector<EncoderType> kinds = platform.probe(device);
    if (kinds.empty()) LV_WARN("No hardware encoders available");
    return kinds;
}

std::unique_ptr<EncoderBase> EncoderFactory::createEncoder(const EncoderPlatform& platform, EncoderType type,
                                                           GpuDevice* device, const EncoderConfig& config) {
    std::unique_ptr<EncoderBase> encoder = platform.construct(type);
    if (!encoder) {
        LV_ERROR("Encoder type {} not available", encoderTypeName(type));
        return nullptr;
    }
    if (!encoder->initialize(device, config)) {
        LV_ERROR("Failed to initialize {} encoder", encoderTypeName(type));
        return nullptr;
    }
    LV_INFO("Created {} encoder", encoderTypeName(type));
    return encoder;
}

std::unique_ptr<EncoderBase> EncoderFactory::createBestEncoder(const EncoderPlatform& platform,
                                                               GpuDevice* device, const EncoderConfig& config) {
    std::vector<EncoderType> available = getAvailableEncoders(platform, device);
    for (EncoderType kind : kPreferenceOrder) {
        if (std::find(available.begin(), available.end(), kind) == available.end()) continue;
        std::unique_ptr<EncoderBase> encoder = createEncoder(platform, kind, device, config);
        if (encoder && encoder->isInitialized()) return encoder;
    }
    LV_ERROR("Failed to create any hardware encoder");
    return nullptr;
}

}  // namespace lumivane::host
