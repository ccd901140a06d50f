// Vertex normals of one large mesh whose every position is stored twice (texture seams).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "scene/derived.h"

namespace {

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    MeshObject object{};
};

// A grid of 181 x 181 positions, each stored as two vertex records (65,522 vertices, close
// to the 16-bit limit), with 65,535 faces spread over the grid.
void BuildMesh(Mesh& mesh) {
    const int side = 181;
    const int positions = side * side;
    mesh.vertices.resize(65535);
    for (int i = 0; i < 65535; ++i) {
        const int p = (i / 2) % positions;
        const float x = static_cast<float>(p % side), z = static_cast<float>(p / side);
        mesh.vertices[i] =
            Vertex{x, std::sin(x * 0.1f) * std::cos(z * 0.1f) * 5.0f, z, 0, 0, 0, 0, 0};
    }
    mesh.faces.resize(65535);
    for (int f = 0; f < 65535; ++f) {
        const int cell = f / 2 % ((side - 1) * (side - 1));
        const int cx = cell % (side - 1), cz = cell / (side - 1);
        const int a = 2 * (cz * side + cx) + (f & 1), b = a + 2, c = a + 2 * side, d = c + 2;
        Vertex* v = mesh.vertices.data();
        mesh.faces[f] =
            (f & 1) ? Face{-1, 0, &v[a], &v[b], &v[c], {}} : Face{-1, 0, &v[b], &v[d], &v[c], {}};
    }
    mesh.object.vertexCount = 65535;
    mesh.object.vertices = mesh.vertices.data();
    mesh.object.faceCount = 65535;
    mesh.object.faces = mesh.faces.data();
    ComputeFacePlanes(mesh.object);
}

void BM_VertexNormals(benchmark::State& state) {
    Mesh mesh;
    BuildMesh(mesh);
    for (auto _ : state) {
        ComputeVertexNormals(mesh.object);
        benchmark::DoNotOptimize(mesh.vertices.data());
    }
    state.SetItemsProcessed(state.iterations() * 65535);
}
BENCHMARK(BM_VertexNormals)->Unit(benchmark::kMillisecond);

}  // namespace
