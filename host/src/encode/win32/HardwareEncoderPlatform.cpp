// The Windows platform offers the GPU vendors' encoders only; until they are built in it
// finds none, and every stream fails as on a PC without a supported GPU.
#include "encode/EncoderPlatform.h"

namespace lumivane::host {
namespace {

class HardwareEncoderPlatform final : public EncoderPlatform {
public:
    std::vector<EncoderType> probe(GpuDevice*) const override { return {}; }
    std::unique_ptr<EncoderBase> construct(EncoderType) const override { return nullptr; }
};

}  // namespace

const EncoderPlatform& EncoderPlatform::native() {
    static const HardwareEncoderPlatform platform;
    return platform;
}

}  // namespace lumivane::host
