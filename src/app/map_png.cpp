// Map images as PNG: decode with the map decoder, encode with the PNG writer.
#include "app/map_png.h"

#include "app/png_writer.h"
#include "image/image_decode.h"

bool MapImageToPng(void* /*user*/, const uint8_t* bytes, size_t size, std::vector<uint8_t>& png,
                   std::string& reason) {
    TextureMemory memory;
    DecodedImage image;
    if (!DecodeImage(bytes, size, ImageLimits{}, memory, image, reason)) return false;
    const bool alpha = image.channels == 2 || image.channels == 4;
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    bool ok = false;
    if (alpha) {
        ok = EncodePng(image.rgba, 4, image.width, image.height, png, reason);
    } else {
        // The decoder gives 4 bytes a pixel; the PNG keeps the three colours.
        std::vector<uint8_t> rgb(pixels * 3);
        for (size_t i = 0; i < pixels; ++i) {
            rgb[3 * i] = image.rgba[4 * i];
            rgb[3 * i + 1] = image.rgba[4 * i + 1];
            rgb[3 * i + 2] = image.rgba[4 * i + 2];
        }
        ok = EncodePng(rgb.data(), 3, image.width, image.height, png, reason);
    }
    FreeDecodedImage(image, memory);
    return ok;
}
