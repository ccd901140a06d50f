// The headless backend: the emulation's window and surfaces over nothing native, messages
// from a script, each presented frame handed to a callback.
#include "platform/headless/headless.h"

#include <deque>

#include "platform/emulation.h"

namespace {

// One message of the script, delivered `repeat` times in a row. A run of timer ticks is one
// entry, so long runs take no memory per tick and deliver without allocating or freeing.
struct ScriptEntry {
    MSG message;
    int32_t repeat;
};

struct HeadlessState {
    std::deque<ScriptEntry> script;
    bool scriptCloseSent = false;
    DWORD messageTime = 0;
    HeadlessMessageHook messageHook = nullptr;
    void* messageHookUser = nullptr;
    HeadlessFrameCallback frameCallback = nullptr;
    void* frameUser = nullptr;
    int32_t framesPresented = 0;
    bool quitPending = false;  // what quitPending reports (HeadlessSetQuitPending)
    int32_t screenWidth = kHeadlessScreenWidth;
    int32_t screenHeight = kHeadlessScreenHeight;
};

HeadlessState headless;

// Called as each message of the script is handed out, before its dispatch.
void Handed(UINT message) {
    if (headless.messageHook) {
        headless.messageHook(message, emulation.timerMessages, headless.messageHookUser);
    }
}

// The next message of the script, which GetMessageA hands out at once (it waits only with
// an empty queue and no tick owed). A used-up script closes the window as a user would, so
// the run ends; after that nothing can arrive.
bool WaitForScript() {
    while (!headless.script.empty()) {
        ScriptEntry& entry = headless.script.front();
        const MSG next = entry.message;
        if (--entry.repeat == 0) headless.script.pop_front();
        if (next.message == WM_TIMER) {
            // Like the real queue, timer messages exist only while a timer runs.
            const int32_t owed = emulation.ticksOwed;
            TimerElapsed(1);
            if (emulation.ticksOwed == owed) continue;
            Handed(WM_TIMER);
            return true;
        }
        // Files reach only a window that accepts them.
        if (next.message == WM_DROPFILES && !emulation.acceptsFiles) continue;
        if (next.message == WM_SIZE) {
            // The window resized, as a backend reports it.
            const int32_t queued = emulation.queueCount;
            Resized(static_cast<int32_t>(LOWORD(next.lParam)),
                    static_cast<int32_t>(HIWORD(next.lParam)));
            if (emulation.queueCount == queued) continue;
            Handed(WM_SIZE);
            return true;
        }
        if (!PostWindowMessage(next.message, next.wParam, next.lParam)) continue;
        Handed(next.message);
        return true;
    }
    if (emulation.windowAlive && !headless.scriptCloseSent) {
        headless.scriptCloseSent = true;
        PostWindowMessage(WM_CLOSE, 0, 0);
        Handed(WM_CLOSE);
        return true;
    }
    return false;
}

DWORD NextMessageTime() {
    headless.messageTime += 20;
    return headless.messageTime;
}

HRESULT PresentToCallback(const uint32_t* pixels, int32_t width, int32_t height) {
    headless.framesPresented++;
    if (headless.frameCallback) headless.frameCallback(pixels, width, height, headless.frameUser);
    return DD_OK;
}

const PlatformBackend headlessBackend = {
    "headless",
    [](const char*, DWORD, int, int, int, int) { return true; },
    [](bool) { return false; },
    [] {},
    [](const char*) {},
    [](bool) {},
    [](bool) {},
    [](UINT) {},
    [] {},
    WaitForScript,
    NextMessageTime,
    [](int32_t* width, int32_t* height) {
        *width = headless.screenWidth;
        *height = headless.screenHeight;
    },
    [](int32_t, int32_t) { return DD_OK; },
    [] {},
    [](int32_t, int32_t) { return DD_OK; },
    [] {},
    PresentToCallback,
    [] { return DD_OK; },
    // Nothing native can arrive during a frame: a test says when a request is to be waiting.
    [] { return headless.quitPending; },
};

}  // namespace

void ResetHeadlessBackend() {
    ResetEmulation();
    ResetHeadlessCalls();
    headless = HeadlessState{};
}

void UseHeadlessBackend() {
    ResetHeadlessBackend();
    SetPlatformBackend(&headlessBackend);
    UseHeadlessCalls();
}

void HeadlessSetQuitPending(bool pending) {
    headless.quitPending = pending;
}

void HeadlessScriptTicks(int32_t ticks) {
    if (ticks <= 0) return;
    if (!headless.script.empty()) {
        ScriptEntry& last = headless.script.back();
        if (last.message.message == WM_TIMER && last.repeat <= INT32_MAX - ticks) {
            last.repeat += ticks;
            return;
        }
    }
    headless.script.push_back(ScriptEntry{MSG{nullptr, WM_TIMER, 0, 0, 0, {0, 0}}, ticks});
}

void HeadlessScriptKey(WPARAM key) {
    HeadlessScriptMessage(WM_KEYDOWN, key, 1);
}

void HeadlessScriptMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    headless.script.push_back(ScriptEntry{MSG{nullptr, message, wParam, lParam, 0, {0, 0}}, 1});
}

void HeadlessScriptResize(int32_t width, int32_t height) {
    HeadlessScriptMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

void HeadlessSetScreenSize(int32_t width, int32_t height) {
    headless.screenWidth = width;
    headless.screenHeight = height;
}

void HeadlessScriptChar(char character) {
    HeadlessScriptMessage(WM_CHAR, static_cast<unsigned char>(character), 1);
}

void HeadlessScriptMouse(UINT message, int x, int y, WPARAM keys) {
    HeadlessScriptMessage(message, keys, MAKELPARAM(x, y));
}

void HeadlessScriptWheel(int delta, WPARAM keys) {
    HeadlessScriptMessage(WM_MOUSEWHEEL, MAKEWPARAM(keys, delta), 0);
}

void HeadlessScriptDrop(std::initializer_list<const char*> names) {
    EmulatedDrop* drop = NewDrop(names.begin(), static_cast<int32_t>(names.size()));
    if (!drop) return;
    HeadlessScriptMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(static_cast<HDROP>(drop)), 0);
}

void HeadlessSetMessageHook(HeadlessMessageHook hook, void* user) {
    headless.messageHook = hook;
    headless.messageHookUser = user;
}

void HeadlessSetFrameCallback(HeadlessFrameCallback callback, void* user) {
    headless.frameCallback = callback;
    headless.frameUser = user;
}

int32_t HeadlessOpenDropCount() {
    int32_t count = 0;
    for (const auto& record : emulation.drops)
        count += record->live ? 1 : 0;
    return count;
}

const std::string& HeadlessWindowTitle() {
    return emulation.title;
}

bool HeadlessAcceptsFiles() {
    return emulation.acceptsFiles;
}

int32_t HeadlessLockedSurfaceCount() {
    int32_t count = 0;
    for (const EmulatedSurface* surface : emulation.surfaces)
        count += surface->locked ? 1 : 0;
    return count;
}

int32_t HeadlessLiveSurfaceCount() {
    return static_cast<int32_t>(emulation.surfaces.size());
}

bool HeadlessDirectDrawLive() {
    return emulation.directDraw != nullptr;
}

int32_t HeadlessCursorCount() {
    return emulation.cursorCount;
}

int32_t HeadlessFramesPresented() {
    return headless.framesPresented;
}

HWND HeadlessWindow() {
    return &emulation.window;
}

bool HeadlessWindowAlive() {
    return emulation.windowAlive;
}

const WNDCLASSEXA& HeadlessRegisteredClass() {
    return emulation.windowClass;
}

const uint32_t* HeadlessWorkSurfacePixels(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(emulation.workSurfaces.size())) return nullptr;
    const EmulatedSurface* surface = emulation.workSurfaces[static_cast<size_t>(index)];
    return surface ? surface->pixels.data() : nullptr;
}
