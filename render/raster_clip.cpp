// Triangle clipping against the depth planes and the clip rectangle, projection, vertex snapping
// and the screen-space facing test.
#include <cmath>
#include <cstring>

#include "render/raster_pipeline.h"

namespace {

// The clipper's colour blend: a + ((b/2 - a/2) x (t x 32767) / 65536) x 4 in 16-bit lanes.
constexpr float kColourT = 32767.0f;

enum class Plane { Far, Near, Right, Bottom, Left, Top };

float ValueOf(const ScreenVertex& v, Plane p) {
    switch (p) {
    case Plane::Far:
    case Plane::Near:
        return v.depth;
    case Plane::Right:
    case Plane::Left:
        return v.sx;
    default:
        return v.sy;
    }
}

bool Inside(float value, Plane p, float limit) {
    switch (p) {
    case Plane::Far:
    case Plane::Right:
    case Plane::Bottom:
        return value <= limit;
    default:
        return value >= limit;
    }
}

float Lerp(float a, float b, float t) { return a + (b - a) * t; }

// The vertex where the edge a-b meets the plane.
ScreenVertex Intersect(const ScreenVertex& a, const ScreenVertex& b, Plane p, float limit) {
    float va = ValueOf(a, p), vb = ValueOf(b, p);
    float t = (limit - va) / (vb - va);
    ScreenVertex r = a;
    if (p == Plane::Far || p == Plane::Near) {
        r.x = Lerp(a.x, b.x, t);
        r.y = Lerp(a.y, b.y, t);
        r.w = Lerp(a.w, b.w, t);
        r.depth = limit;
    } else {
        if (p == Plane::Right || p == Plane::Left) {
            r.sy = Lerp(a.sy, b.sy, t);
            r.sx = limit;
        } else {
            r.sx = Lerp(a.sx, b.sx, t);
            r.sy = limit;
        }
        r.depth = Lerp(a.depth, b.depth, t);
    }
    r.u = Lerp(a.u, b.u, t);
    r.v = Lerp(a.v, b.v, t);
    for (int c = 0; c < 4; ++c) {
        r.diffuse[c] = LerpColour(a.diffuse[c], b.diffuse[c], t);
        r.specular[c] = LerpColour(a.specular[c], b.specular[c], t);
    }
    return r;
}

// One Sutherland-Hodgman pass from in (n records) to out; the count kept.
int ClipPass(const ScreenVertex* in, int n, ScreenVertex* out, Plane p, float limit) {
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        const ScreenVertex& cur = in[i];
        const ScreenVertex& prev = in[(i + n - 1) % n];
        bool curIn = Inside(ValueOf(cur, p), p, limit);
        bool prevIn = Inside(ValueOf(prev, p), p, limit);
        if (curIn != prevIn && kept < kClipPolygonCapacity)
            out[kept++] = prevIn ? Intersect(prev, cur, p, limit) : Intersect(cur, prev, p, limit);
        if (curIn && kept < kClipPolygonCapacity)
            out[kept++] = cur;
    }
    return kept;
}

// Whether a solve on the plane through three points is possible, and the weights of b and c.
bool PlaneWeights(const float p[3][2], float x, float y, float* lb, float* lc) {
    float d = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (p[1][1] - p[0][1]);
    if (d == 0.0f)
        return false;
    *lb = ((x - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (y - p[0][1])) / d;
    *lc = ((p[1][0] - p[0][0]) * (y - p[0][1]) - (x - p[0][0]) * (p[1][1] - p[0][1])) / d;
    return true;
}

float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

uint16_t LerpColour(uint16_t a, uint16_t b, float t) {
    int32_t half = static_cast<int16_t>((b >> 1) - (a >> 1));
    int32_t scaled = static_cast<int32_t>(t * kColourT);
    int32_t step = (half * scaled) >> 16;
    return static_cast<uint16_t>(a + step * 4);
}

bool IsFrontFacing(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    double det = static_cast<double>(a.x) * (static_cast<double>(b.y) * c.w - static_cast<double>(b.w) * c.y) -
                 static_cast<double>(a.y) * (static_cast<double>(b.x) * c.w - static_cast<double>(b.w) * c.x) +
                 static_cast<double>(a.w) * (static_cast<double>(b.x) * c.y - static_cast<double>(b.y) * c.x);
    return det >= 0.0;
}

void ProjectVertex(ScreenVertex* v, const ClipVolume& clip) {
    float recip = v->depth != 0.0f ? 1.0f / v->depth : 0.0f;
    v->depth = recip;
    v->u *= recip;
    v->v *= recip;
    v->sx = v->w != 0.0f ? v->x / v->w : v->x;
    float sy = v->w != 0.0f ? v->y / v->w : v->y;
    v->sy = clip.bottomUp ? static_cast<float>(clip.height) - sy : sy;
}

int ClipPolygon(ScreenVertex* polygon, const ClipVolume& clip) {
    ScreenVertex local[kClipPolygonCapacity];
    int n = ClipPass(polygon, 3, local, Plane::Far, clip.farZ);
    n = ClipPass(local, n, polygon, Plane::Near, clip.nearZ);
    if (n == 0)
        return 0;
    for (int i = 0; i < n; ++i)
        ProjectVertex(&polygon[i], clip);
    float h = static_cast<float>(clip.height);
    float bottom = clip.bottomUp ? h - static_cast<float>(clip.y0) : static_cast<float>(clip.y1 + 1);
    float top = clip.bottomUp ? h - 1.0f - static_cast<float>(clip.y1) : static_cast<float>(clip.y0);
    n = ClipPass(polygon, n, local, Plane::Right, static_cast<float>(clip.x1 + 1));
    n = ClipPass(local, n, polygon, Plane::Bottom, bottom);
    n = ClipPass(polygon, n, local, Plane::Left, static_cast<float>(clip.x0));
    n = ClipPass(local, n, polygon, Plane::Top, top);
    return n;
}

void SnapVertices(ScreenVertex* a, ScreenVertex* b, ScreenVertex* c, const ClipVolume& clip) {
    ScreenVertex* v[3] = {a, b, c};
    float pos[3][2];
    float attr[3][3];
    for (int i = 0; i < 3; ++i) {
        pos[i][0] = v[i]->sx;
        pos[i][1] = v[i]->sy;
        attr[i][0] = v[i]->depth;
        attr[i][1] = v[i]->u;
        attr[i][2] = v[i]->v;
    }
    float minRecip = 1.0f / clip.farZ, maxRecip = 1.0f / clip.nearZ;
    for (int i = 0; i < 3; ++i) {
        float x = std::nearbyint(pos[i][0]), y = std::nearbyint(pos[i][1]);
        if (x == pos[i][0] && y == pos[i][1])
            continue;
        float lb, lc;
        if (PlaneWeights(pos, x, y, &lb, &lc)) {
            float at[3];
            for (int k = 0; k < 3; ++k)
                at[k] = attr[0][k] + lb * (attr[1][k] - attr[0][k]) + lc * (attr[2][k] - attr[0][k]);
            float recip = Clamp(at[0], minRecip, maxRecip);
            v[i]->depth = recip;
            v[i]->u = Clamp(at[1], 0.0f, recip);
            v[i]->v = Clamp(at[2], 0.0f, recip);
        }
        v[i]->sx = x;
        v[i]->sy = y;
    }
}
