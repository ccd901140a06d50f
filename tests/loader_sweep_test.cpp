// Robustness: a fixture holding every chunk kind of the table, loaded whole, cut at every
// length and with thousands of single-byte changes. Each load must succeed with a sound
// scene or fail with a reason; the sanitizers and the leak checker watch every one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "scene/loader.h"

namespace {

void WriteColorChunk(ChunkWriter& w, uint16_t id) {
    if (id == chunk::ColorByte || id == chunk::LinearColorByte) {
        w.Chunk(id, [&] { w.U8(200).U8(100).U8(50); });
    } else {
        w.Chunk(id, [&] { w.Floats({0.5f, 0.25f, 1.0f}); });
    }
}

void WritePercent(ChunkWriter& w) {
    w.Chunk(chunk::PercentInt, [&] { w.U16(40); });
}

template <class Body>
void WriteNodeChunk(ChunkWriter& w, uint16_t tag, uint16_t nodeId, const char* name, Body&& body) {
    w.Chunk(tag, [&] {
        w.Chunk(chunk::NodeId, [&] { w.U16(nodeId); });
        w.Chunk(chunk::NodeHeader, [&] { w.Name(name).U16(0).U16(0).U16(0xFFFF); });
        body();
    });
}

void WritePositionKeys(ChunkWriter& w, uint16_t id, float base) {
    w.Chunk(id, [&] {
        w.TrackHeader(2);
        w.KeyHeader(0, 0x0001).U32(0).Floats({base, base + 1, base + 2});
        w.KeyHeader(70000, 0x0018).Floats({base + 3, base + 4, base + 5});
    });
}

void WriteScalarKeys(ChunkWriter& w, uint16_t id) {
    w.Chunk(id, [&] { w.TrackHeader(1).KeyHeader(0, 0x0006).U32(0).U32(0).F32(45); });
}

// A scene that holds every chunk id of ChunkTable at least once, most with their usual
// parents and payloads.
std::vector<uint8_t> RichScene() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Version, [&] { w.U32(3); });
        w.Chunk(chunk::Editor, [&] {
            w.Chunk(chunk::MeshVersion, [&] { w.U32(3); });
            w.Chunk(chunk::MasterScale, [&] { w.F32(1); });
            w.Chunk(chunk::Background, [&] {
                WriteColorChunk(w, chunk::LinearColorFloat);
                WriteColorChunk(w, chunk::ColorFloat);
            });
            w.Empty(chunk::UseBackground);
            w.Chunk(chunk::Ambient, [&] {
                WriteColorChunk(w, chunk::ColorByte);
                WriteColorChunk(w, chunk::LinearColorFloat);
            });
            w.Chunk(chunk::Material, [&] {
                w.Chunk(chunk::MaterialName, [&] { w.Name("Red"); });
                w.Chunk(chunk::MaterialAmbient, [&] { WriteColorChunk(w, chunk::ColorByte); });
                w.Chunk(chunk::MaterialDiffuse, [&] { WriteColorChunk(w, chunk::ColorFloat); });
                w.Chunk(chunk::MaterialSpecular,
                        [&] { WriteColorChunk(w, chunk::LinearColorByte); });
                for (uint16_t id : std::initializer_list<uint16_t>{0xA040, 0xA041, 0xA050, 0xA052,
                                                                   0xA053, 0xA084}) {
                    w.Chunk(id, [&] { WritePercent(w); });
                }
                w.Chunk(chunk::MaterialShininess,
                        [&] { w.Chunk(chunk::PercentFloat, [&] { w.F32(0.5f); }); });
                for (uint16_t id : std::initializer_list<uint16_t>{0xA081, 0xA083, 0xA085, 0xA08C})
                    w.Empty(id);
                w.Chunk(0xA087, [&] { w.F32(1); });
                w.Chunk(chunk::MaterialShading, [&] { w.U16(3); });
                w.Chunk(0xA252, [&] { w.U16(1); });
                w.Chunk(chunk::TextureMap, [&] {
                    WritePercent(w);
                    w.Chunk(chunk::MapName, [&] { w.Name("bricks.gif"); });
                    w.Chunk(chunk::MapTiling, [&] { w.U16(0); });
                    for (uint16_t id : std::initializer_list<uint16_t>{0xA353, 0xA354, 0xA356,
                                                                       0xA358, 0xA35A, 0xA35C}) {
                        w.Chunk(id, [&] { w.F32(1); });
                    }
                });
                w.Chunk(chunk::OpacityMap, [&] {
                    w.Chunk(chunk::PercentFloat, [&] { w.F32(50); });
                    w.Chunk(chunk::MapName, [&] { w.Name("mask.png"); });
                    w.Chunk(chunk::MapTiling, [&] { w.U16(0x11); });
                    w.Chunk(chunk::MapRotation, [&] { w.F32(30); });
                });
                w.Chunk(chunk::ReflectionMap,
                        [&] { w.Chunk(chunk::MapName, [&] { w.Name("sky.gif"); }); });
                w.Chunk(chunk::BumpMap, [&] { WritePercent(w); });
            });
            WriteNamedMesh(w, "Box", [&] {
                WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0.5f, 0.5f, 1});
                w.Chunk(chunk::VertexFlags, [&] { w.U16(5).U16s({0, 0, 0, 0, 0}); });
                w.Chunk(chunk::TexCoords, [&] { w.U16(5).Floats({0, 0, 1, 0, 0, 1, 1, 1, 0, 0}); });
                WriteFaceList(w, {0, 1, 2, 1, 3, 2, 0, 4, 1, 1, 4, 3}, [&] {
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name("Red").U16(3).U16s({0, 2, 3}); });
                    w.Chunk(chunk::SmoothGroups, [&] { w.U32(1).U32(1).U32(1).U32(1); });
                });
                w.Chunk(chunk::MeshMatrix, [&] { w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 5, 6, 7}); });
                w.Chunk(chunk::MeshColor, [&] { w.U8(2); });
                w.Chunk(chunk::TexInfo, [&] { w.Fill(8, 0); });
                w.Chunk(0x4190, [&] { w.Fill(4, 0); });
            });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Lamp");
                w.Chunk(chunk::Light, [&] {
                    w.Floats({10, 20, 30});
                    WriteColorChunk(w, chunk::ColorFloat);
                    WriteColorChunk(w, chunk::LinearColorByte);
                    w.Chunk(chunk::Spotlight, [&] { w.Floats({0, 0, 0, 30, 45}); });
                    w.Empty(chunk::LightOff);
                    w.Empty(chunk::LightRayShadow);
                    w.Chunk(chunk::LightInnerRange, [&] { w.F32(10); });
                    w.Chunk(chunk::LightOuterRange, [&] { w.F32(100); });
                    w.Chunk(chunk::LightMultiplier, [&] { w.F32(1.5f); });
                });
            });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Cam");
                w.Chunk(chunk::Camera, [&] { w.Floats({0, -100, 0, 0, 0, 0, 0, 35}); });
            });
            w.Chunk(0x4F00, [&] { w.Fill(4, 1); });
            w.Chunk(0x7001, [&] { w.Fill(4, 2); });
            w.Chunk(0x7020, [&] { w.Fill(4, 3); });
            w.Chunk(0xC23D, [&] { w.Chunk(chunk::Version, [&] { w.U32(1); }); });
            w.Chunk(0x3DAA, [&] { WritePercent(w); });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(100); });
            WriteNodeChunk(w, chunk::AmbientNode, 0xFFFF, "$AMBIENT$",
                           [&] { WritePositionKeys(w, chunk::ColorTrack, 0); });
            WriteNodeChunk(w, chunk::ObjectNode, 0, "Box", [&] {
                w.Chunk(chunk::Pivot, [&] { w.Floats({0, 0, 0}); });
                w.Chunk(0xB011, [&] { w.Name("inst"); });
                WritePositionKeys(w, chunk::PositionTrack, 1);
                w.Chunk(chunk::RotationTrack, [&] {
                    w.TrackHeader(1).KeyHeader(0).Floats({0.5f, 0, 0, 1});
                });
                WriteScalarKeys(w, chunk::ScaleTrack);
                w.Chunk(0xB026, [&] { w.Fill(4, 0); });
                w.Chunk(0xB029, [&] { w.Fill(4, 0); });
            });
            WriteNodeChunk(w, chunk::CameraNode, 1, "Cam", [&] {
                WritePositionKeys(w, chunk::PositionTrack, 0);
                WriteScalarKeys(w, chunk::FovTrack);
                WriteScalarKeys(w, chunk::RollTrack);
            });
            WriteNodeChunk(w, chunk::TargetNode, 2, "Cam",
                           [&] { WritePositionKeys(w, chunk::PositionTrack, 10); });
            WriteNodeChunk(w, chunk::LightNode, 3, "Lamp",
                           [&] { WritePositionKeys(w, chunk::PositionTrack, 2); });
            WriteNodeChunk(w, chunk::LightTargetNode, 4, "Lamp",
                           [&] { WritePositionKeys(w, chunk::PositionTrack, 3); });
            WriteNodeChunk(w, chunk::SpotlightNode, 5, "Lamp",
                           [&] { WritePositionKeys(w, chunk::PositionTrack, 4); });
        });
    });
    return w.bytes;
}

// What every loaded scene must satisfy, whatever bytes it came from: counts match arrays,
// names fit their limit, every face points into its own mesh's vertices, key tracks exist
// for their counts, and the memory taken stays in proportion to the file.
void ExpectSoundScene(const Scene& scene, size_t fileSize) {
    ASSERT_GE(scene.objectCount, 0);
    for (int32_t i = 0; i < scene.objectCount; ++i) {
        const MeshObject& mesh = scene.objects[i];
        ASSERT_NE(mesh.name, nullptr);
        EXPECT_LE(std::strlen(mesh.name), 63u);
        ASSERT_GE(mesh.vertexCount, 0);
        ASSERT_GE(mesh.faceCount, 0);
        ASSERT_GE(mesh.texCoordCount, 0);
        ASSERT_LE(mesh.texCoordCount, mesh.vertexCount);
        if (mesh.faceCount > 0) {
            ASSERT_NE(mesh.faces, nullptr);
        }
        for (int32_t f = 0; f < mesh.faceCount; ++f) {
            const Face& face = mesh.faces[f];
            for (const Vertex* corner : {face.vertex0, face.vertex1, face.vertex2}) {
                ASSERT_GE(corner, mesh.vertices);
                ASSERT_LT(corner, mesh.vertices + mesh.vertexCount);
            }
            ASSERT_GE(face.material, -1);
            ASSERT_LT(face.material, scene.materialCount);
        }
        if (mesh.positionKeyCount > 0) {
            ASSERT_NE(mesh.positionKeyZ, nullptr);
        }
        if (mesh.rotationKeyCount > 0) {
            ASSERT_NE(mesh.rotationKeyAxisZ, nullptr);
        }
    }
    for (int32_t i = 0; i < scene.cameraCount; ++i) {
        const Camera& camera = scene.cameras[i];
        ASSERT_NE(camera.name, nullptr);
        if (camera.positionKeyCount > 0) {
            ASSERT_NE(camera.positionKeyZ, nullptr);
        }
        if (camera.targetKeyCount > 0) {
            ASSERT_NE(camera.targetKeyZ, nullptr);
        }
    }
    for (int32_t i = 0; i < scene.lightCount; ++i)
        ASSERT_NE(scene.lights[i].name, nullptr);
    for (int32_t i = 0; i < scene.materialCount; ++i) {
        const Material& material = scene.materials[i];
        ASSERT_NE(material.name, nullptr);
        for (const MaterialMap* map : {&material.textureMap, &material.opacityMap}) {
            if (map->fileName != nullptr) {
                EXPECT_LE(std::strlen(map->fileName), 63u);
            }
        }
    }
    EXPECT_LE(scene.arena.bytesReserved, 64 * fileSize + (1u << 20));
}

// Loads `bytes`; returns whether it loaded. A failure must give a one-line reason.
bool LoadSoundly(const std::vector<uint8_t>& bytes) {
    ScenePtr scene = LoadBytes(bytes);
    if (scene == nullptr) {
        const std::string& message = LastLoadError().message;
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        return false;
    }
    EXPECT_EQ(LastLoadError().message, "");
    ExpectSoundScene(*scene, bytes.size());
    return true;
}

TEST(LoadSweep, RichSceneHoldsEveryChunkKindAndLoads) {
    static std::set<int32_t> rows;
    rows.clear();
    loaderState.observer = [](int32_t, uint16_t, int64_t, uint32_t, int32_t row) {
        rows.insert(row);
    };
    const std::vector<uint8_t> bytes = RichScene();
    ScenePtr scene = LoadBytes(bytes);
    loaderState.observer = nullptr;
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    for (int32_t row = 0; row < kChunkTableRows; ++row) {
        EXPECT_EQ(rows.count(row), 1u) << "row " << row << " id " << std::hex << ChunkTable[row].id;
    }
    EXPECT_EQ(rows.count(-1), 0u);
    ExpectSoundScene(*scene, bytes.size());
    ASSERT_EQ(scene->objectCount, 1);
    EXPECT_EQ(scene->objects[0].faces[2].material, 0);
    EXPECT_EQ(scene->objects[0].faces[1].material, -1);
    EXPECT_EQ(scene->objects[0].positionKeyCount, 2);
    EXPECT_EQ(scene->cameras[0].targetKeyCount, 2);
    EXPECT_EQ(scene->lights[0].color255[2], 255);
    // The values of the chunks that reach records beyond the wireframe.
    EXPECT_EQ(scene->lights[0].emitColor[0], 200 / 255.0f);
    EXPECT_EQ(scene->backgroundColor[0], 0.5f);
    EXPECT_EQ(scene->useBackground, 1);
    EXPECT_EQ(scene->ambientLight[1], 0.25f);
    EXPECT_EQ(scene->objects[0].faces[3].smoothing, 1u);
    EXPECT_EQ(scene->objects[0].texCoordCount, 5);
    const Material& red = scene->materials[0];
    EXPECT_EQ(red.diffuse[2], 1.0f);
    EXPECT_EQ(red.shininess, 0.005f);  // the float percentage after the integer one
    EXPECT_STREQ(red.textureMap.fileName, "bricks.gif");
    EXPECT_EQ(red.opacityMap.amount, 0.5f);
    EXPECT_EQ(red.opacityMap.tiling, 0x11);
}

TEST(LoadSweep, EveryTruncatedPrefixLoadsOrFailsCleanly) {
    const std::vector<uint8_t> bytes = RichScene();
    size_t loaded = 0;
    for (size_t length = 0; length < bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + length);
        if (LoadSoundly(prefix)) ++loaded;
        if (HasFailure()) break;
    }
    // The empty file, and prefixes that end where the main chunk's header is cut, load.
    EXPECT_GE(loaded, 6u);
}

TEST(LoadSweep, SingleByteChangesLoadOrFailCleanly) {
    const std::vector<uint8_t> bytes = RichScene();
    std::mt19937 random(20240531);
    std::uniform_int_distribution<int> byteValue(0, 255);
    size_t loaded = 0, loads = 0;
    for (size_t at = 0; at < bytes.size(); ++at) {
        const uint8_t original = bytes[at];
        for (uint8_t value : {static_cast<uint8_t>(original ^ 0xFF), static_cast<uint8_t>(0),
                              static_cast<uint8_t>(byteValue(random))}) {
            if (value == original) continue;
            SCOPED_TRACE(::testing::Message() << "byte " << at << " = " << int{value});
            std::vector<uint8_t> changed = bytes;
            changed[at] = value;
            if (LoadSoundly(changed)) ++loaded;
            ++loads;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(loads, 2000u);
    EXPECT_GT(loaded, 0u);
}

}  // namespace
