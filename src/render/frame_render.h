// The whole-frame renderer: every object of a scene drawn in one call, each vertex
// projected once, the work shared by a pool of threads started once.
//
// A frame drawn by RenderFrame is bit for bit the frame that RenderObject gives for each
// object in turn: a corner's screen position is exactly ProjectCorner's and every line is
// drawn by DrawLine. Lines all have one colour, so the order in which faces are drawn
// does not change the frame, and threads draw different faces into the same frame.
//
// Nothing is allocated per frame: PrepareFrameRender sizes the scratch arrays after a load
// (8 bytes a vertex for the projected corners, at most 4 more for the blocks of faces that
// can be skipped unread, one record per object) and starts the threads the first time. Built with
// TRELLIS_NO_THREADS (or for WebAssembly without threads) every frame is drawn by the caller alone,
// as it is with one thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/matrix.h"
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
// last PrepareFrameRender allowed for are drawn with RenderObject by the caller alone.
void RenderFrame(const MeshObject* objects, int32_t objectCount, ObjectMatrices matrices,
                 const Matrix4& cameraMatrix, uint32_t* pixels);

// Stops the pool's threads and releases the scratch arrays. Also done at process exit.
//
// Like RenderObject, none of these is for concurrent use: one thread draws a frame at a
// time (the pool's threads work only inside RenderFrame).
void ShutdownFrameRender();
