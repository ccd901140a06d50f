// Meshes built in code for the renderer's tests: a dense sphere, and meshes with corners
// about the near plane, far off-axis and on the frame's edges.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "scene/derived.h"
#include "scene/records.h"

#include "view_camera.h"

// Meshes built in code: vertices and faces by index.
struct BuiltScene {
    std::vector<std::vector<Vertex>> vertices;
    std::vector<std::vector<Face>> faces;
    std::vector<MeshObject> objects;

    void Add(std::vector<Vertex> v, const std::vector<std::array<int, 3>>& corners) {
        vertices.push_back(std::move(v));
        std::vector<Face> f;
        for (const auto& c : corners) {
            Vertex* base = vertices.back().data();
            f.push_back(Face{.material = -1,
                             .smoothing = 0,
                             .vertex0 = base + c[0],
                             .vertex1 = base + c[1],
                             .vertex2 = base + c[2],
                             .plane = {}});
        }
        faces.push_back(std::move(f));
    }

    // Call once every mesh is added (the vectors no longer move).
    void Attach(bool planes) {
        objects.assign(vertices.size(), MeshObject{});
        for (size_t i = 0; i < objects.size(); ++i) {
            objects[i].vertexCount = static_cast<int32_t>(vertices[i].size());
            objects[i].vertices = vertices[i].data();
            objects[i].faceCount = static_cast<int32_t>(faces[i].size());
            objects[i].faces = faces[i].data();
            objects[i].matrix = Identity();
            if (planes) ComputeFacePlanes(objects[i]);
        }
    }
};

// A latitude-longitude sphere of radius 85, 96 slices by 49 stacks: 9,215 faces.
inline void AddSphere(BuiltScene& scene) {
    constexpr int slices = 96, stacks = 49;
    const double pi = 3.141592653589793;
    std::vector<Vertex> v;
    for (int i = 0; i <= stacks; ++i) {
        const double theta = pi * i / stacks;
        for (int j = 0; j <= slices; ++j) {
            const double phi = 2.0 * pi * j / slices;
            v.push_back(Vertex{static_cast<float>(85.0 * std::sin(theta) * std::cos(phi)),
                               static_cast<float>(85.0 * std::cos(theta)),
                               static_cast<float>(85.0 * std::sin(theta) * std::sin(phi)), 0, 0, 0,
                               0, 0});
        }
    }
    std::vector<std::array<int, 3>> corners;
    const auto at = [](int i, int j) { return i * (slices + 1) + j; };
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            if (i != stacks - 1) corners.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            if (i != 0) corners.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    corners.pop_back();
    scene.Add(std::move(v), corners);
}

// Seen through an identity camera (view space is the turned object space): vertices a
// little off the turning axis, so that turning carries them through depth 0.1 and behind
// the camera, at heights up to far off-axis and beyond the float range on screen, some at
// depths just either side of 0.1 before the first turn, one NaN; and a mesh of faces with
// corners on and about the frame's edges. The planes stay zero, so every face is drawn.
inline void AddNearPlaneMeshes(BuiltScene& scene) {
    std::mt19937 random(15);
    const auto pick = [&random](std::initializer_list<float> values) {
        std::uniform_int_distribution<size_t> index(0, values.size() - 1);
        return values.begin()[index(random)];
    };
    std::uniform_real_distribution<float> offAxis(-0.3f, 0.3f);
    for (int mesh = 0; mesh < 2; ++mesh) {
        std::vector<Vertex> v;
        for (int i = 0; i < 400; ++i) {
            const float z = pick({0.1000001f, 0.099999994f, 0.1f, 0.0f, -2.0f, 0.35f, 6.0f});
            const float y = pick({0.0f, 1.5f, -40.0f, 3000.0f, -2e6f, 1e30f, -3e38f});
            v.push_back(Vertex{offAxis(random), y, z, 0, 0, 0, 0, 0});
        }
        v.push_back(Vertex{4000.0f, -3000.0f, 0.1000001f, 0, 0, 0, 0, 0});
        v.push_back(Vertex{std::numeric_limits<float>::quiet_NaN(), 1.0f, 5.0f, 0, 0, 0, 0, 0});
        std::uniform_int_distribution<int> corner(0, static_cast<int>(v.size()) - 1);
        std::vector<std::array<int, 3>> faces;
        for (int f = 0; f < 350; ++f)
            faces.push_back({corner(random), corner(random), corner(random)});
        scene.Add(std::move(v), faces);
        scene.Add({Vertex{0, 0, 1, 0, 0, 0, 0, 0}}, {});
    }

    // Corners about each edge of the frame before the first turn: at depth 320 a vertex at x
    // lands on column x + 320 and one at y on row y + 240. For each edge one group of 64
    // vertices (one vertex block) a pixel or more beyond it and one from just beyond it to
    // the first pixel inside; the faces of a group use only its own corners.
    const float groups[2][8] = {{-4.0f, -3.0f, -2.5f, -2.0f, -1.5f, -1.25f, -1.1f, -1.0f},
                                {-1.0f, -0.75f, -0.5f, 0.0f, 0.25f, 0.5f, 0.99f, 1.0f}};
    const float along[8] = {50.0f, 51.0f, 52.5f, 60.0f, 100.0f, 200.0f, 300.0f, 301.0f};
    std::vector<Vertex> v;
    std::vector<std::array<int, 3>> faces;
    std::uniform_int_distribution<int> inGroup(0, 63);
    for (int edge = 0; edge < 4; ++edge) {
        for (const auto& across : groups) {
            const int first = static_cast<int>(v.size());
            for (const float a : across) {
                for (const float b : along) {
                    const float size = edge < 2 ? 640.0f : 480.0f;
                    const float at = edge % 2 == 0 ? a : size - a;  // near 0 or near the size
                    const float column = edge < 2 ? at : b;
                    const float row = edge < 2 ? b : at;
                    v.push_back(Vertex{column - 320.0f, row - 240.0f, 320.0f, 0, 0, 0, 0, 0});
                }
            }
            for (int f = 0; f < 64; ++f) {
                faces.push_back(
                    {first + inGroup(random), first + inGroup(random), first + inGroup(random)});
            }
        }
    }
    scene.Add(std::move(v), faces);
}

// A Scene record over the built meshes (no materials, lights or cameras), for RenderScene.
inline Scene SceneOf(BuiltScene& built) {
    Scene scene{};
    scene.objectCount = static_cast<int32_t>(built.objects.size());
    scene.objects = built.objects.data();
    return scene;
}
