// The JSON report's document.
#include "app/report/json_report.h"

#include <cstring>
#include <initializer_list>
#include <string>

#include "scene/utf8.h"

namespace {

// A value as text: indented, and ASCII only (every other character as a \u escape), so
// that it is as safe in a terminal as the text report while losing nothing.
std::string JsonText(const nlohmann::json& value) {
    return value.dump(2, ' ', true);
}

void PrintDocument(const nlohmann::json& doc, std::FILE* out) {
    std::fprintf(out, "%s\n", JsonText(doc).c_str());
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

// Sets record[key] to the name as UTF-8 and, when the name is not UTF-8, record[key +
// "Bytes"] to its bytes in hexadecimal: no name is lost, whatever it holds.
void AddName(nlohmann::json& record, const std::string& key, const char* name) {
    record[key] = NameAsUtf8(name);
    if (name != nullptr && !IsUtf8(name, std::strlen(name))) record[key + "Bytes"] = HexBytes(name);
}

// Prints `doc` as PrintDocument does, with the elements of its top-level arrays named in
// `lists` (empty in `doc`, in the order they come in the text) made one at a time by
// `make(list, i)` (element i of lists[list]) and printed as they are made. The text is the
// same as PrintDocument's of the whole document.
struct StreamedList {
    const char* key;
    int32_t count;
};
template <class Make>
void PrintStreamed(const nlohmann::json& doc, std::initializer_list<StreamedList> lists,
                   Make&& make, std::FILE* out) {
    const std::string text = JsonText(doc);
    size_t at = 0;
    size_t index = 0;
    for (const StreamedList& list : lists) {
        const size_t listIndex = index++;
        // A member of the top level starts a line with exactly two spaces; nothing nested
        // does, and no string holds a line break.
        const std::string member = std::string("\n  \"") + list.key + "\": []";
        const size_t found = text.find(member, at);
        if (found == std::string::npos || list.count <= 0) continue;
        std::fwrite(text.data() + at, 1, found + member.size() - 1 - at, out);
        for (int32_t i = 0; i < list.count; ++i) {
            const std::string element = JsonText(make(listIndex, i));
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

nlohmann::json Triple(const float* v) {
    return nlohmann::json::array({v[0], v[1], v[2]});
}

nlohmann::json Triple(const double* v) {
    return nlohmann::json::array({v[0], v[1], v[2]});
}

nlohmann::json MatrixRows(const Matrix4& m) {
    nlohmann::json rows = nlohmann::json::array();
    for (int r = 0; r < 4; ++r)
        rows.push_back({m[4 * r], m[4 * r + 1], m[4 * r + 2], m[4 * r + 3]});
    return rows;
}

}  // namespace

void JsonReport::File(const ReportedScene& r) {
    reported = &r;
    AddName(doc, "file", r.path);
    doc["segment"] = {{"start", r.scene->segmentStart}, {"end", r.scene->segmentEnd}};
    // A file that is not a 3DS file loads as a scene with nothing in it.
    doc["is3ds"] = r.notA3ds.empty();
    if (!r.notA3ds.empty()) doc["warning"] = r.notA3ds;
}

bool JsonReport::Objects(int32_t /*count*/) {
    doc["objects"] = nlohmann::json::array();  // written one by one (End)
    return false;
}

void JsonReport::ObjectRecord(const MeshObject& o, const KeyframerNode* named) {
    // The node that names the object (null when none does).
    const nlohmann::json none = nullptr;
    element = {{"vertices", o.vertexCount},
               {"faces", o.faceCount},
               {"nodeId", named ? nlohmann::json(named->nodeId) : none},
               {"parentId", named ? nlohmann::json(named->parentId) : none},
               {"positionKeys", o.positionKeyCount},
               {"rotationKeys", o.rotationKeyCount}};
    AddName(element, "name", o.name);
}

void JsonReport::Materials(int32_t /*count*/) {
    doc["materials"] = nlohmann::json::array();
}

void JsonReport::MaterialRecord(const Material& m) {
    nlohmann::json material = nlohmann::json::object();
    AddName(material, "name", m.name);
    doc["materials"].push_back(material);
}

void JsonReport::Lights(int32_t /*count*/) {
    doc["lights"] = nlohmann::json::array();
}

void JsonReport::LightRecord(const Light& l) {
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

void JsonReport::Cameras(int32_t /*count*/) {
    doc["cameras"] = nlohmann::json::array();
}

void JsonReport::CameraRecord(const Camera& c, const CameraAim& aim) {
    // Which target the camera view looks at: its target track's first key, its camera
    // chunk's target, or neither (the fixed camera's way).
    const nlohmann::json used = !aim.hasTarget       ? nlohmann::json(nullptr)
                                : aim.targetFromKeys ? nlohmann::json("track")
                                                     : nlohmann::json("chunk");
    nlohmann::json camera = {{"position", Triple(c.position)},
                             {"target", Triple(c.target)},
                             {"bank", c.bank},
                             {"lens", c.lens},
                             {"fieldOfView", CameraFieldOfView(c) * kDegreesPerRadian},
                             {"positionKeys", c.positionKeyCount},
                             {"targetKeys", c.targetKeyCount},
                             {"matrix", MatrixRows(c.matrix)},
                             {"targetUsed", used}};
    AddName(camera, "name", c.name);
    const std::string note = CameraAimNote(aim);
    if (!note.empty()) camera["warning"] = note;
    doc["cameras"].push_back(camera);
}

void JsonReport::Bounds(const FileBounds& b) {
    nlohmann::json bounds = {{"finitePositions", b.bounds.finiteCount},
                             {"nonFinitePositions", b.bounds.nonFiniteCount}};
    if (b.bounds.finiteCount > 0) {
        bounds["min"] = Triple(b.min);
        bounds["max"] = Triple(b.max);
        bounds["centre"] = Triple(b.centre);
        bounds["size"] = Triple(b.size);
    }
    doc["bounds"] = bounds;
}

bool JsonReport::Animation(const SceneAnimation& animation, const double* frameTime,
                           int32_t /*nodeCount*/) {
    doc["animation"] = {{"animated", animation.animated},
                        {"firstFrame", animation.firstFrame},
                        {"lastFrame", animation.lastFrame}};
    if (frameTime != nullptr) doc["animation"]["frame"] = *frameTime;
    doc["nodes"] = nlohmann::json::array();  // written one by one (End)
    return false;
}

void JsonReport::BeginNode(int32_t /*index*/, const KeyframerNode& n, int32_t parent) {
    const KeyframerNodeExtras& extras = NodeExtras(n);
    element = {{"kind", NodeKindName(n.kind)},
               {"nodeId", n.nodeId},
               {"parentId", n.parentId},
               {"parent", parent >= 0 ? nlohmann::json(parent) : nlohmann::json(nullptr)},
               {"record", n.recordIndex},
               {"flags", {n.flags1, n.flags2}},
               {"pivot", Triple(extras.pivot)}};
    if (n.name != nullptr) {
        AddName(element, "name", n.name);
    } else {
        element["name"] = nullptr;
    }
    if (extras.instanceName != nullptr) AddName(element, "instanceName", extras.instanceName);
    element["tracks"] = nlohmann::json::object();
}

void JsonReport::Track(const char* name, const KeyTrack& track) {
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
    element["tracks"][name] = {{"flags", track.flags}, {"keys", keys}};
}

void JsonReport::EndNode(int32_t index, const KeyframerNode& n, const SceneAnimation& animation,
                         const double* frameTime) {
    if (frameTime != nullptr) {
        const auto i = static_cast<size_t>(index);
        element["world"] = MatrixRows(animation.world[i]);
        element["worldFileAxes"] = MatrixRows(animation.worldFile[i]);
        if (n.kind == KeyframerObjectNode && n.recordIndex >= 0) {
            element["meshMatrix"] = MatrixRows(animation.object[i]);
        }
        element["hidden"] = animation.hidden[i] != 0;
    }
}

void JsonReport::CameraAtFrame(int32_t index, const Camera& /*c*/, double /*frameTime*/,
                               const Matrix4& matrix, float fov) {
    doc["cameras"][static_cast<size_t>(index)]["atFrame"] = {{"matrix", MatrixRows(matrix)},
                                                             {"fov", fov}};
}

void JsonReport::End() {
    const Scene& scene = *reported->scene;
    PrintStreamed(
        doc, {{"nodes", scene.nodeCount}, {"objects", scene.objectCount}},
        [&](size_t list, int32_t i) -> const nlohmann::json& {
            if (list == 0) {
                WalkNode(*reported, i, *this);
            } else {
                const int32_t node = reported->objectNode[static_cast<size_t>(i)];
                ObjectRecord(scene.objects[i], node >= 0 ? &scene.nodes[node] : nullptr);
            }
            return element;
        },
        out);
}

void PrintLoadFailureJson(const char* path, const LoadError& error, std::FILE* out) {
    nlohmann::json doc = {
        {"error",
         {{"message", error.message}, {"offset", error.offset}, {"chunk", error.chunkId}}}};
    AddName(doc, "file", path);
    PrintDocument(doc, out);
}
