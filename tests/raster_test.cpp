// The rasteriser on small frames: the fill rule (shared edges drawn once, no gaps), depth
// between interpenetrating triangles, clipping at the near plane against a ray-cast frame,
// and the depth-tested line against the wireframe's stepper.
#include "render/raster.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "render/line_stepper.h"
#include "render/wireframe.h"

namespace {

// A small frame with its depth, and a target over all of it or over a rectangle.
struct SmallFrame {
    int32_t width, height;
    std::vector<uint32_t> pixels;
    std::vector<float> depth;

    SmallFrame(int32_t w, int32_t h)
        : width(w), height(h), pixels(size_t(w) * size_t(h), 0), depth(size_t(w) * size_t(h), 0) {}

    RasterTarget Target() { return Rect(0, 0, width, height); }
    RasterTarget Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
        return RasterTarget{pixels.data(), depth.data(), width, width, height,
                            left,          top,          right, bottom};
    }
    uint32_t At(int32_t x, int32_t y) const {
        return pixels[size_t(y) * size_t(width) + size_t(x)];
    }

    // One character per pixel: '.' for 0, else the letter given for its colour.
    std::string Picture(const std::vector<std::pair<uint32_t, char>>& letters) const {
        std::string out;
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                char c = '?';
                if (At(x, y) == 0) c = '.';
                for (const auto& [colour, letter] : letters)
                    if (At(x, y) == colour) c = letter;
                out += c;
            }
            out += '\n';
        }
        return out;
    }
};

// A corner at screen position (x, y) in pixels (exact in 1/256) and view depth z.
RasterVertex At(double x, double y, float z = 1.0f) {
    RasterVertex v{};
    v.x = static_cast<int32_t>(std::lround(x * kSubPixelOne));
    v.y = static_cast<int32_t>(std::lround(y * kSubPixelOne));
    v.invZ = 1.0f / z;
    return v;
}

FillStyle Flat(uint32_t colour) {
    FillStyle style;
    style.colour = colour;
    return style;
}

struct Triangle {
    RasterVertex a, b, c;
};

// How many of the triangles cover each pixel, each drawn alone into a fresh frame.
std::vector<int> Coverage(const std::vector<Triangle>& triangles, int32_t w, int32_t h) {
    std::vector<int> count(size_t(w) * size_t(h), 0);
    for (const Triangle& t : triangles) {
        SmallFrame frame(w, h);
        FillTriangle(frame.Target(), t.a, t.b, t.c, Flat(1));
        for (size_t i = 0; i < count.size(); ++i)
            count[i] += frame.pixels[i] != 0 ? 1 : 0;
    }
    return count;
}

TEST(FillRule, QuadOfTwoTrianglesCoversEachPixelOnce) {
    // Corners at pixel centres: the centres on the left and top edges belong to the quad,
    // those on the right and bottom edges do not, and the diagonal's centres go to one
    // triangle only. Both windings of both triangles.
    const RasterVertex p0 = At(2.5, 1.5), p1 = At(9.5, 1.5), p2 = At(9.5, 6.5), p3 = At(2.5, 6.5);
    const std::vector<std::vector<Triangle>> cases = {
        {{p0, p1, p2}, {p0, p2, p3}},
        {{p0, p2, p1}, {p0, p3, p2}},
        {{p1, p3, p0}, {p1, p2, p3}},
    };
    for (size_t k = 0; k < cases.size(); ++k) {
        const std::vector<int> count = Coverage(cases[k], 12, 8);
        for (int32_t y = 0; y < 8; ++y) {
            for (int32_t x = 0; x < 12; ++x) {
                const int expected = x >= 2 && x <= 8 && y >= 1 && y <= 5 ? 1 : 0;
                EXPECT_EQ(count[size_t(y) * 12 + size_t(x)], expected)
                    << "case " << k << " pixel " << x << ", " << y;
            }
        }
    }
}

TEST(FillRule, FanAndJitteredGridLeaveNoGapAndNoOverlap) {
    // A fan of 12 triangles about a centre, and a 6 x 5 grid of quads whose inner corners
    // are moved at random by up to a third of a pixel (sub-pixel positions), split both
    // ways: every pixel whose centre lies strictly inside the outline is covered exactly
    // once, and no pixel more than once.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-0.33, 0.33);
    std::vector<Triangle> fan;
    const double pi = 3.141592653589793;
    RasterVertex ring[12];
    for (int i = 0; i < 12; ++i)
        ring[i] =
            At(20.0 + 14.3 * std::cos(2 * pi * i / 12), 16.0 + 12.7 * std::sin(2 * pi * i / 12));
    const RasterVertex centre = At(20.37, 15.81);
    for (int i = 0; i < 12; ++i)
        fan.push_back({centre, ring[i], ring[(i + 1) % 12]});
    std::vector<int> count = Coverage(fan, 40, 32);
    for (int v : count)
        EXPECT_LE(v, 1);
    // The centre pixel and a ring of pixels well inside are covered.
    for (int i = 0; i < 36; ++i) {
        const int32_t x = static_cast<int32_t>(20.0 + 9.0 * std::cos(2 * pi * i / 36));
        const int32_t y = static_cast<int32_t>(16.0 + 8.0 * std::sin(2 * pi * i / 36));
        EXPECT_EQ(count[size_t(y) * 40 + size_t(x)], 1) << x << ", " << y;
    }

    // The grid spans x in [3.3, 33.3] and y in [2.6, 27.6]: columns 3 to 32 and rows 3 to 27.
    constexpr int columns = 6, rows = 5;
    RasterVertex grid[rows + 1][columns + 1];
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c <= columns; ++c) {
            const bool inner = r > 0 && r < rows && c > 0 && c < columns;
            grid[r][c] = At(3.3 + 5.0 * c + (inner ? jitter(random) : 0.0),
                            2.6 + 5.0 * r + (inner ? jitter(random) : 0.0));
        }
    }
    std::vector<Triangle> mesh;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const RasterVertex &a = grid[r][c], &b = grid[r][c + 1], &d = grid[r + 1][c],
                               &e = grid[r + 1][c + 1];
            if ((r + c) % 2 == 0) {
                mesh.push_back({a, b, e});
                mesh.push_back({a, e, d});
            } else {
                mesh.push_back({a, b, d});
                mesh.push_back({b, e, d});
            }
        }
    }
    count = Coverage(mesh, 40, 32);
    for (int32_t y = 0; y < 32; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            const int expected = x >= 3 && x <= 32 && y >= 3 && y <= 27 ? 1 : 0;
            EXPECT_EQ(count[size_t(y) * 40 + size_t(x)], expected) << x << ", " << y;
        }
    }
}

TEST(FillRule, RandomTrianglesCoverTheCentresInsideTheirEdges) {
    // Triangles of every size and shape (slivers, wide, beyond the frame) against the plain
    // rule tested centre by centre: inside all three edges, or on a top or left one.
    std::mt19937 random(11);
    std::uniform_int_distribution<int32_t> coordinate(-40 * kSubPixelOne, 100 * kSubPixelOne);
    std::uniform_int_distribution<int32_t> small(-3 * kSubPixelOne, 3 * kSubPixelOne);
    for (int i = 0; i < 400; ++i) {
        RasterVertex v[3] = {};
        for (int k = 0; k < 3; ++k) {
            v[k].x = coordinate(random);
            v[k].y = coordinate(random);
            v[k].invZ = 1.0f;
        }
        if (i % 2 == 1) {  // small and thin ones around the first corner
            v[1].x = v[0].x + small(random) * 4;
            v[1].y = v[0].y + small(random);
            v[2].x = v[0].x + small(random);
            v[2].y = v[0].y + small(random) * 4;
        }
        SmallFrame frame(64, 48);
        FillTriangle(frame.Target(), v[0], v[1], v[2], Flat(1));
        int64_t area = (int64_t{v[1].x} - v[0].x) * (int64_t{v[2].y} - v[0].y) -
                       (int64_t{v[1].y} - v[0].y) * (int64_t{v[2].x} - v[0].x);
        const RasterVertex* c[3] = {&v[0], &v[1], &v[2]};
        if (area < 0) std::swap(c[1], c[2]);
        for (int32_t y = 0; y < 48; ++y) {
            for (int32_t x = 0; x < 64; ++x) {
                const int64_t px = int64_t{x} * kSubPixelOne + kSubPixelOne / 2;
                const int64_t py = int64_t{y} * kSubPixelOne + kSubPixelOne / 2;
                bool inside = area != 0;
                for (int k = 0; k < 3; ++k) {
                    const RasterVertex& a = *c[k];
                    const RasterVertex& b = *c[(k + 1) % 3];
                    const int64_t ex = int64_t{b.x} - a.x, ey = int64_t{b.y} - a.y;
                    const int64_t e = ex * (py - a.y) - ey * (px - a.x);
                    const bool topLeft = ey < 0 || (ey == 0 && ex > 0);
                    inside = inside && (e > 0 || (e == 0 && topLeft));
                }
                ASSERT_EQ(frame.At(x, y) != 0, inside)
                    << "triangle " << i << " pixel " << x << ", " << y;
            }
        }
    }
}

TEST(FillRule, SameFrameInAnyRectangles) {
    // A triangle drawn into the whole frame, and into four rectangles one after another:
    // the same pixels, colours and depths (values at a pixel never depend on the rectangle).
    RasterVertex a = At(1.2, 0.7, 2.0f), b = At(30.9, 5.3, 9.0f), c = At(9.4, 22.6, 4.0f);
    const float colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int k = 0; k < 3; ++k) {
        RasterVertex* v[3] = {&a, &b, &c};
        for (int i = 0; i < 3; ++i)
            v[k]->varying[i] = colours[k][i];
    }
    FillStyle style;
    style.shader = PixelShader::Gouraud;
    SmallFrame whole(32, 24), parts(32, 24);
    FillTriangle(whole.Target(), a, b, c, style);
    for (const auto& r :
         {std::array<int32_t, 4>{0, 0, 13, 7}, {13, 0, 32, 7}, {0, 7, 13, 24}, {13, 7, 32, 24}})
        FillTriangle(parts.Rect(r[0], r[1], r[2], r[3]), a, b, c, style);
    EXPECT_EQ(whole.pixels, parts.pixels);
    EXPECT_EQ(whole.depth, parts.depth);
    int lit = 0;
    for (uint32_t p : whole.pixels)
        lit += p != 0 ? 1 : 0;
    EXPECT_GT(lit, 200);
}

TEST(Depth, InterpenetratingTrianglesMeetWhereTheirDepthsCross) {
    // A (red) stands at depth 2 over the whole frame; B (green) runs from depth 1 on the left
    // to depth 4 on the right, so 1 / depth falls linearly from 1 to 0.25 across the screen
    // and crosses A's 0.5 at x = 10.67: B is in front of the centres left of that, A right of it.
    // Drawn in either order, the frame is the same.
    const uint32_t red = 0xFF0000, green = 0x00FF00;
    const Triangle a1{At(0, 0, 2), At(16, 0, 2), At(16, 6, 2)},
        a2{At(0, 0, 2), At(16, 6, 2), At(0, 6, 2)};
    const Triangle b1{At(0, 1, 1), At(16, 1, 4), At(16, 5, 4)},
        b2{At(0, 1, 1), At(16, 5, 4), At(0, 5, 1)};
    const std::string expected =
        "AAAAAAAAAAAAAAAA\n"
        "BBBBBBBBBBBAAAAA\n"
        "BBBBBBBBBBBAAAAA\n"
        "BBBBBBBBBBBAAAAA\n"
        "BBBBBBBBBBBAAAAA\n"
        "AAAAAAAAAAAAAAAA\n";
    for (int order = 0; order < 2; ++order) {
        SmallFrame frame(16, 6);
        const auto drawA = [&] {
            FillTriangle(frame.Target(), a1.a, a1.b, a1.c, Flat(red));
            FillTriangle(frame.Target(), a2.a, a2.b, a2.c, Flat(red));
        };
        const auto drawB = [&] {
            FillTriangle(frame.Target(), b1.a, b1.b, b1.c, Flat(green));
            FillTriangle(frame.Target(), b2.a, b2.b, b2.c, Flat(green));
        };
        if (order == 0) {
            drawA();
            drawB();
        } else {
            drawB();
            drawA();
        }
        EXPECT_EQ(frame.Picture({{red, 'A'}, {green, 'B'}}), expected) << "order " << order;
    }
}

TEST(Depth, BlendMixesInFrontAndLeavesTheDepth) {
    // A blended fill mixes its colour in by its alpha where it is in front, and leaves the
    // depth alone.
    SmallFrame frame(8, 4);
    const Triangle near1{At(0, 0, 1), At(4, 0, 1), At(4, 4, 1)},
        near2{At(0, 0, 1), At(4, 4, 1), At(0, 4, 1)};
    FillTriangle(frame.Target(), near1.a, near1.b, near1.c, Flat(0));
    FillTriangle(frame.Target(), near2.a, near2.b, near2.c, Flat(0));
    const Triangle far1{At(0, 0, 3), At(8, 0, 3), At(8, 4, 3)},
        far2{At(0, 0, 3), At(8, 4, 3), At(0, 4, 3)};
    FillTriangle(frame.Target(), far1.a, far1.b, far1.c, Flat(0x0000FF));
    FillTriangle(frame.Target(), far2.a, far2.b, far2.c, Flat(0x0000FF));
    FillStyle blend = Flat(0xFF0000);
    blend.mode = FillMode::Blend;
    blend.alpha = 64;  // a quarter
    const Triangle mid{At(0, 0, 2), At(8, 0, 2), At(8, 4, 2)};
    FillTriangle(frame.Target(), mid.a, mid.b, mid.c, blend);
    // Over blue: red 255 / 4 = 63, blue 255 * 3 / 4 = 191.
    const uint32_t mixed = 0x3F00BF;
    EXPECT_EQ(frame.Picture({{0x0000FF, 'b'}, {mixed, 'm'}}),
              "....mmmm\n"
              "....mmmm\n"
              "....bmmm\n"
              "....bbbm\n");
    EXPECT_FLOAT_EQ(frame.depth[0], 1.0f);
    EXPECT_FLOAT_EQ(frame.depth[7], 1.0f / 3.0f);
}

// The frame a ray caster sees of one flat-coloured view-space triangle in front of the near
// plane. Pixels whose centre lies within 1/50 pixel of an edge (where snapping the corners to
// 1/256 pixel may decide) are marked in `unsure`.
std::vector<uint32_t> RayCast(const ViewPoint (&t)[3], const RasterProjection& p, uint32_t colour,
                              std::vector<bool>& unsure) {
    using V3 = std::array<double, 3>;
    std::vector<uint32_t> out(size_t(p.width) * size_t(p.height), 0);
    unsure.assign(out.size(), false);
    const auto sub = [](V3 a, V3 b) { return V3{a[0] - b[0], a[1] - b[1], a[2] - b[2]}; };
    const auto cross = [](V3 a, V3 b) {
        return V3{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    const auto dot = [](V3 a, V3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    const auto length = [&](V3 a) { return std::sqrt(dot(a, a)); };
    V3 c[3];
    for (int k = 0; k < 3; ++k)
        c[k] = V3{static_cast<double>(t[k].x), static_cast<double>(t[k].y),
                  static_cast<double>(t[k].z)};
    const V3 n = cross(sub(c[1], c[0]), sub(c[2], c[0]));
    for (int32_t y = 0; y < p.height; ++y) {
        for (int32_t x = 0; x < p.width; ++x) {
            const V3 d{(x + 0.5 - p.centreX) / p.focal, (y + 0.5 - p.centreY) / p.focal, 1.0};
            const double s = dot(n, c[0]) / dot(n, d);  // the hit is s * d
            if (!(s > static_cast<double>(kRasterNear))) continue;
            const V3 hit{s * d[0], s * d[1], s * d[2]};
            bool inside = true;
            for (int k = 0; k < 3; ++k) {
                const V3 e = sub(c[(k + 1) % 3], c[k]);
                // The hit's distance from the edge's line within the plane, in pixels.
                const double distance =
                    dot(cross(e, sub(hit, c[k])), n) / (length(e) * length(n)) * p.focal / s;
                inside = inside && distance > 0.0;
                if (std::fabs(distance) < 0.02)
                    unsure[size_t(y) * size_t(p.width) + size_t(x)] = true;
            }
            if (inside) out[size_t(y) * size_t(p.width) + size_t(x)] = colour;
        }
    }
    return out;
}

// Fills the clipped polygon of `t` and compares it with the ray caster's frame.
void ExpectClippedFillAsRayCast(const ViewPoint (&t)[3], const RasterProjection& projection,
                                const char* name) {
    ClipVertex in[3];
    for (int i = 0; i < 3; ++i)
        in[i].position = t[i];
    ClipVertex out[kMaxClipVertices];
    bool own[kMaxClipVertices];
    const int32_t count = ClipTriangle(in, 0, projection, out, own);
    ASSERT_GE(count, 3) << name;
    SmallFrame frame(projection.width, projection.height);
    std::vector<RasterVertex> snapped(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        EXPECT_GT(out[i].position.z, kRasterNear) << name;
        RasterVertex& v = snapped[size_t(i)];
        ASSERT_EQ(SnapCorner(out[i].position, projection, v.x, v.y, v.invZ), 0u) << name;
    }
    for (int32_t i = 1; i + 1 < count; ++i)
        FillTriangle(frame.Target(), snapped[0], snapped[size_t(i)], snapped[size_t(i) + 1],
                     Flat(7));
    std::vector<bool> unsure;
    const std::vector<uint32_t> expected = RayCast(t, projection, 7, unsure);
    int lit = 0, doubtful = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        lit += frame.pixels[i] != 0;
        doubtful += unsure[i];
        if (!unsure[i]) {
            EXPECT_EQ(frame.pixels[i], expected[i]) << name << " pixel " << i;
        }
    }
    EXPECT_GT(lit, 10) << name;
    EXPECT_LE(doubtful, 2) << name;
}

TEST(NearPlane, ClippedTriangleIsDrawnAsTheRayCasterSeesIt) {
    // A 16 x 12 frame with focal length 8: triangles with corners behind the camera and
    // just short of the near plane, and one reaching far beyond the guard band sideways.
    const RasterProjection projection{8.0, 8.0, 6.0, 16, 12};
    const struct {
        const char* name;
        ViewPoint t[3];
    } cases[] = {
        {"one corner behind", {{-1.1f, -0.9f, 2.0f}, {1.3f, -1.05f, 2.5f}, {0.2f, 1.4f, -2.0f}}},
        {"two corners behind", {{-0.7f, 0.9f, 3.0f}, {1.5f, 0.2f, -1.0f}, {-0.4f, -1.3f, -0.5f}}},
        {"two short of the near plane",
         {{-3.0f, -2.0f, 0.05f}, {3.1f, -1.7f, 0.05f}, {0.1f, 1.1f, 1.5f}}},
        {"beyond the guard band",
         {{-9000.0f, -0.3f, 1.0f}, {9000.0f, -0.9f, 1.0f}, {0.4f, 2.3f, 1.0f}}},
    };
    for (const auto& c : cases)
        ExpectClippedFillAsRayCast(c.t, projection, c.name);
    int32_t x, y;
    float invZ;
    EXPECT_EQ(SnapCorner(cases[0].t[2], projection, x, y, invZ), kCornerBehind);
    EXPECT_EQ(SnapCorner(cases[3].t[0], projection, x, y, invZ), kCornerOutside);

    // Wholly behind, or with a corner that is not finite: nothing is left.
    ClipVertex behind[3];
    behind[0].position = {0, 0, -1};
    behind[1].position = {1, 0, 0.1f};
    behind[2].position = {0, 1, -3};
    ClipVertex out[kMaxClipVertices];
    bool own[kMaxClipVertices];
    EXPECT_EQ(ClipTriangle(behind, 0, projection, out, own), 0);
    behind[0].position = {NAN, 0, 5};
    behind[1].position = {1, 0, 5};
    behind[2].position = {0, 1, 5};
    EXPECT_EQ(ClipTriangle(behind, 0, projection, out, own), 0);
}

TEST(DepthTestedLine, SetsTheStepperPixelsNotBehindTheDepth) {
    // On an empty depth the line sets exactly DrawLine's pixels, drawn whole or in four
    // rectangles, and from snapped corners as from their line ends; behind a near square it
    // is hidden there.
    SetProjection(40, 30);
    const ScreenPoint ends[][2] = {{{2.7f, 3.2f}, {37.1f, 25.9f}},
                                   {{30.5f, 1.0f}, {4.2f, 28.6f}},
                                   {{0.0f, 5.0f}, {39.9f, 5.0f}},
                                   {{-20.0f, -4.0f}, {60.0f, 40.0f}},
                                   // one step: the start alone, where it is inside
                                   {{10.3f, 5.7f}, {11.2f, 5.1f}},
                                   {{0.5f, 3.0f}, {1.5f, 3.0f}},
                                   {{39.2f, 29.5f}, {40.5f, 30.9f}},
                                   {{7.9f, 29.2f}, {7.1f, 28.0f}}};
    for (const auto& e : ends) {
        std::vector<uint32_t> expected(40 * 30, 0);
        DrawLine(e[0], e[1], expected.data());
        SmallFrame whole(40, 30), parts(40, 30);
        const LinePoint a{e[0].x, e[0].y, 1.0f}, b{e[1].x, e[1].y, 1.0f};
        DrawDepthTestedLine(whole.Target(), a, b, kLineColour);
        for (const auto& r : {std::array<int32_t, 4>{0, 0, 17, 11},
                              {17, 0, 40, 11},
                              {0, 11, 17, 30},
                              {17, 11, 40, 30}})
            DrawDepthTestedLine(parts.Rect(r[0], r[1], r[2], r[3]), a, b, kLineColour);
        EXPECT_EQ(whole.pixels, expected);
        EXPECT_EQ(parts.pixels, expected);
    }
    // Between snapped corners, as from their line ends (negative positions included).
    std::mt19937 random(3);
    std::uniform_real_distribution<double> position(-30.0, 70.0);
    for (int i = 0; i < 50; ++i) {
        const RasterVertex a = At(position(random), position(random), 2.0f);
        const RasterVertex b = At(position(random), position(random), 3.0f);
        SmallFrame edge(40, 30), line(40, 30);
        DrawDepthTestedEdge(edge.Target(), a, b, kLineColour);
        DrawDepthTestedLine(line.Target(), LinePointOf(a), LinePointOf(b), kLineColour);
        EXPECT_EQ(edge.pixels, line.pixels) << i;
        EXPECT_EQ(edge.depth, line.depth) << i;
    }
    SmallFrame frame(40, 30);
    const RasterVertex s0 = At(10, 0, 0.5f), s1 = At(20, 0, 0.5f), s2 = At(20, 30, 0.5f),
                       s3 = At(10, 30, 0.5f);
    FillTriangle(frame.Target(), s0, s1, s2, Flat(0));
    FillTriangle(frame.Target(), s0, s2, s3, Flat(0));
    DrawDepthTestedLine(frame.Target(), {0.5f, 15.0f, 1.0f}, {39.5f, 15.0f, 1.0f}, kLineColour);
    for (int32_t x = 1; x < 39; ++x)
        EXPECT_EQ(frame.At(x, 15), x >= 10 && x < 20 ? 0u : kLineColour) << x;
}

}  // namespace
