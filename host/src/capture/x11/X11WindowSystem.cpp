#include "capture/x11/X11WindowSystem.h"

#include "core/Logging.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <climits>

namespace lumivane::host {

namespace {

constexpr unsigned long kMaxIconSide = 256;
constexpr long kMaxIconItems = 4 * 1024 * 1024;

std::string latin1ToUtf8(const unsigned char* text, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = text[i];
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Chooses the largest image up to 256 px, else the smallest; offset of its header or -1.
long chooseIcon(const std::vector<unsigned long>& data, bool& malformed) {
    long best = -1, smallest = -1;
    unsigned long bestSide = 0, smallestSide = ULONG_MAX;
    std::size_t i = 0;
    while (i + 2 <= data.size()) {
        unsigned long w = data[i], h = data[i + 1];
        if (w == 0 || h == 0 || w > 65535 || h > 65535 || w * h > data.size() - i - 2) {
            malformed = true;
            return -1;
        }
        unsigned long side = std::max(w, h);
        if (side <= kMaxIconSide && side > bestSide) best = long(i), bestSide = side;
        if (side < smallestSide) smallest = long(i), smallestSide = side;
        i += 2 + w * h;
    }
    if (i != data.size()) malformed = true;
    return best >= 0 ? best : smallest;
}

}  // namespace

std::unique_ptr<WindowSystem> WindowSystem::create() {
    XDisplayPtr display = openXDisplay();
    if (!display) return nullptr;
    return std::make_unique<X11WindowSystem>(std::move(display));
}

X11WindowSystem::X11WindowSystem(XDisplayPtr display)
    : display_(std::move(display)), root_(DefaultRootWindow(display_.get())) {}

Atom X11WindowSystem::atom(const char* name) { return XInternAtom(display_.get(), name, False); }

std::vector<unsigned long> X11WindowSystem::cardinals(WindowHandle window, Atom property, Atom type,
                                                      long maxItems) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    int status = XGetWindowProperty(display_.get(), window, property, 0, maxItems, False, type, &actualType,
                                    &format, &count, &after, &raw);
    XPtr<unsigned char> owned(raw);
    if (status != Success || actualType != type || format != 32 || !raw) return {};
    auto* items = reinterpret_cast<unsigned long*>(raw);
    return std::vector<unsigned long>(items, items + count);
}

std::vector<WindowHandle> X11WindowSystem::topLevelWindows() {
    std::vector<WindowHandle> list;
    auto clients = cardinals(root_, atom("_NET_CLIENT_LIST"), XA_WINDOW, 65536);
    if (!clients.empty()) {
        for (unsigned long window : clients) list.push_back(WindowHandle(window));
        return list;
    }
    Window rootOut = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_.get(), root_, &rootOut, &parent, &children, &count)) return list;
    XPtr<Window> owned(children);
    // XQueryTree lists bottom to top; the window list wants the topmost first.
    for (unsigned int i = count; i > 0; --i) list.push_back(WindowHandle(children[i - 1]));
    return list;
}

bool X11WindowSystem::isWindow(WindowHandle window) {
    XWindowAttributes attributes;
    return window != 0 && XGetWindowAttributes(display_.get(), window, &attributes) != 0;
}

bool X11WindowSystem::isVisible(WindowHandle window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_.get(), window, &attributes)) return false;
    if (attributes.map_state == IsViewable) return true;
    const Atom wmState = atom("WM_STATE");
    const auto state = cardinals(window, wmState, wmState, 2);
    return !state.empty() && (state.front() == NormalState || state.front() == IconicState);
}

std::string X11WindowSystem::title(WindowHandle window) {
    Atom utf8 = atom("UTF8_STRING");
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(display_.get(), window, atom("_NET_WM_NAME"), 0, 4096, False, utf8, &type, &format,
                           &count, &after, &raw) == Success) {
        XPtr<unsigned char> owned(raw);
        if (type == utf8 && format == 8 && raw && count > 0) return std::string(reinterpret_cast<char*>(raw), count);
    }
    XTextProperty name{};
    if (!XGetWMName(display_.get(), window, &name) || !name.value) return {};
    XPtr<unsigned char> owned(name.value);
    if (name.format != 8) return {};
    if (name.encoding == utf8) return std::string(reinterpret_cast<char*>(name.value), name.nitems);
    return latin1ToUtf8(name.value, name.nitems);
}

std::string X11WindowSystem::className(WindowHandle window) {
    XClassHint hint{};
    if (!XGetClassHint(display_.get(), window, &hint)) return {};
    XPtr<char> name(hint.res_name), cls(hint.res_class);
    return hint.res_class ? std::string(hint.res_class) : std::string();
}

bool X11WindowSystem::overrideRedirect(WindowHandle window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_.get(), window, &attributes) && attributes.override_redirect;
}

Atom X11WindowSystem::windowType(WindowHandle window) {
    auto types = cardinals(window, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 16);
    return types.empty() ? None : Atom(types.front());
}

bool X11WindowSystem::typeIsNormalOrDialog(WindowHandle window) {
    Atom type = windowType(window);
    return type == None || type == atom("_NET_WM_WINDOW_TYPE_NORMAL") || type == atom("_NET_WM_WINDOW_TYPE_DIALOG");
}

bool X11WindowSystem::isToolWindow(WindowHandle window) {
    return overrideRedirect(window) || !typeIsNormalOrDialog(window);
}

bool X11WindowSystem::hasCaption(WindowHandle window) {
    return !overrideRedirect(window) && typeIsNormalOrDialog(window);
}

bool X11WindowSystem::isAppWindow(WindowHandle window) {
    Atom type = windowType(window);
    return type == None || type == atom("_NET_WM_WINDOW_TYPE_NORMAL");
}

bool X11WindowSystem::hasState(WindowHandle window, Atom state) {
    for (unsigned long item : cardinals(window, atom("_NET_WM_STATE"), XA_ATOM, 64)) {
        if (Atom(item) == state) return true;
    }
    return false;
}

bool X11WindowSystem::isCloaked(WindowHandle) { return false; }

bool X11WindowSystem::isMinimized(WindowHandle window) {
    Atom wmState = atom("WM_STATE");
    auto state = cardinals(window, wmState, wmState, 2);
    return (!state.empty() && state.front() == IconicState) || hasState(window, atom("_NET_WM_STATE_HIDDEN"));
}

bool X11WindowSystem::isMaximized(WindowHandle window) {
    return hasState(window, atom("_NET_WM_STATE_MAXIMIZED_VERT")) &&
           hasState(window, atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
}

std::optional<WindowRect> X11WindowSystem::windowRect(WindowHandle window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_.get(), window, &attributes)) return std::nullopt;
    int rootX = 0, rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display_.get(), window, root_, 0, 0, &rootX, &rootY, &child)) return std::nullopt;
    int border = attributes.border_width;
    WindowRect rect{rootX - border, rootY - border, rootX + attributes.width + border,
                    rootY + attributes.height + border};
    auto extents = cardinals(window, atom("_NET_FRAME_EXTENTS"), XA_CARDINAL, 4);
    if (extents.size() == 4) {
        rect.left -= int(extents[0]);
        rect.right += int(extents[1]);
        rect.top -= int(extents[2]);
        rect.bottom += int(extents[3]);
    }
    return rect;
}

std::optional<WindowRect> X11WindowSystem::clientRect(WindowHandle window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_.get(), window, &attributes)) return std::nullopt;
    return WindowRect{0, 0, attributes.width, attributes.height};
}

std::string X11WindowSystem::processImagePath(WindowHandle window) {
    auto pid = cardinals(window, atom("_NET_WM_PID"), XA_CARDINAL, 1);
    if (pid.empty() || pid.front() == 0) return {};
    std::string link = "/proc/" + std::to_string(pid.front()) + "/exe";
    char path[4096];
    ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    return length > 0 ? std::string(path, std::size_t(length)) : std::string();
}

std::optional<IconImage> X11WindowSystem::icon(WindowHandle window) {
    auto data = cardinals(window, atom("_NET_WM_ICON"), XA_CARDINAL, kMaxIconItems);
    if (data.empty()) return std::nullopt;
    bool malformed = false;
    long offset = chooseIcon(data, malformed);
    if (offset < 0) {
        LV_WARN("getWindowIconBase64: malformed _NET_WM_ICON on window {:x}", window);
        return std::nullopt;
    }
    IconImage image;
    image.width = std::uint32_t(data[offset]);
    image.height = std::uint32_t(data[offset + 1]);
    image.bgra.resize(std::size_t(image.width) * image.height * 4);
    const unsigned long* argb = data.data() + offset + 2;
    for (std::size_t i = 0; i < std::size_t(image.width) * image.height; ++i) {
        unsigned long p = argb[i];
        unsigned alpha = (p >> 24) & 0xFF;
        // Over black, as the icon would be drawn onto a black bitmap.
        image.bgra[i * 4 + 0] = std::uint8_t(((p & 0xFF) * alpha + 127) / 255);
        image.bgra[i * 4 + 1] = std::uint8_t((((p >> 8) & 0xFF) * alpha + 127) / 255);
        image.bgra[i * 4 + 2] = std::uint8_t((((p >> 16) & 0xFF) * alpha + 127) / 255);
        image.bgra[i * 4 + 3] = 0xFF;
    }
    return image;
}

}  // namespace lumivane::host
