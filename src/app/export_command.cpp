// The --export command: load, export through the core, write the files.
#include "app/export_command.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/memory_budget.h"
#include "app/output.h"
#include "app/scene_input.h"
#include "app/scene_messages.h"
#include "export/gltf.h"
#include "scene/loader.h"
#include "scene/printable.h"

namespace {

// ---- The export's sink: files in one folder, each through the output writer ---------------
// Each file is written under a temporary name beside it and renamed over it when complete
// (output.h), so that a failed export never leaves a partial file or destroys an existing
// one, and never replaces a file the export reads (the scene, a map).

struct FolderSink {
    std::filesystem::path folder;
    OutputRules rules;  // the scene and every map read are inputs
    OutputFile file;
    bool open = false;                 // `file` is being written
    std::string error;                 // why the sink failed, when it did
    std::vector<std::string> written;  // companions kept, removed again when the export fails
};

GltfSink MakeSink(FolderSink& folder) {
    GltfSink sink;
    sink.user = &folder;
    sink.begin = [](void* user, const std::string& name) {
        auto* f = static_cast<FolderSink*>(user);
        f->open = OpenOutput(f->file, (f->folder / name).string().c_str(), f->rules, f->error);
        return f->open;
    };
    sink.write = [](void* user, const void* bytes, size_t size) {
        auto* f = static_cast<FolderSink*>(user);
        return WriteOutput(f->file, bytes, size, f->error);
    };
    sink.end = [](void* user) {
        auto* f = static_cast<FolderSink*>(user);
        f->open = false;
        if (!CommitOutput(f->file, f->error)) return false;
        f->written.push_back(f->file.path);
        return true;
    };
    return sink;
}

// A map file the export is about to read whole: its bytes are allowed for in the run's
// memory, and no output may replace it.
void ReadingMap(void* user, const std::string& path, uint64_t bytes) {
    AllowInputFile(bytes);
    FileIdentity identity;
    if (IdentifyInput(path.c_str(), identity)) {
        static_cast<FolderSink*>(user)->rules.inputs.push_back(identity);
    }
}

// Loads `scene` and writes it to `out`. Returns 0, or 1 after one line on stderr.
int ExportOne(const char* scene, const std::string& out) {
    const std::string shown = PrintableName(ShownSceneName(scene));
    Scene* loaded = LoadNamedScene(scene);
    if (loaded == nullptr) {
        std::fprintf(stderr, "trellis: %s\n", LoadFailureText(ShownSceneName(scene)).c_str());
        return 1;
    }
    if (const std::string reason = NotA3dsReason(); !reason.empty()) {
        std::fprintf(stderr, "trellis: %s: %s; nothing exported\n", shown.c_str(), reason.c_str());
        FreeScene(loaded);
        return 1;
    }
    const std::filesystem::path outPath(out);
    GltfOptions options;
    options.fileName = outPath.filename().string();
    const std::string extension = outPath.extension().string();
    options.container = extension.size() == 5 && (extension[4] == 'f' || extension[4] == 'F')
                            ? GltfContainer::Text
                            : GltfContainer::Binary;
    if (!IsStandardInput(scene)) {
        options.sceneFolder = std::filesystem::path(scene).parent_path().string();
        if (options.sceneFolder.empty()) options.sceneFolder = ".";
    }
    FolderSink folder;
    folder.folder = outPath.parent_path();
    if (folder.folder.empty()) folder.folder = ".";
    folder.rules.inputReason = "is a file the export reads: give the export another name";
    FileIdentity input;
    if (IdentifyInput(scene, input)) folder.rules.inputs.push_back(input);
    options.readingMap = ReadingMap;
    options.readingMapUser = &folder;
    GltfReport report;
    const bool ok = ExportGltf(*loaded, options, MakeSink(folder), report);
    FreeScene(loaded);
    if (!ok) {
        if (folder.open) AbandonOutput(folder.file);
        for (const std::string& path : folder.written)
            std::remove(path.c_str());
        std::string reason = report.error;
        // Memory refused under the run's allowance: that limit is the reason.
        if (reason == "out of memory" && MemoryRefusalReason()[0] != '\0') {
            reason = MemoryRefusalReason();
        }
        if (!folder.error.empty()) reason += ": " + folder.error;
        std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(out.c_str()).c_str(),
                     PrintableName(reason.c_str()).c_str());
        return 1;
    }
    for (const std::string& note : report.notes)
        std::fprintf(stderr, "trellis: %s: %s\n", shown.c_str(), note.c_str());
    return 0;
}

}  // namespace

int RunExport(const CommandLine& line) {
    if (!line.exportFolder) {
        const char* scene = line.scenes.empty() ? line.sceneFile : line.scenes[0];
        std::string error;
        if (IsStandardInput(scene)) {
            if (!ReadSceneInput(stdin, kMaxSceneFileBytes, error)) {
                std::fprintf(stderr, "trellis: %s: %s\n", kStandardInputName, error.c_str());
                return 1;
            }
            AllowHeldInput(static_cast<int64_t>(sceneInput.bytes.capacity()),
                           static_cast<int64_t>(sceneInput.bytes.size()));
        }
        if (!IsStandardInput(scene) && !CheckSceneFile(scene, error)) {
            std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(scene).c_str(),
                         PrintableName(error.c_str()).c_str());
            return 1;
        }
        const int status = ExportOne(scene, line.exportFile);
        CloseSceneInput();
        return status;
    }
    // A folder: one .glb per scene, named after it; made when missing.
    std::filesystem::path folder(line.exportFile);
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    if (made) {
        std::fprintf(stderr, "trellis: %s: cannot make the folder: %s\n",
                     PrintableName(line.exportFile).c_str(), made.message().c_str());
        return 1;
    }
    std::unordered_set<std::string> written;
    int status = 0;
    for (const char* scene : line.scenes) {
        const std::string out =
            (folder / std::filesystem::path(scene).filename().replace_extension(".glb"))
                .lexically_normal()
                .string();
        std::string reason;
        if (IsStandardInput(scene)) {
            reason = "standard input cannot be exported into a folder; use --export FILE";
        } else if (written.count(out) != 0) {
            reason = "skipped: " + PrintableName(out.c_str()) +
                     " was already written for a scene of the same name";
        } else if (!CheckSceneFile(scene, reason)) {
            reason = PrintableName(reason.c_str());
        }
        if (!reason.empty()) {
            std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(scene).c_str(), reason.c_str());
            status = 1;
            continue;
        }
        if (ExportOne(scene, out) != 0) {
            status = 1;
            continue;
        }
        written.insert(out);
    }
    return status;
}
