#pragma once
// A UI back end without window or GPU: ImGui runs its full frame logic, nothing is drawn.
// Tests script the pointer and see which textures were made.

#include "ui/UIBackend.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumivane::host {

struct HeadlessState {
    ImVec2 displaySize{1400, 900};
    std::optional<ImVec2> mouse;
    bool mouseDown = false;
    bool failInit = false;
    bool failTextures = false;
    std::vector<std::string> fonts;
    std::string logoFallback = "/nonexistent/logo.png";
    std::vector<std::pair<int, int>> texturesCreated;
    int texturesDestroyed = 0;
    int frames = 0;
    int shutdowns = 0;
    std::string clipboard;
};

class HeadlessUIBackend : public UIBackend {
public:
    explicit HeadlessUIBackend(HeadlessState& state) : state_(state) {}

    bool init() override {
        ImGuiIO& io = ImGui::GetIO();
        // Keyboard navigation wants every key mapped; no key is ever pressed here.
        for (int key = 0; key < ImGuiKey_COUNT; ++key) io.KeyMap[key] = key;
        io.SetClipboardTextFn = [](void* user, const char* text) { static_cast<HeadlessState*>(user)->clipboard = text; };
        io.ClipboardUserData = &state_;
        return !state_.failInit;
    }
    void shutdown() override { ++state_.shutdowns; }
    void newFrame() override {
        ImGuiIO& io = ImGui::GetIO();
        io.DisplaySize = state_.displaySize;
        io.DeltaTime = 1.0f / 60.0f;
        io.MousePos = state_.mouse.value_or(ImVec2{-FLT_MAX, -FLT_MAX});
        io.MouseDown[0] = state_.mouseDown;
        ++state_.frames;
    }
    void renderDrawData(ImDrawData*) override {}
    ImTextureID createTexture(const std::uint8_t*, int width, int height) override {
        if (state_.failTextures) return nullptr;
        state_.texturesCreated.emplace_back(width, height);
        return reinterpret_cast<ImTextureID>(static_cast<std::uintptr_t>(state_.texturesCreated.size()));
    }
    void destroyTexture(ImTextureID) override { ++state_.texturesDestroyed; }
    std::vector<std::string> fontCandidates() const override { return state_.fonts; }
    std::string logoFallbackPath() const override { return state_.logoFallback; }

private:
    HeadlessState& state_;
};

}  // namespace lumivane::host
