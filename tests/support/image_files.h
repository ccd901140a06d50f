// Reading back the images the program writes, for the viewer's tests: a PNG's pixels, and
// a GIF decoded frame by frame as a viewer shows it.
#pragma once

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

// The PNG's pixels as 0x00RRGGBB, its size in width and height; empty when it cannot be read.
inline std::vector<uint32_t> ReadPng(const std::filesystem::path& path, int32_t& width,
                                     int32_t& height) {
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

// The same, when the size does not matter.
inline std::vector<uint32_t> ReadPng(const std::filesystem::path& path) {
    int32_t width = 0, height = 0;
    return ReadPng(path, width, height);
}

struct GifContents {
    int32_t width = 0, height = 0;
    std::vector<std::vector<uint32_t>> frames;
    std::vector<int> delays;
    bool loopsForever = false;
};

// Decodes the GIF as a viewer shows it: each image is drawn onto the canvas at its position,
// its transparent pixels leaving the canvas as it was, after the previous image's disposal
// (left in place, cleared to the background colour, or restored to what it covered).
// frames[i] is the canvas after image i.
inline GifContents ReadGif(const std::filesystem::path& path) {
    GifContents contents;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) return contents;
    if (DGifSlurp(gif) == GIF_OK) {
        contents.width = gif->SWidth;
        contents.height = gif->SHeight;
        auto colourOf = [](const ColorMapObject* map, int index) {
            const GifColorType& c = map->Colors[index];
            return uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
        };
        const uint32_t background =
            gif->SColorMap ? colourOf(gif->SColorMap, gif->SBackGroundColor) : 0;
        std::vector<uint32_t> canvas(
            static_cast<size_t>(gif->SWidth) * static_cast<size_t>(gif->SHeight), background);
        std::vector<uint32_t> beforeImage;
        GraphicsControlBlock previousControl = {};
        const GifImageDesc* previousDesc = nullptr;
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& image = gif->SavedImages[i];
            const GifImageDesc& desc = image.ImageDesc;
            if (previousDesc && previousControl.DisposalMode == DISPOSE_BACKGROUND) {
                for (int y = previousDesc->Top; y < previousDesc->Top + previousDesc->Height; ++y)
                    for (int x = previousDesc->Left; x < previousDesc->Left + previousDesc->Width;
                         ++x)
                        canvas[static_cast<size_t>(y * gif->SWidth + x)] = background;
            } else if (previousDesc && previousControl.DisposalMode == DISPOSE_PREVIOUS) {
                canvas = beforeImage;
            }
            GraphicsControlBlock control = {};
            control.TransparentColor = NO_TRANSPARENT_COLOR;
            contents.delays.push_back(
                DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK ? control.DelayTime : -1);
            if (control.DisposalMode == DISPOSE_PREVIOUS) beforeImage = canvas;
            const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
            EXPECT_TRUE(desc.Left >= 0 && desc.Top >= 0 && desc.Left + desc.Width <= gif->SWidth &&
                        desc.Top + desc.Height <= gif->SHeight)
                << "image " << i << " lies outside the screen";
            bool inMap = true;
            for (int y = 0; y < desc.Height; ++y) {
                for (int x = 0; x < desc.Width; ++x) {
                    const int index = image.RasterBits[y * desc.Width + x];
                    if (index == control.TransparentColor) continue;
                    inMap = inMap && index < map->ColorCount;
                    canvas[static_cast<size_t>((desc.Top + y) * gif->SWidth + desc.Left + x)] =
                        colourOf(map, index < map->ColorCount ? index : 0);
                }
            }
            EXPECT_TRUE(inMap) << "image " << i << " has an index past its colour map";
            contents.frames.push_back(canvas);
            previousControl = control;
            previousDesc = &desc;
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
