// Command-line parsing with getopt_long.
#include "app/command_line.h"

#include <getopt.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "scene/printable.h"

namespace {

enum : int {
    kOptionFrames = 0x100,
    kOptionJson,
    kOptionChunks,
    kOptionView,
    kOptionCamera,
    kOptionSize,
    kOptionThumbnail,
    kOptionAnimate,
    kOptionFrame,
    kOptionUp,
    kOptionExport,
    kOptionFormat,
    kOptionMaxMemory,
    kOptionMaxFaces
};

const option kOptions[] = {
    {"windowed", no_argument, nullptr, 'w'},
    {"output", required_argument, nullptr, 'o'},
    {"frames", required_argument, nullptr, kOptionFrames},
    {"info", no_argument, nullptr, 'i'},
    {"json", no_argument, nullptr, kOptionJson},
    {"chunks", no_argument, nullptr, kOptionChunks},
    {"animate", no_argument, nullptr, kOptionAnimate},
    {"frame", required_argument, nullptr, kOptionFrame},
    {"view", required_argument, nullptr, kOptionView},
    {"camera", optional_argument, nullptr, kOptionCamera},
    {"size", required_argument, nullptr, kOptionSize},
    {"thumbnail", required_argument, nullptr, kOptionThumbnail},
    {"up", required_argument, nullptr, kOptionUp},
    {"export", required_argument, nullptr, kOptionExport},
    {"format", required_argument, nullptr, kOptionFormat},
    {"max-memory", required_argument, nullptr, kOptionMaxMemory},
    {"max-faces", required_argument, nullptr, kOptionMaxFaces},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

bool EndsWithIgnoringCase(const char* text, const char* suffix) {
    size_t length = std::strlen(text);
    size_t suffixLength = std::strlen(suffix);
    if (length <= suffixLength) return false;
    const char* tail = text + (length - suffixLength);
    for (size_t i = 0; i < suffixLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) return false;
    }
    return true;
}

bool ParseTicks(const char* text, int32_t& ticks) {
    if (!text || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > kMaxTicks) return false;
    ticks = static_cast<int32_t>(value);
    return true;
}

// A frame time: a decimal number from 0 to 4294967295 (the largest frame a key can have).
bool ParseFrameTime(const char* text, double& frame) {
    if (!text || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !(value >= 0.0) || value > 4294967295.0) return false;
    frame = value;
    return true;
}

// One side of --size: decimal digits only, kMinFrameSide to kMaxFrameSide.
bool ParseSide(const char* text, size_t length, int32_t& side) {
    if (length == 0 || length > 4) return false;
    int32_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        value = value * 10 + (text[i] - '0');
    }
    if (value < kMinFrameSide || value > kMaxFrameSide) return false;
    side = value;
    return true;
}

// "WxH" (or "WXH").
bool ParseSize(const char* text, int32_t& width, int32_t& height) {
    const char* cross = std::strpbrk(text, "xX");
    if (cross == nullptr) return false;
    return ParseSide(text, static_cast<size_t>(cross - text), width) &&
           ParseSide(cross + 1, std::strlen(cross + 1), height);
}

// A whole number of at most 15 digits followed by `suffixes` (none, or one of K, M, G, T
// for 2^10, 2^20, 2^30, 2^40, when `withSuffix`), within [least, most].
bool ParseAmount(const char* text, bool withSuffix, int64_t least, int64_t most, int64_t& amount) {
    int64_t value = 0;
    size_t i = 0;
    for (; std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (i == 15) return false;
        value = value * 10 + (text[i] - '0');
    }
    if (i == 0) return false;
    if (withSuffix && text[i] != '\0') {
        static const char kSuffixes[] = "KMGT";
        const char* suffix =
            std::strchr(kSuffixes, std::toupper(static_cast<unsigned char>(text[i])));
        if (suffix == nullptr) return false;
        const int shift = 10 * static_cast<int>(suffix - kSuffixes + 1);
        if (value > (most >> shift)) return false;
        value <<= shift;
        ++i;
        if (text[i] == 'i' && text[i + 1] == 'B') i += 2;  // KiB, MiB, ...
    }
    if (text[i] != '\0' || value < least || value > most) return false;
    amount = value;
    return true;
}

// A name of a device, a named pipe or a socket (through links): written in place.
bool IsWrittenInPlace(const char* path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

// The long option whose value is `val`, or null.
const option* LongOption(int val) {
    for (const option* o = kOptions; o->name != nullptr; ++o) {
        if (o->val == val) return o;
    }
    return nullptr;
}

// Whether something (a file, a folder, ...) exists at `path`.
bool PathExists(const char* path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// A name that ends in '/' or names an existing folder.
bool IsFolderName(const char* path) {
    size_t length = std::strlen(path);
    if (length > 0 && path[length - 1] == '/') return true;
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

}  // namespace

ImageFormat ImageFormatForPath(const char* path) {
    if (EndsWithIgnoringCase(path, ".png")) return ImageFormat::Png;
    if (EndsWithIgnoringCase(path, ".gif")) return ImageFormat::Gif;
    return ImageFormat::None;
}

ParseResult ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
    line = CommandLine{};
    bool ticksGiven = false;
    bool viewGiven = false, cameraGiven = false, sizeGiven = false, upGiven = false;
    ViewMode viewChosen = ViewMode::Fixed;
    // The word after a --camera without '=': a camera's name given the way other options
    // take their values, which getopt reads as a scene instead.
    const char* cameraWord = nullptr;
    optind = 0;  // a fresh scan, also when called more than once (tests)
    opterr = 0;  // messages are ours
    for (;;) {
        int longIndex = 0;
        int option = getopt_long(argc, argv, ":wo:ihV", kOptions, &longIndex);
        if (option == -1) break;
        switch (option) {
            case 'w':
                line.windowed = true;
                break;
            case 'o':
                line.outputFile = optarg;
                break;
            case kOptionFrames:
                if (!ParseTicks(optarg, line.ticks)) {
                    error = std::string("--frames needs a whole number from 1 to ") +
                            std::to_string(kMaxTicks) + ", not '" + PrintableName(optarg) + "'";
                    return ParseResult::UsageError;
                }
                ticksGiven = true;
                break;
            case 'i':
                line.info = true;
                break;
            case kOptionJson:
                line.json = true;
                break;
            case kOptionChunks:
                line.chunks = true;
                break;
            case kOptionAnimate:
                line.animate = true;
                break;
            case kOptionFrame:
                if (!ParseFrameTime(optarg, line.frameTime)) {
                    error = std::string("--frame needs a frame time from 0 to 4294967295, not '") +
                            optarg + "'";
                    return ParseResult::UsageError;
                }
                line.hasFrameTime = true;
                break;
            case kOptionView:
                if (std::strcmp(optarg, "fit") == 0) {
                    viewChosen = ViewMode::Fit;
                } else if (std::strcmp(optarg, "fixed") == 0) {
                    viewChosen = ViewMode::Fixed;
                } else {
                    error = std::string("--view is fit or fixed, not '") + optarg + "'";
                    return ParseResult::UsageError;
                }
                viewGiven = true;
                break;
            case kOptionCamera:
                if (optarg != nullptr && optarg[0] == '\0') {
                    error = "--camera= needs a camera name (or use --camera alone)";
                    return ParseResult::UsageError;
                }
                cameraGiven = true;
                line.cameraName = optarg;
                if (optarg == nullptr && optind < argc && argv[optind][0] != '-') {
                    cameraWord = argv[optind];
                }
                break;
            case kOptionSize:
                if (!ParseSize(optarg, line.width, line.height)) {
                    error = std::string("--size needs WIDTHxHEIGHT, each from ") +
                            std::to_string(kMinFrameSide) + " to " + std::to_string(kMaxFrameSide) +
                            ", not '" + optarg + "'";
                    return ParseResult::UsageError;
                }
                sizeGiven = true;
                break;
            case kOptionUp:
                if (std::strcmp(optarg, "y") == 0 || std::strcmp(optarg, "Y") == 0) {
                    line.up = UpAxis::FileY;
                } else if (std::strcmp(optarg, "z") == 0 || std::strcmp(optarg, "Z") == 0) {
                    line.up = UpAxis::FileZ;
                } else {
                    error = "--up is y or z (the file's axis that points up), not '" +
                            PrintableName(optarg) + "'";
                    return ParseResult::UsageError;
                }
                upGiven = true;
                break;
            case kOptionThumbnail:
                if (!ParseSide(optarg, std::strlen(optarg), line.thumbnail)) {
                    error = std::string("--thumbnail needs a size from ") +
                            std::to_string(kMinFrameSide) + " to " + std::to_string(kMaxFrameSide) +
                            ", not '" + optarg + "'";
                    return ParseResult::UsageError;
                }
                break;
            case kOptionExport:
                line.exportFile = optarg;
                break;
            case kOptionFormat:
                if (std::strcmp(optarg, "png") == 0) {
                    line.formatGiven = ImageFormat::Png;
                } else if (std::strcmp(optarg, "gif") == 0) {
                    line.formatGiven = ImageFormat::Gif;
                } else {
                    error = "--format is png or gif, not '" + PrintableName(optarg) + "'";
                    return ParseResult::UsageError;
                }
                break;
            case kOptionMaxMemory:
                if (!ParseAmount(optarg, true, kSmallestMaxMemory, kLargestMaxMemory,
                                 line.maxMemory)) {
                    error =
                        "--max-memory needs a size from 16M to 1024T (a number of bytes, or "
                        "with K, M, G or T), not '" +
                        PrintableName(optarg) + "'";
                    return ParseResult::UsageError;
                }
                break;
            case kOptionMaxFaces:
                if (!ParseAmount(optarg, false, 1, kLargestMaxFrameFaces, line.maxFrameFaces)) {
                    error = "--max-faces needs a whole number from 1 to " +
                            std::to_string(kLargestMaxFrameFaces) + ", not '" +
                            PrintableName(optarg) + "'";
                    return ParseResult::UsageError;
                }
                break;
            case 'h':
                line.help = true;
                break;
            case 'V':
                line.version = true;
                break;
            case ':':
                error = "option '" + PrintableName(argv[optind - 1]) + "' needs an argument";
                return ParseResult::UsageError;
            default: {
                // A value given to an option that takes none: getopt names the option by its
                // letter or number, which the user did not type.
                const char* typed = argv[optind - 1];
                const ::option* known = optopt != 0 ? LongOption(optopt) : nullptr;
                if (known != nullptr && known->has_arg == no_argument &&
                    std::strncmp(typed, "--", 2) == 0 && std::strchr(typed, '=') != nullptr) {
                    error = std::string("--") + known->name + " takes no value";
                    return ParseResult::UsageError;
                }
                if (optopt != 0) {
                    const char letter = static_cast<char>(optopt);
                    error = "unknown option '-" + PrintableBytes(&letter, 1) + "'";
                } else {
                    error = "unknown option '" + PrintableName(argv[optind - 1]) + "'";
                }
                return ParseResult::UsageError;
            }
        }
    }
    if (line.help) return ParseResult::Help;
    if (line.version) return ParseResult::Version;

    const bool sceneGiven = optind < argc;
    if (sceneGiven) line.sceneFile = argv[optind];
    for (int i = optind; i < argc; ++i) {
        if (argv[i][0] == '\0') {
            error = "the scene file name is empty";
            return ParseResult::UsageError;
        }
        line.scenes.push_back(argv[i]);
    }
    if (line.sceneFile[0] == '\0') {
        error = "the scene file name is empty";
        return ParseResult::UsageError;
    }
    if (line.exportFile != nullptr) {
        if (line.exportFile[0] == '\0') {
            error = "--export needs a file name (.glb or .gltf) or a FOLDER/";
            return ParseResult::UsageError;
        }
        if (line.outputFile || line.info || line.chunks || line.windowed || line.animate ||
            line.hasFrameTime || line.ticksGiven || viewGiven || cameraGiven || sizeGiven ||
            line.thumbnail != 0 || line.formatGiven != ImageFormat::None ||
            line.maxFrameFaces != 0) {
            error =
                "--export stands alone: no --output, --info, --chunks, --windowed, "
                "--animate, --frame, --frames, --view, --camera, --size, --thumbnail, "
                "--format or --max-faces";
            return ParseResult::UsageError;
        }
        if (!sceneGiven) {
            error = "--export needs the SCENE to export";
            return ParseResult::UsageError;
        }
        line.exportFolder = IsFolderName(line.exportFile);
        if (!line.exportFolder && !EndsWithIgnoringCase(line.exportFile, ".glb") &&
            !EndsWithIgnoringCase(line.exportFile, ".gltf")) {
            error = "cannot tell the format of '" + PrintableName(line.exportFile) +
                    "': name it .glb or .gltf, or a FOLDER/";
            return ParseResult::UsageError;
        }
        if (!line.exportFolder && line.scenes.size() > 1) {
            error = "more than one scene given ('" + PrintableName(line.scenes[1]) +
                    "'); several scenes need --export FOLDER/";
            return ParseResult::UsageError;
        }
        return ParseResult::Run;
    }
    const bool standardOutput =
        line.outputFile != nullptr && std::strcmp(line.outputFile, "-") == 0;
    line.outputFolder =
        line.outputFile != nullptr && !standardOutput && IsFolderName(line.outputFile);
    // --json alone asks for the report, as JSON.
    if (line.json) line.info = true;
    // `--camera NAME` read NAME as the first scene: said so where it cannot be one.
    if (cameraWord != nullptr && line.scenes.size() > 1 && line.scenes[0] == cameraWord &&
        !PathExists(cameraWord)) {
        error = "'" + PrintableName(cameraWord) + "' is not a scene file; to look through the " +
                "camera of that name, write --camera=" + PrintableName(cameraWord);
        return ParseResult::UsageError;
    }
    // Several scenes: the viewer steps through them, an output folder gets a picture of each;
    // --output FILE, --info and --chunks take one.
    if (line.scenes.size() > 1 &&
        ((line.outputFile && !line.outputFolder) || line.info || line.chunks)) {
        error = "more than one scene given ('" + PrintableName(line.scenes[1]) + "'); " +
                (line.outputFile ? "several scenes need --output FOLDER/"
                                 : "--info and --chunks take one");
        if (cameraWord != nullptr && line.scenes[0] == cameraWord) {
            error += " (for the camera '" + PrintableName(cameraWord) +
                     "', write --camera=" + PrintableName(cameraWord) + ")";
        }
        return ParseResult::UsageError;
    }

    if ((line.info || line.chunks) &&
        (line.outputFile || line.windowed || line.info == line.chunks)) {
        error = "--info and --chunks stand alone: no --output, --windowed or each other";
        return ParseResult::UsageError;
    }
    if (line.animate && (line.info || line.chunks || line.hasFrameTime)) {
        error = "--animate plays the scene: no --info, --chunks or --frame";
        return ParseResult::UsageError;
    }
    if (line.hasFrameTime && line.chunks) {
        error = "--frame applies with --info, --output or the viewer, not --chunks";
        return ParseResult::UsageError;
    }
    if ((line.info || line.chunks) && (viewGiven || cameraGiven || sizeGiven || upGiven)) {
        error = "--view, --camera, --size and --up apply to the viewer and --output, not to " +
                std::string(line.info ? "--info" : "--chunks");
        return ParseResult::UsageError;
    }
    if (viewGiven && cameraGiven) {
        error = "--view and --camera exclude each other";
        return ParseResult::UsageError;
    }
    if (line.thumbnail != 0) {
        if (!line.outputFile) {
            error = "--thumbnail applies only with --output";
            return ParseResult::UsageError;
        }
        if (sizeGiven) {
            error = "--thumbnail N draws N x N: no --size with it";
            return ParseResult::UsageError;
        }
        line.width = line.thumbnail;
        line.height = line.thumbnail;
    }
    if (sizeGiven && !line.outputFile && !line.windowed) {
        error =
            "--size applies only with --output or --windowed (full screen takes the "
            "screen's size)";
        return ParseResult::UsageError;
    }
    line.sizeGiven = sizeGiven;
    // A named scene is framed; the bundled one keeps the fixed view.
    line.view = sceneGiven ? ViewMode::Fit : ViewMode::Fixed;
    if (viewGiven) line.view = viewChosen;
    if (cameraGiven) line.view = ViewMode::Camera;
    line.viewGiven = viewGiven || cameraGiven;
    if (line.up == UpAxis::FileY && line.view == ViewMode::Fixed) {
        error =
            "--up y turns the fit and camera views; the fixed view (no SCENE, or --view "
            "fixed) keeps the file's z up";
        return ParseResult::UsageError;
    }
    if (ticksGiven && !line.outputFile) {
        error = "--frames applies only with --output";
        return ParseResult::UsageError;
    }
    if (line.formatGiven != ImageFormat::None &&
        (!line.outputFile || line.outputFolder ||
         (line.thumbnail != 0 && line.formatGiven != ImageFormat::Png))) {
        error = "--format applies only with --output FILE (a thumbnail is a PNG)";
        return ParseResult::UsageError;
    }
    if (line.maxFrameFaces != 0 && (line.info || line.chunks)) {
        error = "--max-faces applies to the viewer and --output, which draw";
        return ParseResult::UsageError;
    }
    if (line.maxFrameFaces == 0) line.maxFrameFaces = kDefaultMaxFrameFaces;
    if (line.outputFile) {
        if (line.windowed) {
            error = "--windowed and --output exclude each other";
            return ParseResult::UsageError;
        }
        line.outputFormat = line.outputFolder || line.thumbnail != 0
                                ? ImageFormat::Png
                                : ImageFormatForPath(line.outputFile);
        if (line.formatGiven != ImageFormat::None) line.outputFormat = line.formatGiven;
        // Standard output, and a device or pipe named (/dev/stdout), are PNG unless told.
        if (line.outputFormat == ImageFormat::None &&
            (standardOutput || IsWrittenInPlace(line.outputFile))) {
            line.outputFormat = ImageFormat::Png;
        }
        if (line.outputFormat == ImageFormat::None) {
            error = "cannot tell the image format of '" + PrintableName(line.outputFile) +
                    "': name it .png or .gif, or give --format";
            return ParseResult::UsageError;
        }
        if (!ticksGiven) line.ticks = line.outputFormat == ImageFormat::Png ? 1 : 100;
        line.ticksGiven = ticksGiven;
    }
    return ParseResult::Run;
}

const char* UsageText() {
    return "Usage: trellis [OPTIONS] [SCENE...]\n"
           "       trellis --output FOLDER/ [OPTIONS] SCENE...\n"
           "       trellis --export OUT.glb|OUT.gltf|FOLDER/ SCENE...\n"
           "Shows every mesh of a 3D Studio scene turning as a wireframe, full screen (at\n"
           "640x480 for the bundled scene, at the desktop's own size for a SCENE named) or\n"
           "in a window; Escape ends the run. H shows the mouse and keys over the frame.\n"
           "\n"
           "  SCENE                the .3ds scene to show (default: svet.3ds); - reads it\n"
           "                       from standard input; several scenes, or a folder of\n"
           "                       them, are stepped through with Page Down and Page Up\n"
           "  -w, --windowed       a window instead of full screen; the frame follows its size\n"
           "      --size WxH       the frame's size with --output, or the window's first size\n"
           "                       with --windowed, each side 16 to 4096 (default 640x480)\n"
           "      --view VIEW      fit: the scene framed, turning about its centre (the\n"
           "                       default with a SCENE); fixed: the fixed camera 150 units\n"
           "                       from the origin (the default without one)\n"
           "      --camera[=NAME]  look through the file's first camera, or the one named\n"
           "      --up y|z         the file's axis that points up in the fit and camera views\n"
           "                       (default z; y for files exported y-up)\n"
           "  -o, --output FILE    no window: run the frame ticks headless and write FILE,\n"
           "                       .png (the last frame) or .gif (every frame, 20 ms apart,\n"
           "                       looping); - writes standard output; a FOLDER (ending in\n"
           "                       '/', or an existing folder) gets one .png per SCENE,\n"
           "                       named after it. FILE is replaced only when complete,\n"
           "                       never when it is a SCENE being read\n"
           "      --format FMT     png or gif: the format of --output FILE whatever its\n"
           "                       name (PNG for standard output without it)\n"
           "      --thumbnail N    with --output FILE: a PNG of N x N, whatever FILE's name,\n"
           "                       for file managers; a file that is not a 3D Studio scene\n"
           "                       fails (status 1, no FILE) instead of drawing nothing\n"
           "      --export FILE    no window: write the scene as glTF 2.0, FILE.glb (one\n"
           "                       file) or FILE.gltf (with FILE.bin beside it); a FOLDER\n"
           "                       (ending in '/', or an existing folder) gets one .glb\n"
           "                       per SCENE, named after it\n"
           "      --frames N       ticks to run with --output (default 1 for .png,\n"
           "                       100 for .gif: one full turn; with --animate one loop\n"
           "                       of the animation, at most 1000)\n"
           "  -i, --info           print what the scene holds (objects, materials, lights,\n"
           "                       cameras, segment), or why it does not load, and exit\n"
           "      --json           the --info report as one JSON document\n"
           "      --chunks         print the chunk tree as the loader walks it, marking the\n"
           "                       chunk where a load fails and why, and exit\n"
           "      --animate        play the scene's own keyframe animation (30 frames a\n"
           "                       second, looping) instead of the turn\n"
           "      --frame T        show the scene's keyframes at frame time T, still; with\n"
           "                       --info, add each node's world matrix at T\n"
           "      --max-memory SIZE  the most memory the run may take (bytes, or with K, M,\n"
           "                       G); without it 4 x the scene's size + 64M + 16 bytes\n"
           "                       a face, and for --thumbnail at most 1G. A scene that\n"
           "                       needs more is refused (status 1)\n"
           "      --max-faces N    the most faces a frame draws (default 50000000);\n"
           "                       beyond it the frame says the scene is too large\n"
           "  --                   ends the options: every argument after it is a SCENE\n"
           "  -h, --help           show this help and exit\n"
           "  -V, --version        show the version and exit\n"
           "\n"
           "Exit status: 0 success; 1 the scene could not be loaded or FILE could not be\n"
           "written (the reason is on stderr); 2 usage error, or a camera the file does\n"
           "not have; 3 no display.\n";
}
