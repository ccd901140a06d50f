// The process entry: reads the command line, chooses the platform backend and runs WinMain.
//
// With no arguments this is exactly the viewer: "svet.3ds", full screen, Escape to end.
// --output runs the same shell on the headless backend and writes the presented frames.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/command_line.h"
#include "app/exit_status.h"
#include "app/export_command.h"
#include "app/file_list.h"
#include "app/frame_budget.h"
#include "app/image_output.h"
#include "app/memory_budget.h"
#include "app/output.h"
#include "app/playback.h"
#include "app/progress.h"
#include "app/report/chunk_tree.h"
#include "app/report/scene_info.h"
#include "app/sample_scene.h"
#include "app/scene_input.h"
#include "app/scene_messages.h"
#include "app/shell.h"
#include "platform/headless/headless.h"
#include "platform/memory/huge_pages.h"
#include "platform/sdl/sdl_loader.h"
#include "scene/loader.h"
#include "scene/printable.h"

namespace {

// The most frames a GIF of --animate holds without --frames.
constexpr int32_t kMaxAnimatedGifFrames = 1000;

// The scene being worked on, for the line printed when memory runs out.
const char* sceneInHand = nullptr;

// Prints "trellis: standard output: REASON" when what was printed there did not all reach
// it; returns the status to end with (1 then, else `status`).
int FinishReport(int status) {
    std::string error;
    if (FinishStandardOutput(error)) return status;
    std::fprintf(stderr, "trellis: standard output: %s\n", error.c_str());
    return kStatusFailure;
}

// Whether anything (a file, a folder, a broken link) is at `path`.
bool PathIsThere(const char* path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
           std::filesystem::file_type::not_found;
}

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
    // A window follows its size; full screen keeps the desktop's mode for a scene named (or
    // the sample), and switches to 640x480 for the bundled scene's own run.
    ViewerState& v = viewerState;
    v.onScreen = true;
    if (line.windowed) {
        v.screen = ScreenMode::Window;
    } else if (!line.scenes.empty() || v.showingSample) {
        v.screen = ScreenMode::Desktop;
    }
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
        AllowHeldInput(static_cast<int64_t>(sceneInput.bytes.capacity()),
                       static_cast<int64_t>(sceneInput.bytes.size()));
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

// What each presented frame goes to: the image file, and the progress line.
struct FrameSink {
    ImageOutput* output;
    Progress* progress;
    int32_t frames;  // presented so far
};

void WriteFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    auto& sink = *static_cast<FrameSink*>(user);
    WriteImageFrame(*sink.output, pixels, width, height);
    sink.frames++;
    const int64_t now = ProgressClockNs();
    if (!ProgressDue(*sink.progress, now)) return;
    // How large the file has grown, for a GIF of many frames.
    char detail[48] = "";
    struct stat written = {};
    const OutputFile& file = sink.output->out;
    if (sink.output->format == ImageFormat::Gif && file.fd >= 0 && fstat(file.fd, &written) == 0 &&
        S_ISREG(written.st_mode)) {
        std::snprintf(detail, sizeof detail, "%.1f MB so far",
                      static_cast<double>(written.st_size) / 1e6);
    }
    UpdateProgress(*sink.progress, sink.frames, detail[0] != '\0' ? detail : nullptr, now);
}

// Ticks to run with --output: --frames, or for a GIF of --animate without it, one loop of
// the scene's animation, at most kMaxAnimatedGifFrames (a note on stderr says so).
int32_t AnimatedGifTicks(const CommandLine& line) {
    if (!line.animate || line.ticksGiven || line.outputFormat != ImageFormat::Gif) {
        return line.ticks;
    }
    Scene* scene = LoadNamedScene(line.sceneFile);
    if (scene == nullptr) return line.ticks;
    const int32_t ticks = PlaybackLoopTicks(*scene);
    FreeScene(scene);
    if (ticks > kMaxAnimatedGifFrames) {
        std::fprintf(stderr,
                     "trellis: %s: one loop of the animation is longer than %d frames; the "
                     "GIF holds the first %d (--frames N for more)\n",
                     PrintableName(ShownSceneName(line.sceneFile)).c_str(), kMaxAnimatedGifFrames,
                     kMaxAnimatedGifFrames);
        return kMaxAnimatedGifFrames;
    }
    return ticks;
}

// Runs the frame ticks headless into line.outputFile. With `sceneRequired` (thumbnails and
// output folders) a file that is not a 3D Studio scene, which loads as an empty scene, is a
// failure: no picture is written and the status is 1 (the shell has said why).
int RunHeadless(const CommandLine& line, std::string& arguments, bool sceneRequired,
                bool showProgress) {
    ImageOutput output;
    std::string error;
    // The scene itself is never the picture's file, through whatever links.
    OutputRules rules;
    FileIdentity scene;
    if (IdentifyInput(line.sceneFile, scene)) rules.inputs.push_back(scene);
    const std::string shownOutput = std::strcmp(line.outputFile, kStandardOutputTarget) == 0
                                        ? std::string("standard output")
                                        : PrintableName(line.outputFile);
    if (!OpenImageOutput(output, line.outputFile, line.outputFormat, rules, error)) {
        ClearProgressLine();
        std::fprintf(stderr, "trellis: %s: %s\n", shownOutput.c_str(),
                     PrintableName(error.c_str()).c_str());
        return kStatusFailure;
    }
    // Memory running out below (an exception) abandons the picture on the way out.
    struct AbandonOnThrow {
        ImageOutput& output;
        ~AbandonOnThrow() {
            if (std::uncaught_exceptions() > 0) AbandonImageOutput(output);
        }
    } abandonOnThrow{output};
    frameBudget.tooLarge = false;
    const int32_t ticks = AnimatedGifTicks(line);
    Progress progress;
    StartProgress(progress, showProgress ? TerminalOrNull(stderr) : nullptr, "frame", ticks,
                  ProgressClockNs());
    FrameSink sink = {&output, &progress, 0};
    UseHeadlessBackend();
    HeadlessScriptTicks(ticks);
    HeadlessScriptKey(VK_ESCAPE);
    HeadlessSetFrameCallback(WriteFrame, &sink);
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, arguments.data(), SW_SHOWDEFAULT);
    EndProgress(progress);
    SetPlatformBackend(nullptr);
    ResetHeadlessBackend();
    // A scene that draws nothing (not a 3D Studio scene, no finite position; said on stderr)
    // or one too large to draw gives no picture where one is required.
    if (status == 0 && sceneRequired && (viewerState.drawsNothing || frameBudget.tooLarge)) {
        status = kStatusFailure;
    }
    if (status != 0) {
        AbandonImageOutput(output);
        return status;
    }
    if (!FinishImageOutput(output, error)) {
        ClearProgressLine();
        std::fprintf(stderr, "trellis: %s: %s\n", shownOutput.c_str(),
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
    v.startPolicy = OpenPolicy{line.view, line.cameraName, true};
    v.listPolicy = OpenPolicy{line.view, line.cameraName, false};
    v.up = line.up;
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
    // A folder among the scenes stands for its .3ds files, as in the viewer.
    FileList scenes;
    int status = 0;
    for (const char* scene : line.scenes) {
        std::string error;
        if (!IsStandardInput(scene) && AddListedPath(scenes, scene, error) < 0) {
            std::fprintf(stderr, "trellis: %s\n", error.c_str());
            status = 1;
        } else if (IsStandardInput(scene)) {
            scenes.paths.emplace_back(scene);
        }
    }
    if (line.scenes.empty()) scenes.paths.emplace_back(line.sceneFile);
    std::filesystem::path folder(line.outputFile);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "trellis: %s: cannot make the folder: %s\n",
                     PrintableName(line.outputFile).c_str(), error.message().c_str());
        return kStatusFailure;
    }
    std::unordered_set<std::string> written;  // pictures written so far
    Progress progress;
    StartProgress(progress, TerminalOrNull(stderr), "scene",
                  static_cast<int64_t>(scenes.paths.size()), ProgressClockNs());
    int64_t done = 0;
    for (const std::string& path : scenes.paths) {
        const char* scene = path.c_str();
        UpdateProgress(progress, done++, nullptr, ProgressClockNs());
        std::filesystem::path picture =
            folder / std::filesystem::path(scene).filename().replace_extension(".png");
        std::string picturePath = picture.lexically_normal().string();
        if (written.count(picturePath) != 0) {
            ClearProgressLine();
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
            ClearProgressLine();
            std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(scene).c_str(), reason.c_str());
            status = 1;
            continue;
        }
        ResetViewer(viewerState);
        SetUpViewer(line);
        ListOneScene(scene);
        sceneInHand = scene;
        CommandLine one = line;
        one.outputFile = picturePath.c_str();
        one.sceneFile = scene;
        if (RunHeadless(one, arguments, true, false) != 0) {
            status = 1;
            continue;
        }
        written.insert(picturePath);
    }
    EndProgress(progress);
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

// What a load may keep and cost in this run: reports count faces and never draw them;
// pictures and the viewer draw at most a frame's budget of faces; the export takes every
// face whatever their number.
void SetUpLimits(const CommandLine& line) {
    LoadLimits limits;
    limits.keepFaces = !line.info && !line.chunks;
    if (limits.keepFaces && line.exportFile == nullptr) limits.maxFaces = line.maxFrameFaces;
    limits.maxFacesHint = "--max-faces raises it";
    SetLoadLimits(limits);
    if (line.maxFrameFaces > 0) frameBudget.maxFaces = line.maxFrameFaces;
}

int Run(int argc, char** argv) {
    SetArenaMemory(&CountedArenaMemory(HugePageArenaMemory()));
    CommandLine line;
    std::string error;
    switch (ParseCommandLine(argc, argv, line, error)) {
        case ParseResult::Help:
            std::fputs(UsageText(), stdout);
            return FinishReport(kStatusSuccess);
        case ParseResult::Version:
            std::printf("trellis %s\n", TRELLIS_VERSION);
            return FinishReport(kStatusSuccess);
        case ParseResult::UsageError:
            std::fprintf(stderr, "trellis: %s\nTry 'trellis --help' for more information.\n",
                         PrintableName(error.c_str()).c_str());
            return kStatusUsage;
        case ParseResult::Run:
            break;
    }
    sceneInHand = ShownSceneName(line.sceneFile);
    const bool viewer =
        !line.outputFile && !line.info && !line.chunks && line.exportFile == nullptr;
    InstallOutputSignalHandlers(viewer);
    SetUpLimits(line);
    if (line.exportFile != nullptr) {
        StartMemoryBudget(line.maxMemory, false);
        return RunExport(line);
    }
    // The viewer started with no scene where there is no svet.3ds (from the desktop's menu,
    // say) shows the installed sample instead, framed, with a note on how to open a file.
    static std::string sample;
    if (line.scenes.empty() && !line.outputFile && !line.info && !line.chunks &&
        !PathIsThere(line.sceneFile)) {
        sample = FindSampleScene();
        if (!sample.empty()) {
            line.sceneFile = sample.c_str();
            sceneInHand = line.sceneFile;
            if (!line.viewGiven) line.view = ViewMode::Fit;
            viewerState.showingSample = true;
            std::fprintf(stderr,
                         "trellis: no scene named and no %s here: showing the sample scene %s; "
                         "drop a .3ds file on the window, or run: trellis FILE.3ds\n",
                         kDefaultSceneName, PrintableName(sample.c_str()).c_str());
        }
    }
    if (const int status = PrepareScene(line); status != 0) return status;
    StartMemoryBudget(line.maxMemory, line.thumbnail != 0);
    if (line.info) {
        return FinishReport(PrintSceneInfo(line.sceneFile, line.json,
                                           line.hasFrameTime ? &line.frameTime : nullptr, stdout,
                                           stderr));
    }
    if (line.chunks) return FinishReport(PrintChunkTree(line.sceneFile, stdout));
    SetUpViewer(line);
    std::string arguments = JoinArguments(argc, argv);
    if (line.outputFolder) return RunOutputFolder(line, arguments);
    if (line.outputFile) {
        ListOneScene(line.sceneFile);
        const int status = RunHeadless(line, arguments, line.thumbnail != 0, true);
        // A picture on standard output is checked to its close, like the reports.
        if (std::strcmp(line.outputFile, kStandardOutputTarget) == 0) return FinishReport(status);
        return status;
    }
    if (!ListScenes(line)) return kStatusFailure;
    return RunViewer(line, arguments);
}

}  // namespace

// Memory running out anywhere (past the run's allowance, or the system's) ends the run with
// one line and status 1, leaving no temporary file.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        RemoveTemporaryOutputs();
        memoryBudget.counting = false;  // the line below may take a little
        const char* refusal = MemoryRefusalReason();
        std::fprintf(stderr, "trellis: %s: %s\n",
                     PrintableName(sceneInHand != nullptr ? sceneInHand : "trellis").c_str(),
                     refusal[0] != '\0' ? refusal : "out of memory");
    } catch (const std::exception& failure) {
        RemoveTemporaryOutputs();
        memoryBudget.counting = false;
        std::fprintf(stderr, "trellis: %s: %s\n",
                     PrintableName(sceneInHand != nullptr ? sceneInHand : "trellis").c_str(),
                     PrintableName(failure.what()).c_str());
    }
    return kStatusFailure;
}
