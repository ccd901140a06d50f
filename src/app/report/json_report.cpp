// The JSON report's document.
#include "app/report/json_report.h"

#include "scene/utf8.h"

namespace {

// The document as text: indented, and ASCII only (every other character as a \u escape), so
// that it is as safe in a terminal as the text report while losing nothing.
void PrintDocument(const nlohmann::json& doc, std::FILE* out) {
    std::fprintf(out, "%s\n", doc.dump(2, ' ', true).c_str());
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
    doc["file"] = NameAsUtf8(r.path);
    doc["segment"] = {{"start", r.scene->segmentStart}, {"end", r.scene->segmentEnd}};
    // A file that is not a 3DS file loads as a scene with nothing in it.
    doc["is3ds"] = r.notA3ds.empty();
    if (!r.notA3ds.empty()) doc["warning"] = r.notA3ds;
}

void JsonReport::Objects(int32_t /*count*/) {
    doc["objects"] = nlohmann::json::array();
}

void JsonReport::ObjectRecord(const MeshObject& o, const KeyframerNode* named) {
    // The node that names the object (null when none does).
    const nlohmann::json none = nullptr;
    doc["objects"].push_back({{"name", NameAsUtf8(o.name)},
                              {"vertices", o.vertexCount},
                              {"faces", o.faceCount},
                              {"nodeId", named ? nlohmann::json(named->nodeId) : none},
                              {"parentId", named ? nlohmann::json(named->parentId) : none},
                              {"positionKeys", o.positionKeyCount},
                              {"rotationKeys", o.rotationKeyCount}});
}

void JsonReport::Materials(int32_t /*count*/) {
    doc["materials"] = nlohmann::json::array();
}

void JsonReport::MaterialRecord(const Material& m) {
    doc["materials"].push_back({{"name", NameAsUtf8(m.name)}});
}

void JsonReport::Lights(int32_t /*count*/) {
    doc["lights"] = nlohmann::json::array();
}

void JsonReport::LightRecord(const Light& l) {
    nlohmann::json light = {{"name", NameAsUtf8(l.name)},
                            {"spot", l.isSpot != 0},
                            {"off", l.isOff != 0},
                            {"rayShadow", l.rayShadow != 0},
                            {"position", Triple(l.position)},
                            {"color", Triple(l.color)},
                            {"color255", {l.color255[0], l.color255[1], l.color255[2]}},
                            {"multiplier", l.multiplier},
                            {"innerRange", l.innerRange},
                            {"outerRange", l.outerRange}};
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
    nlohmann::json camera = {{"name", NameAsUtf8(c.name)},
                             {"position", Triple(c.position)},
                             {"target", Triple(c.target)},
                             {"bank", c.bank},
                             {"lens", c.lens},
                             {"fieldOfView", CameraFieldOfView(c) * kDegreesPerRadian},
                             {"positionKeys", c.positionKeyCount},
                             {"targetKeys", c.targetKeyCount},
                             {"matrix", MatrixRows(c.matrix)},
                             {"targetUsed", used}};
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

void JsonReport::Animation(const SceneAnimation& animation, const double* frameTime,
                           int32_t /*nodeCount*/) {
    doc["animation"] = {{"animated", animation.animated},
                        {"firstFrame", animation.firstFrame},
                        {"lastFrame", animation.lastFrame}};
    if (frameTime != nullptr) doc["animation"]["frame"] = *frameTime;
    doc["nodes"] = nlohmann::json::array();
}

void JsonReport::BeginNode(int32_t /*index*/, const KeyframerNode& n, int32_t parent) {
    node = {
        {"kind", NodeKindName(n.kind)},
        {"name", n.name != nullptr ? nlohmann::json(NameAsUtf8(n.name)) : nlohmann::json(nullptr)},
        {"nodeId", n.nodeId},
        {"parentId", n.parentId},
        {"parent", parent >= 0 ? nlohmann::json(parent) : nlohmann::json(nullptr)},
        {"record", n.recordIndex},
        {"flags", {n.flags1, n.flags2}},
        {"pivot", Triple(n.pivot)}};
    if (n.instanceName != nullptr) node["instanceName"] = NameAsUtf8(n.instanceName);
    node["tracks"] = nlohmann::json::object();
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
    node["tracks"][name] = {{"flags", track.flags}, {"keys", keys}};
}

void JsonReport::EndNode(int32_t index, const KeyframerNode& n, const SceneAnimation& animation,
                         const double* frameTime) {
    if (frameTime != nullptr) {
        const auto i = static_cast<size_t>(index);
        node["world"] = MatrixRows(animation.world[i]);
        node["worldFileAxes"] = MatrixRows(animation.worldFile[i]);
        if (n.kind == KeyframerObjectNode && n.recordIndex >= 0) {
            node["meshMatrix"] = MatrixRows(animation.object[i]);
        }
        node["hidden"] = animation.hidden[i] != 0;
    }
    doc["nodes"].push_back(std::move(node));
}

void JsonReport::CameraAtFrame(int32_t index, const Camera& /*c*/, double /*frameTime*/,
                               const Matrix4& matrix, float fov) {
    doc["cameras"][static_cast<size_t>(index)]["atFrame"] = {{"matrix", MatrixRows(matrix)},
                                                             {"fov", fov}};
}

void JsonReport::End() {
    PrintDocument(doc, out);
}

void PrintLoadFailureJson(const char* path, const LoadError& error, std::FILE* out) {
    const nlohmann::json doc = {
        {"file", NameAsUtf8(path)},
        {"error",
         {{"message", error.message}, {"offset", error.offset}, {"chunk", error.chunkId}}}};
    PrintDocument(doc, out);
}
