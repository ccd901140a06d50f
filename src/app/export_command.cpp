// The --export command: load, export through the core, write the files.
#include "app/export_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/map_png.h"
#include "app/scene_input.h"
#include "app/scene_messages.h"
#include "export/gltf.h"
#include "scene/loader.h"
#include "scene/map_files.h"
#include "scene/printable.h"

namespace {

// ---- Writing one file ----------------------------------------------------------------------
// Each file is written under a temporary name beside it and renamed over it when complete,
// so that a failed export never leaves a partial file or destroys an existing one.

struct OutputFile {
    std::string path;
    std::string partPath;
    std::FILE* file = nullptr;
    std::string error;  // the first failure
};

bool OpenOutputFile(OutputFile& out, const std::string& path) {
    out = OutputFile{};
    out.path = path;
    out.partPath = path + ".part";
    out.file = std::fopen(out.partPath.c_str(), "wb");
    if (out.file == nullptr) out.error = std::strerror(errno);
    return out.file != nullptr;
}

bool WriteOutputFile(OutputFile& out, const void* bytes, size_t size) {
    if (std::fwrite(bytes, 1, size, out.file) == size) return true;
    out.error = std::strerror(errno);
    return false;
}

bool CommitOutputFile(OutputFile& out) {
    const bool closed = std::fclose(out.file) == 0;
    out.file = nullptr;
    if (!closed || std::rename(out.partPath.c_str(), out.path.c_str()) != 0) {
        out.error = std::strerror(errno);
        std::remove(out.partPath.c_str());
        return false;
    }
    return true;
}

void AbandonOutputFile(OutputFile& out) {
    if (out.file != nullptr) {
        std::fclose(out.file);
        out.file = nullptr;
        std::remove(out.partPath.c_str());
    }
}

// ---- The export's sink: files in one folder --------------------------------------------------

struct FolderSink {
    std::filesystem::path folder;
    OutputFile file;
    std::vector<std::string> written;  // companions kept, removed again when the export fails
};

GltfSink MakeSink(FolderSink& folder) {
    GltfSink sink;
    sink.user = &folder;
    sink.begin = [](void* user, const std::string& name) {
        auto* f = static_cast<FolderSink*>(user);
        return OpenOutputFile(f->file, (f->folder / name).string());
    };
    sink.write = [](void* user, const void* bytes, size_t size) {
        return WriteOutputFile(static_cast<FolderSink*>(user)->file, bytes, size);
    };
    sink.end = [](void* user) {
        auto* f = static_cast<FolderSink*>(user);
        if (!CommitOutputFile(f->file)) return false;
        f->written.push_back(f->file.path);
        return true;
    };
    return sink;
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
    if (!IsStandardInput(scene)) options.sceneFolder = SceneFolder(scene);
    // BMP, TGA and GIF maps are carried over as PNG made by the map decoder.
    options.toPng = MapImageToPng;
    FolderSink folder;
    folder.folder = outPath.parent_path();
    if (folder.folder.empty()) folder.folder = ".";
    GltfReport report;
    const bool ok = ExportGltf(*loaded, options, MakeSink(folder), report);
    FreeScene(loaded);
    if (!ok) {
        AbandonOutputFile(folder.file);
        for (const std::string& path : folder.written)
            std::remove(path.c_str());
        std::string reason = report.error;
        if (!folder.file.error.empty()) reason += ": " + folder.file.error;
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
        if (IsStandardInput(scene) && !ReadSceneInput(stdin, kMaxSceneFileBytes, error)) {
            std::fprintf(stderr, "trellis: %s: %s\n", kStandardInputName, error.c_str());
            return 1;
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
