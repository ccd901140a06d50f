// Meshes of the bundled scene, in the file's axes (z up), faces counter-clockwise seen
// from outside.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>  // sqrt only: correctly rounded everywhere
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace scene_geometry {

// Sine and cosine from + - * / only (range reduction and a Taylor series in double), so
// the scene's bytes are the same whatever the compiler, its optimisation or the C library.
inline void SinCos(double angle, double& s, double& c) {
    const double tau = 6.283185307179586476925286766559;
    double k = static_cast<double>(static_cast<long long>(angle / tau));
    double x = angle - k * tau;
    if (x > tau / 2) x -= tau;
    if (x < -tau / 2) x += tau;
    double term = x, sum = x;
    for (int n = 1; n < 16; ++n) {
        term *= -x * x / static_cast<double>((2 * n) * (2 * n + 1));
        sum += term;
    }
    s = sum;
    term = 1.0;
    sum = 1.0;
    for (int n = 1; n < 16; ++n) {
        term *= -x * x / static_cast<double>((2 * n - 1) * (2 * n));
        sum += term;
    }
    c = sum;
}
inline float Sin(double a) {
    double s, c;
    SinCos(a, s, c);
    return static_cast<float>(s);
}
inline float Cos(double a) {
    double s, c;
    SinCos(a, s, c);
    return static_cast<float>(c);
}

using Vec3 = std::array<float, 3>;
using Tri = std::array<uint16_t, 3>;

struct Mesh {
    std::vector<Vec3> positions;
    std::vector<std::array<float, 2>> uvs;
    std::vector<Tri> faces;
    std::vector<uint32_t> smoothing;  // one group mask per face
};

inline Vec3 Sub(Vec3 a, Vec3 b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
inline Vec3 Cross(Vec3 a, Vec3 b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline float Dot(Vec3 a, Vec3 b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Adds a face whose normal (B - A) x (C - A) points along `outward`.
inline void AddFace(Mesh& mesh, uint16_t a, uint16_t b, uint16_t c, Vec3 outward, uint32_t group) {
    const Vec3 n =
        Cross(Sub(mesh.positions[b], mesh.positions[a]), Sub(mesh.positions[c], mesh.positions[a]));
    if (Dot(n, outward) < 0) std::swap(b, c);
    mesh.faces.push_back({a, b, c});
    mesh.smoothing.push_back(group);
}

inline Vec3 Centroid(const Mesh& mesh, uint16_t a, uint16_t b, uint16_t c) {
    const Vec3& p = mesh.positions[a];
    const Vec3& q = mesh.positions[b];
    const Vec3& r = mesh.positions[c];
    return {(p[0] + q[0] + r[0]) / 3, (p[1] + q[1] + r[1]) / 3, (p[2] + q[2] + r[2]) / 3};
}

// A (p, q) torus knot: a tube of `sides` around the curve, `segments` along it.
inline Mesh TorusKnot(int p, int q, float scale, float tube, int segments, int sides) {
    Mesh mesh;
    const double tau = 6.283185307179586;
    auto curve = [&](double t) -> Vec3 {
        const float r = Cos(q * t) + 2.0f;
        return {scale * r * Cos(p * t), scale * r * Sin(p * t), -scale * Sin(q * t)};
    };
    std::vector<Vec3> centres;
    for (int i = 0; i < segments; ++i) {
        const double t = tau * i / segments;
        const Vec3 c = curve(t);
        const Vec3 next = curve(t + 0.01);
        Vec3 tangent = Sub(next, c);
        Vec3 normal = Cross(tangent, Vec3{0, 0, 1});
        if (Dot(normal, normal) < 1e-12f) normal = {1, 0, 0};
        Vec3 binormal = Cross(tangent, normal);
        const float nl = std::sqrt(Dot(normal, normal)), bl = std::sqrt(Dot(binormal, binormal));
        for (int j = 0; j < sides; ++j) {
            const double a = tau * j / sides;
            const float ca = Cos(a) * tube, sa = Sin(a) * tube;
            mesh.positions.push_back({c[0] + ca * normal[0] / nl + sa * binormal[0] / bl,
                                      c[1] + ca * normal[1] / nl + sa * binormal[1] / bl,
                                      c[2] + ca * normal[2] / nl + sa * binormal[2] / bl});
            mesh.uvs.push_back({static_cast<float>(i) / static_cast<float>(segments),
                                static_cast<float>(j) / static_cast<float>(sides)});
        }
        centres.push_back(c);
    }
    for (int i = 0; i < segments; ++i) {
        const int i2 = (i + 1) % segments;
        for (int j = 0; j < sides; ++j) {
            const int j2 = (j + 1) % sides;
            const auto v = [&](int s, int k) { return static_cast<uint16_t>(s * sides + k); };
            const Vec3 centre = centres[static_cast<size_t>(i)];
            for (const Tri& t :
                 {Tri{v(i, j), v(i2, j), v(i2, j2)}, Tri{v(i, j), v(i2, j2), v(i, j2)}}) {
                AddFace(mesh, t[0], t[1], t[2], Sub(Centroid(mesh, t[0], t[1], t[2]), centre), 1);
            }
        }
    }
    return mesh;
}

// An icosahedron subdivided `levels` times and pushed onto a sphere of `radius`.
inline Mesh Icosphere(float radius, int levels, Vec3 centre) {
    const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
    std::vector<Vec3> pts = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0},
                             {0, -1, t}, {0, 1, t}, {0, -1, -t}, {0, 1, -t},
                             {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    std::vector<std::array<int, 3>> tris = {
        {0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
        {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
        {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<int, int>, int> midpoints;
        auto mid = [&](int a, int b) {
            const auto key = std::minmax(a, b);
            auto it = midpoints.find(key);
            if (it != midpoints.end()) return it->second;
            const Vec3 m = {(pts[a][0] + pts[b][0]) / 2, (pts[a][1] + pts[b][1]) / 2,
                            (pts[a][2] + pts[b][2]) / 2};
            pts.push_back(m);
            const int index = static_cast<int>(pts.size()) - 1;
            midpoints[key] = index;
            return index;
        };
        std::vector<std::array<int, 3>> next;
        for (const auto& tri : tris) {
            const int ab = mid(tri[0], tri[1]), bc = mid(tri[1], tri[2]), ca = mid(tri[2], tri[0]);
            next.push_back({tri[0], ab, ca});
            next.push_back({tri[1], bc, ab});
            next.push_back({tri[2], ca, bc});
            next.push_back({ab, bc, ca});
        }
        tris = std::move(next);
    }
    Mesh mesh;
    for (const Vec3& p : pts) {
        const float l = std::sqrt(Dot(p, p));
        const Vec3 unit = {p[0] / l, p[1] / l, p[2] / l};
        mesh.positions.push_back({centre[0] + radius * unit[0], centre[1] + radius * unit[1],
                                  centre[2] + radius * unit[2]});
        mesh.uvs.push_back({0.5f + 0.5f * unit[0], 0.5f + 0.5f * unit[2]});
    }
    for (const auto& tri : tris) {
        const auto a = static_cast<uint16_t>(tri[0]), b = static_cast<uint16_t>(tri[1]),
                   c = static_cast<uint16_t>(tri[2]);
        AddFace(mesh, a, b, c, Sub(Centroid(mesh, a, b, c), centre), 1);
    }
    return mesh;
}

// An axis-aligned box with its own eight corners, two faces per side.
inline void AddBox(Mesh& mesh, Vec3 centre, Vec3 half, uint32_t group) {
    const auto base = static_cast<uint16_t>(mesh.positions.size());
    for (int i = 0; i < 8; ++i) {
        mesh.positions.push_back({centre[0] + ((i & 1) ? half[0] : -half[0]),
                                  centre[1] + ((i & 2) ? half[1] : -half[1]),
                                  centre[2] + ((i & 4) ? half[2] : -half[2])});
        mesh.uvs.push_back({(i & 1) ? 1.0f : 0.0f, (i & 2) ? 1.0f : 0.0f});
    }
    const int quads[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        const auto v = [&](int k) { return static_cast<uint16_t>(base + q[k]); };
        AddFace(mesh, v(0), v(1), v(2), Sub(Centroid(mesh, v(0), v(1), v(2)), centre), group);
        AddFace(mesh, v(0), v(2), v(3), Sub(Centroid(mesh, v(0), v(2), v(3)), centre), group);
    }
}

// `count` boxes evenly spaced on a circle of `radius` about the z axis.
inline Mesh CubeRing(int count, float radius, float half) {
    Mesh mesh;
    for (int i = 0; i < count; ++i) {
        const double a = 6.283185307179586 * i / count;
        AddBox(mesh, {radius * Cos(a), radius * Sin(a), 0}, {half, half, half}, 1u << (i % 32));
    }
    return mesh;
}

// A flat square grid of `cells` x `cells` quads at height z, facing up.
inline Mesh Lattice(int cells, float extent, float z) {
    Mesh mesh;
    for (int j = 0; j <= cells; ++j) {
        for (int i = 0; i <= cells; ++i) {
            const float u = static_cast<float>(i) / static_cast<float>(cells);
            const float v = static_cast<float>(j) / static_cast<float>(cells);
            mesh.positions.push_back({-extent + 2 * extent * u, -extent + 2 * extent * v, z});
            mesh.uvs.push_back({u, v});
        }
    }
    for (int j = 0; j < cells; ++j) {
        for (int i = 0; i < cells; ++i) {
            const auto v = [&](int di, int dj) {
                return static_cast<uint16_t>((j + dj) * (cells + 1) + i + di);
            };
            AddFace(mesh, v(0, 0), v(1, 0), v(1, 1), {0, 0, 1}, 2);
            AddFace(mesh, v(0, 0), v(1, 1), v(0, 1), {0, 0, 1}, 2);
        }
    }
    return mesh;
}

}  // namespace scene_geometry
