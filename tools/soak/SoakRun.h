#pragma once
// One soak run: the host on the test display, the good client, a churn of bad ones, and
// samples of the host's memory, descriptors and threads until the time is up.

#include <chrono>
#include <cstdint>
#include <string>

namespace lumivane::soak {

struct SoakOptions {
    std::chrono::seconds duration{120};
    std::chrono::seconds sampleEvery{5};
    std::uint32_t seed = 1;
    // Resident growth allowed from the end of the warm-up to the end; checked only on runs
    // of ten minutes or more (shorter ones report it).
    double maxRssGrowthMiB = 5.0;
    std::string self;  // this program, started again for each churn action
};

// 0 when the host survived, kept its descriptors and never kept the good client waiting
// for more than a second; 1 otherwise (the reasons are printed).
int runSoak(const SoakOptions& options);

}  // namespace lumivane::soak
