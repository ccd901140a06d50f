// The text report's lines.
#include "app/report/text_report.h"

#include <cinttypes>
#include <string>

#include "app/scene_messages.h"
#include "scene/printable.h"

namespace {

// A node's name for the text report.
std::string NodeNameText(const char* name) {
    return name == nullptr ? std::string("(no header)") : QuotedName(name);
}

void PrintMatrixRows(std::FILE* out, const char* label, const Matrix4& m) {
    for (int r = 0; r < 4; ++r) {
        std::fprintf(out, "    %-8s %10.5f %10.5f %10.5f %10.5f\n", r == 0 ? label : "",
                     static_cast<double>(m[4 * r]), static_cast<double>(m[4 * r + 1]),
                     static_cast<double>(m[4 * r + 2]), static_cast<double>(m[4 * r + 3]));
    }
}

}  // namespace

void TextReport::File(const ReportedScene& r) {
    // A file that is not a 3DS file loads as a scene with nothing in it: said first.
    if (!r.notA3ds.empty()) {
        std::fprintf(out, "%s: %s\n", PrintableName(r.path).c_str(), r.notA3ds.c_str());
    }
    std::fprintf(out, "%s\n", PrintableName(r.path).c_str());
    std::fprintf(out, "segment: frames %" PRIu32 " to %" PRIu32 "\n", r.scene->segmentStart,
                 r.scene->segmentEnd);
}

bool TextReport::Objects(int32_t count) {
    std::fprintf(out, "objects: %d\n", count);
    return true;
}

void TextReport::ObjectRecord(const MeshObject& o, const KeyframerNode* node) {
    std::fprintf(out, "  %-20s %6d vertices %6d faces", PrintableName(o.name).c_str(),
                 o.vertexCount, o.faceCount);
    if (node == nullptr) {
        std::fprintf(out, "  no node");
    } else if (node->parentId == 65535) {
        std::fprintf(out, "  node %d (root)", node->nodeId);
    } else {
        std::fprintf(out, "  node %d (parent %d)", node->nodeId, node->parentId);
    }
    std::fprintf(out, "  keys: %d position, %d rotation\n", o.positionKeyCount, o.rotationKeyCount);
}

void TextReport::Materials(int32_t count) {
    std::fprintf(out, "materials: %d\n", count);
}

void TextReport::MaterialRecord(const Material& m) {
    std::fprintf(out, "  %s\n", PrintableName(m.name).c_str());
}

void TextReport::Lights(int32_t count) {
    std::fprintf(out, "lights: %d\n", count);
}

void TextReport::LightRecord(const Light& l) {
    std::fprintf(out, "  %-20s %s at (%g, %g, %g)  colour (%g, %g, %g) = %d %d %d",
                 PrintableName(l.name).c_str(), l.isSpot ? "spotlight" : "light",
                 static_cast<double>(l.position[0]), static_cast<double>(l.position[1]),
                 static_cast<double>(l.position[2]), static_cast<double>(l.color[0]),
                 static_cast<double>(l.color[1]), static_cast<double>(l.color[2]), l.color255[0],
                 l.color255[1], l.color255[2]);
    if (l.isSpot) {
        std::fprintf(out, "  target (%g, %g, %g)  hotspot %g  falloff %g",
                     static_cast<double>(l.target[0]), static_cast<double>(l.target[1]),
                     static_cast<double>(l.target[2]), static_cast<double>(l.hotspot),
                     static_cast<double>(l.falloff));
    }
    if (l.isOff) std::fprintf(out, "  off");
    std::fprintf(out, "\n");
}

void TextReport::Cameras(int32_t count) {
    std::fprintf(out, "cameras: %d\n", count);
}

void TextReport::CameraRecord(const Camera& c, const CameraAim& aim) {
    std::fprintf(out, "  %-20s keys: %d position, %d target  lens %g  field of view %.4g deg\n",
                 PrintableName(c.name).c_str(), c.positionKeyCount, c.targetKeyCount,
                 static_cast<double>(c.lens), CameraFieldOfView(c) * kDegreesPerRadian);
    for (int r = 0; r < 4; ++r) {
        std::fprintf(out, "    %s %10.5f %10.5f %10.5f %10.5f\n", r == 0 ? "matrix" : "      ",
                     static_cast<double>(c.matrix[4 * r]), static_cast<double>(c.matrix[4 * r + 1]),
                     static_cast<double>(c.matrix[4 * r + 2]),
                     static_cast<double>(c.matrix[4 * r + 3]));
    }
    const std::string note = CameraAimNote(aim);
    if (!note.empty()) std::fprintf(out, "    %s\n", note.c_str());
}

void TextReport::Bounds(const FileBounds& b) {
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

bool TextReport::Animation(const SceneAnimation& animation, const double* /*frameTime*/,
                           int32_t nodeCount) {
    std::fprintf(out, "animation: %s, frames %g to %g\n", animation.animated ? "animated" : "still",
                 animation.firstFrame, animation.lastFrame);
    std::fprintf(out, "keyframer nodes: %d\n", nodeCount);
    return true;
}

void TextReport::BeginNode(int32_t index, const KeyframerNode& n, int32_t parent) {
    std::fprintf(out, "  %d %s %s  id %d", index, NodeKindName(n.kind),
                 NodeNameText(n.name).c_str(), n.nodeId);
    const KeyframerNodeExtras& extras = NodeExtras(n);
    if (extras.instanceName != nullptr) {
        std::fprintf(out, "  instance %s", QuotedName(extras.instanceName).c_str());
    }
    if (parent >= 0) {
        std::fprintf(out, "  parent %d (node %d)", n.parentId, parent);
    } else if (n.parentId == 65535) {
        std::fprintf(out, "  root");
    } else {
        std::fprintf(out, "  parent %d (none: a root)", n.parentId);
    }
    std::fprintf(out, "  flags 0x%04X 0x%04X", n.flags1, n.flags2);
    if (extras.hasPivot) {
        std::fprintf(out, "  pivot (%g, %g, %g)", static_cast<double>(extras.pivot[0]),
                     static_cast<double>(extras.pivot[1]), static_cast<double>(extras.pivot[2]));
    }
    std::fprintf(out, "\n");
}

void TextReport::Track(const char* name, const KeyTrack& track) {
    std::fprintf(out, "    %s: %d keys\n", name, track.keyCount);
    for (int32_t k = 0; k < track.keyCount; ++k) {
        std::fprintf(out, "      frame %-6u", track.frames[k]);
        for (int32_t c = 0; c < track.components; ++c) {
            std::fprintf(out, " %g", static_cast<double>(track.values[k * track.components + c]));
        }
        const KeySpline& s = track.splines[k];
        std::fprintf(out, "  tcb %g %g %g  ease %g %g\n", static_cast<double>(s.tension),
                     static_cast<double>(s.continuity), static_cast<double>(s.bias),
                     static_cast<double>(s.easeTo), static_cast<double>(s.easeFrom));
    }
}

void TextReport::EndNode(int32_t index, const KeyframerNode& /*n*/, const SceneAnimation& animation,
                         const double* frameTime) {
    if (frameTime == nullptr) return;
    const auto i = static_cast<size_t>(index);
    PrintMatrixRows(out, "world", animation.world[i]);
    if (animation.hidden[i]) std::fprintf(out, "    hidden at frame %g\n", *frameTime);
}

void TextReport::CameraAtFrame(int32_t /*index*/, const Camera& c, double frameTime,
                               const Matrix4& matrix, float fov) {
    std::fprintf(out, "camera %s at frame %g: field of view %g\n", NodeNameText(c.name).c_str(),
                 frameTime, static_cast<double>(fov));
    PrintMatrixRows(out, "matrix", matrix);
}

void PrintLoadFailureText(const char* path, std::FILE* err) {
    std::fprintf(err, "trellis: %s\n", LoadFailureText(path).c_str());
}
