#include "DashboardActions.h"

#include "DashboardPicture.h"

namespace lumivane::host::dashboard {

Condition hoveredAt(int x, int y) {
    return [x, y](const Picture& picture) { return near(picture.at(x, y), hover); };
}

bool clickAt(HostWindow& window, int x, int y, const Condition& hovered, const Condition& clicked) {
    window.pointerTo(x, y);
    bool done = window.waitFor(hovered, kScreenTimeout).has_value();
    if (done) {
        window.press();
        window.release();
        done = window.waitFor(clicked, kScreenTimeout).has_value();
    }
    window.pointerAway();
    return done;
}

std::optional<Picture> showPage(HostWindow& window, int page) {
    const auto drawn = window.waitFor(
        [](const Picture& picture) { return navigationButtons(picture).size() == 7; }, kScreenTimeout);
    if (!drawn) return std::nullopt;
    if (selectedPage(*drawn) != page) {
        const int y = navigationButtons(*drawn)[std::size_t(page)].middle();
        const bool clicked = clickAt(window, kSidebarWidth / 2, y, hoveredAt(kSidebarWidth - 20, y),
                                     [&](const Picture& picture) { return selectedPage(picture, true) == page; });
        if (!clicked) return std::nullopt;
    }
    return window.waitFor([&](const Picture& picture) { return selectedPage(picture) == page; }, kScreenTimeout);
}

}  // namespace lumivane::host::dashboard
