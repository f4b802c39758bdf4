#pragma once
// What /proc tells about a running process: resident memory, open descriptors, threads.

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace lumivane::soak {

struct ProcessSample {
    std::uint64_t rssKiB = 0;
    std::uint32_t descriptors = 0;
    std::uint32_t threads = 0;

    // Empty once the process is gone (or a zombie).
    static std::optional<ProcessSample> of(pid_t pid);
};

}  // namespace lumivane::soak
