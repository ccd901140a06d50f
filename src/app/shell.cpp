// The application shell over the Win32 calls of platform/win32.h.
#include "app/shell.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/draw.h"
#include "app/exit_status.h"
#include "app/frame_file.h"
#include "app/frame_size.h"
#include "app/input.h"
#include "app/overlay.h"
#include "display/display.h"
#include "platform/quit_pending.h"
#include "render/frame_stop.h"

ViewerState viewerState;

namespace {

// Whether the scene turns in this tick: unless stopped, and once after a scene (or R) is
// opened even then, so that it shows its first frame.
bool TakeTurnThisTick(ViewerState& v) {
    const bool turn = !v.paused || v.firstStepPending;
    v.firstStepPending = false;
    return turn;
}

// Saves the frame when F12 asked for it; the path is said on stdout.
void SaveRequestedFrame(ViewerState& v, const uint32_t* pixels) {
    if (!v.saveRequested) return;
    v.saveRequested = false;
    std::string path;
    std::string error;
    if (!SaveFrameFile(pixels, v.frameWidth, v.frameHeight, v.nextSaveNumber, path, error)) {
        std::fprintf(stderr, "trellis: cannot save the frame: %s\n", error.c_str());
        return;
    }
    std::printf("saved %s\n", path.c_str());
    std::fflush(stdout);
}

// One timer message: lock a frame, move the scene on (the turn, or the keyframes posed at
// their time), draw it (every pixel: DrawScene fills what no face covers with the mode's
// background; without a scene the frame is cleared to black) and what lies over it, present.
// A tick that cannot lock a frame is dropped whole: nothing moves.
void FrameTick(ViewerState& v) {
    FollowWindowSize(v);
    UpdateSceneMaps(v);
    uint32_t* pixels = nullptr;
    if (LockFrame(&pixels) == 0) return;
    if (!v.scene) {
        std::memset(pixels, 0,
                    static_cast<size_t>(v.frameWidth) * static_cast<size_t>(v.frameHeight) *
                        sizeof(uint32_t));
    }
    // The animation's frame line tells the time drawn in this tick.
    v.overlay.frameLine[0] = '\0';
    if (v.onScreen && v.scene) NotePlaybackFrame(v.overlay, v.playback, v.paused);
    if (v.scene) {
        Scene& scene = *v.scene;
        SceneMatrices matrices;
        matrices.fixedCamera = &v.fixedCamera;
        DrawnMaps maps;
        if (const SceneSamplers* samplers = SamplersToDraw(v)) {
            maps.texture = samplers->texture.data();
            maps.opacity = samplers->opacity.data();
        }
        if (v.playback.active) {
            // The keyframes at the time shown; time moves on after the frame is drawn.
            PosePlayback(v.playback, scene, v.view);
            matrices.instances = v.playback.shown.data();
            matrices.instanceCount = v.playback.shown.size();
            DrawScene(v.draw, scene, v.view, v.render, matrices, SceneName(v), pixels, v.frameWidth,
                      v.frameHeight, maps);
            if (!v.paused) AdvancePlayback(v.playback);
        } else {
            // The turn: the fixed view turns each object's own matrix; the others turn the
            // view. Space stops it.
            if (TakeTurnThisTick(v)) {
                AdvanceView(v.view);
                if (v.view.mode == ViewMode::Fixed) {
                    for (int32_t i = 0; i < scene.objectCount; ++i)
                        MatrixRotateY(scene.objects[i].matrix, kSpinStep);
                }
            }
            DrawScene(v.draw, scene, v.view, v.render, matrices, SceneName(v), pixels, v.frameWidth,
                      v.frameHeight, maps);
        }
    }
    DrawOverlay(v.overlay, v.view, v.render, v.paused, pixels, v.frameWidth, v.frameHeight);
    SaveRequestedFrame(v, pixels);
    PresentFrame();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, LPSTR /*commandLine*/,
                   int showCommand) {
    ViewerState& v = viewerState;

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kWindowClassName;
    windowClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    RegisterClassExA(&windowClass);

    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    PlaceWindow(v, x, y);
    v.window = CreateWindowExA(0, kWindowClassName, kWindowTitle, WS_POPUP, x, y, v.frameWidth,
                               v.frameHeight, nullptr, nullptr, instance, nullptr);
    ShowWindow(v.window, showCommand);
    UpdateWindow(v.window);
    ShowCursor(FALSE);
    TakeWindowSize(v);

    BuildFixedCamera(v.fixedCamera);

    // Started without a list (no scene named): the default scene is the list's first file,
    // so that a dropped file can be stepped back from.
    if (v.list.paths.empty()) v.list.paths.emplace_back(kDefaultSceneName);
    const int status = OpenScene(v, 0, v.startPolicy);
    if (status != kStatusSuccess && v.startPolicy.required) return status;
    DragAcceptFiles(v.window, TRUE);

    SetTimer(v.window, 0, 20, nullptr);
    OpenDisplay(v);
    // A long frame looks, between its blocks, for a request to end the run (frame_stop.h).
    SetFrameStopPoll(PlatformQuitPending);

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    SetFrameStopPoll(nullptr);

    ShutdownDisplay();
    // A load of maps under way ends with the run.
    StopViewerMaps(v.maps);
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            // A stop asked for while a frame was drawn (a signal, or Escape or a close seen
            // waiting): the run ends, as the key or the close would end it.
            if (FrameStopRequested()) {
                ShowCursor(TRUE);
                SendMessageA(window, WM_CLOSE, 0, 0);
                return 0;
            }
            FrameTick(viewerState);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                ShowCursor(TRUE);
                SendMessageA(window, WM_CLOSE, 0, 0);
                return 0;
            }
            HandleInputMessage(viewerState, message, wParam, lParam);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            if (NoteWindowSize(viewerState, wParam, lParam)) return 0;
            return DefWindowProcA(window, message, wParam, lParam);
        default:
            if (HandleInputMessage(viewerState, message, wParam, lParam)) return 0;
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
