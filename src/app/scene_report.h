// What a scene file holds, and how the loader walks it: the --info and --chunks reports.
#pragma once

#include <cstdio>

// Prints what the scene at `path` holds (objects, materials, lights, cameras, segment) as
// text, or as one JSON document when `json` is set, on `out`. When the scene does not
// load, prints the reason (on `err` as text, or on `out` as a JSON document with "error")
// and returns 1; otherwise 0.
int PrintSceneInfo(const char* path, bool json, std::FILE* out, std::FILE* err);

// PrintSceneInfo, followed by the keyframer: the frames played and every node with its
// tracks and keys (frame, value, spline values); with `frame` (not null), each node's world
// matrix at that frame time and each animated camera's matrix and field of view there.
int PrintSceneInfoAtFrame(const char* path, bool json, const double* frame, std::FILE* out,
                          std::FILE* err);

// Prints the chunk tree as the loader's walker sees it, one line per chunk: depth indent,
// id, role ("unknown" for ids the loader does not know), file offset and length. When the
// load fails, the chunk where it stopped is marked with the reason, and 1 is returned.
int PrintChunkTree(const char* path, std::FILE* out);
