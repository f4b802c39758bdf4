#pragma once
// The records the entry module fills for the dashboard, and the one it gets back.

#include <cstdint>
#include <string>

namespace lumivane::host {

// Every edit on the dashboard hands the whole record to onSettingsChanged. The initial
// values double as the "Reset to Defaults" values.
struct UISettings {
    std::int32_t signalingPort = 9876;
    std::int32_t videoPort = 9944;
    std::int32_t audioPort = 9945;
    std::int32_t inputPort = 9946;
    std::int32_t qualityPreset = 2;  // index into qualityPresets(); 4 is Custom
    std::int32_t targetFps = 72;
    std::int32_t targetBitrate = 50000;  // kbit/s
    std::int32_t maxBitrate = 100000;    // kbit/s
    std::string codec = "h264";          // "h264" or "hevc"
    std::int32_t audioBitrate = 128;     // kbit/s
    bool microphoneEnabled = false;
    std::int32_t microphoneVolume = 85;  // percent
    bool noiseCancellation = true;
    bool trackControllers = true;
    bool forwardTracking = false;
    bool lowLatencyMode = true;
    bool adaptiveBitrate = true;
    bool sliceEncoding = true;

    bool operator==(const UISettings&) const = default;
};

struct SystemInfo {
    std::string gpuName = "Detecting...";
    std::uint32_t vramMb = 0;
    std::string encoderName = "None";
    bool wgcSupported = false;
    // How the platform names its window capture and itself; the defaults are Windows'.
    std::string captureShortName = "WGC";
    std::string captureName = "Windows Graphics Capture";
    std::string startWithSystemLabel = "Start with Windows";
};

struct ClientStatus {
    bool connected = false;
    std::string clientName;
    std::string clientAddress;
    std::int32_t fps = 0;
    float latencyMs = 0.0f;
    float bitrateMbps = 0.0f;

    bool operator==(const ClientStatus&) const = default;
};

struct WindowEntry {
    std::uint32_t windowId = 0;
    std::string title;
    std::string processName;
    bool streaming = false;
    std::uint8_t streamId = 0;

    bool operator==(const WindowEntry&) const = default;
};

}  // namespace lumivane::host
