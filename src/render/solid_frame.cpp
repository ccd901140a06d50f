// The solid modes of the whole-frame renderer: a chunk of instances drawn with a depth
// buffer in three stages, each cut into pieces that the caller and the pool's threads take
// (worker_pool_internal.h):
//
// 1. Vertices (pieces of vertex blocks): each vertex of each instance is taken into view
//    space once, coded with the frustum planes it lies beyond, and projected and snapped to
//    1/256 pixel (SnapCorner).
// 2. Binning (pieces of faceBatch faces): each face whose corners do not all lie beyond one
//    plane, and which covers a pixel centre or has edges to draw, is kept as a compact record
//    (its snapped corners) and entered in the bin of each tile its box touches (up to four),
//    or in its batch's shared list with the rectangle of tiles it spans. A batch's bins are
//    written only by the thread that took it and depend only on its faces.
// 3. Tiles (one tile a piece): each tile walks the batches in order, merging its bin with the
//    shared lists by face number, and draws inside the tile the faces seen from the front,
//    then those seen from behind (passed over where the depth the tile has reached already
//    hides them), then the transparent faces, then the lines. A tile is drawn by one thread,
//    in the faces' order, so the frame does not depend on the number of threads (no races,
//    nothing to merge).
//
// Textured faces are drawn by the same passes: a face whose material's texture map the frame
// draws is filled by the Textured shader with its texture coordinates and its corners' light
// split for the map (LightPointParts); a face whose opacity map is drawn counts as
// transparent, so it is drawn after the opaque faces, its opaque pixels storing depth.
//
// Lighting is computed where it is needed: one side of a shade point (a smooth corner's
// vertex, or a flat face) when the first pixel of a face through it shows, by whichever
// thread draws that face; the value depends on the point alone, so it is the same whoever
// computes it, and the slot is written with relaxed atomic stores. Models: Mesa llvmpipe's
// binning of triangles into tiles owned by one thread each; hierarchical depth culling.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "render/frame_render_internal.h"
#include "render/frame_stop.h"
#include "render/wireframe.h"
#include "render/worker_pool_internal.h"

namespace {

static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);

// Frustum planes a view point lies beyond: each taken a pixel outside the frame's edges.
constexpr uint8_t kOutLeft = 1, kOutRight = 2, kOutTop = 4, kOutBottom = 8, kOutNear = 16;
constexpr uint8_t kOutAll = 31;

// Tiles: at most this many, each 2^tileShift pixels square (64 unless the frame is huge).
constexpr int32_t kMaxTiles = 1024;
// A batch's bins hold this many entries a face; a face in at most kMaxTilesBinned tiles is
// entered in each.
constexpr int64_t kBinEntriesPerFace = 2;
constexpr int32_t kMaxTilesBinned = 4;
// A bin entry is the number of the face's BinnedFace with two bits: seen from behind (known
// for faces that need no clipping), and of a transparent or wire material (lit modes). The
// records of a batch are in face order, so entries merge in face order by their numbers.
constexpr uint32_t kBackEntry = 1u << 31;
constexpr uint32_t kSpecialEntry = 1u << 30;
constexpr uint32_t kFaceNumber = kSpecialEntry - 1;

// The chunk being drawn.
struct SolidContext {
    FrameRenderState* f;
    const SolidFrame* frame;
    RasterProjection raster;
    double leftZ, rightZ, topZ, bottomZ;  // the frustum planes' depth factors (see Outcode)
    int64_t blocksPerPiece;
    int64_t batches;
    int32_t tileCount;
    bool lit;          // faces get colours (shaded, edges)
    bool allEdges;     // every face's edges are drawn (edges, hidden-line)
    bool lines;        // there are lines to draw
    bool transparent;  // some face of the chunk is transparent
    bool depthOffset;  // fills push their depth back for the lines
    bool maps;         // faces get their materials' maps (lit modes, some map drawn)
    uint32_t stamp;    // the colours' stamp of this chunk
};

// The planes of view points (x, y, z) beyond each edge: x * focal + (centreX + 1) * z < 0
// is left of the frame by more than a pixel, and so on; z at kRasterNear or nearer (or NaN)
// is beyond the near plane. These are half-spaces through the eye, right for points behind
// it too, so a face whose three corners lie beyond one plane cannot reach the frame.
inline uint8_t Outcode(ViewPoint p, const SolidContext& c) {
    const double x = static_cast<double>(p.x), y = static_cast<double>(p.y);
    const double z = static_cast<double>(p.z);
    const double f = c.raster.focal;
    uint32_t code = 0;
    code |= static_cast<uint32_t>(x * f + c.leftZ * z < 0.0) * kOutLeft;
    code |= static_cast<uint32_t>(c.rightZ * z - x * f < 0.0) * kOutRight;
    code |= static_cast<uint32_t>(y * f + c.topZ * z < 0.0) * kOutTop;
    code |= static_cast<uint32_t>(c.bottomZ * z - y * f < 0.0) * kOutBottom;
    code |= static_cast<uint32_t>(!(z > static_cast<double>(kRasterNear))) * kOutNear;
    return static_cast<uint8_t>(code);
}

// ---- Stage 1: vertices ----

void ProjectSolidPiece(const SolidContext& c, int64_t piece) {
    FrameRenderState& f = *c.f;
    ForEachInstancePart(
        f, piece * c.blocksPerPiece, c.blocksPerPiece, &InstanceWork::firstVertexBlock,
        [&](const InstanceWork& w, int32_t firstBlock, int32_t endBlock) {
            const Vertex* vertices = w.object->vertices;
            SolidVertex* out = f.solidVertices.get() + w.firstCorner;
            for (int32_t b = firstBlock; b < endBlock; ++b) {
                const int32_t first = b * kBlock;
                const int32_t end = std::min(w.vertexCount, first + kBlock);
                uint8_t blockCode = kOutAll;
                for (int32_t i = first; i < end; ++i) {
                    const ViewPoint p =
                        ViewPositionOf(w.view, vertices[i].x, vertices[i].y, vertices[i].z);
                    const uint8_t code = Outcode(p, c);
                    blockCode &= code;
                    SolidVertex& v = out[i];
                    SnapCorner(p, c.raster, v.x, v.y, v.invZ);
                    v.outcode = code;
                }
                f.blockCodes.get()[static_cast<size_t>(w.firstVertexBlock + b)] = blockCode;
            }
        });
}

// ---- Stage 2: binning ----

constexpr uint32_t PackRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    return static_cast<uint32_t>(x0) | static_cast<uint32_t>(y0) << 8 |
           static_cast<uint32_t>(x1) << 16 | static_cast<uint32_t>(y1) << 24;
}

inline bool RectHolds(uint32_t rect, int32_t tx, int32_t ty) {
    const int32_t x0 = static_cast<int32_t>(rect & 0xFF),
                  y0 = static_cast<int32_t>(rect >> 8 & 0xFF);
    const int32_t x1 = static_cast<int32_t>(rect >> 16 & 0xFF),
                  y1 = static_cast<int32_t>(rect >> 24);
    return tx >= x0 && tx <= x1 && ty >= y0 && ty <= y1;
}

// A map's amount (0 to 1; 1 when the file gives none) in 1/256, held to 0..256; a value
// that is not a number counts as full.
int32_t MapAmount(const MaterialMap& map) {
    const float amount = map.amount;
    if (amount != amount) return 256;
    const float scaled = amount * 256.0f + 0.5f;
    return scaled <= 0.0f ? 0 : (scaled >= 256.0f ? 256 : static_cast<int32_t>(scaled));
}

// The maps of a face's material as this frame draws them.
const MapStyle& MapStyleOf(const FrameRenderState& f, const Face& face) {
    const int64_t m = static_cast<int64_t>(face.material) + 1;
    return f
        .mapStyles[m >= 0 && m < static_cast<int64_t>(f.mapStyles.size()) ? static_cast<size_t>(m)
                                                                          : 0];
}

// Whether the frame draws the opacity map of a face flagged kFaceOpacityMap.
inline bool OpacityDrawn(const SolidContext& c, const Face& face) {
    return c.maps && MapStyleOf(*c.f, face).opacity != nullptr;
}

void BinPiece(const SolidContext& c, int64_t piece, int32_t thread) {
    FrameRenderState& f = *c.f;
    ThreadBins& bins = f.threadBins[static_cast<size_t>(thread)];
    const int64_t batch = f.binBatchSize;
    const int64_t total = f.work[static_cast<size_t>(f.instanceCount)].firstFace;
    const int64_t start = piece * batch;
    const int64_t stop = std::min(start + batch, total);
    const int32_t width = f.projection.width, height = f.projection.height;
    const int32_t shift = f.tileShift;
    const uint32_t shared = static_cast<uint32_t>(c.tileCount);
    const uint32_t everyTile = PackRect(0, 0, f.tilesX - 1, f.tilesY - 1);
    int32_t n = 0;      // entries
    uint32_t kept = 0;  // faces kept
    const int64_t room = kBinEntriesPerFace * batch;
    BinnedFace* records = f.binFaces.get() + piece * batch;
    const uint32_t firstRecord = static_cast<uint32_t>(piece * batch);
    uint32_t* counts = bins.counts.data();
    std::fill(counts, counts + c.tileCount + 2, 0u);
    ForEachInstancePart(
        f, start, batch, &InstanceWork::firstFace,
        [&](const InstanceWork& w, int32_t begin, int32_t end) {
            const PreparedObject& p = f.prepared[static_cast<size_t>(w.prepared)];
            const uint32_t* faceVertex = p.shading.faceVertex.data();
            const SolidVertex* vertices = f.solidVertices.get() + w.firstCorner;
            const uint8_t* blockCodes = f.blockCodes.get() + w.firstVertexBlock;
            const FaceBlock* faceBlocks =
                w.skipBlocks ? f.faceBlocks.data() + p.firstFaceBlock : nullptr;
            // Boxes by pixel centres, or by the pixels a line can set where edges are drawn.
            const bool cells = c.allEdges || (c.lit && p.hasWire);
            const uint8_t* faceFlags = p.faceFlags.data();
            for (int32_t i = begin; i < end; ++i) {
                if (faceBlocks != nullptr && i % kBlock == 0 &&
                    BlockHidden(faceBlocks[i / kBlock], blockCodes, kOutAll)) {
                    i += kBlock - 1;
                    continue;
                }
                const uint32_t* corner = faceVertex + 3 * static_cast<size_t>(i);
                if (corner[0] == kNoVertex) continue;
                const SolidVertex& a = vertices[corner[0]];
                const SolidVertex& b = vertices[corner[1]];
                const SolidVertex& d = vertices[corner[2]];
                if ((a.outcode & b.outcode & d.outcode) != 0) continue;
                const uint32_t face = static_cast<uint32_t>(w.firstFace + i);
                uint32_t entry = firstRecord + kept;
                if (c.lit && faceFlags[i] != 0 &&
                    (faceFlags[i] != kFaceOpacityMap || OpacityDrawn(c, w.object->faces[i])))
                    entry |= kSpecialEntry;
                if (a.invZ == 0.0f || b.invZ == 0.0f || d.invZ == 0.0f) {
                    // To be clipped: every tile looks at it.
                    records[kept++] = BinnedFace{{0, 0, 0}, {0, 0, 0}, {0.0f, 0.0f, 0.0f}, face};
                    bins.items[static_cast<size_t>(n++)] = BinItem{entry, shared, everyTile};
                    ++counts[shared];
                    continue;
                }
                const int32_t minX = std::min({a.x, b.x, d.x}), maxX = std::max({a.x, b.x, d.x});
                const int32_t minY = std::min({a.y, b.y, d.y}), maxY = std::max({a.y, b.y, d.y});
                int32_t x0, x1, y0, y1;
                if (cells) {
                    x0 = minX >> kSubPixelBits;
                    x1 = maxX >> kSubPixelBits;
                    y0 = minY >> kSubPixelBits;
                    y1 = maxY >> kSubPixelBits;
                    // Corners all in one pixel (as the line stepper truncates them) draw no
                    // line; with no centre inside either, the face draws nothing.
                    const bool oneCell = a.x / kSubPixelOne == b.x / kSubPixelOne &&
                                         a.x / kSubPixelOne == d.x / kSubPixelOne &&
                                         a.y / kSubPixelOne == b.y / kSubPixelOne &&
                                         a.y / kSubPixelOne == d.y / kSubPixelOne;
                    if (oneCell && ((minX + kSubPixelOne / 2 - 1) >> kSubPixelBits >
                                        (maxX - kSubPixelOne / 2) >> kSubPixelBits ||
                                    (minY + kSubPixelOne / 2 - 1) >> kSubPixelBits >
                                        (maxY - kSubPixelOne / 2) >> kSubPixelBits))
                        continue;
                } else {
                    x0 = (minX + kSubPixelOne / 2 - 1) >> kSubPixelBits;
                    x1 = (maxX - kSubPixelOne / 2) >> kSubPixelBits;
                    y0 = (minY + kSubPixelOne / 2 - 1) >> kSubPixelBits;
                    y1 = (maxY - kSubPixelOne / 2) >> kSubPixelBits;
                    if (x0 > x1 || y0 > y1) continue;
                }
                const int64_t area =
                    (static_cast<int64_t>(b.x) - a.x) * (static_cast<int64_t>(d.y) - a.y) -
                    (static_cast<int64_t>(b.y) - a.y) * (static_cast<int64_t>(d.x) - a.x);
                if (area == 0 && !cells) continue;
                if ((area < 0) == w.mirrored) entry |= kBackEntry;
                x0 = std::max(x0, 0);
                y0 = std::max(y0, 0);
                x1 = std::min(x1, width - 1);
                y1 = std::min(y1, height - 1);
                if (x0 > x1 || y0 > y1) continue;
                records[kept++] =
                    BinnedFace{{a.x, b.x, d.x}, {a.y, b.y, d.y}, {a.invZ, b.invZ, d.invZ}, face};
                const int32_t tx0 = x0 >> shift, tx1 = x1 >> shift;
                const int32_t ty0 = y0 >> shift, ty1 = y1 >> shift;
                // A face in a few tiles goes to each one's bin while the batch's room lasts (two
                // entries a face, every face still to come keeping one); the others to the
                // shared list, which every tile of their rectangle reads.
                const int32_t tiles = (tx1 - tx0 + 1) * (ty1 - ty0 + 1);
                const int64_t later = stop - (w.firstFace + i) - 1;
                if (tiles <= kMaxTilesBinned && n + tiles + later <= room) {
                    for (int32_t ty = ty0; ty <= ty1; ++ty) {
                        for (int32_t tx = tx0; tx <= tx1; ++tx) {
                            const uint32_t tile = static_cast<uint32_t>(ty * f.tilesX + tx);
                            bins.items[static_cast<size_t>(n++)] = BinItem{entry, tile, 0};
                            ++counts[tile];
                        }
                    }
                } else {
                    bins.items[static_cast<size_t>(n++)] =
                        BinItem{entry, shared, PackRect(tx0, ty0, tx1, ty1)};
                    ++counts[shared];
                }
            }
        });
    // The batch's bins: by tile, then the shared list, each in face order.
    uint32_t* starts = f.binStart.data() + static_cast<size_t>(piece) * (shared + 2);
    uint32_t sum = 0;
    for (uint32_t t = 0; t <= shared; ++t) {
        starts[t] = sum;
        sum += counts[t];
        counts[t] = starts[t];
    }
    starts[shared + 1] = sum;
    uint32_t* entries = f.binEntries.get() + piece * room;
    uint32_t* rects = f.binRects.get() + piece * room;
    for (int32_t k = 0; k < n; ++k) {
        const BinItem& item = bins.items[static_cast<size_t>(k)];
        const uint32_t at = counts[item.tile]++;
        entries[at] = item.entry;
        if (item.tile == shared) rects[at] = item.rect;
    }
}

// ---- Stage 3: tiles ----

// One face of the chunk being drawn in a tile.
struct FaceAt {
    const InstanceWork* instance;
    const PreparedObject* prepared;
    int32_t index;  // within its object
};

// Finds the instance of each face number in turn; numbers only grow within a walk.
struct InstanceCursor {
    const FrameRenderState* f;
    int32_t at = 0;
    int64_t end;  // the first face after the current instance's
    explicit InstanceCursor(const FrameRenderState* state)
        : f(state), end(state->work[1].firstFace) {}
    FaceAt Find(uint32_t face) {
        while (end <= static_cast<int64_t>(face))
            end = f->work[static_cast<size_t>(++at) + 1].firstFace;
        const InstanceWork& w = f->work[static_cast<size_t>(at)];
        return FaceAt{&w, &f->prepared[static_cast<size_t>(w.prepared)],
                      static_cast<int32_t>(static_cast<int64_t>(face) - w.firstFace)};
    }
};

// Calls visit(face) for every face of the tile's bins and of the shared lists that span
// it, in face order.
template <class Visit>
void WalkTile(const SolidContext& c, int32_t tile, Visit&& visit) {
    const FrameRenderState& f = *c.f;
    const int32_t tx = tile % f.tilesX, ty = tile / f.tilesX;
    const size_t stride = static_cast<size_t>(c.tileCount) + 2;
    for (int64_t b = 0; b < c.batches; ++b) {
        const uint32_t* starts = f.binStart.data() + static_cast<size_t>(b) * stride;
        const uint32_t* entries = f.binEntries.get() + b * kBinEntriesPerFace * f.binBatchSize;
        const uint32_t* rects = f.binRects.get() + b * kBinEntriesPerFace * f.binBatchSize;
        uint32_t own = starts[tile];
        const uint32_t ownEnd = starts[tile + 1];
        uint32_t other = starts[c.tileCount];
        const uint32_t otherEnd = starts[c.tileCount + 1];
        while (other < otherEnd && !RectHolds(rects[other], tx, ty))
            ++other;
        while (own < ownEnd || other < otherEnd) {
            if (other == otherEnd ||
                (own < ownEnd && (entries[own] & kFaceNumber) < (entries[other] & kFaceNumber))) {
                visit(entries[own++]);
            } else {
                visit(entries[other++]);
                while (other < otherEnd && !RectHolds(rects[other], tx, ty))
                    ++other;
            }
        }
    }
}

const ShadeMaterial& MaterialOf(const FrameRenderState& f, const Face& face) {
    const int64_t m = static_cast<int64_t>(face.material) + 1;
    return f
        .materials[m >= 0 && m < static_cast<int64_t>(f.materials.size()) ? static_cast<size_t>(m)
                                                                          : 0];
}

// A normal of the mesh taken to view space and turned outward (the planes and the smooth
// normals point into the mesh, the side its corners turn clockwise from), unit or zero.
void OutwardViewNormal(const InstanceWork& w, const float* n, float (&out)[3]) {
    const float* m = w.normalMatrix;
    for (int k = 0; k < 3; ++k)
        out[k] = -(n[0] * m[k] + n[1] * m[3 + k] + n[2] * m[6 + k]);
    const float length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        out[0] = out[1] = out[2] = 0.0f;
        return;
    }
    const float inverse = 1.0f / length;
    for (float& v : out)
        v *= inverse;
}

// What lighting a shade point needs: its place in view (only where a light stands
// somewhere), its outward unit normal in view, and its material.
const ShadeMaterial& PointInView(const SolidContext& c, const FaceAt& at, uint32_t point,
                                 ViewPoint& position, float (&normal)[3]) {
    const FrameRenderState& f = *c.f;
    const ShadePoint& sp = at.prepared->shading.points[point];
    const InstanceWork& w = *at.instance;
    position = ViewPoint{0.0f, 0.0f, 0.0f};
    if (c.frame->lights.positional && sp.flat) {
        const Face& face = w.object->faces[sp.vertex];
        float sum[3] = {0.0f, 0.0f, 0.0f};
        for (const Vertex* v : {face.vertex0, face.vertex1, face.vertex2}) {
            const ViewPoint p = ViewPositionOf(w.view, v->x, v->y, v->z);
            sum[0] += p.x;
            sum[1] += p.y;
            sum[2] += p.z;
        }
        position = ViewPoint{sum[0] / 3.0f, sum[1] / 3.0f, sum[2] / 3.0f};
    } else if (c.frame->lights.positional) {
        const Vertex& v = w.object->vertices[sp.vertex];
        position = ViewPositionOf(w.view, v.x, v.y, v.z);
    }
    OutwardViewNormal(w, sp.normal, normal);
    const int64_t m = static_cast<int64_t>(sp.material) + 1;
    return f
        .materials[m >= 0 && m < static_cast<int64_t>(f.materials.size()) ? static_cast<size_t>(m)
                                                                          : 0];
}

// The colour of one side of a shade point, lit on first use in this chunk: a smooth point at
// its vertex, a flat face's at the face's centre.
uint32_t PointColour(const SolidContext& c, const FaceAt& at, uint32_t point, bool front) {
    FrameRenderState& f = *c.f;
    uint32_t* slot = f.pointColours.get() +
                     2 * static_cast<size_t>(at.instance->firstPoint + point) + (front ? 0 : 1);
    const uint32_t seen = std::atomic_ref<uint32_t>(*slot).load(std::memory_order_relaxed);
    if (seen >> 24 == c.stamp) return seen & 0xFFFFFFu;
    ViewPoint position;
    float normal[3];
    const ShadeMaterial& material = PointInView(c, at, point, position, normal);
    const uint32_t colour = LightPoint(c.frame->lights, material, position, normal, !front);
    std::atomic_ref<uint32_t>(*slot).store(colour | c.stamp << 24, std::memory_order_relaxed);
    return colour;
}

// The light of one side of a shade point split for a texture map (LightPointParts), worked
// out on first use in this chunk and kept packed in 64 bits: the stamp in the top byte,
// `add` rounded to whole levels in the next three (as a colour is), and `times` in 1/256
// (0 to 1023/256; a point lit more than four times over saturates the map's colour anyway
// unless it is very dark) in ten bits per channel below.
void PointParts(const SolidContext& c, const FaceAt& at, uint32_t point, bool front,
                float (&times)[3], float (&add)[3]) {
    FrameRenderState& f = *c.f;
    uint64_t* slot = f.pointParts.get() + 2 * static_cast<size_t>(at.instance->firstPoint + point) +
                     (front ? 0 : 1);
    uint64_t packed = std::atomic_ref<uint64_t>(*slot).load(std::memory_order_relaxed);
    if (packed >> 56 != c.stamp) {
        ViewPoint position;
        float normal[3];
        const ShadeMaterial& material = PointInView(c, at, point, position, normal);
        const LightParts parts =
            LightPointParts(c.frame->lights, material, position, normal, !front);
        packed = static_cast<uint64_t>(c.stamp) << 56 |
                 static_cast<uint64_t>(PackColour(parts.add[0], parts.add[1], parts.add[2])) << 32;
        for (int k = 0; k < 3; ++k) {
            const float scaled = parts.times[k] * 256.0f + 0.5f;
            const float held = scaled > 0.0f ? (scaled < 1023.0f ? scaled : 1023.0f) : 0.0f;
            packed |= static_cast<uint64_t>(static_cast<uint32_t>(held)) << (20 - 10 * k);
        }
        std::atomic_ref<uint64_t>(*slot).store(packed, std::memory_order_relaxed);
    }
    for (int k = 0; k < 3; ++k) {
        add[k] = static_cast<float>(packed >> (48 - 8 * k) & 0xFF);
        times[k] = static_cast<float>(packed >> (20 - 10 * k) & 0x3FF) * (1.0f / 256.0f);
    }
}

// The colours of a face's three corners seen from the front or the back.
void CornerColours(const SolidContext& c, const FaceAt& at, bool front, uint32_t (&colours)[3]) {
    const uint32_t* points =
        at.prepared->shading.cornerPoint.data() + 3 * static_cast<size_t>(at.index);
    colours[0] = PointColour(c, at, points[0], front);
    if (points[1] == points[0] && points[2] == points[0]) {
        colours[1] = colours[2] = colours[0];
        return;
    }
    colours[1] = PointColour(c, at, points[1], front);
    colours[2] = PointColour(c, at, points[2], front);
}

void SetColourVaryings(uint32_t colour, float* varying) {
    varying[kVaryRed] = static_cast<float>(colour >> 16 & 0xFF);
    varying[kVaryGreen] = static_cast<float>(colour >> 8 & 0xFF);
    varying[kVaryBlue] = static_cast<float>(colour & 0xFF);
}

FillStyle StyleFor(const SolidContext& c, int32_t alpha, const uint32_t (&colours)[3], bool blend) {
    FillStyle style;
    style.depthOffset = c.depthOffset;
    if (!c.lit) {
        // Hidden-line: faces hide in the background's colour (also the lines of instances
        // drawn in an earlier chunk).
        style.colour = c.frame->background;
        return style;
    }
    style.mode = blend ? FillMode::Blend : FillMode::Opaque;
    style.alpha = alpha;
    if (colours[0] == colours[1] && colours[0] == colours[2]) {
        style.shader = PixelShader::Flat;
        style.colour = colours[0];
    } else {
        style.shader = PixelShader::Gouraud;
    }
    return style;
}

// The maps a face is drawn with in this frame, or null: none drawn, a mesh without texture
// coordinates, or a material whose samplers have no texture.
const MapStyle* FaceMaps(const SolidContext& c, const FaceAt& at, const Face& face) {
    if (!c.maps || !at.prepared->texCoords) return nullptr;
    const MapStyle& maps = MapStyleOf(*c.f, face);
    return maps.map != nullptr || maps.opacity != nullptr ? &maps : nullptr;
}

// Completes the style of a face in a lit mode seen from the front or the back (`blend`: of a
// transparent material, or one whose opacity map is drawn) and sets the varyings of its
// corners (vertex0, vertex1, vertex2) that the style reads; returns how many those are.
int32_t ShadeCorners(const SolidContext& c, const FaceAt& at, const Face& face, bool front,
                     bool blend, float* const (&varying)[3], FillStyle& style) {
    const int32_t alpha = MaterialOf(*c.f, face).alpha;
    const MapStyle* maps = FaceMaps(c, at, face);
    uint32_t colours[3];
    if (maps == nullptr) {
        CornerColours(c, at, front, colours);
        style = StyleFor(c, blend ? alpha : 256, colours, blend);
        if (style.shader != PixelShader::Gouraud) return 0;
        for (int k = 0; k < 3; ++k)
            SetColourVaryings(colours[k], varying[k]);
        return 3;
    }
    style = FillStyle{};
    style.depthOffset = c.depthOffset;
    style.shader = PixelShader::Textured;
    style.maps = maps;
    style.alpha = alpha;
    style.mode = maps->opacity != nullptr ? FillMode::Masked
                 : blend                  ? FillMode::Blend
                                          : FillMode::Opaque;
    const Vertex* corners[3] = {face.vertex0, face.vertex1, face.vertex2};
    if (maps->map != nullptr) {
        const uint32_t* points =
            at.prepared->shading.cornerPoint.data() + 3 * static_cast<size_t>(at.index);
        for (int k = 0; k < 3; ++k) {
            float times[3], add[3];
            PointParts(c, at, points[k], front, times, add);
            for (int j = 0; j < 3; ++j) {
                varying[k][kVaryRed + j] = add[j];
                varying[k][kVaryTimesRed + j] = times[j];
            }
        }
    } else {
        CornerColours(c, at, front, colours);
        for (int k = 0; k < 3; ++k) {
            SetColourVaryings(colours[k], varying[k]);
            for (int j = 0; j < 3; ++j)
                varying[k][kVaryTimesRed + j] = 0.0f;
        }
    }
    for (int k = 0; k < 3; ++k) {
        varying[k][kVaryU] = corners[k]->u;
        varying[k][kVaryV] = corners[k]->v;
    }
    return kMaxVaryings;
}

// Whether a face with a corner that needs clipping is seen from its front, from its plane in
// view space. (Binning marks the others: corners that turn counter-clockwise on the screen,
// y down, face the camera, or clockwise under a mirroring matrix.)
bool FrontFacingInView(const InstanceWork& w, const Face& face, const ViewPoint& corner) {
    float n[3];
    OutwardViewNormal(w, face.plane, n);
    // Seen from the front when the eye (the origin) lies on the outward side.
    return -(n[0] * corner.x + n[1] * corner.y + n[2] * corner.z) >= 0.0f;
}

// Fills a face whose corners need clipping, and draws its lines (those along its own sides)
// when `lineColour` is set.
void DrawClippedFace(const SolidContext& c, const RasterTarget& target, const FaceAt& at,
                     const Face& face, const ShadeMaterial& material, bool fill, bool blend,
                     const uint32_t* lineColour) {
    const Vertex* corners[3] = {face.vertex0, face.vertex1, face.vertex2};
    ClipVertex in[3];
    for (int k = 0; k < 3; ++k)
        in[k].position =
            ViewPositionOf(at.instance->view, corners[k]->x, corners[k]->y, corners[k]->z);
    const bool front = FrontFacingInView(*at.instance, face, in[0].position);
    FillStyle style;
    int32_t varyings = 0;
    if (fill && c.lit) {
        float* const cornerVaryings[3] = {in[0].varying, in[1].varying, in[2].varying};
        varyings = ShadeCorners(c, at, face, front, blend, cornerVaryings, style);
    } else if (fill) {
        const uint32_t none[3] = {0, 0, 0};
        style = StyleFor(c, material.alpha, none, blend);
    }
    ClipVertex out[kMaxClipVertices];
    bool ownSide[kMaxClipVertices];
    const int32_t count = ClipTriangle(in, varyings, c.raster, out, ownSide);
    if (count < 3) return;
    RasterVertex snapped[kMaxClipVertices];
    for (int32_t k = 0; k < count; ++k) {
        RasterVertex& v = snapped[k];
        if (SnapCorner(out[k].position, c.raster, v.x, v.y, v.invZ) != 0) return;
        std::copy(out[k].varying, out[k].varying + kMaxVaryings, v.varying);
    }
    if (fill) {
        for (int32_t k = 1; k + 1 < count; ++k)
            FillTriangle(target, snapped[0], snapped[k], snapped[k + 1], style);
    }
    if (lineColour != nullptr) {
        for (int32_t k = 0; k < count; ++k) {
            if (!ownSide[k]) continue;
            const int32_t next = k + 1 == count ? 0 : k + 1;
            DrawDepthTestedEdge(target, snapped[k], snapped[next], *lineColour);
        }
    }
}

// The depth each 8 x 8 block of a tile has reached everywhere (the least 1 / depth stored in
// it), measured after the faces seen from the front are drawn. A face whose nearest corner
// lies behind that in every block its box touches cannot show there; it is passed over
// before anything is worked out for it. (A margin of 1/1024 keeps the test clear of the
// rounding of 1 / depth across the face; a face that close behind is taken as hidden.)
struct TileDepth {
    static constexpr int32_t kBlockShift = 3;
    static constexpr int32_t kMaxBlocks = (256 >> kBlockShift) * (256 >> kBlockShift);
    int32_t left, top, blocksX, blocksY;
    float least[kMaxBlocks];
};

void MeasureTileDepth(const RasterTarget& target, TileDepth& d) {
    d.left = target.left;
    d.top = target.top;
    d.blocksX = (target.right - target.left + 7) >> TileDepth::kBlockShift;
    d.blocksY = (target.bottom - target.top + 7) >> TileDepth::kBlockShift;
    std::fill(d.least, d.least + d.blocksX * d.blocksY, 3.4e38f);
    for (int32_t y = target.top; y < target.bottom; ++y) {
        const float* row =
            target.depth + static_cast<size_t>(y) * static_cast<size_t>(target.stride);
        float* least = d.least + ((y - target.top) >> TileDepth::kBlockShift) * d.blocksX;
        for (int32_t bx = 0; bx < d.blocksX; ++bx) {
            const int32_t x0 = target.left + (bx << TileDepth::kBlockShift);
            const int32_t x1 = std::min(x0 + (1 << TileDepth::kBlockShift), target.right);
            float l = least[bx];
            for (int32_t x = x0; x < x1; ++x)
                l = row[x] < l ? row[x] : l;
            least[bx] = l;
        }
    }
}

bool HiddenInTile(const TileDepth& d, const BinnedFace& face) {
    const int32_t minX = std::min({face.x[0], face.x[1], face.x[2]}) >> kSubPixelBits;
    const int32_t maxX = std::max({face.x[0], face.x[1], face.x[2]}) >> kSubPixelBits;
    const int32_t minY = std::min({face.y[0], face.y[1], face.y[2]}) >> kSubPixelBits;
    const int32_t maxY = std::max({face.y[0], face.y[1], face.y[2]}) >> kSubPixelBits;
    const int32_t bx0 = std::max(minX - d.left, 0) >> TileDepth::kBlockShift;
    const int32_t by0 = std::max(minY - d.top, 0) >> TileDepth::kBlockShift;
    const int32_t bx1 = std::min((maxX - d.left) >> TileDepth::kBlockShift, d.blocksX - 1);
    const int32_t by1 = std::min((maxY - d.top) >> TileDepth::kBlockShift, d.blocksY - 1);
    if (bx0 > bx1 || by0 > by1) return true;  // not in the tile at all
    const float nearest =
        std::max({face.invZ[0], face.invZ[1], face.invZ[2]}) * (1.0f + 1.0f / 1024.0f);
    for (int32_t by = by0; by <= by1; ++by) {
        for (int32_t bx = bx0; bx <= bx1; ++bx) {
            if (nearest > d.least[by * d.blocksX + bx]) return false;
        }
    }
    return true;
}

// The passes over a tile's faces: opaque faces seen from the front, then those seen from
// behind (in the line modes all opaque faces in the first), transparent faces, lines.
enum class Pass { Front, Back, Transparent, Lines };

// What ShadeFace needs to colour a face the first time one of its pixels shows.
struct LazyShade {
    const SolidContext* c;
    const FaceAt* at;
    const Face* face;
    RasterVertex* corners;
    bool front;
    bool transparent;
};

void ShadeFace(void* context, FillStyle& style) {
    const LazyShade& s = *static_cast<const LazyShade*>(context);
    float* const corners[3] = {s.corners[0].varying, s.corners[1].varying, s.corners[2].varying};
    ShadeCorners(*s.c, *s.at, *s.face, s.front, s.transparent, corners, style);
}

void DrawFace(const SolidContext& c, const RasterTarget& target, const FaceAt& at,
              const BinnedFace& record, uint32_t entry, Pass pass, const TileDepth* reached) {
    bool wire = false, transparent = false;
    const Face& face = at.instance->object->faces[at.index];
    if ((entry & kSpecialEntry) != 0) {
        const uint8_t flags = at.prepared->faceFlags[static_cast<size_t>(at.index)];
        wire = (flags & kFaceWire) != 0;
        transparent = (flags & kFaceTransparent) != 0 ||
                      ((flags & kFaceOpacityMap) != 0 && OpacityDrawn(c, face));
    }
    if (pass == Pass::Lines ? !(wire || c.allEdges)
                            : wire || transparent != (pass == Pass::Transparent))
        return;
    const bool clipped = record.invZ[0] == 0.0f;
    const bool front = (entry & kBackEntry) == 0;

    if (pass == Pass::Lines) {
        if (!clipped && reached != nullptr && HiddenInTile(*reached, record)) return;
        // Wire materials in their lit colour, then (edges, hidden-line) every face's edges.
        uint32_t colours[3];
        for (int round = 0; round < 2; ++round) {
            uint32_t colour;
            if (round == 0) {
                if (!wire) continue;
                if (clipped) {
                    const ViewPoint p = ViewPositionOf(at.instance->view, face.vertex0->x,
                                                       face.vertex0->y, face.vertex0->z);
                    CornerColours(c, at, FrontFacingInView(*at.instance, face, p), colours);
                } else {
                    CornerColours(c, at, front, colours);
                }
                colour = colours[0];
            } else {
                if (!c.allEdges) continue;
                colour = kLineColour;
            }
            if (clipped) {
                DrawClippedFace(c, target, at, face, MaterialOf(*c.f, face), false, false, &colour);
                continue;
            }
            RasterVertex r[3];
            for (int k = 0; k < 3; ++k) {
                r[k].x = record.x[k];
                r[k].y = record.y[k];
                r[k].invZ = record.invZ[k];
            }
            // The wireframe's edges and directions: 0 to 1, 2 to 1, 0 to 2.
            DrawDepthTestedEdge(target, r[0], r[1], colour);
            DrawDepthTestedEdge(target, r[2], r[1], colour);
            DrawDepthTestedEdge(target, r[0], r[2], colour);
        }
        return;
    }
    if (clipped) {
        if (pass == Pass::Back) return;
        DrawClippedFace(c, target, at, face, MaterialOf(*c.f, face), true, transparent, nullptr);
        return;
    }
    if (reached != nullptr && HiddenInTile(*reached, record)) return;
    RasterVertex r[3];
    for (int k = 0; k < 3; ++k) {
        r[k].x = record.x[k];
        r[k].y = record.y[k];
        r[k].invZ = record.invZ[k];
    }
    TriangleCoverage coverage;
    if (!CoverTriangle(target, r[0], r[1], r[2], c.depthOffset, coverage)) return;
    FillStyle style;
    style.depthOffset = c.depthOffset;
    if (!c.lit) {
        // Hidden-line: faces hide in the background's colour (also the lines of instances
        // drawn in an earlier chunk).
        style.colour = c.frame->background;
        FillCoverage(coverage, target, style);
        return;
    }
    // Lit only once a pixel shows: the front faces are drawn first, so the backs of closed
    // meshes are hidden before anything is worked out for them.
    LazyShade lazy{&c, &at, &face, r, front, transparent};
    FillCoverage(coverage, target, style, ShadeFace, &lazy);
}

void DrawTile(const SolidContext& c, int32_t tile, int32_t thread) {
    FrameRenderState& f = *c.f;
    const int32_t size = 1 << f.tileShift;
    const int32_t tx = tile % f.tilesX, ty = tile / f.tilesX;
    RasterTarget target;
    target.pixels = f.pixels;
    target.depth = f.depth.data();
    target.stride = f.projection.width;
    target.width = f.projection.width;
    target.height = f.projection.height;
    target.left = tx * size;
    target.top = ty * size;
    target.right = std::min(target.left + size, target.width);
    target.bottom = std::min(target.top + size, target.height);
    if (c.frame->first) ClearTarget(target, c.frame->background);
    if (f.instanceCount == 0) return;
    const Pass passes[4] = {Pass::Front, Pass::Back, Pass::Transparent, Pass::Lines};
    TileDepth reached;
    // A tile may hold most of a huge frame's faces: a stop asked for (frame_stop.h) is looked
    // for every 4,096 of them, as RenderObject does, and leaves the rest undrawn.
    uint32_t visited = 0;
    bool stopped = false;
    for (const Pass pass : passes) {
        if (stopped) return;
        if (pass == Pass::Transparent && !c.transparent) continue;
        if (pass == Pass::Lines && !c.lines) continue;
        // The depth reached after the front faces, and again after all fills for the lines
        // (a face hidden there has no edge to show).
        if (pass == Pass::Back || pass == Pass::Lines) MeasureTileDepth(target, reached);
        const TileDepth* depth = pass == Pass::Front ? nullptr : &reached;
        InstanceCursor cursor(&f);
        // Which entries the pass draws, by their bits (every face once in the fills).
        uint32_t mask = 0, want = 0;
        if (pass == Pass::Front) {
            mask = kBackEntry | kSpecialEntry;
        } else if (pass == Pass::Back) {
            mask = kBackEntry | kSpecialEntry;
            want = kBackEntry;
        } else if (pass == Pass::Transparent || (pass == Pass::Lines && !c.allEdges)) {
            mask = want = kSpecialEntry;
        }
        const BinnedFace* records = f.binFaces.get();
        WalkTile(c, tile, [&](uint32_t entry) {
            if (stopped || ((++visited & 4095) == 0 && (stopped = FrameStopDue(thread)))) return;
            if ((entry & mask) != want) return;
            const BinnedFace& record = records[entry & kFaceNumber];
            DrawFace(c, target, cursor.Find(record.face), record, entry, pass, depth);
        });
    }
}

void RunSolidPiece(void* context, int32_t stage, int64_t piece, int32_t thread) {
    const SolidContext& c = *static_cast<const SolidContext*>(context);
    if (stage == 0) {
        ProjectSolidPiece(c, piece);
    } else if (stage == 1) {
        BinPiece(c, piece, thread);
    } else {
        DrawTile(c, static_cast<int32_t>(piece), thread);
    }
}

}  // namespace

void BuildSceneShading(FrameRenderState& f) {
    f.shadingBuilt = false;
    if (f.scene == nullptr) return;
    const Scene& scene = *f.scene;
    try {
        int64_t points = 0;
        f.sceneHasWire = false;
        const size_t materialCount = static_cast<size_t>(std::max(scene.materialCount, 0));
        f.materials.assign(materialCount + 1, MakeShadeMaterial(nullptr));
        f.mapStyles.assign(materialCount + 1, MapStyle{});
        std::vector<uint8_t> opacityMapped(materialCount + 1, 0);
        f.sceneHasMaps = false;
        for (size_t m = 0; m < materialCount; ++m) {
            const Material& material = scene.materials[m];
            const ShadeMaterial& shade = f.materials[m + 1] = MakeShadeMaterial(&material);
            MapStyle& maps = f.mapStyles[m + 1];
            maps.diffuse = PackColour(shade.diffuse[0] * 255.0f, shade.diffuse[1] * 255.0f,
                                      shade.diffuse[2] * 255.0f);
            maps.amount = MapAmount(material.textureMap);
            maps.opacityAmount = MapAmount(material.opacityMap);
            opacityMapped[m + 1] = material.opacityMap.present != 0;
            f.sceneHasMaps = f.sceneHasMaps || material.textureMap.present != 0;
        }
        for (int32_t i = 0; i < f.objectCount; ++i) {
            PreparedObject& p = f.prepared[static_cast<size_t>(i)];
            const MeshObject& object = f.objects[i];
            BuildMeshShading(object, scene.materials, std::max(scene.materialCount, 0), p.shading);
            p.hasTransparent = p.hasWire = p.hasOpacityMap = false;
            p.texCoords = object.texCoordCount > 0 && object.vertices != nullptr;
            const int32_t faceCount = object.faces != nullptr ? std::max(object.faceCount, 0) : 0;
            p.faceFlags.assign(static_cast<size_t>(faceCount), 0);
            for (int32_t k = 0; k < faceCount; ++k) {
                const ShadeMaterial& material = MaterialOf(f, object.faces[k]);
                const int64_t m = static_cast<int64_t>(object.faces[k].material) + 1;
                const bool opacity = p.texCoords && m > 0 &&
                                     m < static_cast<int64_t>(opacityMapped.size()) &&
                                     opacityMapped[static_cast<size_t>(m)] != 0;
                const uint8_t flags = static_cast<uint8_t>(
                    (material.alpha < 256 ? kFaceTransparent : 0) |
                    (material.wire ? kFaceWire : 0) | (opacity ? kFaceOpacityMap : 0));
                p.faceFlags[static_cast<size_t>(k)] = flags;
                p.hasTransparent = p.hasTransparent || material.alpha < 256;
                p.hasWire = p.hasWire || material.wire;
                p.hasOpacityMap = p.hasOpacityMap || opacity;
            }
            f.sceneHasWire = f.sceneHasWire || p.hasWire;
            const int64_t times = i < static_cast<int32_t>(f.multiplicity.size())
                                      ? f.multiplicity[static_cast<size_t>(i)]
                                      : 1;
            points += times * static_cast<int64_t>(p.shading.points.size());
        }
        f.pointCapacity = std::max<int64_t>(points, int64_t{1} << 16);
        f.pointColours.Resize(2 * static_cast<size_t>(f.pointCapacity));
        std::fill(f.pointColours.get(), f.pointColours.get() + f.pointColours.size, 0u);
        if (f.sceneHasMaps) {
            f.pointParts.Resize(2 * static_cast<size_t>(f.pointCapacity));
            std::fill(f.pointParts.get(), f.pointParts.get() + f.pointParts.size, uint64_t{0});
        } else {
            f.pointParts.Release();
        }
        f.colourStamp = 0;
        f.solidVertices.Resize(static_cast<size_t>(f.vertexCapacity));
    } catch (const std::bad_alloc&) {
        return;
    }
    SetupSceneLights(scene, f.lights);
    f.shadingBuilt = true;
}

void SetFrameMaps(FrameRenderState& f, const RenderView& view) {
    f.mapsDrawn = false;
    const bool lit = view.mode == RenderMode::Shaded || view.mode == RenderMode::Edges;
    const auto drawn = [](const MapSampler* samplers, size_t m) -> const MapSampler* {
        if (samplers == nullptr) return nullptr;
        const MapSampler& sampler = samplers[m];
        return sampler.texture != nullptr && sampler.texture->levelCount > 0 ? &sampler : nullptr;
    };
    bool textured = false;
    for (size_t m = 1; m < f.mapStyles.size(); ++m) {
        MapStyle& maps = f.mapStyles[m];
        maps.map = lit ? drawn(view.textureMaps, m - 1) : nullptr;
        maps.opacity = lit ? drawn(view.opacityMaps, m - 1) : nullptr;
        textured = textured || maps.map != nullptr;
        f.mapsDrawn = f.mapsDrawn || maps.map != nullptr || maps.opacity != nullptr;
    }
    // The light split for texture maps: sized with the shading when the scene's materials
    // name texture maps, else here, the first time a frame draws one.
    const size_t parts = 2 * static_cast<size_t>(f.pointCapacity);
    if (!textured || f.pointParts.size == parts) return;
    try {
        f.pointParts.Resize(parts);
        std::fill(f.pointParts.get(), f.pointParts.get() + f.pointParts.size, uint64_t{0});
    } catch (const std::bad_alloc&) {
        f.pointParts.Release();
        f.mapsDrawn = false;
        for (MapStyle& maps : f.mapStyles)
            maps.map = maps.opacity = nullptr;
    }
}

bool PrepareSolidFrame(FrameRenderState& f) {
    const int32_t width = f.projection.width, height = f.projection.height;
    if (width <= 0 || height <= 0 || width > kMaxRasterSize || height > kMaxRasterSize)
        return false;
    int32_t shift = 6;
    while (((width + (1 << shift) - 1) >> shift) * ((height + (1 << shift) - 1) >> shift) >
           kMaxTiles)
        ++shift;
    const int32_t tilesX = (width + (1 << shift) - 1) >> shift;
    const int32_t tilesY = (height + (1 << shift) - 1) >> shift;
    const int64_t batch = f.settings.faceBatch;
    const int64_t batches = (f.faceCapacity + batch - 1) / batch;
    const size_t threads = static_cast<size_t>(PoolThreads());
    try {
        if (f.depthWidth != width || f.depthHeight != height) {
            f.depth.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0.0f);
            f.depthWidth = width;
            f.depthHeight = height;
        }
        const size_t tiles = static_cast<size_t>(tilesX) * static_cast<size_t>(tilesY);
        const size_t starts = static_cast<size_t>(batches) * (tiles + 2);
        if (f.binStart.size() != starts) f.binStart.assign(starts, 0);
        const size_t entries = static_cast<size_t>(batches * batch * kBinEntriesPerFace);
        f.binFaces.Resize(static_cast<size_t>(batches * batch));
        f.binEntries.Resize(entries);
        f.binRects.Resize(entries);
        if (f.threadBins.size() < threads) f.threadBins.resize(threads);
        for (ThreadBins& bins : f.threadBins) {
            const size_t items = static_cast<size_t>(batch * kBinEntriesPerFace);
            if (bins.items.size() != items) bins.items.resize(items);
            if (bins.counts.size() != tiles + 2) bins.counts.resize(tiles + 2);
        }
    } catch (const std::bad_alloc&) {
        f.depthWidth = f.depthHeight = 0;
        return false;
    }
    f.tileShift = shift;
    f.tilesX = tilesX;
    f.tilesY = tilesY;
    f.binBatchSize = batch;
    return true;
}

void DrawSolidChunk(FrameRenderState& f, const SolidFrame& frame) {
    SolidContext c;
    c.f = &f;
    c.frame = &frame;
    c.raster = CurrentRasterProjection();
    c.leftZ = c.raster.centreX + 1.0;
    c.rightZ = static_cast<double>(c.raster.width) - c.raster.centreX + 1.0;
    c.topZ = c.raster.centreY + 1.0;
    c.bottomZ = static_cast<double>(c.raster.height) - c.raster.centreY + 1.0;
    c.blocksPerPiece = std::max(f.settings.vertexBatch / kBlock, 1);
    const InstanceWork& totals = f.work[static_cast<size_t>(f.instanceCount)];
    c.batches = (totals.firstFace + f.binBatchSize - 1) / f.binBatchSize;
    c.tileCount = f.tilesX * f.tilesY;
    c.lit = frame.mode == RenderMode::Shaded || frame.mode == RenderMode::Edges;
    c.allEdges = frame.mode == RenderMode::Edges || frame.mode == RenderMode::HiddenLine;
    bool wire = false, transparent = false;
    for (int32_t i = 0; i < f.instanceCount; ++i) {
        const PreparedObject& p =
            f.prepared[static_cast<size_t>(f.work[static_cast<size_t>(i)].prepared)];
        wire = wire || p.hasWire;
        transparent = transparent || p.hasTransparent;
    }
    c.lines = c.allEdges || (c.lit && wire);
    c.transparent = c.lit && transparent;
    c.depthOffset = c.allEdges || f.sceneHasWire;
    c.maps = c.lit && f.mapsDrawn;
    if (c.maps) {
        for (int32_t i = 0; i < f.instanceCount; ++i) {
            const PreparedObject& p =
                f.prepared[static_cast<size_t>(f.work[static_cast<size_t>(i)].prepared)];
            c.transparent = c.transparent || p.hasOpacityMap;
        }
    }
    // A new stamp for the colours of this chunk; when the stamps run out, every slot is
    // emptied and they start again.
    if (++f.colourStamp > 255) {
        std::fill(f.pointColours.get(), f.pointColours.get() + f.pointColours.size, 0u);
        std::fill(f.pointParts.get(), f.pointParts.get() + f.pointParts.size, uint64_t{0});
        f.colourStamp = 1;
    }
    c.stamp = f.colourStamp;
    StagedJob job;
    job.stageCount = 3;
    job.pieces[0] = (totals.firstVertexBlock + c.blocksPerPiece - 1) / c.blocksPerPiece;
    job.pieces[1] = c.batches;
    job.pieces[2] = c.tileCount;
    job.run = RunSolidPiece;
    job.context = &c;
    const int64_t pixels =
        static_cast<int64_t>(f.projection.width) * static_cast<int64_t>(f.projection.height);
    RunStagedJob(
        job, totals.firstFace >= f.settings.minFacesForThreads || pixels >= kSolidPixelsForThreads);
}
