// Frustum outcodes, the vertex transform and vertex fog of the software rasteriser.
#include "render/mesh.h"
#include "render/raster_pipeline.h"

uint16_t ComputeOutcode(const float planes[6][4], const float position[3]) {
    uint16_t code = 0;
    for (int i = 0; i < 6; ++i) {
        float d = planes[i][0] * position[0] + planes[i][1] * position[1] + planes[i][2] * position[2] +
                  planes[i][3];
        if (!(d > 0.0f))
            code |= static_cast<uint16_t>(0x20 >> i);
    }
    return code;
}

uint16_t FogAmount(float depth, float fogStart, float fogEnd) {
    if (depth <= fogStart)
        return 0;
    if (depth > fogEnd)
        return kFogAmountMax;
    float amount = (depth - fogStart) * kFogAmountMax / (fogEnd - fogStart);
    return static_cast<uint16_t>(amount < 0 ? 0 : (amount > kFogAmountMax ? kFogAmountMax : amount));
}

void TransformVertex(const MeshVertex& in, const float m[16], float nearZ, bool fog, float fogStart,
                     float fogEnd, ScreenVertex* out) {
    out->u = in.u;
    out->v = in.v;
    for (int c = 0; c < 4; ++c) {
        out->diffuse[c] = in.diffuse16[c];
        out->specular[c] = in.specular16[c];
    }
    float x = in.wx * m[0] + in.wy * m[4] + in.wz * m[8] + m[12];
    float y = in.wx * m[1] + in.wy * m[5] + in.wz * m[9] + m[13];
    float z = in.wx * m[2] + in.wy * m[6] + in.wz * m[10] + m[14];
    float w = in.wx * m[3] + in.wy * m[7] + in.wz * m[11] + m[15];
    out->x = x;
    out->y = y;
    out->w = w;
    out->depth = z + nearZ;
    if (fog)
        out->specular[3] = FogAmount(out->depth, fogStart, fogEnd);
    // A vertex on the eye plane has no screen position; the clipper cuts it away before use.
    out->sx = w != 0.0f ? x / w : x;
    out->sy = w != 0.0f ? y / w : y;
}
