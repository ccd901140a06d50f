// The whole-frame renderer: every object of a scene, or a list of (mesh, matrix) instances,
// drawn in one call, each vertex projected once, the work shared by a pool of threads
// started once; in the wireframe or in a solid mode (render modes: shade.h).
//
// The wireframe drawn by RenderFrame or RenderScene is bit for bit the frame that
// RenderObject gives for each object or instance in turn: a corner's screen position is
// exactly ProjectCorner's and every line is drawn by DrawLine. Lines all have one colour, so
// the order in which faces are drawn does not change the frame, and threads draw different
// faces into the same frame.
//
// The solid modes draw triangles with a depth buffer (raster.h): the faces are binned into
// tiles of the frame, and each tile is drawn by one thread at a time in the faces' order, so
// a frame is the same, bit for bit, with any number of threads.
//
// Nothing is allocated per frame: PrepareFrameRender and PrepareSceneRender size the scratch
// arrays after a load and start the threads the first time; RenderScene sizes the depth
// buffer and the tiles' bins when the frame's size or the settings change. Built with
// TRELLIS_NO_THREADS (or for WebAssembly without threads) every frame is drawn by the caller
// alone, as it is with one thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/matrix.h"
#include "render/shade.h"
#include "render/texture.h"
#include "scene/records.h"

// Where the objects' matrices are: object i's at `first` plus i times `stride` bytes.
struct ObjectMatrices {
    const Matrix4* first;
    size_t stride;  // 0: `first` is every object's matrix
};

// Each object's own `matrix`.
ObjectMatrices OwnMatrices(const MeshObject* objects);
// One matrix for every object.
ObjectMatrices SameMatrix(const Matrix4& matrix);
// An array with one matrix per object.
ObjectMatrices MatrixPerObject(const Matrix4* matrices);

// One object drawn at one object matrix. A frame that draws instances may draw an object
// several times, or not at all (an animation's nodes: several nodes on one mesh, hidden ones).
struct ObjectInstance {
    int32_t object;  // the index of the object drawn
    Matrix4 matrix;  // its object matrix
};

// How a frame's work is shared.
struct FrameRenderSettings {
    int32_t threads = 1;  // threads drawing a frame, the caller's included; 1: the caller alone
    int32_t vertexBatch = 4096;          // vertices projected in one piece of work
    int32_t faceBatch = 2048;            // faces drawn in one piece of work
    int32_t minFacesForThreads = 16384;  // frames with fewer faces are drawn by the caller alone
};

// The processor's hardware threads (at most 8; 1 in a build without threads) and the
// batch sizes above.
FrameRenderSettings DefaultFrameRenderSettings();

// Replaces the settings (values below 1 count as 1; threads at most 64), stopping and
// starting the pool's threads when their number changes. Not for every frame. Until the
// first call the defaults hold.
void ConfigureFrameRender(const FrameRenderSettings& settings);

// Sizes the scratch arrays for `objects` (and any objects with no more vertices in all),
// notes which vertices each block of faces uses, and starts the pool's threads when they
// are not running and the objects have at least minFacesForThreads faces in all (smaller
// frames are drawn by the caller alone anyway). Call after a load, and again if faces are given
// other vertices; not for every frame. Vertex positions and matrices may change freely between
// frames.
void PrepareFrameRender(const MeshObject* objects, int32_t objectCount);

// Draws the faces of every object that face the camera into `pixels`, a frame of the size
// given to SetProjection: the frame RenderObject(matrix of object i, cameraMatrix,
// objects[i], pixels) gives for every i. More objects, or more vertices in all, than the
// last PrepareFrameRender allowed for are drawn in several pieces (the same frame); an object
// with more vertices or faces than it allowed for is drawn with RenderObject.
void RenderFrame(const MeshObject* objects, int32_t objectCount, ObjectMatrices matrices,
                 const Matrix4& cameraMatrix, uint32_t* pixels);

// ---- Scenes and instances ----

// One drawing of a mesh: the scene's object `object` placed by `matrix` (object space to the
// space the camera is given in, as RenderObject's objectMatrix).
struct RenderInstance {
    int32_t object;
    Matrix4 matrix;
};

// How RenderScene looks at the instances.
struct RenderView {
    Matrix4 camera;  // as RenderObject's cameraMatrix: the camera's place in the instances' space
    // Takes the scene's own space, where its lights stand, to the instances' space: the
    // identity when the instance matrices lead to the scene's space (the fixed view), the
    // view transform when the caller folds that into the instance matrices and gives an
    // identity camera (the fit view: ViewObjectMatrix(view, nullptr)).
    Matrix4 lightMatrix;
    RenderMode mode;
    // The materials' maps, drawn in the lit modes (shaded, edges): arrays of one sampler per
    // material of the scene (Scene::materialCount, indexed as Face::material), its texture
    // (diffuse) map and its opacity map. A sampler whose texture is null or empty is not
    // drawn, and neither array is read on faces of a mesh without texture coordinates: those
    // faces keep their material's colour. Null (as DefaultRenderView leaves them): no maps,
    // as when the viewer's textures are switched off. The samplers and their textures must
    // stay put during RenderScene.
    const MapSampler* textureMaps = nullptr;
    const MapSampler* opacityMaps = nullptr;
};

// Identity camera and light matrix, wireframe.
RenderView DefaultRenderView();

// Prepares for drawing `scene` with RenderScene: what PrepareFrameRender(scene.objects,
// scene.objectCount) does, and unless `mode` is the wireframe the solid modes' data too
// (corner normals from the smoothing groups, shade points, materials, lights; computed once
// here, in time about linear in the scene). `instancesPerObject` (null: one each) gives how
// many instances of each object a frame may draw, so that one chunk of work holds them all
// (a frame with more is drawn in several chunks: the same pixels in the wireframe, the same
// pixels but for the order of transparent faces in the solid modes). Call after every load;
// not for every frame.
void PrepareSceneRender(const Scene& scene, RenderMode mode,
                        const int32_t* instancesPerObject = nullptr);

// Draws the instances into `pixels`, a frame of the size given to SetProjection (at most
// kMaxRasterSize a side for the solid modes), and fills the rest of the frame with the
// mode's background (SceneBackground):
// - wireframe: the frame RenderObject(instance matrix, view.camera, object, pixels) gives for
//   each instance in turn on a black frame;
// - shaded: the faces filled in their materials and lights, nearest first, both sides, wire
//   materials as their edges, transparent faces over what they cover; with the view's maps,
//   textured faces (perspective-correct, mip levels chosen per pixel) and faces cut out or
//   thinned by their opacity maps (drawn with the transparent faces);
// - edges: shaded, with every face's three edges drawn over it in the wireframe's colour
//   where no face lies in front of them;
// - hidden-line: every face's three edges in the wireframe's colour on black, where no face
//   lies in front of them.
// Instances of objects outside the scene's are left out. A scene other than the one last
// prepared is prepared first (allocating); the first solid frame after a wireframe-only
// prepare builds the solid modes' data; solid frames size the depth buffer and the tiles'
// bins when the frame's size or the settings change. Solid frames are shared among the
// pool's threads when they have minFacesForThreads faces or at least 2^18 pixels (the first
// such frame starts the threads).
void RenderScene(const Scene& scene, const RenderInstance* instances, int32_t count,
                 const RenderView& view, uint32_t* pixels);

// Stops the pool's threads and releases the scratch arrays. Also done at process exit.
//
// Like RenderObject, none of these is for concurrent use: one thread draws a frame at a
// time (the pool's threads work only inside RenderFrame and RenderScene).
void ShutdownFrameRender();
