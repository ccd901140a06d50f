// The process entry: reads the command line, chooses the platform backend and runs WinMain.
//
// With no arguments this is exactly the viewer: "svet.3ds", full screen, Escape to end.
// --output runs the same shell on the headless backend and writes the presented frames.
#include <cstdio>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/command_line.h"
#include "app/image_output.h"
#include "app/scene_report.h"
#include "app/shell.h"
#include "platform/headless/headless.h"
#include "platform/memory/huge_pages.h"
#include "platform/sdl/sdl_loader.h"

namespace {

constexpr int kStatusUsage = 2;
constexpr int kStatusFailure = 1;
constexpr int kStatusNoDisplay = 3;

// WinMain receives the command line after the program name, blank-separated.
std::string JoinArguments(int argc, char** argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    return joined;
}

int RunViewer(const CommandLine& line, std::string& arguments) {
    std::string error;
    // The SDL backend is a module loaded only here: runs without a window map no display
    // or sound library.
    if (!OpenSdlModule(line.windowed, error)) {
        std::fprintf(stderr, "trellis: no display: %s\n", error.c_str());
        return kStatusNoDisplay;
    }
    SetPlatformBackend(&SdlModuleBackend());
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, arguments.data(), SW_SHOWDEFAULT);
    SetPlatformBackend(nullptr);
    CloseSdlModule();
    return status;
}

void WriteFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    WriteImageFrame(*static_cast<ImageOutput*>(user), pixels, width, height);
}

int RunHeadless(const CommandLine& line, std::string& arguments) {
    ImageOutput output;
    std::string error;
    if (!OpenImageOutput(output, line.outputFile, line.outputFormat, error)) {
        std::fprintf(stderr, "trellis: %s: %s\n", line.outputFile, error.c_str());
        return kStatusFailure;
    }
    UseHeadlessBackend();
    HeadlessScriptTicks(line.frames);
    HeadlessScriptKey(VK_ESCAPE);
    HeadlessSetFrameCallback(WriteFrame, &output);
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, arguments.data(), SW_SHOWDEFAULT);
    SetPlatformBackend(nullptr);
    ResetHeadlessBackend();
    if (status != 0) {
        AbandonImageOutput(output);
        return status;
    }
    if (!FinishImageOutput(output, error)) {
        std::fprintf(stderr, "trellis: %s: %s\n", line.outputFile, error.c_str());
        return kStatusFailure;
    }
    return 0;
}

// What WinMain starts from: the scene, its view and the frame size.
void SetUpShell(const CommandLine& line, const char* scene) {
    shellState.sceneFileName = scene;
    shellState.startView = line.view;
    shellState.startCamera = line.cameraName;
    shellState.screenWidth = line.width;
    shellState.screenHeight = line.height;
}

// A file that does not start with the main chunk's id (0x4D4D, little-endian) is no
// scene, though the loader reads it as an empty one: a thumbnail or a picture in an output
// folder would be an empty frame passed off as a picture of the file. False, with the
// reason printed, for such a file; a file that cannot be opened is left for the loader.
bool CheckSceneStart(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return true;
    unsigned char id[2] = {};
    size_t got = std::fread(id, 1, 2, file);
    std::fclose(file);
    if (got == 2 && id[0] == 0x4D && id[1] == 0x4D) return true;
    std::fprintf(stderr,
                 "trellis: %s: not a 3D Studio scene (it does not start with the main "
                 "chunk 0x4D4D)\n",
                 path);
    return false;
}

// --output FOLDER/ (made when missing): each scene drawn in turn into FOLDER/NAME.png, NAME being
// the scene's file name less its extension. A scene that fails is reported and skipped; so is a
// scene whose picture would overwrite the one just written for an earlier scene of the same name.
// Returns 1 when any scene failed, else 0.
int RunOutputFolder(const CommandLine& line, std::string& arguments) {
    std::vector<const char*> scenes = line.scenes;
    if (scenes.empty()) scenes.push_back(line.sceneFile);
    std::filesystem::path folder(line.outputFile);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "trellis: %s: cannot make the folder: %s\n", line.outputFile,
                     error.message().c_str());
        return kStatusFailure;
    }
    std::unordered_set<std::string> written;  // pictures written so far
    int status = 0;
    for (const char* scene : scenes) {
        std::filesystem::path picture =
            folder / std::filesystem::path(scene).filename().replace_extension(".png");
        std::string picturePath = picture.lexically_normal().string();
        if (written.count(picturePath) != 0) {
            std::fprintf(stderr,
                         "trellis: %s: skipped: %s was already written for a scene "
                         "of the same name\n",
                         scene, picturePath.c_str());
            status = 1;
            continue;
        }
        ResetShellState();
        SetUpShell(line, scene);
        CommandLine one = line;
        one.outputFile = picturePath.c_str();
        one.sceneFile = scene;
        if (!CheckSceneStart(scene) || RunHeadless(one, arguments) != 0) {
            status = 1;
            continue;
        }
        written.insert(picturePath);
    }
    ResetShellState();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    SetArenaMemory(&HugePageArenaMemory());
    CommandLine line;
    std::string error;
    switch (ParseCommandLine(argc, argv, line, error)) {
        case ParseResult::Help:
            std::fputs(UsageText(), stdout);
            return 0;
        case ParseResult::Version:
            std::printf("trellis %s\n", TRELLIS_VERSION);
            return 0;
        case ParseResult::UsageError:
            std::fprintf(stderr, "trellis: %s\nTry 'trellis --help' for more information.\n",
                         error.c_str());
            return kStatusUsage;
        case ParseResult::Run:
            break;
    }
    if (line.info) return PrintSceneInfo(line.sceneFile, line.json, stdout, stderr);
    if (line.chunks) return PrintChunkTree(line.sceneFile, stdout);
    SetUpShell(line, line.sceneFile);
    std::string arguments = JoinArguments(argc, argv);
    if (line.outputFolder) return RunOutputFolder(line, arguments);
    if (line.thumbnail != 0 && !CheckSceneStart(line.sceneFile)) return kStatusFailure;
    return line.outputFile ? RunHeadless(line, arguments) : RunViewer(line, arguments);
}
