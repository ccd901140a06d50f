// Running the trellis program from a test: a shell command line in a folder with the
// program as $T, its exit status as a shell reports it, and reading back what it left.
// TRELLIS_BINARY names the program (the test target's compile definition).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// The whole of the file at `path`; empty when it cannot be read.
inline std::string FileContents(const std::filesystem::path& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, n);
        std::fclose(file);
    }
    return text;
}

// Runs `line` with sh in `dir`, $T being the program; its exit status, or 128 plus the
// signal that ended it.
inline int RunLineIn(const std::filesystem::path& dir, const std::string& line) {
    const std::string command = "cd '" + dir.string() + "' && T='" TRELLIS_BINARY "' && " + line;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
