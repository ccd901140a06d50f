// The words for a scene that did not load or is not a 3DS file.
#include "app/scene_messages.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "scene/loader.h"
#include "scene/printable.h"

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

void ReportNotA3ds(const char* fileName) {
    const std::string reason = NotA3dsReason();
    if (reason.empty()) return;
    std::fprintf(stderr, "trellis: %s: %s\n", PrintableName(fileName).c_str(), reason.c_str());
}
