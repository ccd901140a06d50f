// Loads a .3ds scene with the installed Trellis library and prints each mesh: its name, its
// vertex and face counts and the box its vertices span (engine axes: y is up).
//
//   print_meshes SCENE.3ds
//
// Exit status 0, or 1 when the scene does not load (the reason on stderr), 2 on usage.
#include <trellis/scene/loader.h>
#include <trellis/scene/records.h>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: print_meshes SCENE.3ds\n");
        return 2;
    }
    Scene* scene = LoadScene(argv[1]);
    if (scene == nullptr) {
        const LoadError& error = LastLoadError();
        std::fprintf(stderr, "print_meshes: %s: offset %lld, chunk 0x%04X: %s\n", argv[1],
                     static_cast<long long>(error.offset), error.chunkId, error.message.c_str());
        return 1;
    }
    std::printf("%s: %d meshes, %d materials, %d lights, %d cameras\n", argv[1], scene->objectCount,
                scene->materialCount, scene->lightCount, scene->cameraCount);
    for (int32_t i = 0; i < scene->objectCount; ++i) {
        const MeshObject& mesh = scene->objects[i];
        std::printf("mesh \"%s\": %d vertices, %d faces", mesh.name, mesh.vertexCount,
                    mesh.faceCount);
        if (mesh.vertexCount > 0) {
            float low[3] = {mesh.vertices[0].x, mesh.vertices[0].y, mesh.vertices[0].z};
            float high[3] = {low[0], low[1], low[2]};
            for (int32_t v = 1; v < mesh.vertexCount; ++v) {
                const float p[3] = {mesh.vertices[v].x, mesh.vertices[v].y, mesh.vertices[v].z};
                for (int k = 0; k < 3; ++k) {
                    low[k] = std::min(low[k], p[k]);
                    high[k] = std::max(high[k], p[k]);
                }
            }
            std::printf(", box (%g, %g, %g) to (%g, %g, %g)", static_cast<double>(low[0]),
                        static_cast<double>(low[1]), static_cast<double>(low[2]),
                        static_cast<double>(high[0]), static_cast<double>(high[1]),
                        static_cast<double>(high[2]));
        }
        std::printf("\n");
    }
    FreeScene(scene);
    return 0;
}
