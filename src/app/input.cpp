// The viewer's input, over the messages of platform/win32.h.
#include "app/input.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/file_list.h"
#include "app/frame_file.h"
#include "app/shell.h"
#include "render/line_stepper.h"
#include "render/text.h"
#include "render/wireframe.h"
#include "scene/loader.h"
#include "scene/printable.h"

InputState inputState;

namespace {

constexpr const char* kHelpLines[] = {
    "left drag            turn and tilt",
    "right or middle drag pan (also Shift + left drag)",
    "wheel, + and -       zoom",
    "arrow keys           turn and tilt in steps",
    "Space                stop or restart the turn",
    "F                    fit the scene again",
    "R                    back to the starting view",
    "C                    next camera of the file",
    "Page Down, Page Up   next, previous file (also N, P)",
    "F12                  save the frame as a PNG",
    "H, F1                this help",
    "Escape               quit",
};
constexpr int32_t kHelpLineCount = sizeof kHelpLines / sizeof kHelpLines[0];
constexpr int32_t kMargin = 8;

const char* ViewModeName(ViewMode mode) {
    switch (mode) {
        case ViewMode::Fixed:
            return "fixed";
        case ViewMode::Fit:
            return "fit";
        case ViewMode::Camera:
            return "camera";
    }
    return "?";
}

// The last part of a path, for the title and the help.
const char* BaseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') base = p + 1;
    }
    return *base != '\0' ? base : path;
}

// Sets the projection for the view just started: the fixed view's own, or the view's field.
void ApplyProjection() {
    ShellState& s = shellState;
    SetProjection(s.screenWidth, s.screenHeight);
    if (s.view.mode != ViewMode::Fixed) {
        SetProjectionFieldOfView(s.screenWidth, s.screenHeight, s.view.pose.fieldOfView);
    }
}

// Starts the view of the loaded scene in `mode` (camera `camera` for ViewMode::Camera) and
// restarts its turn, so that the next drawn tick shows the view's first frame.
void StartFileView(ViewMode mode, int32_t camera) {
    ShellState& s = shellState;
    ResetObjectSpins(*s.loadedScene);
    StartView(s.view, *s.loadedScene, mode, camera, s.screenWidth, s.screenHeight);
    ApplyProjection();
    inputState.firstStepPending = true;
}

void NoteFileLines() {
    ShellState& s = shellState;
    InputState& in = inputState;
    std::snprintf(in.fileLine, sizeof in.fileLine, "file %d of %d: %s",
                  static_cast<int>(fileList.current) + 1,
                  static_cast<int>(fileList.paths.empty() ? 1 : fileList.paths.size()),
                  QuotedName(BaseName(s.sceneFileName)).c_str());
    in.countsLine[0] = '\0';
    if (!s.loadedScene) return;
    int64_t vertices = 0;
    int64_t faces = 0;
    for (int32_t i = 0; i < s.loadedScene->objectCount; ++i) {
        vertices += s.loadedScene->objects[i].vertexCount;
        faces += s.loadedScene->objects[i].faceCount;
    }
    std::snprintf(in.countsLine, sizeof in.countsLine,
                  "%d objects, %" PRId64 " vertices, %" PRId64 " faces, %d cameras",
                  static_cast<int>(s.loadedScene->objectCount), vertices, faces,
                  static_cast<int>(s.loadedScene->cameraCount));
}

void SetTitle(HWND window) {
    std::string title = PrintableName(BaseName(shellState.sceneFileName)) + " - " + kWindowTitle;
    SetWindowTextA(window, title.c_str());
}

void TurnBy(double yaw, double tilt) {
    if (!shellState.loadedScene) return;
    TurnView(shellState.view, yaw, tilt);
    ApplyProjection();
}

void ZoomBy(double factor) {
    if (!shellState.loadedScene) return;
    ZoomView(shellState.view, factor);
    ApplyProjection();
}

void OpenStepped(HWND window, int32_t steps) {
    if (fileList.paths.size() < 2) return;
    OpenListedFile(window, SteppedFileIndex(fileList, steps));
}

// C: the next camera of the file; after the last one, the view the file was opened with
// (the fit view when that was a camera).
void NextCameraOrOrbit() {
    ShellState& s = shellState;
    if (!s.loadedScene || s.loadedScene->cameraCount <= 0) return;
    if (s.view.mode == ViewMode::Camera && s.view.cameraIndex >= s.loadedScene->cameraCount - 1) {
        ViewMode orbit =
            inputState.openedMode == ViewMode::Camera ? ViewMode::Fit : inputState.openedMode;
        StartView(s.view, *s.loadedScene, orbit, -1, s.screenWidth, s.screenHeight);
    } else if (s.view.mode != ViewMode::Camera) {
        StartView(s.view, *s.loadedScene, ViewMode::Camera, 0, s.screenWidth, s.screenHeight);
    } else {
        NextCamera(s.view, *s.loadedScene);
    }
    ApplyProjection();
}

bool HandleKey(HWND window, WPARAM key, LPARAM flags) {
    ShellState& s = shellState;
    InputState& in = inputState;
    // Held keys repeat; only the steps of the arrow keys are meant to.
    const bool repeat = (static_cast<uint64_t>(flags) >> 30 & 1) != 0;
    switch (key) {
        case VK_LEFT:
            TurnBy(-kArrowTurn, 0.0);
            return true;
        case VK_RIGHT:
            TurnBy(kArrowTurn, 0.0);
            return true;
        case VK_UP:
            TurnBy(0.0, -kArrowTurn);
            return true;
        case VK_DOWN:
            TurnBy(0.0, kArrowTurn);
            return true;
        default:
            break;
    }
    if (repeat) return true;
    switch (key) {
        case VK_SPACE:
            in.paused = !in.paused;
            break;
        case 'F':
            if (s.loadedScene) {
                FitView(s.view, *s.loadedScene);
                ApplyProjection();
            }
            break;
        case 'R':
            if (s.loadedScene) StartFileView(in.openedMode, in.openedCamera);
            break;
        case 'C':
            NextCameraOrOrbit();
            break;
        case VK_NEXT:
        case 'N':
            OpenStepped(window, 1);
            break;
        case VK_PRIOR:
        case 'P':
            OpenStepped(window, -1);
            break;
        case VK_F12:
            in.saveRequested = true;
            break;
        case 'H':
        case VK_F1:
            in.helpShown = !in.helpShown;
            break;
        default:
            break;
    }
    return true;
}

void HandleCharacter(WPARAM character) {
    if (character == '+' || character == '=') ZoomBy(kZoomStep);
    if (character == '-') ZoomBy(1.0 / kZoomStep);
}

void BeginDrag(WPARAM button, WPARAM keys, LPARAM position) {
    InputState& in = inputState;
    if (in.drag != DragKind::None) return;  // the first button held leads the drag
    const bool pan = button != MK_LBUTTON || (keys & MK_SHIFT) != 0;
    in.drag = pan ? DragKind::Pan : DragKind::Turn;
    in.dragButton = button;
    in.lastX = GET_X_LPARAM(position);
    in.lastY = GET_Y_LPARAM(position);
}

void EndDrag(WPARAM button) {
    if (inputState.dragButton == button) inputState.drag = DragKind::None;
}

void MoveDrag(WPARAM keys, LPARAM position) {
    InputState& in = inputState;
    if (in.drag == DragKind::None) return;
    // A button let go outside the window sends no button message: the drag ends here.
    if ((keys & in.dragButton) == 0) {
        in.drag = DragKind::None;
        return;
    }
    const int32_t x = GET_X_LPARAM(position);
    const int32_t y = GET_Y_LPARAM(position);
    const int32_t dx = x - in.lastX;
    const int32_t dy = y - in.lastY;
    in.lastX = x;
    in.lastY = y;
    if ((dx == 0 && dy == 0) || !shellState.loadedScene) return;
    if (in.drag == DragKind::Turn) {
        TurnBy(dx * kTurnPerPixel, dy * kTurnPerPixel);
    } else {
        PanView(shellState.view, dx, dy);
        ApplyProjection();
    }
}

// Adds every dropped file (a folder: its .3ds files) to the list and opens the first.
void HandleDrop(HWND window, HDROP drop) {
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
    int32_t first = -1;
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileA(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::string path(length, '\0');
        DragQueryFileA(drop, i, path.data(), length + 1);
        path.resize(std::strlen(path.c_str()));
        int32_t index = FindListedFile(fileList, path);
        if (index < 0) {
            std::string error;
            index = AddListedPath(fileList, path.c_str(), error);
            if (index < 0) std::fprintf(stderr, "trellis: %s\n", error.c_str());
        }
        if (first < 0) first = index;
    }
    DragFinish(drop);
    if (first >= 0) OpenListedFile(window, first);
}

void DrawLines(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
               const char* const* lines, int32_t count) {
    int32_t widest = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t w = TextWidth(lines[i]);
        if (w > widest) widest = w;
    }
    FillRectangle(pixels, width, height, x - 4, y - 4, widest + 8,
                  count * kTextLineHeight - (kTextLineHeight - kGlyphHeight) + 8, 0);
    for (int32_t i = 0; i < count; ++i) {
        DrawFrameText(pixels, width, height, x, y + i * kTextLineHeight, lines[i], kLineColour);
    }
}

}  // namespace

bool HandleInputMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            return HandleKey(window, wParam, lParam);
        case WM_CHAR:
            HandleCharacter(wParam);
            return true;
        case WM_LBUTTONDOWN:
            BeginDrag(MK_LBUTTON, wParam, lParam);
            return true;
        case WM_RBUTTONDOWN:
            BeginDrag(MK_RBUTTON, wParam, lParam);
            return true;
        case WM_MBUTTONDOWN:
            BeginDrag(MK_MBUTTON, wParam, lParam);
            return true;
        case WM_LBUTTONUP:
            EndDrag(MK_LBUTTON);
            return true;
        case WM_RBUTTONUP:
            EndDrag(MK_RBUTTON);
            return true;
        case WM_MBUTTONUP:
            EndDrag(MK_MBUTTON);
            return true;
        case WM_MOUSEMOVE:
            MoveDrag(wParam, lParam);
            return true;
        case WM_MOUSEWHEEL: {
            const int notches = GET_WHEEL_DELTA_WPARAM(wParam);
            if (notches != 0)
                ZoomBy(std::pow(kZoomStep, notches / static_cast<double>(WHEEL_DELTA)));
            return true;
        }
        case WM_DROPFILES:
            HandleDrop(window, reinterpret_cast<HDROP>(wParam));
            return true;
        default:
            return false;
    }
}

bool OpenListedFile(HWND window, int32_t index) {
    ShellState& s = shellState;
    InputState& in = inputState;
    if (index < 0 || index >= static_cast<int32_t>(fileList.paths.size())) return false;
    fileList.current = index;
    s.sceneFileName = fileList.paths[static_cast<size_t>(index)].c_str();
    // The scene shown before goes first: its memory serves the next load.
    FreeScene(s.loadedScene);
    s.loadedScene = nullptr;
    in.status[0] = '\0';
    in.drag = DragKind::None;
    s.loadedScene = LoadScene(s.sceneFileName);
    return ShowLoadedFile(window);
}

bool ShowLoadedFile(HWND window) {
    ShellState& s = shellState;
    InputState& in = inputState;
    SetTitle(window);
    if (!s.loadedScene) {
        // The reason quotes the file's own bytes: shown only made printable.
        const std::string reason = PrintableName(LoadFailureText(s.sceneFileName).c_str());
        std::fprintf(stderr, "trellis: %s\n", reason.c_str());
        std::snprintf(in.status, sizeof in.status, "%s", reason.c_str());
        NoteFileLines();
        return false;
    }
    // The view asked for; a file without the camera asked for is fitted instead.
    ViewMode mode = s.startView;
    int32_t camera = -1;
    if (mode == ViewMode::Camera) {
        camera = s.startCamera ? FindCameraIndex(*s.loadedScene, s.startCamera) : 0;
        if (camera < 0 || camera >= s.loadedScene->cameraCount) {
            mode = ViewMode::Fit;
            camera = -1;
        }
    }
    in.openedMode = mode;
    in.openedCamera = camera;
    StartFileView(mode, camera);
    NoteFileLines();
    return true;
}

void NoteOpenedFile(HWND window) {
    ShellState& s = shellState;
    // Started without a list (no SCENE argument): the scene shown is the list's first file,
    // so that a dropped file can be stepped back from.
    if (fileList.paths.empty()) fileList.paths.emplace_back(s.sceneFileName);
    inputState.openedMode = s.view.mode;
    inputState.openedCamera = s.view.cameraIndex;
    SetTitle(window);
    NoteFileLines();
}

bool TakeTurnThisTick() {
    InputState& in = inputState;
    const bool turn = !in.paused || in.firstStepPending;
    in.firstStepPending = false;
    return turn;
}

void DrawOverlay(uint32_t* pixels, int32_t width, int32_t height) {
    const InputState& in = inputState;
    if (in.status[0] != '\0') {
        // The reason at the bottom, broken into as many lines as the frame's width needs.
        int32_t perLine = (width - 2 * kMargin) / kTextAdvance;
        if (perLine < 1) perLine = 1;
        char pieces[4][sizeof in.status];
        const char* lines[4];
        int32_t count = 0;
        for (const char* rest = in.status; *rest != '\0' && count < 4; ++count) {
            size_t take = std::strlen(rest);
            if (take > static_cast<size_t>(perLine)) take = static_cast<size_t>(perLine);
            std::memcpy(pieces[count], rest, take);
            pieces[count][take] = '\0';
            lines[count] = pieces[count];
            rest += take;
        }
        DrawLines(pixels, width, height, kMargin,
                  height - kMargin - kGlyphHeight - (count - 1) * kTextLineHeight, lines, count);
    }
    if (!in.helpShown) return;
    // The help: the keys, then the file, what it holds and the view.
    const ViewState& view = shellState.view;
    char viewLine[160];
    std::snprintf(viewLine, sizeof viewLine,
                  "view: %s  turn %.1f  tilt %.1f  distance %.4g  field %.1f%s",
                  ViewModeName(view.mode), (view.spin + view.pose.yaw) * 57.29577951308232,
                  view.pose.tilt * 57.29577951308232, view.pose.distance,
                  view.pose.fieldOfView * 57.29577951308232, in.paused ? "  (stopped)" : "");
    const char* lines[kHelpLineCount + 4];
    int32_t count = 0;
    for (const char* help : kHelpLines)
        lines[count++] = help;
    lines[count++] = "";
    lines[count++] = in.fileLine;
    lines[count++] = in.countsLine[0] != '\0' ? in.countsLine : "not loaded";
    lines[count++] = viewLine;
    DrawLines(pixels, width, height, kMargin, kMargin, lines, count);
}

void SaveRequestedFrame(const uint32_t* pixels, int32_t width, int32_t height) {
    InputState& in = inputState;
    if (!in.saveRequested) return;
    in.saveRequested = false;
    std::string path;
    std::string error;
    if (!SaveFrameFile(pixels, width, height, in.nextSaveNumber, path, error)) {
        std::fprintf(stderr, "trellis: cannot save the frame: %s\n", error.c_str());
        return;
    }
    std::printf("saved %s\n", path.c_str());
    std::fflush(stdout);
}

void ResetInputState() {
    inputState = InputState{};
}
