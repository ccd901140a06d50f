// Loading a .3ds chunk file into a Scene: the chunk walker, its dispatch table and the
// two-pass load driver.
//
// The file is walked twice with the same handlers: a counting pass that only counts the
// records of each kind, and a fill pass that fills the records allocated from those counts.
// Every count and index read from the file is checked against the bytes left in its chunk
// and in the file, or against the array it addresses, before it is used; a failure is
// recorded in LastLoadError where it is found and ends the load with no scene.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "scene/records.h"

// Why the last LoadScene failed: the file offset and chunk id where the load stopped and
// one line of reason, printable ASCII only: names and paths in it stand quoted, their
// control and non-ASCII bytes escaped (see printable.h), so it can be shown as it is.
// `message` is empty after a successful load.
struct LoadError {
    int64_t offset = 0;
    uint16_t chunkId = 0;
    std::string message;
};

// Loads the scene file at `path`; nullptr on any failure (see LastLoadError). The caller
// owns the result and releases it with FreeScene. Not reentrant.
Scene* LoadScene(const char* path);

// Loads the scene held by `stream`, an open seekable stream whose offset 0 is the start of
// the file (a file in memory, for one): both passes walk it from there. `name` stands for the
// file in the reasons of failures. The stream stays open and is the caller's; its position
// afterwards is unspecified. Otherwise as LoadScene.
Scene* LoadSceneFromStream(FILE* stream, const char* name);

// The longest file the loader reads: chunk offsets are signed 32-bit.
inline constexpr int64_t kMaxSceneFileBytes = 2147483647;

// The first bytes of the file that the last load read: up to 16, fewer when the file is
// shorter; none when it could not be opened or read.
struct FileHead {
    unsigned char bytes[16] = {};
    int32_t count = 0;
};
const FileHead& LastFileHead();

// True when `head` starts with the main chunk's id (0x4D4D), as every 3DS file does. A file
// that does not (a text file, a picture, an empty file) still loads, as a scene with
// nothing in it, because the walk skips every chunk id it does not know; callers use this to
// say that the file is not a 3DS file.
bool StartsWithMainChunk(const FileHead& head);

// The reason the most recent LoadScene failed.
const LoadError& LastLoadError();

// Limits a caller puts on every load from now on (like the observer, kept across loads).
struct LoadLimits {
    // False: faces are read and every corner checked as usual, and each mesh keeps its
    // faceCount, but no Face is kept (faces stays null) and no face plane or vertex normal
    // is derived. For reports, which count faces and never draw them.
    bool keepFaces = true;
    // A file whose meshes hold more faces in all fails before any record is allocated;
    // below 0, no limit. For the viewer and --output, which cannot draw more in a frame.
    int64_t maxFaces = -1;
    // Words added, in parentheses, to the reason of a load that maxFaces stopped (how the
    // program lets it be raised); may be null.
    const char* maxFacesHint = nullptr;
};
void SetLoadLimits(const LoadLimits& limits);
const LoadLimits& CurrentLoadLimits();

// What the counting pass of the most recent load found: the vertices and faces of every
// list that an open mesh gets (zero until a counting pass has run).
struct LoadTotals {
    int64_t vertices = 0;
    int64_t faces = 0;
};
const LoadTotals& LastLoadTotals();

// A chunk handler: called with the stream just after the chunk's 6-byte header and the
// offset where the chunk ends (never past the end of the chunk that holds it, nor past the
// end of the file). Returns 0, or -1 after recording why in LastLoadError.
using ChunkHandler = int32_t (*)(FILE* stream, int32_t chunkEnd);

// One row of ChunkTable: a chunk id, whether the walker descends into the chunk's payload
// as a sequence of chunks, the handler (or nullptr) and a few words on the chunk's role
// (empty when the chunk has no known role) for tools that print the chunk tree.
struct ChunkRow {
    uint16_t id;
    int32_t hasChildren;
    ChunkHandler handler;
    const char* role;
};

inline constexpr int32_t kChunkTableRows = 90;
extern const ChunkRow ChunkTable[kChunkTableRows];

// The row of ChunkTable with this id, or -1.
int32_t FindChunkRow(uint16_t id);

// A chunk header as the walker reads it, before it is checked: the nesting depth (1 for
// top-level chunks), id, header offset, length as stored, the ChunkTable row (-1 for an
// unknown id), and the pass (1 counting, 2 filling: each chunk is met once in each pass
// that reaches it).
struct ChunkSeen {
    int32_t depth;
    uint16_t id;
    int64_t offset;
    uint32_t length;
    int32_t row;
    int32_t pass;
};
using ChunkObserver = void (*)(const ChunkSeen& chunk, void* user);

// Makes every load from now on call observer(chunk, user) for each chunk header its walks
// read, in file order, until it is set again (null: none). For tools that print the chunk
// tree as the walker sees it (the first pass meets every chunk a load reaches, and the
// header where it fails) and for tests.
void SetChunkObserver(ChunkObserver observer, void* user);

// Kinds of the keyframer node being read (LoaderState::nodeKind).
inline constexpr int32_t NodeObjectPending = 0;  // object node before its header
inline constexpr int32_t NodeTarget = 2;         // camera target node
inline constexpr int32_t NodeCamera = 3;         // camera node
inline constexpr int32_t NodeObject = 4;         // object node after its header
inline constexpr int32_t NodeNone = 5;           // outside any node, or a node whose tracks we drop

// Chunks nested deeper than this fail the load (top-level chunks are depth 1).
inline constexpr int32_t kMaxChunkDepth = 64;

// Records of one kind by name, for the lookups: an open-addressing table of record indices
// (-1 in an empty slot) holding each name once, with the first record opened under it. Its
// size is a power of two at least twice the count of records, so a lookup costs the same
// however many records the file holds (a linear search would make a load with many names
// and many lookups take time that grows with the square of the file's length). Names are
// hashed with a key secret to the process, so that a file cannot hold names that collide.
struct NameIndex {
    int32_t* slots = nullptr;  // malloc; released by ResetLoaderState and by a failed load
    uint32_t size = 0;         // 0 when the kind has no records
};

// All state of one load, shared by LoadScene, the walker and the chunk handlers.
struct LoaderState {
    Scene* scene = nullptr;     // the scene being loaded; after a good load the returned one
    int32_t countingPass = 0;   // 1 during the counting pass, 0 during the fill pass
    char currentName[64] = {};  // most recent object or material name, at most 63 characters
    MeshObject* currentObject = nullptr;  // record most recently opened of each kind in
    Light* currentLight = nullptr;        // the fill pass; null until the first one opens
    Camera* currentCamera = nullptr;
    Material* currentMaterial = nullptr;  // named in the material chunk being walked (fill
    int64_t materialEnd = 0;              // pass), valid up to that chunk's end
    // parentChunkStart of the last chunk under which a linear colour was stored (it wins
    // over a gamma colour there).
    int64_t linearColorParent = -1;
    int32_t nextObject = 0;  // index of the next record of each kind to open (fill pass)
    int32_t nextLight = 0;
    int32_t nextCamera = 0;
    int32_t nextMaterial = 0;
    int32_t nodeKind = NodeNone;  // one of the Node* kinds above
    int32_t nodeIndex = -1;       // record the current node resolved to, -1 when none
    int32_t currentNodeId = 0;    // id of the most recent node-id chunk
    char nodeName[64] = {};       // name of the most recent node header
    NameIndex objectNames;        // records opened so far in the fill pass, by name; kept
    NameIndex cameraNames;        // after a good load for lookups into its scene
    NameIndex lightNames;
    NameIndex materialNames;

    // Keyframer nodes: the next KeyframerNode to open and the one being read (fill pass).
    int32_t nextNode = 0;
    KeyframerNode* currentNode = nullptr;

    // Walk bookkeeping.
    int64_t fileLength = 0;  // measured once, before the counting pass
    int64_t position = 0;    // the stream's offset, kept by every read and seek
    int32_t depth = 0;       // nesting depth of the chunks being walked
    uint16_t chunkId = 0;    // chunk whose handler is running, for error reports
    int64_t chunkStart = 0;
    int64_t chunkClaimedEnd = 0;       // its end as its header gives it
    uint16_t parentChunkId = 0;        // the chunk that holds it (whose children are being
    int64_t parentChunkStart = -1;     // walked): its id and header offset; 0 and -1 at the top
    unsigned char* scratch = nullptr;  // one array payload at a time (malloc, freed by
    size_t scratchSize = 0;            // ResetLoaderState and at the end of each load)
    LoadError error;
    FileHead head;                     // the file's first bytes, read by the counting pass
    LoadTotals totals;                 // counted by the counting pass
    ChunkObserver observer = nullptr;  // kept across loads; see SetChunkObserver
    void* observerUser = nullptr;
    LoadLimits limits;  // kept across loads; see LoadLimits
};

extern LoaderState loaderState;

// Clears every field of loaderState except the observer and the limits, and releases the
// scratch memory and the name indexes. LoadScene calls it at its start.
void ResetLoaderState();

// Walks the chunks from the stream's position up to `end` (an offset not past the end of
// the file): each chunk's handler runs, its children are walked when its row says so, and
// the stream is then set to the chunk's end. Returns 0, or -1 after recording the reason.
// Relies on the state that LoadScene sets up (file length, position, pass). Below the top
// level the chunks walked are children of the chunk whose handler runs (chunkId and
// chunkStart): while they are walked, parentChunkId and parentChunkStart name it, and
// afterwards they name its own parent again.
int32_t ParseChunks(FILE* stream, int32_t end);

// Index of the first record of that kind in loaderState.scene whose name equals `name`
// byte for byte, or -1. Records not yet opened in the fill pass have no name. Each looks the
// name up in the kind's NameIndex.
int32_t FindObjectByName(const char* name);
int32_t FindCameraByName(const char* name);
int32_t FindLightByName(const char* name);
int32_t FindMaterialByName(const char* name);

// Sets nodeId and parentId of objects[index]; index comes from FindObjectByName. Returns 0.
int32_t RecordObjectNode(int32_t index, int32_t nodeId, int32_t parentId);
