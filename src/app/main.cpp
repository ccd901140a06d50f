// The process entry: reads the command line, chooses the platform backend and runs WinMain.
//
// With no arguments this is exactly the viewer: "svet.3ds", full screen, Escape to end.
// --output runs the same shell on the headless backend and writes the presented frames.
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/image_output.h"
#include "app/scene_input.h"
#include "app/scene_report.h"
#include "app/shell.h"
#include "platform/headless/headless.h"
#include "platform/memory/huge_pages.h"
#include "platform/sdl/sdl_loader.h"
#include "scene/loader.h"
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
    // The SDL backend is a module loaded only here: runs without a window map no display
    // or sound library.
    if (!OpenSdlModule(line.windowed, error)) {
        std::fprintf(stderr, "trellis: no display: %s\n", PrintableName(error.c_str()).c_str());
        return kStatusNoDisplay;
    }
    SetPlatformBackend(&SdlModuleBackend());
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, arguments.data(), SW_SHOWDEFAULT);
    SetPlatformBackend(nullptr);
    CloseSdlModule();
    return status;
}

// Before anything else starts, the scene named on the command line is read, when it is
// standard input ("-"), or else checked, for the viewer and --output, to be a regular file
// that can be opened: a wrong name is then the first and only thing reported, before any
// display or output file is opened. (--info and --chunks report a file that does not load
// themselves.) Returns 0, or the exit status after one line on stderr.
int PrepareScene(const CommandLine& line) {
    std::string error;
    if (IsStandardInput(line.sceneFile)) {
        if (!ReadSceneInput(stdin, kMaxSceneFileBytes, error)) {
            std::fprintf(stderr, "trellis: %s: %s\n", kStandardInputName, error.c_str());
            return kStatusFailure;
        }
        shellState.sceneStream = sceneInput.stream;
        return 0;
    }
    if (!line.info && !line.chunks && !CheckSceneFile(line.sceneFile, error)) {
        std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(line.sceneFile).c_str(),
                     error.c_str());
        return kStatusFailure;
    }
    return 0;
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
    if (const int status = PrepareScene(line); status != 0) return status;
    if (line.info) return PrintSceneInfo(line.sceneFile, line.json, stdout, stderr);
    if (line.chunks) return PrintChunkTree(line.sceneFile, stdout);
    shellState.sceneFileName = ShownSceneName(line.sceneFile);
    shellState.startView = line.view;
    shellState.startCamera = line.cameraName;
    shellState.screenWidth = line.width;
    shellState.screenHeight = line.height;
    std::string arguments = JoinArguments(argc, argv);
    return line.outputFile ? RunHeadless(line, arguments) : RunViewer(line, arguments);
}
