// Keyframer evaluation: spline tracks, the node hierarchy and animated cameras.
#include "scene/animation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kNoParent = 0xFFFF;
// |log q|^2 of a half turn: (pi / 2)^2.
constexpr double kHalfTurnLogSquared = kPi * kPi / 4.0;

// ---- Numbers from the file --------------------------------------------------------------

float FiniteOr0(float v) {
    return std::isfinite(v) ? v : 0.0f;
}

float Clamp(float v, float lo, float hi) {
    v = FiniteOr0(v);
    return v < lo ? lo : (v > hi ? hi : v);
}

// A key's spline parameters in their ranges (see the header's list of defined results).
struct Spline {
    float tension, continuity, bias, easeTo, easeFrom;
};

Spline CleanSpline(const KeySpline* s) {
    if (s == nullptr) return {0, 0, 0, 0, 0};
    return {Clamp(s->tension, -1, 1), Clamp(s->continuity, -1, 1), Clamp(s->bias, -1, 1),
            Clamp(s->easeTo, 0, 1), Clamp(s->easeFrom, 0, 1)};
}

// ---- Quaternions (Shoemake, "Animating rotation with quaternion curves", SIGGRAPH 1985) ----

Quaternion Identity() {
    return {0, 0, 0, 1};
}

// Hamilton product a * b.
Quaternion Multiply(const Quaternion& a, const Quaternion& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
            a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
            a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

double Dot(const Quaternion& a, const Quaternion& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

double D(float v) {
    return static_cast<double>(v);
}

Quaternion Normalized(const Quaternion& q) {
    const double n = std::sqrt(Dot(q, q));
    if (!(n > 0.0) || !std::isfinite(n)) return Identity();
    return {q.x / n, q.y / n, q.z / n, q.w / n};
}

Quaternion Negated(const Quaternion& q) {
    return {-q.x, -q.y, -q.z, -q.w};
}

// The rotation of one key in file axes: (axis sin(-angle/2) / |axis|, cos(-angle/2)); a zero
// axis turns nothing.
Quaternion KeyQuaternion(float angle, float ax, float ay, float az) {
    const double length = std::sqrt(D(ax) * D(ax) + D(ay) * D(ay) + D(az) * D(az));
    if (!(length > 1e-12)) return Identity();
    const double omega = -0.5 * D(angle);
    const double s = std::sin(omega) / length;
    return {s * D(ax), s * D(ay), s * D(az), std::cos(omega)};
}

// log q of a unit quaternion: (axis * half-angle, 0).
Quaternion Log(const Quaternion& q) {
    const double s = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    const double omega = std::atan2(s, q.w);
    const double t = s > 1e-12 ? omega / s : 0.0;
    return {q.x * t, q.y * t, q.z * t, 0.0};
}

// exp of a pure quaternion (v, 0): (v / |v| sin |v|, cos |v|).
Quaternion Exp(const Quaternion& v) {
    const double omega = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    const double s = omega > 1e-12 ? std::sin(omega) / omega : 1.0;
    return {v.x * s, v.y * s, v.z * s, std::cos(omega)};
}

// The logarithm of a key's turn (angle about the axis, file axes) seen in the frame of the
// rotation `before` it: before^-1 log(key) before, with log(key) = -angle/2 axis/|axis| and
// the angle kept whole, however large.
Quaternion TurnLog(float angle, float ax, float ay, float az, const Quaternion& before) {
    const double length = std::sqrt(D(ax) * D(ax) + D(ay) * D(ay) + D(az) * D(az));
    if (!(length > 1e-12)) return {0, 0, 0, 0};
    const double h = -0.5 * D(angle) / length;
    const Quaternion v = {h * D(ax), h * D(ay), h * D(az), 0.0};
    const Quaternion inverse = {-before.x, -before.y, -before.z, before.w};
    const Quaternion r = Multiply(Multiply(inverse, v), before);
    return {r.x, r.y, r.z, 0.0};
}

// log(a^-1 b) for unit quaternions.
Quaternion LogDifference(const Quaternion& a, const Quaternion& b) {
    const Quaternion inverse = {-a.x, -a.y, -a.z, a.w};
    return Log(Normalized(Multiply(inverse, b)));
}

// Spherical linear interpolation along the shorter arc (Shoemake 1985).
Quaternion Slerp(const Quaternion& a, const Quaternion& b, double t) {
    double cosine = Dot(a, b);
    double sign = 1.0;
    if (cosine < 0.0) {
        cosine = -cosine;
        sign = -1.0;
    }
    double wa = 1.0 - t;
    double wb = t;
    if (cosine < 1.0 - 1e-7) {
        const double omega = std::acos(cosine);
        const double sine = std::sin(omega);
        wa = std::sin((1.0 - t) * omega) / sine;
        wb = std::sin(t * omega) / sine;
    }
    wb *= sign;
    return Normalized(
        {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w});
}

// Spherical quadrangle interpolation between keys p and q with inner control points a (after
// p) and b (before q): Shoemake 1985, squad(p, a, b, q; t) =
// slerp(slerp(p, q; t), slerp(a, b; t); 2t(1 - t)).
Quaternion Squad(const Quaternion& p, const Quaternion& a, const Quaternion& b, const Quaternion& q,
                 double t) {
    return Slerp(Slerp(p, q, t), Slerp(a, b, t), 2.0 * t * (1.0 - t));
}

// ---- Splines ------------------------------------------------------------------------------

// The tangent weights of a key from its tension T, continuity C and bias B (Kochanek and
// Bartels, "Interpolating splines with local tension, continuity, and bias control",
// SIGGRAPH 1984, equations 8 and 9):
//   incoming  TS = (1-T)(1-C)(1+B)/2 (P_i - P_i-1) + (1-T)(1+C)(1-B)/2 (P_i+1 - P_i)
//   outgoing  TD = (1-T)(1+C)(1+B)/2 (P_i - P_i-1) + (1-T)(1-C)(1-B)/2 (P_i+1 - P_i)
// For keys unevenly spaced in time the paper (section 4) scales TS by 2 N_i-1 / (N_i-1 + N_i)
// and TD by 2 N_i / (N_i-1 + N_i), N being the frames of the segments before and after the
// key; as 3D Studio does (and lib3ds after it), the scale is blended toward 1 by |C|. An
// end key (no neighbour on one side) takes the one difference it has for both and no scale.
struct Weights {
    double ksm, ksp, kdm, kdp;
};

Weights TangentWeights(const Spline& s, double framesBefore, double framesAfter, bool interior) {
    double fp = 1.0;
    double fn = 1.0;
    if (interior) {
        const double half = 0.5 * (framesBefore + framesAfter);
        fp = framesBefore / half;
        fn = framesAfter / half;
        const double c = std::fabs(D(s.continuity));
        fp = fp + c - c * fp;
        fn = fn + c - c * fn;
    }
    const double tm = 0.5 * (1.0 - D(s.tension));
    const double cm = 1.0 - D(s.continuity);
    const double cp = 1.0 + D(s.continuity);
    const double bm = 1.0 - D(s.bias);
    const double bp = 1.0 + D(s.bias);
    return {tm * cm * bp * fp, tm * cp * bm * fp, tm * cp * bp * fn, tm * cm * bm * fn};
}

// Ease: the segment's parameter u in [0, 1] is remapped so that the motion accelerates
// evenly over the first `from` of the segment, moves at constant speed, and decelerates
// evenly over the last `to` (Watt and Watt, "Advanced Animation and Rendering Techniques",
// 1992, the parabolic ease-in/ease-out; 3D Studio's ease from and ease to of the keys at
// the segment's start and end). When from + to exceeds 1 both are scaled to sum to 1.
double Ease(double u, double from, double to) {
    const double sum = from + to;
    if (!(sum > 0.0)) return u;
    if (sum > 1.0) {
        from /= sum;
        to /= sum;
    }
    const double k = 1.0 / (2.0 - from - to);
    if (u < from) return k / from * u * u;
    if (u < 1.0 - to || !(to > 0.0)) return k * (2.0 * u - from);
    const double v = 1.0 - u;
    return 1.0 - k / to * v * v;
}

// The cubic Hermite basis (Kochanek and Bartels 1984, equation 2).
void Hermite(double u, double h[4]) {
    const double u2 = u * u;
    const double u3 = u2 * u;
    h[0] = 2 * u3 - 3 * u2 + 1;
    h[1] = -2 * u3 + 3 * u2;
    h[2] = u3 - 2 * u2 + u;
    h[3] = u3 - u2;
}

// Key indices of `track` sorted by frame (stably), each frame once (the last key of the file
// at that frame), leaving out the keys `usable` rejects.
template <class Usable>
std::vector<int32_t> SortedKeys(const KeyTrack& track, Usable&& usable) {
    std::vector<int32_t> keys;
    if (track.frames == nullptr) return keys;
    for (int32_t k = 0; k < track.keyCount; ++k) {
        if (usable(k)) keys.push_back(k);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [&](int32_t a, int32_t b) { return track.frames[a] < track.frames[b]; });
    std::vector<int32_t> unique;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i + 1 < keys.size() && track.frames[keys[i + 1]] == track.frames[keys[i]]) continue;
        unique.push_back(keys[i]);
    }
    return unique;
}

PreparedTrack PrepareVectorTrack(const KeyTrack& track, std::vector<PreparedVectorKey>& out) {
    const int32_t components = std::min(track.components, 3);
    const std::vector<int32_t> keys = SortedKeys(track, [&](int32_t k) {
        if (track.values == nullptr) return false;
        for (int32_t c = 0; c < components; ++c) {
            if (!std::isfinite(track.values[k * track.components + c])) return false;
        }
        return true;
    });
    PreparedTrack prepared;
    prepared.first = static_cast<int32_t>(out.size());
    prepared.count = static_cast<int32_t>(keys.size());
    for (int32_t k : keys) {
        const Spline s = CleanSpline(track.splines != nullptr ? &track.splines[k] : nullptr);
        PreparedVectorKey key = {};
        key.frame = static_cast<double>(track.frames[k]);
        for (int32_t c = 0; c < components; ++c)
            key.value[c] = track.values[k * track.components + c];
        key.easeTo = s.easeTo;
        key.easeFrom = s.easeFrom;
        out.push_back(key);
    }
    PreparedVectorKey* p = out.data() + prepared.first;
    const int32_t n = prepared.count;
    for (int32_t i = 0; n > 1 && i < n; ++i) {
        const bool hasPrev = i > 0;
        const bool hasNext = i + 1 < n;
        const Spline s = CleanSpline(track.splines != nullptr ? &track.splines[keys[i]] : nullptr);
        const double before = hasPrev ? p[i].frame - p[i - 1].frame : 0.0;
        const double after = hasNext ? p[i + 1].frame - p[i].frame : 0.0;
        const Weights w = TangentWeights(s, before, after, hasPrev && hasNext);
        for (int32_t c = 0; c < 3; ++c) {
            double dm = hasPrev ? D(p[i].value[c]) - D(p[i - 1].value[c]) : 0.0;
            double dp = hasNext ? D(p[i + 1].value[c]) - D(p[i].value[c]) : 0.0;
            if (!hasPrev) dm = dp;
            if (!hasNext) dp = dm;
            p[i].incoming[c] = static_cast<float>(w.ksm * dm + w.ksp * dp);
            p[i].outgoing[c] = static_cast<float>(w.kdm * dm + w.kdp * dp);
        }
    }
    return prepared;
}

PreparedTrack PrepareRotationTrack(const KeyTrack& track, std::vector<PreparedRotationKey>& out) {
    // Accumulate in file order: each key turns on from the rotation of the key before it.
    std::vector<Quaternion> accumulated(static_cast<size_t>(std::max(track.keyCount, 0)));
    std::vector<uint8_t> usable(accumulated.size(), 0);
    // Each key's own turn as a logarithm in the frame of the rotation before it, with the
    // whole angle the file gives (a key may turn more than half a turn, or several turns),
    // and the usable key before it in the file (-1 for none).
    std::vector<Quaternion> turn(accumulated.size());
    std::vector<int32_t> previous(accumulated.size(), -1);
    Quaternion q = Identity();
    int32_t last = -1;
    for (int32_t k = 0; track.values != nullptr && track.components == 4 && k < track.keyCount;
         ++k) {
        const float* v = &track.values[4 * k];
        if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]) ||
            !std::isfinite(v[3])) {
            continue;
        }
        // Values are in engine axes (angle, x, z, y); the turn is worked in the file's.
        turn[k] = TurnLog(v[0], v[1], v[3], v[2], q);
        q = Normalized(Multiply(KeyQuaternion(v[0], v[1], v[3], v[2]), q));
        accumulated[k] = q;
        usable[k] = 1;
        previous[k] = last;
        last = k;
    }
    const std::vector<int32_t> keys = SortedKeys(track, [&](int32_t k) { return usable[k] != 0; });
    PreparedTrack prepared;
    prepared.first = static_cast<int32_t>(out.size());
    prepared.count = static_cast<int32_t>(keys.size());
    for (int32_t k : keys) {
        const Spline s = CleanSpline(track.splines != nullptr ? &track.splines[k] : nullptr);
        PreparedRotationKey key = {};
        key.frame = static_cast<double>(track.frames[k]);
        key.q = accumulated[k];
        key.a = key.q;
        key.b = key.q;
        key.easeTo = s.easeTo;
        key.easeFrom = s.easeFrom;
        out.push_back(key);
    }
    PreparedRotationKey* p = out.data() + prepared.first;
    const int32_t n = prepared.count;
    // Neighbours on the same side of the sphere, for the spherical spline's slerps.
    for (int32_t i = 1; i < n; ++i) {
        if (Dot(p[i - 1].q, p[i].q) < 0.0) p[i].q = Negated(p[i].q);
    }
    // The turn of each segment: the key's own turn when the key before it in time is also
    // the one before it in the file (the usual case), so that a segment turns as far as the
    // file says; otherwise the shorter arc between the two rotations.
    for (int32_t i = 1; i < n; ++i) {
        p[i].turn =
            previous[keys[i]] == keys[i - 1] ? turn[keys[i]] : LogDifference(p[i - 1].q, p[i].q);
    }
    // Inner control points with Kochanek-Bartels weights on the logarithms of the rotations
    // between neighbours (the quaternion form of the tangents above, as in Shoemake 1985 and
    // 3D Studio): a_i = q_i exp((TD_i - g_i+1) / 2), b_i = q_i exp((g_i - TS_i) / 2), where
    // g_i = log(q_i-1^-1 q_i).
    for (int32_t i = 0; n > 1 && i < n; ++i) {
        const bool hasPrev = i > 0;
        const bool hasNext = i + 1 < n;
        const Spline s = CleanSpline(track.splines != nullptr ? &track.splines[keys[i]] : nullptr);
        Quaternion gm = hasPrev ? p[i].turn : Quaternion{};
        Quaternion gp = hasNext ? p[i + 1].turn : Quaternion{};
        if (!hasPrev) gm = gp;
        if (!hasNext) gp = gm;
        const double before = hasPrev ? p[i].frame - p[i - 1].frame : 0.0;
        const double after = hasNext ? p[i + 1].frame - p[i].frame : 0.0;
        const Weights w = TangentWeights(s, before, after, hasPrev && hasNext);
        const double am = 0.5 * w.kdm;
        const double ap = 0.5 * (w.kdp - 1.0);
        const double bm = 0.5 * (1.0 - w.ksm);
        const double bp = 0.5 * -w.ksp;
        const Quaternion qa = {am * gm.x + ap * gp.x, am * gm.y + ap * gp.y, am * gm.z + ap * gp.z,
                               0.0};
        const Quaternion qb = {bm * gm.x + bp * gp.x, bm * gm.y + bp * gp.y, bm * gm.z + bp * gp.z,
                               0.0};
        p[i].a = Normalized(Multiply(p[i].q, Exp(qa)));
        p[i].b = Normalized(Multiply(p[i].q, Exp(qb)));
    }
    return prepared;
}

// The segment of sorted keys holding `frame`: -1 before the first key (or at it), n - 1 at or
// after the last, else i with frames[i] <= frame < frames[i + 1].
template <class Key>
int32_t FindSegment(const Key* keys, int32_t n, double frame) {
    if (!(frame > keys[0].frame)) return -1;
    if (frame >= keys[n - 1].frame) return n - 1;
    const Key* after = std::upper_bound(keys, keys + n, frame,
                                        [](double f, const Key& key) { return f < key.frame; });
    return static_cast<int32_t>(after - keys) - 1;
}

// ---- Matrices -------------------------------------------------------------------------------

// Engine axes from file axes: exchange rows 1 and 2 and columns 1 and 2 (P M P with P the
// exchange of y and z).
void FileToEngine(const Matrix4& file, Matrix4& engine) {
    static const int kSwap[4] = {0, 2, 1, 3};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            engine[4 * r + c] = file[4 * kSwap[r] + kSwap[c]];
    }
}

bool IsFinite(const Matrix4& m) {
    for (float v : m) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

// The inverse of a mesh matrix, or the identity when it has none (a zero matrix) or it
// cannot be inverted.
void MeshInverse(const Matrix4& mesh, Matrix4& inverse) {
    const double det = D(mesh[0]) * (D(mesh[5]) * D(mesh[10]) - D(mesh[6]) * D(mesh[9])) -
                       D(mesh[1]) * (D(mesh[4]) * D(mesh[10]) - D(mesh[6]) * D(mesh[8])) +
                       D(mesh[2]) * (D(mesh[4]) * D(mesh[9]) - D(mesh[5]) * D(mesh[8]));
    MatrixIdentity(inverse);
    if (!std::isfinite(det) || std::fabs(det) < 1e-20) return;
    Matrix4 affine = mesh;
    affine[3] = affine[7] = affine[11] = 0.0f;
    affine[15] = 1.0f;
    MatrixInverse(affine, inverse);
    if (!IsFinite(inverse)) MatrixIdentity(inverse);
}

// The camera matrix from a position and a target (engine axes), as SetupCamera builds it,
// turned by `roll` radians about its forward axis: right' = cos r right + sin r up,
// up' = cos r up - sin r right.
void CameraMatrix(const float p[3], const float t[3], double roll, Matrix4& m) {
    MatrixIdentity(m);
    m[12] = p[0];
    m[13] = p[1];
    m[14] = p[2];
    const double dx = D(t[0]) - D(p[0]), dy = D(t[1]) - D(p[1]), dz = D(t[2]) - D(p[2]);
    const double dlen = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(dlen > 0.0)) return;
    const double fx = dx / dlen, fy = dy / dlen, fz = dz / dlen;
    const double rx = -fz, rz = fx;  // f x (0, 1, 0)
    const double rlen = std::sqrt(rx * rx + rz * rz);
    if (!(rlen > 0.0)) return;
    double r[3] = {rx / rlen, 0.0, rz / rlen};
    double u[3] = {fy * r[2], fz * r[0] - fx * r[2], -fy * r[0]};  // f x r
    const double ulen = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& v : u)
        v /= ulen;
    const double c = std::cos(roll), s = std::sin(roll);
    for (int i = 0; i < 3; ++i) {
        m[i] = static_cast<float>(c * r[i] + s * u[i]);
        m[4 + i] = static_cast<float>(c * u[i] - s * r[i]);
    }
    m[8] = static_cast<float>(fx);
    m[9] = static_cast<float>(fy);
    m[10] = static_cast<float>(fz);
}

}  // namespace

// ---- Preparing ----------------------------------------------------------------------------

void PrepareAnimation(const Scene& scene, SceneAnimation& animation) {
    animation = SceneAnimation{};
    const int32_t n = std::max(scene.nodeCount, 0);
    animation.nodes.resize(static_cast<size_t>(n));
    bool anyKey = false;
    double firstKey = 0.0;
    double lastKey = 0.0;
    auto noteKeys = [&](double first, double last) {
        firstKey = anyKey ? std::min(firstKey, first) : first;
        lastKey = anyKey ? std::max(lastKey, last) : last;
        anyKey = true;
    };
    for (int32_t i = 0; i < n; ++i) {
        const KeyframerNode& source = scene.nodes[i];
        const float* pivot = NodeExtras(source).pivot;
        AnimatedNode& node = animation.nodes[i];
        node.kind = source.kind;
        node.record = source.recordIndex;
        node.pivot[0] = FiniteOr0(pivot[0]);
        node.pivot[1] = FiniteOr0(pivot[2]);
        node.pivot[2] = FiniteOr0(pivot[1]);
        node.position =
            PrepareVectorTrack(NodeTrack(source, NodePositionTrack), animation.vectorKeys);
        node.scale = PrepareVectorTrack(NodeTrack(source, NodeScaleTrack), animation.vectorKeys);
        node.fov = PrepareVectorTrack(NodeTrack(source, NodeFovTrack), animation.vectorKeys);
        node.roll = PrepareVectorTrack(NodeTrack(source, NodeRollTrack), animation.vectorKeys);
        node.rotation =
            PrepareRotationTrack(NodeTrack(source, NodeRotationTrack), animation.rotationKeys);
        for (const PreparedTrack* t : {&node.position, &node.scale, &node.fov, &node.roll}) {
            if (t->count == 0) continue;
            const PreparedVectorKey* k = &animation.vectorKeys[t->first];
            noteKeys(k[0].frame, k[t->count - 1].frame);
            if (t->count > 1) animation.animated = true;
        }
        if (node.rotation.count > 0) {
            const PreparedRotationKey* k = &animation.rotationKeys[node.rotation.first];
            noteKeys(k[0].frame, k[node.rotation.count - 1].frame);
            if (node.rotation.count > 1) animation.animated = true;
        }
        node.hideFirst = static_cast<int32_t>(animation.hideFrames.size());
        const KeyTrack& hide = NodeTrack(source, NodeHideTrack);
        for (int32_t k = 0; hide.frames != nullptr && k < hide.keyCount; ++k)
            animation.hideFrames.push_back(static_cast<double>(hide.frames[k]));
        std::sort(animation.hideFrames.begin() + node.hideFirst, animation.hideFrames.end());
        node.hideCount = static_cast<int32_t>(animation.hideFrames.size()) - node.hideFirst;
        if (node.hideCount > 0) animation.animated = true;
    }

    // Parents: by node id, the first node of that id; loops cut (see the header).
    std::vector<std::pair<int32_t, int32_t>> ids;
    for (int32_t i = 0; i < n; ++i)
        ids.push_back({scene.nodes[i].nodeId, i});
    std::stable_sort(ids.begin(), ids.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (int32_t i = 0; i < n; ++i) {
        const int32_t parentId = scene.nodes[i].parentId;
        if (static_cast<uint32_t>(parentId) == kNoParent) continue;
        auto it = std::lower_bound(ids.begin(), ids.end(), std::make_pair(parentId, INT32_MIN));
        if (it != ids.end() && it->first == parentId && it->second != i) {
            animation.nodes[i].parent = it->second;
        }
    }
    std::vector<uint8_t> state(static_cast<size_t>(n), 0);  // 0 new, 1 on the walk, 2 placed
    std::vector<int32_t> walk;
    for (int32_t i = 0; i < n; ++i) {
        if (state[i] != 0) continue;
        walk.clear();
        int32_t j = i;
        while (j >= 0 && state[j] == 0) {
            state[j] = 1;
            walk.push_back(j);
            j = animation.nodes[j].parent;
        }
        if (j >= 0 && state[j] == 1) animation.nodes[walk.back()].parent = -1;
        for (size_t k = walk.size(); k-- > 0;) {
            state[walk[k]] = 2;
            animation.order.push_back(walk[k]);
        }
    }

    animation.objectInverse.resize(static_cast<size_t>(std::max(scene.objectCount, 0)));
    for (int32_t i = 0; i < scene.objectCount; ++i)
        MeshInverse(scene.objects[i].matrix, animation.objectInverse[i]);
    animation.cameraNode.assign(static_cast<size_t>(std::max(scene.cameraCount, 0)), -1);
    animation.targetNode.assign(animation.cameraNode.size(), -1);
    for (int32_t i = 0; i < n; ++i) {
        const AnimatedNode& node = animation.nodes[i];
        if (node.record < 0 || node.record >= scene.cameraCount) continue;
        if (node.kind == KeyframerCameraNode && animation.cameraNode[node.record] < 0) {
            animation.cameraNode[node.record] = i;
        }
        if (node.kind == KeyframerTargetNode && animation.targetNode[node.record] < 0) {
            animation.targetNode[node.record] = i;
        }
    }

    // The frames to play.
    double start = scene.segmentStart;
    double end = scene.segmentEnd;
    if (end < start) std::swap(start, end);
    if (scene.segmentStart == 0 && scene.segmentEnd == 0 && anyKey) {
        start = firstKey;
        end = lastKey;
    }
    animation.firstFrame = start;
    animation.lastFrame = end;

    Matrix4 identity;
    MatrixIdentity(identity);
    animation.worldFile.assign(static_cast<size_t>(n), identity);
    animation.world.assign(static_cast<size_t>(n), identity);
    animation.object.assign(static_cast<size_t>(n), identity);
    animation.hidden.assign(static_cast<size_t>(n), 0);
    animation.frame = start;
}

// ---- Evaluating ---------------------------------------------------------------------------

void EvaluateNodeVector(const SceneAnimation& animation, const PreparedTrack& track, double frame,
                        const float rest[3], float out[3]) {
    if (track.count <= 0) {
        for (int c = 0; c < 3; ++c)
            out[c] = rest[c];
        return;
    }
    const PreparedVectorKey* k = &animation.vectorKeys[track.first];
    const int32_t i = FindSegment(k, track.count, frame);
    if (i < 0 || i == track.count - 1 || frame == k[i].frame) {
        const PreparedVectorKey& key = k[i < 0 ? 0 : i];
        for (int c = 0; c < 3; ++c)
            out[c] = key.value[c];
        return;
    }
    const PreparedVectorKey& a = k[i];
    const PreparedVectorKey& b = k[i + 1];
    const double u = Ease((frame - a.frame) / (b.frame - a.frame), D(a.easeFrom), D(b.easeTo));
    double h[4];
    Hermite(u, h);
    for (int c = 0; c < 3; ++c) {
        out[c] = static_cast<float>(h[0] * D(a.value[c]) + h[1] * D(b.value[c]) +
                                    h[2] * D(a.outgoing[c]) + h[3] * D(b.incoming[c]));
    }
}

Quaternion EvaluateNodeRotation(const SceneAnimation& animation, int32_t node, double frame) {
    const PreparedTrack& track = animation.nodes[node].rotation;
    if (track.count <= 0) return Identity();
    const PreparedRotationKey* k = &animation.rotationKeys[track.first];
    const int32_t i = FindSegment(k, track.count, frame);
    if (i < 0 || i == track.count - 1 || frame == k[i].frame) return k[i < 0 ? 0 : i].q;
    const PreparedRotationKey& a = k[i];
    const PreparedRotationKey& b = k[i + 1];
    const double u = Ease((frame - a.frame) / (b.frame - a.frame), D(a.easeFrom), D(b.easeTo));
    const Quaternion squad = Squad(a.q, a.a, b.b, b.q, u);
    const Quaternion& g = b.turn;
    if (g.x * g.x + g.y * g.y + g.z * g.z <= kHalfTurnLogSquared) return squad;
    // A segment of more than half a turn: squad's shaping (its departure from the shorter
    // arc, q_i slerp^-1 squad) carried along the whole turn q_i exp(u g).
    const Quaternion arc = Slerp(a.q, b.q, u);
    const Quaternion shaping = Multiply({-arc.x, -arc.y, -arc.z, arc.w}, squad);
    const Quaternion along = Multiply(a.q, Exp({u * g.x, u * g.y, u * g.z, 0.0}));
    return Normalized(Multiply(along, shaping));
}

// Row-vector matrix of the rotation q: the transpose of the usual column-vector matrix.
void QuaternionMatrix(const Quaternion& q, Matrix4& m) {
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    const double n = x * x + y * y + z * z + w * w;
    const double s = n > 0.0 ? 2.0 / n : 0.0;
    const double xx = x * x * s, yy = y * y * s, zz = z * z * s;
    const double xy = x * y * s, xz = x * z * s, yz = y * z * s;
    const double wx = w * x * s, wy = w * y * s, wz = w * z * s;
    MatrixIdentity(m);
    m[0] = static_cast<float>(1.0 - (yy + zz));
    m[1] = static_cast<float>(xy + wz);
    m[2] = static_cast<float>(xz - wy);
    m[4] = static_cast<float>(xy - wz);
    m[5] = static_cast<float>(1.0 - (xx + zz));
    m[6] = static_cast<float>(yz + wx);
    m[8] = static_cast<float>(xz + wy);
    m[9] = static_cast<float>(yz - wx);
    m[10] = static_cast<float>(1.0 - (xx + yy));
}

void EvaluateAnimation(SceneAnimation& animation, double frame) {
    if (!std::isfinite(frame)) frame = animation.firstFrame;
    animation.frame = frame;
    static const float kZero[3] = {0, 0, 0};
    static const float kOne[3] = {1, 1, 1};
    for (int32_t i : animation.order) {
        const AnimatedNode& node = animation.nodes[i];
        float position[3];
        float scale[3];
        EvaluateNodeVector(animation, node.position, frame, kZero, position);
        EvaluateNodeVector(animation, node.scale, frame, kOne, scale);
        Matrix4 local;
        QuaternionMatrix(EvaluateNodeRotation(animation, i, frame), local);
        // Local = S R T(position) in file axes: scale the rotation's rows, then translate.
        const float fileScale[3] = {scale[0], scale[2], scale[1]};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                local[4 * r + c] *= fileScale[r];
        }
        local[12] = position[0];
        local[13] = position[2];
        local[14] = position[1];
        Matrix4& worldFile = animation.worldFile[i];
        if (node.parent >= 0) {
            MatrixMultiply(animation.worldFile[node.parent], local, worldFile);
        } else {
            worldFile = local;
        }
        FileToEngine(worldFile, animation.world[i]);

        // Hidden when an odd number of hide keys lie at or before the frame.
        const double* hide = animation.hideFrames.data() + node.hideFirst;
        const auto toggles = std::upper_bound(hide, hide + node.hideCount, frame) - hide;
        animation.hidden[i] = static_cast<uint8_t>(toggles & 1);

        Matrix4& object = animation.object[i];
        if (node.kind != KeyframerObjectNode || node.record < 0 ||
            node.record >= static_cast<int32_t>(animation.objectInverse.size())) {
            MatrixIdentity(object);
            continue;
        }
        // Stored vertices -> the mesh's own frame (inverse mesh matrix) -> about the pivot
        // -> the node's world.
        Matrix4 pivoted = worldFile;
        const float px = -node.pivot[0], py = -node.pivot[1], pz = -node.pivot[2];
        for (int c = 0; c < 3; ++c) {
            pivoted[12 + c] = px * worldFile[c] + py * worldFile[4 + c] + pz * worldFile[8 + c] +
                              worldFile[12 + c];
        }
        Matrix4 objectFile;
        MatrixMultiply(pivoted, animation.objectInverse[node.record], objectFile);
        FileToEngine(objectFile, object);
    }
}

bool EvaluateCamera(const Scene& scene, const SceneAnimation& animation, int32_t camera,
                    Matrix4& matrix, float& fovDegrees) {
    const Camera& cam = scene.cameras[camera];
    // A lens's horizontal field over a 36 mm frame, 2 atan(18 / lens); 90 degrees without one.
    fovDegrees = 90.0f;
    if (cam.lens > 0.0f && std::isfinite(cam.lens)) {
        fovDegrees = static_cast<float>(2.0 * std::atan(18.0 / D(cam.lens)) * 180.0 / kPi);
    }
    const int32_t node = camera < static_cast<int32_t>(animation.cameraNode.size())
                             ? animation.cameraNode[camera]
                             : -1;
    if (node < 0) {
        matrix = cam.matrix;
        return false;
    }
    const AnimatedNode& n = animation.nodes[node];
    const double frame = animation.frame;
    const float* w = animation.world[node].data();
    float position[3] = {w[12], w[13], w[14]};
    if (n.position.count == 0) {
        position[0] = cam.position[0];
        position[1] = cam.position[2];
        position[2] = cam.position[1];
    }
    float target[3] = {cam.target[0], cam.target[2], cam.target[1]};
    const int32_t t = animation.targetNode[camera];
    if (t >= 0 && animation.nodes[t].position.count > 0) {
        const float* tw = animation.world[t].data();
        target[0] = tw[12];
        target[1] = tw[13];
        target[2] = tw[14];
    }
    static const float kZero[3] = {0, 0, 0};
    float roll[3];
    EvaluateNodeVector(animation, n.roll, frame, kZero, roll);
    if (n.fov.count > 0) {
        float fov[3];
        EvaluateNodeVector(animation, n.fov, frame, kZero, fov);
        fovDegrees = fov[0];
    }
    CameraMatrix(position, target, D(roll[0]) * kPi / 180.0, matrix);
    return true;
}

bool NodeMatrixIsFinite(const SceneAnimation& animation, int32_t node) {
    return IsFinite(animation.world[node]) && IsFinite(animation.object[node]);
}

double AnimationFrameAt(const SceneAnimation& animation, double seconds, double framesPerSecond) {
    const double span = animation.lastFrame - animation.firstFrame;
    const double played = seconds * framesPerSecond;
    if (!(span > 0.0) || !std::isfinite(played) || played < 0.0) return animation.firstFrame;
    return animation.firstFrame + std::fmod(played, span);
}
