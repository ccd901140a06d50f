// --export: scenes written as glTF 2.0 files, without a window.
#pragma once

#include "app/command_line.h"

// Runs `trellis --export OUT.glb|OUT.gltf SCENE` or `--export FOLDER/ SCENE...`. A scene
// that does not load, or is not a 3D Studio scene, is reported on stderr with its reason and
// writes nothing; with a folder the others are still exported. What a scene could not carry
// over is noted on stderr. Returns the exit status: 0, or 1 when any scene failed.
int RunExport(const CommandLine& line);
