// Layout of interface objects and windows: the alignment rule they all share, the size, place
// and visibility of each object, 3D labels kept apart, and the start of a drag in the view.
#include "viewer/main_wnd.h"

#include <algorithm>
#include <cmath>

#include "core/matrix_math.h"
#include "render/mesh.h"
#include "render/render_device.h"

namespace {

// Alignment flag bits (one byte).
constexpr uint8_t kAlignHorizontalMask = 0x03;  // 1: centre on x, 2: right edge on x
constexpr uint8_t kAlignAddWidth = 0x04;
constexpr uint8_t kAlignAddHalfWidth = 0x08;
constexpr uint8_t kAlignVerticalMask = 0x30;    // 0x10: centre on y, 0x20: bottom edge on y
constexpr uint8_t kAlignAddHeight = 0x40;
constexpr uint8_t kAlignAddHalfHeight = 0x80;

}  // namespace

void CMainWnd::ApplyAlignment(float& x, float& y, uint8_t align, float width, float height,
                              int referenceWidth, int referenceHeight)
{
    if (referenceWidth == -1)
        referenceWidth = m_view.params->width;
    if (referenceHeight == -1)
        referenceHeight = m_view.params->height;
    switch (align & kAlignHorizontalMask) {
    case 1: x -= width / 2.0f; break;
    case 2: x -= width; break;
    default: break;
    }
    if (align & kAlignAddWidth)
        x += static_cast<float>(referenceWidth);
    else if (align & kAlignAddHalfWidth)
        x += static_cast<float>(referenceWidth / 2);
    switch (align & kAlignVerticalMask) {
    case 0x10: y -= height / 2.0f; break;
    case 0x20: y -= height; break;
    default: break;
    }
    if (align & kAlignAddHeight)
        y += static_cast<float>(referenceHeight);
    else if (align & kAlignAddHalfHeight)
        y += static_cast<float>(referenceHeight / 2);
}

namespace {

constexpr float kPercentRoundUp = 0.1f;
constexpr float kFarVisibleShare = 0.8f;
constexpr float kOcclusionTestSeconds = 0.5f;
// Occlusion: the point may lie this far behind the drawn depth and still count as seen.
constexpr float kOcclusionTolerance = 10.0f;
// Orientation tags of an image and the drawing angle each gives.
constexpr int kOrientationNormal = 1;
constexpr int kOrientationLeft = 8;
constexpr int kOrientationRight = 6;
constexpr int kOrientationUpsideDown = 4;
constexpr int32_t kPlacementInView = PlacementOwnImageInView;

// reference x value / 100, a fraction above 0.1 rounded up.
float Percent(float reference, float value)
{
    float v = reference * value / 100.0f;
    const float whole = std::trunc(v);
    if (v > whole + kPercentRoundUp)
        v = whole + 1.0f;
    return v;
}

float PercentSize(float reference, float value)
{
    return std::max(Percent(reference, value), 1.0f);
}

}  // namespace

void CMainWnd::LayoutItem(CObjeto2D* device, ObjectItem* object, CSprite* image)
{
    if (!device || !object)
        return;
    object->onScreen = 0;
    // The scene point of an object still in UTM coordinates is not known: it stays off screen.
    if (object->inScene && object->utmFlag)
        return;

    CObjeto2D* view = m_activeView ? m_activeView : &m_view;
    const float W = static_cast<float>(view->params->width);
    const float H = static_cast<float>(view->params->height);
    const ItemType type = object->type;
    const bool ownQuad = type == ItemType::NodeHotspot3D;

    float scenePoint[3] = {object->x, object->y, object->z};
    if (ownQuad) {
        const float* a = object->boundsMin();
        const float* b = object->boundsMax();
        for (int i = 0; i < 3; i++)
            scenePoint[i] = (a[i] + b[i]) / 2.0f;
        if (CObjeto3D* mesh = object->ownedObject) {
            mesh->ComputeBoundingCorners(nullptr, mesh->vertexCount, &mesh->objectCorners);
            mesh->UpdateBoxes();
            device->CullTriangles(mesh);
        }
    } else if (!object->inScene) {
        object->screenX = (object->layoutFlags & LayoutXPercent) ? Percent(W, object->x) : object->x;
        object->screenY = (object->layoutFlags & LayoutYPercent) ? Percent(H, object->y) : object->y;
    }

    const int32_t state = type == ItemType::ButtonObject ? object->state : 0;
    const int32_t drawingFlags = state >= 0 && state < 4 ? object->stateFlags[state] : 0;
    if (image && (drawingFlags & StateFollowOrientation)) {
        switch (image->exifOrientation) {
        case kOrientationNormal: object->angle = 0.0f; break;
        case kOrientationLeft: object->angle = -90.0f; break;
        case kOrientationRight: object->angle = 90.0f; break;
        case kOrientationUpsideDown: object->angle = 180.0f; break;
        default: break;
        }
    }
    const bool quarterTurn = object->angle == 90.0f || object->angle == -90.0f;
    const float referenceW = quarterTurn ? H : W;
    const float referenceH = quarterTurn ? W : H;

    if (object->layoutFlags & LayoutRangeXPercent)
        object->travelX = PercentSize(W, object->rangeX) + object->rangeOffsetX;
    if (object->layoutFlags & LayoutRangeYPercent)
        object->travelY = PercentSize(H, object->rangeY) + object->rangeOffsetY;

    object->drawWidth = (object->layoutFlags & LayoutWidthPercent)
                            ? PercentSize(referenceW, object->width)
                            : object->width;
    object->drawHeight = (object->layoutFlags & LayoutHeightPercent)
                             ? PercentSize(referenceH, object->height)
                             : object->height;

    if ((drawingFlags & StateKeepAspect) && image && image->width > 0 && image->height > 0 &&
        object->drawWidth > 0 && object->drawHeight > 0) {
        const float aspect = static_cast<float>(image->width) / static_cast<float>(image->height);
        if (object->drawWidth / object->drawHeight > aspect)
            object->drawWidth = object->drawHeight * aspect;
        else
            object->drawHeight = object->drawWidth / aspect;
    }

    object->drawWidth = object->scaleX / 100.0f * object->drawWidth + object->offsetWidth;
    object->drawHeight = object->scaleY / 100.0f * object->drawHeight + object->offsetHeight;

    if (object->inScene || ownQuad) {
        if (ownQuad && object->ownedObject)
            object->onScreen = device->UpdateObjectVisibility(object->ownedObject) ? 1 : 0;
        float point[3] = {scenePoint[0], scenePoint[1], scenePoint[2]};
        if (object->rotX != 0.0f || object->rotY != 0.0f || object->rotZ != 0.0f) {
            float rotation[16];
            MakeRotationMatrix(rotation, std::trunc(object->rotX), std::trunc(object->rotY),
                               std::trunc(object->rotZ));
            float rotated[4];
            TransformPoint4(rotated, scenePoint, rotation);
            for (int i = 0; i < 3; i++)
                point[i] = rotated[i];
        }
        float projected[3];
        device->ProjectPoint(point, projected, false);
        object->screenX = projected[0];
        object->screenY = projected[1];
        object->depth = projected[2];
    } else {
        object->onScreen = 1;
    }

    object->screenX += object->offsetX;
    object->screenY += object->offsetY;
    ApplyAlignment(object->screenX, object->screenY, object->align, object->drawWidth,
                   object->drawHeight, -1, -1);

    if ((type == ItemType::NodeHotspot || ownQuad) && object->placement == kPlacementInView) {
        if (object->screenX + object->drawWidth > W)
            object->screenX = W - object->drawWidth;
        if (object->screenY + object->drawHeight > H)
            object->screenY = H - object->drawHeight;
        object->screenX = std::max(object->screenX, 0.0f);
        object->screenY = std::max(object->screenY, 0.0f);
    }

    object->screenX += static_cast<float>(object->shiftX);
    object->screenY += static_cast<float>(object->shiftY);

    if (object->inScene && !ownQuad) {
        if (type == ItemType::LensFlareObject) {
            if (object->depth >= 1.0f) {
                const float dx = object->screenX - W / 2.0f;
                const float dy = object->screenY - H / 2.0f;
                const float halfDiagonal = std::sqrt(W / 2.0f * (W / 2.0f) + H / 2.0f * (H / 2.0f));
                object->onScreen =
                    std::trunc(std::sqrt(dx * dx + dy * dy)) < std::trunc(halfDiagonal) ? 1 : 0;
            }
        } else if (object->depth >= 1.0f && object->depth < kFarVisibleShare * device->params->farZ &&
                   object->screenX + object->drawWidth >= 0.0f &&
                   object->screenY + object->drawHeight >= 0.0f && object->screenX < W &&
                   object->screenY < H) {
            if (!device->GetRenderState(RenderStateZBuffer)) {
                object->onScreen = 1;
            } else if (--object->visibleCountdown <= 0) {
                object->visibleCache =
                    IsPointUnoccluded(object->screenX, object->screenY, object->depth, scenePoint)
                        ? 1
                        : 0;
                object->onScreen = object->visibleCache;
                object->visibleCountdown = static_cast<int32_t>(m_fps * kOcclusionTestSeconds);
            } else {
                object->onScreen = object->visibleCache;
            }
        }
    }

    object->layoutFlags |= LayoutDone;
    if (!object->inScene && !ownQuad && (object->drawWidth < 0.0f || object->drawHeight < 0.0f))
        object->onScreen = 0;
}

bool CMainWnd::IsPointUnoccluded(float screenX, float screenY, float depth, const float*)
{
    if (m_view.backEnd != RenderSoftware)
        return false;
    const float drawn = m_view.GetDepthAt(static_cast<int32_t>(screenX), static_cast<int32_t>(screenY));
    // Where nothing was drawn, nothing hides the point.
    if (drawn == 0.0f)
        return true;
    return depth < drawn + kOcclusionTolerance;
}

void CMainWnd::PlaceLabel(RECT* rects, int32_t* count, RECT* rect)
{
    // The rectangle moves above the first stored rectangle (in storage order) it overlaps, then
    // the scan starts again. It only ever moves up, and only vertically: a stored rectangle beside
    // it never overlaps it, and one wholly below it never will again. Leaving both kinds out of
    // the rescans keeps the placements of the plain scan at a fraction of its cost.
    const LONG height = rect->bottom - rect->top;
    const int32_t stored = std::min(std::max(*count, 0), kMaxLabelRects);
    int32_t next[kMaxLabelRects + 1];  // a list of the candidates in storage order; -1 ends it
    int32_t head = -1, tail = -1;
    for (int32_t i = 0; i < stored; i++) {
        const RECT& s = rects[i];
        if (rect->right + 1 >= s.left && s.right + 1 >= rect->left) {
            next[i] = -1;
            if (tail < 0)
                head = i;
            else
                next[tail] = i;
            tail = i;
        }
    }
    int32_t previous = -1;
    for (int32_t i = head; i >= 0;) {
        const RECT& s = rects[i];
        if (s.top > rect->bottom + 1) {
            // Below for good: out of the list.
            i = next[i];
            if (previous < 0)
                head = i;
            else
                next[previous] = i;
            continue;
        }
        if (s.bottom + 1 >= rect->top) {
            rect->top = s.top - height - 2;
            rect->bottom = rect->top + height;
            previous = -1;
            i = head;
            continue;
        }
        previous = i;
        i = next[i];
    }
    if (stored < kMaxLabelRects) {
        rects[stored] = *rect;
        *count = stored + 1;
    }
}

void CMainWnd::BeginViewDrag()
{
    if (m_closeOnInput && m_closeOnMouseClick && m_view.fullscreen)
        CloseHostWindow();
    if (m_hoverButton == -1) {
        CaptureMouse(m_externalWnd.m_externalMode ? m_externalWnd.m_hWnd : nullptr);
        if (m_pointerObjectId != -1) {
            m_dragMode = DragObjectPending;
            m_dragObjectId = m_pointerObjectId;
        } else {
            m_dragMode = DragView;
        }
        const CFrame* frame = m_currentFrame;
        if (frame && ((frame->relMouseMove & 1) || frame->mouseMode == 1)) {
            m_dragOrigin[0] = m_mouseX;
            m_dragOrigin[1] = m_mouseY;
        } else {
            m_dragOrigin[0] = m_view.params->width / 2;
            m_dragOrigin[1] = m_view.params->height / 2;
        }
        if (m_capturedControl == 17)
            m_dragOrigin[0] = -1;
        if (frame) {
            m_dragGridCell[0] = frame->gridColumn;
            m_dragGridCell[1] = frame->gridRow;
        }
    }
    m_pressPos[0] = m_mouseX;
    m_pressPos[1] = m_mouseY;
    ScheduleAutoplay(0);
}
