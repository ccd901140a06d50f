// Views: how the scene is looked at. The fixed view, the fit view and the file's own
// cameras, all held as one small orbit state of plain fields, and the pure functions that
// input applies to it.
//
// The camera matrix is rebuilt from the state every tick, never accumulated. For the fit
// and camera views the whole object-to-view transform is built in double and rounded to
// float once (ViewObjectMatrix): RenderObject then gets that matrix as its object matrix
// and the identity as its camera matrix, so a scene a million units from the origin or a
// ten-thousandth of a unit across loses nothing to float products on the way.
//
// View space, as the renderer projects it: x to the right, y down the screen, z forward
// (depth). Scene space is engine axes: y is up, and the scene turns about y.
#pragma once

#include <cstdint>

#include "math/matrix.h"
#include "scene/records.h"

enum class ViewMode : int32_t {
    Fixed,   // the viewer's fixed camera, 150 units from the origin; objects spin in float
    Fit,     // orbit about the centre of the scene's box, at the distance that frames it
    Camera,  // through one of the file's cameras; the scene stands still
};

// Which of the file's axes points up. 3D Studio scenes are made with z up (the engine's y,
// the axis the scene turns about); some exporters write y up, which then lies on its side
// unless the view is told so. The views turn the whole scene, cameras included, so that the
// chosen axis points up; the fixed view keeps the file's z.
enum class UpAxis : int32_t {
    FileZ,  // the file's z is up (engine y): the scene as stored
    FileY,  // the file's y is up (engine z)
};

// A point or direction in engine axes turned so that `up` points up (the views' world axes):
// for FileY (x, y, z) becomes (x, z, -y), a quarter turn about x; FileZ leaves it as it is.
void SceneToWorld(UpAxis up, double v[3]);

// The box around every finite vertex position of a scene, in engine axes.
struct SceneBounds {
    double min[3] = {0.0, 0.0, 0.0};  // all zero when finiteCount is 0
    double max[3] = {0.0, 0.0, 0.0};
    int64_t finiteCount = 0;     // vertices whose three coordinates are finite
    int64_t nonFiniteCount = 0;  // vertices left out: a NaN or infinite coordinate
};

// Where the eye is and where it looks. The view of a scene point p (engine axes) is
//   v = s * ((p - centre) * Ry(spin + yaw) * Rz(pi) * Rx(tilt) * Rz(roll) + (panX, panY, distance))
// with Ry, Rx, Rz the rotations of MatrixRotateY/X/Z and s = unitScale. The eye is
// `distance` behind the centre along the view axis; distance 0 puts the eye at the centre
// (a file's camera: the centre is the camera's position).
struct ViewPose {
    double centre[3] = {0.0, 0.0, 0.0};  // the point the view turns about, engine axes
    double yaw = 0.0;          // radians about the vertical axis, added to the scene's spin
    double tilt = 0.0;         // radians the eye stands above the horizontal (looks down)
    double roll = 0.0;         // radians the frame is turned about the view axis
    double distance = 0.0;     // scene units from the eye to the centre along the view axis
    double panX = 0.0;         // scene units the picture is moved right ...
    double panY = 0.0;         // ... and down, at the centre's depth
    double fieldOfView = 0.0;  // horizontal, radians, in (0, pi)
};

struct ViewState {
    ViewMode mode = ViewMode::Fixed;
    UpAxis up = UpAxis::FileZ;            // kept by StartView; the fixed view ignores it
    ViewPose pose;                        // the current view
    ViewPose home;                        // the view it started with (ResetView) ...
    ViewMode homeMode = ViewMode::Fixed;  // ... its mode ...
    int32_t homeCameraIndex = -1;         // ... and camera
    double spin = 0.0;                    // radians the scene has turned (fit and fixed; camera: 0)
    double unitScale = 1.0;               // a power of two taking scene units to view units
    int32_t cameraIndex = -1;             // the file's camera looked through, -1 for none
    int32_t frameWidth = 640;
    int32_t frameHeight = 480;
    SceneBounds bounds;  // of the scene the view was started on
    // The fixed camera shows the scene mirrored left to right: the file's axes are stored
    // with y and z exchanged, a reflection, and the fixed view draws them as they are. The
    // fit and camera views show the scene the right way round, as the file's author saw it,
    // unless they grew out of the fixed view (input moving it), which keeps its picture.
    bool mirrored = true;
};

// Fixed values of the views.
inline constexpr double kDefaultFieldOfView = 1.5707963267948966;  // 90 degrees
// The fit view's: narrower than the fixed camera's, so that the near side of a turning
// scene does not loom much larger than its far side and the frame stays well filled.
inline constexpr double kFitFieldOfView = 1.0471975511965976;  // 60 degrees
inline constexpr double kFixedTilt = 0.5235987755982988;       // 30 degrees above
inline constexpr double kMaxTilt = 1.5533430342749532;         // 89 degrees
inline constexpr double kFitMargin = 0.05;       // of the half frame kept clear on every side,
inline constexpr double kFitMarginPixels = 2.0;  // and at least this many pixels

// The box around the scene's finite vertex positions: one pass over the vertices.
SceneBounds ComputeSceneBounds(const Scene& scene);

// The horizontal field of view of a file's camera in radians: 2 atan(18 / lens), the view
// of a 36 mm wide frame; 90 degrees where the lens is not a finite number above 0.
double CameraFieldOfView(const Camera& camera);

// The camera's position and target in engine axes, as its matrix is built from them: the
// first keys of its tracks where it has them, else its camera chunk's values.
void CameraPositionAndTarget(const Camera& camera, double position[3], double target[3]);

// A target farther from the camera than this many times the scene's reach (the larger of
// the scene's size and the camera's distance from the scene's centre) is taken as a fault of
// the file, not a place to look at: some exporters write a target track 1e17 away.
inline constexpr double kFarTargetFactor = 1e6;

// Where a file's camera stands and what it looks at, in engine axes, as the camera view
// takes them: the position as CameraPositionAndTarget gives it; the target of its target
// track's first key, unless that point is not finite or is absurdly far (kFarTargetFactor),
// then its camera chunk's own target under the same rule; with neither usable, none (the
// view then looks the fixed camera's way from the position).
struct CameraAim {
    double position[3] = {0.0, 0.0, 0.0};
    double target[3] = {0.0, 0.0, 0.0};
    bool hasTarget = false;           // false: no usable target
    bool targetFromKeys = false;      // the target is the target track's first key
    bool keyTargetIgnored = false;    // the target track's first key was not usable ...
    bool chunkTargetIgnored = false;  // ... the camera chunk's target was not (when asked)
    // What "far" was measured by, and how far each target refused lies from the camera
    // (infinity: not a finite point).
    double reach = 0.0;
    double keyTargetDistance = 0.0;
    double chunkTargetDistance = 0.0;
};
CameraAim AimCamera(const Camera& camera, const SceneBounds& bounds);

// The index of the camera called `name`, or -1.
int32_t FindCameraIndex(const Scene& scene, const char* name);

// Starts a view of `scene` in a frame of width x height (mirrored only when it ends Fixed),
// keeping the state's up axis:
// - Fixed: the fixed camera (the shell draws it through its own path);
// - Fit: framed by FitView; a scene with no finite position gets Fixed instead;
// - Camera: through camera `cameraIndex` (which must exist).
// The pose reached is also the home pose. The spin starts at 0.
void StartView(ViewState& state, const Scene& scene, ViewMode mode, int32_t cameraIndex,
               int32_t width, int32_t height);

// One tick: the scene turns by the viewer's spin step (fixed and fit views).
void AdvanceView(ViewState& state);

// The object-to-view transform of the state, in double: rows as in Matrix4 (row-vector
// convention, translation in elements 12, 13, 14).
struct ViewTransform {
    double m[16];
};
void BuildViewTransform(const ViewState& state, ViewTransform& out);

// out = objectMatrix * view rounded to float once; objectMatrix may be null (identity).
// Hand `out` to RenderObject with the identity as the camera matrix.
void ViewObjectMatrix(const ViewTransform& view, const Matrix4* objectMatrix, Matrix4& out);

// What input does to the state. A fixed view first becomes the equivalent orbit about the
// origin (mode Fit, centre 0, distance 150), so the picture does not jump.
void TurnView(ViewState& state, double yawAngle, double tiltAngle);  // tilt kept in +-89 deg
void ZoomView(ViewState& state, double factor);  // distance times factor (< 1: nearer);
                                                 // a camera's view narrows its field instead
void PanView(ViewState& state, double dxPixels, double dyPixels);  // picture follows the mouse
// Frames the scene again from the current direction (roll cleared): the centre of its box,
// the distance at which it stays inside the frame less its margin on every angle of the
// turn, the picture moved up or down to the middle of what the frame allows, and the fit's
// field of view. One pass over the vertices.
void FitView(ViewState& state, const Scene& scene);
void ResetView(ViewState& state);  // back to the home pose (the spin goes on)
// Shows the scene with `up` up: a fit view is framed again from its direction, a camera's
// view looks through its camera again, and a fixed view becomes its orbit about the origin
// first (so that it can turn). The pose reached is the new home.
void SetViewUpAxis(ViewState& state, const Scene& scene, UpAxis up);
// Looks through the next camera of the file (after the last: the first); a scene without
// cameras is left as it is. False when there is none.
bool NextCamera(ViewState& state, const Scene& scene);
