// Running the trellis program itself (TRELLIS_BINARY) from a test, as a user runs it.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "load_fixture.h"

// The whole of the file at `path` ("" when it cannot be read).
inline std::string ReadTextFile(const std::filesystem::path& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

// Runs the program in `directory` with `arguments` (quoted for the shell); its exit status,
// what it wrote on stderr in `errors` and, when `output` is given, on stdout there.
inline int RunTrellis(const std::filesystem::path& directory, const std::string& arguments,
                      std::string& errors, std::string* output = nullptr) {
    const std::string errorFile = FixturePath(".stderr");
    const std::string outputFile = FixturePath(".stdout");
    const std::string command = "cd '" + directory.string() + "' && '" TRELLIS_BINARY "' " +
                                arguments + " >'" + outputFile + "' 2>'" + errorFile + "'";
    const int status = std::system(command.c_str());
    errors = ReadTextFile(errorFile);
    if (output != nullptr) *output = ReadTextFile(outputFile);
    std::remove(errorFile.c_str());
    std::remove(outputFile.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
