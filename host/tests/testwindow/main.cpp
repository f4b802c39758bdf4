// lumivane-testwindow: a window that paints a checkable pattern and reports its input.
// See --help. Every report is one line on stdout, flushed at once.

#include "testwindow/FrameImage.h"
#include "testwindow/FrameStamp.h"
#include "testwindow/TestPattern.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* kHelp =
    "Usage: lumivane-testwindow [options]\n"
    "  --width N       client width in pixels (default 320)\n"
    "  --height N      client height in pixels (default 240)\n"
    "  --x N, --y N    position of the window on the screen (default 0 0)\n"
    "  --title TEXT    window title, set as _NET_WM_NAME and WM_NAME (default \"Lumivane Test Window\")\n"
    "  --class NAME    WM_CLASS class part (default \"LumivaneTestWindow\")\n"
    "  --interval MS   repaint with the next frame number every MS ms (fractions allowed, 16.667\n"
    "                  for 60 Hz); 0 keeps still (default 0)\n"
    "  --stamp         draw the time of each paint into the top 16 rows (testwindow/FrameStamp.h;\n"
    "                  needs a width of at least 1024)\n"
    "  --busy MS       after the first typed text, read no events for MS ms, as a busy\n"
    "                  application does (default 0)\n"
    "  --help          this text\n"
    "Pixel (x, y) of frame n is testwindow/TestPattern.h patternPixel(x, y, n); the icon holds\n"
    "16, 48 and 300 px images of iconPixel. Output lines (stdout, one event each):\n"
    "  window 0xID                  once mapped\n"
    "  frame N                      after painting frame N\n"
    "  size W H                     client size changed\n"
    "  key_press keycode=K keysym=NAME / key_release ...\n"
    "  typed TEXT                   the text a key press produced, as an application reads it\n"
    "                               (UTF-8 through the input method; bytes below 0x20, 0x7F and\n"
    "                               \\ written as \\xNN)\n"
    "  button_press button=B x=X y=Y / button_release ...  (a press also takes the keyboard focus)\n"
    "  motion x=X y=Y\n"
    "  closed                       on WM_DELETE_WINDOW, then it exits\n"
    "It answers _NET_WM_PING as toolkits do.\n";

struct Options {
    unsigned width = 320;
    unsigned height = 240;
    int x = 0;
    int y = 0;
    std::string title = "Lumivane Test Window";
    std::string className = "LumivaneTestWindow";
    double intervalMs = 0;
    bool stamp = false;
    int busyMs = 0;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        }
        if (arg == "--stamp") {
            options.stamp = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (arg == "--width") options.width = unsigned(std::atoi(value));
        else if (arg == "--height") options.height = unsigned(std::atoi(value));
        else if (arg == "--x") options.x = std::atoi(value);
        else if (arg == "--y") options.y = std::atoi(value);
        else if (arg == "--title") options.title = value;
        else if (arg == "--class") options.className = value;
        else if (arg == "--interval") options.intervalMs = std::atof(value);
        else if (arg == "--busy") options.busyMs = std::atoi(value);
        else return false;
    }
    return options.width > 0 && options.height > 0 && options.width <= 8192 && options.height <= 8192 &&
           (!options.stamp || options.width >= lumivane::testwindow::kStampWidth);
}

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

class TestWindow {
public:
    TestWindow(Display* display, const Options& options)
        : display_(display), options_(options), image_(display) {
        width_ = options.width;
        height_ = options.height;
        create();
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    void run() {
        using Clock = std::chrono::steady_clock;
        const auto interval = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(options_.intervalMs));
        auto due = Clock::now() + interval;
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        for (;;) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (!handle(event)) return;
            }
            int timeout = -1;
            if (options_.intervalMs > 0) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
                timeout = int(std::max<long long>(0, left));
            }
            if (poll(&fd, 1, timeout) == 0 && mapped_) {
                ++frame_;
                paint();
                // Paced by the clock, not by the paint's own duration; a late paint does not
                // make the next ones bunch up.
                due = std::max(due + interval, Clock::now());
            }
        }
    }

private:
    void create() {
        int screen = DefaultScreen(display_);
        window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), options_.x, options_.y, width_, height_,
                                      0,
                                      BlackPixel(display_, screen), BlackPixel(display_, screen));
        XSelectInput(display_, window_,
                     ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                         ButtonReleaseMask | PointerMotionMask);
        setProperties();
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        openInputContext();
        // Loads the keyboard map now, as toolkits do at start: that also asks the server
        // for its changes, which a first lookup in the middle of typing would ask too late.
        XkbKeycodeToKeysym(display_, 8, 0, 0);
        XMapWindow(display_, window_);
    }

    // Text is read the way applications read it: through an input context, which turns
    // the key's keysym (and modifiers) into UTF-8.
    void openInputContext() {
        im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
        if (im_) {
            ic_ = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window_,
                            XNFocusWindow, window_, nullptr);
        }
        if (!ic_) std::fprintf(stderr, "lumivane-testwindow: no input context; typed text is not reported\n");
    }

    std::string typedText(XKeyEvent& key) {
        if (!ic_) return "";
        char buffer[64];
        KeySym sym = 0;
        Status status = 0;
        const int n = Xutf8LookupString(ic_, &key, buffer, sizeof buffer, &sym, &status);
        if (n <= 0 || (status != XLookupChars && status != XLookupBoth)) return "";
        std::string out;
        for (int i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(buffer[i]);
            if (c < 0x20 || c == 0x7F || c == '\\') {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
                out += escaped;
            } else {
                out += char(c);
            }
        }
        return out;
    }

    void setProperties() {
        Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(options_.title.data()), int(options_.title.size()));
        XStoreName(display_, window_, options_.title.c_str());
        std::string name = "lumivane-testwindow";
        XClassHint hint{name.data(), const_cast<char*>(options_.className.c_str())};
        XSetClassHint(display_, window_, &hint);
        long pid = long(getpid());
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
        std::vector<long> icon;
        for (std::uint32_t side : lumivane::testwindow::kIconSides) {
            icon.push_back(long(side));
            icon.push_back(long(side));
            for (std::uint32_t y = 0; y < side; ++y)
                for (std::uint32_t x = 0; x < side; ++x) icon.push_back(long(lumivane::testwindow::iconPixel(x, y, side)));
        }
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(icon.data()), int(icon.size()));
        deleteAtom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        pingAtom_ = XInternAtom(display_, "_NET_WM_PING", False);
        Atom protocols[] = {deleteAtom_, pingAtom_};
        XSetWMProtocols(display_, window_, protocols, 2);
        // A window manager places a window where it likes unless told the user chose the spot.
        XSizeHints hints{};
        hints.flags = USPosition;
        hints.x = options_.x;
        hints.y = options_.y;
        XSetWMNormalHints(display_, window_, &hints);
    }

    void paint() {
        XImage* image = image_.get(width_, height_);
        if (!image) return;
        fillPattern(image);
        if (options_.stamp && image->bits_per_pixel == 32)
            lumivane::testwindow::drawStamp(reinterpret_cast<std::uint32_t*>(image->data),
                                            std::size_t(image->bytes_per_line) / 4,
                                            lumivane::testwindow::monotonicMicros());
        // Returns once the server holds these pixels, so the frame line below is true.
        image_.put(window_, gc_);
        say("frame " + std::to_string(frame_));
    }

    void fillPattern(XImage* image) {
        using lumivane::testwindow::patternPixel;
        // 0x00RRGGBB is the pixel value itself in the usual 24-bit TrueColor visual.
        const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                            image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                            image->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
        for (unsigned y = 0; y < height_; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(image->data + std::size_t(y) * image->bytes_per_line);
            for (unsigned x = 0; x < width_; ++x) {
                if (direct) row[x] = patternPixel(x, y, frame_);
                else XPutPixel(image, int(x), int(y), patternPixel(x, y, frame_));
            }
        }
    }

    std::string keyLine(const char* kind, XKeyEvent& key) {
        KeySym sym = XLookupKeysym(&key, 0);
        const char* name = XKeysymToString(sym);
        return std::string(kind) + " keycode=" + std::to_string(key.keycode) + " keysym=" + (name ? name : "NoSymbol");
    }

    std::string buttonLine(const char* kind, const XButtonEvent& button) {
        return std::string(kind) + " button=" + std::to_string(button.button) + " x=" + std::to_string(button.x) +
               " y=" + std::to_string(button.y);
    }

    bool handle(XEvent& event) {
        switch (event.type) {
        case MapNotify:
            if (!mapped_) {
                mapped_ = true;
                char id[32];
                std::snprintf(id, sizeof id, "window 0x%lx", window_);
                say(id);
            }
            break;
        case Expose:
            if (event.xexpose.count == 0) paint();
            break;
        case ConfigureNotify:
            if (unsigned(event.xconfigure.width) != width_ || unsigned(event.xconfigure.height) != height_) {
                width_ = unsigned(event.xconfigure.width);
                height_ = unsigned(event.xconfigure.height);
                say("size " + std::to_string(width_) + " " + std::to_string(height_));
                paint();
            }
            break;
        case MappingNotify:
            // Characters are typed through keycodes bound just before: look keys up in the
            // current map, not the one Xlib cached.
            XRefreshKeyboardMapping(&event.xmapping);
            break;
        case KeyPress: {
            say(keyLine("key_press", event.xkey));

            const std::string text = typedText(event.xkey);
            if (text.empty()) break;
            say("typed " + text);
            if (options_.busyMs > 0 && !wasBusy_) {
                wasBusy_ = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(options_.busyMs));
            }
            break;
        }
        case KeyRelease: say(keyLine("key_release", event.xkey)); break;
        case ButtonPress:
            // Click to focus, as a window manager would; test servers run without one.
            XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
            say(buttonLine("button_press", event.xbutton));
            break;
        case ButtonRelease: say(buttonLine("button_release", event.xbutton)); break;
        case MotionNotify:
            say("motion x=" + std::to_string(event.xmotion.x) + " y=" + std::to_string(event.xmotion.y));
            break;
        case ClientMessage:
            if (Atom(event.xclient.data.l[0]) == pingAtom_) {
                // Back to the root, where whoever asked listens.
                const Window root = DefaultRootWindow(display_);
                event.xclient.window = root;
                XSendEvent(display_, root, False, SubstructureNotifyMask | SubstructureRedirectMask, &event);
                XFlush(display_);
            } else if (Atom(event.xclient.data.l[0]) == deleteAtom_) {
                say("closed");
                return false;
            }
            break;
        default: break;
        }
        return true;
    }

    Display* display_;
    Options options_;
    Window window_ = 0;
    GC gc_ = nullptr;
    lumivane::testwindow::FrameImage image_;
    Atom deleteAtom_ = 0;
    Atom pingAtom_ = 0;
    bool wasBusy_ = false;
    XIM im_ = nullptr;
    XIC ic_ = nullptr;
    unsigned width_ = 0;
    unsigned height_ = 0;
    std::uint32_t frame_ = 0;
    bool mapped_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    // A UTF-8 locale whatever the environment says, and Xlib's own input method (no
    // server), so that any character's text can be read back.
    if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
    XSetLocaleModifiers("@im=none");
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "lumivane-testwindow: cannot open display %s\n", XDisplayName(nullptr));
        return 1;
    }
    {
        TestWindow window(display, options);
        window.run();
    }
    XCloseDisplay(display);
    return 0;
}
