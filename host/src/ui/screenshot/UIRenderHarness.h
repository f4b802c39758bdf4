#pragma once
// Runs a real dashboard in a GLFW window on the current X display and reads frames back,
// for screenshot tests and `lumivane-ui-screenshot`. Main thread only; one at a time.

#include "ui/UIManager.h"
#include "ui/screenshot/Picture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct GLFWwindow;

namespace lumivane::host {

class ScriptedInputBackend;

class UIRenderHarness {
public:
    // Null (after logging why) when there is no display or no OpenGL 3 context.
    static std::unique_ptr<UIRenderHarness> create(int width, int height);
    ~UIRenderHarness();
    UIRenderHarness(const UIRenderHarness&) = delete;
    UIRenderHarness& operator=(const UIRenderHarness&) = delete;

    // Initialised, with the pointer away from the window.
    UIManager& ui() { return *ui_; }

    // Pointer position in window pixels for the coming frames (none: outside the window).
    void setMouse(std::optional<ImVec2> position, bool pressed = false);
    // A click at a point: move there, press, release, over a few frames.
    void click(ImVec2 position);
    // Draws `frames` frames (layout settles over the first two) and returns the last.
    Picture renderFrames(int frames = 3);
    // Where a child window of the dashboard ("WindowList", "Sidebar", ...) was drawn in
    // the last frame, in window pixels.
    struct ChildRect {
        ImVec2 position;
        ImVec2 size;
        ImVec2 padding;
    };
    std::optional<ChildRect> findChild(const std::string& name) const;

private:
    UIRenderHarness() = default;
    void drawFrame();

    GLFWwindow* window_ = nullptr;
    ScriptedInputBackend* input_ = nullptr;  // owned by ui_
    std::unique_ptr<UIManager> ui_;
};

}  // namespace lumivane::host
