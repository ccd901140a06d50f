// The chunk walker, its dispatch table, the two-pass load driver, the lookups by name and
// the read helpers that every byte of the scene file passes through.
#include "scene/loader.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "scene/derived.h"
#include "scene/keyed_hash.h"
#include "scene/loader_internal.h"
#include "scene/printable.h"

LoaderState loaderState;

// Rows in the order the file format's reference lists them, then the rows added since (the
// opacity map and the use-background flag). No id stands twice, so the order does not change
// the walk. The ambient, light, light-target and spotlight nodes (0xB001, 0xB005 to 0xB007)
// get ReadOtherNode: their tracks are read and dropped. Colour and percentage chunks give
// their value to the chunk they stand under (see material_chunks.cpp).
const ChunkRow ChunkTable[kChunkTableRows] = {
    {0x0002, 0, Skip2Bytes, "file version"},
    {0x0010, 0, ReadFloatColor, "colour, three floats"},
    {0x0011, 0, ReadByteColor, "colour, three bytes"},
    {0x0012, 0, ReadLinearByteColor, "colour, three bytes"},
    {0x0013, 0, ReadLinearFloatColor, "colour, three floats"},
    {0x0030, 0, ReadIntPercent, "percentage, integer"},
    {0x0031, 0, ReadFloatPercent, "percentage, float"},
    {0x0100, 0, Skip4Bytes, "master scale"},
    {0xC23D, 1, nullptr, ""},
    {0x3DAA, 1, nullptr, ""},
    {0x3D3E, 0, Skip2Bytes, "mesh version"},
    {0x4D4D, 1, nullptr, "main chunk"},
    {0x3D3D, 1, nullptr, "scene editor data"},
    {0x1200, 1, nullptr, "background colour"},
    {0x2100, 1, nullptr, "ambient light colour"},
    {0x4000, 1, ReadObjectName, "named object"},
    {0x4100, 1, ReadTriMesh, "triangle mesh"},
    {0x4110, 0, ReadVertexList, "vertex list"},
    {0x4111, 0, SkipVertexFlags, "vertex flags"},
    {0x4120, 1, ReadFaceList, "face list"},
    {0x4130, 0, ReadFaceMaterials, "face material group"},
    {0x4140, 0, ReadTexCoords, "texture coordinates"},
    {0x4150, 0, ReadSmoothGroups, "smoothing groups"},
    {0x4160, 0, ReadMeshMatrix, "mesh matrix"},
    {0x4165, 0, IgnoreChunk, ""},
    {0x4170, 0, IgnoreChunk, ""},
    {0x4190, 0, nullptr, ""},
    {0x4600, 1, ReadLight, "light"},
    {0x4610, 0, ReadSpotlight, "spotlight"},
    {0x4700, 0, ReadCamera, "camera"},
    {0x4F00, 1, nullptr, ""},
    {0x7001, 0, IgnoreChunk, ""},
    {0x7020, 0, IgnoreChunk, ""},
    {0xAFFF, 1, nullptr, "material"},
    {0xA000, 0, ReadMaterialName, "material name"},
    {0xA010, 1, nullptr, "material colour"},
    {0xA020, 1, nullptr, "material colour"},
    {0xA030, 1, nullptr, "material colour"},
    {0xA040, 1, nullptr, ""},
    {0xA041, 1, nullptr, ""},
    {0xA050, 1, nullptr, ""},
    {0xA052, 1, nullptr, ""},
    {0xA053, 1, nullptr, ""},
    {0xA084, 1, nullptr, ""},
    {0xA081, 0, ReadTwoSided, ""},
    {0xA083, 0, ReadAdditive, ""},
    {0xA085, 0, ReadWire, ""},
    {0xA087, 0, ReadWireSize, ""},
    {0xA08C, 0, IgnoreChunk, ""},
    {0xA100, 0, ReadShading, ""},
    {0xA200, 1, ReadMap, "texture map"},
    {0xA220, 1, IgnoreChunk, "reflection map"},
    {0xA230, 1, IgnoreChunk, "bump map"},
    {0xA252, 0, Skip2Bytes, ""},
    {0xA300, 0, ReadMapName, "map file name"},
    {0xA351, 0, ReadMapTiling, "map parameter"},
    {0xA353, 0, Skip4Bytes, "map parameter"},
    {0xA354, 0, ReadMapUScale, "map parameter"},
    {0xA356, 0, ReadMapVScale, "map parameter"},
    {0xA358, 0, ReadMapUOffset, "map parameter"},
    {0xA35A, 0, ReadMapVOffset, "map parameter"},
    {0xA35C, 0, ReadMapRotation, "map parameter"},
    {0xB000, 1, nullptr, "keyframer data"},
    {0xB001, 1, ReadOtherNode, "ambient node"},
    {0xB002, 1, ReadObjectNode, "object node"},
    {0xB008, 0, ReadSegment, "keyframe segment"},
    {0xB010, 0, ReadNodeHeader, "node header"},
    {0xB011, 0, nullptr, ""},
    {0xB013, 0, ReadPivot, "pivot"},
    {0xB020, 0, ReadPositionTrack, "position track"},
    {0xB025, 0, SkipVectorTrack, "colour track"},
    {0xB021, 0, ReadRotationTrack, "rotation track"},
    {0xB022, 0, ReadScaleTrack, ""},
    {0xB026, 0, nullptr, ""},
    {0xB029, 0, nullptr, ""},
    {0xB030, 0, ReadNodeId, "node id"},
    {0xB003, 1, ReadCameraNode, "camera node"},
    {0xB004, 1, ReadTargetNode, "camera target node"},
    {0xB005, 1, ReadOtherNode, "light node"},
    {0xB006, 1, ReadOtherNode, "light target node"},
    {0xB007, 1, ReadOtherNode, "spotlight node"},
    {0xB023, 0, ReadFovTrack, "field-of-view track"},
    {0xB024, 0, ReadRollTrack, "roll track"},
    {0x4659, 0, ReadLightInnerRange, "light inner range"},
    {0x465A, 0, ReadLightOuterRange, "light outer range"},
    {0x465B, 0, ReadLightMultiplier, "light multiplier"},
    {0x4620, 0, ReadLightOff, "light off"},
    {0x4627, 0, ReadLightRayShadow, "light ray-traced shadow"},
    {0xA210, 1, ReadMap, "opacity map"},
    {0x1201, 0, ReadUseBackground, "use solid background"},
};

// Handlers of chunks that ChunkTable lists without one (their rows keep the format reader's
// list as it is): the node's instance name and its hide track, kept for animation, which read
// only inside a node, and the start of a material, which closes the one before it. None
// fails a load.
namespace {
struct AddedHandler {
    uint16_t id;
    ChunkHandler handler;
};
constexpr AddedHandler kAddedHandlers[] = {
    {0xB011, ReadInstanceName},
    {0xB029, ReadHideTrack},
    {0xAFFF, BeginMaterial},
};

ChunkHandler HandlerOf(int32_t row) {
    const ChunkRow& entry = ChunkTable[row];
    if (entry.handler != nullptr) return entry.handler;
    for (const AddedHandler& added : kAddedHandlers) {
        if (added.id == entry.id) return added.handler;
    }
    return nullptr;
}
}  // namespace

// ---- Failures and read helpers ----------------------------------------------------------

namespace {

// Stream buffers of the passes. The fill pass reads large array payloads straight into the
// scratch memory, past its buffer, which only needs to hold many small chunks. The counting
// pass seeks past every array payload, and each seek out of the buffer refills it at the new
// position: a small buffer keeps those refills from reading bytes that the next seek skips
// (with 64 KiB for both passes a large scene was read about one and a half times).
constexpr size_t kFillStreamBufferSize = 64 * 1024;
constexpr size_t kCountingStreamBufferSize = 4 * 1024;

// Records a failure that belongs to no chunk (opening or measuring the file).
int32_t FailWithoutChunk(const char* what, const char* path) {
    LoadError& error = loaderState.error;
    if (!error.message.empty()) return -1;
    error.offset = 0;
    error.chunkId = 0;
    const char* reason = std::strerror(errno);
    error.message = std::string(what) + " " + QuotedName(path) + ": " + PrintableName(reason);
    return -1;
}

void ReleaseScratch() {
    std::free(loaderState.scratch);
    loaderState.scratch = nullptr;
    loaderState.scratchSize = 0;
}

void ReleaseNameIndexes() {
    LoaderState& s = loaderState;
    for (NameIndex* names : {&s.objectNames, &s.cameraNames, &s.lightNames, &s.materialNames}) {
        std::free(names->slots);
        *names = NameIndex{};
    }
}

}  // namespace

int32_t LoadFail(const char* format, ...) {
    LoaderState& s = loaderState;
    if (!s.error.message.empty()) return -1;
    char reason[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "chunk 0x%04X at offset %lld: ", s.chunkId,
                  static_cast<long long>(s.chunkStart));
    s.error.offset = s.chunkStart;
    s.error.chunkId = s.chunkId;
    // Names in a reason come quoted and escaped by their callers; the reason as a whole is
    // made printable once more, so that no byte of a system message (or of a name a caller
    // forgot) can break the single line or reach a terminal raw.
    s.error.message = std::string(prefix) + PrintableName(reason);
    return -1;
}

int32_t NeedBytes(int32_t chunkEnd, int64_t need, const char* subject) {
    const int64_t left = BytesLeft(chunkEnd);
    if (need <= left) return 0;
    return LoadFail("%s %lld bytes, %lld left in the %s", subject, static_cast<long long>(need),
                    static_cast<long long>(left), LimitName());
}

int32_t ReadBytes(FILE* stream, void* out, size_t count) {
    const size_t got = std::fread(out, 1, count, stream);
    loaderState.position += static_cast<int64_t>(got);
    if (got == count) return 0;
    if (std::ferror(stream)) return LoadFail("read error: %s", std::strerror(errno));
    return LoadFail("the file ended at offset %lld, before its measured length %lld",
                    static_cast<long long>(loaderState.position),
                    static_cast<long long>(loaderState.fileLength));
}

int32_t SkipBytes(FILE* stream, int64_t count) {
    if (count == 0) return 0;
    const int64_t target = loaderState.position + count;
    if (std::fseek(stream, static_cast<long>(target), SEEK_SET) != 0) {
        return LoadFail("cannot seek to offset %lld: %s", static_cast<long long>(target),
                        std::strerror(errno));
    }
    loaderState.position = target;
    return 0;
}

void SkipAtMost(FILE* stream, int32_t chunkEnd, int64_t count) {
    const int64_t left = BytesLeft(chunkEnd);
    const int64_t target = loaderState.position + (count < left ? count : left);
    // A failed seek leaves the position alone; the walker's own seek to the chunk's end
    // then fails and reports it.
    if (std::fseek(stream, static_cast<long>(target), SEEK_SET) == 0) {
        loaderState.position = target;
    }
}

const unsigned char* ReadToScratch(FILE* stream, size_t count) {
    static const unsigned char nothing = 0;
    if (count == 0) return &nothing;
    LoaderState& s = loaderState;
    if (count > s.scratchSize) {
        void* grown = std::realloc(s.scratch, count);
        if (grown == nullptr) {
            LoadFail("out of memory for %zu bytes of payload", count);
            return nullptr;
        }
        s.scratch = static_cast<unsigned char*>(grown);
        s.scratchSize = count;
    }
    if (ReadBytes(stream, s.scratch, count) != 0) return nullptr;
    return s.scratch;
}

bool ReadName(FILE* stream, int32_t chunkEnd, char (&name)[64]) {
    int64_t left = BytesLeft(chunkEnd);
    size_t stored = 0;
    bool endedAtNul = false;
    while (left > 0) {
        const int c = std::getc(stream);
        if (c == EOF) break;  // a shrunken file or a read error; the walker checks the latter
        ++loaderState.position;
        --left;
        if (c == 0) {
            endedAtNul = true;
            break;
        }
        if (stored < sizeof name - 1) name[stored++] = static_cast<char>(c);
    }
    name[stored] = '\0';
    return !endedAtNul && stored < sizeof name - 1;
}

// ---- Trivial handlers -------------------------------------------------------------------

int32_t IgnoreChunk(FILE*, int32_t) {
    return 0;
}

int32_t Skip2Bytes(FILE* stream, int32_t chunkEnd) {
    SkipAtMost(stream, chunkEnd, 2);
    return 0;
}

int32_t Skip3Bytes(FILE* stream, int32_t chunkEnd) {
    SkipAtMost(stream, chunkEnd, 3);
    return 0;
}

int32_t Skip4Bytes(FILE* stream, int32_t chunkEnd) {
    SkipAtMost(stream, chunkEnd, 4);
    return 0;
}

// ---- The walker -------------------------------------------------------------------------

int32_t FindChunkRow(uint16_t id) {
    for (int32_t row = 0; row < kChunkTableRows; ++row) {
        if (ChunkTable[row].id == id) return row;
    }
    return -1;
}

namespace {

// The walk of ParseChunks at the depth already entered.
//
// Choices the walker makes where the file is malformed:
// - A chunk length below 6, a chunk end past offset 2^31 - 1, and a chunk nested deeper
//   than kMaxChunkDepth fail the load.
// - Fewer than 6 bytes left before the end of the walk cannot hold a chunk header: the
//   walk ends there with success, and the bytes are skipped (the walk above seeks past
//   them). Some writers pad the end of a file or of a chunk.
// - A chunk that claims to run past the end of the walk (its parent's end, or the file's
//   end at the top) is cut at that end: its handler reads and its children are walked
//   only up to there, and the walk of its parent ends with success after it. A top-level
//   chunk cut by the end of the file thus ends the load's walk with success. Because no
//   chunk reaches out of its parent, every byte of the file is walked at most once per
//   pass, so neither the time nor the memory of a load can grow faster than the file.
int32_t WalkChunks(FILE* stream, int32_t end) {
    LoaderState& s = loaderState;
    const int64_t walkEnd = std::min<int64_t>(end, s.fileLength);
    while (s.position < walkEnd) {
        const int64_t start = s.position;
        if (walkEnd - start < 6) break;
        s.chunkId = 0;
        s.chunkStart = start;
        s.chunkClaimedEnd = 0;
        unsigned char header[6];
        if (ReadBytes(stream, header, sizeof header) != 0) return -1;
        const uint16_t id = GetU16(header);
        const uint32_t length = GetU32(header + 2);
        const int32_t row = FindChunkRow(id);
        s.chunkId = id;
        if (s.observer != nullptr) {
            s.observer(ChunkSeen{s.depth, id, start, length, row, s.countingPass ? 1 : 2},
                       s.observerUser);
        }
        if (length < 6) return LoadFail("length %u is shorter than a chunk header", length);
        if (start + length > INT32_MAX) {
            return LoadFail("length %u puts the chunk's end past offset %d", length, INT32_MAX);
        }
        if (s.depth > kMaxChunkDepth) {
            return LoadFail("chunks are nested more than %d deep", kMaxChunkDepth);
        }
        s.chunkClaimedEnd = start + length;
        const int32_t chunkEnd = static_cast<int32_t>(std::min<int64_t>(start + length, walkEnd));
        if (row >= 0) {
            const ChunkRow& entry = ChunkTable[row];
            const ChunkHandler handler = HandlerOf(row);
            if (handler != nullptr && handler(stream, chunkEnd) != 0) return -1;
            if (entry.hasChildren) {
                // The children's parent is this chunk, whatever a handler walked below it.
                s.chunkId = id;
                s.chunkStart = start;
                s.chunkClaimedEnd = start + length;
                if (ParseChunks(stream, chunkEnd) != 0) return -1;
            }
        }
        s.chunkId = id;
        s.chunkStart = start;
        s.chunkClaimedEnd = start + length;
        assert(s.position <= chunkEnd);
        if (s.position != chunkEnd && SkipBytes(stream, chunkEnd - s.position) != 0) return -1;
        if (std::ferror(stream)) return LoadFail("read error: %s", std::strerror(errno));
    }
    return 0;
}

}  // namespace

int32_t ParseChunks(FILE* stream, int32_t end) {
    LoaderState& s = loaderState;
    const uint16_t outerId = s.parentChunkId;
    const int64_t outerStart = s.parentChunkStart;
    if (s.depth > 0) {
        s.parentChunkId = s.chunkId;
        s.parentChunkStart = s.chunkStart;
    }
    ++s.depth;
    const int32_t result = WalkChunks(stream, end);
    --s.depth;
    s.parentChunkId = outerId;
    s.parentChunkStart = outerStart;
    return result;
}

// ---- The load driver --------------------------------------------------------------------

void ResetLoaderState() {
    ReleaseScratch();
    ReleaseNameIndexes();
    const ChunkObserver observer = loaderState.observer;
    void* const observerUser = loaderState.observerUser;
    const LoadLimits limits = loaderState.limits;
    loaderState = LoaderState{};
    loaderState.observer = observer;
    loaderState.observerUser = observerUser;
    loaderState.limits = limits;
}

void SetChunkObserver(ChunkObserver observer, void* user) {
    loaderState.observer = observer;
    loaderState.observerUser = user;
}

namespace {

// State that each pass starts from. Both passes start alike, so they walk the same tree the
// same way: a record opened before any name gets an empty name in both, and keyframer
// chunks outside any node belong to no node (kind NodeNone) in both.
void BeginPass() {
    LoaderState& s = loaderState;
    s.currentName[0] = '\0';
    s.currentObject = nullptr;
    s.currentLight = nullptr;
    s.currentCamera = nullptr;
    s.currentMaterial = nullptr;
    s.materialEnd = 0;
    s.nextObject = s.nextLight = s.nextCamera = s.nextMaterial = s.nextNode = 0;
    s.currentNode = nullptr;
    s.nodeKind = NodeNone;
    s.nodeIndex = -1;
    s.currentNodeId = 0;
    s.nodeName[0] = '\0';
    s.position = 0;
    s.depth = 0;
    s.chunkId = 0;
    s.chunkStart = 0;
    s.chunkClaimedEnd = 0;
    s.parentChunkId = 0;
    s.parentChunkStart = -1;
    s.linearColorParent = -1;
}

// Sets loaderState.fileLength to the length of the open file, and keeps its first bytes.
// The first bytes are read before anything else, so that a path that opens but cannot be
// read (a directory) fails with the system's reason.
int32_t MeasureFile(FILE* stream, const char* path) {
    FileHead& head = loaderState.head;
    const size_t got = std::fread(head.bytes, 1, sizeof head.bytes, stream);
    if (got < sizeof head.bytes && std::ferror(stream)) {
        return FailWithoutChunk("cannot read", path);
    }
    head.count = static_cast<int32_t>(got);
    long length = -1;
    if (std::fseek(stream, 0, SEEK_END) == 0) length = std::ftell(stream);
    if (length < 0 || std::fseek(stream, 0, SEEK_SET) != 0) {
        return FailWithoutChunk("cannot measure", path);
    }
    if (length > kMaxSceneFileBytes) {
        loaderState.error.message = "the file is " + std::to_string(length) +
                                    " bytes long; at most " + std::to_string(kMaxSceneFileBytes) +
                                    " can be read";
        return -1;
    }
    loaderState.fileLength = length;
    return 0;
}

// One pass over an open stream: measured first in the counting pass, then walked.
int32_t WalkFile(FILE* stream, const char* name) {
    LoaderState& s = loaderState;
    int32_t result = s.countingPass ? MeasureFile(stream, name) : 0;
    if (result == 0) {
        s.position = 0;
        result = ParseChunks(stream, static_cast<int32_t>(s.fileLength));
    }
    return result;
}

// Where a load reads: a path opened for each pass, or a stream the caller holds open.
struct LoadSource {
    const char* path = nullptr;
    FILE* stream = nullptr;
    const char* name = nullptr;  // of the stream
};

// Opens the file, walks it and closes it; or walks the caller's stream from its start.
int32_t RunPass(const LoadSource& source) {
    LoaderState& s = loaderState;
    if (source.stream != nullptr) {
        std::clearerr(source.stream);
        if (std::fseek(source.stream, 0, SEEK_SET) != 0) {
            return FailWithoutChunk("cannot seek in", source.name);
        }
        return WalkFile(source.stream, source.name);
    }
    FILE* stream = std::fopen(source.path, "rb");
    if (stream == nullptr) {
        return FailWithoutChunk(s.countingPass ? "cannot open" : "cannot open again", source.path);
    }
    const size_t bufferSize = s.countingPass ? kCountingStreamBufferSize : kFillStreamBufferSize;
    char* buffer = static_cast<char*>(std::malloc(bufferSize));
    if (buffer != nullptr) std::setvbuf(stream, buffer, _IOFBF, bufferSize);
    const int32_t result = WalkFile(stream, source.path);
    std::fclose(stream);
    std::free(buffer);
    return result;
}

Scene* AbandonLoad(Scene* scene) {
    // A block the program's memory refused under its own limit: that limit is the reason.
    if (const char* refusal = ArenaRefusalReason()) loaderState.error.message = refusal;
    FreeScene(scene);
    loaderState.scene = nullptr;
    loaderState.currentObject = nullptr;
    loaderState.currentLight = nullptr;
    loaderState.currentCamera = nullptr;
    loaderState.currentMaterial = nullptr;
    loaderState.currentNode = nullptr;
    ReleaseScratch();
    ReleaseNameIndexes();
    return nullptr;
}

// Gives `names` the smallest power-of-two size at least twice `count`, every slot empty;
// no slots for no records. Counts are at most one per 6 bytes of a file of at most 2^31
// bytes, so the size stays below 2^30. False when the memory cannot be had.
bool AllocateNameIndex(NameIndex& names, int32_t count) {
    if (count <= 0) return true;
    uint32_t size = 2;
    while (size < 2 * static_cast<uint64_t>(count))
        size *= 2;
    names.slots = static_cast<int32_t*>(std::malloc(size * sizeof(int32_t)));
    if (names.slots == nullptr) return false;
    names.size = size;
    std::fill_n(names.slots, size, -1);
    return true;
}

template <class T>
T* AllocateRecords(Scene* scene, int32_t count) {
    T* records = ArenaAllocateArray<T>(scene->arena, static_cast<size_t>(count));
    if (records != nullptr) std::fill_n(records, count, T{});
    return records;
}

// The two passes over the source, the record arrays between them, and the derived
// geometry after them.
Scene* LoadFrom(const LoadSource& source) {
    ResetLoaderState();
    LoaderState& s = loaderState;
    Scene* scene = NewScene();
    if (scene == nullptr) {
        s.error.message = "out of memory for the scene";
        return nullptr;
    }
    s.scene = scene;

    s.countingPass = 1;
    BeginPass();
    if (RunPass(source) != 0) return AbandonLoad(scene);
    if (s.limits.maxFaces >= 0 && s.totals.faces > s.limits.maxFaces) {
        s.error.message = "scene too large to draw: " + std::to_string(s.totals.faces) +
                          " faces, more than the " + std::to_string(s.limits.maxFaces) +
                          " a frame may draw";
        if (s.limits.maxFacesHint != nullptr) {
            s.error.message += std::string(" (") + s.limits.maxFacesHint + ")";
        }
        return AbandonLoad(scene);
    }

    // Every count is at most one per chunk of the file, so these sizes are bounded by it.
    scene->materials = AllocateRecords<Material>(scene, scene->materialCount);
    scene->objects = AllocateRecords<MeshObject>(scene, scene->objectCount);
    scene->cameras = AllocateRecords<Camera>(scene, scene->cameraCount);
    scene->lights = AllocateRecords<Light>(scene, scene->lightCount);
    scene->nodes = AllocateRecords<KeyframerNode>(scene, scene->nodeCount);
    if (scene->materials == nullptr || scene->objects == nullptr || scene->cameras == nullptr ||
        scene->lights == nullptr || scene->nodes == nullptr) {
        s.error.message = "out of memory for the scene's records";
        return AbandonLoad(scene);
    }
    if (!AllocateNameIndex(s.objectNames, scene->objectCount) ||
        !AllocateNameIndex(s.cameraNames, scene->cameraCount) ||
        !AllocateNameIndex(s.lightNames, scene->lightCount) ||
        !AllocateNameIndex(s.materialNames, scene->materialCount)) {
        s.error.message = "out of memory for the index of the scene's names";
        return AbandonLoad(scene);
    }

    s.countingPass = 0;
    BeginPass();
    if (RunPass(source) != 0) return AbandonLoad(scene);
    ReleaseScratch();

    for (int32_t i = 0; s.limits.keepFaces && i < scene->objectCount; ++i)
        ComputePlanesAndNormals(scene->objects[i]);
    for (int32_t i = 0; i < scene->cameraCount; ++i)
        SetupCamera(scene->cameras[i]);
    return scene;
}

}  // namespace

Scene* LoadScene(const char* path) {
    LoadSource source;
    source.path = path;
    return LoadFrom(source);
}

Scene* LoadSceneFromStream(FILE* stream, const char* name) {
    LoadSource source;
    source.stream = stream;
    source.name = name;
    return LoadFrom(source);
}

const LoadError& LastLoadError() {
    return loaderState.error;
}

void SetLoadLimits(const LoadLimits& limits) {
    loaderState.limits = limits;
}

const LoadLimits& CurrentLoadLimits() {
    return loaderState.limits;
}

const LoadTotals& LastLoadTotals() {
    return loaderState.totals;
}

const FileHead& LastFileHead() {
    return loaderState.head;
}

bool StartsWithMainChunk(const FileHead& head) {
    return head.count >= 2 && head.bytes[0] == 0x4D && head.bytes[1] == 0x4D;
}

// ---- Lookups ----------------------------------------------------------------------------

namespace {

// The index stands empty until the fill pass opens records (the record arrays are null in
// the counting pass), and every name in it belongs to an opened record.
template <class T>
int32_t FindByName(const NameIndex& names, const T* records, const char* name) {
    if (records == nullptr || names.size == 0) return -1;
    return *NameSlot(names, records, name);
}

}  // namespace

uint32_t HashName(const char* name) {
    return static_cast<uint32_t>(SipHash(ProcessHashKey(), name, std::strlen(name)));
}

int32_t FindObjectByName(const char* name) {
    const Scene* scene = loaderState.scene;
    return scene == nullptr ? -1 : FindByName(loaderState.objectNames, scene->objects, name);
}

int32_t FindCameraByName(const char* name) {
    const Scene* scene = loaderState.scene;
    return scene == nullptr ? -1 : FindByName(loaderState.cameraNames, scene->cameras, name);
}

int32_t FindLightByName(const char* name) {
    const Scene* scene = loaderState.scene;
    return scene == nullptr ? -1 : FindByName(loaderState.lightNames, scene->lights, name);
}

int32_t FindMaterialByName(const char* name) {
    const Scene* scene = loaderState.scene;
    return scene == nullptr ? -1 : FindByName(loaderState.materialNames, scene->materials, name);
}

int32_t RecordObjectNode(int32_t index, int32_t nodeId, int32_t parentId) {
    Scene* scene = loaderState.scene;
    assert(scene != nullptr && index >= 0 && index < scene->objectCount);
    scene->objects[index].nodeId = nodeId;
    scene->objects[index].parentId = parentId;
    return 0;
}
