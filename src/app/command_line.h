// The viewer's command line: what to load, how to show it, or where to write it instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/views.h"

enum class ImageFormat { None, Png, Gif };

struct CommandLine {
    const char* sceneFile = "svet.3ds";  // [SCENE]
    bool windowed = false;               // -w, --windowed
    const char* outputFile = nullptr;    // -o, --output FILE
    ImageFormat outputFormat = ImageFormat::None;
    int32_t ticks = 0;    // --frames N: ticks to run; 0 until parsed, then the format's default
    bool info = false;    // -i, --info: print what the scene holds and exit
    bool json = false;    // --json: --info as one JSON document
    bool chunks = false;  // --chunks: print the chunk tree and exit
    bool help = false;
    bool version = false;
    bool animate = false;       // --animate: play the scene's keyframes instead of the turn
    bool hasFrameTime = false;  // --frame T: show the keyframes at frame time T, still
    double frameTime = 0.0;
    bool ticksGiven = false;  // --frames was given (not the format's default)
    // The view: fixed without a SCENE, fit with one; --view fit|fixed or --camera[=NAME].
    ViewMode view = ViewMode::Fixed;
    bool viewGiven = false;            // --view or --camera was given
    const char* cameraName = nullptr;  // --camera=NAME; nullptr: the file's first camera
    int32_t width = 640;               // --size WxH (with --output or --windowed)
    int32_t height = 480;
    bool sizeGiven = false;     // --size was given (a window's first size)
    UpAxis up = UpAxis::FileZ;  // --up y|z: the file's axis that points up
    // Every SCENE given, in order; several for the viewer, which steps through them (a
    // folder stands for its .3ds files), and when --output names a folder.
    std::vector<const char*> scenes;
    // --output names a folder (it ends in '/' or is one): one PNG per scene in it, named
    // after the scene's file with .png for its extension.
    bool outputFolder = false;
    // --thumbnail N: with --output, a PNG of N x N whatever the file's name, and a file
    // that is not a 3D Studio scene is a failure (no image) rather than an empty picture.
    int32_t thumbnail = 0;
    // --export FILE|FOLDER/: no window; the scene written as glTF 2.0 (.glb or .gltf), or
    // with a folder one .glb per scene in it, named after the scene.
    const char* exportFile = nullptr;
    bool exportFolder = false;
    // --format png|gif: the format of --output whatever its name (needed for "-", standard
    // output, which is PNG without it).
    ImageFormat formatGiven = ImageFormat::None;
    // --max-memory SIZE: the most memory the whole run may take, in bytes; 0 when not given
    // (the run's own allowance then applies: see memory_budget.h).
    int64_t maxMemory = 0;
    // --max-faces N: the most faces one frame draws (an object drawn by several nodes counts
    // once per node); beyond it the frame says that the scene is too large to draw.
    int64_t maxFrameFaces = 0;
};

enum class ParseResult { Run, Help, Version, UsageError };

// The sides --size accepts.
inline constexpr int32_t kMinFrameSide = 16;
inline constexpr int32_t kMaxFrameSide = 4096;

// The most ticks --frames accepts.
inline constexpr int32_t kMaxTicks = 1000000;

// The faces a frame draws without --max-faces, and the largest --max-faces accepted.
inline constexpr int64_t kDefaultMaxFrameFaces = 50000000;
inline constexpr int64_t kLargestMaxFrameFaces = int64_t{1} << 40;

// The range of --max-memory, in bytes.
inline constexpr int64_t kSmallestMaxMemory = int64_t{16} << 20;
inline constexpr int64_t kLargestMaxMemory = int64_t{1} << 50;

// Parses argv (argv[0] is the program name). On UsageError `error` says why, in one line.
ParseResult ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error);

// The format named by the file's extension (.png or .gif, any case), or None.
ImageFormat ImageFormatForPath(const char* path);

// The --help text.
const char* UsageText();
