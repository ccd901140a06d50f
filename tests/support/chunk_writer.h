// Builds .3ds chunk files in memory: nested chunks whose lengths are computed when they
// close, and typed little-endian payload writers. Used by the tests, the benchmark's scene
// generator and the bundled scene's writer; depends on the standard library only.
//
//     ChunkWriter w;
//     w.Chunk(chunk::Main, [&] {
//         w.Chunk(chunk::Editor, [&] {
//             w.Chunk(chunk::NamedObject, [&] {
//                 w.Name("Box01");
//                 w.Chunk(chunk::TriMesh, [&] {
//                     w.Chunk(chunk::VertexList, [&] { w.U16(3).Floats({0, 0, 0, 1, 0, 0, 0, 1,
//                     0}); }); w.Chunk(chunk::FaceList, [&] { w.U16(1).U16s({0, 1, 2, 0}); });
//                 });
//             });
//         });
//     });
//     WriteBytesToFile(w.bytes, "scene.3ds");
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

// Chunk ids of the .3ds format, named for their role.
namespace chunk {
inline constexpr uint16_t Version = 0x0002;
inline constexpr uint16_t ColorFloat = 0x0010;
inline constexpr uint16_t ColorByte = 0x0011;
inline constexpr uint16_t LinearColorByte = 0x0012;
inline constexpr uint16_t LinearColorFloat = 0x0013;
inline constexpr uint16_t PercentInt = 0x0030;
inline constexpr uint16_t PercentFloat = 0x0031;
inline constexpr uint16_t MasterScale = 0x0100;
inline constexpr uint16_t MeshVersion = 0x3D3E;
inline constexpr uint16_t Main = 0x4D4D;
inline constexpr uint16_t Editor = 0x3D3D;
inline constexpr uint16_t Background = 0x1200;
inline constexpr uint16_t UseBackground = 0x1201;
inline constexpr uint16_t Ambient = 0x2100;
inline constexpr uint16_t NamedObject = 0x4000;
inline constexpr uint16_t TriMesh = 0x4100;
inline constexpr uint16_t VertexList = 0x4110;
inline constexpr uint16_t VertexFlags = 0x4111;
inline constexpr uint16_t FaceList = 0x4120;
inline constexpr uint16_t FaceMaterials = 0x4130;
inline constexpr uint16_t TexCoords = 0x4140;
inline constexpr uint16_t SmoothGroups = 0x4150;
inline constexpr uint16_t MeshMatrix = 0x4160;
inline constexpr uint16_t MeshColor = 0x4165;
inline constexpr uint16_t TexInfo = 0x4170;
inline constexpr uint16_t Light = 0x4600;
inline constexpr uint16_t Spotlight = 0x4610;
inline constexpr uint16_t LightOff = 0x4620;
inline constexpr uint16_t LightRayShadow = 0x4627;
inline constexpr uint16_t LightInnerRange = 0x4659;
inline constexpr uint16_t LightOuterRange = 0x465A;
inline constexpr uint16_t LightMultiplier = 0x465B;
inline constexpr uint16_t Camera = 0x4700;
inline constexpr uint16_t Material = 0xAFFF;
inline constexpr uint16_t MaterialName = 0xA000;
inline constexpr uint16_t MaterialAmbient = 0xA010;
inline constexpr uint16_t MaterialDiffuse = 0xA020;
inline constexpr uint16_t MaterialSpecular = 0xA030;
inline constexpr uint16_t MaterialShininess = 0xA040;
inline constexpr uint16_t MaterialShininessStrength = 0xA041;
inline constexpr uint16_t MaterialTransparency = 0xA050;
inline constexpr uint16_t MaterialTransparencyFalloff = 0xA052;
inline constexpr uint16_t MaterialReflectionBlur = 0xA053;
inline constexpr uint16_t MaterialTwoSided = 0xA081;
inline constexpr uint16_t MaterialAdditive = 0xA083;
inline constexpr uint16_t MaterialSelfIllumination = 0xA084;
inline constexpr uint16_t MaterialWire = 0xA085;
inline constexpr uint16_t MaterialWireSize = 0xA087;
inline constexpr uint16_t MaterialShading = 0xA100;
inline constexpr uint16_t TextureMap = 0xA200;
inline constexpr uint16_t OpacityMap = 0xA210;
inline constexpr uint16_t ReflectionMap = 0xA220;
inline constexpr uint16_t BumpMap = 0xA230;
inline constexpr uint16_t MapName = 0xA300;
inline constexpr uint16_t MapTiling = 0xA351;
inline constexpr uint16_t MapUScale = 0xA354;
inline constexpr uint16_t MapVScale = 0xA356;
inline constexpr uint16_t MapUOffset = 0xA358;
inline constexpr uint16_t MapVOffset = 0xA35A;
inline constexpr uint16_t MapRotation = 0xA35C;
inline constexpr uint16_t Keyframer = 0xB000;
inline constexpr uint16_t AmbientNode = 0xB001;
inline constexpr uint16_t ObjectNode = 0xB002;
inline constexpr uint16_t CameraNode = 0xB003;
inline constexpr uint16_t TargetNode = 0xB004;
inline constexpr uint16_t LightNode = 0xB005;
inline constexpr uint16_t LightTargetNode = 0xB006;
inline constexpr uint16_t SpotlightNode = 0xB007;
inline constexpr uint16_t Segment = 0xB008;
inline constexpr uint16_t NodeHeader = 0xB010;
inline constexpr uint16_t Pivot = 0xB013;
inline constexpr uint16_t PositionTrack = 0xB020;
inline constexpr uint16_t RotationTrack = 0xB021;
inline constexpr uint16_t ScaleTrack = 0xB022;
inline constexpr uint16_t FovTrack = 0xB023;
inline constexpr uint16_t RollTrack = 0xB024;
inline constexpr uint16_t ColorTrack = 0xB025;
inline constexpr uint16_t NodeId = 0xB030;
inline constexpr uint16_t InstanceName = 0xB011;
inline constexpr uint16_t HideTrack = 0xB029;
}  // namespace chunk

struct ChunkWriter {
    std::vector<uint8_t> bytes;
    std::vector<size_t> open;  // header offsets of the chunks begun and not yet ended

    // Starts a chunk: its header, with the length filled in by End.
    ChunkWriter& Begin(uint16_t id) {
        open.push_back(bytes.size());
        U16(id);
        return U32(0);
    }

    // Ends the innermost open chunk, storing its true length (header included).
    ChunkWriter& End() {
        const size_t start = open.back();
        return EndWithLength(static_cast<uint32_t>(bytes.size() - start));
    }

    // Ends the innermost open chunk but stores `length` instead of its true length, for
    // chunks that claim too little or too much.
    ChunkWriter& EndWithLength(uint32_t length) {
        const size_t start = open.back();
        open.pop_back();
        for (int i = 0; i < 4; ++i)
            bytes[start + 2 + i] = static_cast<uint8_t>(length >> (8 * i));
        return *this;
    }

    // A whole chunk: Begin, whatever `body` writes, End.
    template <class Body>
    ChunkWriter& Chunk(uint16_t id, Body&& body) {
        Begin(id);
        body();
        return End();
    }

    // A chunk with no payload.
    ChunkWriter& Empty(uint16_t id) { return Begin(id).End(); }

    // A bare header with any length, followed by nothing.
    ChunkWriter& Header(uint16_t id, uint32_t length) { return U16(id).U32(length); }

    ChunkWriter& U8(uint8_t value) {
        bytes.push_back(value);
        return *this;
    }
    ChunkWriter& U16(uint16_t value) {
        bytes.push_back(static_cast<uint8_t>(value));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
        return *this;
    }
    ChunkWriter& U32(uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
    ChunkWriter& F32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return U32(bits);
    }
    ChunkWriter& U16s(std::initializer_list<uint16_t> values) {
        for (uint16_t v : values)
            U16(v);
        return *this;
    }
    ChunkWriter& Floats(std::initializer_list<float> values) {
        for (float v : values)
            F32(v);
        return *this;
    }
    // The characters of `text` followed by a NUL.
    ChunkWriter& Name(std::string_view text) {
        Chars(text);
        return U8(0);
    }
    // The characters of `text` without a NUL.
    ChunkWriter& Chars(std::string_view text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    // `count` copies of `value`.
    ChunkWriter& Fill(size_t count, uint8_t value) {
        bytes.insert(bytes.end(), count, value);
        return *this;
    }

    // A track header (flags, 8 unused bytes, a 32-bit key count).
    ChunkWriter& TrackHeader(uint32_t keyCount) { return U16(0).U32(0).U32(0).U32(keyCount); }
    // A key header with a 32-bit frame number and flags, followed by one zero value for
    // each of flag bits 0, 1 and 2 that is set.
    ChunkWriter& KeyHeader(uint32_t frame, uint16_t flags = 0) {
        U32(frame).U16(flags);
        for (int bit = 0; bit < 3; ++bit) {
            if (flags & (1u << bit)) U32(0);
        }
        return *this;
    }
    // A key header with a 32-bit frame number and flags, followed by the value of each of
    // flag bits 0 to 4 that is set (tension, continuity, bias, ease to, ease from), taken
    // in order from `values`.
    ChunkWriter& SplineKeyHeader(uint32_t frame, uint16_t flags,
                                 std::initializer_list<float> values) {
        U32(frame).U16(flags);
        const float* next = values.begin();
        for (int bit = 0; bit < 5; ++bit) {
            if ((flags & (1u << bit)) == 0) continue;
            F32(next != values.end() ? *next++ : 0.0f);
        }
        return *this;
    }
};

// A named object (0x4000) holding a triangle mesh (0x4100); `body` writes the mesh's chunks.
template <class Body>
void WriteNamedMesh(ChunkWriter& w, std::string_view name, Body&& body) {
    w.Chunk(chunk::NamedObject, [&] {
        w.Name(name);
        w.Chunk(chunk::TriMesh, body);
    });
}

// A material (0xAFFF) opened by its name (0xA000); `body` writes its other chunks.
template <class Body>
void WriteMaterial(ChunkWriter& w, std::string_view name, Body&& body) {
    w.Chunk(chunk::Material, [&] {
        w.Chunk(chunk::MaterialName, [&] { w.Name(name); });
        body();
    });
}

// A named object (0x4000) holding a light (0x4600) at file-order `position`; `body` writes
// the light's chunks.
template <class Body>
void WriteNamedLight(ChunkWriter& w, std::string_view name, std::initializer_list<float> position,
                     Body&& body) {
    w.Chunk(chunk::NamedObject, [&] {
        w.Name(name);
        w.Chunk(chunk::Light, [&] {
            w.Floats(position);
            body();
        });
    });
}

// A vertex list from file-order (x, y, z) triples.
inline void WriteVertexList(ChunkWriter& w, std::initializer_list<float> xyz) {
    w.Chunk(chunk::VertexList, [&] {
        w.U16(static_cast<uint16_t>(xyz.size() / 3));
        for (float v : xyz)
            w.F32(v);
    });
}

// A face list from (a, b, c) corner triples, each followed by a zero flags word;
// `children` writes the list's sub-chunks (material groups, smoothing groups).
template <class Children>
void WriteFaceList(ChunkWriter& w, std::initializer_list<uint16_t> corners, Children&& children) {
    w.Chunk(chunk::FaceList, [&] {
        w.U16(static_cast<uint16_t>(corners.size() / 3));
        size_t i = 0;
        for (uint16_t c : corners) {
            w.U16(c);
            if (++i % 3 == 0) w.U16(0);
        }
        children();
    });
}
inline void WriteFaceList(ChunkWriter& w, std::initializer_list<uint16_t> corners) {
    WriteFaceList(w, corners, [] {});
}

// Writes `bytes` to `path`; false when the file cannot be written whole.
inline bool WriteBytesToFile(const std::vector<uint8_t>& bytes, const char* path) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
