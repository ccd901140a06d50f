// PNG through libpng's simplified writer, GIF through giflib's streaming encoder.
#include "app/image_output.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kGifFrameDelay = 2;  // hundredths of a second: one 20 ms tick per frame

bool Fail(ImageOutput& output, const std::string& reason) {
    if (output.error.empty()) output.error = reason;
    return false;
}

std::string GifReason(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "GIF encoder failure";
}

// The distinct colours of a frame, in order of first appearance; false beyond 256.
bool CollectColours(const uint32_t* pixels, size_t count, std::vector<uint32_t>& colours) {
    colours.clear();
    uint32_t last = 0;
    bool haveLast = false;
    for (size_t i = 0; i < count; ++i) {
        uint32_t colour = pixels[i] & 0x00FFFFFFu;
        if (haveLast && colour == last) continue;
        bool known = false;
        for (uint32_t c : colours) {
            if (c == colour) {
                known = true;
                break;
            }
        }
        if (!known) {
            if (colours.size() == 256) return false;
            colours.push_back(colour);
        }
        last = colour;
        haveLast = true;
    }
    return true;
}

bool Contains(const std::vector<uint32_t>& palette, const std::vector<uint32_t>& colours) {
    for (uint32_t colour : colours) {
        bool found = false;
        for (uint32_t entry : palette)
            found = found || entry == colour;
        if (!found) return false;
    }
    return true;
}

// A giflib colour map of `colours`, padded with black to a power of two of at least 2.
ColorMapObject* MakeColourMap(const std::vector<uint32_t>& colours) {
    int size = 2;
    while (size < static_cast<int>(colours.size()))
        size *= 2;
    std::vector<GifColorType> entries(static_cast<size_t>(size), GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size(); ++i) {
        entries[i].Red = static_cast<GifByteType>(colours[i] >> 16);
        entries[i].Green = static_cast<GifByteType>(colours[i] >> 8);
        entries[i].Blue = static_cast<GifByteType>(colours[i]);
    }
    return GifMakeMapObject(size, entries.data());
}

uint8_t IndexOf(const std::vector<uint32_t>& palette, uint32_t colour) {
    for (size_t i = 0; i < palette.size(); ++i) {
        if (palette[i] == colour) return static_cast<uint8_t>(i);
    }
    return 0;  // not reached: the palette was collected from this frame
}

bool StartGif(ImageOutput& output, const uint32_t* pixels) {
    const size_t count = static_cast<size_t>(output.width) * static_cast<size_t>(output.height);
    if (!CollectColours(pixels, count, output.globalColours)) {
        return Fail(output, "a frame has more than 256 colours");
    }
    ColorMapObject* map = MakeColourMap(output.globalColours);
    if (!map) return Fail(output, "out of memory");
    EGifSetGifVersion(output.gif, true);
    int status = EGifPutScreenDesc(output.gif, output.width, output.height, 8, 0, map);
    GifFreeMapObject(map);
    if (status != GIF_OK) return Fail(output, GifReason(output.gif->Error));
    // NETSCAPE2.0 application extension: loop for ever.
    const GifByteType loop[3] = {1, 0, 0};
    if (EGifPutExtensionLeader(output.gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(output.gif, 11, "NETSCAPE2.0") != GIF_OK ||
        EGifPutExtensionBlock(output.gif, 3, loop) != GIF_OK ||
        EGifPutExtensionTrailer(output.gif) != GIF_OK) {
        return Fail(output, GifReason(output.gif->Error));
    }
    output.row.assign(static_cast<size_t>(output.width), 0);
    return true;
}

bool PutGifFrame(ImageOutput& output, const uint32_t* pixels) {
    const size_t count = static_cast<size_t>(output.width) * static_cast<size_t>(output.height);
    std::vector<uint32_t>& colours = output.frameColours;
    if (!CollectColours(pixels, count, colours)) {
        return Fail(output, "a frame has more than 256 colours");
    }
    // Frames within the first frame's palette use it; any other gets a map of its own.
    bool global = Contains(output.globalColours, colours);
    const std::vector<uint32_t>& palette = global ? output.globalColours : colours;

    GraphicsControlBlock control = {};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = kGifFrameDelay;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(output.gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK) {
        return Fail(output, GifReason(output.gif->Error));
    }
    ColorMapObject* map = global ? nullptr : MakeColourMap(colours);
    if (!global && !map) return Fail(output, "out of memory");
    int status = EGifPutImageDesc(output.gif, 0, 0, output.width, output.height, false, map);
    if (map) GifFreeMapObject(map);
    if (status != GIF_OK) return Fail(output, GifReason(output.gif->Error));

    uint32_t lastColour = 0;
    uint8_t lastIndex = IndexOf(palette, 0);
    for (int32_t y = 0; y < output.height; ++y) {
        const uint32_t* in = pixels + static_cast<size_t>(y) * static_cast<size_t>(output.width);
        for (int32_t x = 0; x < output.width; ++x) {
            uint32_t colour = in[x] & 0x00FFFFFFu;
            if (colour != lastColour) {
                lastColour = colour;
                lastIndex = IndexOf(palette, colour);
            }
            output.row[static_cast<size_t>(x)] = lastIndex;
        }
        if (EGifPutLine(output.gif, output.row.data(), output.width) != GIF_OK) {
            return Fail(output, GifReason(output.gif->Error));
        }
    }
    return true;
}

// The frame as libpng's RGB rows, kept in place of a copy of the frame itself: one buffer
// the size of the image, not two.
void KeepPngFrame(ImageOutput& output, const uint32_t* pixels, size_t count) {
    output.lastFrame.resize(count * 3);
    uint8_t* rgb = output.lastFrame.data();
    for (size_t i = 0; i < count; ++i) {
        rgb[3 * i + 0] = static_cast<uint8_t>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
    }
}

bool WritePng(ImageOutput& output) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(output.width);
    image.height = static_cast<png_uint_32>(output.height);
    image.format = PNG_FORMAT_RGB;
    // No row filters and lighter compression: several times faster than libpng's adaptive
    // filtering, and on wireframes over black the file grows only by a few kilobytes.
    image.flags = PNG_IMAGE_FLAG_FAST;
    if (!png_image_write_to_stdio(&image, output.file, 0, output.lastFrame.data(), 0, nullptr)) {
        Fail(output, image.message[0] ? image.message : "PNG encoder failure");
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace

bool OpenImageOutput(ImageOutput& output, const char* path, ImageFormat format,
                     std::string& error) {
    output = ImageOutput{};
    output.format = format;
    output.path = path;
    output.partPath = output.path + ".part";
    if (format == ImageFormat::Png) {
        output.file = std::fopen(output.partPath.c_str(), "wb");
        if (!output.file) {
            error = std::strerror(errno);
            return false;
        }
        return true;
    }
    if (format == ImageFormat::Gif) {
        // Opened here rather than by giflib, which would make the file private to its
        // owner: like the PNG, it gets the usual permissions under the umask.
        int fd = open(output.partPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            error = std::strerror(errno);
            return false;
        }
        int code = 0;
        output.gif = EGifOpenFileHandle(fd, &code);
        if (!output.gif) {
            close(fd);
            std::remove(output.partPath.c_str());
            error = GifReason(code);
            return false;
        }
        return true;
    }
    error = "not a .png or .gif file name";
    return false;
}

void WriteImageFrame(ImageOutput& output, const uint32_t* pixels, int32_t width, int32_t height) {
    if (!output.error.empty()) return;
    if (output.framesWritten == 0) {
        if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
            Fail(output, "frame size out of range");
            return;
        }
        output.width = width;
        output.height = height;
        if (output.format == ImageFormat::Gif && !StartGif(output, pixels)) return;
    } else if (width != output.width || height != output.height) {
        Fail(output, "frames of different sizes");
        return;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (output.format == ImageFormat::Png) {
        KeepPngFrame(output, pixels, count);
    } else if (!PutGifFrame(output, pixels)) {
        return;
    }
    output.framesWritten++;
}

bool FinishImageOutput(ImageOutput& output, std::string& error) {
    if (output.error.empty() && output.framesWritten == 0) Fail(output, "no frame was presented");
    if (output.error.empty() && output.format == ImageFormat::Png) WritePng(output);
    if (output.file) {
        if (std::fclose(output.file) != 0) Fail(output, std::strerror(errno));
        output.file = nullptr;
    }
    if (output.gif) {
        int code = 0;
        if (EGifCloseFile(output.gif, &code) != GIF_OK) Fail(output, GifReason(code));
        output.gif = nullptr;
    }
    if (output.error.empty() && std::rename(output.partPath.c_str(), output.path.c_str()) != 0) {
        Fail(output, std::strerror(errno));
    }
    if (!output.error.empty()) {
        std::remove(output.partPath.c_str());
        error = output.error;
        return false;
    }
    return true;
}

void AbandonImageOutput(ImageOutput& output) {
    if (output.file) std::fclose(output.file);
    output.file = nullptr;
    if (output.gif) {
        int code = 0;
        EGifCloseFile(output.gif, &code);
        output.gif = nullptr;
    }
    if (!output.partPath.empty()) std::remove(output.partPath.c_str());
}
