// The --output writers: PNG holds the last frame exactly, GIF every frame as a looping
// animation (decoded with its frames' positions, disposal and transparency, exactly);
// failures leave no partial file and keep an existing one.
#include "app/image_output.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/shell.h"
#include "display/display.h"
#include "platform/headless/headless.h"

#include "image_files.h"
#include "program_run.h"

namespace {

namespace fs = std::filesystem;

// The permissions a new file gets under the process's umask.
fs::perms UsualPermissions() {
    mode_t mask = umask(0);
    umask(mask);
    return static_cast<fs::perms>(0666 & ~mask);
}

fs::path TempDir() {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "image_output";
    fs::create_directories(dir);
    return dir;
}

using Frame = std::vector<uint32_t>;

// Frames of the viewer's two colours, and one with a third.
const Frame kFrames[] = {
    {0, 0x0064FF96, 0, 0, 0, 0x0064FF96, 0, 0, 0, 0, 0, 0},
    {0x0064FF96, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0064FF96},
    {0, 0, 0x00FF0000, 0, 0, 0x0064FF96, 0, 0, 0, 0, 0x000000FF, 0},
};

TEST(ImageOutput, PngHoldsTheLastFrameExactly) {
    const fs::path path = TempDir() / "last.png";
    fs::remove(path);
    ImageOutput output;
    std::string error;
    ASSERT_TRUE(OpenImageOutput(output, path.c_str(), ImageFormat::Png, error)) << error;
    for (const Frame& frame : kFrames)
        WriteImageFrame(output, frame.data(), 4, 3);
    EXPECT_FALSE(fs::exists(path));  // only the temporary file until it is complete
    ASSERT_TRUE(FinishImageOutput(output, error)) << error;
    int32_t width = 0, height = 0;
    EXPECT_EQ(ReadPng(path, width, height), kFrames[2]);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 3);
    EXPECT_FALSE(fs::exists(output.out.tempPath));
    EXPECT_EQ(fs::status(path).permissions(), UsualPermissions());
}

TEST(ImageOutput, GifHoldsEveryFrameTwentyMillisecondsApartLooping) {
    const fs::path path = TempDir() / "turn.gif";
    fs::remove(path);
    ImageOutput output;
    std::string error;
    ASSERT_TRUE(OpenImageOutput(output, path.c_str(), ImageFormat::Gif, error)) << error;
    for (const Frame& frame : kFrames)
        WriteImageFrame(output, frame.data(), 4, 3);
    ASSERT_TRUE(FinishImageOutput(output, error)) << error;
    GifContents gif = ReadGif(path);
    EXPECT_EQ(gif.width, 4);
    EXPECT_EQ(gif.height, 3);
    ASSERT_EQ(gif.frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(gif.frames[i], kFrames[i]) << "frame " << i;
    EXPECT_EQ(gif.delays, (std::vector<int>{2, 2, 2}));
    EXPECT_TRUE(gif.loopsForever);
    EXPECT_EQ(fs::status(path).permissions(), UsualPermissions());
}

// Later frames store only what changed: whatever changes, or does not, from frame to frame,
// every decoded frame equals the one written.
TEST(ImageOutput, GifFramesDecodeExactlyWhateverChanges) {
    constexpr int32_t kSize = 16;
    constexpr uint32_t kGreen = 0x0064FF96;
    auto frame = [](auto pixel) {
        Frame f(kSize * kSize);
        for (int32_t y = 0; y < kSize; ++y)
            for (int32_t x = 0; x < kSize; ++x)
                f[static_cast<size_t>(y * kSize + x)] = pixel(x, y);
        return f;
    };
    // A picture that stands still but for a dot that crosses it: the changed rectangle
    // holds mostly unchanged stripes, so transparency pays.
    auto striped = [&](int32_t dot) {
        return frame([=](int32_t x, int32_t y) {
            if (x == dot && y == dot) return 0x00FF0000u;
            return (x + y) % 3 == 0 ? kGreen : 0u;
        });
    };
    Frame many = frame([](int32_t x, int32_t y) { return static_cast<uint32_t>(y * kSize + x); });
    Frame manyShifted = many;
    std::swap(manyShifted[3], manyShifted[200]);
    const Frame black(kSize * kSize, 0);
    Frame dot = black;
    dot[5 * kSize + 7] = kGreen;
    Frame blue = dot;
    blue[9 * kSize + 2] = 0x000000FF;  // not in the first frame's palette
    struct Case {
        const char* name;
        std::vector<Frame> frames;
    };
    const std::vector<Case> cases = {
        {"a dot crossing stripes", {striped(0), striped(1), striped(2), striped(15)}},
        {"nothing changes", {dot, dot, dot}},
        {"a new colour, then back", {dot, blue, dot, black}},
        {"256 colours, none spare", {many, manyShifted, many, many}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = TempDir() / "changes.gif";
        fs::remove(path);
        ImageOutput output;
        std::string error;
        ASSERT_TRUE(OpenImageOutput(output, path.c_str(), ImageFormat::Gif, error)) << error;
        for (const Frame& f : c.frames)
            WriteImageFrame(output, f.data(), kSize, kSize);
        ASSERT_TRUE(FinishImageOutput(output, error)) << error;
        GifContents gif = ReadGif(path);
        ASSERT_EQ(gif.frames.size(), c.frames.size());
        for (size_t i = 0; i < c.frames.size(); ++i)
            EXPECT_EQ(gif.frames[i], c.frames[i]) << "frame " << i;
        EXPECT_EQ(gif.delays, std::vector<int>(c.frames.size(), 2));
    }
}

// A frame of more than 256 colours (a shaded scene) is reduced to 256 of its own, close to
// the frame, the same file on every run; a frame of few colours after it stays exact.
TEST(ImageOutput, GifFramesOfManyColoursAreReducedCloselyAndAlike) {
    constexpr int32_t kSide = 64;
    // 4,096 colours: red across, green down, blue from both.
    Frame gradient(kSide * kSide);
    for (int32_t y = 0; y < kSide; ++y)
        for (int32_t x = 0; x < kSide; ++x)
            gradient[static_cast<size_t>(y * kSide + x)] =
                static_cast<uint32_t>(x * 4 << 16 | y * 4 << 8 | (x + y) * 2);
    Frame few(kSide * kSide, 0);
    few[100] = 0x0064FF96;
    std::vector<std::string> files;
    for (int run = 0; run < 2; ++run) {
        const fs::path path = TempDir() / ("many-" + std::to_string(run) + ".gif");
        fs::remove(path);
        ImageOutput output;
        std::string error;
        ASSERT_TRUE(OpenImageOutput(output, path.c_str(), ImageFormat::Gif, error)) << error;
        WriteImageFrame(output, gradient.data(), kSide, kSide);
        WriteImageFrame(output, few.data(), kSide, kSide);
        ASSERT_TRUE(FinishImageOutput(output, error)) << error;
        files.push_back(ReadTextFile(path));

        GifContents gif = ReadGif(path);
        ASSERT_EQ(gif.frames.size(), 2u);
        std::vector<uint32_t> colours(gif.frames[0]);
        std::sort(colours.begin(), colours.end());
        colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
        EXPECT_LE(colours.size(), 256u);
        EXPECT_GT(colours.size(), 128u);  // the palette is used, not a handful of colours
        int32_t worst = 0;
        for (size_t i = 0; i < gradient.size(); ++i) {
            for (int32_t shift : {16, 8, 0}) {
                const int32_t want = static_cast<int32_t>(gradient[i] >> shift & 0xFFu);
                const int32_t got = static_cast<int32_t>(gif.frames[0][i] >> shift & 0xFFu);
                worst = std::max(worst, std::abs(want - got));
            }
        }
        EXPECT_LE(worst, 24);
        EXPECT_EQ(gif.frames[1], few);
    }
    EXPECT_EQ(files[0], files[1]);
}

void KeepAndWriteFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    auto* run = static_cast<std::pair<std::vector<Frame>, ImageOutput*>*>(user);
    run->first.emplace_back(pixels,
                            pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
    WriteImageFrame(*run->second, pixels, width, height);
}

// A whole turn of the bundled scene through the viewer's --output path: the GIF, decoded,
// shows every presented frame exactly (the frames the PNG writer would be given), and the
// PNG of the last one equals the GIF's last frame.
TEST(ImageOutput, GifOfTheBundledTurnDecodesToEveryPresentedFrame) {
    const fs::path gifPath = TempDir() / "bundled-turn.gif";
    const fs::path pngPath = TempDir() / "bundled-turn.png";
    ImageOutput gifOutput, pngOutput;
    std::string error;
    ASSERT_TRUE(OpenImageOutput(gifOutput, gifPath.c_str(), ImageFormat::Gif, error)) << error;
    ASSERT_TRUE(OpenImageOutput(pngOutput, pngPath.c_str(), ImageFormat::Png, error)) << error;
    std::pair<std::vector<Frame>, ImageOutput*> run{{}, &gifOutput};

    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    const std::string scene = std::string(TRELLIS_ASSETS_DIR) + "/svet.3ds";
    viewerState.list.paths = {scene};
    HeadlessScriptTicks(100);
    HeadlessScriptKey(VK_ESCAPE);
    HeadlessSetFrameCallback(KeepAndWriteFrame, &run);
    char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    ResetViewer(viewerState);
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(run.first.size(), 100u);

    ASSERT_TRUE(FinishImageOutput(gifOutput, error)) << error;
    WriteImageFrame(pngOutput, run.first.back().data(), 640, 480);
    ASSERT_TRUE(FinishImageOutput(pngOutput, error)) << error;
    GifContents gif = ReadGif(gifPath);
    ASSERT_EQ(gif.frames.size(), run.first.size());
    for (size_t i = 0; i < run.first.size(); ++i) {
        ASSERT_TRUE(gif.frames[i] == run.first[i]) << "frame " << i << " differs";
    }
    int32_t width = 0, height = 0;
    EXPECT_TRUE(ReadPng(pngPath, width, height) == gif.frames.back());
}

TEST(ImageOutput, FailuresLeaveNoPartialFileAndKeepAnExistingOne) {
    const fs::path dir = TempDir();
    std::string error;
    ImageOutput output;

    // A directory that does not exist.
    const fs::path nowhere = dir / "missing" / "a.png";
    EXPECT_FALSE(OpenImageOutput(output, nowhere.c_str(), ImageFormat::Png, error));
    EXPECT_EQ(error, std::strerror(ENOENT));

    struct Case {
        const char* name;
        ImageFormat format;
        std::vector<Frame> frames;
        std::vector<int32_t> widths;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"no frame png", ImageFormat::Png, {}, {}, "no frame was presented"},
        {"no frame gif", ImageFormat::Gif, {}, {}, "no frame was presented"},
        {"sizes differ",
         ImageFormat::Gif,
         {kFrames[0], kFrames[1]},
         {4, 6},
         "frames of different sizes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / (c.format == ImageFormat::Png ? "keep.png" : "keep.gif");
        { std::ofstream(path) << "earlier contents"; }
        ASSERT_TRUE(OpenImageOutput(output, path.c_str(), c.format, error)) << error;
        for (size_t i = 0; i < c.frames.size(); ++i) {
            int32_t width = c.widths[i];
            int32_t height = static_cast<int32_t>(c.frames[i].size()) / width;
            WriteImageFrame(output, c.frames[i].data(), width, height);
        }
        EXPECT_FALSE(FinishImageOutput(output, error));
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(fs::exists(output.out.tempPath));
        std::ifstream kept(path);
        std::string text;
        std::getline(kept, text);
        EXPECT_EQ(text, "earlier contents");
    }

    // A run that failed elsewhere abandons the output.
    const fs::path path = dir / "abandoned.gif";
    fs::remove(path);
    ASSERT_TRUE(OpenImageOutput(output, path.c_str(), ImageFormat::Gif, error)) << error;
    WriteImageFrame(output, kFrames[0].data(), 4, 3);
    AbandonImageOutput(output);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(output.out.tempPath));
}

}  // namespace
