// The page's entry: the viewer on the bundled scene, in the browser.
//
// As the desktop run with no arguments: "svet.3ds" in the working directory (/scenes in the
// in-memory file system, where the page also puts the files given to it) in the fixed view
// as a wireframe, 640 x 480. Files dropped on the page or picked with its file input arrive
// as WM_DROPFILES, as on the desktop window, and are shown fitted and shaded, as the desktop
// shows a file named on its command line.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/shell.h"
#include "platform/web/web.h"

// For the page (exported): the file's place in the list and its name, then what the scene
// holds (empty when it did not load), one line each.
extern "C" const char* WebSceneLines() {
    static std::string lines;
    lines = viewerState.overlay.fileLine;
    lines += '\n';
    lines += viewerState.overlay.countsLine;
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
    char noArguments[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, SW_SHOWDEFAULT);
}
