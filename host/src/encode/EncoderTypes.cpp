#include "encode/EncoderTypes.h"

namespace lumivane::host {

const char* encoderTypeName(EncoderType type) {
    switch (type) {
        case EncoderType::NVENC: return "NVENC";
        case EncoderType::AMF: return "AMF";
        case EncoderType::QuickSync: return "QuickSync";
        case EncoderType::Software: return "Software";
    }
    return "Unknown";
}

bool isHevcCodec(const std::string& codec) { return codec == "h265" || codec == "hevc"; }

}  // namespace lumivane::host
