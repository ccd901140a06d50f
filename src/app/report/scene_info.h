// --info: what a scene file holds, as text or as one JSON document.
#pragma once

#include <cstdio>

#include "image/scene_maps.h"

// Prints what the scene at `path` ("-": standard input, read already) holds: the file, its
// segment, objects, materials, their maps (each with the file found for it as `maps` says
// where to look, and when it decodes them, whether the file can be used), lights and
// cameras, the bounds of its positions, and its
// keyframer (the frames played and every node with its tracks and keys); with `frameTime`
// (not null), each node's world matrix at that frame time and each animated camera's matrix
// and field of view there. As text on `out`, or as one JSON document there when `json` is
// set. When the scene does not load, prints the reason (on `err` as text, or on `out` as a
// JSON document with "error") and returns 1; otherwise 0.
int PrintSceneInfo(const char* path, bool json, const double* frameTime, std::FILE* out,
                   std::FILE* err, const SceneMapOptions& maps = SceneMapOptions{});
