// Playing the scene's keyframe animation in the viewer.
#include "app/playback.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr Matrix4 kIdentity = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                               0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
// At most this many frame times are sampled for the box of the whole animation.
constexpr size_t kMaxBoxSamples = 1024;

// Seconds of one loop; 0 for a scene that stands still.
double LoopSeconds(const SceneAnimation& animation) {
    const double span = animation.lastFrame - animation.firstFrame;
    return span > 0.0 && animation.animated ? span / kPlaybackFramesPerSecond : 0.0;
}

void WrapTime(PlaybackState& p) {
    const double loop = LoopSeconds(p.animation);
    if (!(loop > 0.0)) {
        p.seconds = 0.0;
        return;
    }
    p.seconds = std::fmod(p.seconds, loop);
    if (p.seconds < 0.0) p.seconds += loop;
}

// The box of each object's finite stored vertices (min > max for none).
void ComputeObjectBoxes(const Scene& scene, std::vector<float>& boxes) {
    boxes.assign(6 * static_cast<size_t>(std::max(scene.objectCount, 0)), 0.0f);
    for (int32_t i = 0; i < scene.objectCount; ++i) {
        float* box = &boxes[6 * static_cast<size_t>(i)];
        box[0] = box[1] = box[2] = INFINITY;
        box[3] = box[4] = box[5] = -INFINITY;
        const MeshObject& object = scene.objects[i];
        for (int32_t v = 0; object.vertices != nullptr && v < object.vertexCount; ++v) {
            const float p[3] = {object.vertices[v].x, object.vertices[v].y, object.vertices[v].z};
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
            for (int c = 0; c < 3; ++c) {
                box[c] = std::min(box[c], p[c]);
                box[3 + c] = std::max(box[3 + c], p[c]);
            }
        }
    }
}

// Grows `box` (min x y z, max x y z, double) by the object's box moved by `m`.
void GrowBox(const float* objectBox, const Matrix4& m, double box[6]) {
    if (!(objectBox[0] <= objectBox[3])) return;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {static_cast<double>(objectBox[(corner & 1) ? 3 : 0]),
                             static_cast<double>(objectBox[(corner & 2) ? 4 : 1]),
                             static_cast<double>(objectBox[(corner & 4) ? 5 : 2])};
        for (int c = 0; c < 3; ++c) {
            const double q = p[0] * static_cast<double>(m[c]) +
                             p[1] * static_cast<double>(m[4 + c]) +
                             p[2] * static_cast<double>(m[8 + c]) + static_cast<double>(m[12 + c]);
            if (!std::isfinite(q)) continue;
            box[c] = std::min(box[c], q);
            box[3 + c] = std::max(box[3 + c], q);
        }
    }
}

// Calls draw(object, matrix) for what the scene shows at the frame last evaluated.
template <class Draw>
void ForEachShownObject(const Scene& scene, const PlaybackState& p, Draw&& draw) {
    const SceneAnimation& a = p.animation;
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        const AnimatedNode& node = a.nodes[i];
        if (node.kind != KeyframerObjectNode || node.record < 0 ||
            node.record >= scene.objectCount || a.hidden[i] != 0 ||
            !NodeMatrixIsFinite(a, static_cast<int32_t>(i))) {
            continue;
        }
        draw(node.record, a.object[i]);
    }
    for (int32_t i = 0; i < scene.objectCount; ++i) {
        if (p.objectHasNode[static_cast<size_t>(i)] == 0) draw(i, kIdentity);
    }
}

// A file's camera view follows the camera's keys: its place, direction, roll and field.
void FollowCamera(ViewState& view, const Scene& scene, const SceneAnimation& animation) {
    Matrix4 m;
    float fov = 0.0f;
    if (view.cameraIndex < 0 || view.cameraIndex >= scene.cameraCount ||
        !EvaluateCamera(scene, animation, view.cameraIndex, m, fov)) {
        return;
    }
    ViewPose& pose = view.pose;
    // The camera's place and forward row, turned so that the view's up axis is up.
    double place[3] = {static_cast<double>(m[12]), static_cast<double>(m[13]),
                       static_cast<double>(m[14])};
    double forward[3] = {static_cast<double>(m[8]), static_cast<double>(m[9]),
                         static_cast<double>(m[10])};
    // A target track the camera view refuses (not finite, or absurdly far) is not followed:
    // the camera looks at its chunk's own target from where its keys put it, or keeps its
    // direction when it has none.
    const CameraAim aim = AimCamera(scene.cameras[view.cameraIndex], view.bounds);
    if (aim.keyTargetIgnored) {
        for (int c = 0; c < 3; ++c)
            forward[c] = aim.hasTarget ? aim.target[c] - place[c] : 0.0;
    }
    SceneToWorld(view.up, place);
    SceneToWorld(view.up, forward);
    for (int c = 0; c < 3; ++c) {
        if (std::isfinite(place[c])) pose.centre[c] = place[c];
    }
    // The forward row f = (-cos t sin a, -sin t, cos t cos a) of the view's yaw a and tilt t.
    const double fx = forward[0], fy = forward[1], fz = forward[2];
    const double horizontal = std::sqrt(fx * fx + fz * fz);
    if (std::isfinite(horizontal) && (horizontal > 0.0 || fy != 0.0)) {
        pose.yaw = std::atan2(-fx, fz);
        pose.tilt = std::atan2(-fy, horizontal);
    }
    // The roll in degrees, from the roll track where the camera node has one, else the
    // camera's bank, as the camera view takes it.
    const AnimatedNode& node = animation.nodes[animation.cameraNode[view.cameraIndex]];
    const float bank[3] = {scene.cameras[view.cameraIndex].bank, 0.0f, 0.0f};
    float roll[3];
    EvaluateNodeVector(animation, node.roll, animation.frame, bank, roll);
    const double degrees = std::fmod(static_cast<double>(roll[0]), 360.0);
    if (std::isfinite(degrees)) pose.roll = std::remainder(degrees * kPi / 180.0, 2.0 * kPi);
    const double field = static_cast<double>(fov) * kPi / 180.0;
    if (std::isfinite(field))
        pose.fieldOfView = std::clamp(field, kPi / 180.0, 179.0 * kPi / 180.0);
}

}  // namespace

void RequestPlayback(PlaybackState& playback, bool animate, const double* stillFrame) {
    playback.animate = animate;
    playback.still = stillFrame != nullptr;
    playback.stillFrame = stillFrame != nullptr ? *stillFrame : 0.0;
}

void StartPlayback(PlaybackState& p, const Scene& scene) {
    p.active = p.animate || p.still;
    p.seconds = 0.0;
    if (!p.active) return;
    PrepareAnimation(scene, p.animation);
    p.objectHasNode.assign(static_cast<size_t>(std::max(scene.objectCount, 0)), 0);
    p.instancesPerObject.assign(p.objectHasNode.size(), 0);
    for (const AnimatedNode& node : p.animation.nodes) {
        if (node.kind == KeyframerObjectNode && node.record >= 0 &&
            node.record < scene.objectCount) {
            p.objectHasNode[static_cast<size_t>(node.record)] = 1;
            p.instancesPerObject[static_cast<size_t>(node.record)]++;
        }
    }
    for (size_t i = 0; i < p.objectHasNode.size(); ++i) {
        if (p.objectHasNode[i] == 0) p.instancesPerObject[i] = 1;
    }
    ComputeObjectBoxes(scene, p.objectBox);
    // At most one instance per node and one per object that no node names.
    p.shown.clear();
    p.shown.reserve(p.animation.nodes.size() + p.objectHasNode.size());
    EvaluateAnimation(p.animation, PlaybackFrame(p));
}

void FitPlaybackView(PlaybackState& p, ViewState& view, const Scene& scene) {
    if (!p.active || view.mode != ViewMode::Fit) return;
    SceneAnimation& a = p.animation;
    // The frames to sample: the segment's ends, every key frame inside it and the frames
    // half way between neighbours (a spline may swing out between its keys).
    std::vector<double> frames = {a.firstFrame, a.lastFrame};
    if (p.still) frames = {p.stillFrame};
    if (!p.still) {
        for (const PreparedVectorKey& k : a.vectorKeys)
            frames.push_back(k.frame);
        for (const PreparedRotationKey& k : a.rotationKeys)
            frames.push_back(k.frame);
        for (double& f : frames)
            f = std::clamp(f, a.firstFrame, a.lastFrame);
        std::sort(frames.begin(), frames.end());
        frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
        const size_t keyFrames = frames.size();
        for (size_t i = 1; i < keyFrames; ++i)
            frames.push_back((frames[i - 1] + frames[i]) / 2.0);
        std::sort(frames.begin(), frames.end());
        if (frames.size() > kMaxBoxSamples) {
            std::vector<double> even;
            for (size_t i = 0; i < kMaxBoxSamples; ++i)
                even.push_back(frames[i * (frames.size() - 1) / (kMaxBoxSamples - 1)]);
            frames = even;
        }
    }
    constexpr double kFar = std::numeric_limits<double>::infinity();
    double box[6] = {kFar, kFar, kFar, -kFar, -kFar, -kFar};
    for (double frame : frames) {
        EvaluateAnimation(a, frame);
        ForEachShownObject(scene, p, [&](int32_t object, const Matrix4& m) {
            GrowBox(&p.objectBox[6 * static_cast<size_t>(object)], m, box);
        });
    }
    EvaluateAnimation(a, PlaybackFrame(p));
    if (!(box[0] <= box[3]) || !(box[1] <= box[4]) || !(box[2] <= box[5])) return;

    // The fit view frames vertices: the box's eight corners stand in for the animation.
    Vertex corners[8] = {};
    for (int c = 0; c < 8; ++c) {
        corners[c].x = static_cast<float>((c & 1) ? box[3] : box[0]);
        corners[c].y = static_cast<float>((c & 2) ? box[4] : box[1]);
        corners[c].z = static_cast<float>((c & 4) ? box[5] : box[2]);
    }
    MeshObject mesh = {};
    mesh.vertexCount = 8;
    mesh.vertices = corners;
    Scene proxy = {};
    proxy.objectCount = 1;
    proxy.objects = &mesh;
    FitView(view, proxy);
    view.home = view.pose;
    view.homeMode = view.mode;
    view.homeCameraIndex = view.cameraIndex;
}

double PlaybackFrame(const PlaybackState& p) {
    if (p.still) return p.stillFrame;
    return AnimationFrameAt(p.animation, p.seconds, kPlaybackFramesPerSecond);
}

void PosePlayback(PlaybackState& p, const Scene& scene, ViewState& view) {
    EvaluateAnimation(p.animation, PlaybackFrame(p));
    if (view.mode == ViewMode::Camera) FollowCamera(view, scene, p.animation);
    p.shown.clear();
    ForEachShownObject(scene, p, [&](int32_t object, const Matrix4& m) {
        p.shown.push_back(ObjectInstance{object, m});
    });
}

void AdvancePlayback(PlaybackState& p) {
    if (!p.active || p.still) return;
    p.seconds += kPlaybackTickSeconds;
    WrapTime(p);
}

void StepPlayback(PlaybackState& p, int32_t frames) {
    if (!p.active || p.still) return;
    // To the whole frame, so that steps from a stopped time land on frame numbers.
    const double frame = std::floor(p.seconds * kPlaybackFramesPerSecond + 1e-9) + frames;
    p.seconds = frame / kPlaybackFramesPerSecond;
    WrapTime(p);
}

int32_t PlaybackLoopTicks(const SceneAnimation& animation) {
    const double loop = LoopSeconds(animation);
    if (!(loop > 0.0)) return 1;
    const double ticks = std::ceil(loop / kPlaybackTickSeconds - 1e-9);
    return ticks >= 1000000.0 ? 1000000 : std::max(1, static_cast<int32_t>(ticks));
}
