// The viewer's input, over the messages of platform/win32.h.
#include "app/input.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/file_list.h"

namespace {

void ZoomBy(ViewerState& state, double factor) {
    if (state.scene) ZoomView(state.view, factor);
}

void OpenStepped(ViewerState& state, int32_t steps) {
    if (state.list.paths.size() < 2) return;
    OpenScene(state, SteppedFileIndex(state.list, steps), state.listPolicy);
}

// C: the next camera of the file; after the last one, the view the file was opened with
// (the fit view when that was a camera).
void NextCameraOrOrbit(ViewerState& state) {
    const Scene* scene = state.scene;
    if (!scene || scene->cameraCount <= 0) return;
    ViewState& view = state.view;
    if (view.mode == ViewMode::Camera && view.cameraIndex >= scene->cameraCount - 1) {
        ViewMode orbit = state.openedMode == ViewMode::Camera ? ViewMode::Fit : state.openedMode;
        StartView(view, *scene, orbit, -1, state.frameWidth, state.frameHeight);
    } else if (view.mode != ViewMode::Camera) {
        StartView(view, *scene, ViewMode::Camera, 0, state.frameWidth, state.frameHeight);
    } else {
        NextCamera(view, *scene);
    }
}

// U: the file's other axis up, for this scene and the ones opened after it.
void ToggleUpAxis(ViewerState& state) {
    state.up = state.up == UpAxis::FileZ ? UpAxis::FileY : UpAxis::FileZ;
    if (!state.scene) return;
    SetViewUpAxis(state.view, *state.scene, state.up);
    FitPlaybackView(state.playback, state.view, *state.scene);
}

// A dropped path that names a scene (by its extension) or a folder (of scenes).
bool IsSceneOrFolder(const std::string& path) {
    std::error_code notAFolder;
    return HasSceneExtension(path) || std::filesystem::is_directory(path, notAFolder);
}

void HandleKey(ViewerState& state, WPARAM key, LPARAM flags) {
    // Held keys repeat; only the steps of the arrow keys are meant to.
    const bool repeat = (static_cast<uint64_t>(flags) >> 30 & 1) != 0;
    switch (key) {
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            // A stopped animation steps a frame back or on; otherwise the view turns.
            if (state.playback.active && state.paused && (key == VK_LEFT || key == VK_RIGHT)) {
                StepPlayback(state.playback, key == VK_LEFT ? -1 : 1);
            } else if (state.scene) {
                const double yaw = key == VK_LEFT    ? -kArrowTurn
                                   : key == VK_RIGHT ? kArrowTurn
                                                     : 0.0;
                const double tilt = key == VK_UP ? -kArrowTurn : key == VK_DOWN ? kArrowTurn : 0.0;
                TurnView(state.view, yaw, tilt);
            }
            return;
        default:
            break;
    }
    if (repeat) return;
    switch (key) {
        case VK_SPACE:
            state.paused = !state.paused;
            break;
        case 'F':
            if (state.scene) {
                FitView(state.view, *state.scene);
                FitPlaybackView(state.playback, state.view, *state.scene);
            }
            break;
        case 'R':
            if (state.scene) StartSceneView(state, state.openedMode, state.openedCamera);
            break;
        case 'C':
            NextCameraOrOrbit(state);
            break;
        case 'W':
            NextRenderModeOfViewer(state);
            break;
        case 'U':
            ToggleUpAxis(state);
            break;
        case 'T':
            ToggleTextures(state);
            break;
        case VK_NEXT:
        case 'N':
            OpenStepped(state, 1);
            break;
        case VK_PRIOR:
        case 'P':
            OpenStepped(state, -1);
            break;
        case VK_F12:
            state.saveRequested = true;
            break;
        case 'H':
        case VK_F1:
            state.overlay.helpShown = !state.overlay.helpShown;
            break;
        default:
            break;
    }
}

void HandleCharacter(ViewerState& state, WPARAM character) {
    if (character == '+' || character == '=') ZoomBy(state, kZoomStep);
    if (character == '-') ZoomBy(state, 1.0 / kZoomStep);
}

void BeginDrag(DragState& drag, WPARAM button, WPARAM keys, LPARAM position) {
    if (drag.kind != DragKind::None) return;  // the first button held leads the drag
    const bool pan = button != MK_LBUTTON || (keys & MK_SHIFT) != 0;
    drag.kind = pan ? DragKind::Pan : DragKind::Turn;
    drag.button = button;
    drag.lastX = GET_X_LPARAM(position);
    drag.lastY = GET_Y_LPARAM(position);
}

void EndDrag(DragState& drag, WPARAM button) {
    if (drag.button == button) drag.kind = DragKind::None;
}

void MoveDrag(ViewerState& state, WPARAM keys, LPARAM position) {
    DragState& drag = state.drag;
    if (drag.kind == DragKind::None) return;
    // A button let go outside the window sends no button message: the drag ends here.
    if ((keys & drag.button) == 0) {
        drag.kind = DragKind::None;
        return;
    }
    const int32_t x = GET_X_LPARAM(position);
    const int32_t y = GET_Y_LPARAM(position);
    const int32_t dx = x - drag.lastX;
    const int32_t dy = y - drag.lastY;
    drag.lastX = x;
    drag.lastY = y;
    if ((dx == 0 && dy == 0) || !state.scene) return;
    if (drag.kind == DragKind::Turn) {
        TurnView(state.view, dx * kTurnPerPixel, dy * kTurnPerPixel);
    } else {
        PanView(state.view, dx, dy);
    }
}

// Adds every dropped file (a folder: its .3ds files) to the list and opens the first. A
// scene dropped together with its images lists only the scenes (and folders): the images
// are its maps, found beside it. A drop without any scene lists every file, so that each
// one that cannot be shown says why.
void HandleDrop(ViewerState& state, HDROP drop) {
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
    std::vector<std::string> paths;
    bool anyScene = false;
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileA(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::string path(length, '\0');
        DragQueryFileA(drop, i, path.data(), length + 1);
        path.resize(std::strlen(path.c_str()));
        anyScene = anyScene || IsSceneOrFolder(path);
        paths.push_back(std::move(path));
    }
    DragFinish(drop);
    int32_t first = -1;
    for (const std::string& path : paths) {
        if (anyScene && !IsSceneOrFolder(path)) continue;
        int32_t index = FindListedFile(state.list, path);
        if (index < 0) {
            std::string error;
            index = AddListedPath(state.list, path.c_str(), error);
            if (index < 0) std::fprintf(stderr, "trellis: %s\n", error.c_str());
        }
        if (first < 0) first = index;
    }
    if (first >= 0) OpenScene(state, first, state.listPolicy);
}

}  // namespace

bool HandleInputMessage(ViewerState& state, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            HandleKey(state, wParam, lParam);
            return true;
        case WM_CHAR:
            HandleCharacter(state, wParam);
            return true;
        case WM_LBUTTONDOWN:
            BeginDrag(state.drag, MK_LBUTTON, wParam, lParam);
            return true;
        case WM_RBUTTONDOWN:
            BeginDrag(state.drag, MK_RBUTTON, wParam, lParam);
            return true;
        case WM_MBUTTONDOWN:
            BeginDrag(state.drag, MK_MBUTTON, wParam, lParam);
            return true;
        case WM_LBUTTONUP:
            EndDrag(state.drag, MK_LBUTTON);
            return true;
        case WM_RBUTTONUP:
            EndDrag(state.drag, MK_RBUTTON);
            return true;
        case WM_MBUTTONUP:
            EndDrag(state.drag, MK_MBUTTON);
            return true;
        case WM_MOUSEMOVE:
            MoveDrag(state, wParam, lParam);
            return true;
        case WM_MOUSEWHEEL: {
            const int notches = GET_WHEEL_DELTA_WPARAM(wParam);
            if (notches != 0)
                ZoomBy(state, std::pow(kZoomStep, notches / static_cast<double>(WHEEL_DELTA)));
            return true;
        }
        case WM_DROPFILES:
            HandleDrop(state, reinterpret_cast<HDROP>(wParam));
            return true;
        default:
            return false;
    }
}
