// Colours, percentages, materials, maps, smoothing groups, texture-coordinate counts,
// background and ambient: what each chunk gives the records, routed by the chunk it stands
// under, with the defaults where the file says nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "scene/loader.h"

namespace {

constexpr bool kLinear = true;
constexpr bool kGamma = false;

// A colour chunk of either encoding: floats as given, or bytes of 255 x each component.
void WriteColor(ChunkWriter& w, bool bytes, bool linear, float r, float g, float b) {
    if (bytes) {
        w.Chunk(linear ? chunk::LinearColorByte : chunk::ColorByte, [&] {
            w.U8(static_cast<uint8_t>(r * 255)).U8(static_cast<uint8_t>(g * 255));
            w.U8(static_cast<uint8_t>(b * 255));
        });
    } else {
        w.Chunk(linear ? chunk::LinearColorFloat : chunk::ColorFloat, [&] { w.Floats({r, g, b}); });
    }
}

void ExpectColor(const float (&color)[3], float r, float g, float b) {
    EXPECT_EQ(color[0], r);
    EXPECT_EQ(color[1], g);
    EXPECT_EQ(color[2], b);
}

TEST(MaterialChunks, EveryFieldIsReadAndDefaultsStandWhereTheFileIsSilent) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteMaterial(w, "Full", [&] {
            w.Chunk(chunk::MaterialAmbient, [&] { WriteColor(w, true, kGamma, 0.2f, 0.4f, 0.6f); });
            w.Chunk(chunk::MaterialDiffuse,
                    [&] { WriteColor(w, false, kGamma, 0.25f, 0.5f, 0.75f); });
            w.Chunk(chunk::MaterialSpecular, [&] { WriteColor(w, false, kLinear, 1, 1, 0.5f); });
            const uint16_t fractions[] = {
                chunk::MaterialShininess,      chunk::MaterialShininessStrength,
                chunk::MaterialTransparency,   chunk::MaterialTransparencyFalloff,
                chunk::MaterialReflectionBlur, chunk::MaterialSelfIllumination};
            for (int i = 0; i < 6; ++i) {
                w.Chunk(fractions[i], [&] {
                    w.Chunk(chunk::PercentInt, [&] { w.U16(static_cast<uint16_t>(10 * (i + 1))); });
                });
            }
            w.Empty(chunk::MaterialTwoSided);
            w.Empty(chunk::MaterialAdditive);
            w.Empty(chunk::MaterialWire);
            w.Chunk(chunk::MaterialWireSize, [&] { w.F32(2.5f); });
            w.Chunk(chunk::MaterialShading, [&] { w.U16(1); });
        });
        WriteMaterial(w, "Bare", [] {});
    });
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->materialCount, 2);
    const Material& full = scene->materials[0];
    ExpectColor(full.ambient, 51 / 255.0f, 102 / 255.0f, 153 / 255.0f);
    ExpectColor(full.diffuse, 0.25f, 0.5f, 0.75f);
    ExpectColor(full.specular, 1, 1, 0.5f);
    EXPECT_EQ(full.colorsRead, kMaterialAmbientRead | kMaterialDiffuseRead | kMaterialSpecularRead);
    EXPECT_EQ(full.shininess, 10 / 100.0f);
    EXPECT_EQ(full.shininessStrength, 20 / 100.0f);
    EXPECT_EQ(full.transparency, 30 / 100.0f);
    EXPECT_EQ(full.transparencyFalloff, 40 / 100.0f);
    EXPECT_EQ(full.reflectionBlur, 50 / 100.0f);
    EXPECT_EQ(full.selfIllumination, 60 / 100.0f);
    EXPECT_EQ(full.twoSided, 1);
    EXPECT_EQ(full.additive, 1);
    EXPECT_EQ(full.wire, 1);
    EXPECT_EQ(full.wireSize, 2.5f);
    EXPECT_EQ(full.shading, 1);
    EXPECT_EQ(full.textureMap.present, 0);

    const Material& bare = scene->materials[1];
    ExpectColor(bare.ambient, 0.588f, 0.588f, 0.588f);
    ExpectColor(bare.diffuse, 0.588f, 0.588f, 0.588f);
    ExpectColor(bare.specular, 0.898f, 0.898f, 0.898f);
    EXPECT_EQ(bare.colorsRead, 0u);
    EXPECT_EQ(bare.shininess, 0.0f);
    EXPECT_EQ(bare.selfIllumination, 0.0f);
    EXPECT_EQ(bare.twoSided, 0);
    EXPECT_EQ(bare.wireSize, 1.0f);
    EXPECT_EQ(bare.shading, 3);
    for (const MaterialMap* map : {&bare.textureMap, &bare.opacityMap}) {
        EXPECT_EQ(map->present, 0);
        EXPECT_EQ(map->fileName, nullptr);
        EXPECT_EQ(map->amount, 1.0f);
        EXPECT_EQ(map->tiling, 0);
        EXPECT_EQ(map->uScale, 1.0f);
        EXPECT_EQ(map->vScale, 1.0f);
        EXPECT_EQ(map->uOffset, 0.0f);
        EXPECT_EQ(map->vOffset, 0.0f);
        EXPECT_EQ(map->rotation, 0.0f);
    }
}

// Under one chunk a linear colour wins over a gamma one in either order; otherwise the later
// colour wins. The same for bytes and floats, for materials, background, ambient and lights.
TEST(MaterialChunks, LinearColourWinsOverGammaUnderOneChunk) {
    struct Case {
        const char* name;
        std::vector<bool> linear;  // the kinds written in order; colour i is (0.2 i, 0.2, 1)
        float red;                 // the red that must remain
    };
    const Case cases[] = {
        {"gamma then linear", {kGamma, kLinear}, 0.2f},
        {"linear then gamma", {kLinear, kGamma}, 0.0f},
        {"two gammas", {kGamma, kGamma}, 0.2f},
        {"two linears", {kLinear, kLinear}, 0.2f},
        {"linear between gammas", {kGamma, kLinear, kGamma}, 0.2f},
    };
    for (bool bytes : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(bytes ? "bytes" : "floats");
            auto colors = [&](ChunkWriter& w) {
                for (size_t i = 0; i < c.linear.size(); ++i)
                    WriteColor(w, bytes, c.linear[i], 0.2f * static_cast<float>(i), 0.2f, 1);
            };
            ScenePtr scene = LoadEditor([&](ChunkWriter& w) {
                w.Chunk(chunk::Background, [&] { colors(w); });
                w.Chunk(chunk::Ambient, [&] { colors(w); });
                WriteMaterial(w, "M", [&] { w.Chunk(chunk::MaterialDiffuse, [&] { colors(w); }); });
                WriteNamedLight(w, "L", {0, 0, 0}, [&] { colors(w); });
            });
            ASSERT_NE(scene, nullptr);
            const float red =
                bytes ? static_cast<float>(static_cast<uint8_t>(c.red * 255)) / 255 : c.red;
            EXPECT_EQ(scene->backgroundColor[0], red);
            EXPECT_EQ(scene->ambientLight[0], red);
            EXPECT_EQ(scene->materials[0].diffuse[0], red);
            EXPECT_EQ(scene->lights[0].emitColor[0], red);
            EXPECT_EQ(scene->materials[0].diffuse[2], 1.0f);
            EXPECT_EQ(scene->backgroundRead, 1);
            EXPECT_EQ(scene->ambientRead, 1);
            EXPECT_EQ(scene->lights[0].emitColorRead, 1);
        }
    }
}

// A linear colour wins only under its own chunk: the next material's gamma colour stands.
TEST(MaterialChunks, LinearColourWinsOnlyUnderItsOwnChunk) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteMaterial(w, "A", [&] {
            w.Chunk(chunk::MaterialDiffuse, [&] { WriteColor(w, false, kLinear, 1, 0, 0); });
            w.Chunk(chunk::MaterialAmbient, [&] { WriteColor(w, false, kGamma, 0, 1, 0); });
        });
        WriteMaterial(w, "B", [&] {
            w.Chunk(chunk::MaterialDiffuse, [&] { WriteColor(w, false, kGamma, 0, 0, 1); });
        });
    });
    ASSERT_NE(scene, nullptr);
    ExpectColor(scene->materials[0].diffuse, 1, 0, 0);
    ExpectColor(scene->materials[0].ambient, 0, 1, 0);
    ExpectColor(scene->materials[1].diffuse, 0, 0, 1);
    EXPECT_EQ(scene->materials[1].colorsRead, kMaterialDiffuseRead);
}

TEST(MaterialChunks, PercentagesAreIntegersOrFloatsDividedBy100) {
    struct Case {
        const char* name;
        uint16_t id;
        uint32_t bits;  // u16 or float bits as written
        float fraction;
    };
    const auto floatBits = [](float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        return bits;
    };
    const Case cases[] = {
        {"integer", chunk::PercentInt, 75, 75 / 100.0f},
        {"integer zero", chunk::PercentInt, 0, 0.0f},
        {"integer is signed", chunk::PercentInt, 0xFFF6, -10 / 100.0f},
        {"integer above 100 kept", chunk::PercentInt, 250, 250 / 100.0f},
        {"float", chunk::PercentFloat, floatBits(12.5f), 12.5f / 100.0f},
        {"float 100", chunk::PercentFloat, floatBits(100.0f), 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenePtr scene = LoadEditor([&](ChunkWriter& w) {
            WriteMaterial(w, "M", [&] {
                w.Chunk(chunk::MaterialTransparency, [&] {
                    w.Chunk(c.id, [&] {
                        if (c.id == chunk::PercentInt) {
                            w.U16(static_cast<uint16_t>(c.bits));
                        } else {
                            w.U32(c.bits);
                        }
                    });
                });
            });
        });
        ASSERT_NE(scene, nullptr);
        EXPECT_EQ(scene->materials[0].transparency, c.fraction);
    }
}

TEST(MaterialChunks, MapsKeepTheirNameAndEveryParameter) {
    const std::string longName(80, 'x');
    ScenePtr scene = LoadEditor([&](ChunkWriter& w) {
        WriteMaterial(w, "Mapped", [&] {
            w.Chunk(chunk::TextureMap, [&] {
                w.Chunk(chunk::PercentInt, [&] { w.U16(60); });
                w.Chunk(chunk::MapName, [&] { w.Name("CWALL02.JPG"); });
                w.Chunk(chunk::MapTiling, [&] { w.U16(kMapMirror | kMapNoTile | kMapDecal); });
                w.Chunk(chunk::MapUScale, [&] { w.F32(2); });
                w.Chunk(chunk::MapVScale, [&] { w.F32(3); });
                w.Chunk(chunk::MapUOffset, [&] { w.F32(0.25f); });
                w.Chunk(chunk::MapVOffset, [&] { w.F32(-0.5f); });
                w.Chunk(chunk::MapRotation, [&] { w.F32(45); });
            });
            w.Chunk(chunk::OpacityMap, [&] {
                w.Chunk(chunk::PercentFloat, [&] { w.F32(30); });
                // A long name keeps 63 characters and is read on to its NUL.
                w.Chunk(chunk::MapName, [&] { w.Name(longName); });
                w.Chunk(chunk::MapVScale, [&] { w.F32(4); });
            });
            // Maps kept for no record: their names and parameters go nowhere.
            w.Chunk(chunk::ReflectionMap, [&] {
                w.Chunk(chunk::PercentInt, [&] { w.U16(5); });
                w.Chunk(chunk::MapName, [&] { w.Name("sky.gif"); });
                w.Chunk(chunk::MapUScale, [&] { w.F32(9); });
            });
        });
    });
    ASSERT_NE(scene, nullptr);
    const MaterialMap& texture = scene->materials[0].textureMap;
    EXPECT_EQ(texture.present, 1);
    EXPECT_STREQ(texture.fileName, "CWALL02.JPG");
    EXPECT_EQ(texture.amount, 60 / 100.0f);
    EXPECT_EQ(texture.tiling, 0x0013);
    EXPECT_EQ(texture.uScale, 2.0f);
    EXPECT_EQ(texture.vScale, 3.0f);
    EXPECT_EQ(texture.uOffset, 0.25f);
    EXPECT_EQ(texture.vOffset, -0.5f);
    EXPECT_EQ(texture.rotation, 45.0f);
    const MaterialMap& opacity = scene->materials[0].opacityMap;
    EXPECT_EQ(opacity.present, 1);
    EXPECT_EQ(opacity.fileName, longName.substr(0, 63));
    EXPECT_EQ(opacity.amount, 30 / 100.0f);
    EXPECT_EQ(opacity.uScale, 1.0f);
    EXPECT_EQ(opacity.vScale, 4.0f);
    EXPECT_EQ(scene->materials[0].shininess, 0.0f);
}

// A material's chunks describe only the material named in the same material chunk: not one
// opened in an earlier material chunk, and nothing outside a material chunk.
TEST(MaterialChunks, PropertiesOutsideTheirMaterialAreDropped) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        w.Chunk(chunk::MaterialDiffuse, [&] { WriteColor(w, false, kGamma, 1, 0, 0); });
        WriteMaterial(w, "First", [] {});
        w.Empty(chunk::MaterialTwoSided);
        w.Chunk(chunk::MaterialShading, [&] { w.U16(1); });
        w.Chunk(chunk::TextureMap, [&] { w.Chunk(chunk::MapName, [&] { w.Name("a.png"); }); });
        // A material chunk without a name: its chunks reach no material.
        w.Chunk(chunk::Material, [&] {
            w.Chunk(chunk::MaterialDiffuse, [&] { WriteColor(w, false, kGamma, 0, 1, 0); });
            w.Empty(chunk::MaterialWire);
        });
        // A name outside a material chunk opens a material that nothing describes.
        w.Chunk(chunk::MaterialName, [&] { w.Name("Loose"); });
        w.Chunk(chunk::MaterialShininess, [&] { w.Chunk(chunk::PercentInt, [&] { w.U16(50); }); });
    });
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->materialCount, 2);
    for (int32_t i = 0; i < 2; ++i) {
        const Material& m = scene->materials[i];
        SCOPED_TRACE(m.name);
        EXPECT_EQ(m.colorsRead, 0u);
        EXPECT_EQ(m.twoSided, 0);
        EXPECT_EQ(m.wire, 0);
        EXPECT_EQ(m.shading, 3);
        EXPECT_EQ(m.shininess, 0.0f);
        EXPECT_EQ(m.textureMap.present, 0);
        EXPECT_EQ(m.textureMap.fileName, nullptr);
    }
}

// Payloads too short for their value: the value is dropped and the load goes on, as these
// chunks were always skipped; a float colour cut short still fails (see MeshChunks).
TEST(MaterialChunks, ShortPayloadsAreDropped) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        w.Chunk(chunk::Background, [&] { w.Chunk(chunk::ColorByte, [&] { w.U8(1).U8(2); }); });
        WriteMaterial(w, "M", [&] {
            w.Chunk(chunk::MaterialAmbient,
                    [&] { w.Chunk(chunk::LinearColorByte, [&] { w.U8(9); }); });
            w.Chunk(chunk::MaterialShininess,
                    [&] { w.Chunk(chunk::PercentInt, [&] { w.U8(9); }); });
            w.Chunk(chunk::MaterialTransparency,
                    [&] { w.Chunk(chunk::PercentFloat, [&] { w.U16(9); }); });
            w.Chunk(chunk::MaterialWireSize, [&] { w.U16(9); });
            w.Chunk(chunk::MaterialShading, [&] { w.U8(1); });
            w.Chunk(chunk::TextureMap, [&] {
                w.Chunk(chunk::MapTiling, [&] { w.U8(1); });
                w.Chunk(chunk::MapRotation, [&] { w.U16(1); });
                w.Chunk(chunk::MapName, [&] { w.Chars("cut"); });  // no NUL: kept as read
            });
        });
    });
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->backgroundRead, 0);
    const Material& m = scene->materials[0];
    EXPECT_EQ(m.colorsRead, 0u);
    EXPECT_EQ(m.shininess, 0.0f);
    EXPECT_EQ(m.transparency, 0.0f);
    EXPECT_EQ(m.wireSize, 1.0f);
    EXPECT_EQ(m.shading, 3);
    EXPECT_EQ(m.textureMap.present, 1);
    EXPECT_EQ(m.textureMap.tiling, 0);
    EXPECT_EQ(m.textureMap.rotation, 0.0f);
    EXPECT_STREQ(m.textureMap.fileName, "cut");
}

TEST(SceneChunks, BackgroundAndAmbientColours) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        w.Chunk(chunk::Background, [&] { WriteColor(w, false, kGamma, 0.1f, 0.2f, 0.3f); });
        w.Empty(chunk::UseBackground);
        w.Chunk(chunk::Ambient, [&] { WriteColor(w, true, kGamma, 0.2f, 0.4f, 0.6f); });
    });
    ASSERT_NE(scene, nullptr);
    ExpectColor(scene->backgroundColor, 0.1f, 0.2f, 0.3f);
    EXPECT_EQ(scene->backgroundRead, 1);
    EXPECT_EQ(scene->useBackground, 1);
    ExpectColor(scene->ambientLight, 51 / 255.0f, 102 / 255.0f, 153 / 255.0f);
    EXPECT_EQ(scene->ambientRead, 1);

    // Without them: nothing read, black, and the flag counts only in the editor chunk.
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Empty(chunk::UseBackground);
        w.Chunk(chunk::Editor,
                [&] { WriteMaterial(w, "M", [&] { w.Empty(chunk::UseBackground); }); });
    });
    ScenePtr plain = LoadBytes(w.bytes);
    ASSERT_NE(plain, nullptr) << LastLoadError().message;
    EXPECT_EQ(plain->useBackground, 0);
    EXPECT_EQ(plain->backgroundRead, 0);
    EXPECT_EQ(plain->ambientRead, 0);
    ExpectColor(plain->backgroundColor, 0, 0, 0);
    ExpectColor(plain->ambientLight, 0, 0, 0);
}

// A light's own colour (emitColor) comes from any colour chunk directly under it; its older
// `color` still comes from float colours only, through the light's name, wherever they stand.
TEST(LightChunks, EmitColourFromEveryKindColourOnlyFromFloatsByName) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedLight(w, "Bytes", {0, 0, 0}, [&] { WriteColor(w, true, kGamma, 0.2f, 0.4f, 1); });
        WriteNamedLight(w, "Floats", {0, 0, 0}, [&] {
            WriteColor(w, false, kLinear, 0.5f, 0.5f, 0.5f);
            WriteColor(w, false, kGamma, 1, 0, 0);  // later: still `color`, but not emitColor
        });
        WriteNamedLight(w, "None", {0, 0, 0}, [] {});
        WriteNamedLight(w, "Lamp", {0, 0, 0}, [] {});
        // A material named like a light: its float colour still reaches the light's `color`,
        // and the material's own diffuse colour; the light's emitColor stays.
        WriteMaterial(w, "Lamp", [&] {
            w.Chunk(chunk::MaterialDiffuse, [&] { WriteColor(w, false, kGamma, 0.25f, 0.5f, 1); });
            w.Chunk(chunk::MaterialAmbient, [&] { WriteColor(w, true, kGamma, 0.2f, 0.2f, 0.2f); });
        });
    });
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->lightCount, 4);
    const Light& bytes = scene->lights[0];
    ExpectColor(bytes.emitColor, 51 / 255.0f, 102 / 255.0f, 1);
    EXPECT_EQ(bytes.emitColorRead, 1);
    ExpectColor(bytes.color, 0, 0, 0);
    EXPECT_EQ(bytes.color255[2], 0);

    const Light& floats = scene->lights[1];
    ExpectColor(floats.emitColor, 0.5f, 0.5f, 0.5f);
    ExpectColor(floats.color, 1, 0, 0);
    EXPECT_EQ(floats.color255[0], 255);

    const Light& none = scene->lights[2];
    ExpectColor(none.emitColor, 1, 1, 1);
    EXPECT_EQ(none.emitColorRead, 0);

    const Light& lamp = scene->lights[3];
    ExpectColor(lamp.color, 0.25f, 0.5f, 1);
    EXPECT_EQ(lamp.color255[1], 127);
    ExpectColor(lamp.emitColor, 1, 1, 1);
    EXPECT_EQ(lamp.emitColorRead, 0);
    ExpectColor(scene->materials[0].diffuse, 0.25f, 0.5f, 1);
}

// Smoothing groups: one u32 per face in face order, no count of its own.
TEST(MeshChunks, SmoothingGroupsCoverTheFacesThePayloadReaches) {
    struct Case {
        const char* name;
        size_t bytes;  // payload length: whole values 1, 2, 4, ... then a tail
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"one per face", 12, {1, 2, 4}}, {"shorter", 4, {1, 0, 0}}, {"longer", 20, {1, 2, 4}},
        {"odd-sized", 10, {1, 2, 0}},    {"empty", 0, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenePtr scene = LoadEditor([&](ChunkWriter& w) {
            WriteNamedMesh(w, "Box", [&] {
                WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                WriteFaceList(w, {0, 1, 2, 0, 2, 1, 1, 2, 0}, [&] {
                    w.Chunk(chunk::SmoothGroups, [&] {
                        std::vector<uint8_t> payload;
                        for (uint32_t i = 0; payload.size() < c.bytes; ++i) {
                            for (int b = 0; b < 4; ++b)
                                payload.push_back(static_cast<uint8_t>((1u << i) >> (8 * b)));
                        }
                        payload.resize(c.bytes);
                        for (uint8_t byte : payload)
                            w.U8(byte);
                    });
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name("X").U16(1).U16(0); });
                });
            });
        });
        ASSERT_NE(scene, nullptr);
        const MeshObject& mesh = scene->objects[0];
        ASSERT_EQ(mesh.faceCount, 3);
        for (int32_t f = 0; f < 3; ++f)
            EXPECT_EQ(mesh.faces[f].smoothing, c.expected[f]) << f;
    }
}

// Smoothing groups before the face list reach no face; each mesh keeps its own.
TEST(MeshChunks, SmoothingGroupsBeforeTheFacesAreDropped) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        w.Chunk(chunk::SmoothGroups, [&] { w.U32(8); });
        WriteNamedMesh(w, "Early", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
            w.Chunk(chunk::SmoothGroups, [&] { w.U32(8); });
            WriteFaceList(w, {0, 1, 2});
        });
        WriteNamedMesh(w, "Late", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
            WriteFaceList(w, {0, 1, 2});
            w.Chunk(chunk::SmoothGroups, [&] { w.U32(0x80000001u); });  // beside the face list
        });
    });
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->objects[0].faces[0].smoothing, 0u);
    EXPECT_EQ(scene->objects[1].faces[0].smoothing, 0x80000001u);
}

TEST(MeshChunks, TexCoordCountSaysWhichVerticesHaveCoordinates) {
    ScenePtr scene = LoadEditor([](ChunkWriter& w) {
        WriteNamedMesh(w, "Fewer", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
            w.Chunk(chunk::TexCoords, [&] { w.U16(2).Floats({0.5f, 0.25f, 1, 1}); });
        });
        WriteNamedMesh(w, "More", [&] {
            WriteVertexList(w, {0, 0, 0});
            w.Chunk(chunk::TexCoords, [&] { w.U16(2).Floats({0.5f, 0.25f, 1, 1}); });
        });
        WriteNamedMesh(w, "None", [&] { WriteVertexList(w, {0, 0, 0}); });
        WriteNamedMesh(w, "Replaced", [&] {
            WriteVertexList(w, {0, 0, 0});
            w.Chunk(chunk::TexCoords, [&] { w.U16(1).Floats({0.5f, 0.5f}); });
            WriteVertexList(w, {1, 1, 1, 2, 2, 2});  // new vertices, no coordinates yet
        });
    });
    ASSERT_NE(scene, nullptr);
    const MeshObject& fewer = scene->objects[0];
    EXPECT_EQ(fewer.texCoordCount, 2);
    EXPECT_EQ(fewer.vertices[1].u, 1.0f);
    EXPECT_EQ(fewer.vertices[2].u, 0.0f);
    EXPECT_EQ(fewer.vertices[2].v, 0.0f);
    EXPECT_EQ(scene->objects[1].texCoordCount, 1);
    EXPECT_EQ(scene->objects[2].texCoordCount, 0);
    EXPECT_EQ(scene->objects[3].texCoordCount, 0);
    EXPECT_EQ(scene->objects[3].vertices[0].u, 0.0f);
}

}  // namespace
