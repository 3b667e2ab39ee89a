// The per-triangle loop of a mesh range: culling, the fast path, clipping and the fans.
#include "core/fault_recovery.h"
#include "render/raster_pipeline.h"

namespace {

constexpr uint32_t kRemoved16 = 0xFFFF;
constexpr uint8_t kTriangleVisible = 0x01;

int32_t IndexAt(const RasterRange& r, int32_t slot) {
    if (r.indexWidth == 4)
        return static_cast<const int32_t*>(r.indices)[slot];
    uint32_t i = static_cast<const uint16_t*>(r.indices)[slot];
    return i == kRemoved16 && slot % 3 == 0 ? -1 : static_cast<int32_t>(i);
}

// Depth to 1 / depth with u and v divided by depth, for vertices that need no clipping.
void ProjectInPlace(ScreenVertex* v) {
    float recip = v->depth != 0.0f ? 1.0f / v->depth : 0.0f;
    v->depth = recip;
    v->u *= recip;
    v->v *= recip;
}

int DrawRange(const RasterRange& r, const RasterWork& w) {
    int drawn = 0;
    const bool wireframe = (w.state & kSpanWireframe) != 0;
    for (int32_t k = 0; k + 3 <= r.indexCount; k += 3) {
        int32_t slot = r.firstIndex + k;
        if (r.useVisibleBits && !(r.triangleFlags[k / 3] & kTriangleVisible))
            continue;
        int32_t idx[3] = {IndexAt(r, slot), IndexAt(r, slot + 1), IndexAt(r, slot + 2)};
        bool valid = true;
        for (int32_t i : idx)
            valid = valid && i >= 0 && i < r.vertexCount;
        if (!valid)
            continue;
        const ScreenVertex& a = r.vertices[idx[0]];
        const ScreenVertex& b = r.vertices[idx[1]];
        const ScreenVertex& c = r.vertices[idx[2]];
        if (!r.useVisibleBits && r.cullBackFaces && !IsFrontFacing(a, b, c))
            continue;
        ScreenVertex poly[kClipPolygonCapacity] = {a, b, c};
        if (wireframe) {
            if (r.drawEdge) {
                r.drawEdge(r.edgeContext, poly[0], poly[1]);
                r.drawEdge(r.edgeContext, poly[1], poly[2]);
                r.drawEdge(r.edgeContext, poly[2], poly[0]);
            }
            continue;
        }
        int n = 3;
        bool inside = !((a.outcode | b.outcode | c.outcode) & kOutcodePlanes);
        if (r.useVisibleBits && w.clip.x0 <= 0 && w.clip.y0 <= 0 && w.clip.x1 >= w.width - 1 &&
            w.clip.y1 >= w.height - 1 && inside) {
            for (int i = 0; i < 3; ++i) {
                if (w.clip.bottomUp)
                    poly[i].sy = static_cast<float>(w.clip.height) - poly[i].sy;
                ProjectInPlace(&poly[i]);
            }
        } else {
            n = ClipPolygon(poly, w.clip);
        }
        for (int i = 1; i + 1 < n; ++i) {
            ScreenVertex p0 = poly[0], p1 = poly[i], p2 = poly[i + 1];
            SnapVertices(&p0, &p1, &p2, w.clip);
            drawn += DrawTriangle(p0, p1, p2, w) ? 1 : 0;
        }
    }
    return drawn;
}

}  // namespace

int RasteriseRange(const RasterRange& range, const RasterWork& work) {
    if (range.indexCount < 3 || !range.vertices || !range.indices)
        return 0;
    if (range.useVisibleBits && !range.triangleFlags)
        return 0;
    int drawn = 0;
    bool finished = RunWithRecovery([&] { drawn = DrawRange(range, work); });
    return finished ? drawn : -1;
}
