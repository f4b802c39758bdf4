#pragma once
// The dashboard on a GLFW window with an OpenGL 3 context: input through GLFW (which
// also serves the clipboard), drawing through the OpenGL 3 renderer.

#include "ui/UIBackend.h"

#include <memory>
#include <string>

struct GLFWwindow;

namespace lumivane::host {

class GlfwGl3Backend : public UIBackend {
public:
    // The window's context must be current on the calling (main) thread for the
    // backend's whole life. "#version 130" suits a default or compatibility context;
    // a core-profile context wants "#version 150" or later.
    explicit GlfwGl3Backend(GLFWwindow* window, std::string glslVersion = "#version 130");

    bool init() override;
    void shutdown() override;
    void newFrame() override;
    void renderDrawData(ImDrawData* drawData) override;
    ImTextureID createTexture(const std::uint8_t* rgba, int width, int height) override;
    void destroyTexture(ImTextureID texture) override;
    std::vector<std::string> fontCandidates() const override;
    std::string logoFallbackPath() const override;

private:
    GLFWwindow* window_;
    std::string glslVersion_;
    bool platformStarted_ = false;
    bool rendererStarted_ = false;
};

std::unique_ptr<UIBackend> createGlfwGl3Backend(GLFWwindow* window, std::string glslVersion = "#version 130");

}  // namespace lumivane::host
