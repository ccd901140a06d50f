// Handlers of the keyframer chunks: node tags, node headers and key tracks.
//
// A node is read as its tag (which sets the kind of node), then its sub-chunks, walked by
// the tag's handler: usually a node id, a node header and tracks. The node header resolves
// the node to a record by name in the fill pass; the tracks that follow it are stored on
// that record, as position and rotation keys of a MeshObject (object nodes), or position
// or target keys of a Camera (camera and target nodes).
//
// Choices where the file is out of the usual order:
// - Every node starts unresolved: tracks of a node that come before its header, or of a
//   node without a header, are read and dropped, never stored on the record of the node
//   before it.
// - After a node's walk, and at the start of each pass, no node is current (NodeNone), so
//   headers and tracks that stand outside any node are read and dropped.
// - Ambient, light, light-target and spotlight nodes (ReadOtherNode) keep nothing: their
//   headers resolve to no record and their tracks are read and dropped. Nothing reads
//   their keys, and reading them under another kind of node would put light keys on a
//   mesh or a camera that happens to share the light's name.
// - A second header in an object node resolves among the objects again (the kind of the
//   node decides both the array searched and the array written), so object keys never go
//   to the object at the index of a camera.
#include <cstdint>
#include <cstdio>

#include "scene/loader.h"
#include "scene/loader_internal.h"

namespace {

// Size of a track header, and of a key header without its optional values.
constexpr int64_t kTrackHeaderSize = 14;
constexpr int64_t kKeyHeaderSize = 6;

// Walks a node's sub-chunks under `kind`, unresolved until its header is read, and leaves
// no node current afterwards.
int32_t ReadNode(FILE* stream, int32_t chunkEnd, int32_t kind) {
    LoaderState& s = loaderState;
    s.nodeKind = kind;
    s.nodeIndex = -1;
    const int32_t result = ParseChunks(stream, chunkEnd);
    s.nodeKind = NodeNone;
    s.nodeIndex = -1;
    return result;
}

// Reads the 14-byte track header: flags and 8 bytes dropped, then a 32-bit key count of
// which only the lower 16 bits count.
int32_t ReadTrackHeader(FILE* stream, int32_t chunkEnd, uint16_t* keyCount) {
    unsigned char bytes[kTrackHeaderSize];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, "the track header needs") != 0) {
        return -1;
    }
    *keyCount = GetU16(bytes + 10);
    return 0;
}

int32_t FailKey(uint32_t key, int64_t need, int32_t chunkEnd) {
    return LoadFail("key %u needs %lld more bytes, %lld left in the %s", key,
                    static_cast<long long>(need), static_cast<long long>(BytesLeft(chunkEnd)),
                    LimitName());
}

// Reads one key header: the lower 16 bits of its 32-bit frame number, the upper half
// dropped, a flags word, and one 4-byte value (dropped) for each of flag bits 0, 1 and 2.
int32_t ReadKeyHeader(FILE* stream, int32_t chunkEnd, uint32_t key, uint16_t* frame) {
    unsigned char bytes[kKeyHeaderSize];
    if (BytesLeft(chunkEnd) < kKeyHeaderSize) return FailKey(key, kKeyHeaderSize, chunkEnd);
    if (ReadBytes(stream, bytes, sizeof bytes) != 0) return -1;
    *frame = GetU16(bytes);
    const uint16_t flags = GetU16(bytes + 4);
    const int64_t extra = 4 * ((flags & 1) + ((flags >> 1) & 1) + ((flags >> 2) & 1));
    if (BytesLeft(chunkEnd) < extra) return FailKey(key, extra, chunkEnd);
    return SkipBytes(stream, extra);
}

// Where a track's keys go: a count and one array per stored value, the frame numbers
// first. `source[c]` is the index, in the key's payload, of the float stored in column c
// (the axis exchange puts file z in engine y).
struct TrackDestination {
    int32_t* count = nullptr;
    float** columns[5] = {};
};

// Reads a track of keys carrying `payloadFloats` floats each (3 or 4) and stores them on
// `destination` when it has a count. The key count is checked against the smallest size
// its keys can have before anything is allocated.
int32_t ReadTrack(FILE* stream, int32_t chunkEnd, int32_t payloadFloats, const int32_t* source,
                  const TrackDestination& destination) {
    uint16_t keyCount = 0;
    if (ReadTrackHeader(stream, chunkEnd, &keyCount) != 0) return -1;
    const int64_t payloadSize = 4 * int64_t{payloadFloats};
    char subject[64];
    std::snprintf(subject, sizeof subject, "%u keys need at least", keyCount);
    if (NeedBytes(chunkEnd, keyCount * (kKeyHeaderSize + payloadSize), subject) != 0) return -1;

    const int32_t columnCount = payloadFloats + 1;
    float* columns[5] = {};
    if (destination.count != nullptr) {
        for (int32_t c = 0; c < columnCount; ++c) {
            columns[c] = ArenaAllocateArray<float>(loaderState.scene->arena, keyCount);
            if (columns[c] == nullptr) return LoadFail("out of memory for %u keys", keyCount);
        }
        *destination.count = keyCount;
        for (int32_t c = 0; c < columnCount; ++c)
            *destination.columns[c] = columns[c];
    }
    for (uint32_t k = 0; k < keyCount; ++k) {
        uint16_t frame = 0;
        if (ReadKeyHeader(stream, chunkEnd, k, &frame) != 0) return -1;
        unsigned char payload[16];
        if (BytesLeft(chunkEnd) < payloadSize) return FailKey(k, payloadSize, chunkEnd);
        if (ReadBytes(stream, payload, static_cast<size_t>(payloadSize)) != 0) return -1;
        if (destination.count == nullptr) continue;
        columns[0][k] = static_cast<float>(frame);
        for (int32_t c = 1; c < columnCount; ++c)
            columns[c][k] = GetFloat(payload + 4 * source[c]);
    }
    return 0;
}

// The object or camera of the current node, in the fill pass, when the node resolved to
// a record inside the array that its kind selects.
MeshObject* NodeObjectRecord() {
    const LoaderState& s = loaderState;
    if (s.countingPass || s.nodeKind != NodeObject) return nullptr;
    if (s.nodeIndex < 0 || s.nodeIndex >= s.scene->objectCount) return nullptr;
    return &s.scene->objects[s.nodeIndex];
}

Camera* NodeCameraRecord() {
    const LoaderState& s = loaderState;
    if (s.countingPass || (s.nodeKind != NodeCamera && s.nodeKind != NodeTarget)) return nullptr;
    if (s.nodeIndex < 0 || s.nodeIndex >= s.scene->cameraCount) return nullptr;
    return &s.scene->cameras[s.nodeIndex];
}

}  // namespace

// 0xB002, 0xB003, 0xB004: object, camera and camera target nodes.
int32_t ReadObjectNode(FILE* stream, int32_t chunkEnd) {
    return ReadNode(stream, chunkEnd, NodeObjectPending);
}

int32_t ReadCameraNode(FILE* stream, int32_t chunkEnd) {
    return ReadNode(stream, chunkEnd, NodeCamera);
}

int32_t ReadTargetNode(FILE* stream, int32_t chunkEnd) {
    return ReadNode(stream, chunkEnd, NodeTarget);
}

// 0xB001, 0xB005, 0xB006, 0xB007: ambient and light nodes, whose keys are not kept.
int32_t ReadOtherNode(FILE* stream, int32_t chunkEnd) {
    return ReadNode(stream, chunkEnd, NodeNone);
}

// 0xB008: first and last frame of the segment, in both passes.
int32_t ReadSegment(FILE* stream, int32_t chunkEnd) {
    unsigned char bytes[8];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, "the segment needs") != 0) return -1;
    loaderState.scene->segmentStart = GetU32(bytes);
    loaderState.scene->segmentEnd = GetU32(bytes + 4);
    return 0;
}

// 0xB030: the node id that the next object node header records, in both passes.
int32_t ReadNodeId(FILE* stream, int32_t chunkEnd) {
    uint16_t id = 0;
    if (ReadU16(stream, chunkEnd, &id, "the node id needs") != 0) return -1;
    loaderState.currentNodeId = id;
    return 0;
}

// 0xB010: the node's name, 4 flag bytes (dropped) and the parent id. In the fill pass an
// object node resolves among the objects and records its node id and parent id on the
// object found; camera and target nodes resolve among the cameras.
int32_t ReadNodeHeader(FILE* stream, int32_t chunkEnd) {
    LoaderState& s = loaderState;
    if (ReadName(stream, chunkEnd, s.nodeName)) {
        return LoadFail("the node name runs into the end of the %s", LimitName());
    }
    unsigned char bytes[6];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, "the node header needs") != 0) return -1;
    const int32_t parentId = GetU16(bytes + 4);
    if (s.countingPass) return 0;
    switch (s.nodeKind) {
        case NodeObjectPending:
        case NodeObject:
            s.nodeIndex = FindObjectByName(s.nodeName);
            if (s.nodeIndex >= 0) RecordObjectNode(s.nodeIndex, s.currentNodeId, parentId);
            s.nodeKind = NodeObject;
            break;
        case NodeCamera:
        case NodeTarget:
            s.nodeIndex = FindCameraByName(s.nodeName);
            break;
        default:
            s.nodeIndex = -1;
            break;
    }
    return 0;
}

// 0xB013: three values, dropped.
int32_t SkipPivot(FILE* stream, int32_t chunkEnd) {
    SkipAtMost(stream, chunkEnd, 12);
    return 0;
}

// 0xB020: keys of (x, y, z), stored as frame, x, z, y on the object's position keys, the
// camera's position keys or the camera's target keys, by the kind of node.
int32_t ReadPositionTrack(FILE* stream, int32_t chunkEnd) {
    static const int32_t source[4] = {0, 0, 2, 1};
    TrackDestination destination;
    if (MeshObject* object = NodeObjectRecord()) {
        destination = {&object->positionKeyCount,
                       {&object->positionKeyFrames, &object->positionKeyX, &object->positionKeyY,
                        &object->positionKeyZ}};
    } else if (Camera* camera = NodeCameraRecord()) {
        if (loaderState.nodeKind == NodeCamera) {
            destination = {&camera->positionKeyCount,
                           {&camera->positionKeyFrames, &camera->positionKeyX,
                            &camera->positionKeyY, &camera->positionKeyZ}};
        } else {
            destination = {&camera->targetKeyCount,
                           {&camera->targetKeyFrames, &camera->targetKeyX, &camera->targetKeyY,
                            &camera->targetKeyZ}};
        }
    }
    return ReadTrack(stream, chunkEnd, 3, source, destination);
}

// 0xB021: keys of (angle, axis x, y, z), stored as frame, angle, x, z, y on the object's
// rotation keys. Camera and target nodes keep no rotation.
int32_t ReadRotationTrack(FILE* stream, int32_t chunkEnd) {
    static const int32_t source[5] = {0, 0, 1, 3, 2};
    TrackDestination destination;
    if (MeshObject* object = NodeObjectRecord()) {
        destination = {
            &object->rotationKeyCount,
            {&object->rotationKeyFrames, &object->rotationKeyAngle, &object->rotationKeyAxisX,
             &object->rotationKeyAxisY, &object->rotationKeyAxisZ}};
    }
    return ReadTrack(stream, chunkEnd, 4, source, destination);
}

// 0xB022 to 0xB025: tracks whose keys are not kept; the walker's seek to the chunk's end
// passes them.
int32_t SkipScalarTrack(FILE*, int32_t) {
    return 0;
}
int32_t SkipVectorTrack(FILE*, int32_t) {
    return 0;
}
