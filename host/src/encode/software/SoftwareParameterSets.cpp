#include "encode/software/SoftwareParameterSets.h"

namespace lumivane::host::software {
namespace {

// Length of the start code at i (3 or 4), or 0.
std::size_t startCodeAt(const std::uint8_t* d, std::size_t size, std::size_t i) {
    if (i + 3 > size || d[i] != 0 || d[i + 1] != 0) return 0;
    if (d[i + 2] == 1) return 3;
    if (i + 4 <= size && d[i + 2] == 0 && d[i + 3] == 1) return 4;
    return 0;
}

std::vector<std::uint8_t>* targetFor(std::uint8_t header, bool isHevc, CodecConfig& config) {
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

void extractParameterSets(const std::uint8_t* data, std::size_t size, bool isHevc, CodecConfig& config) {
    if (data == nullptr || size < 5) return;
    std::size_t i = 0;
    while (i + 4 < size) {
        std::size_t length = startCodeAt(data, size, i);
        if (length == 0) {
            ++i;
            continue;
        }
        std::size_t h = i + length;
        if (h >= size) break;
        std::size_t e = size;
        for (std::size_t j = h + 1; j + 3 < size; ++j) {
            if (startCodeAt(data, size, j) != 0) {
                e = j;
                break;
            }
        }
        if (auto* target = targetFor(data[h], isHevc, config)) target->assign(data + h, data + e);
        i = e;
    }
    config.valid = !config.sps.empty() && !config.pps.empty();
}

const char* describeNalType(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 5) return "Unknown";
    std::size_t length = startCodeAt(data, size, 0);
    if (length == 0) return "Unknown";
    switch (data[length] & 0x1F) {
        case 1: return "Non-IDR slice";
        case 5: return "IDR slice";
        case 6: return "SEI";
        case 7: return "SPS";
        case 8: return "PPS";
        case 9: return "AUD";
    }
    return "Other";
}

}  // namespace lumivane::host::software
