// Triangle set-up, edge walking into the work buffer, and the spans with their perspective
// pieces.
#include <cstring>
#include <utility>

#include "render/raster_pipeline.h"

namespace {

constexpr int32_t kColourStepScale = 32767;
constexpr int kFixedShift = 16;

// One side of a scanline record in the work buffer (32 bytes).
struct EdgeValues {
    int32_t x;   // 16.16
    int32_t rz;  // 1 / depth x 0x7FFFFFFF
    int32_t uz;  // u / depth x 0x7FFFFFFF
    int32_t vz;
    uint16_t diffuse[4];   // halved: 8-bit value x 128
    uint16_t specular[4];
};
static_assert(sizeof(EdgeValues) == 32, "edge halves are 32 bytes");

struct ScanlineRecord {
    EdgeValues left, right;
};
static_assert(sizeof(ScanlineRecord) == kRasterScanlineBytes, "scanline records are 64 bytes");

// A vertex in the set-up's integer form.
struct SetupVertex {
    int32_t x, y;  // whole pixels (or samples)
    EdgeValues e;
};

int32_t ToFixed31(float v) {
    double s = static_cast<double>(v) * kRasterDepthScale;
    if (!(s > 0.0))
        return 0;
    return s >= kRasterDepthScale ? kRasterDepthScale : static_cast<int32_t>(s);
}

// Screen positions beyond this are far outside any surface (and would overflow the set-up).
constexpr float kPositionLimit = 1 << 20;

int32_t WholePixels(float p) {
    if (!(p > -kPositionLimit))
        return -static_cast<int32_t>(kPositionLimit);
    return p < kPositionLimit ? static_cast<int32_t>(p) : static_cast<int32_t>(kPositionLimit);
}

SetupVertex ToSetup(const ScreenVertex& v, int shift) {
    SetupVertex s;
    s.x = WholePixels(v.sx) * (1 << shift);
    s.y = WholePixels(v.sy) * (1 << shift);
    s.e.x = static_cast<int32_t>(static_cast<uint32_t>(s.x) << kFixedShift);
    s.e.rz = ToFixed31(v.depth);
    s.e.uz = ToFixed31(v.u);
    s.e.vz = ToFixed31(v.v);
    for (int c = 0; c < 4; ++c) {
        s.e.diffuse[c] = static_cast<uint16_t>(v.diffuse[c] >> 1);
        s.e.specular[c] = static_cast<uint16_t>(v.specular[c] >> 1);
    }
    return s;
}

// Per-step change of a colour lane over n steps, from halved values: (end - start) x (32767 / n)
// in 16-bit fixed point, doubled, with negative steps rounded up by 2.
int16_t ColourStep(int32_t start, int32_t end, int32_t n) {
    int32_t diff = static_cast<int16_t>(end - start);
    int32_t step = ((diff * (kColourStepScale / n)) >> 16) * 2;
    if (step < 0)
        step += 2;
    return static_cast<int16_t>(step);
}

int32_t Step(int32_t from, int32_t to, int32_t n) {
    return static_cast<int32_t>((static_cast<int64_t>(to) - from) / n);
}

// Walks one edge over n scanlines into one side of the records, adding its steps row by row.
void WalkEdge(const SetupVertex& from, const SetupVertex& to, int32_t n, bool colours, bool right,
              ScanlineRecord* rows) {
    if (n <= 0)
        return;
    int32_t dx = static_cast<int32_t>((static_cast<int64_t>(to.x) - from.x) * (1 << kFixedShift) / n);
    int32_t drz = Step(from.e.rz, to.e.rz, n), duz = Step(from.e.uz, to.e.uz, n),
            dvz = Step(from.e.vz, to.e.vz, n);
    int16_t dd[4] = {}, ds[4] = {};
    if (colours) {
        for (int c = 0; c < 4; ++c) {
            dd[c] = ColourStep(from.e.diffuse[c], to.e.diffuse[c], n);
            ds[c] = ColourStep(from.e.specular[c], to.e.specular[c], n);
        }
    }
    EdgeValues e = from.e;
    for (int32_t i = 0; i < n; ++i) {
        (right ? rows[i].right : rows[i].left) = e;
        // The step past the last row is never used and may leave the 32-bit range.
        if (i + 1 == n)
            break;
        // x wraps as the set-up's 16.16 form does for positions past 32767 pixels.
        e.x = static_cast<int32_t>(static_cast<uint32_t>(e.x) + static_cast<uint32_t>(dx));
        e.rz += drz;
        e.uz += duz;
        e.vz += dvz;
        for (int c = 0; c < 4; ++c) {
            e.diffuse[c] = static_cast<uint16_t>(e.diffuse[c] + dd[c]);
            e.specular[c] = static_cast<uint16_t>(e.specular[c] + ds[c]);
        }
    }
}

// u in 16.16 texels from u / depth and 1 / depth.
int32_t TexelCoord(int64_t uz, int64_t rz, int32_t max) {
    if (rz <= 0 || uz <= 0 || max <= 0)
        return 0;
    double t = static_cast<double>(uz) / static_cast<double>(rz);
    if (t > 1.0)
        t = 1.0;
    return static_cast<int32_t>(t * max);
}

int32_t CoordMax(int32_t size, bool filtered) {
    int32_t m = filtered ? (size - 1) * (1 << kFixedShift) - 1 : size * (1 << kFixedShift) - 1;
    return m < 0 ? 0 : m;
}

int64_t Clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The span's colour lanes at its two ends, in the registers' form.
void SpanColours(const RasterWork& w, const EdgeValues& side, int16_t diffuse[4], int16_t specular[4]) {
    if (!(w.state & kSpanInterpolatedColours)) {
        for (int c = 0; c < 3; ++c) {
            diffuse[c] = static_cast<int16_t>(((w.colourMultiply >> (8 * c)) & 0xFF) << 7);
            specular[c] = static_cast<int16_t>(((w.colourAdd >> (8 * c)) & 0xFF) << 7);
        }
        diffuse[3] = static_cast<int16_t>(0xFF << 7);
        specular[3] = 0;
        return;
    }
    for (int c = 0; c < 3; ++c) {
        uint32_t m = (w.colourMultiply >> (8 * c)) & 0xFF;
        uint32_t d = side.diffuse[c] & 0x7FFF;
        diffuse[c] = static_cast<int16_t>((d * (m + 1)) >> 8);
        uint32_t s = (side.specular[c] & 0x7FFF) + (((w.colourAdd >> (8 * c)) & 0xFF) << 7);
        specular[c] = static_cast<int16_t>(s > 0x7FFF ? 0x7FFF : s);
    }
    diffuse[3] = static_cast<int16_t>(side.diffuse[3] & 0x7FFF);
    uint32_t fog = static_cast<uint32_t>(side.specular[3] & 0x7FFF) * 2;
    specular[3] = static_cast<int16_t>(fog > kFogAmountMax ? kFogAmountMax : fog);
}

// Fills one scanline's span.
void DrawSpan(const RasterWork& w, const ScanlineRecord& rec, int32_t row) {
    const int s = w.accumShift;
    int32_t xl = rec.left.x >> kFixedShift, xr = rec.right.x >> kFixedShift;
    if (xr - xl <= 0)
        return;
    int64_t width16 = static_cast<int64_t>(rec.right.x) - rec.left.x;
    if (width16 <= 0)
        return;
    // Only the clip rectangle (within the surface) is ever written.
    int32_t colMin = w.clip.x0 < 0 ? 0 : w.clip.x0;
    int32_t colMax = w.clip.x1 >= w.width ? w.width - 1 : w.clip.x1;
    int32_t xs = xl > (colMin << s) ? xl : (colMin << s);
    int32_t xe = xr < ((colMax + 1) << s) ? xr : ((colMax + 1) << s);
    if (xe <= xs)
        return;
    // Per-pixel gradients over the exact width; values moved to the left pixel boundary.
    int64_t grz = (static_cast<int64_t>(rec.right.rz) - rec.left.rz) * (1 << kFixedShift) / width16;
    int64_t guz = (static_cast<int64_t>(rec.right.uz) - rec.left.uz) * (1 << kFixedShift) / width16;
    int64_t gvz = (static_cast<int64_t>(rec.right.vz) - rec.left.vz) * (1 << kFixedShift) / width16;
    int64_t frac = rec.left.x & 0xFFFF;
    int64_t rz = rec.left.rz - ((frac * grz) >> kFixedShift);
    if (rz < 0)
        rz = rec.left.rz;
    rz = Clamp64(rz, 0, kRasterDepthScale);
    int64_t uz = Clamp64(rec.left.uz - ((frac * guz) >> kFixedShift), 0, rz);
    int64_t vz = Clamp64(rec.left.vz - ((frac * gvz) >> kFixedShift), 0, rz);
    // Values at pixel x of the span.
    auto rzAt = [&](int32_t x) { return Clamp64(rz + grz * (x - xl), 0, kRasterDepthScale); };
    auto uzAt = [&](int32_t x, int64_t r) { return Clamp64(uz + guz * (x - xl), 0, r); };
    auto vzAt = [&](int32_t x, int64_t r) { return Clamp64(vz + gvz * (x - xl), 0, r); };

    const SpanTexture& t1 = w.constants.texture1;
    const SpanTexture& t2 = w.constants.texture2;
    bool filtered = (w.state & (kSpanBilinear | kSpanTwoTexel)) != 0;
    int32_t umax = CoordMax(t1.width, filtered && !(w.state & kSpanRowsContinue));
    int32_t vmax = CoordMax(t1.height, filtered);
    int32_t umax2 = CoordMax(t2.width, filtered && !(w.state & kSpanRowsContinue));
    int32_t vmax2 = CoordMax(t2.height, filtered);

    SpanRegisters r;
    int32_t count = xe - xs;
    int16_t left[4], leftSpec[4], right[4], rightSpec[4];
    SpanColours(w, rec.left, left, leftSpec);
    SpanColours(w, rec.right, right, rightSpec);
    int32_t fullCount = xr - xl;
    for (int c = 0; c < 4; ++c) {
        r.dDiffuse[c] = ColourStep(left[c], right[c], fullCount);
        r.dSpecular[c] = ColourStep(leftSpec[c], rightSpec[c], fullCount);
        r.diffuse[c] = static_cast<int16_t>(left[c] + r.dDiffuse[c] * (xs - xl));
        r.specular[c] = static_cast<int16_t>(leftSpec[c] + r.dSpecular[c] * (xs - xl));
    }
    int32_t column = xs >> s;
    int32_t pixelRow = row >> s;
    size_t pixelIndex = static_cast<size_t>(pixelRow) * static_cast<size_t>(w.width) + static_cast<size_t>(column);
    if (s) {
        r.dest = reinterpret_cast<uint8_t*>(w.accumulationBuffer + pixelIndex * 3);
        r.phase = xs & ((1 << s) - 1);
    } else {
        r.dest = w.pixels + static_cast<size_t>(pixelRow) * static_cast<size_t>(w.stride) +
                 static_cast<size_t>(column) * static_cast<size_t>(w.bytesPerPixel);
    }
    r.depth = w.depthBuffer ? w.depthBuffer + pixelIndex : nullptr;
    r.dz = static_cast<int32_t>(grz);
    int64_t rzStart = rzAt(xs);
    r.z = static_cast<uint32_t>(rzStart) + (static_cast<uint32_t>(w.depthBias) << kFixedShift);

    bool perspective = (w.state & kSpanPerspective) && count > kRasterPieceLength;
    int32_t u = TexelCoord(uzAt(xs, rzStart), rzStart, umax), v = TexelCoord(vzAt(xs, rzStart), rzStart, vmax);
    int32_t u2 = TexelCoord(uzAt(xs, rzStart), rzStart, umax2), v2 = TexelCoord(vzAt(xs, rzStart), rzStart, vmax2);
    for (int32_t done = 0; done < count;) {
        int32_t len = perspective && count - done > kRasterPieceLength ? kRasterPieceLength : count - done;
        int32_t xEnd = xs + done + len;
        int64_t rzEnd = rzAt(xEnd);
        int32_t uEnd = TexelCoord(uzAt(xEnd, rzEnd), rzEnd, umax), vEnd = TexelCoord(vzAt(xEnd, rzEnd), rzEnd, vmax);
        int32_t u2End = TexelCoord(uzAt(xEnd, rzEnd), rzEnd, umax2);
        int32_t v2End = TexelCoord(vzAt(xEnd, rzEnd), rzEnd, vmax2);
        r.count = len;
        r.u = u;
        r.v = v;
        r.du = (uEnd - u) / len;
        r.dv = (vEnd - v) / len;
        r.u2 = u2;
        r.v2 = v2;
        r.du2 = (u2End - u2) / len;
        r.dv2 = (v2End - v2) / len;
        RunSpan(*w.slot, w.constants, r);
        u = uEnd;
        v = vEnd;
        u2 = u2End;
        v2 = v2End;
        done += len;
    }
}

}  // namespace

bool DrawTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, const RasterWork& w) {
    if (!w.slot || !w.slot->run || !w.workBuffer)
        return false;
    if ((w.state & kSpanDepthCompare) && !w.depthBuffer)
        return false;
    if (w.accumShift && !w.accumulationBuffer)
        return false;
    SetupVertex v[3] = {ToSetup(a, w.accumShift), ToSetup(b, w.accumShift), ToSetup(c, w.accumShift)};
    // Sort by y.
    if (v[1].y < v[0].y)
        std::swap(v[0], v[1]);
    if (v[2].y < v[1].y)
        std::swap(v[1], v[2]);
    if (v[1].y < v[0].y)
        std::swap(v[0], v[1]);
    int32_t h = v[2].y - v[0].y, h1 = v[1].y - v[0].y, h2 = v[2].y - v[1].y;
    if (h == 0 || h < 0 || h1 < 0 || h2 < 0 || h >= kRasterMaxTriangleHeight || h1 >= kRasterMaxTriangleHeight ||
        h2 >= kRasterMaxTriangleHeight)
        return false;
    // The middle vertex lies left or right of the long edge.
    int64_t longX = v[0].x + (static_cast<int64_t>(v[2].x) - v[0].x) * h1 / h;
    bool middleLeft = v[1].x < longX;
    bool colours = (w.state & kSpanInterpolatedColours) != 0;
    ScanlineRecord* rows = reinterpret_cast<ScanlineRecord*>(w.workBuffer);
    WalkEdge(v[0], v[2], h, colours, middleLeft, rows);
    WalkEdge(v[0], v[1], h1, colours, !middleLeft, rows);
    WalkEdge(v[1], v[2], h2, colours, !middleLeft, rows + h1);
    // Rows outside the clip rectangle (mirrored on bottom-up surfaces) and the surface are skipped.
    int32_t rowMin = w.clip.bottomUp ? w.clip.height - 1 - w.clip.y1 : w.clip.y0;
    int32_t rowMax = w.clip.bottomUp ? w.clip.height - 1 - w.clip.y0 : w.clip.y1;
    rowMin = rowMin < 0 ? 0 : rowMin;
    rowMax = rowMax >= w.height ? w.height - 1 : rowMax;
    for (int32_t i = 0; i < h; ++i) {
        int32_t y = v[0].y + i;
        int32_t pixelRow = y >> w.accumShift;
        if (y < 0 || pixelRow < rowMin || pixelRow > rowMax)
            continue;
        DrawSpan(w, rows[i], y);
    }
    return true;
}
