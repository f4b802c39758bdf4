#include "capture/WindowEnumerator.h"

#include "LogRecorder.h"
#include "PngDecode.h"
#include "core/Base64.h"
#include "fakes/FakeWindowSystem.h"

#include <gtest/gtest.h>

namespace lumivane::host {
namespace {

class WindowEnumeratorTest : public ::testing::Test {
protected:
    WindowEnumeratorTest() {
        auto fake = std::make_unique<FakeWindowSystem>();
        windows = fake.get();
        enumerator = std::make_unique<WindowEnumerator>(std::move(fake));
    }

    FakeWindow titled(const std::string& title) {
        FakeWindow window;
        window.title = title;
        return window;
    }

    std::vector<std::string> listedTitles() {
        std::vector<std::string> titles;
        for (const auto& info : enumerator->enumerateWindows()) titles.push_back(info.title);
        return titles;
    }

    FakeWindowSystem* windows;
    std::unique_ptr<WindowEnumerator> enumerator;
};

TEST_F(WindowEnumeratorTest, SortsByteWiseByTitle) {
    windows->add(1, titled("B"));
    windows->add(2, titled("a"));
    windows->add(3, titled("A"));
    windows->add(4, titled("AB"));
    EXPECT_EQ(listedTitles(), (std::vector<std::string>{"A", "AB", "B", "a"}));
}

TEST_F(WindowEnumeratorTest, NoWindowsGiveEmptyList) { EXPECT_TRUE(enumerator->enumerateWindows().empty()); }

TEST_F(WindowEnumeratorTest, AppliesEveryExclusionRule) {
    auto add = [&](WindowHandle id, const std::string& title, auto change) {
        FakeWindow window = titled(title);
        change(window);
        windows->add(id, window);
    };
    add(1, "hidden", [](FakeWindow& w) { w.visible = false; });
    add(2, "", [](FakeWindow&) {});
    add(3, "tool", [](FakeWindow& w) { w.toolWindow = true, w.appWindow = true; });
    add(4, "no caption", [](FakeWindow& w) { w.caption = false; });
    add(5, "app only", [](FakeWindow& w) { w.caption = false, w.appWindow = true; });
    add(6, "cloaked", [](FakeWindow& w) { w.cloaked = true; });
    add(7, "desktop", [](FakeWindow& w) { w.className = "Progman"; });
    add(8, "lower case class", [](FakeWindow& w) { w.className = "progman"; });
    add(9, "Program Manager", [](FakeWindow&) {});
    add(10, "Program Manager ", [](FakeWindow&) {});
    add(11, "flat", [](FakeWindow& w) { w.rect = WindowRect{10, 10, 300, 10}; });
    add(12, "thin", [](FakeWindow& w) { w.rect = WindowRect{10, 10, 10, 300}; });
    add(13, "no rect", [](FakeWindow& w) { w.rect.reset(); });
    add(14, "tray", [](FakeWindow& w) { w.className = "Shell_TrayWnd"; });
    EXPECT_EQ(listedTitles(), (std::vector<std::string>{"Program Manager ", "app only", "lower case class"}));
}

TEST_F(WindowEnumeratorTest, FillsRecordFromWindowFacts) {
    FakeWindow window = titled("Editor");
    window.className = "EditorClass";
    window.rect = WindowRect{-5, 20, 795, 620};
    window.maximized = true;
    window.imagePath = "C:\\dir/app.exe";
    windows->add(0xABCD, window);
    auto list = enumerator->enumerateWindows();
    ASSERT_EQ(list.size(), 1u);
    const auto& info = list[0];
    EXPECT_EQ(info.id, 0xABCDu);
    EXPECT_EQ(info.className, "EditorClass");
    EXPECT_EQ(info.processName, "app.exe");
    EXPECT_EQ(info.x, -5);
    EXPECT_EQ(info.y, 20);
    EXPECT_EQ(info.width, 800);
    EXPECT_EQ(info.height, 600);
    EXPECT_TRUE(info.isMaximized);
    EXPECT_FALSE(info.isMinimized);
    EXPECT_TRUE(info.isVisible);
}

TEST_F(WindowEnumeratorTest, ProcessNameIsLastPathPart) {
    EXPECT_EQ(WindowEnumerator::fileNameOf("app"), "app");
    EXPECT_EQ(WindowEnumerator::fileNameOf("C:\\dir/app.exe"), "app.exe");
    EXPECT_EQ(WindowEnumerator::fileNameOf("C:\\Program Files\\x\\y.exe"), "y.exe");
    EXPECT_EQ(WindowEnumerator::fileNameOf(""), "");
}

TEST_F(WindowEnumeratorTest, IconBecomesBase64PngOfItsPixels) {
    FakeWindow window = titled("With icon");
    window.icon = IconImage{2, 1, {0x10, 0x20, 0x30, 0xFF, 0x01, 0x02, 0x03, 0x80}};
    windows->add(1, window);
    LogRecorder log;
    std::string text = enumerator->getWindowIconBase64(1);
    EXPECT_EQ(text.size() % 4, 0u);
    EXPECT_EQ(text.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
    auto png = base64Decode(text);
    ASSERT_TRUE(png);
    auto image = decodePng(*png);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2u);
    EXPECT_EQ(image->height, 1u);
    EXPECT_EQ(image->bgra, window.icon->bgra);
    EXPECT_EQ(log.countAtLeast(spdlog::level::warn), 0);
}

TEST_F(WindowEnumeratorTest, MissingIconIsSilentAndBrokenIconWarns) {
    windows->add(1, titled("no icon"));
    FakeWindow broken = titled("broken icon");
    broken.icon = IconImage{4, 4, {1, 2, 3}};
    windows->add(0x2f, broken);
    LogRecorder log;
    auto list = enumerator->enumerateWindows();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].iconBase64, "");
    EXPECT_EQ(list[1].iconBase64, "");
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{"getWindowIconBase64: PNG data is empty after encoding for hwnd 2f"}));
}

TEST(WindowEnumeratorUtf8, ConvertsPairsAndRejectsLoneSurrogates) {
    EXPECT_EQ(WindowEnumerator::toUtf8(u"Grüße \U0001F600"), "Grüße \U0001F600");
    EXPECT_EQ(WindowEnumerator::toUtf8(std::u16string(1, char16_t(0xD800))), "");
    EXPECT_EQ(WindowEnumerator::toUtf8(u""), "");
}

}  // namespace
}  // namespace lumivane::host
