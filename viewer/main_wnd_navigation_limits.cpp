// Camera limits of the viewer engine: the defaults, keeping a camera inside a frame's limits and
// the velocity parameter's range.
#include <cmath>

#include "core/matrix_math.h"
#include "viewer/main_wnd.h"

namespace {

constexpr float kNoAngleLimit = 360.0f;
constexpr float kDefaultMinZoom = 0.28f;
constexpr float kDefaultMaxZoom = 6.0f;
constexpr float kMaxVelocity = 1000.0f;
// CFrame::flags: the pan keeps a margin so that the view's corners stay inside the limits.
constexpr uint32_t kFrameEnforceLimits = 0x400000;

// CMainWnd::m_cameraMotion: the zoom is moving.
constexpr int32_t kCameraMotionZoom = 0x40;

constexpr float kDegreesToRadians = 3.14159265358979f / 180.0f;

bool IsNoLimitPair(float minimum, float maximum)
{
    return minimum == kNoAngleLimit && maximum == kNoAngleLimit;
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
        float margin = 0.0f;
        const int32_t width = m_view.params->width;
        const int32_t height = m_view.params->height;
        const float zoom = active ? active->zoom : 0.0f;
        if ((frame->flags & kFrameEnforceLimits) && width > 0 && height > 0 && zoom > 0.0f) {
            const float tilt = std::fabs(camera->tilt) * kDegreesToRadians;
            margin = (1.0f - std::cos(tilt)) * 90.0f /
                     (zoom * 2.0f * static_cast<float>(height) / static_cast<float>(width));
            if (margin > std::fabs(span) / 2.0f)
                margin = std::fabs(span) / 2.0f;
        }
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
