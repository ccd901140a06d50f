// Triangles and lines into a frame with a depth buffer: near-plane clipping, fixed-point
// sub-pixel positions, the top-left fill rule, perspective-correct attributes, depth-tested
// lines.
//
// Screen space is the wireframe's: x to the right, y down the rows (screen y grows with view
// y), the pixel at column c and row r covering [c, c + 1) x [r, r + 1), its centre at
// (c + 0.5, r + 0.5). A triangle covers the pixels whose centres lie inside it; a centre
// exactly on an edge belongs to the triangle only when that edge is a top edge (horizontal,
// the triangle below it) or a left edge, so two triangles that share an edge never both
// cover a pixel on it and leave no gap between them.
//
// Determinism: a frame is the same, bit for bit, whichever thread draws which rectangle, and
// under every compiler we build with (GCC, Clang, mingw-w64, emscripten). The rules:
// - Coverage is decided in exact integer arithmetic: corners are snapped once to 1/256 pixel
//   (kSubPixelBits), edge functions are 64-bit integers.
// - Depth and attributes at a pixel are evaluated from the pixel's own coordinates through
//   plane equations fixed by the triangle (never accumulated along a walk), so a pixel's
//   value does not depend on where the rectangle being drawn starts.
// - Floating-point work is plain IEEE single and double arithmetic in a fixed order, never
//   contracted into fused multiply-adds (these files are built with -ffp-contract=off), with
//   no excess precision (FLT_EVAL_METHOD 0, checked); the only library function is sqrt,
//   which IEEE rounds exactly. No pow, exp, sin or cos in anything drawn per frame.
// - Each call writes only inside its target's rectangle, so threads that own different
//   rectangles never touch the same pixel, and the triangles of one rectangle are drawn in
//   the caller's order (depth ties go to the first: the test is strict).
#pragma once

#include <cstdint>

#include "math/matrix.h"
#include "render/texture.h"
#include "scene/records.h"

// Corner positions are snapped to 1/kSubPixelOne of a pixel.
inline constexpr int32_t kSubPixelBits = 8;
inline constexpr int32_t kSubPixelOne = 1 << kSubPixelBits;

// Corners must lie within this many pixels beyond the frame's edges to be drawn as they
// are; triangles reaching further are clipped to that band first (ClipTriangle). With frames
// of at most kMaxRasterSize pixels a side, snapped coordinates stay below 2^22 in size and
// edge functions below 2^45.
inline constexpr int32_t kGuardBand = 4096;
inline constexpr int32_t kMaxRasterSize = 8192;

// Corners at this view depth or nearer are clipped away (the wireframe's near limit).
inline constexpr float kRasterNear = 0.1f;

// The projection of the last SetProjection, as the rasteriser uses it: screen x =
// view x * focal / view z + centreX, likewise y.
struct RasterProjection {
    double focal;
    double centreX, centreY;  // the integer halves of the frame's width and height
    int32_t width, height;
};
RasterProjection CurrentRasterProjection();

// A position in view space: z is the depth in front of the camera.
struct ViewPoint {
    float x, y, z;
};

// A vertex taken into view space by an object-to-view matrix: formed in double precision
// and rounded to floats once, as the wireframe forms it. Every path (the whole-frame
// renderer's vertex pass and the clipper) uses this one function, so a corner shared by a
// clipped and an unclipped triangle lands on the same point.
inline ViewPoint ViewPositionOf(const Matrix4& view, float x, float y, float z) {
    const double dx = static_cast<double>(x);
    const double dy = static_cast<double>(y);
    const double dz = static_cast<double>(z);
    const auto m = [&view](int i) { return static_cast<double>(view[i]); };
    return ViewPoint{static_cast<float>(dx * m(0) + dy * m(4) + dz * m(8) + m(12)),
                     static_cast<float>(dx * m(1) + dy * m(5) + dz * m(9) + m(13)),
                     static_cast<float>(dx * m(2) + dy * m(6) + dz * m(10) + m(14))};
}

// What keeps a corner from being drawn as it is.
inline constexpr uint32_t kCornerBehind = 1;   // at depth kRasterNear or nearer, or NaN
inline constexpr uint32_t kCornerOutside = 2;  // projects beyond the guard band, or to NaN

// Projects and snaps a view-space point: returns 0 and sets the snapped screen position
// (x, y in 1/256 pixel, rounded to nearest, halves up) and 1 / depth when it can be drawn
// as it is; else kCornerBehind or kCornerOutside and sets x = y = 0, invZ = 0. Branch-free,
// so loops over many corners vectorise.
inline uint32_t SnapCorner(ViewPoint p, const RasterProjection& projection, int32_t& x, int32_t& y,
                           float& invZ) {
    const double z = static_cast<double>(p.z);
    const bool front = z > static_cast<double>(kRasterNear);
    const double inverse = 1.0 / (front ? z : 1.0);
    const double scale = projection.focal * inverse;
    const double sx = static_cast<double>(p.x) * scale + projection.centreX;
    const double sy = static_cast<double>(p.y) * scale + projection.centreY;
    const double band = static_cast<double>(kGuardBand);
    const bool inside = sx >= -band && sx <= static_cast<double>(projection.width) + band &&
                        sy >= -band && sy <= static_cast<double>(projection.height) + band;
    const bool drawn = front && inside;
    // Offset by the guard band so that the truncating conversion rounds down.
    const double offset = band * kSubPixelOne + 0.5;
    const int32_t bias = kGuardBand * kSubPixelOne;
    x = drawn ? static_cast<int32_t>((drawn ? sx : 0.0) * kSubPixelOne + offset) - bias : 0;
    y = drawn ? static_cast<int32_t>((drawn ? sy : 0.0) * kSubPixelOne + offset) - bias : 0;
    invZ = drawn ? static_cast<float>(inverse) : 0.0f;
    return front ? (inside ? 0u : kCornerOutside) : kCornerBehind;
}

// Attributes interpolated across a triangle, perspective-correct (each is interpolated as
// value / depth and divided by the interpolated 1 / depth at the pixel). The Gouraud shader
// reads the lit colour from kVaryRed, kVaryGreen and kVaryBlue (0 to 255 each). The Textured
// shader reads the file's texture coordinates from kVaryU and kVaryV, and with a diffuse map
// the light split as LightParts (shade.h) splits it: `add` in kVaryRed, kVaryGreen and
// kVaryBlue and `times` in kVaryTimesRed, kVaryTimesGreen and kVaryTimesBlue; without one,
// the lit colour as the Gouraud shader reads it.
enum Varying : int32_t {
    kVaryRed = 0,
    kVaryGreen = 1,
    kVaryBlue = 2,
    kVaryU = 3,
    kVaryV = 4,
    kVaryTimesRed = 5,
    kVaryTimesGreen = 6,
    kVaryTimesBlue = 7,
};
inline constexpr int32_t kMaxVaryings = 8;

// One corner ready to fill.
struct RasterVertex {
    int32_t x, y;  // snapped screen position, 1/256 pixel
    float invZ;    // 1 / view depth, > 0
    float varying[kMaxVaryings];
};

// How a pixel's colour is made.
enum class PixelShader : int32_t {
    Flat,      // FillStyle::colour everywhere
    Gouraud,   // the interpolated colour (kVaryRed, kVaryGreen, kVaryBlue)
    Textured,  // FillStyle::maps over the interpolated light (see Varying and MapStyle)
};

// Number of varyings a shader reads.
int32_t VaryingCount(PixelShader shader);

// What a covered pixel that passes the depth test does.
enum class FillMode : int32_t {
    Opaque,  // stores its colour and depth
    Blend,   // mixes its colour into the frame (FillStyle::alpha); depth is left alone
    // The Textured shader with an opacity map: the pixel's weight is FillStyle::alpha times
    // the map's opacity there; a pixel of full weight is stored as Opaque stores it, one of
    // none is left out, and the others are mixed in as Blend mixes them (depth left alone).
    Masked,
};

// The maps of a Textured fill. At a pixel the file's texture coordinates (u, v) are taken
// to each map's image coordinates (MapCoordinates), and the level of detail comes from how
// they change to the next pixel right and down, worked out exactly from the planes of
// u / depth, v / depth and 1 / depth (MapLevelOfDetail), so a receding surface steps down
// the mip levels smoothly. The diffuse colour is `diffuse` with the map's sample laid over
// it at `amount` (MixMapColor: a decal map's outside leaves `diffuse`); the colour is that,
// lit by the light varyings. The opacity map's sample (its grey level, 255 opaque) is laid
// over full opacity at `opacityAmount`; outside a decal opacity map the face is opaque.
struct MapStyle {
    const MapSampler* map = nullptr;      // the diffuse map (with a texture), or null
    const MapSampler* opacity = nullptr;  // the opacity map (with a texture), or null
    uint32_t diffuse = 0;                 // the material's diffuse colour, 0x00RRGGBB
    int32_t amount = 256;                 // of the diffuse map: 0 to 256 for 0 % to 100 %
    int32_t opacityAmount = 256;          // of the opacity map, likewise
};

struct FillStyle {
    PixelShader shader = PixelShader::Flat;
    FillMode mode = FillMode::Opaque;
    uint32_t colour = 0;  // Flat: 0x00RRGGBB
    int32_t alpha = 256;  // Blend, Masked: weight of the triangle's colour in 1/256 (0 to 256)
    // Pushes the depth the triangle tests and stores back by about one pixel's change of depth
    // (and a 1/4096 part), so that lines drawn later along its edges are not hidden by it.
    bool depthOffset = false;
    const MapStyle* maps = nullptr;  // Textured: must be set, and stay put while filling
};

// The part of a frame one call may write: colour and depth rows of `stride` elements; the
// frame is width x height, the rectangle [left, right) x [top, bottom) inside it. Depth
// holds 1 / view depth (larger is nearer; 0 is empty).
struct RasterTarget {
    uint32_t* pixels;
    float* depth;
    int32_t stride;
    int32_t width, height;
    int32_t left, top, right, bottom;
};

// Fills the target's rectangle with `colour` and empties its depth.
void ClearTarget(const RasterTarget& target, uint32_t colour);

// Fills the triangle's pixels inside the target's rectangle (either winding; a triangle of
// zero area covers nothing). Corners must come from SnapCorner (or ClipTriangle's
// corners snapped), so that they lie within the guard band. The same as CoverTriangle and
// FillCoverage.
void FillTriangle(const RasterTarget& target, const RasterVertex& a, const RasterVertex& b,
                  const RasterVertex& c, const FillStyle& style);

// A triangle set up for filling in one target: its corners (the caller's, ordered so that
// the area is positive), edge functions, box of covered centres, and 1 / depth plane. Lets a
// caller ask whether any pixel would be seen before it works out the colours.
struct TriangleCoverage {
    struct Edge {
        int64_t dx, dy;  // change per pixel right and down (1/256^2 units)
        int64_t at;      // value at the reference centre, plus the fill rule's bias
    };
    struct Plane {
        float at;  // value at the reference pixel
        float dx, dy;
    };
    const RasterVertex* v[3];
    int64_t area;            // twice the area, in 1/256^2 pixels
    Edge edge[3];            // v0 -> v1, v1 -> v2, v2 -> v0
    int32_t x0, x1, y0, y1;  // the covered centres' box within the target
    int32_t refX, refY;      // the reference pixel
    double weight[6];        // the barycentric weights' planes (raster.cpp)
    Plane invZ;
    float offset;  // FillStyle::depthOffset's push back
};

// Sets up `out` for the triangle in `target`; false when it covers no centre there. The
// coverage keeps pointers to a, b and c: they must stay put, and their varyings may be set
// after this and before FillCoverage.
bool CoverTriangle(const RasterTarget& target, const RasterVertex& a, const RasterVertex& b,
                   const RasterVertex& c, bool depthOffset, TriangleCoverage& out);

// Completes a triangle's style when its first pixel is about to be written: sets `style`
// (shader, colour, alpha) and the varyings of the corners given to CoverTriangle.
using ShadeTriangle = void (*)(void* context, FillStyle& style);

// Fills the covered pixels (style.depthOffset is the coverage's). With `shade`, the style is
// completed by shade(context, style) once, just before the first pixel that passes the depth
// test is written: a triangle hidden everywhere is never shaded.
void FillCoverage(const TriangleCoverage& coverage, const RasterTarget& target,
                  const FillStyle& style, ShadeTriangle shade = nullptr, void* context = nullptr);

// A corner in view space with its attributes, for clipping.
struct ClipVertex {
    ViewPoint position;
    float varying[kMaxVaryings];
};

// A triangle clipped at the near plane and at the guard band grows to at most this many
// corners.
inline constexpr int32_t kMaxClipVertices = 9;

// The polygon that is left of the triangle in front of the near plane (depth kRasterNear)
// and inside the guard band: its corners in order (a convex fan) in `out`, and per corner
// whether the side from it to the next lies on one of the triangle's own sides (not on a
// clipping plane). Returns the corner count, 0 when nothing is left or a corner is not
// finite. Corners that need no clipping are copied unchanged; a new corner on a side is
// interpolated from the side's inner end towards its outer one, so two triangles sharing
// the side get the same point. The first `varyingCount` varyings are interpolated.
int32_t ClipTriangle(const ClipVertex (&in)[3], int32_t varyingCount,
                     const RasterProjection& projection, ClipVertex (&out)[kMaxClipVertices],
                     bool (&ownSide)[kMaxClipVertices]);

// A line end as the line stepper takes it: screen position in pixels, and 1 / view depth.
struct LinePoint {
    float x, y;
    float invZ;
};

// The line end at a snapped corner.
inline LinePoint LinePointOf(const RasterVertex& v) {
    return LinePoint{static_cast<float>(v.x) / kSubPixelOne, static_cast<float>(v.y) / kSubPixelOne,
                     v.invZ};
}

// Draws the line from `start` to `end` in `colour` where it is not behind the depth already
// stored: exactly the points the wireframe's line stepper (DrawLine) visits, restricted to
// the target's rectangle, each set when its 1 / depth, interpolated along the line's steps,
// is at least the stored one, which it then replaces (so that faces drawn later behind the
// line leave it).
void DrawDepthTestedLine(const RasterTarget& target, LinePoint start, LinePoint end,
                         uint32_t colour);

// The same between two snapped corners: DrawDepthTestedLine(target, LinePointOf(start),
// LinePointOf(end), colour), without the conversions.
void DrawDepthTestedEdge(const RasterTarget& target, const RasterVertex& start,
                         const RasterVertex& end, uint32_t colour);

// A colour of 0 to 255 per channel (clamped; NaN counts as 0) as 0x00RRGGBB, rounded to
// nearest.
uint32_t PackColour(float red, float green, float blue);
