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
#include "app/exit_status.h"
#include "app/export_command.h"
#include "app/file_list.h"
#include "app/image_output.h"
#include "app/playback.h"
#include "app/report/chunk_tree.h"
#include "app/report/scene_info.h"
#include "app/scene_input.h"
#include "app/shell.h"
#include "platform/headless/headless.h"
#include "platform/memory/huge_pages.h"
#include "platform/sdl/sdl_loader.h"
#include "scene/loader.h"
#include "scene/printable.h"

namespace {

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
    if (line.outputFolder) return 0;  // each scene of the folder run is checked in its turn
    // The viewer's list of several scenes, or of a folder's, reports a file that cannot be
    // read in its turn and goes on to the others.
    const bool viewer = !line.outputFile && !line.info && !line.chunks;
    std::error_code notAFolder;
    if (viewer &&
        (line.scenes.size() > 1 || std::filesystem::is_directory(line.sceneFile, notAFolder))) {
        return 0;
    }
    if (IsStandardInput(line.sceneFile)) {
        if (!ReadSceneInput(stdin, kMaxSceneFileBytes, error)) {
            std::fprintf(stderr, "trellis: %s: %s\n", kStandardInputName, error.c_str());
            return kStatusFailure;
        }
        viewerState.firstStream = sceneInput.stream;
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

// A GIF of --animate without --frames holds one loop of the scene's animation, which is known
// once the scene is open: at the run's first message (its first tick) the rest of the script
// becomes the loop's remaining ticks and Escape.
void ScriptOneLoop(UINT /*message*/, int32_t /*ticks*/, void* /*user*/) {
    HeadlessSetMessageHook(nullptr, nullptr);
    HeadlessClearScript();
    HeadlessScriptTicks(PlaybackLoopTicks(viewerState.playback.animation) - 1);
    HeadlessScriptKey(VK_ESCAPE);
}

// Runs the frame ticks headless into line.outputFile. With `sceneRequired` (thumbnails and
// output folders) a file that is not a 3D Studio scene, which loads as an empty scene, is a
// failure: no picture is written and the status is 1 (the shell has said why).
int RunHeadless(const CommandLine& line, std::string& arguments, bool sceneRequired) {
    ImageOutput output;
    std::string error;
    if (!OpenImageOutput(output, line.outputFile, line.outputFormat, error)) {
        std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(line.outputFile).c_str(),
                     PrintableName(error.c_str()).c_str());
        return kStatusFailure;
    }
    UseHeadlessBackend();
    const bool oneLoop = line.animate && !line.ticksGiven && line.outputFormat == ImageFormat::Gif;
    HeadlessScriptTicks(oneLoop ? 1 : line.ticks);
    HeadlessScriptKey(VK_ESCAPE);
    if (oneLoop) HeadlessSetMessageHook(ScriptOneLoop, nullptr);
    HeadlessSetFrameCallback(WriteFrame, &output);
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, arguments.data(), SW_SHOWDEFAULT);
    SetPlatformBackend(nullptr);
    ResetHeadlessBackend();
    if (status == 0 && sceneRequired && !StartsWithMainChunk(LastFileHead())) {
        status = kStatusFailure;
    }
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

// What WinMain starts from: the view asked for, the keyframes played or not, and the frame
// size; every scene opened is required (its failure ends the run) until ListScenes lists
// several.
void SetUpViewer(const CommandLine& line) {
    ViewerState& v = viewerState;
    v.startPolicy = OpenPolicy{line.view, line.cameraName, true, line.render};
    v.listPolicy = OpenPolicy{line.view, line.cameraName, false, line.render};
    RequestPlayback(v.playback, line.animate, line.hasFrameTime ? &line.frameTime : nullptr);
    v.frameWidth = line.width;
    v.frameHeight = line.height;
}

// The headless run's one scene: the list's only entry.
void ListOneScene(const char* scene) {
    viewerState.list.paths.assign(1, ShownSceneName(scene));
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
        std::fprintf(stderr, "trellis: %s: cannot make the folder: %s\n",
                     PrintableName(line.outputFile).c_str(), error.message().c_str());
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
                         PrintableName(scene).c_str(), PrintableName(picturePath.c_str()).c_str());
            status = 1;
            continue;
        }
        std::string reason;
        if (IsStandardInput(scene)) {
            reason = "standard input cannot be drawn into a folder; use --output FILE";
        } else if (!CheckSceneFile(scene, reason)) {
            reason = PrintableName(reason.c_str());
        }
        if (!reason.empty()) {
            std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(scene).c_str(), reason.c_str());
            status = 1;
            continue;
        }
        ResetViewer(viewerState);
        SetUpViewer(line);
        ListOneScene(scene);
        CommandLine one = line;
        one.outputFile = picturePath.c_str();
        one.sceneFile = scene;
        if (RunHeadless(one, arguments, true) != 0) {
            status = 1;
            continue;
        }
        written.insert(picturePath);
    }
    ResetViewer(viewerState);
    return status;
}

// The viewer's list of files from the SCENE arguments: each folder stands for its .3ds
// files; standard input, read already, is listed under its shown name. Only a list of one
// requires its scene. False when nothing is left to show (the reasons are on stderr).
bool ListScenes(const CommandLine& line) {
    FileList& list = viewerState.list;
    for (const char* scene : line.scenes) {
        std::string error;
        if (viewerState.firstStream != nullptr && IsStandardInput(scene)) {
            list.paths.emplace_back(ShownSceneName(scene));
        } else if (AddListedPath(list, scene, error) < 0) {
            std::fprintf(stderr, "trellis: %s\n", error.c_str());
        }
    }
    if (line.scenes.empty()) list.paths.emplace_back(ShownSceneName(line.sceneFile));
    if (list.paths.empty()) return false;
    viewerState.startPolicy.required = list.paths.size() <= 1;
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
    if (line.exportFile != nullptr) return RunExport(line);
    if (const int status = PrepareScene(line); status != 0) return status;
    if (line.info) {
        return PrintSceneInfo(line.sceneFile, line.json,
                              line.hasFrameTime ? &line.frameTime : nullptr, stdout, stderr);
    }
    if (line.chunks) return PrintChunkTree(line.sceneFile, stdout);
    SetUpViewer(line);
    std::string arguments = JoinArguments(argc, argv);
    if (line.outputFolder) return RunOutputFolder(line, arguments);
    if (line.outputFile) {
        ListOneScene(line.sceneFile);
        return RunHeadless(line, arguments, line.thumbnail != 0);
    }
    if (!ListScenes(line)) return kStatusFailure;
    return RunViewer(line, arguments);
}
