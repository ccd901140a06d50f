// The safe writer of files on POSIX systems: temporary files beside the target, made with
// O_EXCL | O_NOFOLLOW, renamed last; removed on the signals that end a run.
#include "app/output.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/frame_stop.h"

namespace {

// ---- Temporary files removed on a signal ----------------------------------------------------
// A fixed table, so that the handler touches nothing but these bytes and unlink(2). A slot's
// path is written before it is marked in use, and marked free before its file is renamed.

constexpr int kSlots = 8;
char slotPaths[kSlots][PATH_MAX];
volatile sig_atomic_t slotUsed[kSlots];
volatile sig_atomic_t interactiveRun = 0;
volatile sig_atomic_t stopSignal = 0;

int TakeSlot(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (slotUsed[i] != 0) continue;
        std::memcpy(slotPaths[i], path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        slotUsed[i] = 1;
        return i;
    }
    return -1;
}

void FreeSlot(int& slot) {
    if (slot >= 0) slotUsed[slot] = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot = -1;
}

extern "C" void OnSignal(int signal) {
    const int saved = errno;
    for (int i = 0; i < kSlots; ++i) {
        if (slotUsed[i] != 0) unlink(slotPaths[i]);
    }
    if (interactiveRun != 0 && stopSignal == 0) {
        stopSignal = signal;
        RequestFrameStop();
        errno = saved;
        return;
    }
    // The default action, now: the signal stays blocked until this handler returns, and is
    // then delivered again with no handler.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    errno = saved;
}

// Blocks the three signals while a temporary file is renamed and its slot freed, so that
// the handler never removes a name that has just become the target's.
struct SignalsBlocked {
    sigset_t previous;
    SignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set, &previous);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
};

// ---- Names ----------------------------------------------------------------------------------

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Eight letters no one can guess, so that another user cannot place files at the names
// tried (O_EXCL would refuse them anyway, and the next name be tried).
std::string RandomLetters() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[8] = {};
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned counter = 0;
        const unsigned long seed =
            static_cast<unsigned long>(getpid()) * 2654435761u + ++counter * 40503u;
        for (size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(seed >> (i * 4));
    }
    std::string letters;
    for (unsigned char b : bytes)
        letters += kLetters[b % (sizeof kLetters - 1)];
    return letters;
}

// ".NAME.XXXXXXXX.part" beside the target, NAME cut so that the whole stays within the
// 255 bytes a name may have.
std::string TemporaryName(const std::string& target) {
    std::string base = BaseOf(target);
    constexpr size_t kMaxBase = 255 - 15;
    if (base.size() > kMaxBase) base.resize(kMaxBase);
    return FolderOf(target) + "/." + base + "." + RandomLetters() + ".part";
}

bool SameFile(const struct stat& status, const FileIdentity& identity) {
    return static_cast<uint64_t>(status.st_dev) == identity.device &&
           static_cast<uint64_t>(status.st_ino) == identity.inode;
}

bool IsInput(const struct stat& status, const OutputRules& rules) {
    for (const FileIdentity& input : rules.inputs) {
        if (SameFile(status, input)) return true;
    }
    return false;
}

bool Fail(std::string& error, const char* reason) {
    error = reason;
    return false;
}

bool FailErrno(std::string& error) {
    return Fail(error, std::strerror(errno));
}

// Creates the temporary file for `out.target`.
bool OpenTemporary(OutputFile& out, std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryName(out.target);
        const int fd =
            open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return FailErrno(error);
        out.fd = fd;
        out.tempPath = std::move(name);
        out.slot = TakeSlot(out.tempPath);
        return true;
    }
    return Fail(error, "no free name for a temporary file beside it");
}

// Opens a device, named pipe or socket for writing as it is, without waiting for a reader.
// False when it cannot be; `becameFile` when what was opened is a regular file after all
// (it changed since it was looked at), which is then closed untouched.
bool OpenInPlace(OutputFile& out, const OutputRules& rules, bool& becameFile, std::string& error) {
    becameFile = false;
    const int fd = open(out.path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENXIO) return Fail(error, "a named pipe with no reader");
        return FailErrno(error);
    }
    struct stat status = {};
    if (fstat(fd, &status) != 0 || S_ISREG(status.st_mode) || IsInput(status, rules)) {
        const bool regular = S_ISREG(status.st_mode) && !IsInput(status, rules);
        close(fd);
        if (regular) {
            becameFile = true;
            return false;
        }
        return Fail(error,
                    IsInput(status, rules) ? rules.inputReason : "cannot be written in place");
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    out.fd = fd;
    out.mode = OutputMode::InPlace;
    return true;
}

// The file a chain of symbolic links at `path` leads to (which exists).
bool ResolveLinks(const std::string& path, std::string& resolved) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return false;
    resolved = real;
    std::free(real);
    return true;
}

// Makes the temporary file the target: never over an existing file when `neverReplace`.
int PutInPlace(const OutputFile& out) {
    if (!out.neverReplace) return rename(out.tempPath.c_str(), out.target.c_str());
    if (link(out.tempPath.c_str(), out.target.c_str()) == 0) {
        unlink(out.tempPath.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return -1;
    // A file system without hard links: as near as it allows.
    struct stat status = {};
    if (lstat(out.target.c_str(), &status) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(out.tempPath.c_str(), out.target.c_str());
}

}  // namespace

bool IdentifyInput(const char* path, FileIdentity& identity) {
    struct stat status = {};
    const bool known = std::strcmp(path, "-") == 0
                           ? fstat(0, &status) == 0 && S_ISREG(status.st_mode)
                           : stat(path, &status) == 0;
    if (!known) return false;
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
    return true;
}

bool OpenOutput(OutputFile& out, const char* path, const OutputRules& rules, std::string& error) {
    out = OutputFile{};
    out.path = path;
    out.neverReplace = rules.neverReplace;
    if (out.path == kStandardOutputTarget) {
        struct stat status = {};
        if (fstat(1, &status) != 0) return FailErrno(error);
        if (IsInput(status, rules)) return Fail(error, rules.inputReason);
        out.mode = OutputMode::StandardOutput;
        out.fd = 1;
        return true;
    }
    if (out.path.empty()) return Fail(error, std::strerror(ENOENT));
    struct stat status = {};
    if (stat(path, &status) == 0) {
        if (S_ISDIR(status.st_mode)) return Fail(error, std::strerror(EISDIR));
        if (IsInput(status, rules)) return Fail(error, rules.inputReason);
        if (rules.neverReplace) return Fail(error, std::strerror(EEXIST));
        if (!S_ISREG(status.st_mode)) {
            bool becameFile = false;
            if (OpenInPlace(out, rules, becameFile, error)) return true;
            if (!becameFile) return false;
        }
        // A regular file, reached through links or not: the file itself is replaced, beside
        // itself, and the links keep leading to it.
        struct stat link = {};
        out.target = out.path;
        if (lstat(path, &link) == 0 && S_ISLNK(link.st_mode) &&
            !ResolveLinks(out.path, out.target)) {
            return FailErrno(error);
        }
        out.replacesFile = true;
        out.mode = OutputMode::Replace;
        if (!OpenTemporary(out, error)) return false;
        // The file replaced keeps its permissions.
        fchmod(out.fd, status.st_mode & 07777);
        return true;
    } else if (errno == ENOENT) {
        struct stat link = {};
        if (lstat(path, &link) == 0)
            return Fail(error, "a symbolic link to a file that does not exist");
        out.target = out.path;
    } else {
        return FailErrno(error);
    }
    out.mode = OutputMode::Replace;
    return OpenTemporary(out, error);
}

bool CommitOutput(OutputFile& out, std::string& error) {
    if (out.mode == OutputMode::StandardOutput) {
        out.fd = -1;  // closed with the rest of standard output (FinishStandardOutput)
        return true;
    }
    bool ok = true;
    if (out.mode == OutputMode::Replace && out.replacesFile && fsync(out.fd) != 0)
        ok = FailErrno(error);
    const int fd = out.fd;
    out.fd = -1;
    if (close(fd) != 0 && ok && errno != EINTR) ok = FailErrno(error);
    if (out.mode == OutputMode::InPlace || !ok) {
        if (!ok) AbandonOutput(out);
        return ok;
    }
    // The target must still be one that may be replaced.
    // (A link planted there since is replaced itself, never written through.)
    struct stat status = {};
    if (lstat(out.target.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISLNK(status.st_mode)) {
        AbandonOutput(out);
        return Fail(error, "it is no longer a regular file");
    }
    SignalsBlocked blocked;
    if (PutInPlace(out) != 0) {
        ok = FailErrno(error);
        unlink(out.tempPath.c_str());
    }
    FreeSlot(out.slot);
    return ok;
}

void AbandonOutput(OutputFile& out) {
    if (out.mode == OutputMode::StandardOutput) {
        out.fd = -1;
        return;
    }
    if (out.fd >= 0) close(out.fd);
    out.fd = -1;
    if (out.mode == OutputMode::Replace && !out.tempPath.empty() && out.slot >= 0) {
        SignalsBlocked blocked;
        unlink(out.tempPath.c_str());
        FreeSlot(out.slot);
    } else if (out.mode == OutputMode::Replace && !out.tempPath.empty()) {
        unlink(out.tempPath.c_str());
    }
}

void InstallOutputSignalHandlers(bool interactive) {
    interactiveRun = interactive ? 1 : 0;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGHUP);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous = {};
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

int StopSignalReceived() {
    return stopSignal;
}

void RemoveTemporaryOutputs() {
    SignalsBlocked blocked;
    for (int i = 0; i < kSlots; ++i) {
        if (slotUsed[i] != 0) unlink(slotPaths[i]);
        slotUsed[i] = 0;
    }
}
