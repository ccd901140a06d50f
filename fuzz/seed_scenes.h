// Seed scenes for the loader's fuzzer: the bundled scene and small scenes that each hold one
// family of chunks (meshes with material groups, materials with maps, lights, spotlights,
// cameras, keyframer nodes of every kind), so that mutations start from every handler.
// Each seed is a complete, loadable scene of at most a few KB.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "bundled_scene.h"
#include "chunk_writer.h"

namespace seed_scenes {

struct Seed {
    std::string name;  // file name in the corpus
    std::vector<uint8_t> bytes;
};

namespace detail {

// The main and editor chunks around what `editor` writes, then the keyframer chunk around
// what `keyframer` writes.
template <class Editor, class Keyframer>
std::vector<uint8_t> SceneFile(Editor&& editor, Keyframer&& keyframer) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Version, [&] { w.U32(3); });
        w.Chunk(chunk::Editor, [&] {
            w.Chunk(chunk::MeshVersion, [&] { w.U32(3); });
            editor(w);
        });
        w.Chunk(chunk::Keyframer, [&] { keyframer(w); });
    });
    return w.bytes;
}

// A scene file with no keyframer section.
template <class Editor>
std::vector<uint8_t> SceneFile(Editor&& editor) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Version, [&] { w.U32(3); });
        w.Chunk(chunk::Editor, [&] {
            w.Chunk(chunk::MeshVersion, [&] { w.U32(3); });
            editor(w);
        });
    });
    return w.bytes;
}

inline void ColorBytes(ChunkWriter& w, uint16_t id, uint8_t r, uint8_t g, uint8_t b) {
    w.Chunk(id, [&] { w.Chunk(chunk::ColorByte, [&] { w.U8(r).U8(g).U8(b); }); });
}

inline void Percent(ChunkWriter& w, uint16_t id, uint16_t value) {
    w.Chunk(id, [&] { w.Chunk(chunk::PercentInt, [&] { w.U16(value); }); });
}

// A map chunk: strength, file name, tiling, scale, offset and rotation.
inline void Map(ChunkWriter& w, uint16_t id, const char* file) {
    w.Chunk(id, [&] {
        w.Chunk(chunk::PercentInt, [&] { w.U16(100); });
        w.Chunk(chunk::MapName, [&] { w.Name(file); });
        w.Chunk(chunk::MapTiling, [&] { w.U16(0x10); });
        w.Chunk(chunk::MapUScale, [&] { w.F32(2.0f); });
        w.Chunk(chunk::MapVScale, [&] { w.F32(0.5f); });
        w.Chunk(chunk::MapUOffset, [&] { w.F32(0.25f); });
        w.Chunk(chunk::MapVOffset, [&] { w.F32(-0.25f); });
        w.Chunk(chunk::MapRotation, [&] { w.F32(30.0f); });
    });
}

inline void Material(ChunkWriter& w, const char* name, uint8_t r, uint8_t g, uint8_t b) {
    w.Chunk(chunk::Material, [&] {
        w.Chunk(chunk::MaterialName, [&] { w.Name(name); });
        ColorBytes(w, chunk::MaterialAmbient, r, g, b);
        ColorBytes(w, chunk::MaterialDiffuse, r, g, b);
        w.Chunk(chunk::MaterialSpecular, [&] {
            w.Chunk(chunk::ColorFloat, [&] { w.Floats({0.9f, 0.9f, 0.9f}); });
        });
        Percent(w, chunk::MaterialShininess, 40);
        w.Chunk(chunk::MaterialShading, [&] { w.U16(3); });
    });
}

// A unit cube of 8 vertices and 12 faces with texture coordinates, smoothing groups and a
// mesh matrix; `groups` writes the face list's material groups.
template <class Groups>
void Cube(ChunkWriter& w, const char* name, float x, Groups&& groups) {
    WriteNamedMesh(w, name, [&] {
        w.Chunk(chunk::VertexList, [&] {
            w.U16(8);
            for (int i = 0; i < 8; ++i) {
                w.F32(x + static_cast<float>(i & 1)).F32(static_cast<float>((i >> 1) & 1));
                w.F32(static_cast<float>(i >> 2));
            }
        });
        w.Chunk(chunk::VertexFlags, [&] { w.U16(8).U16s({0, 0, 0, 0, 0, 0, 0, 0}); });
        w.Chunk(chunk::TexCoords, [&] {
            w.U16(8);
            for (int i = 0; i < 8; ++i)
                w.F32(static_cast<float>(i & 1)).F32(static_cast<float>((i >> 1) & 1));
        });
        w.Chunk(chunk::MeshMatrix, [&] { w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, x, 0, 0}); });
        WriteFaceList(w, {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                          2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5},
                      [&] {
                          groups();
                          w.Chunk(chunk::SmoothGroups, [&] {
                              for (int f = 0; f < 12; ++f)
                                  w.U32(1u << (f / 2));
                          });
                      });
        w.Chunk(chunk::MeshColor, [&] { w.U8(3); });
    });
}

inline void Group(ChunkWriter& w, const char* material, std::initializer_list<uint16_t> faces) {
    w.Chunk(chunk::FaceMaterials,
            [&] { w.Name(material).U16(static_cast<uint16_t>(faces.size())).U16s(faces); });
}

inline void NamedLight(ChunkWriter& w, const char* name, std::initializer_list<float> position,
                       bool spot) {
    w.Chunk(chunk::NamedObject, [&] {
        w.Name(name);
        w.Chunk(chunk::Light, [&] {
            w.Floats(position);
            w.Chunk(chunk::ColorFloat, [&] { w.Floats({1.0f, 0.8f, 0.6f}); });
            if (spot) {
                w.Chunk(chunk::Spotlight, [&] { w.Floats({0, 0, 0, 20, 35}); });
                w.Empty(chunk::LightRayShadow);
            }
            w.Chunk(chunk::LightInnerRange, [&] { w.F32(5); });
            w.Chunk(chunk::LightOuterRange, [&] { w.F32(500); });
            w.Chunk(chunk::LightMultiplier, [&] { w.F32(1.5f); });
        });
    });
}

inline void NamedCamera(ChunkWriter& w, const char* name) {
    w.Chunk(chunk::NamedObject, [&] {
        w.Name(name);
        w.Chunk(chunk::Camera, [&] { w.Floats({0, -120, 60, 0, 0, 0, 0, 35}); });
    });
}

// A node: tag, id, header (name, two flag words, parent), then what `tracks` writes.
template <class Tracks>
void Node(ChunkWriter& w, uint16_t tag, uint16_t id, const char* name, uint16_t parent,
          Tracks&& tracks) {
    w.Chunk(tag, [&] {
        w.Chunk(chunk::NodeId, [&] { w.U16(id); });
        w.Chunk(chunk::NodeHeader, [&] { w.Name(name).U16(0x4000).U16(0).U16(parent); });
        tracks();
    });
}

// A track of `keys` keys with `floats` floats each; the second key carries tension and
// continuity values (flag bits 0 and 1).
inline void Track(ChunkWriter& w, uint16_t id, uint32_t keys, int floats) {
    w.Chunk(id, [&] {
        w.TrackHeader(keys);
        for (uint32_t k = 0; k < keys; ++k) {
            w.KeyHeader(k * 50, k == 1 ? 0x0003 : 0);
            for (int f = 0; f < floats; ++f)
                w.F32(static_cast<float>(k + f));
        }
    });
}

}  // namespace detail

// Two cubes with material groups (one group names a material that does not exist), three
// materials, one with texture, opacity, reflection and bump maps and every flag and
// percentage, its colours in linear and gamma form.
inline std::vector<uint8_t> MeshesAndMaterials() {
    using namespace detail;
    return SceneFile([](ChunkWriter& w) {
        Material(w, "Red", 200, 40, 40);
        Material(w, "Blue", 40, 40, 200);
        w.Chunk(chunk::Material, [&] {
            w.Chunk(chunk::MaterialName, [&] { w.Name("Mapped"); });
            ColorBytes(w, chunk::MaterialDiffuse, 128, 128, 128);
            w.Chunk(chunk::MaterialAmbient, [&] {
                w.Chunk(chunk::LinearColorByte, [&] { w.U8(20).U8(20).U8(20); });
                w.Chunk(chunk::ColorByte, [&] { w.U8(30).U8(30).U8(30); });
            });
            w.Chunk(chunk::MaterialSpecular, [&] {
                w.Chunk(chunk::LinearColorFloat, [&] { w.Floats({0.8f, 0.8f, 0.8f}); });
            });
            Percent(w, chunk::MaterialShininessStrength, 60);
            Percent(w, chunk::MaterialTransparency, 20);
            Percent(w, chunk::MaterialTransparencyFalloff, 10);
            Percent(w, chunk::MaterialReflectionBlur, 5);
            w.Chunk(chunk::MaterialSelfIllumination,
                    [&] { w.Chunk(chunk::PercentFloat, [&] { w.F32(15.0f); }); });
            w.Empty(chunk::MaterialTwoSided);
            w.Empty(chunk::MaterialAdditive);
            w.Empty(chunk::MaterialWire);
            w.Chunk(chunk::MaterialWireSize, [&] { w.F32(1); });
            w.Chunk(chunk::MaterialShading, [&] { w.U16(2); });
            Map(w, chunk::TextureMap, "bricks.gif");
            Map(w, chunk::OpacityMap, "mask.png");
            Map(w, chunk::ReflectionMap, "sky.gif");
            Map(w, chunk::BumpMap, "bumps.gif");
        });
        w.Chunk(chunk::MasterScale, [&] { w.F32(1.0f); });
        Cube(w, "Left", -2, [&] {
            Group(w, "Red", {0, 1, 2, 3, 4, 5});
            Group(w, "Blue", {6, 7, 8, 9});
            Group(w, "Mapped", {10, 11});
        });
        Cube(w, "Right", 2, [&] {
            Group(w, "Blue", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
            Group(w, "Missing", {0});
        });
    });
}

// An omni light and a spotlight (each with colour, ranges, multiplier), one light off with a
// 24-bit colour, background (in use) and ambient colours.
inline std::vector<uint8_t> Lights() {
    using namespace detail;
    return SceneFile([](ChunkWriter& w) {
        w.Chunk(chunk::Background, [&] {
            w.Chunk(chunk::ColorFloat, [&] { w.Floats({0.1f, 0.1f, 0.2f}); });
            w.Chunk(chunk::LinearColorFloat, [&] { w.Floats({0.01f, 0.01f, 0.04f}); });
        });
        w.Empty(chunk::UseBackground);
        w.Chunk(chunk::Ambient, [&] {
            w.Chunk(chunk::LinearColorFloat, [&] { w.Floats({0.2f, 0.2f, 0.2f}); });
        });
        NamedLight(w, "Omni01", {10, 20, 30}, false);
        NamedLight(w, "Spot01", {-40, 50, 80}, true);
        w.Chunk(chunk::NamedObject, [&] {
            w.Name("Dark");
            w.Chunk(chunk::Light, [&] {
                w.Floats({0, 0, 100});
                w.Chunk(chunk::ColorByte, [&] { w.U8(255).U8(128).U8(0); });
                w.Empty(chunk::LightOff);
            });
        });
    });
}

// A camera with a mesh to look at.
inline std::vector<uint8_t> Camera() {
    using namespace detail;
    return SceneFile([](ChunkWriter& w) {
        Cube(w, "Box", 0, [] {});
        NamedCamera(w, "Camera01");
        w.Chunk(0x7020, [&] { w.Fill(4, 0); });
    });
}

// A keyframer section with a node of every kind: ambient, object (two, one a child of the
// other), camera, camera target, light, light target and spotlight, each with its tracks.
inline std::vector<uint8_t> Keyframer() {
    using namespace detail;
    return SceneFile(
        [](ChunkWriter& w) {
            Cube(w, "Parent", -2, [] {});
            Cube(w, "Child", 2, [] {});
            NamedCamera(w, "Camera01");
            NamedLight(w, "Omni01", {10, 20, 30}, false);
            NamedLight(w, "Spot01", {-40, 50, 80}, true);
        },
        [](ChunkWriter& w) {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(100); });
            Node(w, chunk::AmbientNode, 0xFFFF, "$AMBIENT$", 0xFFFF,
                 [&] { Track(w, chunk::ColorTrack, 1, 3); });
            Node(w, chunk::ObjectNode, 0, "Parent", 0xFFFF, [&] {
                w.Chunk(chunk::Pivot, [&] { w.Floats({0, 0, 0}); });
                Track(w, chunk::PositionTrack, 2, 3);
                Track(w, chunk::RotationTrack, 2, 4);
                Track(w, chunk::ScaleTrack, 1, 3);
            });
            Node(w, chunk::ObjectNode, 1, "Child", 0, [&] {
                w.Chunk(0xB011, [&] { w.Name("inst"); });
                Track(w, chunk::PositionTrack, 3, 3);
                Track(w, chunk::RotationTrack, 1, 4);
            });
            Node(w, chunk::CameraNode, 2, "Camera01", 0xFFFF, [&] {
                Track(w, chunk::PositionTrack, 2, 3);
                Track(w, chunk::FovTrack, 1, 1);
                Track(w, chunk::RollTrack, 1, 1);
            });
            Node(w, chunk::TargetNode, 3, "Camera01", 0xFFFF,
                 [&] { Track(w, chunk::PositionTrack, 2, 3); });
            Node(w, chunk::LightNode, 4, "Omni01", 0xFFFF, [&] {
                Track(w, chunk::PositionTrack, 1, 3);
                Track(w, chunk::ColorTrack, 1, 3);
            });
            Node(w, chunk::SpotlightNode, 5, "Spot01", 0xFFFF, [&] {
                Track(w, chunk::PositionTrack, 1, 3);
                Track(w, chunk::RollTrack, 1, 1);
            });
            Node(w, chunk::LightTargetNode, 6, "Spot01", 0xFFFF,
                 [&] { Track(w, chunk::PositionTrack, 1, 3); });
        });
}

// The smallest mesh: one triangle, no material.
inline std::vector<uint8_t> Triangle() {
    return detail::SceneFile([](ChunkWriter& w) {
        WriteNamedMesh(w, "Tri", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
            WriteFaceList(w, {0, 1, 2});
        });
    });
}

// Every seed, the bundled scene first.
inline std::vector<Seed> All() {
    return {
        {"bundled.3ds", bundled_scene::Build()},
        {"meshes_materials.3ds", MeshesAndMaterials()},
        {"lights.3ds", Lights()},
        {"camera.3ds", Camera()},
        {"keyframer.3ds", Keyframer()},
        {"triangle.3ds", Triangle()},
    };
}

}  // namespace seed_scenes
