#include "ProcessSample.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lumivane::soak {

std::optional<ProcessSample> ProcessSample::of(pid_t pid) {
    const std::filesystem::path proc = "/proc/" + std::to_string(pid);
    std::ifstream status(proc / "status");
    if (!status) return std::nullopt;
    ProcessSample sample;
    bool alive = false;
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "State:") {
            std::string state;
            fields >> state;
            alive = state != "Z" && state != "X";
        } else if (key == "VmRSS:") {
            fields >> sample.rssKiB;
        } else if (key == "Threads:") {
            fields >> sample.threads;
        }
    }
    if (!alive) return std::nullopt;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(proc / "fd", ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        ++sample.descriptors;
    return sample;
}

}  // namespace lumivane::soak
