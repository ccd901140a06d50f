// glTF 2.0 export: the scene's records and evaluated animation as plain glTF records, then
// written as JSON (json_writer.h) and one binary buffer.
#include "export/gltf.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#include "export/json_writer.h"
#include "scene/animation.h"
#include "view/views.h"

namespace {

constexpr int32_t kFloat = 5126;
constexpr int32_t kUnsignedShort = 5123;
constexpr int32_t kUnsignedInt = 5125;
constexpr int32_t kArrayBuffer = 34962;
constexpr int32_t kElementArrayBuffer = 34963;
constexpr double kPi = 3.14159265358979323846;

double D(float v) {
    return static_cast<double>(v);
}

// The most frames sampled for an animation, the most floats its samples may take and the
// most node evaluations they may cost: a longer segment (or a scene with very many nodes)
// is sampled at a coarser, even step, and the report says so.
constexpr int64_t kMaxSamples = 100001;
constexpr int64_t kMaxSampleFloats = int64_t{16} << 20;
constexpr int64_t kMaxNodeEvaluations = int64_t{20} << 20;

// The aspect ratio a camera is exported with: the viewer's 640 x 480 frame, over whose
// width the lens's field of view is measured.
constexpr double kCameraAspect = 4.0 / 3.0;

// ---- glTF records ---------------------------------------------------------------------------

struct BufferView {
    size_t offset = 0;  // in the buffer; a multiple of 4
    size_t length = 0;
    int32_t target = 0;  // 0: none
    int32_t block = -1;  // Document::blocks index holding the bytes
};

struct Accessor {
    int32_t view = -1;
    int32_t componentType = kFloat;
    size_t count = 0;
    const char* type = "VEC3";
    int32_t components = 3;
    double min[4] = {};
    double max[4] = {};
};

struct Primitive {
    int32_t position = -1, normal = -1, texcoord = -1, indices = -1, material = -1;
};

struct Mesh {
    std::string name;
    std::vector<Primitive> primitives;
};

struct Node {
    std::string name;
    std::vector<int32_t> children;
    int32_t mesh = -1, camera = -1, light = -1;
    float t[3] = {0, 0, 0};
    float r[4] = {0, 0, 0, 1};
    float s[3] = {1, 1, 1};
};

struct CameraRecord {
    std::string name;
    double yfov = 1.0;
    double znear = 0.1;
};

struct LightRecord {
    std::string name;
    bool spot = false;
    float color[3] = {1, 1, 1};
    double intensity = 1.0;
    double inner = 0.0, outer = kPi / 4.0;
};

struct MaterialRecord {
    std::string name;
    float baseColor[4] = {1, 1, 1, 1};
    float roughness = 1.0f;
    float emissive[3] = {0, 0, 0};
    bool doubleSided = false;
    bool blend = false;      // alphaMode BLEND, else OPAQUE
    int32_t texture = -1;    // baseColorTexture
    bool transform = false;  // KHR_texture_transform on the texture
    float offset[2] = {0, 0};
    float rotation = 0.0f;
    float scale[2] = {1, 1};
};

struct TextureRecord {
    int32_t sampler = -1;
    int32_t image = -1;
};

struct SamplerRecord {
    int32_t wrapS = 10497;  // REPEAT
    int32_t wrapT = 10497;
};

struct ImageRecord {
    std::string path;  // the map file found
    std::string mimeType;
    int32_t view = -1;           // .glb: the buffer view holding it
    std::string uri;             // .gltf: the file written beside
    std::vector<uint8_t> bytes;  // .gltf: its bytes until they are written
};

struct Channel {
    int32_t node = -1;
    const char* path = "translation";
    int32_t output = -1;  // accessor of the values
};

struct Document {
    std::vector<BufferView> views;
    std::vector<Accessor> accessors;
    std::vector<Mesh> meshes;
    std::vector<Node> nodes;
    std::vector<CameraRecord> cameras;
    std::vector<LightRecord> lights;
    std::vector<MaterialRecord> materials;
    std::vector<TextureRecord> textures;
    std::vector<SamplerRecord> samplers;
    std::vector<ImageRecord> images;
    bool textureTransform = false;  // some material uses KHR_texture_transform
    std::vector<Channel> channels;
    int32_t timeAccessor = -1;
    std::vector<std::vector<uint8_t>> blocks;  // the buffer's contents, view by view
    size_t bufferLength = 0;
};

// ---- The buffer -------------------------------------------------------------------------------

// A buffer view of `bytes`, placed at the next multiple of 4.
int32_t AddView(Document& doc, std::vector<uint8_t>&& bytes, int32_t target) {
    BufferView view;
    view.offset = (doc.bufferLength + 3) & ~size_t{3};
    view.length = bytes.size();
    view.target = target;
    view.block = static_cast<int32_t>(doc.blocks.size());
    doc.bufferLength = view.offset + view.length;
    doc.blocks.push_back(std::move(bytes));
    doc.views.push_back(view);
    return static_cast<int32_t>(doc.views.size()) - 1;
}

template <class T>
std::vector<uint8_t> Bytes(const std::vector<T>& values) {
    const auto* first = reinterpret_cast<const uint8_t*>(values.data());
    return std::vector<uint8_t>(first, first + values.size() * sizeof(T));
}

// A float accessor of `components` per element over a new view, with its min and max.
int32_t AddFloatAccessor(Document& doc, const std::vector<float>& values, int32_t components,
                         const char* type, int32_t target) {
    Accessor a;
    a.components = components;
    a.type = type;
    a.count = values.size() / static_cast<size_t>(components);
    float lo[4] = {}, hi[4] = {};
    for (int32_t c = 0; c < components && a.count > 0; ++c)
        lo[c] = hi[c] = values[static_cast<size_t>(c)];
    for (size_t i = 0; i < a.count; ++i) {
        const float* v = &values[i * static_cast<size_t>(components)];
        for (int32_t c = 0; c < components; ++c) {
            lo[c] = std::min(lo[c], v[c]);
            hi[c] = std::max(hi[c], v[c]);
        }
    }
    for (int32_t c = 0; c < components; ++c) {
        a.min[c] = static_cast<double>(lo[c]);
        a.max[c] = static_cast<double>(hi[c]);
    }
    a.view = AddView(doc, Bytes(values), target);
    doc.accessors.push_back(a);
    return static_cast<int32_t>(doc.accessors.size()) - 1;
}

// Triangle indices that name each of `vertexCount` vertices at least once: 16-bit when every
// index and the restart value 65535 differ, else 32-bit.
int32_t AddIndexAccessor(Document& doc, const std::vector<uint32_t>& indices,
                         uint32_t vertexCount) {
    Accessor a;
    a.components = 1;
    a.type = "SCALAR";
    a.count = indices.size();
    a.min[0] = 0.0;
    a.max[0] = vertexCount > 0 ? vertexCount - 1.0 : 0.0;
    if (vertexCount <= 65535) {
        a.componentType = kUnsignedShort;
        std::vector<uint8_t> bytes(indices.size() * 2);
        for (size_t i = 0; i < indices.size(); ++i) {
            bytes[2 * i] = static_cast<uint8_t>(indices[i]);
            bytes[2 * i + 1] = static_cast<uint8_t>(indices[i] >> 8);
        }
        a.view = AddView(doc, std::move(bytes), kElementArrayBuffer);
    } else {
        a.componentType = kUnsignedInt;
        a.view = AddView(doc, Bytes(indices), kElementArrayBuffer);
    }
    doc.accessors.push_back(a);
    return static_cast<int32_t>(doc.accessors.size()) - 1;
}

// ---- Small geometry ------------------------------------------------------------------------

bool Finite3(const float v[3]) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// p * m for a row vector p and the affine row-vector matrix m.
void TransformPoint(const Matrix4& m, const double p[3], double out[3]) {
    for (int c = 0; c < 3; ++c)
        out[c] = p[0] * static_cast<double>(m[c]) + p[1] * static_cast<double>(m[4 + c]) +
                 p[2] * static_cast<double>(m[8 + c]) + static_cast<double>(m[12 + c]);
}

// The matrix that takes normals along with points moved by m's 3x3 part (row vectors):
// the transpose of its inverse, or the identity when it has none.
void NormalMatrix(const Matrix4& m, double out[9]) {
    const double a = D(m[0]), b = D(m[1]), c = D(m[2]), d = D(m[4]), e = D(m[5]), f = D(m[6]),
                 g = D(m[8]), h = D(m[9]), i = D(m[10]);
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    static const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (!std::isfinite(det) || std::fabs(det) < 1e-30) {
        std::memcpy(out, kIdentity, sizeof kIdentity);
        return;
    }
    // Cofactors over the determinant: (m^-1)^T.
    out[0] = (e * i - f * h) / det;
    out[1] = -(d * i - f * g) / det;
    out[2] = (d * h - e * g) / det;
    out[3] = -(b * i - c * h) / det;
    out[4] = (a * i - c * g) / det;
    out[5] = -(a * h - b * g) / det;
    out[6] = (b * f - c * e) / det;
    out[7] = -(a * f - c * d) / det;
    out[8] = (a * e - b * d) / det;
}

// A rotation matrix (columns x, y, z) as a unit quaternion (x, y, z, w).
void MatrixQuaternion(const double x[3], const double y[3], const double z[3], float q[4]) {
    const double m00 = x[0], m10 = x[1], m20 = x[2];
    const double m01 = y[0], m11 = y[1], m21 = y[2];
    const double m02 = z[0], m12 = z[1], m22 = z[2];
    const double trace = m00 + m11 + m22;
    double r[4];
    if (trace > 0.0) {
        const double s = std::sqrt(trace + 1.0) * 2.0;
        r[3] = 0.25 * s;
        r[0] = (m21 - m12) / s;
        r[1] = (m02 - m20) / s;
        r[2] = (m10 - m01) / s;
    } else if (m00 > m11 && m00 > m22) {
        const double s = std::sqrt(1.0 + m00 - m11 - m22) * 2.0;
        r[3] = (m21 - m12) / s;
        r[0] = 0.25 * s;
        r[1] = (m01 + m10) / s;
        r[2] = (m02 + m20) / s;
    } else if (m11 > m22) {
        const double s = std::sqrt(1.0 + m11 - m00 - m22) * 2.0;
        r[3] = (m02 - m20) / s;
        r[0] = (m01 + m10) / s;
        r[1] = 0.25 * s;
        r[2] = (m12 + m21) / s;
    } else {
        const double s = std::sqrt(1.0 + m22 - m00 - m11) * 2.0;
        r[3] = (m10 - m01) / s;
        r[0] = (m02 + m20) / s;
        r[1] = (m12 + m21) / s;
        r[2] = 0.25 * s;
    }
    const double n = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
    for (int i = 0; i < 4; ++i)
        q[i] = static_cast<float>(n > 0.0 && std::isfinite(n) ? r[i] / n : (i == 3 ? 1.0 : 0.0));
}

// The node transform of something aimed from `p` at `t` (file axes) and rolled by `roll`
// radians about its line of sight, in glTF's convention for cameras and spot lights (looking
// down -z, y up): the basis of the viewer's camera matrix (animation.h) in the file's axes,
// right = f x z, up = right x f, turned by the roll as right' = cos r right + sin r up. Where
// there is no direction (t at p, or straight up or down) the viewer's fallback holds.
void AimRotation(const double p[3], const double t[3], double roll, float q[4]) {
    double f[3] = {t[0] - p[0], t[1] - p[1], t[2] - p[2]};
    double right[3] = {-1, 0, 0}, up[3] = {0, 0, -1};
    const double flen = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    const double rlen = std::sqrt(f[0] * f[0] + f[1] * f[1]);
    if (flen > 0.0 && std::isfinite(flen) && rlen > 0.0) {
        for (double& v : f)
            v /= flen;
        right[0] = f[1] / rlen * flen;  // f x (0, 0, 1) = (f.y, -f.x, 0), normalised
        right[1] = -f[0] / rlen * flen;
        right[2] = 0.0;
        up[0] = right[1] * f[2] - right[2] * f[1];
        up[1] = right[2] * f[0] - right[0] * f[2];
        up[2] = right[0] * f[1] - right[1] * f[0];
        const double c = std::cos(roll), s = std::sin(roll);
        for (int i = 0; i < 3; ++i) {
            const double r0 = right[i], u0 = up[i];
            right[i] = c * r0 + s * u0;
            up[i] = c * u0 - s * r0;
        }
    } else {
        f[0] = 0.0;
        f[1] = 1.0;
        f[2] = 0.0;
    }
    const double back[3] = {-f[0], -f[1], -f[2]};
    MatrixQuaternion(right, up, back, q);
}

// ---- Names ------------------------------------------------------------------------------------

// Length of the UTF-8 sequence at `s` (0 when it is not one), control characters excluded.
size_t Utf8SequenceLength(const unsigned char* s, size_t left) {
    const unsigned char c = s[0];
    if (c < 0x20 || c == 0x7F) return 0;
    if (c < 0x80) return 1;
    size_t n = 0;
    uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        code = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        code = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        code = c & 0x07u;
    } else {
        return 0;
    }
    if (n > left) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (s[i] & 0x3Fu);
    }
    const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    if (code >= 0x80 && code < 0xA0) return 0;  // C1 controls
    return n;
}

// ---- Text for the report ----------------------------------------------------------------------

std::string Quoted(const char* name) {
    std::string out = "\"";
    for (const char* p = name != nullptr ? name : ""; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out + "\"";
}

// ---- Meshes ----------------------------------------------------------------------------------

// The normals of the faces' corners, in engine axes. Fills `normals` with 9 floats per face
// (vertex0, vertex1, vertex2) and returns true where corners of one vertex may differ; returns
// false, leaving it empty, where each corner takes its vertex's normal (CornerNormal). The one
// place that decides which normals the export writes: today the vertex normals the loader
// derived.
bool PrepareCornerNormals(const MeshObject& mesh, std::vector<float>& normals) {
    (void)mesh;
    normals.clear();
    return false;
}

// The normal of corner `c` (0: vertex0, 1: vertex1, 2: vertex2) of face `f`: from the
// prepared corner normals, else its vertex's, else (a vertex that no face gives a normal) its
// face's plane.
const float* CornerNormal(const MeshObject& mesh, const std::vector<float>& corners, int32_t f,
                          int c) {
    if (!corners.empty()) return &corners[static_cast<size_t>(f) * 9 + static_cast<size_t>(c) * 3];
    const Face& face = mesh.faces[f];
    const Vertex* v = c == 0 ? face.vertex0 : (c == 1 ? face.vertex1 : face.vertex2);
    const float* n = &v->nx;
    if ((n[0] != 0.0f || n[1] != 0.0f || n[2] != 0.0f) && Finite3(n)) return n;
    return face.plane;
}

// True when the file gave the mesh texture coordinates.
bool MeshHasTexCoords(const MeshObject& mesh) {
    return mesh.texCoordCount > 0;
}

// How a mesh's vertices are stored: moved by `matrix` (file axes, row vectors) from where
// the file stores them.
struct MeshPlacement {
    bool moved = false;
    Matrix4 matrix{};
};

// Working memory of BuildMesh, kept from one mesh to the next so that its pages are touched
// once per export rather than once per mesh.
struct MeshScratch {
    std::vector<float> position;
    std::vector<uint8_t> finite;
    std::vector<float> cornerNormals;
    std::vector<int32_t> start;
    std::vector<uint8_t> keep;
    std::vector<int32_t> order;
    std::vector<int32_t> next;
    std::vector<int32_t> firstOut;
    std::vector<int32_t> nextOut;
    std::vector<uint32_t> sourceOf;
    std::vector<float> outPosition, outNormal, outTexCoord;
    std::vector<uint32_t> indices;
};

// Builds the glTF mesh of `object`, one primitive per face material. Returns its index, or
// -1 when no face is left (none, or every face touches a position that is not finite).
int32_t BuildMesh(Document& doc, const Scene& scene, const MeshObject& object,
                  const MeshPlacement& placement, std::vector<int32_t>& materialIndex,
                  MeshScratch& scratch, GltfReport& report) {
    if (object.faceCount <= 0 || object.vertexCount <= 0 || object.faces == nullptr ||
        object.vertices == nullptr) {
        return -1;
    }
    const size_t vertexCount = static_cast<size_t>(object.vertexCount);
    // Positions in the file's axes, moved where the mesh is stored; a vertex whose
    // position is not finite is marked.
    std::vector<float>& position = scratch.position;
    std::vector<uint8_t>& finite = scratch.finite;
    position.resize(vertexCount * 3);
    finite.resize(vertexCount);
    for (size_t i = 0; i < vertexCount; ++i) {
        const Vertex& v = object.vertices[i];
        double p[3] = {D(v.x), D(v.z), D(v.y)};
        double q[3] = {p[0], p[1], p[2]};
        if (placement.moved) TransformPoint(placement.matrix, p, q);
        for (int c = 0; c < 3; ++c)
            position[i * 3 + c] = static_cast<float>(q[c]);
        finite[i] = Finite3(&position[i * 3]) ? 1 : 0;
    }
    double normalMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (placement.moved) NormalMatrix(placement.matrix, normalMatrix);
    std::vector<float>& cornerNormals = scratch.cornerNormals;
    PrepareCornerNormals(object, cornerNormals);
    const bool texCoords = MeshHasTexCoords(object);

    // Faces by material: -1 (none, or an index out of range) first, then 0, 1, ...
    const int32_t groups = scene.materialCount + 1;
    std::vector<int32_t>& start = scratch.start;
    start.assign(static_cast<size_t>(groups) + 1, 0);
    auto groupOf = [&](const Face& face) {
        return face.material >= 0 && face.material < scene.materialCount ? face.material + 1 : 0;
    };
    int32_t dropped = 0;
    std::vector<uint8_t>& keep = scratch.keep;
    keep.resize(static_cast<size_t>(object.faceCount));
    for (int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        const size_t a = static_cast<size_t>(face.vertex0 - object.vertices);
        const size_t b = static_cast<size_t>(face.vertex1 - object.vertices);
        const size_t c = static_cast<size_t>(face.vertex2 - object.vertices);
        keep[f] = finite[a] && finite[b] && finite[c] ? 1 : 0;
        if (keep[f] != 0) {
            ++start[groupOf(face) + 1];
        } else {
            ++dropped;
        }
    }
    if (dropped > 0) {
        report.notes.push_back("mesh " + Quoted(object.name) + ": " + std::to_string(dropped) +
                               " faces left out (a corner's position is not a finite number)");
    }
    // Every face kept and in one group (the common case): the faces in their order.
    const bool oneGroup =
        dropped == 0 && std::find(start.begin() + 1, start.end(), object.faceCount) != start.end();
    for (int32_t g = 0; g < groups; ++g)
        start[g + 1] += start[g];
    if (start[groups] == 0) return -1;
    std::vector<int32_t>& order = scratch.order;
    order.resize(static_cast<size_t>(start[groups]));
    if (oneGroup) {
        for (int32_t f = 0; f < object.faceCount; ++f)
            order[static_cast<size_t>(f)] = f;
    } else {
        std::vector<int32_t>& next = scratch.next;
        next.assign(start.begin(), start.end() - 1);
        for (int32_t f = 0; f < object.faceCount; ++f) {
            if (keep[f] != 0) order[next[groupOf(object.faces[f])]++] = f;
        }
    }

    Mesh mesh;
    mesh.name = GltfName(object.name);
    // Output vertices of one primitive: the first made from each stored vertex, and a chain
    // through those made from the same vertex with another normal.
    std::vector<int32_t>& firstOut = scratch.firstOut;
    firstOut.assign(vertexCount, -1);
    std::vector<int32_t>& nextOut = scratch.nextOut;
    std::vector<uint32_t>& sourceOf = scratch.sourceOf;
    std::vector<float>& outPosition = scratch.outPosition;
    std::vector<float>& outNormal = scratch.outNormal;
    std::vector<float>& outTexCoord = scratch.outTexCoord;
    std::vector<uint32_t>& indices = scratch.indices;
    for (int32_t g = 0; g < groups; ++g) {
        if (start[g] == start[g + 1]) continue;
        nextOut.clear();
        sourceOf.clear();
        outPosition.clear();
        outNormal.clear();
        outTexCoord.clear();
        indices.clear();
        for (int32_t k = start[g]; k < start[g + 1]; ++k) {
            const int32_t f = order[k];
            const Face& face = object.faces[f];
            // The file's corner order a, b, c (counter-clockwise seen from the front):
            // vertex0, vertex2, vertex1.
            const Vertex* corners[3] = {face.vertex0, face.vertex2, face.vertex1};
            const int normalSlot[3] = {0, 2, 1};
            for (int c = 0; c < 3; ++c) {
                const size_t source = static_cast<size_t>(corners[c] - object.vertices);
                // Output vertices are told apart by the loader's normal as it is; each new
                // one's normal is turned and normalised below.
                const float* normal = CornerNormal(object, cornerNormals, f, normalSlot[c]);
                int32_t out = firstOut[source];
                while (out >= 0 && std::memcmp(&outNormal[static_cast<size_t>(out) * 3], normal,
                                               3 * sizeof(float)) != 0) {
                    out = nextOut[static_cast<size_t>(out)];
                }
                if (out < 0) {
                    out = static_cast<int32_t>(sourceOf.size());
                    nextOut.push_back(firstOut[source]);
                    firstOut[source] = out;
                    sourceOf.push_back(static_cast<uint32_t>(source));
                    outPosition.insert(outPosition.end(), &position[source * 3],
                                       &position[source * 3] + 3);
                    outNormal.insert(outNormal.end(), normal, normal + 3);
                    if (texCoords) {
                        const Vertex& v = object.vertices[source];
                        // glTF's v runs down the image, the file's up it.
                        outTexCoord.push_back(std::isfinite(v.u) ? v.u : 0.0f);
                        outTexCoord.push_back(std::isfinite(v.v) ? 1.0f - v.v : 0.0f);
                    }
                }
                indices.push_back(static_cast<uint32_t>(out));
            }
        }
        for (uint32_t source : sourceOf)
            firstOut[source] = -1;
        // The normals in the file's axes, facing the front of the file's corner order (the
        // loader's, so turned, point away from it), moved with the mesh and normalised.
        for (size_t i = 0; i < outNormal.size(); i += 3) {
            const double n[3] = {-static_cast<double>(outNormal[i]),
                                 -static_cast<double>(outNormal[i + 2]),
                                 -static_cast<double>(outNormal[i + 1])};
            double m[3];
            for (int k = 0; k < 3; ++k)
                m[k] = n[0] * normalMatrix[k] + n[1] * normalMatrix[3 + k] +
                       n[2] * normalMatrix[6 + k];
            const double len = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
            const bool usable = len > 0.0 && std::isfinite(len);
            for (int k = 0; k < 3; ++k)
                outNormal[i + k] =
                    usable ? static_cast<float>(m[k] * (1.0 / len)) : (k == 2 ? 1.0f : 0.0f);
        }
        Primitive primitive;
        primitive.position = AddFloatAccessor(doc, outPosition, 3, "VEC3", kArrayBuffer);
        primitive.normal = AddFloatAccessor(doc, outNormal, 3, "VEC3", kArrayBuffer);
        if (texCoords) {
            primitive.texcoord = AddFloatAccessor(doc, outTexCoord, 2, "VEC2", kArrayBuffer);
        }
        primitive.indices = AddIndexAccessor(doc, indices, static_cast<uint32_t>(sourceOf.size()));
        primitive.material = g == 0 ? -1 : materialIndex[static_cast<size_t>(g - 1)];
        mesh.primitives.push_back(primitive);
        ++report.primitives;
    }
    doc.meshes.push_back(std::move(mesh));
    return static_cast<int32_t>(doc.meshes.size()) - 1;
}

// ---- Materials and maps ----------------------------------------------------------------------

// The most bytes of one map file embedded.
constexpr uintmax_t kMaxMapBytes = uintmax_t{256} << 20;

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The file of a map named `name` (its folders, if the name has any, left out): beside the
// scene, then in a folder maps/ or textures/ beside it, each name matched in any case. Empty
// when none is found. The one place that looks for maps on disk.
std::string FindMapFile(const std::string& sceneFolder, const char* name) {
    if (sceneFolder.empty() || name == nullptr) return {};
    std::string base = name;
    const size_t slash = base.find_last_of("/\\:");
    if (slash != std::string::npos) base = base.substr(slash + 1);
    if (base.empty()) return {};
    const std::string wanted = Lower(base);
    namespace fs = std::filesystem;
    std::error_code error;
    auto findIn = [&](const fs::path& folder, const std::string& entryName,
                      bool folders) -> std::string {
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (Lower(it->path().filename().string()) != entryName) continue;
            if (folders ? it->is_directory(error) : it->is_regular_file(error)) {
                return it->path().string();
            }
        }
        return {};
    };
    if (std::string found = findIn(sceneFolder, wanted, false); !found.empty()) return found;
    for (const char* sub : {"maps", "textures"}) {
        const std::string folder = findIn(sceneFolder, sub, true);
        if (folder.empty()) continue;
        if (std::string found = findIn(folder, wanted, false); !found.empty()) return found;
    }
    return {};
}

// The bytes of `path` when it is a PNG or a JPEG file (their signatures), with its MIME type;
// else the reason it is not embedded. options.readingMap is told before the bytes are read.
bool ReadMapFile(const std::string& path, const GltfOptions& options, std::vector<uint8_t>& bytes,
                 std::string& mimeType, std::string& reason) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > kMaxMapBytes) {
        reason = error ? "cannot be read" : "is larger than 256 MiB";
        return false;
    }
    if (options.readingMap != nullptr) options.readingMap(options.readingMapUser, path, size);
    std::ifstream in(path, std::ios::binary);
    bytes.resize(static_cast<size_t>(size));
    if (!in ||
        !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        reason = "cannot be read";
        return false;
    }
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPng, 8) == 0) {
        mimeType = "image/png";
        return true;
    }
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        mimeType = "image/jpeg";
        return true;
    }
    const bool bmp = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    const bool gif = bytes.size() >= 4 && std::memcmp(bytes.data(), "GIF8", 4) == 0;
    reason = bmp   ? "is a BMP image, which is not carried over (PNG and JPEG are)"
             : gif ? "is a GIF image, which is not carried over (PNG and JPEG are)"
                   : "is not a PNG or JPEG image (TGA and other formats are not carried over)";
    return false;
}

float Unit(float v, float fallback) {
    return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : fallback;
}

// The sampler of a map's tiling flags: clamped at the edges for a decal or a map that does
// not tile, mirrored for a mirrored one, else repeated.
SamplerRecord MapSampler(const MaterialMap& map) {
    SamplerRecord sampler;
    int32_t wrap = 10497;                                            // REPEAT
    if ((map.tiling & kMapMirror) != 0) wrap = 33648;                // MIRRORED_REPEAT
    if ((map.tiling & (kMapDecal | kMapNoTile)) != 0) wrap = 33071;  // CLAMP_TO_EDGE
    sampler.wrapS = sampler.wrapT = wrap;
    return sampler;
}

// The map's scale, offset and rotation as KHR_texture_transform gives them. The file's
// transform works on coordinates whose v runs up the image, x' = R(a) S x + o (scale, then
// turn counter-clockwise by the rotation, then move by the offset); glTF's v runs down it
// (v' = 1 - v), in which the same transform is x' = R(-a) S x + b with
// b = (o.u - sin(a) s.v, 1 - o.v - cos(a) s.v).
void MapTransform(const MaterialMap& map, MaterialRecord& m) {
    auto finite = [](float v, float fallback) { return std::isfinite(v) ? v : fallback; };
    const double su = D(finite(map.uScale, 1.0f)), sv = D(finite(map.vScale, 1.0f));
    const double ou = D(finite(map.uOffset, 0.0f)), ov = D(finite(map.vOffset, 0.0f));
    const double a =
        std::fmod(static_cast<double>(finite(map.rotation, 0.0f)), 360.0) * kPi / 180.0;
    m.transform = su != 1.0 || sv != 1.0 || ou != 0.0 || ov != 0.0 || a != 0.0;
    if (!m.transform) return;
    m.scale[0] = static_cast<float>(su);
    m.scale[1] = static_cast<float>(sv);
    m.rotation = static_cast<float>(-a);
    m.offset[0] = static_cast<float>(ou - std::sin(a) * sv);
    m.offset[1] = static_cast<float>(1.0 - ov - std::cos(a) * sv);
}

// The glTF material of `source` (metallic-roughness): base colour from the diffuse colour
// and alpha from the transparency (blended when not opaque), roughness 1 - shininess, no
// metal, two-sided as the file says, emission the diffuse colour times the
// self-illumination; its texture map as the base colour texture where the map is found and
// is a PNG or JPEG file (the diffuse colour then gives way to the map).
void BuildMaterial(Document& doc, const Material& source, const GltfOptions& options,
                   std::map<std::string, int32_t>& imageOf, GltfReport& report) {
    MaterialRecord m;
    m.name = GltfName(source.name);
    for (int c = 0; c < 3; ++c)
        m.baseColor[c] = Unit(source.diffuse[c], 0.588f);
    m.baseColor[3] = 1.0f - Unit(source.transparency, 0.0f);
    m.blend = m.baseColor[3] < 1.0f;
    m.roughness = 1.0f - Unit(source.shininess, 0.0f);
    const float glow = Unit(source.selfIllumination, 0.0f);
    for (int c = 0; c < 3; ++c)
        m.emissive[c] = m.baseColor[c] * glow;
    m.doubleSided = source.twoSided != 0;
    const MaterialMap& map = source.textureMap;
    if (map.present != 0 && map.fileName != nullptr && map.fileName[0] != '\0') {
        const std::string what =
            "material " + Quoted(source.name) + ": texture map " + Quoted(map.fileName) + " ";
        const std::string path = FindMapFile(options.sceneFolder, map.fileName);
        int32_t image = -1;
        if (path.empty()) {
            report.notes.push_back(what +
                                   "not carried over: no such file beside the scene, nor "
                                   "in maps/ or textures/");
        } else if (auto it = imageOf.find(path); it != imageOf.end()) {
            image = it->second;
        } else {
            ImageRecord record;
            std::string reason;
            if (ReadMapFile(path, options, record.bytes, record.mimeType, reason)) {
                record.path = path;
                image = static_cast<int32_t>(doc.images.size());
                if (options.container == GltfContainer::Binary) {
                    record.view = AddView(doc, std::move(record.bytes), 0);
                    record.bytes = {};
                }
                doc.images.push_back(std::move(record));
            } else {
                report.notes.push_back(what + "not carried over: the file " + reason);
            }
            imageOf[path] = image;
        }
        if (image >= 0) {
            const SamplerRecord sampler = MapSampler(map);
            int32_t s = 0;
            while (
                s < static_cast<int32_t>(doc.samplers.size()) &&
                (doc.samplers[s].wrapS != sampler.wrapS || doc.samplers[s].wrapT != sampler.wrapT))
                ++s;
            if (s == static_cast<int32_t>(doc.samplers.size())) doc.samplers.push_back(sampler);
            int32_t t = 0;
            while (t < static_cast<int32_t>(doc.textures.size()) &&
                   (doc.textures[t].image != image || doc.textures[t].sampler != s))
                ++t;
            if (t == static_cast<int32_t>(doc.textures.size())) doc.textures.push_back({s, image});
            m.texture = t;
            m.baseColor[0] = m.baseColor[1] = m.baseColor[2] = 1.0f;
            MapTransform(map, m);
            doc.textureTransform = doc.textureTransform || m.transform;
        }
    }
    if (source.opacityMap.present != 0) {
        report.notes.push_back("material " + Quoted(source.name) +
                               ": opacity map not carried over (the transparency is)");
    }
    doc.materials.push_back(m);
}

// ---- Nodes and animation ----------------------------------------------------------------------

// A node's own transform at `frame` in the file's axes (the viewer's local matrix S R T).
void LocalTransform(const SceneAnimation& animation, int32_t node, double frame, float t[3],
                    float r[4], float s[3]) {
    static const float kZero[3] = {0, 0, 0};
    static const float kOne[3] = {1, 1, 1};
    const AnimatedNode& n = animation.nodes[node];
    float position[3], scale[3];
    EvaluateNodeVector(animation, n.position, frame, kZero, position);
    EvaluateNodeVector(animation, n.scale, frame, kOne, scale);
    const Quaternion q = EvaluateNodeRotation(animation, node, frame);
    t[0] = position[0];
    t[1] = position[2];
    t[2] = position[1];
    s[0] = scale[0];
    s[1] = scale[2];
    s[2] = scale[1];
    const double len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    const double k = len > 0.0 && std::isfinite(len) ? 1.0 / len : 0.0;
    r[0] = static_cast<float>(q.x * k);
    r[1] = static_cast<float>(q.y * k);
    r[2] = static_cast<float>(q.z * k);
    r[3] = k > 0.0 ? static_cast<float>(q.w * k) : 1.0f;
}

// What is sampled for one glTF node at every frame: translation, rotation, scale.
enum class SampleKind {
    Keyframer,  // a keyframer node's own transform (scale 0 while hidden when `hides`)
    HideOnly,   // the child node carrying a hidden node's mesh: scale 1, or 0 while hidden
    Camera,     // a camera aimed from its position at its target
    Light,      // a light: its position, and its direction when it is a spot light
};

struct SampledNode {
    int32_t gltf = -1;
    SampleKind kind = SampleKind::Keyframer;
    int32_t source = -1;  // keyframer node, camera or light index
    bool hides = false;
    std::vector<float> values;  // 10 per sample: t, r, s
};

// Where a light stands and looks at the frame of the last EvaluateAnimation (file axes):
// the world positions of its node and its target's node where they have position keys, else
// the light's own position and target, as a camera's are found.
void LightPlace(const Scene& scene, const SceneAnimation& animation, int32_t light,
                const std::vector<int32_t>& lightNode, const std::vector<int32_t>& targetNode,
                double p[3], double t[3]) {
    const Light& l = scene.lights[light];
    p[0] = D(l.position[0]);
    p[1] = D(l.position[2]);
    p[2] = D(l.position[1]);
    t[0] = D(l.target[0]);
    t[1] = D(l.target[2]);
    t[2] = D(l.target[1]);
    const int32_t n = lightNode[static_cast<size_t>(light)];
    if (n >= 0 && animation.nodes[n].position.count > 0) {
        const Matrix4& w = animation.worldFile[n];
        p[0] = D(w[12]);
        p[1] = D(w[13]);
        p[2] = D(w[14]);
    }
    const int32_t tn = targetNode[static_cast<size_t>(light)];
    if (tn >= 0 && animation.nodes[tn].position.count > 0) {
        const Matrix4& w = animation.worldFile[tn];
        t[0] = D(w[12]);
        t[1] = D(w[13]);
        t[2] = D(w[14]);
    }
}

// A camera's place at the frame of the last EvaluateAnimation (file axes) and its
// horizontal field of view in degrees, as the viewer evaluates them.
void CameraPlace(const Scene& scene, const SceneAnimation& animation, int32_t camera, float t[3],
                 float r[4], float& fovDegrees) {
    Matrix4 m;
    if (EvaluateCamera(scene, animation, camera, m, fovDegrees)) {
        // The viewer's camera matrix (engine axes, rows right, up, forward, position) is
        // mirrored by the exchange of y and z: in the file's axes its right and up rows point
        // left and down. glTF's camera looks down -z.
        const double right[3] = {-D(m[0]), -D(m[2]), -D(m[1])};
        const double up[3] = {-D(m[4]), -D(m[6]), -D(m[5])};
        const double back[3] = {-D(m[8]), -D(m[10]), -D(m[9])};
        MatrixQuaternion(right, up, back, r);
        t[0] = m[12];
        t[1] = m[14];
        t[2] = m[13];
        return;
    }
    // No camera node: the first keys of its tracks, else its camera chunk, and its bank.
    const Camera& c = scene.cameras[camera];
    double pe[3], te[3];
    CameraPositionAndTarget(c, pe, te);
    const double p[3] = {pe[0], pe[2], pe[1]};
    const double target[3] = {te[0], te[2], te[1]};
    const double bank = std::isfinite(c.bank) ? static_cast<double>(c.bank) : 0.0;
    AimRotation(p, target, bank * kPi / 180.0, r);
    for (int i = 0; i < 3; ++i)
        t[i] = static_cast<float>(p[i]);
}

void SetTransform(Node& node, const float* v) {
    std::memcpy(node.t, v, 3 * sizeof(float));
    std::memcpy(node.r, v + 3, 4 * sizeof(float));
    std::memcpy(node.s, v + 7, 3 * sizeof(float));
}

// ---- Writing ----------------------------------------------------------------------------------

void WriteNumbers(JsonWriter& w, const char* key, const double* values, int32_t count) {
    JsonKey(w, key);
    JsonBeginArray(w);
    for (int32_t i = 0; i < count; ++i)
        JsonNumber(w, values[i]);
    JsonEndArray(w);
}

void WriteFloats(JsonWriter& w, const char* key, const float* values, int32_t count) {
    double d[4];
    for (int32_t i = 0; i < count; ++i)
        d[i] = static_cast<double>(values[i]);
    WriteNumbers(w, key, d, count);
}

void WriteTextureInfo(JsonWriter& w, const MaterialRecord& m) {
    JsonBeginObject(w);
    JsonKey(w, "index");
    JsonInteger(w, m.texture);
    if (m.transform) {
        JsonKey(w, "extensions");
        JsonBeginObject(w);
        JsonKey(w, "KHR_texture_transform");
        JsonBeginObject(w);
        WriteFloats(w, "offset", m.offset, 2);
        JsonKey(w, "rotation");
        JsonNumber(w, static_cast<double>(m.rotation));
        WriteFloats(w, "scale", m.scale, 2);
        JsonEndObject(w);
        JsonEndObject(w);
    }
    JsonEndObject(w);
}

std::string DocumentJson(const Document& doc, const std::string& bufferUri, bool lights) {
    JsonWriter w;
    JsonBeginObject(w);
    JsonKey(w, "asset");
    JsonBeginObject(w);
    JsonKey(w, "version");
    JsonString(w, "2.0");
    JsonKey(w, "generator");
    JsonString(w, "Trellis");
    JsonEndObject(w);
    if (lights || doc.textureTransform) {
        JsonKey(w, "extensionsUsed");
        JsonBeginArray(w);
        if (lights) JsonString(w, "KHR_lights_punctual");
        if (doc.textureTransform) JsonString(w, "KHR_texture_transform");
        JsonEndArray(w);
    }
    JsonKey(w, "scene");
    JsonInteger(w, 0);
    JsonKey(w, "scenes");
    JsonBeginArray(w);
    JsonBeginObject(w);
    JsonKey(w, "nodes");
    JsonBeginArray(w);
    JsonInteger(w, 0);
    JsonEndArray(w);
    JsonEndObject(w);
    JsonEndArray(w);

    JsonKey(w, "nodes");
    JsonBeginArray(w);
    for (const Node& node : doc.nodes) {
        JsonBeginObject(w);
        if (!node.name.empty()) {
            JsonKey(w, "name");
            JsonString(w, node.name);
        }
        if (!node.children.empty()) {
            JsonKey(w, "children");
            JsonBeginArray(w);
            for (int32_t c : node.children)
                JsonInteger(w, c);
            JsonEndArray(w);
        }
        if (node.mesh >= 0) {
            JsonKey(w, "mesh");
            JsonInteger(w, node.mesh);
        }
        if (node.camera >= 0) {
            JsonKey(w, "camera");
            JsonInteger(w, node.camera);
        }
        if (node.t[0] != 0.0f || node.t[1] != 0.0f || node.t[2] != 0.0f) {
            WriteFloats(w, "translation", node.t, 3);
        }
        if (node.r[0] != 0.0f || node.r[1] != 0.0f || node.r[2] != 0.0f || node.r[3] != 1.0f) {
            WriteFloats(w, "rotation", node.r, 4);
        }
        if (node.s[0] != 1.0f || node.s[1] != 1.0f || node.s[2] != 1.0f) {
            WriteFloats(w, "scale", node.s, 3);
        }
        if (node.light >= 0) {
            JsonKey(w, "extensions");
            JsonBeginObject(w);
            JsonKey(w, "KHR_lights_punctual");
            JsonBeginObject(w);
            JsonKey(w, "light");
            JsonInteger(w, node.light);
            JsonEndObject(w);
            JsonEndObject(w);
        }
        JsonEndObject(w);
    }
    JsonEndArray(w);

    if (!doc.meshes.empty()) {
        JsonKey(w, "meshes");
        JsonBeginArray(w);
        for (const Mesh& mesh : doc.meshes) {
            JsonBeginObject(w);
            if (!mesh.name.empty()) {
                JsonKey(w, "name");
                JsonString(w, mesh.name);
            }
            JsonKey(w, "primitives");
            JsonBeginArray(w);
            for (const Primitive& p : mesh.primitives) {
                JsonBeginObject(w);
                JsonKey(w, "attributes");
                JsonBeginObject(w);
                JsonKey(w, "POSITION");
                JsonInteger(w, p.position);
                JsonKey(w, "NORMAL");
                JsonInteger(w, p.normal);
                if (p.texcoord >= 0) {
                    JsonKey(w, "TEXCOORD_0");
                    JsonInteger(w, p.texcoord);
                }
                JsonEndObject(w);
                JsonKey(w, "indices");
                JsonInteger(w, p.indices);
                if (p.material >= 0) {
                    JsonKey(w, "material");
                    JsonInteger(w, p.material);
                }
                JsonEndObject(w);
            }
            JsonEndArray(w);
            JsonEndObject(w);
        }
        JsonEndArray(w);
    }

    if (!doc.materials.empty()) {
        JsonKey(w, "materials");
        JsonBeginArray(w);
        for (const MaterialRecord& m : doc.materials) {
            JsonBeginObject(w);
            if (!m.name.empty()) {
                JsonKey(w, "name");
                JsonString(w, m.name);
            }
            JsonKey(w, "pbrMetallicRoughness");
            JsonBeginObject(w);
            WriteFloats(w, "baseColorFactor", m.baseColor, 4);
            if (m.texture >= 0) {
                JsonKey(w, "baseColorTexture");
                WriteTextureInfo(w, m);
            }
            JsonKey(w, "metallicFactor");
            JsonNumber(w, 0.0);
            JsonKey(w, "roughnessFactor");
            JsonNumber(w, static_cast<double>(m.roughness));
            JsonEndObject(w);
            if (m.emissive[0] != 0.0f || m.emissive[1] != 0.0f || m.emissive[2] != 0.0f) {
                WriteFloats(w, "emissiveFactor", m.emissive, 3);
            }
            if (m.blend) {
                JsonKey(w, "alphaMode");
                JsonString(w, "BLEND");
            }
            if (m.doubleSided) {
                JsonKey(w, "doubleSided");
                JsonBool(w, true);
            }
            JsonEndObject(w);
        }
        JsonEndArray(w);
    }

    if (!doc.textures.empty()) {
        JsonKey(w, "textures");
        JsonBeginArray(w);
        for (const TextureRecord& t : doc.textures) {
            JsonBeginObject(w);
            JsonKey(w, "sampler");
            JsonInteger(w, t.sampler);
            JsonKey(w, "source");
            JsonInteger(w, t.image);
            JsonEndObject(w);
        }
        JsonEndArray(w);
        JsonKey(w, "samplers");
        JsonBeginArray(w);
        for (const SamplerRecord& sampler : doc.samplers) {
            JsonBeginObject(w);
            JsonKey(w, "magFilter");
            JsonInteger(w, 9729);  // LINEAR
            JsonKey(w, "minFilter");
            JsonInteger(w, 9987);  // LINEAR_MIPMAP_LINEAR
            JsonKey(w, "wrapS");
            JsonInteger(w, sampler.wrapS);
            JsonKey(w, "wrapT");
            JsonInteger(w, sampler.wrapT);
            JsonEndObject(w);
        }
        JsonEndArray(w);
        JsonKey(w, "images");
        JsonBeginArray(w);
        for (const ImageRecord& image : doc.images) {
            JsonBeginObject(w);
            if (image.view >= 0) {
                JsonKey(w, "bufferView");
                JsonInteger(w, image.view);
                JsonKey(w, "mimeType");
                JsonString(w, image.mimeType);
            } else {
                JsonKey(w, "uri");
                JsonString(w, image.uri);
            }
            JsonEndObject(w);
        }
        JsonEndArray(w);
    }

    if (!doc.cameras.empty()) {
        JsonKey(w, "cameras");
        JsonBeginArray(w);
        for (const CameraRecord& c : doc.cameras) {
            JsonBeginObject(w);
            if (!c.name.empty()) {
                JsonKey(w, "name");
                JsonString(w, c.name);
            }
            JsonKey(w, "type");
            JsonString(w, "perspective");
            JsonKey(w, "perspective");
            JsonBeginObject(w);
            JsonKey(w, "aspectRatio");
            JsonNumber(w, kCameraAspect);
            JsonKey(w, "yfov");
            JsonNumber(w, c.yfov);
            JsonKey(w, "znear");
            JsonNumber(w, c.znear);
            JsonEndObject(w);
            JsonEndObject(w);
        }
        JsonEndArray(w);
    }

    if (!doc.channels.empty()) {
        JsonKey(w, "animations");
        JsonBeginArray(w);
        JsonBeginObject(w);
        JsonKey(w, "name");
        JsonString(w, "Keyframer");
        JsonKey(w, "samplers");
        JsonBeginArray(w);
        for (const Channel& c : doc.channels) {
            JsonBeginObject(w);
            JsonKey(w, "input");
            JsonInteger(w, doc.timeAccessor);
            JsonKey(w, "output");
            JsonInteger(w, c.output);
            JsonKey(w, "interpolation");
            JsonString(w, "LINEAR");
            JsonEndObject(w);
        }
        JsonEndArray(w);
        JsonKey(w, "channels");
        JsonBeginArray(w);
        for (size_t i = 0; i < doc.channels.size(); ++i) {
            JsonBeginObject(w);
            JsonKey(w, "sampler");
            JsonInteger(w, static_cast<int64_t>(i));
            JsonKey(w, "target");
            JsonBeginObject(w);
            JsonKey(w, "node");
            JsonInteger(w, doc.channels[i].node);
            JsonKey(w, "path");
            JsonString(w, doc.channels[i].path);
            JsonEndObject(w);
            JsonEndObject(w);
        }
        JsonEndArray(w);
        JsonEndObject(w);
        JsonEndArray(w);
    }

    if (!doc.accessors.empty()) {
        JsonKey(w, "accessors");
        JsonBeginArray(w);
        for (const Accessor& a : doc.accessors) {
            JsonBeginObject(w);
            JsonKey(w, "bufferView");
            JsonInteger(w, a.view);
            JsonKey(w, "componentType");
            JsonInteger(w, a.componentType);
            JsonKey(w, "count");
            JsonInteger(w, static_cast<int64_t>(a.count));
            JsonKey(w, "type");
            JsonString(w, a.type);
            WriteNumbers(w, "min", a.min, a.components);
            WriteNumbers(w, "max", a.max, a.components);
            JsonEndObject(w);
        }
        JsonEndArray(w);
    }

    if (!doc.views.empty()) {
        JsonKey(w, "bufferViews");
        JsonBeginArray(w);
        for (const BufferView& v : doc.views) {
            JsonBeginObject(w);
            JsonKey(w, "buffer");
            JsonInteger(w, 0);
            if (v.offset != 0) {
                JsonKey(w, "byteOffset");
                JsonInteger(w, static_cast<int64_t>(v.offset));
            }
            JsonKey(w, "byteLength");
            JsonInteger(w, static_cast<int64_t>(v.length));
            if (v.target != 0) {
                JsonKey(w, "target");
                JsonInteger(w, v.target);
            }
            JsonEndObject(w);
        }
        JsonEndArray(w);
        JsonKey(w, "buffers");
        JsonBeginArray(w);
        JsonBeginObject(w);
        if (!bufferUri.empty()) {
            JsonKey(w, "uri");
            JsonString(w, bufferUri);
        }
        JsonKey(w, "byteLength");
        JsonInteger(w, static_cast<int64_t>(doc.bufferLength));
        JsonEndObject(w);
        JsonEndArray(w);
    }

    if (lights) {
        JsonKey(w, "extensions");
        JsonBeginObject(w);
        JsonKey(w, "KHR_lights_punctual");
        JsonBeginObject(w);
        JsonKey(w, "lights");
        JsonBeginArray(w);
        for (const LightRecord& l : doc.lights) {
            JsonBeginObject(w);
            if (!l.name.empty()) {
                JsonKey(w, "name");
                JsonString(w, l.name);
            }
            JsonKey(w, "type");
            JsonString(w, l.spot ? "spot" : "point");
            WriteFloats(w, "color", l.color, 3);
            JsonKey(w, "intensity");
            JsonNumber(w, l.intensity);
            if (l.spot) {
                JsonKey(w, "spot");
                JsonBeginObject(w);
                JsonKey(w, "innerConeAngle");
                JsonNumber(w, l.inner);
                JsonKey(w, "outerConeAngle");
                JsonNumber(w, l.outer);
                JsonEndObject(w);
            }
            JsonEndObject(w);
        }
        JsonEndArray(w);
        JsonEndObject(w);
        JsonEndObject(w);
    }
    JsonEndObject(w);
    return std::move(w.out);
}

// The sink with its failure turned into the report's error.
struct Output {
    const GltfSink& sink;
    GltfReport& report;
    std::string name;
    bool ok = true;
};

bool Begin(Output& out, const std::string& name) {
    out.name = name;
    if (out.ok && !out.sink.begin(out.sink.user, name)) {
        out.ok = false;
        out.report.error = "cannot write " + Quoted(name.c_str());
    }
    return out.ok;
}

bool Write(Output& out, const void* bytes, size_t size) {
    if (out.ok && size > 0 && !out.sink.write(out.sink.user, bytes, size)) {
        out.ok = false;
        out.report.error = "cannot write " + Quoted(out.name.c_str());
    }
    if (out.ok) out.report.bytesWritten += size;
    return out.ok;
}

bool End(Output& out) {
    if (out.ok && !out.sink.end(out.sink.user)) {
        out.ok = false;
        out.report.error = "cannot complete " + Quoted(out.name.c_str());
    }
    return out.ok;
}

void WriteU32(Output& out, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    Write(out, bytes, 4);
}

// The buffer's blocks in order, each at its view's offset (zeros between).
void WriteBuffer(Output& out, const Document& doc) {
    static const uint8_t kZeros[4] = {};
    size_t at = 0;
    for (const BufferView& v : doc.views) {
        Write(out, kZeros, v.offset - at);
        const std::vector<uint8_t>& block = doc.blocks[static_cast<size_t>(v.block)];
        Write(out, block.data(), block.size());
        at = v.offset + v.length;
    }
}

// A file name made of `text`'s letters, digits, '.', '-' and '_' (others become '_').
std::string SafeFileName(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        out += safe ? c : '_';
    }
    if (out.empty() || out[0] == '.') out.insert(out.begin(), '_');
    return out;
}

std::string Stem(const std::string& fileName) {
    const size_t slash = fileName.find_last_of('/');
    std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base;
}

// ---- The export -------------------------------------------------------------------------------

bool BuildDocument(const Scene& scene, const GltfOptions& options, Document& doc,
                   GltfReport& report) {
    SceneAnimation animation;
    PrepareAnimation(scene, animation);
    const int32_t nodeCount = static_cast<int32_t>(animation.nodes.size());
    const double firstFrame = animation.firstFrame;
    EvaluateAnimation(animation, firstFrame);

    // The root: the file's z up turned to glTF's y up, -90 degrees about x.
    Node root;
    root.name = "Z-up";
    root.r[0] = -0.70710678118654752f;
    root.r[3] = 0.70710678118654752f;
    doc.nodes.push_back(root);

    // Materials, one per record.
    std::vector<int32_t> materialIndex(static_cast<size_t>(std::max(scene.materialCount, 0)));
    std::map<std::string, int32_t> imageOf;  // map files read, by path (-1: not embedded)
    for (int32_t i = 0; i < scene.materialCount; ++i) {
        BuildMaterial(doc, scene.materials[i], options, imageOf, report);
        materialIndex[static_cast<size_t>(i)] = i;
    }
    report.materials = static_cast<int32_t>(doc.materials.size());
    report.images = static_cast<int32_t>(doc.images.size());

    // Which keyframer nodes become glTF nodes: every object node, and every other node that
    // is a parent (targets, lights and cameras are placed by nodes of their own).
    std::vector<uint8_t> hasChildren(static_cast<size_t>(nodeCount), 0);
    for (const AnimatedNode& n : animation.nodes) {
        if (n.parent >= 0) hasChildren[static_cast<size_t>(n.parent)] = 1;
    }
    auto objectOf = [&](int32_t i) {
        const AnimatedNode& n = animation.nodes[i];
        return n.kind == KeyframerObjectNode && n.record >= 0 && n.record < scene.objectCount
                   ? n.record
                   : -1;
    };
    // The pivot each mesh is stored about: that of the first object node naming it.
    const size_t objectCount = static_cast<size_t>(std::max(scene.objectCount, 0));
    std::vector<int32_t> firstNode(objectCount, -1);
    for (int32_t i = 0; i < nodeCount; ++i) {
        const int32_t o = objectOf(i);
        if (o >= 0 && firstNode[static_cast<size_t>(o)] < 0) firstNode[static_cast<size_t>(o)] = i;
    }
    std::vector<int32_t> meshIndex(objectCount, -1);
    MeshScratch scratch;
    for (size_t o = 0; o < objectCount; ++o) {
        MeshPlacement placement;
        if (firstNode[o] >= 0) {
            // Into the node's frame: the inverse mesh matrix, then the pivot.
            placement.moved = true;
            placement.matrix = animation.objectInverse[o];
            const float* pivot = animation.nodes[firstNode[o]].pivot;
            for (int c = 0; c < 3; ++c)
                placement.matrix[12 + c] -= pivot[c];
        }
        meshIndex[o] =
            BuildMesh(doc, scene, scene.objects[o], placement, materialIndex, scratch, report);
    }
    report.meshes = static_cast<int32_t>(doc.meshes.size());

    std::vector<SampledNode> sampled;
    std::vector<int32_t> gltfOf(static_cast<size_t>(nodeCount), -1);
    auto addNode = [&](Node&& node, int32_t parent) {
        doc.nodes.push_back(std::move(node));
        const int32_t index = static_cast<int32_t>(doc.nodes.size()) - 1;
        doc.nodes[static_cast<size_t>(parent)].children.push_back(index);
        return index;
    };
    float v[10];
    for (int32_t i : animation.order) {
        const AnimatedNode& n = animation.nodes[i];
        const int32_t object = objectOf(i);
        if (n.kind != KeyframerObjectNode && hasChildren[static_cast<size_t>(i)] == 0) continue;
        const KeyframerNode& source = scene.nodes[i];
        Node node;
        const char* instanceName = NodeExtras(source).instanceName;
        node.name = GltfName(instanceName != nullptr && instanceName[0] != '\0' ? instanceName
                                                                                : source.name);
        LocalTransform(animation, i, firstFrame, v, v + 3, v + 7);
        SetTransform(node, v);
        const int32_t parent = n.parent >= 0 ? gltfOf[static_cast<size_t>(n.parent)] : 0;
        const int32_t self = addNode(std::move(node), parent >= 0 ? parent : 0);
        gltfOf[static_cast<size_t>(i)] = self;
        const int32_t mesh = object >= 0 ? meshIndex[static_cast<size_t>(object)] : -1;
        const bool hides = n.hideCount > 0 && mesh >= 0;
        // The mesh goes on a child node when the node's pivot differs from the one the mesh
        // is stored about, or when hiding the node must not hide its children.
        int32_t carrier = -1;
        if (mesh >= 0) {
            const float* stored = animation.nodes[firstNode[static_cast<size_t>(object)]].pivot;
            const bool samePivot = std::memcmp(stored, n.pivot, 3 * sizeof(float)) == 0;
            if (samePivot && !(hides && hasChildren[static_cast<size_t>(i)] != 0)) {
                carrier = self;
                doc.nodes[static_cast<size_t>(self)].mesh = mesh;
            } else {
                Node child;
                child.name = doc.nodes[static_cast<size_t>(self)].name;
                child.mesh = mesh;
                for (int c = 0; c < 3; ++c)
                    child.t[c] = stored[c] - n.pivot[c];
                carrier = addNode(std::move(child), self);
            }
        }
        const bool moves = n.position.count > 1 || n.rotation.count > 1 || n.scale.count > 1;
        if (moves || (hides && carrier == self)) {
            sampled.push_back({self, SampleKind::Keyframer, i, hides && carrier == self, {}});
        }
        if (hides && carrier != self) {
            sampled.push_back({carrier, SampleKind::HideOnly, i, true, {}});
        }
        if (hides && animation.hidden[static_cast<size_t>(i)] != 0) {
            doc.nodes[static_cast<size_t>(carrier)].s[0] = 0.0f;
            doc.nodes[static_cast<size_t>(carrier)].s[1] = 0.0f;
            doc.nodes[static_cast<size_t>(carrier)].s[2] = 0.0f;
        }
    }
    // Meshes that no node names, where the file stores them.
    for (size_t o = 0; o < objectCount; ++o) {
        if (firstNode[o] >= 0 || meshIndex[o] < 0) continue;
        Node node;
        node.name = GltfName(scene.objects[o].name);
        node.mesh = meshIndex[o];
        addNode(std::move(node), 0);
    }

    // Cameras, each on a node of its own.
    const SceneBounds bounds = ComputeSceneBounds(scene);
    double size = 0.0;
    for (int c = 0; bounds.finiteCount > 0 && c < 3; ++c)
        size = std::max(size, bounds.max[c] - bounds.min[c]);
    const double znear = size > 0.0 && std::isfinite(size) ? size * 1e-4 : 0.1;
    for (int32_t c = 0; c < scene.cameraCount; ++c) {
        CameraRecord camera;
        camera.name = GltfName(scene.cameras[c].name);
        float fov = 90.0f;
        CameraPlace(scene, animation, c, v, v + 3, fov);
        const double horizontal =
            std::clamp(std::isfinite(fov) ? static_cast<double>(fov) : 90.0, 0.01, 179.0) * kPi /
            180.0;
        camera.yfov = 2.0 * std::atan(std::tan(horizontal / 2.0) / kCameraAspect);
        camera.znear = znear;
        const int32_t cameraNode = animation.cameraNode[static_cast<size_t>(c)];
        if (cameraNode >= 0 && animation.nodes[cameraNode].fov.count > 1) {
            report.notes.push_back("camera " + Quoted(scene.cameras[c].name) +
                                   ": the field of view is its first frame's; its "
                                   "field-of-view track is not carried over");
        }
        doc.cameras.push_back(camera);
        Node node;
        node.name = camera.name;
        node.camera = static_cast<int32_t>(doc.cameras.size()) - 1;
        v[7] = v[8] = v[9] = 1.0f;
        SetTransform(node, v);
        const int32_t self = addNode(std::move(node), 0);
        if (animation.animated) sampled.push_back({self, SampleKind::Camera, c, false, {}});
    }
    report.cameras = static_cast<int32_t>(doc.cameras.size());

    // Lights: point and spot lights of KHR_lights_punctual.
    const size_t lightCount = static_cast<size_t>(std::max(scene.lightCount, 0));
    std::vector<int32_t> lightNode(lightCount, -1), lightTarget(lightCount, -1);
    for (int32_t i = 0; i < nodeCount; ++i) {
        const AnimatedNode& n = animation.nodes[i];
        if (n.record < 0 || n.record >= scene.lightCount) continue;
        const size_t l = static_cast<size_t>(n.record);
        if ((n.kind == KeyframerLightNode || n.kind == KeyframerSpotlightNode) && lightNode[l] < 0)
            lightNode[l] = i;
        if (n.kind == KeyframerLightTargetNode && lightTarget[l] < 0) lightTarget[l] = i;
    }
    for (size_t l = 0; l < lightCount; ++l) {
        const Light& source = scene.lights[l];
        LightRecord light;
        light.name = GltfName(source.name);
        light.spot = source.isSpot != 0;
        for (int c = 0; c < 3; ++c) {
            const float value = source.emitColor[c];
            light.color[c] = std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 1.0f;
        }
        const double multiplier = static_cast<double>(source.multiplier);
        light.intensity = source.isOff != 0                               ? 0.0
                          : multiplier > 0.0 && std::isfinite(multiplier) ? multiplier
                                                                          : 1.0;
        if (light.spot) {
            // The cone: hotspot and falloff are whole angles in degrees.
            auto half = [](float degrees) {
                const double d = static_cast<double>(degrees);
                return std::isfinite(d) ? std::clamp(d, 0.0, 180.0) * kPi / 360.0 : 0.0;
            };
            light.outer = std::max(half(source.falloff), 1e-4);
            light.inner = std::min(half(source.hotspot), light.outer * 0.999);
        }
        doc.lights.push_back(light);
        double p[3], t[3];
        LightPlace(scene, animation, static_cast<int32_t>(l), lightNode, lightTarget, p, t);
        Node node;
        node.name = light.name;
        node.light = static_cast<int32_t>(doc.lights.size()) - 1;
        for (int c = 0; c < 3; ++c)
            node.t[c] = static_cast<float>(p[c]);
        if (light.spot) AimRotation(p, t, 0.0, node.r);
        const int32_t self = addNode(std::move(node), 0);
        if (animation.animated) {
            sampled.push_back({self, SampleKind::Light, static_cast<int32_t>(l), false, {}});
        }
    }
    report.lights = static_cast<int32_t>(doc.lights.size());
    report.nodes = static_cast<int32_t>(doc.nodes.size());

    // The animation: every frame of the segment, each node's transform as the viewer
    // evaluates it there.
    if (!animation.animated || sampled.empty() || !(animation.lastFrame > firstFrame)) return true;
    const double span = animation.lastFrame - firstFrame;
    int64_t samples = static_cast<int64_t>(span) + 1;
    const int64_t perSample = static_cast<int64_t>(sampled.size()) * 10;
    const int64_t evaluations = std::max<int64_t>(nodeCount, 1);
    samples = std::min({samples, kMaxSamples, std::max<int64_t>(kMaxSampleFloats / perSample, 2),
                        std::max<int64_t>(kMaxNodeEvaluations / evaluations, 2)});
    const double step = span / static_cast<double>(samples - 1);
    if (step != 1.0) {
        report.notes.push_back(
            "animation: frames " + std::to_string(static_cast<int64_t>(firstFrame)) + " to " +
            std::to_string(static_cast<int64_t>(animation.lastFrame)) + " sampled at " +
            std::to_string(samples) + " times (a step of " + std::to_string(step) + " frames)");
    }
    for (SampledNode& s : sampled)
        s.values.resize(static_cast<size_t>(samples) * 10);
    std::vector<float> times(static_cast<size_t>(samples));
    const double framesPerSecond =
        options.framesPerSecond > 0.0 && std::isfinite(options.framesPerSecond)
            ? options.framesPerSecond
            : 30.0;
    for (int64_t k = 0; k < samples; ++k) {
        const double frame =
            k + 1 == samples ? animation.lastFrame : firstFrame + step * static_cast<double>(k);
        times[static_cast<size_t>(k)] = static_cast<float>((frame - firstFrame) / framesPerSecond);
        EvaluateAnimation(animation, frame);
        for (SampledNode& s : sampled) {
            float* out = &s.values[static_cast<size_t>(k) * 10];
            out[0] = out[1] = out[2] = 0.0f;
            out[3] = out[4] = out[5] = 0.0f;
            out[6] = 1.0f;
            out[7] = out[8] = out[9] = 1.0f;
            switch (s.kind) {
                case SampleKind::Keyframer:
                    LocalTransform(animation, s.source, frame, out, out + 3, out + 7);
                    break;
                case SampleKind::HideOnly:
                    break;
                case SampleKind::Camera: {
                    float fov = 0.0f;
                    CameraPlace(scene, animation, s.source, out, out + 3, fov);
                    break;
                }
                case SampleKind::Light: {
                    double p[3], t[3];
                    LightPlace(scene, animation, s.source, lightNode, lightTarget, p, t);
                    for (int c = 0; c < 3; ++c)
                        out[c] = static_cast<float>(p[c]);
                    if (scene.lights[s.source].isSpot != 0) AimRotation(p, t, 0.0, out + 3);
                    break;
                }
            }
            if (s.hides && animation.hidden[static_cast<size_t>(s.source)] != 0) {
                out[7] = out[8] = out[9] = 0.0f;
            }
            bool finite = true;
            for (int c = 0; c < 10; ++c)
                finite = finite && std::isfinite(out[c]);
            if (!finite) {  // not drawn by the viewer either: nowhere, and nothing
                for (int c = 0; c < 10; ++c)
                    out[c] = c == 6 ? 1.0f : 0.0f;
            }
            // Each rotation in the hemisphere of the one before it.
            if (k > 0) {
                const float* before = out - 10;
                const float dot = before[3] * out[3] + before[4] * out[4] + before[5] * out[5] +
                                  before[6] * out[6];
                if (dot < 0.0f) {
                    for (int c = 3; c < 7; ++c)
                        out[c] = -out[c];
                }
            }
        }
    }
    doc.timeAccessor = AddFloatAccessor(doc, times, 1, "SCALAR", 0);
    static const char* const kPaths[3] = {"translation", "rotation", "scale"};
    static const int32_t kOffset[3] = {0, 3, 7};
    static const int32_t kWidth[3] = {3, 4, 3};
    static const char* const kType[3] = {"VEC3", "VEC4", "VEC3"};
    std::vector<float> values;
    for (SampledNode& s : sampled) {
        for (int path = 0; path < 3; ++path) {
            const int32_t o = kOffset[path], width = kWidth[path];
            bool varies = false;
            for (int64_t k = 1; k < samples && !varies; ++k) {
                varies = std::memcmp(&s.values[static_cast<size_t>(k) * 10 + o], &s.values[o],
                                     static_cast<size_t>(width) * sizeof(float)) != 0;
            }
            if (!varies) continue;
            values.resize(static_cast<size_t>(samples * width));
            for (int64_t k = 0; k < samples; ++k) {
                std::memcpy(&values[static_cast<size_t>(k * width)],
                            &s.values[static_cast<size_t>(k) * 10 + o],
                            static_cast<size_t>(width) * sizeof(float));
            }
            Channel channel;
            channel.node = s.gltf;
            channel.path = kPaths[path];
            channel.output = AddFloatAccessor(doc, values, width, kType[path], 0);
            doc.channels.push_back(channel);
        }
        s.values = {};
    }
    report.animationChannels = static_cast<int32_t>(doc.channels.size());
    report.samples = doc.channels.empty() ? 0 : static_cast<int32_t>(samples);
    return true;
}

bool WriteDocument(Document& doc, const GltfOptions& options, const GltfSink& sink,
                   GltfReport& report) {
    Output out{sink, report, {}, true};
    const bool lights = !doc.lights.empty();
    if (options.container == GltfContainer::Text) {
        // Each map beside the main file, named after it and the map, each name once.
        const std::string stem = SafeFileName(Stem(options.fileName));
        std::vector<std::string> taken = {Lower(stem + ".bin"), Lower(options.fileName)};
        for (ImageRecord& image : doc.images) {
            std::string name =
                stem + "_" + SafeFileName(std::filesystem::path(image.path).filename().string());
            for (int n = 2; std::find(taken.begin(), taken.end(), Lower(name)) != taken.end();
                 ++n) {
                name = stem + "_" + std::to_string(n) + "_" +
                       SafeFileName(std::filesystem::path(image.path).filename().string());
            }
            taken.push_back(Lower(name));
            image.uri = name;
            Begin(out, name);
            Write(out, image.bytes.data(), image.bytes.size());
            End(out);
            image.bytes = {};
        }
        std::string bufferName;
        if (!doc.views.empty()) {
            bufferName = SafeFileName(Stem(options.fileName)) + ".bin";
            Begin(out, bufferName);
            WriteBuffer(out, doc);
            End(out);
        }
        const std::string json = DocumentJson(doc, bufferName, lights);
        Begin(out, options.fileName);
        Write(out, json.data(), json.size());
        End(out);
        return out.ok;
    }
    // .glb: a 12-byte header, the JSON chunk padded with spaces and the BIN chunk padded
    // with zeros, each to a multiple of 4.
    std::string json = DocumentJson(doc, {}, lights);
    json.append((4 - json.size() % 4) % 4, ' ');
    const size_t binLength = (doc.bufferLength + 3) & ~size_t{3};
    const size_t total = 12 + 8 + json.size() + (doc.views.empty() ? 0 : 8 + binLength);
    if (total > UINT32_MAX) {
        report.error = "the scene is too large for one .glb file (4 GiB); export it as .gltf";
        return false;
    }
    Begin(out, options.fileName);
    WriteU32(out, 0x46546C67);  // "glTF"
    WriteU32(out, 2);
    WriteU32(out, static_cast<uint32_t>(total));
    WriteU32(out, static_cast<uint32_t>(json.size()));
    WriteU32(out, 0x4E4F534A);  // "JSON"
    Write(out, json.data(), json.size());
    if (!doc.views.empty()) {
        WriteU32(out, static_cast<uint32_t>(binLength));
        WriteU32(out, 0x004E4942);  // "BIN"
        WriteBuffer(out, doc);
        static const uint8_t kZeros[4] = {};
        Write(out, kZeros, binLength - doc.bufferLength);
    }
    End(out);
    return out.ok;
}

struct MemorySink {
    std::map<std::string, std::vector<uint8_t>>* files;
    std::vector<uint8_t>* current = nullptr;
};

}  // namespace

std::string GltfName(const char* text) {
    std::string out;
    if (text == nullptr) return out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const size_t length = std::strlen(text);
    bool utf8 = true;
    for (size_t i = 0; i < length && utf8;) {
        const size_t n = Utf8SequenceLength(bytes + i, length - i);
        utf8 = n > 0;
        i += n;
    }
    if (utf8) return std::string(text, length);
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = bytes[i];
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {  // Latin-1 to UTF-8
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool ExportGltf(const Scene& scene, const GltfOptions& options, const GltfSink& sink,
                GltfReport& report) {
    report = GltfReport{};
    try {
        Document doc;
        if (!BuildDocument(scene, options, doc, report)) return false;
        return WriteDocument(doc, options, sink, report);
    } catch (const std::bad_alloc&) {
        report.error = "out of memory";
        return false;
    }
}

bool ExportGltfToMemory(const Scene& scene, const GltfOptions& options,
                        std::map<std::string, std::vector<uint8_t>>& files, GltfReport& report) {
    MemorySink memory{&files};
    GltfSink sink;
    sink.user = &memory;
    sink.begin = [](void* user, const std::string& name) {
        auto* m = static_cast<MemorySink*>(user);
        m->current = &(*m->files)[name];
        m->current->clear();
        return true;
    };
    sink.write = [](void* user, const void* bytes, size_t size) {
        auto* m = static_cast<MemorySink*>(user);
        const auto* b = static_cast<const uint8_t*>(bytes);
        m->current->insert(m->current->end(), b, b + size);
        return true;
    };
    sink.end = [](void*) { return true; };
    return ExportGltf(scene, options, sink, report);
}
