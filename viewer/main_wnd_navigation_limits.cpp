// Camera limits of the viewer engine: the defaults, a frame's camera when it becomes current,
// the effective tilt, pan, zoom and position limits that follow from the frame's configuration,
// its mesh and the view, keeping a camera inside them, and the velocity parameter's range.
#include <cmath>
#include <utility>

#include "core/matrix_math.h"
#include "render/mesh.h"
#include "viewer/camera_internal.h"
#include "viewer/main_wnd.h"

namespace {

constexpr float kDefaultMinZoom = 0.28f;
constexpr float kDefaultMaxZoom = 6.0f;
constexpr float kMaxVelocity = 1000.0f;
constexpr float kFrameFarPlane = 10000.0f;
// A mesh radius below this fraction of the mesh's height counts as 0 (a pole of a sphere).
constexpr float kPoleRadiusFraction = 0.0001f;
// A crossed pair of aerial limits whose mean is 0 takes this value.
constexpr float kAerialCrossedValue = 0.1f;

// CMainWnd::m_cameraMotion: the zoom is moving.
constexpr int32_t kCameraMotionZoom = 0x40;

bool IsNoLimitPair(float minimum, float maximum)
{
    return minimum == kNoAngleLimit && maximum == kNoAngleLimit;
}

// What bounds the tilt and the zoom of a frame's first mesh: the horizontal radius at its first
// and last vertex and its height range.
struct MeshExtent {
    float r1 = 0, r2 = 0;
    float yMin = 0, yMax = 0;
};

// The radii of frames whose mesh limits the view; false for other frames and meshes.
// A one-shot frame's radii change places when mirrorSwap is set.
bool GetMeshExtent(const CFrame& frame, int32_t projection, bool mirrorSwap, MeshExtent* extent)
{
    if (frame.meshCount <= 0 || !frame.meshes[0])
        return false;
    const CObjeto3D& mesh = *frame.meshes[0];
    const MeshVertex* vertices = mesh.keptVertexCount > 0 ? mesh.keptVertices : mesh.vertices;
    const int32_t count = mesh.keptVertexCount > 0 ? mesh.keptVertexCount : mesh.vertexCount;
    if (!vertices || count <= 0)
        return false;
    float yMin = vertices[0].y, yMax = vertices[0].y;
    for (int32_t i = 1; i < count; i++) {
        yMin = std::fmin(yMin, vertices[i].y);
        yMax = std::fmax(yMax, vertices[i].y);
    }
    extent->yMin = yMin;
    extent->yMax = yMax;

    if (frame.kind == FrameKindCylindrical) {
        extent->r1 = extent->r2 = mesh.sizeX;
        return true;
    }
    const bool sphericalProjection =
        projection == ProjectionDefault || projection == ProjectionSpherical ||
        projection == ProjectionCylindrical || projection == ProjectionStereographic ||
        projection == ProjectionFisheyeMode;
    const bool sphereKind =
        frame.kind == FrameKindSpherical ||
        (frame.kind == FrameKindCamera && frame.sensorLayout == 0) ||
        (frame.kind == FrameKindOneShot && mesh.rotX == 0.0f && mesh.rotZ == 0.0f);
    if (!sphericalProjection || !sphereKind)
        return false;
    const float tolerance = (std::fabs(yMin) + std::fabs(yMax)) * kPoleRadiusFraction;
    const MeshVertex& first = vertices[0];
    const MeshVertex& last = vertices[count - 1];
    extent->r1 = std::sqrt(first.x * first.x + first.z * first.z);
    extent->r2 = std::sqrt(last.x * last.x + last.z * last.z);
    if (extent->r1 <= tolerance)
        extent->r1 = 0.0f;
    if (extent->r2 <= tolerance)
        extent->r2 = 0.0f;
    if (frame.kind == FrameKindOneShot && mirrorSwap)
        std::swap(extent->r1, extent->r2);
    return true;
}

// x and z range of a mesh's vertices; false for an empty mesh.
bool GetMeshGroundRange(const CFrame& frame, float range[4])
{
    if (frame.meshCount <= 0 || !frame.meshes[0])
        return false;
    const CObjeto3D& mesh = *frame.meshes[0];
    if (!mesh.vertices || mesh.vertexCount <= 0)
        return false;
    range[0] = range[1] = mesh.vertices[0].x;
    range[2] = range[3] = mesh.vertices[0].z;
    for (int32_t i = 1; i < mesh.vertexCount; i++) {
        range[0] = std::fmin(range[0], mesh.vertices[i].x);
        range[1] = std::fmax(range[1], mesh.vertices[i].x);
        range[2] = std::fmin(range[2], mesh.vertices[i].z);
        range[3] = std::fmax(range[3], mesh.vertices[i].z);
    }
    return true;
}

// A crossed pair becomes its mean.
void UncrossPair(float* minimum, float* maximum)
{
    if (*minimum > *maximum)
        *minimum = *maximum = (*minimum + *maximum) / 2.0f;
}

// Zoom as a divisor: a zoom that is not positive (or NaN) counts as 1.
float UsableZoom(float zoom)
{
    return zoom > 0.0f ? zoom : 1.0f;
}

}  // namespace

void CMainWnd::ResetNavigationLimits()
{
    m_altitudeMin = m_configuredAltitudeMin;
    m_altitudeMax = m_configuredAltitudeMax;

    float* limits = m_currentFrame->effectiveLimits;
    limits[LimitTiltMin] = -90.0f;
    limits[LimitTiltMax] = 90.0f;
    limits[LimitPanMin] = kNoAngleLimit;
    limits[LimitPanMax] = kNoAngleLimit;
    limits[LimitZoomMin] = kDefaultMinZoom;
    limits[LimitZoomMax] = kDefaultMaxZoom;

    // The parameters the user set keep their values.
    const uint32_t set = m_firstFrame.overrides;
    if (!(set & OverrideLowestTilt))
        m_params.minRotationX = -90.0f;
    if (!(set & OverrideHighestTilt))
        m_params.maxRotationX = 90.0f;
    if (!(set & OverrideLowerPan))
        m_params.minRotationY = kNoAngleLimit;
    if (!(set & OverrideUpperPan))
        m_params.maxRotationY = kNoAngleLimit;
    if (!(set & OverrideSmallestZoom))
        m_params.minZoom = kDefaultMinZoom;
    if (!(set & OverrideLargestZoom))
        m_params.maxZoom = kDefaultMaxZoom;

    m_cameraTargets = 0;
    m_cameraTargetFrame = nullptr;
    m_cameraTargetStep = 0;
    for (float& value : m_cameraTargetValues)
        value = 0.0f;
    m_cameraDelta = CameraState();
    m_viewMoved = 1;
}

void CMainWnd::ClampCameraToLimits(CFrame* frame, CameraState* camera)
{
    if (!frame)
        frame = m_currentFrame;
    CameraState* active = m_view.params->camera;
    if (!camera)
        camera = active;
    if (!frame || !camera)
        return;
    const float* limits = frame->effectiveLimits;
    const float oldTilt = camera->tilt;
    const float oldPan = camera->pan;

    const float tiltMin = limits[LimitTiltMin];
    const float tiltMax = limits[LimitTiltMax];
    if (!IsNoLimitPair(tiltMin, tiltMax)) {
        // Move from the middle of the range towards the old tilt: the move stops at a limit.
        const float middle = WrapAngle180((tiltMin + tiltMax) / 2.0f);
        camera->tilt = middle;
        MoveAngleWithinLimits(&camera->tilt, WrapAngle180(oldTilt) - middle, tiltMin, tiltMax, 0.0f);
    }

    const float panMin = limits[LimitPanMin];
    const float panMax = limits[LimitPanMax];
    if (!IsNoLimitPair(panMin, panMax)) {
        const float lo = WrapAngle180(panMin);
        const float hi = WrapAngle180(panMax);
        const float span = (lo >= hi ? hi + 360.0f : hi) - lo;
        const float middle = lo + span / 2.0f;
        const float zoom = active ? active->zoom : 0.0f;
        const float margin = PanMargin(*frame, camera->tilt, zoom, m_view.params->width,
                                       m_view.params->height, span);
        camera->pan = middle;
        MoveAngleWithinLimits(&camera->pan, WrapAngle180(WrapAngle180(oldPan) - WrapAngle180(middle)),
                              panMin, panMax, margin);
    }

    if (camera == active && frame->kind != FrameKindImageGrid) {
        if (camera->tilt != oldTilt) {
            m_tiltChanged = 1;
            m_rotationX = camera->tilt;
        }
        if (camera->pan != oldPan) {
            m_panChanged = 1;
            m_rotationY = camera->pan;
        }
    }
}

void CMainWnd::ClampVelocity()
{
    float& velocity = m_params.velocity;
    if (velocity > kMaxVelocity)
        velocity = kMaxVelocity;
    else if (!(velocity >= 0.0f))  // negative or NaN
        velocity = 0.0f;
}

void CMainWnd::ApplyZoom(bool fromParameter)
{
    if (fromParameter) {
        m_zoom = m_params.zoom;
        m_firstFrame.overrides |= OverrideInitialZoom;
    } else {
        m_params.zoom = m_zoom;
    }
    if (!m_initialized)
        return;
    const float* limits = m_currentFrame->effectiveLimits;
    float zoom = m_zoom;
    if (zoom > limits[LimitZoomMax])
        zoom = limits[LimitZoomMax];
    if (!(zoom >= limits[LimitZoomMin]))  // also NaN
        zoom = limits[LimitZoomMin];
    m_zoom = zoom;
    if (CameraState* camera = m_view.params->camera)
        camera->zoom = zoom;
    UpdateZoomLimits(0);
    m_cameraMotion &= ~kCameraMotionZoom;
    m_changeCount++;
}

bool CMainWnd::MirrorSwap() const
{
    return m_currentFrame && m_currentFrame->mirrorConfig[kMirrorConfigCount - 1] != 0.0f;
}

void CMainWnd::ApplyFrameCamera(CFrame* frame)
{
    if (!frame)
        return;
    CameraState* camera = &frame->cameras[0];
    CameraState* active = m_view.params->camera;
    const bool transition = m_transitionState > 0;
    if (transition && !(frame->flags & FrameKeepPosition) && active && active != camera) {
        // The entered frame starts from the view being left.
        for (int i = 0; i < 8; i++)
            *CameraWord(camera, i) = CameraWordValue(*active, i);
    }
    m_view.params->camera = camera;

    // The frame's limits stay inside the viewer's hard limits.
    float& tiltMin = frame->lowerLimits[ViewTilt];
    float& tiltMax = frame->upperLimits[ViewTilt];
    if (WrapAngle180(tiltMin) < WrapAngle180(m_hardTiltLimits[0]))
        tiltMin = m_hardTiltLimits[0];
    if (WrapAngle180(tiltMax) > WrapAngle180(m_hardTiltLimits[1]))
        tiltMax = m_hardTiltLimits[1];
    if (frame->lowerLimits[ViewZoom] < m_hardZoomLimits[0])
        frame->lowerLimits[ViewZoom] = m_hardZoomLimits[0];
    if (frame->upperLimits[ViewZoom] > m_hardZoomLimits[1])
        frame->upperLimits[ViewZoom] = m_hardZoomLimits[1];

    m_positionLimits[0] = frame->lowerLimits[ViewX];
    m_positionLimits[1] = frame->upperLimits[ViewX];
    m_positionLimits[2] = frame->lowerLimits[ViewZ];
    m_positionLimits[3] = frame->upperLimits[ViewZ];

    const bool keepsView = (frame->flags & FrameKeepPosition) && (frame->flags & FrameBeenCurrent);
    if (!keepsView) {
        // What the viewer's parameters set and the frame does not.
        struct Merge {
            uint32_t bit;
            float* (*field)(CFrame&);
        };
        static const Merge kMerges[] = {
            {OverrideInitialTilt, [](CFrame& f) { return &f.initialView[ViewTilt]; }},
            {OverrideLowestTilt, [](CFrame& f) { return &f.lowerLimits[ViewTilt]; }},
            {OverrideHighestTilt, [](CFrame& f) { return &f.upperLimits[ViewTilt]; }},
            {OverrideInitialPan, [](CFrame& f) { return &f.initialView[ViewPan]; }},
            {OverrideLowerPan, [](CFrame& f) { return &f.lowerLimits[ViewPan]; }},
            {OverrideUpperPan, [](CFrame& f) { return &f.upperLimits[ViewPan]; }},
            {OverrideInitialZoom, [](CFrame& f) { return &f.initialView[ViewZoom]; }},
            {OverrideSmallestZoom, [](CFrame& f) { return &f.lowerLimits[ViewZoom]; }},
            {OverrideLargestZoom, [](CFrame& f) { return &f.upperLimits[ViewZoom]; }},
        };
        if (frame != &m_firstFrame) {
            for (const Merge& merge : kMerges) {
                if ((m_firstFrame.overrides & merge.bit) && !(frame->overrides & merge.bit)) {
                    *merge.field(*frame) = *merge.field(m_firstFrame);
                    frame->overrides |= merge.bit;
                }
            }
        }
        if (!transition || m_view.backEnd != RenderSoftware) {
            camera->x = frame->initialView[ViewX];
            camera->y = frame->initialView[ViewY];
            camera->z = frame->initialView[ViewZ];
            camera->tilt = frame->initialView[ViewTilt];
            camera->pan = frame->initialView[ViewPan];
            camera->roll = frame->initialView[ViewRoll];
            camera->zoom = frame->initialView[ViewZoom];
            m_view.params->farZ = kFrameFarPlane;
            m_rotationX = camera->tilt;
            m_rotationY = camera->pan;
            m_rotationZ = camera->roll;
            m_zoom = camera->zoom;
        }
    }

    if (frame != &m_firstFrame) {
        if ((m_firstFrame.overrides & OverrideMouseMode) && !(frame->overrides & OverrideMouseMode))
            frame->mouseMode = m_firstFrame.mouseMode;
        if (frame->toolbarButtons == -1)
            frame->toolbarButtons = m_firstFrame.toolbarButtons;
    }

    m_view.UpdateProjection();
    // The frame's zoom limits first: the tilt limits depend on the zoom in force.
    UpdateZoomLimits(frame);
    UpdateNavigationLimits(frame);
}

void CMainWnd::UpdateNavigationLimits(CFrame* frame)
{
    if (!frame)
        frame = m_currentFrame;
    if (!frame)
        return;
    const CameraState& camera = frame->cameras[0];
    const int32_t width = m_view.params->width;
    const int32_t height = m_view.params->height;
    const float aspect = width > 0 && height > 0 ? static_cast<float>(width) / height : 1.0f;
    const float pull = 1.0f + camera.pullBack / 200.0f;
    const float configuredHalf = kHalfFieldAtZoom1 / UsableZoom(frame->initialView[ViewZoom]) * pull;
    const float half = kHalfFieldAtZoom1 / UsableZoom(camera.zoom) * pull;
    const float widening = configuredHalf - half;
    float* limits = frame->effectiveLimits;

    // Tilt.
    const float configuredTiltMin = frame->lowerLimits[ViewTilt];
    const float configuredTiltMax = frame->upperLimits[ViewTilt];
    float tiltMin = kNoAngleLimit, tiltMax = kNoAngleLimit;
    if (configuredTiltMin >= -360.0f && configuredTiltMax <= 360.0f &&
        !IsNoLimitPair(configuredTiltMin, configuredTiltMax)) {
        tiltMin = WrapAngle180(configuredTiltMin);
        tiltMax = WrapAngle180(configuredTiltMax);
        if (tiltMin > -90.0f)
            tiltMin -= widening;
        if (tiltMax < 90.0f)
            tiltMax += widening;
        UncrossPair(&tiltMin, &tiltMax);
    }

    // Pan: the view's horizontal half field stays inside the configured range.
    const float horizontalHalf = aspect * half;
    float panMin = frame->lowerLimits[ViewPan];
    float panMax = frame->upperLimits[ViewPan];
    const float coverage = frame->partialWidth;
    if (coverage > 0.0f && coverage < 360.0f) {
        panMax = coverage / 2.0f - horizontalHalf;
        panMin = -panMax;
        UncrossPair(&panMin, &panMax);
    } else if (panMin != kNoAngleLimit || panMax != kNoAngleLimit) {
        const bool configuredOrder = panMin <= panMax;
        const float newMin = panMin + horizontalHalf;
        const float newMax = panMax - horizontalHalf;
        panMin = newMin;
        panMax = newMax;
        if ((panMin <= panMax) != configuredOrder)
            panMin = panMax = (panMin + panMax) / 2.0f;
    }

    // The mesh's top and bottom edges bound the tilt.
    MeshExtent extent;
    if (GetMeshExtent(*frame, frame == m_currentFrame ? m_projection : frame->projection, MirrorSwap(), &extent)) {
        const float top = extent.r1 > 0.0f
                              ? std::atan(extent.yMax / extent.r1) * kRadiansToDegrees - half
                              : 90.0f;
        const float bottom = extent.r2 > 0.0f
                                 ? std::atan(extent.yMin / extent.r2) * kRadiansToDegrees + half
                                 : -90.0f;
        if (std::isfinite(top) && std::isfinite(bottom) && top > bottom) {
            if (tiltMin == kNoAngleLimit || bottom > tiltMin)
                tiltMin = bottom;
            if (tiltMax == kNoAngleLimit || top < tiltMax)
                tiltMax = top;
            UncrossPair(&tiltMin, &tiltMax);
        }
    }

    if (frame->kind == FrameKindScene) {
        if (m_hardTiltLimits[0] < -90.0f && tiltMin < -90.0f)
            tiltMin = -90.0f;
        if (m_hardTiltLimits[1] > 90.0f && tiltMax > 90.0f)
            tiltMax = 90.0f;
    }

    limits[LimitTiltMin] = tiltMin;
    limits[LimitTiltMax] = tiltMax;
    limits[LimitPanMin] = panMin;
    limits[LimitPanMax] = panMax;

    ClampCameraToLimits(frame, nullptr);
    UpdateAerialLimits(frame);
}

bool CMainWnd::UpdateZoomLimits(CFrame* frame)
{
    if (!frame)
        frame = m_currentFrame;
    if (!frame)
        return false;
    CameraState& camera = frame->cameras[0];
    float zoomMax = frame->upperLimits[ViewZoom];
    float zoomMin = frame->lowerLimits[ViewZoom];

    // The whole configured tilt range fits into the view.
    const float tiltRange = frame->upperLimits[ViewTilt] - frame->lowerLimits[ViewTilt];
    const float tiltDenominator = tiltRange + 45.0f / UsableZoom(frame->initialView[ViewZoom]);
    if (tiltDenominator > 0.0f && 45.0f / tiltDenominator > zoomMin)
        zoomMin = 45.0f / tiltDenominator;

    // So does the mesh's height.
    MeshExtent extent;
    if (GetMeshExtent(*frame, frame == m_currentFrame ? m_projection : frame->projection, MirrorSwap(), &extent)) {
        const float r1 = extent.r1 + camera.pullBack;
        const float r2 = extent.r2 + camera.pullBack;
        if (r1 > 0.0f && r2 > 0.0f) {
            const float top = std::atan(extent.yMax / r1);
            const float bottom = std::atan(extent.yMin / r2);
            if (top > bottom) {
                float meshZoom = (kPi / 4.0f) / (top - bottom);
                const int32_t width = m_view.params->width;
                const int32_t height = m_view.params->height;
                if (!m_view.fixedVertical && width > 0 && height > 0)
                    meshZoom *= static_cast<float>(height) / width;
                if (meshZoom > zoomMin)
                    zoomMin = meshZoom;
            }
        }
    }

    if (!(zoomMin >= kDefaultMinZoom))
        zoomMin = kDefaultMinZoom;
    if (!(zoomMax >= zoomMin))
        zoomMax = zoomMin;
    frame->effectiveLimits[LimitZoomMin] = zoomMin;
    frame->effectiveLimits[LimitZoomMax] = zoomMax;

    float& configured = frame->initialView[ViewZoom];
    configured = std::fmin(std::fmax(configured, zoomMin), zoomMax);
    const float oldZoom = camera.zoom;
    camera.zoom = std::fmin(std::fmax(camera.zoom, zoomMin), zoomMax);
    if (m_view.params->camera == &camera) {
        m_view.UpdateProjection();
        m_zoom = camera.zoom;
    }
    return camera.zoom != oldZoom;
}

void CMainWnd::UpdateAerialLimits(CFrame* frame)
{
    if (!frame)
        frame = m_currentFrame;
    float range[4];
    if (!frame || frame->kind != FrameKindAerial || !GetMeshGroundRange(*frame, range))
        return;
    CameraState& camera = frame->cameras[0];
    const float eyeHeight = camera.y;
    const float half = kHalfFieldAtZoom1 / UsableZoom(camera.zoom) * kDegreesToRadians;
    const int32_t width = m_view.params->width;
    const int32_t height = m_view.params->height;
    const float aspect = width > 0 && height > 0 ? static_cast<float>(width) / height : 1.0f;
    auto uncross = [](float* minimum, float* maximum) {
        if (*minimum > *maximum) {
            const float mean = (*minimum + *maximum) / 2.0f;
            *minimum = *maximum = mean == 0.0f ? kAerialCrossedValue : mean;
        }
    };

    if (frame->lowerLimits[ViewZ] == 0.0f && frame->upperLimits[ViewZ] == 0.0f) {
        const float elevation = (WrapAngle180(camera.tilt) + 90.0f) * kDegreesToRadians;
        m_positionLimits[2] = range[2] - eyeHeight * std::tan(elevation - half);
        m_positionLimits[3] = range[3] - eyeHeight * std::tan(elevation + half);
        uncross(&m_positionLimits[2], &m_positionLimits[3]);
    }
    if (frame->lowerLimits[ViewX] == 0.0f && frame->upperLimits[ViewX] == 0.0f) {
        const float side = eyeHeight * std::tan(half) * aspect;
        m_positionLimits[0] = range[0] + side;
        m_positionLimits[1] = range[1] - side;
        uncross(&m_positionLimits[0], &m_positionLimits[1]);
    }
    camera.x = std::fmin(std::fmax(camera.x, m_positionLimits[0]), m_positionLimits[1]);
    camera.z = std::fmin(std::fmax(camera.z, m_positionLimits[2]), m_positionLimits[3]);
}
