// Arena memory for large scenes: blocks of a mebibyte or more are mapped on their own and
// marked for transparent huge pages, smaller ones come from the heap.
//
// A large scene's records are mostly a few big arrays, and the kernel hands out 2 MiB pages
// far faster than the hundreds of 4 KiB pages each would otherwise take (for a 50 MB file,
// 125 MB of records). Where huge pages are off the mapping still works, with small pages.
#pragma once

#include "scene/records.h"

const ArenaMemory& HugePageArenaMemory();
