// The generated 50 MB scene of the load and tick benchmarks, written with the fixture
// writer: about 95 meshes of up to 65,535 vertices (wavy grids with texture coordinates, a
// face list with a material group and smoothing groups, a mesh matrix), a few materials,
// lights and cameras, and a keyframer node with tracks for every mesh.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "scene/loader.h"

inline constexpr size_t kLargeSceneBytes = 50u * 1000 * 1000;

// A grid of columns x rows vertices on a wavy surface, two faces per cell.
inline void WriteGridMesh(ChunkWriter& w, const std::string& name, int columns, int rows,
                          float offset) {
    WriteNamedMesh(w, name, [&] {
        const int vertices = columns * rows;
        w.Chunk(chunk::VertexList, [&] {
            w.U16(static_cast<uint16_t>(vertices));
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < columns; ++c) {
                    const float x = static_cast<float>(c) * 0.5f + offset;
                    const float y = static_cast<float>(r) * 0.5f;
                    w.F32(x).F32(y).F32(std::sin(x * 0.3f) * std::cos(y * 0.2f) * 4.0f);
                }
            }
        });
        w.Chunk(chunk::TexCoords, [&] {
            w.U16(static_cast<uint16_t>(vertices));
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < columns; ++c) {
                    w.F32(static_cast<float>(c) / static_cast<float>(columns));
                    w.F32(static_cast<float>(r) / static_cast<float>(rows));
                }
            }
        });
        // Two faces per cell, as many as a face list can count (65,535).
        std::vector<uint16_t> corners;
        const auto at = [&](int r, int c) { return static_cast<uint16_t>(r * columns + c); };
        for (int r = 0; r + 1 < rows; ++r) {
            for (int c = 0; c + 1 < columns; ++c) {
                corners.insert(corners.end(), {at(r, c), at(r, c + 1), at(r + 1, c)});
                corners.insert(corners.end(), {at(r, c + 1), at(r + 1, c + 1), at(r + 1, c)});
            }
        }
        const int faces = static_cast<int>(std::min<size_t>(corners.size() / 3, 65535));
        w.Chunk(chunk::FaceList, [&] {
            w.U16(static_cast<uint16_t>(faces));
            for (int f = 0; f < faces; ++f) {
                w.U16(corners[3 * f]).U16(corners[3 * f + 1]).U16(corners[3 * f + 2]).U16(7);
            }
            w.Chunk(chunk::FaceMaterials, [&] {
                w.Name("Stone").U16(static_cast<uint16_t>(faces));
                for (int f = 0; f < faces; ++f)
                    w.U16(static_cast<uint16_t>(f));
            });
            w.Chunk(chunk::SmoothGroups, [&] {
                for (int f = 0; f < faces; ++f)
                    w.U32(1);
            });
        });
        w.Chunk(chunk::MeshMatrix, [&] { w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, offset, 0, 0}); });
    });
}

inline std::vector<uint8_t> GenerateLargeScene() {
    ChunkWriter w;
    w.bytes.reserve(kLargeSceneBytes + (8u << 20));
    std::vector<std::string> meshNames;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Version, [&] { w.U32(3); });
        w.Chunk(chunk::Editor, [&] {
            for (const char* material : {"Stone", "Grass", "Water"}) {
                w.Chunk(chunk::Material, [&] {
                    w.Chunk(chunk::MaterialName, [&] { w.Name(material); });
                    w.Chunk(chunk::MaterialDiffuse,
                            [&] { w.Chunk(chunk::ColorByte, [&] { w.U8(120).U8(120).U8(120); }); });
                });
            }
            // Every tenth mesh is the largest a mesh can be (255 x 257 = 65,535 vertices);
            // the others spread between about 2,800 and 12,700 vertices.
            for (int i = 0; w.bytes.size() < kLargeSceneBytes; ++i) {
                int columns = 255, rows = 257;
                if (i % 10 != 0) {
                    columns = 53 + (i * 37) % 60;
                    rows = 53 + (i * 53) % 60;
                }
                meshNames.push_back("Mesh" + std::to_string(i));
                WriteGridMesh(w, meshNames.back(), columns, rows, static_cast<float>(i) * 10.0f);
            }
            for (int i = 0; i < 4; ++i) {
                w.Chunk(chunk::NamedObject, [&] {
                    w.Name("Light" + std::to_string(i));
                    w.Chunk(chunk::Light, [&] {
                        w.Floats({static_cast<float>(i) * 50.0f, 100, 100});
                        w.Chunk(chunk::ColorFloat, [&] { w.Floats({1, 0.9f, 0.8f}); });
                    });
                });
            }
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Camera01");
                w.Chunk(chunk::Camera, [&] { w.Floats({0, -150, 50, 0, 0, 0, 0, 35}); });
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(100); });
            uint16_t nodeId = 0;
            for (const std::string& name : meshNames) {
                w.Chunk(chunk::ObjectNode, [&] {
                    w.Chunk(chunk::NodeId, [&] { w.U16(nodeId++); });
                    w.Chunk(chunk::NodeHeader, [&] { w.Name(name).U16(0).U16(0).U16(0xFFFF); });
                    w.Chunk(chunk::PositionTrack, [&] {
                        w.TrackHeader(2).KeyHeader(0).Floats({0, 0, 0});
                        w.KeyHeader(100).Floats({0, 0, 10});
                    });
                    w.Chunk(chunk::RotationTrack, [&] {
                        w.TrackHeader(1).KeyHeader(0).Floats({0, 0, 0, 1});
                    });
                });
            }
            for (uint16_t tag : {chunk::CameraNode, chunk::TargetNode}) {
                w.Chunk(tag, [&] {
                    w.Chunk(chunk::NodeId, [&] { w.U16(nodeId++); });
                    w.Chunk(chunk::NodeHeader,
                            [&] { w.Name("Camera01").U16(0).U16(0).U16(0xFFFF); });
                    w.Chunk(chunk::PositionTrack, [&] {
                        w.TrackHeader(1).KeyHeader(0);
                        if (tag == chunk::CameraNode) {
                            w.Floats({0, -150, 50});
                        } else {
                            w.Floats({0, 0, 0});
                        }
                    });
                });
            }
        });
    });
    return w.bytes;
}

// The generated file, written once and removed at exit.
struct LargeSceneFile {
    std::string path;
    size_t size = 0;
    int32_t meshes = 0;
    LargeSceneFile() {
        const char* dir = std::getenv("TMPDIR");
        path = std::string(dir != nullptr ? dir : "/tmp") + "/trellis_large_scene." +
               std::to_string(::getpid()) + ".3ds";
        const std::vector<uint8_t> bytes = GenerateLargeScene();
        size = bytes.size();
        if (!WriteBytesToFile(bytes, path.c_str())) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
        Scene* scene = LoadScene(path.c_str());
        if (scene == nullptr) {
            std::fprintf(stderr, "generated scene does not load: %s\n",
                         LastLoadError().message.c_str());
            std::exit(1);
        }
        meshes = scene->objectCount;
        FreeScene(scene);
    }
    ~LargeSceneFile() { std::remove(path.c_str()); }
};

inline const LargeSceneFile& TheLargeScene() {
    static const LargeSceneFile file;
    return file;
}
