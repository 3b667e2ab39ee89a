// Interpolation of vertex records (tile splitting, segment crossings).
#include <algorithm>

#include "render/mesh.h"

namespace {

float Lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

uint32_t LerpBytes(uint32_t a, uint32_t b, float t) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const float ca = static_cast<float>((a >> shift) & 0xFF);
        const float cb = static_cast<float>((b >> shift) & 0xFF);
        const float c = std::min(255.0f, std::max(0.0f, Lerp(ca, cb, t)));
        out |= static_cast<uint32_t>(c) << shift;
    }
    return out;
}

}  // namespace

void InterpolateVertex(const MeshVertex& a, const MeshVertex& b, MeshVertex* out, float t) {
    const MeshVertex from = a;  // out may be a or b
    const MeshVertex to = b;
    *out = from;
    out->x = Lerp(from.x, to.x, t);
    out->y = Lerp(from.y, to.y, t);
    out->z = Lerp(from.z, to.z, t);
    out->u = std::min(1.0f, std::max(0.0f, Lerp(from.u, to.u, t)));
    out->v = std::min(1.0f, std::max(0.0f, Lerp(from.v, to.v, t)));
    out->diffuse = LerpBytes(from.diffuse, to.diffuse, t);
    out->specular = LerpBytes(from.specular, to.specular, t);
}
