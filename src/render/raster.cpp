// The triangle filler, the clipper and the depth-tested line.
//
// A triangle is filled row by row. For each row of pixel centres inside its box, the run of
// covered centres is found from the three integer edge functions (centre by centre for
// narrow boxes; for wide ones each edge's bound on the run is walked down the rows as an exact
// quotient and remainder, with no division per row), and the run is shaded by a loop of plain
// float arithmetic with no coverage test inside, which the compiler can vectorise. Depth and
// varyings at a pixel are plane equations evaluated from the pixel's offset to a reference
// pixel fixed by the triangle and the frame (the first centre of the triangle's box inside the
// frame), so no value depends on the rectangle being drawn. Models: Fabian Giesen's "Triangle
// rasterization in practice" (edge functions, fixed-point corners, the top-left rule) and
// ssloy's tinyrenderer.
#include "render/raster.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "render/line_stepper.h"
#include "render/wireframe.h"

static_assert(FLT_EVAL_METHOD == 0,
              "the rasteriser needs float arithmetic without excess precision");

namespace {

// Floor of a / 2^kSubPixelBits for any sign (an arithmetic shift).
constexpr int32_t FloorPixel(int64_t a) {
    return static_cast<int32_t>(a >> kSubPixelBits);
}

// The edge function of the side from A to B at P, twice the signed area of (A, B, P):
// E(P) = (B.x - A.x) (P.y - A.y) - (B.y - A.y) (P.x - A.x). With the corners in the order
// that makes the area positive, the inside is E > 0; a top edge runs right (B.y == A.y,
// B.x > A.x) and a left edge runs up (B.y < A.y), and a centre on one of them (E == 0) is
// covered: the test is E + bias >= 0 with bias 0 there and -1 elsewhere.
TriangleCoverage::Edge MakeEdge(const RasterVertex& a, const RasterVertex& b, int64_t refX,
                                int64_t refY) {
    const int64_t ex = static_cast<int64_t>(b.x) - a.x;
    const int64_t ey = static_cast<int64_t>(b.y) - a.y;
    const bool topLeft = ey < 0 || (ey == 0 && ex > 0);
    TriangleCoverage::Edge e;
    e.dx = -ey * kSubPixelOne;
    e.dy = ex * kSubPixelOne;
    e.at = ex * (refY - a.y) - ey * (refX - a.x) + (topLeft ? 0 : -1);
    return e;
}

// Boxes at most this many centres wide are searched centre by centre (at most 64); wider
// ones walk their edges down the rows (EdgeWalk).
constexpr int32_t kSteppedWidth = 4;

// a = q m + r with 0 <= r < m, for m > 0: q from a division in double (truncated: one
// instruction, where floor is a library call on baseline x86-64), made exact.
inline void DivideFloor(int64_t a, int64_t m, int64_t& q, int64_t& r) {
    q = static_cast<int64_t>(static_cast<double>(a) / static_cast<double>(m));
    r = a - q * m;
    while (r < 0) {
        --q;
        r += m;
    }
    while (r >= m) {
        ++q;
        r -= m;
    }
}

// The bound one edge puts on the covered centres of a row, walked down the rows exactly.
// With v the edge's value at the row's first centre and d its change per centre (centre k is
// covered when v + d k >= 0): for d > 0, k >= ceil(-v / d), a lower bound; for d < 0,
// k <= floor(v / -d), an upper one; for d = 0, every centre or none, as v >= 0. Each row adds
// the edge's change per row to v, so the bound moves by a fixed quotient and remainder: no
// division per row.
struct EdgeWalk {
    int64_t bound;      // the bound on k (d != 0), or v (d = 0)
    int64_t remainder;  // 0 <= remainder < m
    int64_t m;          // |d|
    int64_t boundStep, remainderStep;
    int32_t kind;  // 1: lower bound, -1: upper bound, 0: d = 0

    EdgeWalk(int64_t v, const TriangleCoverage::Edge& e) {
        if (e.dx == 0) {
            kind = 0;
            bound = v;
            boundStep = e.dy;
            remainder = remainderStep = m = 0;
            return;
        }
        kind = e.dx > 0 ? 1 : -1;
        m = e.dx > 0 ? e.dx : -e.dx;
        // Lower: ceil(-v / m) = floor((m - 1 - v) / m), and -v falls by dy a row.
        // Upper: floor(v / m), and v grows by dy a row.
        DivideFloor(kind > 0 ? m - 1 - v : v, m, bound, remainder);
        DivideFloor(kind > 0 ? -e.dy : e.dy, m, boundStep, remainderStep);
    }
    void NextRow() {
        if (kind == 0) {
            bound += boundStep;
            return;
        }
        bound += boundStep;
        remainder += remainderStep;
        if (remainder >= m) {
            remainder -= m;
            ++bound;
        }
    }
    // Narrows [first, last] (within [0, width)) to the centres this edge covers.
    void Narrow(int64_t& first, int64_t& last) const {
        if (kind > 0) {
            first = std::max(first, bound);
        } else if (kind < 0) {
            last = std::min(last, bound);
        } else if (bound < 0) {
            last = -1;
        }
    }
};

// Calls span(y, first, last) for each row of the coverage that has covered centres, until it
// returns true.
template <class Span>
inline void ForEachSpan(const TriangleCoverage& c, Span&& span) {
    const TriangleCoverage::Edge& e0 = c.edge[0];
    const TriangleCoverage::Edge& e1 = c.edge[1];
    const TriangleCoverage::Edge& e2 = c.edge[2];
    const int32_t width = c.x1 - c.x0 + 1;
    // The edge functions at the first centre of row y0; exact integers, stepped down the rows.
    const int64_t startX = c.x0 - c.refX, startY = c.y0 - c.refY;
    int64_t row0 = e0.at + e0.dx * startX + e0.dy * startY;
    int64_t row1 = e1.at + e1.dx * startX + e1.dy * startY;
    int64_t row2 = e2.at + e2.dx * startX + e2.dy * startY;
    if (width > kSteppedWidth) {
        EdgeWalk w0(row0, e0), w1(row1, e1), w2(row2, e2);
        for (int32_t y = c.y0; y <= c.y1; ++y) {
            int64_t first = 0, last = width - 1;
            w0.Narrow(first, last);
            w1.Narrow(first, last);
            w2.Narrow(first, last);
            w0.NextRow();
            w1.NextRow();
            w2.NextRow();
            if (first > last) continue;
            if (span(y, c.x0 + static_cast<int32_t>(first), c.x0 + static_cast<int32_t>(last)))
                return;
        }
        return;
    }
    for (int32_t y = c.y0; y <= c.y1; ++y, row0 += e0.dy, row1 += e1.dy, row2 += e2.dy) {
        // One bit per centre of the row: all three values are >= 0 exactly when their bitwise
        // or is, so the sign bit of the or says it; no branch per centre.
        uint32_t inside = 0;
        int64_t a0 = row0, a1 = row1, a2 = row2;
        for (int32_t k = 0; k < width; ++k) {
            inside |= static_cast<uint32_t>(static_cast<uint64_t>(~(a0 | a1 | a2)) >> 63) << k;
            a0 += e0.dx;
            a1 += e1.dx;
            a2 += e2.dx;
        }
        // The covered centres of a row are one run.
        const int32_t first = inside != 0 ? std::countr_zero(inside) : 1;
        const int32_t last = inside != 0 ? 31 - std::countl_zero(inside) : 0;
        // (A thin triangle may pass between the centres of a row and cover some further
        // down: every row of the box is looked at.)
        if (first > last) continue;
        if (span(y, c.x0 + first, c.x0 + last)) return;
    }
}

// The barycentric weights of corners 1 and 2 per pixel (w1 = E(v2 -> v0) / area,
// w2 = E(v0 -> v1) / area) and corner 0's offset from the reference centre in pixels.
struct Weights {
    double w1dx, w1dy, w2dx, w2dy;
    double ox0, oy0;
};
static_assert(sizeof(Weights) == sizeof(TriangleCoverage::weight));

Weights MakeWeights(const TriangleCoverage& c) {
    const int64_t refX = static_cast<int64_t>(c.refX) * kSubPixelOne + kSubPixelOne / 2;
    const int64_t refY = static_cast<int64_t>(c.refY) * kSubPixelOne + kSubPixelOne / 2;
    double ox[3], oy[3];
    for (int k = 0; k < 3; ++k) {
        ox[k] = static_cast<double>(c.v[k]->x - refX);
        oy[k] = static_cast<double>(c.v[k]->y - refY);
    }
    const double scale = static_cast<double>(kSubPixelOne) / static_cast<double>(c.area);
    return Weights{-(oy[0] - oy[2]) * scale, (ox[0] - ox[2]) * scale, -(oy[1] - oy[0]) * scale,
                   (ox[1] - ox[0]) * scale,  ox[0] / kSubPixelOne,    oy[0] / kSubPixelOne};
}

// The plane through q0, q1, q2 at the corners, q(P) = q0 + (q1 - q0) w1 + (q2 - q0) w2,
// formed in double precision and rounded to floats once.
TriangleCoverage::Plane MakePlane(double q0, double q1, double q2, const Weights& g) {
    const double d1 = q1 - q0, d2 = q2 - q0;
    const double dx = d1 * g.w1dx + d2 * g.w2dx;
    const double dy = d1 * g.w1dy + d2 * g.w2dy;
    // At the reference centre (offset 0), from corner 0.
    const double at = q0 - (dx * g.ox0 + dy * g.oy0);
    return TriangleCoverage::Plane{static_cast<float>(at), static_cast<float>(dx),
                                   static_cast<float>(dy)};
}

inline uint32_t PackChannel(float value) {
    // Clamped first (NaN fails the first test and becomes 0), then rounded half up; written
    // as two selects and a signed conversion so that span loops vectorise.
    const float low = value > 0.0f ? value : 0.0f;
    const float v = low < 255.0f ? low : 255.0f;
    return static_cast<uint32_t>(static_cast<int32_t>(v + 0.5f));
}

// Span loops four pixels at a time through the vector extensions of GCC and Clang (SSE2 on
// x86-64, SIMD128 in WebAssembly where enabled, plain scalar code elsewhere): IEEE
// operations lane by lane, exactly the scalar ones.
#if defined(__GNUC__) || defined(__clang__)
#define TRELLIS_VECTOR_SPANS 1
using V4f = float __attribute__((vector_size(16)));
using V4i = int32_t __attribute__((vector_size(16)));

inline V4f Splat(float v) {
    return V4f{v, v, v, v};
}
inline V4i Splat(int32_t v) {
    return V4i{v, v, v, v};
}

// PackChannel lane by lane: a comparison gives all ones where it holds, so the selects are
// masks on the bits.
inline V4i Select(V4i mask, V4i a, V4i b) {
    return (a & mask) | (b & ~mask);
}
inline V4i PackChannels(V4f value) {
    const V4f low = std::bit_cast<V4f>(std::bit_cast<V4i>(value) & (value > Splat(0.0f)));
    const V4f v = std::bit_cast<V4f>(
        Select(low < Splat(255.0f), std::bit_cast<V4i>(low), std::bit_cast<V4i>(Splat(255.0f))));
    return __builtin_convertvector(v + Splat(0.5f), V4i);
}
#else
#define TRELLIS_VECTOR_SPANS 0
#endif

inline uint32_t Pack(float red, float green, float blue) {
    return PackChannel(red) << 16 | PackChannel(green) << 8 | PackChannel(blue);
}

// Mixes `colour` into `under` with weight alpha / 256.
inline uint32_t BlendColour(uint32_t colour, uint32_t under, uint32_t alpha) {
    const uint32_t rest = 256 - alpha;
    const uint32_t rb = ((colour & 0xFF00FFu) * alpha + (under & 0xFF00FFu) * rest) >> 8;
    const uint32_t g = ((colour & 0x00FF00u) * alpha + (under & 0x00FF00u) * rest) >> 8;
    return (rb & 0xFF00FFu) | (g & 0x00FF00u);
}

// The planes of the varyings a shader reads (value / depth, perspective-correct).
struct Varyings {
    TriangleCoverage::Plane plane[kMaxVaryings];
};

// Shades the covered centres [first, last] of row y. 1 / depth at a pixel is evaluated from
// its offset to the reference pixel: (at + dy * oy) + dx * ox, in that order, whatever the
// rectangle being drawn.
template <PixelShader kShader, FillMode kMode>
void FillSpan(const TriangleCoverage& c, const Varyings& q, const FillStyle& style,
              uint32_t* pixels, float* depth, int32_t y, int32_t first, int32_t last) {
    const float oy = static_cast<float>(y - c.refY);
    const float zRow = c.invZ.at + c.invZ.dy * oy;
    float row[3] = {0.0f, 0.0f, 0.0f};
    if constexpr (kShader == PixelShader::Gouraud) {
        for (int k = 0; k < 3; ++k)
            row[k] = q.plane[k].at + q.plane[k].dy * oy;
    }
    const float offset = c.offset;
    const uint32_t alpha = static_cast<uint32_t>(style.alpha);
    const uint32_t flat = style.colour;
    const int32_t refX = c.refX;
    const float dz = c.invZ.dx;
    const float dr = q.plane[0].dx, dg = q.plane[1].dx, db = q.plane[2].dx;
#if TRELLIS_VECTOR_SPANS
    if constexpr (kShader == PixelShader::Gouraud && kMode == FillMode::Opaque) {
        // Four pixels at a time with the same operations as the loop below, lane by lane, so
        // the pixels are the same whichever loop draws them.
        const V4f rowZ = Splat(zRow), stepZ = Splat(dz), push = Splat(offset);
        const V4f rowR = Splat(row[0]), rowG = Splat(row[1]), rowB = Splat(row[2]);
        const V4f stepR = Splat(dr), stepG = Splat(dg), stepB = Splat(db);
        const V4i lanes = {0, 1, 2, 3};
        for (; first + 3 <= last; first += 4) {
            const V4f ox = __builtin_convertvector(Splat(first - refX) + lanes, V4f);
            const V4f invZ = rowZ + stepZ * ox;
            const V4f z = invZ - push;
            V4f stored;
            std::memcpy(&stored, depth + first, sizeof stored);
            const V4i pass = z > stored;
            const V4f w = Splat(1.0f) / invZ;
            const V4i colour = PackChannels((rowR + stepR * ox) * w) << 16 |
                               PackChannels((rowG + stepG * ox) * w) << 8 |
                               PackChannels((rowB + stepB * ox) * w);
            V4i under;
            std::memcpy(&under, pixels + first, sizeof under);
            const V4i pixel = Select(pass, colour, under);
            const V4i kept = Select(pass, std::bit_cast<V4i>(z), std::bit_cast<V4i>(stored));
            std::memcpy(pixels + first, &pixel, sizeof pixel);
            std::memcpy(depth + first, &kept, sizeof kept);
        }
    }
#endif
    for (int32_t x = first; x <= last; ++x) {
        const float ox = static_cast<float>(x - refX);
        const float invZ = zRow + dz * ox;
        const float z = invZ - offset;
        const bool pass = z > depth[x];
        uint32_t colour = flat;
        if constexpr (kShader == PixelShader::Gouraud) {
            const float w = 1.0f / invZ;
            colour = Pack((row[0] + dr * ox) * w, (row[1] + dg * ox) * w, (row[2] + db * ox) * w);
        }
        if constexpr (kMode == FillMode::Blend) {
            pixels[x] = pass ? BlendColour(colour, pixels[x], alpha) : pixels[x];
        } else {
            pixels[x] = pass ? colour : pixels[x];
            depth[x] = pass ? z : depth[x];
        }
    }
}

// The weight (0 to 256) of a pixel of a Masked fill: the style's alpha times the opacity
// map's (its grey level; full outside a decal map) laid over full opacity at its amount.
inline uint32_t MaskWeight(const MapStyle& maps, uint32_t alpha, float u, float v, float dudx,
                           float dvdx, float dudy, float dvdy) {
    float s, t;
    const uint32_t sample = SampleMapAt(*maps.opacity, u, v, dudx, dvdx, dudy, dvdy, s, t);
    const bool outside = maps.opacity->wrap == TextureWrap::kDecal &&
                         !(s >= 0.0f && s <= 1.0f && t >= 0.0f && t <= 1.0f);
    const uint32_t opacity = outside ? 255u : (sample & 0xFFu);
    const uint32_t full = (opacity * 256 + 127) / 255;  // 0 to 256
    const auto amount = static_cast<uint32_t>(maps.opacityAmount);
    const uint32_t mixed = 256 - ((256 - full) * amount + 128) / 256;
    return (alpha * mixed + 128) >> 8;
}

// Shades the covered centres [first, last] of row y with the Textured shader (kMap: with a
// diffuse map). Hidden pixels are passed over before any sampling. Every value at a pixel
// comes from its offset to the reference pixel, as in FillSpan.
template <bool kMap, FillMode kMode>
void FillTexturedSpan(const TriangleCoverage& c, const Varyings& q, const FillStyle& style,
                      uint32_t* pixels, float* depth, int32_t y, int32_t first, int32_t last) {
    const MapStyle& maps = *style.maps;
    const float oy = static_cast<float>(y - c.refY);
    const float zRow = c.invZ.at + c.invZ.dy * oy;
    float row[kMaxVaryings];
    for (int32_t k = 0; k < kMaxVaryings; ++k)
        row[k] = q.plane[k].at + q.plane[k].dy * oy;
    const float offset = c.offset;
    const auto alpha = static_cast<uint32_t>(style.alpha);
    const int32_t refX = c.refX;
    const float dzx = c.invZ.dx, dzy = c.invZ.dy;
    const TriangleCoverage::Plane& pu = q.plane[kVaryU];
    const TriangleCoverage::Plane& pv = q.plane[kVaryV];
    for (int32_t x = first; x <= last; ++x) {
        const float ox = static_cast<float>(x - refX);
        const float invZ = zRow + dzx * ox;
        const float z = invZ - offset;
        if (!(z > depth[x])) continue;
        const float w = 1.0f / invZ;
        const float u = (row[kVaryU] + pu.dx * ox) * w;
        const float v = (row[kVaryV] + pv.dx * ox) * w;
        // u = U / W with U = u / depth and W = 1 / depth planes: du = (dU - u dW) / W.
        const float dudx = (pu.dx - u * dzx) * w;
        const float dvdx = (pv.dx - v * dzx) * w;
        const float dudy = (pu.dy - u * dzy) * w;
        const float dvdy = (pv.dy - v * dzy) * w;
        float channel[3];
        if constexpr (kMap) {
            float s, t;
            const uint32_t sample = SampleMapAt(*maps.map, u, v, dudx, dvdx, dudy, dvdy, s, t);
            const uint32_t kd = MixMapColor(maps.diffuse, sample, maps.amount);
            for (int32_t k = 0; k < 3; ++k) {
                const float times =
                    (row[kVaryTimesRed + k] + q.plane[kVaryTimesRed + k].dx * ox) * w;
                const float add = (row[kVaryRed + k] + q.plane[kVaryRed + k].dx * ox) * w;
                channel[k] = static_cast<float>(kd >> (16 - 8 * k) & 0xFFu) * times + add;
            }
        } else {
            for (int32_t k = 0; k < 3; ++k)
                channel[k] = (row[kVaryRed + k] + q.plane[kVaryRed + k].dx * ox) * w;
        }
        const uint32_t colour = Pack(channel[0], channel[1], channel[2]);
        if constexpr (kMode == FillMode::Masked) {
            const uint32_t weight = MaskWeight(maps, alpha, u, v, dudx, dvdx, dudy, dvdy);
            if (weight >= 256) {
                pixels[x] = colour;
                depth[x] = z;
            } else if (weight > 0) {
                pixels[x] = BlendColour(colour, pixels[x], weight);
            }
        } else if constexpr (kMode == FillMode::Blend) {
            pixels[x] = BlendColour(colour, pixels[x], alpha);
        } else {
            pixels[x] = colour;
            depth[x] = z;
        }
    }
}

using SpanFunction = void (*)(const TriangleCoverage&, const Varyings&, const FillStyle&, uint32_t*,
                              float*, int32_t, int32_t, int32_t);

template <bool kMap>
SpanFunction TexturedSpanFor(FillMode mode) {
    switch (mode) {
        case FillMode::Masked:
            return FillTexturedSpan<kMap, FillMode::Masked>;
        case FillMode::Blend:
            return FillTexturedSpan<kMap, FillMode::Blend>;
        default:
            return FillTexturedSpan<kMap, FillMode::Opaque>;
    }
}

SpanFunction SpanFor(const FillStyle& style) {
    if (style.shader == PixelShader::Textured) {
        // Masked needs the opacity map; without one it is Blend.
        const FillMode mode = style.mode == FillMode::Masked && style.maps->opacity == nullptr
                                  ? FillMode::Blend
                                  : style.mode;
        return style.maps->map != nullptr ? TexturedSpanFor<true>(mode)
                                          : TexturedSpanFor<false>(mode);
    }
    const bool gouraud = style.shader == PixelShader::Gouraud;
    if (style.mode == FillMode::Blend) {
        return gouraud ? FillSpan<PixelShader::Gouraud, FillMode::Blend>
                       : FillSpan<PixelShader::Flat, FillMode::Blend>;
    }
    return gouraud ? FillSpan<PixelShader::Gouraud, FillMode::Opaque>
                   : FillSpan<PixelShader::Flat, FillMode::Opaque>;
}

// The planes of the varyings the style's shader reads.
void MakeVaryings(const TriangleCoverage& c, const FillStyle& style, Varyings& q) {
    const int32_t count = VaryingCount(style.shader);
    if (count == 0) return;
    Weights g;
    std::memcpy(&g, c.weight, sizeof g);
    for (int32_t i = 0; i < count; ++i) {
        const auto at = [&](int k) {
            return static_cast<double>(c.v[k]->varying[i]) * static_cast<double>(c.v[k]->invZ);
        };
        q.plane[i] = MakePlane(at(0), at(1), at(2), g);
    }
}

}  // namespace

RasterProjection CurrentRasterProjection() {
    const ProjectionParameters p = CurrentProjection();
    return RasterProjection{static_cast<double>(p.focalScale), static_cast<double>(p.width / 2),
                            static_cast<double>(p.height / 2), p.width, p.height};
}

int32_t VaryingCount(PixelShader shader) {
    switch (shader) {
        case PixelShader::Gouraud:
            return 3;
        case PixelShader::Textured:
            return kMaxVaryings;
        default:
            return 0;
    }
}

uint32_t PackColour(float red, float green, float blue) {
    return Pack(red, green, blue);
}

void ClearTarget(const RasterTarget& target, uint32_t colour) {
    for (int32_t y = target.top; y < target.bottom; ++y) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(target.stride);
        std::fill(target.pixels + row + target.left, target.pixels + row + target.right, colour);
        std::fill(target.depth + row + target.left, target.depth + row + target.right, 0.0f);
    }
}

bool CoverTriangle(const RasterTarget& target, const RasterVertex& a, const RasterVertex& b,
                   const RasterVertex& c, bool depthOffset, TriangleCoverage& out) {
    int64_t area = (static_cast<int64_t>(b.x) - a.x) * (static_cast<int64_t>(c.y) - a.y) -
                   (static_cast<int64_t>(b.y) - a.y) * (static_cast<int64_t>(c.x) - a.x);
    if (area == 0) return false;
    out.v[0] = &a;
    out.v[1] = &b;
    out.v[2] = &c;
    if (area < 0) {
        std::swap(out.v[1], out.v[2]);
        area = -area;
    }
    out.area = area;
    // The centres inside the box of the corners: column k has its centre at k * 256 + 128.
    const int32_t minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
    const int32_t minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
    const int32_t boxLeft = FloorPixel(static_cast<int64_t>(minX) + kSubPixelOne / 2 - 1);
    const int32_t boxTop = FloorPixel(static_cast<int64_t>(minY) + kSubPixelOne / 2 - 1);
    const int32_t boxRight = FloorPixel(static_cast<int64_t>(maxX) - kSubPixelOne / 2);
    const int32_t boxBottom = FloorPixel(static_cast<int64_t>(maxY) - kSubPixelOne / 2);
    out.x0 = std::max(boxLeft, target.left);
    out.x1 = std::min(boxRight, target.right - 1);
    out.y0 = std::max(boxTop, target.top);
    out.y1 = std::min(boxBottom, target.bottom - 1);
    if (out.x0 > out.x1 || out.y0 > out.y1) return false;

    // The reference pixel: the box's first centre inside the frame (not the target), so the
    // planes are the same whichever rectangle is drawn.
    out.refX = std::max(boxLeft, 0);
    out.refY = std::max(boxTop, 0);
    const int64_t refX = static_cast<int64_t>(out.refX) * kSubPixelOne + kSubPixelOne / 2;
    const int64_t refY = static_cast<int64_t>(out.refY) * kSubPixelOne + kSubPixelOne / 2;
    out.edge[0] = MakeEdge(*out.v[0], *out.v[1], refX, refY);
    out.edge[1] = MakeEdge(*out.v[1], *out.v[2], refX, refY);
    out.edge[2] = MakeEdge(*out.v[2], *out.v[0], refX, refY);
    const Weights g = MakeWeights(out);
    std::memcpy(out.weight, &g, sizeof g);
    out.invZ = MakePlane(static_cast<double>(out.v[0]->invZ), static_cast<double>(out.v[1]->invZ),
                         static_cast<double>(out.v[2]->invZ), g);
    out.offset = 0.0f;
    if (depthOffset) {
        const float nearest = std::max({a.invZ, b.invZ, c.invZ});
        out.offset = std::fabs(out.invZ.dx) + std::fabs(out.invZ.dy) + nearest * (1.0f / 4096.0f);
    }
    return true;
}

void FillCoverage(const TriangleCoverage& c, const RasterTarget& target, const FillStyle& style,
                  ShadeTriangle shade, void* context) {
    FillStyle completed = style;
    Varyings q;
    SpanFunction span = nullptr;
    if (shade == nullptr) {
        MakeVaryings(c, completed, q);
        span = SpanFor(completed);
    }
    ForEachSpan(c, [&](int32_t y, int32_t first, int32_t last) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(target.stride);
        float* depth = target.depth + row;
        if (span == nullptr) {
            // Not shaded yet: pass over the centres hidden so far; at the first one in front,
            // shade the triangle and fill on from there.
            const float oy = static_cast<float>(y - c.refY);
            const float zRow = c.invZ.at + c.invZ.dy * oy;
            while (first <= last &&
                   !((zRow + c.invZ.dx * static_cast<float>(first - c.refX)) - c.offset >
                     depth[first]))
                ++first;
            if (first > last) return false;
            shade(context, completed);
            MakeVaryings(c, completed, q);
            span = SpanFor(completed);
        }
        span(c, q, completed, target.pixels + row, depth, y, first, last);
        return false;
    });
}

void FillTriangle(const RasterTarget& target, const RasterVertex& a, const RasterVertex& b,
                  const RasterVertex& c, const FillStyle& style) {
    TriangleCoverage coverage;
    if (CoverTriangle(target, a, b, c, style.depthOffset, coverage))
        FillCoverage(coverage, target, style);
}

namespace {

// Signed distance-like value of a view point to one clipping plane: >= 0 inside.
struct ClipPlane {
    double x, z, constant;  // value = x * p.x-or-y + z * p.z + constant
    bool useY;
};

double PlaneValue(const ClipPlane& plane, const ViewPoint& p) {
    const double across = static_cast<double>(plane.useY ? p.y : p.x);
    return plane.x * across + plane.z * static_cast<double>(p.z) + plane.constant;
}

// The point where the side from `inner` (value vi >= 0) to `outer` (value vo < 0) meets the
// plane.
ClipVertex Intersect(const ClipVertex& inner, const ClipVertex& outer, double vi, double vo,
                     int32_t varyingCount) {
    const double t = vi / (vi - vo);
    const auto lerp = [t](float from, float to) {
        return static_cast<float>(static_cast<double>(from) +
                                  (static_cast<double>(to) - static_cast<double>(from)) * t);
    };
    ClipVertex r = inner;
    r.position.x = lerp(inner.position.x, outer.position.x);
    r.position.y = lerp(inner.position.y, outer.position.y);
    r.position.z = lerp(inner.position.z, outer.position.z);
    for (int32_t i = 0; i < varyingCount; ++i)
        r.varying[i] = lerp(inner.varying[i], outer.varying[i]);
    return r;
}

}  // namespace

int32_t ClipTriangle(const ClipVertex (&in)[3], int32_t varyingCount,
                     const RasterProjection& projection, ClipVertex (&out)[kMaxClipVertices],
                     bool (&ownSide)[kMaxClipVertices]) {
    for (const ClipVertex& c : in) {
        if (!std::isfinite(c.position.x) || !std::isfinite(c.position.y) ||
            !std::isfinite(c.position.z))
            return 0;
    }
    // The near plane a little in front of kRasterNear, and the guard band a pixel inside its
    // edges, so that the new corners pass SnapCorner's tests after rounding. For x:
    // x * focal / z + centre >= -band  <=>  x * focal + (centre + band) * z >= 0.
    const double band = static_cast<double>(kGuardBand) - 1.0;
    const double f = projection.focal;
    const double w = static_cast<double>(projection.width);
    const double h = static_cast<double>(projection.height);
    const ClipPlane planes[5] = {
        {0.0, 1.0, -static_cast<double>(kRasterNear) * (1.0 + 1.0 / 1024.0), false},
        {f, projection.centreX + band, 0.0, false},
        {-f, w + band - projection.centreX, 0.0, false},
        {f, projection.centreY + band, 0.0, true},
        {-f, h + band - projection.centreY, 0.0, true},
    };
    ClipVertex a[kMaxClipVertices], b[kMaxClipVertices];
    bool sideA[kMaxClipVertices], sideB[kMaxClipVertices];
    int32_t count = 3;
    for (int k = 0; k < 3; ++k) {
        a[k] = in[k];
        sideA[k] = true;
    }
    ClipVertex* from = a;
    ClipVertex* to = b;
    bool* fromSide = sideA;
    bool* toSide = sideB;
    for (const ClipPlane& plane : planes) {
        double value[kMaxClipVertices];
        bool allIn = true;
        for (int32_t k = 0; k < count; ++k) {
            value[k] = PlaneValue(plane, from[k].position);
            allIn = allIn && value[k] >= 0.0;
        }
        if (allIn) continue;
        int32_t n = 0;
        for (int32_t k = 0; k < count; ++k) {
            const int32_t next = k + 1 == count ? 0 : k + 1;
            const bool curIn = value[k] >= 0.0;
            const bool nextIn = value[next] >= 0.0;
            if (curIn) {
                to[n] = from[k];
                toSide[n++] = fromSide[k];
                if (!nextIn) {
                    // The side leaves: its inner part ends on the plane, and the polygon's
                    // next side runs along the plane.
                    to[n] = Intersect(from[k], from[next], value[k], value[next], varyingCount);
                    toSide[n++] = false;
                }
            } else if (nextIn) {
                to[n] = Intersect(from[next], from[k], value[next], value[k], varyingCount);
                toSide[n++] = fromSide[k];
            }
        }
        count = n;
        std::swap(from, to);
        std::swap(fromSide, toSide);
        if (count < 3) return 0;
    }
    for (int32_t k = 0; k < count; ++k) {
        out[k] = from[k];
        ownSide[k] = fromSide[k];
    }
    return count;
}

namespace {

// The steps k in [0, n - 1] of a walk along the longer axis, start - k * direction, whose
// integer coordinate lies in [lo, hi]; false when there are none.
bool StepsWithin(int64_t start, int64_t direction, int64_t n, int64_t lo, int64_t hi,
                 int64_t& first, int64_t& last) {
    int64_t kLo, kHi;
    if (direction > 0) {
        kLo = start - hi;
        kHi = start - lo;
    } else {
        kLo = lo - start;
        kHi = hi - start;
    }
    first = std::max<int64_t>(kLo, 0);
    last = std::min<int64_t>(kHi, n - 1);
    return first <= last;
}

}  // namespace

namespace {

// The depth-tested walk between integer ends, with 1 / depth startZ and endZ at them.
void DepthLineBetween(const RasterTarget& target, int64_t xs, int64_t ys, int64_t xe, int64_t ye,
                      float startZ, float endZ, uint32_t colour) {
    // The stepper's walk (see DrawLineBetween): n steps along the longer axis by exactly 1,
    // the shorter axis by the rounded quotient, the position in double.
    const int64_t dx = xs - xe, dy = ys - ye;
    const int64_t absDx = dx < 0 ? -dx : dx, absDy = dy < 0 ? -dy : dy;
    const int64_t n = absDx >= absDy ? absDx : absDy;
    if (n == 0) return;
    if (n == 1) {
        // One step: the start point alone, at the start's depth.
        if (xs < std::max(1, target.left) || xs >= std::min(target.width, target.right) ||
            ys < std::max(1, target.top) || ys >= std::min(target.height, target.bottom))
            return;
        const size_t index =
            static_cast<size_t>(ys) * static_cast<size_t>(target.stride) + static_cast<size_t>(xs);
        if (startZ >= target.depth[index]) {
            target.pixels[index] = colour;
            target.depth[index] = startZ;
        }
        return;
    }
    const bool alongX = absDx >= absDy;
    const auto quotient = [n](int64_t d) {
        return static_cast<float>(static_cast<double>(d) / static_cast<double>(n));
    };
    const float incX = alongX ? (dx > 0 ? 1.0f : -1.0f) : quotient(dx);
    const float incY = alongX ? quotient(dy) : (dy > 0 ? 1.0f : -1.0f);

    // A point is drawn when strictly inside the frame (as the stepper's test) and its pixel
    // lies in the target's rectangle. The longer-axis coordinate is an exact integer m, so
    // that is max(1, lo) <= m <= min(size - 1, hi - 1).
    const int64_t majorStart = alongX ? xs : ys;
    const int64_t direction = (alongX ? dx : dy) > 0 ? 1 : -1;
    const int64_t majorLo = std::max<int64_t>(1, alongX ? target.left : target.top);
    const int64_t majorHi = std::min<int64_t>(alongX ? target.width - 1 : target.height - 1,
                                              (alongX ? target.right : target.bottom) - 1);
    int64_t first, last;
    if (!StepsWithin(majorStart, direction, n, majorLo, majorHi, first, last)) return;
    const double minorStart = static_cast<double>(alongX ? ys : xs);
    const float minorInc = alongX ? incY : incX;
    double minor = first > 0 ? AdvanceMinorAxis(minorStart, minorInc, static_cast<uint64_t>(first))
                             : minorStart;
    const double minorStep = static_cast<double>(minorInc);
    const double minorSize = static_cast<double>(alongX ? target.height : target.width);
    const int32_t minorLo = alongX ? target.top : target.left;
    const int32_t minorHi = alongX ? target.bottom : target.right;
    // 1 / depth at step k: startZ + (endZ - startZ) * (k / n), with 1 / n rounded once.
    const float dz = endZ - startZ;
    const float perStep = 1.0f / static_cast<float>(n);
    for (int64_t k = first; k <= last; ++k, minor -= minorStep) {
        if (!(0.0 < minor && minor < minorSize)) continue;
        const int32_t m = static_cast<int32_t>(minor);
        if (m < minorLo || m >= minorHi) continue;
        const int64_t major = majorStart - k * direction;
        const int64_t column = alongX ? major : m;
        const int64_t row = alongX ? m : major;
        const size_t index = static_cast<size_t>(row) * static_cast<size_t>(target.stride) +
                             static_cast<size_t>(column);
        const float z = startZ + dz * (static_cast<float>(k) * perStep);
        if (z >= target.depth[index]) {
            target.pixels[index] = colour;
            target.depth[index] = z;
        }
    }
}

}  // namespace

void DrawDepthTestedLine(const RasterTarget& target, LinePoint start, LinePoint end,
                         uint32_t colour) {
    if (std::isnan(start.x) || std::isnan(start.y) || std::isnan(end.x) || std::isnan(end.y))
        return;
    DepthLineBetween(target, ScreenToInt(start.x), ScreenToInt(start.y), ScreenToInt(end.x),
                     ScreenToInt(end.y), start.invZ, end.invZ, colour);
}

void DrawDepthTestedEdge(const RasterTarget& target, const RasterVertex& start,
                         const RasterVertex& end, uint32_t colour) {
    // A snapped position truncated toward zero to whole pixels, as ScreenToInt truncates
    // x / 256 (exact in a float for every position within the guard band).
    DepthLineBetween(target, start.x / kSubPixelOne, start.y / kSubPixelOne, end.x / kSubPixelOne,
                     end.y / kSubPixelOne, start.invZ, end.invZ, colour);
}
