// Windows: Escape held down while the program's own window is in front. Only the key's state
// is read: looking into the message queue (PeekMessage) would also deliver messages sent to
// the window, into the middle of the frame being drawn. The full-screen window has no close
// button; WM_QUIT is only ever posted by the program itself.
#include "platform/quit_pending.h"

#include <windows.h>

bool PlatformQuitPending() {
    if ((GetAsyncKeyState(VK_ESCAPE) & 0x8000) == 0) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &process);
    return process == GetCurrentProcessId();
}
