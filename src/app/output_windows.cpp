// The safe writer of files in the Windows program (see output.h): a temporary file made with
// CREATE_NEW beside the target, moved over it with MoveFileExA when complete.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/output.h"

namespace {

// ---- Temporary files not yet committed or abandoned ------------------------------------------

constexpr int kSlots = 8;
std::string slotPaths[kSlots];  // empty: free

int TakeSlot(const std::string& path) {
    for (int i = 0; i < kSlots; ++i) {
        if (!slotPaths[i].empty()) continue;
        slotPaths[i] = path;
        return i;
    }
    return -1;
}

void FreeSlot(int& slot) {
    if (slot >= 0) slotPaths[slot].clear();
    slot = -1;
}

// ---- Reasons ---------------------------------------------------------------------------------

bool Fail(std::string& error, const char* reason) {
    error = reason;
    return false;
}

// The reason of the last failed Win32 call, in the C library's words where it has them (the
// same words as on Linux: F12's search for a free name compares them).
bool FailLastError(std::string& error) {
    const DWORD code = GetLastError();
    int number = 0;
    switch (code) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            number = EEXIST;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            number = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_WRITE_PROTECT:
            number = EACCES;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            number = ENOSPC;
            break;
        case ERROR_FILENAME_EXCED_RANGE:
            number = ENAMETOOLONG;
            break;
        default:
            break;
    }
    error =
        number != 0 ? std::string(std::strerror(number)) : "Windows error " + std::to_string(code);
    return false;
}

// ---- Names -----------------------------------------------------------------------------------

// ".NAME.XXXXXXXX.part" beside the target, NAME cut so that the whole stays within the 255
// characters a name may have. The letters need not be unguessable: CREATE_NEW never opens a
// name that exists, and the next letters are tried.
std::string TemporaryName(const std::string& target) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static uint64_t counter = 0;
    const size_t slash = target.find_last_of("/\\:");
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    constexpr size_t kMaxBase = 255 - 15;
    if (base.size() > kMaxBase) base.resize(kMaxBase);
    uint64_t seed = (GetTickCount64() << 20) ^ (uint64_t{GetCurrentProcessId()} << 40) ^
                    (++counter * 0x9E3779B97F4A7C15u);
    std::string letters;
    for (int i = 0; i < 8; ++i) {
        seed ^= seed >> 29;
        seed *= 0xBF58476D1CE4E5B9u;
        letters += kLetters[(seed >> 32) % (sizeof kLetters - 1)];
    }
    return folder + "." + base + "." + letters + ".part";
}

bool ReadIdentity(HANDLE file, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file, &information)) return false;
    identity.device = information.dwVolumeSerialNumber;
    identity.inode = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return true;
}

bool IsInput(const FileIdentity& identity, const OutputRules& rules) {
    for (const FileIdentity& input : rules.inputs) {
        if (input.device == identity.device && input.inode == identity.inode) return true;
    }
    return false;
}

// A handle as a C runtime file descriptor (which then owns it); -1 when that fails, the
// handle closed.
int DescriptorOf(HANDLE file) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) CloseHandle(file);
    return fd;
}

bool OpenTemporary(OutputFile& out, std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryName(out.target);
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
        if (file == INVALID_HANDLE_VALUE) return FailLastError(error);
        out.fd = DescriptorOf(file);
        if (out.fd < 0) {
            DeleteFileA(name.c_str());
            return Fail(error, "cannot be written");
        }
        out.tempPath = std::move(name);
        out.slot = TakeSlot(out.tempPath);
        return true;
    }
    return Fail(error, "no free name for a temporary file beside it");
}

}  // namespace

bool IdentifyInput(const char* path, FileIdentity& identity) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = ReadIdentity(file, identity);
    CloseHandle(file);
    return known;
}

bool OpenOutput(OutputFile& out, const char* path, const OutputRules& rules, std::string& error) {
    out = OutputFile{};
    out.path = path;
    out.neverReplace = rules.neverReplace;
    if (out.path == kStandardOutputTarget) {
        out.mode = OutputMode::StandardOutput;
        out.fd = _fileno(stdout);
        return out.fd >= 0 || Fail(error, "there is no standard output");
    }
    if (out.path.empty()) return Fail(error, std::strerror(ENOENT));
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Fail(error, std::strerror(EISDIR));
    }
    // Something of that name: a file, or a device or pipe, which is written in place.
    HANDLE existing = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        FileIdentity identity;
        if (ReadIdentity(existing, identity) && IsInput(identity, rules)) {
            CloseHandle(existing);
            return Fail(error, rules.inputReason);
        }
        if (rules.neverReplace) {
            CloseHandle(existing);
            return Fail(error, std::strerror(EEXIST));
        }
        if (GetFileType(existing) != FILE_TYPE_DISK) {
            out.fd = DescriptorOf(existing);
            if (out.fd < 0) return Fail(error, "cannot be written in place");
            out.mode = OutputMode::InPlace;
            return true;
        }
        CloseHandle(existing);
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (rules.neverReplace) return Fail(error, std::strerror(EEXIST));
        // A link is never written through, nor replaced by a file of its own.
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return Fail(error, "is a link, which is not replaced");
        }
        out.replacesFile = true;
    }
    out.target = out.path;
    out.mode = OutputMode::Replace;
    return OpenTemporary(out, error);
}

bool CommitOutput(OutputFile& out, std::string& error) {
    if (out.mode == OutputMode::StandardOutput) {
        out.fd = -1;  // closed with the rest of standard output (FinishStandardOutput)
        return true;
    }
    bool ok = true;
    if (out.mode == OutputMode::Replace && out.replacesFile && _commit(out.fd) != 0) {
        ok = Fail(error, std::strerror(errno));
    }
    const int fd = out.fd;
    out.fd = -1;
    if (_close(fd) != 0 && ok) ok = Fail(error, std::strerror(errno));
    if (out.mode == OutputMode::InPlace || !ok) {
        if (!ok) AbandonOutput(out);
        return ok;
    }
    const DWORD flags =
        MOVEFILE_WRITE_THROUGH | (out.neverReplace ? DWORD{0} : DWORD{MOVEFILE_REPLACE_EXISTING});
    if (!MoveFileExA(out.tempPath.c_str(), out.target.c_str(), flags)) {
        ok = FailLastError(error);
        DeleteFileA(out.tempPath.c_str());
    }
    FreeSlot(out.slot);
    return ok;
}

void AbandonOutput(OutputFile& out) {
    if (out.mode == OutputMode::StandardOutput) {
        out.fd = -1;
        return;
    }
    if (out.fd >= 0) _close(out.fd);
    out.fd = -1;
    if (out.mode == OutputMode::Replace && !out.tempPath.empty()) DeleteFileA(out.tempPath.c_str());
    FreeSlot(out.slot);
}

void InstallOutputSignalHandlers(bool /*interactive*/) {}

int StopSignalReceived() {
    return 0;
}

void RemoveTemporaryOutputs() {
    for (std::string& path : slotPaths) {
        if (!path.empty()) DeleteFileA(path.c_str());
        path.clear();
    }
}
