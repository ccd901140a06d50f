// Projection parameters, the facing test, corner projection and the line stepper.
//
// Precision: the facing value s, the view depth zv and the projection are computed in
// double; xv and yv are rounded to single floats before they are projected; the screen
// slots are single floats. The stepper keeps its position in double and subtracts
// single-float increments, and every pixel it sets goes through PutPixel, which holds
// the bounds test.
#include "render/wireframe.h"

#include <atomic>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstddef>

#include "render/frame_stop.h"
#include "render/line_stepper.h"

namespace {

struct RenderState {
    int32_t renderWidth = 0;   // frame width, also the row length in pixels
    int32_t renderHeight = 0;  // frame height
    float focalScale = 0.0f;   // projection scale in pixels
};

RenderState state;

// Half the horizontal field of view, a hair below pi / 4.
constexpr double kHalfFieldOfView = 0.7853981633949733;

// A double rounded to the nearest float, overflowing to an infinity as IEEE rounding does
// (a plain conversion of an out-of-range double is undefined behaviour in C++).
float ToFloat(double value) {
    if (std::fabs(value) <= static_cast<double>(FLT_MAX)) return static_cast<float>(value);
    if (std::isnan(value)) return NAN;
    // Halfway between FLT_MAX and 2^128 the tie goes to the even neighbour, 2^128 (infinity).
    const double halfway = 0x1.ffffffp127;
    const float magnitude = std::fabs(value) < halfway ? FLT_MAX : INFINITY;
    return value < 0.0 ? -magnitude : magnitude;
}

// The frame as the stepper sees it, copied from the module state once per line so that
// the pixel stores, which could alias the state, do not force it to be reloaded.
struct FrameView {
    uint32_t* pixels;
    double width, height;
    size_t rowLength;
};

static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);

// The one place where the renderer writes a pixel. The test is strict and on the
// unrounded coordinates: a point with x or y exactly 0, or at the width or height, is
// outside. The store is a relaxed atomic one (a plain store on the processors we build
// for), so that threads drawing lines into one frame never race.
inline void PutPixel(const FrameView& frame, double x, double y) {
    if (0.0 < x && x < frame.width && 0.0 < y && y < frame.height) {
        const size_t row = static_cast<size_t>(static_cast<int32_t>(y));
        const size_t column = static_cast<size_t>(static_cast<int32_t>(x));
        std::atomic_ref<uint32_t>(frame.pixels[row * frame.rowLength + column])
            .store(kLineColour, std::memory_order_relaxed);
    }
}

// The steps k in [0, n - 1] of a walk along the longer axis, start - k * direction, that
// land strictly inside (0, limit). The longer-axis coordinate is an exact integer, so
// that means 1 <= start - k * direction <= limit - 1. False when there are none.
bool VisibleSteps(int64_t start, int64_t direction, int64_t n, int64_t limit, int64_t& first,
                  int64_t& last) {
    int64_t lo, hi;
    if (direction > 0) {
        lo = start - (limit - 1);
        hi = start - 1;
    } else {
        lo = 1 - start;
        hi = (limit - 1) - start;
    }
    first = lo > 0 ? lo : 0;
    last = hi < n - 1 ? hi : n - 1;
    return first <= last;
}

}  // namespace

void SetProjection(int32_t width, int32_t height) {
    state.renderWidth = width;
    state.renderHeight = height;
    state.focalScale =
        ToFloat(std::fabs(static_cast<double>(width) / (2.0 * std::tan(kHalfFieldOfView))));
}

void SetProjectionFieldOfView(int32_t width, int32_t height, double fieldOfView) {
    if (!(fieldOfView > 0.0 && fieldOfView < 3.14159)) {
        SetProjection(width, height);
        return;
    }
    state.renderWidth = width;
    state.renderHeight = height;
    state.focalScale =
        ToFloat(std::fabs(static_cast<double>(width) / (2.0 * std::tan(fieldOfView / 2.0))));
}

ProjectionParameters CurrentProjection() {
    return {state.renderWidth, state.renderHeight, state.focalScale};
}

bool ProjectCorner(const Matrix4& view, const Vertex& vertex, ScreenPoint& slot) {
    const double x = static_cast<double>(vertex.x);
    const double y = static_cast<double>(vertex.y);
    const double z = static_cast<double>(vertex.z);
    const auto v = [&view](int i) { return static_cast<double>(view[i]); };
    const float xv = ToFloat(x * v(0) + y * v(4) + z * v(8) + v(12));
    const float yv = ToFloat(x * v(1) + y * v(5) + z * v(9) + v(13));
    const double zv = x * v(2) + y * v(6) + z * v(10) + v(14);
    if (!(zv > kNearLimit)) return false;
    const double scale = static_cast<double>(state.focalScale);
    const double halfWidth = static_cast<double>(state.renderWidth / 2);
    const double halfHeight = static_cast<double>(state.renderHeight / 2);
    slot.x = ToFloat(static_cast<double>(xv) * scale / zv + halfWidth);
    slot.y = ToFloat(static_cast<double>(yv) * scale / zv + halfHeight);
    return true;
}

double AdvanceMinorAxis(double y, float increment, uint64_t steps) {
    const double inc = static_cast<double>(increment);
    // Each pass either jumps along an arithmetic progression inside one binade of |y| or
    // takes one plain step. The walk is monotone, so it meets each binade at most once and
    // takes only a few plain steps in each (a tie from an odd multiple, the last steps
    // before a boundary, the step across it); a plain step that leaves y unchanged has
    // reached a fixed point, where the walk stays for good.
    while (steps > 0) {
        bool plainStep = true;
        double next = 0.0;
        uint64_t taken = 1;
        // Jumps need a finite increment and a normal y (the grid below is that of normal
        // doubles); the stepper's y is a multiple of its float increment's last bit, so it
        // is zero or at least 2^-56 in size.
        if (std::fabs(y) >= 0x1p-1000 && std::isfinite(y) && std::isfinite(inc)) {
            // Work on the magnitude: rounding to nearest is symmetric, so for negative y
            // the walk is the mirror of a walk of |y| with the increment negated.
            const double sign = y < 0.0 ? -1.0 : 1.0;
            const double magnitude = y * sign;
            const double step = inc * sign;
            int exponent = 0;
            std::frexp(magnitude, &exponent);  // magnitude in [2^(exponent-1), 2^exponent)
            const double lo = std::ldexp(1.0, exponent - 1);
            const double hi = std::ldexp(1.0, exponent);
            // While each exact difference magnitude - step lies strictly between lo and hi
            // it is rounded to the grid u = 2^(exponent - 53), so every step subtracts
            // step / u rounded to a whole number k of grid units. A rounded difference
            // strictly inside (lo, hi) was strictly inside before rounding, since rounding
            // is monotone and lo and hi are representable.
            const double first = magnitude - step;
            if (lo < first && first < hi) {
                const double units = std::ldexp(step, 53 - exponent);  // step / u, exact
                const double whole = std::floor(units);
                const double fraction = units - whole;
                double k = -1.0;
                bool steady = true;
                if (fraction == 0.0) {
                    k = units;
                } else if (fraction < 0.5) {
                    k = whole;
                } else if (fraction > 0.5) {
                    k = whole + 1.0;
                } else {
                    // An exact tie goes to the even multiple of u. From an odd multiple
                    // take one plain step; from an even one the choice keeps the parity
                    // even, so k is the same at every step.
                    const double m = std::ldexp(magnitude, 53 - exponent);
                    steady = std::fmod(m, 2.0) == 0.0;
                    k = std::fmod(whole, 2.0) == 0.0 ? whole : whole + 1.0;
                }
                const double d = std::ldexp(k, exponent - 53);
                if (steady && d == 0.0) return y;  // every difference rounds back to y
                if (steady) {
                    // The largest count t whose differences all stay inside (lo, hi),
                    // estimated with a margin and then checked on the last one.
                    const double room = d > 0.0 ? (first - lo) / d : (hi - first) / -d;
                    const double limit = std::floor(room) - 1.0;
                    if (limit >= 1.0) {
                        const uint64_t t = limit >= static_cast<double>(steps)
                                               ? steps
                                               : static_cast<uint64_t>(limit);
                        const double last = (magnitude - static_cast<double>(t - 1) * d) - step;
                        if (lo < last && last < hi) {
                            plainStep = false;
                            next = sign * (magnitude - static_cast<double>(t) * d);
                            taken = t;
                        }
                    }
                }
            }
        }
        if (plainStep) {
            next = y - inc;
            // A fixed point (NaN and infinities included) ends the walk early.
            if (next == y || (std::isnan(next) && std::isnan(y))) return y;
        }
        y = next;
        steps -= taken;
    }
    return y;
}

void DrawLine(ScreenPoint start, ScreenPoint end, uint32_t* pixels) {
    if (std::isnan(start.x) || std::isnan(start.y) || std::isnan(end.x) || std::isnan(end.y)) {
        return;
    }
    DrawLineBetween(ScreenToInt(start.x), ScreenToInt(start.y), ScreenToInt(end.x),
                    ScreenToInt(end.y), pixels);
}

void DrawLineBetween(int32_t startX, int32_t startY, int32_t endX, int32_t endY, uint32_t* pixels) {
    const int64_t xs = startX;
    const int64_t ys = startY;
    const int64_t xe = endX;
    const int64_t ye = endY;
    const int64_t dx = xs - xe;  // 64 bits: the 32-bit extremes cannot overflow
    const int64_t dy = ys - ye;
    const int64_t absDx = dx < 0 ? -dx : dx;
    const int64_t absDy = dy < 0 ? -dy : dy;
    const int64_t n = absDx >= absDy ? absDx : absDy;
    if (n == 0) return;
    // The increments are the exact quotients dx / n and dy / n rounded to single floats;
    // along the longer axis that is exactly +1 or -1, so that coordinate stays an exact
    // integer and only the other quotient needs a division.
    const auto quotient = [n](int64_t d) {
        return static_cast<float>(static_cast<double>(d) / static_cast<double>(n));
    };
    const bool alongX = absDx >= absDy;
    const float incX = alongX ? (dx > 0 ? 1.0f : -1.0f) : quotient(dx);
    const float incY = alongX ? quotient(dy) : (dy > 0 ? 1.0f : -1.0f);
    const double stepX = static_cast<double>(incX);
    const double stepY = static_cast<double>(incY);

    int64_t first, last;
    double x, y;
    if (alongX) {
        const int64_t direction = dx > 0 ? 1 : -1;
        if (!VisibleSteps(xs, direction, n, state.renderWidth, first, last)) return;
        x = static_cast<double>(xs - first * direction);
        y = static_cast<double>(ys);
        if (first > 0) y = AdvanceMinorAxis(y, incY, static_cast<uint64_t>(first));
    } else {
        const int64_t direction = dy > 0 ? 1 : -1;
        if (!VisibleSteps(ys, direction, n, state.renderHeight, first, last)) return;
        x = static_cast<double>(xs);
        if (first > 0) x = AdvanceMinorAxis(x, incX, static_cast<uint64_t>(first));
        y = static_cast<double>(ys - first * direction);
    }
    const FrameView frame{pixels, static_cast<double>(state.renderWidth),
                          static_cast<double>(state.renderHeight),
                          static_cast<size_t>(state.renderWidth)};
    for (int64_t k = first; k <= last; ++k) {
        PutPixel(frame, x, y);
        x -= stepX;
        y -= stepY;
    }
}

void RenderObject(const Matrix4& objectMatrix, const Matrix4& cameraMatrix,
                  const MeshObject& object, uint32_t* pixels) {
    // V = objectMatrix * inverse(cameraMatrix) takes object space to view space; the
    // translation row of its inverse is the camera position in object space.
    Matrix4 view;
    MatrixInverse(cameraMatrix, view);
    MatrixMultiply(view, objectMatrix, view);
    Matrix4 viewToObject;
    MatrixInverse(view, viewToObject);
    const double ex = static_cast<double>(viewToObject[12]);
    const double ey = static_cast<double>(viewToObject[13]);
    const double ez = static_cast<double>(viewToObject[14]);

    if (object.faces == nullptr) return;
    for (int32_t i = 0; i < object.faceCount; ++i) {
        // A frame asked to stop (frame_stop.h) leaves a large mesh part drawn.
        if ((i & 4095) == 4095 && CheckFrameStop()) return;
        const Face& face = object.faces[i];
        // Facing test; a NaN value (a non-finite camera or plane) draws the face.
        const double s =
            static_cast<double>(face.plane[0]) * ex + static_cast<double>(face.plane[1]) * ey +
            static_cast<double>(face.plane[2]) * ez + static_cast<double>(face.plane[3]);
        if (s > kFacingLimit) continue;
        assert(face.vertex0 != nullptr && face.vertex1 != nullptr && face.vertex2 != nullptr);
        ScreenPoint slot[3];
        const bool projected[3] = {ProjectCorner(view, *face.vertex0, slot[0]),
                                   ProjectCorner(view, *face.vertex1, slot[1]),
                                   ProjectCorner(view, *face.vertex2, slot[2])};
        // Edges in the fixed order 0-1, 2-1, 0-2; an edge with an end at depth 0.1 or
        // nearer has no screen position and is left out.
        if (projected[0] && projected[1]) DrawLine(slot[0], slot[1], pixels);
        if (projected[2] && projected[1]) DrawLine(slot[2], slot[1], pixels);
        if (projected[0] && projected[2]) DrawLine(slot[0], slot[2], pixels);
    }
}
