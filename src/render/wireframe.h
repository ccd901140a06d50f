// The wireframe renderer: projection parameters, facing test, projection and line stepper.
#pragma once

#include <cstdint>

#include "math/matrix.h"
#include "scene/records.h"

// Stores the frame size and computes the projection scale (320.0 for a width of 640).
void SetProjection(int32_t width, int32_t height);

// The same for a horizontal field of view in radians: the scale is width / (2 tan(fov / 2)).
// A field of view outside (0, pi) (NaN included) is taken as the default of SetProjection.
void SetProjectionFieldOfView(int32_t width, int32_t height, double fieldOfView);

// Draws the faces of `object` that face the camera as one-pixel lines of 0x0064FF96 into
// `pixels`, a frame of the size given to SetProjection with rows exactly that wide. Every
// 4,096 faces it runs CheckFrameStop (frame_stop.h) and leaves the rest when it says stop.
void RenderObject(const Matrix4& objectMatrix, const Matrix4& cameraMatrix,
                  const MeshObject& object, uint32_t* pixels);
