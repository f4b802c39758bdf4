// The CPU platform: libx264 is linked in, so the software encoder is always there.
#include "encode/EncoderPlatform.h"
#include "encode/software/SoftwareEncoder.h"
#include "core/Logging.h"

namespace lumivane::host {
namespace {

class SoftwareEncoderPlatform final : public EncoderPlatform {
public:
    std::vector<EncoderType> probe(GpuDevice*) const override {
        LV_INFO("Software encoder available");
        return {EncoderType::Software};
    }
    std::unique_ptr<EncoderBase> construct(EncoderType type) const override {
        if (type != EncoderType::Software) return nullptr;
        return std::make_unique<SoftwareEncoder>();
    }
};

}  // namespace

const EncoderPlatform& EncoderPlatform::native() {
    static const SoftwareEncoderPlatform platform;
    return platform;
}

}  // namespace lumivane::host
