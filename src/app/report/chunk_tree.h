// --chunks: the chunk tree of a scene file as the loader's walker sees it.
#pragma once

#include <cstdio>

// Prints the chunk tree of the scene at `path` ("-": standard input, read already) on `out`,
// one line per chunk: depth indent, id, role ("unknown" for ids the loader does not know),
// file offset and length. When the load fails, the chunk where it stopped is marked with the
// reason, and 1 is returned; otherwise 0.
int PrintChunkTree(const char* path, std::FILE* out);
