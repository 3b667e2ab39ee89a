// Filled rectangles, rectangle outlines, screen lines and projected 3D lines and polylines.
// Lines are drawn on the software back end only, through g_drawLinePixels into the locked frame;
// filled rectangles also on Direct3D 9 as quads of the white image.
#include "render/render_device.h"

#include <cmath>

#include "core/matrix_math.h"
#include "images/blit.h"
#include "images/line_pixels.h"

namespace {

// Depth-buffer values of 3D line ends are compared with this much room, so that a line lying on
// the surface it was measured on stays in front of it.
constexpr float kLineDepthTolerance = 4.0f;

}  // namespace

CObjeto2D::FrameAccess::FrameAccess(CObjeto2D* device) : m_device(device) {
    if (device->frameLocked) {
        pixels = device->params->pixels;
        return;
    }
    pixels = device->LockFrame();
    m_locked = device->frameLocked != 0;
}

CObjeto2D::FrameAccess::~FrameAccess() {
    if (m_locked)
        m_device->UnlockFrame();
}

bool CObjeto2D::FillRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                              int32_t opacity, uint32_t mode) {
    if (status != 0 || x1 < x0 || y1 < y0 || opacity <= 0)
        return false;
    if (backEnd == RenderDirect3D9) {
        DrawSpriteQuad(static_cast<float>(x0), static_cast<float>(y0),
                       static_cast<float>(x1 - x0 + 1), static_cast<float>(y1 - y0 + 1),
                       &whiteImage, opacity, mode, colour, 0.0f);
        return true;
    }
    if (backEnd != RenderSoftware)
        return false;  // OpenGL draws no filled rectangles
    FrameAccess frame(this);
    if (!frame.pixels)
        return false;
    const RenderParams& p = *params;
    BlitPixels(frame.pixels, p.stride, p.bottomUp ? p.height : 0, p.bitsPerPixel, x1 - x0 + 1,
               y1 - y0 + 1, p.clipX0, p.clipY0, p.clipX1, p.clipY1, x0, y0, nullptr, 1, 1, 32,
               nullptr, static_cast<uint32_t>(opacity), mode, colour & 0xFFFFFF, 0);
    return true;
}

void CObjeto2D::DrawRectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour,
                              int32_t opacity, int32_t penWidth, int32_t accumulationShift) {
    DrawLine(x0, y0, x1, y0, colour, opacity, penWidth, accumulationShift);
    DrawLine(x1, y0, x1, y1, colour, opacity, penWidth, accumulationShift);
    DrawLine(x0, y1, x1, y1, colour, opacity, penWidth, accumulationShift);
    DrawLine(x0, y0, x0, y1, colour, opacity, penWidth, accumulationShift);
}

void CObjeto2D::DrawLine(float x0, float y0, float x1, float y1, uint32_t colour, int32_t opacity,
                         int32_t penWidth, int32_t accumulationShift) {
    if (status != 0 || backEnd != RenderSoftware)
        return;
    FrameAccess frame(this);
    if (!frame.pixels)
        return;
    const RenderParams& p = *params;
    float a[3] = {x0, y0, 0.0f};
    float b[3] = {x1, y1, 0.0f};
    g_drawLinePixels(frame.pixels, p.stride, p.bottomUp ? p.height : 0, p.bitsPerPixel, p.clipX0,
                     p.clipY0, p.clipX1, p.clipY1, a, b, colour & colourWriteMask, opacity,
                     accumulationShift, p.accumulationBuffer, nullptr, 0, penWidth);
}

int32_t CObjeto2D::ClipSegment(float* a, float* b, float nearZ, float farZ) {
    // Moves end `moved` onto the plane z = plane along the segment from `kept`.
    auto cut = [](float* moved, const float* kept, float plane) {
        const float t = (plane - kept[2]) / (moved[2] - kept[2]);
        moved[0] = kept[0] + (moved[0] - kept[0]) * t;
        moved[1] = kept[1] + (moved[1] - kept[1]) * t;
        moved[3] = kept[3] + (moved[3] - kept[3]) * t;
        moved[2] = plane;
    };
    const bool aFar = a[2] > farZ, bFar = b[2] > farZ;
    if (aFar && bFar)
        return 0;
    if (aFar)
        cut(a, b, farZ);
    else if (bFar)
        cut(b, a, farZ);
    const bool aNear = a[2] < nearZ, bNear = b[2] < nearZ;
    if (aNear && bNear)
        return 0;
    if (aNear)
        cut(a, b, nearZ);
    else if (bNear)
        cut(b, a, nearZ);
    return 2;
}

void CObjeto2D::DrawLine3D(const float* p1, const float* p2, uint32_t colour, int32_t penWidth,
                           float minimumLength, float farDistance, int32_t opacity,
                           int32_t accumulationShift) {
    if (!p1 || !p2)
        return;
    const float points[6] = {p1[0], p1[1], p1[2], p2[0], p2[1], p2[2]};
    DrawPolyline3D(points, 2, colour, penWidth, minimumLength, farDistance, opacity,
                   accumulationShift);
}

void CObjeto2D::DrawPolyline3D(const float* points, int32_t count, uint32_t colour,
                               int32_t penWidth, float minimumLength, float farDistance,
                               int32_t opacity, int32_t accumulationShift) {
    if (status != 0 || backEnd != RenderSoftware || !points || count < 2)
        return;
    const float* m = mode2D ? matrices.projection2DViewport : matrices.worldToScreen;
    // Ends carry the view distance as z, as the rasteriser's transformed vertices do.
    auto project = [&](const float* point, float out[4]) {
        TransformPoint4(out, point, m);
        out[2] += params->nearZ;
    };
    int32_t start = 0;
    for (int32_t i = 1; i < count; ++i) {
        float a[4], b[4];
        project(points + 3 * start, a);
        project(points + 3 * i, b);
        if (DrawSegment3D(a, b, colour, penWidth, minimumLength, farDistance, opacity,
                          accumulationShift))
            start = i;
    }
}

bool CObjeto2D::DrawSegment3D(float* a, float* b, uint32_t colour, int32_t penWidth,
                              float minimumLength, float farDistance, int32_t opacity,
                              int32_t accumulationShift) {
    if (status != 0 || backEnd != RenderSoftware || !a || !b)
        return false;
    // The depth planes bound every segment: an end at or behind the eye has no screen position.
    const float farZ = farDistance != 0.0f ? farDistance : params->farZ;
    if (ClipSegment(a, b, params->nearZ, farZ) == 0)
        return false;
    if (!(a[3] > 0.0f) || !(b[3] > 0.0f))
        return false;
    float ends[2][3] = {{a[0] / a[3], a[1] / a[3], a[2]}, {b[0] / b[3], b[1] / b[3], b[2]}};
    const float dx = ends[1][0] - ends[0][0], dy = ends[1][1] - ends[0][1];
    if (std::sqrt(dx * dx + dy * dy) < minimumLength)
        return false;

    const bool depthTest = (params->stateBits & StateZBuffer) && params->depthBuffer;
    if (depthTest) {
        // An end shows when nothing was drawn at its pixel, or when it lies in front of what was.
        auto shows = [&](const float* end) {
            const float held = GetDepthAt(static_cast<int32_t>(std::floor(end[0])),
                                          static_cast<int32_t>(std::floor(end[1])));
            return held == 0.0f || held + kLineDepthTolerance > end[2];
        };
        if (!shows(ends[1]) && !shows(ends[0]))
            return true;
    }

    FrameAccess frame(this);
    if (!frame.pixels && accumulationShift == 0)
        return true;
    const RenderParams& p = *params;
    const int32_t depthStride = 2 * p.width;  // the z-buffer holds one row per frame row
    g_drawLinePixels(frame.pixels, p.stride, p.bottomUp ? p.height : 0, p.bitsPerPixel, p.clipX0,
                     p.clipY0, p.clipX1, p.clipY1, ends[0], ends[1], colour & colourWriteMask,
                     opacity, accumulationShift, p.accumulationBuffer,
                     depthTest ? p.depthBuffer : nullptr, depthStride, penWidth);
    return true;
}
