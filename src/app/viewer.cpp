// Opening scenes into the viewer's state, and starting their views.
#include "app/viewer.h"

#include <cstdio>
#include <string>

#include "app/exit_status.h"
#include "app/progress.h"
#include "app/scene_messages.h"
#include "scene/loader.h"
#include "scene/printable.h"

namespace {

void SetTitle(const ViewerState& state) {
    const std::string title = PrintableName(BaseName(SceneName(state))) + " - " + kWindowTitle;
    SetWindowTextA(state.window, title.c_str());
}

void NoteLines(ViewerState& state) {
    const auto count = static_cast<int32_t>(state.list.paths.size());
    NoteSceneLines(state.overlay, state.list.current, count > 0 ? count : 1, SceneName(state),
                   state.scene);
    DescribeViewerMaps(state.maps, state.scene, state.overlay.mapsLine,
                       sizeof state.overlay.mapsLine);
}

// Where the scene shown was read from, for finding its maps: "-" when it came from the
// first stream (standard input, which has no folder of its own).
std::string MapScenePath(const ViewerState& state) {
    return state.list.current == 0 && state.firstStream != nullptr ? "-" : SceneName(state);
}

// The camera `policy` asks for in the scene shown, in `camera`: -1 for a view that is not
// a camera's. False when the policy requires a camera the file does not have; the reason
// (and the file's cameras) is then on stderr.
bool FindAskedCamera(const ViewerState& state, const OpenPolicy& policy, int32_t& camera) {
    const Scene& scene = *state.scene;
    camera = -1;
    if (policy.view != ViewMode::Camera) return true;
    if (policy.required && scene.cameraCount <= 0) {
        ClearProgressLine();
        std::fprintf(stderr, "trellis: %s: the file has no cameras\n",
                     PrintableName(SceneName(state)).c_str());
        return false;
    }
    camera = policy.camera ? FindCameraIndex(scene, policy.camera) : 0;
    if (camera >= 0 && camera < scene.cameraCount) return true;
    camera = -1;
    if (!policy.required) return true;
    std::string names;
    for (int32_t i = 0; i < scene.cameraCount; ++i) {
        names += i == 0 ? " " : ", ";
        names += QuotedName(scene.cameras[i].name);
    }
    ClearProgressLine();
    std::fprintf(stderr, "trellis: %s: no camera named %s; the file's cameras:%s\n",
                 PrintableName(SceneName(state)).c_str(), QuotedName(policy.camera).c_str(),
                 names.c_str());
    return false;
}

// Says what the scene just opened will not show: a file that is not a 3DS file, a scene
// without a finite vertex position, an animation asked for that the file does not have; and
// over the sample scene, how to open a file.
void NoteOpenedScene(ViewerState& state, int32_t index, const char* name) {
    const std::string notA3ds = NotA3dsReason();
    std::string note;
    if (!notA3ds.empty()) {
        note = notA3ds;
        state.drawsNothing = true;
    } else {
        note = NothingToDrawReason(*state.scene);
        state.drawsNothing = !note.empty();
    }
    const PlaybackState& playback = state.playback;
    if (note.empty() && playback.active && playback.animate && !playback.still &&
        !playback.animation.animated) {
        note = kNoAnimationNote;
    }
    const std::string file = PrintableName(name);
    if (!note.empty()) {
        ClearProgressLine();
        std::fprintf(stderr, "trellis: %s: %s\n", file.c_str(), note.c_str());
    }
    if (!state.onScreen) return;
    if (!note.empty()) {
        std::snprintf(state.overlay.status, sizeof state.overlay.status, "%s: %s", file.c_str(),
                      note.c_str());
    } else if (state.showingSample && index == 0) {
        std::snprintf(state.overlay.status, sizeof state.overlay.status, "%s", kSampleNote);
    }
}

}  // namespace

const char* SceneName(const ViewerState& state) {
    const auto index = static_cast<size_t>(state.list.current);
    return index < state.list.paths.size() ? state.list.paths[index].c_str() : kDefaultSceneName;
}

int OpenScene(ViewerState& state, int32_t index, const OpenPolicy& policy) {
    if (index < 0 || index >= static_cast<int32_t>(state.list.paths.size())) {
        return kStatusFailure;
    }
    state.list.current = index;
    // The scene shown before goes first, with its maps: its memory serves the next load.
    DropViewerMaps(state.maps);
    FreeScene(state.scene);
    state.scene = nullptr;
    state.overlay.status[0] = '\0';
    state.drawsNothing = false;
    state.drag = DragState{};
    const char* name = SceneName(state);
    state.scene = index == 0 && state.firstStream != nullptr
                      ? LoadSceneFromStream(state.firstStream, name)
                      : LoadScene(name);
    if (!state.scene) {
        if (policy.required) {
            ClearProgressLine();
            std::fprintf(stderr, "trellis: %s\n", LoadFailureText(name).c_str());
            return kStatusFailure;
        }
        // The reason quotes the file's own bytes: shown only made printable.
        SetTitle(state);
        const std::string reason = PrintableName(LoadFailureText(name).c_str());
        ClearProgressLine();
        std::fprintf(stderr, "trellis: %s\n", reason.c_str());
        std::snprintf(state.overlay.status, sizeof state.overlay.status, "%s", reason.c_str());
        NoteLines(state);
        return kStatusFailure;
    }
    if (!policy.required) SetTitle(state);
    // The animation reads the mesh matrices, which the view then resets.
    StartPlayback(state.playback, *state.scene);
    NoteOpenedScene(state, index, name);
    state.render = policy.render;
    PrepareDrawing(state.draw, *state.scene, state.render,
                   state.playback.active ? state.playback.instancesPerObject.data() : nullptr);
    int32_t camera = -1;
    if (!FindAskedCamera(state, policy, camera)) return kStatusNoSuchCamera;
    const ViewMode mode =
        policy.view == ViewMode::Camera && camera < 0 ? ViewMode::Fit : policy.view;
    state.openedMode = mode;
    state.openedCamera = camera;
    StartSceneView(state, mode, camera);
    LoadViewerMaps(state.maps, *state.scene, MapScenePath(state), name);
    if (policy.required) SetTitle(state);
    NoteLines(state);
    return kStatusSuccess;
}

void ToggleTextures(ViewerState& state) {
    state.maps.shown = !state.maps.shown;
    if (state.scene != nullptr) {
        LoadViewerMaps(state.maps, *state.scene, MapScenePath(state), SceneName(state));
    }
    NoteLines(state);
}

void UpdateSceneMaps(ViewerState& state) {
    if (state.scene != nullptr && TakeLoadedMaps(state.maps, *state.scene)) NoteLines(state);
}

const SceneSamplers* SamplersToDraw(const ViewerState& state) {
    const ViewerMaps& maps = state.maps;
    if (state.scene == nullptr || !maps.shown || !maps.ready) return nullptr;
    const auto materials = static_cast<size_t>(state.scene->materialCount);
    if (maps.samplers.texture.size() != materials || maps.samplers.opacity.size() != materials)
        return nullptr;
    return &maps.samplers;
}

void StartSceneView(ViewerState& state, ViewMode mode, int32_t camera) {
    ResetObjectSpins(*state.scene);
    state.view.up = state.up;
    StartView(state.view, *state.scene, mode, camera, state.frameWidth, state.frameHeight);
    // A playing animation is framed over all its frames.
    FitPlaybackView(state.playback, state.view, *state.scene);
    state.firstStepPending = true;
}

void ResetObjectSpins(Scene& scene) {
    for (int32_t i = 0; i < scene.objectCount; ++i)
        MatrixIdentity(scene.objects[i].matrix);
}

void BuildFixedCamera(Matrix4& camera) {
    MatrixIdentity(camera);
    MatrixRotateZ(camera, kCameraTurnZ);
    MatrixRotateX(camera, kCameraTurnX);
    MatrixTranslate(camera, 0.0f, 0.0f, kCameraDistance);
}

void NextRenderModeOfViewer(ViewerState& state) {
    state.render = NextRenderMode(state.render);
    state.listPolicy.render = state.render;
}

void ResetViewer(ViewerState& state) {
    DropViewerMaps(state.maps);
    FreeScene(state.scene);
    state = ViewerState{};
}
