// The software rasteriser's entry points on the render device: culling and transforming a mesh's
// vertices into the transformed-vertex buffer, and drawing one index range with its routine.
#include <cstdlib>

#include "images/sprite.h"
#include "render/mesh.h"
#include "render/raster_pipeline.h"
#include "render/render_device.h"

static_assert(kSpanCacheSlots == kSpanSlotCount && kSpanKeyWords == kSpanKeyWordCount,
              "the device keeps the keys of every span slot");
static_assert(kRenderWorkBufferSize >= kRasterWorkBytesNeeded, "the work buffer holds the tallest triangle");

namespace {

constexpr uint8_t kTriangleVisible = MeshTriangleVisible;
constexpr uint8_t kTrianglePresent = MeshTrianglePresent;

// Grows the transformed-vertex buffer to count records; false when memory ran out.
bool GrowScreenVertices(RenderParams* p, int32_t count) {
    if (count <= p->screenVertexCapacity)
        return true;
    void* grown = std::realloc(p->screenVertices, static_cast<size_t>(count) * sizeof(ScreenVertex));
    if (!grown)
        return false;
    p->screenVertices = static_cast<ScreenVertex*>(grown);
    p->screenVertexCapacity = count;
    return true;
}

ClipVolume ClipOf(const RenderParams* p) {
    ClipVolume c;
    c.nearZ = p->nearZ;
    c.farZ = p->farZ;
    c.x0 = p->clipX0;
    c.x1 = p->clipX1;
    c.y0 = p->clipY0;
    c.y1 = p->clipY1;
    c.height = p->height;
    c.bottomUp = p->bottomUp != 0;
    return c;
}

// A tile the spans can read: pixels in tightly packed rows of a depth they know.
bool UsableTile(const CSprite* tile) {
    if (!tile || !tile->pixels || tile->width <= 0 || tile->height <= 0)
        return false;
    int bits = tile->bitsPerPixel;
    if (bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32)
        return false;
    return tile->stride == tile->width * ((bits + 7) / 8);
}

SpanTexture TextureOf(const CSprite* tile) {
    if (!UsableTile(tile))
        return SpanTexture();
    return {tile->pixels, tile->width, tile->height, tile->bitsPerPixel, tile->palette};
}

struct EdgeTarget {
    CObjeto2D* device;
    int32_t accumulationShift;
};

bool DrawWireEdge(void* context, const ScreenVertex& a, const ScreenVertex& b) {
    EdgeTarget* t = static_cast<EdgeTarget*>(context);
    float ea[4] = {a.x, a.y, a.depth, a.w}, eb[4] = {b.x, b.y, b.depth, b.w};
    return t->device->DrawSegment3D(ea, eb, t->device->ambientColour, 1, 0.0f, t->device->params->farZ, 100,
                                    t->accumulationShift);
}

int32_t AccumulationShift(uint32_t state) {
    return (state & kSpanAccumulation2) ? 2 : (state & kSpanAccumulation1) ? 1 : 0;
}

}  // namespace

int32_t CObjeto2D::CullTriangles(CObjeto3D* mesh) {
    if (!mesh || !mesh->vertices)
        return 0;
    int32_t vertexCount = mesh->VisibleVertexCount();
    if (!GrowScreenVertices(params, vertexCount))
        return 0;
    ScreenVertex* out = params->screenVertices;
    for (int32_t i = 0; i < vertexCount; ++i) {
        const MeshVertex& v = mesh->vertices[i];
        const float world[3] = {v.wx, v.wy, v.wz};
        out[i].outcode = (v.flags & MeshVertexPresent) ? ComputeOutcode(activePlanes, world)
                                                      : static_cast<uint16_t>(kOutcodePlanes);
    }
    int32_t indexCount = mesh->VisibleIndexCount();
    if (!mesh->indices || indexCount < 3) {
        for (int32_t i = 0; i < vertexCount; ++i) {
            if (out[i].outcode == 0)
                out[i].outcode = kOutcodeUsed;
        }
        return 0;
    }
    const float eye[3] = {matrices.inverseView[12], matrices.inverseView[13], matrices.inverseView[14]};
    int32_t kept = 0;
    for (int32_t slot = 0; slot + 3 <= indexCount; slot += 3) {
        int32_t t = slot / 3;
        uint8_t& flags = mesh->triangleFlags[t];
        flags = static_cast<uint8_t>(flags & ~kTriangleVisible);
        if (!(flags & kTrianglePresent) || mesh->IsTriangleRemoved(slot))
            continue;
        int32_t idx[3] = {mesh->ReadIndex(slot), mesh->ReadIndex(slot + 1), mesh->ReadIndex(slot + 2)};
        if (idx[0] < 0 || idx[0] >= vertexCount || idx[1] < 0 || idx[1] >= vertexCount || idx[2] < 0 ||
            idx[2] >= vertexCount)
            continue;
        const MeshVertex& first = mesh->vertices[idx[0]];
        const float* n = mesh->faceNormals + 3 * t;
        float facing = (first.wx - eye[0]) * n[0] + (first.wy - eye[1]) * n[1] + (first.wz - eye[2]) * n[2];
        if (!(facing <= 0.0f))
            continue;
        if (out[idx[0]].outcode & out[idx[1]].outcode & out[idx[2]].outcode & kOutcodePlanes)
            continue;
        flags = static_cast<uint8_t>(flags | kTriangleVisible);
        for (int32_t i : idx)
            out[i].outcode = static_cast<uint16_t>(out[i].outcode | kOutcodeUsed);
        ++kept;
    }
    return kept;
}

void CObjeto2D::TransformVertices(CObjeto3D* mesh) {
    if (!mesh || !mesh->vertices)
        return;
    int32_t vertexCount = mesh->VisibleVertexCount();
    if (!GrowScreenVertices(params, vertexCount))
        return;
    const float* m = mode2D ? matrices.projection2DViewport : matrices.worldToScreen;
    bool onlyUsed = culling && mesh->cullTriangles;
    bool fog = (params->stateBits & kSpanFog) != 0;
    for (int32_t i = vertexCount - 1; i >= 0; --i) {
        ScreenVertex& out = params->screenVertices[i];
        if (onlyUsed && !(out.outcode & kOutcodeUsed))
            continue;
        TransformVertex(mesh->vertices[i], m, params->nearZ, fog, fogStart, fogEnd, &out);
    }
}

int32_t CObjeto2D::ClipTriangle(ScreenVertex* polygon, const RenderParams* renderParams) {
    if (!polygon || !renderParams)
        return 0;
    return ClipPolygon(polygon, ClipOf(renderParams));
}

void CObjeto2D::SnapTriangleVertices(ScreenVertex* a, ScreenVertex* b, ScreenVertex* c,
                                     const RenderParams* renderParams) {
    if (a && b && c && renderParams)
        SnapVertices(a, b, c, ClipOf(renderParams));
}

bool CObjeto2D::RasteriseMesh(CObjeto3D* mesh, RenderParams* p, int32_t firstIndex, int32_t indexCount,
                              uint8_t* firstTriangleFlag, CSprite* tile1, CSprite* tile2, int32_t opacity,
                              uint32_t mixWord) {
    (void)opacity;  // the spans take no opacity: blending follows the state bits and vertex colours
    if (!mesh || !p || !p->screenVertices || !mesh->indices || indexCount < 3 || firstIndex < 0)
        return false;
    int32_t available = mesh->VisibleIndexCount();
    if (firstIndex >= available)
        return false;
    if (indexCount > available - firstIndex)
        indexCount = available - firstIndex;
    bool texture1 = UsableTile(tile1);
    bool texture2 = texture1 && UsableTile(tile2) && tile2->bitsPerPixel == tile1->bitsPerPixel;
    SpanDrawInputs in;
    in.deviceState = p->stateBits;
    in.meshFeatures = mesh->renderFlags;
    in.hasTexture1 = texture1;
    in.hasTexture2 = texture2;
    in.texture1Bits = texture1 ? tile1->bitsPerPixel : 0;
    in.texture1Width = texture1 ? tile1->width : 0;
    in.texture1Height = texture1 ? tile1->height : 0;
    in.texture2Width = texture2 ? tile2->width : 0;
    in.texture2Height = texture2 ? tile2->height : 0;
    in.destBits = p->bitsPerPixel;
    in.keepMask = destinationKeepMask;
    in.mixWord = mixWord;
    in.colourAdd = p->colourAdd;
    in.colourMultiply = p->colourMultiply;
    in.colourGain = p->colourGain;
    SpanCache cache{spanKeys, &spanCount, spanSlots, ChosenSimdLevel()};
    int slot = FindSpanRoutine(cache, in);
    uint32_t state = EffectiveSpanState(p->stateBits, mesh->renderFlags);
    bool wireframe = (state & kSpanWireframe) != 0;
    if (slot < 0 && !wireframe)
        return false;

    RasterWork w;
    w.state = state;
    w.accumShift = AccumulationShift(state);
    w.pixels = p->pixels;
    w.stride = p->stride;
    w.bytesPerPixel = p->bytesPerPixel;
    w.width = p->width;
    w.height = p->height;
    w.depthBuffer = p->depthBuffer;
    w.accumulationBuffer = p->accumulationBuffer;
    w.clip = ClipOf(p);
    w.workBuffer = p->workBuffer;
    w.colourAdd = p->colourAdd;
    w.colourMultiply = p->colourMultiply;
    w.depthBias = static_cast<int32_t>(depthBias);
    w.slot = slot >= 0 ? &spanSlots[slot] : nullptr;
    w.constants.texture1 = TextureOf(tile1);
    w.constants.texture2 = texture2 ? TextureOf(tile2) : SpanTexture();
    w.constants.destBits = p->bitsPerPixel;
    w.constants.keepMask = destinationKeepMask;
    w.constants.writeMask = colourWriteMask;
    w.constants.mixWord = mixWord;
    w.constants.fogColour = fogColour;
    w.constants.gainWord = p->colourGain;
    w.constants.background = backgroundColour;
    if (!w.pixels && !w.accumShift && !wireframe)
        return false;

    EdgeTarget edges{this, w.accumShift};
    RasterRange range;
    range.vertices = p->screenVertices;
    range.vertexCount = mesh->VisibleVertexCount() < p->screenVertexCapacity ? mesh->VisibleVertexCount()
                                                                              : p->screenVertexCapacity;
    range.indices = mesh->indices;
    range.indexWidth = mesh->indexWidth;
    range.firstIndex = firstIndex;
    range.indexCount = indexCount;
    range.triangleFlags = firstTriangleFlag;
    range.useVisibleBits = culling && mesh->cullTriangles && firstTriangleFlag;
    range.cullBackFaces = (p->stateBits & StateCullMask) != 0;
    range.drawEdge = &DrawWireEdge;
    range.edgeContext = &edges;
    return RasteriseRange(range, w) >= 0;
}
