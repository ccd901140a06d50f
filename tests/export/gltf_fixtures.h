// Scenes for the glTF export's tests and for its check by the glTF validator, built with the
// fixture writer: each shows one thing the export must carry over.
#pragma once

#include <algorithm>
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

// A box of 8 corners and 12 faces: the eight faces of its sides in material "Red", the four
// of its top and bottom in "Blue". By default front and back are smoothing group 1, left and
// right group 2, top and bottom group 3 (bits 1, 2 and 4): each side is smooth in itself, with
// sharp edges between sides. `groups` gives other bits per face; `flatRed` gives "Red" flat
// shading (its faces flat whatever their groups).
inline std::vector<uint8_t> TwoMaterialBox(const std::vector<uint32_t>& groups = {1, 1, 2, 2, 1, 1,
                                                                                  2, 2, 4, 4, 4, 4},
                                           bool flatRed = false) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            w.Chunk(chunk::Material, [&] {
                w.Chunk(chunk::MaterialName, [&] { w.Name("Red"); });
                if (flatRed) w.Chunk(chunk::MaterialShading, [&] { w.U16(1); });
            });
            WriteMaterial(w, "Blue");
            WriteNamedMesh(w, "Box", [&] {
                WriteVertexList(w, {0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0,  //
                                    0, 0, 4, 4, 0, 4, 4, 4, 4, 0, 4, 4});
                WriteFaceList(w, {0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6,  // sides:
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
                                      for (uint32_t group : groups)
                                          w.U32(group);
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
        WriteNodes(
            w, 0, 30,
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
             {chunk::ObjectNode, "Hand", 3, 0, {0, 0, 1}, {{0, {-5, 0, 0}}}, {}, {}, {}, "Hand2"},
             {chunk::CameraNode,
              "Cam",
              4,
              0xFFFF,
              {},
              {{0, {0, -60, 20}}, {30, {30, -50, 25}}},
              {},
              {},
              {},
              {}},
             {chunk::TargetNode, "Cam", 5, 0xFFFF, {}, {{0, {10, 0, 5}}}, {}, {}, {}, {}},
             {chunk::SpotlightNode, "Spot", 6, 0xFFFF, {}, {{0, {20, -20, 40}}}, {}, {}, {}, {}}});
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

// A PNG of width x height RGB pixels (row after row), written plainly: one IDAT of stored
// (uncompressed) deflate blocks.
inline std::vector<uint8_t> MakePng(uint32_t width, uint32_t height,
                                    const std::vector<uint8_t>& rgb) {
    auto crc32 = [](const uint8_t* p, size_t n, uint32_t crc) {
        crc = ~crc;
        for (size_t i = 0; i < n; ++i) {
            crc ^= p[i];
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto be32 = [](std::vector<uint8_t>& out, uint32_t v) {
        for (int i = 3; i >= 0; --i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        be32(png, static_cast<uint32_t>(data.size()));
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        be32(png, crc32(body.data(), body.size(), 0));
    };
    std::vector<uint8_t> header;
    be32(header, width);
    be32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
    chunk("IHDR", header);
    std::vector<uint8_t> raw;  // each row after its filter byte (0: none)
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0;) {
        const size_t n = std::min<size_t>(raw.size() - at, 65535);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.insert(z.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                           static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)});
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
        if (n == 0) break;
    }
    uint32_t a = 1, b = 0;  // Adler-32
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    be32(z, (b << 16) | a);
    chunk("IDAT", z);
    chunk("IEND", {});
    return png;
}

// The map of the textured quad: 2 x 2 pixels.
inline std::vector<uint8_t> CheckerPng() {
    return MakePng(2, 2, {255, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 255});
}

// A quad with texture coordinates in material "Checker", whose texture map is "CHECKER.PNG"
// (the file beside the scene is written as checker.png: the name is matched in any case),
// tiled with a scale, an offset and a rotation, two-sided, half transparent; the second
// material "Glow" is self-illuminated with a map in a format that is not carried over.
inline std::vector<uint8_t> TexturedQuad() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            w.Chunk(chunk::Material, [&] {
                w.Chunk(chunk::MaterialName, [&] { w.Name("Checker"); });
                w.Chunk(chunk::MaterialDiffuse,
                        [&] { w.Chunk(chunk::ColorByte, [&] { w.U8(200).U8(100).U8(50); }); });
                w.Chunk(chunk::MaterialTransparency,
                        [&] { w.Chunk(chunk::PercentInt, [&] { w.U16(50); }); });
                w.Empty(chunk::MaterialTwoSided);
                w.Chunk(chunk::TextureMap, [&] {
                    w.Chunk(chunk::MapName, [&] { w.Name("CHECKER.PNG"); });
                    w.Chunk(chunk::MapUScale, [&] { w.F32(2); });
                    w.Chunk(chunk::MapVScale, [&] { w.F32(3); });
                    w.Chunk(chunk::MapUOffset, [&] { w.F32(0.25f); });
                    w.Chunk(chunk::MapRotation, [&] { w.F32(30); });
                });
            });
            w.Chunk(chunk::Material, [&] {
                w.Chunk(chunk::MaterialName, [&] { w.Name("Glow"); });
                w.Chunk(chunk::MaterialSelfIllumination,
                        [&] { w.Chunk(chunk::PercentInt, [&] { w.U16(80); }); });
                w.Chunk(chunk::TextureMap,
                        [&] { w.Chunk(chunk::MapName, [&] { w.Name("GLOW.BMP"); }); });
            });
            WriteNamedMesh(w, "Quad", [&] {
                WriteVertexList(w, {0, 0, 0, 10, 0, 0, 10, 0, 10, 0, 0, 10});
                w.Chunk(chunk::TexCoords, [&] { w.U16(4).Floats({0, 0, 1, 0, 1, 1, 0, 1}); });
                WriteFaceList(w, {0, 1, 2, 0, 2, 3}, [&] {
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name("Checker").U16(1).U16(0); });
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name("Glow").U16(1).U16(1); });
                });
            });
        });
    });
    return w.bytes;
}

// A 24-bit BMP of width x height RGB pixels (rows top first, as in MakePng): stored bottom
// row first, blue, green, red, each row padded to 4 bytes.
inline std::vector<uint8_t> MakeBmp(uint32_t width, uint32_t height,
                                    const std::vector<uint8_t>& rgb) {
    const uint32_t row = (width * 3 + 3) & ~3u;
    std::vector<uint8_t> bmp;
    auto le = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    bmp.push_back('B');
    bmp.push_back('M');
    le(54 + row * height, 4);
    le(0, 4);
    le(54, 4);  // where the pixels start
    le(40, 4);  // BITMAPINFOHEADER
    le(width, 4);
    le(height, 4);  // positive: bottom row first
    le(1, 2);
    le(24, 2);
    le(0, 4);  // no compression
    le(row * height, 4);
    le(2835, 4);
    le(2835, 4);
    le(0, 4);
    le(0, 4);
    for (uint32_t y = height; y-- > 0;) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(y * width + x) * 3];
            bmp.insert(bmp.end(), {p[2], p[1], p[0]});
        }
        bmp.resize(bmp.size() + (row - width * 3), 0);
    }
    return bmp;
}

// An uncompressed 32-bit TGA of width x height RGBA pixels (rows top first): blue, green,
// red, alpha, stored top row first (the descriptor's origin bit).
inline std::vector<uint8_t> MakeTga(uint16_t width, uint16_t height,
                                    const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> tga = {0,
                                0,
                                2,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                static_cast<uint8_t>(width),
                                static_cast<uint8_t>(width >> 8),
                                static_cast<uint8_t>(height),
                                static_cast<uint8_t>(height >> 8),
                                32,
                                0x28};
    for (size_t i = 0; i + 3 < rgba.size(); i += 4)
        tga.insert(tga.end(), {rgba[i + 2], rgba[i + 1], rgba[i], rgba[i + 3]});
    return tga;
}

// The pixels of the maps of ConvertedMaps: 3 x 2 so that rows and columns both show.
inline std::vector<uint8_t> BrickRgb() {
    return {200, 30, 20, 180, 60,  40,  90,  90, 90,  //
            10,  10, 10, 250, 250, 250, 120, 20, 10};
}
inline std::vector<uint8_t> StoneRgba() {
    return {10,  20,  30,  255, 40,  50,  60,  128, 70,  80,  90,  0,  //
            100, 110, 120, 255, 130, 140, 150, 64,  160, 170, 180, 255};
}

// A quad in two materials whose maps are a BMP ("BRICK.BMP", on disk as brick.bmp: the name
// is found in lower case) and a TGA with alpha ("Stone.tga"): both must come out as PNG.
inline std::vector<uint8_t> ConvertedMaps() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (const char* name : {"Brick", "Stone"}) {
                w.Chunk(chunk::Material, [&] {
                    w.Chunk(chunk::MaterialName, [&] { w.Name(name); });
                    w.Chunk(chunk::TextureMap, [&] {
                        w.Chunk(chunk::MapName, [&] {
                            w.Name(std::string(name) == "Brick" ? "BRICK.BMP" : "Stone.tga");
                        });
                    });
                });
            }
            WriteNamedMesh(w, "Wall", [&] {
                WriteVertexList(w, {0, 0, 0, 10, 0, 0, 10, 0, 10, 0, 0, 10});
                w.Chunk(chunk::TexCoords, [&] { w.U16(4).Floats({0, 0, 1, 0, 1, 1, 0, 1}); });
                WriteFaceList(w, {0, 1, 2, 0, 2, 3}, [&] {
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name("Brick").U16(1).U16(0); });
                    w.Chunk(chunk::FaceMaterials, [&] { w.Name("Stone").U16(1).U16(1); });
                });
            });
        });
    });
    return w.bytes;
}

// Every fixture by a file name, for the validator's check.
inline std::vector<std::pair<std::string, std::vector<uint8_t>>> AllFixtures() {
    return {{"two_material_box.3ds", TwoMaterialBox()},
            {"flat_box.3ds", TwoMaterialBox(std::vector<uint32_t>(12, 0))},
            {"smooth_box.3ds", TwoMaterialBox(std::vector<uint32_t>(12, 1))},
            {"pivot_hierarchy.3ds", PivotHierarchy()},
            {"turn_past_half.3ds", TurnPastHalf()},
            {"textured_quad.3ds", TexturedQuad()},
            {"checker.png", CheckerPng()},
            {"GLOW.bmp", {'B', 'M', 0, 0, 0, 0}},
            {"converted_maps.3ds", ConvertedMaps()},
            {"brick.bmp", MakeBmp(3, 2, BrickRgb())},
            {"Stone.tga", MakeTga(3, 2, StoneRgba())}};
}

}  // namespace gltf_fixtures
