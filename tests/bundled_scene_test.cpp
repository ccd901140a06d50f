// The bundled scene: the committed file is exactly what its writer produces, and it loads
// into what the writer put there.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bundled_scene.h"
#include "scene/loader.h"

namespace {

const std::string kScenePath = std::string(TRELLIS_SOURCE_DIR) + "/assets/svet.3ds";

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BundledScene, CommittedFileIsExactlyWhatTheWriterProduces) {
    const std::vector<uint8_t> committed = ReadFile(kScenePath);
    const std::vector<uint8_t> written = bundled_scene::Build();
    ASSERT_FALSE(committed.empty()) << kScenePath;
    EXPECT_EQ(committed.size(), written.size());
    EXPECT_TRUE(committed == written)
        << "assets/svet.3ds is stale: rebuild it with `make_scene assets/svet.3ds`";
    EXPECT_LT(committed.size(), 256u * 1024u);
}

TEST(BundledScene, LoadsWithEveryKindOfRecord) {
    Scene* scene = LoadScene(kScenePath.c_str());
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    const std::vector<bundled_scene::Object> objects = bundled_scene::Objects();

    ASSERT_EQ(scene->objectCount, static_cast<int32_t>(objects.size()));
    for (size_t i = 0; i < objects.size(); ++i) {
        const MeshObject& mesh = scene->objects[i];
        SCOPED_TRACE(objects[i].name);
        EXPECT_STREQ(mesh.name, objects[i].name.c_str());
        EXPECT_EQ(mesh.vertexCount, static_cast<int32_t>(objects[i].mesh.positions.size()));
        EXPECT_EQ(mesh.faceCount, static_cast<int32_t>(objects[i].mesh.faces.size()));
        EXPECT_EQ(mesh.nodeId, static_cast<int32_t>(i));
        EXPECT_EQ(mesh.positionKeyCount, 2);
        EXPECT_EQ(mesh.rotationKeyCount, 2);
        // The file's (x, y, z) is stored as (x, z, y).
        const scene_geometry::Vec3& p = objects[i].mesh.positions[1];
        EXPECT_EQ(mesh.vertices[1].x, p[0]);
        EXPECT_EQ(mesh.vertices[1].y, p[2]);
        EXPECT_EQ(mesh.vertices[1].z, p[1]);
        for (int32_t f = 0; f < mesh.faceCount; ++f) {
            ASSERT_GE(mesh.faces[f].material, 0) << f;
            EXPECT_EQ(mesh.faces[f].smoothing, objects[i].mesh.smoothing[f]) << f;
        }
        EXPECT_EQ(mesh.texCoordCount, static_cast<int32_t>(objects[i].mesh.uvs.size()));
    }
    EXPECT_EQ(scene->objects[1].parentId, 0);
    EXPECT_EQ(scene->objects[0].parentId, 65535);

    ASSERT_EQ(scene->materialCount, 4);
    EXPECT_STREQ(scene->materials[0].name, "Jade");
    EXPECT_STREQ(scene->materials[3].name, "Grid");
    // Jade: its colours in bytes, shininess, Phong shading and a texture map.
    const Material& jade = scene->materials[0];
    EXPECT_EQ(jade.diffuse[0], 60 / 255.0f);
    EXPECT_EQ(jade.diffuse[1], 200 / 255.0f);
    EXPECT_EQ(jade.colorsRead, kMaterialAmbientRead | kMaterialDiffuseRead | kMaterialSpecularRead);
    EXPECT_EQ(jade.shininess, 40 / 100.0f);
    EXPECT_EQ(jade.shading, 3);
    EXPECT_STREQ(jade.textureMap.fileName, "jade.png");
    EXPECT_EQ(jade.textureMap.uScale, 2.0f);
    EXPECT_EQ(scene->materials[1].textureMap.present, 0);
    EXPECT_EQ(scene->ambientRead, 1);
    EXPECT_EQ(scene->backgroundRead, 0);

    ASSERT_EQ(scene->lightCount, 2);
    EXPECT_STREQ(scene->lights[0].name, "Sun");
    EXPECT_EQ(scene->lights[0].color255[0], 255);
    EXPECT_EQ(scene->lights[0].isSpot, 0);
    EXPECT_STREQ(scene->lights[1].name, "Spot");
    EXPECT_EQ(scene->lights[1].isSpot, 1);
    EXPECT_EQ(scene->lights[1].rayShadow, 1);
    EXPECT_EQ(scene->lights[1].color255[2], 255);
    EXPECT_EQ(scene->lights[1].emitColor[1], 0.7f);

    ASSERT_EQ(scene->cameraCount, 1);
    const Camera& camera = scene->cameras[0];
    EXPECT_STREQ(camera.name, "Camera01");
    EXPECT_EQ(camera.positionKeyCount, 1);
    EXPECT_EQ(camera.targetKeyCount, 1);
    // From its tracks the camera stands where the viewer's own camera does: 150 units
    // from the origin, 30 degrees above, looking at the origin.
    const float expected[16] = {-1, 0,     0,          0, 0, -0.8660254f, -0.5f,       0,
                                0,  -0.5f, 0.8660254f, 0, 0, 75,          -129.90381f, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(camera.matrix[i], expected[i], 2e-5f) << i;

    EXPECT_EQ(scene->segmentStart, 0u);
    EXPECT_EQ(scene->segmentEnd, 100u);
    FreeScene(scene);
}

}  // namespace
