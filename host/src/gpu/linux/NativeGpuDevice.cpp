// Linux captures and encodes on the CPU: frames live in system memory.
#include "gpu/memory/MemoryGpuDevice.h"
#include "core/Logging.h"

namespace lumivane::host {

std::unique_ptr<GpuDevice> GpuDevice::create() {
    LV_INFO("Using system-memory frame device");
    return std::make_unique<MemoryGpuDevice>();
}

}  // namespace lumivane::host
