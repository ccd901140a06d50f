// Render modes, corner normals from smoothing groups, materials, lights and the lighting of
// a point.
#include "render/shade.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "scene/derived.h"

namespace {

// ---- What the shader reads of the scene records, in one place. ----

// The values of a material record the shader uses (colours 0 to 1, fractions 0 to 1, as the
// file gives them; the shader clamps them). The defaults are the file format's.
struct MaterialValues {
    float ambient[3] = {0.588f, 0.588f, 0.588f};
    float diffuse[3] = {0.588f, 0.588f, 0.588f};
    float specular[3] = {0.898f, 0.898f, 0.898f};
    float shininess = 0.0f;
    float shininessStrength = 0.0f;
    float transparency = 0.0f;
    float selfIllumination = 0.0f;
    bool twoSided = false;
    bool wire = false;
    bool flat = false;
};

MaterialValues ReadMaterial(const Material& material) {
    MaterialValues v;
    for (int k = 0; k < 3; ++k) {
        v.ambient[k] = material.ambient[k];
        v.diffuse[k] = material.diffuse[k];
        v.specular[k] = material.specular[k];
    }
    v.shininess = material.shininess;
    v.shininessStrength = material.shininessStrength;
    v.transparency = material.transparency;
    v.selfIllumination = material.selfIllumination;
    v.twoSided = material.twoSided != 0;
    // The wire flag, or the wire shading level, draws the material as its faces' edges; the
    // flat level draws its faces flat whatever their smoothing groups.
    v.wire = material.wire != 0 || material.shading == 0;
    v.flat = material.shading == 1;
    return v;
}

// A light's own colour: as the light gives it (1, 1, 1 when it gives none).
void ReadLightColour(const Light& light, float (&colour)[3]) {
    for (int k = 0; k < 3; ++k)
        colour[k] = light.emitColor[k];
}

// The scene's ambient light (0 when none).
void ReadAmbient(const Scene& scene, float (&ambient)[3]) {
    for (int k = 0; k < 3; ++k)
        ambient[k] = scene.ambientLight[k];
}

// The scene's solid background, when the file says to use one.
bool ReadBackground(const Scene& scene, float (&colour)[3]) {
    for (int k = 0; k < 3; ++k)
        colour[k] = scene.backgroundColor[k];
    return scene.useBackground != 0 && scene.backgroundRead != 0;
}

// ---- Helpers ----

// A file value as a fraction: clamped to [0, 1], NaN as 0.
float Fraction(float value) {
    return value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f;
}

// A file value that must be finite and at least 0 (NaN and negatives as 0, infinity as the
// largest float).
float NonNegative(float value) {
    return value > 0.0f ? std::min(value, 3.4e38f) : 0.0f;
}

float Dot(const float (&a)[3], const float (&b)[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Scales `v` to unit length; a vector of length 0 (or not finite) becomes (0, 0, 0).
void Normalise(float (&v)[3]) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        v[0] = v[1] = v[2] = 0.0f;
        return;
    }
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

}  // namespace

// ---- Modes and background ----

namespace {
const char* const kModeNames[kRenderModeCount] = {"wireframe", "shaded", "edges", "hidden-line"};
}

const char* RenderModeName(RenderMode mode) {
    const int32_t i = static_cast<int32_t>(mode);
    return i >= 0 && i < kRenderModeCount ? kModeNames[i] : "wireframe";
}

bool ParseRenderMode(const char* name, RenderMode& mode) {
    if (name == nullptr) return false;
    for (int32_t i = 0; i < kRenderModeCount; ++i) {
        if (std::strcmp(name, kModeNames[i]) == 0) {
            mode = static_cast<RenderMode>(i);
            return true;
        }
    }
    return false;
}

RenderMode NextRenderMode(RenderMode mode) {
    return static_cast<RenderMode>((static_cast<int32_t>(mode) + 1) % kRenderModeCount);
}

uint32_t SceneBackground(const Scene& scene, RenderMode mode) {
    if (mode == RenderMode::Wireframe || mode == RenderMode::HiddenLine) return 0;
    float colour[3];
    if (!ReadBackground(scene, colour)) return kShadedBackground;
    return PackColour(Fraction(colour[0]) * 255.0f, Fraction(colour[1]) * 255.0f,
                      Fraction(colour[2]) * 255.0f);
}

// ---- Materials ----

ShadeMaterial MakeShadeMaterial(const Material* material) {
    const MaterialValues v = material != nullptr ? ReadMaterial(*material) : MaterialValues{};
    ShadeMaterial m;
    const float strength = Fraction(v.shininessStrength);
    for (int k = 0; k < 3; ++k) {
        m.ambient[k] = Fraction(v.ambient[k]);
        m.diffuse[k] = Fraction(v.diffuse[k]);
        m.specular[k] = Fraction(v.specular[k]) * strength;
    }
    // The shininess (0 to 1) sets the highlight's sharpness: an exponent of 1 to 128.
    m.exponent = std::clamp(static_cast<int32_t>(Fraction(v.shininess) * 128.0f + 0.5f), 1, 128);
    m.selfIllumination = Fraction(v.selfIllumination);
    m.alpha = static_cast<int32_t>((1.0f - Fraction(v.transparency)) * 256.0f + 0.5f);
    m.twoSided = v.twoSided;
    m.wire = v.wire;
    m.flat = v.flat;
    m.specularOn = m.specular[0] > 0.0f || m.specular[1] > 0.0f || m.specular[2] > 0.0f;
    return m;
}

// ---- Normals from smoothing groups ----

uint32_t FaceSmoothing(const Face& face) {
    return face.smoothing;
}

namespace {

// A corner without a smooth normal (its face is flat, or not drawn).
constexpr uint32_t kFlatCorner = 0xFFFFFFFFu;

// The corners of one mesh with their vertex indices, or kNoVertex for a face with a corner
// outside the vertex array (such a face is never drawn).
void FaceVertices(const MeshObject& mesh, std::vector<uint32_t>& faceVertex) {
    const int32_t faceCount = mesh.faces != nullptr ? std::max(mesh.faceCount, 0) : 0;
    const int32_t vertexCount = mesh.vertices != nullptr ? std::max(mesh.vertexCount, 0) : 0;
    faceVertex.assign(static_cast<size_t>(faceCount) * 3, kNoVertex);
    const uintptr_t base = reinterpret_cast<uintptr_t>(mesh.vertices);
    const uintptr_t extent = static_cast<uintptr_t>(vertexCount) * sizeof(Vertex);
    for (int32_t f = 0; f < faceCount; ++f) {
        const Face& face = mesh.faces[f];
        uint32_t index[3];
        bool inside = true;
        const Vertex* corners[3] = {face.vertex0, face.vertex1, face.vertex2};
        for (int k = 0; k < 3; ++k) {
            const uintptr_t offset = reinterpret_cast<uintptr_t>(corners[k]) - base;
            inside = inside && offset < extent && offset % sizeof(Vertex) == 0;
            index[k] = static_cast<uint32_t>(offset / sizeof(Vertex));
        }
        if (!inside) continue;
        for (int k = 0; k < 3; ++k)
            faceVertex[3 * static_cast<size_t>(f) + k] = index[k];
    }
}

// The normals of the smooth corners: one entry per position and smoothing mask (3 floats
// each), and per corner its entry or kFlatCorner (flat faces and faces not drawn).
struct CornerNormalTable {
    std::vector<float> normals;
    std::vector<uint32_t> cornerEntry;
};

void BuildCornerNormals(const MeshObject& mesh, const std::vector<uint32_t>& faceVertex,
                        const Material* materials, int32_t materialCount,
                        CornerNormalTable& table) {
    const size_t corners = faceVertex.size();
    table.normals.clear();
    table.cornerEntry.assign(corners, kFlatCorner);
    std::vector<int32_t> group;
    const int32_t groups = GroupVertexPositions(mesh, group);
    // The smooth corners sorted by position group (a counting sort, so the corners of a group
    // stay in face order).
    std::vector<uint32_t> start(static_cast<size_t>(groups) + 1, 0);
    // A face's smoothing bits; none for a face whose material asks for flat shading.
    std::vector<uint8_t> flatMaterial(static_cast<size_t>(std::max(materialCount, 0)));
    for (int32_t m = 0; m < materialCount; ++m)
        flatMaterial[static_cast<size_t>(m)] = ReadMaterial(materials[m]).flat ? 1 : 0;
    std::vector<uint32_t> bits(corners / 3);
    for (size_t f = 0; f < bits.size(); ++f) {
        const Face& face = mesh.faces[f];
        const bool flat = face.material >= 0 && face.material < materialCount &&
                          flatMaterial[static_cast<size_t>(face.material)] != 0;
        bits[f] = flat ? 0 : FaceSmoothing(face);
    }
    const auto smoothing = [&](size_t corner) { return bits[corner / 3]; };
    for (size_t c = 0; c < corners; ++c) {
        if (faceVertex[c] == kNoVertex || smoothing(c) == 0) continue;
        ++start[static_cast<size_t>(group[faceVertex[c]]) + 1];
    }
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<uint32_t> sorted(start[static_cast<size_t>(groups)]);
    {
        std::vector<uint32_t> next(start.begin(), start.end() - 1);
        for (size_t c = 0; c < corners; ++c) {
            if (faceVertex[c] == kNoVertex || smoothing(c) == 0) continue;
            sorted[next[static_cast<size_t>(group[faceVertex[c]])]++] = static_cast<uint32_t>(c);
        }
    }
    struct MaskSum {
        uint32_t mask;
        float sum[3];
    };
    std::vector<uint32_t> byMask;
    std::vector<MaskSum> masks;
    for (int32_t g = 0; g < groups; ++g) {
        const uint32_t first = start[static_cast<size_t>(g)];
        const uint32_t end = start[static_cast<size_t>(g) + 1];
        if (first == end) continue;
        // Mostly every corner at a position has one mask: its normal is the sum of their
        // planes, as below, without sorting.
        const uint32_t firstMask = smoothing(sorted[first]);
        bool oneMask = true;
        for (uint32_t k = first + 1; k < end && oneMask; ++k)
            oneMask = smoothing(sorted[k]) == firstMask;
        if (oneMask) {
            float sum[3] = {0.0f, 0.0f, 0.0f};
            for (uint32_t k = first; k < end; ++k) {
                const float* plane = mesh.faces[sorted[k] / 3].plane;
                for (int j = 0; j < 3; ++j)
                    sum[j] += plane[j];
            }
            float n[3] = {0.0f + sum[0], 0.0f + sum[1], 0.0f + sum[2]};
            Normalise(n);
            const uint32_t entry = static_cast<uint32_t>(table.normals.size() / 3);
            table.normals.insert(table.normals.end(), n, n + 3);
            for (uint32_t k = first; k < end; ++k)
                table.cornerEntry[sorted[k]] = entry;
            continue;
        }
        // The group's corners by mask (then face order), and the plane sum of each mask.
        byMask.assign(sorted.begin() + first, sorted.begin() + end);
        std::stable_sort(byMask.begin(), byMask.end(),
                         [&](uint32_t a, uint32_t b) { return smoothing(a) < smoothing(b); });
        masks.clear();
        for (const uint32_t c : byMask) {
            const uint32_t mask = smoothing(c);
            if (masks.empty() || masks.back().mask != mask) masks.push_back(MaskSum{mask, {}});
            const float* plane = mesh.faces[c / 3].plane;
            for (int k = 0; k < 3; ++k)
                masks.back().sum[k] += plane[k];
        }
        // Each mask's normal: the sums of the masks it shares a bit with, in mask order.
        const uint32_t firstEntry = static_cast<uint32_t>(table.normals.size() / 3);
        for (size_t i = 0; i < masks.size(); ++i) {
            float n[3] = {0.0f, 0.0f, 0.0f};
            if (static_cast<int32_t>(i) < kMaxSmoothingMasks) {
                for (const MaskSum& other : masks) {
                    if ((other.mask & masks[i].mask) == 0) continue;
                    for (int k = 0; k < 3; ++k)
                        n[k] += other.sum[k];
                }
            } else {
                for (int k = 0; k < 3; ++k)
                    n[k] = masks[i].sum[k];
            }
            Normalise(n);
            table.normals.insert(table.normals.end(), n, n + 3);
        }
        size_t i = 0;
        for (const uint32_t c : byMask) {
            while (masks[i].mask != smoothing(c))
                ++i;
            table.cornerEntry[c] = firstEntry + static_cast<uint32_t>(i);
        }
    }
}

}  // namespace

void ComputeCornerNormals(const MeshObject& mesh, const Material* materials, int32_t materialCount,
                          std::vector<float>& normals) {
    std::vector<uint32_t> faceVertex;
    FaceVertices(mesh, faceVertex);
    CornerNormalTable table;
    BuildCornerNormals(mesh, faceVertex, materials, materialCount, table);
    normals.assign(faceVertex.size() * 3, 0.0f);
    for (size_t c = 0; c < faceVertex.size(); ++c) {
        const uint32_t entry = table.cornerEntry[c];
        const float* n = entry != kFlatCorner ? &table.normals[3 * static_cast<size_t>(entry)]
                                              : mesh.faces[c / 3].plane;
        std::copy(n, n + 3, normals.begin() + static_cast<std::ptrdiff_t>(3 * c));
    }
}

void BuildMeshShading(const MeshObject& mesh, const Material* materials, int32_t materialCount,
                      MeshShading& shading) {
    FaceVertices(mesh, shading.faceVertex);
    CornerNormalTable table;
    BuildCornerNormals(mesh, shading.faceVertex, materials, materialCount, table);
    const size_t corners = shading.faceVertex.size();
    const int32_t vertexCount = mesh.vertices != nullptr ? std::max(mesh.vertexCount, 0) : 0;

    // The smooth corners by vertex (a counting sort), then per vertex one point for each
    // different (normal entry, material).
    std::vector<uint32_t> start(static_cast<size_t>(vertexCount) + 1, 0);
    for (size_t c = 0; c < corners; ++c) {
        if (table.cornerEntry[c] != kFlatCorner) ++start[shading.faceVertex[c] + 1];
    }
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<uint32_t> sorted(start[static_cast<size_t>(vertexCount)]);
    {
        std::vector<uint32_t> next(start.begin(), start.end() - 1);
        for (size_t c = 0; c < corners; ++c) {
            if (table.cornerEntry[c] != kFlatCorner)
                sorted[next[shading.faceVertex[c]]++] = static_cast<uint32_t>(c);
        }
    }
    shading.cornerPoint.assign(corners, 0);
    shading.points.clear();
    std::vector<int32_t> faceMaterial(corners / 3);
    for (size_t f = 0; f < faceMaterial.size(); ++f)
        faceMaterial[f] = mesh.faces[f].material;
    const auto material = [&](uint32_t c) { return faceMaterial[c / 3]; };
    const auto key = [&](uint32_t c) {
        return (static_cast<uint64_t>(table.cornerEntry[c]) << 32) |
               static_cast<uint32_t>(material(c));
    };
    for (int32_t v = 0; v < vertexCount; ++v) {
        const auto first = sorted.begin() + start[static_cast<size_t>(v)];
        const auto end = sorted.begin() + start[static_cast<size_t>(v) + 1];
        if (first == end) continue;
        // Mostly every corner at a vertex has one key already in order: no sorting then.
        bool oneKey = true;
        for (auto it = first + 1; it != end && oneKey; ++it)
            oneKey = key(*it) == key(*first);
        if (!oneKey) {
            std::sort(first, end, [&](uint32_t a, uint32_t b) {
                return key(a) != key(b) ? key(a) < key(b) : a < b;
            });
        }
        for (auto it = first; it != end; ++it) {
            if (it == first || key(*it) != key(*(it - 1))) {
                ShadePoint point;
                point.vertex = static_cast<uint32_t>(v);
                point.material = material(*it);
                const float* n = &table.normals[3 * static_cast<size_t>(table.cornerEntry[*it])];
                std::copy(n, n + 3, point.normal);
                point.flat = false;
                shading.points.push_back(point);
            }
            shading.cornerPoint[*it] = static_cast<uint32_t>(shading.points.size() - 1);
        }
    }
    // The flat faces (those drawn), one point each.
    for (size_t f = 0; f * 3 < corners; ++f) {
        if (shading.faceVertex[3 * f] == kNoVertex || table.cornerEntry[3 * f] != kFlatCorner)
            continue;
        ShadePoint point;
        point.vertex = static_cast<uint32_t>(f);
        point.material = mesh.faces[f].material;
        std::copy(mesh.faces[f].plane, mesh.faces[f].plane + 3, point.normal);
        point.flat = true;
        const uint32_t index = static_cast<uint32_t>(shading.points.size());
        shading.points.push_back(point);
        for (size_t k = 0; k < 3; ++k)
            shading.cornerPoint[3 * f + k] = index;
    }
}

// ---- Lights ----

double StableCos(double radians) {
    // cos is even and has period 2 pi; fmod is exact. Then cos(x) = -cos(pi - x) brings x
    // into [0, pi / 2], where the Taylor series to x^22 is exact to double precision.
    constexpr double pi = 3.141592653589793;
    double x = std::fmod(std::fabs(radians), 2.0 * pi);
    if (x > pi) x = 2.0 * pi - x;
    double sign = 1.0;
    if (x > pi / 2.0) {
        x = pi - x;
        sign = -1.0;
    }
    const double x2 = x * x;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k <= 11; ++k) {
        term = -term * x2 / static_cast<double>((2 * k - 1) * (2 * k));
        sum += term;
    }
    return sign * sum;
}

namespace {

// A spot cone's angle (degrees, the full cone) as the cosine of its half.
float ConeCosine(float degrees) {
    const double half = std::clamp(static_cast<double>(NonNegative(degrees)), 0.0, 360.0) / 2.0;
    if (half >= 180.0) return -1.0f;
    return static_cast<float>(StableCos(half * 3.141592653589793 / 180.0));
}

// The default pair, fixed to the view as modelling programs light a scene without lights:
// a key light from the upper left in front and a weaker fill from the lower right.
void DefaultLights(SceneLights& lights) {
    const float directions[2][3] = {{-0.45f, -0.6f, -0.65f}, {0.7f, 0.35f, -0.6f}};
    const float intensity[2] = {0.9f, 0.4f};
    lights.count = 2;
    for (int i = 0; i < 2; ++i) {
        SceneLight& l = lights.light[i];
        l = SceneLight{};
        l.kind = LightKind::Directional;
        std::copy(directions[i], directions[i] + 3, l.direction);
        Normalise(l.direction);
        l.colour[0] = l.colour[1] = l.colour[2] = intensity[i];
        l.cosHotspot = l.cosFalloff = -1.0f;
    }
    lights.fixedToView = true;
}

}  // namespace

void SetupSceneLights(const Scene& scene, SceneLights& lights) {
    lights = SceneLights{};
    ReadAmbient(scene, lights.ambient);
    for (float& a : lights.ambient)
        a = NonNegative(a);
    for (int32_t i = 0; i < scene.lightCount && lights.count < kMaxLights; ++i) {
        const Light& light = scene.lights[i];
        if (light.isOff != 0) continue;
        SceneLight& l = lights.light[lights.count];
        l = SceneLight{};
        l.kind = light.isSpot != 0 ? LightKind::Spot : LightKind::Omni;
        bool finite = true;
        for (int k = 0; k < 3; ++k) {
            l.position[k] = light.position[k];
            l.direction[k] = light.target[k] - light.position[k];
            finite = finite && std::isfinite(light.position[k]);
        }
        if (!finite) continue;
        float colour[3];
        ReadLightColour(light, colour);
        // The multiplier scales the colour; a file without one (0) means 1.
        const float multiplier =
            light.multiplier != 0.0f && std::isfinite(light.multiplier) ? light.multiplier : 1.0f;
        for (int k = 0; k < 3; ++k)
            l.colour[k] = std::isfinite(colour[k]) ? colour[k] * multiplier : 0.0f;
        if (l.kind == LightKind::Spot) {
            Normalise(l.direction);
            // A spot pointing nowhere (its target at its position) lights like an omni light.
            if (l.direction[0] == 0.0f && l.direction[1] == 0.0f && l.direction[2] == 0.0f)
                l.kind = LightKind::Omni;
            l.cosHotspot = ConeCosine(light.hotspot);
            l.cosFalloff = ConeCosine(light.falloff);
            // A hotspot wider than the falloff: the falloff is where the light ends.
            if (l.cosHotspot < l.cosFalloff) l.cosHotspot = l.cosFalloff;
        }
        ++lights.count;
    }
    if (lights.count == 0) DefaultLights(lights);
}

void ViewLightsFor(const SceneLights& lights, const Matrix4& sceneToView, ViewLights& out) {
    out.count = lights.count;
    std::copy(lights.ambient, lights.ambient + 3, out.ambient);
    out.positional = false;
    const auto& m = sceneToView;
    for (int32_t i = 0; i < lights.count; ++i) {
        SceneLight l = lights.light[i];
        if (!lights.fixedToView) {
            const ViewPoint p = ViewPositionOf(m, l.position[0], l.position[1], l.position[2]);
            l.position[0] = p.x;
            l.position[1] = p.y;
            l.position[2] = p.z;
            float d[3];
            for (int k = 0; k < 3; ++k)
                d[k] =
                    l.direction[0] * m[k] + l.direction[1] * m[4 + k] + l.direction[2] * m[8 + k];
            Normalise(d);
            std::copy(d, d + 3, l.direction);
        }
        out.light[i] = l;
        out.positional = out.positional || l.kind != LightKind::Directional;
        // For a directional light the half vector between it and the viewer (who looks
        // along +z, so towards the viewer is -z) is the same everywhere.
        float h[3] = {l.direction[0], l.direction[1], l.direction[2] - 1.0f};
        Normalise(h);
        std::copy(h, h + 3, out.halfway[i]);
    }
}

namespace {

// Lambert's law: the light a surface receives is proportional to the cosine between its
// normal N and the direction L to the light: max(N . L, 0).
float Lambert(float nDotL) {
    return nDotL > 0.0f ? nDotL : 0.0f;
}

// Blinn's highlight: max(N . H, 0)^n with H the unit half vector of the directions to the
// light and to the viewer; none where the light does not reach the side (N . L <= 0).
// The exponent is a whole number, so the power is exact repeated squaring.
float Highlight(float nDotH, float nDotL, int32_t exponent) {
    if (!(nDotL > 0.0f) || !(nDotH > 0.0f)) return 0.0f;
    float result = 1.0f, base = nDotH;
    for (int32_t e = exponent; e > 0; e >>= 1) {
        if (e & 1) result *= base;
        base *= base;
    }
    return result;
}

// A spot's cone: 1 within the hotspot, 0 beyond the falloff, and between them the smooth
// step t^2 (3 - 2t) of t = (c - cos falloff) / (cos hotspot - cos falloff), where c is the
// cosine between the spot's direction and the direction from the light to the point.
float SpotFactor(const SceneLight& light, const float (&toLight)[3]) {
    if (light.kind != LightKind::Spot) return 1.0f;
    const float c = -Dot(light.direction, toLight);
    if (c >= light.cosHotspot) return 1.0f;
    if (c <= light.cosFalloff) return 0.0f;
    const float t = (c - light.cosFalloff) / (light.cosHotspot - light.cosFalloff);
    return t * t * (3.0f - 2.0f * t);
}

// Self-illumination s makes a surface glow in its own diffuse colour Kd whatever light
// falls on it: C = s Kd + (1 - s) Lit, where Lit is its ambient and diffuse light.
float SelfIlluminated(float diffuse, float selfIllumination, float lit) {
    return selfIllumination * diffuse + (1.0f - selfIllumination) * lit;
}

}  // namespace

// The colour of a side with normal N (the back turns N round):
//   C = SelfIlluminated(Kd, s, Ka Ia + Kd sum_l Il f_l Lambert(N . L_l))
//       + Ks sum_l Il f_l Highlight(N . H_l, N . L_l, n)
// with Ka, Kd, Ks the material's ambient, diffuse and specular (times strength) colours,
// Ia the ambient light, Il, L_l, f_l each light's colour, direction and spot factor; each
// channel is scaled to 0..255 (times kBackShade for the back of a one-sided material) and
// clamped.
namespace {

// The diffuse and specular light the side of a point with normal N (turned round for the
// back) receives from every light: sum_l Il f_l Lambert(N . L_l) and
// sum_l Il f_l Highlight(N . H_l, N . L_l, n).
void GatherLight(const ViewLights& lights, const ShadeMaterial& material, ViewPoint p,
                 const float (&normal)[3], bool back, float (&diffuse)[3], float (&specular)[3]) {
    const float sign = back ? -1.0f : 1.0f;
    const float n[3] = {normal[0] * sign, normal[1] * sign, normal[2] * sign};
    for (int k = 0; k < 3; ++k)
        diffuse[k] = specular[k] = 0.0f;
    for (int32_t i = 0; i < lights.count; ++i) {
        const SceneLight& light = lights.light[i];
        float toLight[3], halfway[3];
        if (light.kind == LightKind::Directional) {
            std::copy(light.direction, light.direction + 3, toLight);
            std::copy(lights.halfway[i], lights.halfway[i] + 3, halfway);
        } else {
            toLight[0] = light.position[0] - p.x;
            toLight[1] = light.position[1] - p.y;
            toLight[2] = light.position[2] - p.z;
            Normalise(toLight);
        }
        const float f = SpotFactor(light, toLight);
        if (f == 0.0f) continue;
        const float nDotL = Dot(n, toLight);
        const float lit = Lambert(nDotL) * f;
        for (int k = 0; k < 3; ++k)
            diffuse[k] += light.colour[k] * lit;
        if (!material.specularOn || !(nDotL > 0.0f)) continue;
        if (light.kind != LightKind::Directional) {
            // Towards the light plus towards the viewer, who looks along +z.
            halfway[0] = toLight[0];
            halfway[1] = toLight[1];
            halfway[2] = toLight[2] - 1.0f;
            Normalise(halfway);
        }
        const float shine = Highlight(Dot(n, halfway), nDotL, material.exponent) * f;
        for (int k = 0; k < 3; ++k)
            specular[k] += light.colour[k] * shine;
    }
}

}  // namespace

uint32_t LightPoint(const ViewLights& lights, const ShadeMaterial& material, ViewPoint p,
                    const float (&normal)[3], bool back) {
    float diffuse[3], specular[3];
    GatherLight(lights, material, p, normal, back, diffuse, specular);
    const float scale = back && !material.twoSided ? 255.0f * kBackShade : 255.0f;
    float c[3];
    for (int k = 0; k < 3; ++k) {
        const float lit =
            material.ambient[k] * lights.ambient[k] + material.diffuse[k] * diffuse[k];
        c[k] = (SelfIlluminated(material.diffuse[k], material.selfIllumination, lit) +
                material.specular[k] * specular[k]) *
               scale;
    }
    return PackColour(c[0], c[1], c[2]);
}

// LightPoint's colour with Kd' for Kd, sorted by what multiplies Kd':
//   C = s Kd' + (1 - s) (Ka Ia + Kd' D) + Ks S = Kd' (s + (1 - s) D) + (1 - s) Ka Ia + Ks S
// with D and S the gathered diffuse and specular light; Kd' is 0 to 255, so `times` is
// the bracket scaled by the back's shade alone and `add` is scaled to 0..255.
LightParts LightPointParts(const ViewLights& lights, const ShadeMaterial& material, ViewPoint p,
                           const float (&normal)[3], bool back) {
    float diffuse[3], specular[3];
    GatherLight(lights, material, p, normal, back, diffuse, specular);
    const float shade = back && !material.twoSided ? kBackShade : 1.0f;
    const float s = material.selfIllumination;
    LightParts parts;
    for (int k = 0; k < 3; ++k) {
        parts.times[k] = (s + (1.0f - s) * diffuse[k]) * shade;
        parts.add[k] = ((1.0f - s) * (material.ambient[k] * lights.ambient[k]) +
                        material.specular[k] * specular[k]) *
                       (255.0f * shade);
    }
    return parts;
}
