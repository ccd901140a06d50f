// The fixed, fit and camera views over one orbit state.
//
// The fit: the scene turns about the vertical axis through its box's centre c, so a vertex
// at height h = y - cy and at horizontal distance rho from that axis sweeps a circle. The
// frame (less its margin) and the near limit are half-spaces n . v <= 0 of view space
// bounded by planes through the eye. Over a whole turn, the largest value that n . (p - c)
// takes on a vertex's circle is ny h + nh rho, where ny is the vertical part of n carried
// back to scene axes and nh the length of its horizontal part; so one pass over the
// vertices, keeping that maximum for each of the five planes, gives the nearest distance at
// which every vertex stays inside on every angle of the turn, perspective included.
#include "view/views.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kSpinStepAngle = 2.0 * kPi / 100.0;  // one turn per 100 ticks
constexpr double kFixedDistance = 150.0;
// The renderer leaves out corners at view depth 0.1 or nearer; the fit keeps every vertex
// at least twice that far.
constexpr double kRenderNearLimit = 0.1;
constexpr double kNearFactor = 2.0;
// View units across the scene: the unit scale takes the scene's size to about this.
constexpr double kViewUnitsAcross = 1000.0;
constexpr int kScaleExponentLimit = 40;
constexpr double kMinFieldOfView = 1e-4;
constexpr double kMaxFieldOfView = kPi * 179.0 / 180.0;

// A double rounded to the nearest float; beyond the float range an infinity of its sign
// (a plain conversion of an out-of-range double is undefined behaviour).
float RoundToFloat(double value) {
    if (std::fabs(value) <= static_cast<double>(FLT_MAX)) return static_cast<float>(value);
    if (std::isnan(value)) return NAN;
    return value < 0.0 ? -INFINITY : INFINITY;
}

using Matrix3 = double[3][3];

// out = a b (row-vector convention: a acts first).
void Multiply3(const Matrix3& a, const Matrix3& b, Matrix3& out) {
    Matrix3 t;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            t[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    std::memcpy(out, t, sizeof t);
}

// The rotations of MatrixRotateX/Y/Z, in double.
void RotationX(double angle, Matrix3& r) {
    const double c = std::cos(angle), s = std::sin(angle);
    const Matrix3 m = {{1.0, 0.0, 0.0}, {0.0, c, s}, {0.0, -s, c}};
    std::memcpy(r, m, sizeof m);
}
void RotationY(double angle, Matrix3& r) {
    const double c = std::cos(angle), s = std::sin(angle);
    const Matrix3 m = {{c, 0.0, -s}, {0.0, 1.0, 0.0}, {s, 0.0, c}};
    std::memcpy(r, m, sizeof m);
}
void RotationZ(double angle, Matrix3& r) {
    const double c = std::cos(angle), s = std::sin(angle);
    const Matrix3 m = {{c, s, 0.0}, {-s, c, 0.0}, {0.0, 0.0, 1.0}};
    std::memcpy(r, m, sizeof m);
}

// Scene axes to view axes: Ry(turn) Rz(pi) Rx(tilt) Rz(roll). Rz(pi) is written exactly.
void ViewRotation(double turn, double tilt, double roll, Matrix3& out) {
    Matrix3 y, x, z;
    RotationY(turn, y);
    for (int i = 0; i < 3; ++i) {  // Ry Rz(pi): the first two columns change sign
        y[i][0] = -y[i][0];
        y[i][1] = -y[i][1];
    }
    RotationX(tilt, x);
    RotationZ(roll, z);
    Multiply3(y, x, out);
    Multiply3(out, z, out);
}

// An angle reduced to [-pi, pi]; a non-finite one counts as 0.
double ReduceAngle(double angle) {
    if (!std::isfinite(angle)) return 0.0;
    return std::remainder(angle, 2.0 * kPi);
}

double SceneSize(const SceneBounds& b) {
    if (b.finiteCount == 0) return 0.0;
    const double dx = b.max[0] - b.min[0], dy = b.max[1] - b.min[1], dz = b.max[2] - b.min[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// A power of two taking the scene's size to about kViewUnitsAcross view units, within 2^+-40
// so that the rounded matrix and its determinant stay well inside the float range.
double UnitScaleFor(const SceneBounds& b) {
    const double size = SceneSize(b);
    if (!(size > 0.0) || !std::isfinite(size)) return 1.0;
    int exponent = static_cast<int>(std::lround(std::log2(kViewUnitsAcross / size)));
    if (exponent > kScaleExponentLimit) exponent = kScaleExponentLimit;
    if (exponent < -kScaleExponentLimit) exponent = -kScaleExponentLimit;
    return std::ldexp(1.0, exponent);
}

// A run of up to kBlockSize consecutive vertices of one mesh and the box of its finite
// positions. Vertices that lie next to each other in a mesh lie near each other in space,
// so most blocks are far inside the scene and the fit passes over them without looking at
// their vertices.
struct VertexBlock {
    const Vertex* vertices;
    int32_t count;
    bool allFinite;  // false: some vertex has a NaN or infinite coordinate
    float lo[3], hi[3];
};
constexpr int32_t kBlockSize = 128;
// A block no larger than this fraction of the scene's size along any axis is fitted by its
// box alone.
constexpr double kSmallBlock = 0.002;

// The blocks of the last scan, kept between fits (the fit is not per frame; the memory is
// reused).
struct ViewScratch {
    std::vector<VertexBlock> blocks;
};
ViewScratch scratch;

// Four floats at once, as the vertex's first four fields lie in memory (x, y, z, u).
using Float4 = float __attribute__((vector_size(16)));
using Mask4 = int32_t __attribute__((vector_size(16)));
static_assert(offsetof(Vertex, y) == 4 && offsetof(Vertex, z) == 8 && sizeof(Vertex) >= 16);

// Lane by lane, a where the mask is set, else b.
inline Float4 Select(Mask4 mask, Float4 a, Float4 b) {
    return std::bit_cast<Float4>((mask & std::bit_cast<Mask4>(a)) |
                                 (~mask & std::bit_cast<Mask4>(b)));
}

inline bool IsFinite(const Vertex& v) {
    // x - x is 0 exactly when x is finite.
    return (v.x - v.x) == 0.0f && (v.y - v.y) == 0.0f && (v.z - v.z) == 0.0f;
}

// The box of the finite positions of `count` vertices into `block`; the number of finite ones.
int32_t ScanBlock(const Vertex* vertices, int32_t count, VertexBlock& block) {
    // The fast way, four lanes (x, y, z and the unused texture u) at once: a NaN fails every
    // comparison, so it never becomes a bound, and it is noted; an infinity shows in the
    // bounds.
    Float4 low = {INFINITY, INFINITY, INFINITY, INFINITY};
    Float4 high = -low;
    Mask4 nanLanes = {};
    for (int32_t k = 0; k < count; ++k) {
        Float4 p;
        std::memcpy(&p, &vertices[k].x, sizeof p);
        nanLanes |= p != p;
        low = Select(p < low, p, low);
        high = Select(p > high, p, high);
    }
    float lo0 = low[0], lo1 = low[1], lo2 = low[2];
    float hi0 = high[0], hi1 = high[1], hi2 = high[2];
    const bool nan = (nanLanes[0] | nanLanes[1] | nanLanes[2]) != 0;
    int32_t finite = count;
    block.allFinite = !nan && lo0 - lo0 == 0.0f && lo1 - lo1 == 0.0f && lo2 - lo2 == 0.0f &&
                      hi0 - hi0 == 0.0f && hi1 - hi1 == 0.0f && hi2 - hi2 == 0.0f;
    if (!block.allFinite) {
        // Again, leaving out every vertex with a coordinate that is not finite.
        lo0 = lo1 = lo2 = INFINITY;
        hi0 = hi1 = hi2 = -INFINITY;
        finite = 0;
        for (int32_t k = 0; k < count; ++k) {
            const Vertex& v = vertices[k];
            if (!IsFinite(v)) continue;
            ++finite;
            lo0 = std::min(lo0, v.x);
            lo1 = std::min(lo1, v.y);
            lo2 = std::min(lo2, v.z);
            hi0 = std::max(hi0, v.x);
            hi1 = std::max(hi1, v.y);
            hi2 = std::max(hi2, v.z);
        }
    }
    block.vertices = vertices;
    block.count = count;
    block.lo[0] = lo0;
    block.lo[1] = lo1;
    block.lo[2] = lo2;
    block.hi[0] = hi0;
    block.hi[1] = hi1;
    block.hi[2] = hi2;
    return finite;
}

// One pass over the vertices: the scene's bounds, and with `blocks` the box of every block
// that holds a finite position.
SceneBounds ScanVertexBlocks(const Scene& scene, std::vector<VertexBlock>* blocks) {
    SceneBounds b;
    float lo[3] = {INFINITY, INFINITY, INFINITY};
    float hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    int64_t finite = 0, total = 0;
    if (blocks != nullptr) blocks->clear();
    for (int32_t i = 0; i < scene.objectCount; ++i) {
        const MeshObject& object = scene.objects[i];
        if (object.vertices == nullptr || object.vertexCount <= 0) continue;
        total += object.vertexCount;
        for (int32_t first = 0; first < object.vertexCount; first += kBlockSize) {
            VertexBlock block;
            const int32_t count = std::min(kBlockSize, object.vertexCount - first);
            const int32_t found = ScanBlock(object.vertices + first, count, block);
            if (found == 0) continue;
            finite += found;
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], block.lo[k]);
                hi[k] = std::max(hi[k], block.hi[k]);
            }
            if (blocks != nullptr) blocks->push_back(block);
        }
    }
    b.finiteCount = finite;
    b.nonFiniteCount = total - finite;
    if (finite > 0) {
        for (int i = 0; i < 3; ++i) {
            b.min[i] = static_cast<double>(lo[i]);
            b.max[i] = static_cast<double>(hi[i]);
        }
    }
    return b;
}

// A box in engine axes made the box of its points turned by SceneToWorld(FileY): y takes
// z's range, and z the negated range of y.
void WorldBox(double lo[3], double hi[3]) {
    const double loY = lo[1], hiY = hi[1];
    lo[1] = lo[2];
    hi[1] = hi[2];
    lo[2] = -hiY;
    hi[2] = -loY;
}

void WorldBlock(VertexBlock& block) {
    const float loY = block.lo[1], hiY = block.hi[1];
    block.lo[1] = block.lo[2];
    block.hi[1] = block.hi[2];
    block.lo[2] = -hiY;
    block.hi[2] = -loY;
}

// The planes of the fit: for each, the vertical part ny and horizontal length nh of its
// normal in scene axes, and the largest ny h + nh rho met so far.
struct FitPlanes {
    UpAxis up;
    double c[3];
    double ny[5], nh[5];
    double most[5];
};

// Every finite vertex of the block into the planes' maxima.
void FitBlockExactly(const VertexBlock& block, FitPlanes& f) {
    for (int32_t k = 0; k < block.count; ++k) {
        const Vertex& v = block.vertices[k];
        if (!block.allFinite && !IsFinite(v)) continue;
        double w[3] = {static_cast<double>(v.x), static_cast<double>(v.y),
                       static_cast<double>(v.z)};
        if (f.up != UpAxis::FileZ) SceneToWorld(f.up, w);
        const double dx = w[0] - f.c[0];
        const double h = w[1] - f.c[1];
        const double dz = w[2] - f.c[2];
        const double rho = std::sqrt(dx * dx + dz * dz);
        for (int p = 0; p < 5; ++p) {
            const double value = f.ny[p] * h + f.nh[p] * rho;
            f.most[p] = value > f.most[p] ? value : f.most[p];
        }
    }
}

// How far a block's box reaches from the turning axis: its greatest rho, and its lowest
// and highest h. ny h + nh rho cannot exceed max(ny h0, ny h1) + nh rho on the box (nh >= 0).
struct BlockReach {
    double rho, h0, h1;
};

BlockReach ReachOf(const VertexBlock& block, const FitPlanes& f) {
    const double x0 = static_cast<double>(block.lo[0]) - f.c[0];
    const double x1 = static_cast<double>(block.hi[0]) - f.c[0];
    const double z0 = static_cast<double>(block.lo[2]) - f.c[2];
    const double z1 = static_cast<double>(block.hi[2]) - f.c[2];
    return {std::sqrt(std::max(x0 * x0, x1 * x1) + std::max(z0 * z0, z1 * z1)),
            static_cast<double>(block.lo[1]) - f.c[1], static_cast<double>(block.hi[1]) - f.c[1]};
}

inline double Bound(const BlockReach& reach, const FitPlanes& f, int p) {
    return std::max(f.ny[p] * reach.h0, f.ny[p] * reach.h1) + f.nh[p] * reach.rho;
}

// Whether a block's bound may still beat a maximum (a hair of slack for the rounding of
// the two computations).
inline bool MayExceed(double bound, double most) {
    return bound + 1e-9 * std::fabs(bound) >= most;
}

// Whether a block's box is small beside the scene: its bound then stands in for its
// vertices, which overstates the planes' maxima by at most its size, a few thousandths of
// the scene's. The fit stays on the safe side and the vertices of most blocks are never
// read again.
inline bool IsSmallBlock(const VertexBlock& block, double smallSize) {
    const double dx = static_cast<double>(block.hi[0]) - static_cast<double>(block.lo[0]);
    const double dy = static_cast<double>(block.hi[1]) - static_cast<double>(block.lo[1]);
    const double dz = static_cast<double>(block.hi[2]) - static_cast<double>(block.lo[2]);
    return dx <= smallSize && dy <= smallSize && dz <= smallSize;
}

// Raises the planes' maxima to cover the block: with its bound when it is small, else
// vertex by vertex.
void FitBlock(const VertexBlock& block, const BlockReach& reach, double smallSize, FitPlanes& f) {
    if (!IsSmallBlock(block, smallSize)) {
        FitBlockExactly(block, f);
        return;
    }
    for (int p = 0; p < 5; ++p)
        f.most[p] = std::max(f.most[p], Bound(reach, f, p));
}

// The planes' maxima over every finite vertex, looking only at blocks that can raise one:
// first the block with the highest bound for each plane, which usually holds that plane's
// extreme vertex, then every block whose bound still lies above a maximum.
void FitAllBlocks(const std::vector<VertexBlock>& blocks, double smallSize, FitPlanes& f) {
    if (blocks.empty()) return;
    size_t best[5] = {0, 0, 0, 0, 0};
    double bestBound[5] = {-kInfinity, -kInfinity, -kInfinity, -kInfinity, -kInfinity};
    for (size_t i = 0; i < blocks.size(); ++i) {
        const BlockReach reach = ReachOf(blocks[i], f);
        for (int p = 0; p < 5; ++p) {
            const double bound = Bound(reach, f, p);
            if (bound > bestBound[p]) {
                bestBound[p] = bound;
                best[p] = i;
            }
        }
    }
    for (int p = 0; p < 5; ++p) {
        const VertexBlock& block = blocks[best[p]];
        if (MayExceed(bestBound[p], f.most[p])) FitBlock(block, ReachOf(block, f), smallSize, f);
    }
    for (const VertexBlock& block : blocks) {
        const BlockReach reach = ReachOf(block, f);
        for (int p = 0; p < 5; ++p) {
            if (MayExceed(Bound(reach, f, p), f.most[p])) {
                FitBlock(block, reach, smallSize, f);
                break;
            }
        }
    }
}

// The focal length of the projection in pixels: width / (2 tan(fov / 2)).
double FocalPixels(const ViewState& state) {
    return static_cast<double>(state.frameWidth) / (2.0 * std::tan(state.pose.fieldOfView / 2.0));
}

// The pose of the fixed camera as an orbit about the origin.
ViewPose FixedPose() {
    ViewPose pose;
    pose.tilt = kFixedTilt;
    pose.distance = kFixedDistance;
    pose.fieldOfView = kDefaultFieldOfView;
    return pose;
}

// A fixed view about to be moved by input becomes the same view as an orbit.
void LeaveFixed(ViewState& state) {
    if (state.mode != ViewMode::Fixed) return;
    state.mode = ViewMode::Fit;
    state.pose = FixedPose();
    state.unitScale = 1.0;
}

// Sets the pose of looking through camera `index`.
void LookThroughCamera(ViewState& state, const Scene& scene, int32_t index) {
    const Camera& camera = scene.cameras[index];
    CameraAim aim = AimCamera(camera, state.bounds);
    double* position = aim.position;
    double* target = aim.target;
    SceneToWorld(state.up, position);
    SceneToWorld(state.up, target);
    state.mode = ViewMode::Camera;
    state.cameraIndex = index;
    state.unitScale = UnitScaleFor(state.bounds);
    ViewPose pose = FixedPose();
    const bool positionFinite =
        std::isfinite(position[0]) && std::isfinite(position[1]) && std::isfinite(position[2]);
    if (positionFinite) {
        pose.distance = 0.0;
        for (int i = 0; i < 3; ++i)
            pose.centre[i] = position[i];
        const double dx = target[0] - position[0];
        const double dy = target[1] - position[1];
        const double dz = target[2] - position[2];
        const double horizontal = std::sqrt(dx * dx + dz * dz);
        // The looking direction f = (-cos t sin a, -sin t, cos t cos a); a camera without a
        // usable direction (no usable target, or the target at its position) looks as the
        // fixed one.
        if (aim.hasTarget && std::isfinite(dx) && std::isfinite(dy) && std::isfinite(dz) &&
            (horizontal > 0.0 || dy != 0.0)) {
            pose.yaw = std::atan2(-dx, dz);
            pose.tilt = std::atan2(-dy, horizontal);
        }
    } else if (state.bounds.finiteCount > 0) {
        // No place to stand: the fit view's place, standing still.
        state.pose = pose;
        state.mode = ViewMode::Fit;
        FitView(state, scene);
        state.mode = ViewMode::Camera;
        state.cameraIndex = index;
        pose = state.pose;
    } else {
        state.unitScale = 1.0;
    }
    const double bank = static_cast<double>(camera.bank);
    pose.roll = ReduceAngle(std::isfinite(bank) ? std::fmod(bank, 360.0) * kPi / 180.0 : 0.0);
    // A lens of a few microns or of kilometres: the field is kept where the projection's
    // scale stays a sensible finite number.
    pose.fieldOfView = std::clamp(CameraFieldOfView(camera), kMinFieldOfView, kMaxFieldOfView);
    state.pose = pose;
}

}  // namespace

SceneBounds ComputeSceneBounds(const Scene& scene) {
    return ScanVertexBlocks(scene, nullptr);
}

double CameraFieldOfView(const Camera& camera) {
    const double lens = static_cast<double>(camera.lens);
    if (!(lens > 0.0) || !std::isfinite(lens)) return kDefaultFieldOfView;
    return 2.0 * std::atan(18.0 / lens);
}

void CameraPositionAndTarget(const Camera& camera, double position[3], double target[3]) {
    // The camera chunk holds the file's axis order: (x, y, z) in the file is (x, z, y) here.
    position[0] = static_cast<double>(camera.position[0]);
    position[1] = static_cast<double>(camera.position[2]);
    position[2] = static_cast<double>(camera.position[1]);
    target[0] = static_cast<double>(camera.target[0]);
    target[1] = static_cast<double>(camera.target[2]);
    target[2] = static_cast<double>(camera.target[1]);
    // Keyframe values are stored in engine axes already.
    if (camera.positionKeyCount > 0 && camera.positionKeyX != nullptr &&
        camera.positionKeyY != nullptr && camera.positionKeyZ != nullptr) {
        position[0] = static_cast<double>(camera.positionKeyX[0]);
        position[1] = static_cast<double>(camera.positionKeyY[0]);
        position[2] = static_cast<double>(camera.positionKeyZ[0]);
    }
    if (camera.targetKeyCount > 0 && camera.targetKeyX != nullptr && camera.targetKeyY != nullptr &&
        camera.targetKeyZ != nullptr) {
        target[0] = static_cast<double>(camera.targetKeyX[0]);
        target[1] = static_cast<double>(camera.targetKeyY[0]);
        target[2] = static_cast<double>(camera.targetKeyZ[0]);
    }
}

void SceneToWorld(UpAxis up, double v[3]) {
    if (up != UpAxis::FileY) return;
    const double y = v[1];
    v[1] = v[2];
    v[2] = -y;
}

CameraAim AimCamera(const Camera& camera, const SceneBounds& bounds) {
    CameraAim aim;
    double keyTarget[3];
    CameraPositionAndTarget(camera, aim.position, keyTarget);
    const bool hasKeyTarget = camera.targetKeyCount > 0 && camera.targetKeyX != nullptr &&
                              camera.targetKeyY != nullptr && camera.targetKeyZ != nullptr;
    // How far the scene reaches from the camera's place: its size, or the camera's distance
    // from its centre when that is larger.
    double reach = SceneSize(bounds);
    if (bounds.finiteCount > 0) {
        double away = 0.0;
        for (int i = 0; i < 3; ++i) {
            const double d = aim.position[i] - (bounds.min[i] + bounds.max[i]) / 2.0;
            away += d * d;
        }
        away = std::sqrt(away);
        if (std::isfinite(away) && away > reach) reach = away;
    }
    aim.reach = reach;
    const bool positionFinite = std::isfinite(aim.position[0]) && std::isfinite(aim.position[1]) &&
                                std::isfinite(aim.position[2]);
    // Whether the camera may look at `target`; its distance from the camera in `distance`.
    const auto usable = [&](const double* target, double& distance) {
        double squared = 0.0;
        for (int i = 0; i < 3; ++i) {
            const double d = target[i] - aim.position[i];
            squared += d * d;
        }
        distance = std::isfinite(squared) ? std::sqrt(squared) : kInfinity;
        if (!std::isfinite(target[0]) || !std::isfinite(target[1]) || !std::isfinite(target[2])) {
            distance = kInfinity;
            return false;
        }
        // Without a place to stand, or a scene to measure "far" by, only a point that is
        // not finite is refused.
        if (!positionFinite || !(reach > 0.0)) return true;
        return distance <= kFarTargetFactor * reach;
    };
    const double chunkTarget[3] = {static_cast<double>(camera.target[0]),
                                   static_cast<double>(camera.target[2]),
                                   static_cast<double>(camera.target[1])};
    const double* chosen = nullptr;
    if (hasKeyTarget) {
        if (usable(keyTarget, aim.keyTargetDistance)) {
            chosen = keyTarget;
            aim.targetFromKeys = true;
        } else {
            aim.keyTargetIgnored = true;
        }
    }
    if (chosen == nullptr) {
        if (usable(chunkTarget, aim.chunkTargetDistance)) {
            chosen = chunkTarget;
        } else {
            aim.chunkTargetIgnored = true;
        }
    }
    if (chosen != nullptr) {
        aim.hasTarget = true;
        for (int i = 0; i < 3; ++i)
            aim.target[i] = chosen[i];
    }
    return aim;
}

int32_t FindCameraIndex(const Scene& scene, const char* name) {
    if (name == nullptr || scene.cameras == nullptr) return -1;
    for (int32_t i = 0; i < scene.cameraCount; ++i) {
        const char* cameraName = scene.cameras[i].name;
        if (cameraName != nullptr && std::strcmp(cameraName, name) == 0) return i;
    }
    return -1;
}

void StartView(ViewState& state, const Scene& scene, ViewMode mode, int32_t cameraIndex,
               int32_t width, int32_t height) {
    const UpAxis up = state.up;
    state = ViewState{};
    state.up = up;
    state.frameWidth = width;
    state.frameHeight = height;
    state.pose = FixedPose();
    if (mode == ViewMode::Camera) state.bounds = ComputeSceneBounds(scene);
    if (mode == ViewMode::Camera && cameraIndex >= 0 && cameraIndex < scene.cameraCount &&
        scene.cameras != nullptr) {
        LookThroughCamera(state, scene, cameraIndex);
    } else if (mode == ViewMode::Fit) {
        FitView(state, scene);  // stays Fixed when no position is finite
    }
    state.home = state.pose;
    state.homeMode = state.mode;
    state.homeCameraIndex = state.cameraIndex;
    state.mirrored = state.mode == ViewMode::Fixed;
}

void AdvanceView(ViewState& state) {
    if (state.mode == ViewMode::Camera) return;
    state.spin = std::remainder(state.spin + kSpinStepAngle, 2.0 * kPi);
}

void BuildViewTransform(const ViewState& state, ViewTransform& out) {
    const ViewPose& p = state.pose;
    const double turn = p.yaw + (state.mode == ViewMode::Camera ? 0.0 : state.spin);
    Matrix3 r;
    ViewRotation(turn, p.tilt, p.roll, r);
    // Scene points are first turned so that the chosen axis is up (SceneToWorld).
    Matrix3 up;
    std::memcpy(up, r, sizeof r);
    if (state.up == UpAxis::FileY) {
        const Matrix3 u = {{1.0, 0.0, 0.0}, {0.0, 0.0, -1.0}, {0.0, 1.0, 0.0}};
        Multiply3(u, r, up);
    }
    const double s = state.unitScale;
    const double shift[3] = {p.panX, p.panY, p.distance};
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i)
            out.m[4 * i + j] = s * up[i][j];
        // Translation: s ((0 - c) R + shift), each element summed in double.
        out.m[12 + j] =
            s *
            (shift[j] - (p.centre[0] * r[0][j] + p.centre[1] * r[1][j] + p.centre[2] * r[2][j]));
        out.m[4 * j + 3] = 0.0;
    }
    out.m[15] = 1.0;
    // Un-mirrored: view x turned the other way (the picture flipped left to right).
    if (!state.mirrored) {
        for (int i = 0; i < 4; ++i)
            out.m[4 * i] = -out.m[4 * i];
    }
}

void ViewObjectMatrix(const ViewTransform& view, const Matrix4* objectMatrix, Matrix4& out) {
    if (objectMatrix == nullptr) {
        for (int i = 0; i < 16; ++i)
            out[i] = RoundToFloat(view.m[i]);
        return;
    }
    const Matrix4& a = *objectMatrix;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a[4 * i + k]) * view.m[4 * k + j];
            out[4 * i + j] = RoundToFloat(sum);
        }
    }
}

void TurnView(ViewState& state, double yawAngle, double tiltAngle) {
    LeaveFixed(state);
    // The turn reads the same on the screen in a mirrored and an un-mirrored picture.
    if (std::isfinite(yawAngle)) {
        state.pose.yaw = ReduceAngle(state.pose.yaw + (state.mirrored ? yawAngle : -yawAngle));
    }
    if (std::isfinite(tiltAngle)) {
        double tilt = state.pose.tilt + tiltAngle;
        if (tilt > kMaxTilt) tilt = kMaxTilt;
        if (tilt < -kMaxTilt) tilt = -kMaxTilt;
        state.pose.tilt = tilt;
    }
}

void ZoomView(ViewState& state, double factor) {
    if (!(factor > 0.0) || !std::isfinite(factor)) return;
    LeaveFixed(state);
    ViewPose& p = state.pose;
    if (p.distance > 0.0) {
        const double distance = p.distance * factor;
        if (distance > DBL_MIN && std::isfinite(distance)) p.distance = distance;
        return;
    }
    // The eye stands at the centre (a file's camera): a longer or shorter lens instead.
    const double halfTangent = std::tan(p.fieldOfView / 2.0) * factor;
    const double fieldOfView = 2.0 * std::atan(halfTangent);
    if (fieldOfView >= kMinFieldOfView && fieldOfView <= kMaxFieldOfView) {
        p.fieldOfView = fieldOfView;
    }
}

void PanView(ViewState& state, double dxPixels, double dyPixels) {
    if (!std::isfinite(dxPixels) || !std::isfinite(dyPixels)) return;
    LeaveFixed(state);
    ViewPose& p = state.pose;
    // Scene units per pixel at the centre's depth; with the eye at the centre, at the depth
    // of the scene's size.
    double depth = p.distance;
    if (!(depth > 0.0)) depth = state.unitScale > 0.0 ? kViewUnitsAcross / state.unitScale : 1.0;
    const double perPixel = depth / FocalPixels(state);
    if (!std::isfinite(perPixel)) return;
    p.panX += (state.mirrored ? dxPixels : -dxPixels) * perPixel;
    p.panY += dyPixels * perPixel;
}

void FitView(ViewState& state, const Scene& scene) {
    state.bounds = ScanVertexBlocks(scene, &scratch.blocks);
    const SceneBounds& b = state.bounds;
    if (b.finiteCount == 0) return;
    if (state.mode == ViewMode::Camera) {
        // Keep the direction the camera looked in; the spin goes on from there.
        state.pose.yaw = ReduceAngle(state.pose.yaw - state.spin);
    }
    if (state.mode == ViewMode::Fixed) state.pose = FixedPose();
    state.mode = ViewMode::Fit;
    state.cameraIndex = -1;
    ViewPose& pose = state.pose;
    pose.roll = 0.0;
    pose.panX = pose.panY = 0.0;
    pose.fieldOfView = kFitFieldOfView;
    state.unitScale = UnitScaleFor(b);
    // The box and the blocks in the views' world axes (the chosen axis up).
    double lo[3] = {b.min[0], b.min[1], b.min[2]};
    double hi[3] = {b.max[0], b.max[1], b.max[2]};
    if (state.up == UpAxis::FileY) {
        WorldBox(lo, hi);
        for (VertexBlock& block : scratch.blocks)
            WorldBlock(block);
    }
    double c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = lo[i] + (hi[i] - lo[i]) / 2.0;
    for (int i = 0; i < 3; ++i)
        pose.centre[i] = c[i];

    // The margined frame as tangents of its half angles; the vertical uses the same focal
    // length (square pixels).
    const double focal = FocalPixels(state);
    const auto inside = [focal](int32_t side) {
        const double half = static_cast<double>(side / 2);
        return (half - std::max(kFitMargin * half, kFitMarginPixels)) / focal;
    };
    const double ax = inside(state.frameWidth);
    const double ay = inside(state.frameHeight);
    // Planes n . v <= 0 in view space: right, left, bottom, top; then the near plane -z.
    const double planes[5][3] = {
        {1.0, 0.0, -ax}, {-1.0, 0.0, -ax}, {0.0, 1.0, -ay}, {0.0, -1.0, -ay}, {0.0, 0.0, -1.0}};
    // Each normal in scene axes (n R^T), split into its vertical part and the length of its
    // horizontal part; the turn does not change either.
    Matrix3 r;
    ViewRotation(0.0, pose.tilt, pose.roll, r);
    FitPlanes f;
    f.up = state.up;
    for (int i = 0; i < 3; ++i)
        f.c[i] = c[i];
    for (int k = 0; k < 5; ++k) {
        double w[3];
        for (int i = 0; i < 3; ++i)
            w[i] = r[i][0] * planes[k][0] + r[i][1] * planes[k][1] + r[i][2] * planes[k][2];
        f.ny[k] = w[1];
        f.nh[k] = std::sqrt(w[0] * w[0] + w[2] * w[2]);
        f.most[k] = -kInfinity;
    }
    // The largest ny h + nh rho over the finite vertices, for each plane.
    FitAllBlocks(scratch.blocks, kSmallBlock * SceneSize(b), f);
    const double* most = f.most;
    // Side planes, with pan (px, py): most + n . (px, py, d) <= 0. Left and right are mirror
    // images (the turning scene is symmetric about the vertical plane of the view axis), so
    // px = 0 and d >= most / ax. Top and bottom are not (a tilted view sees the near part
    // larger), so the picture is moved to the middle of what they allow: py = (top - bottom)
    // / 2, which needs d >= (top + bottom) / (2 ay).
    double distance = std::max(most[0], most[1]) / ax;
    const double upDown = (most[2] + most[3]) / (2.0 * ay);
    distance = upDown > distance ? upDown : distance;
    const double nearest = kNearFactor * kRenderNearLimit / state.unitScale;
    const double needNear = most[4] + nearest;
    distance = needNear > distance ? needNear : distance;
    if (!std::isfinite(distance) || !(distance > 0.0)) distance = nearest;
    const double panY = (most[3] - most[2]) / 2.0;
    pose.panY = std::isfinite(panY) ? panY : 0.0;
    pose.distance = distance;
}

void ResetView(ViewState& state) {
    state.mode = state.homeMode;
    state.pose = state.home;
    state.cameraIndex = state.homeCameraIndex;
    if (state.mode == ViewMode::Fixed)
        state.unitScale = 1.0;
    else
        state.unitScale = UnitScaleFor(state.bounds);
}

void SetViewUpAxis(ViewState& state, const Scene& scene, UpAxis up) {
    state.up = up;
    switch (state.mode) {
        case ViewMode::Fixed:
            LeaveFixed(state);
            break;
        case ViewMode::Fit:
            FitView(state, scene);
            break;
        case ViewMode::Camera:
            if (state.cameraIndex >= 0 && state.cameraIndex < scene.cameraCount &&
                scene.cameras != nullptr) {
                LookThroughCamera(state, scene, state.cameraIndex);
            }
            break;
    }
    state.home = state.pose;
    state.homeMode = state.mode;
    state.homeCameraIndex = state.cameraIndex;
}

bool NextCamera(ViewState& state, const Scene& scene) {
    if (scene.cameraCount <= 0 || scene.cameras == nullptr) return false;
    int32_t next = state.mode == ViewMode::Camera ? state.cameraIndex + 1 : 0;
    if (next < 0 || next >= scene.cameraCount) next = 0;
    LookThroughCamera(state, scene, next);
    return true;
}
