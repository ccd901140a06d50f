// The command line: options, defaults and usage errors.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
    static std::vector<std::string> scenes;
    scenes.assign(parsed.line.scenes.begin(), parsed.line.scenes.end());
    for (size_t i = 0; i < scenes.size(); ++i)
        parsed.line.scenes[i] = scenes[i].c_str();
    static std::string camera;
    if (parsed.line.cameraName) {
        camera = parsed.line.cameraName;
        parsed.line.cameraName = camera.c_str();
    }
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
        int32_t ticks;
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
        // "--" ends the options, as the desktop files use it: a scene named like an option.
        {{"--thumbnail", "64", "--output", "t.png", "--", "-oevil.png"},
         ParseResult::Run,
         "-oevil.png",
         false,
         ImageFormat::Png,
         1},
        {{"-o", "a.png", "--", "-"}, ParseResult::Run, "-", false, ImageFormat::Png, 1},
        {{"--", "--info"}, ParseResult::Run, "--info", false, ImageFormat::None, 0},
        // Standard output: PNG, or the format given.
        {{"-o", "-", "box.3ds"}, ParseResult::Run, "box.3ds", false, ImageFormat::Png, 1},
        {{"--format", "gif", "-o", "-"},
         ParseResult::Run,
         "svet.3ds",
         false,
         ImageFormat::Gif,
         100},
        {{"--format=png", "-o", "picture.img"},
         ParseResult::Run,
         "svet.3ds",
         false,
         ImageFormat::Png,
         1},
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
        EXPECT_EQ(parsed.line.ticks, c.ticks);
    }
}

// The view (fixed without a SCENE, fit with one) and the frame size.
TEST(CommandLine, ViewCameraAndSize) {
    struct Case {
        std::vector<std::string> arguments;
        ViewMode view;
        std::string camera;  // "" for none
        int32_t width, height;
    };
    const std::vector<Case> cases = {
        {{}, ViewMode::Fixed, "", 640, 480},
        {{"box.3ds"}, ViewMode::Fit, "", 640, 480},
        {{"--view", "fixed", "box.3ds"}, ViewMode::Fixed, "", 640, 480},
        {{"--view=fit"}, ViewMode::Fit, "", 640, 480},
        {{"--camera", "box.3ds"}, ViewMode::Camera, "", 640, 480},
        {{"--camera=Camera01", "box.3ds"}, ViewMode::Camera, "Camera01", 640, 480},
        {{"-o", "a.png", "--size", "320x200"}, ViewMode::Fixed, "", 320, 200},
        {{"-w", "--size=16X4096", "b.3ds"}, ViewMode::Fit, "", 16, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
        EXPECT_EQ(parsed.line.view, c.view);
        EXPECT_EQ(parsed.line.cameraName ? std::string(parsed.line.cameraName) : "", c.camera);
        EXPECT_EQ(parsed.line.width, c.width);
        EXPECT_EQ(parsed.line.height, c.height);
    }
}

// The bundled scene keeps its wireframe; a named scene, a folder's and a thumbnail are
// shaded; --render chooses.
TEST(CommandLine, RenderModeByDefaultAndAsAsked) {
    struct Case {
        std::vector<std::string> arguments;
        RenderMode render;
    };
    const std::vector<Case> cases = {
        {{}, RenderMode::Wireframe},
        {{"-o", "a.gif"}, RenderMode::Wireframe},
        {{"box.3ds"}, RenderMode::Shaded},
        {{"-o", "thumbs/", "a.3ds", "b.3ds"}, RenderMode::Shaded},
        {{"--thumbnail", "128", "-o", "t.png"}, RenderMode::Shaded},
        {{"--render", "wireframe", "--view", "fixed", "box.3ds"}, RenderMode::Wireframe},
        {{"--render=shaded"}, RenderMode::Shaded},
        {{"--render", "edges", "-w", "box.3ds"}, RenderMode::Edges},
        {{"--render", "hidden-line", "-o", "a.png", "box.3ds"}, RenderMode::HiddenLine},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
        EXPECT_EQ(parsed.line.render, c.render);
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
        {{"-o", "turn.bmp"},
         "cannot tell the image format of 'turn.bmp': name it .png or .gif, or give --format"},
        {{"-o", ".png"},
         "cannot tell the image format of '.png': name it .png or .gif, or give --format"},
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
        {{"--info", "a.3ds", "b.3ds"},
         "more than one scene given ('b.3ds'); --info and --chunks take one"},
        {{"--chunks", "a.3ds", "dir/"},
         "more than one scene given ('dir/'); --info and --chunks take one"},
        {{"a.3ds", ""}, "the scene file name is empty"},
        {{"-o", "a.png", "a.3ds", "b.3ds"},
         "more than one scene given ('b.3ds'); several scenes need --output FOLDER/"},
        {{"-o", "thumbs/", "a.3ds", ""}, "the scene file name is empty"},
        {{"--thumbnail", "128", "a.3ds"}, "--thumbnail applies only with --output"},
        {{"--thumbnail", "128", "--size", "64x64", "-o", "t.png", "a.3ds"},
         "--thumbnail N draws N x N: no --size with it"},
        {{"--thumbnail", "15", "-o", "t.png"},
         "--thumbnail needs a size from 16 to 4096, not '15'"},
        {{"--thumbnail", "128x128", "-o", "t.png"},
         "--thumbnail needs a size from 16 to 4096, not '128x128'"},
        {{"-w", "-o", "a.png"}, "--windowed and --output exclude each other"},
        {{""}, "the scene file name is empty"},
        // What the user typed is echoed with its control and non-ASCII bytes escaped.
        {{"--\x1b[2J\n"}, "unknown option '--\\x1b[2J\\x0a'"},
        {{"-\x1b"}, "unknown option '-\\x1b'"},
        {{"-i", "a.3ds", "b\r\x9b.3ds"},
         "more than one scene given ('b\\x0d\\x9b.3ds'); --info and --chunks take one"},
        {{"-o", "\x1b]0;x\x07.bmp"},
         "cannot tell the image format of '\\x1b]0;x\\x07.bmp': name it .png or .gif, or give "
         "--format"},
        {{"-o", "a.png", "--frames", "1\n"},
         "--frames needs a whole number from 1 to 1000000, not '1\\x0a'"},
        {{"-o", "a.png", "--size", "15x100"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not '15x100'"},
        {{"-o", "a.png", "--size", "4097x10"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not '4097x10'"},
        {{"-o", "a.png", "--size", "640x"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not '640x'"},
        {{"-o", "a.png", "--size", "x480"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not 'x480'"},
        {{"-o", "a.png", "--size", "640"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not '640'"},
        {{"-o", "a.png", "--size", "+64x64"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not '+64x64'"},
        {{"-o", "a.png", "--size", "64x 64"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not '64x 64'"},
        {{"-o", "a.png", "--size", "0064x64x"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not '0064x64x'"},
        {{"-o", "a.png", "--size", "64x-64"},
         "--size needs WIDTHxHEIGHT, each from 16 to 4096, not '64x-64'"},
        {{"--view", "top"}, "--view is fit or fixed, not 'top'"},
        {{"--view=fit", "--camera"}, "--view and --camera exclude each other"},
        {{"--camera=", "a.3ds"}, "--camera= needs a camera name (or use --camera alone)"},
        {{"--size", "640x480"},
         "--size applies only with --output or --windowed (full screen takes the screen's "
         "size)"},
        {{"-i", "--view", "fit"},
         "--view, --camera, --size, --up and --render apply to the viewer and --output, not to "
         "--info"},
        {{"--chunks", "--camera"},
         "--view, --camera, --size, --up and --render apply to the viewer and --output, not to "
         "--chunks"},
        {{"--textures", "/nonexistent folder\x1b"},
         "--textures needs a folder; '/nonexistent folder\\x1b' is not one"},
        {{"--texture-memory", "0"},
         "--texture-memory needs a whole number of MiB from 1 to 65536, not '0'"},
        {{"--texture-memory", "65537"},
         "--texture-memory needs a whole number of MiB from 1 to 65536, not '65537'"},
        {{"--texture-memory", "512M"},
         "--texture-memory needs a whole number of MiB from 1 to 65536, not '512M'"},
        {{"--texture-memory", ""},
         "--texture-memory needs a whole number of MiB from 1 to 65536, not ''"},
        {{"--chunks", "--no-textures", "a.3ds"},
         "--textures, --no-textures and --texture-memory apply to the viewer, --output and "
         "--info, not to --chunks"},
        {{"--export", "a.glb", "--textures", ".", "a.3ds"},
         "--textures, --no-textures and --texture-memory apply to the viewer, --output and "
         "--info, not to --export"},
        {{"--export", "a.glb", "--frames", "5", "a.3ds"},
         "--export stands alone: no --output, --info, --chunks, --windowed, --animate, "
         "--frame, --frames, --view, --camera, --size, --render, --thumbnail, --format or "
         "--max-faces"},
        {{"--json", "--up", "y", "a.3ds"},
         "--view, --camera, --size, --up and --render apply to the viewer and --output, not to "
         "--info"},
        // A value given to an option that takes none is named as typed.
        {{"--info=yes", "a.3ds"}, "--info takes no value"},
        {{"--windowed=1"}, "--windowed takes no value"},
        {{"--json=true", "a.3ds"}, "--json takes no value"},
        {{"--animate=", "a.3ds"}, "--animate takes no value"},
        // --json is --info --json, so it stands alone as --info does.
        {{"--json", "--chunks", "a.3ds"},
         "--info and --chunks stand alone: no --output, --windowed or each other"},
        {{"--json", "-o", "a.png", "a.3ds"},
         "--info and --chunks stand alone: no --output, --windowed or each other"},
        {{"--json", "a.3ds", "b.3ds"},
         "more than one scene given ('b.3ds'); --info and --chunks take one"},
        // A camera's name after --camera is read as a scene: said so, with the way to write it.
        {{"--camera", "Camera01", "-o", "c.png", "no-such-scene-here.3ds"},
         "'Camera01' is not a scene file; to look through the camera of that name, write "
         "--camera=Camera01"},
        {{"--camera", "Camera01", "no-such-scene-here.3ds"},
         "'Camera01' is not a scene file; to look through the camera of that name, write "
         "--camera=Camera01"},
        {{"--up", "x", "a.3ds"}, "--up is y or z (the file's axis that points up), not 'x'"},
        {{"--up", "y"},
         "--up y turns the fit and camera views; the fixed view (no SCENE, or --view fixed) "
         "keeps the file's z up"},
        {{"--up", "y", "--view", "fixed", "a.3ds"},
         "--up y turns the fit and camera views; the fixed view (no SCENE, or --view fixed) "
         "keeps the file's z up"},
        {{"--format", "bmp", "-o", "-"}, "--format is png or gif, not 'bmp'"},
        {{"--format", "png"}, "--format applies only with --output FILE (a thumbnail is a PNG)"},
        {{"--format", "gif", "--thumbnail", "64", "-o", "t"},
         "--format applies only with --output FILE (a thumbnail is a PNG)"},
        {{"--max-memory", "1M"},
         "--max-memory needs a size from 16M to 1024T (a number of bytes, or with K, M, G or "
         "T), not '1M'"},
        {{"--max-memory", "2Q"},
         "--max-memory needs a size from 16M to 1024T (a number of bytes, or with K, M, G or "
         "T), not '2Q'"},
        {{"--max-memory", "-5G"},
         "--max-memory needs a size from 16M to 1024T (a number of bytes, or with K, M, G or "
         "T), not '-5G'"},
        {{"--max-faces", "0"}, "--max-faces needs a whole number from 1 to 1099511627776, not '0'"},
        {{"--max-faces", "1e9"},
         "--max-faces needs a whole number from 1 to 1099511627776, not '1e9'"},
        {{"--info", "--max-faces", "10"},
         "--max-faces applies to the viewer and --output, which draw"},
        {{"-i", "--render", "shaded", "a.3ds"},
         "--view, --camera, --size, --up and --render apply to the viewer and --output, not to "
         "--info"},
        {{"--render", "solid", "a.3ds"},
         "--render is wireframe, shaded, edges or hidden-line, not 'solid'"},
        {{"--render", "\x1b[2J"},
         "--render is wireframe, shaded, edges or hidden-line, not '\\x1b[2J'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        EXPECT_EQ(parsed.result, ParseResult::UsageError);
        EXPECT_EQ(parsed.error, c.error);
    }
}

// --json alone is the report as JSON; --up and --size are kept for the viewer and output.
TEST(CommandLine, JsonAloneUpAndAWindowsFirstSize) {
    struct Case {
        std::vector<std::string> arguments;
        bool info, json;
        UpAxis up;
        bool sizeGiven;
        ViewMode view;
    };
    const std::vector<Case> cases = {
        {{"--json", "a.3ds"}, true, true, UpAxis::FileZ, false, ViewMode::Fit},
        {{"--info", "--json", "a.3ds"}, true, true, UpAxis::FileZ, false, ViewMode::Fit},
        {{"--up", "y", "a.3ds"}, false, false, UpAxis::FileY, false, ViewMode::Fit},
        {{"--up=z", "--view", "fixed"}, false, false, UpAxis::FileZ, false, ViewMode::Fixed},
        {{"--up", "Y", "--camera", "-o", "a.png", "a.3ds"},
         false,
         false,
         UpAxis::FileY,
         false,
         ViewMode::Camera},
        {{"-w", "--size", "800x600", "a.3ds"}, false, false, UpAxis::FileZ, true, ViewMode::Fit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
        EXPECT_EQ(parsed.line.info, c.info);
        EXPECT_EQ(parsed.line.json, c.json);
        EXPECT_EQ(parsed.line.up, c.up);
        EXPECT_EQ(parsed.line.sizeGiven, c.sizeGiven);
        EXPECT_EQ(parsed.line.view, c.view);
    }
    // A --camera NAME where NAME is a file that exists stays a list of scenes.
    const char* tmp = std::getenv("TRELLIS_TEST_TMP");
    const std::string existing = tmp ? tmp : "/tmp";
    Parsed parsed = Parse({"--camera", existing, "a.3ds"});
    ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
    EXPECT_EQ(parsed.line.scenes.size(), 2u);
    // ... but where one scene is wanted, the error still says how to name a camera.
    parsed = Parse({"--camera", existing, "-o", "c.png", "a.3ds"});
    EXPECT_EQ(parsed.result, ParseResult::UsageError);
    EXPECT_EQ(parsed.error,
              "more than one scene given ('a.3ds'); several scenes need --output "
              "FOLDER/ (for the camera '" +
                  existing + "', write --camera=" + existing + ")");
}

// --output naming a folder (a trailing '/', or a folder that exists) takes any number of
// scenes and writes a PNG for each; a file name keeps taking one scene.
TEST(CommandLine, OutputFolderTakesManyScenes) {
    const char* tmp = std::getenv("TRELLIS_TEST_TMP");
    const std::string existing = tmp ? tmp : "/tmp";
    struct Case {
        std::vector<std::string> arguments;
        bool folder;
        size_t scenes;
        std::string firstScene;
    };
    const std::vector<Case> cases = {
        {{"-o", "thumbs/", "a.3ds", "b.3ds", "c.3ds"}, true, 3, "a.3ds"},
        {{"--output=thumbs/", "--size", "256x256", "a.3ds"}, true, 1, "a.3ds"},
        {{"-o", "thumbs/"}, true, 0, "svet.3ds"},
        {{"-o", existing, "a.3ds", "b.3ds"}, true, 2, "a.3ds"},
        {{"-o", "pictures.png/", "a.3ds"}, true, 1, "a.3ds"},
        {{"-o", "a.png", "a.3ds"}, false, 1, "a.3ds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
        EXPECT_EQ(parsed.line.outputFolder, c.folder);
        EXPECT_EQ(parsed.line.outputFormat, ImageFormat::Png);
        EXPECT_EQ(parsed.line.scenes.size(), c.scenes);
        EXPECT_EQ(parsed.line.sceneFile, c.firstScene);
        EXPECT_EQ(parsed.line.ticks, 1);
    }
}

// --thumbnail N: an N x N PNG whatever the output file is named (file managers choose it).
TEST(CommandLine, ThumbnailIsASquarePng) {
    struct Case {
        std::vector<std::string> arguments;
        int32_t side;
    };
    const std::vector<Case> cases = {
        {{"--thumbnail", "128", "--output", "/tmp/x.png", "a.3ds"}, 128},
        {{"--thumbnail=256", "-o", "/tmp/thumbnail-XXXXXX", "a.3ds"}, 256},
        {{"--thumbnail", "16", "-o", "t.gif", "a.3ds"}, 16},
        {{"--thumbnail", "4096", "-o", "thumbs/", "a.3ds", "b.3ds"}, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
        EXPECT_EQ(parsed.line.thumbnail, c.side);
        EXPECT_EQ(parsed.line.width, c.side);
        EXPECT_EQ(parsed.line.height, c.side);
        EXPECT_EQ(parsed.line.outputFormat, ImageFormat::Png);
        EXPECT_EQ(parsed.line.ticks, 1);
        EXPECT_EQ(parsed.line.view, ViewMode::Fit);
    }
}

// The budgets of memory and of a frame's faces.
TEST(CommandLine, MemoryAndFaceBudgets) {
    struct Case {
        std::vector<std::string> arguments;
        int64_t maxMemory;
        int64_t maxFaces;
    };
    const std::vector<Case> cases = {
        {{}, 0, kDefaultMaxFrameFaces},
        {{"--max-memory", "1G"}, int64_t{1} << 30, kDefaultMaxFrameFaces},
        {{"--max-memory=512MiB", "-i", "a.3ds"}, int64_t{512} << 20, 0},
        {{"--max-memory", "16777216"}, int64_t{16} << 20, kDefaultMaxFrameFaces},
        {{"--max-memory", "2t", "--max-faces", "7"}, int64_t{2} << 40, 7},
        {{"-o", "a.gif", "--max-faces=1000000000"}, 0, 1000000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        Parsed parsed = Parse(c.arguments);
        ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
        EXPECT_EQ(parsed.line.maxMemory, c.maxMemory);
        if (c.maxFaces != 0) {
            EXPECT_EQ(parsed.line.maxFrameFaces, c.maxFaces);
        }
    }
}

// Maps: folders searched in the order given, decoding held back, the memory for them.
TEST(CommandLine, TextureOptions) {
    const char* tmp = std::getenv("TRELLIS_TEST_TMP");
    const std::string folder = tmp ? tmp : "/tmp";
    Parsed parsed = Parse({"--textures", folder, "--textures=/", "--no-textures",
                           "--texture-memory", "64", "-o", "a.png", "a.3ds"});
    ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
    ASSERT_EQ(parsed.line.textureFolders.size(), 2u);
    EXPECT_TRUE(parsed.line.noTextures);
    EXPECT_EQ(parsed.line.textureMemoryMiB, 64);
    parsed = Parse({"--info", "a.3ds"});
    ASSERT_EQ(parsed.result, ParseResult::Run) << parsed.error;
    EXPECT_TRUE(parsed.line.textureFolders.empty());
    EXPECT_FALSE(parsed.line.noTextures);
    EXPECT_EQ(parsed.line.textureMemoryMiB, 512);
}

}  // namespace
