// The bundled scene: a torus knot around a sphere, a ring of cubes and a lattice floor,
// with materials, two lights, a camera and a keyframer section, as .3ds bytes.
//
// The viewer spins every mesh about the vertical axis through the origin (the file's z
// axis) and looks at it from 150 units away, 30 degrees above, with a 90-degree field of
// view; everything here stays inside that view at every angle of the turn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "scene_geometry.h"

namespace bundled_scene {

using scene_geometry::Mesh;
using scene_geometry::Vec3;

struct FaceGroup {
    std::string material;
    std::vector<uint16_t> faces;
};

struct Object {
    std::string name;
    Mesh mesh;
    std::vector<FaceGroup> groups;
    Vec3 origin;  // translation row of the mesh matrix
};

inline void WriteMesh(ChunkWriter& w, const Object& object) {
    const Mesh& mesh = object.mesh;
    WriteNamedMesh(w, object.name, [&] {
        w.Chunk(chunk::VertexList, [&] {
            w.U16(static_cast<uint16_t>(mesh.positions.size()));
            for (const Vec3& p : mesh.positions)
                w.F32(p[0]).F32(p[1]).F32(p[2]);
        });
        w.Chunk(chunk::TexCoords, [&] {
            w.U16(static_cast<uint16_t>(mesh.uvs.size()));
            for (const auto& uv : mesh.uvs)
                w.F32(uv[0]).F32(uv[1]);
        });
        w.Chunk(chunk::MeshMatrix, [&] {
            w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1});
            w.F32(object.origin[0]).F32(object.origin[1]).F32(object.origin[2]);
        });
        w.Chunk(chunk::FaceList, [&] {
            w.U16(static_cast<uint16_t>(mesh.faces.size()));
            for (const auto& f : mesh.faces)
                w.U16(f[0]).U16(f[1]).U16(f[2]).U16(7);
            for (const FaceGroup& group : object.groups) {
                w.Chunk(chunk::FaceMaterials, [&] {
                    w.Name(group.material).U16(static_cast<uint16_t>(group.faces.size()));
                    for (uint16_t f : group.faces)
                        w.U16(f);
                });
            }
            w.Chunk(chunk::SmoothGroups, [&] {
                for (uint32_t g : mesh.smoothing)
                    w.U32(g);
            });
        });
    });
}

inline void WriteMaterial(ChunkWriter& w, const std::string& name, uint8_t r, uint8_t g, uint8_t b,
                          const char* textureFile) {
    w.Chunk(chunk::Material, [&] {
        w.Chunk(chunk::MaterialName, [&] { w.Name(name); });
        for (uint16_t id :
             {chunk::MaterialAmbient, chunk::MaterialDiffuse, chunk::MaterialSpecular}) {
            w.Chunk(id, [&] { w.Chunk(chunk::ColorByte, [&] { w.U8(r).U8(g).U8(b); }); });
        }
        w.Chunk(chunk::MaterialShininess, [&] { w.Chunk(chunk::PercentInt, [&] { w.U16(40); }); });
        w.Chunk(chunk::MaterialShading, [&] { w.U16(3); });
        if (textureFile != nullptr) {
            w.Chunk(chunk::TextureMap, [&] {
                w.Chunk(chunk::PercentInt, [&] { w.U16(100); });
                w.Chunk(chunk::MapName, [&] { w.Name(textureFile); });
                w.Chunk(chunk::MapTiling, [&] { w.U16(0); });
                w.Chunk(chunk::MapUScale, [&] { w.F32(2.0f); });
            });
        }
    });
}

// One keyframer node: id, header (name, flags, parent), tracks written by `tracks`.
template <class Tracks>
void WriteNode(ChunkWriter& w, uint16_t tag, uint16_t id, const std::string& name, uint16_t parent,
               Tracks&& tracks) {
    w.Chunk(tag, [&] {
        w.Chunk(chunk::NodeId, [&] { w.U16(id); });
        w.Chunk(chunk::NodeHeader, [&] { w.Name(name).U16(0x4000).U16(0).U16(parent); });
        tracks();
    });
}

inline void PositionTrack(ChunkWriter& w, const std::vector<std::pair<uint32_t, Vec3>>& keys) {
    w.Chunk(chunk::PositionTrack, [&] {
        w.TrackHeader(static_cast<uint32_t>(keys.size()));
        for (const auto& [frame, p] : keys)
            w.KeyHeader(frame).F32(p[0]).F32(p[1]).F32(p[2]);
    });
}

inline void RotationTrack(ChunkWriter& w, uint32_t lastFrame, float turn) {
    w.Chunk(chunk::RotationTrack, [&] {
        w.TrackHeader(2);
        w.KeyHeader(0).Floats({0, 0, 0, 1});
        // An eased key: tension and continuity values follow its header.
        w.KeyHeader(lastFrame, 0x0003).Floats({turn, 0, 0, 1});
    });
}

inline std::vector<Object> Objects() {
    using namespace scene_geometry;
    std::vector<Object> objects;

    Object knot{"Knot", TorusKnot(2, 3, 14.5f, 4.2f, 144, 8), {}, {0, 0, 0}};
    knot.groups.push_back({"Jade", {}});
    for (size_t f = 0; f < knot.mesh.faces.size(); ++f) {
        knot.groups[0].faces.push_back(static_cast<uint16_t>(f));
    }
    objects.push_back(std::move(knot));

    Object core{"Core", Icosphere(10.0f, 2, {0, 0, 0}), {{"Brass", {}}}, {0, 0, 0}};
    for (size_t f = 0; f < core.mesh.faces.size(); ++f) {
        core.groups[0].faces.push_back(static_cast<uint16_t>(f));
    }
    objects.push_back(std::move(core));

    // Twelve faces per cube: even cubes in brass, odd ones in steel.
    Object ring{"Ring", CubeRing(8, 72.0f, 6.5f), {{"Brass", {}}, {"Steel", {}}}, {0, 0, 0}};
    for (size_t f = 0; f < ring.mesh.faces.size(); ++f) {
        ring.groups[(f / 12) % 2].faces.push_back(static_cast<uint16_t>(f));
    }
    objects.push_back(std::move(ring));

    Object moons{"Moons", Icosphere(5.0f, 1, {0, 0, 46}), {{"Steel", {}}}, {0, 0, 46}};
    const Mesh second = Icosphere(5.0f, 1, {0, 0, -30});
    const auto base = static_cast<uint16_t>(moons.mesh.positions.size());
    moons.mesh.positions.insert(moons.mesh.positions.end(), second.positions.begin(),
                                second.positions.end());
    moons.mesh.uvs.insert(moons.mesh.uvs.end(), second.uvs.begin(), second.uvs.end());
    for (const Tri& t : second.faces) {
        moons.mesh.faces.push_back({static_cast<uint16_t>(base + t[0]),
                                    static_cast<uint16_t>(base + t[1]),
                                    static_cast<uint16_t>(base + t[2])});
        moons.mesh.smoothing.push_back(2);
    }
    for (size_t f = 0; f < moons.mesh.faces.size(); ++f) {
        moons.groups[0].faces.push_back(static_cast<uint16_t>(f));
    }
    objects.push_back(std::move(moons));

    Object floor{"Floor", Lattice(16, 52.0f, -44.0f), {{"Grid", {}}}, {0, 0, -44}};
    for (size_t f = 0; f < floor.mesh.faces.size(); ++f) {
        floor.groups[0].faces.push_back(static_cast<uint16_t>(f));
    }
    objects.push_back(std::move(floor));
    return objects;
}

inline std::vector<uint8_t> Build() {
    const std::vector<Object> objects = Objects();
    const Vec3 cameraPosition = {0.0f, -129.90381f, 75.0f};
    const Vec3 cameraTarget = {0.0f, 0.0f, 0.0f};

    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Version, [&] { w.U32(3); });
        w.Chunk(chunk::Editor, [&] {
            w.Chunk(chunk::MeshVersion, [&] { w.U32(3); });
            WriteMaterial(w, "Jade", 60, 200, 140, "jade.png");
            WriteMaterial(w, "Brass", 200, 160, 60, nullptr);
            WriteMaterial(w, "Steel", 150, 160, 175, nullptr);
            WriteMaterial(w, "Grid", 90, 90, 90, nullptr);
            w.Chunk(chunk::MasterScale, [&] { w.F32(1.0f); });
            w.Chunk(chunk::Ambient, [&] {
                w.Chunk(chunk::ColorFloat, [&] { w.Floats({0.1f, 0.1f, 0.1f}); });
            });
            for (const Object& object : objects)
                WriteMesh(w, object);

            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Sun");
                w.Chunk(chunk::Light, [&] {
                    w.Floats({-80.0f, -60.0f, 120.0f});
                    w.Chunk(chunk::ColorFloat, [&] { w.Floats({1.0f, 0.92f, 0.75f}); });
                    w.Chunk(chunk::LightMultiplier, [&] { w.F32(1.2f); });
                });
            });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Spot");
                w.Chunk(chunk::Light, [&] {
                    w.Floats({60.0f, 40.0f, 90.0f});
                    w.Chunk(chunk::ColorFloat, [&] { w.Floats({0.5f, 0.7f, 1.0f}); });
                    w.Chunk(chunk::Spotlight, [&] { w.Floats({0.0f, 0.0f, 0.0f, 30.0f, 45.0f}); });
                    w.Chunk(chunk::LightRayShadow, [] {});
                    w.Chunk(chunk::LightInnerRange, [&] { w.F32(10.0f); });
                    w.Chunk(chunk::LightOuterRange, [&] { w.F32(400.0f); });
                    w.Chunk(chunk::LightMultiplier, [&] { w.F32(0.8f); });
                });
            });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Camera01");
                w.Chunk(chunk::Camera, [&] {
                    w.F32(cameraPosition[0]).F32(cameraPosition[1]).F32(cameraPosition[2]);
                    w.F32(cameraTarget[0]).F32(cameraTarget[1]).F32(cameraTarget[2]);
                    w.F32(0.0f).F32(35.0f);
                });
            });
        });

        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(100); });
            const uint16_t root = 0xFFFF;
            const uint16_t parents[] = {root, 0, root, 0, root};  // Core and Moons ride the Knot
            for (size_t i = 0; i < objects.size(); ++i) {
                const Object& object = objects[i];
                WriteNode(w, chunk::ObjectNode, static_cast<uint16_t>(i), object.name, parents[i],
                          [&] {
                              w.Chunk(chunk::Pivot, [&] { w.Floats({0, 0, 0}); });
                              PositionTrack(w, {{0, object.origin}, {100, object.origin}});
                              RotationTrack(w, 100, 6.2831853f);
                          });
            }
            const auto cameraId = static_cast<uint16_t>(objects.size());
            WriteNode(w, chunk::CameraNode, cameraId, "Camera01", root, [&] {
                PositionTrack(w, {{0, cameraPosition}});
                w.Chunk(chunk::FovTrack, [&] { w.TrackHeader(1).KeyHeader(0).F32(54.4f); });
                w.Chunk(chunk::RollTrack, [&] { w.TrackHeader(1).KeyHeader(0).F32(0.0f); });
            });
            WriteNode(w, chunk::TargetNode, static_cast<uint16_t>(cameraId + 1), "Camera01", root,
                      [&] {
                          PositionTrack(w, {{0, cameraTarget}});
                      });
        });
    });
    return w.bytes;
}

}  // namespace bundled_scene
