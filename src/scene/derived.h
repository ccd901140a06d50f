// Geometry derived once after loading: face planes, vertex normals, camera matrices.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "scene/records.h"

// The plane of a face: with P0, P1, P2 the positions of vertex0, vertex1, vertex2,
// n = (P2 - P0) x (P1 - P0), (a, b, c) = n / |n| and d = -(a P0.x + b P0.y + c P0.z).
// A degenerate face (|n| = 0: repeated or collinear corners) gets the zero plane
// (0, 0, 0, 0). The renderer's facing test then draws it, exactly as it would draw the
// NaN plane that an unguarded division gives, and nothing non-finite is stored.
std::array<float, 4> ComputeFacePlane(const Face& face);

// Sets the plane of every face of the mesh. A mesh without faces is left alone.
void ComputeFacePlanes(MeshObject& mesh);

// Sets every vertex normal to the normalised sum of the planes (a, b, c) of all faces
// that touch the vertex's position. A face corner at exactly the vertex's position
// counts, whichever vertex record it names, once per corner: -0.0 equals 0.0, and a
// position with a NaN coordinate matches nothing, not even itself.
//
// The result is bit for bit that of the plain loop "for each vertex, for each face in
// order, for each corner vertex0, vertex1, vertex2 whose position equals the vertex's,
// add the face's (a, b, c)", but it takes time linear in the mesh: vertices are grouped
// by position and each group's sum is accumulated in the same face and corner order.
// A normal whose sum has length 0 (a vertex that no face touches, or whose planes
// cancel) is stored as (0, 0, 0). Needs the face planes. Keeps a per-thread scratch table
// between calls, so a load of many meshes allocates it once.
void ComputeVertexNormals(MeshObject& mesh);

// Numbers the mesh's vertices by exact position, as ComputeVertexNormals groups them:
// group[i] is the group of vertex i, groups numbered from 0 in order of first appearance
// (-0.0 equals 0.0); a vertex with a NaN coordinate matches nothing and gets a group of its
// own, numbered after all the others. Returns the number of groups. Time linear in the mesh.
int32_t GroupVertexPositions(const MeshObject& mesh, std::vector<int32_t>& group);

// ComputeFacePlanes and then ComputeVertexNormals, with the same results, in one pass over
// the faces: each face's plane is added to its corners' sums while the face is at hand.
void ComputePlanesAndNormals(MeshObject& mesh);

// Sets the camera's matrix from the first keys of its tracks:
// - no position track (an array missing or a key count of 0): the identity;
// - a position P but no target track: the identity with row 3 = P;
// - otherwise rows r, u, f, P: f the unit direction to the first target key T,
//   r = f x (0, 1, 0) normalised, u = f x r normalised.
// When T equals P or lies straight above or below it (the direction or r has length 0),
// the camera is placed as if it had no target: the identity with row 3 = P.
void SetupCamera(Camera& camera);
