#include "encode/ParameterSets.h"

namespace lumivane::host {
namespace {

// Length of the start code at i (3 or 4), or 0; needs i + 3 < size.
std::size_t startCodeAt(const std::uint8_t* d, std::size_t i) {
    if (d[i] != 0 || d[i + 1] != 0) return 0;
    if (d[i + 2] == 1) return 3;
    if (d[i + 2] == 0 && d[i + 3] == 1) return 4;
    return 0;
}

std::size_t nalEnd(const std::uint8_t* d, std::size_t size, std::size_t header) {
    for (std::size_t j = header + 1; j + 3 < size; ++j)
        if (startCodeAt(d, j) != 0) return j;
    return size;
}

std::vector<std::uint8_t>* slotFor(CodecConfig& config, std::uint8_t header, bool isHevc) {
    if (isHevc) {
        switch (header & 0x7E) {
            case 0x40: return &config.vps;
            case 0x42: return &config.sps;
            case 0x44: return &config.pps;
        }
        return nullptr;
    }
    switch (header & 0x1F) {
        case 7: return &config.sps;
        case 8: return &config.pps;
    }
    return nullptr;
}

}  // namespace

void ParameterSets::extractParameterSets(const std::uint8_t* data, std::size_t size, bool isHevc) {
    if (!data || size < 5) return;
    std::lock_guard<std::mutex> lock(codecMutex_);
    std::size_t i = 0;
    do {
        const std::size_t codeLength = startCodeAt(data, i);
        if (codeLength == 0) {
            ++i;
            continue;
        }
        const std::size_t header = i + codeLength;
        if (header >= size) break;
        const std::size_t end = nalEnd(data, size, header);
        if (auto* slot = slotFor(config_, data[header], isHevc)) slot->assign(data + header, data + end);
        i = end;
    } while (i + 4 < size);
    config_.valid = !config_.sps.empty() && !config_.pps.empty();
}

CodecConfig ParameterSets::codecConfig() const {
    std::lock_guard<std::mutex> lock(codecMutex_);
    return config_;
}

const char* describeNalType(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 5) return "Unknown";
    const std::size_t codeLength = startCodeAt(data, 0);
    if (codeLength == 0) return "Unknown";
    switch (data[codeLength] & 0x1F) {
        case 1: return "Non-IDR slice";
        case 5: return "IDR slice";
        case 6: return "SEI";
        case 7: return "SPS";
        case 8: return "PPS";
        case 9: return "AUD";
    }
    return "Other";
}

}  // namespace lumivane::host
