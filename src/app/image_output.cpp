// PNG through the program's PNG writer, GIF through giflib's streaming encoder, both into
// the output writer.
#include "app/image_output.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/png_writer.h"

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
    // One entry past the first frame's colours is kept for the transparent index of later
    // frames (it costs nothing: a map of 2 and one of 4 entries both start LZW at 2 bits).
    output.globalTransparent = output.globalColours.size() < 256
                                   ? static_cast<int32_t>(output.globalColours.size())
                                   : NO_TRANSPARENT_COLOR;
    std::vector<uint32_t> entries = output.globalColours;
    if (output.globalTransparent != NO_TRANSPARENT_COLOR) entries.push_back(0);
    ColorMapObject* map = MakeColourMap(entries);
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

// The part of a frame that one GIF image stores.
struct GifRect {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

// The smallest rectangle holding every pixel of `pixels` that differs from `previous`;
// a single pixel at the origin when none does (an image cannot be empty, and the frame
// still needs its delay).
GifRect ChangedRect(const uint32_t* pixels, const uint32_t* previous, int32_t width,
                    int32_t height) {
    int32_t left = width, right = -1, top = height, bottom = -1;
    for (int32_t y = 0; y < height; ++y) {
        const size_t rowStart = static_cast<size_t>(y) * static_cast<size_t>(width);
        const uint32_t* in = pixels + rowStart;
        const uint32_t* before = previous + rowStart;
        int32_t x = 0;
        while (x < width && ((in[x] ^ before[x]) & 0x00FFFFFFu) == 0)
            ++x;
        if (x == width) continue;
        int32_t last = width - 1;
        while (((in[last] ^ before[last]) & 0x00FFFFFFu) == 0)
            --last;
        left = std::min(left, x);
        right = std::max(right, last);
        if (top == height) top = y;
        bottom = y;
    }
    if (right < 0) return GifRect{0, 0, 1, 1};
    return GifRect{left, top, right - left + 1, bottom - top + 1};
}

// Whether a frame after the first should store its unchanged pixels as the transparent
// index. LZW codes runs of equal indices cheaply, so the choice goes to the form with fewer
// runs: in a turning wireframe almost every line moves, and marking the pixels that did not
// change breaks the background into more runs than the lines make (about 40% more bytes
// over a turn of the bundled scene); where most of the picture stands still, it wins.
bool FewerRunsWithTransparency(const uint32_t* pixels, const uint32_t* previous, size_t stride,
                               const GifRect& rect) {
    int64_t opaqueRuns = 0, transparentRuns = 0;
    uint32_t lastOpaque = 0xFFFFFFFFu, lastTransparent = 0xFFFFFFFFu;  // no pixel's value
    for (int32_t y = 0; y < rect.height; ++y) {
        const size_t rowStart =
            static_cast<size_t>(rect.top + y) * stride + static_cast<size_t>(rect.left);
        for (int32_t x = 0; x < rect.width; ++x) {
            const uint32_t colour = pixels[rowStart + static_cast<size_t>(x)] & 0x00FFFFFFu;
            const uint32_t before = previous[rowStart + static_cast<size_t>(x)] & 0x00FFFFFFu;
            const uint32_t shown = colour == before ? 0xFF000000u : colour;  // the transparent
            opaqueRuns += colour != lastOpaque;
            transparentRuns += shown != lastTransparent;
            lastOpaque = colour;
            lastTransparent = shown;
        }
    }
    return transparentRuns < opaqueRuns;
}

// Writes one GIF image: the rectangle `rect` of the frame, over a canvas that holds
// `previous` (null for the first frame, whose rectangle is the whole canvas). Every image
// is left in place for the next ("do not dispose"), so a later one need store only the
// rectangle that changed; where that pays, its unchanged pixels are the transparent index.
// Either way the decoded canvas is exactly the frame.
bool PutGifImage(ImageOutput& output, const uint32_t* pixels, const uint32_t* previous,
                 const GifRect& rect) {
    const size_t stride = static_cast<size_t>(output.width);
    if (previous && !FewerRunsWithTransparency(pixels, previous, stride, rect)) previous = nullptr;
    // Row y of the rectangle in `frame`.
    auto rowOf = [&](const uint32_t* frame, int32_t y) {
        return frame + static_cast<size_t>(rect.top + y) * stride + static_cast<size_t>(rect.left);
    };
    // The colours the image shows: of every pixel of the rectangle, or with transparency of
    // the changed ones only. False beyond 256.
    std::vector<uint32_t>& colours = output.frameColours;
    auto collect = [&]() {
        colours.clear();
        uint32_t lastSeen = 0xFFFFFFFFu;  // no pixel's value
        for (int32_t y = 0; y < rect.height; ++y) {
            const uint32_t* in = rowOf(pixels, y);
            const uint32_t* before = previous ? rowOf(previous, y) : nullptr;
            for (int32_t x = 0; x < rect.width; ++x) {
                const uint32_t colour = in[x] & 0x00FFFFFFu;
                if (colour == lastSeen) continue;
                if (before && colour == (before[x] & 0x00FFFFFFu)) continue;
                lastSeen = colour;
                if (std::find(colours.begin(), colours.end(), colour) != colours.end()) continue;
                if (colours.size() == 256) return false;
                colours.push_back(colour);
            }
        }
        return true;
    };
    if (!collect()) return Fail(output, "a frame has more than 256 colours");

    // The global palette when it holds the colours (and, with transparency, has its spare
    // entry), else a map of the image's own with the transparent index after its colours.
    int transparent = NO_TRANSPARENT_COLOR;
    bool global = Contains(output.globalColours, colours);
    if (previous) {
        if (global && output.globalTransparent != NO_TRANSPARENT_COLOR) {
            transparent = output.globalTransparent;
        } else if (colours.size() < 256) {
            global = false;
            transparent = static_cast<int>(colours.size());
        } else {
            // No index is left for transparency: store every pixel of the rectangle.
            previous = nullptr;
            if (!collect()) return Fail(output, "a frame has more than 256 colours");
            global = Contains(output.globalColours, colours);
        }
    }
    std::vector<uint32_t> local;
    if (!global) {
        local = colours;
        if (transparent != NO_TRANSPARENT_COLOR) local.push_back(0);
    }
    const std::vector<uint32_t>& palette = global ? output.globalColours : local;

    GraphicsControlBlock control = {};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = kGifFrameDelay;
    control.TransparentColor = transparent;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(output.gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK) {
        return Fail(output, GifReason(output.gif->Error));
    }
    ColorMapObject* map = global ? nullptr : MakeColourMap(local);
    if (!global && !map) return Fail(output, "out of memory");
    // giflib keeps a copy of the last image's own map and, for an image without one, drops
    // the pointer without freeing it (giflib 5.2): free it here.
    if (global && output.gif->Image.ColorMap != nullptr) {
        GifFreeMapObject(output.gif->Image.ColorMap);
        output.gif->Image.ColorMap = nullptr;
    }
    int status =
        EGifPutImageDesc(output.gif, rect.left, rect.top, rect.width, rect.height, false, map);
    if (map) GifFreeMapObject(map);
    if (status != GIF_OK) return Fail(output, GifReason(output.gif->Error));

    uint32_t lastColour = 0xFFFFFFFFu;  // no pixel's value
    uint8_t lastIndex = 0;
    for (int32_t y = 0; y < rect.height; ++y) {
        const uint32_t* in = rowOf(pixels, y);
        const uint32_t* before = previous ? rowOf(previous, y) : nullptr;
        for (int32_t x = 0; x < rect.width; ++x) {
            const uint32_t colour = in[x] & 0x00FFFFFFu;
            if (before && colour == (before[x] & 0x00FFFFFFu)) {
                output.row[static_cast<size_t>(x)] = static_cast<uint8_t>(transparent);
                continue;
            }
            if (colour != lastColour) {
                lastColour = colour;
                lastIndex = IndexOf(palette, colour);
            }
            output.row[static_cast<size_t>(x)] = lastIndex;
        }
        if (EGifPutLine(output.gif, output.row.data(), rect.width) != GIF_OK) {
            return Fail(output, GifReason(output.gif->Error));
        }
    }
    return true;
}

bool PutGifFrame(ImageOutput& output, const uint32_t* pixels) {
    const size_t count = static_cast<size_t>(output.width) * static_cast<size_t>(output.height);
    if (output.framesWritten == 0) {
        if (!PutGifImage(output, pixels, nullptr, GifRect{0, 0, output.width, output.height})) {
            return false;
        }
    } else {
        const GifRect rect =
            ChangedRect(pixels, output.lastFrame.data(), output.width, output.height);
        if (!PutGifImage(output, pixels, output.lastFrame.data(), rect)) return false;
    }
    output.lastFrame.assign(pixels, pixels + count);
    return true;
}

// The frame as the PNG writer's RGB rows, kept in place of a copy of the frame itself: one
// buffer the size of the image, not two.
void KeepPngFrame(ImageOutput& output, const uint32_t* pixels, size_t count) {
    output.pngRows.resize(count * 3);
    PixelsToRgb(pixels, count, output.pngRows.data());
}

// The PNG of the kept rows, written into the output.
bool FinishPng(ImageOutput& output) {
    std::string reason;
    const PngSink sink = {&output.out, WriteOutputBytes};
    if (!WritePng(sink, output.pngRows.data(), output.width, output.height, reason)) {
        return Fail(output, reason);
    }
    return true;
}

// giflib's output function: the encoded bytes go to the output writer.
int PutGifBytes(GifFileType* gif, const GifByteType* bytes, int length) {
    auto* output = static_cast<ImageOutput*>(gif->UserData);
    std::string error;
    if (length <= 0) return 0;
    if (!WriteOutput(output->out, bytes, static_cast<size_t>(length), error)) {
        Fail(*output, error);
        return 0;
    }
    return length;
}

}  // namespace

bool OpenImageOutput(ImageOutput& output, const char* path, ImageFormat format,
                     const OutputRules& rules, std::string& error) {
    output = ImageOutput{};
    output.format = format;
    if (format != ImageFormat::Png && format != ImageFormat::Gif) {
        error = "not a .png or .gif file name";
        return false;
    }
    if (!OpenOutput(output.out, path, rules, error)) return false;
    if (format == ImageFormat::Gif) {
        // The file is the writer's (with the usual permissions under the umask); giflib
        // only encodes into it.
        int code = 0;
        output.gif = EGifOpen(&output, PutGifBytes, &code);
        if (!output.gif) {
            AbandonOutput(output.out);
            error = GifReason(code);
            return false;
        }
    }
    return true;
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
    if (output.error.empty() && output.format == ImageFormat::Png) FinishPng(output);
    if (output.gif) {
        int code = 0;
        if (EGifCloseFile(output.gif, &code) != GIF_OK) Fail(output, GifReason(code));
        output.gif = nullptr;
    }
    if (!output.error.empty()) {
        AbandonOutput(output.out);
        error = output.error;
        return false;
    }
    if (!CommitOutput(output.out, error)) {
        output.error = error;
        return false;
    }
    return true;
}

void AbandonImageOutput(ImageOutput& output) {
    if (output.gif) {
        int code = 0;
        EGifCloseFile(output.gif, &code);
        output.gif = nullptr;
    }
    AbandonOutput(output.out);
}
