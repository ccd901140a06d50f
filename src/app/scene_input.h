// Where the scene comes from: a file named on the command line, or "-" for standard input.
//
// Standard input is read whole into memory (at most the loader's file-size limit) and shown
// to the loader as a seekable stream, so that a scene can be piped in
// (`unzip -p models.zip car.3ds | trellis --info -`) and walked in both passes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "scene/records.h"

// The name the command line gives standard input, and the name shown for it.
inline constexpr const char* kStandardInputArgument = "-";
inline constexpr const char* kStandardInputName = "(stdin)";

struct SceneInput {
    std::vector<char> bytes;      // all of standard input
    std::FILE* stream = nullptr;  // `bytes` as a read-only seekable stream; null until read
};

// The module's state: standard input once read.
extern SceneInput sceneInput;

// True when `name` is "-", standard input.
bool IsStandardInput(const char* name);

// The name to show for `name`: "(stdin)" for "-", else `name` itself (not yet made printable).
const char* ShownSceneName(const char* name);

// Reads `in` to its end into sceneInput and opens it as sceneInput.stream. False, with the
// reason in `error`, on a read error, when memory runs out, or when `in` holds more than
// `limit` bytes (the loader's kMaxSceneFileBytes unless a test says otherwise).
bool ReadSceneInput(std::FILE* in, int64_t limit, std::string& error);

// Closes the stream and releases the bytes.
void CloseSceneInput();

// Loads the scene the command line names: "-" from sceneInput.stream (which ReadSceneInput
// must have opened), any other name from its file, opened once and without waiting: a named
// pipe, a device or a socket fails at once ("cannot open "NAME": not a regular file") rather
// than blocking on a writer or reading without end. As LoadScene.
Scene* LoadNamedScene(const char* name);

// Checks, before anything else is started, that the file `name` can be opened for reading
// and is a regular file (not a directory, a device or a pipe): the viewer's first check, so
// that a wrong name is the first thing it reports. False with the reason in `error` (the
// system's words, e.g. "No such file or directory"). "-" always passes.
bool CheckSceneFile(const char* name, std::string& error);
