// Shading from the file: render modes, per-corner normals from smoothing groups, materials,
// lights (the file's, or a default pair fixed to the view) and the background.
//
// The colour of a point is the 3D Studio material model, one term per function in
// shade.cpp, each with its formula. Everything here is deterministic in the rasteriser's
// sense (raster.h): plain IEEE arithmetic in a fixed order, sqrt the only library function
// used per frame.
#pragma once

#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "render/raster.h"
#include "scene/records.h"

// How a frame shows the scene.
enum class RenderMode : int32_t {
    Wireframe = 0,   // the faces that face the camera as one-colour lines on black
    Shaded = 1,      // solid faces in their materials and lights, hidden surfaces removed
    Edges = 2,       // shaded, with every face's edges drawn over it where they are seen
    HiddenLine = 3,  // every face's edges on black where no face hides them
};
inline constexpr int32_t kRenderModeCount = 4;

// "wireframe", "shaded", "edges", "hidden-line".
const char* RenderModeName(RenderMode mode);
// The mode of that name; false (mode untouched) for any other text.
bool ParseRenderMode(const char* name, RenderMode& mode);
// The next mode in the order above, after the last the first.
RenderMode NextRenderMode(RenderMode mode);

// The background of the shaded modes where a file gives none: a neutral dark grey.
inline constexpr uint32_t kShadedBackground = 0x00333333u;

// The frame's background in `mode`: black for the line modes; for the shaded ones the file's
// solid background colour where the file says to use it, else kShadedBackground.
uint32_t SceneBackground(const Scene& scene, RenderMode mode);

// ---- Materials -------------------------------------------------------------------------

// A material as the shader uses it. Colours are 0 to 1 per channel.
struct ShadeMaterial {
    float ambient[3];
    float diffuse[3];
    float specular[3];  // the specular colour times the shininess strength
    int32_t exponent;   // of the highlight, 1 to 128, from the shininess
    float selfIllumination;
    int32_t alpha;    // opacity in 1/256: 256 opaque, from the transparency
    bool twoSided;    // the back is lit as brightly as the front
    bool wire;        // drawn as its faces' edges, not filled (wire flag or wire shading)
    bool flat;        // its faces are flat whatever their smoothing groups (flat shading)
    bool specularOn;  // the specular term is not zero
};

// The material of `material` (null: the default material of faces that have none, the
// file format's default grey).
ShadeMaterial MakeShadeMaterial(const Material* material);

// ---- Normals from smoothing groups ------------------------------------------------------

// A face corner's smoothing bits as the shader reads them (0: the face is flat).
uint32_t FaceSmoothing(const Face& face);

// The normal of every face corner from the faces' smoothing groups, in the mesh's own space:
// `normals` gets 3 floats per corner, corners in face order and vertex0, vertex1, vertex2
// within a face. A face of group 0 (no bits) is flat: each of its corners gets the face's
// plane normal. A corner with bits S gets the normalised sum of the plane normals of every
// face that has a corner at the same position (exact position, as GroupVertexPositions
// groups them) and shares a bit with S, its own face included; corners at one position with
// the same bits so share one normal. A sum of length 0 gives (0, 0, 0). Needs the face
// planes. A position where more than kMaxSmoothingMasks different bit masks meet takes, for
// the masks beyond those, only the faces of exactly the same mask (bounding the work a
// crafted file can ask for). A face whose material (of `materials`, the scene's; may be null
// with a count of 0) asks for flat shading is flat whatever its smoothing groups, as
// BuildMeshShading has it: these are the normals the shaded modes light, and the ones the
// glTF export writes.
void ComputeCornerNormals(const MeshObject& mesh, const Material* materials, int32_t materialCount,
                          std::vector<float>& normals);
inline constexpr int32_t kMaxSmoothingMasks = 64;

// One point the lighting is computed for: a vertex with the normal of the smooth corners at
// it that share one smoothing mask and one material, or a whole flat face.
struct ShadePoint {
    uint32_t vertex;   // smooth: index into the mesh's vertices; flat: the face's index
    int32_t material;  // index into the scene's materials, -1 for the default
    float normal[3];   // the mesh's own space, unit or zero, pointing as the face planes do
    bool flat;         // a flat face, lit at its centre
};

// A face that cannot be drawn (a corner outside the mesh's vertex array).
inline constexpr uint32_t kNoVertex = 0xFFFFFFFFu;

// What the renderer keeps of one mesh, built once after a load.
struct MeshShading {
    std::vector<uint32_t> faceVertex;   // 3 per face: the corners' vertex indices, or kNoVertex
    std::vector<uint32_t> cornerPoint;  // 3 per face: the corners' shade points (a flat
                                        // face's three are its own point)
    std::vector<ShadePoint> points;     // the smooth points in the order of their vertices,
                                        // then the flat faces'
};

// Builds `shading` for `mesh` (planes computed): smooth corners with the same vertex,
// smoothing mask and material share a shade point; each flat face has one. A face whose
// material (of `materials`, the scene's; may be null with a count of 0) asks for flat
// shading is flat whatever its smoothing groups.
void BuildMeshShading(const MeshObject& mesh, const Material* materials, int32_t materialCount,
                      MeshShading& shading);

// ---- Lights ------------------------------------------------------------------------------

inline constexpr int32_t kMaxLights = 16;

enum class LightKind : int32_t { Directional, Omni, Spot };

// A light in the scene's space (engine axes), as read from the file.
struct SceneLight {
    LightKind kind;
    float position[3];   // omni and spot
    float direction[3];  // spot: unit, from the light to its target; directional: unit,
                         // towards the light
    float colour[3];     // colour times multiplier
    float cosHotspot;    // spot: cosine of half the hotspot cone (full light inside)
    float cosFalloff;    // spot: cosine of half the falloff cone (no light outside)
};

// The lights a scene is drawn with: its first kMaxLights lights that are not off, and its
// ambient light; with no such light, the default pair (fixedToView).
struct SceneLights {
    SceneLight light[kMaxLights];
    int32_t count;
    float ambient[3];
    bool fixedToView;  // the default pair: directions are in view space already
};

void SetupSceneLights(const Scene& scene, SceneLights& lights);

// The lights of one frame in view space (x right, y down the screen, z into it).
struct ViewLights {
    SceneLight light[kMaxLights];
    float halfway[kMaxLights][3];  // directional: the unit half vector of light and viewer
    int32_t count;
    float ambient[3];
    bool positional;  // some light is an omni or spot light (the point's position matters)
};

// Takes the scene's lights into view space with `sceneToView` (the scene's space to the
// camera's; the default pair is left as it is).
void ViewLightsFor(const SceneLights& lights, const Matrix4& sceneToView, ViewLights& out);

// The colour (0x00RRGGBB) of a point of `material` at view position `p` with unit view
// normal `n`: seen from the side the normal points to (its front), or from behind (`back`):
// lit as if the normal were turned round, and darkened by kBackShade unless two-sided.
uint32_t LightPoint(const ViewLights& lights, const ShadeMaterial& material, ViewPoint p,
                    const float (&n)[3], bool back);
inline constexpr float kBackShade = 0.6f;

// The light on a point of a face whose diffuse colour comes from a texture map, split so
// that the map can stand in for the material's diffuse colour pixel by pixel: the point's
// colour is, per channel, Kd' * times + add (0 to 255 once clamped), with Kd' the diffuse
// colour under the map from 0 to 255. With Kd' the material's own diffuse colour this is
// LightPoint's colour, up to rounding.
struct LightParts {
    float times[3];  // the light that scales the diffuse colour: 1 is full light
    float add[3];    // the ambient and specular light, 0 to 255 (or more)
};
LightParts LightPointParts(const ViewLights& lights, const ShadeMaterial& material, ViewPoint p,
                           const float (&n)[3], bool back);

// A deterministic cosine (same bits on every build), for cone angles.
double StableCos(double radians);
