// The application shell over the Win32 calls of platform/win32.h.
#include "app/shell.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/file_list.h"
#include "app/input.h"
#include "app/playback.h"
#include "display/display.h"
#include "platform/quit_pending.h"
#include "render/frame_render.h"
#include "render/frame_stop.h"
#include "render/wireframe.h"
#include "scene/loader.h"
#include "scene/printable.h"

ShellState shellState;

namespace {

// The camera matrix of the fit and camera views: their whole transform is the object matrix.
constexpr Matrix4 kIdentity = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                               0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

void ReportLoadFailure(const char* fileName) {
    std::fprintf(stderr, "trellis: %s\n", LoadFailureText(fileName).c_str());
}

// One timer message: lock, clear, turn every object, draw them all, present.
// A tick that cannot lock a frame is dropped whole: nothing turns.
void FrameTick() {
    ShellState& s = shellState;
    if (LockFrame(&s.framePixels) == 0) return;
    std::memset(s.framePixels, 0,
                static_cast<size_t>(s.screenWidth) * static_cast<size_t>(s.screenHeight) *
                    sizeof(uint32_t));
    if (s.loadedScene && PlaybackActive()) {
        DrawPlayback(*s.loadedScene, s.view, s.viewCamera, s.screenWidth, s.screenHeight,
                     s.framePixels);
        AdvancePlayback();
    } else if (s.loadedScene) {
        // The fixed view turns each object's own matrix and draws through the fixed camera;
        // the others build one object-to-view matrix a tick and draw through the identity.
        // Space stops the turn; everything else is drawn as usual.
        Scene& scene = *s.loadedScene;
        const bool fixed = s.view.mode == ViewMode::Fixed;
        const bool turn = TakeTurnThisTick();
        if (turn) AdvanceView(s.view);
        if (fixed) {
            if (turn) {
                for (int32_t i = 0; i < scene.objectCount; ++i)
                    MatrixRotateY(scene.objects[i].matrix, kSpinStep);
            }
            RenderFrame(scene.objects, scene.objectCount, OwnMatrices(scene.objects), s.viewCamera,
                        s.framePixels);
        } else {
            ViewTransform view;
            BuildViewTransform(s.view, view);
            ViewObjectMatrix(view, nullptr, s.viewMatrix);
            SetProjectionFieldOfView(s.screenWidth, s.screenHeight, s.view.pose.fieldOfView);
            RenderFrame(scene.objects, scene.objectCount, SameMatrix(s.viewMatrix), kIdentity,
                        s.framePixels);
        }
    }
    DrawOverlay(s.framePixels, s.screenWidth, s.screenHeight);
    SaveRequestedFrame(s.framePixels, s.screenWidth, s.screenHeight);
    PresentFrame();
}

}  // namespace

void ReportNotA3ds(const char* fileName) {
    const std::string reason = NotA3dsReason();
    if (reason.empty()) return;
    std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(fileName).c_str(), reason.c_str());
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, LPSTR /*commandLine*/,
                   int showCommand) {
    ShellState& s = shellState;

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

    HWND window =
        CreateWindowExA(0, kWindowClassName, kWindowTitle, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                        s.screenWidth, s.screenHeight, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    ShowCursor(FALSE);

    BuildViewCamera(s.viewCamera);

    s.loadedScene = s.sceneStream ? LoadSceneFromStream(s.sceneStream, s.sceneFileName)
                                  : LoadScene(s.sceneFileName);
    if (!s.loadedScene && fileList.paths.size() <= 1) {
        ReportLoadFailure(s.sceneFileName);
        return 1;
    }
    if (fileList.paths.size() > 1) {
        // One file of several: a load that failed or a camera the file lacks does not end
        // the run; the viewer shows why and steps on to the others.
        ShowLoadedFile(window);
    } else {
        ReportNotA3ds(s.sceneFileName);
        StartPlayback(*s.loadedScene);
        ResetObjectSpins(*s.loadedScene);
        PrepareFrameRender(s.loadedScene->objects, s.loadedScene->objectCount);
        if (!StartShellView()) return kStatusNoSuchCamera;
        FitPlaybackView(s.view, *s.loadedScene);
        NoteOpenedFile(window);
    }
    DragAcceptFiles(window, TRUE);

    SetProjection(s.screenWidth, s.screenHeight);
    if (s.view.mode != ViewMode::Fixed) {
        SetProjectionFieldOfView(s.screenWidth, s.screenHeight, s.view.pose.fieldOfView);
    }
    SetTimer(window, 0, 20, nullptr);
    InitDisplay(window, s.screenWidth, s.screenHeight);
    SetFrameStopPoll(PlatformQuitPending);

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }

    ShutdownDisplay();
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            // A stop asked for while a frame was drawn (frame_stop.h): the run ends.
            if (FrameStopRequested()) {
                SendMessageA(window, WM_CLOSE, 0, 0);
                return 0;
            }
            FrameTick();
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                ShowCursor(TRUE);
                SendMessageA(window, WM_CLOSE, 0, 0);
                return 0;
            }
            HandleInputMessage(window, message, wParam, lParam);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            if (HandleInputMessage(window, message, wParam, lParam)) return 0;
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void BuildViewCamera(Matrix4& camera) {
    // 150 units from the origin, turned half a circle about Z and tilted 30 degrees, its
    // view axis pointing at the origin.
    MatrixIdentity(camera);
    MatrixRotateZ(camera, kCameraTurnZ);
    MatrixRotateX(camera, kCameraTurnX);
    MatrixTranslate(camera, 0.0f, 0.0f, kCameraDistance);
}

void ResetObjectSpins(Scene& scene) {
    for (int32_t i = 0; i < scene.objectCount; ++i)
        MatrixIdentity(scene.objects[i].matrix);
}

bool StartShellView() {
    ShellState& s = shellState;
    const Scene& scene = *s.loadedScene;
    int32_t camera = -1;
    if (s.startView == ViewMode::Camera) {
        if (scene.cameraCount <= 0) {
            std::fprintf(stderr, "trellis: %s: the file has no cameras\n",
                         PrintableName(s.sceneFileName).c_str());
            return false;
        }
        camera = s.startCamera ? FindCameraIndex(scene, s.startCamera) : 0;
        if (camera < 0) {
            std::string names;
            for (int32_t i = 0; i < scene.cameraCount; ++i) {
                names += i == 0 ? " " : ", ";
                names += QuotedName(scene.cameras[i].name);
            }
            std::fprintf(stderr, "trellis: %s: no camera named %s; the file's cameras:%s\n",
                         PrintableName(s.sceneFileName).c_str(), QuotedName(s.startCamera).c_str(),
                         names.c_str());
            return false;
        }
    }
    StartView(s.view, scene, s.startView, camera, s.screenWidth, s.screenHeight);
    return true;
}

std::string LoadFailureText(const char* fileName) {
    const LoadError& error = LastLoadError();
    const char* reason = error.message.empty() ? "cannot be loaded" : error.message.c_str();
    char location[64] = "";
    if (error.chunkId != 0 || error.offset != 0) {
        std::snprintf(location, sizeof location, "chunk 0x%04X at offset %" PRId64 ": ",
                      static_cast<unsigned>(error.chunkId), error.offset);
        // The loader may already lead its reason with the location.
        if (std::strncmp(reason, location, std::strlen(location)) == 0) location[0] = '\0';
    }
    return PrintableName(fileName) + ": " + location + PrintableName(reason);
}

std::string NotA3dsReason() {
    const FileHead& head = LastFileHead();
    if (StartsWithMainChunk(head)) return {};
    if (head.count == 0) return "not a 3DS file (it is empty)";
    std::string reason = "not a 3DS file (it starts with ";
    AppendPrintable(reason, reinterpret_cast<const char*>(head.bytes),
                    static_cast<size_t>(head.count), true);
    return reason + ")";
}

void ResetShellState() {
    ResetInputState();
    fileList = FileList{};
    FreeScene(shellState.loadedScene);
    const char* fileName = shellState.sceneFileName;
    std::FILE* stream = shellState.sceneStream;
    shellState = ShellState{};
    shellState.sceneFileName = fileName;
    shellState.sceneStream = stream;
}
