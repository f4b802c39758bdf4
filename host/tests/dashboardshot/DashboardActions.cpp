#include "DashboardActions.h"

#include "DashboardPicture.h"

namespace lumivane::host::dashboard {

bool clickAt(HostWindow& window, int x, int y, int probeX, int probeY) {
    const Picture before = window.grab();
    if (before.empty()) return false;
    const Picture::Pixel unhovered = before.at(probeX, probeY);
    window.pointerTo(x, y);
    const bool hovered = window
                             .waitFor([&](const Picture& picture) {
                                 return !near(picture.at(probeX, probeY), {unhovered.r, unhovered.g, unhovered.b}, 0);
                             },
                                      kScreenTimeout)
                             .has_value();
    if (hovered) {
        window.press();
        // One frame with the button down, as a hand would hold it.
        window.waitFor([](const Picture&) { return true; }, kScreenTimeout);
        window.release();
        window.waitFor([](const Picture&) { return true; }, kScreenTimeout);
    }
    window.pointerAway();
    return hovered;
}

std::optional<Picture> showPage(HostWindow& window, int page) {
    const auto drawn = window.waitFor(
        [](const Picture& picture) { return navigationButtons(picture).size() == 7; }, kScreenTimeout);
    if (!drawn) return std::nullopt;
    const int y = navigationButtons(*drawn)[std::size_t(page)].middle();
    if (selectedPage(*drawn) != page && !clickAt(window, kSidebarWidth / 2, y, kSidebarWidth - 20, y))
        return std::nullopt;
    return window.waitFor([&](const Picture& picture) { return selectedPage(picture) == page; }, kScreenTimeout);
}

}  // namespace lumivane::host::dashboard
