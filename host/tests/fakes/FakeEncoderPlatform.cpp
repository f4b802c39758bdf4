#include "fakes/FakeEncoderPlatform.h"

namespace lumivane::host {

std::unique_ptr<EncoderBase> FakeEncoderPlatform::construct(EncoderType) const {
    auto encoder = std::make_unique<FakeEncoder>();
    encoder->failInitialize = failInitialize;
    encoder->inspectFrame = inspectFrame;
    encoder->onShutdown = onShutdown;
    built.push_back(encoder.get());
    return encoder;
}

}  // namespace lumivane::host
