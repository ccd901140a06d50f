// The page's entry: the viewer on the bundled scene, in the browser.
//
// As the desktop run with no arguments: "svet.3ds" in the working directory (/scenes in the
// in-memory file system, where the page also puts the files given to it) in the fixed view,
// 640 x 480. Files dropped on the page or picked with its file
// input arrive as WM_DROPFILES, as on the desktop window, and are shown fitted, as the
// desktop shows a file named on its command line.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/file_list.h"
#include "app/input.h"
#include "app/shell.h"
#include "platform/web/web.h"

namespace {

// Once the shell's message loop runs, the bundled scene has started in the fixed view;
// every file opened after it is fitted.
void FitLaterFiles() {
    shellState.startView = ViewMode::Fit;
}

}  // namespace

// For the page (exported): the file's place in the list and its name, then what the scene
// holds (empty when it did not load), one line each.
extern "C" const char* WebSceneLines() {
    static std::string lines;
    lines = inputState.fileLine;
    lines += '\n';
    lines += inputState.countsLine;
    return lines.c_str();
}

int main() {
    if (chdir("/scenes") != 0) std::perror("trellis: /scenes");
    SetPlatformBackend(&WebBackend());
    WebOnMessageLoop(FitLaterFiles);
    fileList.paths.emplace_back(shellState.sceneFileName);
    shellState.sceneFileName = fileList.paths[0].c_str();
    char noArguments[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, SW_SHOWDEFAULT);
}
