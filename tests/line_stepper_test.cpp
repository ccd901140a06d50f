// The bounded line stepper against a plain step-by-step walk: the minor-axis jump on its
// own, and whole lines drawn into frames, with ends near, across and far outside the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "render/line_stepper.h"
#include "render/wireframe.h"

namespace {

// Under sanitizers and without optimisation the plain walk is slow; keep the suite fast.
#ifdef NDEBUG
constexpr int64_t kMaxReferenceSteps = 20'000'000;
constexpr int64_t kStepBudget = 400'000'000;
constexpr int64_t kMaxLines = 30'000;
#else
constexpr int64_t kMaxReferenceSteps = 3'000'000;
constexpr int64_t kStepBudget = 60'000'000;
constexpr int64_t kMaxLines = 10'000;
#endif

// --- The plain walk, written straight from the definition ------------------------------

int64_t Truncate(float value) {
    const double v = std::clamp(static_cast<double>(value), -2147483648.0, 2147483647.0);
    return static_cast<int64_t>(std::trunc(v));
}

struct Walk {
    int64_t xs, ys, dx, dy, n;
};

Walk Measure(ScreenPoint start, ScreenPoint end) {
    Walk w{};
    w.xs = Truncate(start.x);
    w.ys = Truncate(start.y);
    w.dx = w.xs - Truncate(end.x);
    w.dy = w.ys - Truncate(end.y);
    w.n = std::max(std::llabs(w.dx), std::llabs(w.dy));
    return w;
}

// Every one of the n steps, tested and (when inside) written, one at a time.
void ReferenceLine(ScreenPoint start, ScreenPoint end, int32_t width, int32_t height,
                   uint32_t* pixels) {
    if (std::isnan(start.x) || std::isnan(start.y) || std::isnan(end.x) || std::isnan(end.y)) {
        return;
    }
    const Walk w = Measure(start, end);
    if (w.n == 0) return;
    const float incX = static_cast<float>(static_cast<double>(w.dx) / static_cast<double>(w.n));
    const float incY = static_cast<float>(static_cast<double>(w.dy) / static_cast<double>(w.n));
    double x = static_cast<double>(w.xs);
    double y = static_cast<double>(w.ys);
    for (int64_t i = 0; i < w.n; ++i) {
        if (0 < x && x < width && 0 < y && y < height) {
            pixels[width * static_cast<int64_t>(y) + static_cast<int64_t>(x)] = kLineColour;
        }
        x -= static_cast<double>(incX);
        y -= static_cast<double>(incY);
    }
}

// --- Random inputs ----------------------------------------------------------------------

struct Random {
    std::mt19937_64 engine;
    explicit Random(uint64_t seed) : engine(seed) {}
    double Uniform(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(engine);
    }
    int64_t Integer(int64_t lo, int64_t hi) {
        return std::uniform_int_distribution<int64_t>(lo, hi)(engine);
    }
    bool Coin() { return Integer(0, 1) == 1; }
    double Sign() { return Coin() ? 1.0 : -1.0; }
    // A magnitude spread evenly over the decades from 10^lo to 10^hi.
    double Decades(double lo, double hi) { return std::pow(10.0, Uniform(lo, hi)); }
};

float F(double value) {
    return static_cast<float>(value);
}

// Lines of several kinds: near the frame; one end far away (often beyond the 32-bit range);
// both ends far away on a line through the frame; long lines with tiny slopes; integer
// ends on and around the frame's edges.
void RandomLine(Random& r, int32_t w, int32_t h, ScreenPoint& start, ScreenPoint& end) {
    const double cx = r.Uniform(-2, w + 2), cy = r.Uniform(-2, h + 2);
    const double reach = static_cast<double>(r.Integer(3, 12));  // most lines stay short
    const double angle = r.Uniform(0, 6.283185307179586);
    const double ux = std::cos(angle), uy = std::sin(angle);
    switch (r.Integer(0, 6)) {
        case 0:
            start = {F(r.Uniform(-40, w + 40)), F(r.Uniform(-40, h + 40))};
            end = {F(r.Uniform(-40, w + 40)), F(r.Uniform(-40, h + 40))};
            break;
        case 1: {
            const double far = r.Decades(2, reach);
            start = {F(cx), F(cy)};
            end = {F(cx + ux * far), F(cy + uy * far)};
            break;
        }
        case 2: {
            const double a = r.Decades(2, reach), b = r.Decades(1, reach);
            start = {F(cx - ux * a), F(cy - uy * a)};
            end = {F(cx + ux * b), F(cy + uy * b)};
            break;
        }
        case 3: {
            // Along x (or y) for up to 10^7 pixels, drifting a few pixels on the other axis.
            const double a = r.Decades(2, std::min(reach, 7.0)), b = r.Decades(0, 7);
            const double drift = static_cast<double>(r.Integer(-3, 3)) + r.Uniform(0, 1);
            if (r.Coin()) {
                start = {F(cx - r.Sign() * a), F(cy)};
                end = {F(cx + r.Sign() * b), F(cy + drift)};
            } else {
                start = {F(cx), F(cy - r.Sign() * a)};
                end = {F(cx + drift), F(cy + r.Sign() * b)};
            }
            break;
        }
        case 4: {
            const auto edge = [&r](int32_t size) {
                const int64_t picks[] = {-1, 0, 1, size - 1, size, size + 1};
                return static_cast<float>(picks[r.Integer(0, 5)] + r.Integer(-2, 2));
            };
            start = {edge(w), edge(h)};
            end = {edge(w), edge(h)};
            break;
        }
        case 5: {
            // Integer ends 2 or 4 rows (or columns) apart with the line's middle in the
            // frame: the shorter-axis position crosses a whole row inside the frame after
            // half the walk, where the rounding of every step has added up most.
            const int64_t half = static_cast<int64_t>(r.Decades(2, std::min(reach, 7.0)));
            const int64_t across = r.Coin() ? 2 : 4;
            const auto mid = [&r](int32_t size) { return r.Integer(0, size); };
            if (r.Coin()) {
                const int64_t x = mid(w), y = r.Integer(-2, h + 2);
                start = {F(static_cast<double>(x - half)), F(static_cast<double>(y))};
                end = {F(static_cast<double>(x + half)), F(static_cast<double>(y + across))};
            } else {
                const int64_t x = r.Integer(-2, w + 2), y = mid(h);
                start = {F(static_cast<double>(x)), F(static_cast<double>(y - half))};
                end = {F(static_cast<double>(x + across)), F(static_cast<double>(y + half))};
            }
            break;
        }
        default: {
            // A far end that keeps the line steep or shallow through the frame.
            const double far = r.Decades(3, reach);
            start = {F(cx), F(cy)};
            end = r.Coin() ? ScreenPoint{F(cx + r.Sign() * far), F(cy + r.Uniform(-400, 400))}
                           : ScreenPoint{F(cx + r.Uniform(-400, 400)), F(cy + r.Sign() * far)};
            break;
        }
    }
    if (r.Coin()) std::swap(start, end);
}

struct SweepResult {
    int64_t lines = 0;      // lines compared
    int64_t longLines = 0;  // ... of which over 10^4 steps and drawing something
    int64_t steps = 0;      // plain-walk steps taken
};

// Compares DrawLine with the plain walk on `lines` random lines, skipping lines longer
// than `maxSteps` and, once `budget` steps of lines over 10^4 steps have been walked, any
// further long ones. Stops at the first mismatch.
SweepResult CompareRandomLines(uint64_t seed, int32_t w, int32_t h, int64_t budget, int64_t lines,
                               int64_t maxSteps) {
    SetProjection(w, h);
    Random r(seed);
    // One block holds the three frames: expected, actual and a blank one.
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    std::vector<uint32_t> frames(3 * count, 0u);
    uint32_t* const expected = frames.data();
    uint32_t* const actual = expected + count;
    const uint32_t* const blank = actual + count;
    const size_t bytes = count * sizeof(uint32_t);
    SweepResult result;
    int64_t longSteps = 0;
    while (result.lines < lines) {
        ScreenPoint start{}, end{};
        RandomLine(r, w, h, start, end);
        const Walk walk = Measure(start, end);
        if (walk.n > maxSteps) continue;
        if (walk.n > 10'000) {
            if (longSteps + walk.n > budget) continue;
            longSteps += walk.n;
        }
        std::memset(expected, 0, bytes);
        std::memset(actual, 0, bytes);
        ReferenceLine(start, end, w, h, expected);
        DrawLine(start, end, actual);
        ++result.lines;
        result.steps += walk.n + 1;
        if (walk.n > 10'000 && std::memcmp(expected, blank, bytes) != 0) {
            ++result.longLines;
        }
        if (std::memcmp(expected, actual, bytes) != 0) {
            ADD_FAILURE() << "frame " << w << "x" << h << ", line (" << std::hexfloat << start.x
                          << ", " << start.y << ") to (" << end.x << ", " << end.y << ")";
            break;
        }
    }
    return result;
}

TEST(LineStepper, MatchesThePlainWalkOnRandomLines) {
    struct Case {
        uint64_t seed;
        int32_t width, height;
        int64_t budget, lines;
    };
    const Case cases[] = {
        {1, 640, 480, kStepBudget, kMaxLines},
        {2, 17, 9, kStepBudget / 4, kMaxLines / 2},  // small frame: edges dominate
    };
    for (const Case& c : cases) {
        const SweepResult result =
            CompareRandomLines(c.seed, c.width, c.height, c.budget, c.lines, kMaxReferenceSteps);
        std::printf("%dx%d: %" PRId64 " lines, %" PRId64 " long drawn, %" PRId64 " steps\n",
                    c.width, c.height, result.lines, result.longLines, result.steps);
        // The sweep must include long lines that reach the frame, not just short ones.
        EXPECT_GT(result.longLines, 20) << c.width << "x" << c.height;
    }
}

// A longer sweep for manual runs in the release build, with lines of up to 2 * 10^7 steps
// and a few that run the whole clamped 32-bit range (about 4.3 * 10^9 steps each):
//   core_tests --gtest_also_run_disabled_tests --gtest_filter='*ManyLongLines*'
TEST(LineStepper, DISABLED_MatchesThePlainWalkOnManyLongLines) {
    const SweepResult result = CompareRandomLines(7, 640, 480, 20'000'000'000, 200'000, 20'000'000);
    std::printf("%" PRId64 " lines, %" PRId64 " long drawn, %" PRId64 " steps\n", result.lines,
                result.longLines, result.steps);
    const float inf = INFINITY;
    const ScreenPoint ends[][2] = {
        {{-inf, 240}, {inf, 250}},
        {{inf, 0}, {-inf, 479}},
        {{1e20f, 100}, {-3e9f, 101}},
        {{100, -inf}, {130, inf}},
    };
    SetProjection(640, 480);
    for (const auto& line : ends) {
        std::vector<uint32_t> expected(640 * 480, 0), actual(640 * 480, 0);
        ReferenceLine(line[0], line[1], 640, 480, expected.data());
        DrawLine(line[0], line[1], actual.data());
        EXPECT_TRUE(expected == actual)
            << line[0].x << "," << line[0].y << " to " << line[1].x << "," << line[1].y;
    }
}

TEST(LineStepper, MatchesThePlainWalkOnChosenLongLines) {
    // Long lines whose shorter-axis position is rounded at every step.
    struct Case {
        ScreenPoint start, end;
    };
    const Case cases[] = {
        {{-1e7f, 240}, {1e7f, 241}},
        {{-1e7f + 320, 240}, {1e7f + 320, 242}},  // crosses row 241 mid-frame
        {{100, -9999760}, {102, 10000240}},       // crosses column 101 mid-frame
        {{1e7f, 240}, {-1e7f, 241}},
        {{-2e6f, 0.5f}, {2e6f, 479.5f}},
        {{320, -3e6f}, {321, 3e6f}},
        {{-1048576, 100}, {1048576, 101}},  // the increment has few bits: exact ties
        {{639, 479}, {-2e6f, -1}},
    };
    SetProjection(640, 480);
    for (const Case& c : cases) {
        std::vector<uint32_t> expected(640 * 480, 0), actual(640 * 480, 0);
        ReferenceLine(c.start, c.end, 640, 480, expected.data());
        DrawLine(c.start, c.end, actual.data());
        EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](uint32_t p) { return p; }));
        EXPECT_TRUE(expected == actual)
            << c.start.x << "," << c.start.y << " to " << c.end.x << "," << c.end.y;
    }
}

TEST(LineStepper, FaceWithACornerJustPastTheNearLimitDrawsThePlainWalkOfItsEdges) {
    // View space is object space. The far corner lands millions of pixels away; the face's
    // three edges are exactly the plain walks between its projected corners.
    struct Case {
        Vertex corners[3];
    };
    const float near = 0.1000001f;
    const Case cases[] = {
        {{{0, 0, 10, 0, 0, 0, 0, 0}, {5, 0, 10, 0, 0, 0, 0, 0}, {-1000, 750, near, 0, 0, 0, 0, 0}}},
        {{{-1000, 7, near, 0, 0, 0, 0, 0},
          {1000, -7, near, 0, 0, 0, 0, 0},
          {0, 1, 10, 0, 0, 0, 0, 0}}},
    };
    SetProjection(640, 480);
    Matrix4 identity;
    MatrixIdentity(identity);
    for (const Case& c : cases) {
        std::vector<Vertex> vertices(c.corners, c.corners + 3);
        Face face{-1, 0, &vertices[0], &vertices[1], &vertices[2], {0, 0, 0, 0}};
        MeshObject object{};
        object.vertexCount = 3;
        object.vertices = vertices.data();
        object.faceCount = 1;
        object.faces = &face;
        ScreenPoint slot[3];
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(ProjectCorner(identity, vertices[k], slot[k]));
        std::vector<uint32_t> expected(640 * 480, 0), actual(640 * 480, 0);
        ReferenceLine(slot[0], slot[1], 640, 480, expected.data());
        ReferenceLine(slot[2], slot[1], 640, 480, expected.data());
        ReferenceLine(slot[0], slot[2], 640, 480, expected.data());
        RenderObject(identity, identity, object, actual.data());
        EXPECT_TRUE(expected == actual) << c.corners[0].x;
        // The far edges reach the frame: more than the short edge's few pixels are lit.
        EXPECT_GT(std::count(expected.begin(), expected.end(), kLineColour), 200);
    }
}

// --- The minor-axis jump ----------------------------------------------------------------

// The size of one grid step of doubles around |y|.
double GridOf(double y) {
    int exponent = 0;
    std::frexp(y, &exponent);
    return std::ldexp(1.0, exponent - 53);
}

struct JumpCase {
    double start;
    float increment;
    int64_t steps;
};

// Walks `steps` plain steps and checks the jump against it at every early step and at
// random later ones. Returns false at the first mismatch.
bool CheckJump(const JumpCase& c, Random& r, int checkpoints) {
    std::vector<int64_t> at;
    for (int64_t j = 0; j <= std::min<int64_t>(c.steps, 64); ++j)
        at.push_back(j);
    for (int i = 0; i < checkpoints; ++i)
        at.push_back(r.Integer(0, c.steps));
    at.push_back(c.steps);
    std::sort(at.begin(), at.end());
    double y = c.start;
    int64_t j = 0;
    for (const int64_t target : at) {
        for (; j < target; ++j)
            y -= static_cast<double>(c.increment);
        const double jumped = AdvanceMinorAxis(c.start, c.increment, static_cast<uint64_t>(j));
        if (std::memcmp(&jumped, &y, sizeof y) != 0) {
            ADD_FAILURE() << std::hexfloat << "start " << c.start << ", increment " << c.increment
                          << ", after " << std::dec << j << " steps: walk " << std::hexfloat << y
                          << ", jump " << jumped;
            return false;
        }
    }
    return true;
}

TEST(LineStepper, JumpMatchesThePlainWalkOnChosenCases) {
    const double u30 = GridOf(std::ldexp(1.0, 30));  // grid of [2^30, 2^31)
    const double u8 = GridOf(300.0);                 // grid of [256, 512)
    const JumpCase cases[] = {
        {240, F(-1.0 / 2e7), 20'000'000},       // rounds every step, stays in one binade
        {1000, 1e-4f, 20'000'000},              // crosses every binade down to 0 and past it
        {-700, -3e-5f, 20'000'000},             // the mirror image
        {2147483647.0, 1e-7f, 1'000'000},       // below half a grid step: never moves
        {1073741824.0, F(u30 / 2), 1'000'000},  // exact tie from an even multiple: stays
        {1073741824.0 + u30, F(u30 / 2),
         1'000'000},  // tie from an odd multiple: one step, then stays
        {1073741824.0 + u30, F(3 * u30 / 2), 1'000'000},  // ties that move two grid steps at a time
        {300.0 + u8, F(5 * u8 / 2), 3'000'000},           // ties near the frame, down across 256
        {256.0, F(u8 / 4), 1'000'000},  // a tie on the finer grid below: stuck at 256
        {256.0, F(u8 / 3), 1'000'000},  // the finer grid below moves it
        {0.0, 1e-9f, 1'000'000},        // starting at zero
        {-1.0, -1.0f, 100'000},         // exact whole steps across zero
        {5.0, 0.0f, 1000},
    };
    Random r(11);
    for (const JumpCase& c : cases)
        EXPECT_TRUE(CheckJump(c, r, 300));
}

TEST(LineStepper, JumpCoversHugeStepCountsAtOnce) {
    // Cases whose result is known without walking: an exact progression and a walk that
    // never moves. Without the jump each would take hours.
    struct Case {
        double start;
        float increment;
        uint64_t steps;
        double expected;
    };
    const Case cases[] = {
        {0.5, -0x1p-20f, uint64_t{1} << 40, 0.5 + 0x1p20},
        {-0.5, 0x1p-20f, uint64_t{1} << 40, -0.5 - 0x1p20},
        {2147483647.0, 1e-7f, uint64_t{1} << 62, 2147483647.0},
        {0.0, 0.0f, uint64_t{1} << 62, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AdvanceMinorAxis(c.start, c.increment, c.steps), c.expected) << c.start;
    }
}

TEST(LineStepper, JumpMatchesThePlainWalkOnRandomCases) {
#ifdef NDEBUG
    constexpr int kTrials = 20'000;
#else
    constexpr int kTrials = 3'000;
#endif
    Random r(5);
    int failures = 0;
    for (int trial = 0; trial < kTrials && failures == 0; ++trial) {
        JumpCase c{};
        switch (r.Integer(0, 3)) {
            case 0:
                c.start = static_cast<double>(r.Integer(INT32_MIN, INT32_MAX));
                break;
            case 1:
                c.start = static_cast<double>(r.Integer(-1000, 1000));
                break;
            case 2:
                c.start =
                    r.Sign() * std::ldexp(r.Uniform(1, 2), static_cast<int>(r.Integer(-30, 31)));
                break;
            default: {
                // A few grid steps either side of a power of two.
                const double edge =
                    r.Sign() * std::ldexp(1.0, static_cast<int>(r.Integer(-10, 31)));
                c.start = edge + static_cast<double>(r.Integer(-8, 8)) * GridOf(edge);
                break;
            }
        }
        const double u = GridOf(c.start == 0 ? 1.0 : c.start);
        switch (r.Integer(0, 4)) {
            case 0: {
                // A line's increment: dy / n with |dy| < n.
                const int64_t n = r.Integer(2, int64_t{1} << r.Integer(2, 32));
                c.increment =
                    F(static_cast<double>(r.Integer(-n + 1, n - 1)) / static_cast<double>(n));
                break;
            }
            case 1:
                c.increment =
                    F(r.Sign() * std::ldexp(r.Uniform(1, 2), static_cast<int>(r.Integer(-33, -1))));
                break;
            case 2: {
                // An exact tie in the start's binade or the one below or above.
                const double grid = std::ldexp(u, static_cast<int>(r.Integer(-1, 1)));
                c.increment =
                    F(r.Sign() * static_cast<double>(2 * r.Integer(0, 1 << 20) + 1) * grid / 2);
                break;
            }
            case 3:
                c.increment = F(r.Sign() * static_cast<double>(r.Integer(0, 1 << 22)) * u);
                break;
            default:
                c.increment = F(r.Sign() * r.Uniform(0, 0.5) * u);
                break;
        }
        c.steps = r.Integer(0, r.Coin() ? 2'000 : 50'000);
        if (!CheckJump(c, r, 40)) ++failures;
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
