// The program's directory from /proc/self/exe.
#include "platform/program_directory.h"

#include <unistd.h>

#include <cstring>

std::string ProgramDirectory() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    path[length] = '\0';
    const char* slash = std::strrchr(path, '/');
    if (!slash) return {};
    return std::string(path, slash == path ? 1 : static_cast<size_t>(slash - path));
}
