// Mesh, material, light and camera chunks: what each stores, the axis exchange and corner
// order, names, and the checks on counts, indices and chunk order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "scene/loader.h"

namespace {

void WriteColor(ChunkWriter& w, uint16_t id, float r, float g, float b) {
    w.Chunk(id, [&] { w.Floats({r, g, b}); });
}

TEST(MeshChunks, VerticesExchangeAxesAndFacesReverseTheirCorners) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedMesh(w, "Box", [&] {
            WriteVertexList(w, {1, 2, 3, 4, 5, 6, 7, 8, 10});
            WriteFaceList(w, {0, 1, 2});
        });
    });
    ASSERT_NE(scene, nullptr);
    const MeshObject& mesh = scene->objects[0];
    ASSERT_EQ(mesh.vertexCount, 3);
    EXPECT_EQ(mesh.vertices[0].x, 1.0f);
    EXPECT_EQ(mesh.vertices[0].y, 3.0f);
    EXPECT_EQ(mesh.vertices[0].z, 2.0f);
    EXPECT_EQ(mesh.vertices[2].y, 10.0f);
    ASSERT_EQ(mesh.faceCount, 1);
    EXPECT_EQ(mesh.faces[0].vertex0, &mesh.vertices[0]);
    EXPECT_EQ(mesh.faces[0].vertex1, &mesh.vertices[2]);
    EXPECT_EQ(mesh.faces[0].vertex2, &mesh.vertices[1]);
    // Without texture coordinates or a material group the fields hold defined values.
    EXPECT_EQ(mesh.vertices[1].u, 0.0f);
    EXPECT_EQ(mesh.vertices[1].v, 0.0f);
    EXPECT_EQ(mesh.faces[0].material, -1);
}

TEST(MeshChunks, CameraAndMeshMatrixKeepTheFileOrder) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedMesh(w, "Box", [&] {
            w.Chunk(chunk::MeshMatrix, [&] { w.Floats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}); });
        });
        w.Chunk(chunk::NamedObject, [&] {
            w.Name("Cam");
            w.Chunk(chunk::Camera, [&] { w.Floats({1, 2, 3, 4, 5, 6, 7, 8}); });
        });
    });
    ASSERT_NE(scene, nullptr);
    const Matrix4 expected = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1};
    EXPECT_EQ(scene->objects[0].matrix, expected);
    ASSERT_EQ(scene->cameraCount, 1);
    const Camera& camera = scene->cameras[0];
    EXPECT_STREQ(camera.name, "Cam");
    EXPECT_EQ(camera.position[0], 1.0f);
    EXPECT_EQ(camera.position[1], 2.0f);
    EXPECT_EQ(camera.position[2], 3.0f);
    EXPECT_EQ(camera.target[0], 4.0f);
    EXPECT_EQ(camera.target[2], 6.0f);
    EXPECT_EQ(camera.bank, 7.0f);
    EXPECT_EQ(camera.lens, 8.0f);
    EXPECT_EQ(camera.positionKeyCount, 0);
    EXPECT_EQ(camera.positionKeyX, nullptr);
}

TEST(MeshChunks, LightChunksFillTheOpenLight) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedLight(w, "Spot", {1, 2, 3}, [&] {
            w.Chunk(chunk::Spotlight, [&] {
                w.Floats({4, 5, 6, 30, 45});
                // Under the spotlight, which walks no children: never seen.
                w.Empty(chunk::LightRayShadow);
            });
            w.Chunk(chunk::LightInnerRange, [&] { w.F32(10); });
            w.Chunk(chunk::LightOuterRange, [&] { w.F32(20); });
            w.Chunk(chunk::LightMultiplier, [&] { w.F32(1.5f); });
            w.Empty(chunk::LightOff);
            WriteColor(w, chunk::ColorFloat, 0.1f, 0.1f, 0.1f);
            WriteColor(w, chunk::LinearColorFloat, 1.0f, 0.5f, 0.0f);  // the later one wins
        });
        WriteNamedLight(w, "Plain", {0, 0, 0}, [&] { w.Empty(chunk::LightRayShadow); });
    });
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->lightCount, 2);
    const Light& spot = scene->lights[0];
    EXPECT_STREQ(spot.name, "Spot");
    EXPECT_EQ(spot.isSpot, 1);
    EXPECT_EQ(spot.isOff, 1);
    EXPECT_EQ(spot.rayShadow, 0);
    EXPECT_EQ(spot.position[1], 3.0f);
    EXPECT_EQ(spot.position[2], 2.0f);
    EXPECT_EQ(spot.target[0], 4.0f);
    EXPECT_EQ(spot.target[1], 6.0f);
    EXPECT_EQ(spot.target[2], 5.0f);
    EXPECT_EQ(spot.hotspot, 30.0f);
    EXPECT_EQ(spot.falloff, 45.0f);
    EXPECT_EQ(spot.innerRange, 10.0f);
    EXPECT_EQ(spot.outerRange, 20.0f);
    EXPECT_EQ(spot.multiplier, 1.5f);
    EXPECT_EQ(spot.color[1], 0.5f);
    EXPECT_EQ(spot.color255[0], 255);
    EXPECT_EQ(spot.color255[1], 127);
    EXPECT_EQ(spot.color255[2], 0);
    const Light& plain = scene->lights[1];
    EXPECT_EQ(plain.isSpot, 0);
    EXPECT_EQ(plain.rayShadow, 1);
    EXPECT_EQ(plain.isOff, 0);
}

// A colour goes to the first light named like currentName, wherever the colour stands: under
// the second of two lights of one name, and under a material named like a light.
TEST(MeshChunks, ColourReachesTheFirstLightOfTheCurrentName) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedLight(w, "Twin", {0, 0, 0}, [] {});
        WriteNamedLight(w, "Twin", {0, 0, 0}, [&] { WriteColor(w, chunk::ColorFloat, 0, 1, 0); });
        WriteNamedLight(w, "Lamp", {0, 0, 0}, [] {});
        w.Chunk(chunk::Material, [&] {
            w.Chunk(chunk::MaterialName, [&] { w.Name("Lamp"); });
            w.Chunk(chunk::MaterialDiffuse,
                    [&] { WriteColor(w, chunk::ColorFloat, 0.25f, 0.5f, 1.0f); });
        });
        w.Chunk(chunk::Material, [&] {
            w.Chunk(chunk::MaterialName, [&] { w.Name("NoSuchLight"); });
            w.Chunk(chunk::MaterialDiffuse, [&] { WriteColor(w, chunk::ColorFloat, 9, 9, 9); });
        });
    });
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->lightCount, 3);
    EXPECT_EQ(scene->lights[0].color[1], 1.0f);
    EXPECT_EQ(scene->lights[1].color[1], 0.0f);
    EXPECT_EQ(scene->lights[2].color[0], 0.25f);
    EXPECT_EQ(scene->lights[2].color255[2], 255);
}

// 255 x a colour component is truncated toward zero; values beyond the 32-bit range saturate
// and NaN gives 0 instead of an undefined conversion.
TEST(MeshChunks, ColourComponentsConvertWithoutOverflow) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedLight(w, "Lamp", {0, 0, 0}, [&] {
            WriteColor(w, chunk::ColorFloat, 1e30f, -1e30f,
                       std::numeric_limits<float>::quiet_NaN());
        });
        WriteNamedLight(w, "Dim", {0, 0, 0},
                        [&] { WriteColor(w, chunk::ColorFloat, -0.5f, 0.999f, 2); });
    });
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->lights[0].color255[0], INT32_MAX);
    EXPECT_EQ(scene->lights[0].color255[1], INT32_MIN);
    EXPECT_EQ(scene->lights[0].color255[2], 0);
    EXPECT_EQ(scene->lights[1].color255[0], -127);
    EXPECT_EQ(scene->lights[1].color255[1], 254);
    EXPECT_EQ(scene->lights[1].color255[2], 510);
}

TEST(MeshChunks, EmptyAndMissingListsGiveEmptyMeshes) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedMesh(w, "Bare", [] {});
        WriteNamedMesh(w, "Zero", [&] {
            w.Chunk(chunk::VertexList, [&] { w.U16(0); });
            // The face list's children start right after its count of 0.
            w.Chunk(chunk::FaceList, [&] {
                w.U16(0);
                w.Chunk(chunk::FaceMaterials, [&] { w.Name("M").U16(1).U16(0); });
            });
        });
        WriteMaterial(w, "After", [] {});
    });
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->objectCount, 2);
    EXPECT_EQ(scene->objects[0].vertexCount, 0);
    EXPECT_EQ(scene->objects[0].vertices, nullptr);
    EXPECT_EQ(scene->objects[0].faceCount, 0);
    EXPECT_EQ(scene->objects[0].faces, nullptr);
    EXPECT_EQ(scene->objects[0].nodeId, 0);
    EXPECT_EQ(scene->objects[0].positionKeyCount, 0);
    EXPECT_EQ(scene->objects[1].vertexCount, 0);
    EXPECT_EQ(scene->objects[1].faceCount, 0);
    ASSERT_EQ(scene->materialCount, 1);
    EXPECT_STREQ(scene->materials[0].name, "After");
}

// Names keep at most 63 characters; a longer name is read on to its NUL, so the chunks or
// values after it are read from the right place.
TEST(MeshChunks, LongNamesKeepTheirFirst63Characters) {
    for (size_t length : {size_t{0}, size_t{62}, size_t{63}, size_t{64}, size_t{200}}) {
        SCOPED_TRACE(length);
        std::string name;
        for (size_t i = 0; i < length; ++i)
            name += static_cast<char>('a' + i % 26);
        const std::string kept = name.substr(0, 63);
        ChunkWriter w;
        w.Chunk(chunk::Main, [&] {
            WriteNamedMesh(w, name, [&] {
                WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                WriteFaceList(w, {0, 1, 2}, [&] {
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name(name).U16(1).U16(0); });
                });
            });
            w.Chunk(chunk::Material,
                    [&] { w.Chunk(chunk::MaterialName, [&] { w.Name(name).Fill(10, 'x'); }); });
        });
        ScenePtr scene = LoadBytes(w.bytes);
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        ASSERT_EQ(scene->objectCount, 1);
        EXPECT_EQ(scene->objects[0].name, kept);
        EXPECT_EQ(scene->objects[0].vertexCount, 3);
        ASSERT_EQ(scene->materialCount, 1);
        EXPECT_EQ(scene->materials[0].name, kept);
        // The group ran before the material opened: no material of that name yet.
        EXPECT_EQ(scene->objects[0].faces[0].material, -1);
    }
}

// A name that runs into the end of the file: a material name or a face group's material
// name fails unless 63 characters were stored; an object name keeps what it read.
TEST(MeshChunks, NameAtTheEndOfTheFile) {
    struct Case {
        uint16_t id;
        size_t length;
        bool loads;
    };
    for (const Case& c : {Case{chunk::MaterialName, 10, false}, Case{chunk::MaterialName, 63, true},
                          Case{chunk::MaterialName, 70, true}, Case{chunk::NamedObject, 10, true},
                          Case{chunk::FaceMaterials, 62, false}}) {
        SCOPED_TRACE(c.id);
        SCOPED_TRACE(c.length);
        ChunkWriter w;
        w.Begin(chunk::Main).Begin(c.id).Chars(std::string(c.length, 'n')).End().End();
        ScenePtr scene = LoadBytes(w.bytes);
        EXPECT_EQ(scene != nullptr, c.loads) << LastLoadError().message;
        if (c.id == chunk::MaterialName && scene != nullptr) {
            ASSERT_EQ(scene->materialCount, 1);
            EXPECT_EQ(scene->materials[0].name, std::string(63, 'n'));
        }
    }
}

TEST(MeshChunks, FaceMaterialGroupsNameMaterialsOrNothing) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteMaterial(w, "Red", [] {});
        WriteMaterial(w, "Blue", [] {});
        WriteNamedMesh(w, "Box", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
            WriteFaceList(w, {0, 1, 2, 1, 3, 2, 0, 3, 1, 0, 2, 3}, [&] {
                w.Chunk(chunk::FaceMaterials, [&] { w.Name("Blue").U16(2).U16s({0, 1}); });
                w.Chunk(chunk::FaceMaterials, [&] { w.Name("Red").U16(1).U16s({1}); });
                w.Chunk(chunk::FaceMaterials, [&] { w.Name("Green").U16(1).U16s({2}); });
                // Entries past the face count (point and line primitives) are skipped.
                w.Chunk(chunk::FaceMaterials, [&] { w.Name("Red").U16(2).U16s({4, 65535}); });
            });
        });
    });
    ASSERT_NE(scene, nullptr);
    const MeshObject& mesh = scene->objects[0];
    ASSERT_EQ(mesh.faceCount, 4);
    EXPECT_EQ(mesh.faces[0].material, 1);
    EXPECT_EQ(mesh.faces[1].material, 0);   // the later group wins
    EXPECT_EQ(mesh.faces[2].material, -1);  // no material of that name
    EXPECT_EQ(mesh.faces[3].material, -1);  // no group names it
}

TEST(MeshChunks, TextureCoordinatesBeyondTheVerticesAreDropped) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedMesh(w, "Box", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0});
            w.Chunk(chunk::TexCoords, [&] { w.U16(3).Floats({0.25f, 0.5f, 0.75f, 1, 9, 9}); });
            w.Chunk(chunk::MeshMatrix, [&] { w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 7, 8, 9}); });
        });
    });
    ASSERT_NE(scene, nullptr);
    const MeshObject& mesh = scene->objects[0];
    ASSERT_EQ(mesh.vertexCount, 2);
    EXPECT_EQ(mesh.vertices[0].u, 0.25f);
    EXPECT_EQ(mesh.vertices[0].v, 0.5f);
    EXPECT_EQ(mesh.vertices[1].u, 0.75f);
    EXPECT_EQ(mesh.vertices[1].v, 1.0f);
    EXPECT_EQ(mesh.matrix[12], 7.0f);  // the chunk after the coordinates is read in place
}

// Chunks that need an open mesh or light before any was opened are read whole and dropped:
// the face list's children are still walked in place, and the records after them load.
TEST(MeshChunks, ChunksBeforeTheirRecordOpensAreDropped) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteVertexList(w, {1, 2, 3});
        WriteFaceList(w, {7, 8, 9},
                      [&] { w.Chunk(chunk::FaceMaterials, [&] { w.Name("X").U16(1).U16(5); }); });
        w.Chunk(chunk::TexCoords, [&] { w.U16(1).Floats({1, 1}); });
        w.Chunk(chunk::MeshMatrix, [&] { w.Fill(48, 0); });
        w.Chunk(chunk::Spotlight, [&] { w.Fill(20, 0); });
        w.Chunk(chunk::LightInnerRange, [&] { w.F32(1); });
        w.Empty(chunk::LightOff);
        w.Empty(chunk::LightRayShadow);
        WriteNamedMesh(w, "Box", [&] { WriteVertexList(w, {4, 5, 6}); });
        WriteNamedLight(w, "Lamp", {0, 0, 0}, [] {});
    });
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->objectCount, 1);
    EXPECT_EQ(scene->objects[0].vertexCount, 1);
    EXPECT_EQ(scene->objects[0].vertices[0].x, 4.0f);
    ASSERT_EQ(scene->lightCount, 1);
    EXPECT_EQ(scene->lights[0].isOff, 0);
    EXPECT_EQ(scene->lights[0].innerRange, 0.0f);
}

// Each record kind is counted once per opening chunk and filled in file order.
TEST(MeshChunks, RecordsOpenInFileOrder) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteMaterial(w, "M0", [] {});
        WriteNamedMesh(w, "O0", [] {});
        WriteNamedLight(w, "L0", {0, 0, 0}, [] {});
        WriteMaterial(w, "M1", [] {});
        w.Chunk(chunk::NamedObject, [&] {
            w.Name("C0");
            w.Chunk(chunk::Camera, [&] { w.Fill(32, 0); });
        });
        WriteNamedMesh(w, "O1", [] {});
        WriteNamedLight(w, "L1", {0, 0, 0}, [] {});
    });
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->objectCount, 2);
    ASSERT_EQ(scene->lightCount, 2);
    ASSERT_EQ(scene->materialCount, 2);
    ASSERT_EQ(scene->cameraCount, 1);
    EXPECT_STREQ(scene->objects[1].name, "O1");
    EXPECT_STREQ(scene->lights[1].name, "L1");
    EXPECT_STREQ(scene->materials[1].name, "M1");
    EXPECT_STREQ(scene->cameras[0].name, "C0");
    EXPECT_EQ(loaderState.nextObject, 2);
    EXPECT_EQ(loaderState.currentObject, &scene->objects[1]);
}

// Files that break a rule of the mesh chunks, and the reason each gives.
TEST(MeshChunks, MalformedPayloadsFailWithAReason) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;  // the message after "chunk 0x.... at offset N: "
    };
    const std::vector<Case> cases = {
        {"face list before the vertex list", EditorFile([](ChunkWriter& w) {
             WriteNamedMesh(w, "Box", [&] {
                 WriteFaceList(w, {0, 0, 0});
                 WriteVertexList(w, {0, 0, 0});
             });
         }),
         "face 0 of mesh \"Box\" names vertex 0 of 0"},
        {"vertex list after the faces", EditorFile([](ChunkWriter& w) {
             WriteNamedMesh(w, "Box", [&] {
                 WriteVertexList(w, {0, 0, 0});
                 WriteFaceList(w, {0, 0, 0});
                 WriteVertexList(w, {0, 0, 0, 1, 1, 1});
             });
         }),
         "mesh \"Box\" has a second vertex list after its faces"},
        {"faces past their chunk", EditorFile([](ChunkWriter& w) {
             WriteNamedMesh(w, "Box",
                            [&] { w.Chunk(chunk::FaceList, [&] { w.U16(2).Fill(15, 0); }); });
         }),
         "2 faces need 16 bytes, 15 left in the chunk"},
        {"texture coordinates past their chunk", EditorFile([](ChunkWriter& w) {
             w.Chunk(chunk::TexCoords, [&] { w.U16(65535).Fill(8, 0); });
         }),
         "65535 texture coordinates need 524280 bytes, 8 left in the chunk"},
        {"face indices past their chunk", EditorFile([](ChunkWriter& w) {
             w.Chunk(chunk::FaceMaterials, [&] { w.Name("M").U16(3).U16s({0, 1}); });
         }),
         "3 face indices need 6 bytes, 4 left in the chunk"},
        {"vertex count cut",
         EditorFile([](ChunkWriter& w) { w.Chunk(chunk::VertexList, [&] { w.U8(1); }); }),
         "the count of the vertices needs 2 bytes, 1 left in the chunk"},
        {"camera cut",
         EditorFile([](ChunkWriter& w) { w.Chunk(chunk::Camera, [&] { w.Fill(20, 0); }); }),
         "the camera needs 32 bytes, 20 left in the chunk"},
        {"light position cut",
         EditorFile([](ChunkWriter& w) { w.Chunk(chunk::Light, [&] { w.Fill(8, 0); }); }),
         "the light position needs 12 bytes, 8 left in the chunk"},
        {"spotlight cut",
         EditorFile([](ChunkWriter& w) { w.Chunk(chunk::Spotlight, [&] { w.Fill(16, 0); }); }),
         "the spotlight needs 20 bytes, 16 left in the chunk"},
        {"mesh matrix cut",
         EditorFile([](ChunkWriter& w) { w.Chunk(chunk::MeshMatrix, [&] { w.Fill(44, 0); }); }),
         "the mesh matrix needs 48 bytes, 44 left in the chunk"},
        {"colour cut",
         EditorFile([](ChunkWriter& w) { w.Chunk(chunk::ColorFloat, [&] { w.Fill(8, 0); }); }),
         "the colour needs 12 bytes, 8 left in the chunk"},
        {"multiplier cut", EditorFile([](ChunkWriter& w) { w.Empty(chunk::LightMultiplier); }),
         "the multiplier needs 4 bytes, 0 left in the chunk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadBytes(c.bytes), nullptr);
        const std::string& message = LastLoadError().message;
        const size_t colon = message.find(": ");
        ASSERT_NE(colon, std::string::npos) << message;
        EXPECT_EQ(message.substr(colon + 2), c.reason);
    }
}

// A file cut inside a vertex list, its chunks claiming their full lengths: the count runs
// past the end of the file.
TEST(MeshChunks, CountPastTheEndOfTheFileFails) {
    std::vector<uint8_t> bytes = EditorFile([](ChunkWriter& w) {
        WriteNamedMesh(w, "Box", [&] { WriteVertexList(w, {0, 0, 0, 1, 1, 1, 2, 2, 2}); });
    });
    bytes.resize(bytes.size() - 10);
    EXPECT_EQ(LoadBytes(bytes), nullptr);
    const std::string& message = LastLoadError().message;
    EXPECT_NE(message.find("3 vertices need 36 bytes, 26 left in the file"), std::string::npos)
        << message;
}

}  // namespace
