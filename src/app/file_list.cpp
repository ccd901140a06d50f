// The viewer's list of files.
#include "app/file_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "scene/printable.h"

bool HasSceneExtension(const std::string& name) {
    static constexpr char kExtension[] = ".3ds";
    constexpr size_t kLength = sizeof kExtension - 1;
    if (name.size() <= kLength) return false;
    for (size_t i = 0; i < kLength; ++i) {
        char c = name[name.size() - kLength + i];
        if (std::tolower(static_cast<unsigned char>(c)) != kExtension[i]) return false;
    }
    return true;
}

int32_t AddListedPath(FileList& list, const char* path, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code code;
    const fs::path given(path);
    if (!fs::is_directory(given, code)) {
        list.paths.emplace_back(path);
        return static_cast<int32_t>(list.paths.size()) - 1;
    }
    std::vector<std::string> names;
    fs::directory_iterator entries(given, code);
    if (code) {
        error = PrintableName(path) + ": cannot read the folder: " + code.message();
        return -1;
    }
    // Stepped with error codes: a folder that fails half-way lists what was read.
    while (entries != fs::directory_iterator()) {
        std::error_code entryCode;
        std::string name = entries->path().filename().string();
        if (HasSceneExtension(name) && entries->is_regular_file(entryCode)) names.push_back(name);
        entries.increment(code);
        if (code) break;
    }
    if (names.empty()) {
        error = PrintableName(path) + ": the folder holds no .3ds file";
        return -1;
    }
    std::sort(names.begin(), names.end());
    auto first = static_cast<int32_t>(list.paths.size());
    for (const std::string& name : names)
        list.paths.push_back((given / name).string());
    return first;
}

int32_t SteppedFileIndex(const FileList& list, int32_t steps) {
    auto count = static_cast<int64_t>(list.paths.size());
    if (count == 0) return 0;
    int64_t index = (static_cast<int64_t>(list.current) + steps) % count;
    if (index < 0) index += count;
    return static_cast<int32_t>(index);
}

int32_t FindListedFile(const FileList& list, const std::string& path) {
    auto found = std::find(list.paths.begin(), list.paths.end(), path);
    return found == list.paths.end() ? -1 : static_cast<int32_t>(found - list.paths.begin());
}

const char* BaseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') base = p + 1;
    }
    return *base != '\0' ? base : path;
}
