// The frame's size at start-up and as the window changes.
#include "app/frame_size.h"

#include "display/display.h"

namespace {

bool SamePose(const ViewPose& a, const ViewPose& b) {
    return a.centre[0] == b.centre[0] && a.centre[1] == b.centre[1] && a.centre[2] == b.centre[2] &&
           a.yaw == b.yaw && a.tilt == b.tilt && a.roll == b.roll && a.distance == b.distance &&
           a.panX == b.panX && a.panY == b.panY && a.fieldOfView == b.fieldOfView;
}

}  // namespace

void PlaceWindow(ViewerState& state, int& x, int& y) {
    x = CW_USEDEFAULT;
    y = CW_USEDEFAULT;
    if (state.screen != ScreenMode::Desktop) return;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    if (width <= 0 || height <= 0) return;
    x = 0;
    y = 0;
    SetFrameSize(state, width, height);
}

void TakeWindowSize(ViewerState& state) {
    if (state.screen == ScreenMode::Switch) return;
    RECT client = {};
    if (!GetClientRect(state.window, &client)) return;
    const LONG width = client.right - client.left;
    const LONG height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return;
    if (width != state.frameWidth || height != state.frameHeight)
        SetFrameSize(state, width, height);
}

void OpenDisplay(ViewerState& state) {
    if (state.screen == ScreenMode::Switch) {
        InitDisplay(state.window, state.frameWidth, state.frameHeight);
    } else {
        InitDisplayKeepingMode(state.window, state.frameWidth, state.frameHeight);
    }
}

bool NoteWindowSize(ViewerState& state, WPARAM kind, LPARAM size) {
    if (state.screen == ScreenMode::Switch) return false;
    const int32_t width = LOWORD(size);
    const int32_t height = HIWORD(size);
    if (kind == SIZE_MINIMIZED || width <= 0 || height <= 0) return true;
    state.windowWidth = width;
    state.windowHeight = height;
    return true;
}

void FollowWindowSize(ViewerState& state) {
    if (state.windowWidth <= 0 || state.windowHeight <= 0) return;
    const int32_t width = state.windowWidth;
    const int32_t height = state.windowHeight;
    state.windowWidth = 0;
    state.windowHeight = 0;
    if (width != state.frameWidth || height != state.frameHeight)
        SetFrameSize(state, width, height);
}

void SetFrameSize(ViewerState& state, int32_t width, int32_t height) {
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    state.frameWidth = width;
    state.frameHeight = height;
    ResizeDisplay(width, height);
    if (!state.scene) return;
    ViewState& view = state.view;
    const bool untouched = view.mode == view.homeMode && SamePose(view.pose, view.home);
    view.frameWidth = width;
    view.frameHeight = height;
    if (!untouched || view.mode != ViewMode::Fit) return;
    FitView(view, *state.scene);
    view.home = view.pose;
    FitPlaybackView(state.playback, view, *state.scene);
}
