// Command-line parsing with getopt_long.
#include "app/command_line.h"

#include <getopt.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

enum : int { kOptionFrames = 0x100, kOptionJson, kOptionChunks };

const option kOptions[] = {
    {"windowed", no_argument, nullptr, 'w'},
    {"output", required_argument, nullptr, 'o'},
    {"frames", required_argument, nullptr, kOptionFrames},
    {"info", no_argument, nullptr, 'i'},
    {"json", no_argument, nullptr, kOptionJson},
    {"chunks", no_argument, nullptr, kOptionChunks},
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

bool ParseFrames(const char* text, int32_t& frames) {
    if (!text || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > kMaxFrames) return false;
    frames = static_cast<int32_t>(value);
    return true;
}

}  // namespace

ImageFormat ImageFormatForPath(const char* path) {
    if (EndsWithIgnoringCase(path, ".png")) return ImageFormat::Png;
    if (EndsWithIgnoringCase(path, ".gif")) return ImageFormat::Gif;
    return ImageFormat::None;
}

ParseResult ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
    line = CommandLine{};
    bool framesGiven = false;
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
                if (!ParseFrames(optarg, line.frames)) {
                    error = std::string("--frames needs a whole number from 1 to ") +
                            std::to_string(kMaxFrames) + ", not '" + optarg + "'";
                    return ParseResult::UsageError;
                }
                framesGiven = true;
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
            case 'h':
                line.help = true;
                break;
            case 'V':
                line.version = true;
                break;
            case ':':
                error = std::string("option '") + argv[optind - 1] + "' needs an argument";
                return ParseResult::UsageError;
            default:
                if (optopt != 0) {
                    error = std::string("unknown option '-") + static_cast<char>(optopt) + "'";
                } else {
                    error = std::string("unknown option '") + argv[optind - 1] + "'";
                }
                return ParseResult::UsageError;
        }
    }
    if (line.help) return ParseResult::Help;
    if (line.version) return ParseResult::Version;

    if (optind < argc) line.sceneFile = argv[optind];
    for (int i = optind; i < argc; ++i) {
        if (argv[i][0] == '\0') {
            error = "the scene file name is empty";
            return ParseResult::UsageError;
        }
        line.scenes.push_back(argv[i]);
    }
    if (line.scenes.size() > 1 && (line.outputFile || line.info || line.chunks)) {
        error = std::string("more than one scene given ('") + line.scenes[1] +
                "'); --output, --info and --chunks take one";
        return ParseResult::UsageError;
    }
    if (line.sceneFile[0] == '\0') {
        error = "the scene file name is empty";
        return ParseResult::UsageError;
    }
    if (line.json && !line.info) {
        error = "--json applies only with --info";
        return ParseResult::UsageError;
    }
    if ((line.info || line.chunks) &&
        (line.outputFile || line.windowed || line.info == line.chunks)) {
        error = "--info and --chunks stand alone: no --output, --windowed or each other";
        return ParseResult::UsageError;
    }
    if (framesGiven && !line.outputFile) {
        error = "--frames applies only with --output";
        return ParseResult::UsageError;
    }
    if (line.outputFile) {
        if (line.windowed) {
            error = "--windowed and --output exclude each other";
            return ParseResult::UsageError;
        }
        line.outputFormat = ImageFormatForPath(line.outputFile);
        if (line.outputFormat == ImageFormat::None) {
            error = std::string("cannot tell the image format of '") + line.outputFile +
                    "': name it .png or .gif";
            return ParseResult::UsageError;
        }
        if (!framesGiven) line.frames = line.outputFormat == ImageFormat::Png ? 1 : 100;
    }
    return ParseResult::Run;
}

const char* UsageText() {
    return "Usage: trellis [OPTIONS] [SCENE...]\n"
           "Shows every mesh of a 3D Studio scene turning as a wireframe, full screen at\n"
           "640x480; Escape ends the run.\n"
           "\n"
           "  SCENE                the .3ds scene to show (default: svet.3ds); several\n"
           "                       scenes, or a folder of them, are stepped through\n"
           "                       with Page Down and Page Up\n"
           "  -w, --windowed       a 640x480 window instead of full screen\n"
           "  -o, --output FILE    no window: run the frame ticks headless and write FILE,\n"
           "                       .png (the last frame) or .gif (every frame, 20 ms apart,\n"
           "                       looping)\n"
           "      --frames N       ticks to run with --output (default 1 for .png,\n"
           "                       100 for .gif: one full turn)\n"
           "  -i, --info           print what the scene holds (objects, materials, lights,\n"
           "                       cameras, segment), or why it does not load, and exit\n"
           "      --json           with --info: the same as one JSON document\n"
           "      --chunks         print the chunk tree as the loader walks it, marking the\n"
           "                       chunk where a load fails and why, and exit\n"
           "  -h, --help           show this help and exit\n"
           "  -V, --version        show the version and exit\n"
           "\n"
           "Exit status: 0 success; 1 the scene could not be loaded or FILE could not be\n"
           "written (the reason is on stderr); 2 usage error; 3 no display.\n";
}
