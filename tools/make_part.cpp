// Writes a scene the way a modelling tool exports a part placed in a larger assembly: a
// small angle bracket measured in millimetres (80 x 40 x 56), standing 2 metres from the
// origin of the assembly's axes, as four meshes with world-space vertices, mesh matrices at
// each part's pivot, a material, smoothing groups and a camera aimed at the part. README's
// before-and-after pictures are drawn from it.
//
//     make_part [OUTPUT]        OUTPUT defaults to part.3ds
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "chunk_writer.h"

namespace {

// Where the part stands in the assembly, millimetres, file axes (z up).
constexpr float kX = 1850.0f, kY = -920.0f, kZ = 740.0f;

struct Mesh {
    std::string name;
    std::vector<float> xyz;  // file axes, world space
    std::vector<uint16_t> corners;
    float pivot[3];
};

uint16_t AddVertex(Mesh& m, float x, float y, float z) {
    m.xyz.insert(m.xyz.end(), {kX + x, kY + y, kZ + z});
    return static_cast<uint16_t>(m.xyz.size() / 3 - 1);
}

void Quad(Mesh& m, uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    m.corners.insert(m.corners.end(), {a, b, c, a, c, d});
}

// A box from (x0, y0, z0) to (x1, y1, z1), relative to the part's origin.
Mesh Box(const char* name, float x0, float y0, float z0, float x1, float y1, float z1) {
    Mesh m{name, {}, {}, {kX + (x0 + x1) / 2, kY + (y0 + y1) / 2, kZ + z0}};
    uint16_t v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = AddVertex(m, i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0);
    Quad(m, v[0], v[2], v[3], v[1]);  // bottom
    Quad(m, v[4], v[5], v[7], v[6]);  // top
    Quad(m, v[0], v[1], v[5], v[4]);
    Quad(m, v[2], v[6], v[7], v[3]);
    Quad(m, v[0], v[4], v[6], v[2]);
    Quad(m, v[1], v[3], v[7], v[5]);
    return m;
}

// An upright cylinder of `segments` sides around (x, y), from z0 to z1, with capped ends.
Mesh Cylinder(const char* name, float x, float y, float z0, float z1, float radius, int segments) {
    Mesh m{name, {}, {}, {kX + x, kY + y, kZ + z0}};
    const uint16_t bottom = AddVertex(m, x, y, z0);
    const uint16_t top = AddVertex(m, x, y, z1);
    const uint16_t first = static_cast<uint16_t>(m.xyz.size() / 3);
    for (int i = 0; i < segments; ++i) {
        const double a = 2.0 * M_PI * i / segments;
        const float cx = x + radius * static_cast<float>(std::cos(a));
        const float cy = y + radius * static_cast<float>(std::sin(a));
        AddVertex(m, cx, cy, z0);
        AddVertex(m, cx, cy, z1);
    }
    for (int i = 0; i < segments; ++i) {
        const auto low = [&](int k) { return static_cast<uint16_t>(first + 2 * (k % segments)); };
        const auto high = [&](int k) { return static_cast<uint16_t>(low(k) + 1); };
        Quad(m, low(i), low(i + 1), high(i + 1), high(i));
        m.corners.insert(m.corners.end(), {bottom, low(i + 1), low(i)});
        m.corners.insert(m.corners.end(), {top, high(i), high(i + 1)});
    }
    return m;
}

// A triangular web between the base and the upright.
Mesh Gusset() {
    Mesh m{"Gusset", {}, {}, {kX + 6, kY + 20, kZ + 6}};
    uint16_t v[6];
    const float ys[2] = {17.0f, 23.0f};
    for (int s = 0; s < 2; ++s) {
        v[3 * s + 0] = AddVertex(m, 6, ys[s], 6);
        v[3 * s + 1] = AddVertex(m, 40, ys[s], 6);
        v[3 * s + 2] = AddVertex(m, 6, ys[s], 40);
    }
    m.corners.insert(m.corners.end(), {v[0], v[2], v[1], v[3], v[4], v[5]});
    Quad(m, v[0], v[1], v[4], v[3]);
    Quad(m, v[1], v[2], v[5], v[4]);
    Quad(m, v[2], v[0], v[3], v[5]);
    return m;
}

void WriteMesh(ChunkWriter& w, const Mesh& m) {
    WriteNamedMesh(w, m.name, [&] {
        w.Chunk(chunk::VertexList, [&] {
            w.U16(static_cast<uint16_t>(m.xyz.size() / 3));
            for (float v : m.xyz)
                w.F32(v);
        });
        // The local axes: the identity turned nowhere, at the part's pivot.
        w.Chunk(chunk::MeshMatrix, [&] {
            w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, m.pivot[0], m.pivot[1], m.pivot[2]});
        });
        const uint16_t faces = static_cast<uint16_t>(m.corners.size() / 3);
        w.Chunk(chunk::FaceList, [&] {
            w.U16(faces);
            for (size_t i = 0; i < m.corners.size(); ++i) {
                w.U16(m.corners[i]);
                if (i % 3 == 2) w.U16(7);  // edge visibility flags, as tools write them
            }
            w.Chunk(chunk::FaceMaterials, [&] {
                w.Name("Aluminium").U16(faces);
                for (uint16_t f = 0; f < faces; ++f)
                    w.U16(f);
            });
            w.Chunk(chunk::SmoothGroups, [&] {
                for (uint16_t f = 0; f < faces; ++f)
                    w.U32(1);
            });
        });
    });
}

std::vector<uint8_t> Build() {
    const std::vector<Mesh> meshes = {
        Box("Base", 0, 0, 0, 80, 40, 6),
        Box("Upright", 0, 0, 6, 6, 40, 56),
        Cylinder("Boss", 58, 20, 6, 18, 9, 24),
        Gusset(),
    };
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Version, [&] { w.U32(3); });
        w.Chunk(chunk::Editor, [&] {
            w.Chunk(chunk::MeshVersion, [&] { w.U32(3); });
            w.Chunk(chunk::Material, [&] {
                w.Chunk(chunk::MaterialName, [&] { w.Name("Aluminium"); });
                w.Chunk(chunk::MaterialDiffuse,
                        [&] { w.Chunk(chunk::ColorByte, [&] { w.U8(180).U8(184).U8(190); }); });
            });
            w.Chunk(chunk::MasterScale, [&] { w.F32(1.0f); });
            for (const Mesh& m : meshes)
                WriteMesh(w, m);
            // A camera 30 cm away, in front of the part and above it, with a 50 mm lens.
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Camera01");
                w.Chunk(chunk::Camera, [&] {
                    w.Floats({kX + 200, kY - 230, kZ + 140, kX + 40, kY + 20, kZ + 20, 0, 50});
                });
            });
        });
    });
    return w.bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "part.3ds";
    const std::vector<uint8_t> bytes = Build();
    if (!WriteBytesToFile(bytes, path)) {
        std::fprintf(stderr, "make_part: %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    std::printf("make_part: wrote %zu bytes to %s\n", bytes.size(), path);
    return 0;
}
