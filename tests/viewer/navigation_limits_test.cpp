// Camera limits of the engine: the defaults a new engine and a new document start from, keeping a
// camera inside a frame's limits (wrapped ranges, the corner margin, the change marks) and the
// velocity range.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "core/matrix_math.h"

namespace {

// A frame whose effective limits are given: tilt min/max, pan min/max.
void SetAngleLimits(CFrame& frame, float tiltMin, float tiltMax, float panMin, float panMax)
{
    frame.effectiveLimits[LimitTiltMin] = tiltMin;
    frame.effectiveLimits[LimitTiltMax] = tiltMax;
    frame.effectiveLimits[LimitPanMin] = panMin;
    frame.effectiveLimits[LimitPanMax] = panMax;
}

TEST(NavigationLimits, NewEngineStartsFromTheDefaultLimits)
{
    auto engine = std::make_unique<CMainWnd>();
    const float* limits = engine->m_currentFrame->effectiveLimits;
    EXPECT_FLOAT_EQ(limits[LimitTiltMin], -90.0f);
    EXPECT_FLOAT_EQ(limits[LimitTiltMax], 90.0f);
    EXPECT_FLOAT_EQ(limits[LimitPanMin], 360.0f);
    EXPECT_FLOAT_EQ(limits[LimitPanMax], 360.0f);
    EXPECT_FLOAT_EQ(limits[LimitZoomMin], 0.28f);
    EXPECT_FLOAT_EQ(limits[LimitZoomMax], 6.0f);
    EXPECT_FLOAT_EQ(engine->m_params.minRotationY, 360.0f);
    EXPECT_FLOAT_EQ(engine->m_params.maxZoom, 6.0f);
    EXPECT_EQ(engine->m_cameraTargets, 0);
    EXPECT_EQ(engine->m_viewMoved, 1);
}

TEST(NavigationLimits, ResetKeepsTheParametersTheUserSetAndDropsThePendingMove)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->m_firstFrame.overrides = OverrideLowestTilt | OverrideLargestZoom;
    engine->m_params.minRotationX = -20.0f;
    engine->m_params.maxRotationX = 20.0f;
    engine->m_params.minRotationY = -45.0f;
    engine->m_params.minZoom = 2.0f;
    engine->m_params.maxZoom = 3.0f;
    SetAngleLimits(*engine->m_currentFrame, -5.0f, 5.0f, -5.0f, 5.0f);
    engine->m_configuredAltitudeMin = 1.5f;
    engine->m_configuredAltitudeMax = 300.0f;
    engine->m_cameraTargets = 0x48;
    engine->m_cameraTargetStep = 7;
    engine->m_cameraTargetFrame = engine->m_currentFrame;
    engine->m_cameraDelta.pan = 3.0f;
    engine->m_viewMoved = 0;

    engine->ResetNavigationLimits();

    EXPECT_FLOAT_EQ(engine->m_params.minRotationX, -20.0f);  // set by the user
    EXPECT_FLOAT_EQ(engine->m_params.maxRotationX, 90.0f);
    EXPECT_FLOAT_EQ(engine->m_params.minRotationY, 360.0f);
    EXPECT_FLOAT_EQ(engine->m_params.minZoom, 0.28f);
    EXPECT_FLOAT_EQ(engine->m_params.maxZoom, 3.0f);  // set by the user
    EXPECT_FLOAT_EQ(engine->m_currentFrame->effectiveLimits[LimitTiltMin], -90.0f);
    EXPECT_FLOAT_EQ(engine->m_currentFrame->effectiveLimits[LimitPanMax], 360.0f);
    EXPECT_FLOAT_EQ(engine->m_altitudeMin, 1.5f);
    EXPECT_FLOAT_EQ(engine->m_altitudeMax, 300.0f);
    EXPECT_EQ(engine->m_cameraTargets, 0);
    EXPECT_EQ(engine->m_cameraTargetStep, 0);
    EXPECT_EQ(engine->m_cameraTargetFrame, nullptr);
    EXPECT_FLOAT_EQ(engine->m_cameraDelta.pan, 0.0f);
    EXPECT_EQ(engine->m_viewMoved, 1);
}

TEST(NavigationLimits, ClampKeepsTiltAndPanInsideTheFrameLimits)
{
    struct Case {
        const char* name;
        float tiltMin, tiltMax, panMin, panMax;
        float tilt, pan;
        float wantTilt, wantPan;
    };
    const Case cases[] = {
        {"inside stays", -41.25f, 41.25f, -60, 60, 10, -20, 10, -20},
        {"tilt above the maximum", -41.25f, 41.25f, 360, 360, 60, 0, 41.25f, 0},
        {"tilt below the minimum", -41.25f, 41.25f, 360, 360, -60, 0, -41.25f, 0},
        {"no limits never clamp", 360, 360, 360, 360, 120, 250, 120, 250},
        {"pan beyond the maximum", 360, 360, -60, 60, 0, 100, 0, 60},
        {"pan beyond the minimum", 360, 360, -60, 60, 0, -75, 0, -60},
        {"pan range across 180 keeps its inside", 360, 360, 170, -170, 0, 175, 0, 175},
        {"pan range across 180 clamps outside", 360, 360, 170, -170, 0, 160, 0, 170},
    };
    auto engine = std::make_unique<CMainWnd>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFrame frame;
        SetAngleLimits(frame, c.tiltMin, c.tiltMax, c.panMin, c.panMax);
        CameraState camera;
        camera.zoom = 1.0f;
        camera.tilt = c.tilt;
        camera.pan = c.pan;
        engine->ClampCameraToLimits(&frame, &camera);
        EXPECT_NEAR(WrapAngle180(camera.tilt), WrapAngle180(c.wantTilt), 1e-3);
        EXPECT_NEAR(WrapAngle180(camera.pan), WrapAngle180(c.wantPan), 1e-3);
    }
}

TEST(NavigationLimits, EnforcedLimitsKeepACornerMarginThatGrowsWithTheTilt)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->m_view.params->width = 200;
    engine->m_view.params->height = 200;
    engine->m_view.params->camera->zoom = 1.0f;
    CFrame frame;
    SetAngleLimits(frame, 360, 360, -60, 60);
    frame.flags |= 0x400000;

    CameraState camera;
    camera.zoom = 1.0f;
    camera.tilt = 60.0f;
    camera.pan = 59.0f;
    engine->ClampCameraToLimits(&frame, &camera);
    // (1 - cos 60) x 90 / (1 x 2 x 1) = 22.5 degrees from the limit.
    EXPECT_NEAR(WrapAngle180(camera.pan), 37.5f, 1e-3);

    // Level, the margin vanishes; a zero zoom of the active camera gives no margin rather than
    // an infinite one.
    camera.tilt = 0.0f;
    camera.pan = 59.0f;
    engine->ClampCameraToLimits(&frame, &camera);
    EXPECT_NEAR(WrapAngle180(camera.pan), 59.0f, 1e-3);
    engine->m_view.params->camera->zoom = 0.0f;
    camera.tilt = 60.0f;
    camera.pan = 70.0f;
    engine->ClampCameraToLimits(&frame, &camera);
    EXPECT_NEAR(WrapAngle180(camera.pan), 60.0f, 1e-3);
}

TEST(NavigationLimits, ClampingTheActiveCameraRaisesTheChangeMarksExceptOnImageGrids)
{
    auto engine = std::make_unique<CMainWnd>();
    CameraState* active = engine->m_view.params->camera;
    SetAngleLimits(*engine->m_currentFrame, -30, 30, -60, 60);
    active->tilt = 50.0f;
    active->pan = 10.0f;
    engine->ClampCameraToLimits(nullptr, nullptr);
    EXPECT_EQ(engine->m_tiltChanged, 1);
    EXPECT_EQ(engine->m_panChanged, 0);
    EXPECT_NEAR(engine->m_rotationX, 30.0f, 1e-3);

    engine->m_tiltChanged = 0;
    engine->m_currentFrame->kind = 7;
    active->tilt = 50.0f;
    engine->ClampCameraToLimits(nullptr, nullptr);
    EXPECT_NEAR(active->tilt, 30.0f, 1e-3);
    EXPECT_EQ(engine->m_tiltChanged, 0);
}

TEST(NavigationLimits, VelocityStaysWithinItsRange)
{
    const struct {
        float in, want;
    } cases[] = {{1500, 1000}, {-3, 0}, {8, 8}, {0, 0}, {1000, 1000},
                 {std::numeric_limits<float>::quiet_NaN(), 0}};
    auto engine = std::make_unique<CMainWnd>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        engine->m_params.velocity = c.in;
        engine->ClampVelocity();
        EXPECT_FLOAT_EQ(engine->m_params.velocity, c.want);
    }
}

}  // namespace

namespace {

TEST(NavigationLimits, ZoomFromTheParameterIsKeptInsideTheFrameLimits)
{
    struct Case {
        float parameter, want;
    };
    const Case cases[] = {{2.0f, 2.0f}, {9.0f, 6.0f}, {0.1f, 0.28f},
                          {std::numeric_limits<float>::quiet_NaN(), 0.28f}};
    auto engine = std::make_unique<CMainWnd>();
    engine->m_initialized = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameter);
        engine->m_cameraMotion = 0x58;
        const int changes = engine->m_changeCount;
        engine->m_params.zoom = c.parameter;
        engine->ApplyZoom(true);
        EXPECT_FLOAT_EQ(engine->m_zoom, c.want);
        EXPECT_FLOAT_EQ(engine->m_view.params->camera->zoom, c.want);
        EXPECT_TRUE(engine->m_firstFrame.overrides & OverrideInitialZoom);
        EXPECT_EQ(engine->m_cameraMotion, 0x18);  // only the zoom stops
        EXPECT_EQ(engine->m_changeCount, changes + 1);
    }
    engine->m_initialized = 0;
}

TEST(NavigationLimits, ZoomGoesBackIntoTheParameterAndWaitsForInitialisation)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->m_view.params->camera->zoom = 1.0f;
    engine->m_zoom = 3.5f;
    engine->ApplyZoom(false);
    EXPECT_FLOAT_EQ(engine->m_params.zoom, 3.5f);
    EXPECT_EQ(engine->m_firstFrame.overrides & OverrideInitialZoom, 0u);
    engine->m_params.zoom = 2.5f;
    engine->ApplyZoom(true);
    EXPECT_FLOAT_EQ(engine->m_zoom, 2.5f);
    EXPECT_FLOAT_EQ(engine->m_view.params->camera->zoom, 1.0f);  // not initialised
}

}  // namespace
