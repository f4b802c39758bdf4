#pragma once
// An encoder platform that offers the kinds a test names and builds FakeEncoders for them.

#include "encode/EncoderPlatform.h"
#include "fakes/FakeEncoder.h"

#include <functional>
#include <vector>

namespace lumivane::host {

class FakeEncoderPlatform final : public EncoderPlatform {
public:
    std::vector<EncoderType> probe(GpuDevice*) const override { return kinds; }
    std::unique_ptr<EncoderBase> construct(EncoderType type) const override;

    // Script.
    std::vector<EncoderType> kinds{EncoderType::Software};
    bool failInitialize = false;                       // for every encoder built from now on
    std::function<void(const Texture&)> inspectFrame;  // given to every encoder built
    std::function<void()> onShutdown;                  // likewise

    // Every encoder built, oldest first. Only those still owned by someone are valid.
    mutable std::vector<FakeEncoder*> built;
};

}  // namespace lumivane::host
