// The glTF export read back: primitives per material, the hierarchy with pivots against the
// keyframer's own world matrices at every frame, meshes where the viewer draws them, the
// axes, rotations past half a turn without a flip, instances, names and both containers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../tests/export/gltf_fixtures.h"
#include "export/gltf.h"
#include "gltf_reader.h"
#include "load_fixture.h"
#include "render/shade.h"
#include "scene/animation.h"

namespace {

using Files = std::map<std::string, std::vector<uint8_t>>;

GltfFile Export(const Scene& scene, GltfContainer container = GltfContainer::Binary) {
    GltfOptions options;
    options.container = container;
    options.fileName = container == GltfContainer::Binary ? "out.glb" : "out.gltf";
    Files files;
    GltfReport report;
    EXPECT_TRUE(ExportGltfToMemory(scene, options, files, report)) << report.error;
    return ReadGltf(files, options.fileName);
}

// The glTF node carrying each keyframer object node's mesh, found by name (the fixtures'
// names are unique).
int NodeNamed(const GltfFile& file, const std::string& name, bool withMesh) {
    const nlohmann::json& nodes = file.json["nodes"];
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].value("name", "") == name && (!withMesh || nodes[i].contains("mesh"))) {
            return static_cast<int>(i);
        }
    }
    ADD_FAILURE() << "no node " << name;
    return 0;
}

// The root's turn: file (x, y, z) to glTF (x, z, -y).
GltfMatrix RootTurn() {
    return {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
}

// A row-vector matrix of the file's axes as a glTF matrix: the same 16 numbers.
GltfMatrix FromRowVector(const Matrix4& m) {
    GltfMatrix out;
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<double>(m[i]);
    return out;
}

void ExpectMatrixNear(const GltfMatrix& actual, const GltfMatrix& expected, double tolerance,
                      const std::string& what) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " element " << i;
}

TEST(GltfExport, OnePrimitivePerMaterialWithUnitNormals) {
    ScenePtr scene = LoadBytes(gltf_fixtures::TwoMaterialBox());
    ASSERT_NE(scene, nullptr);
    const GltfFile file = Export(*scene);
    ASSERT_EQ(file.json["meshes"].size(), 1u);
    const nlohmann::json& primitives = file.json["meshes"][0]["primitives"];
    ASSERT_EQ(primitives.size(), 2u);
    EXPECT_EQ(file.json["materials"].size(), 2u);
    size_t triangles[2] = {};
    for (int p = 0; p < 2; ++p) {
        const int material = primitives[p]["material"].get<int>();
        EXPECT_EQ(file.json["materials"][material]["name"], p == 0 ? "Red" : "Blue");
        const std::vector<double> indices =
            AccessorValues(file, primitives[p]["indices"].get<int>());
        triangles[p] = indices.size() / 3;
        const std::vector<double> normals =
            AccessorValues(file, primitives[p]["attributes"]["NORMAL"].get<int>());
        for (size_t i = 0; i < normals.size(); i += 3) {
            EXPECT_NEAR(std::hypot(normals[i], normals[i + 1], normals[i + 2]), 1.0, 1e-6);
        }
    }
    EXPECT_EQ(triangles[0], 8u);
    EXPECT_EQ(triangles[1], 4u);
}

TEST(GltfExport, NormalsAreTheShadedModesCornerNormals) {
    // The box flat (group 0), smooth (one group shared by every face), smooth but with "Red"
    // flat-shaded, and smooth by side: every corner's exported normal is the one the shaded
    // modes light it with, corners of one vertex with different normals are separate
    // vertices, and each material keeps one primitive.
    const struct {
        const char* what;
        std::vector<uint32_t> groups;
        bool flatRed;
        size_t vertices[2];  // Red's, Blue's
    } cases[] = {
        {"flat", std::vector<uint32_t>(12, 0), false, {16, 8}},
        {"one group", std::vector<uint32_t>(12, 1), false, {8, 8}},
        {"flat-shaded material", std::vector<uint32_t>(12, 1), true, {16, 8}},
        {"group per side", {1, 1, 2, 2, 1, 1, 2, 2, 4, 4, 4, 4}, false, {16, 8}},
    };
    for (const auto& c : cases) {
        ScenePtr scene = LoadBytes(gltf_fixtures::TwoMaterialBox(c.groups, c.flatRed));
        ASSERT_NE(scene, nullptr) << c.what;
        const MeshObject& mesh = scene->objects[0];
        std::vector<float> shaded;
        ComputeCornerNormals(mesh, scene->materials, scene->materialCount, shaded);
        const GltfFile file = Export(*scene);
        const nlohmann::json& primitives = file.json["meshes"][0]["primitives"];
        ASSERT_EQ(primitives.size(), 2u) << c.what;
        for (int p = 0; p < 2; ++p) {
            const std::vector<double> normals =
                AccessorValues(file, primitives[p]["attributes"]["NORMAL"].get<int>());
            const std::vector<double> indices =
                AccessorValues(file, primitives[p]["indices"].get<int>());
            EXPECT_EQ(normals.size() / 3, c.vertices[p]) << c.what << " primitive " << p;
            // The primitive's triangles are its material's faces in order, corners a, b, c
            // (vertex0, vertex2, vertex1); the file's axes turn the engine's (x, y, z) into
            // (x, z, y) and the planes' side round.
            size_t triangle = 0;
            for (int32_t f = 0; f < mesh.faceCount; ++f) {
                if (mesh.faces[f].material != p) continue;
                const int slot[3] = {0, 2, 1};
                for (int k = 0; k < 3; ++k) {
                    const float* e =
                        &shaded[static_cast<size_t>(f) * 9 + static_cast<size_t>(slot[k]) * 3];
                    const double expected[3] = {-static_cast<double>(e[0]),
                                                -static_cast<double>(e[2]),
                                                -static_cast<double>(e[1])};
                    const size_t v = static_cast<size_t>(indices.at(triangle * 3 + k));
                    for (int j = 0; j < 3; ++j)
                        EXPECT_NEAR(normals[v * 3 + j], expected[j], 1e-6)
                            << c.what << " face " << f << " corner " << k;
                }
                ++triangle;
            }
            EXPECT_EQ(triangle * 3, indices.size()) << c.what;
        }
    }
}

TEST(GltfExport, FileZUpStandsAsGltfYUp) {
    // A vertex at file (1, 2, 3) must land at glTF (1, 3, -2): up stays up, and x and the
    // handedness are kept (a proper rotation, so faces keep their front).
    ScenePtr scene = LoadBytes(EditorFile([](ChunkWriter& w) {
        WriteNamedMesh(w, "Up", [&] {
            WriteVertexList(w, {1, 2, 3, 1, 2, 13, 11, 2, 3});
            WriteFaceList(w, {0, 2, 1});
        });
    }));
    ASSERT_NE(scene, nullptr);
    const GltfFile file = Export(*scene);
    const std::vector<GltfMatrix> world = WorldMatrices(file, TrsAtTime(file, 0.0));
    const int node = NodeNamed(file, "Up", true);
    const nlohmann::json& primitive = file.json["meshes"][0]["primitives"][0];
    const std::vector<double> p =
        AccessorValues(file, primitive["attributes"]["POSITION"].get<int>());
    const std::vector<double> indices = AccessorValues(file, primitive["indices"].get<int>());
    std::vector<std::array<double, 3>> corners;
    for (double i : indices)
        corners.push_back(Apply(world[node], &p[3 * static_cast<size_t>(i)]));
    // In file order a, b, c = (1, 2, 3), (11, 2, 3), (1, 2, 13).
    const double expected[3][3] = {{1, 3, -2}, {11, 3, -2}, {1, 13, -2}};
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(corners[c][k], expected[c][k], 1e-5) << c << " " << k;
    }
    // Counter-clockwise seen from the front: the face's normal (file -y, toward a viewer
    // looking along +y) is glTF +z.
    const std::vector<double> n =
        AccessorValues(file, primitive["attributes"]["NORMAL"].get<int>());
    const std::array<double, 3> normal =
        Apply({world[node][0], world[node][1], world[node][2], 0, world[node][4], world[node][5],
               world[node][6], 0, world[node][8], world[node][9], world[node][10], 0, 0, 0, 0, 1},
              n.data());
    EXPECT_NEAR(normal[2], 1.0, 1e-6);
    const double e1[3] = {corners[1][0] - corners[0][0], corners[1][1] - corners[0][1],
                          corners[1][2] - corners[0][2]};
    const double e2[3] = {corners[2][0] - corners[0][0], corners[2][1] - corners[0][1],
                          corners[2][2] - corners[0][2]};
    EXPECT_GT(e1[0] * e2[1] - e1[1] * e2[0], 0.0);  // (b - a) x (c - a) along +z
}

TEST(GltfExport, HierarchyWithPivotsMatchesTheKeyframerAtEveryFrame) {
    ScenePtr scene = LoadBytes(gltf_fixtures::PivotHierarchy());
    ASSERT_NE(scene, nullptr);
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    const GltfFile file = Export(*scene);
    ASSERT_TRUE(file.json.contains("animations"));
    // Each keyframer object node has the glTF node of its name (the instance by its
    // instance name).
    const char* names[4] = {"Base", "Arm", "Hand", "Hand2"};
    int nodes[4];
    for (int i = 0; i < 4; ++i)
        nodes[i] = NodeNamed(file, names[i], false);
    // Both nodes naming "Hand" share its mesh.
    EXPECT_EQ(file.json["meshes"].size(), 3u);
    for (int frame = 0; frame <= 30; ++frame) {
        EvaluateAnimation(animation, frame);
        const std::vector<GltfMatrix> world = WorldMatrices(file, TrsAtTime(file, frame / 30.0));
        for (int i = 0; i < 4; ++i) {
            const GltfMatrix expected =
                Multiply(RootTurn(), FromRowVector(animation.worldFile[static_cast<size_t>(i)]));
            ExpectMatrixNear(world[static_cast<size_t>(nodes[i])], expected, 2e-4,
                             std::string(names[i]) + " at frame " + std::to_string(frame));
        }
        // Every mesh where the viewer draws it: its stored vertices moved by the node's
        // object matrix (engine axes), turned to glTF's; a hidden mesh has no size.
        for (int i = 0; i < 4; ++i) {
            const MeshObject& object = scene->objects[animation.nodes[i].record];
            const int carrier = [&] {
                const nlohmann::json& node = file.json["nodes"][nodes[i]];
                if (node.contains("mesh")) return nodes[i];
                for (const nlohmann::json& child : node["children"]) {  // the mesh's own node
                    const nlohmann::json& c = file.json["nodes"][child.get<int>()];
                    if (c.contains("mesh") && c.value("name", "") == names[i]) {
                        return child.get<int>();
                    }
                }
                ADD_FAILURE() << names[i] << " carries no mesh";
                return nodes[i];
            }();
            const int mesh = file.json["nodes"][carrier]["mesh"].get<int>();
            const std::vector<double> p = AccessorValues(
                file,
                file.json["meshes"][mesh]["primitives"][0]["attributes"]["POSITION"].get<int>());
            const bool hidden = animation.hidden[static_cast<size_t>(i)] != 0;
            for (size_t v = 0; v < p.size() / 3; ++v) {
                const std::array<double, 3> at = Apply(world[carrier], &p[3 * v]);
                if (hidden) {
                    EXPECT_NEAR(std::hypot(at[0] - world[carrier][12], at[1] - world[carrier][13],
                                           at[2] - world[carrier][14]),
                                0.0, 1e-6);
                    continue;
                }
                // The nearest stored vertex, moved as the viewer moves it.
                double best = 1e30;
                for (int s = 0; s < object.vertexCount; ++s) {
                    const Vertex& sv = object.vertices[s];
                    const GltfMatrix m = FromRowVector(animation.object[static_cast<size_t>(i)]);
                    double e[3];
                    for (int c = 0; c < 3; ++c)
                        e[c] = static_cast<double>(sv.x) * m[c] +
                               static_cast<double>(sv.y) * m[4 + c] +
                               static_cast<double>(sv.z) * m[8 + c] + m[12 + c];
                    const double g[3] = {e[0], e[1], -e[2]};  // engine (x, z, y) -> (x, z, -y)
                    best = std::min(best, std::hypot(g[0] - at[0], g[1] - at[1], g[2] - at[2]));
                }
                EXPECT_LT(best, 2e-4) << names[i] << " vertex " << v << " frame " << frame;
            }
        }
    }
}

TEST(GltfExport, RotationPastHalfATurnDoesNotFlip) {
    ScenePtr scene = LoadBytes(gltf_fixtures::TurnPastHalf());
    ASSERT_NE(scene, nullptr);
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    const GltfFile file = Export(*scene);
    const nlohmann::json& animations = file.json["animations"][0];
    const nlohmann::json& channels = animations["channels"];
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0]["target"]["path"], "rotation");
    const nlohmann::json& sampler = animations["samplers"][channels[0]["sampler"].get<int>()];
    const std::vector<double> q = AccessorValues(file, sampler["output"].get<int>());
    ASSERT_EQ(q.size(), 31u * 4);
    for (size_t k = 1; k < 31; ++k) {
        const double dot = q[4 * k] * q[4 * k - 4] + q[4 * k + 1] * q[4 * k - 3] +
                           q[4 * k + 2] * q[4 * k - 2] + q[4 * k + 3] * q[4 * k - 1];
        EXPECT_GT(dot, 0.9) << "sample " << k;
        EXPECT_NEAR(std::sqrt(q[4 * k] * q[4 * k] + q[4 * k + 1] * q[4 * k + 1] +
                              q[4 * k + 2] * q[4 * k + 2] + q[4 * k + 3] * q[4 * k + 3]),
                    1.0, 1e-6);
    }
    // Between samples too, the glTF rotation follows the keyframer's turn closely.
    const int node = NodeNamed(file, "Spinner", true);
    for (double frame = 0.0; frame <= 30.0; frame += 0.25) {
        EvaluateAnimation(animation, frame);
        const std::vector<GltfMatrix> world = WorldMatrices(file, TrsAtTime(file, frame / 30.0));
        const GltfMatrix expected = Multiply(RootTurn(), FromRowVector(animation.worldFile[0]));
        ExpectMatrixNear(world[node], expected, std::fmod(frame, 1.0) == 0.0 ? 1e-6 : 2e-3,
                         "frame " + std::to_string(frame));
    }
}

TEST(GltfExport, TexturedQuadEmbedsItsMapWithItsTransform) {
    // The scene and its maps in a folder of their own: checker.png for "CHECKER.PNG", a BMP
    // for "GLOW.BMP".
    const std::string folder = FixturePath(".maps");
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(WriteBytesToFile(gltf_fixtures::CheckerPng(), (folder + "/checker.png").c_str()));
    ASSERT_TRUE(WriteBytesToFile({'B', 'M', 0, 0}, (folder + "/GLOW.bmp").c_str()));
    ScenePtr scene = LoadBytes(gltf_fixtures::TexturedQuad());
    ASSERT_NE(scene, nullptr);
    for (GltfContainer container : {GltfContainer::Binary, GltfContainer::Text}) {
        GltfOptions options;
        options.container = container;
        options.fileName = container == GltfContainer::Binary ? "quad.glb" : "quad.gltf";
        options.sceneFolder = folder;
        Files files;
        GltfReport report;
        ASSERT_TRUE(ExportGltfToMemory(*scene, options, files, report)) << report.error;
        const GltfFile file = ReadGltf(files, options.fileName);
        const nlohmann::json& json = file.json;
        ASSERT_EQ(json["images"].size(), 1u);
        const nlohmann::json& image = json["images"][0];
        std::vector<uint8_t> embedded;
        if (container == GltfContainer::Binary) {
            EXPECT_EQ(image["mimeType"], "image/png");
            const nlohmann::json& view = json["bufferViews"][image["bufferView"].get<int>()];
            const size_t offset = view.value("byteOffset", 0);
            embedded.assign(file.bin.begin() + static_cast<std::ptrdiff_t>(offset),
                            file.bin.begin() + static_cast<std::ptrdiff_t>(
                                                   offset + view["byteLength"].get<size_t>()));
        } else {
            EXPECT_EQ(image["uri"], "quad_checker.png");
            embedded = files.at("quad_checker.png");
        }
        EXPECT_EQ(embedded, gltf_fixtures::CheckerPng());
        // The material: its map with the transform, half transparent, two-sided.
        const nlohmann::json& checker = json["materials"][0];
        EXPECT_EQ(checker["name"], "Checker");
        const nlohmann::json& texture = checker["pbrMetallicRoughness"]["baseColorTexture"];
        EXPECT_EQ(json["textures"][texture["index"].get<int>()]["source"], 0);
        const nlohmann::json& transform = texture["extensions"]["KHR_texture_transform"];
        EXPECT_EQ(transform["scale"], nlohmann::json({2.0, 3.0}));
        EXPECT_NEAR(transform["rotation"].get<double>(), -30 * 3.14159265358979 / 180, 1e-6);
        EXPECT_NE(std::find(json["extensionsUsed"].begin(), json["extensionsUsed"].end(),
                            "KHR_texture_transform"),
                  json["extensionsUsed"].end());
        EXPECT_EQ(checker["alphaMode"], "BLEND");
        EXPECT_NEAR(checker["pbrMetallicRoughness"]["baseColorFactor"][3].get<double>(), 0.5, 1e-6);
        EXPECT_EQ(checker["doubleSided"], true);
        // The self-illuminated material glows its diffuse colour; its BMP map is noted.
        const nlohmann::json& glow = json["materials"][1];
        EXPECT_FALSE(glow["pbrMetallicRoughness"].contains("baseColorTexture"));
        EXPECT_NEAR(glow["emissiveFactor"][0].get<double>(), 0.588 * 0.8, 1e-3);
        bool noted = false;
        for (const std::string& note : report.notes)
            noted = noted || note.find("\"GLOW.BMP\"") != std::string::npos;
        EXPECT_TRUE(noted);
        // Texture coordinates, v down the image: the file's (0, 0) is glTF's (0, 1).
        const nlohmann::json& primitive = json["meshes"][0]["primitives"][0];
        ASSERT_TRUE(primitive["attributes"].contains("TEXCOORD_0"));
        const std::vector<double> uv =
            AccessorValues(file, primitive["attributes"]["TEXCOORD_0"].get<int>());
        const std::vector<double> p =
            AccessorValues(file, primitive["attributes"]["POSITION"].get<int>());
        for (size_t i = 0; i < uv.size() / 2; ++i) {
            // The quad spans x 0..10 and file z 0..10 (glTF y) with u = x / 10, v = z / 10.
            EXPECT_NEAR(uv[2 * i], p[3 * i] / 10, 1e-6);
            EXPECT_NEAR(uv[2 * i + 1], 1 - p[3 * i + 2] / 10, 1e-6);
        }
    }
    std::filesystem::remove_all(folder);
}

TEST(GltfExport, TextContainerWritesTheBufferBeside) {
    ScenePtr scene = LoadBytes(gltf_fixtures::PivotHierarchy());
    ASSERT_NE(scene, nullptr);
    GltfOptions options;
    options.container = GltfContainer::Text;
    options.fileName = "my model.gltf";
    Files files;
    GltfReport report;
    ASSERT_TRUE(ExportGltfToMemory(*scene, options, files, report));
    ASSERT_EQ(files.size(), 2u);
    ASSERT_EQ(files.count("my_model.bin"), 1u);
    const GltfFile text = ReadGltf(files, "my model.gltf");
    const GltfFile binary = Export(*scene);
    EXPECT_EQ(text.bin, binary.bin);
    nlohmann::json withoutUri = text.json;
    withoutUri["buffers"][0].erase("uri");
    EXPECT_EQ(withoutUri, binary.json);
}

TEST(GltfExport, FailingSinkFailsTheExport) {
    ScenePtr scene = LoadBytes(gltf_fixtures::TwoMaterialBox());
    ASSERT_NE(scene, nullptr);
    GltfSink sink;
    sink.begin = [](void*, const std::string&) { return true; };
    sink.write = [](void*, const void*, size_t) { return false; };
    sink.end = [](void*) { return true; };
    GltfReport report;
    EXPECT_FALSE(ExportGltf(*scene, GltfOptions{}, sink, report));
    EXPECT_NE(report.error, "");
}

TEST(GltfExport, NamesAreUtf8) {
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"Box01", "Box01"},
        {"Caf\xc3\xa9", "Caf\xc3\xa9"},                // UTF-8 stays
        {"Caf\xe9", "Caf\xc3\xa9"},                    // Latin-1 read as such
        {"a\x1b[2Jb", "a\\x1b[2Jb"},                   // control bytes written out
        {"\xc3\xa9\xff", "\xc3\x83\xc2\xa9\xc3\xbf"},  // not UTF-8 as a whole: Latin-1
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\\x80"},     // a surrogate is not UTF-8
    };
    for (const auto& c : cases)
        EXPECT_EQ(GltfName(c.name), c.expected) << c.name;
    EXPECT_EQ(GltfName(nullptr), "");
}

}  // namespace
