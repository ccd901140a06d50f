// Face planes, vertex normals grouped by position, and camera matrices.
#include "scene/derived.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "scene/keyed_hash.h"

namespace {

// Four floats or four 32-bit masks: one lane per face, per vertex or per coordinate.
//
// Lane-wise IEEE +, -, *, / and sqrt give exactly the bits of the scalar operations, and a
// NaN that an operation creates (0 / 0, inf - inf) is the same default NaN either way. Only
// a NaN that is passed on from an operand can differ: when both operands are NaN, which one
// is kept depends on the operand order that the compiler picks, for scalar code as well. So
// work whose inputs hold a NaN is left to the scalar code, written as the plain loops write
// it, and the four-wide code handles the rest.
using Float4 = float __attribute__((vector_size(16)));
using Mask4 = int32_t __attribute__((vector_size(16)));

bool AnyLane(Mask4 mask) {
    return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
}

Float4 LoadPlane(const Face& face) {
    Float4 plane;
    std::memcpy(&plane, face.plane, sizeof plane);
    return plane;
}

void StorePlane(Face& face, Float4 plane) {
    std::memcpy(face.plane, &plane, sizeof plane);
}

// The plane of one face, as the header describes it.
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

// Lanes 0 to 3 are x, y, z and u of the vertex; u is loaded along and never used.
Float4 LoadPosition(const Vertex* v) {
    Float4 position;
    std::memcpy(&position, v, sizeof position);
    return position;
}

// Rows r0 to r3 turned into columns: lane k of column j is lane j of row k.
struct Columns {
    Float4 c0, c1, c2, c3;
};

Columns Transpose(Float4 r0, Float4 r1, Float4 r2, Float4 r3) {
    const Float4 t0 = __builtin_shufflevector(r0, r1, 0, 4, 1, 5);
    const Float4 t1 = __builtin_shufflevector(r2, r3, 0, 4, 1, 5);
    const Float4 t2 = __builtin_shufflevector(r0, r1, 2, 6, 3, 7);
    const Float4 t3 = __builtin_shufflevector(r2, r3, 2, 6, 3, 7);
    return Columns{
        __builtin_shufflevector(t0, t1, 0, 1, 4, 5), __builtin_shufflevector(t0, t1, 2, 3, 6, 7),
        __builtin_shufflevector(t2, t3, 0, 1, 4, 5), __builtin_shufflevector(t2, t3, 2, 3, 6, 7)};
}

// Sets the planes of four consecutive faces: the steps of PlaneOfFace, each taken for the
// four faces at once. A NaN coordinate always reaches nx x nx + ny x ny + nz x nz, so when
// that sum is NaN for any of the four (a NaN corner, or infinities) PlaneOfFace sets each.
inline void PlanesOfFourFaces(Face* faces) {
    const Columns p0 = Transpose(LoadPosition(faces[0].vertex0), LoadPosition(faces[1].vertex0),
                                 LoadPosition(faces[2].vertex0), LoadPosition(faces[3].vertex0));
    const Columns p1 = Transpose(LoadPosition(faces[0].vertex1), LoadPosition(faces[1].vertex1),
                                 LoadPosition(faces[2].vertex1), LoadPosition(faces[3].vertex1));
    const Columns p2 = Transpose(LoadPosition(faces[0].vertex2), LoadPosition(faces[1].vertex2),
                                 LoadPosition(faces[2].vertex2), LoadPosition(faces[3].vertex2));
    const Float4 x0 = p0.c0, y0 = p0.c1, z0 = p0.c2;
    const Float4 e1x = p1.c0 - x0, e1y = p1.c1 - y0, e1z = p1.c2 - z0;
    const Float4 e2x = p2.c0 - x0, e2y = p2.c1 - y0, e2z = p2.c2 - z0;
    const Float4 nx = e2y * e1z - e2z * e1y;
    const Float4 ny = e2z * e1x - e2x * e1z;
    const Float4 nz = e2x * e1y - e2y * e1x;
    const Float4 squared = nx * nx + ny * ny + nz * nz;
    if (AnyLane(squared != squared)) {
        for (int k = 0; k < 4; ++k)
            PlaneOfFace(faces[k], faces[k].plane);
        return;
    }
    const Float4 len = {std::sqrt(squared[0]), std::sqrt(squared[1]), std::sqrt(squared[2]),
                        std::sqrt(squared[3])};
    const Float4 a = nx / len, b = ny / len, c = nz / len;
    const Float4 d = -(a * x0 + b * y0 + c * z0);
    // A degenerate face (len == 0) gets the zero plane: clear all four of its lanes.
    const Mask4 keep = len != Float4{};
    const Columns planes = Transpose(std::bit_cast<Float4>(std::bit_cast<Mask4>(a) & keep),
                                     std::bit_cast<Float4>(std::bit_cast<Mask4>(b) & keep),
                                     std::bit_cast<Float4>(std::bit_cast<Mask4>(c) & keep),
                                     std::bit_cast<Float4>(std::bit_cast<Mask4>(d) & keep));
    StorePlane(faces[0], planes.c0);
    StorePlane(faces[1], planes.c1);
    StorePlane(faces[2], planes.c2);
    StorePlane(faces[3], planes.c3);
}

}  // namespace

std::array<float, 4> ComputeFacePlane(const Face& face) {
    std::array<float, 4> plane;
    PlaneOfFace(face, plane.data());
    return plane;
}

void ComputeFacePlanes(MeshObject& mesh) {
    int32_t i = 0;
    for (; i + 4 <= mesh.faceCount; i += 4)
        PlanesOfFourFaces(&mesh.faces[i]);
    for (; i < mesh.faceCount; ++i)
        PlaneOfFace(mesh.faces[i], mesh.faces[i].plane);
}

namespace {

bool HasNaN(const Vertex& v) {
    return std::isnan(v.x) || std::isnan(v.y) || std::isnan(v.z);
}

// Hash of a position; adding +0.0f first turns -0.0 into +0.0 so both hash alike. Cheap,
// and spreads the positions of real meshes well; but it is fixed, so a file can hold
// 65,535 distinct positions of one hash. GroupVertices notices such a mesh by the length
// of its probes and groups it again with KeyedHashPosition.
struct FixedHashPosition {
    uint32_t operator()(const Vertex& v) const {
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
};

// Hash of a position under the process's secret key (keyed_hash.h): simple tabulation of
// the 12 bytes x, y, z, which a file cannot crowd without knowing the key. About half again as
// costly as the fixed hash, so used only for the meshes that crowd that one.
struct KeyedHashPosition {
    const TabulationTables& tables;
    uint32_t operator()(const Vertex& v) const {
        return TabulationHash(tables, std::bit_cast<uint32_t>(v.x + 0.0f),
                              std::bit_cast<uint32_t>(v.y + 0.0f),
                              std::bit_cast<uint32_t>(v.z + 0.0f));
    }
};

// One slot of the position table: the hash of a position and the group of vertices
// standing there. The group's position itself is kept once, in its sum's place, while the
// vertices are grouped; a slot is compared with it only when the hashes agree, so a probe
// mostly touches the 8 bytes of its slot. A slot belongs to the mesh being grouped when its
// stamp is at least that mesh's first stamp; older slots count as empty, so the table needs
// no clearing between meshes.
struct PositionSlot {
    uint32_t hash;
    int32_t stamp;  // first stamp of the mesh + the group's number
};

// The planes summed for one group: a, b, c, and d in a lane that is never read.
struct alignas(16) PlaneSum {
    float v[4];
};

// Scratch of the vertex grouping, kept between calls so that loading a scene of many meshes
// does not allocate and fault in fresh pages for every one of them.
struct NormalScratch {
    std::vector<PositionSlot> slots;
    int32_t nextStamp = 0;
    std::vector<int32_t> group;  // per vertex
    std::vector<PlaneSum> sums;  // per group
};

thread_local NormalScratch scratch;

// The vertices of one mesh grouped by exact position, and a sum of planes for each group.
struct PositionGroups {
    const Vertex* vertices;
    const int32_t* group;  // group[i]: the group of vertex i
    PlaneSum* sums;
    int32_t spare;  // the group of every vertex with a NaN coordinate
};

// Groups vertices [0, n) by exact position with `hash`, numbered in order of first
// appearance, into the table's slots stamped from s.nextStamp, each group's position in
// `positions`. Vertices with a NaN coordinate match nothing; they all get group n. Gives up
// and returns -1 once the probes have passed more than `probeBudget` occupied slots in
// all (a table crowded by the hash); else returns the count of groups.
template <class Hash>
int32_t GroupByHash(const Vertex* vertices, int32_t n, size_t mask, Hash hash,
                    int64_t probeBudget) {
    NormalScratch& s = scratch;
    PositionSlot* const slots = s.slots.data();
    int32_t* const group = s.group.data();
    PlaneSum* const positions = s.sums.data();  // each group's position until the sums start
    const int32_t firstStamp = s.nextStamp;
    int32_t groupCount = 0;
    int64_t probes = 0;
    // The table is larger than the first caches for big meshes; fetching the slot of a
    // vertex a little ahead hides most of the wait for memory.
    constexpr int32_t kAhead = 16;  // a power of two: the ring of hashes computed ahead
    uint32_t ahead[kAhead];
    for (int32_t i = 0; i < kAhead && i < n; ++i)
        ahead[i] = hash(vertices[i]);
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t h = ahead[i & (kAhead - 1)];
        if (i + kAhead < n) {
            const uint32_t next = hash(vertices[i + kAhead]);
            ahead[i & (kAhead - 1)] = next;
            __builtin_prefetch(&slots[next & mask]);
        }
        const Vertex& v = vertices[i];
        if (HasNaN(v)) {
            group[i] = n;
            continue;
        }
        for (size_t index = h & mask;; index = (index + 1) & mask) {
            PositionSlot& slot = slots[index];
            if (slot.stamp < firstStamp) {
                slot = PositionSlot{h, firstStamp + groupCount};
                positions[groupCount] = PlaneSum{{v.x, v.y, v.z, 0.0f}};
                group[i] = groupCount++;
                break;
            }
            if (slot.hash == h) {
                const int32_t g = slot.stamp - firstStamp;
                const float* p = positions[g].v;
                if (p[0] == v.x && p[1] == v.y && p[2] == v.z) {
                    group[i] = g;
                    break;
                }
            }
            if (++probes > probeBudget) {
                s.nextStamp = firstStamp + groupCount;
                return -1;
            }
        }
    }
    s.nextStamp = firstStamp + groupCount;
    return groupCount;
}

// Groups the mesh's vertices by exact position, numbered in order of first appearance, with
// every sum zero. Vertices with a NaN coordinate match nothing; they all get the spare
// group, numbered n (the vertex count), above every real group.
//
// The fixed hash is tried first. With the table at most half full, the vertices of a real
// mesh pass about one occupied slot each on average; a mesh whose probes pass more than
// four per vertex is crowding that hash (a crafted file) and is grouped again with the
// keyed hash, so no mesh costs more than a few times an ordinary one. The groups are the
// same either way: they depend on the positions only.
PositionGroups GroupVertices(const MeshObject& mesh) {
    const int32_t n = mesh.vertexCount;
    const Vertex* const vertices = mesh.vertices;
    // An open-addressing table at most half full.
    size_t capacity = 16;
    while (capacity < 2 * static_cast<size_t>(n))
        capacity *= 2;
    const size_t mask = capacity - 1;
    NormalScratch& s = scratch;
    // Two groupings of at most n groups each may use stamps before the next reset.
    if (s.slots.size() < capacity || s.nextStamp > INT32_MAX - 2 * n) {
        s.slots.assign(std::max(capacity, s.slots.size()), PositionSlot{0, -1});
        s.nextStamp = 0;
    }
    if (s.group.size() < static_cast<size_t>(n)) s.group.resize(static_cast<size_t>(n));
    if (s.sums.size() <= static_cast<size_t>(n)) s.sums.resize(static_cast<size_t>(n) + 1);
    const int64_t budget = 4 * int64_t{n} + 64;
    int32_t groupCount = GroupByHash(vertices, n, mask, FixedHashPosition{}, budget);
    if (groupCount < 0) {
        // The slots stamped by the abandoned grouping are older than the new first stamp
        // and so count as empty.
        groupCount =
            GroupByHash(vertices, n, mask, KeyedHashPosition{ProcessTabulationTables()}, INT64_MAX);
    }
    PlaneSum* const sums = s.sums.data();
    std::fill_n(sums, groupCount, PlaneSum{});
    sums[n] = PlaneSum{};
    return PositionGroups{vertices, s.group.data(), sums, n};
}

// Adds the face's plane to the sum of the group of each of its corners, in the order
// vertex0, vertex1, vertex2. A plane without NaN is added four lanes at once: a NaN sum then
// keeps its own NaN whatever the operand order.
inline void AddPlaneToCorners(const PositionGroups& groups, const Face& face) {
    assert(face.vertex0 >= groups.vertices && face.vertex0 - groups.vertices < groups.spare);
    assert(face.vertex1 >= groups.vertices && face.vertex1 - groups.vertices < groups.spare);
    assert(face.vertex2 >= groups.vertices && face.vertex2 - groups.vertices < groups.spare);
    const Vertex* const corners[3] = {face.vertex0, face.vertex1, face.vertex2};
    const Float4 plane = LoadPlane(face);
    if (!AnyLane(plane != plane)) {
        for (const Vertex* corner : corners) {
            PlaneSum& sum = groups.sums[groups.group[corner - groups.vertices]];
            Float4 value;
            std::memcpy(&value, sum.v, sizeof value);
            value += plane;
            std::memcpy(sum.v, &value, sizeof value);
        }
        return;
    }
    for (const Vertex* corner : corners) {
        float* sum = groups.sums[groups.group[corner - groups.vertices]].v;
        sum[0] += face.plane[0];
        sum[1] += face.plane[1];
        sum[2] += face.plane[2];
    }
}

// Sets one vertex normal from its sum: (x, y, z) / sqrt(x x + y y + z z), or (0, 0, 0) for
// a sum of length 0.
inline void NormaliseOne(Vertex& v, float nx, float ny, float nz) {
    const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (len == 0.0f) {
        v.nx = v.ny = v.nz = 0.0f;
    } else {
        v.nx = nx / len;
        v.ny = ny / len;
        v.nz = nz / len;
    }
}

// Sets every vertex normal from the sum of its group, the spare group giving (0, 0, 0);
// four vertices at a time unless x x + y y + z z is NaN for one of them, which it is for
// every sum holding a NaN.
void NormaliseSums(const PositionGroups& groups, Vertex* vertices) {
    const int32_t n = groups.spare;
    const auto sumOf = [&](int32_t i) {
        const int32_t g = groups.group[i];
        Float4 sum{};
        if (g != groups.spare) std::memcpy(&sum, groups.sums[g].v, sizeof sum);
        return sum;
    };
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Columns sums = Transpose(sumOf(i), sumOf(i + 1), sumOf(i + 2), sumOf(i + 3));
        const Float4 x = sums.c0, y = sums.c1, z = sums.c2;
        const Float4 squared = x * x + y * y + z * z;
        if (AnyLane(squared != squared)) {  // a NaN sum, or infinities
            for (int k = 0; k < 4; ++k)
                NormaliseOne(vertices[i + k], x[k], y[k], z[k]);
            continue;
        }
        const Float4 len = {std::sqrt(squared[0]), std::sqrt(squared[1]), std::sqrt(squared[2]),
                            std::sqrt(squared[3])};
        const Mask4 keep = len != Float4{};
        const Mask4 nx = std::bit_cast<Mask4>(x / len) & keep;
        const Mask4 ny = std::bit_cast<Mask4>(y / len) & keep;
        const Mask4 nz = std::bit_cast<Mask4>(z / len) & keep;
        for (int k = 0; k < 4; ++k) {
            Vertex& v = vertices[i + k];
            v.nx = std::bit_cast<float>(nx[k]);
            v.ny = std::bit_cast<float>(ny[k]);
            v.nz = std::bit_cast<float>(nz[k]);
        }
    }
    for (; i < n; ++i) {
        const Float4 sum = sumOf(i);
        NormaliseOne(vertices[i], sum[0], sum[1], sum[2]);
    }
}

}  // namespace

int32_t GroupVertexPositions(const MeshObject& mesh, std::vector<int32_t>& group) {
    const int32_t n = mesh.vertices != nullptr ? std::max(mesh.vertexCount, 0) : 0;
    group.resize(static_cast<size_t>(n));
    if (n == 0) return 0;
    const PositionGroups groups = GroupVertices(mesh);
    int32_t count = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t g = groups.group[i];
        if (g != groups.spare) count = std::max(count, g + 1);
    }
    // Each vertex with a NaN coordinate gets a group of its own after the others.
    for (int32_t i = 0; i < n; ++i) {
        const int32_t g = groups.group[i];
        group[static_cast<size_t>(i)] = g != groups.spare ? g : count++;
    }
    return count;
}

// Sums the planes per group, faces in index order and corners in the order vertex0,
// vertex1, vertex2: the same float additions, in the same order, that each vertex of the
// group would receive one by one.
void ComputeVertexNormals(MeshObject& mesh) {
    if (mesh.vertexCount <= 0 || mesh.vertices == nullptr) return;
    const PositionGroups groups = GroupVertices(mesh);
    for (int32_t f = 0; f < mesh.faceCount; ++f)
        AddPlaneToCorners(groups, mesh.faces[f]);
    NormaliseSums(groups, mesh.vertices);
}

void ComputePlanesAndNormals(MeshObject& mesh) {
    if (mesh.vertexCount <= 0 || mesh.vertices == nullptr) {
        ComputeFacePlanes(mesh);
        return;
    }
    const PositionGroups groups = GroupVertices(mesh);
    Face* const faces = mesh.faces;
    int32_t f = 0;
    for (; f + 4 <= mesh.faceCount; f += 4) {
        PlanesOfFourFaces(&faces[f]);
        for (int k = 0; k < 4; ++k)
            AddPlaneToCorners(groups, faces[f + k]);
    }
    for (; f < mesh.faceCount; ++f) {
        PlaneOfFace(faces[f], faces[f].plane);
        AddPlaneToCorners(groups, faces[f]);
    }
    NormaliseSums(groups, mesh.vertices);
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
