// Handlers of the mesh, light and camera chunks, and of the material name that opens a
// material (its other chunks are in material_chunks.cpp).
//
// Each handler reads the same bytes in both passes; the counting flag is tested only where
// something is counted or stored. Array payloads are checked against the bytes left in
// their chunk (and the file) before anything is allocated for them; in the fill pass they
// are read with one read into scratch memory and decoded from there, and wherever nothing
// is stored (the counting pass, or no record open) they are skipped whole.
//
// A chunk that needs an open record (a mesh for the vertex list, face list, face material
// group, texture coordinates and mesh matrix; a light for the spotlight, range, multiplier,
// off and shadow chunks) when no record of that kind has been opened yet in this load is
// read whole, so that a walk of its children starts in the right place, and dropped.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "scene/loader.h"
#include "scene/loader_internal.h"
#include "scene/printable.h"

namespace {

// ---- Index checks -----------------------------------------------------------------------
// Every index that a mesh chunk reads from the file is checked here against the array it
// addresses, before it is used:
// - a face corner at or above the mesh's vertexCount fails the load; a face list read
//   before any vertex list of its mesh meets vertexCount 0, so any face in it fails;
// - a face-material entry at or above the mesh's faceCount is skipped (exporters write such
//   entries for point and line primitives that have no face here);
// - texture coordinates beyond the mesh's vertexCount are read and dropped.

bool CornerInRange(uint32_t corner, const MeshObject& mesh) {
    return corner < static_cast<uint32_t>(mesh.vertexCount);
}

// (A mesh loaded without its faces, for a report, has none to name.)
bool FaceInRange(uint32_t face, const MeshObject& mesh) {
    return face < static_cast<uint32_t>(mesh.faceCount) && mesh.faces != nullptr;
}

uint32_t TexCoordsKept(uint32_t count, const MeshObject& mesh) {
    const uint32_t vertexCount = static_cast<uint32_t>(mesh.vertexCount);
    return count < vertexCount ? count : vertexCount;
}

// ---- Shared pieces ----------------------------------------------------------------------

// Reads a u16 count and checks that `count` entries of `entrySize` bytes follow it in the
// chunk. `entries` names the entries in the plural, for the reason of a failure.
int32_t ReadCountedPayload(FILE* stream, int32_t chunkEnd, int64_t entrySize, const char* entries,
                           uint16_t* count) {
    char subject[80];
    std::snprintf(subject, sizeof subject, "the count of the %s needs", entries);
    if (ReadU16(stream, chunkEnd, count, subject) != 0) return -1;
    std::snprintf(subject, sizeof subject, "%u %s need", *count, entries);
    return NeedBytes(chunkEnd, *count * entrySize, subject);
}

// Counting pass: adds a list's entries to the totals when the fill pass will give them to a
// mesh (one has been opened before them).
void CountListed(int64_t LoadTotals::*total, uint16_t count) {
    LoaderState& s = loaderState;
    if (s.countingPass && s.scene->objectCount > 0) s.totals.*total += count;
}

// Fill pass without keeping faces: checks every corner of `count` faces as ReadFaceList
// does and gives the mesh their count only.
int32_t CheckFacesOnly(FILE* stream, int64_t bytes, uint16_t count, MeshObject& mesh) {
    const unsigned char* p = ReadToScratch(stream, static_cast<size_t>(bytes));
    if (p == nullptr) return -1;
    for (uint32_t i = 0; i < count; ++i, p += 8) {
        for (uint32_t corner : {GetU16(p), GetU16(p + 2), GetU16(p + 4)}) {
            if (!CornerInRange(corner, mesh)) {
                return LoadFail("face %u of mesh %s names vertex %u of %d", i,
                                QuotedName(mesh.name).c_str(), corner, mesh.vertexCount);
            }
        }
    }
    mesh.faces = nullptr;
    mesh.faceCount = count;
    return 0;
}

// The record opened by the most recent opening chunk of its kind, in the fill pass only.
MeshObject* OpenMesh() {
    return loaderState.countingPass ? nullptr : loaderState.currentObject;
}
Light* OpenLight() {
    return loaderState.countingPass ? nullptr : loaderState.currentLight;
}

// Fill pass: the next record of a kind, with its name copied from currentName and entered
// in the kind's index of names. The
// counting pass counted every record, so the cursor stays below the count unless the
// file changed between the passes, which fails the load.
template <class T>
T* OpenNextRecord(T* records, int32_t count, int32_t& cursor, NameIndex& names, const char* kind) {
    LoaderState& s = loaderState;
    if (cursor >= count) {
        LoadFail("more %s than the first pass counted: the file changed while loading", kind);
        return nullptr;
    }
    T* record = &records[cursor++];
    record->name = ArenaCopyName(s.scene->arena, s.currentName);
    if (record->name == nullptr) {
        LoadFail("out of memory for the name %s", QuotedName(s.currentName).c_str());
        return nullptr;
    }
    AddToNameIndex(names, records, cursor - 1);
    return record;
}

// Reads one float of a light parameter chunk; `field` of the open light receives it.
int32_t ReadLightFloat(FILE* stream, int32_t chunkEnd, float Light::*field, const char* what) {
    unsigned char bytes[4];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, what) != 0) return -1;
    if (Light* light = OpenLight()) light->*field = GetFloat(bytes);
    return 0;
}

}  // namespace

// ---- Names and opening chunks -----------------------------------------------------------

// 0x4000: the object's name, for the mesh, light or camera among its children. Never fails:
// a name cut short by the end of the chunk is kept as read.
int32_t ReadObjectName(FILE* stream, int32_t chunkEnd) {
    ReadName(stream, chunkEnd, loaderState.currentName);
    return 0;
}

// 0xA000: the material's name, which opens the next Material with its defaults and makes it
// the one that the chunks after it in its material chunk describe.
int32_t ReadMaterialName(FILE* stream, int32_t chunkEnd) {
    LoaderState& s = loaderState;
    if (ReadName(stream, chunkEnd, s.currentName)) {
        return LoadFail("the material name runs into the end of the %s", LimitName());
    }
    Scene* scene = s.scene;
    if (s.countingPass) {
        ++scene->materialCount;
        return 0;
    }
    Material* material = OpenNextRecord(scene->materials, scene->materialCount, s.nextMaterial,
                                        s.materialNames, "materials");
    if (material == nullptr) return -1;
    SetMaterialDefaults(*material);
    s.currentMaterial = material;
    return 0;
}

// 0x4100: opens the next MeshObject under the name of its 0x4000 parent.
int32_t ReadTriMesh(FILE*, int32_t) {
    LoaderState& s = loaderState;
    Scene* scene = s.scene;
    if (s.countingPass) {
        ++scene->objectCount;
        return 0;
    }
    MeshObject* mesh =
        OpenNextRecord(scene->objects, scene->objectCount, s.nextObject, s.objectNames, "meshes");
    if (mesh == nullptr) return -1;
    s.currentObject = mesh;
    return 0;
}

// 0x4600: the light's position (file x, y, z stored as x, z, y); opens the next Light, whose
// own colour is white until a colour chunk under it says otherwise.
int32_t ReadLight(FILE* stream, int32_t chunkEnd) {
    LoaderState& s = loaderState;
    unsigned char bytes[12];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, "the light position needs") != 0) {
        return -1;
    }
    Scene* scene = s.scene;
    if (s.countingPass) {
        ++scene->lightCount;
        return 0;
    }
    Light* light =
        OpenNextRecord(scene->lights, scene->lightCount, s.nextLight, s.lightNames, "lights");
    if (light == nullptr) return -1;
    s.currentLight = light;
    light->position[0] = GetFloat(bytes);
    light->position[1] = GetFloat(bytes + 8);
    light->position[2] = GetFloat(bytes + 4);
    light->isSpot = 0;
    light->emitColor[0] = light->emitColor[1] = light->emitColor[2] = 1.0f;
    light->emitColorRead = 0;
    return 0;
}

// 0x4700: eight floats in the file's order (position, target, bank, lens); opens the next
// Camera.
int32_t ReadCamera(FILE* stream, int32_t chunkEnd) {
    LoaderState& s = loaderState;
    unsigned char bytes[32];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, "the camera needs") != 0) return -1;
    Scene* scene = s.scene;
    if (s.countingPass) {
        ++scene->cameraCount;
        return 0;
    }
    Camera* camera =
        OpenNextRecord(scene->cameras, scene->cameraCount, s.nextCamera, s.cameraNames, "cameras");
    if (camera == nullptr) return -1;
    s.currentCamera = camera;
    for (int i = 0; i < 3; ++i) {
        camera->position[i] = GetFloat(bytes + 4 * i);
        camera->target[i] = GetFloat(bytes + 12 + 4 * i);
    }
    camera->bank = GetFloat(bytes + 24);
    camera->lens = GetFloat(bytes + 28);
    return 0;
}

// ---- Mesh chunks ------------------------------------------------------------------------

// 0x4110: n vertices of three floats; file (x, y, z) is stored as (x, z, y), u and v 0 (a
// new vertex list has no texture coordinates yet).
// A mesh keeps one vertex array for its faces: a vertex list that comes after the mesh's
// faces were read fails the load, since those faces point into the earlier array.
int32_t ReadVertexList(FILE* stream, int32_t chunkEnd) {
    uint16_t count = 0;
    if (ReadCountedPayload(stream, chunkEnd, 12, "vertices", &count) != 0) return -1;
    const int64_t bytes = int64_t{count} * 12;
    CountListed(&LoadTotals::vertices, count);
    MeshObject* mesh = OpenMesh();
    if (mesh == nullptr) return SkipBytes(stream, bytes);
    if (mesh->faceCount > 0) {
        return LoadFail("mesh %s has a second vertex list after its faces",
                        QuotedName(mesh->name).c_str());
    }
    Vertex* vertices = ArenaAllocateArray<Vertex>(loaderState.scene->arena, count);
    if (vertices == nullptr) return LoadFail("out of memory for %u vertices", count);
    const unsigned char* p = ReadToScratch(stream, static_cast<size_t>(bytes));
    if (p == nullptr) return -1;
    for (uint32_t i = 0; i < count; ++i, p += 12) {
        Vertex& v = vertices[i];
        v.x = GetFloat(p);
        v.y = GetFloat(p + 8);
        v.z = GetFloat(p + 4);
        v.u = 0.0f;
        v.v = 0.0f;
        v.nx = v.ny = v.nz = 0.0f;
    }
    mesh->vertices = vertices;
    mesh->vertexCount = count;
    mesh->texCoordCount = 0;
    return 0;
}

// 0x4111: a count and as many flags, all dropped; the walker's seek to the chunk's end
// passes them.
int32_t SkipVertexFlags(FILE*, int32_t) {
    return 0;
}

// 0x4120: n faces of three corner indices and a flags word. File corners (a, b, c) become
// vertex0 = a, vertex1 = c, vertex2 = b; material is -1 until a group names the face, and
// smoothing 0 until a smoothing chunk reaches it. Reads
// exactly its 2 + 8n bytes, so the walk of its children starts right after the last face.
int32_t ReadFaceList(FILE* stream, int32_t chunkEnd) {
    uint16_t count = 0;
    if (ReadCountedPayload(stream, chunkEnd, 8, "faces", &count) != 0) return -1;
    const int64_t bytes = int64_t{count} * 8;
    CountListed(&LoadTotals::faces, count);
    MeshObject* mesh = OpenMesh();
    if (mesh == nullptr) return SkipBytes(stream, bytes);
    if (!loaderState.limits.keepFaces) return CheckFacesOnly(stream, bytes, count, *mesh);
    Face* faces = ArenaAllocateArray<Face>(loaderState.scene->arena, count);
    if (faces == nullptr) return LoadFail("out of memory for %u faces", count);
    const unsigned char* p = ReadToScratch(stream, static_cast<size_t>(bytes));
    if (p == nullptr) return -1;
    Vertex* vertices = mesh->vertices;
    for (uint32_t i = 0; i < count; ++i, p += 8) {
        const uint32_t corners[3] = {GetU16(p), GetU16(p + 2), GetU16(p + 4)};
        for (uint32_t corner : corners) {
            if (!CornerInRange(corner, *mesh)) {
                return LoadFail("face %u of mesh %s names vertex %u of %d", i,
                                QuotedName(mesh->name).c_str(), corner, mesh->vertexCount);
            }
        }
        Face& face = faces[i];
        face.material = -1;
        face.smoothing = 0;
        face.vertex0 = &vertices[corners[0]];
        face.vertex1 = &vertices[corners[2]];
        face.vertex2 = &vertices[corners[1]];
        face.plane[0] = face.plane[1] = face.plane[2] = face.plane[3] = 0.0f;
    }
    mesh->faces = faces;
    mesh->faceCount = count;
    return 0;
}

// 0x4130: a material name and n face indices; each listed face of the open mesh gets the
// index of the first material of that name, or -1 when none has been opened.
int32_t ReadFaceMaterials(FILE* stream, int32_t chunkEnd) {
    char name[64];
    if (ReadName(stream, chunkEnd, name)) {
        return LoadFail("the material name of a face group runs into the end of the %s",
                        LimitName());
    }
    uint16_t count = 0;
    if (ReadCountedPayload(stream, chunkEnd, 2, "face indices", &count) != 0) return -1;
    const int64_t bytes = int64_t{count} * 2;
    MeshObject* mesh = OpenMesh();
    if (mesh == nullptr) return SkipBytes(stream, bytes);
    const int32_t material = FindMaterialByName(name);
    const unsigned char* p = ReadToScratch(stream, static_cast<size_t>(bytes));
    if (p == nullptr) return -1;
    for (uint32_t i = 0; i < count; ++i, p += 2) {
        const uint32_t face = GetU16(p);
        if (FaceInRange(face, *mesh)) mesh->faces[face].material = material;
    }
    return 0;
}

// 0x4140: n pairs (u, v) for the first n vertices of the open mesh, in the file's order.
// texCoordCount counts the vertices that have coordinates (the most any such chunk gave).
int32_t ReadTexCoords(FILE* stream, int32_t chunkEnd) {
    uint16_t count = 0;
    if (ReadCountedPayload(stream, chunkEnd, 8, "texture coordinates", &count) != 0) return -1;
    MeshObject* mesh = OpenMesh();
    const uint32_t kept = mesh == nullptr ? 0 : TexCoordsKept(count, *mesh);
    const unsigned char* p = ReadToScratch(stream, size_t{kept} * 8);
    if (p == nullptr) return -1;
    for (uint32_t i = 0; i < kept; ++i, p += 8) {
        mesh->vertices[i].u = GetFloat(p);
        mesh->vertices[i].v = GetFloat(p + 4);
    }
    if (mesh != nullptr)
        mesh->texCoordCount = std::max(mesh->texCoordCount, static_cast<int32_t>(kept));
    return SkipBytes(stream, int64_t{count - kept} * 8);
}

// 0x4150: one u32 of smoothing-group bits for each face of the open mesh, in face order,
// with no count of its own. The payload covers as many faces as it holds whole values; the
// faces past it keep 0, and values past the mesh's faces and a tail shorter than a value
// are dropped (the walker's seek to the chunk's end skips them). A chunk read before the
// mesh's face list, or for a mesh loaded without its faces (a report), reaches no face.
// Never fails on the file's data.
int32_t ReadSmoothGroups(FILE* stream, int32_t chunkEnd) {
    MeshObject* mesh = OpenMesh();
    if (mesh == nullptr || mesh->faceCount == 0 || mesh->faces == nullptr) return 0;
    const int64_t values = BytesLeft(chunkEnd) / 4;
    const uint32_t covered = static_cast<uint32_t>(std::min<int64_t>(values, mesh->faceCount));
    const unsigned char* p = ReadToScratch(stream, size_t{covered} * 4);
    if (p == nullptr) return -1;
    for (uint32_t i = 0; i < covered; ++i, p += 4)
        mesh->faces[i].smoothing = GetU32(p);
    return 0;
}

// 0x4160: twelve floats, four rows of three, stored in the file's order as rows 0 to 3 of
// the mesh matrix with column 3 = (0, 0, 0, 1).
int32_t ReadMeshMatrix(FILE* stream, int32_t chunkEnd) {
    unsigned char bytes[48];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, "the mesh matrix needs") != 0) {
        return -1;
    }
    MeshObject* mesh = OpenMesh();
    if (mesh == nullptr) return 0;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c)
            mesh->matrix[4 * r + c] = GetFloat(bytes + 4 * (3 * r + c));
        mesh->matrix[4 * r + 3] = r == 3 ? 1.0f : 0.0f;
    }
    return 0;
}

// ---- Light chunks -----------------------------------------------------------------------

// 0x4610: target (file x, y, z stored as x, z, y), hotspot and falloff; marks a spotlight.
int32_t ReadSpotlight(FILE* stream, int32_t chunkEnd) {
    unsigned char bytes[20];
    if (ReadFixed(stream, chunkEnd, bytes, sizeof bytes, "the spotlight needs") != 0) return -1;
    Light* light = OpenLight();
    if (light == nullptr) return 0;
    light->isSpot = 1;
    light->target[0] = GetFloat(bytes);
    light->target[1] = GetFloat(bytes + 8);
    light->target[2] = GetFloat(bytes + 4);
    light->hotspot = GetFloat(bytes + 12);
    light->falloff = GetFloat(bytes + 16);
    return 0;
}

// 0x4620, 0x4627: flags of the open light, with no payload.
int32_t ReadLightOff(FILE*, int32_t) {
    if (Light* light = OpenLight()) light->isOff = 1;
    return 0;
}

int32_t ReadLightRayShadow(FILE*, int32_t) {
    if (Light* light = OpenLight()) light->rayShadow = 1;
    return 0;
}

// 0x4659, 0x465A, 0x465B: one float each.
int32_t ReadLightInnerRange(FILE* stream, int32_t chunkEnd) {
    return ReadLightFloat(stream, chunkEnd, &Light::innerRange, "the inner range needs");
}

int32_t ReadLightOuterRange(FILE* stream, int32_t chunkEnd) {
    return ReadLightFloat(stream, chunkEnd, &Light::outerRange, "the outer range needs");
}

int32_t ReadLightMultiplier(FILE* stream, int32_t chunkEnd) {
    return ReadLightFloat(stream, chunkEnd, &Light::multiplier, "the multiplier needs");
}
