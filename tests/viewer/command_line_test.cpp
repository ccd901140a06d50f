// The command line: options, defaults and usage errors.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    ParseResult result;
    CommandLine line;
    std::string error;
};

// The arguments as one line, for the trace of a failing case.
std::string Joined(const std::vector<std::string>& arguments) {
    std::string joined;
    for (const std::string& a : arguments)
        joined += a + " ";
    return joined;
}

Parsed Parse(std::vector<std::string> arguments) {
    std::string program = "trellis";
    std::vector<char*> argv = {program.data()};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    Parsed parsed{};
    parsed.result =
        ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), parsed.line, parsed.error);
    // The strings die with `arguments`; keep only what tests compare.
    static std::string scene;
    scene = parsed.line.sceneFile;
    parsed.line.sceneFile = scene.c_str();
    parsed.line.outputFile = parsed.line.outputFile ? "set" : nullptr;
    parsed.line.scenes.clear();
    return parsed;
}

TEST(CommandLine, TheViewerTakesSeveralScenesInOrder) {
    std::vector<std::string> arguments = {"trellis", "-w", "b.3ds", "models/", "a.3ds"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    CommandLine line;
    std::string error;
    ASSERT_EQ(ParseCommandLine(static_cast<int>(argv.size()), argv.data(), line, error),
              ParseResult::Run)
        << error;
    ASSERT_EQ(line.scenes.size(), 3u);
    EXPECT_STREQ(line.scenes[0], "b.3ds");
    EXPECT_STREQ(line.scenes[1], "models/");
    EXPECT_STREQ(line.scenes[2], "a.3ds");
    EXPECT_STREQ(line.sceneFile, "b.3ds");
}

TEST(CommandLine, AcceptedLines) {
    struct Case {
        std::vector<std::string> arguments;
        ParseResult result;
        std::string scene;
        bool windowed;
        ImageFormat format;
        int32_t frames;
    };
    const std::vector<Case> cases = {
        {{}, ParseResult::Run, "svet.3ds", false, ImageFormat::None, 0},
        {{"box.3ds"}, ParseResult::Run, "box.3ds", false, ImageFormat::None, 0},
        {{"-w"}, ParseResult::Run, "svet.3ds", true, ImageFormat::None, 0},
        {{"box.3ds", "--windowed"}, ParseResult::Run, "box.3ds", true, ImageFormat::None, 0},
        {{"-o", "turn.png"}, ParseResult::Run, "svet.3ds", false, ImageFormat::Png, 1},
        {{"--output=turn.GIF", "box.3ds"},
         ParseResult::Run,
         "box.3ds",
         false,
         ImageFormat::Gif,
         100},
        {{"-o", "a.gif", "--frames", "7"},
         ParseResult::Run,
         "svet.3ds",
         false,
         ImageFormat::Gif,
         7},
        {{"--frames=1000000", "--output", "a.png"},
         ParseResult::Run,
         "svet.3ds",
         false,
         ImageFormat::Png,
         1000000},
        {{"--", "-odd name.3ds"}, ParseResult::Run, "-odd name.3ds", false, ImageFormat::None, 0},
        {{"-h"}, ParseResult::Help, "svet.3ds", false, ImageFormat::None, 0},
        {{"box.3ds", "--help"}, ParseResult::Help, "svet.3ds", false, ImageFormat::None, 0},
        {{"-V"}, ParseResult::Version, "svet.3ds", false, ImageFormat::None, 0},
        {{"--version"}, ParseResult::Version, "svet.3ds", false, ImageFormat::None, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        EXPECT_EQ(parsed.result, c.result);
        EXPECT_EQ(parsed.error, "");
        if (c.result != ParseResult::Run) continue;
        EXPECT_EQ(parsed.line.sceneFile, c.scene);
        EXPECT_EQ(parsed.line.windowed, c.windowed);
        EXPECT_EQ(parsed.line.outputFormat, c.format);
        EXPECT_EQ(parsed.line.outputFile != nullptr, c.format != ImageFormat::None);
        EXPECT_EQ(parsed.line.frames, c.frames);
    }
}

TEST(CommandLine, UsageErrorsSayWhy) {
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-o"}, "option '-o' needs an argument"},
        {{"--output"}, "option '--output' needs an argument"},
        {{"--frames", "5"}, "--frames applies only with --output"},
        {{"-o", "turn.bmp"}, "cannot tell the image format of 'turn.bmp': name it .png or .gif"},
        {{"-o", ".png"}, "cannot tell the image format of '.png': name it .png or .gif"},
        {{"-o", "a.png", "--frames", "0"},
         "--frames needs a whole number from 1 to 1000000, "
         "not '0'"},
        {{"-o", "a.png", "--frames", "-3"},
         "--frames needs a whole number from 1 to 1000000, "
         "not '-3'"},
        {{"-o", "a.png", "--frames", "5x"},
         "--frames needs a whole number from 1 to 1000000, "
         "not '5x'"},
        {{"-o", "a.png", "--frames", "1000001"},
         "--frames needs a whole number from 1 to 1000000, not '1000001'"},
        {{"-o", "a.png", "--frames", "99999999999999999999"},
         "--frames needs a whole number from 1 to 1000000, not '99999999999999999999'"},
        {{"-o", "a.png", "a.3ds", "b.3ds"},
         "more than one scene given ('b.3ds'); --output, --info and --chunks take one"},
        {{"--info", "a.3ds", "b.3ds"},
         "more than one scene given ('b.3ds'); --output, --info and --chunks take one"},
        {{"--chunks", "a.3ds", "dir/"},
         "more than one scene given ('dir/'); --output, --info and --chunks take one"},
        {{"a.3ds", ""}, "the scene file name is empty"},
        {{"-w", "-o", "a.png"}, "--windowed and --output exclude each other"},
        {{""}, "the scene file name is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        EXPECT_EQ(parsed.result, ParseResult::UsageError);
        EXPECT_EQ(parsed.error, c.error);
    }
}

}  // namespace
