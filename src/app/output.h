// The one way the program writes a file: pictures of --output (a file, a folder's pictures,
// standard output), the frames saved with F12 and every file of --export.
//
// A file is written under a temporary name of its own in the target's folder, made with
// O_CREAT | O_EXCL | O_NOFOLLOW (so a link or file planted there is never followed or
// truncated), and renamed over the target only when it is complete, and only when the target
// is missing or a regular file: a failed or interrupted run leaves the target as it was and
// no temporary file behind. A device, a named pipe or a socket is written in place and never
// replaced (so `--output /dev/stdout` works); "-" is standard output. A target that is the
// same file as an input (same device and inode, also through hard or symbolic links) is
// refused before anything is written. Temporary files are removed on SIGINT, SIGTERM and
// SIGHUP as well (see InstallOutputSignalHandlers).
//
// Every write is checked, the final close too; a failure is one reason in `error`.
//
// output.cpp writes; output_posix.cpp opens, commits and cleans up on Linux; output_windows.cpp
// does the same in the Windows program (where only F12 writes files) with the Win32 calls:
// the temporary file made with CREATE_NEW, which never opens an existing name, link or not,
// and moved over the target with MoveFileEx, never over an existing file when the rules say
// so. Windows sends no SIGTERM or SIGHUP to a program of the windows subsystem: there the
// signal handlers are not installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The name of standard output as a target.
inline constexpr const char* kStandardOutputTarget = "-";

// How a target is written.
enum class OutputMode {
    Replace,         // a temporary file renamed over the target (missing or a regular file)
    InPlace,         // a device, named pipe or socket, written as it is
    StandardOutput,  // "-": file descriptor 1
};

// A file that an output must not replace: the identity of an input (on Windows the volume's
// serial number and the file's index).
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
};

// What OpenOutput checks besides the target itself.
struct OutputRules {
    std::vector<FileIdentity> inputs;  // files being read: refused as targets, with ...
    const char* inputReason = "is the scene being read: give the picture another name";
    bool neverReplace = false;  // an existing target fails with EEXIST (frames saved with F12)
};

struct OutputFile {
    std::string path;      // the target as given
    std::string target;    // the name renamed over: `path`, or the file its links lead to
    std::string tempPath;  // the temporary file (Replace); kept after Commit and Abandon
    OutputMode mode = OutputMode::Replace;
    int fd = -1;                // open until CommitOutput or AbandonOutput
    bool replacesFile = false;  // a regular file exists at `target`
    bool neverReplace = false;
    int slot = -1;  // its place among the temporary files removed on a signal
};

// The identity of the file at `path` (following links), or of standard input for "-" when it
// is a file; false when there is none.
bool IdentifyInput(const char* path, FileIdentity& identity);

// Opens `path` for writing by the rules above. False with the reason in `error` (the
// system's words, e.g. "No such file or directory", or ours for a refusal).
bool OpenOutput(OutputFile& out, const char* path, const OutputRules& rules, std::string& error);

// Writes all `size` bytes (retrying short writes). False with the reason in `error`.
bool WriteOutput(OutputFile& out, const void* bytes, size_t size, std::string& error);

// WriteOutput for writers that take a sink of bytes (the PNG writer): `out` is an OutputFile.
bool WriteOutputBytes(void* out, const void* bytes, size_t size, std::string& error);

// Completes the output: closes it (checked), and for a temporary file syncs it when it
// replaces an existing file and renames it over the target (never over an existing file
// when the rules said so). False with the reason in `error`; the temporary file is then
// removed and the target left as it was.
bool CommitOutput(OutputFile& out, std::string& error);

// Closes the output and removes its temporary file; the target is left as it was.
void AbandonOutput(OutputFile& out);

// Flushes and closes standard output and reports whether everything printed on it reached
// its destination (a full disk, /dev/full or a closed pipe fail here). False with the
// reason in `error`. For the reports (--info, --json, --chunks) and the usage texts.
bool FinishStandardOutput(std::string& error);

// What a signal does once the handlers are installed: temporary files are always removed
// first. With `interactive` (the viewer) the first SIGINT, SIGTERM or SIGHUP asks the frame
// being drawn and the message loop to stop (see StopSignalReceived) and the program ends
// after its usual shutdown; otherwise, and at a second signal, the program ends at once,
// killed by the signal as if it had no handler.
void InstallOutputSignalHandlers(bool interactive);

// The signal that asked an interactive run to stop, or 0.
int StopSignalReceived();

// Removes every temporary file not yet committed or abandoned: for a run that ends on an
// exception (memory exhausted) with outputs open.
void RemoveTemporaryOutputs();
