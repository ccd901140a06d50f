// What the walker and the chunk handlers share: the read helpers through which every byte
// of the file passes, the failure recorder, and the handlers named in ChunkTable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "scene/loader.h"

// ---- Failures ---------------------------------------------------------------------------

// Records why the load stops, as "chunk 0x4110 at offset 1234: <reason>" with the chunk
// whose handler is running, and returns -1. The first failure of a load is kept. A name
// from the file goes in as QuotedName(name) (printable.h); whatever else the reason holds
// is made printable as well, so the message is always one line of printable ASCII.
// (mingw-w64 builds use its C99 printf, whose format checks are the GNU ones.)
#ifdef __MINGW_PRINTF_FORMAT
int32_t LoadFail(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
#else
int32_t LoadFail(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

// ---- Reading ----------------------------------------------------------------------------
// Every read knows the end it may not pass: the chunk's end or the file's end, whichever
// comes first. Payloads are checked against that end before anything is read or allocated
// for them, so a short read can only mean an I/O error or a file that changed between the
// passes, and either fails the load.

// "file" when the running chunk claims more bytes than the file holds (a file cut short),
// else "chunk": the end that limits the chunk's reads, for the reasons of failures.
inline const char* LimitName() {
    return loaderState.chunkClaimedEnd > loaderState.fileLength ? "file" : "chunk";
}

// Bytes that can still be read before the chunk's end and the file's end.
inline int64_t BytesLeft(int32_t chunkEnd) {
    const int64_t end = chunkEnd < loaderState.fileLength ? chunkEnd : loaderState.fileLength;
    return end > loaderState.position ? end - loaderState.position : 0;
}

// 0 when `need` bytes are left before `chunkEnd` (and the file's end); otherwise records
// "<subject> need(s) N bytes, M left in the chunk" and returns -1. `subject` carries its
// verb, e.g. "40 vertices need" or "the camera needs".
int32_t NeedBytes(int32_t chunkEnd, int64_t need, const char* subject);

// Reads exactly `count` bytes; -1 (recorded) when the stream gives fewer.
int32_t ReadBytes(FILE* stream, void* out, size_t count);

// Checks that `count` bytes are left, then reads them: a fixed-size payload. A payload cut
// short by the chunk's or the file's end fails with `subject` in the reason.
inline int32_t ReadFixed(FILE* stream, int32_t chunkEnd, void* out, size_t count,
                         const char* subject) {
    if (NeedBytes(chunkEnd, static_cast<int64_t>(count), subject) != 0) return -1;
    return ReadBytes(stream, out, count);
}

// Moves the stream `count` bytes on (already checked against the chunk's end).
int32_t SkipBytes(FILE* stream, int64_t count);

// Like SkipBytes, but never past the chunk's end or the file's end, and never fails: for
// the Skip handlers, whose bytes are dropped anyway.
void SkipAtMost(FILE* stream, int32_t chunkEnd, int64_t count);

// Reads `count` bytes (already checked) into loaderState.scratch and returns its start, or
// nullptr (recorded) on a short read or when the scratch memory cannot grow.
const unsigned char* ReadToScratch(FILE* stream, size_t count);

// Reads a NUL-terminated name: stores at most 63 characters and a NUL in `name`, and reads
// on to the NUL (which is consumed) so that what follows the name starts in the right place.
// Stops early at the chunk's end or the file's end. Returns true when it stopped there with
// fewer than 63 characters stored: a name cut short.
bool ReadName(FILE* stream, int32_t chunkEnd, char (&name)[64]);

// Little-endian values assembled from bytes already read.
inline uint16_t GetU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline float GetFloat(const unsigned char* p) {
    const uint32_t bits = GetU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Reads a u16 count or id at the start of a payload (2 bytes, checked).
inline int32_t ReadU16(FILE* stream, int32_t chunkEnd, uint16_t* value, const char* subject) {
    unsigned char bytes[2];
    if (ReadFixed(stream, chunkEnd, bytes, 2, subject) != 0) return -1;
    *value = GetU16(bytes);
    return 0;
}

// ---- Records by name --------------------------------------------------------------------

// Hash of a NUL-terminated name under the process's key (keyed_hash.h), so that no file
// can be written whose names crowd one part of the table.
uint32_t HashName(const char* name);

// The slot of `names` holding the record named `name`, or the empty slot (-1) where the
// probe for it ended. `names` has slots, and at least one of them is empty.
template <class T>
int32_t* NameSlot(const NameIndex& names, const T* records, const char* name) {
    const uint32_t mask = names.size - 1;
    uint32_t i = HashName(name) & mask;
    while (names.slots[i] >= 0 && std::strcmp(records[names.slots[i]].name, name) != 0)
        i = (i + 1) & mask;
    return &names.slots[i];
}

// Adds records[index], just opened and named, to `names`, unless a record opened before
// it has the same name: the first of several equal names keeps winning.
template <class T>
void AddToNameIndex(NameIndex& names, const T* records, int32_t index) {
    int32_t* slot = NameSlot(names, records, records[index].name);
    if (*slot < 0) *slot = index;
}

// ---- Handlers of ChunkTable -------------------------------------------------------------

// Trivial handlers: store nothing, never fail.
int32_t IgnoreChunk(FILE* stream, int32_t chunkEnd);
int32_t Skip2Bytes(FILE* stream, int32_t chunkEnd);
int32_t Skip3Bytes(FILE* stream, int32_t chunkEnd);
int32_t Skip4Bytes(FILE* stream, int32_t chunkEnd);

// Mesh, material, light and camera chunks (mesh_chunks.cpp).
int32_t ReadObjectName(FILE* stream, int32_t chunkEnd);
int32_t ReadTriMesh(FILE* stream, int32_t chunkEnd);
int32_t ReadVertexList(FILE* stream, int32_t chunkEnd);
int32_t SkipVertexFlags(FILE* stream, int32_t chunkEnd);
int32_t ReadFaceList(FILE* stream, int32_t chunkEnd);
int32_t ReadFaceMaterials(FILE* stream, int32_t chunkEnd);
int32_t ReadTexCoords(FILE* stream, int32_t chunkEnd);
int32_t ReadSmoothGroups(FILE* stream, int32_t chunkEnd);
int32_t ReadMeshMatrix(FILE* stream, int32_t chunkEnd);
int32_t ReadLight(FILE* stream, int32_t chunkEnd);
int32_t ReadSpotlight(FILE* stream, int32_t chunkEnd);
int32_t ReadLightOff(FILE* stream, int32_t chunkEnd);
int32_t ReadLightRayShadow(FILE* stream, int32_t chunkEnd);
int32_t ReadLightInnerRange(FILE* stream, int32_t chunkEnd);
int32_t ReadLightOuterRange(FILE* stream, int32_t chunkEnd);
int32_t ReadLightMultiplier(FILE* stream, int32_t chunkEnd);
int32_t ReadCamera(FILE* stream, int32_t chunkEnd);
int32_t ReadMaterialName(FILE* stream, int32_t chunkEnd);

// Colour, percentage, material and map chunks (material_chunks.cpp).
int32_t ReadFloatColor(FILE* stream, int32_t chunkEnd);
int32_t ReadLinearFloatColor(FILE* stream, int32_t chunkEnd);
int32_t ReadByteColor(FILE* stream, int32_t chunkEnd);
int32_t ReadLinearByteColor(FILE* stream, int32_t chunkEnd);
int32_t ReadIntPercent(FILE* stream, int32_t chunkEnd);
int32_t ReadFloatPercent(FILE* stream, int32_t chunkEnd);
int32_t ReadUseBackground(FILE* stream, int32_t chunkEnd);
int32_t BeginMaterial(FILE* stream, int32_t chunkEnd);
int32_t ReadTwoSided(FILE* stream, int32_t chunkEnd);
int32_t ReadAdditive(FILE* stream, int32_t chunkEnd);
int32_t ReadWire(FILE* stream, int32_t chunkEnd);
int32_t ReadWireSize(FILE* stream, int32_t chunkEnd);
int32_t ReadShading(FILE* stream, int32_t chunkEnd);
int32_t ReadMap(FILE* stream, int32_t chunkEnd);
int32_t ReadMapName(FILE* stream, int32_t chunkEnd);
int32_t ReadMapTiling(FILE* stream, int32_t chunkEnd);
int32_t ReadMapUScale(FILE* stream, int32_t chunkEnd);
int32_t ReadMapVScale(FILE* stream, int32_t chunkEnd);
int32_t ReadMapUOffset(FILE* stream, int32_t chunkEnd);
int32_t ReadMapVOffset(FILE* stream, int32_t chunkEnd);
int32_t ReadMapRotation(FILE* stream, int32_t chunkEnd);

// Gives a material just opened the values it has when the file does not give them.
void SetMaterialDefaults(Material& material);

// Keyframer chunks (keyframer_chunks.cpp).
int32_t ReadObjectNode(FILE* stream, int32_t chunkEnd);
int32_t ReadCameraNode(FILE* stream, int32_t chunkEnd);
int32_t ReadTargetNode(FILE* stream, int32_t chunkEnd);
int32_t ReadOtherNode(FILE* stream, int32_t chunkEnd);
int32_t ReadSegment(FILE* stream, int32_t chunkEnd);
int32_t ReadNodeHeader(FILE* stream, int32_t chunkEnd);
int32_t ReadPivot(FILE* stream, int32_t chunkEnd);
int32_t ReadInstanceName(FILE* stream, int32_t chunkEnd);
int32_t ReadPositionTrack(FILE* stream, int32_t chunkEnd);
int32_t ReadRotationTrack(FILE* stream, int32_t chunkEnd);
int32_t ReadScaleTrack(FILE* stream, int32_t chunkEnd);
int32_t ReadFovTrack(FILE* stream, int32_t chunkEnd);
int32_t ReadRollTrack(FILE* stream, int32_t chunkEnd);
int32_t ReadHideTrack(FILE* stream, int32_t chunkEnd);
int32_t SkipVectorTrack(FILE* stream, int32_t chunkEnd);
int32_t ReadNodeId(FILE* stream, int32_t chunkEnd);
