// Finding the image files that a scene's maps name (see map_files.h).
#include "scene/map_files.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

// A short alias BASE~N.EXT taken apart: BASE and EXT in upper case, N its number.
struct ShortAlias {
    std::string base;
    std::string extension;
    unsigned number = 0;
};

bool ParseShortAlias(const std::string& name, ShortAlias& alias) {
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    const size_t tilde = stem.rfind('~');
    if (tilde == std::string::npos || tilde == 0 || tilde > 6 || extension.size() > 3) {
        return false;
    }
    const std::string digits = stem.substr(tilde + 1);
    if (digits.empty() || digits.size() > 6 || tilde + 1 + digits.size() > 8) return false;
    unsigned number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number == 0) return false;
    alias.base.clear();
    for (size_t i = 0; i < tilde; ++i)
        alias.base += AsciiUpper(stem[i]);
    alias.extension.clear();
    for (const char c : extension)
        alias.extension += AsciiUpper(c);
    alias.number = number;
    return true;
}

// A character of a long name as its short alias writes it: upper case, '_' for the
// characters an 8.3 name may not hold and for every byte from 0x80 up.
char ShortCharacter(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || std::strchr("+,;=[]", c) != nullptr) return '_';
    return AsciiUpper(c);
}

// True when the long name `file` shortens to `alias`'s base and extension: its base (before
// the last dot) without spaces and dots begins with BASE, and the first three characters of
// its extension, without spaces, are EXT.
bool ShortensTo(const std::string& file, const ShortAlias& alias) {
    const size_t dot = file.rfind('.');
    std::string base, extension;
    for (size_t i = 0; i < (dot == std::string::npos ? file.size() : dot); ++i) {
        if (file[i] != ' ' && file[i] != '.') base += ShortCharacter(file[i]);
    }
    if (dot != std::string::npos) {
        for (size_t i = dot + 1; i < file.size() && extension.size() < 3; ++i) {
            if (file[i] != ' ') extension += ShortCharacter(file[i]);
        }
    }
    return extension == alias.extension && base.size() >= alias.base.size() &&
           base.compare(0, alias.base.size(), alias.base) == 0;
}

// The entry of `folder` that `name` matches, or nullptr; see the order in map_files.h.
const std::string* MatchInFolder(const MapFolder& folder, const std::string& name) {
    for (const std::string& file : folder.files) {
        if (file == name) return &file;
    }
    // The files are in byte order, so the first match is the first in byte order.
    for (const std::string& file : folder.files) {
        if (EqualIgnoringAsciiCase(file, name)) return &file;
    }
    ShortAlias alias;
    if (!ParseShortAlias(name, alias)) return nullptr;
    std::vector<const std::string*> candidates;
    for (const std::string& file : folder.files) {
        if (ShortensTo(file, alias)) candidates.push_back(&file);
    }
    if (candidates.size() == 1) return candidates[0];
    if (alias.number <= candidates.size()) return candidates[alias.number - 1];
    return nullptr;
}

// Lists `path`: its regular files (and links to them) into `files`, and, when `folders` is
// given, its subfolders into it; both in byte order. False when it cannot be listed.
bool ListFolder(const std::string& path, std::vector<std::string>& files,
                std::vector<std::string>* folders) {
    std::error_code error;
    fs::directory_iterator it(fs::path(path), error);
    if (error) return false;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        // A name the platform cannot spell in narrow characters is skipped (Windows).
        std::string name;
        try {
            name = it->path().filename().string();
        } catch (...) {
            continue;
        }
        std::error_code kind;
        if (it->is_regular_file(kind)) {
            files.push_back(name);
        } else if (folders != nullptr && it->is_directory(kind)) {
            folders->push_back(name);
        }
    }
    std::sort(files.begin(), files.end());
    if (folders != nullptr) std::sort(folders->begin(), folders->end());
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / fs::path(name)).string();
}

}  // namespace

std::string SceneFolder(const std::string& scenePath) {
    if (scenePath.empty() || scenePath == "-") return "";
    const fs::path parent = fs::path(scenePath).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::string MapFileComponent(const char* mapName) {
    if (mapName == nullptr) return "";
    std::string name(mapName);
    const size_t separator = name.find_last_of("/\\:");
    if (separator != std::string::npos) name.erase(0, separator + 1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    // "." and ".." lose their dots above, so nothing that names a folder is left.
    return name;
}

void OpenMapFinder(MapFinder& finder, const std::string& sceneFolder,
                   const std::vector<std::string>& extraFolders) {
    finder.folders.clear();
    if (!sceneFolder.empty()) {
        MapFolder scene{sceneFolder, {}};
        std::vector<std::string> subfolders;
        if (ListFolder(sceneFolder, scene.files, &subfolders)) {
            finder.folders.push_back(std::move(scene));
            for (const char* wanted : {"maps", "textures"}) {
                for (const std::string& sub : subfolders) {
                    if (!EqualIgnoringAsciiCase(sub, wanted)) continue;
                    MapFolder folder{JoinPath(sceneFolder, sub), {}};
                    if (ListFolder(folder.path, folder.files, nullptr)) {
                        finder.folders.push_back(std::move(folder));
                    }
                }
            }
        }
    }
    for (const std::string& extra : extraFolders) {
        MapFolder folder{extra, {}};
        if (ListFolder(extra, folder.files, nullptr)) finder.folders.push_back(std::move(folder));
    }
}

std::string FindMapFile(const MapFinder& finder, const char* mapName) {
    const std::string name = MapFileComponent(mapName);
    if (name.empty()) return "";
    for (const MapFolder& folder : finder.folders) {
        if (const std::string* file = MatchInFolder(folder, name)) {
            return JoinPath(folder.path, *file);
        }
    }
    return "";
}
