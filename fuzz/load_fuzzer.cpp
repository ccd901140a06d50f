// libFuzzer target: every input is loaded as a scene file, checked and released again.
//
// Each input is written to an anonymous in-memory file and loaded through /proc/self/fd
// (memory_input.h).
//
// Beyond what the sanitizers catch, a load must end in one of two sound states, and the
// target aborts (a crash the fuzzer reports) when it does not:
// - no scene, with a reason in LastLoadError that is one line of printable ASCII (names in
//   it escaped), safe to print on a terminal as it is;
// - a scene whose every count matches its array, every face points into its own mesh's
//   vertices, every material index names a material, every name fits its 63 characters,
//   every key track has its arrays, and whose memory stays in proportion to the file.
// Every value the scene holds is read once, so that the sanitizers see any byte of it that
// was never written, and its keyframer animation is evaluated.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scene/animation.h"
#include "scene/loader.h"

#include "memory_input.h"

namespace {

MemoryInput input;

// Aborts with `what` when `holds` is false.
void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "load_fuzzer: unsound result: %s\n", what);
    std::abort();
}

// Sums the values so that every one is read; the sum itself means nothing.
float Touch(const float* values, int32_t count) {
    Check(count == 0 || values != nullptr, "a key track without its array");
    float sum = 0.0f;
    for (int32_t i = 0; i < count; ++i)
        sum += values[i];
    return sum;
}

void CheckName(const char* name) {
    Check(name != nullptr, "a record without a name");
    Check(std::strlen(name) <= 63, "a name longer than 63 characters");
}

float CheckMesh(const Scene& scene, const MeshObject& mesh) {
    CheckName(mesh.name);
    Check(mesh.vertexCount >= 0 && mesh.vertexCount <= 65535, "a vertex count out of range");
    Check(mesh.faceCount >= 0 && mesh.faceCount <= 65535, "a face count out of range");
    Check(mesh.vertexCount == 0 || mesh.vertices != nullptr, "vertices without their array");
    Check(mesh.faceCount == 0 || mesh.faces != nullptr, "faces without their array");
    float sum = 0.0f;
    for (int32_t v = 0; v < mesh.vertexCount; ++v) {
        const Vertex& vertex = mesh.vertices[v];
        sum += vertex.x + vertex.y + vertex.z + vertex.u + vertex.v;
        sum += vertex.nx + vertex.ny + vertex.nz;
    }
    for (int32_t f = 0; f < mesh.faceCount; ++f) {
        const Face& face = mesh.faces[f];
        for (const Vertex* corner : {face.vertex0, face.vertex1, face.vertex2}) {
            Check(corner >= mesh.vertices && corner < mesh.vertices + mesh.vertexCount,
                  "a face corner outside its mesh's vertices");
        }
        Check(face.material >= -1 && face.material < scene.materialCount,
              "a face material index out of range");
        sum += face.plane[0] + face.plane[1] + face.plane[2] + face.plane[3];
    }
    for (float m : mesh.matrix)
        sum += m;
    const int32_t p = mesh.positionKeyCount, r = mesh.rotationKeyCount;
    Check(p >= 0 && r >= 0, "a negative key count");
    sum += Touch(mesh.positionKeyFrames, p) + Touch(mesh.positionKeyX, p) +
           Touch(mesh.positionKeyY, p) + Touch(mesh.positionKeyZ, p);
    sum += Touch(mesh.rotationKeyFrames, r) + Touch(mesh.rotationKeyAngle, r) +
           Touch(mesh.rotationKeyAxisX, r) + Touch(mesh.rotationKeyAxisY, r) +
           Touch(mesh.rotationKeyAxisZ, r);
    return sum + static_cast<float>(mesh.nodeId + mesh.parentId);
}

float CheckCamera(const Camera& camera) {
    CheckName(camera.name);
    float sum = camera.bank + camera.lens;
    for (int i = 0; i < 3; ++i)
        sum += camera.position[i] + camera.target[i];
    for (float m : camera.matrix)
        sum += m;
    const int32_t p = camera.positionKeyCount, t = camera.targetKeyCount;
    Check(p >= 0 && t >= 0, "a negative key count");
    sum += Touch(camera.positionKeyFrames, p) + Touch(camera.positionKeyX, p) +
           Touch(camera.positionKeyY, p) + Touch(camera.positionKeyZ, p);
    sum += Touch(camera.targetKeyFrames, t) + Touch(camera.targetKeyX, t) +
           Touch(camera.targetKeyY, t) + Touch(camera.targetKeyZ, t);
    return sum;
}

float CheckLight(const Light& light) {
    CheckName(light.name);
    float sum =
        light.hotspot + light.falloff + light.innerRange + light.outerRange + light.multiplier;
    for (int i = 0; i < 3; ++i) {
        sum += light.position[i] + light.target[i] + light.color[i];
        sum += static_cast<float>(light.color255[i]);
    }
    return sum + static_cast<float>(light.isSpot + light.isOff + light.rayShadow);
}

float CheckTrack(const KeyTrack& track) {
    Check(track.keyCount >= 0 && track.components >= 0 && track.components <= 4,
          "a node track count out of range");
    if (track.keyCount == 0) return 0.0f;
    Check(track.frames != nullptr && track.splines != nullptr &&
              (track.components == 0 || track.values != nullptr),
          "a node track without its arrays");
    float sum = Touch(track.values, track.keyCount * track.components);
    for (int32_t k = 0; k < track.keyCount; ++k) {
        const KeySpline& s = track.splines[k];
        sum += static_cast<float>(track.frames[k]) + s.tension + s.continuity + s.bias + s.easeTo +
               s.easeFrom + static_cast<float>(s.flags);
    }
    return sum;
}

float CheckNode(const KeyframerNode& node) {
    const KeyframerNodeExtras& extras = NodeExtras(node);
    if (node.name != nullptr) CheckName(node.name);
    if (extras.instanceName != nullptr) CheckName(extras.instanceName);
    Check(node.kind >= 0xB001 && node.kind <= 0xB007, "a node of no known kind");
    float sum = static_cast<float>(node.nodeId + node.parentId + node.recordIndex + node.flags1 +
                                   node.flags2 + extras.hasPivot);
    sum += extras.pivot[0] + extras.pivot[1] + extras.pivot[2];
    for (const KeyTrack* t = extras.tracks; t != nullptr; t = t->next) {
        Check(t->kind >= NodePositionTrack && t->kind <= NodeHideTrack, "a track of no known kind");
        sum += CheckTrack(*t);
    }
    return sum;
}

// Evaluates the scene's animation at a few frame times: it must neither crash nor hang.
float EvaluateScene(const Scene& scene) {
    SceneAnimation animation;
    PrepareAnimation(scene, animation);
    Check(animation.order.size() == animation.nodes.size(), "a node left out of the order");
    float sum = 0.0f;
    for (double frame : {animation.firstFrame, (animation.firstFrame + animation.lastFrame) / 2,
                         animation.lastFrame + 1.0}) {
        EvaluateAnimation(animation, frame);
        for (const Matrix4& m : animation.object)
            sum += m[12];
        for (int32_t c = 0; c < scene.cameraCount; ++c) {
            Matrix4 matrix;
            float fov = 0.0f;
            EvaluateCamera(scene, animation, c, matrix, fov);
            sum += matrix[14] + fov;
        }
    }
    return sum;
}

void CheckScene(const Scene& scene, size_t fileSize) {
    Check(LastLoadError().message.empty(), "a scene with a failure reason");
    Check(scene.objectCount >= 0 && scene.cameraCount >= 0 && scene.lightCount >= 0 &&
              scene.materialCount >= 0,
          "a negative record count");
    Check(scene.objectCount == 0 || scene.objects != nullptr, "objects without their array");
    Check(scene.cameraCount == 0 || scene.cameras != nullptr, "cameras without their array");
    Check(scene.lightCount == 0 || scene.lights != nullptr, "lights without their array");
    Check(scene.materialCount == 0 || scene.materials != nullptr, "materials without their array");
    float sum = static_cast<float>(scene.segmentStart) + static_cast<float>(scene.segmentEnd);
    for (int32_t i = 0; i < scene.objectCount; ++i)
        sum += CheckMesh(scene, scene.objects[i]);
    for (int32_t i = 0; i < scene.cameraCount; ++i)
        sum += CheckCamera(scene.cameras[i]);
    for (int32_t i = 0; i < scene.lightCount; ++i)
        sum += CheckLight(scene.lights[i]);
    for (int32_t i = 0; i < scene.materialCount; ++i)
        CheckName(scene.materials[i].name);
    Check(scene.nodeCount >= 0 && (scene.nodeCount == 0 || scene.nodes != nullptr),
          "nodes without their array");
    for (int32_t i = 0; i < scene.nodeCount; ++i)
        sum += CheckNode(scene.nodes[i]);
    sum += EvaluateScene(scene);
    // Records, arrays and names together: a few tens of bytes for each byte of the file.
    Check(scene.arena.bytesReserved <= 64 * fileSize + (1u << 20),
          "more memory than the file justifies");
    volatile float sink = sum;
    (void)sink;
}

void CheckFailure() {
    const std::string& message = LastLoadError().message;
    Check(!message.empty(), "no scene and no reason");
    Check(message.find('\n') == std::string::npos, "a reason of more than one line");
    for (const char c : message) {
        const unsigned char b = static_cast<unsigned char>(c);
        Check(b >= 0x20 && b < 0x7F, "a reason with a byte that is not printable ASCII");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    input = OpenMemoryInput("load_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FillMemoryInput(input, data, size);
    Scene* scene = LoadScene(input.path);
    if (scene != nullptr) {
        CheckScene(*scene, size);
    } else {
        CheckFailure();
    }
    FreeScene(scene);
    return 0;
}
