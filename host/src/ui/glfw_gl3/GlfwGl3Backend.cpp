#include "ui/glfw_gl3/GlfwGl3Backend.h"

#include "core/Logging.h"

#include <GL/gl.h>
#include <imgui_impl_glfw.h>
#include <imgui_impl_opengl3.h>
#include <unistd.h>

#include <array>
#include <cstdint>

namespace lumivane::host {
namespace {

// Directory of the running executable, without a trailing slash; empty if unknown.
std::string executableDirectory() {
    std::array<char, 4096> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) return {};
    const std::string exe(path.data(), static_cast<std::size_t>(length));
    const std::size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

}  // namespace

GlfwGl3Backend::GlfwGl3Backend(GLFWwindow* window, std::string glslVersion)
    : window_(window), glslVersion_(std::move(glslVersion)) {}

bool GlfwGl3Backend::init() {
    // Installs ImGui's GLFW callbacks, chaining to any the entry installed before.
    platformStarted_ = ImGui_ImplGlfw_InitForOpenGL(window_, true);
    if (!platformStarted_) {
        LV_ERROR("Dashboard: GLFW back end failed to start");
        return false;
    }
    rendererStarted_ = ImGui_ImplOpenGL3_Init(glslVersion_.c_str());
    if (!rendererStarted_) {
        LV_ERROR("Dashboard: OpenGL 3 back end failed to start");
        shutdown();
        return false;
    }
    return true;
}

void GlfwGl3Backend::shutdown() {
    if (rendererStarted_) ImGui_ImplOpenGL3_Shutdown();
    if (platformStarted_) ImGui_ImplGlfw_Shutdown();
    rendererStarted_ = platformStarted_ = false;
}

void GlfwGl3Backend::newFrame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
}

void GlfwGl3Backend::renderDrawData(ImDrawData* drawData) { ImGui_ImplOpenGL3_RenderDrawData(drawData); }

ImTextureID GlfwGl3Backend::createTexture(const std::uint8_t* rgba, int width, int height) {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }  // earlier errors are not ours
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    if (const GLenum error = glGetError(); error != GL_NO_ERROR || texture == 0) {
        LV_ERROR("OpenGL error {:#x} while uploading a {}x{} texture", error, width, height);
        if (texture) glDeleteTextures(1, &texture);
        return nullptr;
    }
    return reinterpret_cast<ImTextureID>(static_cast<std::uintptr_t>(texture));
}

void GlfwGl3Backend::destroyTexture(ImTextureID texture) {
    const auto name = static_cast<GLuint>(reinterpret_cast<std::uintptr_t>(texture));
    glDeleteTextures(1, &name);
}

std::vector<std::string> GlfwGl3Backend::fontCandidates() const {
    return {
        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
        "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf",
        "/usr/share/fonts/opentype/noto/NotoSans-Regular.ttf",
    };
}

// Executables sit four folders below the source tree's root (build/host/src/main).
std::string GlfwGl3Backend::logoFallbackPath() const {
    return executableDirectory() + "/../../../../host/assets/logo.png";
}

std::unique_ptr<UIBackend> createGlfwGl3Backend(GLFWwindow* window, std::string glslVersion) {
    return std::make_unique<GlfwGl3Backend>(window, std::move(glslVersion));
}

}  // namespace lumivane::host
