// What the camera files of the engine share (main_wnd_navigation_limits.cpp and
// main_wnd_camera_*.cpp): frame flag bits they test, projection modes, the speeds in force and
// the frame time.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/matrix_math.h"
#include "sources/frame.h"
#include "viewer/viewer_parameters.h"

// CFrame::flags bits of navigation.
enum NavigationFrameFlags : uint32_t {
    FrameBeenCurrent = 0x10,          // the frame has been current before
    FrameInvertMouseX = 0x800,        // pan input inverted
    FrameInvertMouseY = 0x200000,     // tilt input inverted
    FrameEnforceLimits = 0x400000,    // the pan keeps the view's corners inside its limits
    FrameKeepPosition = 0x800000,     // the frame keeps the view it was left with
    FrameInvertCameraX = 0x1000000,   // smoothed pan inverted
    FrameInvertCameraY = 0x2000000,   // smoothed tilt inverted
};

// CFrame::toolbarButtons: the frame offers the viewfinder.
constexpr int32_t kToolbarViewfinderButton = 0x200;

// The view's projection (CMainWnd::m_projection).
enum ProjectionMode : int32_t {
    ProjectionDefault = 0,
    ProjectionPolar = 1,
    ProjectionSinPolar = 2,
    ProjectionSpherical = 3,
    ProjectionCylindrical = 4,
    ProjectionStereographic = 5,
    ProjectionFisheyeMode = 6,
    ProjectionInvertedMode = 7,
    ProjectionDome = 8,
};

// CameraState words as mask bits (bit i = word i).
enum CameraWordBit : int32_t {
    CameraBitX = 0x1,
    CameraBitY = 0x2,
    CameraBitZ = 0x4,
    CameraBitTilt = 0x8,
    CameraBitPan = 0x10,
    CameraBitRoll = 0x20,
    CameraBitZoom = 0x40,
    CameraBitPullBack = 0x80,
    CameraBitKeepView = 0x100,  // the zoom follows the pull-back so the view keeps its size
};

constexpr float kNoAngleLimit = 360.0f;
constexpr float kPi = 3.14159265358979f;
constexpr float kDegreesToRadians = kPi / 180.0f;
constexpr float kRadiansToDegrees = 180.0f / kPi;
// Half the vertical field of view at zoom 1, degrees.
constexpr float kHalfFieldAtZoom1 = 22.5f;
// The change counter is not raised beyond this by navigation.
constexpr int kNavigationChangeLimit = 3;

static_assert(offsetof(CameraState, pullBack) == 7 * sizeof(float), "words 0 to 7 are consecutive");

// Seconds of one tick at the measured rate (the rate is kept at 4 or more).
inline float TickSeconds(float stepFps)
{
    return stepFps > 0.0f ? 1.0f / stepFps : 0.25f;
}

// Words 0 to 7 of a camera record by index (x, y, z, tilt, pan, roll, zoom, pull-back).
inline float* CameraWord(CameraState* camera, int index)
{
    return &camera->x + index;
}
inline float CameraWordValue(const CameraState& camera, int index)
{
    return (&camera.x)[index];
}

// The frame's value when it sets its own (its override bit), else the viewer's.
inline float NavigationSpeed(const CFrame* frame, const ViewerParameters& params)
{
    return frame && (frame->overrides & OverrideVelocity) ? frame->velocity : params.velocity;
}
inline float WheelSpeed(const CFrame* frame, const ViewerParameters& params)
{
    return frame && (frame->overrides & OverrideZoomVelocity) ? frame->zoomVelocity
                                                              : params.velocity;
}
inline float NavigationAcceleration(const CFrame* frame, const ViewerParameters& params)
{
    return frame && (frame->overrides & OverrideAcceleration) ? frame->acceleration
                                                              : params.acceleration;
}

// The frame kinds that show a panorama around the eye.
inline bool IsPanoramaKind(int32_t kind)
{
    return kind >= FrameKindCubic && kind <= FrameKindSpherical;
}

// Margin that keeps the corners of a tilted view inside the pan limits of a frame with
// "ENFORCELIMITS=" (0 otherwise): (1 - cos |tilt|) x 90 / (zoom x 2 x height / width), at most
// half the span of the limits.
inline float PanMargin(const CFrame& frame, float tilt, float zoom, int32_t width, int32_t height,
                       float span)
{
    if (!(frame.flags & FrameEnforceLimits) || width <= 0 || height <= 0 || !(zoom > 0.0f))
        return 0.0f;
    const float margin = (1.0f - std::cos(std::fabs(tilt) * kDegreesToRadians)) * 90.0f /
                         (zoom * 2.0f * static_cast<float>(height) / static_cast<float>(width));
    return std::fmin(margin, std::fabs(span) / 2.0f);
}

// Span of a pair of pan limits, wrapping past 180 when the minimum is not below the maximum.
inline float PanSpan(float minimum, float maximum)
{
    const float lo = WrapAngle180(minimum);
    const float hi = WrapAngle180(maximum);
    return (lo >= hi ? hi + 360.0f : hi) - lo;
}
