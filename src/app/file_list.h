// The files the viewer steps through: those named on the command line, a folder standing
// for the .3ds files in it, and those dropped on the window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FileList {
    std::vector<std::string> paths;  // in the order given; a folder's files sorted by name
    int32_t current = 0;             // the file shown (an index into paths)
};

// Adds `path` to the end of `list`. A folder adds the regular files directly in it whose
// names end in ".3ds" in any case, sorted by name (byte order); anything else is added as
// given, so that a missing or unreadable file is still listed and its load says why.
// Returns the index of the first file added, or -1 with the reason in `error` (a folder
// that cannot be read or holds no .3ds file).
int32_t AddListedPath(FileList& list, const char* path, std::string& error);

// The index of the file `steps` places from the current one, going round at either end.
int32_t SteppedFileIndex(const FileList& list, int32_t steps);

// The index of `path` in the list, or -1.
int32_t FindListedFile(const FileList& list, const std::string& path);

// Whether `name` ends in ".3ds" in any case.
bool HasSceneExtension(const std::string& name);

// The last part of `path` (after its last slash or backslash), for titles and the help;
// `path` itself when that part is empty.
const char* BaseName(const char* path);
