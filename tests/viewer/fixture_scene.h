// A small scene for the viewer: a cube at the origin and a pyramid beside it, whose own
// mesh matrix is not identity (the viewer must start its spin from identity anyway).
// Used by the shell tests, the end-to-end test and `make run` until a bundled scene exists.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "chunk_writer.h"

inline std::vector<uint8_t> FixtureSceneBytes() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            // File axes: z is up. Faces wind counter-clockwise seen from outside.
            WriteNamedMesh(w, "Cube", [&] {
                WriteVertexList(w, {-20, -20, -20, 20, -20, -20, 20, 20, -20, -20, 20, -20,
                                    -20, -20, 20,  20, -20, 20,  20, 20, 20,  -20, 20, 20});
                WriteFaceList(w, {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                                  3, 7, 6, 3, 6, 2, 0, 4, 7, 0, 7, 3, 1, 2, 6, 1, 6, 5});
            });
            WriteNamedMesh(w, "Pyramid", [&] {
                WriteVertexList(w,
                                {25, -20, -20, 65, -20, -20, 65, 20, -20, 25, 20, -20, 45, 0, 25});
                WriteFaceList(w, {0, 2, 1, 0, 3, 2, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4});
                w.Chunk(chunk::MeshMatrix, [&] {
                    w.Floats({0, 1, 0, -1, 0, 0, 0, 0, 1, 10, 20, 30});
                });
            });
        });
    });
    return w.bytes;
}

// A box whose every position is infinite (as some exporters write a broken mesh): a 3DS
// scene with nothing to draw.
inline std::vector<uint8_t> InfiniteBoxSceneBytes() {
    const float inf = std::numeric_limits<float>::infinity();
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "BoxWithInfinites", [&] {
                WriteVertexList(w, {inf, 0, 0, 0, inf, 0, 0, 0, -inf, inf, inf, inf});
                WriteFaceList(w, {0, 1, 2, 1, 2, 3});
            });
        });
    });
    return w.bytes;
}
