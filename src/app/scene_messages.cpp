// The words for a scene that did not load or is not a 3DS file.
#include "app/scene_messages.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "scene/loader.h"
#include "scene/printable.h"
#include "view/views.h"

std::string LoadFailureText(const char* fileName) {
    const LoadError& error = LastLoadError();
    const char* reason = error.message.empty() ? "cannot be loaded" : error.message.c_str();
    char location[64] = "";
    if (error.chunkId != 0 || error.offset != 0) {
        std::snprintf(location, sizeof location, "chunk 0x%04X at offset %" PRId64 ": ",
                      static_cast<unsigned>(error.chunkId), error.offset);
        // The loader may already lead its reason with the location.
        if (std::strncmp(reason, location, std::strlen(location)) == 0) location[0] = '\0';
    }
    return PrintableName(fileName) + ": " + location + PrintableName(reason);
}

std::string NotA3dsReason() {
    const FileHead& head = LastFileHead();
    if (StartsWithMainChunk(head)) return {};
    if (head.count == 0) return "not a 3DS file (it is empty)";
    std::string reason = "not a 3DS file (it starts with ";
    AppendPrintable(reason, reinterpret_cast<const char*>(head.bytes),
                    static_cast<size_t>(head.count), true);
    return reason + ")";
}

std::string NothingToDrawReason(const Scene& scene) {
    const SceneBounds bounds = ComputeSceneBounds(scene);
    if (bounds.finiteCount > 0) return {};
    if (bounds.nonFiniteCount == 0) return "nothing to draw: the scene has no vertices";
    if (bounds.nonFiniteCount == 1) return "nothing to draw: its one vertex position is not finite";
    return "nothing to draw: none of its " + std::to_string(bounds.nonFiniteCount) +
           " vertex positions is finite";
}
