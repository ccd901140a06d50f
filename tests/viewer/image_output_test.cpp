// The --output writers: PNG holds the last frame exactly, GIF every frame as a looping
// animation; failures leave no partial file and keep an existing one.
#include "app/image_output.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

std::vector<uint32_t> ReadPng(const fs::path& path, int32_t& width, int32_t& height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    width = static_cast<int32_t>(image.width);
    height = static_cast<int32_t>(image.height);
    std::vector<uint32_t> pixels(rgb.size() / 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
    }
    return pixels;
}

struct GifContents {
    int32_t width = 0, height = 0;
    std::vector<Frame> frames;
    std::vector<int> delays;
    bool loopsForever = false;
};

GifContents ReadGif(const fs::path& path) {
    GifContents contents;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) return contents;
    if (DGifSlurp(gif) == GIF_OK) {
        contents.width = gif->SWidth;
        contents.height = gif->SHeight;
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& image = gif->SavedImages[i];
            const ColorMapObject* map =
                image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
            Frame frame;
            for (int p = 0; p < gif->SWidth * gif->SHeight; ++p) {
                const GifColorType& c = map->Colors[image.RasterBits[p]];
                frame.push_back(uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue);
            }
            contents.frames.push_back(frame);
            GraphicsControlBlock control;
            contents.delays.push_back(
                DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK ? control.DelayTime : -1);
            for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
                const ExtensionBlock& block = image.ExtensionBlocks[e];
                const ExtensionBlock& data = image.ExtensionBlocks[e + 1];
                if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                    std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && data.ByteCount == 3 &&
                    data.Bytes[0] == 1 && data.Bytes[1] == 0 && data.Bytes[2] == 0) {
                    contents.loopsForever = true;
                }
            }
        }
    }
    DGifCloseFile(gif, &error);
    return contents;
}

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
    EXPECT_FALSE(fs::exists(output.partPath));
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
    Frame manyColours(300);
    for (size_t i = 0; i < manyColours.size(); ++i)
        manyColours[i] = static_cast<uint32_t>(i);
    const std::vector<Case> cases = {
        {"no frame png", ImageFormat::Png, {}, {}, "no frame was presented"},
        {"no frame gif", ImageFormat::Gif, {}, {}, "no frame was presented"},
        {"sizes differ",
         ImageFormat::Gif,
         {kFrames[0], kFrames[1]},
         {4, 6},
         "frames of different sizes"},
        {"too many colours",
         ImageFormat::Gif,
         {manyColours},
         {20},
         "a frame has more than 256 colours"},
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
        EXPECT_FALSE(fs::exists(output.partPath));
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
    EXPECT_FALSE(fs::exists(output.partPath));
}

}  // namespace
