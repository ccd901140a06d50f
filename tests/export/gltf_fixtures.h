// Scenes for the glTF export's tests and for its check by the glTF validator, built with the
// fixture writer: each shows one thing the export must carry over.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "chunk_writer.h"

namespace gltf_fixtures {

// One key: frame and payload in file order (no spline values).
struct Key {
    uint32_t frame;
    std::vector<float> payload;
};

inline void WriteKeys(ChunkWriter& w, uint16_t id, const std::vector<Key>& keys) {
    if (keys.empty()) return;
    w.Chunk(id, [&] {
        w.TrackHeader(static_cast<uint32_t>(keys.size()));
        for (const Key& key : keys) {
            w.KeyHeader(key.frame);
            for (float v : key.payload)
                w.F32(v);
        }
    });
}

struct Node {
    uint16_t tag;
    std::string name;
    uint16_t id;
    uint16_t parent;
    std::vector<float> pivot;  // file order; empty for none
    std::vector<Key> position, rotation, scale, hide;
    std::string instance;  // instance name; empty for none
};

inline void WriteNodes(ChunkWriter& w, uint32_t start, uint32_t end,
                       const std::vector<Node>& nodes) {
    w.Chunk(chunk::Keyframer, [&] {
        w.Chunk(chunk::Segment, [&] { w.U32(start).U32(end); });
        for (const Node& node : nodes) {
            w.Chunk(node.tag, [&] {
                w.Chunk(chunk::NodeId, [&] { w.U16(node.id); });
                w.Chunk(chunk::NodeHeader,
                        [&] { w.Name(node.name).U16(0).U16(0).U16(node.parent); });
                if (!node.instance.empty()) {
                    w.Chunk(chunk::InstanceName, [&] { w.Name(node.instance); });
                }
                if (!node.pivot.empty()) {
                    w.Chunk(chunk::Pivot, [&] {
                        for (float v : node.pivot)
                            w.F32(v);
                    });
                }
                WriteKeys(w, chunk::PositionTrack, node.position);
                WriteKeys(w, chunk::RotationTrack, node.rotation);
                WriteKeys(w, chunk::ScaleTrack, node.scale);
                WriteKeys(w, chunk::HideTrack, node.hide);
            });
        }
    });
}

// A tetrahedron around (x, y, z) (file axes), with a mesh matrix that places its frame there.
inline void WriteTetra(ChunkWriter& w, const std::string& name, float x, float y, float z) {
    WriteNamedMesh(w, name, [&] {
        WriteVertexList(w, {x, y, z, x + 2, y, z, x, y + 2, z, x, y, z + 2});
        WriteFaceList(w, {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3});
        w.Chunk(chunk::MeshMatrix, [&] { w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, x, y, z}); });
    });
}

inline void WriteMaterial(ChunkWriter& w, const std::string& name) {
    w.Chunk(chunk::Material, [&] { w.Chunk(chunk::MaterialName, [&] { w.Name(name); }); });
}

// A box of 8 corners and 12 faces: the six faces of its sides in material "Red" and
// smoothing group 1, the six of its top and bottom in "Blue" and group 2.
inline std::vector<uint8_t> TwoMaterialBox() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteMaterial(w, "Red");
            WriteMaterial(w, "Blue");
            WriteNamedMesh(w, "Box", [&] {
                WriteVertexList(w, {0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0,  //
                                    0, 0, 4, 4, 0, 4, 4, 4, 4, 0, 4, 4});
                WriteFaceList(w,
                              {0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6,  // sides:
                               3, 0, 4, 3, 4, 7,                                      // Red
                               4, 5, 6, 4, 6, 7, 0, 3, 2, 0, 2, 1},                   // Blue
                              [&] {
                                  w.Chunk(chunk::FaceMaterials, [&] {
                                      w.Name("Red").U16(8).U16s({0, 1, 2, 3, 4, 5, 6, 7});
                                  });
                                  w.Chunk(chunk::FaceMaterials, [&] {
                                      w.Name("Blue").U16(4).U16s({8, 9, 10, 11});
                                  });
                                  w.Chunk(chunk::SmoothGroups, [&] {
                                      for (int f = 0; f < 12; ++f)
                                          w.U32(f < 8 ? 1 : 2);
                                  });
                              });
            });
        });
    });
    return w.bytes;
}

// Three levels of object nodes with pivots, each moving (position, rotation, scale tracks),
// the middle one hidden from frame 10 to 20 (its child stays shown), an instance of the last
// mesh with a pivot of its own, a camera and a spot light; frames 0 to 30.
inline std::vector<uint8_t> PivotHierarchy() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteTetra(w, "Base", 10, 0, 0);
            WriteTetra(w, "Arm", 10, 0, 6);
            WriteTetra(w, "Hand", 14, 1, 9);
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Cam");
                w.Chunk(chunk::Camera, [&] { w.Floats({0, -60, 20, 10, 0, 5, 5, 35}); });
            });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Spot");
                w.Chunk(chunk::Light, [&] {
                    w.Floats({20, -20, 40});
                    w.Chunk(chunk::ColorFloat, [&] { w.Floats({1, 0.8f, 0.6f}); });
                    w.Chunk(chunk::Spotlight, [&] { w.Floats({10, 0, 0, 30, 50}); });
                });
            });
        });
        WriteNodes(w, 0, 30,
                   {{chunk::ObjectNode,
                     "Base",
                     0,
                     0xFFFF,
                     {1, 2, 3},
                     {{0, {10, 0, 0}}, {30, {20, 5, 0}}},
                     {{0, {0, 0, 0, 1}}, {30, {1.0f, 0, 0, 1}}},
                     {},
                     {},
                     {}},
                    {chunk::ObjectNode,
                     "Arm",
                     1,
                     0,
                     {0, 1, 0},
                     {{0, {0, 0, 6}}, {15, {1, 0, 7}}, {30, {0, 2, 6}}},
                     {{0, {0, 1, 0, 0}}, {30, {-0.8f, 1, 0, 0}}},
                     {},
                     {{10, {}}, {20, {}}},
                     {}},
                    {chunk::ObjectNode,
                     "Hand",
                     2,
                     1,
                     {0.5f, 0, 0},
                     {{0, {4, 1, 3}}},
                     {{0, {0.3f, 0, 1, 0}}},
                     {{0, {1, 1, 1}}, {30, {2, 1, 0.5f}}},
                     {},
                     {}},
                    {chunk::ObjectNode,
                     "Hand",
                     3,
                     0,
                     {0, 0, 1},
                     {{0, {-5, 0, 0}}},
                     {},
                     {},
                     {},
                     "Hand2"},
                    {chunk::CameraNode, "Cam", 4, 0xFFFF, {}, {{0, {0, -60, 20}}, {30, {30, -50, 25}}},
                     {}, {}, {}, {}},
                    {chunk::TargetNode, "Cam", 5, 0xFFFF, {}, {{0, {10, 0, 5}}}, {}, {}, {}, {}},
                    {chunk::SpotlightNode, "Spot", 6, 0xFFFF, {}, {{0, {20, -20, 40}}}, {}, {}, {},
                     {}}});
    });
    return w.bytes;
}

// A tetrahedron turning about z from 0 to 270 degrees over frames 0 to 30, through half a
// turn at frame 20.
inline std::vector<uint8_t> TurnPastHalf() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] { WriteTetra(w, "Spinner", 0, 0, 0); });
        WriteNodes(w, 0, 30,
                   {{chunk::ObjectNode,
                     "Spinner",
                     0,
                     0xFFFF,
                     {},
                     {},
                     {{0, {0, 0, 0, 1}}, {30, {4.71238898f, 0, 0, 1}}},
                     {},
                     {},
                     {}}});
    });
    return w.bytes;
}

// Every fixture by a file name, for the validator's check.
inline std::vector<std::pair<std::string, std::vector<uint8_t>>> AllFixtures() {
    return {{"two_material_box.3ds", TwoMaterialBox()},
            {"pivot_hierarchy.3ds", PivotHierarchy()},
            {"turn_past_half.3ds", TurnPastHalf()}};
}

}  // namespace gltf_fixtures
