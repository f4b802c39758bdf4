#include "ClientOptions.h"

#include <gtest/gtest.h>

namespace lumivane::client {
namespace {

ParsedOptions parse(std::vector<std::string> args) { return parseOptions(args); }

TEST(ClientOptionsTest, AStreamCommandLineIsReadWhole) {
    auto p = parse({"stream", "--window", "3a00007", "--frames=100", "--seconds", "2.5", "--save", "/tmp/f", "--every",
                    "25", "--resize", "800x600", "--feedback", "0-5 rtt=80", "--input-script", "click", "--json"});
    ASSERT_EQ(p.error, "");
    const auto& o = p.options;
    EXPECT_EQ(o.command, Command::Stream);
    ASSERT_EQ(o.windows.size(), 1u);
    EXPECT_EQ(o.windows[0].id, 0x3a00007u) << "ids are hexadecimal, as the list prints them";
    EXPECT_EQ(o.frames, 100u);
    EXPECT_DOUBLE_EQ(o.seconds, 2.5);
    EXPECT_EQ(o.saveEvery, 25u);
    EXPECT_EQ(o.resize, (std::pair<std::uint32_t, std::uint32_t>{800, 600}));
    EXPECT_EQ(o.feedbackSchedule->at(1).rttMs, 80);
    EXPECT_EQ(o.inputs.at(0).commands().size(), 1u);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(parse({"stream", "--window", "0x10"}).options.windows.at(0).id, 0x10u);
}

TEST(ClientOptionsTest, SeveralWindowsKeepTheirOrderAndTakeOneScriptEachOrOneForAll) {
    auto p = parse({"stream", "--title", "Editor", "--window", "2a", "--input-script", "click", "--input-script",
                    "key enter; type \"x\""});
    ASSERT_EQ(p.error, "");
    const auto& w = p.options.windows;
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].title, "Editor");
    EXPECT_FALSE(w[0].id);
    EXPECT_EQ(w[1].id, 0x2au);
    ASSERT_EQ(p.options.inputs.size(), 2u);
    EXPECT_EQ(p.options.inputs[1].commands().size(), 2u) << "scripts pair with windows in order";
    EXPECT_EQ(parse({"stream", "--title", "a", "--title", "b", "--input-script", "click"}).error, "");
    EXPECT_NE(parse({"stream", "--title", "a", "--title", "b", "--title", "c", "--input-script", "click",
                     "--input-script", "click"})
                  .error.find("one input script for every window"),
              std::string::npos);
}

TEST(ClientOptionsTest, MistakesAreRefusedWithAReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "no command"},
        {{"play"}, "unknown command"},
        {{"stream"}, "stream needs a window"},
        {{"stream", "--title", "x", "--frames"}, "--frames expects a value"},
        {{"stream", "--title", "x", "--frames", "0"}, "--frames expects a number"},
        {{"stream", "--title", "x", "--seconds", "-1"}, "--seconds expects seconds"},
        {{"stream", "--title", "x", "--resize", "800"}, "--resize expects WIDTHxHEIGHT"},
        {{"stream", "--title", "x", "--every", "5"}, "--every needs --save"},
        {{"stream", "--title", "x", "--input-script", "fly"}, "input script line 1: unknown command 'fly'"},
        {{"stream", "--title", "x", "--input", "/nonexistent/script"}, "cannot read /nonexistent/script"},
        {{"stream", "--title", "x", "--no-feedback", "--feedback-rtt", "5"}, "--no-feedback contradicts"},
        {{"stream", "--title", "x", "--no-audio", "--audio-out", "a.wav"}, "--audio-out needs"},
        {{"stream", "--window", "xyz"}, "hexadecimal"},
        {{"list", "--frames", "3"}, "option not used by 'list': --frames"},
        {{"discover", "--port", "3"}, "option not used by 'discover'"},
        {{"list", "--json=yes"}, "--json takes no value"},
        {{"list", "--port", "70000"}, "--port expects a number from 1 to 65535"},
        {{"list", "--bogus"}, "unknown option --bogus"},
    };
    for (const auto& [args, expected] : cases) {
        const auto p = parse(args);
        EXPECT_NE(p.error.find(expected), std::string::npos) << "got: " << p.error << " / wanted: " << expected;
    }
}

TEST(ClientOptionsTest, HelpWinsAnywhere) {
    EXPECT_EQ(parse({"--help"}).options.command, Command::Help);
    EXPECT_EQ(parse({"stream", "--bogus-later", "-h"}).error.empty(), false) << "options are read in order";
    EXPECT_EQ(parse({"list", "-h", "--bogus"}).options.command, Command::Help);
    EXPECT_NE(std::string(helpText()).find("--feedback SCHEDULE"), std::string::npos);
}

}  // namespace
}  // namespace lumivane::client
