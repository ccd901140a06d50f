// The process entry of the native Windows program: names the scene and runs WinMain.
//
//   trellis.exe [--] [scene.3ds | folder]...
//
// With no argument this is exactly the viewer: "svet.3ds" in the working directory, full
// screen, Escape to end. The C runtime has already split the command line (quotes
// included) into argv, so a path with blanks, or a file dropped on the program's icon,
// arrives whole. A scene named is shown in the fit view. Several scenes (several files
// dropped on the icon), or a folder of them, are stepped through with Page Down and Up.
//
// A program of the windows subsystem started from Explorer has no stderr. When there is
// none, what the viewer would print there (why the scene did not load, the usage) is shown
// in a message box instead, so that the user still learns the file and the reason.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/file_list.h"
#include "app/scene_messages.h"
#include "app/shell.h"

namespace {

constexpr const char* kUsage = "usage: trellis.exe [--] [scene.3ds | folder]...\n";

bool HaveStderr() {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Prints `text` on stderr, or shows it in a message box when there is no stderr.
void Tell(const std::string& text, UINT icon) {
    if (HaveStderr()) {
        std::fputs(text.c_str(), stderr);
        return;
    }
    MessageBoxA(nullptr, text.c_str(), kWindowTitle, MB_OK | icon);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Tell(kUsage, MB_ICONINFORMATION);
        return kStatusSuccess;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        Tell(std::string("trellis ") + TRELLIS_VERSION + "\n", MB_ICONINFORMATION);
        return kStatusSuccess;
    }
    // "--" ends the options: every argument after it is a scene, even one that starts
    // with '-'.
    std::vector<char*> scenes;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        if (!optionsEnded && std::strcmp(argv[i], "--") == 0) {
            optionsEnded = true;
            continue;
        }
        if ((!optionsEnded && argv[i][0] == '-') || argv[i][0] == '\0') {
            Tell(std::string("trellis: the arguments are scene files and folders\n") + kUsage,
                 MB_ICONERROR);
            return kStatusUsage;
        }
        scenes.push_back(argv[i]);
    }
    // Named scenes (files dropped on the icon too) are framed; the bundled one keeps the
    // fixed view. Only a scene given alone is required: one of several that fails is shown
    // with its reason and the viewer goes on.
    ViewerState& v = viewerState;
    for (char* scene : scenes) {
        std::string error;
        if (AddListedPath(v.list, scene, error) < 0) Tell("trellis: " + error + "\n", MB_ICONERROR);
    }
    if (!scenes.empty()) {
        if (v.list.paths.empty()) return kStatusFailure;
        v.startPolicy.view = ViewMode::Fit;
        v.listPolicy.view = ViewMode::Fit;
        // Full screen at the desktop's own size: the screen's mode is not changed.
        v.screen = ScreenMode::Desktop;
    }
    v.onScreen = true;
    v.startPolicy.required = v.list.paths.size() <= 1;

    // Without stderr the shell's own report of a failed load would go nowhere.
    const bool haveStderr = HaveStderr();
    // WinMain receives the command line after the program name.
    char noArguments[] = "";
    char* commandLine = !scenes.empty() ? scenes[0] : noArguments;
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    if (status != kStatusSuccess && !haveStderr && v.scene == nullptr) {
        MessageBoxA(nullptr, ("trellis: " + LoadFailureText(SceneName(v))).c_str(), kWindowTitle,
                    MB_OK | MB_ICONERROR);
    }
    return status;
}
