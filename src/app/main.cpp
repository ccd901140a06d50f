// The process entry: reads the command line, chooses the platform backend and runs WinMain.
//
// With no arguments this is exactly the viewer: "svet.3ds", full screen, Escape to end.
// --output runs the same shell on the headless backend and writes the presented frames.
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/file_list.h"
#include "app/image_output.h"
#include "app/scene_report.h"
#include "app/shell.h"
#include "platform/headless/headless.h"
#include "platform/memory/huge_pages.h"
#include "platform/sdl/sdl.h"
#include "scene/printable.h"

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
    if (!OpenSdlBackend(line.windowed, error)) {
        std::fprintf(stderr, "trellis: no display: %s\n", PrintableName(error.c_str()).c_str());
        return kStatusNoDisplay;
    }
    SetPlatformBackend(&SdlBackend());
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, arguments.data(), SW_SHOWDEFAULT);
    SetPlatformBackend(nullptr);
    CloseSdlBackend();
    return status;
}

void WriteFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    WriteImageFrame(*static_cast<ImageOutput*>(user), pixels, width, height);
}

int RunHeadless(const CommandLine& line, std::string& arguments) {
    ImageOutput output;
    std::string error;
    if (!OpenImageOutput(output, line.outputFile, line.outputFormat, error)) {
        std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(line.outputFile).c_str(),
                     PrintableName(error.c_str()).c_str());
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
        std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(line.outputFile).c_str(),
                     PrintableName(error.c_str()).c_str());
        return kStatusFailure;
    }
    return 0;
}

// The viewer's list of files from the SCENE arguments: each folder stands for its .3ds
// files. False when nothing is left to show (the reasons are on stderr).
bool ListScenes(const CommandLine& line) {
    for (const char* scene : line.scenes) {
        std::string error;
        if (AddListedPath(fileList, scene, error) < 0) {
            std::fprintf(stderr, "trellis: %s\n", error.c_str());
        }
    }
    if (line.scenes.empty()) fileList.paths.emplace_back(line.sceneFile);
    if (fileList.paths.empty()) return false;
    shellState.sceneFileName = fileList.paths[0].c_str();
    return true;
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
                         PrintableName(error.c_str()).c_str());
            return kStatusUsage;
        case ParseResult::Run:
            break;
    }
    if (line.info) return PrintSceneInfo(line.sceneFile, line.json, stdout, stderr);
    if (line.chunks) return PrintChunkTree(line.sceneFile, stdout);
    shellState.sceneFileName = line.sceneFile;
    shellState.startView = line.view;
    shellState.startCamera = line.cameraName;
    shellState.screenWidth = line.width;
    shellState.screenHeight = line.height;
    std::string arguments = JoinArguments(argc, argv);
    if (line.outputFile) return RunHeadless(line, arguments);
    if (!ListScenes(line)) return kStatusFailure;
    return RunViewer(line, arguments);
}
