// The application shell over the Win32 calls of platform/win32.h.
#include "app/shell.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "display/display.h"
#include "render/frame_render.h"
#include "render/wireframe.h"
#include "scene/loader.h"

ShellState shellState;

namespace {

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
    if (s.loadedScene) {
        Scene& scene = *s.loadedScene;
        for (int32_t i = 0; i < scene.objectCount; ++i)
            MatrixRotateY(scene.objects[i].matrix, kSpinStep);
        RenderFrame(scene.objects, scene.objectCount, OwnMatrices(scene.objects), s.viewCamera,
                    s.framePixels);
    }
    PresentFrame();
}

}  // namespace

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

    s.loadedScene = LoadScene(s.sceneFileName);
    if (!s.loadedScene) {
        ReportLoadFailure(s.sceneFileName);
        return 1;
    }
    ResetObjectSpins(*s.loadedScene);
    PrepareFrameRender(s.loadedScene->objects, s.loadedScene->objectCount);

    SetProjection(s.screenWidth, s.screenHeight);
    SetTimer(window, 0, 20, nullptr);
    InitDisplay(window, s.screenWidth, s.screenHeight);

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
            FrameTick();
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                ShowCursor(TRUE);
                SendMessageA(window, WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
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
    return std::string(fileName) + ": " + location + reason;
}

void ResetShellState() {
    FreeScene(shellState.loadedScene);
    const char* fileName = shellState.sceneFileName;
    shellState = ShellState{};
    shellState.sceneFileName = fileName;
}
