#include "ui/screenshot/UIRenderHarness.h"

#include "core/Logging.h"
#include "ui/glfw_gl3/GlfwGl3Backend.h"

#include <GLFW/glfw3.h>
#include <imgui_internal.h>

namespace lumivane::host {

// Forwards to the real back end, then replaces the pointer with the scripted one so that
// wherever the X pointer happens to be cannot change what is drawn.
class ScriptedInputBackend : public UIBackend {
public:
    explicit ScriptedInputBackend(std::unique_ptr<UIBackend> inner) : inner_(std::move(inner)) {}

    bool init() override { return inner_->init(); }
    void shutdown() override { inner_->shutdown(); }
    void newFrame() override {
        inner_->newFrame();
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = position_.value_or(ImVec2{-FLT_MAX, -FLT_MAX});
        for (bool& down : io.MouseDown) down = false;
        io.MouseDown[0] = pressed_;
    }
    void renderDrawData(ImDrawData* drawData) override { inner_->renderDrawData(drawData); }
    ImTextureID createTexture(const std::uint8_t* rgba, int width, int height) override {
        return inner_->createTexture(rgba, width, height);
    }
    void destroyTexture(ImTextureID texture) override { inner_->destroyTexture(texture); }
    std::vector<std::string> fontCandidates() const override { return inner_->fontCandidates(); }
    std::string logoFallbackPath() const override { return inner_->logoFallbackPath(); }

    void setMouse(std::optional<ImVec2> position, bool pressed) {
        position_ = position;
        pressed_ = pressed;
    }

private:
    std::unique_ptr<UIBackend> inner_;
    std::optional<ImVec2> position_;
    bool pressed_ = false;
};

namespace {

// GLFW stays initialised until the process ends: terminating it unloads the OpenGL
// driver, which leaves the driver's own allocations looking leaked to LeakSanitizer.
bool initGlfwOnce() {
    static const bool initialised = [] {
        glfwSetErrorCallback([](int code, const char* text) { LV_WARN("GLFW error {:#x}: {}", code, text); });
        return glfwInit() == GLFW_TRUE;
    }();
    return initialised;
}

}  // namespace

std::unique_ptr<UIRenderHarness> UIRenderHarness::create(int width, int height) {
    if (!initGlfwOnce()) return nullptr;
    std::unique_ptr<UIRenderHarness> harness(new UIRenderHarness);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    harness->window_ = glfwCreateWindow(width, height, "Lumivane Host", nullptr, nullptr);
    if (!harness->window_) return nullptr;
    glfwMakeContextCurrent(harness->window_);
    glfwSwapInterval(0);

    auto input = std::make_unique<ScriptedInputBackend>(createGlfwGl3Backend(harness->window_));
    harness->input_ = input.get();
    harness->ui_ = std::make_unique<UIManager>(std::move(input));
    if (!harness->ui_->initialize()) return nullptr;
    return harness;
}

UIRenderHarness::~UIRenderHarness() {
    ui_.reset();
    if (window_) glfwDestroyWindow(window_);
}

void UIRenderHarness::setMouse(std::optional<ImVec2> position, bool pressed) { input_->setMouse(position, pressed); }

void UIRenderHarness::click(ImVec2 position) {
    setMouse(position, false);
    renderFrames(2);
    setMouse(position, true);
    renderFrames(1);
    setMouse(position, false);
    renderFrames(1);
    setMouse(std::nullopt, false);
}

void UIRenderHarness::drawFrame() {
    glfwPollEvents();
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window_, &width, &height);
    glViewport(0, 0, width, height);
    glClearColor(0.06f, 0.06f, 0.10f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ui_->render();
}

Picture UIRenderHarness::renderFrames(int frames) {
    Picture frame;
    for (int i = 0; i < frames; ++i) {
        drawFrame();
        if (i + 1 == frames) {
            glfwGetFramebufferSize(window_, &frame.width, &frame.height);
            std::vector<std::uint8_t> rgba(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height) * 4);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, frame.width, frame.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            frame.bgra.resize(rgba.size());
            // OpenGL rows run bottom-up.
            const std::size_t stride = static_cast<std::size_t>(frame.width) * 4;
            for (int y = 0; y < frame.height; ++y) {
                const std::uint8_t* src = rgba.data() + static_cast<std::size_t>(frame.height - 1 - y) * stride;
                std::uint8_t* dst = frame.bgra.data() + static_cast<std::size_t>(y) * stride;
                for (std::size_t x = 0; x < stride; x += 4) {
                    dst[x] = src[x + 2];
                    dst[x + 1] = src[x + 1];
                    dst[x + 2] = src[x];
                    dst[x + 3] = 255;
                }
            }
        }
        glfwSwapBuffers(window_);
    }
    return frame;
}

// Child windows are named "Parent/Name_ID"; the first match wins.
std::optional<UIRenderHarness::ChildRect> UIRenderHarness::findChild(const std::string& name) const {
    const std::string needle = "/" + name + "_";
    for (ImGuiWindow* window : GImGui->Windows) {
        if (std::string(window->Name).find(needle) == std::string::npos) continue;
        return ChildRect{window->Pos, window->Size, window->WindowPadding};
    }
    return std::nullopt;
}

}  // namespace lumivane::host
