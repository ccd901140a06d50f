// The --info and --chunks reports.
#include "app/scene_report.h"

#include <cinttypes>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/scene_input.h"
#include "app/shell.h"
#include "scene/animation.h"
#include "scene/loader.h"
#include "scene/printable.h"
#include "view/views.h"

namespace {

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsUtf8(const unsigned char* s, size_t n) {
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        size_t extra;
        uint32_t code;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            code = b & 0x1Fu;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            code = b & 0x0Fu;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            code = b & 0x07u;
        } else {
            return false;
        }
        if (n - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (s[i + k] & 0x3Fu);
        }
        if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

// A name for the JSON document. Names in .3ds files are bytes in whatever code page the
// exporter used. Valid UTF-8 is kept as it is; anything else is read as Latin-1, which maps
// every byte to one character and so loses nothing. (The text report escapes the bytes
// instead: see PrintableName.)
std::string NameText(const char* name) {
    if (name == nullptr) return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    const size_t length = std::strlen(name);
    if (IsUtf8(bytes, length)) return std::string(name, length);
    std::string latin1;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            latin1 += static_cast<char>(b);
        } else {
            latin1 += static_cast<char>(0xC0 | (b >> 6));
            latin1 += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return latin1;
}

// A name's bytes in hexadecimal, two lower-case digits a byte.
std::string HexBytes(const char* name) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char* p = name; *p != '\0'; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

// Sets object[key] to the name's readable form (NameText) and, when the name is not UTF-8,
// object[key + "Bytes"] to its bytes in hexadecimal: no name is lost, whatever it holds.
void AddName(nlohmann::json& object, const std::string& key, const char* name) {
    if (name == nullptr) {
        object[key] = nullptr;
        return;
    }
    object[key] = NameText(name);
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    if (!IsUtf8(bytes, std::strlen(name))) object[key + "Bytes"] = HexBytes(name);
}

// The document as text: indented, and ASCII only (every other character as a \u escape), so
// that it is as safe in a terminal as the text report while losing nothing.
std::string JsonText(const nlohmann::json& doc) {
    return doc.dump(2, ' ', true);
}

nlohmann::json Triple(const float* v) {
    return nlohmann::json::array({v[0], v[1], v[2]});
}

nlohmann::json MatrixRows(const Matrix4& m) {
    nlohmann::json rows = nlohmann::json::array();
    for (int r = 0; r < 4; ++r)
        rows.push_back({m[4 * r], m[4 * r + 1], m[4 * r + 2], m[4 * r + 3]});
    return rows;
}

constexpr double kDegreesPerRadian = 57.29577951308232;

// Engine axes back to the file's order: (x, y, z) here is (x, z, y) in the file.
void ToFileAxes(const double* engine, double* file) {
    file[0] = engine[0];
    file[1] = engine[2];
    file[2] = engine[1];
}

// The box around the finite vertex positions in the file's axes: min, max, centre, size.
struct FileBounds {
    SceneBounds bounds;
    double min[3], max[3], centre[3], size[3];
};

FileBounds BoundsInFileAxes(const Scene& scene) {
    FileBounds b;
    b.bounds = ComputeSceneBounds(scene);
    ToFileAxes(b.bounds.min, b.min);
    ToFileAxes(b.bounds.max, b.max);
    for (int i = 0; i < 3; ++i) {
        b.size[i] = b.max[i] - b.min[i];
        b.centre[i] = b.min[i] + b.size[i] / 2.0;
    }
    return b;
}

nlohmann::json BoundsJson(const Scene& scene) {
    const FileBounds b = BoundsInFileAxes(scene);
    const auto triple = [](const double* v) { return nlohmann::json::array({v[0], v[1], v[2]}); };
    nlohmann::json doc = {{"finitePositions", b.bounds.finiteCount},
                          {"nonFinitePositions", b.bounds.nonFiniteCount}};
    if (b.bounds.finiteCount > 0) {
        doc["min"] = triple(b.min);
        doc["max"] = triple(b.max);
        doc["centre"] = triple(b.centre);
        doc["size"] = triple(b.size);
    }
    return doc;
}

void PrintBounds(const Scene& scene, std::FILE* out) {
    const FileBounds b = BoundsInFileAxes(scene);
    std::fprintf(out,
                 "bounds (x, y, z as in the file): %" PRId64 " finite positions, %" PRId64
                 " not finite\n",
                 b.bounds.finiteCount, b.bounds.nonFiniteCount);
    if (b.bounds.finiteCount == 0) return;
    const struct {
        const char* label;
        const double* v;
    } rows[] = {{"min", b.min}, {"max", b.max}, {"centre", b.centre}, {"size", b.size}};
    for (const auto& row : rows)
        std::fprintf(out, "  %-7s (%.9g, %.9g, %.9g)\n", row.label, row.v[0], row.v[1], row.v[2]);
}

nlohmann::json SceneJson(const char* path, const Scene& scene) {
    nlohmann::json doc;
    AddName(doc, "file", path);
    doc["segment"] = {{"start", scene.segmentStart}, {"end", scene.segmentEnd}};
    doc["objects"] = nlohmann::json::array();  // written one by one (ObjectJson)
    doc["materials"] = nlohmann::json::array();
    for (int32_t i = 0; i < scene.materialCount; ++i) {
        nlohmann::json material = nlohmann::json::object();
        AddName(material, "name", scene.materials[i].name);
        doc["materials"].push_back(material);
    }
    doc["lights"] = nlohmann::json::array();
    for (int32_t i = 0; i < scene.lightCount; ++i) {
        const Light& l = scene.lights[i];
        nlohmann::json light = {{"spot", l.isSpot != 0},
                                {"off", l.isOff != 0},
                                {"rayShadow", l.rayShadow != 0},
                                {"position", Triple(l.position)},
                                {"color", Triple(l.color)},
                                {"color255", {l.color255[0], l.color255[1], l.color255[2]}},
                                {"multiplier", l.multiplier},
                                {"innerRange", l.innerRange},
                                {"outerRange", l.outerRange}};
        AddName(light, "name", l.name);
        if (l.isSpot != 0) {
            light["target"] = Triple(l.target);
            light["hotspot"] = l.hotspot;
            light["falloff"] = l.falloff;
        }
        doc["lights"].push_back(light);
    }
    doc["cameras"] = nlohmann::json::array();
    for (int32_t i = 0; i < scene.cameraCount; ++i) {
        const Camera& c = scene.cameras[i];
        nlohmann::json camera = {{"position", Triple(c.position)},
                                 {"target", Triple(c.target)},
                                 {"bank", c.bank},
                                 {"lens", c.lens},
                                 {"fieldOfView", CameraFieldOfView(c) * kDegreesPerRadian},
                                 {"positionKeys", c.positionKeyCount},
                                 {"targetKeys", c.targetKeyCount},
                                 {"matrix", MatrixRows(c.matrix)}};
        AddName(camera, "name", c.name);
        doc["cameras"].push_back(camera);
    }
    doc["bounds"] = BoundsJson(scene);
    return doc;
}

// One element of the document's "objects".
nlohmann::json ObjectJson(const MeshObject& o) {
    nlohmann::json object = {{"vertices", o.vertexCount},
                             {"faces", o.faceCount},
                             {"nodeId", o.nodeId},
                             {"parentId", o.parentId},
                             {"positionKeys", o.positionKeyCount},
                             {"rotationKeys", o.rotationKeyCount}};
    AddName(object, "name", o.name);
    return object;
}

void PrintText(const char* path, const Scene& scene, std::FILE* out) {
    std::fprintf(out, "%s\n", PrintableName(path).c_str());
    std::fprintf(out, "segment: frames %" PRIu32 " to %" PRIu32 "\n", scene.segmentStart,
                 scene.segmentEnd);
    std::fprintf(out, "objects: %d\n", scene.objectCount);
    for (int32_t i = 0; i < scene.objectCount; ++i) {
        const MeshObject& o = scene.objects[i];
        std::fprintf(out, "  %-20s %6d vertices %6d faces  node %d", PrintableName(o.name).c_str(),
                     o.vertexCount, o.faceCount, o.nodeId);
        if (o.parentId == 65535) {
            std::fprintf(out, " (root)");
        } else {
            std::fprintf(out, " (parent %d)", o.parentId);
        }
        std::fprintf(out, "  keys: %d position, %d rotation\n", o.positionKeyCount,
                     o.rotationKeyCount);
    }
    std::fprintf(out, "materials: %d\n", scene.materialCount);
    for (int32_t i = 0; i < scene.materialCount; ++i) {
        std::fprintf(out, "  %s\n", PrintableName(scene.materials[i].name).c_str());
    }
    std::fprintf(out, "lights: %d\n", scene.lightCount);
    for (int32_t i = 0; i < scene.lightCount; ++i) {
        const Light& l = scene.lights[i];
        std::fprintf(out, "  %-20s %s at (%g, %g, %g)  colour (%g, %g, %g) = %d %d %d",
                     PrintableName(l.name).c_str(), l.isSpot ? "spotlight" : "light",
                     static_cast<double>(l.position[0]), static_cast<double>(l.position[1]),
                     static_cast<double>(l.position[2]), static_cast<double>(l.color[0]),
                     static_cast<double>(l.color[1]), static_cast<double>(l.color[2]),
                     l.color255[0], l.color255[1], l.color255[2]);
        if (l.isSpot) {
            std::fprintf(out, "  target (%g, %g, %g)  hotspot %g  falloff %g",
                         static_cast<double>(l.target[0]), static_cast<double>(l.target[1]),
                         static_cast<double>(l.target[2]), static_cast<double>(l.hotspot),
                         static_cast<double>(l.falloff));
        }
        if (l.isOff) std::fprintf(out, "  off");
        std::fprintf(out, "\n");
    }
    std::fprintf(out, "cameras: %d\n", scene.cameraCount);
    for (int32_t i = 0; i < scene.cameraCount; ++i) {
        const Camera& c = scene.cameras[i];
        std::fprintf(out, "  %-20s keys: %d position, %d target  lens %g  field of view %.4g deg\n",
                     PrintableName(c.name).c_str(), c.positionKeyCount, c.targetKeyCount,
                     static_cast<double>(c.lens), CameraFieldOfView(c) * kDegreesPerRadian);
        for (int r = 0; r < 4; ++r) {
            std::fprintf(
                out, "    %s %10.5f %10.5f %10.5f %10.5f\n", r == 0 ? "matrix" : "      ",
                static_cast<double>(c.matrix[4 * r]), static_cast<double>(c.matrix[4 * r + 1]),
                static_cast<double>(c.matrix[4 * r + 2]), static_cast<double>(c.matrix[4 * r + 3]));
        }
    }
}

// ---- Keyframer nodes: every track with every key, and world matrices at a frame ----------

// A node's name for the text report.
std::string NodeNameText(const char* name) {
    return name == nullptr ? std::string("(no header)") : QuotedName(name);
}

const char* NodeKindName(uint16_t kind) {
    switch (kind) {
        case KeyframerAmbientNode:
            return "ambient";
        case KeyframerObjectNode:
            return "object";
        case KeyframerCameraNode:
            return "camera";
        case KeyframerTargetNode:
            return "target";
        case KeyframerLightNode:
            return "light";
        case KeyframerLightTargetNode:
            return "light target";
        case KeyframerSpotlightNode:
            return "spotlight";
        default:
            return "unknown";
    }
}

struct NamedTrack {
    const char* name;
    uint16_t kind;
};
constexpr NamedTrack kNodeTracks[] = {
    {"position", NodePositionTrack}, {"rotation", NodeRotationTrack}, {"scale", NodeScaleTrack},
    {"fov", NodeFovTrack},           {"roll", NodeRollTrack},         {"hide", NodeHideTrack},
};

nlohmann::json TrackJson(const KeyTrack& track) {
    nlohmann::json keys = nlohmann::json::array();
    for (int32_t k = 0; k < track.keyCount; ++k) {
        nlohmann::json value = nlohmann::json::array();
        for (int32_t c = 0; c < track.components; ++c)
            value.push_back(track.values[k * track.components + c]);
        const KeySpline& s = track.splines[k];
        keys.push_back({{"frame", track.frames[k]},
                        {"value", value},
                        {"tension", s.tension},
                        {"continuity", s.continuity},
                        {"bias", s.bias},
                        {"easeTo", s.easeTo},
                        {"easeFrom", s.easeFrom},
                        {"flags", s.flags}});
    }
    return {{"flags", track.flags}, {"keys", keys}};
}

// The "animation" member of the --info document and, with `frame`, the cameras there;
// `animation` is prepared (and evaluated at `frame`) for NodeJson.
void AddAnimationJson(nlohmann::json& doc, const Scene& scene, const double* frame,
                      SceneAnimation& animation) {
    PrepareAnimation(scene, animation);
    if (frame != nullptr) EvaluateAnimation(animation, *frame);
    doc["animation"] = {{"animated", animation.animated},
                        {"firstFrame", animation.firstFrame},
                        {"lastFrame", animation.lastFrame}};
    if (frame != nullptr) doc["animation"]["frame"] = *frame;
    doc["nodes"] = nlohmann::json::array();  // written one by one (NodeJson)
    if (frame == nullptr) return;
    for (int32_t i = 0; i < scene.cameraCount && i < static_cast<int32_t>(doc["cameras"].size());
         ++i) {
        Matrix4 matrix;
        float fov = 0.0f;
        if (EvaluateCamera(scene, animation, i, matrix, fov)) {
            doc["cameras"][static_cast<size_t>(i)]["atFrame"] = {{"matrix", MatrixRows(matrix)},
                                                                 {"fov", fov}};
        }
    }
}

// One element of the document's "nodes": node i with its tracks; with `frame`, its world
// matrix (and an object node's mesh matrix) at that frame.
nlohmann::json NodeJson(const Scene& scene, const SceneAnimation& animation, int32_t i,
                        const double* frame) {
    const KeyframerNode& n = scene.nodes[i];
    const KeyframerNodeExtras& extras = NodeExtras(n);
    const int32_t parent = animation.nodes[i].parent;
    nlohmann::json node = {
        {"kind", NodeKindName(n.kind)},
        {"nodeId", n.nodeId},
        {"parentId", n.parentId},
        {"parent", parent >= 0 ? nlohmann::json(parent) : nlohmann::json(nullptr)},
        {"record", n.recordIndex},
        {"flags", {n.flags1, n.flags2}},
        {"pivot", Triple(extras.pivot)}};
    AddName(node, "name", n.name);
    if (extras.instanceName != nullptr) AddName(node, "instanceName", extras.instanceName);
    nlohmann::json tracks = nlohmann::json::object();
    for (const NamedTrack& t : kNodeTracks) {
        const KeyTrack& track = NodeTrack(n, t.kind);
        if (track.keyCount > 0) tracks[t.name] = TrackJson(track);
    }
    node["tracks"] = tracks;
    if (frame != nullptr) {
        node["world"] = MatrixRows(animation.world[i]);
        node["worldFileAxes"] = MatrixRows(animation.worldFile[i]);
        if (n.kind == KeyframerObjectNode && n.recordIndex >= 0) {
            node["meshMatrix"] = MatrixRows(animation.object[i]);
        }
        node["hidden"] = animation.hidden[i] != 0;
    }
    return node;
}

// Writes `doc` as JsonText does, with the elements of its top-level arrays named in `lists`
// (empty in `doc`) made one at a time by element(i) and written as they are made: a
// document of a million nodes never stands whole in memory. The text is the same as
// JsonText of the whole document.
struct StreamedList {
    const char* key;
    int32_t count;
    std::function<nlohmann::json(int32_t)> element;
};
void WriteStreamedJson(std::FILE* out, const nlohmann::json& doc,
                       const std::vector<StreamedList>& lists) {
    const std::string text = JsonText(doc);
    size_t at = 0;
    for (const StreamedList& list : lists) {
        // A member of the top level starts a line with exactly two spaces; nothing nested
        // does, and no string holds a line break.
        const std::string member = std::string("\n  \"") + list.key + "\": []";
        const size_t found = text.find(member, at);
        if (found == std::string::npos || list.count <= 0) continue;
        std::fwrite(text.data() + at, 1, found + member.size() - 1 - at, out);
        for (int32_t i = 0; i < list.count; ++i) {
            const std::string element = JsonText(list.element(i));
            std::fputs(i == 0 ? "\n    " : ",\n    ", out);
            for (char c : element) {
                std::fputc(c, out);
                if (c == '\n') std::fputs("    ", out);
            }
        }
        std::fputs("\n  ]", out);
        at = found + member.size();
    }
    std::fwrite(text.data() + at, 1, text.size() - at, out);
    std::fputc('\n', out);
}

void PrintMatrixRows(std::FILE* out, const char* label, const Matrix4& m) {
    for (int r = 0; r < 4; ++r) {
        std::fprintf(out, "    %-8s %10.5f %10.5f %10.5f %10.5f\n", r == 0 ? label : "",
                     static_cast<double>(m[4 * r]), static_cast<double>(m[4 * r + 1]),
                     static_cast<double>(m[4 * r + 2]), static_cast<double>(m[4 * r + 3]));
    }
}

// The text report's keyframer part: the frames played, then every node with its tracks and
// keys (frame, value, spline values); with `frame`, each node's world matrix there.
// `animation` is the scene's, prepared.
void PrintNodesText(const Scene& scene, const double* frame, SceneAnimation& animation,
                    std::FILE* out) {
    if (frame != nullptr) EvaluateAnimation(animation, *frame);
    std::fprintf(out, "animation: %s, frames %g to %g\n", animation.animated ? "animated" : "still",
                 animation.firstFrame, animation.lastFrame);
    std::fprintf(out, "keyframer nodes: %d\n", scene.nodeCount);
    for (int32_t i = 0; i < scene.nodeCount; ++i) {
        const KeyframerNode& n = scene.nodes[i];
        std::fprintf(out, "  %d %s %s  id %d", i, NodeKindName(n.kind),
                     NodeNameText(n.name).c_str(), n.nodeId);
        const KeyframerNodeExtras& extras = NodeExtras(n);
        if (extras.instanceName != nullptr) {
            std::fprintf(out, "  instance %s", QuotedName(extras.instanceName).c_str());
        }
        if (animation.nodes[i].parent >= 0) {
            std::fprintf(out, "  parent %d (node %d)", n.parentId, animation.nodes[i].parent);
        } else if (n.parentId == 65535) {
            std::fprintf(out, "  root");
        } else {
            std::fprintf(out, "  parent %d (none: a root)", n.parentId);
        }
        std::fprintf(out, "  flags 0x%04X 0x%04X", n.flags1, n.flags2);
        if (extras.hasPivot) {
            std::fprintf(out, "  pivot (%g, %g, %g)", static_cast<double>(extras.pivot[0]),
                         static_cast<double>(extras.pivot[1]),
                         static_cast<double>(extras.pivot[2]));
        }
        std::fprintf(out, "\n");
        for (const NamedTrack& t : kNodeTracks) {
            const KeyTrack& track = NodeTrack(n, t.kind);
            if (track.keyCount <= 0) continue;
            std::fprintf(out, "    %s: %d keys\n", t.name, track.keyCount);
            for (int32_t k = 0; k < track.keyCount; ++k) {
                std::fprintf(out, "      frame %-6u", track.frames[k]);
                for (int32_t c = 0; c < track.components; ++c) {
                    std::fprintf(out, " %g",
                                 static_cast<double>(track.values[k * track.components + c]));
                }
                const KeySpline& s = track.splines[k];
                std::fprintf(out, "  tcb %g %g %g  ease %g %g\n", static_cast<double>(s.tension),
                             static_cast<double>(s.continuity), static_cast<double>(s.bias),
                             static_cast<double>(s.easeTo), static_cast<double>(s.easeFrom));
            }
        }
        if (frame != nullptr) {
            char label[32];
            std::snprintf(label, sizeof label, "world");
            PrintMatrixRows(out, label, animation.world[i]);
            if (animation.hidden[i]) std::fprintf(out, "    hidden at frame %g\n", *frame);
        }
    }
    if (frame == nullptr) return;
    for (int32_t i = 0; i < scene.cameraCount; ++i) {
        Matrix4 matrix;
        float fov = 0.0f;
        if (!EvaluateCamera(scene, animation, i, matrix, fov)) continue;
        std::fprintf(out, "camera %s at frame %g: field of view %g\n",
                     NodeNameText(scene.cameras[i].name).c_str(), *frame, static_cast<double>(fov));
        PrintMatrixRows(out, "matrix", matrix);
    }
}

// The chunk headers of the first pass, in walk order.
struct ChunkLine {
    int32_t depth;
    uint16_t id;
    int64_t offset;
    uint32_t length;
    int32_t row;
};
std::vector<ChunkLine>* chunkLines = nullptr;

void CollectChunk(int32_t depth, uint16_t id, int64_t offset, uint32_t length, int32_t row) {
    if (chunkLines != nullptr && loaderState.countingPass == 1) {
        chunkLines->push_back({depth, id, offset, length, row});
    }
}

}  // namespace

int PrintSceneInfo(const char* path, bool json, std::FILE* out, std::FILE* err) {
    return PrintSceneInfoAtFrame(path, json, nullptr, out, err);
}

int PrintSceneInfoAtFrame(const char* path, bool json, const double* frame, std::FILE* out,
                          std::FILE* err) {
    Scene* scene = LoadNamedScene(path);
    path = ShownSceneName(path);
    if (scene == nullptr) {
        if (json) {
            const LoadError& error = LastLoadError();
            nlohmann::json doc = {
                {"error",
                 {{"message", error.message}, {"offset", error.offset}, {"chunk", error.chunkId}}}};
            AddName(doc, "file", path);
            std::fprintf(out, "%s\n", JsonText(doc).c_str());
        } else {
            std::fprintf(err, "trellis: %s\n", LoadFailureText(path).c_str());
        }
        return 1;
    }
    // A file that is not a 3DS file loads as a scene with nothing in it; the report says
    // so first.
    const std::string notA3ds = NotA3dsReason();
    if (json) {
        nlohmann::json doc = SceneJson(path, *scene);
        doc["is3ds"] = notA3ds.empty();
        if (!notA3ds.empty()) doc["warning"] = notA3ds;
        SceneAnimation animation;
        AddAnimationJson(doc, *scene, frame, animation);
        const Scene& s = *scene;
        WriteStreamedJson(
            out, doc,
            {{"nodes", s.nodeCount, [&](int32_t i) { return NodeJson(s, animation, i, frame); }},
             {"objects", s.objectCount, [&](int32_t i) { return ObjectJson(s.objects[i]); }}});
    } else {
        // Prepared before anything is printed: a scene whose animation cannot be had prints
        // nothing but the reason.
        SceneAnimation animation;
        PrepareAnimation(*scene, animation);
        if (!notA3ds.empty()) {
            std::fprintf(out, "%s: %s\n", PrintableName(path).c_str(), notA3ds.c_str());
        }
        PrintText(path, *scene, out);
        PrintBounds(*scene, out);
        PrintNodesText(*scene, frame, animation, out);
    }
    FreeScene(scene);
    return 0;
}

int PrintChunkTree(const char* path, std::FILE* out) {
    std::vector<ChunkLine> lines;
    chunkLines = &lines;
    const ChunkObserver previous = loaderState.observer;
    loaderState.observer = CollectChunk;
    Scene* scene = LoadNamedScene(path);
    loaderState.observer = previous;
    chunkLines = nullptr;
    const LoadError error = LastLoadError();
    const bool failed = scene == nullptr;
    FreeScene(scene);

    // The chunk where the load stopped: the last header at the error's offset, or the last
    // chunk that contains it.
    size_t failedLine = lines.size();
    if (failed) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const ChunkLine& l = lines[i];
            if (l.offset == error.offset ||
                (l.offset <= error.offset &&
                 error.offset < l.offset + static_cast<int64_t>(l.length))) {
                failedLine = i;
            }
        }
    }
    std::fprintf(out, "%-28s %-34s %10s %10s\n", "chunk", "role", "offset", "length");
    for (size_t i = 0; i < lines.size(); ++i) {
        const ChunkLine& l = lines[i];
        const char* role = "unknown";
        if (l.row >= 0 && ChunkTable[l.row].role != nullptr && ChunkTable[l.row].role[0] != '\0') {
            role = ChunkTable[l.row].role;
        } else if (l.row >= 0) {
            role = "known, no role";
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%04X", l.id);
        const std::string id = std::string(2 * static_cast<size_t>(l.depth - 1), ' ') + hex;
        std::fprintf(out, "%-28s %-34s %10" PRId64 " %10" PRIu32 "%s\n", id.c_str(), role, l.offset,
                     l.length, i == failedLine ? "  <-- load fails here" : "");
    }
    if (failed) {
        std::fprintf(out, "load fails: %s\n", PrintableName(error.message.c_str()).c_str());
        return 1;
    }
    std::fprintf(out, "loads: %zu chunks\n", lines.size());
    return 0;
}
