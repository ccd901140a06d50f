// The program's arena memory in huge pages: what it hands out, and that scenes loaded into
// it are the same records as scenes loaded into the heap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "platform/memory/huge_pages.h"
#include "scene/records.h"

namespace {

TEST(HugePageArenaMemory, HandsOutAlignedWritableBlocksOfEverySize) {
    const ArenaMemory& memory = HugePageArenaMemory();
    for (size_t bytes : {size_t{1}, size_t{4096}, (size_t{1} << 20) - 1, size_t{1} << 20,
                         (size_t{3} << 20) + 5, size_t{32} << 20}) {
        auto* block = static_cast<unsigned char*>(memory.allocate(bytes));
        ASSERT_NE(block, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u) << bytes;
        if (bytes >= (size_t{1} << 20)) {
            // Mapped on a huge-page boundary, so that whole 2 MiB stretches can be huge pages.
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % (size_t{2} << 20), 0u) << bytes;
        }
        std::memset(block, 0x5A, bytes);
        EXPECT_EQ(block[bytes - 1], 0x5A);
        memory.release(block, bytes);
    }
}

// A mesh whose records take a few mebibytes: the vertices of a grid and two faces per cell.
std::vector<uint8_t> LargeMeshScene() {
    constexpr int kColumns = 200, kRows = 160;  // 32,000 vertices, 63,282 faces
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Grid", [&] {
                w.Chunk(chunk::VertexList, [&] {
                    w.U16(kColumns * kRows);
                    for (int r = 0; r < kRows; ++r) {
                        for (int c = 0; c < kColumns; ++c) {
                            const float x = static_cast<float>(c), y = static_cast<float>(r);
                            w.F32(x).F32(y).F32(std::sin(x * 0.1f) * std::cos(y * 0.3f));
                        }
                    }
                });
                w.Chunk(chunk::FaceList, [&] {
                    w.U16(2 * (kColumns - 1) * (kRows - 1));
                    for (int r = 0; r + 1 < kRows; ++r) {
                        for (int c = 0; c + 1 < kColumns; ++c) {
                            const auto at = [&](int rr, int cc) {
                                return static_cast<uint16_t>(rr * kColumns + cc);
                            };
                            w.U16(at(r, c)).U16(at(r, c + 1)).U16(at(r + 1, c)).U16(0);
                            w.U16(at(r, c + 1)).U16(at(r + 1, c + 1)).U16(at(r + 1, c)).U16(0);
                        }
                    }
                });
            });
        });
    });
    return w.bytes;
}

// Loads into huge pages and into the heap give the same records, bit for bit, and a scene
// goes back to the memory it came from even after the program switched memory.
TEST(HugePageArenaMemory, ScenesLoadTheSameAsIntoTheHeap) {
    const std::vector<uint8_t> bytes = LargeMeshScene();
    ScenePtr inHeap = LoadBytes(bytes);
    ASSERT_NE(inHeap, nullptr) << LastLoadError().message;
    SetArenaMemory(&HugePageArenaMemory());
    ScenePtr inHugePages = LoadBytes(bytes);
    ASSERT_NE(inHugePages, nullptr) << LastLoadError().message;
    inHeap.reset();  // heap blocks, freed while huge pages are installed

    SetArenaMemory(nullptr);
    ScenePtr again = LoadBytes(bytes);
    ASSERT_NE(again, nullptr) << LastLoadError().message;
    const MeshObject& a = again->objects[0];
    const MeshObject& b = inHugePages->objects[0];
    ASSERT_EQ(a.vertexCount, b.vertexCount);
    ASSERT_EQ(a.faceCount, b.faceCount);
    EXPECT_GT(inHugePages->arena.bytesReserved, size_t{2} << 20);
    EXPECT_EQ(std::memcmp(a.vertices, b.vertices, sizeof(Vertex) * a.vertexCount), 0);
    for (int32_t f = 0; f < a.faceCount; ++f) {
        ASSERT_EQ(a.faces[f].vertex0 - a.vertices, b.faces[f].vertex0 - b.vertices) << f;
        ASSERT_EQ(a.faces[f].vertex1 - a.vertices, b.faces[f].vertex1 - b.vertices) << f;
        ASSERT_EQ(a.faces[f].vertex2 - a.vertices, b.faces[f].vertex2 - b.vertices) << f;
        ASSERT_EQ(std::memcmp(a.faces[f].plane, b.faces[f].plane, sizeof a.faces[f].plane), 0) << f;
    }
    inHugePages.reset();  // huge-page blocks, freed with the heap installed
    ReleaseArenaCache();
}

}  // namespace
