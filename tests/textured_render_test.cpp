// Textured faces in the lit modes: a checkerboard map on a quad drawn exactly where its texels
// fall (nearest) and close to the filtered colour (bilinear), the tile, mirror and decal
// flags, an opacity map, the level of detail of a receding floor, faces that keep their
// material's colour, and one thread against two, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/frame_render.h"
#include "render/line_stepper.h"
#include "render/texture.h"
#include "render/wireframe.h"
#include "scene/loader.h"

#include "frame_hash.h"
#include "jade_map.h"
#include "load_fixture.h"
#include "view_camera.h"

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
using Frame = std::vector<uint32_t>;

// A quad facing the camera (which looks along +z from the origin) at view depth `z`,
// covering exactly the pixels [left, right) x [top, bottom) of the 64 x 48 frame, with
// texture coordinates (0, 0) at its bottom left and (1, 1) at its top right.
struct Quad {
    float z;
    int left, top, right, bottom;
    const char* material;
    bool texCoords = true;
};

// A map chunk (texture 0xA200 or opacity 0xA210) with its flags and u and v scale.
struct MapChunk {
    uint16_t id = 0;  // 0: none
    uint16_t tiling = 0;
    float scale = 1.0f;
};

struct MaterialSpec {
    const char* name;
    uint8_t diffuse[3];
    MapChunk map;
    MapChunk opacity;
};

void WriteMap(ChunkWriter& w, const MapChunk& map, const char* file) {
    if (map.id == 0) return;
    w.Chunk(map.id, [&] {
        w.Chunk(chunk::PercentInt, [&] { w.U16(100); });
        w.Chunk(chunk::MapName, [&] { w.Name(file); });
        w.Chunk(chunk::MapTiling, [&] { w.U16(map.tiling); });
        w.Chunk(chunk::MapUScale, [&] { w.F32(map.scale); });
        w.Chunk(chunk::MapVScale, [&] { w.F32(map.scale); });
    });
}

// Materials that glow in their own colour (self-illumination 100 %, no highlight, both sides
// alike), so that a pixel's colour is exactly its diffuse colour under the map.
ScenePtr QuadScene(const std::vector<MaterialSpec>& materials, const std::vector<Quad>& quads) {
    SetProjection(kWidth, kHeight);
    const auto focal = static_cast<double>(CurrentProjection().focalScale);
    return LoadEditor([&](ChunkWriter& w) {
        for (const MaterialSpec& m : materials) {
            WriteMaterial(w, m.name, [&] {
                w.Chunk(chunk::MaterialDiffuse, [&] {
                    w.Chunk(chunk::ColorByte,
                            [&] { w.U8(m.diffuse[0]).U8(m.diffuse[1]).U8(m.diffuse[2]); });
                });
                w.Chunk(chunk::MaterialSelfIllumination,
                        [&] { w.Chunk(chunk::PercentInt, [&] { w.U16(100); }); });
                w.Empty(chunk::MaterialTwoSided);
                WriteMap(w, m.map, "check.png");
                WriteMap(w, m.opacity, "mask.png");
            });
        }
        int n = 0;
        for (const Quad& q : quads) {
            WriteNamedMesh(w, "Quad" + std::to_string(n++), [&] {
                const auto x = [&](int px) {
                    return static_cast<float>((px - kWidth / 2) * static_cast<double>(q.z) / focal);
                };
                const auto y = [&](int py) {
                    return static_cast<float>((py - kHeight / 2) * static_cast<double>(q.z) /
                                              focal);
                };
                // File order (x, y, z) is engine (x, z, y): the file's y is the depth.
                WriteVertexList(w, {x(q.left), q.z, y(q.top), x(q.right), q.z, y(q.top), x(q.right),
                                    q.z, y(q.bottom), x(q.left), q.z, y(q.bottom)});
                if (q.texCoords) {
                    w.Chunk(chunk::TexCoords, [&] { w.U16(4).Floats({0, 1, 1, 1, 1, 0, 0, 0}); });
                }
                WriteFaceList(w, {0, 1, 2, 0, 2, 3}, [&] {
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name(q.material).U16(2).U16s({0, 1}); });
                });
            });
        }
    });
}

// A 4 x 4 map, rows top first: each texel its own colour, the checkerboard in blue.
constexpr int kSide = 4;
std::vector<uint8_t> Checkerboard() {
    std::vector<uint8_t> rgba;
    for (int row = 0; row < kSide; ++row) {
        for (int col = 0; col < kSide; ++col) {
            const bool white = ((row + col) & 1) != 0;
            rgba.insert(rgba.end(),
                        {static_cast<uint8_t>(30 + 60 * col), static_cast<uint8_t>(30 + 60 * row),
                         static_cast<uint8_t>(white ? 250 : 10), 255});
        }
    }
    return rgba;
}

uint32_t CheckerTexel(int col, int row) {
    const bool white = ((row + col) & 1) != 0;
    return static_cast<uint32_t>(30 + 60 * col) << 16 | static_cast<uint32_t>(30 + 60 * row) << 8 |
           (white ? 250u : 10u);
}

// Textures and one sampler per material of a scene, as the viewer prepares them.
struct SceneMapsForTest {
    TextureMemory memory;
    std::vector<Texture> textures;
    std::vector<MapSampler> texture, opacity;

    // `images`: per file name the pixels (rows top first) and their size.
    struct Image {
        const char* file;
        std::vector<uint8_t> rgba;
        int width, height;
    };
    SceneMapsForTest(const Scene& scene, const std::vector<Image>& images, TextureFilter filter)
        : textures(2 * static_cast<size_t>(scene.materialCount)),
          texture(static_cast<size_t>(scene.materialCount)),
          opacity(static_cast<size_t>(scene.materialCount)) {
        for (int32_t m = 0; m < scene.materialCount; ++m) {
            const Material& material = scene.materials[m];
            for (int kind = 0; kind < 2; ++kind) {
                const MaterialMap& map = kind == 0 ? material.textureMap : material.opacityMap;
                if (map.present == 0 || map.fileName == nullptr) continue;
                for (const Image& image : images) {
                    if (std::string(image.file) != map.fileName) continue;
                    Texture& t = textures[2 * static_cast<size_t>(m) + kind];
                    std::string reason;
                    const TextureUse use = kind == 0 ? TextureUse::kColor : OpacityUse(map.tiling);
                    EXPECT_TRUE(BuildTexture(image.rgba.data(), image.width, image.height, use,
                                             kDefaultMaxTextureSide, memory, t, reason))
                        << reason;
                    PrepareMapSampler(t, map, filter,
                                      (kind == 0 ? texture : opacity)[static_cast<size_t>(m)]);
                }
            }
        }
    }
    ~SceneMapsForTest() {
        for (Texture& t : textures)
            FreeTexture(t, memory);
    }
    void Attach(RenderView& view) const {
        view.textureMaps = texture.data();
        view.opacityMaps = opacity.data();
    }
};

class TexturedRender : public ::testing::Test {
protected:
    void TearDown() override {
        ShutdownFrameRender();
        ConfigureFrameRender(DefaultFrameRenderSettings());
    }
};

// The frame of every object of `scene` through the identity camera, in shaded mode.
Frame RenderQuads(const Scene& scene, const SceneMapsForTest* maps) {
    SetProjection(kWidth, kHeight);
    PrepareSceneRender(scene, RenderMode::Shaded);
    std::vector<RenderInstance> instances;
    for (int32_t i = 0; i < scene.objectCount; ++i)
        instances.push_back({i, Identity()});
    RenderView view = DefaultRenderView();
    view.mode = RenderMode::Shaded;
    if (maps != nullptr) maps->Attach(view);
    Frame frame(size_t{kWidth} * kHeight, 0);
    RenderScene(scene, instances.data(), static_cast<int32_t>(instances.size()), view,
                frame.data());
    return frame;
}

uint32_t At(const Frame& frame, int x, int y) {
    return frame[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)];
}

// The quad of the map tests: 32 x 32 pixels, so that a 4 x 4 map's texel is 8 x 8 pixels.
constexpr Quad kQuad{10.0f, 16, 8, 48, 40, "M"};
constexpr uint8_t kPlum[3] = {120, 40, 90};
constexpr uint32_t kPlumColour = 0x78285Au;

TEST_F(TexturedRender, NearestCheckerboardLandsOnItsPixelsAndTheFlagsWrapIt) {
    // Texture coordinates u across and v up the quad; the map scaled about its centre by
    // `scale` takes them to image coordinates s = scale (u - 1/2) + 1/2 (t likewise), which
    // each wrap maps to a texel, or, outside a decal map, to the material's own colour.
    const struct {
        const char* name;
        uint16_t tiling;
        float scale;
    } cases[] = {
        {"plain", 0, 1.0f},
        {"tiled", 0, 2.0f},
        {"mirrored", kMapMirror, 2.0f},
        {"decal", kMapDecal | kMapNoTile, 2.0f},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ScenePtr scene = QuadScene({{"M",
                                     {kPlum[0], kPlum[1], kPlum[2]},
                                     {chunk::TextureMap, test.tiling, test.scale},
                                     {}}},
                                   {kQuad});
        ASSERT_NE(scene, nullptr);
        const SceneMapsForTest maps(*scene, {{"check.png", Checkerboard(), kSide, kSide}},
                                    TextureFilter::kNearest);
        const Frame frame = RenderQuads(*scene, &maps);
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                uint32_t expected = kShadedBackground;
                if (x >= kQuad.left && x < kQuad.right && y >= kQuad.top && y < kQuad.bottom) {
                    // Pixel centres in texels of the image: s * 4 and t * 4.
                    const double u = (x + 0.5 - kQuad.left) / 32.0;
                    const double v = 1.0 - (y + 0.5 - kQuad.top) / 32.0;
                    const double s = (static_cast<double>(test.scale) * (u - 0.5) + 0.5) * kSide;
                    const double t = (static_cast<double>(test.scale) * (v - 0.5) + 0.5) * kSide;
                    auto col = static_cast<int>(std::floor(s));
                    auto up = static_cast<int>(std::floor(t));  // texel row from the bottom
                    if (test.tiling & kMapNoTile) {
                        if (col < 0 || col >= kSide || up < 0 || up >= kSide) {
                            expected = kPlumColour;
                            if (At(frame, x, y) != expected) ++wrong;
                            continue;
                        }
                    } else if (test.tiling & kMapMirror) {
                        col = ((col % 8) + 8) % 8;
                        up = ((up % 8) + 8) % 8;
                        col = col < kSide ? col : 7 - col;
                        up = up < kSide ? up : 7 - up;
                    } else {
                        col = ((col % kSide) + kSide) % kSide;
                        up = ((up % kSide) + kSide) % kSide;
                    }
                    expected = CheckerTexel(col, kSide - 1 - up);
                }
                if (At(frame, x, y) != expected) ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << "centre 0x" << std::hex << At(frame, 32, 24);
    }
}

TEST_F(TexturedRender, BilinearCheckerboardIsTheFilteredColour) {
    ScenePtr scene = QuadScene(
        {{"M", {kPlum[0], kPlum[1], kPlum[2]}, {chunk::TextureMap, 0, 1.0f}, {}}}, {kQuad});
    ASSERT_NE(scene, nullptr);
    const SceneMapsForTest maps(*scene, {{"check.png", Checkerboard(), kSide, kSide}},
                                TextureFilter::kBilinear);
    const Frame frame = RenderQuads(*scene, &maps);
    int worst = 0;
    for (int y = kQuad.top; y < kQuad.bottom; ++y) {
        for (int x = kQuad.left; x < kQuad.right; ++x) {
            // The four texels around the pixel's centre (texel centres at half texels),
            // tiled, weighted by distance.
            const double s = (x + 0.5 - kQuad.left) / 32.0 * kSide - 0.5;
            const double t = (1.0 - (y + 0.5 - kQuad.top) / 32.0) * kSide - 0.5;
            const int c0 = static_cast<int>(std::floor(s)), u0 = static_cast<int>(std::floor(t));
            const double fs = s - c0, ft = t - u0;
            for (int shift = 0; shift <= 16; shift += 8) {
                double sum = 0;
                for (int k = 0; k < 4; ++k) {
                    const int col = ((c0 + (k & 1)) % kSide + kSide) % kSide;
                    const int up = ((u0 + (k >> 1)) % kSide + kSide) % kSide;
                    const double weight = ((k & 1) ? fs : 1 - fs) * ((k >> 1) ? ft : 1 - ft);
                    sum += weight *
                           static_cast<double>(CheckerTexel(col, kSide - 1 - up) >> shift & 0xFF);
                }
                const int got = static_cast<int>(At(frame, x, y) >> shift & 0xFF);
                worst = std::max(worst, std::abs(got - static_cast<int>(std::lround(sum))));
            }
        }
    }
    EXPECT_LE(worst, 2);
    EXPECT_EQ(At(frame, 0, 0), kShadedBackground);
}

TEST_F(TexturedRender, FacesWithoutCoordinatesOrTextureOrWithMapsOffKeepTheirColour) {
    const std::vector<MaterialSpec> materials = {
        {"M", {kPlum[0], kPlum[1], kPlum[2]}, {chunk::TextureMap, 0, 1.0f}, {}},
        {"Missing", {10, 200, 30}, {chunk::TextureMap, 0, 1.0f}, {}},
    };
    Quad bare = kQuad;
    bare.texCoords = false;
    bare.right = 32;
    Quad textured = kQuad;
    textured.left = 32;
    Quad missing{10.0f, 0, 0, 16, 8, "Missing"};
    ScenePtr scene = QuadScene(materials, {bare, textured, missing});
    ASSERT_NE(scene, nullptr);
    // Only M's image exists: "Missing" names the same file but its sampler stays empty.
    SceneMapsForTest maps(*scene, {{"check.png", Checkerboard(), kSide, kSide}},
                          TextureFilter::kNearest);
    maps.texture[1] = MapSampler{};
    const Frame frame = RenderQuads(*scene, &maps);
    EXPECT_EQ(At(frame, 20, 20), kPlumColour) << "no texture coordinates";
    EXPECT_EQ(At(frame, 8, 4), 0x0AC81Eu) << "no texture";
    EXPECT_EQ(At(frame, 44, 36), CheckerTexel(3, 3)) << "textured";
    // Maps off: the frame of a scene drawn without samplers.
    const Frame off = RenderQuads(*scene, nullptr);
    EXPECT_EQ(At(off, 44, 36), kPlumColour);
    EXPECT_EQ(At(off, 20, 20), kPlumColour);
}

TEST_F(TexturedRender, OpacityMapCutsOutAndBlends) {
    // A red quad with an opacity map (grey levels: opaque, clear, half) in front of a blue
    // one: opaque texels show red and hide the blue, clear ones show the blue, half ones mix.
    const uint8_t levels[3] = {255, 0, 128};
    std::vector<uint8_t> mask;
    for (int row = 0; row < kSide; ++row) {
        for (int col = 0; col < kSide; ++col) {
            const uint8_t l = levels[(row + 2 * col) % 3];
            mask.insert(mask.end(), {l, l, l, 255});
        }
    }
    Quad front = kQuad;
    front.material = "Red";
    const Quad back{20.0f, 0, 0, kWidth, kHeight, "Blue"};
    ScenePtr scene = QuadScene(
        {{"Red", {200, 0, 0}, {}, {chunk::OpacityMap, 0, 1.0f}}, {"Blue", {0, 0, 200}, {}, {}}},
        {back, front});
    ASSERT_NE(scene, nullptr);
    const SceneMapsForTest maps(*scene, {{"mask.png", mask, kSide, kSide}},
                                TextureFilter::kNearest);
    const Frame frame = RenderQuads(*scene, &maps);
    // Grey 128 is an opacity of 128/255, a weight of 129/256: red 200 * 129 / 256 = 100.8 and
    // blue 200 * 127 / 256 = 99.2, rounded down.
    const uint32_t expected[3] = {0xC80000u, 0x0000C8u, 0x640063u};
    int wrong = 0;
    for (int y = kQuad.top; y < kQuad.bottom; ++y) {
        for (int x = kQuad.left; x < kQuad.right; ++x) {
            const int col = (x - kQuad.left) / 8, row = (y - kQuad.top) / 8;
            if (At(frame, x, y) != expected[(row + 2 * col) % 3]) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(At(frame, 2, 2), 0x0000C8u);
    // Without the map the red quad is opaque.
    EXPECT_EQ(At(RenderQuads(*scene, nullptr), 20, 20), 0xC80000u);
}

TEST_F(TexturedRender, RecedingFloorFadesToTheMapsMeanInTheDistance) {
    // A floor below the eye from depth 1 to 400 with a one-texel black and white checkerboard
    // repeated 100 times across it: near rows show the squares, far rows (many texels a
    // pixel) the mean grey of the smaller levels, with no black or white speckle.
    constexpr int kChecker = 64;
    std::vector<uint8_t> rgba;
    for (int row = 0; row < kChecker; ++row) {
        for (int col = 0; col < kChecker; ++col) {
            const uint8_t l = ((row + col) & 1) != 0 ? 255 : 0;
            rgba.insert(rgba.end(), {l, l, l, 255});
        }
    }
    ScenePtr scene = LoadEditor([&](ChunkWriter& w) {
        WriteMaterial(w, "Floor", [&] {
            w.Chunk(chunk::MaterialSelfIllumination,
                    [&] { w.Chunk(chunk::PercentInt, [&] { w.U16(100); }); });
            w.Empty(chunk::MaterialTwoSided);
            WriteMap(w, {chunk::TextureMap, 0, 8.0f}, "check.png");
        });
        WriteNamedMesh(w, "Floor", [&] {
            // Engine y = 2 (below the eye: screen y grows downwards), file order (x, z, y).
            WriteVertexList(w, {-100, 1, 2, 100, 1, 2, 100, 400, 2, -100, 400, 2});
            w.Chunk(chunk::TexCoords, [&] { w.U16(4).Floats({0, 0, 1, 0, 1, 1, 0, 1}); });
            WriteFaceList(w, {0, 1, 2, 0, 2, 3}, [&] {
                w.Chunk(chunk::FaceMaterials, [&] { w.Name("Floor").U16(2).U16s({0, 1}); });
            });
        });
    });
    ASSERT_NE(scene, nullptr);
    const SceneMapsForTest maps(*scene, {{"check.png", rgba, kChecker, kChecker}},
                                TextureFilter::kTrilinear);
    const Frame frame = RenderQuads(*scene, &maps);
    int far = 0, dark = 0, bright = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t p = At(frame, x, y);
            if (p == kShadedBackground) continue;
            const int level = static_cast<int>(p & 0xFF);
            if (y < 26) {
                // Near the horizon: dozens of texels a pixel.
                ++far;
                EXPECT_NEAR(level, 128, 12) << x << ", " << y;
            } else if (y >= 44) {
                dark += level < 64 ? 1 : 0;
                bright += level > 192 ? 1 : 0;
            }
        }
    }
    EXPECT_GT(far, 0);
    EXPECT_GT(dark, 10);
    EXPECT_GT(bright, 10);
}

// The bundled scene with its jade map, shaded, from the viewing camera, turned.
Frame BundledFrame(const Scene& scene, const SceneMapsForTest& maps, float angle,
                   const FrameRenderSettings& settings) {
    ConfigureFrameRender(settings);
    SetProjection(640, 480);
    PrepareSceneRender(scene, RenderMode::Shaded);
    std::vector<RenderInstance> instances;
    for (int32_t i = 0; i < scene.objectCount; ++i) {
        RenderInstance instance{i, Identity()};
        MatrixRotateY(instance.matrix, angle);
        instances.push_back(instance);
    }
    RenderView view = DefaultRenderView();
    view.camera = ViewCamera();
    view.mode = RenderMode::Shaded;
    maps.Attach(view);
    Frame frame(size_t{640} * 480, 0);
    RenderScene(scene, instances.data(), static_cast<int32_t>(instances.size()), view,
                frame.data());
    return frame;
}

TEST_F(TexturedRender, BundledSceneIsTheSameWithOneThreadOrTwoAndOnEveryBuild) {
    const std::string path = std::string(TRELLIS_SOURCE_DIR) + "/assets/svet.3ds";
    ScenePtr scene(LoadScene(path.c_str()));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    const SceneMapsForTest maps(
        *scene, {{"jade.png", jade_map::Pixels(), jade_map::kSide, jade_map::kSide}},
        TextureFilter::kTrilinear);
    const FrameRenderSettings one = {1, 4096, 2048, 0};
    const FrameRenderSettings two = {2, 97, 61, 0};
    uint64_t hash = kFrameHashStart;
    for (int tick = 0; tick < 3; ++tick) {
        const float angle = 0.7f * static_cast<float>(tick);
        const Frame a = BundledFrame(*scene, maps, angle, one);
        const Frame b = BundledFrame(*scene, maps, angle, two);
        ASSERT_EQ(a, b) << "tick " << tick;
        hash = FrameHash(a, hash);
        // The map shows: the jade surfaces are not one lit colour.
        SceneMapsForTest none(*scene, {}, TextureFilter::kTrilinear);
        const Frame plain = BundledFrame(*scene, none, angle, one);
        size_t changed = 0;
        for (size_t i = 0; i < a.size(); ++i)
            changed += a[i] != plain[i] ? 1 : 0;
        EXPECT_GT(changed, 1000u) << "tick " << tick;
    }
    // Same bits from every compiler (see
    // SceneRender.BundledSceneSolidFramesAreTheSameOnEveryBuild).
    EXPECT_EQ(hash, 0x643276d9da2809fcull) << std::hex << "0x" << hash;
}

}  // namespace
