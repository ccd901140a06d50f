// The page's entry: the viewer on the bundled scene, in the browser.
//
// As the desktop run with no arguments: "svet.3ds" in the working directory (/scenes in the
// in-memory file system, where the page also puts the files given to it, a folder for each
// drop) in the fixed view as a wireframe, at the canvas's size (640 x 480 unless the page
// shows it otherwise). Files dropped on the page or picked with its inputs arrive as
// WM_DROPFILES, as on the desktop window, and are shown fitted and shaded, as the desktop
// shows a file named on its command line; images dropped with a scene are its maps.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "app/keys.h"
#include "app/shell.h"
#include "app/viewer.h"
#include "export/gltf.h"
#include "platform/web/web.h"
#include "scene/map_files.h"
#include "scene/printable.h"

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

// "Download .glb" is built only with TRELLIS_WEB_EXPORT: the export adds about 35 KB to the
// program, which takes the page past its size budget (400,000 bytes of trellis.js and
// trellis.wasm) together with the solid modes and the maps. The page hides its button when
// the program has no WebExportGlb.
#if defined(TRELLIS_WEB_EXPORT)
// For the page (exported): the scene shown as a .glb (export/gltf.h), written into the
// in-memory file system as /exports/NAME.glb, NAME the scene file's without its extension.
// Returns that path for the page to offer as a download (and remove), or "" when no scene
// is shown or the export failed, with the reason on stderr. Maps beside the scene (files
// given to the page with it) are embedded when PNG or JPEG; what is left out is noted on
// stdout (the console), as the desktop notes it.
extern "C" const char* WebExportGlb() {
    static std::string path;
    path.clear();
    const std::string scenePath = SceneName(viewerState);
    const std::string shown = PrintableName(BaseName(scenePath.c_str()));
    if (viewerState.scene == nullptr) {
        std::fprintf(stderr, "trellis: %s: nothing to export (the scene did not load)\n",
                     shown.c_str());
        return "";
    }
    std::string stem = BaseName(scenePath.c_str());
    if (HasSceneExtension(stem)) stem.resize(stem.size() - 4);
    GltfOptions options;
    options.fileName = (stem.empty() ? std::string("scene") : stem) + ".glb";
    options.sceneFolder = SceneFolder(scenePath);
    std::map<std::string, std::vector<uint8_t>> files;
    GltfReport report;
    mkdir("/exports", 0755);  // there already after the first export
    const std::string out = "/exports/" + options.fileName;
    std::FILE* file = nullptr;
    if (ExportGltfToMemory(*viewerState.scene, options, files, report) &&
        (file = std::fopen(out.c_str(), "wb")) != nullptr) {
        const std::vector<uint8_t>& bytes = files[options.fileName];
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) == 0 && written) path = out;
    }
    if (path.empty()) {
        std::fprintf(stderr, "trellis: %s: cannot export: %s\n", shown.c_str(),
                     report.error.empty() ? "out of memory" : report.error.c_str());
        std::remove(out.c_str());
        return "";
    }
    for (const std::string& note : report.notes)
        std::printf("trellis: %s: %s\n", shown.c_str(), note.c_str());
    return path.c_str();
}
#endif

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
