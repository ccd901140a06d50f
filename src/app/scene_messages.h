// What the program says about a scene file that did not load, or that is not a 3DS file:
// the same words from the viewer, --output, --info and the Windows program.
#pragma once

#include <string>

#include "scene/records.h"

// Why the last load of `fileName` failed, in one line: the file, where the loader stopped
// (chunk and offset) and the reason. Printed on stderr after "trellis: ". Printable ASCII
// only: the file name's other bytes are escaped as \xNN.
std::string LoadFailureText(const char* fileName);

// Why the file of the last load, which succeeded, is not a 3DS file: e.g.
// `not a 3DS file (it starts with "hello\x0a")` when its first bytes (shown printable) are
// not the main chunk's id, or `not a 3DS file (it is empty)`. Empty for a 3DS file. Such a
// file loads as a scene with nothing in it; the viewer then says so on stderr and goes on,
// --info and --json say it in their report.
std::string NotA3dsReason();

// Why `scene` draws nothing at all, a 3DS file's scene whose vertices are all missing or
// have no finite position: "nothing to draw: the scene has no vertices", or "nothing to
// draw: none of its N vertex positions is finite". Empty when some position is finite.
// One pass over the vertices.
std::string NothingToDrawReason(const Scene& scene);

// The note for a scene played with --animate that has no keyframe animation.
inline constexpr const char* kNoAnimationNote =
    "the file has no keyframe animation; it stands still";

// The note shown on screen over the sample scene, opened when none was named.
inline constexpr const char* kSampleNote =
    "This is the sample scene. To see your own, drop a .3ds file here or run: trellis FILE.3ds";
