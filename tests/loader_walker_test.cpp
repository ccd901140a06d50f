// The chunk walker, its table and the load driver: walking, failing with a reason, and the
// limits on malformed chunk headers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "scene/loader.h"

namespace {

// A mesh with one triangle, enough to be counted.
void WriteTriangle(ChunkWriter& w, const char* name) {
    WriteNamedMesh(w, name, [&] {
        WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
        WriteFaceList(w, {0, 1, 2});
    });
}

TEST(LoadScene, EmptyFileLoadsAnEmptyScene) {
    ScenePtr scene = LoadBytes({});
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(scene->objectCount, 0);
    EXPECT_EQ(scene->cameraCount, 0);
    EXPECT_EQ(scene->lightCount, 0);
    EXPECT_EQ(scene->materialCount, 0);
    EXPECT_EQ(LastLoadError().message, "");
}

TEST(LoadScene, WalksEveryTopLevelChunk) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] { w.Chunk(chunk::Editor, [&] { WriteTriangle(w, "First"); }); });
    w.Chunk(chunk::Main, [&] { w.Chunk(chunk::Editor, [&] { WriteTriangle(w, "Second"); }); });
    ScenePtr scene = LoadBytes(w.bytes);
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->objectCount, 2);
    EXPECT_STREQ(scene->objects[0].name, "First");
    EXPECT_STREQ(scene->objects[1].name, "Second");
    EXPECT_EQ(scene->objects[1].faceCount, 1);
}

// Files that fail, with the exact reason, the offset and the chunk id it names.
struct FailingFile {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string message;
    int64_t offset;
    uint16_t chunkId;
};

std::vector<FailingFile> FailingFiles() {
    std::vector<FailingFile> files;
    {
        ChunkWriter w;
        w.Header(chunk::Main, 0).Fill(10, 0);
        files.push_back({"zero length at the top", w.bytes,
                         "chunk 0x4D4D at offset 0: length 0 is shorter than a chunk header", 0,
                         chunk::Main});
    }
    {
        ChunkWriter w;
        w.Chunk(chunk::Main, [&] {
            WriteTriangle(w, "Box");
            w.Header(0x1234, 0);
        });
        const int64_t at = static_cast<int64_t>(w.bytes.size()) - 6;
        files.push_back({"zero length nested", w.bytes,
                         "chunk 0x1234 at offset " + std::to_string(at) +
                             ": length 0 is shorter than a chunk header",
                         at, 0x1234});
    }
    {
        ChunkWriter w;
        w.Header(chunk::Editor, 5).Fill(10, 0);
        files.push_back({"length below the header", w.bytes,
                         "chunk 0x3D3D at offset 0: length 5 is shorter than a chunk header", 0,
                         chunk::Editor});
    }
    {
        ChunkWriter w;
        w.Chunk(0x0F0F, [&] { w.Fill(4, 0); });
        w.Header(chunk::Main, 0xFFFFFFFFu).Fill(6, 0);
        files.push_back(
            {"end past the largest offset", w.bytes,
             "chunk 0x4D4D at offset 10: length 4294967295 puts the chunk's end past offset "
             "2147483647",
             10, chunk::Main});
    }
    {
        // 40 vertices need 480 bytes; the chunk holds the count and 100 more.
        ChunkWriter w;
        int64_t at = 0;
        w.Chunk(chunk::Main, [&] {
            WriteNamedMesh(w, "Box01", [&] {
                at = static_cast<int64_t>(w.bytes.size());
                w.Chunk(chunk::VertexList, [&] { w.U16(40).Fill(100, 0); });
            });
        });
        files.push_back({"vertex count past its chunk", w.bytes,
                         "chunk 0x4110 at offset " + std::to_string(at) +
                             ": 40 vertices need 480 bytes, 100 left in the chunk",
                         at, chunk::VertexList});
    }
    {
        ChunkWriter w;
        int64_t at = 0;
        w.Chunk(chunk::Main, [&] {
            WriteNamedMesh(w, "Box01", [&] {
                WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                at = static_cast<int64_t>(w.bytes.size());
                WriteFaceList(w, {0, 1, 2, 2, 1, 3});
            });
        });
        files.push_back({"face corner past the vertices", w.bytes,
                         "chunk 0x4120 at offset " + std::to_string(at) +
                             ": face 1 of mesh \"Box01\" names vertex 3 of 3",
                         at, chunk::FaceList});
    }
    {
        // A material name that runs into the end of the file: a handler fails, every
        // enclosing walk returns at once.
        ChunkWriter w;
        w.Begin(chunk::Main).Begin(chunk::Material).Begin(chunk::MaterialName).Chars("Steel");
        w.End().End().End();
        files.push_back({"material name cut by the end of the file", w.bytes,
                         "chunk 0xA000 at offset 12: the material name runs into the end of the "
                         "chunk",
                         12, chunk::MaterialName});
    }
    return files;
}

TEST(LoadScene, FailsWithTheReasonWhereTheFileGoesWrong) {
    for (const FailingFile& file : FailingFiles()) {
        SCOPED_TRACE(file.name);
        ScenePtr scene = LoadBytes(file.bytes);
        EXPECT_EQ(scene, nullptr);
        EXPECT_EQ(LastLoadError().message, file.message);
        EXPECT_EQ(LastLoadError().offset, file.offset);
        EXPECT_EQ(LastLoadError().chunkId, file.chunkId);
        EXPECT_EQ(loaderState.scene, nullptr);
    }
}

// A stream holding the bytes, positioned at their end as a caller might leave it.
FILE* StreamOf(const std::vector<uint8_t>& bytes) {
    FILE* stream = std::tmpfile();
    EXPECT_NE(stream, nullptr);
    if (stream == nullptr) return nullptr;
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), stream), bytes.size());
    return stream;
}

TEST(LoadSceneFromStream, LoadsWhatTheSameFileLoadsAndFailsAlike) {
    ChunkWriter two;
    two.Chunk(chunk::Main, [&] {
        two.Chunk(chunk::Editor, [&] {
            WriteTriangle(two, "Box");
            WriteTriangle(two, "Cone");
        });
    });
    FILE* stream = StreamOf(two.bytes);
    ASSERT_NE(stream, nullptr);
    ScenePtr fromStream(LoadSceneFromStream(stream, "(stdin)"));
    ASSERT_NE(fromStream, nullptr) << LastLoadError().message;
    ScenePtr fromFile = LoadBytes(two.bytes);
    ASSERT_NE(fromFile, nullptr);
    ASSERT_EQ(fromStream->objectCount, 2);
    for (int32_t i = 0; i < 2; ++i) {
        EXPECT_STREQ(fromStream->objects[i].name, fromFile->objects[i].name);
        EXPECT_EQ(fromStream->objects[i].faceCount, fromFile->objects[i].faceCount);
        EXPECT_EQ(fromStream->objects[i].vertices[1].x, fromFile->objects[i].vertices[1].x);
    }
    // The same stream loads again: each load walks it from its start.
    ScenePtr again(LoadSceneFromStream(stream, "(stdin)"));
    EXPECT_NE(again, nullptr);
    std::fclose(stream);

    for (const FailingFile& file : FailingFiles()) {
        SCOPED_TRACE(file.name);
        FILE* failing = StreamOf(file.bytes);
        ASSERT_NE(failing, nullptr);
        EXPECT_EQ(LoadSceneFromStream(failing, "(stdin)"), nullptr);
        EXPECT_EQ(LastLoadError().message, file.message);
        EXPECT_EQ(LastLoadError().offset, file.offset);
        std::fclose(failing);
    }
}

TEST(LoadSceneFromStream, StreamThatCannotSeekFailsWithItsName) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "MM", 2), 2);
    ::close(fds[1]);
    FILE* pipeStream = ::fdopen(fds[0], "rb");
    ASSERT_NE(pipeStream, nullptr);
    EXPECT_EQ(LoadSceneFromStream(pipeStream, "(stdin)"), nullptr);
    EXPECT_EQ(LastLoadError().message.rfind("cannot seek in \"(stdin)\": ", 0), 0u)
        << LastLoadError().message;
    std::fclose(pipeStream);
}

// Files that are not 3DS files load as empty scenes; the first bytes tell them apart.
TEST(LastFileHead, HoldsTheFirstBytesAndTellsAMainChunk) {
    ChunkWriter scene;
    scene.Chunk(chunk::Main, [&] { scene.Empty(chunk::Editor); });
    ChunkWriter editorOnly;
    editorOnly.Empty(chunk::Editor);
    const std::string text = "Notes on the scene, not a scene at all.\n";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool mainChunk;
    };
    const std::vector<Case> cases = {
        {"a scene", scene.bytes, true},
        {"text", std::vector<uint8_t>(text.begin(), text.end()), false},
        {"a picture", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, false},
        {"an editor chunk first", editorOnly.bytes, false},
        {"one byte of the id", {0x4D}, false},
        {"empty", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenePtr loaded = LoadBytes(c.bytes);
        ASSERT_NE(loaded, nullptr) << LastLoadError().message;
        EXPECT_EQ(loaded->objectCount, 0);
        const FileHead& head = LastFileHead();
        const size_t count = std::min<size_t>(c.bytes.size(), sizeof head.bytes);
        ASSERT_EQ(head.count, static_cast<int32_t>(count));
        EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.begin() + static_cast<ptrdiff_t>(count),
                               head.bytes));
        EXPECT_EQ(StartsWithMainChunk(head), c.mainChunk);
    }
    // Nothing read, nothing kept.
    EXPECT_EQ(LoadScene(FixturePath(".missing").c_str()), nullptr);
    EXPECT_EQ(LastFileHead().count, 0);
}

TEST(LoadScene, NoChunkIsReadAfterAFailure) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] { w.Chunk(chunk::Material, [&] { w.Header(0x0000, 0); }); });
        WriteTriangle(w, "Late");
    });
    static int chunksSeen;
    chunksSeen = 0;
    loaderState.observer = [](int32_t, uint16_t, int64_t, uint32_t, int32_t) { ++chunksSeen; };
    ScenePtr scene = LoadBytes(w.bytes);
    loaderState.observer = nullptr;
    EXPECT_EQ(scene, nullptr);
    EXPECT_EQ(chunksSeen, 4);  // main, editor, material, the zero-length chunk
}

TEST(LoadScene, MissingFileFailsWithTheSystemsReason) {
    const std::string path = FixturePath(".missing");
    EXPECT_EQ(LoadScene(path.c_str()), nullptr);
    EXPECT_EQ(LastLoadError().message, "cannot open \"" + path + "\": No such file or directory");
}

TEST(LoadScene, FileRemovedBetweenThePassesFails) {
    const std::string path = FixturePath();
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] { WriteTriangle(w, "Box"); });
    ASSERT_TRUE(WriteBytesToFile(w.bytes, path.c_str()));
    static const std::string* removeOnFirstChunk;
    removeOnFirstChunk = &path;
    loaderState.observer = [](int32_t, uint16_t, int64_t offset, uint32_t, int32_t) {
        if (loaderState.countingPass && offset == 0) std::remove(removeOnFirstChunk->c_str());
    };
    Scene* scene = LoadScene(path.c_str());
    loaderState.observer = nullptr;
    EXPECT_EQ(scene, nullptr);
    EXPECT_EQ(LastLoadError().message,
              "cannot open again \"" + path + "\": No such file or directory");
}

// The file is rewritten while the counting pass walks it (its bytes are already buffered):
// the fill pass meets more records than were counted, or a shorter file, and fails.
TEST(LoadScene, FileChangedBetweenThePassesFails) {
    // The same length, first with an unknown chunk where the rewritten file has a mesh.
    ChunkWriter grown;
    grown.Chunk(chunk::Main, [&] {
        WriteTriangle(grown, "Box");
        WriteTriangle(grown, "Extra");
    });
    ChunkWriter original;
    original.Chunk(chunk::Main, [&] {
        WriteTriangle(original, "Box");
        original.Chunk(0x7777,
                       [&] { original.Fill(grown.bytes.size() - original.bytes.size(), 0); });
    });
    ASSERT_EQ(original.bytes.size(), grown.bytes.size());
    const std::vector<uint8_t> shrunk(original.bytes.begin(), original.bytes.begin() + 20);
    struct Case {
        const std::vector<uint8_t>* replacement;
        std::string reason;
    };
    const std::string length = std::to_string(original.bytes.size());
    for (const Case& c :
         {Case{&grown.bytes,
               "more meshes than the first pass counted: the file changed while "
               "loading"},
          Case{&shrunk, "the file ended at offset 20, before its measured length " + length}}) {
        SCOPED_TRACE(c.reason);
        static std::string path;
        static const std::vector<uint8_t>* replacement;
        path = FixturePath();
        replacement = c.replacement;
        ASSERT_TRUE(WriteBytesToFile(original.bytes, path.c_str()));
        loaderState.observer = [](int32_t, uint16_t, int64_t offset, uint32_t, int32_t) {
            if (loaderState.countingPass && offset == 0) {
                WriteBytesToFile(*replacement, path.c_str());
            }
        };
        Scene* scene = LoadScene(path.c_str());
        loaderState.observer = nullptr;
        std::remove(path.c_str());
        EXPECT_EQ(scene, nullptr);
        const std::string& message = LastLoadError().message;
        EXPECT_EQ(message.substr(message.find(": ") + 2), c.reason) << message;
    }
}

TEST(LoadScene, DirectoryFailsWithAReason) {
    const char* env = std::getenv("TRELLIS_TEST_TMP");
    const std::string dir = env != nullptr ? env : "/tmp";
    EXPECT_EQ(LoadScene(dir.c_str()), nullptr);
    EXPECT_EQ(LastLoadError().message, "cannot read \"" + dir + "\": Is a directory");
}

TEST(LoadScene, SecondLoadStartsFromAClearState) {
    // The first load fails after leaving a name behind.
    ChunkWriter bad;
    bad.Chunk(chunk::Main, [&] {
        bad.Chunk(chunk::NamedObject, [&] { bad.Name("Leftover"); });
        bad.Header(0x0000, 0);
    });
    EXPECT_EQ(LoadBytes(bad.bytes), nullptr);
    EXPECT_NE(LastLoadError().message, "");

    // The second opens a light before any name: it gets an empty name, not "Leftover".
    ChunkWriter good;
    good.Chunk(chunk::Main, [&] { good.Chunk(chunk::Light, [&] { good.Floats({1, 2, 3}); }); });
    ScenePtr scene = LoadBytes(good.bytes);
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(LastLoadError().message, "");
    EXPECT_EQ(LastLoadError().offset, 0);
    ASSERT_EQ(scene->lightCount, 1);
    EXPECT_STREQ(scene->lights[0].name, "");
}

// Fewer than 6 bytes cannot hold a chunk header: the walk ends there with success, at the
// end of the file as at the end of a chunk, and the chunks after such a chunk are walked.
TEST(LoadScene, TooFewBytesForAHeaderEndTheWalkWithSuccess) {
    for (size_t extra = 1; extra < 6; ++extra) {
        SCOPED_TRACE(extra);
        ChunkWriter w;
        w.Chunk(chunk::Main, [&] {
            w.Chunk(chunk::Editor, [&] {
                WriteTriangle(w, "Inner");
                w.Fill(extra, 0x4D);
            });
            WriteTriangle(w, "After");
        });
        w.Fill(extra, 0xFF);
        ScenePtr scene = LoadBytes(w.bytes);
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        ASSERT_EQ(scene->objectCount, 2);
        EXPECT_STREQ(scene->objects[1].name, "After");
    }
}

// A chunk that claims more than its parent holds is cut at the parent's end: its handler
// and children run inside the parent, and the walk above goes on after the parent, so
// the chunks there are met once.
TEST(LoadScene, ChunkPastItsParentsEndIsCutThere) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            w.Begin(chunk::NamedObject).Name("Inside");
            w.Chunk(chunk::TriMesh, [] {});
            w.EndWithLength(4000);
        });
        w.Chunk(chunk::Editor, [&] { WriteTriangle(w, "Outside"); });
    });
    ScenePtr scene = LoadBytes(w.bytes);
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->objectCount, 2);
    EXPECT_STREQ(scene->objects[0].name, "Inside");
    EXPECT_STREQ(scene->objects[1].name, "Outside");
    EXPECT_EQ(scene->objects[1].faceCount, 1);
}

// Many chunks that each claim to run to the end of the file: each is cut at its parent's
// end, so every header is met once per pass and the work stays in proportion to the file.
TEST(LoadScene, EveryChunkIsWalkedOncePerPass) {
    constexpr int kParents = 300;
    ChunkWriter w;
    for (int i = 0; i < kParents; ++i) {
        w.Begin(chunk::Editor).Begin(chunk::NamedObject).Name("M");
        w.Chunk(chunk::TriMesh, [] {});
        w.EndWithLength(0x7FFFFFF0u - static_cast<uint32_t>(w.open.back())).End();
    }
    static int headers;
    headers = 0;
    loaderState.observer = [](int32_t, uint16_t, int64_t, uint32_t, int32_t) {
        if (loaderState.countingPass) ++headers;
    };
    ScenePtr scene = LoadBytes(w.bytes);
    loaderState.observer = nullptr;
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(scene->objectCount, kParents);
    EXPECT_EQ(headers, 3 * kParents);
}

TEST(LoadScene, TopLevelChunkPastTheEndOfTheFileLoads) {
    ChunkWriter w;
    w.Begin(chunk::Main);
    WriteTriangle(w, "Cut");
    w.EndWithLength(1u << 20);
    ScenePtr scene = LoadBytes(w.bytes);
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->objectCount, 1);
    EXPECT_EQ(scene->objects[0].vertexCount, 3);
}

// Ids without handler and children, and ids not in the table, are skipped whole: the mesh
// inside them is never seen.
TEST(LoadScene, IdsWithoutRoleAreSkippedWithTheirContents) {
    for (uint16_t id : {uint16_t{0x4190}, uint16_t{0xB011}, uint16_t{0xB026}, uint16_t{0xB029},
                        uint16_t{0x1234}, uint16_t{0xFFFF}}) {
        SCOPED_TRACE(id);
        ChunkWriter w;
        w.Chunk(chunk::Main, [&] {
            w.Chunk(id, [&] { WriteTriangle(w, "Hidden"); });
            WriteTriangle(w, "Seen");
        });
        ScenePtr scene = LoadBytes(w.bytes);
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        ASSERT_EQ(scene->objectCount, 1);
        EXPECT_STREQ(scene->objects[0].name, "Seen");
    }
}

// Chunks nested 64 deep load; one more level fails.
TEST(LoadScene, NestingDeeperThan64Fails) {
    for (int depth : {64, 65}) {
        SCOPED_TRACE(depth);
        ChunkWriter w;
        for (int i = 0; i < depth; ++i)
            w.Begin(chunk::Editor);
        for (int i = 0; i < depth; ++i)
            w.End();
        ScenePtr scene = LoadBytes(w.bytes);
        if (depth == 64) {
            EXPECT_NE(scene, nullptr) << LastLoadError().message;
        } else {
            EXPECT_EQ(scene, nullptr);
            EXPECT_EQ(LastLoadError().message,
                      "chunk 0x3D3D at offset 384: chunks are nested more than 64 deep");
        }
    }
}

TEST(LoadScene, ObserverSeesEveryChunkHeaderAsWalked) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Version, [&] { w.U32(3); });
        w.Chunk(0x7777, [&] { w.U8(1); });
    });
    struct Seen {
        int32_t depth;
        uint16_t id;
        int64_t offset;
        uint32_t length;
        int32_t row;
        bool operator==(const Seen&) const = default;
    };
    static std::vector<Seen> seen;
    seen.clear();
    loaderState.observer = [](int32_t depth, uint16_t id, int64_t offset, uint32_t length,
                              int32_t row) {
        if (loaderState.countingPass) seen.push_back({depth, id, offset, length, row});
    };
    ScenePtr scene = LoadBytes(w.bytes);
    loaderState.observer = nullptr;
    ASSERT_NE(scene, nullptr);
    const std::vector<Seen> expected = {
        {1, chunk::Main, 0, 23, 11}, {2, chunk::Version, 6, 10, 0}, {2, 0x7777, 16, 7, -1}};
    EXPECT_EQ(seen, expected);
}

// Handlers see the chunk they stand under (its id and offset), also below a chunk whose
// handler walks its own children (the keyframer nodes) and after a nested walk returns.
TEST(LoadScene, HandlersSeeTheirParentChunk) {
    struct Seen {
        uint16_t id;
        uint16_t parentId;
        int64_t parentStart;
        bool operator==(const Seen&) const = default;
    };
    static std::vector<Seen> seen;
    seen.clear();
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            w.Chunk(chunk::Background, [&] {
                w.Chunk(chunk::ColorFloat, [&] { w.Floats({0, 0, 0}); });
            });
            w.Chunk(chunk::MasterScale, [&] { w.F32(1); });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::ObjectNode, [&] {
                w.Chunk(chunk::NodeId, [&] { w.U16(0); });
                w.Chunk(chunk::Pivot, [&] { w.Floats({0, 0, 0}); });
            });
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(10); });
        });
        w.Chunk(chunk::Version, [&] { w.U32(3); });
    });
    w.Chunk(chunk::Version, [&] { w.U32(3); });
    loaderState.observer = [](int32_t, uint16_t id, int64_t, uint32_t, int32_t) {
        if (loaderState.countingPass) {
            seen.push_back({id, loaderState.parentChunkId, loaderState.parentChunkStart});
        }
    };
    ScenePtr scene = LoadBytes(w.bytes);
    loaderState.observer = nullptr;
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    // Offsets: main 0, editor 6, background 12, colour 18, master scale 36, keyframer 46,
    // object node 52, node id 58, pivot 66, segment 84, version 98, version 108.
    const std::vector<Seen> expected = {
        {chunk::Main, 0, -1},
        {chunk::Editor, chunk::Main, 0},
        {chunk::Background, chunk::Editor, 6},
        {chunk::ColorFloat, chunk::Background, 12},
        {chunk::MasterScale, chunk::Editor, 6},
        {chunk::Keyframer, chunk::Main, 0},
        {chunk::ObjectNode, chunk::Keyframer, 46},
        {chunk::NodeId, chunk::ObjectNode, 52},
        {chunk::Pivot, chunk::ObjectNode, 52},
        {chunk::Segment, chunk::Keyframer, 46},
        {chunk::Version, chunk::Main, 0},
        {chunk::Version, 0, -1},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(loaderState.parentChunkId, 0);
    EXPECT_EQ(loaderState.parentChunkStart, -1);
}

TEST(ChunkTable, EveryIdFindsItsOwnRow) {
    for (int32_t row = 0; row < kChunkTableRows; ++row) {
        EXPECT_EQ(FindChunkRow(ChunkTable[row].id), row) << std::hex << ChunkTable[row].id;
    }
    EXPECT_EQ(FindChunkRow(0x0000), -1);
    EXPECT_EQ(FindChunkRow(0x4D4E), -1);
}

TEST(ChunkTable, RowsStandInTheFormatsOrder) {
    struct Row {
        int32_t row;
        uint16_t id;
        int32_t hasChildren;
        bool hasHandler;
    };
    for (const Row& r :
         {Row{0, 0x0002, 0, true}, Row{8, 0xC23D, 1, false}, Row{11, 0x4D4D, 1, false},
          Row{16, 0x4100, 1, true}, Row{19, 0x4120, 1, true}, Row{26, 0x4190, 0, false},
          Row{50, 0xA200, 1, true}, Row{62, 0xB000, 1, false}, Row{64, 0xB002, 1, true},
          Row{67, 0xB011, 0, false}, Row{70, 0xB025, 0, true}, Row{71, 0xB021, 0, true},
          Row{76, 0xB003, 1, true}, Row{87, 0x4627, 0, true}}) {
        SCOPED_TRACE(r.row);
        EXPECT_EQ(ChunkTable[r.row].id, r.id);
        EXPECT_EQ(ChunkTable[r.row].hasChildren, r.hasChildren);
        EXPECT_EQ(ChunkTable[r.row].handler != nullptr, r.hasHandler);
    }
}

// Lookups are exact and case-sensitive, and the first of several equal names wins.
TEST(FindByName, MatchesWholeNamesExactly) {
    std::vector<uint8_t> bytes = EditorFile([](ChunkWriter& w) {
        WriteTriangle(w, "Box");
        WriteTriangle(w, "Box01");
        WriteTriangle(w, "Box");
        w.Chunk(chunk::Material, [&] { w.Chunk(chunk::MaterialName, [&] { w.Name("Red"); }); });
        w.Chunk(chunk::NamedObject, [&] {
            w.Name("Lamp");
            w.Chunk(chunk::Light, [&] { w.Floats({0, 0, 0}); });
        });
        w.Chunk(chunk::NamedObject, [&] {
            w.Name("Cam");
            w.Chunk(chunk::Camera, [&] { w.Floats({0, 0, 0, 0, 0, 1, 0, 50}); });
        });
    });
    ScenePtr scene = LoadBytes(bytes);
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(loaderState.scene, scene.get());
    struct Case {
        int32_t (*find)(const char*);
        const char* name;
        int32_t index;
    };
    for (const Case& c : {Case{FindObjectByName, "Box", 0}, Case{FindObjectByName, "Box01", 1},
                          Case{FindObjectByName, "box", -1}, Case{FindObjectByName, "Bo", -1},
                          Case{FindObjectByName, "Box0", -1}, Case{FindObjectByName, "", -1},
                          Case{FindMaterialByName, "Red", 0}, Case{FindMaterialByName, "red", -1},
                          Case{FindLightByName, "Lamp", 0}, Case{FindLightByName, "Lamp ", -1},
                          Case{FindCameraByName, "Cam", 0}, Case{FindCameraByName, "Box", -1}}) {
        EXPECT_EQ(c.find(c.name), c.index) << c.name;
    }
}

}  // namespace
