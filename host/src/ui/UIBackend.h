#pragma once
// What the dashboard needs from the platform: a window to read input from, a renderer
// for ImGui's draw data, textures, and where fonts and the logo live.

#include <imgui.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumivane::host {

class UIBackend {
public:
    virtual ~UIBackend() = default;

    // Called with the ImGui context current and the fonts added; false if the platform
    // or renderer back end cannot start.
    virtual bool init() = 0;
    // Undoes init(); the context is still current.
    virtual void shutdown() = 0;
    // Sets the display size, time step and input for the next ImGui frame.
    virtual void newFrame() = 0;
    virtual void renderDrawData(ImDrawData* drawData) = 0;

    // A texture of top-down RGBA pixels, or null (after logging why).
    virtual ImTextureID createTexture(const std::uint8_t* rgba, int width, int height) = 0;
    virtual void destroyTexture(ImTextureID texture) = 0;

    // Font files to try, best first; the first that loads is used at every size.
    virtual std::vector<std::string> fontCandidates() const = 0;
    // Where the logo is looked for when "assets/logo.png" is not in the working directory.
    virtual std::string logoFallbackPath() const = 0;
};

}  // namespace lumivane::host
