// Face planes, vertex normals grouped by position, and camera matrices.
#include "scene/derived.h"

#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// The plane of one face, written into `plane`; inlined into the per-mesh loop.
inline void PlaneOfFace(const Face& face, float* plane) {
    const Vertex& p0 = *face.vertex0;
    const Vertex& p1 = *face.vertex1;
    const Vertex& p2 = *face.vertex2;
    const float e1x = p1.x - p0.x, e1y = p1.y - p0.y, e1z = p1.z - p0.z;
    const float e2x = p2.x - p0.x, e2y = p2.y - p0.y, e2z = p2.z - p0.z;
    const float nx = e2y * e1z - e2z * e1y;
    const float ny = e2z * e1x - e2x * e1z;
    const float nz = e2x * e1y - e2y * e1x;
    const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (len == 0.0f) {
        plane[0] = plane[1] = plane[2] = plane[3] = 0.0f;
        return;
    }
    const float a = nx / len, b = ny / len, c = nz / len;
    plane[0] = a;
    plane[1] = b;
    plane[2] = c;
    plane[3] = -(a * p0.x + b * p0.y + c * p0.z);
}

}  // namespace

std::array<float, 4> ComputeFacePlane(const Face& face) {
    std::array<float, 4> plane;
    PlaneOfFace(face, plane.data());
    return plane;
}

void ComputeFacePlanes(MeshObject& mesh) {
    for (int32_t i = 0; i < mesh.faceCount; ++i)
        PlaneOfFace(mesh.faces[i], mesh.faces[i].plane);
}

namespace {

bool HasNaN(const Vertex& v) {
    return std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z);
}

// Hash of a position; adding +0.0f first turns -0.0 into +0.0 so both hash alike.
inline uint32_t HashPosition(const Vertex& v) {
    const uint32_t x = std::bit_cast<uint32_t>(v.x + 0.0f);
    const uint32_t y = std::bit_cast<uint32_t>(v.y + 0.0f);
    const uint32_t z = std::bit_cast<uint32_t>(v.z + 0.0f);
    uint32_t h = x * 0x9E3779B1u;
    h = (h ^ (h >> 15)) + y * 0x85EBCA77u;
    h = (h ^ (h >> 13)) + z * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    return h;
}

// One slot of the position table: a position and the group of vertices standing there.
struct PositionSlot {
    float x, y, z;
    int32_t group;  // -1 while the slot is empty
};

// Scratch of ComputeVertexNormals, kept between calls so that loading a scene of many
// meshes does not allocate and fault in fresh pages for every one of them.
struct NormalScratch {
    std::vector<PositionSlot> slots;
    std::vector<int32_t> group;
    std::vector<float> sums;
};

thread_local NormalScratch scratch;

}  // namespace

void ComputeVertexNormals(MeshObject& mesh) {
    const int32_t n = mesh.vertexCount;
    if (n <= 0 || mesh.vertices == nullptr) return;
    Vertex* const vertices = mesh.vertices;

    // Group the vertices by exact position with an open-addressing table that holds each
    // group's position inline, so a probe touches one slot. Vertices with a NaN
    // coordinate get no group.
    size_t capacity = 16;
    while (capacity < 2 * static_cast<size_t>(n))
        capacity *= 2;
    const size_t mask = capacity - 1;
    std::vector<PositionSlot>& slots = scratch.slots;
    std::vector<int32_t>& group = scratch.group;
    slots.assign(capacity, PositionSlot{0.0f, 0.0f, 0.0f, -1});
    group.assign(static_cast<size_t>(n), -1);
    int32_t groupCount = 0;
    // The table is larger than the caches for big meshes; fetching the slot of a vertex a
    // little ahead hides most of the wait for memory.
    constexpr int32_t kAhead = 16;  // a power of two: the ring of hashes computed ahead
    uint32_t ahead[kAhead];
    for (int32_t i = 0; i < kAhead && i < n; ++i)
        ahead[i] = HashPosition(vertices[i]);
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t hash = ahead[i & (kAhead - 1)];
        if (i + kAhead < n) {
            const uint32_t next = HashPosition(vertices[i + kAhead]);
            ahead[i & (kAhead - 1)] = next;
            __builtin_prefetch(&slots[next & mask]);
        }
        const Vertex& v = vertices[i];
        if (HasNaN(v)) continue;
        size_t index = hash & mask;
        while (slots[index].group >= 0 &&
               !(slots[index].x == v.x && slots[index].y == v.y && slots[index].z == v.z)) {
            index = (index + 1) & mask;
        }
        PositionSlot& slot = slots[index];
        if (slot.group < 0) slot = PositionSlot{v.x, v.y, v.z, groupCount++};
        group[static_cast<size_t>(i)] = slot.group;
    }

    // Sum the planes per group, faces in index order and corners in the order
    // vertex0, vertex1, vertex2: the same float additions, in the same order, that
    // each vertex of the group would receive one by one.
    std::vector<float>& sums = scratch.sums;
    sums.assign(3 * static_cast<size_t>(groupCount), 0.0f);
    for (int32_t f = 0; f < mesh.faceCount; ++f) {
        const Face& face = mesh.faces[f];
        const Vertex* const corners[3] = {face.vertex0, face.vertex1, face.vertex2};
        for (const Vertex* corner : corners) {
            const ptrdiff_t index = corner - vertices;
            assert(index >= 0 && index < n);
            const int32_t g = group[static_cast<size_t>(index)];
            if (g < 0) continue;
            float* sum = &sums[3 * static_cast<size_t>(g)];
            sum[0] += face.plane[0];
            sum[1] += face.plane[1];
            sum[2] += face.plane[2];
        }
    }

    for (int32_t i = 0; i < n; ++i) {
        Vertex& v = vertices[i];
        const int32_t g = group[static_cast<size_t>(i)];
        float nx = 0.0f, ny = 0.0f, nz = 0.0f;
        if (g >= 0) {
            nx = sums[3 * static_cast<size_t>(g)];
            ny = sums[3 * static_cast<size_t>(g) + 1];
            nz = sums[3 * static_cast<size_t>(g) + 2];
        }
        const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (len == 0.0f) {
            v.nx = v.ny = v.nz = 0.0f;
        } else {
            v.nx = nx / len;
            v.ny = ny / len;
            v.nz = nz / len;
        }
    }
}

void SetupCamera(Camera& camera) {
    Matrix4& m = camera.matrix;
    MatrixIdentity(m);
    if (camera.positionKeyCount <= 0 || camera.positionKeyX == nullptr ||
        camera.positionKeyY == nullptr || camera.positionKeyZ == nullptr) {
        return;
    }
    const float px = camera.positionKeyX[0];
    const float py = camera.positionKeyY[0];
    const float pz = camera.positionKeyZ[0];
    m[12] = px;
    m[13] = py;
    m[14] = pz;
    if (camera.targetKeyCount <= 0 || camera.targetKeyX == nullptr ||
        camera.targetKeyY == nullptr || camera.targetKeyZ == nullptr) {
        return;
    }
    const float dx = camera.targetKeyX[0] - px;
    const float dy = camera.targetKeyY[0] - py;
    const float dz = camera.targetKeyZ[0] - pz;
    const float dlen = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(dlen > 0.0f)) return;
    const float fx = dx / dlen, fy = dy / dlen, fz = dz / dlen;
    // r = f x (0, 1, 0); u = f x r, taken before r is normalised.
    const float rx = -fz, ry = 0.0f, rz = fx;
    const float ux = fy * rz - fz * ry;
    const float uy = fz * rx - fx * rz;
    const float uz = fx * ry - fy * rx;
    const float rlen = std::sqrt(rx * rx + ry * ry + rz * rz);
    if (!(rlen > 0.0f)) return;
    const float ulen = std::sqrt(ux * ux + uy * uy + uz * uz);
    m[0] = rx / rlen;
    m[1] = ry / rlen;
    m[2] = rz / rlen;
    m[4] = ux / ulen;
    m[5] = uy / ulen;
    m[6] = uz / ulen;
    m[8] = fx;
    m[9] = fy;
    m[10] = fz;
}
