// The chunk tree, collected through the loader's chunk observer during a load.
#include "app/report/chunk_tree.h"

#include <cinttypes>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/scene_input.h"
#include "scene/loader.h"
#include "scene/printable.h"

namespace {

// The headers of the first pass, in walk order.
void CollectChunk(const ChunkSeen& chunk, void* user) {
    if (chunk.pass == 1) static_cast<std::vector<ChunkSeen>*>(user)->push_back(chunk);
}

}  // namespace

int PrintChunkTree(const char* path, std::FILE* out) {
    std::vector<ChunkSeen> lines;
    SetChunkObserver(CollectChunk, &lines);
    Scene* scene = LoadNamedScene(path);
    SetChunkObserver(nullptr, nullptr);
    const LoadError error = LastLoadError();
    const bool failed = scene == nullptr;
    FreeScene(scene);

    // The chunk where the load stopped: the last header at the error's offset, or the last
    // chunk that contains it.
    size_t failedLine = lines.size();
    if (failed) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const ChunkSeen& l = lines[i];
            if (l.offset == error.offset ||
                (l.offset <= error.offset &&
                 error.offset < l.offset + static_cast<int64_t>(l.length))) {
                failedLine = i;
            }
        }
    }
    std::fprintf(out, "%-28s %-34s %10s %10s\n", "chunk", "role", "offset", "length");
    for (size_t i = 0; i < lines.size(); ++i) {
        const ChunkSeen& l = lines[i];
        const char* role = "unknown";
        if (l.row >= 0 && ChunkTable[l.row].role != nullptr && ChunkTable[l.row].role[0] != '\0') {
            role = ChunkTable[l.row].role;
        } else if (l.row >= 0) {
            role = "known, no role";
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04X", l.id);
        const std::string id = std::string(2 * static_cast<size_t>(l.depth - 1), ' ') + hex;
        std::fprintf(out, "%-28s %-34s %10" PRId64 " %10" PRIu32 "%s\n", id.c_str(), role, l.offset,
                     l.length, i == failedLine ? "  <-- load fails here" : "");
    }
    if (failed) {
        std::fprintf(out, "load fails: %s\n", PrintableName(error.message.c_str()).c_str());
        return kStatusFailure;
    }
    std::fprintf(out, "loads: %zu chunks\n", lines.size());
    return kStatusSuccess;
}
