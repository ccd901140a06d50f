// The page's entry: the viewer on the bundled scene, in the browser.
//
// As the desktop run with no arguments: "svet.3ds" in the working directory (/scenes in the
// in-memory file system, where the page also puts the files given to it, a folder for each
// drop) in the fixed view as a wireframe, at the canvas's size (640 x 480 unless the page
// shows it otherwise). Files dropped on the page or picked with its inputs arrive as
// WM_DROPFILES, as on the desktop window, and are shown fitted and shaded, as the desktop
// shows a file named on its command line; images dropped with a scene are its maps.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/keys.h"
#include "app/shell.h"
#include "platform/web/web.h"

// For the page (exported): the file's place in the list and its name, what the scene holds
// (empty when it did not load), and its maps found and missing, one line each.
extern "C" const char* WebSceneLines() {
    static std::string lines;
    lines = viewerState.overlay.fileLine;
    lines += '\n';
    lines += viewerState.overlay.countsLine;
    lines += '\n';
    lines += viewerState.overlay.mapsLine;
    return lines.c_str();
}

// For the page (exported): its table of the mouse and keys, one line each, the keys and what
// they do separated by a tab.
extern "C" const char* WebKeyLines() {
    static std::string lines;
    lines.clear();
    for (size_t i = 0; i < kKeyHelpCount; ++i) {
        if (kKeyHelp[i].desktopOnly) continue;
        lines += kKeyHelp[i].keys;
        lines += '\t';
        lines += kKeyHelp[i].brief;
        lines += '\n';
    }
    return lines.c_str();
}

int main() {
    if (chdir("/scenes") != 0) std::perror("trellis: /scenes");
    SetPlatformBackend(&WebBackend());
    // The bundled scene in the fixed view as a wireframe; every file opened after it (dropped
    // or picked on the page) is fitted and shaded.
    viewerState.list.paths.emplace_back(kDefaultSceneName);
    viewerState.startPolicy = OpenPolicy{ViewMode::Fixed, nullptr, true, RenderMode::Wireframe};
    viewerState.listPolicy = OpenPolicy{ViewMode::Fit, nullptr, false, RenderMode::Shaded};
    // The canvas is the window: the frame follows the size the page shows it at.
    viewerState.screen = ScreenMode::Window;
    viewerState.onScreen = true;
    char noArguments[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, SW_SHOWDEFAULT);
}
