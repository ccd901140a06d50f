// What the output writer does the same on every system: writing, and standard output.
#include "app/output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool Fail(std::string& error, const char* reason) {
    error = reason;
    return false;
}

// The most bytes handed to one write: what every system's write takes in one call.
constexpr size_t kMostWritten = size_t{1} << 30;

}  // namespace

bool WriteOutput(OutputFile& out, const void* bytes, size_t size, std::string& error) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        const auto written =
            write(out.fd, p, static_cast<unsigned>(size < kMostWritten ? size : kMostWritten));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return Fail(error, std::strerror(errno));
        if (written == 0) return Fail(error, "nothing was written");
        p += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool WriteOutputBytes(void* out, const void* bytes, size_t size, std::string& error) {
    return WriteOutput(*static_cast<OutputFile*>(out), bytes, size, error);
}

bool FinishStandardOutput(std::string& error) {
    bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
    int code = errno;
    if (std::fclose(stdout) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (!ok) error = std::strerror(code != 0 ? code : EIO);
    return ok;
}
