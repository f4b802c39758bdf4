#include "app/Settings.h"

#include "fakes/Environment.h"
#include "fakes/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lumivane::host {
namespace {

namespace fs = std::filesystem;

// Points the settings folder's variable at a fresh folder for one test and restores the
// environment.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("lv_settings_" + std::to_string(currentProcessId()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        setEnvironmentVariable(settingsHomeVariable(), root_.string());
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path file() const { return root_ / "Lumivane" / "settings.json"; }
    void write(const std::string& text) {
        fs::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << text;
    }
    std::string read() const {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    fs::path root_;
    LogCapture log_;


private:
    SavedEnvironment saved_{{settingsHomeVariable(), "HOME"}};
};

void expectDefaults(const Settings& s) {
    EXPECT_EQ(s.signalingPort, 9876);
    EXPECT_EQ(s.videoPort, 9944);
    EXPECT_EQ(s.audioPort, 9945);
    EXPECT_EQ(s.inputPort, 9946);
    EXPECT_EQ(s.targetBitrate, 20000u);
    EXPECT_EQ(s.maxBitrate, 50000u);
    EXPECT_EQ(s.targetFps, 72u);
    EXPECT_EQ(s.preferredEncoder, "nvenc");
    EXPECT_TRUE(s.answerDiscovery) << "files from before the setting keep answering";
}

TEST_F(SettingsTest, SavesExactBytesWithSortedKeys) {
    Settings s;
    s.preferredEncoder = "amf \xC3\xA9";  // non-ASCII stays unescaped
    ASSERT_TRUE(s.save());
    EXPECT_EQ(read(),
              "{\n"
              "    \"answerDiscovery\": true,\n"
              "    \"audioPort\": 9945,\n"
              "    \"inputPort\": 9946,\n"
              "    \"maxBitrate\": 50000,\n"
              "    \"preferredEncoder\": \"amf \xC3\xA9\",\n"
              "    \"signalingPort\": 9876,\n"
              "    \"targetBitrate\": 20000,\n"
              "    \"targetFps\": 72,\n"
              "    \"videoPort\": 9944\n"
              "}");
    EXPECT_TRUE(log_.contains("Settings saved to " + file().string()));
    EXPECT_FALSE(fs::exists(file().string() + ".tmp"));
}

TEST_F(SettingsTest, RoundTripReproducesEveryField) {
    Settings s;
    s.signalingPort = 1;
    s.videoPort = 2;
    s.audioPort = 3;
    s.inputPort = 65535;
    s.targetBitrate = 4000000000u;
    s.maxBitrate = 6;
    s.targetFps = 90;
    s.preferredEncoder = "software";
    s.answerDiscovery = false;
    ASSERT_TRUE(s.save());
    s.save();  // a second save replaces the first

    Settings loaded;
    ASSERT_TRUE(loaded.load());
    EXPECT_EQ(loaded.signalingPort, 1);
    EXPECT_EQ(loaded.videoPort, 2);
    EXPECT_EQ(loaded.audioPort, 3);
    EXPECT_EQ(loaded.inputPort, 65535);
    EXPECT_EQ(loaded.targetBitrate, 4000000000u);
    EXPECT_EQ(loaded.maxBitrate, 6u);
    EXPECT_EQ(loaded.targetFps, 90u);
    EXPECT_EQ(loaded.preferredEncoder, "software");
    EXPECT_FALSE(loaded.answerDiscovery);
    EXPECT_TRUE(log_.contains("Settings loaded from " + file().string()));
}

TEST_F(SettingsTest, PartialAndOddFilesLoad) {
    write(R"({"targetFps": 90, "unknown": [1, 2]})");
    Settings s;
    ASSERT_TRUE(s.load());
    EXPECT_EQ(s.targetFps, 90u);
    s.targetFps = 72;
    expectDefaults(s);

    write(R"({"signalingPort": 70000, "videoPort": -1, "audioPort": 9000.9})");
    ASSERT_TRUE(s.load());
    EXPECT_EQ(s.signalingPort, 4464);  // plain cast, no range check
    EXPECT_EQ(s.videoPort, 65535);
    EXPECT_EQ(s.audioPort, 9000);

    Settings fromArray;
    write("[1, 2, 3]");
    EXPECT_TRUE(fromArray.load());
    expectDefaults(fromArray);
}

TEST_F(SettingsTest, BadFilesFailWithTheLibraryMessage) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {R"({"videoPort": "9944"})", "type must be number, but is string"},
        {R"({"videoPort": true})", "type must be number, but is boolean"},
        {R"({"preferredEncoder": 5})", "type must be string, but is number"},
        {R"({"answerDiscovery": 0})", "type must be boolean, but is number"},
        {R"({"targetFps": 1e300})", "number out of range"},
        {R"({"targetFps": 90, /* no comments */ })", "parse error"},
        {R"({"targetFps": 90} trailing)", "parse error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        write(c.text);
        log_.clear();
        Settings s;
        EXPECT_FALSE(s.load());
        EXPECT_TRUE(log_.contains("Failed to load settings: ")) << log_.text();
        EXPECT_TRUE(log_.contains(c.message)) << log_.text();
    }
}

TEST_F(SettingsTest, MissingFileFailsSilently) {
    Settings s;
    EXPECT_FALSE(s.load());
    EXPECT_TRUE(log_.text().empty()) << log_.text();
    EXPECT_TRUE(fs::is_directory(file().parent_path()));  // the folder is made on every lookup
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(SettingsTest, FolderThatCannotBeMadeFailsBothWays) {
    std::ofstream(root_ / "Lumivane") << "a file where the folder should be";
    Settings s;
    EXPECT_FALSE(s.load());
    EXPECT_TRUE(log_.contains("create directories")) << log_.text();
    EXPECT_FALSE(s.save());
    EXPECT_TRUE(log_.contains("Failed to save settings: ")) << log_.text();
}

TEST_F(SettingsTest, FailedSaveKeepsTheOldFile) {
    Settings s;
    s.targetFps = 90;
    ASSERT_TRUE(s.save());
    const std::string before = read();

    // A folder in the temporary file's place makes the write fail before the rename.
    fs::create_directory(file().string() + ".tmp");
    s.targetFps = 30;
    EXPECT_FALSE(s.save());
    EXPECT_TRUE(log_.contains("Failed to open settings file for writing")) << log_.text();
    EXPECT_EQ(read(), before);
    EXPECT_EQ(s.targetFps, 30u);  // the running host keeps the new value
}

}  // namespace
}  // namespace lumivane::host
