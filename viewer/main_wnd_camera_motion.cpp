// Camera motion of the engine: the tick's input smoothed with inertia and applied inside the
// limits, animated moves towards a target view, and on ground frames the eye's altitude above
// the terrain and the fog range that follows it.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/matrix_math.h"
#include "render/mesh.h"
#include "viewer/camera_internal.h"
#include "viewer/main_wnd.h"

namespace {

constexpr float kSmoothingScale = 0.0125f;
constexpr float kLongestSmoothedTick = 0.1f;
constexpr float kStopThreshold = 0.005f;
constexpr float kZoomStopThreshold = 0.0002f;
constexpr float kAltitudeSpeedDivisor = 800.0f;
constexpr int32_t kDefaultMoveDivisor = 10;
// Smallest step of an animated move, per word (x, y, z, tilt, pan, roll, zoom, pull-back).
constexpr float kMinimumMoveStep[8] = {10.0f, 10.0f, 10.0f, 0.2f, 0.2f, 0.2f, 0.02f, 1.0f};
constexpr float kFogStartFraction = 0.8f;
constexpr UINT kGroundRetryMs = 1000;
// Cursor codes of offset navigation lie here; their parts are -+1 (pan) and -+3 (tilt).
constexpr int32_t kCursorCodeFirst = 11;
constexpr int32_t kCursorCodeLast = 19;
constexpr int32_t kCursorNoGround = 15;
// The toolbar tooltip that shows the altitude.
constexpr int32_t kAltitudeTip = 100;

bool IsAngleWord(int index)
{
    return index >= 3 && index <= 5;
}

bool IsPairSet(float minimum, float maximum)
{
    return !(minimum == 0.0f && maximum == 0.0f);
}

}  // namespace

void CMainWnd::SmoothCameraMotion(CameraState* input)
{
    CFrame* frame = m_currentFrame;
    CameraState* camera = m_view.params->camera;
    const int transition = m_transitionState;
    if ((transition == 1 || transition == 2) && m_view.backEnd != RenderSoftware && m_leavingFrame) {
        frame = m_leavingFrame;
        camera = &frame->cameras[0];
    } else if (transition > 0 && frame) {
        camera = &frame->cameras[0];
    }
    if (!frame || !camera || !input)
        return;
    const int32_t kind = frame->kind;
    const bool ground = kind == FrameKindAerial || kind == FrameKindScene;

    // Inertia: the motion follows the input by 1/D of the difference per tick.
    const float tick = std::min(TickSeconds(m_stepFps), kLongestSmoothedTick);
    const float divisor =
        std::max(kSmoothingScale * NavigationAcceleration(frame, m_params) / tick, 1.0f);
    const bool gridDirect =
        kind == FrameKindImageGrid && (m_mouseButtons & (MK_SHIFT | MK_CONTROL)) != 0;
    input->zoom *= camera->zoom;  // the zoom input is relative
    if (!m_forcedDrag && !gridDirect) {
        static const int kSmoothed[] = {3, 4, 6, 0, 1, 2, 5};
        const int count = ground ? 7 : 3;
        for (int n = 0; n < count; n++) {
            const int i = kSmoothed[n];
            float* in = CameraWord(input, i);
            float* smoothed = CameraWord(&m_smoothedMotion, i);
            const bool hadInput = *in != 0.0f;
            if (hadInput || *smoothed != 0.0f) {
                *smoothed += (*in - *smoothed) / divisor;
                *in = *smoothed;
            }
            const float threshold = i == 6 ? kZoomStopThreshold : kStopThreshold;
            if (!hadInput && std::fabs(*smoothed) < threshold)
                *smoothed = *in = 0.0f;
        }
    }

    const float* limits = frame->effectiveLimits;
    const bool active = camera == m_view.params->camera;
    bool moved = false;

    if (input->zoom != 0.0f) {
        if (MoveValueWithinLimits(&camera->zoom, input->zoom, limits[LimitZoomMin],
                                  limits[LimitZoomMax])) {
            m_wheelDelta[0] = m_wheelDelta[1] = 0.0f;
            m_smoothedMotion.zoom = 0.0f;
        }
        if (active) {
            m_zoom = camera->zoom;
            m_view.UpdateProjection();
        }
        UpdateNavigationLimits(frame);
        m_zoomChanged = 1;
        moved = true;
    }

    if (kind != FrameKindImageGrid) {
        if (input->tilt != 0.0f) {
            const float delta = (frame->flags & FrameInvertCameraY) ? -input->tilt : input->tilt;
            if (MoveAngleWithinLimits(&camera->tilt, delta, limits[LimitTiltMin],
                                      limits[LimitTiltMax], 0.0f)) {
                m_smoothedMotion.tilt = 0.0f;
                if (m_hoverCode >= kCursorCodeFirst && m_hoverCode <= kCursorCodeLast)
                    m_hoverCode += delta > 0.0f ? 3 : -3;
            }
            m_rotationX = WrapAngle180(camera->tilt);
            m_tiltChanged = 1;
            moved = true;
        }
        if (input->pan != 0.0f) {
            const float delta = (frame->flags & FrameInvertCameraX) ? -input->pan : input->pan;
            float margin = 0.0f;
            if (!(limits[LimitPanMin] == kNoAngleLimit && limits[LimitPanMax] == kNoAngleLimit))
                margin = PanMargin(*frame, camera->tilt, camera->zoom, m_view.params->width,
                                   m_view.params->height,
                                   PanSpan(limits[LimitPanMin], limits[LimitPanMax]));
            if (MoveAngleWithinLimits(&camera->pan, delta, limits[LimitPanMin],
                                      limits[LimitPanMax], margin)) {
                if (m_autoplayRunning)
                    m_autoplayDirection = -m_autoplayDirection;
                m_smoothedMotion.pan = 0.0f;
                if (m_hoverCode >= kCursorCodeFirst && m_hoverCode <= kCursorCodeLast)
                    m_hoverCode += delta > 0.0f ? 1 : -1;
            }
            m_rotationY = WrapAngle180(camera->pan);
            m_panChanged = 1;
            moved = true;
        } else if (input->tilt != 0.0f) {
            // The pan margin depends on the tilt.
            ClampCameraToLimits(frame, camera);
            m_rotationY = WrapAngle180(camera->pan);
        }
        if (input->roll != 0.0f) {
            camera->roll = WrapAngle360(camera->roll + input->roll);
            m_rotationZ = camera->roll;
            moved = true;
        }
    }

    // The host page hears of the pan every few degrees, at most once per interval.
    if (m_panEvent > 0.0f && m_panEventStep > 0) {
        const int32_t index = static_cast<int32_t>(m_rotationY / static_cast<float>(m_panEventStep));
        if (index != m_panEventIndex && m_tickTime - m_panEventTime > m_panEvent) {
            char value[32];
            std::snprintf(value, sizeof value, "%.2f", m_rotationY);
            QueueHostEvent("panevent", value);
            m_panEventIndex = index;
            m_panEventTime = m_tickTime;
        }
    }

    if (ground && (input->x != 0.0f || input->y != 0.0f || input->z != 0.0f)) {
        const float speed = m_altitude / kAltitudeSpeedDivisor;
        const float oldX = camera->x, oldZ = camera->z;
        const float* view = m_view.matrices.view;
        if (input->x != 0.0f) {
            float right[3] = {view[0], 0.0f, view[8]};
            if (NormalizeVector3(right, right)) {
                camera->x -= speed * input->x * right[0];
                camera->z -= speed * input->x * right[2];
            }
        }
        if (input->y != 0.0f) {
            m_altitude += speed * input->y;
            if (IsPairSet(m_altitudeMin, m_altitudeMax))
                m_altitude = std::min(std::max(m_altitude, m_altitudeMin), m_altitudeMax);
            FollowGround(0);
            UpdateFogRange();
        }
        if (input->z != 0.0f) {
            float forward[3];
            if (std::fabs(WrapAngle180(camera->tilt)) >= 90.0f) {
                const float pan = camera->pan * kDegreesToRadians;
                forward[0] = std::sin(pan);
                forward[1] = 0.0f;
                forward[2] = std::cos(pan);
            } else {
                forward[0] = view[2];
                forward[1] = 0.0f;
                forward[2] = view[10];
            }
            if (NormalizeVector3(forward, forward)) {
                camera->x += speed * input->z * forward[0];
                camera->z += speed * input->z * forward[2];
            }
        }
        if (input->x != 0.0f || input->z != 0.0f) {
            if (IsPairSet(m_positionLimits[0], m_positionLimits[1])) {
                const float x = std::min(std::max(camera->x, m_positionLimits[0]), m_positionLimits[1]);
                if (x != camera->x)
                    m_smoothedMotion.x = 0.0f;
                camera->x = x;
            }
            if (IsPairSet(m_positionLimits[2], m_positionLimits[3])) {
                const float z = std::min(std::max(camera->z, m_positionLimits[2]), m_positionLimits[3]);
                if (z != camera->z)
                    m_smoothedMotion.z = 0.0f;
                camera->z = z;
            }
            if (kind == FrameKindScene) {
                float point[3] = {camera->x, camera->y, camera->z};
                float height = 0.0f;
                if (GetGroundHeight(point, &height, 0) < 0) {
                    // Nowhere to stand there.
                    camera->x = oldX;
                    camera->z = oldZ;
                    m_smoothedMotion.x = m_smoothedMotion.z = 0.0f;
                    m_hoverCode = kCursorNoGround;
                } else {
                    ClampAltitude(0);
                }
            }
        }
        m_positionChanged = 1;
        moved = true;
    }

    if (moved && active && m_changeCount < kNavigationChangeLimit)
        m_changeCount++;
}

bool CMainWnd::MoveCameraTowards(CFrame* frame, const float* target, int32_t* mask, int32_t divisor)
{
    if (!frame)
        frame = m_currentFrame;
    if (!frame || !target || !mask)
        return false;
    const float n = static_cast<float>(divisor > 0 ? divisor : kDefaultMoveDivisor);
    CameraState* camera = &frame->cameras[0];
    const bool active = camera == m_view.params->camera;
    const bool zoomMoving = (*mask & CameraBitZoom) != 0;

    float goal[8];
    for (int i = 0; i < 8; i++)
        goal[i] = target[i];
    if (!zoomMoving) {
        // The target's angles inside the limits; with the zoom moving the limits move too, so
        // the camera itself is kept inside them after the step instead.
        CameraState clamped;
        clamped.tilt = goal[3];
        clamped.pan = goal[4];
        clamped.zoom = camera->zoom;
        ClampCameraToLimits(frame, &clamped);
        goal[3] = clamped.tilt;
        goal[4] = clamped.pan;
    }

    bool moved = false;
    for (int i = 0; i < 8; i++) {
        const int32_t bit = 1 << i;
        if (!(*mask & bit))
            continue;
        float* word = CameraWord(camera, i);
        const float old = *word;
        float difference = goal[i] - old;
        if (IsAngleWord(i))
            difference = WrapAngle180(WrapAngle180(goal[i]) - WrapAngle180(old));
        if (difference == 0.0f) {
            *mask &= ~bit;
            continue;
        }
        float step = difference / n;
        if (std::fabs(step) < kMinimumMoveStep[i])
            step = std::copysign(kMinimumMoveStep[i], difference);
        if (std::fabs(step) >= std::fabs(difference)) {
            *word = IsAngleWord(i) ? WrapAngle360(goal[i]) : goal[i];
            *mask &= ~bit;
        } else {
            *word = IsAngleWord(i) ? WrapAngle360(old + step) : old + step;
        }
        moved = true;

        switch (i) {
        case 3:
            m_tiltChanged = 1;
            break;
        case 4:
            m_panChanged = 1;
            break;
        case 6:
            if (active)
                m_view.UpdateProjection();
            UpdateZoomLimits(frame);
            UpdateNavigationLimits(frame);
            m_zoomChanged = 1;
            break;
        case 7:
            if (*mask & CameraBitKeepView) {
                camera->zoom *= (1.0f + *word / 200.0f) / (1.0f + old / 200.0f);
                if (active)
                    m_view.UpdateProjection();
            }
            if (UpdateZoomLimits(frame))
                *mask &= ~CameraBitKeepView;
            UpdateNavigationLimits(frame);
            break;
        default:
            break;
        }
    }
    if (!(*mask & 0xFF))
        *mask &= ~CameraBitKeepView;

    // Relative moves run on by their per-tick amounts.
    for (int i = 0; i < 8; i++) {
        const float drift = m_cameraDrift[i];
        if (drift == 0.0f)
            continue;
        float* word = CameraWord(camera, i);
        if (i == 3)
            MoveAngleWithinLimits(word, drift, frame->effectiveLimits[LimitTiltMin],
                                  frame->effectiveLimits[LimitTiltMax], 0.0f);
        else if (i == 4)
            MoveAngleWithinLimits(word, drift, frame->effectiveLimits[LimitPanMin],
                                  frame->effectiveLimits[LimitPanMax], 0.0f);
        else if (i == 5)
            *word = WrapAngle360(*word + drift);
        else if (i == 6)
            MoveValueWithinLimits(word, drift, frame->effectiveLimits[LimitZoomMin],
                                  frame->effectiveLimits[LimitZoomMax]);
        else
            *word += drift;
        if (i == 6 && active)
            m_view.UpdateProjection();
        moved = true;
    }

    if (zoomMoving)
        ClampCameraToLimits(frame, camera);
    if (active) {
        m_rotationX = WrapAngle180(camera->tilt);
        m_rotationY = WrapAngle180(camera->pan);
        m_rotationZ = camera->roll;
        m_zoom = camera->zoom;
    }
    return moved;
}

void CMainWnd::StopCameraMotion()
{
    m_viewMoved = 1;
    if (m_changeCount == 0)
        m_changeCount = 1;
    m_cameraTargets = 0;
    m_smoothedMotion = CameraState();
    UpdateNavigationLimits();
    if (m_screensaver && m_autoplayRunning && m_currentFrame &&
        m_currentFrame->cameras[0].sequence)
        m_currentFrame->cameras[0].pathState = CameraPathStartNearest;
}

int32_t CMainWnd::GetGroundHeight(float*, float*, int)
{
    // Not built yet: answers -1 (no ground; the point and the height stay as they are).
    return -1;
}

void CMainWnd::EditLinePoints()
{
    // Not built yet: does nothing (no line vertex follows the pointer).
}

void CMainWnd::UpdateToolbarTipText(int32_t)
{
    // Not built yet: does nothing (the tooltip keeps its text).
}

int CMainWnd::FollowGround(int reset)
{
    CFrame* frame = m_currentFrame;
    if (!frame)
        return -1;
    CameraState& camera = frame->cameras[0];
    if (reset) {
        m_rememberedEyeHeight = camera.y;
        m_eyeHeightRemembered = 1;
        m_groundFollowState = 0;
    }
    const float scale = frame->unitScale > 0.0f ? frame->unitScale : 1.0f;
    float point[3] = {camera.x, camera.y, camera.z};
    float ground = 0.0f;
    const int32_t hit = GetGroundHeight(point, &ground, 0);
    if (hit >= 0) {
        if (m_groundFollowState < 2) {
            if (m_eyeHeightRemembered) {
                m_altitude = (m_rememberedEyeHeight - ground) / scale;
                UpdateFogRange();
                UpdateToolbarTipText(kAltitudeTip);
            }
            m_groundFollowState = 2;
        }
        camera.y = m_altitude * scale + ground;
        return hit;
    }
    if (m_groundFollowState == 0 && !m_eyeHeightRemembered && frame->meshCount > 0 &&
        frame->meshes[0]) {
        // Above the model until the ground under the eye is known.
        camera.y = m_altitude * scale + frame->meshes[0]->yMax;
        m_groundFollowState = 1;
    }
    SetViewerTimer(ViewerTimerCameraStep, kGroundRetryMs);
    return -1;
}

void CMainWnd::ClampAltitude(int follow)
{
    if (follow) {
        FollowGround(0);
        return;
    }
    CFrame* frame = m_currentFrame;
    if (!frame)
        return;
    CameraState& camera = frame->cameras[0];
    const float scale = frame->unitScale > 0.0f ? frame->unitScale : 1.0f;
    float point[3] = {camera.x, camera.y, camera.z};
    float ground = 0.0f;
    if (GetGroundHeight(point, &ground, 0) < 0)
        ground = -1.0f;
    float altitude = (camera.y - ground) / scale;
    if (IsPairSet(m_altitudeMin, m_altitudeMax))
        altitude = std::min(std::max(altitude, m_altitudeMin), m_altitudeMax);
    camera.y = altitude * scale + ground;
    m_altitude = altitude;
    UpdateToolbarTipText(kAltitudeTip);
}

void CMainWnd::UpdateFogRange()
{
    const CFrame* frame = m_currentFrame;
    const float scale = frame ? frame->unitScale : 1.0f;
    const float range = m_altitude * scale;
    m_view.SetRenderState(RenderStateFogStart, static_cast<int32_t>(kFogStartFraction * range));
    m_view.SetRenderState(RenderStateFogEnd, static_cast<int32_t>(range));
}
