// Windows: a close or quit message waiting in the thread's queue, or Escape held down.
#include "platform/quit_pending.h"

#include <windows.h>

bool PlatformQuitPending() {
    MSG message;
    if (PeekMessageA(&message, nullptr, WM_CLOSE, WM_CLOSE, PM_NOREMOVE | PM_NOYIELD)) return true;
    if (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE | PM_NOYIELD)) return true;
    // The key's state, not its message: the program has the screen while it draws.
    return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
}
