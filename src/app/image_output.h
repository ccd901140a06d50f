// Writes presented frames to an image file: .png holds the last frame, .gif every frame
// as a looping animation, 20 ms per frame. Each GIF frame after the first stores only the
// rectangle that changed, its unchanged pixels transparent; decoded, every frame is exact.
//
// The file is written through the output writer (output.h): under a temporary name beside
// FILE and renamed over FILE only when complete, so a failed run never leaves a partial image
// or destroys an existing one; a device is written in place, "-" is standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/output.h"
#include "platform/memory/frame_memory.h"

struct GifFileType;

struct ImageOutput {
    ImageFormat format = ImageFormat::None;
    OutputFile out;              // where the bytes go
    GifFileType* gif = nullptr;  // .gif
    int32_t width = 0;
    int32_t height = 0;
    int32_t framesWritten = 0;
    std::vector<uint32_t> lastFrame;  // .gif: the frame before, which the next is compared with
    // .png: the most recent frame, as rows of R G B bytes
    std::vector<uint8_t, FrameAllocator<uint8_t>> pngRows;
    std::vector<uint8_t> row;             // .gif: one row of palette indices
    std::vector<uint32_t> globalColours;  // .gif: the palette of the first frame
    int32_t globalTransparent = -1;       // .gif: its transparent index, -1 when it is full
    std::vector<uint32_t> frameColours;   // .gif: the colours of the frame being written
    std::string error;                    // the first failure; once set, later frames are ignored
};

// Opens the output `path` (see OpenOutput) for an image in `format`. False with a reason in
// `error`.
bool OpenImageOutput(ImageOutput& output, const char* path, ImageFormat format,
                     const OutputRules& rules, std::string& error);
inline bool OpenImageOutput(ImageOutput& output, const char* path, ImageFormat format,
                            std::string& error) {
    return OpenImageOutput(output, path, format, OutputRules{}, error);
}

// Adds one frame: width x height pixels 0x00RRGGBB, rows exactly width apart. Every frame
// must have the size of the first. Failures are kept for FinishImageOutput.
void WriteImageFrame(ImageOutput& output, const uint32_t* pixels, int32_t width, int32_t height);

// Completes the file (CommitOutput). False with a reason in `error` (no frame at all is a
// failure too); the temporary file is then removed.
bool FinishImageOutput(ImageOutput& output, std::string& error);

// Closes and removes the temporary file; the path is left as it was.
void AbandonImageOutput(ImageOutput& output);
