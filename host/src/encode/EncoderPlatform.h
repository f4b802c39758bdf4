#pragma once
// What the machine offers: the encoder kinds a device can use, and their construction.
// Each platform supplies native(); tests pass their own.

#include "encode/EncoderBase.h"

#include <memory>
#include <vector>

namespace lumivane::host {

class EncoderPlatform {
public:
    virtual ~EncoderPlatform() = default;
    // Usable kinds for the device, logging one line per kind found.
    virtual std::vector<EncoderType> probe(GpuDevice* device) const = 0;
    // An uninitialised encoder, or null for a kind this platform has no implementation of.
    virtual std::unique_ptr<EncoderBase> construct(EncoderType type) const = 0;

    static const EncoderPlatform& native();
};

}  // namespace lumivane::host
