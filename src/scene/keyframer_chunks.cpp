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
// - Ambient, light, light-target and spotlight nodes (ReadOtherNode) keep nothing on the
//   MeshObject and Camera records: their headers resolve to none of them and their tracks
//   go to their KeyframerNode only. Storing them under another kind of node would put
//   light keys on a mesh or a camera that happens to share the light's name.
// - A second header in an object node resolves among the objects again (the kind of the
//   node decides both the array searched and the array written), so object keys never go
//   to the object at the index of a camera.
//
// Beside those records, every node of every kind gets a KeyframerNode in file order with
// its id, parent, header flags, name, instance name, pivot and all its tracks (position,
// rotation, scale, field of view, roll, hide) with each key's full frame number and spline
// parameters: what animation needs. A node's tracks go to its own KeyframerNode whether or
// not its name resolves. The instance name, pivot and tracks live in the node's extras,
// allocated with the first chunk that brings one, and each track in a record of its own:
// what a node costs stays in proportion to the chunks it has.
//
// Key headers: flag bits 0 to 4 each announce one 4-byte spline value (tension, continuity,
// bias, ease to, ease from). Files read by this loader's first version were taken to carry
// values for bits 0 to 2 only, and some do. A track is read the second way (values for
// bits 0 to 4) only when that way its keys end exactly at the chunk's end and the first
// way they do not, or the first way runs out of bytes and the second does not; otherwise
// the first way, so every track that loaded before reads as before.
//
// The scale, field-of-view, roll and hide tracks and the instance name were once skipped
// whole; a malformed one is still no failure: it is dropped and the load goes on.
#include <cstdint>
#include <cstdio>

#include "scene/loader.h"
#include "scene/loader_internal.h"

namespace {

// Size of a track header, and of a key header without its optional values.
constexpr int64_t kTrackHeaderSize = 14;
constexpr int64_t kKeyHeaderSize = 6;

// Flag bits of a key header that announce a 4-byte value: the first version's reading and
// the full one (see the top of this file).
constexpr uint16_t kNarrowValueBits = 0x0007;
constexpr uint16_t kWideValueBits = 0x001F;

// Opens the KeyframerNode of a node tag: counted in the counting pass, taken in order in
// the fill pass. Returns 0, or -1 when the fill pass meets more nodes than were counted.
int32_t OpenNode(uint16_t tag) {
    LoaderState& s = loaderState;
    Scene* scene = s.scene;
    s.currentNode = nullptr;
    if (s.countingPass) {
        ++scene->nodeCount;
        return 0;
    }
    if (s.nextNode >= scene->nodeCount) {
        return LoadFail(
            "more keyframer nodes than the first pass counted: the file changed "
            "while loading");
    }
    KeyframerNode& node = scene->nodes[s.nextNode];
    node.kind = tag;
    node.nodeId = s.nextNode;
    node.parentId = 0xFFFF;
    node.recordIndex = -1;
    ++s.nextNode;
    s.currentNode = &node;
    return 0;
}

// Walks a node's sub-chunks under `kind`, unresolved until its header is read, and leaves
// no node current afterwards.
int32_t ReadNode(FILE* stream, int32_t chunkEnd, int32_t kind) {
    LoaderState& s = loaderState;
    if (OpenNode(s.chunkId) != 0) return -1;
    s.nodeKind = kind;
    s.nodeIndex = -1;
    const int32_t result = ParseChunks(stream, chunkEnd);
    s.nodeKind = NodeNone;
    s.nodeIndex = -1;
    s.currentNode = nullptr;
    return result;
}

// The node being read, in the fill pass.
KeyframerNode* CurrentNode() {
    return loaderState.countingPass ? nullptr : loaderState.currentNode;
}

// The node's extras, allocated (empty) the first time; nullptr (recorded) when out of memory.
KeyframerNodeExtras* WritableExtras(KeyframerNode& node) {
    if (node.extras != nullptr) return node.extras;
    auto* extras = ArenaAllocateArray<KeyframerNodeExtras>(loaderState.scene->arena, 1);
    if (extras == nullptr) {
        LoadFail("out of memory for a keyframer node");
        return nullptr;
    }
    *extras = KeyframerNodeExtras{};
    node.extras = extras;
    return extras;
}

// Where a walk over keys stopped: after `end` bytes when every key fitted, else at key
// `key`, which needed `need` more bytes where `left` were left.
struct KeyWalk {
    bool fits;
    int64_t end;
    uint32_t key;
    int64_t need;
    int64_t left;
};

// Walks `count` keys of `payloadSize` bytes each in `bytes`, reading each key header's flags
// and taking 4 bytes for every bit of `valueBits` that is set.
KeyWalk WalkKeys(const unsigned char* bytes, int64_t length, uint32_t count, int64_t payloadSize,
                 uint16_t valueBits) {
    int64_t pos = 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (length - pos < kKeyHeaderSize) return {false, pos, k, kKeyHeaderSize, length - pos};
        const uint16_t flags = GetU16(bytes + pos + 4);
        pos += kKeyHeaderSize;
        int64_t extra = 0;
        for (int bit = 0; bit < 5; ++bit)
            extra += (flags & valueBits & (1u << bit)) != 0 ? 4 : 0;
        if (length - pos < extra) return {false, pos, k, extra, length - pos};
        pos += extra;
        if (length - pos < payloadSize) return {false, pos, k, payloadSize, length - pos};
        pos += payloadSize;
    }
    return {true, pos, count, 0, 0};
}

// A track's keys, read whole and checked: `keyCount` keys from `bytes`, whose headers
// announce values for the flag bits of `valueBits`.
struct TrackKeys {
    uint16_t flags = 0;
    uint16_t keyCount = 0;
    const unsigned char* bytes = nullptr;
    uint16_t valueBits = kNarrowValueBits;
};

// Reads a track header and its keys into the scratch memory, choosing how key headers are
// read (see the top of this file). The key count is checked against the smallest size its
// keys can have before anything is read for them. Returns 0, or -1 after recording why; a
// `lenient` track that does not fit returns 1 instead (dropped, nothing recorded).
int32_t ReadTrackKeys(FILE* stream, int32_t chunkEnd, int64_t payloadSize, bool lenient,
                      TrackKeys* keys) {
    if (lenient && BytesLeft(chunkEnd) < kTrackHeaderSize) return 1;
    unsigned char header[kTrackHeaderSize];
    if (ReadFixed(stream, chunkEnd, header, sizeof header, "the track header needs") != 0) {
        return -1;
    }
    keys->flags = GetU16(header);
    keys->keyCount = GetU16(header + 10);  // the lower half of a 32-bit count
    const uint16_t keyCount = keys->keyCount;
    const int64_t least = keyCount * (kKeyHeaderSize + payloadSize);
    if (lenient && least > BytesLeft(chunkEnd)) return 1;
    char subject[64];
    std::snprintf(subject, sizeof subject, "%u keys need at least", keyCount);
    if (NeedBytes(chunkEnd, least, subject) != 0) return -1;

    const int64_t length = BytesLeft(chunkEnd);
    // No key reaches past keyCount of the largest keys (all five values announced), so the
    // bytes beyond are never read into memory; what follows only compares their end.
    const int64_t largest = keyCount * (kKeyHeaderSize + 20 + payloadSize);
    const int64_t readable = length < largest ? length : largest;
    const unsigned char* bytes = ReadToScratch(stream, static_cast<size_t>(readable));
    if (bytes == nullptr) return -1;
    const KeyWalk narrow = WalkKeys(bytes, readable, keyCount, payloadSize, kNarrowValueBits);
    const KeyWalk wide = WalkKeys(bytes, readable, keyCount, payloadSize, kWideValueBits);
    const bool narrowExact = narrow.fits && narrow.end == length;
    const bool wideExact = wide.fits && wide.end == length;
    const bool useWide = (wideExact && !narrowExact) || (!narrow.fits && wide.fits);
    if (!useWide && !narrow.fits) {
        if (lenient) return 1;
        return LoadFail("key %u needs %lld more bytes, %lld left in the %s", narrow.key,
                        static_cast<long long>(narrow.need), static_cast<long long>(narrow.left),
                        LimitName());
    }
    keys->bytes = bytes;
    keys->valueBits = useWide ? kWideValueBits : kNarrowValueBits;
    return 0;
}

// Values per key of each kind of node track.
int32_t TrackComponents(uint16_t kind) {
    switch (kind) {
        case NodeRotationTrack:
            return 4;
        case NodePositionTrack:
        case NodeScaleTrack:
            return 3;
        case NodeFovTrack:
        case NodeRollTrack:
            return 1;
        default:
            return 0;
    }
}

// A new track of `kind` for `keyCount` keys, put first in the node's list (so it is the
// one NodeTrack finds: the last of its kind wins); nullptr (recorded) when out of memory.
// A track without keys has no arrays.
KeyTrack* AddNodeTrack(KeyframerNode& node, uint16_t kind, uint16_t keyCount, uint16_t flags) {
    KeyframerNodeExtras* extras = WritableExtras(node);
    if (extras == nullptr) return nullptr;
    SceneArena& arena = loaderState.scene->arena;
    KeyTrack* track = ArenaAllocateArray<KeyTrack>(arena, 1);
    if (track == nullptr) {
        LoadFail("out of memory for %u keys", keyCount);
        return nullptr;
    }
    *track = KeyTrack{};
    track->kind = kind;
    track->components = TrackComponents(kind);
    track->flags = flags;
    if (keyCount > 0) {
        track->frames = ArenaAllocateArray<uint32_t>(arena, keyCount);
        track->values = ArenaAllocateArray<float>(
            arena, static_cast<size_t>(keyCount) * static_cast<size_t>(track->components));
        track->splines = ArenaAllocateArray<KeySpline>(arena, keyCount);
        if (track->frames == nullptr || track->values == nullptr || track->splines == nullptr) {
            LoadFail("out of memory for %u keys", keyCount);
            return nullptr;
        }
    }
    track->keyCount = keyCount;
    track->next = extras->tracks;
    extras->tracks = track;
    return track;
}

// Where a track's keys go. `columns` (with `count`): the first key frames (16 bits, as
// floats) and the values of a MeshObject or Camera track; `order[c]` is the index, in a key's
// payload, of the value stored in column c + 1 and in component c of the node's track (the
// axis exchange puts file z in engine y). `node`: the KeyframerNode that gets a track of
// `kind`, or null.
struct TrackDestination {
    int32_t* count = nullptr;
    float** columns[5] = {};
    KeyframerNode* node = nullptr;
    uint16_t kind = 0;
};

// Stores the keys read by ReadTrackKeys on `destination` (fill pass only).
int32_t StoreKeys(const TrackKeys& keys, int32_t payloadFloats, const int32_t* order,
                  const TrackDestination& destination) {
    const uint16_t keyCount = keys.keyCount;
    float* columns[5] = {};
    const int32_t columnCount = payloadFloats + 1;
    if (destination.count != nullptr) {
        for (int32_t c = 0; c < columnCount; ++c) {
            columns[c] = ArenaAllocateArray<float>(loaderState.scene->arena, keyCount);
            if (columns[c] == nullptr) return LoadFail("out of memory for %u keys", keyCount);
        }
        *destination.count = keyCount;
        for (int32_t c = 0; c < columnCount; ++c)
            *destination.columns[c] = columns[c];
    }
    KeyTrack* track = nullptr;
    if (destination.node != nullptr) {
        track = AddNodeTrack(*destination.node, destination.kind, keyCount, keys.flags);
        if (track == nullptr) return -1;
    }

    const unsigned char* p = keys.bytes;
    for (uint32_t k = 0; k < keyCount; ++k) {
        const uint32_t frame = GetU32(p);
        const uint16_t flags = GetU16(p + 4);
        p += kKeyHeaderSize;
        float spline[5] = {};
        for (int bit = 0; bit < 5; ++bit) {
            if ((flags & keys.valueBits & (1u << bit)) == 0) continue;
            spline[bit] = GetFloat(p);
            p += 4;
        }
        if (destination.count != nullptr) {
            columns[0][k] = static_cast<float>(frame & 0xFFFF);
            for (int32_t c = 1; c < columnCount; ++c)
                columns[c][k] = GetFloat(p + 4 * order[c - 1]);
        }
        if (track != nullptr) {
            track->frames[k] = frame;
            for (int32_t c = 0; c < track->components; ++c)
                track->values[k * track->components + c] = GetFloat(p + 4 * order[c]);
            track->splines[k] = {spline[0], spline[1], spline[2], spline[3], spline[4], flags};
        }
        p += 4 * payloadFloats;
    }
    return 0;
}

// Reads a track of keys carrying `payloadFloats` floats each and stores them on
// `destination`. A `lenient` track that does not fit is dropped.
int32_t ReadTrack(FILE* stream, int32_t chunkEnd, int32_t payloadFloats, const int32_t* order,
                  const TrackDestination& destination, bool lenient) {
    TrackKeys keys;
    const int32_t read =
        ReadTrackKeys(stream, chunkEnd, 4 * int64_t{payloadFloats}, lenient, &keys);
    if (read != 0) return read < 0 ? -1 : 0;
    if (destination.count == nullptr && destination.node == nullptr) return 0;
    return StoreKeys(keys, payloadFloats, order, destination);
}

// A track that only the KeyframerNode keeps (scale, field of view, roll, hide), read
// leniently; outside a node it is read and dropped.
int32_t ReadNodeOnlyTrack(FILE* stream, int32_t chunkEnd, uint16_t kind, int32_t payloadFloats,
                          const int32_t* order) {
    TrackDestination destination;
    destination.node = CurrentNode();
    destination.kind = kind;
    return ReadTrack(stream, chunkEnd, payloadFloats, order, destination, true);
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

// 0xB001, 0xB005, 0xB006, 0xB007: ambient and light nodes, whose keys go to their
// KeyframerNode only.
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

// 0xB030: the node id that the next object node header records, in both passes; also the
// id of the node being read.
int32_t ReadNodeId(FILE* stream, int32_t chunkEnd) {
    uint16_t id = 0;
    if (ReadU16(stream, chunkEnd, &id, "the node id needs") != 0) return -1;
    loaderState.currentNodeId = id;
    if (KeyframerNode* node = CurrentNode()) node->nodeId = id;
    return 0;
}

// 0xB010: the node's name, two flag words and the parent id. In the fill pass an object
// node resolves among the objects and records its node id and parent id on the object
// found; camera and target nodes resolve among the cameras. The KeyframerNode being read
// keeps all of it, and light nodes resolve among the lights for it alone.
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
    KeyframerNode* node = CurrentNode();
    if (node == nullptr) return 0;
    node->name = ArenaCopyName(s.scene->arena, s.nodeName);
    if (node->name == nullptr) return LoadFail("out of memory for the name \"%s\"", s.nodeName);
    node->flags1 = GetU16(bytes);
    node->flags2 = GetU16(bytes + 2);
    node->parentId = parentId;
    switch (node->kind) {
        case KeyframerLightNode:
        case KeyframerLightTargetNode:
        case KeyframerSpotlightNode:
            node->recordIndex = FindLightByName(s.nodeName);
            break;
        case KeyframerAmbientNode:
            node->recordIndex = -1;
            break;
        default:
            node->recordIndex = s.nodeIndex;
            break;
    }
    return 0;
}

// 0xB011: the node's instance name (the name of this copy of its object). Never fails: a
// name cut short is kept as read; outside a node it is read and dropped.
int32_t ReadInstanceName(FILE* stream, int32_t chunkEnd) {
    char name[64];
    ReadName(stream, chunkEnd, name);
    KeyframerNode* node = CurrentNode();
    if (node == nullptr) return 0;
    KeyframerNodeExtras* extras = WritableExtras(*node);
    if (extras == nullptr) return -1;
    extras->instanceName = ArenaCopyName(loaderState.scene->arena, name);
    if (extras->instanceName == nullptr) {
        return LoadFail("out of memory for the name \"%s\"", name);
    }
    return 0;
}

// 0xB013: the node's pivot (file x, y, z stored as x, z, y). Fewer than 12 bytes are
// dropped and no failure.
int32_t ReadPivot(FILE* stream, int32_t chunkEnd) {
    if (BytesLeft(chunkEnd) < 12) {
        SkipAtMost(stream, chunkEnd, 12);
        return 0;
    }
    unsigned char bytes[12];
    if (ReadBytes(stream, bytes, sizeof bytes) != 0) return -1;
    if (KeyframerNode* node = CurrentNode()) {
        KeyframerNodeExtras* extras = WritableExtras(*node);
        if (extras == nullptr) return -1;
        extras->hasPivot = 1;
        extras->pivot[0] = GetFloat(bytes);
        extras->pivot[1] = GetFloat(bytes + 8);
        extras->pivot[2] = GetFloat(bytes + 4);
    }
    return 0;
}

// 0xB020: keys of (x, y, z), stored as frame, x, z, y on the object's position keys, the
// camera's position keys or the camera's target keys, by the kind of node, and on the
// node's own position track.
int32_t ReadPositionTrack(FILE* stream, int32_t chunkEnd) {
    static const int32_t order[3] = {0, 2, 1};
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
    destination.node = CurrentNode();
    destination.kind = NodePositionTrack;
    return ReadTrack(stream, chunkEnd, 3, order, destination, false);
}

// 0xB021: keys of (angle, axis x, y, z), stored as frame, angle, x, z, y on the object's
// rotation keys and on the node's own rotation track. Camera and target nodes keep no
// rotation on their Camera.
int32_t ReadRotationTrack(FILE* stream, int32_t chunkEnd) {
    static const int32_t order[4] = {0, 1, 3, 2};
    TrackDestination destination;
    if (MeshObject* object = NodeObjectRecord()) {
        destination = {
            &object->rotationKeyCount,
            {&object->rotationKeyFrames, &object->rotationKeyAngle, &object->rotationKeyAxisX,
             &object->rotationKeyAxisY, &object->rotationKeyAxisZ}};
    }
    destination.node = CurrentNode();
    destination.kind = NodeRotationTrack;
    return ReadTrack(stream, chunkEnd, 4, order, destination, false);
}

// 0xB022: keys of (x, y, z) scale factors, stored as x, z, y on the node's scale track.
int32_t ReadScaleTrack(FILE* stream, int32_t chunkEnd) {
    static const int32_t order[3] = {0, 2, 1};
    return ReadNodeOnlyTrack(stream, chunkEnd, NodeScaleTrack, 3, order);
}

// 0xB023, 0xB024: keys of one value, the field of view and the roll in degrees.
int32_t ReadFovTrack(FILE* stream, int32_t chunkEnd) {
    static const int32_t order[1] = {0};
    return ReadNodeOnlyTrack(stream, chunkEnd, NodeFovTrack, 1, order);
}

int32_t ReadRollTrack(FILE* stream, int32_t chunkEnd) {
    static const int32_t order[1] = {0};
    return ReadNodeOnlyTrack(stream, chunkEnd, NodeRollTrack, 1, order);
}

// 0xB029: keys without a payload; each one toggles whether the node is shown.
int32_t ReadHideTrack(FILE* stream, int32_t chunkEnd) {
    return ReadNodeOnlyTrack(stream, chunkEnd, NodeHideTrack, 0, nullptr);
}

// 0xB025: a colour track, whose keys are not kept; the walker's seek to the chunk's end
// passes it.
int32_t SkipVectorTrack(FILE*, int32_t) {
    return 0;
}
