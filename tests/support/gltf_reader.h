// Reading the export back in tests: a .glb or .gltf (from ExportGltfToMemory's files) as
// JSON and buffer, accessors as numbers, node matrices, and the animation evaluated at a
// time as a glTF viewer does (LINEAR: lerp, and slerp for rotations).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// Column-vector 4x4 in glTF's order: column c, row r at 4c + r.
using GltfMatrix = std::array<double, 16>;

struct GltfFile {
    nlohmann::json json;
    std::vector<uint8_t> bin;
};

inline uint32_t ReadLe32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The .glb's two chunks, or the .gltf's JSON and its buffer file (from the same map).
inline GltfFile ReadGltf(const std::map<std::string, std::vector<uint8_t>>& files,
                         const std::string& name) {
    GltfFile file;
    const std::vector<uint8_t>& bytes = files.at(name);
    if (name.size() > 4 && name.substr(name.size() - 4) == ".glb") {
        EXPECT_EQ(ReadLe32(bytes.data()), 0x46546C67u);
        EXPECT_EQ(ReadLe32(bytes.data() + 8), bytes.size());
        const uint32_t jsonLength = ReadLe32(bytes.data() + 12);
        EXPECT_EQ(jsonLength % 4, 0u);
        file.json = nlohmann::json::parse(bytes.begin() + 20, bytes.begin() + 20 + jsonLength);
        const size_t bin = 20 + jsonLength;
        if (bin < bytes.size()) {
            const uint32_t binLength = ReadLe32(bytes.data() + bin);
            file.bin.assign(bytes.begin() + static_cast<std::ptrdiff_t>(bin + 8),
                            bytes.begin() + static_cast<std::ptrdiff_t>(bin + 8 + binLength));
        }
    } else {
        file.json = nlohmann::json::parse(bytes.begin(), bytes.end());
        if (file.json.contains("buffers")) {
            file.bin = files.at(file.json["buffers"][0]["uri"].get<std::string>());
        }
    }
    return file;
}

// The numbers of accessor `index`, every component of every element in order.
inline std::vector<double> AccessorValues(const GltfFile& file, int index) {
    const nlohmann::json& a = file.json["accessors"][index];
    const nlohmann::json& view = file.json["bufferViews"][a["bufferView"].get<int>()];
    const size_t offset = view.value("byteOffset", 0) + a.value("byteOffset", 0);
    static const std::map<std::string, int> kWidth = {
        {"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}, {"MAT4", 16}};
    const size_t n = a["count"].get<size_t>() * kWidth.at(a["type"].get<std::string>());
    std::vector<double> values(n);
    const uint8_t* p = file.bin.data() + offset;
    for (size_t i = 0; i < n; ++i) {
        switch (a["componentType"].get<int>()) {
            case 5126: {
                float f;
                std::memcpy(&f, p + 4 * i, 4);
                values[i] = static_cast<double>(f);
                break;
            }
            case 5125:
                values[i] = ReadLe32(p + 4 * i);
                break;
            case 5123:
                values[i] = p[2 * i] | (p[2 * i + 1] << 8);
                break;
            default:
                ADD_FAILURE() << "component type " << a["componentType"];
        }
    }
    return values;
}

// A node's transform: translation, rotation (x, y, z, w) and scale.
struct GltfTrs {
    double t[3] = {0, 0, 0};
    double r[4] = {0, 0, 0, 1};
    double s[3] = {1, 1, 1};
};

inline GltfTrs NodeTrs(const nlohmann::json& node) {
    GltfTrs trs;
    for (int i = 0; i < 3 && node.contains("translation"); ++i)
        trs.t[i] = node["translation"][i].get<double>();
    for (int i = 0; i < 4 && node.contains("rotation"); ++i)
        trs.r[i] = node["rotation"][i].get<double>();
    for (int i = 0; i < 3 && node.contains("scale"); ++i)
        trs.s[i] = node["scale"][i].get<double>();
    return trs;
}

inline GltfMatrix TrsMatrix(const GltfTrs& m) {
    const double x = m.r[0], y = m.r[1], z = m.r[2], w = m.r[3];
    const double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + z * w),     2 * (x * z - y * w),
                         2 * (x * y - z * w),     1 - 2 * (x * x + z * z), 2 * (y * z + x * w),
                         2 * (x * z + y * w),     2 * (y * z - x * w),     1 - 2 * (x * x + y * y)};
    GltfMatrix out = {};
    for (int c = 0; c < 3; ++c) {
        for (int row = 0; row < 3; ++row)
            out[4 * c + row] = r[3 * c + row] * m.s[c];
    }
    out[12] = m.t[0];
    out[13] = m.t[1];
    out[14] = m.t[2];
    out[15] = 1;
    return out;
}

inline GltfMatrix Multiply(const GltfMatrix& a, const GltfMatrix& b) {  // a * b
    GltfMatrix out = {};
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            for (int k = 0; k < 4; ++k)
                out[4 * c + r] += a[4 * k + r] * b[4 * c + k];
        }
    }
    return out;
}

inline std::array<double, 3> Apply(const GltfMatrix& m, const double p[3]) {
    std::array<double, 3> out;
    for (int r = 0; r < 3; ++r)
        out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
    return out;
}

// Every node's transform at `time`: its own, with each animation channel sampled there.
inline std::vector<GltfTrs> TrsAtTime(const GltfFile& file, double time) {
    std::vector<GltfTrs> trs;
    for (const nlohmann::json& node : file.json["nodes"])
        trs.push_back(NodeTrs(node));
    if (!file.json.contains("animations")) return trs;
    for (const nlohmann::json& animation : file.json["animations"]) {
        for (const nlohmann::json& channel : animation["channels"]) {
            const nlohmann::json& sampler = animation["samplers"][channel["sampler"].get<int>()];
            EXPECT_EQ(sampler.value("interpolation", "LINEAR"), "LINEAR");
            const std::vector<double> times = AccessorValues(file, sampler["input"].get<int>());
            const std::vector<double> values = AccessorValues(file, sampler["output"].get<int>());
            const std::string path = channel["target"]["path"].get<std::string>();
            const int width = path == "rotation" ? 4 : 3;
            size_t k = 0;
            while (k + 2 < times.size() && time >= times[k + 1])
                ++k;
            double u = times.size() > 1 ? (time - times[k]) / (times[k + 1] - times[k]) : 0.0;
            u = std::fmin(std::fmax(u, 0.0), 1.0);
            const size_t next = std::min(k + 1, times.size() - 1);
            const double* a = &values[k * width];
            const double* b = &values[next * width];
            double out[4];
            if (width == 4) {  // slerp
                double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
                double sign = dot < 0 ? -1 : 1;
                dot = std::fabs(dot);
                double wa = 1 - u, wb = u;
                if (dot < 1 - 1e-9) {
                    const double omega = std::acos(dot);
                    wa = std::sin((1 - u) * omega) / std::sin(omega);
                    wb = std::sin(u * omega) / std::sin(omega);
                }
                for (int i = 0; i < 4; ++i)
                    out[i] = wa * a[i] + sign * wb * b[i];
            } else {
                for (int i = 0; i < 3; ++i)
                    out[i] = (1 - u) * a[i] + u * b[i];
            }
            GltfTrs& target = trs[channel["target"]["node"].get<int>()];
            double* dest = path == "translation" ? target.t
                           : path == "rotation"  ? target.r
                                                 : target.s;
            for (int i = 0; i < width; ++i)
                dest[i] = out[i];
        }
    }
    return trs;
}

// World matrices of every node from the scene's roots, given every node's transform.
inline std::vector<GltfMatrix> WorldMatrices(const GltfFile& file,
                                             const std::vector<GltfTrs>& trs) {
    const nlohmann::json& nodes = file.json["nodes"];
    std::vector<GltfMatrix> world(nodes.size());
    std::vector<std::pair<int, GltfMatrix>> stack;
    GltfMatrix identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (const nlohmann::json& root : file.json["scenes"][0]["nodes"])
        stack.push_back({root.get<int>(), identity});
    while (!stack.empty()) {
        auto [node, parent] = stack.back();
        stack.pop_back();
        world[node] = Multiply(parent, TrsMatrix(trs[node]));
        if (nodes[node].contains("children")) {
            for (const nlohmann::json& child : nodes[node]["children"])
                stack.push_back({child.get<int>(), world[node]});
        }
    }
    return world;
}
