// Scene files built the way an attacker would build them against a thumbnailer, for the
// memory and work benchmarks and for replaying the cases by hand (bench/make_hostile.cpp).
// Each is small to describe and cheap to write; the large ones are written straight to a
// file (the sparse one mostly as holes), never held whole in memory.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "chunk_writer.h"

namespace hostile {

// Empty keyframer node chunks (6 bytes each) inside a main chunk and a keyframer chunk:
// `fileBytes` bytes in all, give or take one node.
inline std::vector<uint8_t> EmptyNodes(size_t fileBytes) {
    ChunkWriter w;
    w.bytes.reserve(fileBytes + 64);
    const size_t nodes = fileBytes > 12 ? (fileBytes - 12) / 6 : 0;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Keyframer, [&] {
            for (size_t i = 0; i < nodes; ++i)
                w.Empty(chunk::ObjectNode);
        });
    });
    return w.bytes;
}

// Meshes of one vertex and 65,535 faces whose bytes are all zero (every face names vertex 0
// three times), as many as fit in `fileBytes`. Written to `path` with the faces left as
// holes, so a file of 2 GB takes a few kilobytes of disk. False when it cannot be written.
inline bool WriteSparseFaces(const char* path, int64_t fileBytes) {
    constexpr int64_t kFaces = 65535;
    // One mesh: named object "" (6 + 1), triangle mesh (6), vertex list (6 + 2 + 12),
    // face list (6 + 2 + 8 per face).
    constexpr int64_t kFaceListBytes = 6 + 2 + 8 * kFaces;
    constexpr int64_t kMeshBytes = 7 + 6 + 20 + kFaceListBytes;
    const int64_t meshes = (fileBytes - 12) / kMeshBytes;
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const int64_t editorBytes = 6 + meshes * kMeshBytes;
    const int64_t total = 6 + editorBytes;
    bool ok = true;
    int64_t at = 0;
    const auto put = [&](const ChunkWriter& w) {
        ok = ok &&
             pwrite(fd, w.bytes.data(), w.bytes.size(), at) == static_cast<ssize_t>(w.bytes.size());
        at += static_cast<int64_t>(w.bytes.size());
    };
    ChunkWriter head;
    head.Header(chunk::Main, static_cast<uint32_t>(total));
    head.Header(chunk::Editor, static_cast<uint32_t>(editorBytes));
    put(head);
    for (int64_t m = 0; m < meshes && ok; ++m) {
        ChunkWriter w;
        w.Header(chunk::NamedObject, static_cast<uint32_t>(kMeshBytes)).U8(0);
        w.Header(chunk::TriMesh, static_cast<uint32_t>(kMeshBytes - 7));
        w.Header(chunk::VertexList, 20).U16(1).F32(0).F32(0).F32(0);
        w.Header(chunk::FaceList, static_cast<uint32_t>(kFaceListBytes))
            .U16(static_cast<uint16_t>(kFaces));
        put(w);
        at += 8 * kFaces;  // the faces: a hole of zero bytes
    }
    ok = ok && ftruncate(fd, total) == 0;
    return close(fd) == 0 && ok;
}

// One mesh of 65,535 faces, each the same triangle facing the camera, and `nodes` object
// nodes naming it: every frame of --animate draws the mesh once per node.
inline std::vector<uint8_t> ManyInstances(int32_t nodes) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "M", [&] {
                WriteVertexList(w, {-10, 0, -10, 10, 0, -10, 0, 0, 10});
                w.Chunk(chunk::FaceList, [&] {
                    w.U16(65535);
                    for (int32_t f = 0; f < 65535; ++f)
                        w.U16s({0, 1, 2, 0});
                });
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            for (int32_t i = 0; i < nodes; ++i) {
                w.Chunk(chunk::ObjectNode, [&] {
                    w.Chunk(chunk::NodeHeader, [&] { w.Name("M").U16(0).U16(0).U16(0xFFFF); });
                });
            }
        });
    });
    return w.bytes;
}

// A small mesh and an object node whose position moves between frame 0 and frame `last`,
// in a segment of the same span: one loop of --animate is `last` / 30 seconds.
inline std::vector<uint8_t> LongSegment(uint32_t last) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Box", [&] {
                WriteVertexList(w, {-10, 0, -10, 10, 0, -10, 0, 0, 10, 0, 10, 0});
                WriteFaceList(w, {0, 1, 2, 0, 1, 3, 1, 2, 3, 2, 0, 3});
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(last); });
            w.Chunk(chunk::ObjectNode, [&] {
                w.Chunk(chunk::NodeHeader, [&] { w.Name("Box").U16(0).U16(0).U16(0xFFFF); });
                w.Chunk(chunk::PositionTrack, [&] {
                    w.TrackHeader(2);
                    w.KeyHeader(0).Floats({0, 0, 0});
                    w.KeyHeader(last).Floats({100, 0, 0});
                });
            });
        });
    });
    return w.bytes;
}

// The grid of BareMeshes: 181 x 181 = 32,761 vertices, 64,800 faces.
inline constexpr uint16_t kColumns = 181, kRows = 181;

// Meshes as the plainest exporters write them, a vertex list and a face list and nothing
// else, with about two faces per vertex (a closed surface): `fileBytes` bytes in all. The
// most memory per file byte that real geometry takes.
inline std::vector<uint8_t> BareMeshes(size_t fileBytes) {
    ChunkWriter w;
    w.bytes.reserve(fileBytes + (1u << 20));
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (int32_t m = 0; w.bytes.size() < fileBytes; ++m) {
                WriteNamedMesh(w, "Mesh" + std::to_string(m), [&] {
                    w.Chunk(chunk::VertexList, [&] {
                        w.U16(kColumns * kRows);
                        for (int32_t r = 0; r < kRows; ++r) {
                            for (int32_t c = 0; c < kColumns; ++c)
                                w.F32(static_cast<float>(c))
                                    .F32(static_cast<float>(r))
                                    .F32(static_cast<float>(m));
                        }
                    });
                    w.Chunk(chunk::FaceList, [&] {
                        w.U16(static_cast<uint16_t>((kColumns - 1) * (kRows - 1) * 2));
                        const auto at = [](int32_t r, int32_t c) {
                            return static_cast<uint16_t>(r * kColumns + c);
                        };
                        for (int32_t r = 0; r + 1 < kRows; ++r) {
                            for (int32_t c = 0; c + 1 < kColumns; ++c) {
                                w.U16(at(r, c)).U16(at(r, c + 1)).U16(at(r + 1, c)).U16(0);
                                w.U16(at(r, c + 1)).U16(at(r + 1, c + 1)).U16(at(r + 1, c)).U16(0);
                            }
                        }
                    });
                });
            }
        });
    });
    return w.bytes;
}

// A mesh and a node whose names are bytes that are not UTF-8.
inline std::vector<uint8_t> Latin1Names() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Caf\xE9\xFF", [&] {
                WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                WriteFaceList(w, {0, 1, 2});
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::ObjectNode, [&] {
                w.Chunk(chunk::NodeHeader,
                        [&] { w.Name("Caf\xE9\xFF").U16(0).U16(0).U16(0xFFFF); });
            });
        });
    });
    return w.bytes;
}

}  // namespace hostile
