// Standard input as a scene file in memory, and the check of a scene file before the
// viewer starts.
#include "app/scene_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "scene/loader.h"
#include "scene/printable.h"

SceneInput sceneInput;

bool IsStandardInput(const char* name) {
    return std::strcmp(name, kStandardInputArgument) == 0;
}

const char* ShownSceneName(const char* name) {
    return IsStandardInput(name) ? kStandardInputName : name;
}

bool ReadSceneInput(std::FILE* in, int64_t limit, std::string& error) {
    CloseSceneInput();
    std::vector<char>& bytes = sceneInput.bytes;
    constexpr size_t kBlock = 64 * 1024;
    try {
        for (;;) {
            const size_t used = bytes.size();
            bytes.resize(used + kBlock);
            const size_t got = std::fread(bytes.data() + used, 1, kBlock, in);
            bytes.resize(used + got);
            if (static_cast<int64_t>(bytes.size()) > limit) {
                error = "standard input holds more than " + std::to_string(limit) +
                        " bytes, the most a scene file can have";
                CloseSceneInput();
                return false;
            }
            if (got < kBlock) break;
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory reading standard input";
        CloseSceneInput();
        return false;
    }
    if (std::ferror(in)) {
        error = std::string("cannot read standard input: ") + std::strerror(errno);
        CloseSceneInput();
        return false;
    }
    // fmemopen needs a buffer even for no bytes at all.
    static char none = 0;
    sceneInput.stream = fmemopen(bytes.empty() ? &none : bytes.data(), bytes.size(), "rb");
    if (sceneInput.stream == nullptr) {
        error = std::string("cannot hold standard input in memory: ") + std::strerror(errno);
        CloseSceneInput();
        return false;
    }
    return true;
}

void CloseSceneInput() {
    if (sceneInput.stream != nullptr) std::fclose(sceneInput.stream);
    sceneInput.stream = nullptr;
    std::vector<char>().swap(sceneInput.bytes);
}

Scene* LoadNamedScene(const char* name) {
    if (IsStandardInput(name) && sceneInput.stream != nullptr) {
        return LoadSceneFromStream(sceneInput.stream, kStandardInputName);
    }
    // The reason of a file that cannot be used, in the loader's words.
    const auto fail = [name](const char* reason) -> Scene* {
        ResetLoaderState();
        loaderState.error.message =
            "cannot open " + QuotedName(name) + ": " + PrintableName(reason);
        return nullptr;
    };
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    struct stat status = {};
    if (fstat(fd, &status) != 0 || !(S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))) {
        close(fd);
        return fail("not a regular file");
    }
    // (A folder opens; reading it fails in the loader, with the system's reason.)
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr) {
        close(fd);
        return fail(std::strerror(errno));
    }
    static char buffer[64 * 1024];
    std::setvbuf(stream, buffer, _IOFBF, sizeof buffer);
    Scene* scene = LoadSceneFromStream(stream, name);
    std::fclose(stream);
    return scene;
}

bool CheckSceneFile(const char* name, std::string& error) {
    if (IsStandardInput(name)) return true;
    // Not blocking: opening a named pipe would otherwise wait for a writer.
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat status = {};
    const bool known = fstat(fd, &status) == 0;
    const int statusError = errno;
    close(fd);
    if (!known) {
        error = std::strerror(statusError);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        error = std::strerror(EISDIR);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = "not a regular file";
        return false;
    }
    return true;
}
